// The image file on Win32: opened for reading, shared with readers only (the
// ports of a station read it at once), so nobody writes it meanwhile.
#include <windows.h>

#include "FileByName.h"
#include "ImageFile.h"
#include "RunError.h"

namespace stb::upgrade {

namespace {
HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

TImageStream::TImageStream(const std::string& path) {
  // The system would take the name only up to the NUL: another file.
  if (path.find('\0') != std::string::npos) {
    throw ERunError("Cannot open file " + path + ": the name holds a NUL byte");
  }
  HANDLE h = CreateFileW(WideFileName(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  // Only a plain file on a disk will do: no pipes, no devices.
  if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    throw ERunError("Cannot open file " + path);
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
}

TImageStream::~TImageStream() {
  if (handle_ >= 0) CloseHandle(H(handle_));
}

std::int64_t TImageStream::Size() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(H(handle_), &size) ? static_cast<std::int64_t>(size.QuadPart) : 0;
}

void TImageStream::Rewind() {
  LARGE_INTEGER start{};
  SetFilePointerEx(H(handle_), start, nullptr, FILE_BEGIN);
}

std::size_t TImageStream::Read(std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    DWORD n = 0;
    if (!ReadFile(H(handle_), buffer + done, static_cast<DWORD>(count - done), &n, nullptr) || n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace stb::upgrade
