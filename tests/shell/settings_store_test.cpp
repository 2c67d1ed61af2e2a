// The settings store on its QSettings backend, every test on a settings file and a
// "Windows directory" inside a temporary folder: the user's real settings are never touched.
#include "qt_messages.h"
#include "shell/settings_store.h"
#include "support/temp_dir.h"

#include <QSettings>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using testing_support::read_bytes;
using testing_support::TempDir;
using testing_support::write_bytes;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        QtMessages().clear();
        previousHandler_ = qInstallMessageHandler(CollectMessage);
        std::filesystem::create_directories(windowsDir());
    }
    void TearDown() override {
        qInstallMessageHandler(previousHandler_);
        EXPECT_TRUE(QtMessages().empty()) << "first message: " << QtMessages().front();
    }

    std::filesystem::path settingsFile() const { return dir_ / "config" / "Quorbit.ini"; }
    std::filesystem::path windowsDir() const { return dir_ / "windows"; }
    std::filesystem::path iniFile() const { return windowsDir() / "Quorbit.INI"; }

    SettingsLocations locations() const { return {settingsFile().string(), windowsDir().string()}; }

    // A store as the application has it after start-up.
    std::unique_ptr<CSettingsStore> openStore() {
        auto store = std::make_unique<CSettingsStore>(locations());
        bool created = false;
        EXPECT_TRUE(store->Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
        return store;
    }

    // A start of the program: a new store, Open, and the import on a newly created key.
    std::unique_ptr<CSettingsStore> startUp() {
        auto store = std::make_unique<CSettingsStore>(locations());
        EXPECT_TRUE(OpenSettingsStoreAtStartUp(*store));
        return store;
    }

    TempDir dir_;
    QtMessageHandler previousHandler_ = nullptr;
};

// ---------------------------------------------------------------------------------------------------
// Open and the base path

