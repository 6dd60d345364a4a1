#include "RecordedWindow.h"

#include "Interrupts.h"

namespace stb::app {

void TRecordedWindow::LogLine(const std::string& line) {
  window_.LogLine(line);
  log_.Append(line);
  NoteLogLine(line);
}

void TRecordedWindow::SetCounter(long sent, long total) {
  window_.SetCounter(sent, total);
  NoteCounter(sent, total);
}

void TRecordedWindow::BoxTakingImage(bool taking) {
  SetBoxTakingImage(taking);
  window_.BoxTakingImage(taking);
}

}  // namespace stb::app
