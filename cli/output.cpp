#include "cli/output.h"

#include "common/failure_text.h"
#include "editing/quote_commands.h"
#include "storage/portfolio_files.h"
#include "storage/status.h"

#include <cstring>
#include <iostream>
#include <map>

namespace {

// Where a message of a kind goes. Standard output carries only a command's data (rows, result lines),
// which scripts read, so notices go to standard error beside warnings and errors.
std::ostream& stream_for(MessageKind) {
    return std::cerr;
}

bool nothing_changed(const CommandResult& result) {
    return result.ok && result.messages.size() == 1 && result.messages[0].text == editing::kNothingChanged;
}

} // namespace

void write_message(MessageKind kind, const std::string& text) {
    stream_for(kind) << text << "\n";
}

void write_message(const Message& message) {
    write_message(message.kind, cli_words(message.text));
}

std::string cli_words(const std::string& message) {
    static const std::map<std::string, std::string> words = {
        {"Single Date Edit Failed", "The quote could not be changed."},
        {"Split Edit Failed", "The split could not be applied."},
        {"Adjust Edit Failed", "The quotes could not be adjusted."},
        {"Delete Edit Failed", "The quote could not be deleted."},
        {"failure in delete quote for findrec", "No quote has exactly that date."},
        {"Add Quote Failed", "The quote could not be added."},
        {"file export error", "The export file could not be written."},
        {"Error in FillQuotesGrid", "The quotes cannot be read: the quote file is missing, unreadable or "
                                    "shorter than its header says."},
        {"Too many bars", "There is not enough memory to read the quotes."},
        {"Failure while filling symbols grid",
         "The portfolio file cannot be listed: it is missing, unreadable "
         "or damaged (see 'quorbit-cli symbols')."},
        {"Error in SplitSearch bars read", "A quote file could not be read; the search ended there."},
        {"Invalid Data Entered", "The values given are not valid for this command."},
        {editing::kNothingChanged, "Nothing changed: the files already hold this. No file was written and "
                                   "the backups are kept."},
    };
    // A window's text may carry its details on further lines: the first line is the one to translate.
    const std::size_t end_of_first = message.find('\n');
    auto it = words.find(message.substr(0, end_of_first));
    if (it == words.end())
        return message;
    return end_of_first == std::string::npos ? it->second : it->second + message.substr(end_of_first);
}

int report(const CommandResult& result) {
    for (const Message& message : result.messages)
        write_message(message);
    if (!result.ok && result.messages.empty() && result.status != 0)
        write_message(MessageKind::Error, "Failed: " + status_words(result.status) + ".");
    if (result.error != 0)
        write_message(MessageKind::Error, std::string("Reason: ") + std::strerror(result.error));
    return result.ok ? kOk : kFailed;
}

int report_change(const CommandResult& result, const std::string& change) {
    int status = report(result);
    if (result.ok && !nothing_changed(result))
        write_message(MessageKind::Information, change);
    return status;
}

std::string security_problem(const std::string& dir, const std::string& symbol, int status) {
    if (status == status::kFileNotFound)
        return "No security " + symbol + " in the portfolio " + dir + ".";
    return "The quotes of " + symbol + " cannot be read: " + status_words(status) + ".";
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
