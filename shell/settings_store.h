// The settings store: named integer and text values in named sections below one base path,
// every value stored as text, defaults for anything missing or unreadable, failed writes dropped
// silently, and the one-time import of the old INI file Quorbit.INI.
//
// All logic of the store lives here; storage is reached only through a SettingsBackend (see
// settings_backend.h), by default QSettings. Each operation opens and closes the keys it needs; nothing
// is cached. No operation reports anything to the user or writes any diagnostic output.
#pragma once

#include "shell/settings_backend.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The application title of the string table, the organisation of the base path, and the base path.
inline constexpr const char* kSettingsApplicationName = "Quorbit";
inline constexpr const char* kSettingsOrganisation = "Kestrone Software";
std::string SettingsBasePath(const std::string& applicationName = kSettingsApplicationName);

// Where a store keeps its values and finds the old INI file. Empty members mean the real places.
struct SettingsLocations {
    // The INI file that holds all values. Empty: the registry on Windows, and elsewhere the INI file
    // that QSettings chooses in the user's configuration directory.
    std::string settingsFile;
    // "The Windows directory" searched for <application name>.INI. Empty: DefaultWindowsDirectory().
    std::string windowsDirectory;
    std::string applicationName = kSettingsApplicationName;
};

// The Windows directory on Windows (WINDIR), "/etc" elsewhere.
std::string DefaultWindowsDirectory();

// The integer at the start of `text` as "%d" reads it: leading white space skipped, an optional sign,
// then decimal digits up to the first other character. nullopt when no digit comes. Values beyond the
// range of int wrap modulo 2^32, as the C library of the original platform reads them.
std::optional<int> ScanDecimalInt(std::string_view text);

class CSettingsStore {
public:
    // The registry's value buffer: a text is read only when it and its terminating NUL fit.
    static constexpr std::size_t kValueBufferSize = 260;
    // The INI import reads lines of at most this many characters; a longer line arrives in pieces.
    static constexpr std::size_t kIniLineLength = 519;

    CSettingsStore(); // the real places
    explicit CSettingsStore(const SettingsLocations& locations);
    CSettingsStore(std::unique_ptr<SettingsBackend> backend, std::string windowsDirectory = {},
                   std::string applicationName = kSettingsApplicationName);
    virtual ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    // Sets root and base path (even when the rest fails), then creates or opens root \ path with write
    // access. `created`: the key did not exist before. True when it could be created or opened. The
    // second form leaves the key open in `key` for the caller; the first closes it.
    bool Open(SettingsRoot root, const std::string& path, bool& created);
    bool Open(SettingsRoot root, const std::string& path, SettingsKeyHandle& key, bool& created);

    std::string GetBasePath() const { return basePath_; }
    SettingsRoot GetRoot() const { return root_; }
    const std::string& GetApplicationName() const { return applicationName_; }
    const std::string& GetWindowsDirectory() const { return windowsDirectory_; }

    // The value read as "%d" reads it; `defaultValue` when the section or value is missing, the text
    // does not fit the 260-byte buffer, or it does not begin with a decimal integer.
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    // Stores the decimal text of `value`. False when it could not be written (nothing else happens).
    bool WriteInt(const std::string& section, const std::string& key, int value);
    // The stored text (at most 259 characters), or `defaultValue` as GetInt.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const;
    // Stores `text` as it is. False when it could not be written.
    bool WriteString(const std::string& section, const std::string& key, const std::string& text);

    // The INI import: <windows directory>/<application name>.INI (on a case-sensitive system any file
    // whose name matches ignoring case), its sections and key=value lines written below
    // `applicationKey`. The file is left unchanged; a missing file does nothing.
    void ImportIniFile(SettingsKey& applicationKey);
    // The same, creating or opening the application key (root \ base path) itself.
    void ImportIniFile();
    // The file ImportIniFile reads; empty when there is none.
    std::string FindIniFile() const;

    SettingsBackend& backend() { return *backend_; }

private:
    std::optional<std::string> ReadText(const std::string& section, const std::string& key) const;
    bool WriteText(const std::string& section, const std::string& key, const std::string& text);

    std::unique_ptr<SettingsBackend> backend_;
    std::string windowsDirectory_;
    std::string applicationName_;
    SettingsRoot root_ = SettingsRoot::LocalMachine;
    std::string basePath_;
};

// Start-up: Open(root, "Software\Kestrone Software\" + application name) and, when the key
// was newly created, ImportIniFile, so that the import runs once (per user, on the INI backend).
// Returns what Open returned.
bool OpenSettingsStoreAtStartUp(CSettingsStore& store, SettingsRoot root = SettingsRoot::LocalMachine);
