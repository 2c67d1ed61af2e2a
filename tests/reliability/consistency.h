// Checks that a portfolio tree makes sense as a whole: every MASTER reads, its two counters agree
// and cover records that are there, and every counted security record leads to a quote file that
// is there and reads completely. Also collects the securities, so that a test can tell whether one
// was lost. Used after an injected failure and after a killed process.
#pragma once

#include "storage/master.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
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
    std::vector<std::string> faults; // empty when the tree is consistent
    int bars_read = 0;
    bool ok() const { return faults.empty(); }
};

inline std::string symbol_of(const MasterRecord& record) {
    std::string text;
    for (int i = 36; i < 52; ++i) {
        std::uint8_t byte = record.bytes[i];
        if (byte <= 32 || byte >= 128)
            break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

inline std::string name_of(const MasterRecord& record) {
    std::string name = record.name_bytes();
    name = name.substr(0, name.find('\0'));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

// The key the browser reads a security with: its symbol, or its name when the symbol is blank.
inline std::string lookup_key(const MasterRecord& record) {
    std::string symbol = symbol_of(record);
    return symbol.empty() ? name_of(record) : symbol;
}

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

// F<n>.DAT is there, its header's R is at least 1 and its R records fit in the file.
inline void check_quote_file(const SecurityRecord& security, int record_length, TreeCheck& out) {
    const std::string where = security.dir.string() + " F" + std::to_string(security.file_number);
    fs::path dat =
        entry_ignoring_case(security.dir, portfolio_files::series_file_name(security.file_number, "DAT"));
    if (dat.empty()) {
        out.faults.push_back(where + ".DAT is missing");
        return;
    }
    std::ifstream in(dat, std::ios::binary);
    unsigned char header[4] = {};
    in.read(reinterpret_cast<char*>(header), 4);
    std::error_code ec;
    const std::uint64_t size = fs::file_size(dat, ec);
    const int r = static_cast<std::int16_t>(header[2] | (header[3] << 8));
    if (!in || ec || r < 1 || record_length < 1 ||
        static_cast<std::uint64_t>(r) * static_cast<std::uint64_t>(record_length) > size)
        out.faults.push_back(where + ".DAT: R " + std::to_string(r) + " does not fit " +
                             std::to_string(size) + " bytes");
}

// The security reads through the storage layer, every bar of it.
inline void check_series_reads(const SecurityRecord& security, const std::string& key, TreeCheck& out) {
    const std::string where = security.dir.string() + " " + key;
    SeriesLocation at;
    StatusCode located = series_locate(security.dir, key, at);
    if (located != status::kOk) {
        out.faults.push_back(where + ": lookup or layout fails with " + std::to_string(located));
        return;
    }
    if (at.record.file_number() != security.file_number)
        return; // the key names an earlier record of this level; that one is checked on its own
    QuoteSeries series;
    if (series_alloc(series, 1000) != status::kOk) {
        out.faults.push_back(where + ": no memory");
        return;
    }
    StatusCode code = series_read(series, security.dir, key, 0, 0);
    std::int32_t total = series.total;
    std::int32_t read = 0;
    while (code == status::kOk && read < total) {
        code = series_read(series, security.dir, key, read, 1000);
        if (code == status::kOk && series.count <= 0)
            code = status::kFileRead;
        read += code == status::kOk ? series.count : 0;
    }
    series_free(series);
    if (code != status::kOk || read != total)
        out.faults.push_back(where + ": read " + std::to_string(read) + " of " + std::to_string(total) +
                             " bars, status " + std::to_string(code));
    out.bars_read += read;
}

inline void check_level(const fs::path& dir, int depth, std::set<fs::path>& seen, TreeCheck& out) {
    fs::path master = entry_ignoring_case(dir, "MASTER");
    if (master.empty()) {
        out.faults.push_back(dir.string() + ": MASTER is missing");
        return;
    }
    MasterImage image;
    if (!master_read_image(master, image)) {
        out.faults.push_back(dir.string() + ": MASTER cannot be read");
        return;
    }
    if (image.count_damaged() || image.header.count() != image.header.second_counter())
        out.faults.push_back(dir.string() + ": MASTER counters " + std::to_string(image.header.count()) +
                             "/" + std::to_string(image.header.second_counter()) + " over " +
                             std::to_string(image.records_present()) + " records");
    for (int i = 0; i < image.records_counted(); ++i) {
        MasterRecord record = image.record(i);
        std::string nested;
        if (master_is_directory_entry(record, &nested)) {
            fs::path child = entry_ignoring_case(dir, nested);
            if (!child.empty() && depth < 8 && seen.insert(fs::weakly_canonical(child)).second)
                check_level(child, depth + 1, seen, out);
            continue;
        }
        SecurityRecord security{dir, record.file_number(), symbol_of(record), name_of(record)};
        check_quote_file(security, record.record_length(), out);
        check_series_reads(security, lookup_key(record), out);
        out.securities.push_back(security);
    }
}

// Checks the portfolio at `dir` and every portfolio nested in it.
inline TreeCheck check_tree(const fs::path& dir) {
    TreeCheck out;
    std::set<fs::path> seen{fs::weakly_canonical(dir)};
    check_level(dir, 0, seen, out);
    return out;
}

// Checks several portfolio trees into one result.
inline TreeCheck check_trees(const std::vector<fs::path>& dirs) {
    TreeCheck all;
    for (const fs::path& dir : dirs) {
        TreeCheck one = check_tree(dir);
        all.securities.insert(all.securities.end(), one.securities.begin(), one.securities.end());
        all.faults.insert(all.faults.end(), one.faults.begin(), one.faults.end());
        all.bars_read += one.bars_read;
    }
    return all;
}

// Names of temporary files the system writes and removes again: F<n>.NEW, MASTER.NEW, MASTER.~NU,
// F<n>.<ext>.TMP of a transfer, <file>.part of an export or a split-search result.
inline bool is_temporary_name(const std::string& file_name) {
    std::string upper = portfolio_files::to_upper(file_name);
    for (const char* suffix : {".NEW", ".~NU", ".TMP", ".PART"}) {
        if (upper.ends_with(suffix))
            return true;
    }
    return false;
}

} // namespace reliability
