// quorbit-cli: the commands of Quorbit for scripts. Results go to stdout, messages to stderr (an editing
// command ends with one line there saying what it changed); the exit status is 0 on success, 1 when a
// command is refused or fails (a refused command changes nothing) and 2 on a usage error. Messages are
// the command line's own words: the window's texts say little to a script's reader. The table of
// commands is in command_table.cpp, the handlers in reading_commands.cpp and editing_commands.cpp.
#include "cli/args.h"
#include "cli/command.h"
#include "cli/output.h"
#include "quorbit_version.h"
#include "storage/fileops.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace {

void print_help() {
    std::cout
        << "usage: quorbit-cli COMMAND [ARGUMENTS]\n\n"
           "Quorbit's commands for MetaStock / CompuTrac portfolios. Dates are MM/DD/YY, MM/DD/YYYY\n"
           "or YYYY-MM-DD; values are plain numbers (digits, at most one decimal point, nothing negative).\n"
           "Exit status: 0 success, 1 refused or failed (nothing changed by a refusal), 2 usage error.\n"
           "A text result never replaces a file of a portfolio, a link, a directory, a device or a pipe.\n\n"
           "Commands:\n";
    for (const auto& c : commands())
        std::cout << "  " << c.usage << "\n      " << c.summary << "\n";
    std::cout << "\n'quorbit-cli COMMAND --help' shows one command; 'quorbit-cli --version' the version.\n";
}

void print_version() {
    std::cout << "quorbit-cli (Quorbit) " QUORBIT_VERSION "\n"
                 "Copyright (c) the Quorbit authors.\n"
                 "Released under the MIT License: you may use, copy, change and pass it on.\n";
}

int run(const std::vector<std::string>& words) {
    if (words.empty()) {
        print_help();
        return kUsage;
    }
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        print_help();
        return kOk;
    }
    if (words[0] == "--version") {
        print_version();
        return kOk;
    }
    for (const auto& command : commands()) {
        if (words[0] != command.name)
            continue;
        Args args;
        std::string error;
        if (!parse_args({words.begin() + 1, words.end()}, command.valued, args, error))
            return usage_error(command, error);
        if (args.help) {
            std::cout << "usage: quorbit-cli " << command.usage << "\n" << command.summary << "\n";
            return kOk;
        }
        for (const auto& [name, value] : args.options) {
            bool known =
                std::find(command.valued.begin(), command.valued.end(), name) != command.valued.end() ||
                std::find(command.flags.begin(), command.flags.end(), name) != command.flags.end();
            if (!known)
                return usage_error(command, "unknown option " + name);
        }
        if (args.positional.size() < command.positionals ||
            args.positional.size() > command.positionals + command.optional_positionals)
            return usage_error(command, "expected " + std::to_string(command.positionals) + " arguments");
        // One command is one operation: each directory is listed once and each directory file read
        // once, whatever the number of securities it handles.
        fileops::OperationScope scope;
        return command.run(command, args);
    }
    std::cerr << "quorbit-cli: unknown command '" << words[0] << "' (see quorbit-cli --help)\n";
    return kUsage;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Data goes out byte for byte, as an export writes it to a file: no "\r" is put before each "\n".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> words(argv + 1, argv + argc);
    return run(words);
}
