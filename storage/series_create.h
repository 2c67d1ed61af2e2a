// New portfolios and new securities, with the files and directory records that other programs expect
// of the portfolios vendors write: MASTER and EMASTER for the first 255 securities, XMASTER and
// F<n>.MWD after them, F<n>.DAT (or .MWD) and F<n>.DOP for each.
#pragma once

#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "storage/status.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The fields a new security keeps (always in the order DATE, TIME, OPEN, HIGH, LOW, CLOSE, VOL, OI) and
// how often it is quoted.
struct SeriesShape {
    std::array<bool, kFieldNames> has{}; // indexed by FieldIndex; DATE always
    char periodicity = 'D';              // 'D', 'W', 'M' or 'I'

    int field_count() const;
    // Positions in the fixed order, with the codes the new F<n>.DOP gives: 2 (hundredths) for the four
    // prices, 0 for the others.
    FieldLayout layout() const;
    // The lines of F<n>.DOP.
    std::string dop_text() const;
    // The field bitset of EMASTER and XMASTER.
    std::uint8_t field_bits() const;
};
// The usual shape: DATE, OPEN, HIGH, LOW, CLOSE, VOL, OI; intra-day DATE, TIME, OPEN, HIGH, LOW, CLOSE, VOL
// (the 28-byte records other programs read without F<n>.DOP).
SeriesShape series_shape_default(char periodicity);

// Makes `dir` a portfolio with nothing in it: MASTER (its 53-byte header, count 0) and EMASTER (its
// 192-byte header, count 0). `dir` is made when it is not there (its parent must be). 0; -7 when `dir`
// already holds a MASTER, EMASTER or XMASTER (any letter case), or is no directory; -2 when `dir` cannot
// be made or looked at; -5 when a file cannot be written (the files made are gone again).
StatusCode portfolio_create(const std::filesystem::path& dir);

struct NewSecurity {
    std::string symbol; // as stored: up to 14 characters
    std::string name;   // as stored: up to 44 characters; MASTER keeps the first 16, EMASTER all
    SeriesShape shape;
};

// Adds a security to the portfolio at `dir` holding `quotes` (ordered by date and time, no two alike;
// none: a quote file with its header record alone). It takes the lowest free number of MASTER, or of
// XMASTER (numbers from 256, quotes in F<n>.MWD) when MASTER holds 255 securities. Its quote file and
// F<n>.DOP are written first, then its record (MASTER with EMASTER following, or XMASTER), so that at
// every instant a record points to complete files. 0 with `number` and `counts` set; 2 when the
// portfolio is full; -7 when a file of that number is in the way (a file holding exactly what would be
// written, left by a run cut short, is not in the way); -4 when MASTER cannot be read; -16 when its
// count is damaged; -1 when a value cannot be held; -5 when writing fails (the files made are gone).
int security_create(const std::filesystem::path& dir, const NewSecurity& security,
                    const std::vector<MergeQuote>& quotes, int& number, MergeCounts& counts,
                    std::string* emaster_note = nullptr);
