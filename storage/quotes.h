// Quote files: F<n>.DAT (fixed-length records of MBF singles; record 1 the header, bytes 2-3 = R, the
// last record number, so R - 1 bars) and F<n>.DOP (one line per field: "NAME",input,display).
#pragma once

#include "storage/dates.h"
#include "storage/master.h"
#include "storage/status.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fileops {
class File;
}

// The eight field names, always in this order.
enum FieldIndex : int {
    kFieldDate = 0,
    kFieldTime,
    kFieldOpen,
    kFieldHigh,
    kFieldLow,
    kFieldClose,
    kFieldVol,
    kFieldOi
};
constexpr int kFieldNames = 8;
const char* field_name(int field); // "DATE", "TIME", ...

constexpr float FIELD_ABSENT = -1.0f;
constexpr int kMaxRecordLength = 76; // 19 fields
constexpr int kMaxFields = 19;
constexpr int kMaxReadAll = 16000; // a negative count reads at most this many bars

struct FieldLayout {
    std::int16_t position[kFieldNames] = {};     // 1-based field number in a bar; 0 = absent
    std::int16_t input_code[kFieldNames] = {};   // 0 when inferred
    std::int16_t display_code[kFieldNames] = {}; // 0 when inferred
};

// One column of a window of bars: element i is element stride * i + offset of data.
struct BarColumn {
    void* data = nullptr;
    std::int16_t count = 0;
    std::int16_t stride = 0; // in elements
    std::int16_t offset = 0; // in elements
};

constexpr int kSeriesHeaderSize = 101;
constexpr int kSeriesFactsSize = 636;

// A window of bars of one security. Columns 0 (DATE) and 1 (TIME) hold 32-bit DayNumber / TimeOfDay
// elements (the time to the second, as stored), columns 2-7 IEEE singles. Memory is owned by the object.
struct QuoteSeries {
    BarColumn columns[kFieldNames];
    std::string directory; // where the security was found
    std::string key;       // symbol key it was read with
    std::int16_t count = 0;
    std::int16_t capacity = 0;
    std::int32_t total = 0; // bars in the file (R - 1), set by every read
    std::uint16_t header_capacity = 0;
    std::unique_ptr<std::uint8_t[]> header; // SeriesHeader (101 bytes) of the last read
    // The field layout of the last read, taken from its header block; all zero when there is none.
    FieldLayout header_layout() const;

    // Owned storage: one interleaved block (capacity up to 2321) or seven arrays.
    std::unique_ptr<std::uint8_t[]> block;
    std::unique_ptr<std::uint8_t[]> arrays[7];

    // Element i of a column (0 outside the capacity or for a field that is no value). Defined here:
    // searches and lists call them for every bar.
    DayNumber date(int i) const {
        DayNumber d = 0;
        if (holds(i))
            std::memcpy(&d, element(kFieldDate, i, 4), 4);
        return d;
    }
    TimeOfDay time(int i) const {
        TimeOfDay t = 0;
        if (holds(i))
            std::memcpy(&t, element(kFieldTime, i, 4), 4);
        return t;
    }
    float value(int field, int i) const { // field kFieldOpen..kFieldOi
        float v = 0.0f;
        if (field >= kFieldOpen && field < kFieldNames && holds(i))
            std::memcpy(&v, element(field, i, 4), 4);
        return v;
    }
    void set_date(int i, DayNumber d);
    void set_time(int i, TimeOfDay t);
    void set_value(int field, int i, float v);

private:
    bool holds(int i) const { return columns[0].data != nullptr && i >= 0 && i < capacity; }
    // Address of element i of a column whose elements are `width` bytes wide.
    std::uint8_t* element(int field, int i, int width) const {
        const BarColumn& column = columns[field];
        return static_cast<std::uint8_t*>(column.data) +
               static_cast<std::ptrdiff_t>(column.stride * i + column.offset) * width;
    }
};

StatusCode series_alloc(QuoteSeries& series, std::int16_t capacity);
StatusCode series_free(QuoteSeries& series);
StatusCode series_set_count(QuoteSeries& series, std::int16_t n);

// Reads the field layout from F<n>.DOP, or infers it from the record length when the file is missing.
// `periodicity` (the MASTER letter) tells intra-day 28-byte records apart. Names are matched by prefix
// ignoring case; a line that names no field takes no position; CR LF and a 0x1A end mark are fine.
// 0; -100 for a record length with no known layout (or a 20-byte file whose F<n>.DAT cannot be
// opened); -2 / -4 when F<n>.DOP exists but cannot be opened / read (it is never guessed at then).
StatusCode dop_read(const std::filesystem::path& dop_path, std::int16_t positions[8],
                    std::int16_t input_codes[8], std::int16_t display_codes[8], int record_length,
                    char periodicity = 'D');
