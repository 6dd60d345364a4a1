// The serial tests' far end on Windows: COM2 of a null-modem cable whose COM1
// the component opens. Under Wine the cable is two pseudo-terminals joined
// by null_modem (tests/support/NullModem.cpp; tools/wine-tests.sh maps
// them). The far end uses plain Win32 calls.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>

#include "FarEnd.h"

namespace stb::testing {

namespace {

using Clock = std::chrono::steady_clock;

// Wine shows itself through an export of its ntdll that Windows lacks.
bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

class TComFarEnd : public IFarEnd {
 public:
  TComFarEnd() {
    h_ = ::CreateFileA("\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h_ == INVALID_HANDLE_VALUE) {
      ADD_FAILURE() << "COM2, the cable's far end, does not open";
      return;
    }
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
  ~TComFarEnd() override {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }

  std::string NearEnd() const override { return "\\\\.\\COM1"; }

  TLineGaps Gaps() const override {
    TLineGaps gaps;
    gaps.HangUp = "the null-modem cable holds both of its ends open; nothing at COM2 hangs up COM1";
    if (UnderWine()) {
      gaps.SecondOpener = "Wine does not refuse a second opener of a COM port";
      gaps.ParityAndFlow = "Wine reads no parity and no flow control back from a pseudo-terminal";
      gaps.ArbitraryRates = "Wine sets only the classic bit rates on a pseudo-terminal";
    }
    return gaps;
  }

  void Send(const std::string& bytes) override {
    DWORD n = 0;
    ::WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  }

  std::string Receive(std::size_t n, int timeoutMs) override {
    std::string out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n && Clock::now() < deadline) {
      char buf[512];
      DWORD got = 0;
      ::ReadFile(h_, buf, static_cast<DWORD>(std::min<std::size_t>(sizeof buf, n - out.size())), &got,
                 nullptr);
      if (got == 0) ::Sleep(1);
      out.append(buf, got);
    }
    return out;
  }

  void HangUp() override {}

  void Settle() override {
    // The cable outlives each test: bytes of an earlier one may still be on
    // their way to this end.
    ::Sleep(20);
    Receive(1 << 16, 20);
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<IFarEnd> OpenFarEnd() { return std::make_unique<TComFarEnd>(); }

}  // namespace stb::testing
