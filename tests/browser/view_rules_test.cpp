// The view's rules as plain functions: column widths, command enabling, dialog units. The caption is
// checked on the window itself in ui/quorbit_view_test.cpp.
#include "browser/view_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(ColumnWidths, SavedWidthsAreKeptOnlyWhenAllFit) {
    EXPECT_EQ(SymbolColumnWidthsFor(200, {80, 100}), (SymbolColumnWidths{80, 100}));
    EXPECT_EQ(SymbolColumnWidthsFor(200, {0, 100}), (SymbolColumnWidths{90, 90}));
    EXPECT_EQ(SymbolColumnWidthsFor(200, {201, 10}), (SymbolColumnWidths{90, 90}));
    EXPECT_EQ(SymbolColumnWidthsFor(200, {120, 81}), (SymbolColumnWidths{90, 90}));
    EXPECT_EQ(QuoteColumnWidthsFor(700, {100, 100, 100, 100, 100, 100, 100}),
              (QuoteColumnWidths{100, 100, 100, 100, 100, 100, 100}));
    EXPECT_EQ(QuoteColumnWidthsFor(700, {100, 100, 100, 0, 100, 100, 100}),
              (QuoteColumnWidths{90, 90, 90, 90, 90, 90, 90}));
    EXPECT_EQ(QuoteColumnWidthsFor(700, {100, 100, 100, 100, 100, 100, 101}),
              (QuoteColumnWidths{90, 90, 90, 90, 90, 90, 90}));
}

TEST(ColumnWidths, ColumnsKeepTheirShareAsTheListGrowsAndNarrows) {
    const std::vector<int> widths{33, 33, 34};
    const std::vector<int> grown = ScaledColumnWidths(widths, 100, 301, 8);
    EXPECT_EQ(grown, (std::vector<int>{99, 100, 102})); // rounded edges: the total follows the list
    EXPECT_EQ(ScaledColumnWidths(grown, 301, 100, 8), widths);
    EXPECT_EQ(ScaledColumnWidths({40, 2}, 42, 21, 8), (std::vector<int>{20, 8}));
    EXPECT_EQ(ScaledColumnWidths(widths, 0, 300, 8), widths);
}

// Everything a portfolio with quotes enables, then one change per case.
CommandContext Browsing() {
    CommandContext context;
    context.portfoliosFound = true;
    context.portfolioEntries = 2;
    context.symbolRows = 3;
    context.symbolCount = 3;
    context.quoteRows = 10;
    context.selectedQuoteRow = 0;
    return context;
}

struct EnablingCase {
    const char* what;
    CommandContext context;
    std::vector<ViewCommand> enabled; // every other command is disabled
};

class EnablingTest : public ::testing::TestWithParam<EnablingCase> {};

TEST_P(EnablingTest, EachCommandFollowsItsRule) {
    const EnablingCase& c = GetParam();
    for (ViewCommand command : kViewCommands) {
        const bool expected = std::find(c.enabled.begin(), c.enabled.end(), command) != c.enabled.end();
        EXPECT_EQ(CommandEnabled(command, c.context), expected) << c.what << ", command " << int(command);
    }
}

const std::vector<ViewCommand> kAll(kViewCommands.begin(), kViewCommands.end());

std::vector<ViewCommand> AllBut(std::initializer_list<ViewCommand> excluded) {
    std::vector<ViewCommand> commands;
    for (ViewCommand command : kViewCommands)
        if (std::find(excluded.begin(), excluded.end(), command) == excluded.end())
            commands.push_back(command);
    return commands;
}

EnablingCase With(const char* what, void (*change)(CommandContext&), std::vector<ViewCommand> enabled) {
    CommandContext context = Browsing();
    change(context);
    return {what, context, std::move(enabled)};
}

using VC = ViewCommand;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, EnablingTest, ::testing::Values(
    With("browsing", [](CommandContext&) {}, kAll),
    With("nothing found", [](CommandContext& c) { c = CommandContext{}; }, {VC::SearchFilter, VC::ReScan, VC::NewPortfolio}),
    With("one portfolio", [](CommandContext& c) { c.portfolioEntries = 1; }, AllBut({VC::MoveSymbol, VC::CopySymbol})),
    With("no symbols", [](CommandContext& c) { c.symbolRows = c.symbolCount = c.quoteRows = 0; },
         {VC::SearchFilter, VC::ReScan, VC::NewPortfolio, VC::NewSymbol, VC::ImportQuotes}),
    With("oldest quote selected", [](CommandContext& c) { c.selectedQuoteRow = 9; }, AllBut({VC::AddQuote})),
    With("a single quote", [](CommandContext& c) { c.quoteRows = 1; }, AllBut({VC::AddQuote})),
    With("no quote highlighted", [](CommandContext& c) { c.selectedQuoteRow = -1; },
         AllBut({VC::EditQuote, VC::SplitQuotes, VC::DeleteQuote, VC::AddQuote})),
    With("a row no longer there", [](CommandContext& c) { c.selectedQuoteRow = 10; },
         AllBut({VC::EditQuote, VC::SplitQuotes, VC::DeleteQuote, VC::AddQuote})),
    With("split search open", [](CommandContext& c) { c.splitSearchOpen = true; },
         AllBut({VC::SplitSearch, VC::EditSymbol})),
    With("check data open", [](CommandContext& c) { c.checkDataOpen = true; }, AllBut({VC::CheckData})),
    With("symbols without quotes", [](CommandContext& c) { c.quoteRows = 0; }, {VC::SearchFilter, VC::ReScan,
         VC::DeleteSymbol, VC::MoveSymbol, VC::CopySymbol, VC::EditSymbol, VC::SeriesFacts, VC::CheckData,
         VC::NewPortfolio, VC::NewSymbol, VC::ImportQuotes})));
// clang-format on

} // namespace
