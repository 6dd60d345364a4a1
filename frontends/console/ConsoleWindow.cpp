#include "ConsoleWindow.h"

#include <algorithm>

#include "ConsoleWriter.h"
#include "LogText.h"

namespace stb::app {

TConsoleWindow::TConsoleWindow(TEventLoop& loop, TMismatchAnswer onMismatch)
    : loop_(loop),
      onMismatch_(onMismatch),
      console_(ConsoleOutput()),
      progressTerminal_(StderrIsTerminal()) {}

void TConsoleWindow::LogLine(const std::string& line) {
  // The writer takes the progress line off the terminal before it.
  console_.Write(TConsoleStream::Out, line + "\n");
  DrawProgress();
}

void TConsoleWindow::Tagged(const char* tag, const std::string& text) {
  console_.Write(TConsoleStream::Err, "[" + std::string(tag) + "] " + text + "\n");
}

void TConsoleWindow::ShowError(const std::string& text, int systemError) {
  Tagged("error", ErrorLine(text, systemError));
}

upgrade::TConfirmAnswer TConsoleWindow::Confirm(const std::string& text) {
  Tagged("confirm", text);
  bool yes = true;  // exit: the safe answer
  if (onMismatch_ == TMismatchAnswer::Continue) {
    yes = false;
  } else if (onMismatch_ == TMismatchAnswer::Ask && StdinIsTerminal()) {
    console_.Write(TConsoleStream::Err, "Exit now? [y/n] ");
    for (;;) {
      char c = 0;
      if (!WaitForInput(true, 1000)) continue;
      const long n = ReadInput(&c, 1);
      if (n < 0) continue;
      if (n == 0) break;  // input gone: keep the safe answer
      if (c == 'y' || c == 'Y') break;
      if (c == 'n' || c == 'N') {
        yes = false;
        break;
      }
    }
    console_.Write(TConsoleStream::Err, "\n");
  }
  console_.Write(TConsoleStream::Err, std::string("[answer] ") + (yes ? "Yes" : "No") + "\n");
  return yes ? upgrade::TConfirmAnswer::Yes : upgrade::TConfirmAnswer::No;
}

void TConsoleWindow::StopTicks() {
  if (ticks_) ticks_->Stop();
}

void TConsoleWindow::CloseWindow() {
  console_.ClearLive();
  closed_ = true;
}

void TConsoleWindow::SetDownloadProgress(int position) { download_ = position; }

void TConsoleWindow::SetFlashProgress(int position) {
  flash_ = position;
  DrawProgress();
}

void TConsoleWindow::SetCounter(long sent, long total) {
  pace_.Note(sent, NowMs());
  sent_ = sent;
  total_ = total;
  DrawProgress();
}

void TConsoleWindow::DrawProgress() {
  if (!progressTerminal_ || closed_ || download_ < 0) return;
  char line[160];
  if (flash_ >= 0) {
    std::snprintf(line, sizeof line, "flash write %3d%%", flash_);
  } else {
    const double rate = pace_.BytesPerSecond(sent_, NowMs());
    const long left = std::max(0L, TTransferPace::SecondsLeft(sent_, total_, rate));
    std::snprintf(line, sizeof line, "download %3d%%  %ld / %ld bytes  %.0f bytes/s  %ld:%02ld left",
                  download_, sent_, total_, rate, left / 60, left % 60);
  }
  // Dropped by the writer while the terminal takes nothing: only the
  // latest one is worth drawing.
  console_.Live(TConsoleStream::Err, std::string("\r\033[K") + line, "\r\033[K", true);
}

}  // namespace stb::app
