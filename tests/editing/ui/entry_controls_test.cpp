// The two entry boxes driven with real key presses, offscreen: the text and selection each key leaves,
// which keys beep, and pasted text held to the typing rule.
#include "editing/ui/entry_controls.h"
#include "shell/ui/prompts.h"
#include "support/qt_window.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <gtest/gtest.h>

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
        {true, 0, 8, "031599", "03/15/99", 0, 2, 0},   // the whole text selected
        {true, 0, 8, "03159912", "12/15/99", 3, 5, 0}, // wraps to the month
        {true, 4, 4, "7", "01/72/98", 4, 5, 0},        // caret inside the day
        {true, 0, 1, "7", "71/02/98", 1, 2, 0},        // the first digit selected
        {true, 2, 2, "5", "01/02/98", 0, 2, 1},        // caret on a separator
        {true, 7, 7, "5", "01/02/98", 6, 8, 1},
        {true, 0, 2, "/x -\b", "01/02/98", 0, 2, 5},
        {true, 3, 5, "<^~", "01/02/98", 3, 5, 0}, // cursor keys, Home and Delete do nothing
        {false, 0, 0, "1.2.3-a e", "1.2.3", 5, 5, 4},
        {false, 0, 0, "12<\b~", "", 0, 0, 0}, // editing keys work
    };
    const std::map<char, Qt::Key> special = {
        {'<', Qt::Key_Left}, {'^', Qt::Key_Home}, {'~', Qt::Key_Delete}, {'\b', Qt::Key_Backspace}};
    for (const KeyCase& c : cases) {
        std::unique_ptr<QLineEdit> edit(c.date ? static_cast<QLineEdit*>(new DateMaskEdit) : new NumericEdit);
        if (auto* date = dynamic_cast<DateMaskEdit*>(edit.get())) {
            date->setText("01/02/98");
            date->SetMaskText("01/02/98");
        }
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

    NumericEdit number;
    QApplication::clipboard()->setText("-5");
    number.paste();
    EXPECT_FALSE(number.TextAcceptable());
    DateMaskEdit date;
    date.SetMaskText("01/02/98");
    QApplication::clipboard()->setText("next week");
    date.paste();
    EXPECT_FALSE(date.TextAcceptable());
    // A pasted date in the typed form becomes the mask: the next digit edits it.
    QApplication::clipboard()->setText("12/25/99");
    date.selectAll();
    date.paste();
    EXPECT_TRUE(date.TextAcceptable());
    date.selectAll();
    QTest::keyClicks(&date, "0");
    EXPECT_EQ(date.text(), "02/25/99");
}

} // namespace
