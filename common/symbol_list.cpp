#include "common/symbol_list.h"

#include "common/repair.h"
#include "storage/xmaster.h"

#include <algorithm>
#include <array>
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

// A row's place in the sorted list: its text in lower case packed into two words (first byte highest; a
// text is at most 16 bytes and holds no NUL, so a shorter text sorts before its longer continuations)
// and its position in file order, which keeps equal texts in that order.
struct SortKey {
    std::uint64_t high = 0, low = 0;
};

// A sort key's first word with the row's position: what the sort moves. Most texts differ in their first
// eight bytes, so the second word is looked at only where first words are equal.
struct SortEntry {
    std::uint64_t high = 0, position = 0;
};

constexpr std::size_t kKeyBytes = 16;

// Eight bytes as one word, first byte highest. Written out, so that compilers make it one load and one
// byte swap.
std::uint64_t big_endian_word(const unsigned char* bytes) {
    return std::uint64_t{bytes[0]} << 56 | std::uint64_t{bytes[1]} << 48 | std::uint64_t{bytes[2]} << 40 |
           std::uint64_t{bytes[3]} << 32 | std::uint64_t{bytes[4]} << 24 | std::uint64_t{bytes[5]} << 16 |
           std::uint64_t{bytes[6]} << 8 | std::uint64_t{bytes[7]};
}

// The word with only its first `count` bytes (0 to 8) kept, the others zero.
std::uint64_t first_bytes(std::uint64_t word, std::size_t count) {
    if (count >= 8)
        return word;
    return count == 0 ? 0 : word & ~(~std::uint64_t{0} >> (8 * count));
}

// The word with the letters A-Z in lower case (bytes of 128 and above stay).
std::uint64_t lower_case_word(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    const std::uint64_t low7 = word & ~kHigh;
    const std::uint64_t from_a = low7 + (0x80 - 'A') * kOnes;      // high bit set from 'A' on
    const std::uint64_t past_z = low7 + (0x80 - 'Z' - 1) * kOnes;  // high bit set past 'Z'
    const std::uint64_t upper = (from_a ^ past_z) & ~word & kHigh; // 'A'..'Z', below 128
    return word | (upper >> 2);                                    // + 0x20
}

// The key of a row text, which is a view of the record's bytes: read as two words straight from the
// record where 16 bytes follow the text's start in it (they do for both text fields), through a padded
// copy otherwise.
SortKey sort_key(std::string_view text, const MasterRecord& record) {
    const std::size_t length = std::min(text.size(), kKeyBytes);
    const auto* first = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* record_end = record.bytes.data() + record.bytes.size();
    unsigned char padded[kKeyBytes] = {};
    if (first < record.bytes.data() || first > record_end ||
        static_cast<std::size_t>(record_end - first) < kKeyBytes) {
        std::copy_n(first, length, padded);
        first = padded;
    }
    return SortKey{lower_case_word(first_bytes(big_endian_word(first), length)),
                   lower_case_word(first_bytes(big_endian_word(first + 8), length > 8 ? length - 8 : 0))};
}

// Sorts by first word, equal words in the order they come (position order): a radix sort, a pass per
// byte of the word that is not the same in every entry (symbols share their padding and often their
// first letters). Its cost does not depend on the order the list comes in, and it takes no branch the
// data decides, where a comparison sort of thousands of texts mispredicts at every other comparison.
void sort_entries(std::vector<SortEntry>& entries) {
    if (entries.empty())
        return;
    std::uint64_t varying = 0; // the bits that differ between the first word and any other
    for (const SortEntry& entry : entries)
        varying |= entry.high ^ entries.front().high;
    std::vector<SortEntry> sorted(entries.size());
    for (int shift = 0; shift < 64; shift += 8) {
        if (((varying >> shift) & 0xFF) == 0)
            continue;
        std::array<std::size_t, 257> starts{};
        for (const SortEntry& entry : entries)
            ++starts[((entry.high >> shift) & 0xFF) + 1];
        for (std::size_t byte = 1; byte < starts.size(); ++byte)
            starts[byte] += starts[byte - 1];
        for (const SortEntry& entry : entries)
            sorted[starts[(entry.high >> shift) & 0xFF]++] = entry;
        entries.swap(sorted);
    }
}

// The positions of the records in sorted order: by first word and position, then each run of equal first
// words by second word (and position, which that run already holds in order).
std::vector<std::uint32_t> sorted_positions(const std::vector<XmasterRecord>& records) {
    std::vector<SortKey> keys(records.size());
    std::vector<SortEntry> entries(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        keys[i] = sort_key(row_symbol(records[i].record), records[i].record);
        entries[i] = {keys[i].high, i};
    }
    sort_entries(entries);
    for (auto run = entries.begin(); run != entries.end();) {
        const auto run_end = std::find_if(run + 1, entries.end(),
                                          [&](const SortEntry& entry) { return entry.high != run->high; });
        if (run_end - run > 1)
            std::stable_sort(run, run_end, [&](const SortEntry& a, const SortEntry& b) {
                return keys[a.position].low < keys[b.position].low;
            });
        run = run_end;
    }
    std::vector<std::uint32_t> positions(entries.size());
    std::transform(entries.begin(), entries.end(), positions.begin(),
                   [](const SortEntry& entry) { return static_cast<std::uint32_t>(entry.position); });
    return positions;
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

std::string_view SymbolRow::symbol() const {
    return row_symbol(record);
}

std::string_view SymbolRow::name() const {
    return master_name_view(record);
}

SymbolRow SymbolRows::row(std::uint32_t position) const {
    const XmasterRecord& entry = records_[position];
    return SymbolRow{entry.record, entry.index, master_symbol_view(entry.record).empty()};
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

    // The records of the rows in file order (MASTER's, then XMASTER's); the sort moves their positions.
    std::vector<XmasterRecord>& records = listing.rows.records_;
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
    listing.rows.order_ = sorted_positions(records);
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

CommandResult symbol_list_repair(SymbolListing& listing, const std::filesystem::path& master_path,
                                 const Confirm& confirm_repair, DeclinedRepair declined) {
    CommandResult step = CommandResult::success();
    if (!listing.needs_repair) {
        return step;
    }
    const bool confirmed =
        confirm_repair && confirm_repair(Message{MessageKind::Question, repair_question_text(master_path)});
    if (!confirmed && declined == DeclinedRepair::Browses) {
        return step;
    }
    std::string emaster_note;
    bool repaired = confirmed && RepairMaster(master_path, &emaster_note) == 1;
    if (!emaster_note.empty()) {
        step.add(MessageKind::Warning, emaster_note);
    }
    if (repaired) { // the rows as the records now read
        listing = symbol_list_read(master_path);
        repaired = listing.result.ok;
    } else {
        fail(listing);
    }
    if (!repaired) {
        step.ok = false;
        step.add(MessageKind::Error, kFillFailure);
    }
    return step;
}

SymbolListing symbol_list_fill(const std::filesystem::path& master_path, const Confirm& confirm_repair) {
    SymbolListing listing = symbol_list_read(master_path);
    const CommandResult repair =
        symbol_list_repair(listing, master_path, confirm_repair, DeclinedRepair::Fails);
    if (repair.ok) {
        listing.result.messages.insert(listing.result.messages.end(), repair.messages.begin(),
                                       repair.messages.end());
    }
    return listing;
}
