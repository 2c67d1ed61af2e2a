// The two entry boxes driven with real key presses, offscreen: what each key does to the text and the
// selection, which keys beep, and how text that arrives by a paste is held to the typing rule.
#include "editing/ui/entry_controls.h"
#include "shell/ui/prompts.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "entry_controls_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        new QApplication(argc, argv);
    }
}

int Beeps() {
    int beeps = 0;
    for (const auto& shown : Prompts::Get().History()) {
        beeps += shown.kind == Prompts::Kind::Beep ? 1 : 0;
    }
    return beeps;
}

// Types `keys`: characters as they are, "<" a Left arrow, "~" Delete, "^" Home, "\b" Backspace.
void Type(QWidget* edit, const std::string& keys) {
    for (char key : keys) {
        switch (key) {
        case '<':
            QTest::keyClick(edit, Qt::Key_Left);
            break;
        case '~':
            QTest::keyClick(edit, Qt::Key_Delete);
            break;
        case '^':
            QTest::keyClick(edit, Qt::Key_Home);
            break;
        case '\b':
            QTest::keyClick(edit, Qt::Key_Backspace);
            break;
        default:
            QTest::keyClicks(edit, QString(QChar::fromLatin1(key)));
        }
    }
}

class EntryControls : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        Prompts::Get().Script();
    }
};

struct DateCase {
    const char* what;
    int start, end; // the selection before typing
    std::string keys;
    const char* text; // afterwards
    int nextStart, nextEnd;
    int beeps;
};

TEST_F(EntryControls, DateMaskEditWritesDigitsGroupByGroup) {
    const DateCase cases[] = {
        {"whole text selected", 0, 8, "031599", "03/15/99", 0, 2, 0},
        {"wraps to the month", 0, 8, "03159912", "12/15/99", 3, 5, 0},
        {"caret inside the day", 4, 4, "7", "01/72/98", 4, 5, 0},
        {"caret on a separator", 2, 2, "5", "01/02/98", 0, 2, 1},
        {"caret in the year", 7, 7, "5", "01/02/98", 6, 8, 1},
        {"refused characters", 0, 2, "/x -\b", "01/02/98", 0, 2, 5},
        {"cursor keys, Home and Delete do nothing", 3, 5, "<^~", "01/02/98", 3, 5, 0},
    };
    for (const DateCase& c : cases) {
        DateMaskEdit edit;
        edit.setMaxLength(8);
        edit.setText("01/02/98");
        edit.SetMaskText("01/02/98");
        edit.setSelection(c.start, c.end - c.start);
        if (c.start == c.end) {
            edit.setCursorPosition(c.start);
        }
        Prompts::Get().ClearHistory();
        Type(&edit, c.keys);
        EXPECT_EQ(edit.text().toStdString(), c.text) << c.what;
        const int start = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
        const int end = edit.hasSelectedText() ? edit.selectionEnd() : edit.cursorPosition();
        EXPECT_EQ(std::make_pair(start, end), std::make_pair(c.nextStart, c.nextEnd)) << c.what;
        EXPECT_EQ(Beeps(), c.beeps) << c.what;
    }
}

TEST_F(EntryControls, NumericEditRefusesAllButDigitsAndThePoint) {
    NumericEdit edit;
    Type(&edit, "1.2.3");
    EXPECT_EQ(Beeps(), 0);
    Type(&edit, "-a e");
    EXPECT_EQ(Beeps(), 4);
    Type(&edit, "<\b~"); // editing keys still work
    EXPECT_EQ(edit.text(), "1.2");
    EXPECT_EQ(Beeps(), 4);
    EXPECT_TRUE(edit.TextAcceptable());
}

TEST_F(EntryControls, PastedTextIsHeldToTheTypingRule) {
    NumericEdit number;
    QApplication::clipboard()->setText("-5");
    number.paste();
    EXPECT_EQ(number.text(), "-5");
    EXPECT_FALSE(number.TextAcceptable());

    DateMaskEdit date;
    date.setText("01/02/98");
    date.SetMaskText("01/02/98");
    QApplication::clipboard()->setText("next week");
    date.selectAll();
    date.paste();
    EXPECT_FALSE(date.TextAcceptable());
    // A pasted date in the typed form becomes the mask: the next digits edit it.
    QApplication::clipboard()->setText("12/25/99");
    date.selectAll();
    date.paste();
    EXPECT_TRUE(date.TextAcceptable());
    date.setSelection(0, 8);
    Type(&date, "0");
    EXPECT_EQ(date.text(), "02/25/99");
}

} // namespace
