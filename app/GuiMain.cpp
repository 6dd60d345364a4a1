#include "GuiMain.h"

#include <QApplication>

#include "MainFrm.h"

namespace stb::app {

int RunWindow(const TOptions& options, int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(ui::kApplicationTitle);
  // No display name: on X11 and Wayland Qt appends it to every window title
  // that does not already end with it, and the captions must stay as they are.
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
