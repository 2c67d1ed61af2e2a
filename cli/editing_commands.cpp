// The commands that change a portfolio: the quote edits on the quote a date (and time) names, the symbol
// commands, the repair and the demonstration portfolios. Each fills the view state as the window would
// have it and calls the same command function as the window.
#include "cli/command.h"
#include "cli/demo.h"
#include "cli/output.h"
#include "common/quote_cells.h"
#include "common/repair.h"
#include "common/symbol_list.h"
#include "editing/quote_commands.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"
#include "editing/value_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>

namespace {

// The series as the quote list shows it, for the commands that act on a quote of it: the session the
// window would have open, and the rows' dates (as values and as the list's texts) and times.
struct SeriesOnScreen {
    editing::SeriesSession session;
    std::vector<DayNumber> days;    // newest first
    std::vector<std::string> dates; // the same, as the list shows them
    std::vector<TimeOfDay> times;   // newest first; empty for a series without a time of day
    std::string first_date;         // the oldest quote's date text
    std::string last_date;          // the newest quote's date text
};

bool load_series(const std::string& dir, const std::string& symbol, SeriesOnScreen& out) {
    const QuoteValuesRead read = out.session.open(dir, symbol);
    if (!read.result.ok) {
        write_message(MessageKind::Error, security_problem(dir, symbol, read.result.status));
        return false;
    }
    for (const QuoteRowValues& row : out.session.rows()) {
        out.days.push_back(row.date);
        out.dates.push_back(quote_date_text(row.date));
        if (out.session.has_time())
            out.times.push_back(row.time);
    }
    out.first_date = quote_date_text(read.first_date);
    out.last_date = quote_date_text(read.last_date);
    return true;
}

const std::string& symbol_of(const SeriesOnScreen& series) {
    return series.session.symbol();
}

// The date argument as the dialogs read it; empty (after a message) when it is no date.
std::string date_argument(const Command& self, const char* name, const std::string& text) {
    std::string date = normalise_date_text(text);
    if (date.empty())
        usage_error(self, std::string(name) + ": '" + text +
                              "' is not a date (MM/DD/YY, MM/DD/YYYY or YYYY-MM-DD)");
    return date;
}

// Values are plain numbers on the command line: no sign, nothing before or after. False after a message.
bool plain_numbers(const Command& self, const Args& args, std::size_t first,
                   std::initializer_list<const char*> names, const std::vector<bool>& absent_allowed = {}) {
    std::size_t i = 0;
    for (const char* name : names) {
        const std::string& text = args.positional[first + i];
        const bool may_be_absent = i < absent_allowed.size() && absent_allowed[i] && text == "N/A";
        std::string problem = may_be_absent ? "" : editing::number_text_problem(text);
        if (!problem.empty()) {
            usage_error(self, std::string(name) + ": '" + text + "' " + problem);
            return false;
        }
        ++i;
    }
    return true;
}

std::string quote_name(const SeriesOnScreen& series, int row) {
    const std::size_t r = static_cast<std::size_t>(row);
    return "the quote of " + symbol_of(series) + " dated " + series.dates[r] +
           (series.times.empty() ? "" : " " + quote_time_text(series.times[r]));
}

// Why `rows` (more than one) name no single quote, in the words of what the command was given.
std::string several_quotes_refusal(const SeriesOnScreen& series, const std::vector<int>& rows,
                                   const std::string& date, const std::optional<TimeArgument>& time) {
    const std::string several = std::to_string(rows.size()) + " quotes of " + symbol_of(series);
    if (series.times.empty())
        return "DATE: " + date + " names " + several + " (the date is recorded " +
               std::to_string(rows.size()) + " times); nothing was changed.";
    const TimeOfDay first = series.times[static_cast<std::size_t>(rows.front())];
    const bool repeated = std::all_of(
        rows.begin(), rows.end(), [&](int r) { return series.times[static_cast<std::size_t>(r)] == first; });
    if (repeated)
        return date + " " + quote_time_text(first) + " names " + several +
               ": the same date and time are recorded " + std::to_string(rows.size()) +
               " times, and no time tells them apart; nothing was changed ('quorbit-cli check' reports such "
               "repeats).";
    if (time)
        return "--time: " + time->text() + " names " + several + " dated " + date +
               ", several in that minute; give the seconds, --time HH:MM:SS (see 'quorbit-cli quotes').";
    return "DATE: " + date + " names " + several +
           "; name one with --time HH:MM, or HH:MM:SS where a minute holds several (see 'quorbit-cli "
           "quotes').";
}

// The row of the one quote a command names: its date and, where several quotes share the date (an
// intra-day series), its --time: HH:MM for the one quote of that minute, HH:MM:SS to the second. Quotes
// that share the date and the time (a record written more than once) cannot be told apart, so such a
// group names no quote. -1 after a message; `exit_code` tells how the command ends.
int quote_row(const Command& self, const SeriesOnScreen& series, const std::string& date, const Args& args,
              int& exit_code) {
    exit_code = kFailed;
    auto time_option = args.options.find("--time");
    std::optional<TimeArgument> time;
    if (time_option != args.options.end()) {
        time = parse_time_argument(time_option->second);
        if (!time || series.times.empty()) {
            exit_code = usage_error(self, "--time: '" + time_option->second + "' " +
                                              (!time ? "is not a time (HH:MM or HH:MM:SS)"
                                                     : "names nothing: the series has no time of day"));
            return -1;
        }
    }
    std::vector<int> rows;
    for (std::size_t r = 0; r < series.dates.size(); ++r)
        if (series.dates[r] == date && (!time || time->names(series.times[r])))
            rows.push_back(static_cast<int>(r));
    if (rows.empty()) {
        write_message(MessageKind::Error, "No quote of " + symbol_of(series) + " is dated " + date +
                                              (time ? " " + time->text() : "") + ".");
        return -1;
    }
    if (rows.size() > 1) {
        write_message(MessageKind::Error, several_quotes_refusal(series, rows, date, time));
        return -1;
    }
    return rows.front();
}

// How many quotes are dated first..last (both included).
int quotes_dated(const SeriesOnScreen& series, DayNumber first, DayNumber last) {
    return static_cast<int>(std::count_if(series.days.begin(), series.days.end(),
                                          [&](DayNumber day) { return day >= first && day <= last; }));
}

// A date within the quotes' first and last dates; false after a message naming the argument.
bool date_within_quotes(const SeriesOnScreen& series, const char* name, const std::string& date) {
    DayNumber day = editing::date_from_text(date);
    if (day >= editing::date_from_text(series.first_date) && day <= editing::date_from_text(series.last_date))
        return true;
    write_message(MessageKind::Error, std::string(name) + ": " + date + " lies outside the quotes of " +
                                          symbol_of(series) + " (" + series.first_date + " to " +
                                          series.last_date + ").");
    return false;
}

// A factor of 0 would wipe the values out; false after a message naming the argument.
bool not_zero(const char* name, const std::string& text) {
    if (editing::scan_number(text).value_or(0.0) != 0.0)
        return true;
    write_message(MessageKind::Error, std::string(name) + ": '" + text + "' must not be 0.");
    return false;
}

// A refusal that names the argument it is about.
int refuse_argument(const char* name, const CommandResult& check) {
    const Message& reason = check.messages.front();
    write_message(reason.kind, std::string(name) + ": " + reason.text);
    return kFailed;
}

int run_transfer(const Args& args, editing::TransferMode mode) {
    const bool move = mode == editing::TransferMode::Move;
    return report_change(
        editing::transfer_symbol(args.positional[0], args.positional[1], mode, args.positional[2]),
        std::string(move ? "Moved " : "Copied ") + args.positional[1] + " from " + args.positional[0] +
            " to " + args.positional[2] + ".");
}

} // namespace

