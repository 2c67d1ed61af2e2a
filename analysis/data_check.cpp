#include "analysis/data_check.h"

#include "analysis/split_search.h"

#include "common/quote_cells.h"
#include "common/repair.h"
#include "common/symbol_list.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Indexes into QuoteRowValues::values.
constexpr std::size_t kOpen = 0, kHigh = 1, kLow = 2, kClose = 3, kVol = 4, kOi = 5;
constexpr const char* kValueNames[] = {"open", "high", "low", "close", "vol", "oi"};

std::string value_text(std::size_t field, float value) {
    return std::string(kValueNames[field]) + "=" + format_fixed(value, field < kVol ? 4 : 0);
}

std::string values_text(const QuoteRowValues& row, std::initializer_list<std::size_t> fields) {
    std::string text;
    for (std::size_t field : fields) {
        text += (text.empty() ? "" : " ") + value_text(field, row.values[field]);
    }
    return text;
}

// The larger of two positive closes over the smaller, above 1 + limit: a move beyond the limit.
bool moves_beyond(float from, float to, double limit) {
    const double high = std::max(from, to), low = std::min(from, to);
    return high > low * (1.0 + limit);
}

bool usable_close(float close) {
    return std::isfinite(close) && close > 0.0f;
}

class BarChecker {
public:
    BarChecker(std::span<const QuoteRowValues> bars, const SeriesTraits& traits, const CheckLimits& limits)
        : bars_(bars), traits_(traits), limits_(limits),
          spike_limit_(std::max(0, limits.spike_percent) / 100.0) {
        if (traits_.has_time) {
            count_repeats();
        }
    }

    std::vector<CheckFinding> run() {
        for (std::size_t i = 0; i < bars_.size(); ++i) {
            check_values(i);
            check_date(i);
            check_moves(i);
        }
        return std::move(findings_);
    }

private:
    void add(std::size_t i, CheckKind kind, std::string values) {
        findings_.push_back({static_cast<std::int32_t>(i), bars_[i].date, kind, std::move(values),
                             traits_.has_time ? std::optional<TimeOfDay>(bars_[i].time) : std::nullopt});
    }

    // The quotes dated as `r`, named as a finding names them.
    std::string when(const QuoteRowValues& r) const {
        return quote_when_text(r.date, traits_.has_time ? std::optional<TimeOfDay>(r.time) : std::nullopt);
    }

