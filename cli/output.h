// What quorbit-cli writes besides a command's data: its exit statuses and its messages.
#pragma once

#include "browser/command_result.h"
#include "cli/command.h"

#include <filesystem>
#include <string>

constexpr int kOk = 0;     // done
constexpr int kFailed = 1; // refused (nothing changed) or failed
constexpr int kUsage = 2;  // the command line is wrong

// Writes one message where its kind goes.
void write_message(const Message& message);
void write_message(MessageKind kind, const std::string& text);
// Writes the result's messages in order; kOk when the command did its work, else kFailed.
int report(const CommandResult& result);
// "quorbit-cli NAME: reason" and the command's usage; kUsage.
int usage_error(const Command& command, const std::string& reason);
// The reason alone, for a wrong option value; kUsage.
int option_error(const Command& command, const std::string& reason);

// The portfolio's MASTER, found ignoring letter case.
std::filesystem::path master_of(const std::string& dir);
