#include "common/failure_text.h"

#include "storage/status.h"

#include <cstring>

std::string status_words(int status) {
    switch (status) {
    case 0:
        return "the quote file holds fewer quotes than its header says";
    case status::kFileOpen:
        return "a file of the security cannot be opened";
    case status::kFileRead:
        return "a file of the security cannot be read";
    case status::kFileWrite:
        return "a file could not be written";
    case status::kFileNotFound:
        return "the security is not in the portfolio";
    case status::kBadRecordShape:
        return "its records have a length or layout that cannot be read";
    case status::kLayoutUnknown:
        return "its fields are unknown (no field file, and an unusual record length)";
    default:
        return status_text(static_cast<StatusCode>(status));
    }
}

void explain_failure(CommandResult& result, const std::string& what) {
    if (result.ok)
        return;
    Message* last_error = nullptr;
    for (Message& message : result.messages)
        if (message.kind == MessageKind::Error)
            last_error = &message;
    if (last_error == nullptr)
        return;
    if (!what.empty())
        last_error->text += "\n" + what;
    if (result.status != 0)
        last_error->text += "\nProblem: " + status_words(result.status) + ".";
    if (result.error != 0)
        last_error->text += std::string("\nReason: ") + std::strerror(result.error) + ".";
}