    // For every date and time held by more than one dated quote: its number of quotes, noted at the
    // second of them (in file order), where the repeat is reported.
    void count_repeats() {
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < bars_.size(); ++i) {
            if (bars_[i].date != 0) {
                order.push_back(i);
            }
        }
        const auto key = [this](std::size_t i) { return std::pair(bars_[i].date, bars_[i].time); };
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
        repeats_.assign(bars_.size(), 0);
        for (std::size_t first = 0, next = 0; first < order.size(); first = next) {
            for (next = first + 1; next < order.size() && key(order[next]) == key(order[first]); ++next) {
            }
            if (next - first > 1) {
                repeats_[order[first + 1]] = static_cast<std::int32_t>(next - first);
            }
        }
    }

    bool has(std::size_t field) const { return traits_.present[field]; }

    // Every value the series has is finite, its prices above 0, its volume and open interest not below
    // 0: the usual bar, of which only the range is left to look at.
    bool plain_values(const QuoteRowValues& row) const {
        bool plain = true;
        for (std::size_t f = kOpen; f <= kOi; ++f) {
            const float v = row.values[f];
            plain &= !has(f) || (std::isfinite(v) && (f <= kClose ? v > 0.0f : v >= 0.0f));
        }
        return plain;
    }

    void check_values(std::size_t i) {
        const QuoteRowValues& row = bars_[i];
        if (plain_values(row)) {
            if (has(kHigh) && has(kLow)) {
                check_range(i, row);
            }
            return;
        }
        std::string not_finite, not_positive;
        for (std::size_t f = kOpen; f <= kOi; ++f) {
            if (has(f) && !std::isfinite(row.values[f])) {
                not_finite += (not_finite.empty() ? "" : " ") + value_text(f, row.values[f]);
            } else if (has(f) && f <= kClose && row.values[f] <= 0.0f) {
                not_positive += (not_positive.empty() ? "" : " ") + value_text(f, row.values[f]);
            }
        }
        if (!not_finite.empty()) {
            add(i, CheckKind::NotFinite, not_finite);
            return; // nothing else can be said of such a bar
        }
        if (!not_positive.empty()) {
            add(i, CheckKind::NonPositivePrice, not_positive);
        } else if (has(kHigh) && has(kLow)) {
            check_range(i, row);
        }
        if (has(kVol) && row.values[kVol] < 0.0f) {
            add(i, CheckKind::NegativeVolume, value_text(kVol, row.values[kVol]));
        }
        if (has(kOi) && row.values[kOi] < 0.0f) {
            add(i, CheckKind::NegativeOpenInterest, value_text(kOi, row.values[kOi]));
        }
    }

    void check_range(std::size_t i, const QuoteRowValues& row) {
        const float high = row.values[kHigh], low = row.values[kLow];
        if (high < low) {
            add(i, CheckKind::HighBelowLow, values_text(row, {kHigh, kLow}));
            return;
        }
        if (has(kOpen) && (row.values[kOpen] < low || row.values[kOpen] > high)) {
            add(i, CheckKind::OpenOutsideRange, values_text(row, {kOpen, kLow, kHigh}));
        }
        if (has(kClose) && (row.values[kClose] < low || row.values[kClose] > high)) {
            add(i, CheckKind::CloseOutsideRange, values_text(row, {kClose, kLow, kHigh}));
        }
    }

    void check_date(std::size_t i) {
        const QuoteRowValues& row = bars_[i];
        if (row.date == 0) {
            return;
        }
        const bool dated_before = i > 0 && bars_[i - 1].date != 0;
        if (dated_before) {
            check_order(i, bars_[i - 1], row);
        }
        if (!repeats_.empty() && repeats_[i] > 0) {
            add(i, CheckKind::SameDate, "quotes=" + std::to_string(repeats_[i]));
        }
        const bool daily = traits_.daily || traits_.has_time;
        if (const int day_of_week = weekday(row.date); daily && (day_of_week == 0 || day_of_week == 6)) {
            add(i, CheckKind::WeekendDate, kWeekdayNames[day_of_week]);
        }
        if (daily && dated_before && row.date > bars_[i - 1].date &&
            row.date - bars_[i - 1].date > limits_.gap_days) {
            add(i, CheckKind::DateGap,
                "previous=" + quote_date_text(bars_[i - 1].date) +
                    " days=" + std::to_string(row.date - bars_[i - 1].date));
        }
    }

    void check_order(std::size_t i, const QuoteRowValues& before, const QuoteRowValues& row) {
        const auto key = [this](const QuoteRowValues& r) {
            return std::pair<DayNumber, TimeOfDay>(r.date, traits_.has_time ? r.time : 0);
        };
        if (key(row) < key(before)) {
            add(i, CheckKind::OutOfOrder, "previous=" + when(before));
        } else if (key(row) == key(before) && !traits_.has_time) { // repeats of a time: count_repeats
            add(i, CheckKind::SameDate, "previous=" + quote_date_text(before.date));
        }
    }

    static constexpr const char* kWeekdayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                    "Thursday", "Friday", "Saturday"};

    // 0 Sunday .. 6 Saturday. Day 1 (1 January 1961) was a Sunday, and day -1 (31 December 1960) the
    // Saturday before it: the days before 1961 count down from -1.
    static int weekday(DayNumber day) {
        const long long count = day > 0 ? day : static_cast<long long>(day) + 1;
        return static_cast<int>(((count - 1) % 7 + 7) % 7);
    }

    float close(std::size_t i) const { return bars_[i].values[kClose]; }

    // Bar i's close left its neighbours' level by more than the limit, and the next bar came back.
    bool spike_at(std::size_t i) const {
        if (!has(kClose) || i == 0 || i + 1 >= bars_.size()) {
            return false;
        }
        const float before = close(i - 1), at = close(i), after = close(i + 1);
        if (!usable_close(before) || !usable_close(at) || !usable_close(after)) {
            return false;
        }
        return moves_beyond(before, at, spike_limit_) && moves_beyond(after, at, spike_limit_) &&
               !moves_beyond(before, after, spike_limit_);
    }

    void check_moves(std::size_t i) {
        const bool spike_before = spike_here_; // spike_at(i - 1), worked out at the bar before
        spike_here_ = spike_at(i);
        if (spike_here_) {
            add(i, CheckKind::Spike,
                "previous=" + format_fixed(close(i - 1), 4) + " close=" + format_fixed(close(i), 4) +
                    " next=" + format_fixed(close(i + 1), 4));
            return;
        }
        // The jump into a spike and back out of it is not a split.
        if (i == 0 || !has(kClose) || !has(kHigh) || !has(kLow) || spike_before) {
            return;
        }
        const QuoteRowValues& a = bars_[i - 1];
        const QuoteRowValues& b = bars_[i];
        if (!usable_close(a.values[kClose]) || !usable_close(b.values[kClose]) ||
            !split_closes_in_reach(a.values[kClose], b.values[kClose])) {
            return;
        }
        if (const auto ratio = split_ratio_for(a.values[kClose], b.values[kClose], a.values[kLow],
                                               a.values[kHigh], b.values[kLow], b.values[kHigh])) {
            add(i, CheckKind::PossibleSplit,
                "possible " + std::to_string(ratio->p) + " for " + std::to_string(ratio->q) + " previous=" +
                    format_fixed(a.values[kClose], 4) + " close=" + format_fixed(b.values[kClose], 4));
        }
    }

    std::span<const QuoteRowValues> bars_;
    const SeriesTraits& traits_;
    const CheckLimits& limits_;
    const double spike_limit_;
    std::vector<std::int32_t> repeats_; // intra-day: see count_repeats
    bool spike_here_ = false;           // spike_at of the bar check_moves saw last
    std::vector<CheckFinding> findings_;
};

