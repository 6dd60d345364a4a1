// Text-to-number conversion as the include file uses it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace stb::upgrade {

// A 32-bit integer from text: "$", "0x" or "0X" followed by one or more
// hexadecimal digits, or decimal digits with an optional sign. Nothing else
// may stand in the text, not even blanks.
std::optional<std::int32_t> ParseInteger(std::string_view text);

// The low 8 bits of ParseInteger(text); raises "'text' is not a valid
// integer value" when the text does not convert.
std::uint8_t ConvertByte(const std::string& text);

// Characters `from` (counted from 1) onwards, at most `count` of them; fewer,
// or none, when the line is shorter.
std::string Chars(const std::string& line, std::size_t from, std::size_t count);

}  // namespace stb::upgrade
