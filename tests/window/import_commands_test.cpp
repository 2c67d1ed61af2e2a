// Bringing quotes in from the window, offscreen: a new portfolio listed and opened, a new security in
// the list, and an import whose preview and counts are read off the dialog before OK.
#include "browser/ui/symbol_list_model.h"
#include "support/builder.h"
#include "support/qt_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTableWidget>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

class ImportWindow : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        write_portfolio(dir_, {make_security(1, "AAA", "ALPHA", bars_on({date_pack(124, 1, 2)})),
                               make_security(2, "BBB", "BETA", bars_on({date_pack(124, 1, 2)}))});
        OpenWindow();
        ASSERT_EQ(view_->Symbols().Rows(), 2);
    }
    static QString Header(QTableWidget* table, int column) {
        return table->horizontalHeaderItem(column)->text();
    }

    fs::path dir_ = root_ / "volume" / "a_port";
};

TEST_F(ImportWindow, APreviewShowsEachValuesColumnAndTheCountsBeforeAnythingIsWritten) {
    write_bytes(root_ / "day.csv", "<TICKER>,<PER>,<DTYYYYMMDD>,<CLOSE>,<VOL>\n"
                                   "AAA,D,20240103,5.5,100\n"
                                   "NEW,D,20240103,7,200\n"
                                   "BBB,D,20240102,9,300\n");
    const Snapshot before = snapshot(dir_);
    Prompts::Get().AnswerFileName(QString::fromStdString((root_ / "day.csv").string()));
    Prompts::Get().AnswerDialog([&](QDialog& dialog) {
        auto* preview = dialog.findChild<QTableWidget*>("previewTable");
        ASSERT_EQ(preview->rowCount(), 3);
        EXPECT_EQ(Header(preview, 0), "Ticker\n<TICKER>");
        EXPECT_EQ(Header(preview, 1), "Skip\n<PER>");
        EXPECT_EQ(Header(preview, 2), "Date\n<DTYYYYMMDD>");
        EXPECT_EQ(preview->item(1, 3)->text(), "7");
        EXPECT_EQ(preview->verticalHeaderItem(0)->text(), "2");
        // The file names its securities: the lines go to them; NEW is not there yet.
        EXPECT_TRUE(dialog.findChild<QRadioButton*>("byFileRadio")->isChecked());
        const QString refused = Label(dialog, "countsLabel");
        EXPECT_TRUE(refused.contains("Symbol NEW was not found")) << refused.toStdString();
        EXPECT_FALSE(Enabled(dialog, "importButton"));
        dialog.findChild<QCheckBox*>("createCheck")->click();
        EXPECT_TRUE(
            Label(dialog, "countsLabel")
                .endsWith(
                    "3 quotes for 3 securities (1 to be made): 2 to add, 1 to replace, 0 already there."))
            << Label(dialog, "countsLabel").toStdString();
        EXPECT_EQ(snapshot(dir_), before); // the counts were read without a write
        dialog.accept();
    });
    Trigger("actionImportQuotes");
    ASSERT_EQ(view_->Symbols().Rows(), 3);
    const std::vector<QString> shown = Shown(Prompts::Kind::Information);
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(shown.back().contains(
        "NEW (new): 1 added, 0 replaced, 0 unchanged; 1 quote from 01/03/24 to 01/03/24"))
        << shown.back().toStdString();
    SeriesLocation at;
    ASSERT_EQ(series_locate(dir_, "NEW", at), 0);
    EXPECT_EQ(at.record.file_number(), 3);
}

TEST_F(ImportWindow, ARefusedFileCannotBeImportedAndTheMappingCanBeChanged) {
    write_bytes(root_ / "aaa.txt", "20240103 5 6 4 5.5\n20240104 6 7 5 6.5\n");
    Prompts::Get().AnswerFileName(QString::fromStdString((root_ / "aaa.txt").string()));
    Prompts::Get().AnswerDialog([&](QDialog& dialog) {
        // Into the security on screen; four values a line name no columns by themselves.
        EXPECT_TRUE(dialog.findChild<QRadioButton*>("intoSymbolRadio")->isChecked());
        EXPECT_TRUE(Label(dialog, "countsLabel").contains("line 1"))
            << Label(dialog, "countsLabel").toStdString();
        EXPECT_FALSE(Enabled(dialog, "importButton"));
        Retype(dialog, "columnsEdit", "date,open,high,low,close");
        Edit(dialog, "columnsEdit")->editingFinished();
        EXPECT_EQ(Header(dialog.findChild<QTableWidget*>("previewTable"), 4), "Close");
        EXPECT_TRUE(Label(dialog, "countsLabel").endsWith("2 to add, 0 to replace, 0 already there."))
            << Label(dialog, "countsLabel").toStdString();
        Click(dialog, "importButton");
    });
    Trigger("actionImportQuotes");
    EXPECT_EQ(view_->State().currentSymbol, "AAA");
    EXPECT_EQ(view_->State().quoteCount, 3);
}

TEST_F(ImportWindow, NewSymbolAndNewPortfolioAppearInTheirLists) {
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        Click(dialog, "okButton"); // no symbol: refused, the dialog stays
        Retype(dialog, "symbolEdit", "ZED");
        Retype(dialog, "nameEdit", "Zed Holdings of a long name");
        dialog.accept();
    });
    Trigger("actionNewSymbol");
    ASSERT_EQ(view_->Symbols().Rows(), 3);
    EXPECT_TRUE(fs::exists(dir_ / "F3.DAT"));
    const fs::path made = root_ / "volume" / "fresh";
    fs::create_directories(made);
    Prompts::Get().AnswerFileName(QString::fromStdString(made.string()));
    Trigger("actionNewPortfolio");
    EXPECT_EQ(view_->State().portfolioDir, made);
    EXPECT_EQ(view_->Symbols().Rows(), 0);
    EXPECT_TRUE(fs::exists(made / "MASTER") && fs::exists(made / "EMASTER"));
}

} // namespace
