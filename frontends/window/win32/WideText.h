// The window speaks UTF-16; the upgrade's texts are 8-bit (Latin-1), one
// character a byte. These turn the one into the other. No toolkit here.
#pragma once

#include <string>

namespace stb::winui {

// Byte by byte, as the Qt window's fromLatin1 does. Controls take texts up
// to a NUL, so a NUL byte (an include file may carry one into an error text)
// becomes the visible symbol for null instead of cutting the text short; a
// line break without its carriage return gets one, since the log control
// breaks lines at CR LF only.
inline std::wstring WidenLatin1(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\0') {
      wide += L'\u2400';
    } else if (c == '\n' && (i == 0 || text[i - 1] != '\r')) {
      wide += L"\r\n";
    } else {
      wide += static_cast<wchar_t>(c);
    }
  }
  return wide;
}

}  // namespace stb::winui
