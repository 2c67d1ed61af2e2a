// Split search: looks through every security of a portfolio for a jump between two neighbouring closes
// that looks like an unrecorded stock split (or reverse split).
#pragma once

#include "common/command_result.h"
#include "storage/quotes.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct SplitRatio {
    int p = 0;
    int q = 0;
};

// The ratio p:q whose window holds the pair of bars (earlier a, later b), when the gap between the two
// bars' ranges on the side of the move exceeds 80 % of the change in close.
std::optional<SplitRatio> split_ratio_for(float close_a, float close_b, float low_a, float high_a,
                                          float low_b, float high_b);

// The ratios of closes (earlier over later) at or above kSplitOrdinaryLow and at or below
// kSplitOrdinaryHigh lie in no ratio's window: an ordinary day's move.
extern const float kSplitOrdinaryLow;
extern const float kSplitOrdinaryHigh;

// Whether split_ratio_for could find a ratio for a pair with these closes: false for a zero close and
// for an ordinary day's move (nearly every pair), which it rejects at once. Inline, so that a caller
// that tests every pair pays for a division and two comparisons.
inline bool split_closes_in_reach(float close_a, float close_b) {
    if (close_a == 0.0f || close_b == 0.0f) {
        return false;
    }
    const float r = close_a / close_b;
    return !(r >= kSplitOrdinaryLow && r <= kSplitOrdinaryHigh);
}

// The result line for bars k and k + 1 of the window, read with `symbol`:
// "%s possible %d for %d split on %s" (date of the later bar as MM/DD/YY), when the pair matches.
std::optional<std::string> TestBarPair(const QuoteSeries& series, int k, const std::string& symbol);

enum class SplitEventKind {
    Line,       // a result line
    Notice,     // a message the window shows in a message box
    SymbolDone, // the status line: the security just finished, then "Done search"
};

struct SplitSearchEvent {
    SplitEventKind kind;
    std::string text;
    MessageKind message_kind = MessageKind::Information; // how a notice is shown
    // A notice that a security was not searched (fewer than 2 quotes): its symbol; empty otherwise.
    // A window searching many securities gathers these into one summary (split_search_skipped_text).
    std::string skipped;
};

// The one note for every security a search skipped for having fewer than 2 quotes: the notice itself
// for one, otherwise their count and symbols (the first 20, then how many more).
std::string split_search_skipped_text(const std::vector<std::string>& symbols);

struct SplitSearchOutcome {
    std::vector<std::string> lines;       // the result lines, in the order found
    std::vector<SplitSearchEvent> events; // lines, notices and status changes, in the order they happen
    // ok is false when the search ended early (the errors "Too many bars", "Error in SplitSearch bars
    // read", or a stop asked by the listener); the messages are the notices in order, "No candidate
    // splits found" last when the whole search found nothing.
    CommandResult result;
    bool cancelled = false; // the listener asked to stop
};

// Sees every event as it happens; returns whether the search goes on (false: stop at once, as Cancel).
using SplitSearchListener = std::function<bool(const SplitSearchEvent&)>;

// A search taken a few securities at a time, for a window that answers its user between two steps.
class SplitSearchRun {
public:
    SplitSearchRun(std::filesystem::path dir, std::vector<std::string> symbols);
    ~SplitSearchRun();
    SplitSearchRun(const SplitSearchRun&) = delete;
    SplitSearchRun& operator=(const SplitSearchRun&) = delete;

    // Searches up to `securities` more securities; the step that searches the last one ends the search
    // as split_search ends it. False once the search has ended (every security searched, a read failed,
    // or the listener asked to stop): outcome() then holds what split_search would return.
    bool step(std::size_t securities, const SplitSearchListener& listener);
    const SplitSearchOutcome& outcome() const;
    SplitSearchOutcome take_outcome();
    std::size_t total() const { return symbols_.size(); }

private:
    struct Search;
    std::vector<std::string> symbols_;
    std::size_t next_ = 0;
    bool ended_ = false;
    std::unique_ptr<Search> search_;
};

// Searches the securities `symbols` (the symbol list's texts, in list order) of the portfolio at `dir`.
// Each security is read whole, with one open of its quote file, and every neighbouring pair of its bars
// is tested once, in file order. `listener`, when given, sees every event as it happens and can stop the
// search.
SplitSearchOutcome split_search(const std::filesystem::path& dir, const std::vector<std::string>& symbols,
                                const SplitSearchListener& listener = {});

// The same over every row of the portfolio's symbol list. A MASTER that cannot be listed ends with
// "Failure while filling symbols grid".
SplitSearchOutcome split_search_portfolio(const std::filesystem::path& dir,
                                          const SplitSearchListener& listener = {});

// Writes the lines to `file`, each followed by "\n", through a complete new copy that replaces the file
// at once. Failure: "Cannot write the file %s" and the file as it was; a file that check_text_target
// (analysis/export.h) refuses is refused with its message.
CommandResult split_search_save(const std::filesystem::path& file, const std::vector<std::string>& lines);
