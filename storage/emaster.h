// EMASTER, the extended directory file most portfolios carry beside MASTER: a 192-byte header, then one
// 192-byte record per MASTER record, in the same order. Other programs take long names from it and check
// that record i names the file number of MASTER record i, so every change to MASTER is made to it too.
//
// Header: byte 0 the number of records, byte 2 the highest file number in use. Record: bytes 0-1 "66",
// 2 file number, 6 field count, 7 field bitset, 9 ' ', 11-24 symbol (NUL-terminated), 32-47 short name
// (NUL-terminated when shorter than 16), 60 periodicity, 62-63 intra-day interval, 64-67 / 72-75 first
// / last date as IEEE floats of (year - 1900) * 10000 + month * 100 + day, 126-129 the first date as
// the integer YYYYMMDD, 139-191 long name (empty, or beginning with the short name). Every other byte is
// kept as read.
//
// EMASTER alone: read and checked against a MASTER image given to it, followed and rebuilt in memory.
// Its reading beside the MASTER on disk and its rewrites are storage/directory.h.
#pragma once

#include "storage/master_record.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

constexpr int kEmasterRecordSize = 192;

// One record, as stored.
struct EmasterRecord {
    std::array<std::uint8_t, kEmasterRecordSize> bytes{};
    int file_number() const { return bytes[2]; }
    void set_file_number(int number) { bytes[2] = static_cast<std::uint8_t>(number); }
};

// The record the layout's rules give a security that has none: built from its MASTER record (dates MBF).
EmasterRecord emaster_record_from_master(const MasterRecord& record);
// The record of a security made new: as emaster_record_from_master, with the field bitset given
// (0x01 date, 0x02 high, 0x04 low, 0x08 close, 0x10 volume, 0x20 open, 0x40 open interest, 0x80 time)
// and the long name set when the name is longer than the 16 characters MASTER holds (cut to 52).
EmasterRecord emaster_record_for_new(const MasterRecord& record, std::uint8_t field_bits,
                                     std::string_view full_name);

// The EMASTER of a portfolio without securities: its header alone, counting none.
std::vector<std::uint8_t> emaster_empty_image();

enum class EmasterState {
    Absent,     // the portfolio has none: it gets none
    Usable,     // in step: record i describes MASTER record i as MASTER does, counts agree
    OutOfStep,  // whole records in MASTER's order, but some describe a security otherwise than MASTER
                // (a run killed between the two rewrites, another program that changed MASTER alone):
                // rebuilt from MASTER before the next change
    Unusable,   // never written; `reason` says why
    Unreadable, // the file system failed to answer: a change of MASTER stops, so the two stay in step
};

// One way in which EMASTER and MASTER describe the security with that file number differently.
struct EmasterDifference {
    int file_number = 0;
    std::string what; // "symbol", "name", "first date", "last date", "field count", "periodicity",
                      // "missing from EMASTER" or "only in EMASTER"
};

// The EMASTER of a portfolio as read and checked against its MASTER (the counted records of `master`).
// Records are matched by file number (a number used twice, by its occurrences in order). The file is
// unusable when its size is no whole number of records, its count exceeds them, or the records both
// files hold stand in another order than in MASTER. Compared for each security: symbol (as far as
// EMASTER holds it; not where MASTER's is blank, which is damage to repair), short name, first and last
// date, field count, periodicity; a reference to a nested portfolio only for being there.
struct EmasterFile {
    EmasterState state = EmasterState::Absent;
    std::filesystem::path path;
    std::vector<std::uint8_t> bytes;            // the whole file, when usable or out of step
    std::string reason;                         // when unusable, in plain words ("its size is not ...")
    std::vector<EmasterDifference> differences; // when out of step, in MASTER's order, then EMASTER's

    int records_present() const { return static_cast<int>(bytes.size() / kEmasterRecordSize) - 1; }
    EmasterRecord record(int index) const; // 0-based, as MASTER's counted records
};
EmasterFile emaster_read(const std::filesystem::path& dir, const MasterImage& master);

// The EMASTER content that follows a change of MASTER from `before` to `after`, both images of the same
// file: the counted records of `after` either correspond one to one with those of `before`, or one was
// removed, or one was added (then it is `added`, or a record built from the MASTER record). Only the
// fields whose MASTER counterparts changed are rewritten: symbol (cut to 13 characters), short name,
// long name (set to the new name when it no longer begins with it), first and last dates; the header's
// count and highest file number follow the MASTER records. `bytes` is a usable file's content.
std::vector<std::uint8_t> emaster_follow(const std::vector<std::uint8_t>& bytes, const MasterImage& before,
                                         const MasterImage& after, const EmasterRecord* added = nullptr);

// The content of an out-of-step file rebuilt from `master`: one record per counted MASTER record, in its
// order. A record EMASTER holds for the security keeps every byte but the fields that differ (symbol, short
// name and a long name that no longer begins with it, dates, field count with its bitset, periodicity);
// a security it lacks gets a record built from MASTER; a record of a security MASTER no longer lists goes.
// A record after EMASTER's count is taken for a security missing among the counted ones; the others stay
// after the rebuilt records. The header's count and highest file number follow MASTER, its other bytes
// stay.
std::vector<std::uint8_t> emaster_rebuild(const EmasterFile& file, const MasterImage& master);

// The differences as one line: "F3 symbol, F3 name, F7 only in EMASTER".
std::string emaster_differences_text(const EmasterFile& file);

// The message a command shows once when a change of MASTER left an unusable EMASTER as it was.
std::string emaster_left_message(const EmasterFile& file);
// The message a command shows once when it rebuilt an out-of-step EMASTER before its own change.
std::string emaster_rebuilt_message(const EmasterFile& file);
