#include "PortName.h"

namespace stb::serial {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool Digit(char c) { return c >= '0' && c <= '9'; }
bool Slash(char c) { return c == '\\' || c == '/'; }

// "COMn" with n from 1 (no leading zero: "COM01" is no port), any case.
bool BareComName(const std::string& name) {
  if (name.size() < 4 || Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M')
    return false;
  if (name[3] == '0') return false;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!Digit(name[i])) return false;
  }
  return true;
}

}  // namespace

std::string ComPortName(const std::string& given) {
  std::string name = given;
  // The device namespace "\\.\" and the long-path "\\?\" lead to the same
  // device; Windows takes '/' for '\' in them.
  if (name.size() > 4 && Slash(name[0]) && Slash(name[1]) && (name[2] == '.' || name[2] == '?') &&
      Slash(name[3])) {
    name.erase(0, 4);
  }
  // "COM1:" is how the older API wrote a device.
  if (!name.empty() && name.back() == ':') name.pop_back();
  if (!BareComName(name)) return given;
  for (char& c : name) c = Upper(c);
  return name;
}

bool IsComPortName(const std::string& name) { return BareComName(name) && ComPortName(name) == name; }

std::string ComNameMistake(const std::string& given) {
  std::string closed;
  for (const char c : given) {
    if (c != ' ' && c != '\t') closed += c;
  }
  if (closed == given) return {};
  const std::string name = ComPortName(closed);
  if (!IsComPortName(name)) return {};  // not a COM port written with blanks
  return "\"" + given + "\" is no port name: a COM port's name has no blank in it (" + name + ")";
}

}  // namespace stb::serial