TEST_F(SettingsStoreTest, OpenCreatesTheKeyOnceAndSetsTheBasePath) {
    CSettingsStore store(locations());
    EXPECT_EQ(store.GetBasePath(), "");
    EXPECT_EQ(store.GetRoot(), SettingsRoot::LocalMachine);

    bool created = false;
    ASSERT_TRUE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
    EXPECT_TRUE(created);
    EXPECT_EQ(store.GetBasePath(), "Software\\Kestrone Software\\Quorbit");
    EXPECT_TRUE(std::filesystem::is_regular_file(settingsFile()));

    created = true;
    ASSERT_TRUE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
    EXPECT_FALSE(created);

    CSettingsStore again(locations());
    ASSERT_TRUE(again.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
    EXPECT_FALSE(created);
}

TEST_F(SettingsStoreTest, OpenLeavesTheKeyOpenForTheCaller) {
    CSettingsStore store(locations());
    SettingsKeyHandle key;
    bool created = false;
    ASSERT_TRUE(store.Open(SettingsRoot::CurrentUser, SettingsBasePath(), key, created));
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(created);
    EXPECT_EQ(key->where().path, SettingsBasePath());
    EXPECT_EQ(key->where().section, "");
    EXPECT_EQ(store.GetRoot(), SettingsRoot::CurrentUser);
    EXPECT_TRUE(store.backend().WriteValue(*key, "AtTheTop", "1"));
    SettingsBackend::CloseKey(key);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(store.GetInt("", "AtTheTop", 0), 1);
}

// ---------------------------------------------------------------------------------------------------
// Integers

TEST(ScanDecimalInt, ReadsAsPercentDDoes) {
    EXPECT_EQ(ScanDecimalInt("42"), 42);
    EXPECT_EQ(ScanDecimalInt(" 42"), 42);
    EXPECT_EQ(ScanDecimalInt("\t\n\v\f\r 42"), 42);
    EXPECT_EQ(ScanDecimalInt("7a"), 7);
    EXPECT_EQ(ScanDecimalInt("7 8"), 7);
    EXPECT_EQ(ScanDecimalInt("-13"), -13);
    EXPECT_EQ(ScanDecimalInt("+8"), 8);
    EXPECT_EQ(ScanDecimalInt("  -0"), 0);
    EXPECT_EQ(ScanDecimalInt("007"), 7);
    EXPECT_EQ(ScanDecimalInt("0x1F"), 0);
    EXPECT_EQ(ScanDecimalInt("12.9"), 12);
    EXPECT_EQ(ScanDecimalInt("2147483647"), 2147483647);
    EXPECT_EQ(ScanDecimalInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ScanDecimalInt("4294967297"), 1); // wraps modulo 2^32
    const std::string withNul{'5', '\0', '9'};
    EXPECT_EQ(ScanDecimalInt(withNul), 5); // a C string ends at its NUL

    EXPECT_EQ(ScanDecimalInt(""), std::nullopt);
    EXPECT_EQ(ScanDecimalInt("   "), std::nullopt);
    EXPECT_EQ(ScanDecimalInt("abc"), std::nullopt);
    EXPECT_EQ(ScanDecimalInt("-"), std::nullopt);
    EXPECT_EQ(ScanDecimalInt("+-1"), std::nullopt);
    EXPECT_EQ(ScanDecimalInt("- 5"), std::nullopt);
    EXPECT_EQ(ScanDecimalInt("x5"), std::nullopt);
}

TEST_F(SettingsStoreTest, GetIntReturnsTheDefaultForMissingOrNonNumericValues) {
    auto store = openStore();
    EXPECT_EQ(store->GetInt("Nowhere", "x", 17), 17); // missing section
    ASSERT_TRUE(store->WriteString("Screen", "y", "5"));
    EXPECT_EQ(store->GetInt("Screen", "x", 18), 18); // missing key
    ASSERT_TRUE(store->WriteString("Screen", "x", "abc"));
    EXPECT_EQ(store->GetInt("Screen", "x", 19), 19); // letters only
    ASSERT_TRUE(store->WriteString("Screen", "x", ""));
    EXPECT_EQ(store->GetInt("Screen", "x", 20), 20); // empty text
    ASSERT_TRUE(store->WriteString("Screen", "x", "- 3"));
    EXPECT_EQ(store->GetInt("Screen", "x", 21), 21);
}

TEST_F(SettingsStoreTest, GetIntReadsTheLeadingInteger) {
    auto store = openStore();
    ASSERT_TRUE(store->WriteString("Screen", "x", " 42"));
    EXPECT_EQ(store->GetInt("Screen", "x", 0), 42);
    ASSERT_TRUE(store->WriteString("Screen", "x", "7q"));
    EXPECT_EQ(store->GetInt("Screen", "x", 0), 7);
    ASSERT_TRUE(store->WriteString("Screen", "x", "-120"));
    EXPECT_EQ(store->GetInt("Screen", "x", 0), -120);
    ASSERT_TRUE(store->WriteString("Screen", "x", "\t+9 px"));
    EXPECT_EQ(store->GetInt("Screen", "x", 0), 9);
}

TEST_F(SettingsStoreTest, WriteIntStoresTheDecimalText) {
    auto store = openStore();
    ASSERT_TRUE(store->WriteInt("XportSel", "Delim", 2));
    EXPECT_EQ(store->GetString("XportSel", "Delim", "none"), "2");
    EXPECT_EQ(store->GetInt("XportSel", "Delim", 0), 2);
    ASSERT_TRUE(store->WriteInt("Screen", "x", -2147483647 - 1));
    EXPECT_EQ(store->GetString("Screen", "x", ""), "-2147483648");
    EXPECT_EQ(store->GetInt("Screen", "x", 0), -2147483647 - 1);

    // Text in the file, under the section's group.
    std::string content = read_bytes(settingsFile());
    EXPECT_NE(content.find("[XportSel]\nDelim=2\n"), std::string::npos) << content;
}

// ---------------------------------------------------------------------------------------------------
// The 260-byte buffer

TEST_F(SettingsStoreTest, TextsOf260CharactersOrMoreReadAsTheDefault) {
    auto store = openStore();
    const std::string t259(259, 'a');
    const std::string t260(260, 'b');
    ASSERT_TRUE(store->WriteString("Search", "Name", t259));
    EXPECT_EQ(store->GetString("Search", "Name", "default"), t259);
    ASSERT_TRUE(store->WriteString("Search", "Name", t260));
    EXPECT_EQ(store->GetString("Search", "Name", "default"), "default");
    ASSERT_TRUE(store->WriteString("Search", "Name", std::string(5000, 'c')));
    EXPECT_EQ(store->GetString("Search", "Name", "default"), "default");

    // The same rule for integers: "7" and 258 more characters is read, one more is not.
    ASSERT_TRUE(store->WriteString("Screen", "x", "7" + std::string(258, ' ')));
    EXPECT_EQ(store->GetInt("Screen", "x", -1), 7);
    ASSERT_TRUE(store->WriteString("Screen", "x", "7" + std::string(259, ' ')));
    EXPECT_EQ(store->GetInt("Screen", "x", -1), -1);

    // Bytes, not characters of some encoding, are counted.
    const std::string high(259, '\xe9');
    ASSERT_TRUE(store->WriteString("Search", "Name", high));
    EXPECT_EQ(store->GetString("Search", "Name", "default"), high);
}

// ---------------------------------------------------------------------------------------------------
// Names and texts round-trip exactly

TEST_F(SettingsStoreTest, NamesAndTextsRoundTripExactly) {
    std::string allBytes;
    for (int c = 1; c < 256; ++c)
        allBytes += static_cast<char>(c);
    const std::vector<std::string> names = {
        "x",      "x ",    " x",        "x  y",  "a/b", "/lead",
        "trail/", "a//b",  "a\\b",      "\\",    "%",   "%2F",
        "%25",    "%%",    "General",   "a=b",   "=",   "[s]",
        ";c",     "#c",    "\"q\"",     "'q'",   "@x",  "a,b",
        "tab\tx", "nl\nx", "\xe9t\xe9", "\x7f",  "X",   std::string("nul\0in", 6),
        "lead",   "trail", "a%2Fb",     "a%5Cb", "a",   "general",
        "%00",    "ab"};
    const std::vector<std::string> texts = {" 5",
                                            "5 ",
                                            "",
                                            "@x",
                                            "@@",
                                            "a,b",
                                            "a, b",
                                            "\"q\"",
                                            "\\",
                                            "a;b",
                                            "a=b",
                                            "l1\nl2",
                                            "\t",
                                            "C:\\DATA",
                                            "%20",
                                            "@String(x)",
                                            allBytes.substr(0, 255),
                                            "\xe9"};
    // A different text for every name, so that two names stored as one would show.
    auto textFor = [&](std::size_t i) {
        return texts[i % texts.size()] + std::string(i / texts.size(), '+');
    };
    {
        auto store = openStore();
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string text = textFor(i);
            ASSERT_TRUE(store->WriteString("Sec", names[i], text)) << names[i];
            ASSERT_TRUE(store->WriteString(names[i], "k", text)) << names[i];
        }
    }
    auto store = openStore(); // a second store: everything comes from the file
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string text = textFor(i);
        EXPECT_EQ(store->GetString("Sec", names[i], "<default>"), text) << "key [" << names[i] << "]";
        EXPECT_EQ(store->GetString(names[i], "k", "<default>"), text) << "section [" << names[i] << "]";
    }
    // Names are not mixed up with their neighbours: "x" and "x " are two values, "a/b" is no group.
    EXPECT_EQ(store->GetString("Sec", "x", ""), texts[0]);
    EXPECT_EQ(store->GetString("Sec", "x ", ""), texts[1]);
    EXPECT_EQ(store->GetString("a", "b", "<default>"), "<default>");
    EXPECT_EQ(store->GetString("Sec", "nul", "<default>"), "<default>");
}

