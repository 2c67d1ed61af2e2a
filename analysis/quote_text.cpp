#include "analysis/quote_text.h"

#include "common/value_format.h"
#include "storage/fileops.h"
#include "storage/mbf.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <system_error>
#include <unordered_map>

namespace {

// A file is read in blocks of this size; only a line that runs over the end of a block is copied.
constexpr std::size_t kReadBlock = 8192;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kEndMark = '\x1A'; // the end of a text file written by old DOS programs
// The most bytes a line may have before its line feed: kMaxTextLine, a byte order mark and a CR.
constexpr std::size_t kRawLineMost = kMaxTextLine + kByteOrderMark.size() + 1;

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string lower_text(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}
std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}
bool is_blank_line(std::string_view line) {
    return std::all_of(line.begin(), line.end(), is_blank);
}
std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}
std::string count_text(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}
std::string system_reason(int error) {
    return std::generic_category().message(error);
}

// ---- Lines ---------------------------------------------------------------------------------------

// The lines of a text held in memory or read from an open file a block at a time: without the line
// feed, a carriage return before it, the byte order mark of the first line or a closing run of end
// marks. A line that holds a NUL byte or is longer than kMaxTextLine stops the reading at once; memory
// holds one block and at most one line copied across a block's end.
class LineSource {
public:
    enum class Next { Line, End, Failed };

    explicit LineSource(std::string_view text) : data_(text.data()), end_(text.data() + text.size()) {}
    explicit LineSource(fileops::File& file) : file_(&file), block_(kReadBlock) {}

    Next next(std::string_view& line) {
        pending_.clear();
        for (;;) {
            if (data_ == end_ && !refill())
                return at_end(line);
            const char* feed = static_cast<const char*>(std::memchr(data_, '\n', end_ - data_));
            const std::size_t piece = static_cast<std::size_t>((feed ? feed : end_) - data_);
            // Only the bytes a line may have are looked at, so that a block boundary changes no refusal.
            const std::size_t room = kRawLineMost - pending_.size();
            if (std::memchr(data_, '\0', std::min(piece, room)))
                return fail("the line holds a NUL byte; this is not a text file");
            if (piece > room)
                return fail(too_long());
            if (feed && !partial_) { // the whole line within the block: no copy
                line = std::string_view(data_, piece);
                data_ = feed + 1;
                return finish(line, false);
            }
            pending_.append(data_, piece);
            partial_ = true;
            data_ += piece + (feed ? 1 : 0);
            if (feed) {
                line = pending_;
                return finish(line, false);
            }
        }
    }

    std::uint32_t line_number() const { return number_; }
    const std::string& reason() const { return reason_; }

private:
    bool refill() {
        if (!file_ || failed_)
            return false;
        const long long got = file_->read_some(block_.data(), block_.size());
        if (got < 0) {
            failed_ = true;
            reason_ = "cannot be read (" + system_reason(errno) + ")";
            return false;
        }
        data_ = block_.data();
        end_ = data_ + got;
        return got > 0;
    }

    Next at_end(std::string_view& line) {
        if (failed_) {
            number_ = 0; // the file as a whole
            return Next::Failed;
        }
        if (!partial_)
            return Next::End;
        line = pending_;
        return finish(line, true);
    }

    Next finish(std::string_view& line, bool last) {
        partial_ = false;
        ++number_;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (number_ == 1 && line.substr(0, kByteOrderMark.size()) == kByteOrderMark)
            line.remove_prefix(kByteOrderMark.size());
        if (last || line.find_first_not_of(kEndMark) == std::string_view::npos) {
            while (!line.empty() && line.back() == kEndMark)
                line.remove_suffix(1);
        }
        if (line.size() > kMaxTextLine)
            return fail(too_long(), false);
        return Next::Line;
    }

    Next fail(std::string reason, bool count = true) {
        number_ += count ? 1 : 0;
        reason_ = std::move(reason);
        return Next::Failed;
    }

    static std::string too_long() {
        return "the line is longer than " + std::to_string(kMaxTextLine) + " bytes; this is not a quote text";
    }

    fileops::File* file_ = nullptr;
    std::vector<char> block_;
    const char* data_ = nullptr;
    const char* end_ = nullptr;
    std::string pending_;
    bool partial_ = false; // bytes of the current line were taken already
    bool failed_ = false;
    std::uint32_t number_ = 0;
    std::string reason_;
};

