#include "shell/settings_backend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace {

#ifdef Q_OS_WIN
constexpr bool kNativeRegistry = true;
#else
constexpr bool kNativeRegistry = false;
#endif

QString Latin1(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// File names are local 8-bit text, as the C library's file functions take them.
QString FileName(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name));
}

// A section or value name as QSettings gets it: '%', '/', '\' and NUL as %XX, everything else as it
// is. The empty name becomes "%", which no non-empty name can become.
QString EscapeName(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    if (name.empty())
        return QStringLiteral("%");
    QString out;
    out.reserve(static_cast<qsizetype>(name.size()));
    for (unsigned char c : name) {
        if (c == '%' || c == '/' || c == '\\' || c == 0) {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 15]);
        } else {
            out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

QStringList PathComponents(const std::string& path) {
    return Latin1(path).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QString RootName(SettingsRoot root) {
    return root == SettingsRoot::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                             : QStringLiteral("HKEY_LOCAL_MACHINE");
}

// The QSettings "file" of a registry key: root \ path.
QString RegistryFile(SettingsRoot root, const QStringList& components) {
    QString file = RootName(root);
    for (const QString& c : components)
        file += QLatin1Char('\\') + c;
    return file;
}

// Whether root \ path exists in the registry. QSettings cannot tell whether it created a key, so the
// parent key is asked for its sub-keys before the key is created.
bool RegistryKeyExists(SettingsRoot root, const QStringList& components) {
    if (components.isEmpty())
        return true;
    QSettings parent(RegistryFile(root, components.mid(0, components.size() - 1)), QSettings::NativeFormat);
    return parent.childGroups().contains(components.last(), Qt::CaseInsensitive);
}

class QSettingsKey final : public SettingsKey {
public:
    QSettingsKey(SettingsKeyPath where, bool writable, std::unique_ptr<QSettings> settings)
        : SettingsKey(std::move(where), writable), settings_(std::move(settings)) {}
    QSettings& settings() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

std::unique_ptr<QSettings> OpenSettings(const QString& file, bool registry, const std::string& section) {
    auto settings =
        std::make_unique<QSettings>(file, registry ? QSettings::NativeFormat : QSettings::IniFormat);
    if (!section.empty())
        settings->beginGroup(EscapeName(section));
    return settings;
}

// Creates the INI file (and its folders) when it is missing, else checks that it can be written.
bool MakeWritableFile(const QString& file, bool& existed) {
    QFileInfo info(file);
    existed = info.exists();
    if (!existed && !QDir().mkpath(info.absolutePath()))
        return false;
    QFile f(file);
    return f.open(QIODevice::ReadWrite); // creates an empty file, changes nothing in an existing one
}

std::optional<std::string> VariantText(const QVariant& value) {
    if (!value.isValid())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::QString:
        return Bytes(value.toString());
    case QMetaType::QByteArray:
        return value.toByteArray().toStdString();
    case QMetaType::QStringList: // only from a hand-edited file: "a, b" without quotes
        return Bytes(value.toStringList().join(QStringLiteral(", ")));
    default:
        if (value.canConvert<QString>())
            return Bytes(value.toString());
        return std::nullopt;
    }
}

} // namespace

QSettingsBackend::QSettingsBackend(std::string settingsFile) : settingsFile_(std::move(settingsFile)) {}

bool QSettingsBackend::UsesRegistry() const {
    return kNativeRegistry && settingsFile_.empty();
}

std::string QSettingsBackend::DefaultIniFile(const std::string& path) {
    QStringList components = PathComponents(path);
    if (components.size() > 1 &&
        components.first().compare(QStringLiteral("Software"), Qt::CaseInsensitive) == 0)
        components.removeFirst();
    if (components.isEmpty())
        return {};
    QString organisation = components.takeFirst();
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, organisation,
                       components.join(QLatin1Char('/')));
    return QFile::encodeName(settings.fileName()).toStdString();
}

std::string QSettingsBackend::IniFileFor(const std::string& path) const {
    if (UsesRegistry())
        return {};
    if (!settingsFile_.empty())
        return settingsFile_;
    return DefaultIniFile(path);
}

SettingsKeyHandle QSettingsBackend::CreateKey(const SettingsKeyPath& where, bool& created) {
    created = false;
    std::unique_ptr<QSettings> settings;
    bool existed = false;
    if (UsesRegistry()) {
        QStringList components = PathComponents(where.path);
        existed = RegistryKeyExists(where.root, components);
        settings = OpenSettings(RegistryFile(where.root, components), true, where.section);
    } else {
        std::string file = IniFileFor(where.path);
        if (file.empty() || !MakeWritableFile(FileName(file), existed))
            return nullptr;
        settings = OpenSettings(FileName(file), false, where.section);
    }
    // isWritable() also creates the registry key, as RegCreateKeyEx would.
    if (settings->status() == QSettings::AccessError || !settings->isWritable())
        return nullptr;
    if (!where.section.empty() && existed) {
        QString group = settings->group();
        settings->endGroup();
        existed =
            settings->childGroups().contains(group, UsesRegistry() ? Qt::CaseInsensitive : Qt::CaseSensitive);
        settings->beginGroup(group);
    }
    created = !existed;
    return std::make_unique<QSettingsKey>(where, true, std::move(settings));
}

SettingsKeyHandle QSettingsBackend::OpenKey(const SettingsKeyPath& where) {
    std::unique_ptr<QSettings> settings;
    if (UsesRegistry()) {
        settings = OpenSettings(RegistryFile(where.root, PathComponents(where.path)), true, where.section);
    } else {
        std::string file = IniFileFor(where.path);
        if (file.empty() || !QFileInfo(FileName(file)).isFile())
            return nullptr;
        settings = OpenSettings(FileName(file), false, where.section);
    }
    if (settings->status() == QSettings::AccessError)
        return nullptr;
    return std::make_unique<QSettingsKey>(where, false, std::move(settings));
}

std::optional<std::string> QSettingsBackend::ReadValue(SettingsKey& key, const std::string& name) {
    auto* own = dynamic_cast<QSettingsKey*>(&key);
    if (!own)
        return std::nullopt;
    return VariantText(own->settings().value(EscapeName(name)));
}

bool QSettingsBackend::WriteValue(SettingsKey& key, const std::string& name, const std::string& text) {
    auto* own = dynamic_cast<QSettingsKey*>(&key);
    if (!own || !key.writable())
        return false;
    QSettings& settings = own->settings();
    settings.setValue(EscapeName(name), Latin1(text));
    settings.sync();
    return settings.status() == QSettings::NoError;
}
