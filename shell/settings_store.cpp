#include "shell/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace {

#ifdef Q_OS_WIN
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// isspace of the "C" locale.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

QString FileName(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name));
}

std::string LocalName(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

// The file as the C library's text mode on Windows hands it over: CR LF read as LF, and a Ctrl-Z ends it.
std::string ReadAsText(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray raw = f.readAll();
    std::string text;
    text.reserve(static_cast<std::size_t>(raw.size()));
    for (qsizetype i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\x1a')
            break;
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        text += c;
    }
    return text;
}

} // namespace

std::string SettingsBasePath(const std::string& applicationName) {
    return std::string("Software\\") + kSettingsOrganisation + "\\" + applicationName;
}

std::string DefaultWindowsDirectory() {
    if constexpr (kWindows) {
        for (const char* variable : {"WINDIR", "SystemRoot"}) {
            QString dir = qEnvironmentVariable(variable);
            if (!dir.isEmpty())
                return LocalName(dir);
        }
        return "C:\\Windows";
    }
    return "/etc";
}

std::optional<int> ScanDecimalInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !IsDigit(text[i]))
        return std::nullopt;
    std::uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int>(value); // modulo 2^32
}

CSettingsStore::CSettingsStore() : CSettingsStore(SettingsLocations{}) {}

CSettingsStore::CSettingsStore(const SettingsLocations& locations)
    : CSettingsStore(std::make_unique<QSettingsBackend>(locations.settingsFile), locations.windowsDirectory,
                     locations.applicationName) {}

CSettingsStore::CSettingsStore(std::unique_ptr<SettingsBackend> backend, std::string windowsDirectory,
                               std::string applicationName)
    : backend_(std::move(backend)),
      windowsDirectory_(windowsDirectory.empty() ? DefaultWindowsDirectory() : std::move(windowsDirectory)),
      applicationName_(std::move(applicationName)) {}

CSettingsStore::~CSettingsStore() = default;

bool CSettingsStore::Open(SettingsRoot root, const std::string& path, SettingsKeyHandle& key, bool& created) {
    root_ = root;
    basePath_ = path;
    created = false;
    key = backend_->CreateKey(SettingsKeyPath{root, path, {}}, created);
    if (!key)
        created = false;
    return key != nullptr;
}

bool CSettingsStore::Open(SettingsRoot root, const std::string& path, bool& created) {
    SettingsKeyHandle key;
    bool ok = Open(root, path, key, created);
    SettingsBackend::CloseKey(key);
    return ok;
}

std::optional<std::string> CSettingsStore::ReadText(const std::string& section,
                                                    const std::string& key) const {
    SettingsKeyHandle handle = backend_->OpenKey(SettingsKeyPath{root_, basePath_, section});
    if (!handle)
        return std::nullopt;
    std::optional<std::string> text = backend_->ReadValue(*handle, key);
    SettingsBackend::CloseKey(handle);
    if (text && text->size() + 1 > kValueBufferSize) // the text and its NUL do not fit the buffer
        return std::nullopt;
    return text;
}

bool CSettingsStore::WriteText(const std::string& section, const std::string& key, const std::string& text) {
    bool created = false;
    SettingsKeyHandle handle = backend_->CreateKey(SettingsKeyPath{root_, basePath_, section}, created);
    if (!handle)
        return false;
    bool ok = backend_->WriteValue(*handle, key, text);
    SettingsBackend::CloseKey(handle);
    return ok;
}

int CSettingsStore::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    std::optional<std::string> text = ReadText(section, key);
    if (!text)
        return defaultValue;
    return ScanDecimalInt(*text).value_or(defaultValue);
}

bool CSettingsStore::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteText(section, key, std::to_string(value));
}

std::string CSettingsStore::GetString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
    return ReadText(section, key).value_or(defaultValue);
}

bool CSettingsStore::WriteString(const std::string& section, const std::string& key,
                                 const std::string& text) {
    return WriteText(section, key, text);
}

std::string CSettingsStore::FindIniFile() const {
    QString wanted = FileName(applicationName_) + QStringLiteral(".INI");
    QDir dir(FileName(windowsDirectory_));
    QFileInfo exact(dir.filePath(wanted));
    if (exact.isFile())
        return LocalName(exact.filePath());
    // A case-sensitive system: the first file, in name order, whose name matches ignoring case.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return LocalName(dir.filePath(name));
    }
    return {};
}

void CSettingsStore::ImportIniFile(SettingsKey& applicationKey) {
    std::string file = FindIniFile();
    if (file.empty())
        return;
    const std::string text = ReadAsText(FileName(file)); // empty when it cannot be opened

    const SettingsKeyPath& app = applicationKey.where();
    SettingsKeyHandle current;
    bool goOn = true;
    std::size_t pos = 0;
    while (goOn && pos < text.size()) {
        // One line of at most kIniLineLength characters, its line end included, as fgets reads it.
        std::size_t start = pos;
        while (pos < text.size() && pos - start < kIniLineLength) {
            if (text[pos++] == '\n')
                break;
        }
        std::string_view piece(text.data() + start, pos - start);
        piece = piece.substr(0, piece.find('\0')); // a C string ends at its first NUL
        std::string line = Trim(piece);

        std::size_t open = line.find('[');
        std::size_t close = line.find(']');
        if (open != std::string::npos && close != std::string::npos && close >= open &&
            close - open + 1 == line.size()) {
            // A section line, exactly "[" ... "]".
            SettingsBackend::CloseKey(current);
            line[open] = ' ';
            line[close] = ' ';
            bool created = false;
            current = backend_->CreateKey(SettingsKeyPath{app.root, app.path, Trim(line)}, created);
            if (!current)
                goOn = false;
        } else if (std::size_t equals = line.find('='); equals != std::string::npos) {
            // key=value, split at the first "=" and not trimmed further; dropped when there is no section.
            if (current)
                backend_->WriteValue(*current, line.substr(0, equals), line.substr(equals + 1));
        }
        // Any other line is ignored.
    }
    SettingsBackend::CloseKey(current);
}

void CSettingsStore::ImportIniFile() {
    bool created = false;
    SettingsKeyHandle key = backend_->CreateKey(SettingsKeyPath{root_, basePath_, {}}, created);
    if (!key)
        return;
    ImportIniFile(*key);
    SettingsBackend::CloseKey(key);
}

bool OpenSettingsStoreAtStartUp(CSettingsStore& store, SettingsRoot root) {
    SettingsKeyHandle key;
    bool created = false;
    if (!store.Open(root, SettingsBasePath(store.GetApplicationName()), key, created))
        return false;
    if (created)
        store.ImportIniFile(*key);
    SettingsBackend::CloseKey(key);
    return true;
}
