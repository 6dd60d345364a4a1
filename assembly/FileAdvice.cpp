#include "FileAdvice.h"

#include <cstring>
#include <filesystem>
#include <string_view>

namespace stb::app {

using upgrade::TFileCause;
using upgrade::TFileProblem;
using upgrade::TFileRole;

namespace {

bool IsAbsolute(std::string_view path) {
  if (path.starts_with('/') || path.starts_with('\\')) return true;
  return path.size() > 1 && path[1] == ':';  // C:\...
}

// `path` as the system takes it: a relative name joined to the current
// folder, so the operator sees where it was looked for.
std::string WhereLooked(const std::string& path) {
  if (IsAbsolute(path)) return path;
  std::string_view rest = path;
  while (rest.starts_with("./")) rest.remove_prefix(2);
  std::string folder = CurrentFolder();
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  return folder + std::string(rest);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Reason(int systemError) {
  return systemError != 0 ? " (" + std::string(std::strerror(systemError)) + ")" : "";
}

// What the include file's line `line` holds, as its author would check it.
std::string LineContent(int line) {
  switch (line) {
    case 2: return "the model code: two hexadecimal digits, any character, two more (01.0A)";
    case 3: return "the hardware version: two hexadecimal digits, any character, two more (01.00)";
    case 4: return "the boot loader version: two hexadecimal digits, any character, two more";
    case 5: return "the native software version: two hexadecimal digits, any character, two more";
    case 6: return "the application 1 version: two hexadecimal digits, any character, two more";
    case 7: return "the application 2 version: two hexadecimal digits, any character, two more";
    case 11: return "the version table slot: one digit (1 to 4; another writes none)";
    case 12: return "the download address: 0x and eight hexadecimal digits (0x9FC00000)";
    default: return "a number";
  }
}

std::string ConvertLineEnds([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
  return "Save it again with Windows (CR LF) line ends, for example in Notepad.";
#else
  return "Convert it with: unix2dos " + path + " (Debian package dos2unix), or: sed -i 's/$/\\r/' " + path;
#endif
}

std::string IncludeAdvice(const TFileProblem& p) {
  const std::string file = "The include file " + p.Path;
  switch (p.Cause) {
    case TFileCause::FolderMissing:
      return file + " is looked for in the folder " + WhereLooked(FolderOf(p.Path)) +
             ", which does not exist. Start stb-downloader in the folder that holds inc/, or name the folder "
             "of the include files with --inc-dir DIR.";
    case TFileCause::Missing:
      return "The folder " + WhereLooked(FolderOf(p.Path)) + " holds no " + NameOf(p.Path) +
             ", the include file of the mode typed. Put it there, or name the folder that holds it with "
             "--inc-dir "
             "DIR.";
    case TFileCause::Denied:
      return file + " (" + WhereLooked(p.Path) + ") may not be read by this user" + Reason(p.SystemError) +
             ". Give the user the right to read it.";
    case TFileCause::IsFolder:
      return WhereLooked(p.Path) +
             " is a folder. The include file must be a text file of twelve lines under that name.";
    case TFileCause::NotPlain:
      return WhereLooked(p.Path) + " is not a plain file (a device, a pipe or a socket). The include file " +
             "must be a text file of twelve lines.";
    case TFileCause::LineFeedsOnly:
      return file + " ends its lines with line feeds alone (as a Linux editor writes them). The tool needs " +
             "CR LF or CR line ends, and read the whole file as its first line. " + ConvertLineEnds(p.Path);
    case TFileCause::BadNumber:
      return "Line " + std::to_string(p.Line) + " of the include file " + p.Path + " must hold " +
             LineContent(p.Line) + ".";
    case TFileCause::Unreadable:
      return file + " (" + WhereLooked(p.Path) + ") could not be read" + Reason(p.SystemError) + ".";
    case TFileCause::Locked:
    case TFileCause::None: break;
  }
  return "";
}

std::string ImageAdvice(const TFileProblem& p) {
  std::string file = "The image file " + p.Path;
  if (!p.IncludeFile.empty()) file += ", named on line 10 of " + p.IncludeFile + ",";
  switch (p.Cause) {
    case TFileCause::FolderMissing:
    case TFileCause::Missing:
      return file + " does not exist (looked for as " + WhereLooked(p.Path) +
             "). A relative name is taken from the folder stb-downloader was started in.";
    case TFileCause::Denied:
      return file + " may not be read by this user" + Reason(p.SystemError) +
             ". Give the user the right to read it.";
    case TFileCause::IsFolder:
      return file + " is a folder (" + WhereLooked(p.Path) + "). Line 10 must name the image file itself.";
    case TFileCause::NotPlain:
      return file + " is not a plain file (a device, a pipe or a socket). Line 10 must name the image file.";
    case TFileCause::Locked:
      return file + " is held by another program. Close that program, then start again.";
    case TFileCause::Unreadable: return file + " could not be opened" + Reason(p.SystemError) + ".";
    case TFileCause::LineFeedsOnly:
    case TFileCause::BadNumber:
    case TFileCause::None: break;
  }
  return "";
}

}  // namespace

std::string CurrentFolder() {
  std::error_code error;
  const auto folder = std::filesystem::current_path(error);
  if (error) return ".";
  const auto text = folder.u8string();
  return std::string(text.begin(), text.end());
}

std::string FileAdvice(const TFileProblem& problem) {
  switch (problem.Role) {
    case TFileRole::IncludeFile: return IncludeAdvice(problem);
    case TFileRole::ImageFile: return ImageAdvice(problem);
    case TFileRole::None: break;
  }
  return "";
}

}  // namespace stb::app
