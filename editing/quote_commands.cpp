#include "editing/quote_commands.h"

#include "common/repair.h"
#include "common/symbol_list.h"
#include "editing/value_text.h"
#include "storage/fileops.h"
#include "storage/mbf.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "storage/status.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

namespace editing {

namespace {

constexpr int kValueFields = 6;

constexpr const char* kValueBoxNames[kValueFields] = {"Open",  "High",   "Low",
                                                      "Close", "Volume", "Open Interest"};

constexpr const char* kSeveralQuotes =
    "Date %s is held by more than one quote.\nSelect the quote (or name its time); nothing was changed.";

// "Invalid Data Entered", and on its second line the box and what is wrong with its text.
CommandResult invalid_box(const char* box, std::string_view text, const std::string& problem) {
    return CommandResult::failure(std::string(kInvalidDataEntered) + "\n" + box + ": '" + std::string(text) +
                                      "' " + problem,
                                  0, MessageKind::Warning);
}

constexpr const char* kNoDay = "is not a date of the calendar (MM/DD/YY or MM/DD/YYYY)";

// The refusal of a date box's text: no day, or a day outside the series' quotes.
std::optional<CommandResult> date_box_refusal(const char* box, std::string_view text,
                                              const SeriesSession& series) {
    const DayNumber day = date_from_text(text);
    if (day == 0)
        return invalid_box(box, text, kNoDay);
    if (day < series.first_date() || day > series.last_date())
        return invalid_box(box, text,
                           "lies outside the quotes (" + date_text(series.first_date()) + " to " +
                               date_text(series.last_date()) + ")");
    return std::nullopt;
}

// The refusal of a number box's text: not a number a quote file can store, or (for a factor) 0.
std::optional<CommandResult> number_box_refusal(const char* box, std::string_view text, bool factor) {
    if (std::string problem = number_text_problem(text); !problem.empty())
        return invalid_box(box, text, problem);
    if (factor && *scan_value(text) == 0.0f)
        return invalid_box(box, text, "must not be 0");
    return std::nullopt;
}

// The request to the rewrite, with every value a finite number (the kinds that ignore them get 0).
SeriesEdit make_edit(EditKind kind, DayNumber first, DayNumber last) {
    SeriesEdit edit;
    edit.kind = kind;
    edit.first_date = first;
    edit.last_date = last;
    return edit;
}

// The rewrite of the security the session located; `error` receives the errno of a file operation
// that failed.
int rewrite(const SeriesSession& series, const SeriesEdit& edit, int& error, bool* changed = nullptr,
            std::string* emaster_note = nullptr) {
    errno = 0;
    int status =
        series_rewrite_at(edit, series.location(), series.dir(), series.master_path(), changed, emaster_note);
    error = errno;
    return status;
}

// A failed rewrite in the command's own words, with the system's reason when a file operation failed.
CommandResult rewrite_failed(const char* message, int status, int error) {
    CommandResult result = CommandResult::failure(message, status);
    // The one refusal of the rewrite that the texts could not foresee: a product beyond the stored range.
    if (status == status::kInvalidParm)
        result.messages.front().text +=
            "\nA value would become larger than a quote file can hold; no file was written.";
    if (status == status::kFileOpen || status == status::kFileRead || status == status::kFileWrite)
        result.error = error;
    return result;
}

// What every quote command does before it writes: a security the session could not locate fails the
// command, as its rewrite would, in the command's words, and the directory files of the portfolio that
// lists it are healed. False with the refusal in `notes`.
bool ready_to_write(const SeriesSession& series, const char* failed, CommandResult& notes) {
    if (series.locate_status() != status::kOk) {
        notes = rewrite_failed(failed, series.locate_status(), series.locate_error());
        return false;
    }
    return heal_before_change(series.location().dir, notes);
}

// The session follows what the command wrote (or another program did meanwhile).
CommandResult read_again(SeriesSession& series, CommandResult result) {
    series.reload();
    return result;
}

// Success; an edit that found nothing to change says so (it wrote no file and kept every backup).
CommandResult succeeded(bool changed) {
    CommandResult result = CommandResult::success();
    if (!changed)
        result.add(MessageKind::Information, kNothingChanged);
    return result;
}

void log_entries(CommandResult& result, const char* section,
                 std::initializer_list<std::pair<const char*, std::string_view>> entries) {
    for (const auto& [key, value] : entries)
        result.log.push_back(LogEntry{section, key, std::string(value)});
}

std::string with_text(const char* format, std::string_view text) {
    std::string value(text);
    int size = std::snprintf(nullptr, 0, format, value.c_str());
    std::string out(static_cast<std::size_t>(std::max(size, 0)) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, value.c_str());
    out.resize(out.size() - 1);
    return out;
}

} // namespace

// ---- Edit quote -----------------------------------------------------------------------------------

CommandResult check_edit_quote_input(std::string_view date_text, const ValueTexts& values,
                                     const PresentFields& present) {
    if (date_from_text(date_text) == 0)
        return invalid_box("Date", date_text, kNoDay);
    for (int i = 0; i < kValueFields; ++i) {
        if (!present[i] || values[i] == kKeepStoredValue)
            continue;
        if (auto refusal = number_box_refusal(kValueBoxNames[i], values[i], false))
            return *refusal;
    }
    return CommandResult::success();
}

namespace {

// Aims the edit at one quote: the position the caller names (the rewrite checks that it carries the
// date), else the one quote the date names. A date held by several quotes names none of them: false,
// with the refusal in `failure`. A date held by no quote leaves the edit as it is.
bool aim_at_one_quote(const SeriesSession& series, const QuoteRef& quote, SeriesEdit& edit,
                      CommandResult& failure) {
    edit.first_date = edit.last_date = quote.date;
    if (quote.bar >= 0) {
        edit.bar = quote.bar;
        return true;
    }
    int held = 0;
    for (std::int32_t bar = 0; bar < series.quote_count(); ++bar) {
        const QuoteRowValues* row = series.quote(bar);
        if (row == nullptr || row->date != quote.date)
            continue;
        if (++held > 1) {
            failure = CommandResult::failure(with_text(kSeveralQuotes, date_text(quote.date)), 0,
                                             MessageKind::Warning);
            return false;
        }
        edit.bar = bar;
    }
    return true;
}

} // namespace

CommandResult edit_quote(SeriesSession& series, const QuoteRef& quote, std::string_view date_text,
                         const ValueTexts& values) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    constexpr const char* kFailed = "Single Date Edit Failed";
    if (series.changed_on_disk())
        return series.changed_refusal();
    if (!series.located())
        return CommandResult::failure(kFailed, series.open_status());
    // The fields the series lacks are not written, so their texts ("N/A") are not checked.
    const PresentFields& present = series.present_fields();
    CommandResult check = check_edit_quote_input(date_text, values, present);
    if (!check.ok)
        return check;
    SeriesEdit edit = make_edit(kEditSet, quote.date, quote.date);
    if (CommandResult refusal; !aim_at_one_quote(series, quote, edit, refusal))
        return refusal;
    CommandResult notes;
    if (!ready_to_write(series, kFailed, notes))
        return notes;
    // The stored values of the quote aimed at; 0 where there is none (the rewrite then refuses the edit).
    std::array<float, kValueFields> stored{};
    if (const QuoteRowValues* row = series.quote(edit.bar))
        stored = row->values;
    for (int i = 0; i < kValueFields; ++i) {
        if (present[i])
            edit.values[i] = values[i] == kKeepStoredValue ? stored[i] : *scan_value(values[i]);
    }
    bool changed = false;
    int error = 0;
    int status = rewrite(series, edit, error, &changed);
    if (status != 0)
        return read_again(series, with_notes(notes, rewrite_failed(kFailed, status, error)));
    CommandResult result = with_notes(notes, succeeded(changed));
    log_entries(result, "Edit",
                {{"Date", date_text},
                 {"Open", values[0]},
                 {"Hi", values[1]},
                 {"Lo", values[2]},
                 {"Close", values[3]},
                 {"Vol", values[4]},
                 {"OI", values[5]}});
    return read_again(series, std::move(result));
}

