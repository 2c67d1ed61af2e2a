// Checks that a portfolio tree makes sense as a whole: every MASTER reads, its two counters agree and
// cover records that are there, and every counted security record leads to a quote file that is there
// and reads completely. Also collects the securities, so that a test can tell whether one was lost.
// Used after an injected failure and after a killed process.
#pragma once

#include "storage/master.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace reliability {

namespace fs = std::filesystem;

struct SecurityRecord {
    fs::path dir; // the portfolio whose MASTER lists it
    int file_number = 0;
    std::string symbol; // up to the first blank or control byte
    std::string name;   // trailing blanks removed
};

struct TreeCheck {
    std::vector<SecurityRecord> securities;
    std::vector<fs::path> emaster_out_of_step; // EMASTER files that disagree with their MASTER
    std::vector<std::string> faults;           // empty when the tree is consistent
    int bars_read = 0;
    bool ok() const { return faults.empty(); }
};

// The file of that name in `dir`, in whatever letter case; empty when there is none. Read with the
// standard library, around the file-operations table a test may have replaced.
inline fs::path entry_ignoring_case(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (portfolio_files::equals_ignoring_case(entry.path().filename().string(), name))
            return entry.path();
    }
    return {};
}

// The fault with F<n>.DAT of `dir`, empty when it is there, its header's R is at least 1 and its R
// records of `record_length` bytes fit in the file.
inline std::string quote_file_fault(const fs::path& dir, int file_number, int record_length) {
    const fs::path dat = entry_ignoring_case(dir, portfolio_files::series_file_name(file_number, "DAT"));
    if (dat.empty())
        return ".DAT is missing";
    std::ifstream in(dat, std::ios::binary);
    unsigned char header[4] = {};
    in.read(reinterpret_cast<char*>(header), 4);
    std::error_code ec;
    const std::uint64_t size = fs::file_size(dat, ec);
    const int r = static_cast<std::int16_t>(header[2] | (header[3] << 8));
    if (!in || ec || r < 1 || record_length < 1 || static_cast<std::uint64_t>(r) * record_length > size)
        return ": R " + std::to_string(r) + " does not fit " + std::to_string(size) + " bytes";
    return {};
}

// F<n>.DAT is complete, and the security reads through the storage layer, every bar of it, with the
// key the browser uses.
inline void check_security(const SecurityRecord& security, int record_length, const std::string& key,
                           TreeCheck& out) {
    const std::string where = security.dir.string() + " F" + std::to_string(security.file_number) + " " + key;
    const std::string fault = quote_file_fault(security.dir, security.file_number, record_length);
    if (!fault.empty())
        out.faults.push_back(where + fault);
    if (fault == ".DAT is missing")
        return;
    SeriesLocation at;
    const StatusCode located = series_locate(security.dir, key, at);
    if (located != status::kOk)
        return out.faults.push_back(where + ": lookup or layout fails with " + std::to_string(located));
    if (at.record.file_number() != security.file_number)
        return; // the key names an earlier record of this level; that one is checked on its own
    QuoteSeries series;
    StatusCode code = series_alloc(series, 1000);
    code = code == status::kOk ? series_read(series, security.dir, key, 0, 0) : code;
    std::int32_t read = 0;
    while (code == status::kOk && read < series.total) {
        code = series_read(series, security.dir, key, read, 1000);
        code = code == status::kOk && series.count <= 0 ? status::kFileRead : code;
        read += code == status::kOk ? series.count : 0;
    }
    if (code != status::kOk || read != series.total)
        out.faults.push_back(where + ": read " + std::to_string(read) + " of " +
                             std::to_string(series.total) + " bars, status " + std::to_string(code));
    out.bars_read += read;
}

// A text field up to its first NUL (and at most `length` bytes), trailing blanks removed.
inline std::string field_text(const std::string& bytes, std::size_t at, std::size_t length) {
    std::string text = bytes.substr(at, length);
    text = text.substr(0, text.find('\0'));
    return text.erase(text.find_last_not_of(' ') + 1);
}

