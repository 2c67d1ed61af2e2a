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
#pragma once

#include "storage/master.h"

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

enum class EmasterState {
    Absent,     // the portfolio has none: it gets none
    Usable,     // record i names MASTER record i's file number, counts agree: kept in step
    Unusable,   // never written; `reason` says why
    Unreadable, // the file system failed to answer: a change of MASTER stops, so the two stay in step
};

// The EMASTER of a portfolio as read and checked against its MASTER (the counted records of `master`).
struct EmasterFile {
    EmasterState state = EmasterState::Absent;
    std::filesystem::path path;
    std::vector<std::uint8_t> bytes; // the whole file, when usable
    std::string reason;              // when unusable, in plain words ("its size is not ...")

    int records_present() const { return static_cast<int>(bytes.size() / kEmasterRecordSize) - 1; }
    EmasterRecord record(int index) const; // 0-based, as MASTER's counted records
};
EmasterFile emaster_read(const std::filesystem::path& dir, const MasterImage& master);

// The record of the security with that file number in the portfolio's usable EMASTER: Usable when found
// (`record` set), Unreadable when MASTER or EMASTER could not be read, else Absent.
EmasterState emaster_find(const std::filesystem::path& dir, int file_number, EmasterRecord& record);

// The EMASTER content that follows a change of MASTER from `before` to `after`, both images of the same
// file: the counted records of `after` either correspond one to one with those of `before`, or one was
// removed, or one was added (then it is `added`, or a record built from the MASTER record). Only the
// fields whose MASTER counterparts changed are rewritten: symbol (cut to 13 characters), short name,
// long name (set to the new name when it no longer begins with it), first and last dates; the header's
// count and highest file number follow the MASTER records. `bytes` is a usable file's content.
std::vector<std::uint8_t> emaster_follow(const std::vector<std::uint8_t>& bytes, const MasterImage& before,
                                         const MasterImage& after, const EmasterRecord* added = nullptr);

// The message a command shows once when a change of MASTER left an unusable EMASTER as it was.
std::string emaster_left_message(const EmasterFile& file);
