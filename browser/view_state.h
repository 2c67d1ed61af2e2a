// The browser's view state that the commands read and the window owns.
#pragma once

#include "storage/encoding.h"

#include <string>

struct ViewState {
    std::string portfolioDir;  // directory of the current MASTER file
    std::string masterPath;    // the current MASTER file
    std::string currentSymbol; // the series the quote list shows
    std::string currentName;
    int symbolCount = 0;
    int selectedSymbolRow = 0;
    int quoteCount = 0;
    int selectedQuoteRow = 0; // 0 = the newest quote
    DayNumber firstQuoteDate = 0;
    DayNumber lastQuoteDate = 0;
};
