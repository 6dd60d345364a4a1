// The command line: every option, its forms, and the mistakes a user makes.
#include <gtest/gtest.h>

#include "Options.h"

namespace stb::app {
namespace {

TEST(Options, EveryOptionInBothForms) {
  std::string error;
  const auto o = ParseOptions({"--headless", "--port", "/dev/ttyUSB0", "--code=APP103", "--log-file", "a.log",
                               "--trace=t.txt", "--response-timeout", "2.5", "--on-address-mismatch=continue"},
                              error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->Headless);
  EXPECT_EQ(o->Port, "/dev/ttyUSB0");
  EXPECT_EQ(o->Code, "APP103");
  EXPECT_EQ(o->LogFile, "a.log");
  EXPECT_EQ(o->Trace, "t.txt");
  EXPECT_EQ(o->ResponseTimeoutMs, 2500u);
  EXPECT_EQ(o->OnAddressMismatch, TMismatchAnswer::Continue);
  const auto d = ParseOptions({}, error);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->ResponseTimeoutMs, 30000u);
  EXPECT_EQ(d->OnAddressMismatch, TMismatchAnswer::Ask);
}

TEST(Options, MistakesAreNamed) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--port"}, "option --port needs a value"},
      {{"--port="}, "option --port needs a value"},
      {{"--headless=yes"}, "option --headless takes no value"},
      {{"--response-timeout", "soon"}, "--response-timeout takes a number of seconds, not soon"},
      {{"--response-timeout", "-1"}, "--response-timeout takes a number of seconds, not -1"},
      {{"--on-address-mismatch", "maybe"}, "--on-address-mismatch takes exit or continue, not maybe"},
      {{"--code", "APP103"}, "--code needs --headless (in the window, type the code into the log)"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseOptions(c.args, error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace stb::app
