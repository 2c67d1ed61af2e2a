// A fuzzed MASTER with a fuzzed nested portfolio below it: the lookup with several keys (the nested
// directory's own name and the symbols stored in both files among them), the symbol list of both, the
// walk over the tree (which holds a link back to its top), and the repair of a copy, which must leave a
// readable MASTER with the same number of records, or the copy exactly as it was.
#include "browser/master_walk.h"
#include "common/repair.h"
#include "common/symbol_list.h"
#include "fuzz_support.h"
#include "storage/directory.h"
#include "storage/text_util.h"

using namespace fuzz_support;

namespace {

// Keys a user could type for the records of a MASTER image: symbol texts and trimmed names.
void keys_from(std::string_view image, std::vector<std::string>& keys) {
    for (std::size_t at = kMasterRecordSize; at + kMasterRecordSize <= image.size() && keys.size() < 12;
         at += kMasterRecordSize) {
        MasterRecord record;
        std::memcpy(record.bytes.data(), image.data() + at, kMasterRecordSize);
        std::string name = record.name_bytes();
        trim_right(name);
        keys.insert(keys.end(), {master_symbol_text(record), name});
    }
}

void repair_copy(const fs::path& root, std::string_view image) {
    const fs::path master = root / "copy" / "MASTER";
    fs::create_directory(root / "copy");
    write_bytes(master, image);
    MasterImage before, after;
    const bool readable = master_read_image(master, before);
    if (RepairMaster(master) != 1)
        return check(read_bytes(master) == image, "a failed repair leaves MASTER as it was");
    check(master_read_image(master, after) == readable, "repaired MASTER reads as before");
    check(!readable || (after.records_present() == before.records_present() &&
                        after.header.count() == before.header.count() && after.trailing == before.trailing),
          "repair keeps every record, the count and a partial record");
    check(read_bytes(master).size() == image.size(), "repair keeps the file's size");
    for (const SymbolRow& row : symbol_list_read(master).rows) { // damaged only when the name cannot serve
        const std::uint8_t first = row.record().bytes[7];
        check(!row.damaged || first <= 32 || first >= 128, "repair gives each record its name as symbol");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::string_view top = in.take(in.u16()), nested = in.rest();
    const fs::path& root = fresh_scratch();
    // Nested portfolios the top MASTER may name: SUB holds the second MASTER, and both SUB and its child
    // lead back to places already seen.
    fs::create_directories(root / "SUB" / "DEEP");
    write_bytes(root / "MASTER", top);
    write_bytes(root / "SUB" / "MASTER", nested);
    write_bytes(root / "SUB" / "DEEP" / "master", top);
    std::error_code ec;
    fs::create_directory_symlink("..", root / "SUB" / "BACK", ec);
    fs::create_directory_symlink("../..", root / "SUB" / "DEEP" / "UP", ec);
    std::vector<std::string> keys = {"IBM", "SUB", "ABC CORP", "", "BACK", "DEEP", "UP"};
    keys_from(top, keys);
    keys_from(nested, keys);
    const auto files_before = snapshot(root);
    for (const std::string& key : keys) {
        MasterRecord record;
        fs::path found_dir;
        const StatusCode code = master_find(root, key, record, found_dir);
        check(code == status::kOk || code == status::kFileNotFound || code == status::kFileRead ||
                  code == status::kNestingTooDeep,
              "master_find status");
        check(code != status::kOk || master_key_matches(record, key), "the record found matches the key");
    }
    for (const fs::path& master : {root / "MASTER", root / "SUB" / "MASTER"})
        check(symbol_list_read(master).rows.size() <= static_cast<std::size_t>(kMaxSecurities),
              "symbol list bounded");
    std::vector<std::string> portfolios;
    SearchForMasters(root, portfolios, false, "");
    check(portfolios.size() == 3, "the walk finds the three portfolios once each");
    check(snapshot(root) == files_before, "reading writes nothing");
    repair_copy(root, top);
    return 0;
}
