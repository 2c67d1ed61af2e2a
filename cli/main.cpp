// quorbit-cli: the commands of Quorbit for scripts. Results go to stdout, messages to stderr (an editing
// command ends with one line there saying what it changed); the exit status is 0 on success, 1 when a
// command is refused or fails (a refused command changes nothing) and 2 on a usage error. Messages are
// the command line's own words: the window's texts say little to a script's reader.
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "browser/master_walk.h"
#include "browser/quote_cells.h"
#include "browser/repair.h"
#include "browser/symbol_list.h"
#include "browser/view_state.h"
#include "cli/args.h"
#include "cli/demo.h"
#include "editing/quote_commands.h"
#include "editing/series_facts.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"
#include "editing/value_text.h"
#include "storage/encoding.h"
#include "storage/portfolio_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    std::vector<std::string> valued; // options that take a value
    std::vector<std::string> flags;  // options without a value
    std::size_t positionals;
    std::function<int(const Args&)> run;
};

const std::vector<Command>& commands();

// The command line's words for the window's texts; any other text is already plain.
std::string cli_words(const std::string& message) {
    static const std::map<std::string, std::string> words = {
        {"Single Date Edit Failed", "The quote could not be changed."},
        {"Split Edit Failed", "The split could not be applied."},
        {"Adjust Edit Failed", "The quotes could not be adjusted."},
        {"Delete Edit Failed", "The quote could not be deleted."},
        {"failure in delete quote for findrec", "No quote has exactly that date."},
        {"Add Quote Failed", "The quote could not be added."},
        {"file export error", "The export file could not be written."},
        {"Error in FillQuotesGrid", "The quotes cannot be read: the quote file is missing, unreadable or "
                                    "shorter than its header says."},
        {"Too many bars", "There is not enough memory to read the quotes."},
        {"Failure while filling symbols grid",
         "The portfolio file cannot be listed: it is missing, unreadable "
         "or damaged (see 'quorbit-cli symbols')."},
        {"Error in SplitSearch bars read", "A quote file could not be read; the search ended there."},
        {"Invalid Data Entered", "The values given are not valid for this command."},
        {editing::kNothingChanged, "Nothing changed: the files already hold this. No file was written and "
                                   "the backups are kept."},
    };
    auto it = words.find(message);
    return it == words.end() ? message : it->second;
}

// A storage status in plain words.
std::string status_words(int status) {
    switch (status) {
    case 0:
        return "the quote file holds fewer quotes than its header says";
    case status::kFileOpen:
        return "a file of the security cannot be opened";
    case status::kFileRead:
        return "a file of the security cannot be read";
    case status::kFileWrite:
        return "a file could not be written";
    case status::kFileNotFound:
        return "the security is not in the portfolio";
    case status::kBadRecordShape:
        return "its records have a length or layout that cannot be read";
    case status::kLayoutUnknown:
        return "its fields are unknown (no field file, and an unusual record length)";
    default:
        return status_text(static_cast<StatusCode>(status));
    }
}

bool nothing_changed(const CommandResult& result) {
    return result.ok && result.messages.size() == 1 && result.messages[0].text == editing::kNothingChanged;
}

// The messages in the command line's words; after a failed file operation, the system's reason.
int report(const CommandResult& result) {
    for (const Message& message : result.messages)
        std::cerr << cli_words(message.text) << "\n";
    if (!result.ok && result.messages.empty() && result.status != 0)
        std::cerr << "Failed: " << status_words(result.status) << ".\n";
    if (result.error != 0)
        std::cerr << "Reason: " << std::strerror(result.error) << "\n";
    return result.ok ? kOk : kFailed;
}

// An editing command's end: its messages, then one line saying what it changed (unless nothing did).
int report_change(const CommandResult& result, const std::string& change) {
    int status = report(result);
    if (result.ok && !nothing_changed(result))
        std::cerr << change << "\n";
    return status;
}

// Why a security's quotes cannot be read, in plain words.
std::string security_problem(const std::string& dir, const std::string& symbol, int status) {
    if (status == status::kFileNotFound)
        return "No security " + symbol + " in the portfolio " + dir + ".";
    return "The quotes of " + symbol + " cannot be read: " + status_words(status) + ".";
}

