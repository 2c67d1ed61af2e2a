#include "analysis/split_search.h"

#include "analysis/export.h"

#include "common/quote_cells.h"
#include "common/symbol_list.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

constexpr const char* kTooManyBars = "Too many bars";
constexpr const char* kBarsReadError = "Error in SplitSearch bars read";
constexpr const char* kNothingFound = "No candidate splits found";
constexpr const char* kDoneSearch = "Done search";

// The ratios tried, in order: p outer, q inner, from 1 to 4, without p = q, p * q = 8 and p * q = 12.
constexpr SplitRatio kRatios[] = {{1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {4, 1}};

// A float at or above (at or below) a bound worked out in double: a float is at or above the bound
// exactly when it is at or above the smallest float at or above it (and below likewise).
float float_at_or_above(double bound) {
    const float f = static_cast<float>(bound);
    return f < bound ? std::nextafter(f, HUGE_VALF) : f;
}
float float_at_or_below(double bound) {
    const float f = static_cast<float>(bound);
    return f > bound ? std::nextafter(f, -HUGE_VALF) : f;
}

} // namespace

// A ratio of closes at or above the upper bound of 2 for 3 and at or below the lower bound of 3 for 2
// lies in no ratio's window (the bounds of the others lie further out): an ordinary day's move. The
// bounds are worked out exactly as the test of each ratio works them out, then held as floats.
const float kSplitOrdinaryLow = float_at_or_above(1.1 * (2.0 / 3.0));
const float kSplitOrdinaryHigh = float_at_or_below(0.9 * (3.0 / 2.0));

namespace {

bool beyond_every_ratio(float r) {
    return r >= kSplitOrdinaryLow && r <= kSplitOrdinaryHigh;
}

// Marks in `unusual` each pair k, k + 1 of the first n closes that TestBarPair must look at: a pair with
// no zero close whose ratio is not an ordinary day's move (a NaN ratio included). Branch-free, so that
// the compiler tests several pairs at once.
void mark_unusual_pairs(const float* closes, int n, std::uint8_t* unusual) {
    const float low = kSplitOrdinaryLow;
    const float high = kSplitOrdinaryHigh;
    for (int k = 0; k + 1 < n; ++k) {
        const float a = closes[k];
        const float b = closes[k + 1];
        const float r = a / (b + static_cast<float>(b == 0.0f)); // never divided by 0
        const int ordinary = (a == 0.0f) | (b == 0.0f) | ((r >= low) & (r <= high));
        unusual[k] = static_cast<std::uint8_t>(ordinary ^ 1);
    }
}

std::string fewer_than_two_notice(const std::string& symbol) {
    return "For symbol " + symbol + "\nSplitSearch cannot perform search\nas there are fewer than 2 quotes.";
}

class Search {
public:
    explicit Search(const std::filesystem::path& dir) : dir_(dir) {
        outcome_.result = CommandResult::success();
    }
    ~Search() { series_free(pair_); }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    // Searches up to `count` more of `symbols`, from `next`; after the last one, "Done search" and the
    // note that nothing was found. False once the search has ended (every security searched, a read
    // failed, or the listener asked to stop).
    bool step(const std::vector<std::string>& symbols, std::size_t& next, std::size_t count,
              const SplitSearchListener& listener) {
        listener_ = &listener;
        // A pair in reach of a ratio is turned into two whole bars here; the rest of a security is
        // looked at through its closes alone.
        if (pair_.capacity < 2 && series_alloc(pair_, 2) != status::kOk) {
            end_early(kTooManyBars, status::kMalloc);
            return false;
        }
        for (std::size_t n = 0; n < count && next < symbols.size(); ++n, ++next) {
            if (!search_security(symbols[next]) || !emit(SplitEventKind::SymbolDone, symbols[next])) {
                next = symbols.size();
                return false;
            }
        }
        if (next < symbols.size()) {
            return true;
        }
        if (emit(SplitEventKind::SymbolDone, kDoneSearch) && outcome_.lines.empty()) {
            notice(kNothingFound, MessageKind::Information);
        }
        return false;
    }

