// Quotes read from text: every input form, each refusal with its exact text, files read in blocks
// (binary files, long lines, read failures), the program's own export read back, and shortest float
// texts read back bit for bit.
#include "analysis/quote_text.h"

#include "analysis/export.h"
#include "common/value_format.h"
#include "storage/mbf.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

std::string float_text(float value) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// A quote as one line: "YYYY-MM-DD[ HH:MM:SS][ TICKER] open high low close vol oi", "-" for a value not
// given (whose value must be 0).
std::string describe(const QuoteText& text, const TextQuote& quote) {
    int year = 0, month = 0, day = 0;
    date_unpack(quote.date, year, month, day);
    char date[48];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", year + 1900, month, day);
    std::string out = date;
    out += text.has_time() ? " " + quote_time_text(quote.time) : "";
    out += quote.ticker < text.tickers.size() && !text.tickers[quote.ticker].empty()
               ? " " + text.tickers[quote.ticker]
               : "";
    for (int v = 0; v < kTextValues; ++v) {
        const float value = quote.values[static_cast<std::size_t>(v)];
        const bool given = (quote.given >> v) & 1;
        out += " " + (given ? float_text(value) : value == 0.0f ? "-" : "unset but " + float_text(value));
    }
    return out;
}

std::vector<std::string> describe_all(const QuoteText& text) {
    std::vector<std::string> lines;
    for (const TextQuote& quote : text.quotes)
        lines.push_back(describe(text, quote));
    return lines;
}

std::vector<TextColumn> columns_of(std::string_view names) {
    std::vector<TextColumn> columns;
    std::string error;
    EXPECT_TRUE(text_columns_parse(names, columns, error)) << error;
    return columns;
}

// The refusal's text, or "read" when the text was read.
std::string refusal_of(std::string_view text, const QuoteTextOptions& options = {}) {
    QuoteText out;
    TextRefusal refusal;
    return quote_text_parse(text, "q.csv", options, out, refusal) ? "read" : refusal.text();
}

QuoteTextOptions with_columns(std::string_view names, bool day_first = false) {
    QuoteTextOptions options;
    options.columns = columns_of(names);
    options.day_first = day_first;
    return options;
}

} // namespace

