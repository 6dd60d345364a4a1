// Fuzzes the include-file reader: any bytes as ./inc/app1.inc. The reading
// must fill the record or raise one of its documented errors; nothing else.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "BoxScript.h"
#include "IncludeFile.h"
#include "RecordingWindow.h"
#include "RunError.h"

namespace {

bool Documented(const std::string& e) {
  for (const char* exact : {"File not found", "Invalid filename", "File access denied"}) {
    if (e == exact) return true;
  }
  for (const char* prefix : {"I/O error ", "Cannot open file ", "Image file ", "Include file "}) {
    if (e.rfind(prefix, 0) == 0) return true;
  }
  return e.size() >= 31 && e.front() == '\'' && e.ends_with("' is not a valid integer value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  stb::testing::EnterScriptFolder();  // a scratch folder with ./inc/ and ./image.bin
  std::ofstream("inc/app1.inc", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  stb::testing::TRecordingWindow window;
  stb::upgrade::TUpgradeRecord record;
  try {
    stb::upgrade::ReadIncludeFile("./inc/app1.inc", record, window.Events());
    // A reading that succeeded measured its image and showed the counter.
    if (!record.IncludeFileRead || window.Counters.size() != 1 || window.Log.size() != 1) std::abort();
    if (record.BlockCount != record.SizeHigh * 256 + record.SizeLow) std::abort();
    if (record.IncStartDate.size() > 5 || record.IncLabel.size() > 13) std::abort();
  } catch (const stb::upgrade::ERunError& e) {
    if (!Documented(e.Text()) || record.IncludeFileRead) std::abort();
  }
  return 0;
}
