// Windows of bars in memory, the reading of F<n>.DAT, the search by date and the facts of a security.
#include "storage/quotes.h"

#include "storage/bar_decoding.h"
#include "storage/directory.h"
#include "storage/fileops.h"
#include "storage/format_names.h"
#include "storage/mbf.h"
#include "storage/portfolio_files.h"
#include "storage/xmaster.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A bar in memory: the date, the time and six values, 4 bytes each.
constexpr int kBarBytes = 32;
// One interleaved block serves up to 2321 bars (65000 bytes at the 28 bytes a bar of 16-bit dates
// took); larger windows take seven arrays.
constexpr int kInterleavedMaxBars = 2321;

void store_day(std::uint8_t* p, DayNumber d) {
    std::memcpy(p, &d, sizeof d);
}

bool value_field(int field) {
    return field >= kFieldOpen && field < kFieldNames;
}

// Strides and offsets count 4-byte elements. The date and the time share the first 8 bytes of a bar
// (interleaved) or of an element of array 0.
void attach_interleaved(QuoteSeries& s) {
    for (int field = 0; field < kFieldNames; ++field) {
        BarColumn& c = s.columns[field];
        c.data = s.block.get();
        c.stride = static_cast<std::int16_t>(kBarBytes / 4);
        c.offset = static_cast<std::int16_t>(field);
    }
}

void attach_arrays(QuoteSeries& s) {
    for (int field = 0; field < kFieldNames; ++field) {
        BarColumn& c = s.columns[field];
        c.data = s.arrays[field < 2 ? 0 : field - 1].get();
        c.stride = static_cast<std::int16_t>(field < 2 ? 2 : 1);
        c.offset = static_cast<std::int16_t>(field == kFieldTime ? 1 : 0);
    }
}

std::unique_ptr<std::uint8_t[]> zeroed(std::size_t bytes) {
    std::unique_ptr<std::uint8_t[]> p(new (std::nothrow) std::uint8_t[bytes]());
    return p;
}

bool allocate_arrays(QuoteSeries& s, std::size_t capacity) {
    for (auto& array : s.arrays) {
        array = zeroed(capacity * (&array == &s.arrays[0] ? 8 : 4));
        if (!array)
            return false;
    }
    return true;
}

void put_i16(std::uint8_t* p, std::int16_t v) {
    store_le16(p, static_cast<std::uint16_t>(v));
}

// The 101-byte block: the MASTER record, then eight int16 each of positions, display codes and input
// codes.
constexpr int kHeaderPositions = kMasterRecordSize;
constexpr int kHeaderDisplayCodes = kHeaderPositions + 2 * kFieldNames;
constexpr int kHeaderInputCodes = kHeaderDisplayCodes + 2 * kFieldNames;

void fill_series_header(std::uint8_t* header, const SeriesLocation& at) {
    std::memcpy(header, at.record.bytes.data(), kMasterRecordSize);
    for (int field = 0; field < kFieldNames; ++field) {
        put_i16(header + kHeaderPositions + 2 * field, at.layout.position[field]);
        put_i16(header + kHeaderDisplayCodes + 2 * field, at.layout.display_code[field]);
        put_i16(header + kHeaderInputCodes + 2 * field, at.layout.input_code[field]);
    }
}

// An open F<n>.DAT with its header facts.
struct OpenSeries {
    fileops::File own;
    fileops::File* file = &own;   // `own`, or the file the location keeps open
    std::int16_t last_record = 0; // R
    std::int32_t bars = 0;        // bars really present
};

// F<n>.DAT opened (or the one the location keeps open), with R and the bars present read afresh.
StatusCode open_series(const SeriesLocation& at, OpenSeries& out) {
    if (at.kept_data && at.kept_data->is_open()) {
        out.file = at.kept_data.get();
    } else {
        const std::filesystem::path path = at.data_file.empty() ? at.file("DAT") : at.data_file;
        out.own = fileops::open_read(path);
        if (!out.own.is_open())
            return status::kFileOpen;
        if (at.kept_data) {
            *at.kept_data = std::move(out.own);
            out.file = at.kept_data.get();
        }
    }
    std::uint8_t head[4];
    if (!out.file->read_exact_at(0, head, sizeof head))
        return status::kFileRead;
    out.last_record = static_cast<std::int16_t>(load_le16(head + 2));
    if (out.last_record < 1)
        return status::kBadRecordShape;
    const fileops::FileStat st = out.file->stat();
    if (!st.exists)
        return status::kFileRead;
    out.bars = series_bars_present(out.last_record, st.size, at.record.record_length());
    return status::kOk;
}