// EMASTER (192-byte header and records, byte 0 its count; record byte 2 the file number, 11-24 the
// symbol, 32-47 the short name): a whole number of records, at least as many as it counts, and the
// records both files hold in MASTER's order; each record names a file number whose quote file is there
// and complete. It is in step when record i names MASTER record i's number, symbol (to 13 characters)
// and name, the counts agreeing; one that is not (a run killed between the two rewrites) is noted, for
// the next command that writes rebuilds it.
inline void check_emaster(const fs::path& dir, const MasterImage& image, TreeCheck& out) {
    const fs::path path = entry_ignoring_case(dir, "EMASTER");
    if (path.empty())
        return;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int count = bytes.empty() ? 0 : static_cast<std::uint8_t>(bytes[0]);
    if (bytes.size() < 192 || bytes.size() % 192 != 0 || count > static_cast<int>(bytes.size() / 192) - 1)
        return out.faults.push_back(path.string() + " is no whole EMASTER");
    auto number_at = [&](int i) {
        return static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i + 1) * 192 + 2]);
    };
    std::set<int> directories, in_master, in_emaster;
    for (int i = 0; i < image.records_counted(); ++i) {
        in_master.insert(image.record(i).file_number());
        if (master_is_directory_entry(image.record(i)))
            directories.insert(image.record(i).file_number());
    }
    for (int i = 0; i < count; ++i)
        in_emaster.insert(number_at(i));
    std::vector<int> master_order, emaster_order; // the numbers both hold, in each file's order
    bool in_step = count == image.records_counted();
    for (int i = 0; i < image.records_counted(); ++i) {
        const MasterRecord record = image.record(i);
        if (in_emaster.count(record.file_number()))
            master_order.push_back(record.file_number());
        if (!in_step || directories.count(record.file_number()))
            continue;
        const std::size_t at = static_cast<std::size_t>(i + 1) * 192;
        in_step = number_at(i) == record.file_number() &&
                  field_text(bytes, at + 11, 14) == field_text(record.symbol_bytes(), 0, 13) &&
                  field_text(bytes, at + 32, 16) == field_text(record.name_bytes(), 0, 16);
    }
    if (!in_step)
        out.emaster_out_of_step.push_back(path);
    for (int i = 0; i < count; ++i) {
        const int number = number_at(i);
        if (in_master.count(number))
            emaster_order.push_back(number);
        const std::string where = path.string() + " record " + std::to_string(i + 1);
        if (directories.count(number))
            continue;
        const int length = 4 * static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i + 1) * 192 + 6]);
        if (const std::string fault = quote_file_fault(dir, number, length); !fault.empty())
            out.faults.push_back(where + " names F" + std::to_string(number) + fault);
    }
    if (master_order != emaster_order)
        out.faults.push_back(path.string() + ": its records stand in another order than MASTER's");
}

inline void check_level(const fs::path& dir, int depth, std::set<fs::path>& seen, TreeCheck& out) {
    const fs::path master = entry_ignoring_case(dir, "MASTER");
    MasterImage image;
    if (master.empty() || !master_read_image(master, image))
        return out.faults.push_back(dir.string() + ": MASTER is missing or cannot be read");
    if (image.count_damaged() || image.header.count() != image.header.second_counter())
        out.faults.push_back(dir.string() + ": MASTER counters " + std::to_string(image.header.count()) +
                             "/" + std::to_string(image.header.second_counter()) + " over " +
                             std::to_string(image.records_present()) + " records");
    check_emaster(dir, image, out);
    for (int i = 0; i < image.records_counted(); ++i) {
        const MasterRecord record = image.record(i);
        std::string nested;
        if (master_is_directory_entry(record, &nested)) {
            const fs::path child = entry_ignoring_case(dir, nested);
            if (!child.empty() && depth < 8 && seen.insert(fs::weakly_canonical(child)).second)
                check_level(child, depth + 1, seen, out);
            continue;
        }
        std::string symbol, name = record.name_bytes();
        for (int b = 36; b < 52 && record.bytes[b] > 32 && record.bytes[b] < 128; ++b)
            symbol.push_back(static_cast<char>(record.bytes[b]));
        name = name.substr(0, name.find('\0'));
        name.erase(name.find_last_not_of(' ') + 1);
        const SecurityRecord security{dir, record.file_number(), symbol, name};
        // The key the browser reads a security with: its symbol, or its name when the symbol is blank.
        check_security(security, record.record_length(), symbol.empty() ? name : symbol, out);
        out.securities.push_back(security);
    }
}

// Checks the portfolios at `dirs` and every portfolio nested in them, into one result.
inline TreeCheck check_trees(const std::vector<fs::path>& dirs) {
    TreeCheck out;
    for (const fs::path& dir : dirs) {
        std::set<fs::path> seen{fs::weakly_canonical(dir)};
        check_level(dir, 0, seen, out);
    }
    return out;
}

// Names of temporary files the system writes and removes again: F<n>.NEW, MASTER.NEW, MASTER.~NU,
// F<n>.<ext>.TMP of a transfer, <file>.part of an export or a split-search result.
inline bool is_temporary_name(const std::string& file_name) {
    const std::string upper = portfolio_files::to_upper(file_name);
    for (const char* suffix : {".NEW", ".~NU", ".TMP", ".PART"}) {
        if (upper.ends_with(suffix))
            return true;
    }
    return false;
}

} // namespace reliability
