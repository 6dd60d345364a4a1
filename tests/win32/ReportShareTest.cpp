// Windows: a report or a port's log that the program writes is opened
// without FILE_SHARE_DELETE, so that no one removes or renames it while the
// boxes' lines go in (where POSIX systems allow it, the report is made again
// at its path instead). An operator can still read either at any time.
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "AppendFile.h"
#include "LogFile.h"
#include "ReportFile.h"

namespace stb::app {
namespace {

// A folder of its own as the current directory, left by wide names.
class TScratch {
 public:
  TScratch() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"stb-share-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    GetCurrentDirectoryW(MAX_PATH, previous_);
    SetCurrentDirectoryW(folder_.c_str());
  }
  ~TScratch() {
    SetCurrentDirectoryW(previous_);
    for (const wchar_t* f : {L"report.jsonl", L"report-1.jsonl", L"port.log", L"бокс.log"})
      DeleteFileW((folder_ + L"\\" + f).c_str());
    RemoveDirectoryW(folder_.c_str());
  }

 private:
  std::wstring folder_;
  wchar_t previous_[MAX_PATH]{};
};

// What another program meets that tries to take the file away: the system's
// error, 0 when it could.
DWORD DeleteError(const wchar_t* name) { return DeleteFileW(name) ? 0 : GetLastError(); }
DWORD RenameError(const wchar_t* from, const wchar_t* to) { return MoveFileW(from, to) ? 0 : GetLastError(); }

// What an operator's viewer reads of the file while the program writes it.
std::string ReadAll(const wchar_t* name) {
  HANDLE h = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<cannot open: " + std::to_string(GetLastError()) + ">";
  std::string text(4096, '\0');
  DWORD n = 0;
  ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(h);
  text.resize(n);
  return text;
}

TEST(ReportShare, TheReportCannotBeRemovedNorRenamedWhileWrittenButCanBeRead) {
  TScratch scratch;
  {
    TReportFile report;
    std::string why;
    ASSERT_TRUE(report.Open("report.jsonl", why)) << why;
    ASSERT_TRUE(report.Append("{\"port\":\"COM1\"}\n"));
    for (int i = 0; i < 100 && ReadAll(L"report.jsonl").empty(); ++i) Sleep(10);
    EXPECT_EQ(ReadAll(L"report.jsonl"), "{\"port\":\"COM1\"}\n");
    EXPECT_EQ(DeleteError(L"report.jsonl"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(RenameError(L"report.jsonl", L"report-1.jsonl"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Still where it was, so the next line goes to the same file.
    ASSERT_TRUE(report.Append("{\"port\":\"COM2\"}\n"));
    EXPECT_EQ(report.Seal(std::chrono::seconds(5)), 0);
  }
  EXPECT_EQ(ReadAll(L"report.jsonl"), "{\"port\":\"COM1\"}\n{\"port\":\"COM2\"}\n");
  // Once the program has let go, it is the operator's again.
  EXPECT_EQ(DeleteError(L"report.jsonl"), 0u);
}

TEST(ReportShare, APortsLogCannotBeRemovedWhileWrittenButCanBeRead) {
  TScratch scratch;
  // A name beyond ASCII, as a log folder or port may have, in UTF-8.
  for (const auto& [name, wide] : {std::pair<std::string, std::wstring>{"port.log", L"port.log"},
                                   {"\xD0\xB1\xD0\xBE\xD0\xBA\xD1\x81.log", L"бокс.log"}}) {
    SCOPED_TRACE(name);
    {
      TLogFile log;
      ASSERT_TRUE(log.Open(name));
      log.Append("3. Start DownLoad");
      const std::string text = ReadAll(wide.c_str());
      EXPECT_NE(text.find("3. Start DownLoad\n"), std::string::npos) << text;
      EXPECT_EQ(DeleteError(wide.c_str()), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      EXPECT_TRUE(StillNamed(log.Descriptor(), name));
    }
    EXPECT_EQ(DeleteError(wide.c_str()), 0u);
  }
}

// A path that names no file any more is told apart from one that does.
TEST(ReportShare, AFileStillNamedIsToldApartFromOneThatIsNot) {
  TScratch scratch;
  const int fd = OpenForAppending("report.jsonl");
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(StillNamed(fd, "report.jsonl"));
  std::string how;
  EXPECT_FALSE(StillNamed(fd, "report-1.jsonl", &how));
  EXPECT_EQ(how, "renamed or moved away");
  ::_close(fd);
}

}  // namespace
}  // namespace stb::app
