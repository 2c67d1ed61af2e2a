// The two filtering entry boxes of the editing dialogs. Both filter typed characters before the line
// edit's own handling and beep (through the prompts seam) on a refused one; neither checks the finished
// text, which the dialogs do on OK with the command's check, the same check quorbit-cli makes. Text
// that arrives another way (a paste, a drop) is not filtered while it arrives; the check on OK refuses
// it, naming the box.
#pragma once

#include <QLineEdit>

// Numbers: digits, "." and control characters (Backspace, Enter, the clipboard keys) pass; anything
// else, the minus sign included, is refused.
class NumericEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit NumericEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A date, MM/DD/YY or MM/DD/YYYY (as the quote list shows a date before 1960). Digits and "/" are
// typed over the selection, the box writes the "/" after a complete month or day group, and every
// other character is refused; Backspace, Delete, the cursor keys, Home and End edit as in any line edit.
class DateMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DateMaskEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
