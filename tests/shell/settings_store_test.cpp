// The settings store on its QSettings backend, every test on a settings file and a "Windows directory"
// inside a temporary folder: the user's real settings are never touched. No test may make Qt print.
#include "shell/settings_store.h"
#include "shell/view_settings.h"
#include "support/temp_dir.h"

#include <QSettings>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <tuple>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> g_qt_messages;

// The QSettings backend with a count of the calls made into it; `fails` may refuse any call, as a
// refusing registry would: no key, no value, or a write that does not happen.
class Backend final : public SettingsBackend {
public:
    explicit Backend(std::string file) : inner_(std::move(file)) {}
    std::function<bool(int call, const std::string& section)> fails = [](int, const std::string&) {
        return false;
    };
    int calls = 0;
    // clang-format off
    SettingsKeyHandle CreateKey(const SettingsKeyPath& where, bool& created) override {
        return created = false, Fails(where.section) ? nullptr : inner_.CreateKey(where, created); }
    SettingsKeyHandle OpenKey(const SettingsKeyPath& where) override { return Fails() ? nullptr : inner_.OpenKey(where); }
    std::optional<std::string> ReadValue(SettingsKey& key, const std::string& name) override {
        return Fails() ? std::nullopt : inner_.ReadValue(key, name); }
    bool WriteValue(SettingsKey& key, const std::string& name, const std::string& text) override {
        return !Fails() && inner_.WriteValue(key, name, text); }
    // clang-format on

private:
    bool Fails(const std::string& section = "") { return fails(++calls, section); }
    QSettingsBackend inner_;
};

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        g_qt_messages.clear();
        previous_ = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            g_qt_messages.push_back(text.toStdString());
        });
        fs::create_directories(dir_ / "windows");
    }
    void TearDown() override {
        qInstallMessageHandler(previous_);
        EXPECT_TRUE(g_qt_messages.empty()) << g_qt_messages.front();
    }
    fs::path settingsFile() const { return dir_ / "config" / "Quorbit.ini"; }
    fs::path iniFile() const { return dir_ / "windows" / "Quorbit.INI"; }
    SettingsLocations locations() const { return {settingsFile().string(), (dir_ / "windows").string()}; }
    static bool open(CSettingsStore& store, bool& created) {
        return store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created);
    }
    // A store as the application has it after Open, or after a start of the program: Open, and the import
    // on a newly created key.
    std::unique_ptr<CSettingsStore> openStore(bool start_up = false) {
        auto store = std::make_unique<CSettingsStore>(locations());
        bool created = false;
        EXPECT_TRUE(start_up ? OpenSettingsStoreAtStartUp(*store) : open(*store, created));
        return store;
    }
    std::unique_ptr<CSettingsStore> startUp() { return openStore(true); }

    TempDir dir_;
    QtMessageHandler previous_ = nullptr;
};

TEST(ScanDecimalInt, ReadsAsPercentDDoes) {
    // Beyond 32 bits the value wraps modulo 2^32; a C string ends at its NUL.
    // clang-format off
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"42", 42}, {" 42", 42}, {"\t\n\v\f\r 42", 42}, {"7a", 7}, {"7 8", 7}, {"-13", -13}, {"+8", 8}, {"  -0", 0},
        {"007", 7}, {"0x1F", 0}, {"12.9", 12}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"4294967297", 1}, {"", std::nullopt}, {"   ", std::nullopt}, {"abc", std::nullopt}, {"-", std::nullopt},
        {"+-1", std::nullopt}, {"- 5", std::nullopt}, {"x5", std::nullopt}};
    // clang-format on
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ScanDecimalInt(text), value) << text;
    EXPECT_EQ(ScanDecimalInt(std::string("5\0009", 3)), 5);
}

TEST_F(Settings, OpenCreatesTheKeyOnceIntegersAreTheirLeadingNumberAndLongTextsReadAsTheDefault) {
    CSettingsStore store(locations());
    bool created = false;
    ASSERT_TRUE(open(store, created) && created);
    EXPECT_EQ(store.GetBasePath(), "Software\\Kestrone Software\\Quorbit");
    SettingsKeyHandle key; // left open for the caller
    ASSERT_TRUE(store.Open(SettingsRoot::CurrentUser, SettingsBasePath(), key, created) && !created && key &&
                store.backend().WriteValue(*key, "AtTheTop", "1"));
    EXPECT_EQ(std::pair(store.GetInt("", "AtTheTop", 0), store.GetInt("Nowhere", "x", 17)), std::pair(1, 17));
    // How a text reads as a number is ScanDecimalInt's table above; here the default and the length limit.
    const std::pair<std::string, int> ints[] = {
        {"abc", 19}, {"\t+9 px", 9}, {"7" + std::string(258, ' '), 7}, {"7" + std::string(259, ' '), 19}};
    for (const auto& [text, value] : ints) {
        ASSERT_TRUE(store.WriteString("Screen", "x", text));
        EXPECT_EQ(store.GetInt("Screen", "x", 19), value) << text;
    }
    ASSERT_TRUE(store.WriteInt("XportSel", "Delim", -2147483647 - 1)); // text, in its group
    EXPECT_NE(read_bytes(settingsFile()).find("[XportSel]\nDelim=-2147483648\n"), std::string::npos);
    for (const std::string& text :
         {std::string(259, '\xe9'), std::string(260, 'b'), std::string(5000, 'c')}) {
        ASSERT_TRUE(store.WriteString("Search", "Name", text)); // bytes are counted
        EXPECT_EQ(store.GetString("Search", "Name", "default"), text.size() < 260 ? text : "default");
    }
}

