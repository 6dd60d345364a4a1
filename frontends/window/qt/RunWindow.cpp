#include "RunWindow.h"

#include <QApplication>
#include <cstdio>

#include "AssemblyConsole.h"
#include "ExitStatus.h"
#include "OperatorWindow.h"

namespace stb::app {

int RunWindow(const TOptions& options, int argc, char** argv) {
  // What the assembly says outside the window (a log file that stopped
  // taking lines, an interrupt's warning) goes to stderr as the console
  // front end's does: through the console's writer, which nothing waits on.
  LendConsoleToAssembly();
  QApplication app(argc, argv);
  QApplication::setApplicationName(ui::kApplicationTitle);
  // No display name: on X11 and Wayland Qt appends it to every window title
  // that does not already end with it, and the captions must stay as they are.
  ui::TOperatorWindow window(options);
  if (!window.Refusal().empty()) {
    // As the console does, before the port is opened; the box says it too.
    const std::string& why = window.Refusal();
    std::fprintf(stderr, "stb-downloader: %s\n", why.c_str());
    QString text = QString::fromStdString(why);
    text[0] = text[0].toUpper();
    ui::TOperatorWindow::MakeBox(ui::TBoxKind::Error, text, nullptr)->exec();
    return kExitUsage;
  }
  window.show();
  const int status = QApplication::exec();
  // A record asked for and missing is no success.
  return window.SealRecord() > 0 && status == 0 ? kExitFailed : status;
}

}  // namespace stb::app
