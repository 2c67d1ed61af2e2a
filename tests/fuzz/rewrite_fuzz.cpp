// The series rewrite of every kind over a fuzzed F1.DAT, with fuzz-chosen values and dates. Either the
// rewrite succeeds and the security reads back with the number of bars the kind promises, or it reports
// failure and every file is byte for byte what it was, with no F1.NEW left behind.
#include "fuzz_support.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"

using namespace fuzz_support;

namespace {

// Every bar date as the readers see it; false when the security cannot be read.
bool read_dates(const FuzzedSecurity& s, std::vector<DayNumber>& dates) {
    dates.clear();
    QuoteSeries series;
    if (series_alloc(series, 0) != status::kOk || series_read(series, s.dir, "IBM", 0, 0) != status::kOk)
        return false;
    const auto total = static_cast<std::int16_t>(series.total);
    if (total > 0 && (series_alloc(series, total) != status::kOk ||
                      series_read(series, s.dir, "IBM", 0, total) != status::kOk || series.count != total))
        return false;
    for (int i = 0; i < total; ++i)
        dates.push_back(series.date(i));
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedSecurity s = make_security(data, size, 29);
    std::vector<DayNumber> before;
    const bool readable = read_dates(s, before);
    SeriesEdit edit;
    edit.kind = static_cast<std::int16_t>(s.picks.byte() % 7); // 0 and 6 are unknown kinds
    for (float& v : edit.values)
        v = s.picks.f32();
    for (DayNumber* date : {&edit.first_date, &edit.last_date}) { // mostly those of real bars
        const std::uint16_t raw = s.picks.u16();
        *date = !before.empty() && raw % 4 != 0 ? before[raw / 4 % before.size()] : raw;
    }
    const auto files_before = snapshot(s.root);
    const std::string dat_before = read_bytes(s.dat);
    const int result =
        series_rewrite(edit, s.root, "IBM", static_cast<std::int32_t>(before.size()), s.root / "MASTER");
    check(!fs::exists(s.dir / (s.dat.filename() == "f1.dat" ? "f1.new" : "F1.NEW")), "no F1.NEW left behind");
    if (result != 0) {
        check(snapshot(s.root) == files_before, "a refused or failed rewrite writes nothing");
        return 0;
    }
    check(readable, "a rewrite succeeded on a security that does not read");
    std::vector<DayNumber> after;
    check(read_dates(s, after), "rewritten security reads back");
    std::size_t expected = before.size() - (edit.kind == kEditDelete);
    for (DayNumber d : before)
        expected += edit.kind == kEditInsert && edit.first_date <= d && d <= edit.last_date;
    check(after.size() == expected, "bar count as the kind promises");
    check(edit.kind == kEditDelete || edit.kind == kEditInsert ||
              read_bytes(s.dat).size() == dat_before.size(),
          "value edits keep the file's size");
    return 0;
}