// ---- Cells ---------------------------------------------------------------------------------------

// The delimiter of a text, told from its first line.
char detect_delimiter(std::string_view line) {
    for (char c : {'\t', ';', ','}) {
        if (line.find(c) != std::string_view::npos)
            return c;
    }
    return ' ';
}

// Splits a line at its delimiter (at each run of blanks for ' '). A value loses the blanks around it
// and the double quotes around it; a quoted value may hold the delimiter.
void split_cells(std::string_view line, char delimiter, std::vector<std::string_view>& cells) {
    cells.clear();
    const auto separates = [delimiter](char c) { return delimiter == ' ' ? is_blank(c) : c == delimiter; };
    std::size_t pos = 0;
    for (;;) {
        while (pos < line.size() && is_blank(line[pos]) && !(delimiter == '\t' && line[pos] == '\t'))
            ++pos;
        if (delimiter == ' ' && pos == line.size())
            return;
        const std::size_t start = pos;
        std::string_view cell;
        const std::size_t close = pos < line.size() && line[pos] == '"' ? line.find('"', pos + 1) : line.npos;
        if (close != line.npos) {
            pos = close + 1;
            while (pos < line.size() && is_blank(line[pos]) && !separates(line[pos]))
                ++pos;
            cell = line.substr(start + 1, close - start - 1);
        }
        if (close == line.npos || (pos < line.size() && !separates(line[pos]))) {
            while (pos < line.size() && !separates(line[pos]))
                ++pos;
            cell = trim_blanks(line.substr(start, pos - start));
        }
        cells.push_back(cell);
        if (pos >= line.size())
            return;
        ++pos; // the delimiter
    }
}

// ---- Column names --------------------------------------------------------------------------------

struct ColumnName {
    std::string_view name;
    TextColumn column;
};
constexpr ColumnName kColumnNames[] = {
    {"date", TextColumn::Date},
    {"dtyyyymmdd", TextColumn::Date},
    {"time", TextColumn::Time},
    {"open", TextColumn::Open},
    {"high", TextColumn::High},
    {"low", TextColumn::Low},
    {"close", TextColumn::Close},
    {"volume", TextColumn::Vol},
    {"vol", TextColumn::Vol},
    {"open interest", TextColumn::Oi},
    {"openinterest", TextColumn::Oi},
    {"openint", TextColumn::Oi},
    {"oi", TextColumn::Oi},
    {"ticker", TextColumn::Ticker},
    {"symbol", TextColumn::Ticker},
    {"name", TextColumn::Name},
    {"description", TextColumn::Name},
    {"skip", TextColumn::Skip},
    {"-", TextColumn::Skip},
};

// The column a header cell or a --columns item names, in any letter case, bracketed (<CLOSE>) or not.
std::optional<TextColumn> column_named(std::string_view text) {
    text = trim_blanks(text);
    if (text.size() >= 2 && text.front() == '<' && text.back() == '>')
        text = trim_blanks(text.substr(1, text.size() - 2));
    const std::string name = lower_text(text);
    for (const ColumnName& entry : kColumnNames) {
        if (entry.name == name)
            return entry.column;
    }
    return std::nullopt;
}

// Why a list of columns cannot be used; empty when it can: one date column, no column but "skip" twice.
std::string columns_problem(const std::vector<TextColumn>& columns) {
    bool seen[11] = {};
    for (TextColumn column : columns) {
        const int index = static_cast<int>(column);
        if (column != TextColumn::Skip && seen[index])
            return "column \"" + std::string(text_column_name(column)) + "\" is named twice";
        seen[index] = true;
    }
    return seen[static_cast<int>(TextColumn::Date)] ? "" : "the date column is missing";
}

// ---- Dates, times, values ------------------------------------------------------------------------

