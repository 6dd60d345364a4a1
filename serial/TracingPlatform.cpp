#include "TracingPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace stb::serial {

TTracingPlatform::TTracingPlatform(std::shared_ptr<ISerialPlatform> inner, std::FILE* trace)
    : TForwardingPlatform(std::move(inner)), trace_(trace) {}

TTracingPlatform::~TTracingPlatform() {
  if (trace_) std::fclose(trace_);
}

void TTracingPlatform::Note(const std::string& text) {
  const std::uint32_t ms = GetTickCount() - start_;
  std::fprintf(trace_, "%7u.%03u -- %s\n", ms / 1000, ms % 1000, text.c_str());
  Flush();
}

void TTracingPlatform::Flush() {
  if (std::fflush(trace_) == 0 && !std::ferror(trace_)) return;
  const int error = errno;
  std::clearerr(trace_);
  if (failed_) return;
  failed_ = true;
  std::fprintf(stderr, "stb-downloader: cannot write the trace: %s; the upgrade goes on\n",
               std::strerror(error));
  std::fflush(stderr);
}

void TTracingPlatform::Bytes(char direction, const std::uint8_t* data, std::uint32_t count) {
  // Sixteen bytes a line: "   12.345 > 1F 42 4F ...  |.BO|"
  const std::uint32_t ms = GetTickCount() - start_;
  for (std::uint32_t at = 0; at < count; at += 16) {
    const std::uint32_t n = std::min<std::uint32_t>(16, count - at);
    std::fprintf(trace_, "%7u.%03u %c ", ms / 1000, ms % 1000, direction);
    for (std::uint32_t i = 0; i < 16; ++i) {
      if (i < n) {
        std::fprintf(trace_, "%02X ", data[at + i]);
      } else {
        std::fputs("   ", trace_);
      }
    }
    std::fputs(" |", trace_);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t c = data[at + i];
      std::fputc(c >= 0x20 && c < 0x7F ? c : '.', trace_);
    }
    std::fputs("|\n", trace_);
  }
  Flush();
}

TOpenResult TTracingPlatform::CreateFile(const std::string& name) {
  const TOpenResult r = Inner().CreateFile(name);
  Note(r.Handle == kNoHandle ? "open " + name + " refused" : "open " + name);
  return r;
}

void TTracingPlatform::CloseHandle(THandle h) {
  Note("close");
  Inner().CloseHandle(h);
}

bool TTracingPlatform::PurgeComm(THandle h, std::uint32_t flags) {
  if (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) Note("input purged");
  return Inner().PurgeComm(h, flags);
}

TIoResult TTracingPlatform::ReadFile(THandle h, std::uint8_t* buffer, std::uint32_t count) {
  const TIoResult r = Inner().ReadFile(h, buffer, count);
  if (r.Count > 0) Bytes('<', buffer, r.Count);
  if (r.Status == TIoStatus::Lost) Note("line lost");
  return r;
}

TIoResult TTracingPlatform::WriteFile(THandle h, const std::uint8_t* data, std::uint32_t count) {
  const TIoResult r = Inner().WriteFile(h, data, count);
  if (r.Count > 0) Bytes('>', data, r.Count);
  if (r.Status == TIoStatus::Lost) Note("line lost");
  return r;
}

}  // namespace stb::serial
