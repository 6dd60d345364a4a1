#include "GuiMain.h"

#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Headless.h"
#include "MainFrm.h"

namespace stb::app {

namespace {

// Why the log file or the trace cannot be written, or "" when both can. The
// window refuses to start on such a file, as the console does, before the
// port is opened: an operator who asked for a record must not go without it.
std::string UnwritableFile(const TOptions& options) {
  struct TFile {
    const std::string& path;
    const char* what;
    const char* mode;
  } files[] = {{options.LogFile, "the log file", "ab"}, {options.Trace, "the trace", "w"}};
  for (const TFile& f : files) {
    if (f.path.empty()) continue;
    std::FILE* file = std::fopen(f.path.c_str(), f.mode);
    if (!file) return std::string("Cannot write ") + f.what + " " + f.path + ": " + std::strerror(errno);
    std::fclose(file);
  }
  return "";
}

}  // namespace

int RunWindow(const TOptions& options, int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(ui::kApplicationTitle);
  // No display name: on X11 and Wayland Qt appends it to every window title
  // that does not already end with it, and the captions must stay as they are.
  if (const std::string refusal = UnwritableFile(options); !refusal.empty()) {
    std::fprintf(stderr, "stb-downloader: %s\n", refusal.c_str());
    ui::TForm1::MakeBox(ui::TBoxKind::Error, QString::fromStdString(refusal), nullptr)->exec();
    return kExitUsage;
  }
  ui::TForm1Options formOptions;
  formOptions.DevicePath = options.Port;
  formOptions.LogFile = options.LogFile;
  formOptions.Trace = options.Trace;
  formOptions.ResponseTimeoutMs = options.ResponseTimeoutMs;
  ui::TForm1 form(formOptions);
  form.show();
  return QApplication::exec();
}

}  // namespace stb::app
