// What the two filtering entry boxes do with a typed character, as pure functions the dialogs' edit
// controls call.
#pragma once

#include <string>
#include <string_view>

namespace editing {

// The number box passes control characters (below 32), "." and the digits; anything else is refused
// with a beep.
bool numeric_edit_accepts(unsigned int character);

// A date box holds MM/DD/YY or MM/DD/YYYY: a typed digit or "/" replaces the selection like in any line
// edit, and the box writes the "/" after a complete month or day group itself, so that typing 010590
// gives 01/05/90 and 01051928 gives 01/05/1928. Backspace, Delete, the cursor keys, Home and End work as
// in any line edit; the text is checked as a date on OK.
struct DateEntryOutcome {
    bool accepted = false; // false: nothing changes, and the box beeps
    std::string text;      // the new text
    int cursor = 0;        // the caret's new position
};
inline constexpr std::size_t kDateEntryLimit = 10; // MM/DD/YYYY
// A printable `character` typed over `text` with the selection start..end (start == end: a caret).
DateEntryOutcome date_entry_key(std::string_view text, int selection_start, int selection_end,
                                unsigned int character);

} // namespace editing
