// The series rewrite: F<n>.DAT is read whole, the new content is built and checked in memory, F<n>.BAK
// is refreshed, and the complete new file replaces F<n>.DAT through F<n>.NEW in one atomic rename.
// Every byte the edit does not change is copied as it was read.
#include "storage/rewrite.h"

#include "storage/directory.h"
#include "storage/fileops.h"
#include "storage/master.h"
#include "storage/mbf.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// R is a signed 16-bit record number: a file holds at most this many bars.
constexpr std::int32_t kMaxBars = 32766;
// Far above the largest real file (32767 records of 76 bytes), and a bound on what is read into memory.
constexpr std::size_t kMaxSeriesFileBytes = std::size_t{16} << 20;

// F<n>.DAT as read: the header record, the bars R promises and the file holds, and whatever follows
// them (records beyond R, a partial record), which is carried over untouched.
struct DatImage {
    std::vector<std::uint8_t> bytes;
    int length = 0;
    std::int32_t bars = 0;

    const std::uint8_t* bar(std::int32_t i) const {
        return bytes.data() + static_cast<std::size_t>(length) * (i + 1);
    }
    std::size_t tail_offset() const { return static_cast<std::size_t>(length) * (bars + 1); }
};

StatusCode load_dat(const std::filesystem::path& path, int length, DatImage& image) {
    fileops::File file = fileops::open_read(path);
    if (!file.is_open())
        return status::kFileOpen;
    std::vector<std::uint8_t> chunk(1 << 16);
    for (;;) {
        long long n = file.read_some(chunk.data(), chunk.size());
        if (n < 0)
            return status::kFileRead;
        image.bytes.insert(image.bytes.end(), chunk.begin(), chunk.begin() + n);
        if (image.bytes.size() > kMaxSeriesFileBytes)
            return status::kBadRecordShape;
        if (static_cast<std::size_t>(n) < chunk.size())
            break;
    }
    image.length = length;
    if (image.bytes.size() < static_cast<std::size_t>(length))
        return status::kBadRecordShape; // not even a header
    std::int16_t last_record = static_cast<std::int16_t>(image.bytes[2] | (image.bytes[3] << 8));
    if (last_record < 1)
        return status::kBadRecordShape;
    image.bars = series_bars_present(last_record, image.bytes.size(), length);
    return status::kOk;
}

bool sets_values(std::int16_t kind) {
    return kind == kEditSet || kind == kEditMultiply || kind == kEditScale;
}

// Values that kinds 1 to 3 would store must survive the trip into MBF; multipliers must be finite.
StatusCode check_request(const SeriesEdit& edit, const FieldLayout& layout) {
    if (edit.kind < kEditSet || edit.kind > kEditInsert)
        return status::kInvalidParm;
    if (!sets_values(edit.kind))
        return status::kOk;
    for (int field = kFieldOpen; field < kFieldNames; ++field) {
        if (layout.position[field] == 0)
            continue;
        float v = edit.values[field - kFieldOpen];
        bool ok = edit.kind == kEditSet ? mbf_representable(v) : std::isfinite(v);
        if (!ok)
            return status::kInvalidParm;
    }
    return status::kOk;
}

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Kinds 1 to 3 on one record, in place: each value field the layout has is written back at its own
// position; a field whose value does not change keeps its bytes.
StatusCode apply_values(std::uint8_t* record, const FieldLayout& layout, const SeriesEdit& edit) {
    for (int field = kFieldOpen; field < kFieldNames; ++field) {
        int position = layout.position[field];
        if (position == 0)
            continue;
        std::uint8_t* cell = record + 4 * (position - 1);
        float old_value = mbf_to_ieee(cell);
        float given = edit.values[field - kFieldOpen];
        float new_value = edit.kind == kEditSet ? given : old_value * given;
        if (!mbf_representable(new_value))
            return status::kInvalidParm;
        if (!same_bits(new_value, old_value))
            ieee_to_mbf(new_value, cell);
    }
    return status::kOk;
}

