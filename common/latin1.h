// The one conversion between typed text (UTF-8) and the single bytes the portfolio files hold
// (Latin-1), for every layer: the window, the commands and quorbit-cli.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Typed text (UTF-8) as the single-byte text the portfolio files hold, one Latin-1 byte a character;
// empty when the text is not UTF-8 or holds a character beyond U+00FF, which no single byte can store.
std::optional<std::string> latin1_from_utf8(std::string_view text);
// Stored single-byte text for showing (UTF-8).
std::string utf8_from_latin1(std::string_view text);
