// The few registry operations that the settings store needs, and the QSettings backend
// that provides them.
//
// The store keeps all of its own logic (integer reading, the 260-byte buffer rule, the INI import) and
// touches storage only through SettingsBackend: create or open a key (telling whether it existed), open
// a key for reading, read a value, write a value, close. A key is root \ application path \ section.
//
// QSettingsBackend maps that onto QSettings, one QSettings object per open key, so that every store
// operation opens and closes its own:
// - On Windows, with no settings file given: the native registry. The QSettings "file" is the
//   application key (HKEY_LOCAL_MACHINE\Software\Kestrone Software\Quorbit), sections are its groups.
// - Elsewhere, or whenever a settings file is given: one INI-format file stands for the application key;
//   sections are its groups. By default it is the file QSettings chooses for IniFormat, user scope,
//   organisation and application taken from the path ("Software\Kestrone Software\Quorbit" gives
//   organisation "Kestrone Software", application "Quorbit"). The root selects nothing more there.
//
// Names and texts are 8-bit strings mapped byte for byte (Latin-1) to Qt's strings, so every byte
// round-trips. Section and value names are escaped before QSettings sees them ('%', '/', '\' and NUL
// become %XX; the empty value name becomes "%"), so that QSettings' own key rules (the slash as group
// separator, the backslash swapped with the slash on Windows, no empty keys) cannot change them.
#pragma once

#include <memory>
#include <optional>
#include <string>

// The registry root a base path lies under. Outside the registry every root selects the same INI file.
enum class SettingsRoot { LocalMachine, CurrentUser };

// Where a key lies: root \ path \ section. An empty section is the application key itself.
struct SettingsKeyPath {
    SettingsRoot root = SettingsRoot::LocalMachine;
    std::string path;    // the application key below the root, components separated by '\'
    std::string section; // one name below it (not split at '\'), or empty
};

// An open key; destroying it closes it.
class SettingsKey {
public:
    SettingsKey(SettingsKeyPath where, bool writable) : where_(std::move(where)), writable_(writable) {}
    virtual ~SettingsKey() = default;
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    const SettingsKeyPath& where() const { return where_; }
    bool writable() const { return writable_; }

private:
    SettingsKeyPath where_;
    bool writable_;
};

using SettingsKeyHandle = std::unique_ptr<SettingsKey>;

class SettingsBackend {
public:
    virtual ~SettingsBackend() = default;

    // Creates the key (and every key above it) or opens it if it exists, with write access; `created`
    // tells whether it did not exist before. Null when it can be neither created nor opened for writing.
    virtual SettingsKeyHandle CreateKey(const SettingsKeyPath& where, bool& created) = 0;
    // Opens an existing key for reading; null when it cannot be opened. Never creates anything.
    virtual SettingsKeyHandle OpenKey(const SettingsKeyPath& where) = 0;
    // The whole text of the value `name`; nullopt when it is missing or cannot be read.
    virtual std::optional<std::string> ReadValue(SettingsKey& key, const std::string& name) = 0;
    // Stores `text` as the value `name` of a key opened for writing and makes it durable. False on
    // failure; nothing is reported anywhere.
    virtual bool WriteValue(SettingsKey& key, const std::string& name, const std::string& text) = 0;
    // Closes a key; the handle becomes null.
    static void CloseKey(SettingsKeyHandle& key) { key.reset(); }
};

class QSettingsBackend final : public SettingsBackend {
public:
    // `settingsFile` empty: the platform's place (the registry on Windows, QSettings' user INI file
    // elsewhere). Otherwise every key lives in that INI file, on every system (tests use this).
    explicit QSettingsBackend(std::string settingsFile = {});

    SettingsKeyHandle CreateKey(const SettingsKeyPath& where, bool& created) override;
    SettingsKeyHandle OpenKey(const SettingsKeyPath& where) override;
    std::optional<std::string> ReadValue(SettingsKey& key, const std::string& name) override;
    bool WriteValue(SettingsKey& key, const std::string& name, const std::string& text) override;

    // The INI file that holds the keys below `path`; empty when they live in the native registry, or
    // when the path names no application.
    std::string IniFileFor(const std::string& path) const;
    // The file QSettings chooses for IniFormat, user scope, with organisation and application taken
    // from a registry-style path (a leading "Software" component dropped); empty for an empty path.
    static std::string DefaultIniFile(const std::string& path);

private:
    bool UsesRegistry() const;
    std::string settingsFile_;
};
