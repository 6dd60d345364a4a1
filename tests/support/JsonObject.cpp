#include "JsonObject.h"

#include <cstddef>

namespace stb::testing {

namespace {

// A small recursive-descent reader of RFC 8259 JSON.
struct TJsonReader {
  const std::string& s;
  std::size_t i = 0;

  void Blanks() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  }
  bool Take(char c) {
    Blanks();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  bool String() {
    if (!Take('"')) return false;
    while (i < s.size()) {
      const auto c = static_cast<unsigned char>(s[i++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c >= 0x80) return false;  // the report writes every other byte escaped
      if (c == '\\') {
        if (i >= s.size()) return false;
        const char e = s[i++];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k) {
            if (i >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i++]))) return false;
          }
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool Number() {
    Blanks();
    const std::size_t start = i;
    if (i < s.size() && s[i] == '-') ++i;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.' || s[i] == 'e' ||
                            s[i] == 'E' || s[i] == '+' || s[i] == '-'))
      ++i;
    return i > start;
  }
  bool Literal(const char* word) {
    Blanks();
    const std::string w = word;
    if (s.compare(i, w.size(), w) != 0) return false;
    i += w.size();
    return true;
  }
  bool Value() {
    Blanks();
    if (i >= s.size()) return false;
    switch (s[i]) {
      case '{': return Object();
      case '[': {
        ++i;
        if (Take(']')) return true;
        do {
          if (!Value()) return false;
        } while (Take(','));
        return Take(']');
      }
      case '"': return String();
      case 't': return Literal("true");
      case 'f': return Literal("false");
      case 'n': return Literal("null");
      default: return Number();
    }
  }
  bool Object() {
    if (!Take('{')) return false;
    if (Take('}')) return true;
    do {
      Blanks();
      if (!String() || !Take(':') || !Value()) return false;
    } while (Take(','));
    return Take('}');
  }
};

}  // namespace

bool IsJsonObject(const std::string& text) {
  TJsonReader r{text};
  if (!r.Object()) return false;
  r.Blanks();
  return r.i == text.size();
}

}  // namespace stb::testing
