// The serial component over its Win32 backend, run under Wine. COM1 and COM2
// are the two ends of a null-modem cable (two pseudo-terminals joined by
// tools/null_modem): the component opens COM1, the test plays the far end on
// COM2 with plain Win32 calls.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "SerialLink.h"
#include "Win32SerialPlatform.h"

namespace stb::serial {
namespace {

using Clock = std::chrono::steady_clock;

// Wine shows itself through an export of its ntdll that Windows lacks.
bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

long MsSince(Clock::time_point t0) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

// The far end of the cable.
class TFarEnd {
 public:
  TFarEnd() {
    h_ = ::CreateFileA("\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h_ == INVALID_HANDLE_VALUE) return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(h_, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.fBinary = 1;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ::SetCommState(h_, &dcb);
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};  // reads return at once
    ::SetCommTimeouts(h_, &t);
    ::PurgeComm(h_, PURGE_RXCLEAR | PURGE_TXCLEAR);
  }
  ~TFarEnd() {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }
  bool Ok() const { return h_ != INVALID_HANDLE_VALUE; }
  void Send(const std::string& bytes) {
    DWORD n = 0;
    ::WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  }
  std::string Receive(std::size_t n, int timeoutMs = 2000) {
    std::string out;
    const auto t0 = Clock::now();
    while (out.size() < n && MsSince(t0) < timeoutMs) {
      char buf[512];
      DWORD got = 0;
      ::ReadFile(h_, buf, static_cast<DWORD>(std::min<std::size_t>(sizeof buf, n - out.size())), &got, nullptr);
      if (got == 0) ::Sleep(1);
      out.append(buf, got);
    }
    return out;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

struct TCable {
  TFarEnd remote;
  TSerialLink link;
  explicit TCable(TSerialLinkSeams seams = {}) : link(std::move(seams)) {
    link.SetComPort(pnCOM1);
    EXPECT_TRUE(remote.Ok()) << "COM2 (the cable's far end) is not there";
    EXPECT_TRUE(link.OpenPort()) << "COM1 does not open";
    // Whatever an earlier test left on the cable.
    ::Sleep(20);
    link.PurgeBuffers(true, true);
    remote.Receive(1 << 16, 20);
  }
};

TEST(Win32Serial, DeviceNamesAndTheVersionQuery) {
  TSerialLink link;
  link.SetComPort(pnCOM1);
  EXPECT_EQ(link.PortDeviceName(), "\\\\.\\COM1");
  link.SetComPort(pnCOM10);
  EXPECT_EQ(link.PortDeviceName(), "\\\\.\\COM10");
  EXPECT_EQ(GetOSFamily(), "WNT");
  EXPECT_GE(GetOSVersion(), 0x40000u);
}

TEST(Win32Serial, ClosedComponentIsAQuietNoOp) {
  TSerialLink link;
  EXPECT_EQ(link.InputCount(), 65535);
  EXPECT_EQ(link.OutputFreeSpace(), 65535);
  EXPECT_FALSE(link.WriteByte(0x1F));
  EXPECT_TRUE(link.WriteString(""));
  std::uint8_t b = 0x5A;
  EXPECT_FALSE(link.ReadByte(b));
  EXPECT_EQ(b, 0x5A);
}

TEST(Win32Serial, MissingPortAndSecondOpenerAreRefused) {
  TSerialLink missing;
  missing.SetComPort(pnCOM16);
  EXPECT_FALSE(missing.OpenPort());
  EXPECT_EQ(missing.LastOpenResult().Failure, TOpenFailure::NotFound);

  TCable cable;
  EXPECT_TRUE(cable.link.WriteByte(0x1F));
  EXPECT_EQ(cable.remote.Receive(1), "\x1F");
  // Wine does not hold serial devices to the share mode: there a second
  // opener gets the port too. Windows refuses it.
  if (UnderWine()) GTEST_SKIP() << "Wine does not refuse a second opener of a COM port";
  TSerialLink second;
  second.SetComPort(pnCOM1);
  EXPECT_FALSE(second.OpenPort());
  EXPECT_EQ(second.LastOpenResult().Failure, TOpenFailure::Busy);
  EXPECT_TRUE(cable.link.WriteByte(0x1F));  // the first one is unharmed
}

TEST(Win32Serial, SettingsReachTheDriver) {
  TCable cable;
  cable.link.SetComPortSpeed(br57600);
  HANDLE h = reinterpret_cast<HANDLE>(cable.link.PortHandle());
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(::GetCommState(h, &dcb));
  EXPECT_EQ(dcb.BaudRate, 57600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  EXPECT_FALSE(dcb.fOutX);
}

TEST(Win32Serial, EveryByteValueCrossesBothWays) {
  TCable cable;
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_TRUE(cable.link.WriteString(all));
  EXPECT_EQ(cable.remote.Receive(256), all);
  cable.remote.Send(all);
  std::string back(256, '\0');
  EXPECT_EQ(cable.link.ReadData(back.data(), 256), 256u);
  EXPECT_EQ(back, all);
}

TEST(Win32Serial, ReadTimesOutFromTheLastByte) {
  TCable cable;
  std::uint8_t b = 0xA5;
  auto t0 = Clock::now();
  EXPECT_FALSE(cable.link.ReadByte(b));
  EXPECT_GE(MsSince(t0), 200);
  EXPECT_LT(MsSince(t0), 2000);
  EXPECT_EQ(b, 0xA5);

  cable.remote.Send("abc");
  char buf[6] = "-----";
  t0 = Clock::now();
  EXPECT_EQ(cable.link.ReadData(buf, 5), 3u);
  EXPECT_GE(MsSince(t0), 200);
  EXPECT_STREQ(buf, "abc--");
}

TEST(Win32Serial, AByteArrivingDuringTheWaitIsTakenAtOnce) {
  TCable cable;
  std::thread later([&] {
    ::Sleep(30);
    cable.remote.Send("K");
  });
  char c = 0;
  const auto t0 = Clock::now();
  EXPECT_TRUE(cable.link.ReadChar(c));
  later.join();
  EXPECT_EQ(c, 'K');
  EXPECT_LT(MsSince(t0), 200);
}

TEST(Win32Serial, WaitsAcrossTheTickWrapLastAsLongAsAnyOther) {
  for (std::uint32_t start : {0xFFFFFFFFu - 60, 0x80000010u}) {
    TCable cable(TSerialLinkSeams{nullptr, nullptr, TickSourceStartingAt(start)});
    std::uint8_t b = 0;
    const auto t0 = Clock::now();
    EXPECT_FALSE(cable.link.ReadByte(b));
    EXPECT_GE(MsSince(t0), 200);
    EXPECT_LT(MsSince(t0), 2000);
  }
}

TEST(Win32Serial, PollingDropsOrDeliversInputThatCameOutsideARead) {
  auto ticker = std::make_unique<TManualTicker>();
  TManualTicker* tick = ticker.get();
  TCable cable(TSerialLinkSeams{nullptr, std::move(ticker), nullptr});
  std::string delivered;
  cable.remote.Send("noise");
  ::Sleep(50);
  EXPECT_TRUE(tick->Tick());  // no callback: read and dropped
  EXPECT_EQ(cable.link.InputCount(), 0);
  cable.link.SetOnReceiveData([&](TSerialLink*, const std::uint8_t* d, std::uint32_t n) {
    delivered.append(reinterpret_cast<const char*>(d), n);
  });
  cable.remote.Send("data");
  ::Sleep(50);
  tick->Tick();
  EXPECT_EQ(delivered, "data");
}

TEST(Win32Serial, WholePacketsThenAnIncompleteOneFlushedByItsTimeout) {
  auto ticker = std::make_unique<TManualTicker>();
  TManualTicker* tick = ticker.get();
  std::uint32_t now = 5000;
  TCable cable(TSerialLinkSeams{nullptr, std::move(ticker), [&now] { return now; }});
  std::vector<std::string> packets;
  cable.link.SetPacketSize(10);
  cable.link.SetPacketTimeout(200);
  cable.link.SetPacketMode(pmPass);
  cable.link.SetOnReceivePacket([&](TSerialLink*, const std::uint8_t* d, std::uint32_t n) {
    packets.emplace_back(reinterpret_cast<const char*>(d), n);
  });
  cable.remote.Send("0123456789abcdefghijVWXYZ");
  for (int i = 0; i < 100 && cable.link.InputCount() < 25; ++i) ::Sleep(5);
  tick->Tick();
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[1], "abcdefghij");
  tick->Tick();  // the 5 left: their start is recorded
  EXPECT_EQ(cable.link.PacketStartTick(), 5000u);
  now += 201;
  tick->Tick();
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(packets[2], "VWXYZ");
  EXPECT_EQ(cable.link.PacketStartTick(), TSerialLink::kNoTick);
}

TEST(Win32Serial, LineStatusCheckRefusesAtOnceWithoutModemLines) {
  TCable cable;
  cable.link.SetCheckLineStatus(true);
  if (cable.link.GetLineStatus() != 0) GTEST_SKIP() << "this cable reports modem lines";
  const auto t0 = Clock::now();
  EXPECT_FALSE(cable.link.WriteByte(0x1F));
  EXPECT_LT(MsSince(t0), 100);
}

}  // namespace
}  // namespace stb::serial
