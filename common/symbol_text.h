// The checks of a typed symbol and name, shared by every command that stores one (Edit Symbol, a new
// security, an import that makes its securities) and by the window and quorbit-cli alike.
#pragma once

#include "common/command_result.h"

#include <cstddef>
#include <string_view>

// Other programs read at most this many characters of a symbol (the extended directory file holds 14).
inline constexpr std::size_t kMaxSymbolLength = 14;
// MASTER holds 16 characters of a name; a new security's name may be longer, up to what XMASTER holds
// (EMASTER keeps the whole name as its long name, MASTER its first 16 characters).
inline constexpr std::size_t kMaxNameLength = 16;
inline constexpr std::size_t kMaxLongNameLength = 44;

// A symbol (typed, UTF-8) that the files store as typed and that reads back as the same key: at most 14
// characters of printable ASCII, blanks inside it but not at its start.
CommandResult check_symbol_text(std::string_view symbol);
// A name (typed, UTF-8) of at most `max_length` single-byte (Latin-1) characters, no control characters.
CommandResult check_name_text(std::string_view name, std::size_t max_length = kMaxNameLength);