void append(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size) {
    out.insert(out.end(), data, data + size);
}

void put_last_record(std::vector<std::uint8_t>& out, std::int32_t bars) {
    const auto r = static_cast<std::uint16_t>(bars + 1);
    out[2] = static_cast<std::uint8_t>(r & 0xFF);
    out[3] = static_cast<std::uint8_t>(r >> 8);
}

// The bar that kind 4 removes: the first bar dated the first date (at any time of that day), found by
// the same search as series_find_date.
std::int32_t find_bar_to_delete(const DatImage& image, const FieldLayout& layout, DayNumber date) {
    auto key_at = [&](std::int32_t i, DayNumber& d, TimeOfDay& t) {
        d = record_date(image.bar(i), layout);
        t = record_time(image.bar(i), layout);
        return true;
    };
    DayNumber found = 0;
    TimeOfDay found_time = 0;
    std::int32_t index = series_lower_bound(image.bars, date, 0, key_at, found, found_time);
    if (index < 0 || index >= image.bars || found != date)
        return -1;
    return index;
}

struct Plan {
    std::vector<std::uint8_t> content;
    std::int32_t deleted = -1; // index of the bar kind 4 leaves out
};

StatusCode build_content(const SeriesEdit& edit, const SeriesLocation& at, const DatImage& image,
                         Plan& plan) {
    const FieldLayout& layout = at.layout;
    const std::size_t length = static_cast<std::size_t>(image.length);
    if (edit.bar >= 0) {
        DayNumber d = edit.bar < image.bars ? record_date(image.bar(edit.bar), layout) : 0;
        DayNumber last = edit.kind == kEditDelete ? edit.first_date : edit.last_date;
        if (d == 0 || d < edit.first_date || d > last)
            return edit.kind == kEditDelete ? status::kDeleteNotFound : status::kRecordNotFound;
    }
    if (edit.kind == kEditDelete) {
        plan.deleted = edit.bar >= 0 ? edit.bar : find_bar_to_delete(image, layout, edit.first_date);
        if (plan.deleted < 0)
            return status::kDeleteNotFound;
    }
    std::vector<std::uint8_t>& out = plan.content;
    out.reserve(image.bytes.size() + length * 16);
    append(out, image.bytes.data(), length);
    std::int32_t written = 0;
    const int date_offset = 4 * (layout.position[kFieldDate] - 1);
    for (std::int32_t i = 0; i < image.bars; ++i) {
        if (i == plan.deleted)
            continue;
        const std::uint8_t* bar = image.bar(i);
        DayNumber d = record_date(bar, layout);
        bool in_range = edit.first_date <= d && d <= edit.last_date && (edit.bar < 0 || i == edit.bar);
        if (in_range && edit.kind == kEditInsert) {
            if (written >= kMaxBars)
                return status::kInvalidParm; // R would leave its 16-bit range
            std::size_t at_copy = out.size();
            append(out, bar, length);
            date_to_mbf(previous_weekday(d), out.data() + at_copy + date_offset);
            ++written;
        }
        if (written >= kMaxBars)
            return status::kInvalidParm;
        std::size_t at_bar = out.size();
        append(out, bar, length);
        ++written;
        if (in_range && sets_values(edit.kind)) {
            StatusCode code = apply_values(out.data() + at_bar, layout, edit);
            if (code != status::kOk)
                return code;
        }
    }
    append(out, image.bytes.data() + image.tail_offset(), image.bytes.size() - image.tail_offset());
    // Kinds 4 and 5 change the number of bars; the header states the true number.
    if (edit.kind == kEditDelete || edit.kind == kEditInsert)
        put_last_record(out, written);
    return status::kOk;
}

