// The browsing state of the window: the portfolio and the series on screen, the counts and the selected
// rows. A plain value without Qt that the window owns; the commands take the values it holds (the
// portfolio's directory, a symbol), never the state itself.
//
// Refresh contract: the series on screen is `currentSymbol` in `portfolioDir`, whose directory file is
// `masterPath`; a command on a quote works on row `selectedQuoteRow` of the quote list (0 = newest,
// `quoteCount` - 1 = oldest). After rewriting the series the window reloads the quote list with row 0
// selected (Add quote names its own row); after rewriting MASTER it reloads the symbol list with row 0
// selected; a rename only updates the selected symbol row and `currentSymbol` / `currentName`.
#pragma once

#include "storage/dates.h"

#include <filesystem>
#include <string>

struct ViewState {
    std::filesystem::path portfolioDir; // directory of the current MASTER file
    std::filesystem::path masterPath;   // full path of the current MASTER file
    std::string currentSymbol;          // symbol text of the series the quote list shows
    std::string currentName;            // name text of that series
    int symbolCount = 0;                // rows the symbol list was filled for (at most 255)
    int selectedSymbolRow = 0;          // selected row of the symbol list, in symbol order
    int quoteCount = 0;                 // quotes of the current series
    int selectedQuoteRow = 0;           // selected row of the quote list; 0 = the newest quote
    DayNumber firstQuoteDate = 0;       // date of the oldest quote; 0 = none (shown as 00/00/00)
    DayNumber lastQuoteDate = 0;        // date of the newest quote
};
