#include "suite.h"

#include "support/temp_dir.h"

#include <map>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace {

std::vector<Row>& row_list() {
    static std::vector<Row> list;
    return list;
}
std::vector<std::function<std::vector<Figure>()>>& figure_sources() {
    static std::vector<std::function<std::vector<Figure>()>> sources;
    return sources;
}
std::map<std::string, std::function<int(int, char**)>>& helper_modes() {
    static std::map<std::string, std::function<int(int, char**)>> modes;
    return modes;
}

} // namespace

void add_row(const std::string& name, double target, Body measured, Body baseline, int iterations) {
    row_list().push_back({name, target});
    for (auto& [suffix, body] : {std::pair{"/measured", measured}, std::pair{"/baseline", baseline}}) {
        benchmark::RegisterBenchmark((name + suffix).c_str(),
                                     [body](benchmark::State& state) { body(state); })
            ->Iterations(iterations)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
}

const std::vector<Row>& rows() {
    return row_list();
}

void add_figures(std::function<std::vector<Figure>()> source) {
    figure_sources().push_back(std::move(source));
}

std::vector<Figure> figures() {
    std::vector<Figure> all;
    for (const auto& source : figure_sources()) {
        for (Figure& figure : source())
            all.push_back(std::move(figure));
    }
    return all;
}

void add_helper_mode(const std::string& flag, std::function<int(int, char**)> mode) {
    helper_modes()[flag] = std::move(mode);
}

std::function<int(int, char**)> helper_mode(const char* flag) {
    const auto found = helper_modes().find(flag);
    return found == helper_modes().end() ? nullptr : found->second;
}

const std::filesystem::path& scratch() {
    static testing_support::TempDir dir;
    return dir.path();
}

std::string& self_path() {
    static std::string path;
    return path;
}

ProcessResult run_process(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ProcessResult result;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

} // namespace bench
