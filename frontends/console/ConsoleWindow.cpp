#include "ConsoleWindow.h"

#include <algorithm>

#include "ConsoleWriter.h"
#include "EscapedLine.h"
#include "LogText.h"
#include "ModeTable.h"

namespace stb::app {

namespace {
// How often a plain line tells how far the flash write is.
constexpr std::int64_t kFlashLineMs = 10000;
}  // namespace

TConsoleWindow::TConsoleWindow(TEventLoop& loop, TMismatchAnswer onMismatch, TProgressStyle progress)
    : loop_(loop), onMismatch_(onMismatch), console_(ConsoleOutput()), progress_(progress) {}

void TConsoleWindow::LogLine(const std::string& line) {
  if (leaveOff_) return;
  // The writer takes the progress line off the terminal before it.
  console_.Write(TConsoleStream::Out, line + "\n");
  DrawProgress();
}

void TConsoleWindow::Say(const std::string& text) { console_.Write(TConsoleStream::Err, text); }

void TConsoleWindow::Tagged(const char* tag, const std::string& text) {
  console_.Write(TConsoleStream::Err, "[" + std::string(tag) + "] " + text + "\n");
}

void TConsoleWindow::ShowError(const std::string& text, int systemError, const std::string& detail) {
  Tagged("error", ErrorLine(text, systemError));
  if (!detail.empty()) Tagged("error", upgrade::EscapedLine(detail));
}

std::string TConsoleWindow::AddressesLine(const std::string& includeFile, std::uint32_t include,
                                          std::uint32_t box) {
  char line[160];
  std::snprintf(line, sizeof line, "[addresses] include file %s: 0x%08X, box: 0x%08X", includeFile.c_str(),
                static_cast<unsigned>(include), static_cast<unsigned>(box));
  return line;
}

void TConsoleWindow::AddressesReceived(std::uint32_t box, std::uint32_t include) {
  boxAddress_ = box;
  includeAddress_ = include;
}

upgrade::TConfirmAnswer TConsoleWindow::Confirm(const std::string& text) {
  // The question names neither address; the operator needs both to answer.
  if (mismatch_ && mode_ != 0) {
    console_.Write(
        TConsoleStream::Err,
        AddressesLine(upgrade::IncludeFilePath(mode_, includeFolder_), includeAddress_, boxAddress_) + "\n");
  }
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

void TConsoleWindow::KeepAnswering() {
  // A box writing its flash may say nothing for many seconds; the plain
  // line is due all the same.
  if (progress_ == TProgressStyle::Plain && flash_ >= 0) PlainProgress();
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

std::string TConsoleWindow::DownloadLine(int percent, long sent, long total, double rate, long secondsLeft) {
  char line[160];
  std::snprintf(line, sizeof line, "download %3d%%  %ld / %ld bytes  %.0f bytes/s  %ld:%02ld left", percent,
                sent, total, rate, secondsLeft / 60, secondsLeft % 60);
  return line;
}

std::string TConsoleWindow::FlashLine(int percent, long seconds) {
  char line[80];
  std::snprintf(line, sizeof line, "flash write %3d%%  %ld:%02ld", percent, seconds / 60, seconds % 60);
  return line;
}

void TConsoleWindow::DrawProgress() {
  if (closed_ || download_ < 0) return;
  if (progress_ == TProgressStyle::Plain) return PlainProgress();
  if (progress_ != TProgressStyle::Live) return;
  std::string line;
  if (flash_ >= 0) {
    char text[40];
    std::snprintf(text, sizeof text, "flash write %3d%%", flash_);
    line = text;
  } else {
    const double rate = pace_.BytesPerSecond(sent_, NowMs());
    line = DownloadLine(download_, sent_, total_, rate,
                        std::max(0L, TTransferPace::SecondsLeft(sent_, total_, rate)));
  }
  // Dropped by the writer while the terminal takes nothing: only the
  // latest one is worth drawing.
  console_.Live(TConsoleStream::Err, "\r\033[K" + line, "\r\033[K", true);
}

void TConsoleWindow::PlainProgress() {
  const std::int64_t now = NowMs();
  if (flash_ < 0) {
    // A line for each tenth of the image reached (one for several reached
    // by one block of a small image).
    if (total_ <= 0) return;
    const long tenth = static_cast<long>(static_cast<long long>(sent_) * 10 / total_);
    if (tenth <= saidTenth_) return;
    saidTenth_ = tenth;
    const double rate = pace_.BytesPerSecond(sent_, now);
    Tagged("progress", DownloadLine(download_, sent_, total_, rate,
                                    std::max(0L, TTransferPace::SecondsLeft(sent_, total_, rate))));
    return;
  }
  if (flashStartMs_ < 0) {
    flashStartMs_ = flashSaidMs_ = now;
    flashEndSaid_ = flash_ >= 100;
    Tagged("progress", FlashLine(flash_, 0));
    return;
  }
  if (flashEndSaid_) return;
  const bool end = flash_ >= 100;
  if (!end && now - flashSaidMs_ < kFlashLineMs) return;
  flashSaidMs_ = now;
  flashEndSaid_ = end;
  Tagged("progress", FlashLine(flash_, static_cast<long>((now - flashStartMs_) / 1000)));
}

}  // namespace stb::app