    const SplitSearchOutcome& outcome() const { return outcome_; }
    SplitSearchOutcome take_outcome() { return std::move(outcome_); }

private:
    // The security is looked up once and its quote file read whole with one open and one read.
    bool search_security(const std::string& symbol) {
        SeriesLocation at;
        StatusCode read_status = series_locate(dir_, symbol, at);
        if (read_status == status::kOk) {
            read_status = series_read_records(at, records_);
        }
        if (read_status != status::kOk) {
            end_early(kBarsReadError, read_status);
            return false;
        }
        if (records_.total < 2) {
            return notice(fewer_than_two_notice(symbol), MessageKind::Information, symbol);
        }
        // Only the bars actually read are tested; a file shorter than its header ends there.
        return test_pairs(records_.bars, symbol);
    }

    // Tests every neighbouring pair of the first `present` bars; false when the listener asks to stop.
    // The closes are screened all at once; only the rare pair in reach of a ratio goes through the full
    // test, on its two bars.
    bool test_pairs(std::int32_t present, const std::string& symbol) {
        const auto n = static_cast<std::size_t>(present);
        if (closes_.size() < n) {
            closes_.resize(n);
            unusual_.resize(n);
        }
        series_records_values(records_, kFieldClose, closes_.data());
        mark_unusual_pairs(closes_.data(), present, unusual_.data());
        // Nearly every pair is ordinary: the next marked one is found by a search of the marks.
        const std::size_t pairs = n > 0 ? n - 1 : 0;
        const auto next_unusual = [&](std::size_t from) {
            const void* at = from < pairs ? std::memchr(unusual_.data() + from, 1, pairs - from) : nullptr;
            return at ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(at) - unusual_.data())
                      : pairs;
        };
        for (std::size_t pair = next_unusual(0); pair < pairs; pair = next_unusual(pair + 1)) {
            const auto k = static_cast<std::int32_t>(pair);
            if (const StatusCode read_status = series_records_bars(records_, k, 2, pair_);
                read_status != status::kOk) {
                end_early(kBarsReadError, read_status);
                return false;
            }
            if (std::optional<std::string> line = TestBarPair(pair_, 0, symbol)) {
                outcome_.lines.push_back(*line);
                if (!emit(SplitEventKind::Line, *line)) {
                    return false;
                }
            }
        }
        return true;
    }

    // False when the listener asks to stop: the search then ends at once, not ok and without a message.
    bool emit(SplitEventKind kind, const std::string& text,
              MessageKind message_kind = MessageKind::Information, const std::string& skipped = {}) {
        outcome_.events.push_back({kind, text, message_kind, skipped});
        if (!*listener_ || (*listener_)(outcome_.events.back())) {
            return true;
        }
        outcome_.cancelled = true;
        outcome_.result.ok = false;
        return false;
    }

    bool notice(const std::string& text, MessageKind kind, const std::string& skipped = {}) {
        outcome_.result.add(kind, text);
        return emit(SplitEventKind::Notice, text, kind, skipped);
    }

    void end_early(const std::string& text, StatusCode code) {
        outcome_.result.ok = false;
        outcome_.result.status = code;
        notice(text, MessageKind::Error);
    }

    std::filesystem::path dir_;
    const SplitSearchListener* listener_ = nullptr;
    SeriesRecords records_; // the security searched, its buffers kept for the next
    QuoteSeries pair_;      // two bars in reach of a ratio
    std::vector<float> closes_;
    std::vector<std::uint8_t> unusual_;
    SplitSearchOutcome outcome_;
};

} // namespace

std::string split_search_skipped_text(const std::vector<std::string>& symbols) {
    constexpr std::size_t kNamed = 20;
    if (symbols.size() == 1)
        return fewer_than_two_notice(symbols.front());
    std::string named;
    for (std::size_t i = 0; i < symbols.size() && i < kNamed; ++i)
        named += (i == 0 ? "" : ", ") + symbols[i];
    if (symbols.size() > kNamed)
        named += " and " + std::to_string(symbols.size() - kNamed) + " more";
    return "SplitSearch cannot perform search for " + std::to_string(symbols.size()) +
           " symbols,\nas they have fewer than 2 quotes:\n" + named + ".";
}

