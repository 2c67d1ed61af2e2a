#include "editing/entry_filters.h"

#include <algorithm>

namespace editing {

namespace {

bool is_digit(unsigned int c) {
    return c >= '0' && c <= '9';
}

// "MM" or "MM/DD": a group just completed, after which the separator follows.
bool ends_a_group(std::string_view text) {
    auto digits = [&](std::size_t at) { return is_digit(static_cast<unsigned char>(text[at])); };
    if (text.size() == 2)
        return digits(0) && digits(1);
    return text.size() == 5 && digits(0) && digits(1) && text[2] == '/' && digits(3) && digits(4);
}

} // namespace

bool numeric_edit_accepts(unsigned int character) {
    return character < 32 || character == '.' || is_digit(character);
}

DateEntryOutcome date_entry_key(std::string_view text, int selection_start, int selection_end,
                                unsigned int character) {
    if (!is_digit(character) && character != '/')
        return {false, std::string(text), selection_start};
    const auto size = static_cast<int>(text.size());
    const int start = std::clamp(std::min(selection_start, selection_end), 0, size);
    const int end = std::clamp(std::max(selection_start, selection_end), 0, size);
    std::string head(text.substr(0, static_cast<std::size_t>(start)));
    const std::string_view tail = text.substr(static_cast<std::size_t>(end));
    // A "/" typed where the box has just written one is taken as that one.
    if (character == '/' && tail.empty() && !head.empty() && head.back() == '/' && start == end)
        return {true, std::string(text), start};
    head.push_back(static_cast<char>(character));
    if (is_digit(character) && tail.empty() && ends_a_group(head))
        head.push_back('/');
    std::string out = head + std::string(tail);
    if (out.size() > kDateEntryLimit)
        return {false, std::string(text), selection_start};
    return {true, out, static_cast<int>(head.size())};
}

} // namespace editing
