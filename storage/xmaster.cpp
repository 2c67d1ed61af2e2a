#include "storage/xmaster.h"

#include "storage/fileops.h"
#include "storage/mbf.h"
#include "storage/portfolio_files.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr int kSize = kXmasterRecordSize;
// 65535 records at most, by the 16-bit count.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{kSize} * 65536;

int read_uint16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]) | (static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

std::uint32_t read_uint32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(read_uint16(bytes, at)) |
           (static_cast<std::uint32_t>(read_uint16(bytes, at + 2)) << 16);
}

// A NUL-terminated text field, as a view of the content.
std::string_view text_at(std::string_view bytes, std::size_t at, std::size_t length) {
    const std::string_view text = bytes.substr(at, length);
    return text.substr(0, text.find('\0'));
}

// YYYYMMDD as MASTER stores a date: MBF of (year - 1900) x 10000 + month x 100 + day; 0 stays 0.
void put_date(MasterRecord& record, int offset, std::uint32_t yyyymmdd) {
    uint_to_mbf(yyyymmdd > 19000000u ? yyyymmdd - 19000000u : 0u,
                &record.bytes[static_cast<std::size_t>(offset)]);
}

// Why the content is no usable XMASTER, in plain words; empty when it is one.
std::string unusable_reason(std::string_view bytes) {
    if (bytes.size() < static_cast<std::size_t>(kSize) || bytes.compare(0, 4, "\x5D\xFEXM") != 0)
        return "it does not begin with the marks of an XMASTER file";
    const int count = read_uint16(bytes, 10);
    if (count != read_uint16(bytes, 14))
        return "its two counts disagree (" + std::to_string(count) + " and " +
               std::to_string(read_uint16(bytes, 14)) + ")";
    if (bytes.size() != static_cast<std::size_t>(kSize) * (count + 1))
        return "its size of " + std::to_string(bytes.size()) + " bytes does not hold the " +
               std::to_string(count) + " records it counts";
    return {};
}

bool usable(std::string_view bytes) {
    return unusable_reason(bytes).empty();
}

// The content of the portfolio's usable XMASTER, read once; none when there is no XMASTER, or when it is
// unusable (`unusable`, when given, then receives why).
fileops::FileContent usable_content(const std::filesystem::path& dir, std::string* unusable) {
    std::filesystem::path path;
    errno = 0;
    const portfolio_files::Presence presence = portfolio_files::lookup(dir, "XMASTER", path);
    // A directory that is not there has no XMASTER either (and no MASTER, which says so itself).
    if (presence == portfolio_files::Presence::Absent ||
        (presence == portfolio_files::Presence::Unknown && errno == ENOENT))
        return {};
    const fileops::FileStat info = fileops::stat(path);
    fileops::FileContent content;
    std::string reason;
    if (presence == portfolio_files::Presence::Unknown || !info.exists)
        reason = "it could not be looked at";
    else if (!info.is_regular || info.size > kMaxFileBytes)
        reason = "it is no regular file of a sensible size";
    else if (content = fileops::read_file_kept(path, kMaxFileBytes); !content)
        reason = "it could not be read";
    else
        reason = unusable_reason(content.view());
    if (reason.empty())
        return content;
    if (unusable)
        *unusable = reason;
    return {};
}

// The offset of record `i` (0-based, after the header).
std::size_t record_offset(int i) {
    return static_cast<std::size_t>(i + 1) * kSize;
}

// A record lists a security when its number is 256 or above and its field bitset names a field.
bool lists_security(std::string_view bytes, std::size_t at) {
    return read_uint16(bytes, at + 65) >= kFirstXmasterNumber && bytes[at + 70] != 0;
}

