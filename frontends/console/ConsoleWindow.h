// The window on a console: log lines on stdout, boxes and dialogs as tagged
// lines on stderr, and the progress: a live line when stderr is a terminal,
// else a plain line every tenth of the image and every 10 s of the flash
// write, so that a log in a file or a CI job does not fall silent for the
// quarter of an hour a large image takes. All of it goes through the
// console's writer, which never holds up the upgrade.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "ConsoleWriter.h"
#include "EventLoop.h"
#include "Interaction.h"
#include "PollTimer.h"
#include "ProgressListener.h"
#include "RunOptions.h"
#include "TransferPace.h"
#include "UpgradeEvents.h"

namespace stb::app {

// How the console shows the progress.
enum class TProgressStyle {
  None,   // --quiet
  Live,   // one line redrawn in place (stderr is a terminal)
  Plain,  // "[progress] ..." lines, now and then (stderr is a file or a pipe)
};

class TConsoleWindow : public upgrade::IInteraction, public IProgressView, public upgrade::IUpgradeEvents {
 public:
  TConsoleWindow(TEventLoop& loop, TMismatchAnswer onMismatch, TProgressStyle progress);

  // The tick timer that StopTicks stops.
  void SetTicks(serial::IPeriodicTimer* ticks) { ticks_ = ticks; }
  bool Closed() const { return closed_; }
  // An error a handler raised, shown as the default error handler shows it,
  // on one line: line breaks and other control bytes that a text taken from
  // a file may hold are written as escapes. An I/O error, which names only
  // its number, gets the system's reason beside it.
  // `detail`: which file and what to do, for an error about a file; its own
  // line after the error's ("[error] " both), none when empty.
  void ShowError(const std::string& text, int systemError = 0, const std::string& detail = {});
  // The folder the include files are read from, for the lines that name one.
  void SetIncludeFolder(std::string folder) { includeFolder_ = std::move(folder); }

  // One line of the log.
  void LogLine(const std::string& line);
  // --quiet: the lines the log writes at start-up (the directions) are left
  // off the console from here until StartedUp reaches this listener, which
  // hears it after the log's renderer. The log file keeps them.
  void LeaveOffStartUpLines() { leaveOff_ = true; }
  // Text for a person on stderr, as it is.
  void Say(const std::string& text);

  // --- Progress (ProgressListener.h) ---
  void SetDownloadProgress(int position) override;
  void SetFlashProgress(int position) override;
  void SetCounter(long sent, long total) override;
  void SetAnimation(bool) override {}

  // --- Interaction ---
  void MessageBox(const std::string& text) override { Tagged("message", text); }
  upgrade::TConfirmAnswer Confirm(const std::string& text) override;
  void Information(const std::string& text) override { Tagged("information", text); }
  void StopTicks() override;
  void PumpMessages() override { loop_.Pump(); }
  void CloseWindow() override;
  void KeepAnswering() override;

  // --- What the console adds to the log (UpgradeEvents.h) ---
  void StartedUp(bool) override { leaveOff_ = false; }
  void ModeChosen(int mode) override { mode_ = mode; }
  void AddressesReceived(std::uint32_t box, std::uint32_t include) override;
  void AddressMismatch() override { mismatch_ = true; }

  // The plain progress line for `percent` of the image, and for the flash
  // write `seconds` into it.
  static std::string DownloadLine(int percent, long sent, long total, double rate, long secondsLeft);
  static std::string FlashLine(int percent, long seconds);
  // The line beside the address question: which address each side gives.
  static std::string AddressesLine(const std::string& includeFile, std::uint32_t include, std::uint32_t box);

 private:
  void Tagged(const char* tag, const std::string& text);
  void DrawProgress();
  void PlainProgress();

  TEventLoop& loop_;
  TMismatchAnswer onMismatch_;
  TConsoleWriter& console_;
  serial::IPeriodicTimer* ticks_ = nullptr;
  bool closed_ = false;
  const TProgressStyle progress_;
  bool leaveOff_ = false;
  int download_ = -1;
  int flash_ = -1;
  long sent_ = 0;
  long total_ = 0;
  TTransferPace pace_;
  // Plain progress: the last tenth of the image said, when the flash write
  // began and when it was last said.
  long saidTenth_ = 0;
  std::int64_t flashStartMs_ = -1;
  std::int64_t flashSaidMs_ = 0;
  bool flashEndSaid_ = false;
  // The address question's two sides.
  int mode_ = 0;
  std::string includeFolder_{upgrade::kDefaultIncludeFolder};
  bool mismatch_ = false;
  std::uint32_t boxAddress_ = 0;
  std::uint32_t includeAddress_ = 0;
};

}  // namespace stb::app
