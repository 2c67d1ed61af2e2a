// Series rewrite: every change to the bars of a security, written through F<n>.BAK and F<n>.NEW.
#pragma once

#include "storage/encoding.h"
#include "storage/status.h"

#include <cstdint>
#include <filesystem>
#include <string_view>

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
};

// 0 on success; the status of the lookup or layout read; -2 when F<n>.DAT cannot be opened; -1 for a
// request whose values cannot be stored; -5 when writing or replacing the new file fails (F<n>.DAT
// unchanged); -200 when kind 4 finds no bar dated exactly the first date.
int series_rewrite(const SeriesEdit& edit, const std::filesystem::path& dir, std::string_view key,
                   std::int32_t bar_count, const std::filesystem::path& master_path);
