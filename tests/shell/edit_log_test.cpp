// The edit log reaches the settings store from a command's result, and only from one that did its work.
#include "shell/edit_log.h"
#include "shell/settings_store.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using testing_support::TempDir;

TEST(EditLog, TheEntriesOfADoneCommandAreWrittenAsTexts) {
    TempDir dir;
    CSettingsStore store(SettingsLocations{(dir / "Quorbit.ini").string(), (dir / "windows").string()});
    bool created = false;
    ASSERT_TRUE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created));

    CommandResult done = CommandResult::success();
    done.log = {{"Edit", "Date", "01/09/96"}, {"Edit", "Open", "25.5000"}, {"Edit", "Date", "01/10/96"}};
    CommandResult failed = CommandResult::failure("Single Date Edit Failed");
    failed.log = {{"Split", "Date", "01/09/96"}};
    WriteEditLog(done, store);
    WriteEditLog(failed, store);
    WriteSettingsEntries({{"XportSel", "Delim", "2"}}, store);

    EXPECT_EQ(store.GetString("Edit", "Date", ""), "01/10/96"); // the later entry wins
    EXPECT_EQ(store.GetString("Edit", "Open", ""), "25.5000");
    EXPECT_EQ(store.GetString("Split", "Date", "none"), "none");
    EXPECT_EQ(store.GetInt("XportSel", "Delim", 0), 2);
}
