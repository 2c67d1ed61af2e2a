#include "editing/series_facts.h"

#include "storage/quotes.h"

#include <cstdio>
#include <cstring>

namespace editing {

namespace {

using F = SeriesFacts;

constexpr const char* kFieldLabels[kFieldNames] = {"Date", "Time",  "Open", "High",
                                                   "Low",  "Close", "Vol",  "OI"};

// A text of the block: at most `size` bytes, ended by the first NUL.
std::string block_text(const SeriesFacts& facts, int offset, int size) {
    const char* start = reinterpret_cast<const char*>(facts.bytes + offset);
    const void* nul = std::memchr(start, '\0', static_cast<std::size_t>(size));
    std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - start)
                             : static_cast<std::size_t>(size);
    return std::string(start, length);
}

float block_float(const SeriesFacts& facts, int offset) {
    float value = 0.0f;
    std::memcpy(&value, facts.bytes + offset, sizeof value);
    return value;
}

int block_int16(const SeriesFacts& facts, int offset) {
    return static_cast<std::int16_t>(facts.bytes[offset] | facts.bytes[offset + 1] << 8);
}

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

SeriesFactsTexts describe_series(const std::filesystem::path& portfolio_dir, std::string_view key) {
    SeriesFactsTexts out;
    SeriesFacts facts;
    if (series_describe(portfolio_dir, key, facts) != 0) {
        out.result = CommandResult::failure("No facts can be shown for symbol " + std::string(key) +
                                                ":\nit is not in the portfolio, or its files cannot be read.",
                                            1);
        return out;
    }
    out.result = CommandResult::success();
    out.path = block_text(facts, F::kPath, F::kPathBytes);
    out.data = {
        {"File number", std::to_string(facts.bytes[F::kFileNumber])},
        {"DAT file record length", std::to_string(facts.bytes[F::kRecordLength])},
        {"DAT file number of fields", std::to_string(facts.bytes[F::kFieldCount])},
        {"Number of quotes", std::to_string(block_int16(facts, F::kBarCount))},
        {"Name of issue", block_text(facts, F::kName, F::kTextBytes)},
        {"First date in file", date_value_text(block_float(facts, F::kFirstDate))},
        {"Last date in file", date_value_text(block_float(facts, F::kLastDate))},
        {"Data format", block_text(facts, F::kPeriodicity, F::kFormatBytes)},
        {"Symbol", block_text(facts, F::kSymbol, F::kTextBytes)},
    };
    for (int field = 0; field < kFieldNames; ++field) {
        out.formats.push_back(
            {kFieldLabels[field],
             block_text(facts, F::kInputFormats + F::kFormatBytes * field, F::kFormatBytes),
             block_text(facts, F::kDisplayFormats + F::kFormatBytes * field, F::kFormatBytes)});
    }
    return out;
}

} // namespace editing
