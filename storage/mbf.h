// Numbers as the portfolio files store them: Microsoft Binary Format singles and little-endian words.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The largest magnitude an MBF single holds (exponent byte 255, all fraction bits set).
constexpr float kMbfMax = 1.70141173e38f;

// 0.0 (either sign) gives four zero bytes. Magnitudes beyond the MBF range saturate at kMbfMax with
// their sign; values below the smallest MBF normal become 0; NaN gives four zero bytes (callers refuse
// NaN before it can reach a file). `out` may alias the storage of `value`'s source.
void ieee_to_mbf(float value, std::uint8_t out[4]);
// A whole number as an MBF single without going through a float: bit for bit what ieee_to_mbf gives for
// static_cast<float>(value) (24 significant bits, a tie rounded to the even one).
void uint_to_mbf(std::uint32_t value, std::uint8_t out[4]);
// Byte 3 of 0, 1 or 2 reads as 0.0 (1 and 2 have no IEEE counterpart).
float mbf_to_ieee(const std::uint8_t in[4]);
// The same conversion on bits: the four stored bytes read as a little-endian word in, the IEEE single's
// bits out. Branch-free, so that a loop over many values vectorises.
inline std::uint32_t mbf_word_to_ieee_bits(std::uint32_t word) {
    const std::uint32_t exponent = word >> 24;
    const std::uint32_t bits = ((word << 8) & 0x80000000u) | ((exponent - 2) << 23) | (word & 0x7FFFFFu);
    return static_cast<std::int32_t>(exponent) > 2 ? bits : 0u;
}
// Converts `count` stored values at `bytes` in place into IEEE singles in host order.
void mbf_convert_in_place(std::uint8_t* bytes, std::size_t count);
// True when the value survives ieee_to_mbf unchanged (finite and within the MBF range).
bool mbf_representable(float value);

// A 16-bit word as the files store it, low byte first.
inline std::uint16_t load_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline void store_le16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
// Eight bytes as one word, the first byte lowest, and back (one load or store where the host is
// little-endian).
inline std::uint64_t load_le64(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        return word;
    }
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i)
        word = word << 8 | p[i];
    return word;
}
inline void store_le64(std::uint8_t* p, std::uint64_t word) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &word, sizeof word);
        return;
    }
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(word >> (8 * i));
}
