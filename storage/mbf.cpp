#include "storage/mbf.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

std::uint32_t bits_of(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float float_of(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The highest IEEE exponent that fits in an MBF exponent byte (byte 3 = e + 2 <= 255).
constexpr std::uint32_t kMaxMbfIeeeExponent = 253;

} // namespace

void ieee_to_mbf(float value, std::uint8_t out[4]) {
    std::uint32_t bits = bits_of(value);
    std::uint32_t sign = bits >> 31;
    std::uint32_t exponent = (bits >> 23) & 0xFF;
    std::uint32_t fraction = bits & 0x7FFFFF;
    if (std::isnan(value) || exponent == 0) {
        // Zero, values below the smallest normal, and NaN (which callers refuse earlier).
        std::memset(out, 0, 4);
        return;
    }
    if (exponent > kMaxMbfIeeeExponent) { // beyond the MBF range or infinite: saturate
        exponent = kMaxMbfIeeeExponent;
        fraction = 0x7FFFFF;
    }
    out[0] = static_cast<std::uint8_t>(fraction & 0xFF);
    out[1] = static_cast<std::uint8_t>((fraction >> 8) & 0xFF);
    out[2] = static_cast<std::uint8_t>((sign << 7) | ((fraction >> 16) & 0x7F));
    out[3] = static_cast<std::uint8_t>(exponent + 2);
}

void uint_to_mbf(std::uint32_t value, std::uint8_t out[4]) {
    if (value == 0) {
        std::memset(out, 0, 4);
        return;
    }
    // The significant bits, the leading one included, as a 24-bit mantissa.
    int width = std::bit_width(value);
    std::uint32_t mantissa = 0;
    if (width <= 24) {
        mantissa = value << (24 - width);
    } else {
        const int dropped = width - 24;
        mantissa = value >> dropped;
        const std::uint32_t rest = value & ((1u << dropped) - 1), half = 1u << (dropped - 1);
        if (rest > half || (rest == half && (mantissa & 1u) != 0))
            ++mantissa;
        if (mantissa == 1u << 24) { // rounded up to the next power of two
            mantissa >>= 1;
            ++width;
        }
    }
    // The value is mantissa x 2^(width - 24); MBF's exponent byte is the IEEE one (126 + width) plus 2.
    out[0] = static_cast<std::uint8_t>(mantissa & 0xFF);
    out[1] = static_cast<std::uint8_t>((mantissa >> 8) & 0xFF);
    out[2] = static_cast<std::uint8_t>((mantissa >> 16) & 0x7F);
    out[3] = static_cast<std::uint8_t>(128 + width);
}

float mbf_to_ieee(const std::uint8_t in[4]) {
    const std::uint32_t word = static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
                               (static_cast<std::uint32_t>(in[2]) << 16) |
                               (static_cast<std::uint32_t>(in[3]) << 24);
    return float_of(mbf_word_to_ieee_bits(word));
}

namespace {

// The conversion loop, written once and compiled twice on x86-64 (see below).
[[gnu::always_inline]] inline void convert_words(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, bytes += 4) {
        std::uint32_t word;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&word, bytes, 4);
        } else {
            word = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                   (static_cast<std::uint32_t>(bytes[2]) << 16) |
                   (static_cast<std::uint32_t>(bytes[3]) << 24);
        }
        const std::uint32_t bits = mbf_word_to_ieee_bits(word);
        std::memcpy(bytes, &bits, 4);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define QUORBIT_AVX2_COPY 1
// The same loop for processors with AVX2: eight values a step instead of four. Chosen at run time by
// asking the processor, not by the loader, so that nothing runs before the program has started.
[[gnu::target("avx2")]] void convert_words_avx2(std::uint8_t* bytes, std::size_t count) {
    convert_words(bytes, count);
}
#endif

} // namespace

void mbf_convert_in_place(std::uint8_t* bytes, std::size_t count) {
#ifdef QUORBIT_AVX2_COPY
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        convert_words_avx2(bytes, count);
        return;
    }
#endif
    convert_words(bytes, count);
}

bool mbf_representable(float value) {
    if (!std::isfinite(value))
        return false;
    if (value == 0.0f)
        return true;
    std::uint32_t exponent = (bits_of(value) >> 23) & 0xFF;
    return exponent >= 1 && exponent <= kMaxMbfIeeeExponent;
}
