#include "editing/entry_filters.h"

#include <span>

namespace editing {

namespace {

constexpr std::size_t kMaskLength = 8;
constexpr std::size_t kLongMaskLength = 10; // MM/DD/YYYY, as a date before 1960 is shown

struct MaskStep {
    int start;
    int end;
    int position;
    int next_start;
    int next_end;
};

// Where a digit goes for each selection, and which group is selected next.
constexpr MaskStep kMaskSteps[] = {
    {0, 0, 0, 1, 2}, {0, 1, 0, 1, 2}, {0, 2, 0, 1, 2}, {0, 8, 0, 1, 2}, {1, 2, 1, 3, 5}, {3, 5, 3, 4, 5},
    {4, 4, 3, 4, 5}, {4, 5, 4, 6, 8}, {6, 8, 6, 7, 8}, {6, 7, 6, 7, 8}, {7, 8, 7, 0, 2},
};
// The same with a four-digit year group.
constexpr MaskStep kLongMaskSteps[] = {
    {0, 0, 0, 1, 2},   {0, 1, 0, 1, 2},   {0, 2, 0, 1, 2},  {0, 10, 0, 1, 2},  {1, 2, 1, 3, 5},
    {3, 5, 3, 4, 5},   {4, 4, 3, 4, 5},   {4, 5, 4, 6, 10}, {6, 10, 6, 7, 10}, {6, 7, 6, 7, 10},
    {7, 10, 7, 8, 10}, {8, 10, 8, 9, 10}, {9, 10, 9, 0, 2},
};

bool is_digit(unsigned int c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool numeric_edit_accepts(unsigned int character) {
    return character < 32 || character == '.' || is_digit(character);
}

bool numeric_text_acceptable(std::string_view text) {
    for (char c : text) {
        if (c != '.' && !is_digit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

bool date_mask_text_acceptable(std::string_view text) {
    if (text.size() != kMaskLength && text.size() != kLongMaskLength)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (i == 2 || i == 5 ? c != '/' : !is_digit(c))
            return false;
    }
    return true;
}

DateMaskOutcome date_mask_key(std::string& mask, int selection_start, int selection_end,
                              unsigned int character) {
    using Action = DateMaskOutcome::Action;
    if (character == '\t')
        return {Action::PassOn, selection_start, selection_end};
    if (!is_digit(character))
        return {Action::Dropped, selection_start, selection_end};
    const bool long_mask = mask.size() == kLongMaskLength;
    if (mask.size() < kMaskLength)
        mask.resize(kMaskLength, ' ');
    for (const MaskStep& step : long_mask ? std::span<const MaskStep>(kLongMaskSteps) : kMaskSteps) {
        if (step.start == selection_start && step.end == selection_end) {
            mask[static_cast<std::size_t>(step.position)] = static_cast<char>(character);
            return {Action::Written, step.next_start, step.next_end};
        }
    }
    if (selection_start == 4)
        return {Action::Refused, 3, 5};
    if (selection_start >= 7 && (long_mask || selection_start == 7))
        return {Action::Refused, 6, long_mask ? 10 : 8};
    return {Action::Refused, 0, 2};
}

} // namespace editing
