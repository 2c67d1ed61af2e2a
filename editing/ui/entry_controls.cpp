#include "editing/ui/entry_controls.h"

#include "editing/entry_filters.h"
#include "shell/ui/prompts.h"

#include <QKeyEvent>

namespace {

// The character a key press types; 0 when it types none: a cursor key, Home, End, Delete, a function
// key or a modifier (on some systems Delete comes with a character, which is not typed text).
unsigned int TypedCharacter(const QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        return '\b';
    }
    if (event->key() >= Qt::Key_Escape) {
        return 0;
    }
    const QString text = event->text();
    return text.isEmpty() ? 0u : static_cast<unsigned int>(text.front().unicode());
}

// The keys a dialog handles itself: they close it or move the focus.
bool IsDialogKey(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return false;
    }
}

} // namespace

// ---- NumericEdit ---------------------------------------------------------------------------------

NumericEdit::NumericEdit(QWidget* parent) : QLineEdit(parent) {}

bool NumericEdit::TextAcceptable() const {
    return editing::numeric_text_acceptable(text().toStdString());
}

void NumericEdit::keyPressEvent(QKeyEvent* event) {
    const unsigned int character = TypedCharacter(event);
    if (character != 0 && !editing::numeric_edit_accepts(character)) {
        Prompts::Get().Beep();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// ---- DateMaskEdit --------------------------------------------------------------------------------

DateMaskEdit::DateMaskEdit(QWidget* parent) : QLineEdit(parent) {
    // A date pasted or dropped in the typed form becomes the mask, so that the next digit edits what is
    // seen; any other text stays as it is until OK refuses it.
    connect(this, &QLineEdit::textEdited, this, &DateMaskEdit::TakeArrivedText);
}

void DateMaskEdit::SetMaskText(const QString& date) {
    mask_ = date.toStdString();
}

bool DateMaskEdit::TextAcceptable() const {
    return editing::date_mask_text_acceptable(text().toStdString());
}

void DateMaskEdit::TakeArrivedText(const QString& text) {
    if (editing::date_mask_text_acceptable(text.toStdString())) {
        mask_ = text.toStdString();
    }
}

void DateMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (IsDialogKey(event)) {
        QLineEdit::keyPressEvent(event); // the line edit passes them on to the dialog
        return;
    }
    event->accept();
    const unsigned int character = TypedCharacter(event);
    if (character == 0) {
        return; // cursor keys, Home, End: consumed without action
    }
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : cursorPosition();
    const editing::DateMaskOutcome outcome = editing::date_mask_key(mask_, start, end, character);
    using Action = editing::DateMaskOutcome::Action;
    switch (outcome.action) {
    case Action::Written:
        setText(QString::fromLatin1(mask_));
        setSelection(outcome.next_start, outcome.next_end - outcome.next_start);
        break;
    case Action::Refused:
        setSelection(outcome.next_start, outcome.next_end - outcome.next_start);
        Prompts::Get().Beep();
        break;
    case Action::PassOn:
        QLineEdit::keyPressEvent(event);
        break;
    case Action::Dropped:
        Prompts::Get().Beep();
        break;
    }
}
