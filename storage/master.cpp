#include "storage/master.h"

#include "storage/emaster.h"
#include "storage/encoding.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "storage/xmaster.h"

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr int kFileNumberOffset = 0;
constexpr int kRecordLengthOffset = 3;
constexpr int kFieldCountOffset = 4;
constexpr int kPeriodicityOffset = 33;
constexpr int kNameOffset = 7;
constexpr int kSymbolOffset = 36;
constexpr int kTextLength = 16;
constexpr int kFirstDateOffset = 25;
constexpr int kLastDateOffset = 29;
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

std::string_view trim_trailing_blanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
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

// A counter moved by one, held inside the int16 range instead of wrapping round.
std::int16_t stepped(std::int16_t value, int delta) {
    int next = std::clamp(value + delta, int{std::numeric_limits<std::int16_t>::min()},
                          int{std::numeric_limits<std::int16_t>::max()});
    return static_cast<std::int16_t>(next);
}

bool valid_file_number(int file_number) {
    return file_number >= 1 && file_number <= kMaxSecurities;
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
    int length = 0;
    while (length < kTextLength && !ends_symbol(record.bytes[kSymbolOffset + length]))
        ++length;
    return {reinterpret_cast<const char*>(&record.bytes[kSymbolOffset]), static_cast<std::size_t>(length)};
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

namespace {

template <typename Bytes> bool image_from(const Bytes& data, MasterImage& image) {
    if (data.size() < static_cast<std::size_t>(kMasterRecordSize))
        return false;
    std::copy(data.begin(), data.begin() + kMasterRecordSize, image.header.bytes.begin());
    std::size_t body = data.size() - kMasterRecordSize;
    auto records_end =
        data.begin() + kMasterRecordSize + static_cast<std::ptrdiff_t>(body - body % kMasterRecordSize);
    image.records.assign(data.begin() + kMasterRecordSize, records_end);
    image.trailing.assign(records_end, data.end());
    return true;
}

} // namespace

bool master_read_image(const fs::path& master_path, MasterImage& image) {
    image = MasterImage{};
    // Within an operation MASTER is read once, however many times it is asked for.
    if (fileops::in_operation_scope()) {
        if (auto content = fileops::read_file_kept(master_path, kMaxMasterFileBytes))
            return image_from(*content, image);
    }
    fileops::File file = fileops::open_read(master_path);
    if (!file.is_open())
        return false;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> chunk(1 << 16);
    for (;;) {
        long long got = file.read_some(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        data.insert(data.end(), chunk.begin(), chunk.begin() + got);
        if (data.size() > kMaxMasterFileBytes)
            return false;
        if (static_cast<std::size_t>(got) < chunk.size())
            break;
    }
    return image_from(data, image);
}

bool master_read_regular_image(const fs::path& master_path, MasterImage& image) {
    image = MasterImage{};
    const fileops::FileStat info = fileops::stat(master_path);
    if (!info.exists || !info.is_regular || info.size > kMaxMasterFileBytes)
        return false;
    return master_read_image(master_path, image);
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

// ---- Lookup -------------------------------------------------------------------------------------

namespace {

// The counted records of one MASTER, read without looking at the unused slots behind them.
enum class LevelRead { Missing, Read, Error };

// The counted records from a whole MASTER the operation has read already.
LevelRead counted_records_of(const std::string& content, std::vector<MasterRecord>& records) {
    if (content.size() < static_cast<std::size_t>(kMasterRecordSize))
        return LevelRead::Missing; // too short to be a MASTER
    MasterHeader header;
    std::copy_n(content.begin(), kMasterRecordSize, header.bytes.begin());
    const std::size_t counted = header.count() > 0 ? static_cast<std::size_t>(header.count()) : 0;
    const std::size_t complete = std::min(counted, content.size() / kMasterRecordSize - 1);
    records.resize(complete);
    for (std::size_t i = 0; i < complete; ++i)
        std::copy_n(content.begin() + static_cast<std::ptrdiff_t>((i + 1) * kMasterRecordSize),
                    kMasterRecordSize, records[i].bytes.begin());
    return LevelRead::Read;
}

LevelRead read_counted_records(const fs::path& master_path, std::vector<MasterRecord>& records) {
    records.clear();
    if (const auto content = fileops::file_kept(master_path))
        return counted_records_of(*content, records);
    fileops::File file = fileops::open_read(master_path);
    if (!file.is_open())
        return LevelRead::Missing;
    MasterHeader header;
    long long got = file.read_some(header.bytes.data(), header.bytes.size());
    if (got < 0)
        return errno == EISDIR ? LevelRead::Missing : LevelRead::Error;
    if (got < kMasterRecordSize)
        return LevelRead::Missing; // too short to be a MASTER
    std::size_t counted = header.count() > 0 ? static_cast<std::size_t>(header.count()) : 0;
    std::vector<std::uint8_t> body(counted * kMasterRecordSize);
    got = file.read_some(body.data(), body.size());
    if (got < 0)
        return LevelRead::Error;
    std::size_t complete = static_cast<std::size_t>(got) / kMasterRecordSize;
    records.resize(complete);
    for (std::size_t i = 0; i < complete; ++i)
        std::copy_n(body.begin() + static_cast<std::ptrdiff_t>(i * kMasterRecordSize), kMasterRecordSize,
                    records[i].bytes.begin());
    return LevelRead::Read;
}

// A nested portfolio is followed only to a plain subdirectory name: nothing that climbs out of the
// tree, stays in place, or reaches another drive.
bool safe_directory_name(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of("/\\:") == std::string_view::npos;
}

// What identifies a directory however it was reached (through a link, or in another letter case).
struct DirIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string path; // used only where the host reports no inode numbers
    auto operator<=>(const DirIdentity&) const = default;
};

// False when `dir` is not a directory. Statting "<dir>/." looks through a link to the directory itself.
bool directory_identity(const fs::path& dir, DirIdentity& identity) {
    fileops::FileStat st = fileops::stat(dir.empty() ? fs::path(".") : dir / ".");
    if (!st.exists || !st.is_dir)
        return false;
    identity = DirIdentity{st.device, st.inode, {}};
    if (st.device == 0 && st.inode == 0)
        identity.path = dir.lexically_normal().generic_string();
    return true;
}

// The securities of one level (MASTER's counted ones, then XMASTER's) as an operation read them, with
// the first security each key names: within an operation a level is indexed once instead of being
// scanned for every key. Each use checks that MASTER and XMASTER are still the files indexed.
struct LevelIndex {
    bool built = false; // false: the level was looked at once, and scanned
    fileops::FileStat master_state, xmaster_state;
    std::vector<MasterRecord> securities;
    std::vector<std::string> nested;
    std::map<std::string, std::size_t> first_by_key; // upper-case key, index into securities

    // Every key master_key_matches accepts for the record: its name, and each run of leading words of
    // its symbol (the text before a blank, or the whole text), without trailing blanks.
    void add(const MasterRecord& record) {
        const std::size_t index = securities.size();
        securities.push_back(record);
        auto note = [&](std::string_view key) {
            if (!key.empty() && key.back() != ' ')
                first_by_key.emplace(portfolio_files::to_upper(key), index);
        };
        note(trim_trailing_blanks(field_text(record, kNameOffset, kTextLength)));
        const std::string_view symbol = field_text(record, kSymbolOffset, kTextLength);
        for (std::size_t at = symbol.find(' '); at != std::string_view::npos; at = symbol.find(' ', at + 1))
            note(symbol.substr(0, at));
        note(symbol);
    }

    std::size_t first_named(std::string_view key) const {
        key = trim_trailing_blanks(key);
        if (key.empty())
            return securities.size();
        auto found = first_by_key.find(portfolio_files::to_upper(key));
        return found == first_by_key.end() ? securities.size() : found->second;
    }
};

// The state of the file a level's directory file is, absent ones included.
fileops::FileStat directory_file_state(const fs::path& dir, std::string_view name, bool& known) {
    fs::path path;
    const portfolio_files::Presence presence = portfolio_files::lookup(dir, name, path);
    known = presence != portfolio_files::Presence::Unknown;
    return presence == portfolio_files::Presence::Present ? fileops::stat(path) : fileops::FileStat{};
}

// The index of the level at `dir` within the operation; null outside one, or when MASTER or XMASTER is
// not a plain readable file (the level is then scanned as it stands).
const LevelIndex* level_index(const fs::path& dir) {
    std::shared_ptr<void>* slot = fileops::kept_value("master levels " + dir.generic_string());
    if (!slot)
        return nullptr;
    // An operation that looks one security up scans the level as it stands; the index pays from the
    // second look-up on.
    if (!*slot) {
        *slot = std::make_shared<LevelIndex>();
        return nullptr;
    }
    bool master_known = false, xmaster_known = false;
    const fileops::FileStat master_state = directory_file_state(dir, "MASTER", master_known);
    const fileops::FileStat xmaster_state = directory_file_state(dir, "XMASTER", xmaster_known);
    if (!master_known || !xmaster_known || !master_state.is_regular ||
        (xmaster_state.exists && !xmaster_state.is_regular))
        return nullptr;
    auto index = std::static_pointer_cast<LevelIndex>(*slot);
    if (index->built && fileops::same_file_state(index->master_state, master_state) &&
        fileops::same_file_state(index->xmaster_state, xmaster_state))
        return index.get();
    const auto content = fileops::read_file_kept(portfolio_files::master(dir), kMaxMasterFileBytes);
    if (!content)
        return nullptr;
    index = std::make_shared<LevelIndex>();
    index->built = true;
    index->master_state = master_state;
    index->xmaster_state = xmaster_state;
    if (content->size() >= static_cast<std::size_t>(kMasterRecordSize)) {
        MasterHeader header;
        std::copy_n(content->begin(), kMasterRecordSize, header.bytes.begin());
        const std::size_t complete = (content->size() - kMasterRecordSize) / kMasterRecordSize;
        const std::size_t counted =
            std::min(complete, static_cast<std::size_t>(std::max<int>(header.count(), 0)));
        for (std::size_t i = 0; i < counted; ++i) {
            MasterRecord record;
            std::copy_n(content->begin() + static_cast<std::ptrdiff_t>((i + 1) * kMasterRecordSize),
                        kMasterRecordSize, record.bytes.begin());
            std::string dir_name;
            if (master_is_directory_entry(record, &dir_name)) {
                if (safe_directory_name(dir_name))
                    index->nested.push_back(std::move(dir_name));
            } else {
                index->add(record);
            }
        }
        // XMASTER counts only beside a MASTER that could be read.
        for (const XmasterSecurity& security : xmaster_read(dir))
            index->add(security.record);
    }
    *slot = index;
    return index.get();
}

struct Level {
    fs::path dir;
    std::vector<std::string> nested; // directory names of the level's directory entries, in file order
    std::size_t next_nested = 0;
};

class Lookup {
public:
    Lookup(std::string_view key, MasterRecord& record, fs::path& found_dir)
        : key_(key), record_(record), found_dir_(found_dir) {}

    StatusCode run(const fs::path& dir) {
        bool found = false;
        levels_.push_back(Level{dir, {}, 0});
        if (StatusCode status = scan(levels_.back(), found); status != status::kOk || found)
            return status;
        // What the starting directory is matters only to the nested portfolios, so a security found in
        // it costs no look at the directory itself.
        DirIdentity identity;
        if (directory_identity(dir, identity))
            visited_.insert(identity);
        while (!levels_.empty()) {
            Level& level = levels_.back();
            if (level.next_nested == level.nested.size()) {
                levels_.pop_back();
                continue;
            }
            fs::path child = portfolio_files::existing(level.dir, level.nested[level.next_nested++]);
            if (!directory_identity(child, identity) || visited_.count(identity))
                continue;
            if (levels_.size() > static_cast<std::size_t>(kMaxNesting))
                return status::kNestingTooDeep;
            visited_.insert(identity);
            levels_.push_back(Level{child, {}, 0});
            if (StatusCode status = scan(levels_.back(), found); status != status::kOk || found)
                return status;
        }
        return status::kFileNotFound;
    }

private:
    // Compares the securities of one level with the key and notes its nested portfolios.
    StatusCode scan(Level& level, bool& found) {
        if (const LevelIndex* index = level_index(level.dir)) {
            level.nested = index->nested;
            const std::size_t at = index->first_named(key_);
            return at < index->securities.size() ? take(index->securities[at], level, found) : status::kOk;
        }
        std::vector<MasterRecord> records;
        LevelRead read = read_counted_records(portfolio_files::master(level.dir), records);
        if (read == LevelRead::Error)
            return status::kFileRead;
        for (const MasterRecord& record : records) {
            std::string dir_name;
            if (master_is_directory_entry(record, &dir_name)) {
                if (safe_directory_name(dir_name))
                    level.nested.push_back(std::move(dir_name));
            } else if (master_key_matches(record, key_)) {
                return take(record, level, found);
            }
        }
        // XMASTER is read only when MASTER does not hold the key.
        if (read == LevelRead::Read) {
            for (const XmasterSecurity& security : xmaster_read(level.dir)) {
                if (master_key_matches(security.record, key_))
                    return take(security.record, level, found);
            }
        }
        return status::kOk;
    }

    StatusCode take(const MasterRecord& record, const Level& level, bool& found) {
        record_ = record;
        record_.dates_to_ieee();
        found_dir_ = level.dir;
        found = true;
        return status::kOk;
    }

    std::string_view key_;
    MasterRecord& record_;
    fs::path& found_dir_;
    std::vector<Level> levels_;
    std::set<DirIdentity> visited_;
};

} // namespace

StatusCode master_find(const fs::path& dir, std::string_view key, MasterRecord& record, fs::path& found_dir) {
    return Lookup(key, record, found_dir).run(dir);
}

// ---- Rewrites -----------------------------------------------------------------------------------

namespace {

// The MASTER a caller named, found ignoring letter case when the exact name is not there, and spelt as
// the directory keeps it where the file system ignores case.
fs::path resolve_master(const fs::path& master_path) {
    return portfolio_files::existing(master_path.parent_path(), master_path.filename().string());
}

bool write_bytes(const fs::path& target, const fs::path& temp, const std::vector<std::uint8_t>& bytes) {
    return fileops::replace_file(target, temp, [&](fileops::BufferedWriter& writer) {
        return writer.write(bytes.data(), bytes.size());
    });
}

// Index of the first counted security record (directory entries aside) carrying the number, or -1.
int find_security(const MasterImage& image, int file_number) {
    for (int i = 0; i < image.records_counted(); ++i) {
        MasterRecord record = image.record(i);
        if (record.file_number() == file_number && !master_is_directory_entry(record))
            return i;
    }
    return -1;
}

// Applies `change` to every counted security record with the number, keeps the previous file as
// MASTER.BAK and puts the new copy in place through MASTER.NEW.
int rewrite_with_backup(const fs::path& given_path, int file_number,
                        const std::function<void(MasterRecord&)>& change, std::string* emaster_note) {
    if (!valid_file_number(file_number))
        return 1;
    fs::path master_path = resolve_master(given_path);
    MasterImage image;
    if (!master_read_image(master_path, image) || image.count_damaged() ||
        find_security(image, file_number) < 0)
        return 1;
    const MasterImage before = image;
    for (int i = 0; i < image.records_counted(); ++i) {
        MasterRecord record = image.record(i);
        if (record.file_number() == file_number && !master_is_directory_entry(record)) {
            change(record);
            image.set_record(i, record);
        }
    }
    // A change that changes nothing writes nothing: MASTER.BAK keeps the state before the last real one.
    if (image.records == before.records)
        return 0;
    return master_replace(master_path, before, image, ".NEW", true, nullptr, emaster_note) ? 0 : 1;
}

void step_counters(MasterHeader& header, int delta) {
    header.set_count(stepped(header.count(), delta));
    header.set_second_counter(stepped(header.second_counter(), delta));
}

// Deletes every file of that name, in whatever letter case it is stored (at most a few variants).
bool delete_series_file(const fs::path& dir, int file_number, std::string_view extension) {
    for (int variant = 0; variant < 8; ++variant) {
        if (!fileops::remove_file(portfolio_files::series_file(dir, file_number, extension)))
            return errno == ENOENT;
    }
    return true;
}

} // namespace

int master_set_names(const fs::path& master_path, int file_number, std::string_view symbol,
                     std::string_view name, std::string* emaster_note) {
    return rewrite_with_backup(
        master_path, file_number,
        [&](MasterRecord& record) {
            store_text(record, kSymbolOffset, symbol);
            store_text(record, kNameOffset, name);
        },
        emaster_note);
}

int master_set_date(const fs::path& master_path, int file_number, const std::uint8_t date_mbf[4], int which,
                    std::string* emaster_note) {
    if (!date_mbf)
        return 1;
    if (file_number >= kFirstXmasterNumber) // a security of XMASTER keeps its dates there
        return xmaster_set_date(resolve_master(master_path).parent_path(), file_number, date_mbf, which);
    int offset = which != 0 ? kLastDateOffset : kFirstDateOffset;
    return rewrite_with_backup(
        master_path, file_number,
        [&](MasterRecord& record) { std::copy_n(date_mbf, 4, &record.bytes[offset]); }, emaster_note);
}

int master_append(const fs::path& dir, const MasterRecord& record, int& new_file_number,
                  const EmasterRecord* extended, std::string* emaster_note) {
    new_file_number = 0;
    fs::path master_path = portfolio_files::master(dir);
    MasterImage image;
    if (!master_read_image(master_path, image))
        return 1;
    // Full means 255 records or no free number. The second counter moves with the count but need not
    // equal it (real files hold the highest file number there), so it decides nothing.
    if (image.header.count() >= kMaxSecurities)
        return 2;
    if (image.count_damaged())
        return 1;
    int number = lowest_free_number(image);
    if (number == 0)
        return 2;
    const MasterImage before = image;
    MasterRecord added = record;
    added.bytes[kFileNumberOffset] = static_cast<std::uint8_t>(number);
    auto at =
        image.records.begin() + static_cast<std::ptrdiff_t>(image.records_counted()) * kMasterRecordSize;
    image.records.insert(at, added.bytes.begin(), added.bytes.end());
    step_counters(image.header, +1);
    if (!master_replace(master_path, before, image, ".~NU", false, extended, emaster_note))
        return 1;
    new_file_number = number;
    return 0;
}

int master_remove(const fs::path& dir, int file_number, bool delete_files, std::string* emaster_note) {
    if (!valid_file_number(file_number))
        return 1;
    fs::path master_path = portfolio_files::master(dir);
    MasterImage image;
    if (!master_read_image(master_path, image) || image.count_damaged())
        return 1;
    int index = find_security(image, file_number);
    if (index < 0)
        return 1;
    const MasterImage before = image;
    auto at = image.records.begin() + static_cast<std::ptrdiff_t>(index) * kMasterRecordSize;
    image.records.erase(at, at + kMasterRecordSize);
    step_counters(image.header, -1);
    // Both directory files lose the record before the files it points to go.
    if (!master_replace(master_path, before, image, ".~NU", false, nullptr, emaster_note))
        return 1;
    if (!delete_files)
        return 0;
    bool deleted = true;
    for (std::string_view extension : {"DAT", "DOP", "BAK"})
        deleted = delete_series_file(dir, file_number, extension) && deleted;
    return deleted ? 0 : 3;
}

bool master_replace(const fs::path& master_path, const MasterImage& before, const MasterImage& after,
                    std::string_view temp_suffix, bool backup, const EmasterRecord* added,
                    std::string* emaster_note) {
    const fs::path dir = master_path.parent_path();
    const fs::path temp = portfolio_files::for_writing(dir, "MASTER" + std::string(temp_suffix));
    const EmasterFile extended = emaster_read(dir, before);
    if (extended.state == EmasterState::Unreadable)
        return false;
    if (extended.state == EmasterState::Unusable && emaster_note)
        *emaster_note = emaster_left_message(extended);
    // One out of step (a caller that did not heal it first) is rebuilt from `before`, then follows.
    const bool rebuild = extended.state == EmasterState::OutOfStep;
    if (rebuild && emaster_note)
        *emaster_note = emaster_rebuilt_message(extended);
    const bool follow = extended.state == EmasterState::Usable || rebuild;
    const std::vector<std::uint8_t> new_extended =
        follow ? emaster_follow(rebuild ? emaster_rebuild(extended, before) : extended.bytes, before, after,
                                added)
               : std::vector<std::uint8_t>{};
    const bool write_extended = follow && new_extended != extended.bytes;
    const fs::path extended_temp = portfolio_files::for_writing(dir, "EMASTER" + std::string(temp_suffix));
    // The backups go through the temporary names too, so a failed copy keeps the older backup whole.
    if (backup &&
        !fileops::copy_file_atomic(master_path, portfolio_files::for_writing(dir, "MASTER.BAK"), temp))
        return false;
    if ((backup || rebuild) && write_extended &&
        !fileops::copy_file_atomic(extended.path, portfolio_files::for_writing(dir, "EMASTER.BAK"),
                                   extended_temp))
        return false;
    // EMASTER first, then MASTER. A record is added only after its files are in place and removed before
    // they go, so whichever of the two a kill falls between, every record of either file points to
    // complete quote files. When MASTER cannot follow, EMASTER is put back as it was.
    if (write_extended && !write_bytes(extended.path, extended_temp, new_extended))
        return false;
    if (write_bytes(master_path, temp, after.bytes()))
        return true;
    const int saved = errno;
    if (write_extended)
        write_bytes(extended.path, extended_temp, extended.bytes);
    errno = saved;
    return false;
}
