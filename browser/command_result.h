// What a command tells its caller: whether it did its work, the message-box texts it would show (in
// the order shown), and the edit-log entries the caller writes to the settings store.
#pragma once

#include <string>
#include <vector>

struct LogEntry {
    std::string section;
    std::string key;
    std::string value;
};

struct CommandResult {
    bool ok = false;                   // the command's work is done (files changed as asked)
    int status = 0;                    // the storage status behind a failure, 0 otherwise
    std::vector<std::string> messages; // texts of the message boxes, in order
    std::vector<LogEntry> log;         // settings writes of the edit log, in order
    int error = 0;                     // errno of the file operation that failed, 0 when none did

    static CommandResult success() { return CommandResult{true, 0, {}, {}}; }
    static CommandResult failure(std::string message, int status = 0) {
        return CommandResult{false, status, {std::move(message)}, {}};
    }
};
