#include "storage/series_create.h"

#include "storage/directory.h"
#include "storage/emaster.h"
#include "storage/fileops.h"
#include "storage/master.h"
#include "storage/portfolio_files.h"
#include "storage/xmaster.h"

#include <cerrno>
#include <initializer_list>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr int kPriceCode = 2; // hundredths

// The bit of each field in the EMASTER and XMASTER bitset, by FieldIndex.
constexpr std::uint8_t kFieldBits[kFieldNames] = {0x01, 0x80, 0x20, 0x02, 0x04, 0x08, 0x10, 0x40};

int field_code(int field) {
    return field >= kFieldOpen && field <= kFieldClose ? kPriceCode : 0;
}

bool write_new(const fs::path& dir, std::string_view name, const std::string& bytes) {
    return fileops::replace_file(portfolio_files::for_writing(dir, name),
                                 portfolio_files::for_writing(dir, std::string(name) + ".~NU"),
                                 [&](fileops::BufferedWriter& out) { return out.write(bytes); });
}

std::string text_of(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// True when the file at `path` holds exactly `bytes`.
bool holds(const fs::path& path, const std::string& bytes) {
    std::string content;
    return fileops::is_regular_file(path) && fileops::read_file(path, content) && content == bytes;
}

// The quote file and F<n>.DOP of a new security, as they will be written.
struct SeriesFiles {
    std::string names[2];
    std::string contents[2];
};

// 0 when neither file of the number is in the way; -7 when one is, -2 when that cannot be told.
StatusCode check_free(const fs::path& dir, const SeriesFiles& files) {
    for (int i = 0; i < 2; ++i) {
        fs::path found;
        const portfolio_files::Presence presence = portfolio_files::lookup(dir, files.names[i], found);
        if (presence == portfolio_files::Presence::Unknown)
            return status::kFileOpen;
        if (presence == portfolio_files::Presence::Present && !holds(found, files.contents[i]))
            return status::kFileExists;
    }
    return status::kOk;
}

// Writes both files, synced together; on failure the ones put in place are removed again.
bool write_series_files(const fs::path& dir, const SeriesFiles& files, std::vector<fs::path>& made) {
    fileops::ReplaceBatch batch;
    std::vector<fs::path> targets;
    for (int i = 0; i < 2; ++i) {
        const fs::path target = portfolio_files::for_writing(dir, files.names[i]);
        const std::string& content = files.contents[i];
        if (!batch.add(target, portfolio_files::for_writing(dir, files.names[i] + ".TMP"),
                       [&content](fileops::BufferedWriter& out) { return out.write(content); }))
            return false;
        targets.push_back(target);
    }
    const std::vector<int> errors = batch.commit();
    bool ok = true;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        if (errors[i] == 0)
            made.push_back(targets[i]);
        ok = ok && errors[i] == 0;
    }
    return ok;
}

void remove_all(const std::vector<fs::path>& made) {
    for (const fs::path& path : made)
        fileops::remove_if_exists(path);
}

MasterRecord master_record_for(const NewSecurity& security, int number, const MergeCounts& counts) {
    MasterRecord record;
    const int fields = security.shape.field_count();
    record.set_file_number(number < kFirstXmasterNumber ? number : 0);
    record.set_record_length(4 * fields);
    record.set_field_count(fields);
    record.set_name(security.name);
    record.set_symbol(security.symbol);
    record.set_stored_dates(counts.first, counts.last);
    record.set_periodicity(security.shape.periodicity);
    return record;
}

// The record in MASTER, with EMASTER following; false (the record not left there) on failure.
int add_to_master(const fs::path& dir, const NewSecurity& security, int number, const MergeCounts& counts,
                  std::string* emaster_note) {
    const MasterRecord record = master_record_for(security, number, counts);
    const EmasterRecord extended = emaster_record_for_new(record, security.shape.field_bits(), security.name);
    int appended = 0;
    const int result = master_append(dir, record, appended, &extended, emaster_note);
    if (result != 0)
        return result == 2 ? 2 : status::kFileWrite;
    if (appended == number)
        return status::kOk;
    // The portfolio changed meanwhile and MASTER chose another number: the record goes again.
    master_remove(dir, appended, false);
    return status::kFileWrite;
}

int add_to_xmaster(const fs::path& dir, const NewSecurity& security, int number, const MergeCounts& counts) {
    XmasterNew record;
    record.number = number;
    record.symbol = security.symbol;
    record.name = security.name;
    record.periodicity = security.shape.periodicity;
    record.field_bits = security.shape.field_bits();
    record.first = counts.first;
    record.last = counts.last;
    return xmaster_append(dir, record) == 0 ? status::kOk : status::kFileWrite;
}

} // namespace