TEST(QuoteText, ReadsEveryForm) {
    // What was read in one text: the columns, "header" when the first line named them, the delimiter,
    // the notes, then each quote as describe() writes it.
    const auto summary = [](const QuoteText& text) {
        std::string out;
        for (TextColumn column : text.columns)
            out += std::string(out.empty() ? "" : ",") + text_column_name(column);
        out += std::string(text.header ? " header '" : " '") + text.delimiter + "'";
        for (const std::string& note : text.notes)
            out += "\n" + note;
        for (const std::string& line : describe_all(text))
            out += "\n" + line;
        return out;
    };
    const std::tuple<std::string, QuoteTextOptions, std::string> cases[] = {
        {"DATE,OPEN,HIGH,LOW,CLOSE,VOL,OI\n01/05/24,10.5000,11.0000,10.0000,10.7500,12000.00,N/A\n"
         "12/31/1959,1.0000,2.0000,0.5000,1.5000,0.00,3.00\n",
         {},
         "date,open,high,low,close,vol,oi header ','\n2024-01-05 10.5 11 10 10.75 12000 -\n"
         "1959-12-31 1 2 0.5 1.5 0 3"},
        {"DATE Time OPEN HIGH LOW CLOSE VOL OI\n05/06/11 10:38:39 50.0000 50.5000 49.7500 50.2500 700.00 "
         "0.00\n",
         {},
         "date,time,open,high,low,close,vol,oi header ' '\n2011-05-06 10:38:39 50 50.5 49.75 50.25 700 0"},
        {"05/06/11\t10:38:39\t50.0000\t50.5000\t49.7500\t50.2500\t700.00\tN/A\n",
         {},
         "date,time,open,high,low,close,vol,oi '\t'\n2011-05-06 10:38:39 50 50.5 49.75 50.25 700 -"},
        {"01/02/98 12.5000 12.7500 12.2500 12.6250 15300.00 5.00\r\n",
         {},
         "date,open,high,low,close,vol,oi ' '\n1998-01-02 12.5 12.75 12.25 12.625 15300 5"},
        {"Date,Open,High,Low,Close,Adj Close,Volume\n2024-01-05,10.5,11,10,10.75,10.69,12000\n"
         "2024-01-04,10,10.5,9.5,10.25,10.2,9000\n",
         {},
         "date,open,high,low,close,skip,vol header ','\ncolumn 6, \"Adj Close\", is not read\n"
         "2024-01-05 10.5 11 10 10.75 12000 -\n2024-01-04 10 10.5 9.5 10.25 9000 -"},
        {"<TICKER>,<PER>,<DTYYYYMMDD>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
         "AAPL,D,20240105,000000,181.99,182.76,180.17,181.18,62303300,0\n"
         "MSFT,D,20240105,000000,368.97,372.06,366.5,367.75,20987000,0\n"
         "AAPL,D,20240108,000000,182.09,185.6,181.5,185.56,59144500,0\n",
         {},
         "ticker,skip,date,time,open,high,low,close,vol,oi header ','\ncolumn 2, \"<PER>\", is not read\n"
         "2024-01-05 00:00:00 AAPL 181.99 182.76 180.17 181.18 62303300 0\n"
         "2024-01-05 00:00:00 MSFT 368.97 372.06 366.5 367.75 20987000 0\n"
         "2024-01-08 00:00:00 AAPL 182.09 185.6 181.5 185.56 59144500 0"},
        {"\"DATE\";\"Symbol\";\"close\";\"VOLUME\";\"Open Interest\"\n"
         "\"05/01/2024\"; \"BMW.DE\" ;\"98.5\";\"\";\"7\"\n31.12.99;BMW.DE;97.25;1500;n/a\n",
         {.columns = {}, .day_first = true},
         "date,ticker,close,vol,oi header ';'\n2024-01-05 BMW.DE - - - 98.5 - 7\n"
         "1999-12-31 BMW.DE - - - 97.25 1500 -"},
        {"\xEF\xBB\xBF"
         "date\ttime\topen\thigh\tlow\tclose\tvol\r\n\r\n20240105\t0930\t1\t2\t0.5\t1.5\t100\r\n"
         "  \t \r\n20240105\t93001\t1\t2\t0.5\t1.5\t100\r\n\x1A",
         {},
         "date,time,open,high,low,close,vol header '\t'\n2024-01-05 09:30:00 1 2 0.5 1.5 100 -\n"
         "2024-01-05 09:30:01 1 2 0.5 1.5 100 -"},
        {"  Date    Open   Close\n  20240105   1.5   2.5  \n 2024-01-04 1.25 2.25\x1A\x1A",
         {},
         "date,open,close header ' '\n2024-01-05 1.5 - - 2.5 - -\n2024-01-04 1.25 - - 2.25 - -"},
        {"20240105,1.5,2.5,\n,,,\n20240104,1.25,2.25,\n", with_columns("date,open,close"),
         "date,open,close ','\n2024-01-05 1.5 - - 2.5 - -\n2024-01-04 1.25 - - 2.25 - -"},
        {"Date,Price\n2024-01-05,3.5\n", with_columns("date,close"),
         "date,close header ','\n2024-01-05 - - - 3.5 - -"},
        // With the columns given, a first line of names in another language is the header row.
        {"Datum\tKurs\tUmsatz\n05.01.2024\t3,5\t100\n", with_columns("date,skip,vol", true),
         "date,skip,vol header '\t'\n2024-01-05 - - - - 100 -"},
        {"Date,Close\r\n", {}, "date,close header ','"},
        {"", {}, " ','"},
    };
    for (const auto& [text, options, expected] : cases) {
        QuoteText out;
        TextRefusal refusal;
        ASSERT_TRUE(quote_text_parse(text, "q.csv", options, out, refusal)) << refusal.text();
        EXPECT_EQ(summary(out), expected) << text;
        const std::vector<std::string> tickers = out.columns.size() == 10
                                                     ? std::vector<std::string>{"AAPL", "MSFT"}
                                                 : out.delimiter == ';' ? std::vector<std::string>{"BMW.DE"}
                                                                        : std::vector<std::string>{""};
        EXPECT_EQ(out.tickers, tickers);
    }
}

