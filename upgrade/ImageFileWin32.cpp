// The image file on Win32: opened for reading, shared with readers only (the
// ports of a station read it at once), so nobody writes it meanwhile.
#include <windows.h>

#include "FileByName.h"
#include "ImageFile.h"
#include "RunError.h"

namespace stb::upgrade {

namespace {
HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Why CreateFileW refused `path`. A folder comes back as "access denied",
// so it is asked after first.
TFileCause OpenCause(const std::string& path, DWORD error) {
  if (IsFolderByName(path)) return TFileCause::IsFolder;
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return TFileCause::Missing;
    case ERROR_ACCESS_DENIED: return TFileCause::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return TFileCause::Locked;
    default: return TFileCause::Unreadable;
  }
}
}  // namespace

TImageStream::TImageStream(const std::string& path) {
  // The system would take the name only up to the NUL: another file.
  if (path.find('\0') != std::string::npos) {
    throw ERunError("Cannot open file " + path + ": the name holds a NUL byte");
  }
  HANDLE h = CreateFileW(WideFileName(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    throw ImageOpenError(path, OpenCause(path, error), 0);
  }
  // Only a plain file on a disk will do: no pipes, no devices.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    throw ImageOpenError(path, TFileCause::NotPlain, 0);
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