int usage_error(const Command& command, const std::string& reason) {
    std::cerr << "quorbit-cli " << command.name << ": " << reason << "\nusage: quorbit-cli " << command.usage
              << "\n";
    return kUsage;
}

std::filesystem::path master_of(const std::string& dir) {
    return portfolio_files::master(dir);
}

std::string trimmed_right(std::string text) {
    trim_right(text);
    return text;
}

// ---- Reading ------------------------------------------------------------------------------------

int run_portfolios(const Args& args) {
    std::error_code ec;
    const std::filesystem::file_status root = std::filesystem::status(args.positional[0], ec);
    if (!std::filesystem::is_directory(root)) {
        std::cerr << "ROOT: " << args.positional[0]
                  << (std::filesystem::exists(root) ? " is not a directory.\n" : " does not exist.\n");
        return kFailed;
    }
    // The walk never follows a link, so a ROOT that is one is resolved first.
    std::filesystem::path walked = args.positional[0];
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(walked, ec)))
        walked = std::filesystem::canonical(walked, ec);
    std::vector<std::string> found;
    auto filter = args.options.find("--filter");
    bool limit = filter != args.options.end();
    SearchForMasters(walked, found, limit, limit ? portfolio_files::to_upper(filter->second) : "");
    for (const auto& path : found)
        std::cout << path << "\n";
    return kOk;
}

int run_symbols(const Args& args) {
    SymbolListing listing = symbol_list_read(master_of(args.positional[0]));
    if (!listing.result.ok) {
        std::cerr << listing.problem << "\n";
        return kFailed;
    }
    if (listing.header_count > kMaxSecurities)
        std::cerr << "The portfolio file says it holds " << listing.header_count
                  << " securities; only the first " << kMaxSecurities << " are listed.\n";
    if (args.options.count("--header"))
        std::cout << "SYMBOL\tNAME\tFILE\tLENGTH\tFIELDS\tFIRST\tLAST\tPERIODICITY\n";
    for (const auto& row : listing.rows) {
        const MasterRecord& r = row.record;
        const char periodicity = r.periodicity();
        std::cout << row.symbol << '\t' << editing::utf8_from_latin1(trimmed_right(row.name)) << '\t'
                  << r.file_number() << '\t' << r.record_length() << '\t' << r.field_count() << '\t'
                  << quote_date_text(r.stored_first_date()) << '\t' << quote_date_text(r.stored_last_date())
                  << '\t' << (periodicity >= 32 && periodicity < 127 ? periodicity : '?') << "\n";
    }
    if (listing.needs_repair)
        std::cerr << "The master file " << master_of(args.positional[0]).string()
                  << " has records with blank symbols; 'quorbit-cli repair' mends it.\n";
    return kOk;
}

// One row of `quotes`: the date, the time of an intra-day quote, the six values.
void print_row(const QuoteListing& listing, std::size_t row) {
    const QuoteCells& cells = listing.rows[row];
    std::cout << cells[0];
    if (row < listing.times.size())
        std::cout << '\t' << listing.times[row];
    for (std::size_t c = 1; c < cells.size(); ++c)
        std::cout << '\t' << cells[c];
    std::cout << '\n';
}

int run_quotes(const Args& args) {
    QuoteListing listing = quote_list_read(args.positional[0], args.positional[1]);
    if (args.options.count("--header") && listing.result.ok)
        std::cout << (listing.times.empty() ? "DATE" : "DATE\tTIME") << "\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\tOI\n";
    const std::size_t rows = listing.rows.size();
    for (std::size_t i = 0; i < rows; ++i)
        print_row(listing, args.options.count("--oldest-first") ? rows - 1 - i : i);
    if (!listing.result.ok && listing.result.status != status::kMalloc) {
        std::cerr << security_problem(args.positional[0], args.positional[1], listing.result.status) << "\n";
        return kFailed;
    }
    return report(listing.result);
}

int run_facts(const Args& args) {
    editing::SeriesFactsTexts facts = editing::describe_series(args.positional[0], args.positional[1]);
    if (!facts.result.ok)
        return report(facts.result);
    std::cout << "Path:\t" << facts.path << "\n";
    for (const auto& [label, text] : facts.data)
        std::cout << label << '\t' << text << "\n";
    for (const auto& field : facts.formats) {
        std::cout << field.field << " Input\t" << field.input << "\n";
        std::cout << field.field << " Display\t" << field.display << "\n";
    }
    return kOk;
}

