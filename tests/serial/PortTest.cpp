// Opening, configuring and closing a real pseudo-terminal, and the property
// setters' rules.
#include <gtest/gtest.h>
#include <termios.h>

#include "MemorySerialPlatform.h"
#include "PtyPair.h"
#include "SerialLink.h"
#include "Termios2.h"

namespace stb::serial {
namespace {

using stb::testing::TPtyPair;

struct TLinkOnPty {
  TPtyPair pty;
  TManualTicker* ticker;
  TSerialLink link;

  TLinkOnPty() : TLinkOnPty(std::make_unique<TManualTicker>()) {}
  explicit TLinkOnPty(std::unique_ptr<TManualTicker> t)
      : ticker(t.get()), link(TSerialLinkSeams{nullptr, std::move(t), nullptr}) {
    link.SetDevicePath(pty.DevicePath());
  }
  termios Applied() const {
    termios t{};
    tcgetattr(pty.Device(), &t);
    return t;
  }
};

TEST(SerialPort, StartsClosedWithTheDocumentedProperties) {
  TSerialLink link;
  EXPECT_FALSE(link.IsPortOpen());
  EXPECT_EQ(link.ComPort(), pnCOM2);
  EXPECT_EQ(link.ComPortSpeed(), br115200);
  EXPECT_EQ(link.ComPortDataBits(), db8BITS);
  EXPECT_EQ(link.ComPortStopBits(), sb1BITS);
  EXPECT_EQ(link.ComPortParity(), ptNONE);
  EXPECT_EQ(link.ComPortHwHandshaking(), hhNONERTSON);
  EXPECT_EQ(link.ComPortSwHandshaking(), shNONE);
  EXPECT_EQ(link.ComPortInBufSize(), 2048);
  EXPECT_EQ(link.ComPortOutBufSize(), 2048);
  EXPECT_EQ(link.PacketSize(), -1);
  EXPECT_EQ(link.PacketTimeout(), -1);
  EXPECT_EQ(link.PacketMode(), pmDiscard);
  EXPECT_EQ(link.ComPortPollingDelay(), 50);
  EXPECT_TRUE(link.EnableDTROnOpen());
  EXPECT_EQ(link.OutputTimeout(), 500);
  EXPECT_EQ(link.InputTimeout(), 200u);
  EXPECT_FALSE(link.CheckLineStatus());
  EXPECT_FALSE(link.OnReceiveData());
  EXPECT_FALSE(link.OnReceivePacket());
  EXPECT_EQ(link.InputBufferSize(), 2048u);
  EXPECT_EQ(link.PacketStartTick(), TSerialLink::kNoTick);
  EXPECT_EQ(link.PollSuspendCount(), 0);
}

TEST(SerialPort, DeviceNamesFollowThePortNumber) {
  TSerialLink link;
  link.SetComPort(pnCOM1);
  EXPECT_EQ(link.PortDeviceName(), "/dev/ttyS0");
  link.SetComPort(pnCOM10);
  EXPECT_EQ(link.PortDeviceName(), "/dev/ttyS9");
  link.SetDevicePath("/dev/ttyUSB0");
  EXPECT_EQ(link.PortDeviceName(), "/dev/ttyUSB0");
}

TEST(SerialPort, ClosedComponentIsAQuietNoOp) {
  TSerialLink link;
  EXPECT_EQ(link.InputCount(), 65535);
  EXPECT_EQ(link.OutputFreeSpace(), 65535);
  EXPECT_EQ(link.GetLineStatus(), 0);
  EXPECT_FALSE(link.WriteByte(0x1F));
  EXPECT_TRUE(link.WriteString(""));
  EXPECT_FALSE(link.WriteString("BOOTL"));
  std::uint8_t b = 0x5A;
  EXPECT_FALSE(link.ReadByte(b));
  EXPECT_EQ(b, 0x5A);
  EXPECT_EQ(link.PollSuspendCount(), 0);  // a read on a closed port never suspends
}

TEST(SerialPort, MissingDeviceOrNonSerialFileIsRefused) {
  TSerialLink link;
  link.SetDevicePath("/dev/does-not-exist-stb");
  EXPECT_FALSE(link.OpenPort());
  EXPECT_FALSE(link.IsPortOpen());
  EXPECT_EQ(link.LastOpenResult().Failure, TOpenFailure::NotFound);
  link.SetDevicePath("/dev/null");
  EXPECT_FALSE(link.OpenPort());
  EXPECT_EQ(link.LastOpenResult().Failure, TOpenFailure::NotSerial);
}

TEST(SerialPort, OpensRawEightBitLineAndStartsPolling) {
  TLinkOnPty t;
  ASSERT_TRUE(t.link.OpenPort());
  EXPECT_TRUE(t.link.IsPortOpen());
  EXPECT_TRUE(t.ticker->Running());
  EXPECT_EQ(t.ticker->PeriodMs(), 50u);

  const termios a = t.Applied();
  EXPECT_EQ(a.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(a.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
  EXPECT_EQ(a.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(a.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(a.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | INPCK), 0u);
  EXPECT_EQ(a.c_oflag & OPOST, 0u);
  EXPECT_EQ(cfgetospeed(&a), static_cast<speed_t>(B115200));

  // Opening again changes nothing and does not restart the timer.
  EXPECT_TRUE(t.link.OpenPort());
  EXPECT_EQ(t.ticker->Starts(), 1);
}

TEST(SerialPort, EverySettingReachesTheLine) {
  TLinkOnPty t;
  ASSERT_TRUE(t.link.OpenPort());
  t.link.SetComPortDataBits(db7BITS);
  t.link.SetComPortParity(ptMARK);
  t.link.SetComPortStopBits(sb2BITS);
  t.link.SetComPortHwHandshaking(hhRTSCTS);
  t.link.SetComPortSwHandshaking(shXONXOFF);
  // A pseudo-terminal always carries 8 bits without parity (its driver
  // overrides the character size and the parity enable); the rest is kept.
  termios a = t.Applied();
  EXPECT_EQ(a.c_cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(PARODD | CMSPAR));
  EXPECT_NE(a.c_cflag & CSTOPB, 0u);
  EXPECT_NE(a.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(a.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(a.c_cc[VSTART], 0x11);
  EXPECT_EQ(a.c_cc[VSTOP], 0x13);
  EXPECT_EQ(a.c_iflag & INPCK, 0u);  // received parity is never checked

  t.link.SetComPortParity(ptSPACE);
  t.link.SetComPortStopBits(sb1HALFBITS);
  a = t.Applied();
  EXPECT_EQ(a.c_cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(CMSPAR));
  EXPECT_NE(a.c_cflag & CSTOPB, 0u);

  // The rates without a classic code go through the arbitrary-rate interface.
  for (auto [rate, bps] : {std::pair{br14400, 14400u}, {br56000, 56000u}, {br110, 110u}}) {
    t.link.SetComPortSpeed(rate);
    std::uint32_t in = 0, out = 0;
    ASSERT_TRUE(posix::ReadLineSpeed(t.pty.Device(), in, out));
    EXPECT_EQ(out, bps);
    EXPECT_EQ(in, bps);
  }
}

TEST(SerialPort, SecondOpenerIsRefusedUntilTheFirstCloses) {
  TLinkOnPty t;
  ASSERT_TRUE(t.link.OpenPort());
  TSerialLink second;
  second.SetDevicePath(t.pty.DevicePath());
  EXPECT_FALSE(second.OpenPort());
  EXPECT_EQ(second.LastOpenResult().Failure, TOpenFailure::Busy);
  EXPECT_TRUE(t.link.WriteByte(0x1F));  // the first one is unharmed
  EXPECT_EQ(t.pty.Receive(1), "\x1F");
  t.link.ClosePort();
  EXPECT_FALSE(t.ticker->Running());
  EXPECT_TRUE(second.OpenPort());
}

TEST(SerialPort, PortSettersIgnoredWhileOpenAndTakenWhenClosed) {
  TLinkOnPty t;
  t.link.SetComPort(pnCOM1);
  ASSERT_TRUE(t.link.OpenPort());
  t.link.SetComPort(pnCOM10);
  t.link.SetComPortOutBufSize(4096);
  t.link.SetComPortInBufSize(512);
  t.link.SetDevicePath("/dev/ttyS3");
  EXPECT_EQ(t.link.ComPort(), pnCOM1);
  EXPECT_EQ(t.link.ComPortOutBufSize(), 2048);
  EXPECT_EQ(t.link.ComPortInBufSize(), 2048);
  EXPECT_EQ(t.link.DevicePath(), t.pty.DevicePath());
  t.link.ClosePort();
  t.link.SetComPort(pnCOM10);
  t.link.SetComPortOutBufSize(4096);
  t.link.SetComPortInBufSize(512);
  EXPECT_EQ(t.link.ComPort(), pnCOM10);
  EXPECT_EQ(t.link.ComPortOutBufSize(), 4096);
  EXPECT_EQ(t.link.ComPortInBufSize(), 512);
  EXPECT_EQ(t.link.InputBufferSize(), 512u);
  t.link.SetComPortInBufSize(0);  // refused: polling could never read into it
  EXPECT_EQ(t.link.ComPortInBufSize(), 512);
  EXPECT_EQ(t.link.InputBufferSize(), 512u);
}

TEST(SerialPort, ReapplyingWhileOpenDropsUnreadInput) {
  TLinkOnPty t;
  ASSERT_TRUE(t.link.OpenPort());
  t.pty.Send("stale");
  ASSERT_TRUE(t.pty.WaitQueued(5));
  EXPECT_EQ(t.link.InputCount(), 5);
  t.link.SetComPortSpeed(br9600);
  EXPECT_EQ(t.link.InputCount(), 0);
  EXPECT_EQ(t.link.ComPortSpeed(), br9600);
}

TEST(SerialPort, PacketSizeAndBufferRules) {
  TSerialLink link;
  link.SetPacketSize(0);
  EXPECT_EQ(link.PacketSize(), -1);
  link.SetPacketSize(-5);
  EXPECT_EQ(link.PacketSize(), -1);
  link.SetPacketSize(2048);
  EXPECT_EQ(link.ComPortInBufSize(), 2048);
  link.SetPacketSize(3000);
  EXPECT_EQ(link.PacketSize(), 3000);
  EXPECT_EQ(link.ComPortInBufSize(), 6000);
  EXPECT_EQ(link.InputBufferSize(), 6000u);
  // A smaller input buffer re-applies the packet rule and grows again.
  link.SetComPortInBufSize(1000);
  EXPECT_EQ(link.ComPortInBufSize(), 6000);
  EXPECT_EQ(link.InputBufferSize(), 6000u);
}

TEST(SerialPort, PacketTimeoutFollowsThePollingDelay) {
  TLinkOnPty t;
  t.link.SetPacketTimeout(0);
  EXPECT_EQ(t.link.PacketTimeout(), -1);
  t.link.SetPacketTimeout(30);
  EXPECT_EQ(t.link.PacketTimeout(), 200);
  t.link.SetPacketTimeout(50);
  EXPECT_EQ(t.link.PacketTimeout(), 50);

  ASSERT_TRUE(t.link.OpenPort());
  t.link.SetPacketTimeout(200);
  t.link.SetComPortPollingDelay(300);
  EXPECT_EQ(t.link.PacketTimeout(), 450);
  EXPECT_EQ(t.ticker->PeriodMs(), 300u);
  EXPECT_EQ(t.ticker->Starts(), 2);
  t.link.SetComPortPollingDelay(300);  // same value: nothing happens
  EXPECT_EQ(t.ticker->Starts(), 2);
  t.link.SetPacketTimeout(-1);
  t.link.SetComPortPollingDelay(40);
  EXPECT_EQ(t.link.PacketTimeout(), -1);
}

TEST(SerialPort, StatusQueriesOnALineWithoutModemSignals) {
  TLinkOnPty t;
  ASSERT_TRUE(t.link.OpenPort());
  EXPECT_EQ(t.link.GetLineStatus(), 0);  // a pseudo-terminal has no modem lines
  EXPECT_EQ(t.link.OutputFreeSpace(), 2048);
  t.pty.Send("abc");
  ASSERT_TRUE(t.pty.WaitQueued(3));
  EXPECT_EQ(t.link.InputCount(), 3);
  t.link.PurgeBuffers(false, true);  // output only: input stays
  EXPECT_EQ(t.link.InputCount(), 3);
  t.link.PurgeBuffers(true, false);
  EXPECT_EQ(t.link.InputCount(), 0);
}

TEST(SerialPort, LineStatusTakesEachModemLineAndNothingElse) {
  auto line = std::make_shared<stb::testing::TMemorySerialPlatform>("");
  TSerialLink link(TSerialLinkSeams{line, nullptr, line->Clock()});
  ASSERT_TRUE(link.OpenPort());
  struct TCase {
    std::uint32_t modem;
    TComPortLineStatus status;
  };
  const TCase cases[] = {
      {0, 0},
      {MS_CTS_ON, lsCTS},
      {MS_DSR_ON, lsDSR},
      {MS_RING_ON, lsRING},
      {MS_RLSD_ON, lsRLSD},
      {MS_DSR_ON | MS_RLSD_ON, lsDSR | lsRLSD},
      {MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON, lsCTS | lsDSR | lsRING | lsRLSD},
      {~0xF0u, 0},  // bits that stand for no line
      {0x0F, 0},    // the members' own values are no modem bits
  };
  for (const auto& c : cases) {
    line->SetModemStatus(c.modem);
    EXPECT_EQ(link.GetLineStatus(), c.status) << std::hex << c.modem;
  }
  // A query that fails gives the empty set, whatever it left behind.
  line->SetModemStatus(0xF0, false);
  EXPECT_EQ(link.GetLineStatus(), 0);

  // Under the line check a write goes out while any one line is up, and
  // nothing goes out once all are down.
  link.SetCheckLineStatus(true);
  line->SetModemStatus(MS_RING_ON);
  EXPECT_TRUE(link.WriteByte(0x1F));
  line->SetModemStatus(0);
  EXPECT_FALSE(link.WriteByte(0x2F));
  EXPECT_EQ(line->FromTool(), "\x1F");
}

}  // namespace
}  // namespace stb::serial