std::optional<SplitRatio> split_ratio_for(float close_a, float close_b, float low_a, float high_a,
                                          float low_b, float high_b) {
    if (close_a == 0.0f || close_b == 0.0f) {
        return std::nullopt;
    }
    const float r = close_a / close_b;
    if (beyond_every_ratio(r)) {
        return std::nullopt;
    }
    const float d = std::fabs(close_a - close_b) * 0.8f;
    const float gap = close_a > close_b ? std::fabs(low_a - high_b) : std::fabs(high_a - low_b);
    for (const SplitRatio& ratio : kRatios) {
        const double p_over_q = static_cast<double>(ratio.p) / ratio.q;
        if (0.9 * p_over_q < r && r < 1.1 * p_over_q) {
            if (gap > d) {
                return ratio;
            }
        }
    }
    return std::nullopt;
}

namespace {

// The line for bars a and b whose closes are within reach of a ratio, if the gap confirms one. Out of
// line, so that the test of an ordinary pair stays small.
[[gnu::noinline]] std::optional<std::string> confirmed_line(const QuoteSeries& series, int a, int b,
                                                            const std::string& symbol) {
    const std::optional<SplitRatio> ratio = split_ratio_for(
        series.value(kFieldClose, a), series.value(kFieldClose, b), series.value(kFieldLow, a),
        series.value(kFieldHigh, a), series.value(kFieldLow, b), series.value(kFieldHigh, b));
    if (!ratio) {
        return std::nullopt;
    }
    return symbol + " possible " + std::to_string(ratio->p) + " for " + std::to_string(ratio->q) +
           " split on " + quote_date_text(series.date(b));
}

} // namespace

std::optional<std::string> TestBarPair(const QuoteSeries& series, int k, const std::string& symbol) {
    const float close_a = series.value(kFieldClose, k);
    const float close_b = series.value(kFieldClose, k + 1);
    if (close_a == 0.0f || close_b == 0.0f || beyond_every_ratio(close_a / close_b)) {
        return std::nullopt; // the usual case, settled by the closes alone
    }
    return confirmed_line(series, k, k + 1, symbol);
}

struct SplitSearchRun::Search : ::Search {
    using ::Search::Search;
};

SplitSearchRun::SplitSearchRun(std::filesystem::path dir, std::vector<std::string> symbols)
    : symbols_(std::move(symbols)), search_(std::make_unique<Search>(dir)) {}

SplitSearchRun::~SplitSearchRun() = default;

bool SplitSearchRun::step(std::size_t securities, const SplitSearchListener& listener) {
    if (ended_)
        return false;
    // The directory files are read once a step (once a search for split_search).
    const fileops::OperationScope scope;
    ended_ = !search_->step(symbols_, next_, securities, listener);
    return !ended_;
}

const SplitSearchOutcome& SplitSearchRun::outcome() const {
    return search_->outcome();
}

SplitSearchOutcome SplitSearchRun::take_outcome() {
    return search_->take_outcome();
}

SplitSearchOutcome split_search(const std::filesystem::path& dir, const std::vector<std::string>& symbols,
                                const SplitSearchListener& listener) {
    // One scope for the whole search: the portfolio's directory and directory files are read once.
    fileops::OperationScope scope;
    SplitSearchRun run(dir, symbols);
    while (run.step(static_cast<std::size_t>(-1), listener)) {
    }
    return run.take_outcome();
}

SplitSearchOutcome split_search_portfolio(const std::filesystem::path& dir,
                                          const SplitSearchListener& listener) {
    fileops::OperationScope scope;
    const SymbolListing listing = symbol_list_read(portfolio_files::master(dir));
    if (!listing.result.ok) {
        SplitSearchOutcome outcome;
        outcome.result = listing.result;
        return outcome;
    }
    std::vector<std::string> symbols;
    for (const SymbolRow& row : listing.rows) {
        symbols.emplace_back(row.symbol());
    }
    return split_search(dir, symbols, listener);
}

CommandResult split_search_save(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    if (CommandResult check = check_text_target(file); !check.ok) {
        return check;
    }
    std::filesystem::path temp = file;
    temp += ".part";
    const bool written = fileops::replace_file(file, temp, [&lines](fileops::BufferedWriter& out) {
        for (const std::string& line : lines) {
            if (!out.write(line) || !out.write("\n")) {
                return false;
            }
        }
        return true;
    });
    const int error = errno;
    if (!written) {
        CommandResult failure =
            CommandResult::failure("Cannot write the file " + file.string(), status::kFileWrite);
        failure.error = error;
        return failure;
    }
    return CommandResult::success();
}
