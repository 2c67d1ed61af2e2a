// quorbit-cli: the commands of Quorbit for scripts. Results go to stdout, messages to stderr; the exit
// status is 0 on success, 1 when a command is refused or fails (a refused command changes nothing) and
// 2 on a usage error.
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
#include <cstdio>
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

// Where a message of a kind goes. Standard output carries only a command's data (rows, result lines),
// which scripts read, so notices go to standard error beside warnings and errors.
std::ostream& stream_for(MessageKind) {
    return std::cerr;
}

void write_message(const Message& message) {
    stream_for(message.kind) << message.text << "\n";
}

int report(const CommandResult& result) {
    for (const Message& message : result.messages)
        write_message(message);
    return result.ok ? kOk : kFailed;
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
    std::vector<std::string> found;
    auto filter = args.options.find("--filter");
    bool limit = filter != args.options.end();
    SearchForMasters(args.positional[0], found, limit,
                     limit ? portfolio_files::to_upper(filter->second) : "");
    for (const auto& path : found)
        std::cout << path << "\n";
    return kOk;
}

int run_symbols(const Args& args) {
    SymbolListing listing = symbol_list_read(master_of(args.positional[0]));
    for (const Message& message : listing.result.messages)
        write_message(message);
    if (!listing.result.ok)
        return kFailed;
    for (const auto& row : listing.rows) {
        const MasterRecord& r = row.record;
        const char periodicity = r.periodicity();
        std::cout << row.symbol << '\t' << trimmed_right(row.name) << '\t' << r.file_number() << '\t'
                  << r.record_length() << '\t' << r.field_count() << '\t'
                  << quote_date_text(r.stored_first_date()) << '\t' << quote_date_text(r.stored_last_date())
                  << '\t' << (periodicity >= 32 && periodicity < 127 ? periodicity : '?') << "\n";
    }
    if (listing.needs_repair)
        std::cerr << "The master file " << master_of(args.positional[0]).string()
                  << " has records with blank symbols; 'quorbit-cli repair' mends it.\n";
    return kOk;
}

void print_cells(const QuoteCells& cells) {
    for (int c = 0; c < kQuoteCells; ++c)
        std::cout << cells[static_cast<std::size_t>(c)] << (c + 1 < kQuoteCells ? '\t' : '\n');
}

int run_quotes(const Args& args) {
    QuoteListing listing = quote_list_read(args.positional[0], args.positional[1]);
    if (args.options.count("--oldest-first")) {
        for (auto it = listing.rows.rbegin(); it != listing.rows.rend(); ++it)
            print_cells(*it);
    } else {
        for (const auto& row : listing.rows)
            print_cells(row);
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
    return report(export_quotes(args.positional[0], args.positional[1], args.positional[2], options));
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
                write_message({event.message_kind, event.text});
            return true;
        });
    bool notices_shown = false;
    for (const auto& event : outcome.events)
        notices_shown = notices_shown || event.kind == SplitEventKind::Notice;
    if (!notices_shown)
        report(outcome.result);
    else if (outcome.lines.empty() && outcome.result.ok && !outcome.result.messages.empty())
        write_message(outcome.result.messages.back()); // "No candidate splits found"
    int status = outcome.result.ok ? kOk : kFailed;
    auto output = args.options.find("--output");
    if (output != args.options.end() && report(split_search_save(output->second, outcome.lines)) != kOk)
        status = kFailed;
    return status;
}

// ---- Quote edits ----------------------------------------------------------------------------------

// The view state as the window has it with the series on screen, and the date of each quote row.
struct SeriesOnScreen {
    ViewState view;
    std::vector<DayNumber> dates; // newest first
};