// ---- Split ----------------------------------------------------------------------------------------

std::optional<SplitFactors> split_factors(std::string_view new_shares, std::string_view old_shares) {
    std::optional<float> n = scan_value(new_shares);
    std::optional<float> o = scan_value(old_shares);
    if (!n || !o || *n == 0.0f || *o == 0.0f)
        return std::nullopt;
    double price = static_cast<double>(*o) / static_cast<double>(*n);
    double volume = static_cast<double>(*n) / static_cast<double>(*o);
    if (std::max(std::fabs(price), std::fabs(volume)) > static_cast<double>(kMbfMax))
        return std::nullopt;
    SplitFactors factors{static_cast<float>(price), static_cast<float>(volume)};
    if (!mbf_representable(factors.price) || !mbf_representable(factors.volume) || factors.price == 0.0f ||
        factors.volume == 0.0f)
        return std::nullopt;
    return factors;
}

CommandResult check_split_input(const SplitInput& input, const SeriesSession& series) {
    if (auto refusal = date_box_refusal("Split Date", input.date_text, series))
        return *refusal;
    if (auto refusal = number_box_refusal("New Shares", input.new_shares, true))
        return *refusal;
    if (auto refusal = number_box_refusal("Old Shares", input.old_shares, true))
        return *refusal;
    if (!split_factors(input.new_shares, input.old_shares))
        return invalid_box("Old Shares", input.old_shares, "gives a ratio a quote file cannot hold");
    return CommandResult::success();
}