TEST_F(SettingsStoreTest, AValueNameWithATrailingBlankStaysSeparate) {
    auto store = openStore();
    ASSERT_TRUE(store->WriteString("Screen", "x ", " 5"));
    EXPECT_EQ(store->GetString("Screen", "x ", ""), " 5");
    EXPECT_EQ(store->GetInt("Screen", "x ", -1), 5);
    EXPECT_EQ(store->GetInt("Screen", "x", -1), -1);
    EXPECT_EQ(store->GetInt("Screen", " x", -1), -1);
}

TEST_F(SettingsStoreTest, EmptySectionIsTheApplicationKey) {
    auto store = openStore();
    ASSERT_TRUE(store->WriteString("", "Top", "t"));
    ASSERT_TRUE(store->WriteString("", "", "empty name"));
    EXPECT_EQ(store->GetString("", "Top", ""), "t");
    EXPECT_EQ(store->GetString("", "", ""), "empty name");
    EXPECT_EQ(store->GetString("Top", "", "<default>"), "<default>");
}

TEST_F(SettingsStoreTest, NothingIsCachedBetweenCalls) {
    auto first = openStore();
    auto second = openStore();
    ASSERT_TRUE(first->WriteInt("Screen", "cx", 640));
    EXPECT_EQ(second->GetInt("Screen", "cx", 0), 640);
    ASSERT_TRUE(second->WriteInt("Screen", "cx", 1024));
    EXPECT_EQ(first->GetInt("Screen", "cx", 0), 1024);

    // Another program changes the file: the next read sees it.
    write_bytes(settingsFile(), "[Screen]\ncx=77\ncy=88\n");
    EXPECT_EQ(first->GetInt("Screen", "cx", 0), 77);
    EXPECT_EQ(first->GetInt("Screen", "cy", 0), 88);
    std::filesystem::remove(settingsFile());
    EXPECT_EQ(first->GetInt("Screen", "cx", -5), -5);
}

