#include "storage/text_util.h"

#include <algorithm>
#include <cstddef>

void trim_right(std::string& text) {
    std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
}

int count_char(std::string_view text, char c) {
    return static_cast<int>(std::count(text.begin(), text.end(), c));
}

int nth_char_index(std::string_view text, char c, int n) {
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == c && ++seen == n)
            return static_cast<int>(i);
    }
    return static_cast<int>(text.size()) - 1;
}

std::string_view trim_trailing_blanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}
