#include "browser/view_rules.h"

#include <algorithm>

namespace {

template <std::size_t N> bool WidthsFit(int clientWidth, const std::array<int, N>& widths) {
    long long sum = 0;
    for (int width : widths) {
        if (width == 0 || width > clientWidth) {
            return false;
        }
        sum += width;
    }
    return sum <= clientWidth;
}

template <std::size_t N>
std::array<int, N> WidthsOrDefault(int clientWidth, const std::array<int, N>& saved, int defaultWidth) {
    if (WidthsFit(clientWidth, saved)) {
        return saved;
    }
    std::array<int, N> widths;
    widths.fill(defaultWidth);
    return widths;
}

} // namespace

int DefaultSymbolColumnWidth(int clientWidth) {
    return clientWidth * 9 / 20;
}

SymbolColumnWidths SymbolColumnWidthsFor(int clientWidth, const SymbolColumnWidths& saved) {
    return WidthsOrDefault(clientWidth, saved, DefaultSymbolColumnWidth(clientWidth));
}

int DefaultQuoteColumnWidth(int clientWidth) {
    return clientWidth * 9 / 70;
}

QuoteColumnWidths QuoteColumnWidthsFor(int clientWidth, const QuoteColumnWidths& saved) {
    return WidthsOrDefault(clientWidth, saved, DefaultQuoteColumnWidth(clientWidth));
}

bool CommandEnabled(ViewCommand command, const CommandContext& c) {
    const bool quotes = c.portfoliosFound && c.quoteRows > 0;
    const bool symbols = c.portfoliosFound && c.symbolRows > 0;
    const bool transfer = c.portfolioEntries >= 2 && c.symbolRows > 0;
    switch (command) {
    case ViewCommand::SearchFilter:
    case ViewCommand::ReScan:
    case ViewCommand::NewPortfolio:
        return true;
    // A portfolio on screen, with securities or none yet.
    case ViewCommand::NewSymbol:
    case ViewCommand::ImportQuotes:
        return c.portfoliosFound && c.portfolioEntries > 0;
    case ViewCommand::SplitSearch:
        return quotes && !c.splitSearchOpen;
    case ViewCommand::EditSymbol:
        return symbols && !c.splitSearchOpen;
    case ViewCommand::DeleteSymbol:
    case ViewCommand::SeriesFacts:
        return symbols;
    case ViewCommand::MoveSymbol:
    case ViewCommand::CopySymbol:
        return transfer;
    case ViewCommand::AdjustQuotes:
        return quotes;
    // The commands on the selected quote need one the user can see highlighted.
    case ViewCommand::EditQuote:
    case ViewCommand::SplitQuotes:
    case ViewCommand::DeleteQuote:
        return quotes && c.selectedQuoteRow >= 0 && c.selectedQuoteRow < c.quoteRows;
    case ViewCommand::AddQuote:
        return quotes && c.selectedQuoteRow >= 0 && c.selectedQuoteRow < c.quoteRows - 1;
    case ViewCommand::ExportQuotes:
        return quotes && c.symbolCount != 0;
    case ViewCommand::CheckData:
        return symbols && !c.checkDataOpen;
    case ViewCommand::Chart:
        return quotes;
    }
    return false;
}

bool CommandAddressesSelectedQuote(ViewCommand command) {
    return command == ViewCommand::EditQuote || command == ViewCommand::SplitQuotes ||
           command == ViewCommand::AddQuote || command == ViewCommand::DeleteQuote;
}

std::string ViewCaption(const std::string& portfolioDir, const std::string& symbolText) {
    return std::string(kApplicationTitle) + " - " + portfolioDir + " - " + symbolText;
}

std::string EmptyPortfolioCaption(const std::string& portfolioDir) {
    return ViewCaption(portfolioDir, "(no symbols)");
}

std::vector<int> ScaledColumnWidths(const std::vector<int>& widths, int oldWidth, int newWidth, int minimum) {
    if (oldWidth <= 0 || newWidth <= 0) {
        return widths;
    }
    std::vector<int> scaled;
    scaled.reserve(widths.size());
    long long edge = 0;
    int scaledEdge = 0;
    for (int width : widths) {
        edge += width;
        const int next = static_cast<int>((edge * newWidth + oldWidth / 2) / oldWidth);
        scaled.push_back(std::max(minimum, next - scaledEdge));
        scaledEdge = next;
    }
    return scaled;
}
