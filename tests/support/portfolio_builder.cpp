#include "support/portfolio_builder.h"

#include "storage/encoding.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstring>

namespace testing_support {

namespace {

void put_text(MasterRecord& record, int offset, const std::string& text, char pad) {
    std::memset(&record.bytes[offset], pad, 16);
    std::memcpy(&record.bytes[offset], text.data(), std::min<std::size_t>(text.size(), 16));
}

void put_int16(std::string& image, std::size_t at, std::int16_t value) {
    auto raw = static_cast<std::uint16_t>(value);
    image[at] = static_cast<char>(raw & 0xFF);
    image[at + 1] = static_cast<char>(raw >> 8);
}

std::int16_t get_int16(const std::string& image, std::size_t at) {
    auto lo = static_cast<std::uint8_t>(image.at(at));
    auto hi = static_cast<std::uint8_t>(image.at(at + 1));
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
}

} // namespace

MasterRecord master_record(const SecurityEntry& entry) {
    MasterRecord record;
    auto& b = record.bytes;
    b[0] = static_cast<std::uint8_t>(entry.file_number);
    b[3] = static_cast<std::uint8_t>(entry.fields * 4);
    b[4] = static_cast<std::uint8_t>(entry.fields);
    char pad = entry.nul_padded ? '\0' : ' ';
    put_text(record, 7, entry.name, pad);
    ieee_to_mbf(entry.first_date, &b[25]);
    ieee_to_mbf(entry.last_date, &b[29]);
    b[33] = static_cast<std::uint8_t>(entry.periodicity);
    put_text(record, 36, entry.symbol, pad);
    if (entry.mark_uninterpreted) {
        auto mark = static_cast<std::uint8_t>(0xA0 + entry.file_number);
        for (int at : {1, 2, 5, 6, 23, 24, 34, 35, 52})
            b[at] = static_cast<std::uint8_t>(mark ^ at);
    }
    return record;
}

SecurityEntry security(int file_number, const std::string& symbol, const std::string& name) {
    SecurityEntry entry;
    entry.file_number = file_number;
    entry.symbol = symbol;
    entry.name = name.empty() ? symbol + " INC" : name;
    entry.first_date = 991231.0f;
    entry.last_date = 1000103.0f;
    return entry;
}

MasterRecord master_directory_entry(int file_number, const std::string& dir_name) {
    SecurityEntry entry;
    entry.file_number = file_number;
    entry.name = dir_name.substr(0, std::min<std::size_t>(dir_name.size(), 11));
    entry.name.resize(11, ' ');
    entry.name += "<DIR>";
    return master_record(entry);
}

MasterBuilder& MasterBuilder::add(const SecurityEntry& entry) {
    return add(master_record(entry));
}

MasterBuilder& MasterBuilder::add(const MasterRecord& record) {
    records_.push_back(record);
    return *this;
}

MasterBuilder& MasterBuilder::add_directory(int file_number, const std::string& dir_name) {
    return add(master_directory_entry(file_number, dir_name));
}

MasterBuilder& MasterBuilder::count(std::int16_t value) {
    count_ = value;
    return *this;
}

MasterBuilder& MasterBuilder::second_counter(std::int16_t value) {
    second_ = value;
    return *this;
}

MasterBuilder& MasterBuilder::header_marks(std::uint32_t serial) {
    for (std::size_t i = 0; i < 45; ++i)
        header_tail_[i] = static_cast<char>(0x30 + i);
    for (std::size_t i = 0; i < 4; ++i)
        header_tail_[45 + i] = static_cast<char>((serial >> (8 * i)) & 0xFF);
    return *this;
}

MasterBuilder& MasterBuilder::unused_slots(int slots, std::uint8_t fill) {
    tail_ += std::string(static_cast<std::size_t>(slots) * kMasterRecordSize, static_cast<char>(fill));
    return *this;
}

MasterBuilder& MasterBuilder::trailing(const std::string& bytes) {
    tail_ += bytes;
    return *this;
}

std::string MasterBuilder::header_bytes() const {
    std::string header(4, '\0');
    auto added = static_cast<std::int16_t>(records_.size());
    put_int16(header, 0, count_.value_or(added));
    put_int16(header, 2, second_.value_or(added));
    return header + header_tail_;
}

std::string MasterBuilder::record_bytes() const {
    std::string out;
    for (const auto& record : records_)
        out += record_as_string(record);
    return out;
}

std::string MasterBuilder::tail_bytes() const {
    return tail_;
}

std::string MasterBuilder::bytes() const {
    return header_bytes() + record_bytes() + tail_;
}

std::filesystem::path MasterBuilder::write(const std::filesystem::path& dir,
                                           const std::string& file_name) const {
    auto path = dir / file_name;
    write_bytes(path, bytes());
    return path;
}

std::string record_as_string(const MasterRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.bytes.data()), record.bytes.size());
}

std::int16_t image_count(const std::string& image) {
    return get_int16(image, 0);
}
std::int16_t image_second_counter(const std::string& image) {
    return get_int16(image, 2);
}

void set_image_counters(std::string& image, std::int16_t count, std::int16_t second) {
    put_int16(image, 0, count);
    put_int16(image, 2, second);
}

std::string image_slot(const std::string& image, int index) {
    return image.substr(static_cast<std::size_t>(index) * kMasterRecordSize, kMasterRecordSize);
}

} // namespace testing_support