// The complete new file in place of the old: -2 when F<n>.NEW cannot be created, -5 when writing,
// syncing or renaming it fails. F<n>.DAT is then as it was and F<n>.NEW is gone.
StatusCode replace_series_file(const SeriesLocation& at, const std::vector<std::uint8_t>& content) {
    bool created = false;
    auto produce = [&](fileops::BufferedWriter& writer) {
        created = true;
        return writer.write(content.data(), content.size());
    };
    std::filesystem::path new_path =
        portfolio_files::series_file_for_writing(at.dir, at.record.file_number(), "NEW");
    if (fileops::replace_file(at.file("DAT"), new_path, produce))
        return status::kOk;
    return created ? status::kFileWrite : status::kFileOpen;
}

std::string normal_text(const std::filesystem::path& p) {
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && (s.back() == '/' || s.back() == '\\'))
        s.pop_back();
    return s.empty() ? "." : s;
}

// The MASTER that lists the security: the caller's for the portfolio itself, the nested one's for a
// security found in a nested portfolio (its file number means nothing in the caller's MASTER).
std::filesystem::path owning_master(const std::filesystem::path& dir,
                                    const std::filesystem::path& master_path, const SeriesLocation& at) {
    if (!master_path.empty() && normal_text(dir) == normal_text(at.dir))
        return master_path;
    return portfolio_files::master(at.dir);
}

bool set_master_date(const std::filesystem::path& master, const SeriesLocation& at, const DatImage& image,
                     std::int32_t bar, int which, std::string* emaster_note) {
    std::uint8_t date[4];
    date_to_mbf(record_date(image.bar(bar), at.layout), date);
    return master_set_date(master, at.record.file_number(), date, which, emaster_note) == 0;
}

// Kind 4 keeps the first and last dates right, from the file's own bar count. Only the first or the
// last bar moves a date.
bool update_master_dates(const std::filesystem::path& master, const SeriesLocation& at, const DatImage& image,
                         std::int32_t deleted, std::string* emaster_note) {
    const std::int32_t bars = image.bars;
    if (deleted == 0 && bars > 1)
        return set_master_date(master, at, image, 1, 0, emaster_note);
    if (deleted == bars - 1 && bars > 1)
        return set_master_date(master, at, image, bars - 2, 1, emaster_note);
    if (deleted == 0 && bars == 1) {
        if (!set_master_date(master, at, image, 0, 1, emaster_note))
            return false;
        if (set_master_date(master, at, image, 0, 0, emaster_note))
            return true;
        // Put the last date back as it was, so MASTER is not left half changed.
        MasterRecord old = at.record;
        old.dates_to_mbf();
        master_set_date(master, at.record.file_number(), &old.bytes[29], 1);
        return false;
    }
    return true;
}

// The refreshed backup, then the new content in place of F<n>.DAT. The backup is replaced atomically too
// (through F<n>.NEW), so a failed refresh keeps the older one.
StatusCode write_with_backup(const SeriesLocation& at, const DatImage& image,
                             const std::vector<std::uint8_t>& content) {
    const std::filesystem::path backup =
        portfolio_files::series_file_for_writing(at.dir, at.record.file_number(), "BAK");
    const std::filesystem::path backup_temp =
        portfolio_files::series_file_for_writing(at.dir, at.record.file_number(), "NEW");
    if (!fileops::replace_file(
            backup, backup_temp,
            [&image](fileops::BufferedWriter& out) {
                return out.write(image.bytes.data(), image.bytes.size());
            },
            at.file("DAT")))
        return status::kFileWrite;
    return replace_series_file(at, content);
}

// ---- Merge -----------------------------------------------------------------------------------------

struct BarKey {
    DayNumber date = 0;
    TimeOfDay time = 0;
    auto operator<=>(const BarKey&) const = default;
};

BarKey stored_key(const std::uint8_t* record, const FieldLayout& layout) {
    return {record_date(record, layout), layout.position[kFieldTime] != 0 ? record_time(record, layout) : 0};
}

