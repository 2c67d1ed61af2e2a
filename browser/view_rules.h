// The browser view's rules as plain functions: the list column widths, when each command may run, and
// the main window's caption.
#pragma once

#include <array>
#include <string>
#include <vector>

// ---- Column widths ------------------------------------------------------------------------------

constexpr int kSymbolColumns = 2;
constexpr int kQuoteColumns = 7;
using SymbolColumnWidths = std::array<int, kSymbolColumns>;
using QuoteColumnWidths = std::array<int, kQuoteColumns>;

// The symbol list's widths from the saved "SymbolGrid" values and the list's client width w: both
// become w * 9 / 20 when either is 0 or above w, or their sum is above w. Read the saved values with
// that same default.
int DefaultSymbolColumnWidth(int clientWidth);
SymbolColumnWidths SymbolColumnWidthsFor(int clientWidth, const SymbolColumnWidths& saved);
// The quote list's: all seven become w * 9 / 70 when any is 0 or above w, or their sum is above w.
int DefaultQuoteColumnWidth(int clientWidth);
QuoteColumnWidths QuoteColumnWidthsFor(int clientWidth, const QuoteColumnWidths& saved);
// The widths of a list's columns when the list changes from `oldWidth` to `newWidth` pixels: each
// column keeps its share, so a list that grows with the window shows wider columns and one that
// narrows again gets its columns back. The edges are rounded, not each width, so the total follows the
// list exactly; no column gets below `minimum`. Unchanged when either width is not above 0.
std::vector<int> ScaledColumnWidths(const std::vector<int>& widths, int oldWidth, int newWidth, int minimum);

// ---- Commands -----------------------------------------------------------------------------------

// The view's commands, by their command ids.
enum class ViewCommand : int {
    EditQuote = 32771,
    SplitQuotes = 32772,
    AdjustQuotes = 32773,
    SeriesFacts = 32774,
    DeleteQuote = 32775,
    SplitSearch = 32776,
    EditSymbol = 32789,
    SearchFilter = 32790,
    MoveSymbol = 32791,
    DeleteSymbol = 32793,
    AddQuote = 32794,
    ExportQuotes = 32804,
    ReScan = 32807,
    CopySymbol = 32823,
    CheckData = 32850,
    Chart = 32851,
    NewPortfolio = 32860,
    NewSymbol = 32861,
    ImportQuotes = 32862,
};
inline constexpr std::array<ViewCommand, 19> kViewCommands = {
    ViewCommand::SplitSearch,  ViewCommand::SearchFilter, ViewCommand::ReScan,
    ViewCommand::DeleteSymbol, ViewCommand::MoveSymbol,   ViewCommand::CopySymbol,
    ViewCommand::EditSymbol,   ViewCommand::SeriesFacts,  ViewCommand::EditQuote,
    ViewCommand::SplitQuotes,  ViewCommand::AdjustQuotes, ViewCommand::AddQuote,
    ViewCommand::DeleteQuote,  ViewCommand::ExportQuotes, ViewCommand::CheckData,
    ViewCommand::Chart,        ViewCommand::NewPortfolio, ViewCommand::NewSymbol,
    ViewCommand::ImportQuotes};

// What the enabling rules read: view state and the rows the three lists hold at that moment.
struct CommandContext {
    bool portfoliosFound = false;
    bool splitSearchOpen = false;
    bool checkDataOpen = false;
    int portfolioEntries = 0;
    int symbolRows = 0;
    int quoteRows = 0;
    int selectedQuoteRow = 0; // -1: no quote row is highlighted
    int symbolCount = 0;
};

bool CommandEnabled(ViewCommand command, const CommandContext& context);

// The commands that work on the selected quote by its date. A quote whose stored date is no date (0, or
// a value before 1900: day number 0) would address every such quote at once, so these refuse it.
bool CommandAddressesSelectedQuote(ViewCommand command);
inline constexpr const char* kUndatedQuoteMessage =
    "The selected quote has no date (its stored date is not a date from 1900 on).\n"
    "It cannot be changed here, since every quote without a date would be changed with it.";

// ---- Caption ------------------------------------------------------------------------------------

inline constexpr const char* kApplicationTitle = "Quorbit";
// "Quorbit - " + directory + " - " + symbol text.
std::string ViewCaption(const std::string& portfolioDir, const std::string& symbolText);
// "Quorbit - " + directory + " - (no symbols)".
std::string EmptyPortfolioCaption(const std::string& portfolioDir);