// The digits of a text as a number; nullopt when it is empty, longer than `most` or holds anything else.
std::optional<int> digits_value(std::string_view text, std::size_t least, std::size_t most) {
    if (text.size() < least || text.size() > most)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (!is_digit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

enum class DateRead { Ok, NotADate, NoDay, OutOfRange };

// YYYYMMDD, YYYY-MM-DD (or with '/' or '.'), MM/DD/YYYY and MM/DD/YY (or with '-' or '.'; one-digit
// months and days too), DD/MM/... when day_first. Two-digit years below 60 are 20YY, the others 19YY.
DateRead read_date(std::string_view text, bool day_first, DayNumber& day) {
    int year = 0, month = 0, dom = 0;
    if (const auto whole = digits_value(text, 8, 8)) {
        year = *whole / 10000, month = *whole / 100 % 100, dom = *whole % 100;
    } else {
        const std::size_t first = text.find_first_of("/-.");
        if (first == text.npos)
            return DateRead::NotADate;
        const char separator = text[first];
        const std::size_t second = text.find(separator, first + 1);
        if (second == text.npos)
            return DateRead::NotADate;
        const std::string_view a = text.substr(0, first), b = text.substr(first + 1, second - first - 1),
                               c = text.substr(second + 1);
        if (a.size() == 4) {
            const auto y = digits_value(a, 4, 4), m = digits_value(b, 1, 2), d = digits_value(c, 1, 2);
            if (!y || !m || !d)
                return DateRead::NotADate;
            year = *y, month = *m, dom = *d;
        } else {
            const auto p = digits_value(a, 1, 2), q = digits_value(b, 1, 2), y = digits_value(c, 2, 4);
            if (!p || !q || !y || c.size() == 3)
                return DateRead::NotADate;
            month = day_first ? *q : *p;
            dom = day_first ? *p : *q;
            year = c.size() == 4 ? *y : *y + (*y < 60 ? 2000 : 1900);
        }
    }
    if (month < 1 || month > 12 || dom < 1 || dom > 31)
        return DateRead::NoDay;
    const int stamp = year * 10000 + month * 100 + dom;
    if (stamp < 19000101 || stamp > 21400604)
        return DateRead::OutOfRange;
    day = date_pack(year - 1900, month, dom);
    int y = 0, m = 0, d = 0;
    date_unpack(day, y, m, d);
    return y == year - 1900 && m == month && d == dom ? DateRead::Ok : DateRead::NoDay; // 02/30 rolls over
}

// HH:MM:SS, HH:MM (one-digit hours too), HHMMSS, HHMM (and 0 to 3 digits as HHMM: "930", "0").
std::optional<TimeOfDay> read_time(std::string_view text) {
    std::optional<int> hours, minutes, seconds = 0;
    if (text.find(':') != text.npos) {
        const std::size_t first = text.find(':');
        const std::size_t second = text.find(':', first + 1);
        hours = digits_value(text.substr(0, first), 1, 2);
        minutes =
            digits_value(text.substr(first + 1, second == text.npos ? text.npos : second - first - 1), 2, 2);
        if (second != text.npos)
            seconds = digits_value(text.substr(second + 1), 2, 2);
    } else if (const auto whole = digits_value(text, 1, 6)) {
        const int hhmmss = text.size() > 4 ? *whole : *whole * 100;
        hours = hhmmss / 10000, minutes = hhmmss / 100 % 100, seconds = hhmmss % 100;
    }
    if (!hours || !minutes || !seconds || *hours > 23 || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    return time_of_day(*hours, *minutes, *seconds);
}

// An empty cell or "N/A" (any case): the line gives no such value.
bool not_given(std::string_view cell) {
    return cell.empty() ||
           (cell.size() == 3 && lower(cell[0]) == 'n' && cell[1] == '/' && lower(cell[2]) == 'a');
}

// A value as a quote file can hold it; empty with the reason when it is none.
std::optional<float> read_value(std::string_view text, std::string& reason) {
    float value = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end != text.data() + text.size() ||
        (error != std::errc{} && error != std::errc::result_out_of_range)) {
        reason = quoted(text) + " is not a number";
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range ||
        (std::isfinite(value) && !mbf_representable(value) && !std::signbit(value))) {
        reason = quoted(text) + (text.front() == '-' ? " is negative; values are 0 or more"
                                                     : " is beyond what a quote file can hold");
        return std::nullopt;
    }
    if (!std::isfinite(value)) {
        reason = quoted(text) + " is not a finite number";
        return std::nullopt;
    }
    if (std::signbit(value) && value != 0.0f) {
        reason = quoted(text) + " is negative; values are 0 or more";
        return std::nullopt;
    }
    return value + 0.0f; // -0 is stored as 0
}

// ---- Layout of a text ----------------------------------------------------------------------------

// A line of names only, in any language: no cell reads as a date or a number. With the columns given,
// such a first line is the file's header row.
bool only_words(const std::vector<std::string_view>& cells) {
    std::string reason;
    return std::none_of(cells.begin(), cells.end(), [&reason](std::string_view cell) {
        DayNumber day = 0;
        return read_date(cell, false, day) == DateRead::Ok || read_date(cell, true, day) == DateRead::Ok ||
               read_value(cell, reason).has_value() ||
               (!cell.empty() && std::isdigit(static_cast<unsigned char>(cell[0])));
    });
}

// Whether a first line is a header: it names the date column and none of its cells reads as a date.
bool is_header(const std::vector<std::string_view>& cells) {
    bool names_date = false;
    for (std::string_view cell : cells) {
        DayNumber day = 0;
        if (read_date(cell, false, day) == DateRead::Ok || read_date(cell, true, day) == DateRead::Ok)
            return false;
        names_date = names_date || column_named(cell) == TextColumn::Date;
    }
    return names_date;
}

// The columns a header names; an unknown name is a column left out, with a note.
std::vector<TextColumn> header_columns(const std::vector<std::string_view>& cells,
                                       std::vector<std::string>* notes) {
    std::vector<TextColumn> columns;
    for (std::size_t c = 0; c < cells.size(); ++c) {
        const std::optional<TextColumn> named = column_named(cells[c]);
        columns.push_back(named.value_or(TextColumn::Skip));
        if (notes && columns.back() == TextColumn::Skip)
            notes->push_back("column " + std::to_string(c + 1) + ", " + quoted(cells[c]) + ", is not read");
    }
    return columns;
}

// The columns of the program's own export without its title row: date and six values, or date, time
// (HH:MM:SS) and six values, each after a ticker column when the export wrote one. Empty when the line
// is none of these.
std::vector<TextColumn> export_columns(const std::vector<std::string_view>& cells) {
    using enum TextColumn;
    auto time_at = [&](std::size_t c) {
        return cells.size() > c && cells[c].find(':') != std::string_view::npos &&
               read_time(cells[c]).has_value();
    };
    if (cells.size() == 7 && !time_at(1))
        return {Date, Open, High, Low, Close, Vol, Oi};
    if (cells.size() == 8 && time_at(1))
        return {Date, Time, Open, High, Low, Close, Vol, Oi};
    // A ticker first: the first cell is no date, the second one is.
    auto date_at = [&](std::size_t c) {
        DayNumber day = 0;
        return read_date(cells[c], false, day) == DateRead::Ok ||
               read_date(cells[c], true, day) == DateRead::Ok;
    };
    if (cells.size() < 8 || date_at(0) || !date_at(1))
        return {};
    if (cells.size() == 8 && !time_at(2))
        return {Ticker, Date, Open, High, Low, Close, Vol, Oi};
    if (cells.size() == 9 && time_at(2))
        return {Ticker, Date, Time, Open, High, Low, Close, Vol, Oi};
    return {};
}

// The cells of a line, without one empty cell after a closing delimiter when the columns have none.
std::size_t used_cells(const std::vector<std::string_view>& cells, std::size_t columns) {
    return cells.size() == columns + 1 && cells.back().empty() ? columns : cells.size();
}

// ---- The reader ----------------------------------------------------------------------------------

class Reader {
public:
    Reader(std::string_view file_name, const QuoteTextOptions& options, QuoteText& out, TextRefusal& refusal)
        : file_name_(file_name), options_(options), out_(out), refusal_(refusal) {}

    // False when the line refuses the file.
    bool line(std::string_view text, std::uint32_t number) {
        if (is_blank_line(text))
            return true;
        if (!started_)
            out_.delimiter = detect_delimiter(text);
        split_cells(text, out_.delimiter, cells_);
        if (std::all_of(cells_.begin(), cells_.end(), [](std::string_view cell) { return cell.empty(); }))
            return true;
        if (!started_) {
            started_ = true;
            if (is_header(cells_) || (!options_.columns.empty() && only_words(cells_)))
                return take_header(number);
            const std::vector<TextColumn> columns =
                !options_.columns.empty() ? options_.columns : export_columns(cells_);
            if (columns.empty())
                return refuse(number, 0,
                              "the columns cannot be told from " +
                                  count_text(cells_.size(), "value", "values") +
                                  " without a header row; give the columns (--columns)");
            if (!use_columns(columns))
                return false;
        }
        return quote_line(number);
    }

    bool done() const { return options_.max_quotes != 0 && out_.quotes.size() >= options_.max_quotes; }

    bool finish() {
        if (!started_ && !options_.columns.empty() && !use_columns(options_.columns))
            return false;
        if (out_.tickers.empty() && ticker_column_ < 0)
            out_.tickers.emplace_back();
        out_.names.resize(out_.tickers.size());
        return true;
    }

    bool refuse(std::uint32_t line, int column, std::string reason) {
        refusal_ = {std::string(file_name_), line, column, std::move(reason)};
        return false;
    }

private:
    bool take_header(std::uint32_t number) {
        out_.header = true;
        if (!options_.columns.empty())
            return use_columns(options_.columns);
        std::vector<TextColumn> columns = header_columns(cells_, &out_.notes);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (columns[c] != TextColumn::Skip &&
                std::find(columns.begin(), columns.begin() + static_cast<std::ptrdiff_t>(c), columns[c]) !=
                    columns.begin() + static_cast<std::ptrdiff_t>(c))
                return refuse(number, static_cast<int>(c) + 1,
                              "the column " + quoted(text_column_name(columns[c])) + " is named twice");
        }
        return use_columns(columns);
    }

    bool use_columns(const std::vector<TextColumn>& columns) {
        if (std::string problem = columns_problem(columns); !problem.empty())
            return refuse(0, 0, "the columns cannot be used: " + problem);
        out_.columns = columns;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const int at = static_cast<int>(c) + 1;
            out_.date_column = columns[c] == TextColumn::Date ? at : out_.date_column;
            out_.time_column = columns[c] == TextColumn::Time ? at : out_.time_column;
            ticker_column_ = columns[c] == TextColumn::Ticker ? static_cast<int>(c) : ticker_column_;
        }
        return true;
    }

    bool quote_line(std::uint32_t number) {
        const std::size_t count = used_cells(cells_, out_.columns.size());
        if (count != out_.columns.size())
            return refuse(number, 0,
                          "the line has " + count_text(count, "value", "values") + "; the columns are " +
                              std::to_string(out_.columns.size()));
        TextQuote quote;
        quote.line = number;
        name_cell_ = {};
        for (std::size_t c = 0; c < count; ++c) {
            if (!read_cell(out_.columns[c], cells_[c], quote, number, static_cast<int>(c) + 1))
                return false;
        }
        note_name(quote.ticker);
        return keep(quote);
    }

    bool read_cell(TextColumn column, std::string_view cell, TextQuote& quote, std::uint32_t number, int at) {
        switch (column) {
        case TextColumn::Skip:
            return true;
        case TextColumn::Ticker:
            if (cell.empty())
                return refuse(number, at, "the ticker is missing");
            quote.ticker = ticker_index(cell);
            return true;
        case TextColumn::Name:
            name_cell_ = cell;
            return true;
        case TextColumn::Date:
            return read_date_cell(cell, quote, number, at);
        case TextColumn::Time: {
            if (cell.empty())
                return refuse(number, at, "the time is missing");
            const std::optional<TimeOfDay> time = read_time(cell);
            if (!time)
                return refuse(number, at,
                              quoted(cell) + " is not a time of day (HH:MM:SS, HH:MM, HHMMSS or HHMM)");
            quote.time = *time;
            return true;
        }
        default:
            break;
        }
        if (not_given(cell))
            return true;
        std::string reason;
        const std::optional<float> value = read_value(cell, reason);
        if (!value)
            return refuse(number, at, reason);
        const int index = text_value_index(column);
        quote.values[static_cast<std::size_t>(index)] = *value;
        quote.given = static_cast<std::uint8_t>(quote.given | (1u << index));
        return true;
    }

    bool read_date_cell(std::string_view cell, TextQuote& quote, std::uint32_t number, int at) {
        if (not_given(cell))
            return refuse(number, at, "the date is missing");
        switch (read_date(cell, options_.day_first, quote.date)) {
        case DateRead::Ok:
            return true;
        case DateRead::NoDay:
            return refuse(number, at, quoted(cell) + " is no day of the calendar");
        case DateRead::OutOfRange:
            return refuse(number, at,
                          quoted(cell) +
                              " is outside the dates a quote file holds (1 January 1900 to 4 June 2140)");
        case DateRead::NotADate:
            break;
        }
        return refuse(number, at,
                      quoted(cell) + (options_.day_first
                                          ? " is not a date (DD/MM/YYYY, DD/MM/YY, YYYYMMDD or YYYY-MM-DD)"
                                          : " is not a date (MM/DD/YYYY, MM/DD/YY, YYYYMMDD or YYYY-MM-DD)"));
    }

    std::uint32_t ticker_index(std::string_view ticker) {
        // Lines of one ticker mostly follow each other.
        if (!out_.tickers.empty() && out_.tickers[last_ticker_] == ticker)
            return last_ticker_;
        last_ticker_ = look_up_ticker(ticker);
        return last_ticker_;
    }

    std::uint32_t look_up_ticker(std::string_view ticker) {
        const auto [at, added] = ticker_numbers_.try_emplace(std::string(ticker), out_.tickers.size());
        if (added)
            out_.tickers.emplace_back(ticker);
        return at->second;
    }

    // The first name a line gives a ticker is its name.
    void note_name(std::uint32_t ticker) {
        if (out_.names.size() <= ticker)
            out_.names.resize(static_cast<std::size_t>(ticker) + 1);
        if (out_.names[ticker].empty() && !name_cell_.empty())
            out_.names[ticker] = std::string(name_cell_);
    }

    // Keeps a quote unless its ticker has one for the same date and time already. While a ticker's quotes
    // come in order, a quote later than its last cannot repeat one; the first that does not is looked up
    // among all of that ticker's quotes from then on.
    bool keep(const TextQuote& quote) {
        if (order_.size() <= quote.ticker)
            order_.resize(static_cast<std::size_t>(quote.ticker) + 1);
        TickerOrder& order = order_[quote.ticker];
        const std::uint64_t key = key_of(quote);
        if (!order.mapped && (order.count == 0 || key > order.last)) {
            order.last = key;
            ++order.count;
            out_.quotes.push_back(quote);
            return true;
        }
        if (!order.mapped) {
            order.mapped = true;
            for (const TextQuote& earlier : out_.quotes) {
                if (earlier.ticker == quote.ticker)
                    seen_.try_emplace(key_of(earlier), earlier.line);
            }
        }
        const auto [at, added] = seen_.try_emplace(key, quote.line);
        if (!added) {
            const std::string of = ticker_column_ >= 0 ? " of " + out_.tickers[quote.ticker] : "";
            const std::optional<TimeOfDay> time =
                out_.has_time() ? std::optional<TimeOfDay>(quote.time) : std::nullopt;
            return refuse(quote.line, out_.date_column,
                          "a second quote" + of + " for " + quote_when_text(quote.date, time) +
                              " (the first is on line " + std::to_string(at->second) + ")");
        }
        out_.quotes.push_back(quote);
        return true;
    }

    static std::uint64_t key_of(const TextQuote& quote) {
        return static_cast<std::uint64_t>(quote.ticker) << 40 |
               static_cast<std::uint64_t>(quote.date - kFirstDay) << 18 |
               static_cast<std::uint64_t>(quote.time);
    }

    // Where a ticker's quotes stand: in order so far (the last key), or looked up in seen_.
    struct TickerOrder {
        std::uint64_t last = 0;
        std::uint32_t count = 0;
        bool mapped = false;
    };

    std::string_view file_name_;
    const QuoteTextOptions& options_;
    QuoteText& out_;
    TextRefusal& refusal_;
    bool started_ = false;
    int ticker_column_ = -1;
    std::string_view name_cell_; // the name cell of the line being read
    std::vector<std::string_view> cells_;
    std::unordered_map<std::string, std::uint32_t> ticker_numbers_;
    std::unordered_map<std::uint64_t, std::uint32_t> seen_; // (ticker, date, time) -> line
    std::vector<TickerOrder> order_;                        // by ticker
    std::uint32_t last_ticker_ = 0;
};

