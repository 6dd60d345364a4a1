// Windows: an include file names its image in bytes. A name in UTF-8
// (./bild-ä.bin, ./образ.bin) must find the file as it does on Linux, and a
// name in the ANSI code page, as a Western editor writes it, still must.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "IncludeFile.h"
#include "RunError.h"

namespace stb::upgrade {
namespace {

// A folder of its own as the current directory, made and left by wide names.
class TWideScratch {
 public:
  TWideScratch() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"stb-names-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    CreateDirectoryW((folder_ + L"\\inc").c_str(), nullptr);
    GetCurrentDirectoryW(MAX_PATH, previous_);
    SetCurrentDirectoryW(folder_.c_str());
  }
  ~TWideScratch() {
    SetCurrentDirectoryW(previous_);
    for (const auto& f : files_) DeleteFileW((folder_ + L"\\" + f).c_str());
    RemoveDirectoryW((folder_ + L"\\inc").c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  void Write(const std::wstring& name, const std::string& bytes) {
    HANDLE h =
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    files_.push_back(name);
  }

 private:
  std::wstring folder_;
  wchar_t previous_[MAX_PATH] = {};
  std::vector<std::wstring> files_;
};

std::string IncludeNaming(const std::string& image) {
  std::string text;
  for (const std::string& line :
       {std::string("110022"), std::string("01.00"), std::string("01.00"), std::string("01.00"),
        std::string("01.02"), std::string("01.03"), std::string("01.04"), std::string("D2412"),
        std::string("wine"), image, std::string("3"), std::string("0x9FC10000")}) {
    text += line + "\r\n";
  }
  return text;
}

// The image's size as the include file's reader measured it, or the error.
std::string Measure(TWideScratch& scratch, const std::string& imageName) {
  scratch.Write(L"inc\\app1.inc", IncludeNaming(imageName));
  TUpgradeRecord record{};
  try {
    ReadIncludeFile("./inc/app1.inc", record);
  } catch (const ERunError& e) {
    return e.what();
  }
  return std::to_string(record.ImageSize);
}

TEST(FileNames, AnImageNamedInUtf8IsFound) {
  TWideScratch scratch;
  scratch.Write(L"bild-\u00E4.bin", std::string(3000, 'a'));
  scratch.Write(L"\u043E\u0431\u0440\u0430\u0437.bin", std::string(5000, 'b'));
  EXPECT_EQ(Measure(scratch, "./bild-\xC3\xA4.bin"), "3072");
  EXPECT_EQ(Measure(scratch, "./\xD0\xBE\xD0\xB1\xD1\x80\xD0\xB0\xD0\xB7.bin"), "5120");
  // Not there: the name in the error is the one the include file gave.
  EXPECT_EQ(Measure(scratch, "./fehlt-\xC3\xA4.bin"), "Cannot open file ./fehlt-\xC3\xA4.bin");
}

TEST(FileNames, AnImageNamedInTheAnsiCodePageIsStillFound) {
  TWideScratch scratch;
  scratch.Write(L"bild-\u00E4.bin", std::string(2000, 'a'));
  char ansi[64] = {};
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, 0, L"./bild-\u00E4.bin", -1, ansi, sizeof ansi, nullptr, &lossy);
  if (lossy) GTEST_SKIP() << "the ANSI code page " << GetACP() << " has no \u00E4";
  EXPECT_EQ(Measure(scratch, ansi), "2048");
}

}  // namespace
}  // namespace stb::upgrade
