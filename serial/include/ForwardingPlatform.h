// A serial seam that passes every call on to another one: the base of the
// decorators over a backend (the wire trace, a test that counts what was
// written), which then replace only the calls they watch.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "SerialPlatform.h"

namespace stb::serial {

class TForwardingPlatform : public ISerialPlatform {
 public:
  explicit TForwardingPlatform(std::shared_ptr<ISerialPlatform> inner) : inner_(std::move(inner)) {}

  std::string DeviceName(int portNumber) const override { return inner_->DeviceName(portNumber); }
  TOpenResult CreateFile(const std::string& name) override { return inner_->CreateFile(name); }
  void CloseHandle(THandle h) override { inner_->CloseHandle(h); }
  bool SetCommState(THandle h, const TDcb& dcb) override { return inner_->SetCommState(h, dcb); }
  bool SetupComm(THandle h, std::uint32_t in, std::uint32_t out) override {
    return inner_->SetupComm(h, in, out);
  }
  bool SetCommTimeouts(THandle h, const TCommTimeouts& t) override { return inner_->SetCommTimeouts(h, t); }
  bool PurgeComm(THandle h, std::uint32_t flags) override { return inner_->PurgeComm(h, flags); }
  bool ClearCommError(THandle h, TComStat& stat) override { return inner_->ClearCommError(h, stat); }
  bool GetCommModemStatus(THandle h, std::uint32_t& s) override { return inner_->GetCommModemStatus(h, s); }
  TIoResult ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) override {
    return inner_->ReadFile(h, buffer, count);
  }
  TIoResult WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) override {
    return inner_->WriteFile(h, data, count);
  }
  // ReadWaiting is left to the base's way, through this seam's own
  // ClearCommError and ReadFile: a decorator that watches ReadFile then sees
  // every byte read.
  bool OutputQueued(THandle h, std::uint32_t& queued) override { return inner_->OutputQueued(h, queued); }
  TWaitResult WaitFor(THandle h, TWaitFor what, std::uint32_t ms) override {
    return inner_->WaitFor(h, what, ms);
  }
  bool GetVersionEx(TOsVersionInfo& info) override { return inner_->GetVersionEx(info); }

 protected:
  ISerialPlatform& Inner() { return *inner_; }

 private:
  std::shared_ptr<ISerialPlatform> inner_;
};

}  // namespace stb::serial