// ---------------------------------------------------------------------------------------------------
// INI import

TEST_F(SettingsStoreTest, FirstStartImportsTheIniFile) {
    const std::string ini = "[Search]\nLimit=0\nName=C:\\DATA\n";
    write_bytes(iniFile(), ini);
    auto store = startUp();
    EXPECT_EQ(store->GetString("Search", "Limit", "none"), "0");
    EXPECT_EQ(store->GetInt("Search", "Limit", 1), 0);
    EXPECT_EQ(store->GetString("Search", "Name", "none"), "C:\\DATA");
    EXPECT_EQ(read_bytes(iniFile()), ini); // left in place, unchanged
}

TEST_F(SettingsStoreTest, SecondStartDoesNotImportAgain) {
    write_bytes(iniFile(), "[Search]\nLimit=0\n");
    startUp();
    write_bytes(iniFile(), "[Search]\nLimit=1\nMasterFix=1\n");
    auto store = startUp();
    EXPECT_EQ(store->GetInt("Search", "Limit", 7), 0);
    EXPECT_EQ(store->GetInt("Search", "MasterFix", 7), 7);
}

TEST_F(SettingsStoreTest, NoImportWhenTheKeyExistedBeforeEvenIfEmpty) {
    {
        CSettingsStore store(locations());
        bool created = false;
        ASSERT_TRUE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created)); // no INI yet
        EXPECT_TRUE(created);
    }
    write_bytes(iniFile(), "[Search]\nLimit=0\n");
    auto store = startUp();
    EXPECT_EQ(store->GetInt("Search", "Limit", 7), 7);
}

TEST_F(SettingsStoreTest, MissingIniFileImportsNothing) {
    auto store = startUp();
    EXPECT_TRUE(std::filesystem::is_regular_file(settingsFile()));
    EXPECT_EQ(store->GetInt("Search", "Limit", 1), 1);
}

