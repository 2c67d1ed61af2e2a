// What quorbit-cli writes besides a command's data: its exit statuses and its messages, in the command
// line's own words (the window's texts say little to a script's reader).
#pragma once

#include "cli/command.h"
#include "common/command_result.h"

#include <filesystem>
#include <string>

constexpr int kOk = 0;     // done
constexpr int kFailed = 1; // refused (nothing changed) or failed
constexpr int kUsage = 2;  // the command line is wrong

// Writes a text of the command line's own where a message of its kind goes.
void write_message(MessageKind kind, const std::string& text);
// Writes a command's message in the command line's words.
void write_message(const Message& message);
// The command line's words for the window's texts; any other text is already plain.
std::string cli_words(const std::string& message);

// The messages in the command line's words; after a failed file operation, the system's reason. kOk when
// the command did its work, else kFailed.
int report(const CommandResult& result);
// An editing command's end: its messages, then one line saying what it changed (unless nothing did).
int report_change(const CommandResult& result, const std::string& change);
// Why a security's quotes cannot be read, in plain words.
std::string security_problem(const std::string& dir, const std::string& symbol, int status);
// "quorbit-cli NAME: reason" and the command's usage; kUsage.
int usage_error(const Command& command, const std::string& reason);
// "quorbit-cli NAME: reason" alone, for a wrong option value; kUsage.
int option_error(const Command& command, const std::string& reason);

// The portfolio's MASTER, found ignoring letter case.
std::filesystem::path master_of(const std::string& dir);
