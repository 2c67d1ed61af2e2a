// Text helpers used by the key matching.
#pragma once

#include <string>
#include <string_view>

void trim_right(std::string& text);
// The text without the blanks at its end.
std::string_view trim_trailing_blanks(std::string_view text);
int count_char(std::string_view text, char c);
// The index of the n-th (1-based) occurrence of c, or the index of the last character when there are
// fewer (-1 for an empty text).
int nth_char_index(std::string_view text, char c, int n);