bool read_lines(LineSource& source, std::string_view file_name, const QuoteTextOptions& options,
                QuoteText& out, TextRefusal& refusal) {
    out = QuoteText{};
    Reader reader(file_name, options, out, refusal);
    std::string_view line;
    for (;;) {
        switch (source.next(line)) {
        case LineSource::Next::Failed:
            return reader.refuse(source.line_number(), 0, source.reason());
        case LineSource::Next::End:
            return reader.finish();
        case LineSource::Next::Line:
            if (!reader.line(line, source.line_number()))
                return false;
            if (reader.done())
                return reader.finish();
            break;
        }
    }
}

bool open_text(const std::filesystem::path& file, fileops::File& opened, TextRefusal& refusal) {
    opened = fileops::open_read(file);
    if (opened.is_open())
        return true;
    refusal = {file.string(), 0, 0, "cannot be opened (" + system_reason(errno) + ")"};
    return false;
}

} // namespace

int text_value_index(TextColumn column) {
    return column >= TextColumn::Open ? static_cast<int>(column) - static_cast<int>(TextColumn::Open) : -1;
}

const char* text_column_name(TextColumn column) {
    static constexpr const char* kNames[] = {"skip", "ticker", "name",  "date", "time", "open",
                                             "high", "low",    "close", "vol",  "oi"};
    const auto index = static_cast<std::size_t>(column);
    return index < std::size(kNames) ? kNames[index] : "skip";
}

