// F<n>.DOP: the field layout of a security, or the layout inferred from its record length.
#include "storage/fileops.h"
#include "storage/mbf.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr const char* kFieldNameTexts[kFieldNames] = {"DATE", "TIME",  "OPEN", "HIGH",
                                                      "LOW",  "CLOSE", "VOL",  "OI"};

// A field-description file is a few lines; anything beyond this is not one.
constexpr std::size_t kMaxDopBytes = 1 << 20;
// The DOS end-of-file mark some writers leave behind.
constexpr char kEndOfFileMark = '\x1A';

// The name matches when it starts with the known name, ignoring case ("VOLUME" is VOL).
bool name_matches(std::string_view name, std::string_view known) {
    if (name.size() < known.size())
        return false;
    return portfolio_files::equals_ignoring_case(name.substr(0, known.size()), known);
}

int match_field_name(std::string_view name) {
    for (int field = 0; field < kFieldNames; ++field) {
        if (name_matches(name, kFieldNameTexts[field]))
            return field;
    }
    return -1;
}

// Leading blanks, a sign and digits, as a decimal integer; 0 when there are none. Clamped to int16.
std::int16_t parse_code(std::string_view item) {
    std::size_t i = 0;
    while (i < item.size() && (item[i] == ' ' || item[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < item.size() && (item[i] == '-' || item[i] == '+'))
        negative = item[i++] == '-';
    long value = 0;
    for (; i < item.size() && std::isdigit(static_cast<unsigned char>(item[i])); ++i) {
        if (value <= 100000)
            value = value * 10 + (item[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > SHRT_MAX)
        value = SHRT_MAX;
    if (value < SHRT_MIN)
        value = SHRT_MIN;
    return static_cast<std::int16_t>(value);
}

std::vector<std::string_view> split_items(std::string_view line) {
    std::vector<std::string_view> items;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            items.push_back(line.substr(start));
            return items;
        }
        items.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

void parse_dop_text(std::string_view text, FieldLayout& layout) {
    // A position beyond any field count stays out of range, so the shape check refuses it.
    int next_position = 1;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty() || line.front() != '"')
            continue;
        std::vector<std::string_view> items = split_items(line.substr(1));
        int field = match_field_name(items[0]);
        if (field < 0)
            continue; // an unknown field line takes no position
        layout.position[field] = static_cast<std::int16_t>(next_position);
        layout.input_code[field] = items.size() > 1 ? parse_code(items[1]) : 0;
        layout.display_code[field] = items.size() > 2 ? parse_code(items[2]) : 0;
        if (next_position < SHRT_MAX)
            ++next_position;
    }
}

void set_positions(FieldLayout& layout, std::initializer_list<int> fields) {
    std::int16_t position = 1;
    for (int field : fields)
        layout.position[field] = position++;
}

// The first bar (or, in a file without bars, the header) decides what a 20-byte record holds: a
// fifth field of 0 or above twice the second is a volume, otherwise a close.
StatusCode infer_twenty_byte_layout(const std::filesystem::path& dop_path, FieldLayout& layout) {
    std::string dat_name = dop_path.filename().string();
    if (dat_name.size() >= 3)
        dat_name.replace(dat_name.size() - 3, 3, "DAT");
    fileops::File dat = fileops::open_read(portfolio_files::existing(dop_path.parent_path(), dat_name));
    if (!dat.is_open())
        return status::kLayoutUnknown;
    std::uint8_t records[40] = {};
    long long got = dat.read_some(records, sizeof records);
    if (got < 0)
        return status::kFileRead;
    const std::uint8_t* record = got >= 40 ? records + 20 : records;
    float second = mbf_to_ieee(record + 4);
    float fifth = mbf_to_ieee(record + 16);
    if (fifth == 0.0f || fifth > 2.0f * second)
        set_positions(layout, {kFieldDate, kFieldHigh, kFieldLow, kFieldClose, kFieldVol});
    else
        set_positions(layout, {kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose});
    return status::kOk;
}

StatusCode infer_layout(const std::filesystem::path& dop_path, int record_length, char periodicity,
                        FieldLayout& layout) {
    switch (record_length) {
    case 8:
        set_positions(layout, {kFieldDate, kFieldClose});
        return status::kOk;
    case 12:
        set_positions(layout, {kFieldDate, kFieldClose, kFieldVol});
        return status::kOk;
    case 16:
        set_positions(layout, {kFieldDate, kFieldHigh, kFieldLow, kFieldClose});
        return status::kOk;
    case 20:
        return infer_twenty_byte_layout(dop_path, layout);
    case 24:
        set_positions(layout, {kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol});
        return status::kOk;
    case 28:
        // Intra-day vendors drop open interest for the time of day.
        if (periodicity == 'I')
            set_positions(
                layout, {kFieldDate, kFieldTime, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol});
        else
            set_positions(layout,
                          {kFieldDate, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol, kFieldOi});
        return status::kOk;
    case 32:
        set_positions(layout, {kFieldDate, kFieldTime, kFieldOpen, kFieldHigh, kFieldLow, kFieldClose,
                               kFieldVol, kFieldOi});
        return status::kOk;
    default:
        return status::kLayoutUnknown;
    }
}

// Reads the whole (small) file; -4 on a read error, -16 when it is far too large to be a DOP file.
StatusCode read_dop_text(fileops::File& file, std::string& text) {
    char chunk[4096];
    for (;;) {
        long long n = file.read_some(chunk, sizeof chunk);
        if (n < 0)
            return status::kFileRead;
        text.append(chunk, static_cast<std::size_t>(n));
        if (text.size() > kMaxDopBytes)
            return status::kBadRecordShape;
        if (static_cast<std::size_t>(n) < sizeof chunk)
            return status::kOk;
    }
}

} // namespace

const char* field_name(int field) {
    return field >= 0 && field < kFieldNames ? kFieldNameTexts[field] : "";
}

std::string dop_line(int field, int input_code, int display_code) {
    return std::string("\"") + field_name(field) + "\"," + std::to_string(input_code) + "," +
           std::to_string(display_code) + "\r\n";
}

StatusCode dop_read_layout(const std::filesystem::path& dop_path, FieldLayout& layout, int record_length,
                           char periodicity) {
    layout = FieldLayout{};
    fileops::File file = fileops::open_read(dop_path);
    if (!file.is_open()) {
        // Only a missing file means "infer"; one that exists but cannot be opened must not be guessed
        // at, since a wrong layout would write values into the wrong fields.
        if (errno != ENOENT && errno != ENOTDIR)
            return status::kFileOpen;
        return infer_layout(dop_path, record_length, periodicity, layout);
    }
    std::string text;
    StatusCode code = read_dop_text(file, text);
    if (code != status::kOk) {
        layout = FieldLayout{};
        return code;
    }
    std::size_t mark = text.find(kEndOfFileMark);
    if (mark != std::string::npos)
        text.resize(mark);
    parse_dop_text(text, layout);
    return status::kOk;
}

StatusCode dop_read(const std::filesystem::path& dop_path, std::int16_t positions[8],
                    std::int16_t input_codes[8], std::int16_t display_codes[8], int record_length,
                    char periodicity) {
    FieldLayout layout;
    StatusCode code = dop_read_layout(dop_path, layout, record_length, periodicity);
    for (int field = 0; field < kFieldNames; ++field) {
        positions[field] = layout.position[field];
        input_codes[field] = layout.input_code[field];
        display_codes[field] = layout.display_code[field];
    }
    return code;
}