TEST_F(Settings, NamesAndTextsRoundTripExactlyAndNothingIsCached) {
    std::string all_bytes;
    for (int c = 1; c < 256; ++c)
        all_bytes += static_cast<char>(c);
    // clang-format off
    const std::vector<std::string> names = {"x", "x ", " x", "x  y", "a/b", "/lead", "trail/", "a//b", "a\\b", "\\",
        "%", "%2F", "%25", "%%", "General", "a=b", "=", "[s]", ";c", "#c", "\"q\"", "'q'", "@x", "a,b", "tab\tx",
        "nl\nx", "\xe9t\xe9", "\x7f", "X", std::string("nul\0in", 6), "lead", "trail", "a%2Fb", "a%5Cb", "a",
        "general", "%00", "ab", ""};
    std::vector<std::string> texts = {" 5", "5 ", "", "@x", "@@", "a,b", "a, b", "\"q\"", "\\", "a;b", "a=b",
        "l1\nl2", "\t", "C:\\DATA", "%20", "@String(x)", "\xe9", all_bytes.substr(0, 255)};
    // clang-format on
    // A different text for every name, so that two names stored as one would show.
    auto text_for = [&](std::size_t i) {
        return texts[i % texts.size()] + std::string(i / texts.size(), '+');
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(openStore()->WriteString("Sec", names[i], text_for(i))) << names[i];
        ASSERT_TRUE(openStore()->WriteString(names[i], "k", text_for(i))) << names[i];
    }
    auto store = openStore(); // a store of its own: everything comes from the file
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(store->GetString("Sec", names[i], "<default>"), text_for(i)) << "key [" << names[i] << "]";
        EXPECT_EQ(store->GetString(names[i], "k", "<default>"), text_for(i))
            << "section [" << names[i] << "]";
    }
    for (const auto& [section, key] : {std::pair{"a", "b"}, {"Sec", "nul"}, {"Top", ""}})
        EXPECT_EQ(store->GetString(section, key, "<default>"), "<default>") << section << "\\" << key;
    EXPECT_EQ(store->GetInt("Sec", "x ", -1), 5);
    write_bytes(settingsFile(), "[Screen]\ncx=77\n"); // another program changes the file, then removes it
    const int changed = store->GetInt("Screen", "cx", 0);
    fs::remove(settingsFile());
    EXPECT_EQ(std::pair(changed, store->GetInt("Screen", "cx", -5)), std::pair(77, -5));
}

