// The values the main window keeps in the settings store, read and written here so that the keys live
// in one place: the search filter ("Search"/"Limit", "Name", "MasterFix") and the volume searched
// ("Settings"/"Drive"), and the widths of a list's columns ("SymbolGrid", "QuoteGrid").
#pragma once

#include <string>
#include <vector>

class CSettingsStore;

// The Search Filter dialog's three values as stored.
struct StoredSearchFilter {
    bool limit = true;   // "Search"/"Limit", default 1
    std::string path;    // "Search"/"Name", default the start directory
    bool repair = false; // "Search"/"MasterFix", default 0
};

StoredSearchFilter ReadSearchFilter(const CSettingsStore& store, const std::string& startDirectory);
// Writes "Limit", then "Name", then "MasterFix".
void WriteSearchFilter(CSettingsStore& store, const StoredSearchFilter& filter);

// The volume searched last, a root path; empty when none was saved.
std::string ReadSearchDrive(const CSettingsStore& store);
void WriteSearchDrive(CSettingsStore& store, const std::string& root);

// The widths saved under `section` ("col0", "col1", ...) for `columns` columns, `defaultWidth` for a
// missing one.
std::vector<int> ReadColumnWidths(const CSettingsStore& store, const std::string& section, int columns,
                                  int defaultWidth);
