// Opening, configuring and closing a real line, and the property setters'
// rules.
#include <gtest/gtest.h>

#include "DriverLine.h"
#include "ForwardingPlatform.h"
#include "HostPorts.h"
#include "LineUnderTest.h"
#include "MemorySerialPlatform.h"
#include "SerialLink.h"

namespace stb::serial {
namespace {

using stb::testing::TDriverLine;

// The host's device names: the first and the tenth port, a port that is not
// there, and a device that is no serial port.
#ifdef _WIN32
constexpr const char* kCom1 = "\\\\.\\COM1";
constexpr const char* kCom10 = "\\\\.\\COM10";
constexpr const char* kMissing = "\\\\.\\COM16";
constexpr const char* kNotSerial = "\\\\.\\NUL";
#else
constexpr const char* kCom1 = "/dev/ttyS0";
constexpr const char* kCom10 = "/dev/ttyS9";
constexpr const char* kMissing = "/dev/does-not-exist-stb";
constexpr const char* kNotSerial = "/dev/null";
#endif

TDriverLine Driver(const TSerialLink& link) {
  TDriverLine line;
  if (!stb::testing::ReadDriverLine(link.PortHandle(), line))
    ADD_FAILURE() << "the driver does not tell its line";
  return line;
}

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
  EXPECT_EQ(link.PortDeviceName(), kCom1);
  link.SetComPort(pnCOM10);
  EXPECT_EQ(link.PortDeviceName(), kCom10);
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
  link.SetDevicePath(kMissing);
  EXPECT_FALSE(link.OpenPort());
  EXPECT_FALSE(link.IsPortOpen());
  EXPECT_EQ(link.LastOpenResult().Failure, TOpenFailure::NotFound);
  link.SetDevicePath(kNotSerial);
  EXPECT_FALSE(link.OpenPort());
  EXPECT_EQ(link.LastOpenResult().Failure, TOpenFailure::NotSerial);
}

TEST(SerialPort, OpensRawEightBitLineAndStartsPolling) {
  TLineUnderTest t;
  ASSERT_TRUE(t.Open());
  EXPECT_TRUE(t.link.IsPortOpen());
  EXPECT_TRUE(t.ticker->Running());
  EXPECT_EQ(t.ticker->PeriodMs(), 50u);

  TDriverLine d = Driver(t.link);
  EXPECT_EQ(d.Interfering, "");
  EXPECT_EQ(d.DataBits, 8);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 0);
  EXPECT_FALSE(d.RtsCts);
  EXPECT_FALSE(d.XonXoffOut);
  EXPECT_FALSE(d.XonXoffIn);
  EXPECT_FALSE(d.ParityChecked);
  EXPECT_EQ(d.OutBps, 115200u);
  EXPECT_EQ(d.InBps, 115200u);
  EXPECT_FALSE(d.ArbitraryRate);
  // A classic rate set while open reaches the driver by its code.
  t.link.SetComPortSpeed(br57600);
  d = Driver(t.link);
  EXPECT_EQ(d.OutBps, 57600u);
  EXPECT_FALSE(d.ArbitraryRate);

  // Opening again changes nothing and does not restart the timer.
  EXPECT_TRUE(t.link.OpenPort());
  EXPECT_EQ(t.ticker->Starts(), 1);
}

TEST(SerialPort, FramingAndFlowControlReachTheLine) {
  TLineUnderTest t;
  ASSERT_TRUE(t.Open());
  t.link.SetComPortDataBits(db7BITS);
  t.link.SetComPortParity(ptMARK);
  t.link.SetComPortStopBits(sb2BITS);
  t.link.SetComPortHwHandshaking(hhRTSCTS);
  t.link.SetComPortSwHandshaking(shXONXOFF);
  TDriverLine d = Driver(t.link);
  EXPECT_EQ(d.StopBits, 2);
  EXPECT_EQ(d.XonChar, 0x11);
  EXPECT_EQ(d.XoffChar, 0x13);
  EXPECT_FALSE(d.ParityChecked);  // received parity is never checked
  t.link.SetComPortStopBits(sb1HALFBITS);
  EXPECT_EQ(Driver(t.link).StopBits, 2);  // the nearest a driver without 1.5 has

  if (const char* gap = t.far->Gaps().ParityAndFlow) GTEST_SKIP() << gap;
  // A pseudo-terminal always carries 8 bits and drops the parity enable (its
  // driver overrides both); the rest is kept.
  d = Driver(t.link);
  EXPECT_EQ(d.Parity, 3);
  EXPECT_TRUE(d.RtsCts);
  EXPECT_TRUE(d.XonXoffOut);
  EXPECT_TRUE(d.XonXoffIn);
  t.link.SetComPortParity(ptSPACE);
  EXPECT_EQ(Driver(t.link).Parity, 4);
}