StatusCode dop_read_layout(const std::filesystem::path& dop_path, FieldLayout& layout, int record_length,
                           char periodicity = 'D');
// One line of F<n>.DOP: the field's name in quotes, its input and its display code, and CR LF.
std::string dop_line(int field, int input_code, int display_code);

// A complete F<n>.DAT for a new security: the header record (bytes 2-3 hold R, the number of bars + 1;
// every other byte zero) and one record per bar of 4 x `field_count` bytes, each value (in field order,
// dates as YYMMDD, times as HHMMSS) an MBF single. Values beyond `field_count` are ignored.
std::vector<std::uint8_t> series_file_image(int field_count, const std::vector<std::vector<float>>& bars);

// Bars start .. start + count - 1 (count 0: total, directory, key and header block only; a negative
// count: the rest, at most kMaxReadAll; a negative start: the last count bars), with one seek and one
// read. total is the number of bars the file really holds. 0; -8 / -100 / -2 / -4 from the lookup and
// the layout; -16 for a damaged shape or R below 1; -9 when start is beyond the last bar (bars kept);
// -4 when the window cannot be read; -3 when the header block cannot be had.
StatusCode series_read(QuoteSeries& series, const std::filesystem::path& dir, std::string_view key,
                       std::int32_t start, std::int16_t count);
// The index of the first bar whose (date, time) is not below the target (time counts, to the second,
// only when the layout has TIME), with that bar's date and time in the out values; -9 when every bar is
// earlier (out values: the last bar); -4 when the file has no bars or a probe cannot be read; statuses as
// above.
std::int32_t series_find_date(const std::filesystem::path& dir, std::string_view key, DayNumber date,
                              TimeOfDay time, DayNumber* found_date = nullptr,
                              TimeOfDay* found_time = nullptr);

// ---- Shared by the readers and the rewrite ------------------------------------------------------

// A security located in its portfolio: its MASTER record (dates IEEE), the directory it was found in
// and its field layout, already checked against the record's shape.
struct SeriesLocation {
    MasterRecord record;
    std::filesystem::path dir;
    FieldLayout layout;
    // F<n>.DAT (.MWD) as named on disk when the security was located, so that reading window after
    // window does not look for its name again; empty: looked up at each read.
    std::filesystem::path data_file;
    std::filesystem::path file(std::string_view extension) const; // F<n>.<extension>, existing case
    // Asks the reads of this location to keep F<n>.DAT open from the first to the last (for a reader of
    // window after window, which then opens it once); copies of the location share it. Only for a
    // reader: a file kept open cannot be replaced on every host.
    void keep_data_open();
    std::shared_ptr<fileops::File> kept_data;
};

// master_find, dop_read and series_check_shape in one step.
StatusCode series_locate(const std::filesystem::path& dir, std::string_view key, SeriesLocation& location);
// series_read of a security already located (by series_locate with the same key): the same result
// without looking it up in MASTER and F<n>.DOP again, for a caller that reads a long history window
// after window. F<n>.DAT is opened afresh for every call unless the location keeps it open; its header
// is read again at every call either way.
StatusCode series_read_at(QuoteSeries& series, const SeriesLocation& location, std::string_view key,
                          std::int32_t start, std::int16_t count);

// ---- Whole series, for an operation over many securities --------------------------------------

// The stored records of every bar of a security, read with one open of F<n>.DAT and one read, for a
// reader that looks at one field of every bar and at whole bars only where it needs them (the split
// search), or turns them all into bars once (the data check). Keep one for a whole operation: its
// buffers are used again from one security to the next.
struct SeriesRecords {
    std::int32_t total = 0; // the bars the file holds, as series_read_at's total
    std::int32_t bars = 0;  // the complete bars read: total, unless the file ended early
    int length = 0;         // bytes a record
    FieldLayout layout;
    // The stored record of bar `bar` (0 the oldest), for bar < bars.
    const std::uint8_t* record(std::int32_t bar) const {
        return bytes.get() + (static_cast<std::size_t>(bar) + 1) * static_cast<std::size_t>(length);
    }