// The security found for the key, with its F<n>.DAT open.
StatusCode locate_and_open(const std::filesystem::path& dir, std::string_view key, SeriesLocation& at,
                           OpenSeries& in) {
    StatusCode code = series_locate(dir, key, at);
    return code != status::kOk ? code : open_series(at, in);
}

// Bars start .. start + count - 1 with one seek and one read, converted in memory.
StatusCode read_window(QuoteSeries& s, OpenSeries& in, const SeriesLocation& at, std::int32_t start,
                       std::int32_t count) {
    const int length = at.record.record_length();
    std::int32_t wanted = std::min(count, in.bars - start);
    const std::size_t size = static_cast<std::size_t>(wanted) * length;
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[size]); // only read bytes are used
    if (!buffer)
        return status::kMalloc;
    long long got = in.file->read_some_at(static_cast<long long>(length) * (start + 1), buffer.get(), size);
    if (got < 0)
        return status::kFileRead; // a failing disk is not the end of the file
    // A file that ends early ends the window; the bars before its end stand.
    std::int32_t stored = std::min(static_cast<std::int32_t>(got / length), std::int32_t{s.capacity});
    if (s.columns[0].data != nullptr)
        store_bars(s, stored, buffer.get(), length, at.layout);
    return series_set_count(s, static_cast<std::int16_t>(stored));
}

void put_text(std::uint8_t* out, std::size_t room, std::string_view text) {
    std::memcpy(out, text.data(), std::min(room, text.size()));
}

std::string periodicity_text(char letter) {
    if (!periodicity_known(letter))
        return "ERROR";
    return std::string(1, letter) + " " + periodicity_name(letter);
}

void fill_facts(SeriesFacts& facts, const std::filesystem::path& dir, const SeriesLocation& at,
                std::int32_t bars) {
    using F = SeriesFacts;
    std::uint8_t* b = facts.bytes;
    std::memset(b, 0, kSeriesFactsSize);
    put_text(b + F::kPath, F::kPathBytes - 1, dir.string());
    const auto& r = at.record.bytes;
    b[F::kFileNumber] = r[0];
    b[F::kRecordLength] = r[3];
    b[F::kFieldCount] = r[4];
    put_i16(b + F::kBarCount, static_cast<std::int16_t>(bars));
    std::memcpy(b + F::kName, &r[7], F::kTextBytes);
    std::memcpy(b + F::kFirstDate, &r[25], 4);
    std::memcpy(b + F::kLastDate, &r[29], 4);
    put_text(b + F::kPeriodicity, F::kTextBytes, periodicity_text(at.record.periodicity()));
    std::memcpy(b + F::kSymbol, &r[36], F::kTextBytes);
    for (int field = 0; field < kFieldNames; ++field) {
        if (at.layout.position[field] == 0)
            continue;
        put_text(b + F::kInputFormats + F::kFormatBytes * field, F::kTextBytes,
                 format_code_name(at.layout.input_code[field]));
        put_text(b + F::kDisplayFormats + F::kFormatBytes * field, F::kTextBytes,
                 format_code_name(at.layout.display_code[field]));
    }
}

} // namespace

// ---- New files ----------------------------------------------------------------------------------

std::vector<std::uint8_t> series_file_image(int field_count, const std::vector<std::vector<float>>& bars) {
    const std::size_t length = 4 * static_cast<std::size_t>(std::max(field_count, 1));
    std::vector<std::uint8_t> out((bars.size() + 1) * length, 0);
    store_le16(out.data() + 2, static_cast<std::uint16_t>(bars.size() + 1));
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const std::size_t fields = std::min(bars[i].size(), static_cast<std::size_t>(field_count));
        for (std::size_t f = 0; f < fields; ++f)
            ieee_to_mbf(bars[i][f], out.data() + (i + 1) * length + 4 * f);
    }
    return out;
}

// ---- SeriesFacts --------------------------------------------------------------------------------

std::string SeriesFacts::text_at(int offset, int size) const {
    const char* start = reinterpret_cast<const char*>(bytes + offset);
    const void* nul = std::memchr(start, '\0', static_cast<std::size_t>(size));
    std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - start)
                             : static_cast<std::size_t>(size);
    return std::string(start, length);
}

