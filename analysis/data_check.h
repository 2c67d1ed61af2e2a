// The data check: looks through a security, or every security of a portfolio and of the portfolios
// nested in it, for quotes that cannot be right or look suspicious: impossible bars, faulty dates,
// spikes and probable unrecorded splits. It changes nothing.
#pragma once

#include "common/command_result.h"
#include "common/quote_values.h"
#include "storage/status.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// How far a series may go before a quote is reported. Kept in the settings ("Check" section).
struct CheckLimits {
    int spike_percent = 50; // a close that moves by more than this and comes back the next bar
    int gap_days = 10;      // calendar days between two quotes of a daily series
};
inline constexpr const char* kCheckSettingsSection = "Check";
inline constexpr const char* kSpikePercentKey = "SpikePercent";
inline constexpr const char* kGapDaysKey = "GapDays";

enum class CheckKind {
    HighBelowLow,
    OpenOutsideRange,
    CloseOutsideRange,
    NonPositivePrice,
    NegativeVolume,
    NegativeOpenInterest,
    NotFinite,
    OutOfOrder,
    SameDate,
    WeekendDate,
    DateGap,
    Spike,
    PossibleSplit,
    Unreadable, // the series could not be read (bar is -1, date 0)
    // Findings about a portfolio's directory files (bar -1, date 0, the target's symbol empty and its
    // label the file's, "SUB/EMASTER"): an EMASTER that disagrees with MASTER (the values name how),
    // an XMASTER that cannot be read (the values say why).
    EmasterOutOfStep,
    XmasterUnusable,
};
// The kind as a result line names it ("high-below-low", "spike", ...).
const char* check_kind_name(CheckKind kind);

// What the check needs to know of a series besides its bars.
struct SeriesTraits {
    // Open, high, low, close, volume, open interest: which fields the series has.
    std::array<bool, 6> present{true, true, true, true, true, true};
    bool daily = true;     // daily quotes: weekends and long gaps are suspicious
    bool has_time = false; // intra-day quotes: several a day, ordered by date and time
};

struct CheckFinding {
    std::int32_t bar = 0; // the quote's index in the file, 0 the oldest
    DayNumber date = 0;
    CheckKind kind = CheckKind::HighBelowLow;
    std::string values;                 // the values involved, e.g. "high=9.5000 low=10.0000"
    std::optional<TimeOfDay> time = {}; // the quote's time, in a series whose quotes carry one
};

// Checks bars given oldest first. Findings come in bar order, and in the order of the kinds above for
// one bar. A bar without a date (day 0) takes part in no date test. In a series with a time of day,
// quotes are ordered by date and time, and a date and time held by several quotes (anywhere in the
// series) is reported once, as same-date at the second of them, with the number of quotes
// ("quotes=81").
std::vector<CheckFinding> check_bars(std::span<const QuoteRowValues> bars, const SeriesTraits& traits,
                                     const CheckLimits& limits);

// One security to check: the portfolio directory where its record stands, the key it is read with and
// the label a result shows (the symbol, with the nested directories before it: "SUB/XYZ").
struct CheckTarget {
    std::filesystem::path dir;
    std::string symbol;
    std::string label;
};

struct SecurityFinding {
    CheckTarget target;
    CheckFinding finding;
};

// A finding as one tab-separated line: label, date as MM/DD/YY (followed by the time, HH:MM:SS, of an
// intra-day quote), kind, values.
std::string check_line(const SecurityFinding& finding);

// Every security of the portfolio at `dir` and, depth first, of its nested portfolios (each directory
// once, at most kMaxNesting deep). Failure: the MASTER at `dir` cannot be listed; a nested one that
// cannot be listed is skipped with a warning. A portfolio whose XMASTER cannot be read adds a warning
// that says so; `directory_findings`, when given, receives the findings about each portfolio's
// directory files.
CommandResult check_targets(const std::filesystem::path& dir, std::vector<CheckTarget>& targets,
                            std::vector<SecurityFinding>* directory_findings = nullptr);

// The traits of a security from its record and field layout; a status of the lookup otherwise.
StatusCode check_traits(const std::filesystem::path& dir, const std::string& symbol, SeriesTraits& traits);

// The quotes of `bars` (oldest first) the check reports, by position: what a chart of the series marks.
// The traits are read from the security `symbol` in `dir` (the defaults when it cannot be found).
std::vector<int> check_marked_bars(const std::filesystem::path& dir, const std::string& symbol,
                                   std::span<const QuoteRowValues> bars, const CheckLimits& limits);

// Reads and checks one security.
std::vector<CheckFinding> check_security(const CheckTarget& target, const CheckLimits& limits);

// Called before each security (its index, the number of securities) and for each finding; returns
// whether the check goes on.
struct CheckListener {
    std::function<bool(std::size_t index, std::size_t total, const CheckTarget& target)> security;
    std::function<bool(const SecurityFinding& finding)> finding;
};

struct CheckOutcome {
    CommandResult result; // not ok when the portfolio could not be listed or the check was stopped
    std::vector<SecurityFinding> findings; // a portfolio check: those of the directory files first
    std::size_t checked = 0;               // securities checked to the end
    bool cancelled = false;
};

CheckOutcome check_portfolio(const std::filesystem::path& dir, const CheckLimits& limits,
                             const CheckListener& listener = {});

// The same check of a portfolio, run a few securities at a time: for a window that serves its events
// between two steps, so that no event loop ever runs inside the check.
class CheckRun {
public:
    CheckRun(std::filesystem::path dir, CheckLimits limits);
    ~CheckRun();
    CheckRun(const CheckRun&) = delete;
    CheckRun& operator=(const CheckRun&) = delete;

    // Checks up to `securities` more securities; the first step lists the portfolio and reports the
    // findings about its directory files first. False once the run has ended (every security checked,
    // the listener stopped it, or the portfolio could not be listed): outcome() then holds its result,
    // as check_portfolio would return it.
    bool step(std::size_t securities, const CheckListener& listener);
    const CheckOutcome& outcome() const { return outcome_; }
    // The securities to check, once the first step has listed them.
    std::size_t total() const { return targets_.size(); }
    CheckOutcome take_outcome() { return std::move(outcome_); }

private:
    struct Reading;
    bool list(const CheckListener& listener);
    bool end();

    std::filesystem::path dir_;
    CheckLimits limits_;
    std::unique_ptr<Reading> reading_;
    bool listed_ = false;
    std::vector<CheckTarget> targets_;
    std::size_t next_ = 0;
    CommandResult listing_; // the warnings of the listing, added to the result at the end
    CheckOutcome outcome_;
};
// The securities of `targets` only.
CheckOutcome check_listed(const std::vector<CheckTarget>& targets, const CheckLimits& limits,
                          const CheckListener& listener = {});

// Writes the lines to `file` as split_search_save does.
CommandResult check_save(const std::filesystem::path& file, const std::vector<SecurityFinding>& findings);
