// The Symbol menu from the window, offscreen: rename, delete, move and copy into another portfolio, and
// the facts of a series, each checked on the files and on the lists afterwards.
#include "browser/ui/symbol_list_model.h"
#include "support/builder.h"
#include "support/qt_window.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// "a_src" (opened first): AAA, file 2, a 24-byte series without F2.DOP; IBM, file 7, weekly, with F7.BAK.
// "b_dst": records using the file numbers 1, 4 and 2.
class SymbolCommandsWindow : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        const auto bars = bars_on({date_pack(99, 1, 4), date_pack(99, 1, 11), date_pack(99, 1, 18)});
        Security aaa = make_security(2, "AAA", "ALPHA", bars);
        aaa.spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
        aaa.spec.write_dop = false;
        Security ibm = make_security(7, "IBM", "INTL BUS MACH", bars);
        ibm.spec.periodicity = 'W';
        write_portfolio(src_, {aaa, ibm});
        write_bytes(src_ / "F7.BAK", "backup");
        write_portfolio(dst_, {make_security(1, "BBB", "B", bars), make_security(4, "DDD", "D", bars),
                               make_security(2, "CCC", "C", bars)});
        OpenWindow();
        ASSERT_EQ(view_->Symbols().Rows(), 2);
    }
    // Selects a symbol row as a key move does; `click` loads its quotes as a click does.
    void SelectSymbol(int row, bool click) {
        view_->SymbolList()->selectRow(row);
        if (click)
            view_->OnSymbolClick();
    }
    std::string Master(const fs::path& dir) const { return read_bytes(dir / "MASTER"); }
    bool Gone(const fs::path& dir, int n) const {
        const std::string f = "F" + std::to_string(n);
        return !fs::exists(dir / (f + ".DAT")) && !fs::exists(dir / (f + ".DOP")) &&
               !fs::exists(dir / (f + ".BAK"));
    }

    fs::path src_ = root_ / "volume" / "a_src", dst_ = root_ / "volume" / "b_dst";
};

TEST_F(SymbolCommandsWindow, EditSymbolRenamesTheRecordAndItsRowAtOnce) {
    SelectSymbol(1, true);
    const std::string before = Master(src_);
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(Edit(dialog, "symbolEdit")->text(), "IBM");
        EXPECT_EQ(Edit(dialog, "nameEdit")->text(), "INTL BUS MACH");
        Retype(dialog, "symbolEdit", "");
        Click(dialog, "okButton");
        EXPECT_TRUE(dialog.isVisible());
        Retype(dialog, "symbolEdit", "aaa"); // another security's: refused, and the dialog stays open
        Click(dialog, "okButton");
        EXPECT_TRUE(dialog.isVisible());
        Retype(dialog, "symbolEdit", "ibm");
        Retype(dialog, "nameEdit", "Big Blue Machine ++"); // the box holds 16 characters
        Click(dialog, "okButton");
    });
    Trigger("actionEditSymbol");
    EXPECT_EQ(Shown(Prompts::Kind::Warning).size(), 2u);
    EXPECT_EQ(Shown(Prompts::Kind::Warning)[0], "You must enter a symbol");
    EXPECT_TRUE(
        Shown(Prompts::Kind::Warning)[1].startsWith("Symbol aaa already belongs to another security"));
    std::string expected = before;
    put_text16(expected, slot_offset(2) + 36, "ibm");
    put_text16(expected, slot_offset(2) + 7, "Big Blue Machine");
    EXPECT_EQ(Master(src_), expected);
    EXPECT_EQ(view_->Symbols().RowAt(view_->State().selectedSymbolRow).symbol + view_->State().currentSymbol,
              "ibmibm");

    SelectSymbol(0, false); // a key move: the command first loads the highlighted security, and names it
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Edit Symbol - AAA");
        Retype(dialog, "symbolEdit", "AAB");
        Click(dialog, "okButton");
    });
    Trigger("actionEditSymbol");
    EXPECT_EQ(view_->State().currentSymbol + view_->Symbols().RowAt(0).symbol, "AABAAB");
    EXPECT_TRUE(frame_->windowTitle().endsWith(" - AAB"));
}

TEST_F(SymbolCommandsWindow, DeleteSymbolBeepsAsksWithNoAsDefaultAndRemovesRecordAndFiles) {
    SelectSymbol(1, false);
    const auto before = snapshot(root_.path());
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(Label(dialog, "symbolText"), "IBM");
        EXPECT_TRUE(dialog.findChild<QPushButton*>("noButton")->isDefault());
    });
    Trigger("actionDeleteSymbol");
    EXPECT_EQ(snapshot(root_.path()), before);
    EXPECT_EQ(Prompts::Get().History().front().kind, Prompts::Kind::Beep);

    Prompts::Get().AnswerDialog([](QDialog& dialog) { Click(dialog, "yesButton"); });
    Trigger("actionDeleteSymbol");
    EXPECT_EQ(std::tuple(Gone(src_, 7), image_count(Master(src_)), view_->Symbols().Rows()),
              std::tuple(true, 1, 1));
}

