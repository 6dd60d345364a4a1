#include "RecordedWindow.h"

namespace stb::app {

void TRecordedWindow::LogLine(const std::string& line) {
  window_.LogLine(line);
  log_.Append(line);
  interrupts_.NoteLogLine(line);
}

void TRecordedWindow::SetCounter(long sent, long total) {
  window_.SetCounter(sent, total);
  interrupts_.NoteCounter(sent, total);
}

void TRecordedWindow::BoxTakingImage(bool taking) {
  interrupts_.SetBoxTakingImage(taking);
  window_.BoxTakingImage(taking);
}

}  // namespace stb::app
