// What explains a failure, in the words the window and quorbit-cli share: a storage status in plain
// words, and a failure's own text followed by the file or series it concerns and the system's reason.
#pragma once

#include "common/command_result.h"

#include <string>

// A storage status in plain words ("a file of the security cannot be opened").
std::string status_words(int status);

// Keeps the failure's last error text as its first line and adds, one a line, `what` (the file or the
// series it concerns; nothing when empty), the status in words and the system's reason ("Reason:
// Permission denied"). A result that succeeded, or that carries no error text, is left as it is.
void explain_failure(CommandResult& result, const std::string& what);
