// Quote text: any bytes are read or refused, never more. Read from a file a block at a time it gives what
// the same text gives from memory; every quote read holds a date and time of the calendar and values a
// quote file holds; a refusal names a line of the text; a read cut short is the start of the whole
// read; and the quotes read, written again in a plain form, read back the same.
#include "analysis/quote_text.h"

#include "fuzz_support.h"
#include "storage/mbf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <tuple>

namespace {

using fuzz_support::check;

const char* const kColumnChoices[] = {"", "date,open,high,low,close,vol", "ticker,date,time,close",
                                      "date,skip,oi"};

bool same_quotes(const QuoteText& a, const QuoteText& b, std::size_t count) {
    if (a.quotes.size() < count || b.quotes.size() < count)
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const TextQuote &p = a.quotes[i], &q = b.quotes[i];
        if (p.date != q.date || p.time != q.time || p.given != q.given || p.line != q.line ||
            p.ticker != q.ticker || std::memcmp(p.values.data(), q.values.data(), sizeof p.values) != 0)
            return false;
    }
    return true;
}

void check_quotes(const QuoteText& out, std::size_t lines) {
    check(std::count(out.columns.begin(), out.columns.end(), TextColumn::Date) == 1 || out.columns.empty(),
          "one date column");
    check(out.date_column == 0 ||
              out.columns.at(static_cast<std::size_t>(out.date_column - 1)) == TextColumn::Date,
          "date column");
    check(!out.tickers.empty() || out.quotes.empty(), "tickers");
    std::set<std::tuple<std::uint32_t, DayNumber, TimeOfDay>> seen;
    std::uint32_t last_line = 0;
    for (const TextQuote& quote : out.quotes) {
        check(quote.date >= kFirstDay && quote.date <= kLastDay && quote.date != kNoDate, "date in range");
        check(quote.time >= 0 && quote.time <= 235959 && quote.time % 100 < 60 && quote.time / 100 % 100 < 60,
              "time of day");
        check(out.has_time() || quote.time == 0, "no time without a time column");
        check(quote.line > last_line && quote.line <= lines, "lines in file order");
        last_line = quote.line;
        check(quote.ticker < out.tickers.size(), "ticker index");
        check(seen.emplace(quote.ticker, quote.date, quote.time).second,
              "no second quote for a date and time");
        for (int v = 0; v < kTextValues; ++v) {
            const float value = quote.values[static_cast<std::size_t>(v)];
            const bool given = (quote.given >> v) & 1;
            check(given
                      ? out.has_value(v) && value >= 0.0f && mbf_representable(value) && !std::signbit(value)
                      : value == 0.0f,
                  "values a quote file holds");
        }
    }
}

// The quotes in a plain form: YYYYMMDD, HH:MM:SS, the shortest texts of the values, N/A for the others.
std::string plain_text(const QuoteText& out) {
    std::string text =
        out.has_time() ? "Date,Time,Open,High,Low,Close,Vol,OI\n" : "Date,Open,High,Low,Close,Vol,OI\n";
    for (const TextQuote& quote : out.quotes) {
        int year = 0, month = 0, day = 0;
        date_unpack(quote.date, year, month, day);
        char line[256];
        int length = std::snprintf(line, sizeof line, "%04d%02d%02d", year + 1900, month, day);
        if (out.has_time())
            length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                                    ",%02d:%02d:%02d", quote.time / 10000, quote.time / 100 % 100,
                                    quote.time % 100);
        text.append(line, static_cast<std::size_t>(length));
        for (int v = 0; v < kTextValues; ++v) {
            char value[64];
            text += ',';
            text += (quote.given >> v) & 1
                        ? std::string(value, std::to_chars(value, value + sizeof value,
                                                           quote.values[static_cast<std::size_t>(v)])
                                                 .ptr)
                        : "N/A";
        }
        text += '\n';
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    QuoteTextOptions options;
    options.day_first = data[0] & 1;
    std::string error;
    if (const char* columns = kColumnChoices[(data[0] >> 1) & 3]; *columns)
        check(text_columns_parse(columns, options.columns, error), "column choices");
    options.max_quotes = (data[0] >> 3) & 7;
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;

    QuoteText in_memory, from_file;
    TextRefusal memory_refusal, file_refusal;
    const bool read = quote_text_parse(text, "fuzz.txt", options, in_memory, memory_refusal);
    const fuzz_support::fs::path file = fuzz_support::fresh_scratch() / "fuzz.txt";
    fuzz_support::write_bytes(file, text);
    const bool read_file = quote_text_read(file, options, from_file, file_refusal);
    check(read == read_file, "a file reads as its text");
    if (!read) {
        check(memory_refusal.line == file_refusal.line && memory_refusal.column == file_refusal.column &&
                  memory_refusal.reason == file_refusal.reason,
              "a file is refused as its text");
        check(memory_refusal.line <= lines && !memory_refusal.reason.empty(), "a refusal names a line");
        check(memory_refusal.text().rfind("fuzz.txt", 0) == 0, "a refusal names the file");
    } else {
        check(same_quotes(in_memory, from_file, in_memory.quotes.size()) &&
                  in_memory.quotes.size() == from_file.quotes.size() &&
                  in_memory.tickers == from_file.tickers && in_memory.columns == from_file.columns,
              "a file reads as its text");
        check_quotes(in_memory, lines);
        check(options.max_quotes == 0 || in_memory.quotes.size() <= options.max_quotes, "a preview's limit");
        if (options.max_quotes == 0 && in_memory.quotes.size() > 1) {
            QuoteTextOptions first = options;
            first.max_quotes = static_cast<std::uint32_t>(in_memory.quotes.size() / 2);
            QuoteText start;
            check(quote_text_parse(text, "fuzz.txt", first, start, memory_refusal) &&
                      start.quotes.size() == first.max_quotes &&
                      same_quotes(start, in_memory, first.max_quotes),
                  "a read cut short is the start of the whole read");
        }
        if (in_memory.tickers.size() == 1) { // one security: its quotes written plainly read back the same
            QuoteText again;
            check(quote_text_parse(plain_text(in_memory), "plain", {}, again, memory_refusal),
                  "the plain form is read");
            check(again.quotes.size() == in_memory.quotes.size(), "the plain form reads back every quote");
            for (std::size_t i = 0; i < again.quotes.size(); ++i) {
                const TextQuote &p = again.quotes[i], &q = in_memory.quotes[i];
                check(p.date == q.date && p.time == q.time && p.given == q.given &&
                          std::memcmp(p.values.data(), q.values.data(), sizeof p.values) == 0,
                      "the plain form reads back the same quotes");
            }
        }
    }
    TextPreview preview;
    TextRefusal preview_refusal;
    if (quote_text_preview(file, options, 4, preview, preview_refusal))
        check(preview.rows.size() <= 4 && preview.rows.size() == preview.row_lines.size(),
              "a preview's rows");
    return 0;
}