// The given values of a quote written into a record; false when one cannot be held in MBF. A value whose
// bytes do not change keeps them.
bool put_values(std::uint8_t* record, const FieldLayout& layout, const MergeQuote& quote) {
    for (int field = kFieldOpen; field < kFieldNames; ++field) {
        const int position = layout.position[field];
        const int value = field - kFieldOpen;
        if (position == 0 || (quote.given & (1u << value)) == 0)
            continue;
        if (!mbf_representable(quote.values[value]))
            return false;
        std::uint8_t bytes[4];
        ieee_to_mbf(quote.values[value], bytes);
        std::memcpy(record + 4 * (position - 1), bytes, 4);
    }
    return true;
}

// A new bar: DATE, TIME when the layout has it, the given values, 0 elsewhere.
bool put_new_bar(std::vector<std::uint8_t>& out, int length, const FieldLayout& layout,
                 const MergeQuote& quote) {
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(length), 0);
    std::uint8_t* record = out.data() + at;
    date_to_mbf(quote.date, record + 4 * (layout.position[kFieldDate] - 1));
    if (layout.position[kFieldTime] != 0)
        ieee_to_mbf(static_cast<float>(quote.time), record + 4 * (layout.position[kFieldTime] - 1));
    return put_values(record, layout, quote);
}

} // namespace

int series_merge_image(const std::vector<std::uint8_t>& bytes, int record_length, const FieldLayout& layout,
                       const std::vector<MergeQuote>& quotes, bool keep_existing,
                       std::vector<std::uint8_t>& out, MergeCounts& counts) {
    counts = MergeCounts{};
    out.clear();
    const auto length = static_cast<std::size_t>(record_length);
    if (record_length <= 0 || layout.position[kFieldDate] == 0 || bytes.size() < length)
        return status::kBadRecordShape;
    const auto last_record = static_cast<std::int16_t>(bytes[2] | (bytes[3] << 8));
    if (last_record < 1)
        return status::kBadRecordShape;
    const std::int32_t bars = series_bars_present(last_record, bytes.size(), record_length);
    auto bar = [&](std::int32_t i) { return bytes.data() + length * static_cast<std::size_t>(i + 1); };
    for (std::int32_t i = 1; i < bars; ++i) {
        if (stored_key(bar(i), layout) < stored_key(bar(i - 1), layout)) {
            counts.bars = i;
            return status::kRecordNotFound;
        }
    }
    const bool timed = layout.position[kFieldTime] != 0;
    for (std::size_t k = 0; k < quotes.size(); ++k) {
        if (!timed && quotes[k].time != 0)
            return status::kInvalidParm; // a series without TIME keeps no time of day
        if (k > 0 &&
            !(BarKey{quotes[k - 1].date, quotes[k - 1].time} < BarKey{quotes[k].date, quotes[k].time}))
            return status::kInvalidParm;
    }
    out.reserve(bytes.size() + quotes.size() * length);
    append(out, bytes.data(), length);
    std::int32_t i = 0, written = 0;
    std::size_t j = 0;
    while (i < bars || j < quotes.size()) {
        if (written >= kMaxBars)
            return status::kInvalidParm; // R would leave its 16-bit range
        const BarKey quote_key =
            j < quotes.size() ? BarKey{quotes[j].date, timed ? quotes[j].time : 0} : BarKey{};
        if (j == quotes.size() || (i < bars && stored_key(bar(i), layout) < quote_key)) {
            append(out, bar(i++), length);
        } else if (i == bars || quote_key < stored_key(bar(i), layout)) {
            if (!put_new_bar(out, record_length, layout, quotes[j++]))
                return status::kInvalidParm;
            ++counts.added;
        } else {
            const std::size_t at = out.size();
            append(out, bar(i++), length);
            if (!keep_existing && !put_values(out.data() + at, layout, quotes[j]))
                return status::kInvalidParm;
            ++j;
            const bool same = std::memcmp(out.data() + at, bar(i - 1), length) == 0;
            ++(same ? counts.unchanged : counts.replaced);
        }
        ++written;
    }
    const std::size_t tail = length * static_cast<std::size_t>(bars + 1);
    append(out, bytes.data() + tail, bytes.size() - tail);
    if (counts.added > 0)
        put_last_record(out, written);
    counts.bars = written;
    if (written > 0) {
        counts.first = record_date(out.data() + length, layout);
        counts.last = record_date(out.data() + length * static_cast<std::size_t>(written), layout);
    }
    return status::kOk;
}

