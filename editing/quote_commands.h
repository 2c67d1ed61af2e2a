// The commands that change the quotes of an open series: Edit quote, Split, Adjust, Delete quote and Add
// quote. Each takes the series session (the security looked up once, its quotes as read) and the quote it
// acts on by value (position, date, time), with the entries its dialog collected as typed; it refuses
// when the series changed on disk since the session read it, rewrites the series through
// series_rewrite_at, reads it again into the session, and returns the messages and edit-log entries.
// The check_* functions are the dialogs' checks on OK; the commands repeat them, so a refused input
// never reaches a file even when the caller skipped the check.
#pragma once

#include "common/command_result.h"
#include "editing/series_session.h"
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

// A valid date text and, for every field the series has, a number a quote file can store (digits with
// at most one point) or kKeepStoredValue. The text of a field the series lacks is never written and is
// not checked.
CommandResult check_edit_quote_input(std::string_view date_text, const ValueTexts& values,
                                     const PresentFields& present);
// Sets the six values of one quote: quote.bar, which must be dated quote.date, or with no position (-1)
// the one quote dated quote.date; a date held by several quotes is refused, as it names none of them.
// `date_text` is the Date box as typed: checked, and written to the edit log. Log section "Edit".
CommandResult edit_quote(SeriesSession& series, const QuoteRef& quote, std::string_view date_text,
                         const ValueTexts& values);

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
CommandResult check_split_input(const SplitInput& input, const SeriesSession& series);
// Restates every quote dated before the split date. Log section "Split".
CommandResult split_quotes(SeriesSession& series, const SplitInput& input);

// ---- Adjust ---------------------------------------------------------------------------------------

struct AdjustInput {
    std::string from_date;
    std::string to_date;
    std::string price;
    std::string volume;
    std::string open_interest;
};
// Both dates lie within the series' first and last dates.
CommandResult check_adjust_input(const AdjustInput& input, const SeriesSession& series);
// Multiplies the quotes dated From..To (both included). Log section "Adjust".
CommandResult adjust_quotes(SeriesSession& series, const AdjustInput& input);

// ---- Delete quote ---------------------------------------------------------------------------------

// Removes one quote, named as for edit_quote (the caller has asked for confirmation). Log "Delete".
CommandResult delete_quote(SeriesSession& series, const QuoteRef& quote);

// ---- Add quote ------------------------------------------------------------------------------------

// What Add quote proposes for the selected quote S, given the date of every quote (oldest first, one
// per position): a copy of S, dated the weekday before it, inserted directly in front of S. S is named
// by its position, or by its date alone when its position is -1.
struct AddQuotePlan {
    CommandResult check;       // ok, or the refusal with its message
    std::string new_date_text; // the proposed date, shown in the "Add Data" dialog
    DayNumber copied_date = 0; // S: the quote that is copied, and in front of which the copy goes
    std::int32_t new_bar = -1; // the new quote's position once inserted (S's own until then)
};
AddQuotePlan plan_add_quote(const std::vector<DayNumber>& dates, const QuoteRef& selected);

struct AddQuoteResult {
    CommandResult result;
    std::string new_date_text;
    QuoteRef added; // the new quote; position -1 after a failure
};
// The date of every quote of the session, oldest first: what plan_add_quote takes.
std::vector<DayNumber> quote_dates(const SeriesSession& series);
// Inserts the quote planned for `selected`. Log section "Add". The caller then opens Edit quote on the
// quote added.
AddQuoteResult add_quote(SeriesSession& series, const QuoteRef& selected);

} // namespace editing
