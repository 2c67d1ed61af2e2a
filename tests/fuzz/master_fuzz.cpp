// A fuzzed MASTER with a fuzzed nested portfolio below it: the lookup with several keys (the nested
// directory's own name and the symbols stored in both files among them), the symbol list of both, the
// walk over the tree (which holds a link back to its top), and the repair of a copy, which must leave a
// readable MASTER with the same number of records, or the copy exactly as it was.
#include "browser/master_walk.h"
#include "browser/repair.h"
#include "browser/symbol_list.h"
#include "fuzz_support.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace fuzz_support;

namespace {

// Keys a user could type for the records of a MASTER image: symbol texts and trimmed names.
void keys_from(std::string_view image, std::vector<std::string>& keys) {
    for (std::size_t offset = kMasterRecordSize;
         offset + kMasterRecordSize <= image.size() && keys.size() < 12; offset += kMasterRecordSize) {
        MasterRecord record;
        std::memcpy(record.bytes.data(), image.data() + offset, kMasterRecordSize);
        keys.push_back(master_symbol_text(record));
        std::string name = record.name_bytes();
        trim_right(name);
        keys.push_back(name);
    }
}

void look_up(const fs::path& root, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        MasterRecord record;
        fs::path found_dir;
        StatusCode code = master_find(root, key, record, found_dir);
        check(code == status::kOk || code == status::kFileNotFound || code == status::kFileRead ||
                  code == status::kNestingTooDeep,
              "master_find status");
        if (code == status::kOk)
            check(master_key_matches(record, key), "the record found matches the key");
    }
}

void repair_copy(const fs::path& root, std::string_view image) {
    const fs::path dir = root / "copy";
    fs::create_directory(dir);
    const fs::path master = dir / "MASTER";
    write_file(master, image);
    MasterImage before;
    const bool readable = master_read_image(master, before);
    const int repaired = RepairMaster(master);
    if (repaired != 1) {
        check(read_file(master) == image, "a failed repair leaves MASTER as it was");
        return;
    }
    MasterImage after;
    check(master_read_image(master, after) == readable, "repaired MASTER reads as before");
    if (readable) {
        check(after.records_present() == before.records_present(), "repair keeps every record");
        check(after.header.count() == before.header.count(), "repair keeps the count");
        check(after.trailing == before.trailing, "repair keeps a partial record");
    }
    check(read_file(master).size() == image.size(), "repair keeps the file's size");
    // A record stays damaged only when its name cannot serve as a symbol either.
    const SymbolListing listing = symbol_list_read(master);
    for (const SymbolRow& row : listing.rows) {
        const std::uint8_t first = row.record.bytes[7];
        check(!row.damaged || first <= 32 || first >= 128, "repair gives each record its name as symbol");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::size_t top_size = in.u16();
    const std::string_view top = in.take(top_size);
    const std::string_view nested = in.rest();

    const fs::path& root = scratch().fresh();
    write_file(root / "MASTER", top);
    // Nested portfolios the top MASTER may name: SUB holds the second MASTER, and both SUB and its
    // child lead back to places already seen.
    for (const char* name : {"SUB", "SUB/DEEP"})
        fs::create_directory(root / name);
    write_file(root / "SUB" / "MASTER", nested);
    write_file(root / "SUB" / "DEEP" / "master", top);
    std::error_code ec;
    fs::create_directory_symlink("..", root / "SUB" / "BACK", ec);
    fs::create_directory_symlink("../..", root / "SUB" / "DEEP" / "UP", ec);

    std::vector<std::string> keys = {"IBM", "SUB", "ABC CORP", "", "BACK", "DEEP", "UP"};
    keys_from(top, keys);
    keys_from(nested, keys);
    const auto files_before = snapshot(root);
    look_up(root, keys);
    const SymbolListing top_list = symbol_list_read(root / "MASTER");
    const SymbolListing nested_list = symbol_list_read(root / "SUB" / "MASTER");
    check(top_list.rows.size() <= static_cast<std::size_t>(kMaxSecurities), "symbol list bounded");
    check(nested_list.rows.size() <= static_cast<std::size_t>(kMaxSecurities), "symbol list bounded");
    std::vector<std::string> portfolios;
    SearchForMasters(root, portfolios, false, "");
    check(portfolios.size() == 3, "the walk finds the three portfolios once each");
    check(snapshot(root) == files_before, "reading writes nothing");

    repair_copy(root, top);
    return 0;
}