float SeriesFacts::float_at(int offset) const {
    float value = 0.0f;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

std::string SeriesFacts::path() const {
    return text_at(kPath, kPathBytes);
}
int SeriesFacts::file_number() const {
    return extended_number != 0 ? extended_number : bytes[kFileNumber];
}
int SeriesFacts::record_length() const {
    return bytes[kRecordLength];
}
int SeriesFacts::field_count() const {
    return bytes[kFieldCount];
}
int SeriesFacts::bar_count() const {
    return static_cast<std::int16_t>(load_le16(bytes + kBarCount));
}
std::string SeriesFacts::name() const {
    return text_at(kName, kTextBytes);
}
float SeriesFacts::first_date() const {
    return float_at(kFirstDate);
}
float SeriesFacts::last_date() const {
    return float_at(kLastDate);
}
std::string SeriesFacts::data_format() const {
    return text_at(kPeriodicity, kFormatBytes);
}
std::string SeriesFacts::symbol() const {
    return text_at(kSymbol, kTextBytes);
}
std::string SeriesFacts::input_format(int field) const {
    return field >= 0 && field < kFieldNames ? text_at(kInputFormats + kFormatBytes * field, kFormatBytes)
                                             : "";
}
std::string SeriesFacts::display_format(int field) const {
    return field >= 0 && field < kFieldNames ? text_at(kDisplayFormats + kFormatBytes * field, kFormatBytes)
                                             : "";
}

// ---- QuoteSeries --------------------------------------------------------------------------------

FieldLayout QuoteSeries::header_layout() const {
    FieldLayout layout;
    if (!header)
        return layout;
    for (int field = 0; field < kFieldNames; ++field) {
        layout.position[field] =
            static_cast<std::int16_t>(load_le16(header.get() + kHeaderPositions + 2 * field));
        layout.display_code[field] =
            static_cast<std::int16_t>(load_le16(header.get() + kHeaderDisplayCodes + 2 * field));
        layout.input_code[field] =
            static_cast<std::int16_t>(load_le16(header.get() + kHeaderInputCodes + 2 * field));
    }
    return layout;
}

void QuoteSeries::set_date(int i, DayNumber d) {
    if (holds(i))
        store_day(element(kFieldDate, i, 4), d);
}

void QuoteSeries::set_time(int i, TimeOfDay t) {
    if (holds(i))
        std::memcpy(element(kFieldTime, i, 4), &t, 4);
}

void QuoteSeries::set_value(int field, int i, float v) {
    if (value_field(field) && holds(i))
        std::memcpy(element(field, i, 4), &v, 4);
}

StatusCode series_alloc(QuoteSeries& series, std::int16_t capacity) {
    series = QuoteSeries{};
    if (capacity < 0)
        return status::kInvalidParm;
    const std::size_t n = static_cast<std::size_t>(capacity);
    if (capacity > 0 && capacity <= kInterleavedMaxBars) {
        series.block = zeroed(n * kBarBytes);
        if (series.block)
            attach_interleaved(series);
    }
    if (capacity > 0 && !series.block) {
        if (!allocate_arrays(series, n)) {
            series = QuoteSeries{};
            return status::kMalloc;
        }
        attach_arrays(series);
    }
    series.capacity = capacity;
    return series_set_count(series, capacity);
}

StatusCode series_free(QuoteSeries& series) {
    series = QuoteSeries{};
    return status::kOk;
}

StatusCode series_set_count(QuoteSeries& series, std::int16_t n) {
    if (n > series.capacity)
        return status::kMalloc;
    if (n < 0)
        return status::kInvalidParm;
    series.count = n;
    for (BarColumn& column : series.columns)
        column.count = n;
    return status::kOk;
}

// ---- Shared helpers -----------------------------------------------------------------------------

void SeriesLocation::keep_data_open() {
    kept_data = std::make_shared<fileops::File>();
}

std::filesystem::path SeriesLocation::file(std::string_view extension) const {
    return portfolio_files::series_file(dir, record.file_number(), extension);
}

StatusCode series_check_shape(int record_length, int field_count, const FieldLayout& layout) {
    if (field_count <= 0 || field_count > kMaxFields || record_length != 4 * field_count)
        return status::kBadRecordShape;
    for (int field = 0; field < kFieldNames; ++field) {
        if (layout.position[field] < 0 || layout.position[field] > field_count)
            return status::kBadRecordShape;
    }
    return layout.position[kFieldDate] == 0 ? status::kBadRecordShape : status::kOk;
}

StatusCode series_locate(const std::filesystem::path& dir, std::string_view key, SeriesLocation& location) {
    StatusCode code = master_find(dir, key, location.record, location.dir);
    if (code != status::kOk)
        return code;
    code = dop_read_layout(location.file("DOP"), location.layout, location.record.record_length(),
                           location.record.periodicity());
    if (code != status::kOk)
        return code;
    location.data_file = location.file("DAT");
    return series_check_shape(location.record.record_length(), location.record.field_count(),
                              location.layout);
}

std::int32_t series_bars_present(std::int16_t last_record, std::uint64_t file_size, int record_length) {
    if (last_record < 1 || record_length <= 0 || file_size < static_cast<std::uint64_t>(record_length))
        return 0;
    std::uint64_t records_after_header = file_size / static_cast<std::uint64_t>(record_length) - 1;
    return static_cast<std::int32_t>(std::min<std::uint64_t>(last_record - 1, records_after_header));
}

DayNumber record_date(const std::uint8_t* record, const FieldLayout& layout) {
    int position = layout.position[kFieldDate];
    return position > 0 ? date_from_yymmdd(mbf_to_ieee(record + 4 * (position - 1))) : 0;
}

TimeOfDay record_time(const std::uint8_t* record, const FieldLayout& layout) {
    int position = layout.position[kFieldTime];
    return position > 0 ? time_of_day_from_hhmmss(mbf_to_ieee(record + 4 * (position - 1))) : 0;
}

void series_copy_values(const QuoteSeries& series, int field, int n, float* out) {
    if (!value_field(field) || series.columns[field].data == nullptr)
        return;
    const BarColumn& column = series.columns[field];
    const auto* in = static_cast<const std::uint8_t*>(column.data) + column.offset * 4;
    const std::ptrdiff_t step = column.stride * 4;
    n = std::clamp(n, 0, static_cast<int>(series.count));
    for (int i = 0; i < n; ++i)
        std::memcpy(out + i, in + i * step, 4);
}

// ---- Reading ------------------------------------------------------------------------------------

StatusCode series_read(QuoteSeries& series, const std::filesystem::path& dir, std::string_view key,
                       std::int32_t start, std::int16_t count) {
    SeriesLocation at;
    const StatusCode code = series_locate(dir, key, at);
    return code != status::kOk ? code : series_read_at(series, at, key, start, count);
}

StatusCode series_read_at(QuoteSeries& series, const SeriesLocation& at, std::string_view key,
                          std::int32_t start, std::int16_t count) {
    OpenSeries in;
    StatusCode code = open_series(at, in);
    if (code != status::kOk)
        return code;
    if (!series.header) {
        series.header = zeroed(kSeriesHeaderSize);
        if (!series.header) {
            series_free(series);
            return status::kMalloc;
        }
        series.header_capacity = kSeriesHeaderSize;
    }
    series.total = in.bars;
    series.directory = at.dir.string();
    series.key = std::string(key);
    fill_series_header(series.header.get(), at);
    if (count == 0)
        return status::kOk;

    std::int32_t wanted = count;
    if (wanted < 0) {
        std::int32_t rest = start > 0 ? in.bars - start : in.bars;
        wanted = std::min<std::int32_t>(rest, kMaxReadAll);
        if (wanted <= 0 && start <= 0)
            return series_set_count(series, 0); // an empty file holds nothing to read
    }
    wanted = std::min<std::int32_t>(wanted, series.capacity);
    if (wanted == 0)
        return series_set_count(series, 0); // a series without storage holds no bars
    if (start < 0)
        start = std::max<std::int32_t>(in.bars - wanted, 0);
    if (start > in.bars - 1)
        return status::kRecordNotFound;
    return read_window(series, in, at, start, wanted);
}

// ---- Whole series -------------------------------------------------------------------------------

namespace {

// A buffer of at least `size` bytes (what it held before is not kept when it grows).
bool room_for(std::unique_ptr<std::uint8_t[]>& buffer, std::size_t& capacity, std::size_t size) {
    if (capacity >= size)
        return true;
    buffer.reset(new (std::nothrow) std::uint8_t[size]); // only bytes read or copied in are used
    capacity = buffer ? size : 0;
    return buffer != nullptr;
}

} // namespace

void series_records_values(const SeriesRecords& records, int field, float* out) {
    const std::int32_t n = records.bars;
    if (!value_field(field) || n <= 0)
        return;
    const int position = records.layout.position[field];
    if (position <= 0) {
        std::fill_n(out, n, FIELD_ABSENT);
        return;
    }
    decode_field(records.record(0), n, records.length, position, out);
}

StatusCode series_records_bars(SeriesRecords& records, std::int32_t first, std::int32_t n,
                               QuoteSeries& series) {
    if (first < 0 || n < 0 || first > records.bars - n)
        return status::kRecordNotFound;
    if (n > series.capacity || series.columns[0].data == nullptr)
        return n == 0 ? series_set_count(series, 0) : status::kMalloc;
    const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(records.length);
    if (!room_for(records.scratch, records.scratch_capacity, size))
        return status::kMalloc;
    if (size > 0)
        std::memcpy(records.scratch.get(), records.record(first), size);
    store_bars(series, n, records.scratch.get(), records.length, records.layout);
    return series_set_count(series, static_cast<std::int16_t>(n));
}

StatusCode series_read_records(const SeriesLocation& at, SeriesRecords& records) {
    records.total = records.bars = 0;
    records.length = at.record.record_length();
    records.layout = at.layout;
    if (records.length <= 0)
        return status::kBadRecordShape;
    fileops::File own;
    fileops::File* file = &own;
    if (at.kept_data && at.kept_data->is_open()) {
        file = at.kept_data.get();
    } else {
        own = fileops::open_read(at.data_file.empty() ? at.file("DAT") : at.data_file);
        if (!own.is_open())
            return status::kFileOpen;
    }
    const fileops::FileStat st = file->stat();
    if (!st.exists)
        return status::kFileRead;
    // The header record and every bar in one read; R is below 32768, so nothing beyond that many records
    // can be a bar.
    const std::uint64_t most =
        static_cast<std::uint64_t>(INT16_MAX) * static_cast<std::uint64_t>(records.length);
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(st.size, most));
    if (!room_for(records.bytes, records.bytes_capacity, std::max<std::size_t>(size, 4)))
        return status::kMalloc;
    const long long got = file->read_some_at(0, records.bytes.get(), size);
    if (got < 4)
        return status::kFileRead;
    const auto last_record = static_cast<std::int16_t>(load_le16(records.bytes.get() + 2));
    if (last_record < 1)
        return status::kBadRecordShape;
    records.total = series_bars_present(last_record, st.size, records.length);
    // A file that ends early ends the bars read.
    records.bars = std::min<std::int32_t>(records.total, static_cast<std::int32_t>(got / records.length) - 1);
    records.bars = std::max<std::int32_t>(records.bars, 0);
    return status::kOk;
}