bool text_columns_parse(std::string_view text, std::vector<TextColumn>& columns, std::string& error) {
    columns.clear();
    std::size_t pos = 0;
    for (;;) {
        const std::size_t comma = std::min(text.find(',', pos), text.size());
        const std::string_view item = trim_blanks(text.substr(pos, comma - pos));
        const std::optional<TextColumn> column = column_named(item);
        if (!column) {
            error = "unknown column " + quoted(item);
            return false;
        }
        columns.push_back(*column);
        if (comma == text.size())
            break;
        pos = comma + 1;
    }
    error = columns_problem(columns);
    return error.empty();
}

bool QuoteText::has_value(int value_index) const {
    return std::any_of(columns.begin(), columns.end(),
                       [value_index](TextColumn column) { return text_value_index(column) == value_index; });
}

std::string TextRefusal::text() const {
    std::string out = file;
    if (line != 0)
        out += ", line " + std::to_string(line);
    if (column != 0)
        out += ", column " + std::to_string(column);
    return out + ": " + reason;
}

bool quote_text_read(const std::filesystem::path& file, const QuoteTextOptions& options, QuoteText& out,
                     TextRefusal& refusal) {
    fileops::File opened;
    if (!open_text(file, opened, refusal)) {
        out = QuoteText{};
        return false;
    }
    LineSource source(opened);
    return read_lines(source, file.string(), options, out, refusal);
}

