// Settings writes under failure: each call of the store into its backend fails in turn while a value is
// written or the old INI file is imported. Nothing crashes, nothing is printed, and every value then
// reads as it was, as the default, or as written: never anything else.
#include "qt_messages.h"
#include "shell/settings_store.h"
#include "support/temp_dir.h"

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using testing_support::TempDir;
using testing_support::write_bytes;

namespace {

// The QSettings backend with a count of the calls made into it; once armed, call number `failAt`
// (1-based, counted from the arming) fails as a refusing registry would: no key, no value, or a write
// that does not happen.
class FailingBackend final : public SettingsBackend {
public:
    explicit FailingBackend(std::string file) : inner_(std::move(file)) {}
    void Arm(int failAt) {
        failAt_ = failAt;
        calls_ = 0;
    }
    int calls() const { return calls_; }

    SettingsKeyHandle CreateKey(const SettingsKeyPath& where, bool& created) override {
        if (Fails()) {
            created = false;
            return nullptr;
        }
        return inner_.CreateKey(where, created);
    }
    SettingsKeyHandle OpenKey(const SettingsKeyPath& where) override {
        return Fails() ? nullptr : inner_.OpenKey(where);
    }
    std::optional<std::string> ReadValue(SettingsKey& key, const std::string& name) override {
        return Fails() ? std::nullopt : inner_.ReadValue(key, name);
    }
    bool WriteValue(SettingsKey& key, const std::string& name, const std::string& text) override {
        return Fails() ? false : inner_.WriteValue(key, name, text);
    }

private:
    bool Fails() { return ++calls_ == failAt_; }

    QSettingsBackend inner_;
    int failAt_ = 0;
    int calls_ = 0;
};

struct Value {
    std::string section;
    std::string key;
    std::string before;  // empty: not set before
    std::string written; // what the operation writes; empty: left alone
};

// The values the operations touch, and one they must leave alone.
const std::vector<Value> kValues = {
    {"Screen", "x", "5", "1234"},   {"Search", "Name", "C:\\DATA", "D:\\QUOTES\\NEW"},
    {"Search", "Limit", "", "7"},   {"Edit", "Date", "", "01/02/99"},
    {"XportSel", "Delim", "2", ""},
};

using Operation = std::function<void(CSettingsStore&)>;

class SettingsFaults : public ::testing::Test {
protected:
    void SetUp() override {
        QtMessages().clear();
        previous_ = qInstallMessageHandler(CollectMessage);
    }
    void TearDown() override { qInstallMessageHandler(previous_); }

    // A store as after start-up, holding the values' old texts, and the old INI file beside it.
    SettingsLocations Prepare(const std::filesystem::path& dir) {
        std::filesystem::create_directories(dir / "windows");
        write_bytes(dir / "windows" / "Quorbit.INI", "[Search]\nLimit=7\n[Edit]\nDate=01/02/99\n");
        SettingsLocations where{(dir / "config" / "Quorbit.ini").string(), (dir / "windows").string()};
        CSettingsStore store(where);
        bool created = false;
        EXPECT_TRUE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));
        for (const Value& v : kValues) {
            if (!v.before.empty()) {
                EXPECT_TRUE(store.WriteString(v.section, v.key, v.before));
            }
        }
        return where;
    }

    // Runs the operation once to count its backend calls, then once per call with that call failing.
    // Returns the number of failing runs.
    int Sweep(const std::string& name, const Operation& operation) {
        const int calls = Run(operation, 0);
        EXPECT_GT(calls, 0) << name;
        for (int failAt = 1; failAt <= calls; ++failAt) {
            SCOPED_TRACE(name + ", failing backend call " + std::to_string(failAt));
            Run(operation, failAt);
        }
        EXPECT_TRUE(QtMessages().empty()) << name << ": " << QtMessages().front();
        return calls;
    }

    // One run on fresh settings, failing call `failAt` of the operation (0: none); the calls it made.
    int Run(const Operation& operation, int failAt) {
        TempDir dir;
        SettingsLocations where = Prepare(dir.path());
        auto backend = std::make_unique<FailingBackend>(where.settingsFile);
        FailingBackend& calls = *backend;
        CSettingsStore store(std::move(backend), where.windowsDirectory);
        Open(store);
        calls.Arm(failAt);
        operation(store);
        ExpectOldDefaultOrNew(where);
        return calls.calls();
    }

    static void Open(CSettingsStore& store) {
        bool created = false;
        store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created);
    }

    static void ExpectOldDefaultOrNew(const SettingsLocations& where) {
        CSettingsStore reader(where);
        Open(reader);
        for (const Value& v : kValues) {
            const std::string text = reader.GetString(v.section, v.key, "<default>");
            std::set<std::string> allowed = {"<default>", v.before.empty() ? "<default>" : v.before};
            if (!v.written.empty())
                allowed.insert(v.written);
            EXPECT_TRUE(allowed.count(text)) << v.section << "\\" << v.key << " reads \"" << text << "\"";
            const int number = reader.GetInt(v.section, v.key, -99);
            if (v.section == "Screen") {
                EXPECT_TRUE(number == 5 || number == 1234) << "Screen\\x reads " << number;
            }
        }
    }

    QtMessageHandler previous_ = nullptr;
};

TEST_F(SettingsFaults, EveryFailingBackendCallLeavesOldDefaultOrNewValues) {
    int points = 0;
    points += Sweep("WriteInt", [](CSettingsStore& store) { store.WriteInt("Screen", "x", 1234); });
    points += Sweep("WriteString",
                    [](CSettingsStore& store) { store.WriteString("Search", "Name", "D:\\QUOTES\\NEW"); });
    points += Sweep("ImportIniFile", [](CSettingsStore& store) { store.ImportIniFile(); });
    points += Sweep("start-up with the import", [](CSettingsStore& store) {
        store.WriteInt("Screen", "x", 1234);
        store.ImportIniFile();
    });
    std::printf("settings faults: %d failing backend calls, values old, default or new after each\n", points);
}

} // namespace
