// Stored records into columns: a portable way, a chunk of records at a time, and on processors with AVX2
// eight bars at a time in vector registers. Both give the same bars, bit for bit.
#include "storage/bar_decoding.h"

#include "storage/dates.h"
#include "storage/mbf.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUORBIT_VECTOR_DECODING 1
#endif

namespace {

bool g_vector_allowed = true;

// ---- The portable way -----------------------------------------------------------------------------

// Where one field of the bars goes: its word in a record and its column's first element and step.
struct ColumnTarget {
    int word;
    std::uint8_t* out;
    std::ptrdiff_t step;
};

ColumnTarget column_target(const QuoteSeries& s, int field, int width, const FieldLayout& layout) {
    const BarColumn& column = s.columns[field];
    return {layout.position[field] - 1, static_cast<std::uint8_t*>(column.data) + column.offset * width,
            static_cast<std::ptrdiff_t>(column.stride) * width};
}

// Copies one field of `bars` converted records into its column, from bar `first` on.
void copy_field(const std::uint8_t* records, int length, std::int32_t bars, const ColumnTarget& target,
                std::ptrdiff_t first) {
    const std::uint8_t* in = records + 4 * target.word;
    std::uint8_t* out = target.out + first * target.step;
    const std::ptrdiff_t step = target.step;
#pragma GCC unroll 4
    for (std::int32_t i = 0; i < bars; ++i)
        std::memcpy(out + i * step, in + static_cast<std::ptrdiff_t>(i) * length, 4);
}

void fill_absent(std::int32_t bars, const ColumnTarget& target, std::ptrdiff_t first) {
    for (std::int32_t i = 0; i < bars; ++i)
        std::memcpy(target.out + (first + i) * target.step, &FIELD_ABSENT, 4);
}

constexpr std::int32_t kChunkBars = 512;

// The days and times of `bars` converted records (at most kChunkBars), worked out into local arrays
// first so that the compiler keeps the decoder in registers.
void store_days_and_times(const std::uint8_t* records, int length, std::int32_t bars,
                          const ColumnTarget& date, const ColumnTarget& time, std::ptrdiff_t first,
                          DateDecoder& decode_date) {
    DayNumber days[kChunkBars];
    TimeOfDay times[kChunkBars];
    const auto decoded = [&](int word, auto decode, auto* out) {
        const std::uint8_t* in = records + 4 * word;
        for (std::int32_t i = 0; i < bars; ++i, in += length) {
            float stored;
            std::memcpy(&stored, in, 4);
            out[i] = decode(stored);
        }
    };
    if (date.word >= 0) {
        DateDecoder decoder = decode_date;
        decoded(date.word, decoder, days);
        decode_date = decoder;
    } else {
        std::fill_n(days, bars, DayNumber{0});
    }
    if (time.word >= 0)
        decoded(time.word, time_of_day_from_hhmmss, times);
    else
        std::fill_n(times, bars, TimeOfDay{0});
    std::uint8_t* day_out = date.out + first * date.step;
    std::uint8_t* time_out = time.out + first * time.step;
    for (std::int32_t i = 0; i < bars; ++i, day_out += date.step, time_out += time.step) {
        std::memcpy(day_out, &days[i], sizeof days[i]);
        std::memcpy(time_out, &times[i], sizeof times[i]);
    }
}

// Bars first .. first + bars - 1 from consecutive records. A chunk of records at a time (small enough to
// stay in the first-level cache) has every stored value turned into an IEEE single in place, in one loop
// the compiler vectorises, and is then copied field by field into the columns.
void store_bars_portable(QuoteSeries& s, std::int32_t first, std::int32_t bars, std::uint8_t* records,
                         int length, const FieldLayout& layout, DateDecoder& decode_date) {
    constexpr std::int32_t kChunkBytes = 8192;
    const std::int32_t chunk_bars = std::clamp(kChunkBytes / length, 1, kChunkBars);
    const std::size_t words = static_cast<std::size_t>(length / 4);
    const ColumnTarget date = column_target(s, kFieldDate, 4, layout);
    const ColumnTarget time = column_target(s, kFieldTime, 4, layout);
    ColumnTarget values[kFieldNames];
    for (int field = kFieldOpen; field < kFieldNames; ++field)
        values[field] = column_target(s, field, 4, layout);
    for (std::int32_t done = 0; done < bars; done += chunk_bars) {
        const std::int32_t n = std::min(chunk_bars, bars - done);
        std::uint8_t* chunk = records + static_cast<std::ptrdiff_t>(done) * length;
        mbf_convert_in_place(chunk, static_cast<std::size_t>(n) * words);
        store_days_and_times(chunk, length, n, date, time, first + done, decode_date);
        for (int field = kFieldOpen; field < kFieldNames; ++field) {
            if (values[field].word >= 0)
                copy_field(chunk, length, n, values[field], first + done);
            else
                fill_absent(n, values[field], first + done);
        }
    }
}

// ---- Eight bars at a time -------------------------------------------------------------------------

#ifdef QUORBIT_VECTOR_DECODING

// The columns as series_alloc lays them out, one interleaved bar of eight words (date, time, six
// values) or one array per field; anything else is left to the portable way.
bool columns_as_allocated(const QuoteSeries& s) {
    const bool interleaved = s.block != nullptr;
    for (int field = 0; field < kFieldNames; ++field) {
        const BarColumn& c = s.columns[field];
        const int stride = interleaved ? 8 : field < 2 ? 2 : 1;
        const int offset = interleaved ? field : field == kFieldTime ? 1 : 0;
        if (c.data == nullptr || c.stride != stride || c.offset != offset)
            return false;
    }
    return true;
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i ieee_bits_of_mbf(__m256i word) {
    const __m256i exponent = _mm256_srli_epi32(word, 24);
    const __m256i sign = _mm256_and_si256(_mm256_slli_epi32(word, 8), _mm256_set1_epi32(INT32_MIN));
    const __m256i biased = _mm256_slli_epi32(_mm256_sub_epi32(exponent, _mm256_set1_epi32(2)), 23);
    const __m256i fraction = _mm256_and_si256(word, _mm256_set1_epi32(0x7FFFFF));
    const __m256i bits = _mm256_or_si256(_mm256_or_si256(sign, biased), fraction);
    return _mm256_and_si256(bits, _mm256_cmpgt_epi32(exponent, _mm256_set1_epi32(2)));
}

// Lanes whose value is a whole number (`exact`) of `month`, as a mask of lanes.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i in_month(__m256 value, __m256 exact,
                                                                    const DateDecoder::Month& month) {
    const __m256 in_range = _mm256_and_ps(_mm256_cmp_ps(value, _mm256_set1_ps(month.low), _CMP_GE_OQ),
                                          _mm256_cmp_ps(value, _mm256_set1_ps(month.high), _CMP_LT_OQ));
    return _mm256_castps_si256(_mm256_and_ps(in_range, exact));
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i days_of(__m256i whole,
                                                                   const DateDecoder::Month& month) {
    return _mm256_add_epi32(whole, _mm256_set1_epi32(month.offset));
}

// The days of eight stored dates when some lie outside the two months remembered: the first such lane
// goes through the decoder (which then remembers its month), and every lane of that month is done in
// one step; again until none is left. A day depends on its value alone, whichever way it is worked out.
[[gnu::target("avx2")]] [[gnu::noinline]] __m256i
decode_days_across_months(__m256 value, __m256i whole, __m256 exact, DateDecoder& decoder) {
    float values[8];
    DayNumber days[8];
    _mm256_storeu_ps(values, value);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(days), days_of(whole, decoder.month()));
    const __m256i lane_bits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256i done = in_month(value, exact, decoder.month());
    int pending = ~_mm256_movemask_ps(_mm256_castsi256_ps(done)) & 0xFF;
    while (pending != 0) {
        const int k = __builtin_ctz(static_cast<unsigned>(pending));
        days[k] = decoder(values[k]);
        pending &= pending - 1;
        const __m256i waiting =
            _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(pending), lane_bits), lane_bits);
        const __m256i now = _mm256_and_si256(waiting, in_month(value, exact, decoder.month()));
        _mm256_maskstore_epi32(days, now, days_of(whole, decoder.month()));
        pending &= ~_mm256_movemask_ps(_mm256_castsi256_ps(now));
    }
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(days));
}