bool quote_text_parse(std::string_view text, std::string_view file_name, const QuoteTextOptions& options,
                      QuoteText& out, TextRefusal& refusal) {
    LineSource source(text);
    return read_lines(source, file_name, options, out, refusal);
}

bool quote_text_preview(const std::filesystem::path& file, const QuoteTextOptions& options,
                        std::size_t max_lines, TextPreview& out, TextRefusal& refusal) {
    out = TextPreview{};
    fileops::File opened;
    if (!open_text(file, opened, refusal))
        return false;
    LineSource source(opened);
    std::vector<std::string_view> cells;
    bool started = false;
    std::string_view line;
    while (out.rows.size() < max_lines) {
        const LineSource::Next next = source.next(line);
        if (next == LineSource::Next::End)
            break;
        if (next == LineSource::Next::Failed) {
            refusal = {file.string(), source.line_number(), 0, source.reason()};
            return false;
        }
        if (is_blank_line(line))
            continue;
        if (!started)
            out.delimiter = detect_delimiter(line);
        split_cells(line, out.delimiter, cells);
        if (std::all_of(cells.begin(), cells.end(), [](std::string_view cell) { return cell.empty(); }))
            continue;
        if (!started) {
            started = true;
            const bool header = is_header(cells);
            out.columns = !options.columns.empty() ? options.columns
                          : header                 ? header_columns(cells, nullptr)
                                                   : export_columns(cells);
            if (header) {
                out.header.assign(cells.begin(), cells.end());
                continue;
            }
        }
        out.rows.emplace_back(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(
                                                                 used_cells(cells, out.columns.size())));
        out.row_lines.push_back(source.line_number());
    }
    return true;
}