bool load_series(const std::string& dir, const std::string& symbol, SeriesOnScreen& out) {
    QuoteListing listing = quote_list_read(dir, symbol);
    if (!listing.result.ok) {
        report(listing.result);
        return false;
    }
    out.view.portfolioDir = dir;
    out.view.masterPath = master_of(dir);
    out.view.currentSymbol = symbol;
    out.view.quoteCount = listing.quote_count;
    out.view.firstQuoteDate = listing.first_quote_date;
    out.view.lastQuoteDate = listing.last_quote_date;
    out.dates = std::move(listing.dates);
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
std::string date_argument(const Command& command, const std::string& text) {
    std::string date = normalise_date_text(text);
    if (date.empty())
        usage_error(command, "'" + text + "' is not a date (MM/DD/YY or YYYY-MM-DD)");
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

// Commands that name a quote by its date need it to be one the list shows.
bool date_shown(const SeriesOnScreen& series, const std::string& date) {
    if (date_row(series, date) >= 0)
        return true;
    std::cerr << "No quote of " << series.view.currentSymbol << " is dated " << date << "\n";
    return false;
}

int run_edit(const Args& args) {
    std::string date = date_argument(command_named("edit"), args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series) || !date_shown(series, date))
        return kFailed;
    editing::ValueTexts values;
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = args.positional[3 + i];
    auto present = editing::value_fields_present(args.positional[0], args.positional[1]);
    if (!present)
        return report(CommandResult::failure("Single Date Edit Failed"));
    CommandResult check = editing::check_edit_quote_input(date, values, *present);
    if (!check.ok)
        return report(check);
    return report(editing::edit_quote(series.view, date, values));
}

int run_split(const Args& args) {
    std::string date = date_argument(command_named("split"), args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    editing::SplitInput input{date, args.positional[3], args.positional[4]};
    CommandResult check = editing::check_split_input(input, series.view);
    if (!check.ok)
        return report(check);
    return report(editing::split_quotes(series.view, input));
}

int run_adjust(const Args& args) {
    std::string from = date_argument(command_named("adjust"), args.positional[2]);
    if (from.empty())
        return kUsage;
    std::string to = date_argument(command_named("adjust"), args.positional[3]);
    if (to.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series))
        return kFailed;
    editing::AdjustInput input{from, to, args.positional[4], args.positional[5], args.positional[6]};
    CommandResult check = editing::check_adjust_input(input, series.view);
    if (!check.ok)
        return report(check);
    return report(editing::adjust_quotes(series.view, input));
}

int run_delete_quote(const Args& args) {
    std::string date = date_argument(command_named("delete-quote"), args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series) || !date_shown(series, date))
        return kFailed;
    return report(editing::delete_quote(series.view, date));
}

int run_add_quote(const Args& args) {
    std::string date = date_argument(command_named("add-quote"), args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series) || !date_shown(series, date))
        return kFailed;
    series.view.selectedQuoteRow = date_row(series, date);
    editing::AddQuoteResult added = editing::add_quote(series.view, series.dates);
    if (added.result.ok)
        std::cout << added.new_date_text << "\n";
    return report(added.result);
}

// ---- Symbols ----------------------------------------------------------------------------------------

int run_rename(const Args& args) {
    CommandResult check = editing::check_edit_symbol_input(args.positional[2]);
    if (!check.ok)
        return report(check);
    return report(editing::edit_symbol(portfolio_view(args.positional[0], ""), args.positional[1],
                                       args.positional[2], args.positional[3]));
}

int run_delete_symbol(const Args& args) {
    return report(editing::delete_symbol(portfolio_view(args.positional[0], ""), args.positional[1]));
}

int run_transfer(const Args& args, editing::TransferMode mode) {
    return report(editing::transfer_symbol(portfolio_view(args.positional[0], args.positional[1]), mode,
                                           args.positional[2]));
}

int run_repair(const Args& args) {
    std::filesystem::path master = master_of(args.positional[0]);
    SymbolListing listing = symbol_list_read(master);
    if (!listing.needs_repair) {
        if (!listing.result.ok)
            return report(listing.result);
        std::cerr << "No record of " << master.string() << " needs repair.\n";
        return kOk;
    }
    if (RepairMaster(master) != 1) {
        std::cerr << "The master file " << master.string() << " could not be repaired; it is unchanged.\n";
        return kFailed;
    }
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
         "symbols DIR",
         "List the symbols of a portfolio: symbol, name, file number, record length, fields, first and last "
         "date, periodicity.",
         {},
         {},
         1,
         run_symbols},
        {"quotes",
         "quotes DIR SYMBOL [--oldest-first]",
         "List the quotes of a security, newest first.",
         {},
         {"--oldest-first"},
         2,
         run_quotes},
        {"facts", "facts DIR SYMBOL", "Show the facts of a security's series.", {}, {}, 2, run_facts},
        {"export",
         "export DIR SYMBOL FILE [--delimiter space|comma|tab] [--omit open,high,low,close,vol,oi] "
         "[--newest-first] [--title]",
         "Export a security's quotes to a delimited text file.",
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
         "Search a portfolio for probable unrecorded splits; result lines on stdout.",
         {"--output"},
         {},
         1,
         run_split_search},
        {"edit",
         "edit DIR SYMBOL DATE OPEN HIGH LOW CLOSE VOL OI",
         "Set the six values of the quote dated DATE.",
         {},
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
         "delete-quote DIR SYMBOL DATE",
         "Delete the quote dated DATE.",
         {},
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
        {"demo", "demo DIR", "Write a set of demonstration portfolios below DIR.", {}, {}, 1, run_demo},
    };
    return table;
}

void print_help() {
    std::cout
        << "usage: quorbit-cli COMMAND [ARGUMENTS]\n\n"
           "Quorbit's commands for MetaStock / CompuTrac portfolios. Dates are MM/DD/YY or YYYY-MM-DD.\n"
           "Exit status: 0 success, 1 refused or failed (nothing changed by a refusal), 2 usage error.\n\n"
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