TEST(SerialPort, RatesWithoutAClassicCodeReachTheLine) {
  TLineUnderTest t;
  ASSERT_TRUE(t.Open());
  if (const char* gap = t.far->Gaps().ArbitraryRates) GTEST_SKIP() << gap;
  for (auto [rate, bps] : {std::pair{br14400, 14400u}, {br56000, 56000u}, {br110, 110u}}) {
    t.link.SetComPortSpeed(rate);
    const TDriverLine d = Driver(t.link);
    EXPECT_EQ(d.OutBps, bps);
    EXPECT_EQ(d.InBps, bps);
  }
}

TEST(SerialPort, SecondOpenerIsRefusedUntilTheFirstCloses) {
  TLineUnderTest t;
  ASSERT_TRUE(t.Open());
  if (const char* gap = t.far->Gaps().SecondOpener) GTEST_SKIP() << gap;
  TSerialLink second;
  second.SetDevicePath(t.far->NearEnd());
  EXPECT_FALSE(second.OpenPort());
  EXPECT_EQ(second.LastOpenResult().Failure, TOpenFailure::Busy);
  EXPECT_TRUE(t.link.WriteByte(0x1F));  // the first one is unharmed
  EXPECT_EQ(t.far->Receive(1), "\x1F");
  t.link.ClosePort();
  EXPECT_FALSE(t.ticker->Running());
  EXPECT_TRUE(second.OpenPort());
}

TEST(SerialPort, APortLetGoFromASignalHandlerIsFreeForTheNextOpener) {
  // The host backend, except that the port is let go by the signal-handler
  // release alone: the component's own close must not close it once more.
  class TReleasedElsewhere : public TForwardingPlatform {
   public:
    TReleasedElsewhere() : TForwardingPlatform(HostSerialPlatform()) {}
    void CloseHandle(THandle) override {}
  };
  auto far = stb::testing::OpenFarEnd();
  if (const char* gap = far->Gaps().SecondOpener) GTEST_SKIP() << gap;
  TSerialLink link(TSerialLinkSeams{std::make_shared<TReleasedElsewhere>(), nullptr, nullptr});
  link.SetDevicePath(far->NearEnd());
  ASSERT_TRUE(link.OpenPort());
  TSerialLink next;
  next.SetDevicePath(far->NearEnd());
  ASSERT_FALSE(next.OpenPort());
  ReleasePortInSignal(link.PortHandle());
  EXPECT_TRUE(next.OpenPort());
}

TEST(SerialPort, PortSettersIgnoredWhileOpenAndTakenWhenClosed) {
  TLineUnderTest t;
  t.link.SetComPort(pnCOM1);
  ASSERT_TRUE(t.Open());
  t.link.SetComPort(pnCOM10);
  t.link.SetComPortOutBufSize(4096);
  t.link.SetComPortInBufSize(512);
  t.link.SetDevicePath("/dev/ttyS3");
  EXPECT_EQ(t.link.ComPort(), pnCOM1);
  EXPECT_EQ(t.link.ComPortOutBufSize(), 2048);
  EXPECT_EQ(t.link.ComPortInBufSize(), 2048);
  EXPECT_EQ(t.link.DevicePath(), t.far->NearEnd());
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
  TLineUnderTest t;
  ASSERT_TRUE(t.Open());
  t.Arrive("stale");
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
  TLineUnderTest t;
  t.link.SetPacketTimeout(0);
  EXPECT_EQ(t.link.PacketTimeout(), -1);
  t.link.SetPacketTimeout(30);
  EXPECT_EQ(t.link.PacketTimeout(), 200);
  t.link.SetPacketTimeout(50);
  EXPECT_EQ(t.link.PacketTimeout(), 50);

  ASSERT_TRUE(t.Open());
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
  TLineUnderTest t;
  ASSERT_TRUE(t.Open());
  EXPECT_EQ(t.link.GetLineStatus(), 0);  // a pseudo-terminal has no modem lines
  EXPECT_EQ(t.link.OutputFreeSpace(), 2048);
  t.Arrive("abc");
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
