// Timed reads and writes over a real line: time-outs measured from the last
// progress, partial transfers, the tick counter's wrap, line-status refusals
// and the far end hanging up.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "LineUnderTest.h"
#include "MemorySerialPlatform.h"
#include "SerialLink.h"

namespace stb::serial {
namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t0) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

// Acts as the far end at a chosen moment while the component is inside a
// timed operation (which never hands control back to the test).
class TLater {
 public:
  TLater(int ms, std::function<void()> action)
      : thread_([ms, action = std::move(action)] {
          std::this_thread::sleep_for(std::chrono::milliseconds(ms));
          action();
        }) {}
  ~TLater() { thread_.join(); }

 private:
  std::thread thread_;
};

struct TOpenLink : TLineUnderTest {
  explicit TOpenLink(std::uint32_t tickStart = 1000) : TLineUnderTest(TickSourceStartingAt(tickStart)) {
    if (!Open()) ADD_FAILURE() << "cannot open " << far->NearEnd();
  }
};

TEST(SerialTransfer, ReadByteTimesOutAndLeavesTheVariable) {
  TOpenLink t;
  std::uint8_t b = 0xA5;
  const auto t0 = Clock::now();
  EXPECT_FALSE(t.link.ReadByte(b));
  EXPECT_GE(MsSince(t0), 200);
  EXPECT_LT(MsSince(t0), 2000);
  EXPECT_EQ(b, 0xA5);
  EXPECT_EQ(t.link.PollSuspendCount(), 0);
}

TEST(SerialTransfer, PartialReadReturnsWhatArrivedAfterTheSilence) {
  TOpenLink t;
  t.far->Send("abc");
  char buf[6] = "-----";
  const auto t0 = Clock::now();
  EXPECT_EQ(t.link.ReadData(buf, 5), 3u);
  EXPECT_GE(MsSince(t0), 200);
  EXPECT_STREQ(buf, "abc--");  // nothing beyond the bytes read is written
}

TEST(SerialTransfer, TimeOutRunsFromTheLastByte) {
  TOpenLink t;
  char buf[3] = {};
  const auto t0 = Clock::now();
  TLater send(150, [&] { t.far->Send("x"); });
  EXPECT_EQ(t.link.ReadData(buf, 3), 1u);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_GE(MsSince(t0), 350);  // 150 ms to the byte, then more than 200 ms of silence
}

TEST(SerialTransfer, AByteArrivingDuringTheWaitIsTakenAtOnce) {
  TOpenLink t;
  char c = 0;
  const auto t0 = Clock::now();
  TLater send(20, [&] { t.far->Send("K"); });
  EXPECT_TRUE(t.link.ReadChar(c));
  EXPECT_EQ(c, 'K');
  EXPECT_LT(MsSince(t0), 200);
}

TEST(SerialTransfer, ReadSomeTakesWhatCameWithTheFirstByteAndWaitsForNoMore) {
  TOpenLink t;
  char buf[6] = "-----";
  t.Arrive("ok.");
  auto t0 = Clock::now();
  EXPECT_EQ(t.link.ReadSome(buf, 5), 3u);
  EXPECT_LT(MsSince(t0), 150);
  EXPECT_STREQ(buf, "ok.--");

  // No more than asked for; the rest stays queued.
  t.Arrive("abcd");
  EXPECT_EQ(t.link.ReadSome(buf, 2), 2u);
  EXPECT_EQ(std::string(buf, 2), "ab");
  EXPECT_EQ(t.link.InputCount(), 2);
  EXPECT_EQ(t.link.ReadData(buf, 2), 2u);

  // Nothing there: it waits for the first byte as ReadData does.
  t0 = Clock::now();
  {
    TLater send(40, [&] { t.far->Send("K"); });
    EXPECT_EQ(t.link.ReadSome(buf, 3), 1u);
  }
  EXPECT_EQ(buf[0], 'K');
  EXPECT_LT(MsSince(t0), 200);
  EXPECT_EQ(t.link.PollSuspendCount(), 0);
}

TEST(SerialTransfer, ASilentLineIsNoLostLine) {
  // A read of a raw line with nothing queued finds nothing, which is not
  // the line hanging up: every read times out and the port stays open for
  // the byte that comes later.
  TOpenLink t;
  char buf[3] = {};
  for (int round = 0; round < 2; ++round) {
    const auto t0 = Clock::now();
    EXPECT_EQ(round == 0 ? t.link.ReadSome(buf, 3) : t.link.ReadData(buf, 3), 0u);
    EXPECT_GE(MsSince(t0), 200);
    EXPECT_TRUE(t.link.IsPortOpen());
  }
  t.far->Send("z");
  EXPECT_EQ(t.link.ReadSome(buf, 3), 1u);
  EXPECT_EQ(buf[0], 'z');
}

