// The suite's shape: each row is an operation a user waits for, measured next to a baseline that does
// the least the same work needs (reading the same bytes, writing the same text), both in the same run.
// The report gives the median time of each and their ratio against the row's target.
#pragma once

#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Body = std::function<void(benchmark::State&)>;

struct Row {
    std::string name;
    double target = 0; // the highest ratio measured / baseline allowed
};

// Registers "<name>/measured" and "<name>/baseline", each with `iterations` iterations per repetition.
void add_row(const std::string& name, double target, Body measured, Body baseline, int iterations);
const std::vector<Row>& rows();

// A figure that is not a time (the window's memory), printed after the table.
struct Figure {
    std::string name, measured, baseline, ratio, target;
    bool met = false;
};
void add_figures(std::function<std::vector<Figure>()> source);
std::vector<Figure> figures();

// The program run as a helper process: `flag` as its first argument selects `mode`.
void add_helper_mode(const std::string& flag, std::function<int(int argc, char** argv)> mode);
// The mode for argv[1], or nothing.
std::function<int(int, char**)> helper_mode(const char* flag);

// One directory for the run's inputs, removed at exit.
const std::filesystem::path& scratch();
// This program's own path (for its helper processes).
std::string& self_path();

struct ProcessResult {
    int status = -1; // exit status; -1 when it could not run or did not exit normally
};
// Runs a program with standard output and error thrown away, and waits for it.
ProcessResult run_process(const std::vector<std::string>& argv);

} // namespace bench
