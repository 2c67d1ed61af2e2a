#include "browser/symbol_list.h"

#include "browser/repair.h"
#include "storage/xmaster.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

constexpr const char* kFillFailure = "Failure while filling symbols grid";
constexpr const char* kCountMismatch = "\nis damaged: its count does not match its records.";

// The row texts of a record: the symbol, or for a damaged record the name without the blanks that
// pad it (the row's text is a key).
std::string_view row_symbol(const MasterRecord& record) {
    const std::string_view symbol = master_symbol_view(record);
    if (!symbol.empty())
        return symbol;
    std::string_view name = master_name_view(record);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    return name;
}

SymbolRow make_row(const MasterRecord& record, int index) {
    const bool damaged = master_symbol_view(record).empty();
    return SymbolRow{std::string(row_symbol(record)), std::string(master_name_view(record)), damaged, index,
                     record};
}

// A row's place in the sorted list: its text in lower case packed into two words (first byte highest; a
// text is at most 16 bytes and holds no NUL, so a shorter text sorts before its longer continuations)
// and its position in file order, which keeps equal texts in that order.
struct SortKey {
    std::uint64_t high = 0, low = 0;
    std::uint32_t position = 0;
    bool operator<(const SortKey& other) const {
        if (high != other.high)
            return high < other.high;
        if (low != other.low)
            return low < other.low;
        return position < other.position;
    }
};

constexpr std::size_t kKeyBytes = 16;

// Eight bytes, first byte highest, with the letters A-Z in lower case (bytes of 128 and above stay).
std::uint64_t lower_case_word(const char* bytes) {
    std::uint64_t word = 0;
    for (int i = 0; i < 8; ++i)
        word = (word << 8) | static_cast<std::uint8_t>(bytes[i]);
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    const std::uint64_t low7 = word & ~kHigh;
    const std::uint64_t from_a = low7 + (0x80 - 'A') * kOnes;      // high bit set from 'A' on
    const std::uint64_t past_z = low7 + (0x80 - 'Z' - 1) * kOnes;  // high bit set past 'Z'
    const std::uint64_t upper = (from_a ^ past_z) & ~word & kHigh; // 'A'..'Z', below 128
    return word | (upper >> 2);                                    // + 0x20
}

SortKey sort_key(std::string_view text, std::size_t position) {
    char padded[kKeyBytes] = {};
    std::copy_n(text.begin(), std::min(text.size(), kKeyBytes), padded);
    return SortKey{lower_case_word(padded), lower_case_word(padded + 8),
                   static_cast<std::uint32_t>(position)};
}

void fail(SymbolListing& listing, std::string problem = {}) {
    if (!problem.empty()) {
        listing.problem = std::move(problem);
    }
    listing.result.ok = false;
    listing.result.add(MessageKind::Error, kFillFailure);
    listing.rows.clear();
    listing.symbol_count = 0;
    listing.needs_repair = false;
}

std::string count_message(int count) {
    return "File has " + std::to_string(count) + " symbols.\nWill only display the first " +
           std::to_string(kMaxSecurities) + " symbols";
}

} // namespace

bool symbol_text_less(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return static_cast<unsigned char>(u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u);
        };
        return lower(x) < lower(y);
    });
}

void sort_symbol_rows(std::vector<SymbolRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const SymbolRow& a, const SymbolRow& b) {
        return symbol_text_less(a.symbol, b.symbol);
    });
}

SymbolListing symbol_list_read(const std::filesystem::path& master_path) {
    SymbolListing listing;
    listing.result = CommandResult::success();
    MasterImage image;
    if (!master_read_regular_image(master_path, image)) {
        fail(listing,
             "The portfolio file\n" + master_path.string() + "\ncannot be read as a portfolio file.");
        return listing;
    }
    listing.header_count = image.header.count();
    listing.symbol_count = listing.header_count;
    if (listing.header_count > kMaxSecurities) {
        listing.result.add(MessageKind::Warning, count_message(listing.header_count));
        listing.symbol_count = kMaxSecurities;
    }

    // The records of the rows in file order (MASTER's, then XMASTER's) with their sort keys; the rows
    // are made once, in sorted order.
    std::vector<XmasterRecord> records;
    records.reserve(static_cast<std::size_t>(image.records_present()));
    int records_read = 0;
    for (int slot = 0; slot < image.records_present(); ++slot) {
        if (listing.header_count > kMaxSecurities && records_read == kMaxSecurities) {
            break;
        }
        const MasterRecord record = image.record(slot);
        // Unused slots after the counted records are common in real files and are no records.
        if (slot >= listing.symbol_count && master_slot_unused(record)) {
            continue;
        }
        ++records_read;
        // A nested portfolio is a record of this file but no row of its symbol list: the walk lists it
        // as a portfolio of its own.
        if (master_is_directory_entry(record)) {
            continue;
        }
        records.push_back({record, slot});
        listing.needs_repair = listing.needs_repair || master_symbol_view(record).empty();
    }
    if (records_read != listing.symbol_count) {
        fail(listing, "The portfolio file\n" + master_path.string() + kCountMismatch);
        return listing;
    }
    // The securities of XMASTER join the list; the limit of 255 applies to MASTER's records alone.
    const std::size_t from_master = records.size();
    xmaster_read_records(master_path.parent_path(), records, &listing.xmaster_unusable);
    listing.symbol_count += static_cast<int>(records.size() - from_master);

    std::vector<SortKey> order(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        order[i] = sort_key(row_symbol(records[i].record), i);
    std::sort(order.begin(), order.end());
    listing.rows.reserve(records.size());
    for (const SortKey& key : order) {
        const XmasterRecord& entry = records[key.position];
        listing.rows.push_back(make_row(entry.record, entry.index));
    }
    return listing;
}

std::string xmaster_notice(const std::filesystem::path& dir, const std::string& reason) {
    if (reason.empty())
        return {};
    return "The XMASTER file of " + dir.string() + " could not be read: " + reason +
           ". The securities it lists (numbered 256 and above) are not shown.";
}

std::string xmaster_notice(const std::filesystem::path& dir) {
    std::string reason;
    xmaster_read(dir, &reason);
    return xmaster_notice(dir, reason);
}

CommandResult check_master_writable(const std::filesystem::path& master_path) {
    const SymbolListing listing = symbol_list_read(master_path);
    if (listing.result.ok) {
        return CommandResult::success();
    }
    return CommandResult::failure(listing.problem, listing.result.status);
}

std::string repair_question_text(const std::filesystem::path& master_path) {
    return "The master file\n" + master_path.string() +
           "\nappears corrupted.\n\nShould Quorbit try to repair this file now?\n\n(Hint: There is a control "
           "for this in\nthe Portfolio > Search Filter dialog.)";
}

SymbolListing symbol_list_fill(const std::filesystem::path& master_path, const Confirm& confirm_repair) {
    SymbolListing listing = symbol_list_read(master_path);
    if (!listing.needs_repair) {
        return listing;
    }
    std::string emaster_note;
    const bool repaired = confirm_repair &&
                          confirm_repair(Message{MessageKind::Question, repair_question_text(master_path)}) &&
                          RepairMaster(master_path, &emaster_note) == 1;
    if (!repaired) {
        fail(listing);
    } else if (!emaster_note.empty()) {
        listing.result.add(MessageKind::Warning, emaster_note);
    }
    listing.needs_repair = false;
    return listing;
}
