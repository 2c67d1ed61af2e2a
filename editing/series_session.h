// One open series: a security of a portfolio, looked up once, with its layout and every quote read as
// values, and the state of each file it was read from. The commands on quotes act on a session and on
// values (a quote's position, date and time), so that a command locates and checks once, then writes.
//
// A session notices when another program changed its files since they were read (changed_on_disk): a
// command then writes nothing and says so, and the caller reads the series again. A command that wrote
// reads the series again itself, so the session always shows what is on disk after it.
#pragma once

#include "common/command_result.h"
#include "common/quote_values.h"
#include "storage/fileops.h"
#include "storage/quotes.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace editing {

// Which of the six value fields (Open, High, Low, Close, Volume, Open Interest) the series has.
using PresentFields = std::array<bool, 6>;

// A quote named by its values: its position in the file (0 = the oldest; -1 = named by date and time
// alone), and its date and time of day (the time counts only in a series that has one).
struct QuoteRef {
    std::int32_t bar = -1;
    DayNumber date = 0;
    TimeOfDay time = 0;
};

// The refusal of a command whose series changed on disk since the session read it.
inline constexpr const char* kChangedByAnotherProgram =
    "The quotes of %s were changed by another program since Quorbit read them.\nNothing was written; "
    "the quotes are read again.";

class SeriesSession {
public:
    // Opens the security `symbol` of the portfolio at `dir`: looks it up once, reads its layout and every
    // quote, and notes the state of the files read. `observer` sees the quotes as they are read (newest
    // first, a window at a time). The result is quote_values_read's: "Error in FillQuotesGrid" or "Too
    // many bars" on failure, the quotes read before the failure then kept.
    QuoteValuesRead open(const std::filesystem::path& dir, std::string_view symbol,
                         const QuoteReadSink* observer = nullptr);
    // Reads the same series again.
    QuoteValuesRead reload(const QuoteReadSink* observer = nullptr);
    void close();

    // The security was found and its header read; when not, open_status() says why: the status of the
    // look-up (locate_status(), with the errno of a file operation that failed), or of the header read.
    bool located() const { return located_; }
    int open_status() const { return locate_status_ != 0 ? locate_status_ : header_status_; }
    int locate_status() const { return locate_status_; }
    int locate_error() const { return locate_error_; }
    const std::filesystem::path& dir() const { return dir_; }
    const std::string& symbol() const { return symbol_; }
    // The portfolio's MASTER file as named on disk.
    const std::filesystem::path& master_path() const { return master_path_; }
    const SeriesLocation& location() const { return location_; }
    const PresentFields& present_fields() const { return present_; }
    bool has_time() const { return has_time_; }
    // The quotes the header announces.
    std::int32_t quote_count() const { return quote_count_; }
    // The quotes read, newest first (the quote list's order); fewer than quote_count after a failed read.
    const std::vector<QuoteRowValues>& rows() const { return rows_; }
    // Quote `bar` (0 = the oldest), null when it was not read.
    const QuoteRowValues* quote(std::int32_t bar) const;
    // The position (0 = the oldest) of the quote of row `row` of the quote list (0 = the newest).
    std::int32_t bar_of_row(int row) const { return quote_count_ - 1 - row; }
    // The quote list's row of the quote at position `bar`.
    int row_of_bar(std::int32_t bar) const { return quote_count_ - 1 - bar; }
    // The reference of the quote shown in row `row`; bar -1 when no such row was read.
    QuoteRef ref_of_row(int row) const;
    DayNumber first_date() const { return first_date_; }
    DayNumber last_date() const { return last_date_; }
    // What the last reading gave: its failure message, if any, and the count and dates it found.
    const QuoteValuesRead& last_read() const { return read_; }
    // How many times the session was read, counting from 1: a caller that shows the quotes tells by it
    // whether a command read them again.
    std::uint64_t reads() const { return reads_; }

    // True when a file the session was read from (MASTER, EMASTER, XMASTER, the quote file and the
    // field file) changed, appeared or went away since.
    bool changed_on_disk() const;
    // The refusal of a command on a series changed on disk, naming the security.
    CommandResult changed_refusal() const;

private:
    struct FileStamp {
        std::filesystem::path path;
        fileops::FileStat state;
    };
    void stamp(const std::filesystem::path& path);

    std::filesystem::path dir_;
    std::filesystem::path master_path_;
    std::string symbol_;
    bool located_ = false;
    int locate_status_ = 0;
    int locate_error_ = 0;
    int header_status_ = 0;
    SeriesLocation location_;
    PresentFields present_{};
    bool has_time_ = false;
    std::int32_t quote_count_ = 0;
    std::vector<QuoteRowValues> rows_;
    DayNumber first_date_ = 0;
    DayNumber last_date_ = 0;
    std::vector<FileStamp> stamps_;
    QuoteValuesRead read_;
    std::uint64_t reads_ = 0;
};

} // namespace editing
