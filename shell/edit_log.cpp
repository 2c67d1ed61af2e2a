#include "shell/edit_log.h"

#include "shell/settings_store.h"

void WriteSettingsEntries(const std::vector<LogEntry>& entries, CSettingsStore& store) {
    for (const LogEntry& entry : entries)
        store.WriteString(entry.section, entry.key, entry.value);
}

void WriteEditLog(const CommandResult& result, CSettingsStore& store) {
    if (result.ok)
        WriteSettingsEntries(result.log, store);
}
