// The edit log: the settings a command's result asks for, written to the settings store in one place.
#pragma once

#include "common/command_result.h"

#include <vector>

class CSettingsStore;

// Writes each entry as a text value (section, key, value), in order. A write that fails is dropped
// silently, as every settings write is.
void WriteSettingsEntries(const std::vector<LogEntry>& entries, CSettingsStore& store);

// Writes the edit-log entries of a command that did its work; after a failure nothing is written.
void WriteEditLog(const CommandResult& result, CSettingsStore& store);
