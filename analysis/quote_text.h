// Quotes read from text: a vendor's file per security, an exchange's day file with one line per
// security, a download with a header row, the program's own export. Read line by line; a file is
// taken whole or refused at its first line that cannot be read completely.
#pragma once

#include "storage/dates.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// What one column of a text holds.
enum class TextColumn : std::uint8_t { Skip, Ticker, Name, Date, Time, Open, High, Low, Close, Vol, Oi };

// The six value columns in the order of a quote's values (as the export writes them).
constexpr int kTextValues = 6;
// The value index (0 OPEN .. 5 OI) of a column, -1 for a column that holds no value.
int text_value_index(TextColumn column);
// The column's name as a header or --columns names it ("date", "time", "open", ..., "oi", "ticker",
// "name", "skip"). A name column gives the name of the security a line's ticker names.
const char* text_column_name(TextColumn column);

// Reads a list of column names ("date,open,high,low,close,vol"; the names a header may use, and
// "skip" or "-" for a column to leave out). False with `error` set ("unknown column "foo"", "the date
// column is missing", "column "close" is named twice") when it cannot be used.
bool text_columns_parse(std::string_view text, std::vector<TextColumn>& columns, std::string& error);

struct QuoteTextOptions {
    // The columns of a file without a header; empty: taken from the file's header row, or, for a file
    // without one, the columns of the program's own export (7 or 8 values a line, one more after a ticker
    // column).
    std::vector<TextColumn> columns;
    bool day_first = false; // DD/MM/YYYY and DD/MM/YY instead of MM/DD/YYYY and MM/DD/YY
    // Stop after this many quotes (0: no limit): a preview reads the start of a file only.
    std::uint32_t max_quotes = 0;
};

struct TextQuote {
    DayNumber date = 0;
    TimeOfDay time = 0;                      // HHMMSS; 0 when the file has no time column
    std::array<float, kTextValues> values{}; // OPEN, HIGH, LOW, CLOSE, VOL, OI; 0 where not given
    std::uint8_t given = 0;                  // bit i set: values[i] was in the line (not empty, not "N/A")
    std::uint32_t line = 0;                  // 1-based line number in its file
    std::uint32_t ticker = 0;                // index into QuoteText::tickers; 0 without a ticker column
};

struct QuoteText {
    std::vector<TextColumn> columns;       // the column of each value of a line
    bool header = false;                   // the first line named the columns
    char delimiter = ',';                  // ',', ';', '\t' or ' ' (one or more blanks)
    int time_column = 0;                   // 1-based column of the time, 0 when there is none
    int date_column = 0;                   // 1-based column of the date
    std::vector<std::string> tickers;      // as written, in the order first seen; one empty text without a
                                           // ticker column
    std::vector<std::string> names;        // for each ticker, the first name a line gives it (empty: none)
    std::vector<TextQuote> quotes;         // in the order of the file
    std::vector<std::string> notes;        // columns left out ("column 6, "Adj Close", is not read")
    bool has_value(int value_index) const; // a column holds the value
    bool has_time() const { return time_column != 0; }
};

// A line that could not be read: where and why. text(): "FILE, line 12, column 3: reason".
struct TextRefusal {
    std::string file;
    std::uint32_t line = 0; // 0: the file as a whole (cannot be opened, no columns)
    int column = 0;         // 0: the line as a whole
    std::string reason;
    std::string text() const;
};

// Reads the file named `file`. True when every line was read (`out` then holds every quote); false with
// `refusal` set at the first line that could not be: a line longer than kMaxTextLine bytes or holding a
// NUL byte, a line with more or fewer values than the columns, a date that is no day of the calendar
// or outside 1 January 1900 .. 4 June 2140, a time that is no time of day, a value that is negative,
// not finite or beyond what a quote file's number format holds, two quotes of one ticker for the same
// date and time. Blank lines, a byte order mark, CR before LF and a 0x1A end mark are fine.
constexpr std::size_t kMaxTextLine = 4096;
bool quote_text_read(const std::filesystem::path& file, const QuoteTextOptions& options, QuoteText& out,
                     TextRefusal& refusal);
// The same reading of text already in memory; `file_name` names it in a refusal.
bool quote_text_parse(std::string_view text, std::string_view file_name, const QuoteTextOptions& options,
                      QuoteText& out, TextRefusal& refusal);

// The first lines of a file split into their values as quote_text_read would split them, for a preview:
// the header (when there is one) and up to `max_lines` data lines, each value as written.
struct TextPreview {
    std::vector<TextColumn> columns;            // as quote_text_read would take them
    std::vector<std::string> header;            // the header's names, empty without a header row
    std::vector<std::vector<std::string>> rows; // the values of each data line
    std::vector<std::uint32_t> row_lines;       // the line number of each row
    char delimiter = ',';
};
bool quote_text_preview(const std::filesystem::path& file, const QuoteTextOptions& options,
                        std::size_t max_lines, TextPreview& out, TextRefusal& refusal);
