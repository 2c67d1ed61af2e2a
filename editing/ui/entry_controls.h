// The two filtering entry boxes of the editing dialogs. Both filter typed characters before the line
// edit's own handling and beep (through the prompts seam) on a refused one; neither checks the finished
// text, which the dialogs do on OK. Text that arrives another way (a paste, a drop) is not filtered while
// it arrives: TextAcceptable() holds it to the typing rule, and the dialogs refuse it on OK.
#pragma once

#include <QLineEdit>

#include <string>

// Numbers: digits, "." and control characters (Backspace, Enter, the clipboard keys) pass; anything
// else, the minus sign included, is refused.
class NumericEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit NumericEdit(QWidget* parent = nullptr);
    // The text holds nothing that could not have been typed: digits and ".".
    bool TextAcceptable() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A date in the fixed form MM/DD/YY. Digits are written into the mask text group by group, following the
// selection; every other character is refused, and the cursor keys, Home, End and Delete do nothing.
// Tab, Enter and Escape reach the dialog.
class DateMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DateMaskEdit(QWidget* parent = nullptr);
    // The owner's copy of the date text into the mask, after it has filled the control.
    void SetMaskText(const QString& date);
    QString MaskText() const { return QString::fromLatin1(mask_); }
    // The text has the MM/DD/YY form.
    bool TextAcceptable() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void TakeArrivedText(const QString& text);

    std::string mask_;
};