TEST(QuoteText, ReadsTheProgramsOwnExportBack) {
    TempDir dir;
    std::vector<SeriesBar> daily = random_series_bars(29, 700);
    daily[0].open = -1.0f; // "N/A" in the first row
    std::vector<SeriesBar> intraday = random_series_bars(30, 700, true);
    std::vector<SeriesBar> old =
        bars_on({date_pack(1928, 1, 3), date_pack(1959, 12, 31), date_pack(1960, 1, 4)});
    for (auto [bars, fields] :
         {std::pair{&daily, SeriesSpec{}.fields}, std::pair{&intraday, intraday_fields()},
          std::pair{&old, SeriesSpec{}.fields}}) {
        write_series_portfolio(dir.path(), {.fields = fields}, *bars);
        for (int delimiter : {0, 1, 2})
            for (bool title : {false, true}) {
                SCOPED_TRACE(std::to_string(delimiter) + (title ? " title " : " ") +
                             std::to_string(fields.size()));
                ExportOptions export_options;
                export_options.delimiter = delimiter;
                export_options.title = title;
                export_options.omit[kExportOi] = fields.size() == 7 && fields[1] == "TIME";
                ASSERT_TRUE(export_quotes(dir.path(), "IBM", dir / "out.txt", export_options).ok);
                QuoteTextOptions options;
                if (!title && export_options.omit[kExportOi]) { // omitted columns must be given
                    EXPECT_EQ(refusal_of(read_bytes(dir / "out.txt")),
                              "q.csv, line 1: the columns cannot be told from 7 values without a header row; "
                              "give the columns (--columns)");
                    options.columns = columns_of("date,time,open,high,low,close,vol");
                }
                QuoteText out;
                TextRefusal refusal;
                ASSERT_TRUE(quote_text_read(dir / "out.txt", options, out, refusal)) << refusal.text();
                EXPECT_EQ(out.header, title);
                EXPECT_EQ(out.delimiter, export_delimiter_char(delimiter));
                EXPECT_EQ(out.has_time(), fields[1] == "TIME");
                EXPECT_EQ(out.has_value(kExportOi), !export_options.omit[kExportOi]);
                ASSERT_EQ(out.quotes.size(), bars->size());
                for (std::size_t i = 0; i < bars->size(); ++i) {
                    const SeriesBar& bar = (*bars)[i];
                    const TextQuote& quote = out.quotes[i];
                    ASSERT_EQ(quote.date, bar.date) << i;
                    ASSERT_EQ(quote.time, bar.time) << i;
                    ASSERT_EQ(quote.line, i + 1 + (title ? 1 : 0));
                    const float values[] = {bar.open, bar.high, bar.low, bar.close, bar.vol, bar.oi};
                    for (int v = 0; v < kTextValues; ++v) {
                        const bool written = values[v] >= 0.0f && !export_options.omit[v];
                        ASSERT_EQ((quote.given >> v) & 1, written ? 1 : 0) << i << " " << v;
                        const float expected =
                            written ? std::strtof(format_fixed(values[v], v < 4 ? 4 : 2).c_str(), nullptr)
                                    : 0.0f;
                        ASSERT_EQ(quote.values[static_cast<std::size_t>(v)], expected) << i << " " << v;
                    }
                }
            }
    }
}

