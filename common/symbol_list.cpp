#include "common/symbol_list.h"

#include "common/repair.h"
#include "storage/xmaster.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <utility>

namespace {

constexpr const char* kFillFailure = "Failure while filling symbols grid";
constexpr const char* kCountMismatch = "\nis damaged: its count does not match its records.";

// A damaged record's row text: its name without the blanks that pad it (the row's text is a key).
std::string_view without_padding(std::string_view name) {
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
    std::uint64_t high, position;
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

// The key of a row text, of which 16 bytes from its first are readable (SymbolRow::symbol).
SortKey sort_key(std::string_view text) {
    const std::size_t length = std::min(text.size(), kKeyBytes);
    const auto* first = reinterpret_cast<const unsigned char*>(text.data());
    // Most symbols are eight bytes or shorter: their second word is zero.
    return SortKey{lower_case_word(first_bytes(big_endian_word(first), length)),
                   length > 8 ? lower_case_word(first_bytes(big_endian_word(first + 8), length - 8)) : 0};
}

// Sorts by first word, equal words in the order they come (position order): a radix sort, a pass per
// digit of the word whose bits are not the same in every entry (symbols share their padding and often
// their first letters). Its cost does not depend on the order the list comes in, and it takes no branch
// the data decides, where a comparison sort of thousands of texts mispredicts at every other comparison.
// A long list takes 11-bit digits: three passes where 8-bit ones take four.
void sort_entries(std::unique_ptr<SortEntry[]>& entries, std::size_t count) {
    if (count == 0)
        return;
    std::uint64_t varying = 0; // the bits that differ between the first word and any other
    for (std::size_t i = 0; i < count; ++i)
        varying |= entries[i].high ^ entries[0].high;
    if (varying == 0)
        return;
    const int digit_bits = count < 2048 ? 8 : 11;
    const std::uint64_t digit_mask = (std::uint64_t{1} << digit_bits) - 1;
    std::vector<std::uint32_t> starts((std::size_t{1} << digit_bits) + 1);
    auto sorted = std::make_unique_for_overwrite<SortEntry[]>(count);
    const int top = static_cast<int>(std::bit_width(varying));
    for (int shift = std::countr_zero(varying); shift < top; shift += digit_bits) {
        if (((varying >> shift) & digit_mask) == 0)
            continue;
        std::fill(starts.begin(), starts.end(), 0u);
        for (std::size_t i = 0; i < count; ++i)
            ++starts[((entries[i].high >> shift) & digit_mask) + 1];
        for (std::size_t digit = 1; digit < starts.size(); ++digit)
            starts[digit] += starts[digit - 1];
        for (std::size_t i = 0; i < count; ++i)
            sorted[starts[(entries[i].high >> shift) & digit_mask]++] = entries[i];
        entries.swap(sorted);
    }
}

// The positions of the rows in sorted order, given the text of each: by first word and position, then
// each run of equal first words by second word (and position, which that run already holds in order).
template <typename TextAt> std::vector<std::uint32_t> sorted_positions(std::size_t count, TextAt text_at) {
    // Every element is written before it is read: the arrays are not filled with zeros first.
    const auto low_words = std::make_unique_for_overwrite<std::uint64_t[]>(count);
    auto entries = std::make_unique_for_overwrite<SortEntry[]>(count);
    for (std::size_t i = 0; i < count; ++i) {
        const SortKey key = sort_key(text_at(static_cast<std::uint32_t>(i)));
        low_words[i] = key.low;
        entries[i] = {key.high, i};
    }
    sort_entries(entries, count);
    for (std::size_t run = 0, end = 0; run < count; run = end) {
        for (end = run + 1; end < count && entries[end].high == entries[run].high;)
            ++end;
        if (end - run > 1)
            std::stable_sort(entries.get() + run, entries.get() + end,
                             [&](const SortEntry& a, const SortEntry& b) {
                                 return low_words[a.position] < low_words[b.position];
                             });
    }
    std::vector<std::uint32_t> positions;
    positions.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        positions.push_back(static_cast<std::uint32_t>(entries[i].position));
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

MasterRecord SymbolRow::record() const {
    return rows_->record(position_);
}

int SymbolRow::file_number() const {
    return rows_->file_number(position_);
}

std::string_view SymbolRows::text(std::uint32_t position) const {
    std::string_view symbol, name;
    if (position < master_.size()) {
        symbol = master_symbol_view(master_[position].record);
        if (!symbol.empty())
            return symbol;
        name = master_name_view(master_[position].record);
    } else {
        const XmasterListEntry& entry = xmaster_.entries[position - master_.size()];
        symbol = XmasterList::symbol(entry);
        if (!symbol.empty())
            return symbol;
        name = XmasterList::name(entry);
    }
    return without_padding(name);
}

SymbolRow SymbolRows::row(std::uint32_t position) const {
    SymbolRow row;
    row.rows_ = this;
    row.position_ = position;
    if (position < master_.size()) {
        const MasterRow& master = master_[position];
        row.record_index = master.slot;
        row.symbol_ = master_symbol_view(master.record);
        row.name_ = master_name_view(master.record);
    } else {
        const XmasterListEntry& entry = xmaster_.entries[position - master_.size()];
        row.record_index = entry.index;
        row.symbol_ = xmaster_.symbol(entry);
        row.name_ = xmaster_.name(entry);
    }
    row.damaged = row.symbol_.empty();
    if (row.damaged)
        row.symbol_ = without_padding(row.name_);
    return row;
}

int SymbolRows::file_number(std::uint32_t position) const {
    if (position < master_.size())
        return master_[position].record.file_number();
    return xmaster_.entries[position - master_.size()].number;
}

MasterRecord SymbolRows::record(std::uint32_t position) const {
    if (position < master_.size())
        return master_[position].record;
    return xmaster_.record(xmaster_.entries[position - master_.size()]);
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
    SymbolRows& rows = listing.rows;
    rows.master_.reserve(static_cast<std::size_t>(image.records_present()));
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
        rows.master_.push_back({record, slot});
        listing.needs_repair = listing.needs_repair || master_symbol_view(record).empty();
    }
    if (records_read != listing.symbol_count) {
        fail(listing, "The portfolio file\n" + master_path.string() + kCountMismatch);
        return listing;
    }
    // The securities of XMASTER join the list; the limit of 255 applies to MASTER's records alone.
    xmaster_read_list(master_path.parent_path(), rows.xmaster_, &listing.xmaster_unusable);
    listing.symbol_count += static_cast<int>(rows.xmaster_.entries.size());
    rows.order_ =
        sorted_positions(rows.positions(), [&rows](std::uint32_t position) { return rows.text(position); });
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