// The days of eight stored dates: when all are whole numbers of the month the decoder remembers, each
// is its whole number plus the month's offset; when the rest lie in the month after it, theirs plus
// that month's offset, and the decoder moves on to that month.
[[gnu::target("avx2")]] __m256i decode_days(__m256i date_bits, DateDecoder& decoder) {
    const __m256 value = _mm256_castsi256_ps(date_bits);
    const __m256i whole = _mm256_cvttps_epi32(value);
    const __m256 exact = _mm256_cmp_ps(_mm256_cvtepi32_ps(whole), value, _CMP_EQ_OQ);
    const __m256i done = in_month(value, exact, decoder.month());
    if (_mm256_movemask_ps(_mm256_castsi256_ps(done)) == 0xFF)
        return days_of(whole, decoder.month());
    const __m256i next = in_month(value, exact, decoder.next_month());
    if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(done, next))) != 0xFF)
        return decode_days_across_months(value, whole, exact, decoder);
    const __m256i days =
        _mm256_blendv_epi8(days_of(whole, decoder.month()), days_of(whole, decoder.next_month()), next);
    decoder.advance();
    return days;
}

// The field at 1-based `position` of eight records `step` words apart, converted.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i gathered(const std::uint8_t* group, int position,
                                                                    __m256i step) {
    const auto* word = reinterpret_cast<const int*>(group + 4 * (position - 1));
    return ieee_bits_of_mbf(_mm256_i32gather_epi32(word, step, 4));
}