TEST_F(Settings, TheFirstStartImportsTheIniFileLineByLine) {
    std::string ini =
        "Early=1\n; comment\n\n" // before any section: dropped
        "  [Screen]  \nx=1\n[ Screen ]\ny=2\n\t[  Split Log\t]\r\nDate=01/02/03\n" // blanks around, in
        "[Search]\n[Screen] x\ny=3\nx[Screen]\n[Screen]=4\n" // no section line, no key line, a key
        "[Keys]\nx = 5\nName=a=b\n=empty name\nEmpty=\n"     // split at the first '=', nothing trimmed
        "[]\nTop=1\n[ ]\nNext=2\n";                          // the application key
    // Lines arrive in pieces of 519 characters. A section line padded to 519, then a key line glued after
    // it; a key line whose first piece ends in blanks, the second another key line; exactly 519 and the
    // line end (an empty piece); 520 characters (the 520th alone).
    ini += "[Long]" + std::string(519 - 6, ' ') + "k=1\n";
    ini += "a=" + std::string(255, 'x') + std::string(519 - 2 - 255, ' ') + "z=9\n";
    ini += "b=" + std::string(517, 'y') + "\nc=3\nd=" + std::string(517, 'w') + "=\n";
    ini += "[Last]\r\nName=C:\\DATA\r\n\x1aLate=1\r\n"; // text-mode line ends, Ctrl-Z ends the file
    write_bytes(dir_ / "windows" / "quorbit.ini", ini); // matched ignoring case
    auto store = startUp();
    // Key lines before the first section are dropped; "[Screen] x" and "x[Screen]" are neither section nor
    // key lines; the long "b" and "d" are stored but too long to read.
    // clang-format off
    const std::tuple<std::string, std::string, std::string> expected[] = {
        {"", "Early", "<default>"}, {"Search", "Early", "<default>"}, {"Screen", "x", "1"}, {"Screen", "y", "2"},
        {"Split Log", "Date", "01/02/03"}, {" Screen ", "y", "<default>"}, {"Search", "y", "3"},
        {"Search", "[Screen]", "4"}, {"Keys", "x ", " 5"}, {"Keys", "x", "<default>"}, {"Keys", "Name", "a=b"},
        {"Keys", "", "empty name"}, {"Keys", "Empty", ""}, {"", "Top", "1"}, {"", "Next", "2"}, {"Long", "k", "1"},
        {"Long", "a", "xxx"}, {"Long", "z", "9"}, {"Long", "b", "<default>"}, {"Long", "c", "3"},
        {"Long", "d", "<default>"}, {"Long", "", ""}, {"Last", "Name", "C:\\DATA"}, {"Last", "Late", "<default>"}};
    // clang-format on
    for (const auto& [section, key, text] : expected)
        EXPECT_EQ(store->GetString(section, key, "<default>"), text == "xxx" ? std::string(255, 'x') : text)
            << key;
    SettingsKeyHandle key =
        store->backend().OpenKey({SettingsRoot::LocalMachine, SettingsBasePath(), "Long"});
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(store->backend().ReadValue(*key, "b"), std::string(517, 'y'));
    EXPECT_EQ(read_bytes(dir_ / "windows" / "quorbit.ini"), ini); // left in place, unchanged
    EXPECT_EQ(read_bytes(settingsFile()).find("Early"), std::string::npos);
}

TEST_F(Settings, OnlyTheStartThatCreatesTheKeyImports) {
    write_bytes(iniFile(), "[Search]\nLimit=0\n");
    write_bytes(dir_ / "windows" / "QUORBIT.ini", "[Search]\nLimit=5\n");
    EXPECT_EQ(CSettingsStore(locations()).FindIniFile(), iniFile().string()); // the exact name first
    EXPECT_EQ(startUp()->GetInt("Search", "Limit", 7), 0); // a second start not importing: ini_fuzz.cpp
    fs::remove(settingsFile());
    openStore(); // the key made without an INI file: no import even later
    EXPECT_EQ(startUp()->GetInt("Search", "MasterFix", 7), 7);
    // A section that cannot be created stops the import.
    fs::remove(settingsFile());
    write_bytes(iniFile(), "[Before]\na=1\n[Stop]\nb=2\n[After]\nc=3\n");
    auto backend = std::make_unique<Backend>(settingsFile().string());
    backend->fails = [](int, const std::string& section) { return section == "Stop"; };
    CSettingsStore refused(std::move(backend), (dir_ / "windows").string());
    ASSERT_TRUE(OpenSettingsStoreAtStartUp(refused));
    EXPECT_EQ(refused.GetInt("Before", "a", 0) * 100 + refused.GetInt("Stop", "b", 0) * 10 +
                  refused.GetInt("After", "c", 0),
              100);
}

TEST_F(Settings, UnwritablePlacesKeepTheDefaultsSilently) {
    write_bytes(dir_ / "afile", "a regular file, so nothing can be created below it");
    write_bytes(iniFile(), "[Search]\nLimit=0\n");
    fs::create_directories(settingsFile()); // a settings file that is a directory
    for (const fs::path& file : {dir_ / "afile" / "settings.ini", settingsFile()}) {
        CSettingsStore store(SettingsLocations{file.string(), (dir_ / "windows").string()});
        EXPECT_FALSE(OpenSettingsStoreAtStartUp(store));
        EXPECT_EQ(store.GetBasePath(), SettingsBasePath()); // set even though Open failed
        EXPECT_FALSE(store.WriteInt("Screen", "x", 5) || store.WriteString("Search", "Name", "C:\\DATA"));
        store.ImportIniFile(); // cannot open the application key: nothing happens
        EXPECT_EQ(store.GetInt("Screen", "x", 0) + store.GetInt("Search", "Limit", 1), 1);
    }
    EXPECT_FALSE(fs::exists(dir_ / "afile" / "settings.ini"));
    // With no settings file given, the store uses QSettings' user file for the organisation.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString((dir_ / "xdg").string()));
    const std::string expected = (dir_ / "xdg" / "Kestrone Software" / "Quorbit.ini").string();
    EXPECT_EQ(QSettingsBackend::DefaultIniFile("Kestrone Software\\Quorbit") +
                  QSettingsBackend::DefaultIniFile(""),
              expected);
    CSettingsStore store(SettingsLocations{"", ""});
    EXPECT_EQ(store.GetWindowsDirectory(), DefaultWindowsDirectory());
#ifndef Q_OS_WIN
    EXPECT_EQ(DefaultWindowsDirectory(), "/etc");
    bool created = false;
    ASSERT_TRUE(open(store, created) && store.WriteInt("XportSel", "Delim", 2));
    EXPECT_NE(read_bytes(expected).find("[XportSel]\nDelim=2"), std::string::npos);
#endif
}