TEST_F(SettingsStoreTest, SectionLinesWithBlanksAroundAndInsideTheBrackets) {
    write_bytes(iniFile(), "  [Screen]  \nx=1\n[ Screen ]\ny=2\n\t[  Split Log\t]\r\nDate=01/02/03\n");
    auto store = startUp();
    EXPECT_EQ(store->GetInt("Screen", "x", 0), 1);
    EXPECT_EQ(store->GetInt("Screen", "y", 0), 2);
    EXPECT_EQ(store->GetString("Split Log", "Date", ""), "01/02/03");
    EXPECT_EQ(store->GetString(" Screen ", "y", "none"), "none");
}

TEST_F(SettingsStoreTest, SectionLineFollowedByTextIsIgnored) {
    write_bytes(iniFile(), "[Search]\n[Screen] x\ny=3\nx[Screen]\n[Screen]=4\n");
    auto store = startUp();
    // "[Screen] x" is not a section line and holds no "=": ignored, so y still lands in Search.
    EXPECT_EQ(store->GetInt("Search", "y", 0), 3);
    EXPECT_EQ(store->GetInt("Screen", "y", -1), -1);
    // "[Screen]=4" is a key line of Search named "[Screen]".
    EXPECT_EQ(store->GetInt("Search", "[Screen]", 0), 4);
}

TEST_F(SettingsStoreTest, KeyAndValueAreSplitAtTheFirstEqualsWithoutTrimming) {
    write_bytes(iniFile(), "[Screen]\nx = 5\nName=a=b\n=empty name\nEmpty=\n");
    auto store = startUp();
    EXPECT_EQ(store->GetString("Screen", "x ", "none"), " 5");
    EXPECT_EQ(store->GetInt("Screen", "x ", -1), 5);
    EXPECT_EQ(store->GetInt("Screen", "x", -1), -1);
    EXPECT_EQ(store->GetString("Screen", "Name", ""), "a=b");
    EXPECT_EQ(store->GetString("Screen", "", ""), "empty name");
    EXPECT_EQ(store->GetString("Screen", "Empty", "none"), "");
}

TEST_F(SettingsStoreTest, KeyLinesBeforeTheFirstSectionAreDropped) {
    write_bytes(iniFile(), "Early=1\n; comment\n\n[Search]\nLimit=0\n");
    auto store = startUp();
    EXPECT_EQ(store->GetInt("", "Early", -1), -1);
    EXPECT_EQ(store->GetInt("Search", "Early", -1), -1);
    EXPECT_EQ(store->GetInt("Search", "Limit", -1), 0);
    EXPECT_EQ(read_bytes(settingsFile()).find("Early"), std::string::npos);
}

TEST_F(SettingsStoreTest, LongLinesArriveInPiecesOf519Characters) {
    std::string ini;
    // A section line padded to 519 characters, with a key line glued after it: two pieces.
    ini += "[Long]" + std::string(519 - 6, ' ') + "k=1\n";
    // A key line whose first piece ends in blanks (trimmed away), the second piece another key line.
    ini += "a=" + std::string(255, 'x') + std::string(519 - 2 - 255, ' ') + "z=9\n";
    // Exactly 519 characters and then the line end: the line end arrives as an empty piece.
    ini += "b=" + std::string(517, 'y') + "\n";
    ini += "c=3\n";
    // 520 characters: the 520th arrives alone.
    ini += "d=" + std::string(517, 'w') + "=\n";
    write_bytes(iniFile(), ini);
    auto store = startUp();
    EXPECT_EQ(store->GetInt("Long", "k", 0), 1);
    EXPECT_EQ(store->GetString("Long", "a", ""), std::string(255, 'x'));
    EXPECT_EQ(store->GetInt("Long", "z", 0), 9);
    EXPECT_EQ(store->GetString("Long", "b", "too long"), "too long"); // 517 characters: stored, not readable
    EXPECT_EQ(store->GetInt("Long", "c", 0), 3);
    EXPECT_EQ(store->GetString("Long", "d", "too long"), "too long");
    EXPECT_EQ(store->GetString("Long", "", "none"), ""); // the lone "=" piece: empty name, empty text

    SettingsKeyHandle key =
        store->backend().OpenKey({SettingsRoot::LocalMachine, SettingsBasePath(), "Long"});
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(store->backend().ReadValue(*key, "b"), std::string(517, 'y'));
    EXPECT_EQ(store->backend().ReadValue(*key, "d"), std::string(517, 'w'));
}

