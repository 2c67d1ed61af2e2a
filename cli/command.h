// The commands of quorbit-cli: one table entry per command, each naming the handler that runs it.
#pragma once

#include "cli/args.h"

#include <cstddef>
#include <string>
#include <vector>

struct Command;

// A handler is given its own entry (its name and usage for messages) and the checked arguments: exactly
// `positionals` words and only the options the entry names.
using CommandHandler = int (*)(const Command& self, const Args& args);

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    std::vector<std::string> valued; // options that take a value
    std::vector<std::string> flags;  // options without a value
    std::size_t positionals;
    CommandHandler run;
    std::size_t optional_positionals = 0; // words that may follow the required ones
};

// Every command, in the order the help lists them.
const std::vector<Command>& commands();

// ---- Handlers: reading (reading_commands.cpp) ---------------------------------------------------------

int run_portfolios(const Command& self, const Args& args);
int run_symbols(const Command& self, const Args& args);
int run_quotes(const Command& self, const Args& args);
int run_facts(const Command& self, const Args& args);
int run_export(const Command& self, const Args& args);
int run_export_all(const Command& self, const Args& args);
int run_split_search(const Command& self, const Args& args);
int run_check(const Command& self, const Args& args);

// ---- Handlers: editing (editing_commands.cpp) -------------------------------------------------------

int run_edit(const Command& self, const Args& args);
int run_split(const Command& self, const Args& args);
int run_adjust(const Command& self, const Args& args);
int run_delete_quote(const Command& self, const Args& args);
int run_add_quote(const Command& self, const Args& args);
int run_rename(const Command& self, const Args& args);
int run_delete_symbol(const Command& self, const Args& args);
int run_move(const Command& self, const Args& args);
int run_copy(const Command& self, const Args& args);
int run_repair(const Command& self, const Args& args);
int run_demo(const Command& self, const Args& args);

// ---- Handlers: bringing quotes in (import_commands.cpp) ------------------------------------------------

int run_new_portfolio(const Command& self, const Args& args);
int run_new_security(const Command& self, const Args& args);
int run_import(const Command& self, const Args& args);
int run_import_all(const Command& self, const Args& args);
