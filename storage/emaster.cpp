#include "storage/emaster.h"

#include "storage/fileops.h"
#include "storage/mbf.h"
#include "storage/portfolio_files.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace fs = std::filesystem;

namespace {

constexpr int kSize = kEmasterRecordSize;
// A portfolio lists at most 255 securities; anything far larger is no EMASTER.
constexpr std::size_t kMaxFileBytes = std::size_t{kSize} * 1024;

constexpr int kHeaderCount = 0;
constexpr int kHeaderHighest = 2;
constexpr int kSymbolOffset = 11;
constexpr int kSymbolLength = 14;
constexpr int kShortNameOffset = 32;
constexpr int kShortNameLength = 16;
constexpr int kFirstDateOffset = 64;
constexpr int kLastDateOffset = 72;
constexpr int kFirstDateIntOffset = 126;
constexpr int kLongNameOffset = 139;
constexpr int kLongNameLength = 53;

std::uint8_t* record_at(std::vector<std::uint8_t>& bytes, int index) {
    return bytes.data() + static_cast<std::size_t>(index + 1) * kSize;
}

// A MASTER text field cut at a NUL, trailing blanks removed.
std::string master_text(const MasterRecord& record, int offset) {
    std::string text(reinterpret_cast<const char*>(&record.bytes[offset]), 16);
    text = text.substr(0, text.find('\0'));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string field_text(const std::uint8_t* record, int offset, int length) {
    std::string text(reinterpret_cast<const char*>(record + offset), static_cast<std::size_t>(length));
    return text.substr(0, text.find('\0'));
}

// Writes `text` into a field, cut to fit with room for its NUL when `terminated`, zero bytes after it.
void put_text(std::uint8_t* record, int offset, int length, std::string_view text, bool terminated) {
    text = text.substr(0, static_cast<std::size_t>(terminated ? length - 1 : length));
    std::memset(record + offset, 0, static_cast<std::size_t>(length));
    std::memcpy(record + offset, text.data(), text.size());
}

void put_float(std::uint8_t* record, int offset, float value) {
    std::memcpy(record + offset, &value, sizeof value);
}

void put_int32(std::uint8_t* record, int offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        record[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The date of a MASTER field (MBF YYMMDD, or CCYYMMDD) in EMASTER's two forms.
void put_dates(std::uint8_t* record, const MasterRecord& master, int master_offset, bool first) {
    float stored = mbf_to_ieee(&master.bytes[master_offset]);
    double value = stored > 0 ? static_cast<double>(stored) : 0.0;
    double full = value >= 10000000.0 ? value : value + 19000000.0;
    put_float(record, first ? kFirstDateOffset : kLastDateOffset, static_cast<float>(full - 19000000.0));
    if (first)
        put_int32(record, kFirstDateIntOffset, value > 0 ? static_cast<std::uint32_t>(full) : 19000101u);
}

void set_names(std::uint8_t* record, const MasterRecord& before, const MasterRecord& after) {
    if (std::memcmp(&before.bytes[kMasterSymbolOffset], &after.bytes[kMasterSymbolOffset], 16) != 0)
        put_text(record, kSymbolOffset, kSymbolLength, master_text(after, kMasterSymbolOffset), true);
    if (std::memcmp(&before.bytes[kMasterNameOffset], &after.bytes[kMasterNameOffset], 16) == 0)
        return;
    const std::string name = master_text(after, kMasterNameOffset);
    put_text(record, kShortNameOffset, kShortNameLength, name, false);
    const std::string long_name = field_text(record, kLongNameOffset, kLongNameLength);
    if (!long_name.empty() && !long_name.starts_with(name))
        put_text(record, kLongNameOffset, kLongNameLength, name, true);
}

void set_dates(std::uint8_t* record, const MasterRecord& before, const MasterRecord& after) {
    if (std::memcmp(&before.bytes[kMasterFirstDateOffset], &after.bytes[kMasterFirstDateOffset], 4) != 0)
        put_dates(record, after, kMasterFirstDateOffset, true);
    if (std::memcmp(&before.bytes[kMasterLastDateOffset], &after.bytes[kMasterLastDateOffset], 4) != 0)
        put_dates(record, after, kMasterLastDateOffset, false);
}

int highest_file_number(const MasterImage& master) {
    int highest = 0;
    for (int i = 0; i < master.records_counted(); ++i)
        highest = std::max(highest, master.record(i).file_number());
    return highest;
}

// The field bitset of a record of `fields` fields: date, high, low, close, volume, open, open interest
// in that order, a time field for an intra-day series.
std::uint8_t field_bits(int fields, char periodicity) {
    const bool timed = periodicity == 'I' && fields >= 6;
    int named = std::clamp(fields - (timed ? 1 : 0), 1, 7);
    return static_cast<std::uint8_t>(((1 << named) - 1) | (timed ? 0x80 : 0));
}

// What makes the file unusable whatever MASTER holds: its size, or a count beyond its records.
std::string size_reason(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < static_cast<std::size_t>(kSize) || bytes.size() % kSize != 0)
        return "its size is not a multiple of 192 bytes";
    const int count = bytes[kHeaderCount];
    const int present = static_cast<int>(bytes.size() / kSize) - 1;
    if (count > present)
        return "it holds " + std::to_string(present) + " records but counts " + std::to_string(count);
    return {};
}

int stored_number(const std::vector<std::uint8_t>& bytes, int index) {
    return bytes[static_cast<std::size_t>(index + 1) * kSize + 2];
}

// For each counted MASTER record the index of the EMASTER record of the same file number (the k-th use
// of a number matched with its k-th use), or -1. False when the matched records stand in another order.
bool align(const std::vector<std::uint8_t>& bytes, const MasterImage& master, std::vector<int>& matched) {
    const int count = bytes[kHeaderCount];
    std::array<std::vector<int>, 256> uses; // EMASTER indices by file number, in file order
    for (int j = count - 1; j >= 0; --j)
        uses[static_cast<std::size_t>(stored_number(bytes, j))].push_back(j);
    matched.assign(static_cast<std::size_t>(master.records_counted()), -1);
    int last = -1;
    for (int i = 0; i < master.records_counted(); ++i) {
        std::vector<int>& left = uses[static_cast<std::size_t>(master.record(i).file_number() & 0xFF)];
        if (left.empty())
            continue;
        const int j = left.back();
        left.pop_back();
        if (j < last)
            return false;
        matched[static_cast<std::size_t>(i)] = last = j;
    }
    return true;
}

std::string order_reason(const std::vector<std::uint8_t>& bytes, const MasterImage& master) {
    const int count = std::min<int>(bytes[kHeaderCount], master.records_counted());
    int i = 0;
    while (i < count && stored_number(bytes, i) == master.record(i).file_number())
        ++i;
    std::string reason = "its records stand in another order than MASTER's";
    if (i < count)
        reason += ": its record " + std::to_string(i + 1) + " names file number " +
                  std::to_string(stored_number(bytes, i)) + " where MASTER's names " +
                  std::to_string(master.record(i).file_number());
    return reason;
}

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

float stored_float(const std::uint8_t* record, int offset) {
    float value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

// Which fields of the EMASTER record describe the security otherwise than its MASTER record.
struct FieldsDiffer {
    bool symbol = false, name = false, first = false, last = false, fields = false, periodicity = false;
    bool any() const { return symbol || name || first || last || fields || periodicity; }
};

FieldsDiffer compare_fields(const std::uint8_t* record, const MasterRecord& master) {
    FieldsDiffer out;
    if (master_is_directory_entry(master))
        return out;
    const EmasterRecord expected = emaster_record_from_master(master);
    const std::uint8_t* e = expected.bytes.data();
    // A blank MASTER symbol is damage that the MASTER repair mends, not a symbol to copy.
    out.symbol =
        !master_record_damaged(master) && trimmed(field_text(record, kSymbolOffset, kSymbolLength)) !=
                                              trimmed(field_text(e, kSymbolOffset, kSymbolLength));
    out.name = trimmed(field_text(record, kShortNameOffset, kShortNameLength)) !=
               trimmed(field_text(e, kShortNameOffset, kShortNameLength));
    out.first = stored_float(record, kFirstDateOffset) != stored_float(e, kFirstDateOffset);
    out.last = stored_float(record, kLastDateOffset) != stored_float(e, kLastDateOffset);
    out.fields = record[6] != e[6];
    out.periodicity = record[60] != e[60];
    return out;
}

void list_differences(const FieldsDiffer& differ, int number, std::vector<EmasterDifference>& out) {
    const std::pair<bool, const char*> fields[] = {
        {differ.symbol, "symbol"},  {differ.name, "name"},          {differ.first, "first date"},
        {differ.last, "last date"}, {differ.fields, "field count"}, {differ.periodicity, "periodicity"}};
    for (const auto& [differs, what] : fields) {
        if (differs)
            out.push_back({number, what});
    }
}

// The differences of a file whose records are aligned with MASTER's by `matched`.
std::vector<EmasterDifference> differences_of(const std::vector<std::uint8_t>& bytes,
                                              const MasterImage& master, const std::vector<int>& matched) {
    std::vector<EmasterDifference> out;
    std::vector<bool> used(bytes[kHeaderCount], false);
    for (int i = 0; i < master.records_counted(); ++i) {
        const int j = matched[static_cast<std::size_t>(i)];
        if (j < 0) {
            out.push_back({master.record(i).file_number(), "missing from EMASTER"});
            continue;
        }
        used[static_cast<std::size_t>(j)] = true;
        list_differences(
            compare_fields(bytes.data() + static_cast<std::size_t>(j + 1) * kSize, master.record(i)),
            master.record(i).file_number(), out);
    }
    for (std::size_t j = 0; j < used.size(); ++j) {
        if (!used[j])
            out.push_back({stored_number(bytes, static_cast<int>(j)), "only in EMASTER"});
    }
    return out;
}

// Brings the fields that differ from MASTER's record into line; every other byte stays.
void refresh_record(std::uint8_t* record, const MasterRecord& master) {
    const FieldsDiffer differ = compare_fields(record, master);
    if (differ.symbol)
        put_text(record, kSymbolOffset, kSymbolLength, master_text(master, kMasterSymbolOffset), true);
    if (differ.name) {
        const std::string name = master_text(master, kMasterNameOffset);
        put_text(record, kShortNameOffset, kShortNameLength, name, false);
        const std::string long_name = field_text(record, kLongNameOffset, kLongNameLength);
        if (!long_name.empty() && !long_name.starts_with(name))
            put_text(record, kLongNameOffset, kLongNameLength, name, true);
    }
    if (differ.first)
        put_dates(record, master, kMasterFirstDateOffset, true);
    if (differ.last)
        put_dates(record, master, kMasterLastDateOffset, false);
    if (differ.fields) {
        record[6] = static_cast<std::uint8_t>(master.field_count());
        record[7] = field_bits(master.field_count(), master.periodicity());
    }
    if (differ.periodicity)
        record[60] = static_cast<std::uint8_t>(master.periodicity());
}

} // namespace

EmasterRecord emaster_record_from_master(const MasterRecord& master) {
    EmasterRecord out;
    std::uint8_t* r = out.bytes.data();
    r[0] = r[1] = '6';
    r[2] = static_cast<std::uint8_t>(master.file_number());
    r[6] = static_cast<std::uint8_t>(master.field_count());
    r[7] = field_bits(master.field_count(), master.periodicity());
    r[9] = ' ';
    put_text(r, kSymbolOffset, kSymbolLength, master_text(master, kMasterSymbolOffset), true);
    put_text(r, kShortNameOffset, kShortNameLength, master_text(master, kMasterNameOffset), false);
    r[60] = static_cast<std::uint8_t>(master.periodicity());
    put_dates(r, master, kMasterFirstDateOffset, true);
    put_dates(r, master, kMasterLastDateOffset, false);
    return out;
}

std::vector<std::uint8_t> emaster_empty_image() {
    return std::vector<std::uint8_t>(kSize, 0);
}

EmasterRecord emaster_record_for_new(const MasterRecord& record, std::uint8_t field_bits,
                                     std::string_view full_name) {
    EmasterRecord out = emaster_record_from_master(record);
    out.bytes[7] = field_bits;
    if (full_name.size() > static_cast<std::size_t>(kShortNameLength))
        put_text(out.bytes.data(), kLongNameOffset, kLongNameLength, full_name, true);
    return out;
}

EmasterRecord EmasterFile::record(int index) const {
    EmasterRecord out;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(index + 1) * kSize, kSize, out.bytes.begin());
    return out;
}

EmasterFile emaster_read(const fs::path& dir, const MasterImage& master) {
    EmasterFile file;
    portfolio_files::Presence presence = portfolio_files::lookup(dir, "EMASTER", file.path);
    if (presence == portfolio_files::Presence::Absent)
        return file;
    file.state = EmasterState::Unreadable;
    const fileops::FileStat info = fileops::stat(file.path);
    if (presence == portfolio_files::Presence::Unknown || !info.exists)
        return file;
    file.state = EmasterState::Unusable;
    if (!info.is_regular || info.size > kMaxFileBytes) {
        file.reason = "it is no regular file of a sensible size";
        return file;
    }
    const auto content = fileops::read_file_kept(file.path, kMaxFileBytes);
    if (!content) {
        file.state = EmasterState::Unreadable;
        return file;
    }
    file.bytes.assign(content.begin(), content.end());
    file.reason = size_reason(file.bytes);
    std::vector<int> matched;
    if (file.reason.empty() && !align(file.bytes, master, matched))
        file.reason = order_reason(file.bytes, master);
    if (!file.reason.empty()) {
        file.bytes.clear();
        return file;
    }
    file.differences = differences_of(file.bytes, master, matched);
    file.state = file.differences.empty() ? EmasterState::Usable : EmasterState::OutOfStep;
    return file;
}

std::vector<std::uint8_t> emaster_follow(const std::vector<std::uint8_t>& bytes, const MasterImage& before,
                                         const MasterImage& after, const EmasterRecord* added) {
    std::vector<std::uint8_t> out = bytes;
    const int old_count = before.records_counted(), new_count = after.records_counted();
    // The first counted record whose file number differs marks where one was removed or added.
    int at = 0;
    while (at < std::min(old_count, new_count) &&
           before.record(at).file_number() == after.record(at).file_number())
        ++at;
    const auto offset = static_cast<std::ptrdiff_t>(at + 1) * kSize;
    if (new_count == old_count - 1) {
        out.erase(out.begin() + offset, out.begin() + offset + kSize);
    } else if (new_count == old_count + 1) {
        EmasterRecord record = added ? *added : emaster_record_from_master(after.record(at));
        record.set_file_number(after.record(at).file_number());
        out.insert(out.begin() + offset, record.bytes.begin(), record.bytes.end());
    }
    for (int i = 0; i < new_count && new_count == old_count; ++i) {
        const MasterRecord old_record = before.record(i), new_record = after.record(i);
        set_names(record_at(out, i), old_record, new_record);
        set_dates(record_at(out, i), old_record, new_record);
    }
    if (new_count != old_count) {
        out[kHeaderCount] = static_cast<std::uint8_t>(new_count);
        out[kHeaderHighest] = static_cast<std::uint8_t>(highest_file_number(after));
    }
    return out;
}

std::vector<std::uint8_t> emaster_rebuild(const EmasterFile& file, const MasterImage& master) {
    std::vector<int> matched;
    if (file.state != EmasterState::OutOfStep || !align(file.bytes, master, matched))
        return file.bytes;
    const int count = file.bytes[kHeaderCount];
    const int present = static_cast<int>(file.bytes.size() / kSize) - 1;
    // A security missing among the counted records may still stand after them: that record is taken.
    std::vector<bool> taken(static_cast<std::size_t>(present), false);
    std::vector<std::uint8_t> out(file.bytes.begin(), file.bytes.begin() + kSize);
    for (int i = 0; i < master.records_counted(); ++i) {
        int j = matched[static_cast<std::size_t>(i)];
        for (int k = count; j < 0 && k < present; ++k) {
            if (!taken[static_cast<std::size_t>(k)] &&
                stored_number(file.bytes, k) == master.record(i).file_number())
                j = k;
        }
        EmasterRecord record = emaster_record_from_master(master.record(i));
        if (j >= 0) {
            taken[static_cast<std::size_t>(j)] = true;
            std::copy_n(file.bytes.begin() + static_cast<std::ptrdiff_t>(j + 1) * kSize, kSize,
                        record.bytes.begin());
            refresh_record(record.bytes.data(), master.record(i));
        }
        out.insert(out.end(), record.bytes.begin(), record.bytes.end());
    }
    for (int k = count; k < present; ++k) {
        if (!taken[static_cast<std::size_t>(k)])
            out.insert(out.end(), file.bytes.begin() + static_cast<std::ptrdiff_t>(k + 1) * kSize,
                       file.bytes.begin() + static_cast<std::ptrdiff_t>(k + 2) * kSize);
    }
    out[kHeaderCount] = static_cast<std::uint8_t>(master.records_counted());
    out[kHeaderHighest] = static_cast<std::uint8_t>(highest_file_number(master));
    return out;
}

std::string emaster_differences_text(const EmasterFile& file) {
    std::string text;
    for (const EmasterDifference& difference : file.differences)
        text += (text.empty() ? "F" : ", F") + std::to_string(difference.file_number) + " " + difference.what;
    return text;
}

std::string emaster_rebuilt_message(const EmasterFile& file) {
    return "The extended directory file\n" + file.path.string() + "\ndid not agree with MASTER (" +
           emaster_differences_text(file) +
           "). Its records were rebuilt from MASTER, keeping what only it holds; the previous file is "
           "kept as EMASTER.BAK.";
}

std::string emaster_left_message(const EmasterFile& file) {
    return "The extended directory file\n" + file.path.string() + "\nwas left as it was: " + file.reason +
           ". Other programs may list this portfolio differently.";
}
