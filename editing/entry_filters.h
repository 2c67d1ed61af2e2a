// What the two filtering entry boxes do with a typed character, as pure functions the dialogs' edit
// controls call.
#pragma once

#include <string>
#include <string_view>

namespace editing {

// The number box passes control characters (below 32), "." and the digits; anything else is refused
// with a beep.
bool numeric_edit_accepts(unsigned int character);

// Text that reached a number box another way than by typing (a paste) is held to the typing rule when
// the dialog's OK checks it: digits and "." only.
bool numeric_text_acceptable(std::string_view text);

// The date box (MM/DD/YY) writes digits into its mask text group by group, driven by the selection.
struct DateMaskOutcome {
    enum class Action {
        Written, // the digit went into the mask; show the mask and select next_start..next_end
        Refused, // nothing written; select next_start..next_end and beep
        PassOn,  // the edit control's own handling (Tab)
        Dropped, // nothing written, selection unchanged, beep
    };
    Action action = Action::Dropped;
    int next_start = 0;
    int next_end = 0;
};

// `mask` holds the 8-character date text (shorter masks are padded with blanks first), or the
// 10-character MM/DD/YYYY text of a date before 1960, whose year group is then four digits.
DateMaskOutcome date_mask_key(std::string& mask, int selection_start, int selection_end,
                              unsigned int character);

// A date box's text in the form typing gives it: eight characters (or ten, with a four-digit year),
// digits in the digit places and "/" at positions 2 and 5. Pasted text is held to this on OK, and only such
// text becomes the mask.
bool date_mask_text_acceptable(std::string_view text);

} // namespace editing
