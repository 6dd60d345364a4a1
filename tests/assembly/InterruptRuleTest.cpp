// What one interrupt does, with the clock driven by the test.
#include <gtest/gtest.h>

#include "InterruptRule.h"

namespace stb::app {
namespace {

using TVerdict = TInterruptRule::TVerdict;

TEST(InterruptRule, EchoesOfTheWarnedOneCountAsItAndADeliberateSecondEnds) {
  TInterruptRule rule;
  EXPECT_EQ(rule.Take(true, 5000), TVerdict::Warn);
  // `timeout` passing on the terminal's SIGINT; a service manager's burst.
  EXPECT_EQ(rule.Take(true, 5000), TVerdict::Repeated);
  for (long long t = 5010; t < 5100; t += 10) EXPECT_EQ(rule.Take(true, t), TVerdict::Repeated);
  EXPECT_EQ(rule.Take(true, 5000 + TInterruptRule::kEchoMs - 1), TVerdict::Repeated);
  // The operator presses again on purpose.
  EXPECT_EQ(rule.Take(true, 5000 + TInterruptRule::kEchoMs), TVerdict::End);
}

TEST(InterruptRule, UnguardedEndsAtOnceAndANewStretchWarnsAgain) {
  TInterruptRule rule;
  EXPECT_EQ(rule.Take(false, 0), TVerdict::End);
  // An end that was not taken (the caller chose to go on) leaves no warning.
  EXPECT_EQ(rule.Take(true, 10), TVerdict::Warn);
  rule.Forget();
  // The box started or stopped taking the image: the old warning is gone,
  // even a moment later and even with a clock at zero.
  EXPECT_EQ(rule.Take(true, 20), TVerdict::Warn);
  rule.Forget();
  EXPECT_EQ(rule.Take(true, 0), TVerdict::Warn);
  EXPECT_EQ(rule.Take(true, 0), TVerdict::Repeated);
}

}  // namespace
}  // namespace stb::app