// The security of the record at `at` as a MasterRecord.
MasterRecord decode_record(std::string_view bytes, std::size_t at) {
    const int fields = std::popcount(static_cast<unsigned>(static_cast<std::uint8_t>(bytes[at + 70])));
    MasterRecord r;
    r.extended_number = read_uint16(bytes, at + 65);
    r.set_record_length(4 * fields);
    r.set_field_count(fields);
    r.set_name(text_at(bytes, at + 16, 45));
    r.set_symbol(text_at(bytes, at + 1, 14));
    r.set_periodicity(bytes[at + 62]);
    put_date(r, 25, read_uint32(bytes, at + 108));
    put_date(r, 29, read_uint32(bytes, at + 116));
    return r;
}

// The first 16 bytes of the NUL-terminated text at `text` as MasterRecord::set_name stores them: up to
// the NUL, blanks after it; eight bytes at a time (the 16 bytes from `text` must be readable). The lowest
// marked byte of (w - 1...1) & ~w & 80...80 is the word's first NUL: a borrow only marks bytes above one.
void put_padded_name(const std::uint8_t* text, std::array<char, kMasterTextLength>& out) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    constexpr std::uint64_t kBlanks = 0x2020202020202020u;
    std::uint8_t padded[kMasterTextLength];
    bool ended = false;
    for (std::size_t half = 0; half < 2; ++half) {
        std::uint64_t word = kBlanks;
        if (!ended) {
            word = load_le64(text + 8 * half);
            if (const std::uint64_t nuls = (word - kOnes) & ~word & kHigh; nuls != 0) {
                const int kept = std::countr_zero(nuls) / 8; // the bytes before the NUL
                const std::uint64_t keep = kept == 0 ? 0 : ~std::uint64_t{0} >> (64 - 8 * kept);
                word = (word & keep) | (kBlanks & ~keep);
                ended = true;
            }
        }
        store_le64(padded + 8 * half, word);
    }
    std::memcpy(out.data(), padded, sizeof padded);
}

} // namespace

std::vector<XmasterSecurity> xmaster_read(const std::filesystem::path& dir, std::string* unusable) {
    std::vector<XmasterSecurity> out;
    const fileops::FileContent content = usable_content(dir, unusable);
    if (!content)
        return out;
    const std::string_view bytes = content.view();
    const int count = read_uint16(bytes, 10);
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::size_t at = record_offset(i);
        if (lists_security(bytes, at))
            out.push_back(
                XmasterSecurity{decode_record(bytes, at), std::string(text_at(bytes, at + 16, 45)), i});
    }
    return out;
}

MasterRecord XmasterList::record(const XmasterListEntry& entry) const {
    return decode_record(content.view(), entry.offset);
}

void xmaster_read_list(const std::filesystem::path& dir, XmasterList& out, std::string* unusable) {
    out.entries.clear();
    out.content = usable_content(dir, unusable);
    if (!out.content)
        return;
    const std::string_view bytes = out.content.view();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const int count = read_uint16(bytes, 10);
    out.entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::size_t at = record_offset(i);
        if (!lists_security(bytes, at))
            continue;
        XmasterListEntry& entry = out.entries.emplace_back();
        entry.offset = static_cast<std::uint32_t>(at);
        entry.index = i;
        entry.number = static_cast<std::uint16_t>(read_uint16(bytes, at + 65));
        // The symbol field holds 14 bytes; the blanks that pad the record's 16 end the text there.
        entry.symbol_length = static_cast<std::uint8_t>(master_symbol_length(data + at + 1, 14));
        std::memcpy(entry.symbol.data(), data + at + 1, entry.symbol.size());
        put_padded_name(data + at + 16, entry.name);
    }
}

