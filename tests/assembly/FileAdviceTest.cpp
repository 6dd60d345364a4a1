// What an operator is told beside a terse include-file or image error: the
// file, where it was looked for, why, and what to do. The terse texts
// themselves are held by the include file's own tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "FileAdvice.h"
#include "IncludeFile.h"
#include "ModeTable.h"
#include "RunError.h"
#include "ScratchDir.h"

namespace stb::app {
namespace {

using stb::testing::IncludeText;
using stb::testing::TScratchDir;
using upgrade::ERunError;
using upgrade::TFileCause;
using upgrade::TFileRole;

std::string Lines(const std::string& image = "./image.bin", const std::string& slot = "3") {
  const std::string lines[12] = {"A1B2C3", "01.0A", "02.01", "03.00", "04.10", "05.20",
                                 "06.30",  "D2412", "label", image,   slot,    "0x9FC00000"};
  return IncludeText(lines);
}

struct TFailure {
  std::string Text;
  upgrade::TFileProblem Problem;
  std::string Advice;
};

// Reads `path` in the current (scratch) folder; fails the test when it reads.
TFailure Read(const std::string& path) {
  upgrade::TUpgradeRecord record;
  try {
    upgrade::ReadIncludeFile(path, record);
  } catch (const ERunError& e) {
    return {e.Text(), e.Problem(), FileAdvice(e.Problem())};
  }
  ADD_FAILURE() << path << " was read";
  return {};
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(FileAdvice, IncludeFileProblemsSayWhichFileWhereAndWhatToDo) {
  TScratchDir dir;
  const std::string here = CurrentFolder();

  // No inc/ folder: an installed program started somewhere else.
  const TFailure noFolder = Read("./inc/app1.inc");
  EXPECT_EQ(noFolder.Text, "Invalid filename");
  EXPECT_EQ(noFolder.Problem.Cause, TFileCause::FolderMissing);
  EXPECT_TRUE(Has(noFolder.Advice, here + "/inc, which does not exist")) << noFolder.Advice;
  EXPECT_TRUE(Has(noFolder.Advice, "--inc-dir")) << noFolder.Advice;

  dir.Write("inc/bl.inc", Lines());
  const TFailure missing = Read("./inc/app1.inc");
  EXPECT_EQ(missing.Text, "File not found");
  EXPECT_EQ(missing.Problem.Cause, TFileCause::Missing);
  EXPECT_TRUE(Has(missing.Advice, "The folder " + here + "/inc holds no app1.inc")) << missing.Advice;

  std::filesystem::create_directories("inc/gui.inc");
  const TFailure folder = Read("./inc/gui.inc");
  EXPECT_EQ(folder.Text, "I/O error 21");
  EXPECT_EQ(folder.Problem.Cause, TFileCause::IsFolder);
  EXPECT_TRUE(Has(folder.Advice, here + "/inc/gui.inc is a folder")) << folder.Advice;

  // What an editor on Linux writes: the whole file is one long first line,
  // and line 2 fails as "0x". The advice says how to convert it.
  std::string unixEnds = Lines();
  for (std::size_t at; (at = unixEnds.find('\r')) != std::string::npos;) unixEnds.erase(at, 1);
  dir.Write("inc/native.inc", unixEnds);
  const TFailure lf = Read("./inc/native.inc");
  EXPECT_EQ(lf.Text, "'0x' is not a valid integer value");
  EXPECT_EQ(lf.Problem.Cause, TFileCause::LineFeedsOnly);
  EXPECT_TRUE(Has(lf.Advice, "CR LF or CR line ends")) << lf.Advice;
  EXPECT_TRUE(Has(lf.Advice, "unix2dos ./inc/native.inc")) << lf.Advice;

  // A bad number names its line and what belongs there; the first line that
  // fails is the one named, and the text converted stays in the error.
  dir.Write("inc/lpd.inc", Lines("./image.bin", "x"));
  const TFailure slot = Read("./inc/lpd.inc");
  EXPECT_EQ(slot.Text, "'x' is not a valid integer value");
  EXPECT_EQ(slot.Problem.Cause, TFileCause::BadNumber);
  EXPECT_EQ(slot.Problem.Line, 11);
  EXPECT_TRUE(Has(slot.Advice, "Line 11 of the include file ./inc/lpd.inc must hold the version table slot"))
      << slot.Advice;
}

TEST(FileAdvice, ImageProblemsNameTheIncludeFileThatNamedIt) {
  TScratchDir dir;
  const std::string here = CurrentFolder();
  dir.Write("inc/app1.inc", Lines("./nothere.bin"));
  const TFailure missing = Read("./inc/app1.inc");
  EXPECT_EQ(missing.Text, "Cannot open file ./nothere.bin");
  EXPECT_EQ(missing.Problem.Role, TFileRole::ImageFile);
  EXPECT_EQ(missing.Problem.Cause, TFileCause::Missing);
  EXPECT_TRUE(Has(missing.Advice, "named on line 10 of ./inc/app1.inc, does not exist (looked for as " +
                                      here + "/nothere.bin)"))
      << missing.Advice;

  dir.Write("inc/app2.inc", Lines("./imgdir"));
  std::filesystem::create_directories("imgdir");
  const TFailure folder = Read("./inc/app2.inc");
  EXPECT_EQ(folder.Text, "Cannot open file ./imgdir");
  EXPECT_EQ(folder.Problem.Cause, TFileCause::IsFolder);
  EXPECT_TRUE(Has(folder.Advice, "is a folder")) << folder.Advice;

  dir.Write("inc/gui.inc", Lines());
  dir.Write("image.bin", "bytes");
  const int fd = ::open("image.bin", O_RDONLY);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const TFailure held = Read("./inc/gui.inc");
  ::close(fd);
  EXPECT_EQ(held.Problem.Cause, TFileCause::Locked);
  EXPECT_TRUE(Has(held.Advice, "held by another program")) << held.Advice;

  // Errors that are about no file get no advice.
  EXPECT_EQ(FileAdvice({}), "");
}

TEST(FileAdvice, IncludeFilesAreReadFromTheFolderGiven) {
  EXPECT_EQ(upgrade::IncludeFilePath(3), "./inc/app1.inc");
  EXPECT_EQ(upgrade::IncludeFilePath(1, "/usr/share/stb"), "/usr/share/stb/bl.inc");
  EXPECT_EQ(upgrade::IncludeFilePath(8, "conf/"), "conf/rsvd.inc");

  TScratchDir dir;
  dir.Write("elsewhere/app1.inc", Lines());
  dir.Write("image.bin", std::string(3000, 'x'));
  upgrade::TUpgradeRecord record;
  EXPECT_NO_THROW(upgrade::ReadIncludeFile(upgrade::IncludeFilePath(3, "elsewhere"), record));
  EXPECT_EQ(record.ImageBytes, 3000);
}

}  // namespace
}  // namespace stb::app
