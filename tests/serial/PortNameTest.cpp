// The one name of a Windows COM port, whatever the spelling: plain string
// work, so it is held to here on every build, not only under Wine.
#include <gtest/gtest.h>

#include "PortName.h"

namespace stb::serial {
namespace {

TEST(PortName, EverySpellingOfACOMPortIsOneName) {
  struct Case {
    const char* given;
    const char* name;
  } cases[] = {
      {"COM1", "COM1"},          {"com1", "COM1"},        {"Com1", "COM1"},        {"COM1:", "COM1"},
      {"\\\\.\\COM1", "COM1"},   {"\\\\.\\com1", "COM1"}, {"\\\\?\\COM1", "COM1"}, {"//./COM1", "COM1"},
      {"\\\\.\\COM12", "COM12"}, {"com12:", "COM12"},     {"COM255", "COM255"},    {"\\\\.\\COM3:", "COM3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComPortName(c.given), c.name) << c.given;
    EXPECT_TRUE(IsComPortName(c.name)) << c.name;
    EXPECT_EQ(ComNameMistake(c.given), "") << c.given;
  }
}

// A name that is no COM port stays exactly as given: a device or file named
// some other way is opened by the name the operator wrote.
TEST(PortName, OtherNamesStayAsTheyAre) {
  for (const char* kept : {"", "COM", "COMX", "COM0", "COM01", "COM1X", "COM1::", "LPT1", "/dev/ttyS0",
                           "\\\\.\\", "\\\\.\\LPT1", "\\\\server\\COM1", "all", "NUL", "COM 1"}) {
    EXPECT_EQ(ComPortName(kept), kept) << kept;
    EXPECT_FALSE(IsComPortName(kept)) << kept;
  }
  // Only the one name is the name: a spelling of it is not.
  for (const char* spelling : {"com1", "COM1:", "\\\\.\\COM1"}) EXPECT_FALSE(IsComPortName(spelling));
}

// A COM port written with a blank can never be one: it is named at once,
// with the name meant, instead of being waited for.
TEST(PortName, ACOMPortWithABlankIsAMistake) {
  struct Case {
    const char* given;
    const char* meant;
  } cases[] = {{"COM 1", "COM1"}, {"com 12", "COM12"},      {" COM1", "COM1"},
               {"COM1 ", "COM1"}, {"\\\\.\\COM 3", "COM3"}, {"COM\t4", "COM4"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ComNameMistake(c.given), std::string("\"") + c.given +
                                           "\" is no port name: a COM port's name has no blank in it (" +
                                           c.meant + ")")
        << c.given;
  }
  // Blanks in a name that is no COM port are the name's own.
  for (const char* fine : {"My Port", "/dev/serial/by-id/usb-My Adapter", "COM X", " "})
    EXPECT_EQ(ComNameMistake(fine), "") << fine;
}

}  // namespace
}  // namespace stb::serial