namespace {

// The usable XMASTER of `dir` and the offset of the record carrying the number; false when there is none.
bool locate(const std::filesystem::path& dir, int file_number, std::filesystem::path& path,
            std::string& bytes, std::size_t& at) {
    if (portfolio_files::lookup(dir, "XMASTER", path) != portfolio_files::Presence::Present)
        return false;
    const fileops::FileStat info = fileops::stat(path);
    if (!info.is_regular || info.size > kMaxFileBytes || !fileops::read_file(path, bytes) || !usable(bytes))
        return false;
    for (int i = 0; i < read_uint16(bytes, 10); ++i) {
        at = static_cast<std::size_t>(i + 1) * kSize;
        if (read_uint16(bytes, at + 65) == file_number)
            return true;
    }
    return false;
}

bool write(const std::filesystem::path& path, const std::filesystem::path& temp, const std::string& bytes) {
    return fileops::replace_file(path, temp, [&](fileops::BufferedWriter& out) { return out.write(bytes); });
}

void put_text(std::string& bytes, std::size_t at, std::size_t room, std::string_view text) {
    text = text.substr(0, text.find('\0')).substr(0, room - 1);
    bytes.replace(at, room, std::string(room, '\0'));
    bytes.replace(at, text.size(), text);
}

// Changes one record, keeping the previous file as XMASTER.BAK.
int rewrite_record(const std::filesystem::path& dir, int file_number,
                   const std::function<void(std::string&, std::size_t)>& change) {
    std::filesystem::path path;
    std::string bytes;
    std::size_t at = 0;
    if (!locate(dir, file_number, path, bytes, at))
        return 1;
    std::string changed = bytes;
    change(changed, at);
    if (changed == bytes)
        return 0;
    const std::filesystem::path temp = portfolio_files::for_writing(dir, "XMASTER.NEW");
    if (!write(portfolio_files::for_writing(dir, "XMASTER.BAK"), temp, bytes))
        return 1;
    return write(path, temp, changed) ? 0 : 1;
}

} // namespace

int xmaster_set_names(const std::filesystem::path& dir, int file_number, std::string_view symbol,
                      std::string_view name) {
    return rewrite_record(dir, file_number, [&](std::string& bytes, std::size_t at) {
        put_text(bytes, at + 1, 14, symbol);
        put_text(bytes, at + 16, 45, name);
    });
}

namespace {

// 4 MBF bytes of YYMMDD (or CCYYMMDD) as the integer YYYYMMDD XMASTER stores, little-endian; 0 stays 0.
void put_date_integer(std::string& bytes, std::size_t at, const std::uint8_t date_mbf[4]) {
    const float value = mbf_to_ieee(date_mbf);
    std::uint32_t whole = 0;
    if (value >= 10000000.0f)
        whole = static_cast<std::uint32_t>(value);
    else if (value > 0.0f)
        whole = static_cast<std::uint32_t>(value) + 19000000u;
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((whole >> (8 * i)) & 0xFF);
}

} // namespace

int xmaster_set_date(const std::filesystem::path& dir, int file_number, const std::uint8_t date_mbf[4],
                     int which) {
    if (!date_mbf)
        return 1;
    return rewrite_record(dir, file_number, [&](std::string& bytes, std::size_t at) {
        put_date_integer(bytes, at + (which != 0 ? 116 : 108), date_mbf);
    });
}

int xmaster_set_dates(const std::filesystem::path& dir, int file_number, const std::uint8_t first_mbf[4],
                      const std::uint8_t last_mbf[4]) {
    if (!first_mbf || !last_mbf)
        return 1;
    return rewrite_record(dir, file_number, [&](std::string& bytes, std::size_t at) {
        put_date_integer(bytes, at + 108, first_mbf);
        put_date_integer(bytes, at + 116, last_mbf);
    });
}

int xmaster_remove(const std::filesystem::path& dir, int file_number, bool delete_files) {
    std::filesystem::path path;
    std::string bytes;
    std::size_t at = 0;
    if (!locate(dir, file_number, path, bytes, at))
        return 1;
    bytes.erase(at, kSize);
    const int count = read_uint16(bytes, 10) - 1;
    for (std::size_t offset : {std::size_t{10}, std::size_t{14}}) {
        bytes[offset] = static_cast<char>(count & 0xFF);
        bytes[offset + 1] = static_cast<char>(count >> 8);
    }
    if (!write(path, portfolio_files::for_writing(dir, "XMASTER.~NU"), bytes))
        return 1;
    bool deleted = true;
    for (std::string_view extension : {"DAT", "DOP", "BAK"}) {
        const std::filesystem::path file = portfolio_files::series_file(dir, file_number, extension);
        deleted = !delete_files || ((fileops::remove_file(file) || errno == ENOENT) && deleted);
    }
    return deleted ? 0 : 3;
}

