#include "common/repair.h"

#include "storage/directory.h"
#include "storage/master.h"
#include "storage/portfolio_files.h"

#include <cerrno>
#include <vector>

namespace {

// Repairs every damaged record of the image; false when none needed it.
bool repair_image(MasterImage& image) {
    bool changed = false;
    for (int slot = 0; slot < image.records_present(); ++slot) {
        const MasterRecord before = image.record(slot);
        if (master_slot_unused(before) || !master_record_damaged(before)) {
            continue;
        }
        MasterRecord repaired = before;
        master_put_name_as_symbol(repaired);
        image.set_record(slot, repaired);
        changed = changed || repaired.bytes != before.bytes;
    }
    return changed;
}

} // namespace

int RepairMaster(const std::filesystem::path& master_path, std::string* emaster_note) {
    MasterImage image;
    if (!master_read_regular_image(master_path, image)) {
        return 0;
    }
    const MasterImage before = image;
    if (!repair_image(image)) {
        return 1; // nothing to change: the file already is its repaired form
    }
    // MASTER.BAK keeps the file as it was, and the repaired copy goes through MASTER.NEW. (A temporary
    // named MASTER.bak would be MASTER.BAK itself wherever names ignore case, and destroy that backup.)
    return master_replace(master_path, before, image, ".NEW", true, nullptr, emaster_note) ? 1 : 0;
}

bool heal_before_change(const std::filesystem::path& dir, CommandResult& notes) {
    errno = 0;
    std::string message;
    const int healed = emaster_heal(dir, &message);
    if (healed < 0) {
        notes.ok = false;
        notes.error = errno;
        notes.add(MessageKind::Error, "The extended directory file EMASTER in\n" + dir.string() +
                                          "\ndoes not agree with MASTER and could not be rebuilt from it. "
                                          "Nothing was changed.");
        return false;
    }
    if (healed > 0)
        notes.add(MessageKind::Information, message);
    return true;
}

CommandResult with_notes(const CommandResult& notes, CommandResult result) {
    result.messages.insert(result.messages.begin(), notes.messages.begin(), notes.messages.end());
    return result;
}

std::string rebuild_question_text(const std::filesystem::path& dir) {
    return "The extended directory file EMASTER in\n" + dir.string() + "\ndoes not agree with MASTER (" +
           emaster_disagreement(dir) + ").\n\nShould Quorbit rebuild its records from MASTER now?";
}

std::string emaster_disagreement(const std::filesystem::path& dir) {
    MasterImage master;
    if (!master_read_image(portfolio_files::master(dir), master))
        return {};
    return emaster_differences_text(emaster_read(dir, master));
}
