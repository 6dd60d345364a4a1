#include "IncludeFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "Conversions.h"
#include "FileByName.h"
#include "ImageFile.h"
#include "RunError.h"

namespace stb::upgrade {

namespace {

constexpr char kEndOfData = 0x1A;
// An include file is a few hundred bytes; its twelve lines must end within
// this much of it, and no more is read.
constexpr std::size_t kMaxIncludeBytes = 64 * 1024;

#ifdef _WIN32
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
// Without waiting: a pipe under the include file's name would otherwise hold
// the open until some writer came.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
#endif

bool FolderExists(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return IsFolderByName(folder);
}

TFileProblem IncludeProblem(const std::string& path, TFileCause cause, int systemError = 0) {
  TFileProblem problem;
  problem.Role = TFileRole::IncludeFile;
  problem.Cause = cause;
  problem.Path = path;
  problem.SystemError = systemError;
  return problem;
}

ERunError IoError(const std::string& path, int systemError, TFileCause cause = TFileCause::Unreadable) {
  return ERunError("I/O error " + std::to_string(systemError), systemError,
                   IncludeProblem(path, cause, systemError));
}

TFileCause OpenCause(const std::string& path, int systemError, bool folderExists) {
  switch (systemError) {
    case ENOENT: return folderExists ? TFileCause::Missing : TFileCause::FolderMissing;
    case ENOTDIR: return TFileCause::FolderMissing;
    case EISDIR: return TFileCause::IsFolder;
    case EACCES:
    case EPERM:
      // Windows refuses to open a folder as a file with "access denied".
      return IsFolderByName(path) ? TFileCause::IsFolder : TFileCause::Denied;
    default: return TFileCause::Unreadable;
  }
}

// The include file's first bytes: as many as its lines may take, and one
// more to tell whether the file goes on past them. Only a plain file is
// read; a folder fails as reading one always has, with an I/O error.
std::string ReadStart(const std::string& path) {
  const int fd = OpenFileByName(path, kOpenFlags);
  if (fd < 0) {
    const int error = errno;
    const bool folderExists = FolderExists(path);
    const std::string text = IncludeOpenErrorText(error, folderExists);
    // Only the bare number needs the system's reason beside it.
    throw ERunError(text, text.starts_with("I/O error") ? error : 0,
                    IncludeProblem(path, OpenCause(path, error, folderExists), error));
  }
  struct TCloser {
    int fd;
    ~TCloser() { ::close(fd); }
  } closer{fd};

  struct stat st {};
  if (::fstat(fd, &st) != 0) throw IoError(path, errno);
  if (S_ISDIR(st.st_mode)) throw IoError(path, EISDIR, TFileCause::IsFolder);
  if (!S_ISREG(st.st_mode)) {
    throw ERunError("Include file " + path + " is not a plain file", 0,
                    IncludeProblem(path, TFileCause::NotPlain));
  }

  std::string bytes(kMaxIncludeBytes + 1, '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto n = ::read(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      throw IoError(path, errno);
    }
  }
  bytes.resize(done);
  return bytes;
}

// Text lines as the include file defines them: a carriage return ends a line
// (a line feed right after it belongs to the line end), a line feed alone is
// a character of the line, and 0x1A or the end of the file ends the data;
// lines past the end read as empty.
class TLineReader {
 public:
  TLineReader(const std::string& bytes, const std::string& path)
      : bytes_(bytes), path_(path), end_(std::min(bytes.size(), kMaxIncludeBytes)) {}

  // The number of the line the last Next() returned, from 1.
  int Number() const { return number_; }
  // Whether the data holds line feeds but no carriage return: what an editor
  // that ends lines the Unix way writes, which reads here as one long line.
  bool LineFeedsOnly() const {
    const auto data = std::string_view(bytes_).substr(0, end_);
    const auto stop = std::min(data.find(kEndOfData), data.size());
    const auto used = data.substr(0, stop);
    return used.find('\r') == std::string_view::npos && used.find('\n') != std::string_view::npos;
  }

  std::string Next() {
    ++number_;
    std::string line;
    while (!ended_) {
      if (pos_ == end_) {
        if (bytes_.size() > end_) {
          throw ERunError("Include file " + path_ + " is too large: its twelve lines take more than " +
                          std::to_string(kMaxIncludeBytes) + " bytes");
        }
        ended_ = true;
        break;
      }
      const char c = bytes_[pos_++];
      if (c == kEndOfData) {
        ended_ = true;
      } else if (c == '\r') {
        if (pos_ < end_ && bytes_[pos_] == '\n') ++pos_;
        return line;
      } else {
        line.push_back(c);
      }
    }
    return line;
  }

 private:
  const std::string& bytes_;
  const std::string& path_;
  const std::size_t end_;
  std::size_t pos_ = 0;
  bool ended_ = false;
  int number_ = 0;
};

TVersionPair ParsePair(const std::string& line) {
  TVersionPair pair;
  pair.Major = ConvertByte("0x" + Chars(line, 1, 2));
  pair.Minor = ConvertByte("0x" + Chars(line, 4, 2));
  return pair;
}

// The twelve lines into the record, each field stored as soon as its line is
// parsed.
void ReadLines(TLineReader& lines, TUpgradeRecord& record, std::string& addressLine) {
  {
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

void ReadIncludeFile(const std::string& path, TUpgradeRecord& record) {
  IUpgradeEvents nobody;
  ReadIncludeFile(path, record, nobody);
}

void ReadIncludeFile(const std::string& path, TUpgradeRecord& record, IUpgradeEvents& events) {
  std::string addressLine;
  {
    const std::string bytes = ReadStart(path);
    TLineReader lines(bytes, path);
    // A number that does not convert keeps its text; what is added is where
    // it stood, and why a whole file may read wrong.
    try {
      ReadLines(lines, record, addressLine);
    } catch (const ERunError& error) {
      if (error.Problem().Role != TFileRole::None) throw;
      const auto cause = lines.LineFeedsOnly() ? TFileCause::LineFeedsOnly : TFileCause::BadNumber;
      TFileProblem problem = IncludeProblem(path, cause);
      problem.Line = lines.Number();
      throw ERunError(error.Text(), error.SystemError(), std::move(problem));
    }
  }
  events.IncludeFileRead(record, Chars(addressLine, 1, 10));

  TImageMeasure image{};
  try {
    image = MeasureImageFile(record.ImageFileName);
  } catch (const ERunError& error) {
    TFileProblem problem = error.Problem();
    if (problem.Role != TFileRole::ImageFile) throw;
    problem.IncludeFile = path;
    throw ERunError(error.Text(), error.SystemError(), std::move(problem));
  }
  record.ImageSize = image.ImageSize;
  record.SizeLow = image.SizeLow;
  record.SizeHigh = image.SizeHigh;
  record.BlockCount = image.BlockCount;
  record.ImageBytes = image.Bytes;
  record.ImageDigest = image.Digest;
  events.ImageMeasured(record.ImageFileName, image);
  record.IncludeFileRead = true;
}

}  // namespace stb::upgrade
