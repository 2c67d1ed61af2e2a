#include "editing/series_facts.h"

#include "storage/quotes.h"

#include <cstdio>

namespace editing {

namespace {

constexpr const char* kFieldLabels[kFieldNames] = {"Date", "Time",  "Open", "High",
                                                   "Low",  "Close", "Vol",  "OI"};

// "%6.0f" of a YYMMDD value.
std::string date_value_text(float value) {
    double number = static_cast<double>(value);
    int size = std::snprintf(nullptr, 0, "%6.0f", number);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%6.0f", number);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

} // namespace

SeriesFactsTexts describe_series(const std::filesystem::path& portfolio_dir, std::string_view symbol) {
    SeriesFactsTexts out;
    SeriesFacts facts;
    if (series_describe(portfolio_dir, symbol, facts) != 0) {
        out.result = CommandResult::failure("No facts can be shown for symbol " + std::string(symbol) +
                                                ":\nit is not in the portfolio, or its files cannot be read.",
                                            1);
        return out;
    }
    out.result = CommandResult::success();
    out.path = facts.path();
    out.data = {
        {"File number", std::to_string(facts.file_number())},
        {"DAT file record length", std::to_string(facts.record_length())},
        {"DAT file number of fields", std::to_string(facts.field_count())},
        {"Number of quotes", std::to_string(facts.bar_count())},
        {"Name of issue", facts.long_name.empty() ? facts.name() : facts.long_name},
        {"First date in file", date_value_text(facts.first_date())},
        {"Last date in file", date_value_text(facts.last_date())},
        {"Data format", facts.data_format()},
        {"Symbol", facts.symbol()},
    };
    for (int field = 0; field < kFieldNames; ++field)
        out.formats.push_back({kFieldLabels[field], facts.input_format(field), facts.display_format(field)});
    return out;
}

} // namespace editing
