#include "GuiMain.h"

#include <QApplication>

#include "MainFrm.h"

namespace stb::app {

int RunWindow(const TOptions& options, int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("stb-downloader");
  QApplication::setApplicationDisplayName("stb-downloader");
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