// ---- Export and split search ---------------------------------------------------------------------

bool export_options(const Args& args, ExportOptions& options, std::string& error) {
    auto delimiter = args.options.find("--delimiter");
    if (delimiter != args.options.end()) {
        const std::map<std::string, int> names = {{"space", 0}, {"comma", 1}, {"tab", 2}};
        auto it = names.find(delimiter->second);
        if (it == names.end()) {
            error = "--delimiter takes space, comma or tab";
            return false;
        }
        options.delimiter = it->second;
    }
    auto omit = args.options.find("--omit");
    if (omit != args.options.end()) {
        const std::map<std::string, int> names = {{"open", kExportOpen}, {"high", kExportHigh},
                                                  {"low", kExportLow},   {"close", kExportClose},
                                                  {"vol", kExportVol},   {"oi", kExportOi}};
        std::string list = omit->second + ",";
        for (std::size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos;
             start = comma + 1) {
            std::string word = portfolio_files::to_lower(list.substr(start, comma - start));
            if (word.empty())
                continue;
            auto it = names.find(word);
            if (it == names.end()) {
                error = "--omit takes a list of open, high, low, close, vol, oi";
                return false;
            }
            options.omit[it->second] = true;
        }
    }
    options.newest_first = args.options.count("--newest-first") > 0;
    options.title = args.options.count("--title") > 0;
    return true;
}

int run_export(const Args& args) {
    ExportOptions options;
    std::string error;
    if (!export_options(args, options, error)) {
        std::cerr << "quorbit-cli export: " << error << "\n";
        return kUsage;
    }
    CommandResult result;
    if (args.positional[2] == "-") {
        fileops::File out(1); // standard output, left open
        fileops::BufferedWriter writer(out);
        result = export_quotes_to(args.positional[0], args.positional[1], writer, options);
        out.release();
    } else {
        result = export_quotes(args.positional[0], args.positional[1], args.positional[2], options);
    }
    if (!result.ok && result.messages.empty()) {
        std::cerr << security_problem(args.positional[0], args.positional[1], result.status) << "\n";
        return kFailed;
    }
    return report(result);
}

