// Linux: opening a port asks the driver for low latency, so that a USB
// adapter hands on each answer of the box at once rather than after its
// latency timer; closing it leaves the driver as the tool found it. The backend's driver requests go through
// a seam; the serial-info ones are answered here as a UART's driver would, the rest reach the pseudo-terminal
// under the test.
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "PosixSerialPlatform.h"
#include "PtyPair.h"
#include "SerialLink.h"

namespace stb::serial {
namespace {

struct TUartDriver {
  enum { Answers, HasNoSerialInfo, RefusesChanges, PseudoTerminal } Kind = Answers;
  serial_struct Info{};  // what the driver holds
  std::vector<unsigned long> Requests;

  int Ioctl(int fd, unsigned long request, void* arg) {
    Requests.push_back(request);
    const bool serialInfo = request == TIOCGSERIAL || request == TIOCSSERIAL;
    if (!serialInfo || Kind == PseudoTerminal) return ::ioctl(fd, request, arg);
    if (Kind == HasNoSerialInfo || (request == TIOCSSERIAL && Kind == RefusesChanges)) {
      errno = Kind == HasNoSerialInfo ? ENOTTY : EPERM;
      return -1;
    }
    if (request == TIOCGSERIAL) {
      *static_cast<serial_struct*>(arg) = Info;
    } else {
      Info = *static_cast<const serial_struct*>(arg);
    }
    return 0;
  }
  long Asked(unsigned long request) const { return std::count(Requests.begin(), Requests.end(), request); }
};

struct TLinkOnUart {
  testing::TPtyPair pty;
  TUartDriver driver;
  TSerialLink link{TSerialLinkSeams{
      std::make_shared<TPosixSerialPlatform>(
          [this](int fd, unsigned long request, void* arg) { return driver.Ioctl(fd, request, arg); }),
      nullptr, nullptr}};

  TLinkOnUart() { link.SetDevicePath(pty.DevicePath()); }
  // The line carries bytes both ways.
  void ExpectAWorkingLine() {
    EXPECT_TRUE(link.WriteByte(0x1F));
    EXPECT_EQ(pty.Receive(1), "\x1F");
    pty.Send("K");
    char c = 0;
    EXPECT_TRUE(link.ReadChar(c));
    EXPECT_EQ(c, 'K');
  }
};

TEST(LowLatency, AskedForOnceWhenThePortOpensKeepingTheDriversOtherSettings) {
  TLinkOnUart t;
  t.driver.Info.type = PORT_16550A;
  t.driver.Info.flags = ASYNC_SKIP_TEST | ASYNC_SPD_HI;
  t.driver.Info.baud_base = 921600;
  t.driver.Info.xmit_fifo_size = 16;
  ASSERT_TRUE(t.link.OpenPort());
  EXPECT_EQ(t.driver.Info.flags, ASYNC_SKIP_TEST | ASYNC_SPD_HI | ASYNC_LOW_LATENCY);
  EXPECT_EQ(t.driver.Info.type, PORT_16550A);
  EXPECT_EQ(t.driver.Info.baud_base, 921600);
  EXPECT_EQ(t.driver.Info.xmit_fifo_size, 16);
  EXPECT_EQ(t.driver.Asked(TIOCSSERIAL), 1);

  // Settings applied while open leave it alone.
  t.link.SetComPortSpeed(br9600);
  t.link.PurgeBuffers(true, true);
  EXPECT_EQ(t.driver.Asked(TIOCSSERIAL), 1);
  t.ExpectAWorkingLine();
}

TEST(LowLatency, QuietlyLeftAsItIsWhereTheDriverHasItOrRefusesIt) {
  struct TCase {
    decltype(TUartDriver::Kind) kind;
    int flags;
    long changes;  // TIOCSSERIAL requests made
    const char* what;
  } cases[] = {
      {TUartDriver::Answers, ASYNC_LOW_LATENCY, 0, "already low latency"},
      {TUartDriver::HasNoSerialInfo, 0, 0, "no serial info"},
      {TUartDriver::RefusesChanges, 0, 1, "changes refused"},
      {TUartDriver::PseudoTerminal, 0, 0, "a pseudo-terminal's own answer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TLinkOnUart t;
    t.driver.Kind = c.kind;
    t.driver.Info.flags = c.flags;
    ASSERT_TRUE(t.link.OpenPort());
    EXPECT_EQ(t.driver.Asked(TIOCGSERIAL), 1);
    EXPECT_EQ(t.driver.Asked(TIOCSSERIAL), c.changes);
    t.ExpectAWorkingLine();
    // Closing it changes nothing the tool did not change.
    t.link.ClosePort();
    EXPECT_EQ(t.driver.Info.flags, c.flags);
    EXPECT_EQ(t.driver.Asked(TIOCSSERIAL), c.changes);
  }
}

TEST(LowLatency, PutBackWhenThePortClosesKeepingWhatOthersChangedMeanwhile) {
  TLinkOnUart t;
  t.driver.Info.type = PORT_16550A;
  t.driver.Info.flags = ASYNC_SKIP_TEST;
  t.driver.Info.baud_base = 115200;
  for (int round = 1; round <= 2; ++round) {  // the same port opened again
    SCOPED_TRACE(round);
    ASSERT_TRUE(t.link.OpenPort());
    EXPECT_EQ(t.driver.Info.flags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    t.driver.Info.baud_base = 921600;  // setserial by hand while the tool runs
    t.link.ClosePort();
    EXPECT_EQ(t.driver.Info.flags, ASYNC_SKIP_TEST);
    EXPECT_EQ(t.driver.Info.baud_base, 921600);
    EXPECT_EQ(t.driver.Asked(TIOCSSERIAL), 2 * round);
    t.driver.Info.baud_base = 115200;
  }
}

}  // namespace
}  // namespace stb::serial