// Eight registers of eight 32-bit lanes transposed: lane i of register k becomes lane k of register i.
[[gnu::target("avx2"), gnu::always_inline]] inline void transpose8(__m256 r[8]) {
    __m256 t[8];
    for (int k = 0; k < 8; k += 2) {
        t[k] = _mm256_unpacklo_ps(r[k], r[k + 1]);
        t[k + 1] = _mm256_unpackhi_ps(r[k], r[k + 1]);
    }
    __m256 u[8];
    for (int k = 0; k < 8; k += 4) {
        u[k] = _mm256_shuffle_ps(t[k], t[k + 2], 0x44);
        u[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], 0xEE);
        u[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0x44);
        u[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0xEE);
    }
    for (int k = 0; k < 4; ++k) {
        r[k] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x20);
        r[k + 4] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x31);
    }
}

// The first eight stored words of eight records `length` bytes apart (32 bytes read from each), word k
// of every record in register k: eight plain loads and a transpose, where a gather per field costs far
// more on some processors.
[[gnu::target("avx2"), gnu::always_inline]] inline void load_words(const std::uint8_t* group, int length,
                                                                   __m256i words[8]) {
    __m256 r[8];
    for (int i = 0; i < 8; ++i)
        r[i] =
            _mm256_loadu_ps(reinterpret_cast<const float*>(group + static_cast<std::ptrdiff_t>(i) * length));
    transpose8(r);
    for (int k = 0; k < 8; ++k)
        words[k] = _mm256_castps_si256(r[k]);
}

// Rows are fields (date, time, six values) of eight bars; stored as eight bars of eight words.
[[gnu::target("avx2"), gnu::always_inline]] inline void store_transposed(std::uint8_t* out,
                                                                         const __m256i rows[8]) {
    __m256 r[8];
    for (int k = 0; k < 8; ++k)
        r[k] = _mm256_castsi256_ps(rows[k]);
    transpose8(r);
    for (int k = 0; k < 8; ++k)
        _mm256_storeu_ps(reinterpret_cast<float*>(out + 32 * k), r[k]);
}

// Rows as above, stored into one array per field from bar `first` on; the time is 0 beside each day.
[[gnu::target("avx2"), gnu::always_inline]] inline void store_in_arrays(QuoteSeries& s, std::int32_t first,
                                                                        const __m256i rows[8]) {
    auto* days =
        static_cast<std::uint8_t*>(s.columns[kFieldDate].data) + 8 * static_cast<std::ptrdiff_t>(first);
    const __m256i low = _mm256_unpacklo_epi32(rows[0], rows[1]);
    const __m256i high = _mm256_unpackhi_epi32(rows[0], rows[1]);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(days), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(days + 32), _mm256_permute2x128_si256(low, high, 0x31));
    for (int field = kFieldOpen; field < kFieldNames; ++field) {
        auto* values =
            static_cast<std::uint8_t*>(s.columns[field].data) + 4 * static_cast<std::ptrdiff_t>(first);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(values), rows[field]);
    }
}

