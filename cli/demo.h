// Demonstration portfolios for trying the program and for the run command.
#pragma once

#include <filesystem>
#include <string>

// Writes the demonstration portfolios below `root` (created when missing). Returns false and a reason,
// with nothing written, when anything stands at the names the portfolios take (STOCKS, funds, INTRADAY),
// and when a file cannot be written.
bool write_demo_portfolios(const std::filesystem::path& root, std::string& error);
