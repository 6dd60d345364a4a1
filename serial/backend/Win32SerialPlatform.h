// The serial seam on Win32 (see Win32SerialPlatform.cpp for how each
// operation maps).
#pragma once

#include <memory>

#include "SerialPlatform.h"

namespace stb::serial {

class TWin32SerialPlatform : public ISerialPlatform {
 public:
  TWin32SerialPlatform();
  ~TWin32SerialPlatform() override;

  std::string DeviceName(int portNumber) const override;
  TOpenResult CreateFile(const std::string& name) override;
  void CloseHandle(THandle h) override;
  bool SetCommState(THandle h, const TDcb& dcb) override;
  bool SetupComm(THandle h, std::uint32_t inQueue, std::uint32_t outQueue) override;
  bool SetCommTimeouts(THandle h, const TCommTimeouts& timeouts) override;
  bool PurgeComm(THandle h, std::uint32_t flags) override;
  bool ClearCommError(THandle h, TComStat& stat) override;
  bool GetCommModemStatus(THandle h, std::uint32_t& modemStatus) override;
  TIoResult ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) override;
  TIoResult WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) override;
  TWaitResult WaitFor(THandle h, TWaitFor what, std::uint32_t ms) override;
  bool GetVersionEx(TOsVersionInfo& info) override;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace stb::serial