// Bars 0 .. n - 1 for the largest n of whole groups of eight (the rest is left to the caller): each field
// of a group is taken from its eight records (loaded whole and transposed, or gathered when a record is
// longer than eight words) and converted in one register. Daily layouts only (no TIME field). Returns n.
[[gnu::target("avx2")]] std::int32_t store_bars_avx2(QuoteSeries& s, std::int32_t bars,
                                                     const std::uint8_t* records, int length,
                                                     const FieldLayout& layout, DateDecoder& decoder) {
    const __m256i step =
        _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(length / 4));
    const __m256i absent = _mm256_castps_si256(_mm256_set1_ps(FIELD_ABSENT));
    const bool interleaved = s.block != nullptr;
    // Records of up to eight words are loaded whole; the last record of a group is read 32 bytes wide,
    // so the groups stop where that would pass the end of the records.
    constexpr int kWide = 32;
    const bool whole_records = length <= kWide;
    const std::int32_t spare = whole_records ? (kWide - 1) / length : 0; // records that read may reach
    std::int32_t done = 0;
    for (; done + 8 + spare <= bars; done += 8) {
        const std::uint8_t* group = records + static_cast<std::ptrdiff_t>(done) * length;
        __m256i words[8];
        if (whole_records)
            load_words(group, length, words);
        __m256i rows[kFieldNames];
        for (int field = 0; field < kFieldNames; ++field) {
            const int position = layout.position[field];
            if (field == kFieldTime)
                rows[field] = _mm256_setzero_si256();
            else if (position == 0)
                rows[field] = absent; // never the date, which vector decoding requires
            else
                rows[field] =
                    whole_records ? ieee_bits_of_mbf(words[position - 1]) : gathered(group, position, step);
        }
        rows[kFieldDate] = decode_days(rows[kFieldDate], decoder);
        if (interleaved)
            store_transposed(s.block.get() + 32 * static_cast<std::ptrdiff_t>(done), rows);
        else
            store_in_arrays(s, done, rows);
    }
    return done;
}

// One field of the records in groups of eight, gathered and converted in one register each; returns
// the bars done.
[[gnu::target("avx2")]] std::int32_t decode_field_avx2(const std::uint8_t* records, std::int32_t bars,
                                                       int length, int position, float* out) {
    const __m256i step =
        _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(length / 4));
    std::int32_t done = 0;
    for (; done + 8 <= bars; done += 8) {
        const std::uint8_t* group = records + static_cast<std::ptrdiff_t>(done) * length;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), gathered(group, position, step));
    }
    return done;
}

bool vector_decoding_applies(const QuoteSeries& s, const FieldLayout& layout) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && g_vector_allowed && layout.position[kFieldDate] > 0 && layout.position[kFieldTime] == 0 &&
           columns_as_allocated(s);
}

#endif

} // namespace

void store_bars(QuoteSeries& series, std::int32_t bars, std::uint8_t* records, int length,
                const FieldLayout& layout) {
    DateDecoder decode_date;
    std::int32_t done = 0;
#ifdef QUORBIT_VECTOR_DECODING
    if (vector_decoding_applies(series, layout))
        done = store_bars_avx2(series, bars, records, length, layout, decode_date);
#endif
    store_bars_portable(series, done, bars - done, records + static_cast<std::ptrdiff_t>(done) * length,
                        length, layout, decode_date);
}

void decode_field(const std::uint8_t* records, std::int32_t bars, int length, int position, float* out) {
    std::int32_t done = 0;
#ifdef QUORBIT_VECTOR_DECODING
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && g_vector_allowed)
        done = decode_field_avx2(records, bars, length, position, out);
#endif
    // The rest: the stored words side by side, then converted as the portable way converts a chunk.
    const std::uint8_t* in = records + static_cast<std::ptrdiff_t>(done) * length + 4 * (position - 1);
    auto* words = reinterpret_cast<std::uint8_t*>(out + done);
    for (std::int32_t i = 0; i < bars - done; ++i, in += length)
        std::memcpy(words + 4 * static_cast<std::ptrdiff_t>(i), in, 4);
    mbf_convert_in_place(words, static_cast<std::size_t>(bars - done));
}

void set_vector_decoding(bool allowed) {
    g_vector_allowed = allowed;
}
