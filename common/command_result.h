// What a command tells its caller: whether it did its work, the messages it would show (in the order
// shown, each with its kind, so that one presenter turns any result into the right message box), and
// the edit-log entries the caller writes to the settings store.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

enum class MessageKind {
    Information, // a notice: the work was done, or there was nothing to do
    Warning,     // the work was done only in part, or input was refused before anything was tried
    Error,       // the work failed
    Question,    // asked before the work goes on: yes or no
};

struct Message {
    MessageKind kind = MessageKind::Error;
    std::string text;
    bool operator==(const Message&) const = default;
};

// How a command asks its question (kind Question): true for yes.
using Confirm = std::function<bool(const Message& question)>;

struct LogEntry {
    std::string section;
    std::string key;
    std::string value;
};

struct CommandResult {
    bool ok = false;               // the command's work is done (files changed as asked)
    int status = 0;                // the storage status behind a failure, 0 otherwise
    std::vector<Message> messages; // the messages, in order
    std::vector<LogEntry> log;     // settings writes of the edit log, in order
    int error = 0;                 // errno of the file operation that failed, 0 when none did

    static CommandResult success() { return CommandResult{true, 0, {}, {}}; }
    static CommandResult failure(std::string message, int status = 0, MessageKind kind = MessageKind::Error) {
        return CommandResult{false, status, {Message{kind, std::move(message)}}, {}};
    }
    void add(MessageKind kind, std::string text) { messages.push_back(Message{kind, std::move(text)}); }
    // The texts of the messages, in order.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Message& message : messages)
            out.push_back(message.text);
        return out;
    }
};