TEST(QuoteText, DatesAndTimes) {
    struct DateCase {
        const char* text;
        bool day_first;
        const char* expected; // YYYY-MM-DD, or the refusal's reason
    };
    const DateCase dates[] = {
        {"20240105", false, "2024-01-05"},
        {"2024-01-05", false, "2024-01-05"},
        {"01/05/2024", false, "2024-01-05"},
        {"01/05/24", false, "2024-01-05"},
        {"1/5/24", false, "2024-01-05"},
        {"12/31/59", false, "2059-12-31"},
        {"01/01/60", false, "1960-01-01"},
        {"05/01/2024", true, "2024-01-05"},
        {"05.01.24", true, "2024-01-05"},
        {"01/01/1900", false, "1900-01-01"},
        {"06/04/2140", false, "2140-06-04"},
        {"02/29/2024", false, "2024-02-29"},
        {"02/30/2021", false, "\"02/30/2021\" is no day of the calendar"},
        {"02/29/2023", false, "\"02/29/2023\" is no day of the calendar"},
        {"02/29/1900", false, "\"02/29/1900\" is no day of the calendar"},
        {"04/31/96", false, "\"04/31/96\" is no day of the calendar"},
        {"13/01/2024", false, "\"13/01/2024\" is no day of the calendar"},
        {"01/13/2024", true, "\"01/13/2024\" is no day of the calendar"},
        {"20240100", false, "\"20240100\" is no day of the calendar"},
        {"12/31/1899", false,
         "\"12/31/1899\" is outside the dates a quote file holds (1 January 1900 to 4 June 2140)"},
        {"21400605", false,
         "\"21400605\" is outside the dates a quote file holds (1 January 1900 to 4 June 2140)"},
        {"2024/1/5x", false, "\"2024/1/5x\" is not a date (MM/DD/YYYY, MM/DD/YY, YYYYMMDD or YYYY-MM-DD)"},
        {"01/05/202", false, "\"01/05/202\" is not a date (MM/DD/YYYY, MM/DD/YY, YYYYMMDD or YYYY-MM-DD)"},
        {"240105", false, "\"240105\" is not a date (MM/DD/YYYY, MM/DD/YY, YYYYMMDD or YYYY-MM-DD)"},
        {"x", true, "\"x\" is not a date (DD/MM/YYYY, DD/MM/YY, YYYYMMDD or YYYY-MM-DD)"},
        {"N/A", false, "the date is missing"},
    };
    for (const DateCase& c : dates) {
        QuoteText out;
        TextRefusal refusal;
        const bool read = quote_text_parse(std::string(c.text) + ",1\n", "d",
                                           with_columns("date,close", c.day_first), out, refusal);
        const std::string got = read ? describe(out, out.quotes.at(0)).substr(0, 10) : refusal.reason;
        EXPECT_EQ(got, c.expected) << c.text;
        EXPECT_EQ(read ? 0 : refusal.column, read ? 0 : 1);
    }
    const std::pair<const char*, const char*> times[] = {
        {"10:38:39", "10:38:39"},
        {"9:30", "09:30:00"},
        {"093000", "09:30:00"},
        {"1030", "10:30:00"},
        {"930", "09:30:00"},
        {"0", "00:00:00"},
        {"23:59:59", "23:59:59"},
        {"12345", "01:23:45"},
        {"24:00", ""},
        {"10:60", ""},
        {"10:30:60", ""},
        {"1:2", ""},
        {"10:30:", ""},
        {"1234567", ""},
        {"ab", ""},
        {"10.30", ""},
    };
    for (const auto& [text, expected] : times) {
        QuoteText out;
        TextRefusal refusal;
        const bool read = quote_text_parse(std::string("20240105,") + text + ",1\n", "t",
                                           with_columns("date,time,close"), out, refusal);
        const std::string reason =
            std::string("\"") + text + "\" is not a time of day (HH:MM:SS, HH:MM, HHMMSS or HHMM)";
        EXPECT_EQ(read ? quote_time_text(out.quotes.at(0).time) : refusal.reason,
                  *expected ? expected : reason)
            << text;
    }
}