TEST_F(SettingsStoreTest, EmptySectionNameWritesIntoTheApplicationKey) {
    write_bytes(iniFile(), "[]\nTop=1\n[ ]\nNext=2\n");
    auto store = startUp();
    EXPECT_EQ(store->GetInt("", "Top", 0), 1);
    EXPECT_EQ(store->GetInt("", "Next", 0), 2);
}

TEST_F(SettingsStoreTest, IniFileNameMatchesIgnoringCase) {
    write_bytes(windowsDir() / "quorbit.ini", "[Search]\nLimit=0\n");
    auto store = startUp();
    EXPECT_EQ(store->FindIniFile(), (windowsDir() / "quorbit.ini").string());
    EXPECT_EQ(store->GetInt("Search", "Limit", 1), 0);
}

TEST_F(SettingsStoreTest, ExactIniFileNameIsPreferred) {
    write_bytes(windowsDir() / "QUORBIT.ini", "[Search]\nLimit=5\n");
    write_bytes(iniFile(), "[Search]\nLimit=0\n");
    CSettingsStore store(locations());
    EXPECT_EQ(store.FindIniFile(), iniFile().string());
}

TEST_F(SettingsStoreTest, TextModeLineEndsAndCtrlZ) {
    write_bytes(iniFile(), "[Search]\r\nLimit=0\r\nName=C:\\DATA\r\n\x1aLate=1\r\n");
    auto store = startUp();
    EXPECT_EQ(store->GetString("Search", "Name", ""), "C:\\DATA");
    EXPECT_EQ(store->GetInt("Search", "Late", -1), -1);
}

// A backend that cannot create the section "Stop".
class RefusingBackend final : public SettingsBackend {
public:
    explicit RefusingBackend(std::string file) : inner_(std::move(file)) {}
    SettingsKeyHandle CreateKey(const SettingsKeyPath& where, bool& created) override {
        if (where.section == "Stop")
            return nullptr;
        return inner_.CreateKey(where, created);
    }
    SettingsKeyHandle OpenKey(const SettingsKeyPath& where) override { return inner_.OpenKey(where); }
    std::optional<std::string> ReadValue(SettingsKey& key, const std::string& name) override {
        return inner_.ReadValue(key, name);
    }
    bool WriteValue(SettingsKey& key, const std::string& name, const std::string& text) override {
        return inner_.WriteValue(key, name, text);
    }

private:
    QSettingsBackend inner_;
};

TEST_F(SettingsStoreTest, FailureToCreateASectionStopsTheImport) {
    write_bytes(iniFile(), "[Before]\na=1\n[Stop]\nb=2\n[After]\nc=3\n");
    CSettingsStore store(std::make_unique<RefusingBackend>(settingsFile().string()), windowsDir().string());
    ASSERT_TRUE(OpenSettingsStoreAtStartUp(store));
    EXPECT_EQ(store.GetInt("Before", "a", 0), 1);
    EXPECT_EQ(store.GetInt("Stop", "b", 0), 0);
    EXPECT_EQ(store.GetInt("After", "c", 0), 0);
    EXPECT_EQ(store.GetInt("Before", "b", 0), 0);
}

// ---------------------------------------------------------------------------------------------------
// Places that cannot be written

