// The generated inputs the rows share, made once per run in the scratch directory.
#pragma once

#include "support/builder.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace benchmark {
class State;
}

namespace bench {

constexpr int kBigBars = 32766;      // the most bars a quote file's header can state
constexpr int kWideSecurities = 255; // the most securities a MASTER lists
constexpr int kWideBars = 5000;
constexpr int kLargeSecurities = 5000; // 255 in MASTER, the rest in XMASTER
constexpr int kLargeBars = 500;

// Bars of one security with prices that move as markets move.
std::vector<testing_support::SeriesBar> market_bars(unsigned seed, int count);
// A portfolio with one security "IBM" of kBigBars bars (28-byte records).
const std::filesystem::path& big_security();
// A portfolio of kWideSecurities securities S1 ... S255 of kWideBars bars each.
const std::filesystem::path& wide_portfolio();

// A portfolio as vendors write them: S1 ... S255 in MASTER (with EMASTER), the rest from F256 on in
// XMASTER, `bars` bars each; every third security's files in lower case, every seventh without F<n>.DOP.
void write_large_portfolio(const std::filesystem::path& at, int securities, int bars);
// That portfolio with kLargeBars bars a security, made once per run.
const std::filesystem::path& large_portfolio(int securities);

// Reads a whole file with plain system calls into `buffer`: the least any reader of it does. Its size.
std::size_t read_whole(const std::filesystem::path& file, std::vector<char>& buffer);

// Writes `files` (name to content) into `out` once per round, the way export-all's batch writes them.
void write_as_batch(benchmark::State& state, const std::map<std::string, std::string>& files,
                    const std::filesystem::path& out);

} // namespace bench