// ---- Writes under failure ---------------------------------------------------------------------------

// Each call of the store into its backend fails in turn while a value is written or the old INI file is
// imported. Nothing crashes, nothing is printed, and every value then reads as it was, as the default,
// or as written: never anything else.
TEST_F(Settings, EveryFailingBackendCallLeavesOldDefaultOrNewValues) {
    // Section, key, the text before (empty: not set), the text the operations write (empty: left alone).
    // clang-format off
    const std::tuple<std::string, std::string, std::string, std::string> values[] = {{"Screen", "x", "5", "1234"},
        {"Search", "Name", "C:\\DATA", "D:\\QUOTES\\NEW"}, {"Search", "Limit", "", "7"}, {"Edit", "Date", "", "01/02/99"},
        {"XportSel", "Delim", "2", ""}};
    // clang-format on
    const std::pair<const char*, std::function<void(CSettingsStore&)>> operations[] = {
        {"WriteInt", [](CSettingsStore& s) { s.WriteInt("Screen", "x", 1234); }},
        {"WriteString", [](CSettingsStore& s) { s.WriteString("Search", "Name", "D:\\QUOTES\\NEW"); }},
        {"ImportIniFile", [](CSettingsStore& s) { s.ImportIniFile(); }},
        {"start-up with the import", [](CSettingsStore& s) {
             s.WriteInt("Screen", "x", 1234);
             s.ImportIniFile();
         }}};
    // One run on fresh settings, failing call `fail_at` of the operation (0: none); the calls it made.
    auto run = [&](const std::function<void(CSettingsStore&)>& operation, int fail_at) {
        TempDir dir;
        fs::create_directories(dir / "windows");
        write_bytes(dir / "windows" / "Quorbit.INI", "[Search]\nLimit=7\n[Edit]\nDate=01/02/99\n");
        const SettingsLocations where{(dir / "config" / "Quorbit.ini").string(), (dir / "windows").string()};
        bool created = false;
        for (const auto& [section, key, before, written] : values)
            EXPECT_TRUE(before.empty() || CSettingsStore(where).WriteString(section, key, before));
        auto backend = std::make_unique<Backend>(where.settingsFile);
        Backend& calls = *backend;
        CSettingsStore store(std::move(backend), where.windowsDirectory);
        open(store, created);
        calls.calls = 0;
        calls.fails = [fail_at](int call, const std::string&) { return call == fail_at; };
        operation(store);
        CSettingsStore reader(where);
        open(reader, created);
        for (const auto& [section, key, before, written] : values) {
            const std::set<std::string> allowed = {"<default>", before.empty() ? "<default>" : before,
                                                   written.empty() ? "<default>" : written};
            const std::string text = reader.GetString(section, key, "<default>");
            EXPECT_TRUE(allowed.count(text)) << section << "\\" << key << " reads \"" << text << "\"";
        }
        const int x = reader.GetInt("Screen", "x", -99);
        EXPECT_TRUE(x == 5 || x == 1234) << x;
        return calls.calls;
    };
    int points = 0;
    for (const auto& [name, operation] : operations) {
        const int calls = run(operation, 0);
        EXPECT_GT(calls, 0) << name;
        for (int fail_at = 1; fail_at <= calls; ++fail_at) {
            SCOPED_TRACE(std::string(name) + ", failing backend call " + std::to_string(fail_at));
            run(operation, fail_at);
        }
        points += calls;
    }
    std::printf("settings faults: %d failing backend calls, values old, default or new after each\n", points);
}

TEST_F(Settings, TheSearchFilterAndTheDriveKeepTheirKeys) {
    auto store = openStore();
    const StoredSearchFilter defaults = ReadSearchFilter(*store, "/start");
    EXPECT_TRUE(defaults.limit && defaults.path == "/start" && !defaults.repair &&
                ReadSearchDrive(*store).empty());
    WriteSearchFilter(*store, {false, "/data", true});
    WriteSearchDrive(*store, "/media/usb");
    EXPECT_EQ(std::tuple(store->GetInt("Search", "Limit", -1), store->GetString("Search", "Name", ""),
                         store->GetInt("Search", "MasterFix", -1), store->GetString("Settings", "Drive", "")),
              std::tuple(0, "/data", 1, "/media/usb"));
    const StoredSearchFilter read = ReadSearchFilter(*openStore(), "/start");
    EXPECT_TRUE(!read.limit && read.path == "/data" && read.repair);
}

} // namespace
