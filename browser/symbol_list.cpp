#include "browser/symbol_list.h"

#include "browser/repair.h"
#include "storage/fileops.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kNameOffset = 7;
constexpr int kSymbolOffset = 36;
constexpr int kTextBytes = 16;
constexpr const char* kFillFailure = "Failure while filling symbols grid";
// No MASTER of 255 records comes near this; a larger file is not one.
constexpr std::uint64_t kMaxMasterBytes = std::uint64_t{16} << 20;

bool ends_symbol(std::uint8_t byte) {
    return byte <= 32 || byte >= 128;
}

std::int16_t header_count(const std::string& image) {
    const auto low = static_cast<std::uint8_t>(image[0]);
    const auto high = static_cast<std::uint8_t>(image[1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
}

MasterRecord record_at(const std::string& image, std::size_t offset) {
    MasterRecord record;
    std::memcpy(record.bytes.data(), image.data() + offset, kMasterRecordSize);
    return record;
}

SymbolRow make_row(const MasterRecord& record, int index) {
    SymbolRow row;
    row.name = master_name_text(record);
    row.symbol = master_symbol_text(record);
    row.damaged = row.symbol.empty();
    if (row.damaged) {
        row.symbol = row.name;
    }
    row.record_index = index;
    row.record = record;
    return row;
}

void fail(SymbolListing& listing) {
    listing.result.ok = false;
    listing.result.add(MessageKind::Error, kFillFailure);
    listing.rows.clear();
    listing.symbol_count = 0;
    listing.needs_repair = false;
}

bool read_master(const std::filesystem::path& master_path, std::string& image) {
    const fileops::FileStat info = fileops::stat(master_path);
    if (!info.exists || !info.is_regular || info.size > kMaxMasterBytes) {
        return false;
    }
    return fileops::read_file(master_path, image) &&
           image.size() >= static_cast<std::size_t>(kMasterRecordSize);
}

std::string count_message(int count) {
    return "File has " + std::to_string(count) + " symbols.\nWill only display the first " +
           std::to_string(kMaxSecurities) + " symbols";
}

} // namespace

std::string master_symbol_text(const MasterRecord& record) {
    std::string text;
    for (int i = 0; i < kTextBytes && !ends_symbol(record.bytes[kSymbolOffset + i]); ++i) {
        text.push_back(static_cast<char>(record.bytes[kSymbolOffset + i]));
    }
    return text;
}

std::string master_name_text(const MasterRecord& record) {
    std::string text;
    for (int i = 0; i < kTextBytes && record.bytes[kNameOffset + i] != 0; ++i) {
        text.push_back(static_cast<char>(record.bytes[kNameOffset + i]));
    }
    return text;
}

bool master_record_damaged(const MasterRecord& record) {
    // A reference to a nested portfolio is no security: its blank symbol is not damage.
    return ends_symbol(record.bytes[kSymbolOffset]) && !master_is_directory_entry(record);
}

bool master_slot_unused(const MasterRecord& record) {
    return std::all_of(record.bytes.begin(), record.bytes.end(), [](std::uint8_t b) { return b == 0; });
}

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
    std::string image;
    if (!read_master(master_path, image)) {
        fail(listing);
        return listing;
    }
    listing.header_count = header_count(image);
    listing.symbol_count = listing.header_count;
    if (listing.header_count > kMaxSecurities) {
        listing.result.add(MessageKind::Warning, count_message(listing.header_count));
        listing.symbol_count = kMaxSecurities;
    }

    const std::size_t slots = image.size() / kMasterRecordSize - 1;
    int records_read = 0;
    for (std::size_t slot = 0; slot < slots; ++slot) {
        if (listing.header_count > kMaxSecurities && records_read == kMaxSecurities) {
            break;
        }
        const MasterRecord record = record_at(image, (slot + 1) * kMasterRecordSize);
        // Unused slots after the counted records are common in real files and are no records.
        if (static_cast<long>(slot) >= listing.symbol_count && master_slot_unused(record)) {
            continue;
        }
        // A nested portfolio is a record of this file but no row of its symbol list: the walk lists it
        // as a portfolio of its own.
        if (master_is_directory_entry(record)) {
            ++records_read;
            continue;
        }
        listing.rows.push_back(make_row(record, static_cast<int>(slot)));
        listing.needs_repair = listing.needs_repair || listing.rows.back().damaged;
        ++records_read;
    }
    if (records_read != listing.symbol_count) {
        fail(listing);
        return listing;
    }
    sort_symbol_rows(listing.rows);
    return listing;
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
    const bool repaired = confirm_repair &&
                          confirm_repair(Message{MessageKind::Question, repair_question_text(master_path)}) &&
                          RepairMaster(master_path) == 1;
    if (!repaired) {
        fail(listing);
    }
    listing.needs_repair = false;
    return listing;
}
