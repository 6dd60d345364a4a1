// stb-downloader: program entry. Creates the operator window and runs the
// application's message loop until the window closes.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "MainFrm.h"
#include "Options.h"

namespace {

bool HasDisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = stb::app::ParseOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::fprintf(stderr, "stb-downloader: %s\n\n%s", error.c_str(), stb::app::kUsage);
    return 2;
  }
  if (options->Help) {
    std::fputs(stb::app::kUsage, stdout);
    return 0;
  }
  if (options->Version) {
    std::printf("stb-downloader %s\n", STB_VERSION);
    return 0;
  }
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "stb-downloader: no display to open the window on (DISPLAY is not set).\n"
                 "Run it on a desktop, or use the headless mode once it is available.\n");
    return 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("stb-downloader");
  QApplication::setApplicationDisplayName("stb-downloader");
  stb::ui::TForm1Options formOptions;
  formOptions.DevicePath = options->Port;
  formOptions.LogFile = options->LogFile;
  stb::ui::TForm1 form(formOptions);
  form.show();
  return QApplication::exec();
}
