// What both operator windows do around a tick: a tick inside a tick (a box of
// the outer one is open), and a close asked for while an upgrade runs.
#include "TickGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace stb::layout {
namespace {

TEST(TickGuard, AnOperatorCloseOutsideATickGoesAhead) {
  TTickGuard guard;
  EXPECT_TRUE(guard.OperatorMayClose());
  EXPECT_FALSE(guard.Run([] {})) << "nothing was waiting";
}

TEST(TickGuard, AnOperatorCloseDuringATickWaitsForItsEndOnce) {
  TTickGuard guard;
  bool mayClose = true;
  EXPECT_TRUE(guard.Run([&] { mayClose = guard.OperatorMayClose(); }));
  EXPECT_FALSE(mayClose);
  EXPECT_FALSE(guard.InTick());
  EXPECT_TRUE(guard.OperatorMayClose());
  EXPECT_FALSE(guard.Run([] {})) << "the waiting close was taken";
}

TEST(TickGuard, OnlyTheOuterTicksEndClosesTheWindow) {
  TTickGuard guard;
  bool innerEndCloses = true;
  bool stillInTick = false;
  const bool outerEndCloses = guard.Run([&] {
    // A tick that comes while a box of this one is open.
    innerEndCloses = guard.Run([&] { EXPECT_FALSE(guard.OperatorMayClose()); });
    stillInTick = guard.InTick();
    EXPECT_FALSE(guard.OperatorMayClose()) << "the upgrade of the outer tick still runs";
  });
  EXPECT_FALSE(innerEndCloses);
  EXPECT_TRUE(stillInTick);
  EXPECT_TRUE(outerEndCloses);
}

TEST(TickGuard, TheUpgradesOwnCloseGoesAheadInsideTheTick) {
  TTickGuard guard;
  bool mayClose = false;
  const bool endCloses = guard.Run([&] {
    guard.UpgradeCloses();
    mayClose = guard.OperatorMayClose();
  });
  EXPECT_TRUE(mayClose);
  EXPECT_FALSE(endCloses) << "closed already";
}

TEST(TickGuard, ATickThatThrowsStillEnds) {
  TTickGuard guard;
  EXPECT_THROW(guard.Run([] { throw std::runtime_error("tick"); }), std::runtime_error);
  EXPECT_FALSE(guard.InTick());
  EXPECT_TRUE(guard.OperatorMayClose());
}

}  // namespace
}  // namespace stb::layout