// ---- Quote edits ----------------------------------------------------------------------------------

int run_edit(const Command& self, const Args& args) {
    std::string date = date_argument(self, "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    // "N/A", as the quotes command shows a field the series lacks or a value below 0, keeps what is stored.
    if (!plain_numbers(self, args, 3, {"OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"},
                       std::vector<bool>(6, true)))
        return kUsage;
    int exit_code = kFailed;
    int row = quote_row(self, series, date, args, exit_code);
    if (row < 0)
        return exit_code;
    editing::ValueTexts values;
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = args.positional[3 + i];
    return report_change(editing::edit_quote(series.session, series.session.ref_of_row(row), date, values),
                         "Set the values of " + quote_name(series, row) + ".");
}

int run_split(const Command& self, const Args& args) {
    std::string date = date_argument(self, "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    if (!plain_numbers(self, args, 3, {"NEW", "OLD"}))
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    if (!date_within_quotes(series, "DATE", date) || !not_zero("NEW", args.positional[3]) ||
        !not_zero("OLD", args.positional[4]))
        return kFailed;
    editing::SplitInput input{date, args.positional[3], args.positional[4]};
    int count = quotes_dated(series, kFirstDay, day_before(editing::date_from_text(date)));
    return report_change(editing::split_quotes(series.session, input),
                         "Applied a split of " + input.new_shares + " for " + input.old_shares + " to the " +
                             std::to_string(count) + " quotes of " + symbol_of(series) + " dated before " +
                             date + ".");
}

int run_adjust(const Command& self, const Args& args) {
    std::string from = date_argument(self, "FROM", args.positional[2]);
    if (from.empty())
        return kUsage;
    std::string to = date_argument(self, "TO", args.positional[3]);
    if (to.empty())
        return kUsage;
    if (!plain_numbers(self, args, 4, {"PRICE", "VOLUME", "OI"}))
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    if (!date_within_quotes(series, "FROM", from) || !date_within_quotes(series, "TO", to) ||
        !not_zero("PRICE", args.positional[4]) || !not_zero("VOLUME", args.positional[5]) ||
        !not_zero("OI", args.positional[6]))
        return kFailed;
    editing::AdjustInput input{from, to, args.positional[4], args.positional[5], args.positional[6]};
    int count = quotes_dated(series, editing::date_from_text(from), editing::date_from_text(to));
    return report_change(editing::adjust_quotes(series.session, input),
                         "Multiplied the " + std::to_string(count) + " quotes of " + symbol_of(series) +
                             " dated " + from + " to " + to + ".");
}

int run_delete_quote(const Command& self, const Args& args) {
    std::string date = date_argument(self, "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    int exit_code = kFailed;
    int row = quote_row(self, series, date, args, exit_code);
    if (row < 0)
        return exit_code;
    return report_change(editing::delete_quote(series.session, series.session.ref_of_row(row)),
                         "Deleted " + quote_name(series, row) + ".");
}

int run_add_quote(const Command& self, const Args& args) {
    std::string date = date_argument(self, "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    const int selected = editing::find_date_row(series.dates, date);
    if (selected < 0) {
        write_message(MessageKind::Error, "No quote of " + symbol_of(series) + " is dated " + date + ".");
        return kFailed;
    }
    editing::AddQuoteResult added = editing::add_quote(series.session, series.session.ref_of_row(selected));
    if (added.result.ok)
        std::cout << added.new_date_text << "\n";
    return report_change(added.result, "Added a quote of " + symbol_of(series) + " dated " +
                                           added.new_date_text + ", a copy of the quote dated " + date + ".");
}

// ---- Symbols ----------------------------------------------------------------------------------------

int run_rename(const Command&, const Args& args) {
    const std::string& symbol = args.positional[2];
    const std::string& name = args.positional[3];
    if (CommandResult check = editing::check_edit_symbol_input(symbol); !check.ok)
        return refuse_argument("NEW-SYMBOL", check);
    if (CommandResult check = check_name_text(name); !check.ok)
        return refuse_argument("NEW-NAME", check);
    return report_change(editing::edit_symbol(args.positional[0], args.positional[1], symbol, name),
                         "Renamed " + args.positional[1] + " to " + symbol + " (name: " + name + ").");
}

int run_delete_symbol(const Command&, const Args& args) {
    return report_change(editing::delete_symbol(args.positional[0], args.positional[1]),
                         "Deleted " + args.positional[1] + " and its files from " + args.positional[0] + ".");
}

int run_move(const Command&, const Args& args) {
    return run_transfer(args, editing::TransferMode::Move);
}

int run_copy(const Command&, const Args& args) {
    return run_transfer(args, editing::TransferMode::Copy);
}

int run_repair(const Command&, const Args& args) {
    std::filesystem::path master = master_of(args.positional[0]);
    SymbolListing listing = symbol_list_read(master);
    if (!listing.needs_repair) {
        if (!listing.result.ok) {
            write_message(MessageKind::Error, listing.problem);
            return kFailed;
        }
        // An EMASTER out of step with a sound MASTER is rebuilt from it.
        CommandResult rebuilt = CommandResult::success();
        if (!heal_before_change(master.parent_path(), rebuilt))
            return report(rebuilt);
        if (rebuilt.messages.empty())
            write_message(MessageKind::Information, "No record of " + master.string() + " needs repair.");
        return report(rebuilt);
    }
    // A damaged MASTER is repaired first: its rewrite rebuilds an EMASTER out of step from the file as it
    // was, keeping that one as EMASTER.BAK.
    errno = 0;
    std::string emaster_note;
    if (RepairMaster(master, &emaster_note) != 1) {
        const int error = errno;
        write_message(MessageKind::Error,
                      "The master file " + master.string() + " could not be repaired; it is unchanged.");
        if (error != 0)
            write_message(MessageKind::Error, std::string("Reason: ") + std::strerror(error));
        return kFailed;
    }
    write_message(MessageKind::Information,
                  "Repaired " + master.string() + ": each blank symbol now holds its security's name.");
    if (!emaster_note.empty())
        write_message(MessageKind::Warning, emaster_note);
    return kOk;
}

int run_demo(const Command&, const Args& args) {
    std::string error;
    if (!write_demo_portfolios(args.positional[0], error)) {
        write_message(MessageKind::Error, error);
        return kFailed;
    }
    return kOk;
}
