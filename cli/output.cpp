#include "cli/output.h"

#include "storage/portfolio_files.h"

#include <iostream>

namespace {

// Where a message of a kind goes. Standard output carries only a command's data (rows, result lines),
// which scripts read, so notices go to standard error beside warnings and errors.
std::ostream& stream_for(MessageKind) {
    return std::cerr;
}

} // namespace

void write_message(const Message& message) {
    stream_for(message.kind) << message.text << "\n";
}

void write_message(MessageKind kind, const std::string& text) {
    write_message(Message{kind, text});
}

int report(const CommandResult& result) {
    for (const Message& message : result.messages)
        write_message(message);
    return result.ok ? kOk : kFailed;
}

int usage_error(const Command& command, const std::string& reason) {
    std::cerr << "quorbit-cli " << command.name << ": " << reason << "\nusage: quorbit-cli " << command.usage
              << "\n";
    return kUsage;
}

int option_error(const Command& command, const std::string& reason) {
    std::cerr << "quorbit-cli " << command.name << ": " << reason << "\n";
    return kUsage;
}

std::filesystem::path master_of(const std::string& dir) {
    return portfolio_files::master(dir);
}
