#include "IncludeFile.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "Conversions.h"
#include "ImageFile.h"
#include "RunError.h"

namespace stb::upgrade {

namespace {

constexpr int kEndOfData = 0x1A;
// Lines are cut here; nothing in an include file comes near it, and it keeps
// a file without line ends from being held in memory whole.
constexpr std::size_t kMaxLineLength = 64 * 1024;

bool FolderExists(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Text lines as the include file defines them: a carriage return ends a line
// (a line feed right after it belongs to the line end), a line feed alone is
// a character of the line, and 0x1A or the end of the file ends the data;
// lines past the end read as empty.
class TLineReader {
 public:
  explicit TLineReader(std::FILE* f) : f_(f) {}

  std::string Next() {
    std::string line;
    while (!ended_) {
      const int c = std::getc(f_);
      if (c == EOF) {
        if (std::ferror(f_)) throw ERunError("I/O error " + std::to_string(errno));
        ended_ = true;
      } else if (c == kEndOfData) {
        ended_ = true;
      } else if (c == '\r') {
        const int next = std::getc(f_);
        if (next != '\n' && next != EOF) std::ungetc(next, f_);
        return line;
      } else if (line.size() < kMaxLineLength) {
        line.push_back(static_cast<char>(c));
      }
    }
    return line;
  }

 private:
  std::FILE* f_;
  bool ended_ = false;
};

TVersionPair ParsePair(const std::string& line) {
  TVersionPair pair;
  pair.Major = ConvertByte("0x" + Chars(line, 1, 2));
  pair.Minor = ConvertByte("0x" + Chars(line, 4, 2));
  return pair;
}

}  // namespace

std::string IncludeOpenErrorText(int systemError, bool folderExists) {
  switch (systemError) {
    case ENOENT: return folderExists ? "File not found" : "Invalid filename";
    case ENOTDIR: return "Invalid filename";
    case EACCES:
    case EPERM: return "File access denied";
    default: return "I/O error " + std::to_string(systemError);
  }
}

void ReadIncludeFile(const std::string& path, TUpgradeRecord& record, IWindowOperations& window) {
  std::string addressLine;
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw ERunError(IncludeOpenErrorText(errno, FolderExists(path)));
    TLineReader lines(file.get());

    const std::string oui = lines.Next();
    for (std::size_t i = 0; i < 3; ++i) {
      // A pair that does not convert quietly gives 0.
      const auto value = ParseInteger("$" + Chars(oui, 2 * i + 1, 2));
      record.IncOui[i] = value ? static_cast<std::uint8_t>(*value & 0xFF) : 0;
    }
    record.IncModel = ParsePair(lines.Next());
    record.IncHwVersion = ParsePair(lines.Next());
    record.IncBootVersion = ParsePair(lines.Next());
    record.IncNativeVersion = ParsePair(lines.Next());
    record.IncApp1Version = ParsePair(lines.Next());
    record.IncApp2Version = ParsePair(lines.Next());
    record.IncStartDate = Chars(lines.Next(), 1, 5);
    record.IncLabel = Chars(lines.Next(), 1, 13);
    record.ImageFileName = lines.Next();
    record.VersionSlot = ConvertByte(Chars(lines.Next(), 1, 1));

    // Written most significant byte first, held least significant first.
    addressLine = lines.Next();
    record.IncAddress[3] = ConvertByte(Chars(addressLine, 1, 4));
    record.IncAddress[2] = ConvertByte("0x" + Chars(addressLine, 5, 2));
    record.IncAddress[1] = ConvertByte("0x" + Chars(addressLine, 7, 2));
    record.IncAddress[0] = ConvertByte("0x" + Chars(addressLine, 9, 2));
  }
  window.LogLine("  The Download Address is " + Chars(addressLine, 1, 10) +
                 " in the include file(./inc/xxxx.inc).");

  const TImageMeasure image = MeasureImageFile(record.ImageFileName);
  record.ImageSize = image.ImageSize;
  record.SizeLow = image.SizeLow;
  record.SizeHigh = image.SizeHigh;
  record.BlockCount = image.BlockCount;
  record.ImageBytes = image.Bytes;
  record.ImageDigest = image.Digest;
  window.SetCounter("( 0 / " + std::to_string(record.ImageSize) + " )");
  record.IncludeFileRead = true;
}

}  // namespace stb::upgrade
