// The commands that change the quotes of the series on screen: Edit quote, Split, Adjust, Delete quote
// and Add quote. Each takes the view state (the series on screen: `portfolioDir`, `currentSymbol`,
// `quoteCount`, `masterPath`, and its first and last dates) and the texts its dialog collected, rewrites
// the series through series_rewrite and returns the messages and edit-log entries for the caller.
// The check_* functions are the dialogs' checks on OK; the commands repeat them, so a refused input
// never reaches a file even when the caller skipped the check.
#pragma once

#include "common/command_result.h"
#include "common/view_state.h"
#include "storage/dates.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace editing {

// Open, High, Low, Close, Volume, Open Interest, as typed.
using ValueTexts = std::array<std::string, 6>;
// Which of those six fields the series has.
using PresentFields = std::array<bool, 6>;

// The first line of every refusal of a dialog's entries; the second names the box and what is wrong.
inline constexpr const char* kInvalidDataEntered = "Invalid Data Entered";
// An Edit quote value text that keeps the stored value: the list's text for a value it cannot show as a
// number (a negative one left by another program), which the user may leave as it is.
inline constexpr const char* kKeepStoredValue = "N/A";
// The one message of a command that succeeds without a change: the files already held what was asked,
// so nothing was written and every backup still holds the state before the last real change.
inline constexpr const char* kNothingChanged =
    "Nothing was changed: the files already hold this.\nNo file was written; the backups are kept.";

// ---- Edit quote -----------------------------------------------------------------------------------

// Which value fields the series has; empty when its layout cannot be read.
std::optional<PresentFields> value_fields_present(const std::filesystem::path& portfolio_dir,
                                                  std::string_view symbol);
// A valid date text and, for every field the series has, a number a quote file can store (digits with
// at most one point) or kKeepStoredValue. The text of a field the series lacks is never written and is
// not checked.
CommandResult check_edit_quote_input(std::string_view date_text, const ValueTexts& values,
                                     const PresentFields& present);
// Sets the six values of one quote: that of quote-list row `row` (0 = newest; the window passes
// `selectedQuoteRow`), which must be dated `date_text`, or with no row (-1) the one quote dated
// `date_text`; a date held by several quotes is refused, as it names none of them. Log section "Edit".
CommandResult edit_quote(const ViewState& view, std::string_view date_text, const ValueTexts& values,
                         int row = -1);

// ---- Split ----------------------------------------------------------------------------------------

struct SplitInput {
    std::string date_text;
    std::string new_shares;
    std::string old_shares;
};
// The factors of a split: prices are multiplied by `price`, volume and open interest by `volume`.
struct SplitFactors {
    float price = 1.0f;
    float volume = 1.0f;
};
// Old / New and New / Old, each computed in double and rounded once to a float; empty when a ratio is
// missing, 0 or a factor cannot be stored.
std::optional<SplitFactors> split_factors(std::string_view new_shares, std::string_view old_shares);
// The split date lies within the series' first and last dates (`firstQuoteDate`, `lastQuoteDate`).
CommandResult check_split_input(const SplitInput& input, const ViewState& view);
// Restates every quote dated before the split date. Log section "Split".
CommandResult split_quotes(const ViewState& view, const SplitInput& input);

// ---- Adjust ---------------------------------------------------------------------------------------

struct AdjustInput {
    std::string from_date;
    std::string to_date;
    std::string price;
    std::string volume;
    std::string open_interest;
};
// Both dates lie within the series' first and last dates.
CommandResult check_adjust_input(const AdjustInput& input, const ViewState& view);
// Multiplies the quotes dated From..To (both included). Log section "Adjust".
CommandResult adjust_quotes(const ViewState& view, const AdjustInput& input);

// ---- Delete quote ---------------------------------------------------------------------------------

// Removes one quote, named as for edit_quote (the caller has asked for confirmation). Log "Delete".
CommandResult delete_quote(const ViewState& view, std::string_view date_text, int row = -1);

// ---- Add quote ------------------------------------------------------------------------------------

// What Add quote proposes for the selected row of the quote list, given the date of every row (newest
// first): a copy of the selected quote S, dated the weekday before it, inserted directly in front of S.
struct AddQuotePlan {
    CommandResult check;       // ok, or the refusal with its message
    std::string new_date_text; // the proposed date, shown in the "Add Data" dialog
    DayNumber copied_date = 0; // S: the quote that is copied, and in front of which the copy goes
    int row_to_select = 0;     // the new quote's row once the list is reloaded
};
AddQuotePlan plan_add_quote(const std::vector<DayNumber>& shown_dates, int selected_row);

struct AddQuoteResult {
    CommandResult result;
    std::string new_date_text;
    int row_to_select = 0; // the row to select when reloading: the new quote, or 0 after a failure
};
// Inserts the quote planned for row `selectedQuoteRow`. Log section "Add". The caller then opens Edit
// quote on row_to_select.
AddQuoteResult add_quote(const ViewState& view, const std::vector<DayNumber>& shown_dates);

} // namespace editing
