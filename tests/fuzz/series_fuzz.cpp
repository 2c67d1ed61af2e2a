// A fuzzed F1.DAT (and F1.DOP) under a MASTER that describes it with a fuzz-chosen record shape: the
// layout read, windows of bars at many starts and counts, the search by date, the series facts and the
// quote list must all end with a status and read nothing outside their buffers.
#include "browser/quote_cells.h"
#include "fuzz_support.h"
#include "storage/quotes.h"

#include <cstdint>
#include <utility>

using namespace fuzz_support;

namespace {

void read_windows(const FuzzedSecurity& s, std::int16_t capacity) {
    // Windows at both ends, across the end, past it, and with the counts that mean "all" or nothing.
    static const std::pair<std::int32_t, std::int16_t> kWindows[] = {
        {0, 1},   {-1, 1},    {0, 0},    {0, -1},    {-1, -1},    {-3, 2},      {2, 400},
        {399, 2}, {0, 32767}, {1, -400}, {32766, 1}, {-32768, 5}, {1 << 20, 1}, {-1, 400}};
    QuoteSeries series;
    if (series_alloc(series, capacity) != status::kOk)
        return;
    for (const auto& [start, count] : kWindows) {
        StatusCode code = series_read(series, s.dir, "IBM", start, count);
        check(code <= 0, "series_read status");
        check(series.count >= 0 && series.count <= series.capacity, "bar count within capacity");
        for (int i = 0; i < series.count; ++i)
            (void)quote_cells(series, i);
    }
    series_free(series);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::string_view extra;
    FuzzedSecurity s = make_security(in, scratch().fresh(), &extra, 5);
    Input picks(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size());
    const DayNumber target_date = picks.u16();
    const PackedTime target_time = picks.u16();
    const std::int16_t capacity = static_cast<std::int16_t>(picks.byte() % 8 == 0 ? 0 : 400);

    std::int16_t positions[8], inputs[8], displays[8];
    (void)dop_read(s.dop, positions, inputs, displays, s.record_length, s.periodicity);
    read_windows(s, capacity);

    DayNumber found_date = 0;
    PackedTime found_time = 0;
    std::int32_t index = series_find_date(s.dir, "IBM", target_date, target_time, &found_date, &found_time);
    if (index >= 0) {
        QuoteSeries one;
        series_alloc(one, 1);
        check(series_read(one, s.dir, "IBM", index, 1) == status::kOk, "found bar reads");
        check(one.count == 1 && one.date(0) == found_date, "found bar carries the found date");
    }
    SeriesFacts facts;
    (void)series_describe(s.dir, "IBM", facts);
    QuoteListing listing = quote_list_read(s.dir, "IBM");
    check(listing.rows.size() <= 32767, "quote list bounded");
    return 0;
}