int series_merge_count(const SeriesLocation& at, const std::vector<MergeQuote>& quotes, bool keep_existing,
                       MergeCounts& counts) {
    DatImage image;
    StatusCode code = load_dat(at.file("DAT"), at.record.record_length(), image);
    if (code != status::kOk)
        return code;
    std::vector<std::uint8_t> content;
    return series_merge_image(image.bytes, image.length, at.layout, quotes, keep_existing, content, counts);
}

int series_merge_at(const SeriesLocation& at, const std::vector<MergeQuote>& quotes, bool keep_existing,
                    const std::filesystem::path& dir, const std::filesystem::path& master_path,
                    MergeCounts& counts, std::string* emaster_note) {
    DatImage image;
    StatusCode code = load_dat(at.file("DAT"), at.record.record_length(), image);
    if (code != status::kOk)
        return code;
    std::vector<std::uint8_t> content;
    code = static_cast<StatusCode>(
        series_merge_image(image.bytes, image.length, at.layout, quotes, keep_existing, content, counts));
    if (code != status::kOk)
        return code;
    if (content == image.bytes)
        return status::kOk;
    code = write_with_backup(at, image, content);
    if (code != status::kOk)
        return code;
    MasterRecord stored = at.record;
    stored.dates_to_mbf();
    std::uint8_t first[4], last[4];
    date_to_mbf(counts.first, first);
    date_to_mbf(counts.last, last);
    if (std::memcmp(first, &stored.bytes[kMasterFirstDateOffset], 4) == 0 &&
        std::memcmp(last, &stored.bytes[kMasterLastDateOffset], 4) == 0)
        return status::kOk;
    if (master_set_dates(owning_master(dir, master_path, at), at.record.file_number(), first, last,
                         emaster_note) == 0)
        return status::kOk;
    // The directory files could not follow: the old bars go back, so the two stay in step.
    replace_series_file(at, image.bytes);
    return status::kFileWrite;
}

int series_rewrite(const SeriesEdit& edit, const std::filesystem::path& dir, std::string_view key,
                   std::int32_t bar_count, const std::filesystem::path& master_path, bool* changed,
                   std::string* emaster_note) {
    (void)bar_count; // kind 4 trusts the file's own count, never a count read earlier
    if (changed)
        *changed = false;
    SeriesLocation at;
    if (StatusCode code = series_locate(dir, key, at); code != status::kOk)
        return code;
    return series_rewrite_at(edit, at, dir, master_path, changed, emaster_note);
}

int series_rewrite_at(const SeriesEdit& edit, const SeriesLocation& at, const std::filesystem::path& dir,
                      const std::filesystem::path& master_path, bool* changed, std::string* emaster_note) {
    if (changed)
        *changed = false;
    StatusCode code = check_request(edit, at.layout);
    if (code != status::kOk)
        return code;
    DatImage image;
    code = load_dat(at.file("DAT"), at.record.record_length(), image);
    if (code != status::kOk)
        return code;
    Plan plan;
    code = build_content(edit, at, image, plan);
    if (code != status::kOk)
        return code;
    // An edit that changes no byte writes nothing: F<n>.BAK keeps the state before the last real change.
    if (plan.content == image.bytes)
        return status::kOk;

    code = write_with_backup(at, image, plan.content);
    if (code != status::kOk)
        return code;
    if (edit.kind == kEditDelete &&
        !update_master_dates(owning_master(dir, master_path, at), at, image, plan.deleted, emaster_note)) {
        // MASTER could not follow: put the old bars back so the two files stay in step.
        replace_series_file(at, image.bytes);
        return status::kFileWrite;
    }
    if (changed)
        *changed = true;
    return status::kOk;
}