TEST(QuoteText, RefusalsNameFileLineAndColumn) {
    const QuoteTextOptions dc = with_columns("date,close");
    const std::pair<std::string, std::string> cases[] = {
        {"Date,Close\n20240105,12.5\n20240108,12.5x\n", "q.csv, line 3, column 2: \"12.5x\" is not a number"},
        {"20240105,-1.5\n", "q.csv, line 1, column 2: \"-1.5\" is negative; values are 0 or more"},
        {"20240105,-1e39\n", "q.csv, line 1, column 2: \"-1e39\" is negative; values are 0 or more"},
        {"20240105,inf\n", "q.csv, line 1, column 2: \"inf\" is not a finite number"},
        {"20240105,nan\n", "q.csv, line 1, column 2: \"nan\" is not a finite number"},
        {"20240105,1e39\n", "q.csv, line 1, column 2: \"1e39\" is beyond what a quote file can hold"},
        {"20240105,3e38\n", "q.csv, line 1, column 2: \"3e38\" is beyond what a quote file can hold"},
        {"20240105,1e-40\n", "q.csv, line 1, column 2: \"1e-40\" is beyond what a quote file can hold"},
        {"20240105,+1\n", "q.csv, line 1, column 2: \"+1\" is not a number"},
        {"20240105,0x10\n", "q.csv, line 1, column 2: \"0x10\" is not a number"},
        {"20240105,1,5\n", "q.csv, line 1: the line has 3 values; the columns are 2"},
        {"20240105\n", "q.csv, line 1: the line has 1 value; the columns are 2"},
        {"\n\n20240105,1\n20240108,2\n20240105,3\n",
         "q.csv, line 5, column 1: a second quote for 01/05/24 (the first is on line 3)"},
        // Once out of order, every quote after is looked up too.
        {"20240102,1\n20240104,1\n20240103,1\n20240105,1\n20240105,2\n",
         "q.csv, line 5, column 1: a second quote for 01/05/24 (the first is on line 4)"},
        {"20240108,1\n20240105,1\n20240102,1\n20240105,2\n",
         "q.csv, line 4, column 1: a second quote for 01/05/24 (the first is on line 2)"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(refusal_of(text, dc), expected) << text;
    const std::pair<std::string, std::string> formed[] = {
        {"Date,Time,Close\n01/05/24,10:30,1\n01/05/24,10:31,1\n01/05/24,10:30:00,1\n",
         "q.csv, line 4, column 1: a second quote for 01/05/24 10:30:00 (the first is on line 2)"},
        {"Symbol,Date,Close\nA,20240105,1\nB,20240105,1\nA,20240105,2\n",
         "q.csv, line 4, column 2: a second quote of A for 01/05/24 (the first is on line 2)"},
        {"Symbol,Date,Close\nA,20240105,1\n,20240105,2\n", "q.csv, line 3, column 1: the ticker is missing"},
        {"Date,Time,Close\n01/05/24,,1\n", "q.csv, line 2, column 2: the time is missing"},
        {"Date,Close,Close\n", "q.csv, line 1, column 3: the column \"close\" is named twice"},
        {"01/05/24 1 2 3 4\n",
         "q.csv, line 1: the columns cannot be told from 5 values without a header row; give the columns "
         "(--columns)"},
        {"01/05/24 1 2 3 4 5 6 7\n",
         "q.csv, line 1: the columns cannot be told from 8 values without a header row; give the columns "
         "(--columns)"},
        {"Date,Close\n20240105,1\n2024" + std::string(1, '\0') + "0105,1\n",
         "q.csv, line 3: the line holds a NUL byte; this is not a text file"},
        {"Date,Close\n" + std::string(5 * 1024, '1') + "\n",
         "q.csv, line 2: the line is longer than 4096 bytes; this is not a quote text"},
    };
    for (const auto& [text, expected] : formed)
        EXPECT_EQ(refusal_of(text), expected) << text;
    // Out of order lines are kept in file order; the longest line taken is kMaxTextLine bytes before CR LF.
    EXPECT_EQ(refusal_of("20240108,1\n20240105,1\n", dc), "read");
    EXPECT_EQ(refusal_of("20240105," + std::string(kMaxTextLine - 10, '0') + "1\r\n", dc), "read");
    EXPECT_EQ(refusal_of("20240105," + std::string(kMaxTextLine - 9, '0') + "1\r\n", dc),
              "q.csv, line 1: the line is longer than 4096 bytes; this is not a quote text");
    QuoteTextOptions no_date;
    no_date.columns = {TextColumn::Close};
    EXPECT_EQ(refusal_of("1\n", no_date), "q.csv: the columns cannot be used: the date column is missing");
}

TEST(QuoteText, ColumnsParse) {
    using enum TextColumn;
    const std::tuple<const char*, std::vector<TextColumn>, const char*> cases[] = {
        {"date,open,high,low,close,vol", {Date, Open, High, Low, Close, Vol}, ""},
        {" Date , TIME,<CLOSE>,Volume,openint,-,skip,symbol",
         {Date, Time, Close, Vol, Oi, Skip, Skip, Ticker},
         ""},
        {"ticker,date,oi,open interest", {}, "column \"oi\" is named twice"},
        {"date,foo", {}, "unknown column \"foo\""},
        {"date,,close", {}, "unknown column \"\""},
        {"open,close", {}, "the date column is missing"},
        {"", {}, "unknown column \"\""},
    };
    for (const auto& [text, expected, error] : cases) {
        std::vector<TextColumn> columns;
        std::string why;
        EXPECT_EQ(text_columns_parse(text, columns, why), *error == '\0') << text;
        EXPECT_EQ(why, error) << text;
        if (*error == '\0') {
            EXPECT_EQ(columns, expected) << text;
        }
    }
    for (TextColumn column : {Skip, Ticker, Date, Time, Open, High, Low, Close, Vol, Oi}) {
        std::vector<TextColumn> columns;
        std::string why;
        // Each name reads back as its column (a second column beside the date column it needs).
        const std::string names = text_column_name(column) + std::string(column == Date ? "" : ",date");
        ASSERT_TRUE(text_columns_parse(names, columns, why)) << names;
        EXPECT_EQ(columns[0], column);
        EXPECT_EQ(text_value_index(column),
                  column >= Open ? static_cast<int>(column) - static_cast<int>(Open) : -1);
    }
}

TEST(QuoteText, ShortestFloatTextsReadBackBitIdentical) {
    // Every IEEE pattern a quote file holds, swept with a stride, and the ends of the range.
    std::vector<float> values = {0.0f, kMbfMax, std::bit_cast<float>(0x00800000u), 0.1f, 2e-38f, 99999.99f};
    const std::uint32_t last = std::bit_cast<std::uint32_t>(kMbfMax);
    for (std::uint32_t bits = 0x00800000u; bits <= last - 21011; bits += 21011)
        values.push_back(std::bit_cast<float>(bits));
    std::string text;
    for (std::size_t i = 0; i < values.size(); i += 6) {
        int year = 0, month = 0, day = 0;
        date_unpack(static_cast<DayNumber>(i / 6 / 24 + 1), year, month, day);
        char head[32];
        std::snprintf(head, sizeof head, "%04d%02d%02d %02zu:00:00", year + 1900, month, day, i / 6 % 24);
        text += head;
        for (std::size_t v = i; v < i + 6; ++v)
            text += " " + float_text(values[std::min(v, values.size() - 1)]);
        text += '\n';
    }
    QuoteText out;
    TextRefusal refusal;
    ASSERT_TRUE(quote_text_parse(text, "sweep", {}, out, refusal)) << refusal.text();
    ASSERT_EQ(out.quotes.size(), (values.size() + 5) / 6);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float back = out.quotes[i / 6].values[i % 6];
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(values[i]))
            << float_text(values[i]);
        ASSERT_TRUE(mbf_representable(back));
    }
}

