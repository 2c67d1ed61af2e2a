// Quote files: F<n>.DAT (fixed-length records of MBF singles; record 1 the header, bytes 2-3 = R, the
// last record number, so R - 1 bars) and F<n>.DOP (one line per field: "NAME",input,display).
#pragma once

#include "storage/encoding.h"
#include "storage/master.h"
#include "storage/status.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

// The eight field names, always in this order.
enum FieldIndex : int { kFieldDate = 0, kFieldTime, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol, kFieldOi };
constexpr int kFieldNames = 8;
const char* field_name(int field); // "DATE", "TIME", ...

constexpr float FIELD_ABSENT = -1.0f;
constexpr int kMaxRecordLength = 76; // 19 fields
constexpr int kMaxFields = 19;
constexpr int kMaxReadAll = 16000;   // a negative count reads at most this many bars

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

// A window of bars of one security. Columns 0 (DATE) and 1 (TIME) hold 16-bit DayNumber / PackedTime
// elements, columns 2-7 IEEE singles. Memory is owned by the object.
struct QuoteSeries {
    BarColumn columns[kFieldNames];
    std::string directory; // where the security was found
    std::string key;       // symbol key it was read with
    std::int16_t count = 0;
    std::int16_t capacity = 0;
    std::int32_t total = 0; // bars in the file (R - 1), set by every read
    std::uint16_t header_capacity = 0;
    std::unique_ptr<std::uint8_t[]> header; // SeriesHeader (101 bytes) of the last read

    // Owned storage: one interleaved block (capacity * 28 < 65000) or seven arrays.
    std::unique_ptr<std::uint8_t[]> block;
    std::unique_ptr<std::uint8_t[]> arrays[7];

    DayNumber date(int i) const;
    PackedTime time(int i) const;
    float value(int field, int i) const; // field kFieldOpen..kFieldOi
    void set_date(int i, DayNumber d);
    void set_time(int i, PackedTime t);
    void set_value(int field, int i, float v);
};

StatusCode series_alloc(QuoteSeries& series, std::int16_t capacity);
StatusCode series_free(QuoteSeries& series);
StatusCode series_set_count(QuoteSeries& series, std::int16_t n);

// Reads the field layout from F<n>.DOP, or infers it from the record length when the file is missing.
// `periodicity` (the MASTER letter) tells intra-day 28- and 32-byte records apart.
StatusCode dop_read(const std::filesystem::path& dop_path, std::int16_t positions[8], std::int16_t input_codes[8],
                    std::int16_t display_codes[8], int record_length, char periodicity = 'D');
StatusCode dop_read_layout(const std::filesystem::path& dop_path, FieldLayout& layout, int record_length,
                           char periodicity = 'D');

StatusCode series_read(QuoteSeries& series, const std::filesystem::path& dir, std::string_view key,
                       std::int32_t start, std::int16_t count);
// The bar index found (>= 0) or a negative status.
std::int32_t series_find_date(const std::filesystem::path& dir, std::string_view key, DayNumber date,
                              PackedTime time, DayNumber* found_date = nullptr,
                              PackedTime* found_time = nullptr);

struct SeriesFacts {
    std::uint8_t bytes[kSeriesFactsSize] = {};
};
// 0 on success, 1 when the security, its layout or its F<n>.DAT cannot be found or opened.
int series_describe(const std::filesystem::path& dir, std::string_view key, SeriesFacts& facts);
