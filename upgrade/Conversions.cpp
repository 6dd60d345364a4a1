#include "Conversions.h"

#include "RunError.h"

namespace stb::upgrade {

namespace {

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (text.starts_with("$")) {
    base = 16;
    text.remove_prefix(1);
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with("-") || text.starts_with("+")) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    const int d = DigitValue(c, base);
    if (d < 0) return std::nullopt;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  // Hexadecimal covers all 32 bits; decimal must fit a signed value.
  if (base == 10 && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
  const auto bits = static_cast<std::uint32_t>(negative ? (~value + 1) : value);
  return static_cast<std::int32_t>(bits);
}

std::uint8_t ConvertByte(const std::string& text) {
  const auto value = ParseInteger(text);
  if (!value) throw ERunError("'" + text + "' is not a valid integer value");
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(*value) & 0xFF);
}

std::string Chars(const std::string& line, std::size_t from, std::size_t count) {
  if (from < 1 || from > line.size()) return {};
  return line.substr(from - 1, count);
}

}  // namespace stb::upgrade
