// The presence probe on an in-memory line: what it sends, and when it
// decides the box has gone.
#include "PresenceProbe.h"

#include <gtest/gtest.h>

#include "MemorySerialPlatform.h"
#include "Protocol.h"
#include "SerialLink.h"

namespace stb::upgrade {
namespace {

using stb::testing::TMemorySerialPlatform;

struct TProbed {
  explicit TProbed(std::string fromBox)
      : line(std::make_shared<TMemorySerialPlatform>(std::move(fromBox))),
        link(serial::TSerialLinkSeams{line, nullptr, line->Clock()}) {
    link.OpenPort();
  }
  std::shared_ptr<TMemorySerialPlatform> line;
  serial::TSerialLink link;
  TPresenceProbe probe{link, 3};
};

TEST(PresenceProbe, AnsweredKeepsTheBoxAndEachQuestionIsAWaitingTicksAnnounce) {
  TProbed p("A");
  EXPECT_EQ(p.probe.Probe(), TPresence::Answered);
  EXPECT_FALSE(p.probe.Gone());
  // The wake-up byte and mode 3's announce word, as a tick sends them.
  EXPECT_EQ(p.line->FromTool(),
            "\x1F"
            "APPL1");
  EXPECT_EQ(p.line->ElapsedMs(), 0u);
  // Quiet seconds count from the last answer.
  EXPECT_EQ(p.probe.Probe(), TPresence::Quiet);
  EXPECT_EQ(p.probe.Probe(), TPresence::Quiet);
  EXPECT_FALSE(p.probe.Gone());
  EXPECT_EQ(p.probe.Probe(), TPresence::Quiet);
  EXPECT_TRUE(p.probe.Gone());
}

TEST(PresenceProbe, ThreeQuietSecondsInARowMeanTheBoxHasGone) {
  TProbed p("");
  EXPECT_EQ(p.probe.Probe(), TPresence::Quiet);
  EXPECT_EQ(p.probe.Probe(), TPresence::Quiet);
  EXPECT_FALSE(p.probe.Gone());
  EXPECT_EQ(p.probe.Probe(), TPresence::Quiet);
  EXPECT_TRUE(p.probe.Gone());
  EXPECT_EQ(p.line->FromTool(),
            "\x1F"
            "APPL1"
            "\x1F"
            "APPL1"
            "\x1F"
            "APPL1");
  // Each question listens as long as a tick listens for the acknowledgement.
  EXPECT_GE(p.line->ElapsedMs(), 3 * protocol::kAcknowledgeWaitMs);
  EXPECT_LT(p.line->ElapsedMs(), 3 * protocol::kAcknowledgeWaitMs + 50);
  EXPECT_EQ(p.link.InputTimeout(), 200u);  // the link's own is given back
}

TEST(PresenceProbe, APortThatGoesAndComesBackMeansTheBoxHasGone) {
  TProbed p("");
  p.line->Present = false;
  EXPECT_EQ(p.probe.Probe(), TPresence::PortGone);  // found gone while asking
  EXPECT_FALSE(p.link.IsPortOpen());
  EXPECT_EQ(p.probe.Probe(), TPresence::PortGone);  // cannot be opened again yet
  EXPECT_FALSE(p.probe.Gone());
  p.line->Present = true;
  EXPECT_EQ(p.probe.Probe(), TPresence::PortBack);
  EXPECT_TRUE(p.probe.Gone());
  EXPECT_TRUE(p.link.IsPortOpen());
}

}  // namespace
}  // namespace stb::upgrade
