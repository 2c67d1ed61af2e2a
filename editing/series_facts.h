// Series facts: the texts of the "About Selected Quote Series" dialog.
#pragma once

#include "common/command_result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace editing {

struct FieldFormatTexts {
    std::string field;   // "Date", "Time", "Open", "High", "Low", "Close", "Vol", "OI"
    std::string input;   // name of the input format code; empty when the series lacks the field
    std::string display; // name of the display format code; empty when absent
};

struct SeriesFactsTexts {
    CommandResult result; // on failure, no texts are filled
    std::string path;     // the "Path:" line: the directory passed in
    // "File number", "DAT file record length", "DAT file number of fields", "Number of quotes",
    // "Name of issue", "First date in file", "Last date in file", "Data format", "Symbol", in this
    // order, each with its text.
    std::vector<std::pair<std::string, std::string>> data;
    std::vector<FieldFormatTexts> formats; // the eight fields, in the order above
};

// Describes the security `symbol` (its symbol as its record holds it) of the portfolio at `portfolio_dir`.
SeriesFactsTexts describe_series(const std::filesystem::path& portfolio_dir, std::string_view symbol);

} // namespace editing
