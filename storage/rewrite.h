// Series rewrite: every change to the bars of a security, written through F<n>.BAK and F<n>.NEW.
#pragma once

#include "storage/dates.h"
#include "storage/quotes.h"
#include "storage/status.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

enum EditKind : std::int16_t {
    kEditSet = 1,      // every present value field takes the request's value
    kEditMultiply = 2, // every present value field is multiplied, in single precision
    kEditScale = 3,    // as kind 2
    kEditDelete = 4,   // the first bar in the range is left out
    kEditInsert = 5,   // in front of each bar in the range, a copy dated the nearest earlier weekday
};

struct SeriesEdit {
    float values[6] = {}; // OPEN, HIGH, LOW, CLOSE, VOL, OI
    DayNumber first_date = 0;
    DayNumber last_date = 0;
    std::int16_t kind = 0;
    // -1: every bar in the range (kind 4: the first bar of the first date). 0 or more: that bar alone
    // (0 = the oldest), which must be dated within the range (kind 4: dated the first date), so that a
    // command aimed at one of several quotes of a day changes exactly that one.
    std::int32_t bar = -1;
};

// 0 on success. Refusals, before any file is changed: the status of the lookup (-8, -4) or of the layout
// read (-100, -2, -4); -16 for a damaged record shape or a header whose R is below 1; -2 when F<n>.DAT
// cannot be opened, -4 when it cannot be read; -1 for an unknown kind, for values (kind 1) or products
// (kinds 2, 3) that MBF cannot hold, or for an insert past 32766 bars; -200 when kind 4 finds no bar
// dated exactly the first date; -9 when the one bar asked for (`bar`) is not there or not in the range.
// Failures while writing: -5 when F<n>.BAK cannot be made, when F<n>.NEW cannot be written, synced or renamed
// over F<n>.DAT, or when kind 4 cannot bring the MASTER dates in step (F<n>.DAT is then put back); -2 when
// F<n>.NEW cannot be created. After any failure F<n>.DAT is as it was and F<n>.NEW is gone. `bar_count` is
// not trusted: kind 4 counts the bars of the file itself. An edit whose new content equals the old writes
// nothing at all (F<n>.BAK keeps the state before the last real change) and returns 0 with `*changed` false;
// `*changed` is true when F<n>.DAT was replaced. The MASTER dates kind 4 moves move in a usable EMASTER
// too; `emaster_note` receives the message when an unusable one was left as it was (storage/directory.h).
int series_rewrite(const SeriesEdit& edit, const std::filesystem::path& dir, std::string_view key,
                   std::int32_t bar_count, const std::filesystem::path& master_path, bool* changed = nullptr,
                   std::string* emaster_note = nullptr);
// The same rewrite of a security already located in the portfolio at `dir` (series_locate), for a caller
// that has looked it up once and checked that its files are unchanged since.
int series_rewrite_at(const SeriesEdit& edit, const SeriesLocation& at, const std::filesystem::path& dir,
                      const std::filesystem::path& master_path, bool* changed = nullptr,
                      std::string* emaster_note = nullptr);

// ---- Quotes merged in ------------------------------------------------------------------------------

// One quote to bring into a security: its date, its time of day (HHMMSS; 0 for a series without TIME),
// and the values it gives (bit i of `given` for values[i], OPEN, HIGH, LOW, CLOSE, VOL, OI).
struct MergeQuote {
    DayNumber date = 0;
    TimeOfDay time = 0;
    float values[6] = {};
    std::uint8_t given = 0;
};

// What a merge did: quotes added, quotes replaced because a value differed, quotes already there with the
// same values (or kept as they were when asked), and the bars, first and last date afterwards.
struct MergeCounts {
    std::int32_t added = 0;
    std::int32_t replaced = 0;
    std::int32_t unchanged = 0;
    std::int32_t bars = 0;
    DayNumber first = 0;
    DayNumber last = 0;
};

// The quote file `bytes` (a complete F<n>.DAT: header record, bars, anything after them) with `quotes`
// merged in, into `out`. `quotes` are ordered by date and time, no two alike; the stored bars must be in
// that order too. A new date (and time) becomes a bar in its place: DATE (and TIME) and the values given,
// 0 for those not given. A bar of the same date and time takes the given values that differ (unless
// `keep_existing`); values not given, and fields the quotes do not name, keep their bytes. Values for
// fields the layout lacks are ignored. R in the header counts the bars. 0; -16 for a damaged shape or R
// below 1; -1 for more than 32766 bars, a value MBF cannot hold, quotes out of order, or a
// time of day for a layout without TIME; -9 when the stored bars are not in
// date order (`counts.bars` then holds the index of the first bar out of order).
int series_merge_image(const std::vector<std::uint8_t>& bytes, int record_length, const FieldLayout& layout,
                       const std::vector<MergeQuote>& quotes, bool keep_existing,
                       std::vector<std::uint8_t>& out, MergeCounts& counts);

// What series_merge_at would do, counted without writing anything. Statuses as series_merge_image, and
// those of reading F<n>.DAT.
int series_merge_count(const SeriesLocation& at, const std::vector<MergeQuote>& quotes, bool keep_existing,
                       MergeCounts& counts);
// series_merge_image on the security at `at`, written as every rewrite is (F<n>.BAK, F<n>.NEW, one
// rename), with the first and last dates set in whichever directory files list it (MASTER and a usable
// EMASTER, or XMASTER) when they change. Nothing is written when no byte changes. Statuses as
// series_merge_image and series_rewrite_at; when the dates cannot be set, F<n>.DAT is put back (-5).
int series_merge_at(const SeriesLocation& at, const std::vector<MergeQuote>& quotes, bool keep_existing,
                    const std::filesystem::path& dir, const std::filesystem::path& master_path,
                    MergeCounts& counts, std::string* emaster_note = nullptr);
