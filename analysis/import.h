// Bringing quotes in: a new portfolio, a new security, and quotes read from text merged into the
// securities of a portfolio (made new when asked).
#pragma once

#include "analysis/quote_text.h"
#include "common/command_result.h"
#include "storage/rewrite.h"
#include "storage/series_create.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The fields and periodicity of a new security from their texts: `fields` a list of field names
// ("date,open,high,low,close,vol,oi"; empty: the usual ones for the periodicity), `periodicity` one of
// D, W, M, I (empty: D). DATE is always kept; TIME only in an intra-day series, which needs it. False
// with `error` set when the texts cannot be used.
bool series_shape_parse(std::string_view fields, std::string_view periodicity, SeriesShape& shape,
                        std::string& error);

// Makes `dir` an empty portfolio (MASTER and EMASTER, headers only).
CommandResult new_portfolio(const std::filesystem::path& dir);
// Adds an empty security to the portfolio at `dir`. The symbol and name are checked as typed (the name
// may be longer than MASTER's 16 characters: EMASTER and XMASTER keep it whole); a symbol that a
// security of the portfolio already answers to is refused.
CommandResult new_security(const std::filesystem::path& dir, std::string_view symbol, std::string_view name,
                           const SeriesShape& shape);

struct ImportOptions {
    QuoteTextOptions text;
    bool keep_existing = false; // a quote already stored keeps its values
    bool create = false;        // a security not in the portfolio is made
    std::string name;           // the name of a security made by `import` (import-all: its symbol, or the
                                // file's name column when it has one)
    // The shape of a security made new; when not given, its fields are those the file gives values for
    // (TIME when a quote has a time of day, intra-day then), daily.
    bool shape_given = false;
    SeriesShape shape;
    // Everything but the writing: the files are read and checked, and each outcome counts what the
    // import would add, replace and leave (nothing is `written`).
    bool dry_run = false;
};

// What happened to one security.
struct ImportOutcome {
    std::string symbol;
    MergeCounts counts;
    bool created = false;
    bool written = false;     // its files now hold the quotes
    std::string text() const; // "ACME: 3 added, 1 replaced, 250 unchanged; 254 quotes from 01/02/20 to
                              // 12/31/25" ("ACME (new): ..." for one made)
};

// Progress over many securities: called before each with the number done and the total; false cancels
// (the securities written stay written, each whole).
using ImportProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Merges the quotes of `file` into the security `symbol` of the portfolio at `dir` (made when missing and
// `options.create`). The file is read and checked whole first; a refused line refuses the import, and
// nothing is written. Notes say which columns were not read and which values the security has no field
// for; `outcomes` says what was written.
CommandResult import_quotes(const std::filesystem::path& dir, std::string_view symbol,
                            const std::filesystem::path& file, const ImportOptions& options,
                            std::vector<ImportOutcome>& outcomes);

// Imports many files: a file with a ticker column sends each line to the security it names, any other
// file goes to the security named like the file (its name without extension). Every file is read and
// checked before anything is written: one refused line refuses the whole run. Then each security is
// written whole or not at all; after a failed one the others go on, and the result, which lists the
// securities written and those not, is a failure.
CommandResult import_all(const std::filesystem::path& dir, const std::vector<std::filesystem::path>& files,
                         const ImportOptions& options, std::vector<ImportOutcome>& outcomes,
                         const ImportProgress& progress = {});
