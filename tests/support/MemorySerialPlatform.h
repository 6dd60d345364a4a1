// A serial line in memory, for fuzzing the upgrade without a device and for
// what a pseudo-terminal cannot show (modem lines): the box's bytes are a
// fixed script, what the tool sends is kept, and time is virtual — a wait for
// input that will never come moves the clock on at once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "SerialPlatform.h"
#include "TickCount.h"

namespace stb::testing {

class TMemorySerialPlatform : public serial::ISerialPlatform {
 public:
  explicit TMemorySerialPlatform(std::string fromBox) : fromBox_(std::move(fromBox)) {}

  serial::TTickSource Clock() {
    return [this] { return now_; };
  }
  std::uint64_t ElapsedMs() const { return elapsed_; }
  const std::string& FromTool() const { return fromTool_; }
  // The line as an adapter that can be pulled out: while not Present it
  // cannot be opened and every transfer finds it gone. With LostWhenDrained
  // it goes away once the tool waits for more than the box's script holds,
  // as a box whose cable is pulled after its last byte.
  bool Present = true;
  bool LostWhenDrained = false;
  // The modem input lines as the system reports them (MS_* bits). Until this
  // is called the query fails, as on a line that has no such lines.
  void SetModemStatus(std::uint32_t bits, bool queryWorks = true) {
    modem_ = bits;
    modemQueryWorks_ = queryWorks;
  }

  std::string DeviceName(int n) const override { return "mem" + std::to_string(n); }
  serial::TOpenResult CreateFile(const std::string&) override {
    if (!Present) return {serial::kNoHandle, serial::TOpenFailure::NotFound, 2};
    return {1, serial::TOpenFailure::None, 0};
  }
  void CloseHandle(serial::THandle) override {}
  bool SetCommState(serial::THandle, const serial::TDcb&) override { return true; }
  bool SetupComm(serial::THandle, std::uint32_t, std::uint32_t) override { return true; }
  bool SetCommTimeouts(serial::THandle, const serial::TCommTimeouts&) override { return true; }
  bool PurgeComm(serial::THandle, std::uint32_t) override { return true; }  // the script arrives later
  bool ClearCommError(serial::THandle, serial::TComStat& stat) override {
    stat.cbInQue = static_cast<std::uint32_t>(fromBox_.size() - read_);
    stat.cbOutQue = 0;
    return true;
  }
  bool GetCommModemStatus(serial::THandle, std::uint32_t& s) override {
    s = modem_;  // a query that fails may leave anything behind
    return modemQueryWorks_;
  }
  serial::TIoResult ReadFile(serial::THandle, std::uint8_t* buffer, std::uint32_t count) override {
    if (!Present) return {0, serial::TIoStatus::Lost};
    const std::size_t n = std::min<std::size_t>(count, fromBox_.size() - read_);
    fromBox_.copy(reinterpret_cast<char*>(buffer), n, read_);
    read_ += n;
    return {static_cast<std::uint32_t>(n), serial::TIoStatus::Ok};
  }
  serial::TIoResult WriteFile(serial::THandle, const std::uint8_t* data, std::uint32_t count) override {
    if (!Present) return {0, serial::TIoStatus::Lost};
    fromTool_.append(reinterpret_cast<const char*>(data), count);
    return {count, serial::TIoStatus::Ok};
  }
  serial::TWaitResult WaitFor(serial::THandle, serial::TWaitFor what, std::uint32_t ms) override {
    if (!Present || (what == serial::TWaitFor::Input && Gone())) return serial::TWaitResult::Lost;
    if (what == serial::TWaitFor::Input && read_ < fromBox_.size()) return serial::TWaitResult::Ready;
    now_ += ms;
    elapsed_ += ms;
    return serial::TWaitResult::TimedOut;
  }
  bool GetVersionEx(serial::TOsVersionInfo& info) override {
    info.dwPlatformId = 2;
    info.dwMajorVersion = 10;
    return true;
  }

 private:
  bool Gone() const { return !Present || (LostWhenDrained && read_ >= fromBox_.size()); }

  std::string fromBox_;
  std::size_t read_ = 0;
  std::string fromTool_;
  std::uint32_t now_ = 0xFFFF0000u;  // close to the wrap, so every run crosses it
  std::uint64_t elapsed_ = 0;
  std::uint32_t modem_ = 0;
  bool modemQueryWorks_ = false;
};

}  // namespace stb::testing