int run_export_all(const Args& args) {
    ExportOptions options;
    std::string error;
    if (!export_options(args, options, error)) {
        std::cerr << "quorbit-cli export-all: " << error << "\n";
        return kUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(args.positional[1], ec);
    return report(export_portfolio(args.positional[0], args.positional[1], options));
}

int run_split_search(const Args& args) {
    SplitSearchOutcome outcome =
        split_search_portfolio(args.positional[0], [](const SplitSearchEvent& event) {
            if (event.kind == SplitEventKind::Line)
                std::cout << event.text << "\n" << std::flush;
            else if (event.kind == SplitEventKind::Notice)
                std::cerr << cli_words(event.text) << "\n";
            return true;
        });
    bool notices_shown = false;
    for (const auto& event : outcome.events)
        notices_shown = notices_shown || event.kind == SplitEventKind::Notice;
    if (!notices_shown)
        report(outcome.result);
    else if (outcome.lines.empty() && outcome.result.ok && !outcome.result.messages.empty())
        std::cerr << cli_words(outcome.result.messages.back().text) << "\n"; // "No candidate splits found"
    int status = outcome.result.ok ? kOk : kFailed;
    // "-" names standard output, where the lines have gone already.
    auto output = args.options.find("--output");
    if (output != args.options.end() && output->second != "-" &&
        report(split_search_save(output->second, outcome.lines)) != kOk)
        status = kFailed;
    return status;
}

// ---- Quote edits ----------------------------------------------------------------------------------

// The view state as the window has it with the series on screen, and the date of each quote row.
struct SeriesOnScreen {
    ViewState view;
    std::vector<DayNumber> dates;   // newest first
    std::vector<std::string> times; // newest first; empty for a series without a time of day
};

bool load_series(const std::string& dir, const std::string& symbol, SeriesOnScreen& out) {
    QuoteListing listing = quote_list_read(dir, symbol);
    if (!listing.result.ok) {
        std::cerr << security_problem(dir, symbol, listing.result.status) << "\n";
        return false;
    }
    out.view.portfolioDir = dir;
    out.view.masterPath = master_of(dir);
    out.view.currentSymbol = symbol;
    out.view.quoteCount = listing.quote_count;
    out.view.firstQuoteDate = listing.first_quote_date;
    out.view.lastQuoteDate = listing.last_quote_date;
    out.dates = std::move(listing.dates);
    out.times = std::move(listing.times);
    return true;
}

// A view state with a portfolio open and no series loaded, for the commands on symbols.
ViewState portfolio_view(const std::string& dir, const std::string& symbol) {
    ViewState view;
    view.portfolioDir = dir;
    view.masterPath = master_of(dir);
    view.currentSymbol = symbol;
    return view;
}

// The date argument as the dialogs read it; empty (after a message) when it is no date.
std::string date_argument(const Command& command, const char* name, const std::string& text) {
    std::string date = normalise_date_text(text);
    if (date.empty())
        usage_error(command, std::string(name) + ": '" + text + "' is not a date (MM/DD/YY or YYYY-MM-DD)");
    return date;
}

const Command& command_named(const char* name) {
    for (const auto& c : commands())
        if (std::string(c.name) == name)
            return c;
    return commands().front();
}

// The row whose date text is `date`, as the quote list's row lookup finds it; -1 when there is none.
int date_row(const SeriesOnScreen& series, const std::string& date) {
    auto at = std::find_if(series.dates.begin(), series.dates.end(),
                           [&date](DayNumber day) { return quote_date_text(day) == date; });
    return at == series.dates.end() ? -1 : static_cast<int>(at - series.dates.begin());
}

// Values are plain numbers on the command line: no sign, nothing before or after. False after a message.
bool plain_numbers(const Command& command, const Args& args, std::size_t first,
                   std::initializer_list<const char*> names, const std::vector<bool>& absent_allowed = {}) {
    std::size_t i = 0;
    for (const char* name : names) {
        const std::string& text = args.positional[first + i];
        const bool may_be_absent = i < absent_allowed.size() && absent_allowed[i] && text == "N/A";
        std::string problem = may_be_absent ? "" : plain_number_problem(text);
        if (!problem.empty()) {
            usage_error(command, std::string(name) + ": '" + text + "' " + problem);
            return false;
        }
        ++i;
    }
    return true;
}

// The row of the one quote a command names: its date and, where several quotes share the date (an
// intra-day series), its --time. -1 after a message; `exit_code` tells how the command ends.
int quote_row(const Command& command, const SeriesOnScreen& series, const std::string& date, const Args& args,
              int& exit_code) {
    exit_code = kFailed;
    auto time_option = args.options.find("--time");
    std::string time;
    if (time_option != args.options.end()) {
        time = normalise_time_text(time_option->second);
        if (time.empty() || series.times.empty()) {
            exit_code =
                usage_error(command, "--time: '" + time_option->second + "' " +
                                         (time.empty() ? "is not a time (HH:MM or HH:MM:SS)"
                                                       : "names nothing: the series has no time of day"));
            return -1;
        }
    }
    std::vector<int> rows;
    for (std::size_t r = 0; r < series.dates.size(); ++r)
        if (quote_date_text(series.dates[r]) == date && (time.empty() || series.times[r] == time))
            rows.push_back(static_cast<int>(r));
    if (rows.empty()) {
        std::cerr << "No quote of " << series.view.currentSymbol << " is dated " << date
                  << (time.empty() ? "" : " ") << time << ".\n";
        return -1;
    }
    if (rows.size() > 1) {
        std::cerr << "DATE: " << date << " names " << rows.size() << " quotes of "
                  << series.view.currentSymbol
                  << "; name one with --time HH:MM (see 'quorbit-cli quotes').\n";
        return -1;
    }
    return rows.front();
}

std::string quote_name(const SeriesOnScreen& series, int row) {
    std::string name = "the quote of " + series.view.currentSymbol + " dated " +
                       quote_date_text(series.dates[static_cast<std::size_t>(row)]);
    if (!series.times.empty())
        name += " " + series.times[static_cast<std::size_t>(row)];
    return name;
}

// How many quotes are dated first..last (both included).
int quotes_dated(const SeriesOnScreen& series, DayNumber first, DayNumber last) {
    return static_cast<int>(std::count_if(series.dates.begin(), series.dates.end(),
                                          [&](DayNumber day) { return day >= first && day <= last; }));
}

// A date within the quotes' first and last dates; false after a message naming the argument.
bool date_within_quotes(const SeriesOnScreen& series, const char* name, const std::string& date) {
    DayNumber day = editing::date_from_text(date);
    if (day >= series.view.firstQuoteDate && day <= series.view.lastQuoteDate)
        return true;
    std::cerr << name << ": " << date << " lies outside the quotes of " << series.view.currentSymbol << " ("
              << quote_date_text(series.view.firstQuoteDate) << " to "
              << quote_date_text(series.view.lastQuoteDate) << ").\n";
    return false;
}

// A factor of 0 would wipe the values out; false after a message naming the argument.
bool not_zero(const char* name, const std::string& text) {
    if (editing::scan_number(text).value_or(0.0) != 0.0)
        return true;
    std::cerr << name << ": '" << text << "' must not be 0.\n";
    return false;
}

int run_edit(const Args& args) {
    const Command& command = command_named("edit");
    std::string date = date_argument(command, "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    // "N/A" stands for a field the series lacks; its value is never written.
    auto present = editing::value_fields_present(args.positional[0], args.positional[1]);
    std::vector<bool> absent;
    for (bool has : present.value_or(editing::PresentFields{true, true, true, true, true, true}))
        absent.push_back(!has);
    if (!plain_numbers(command, args, 3, {"OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"}, absent))
        return kUsage;
    int exit_code = kFailed;
    int row = quote_row(command, series, date, args, exit_code);
    if (row < 0)
        return exit_code;
    editing::ValueTexts values;
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = args.positional[3 + i];
    return report_change(editing::edit_quote(series.view, date, values, row),
                         "Set the values of " + quote_name(series, row) + ".");
}

int run_split(const Args& args) {
    const Command& command = command_named("split");
    std::string date = date_argument(command, "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    if (!plain_numbers(command, args, 3, {"NEW", "OLD"}))
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    if (!date_within_quotes(series, "DATE", date) || !not_zero("NEW", args.positional[3]) ||
        !not_zero("OLD", args.positional[4]))
        return kFailed;
    editing::SplitInput input{date, args.positional[3], args.positional[4]};
    int count = quotes_dated(series, 1, static_cast<DayNumber>(editing::date_from_text(date) - 1));
    return report_change(editing::split_quotes(series.view, input),
                         "Applied a split of " + input.new_shares + " for " + input.old_shares + " to the " +
                             std::to_string(count) + " quotes of " + series.view.currentSymbol +
                             " dated before " + date + ".");
}

int run_adjust(const Args& args) {
    const Command& command = command_named("adjust");
    std::string from = date_argument(command, "FROM", args.positional[2]);
    if (from.empty())
        return kUsage;
    std::string to = date_argument(command, "TO", args.positional[3]);
    if (to.empty())
        return kUsage;
    if (!plain_numbers(command, args, 4, {"PRICE", "VOLUME", "OI"}))
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
    return report_change(editing::adjust_quotes(series.view, input),
                         "Multiplied the " + std::to_string(count) + " quotes of " +
                             series.view.currentSymbol + " dated " + from + " to " + to + ".");
}

int run_delete_quote(const Args& args) {
    const Command& command = command_named("delete-quote");
    std::string date = date_argument(command, "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    int exit_code = kFailed;
    int row = quote_row(command, series, date, args, exit_code);
    if (row < 0)
        return exit_code;
    return report_change(editing::delete_quote(series.view, date, row),
                         "Deleted " + quote_name(series, row) + ".");
}

int run_add_quote(const Args& args) {
    std::string date = date_argument(command_named("add-quote"), "DATE", args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    series.view.selectedQuoteRow = date_row(series, date);
    if (series.view.selectedQuoteRow < 0) {
        std::cerr << "No quote of " << series.view.currentSymbol << " is dated " << date << ".\n";
        return kFailed;
    }
    editing::AddQuoteResult added = editing::add_quote(series.view, series.dates);
    if (added.result.ok)
        std::cout << added.new_date_text << "\n";
    return report_change(added.result, "Added a quote of " + series.view.currentSymbol + " dated " +
                                           added.new_date_text + ", a copy of the quote dated " + date + ".");
}

// ---- Symbols ----------------------------------------------------------------------------------------

// A refusal that names the argument it is about.
int refuse_argument(const char* name, const CommandResult& check) {
    std::cerr << name << ": " << check.messages.front().text << "\n";
    return kFailed;
}

int run_rename(const Args& args) {
    const std::string& symbol = args.positional[2];
    const std::string& name = args.positional[3];
    if (CommandResult check = editing::check_edit_symbol_input(symbol); !check.ok)
        return refuse_argument("NEW-SYMBOL", check);
    if (CommandResult check = editing::check_name_text(name); !check.ok)
        return refuse_argument("NEW-NAME", check);
    return report_change(
        editing::edit_symbol(portfolio_view(args.positional[0], ""), args.positional[1], symbol, name),
        "Renamed " + args.positional[1] + " to " + symbol + " (name: " + name + ").");
}

int run_delete_symbol(const Args& args) {
    return report_change(editing::delete_symbol(portfolio_view(args.positional[0], ""), args.positional[1]),
                         "Deleted " + args.positional[1] + " and its files from " + args.positional[0] + ".");
}

int run_transfer(const Args& args, editing::TransferMode mode) {
    const bool move = mode == editing::TransferMode::Move;
    return report_change(editing::transfer_symbol(portfolio_view(args.positional[0], args.positional[1]),
                                                  mode, args.positional[2]),
                         std::string(move ? "Moved " : "Copied ") + args.positional[1] + " from " +
                             args.positional[0] + " to " + args.positional[2] + ".");
}

int run_repair(const Args& args) {
    std::filesystem::path master = master_of(args.positional[0]);
    SymbolListing listing = symbol_list_read(master);
    if (!listing.needs_repair) {
        if (!listing.result.ok) {
            std::cerr << listing.problem << "\n";
            return kFailed;
        }
        std::cerr << "No record of " << master.string() << " needs repair.\n";
        return kOk;
    }
    errno = 0;
    if (RepairMaster(master) != 1) {
        const int error = errno;
        std::cerr << "The master file " << master.string() << " could not be repaired; it is unchanged.\n";
        if (error != 0)
            std::cerr << "Reason: " << std::strerror(error) << "\n";
        return kFailed;
    }
    std::cerr << "Repaired " << master.string() << ": each blank symbol now holds its security's name.\n";
    return kOk;
}

int run_demo(const Args& args) {
    std::string error;
    if (!write_demo_portfolios(args.positional[0], error)) {
        std::cerr << error << "\n";
        return kFailed;
    }
    return kOk;
}

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"portfolios",
         "portfolios ROOT [--filter PATH]",
         "List every portfolio (directory holding a MASTER file) below ROOT, sorted.",
         {"--filter"},
         {},
         1,
         run_portfolios},
        {"symbols",
         "symbols DIR [--header]",
         "List the symbols of a portfolio. Columns: SYMBOL, NAME, FILE (file number), LENGTH (record "
         "length),\n"
         "      FIELDS, FIRST and LAST (dates), PERIODICITY; --header prints their names first.",
         {},
         {"--header"},
         1,
         run_symbols},
        {"quotes",
         "quotes DIR SYMBOL [--oldest-first] [--header]",
         "List the quotes of a security, newest first. Columns: DATE, TIME (intra-day series only), OPEN,\n"
         "      HIGH, LOW, CLOSE, VOL, OI (N/A for a field the series lacks); --header prints their names "
         "first.",
         {},
         {"--oldest-first", "--header"},
         2,
         run_quotes},
        {"facts", "facts DIR SYMBOL", "Show the facts of a security's series.", {}, {}, 2, run_facts},
        {"export",
         "export DIR SYMBOL FILE [--delimiter space|comma|tab] [--omit open,high,low,close,vol,oi] "
         "[--newest-first] [--title]",
         "Export a security's quotes to a delimited text file; FILE - writes to standard output.",
         {"--delimiter", "--omit"},
         {"--newest-first", "--title"},
         3,
         run_export},
        {"export-all",
         "export-all DIR OUTDIR [same options as export]",
         "Export every security of a portfolio, one file each, named after its symbol.",
         {"--delimiter", "--omit"},
         {"--newest-first", "--title"},
         2,
         run_export_all},
        {"split-search",
         "split-search DIR [--output FILE]",
         "Search a portfolio for probable unrecorded splits; result lines on stdout (and in FILE).",
         {"--output"},
         {},
         1,
         run_split_search},
        {"edit",
         "edit DIR SYMBOL DATE OPEN HIGH LOW CLOSE VOL OI [--time HH:MM]",
         "Set the six values of the quote dated DATE (at --time where several quotes share the date);\n"
         "      N/A for a field the series lacks.",
         {"--time"},
         {},
         9,
         run_edit},
        {"split",
         "split DIR SYMBOL DATE NEW OLD",
         "Apply a split of NEW for OLD shares to every quote before DATE.",
         {},
         {},
         5,
         run_split},
        {"adjust",
         "adjust DIR SYMBOL FROM TO PRICE VOLUME OI",
         "Multiply prices, volume and open interest of the quotes dated FROM to TO.",
         {},
         {},
         7,
         run_adjust},
        {"delete-quote",
         "delete-quote DIR SYMBOL DATE [--time HH:MM]",
         "Delete the quote dated DATE (at --time where several quotes share the date).",
         {"--time"},
         {},
         3,
         run_delete_quote},
        {"add-quote",
         "add-quote DIR SYMBOL DATE",
         "Add a copy of the quote dated DATE on the weekday before it; prints the new date.",
         {},
         {},
         3,
         run_add_quote},
        {"rename",
         "rename DIR SYMBOL NEW-SYMBOL NEW-NAME",
         "Give a security a new symbol and name.",
         {},
         {},
         4,
         run_rename},
        {"delete-symbol",
         "delete-symbol DIR SYMBOL",
         "Delete a security with its files.",
         {},
         {},
         2,
         run_delete_symbol},
        {"move",
         "move DIR SYMBOL DEST-DIR",
         "Move a security to another portfolio.",
         {},
         {},
         3,
         [](const Args& a) { return run_transfer(a, editing::TransferMode::Move); }},
        {"copy",
         "copy DIR SYMBOL DEST-DIR",
         "Copy a security to another portfolio.",
         {},
         {},
         3,
         [](const Args& a) { return run_transfer(a, editing::TransferMode::Copy); }},
        {"repair",
         "repair DIR",
         "Repair a MASTER file whose records have blank symbols.",
         {},
         {},
         1,
         run_repair},
        {"demo",
         "demo DIR",
         "Write a set of demonstration portfolios below DIR, where nothing stands at the names it uses.",
         {},
         {},
         1,
         run_demo},
    };
    return table;
}

void print_help() {
    std::cout
        << "usage: quorbit-cli COMMAND [ARGUMENTS]\n\n"
           "Quorbit's commands for MetaStock / CompuTrac portfolios. Dates are MM/DD/YY or YYYY-MM-DD;\n"
           "values are plain numbers (digits, at most one decimal point, nothing negative).\n"
           "Exit status: 0 success, 1 refused or failed (nothing changed by a refusal), 2 usage error.\n"
           "A text result never replaces a file of a portfolio, a link, a directory, a device or a pipe.\n\n"
           "Commands:\n";
    for (const auto& c : commands())
        std::cout << "  " << c.usage << "\n      " << c.summary << "\n";
    std::cout << "\n'quorbit-cli COMMAND --help' shows one command.\n";
}

int run(const std::vector<std::string>& words) {
    if (words.empty()) {
        print_help();
        return kUsage;
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        print_help();
        return kOk;
    }
    for (const auto& command : commands()) {
        if (words[0] != command.name)
            continue;
        Args args;
        std::string error;
        if (!parse_args({words.begin() + 1, words.end()}, command.valued, args, error))
            return usage_error(command, error);
        if (args.help) {
            std::cout << "usage: quorbit-cli " << command.usage << "\n" << command.summary << "\n";
            return kOk;
        }
        for (const auto& [name, value] : args.options) {
            bool known =
                std::find(command.valued.begin(), command.valued.end(), name) != command.valued.end() ||
                std::find(command.flags.begin(), command.flags.end(), name) != command.flags.end();
            if (!known)
                return usage_error(command, "unknown option " + name);
        }
        if (args.positional.size() != command.positionals)
            return usage_error(command, "expected " + std::to_string(command.positionals) + " arguments");
        return command.run(args);
    }
    std::cerr << "quorbit-cli: unknown command '" << words[0] << "' (see quorbit-cli --help)\n";
    return kUsage;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    return run(words);
}