TEST_F(SettingsStoreTest, UnwritableLocationKeepsTheDefaultsSilently) {
    write_bytes(dir_ / "afile", "a regular file, so nothing can be created below it");
    write_bytes(iniFile(), "[Search]\nLimit=0\n");
    SettingsLocations where{(dir_ / "afile" / "settings.ini").string(), windowsDir().string()};
    CSettingsStore store(where);
    EXPECT_FALSE(OpenSettingsStoreAtStartUp(store));
    EXPECT_EQ(store.GetBasePath(), SettingsBasePath()); // set even though Open failed
    bool created = true;
    EXPECT_FALSE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
    EXPECT_FALSE(created);

    EXPECT_FALSE(store.WriteInt("Screen", "x", 5));
    EXPECT_FALSE(store.WriteString("Search", "Name", "C:\\DATA"));
    EXPECT_EQ(store.GetInt("Screen", "x", 0), 0);
    EXPECT_EQ(store.GetInt("Search", "Limit", 1), 1);
    EXPECT_EQ(store.GetString("Search", "Name", "here"), "here");
    store.ImportIniFile(); // cannot open the application key: nothing happens
    EXPECT_EQ(store.GetInt("Search", "Limit", 1), 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "afile" / "settings.ini"));
}

TEST_F(SettingsStoreTest, SettingsFileThatIsADirectoryKeepsTheDefaults) {
    std::filesystem::create_directories(settingsFile());
    CSettingsStore store(locations());
    bool created = true;
    EXPECT_FALSE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
    EXPECT_FALSE(store.WriteInt("Screen", "x", 5));
    EXPECT_EQ(store.GetInt("Screen", "x", 3), 3);
}

TEST_F(SettingsStoreTest, BackendWithoutWriteAccessRefusesWrites) {
    auto store = openStore();
    ASSERT_TRUE(store->WriteInt("Screen", "x", 1));
    SettingsKeyHandle readOnly =
        store->backend().OpenKey({SettingsRoot::LocalMachine, SettingsBasePath(), "Screen"});
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(store->backend().WriteValue(*readOnly, "x", "2"));
    SettingsBackend::CloseKey(readOnly);
    EXPECT_EQ(store->GetInt("Screen", "x", 0), 1);
}

// ---------------------------------------------------------------------------------------------------
// The default place of the INI backend (pointed at a temporary folder, never the user's own)

TEST_F(SettingsStoreTest, DefaultIniFileIsQSettingsUserFileForOrganisationAndApplication) {
    const QString configDir = QString::fromStdString((dir_ / "xdg").string());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configDir);
    const std::string expected = (dir_ / "xdg" / "Kestrone Software" / "Quorbit.ini").string();
    EXPECT_EQ(QSettingsBackend::DefaultIniFile(SettingsBasePath()), expected);
    EXPECT_EQ(QSettingsBackend::DefaultIniFile("Kestrone Software\\Quorbit"), expected);
    EXPECT_EQ(QSettingsBackend::DefaultIniFile(""), "");

#ifndef Q_OS_WIN
    // With no settings file given, the store uses that file.
    CSettingsStore store(SettingsLocations{"", windowsDir().string()});
    bool created = false;
    ASSERT_TRUE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
    EXPECT_TRUE(created);
    ASSERT_TRUE(store.WriteInt("XportSel", "Delim", 2));
    EXPECT_NE(read_bytes(expected).find("[XportSel]\nDelim=2"), std::string::npos);
    EXPECT_EQ(store.GetInt("XportSel", "Delim", 0), 2);
#endif
}

TEST(SettingsStoreDefaults, WindowsDirectoryAndBasePath) {
#ifdef Q_OS_WIN
    EXPECT_FALSE(DefaultWindowsDirectory().empty());
#else
    EXPECT_EQ(DefaultWindowsDirectory(), "/etc");
#endif
    EXPECT_EQ(SettingsBasePath(), "Software\\Kestrone Software\\Quorbit");
    CSettingsStore store(SettingsLocations{"/nonexistent-never-written.ini", ""});
    EXPECT_EQ(store.GetWindowsDirectory(), DefaultWindowsDirectory());
    EXPECT_EQ(store.GetApplicationName(), "Quorbit");
}

} // namespace