TEST_F(SymbolCommandsWindow, CopyAndMoveCarryTheSecurityToTheLowestFreeNumber) {
    auto answer = [this](const char* caption, const char* symbol) {
        Prompts::Get().AnswerDialog([=, this](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), caption);
            EXPECT_EQ(Label(dialog, "symbolText"), symbol);
            QStringList captions;
            for (const QLabel* label : dialog.findChildren<QLabel*>())
                captions << label->text();
            for (const char* caption : {"You have chosen Symbol:", "with Name:", "presently in Portfolio:"})
                EXPECT_TRUE(captions.contains(caption)) << caption;
            auto* list = dialog.findChild<QListWidget*>("destinationList");
            EXPECT_TRUE(list->count() == 1 && list->currentItem()->text().toStdString() == dst_.string());
            Click(dialog, "okButton");
        });
    };
    std::string expected = Master(dst_);
    std::string record = image_slot(Master(src_), 1); // AAA, the series on screen
    record[0] = 3;
    expected.insert(slot_offset(4), record);
    set_image_counters(expected, 4, 4);
    answer("Copy Symbol - AAA", "AAA");
    Trigger("actionCopySymbol");
    EXPECT_EQ(Master(dst_), expected);
    EXPECT_EQ(read_bytes(dst_ / "F3.DAT"), read_bytes(src_ / "F2.DAT"));
    EXPECT_EQ(view_->Symbols().Rows(), 2); // nothing reloaded, nothing taken out
    EXPECT_EQ(Shown(Prompts::Kind::Information), std::vector<QString>{QString::fromStdString(
                                                     "Symbol AAA was copied to\n" + dst_.string() + ".")});

    answer("Copy Symbol - AAA", "AAA");
    Trigger("actionCopySymbol");
    EXPECT_TRUE(Shown(Prompts::Kind::Stop).at(0).startsWith("The Symbol addition failed."));

    SelectSymbol(1, true);
    const std::string dat = read_bytes(src_ / "F7.DAT"), dop = read_bytes(src_ / "F7.DOP");
    answer("Move Symbol - IBM", "IBM");
    Trigger("actionMoveSymbol");
    EXPECT_EQ(std::vector<std::string>({read_bytes(dst_ / "F5.DAT"), read_bytes(dst_ / "F5.DOP")}),
              (std::vector<std::string>{dat, dop}));
    EXPECT_EQ(std::tuple(Gone(src_, 7), image_count(Master(src_)), image_count(Master(dst_)),
                         view_->Symbols().Rows()),
              std::tuple(true, 1, 5, 1));
}

TEST_F(SymbolCommandsWindow, TheFactsShowEveryTextOrSayWhyThereAreNone) {
    // The cells of Date, Time, Open, High, Low, Close, Vol and OI, input then display, each after a '|'.
    auto cells = [](const std::string& pair) { return pair + "||" + pair + pair + pair + pair + pair; };
    const std::string head = src_.string() + "|";
    const std::string expected[] = {
        head + "2|24|6|3|ALPHA           |990104|990118|D Daily|AAA             " +
            cells("|Whole Num.|Whole Num.") + "||",
        head + "7|28|7|3|INTL BUS MACH   |990104|990118|W Weekly|IBM             " +
            cells("|100ths|10,000ths") + "|100ths|10,000ths"};
    const int ids[] = {1053, 1060, 1062, 1061, 1064, 1071, 1066, 1065, 1067, 1068, 1072, 1081, 1074,
                       1083, 1073, 1082, 1075, 1084, 1079, 1088, 1077, 1086, 1076, 1085, 1078, 1087};
    for (int row = 0; row < 2; ++row) {
        SelectSymbol(row, false);
        QStringList shown;
        Prompts::Get().AnswerDialog([&](QDialog& dialog) {
            for (int id : ids)
                shown << Label(dialog, QString("value%1").arg(id).toLatin1().constData());
        });
        Trigger("actionSeriesFacts");
        EXPECT_EQ(shown.join('|').toStdString(), expected[row]);
    }
    fs::remove(src_ / "F7.DAT");
    Trigger("actionSeriesFacts");
    EXPECT_TRUE(Shown(Prompts::Kind::Stop).size() == 1u && Shown(Prompts::Kind::Dialog).empty());
}

} // namespace