namespace {

// The content of the portfolio's XMASTER for a change: `bytes` empty and `path` where one would be made
// when there is none. False when one is there but unusable or unreadable.
bool load_for_change(const std::filesystem::path& dir, std::filesystem::path& path, std::string& bytes) {
    bytes.clear();
    const portfolio_files::Presence presence = portfolio_files::lookup(dir, "XMASTER", path);
    if (presence == portfolio_files::Presence::Absent) {
        path = portfolio_files::for_writing(dir, "XMASTER");
        return true;
    }
    const fileops::FileStat info = fileops::stat(path);
    return presence == portfolio_files::Presence::Present && info.is_regular && info.size <= kMaxFileBytes &&
           fileops::read_file(path, bytes) && usable(bytes);
}

void put_uint16(std::string& bytes, std::size_t at, int value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void put_uint32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t yyyymmdd(DayNumber day) {
    if (day == 0)
        return 0;
    int year = 0, month = 0, dd = 0;
    date_unpack(day, year, month, dd);
    return static_cast<std::uint32_t>((1900 + year) * 10000 + month * 100 + dd);
}

std::string empty_xmaster() {
    std::string bytes(kSize, '\0');
    bytes.replace(0, 4, "\x5D\xFEXM");
    put_uint16(bytes, 18, kFirstXmasterNumber);
    return bytes;
}

std::string new_record(const XmasterNew& security) {
    std::string record(kSize, '\0');
    record[0] = '\x01';
    const std::string_view symbol = std::string_view(security.symbol).substr(0, 14);
    record.replace(1, symbol.size(), symbol);
    put_text(record, 16, 45, security.name);
    record[62] = security.periodicity;
    put_uint16(record, 65, security.number);
    record[70] = static_cast<char>(security.field_bits);
    put_uint32(record, 104, 19000101u);
    put_uint32(record, 108, yyyymmdd(security.first));
    put_uint32(record, 116, yyyymmdd(security.last));
    return record;
}

} // namespace

int xmaster_free_number(const std::filesystem::path& dir) {
    std::filesystem::path path;
    std::string bytes;
    if (!load_for_change(dir, path, bytes))
        return 0;
    if (bytes.empty())
        return kFirstXmasterNumber;
    const int count = read_uint16(bytes, 10);
    if (count >= 65535)
        return 0;
    std::vector<bool> used(static_cast<std::size_t>(count) + 1, false);
    for (int i = 0; i < count; ++i) {
        const int number = read_uint16(bytes, record_offset(i) + 65) - kFirstXmasterNumber;
        if (number >= 0 && number < static_cast<int>(used.size()))
            used[static_cast<std::size_t>(number)] = true;
    }
    // Among count + 1 numbers one is free.
    int free = 0;
    while (used[static_cast<std::size_t>(free)])
        ++free;
    return kFirstXmasterNumber + free;
}

int xmaster_append(const std::filesystem::path& dir, const XmasterNew& security) {
    std::filesystem::path path;
    std::string bytes;
    if (security.number < kFirstXmasterNumber || security.number > 65535 ||
        !load_for_change(dir, path, bytes))
        return 1;
    if (bytes.empty())
        bytes = empty_xmaster();
    const int count = read_uint16(bytes, 10);
    if (count >= 65535)
        return 1;
    for (int i = 0; i < count; ++i) {
        if (read_uint16(bytes, record_offset(i) + 65) == security.number)
            return 1;
    }
    bytes += new_record(security);
    put_uint16(bytes, 10, count + 1);
    put_uint16(bytes, 14, count + 1);
    if (read_uint16(bytes, 18) <= security.number)
        put_uint16(bytes, 18, security.number + 1 > 65535 ? 65535 : security.number + 1);
    return write(path, portfolio_files::for_writing(dir, "XMASTER.~NU"), bytes) ? 0 : 1;
}
