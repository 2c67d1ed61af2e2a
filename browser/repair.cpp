#include "browser/repair.h"

#include "browser/symbol_list.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

constexpr int kNameOffset = 7;
constexpr int kSymbolOffset = 36;
constexpr int kTextBytes = 16;
constexpr std::uint64_t kMaxMasterBytes = std::uint64_t{16} << 20;

// Puts the name over the symbol of one damaged record held at `record` inside the image.
void repair_record(char* record) {
    const char* name = record + kNameOffset;
    const int name_length = static_cast<int>(std::find(name, name + kTextBytes, '\0') - name);
    std::copy(name, name + name_length, record + kSymbolOffset);
    std::fill(record + kSymbolOffset + name_length, record + kSymbolOffset + kTextBytes, '\0');
}

bool damaged(const char* record) {
    MasterRecord copy;
    std::copy(record, record + kMasterRecordSize, reinterpret_cast<char*>(copy.bytes.data()));
    return !master_slot_unused(copy) && master_record_damaged(copy);
}

// Repairs every damaged record of the image; false when none needed it.
bool repair_image(std::string& image) {
    bool changed = false;
    const std::size_t slots = image.size() / kMasterRecordSize;
    for (std::size_t slot = 1; slot < slots; ++slot) {
        char* record = image.data() + slot * kMasterRecordSize;
        if (damaged(record)) {
            const std::string before(record, kMasterRecordSize);
            repair_record(record);
            changed = changed || before != std::string(record, kMasterRecordSize);
        }
    }
    return changed;
}

} // namespace

int RepairMaster(const std::filesystem::path& master_path) {
    const fileops::FileStat info = fileops::stat(master_path);
    if (!info.exists || !info.is_regular || info.size > kMaxMasterBytes) {
        return 0;
    }
    std::string image;
    if (!fileops::read_file(master_path, image) ||
        image.size() < static_cast<std::size_t>(kMasterRecordSize)) {
        return 0;
    }
    const std::string original = image;
    if (!repair_image(image)) {
        return 1; // nothing to change: the file already is its repaired form
    }
    // MASTER.BAK keeps the file as it was, and the repaired copy goes through MASTER.NEW. (A temporary
    // named MASTER.bak would be MASTER.BAK itself wherever names ignore case, and destroy that backup.)
    const std::filesystem::path dir = master_path.parent_path();
    const std::filesystem::path temp = portfolio_files::for_writing(dir, "MASTER.NEW");
    const auto write = [](const std::string& content) {
        return [&content](fileops::BufferedWriter& out) { return out.write(content) && out.flush(); };
    };
    if (!fileops::replace_file(portfolio_files::for_writing(dir, "MASTER.BAK"), temp, write(original),
                               master_path)) {
        return 0;
    }
    const bool replaced = fileops::replace_file(master_path, temp, write(image));
    return replaced ? 1 : 0;
}
