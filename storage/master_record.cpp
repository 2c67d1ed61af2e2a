#include "storage/master_record.h"

#include "storage/dates.h"
#include "storage/mbf.h"
#include "storage/portfolio_files.h"
#include "storage/text_util.h"

#include <algorithm>
#include <bitset>
#include <cstring>

namespace {

constexpr int kFileNumberOffset = kMasterFileNumberOffset;
constexpr int kRecordLengthOffset = 3;
constexpr int kFieldCountOffset = 4;
constexpr int kPeriodicityOffset = 33;
constexpr int kNameOffset = kMasterNameOffset;
constexpr int kSymbolOffset = kMasterSymbolOffset;
constexpr int kTextLength = kMasterTextLength;
constexpr int kFirstDateOffset = kMasterFirstDateOffset;
constexpr int kLastDateOffset = kMasterLastDateOffset;
constexpr int kDirMarkOffset = 18;
constexpr int kDirNameLength = 8;
constexpr std::string_view kDirMark = "<DIR>";

// A byte that ends the symbol text.
bool ends_symbol(std::uint8_t byte) {
    return byte <= 32 || byte >= 128;
}

// A text field of a record; like a C string it ends at its first NUL byte.
std::string_view field_text(const MasterRecord& record, int offset, int length) {
    std::string_view text(reinterpret_cast<const char*>(&record.bytes[offset]),
                          static_cast<std::size_t>(length));
    return text.substr(0, text.find('\0'));
}

// The first `words` blank-separated words of the symbol field (the whole field when it has fewer blanks).
std::string_view leading_words(std::string_view text, int words) {
    std::size_t from = 0;
    for (int blanks = 0; blanks < words; ++blanks) {
        std::size_t at = text.find(' ', from);
        if (at == std::string_view::npos)
            return text;
        if (blanks + 1 == words)
            return text.substr(0, at);
        from = at + 1;
    }
    return text;
}

float read_float(const std::uint8_t* bytes) {
    float value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

void write_float(std::uint8_t* bytes, float value) {
    std::memcpy(bytes, &value, sizeof value);
}

std::int16_t read_int16(const std::uint8_t* bytes) {
    return static_cast<std::int16_t>(load_le16(bytes));
}

void write_int16(std::uint8_t* bytes, std::int16_t value) {
    store_le16(bytes, static_cast<std::uint16_t>(value));
}

// Writes `text` as a 16-byte field: cut at its first NUL and at 16 characters, padded with blanks.
void store_text(MasterRecord& record, int offset, std::string_view text) {
    text = text.substr(0, text.find('\0')).substr(0, kTextLength);
    std::memset(&record.bytes[offset], ' ', kTextLength);
    std::memcpy(&record.bytes[offset], text.data(), text.size());
}

} // namespace

// ---- Records and header -------------------------------------------------------------------------

float MasterRecord::first_date_ieee() const {
    return read_float(&bytes[kFirstDateOffset]);
}
float MasterRecord::last_date_ieee() const {
    return read_float(&bytes[kLastDateOffset]);
}

void MasterRecord::dates_to_ieee() {
    for (int offset : {kFirstDateOffset, kLastDateOffset})
        write_float(&bytes[offset], mbf_to_ieee(&bytes[offset]));
}

void MasterRecord::dates_to_mbf() {
    for (int offset : {kFirstDateOffset, kLastDateOffset})
        ieee_to_mbf(read_float(&bytes[offset]), &bytes[offset]);
}

DayNumber MasterRecord::stored_first_date() const {
    return date_from_yymmdd(mbf_to_ieee(&bytes[kFirstDateOffset]));
}
DayNumber MasterRecord::stored_last_date() const {
    return date_from_yymmdd(mbf_to_ieee(&bytes[kLastDateOffset]));
}

void MasterRecord::set_file_number(int number) {
    bytes[kFileNumberOffset] = static_cast<std::uint8_t>(number);
}
void MasterRecord::set_record_length(int length) {
    bytes[kRecordLengthOffset] = static_cast<std::uint8_t>(length);
}
void MasterRecord::set_field_count(int count) {
    bytes[kFieldCountOffset] = static_cast<std::uint8_t>(count);
}
void MasterRecord::set_periodicity(char letter) {
    bytes[kPeriodicityOffset] = static_cast<std::uint8_t>(letter);
}
void MasterRecord::set_name(std::string_view name) {
    store_text(*this, kNameOffset, name);
}
void MasterRecord::set_symbol(std::string_view symbol) {
    store_text(*this, kSymbolOffset, symbol);
}
void MasterRecord::set_stored_dates(DayNumber first, DayNumber last) {
    date_to_mbf(first, &bytes[kFirstDateOffset]);
    date_to_mbf(last, &bytes[kLastDateOffset]);
}

std::string_view master_symbol_view(const MasterRecord& record) {
    return {reinterpret_cast<const char*>(&record.bytes[kSymbolOffset]),
            master_symbol_length(&record.bytes[kSymbolOffset], kTextLength)};
}

std::string_view master_field_view(const MasterRecord& record, int offset) {
    return field_text(record, offset, kTextLength);
}

std::string_view master_name_view(const MasterRecord& record) {
    return field_text(record, kNameOffset, kTextLength);
}

std::string master_symbol_text(const MasterRecord& record) {
    return std::string(master_symbol_view(record));
}

std::string master_name_text(const MasterRecord& record) {
    return std::string(master_name_view(record));
}

bool master_record_damaged(const MasterRecord& record) {
    // A reference to a nested portfolio is no security: its blank symbol is not damage.
    return ends_symbol(record.bytes[kSymbolOffset]) && !master_is_directory_entry(record);
}

bool master_slot_unused(const MasterRecord& record) {
    return std::all_of(record.bytes.begin(), record.bytes.end(), [](std::uint8_t b) { return b == 0; });
}

void master_put_name_as_symbol(MasterRecord& record) {
    const std::string_view name = field_text(record, kNameOffset, kTextLength);
    std::fill_n(&record.bytes[kSymbolOffset], kTextLength, std::uint8_t{0});
    std::copy(name.begin(), name.end(), &record.bytes[kSymbolOffset]);
}

MasterRecord master_directory_entry(std::string_view dir_name) {
    MasterRecord record;
    std::fill(&record.bytes[kNameOffset], &record.bytes[kDirMarkOffset], std::uint8_t{' '});
    dir_name = dir_name.substr(0, kDirNameLength);
    std::copy(dir_name.begin(), dir_name.end(), &record.bytes[kNameOffset]);
    std::copy(kDirMark.begin(), kDirMark.end(), &record.bytes[kDirMarkOffset]);
    std::fill_n(&record.bytes[kSymbolOffset], kTextLength, std::uint8_t{' '});
    return record;
}

std::int16_t MasterHeader::count() const {
    return read_int16(&bytes[0]);
}
std::int16_t MasterHeader::second_counter() const {
    return read_int16(&bytes[2]);
}
void MasterHeader::set_count(std::int16_t value) {
    write_int16(&bytes[0], value);
}
void MasterHeader::set_second_counter(std::int16_t value) {
    write_int16(&bytes[2], value);
}

bool master_is_directory_entry(const MasterRecord& record, std::string* dir_name) {
    std::string_view mark(reinterpret_cast<const char*>(&record.bytes[kDirMarkOffset]), kDirMark.size());
    if (mark != kDirMark || record.bytes[kNameOffset] == ' ')
        return false;
    if (dir_name)
        *dir_name = std::string(trim_trailing_blanks(field_text(record, kNameOffset, kDirNameLength)));
    return true;
}

bool master_key_matches(const MasterRecord& record, std::string_view key) {
    key = trim_trailing_blanks(key); // the blanks that pad a name or symbol are never part of a key
    if (key.empty())
        return false; // an empty key names no security
    std::string_view name = trim_trailing_blanks(field_text(record, kNameOffset, kTextLength));
    if (portfolio_files::equals_ignoring_case(name, key))
        return true;
    int blanks = static_cast<int>(std::count(key.begin(), key.end(), ' '));
    std::string_view symbol = leading_words(field_text(record, kSymbolOffset, kTextLength), blanks + 1);
    return portfolio_files::equals_ignoring_case(symbol, key);
}

// ---- The whole file in memory -------------------------------------------------------------------

int MasterImage::records_counted() const {
    return std::clamp<int>(header.count(), 0, records_present());
}

bool MasterImage::count_damaged() const {
    return header.count() < 0 || header.count() > records_present();
}

MasterRecord MasterImage::record(int index) const {
    MasterRecord out;
    auto from = records.begin() + static_cast<std::ptrdiff_t>(index) * kMasterRecordSize;
    std::copy(from, from + kMasterRecordSize, out.bytes.begin());
    return out;
}

void MasterImage::set_record(int index, const MasterRecord& record) {
    std::copy(record.bytes.begin(), record.bytes.end(),
              records.begin() + static_cast<std::ptrdiff_t>(index) * kMasterRecordSize);
}

void MasterImage::append_record(const MasterRecord& record) {
    records.insert(records.end(), record.bytes.begin(), record.bytes.end());
}

std::vector<std::uint8_t> MasterImage::bytes() const {
    std::vector<std::uint8_t> out(header.bytes.begin(), header.bytes.end());
    out.insert(out.end(), records.begin(), records.end());
    out.insert(out.end(), trailing.begin(), trailing.end());
    return out;
}

int lowest_free_number(const MasterImage& image) {
    std::bitset<kMaxSecurities + 1> used;
    for (int i = 0; i < image.records_counted(); ++i)
        used.set(image.record(i).file_number());
    for (int n = 1; n <= kMaxSecurities; ++n) {
        if (!used.test(static_cast<std::size_t>(n)))
            return n;
    }
    return 0;
}