TEST(QuoteText, ReadsFilesInBlocksAndRefusesJunkAtOnce) {
    TempDir dir;
    // 100,000 lines of two tickers, CR LF: read in blocks (the reads grow with the file, the quotes kept
    // are the only thing that grows with it; lines and CR LF pairs split between blocks), the same as the
    // text read from memory.
    std::string text = "Ticker,Date,Close,Vol\r\n";
    for (int i = 0; i < 100000; ++i) {
        int year = 0, month = 0, day = 0;
        date_unpack(static_cast<DayNumber>(1 + i / 2), year, month, day);
        char line[96];
        std::snprintf(line, sizeof line, "%s,%02d/%02d/%04d,%d.%02d,%d\r\n", i % 2 ? "MSFT" : "AAPL", month,
                      day, year + 1900, i % 977, i % 100, i);
        text += line;
    }
    write_bytes(dir / "big.csv", text);
    QuoteText from_file, from_memory;
    TextRefusal refusal;
    {
        FaultInjector counter;
        ASSERT_TRUE(quote_text_read(dir / "big.csv", {}, from_file, refusal)) << refusal.text();
        EXPECT_EQ(counter.calls(fileops::Op::Open), 1u);
        EXPECT_GE(counter.calls(fileops::Op::Read), text.size() / 8192);
        EXPECT_LE(counter.calls(fileops::Op::Read), text.size() / 4096 + 2);
    }
    ASSERT_TRUE(quote_text_parse(text, "big.csv", {}, from_memory, refusal));
    ASSERT_EQ(from_file.quotes.size(), 100000u);
    EXPECT_EQ(describe_all(from_file), describe_all(from_memory));
    EXPECT_EQ(describe(from_file, from_file.quotes.back()), "2097-11-22 MSFT - - - 345.99 99999 -");
    EXPECT_EQ(from_file.quotes.back().line, 100001u);
    EXPECT_EQ(from_file.tickers, (std::vector<std::string>{"AAPL", "MSFT"}));
    // A binary file and a file of one endless line are refused at their first bad line, after at most the
    // reads of one line (memory never grows with junk).
    std::string binary(1 << 20, '\0');
    std::mt19937 rng(7);
    for (char& c : binary)
        c = static_cast<char>(rng() % 8 ? rng() % 256 : '\n');
    binary[1] = '\0', binary[3] = '\n';
    write_bytes(dir / "binary.dat", binary);
    write_bytes(dir / "endless.txt", std::string(1 << 20, '7'));
    // A NUL byte after the most a line may have: too long, read in blocks or not.
    const std::string late_nul =
        "Date,Close\n" + std::string(kMaxTextLine + 10, '1') + '\0' + std::string(9000, '1');
    write_bytes(dir / "late_nul.txt", late_nul);
    EXPECT_EQ(refusal_of(late_nul),
              "q.csv, line 2: the line is longer than 4096 bytes; this is not a quote text");
    const std::pair<const char*, std::string> junk[] = {
        {"binary.dat", ", line 1: the line holds a NUL byte; this is not a text file"},
        {"endless.txt", ", line 1: the line is longer than 4096 bytes; this is not a quote text"},
        {"late_nul.txt", ", line 2: the line is longer than 4096 bytes; this is not a quote text"}};
    for (const auto& [name, reason] : junk) {
        FaultInjector counter;
        EXPECT_FALSE(quote_text_read(dir / name, {}, from_file, refusal));
        EXPECT_EQ(refusal.text(), (dir / name).string() + reason);
        EXPECT_LE(counter.calls(fileops::Op::Read), 1u);
        EXPECT_TRUE(from_file.quotes.empty());
    }
    // Failures of the file system name the file as a whole.
    {
        FaultInjector injector;
        injector.fail_nth(fileops::Op::Read, 3, EIO);
        EXPECT_FALSE(quote_text_read(dir / "big.csv", {}, from_file, refusal));
        EXPECT_EQ(refusal.text(), (dir / "big.csv").string() + ": cannot be read (Input/output error)");
    }
    EXPECT_FALSE(quote_text_read(dir / "missing.csv", {}, from_file, refusal));
    EXPECT_EQ(refusal.text(),
              (dir / "missing.csv").string() + ": cannot be opened (No such file or directory)");
    // A preview's reading stops at its quotes.
    QuoteTextOptions first_three;
    first_three.max_quotes = 3;
    ASSERT_TRUE(quote_text_read(dir / "big.csv", first_three, from_file, refusal));
    EXPECT_EQ(describe_all(from_file),
              (std::vector<std::string>{"1961-01-01 AAPL - - - 0 0 -", "1961-01-01 MSFT - - - 1.01 1 -",
                                        "1961-01-02 AAPL - - - 2.02 2 -"}));
}

