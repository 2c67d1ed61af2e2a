// A fuzzed F1.DAT (and F1.DOP) under a MASTER that describes it with a fuzz-chosen record shape: the
// layout read, windows of bars at many starts and counts, the search by date, the series facts and the
// quote list must all end with a status and read nothing outside their buffers.
#include "common/quote_cells.h"
#include "common/quote_values.h"
#include "fuzz_support.h"
#include "storage/quotes.h"

using namespace fuzz_support;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedSecurity s = make_security(data, size, 5);
    const DayNumber target_date = s.picks.u16();
    const TimeOfDay target_time = s.picks.u16() * 4;
    const std::int16_t capacity = static_cast<std::int16_t>(s.picks.byte() % 8 == 0 ? 0 : 400);
    std::int16_t positions[8], inputs[8], displays[8];
    (void)dop_read(s.dop, positions, inputs, displays, s.record_length, s.periodicity);
    // Windows at both ends, across the end, past it, and with the counts that mean "all" or nothing.
    static const std::pair<std::int32_t, std::int16_t> kWindows[] = {
        {0, 1},   {-1, 1},    {0, 0},    {0, -1},    {-1, -1},    {-3, 2},      {2, 400},
        {399, 2}, {0, 32767}, {1, -400}, {32766, 1}, {-32768, 5}, {1 << 20, 1}, {-1, 400}};
    QuoteSeries series;
    if (series_alloc(series, capacity) == status::kOk) {
        for (const auto& [start, count] : kWindows) {
            check(series_read(series, s.dir, "IBM", start, count) <= 0, "series_read status");
            check(series.count >= 0 && series.count <= series.capacity, "bar count within capacity");
            for (int i = 0; i < series.count; ++i)
                (void)quote_cells(series, i);
        }
    }
    DayNumber found_date = 0;
    TimeOfDay found_time = 0;
    const std::int32_t index =
        series_find_date(s.dir, "IBM", target_date, target_time, &found_date, &found_time);
    QuoteSeries one;
    if (index >= 0 && series_alloc(one, 1) == status::kOk) {
        check(series_read(one, s.dir, "IBM", index, 1) == status::kOk, "found bar reads");
        check(one.count == 1 && one.date(0) == found_date, "found bar carries the found date");
    }
    SeriesFacts facts;
    (void)series_describe(s.dir, "IBM", facts);
    std::size_t listed = 0;
    QuoteReadSink sink;
    sink.window = [&listed](std::span<const QuoteRowValues> rows) { listed += rows.size(); };
    (void)quote_values_read(s.dir, "IBM", sink);
    check(listed <= 32767, "quote list bounded");
    return 0;
}
