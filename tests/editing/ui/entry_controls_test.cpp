// The two entry boxes driven with real key presses, offscreen: the text and selection each key leaves,
// and which keys beep. Pasted text is refused by the dialogs' checks on OK (window/quote_commands_test).
// And the layout of the dialogs: the boxes of Split and Adjust level with their captions, each dialog
// as large as its controls need.
#include "editing/series_session.h"
#include "editing/ui/entry_controls.h"
#include "editing/ui/quote_dialogs.h"
#include "editing/ui/symbol_dialogs.h"
#include "shell/ui/prompts.h"
#include "support/qt_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <map>
#include <memory>

namespace {

struct KeyCase {
    bool date; // a DateMaskEdit holding 01/02/98, else an empty NumericEdit
    int start, end;
    std::string keys; // "<" Left, "^" Home, "~" Delete, "\b" Backspace, anything else typed
    const char* text;
    int nextStart, nextEnd, beeps;
};

TEST(EntryControls, KeysLeaveTheirTextSelectionAndBeeps) {
    testing_support::EnsureApplication();
    Prompts::Get().Script();
    const KeyCase cases[] = {
        {true, 0, 8, "031599", "03/15/99", 8, 8, 0},       // the whole text selected
        {true, 0, 8, "01051928", "01/05/1928", 10, 10, 0}, // a date before 1960
        {true, 8, 8, "\b\b\b", "01/02", 5, 5, 0},          // Backspace works
        {true, 3, 5, "17", "01/17/98", 5, 5, 0},           // the day retyped
        {true, 0, 2, "x -", "01/02/98", 0, 2, 3},          // refused characters beep
        {true, 3, 3, "<^~", "1/02/98", 0, 0, 0},           // cursor keys, Home and Delete edit
        {false, 0, 0, "1.2.3-a e", "1.2.3", 5, 5, 4},
        {false, 0, 0, "12<\b~", "", 0, 0, 0}, // editing keys work
    };
    const std::map<char, Qt::Key> special = {
        {'<', Qt::Key_Left}, {'^', Qt::Key_Home}, {'~', Qt::Key_Delete}, {'\b', Qt::Key_Backspace}};
    for (const KeyCase& c : cases) {
        std::unique_ptr<QLineEdit> edit(c.date ? static_cast<QLineEdit*>(new DateMaskEdit) : new NumericEdit);
        if (c.date)
            edit->setText("01/02/98");
        edit->setCursorPosition(c.start);
        edit->setSelection(c.start, c.end - c.start);
        Prompts::Get().ClearHistory();
        for (char key : c.keys)
            if (special.count(key) != 0)
                QTest::keyClick(edit.get(), special.at(key));
            else
                QTest::keyClicks(edit.get(), QString(QChar::fromLatin1(key)));
        const std::string what = c.keys;
        EXPECT_EQ(edit->text().toStdString(), c.text) << what;
        const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        const int end = edit->hasSelectedText() ? edit->selectionEnd() : edit->cursorPosition();
        EXPECT_EQ(std::make_pair(start, end), std::make_pair(c.nextStart, c.nextEnd)) << what;
        EXPECT_EQ(Prompts::Get().History().size(), static_cast<std::size_t>(c.beeps)) << what; // beeps only
    }
}

} // namespace

namespace {

// Every box of the Split and Adjust dialogs that has a caption to its left sits level with it.
TEST(QuoteDialogLayout, EachBoxSitsLevelWithTheCaptionBesideIt) {
    testing_support::EnsureApplication();
    const editing::SeriesSession series; // the layout does not depend on the series
    CSplitDlg split(series, "01/05/96");
    CAdjustDlg adjust(series);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&split, &adjust}) {
        int level = 0;
        for (const QLineEdit* box : dialog->findChildren<QLineEdit*>()) {
            const QRect at = box->geometry();
            for (const QLabel* caption : dialog->findChildren<QLabel*>()) {
                const QRect beside = caption->geometry();
                if (beside.right() >= at.left() || beside.bottom() < at.top() || beside.top() > at.bottom())
                    continue;
                EXPECT_LE(std::abs(beside.center().y() - at.center().y()), 1)
                    << box->objectName().toStdString() << " beside " << caption->text().toStdString();
                ++level;
            }
        }
        EXPECT_GE(level, 2) << dialog->objectName().toStdString();
    }
}

// Each dialog holds its controls with even margins at its sides and none wider below them.
TEST(QuoteDialogLayout, EachDialogIsAsLargeAsItsControlsNeed) {
    testing_support::EnsureApplication();
    const editing::SeriesSession series;
    editing::SeriesFactsTexts facts;
    facts.data.assign(9, {"Symbol", "IBM"});
    const QuoteRowSource rows = [](int) { return QuoteRowTexts{}; };
    CSplitDlg split(series, "01/05/96");
    CAdjustDlg adjust(series);
    CDeleteQuoteDlg deleteQuote("01/05/96");
    CAddQuoteDlg addQuote("01/04/96");
    CEditQuoteDlg editQuote(0, 1, rows, std::nullopt);
    CEditSymbolDlg editSymbol("IBM", "INTL BUSINESS MACHINES");
    CDeleteSymbolDlg deleteSymbol("IBM");
    CMoveSymbolDlg move(editing::TransferMode::Move, "IBM", "INTL BUSINESS MACHINES", "/data", {"/other"});
    CSeriesFactsDlg about(facts);
    for (QDialog* dialog :
         std::initializer_list<QDialog*>{&split, &adjust, &deleteQuote, &addQuote, &editQuote, &editSymbol,
                                         &deleteSymbol, &move, &about}) {
        QRect controls;
        for (const QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            controls |= control->geometry();
        const int left = controls.left(), right = dialog->width() - 1 - controls.right();
        const int below = dialog->height() - 1 - controls.bottom();
        EXPECT_TRUE(left > 0 && right == left && below > 0 && below <= left)
            << dialog->windowTitle().toStdString() << ": " << left << ", " << right << ", " << below;
    }
}

} // namespace
