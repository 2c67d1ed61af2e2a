// quorbit_bench: runs every row of the suite with Google Benchmark (its usual flags apply; by default
// five repetitions, interleaved at random so that the machine's load falls on both sides alike), then
// prints the table: each operation's median time next to its baseline's, their ratio and the target.
// Exit status 1 when a target is missed.
#include "suite.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Keeps the median of every benchmark while the console shows the runs as usual.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.error_occurred)
                failed_.insert(name);
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration)
                samples_[name].push_back(run.GetAdjustedRealTime());
        }
    }

    // Milliseconds; below 0 when the benchmark did not run or failed.
    double median(const std::string& name) const {
        if (failed_.count(name))
            return -1;
        if (const auto found = medians_.find(name); found != medians_.end())
            return found->second;
        const auto found = samples_.find(name);
        if (found == samples_.end() || found->second.empty())
            return -1;
        std::vector<double> values = found->second;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

private:
    std::map<std::string, double> medians_;
    std::map<std::string, std::vector<double>> samples_;
    std::set<std::string> failed_;
};

std::string machine_name() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line, model = "unknown processor";
    int cores = 0;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            ++cores;
            model = line.substr(line.find(':') + 2);
        }
    }
    struct utsname system {};
    uname(&system);
    return model + ", " + std::to_string(cores) + " cores, " + system.sysname + " " + system.release;
}

bool has_flag(int argc, char** argv, const char* prefix) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0)
            return true;
    }
    return false;
}

// Prints the table; true when every row that ran met its target.
bool print_table(const MedianCollector& collector) {
    bool all_met = true;
    std::printf("\nMachine: %s\n\n", machine_name().c_str());
    std::printf("%-58s %12s %12s %8s %8s\n", "Operation", "measured", "baseline", "ratio", "target");
    for (const bench::Row& row : bench::rows()) {
        const double measured = collector.median(row.name + "/measured");
        const double baseline = collector.median(row.name + "/baseline");
        if (measured < 0 && baseline < 0)
            continue; // filtered out of this run
        if (measured < 0 || baseline <= 0) {
            std::printf("%-58s %12s\n", row.name.c_str(), "FAILED");
            all_met = false;
            continue;
        }
        const double ratio = measured / baseline;
        const bool met = ratio <= row.target;
        all_met = all_met && met;
        std::printf("%-58s %9.2f ms %9.2f ms %7.2fx %6.1fx %s\n", row.name.c_str(), measured, baseline, ratio,
                    row.target, met ? "" : "MISSED");
    }
    for (const bench::Figure& figure : bench::figures()) {
        all_met = all_met && figure.met;
        std::printf("%-58s %12s %12s %8s %8s %s\n", figure.name.c_str(), figure.measured.c_str(),
                    figure.baseline.c_str(), figure.ratio.c_str(), figure.target.c_str(),
                    figure.met ? "" : "MISSED");
    }
    std::printf("\n%s\n", all_met ? "Every target met." : "A target was missed.");
    return all_met;
}

} // namespace

int main(int argc, char** argv) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    bench::self_path() = error ? std::string(argv[0]) : self.string();
    if (argc > 1) {
        if (const auto mode = bench::helper_mode(argv[1]))
            return mode(argc, argv);
    }
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleaving = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_display_aggregates_only=true";
    if (!has_flag(argc, argv, "--benchmark_repetitions"))
        args.push_back(repetitions.data());
    if (!has_flag(argc, argv, "--benchmark_enable_random_interleaving"))
        args.push_back(interleaving.data());
    if (!has_flag(argc, argv, "--benchmark_display_aggregates_only"))
        args.push_back(aggregates.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 2;
    MedianCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    return print_table(collector) ? 0 : 1;
}
