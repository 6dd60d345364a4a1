// A serial seam that passes every call on to another one and writes each
// byte that crosses the line to a trace file, as it happens: a millisecond
// time stamp, the direction, the bytes in hexadecimal and as text. A trace
// that cannot be written (a full disk) is said once on stderr; the line
// goes on as if nothing were traced.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "ForwardingPlatform.h"
#include "TickCount.h"

namespace stb::serial {

class TTracingPlatform : public TForwardingPlatform {
 public:
  // Takes ownership of `trace` (an open file).
  TTracingPlatform(std::shared_ptr<ISerialPlatform> inner, std::FILE* trace);
  ~TTracingPlatform() override;

  TOpenResult CreateFile(const std::string& name) override;
  void CloseHandle(THandle h) override;
  bool PurgeComm(THandle h, std::uint32_t flags) override;
  TIoResult ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) override;
  TIoResult WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) override;

 private:
  void Note(const std::string& text);
  void Bytes(char direction, const std::uint8_t* data, std::uint32_t count);
  void Flush();

  std::FILE* trace_;
  bool failed_ = false;
  std::uint32_t start_ = GetTickCount();
};

}  // namespace stb::serial