std::int32_t series_find_date(const std::filesystem::path& dir, std::string_view key, DayNumber date,
                              TimeOfDay time, DayNumber* found_date, TimeOfDay* found_time) {
    SeriesLocation at;
    OpenSeries in;
    StatusCode code = locate_and_open(dir, key, at, in);
    if (code != status::kOk)
        return code;
    if (in.bars == 0)
        return status::kFileRead; // nothing to probe
    const int length = at.record.record_length();
    std::vector<std::uint8_t> record(static_cast<std::size_t>(length));
    auto key_at = [&](std::int32_t i, DayNumber& d, TimeOfDay& t) {
        if (!in.file->read_exact_at(static_cast<long long>(length) * (i + 1), record.data(), record.size()))
            return false;
        d = record_date(record.data(), at.layout);
        t = record_time(record.data(), at.layout);
        return true;
    };
    if (at.layout.position[kFieldTime] == 0)
        time = 0;
    DayNumber last_date = 0;
    TimeOfDay last_time = 0;
    std::int32_t index = series_lower_bound(in.bars, date, time, key_at, last_date, last_time);
    if (index < 0)
        return status::kFileRead;
    if (found_date)
        *found_date = last_date;
    if (found_time)
        *found_time = last_time;
    return index == in.bars ? status::kRecordNotFound : index;
}

int series_describe(const std::filesystem::path& dir, std::string_view key, SeriesFacts& facts) {
    SeriesLocation at;
    if (series_locate(dir, key, at) != status::kOk)
        return 1;
    OpenSeries in;
    if (open_series(at, in) != status::kOk)
        return 1;
    fill_facts(facts, dir, at, in.bars);
    if (at.record.in_xmaster()) {
        facts.extended_number = at.record.file_number();
        for (const XmasterSecurity& security : xmaster_read(at.dir)) {
            if (security.record.file_number() == facts.extended_number)
                facts.long_name = security.long_name;
        }
    }
    return 0;
}
