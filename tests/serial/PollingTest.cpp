// The poll procedure: input arriving while no read is in progress, in stream
// and packet mode, driven by a hand-ticked timer and a hand-set tick counter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LineUnderTest.h"
#include "SerialLink.h"

namespace stb::serial {
namespace {

struct TPolledLink {
  std::uint32_t now = 5000;
  TLineUnderTest line{[this] { return now; }};
  TManualTicker* ticker = line.ticker;
  TSerialLink& link = line.link;
  std::vector<std::string> delivered;

  void Open() {
    if (!line.Open()) ADD_FAILURE() << "cannot open " << line.far->NearEnd();
  }
  void Arrive(const std::string& bytes) { line.Arrive(bytes); }
  auto Recorder() {
    return [this](TSerialLink* sender, const std::uint8_t* data, std::uint32_t size) {
      EXPECT_EQ(sender, &link);
      delivered.emplace_back(reinterpret_cast<const char*>(data), size);
    };
  }
};

TEST(SerialPolling, StreamModeWithoutCallbackDropsWhatArrives) {
  TPolledLink t;
  t.Open();
  t.Arrive("noise");
  EXPECT_TRUE(t.ticker->Tick());
  EXPECT_EQ(t.link.InputCount(), 0);
  t.Arrive("X");
  std::uint8_t b = 0;
  EXPECT_TRUE(t.link.ReadByte(b));  // a later read never sees the dropped bytes
  EXPECT_EQ(b, 'X');
}

TEST(SerialPolling, StreamModeDeliversAtMostABufferfulPerPoll) {
  TPolledLink t;
  t.link.SetComPortInBufSize(16);
  t.link.SetOnReceiveData(t.Recorder());
  t.Open();
  t.Arrive(std::string(40, 'd'));
  t.ticker->Tick();
  t.ticker->Tick();
  t.ticker->Tick();
  t.ticker->Tick();  // nothing left: no call
  ASSERT_EQ(t.delivered.size(), 3u);
  EXPECT_EQ(t.delivered[0].size(), 16u);
  EXPECT_EQ(t.delivered[1].size(), 16u);
  EXPECT_EQ(t.delivered[2].size(), 8u);
}

TEST(SerialPolling, SuspensionsNestAndLoseTheirTicks) {
  TPolledLink t;
  t.link.SetOnReceiveData(t.Recorder());
  t.Open();
  t.link.SuspendPolling();
  t.link.SuspendPolling();
  t.link.ResumePolling();
  t.Arrive("wait");
  t.ticker->Tick();
  EXPECT_TRUE(t.delivered.empty());
  EXPECT_EQ(t.link.InputCount(), 4);  // the bytes stay for a read or a later tick
  t.link.ResumePolling();
  t.ticker->Tick();
  ASSERT_EQ(t.delivered.size(), 1u);
  EXPECT_EQ(t.delivered[0], "wait");
  // A resume without a suspension drives the count below zero; polling goes on.
  t.link.ResumePolling();
  EXPECT_EQ(t.link.PollSuspendCount(), -1);
  t.Arrive("more");
  t.ticker->Tick();
  EXPECT_EQ(t.delivered.size(), 2u);
}

TEST(SerialPolling, ClosedPortIsNeverPolled) {
  TPolledLink t;
  TMessage tick{WM_TIMER, 1, 0, 77};
  t.link.PollTimerProc(tick);  // closed: handed to the default handling
  EXPECT_EQ(tick.Result, 0);
  EXPECT_FALSE(t.ticker->Tick());  // and the timer does not run
  t.Open();
  TMessage other{0x0010, 0, 0, 77};
  t.link.PollTimerProc(other);
  EXPECT_EQ(other.Result, 0);
}

TEST(SerialPolling, WholePacketsThenAnIncompleteOneFlushedByItsTimeout) {
  for (TPacketMode mode : {pmPass, pmDiscard}) {
    TPolledLink t;
    t.link.SetPacketSize(10);
    t.link.SetPacketTimeout(200);
    t.link.SetPacketMode(mode);
    t.link.SetOnReceivePacket(t.Recorder());
    t.Open();
    t.Arrive("0123456789abcdefghijVWXYZ");
    t.ticker->Tick();
    ASSERT_EQ(t.delivered.size(), 2u);
    EXPECT_EQ(t.delivered[0], "0123456789");
    EXPECT_EQ(t.delivered[1], "abcdefghij");
    EXPECT_EQ(t.link.PacketStartTick(), TSerialLink::kNoTick);  // none was recorded yet

    t.ticker->Tick();  // the 5 left: their start is recorded
    EXPECT_EQ(t.link.PacketStartTick(), 5000u);
    t.now += 200;
    t.ticker->Tick();  // not strictly more than the time-out yet
    EXPECT_EQ(t.delivered.size(), 2u);
    t.now += 1;
    t.ticker->Tick();
    if (mode == pmPass) {
      ASSERT_EQ(t.delivered.size(), 3u);
      EXPECT_EQ(t.delivered[2], "VWXYZ");
    } else {
      EXPECT_EQ(t.delivered.size(), 2u);
    }
    EXPECT_EQ(t.link.InputCount(), 0);
    EXPECT_EQ(t.link.PacketStartTick(), TSerialLink::kNoTick);
  }
}

TEST(SerialPolling, PacketStartMovesOnByOnePacketTimePerPacketTaken) {
  TPolledLink t;
  t.link.SetComPortSpeed(br9600);  // 10 bytes take 10 ms + 0.4 -> 10 ms
  t.link.SetPacketSize(10);
  t.link.SetOnReceivePacket(t.Recorder());
  t.Open();
  t.Arrive("abc");
  t.ticker->Tick();
  EXPECT_EQ(t.link.PacketStartTick(), 5000u);
  t.Arrive("defghijklmnopqrstuv");  // 22 waiting: two packets and 2 left
  t.now = 5100;
  t.ticker->Tick();
  EXPECT_EQ(t.delivered.size(), 2u);
  EXPECT_EQ(t.link.PacketStartTick(), 5020u);
  // Exactly whole packets empty the queue and forget the start.
  t.Arrive(std::string(8, 'w'));
  t.ticker->Tick();
  EXPECT_EQ(t.delivered.size(), 3u);
  EXPECT_EQ(t.delivered[2], "uvwwwwwwww");
  EXPECT_EQ(t.link.PacketStartTick(), TSerialLink::kNoTick);
}

TEST(SerialPolling, WithoutPacketTimeoutAnIncompletePacketWaitsForEver) {
  TPolledLink t;
  t.link.SetPacketSize(10);
  t.link.SetOnReceivePacket(t.Recorder());
  t.Open();
  t.Arrive("abc");
  t.ticker->Tick();
  t.now += 1000000;
  t.ticker->Tick();
  EXPECT_TRUE(t.delivered.empty());
  EXPECT_EQ(t.link.InputCount(), 3);
  // Any purge while open forgets the start, even one that empties nothing.
  EXPECT_NE(t.link.PacketStartTick(), TSerialLink::kNoTick);
  t.link.PurgeBuffers(false, false);
  EXPECT_EQ(t.link.PacketStartTick(), TSerialLink::kNoTick);
  EXPECT_EQ(t.link.InputCount(), 3);
}

TEST(SerialPolling, CallbackMayCloseThePort) {
  TPolledLink t;
  t.link.SetPacketSize(2);
  t.link.SetOnReceivePacket([&](TSerialLink* s, const std::uint8_t*, std::uint32_t) {
    t.delivered.emplace_back("p");
    s->ClosePort();
  });
  t.Open();
  t.Arrive("abcdef");
  t.ticker->Tick();
  EXPECT_EQ(t.delivered.size(), 1u);
  EXPECT_FALSE(t.link.IsPortOpen());
}

}  // namespace
}  // namespace stb::serial
