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

} // namespace

// ---- NumericEdit ---------------------------------------------------------------------------------

NumericEdit::NumericEdit(QWidget* parent) : QLineEdit(parent) {}

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

DateMaskEdit::DateMaskEdit(QWidget* parent) : QLineEdit(parent) {}

void DateMaskEdit::keyPressEvent(QKeyEvent* event) {
    const unsigned int character = TypedCharacter(event);
    // Control characters (Backspace, Tab, Enter, the clipboard keys) and the keys that type nothing
    // (cursor keys, Home, End, Delete) are the line edit's own.
    if (character < 32 || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : cursorPosition();
    const editing::DateEntryOutcome outcome =
        editing::date_entry_key(text().toStdString(), start, end, character);
    if (!outcome.accepted) {
        Prompts::Get().Beep();
        return;
    }
    setText(QString::fromStdString(outcome.text));
    setCursorPosition(outcome.cursor);
}
