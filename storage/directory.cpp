#include "storage/directory.h"

#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "storage/text_util.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

std::int16_t stepped(std::int16_t value, int delta) {
    int next = std::clamp(value + delta, int{std::numeric_limits<std::int16_t>::min()},
                          int{std::numeric_limits<std::int16_t>::max()});
    return static_cast<std::int16_t>(next);
}

bool valid_file_number(int file_number) {
    return file_number >= 1 && file_number <= kMaxSecurities;
}
} // namespace

// ---- Lookup -------------------------------------------------------------------------------------

namespace {

// The counted records of one MASTER, read without looking at the unused slots behind them.

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
        note(trim_trailing_blanks(master_field_view(record, kMasterNameOffset)));
        const std::string_view symbol = master_field_view(record, kMasterSymbolOffset);
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
    if (content.size() >= static_cast<std::size_t>(kMasterRecordSize)) {
        MasterHeader header;
        std::copy_n(content.begin(), kMasterRecordSize, header.bytes.begin());
        const std::size_t complete = (content.size() - kMasterRecordSize) / kMasterRecordSize;
        const std::size_t counted =
            std::min(complete, static_cast<std::size_t>(std::max<int>(header.count(), 0)));
        for (std::size_t i = 0; i < counted; ++i) {
            MasterRecord record;
            std::copy_n(content.begin() + static_cast<std::ptrdiff_t>((i + 1) * kMasterRecordSize),
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
        MasterRead read = master_read_counted(portfolio_files::master(level.dir), records);
        if (read == MasterRead::Error)
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
        if (read == MasterRead::Read) {
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
            record.set_symbol(symbol);
            record.set_name(name);
        },
        emaster_note);
}

int master_set_date(const fs::path& master_path, int file_number, const std::uint8_t date_mbf[4], int which,
                    std::string* emaster_note) {
    if (!date_mbf)
        return 1;
    if (file_number >= kFirstXmasterNumber) // a security of XMASTER keeps its dates there
        return xmaster_set_date(resolve_master(master_path).parent_path(), file_number, date_mbf, which);
    int offset = which != 0 ? kMasterLastDateOffset : kMasterFirstDateOffset;
    return rewrite_with_backup(
        master_path, file_number,
        [&](MasterRecord& record) { std::copy_n(date_mbf, 4, &record.bytes[offset]); }, emaster_note);
}

int master_set_dates(const fs::path& master_path, int file_number, const std::uint8_t first_mbf[4],
                     const std::uint8_t last_mbf[4], std::string* emaster_note) {
    if (!first_mbf || !last_mbf)
        return 1;
    if (file_number >= kFirstXmasterNumber)
        return xmaster_set_dates(resolve_master(master_path).parent_path(), file_number, first_mbf, last_mbf);
    return rewrite_with_backup(
        master_path, file_number,
        [&](MasterRecord& record) {
            std::copy_n(first_mbf, 4, &record.bytes[kMasterFirstDateOffset]);
            std::copy_n(last_mbf, 4, &record.bytes[kMasterLastDateOffset]);
        },
        emaster_note);
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
    added.bytes[kMasterFileNumberOffset] = static_cast<std::uint8_t>(number);
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

// ---- EMASTER beside MASTER ------------------------------------------------------------------------

EmasterState emaster_find(const fs::path& dir, int file_number, EmasterRecord& record) {
    MasterImage master;
    if (!master_read_image(portfolio_files::master(dir), master))
        return EmasterState::Unreadable;
    EmasterFile file = emaster_read(dir, master);
    if (file.state == EmasterState::Unreadable)
        return file.state;
    if (file.state == EmasterState::OutOfStep) { // read as it will stand once rebuilt
        file.bytes = emaster_rebuild(file, master);
        file.state = EmasterState::Usable;
    }
    for (int i = 0; file.state == EmasterState::Usable && i < master.records_counted(); ++i) {
        if (master.record(i).file_number() == file_number && !master_is_directory_entry(master.record(i))) {
            record = file.record(i);
            return EmasterState::Usable;
        }
    }
    return EmasterState::Absent;
}

int emaster_heal(const fs::path& dir, std::string* message) {
    // A MASTER that cannot be read leaves the two files' agreement unknown: the command must not go on.
    MasterImage master;
    if (!master_read_image(portfolio_files::master(dir), master))
        return -1;
    const EmasterFile file = emaster_read(dir, master);
    if (file.state == EmasterState::Unreadable)
        return -1;
    if (file.state != EmasterState::OutOfStep)
        return 0;
    const std::vector<std::uint8_t> rebuilt = emaster_rebuild(file, master);
    const fs::path temp = portfolio_files::for_writing(dir, "EMASTER.NEW");
    if (!fileops::copy_file_atomic(file.path, portfolio_files::for_writing(dir, "EMASTER.BAK"), temp) ||
        !fileops::replace_file(file.path, temp, [&](fileops::BufferedWriter& writer) {
            return writer.write(rebuilt.data(), rebuilt.size());
        }))
        return -1;
    if (message)
        *message = emaster_rebuilt_message(file);
    return 1;
}