CommandResult split_quotes(SeriesSession& series, const SplitInput& input) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    if (series.changed_on_disk())
        return series.changed_refusal();
    CommandResult check = check_split_input(input, series);
    if (!check.ok)
        return check;
    SplitFactors factors = *split_factors(input.new_shares, input.old_shares);
    DayNumber day = date_from_text(input.date_text);
    SeriesEdit edit = make_edit(kEditScale, kFirstDay, day_before(day));
    std::fill(edit.values, edit.values + 4, factors.price);
    edit.values[4] = edit.values[5] = factors.volume;
    CommandResult notes;
    if (!ready_to_write(series, "Split Edit Failed", notes))
        return notes;
    bool changed = false;
    int error = 0;
    int status = rewrite(series, edit, error, &changed);
    if (status != 0)
        return read_again(series, with_notes(notes, rewrite_failed("Split Edit Failed", status, error)));
    CommandResult result = with_notes(notes, succeeded(changed));
    log_entries(result, "Split",
                {{"Date", input.date_text}, {"New", input.new_shares}, {"Old", input.old_shares}});
    return read_again(series, std::move(result));
}

// ---- Adjust ---------------------------------------------------------------------------------------

CommandResult check_adjust_input(const AdjustInput& input, const SeriesSession& series) {
    for (auto [box, text] : {std::pair{"From", &input.from_date}, std::pair{"To", &input.to_date}}) {
        if (auto refusal = date_box_refusal(box, *text, series))
            return *refusal;
    }
    for (auto [box, text] : {std::pair{"Price", &input.price}, std::pair{"Volume", &input.volume},
                             std::pair{"Open Interest", &input.open_interest}}) {
        if (auto refusal = number_box_refusal(box, *text, true))
            return *refusal;
    }
    return CommandResult::success();
}

CommandResult adjust_quotes(SeriesSession& series, const AdjustInput& input) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    if (series.changed_on_disk())
        return series.changed_refusal();
    CommandResult check = check_adjust_input(input, series);
    if (!check.ok)
        return check;
    SeriesEdit edit = make_edit(kEditScale, date_from_text(input.from_date), date_from_text(input.to_date));
    std::fill(edit.values, edit.values + 4, *scan_value(input.price));
    edit.values[4] = *scan_value(input.volume);
    edit.values[5] = *scan_value(input.open_interest);
    CommandResult notes;
    if (!ready_to_write(series, "Adjust Edit Failed", notes))
        return notes;
    bool changed = false;
    int error = 0;
    int status = rewrite(series, edit, error, &changed);
    if (status != 0)
        return read_again(series, with_notes(notes, rewrite_failed("Adjust Edit Failed", status, error)));
    CommandResult result = with_notes(notes, succeeded(changed));
    log_entries(result, "Adjust",
                {{"Date1", input.from_date},
                 {"Date2", input.to_date},
                 {"PriceMult", input.price},
                 {"VolMult", input.volume},
                 {"OIMult", input.open_interest}});
    return read_again(series, std::move(result));
}

// ---- Delete quote ---------------------------------------------------------------------------------

CommandResult delete_quote(SeriesSession& series, const QuoteRef& quote) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    constexpr const char* kFailed = "Delete Edit Failed";
    if (series.changed_on_disk())
        return series.changed_refusal();
    const std::string shown = date_text(quote.date);
    if (quote.date == 0)
        return invalid_box("Date", shown, kNoDay);
    // Deleting the first or last quote writes its dates into MASTER: never into a damaged one.
    if (CommandResult check = check_master_writable(series.master_path()); !check.ok)
        return check;
    SeriesEdit edit = make_edit(kEditDelete, quote.date, quote.date);
    if (CommandResult refusal; !aim_at_one_quote(series, quote, edit, refusal))
        return refusal;
    CommandResult notes;
    if (!ready_to_write(series, kFailed, notes))
        return notes;
    int error = 0;
    std::string emaster_note;
    int status = rewrite(series, edit, error, nullptr, &emaster_note);
    if (status == status::kDeleteNotFound)
        return read_again(
            series,
            with_notes(notes, CommandResult{false,
                                            status,
                                            {{MessageKind::Error, "failure in delete quote for findrec"},
                                             {MessageKind::Error, kFailed}},
                                            {}}));
    if (status != 0)
        return read_again(series, with_notes(notes, rewrite_failed(kFailed, status, error)));
    CommandResult result = with_notes(notes, CommandResult::success());
    if (!emaster_note.empty())
        result.add(MessageKind::Warning, emaster_note);
    log_entries(result, "Delete", {{"Date", shown}});
    return read_again(series, std::move(result));
}

