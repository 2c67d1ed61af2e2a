// The series rewrite of every kind over a fuzzed F1.DAT, with fuzz-chosen values and dates. Either the
// rewrite succeeds and the security reads back with the number of bars the kind promises, or it reports
// failure and F1.DAT and MASTER are byte for byte what they were, with no F1.NEW left behind.
#include "fuzz_support.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"

#include <cstdint>
#include <vector>

using namespace fuzz_support;

namespace {

// Every bar date as the readers see it; empty when the security cannot be read.
bool read_dates(const FuzzedSecurity& s, std::vector<DayNumber>& dates) {
    dates.clear();
    QuoteSeries series;
    if (series_alloc(series, 0) != status::kOk || series_read(series, s.dir, "IBM", 0, 0) != status::kOk)
        return false;
    const std::int32_t total = series.total;
    if (total > 0 && (series_alloc(series, static_cast<std::int16_t>(total)) != status::kOk ||
                      series_read(series, s.dir, "IBM", 0, static_cast<std::int16_t>(total)) != status::kOk ||
                      series.count != total))
        return false;
    for (int i = 0; i < total; ++i)
        dates.push_back(series.date(i));
    return true;
}

SeriesEdit choose_edit(Input& picks, const std::vector<DayNumber>& dates) {
    SeriesEdit edit;
    edit.kind = static_cast<std::int16_t>(picks.byte() % 7); // 0 and 6 are unknown kinds
    for (float& v : edit.values)
        v = picks.f32();
    // Dates: mostly those of real bars, so that the edits find something to change.
    for (DayNumber* date : {&edit.first_date, &edit.last_date}) {
        std::uint16_t raw = picks.u16();
        if (!dates.empty() && raw % 4 != 0)
            *date = dates[raw / 4 % dates.size()];
        else
            *date = raw;
    }
    return edit;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::string_view extra;
    FuzzedSecurity s = make_security(in, scratch().fresh(), &extra, 29);
    Input picks(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size());

    std::vector<DayNumber> before;
    const bool readable = read_dates(s, before);
    const SeriesEdit edit = choose_edit(picks, before);
    const auto files_before = snapshot(scratch().root());
    const std::string dat_before = read_file(s.dat);
    const std::string master_before = read_file(s.master);

    const int result = series_rewrite(edit, scratch().root(), "IBM", static_cast<std::int32_t>(before.size()),
                                      scratch().root() / "MASTER");
    const fs::path new_file = s.dir / (s.dat.filename() == "f1.dat" ? "f1.new" : "F1.NEW");
    check(!fs::exists(new_file), "no F1.NEW left behind");
    if (result != 0) {
        check(read_file(s.dat) == dat_before, "failed rewrite leaves F1.DAT as it was");
        check(read_file(s.master) == master_before, "failed rewrite leaves MASTER as it was");
        check(snapshot(scratch().root()) == files_before, "a refused rewrite writes nothing");
        return 0;
    }
    check(readable, "a rewrite succeeded on a security that does not read");
    std::vector<DayNumber> after;
    check(read_dates(s, after), "rewritten security reads back");
    std::size_t expected = before.size();
    if (edit.kind == kEditDelete)
        expected -= 1;
    if (edit.kind == kEditInsert) {
        for (DayNumber d : before)
            expected += edit.first_date <= d && d <= edit.last_date;
    }
    check(after.size() == expected, "bar count as the kind promises");
    if (edit.kind != kEditDelete && edit.kind != kEditInsert)
        check(read_file(s.dat).size() == dat_before.size(), "value edits keep the file's size");
    return 0;
}