int SeriesShape::field_count() const {
    int count = 0;
    for (bool field : has)
        count += field ? 1 : 0;
    return count;
}

FieldLayout SeriesShape::layout() const {
    FieldLayout layout;
    std::int16_t position = 1;
    for (int field = 0; field < kFieldNames; ++field) {
        if (!has[static_cast<std::size_t>(field)])
            continue;
        layout.position[field] = position++;
        layout.input_code[field] = static_cast<std::int16_t>(field_code(field));
        layout.display_code[field] = static_cast<std::int16_t>(field_code(field));
    }
    return layout;
}

std::string SeriesShape::dop_text() const {
    std::string text;
    for (int field = 0; field < kFieldNames; ++field) {
        if (has[static_cast<std::size_t>(field)])
            text += dop_line(field, field_code(field), field_code(field));
    }
    return text;
}

std::uint8_t SeriesShape::field_bits() const {
    std::uint8_t bits = 0;
    for (int field = 0; field < kFieldNames; ++field) {
        if (has[static_cast<std::size_t>(field)])
            bits = static_cast<std::uint8_t>(bits | kFieldBits[field]);
    }
    return bits;
}

SeriesShape series_shape_default(char periodicity) {
    SeriesShape shape;
    shape.periodicity = periodicity;
    const bool intraday = periodicity == 'I';
    for (int field : {kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol})
        shape.has[static_cast<std::size_t>(field)] = true;
    shape.has[kFieldTime] = intraday;
    shape.has[kFieldOi] = !intraday;
    return shape;
}

StatusCode portfolio_create(const fs::path& dir) {
    fileops::FileStat info = fileops::stat(dir);
    if (!info.exists) {
        if (!fileops::make_directory(dir))
            return errno == EEXIST ? status::kFileExists : status::kFileOpen;
        info = fileops::stat(dir);
    }
    if (!info.is_dir)
        return info.exists ? status::kFileExists : status::kFileOpen;
    for (std::string_view name : {"MASTER", "EMASTER", "XMASTER"}) {
        fs::path found;
        const portfolio_files::Presence presence = portfolio_files::lookup(dir, name, found);
        if (presence == portfolio_files::Presence::Unknown)
            return status::kFileOpen;
        if (presence == portfolio_files::Presence::Present)
            return status::kFileExists;
    }
    // MASTER first: a portfolio whose EMASTER is missing is whole, an EMASTER alone is none.
    MasterImage master;
    if (!write_new(dir, "MASTER", text_of(master.bytes())))
        return status::kFileWrite;
    if (write_new(dir, "EMASTER", text_of(emaster_empty_image())))
        return status::kOk;
    const int saved = errno;
    fileops::remove_if_exists(portfolio_files::master(dir));
    errno = saved;
    return status::kFileWrite;
}

int security_create(const fs::path& dir, const NewSecurity& security, const std::vector<MergeQuote>& quotes,
                    int& number, MergeCounts& counts, std::string* emaster_note) {
    number = 0;
    counts = MergeCounts{};
    MasterImage image;
    if (!master_read_image(portfolio_files::master(dir), image))
        return status::kFileRead;
    if (image.count_damaged())
        return status::kBadRecordShape;
    const int fields = security.shape.field_count();
    std::vector<std::uint8_t> content;
    const int merged = series_merge_image(series_file_image(fields, {}), 4 * fields, security.shape.layout(),
                                          quotes, false, content, counts);
    if (merged != status::kOk)
        return merged;
    const bool in_master = image.header.count() < kMaxSecurities && lowest_free_number(image) != 0;
    const int chosen = in_master ? lowest_free_number(image) : xmaster_free_number(dir);
    if (chosen == 0)
        return 2;
    const SeriesFiles files{
        {portfolio_files::series_file_name(chosen, "DAT"), portfolio_files::series_file_name(chosen, "DOP")},
        {text_of(content), security.shape.dop_text()}};
    if (StatusCode code = check_free(dir, files); code != status::kOk)
        return code;
    std::vector<fs::path> made;
    if (!write_series_files(dir, files, made)) {
        remove_all(made);
        return status::kFileWrite;
    }
    const int added = in_master ? add_to_master(dir, security, chosen, counts, emaster_note)
                                : add_to_xmaster(dir, security, chosen, counts);
    if (added != status::kOk) {
        remove_all(made);
        return added;
    }
    number = chosen;
    return status::kOk;
}