// What identifies a directory however it was reached; false when `dir` is not one.
bool directory_identity(const fs::path& dir, std::pair<std::uint64_t, std::uint64_t>& identity) {
    const fileops::FileStat st = fileops::stat(dir / ".");
    identity = {st.device, st.inode};
    return st.exists && st.is_dir;
}

bool plain_directory_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos;
}

// The directory names of the nested-portfolio entries of the MASTER at `dir`, in file order.
std::vector<std::string> nested_names(const fs::path& dir) {
    std::vector<std::string> names;
    MasterImage image;
    if (!master_read_regular_image(portfolio_files::master(dir), image)) {
        return names;
    }
    for (int i = 0; i < image.records_counted(); ++i) {
        std::string name;
        if (master_is_directory_entry(image.record(i), &name) && plain_directory_name(name)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

class TargetWalk {
public:
    TargetWalk(std::vector<CheckTarget>& targets, std::vector<SecurityFinding>* directory_findings)
        : targets_(targets), directory_findings_(directory_findings) {}

    CommandResult run(const fs::path& dir) {
        result_ = CommandResult::success();
        std::pair<std::uint64_t, std::uint64_t> identity;
        if (directory_identity(dir, identity)) {
            visited_.insert(identity);
        }
        level(dir, "", 0);
        return std::move(result_);
    }

private:
    void level(const fs::path& dir, const std::string& prefix, int depth) {
        const SymbolListing listing = symbol_list_read(portfolio_files::master(dir));
        if (!listing.result.ok) {
            if (depth == 0) {
                result_ = listing.result;
            } else {
                result_.add(MessageKind::Warning,
                            "The nested portfolio " + dir.string() + " cannot be read.");
            }
            return;
        }
        directory_files(dir, prefix, listing);
        for (const SymbolRow& row : listing.rows) {
            const std::string_view key = row.damaged ? row.name() : row.symbol();
            targets_.push_back({dir, std::string(key), prefix + std::string(row.symbol())});
        }
        const std::vector<std::string> nested = nested_names(dir);
        for (const std::string& name : nested) {
            const fs::path child = portfolio_files::existing(dir, name);
            std::pair<std::uint64_t, std::uint64_t> identity;
            if (depth + 1 > kMaxNesting || !directory_identity(child, identity) ||
                !visited_.insert(identity).second || !portfolio_files::present(child, "MASTER")) {
                continue;
            }
            level(child, prefix + child.filename().string() + "/", depth + 1);
        }
    }

    void directory_files(const fs::path& dir, const std::string& prefix, const SymbolListing& listing) {
        if (!listing.xmaster_unusable.empty())
            result_.add(MessageKind::Warning, xmaster_notice(dir, listing.xmaster_unusable));
        if (!directory_findings_)
            return;
        if (std::string differences = emaster_disagreement(dir); !differences.empty())
            directory_findings_->push_back({{dir, "", prefix + "EMASTER"},
                                            {-1, 0, CheckKind::EmasterOutOfStep, std::move(differences)}});
        if (!listing.xmaster_unusable.empty())
            directory_findings_->push_back({{dir, "", prefix + "XMASTER"},
                                            {-1, 0, CheckKind::XmasterUnusable, listing.xmaster_unusable}});
    }

    std::vector<CheckTarget>& targets_;
    std::vector<SecurityFinding>* directory_findings_;
    CommandResult result_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> visited_;
};

} // namespace

const char* check_kind_name(CheckKind kind) {
    switch (kind) {
    case CheckKind::HighBelowLow:
        return "high-below-low";
    case CheckKind::OpenOutsideRange:
        return "open-outside-range";
    case CheckKind::CloseOutsideRange:
        return "close-outside-range";
    case CheckKind::NonPositivePrice:
        return "price-not-positive";
    case CheckKind::NegativeVolume:
        return "negative-volume";
    case CheckKind::NegativeOpenInterest:
        return "negative-open-interest";
    case CheckKind::NotFinite:
        return "not-a-number";
    case CheckKind::OutOfOrder:
        return "date-out-of-order";
    case CheckKind::SameDate:
        return "same-date";
    case CheckKind::WeekendDate:
        return "weekend-date";
    case CheckKind::DateGap:
        return "date-gap";
    case CheckKind::Spike:
        return "spike";
    case CheckKind::PossibleSplit:
        return "possible-split";
    case CheckKind::Unreadable:
        return "unreadable";
    case CheckKind::EmasterOutOfStep:
        return "emaster-disagrees";
    case CheckKind::XmasterUnusable:
        return "xmaster-unusable";
    }
    return "unknown";
}

std::vector<CheckFinding> check_bars(std::span<const QuoteRowValues> bars, const SeriesTraits& traits,
                                     const CheckLimits& limits) {
    return BarChecker(bars, traits, limits).run();
}

std::string check_line(const SecurityFinding& f) {
    return f.target.label + "\t" + quote_when_text(f.finding.date, f.finding.time) + "\t" +
           check_kind_name(f.finding.kind) + "\t" + f.finding.values;
}

CommandResult check_targets(const fs::path& dir, std::vector<CheckTarget>& targets,
                            std::vector<SecurityFinding>* directory_findings) {
    return TargetWalk(targets, directory_findings).run(dir);
}

namespace {

SeriesTraits traits_of(const SeriesLocation& location) {
    SeriesTraits traits;
    for (std::size_t f = 0; f < traits.present.size(); ++f) {
        traits.present[f] = location.layout.position[kFieldOpen + static_cast<int>(f)] != 0;
    }
    traits.has_time = location.layout.position[kFieldTime] != 0;
    traits.daily = location.record.periodicity() == 'D' || location.record.periodicity() == 'd';
    return traits;
}

// What the check of one security after another keeps: the buffers of the reading and the bars.
struct CheckBuffers {
    WholeSeriesBuffers reading;
    std::vector<QuoteRowValues> bars;
};

// The security is located once (its traits come from its record and layout) and its quote file read
// whole with one open and one read.
std::vector<CheckFinding> check_with(const CheckTarget& target, const CheckLimits& limits,
                                     CheckBuffers& buffers) {
    const auto unreadable = [](std::string why) {
        return std::vector<CheckFinding>{{-1, 0, CheckKind::Unreadable, std::move(why)}};
    };
    SeriesLocation location;
    if (const StatusCode found = series_locate(target.dir, target.symbol, location); found != status::kOk) {
        return unreadable(status_text(found));
    }
    const CommandResult read = quote_rows_read_whole(location, buffers.reading, buffers.bars);
    if (!read.ok) {
        return unreadable(read.messages.empty() ? "the quotes cannot be read" : read.messages.back().text);
    }
    return check_bars(buffers.bars, traits_of(location), limits);
}

} // namespace

std::vector<int> check_marked_bars(const fs::path& dir, const std::string& symbol,
                                   std::span<const QuoteRowValues> bars, const CheckLimits& limits) {
    std::vector<int> marked;
    if (bars.empty()) {
        return marked;
    }
    SeriesTraits traits;
    check_traits(dir, symbol, traits); // the defaults otherwise
    for (const CheckFinding& finding : check_bars(bars, traits, limits)) {
        marked.push_back(finding.bar);
    }
    return marked;
}

StatusCode check_traits(const fs::path& dir, const std::string& symbol, SeriesTraits& traits) {
    SeriesLocation location;
    if (const StatusCode found = series_locate(dir, symbol, location); found != status::kOk) {
        return found;
    }
    traits = traits_of(location);
    return status::kOk;
}

std::vector<CheckFinding> check_security(const CheckTarget& target, const CheckLimits& limits) {
    CheckBuffers buffers;
    return check_with(target, limits, buffers);
}

namespace {

// Checks security `i` of `targets` into `outcome`; false when the listener stops the check.
bool check_next(const std::vector<CheckTarget>& targets, std::size_t i, const CheckLimits& limits,
                CheckBuffers& buffers, const CheckListener& listener, CheckOutcome& outcome) {
    if (listener.security && !listener.security(i, targets.size(), targets[i]))
        return false;
    for (CheckFinding& finding : check_with(targets[i], limits, buffers)) {
        outcome.findings.push_back({targets[i], std::move(finding)});
        if (listener.finding && !listener.finding(outcome.findings.back()))
            return false;
    }
    ++outcome.checked;
    return true;
}

} // namespace

CheckOutcome check_listed(const std::vector<CheckTarget>& targets, const CheckLimits& limits,
                          const CheckListener& listener) {
    // The portfolios' directories and directory files are read once for all the securities.
    fileops::OperationScope scope;
    CheckBuffers buffers;
    CheckOutcome outcome;
    outcome.result = CommandResult::success();
    for (std::size_t i = 0; i < targets.size() && !outcome.cancelled; ++i)
        outcome.cancelled = !check_next(targets, i, limits, buffers, listener, outcome);
    outcome.result.ok = !outcome.cancelled;
    return outcome;
}

CheckOutcome check_portfolio(const fs::path& dir, const CheckLimits& limits, const CheckListener& listener) {
    // One scope for the whole run: the directory files are read once.
    fileops::OperationScope scope;
    CheckRun run(dir, limits);
    while (run.step(static_cast<std::size_t>(-1), listener)) {
    }
    return run.take_outcome();
}

struct CheckRun::Reading : CheckBuffers {};

CheckRun::CheckRun(fs::path dir, CheckLimits limits)
    : dir_(std::move(dir)), limits_(limits), reading_(std::make_unique<Reading>()) {}

CheckRun::~CheckRun() = default;

bool CheckRun::list(const CheckListener& listener) {
    listed_ = true;
    std::vector<SecurityFinding> directory_findings;
    listing_ = check_targets(dir_, targets_, &directory_findings);
    if (!listing_.ok) {
        outcome_.result = std::move(listing_);
        listing_ = CommandResult{};
        targets_.clear();
        return false;
    }
    outcome_.result = CommandResult::success();
    for (SecurityFinding& finding : directory_findings) {
        outcome_.findings.push_back(std::move(finding));
        if (listener.finding && !listener.finding(outcome_.findings.back())) {
            outcome_.result = CommandResult{};
            outcome_.cancelled = true;
            next_ = targets_.size();
            return false;
        }
    }
    return true;
}

bool CheckRun::end() {
    outcome_.result.ok = !outcome_.cancelled;
    for (Message& message : listing_.messages)
        outcome_.result.messages.push_back(std::move(message));
    listing_.messages.clear();
    return false;
}

bool CheckRun::step(std::size_t securities, const CheckListener& listener) {
    if (listed_ && next_ >= targets_.size())
        return false; // ended before
    // The directories and directory files are read once a step (once a run for check_portfolio).
    const fileops::OperationScope scope;
    if (!listed_ && !list(listener))
        return false;
    for (std::size_t n = 0; n < securities && next_ < targets_.size(); ++n, ++next_) {
        if (!check_next(targets_, next_, limits_, *reading_, listener, outcome_)) {
            outcome_.cancelled = true;
            next_ = targets_.size();
            return end();
        }
    }
    return next_ < targets_.size() || end();
}

CommandResult check_save(const fs::path& file, const std::vector<SecurityFinding>& findings) {
    std::vector<std::string> lines;
    lines.reserve(findings.size());
    for (const SecurityFinding& finding : findings) {
        lines.push_back(check_line(finding));
    }
    return split_search_save(file, lines);
}