TEST(QuoteTextPreview, ShowsTheHeaderAndFirstLinesAsRead) {
    TempDir dir;
    write_bytes(dir / "p.csv",
                "\xEF\xBB\xBF<TICKER>;<PER>;<DATE>;<CLOSE>\r\n\r\nA;D;20240105;1,5\r\nB;D;20240105;2\r\n"
                "C;D;20240105;3\r\n");
    write_bytes(dir / "own.txt", "01/05/24 1.0000 2.0000 0.5000 1.5000 100.00 N/A\n01/08/24 x\n");
    write_bytes(dir / "odd.txt", "01/05/24,1,2,3\n");
    write_bytes(dir / "bin.dat", std::string("Date,Close\n\x01\x02\0\x03", 15));
    using enum TextColumn;
    TextPreview preview;
    TextRefusal refusal;
    ASSERT_TRUE(quote_text_preview(dir / "p.csv", {}, 2, preview, refusal));
    EXPECT_EQ(preview.columns, (std::vector<TextColumn>{Ticker, Skip, Date, Close}));
    EXPECT_EQ(preview.header, (std::vector<std::string>{"<TICKER>", "<PER>", "<DATE>", "<CLOSE>"}));
    EXPECT_EQ(preview.rows, (std::vector<std::vector<std::string>>{{"A", "D", "20240105", "1,5"},
                                                                   {"B", "D", "20240105", "2"}}));
    EXPECT_EQ(preview.row_lines, (std::vector<std::uint32_t>{3, 4}));
    EXPECT_EQ(preview.delimiter, ';');
    ASSERT_TRUE(quote_text_preview(dir / "own.txt", {}, 10, preview, refusal));
    EXPECT_EQ(preview.columns, (std::vector<TextColumn>{Date, Open, High, Low, Close, Vol, Oi}));
    EXPECT_TRUE(preview.header.empty());
    EXPECT_EQ(preview.rows.size(), 2u); // shown as written, the unreadable line too
    EXPECT_EQ(preview.rows[1], (std::vector<std::string>{"01/08/24", "x"}));
    ASSERT_TRUE(quote_text_preview(dir / "odd.txt", {}, 10, preview, refusal));
    EXPECT_TRUE(preview.columns.empty()); // to be chosen
    ASSERT_TRUE(
        quote_text_preview(dir / "odd.txt", with_columns("date,open,close,vol"), 10, preview, refusal));
    EXPECT_EQ(preview.columns, (std::vector<TextColumn>{Date, Open, Close, Vol}));
    EXPECT_FALSE(quote_text_preview(dir / "bin.dat", {}, 10, preview, refusal));
    EXPECT_EQ(refusal.text(),
              (dir / "bin.dat").string() + ", line 2: the line holds a NUL byte; this is not a text file");
}
