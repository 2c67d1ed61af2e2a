#include "common/symbol_text.h"

#include "common/latin1.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

constexpr const char* kNotSingleByte =
    "The text holds a character that has no single byte (Latin-1); the portfolio files store one byte "
    "a character.";

// Input refused before anything was tried.
CommandResult refused(std::string message) {
    return CommandResult::failure(std::move(message), 0, MessageKind::Warning);
}

} // namespace

CommandResult check_symbol_text(std::string_view symbol) {
    std::optional<std::string> bytes = latin1_from_utf8(symbol);
    if (!bytes)
        return refused(kNotSingleByte);
    if (bytes->size() > kMaxSymbolLength)
        return refused("A symbol holds at most " + std::to_string(kMaxSymbolLength) +
                       " characters; other programs read no more.");
    // The symbol text ends at the first byte of 32 or less or of 128 or more: any other would be cut off.
    bool plain = std::all_of(bytes->begin(), bytes->end(), [](char c) { return c >= ' ' && c <= '~'; });
    if (!plain || (!bytes->empty() && bytes->front() == ' '))
        return refused("A symbol is written with letters, digits and signs of plain ASCII and does not begin "
                       "with a blank.");
    return CommandResult::success();
}

CommandResult check_name_text(std::string_view name, std::size_t max_length) {
    std::optional<std::string> bytes = latin1_from_utf8(name);
    if (!bytes)
        return refused(kNotSingleByte);
    if (bytes->size() > max_length)
        return refused("A name holds at most " + std::to_string(max_length) + " characters.");
    auto control = [](char c) { return static_cast<unsigned char>(c) < ' ' || c == '\x7F'; };
    if (std::any_of(bytes->begin(), bytes->end(), control))
        return refused("A name holds no control characters.");
    return CommandResult::success();
}
