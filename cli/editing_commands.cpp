// The commands that change a portfolio: the quote edits on the series a date names, the symbol commands,
// the repair and the demonstration portfolios. Each fills the view state as the window would have it and
// calls the same command function as the window.
#include "browser/quote_cells.h"
#include "browser/repair.h"
#include "browser/symbol_list.h"
#include "browser/view_state.h"
#include "cli/command.h"
#include "cli/demo.h"
#include "cli/output.h"
#include "editing/quote_commands.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"

#include <algorithm>
#include <iostream>

namespace {

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
std::string date_argument(const Command& self, const std::string& text) {
    std::string date = normalise_date_text(text);
    if (date.empty())
        usage_error(self, "'" + text + "' is not a date (MM/DD/YY or YYYY-MM-DD)");
    return date;
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
    write_message(MessageKind::Error, "No quote of " + series.view.currentSymbol + " is dated " + date);
    return false;
}

int run_transfer(const Args& args, editing::TransferMode mode) {
    return report(editing::transfer_symbol(portfolio_view(args.positional[0], args.positional[1]), mode,
                                           args.positional[2]));
}

} // namespace

// ---- Quote edits ----------------------------------------------------------------------------------

int run_edit(const Command& self, const Args& args) {
    std::string date = date_argument(self, args.positional[2]);
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

int run_split(const Command& self, const Args& args) {
    std::string date = date_argument(self, args.positional[2]);
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

int run_adjust(const Command& self, const Args& args) {
    std::string from = date_argument(self, args.positional[2]);
    if (from.empty())
        return kUsage;
    std::string to = date_argument(self, args.positional[3]);
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

int run_delete_quote(const Command& self, const Args& args) {
    std::string date = date_argument(self, args.positional[2]);
    if (date.empty())
        return kUsage;
    SeriesOnScreen series;
    if (!load_series(args.positional[0], args.positional[1], series) || !date_shown(series, date))
        return kFailed;
    return report(editing::delete_quote(series.view, date));
}

int run_add_quote(const Command& self, const Args& args) {
    std::string date = date_argument(self, args.positional[2]);
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

int run_rename(const Command&, const Args& args) {
    CommandResult check = editing::check_edit_symbol_input(args.positional[2]);
    if (!check.ok)
        return report(check);
    return report(editing::edit_symbol(portfolio_view(args.positional[0], ""), args.positional[1],
                                       args.positional[2], args.positional[3]));
}

int run_delete_symbol(const Command&, const Args& args) {
    return report(editing::delete_symbol(portfolio_view(args.positional[0], ""), args.positional[1]));
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
        if (!listing.result.ok)
            return report(listing.result);
        write_message(MessageKind::Information, "No record of " + master.string() + " needs repair.");
        return kOk;
    }
    if (RepairMaster(master) != 1) {
        write_message(MessageKind::Error,
                      "The master file " + master.string() + " could not be repaired; it is unchanged.");
        return kFailed;
    }
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
