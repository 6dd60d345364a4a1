#include "ConsoleWindow.h"

#include <algorithm>
#include <cstring>

#include "EscapedLine.h"

namespace stb::app {

TConsoleWindow::TConsoleWindow(TEventLoop& loop, TMismatchAnswer onMismatch)
    : loop_(loop), onMismatch_(onMismatch), progressTerminal_(StderrIsTerminal()) {}

void TConsoleWindow::LogLine(const std::string& line) {
  ClearProgress();
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  // Output nobody reads any more (a closed pipe) is dropped; the log file
  // and the upgrade go on.
  std::clearerr(stdout);
  DrawProgress();
}

void TConsoleWindow::Tagged(const char* tag, const std::string& text) {
  ClearProgress();
  std::fprintf(stderr, "[%s] %s\n", tag, text.c_str());
  std::fflush(stderr);
}

void TConsoleWindow::ShowError(const std::string& text, int systemError) {
  std::string line = EscapedLine(text);
  if (systemError != 0) line += " (" + std::string(std::strerror(systemError)) + ")";
  Tagged("error", line);
}

upgrade::TConfirmAnswer TConsoleWindow::Confirm(const std::string& text) {
  Tagged("confirm", text);
  bool yes = true;  // exit: the safe answer
  if (onMismatch_ == TMismatchAnswer::Continue) {
    yes = false;
  } else if (onMismatch_ == TMismatchAnswer::Ask && StdinIsTerminal()) {
    std::fputs("Exit now? [y/n] ", stderr);
    std::fflush(stderr);
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
    std::fputc('\n', stderr);
  }
  std::fprintf(stderr, "[answer] %s\n", yes ? "Yes" : "No");
  std::fflush(stderr);
  return yes ? upgrade::TConfirmAnswer::Yes : upgrade::TConfirmAnswer::No;
}

void TConsoleWindow::StopTicks() {
  if (ticks_) ticks_->Stop();
}

void TConsoleWindow::CloseWindow() {
  ClearProgress();
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

void TConsoleWindow::ClearProgress() {
  if (!progressShown_) return;
  std::fputs("\r\033[K", stderr);
  progressShown_ = false;
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
  std::fprintf(stderr, "\r\033[K%s", line);
  std::fflush(stderr);
  progressShown_ = true;
}

}  // namespace stb::app
