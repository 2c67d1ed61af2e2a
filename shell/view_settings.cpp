#include "shell/view_settings.h"

#include "shell/settings_store.h"

namespace {

constexpr const char* kSearchSection = "Search";
constexpr const char* kSettingsSection = "Settings";

} // namespace

StoredSearchFilter ReadSearchFilter(const CSettingsStore& store, const std::string& startDirectory) {
    return {store.GetInt(kSearchSection, "Limit", 1) != 0,
            store.GetString(kSearchSection, "Name", startDirectory),
            store.GetInt(kSearchSection, "MasterFix", 0) != 0};
}

void WriteSearchFilter(CSettingsStore& store, const StoredSearchFilter& filter) {
    store.WriteInt(kSearchSection, "Limit", filter.limit ? 1 : 0);
    store.WriteString(kSearchSection, "Name", filter.path);
    store.WriteInt(kSearchSection, "MasterFix", filter.repair ? 1 : 0);
}

std::string ReadSearchDrive(const CSettingsStore& store) {
    return store.GetString(kSettingsSection, "Drive", "");
}

void WriteSearchDrive(CSettingsStore& store, const std::string& root) {
    store.WriteString(kSettingsSection, "Drive", root);
}

std::vector<int> ReadColumnWidths(const CSettingsStore& store, const std::string& section, int columns,
                                  int defaultWidth) {
    std::vector<int> widths;
    for (int i = 0; i < columns; ++i) {
        widths.push_back(store.GetInt(section, "col" + std::to_string(i), defaultWidth));
    }
    return widths;
}