// ---- Add quote ------------------------------------------------------------------------------------

namespace {

// The position of the quote `selected` names: its own, or that of the one quote dated so; -1 when it
// names none. `shared` tells a date held by several quotes.
std::int32_t selected_bar(const std::vector<DayNumber>& dates, const QuoteRef& selected, bool& shared) {
    shared = false;
    if (selected.bar >= 0)
        return static_cast<std::size_t>(selected.bar) < dates.size() ? selected.bar : -1;
    const auto found = std::find(dates.begin(), dates.end(), selected.date);
    if (found == dates.end())
        return -1;
    shared = std::count(found, dates.end(), selected.date) > 1;
    return static_cast<std::int32_t>(found - dates.begin());
}

} // namespace

AddQuotePlan plan_add_quote(const std::vector<DayNumber>& dates, const QuoteRef& selected) {
    AddQuotePlan plan;
    auto refuse = [&plan](std::string message) {
        plan.check = CommandResult::failure(std::move(message), 0, MessageKind::Warning);
        return plan;
    };
    bool shared = false;
    const std::int32_t bar = selected_bar(dates, selected, shared);
    if (bar < 0)
        return refuse("No quote is selected.");
    const DayNumber copied = dates[static_cast<std::size_t>(bar)];
    const std::string copied_text = date_text(copied);
    if (copied == 0)
        return refuse(with_text("The selected quote's date %s is not a valid date.", copied_text));
    DayNumber new_date = previous_weekday(copied);
    if (new_date == 0 || new_date >= copied)
        return refuse(with_text("No weekday comes before %s.", copied_text));
    plan.new_date_text = date_text(new_date);
    if (std::find(dates.begin(), dates.end(), new_date) != dates.end())
        return refuse(with_text("Date %s already exists.", plan.new_date_text));
    // The rewrite inserts a copy in front of every quote dated S: exactly one, or the dates interleave.
    if (shared || std::count(dates.begin(), dates.end(), copied) != 1)
        return refuse(with_text("Date %s is held by more than one quote.\nNo quote was added.", copied_text));
    // The new quote goes between the selected quote and its older neighbour: their dates must enclose it.
    if (bar == 0)
        return refuse("The oldest quote is selected.\nA quote can only be added between two quotes.");
    const DayNumber older = dates[static_cast<std::size_t>(bar) - 1];
    if (older == 0 || older >= new_date)
        return refuse(with_text(
            "Date %s cannot be added:\nthe next older quote is not dated before it.\nNo quote was added.",
            plan.new_date_text));
    plan.check = CommandResult::success();
    plan.copied_date = copied;
    plan.new_bar = bar;
    return plan;
}

std::vector<DayNumber> quote_dates(const SeriesSession& series) {
    std::vector<DayNumber> dates(series.rows().size());
    auto date = dates.begin();
    for (auto row = series.rows().rbegin(); row != series.rows().rend(); ++row)
        *date++ = row->date;
    return dates;
}

AddQuoteResult add_quote(SeriesSession& series, const QuoteRef& selected) {
    const fileops::OperationScope scope; // the directory files are read once for the whole command
    if (series.changed_on_disk())
        return AddQuoteResult{series.changed_refusal(), {}, {}};
    AddQuotePlan plan = plan_add_quote(quote_dates(series), selected);
    AddQuoteResult out{plan.check, plan.new_date_text, {}};
    if (!plan.check.ok)
        return out;
    CommandResult notes;
    if (!ready_to_write(series, "Add Quote Failed", notes)) {
        out.result = notes;
        return out;
    }
    int error = 0;
    int status = rewrite(series, make_edit(kEditInsert, plan.copied_date, plan.copied_date), error);
    if (status != 0) {
        out.result = read_again(series, with_notes(notes, rewrite_failed("Add Quote Failed", status, error)));
        return out;
    }
    out.result = with_notes(notes, CommandResult::success());
    log_entries(out.result, "Add", {{"Date", plan.new_date_text}});
    const QuoteRowValues* copied = series.quote(plan.new_bar);
    out.added = QuoteRef{plan.new_bar, previous_weekday(plan.copied_date), copied ? copied->time : 0};
    out.result = read_again(series, std::move(out.result));
    return out;
}

} // namespace editing
