// The one-time import of a fuzzed Quorbit.INI into a settings store kept in a temporary file, then
// reads of the keys the file seems to name and of the program's own keys. The values must survive a
// restart unchanged, a second start must not import again, and a value written afterwards reads back.
#include "fuzz_support.h"
#include "shell/settings_store.h"

#include <QtGlobal>

using namespace fuzz_support;

namespace {

std::string Trimmed(std::string_view text) {
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    return first == std::string_view::npos
               ? std::string()
               : std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

// (section, key) pairs the text appears to hold, a few dozen at most.
std::vector<std::pair<std::string, std::string>> NamedKeys(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"Search", "Limit"}, {"Search", "Name"}, {"Screen", "x"}, {"XportSel", "Delim"}, {"", ""}};
    std::string section;
    for (std::size_t pos = 0; pos < text.size() && keys.size() < 40;) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string line = Trimmed(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
            section = Trimmed(std::string_view(line).substr(1, line.size() - 2));
        else if (std::size_t equals = line.find('='); equals != std::string::npos)
            keys.emplace_back(section, line.substr(0, equals));
    }
    return keys;
}

std::vector<std::pair<std::string, int>>
ReadAll(const CSettingsStore& store, const std::vector<std::pair<std::string, std::string>>& keys) {
    std::vector<std::pair<std::string, int>> out;
    for (const auto& [section, key] : keys)
        out.emplace_back(store.GetString(section, key, "<default>"), store.GetInt(section, key, -77));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet =
        (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)quiet;
    const fs::path& root = fresh_scratch();
    fs::create_directories(root / "windows");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    write_bytes(root / "windows" / "Quorbit.INI", text);
    const SettingsLocations where{(root / "config" / "Quorbit.ini").string(), (root / "windows").string()};
    const auto keys = NamedKeys(text);
    std::vector<std::pair<std::string, int>> first;
    {
        CSettingsStore store(where);
        check(OpenSettingsStoreAtStartUp(store), "the store opens");
        first = ReadAll(store, keys);
    }
    check(read_bytes(root / "windows" / "Quorbit.INI") == text, "the import leaves the INI file as it was");
    write_bytes(root / "windows" / "Quorbit.INI", "[Search]\nLimit=12345\n"); // a second start: no import
    CSettingsStore again(where);
    check(OpenSettingsStoreAtStartUp(again), "the store opens again");
    check(ReadAll(again, keys) == first, "imported values survive a restart");
    const std::string value = (keys.back().first + "|" + keys.back().second).substr(0, 200);
    check(!again.WriteString("Fuzz", keys.back().second, value) ||
              again.GetString("Fuzz", keys.back().second, "") == value,
          "a written value reads back");
    return 0;
}