TEST(SerialTransfer, ABackendThatMustBeAskedFirstIsNeverReadForMoreThanItHolds) {
  // Where a read of bytes not yet there waits out its call time-out (a COM
  // port's millisecond, or a timer tick), the link asks the queue first.
  class TCountedReads : public testing::TMemorySerialPlatform {
   public:
    using TMemorySerialPlatform::TMemorySerialPlatform;
    TIoResult ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) override {
      asked.push_back(count);
      return TMemorySerialPlatform::ReadFile(h, buffer, count);
    }
    std::vector<std::uint32_t> asked;
  };
  auto line = std::make_shared<TCountedReads>("ok.5");
  TSerialLink link(TSerialLinkSeams{line, nullptr, line->Clock()});
  link.SetDevicePath("mem");
  ASSERT_TRUE(link.OpenPort());
  char buf[8] = {};
  EXPECT_EQ(link.ReadSome(buf, 3), 3u);
  EXPECT_EQ(link.ReadData(buf + 3, 4), 1u);  // the digit, then the time-out
  EXPECT_EQ(std::string(buf), "ok.5");
  EXPECT_EQ(line->asked, (std::vector<std::uint32_t>{3, 1}));
  EXPECT_TRUE(link.IsPortOpen());
}

TEST(SerialTransfer, WaitsAcrossTheTickWrapLastAsLongAsAnyOther) {
  for (std::uint32_t start : {0xFFFFFFFFu - 60, 0x80000010u, 0x7FFFFFF0u}) {
    TOpenLink t(start);
    std::uint8_t b = 0;
    const auto t0 = Clock::now();
    EXPECT_FALSE(t.link.ReadByte(b)) << start;
    EXPECT_GE(MsSince(t0), 200) << start;
    EXPECT_LT(MsSince(t0), 2000) << start;
  }
}

TEST(SerialTransfer, EveryByteValueCrossesUnchanged) {
  TOpenLink t;
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_TRUE(t.link.WriteString(all));
  EXPECT_EQ(t.far->Receive(256), all);
  t.far->Send(all);
  std::string back(256, '\0');
  EXPECT_EQ(t.link.ReadData(back.data(), 256), 256u);
  EXPECT_EQ(back, all);
}

TEST(SerialTransfer, ZeroCountsMoveNothing) {
  TOpenLink t;
  EXPECT_EQ(t.link.WriteData(nullptr, 0), 0u);
  EXPECT_EQ(t.link.ReadData(nullptr, 0), 0u);
  EXPECT_TRUE(t.link.WriteString(""));
  EXPECT_EQ(t.far->Receive(1, 50), "");
}

TEST(SerialTransfer, StalledWriteEndsAfterTheOutputTimeout) {
  TOpenLink t;
  t.link.SetOutputTimeout(100);
  const std::string big(1 << 20, 'Z');  // far more than the line buffers while nobody reads
  const auto t0 = Clock::now();
  const std::uint32_t written = t.link.WriteData(big.data(), static_cast<std::uint32_t>(big.size()));
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, big.size());
  EXPECT_GE(MsSince(t0), 100);
  EXPECT_LT(MsSince(t0), 2000);
  EXPECT_EQ(t.far->Receive(written, 2000).size(), written);
}

TEST(SerialTransfer, LineStatusCheckRefusesAtOnceWithoutModemLines) {
  TOpenLink t;
  t.link.SetCheckLineStatus(true);
  const auto t0 = Clock::now();
  EXPECT_FALSE(t.link.WriteByte(0x1F));
  EXPECT_LT(MsSince(t0), 100);
  EXPECT_EQ(t.far->Receive(1, 50), "");
  t.link.SetCheckLineStatus(false);
  EXPECT_TRUE(t.link.WriteByte(0x1F));
}

TEST(SerialTransfer, HangUpInTheMiddleOfAReadEndsItAndClosesThePort) {
  TOpenLink t;
  if (const char* gap = t.far->Gaps().HangUp) GTEST_SKIP() << gap;
  t.Arrive("ab");
  char buf[5] = {};
  const auto t0 = Clock::now();
  TLater hangUp(30, [&] { t.far->HangUp(); });
  EXPECT_EQ(t.link.ReadData(buf, 5), 2u);
  EXPECT_LT(MsSince(t0), 200);  // ended by the hang-up, not by the time-out
  EXPECT_FALSE(t.link.IsPortOpen());
  EXPECT_EQ(t.link.PollSuspendCount(), 0);

  // From now on every transfer is a quiet no-op that returns at once.
  const auto t1 = Clock::now();
  std::uint8_t b = 7;
  EXPECT_FALSE(t.link.ReadByte(b));
  EXPECT_FALSE(t.link.WriteByte(0x1F));
  EXPECT_EQ(b, 7);
  EXPECT_LT(MsSince(t1), 50);
}

TEST(SerialTransfer, HangUpDuringAStalledWriteEndsIt) {
  TOpenLink t;
  if (const char* gap = t.far->Gaps().HangUp) GTEST_SKIP() << gap;
  t.link.SetOutputTimeout(5000);
  const std::string big(1 << 20, 'Z');
  const auto t0 = Clock::now();
  TLater hangUp(30, [&] { t.far->HangUp(); });
  EXPECT_LT(t.link.WriteData(big.data(), static_cast<std::uint32_t>(big.size())), big.size());
  EXPECT_LT(MsSince(t0), 2000);
  EXPECT_FALSE(t.link.IsPortOpen());
}

}  // namespace
}  // namespace stb::serial