    // Owned storage, grown as needed: the file as read (the header record first), and what
    // series_records_bars converts.
    std::unique_ptr<std::uint8_t[]> bytes, scratch;
    std::size_t bytes_capacity = 0, scratch_capacity = 0;
};
// Reads every bar of a located security: one open, one stat, one read. 0; -2 / -4 / -16 as
// series_read_at, -3 when memory is short.
StatusCode series_read_records(const SeriesLocation& at, SeriesRecords& records);
// One field (kFieldOpen..kFieldOi) of every bar read into out[0 .. bars - 1], each value exactly as a
// window's column holds it (FIELD_ABSENT where the layout lacks the field).
void series_records_values(const SeriesRecords& records, int field, float* out);
// Bars first .. first + n - 1 of the records into `series`, whose count becomes n: the bars
// series_read_at stores for them (the header facts are not touched). -3 when n exceeds the capacity
// or memory is short, -9 when the bars were not read.
StatusCode series_records_bars(SeriesRecords& records, std::int32_t first, std::int32_t n,
                               QuoteSeries& series);

// -16 for a record length of 0, above 76 or not 4 x the field count, a field count of 0 or above 19,
// a layout position beyond the field count, or a layout without DATE; otherwise 0.
StatusCode series_check_shape(int record_length, int field_count, const FieldLayout& layout);

// The bars a file really holds: R - 1, but never more than the complete records after the header.
std::int32_t series_bars_present(std::int16_t last_record, std::uint64_t file_size, int record_length);

// The values of one field (kFieldOpen..kFieldOi) of bars 0 .. n - 1 into out[0 .. n - 1]; n is at most
// the count held.
void series_copy_values(const QuoteSeries& series, int field, int n, float* out);

// The date and time of one record as stored (MBF); time 0 when the layout has no TIME.
DayNumber record_date(const std::uint8_t* record, const FieldLayout& layout);
TimeOfDay record_time(const std::uint8_t* record, const FieldLayout& layout);

// Lower-bound search over bars ordered by (date, time): the index of the first bar whose key is not
// below the target, `count` when there is none. `key_at(i, date, time)` returns false on a read error,
// which ends the search with -1. `found_*` receive the key of the bar at the result, or of the last
// bar when the result is `count`. Always ends: at most log2(count) + 1 probes.
template <typename KeyAt>
std::int32_t series_lower_bound(std::int32_t count, DayNumber date, TimeOfDay time, KeyAt key_at,
                                DayNumber& found_date, TimeOfDay& found_time) {
    std::int32_t lo = 0, hi = count;
    while (lo < hi) {
        std::int32_t mid = lo + (hi - lo) / 2;
        DayNumber d = 0;
        TimeOfDay t = 0;
        if (!key_at(mid, d, t))
            return -1;
        bool below = d < date || (d == date && t < time);
        if (below) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
        // The bar at the final index is always one of the probes: keep the key of the one that set the
        // bound, and of the last bar when the target lies beyond every bar.
        if (!below || lo == count) {
            found_date = d;
            found_time = t;
        }
    }
    return lo;
}

// The description block of one security, 636 bytes.
struct SeriesFacts {
    // Where each item stands in the block.
    static constexpr int kPath = 0; // the directory passed in, text
    static constexpr int kPathBytes = 300;
    static constexpr int kFileNumber = 300; // one byte each: file number, record length, fields
    static constexpr int kRecordLength = 301;
    static constexpr int kFieldCount = 302;
    static constexpr int kBarCount = 303;  // int16
    static constexpr int kName = 305;      // the 16 name bytes of the record
    static constexpr int kFirstDate = 322; // IEEE single, YYMMDD
    static constexpr int kLastDate = 326;
    static constexpr int kPeriodicity = 330;  // "D Daily" or "ERROR"
    static constexpr int kSymbol = 347;       // the 16 symbol bytes of the record
    static constexpr int kInputFormats = 364; // eight texts of kFormatBytes, field order
    static constexpr int kDisplayFormats = 500;
    static constexpr int kTextBytes = 16;
    static constexpr int kFormatBytes = 17;

    std::uint8_t bytes[kSeriesFactsSize] = {};
    // Beyond the block, for a security listed in XMASTER: its number (which the one byte cannot hold)
    // and its name in full.
    int extended_number = 0;
    std::string long_name;

    // The items of the block. Texts end at their first NUL byte.
    std::string path() const;
    int file_number() const;
    int record_length() const;
    int field_count() const;
    int bar_count() const;
    std::string name() const;        // the 16 name bytes as stored
    float first_date() const;        // YYMMDD
    float last_date() const;         // YYMMDD
    std::string data_format() const; // "D Daily" or "ERROR"
    std::string symbol() const;      // the 16 symbol bytes as stored
    // Names of the input and display format codes of a field; empty when the series lacks the field.
    std::string input_format(int field) const;
    std::string display_format(int field) const;

private:
    std::string text_at(int offset, int size) const;
    float float_at(int offset) const;
};
// 0 on success, 1 when the security, its layout or its F<n>.DAT cannot be found or opened.
int series_describe(const std::filesystem::path& dir, std::string_view key, SeriesFacts& facts);
