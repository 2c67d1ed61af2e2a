#include "common/latin1.h"

#include <cstddef>

std::optional<std::string> latin1_from_utf8(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            continue;
        }
        // U+0080 to U+00FF are the two-byte sequences C2 80 to C3 BF; anything else has no single byte.
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= text.size())
            return std::nullopt;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if ((trail & 0xC0) != 0x80)
            return std::nullopt;
        out.push_back(static_cast<char>(((lead & 0x03) << 6) | (trail & 0x3F)));
    }
    return out;
}

std::string utf8_from_latin1(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}
