// A serial seam that passes every call on to another one and writes each
// byte that crosses the line to a trace file, as it happens: a millisecond
// time stamp, the direction, the bytes in hexadecimal and as text. A trace
// that cannot be written (a full disk) is said once on stderr; the line
// goes on as if nothing were traced.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "SerialPlatform.h"
#include "TickCount.h"

namespace stb::serial {

class TTracingPlatform : public ISerialPlatform {
 public:
  // Takes ownership of `trace` (an open file).
  TTracingPlatform(std::shared_ptr<ISerialPlatform> inner, std::FILE* trace);
  ~TTracingPlatform() override;

  std::string DeviceName(int portNumber) const override { return inner_->DeviceName(portNumber); }
  TOpenResult CreateFile(const std::string& name) override;
  void CloseHandle(THandle h) override;
  bool SetCommState(THandle h, const TDcb& dcb) override { return inner_->SetCommState(h, dcb); }
  bool SetupComm(THandle h, std::uint32_t in, std::uint32_t out) override { return inner_->SetupComm(h, in, out); }
  bool SetCommTimeouts(THandle h, const TCommTimeouts& t) override { return inner_->SetCommTimeouts(h, t); }
  bool PurgeComm(THandle h, std::uint32_t flags) override;
  bool ClearCommError(THandle h, TComStat& stat) override { return inner_->ClearCommError(h, stat); }
  bool GetCommModemStatus(THandle h, std::uint32_t& s) override { return inner_->GetCommModemStatus(h, s); }
  TIoResult ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) override;
  TIoResult WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) override;
  TWaitResult WaitFor(THandle h, TWaitFor what, std::uint32_t ms) override { return inner_->WaitFor(h, what, ms); }
  bool GetVersionEx(TOsVersionInfo& info) override { return inner_->GetVersionEx(info); }

 private:
  void Note(const std::string& text);
  void Bytes(char direction, const std::uint8_t* data, std::uint32_t count);
  void Flush();

  std::shared_ptr<ISerialPlatform> inner_;
  std::FILE* trace_;
  bool failed_ = false;
  std::uint32_t start_ = GetTickCount();
};

}  // namespace stb::serial
