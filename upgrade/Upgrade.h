// The upgrade of one run: start-up, mode selection by typed code, the
// once-a-second tick that wakes the box and, once the box answers, runs the
// whole upgrade to its end: identity and address checks, the go message, the
// image transfer, verification, flash write and the version table.
//
// Toolkit-free: it says what happens only as events (UpgradeEvents.h), asks
// the operator only through IInteraction, and talks to the box only through
// TSerialLink.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol.h"
#include "ModeTable.h"
#include "SerialLink.h"
#include "UpgradeEvents.h"
#include "UpgradeRecord.h"
#include "Interaction.h"

namespace stb::upgrade {

class TImageStream;

class TUpgrade {
 public:
  TUpgrade(serial::TSerialLink& link, IInteraction& operatorCalls,
           serial::TTickSource clock = serial::TTickSource(&serial::GetTickCount));
  ~TUpgrade();

  // Start-up up to the tick timer, which the window starts itself: mode and
  // matchers, the port (with its message box on failure), the directions,
  // the counter. Returns whether the port opened.
  bool StartUp();

  // The folder the include files are read from (ModeTable.h's default
  // unless set); before the code is typed.
  void SetIncludeFolder(std::string folder) { includeFolder_ = std::move(folder); }
  const std::string& IncludeFolder() const { return includeFolder_; }

  // Every typed character, once. Raises ERunError when the chosen mode's
  // include file cannot be read.
  void KeyPress(char& Key);

  // A key whose character lies outside the 8-bit set. It equals no code's
  // character, so it sets every matcher back to the start, as any other
  // wrong character does.
  void ForeignKeyPress();

  // The tick: wakes the box and, once a mode is chosen, announces it; when
  // the box acknowledges with the chosen mode, stops the ticks and runs the
  // upgrade. Raises ERunError when the image file cannot be opened.
  // A tick that comes while one runs (from the loop of a box it shows, or
  // while the window keeps answering) does nothing: one run, one upgrade.
  void Tick();

  // Sends the image and follows the box to the end of the upgrade; true when
  // it succeeded (the window has then been closed).
  bool SendImage();

  // Who hears what happens (UpgradeEvents.h), after those added before.
  // Add them before start-up, on the thread that runs the upgrade; each
  // must outlive the upgrade or be removed first.
  void AddListener(IUpgradeEvents* listener) { listeners_.Add(listener); }
  void RemoveListener(IUpgradeEvents* listener) { listeners_.Remove(listener); }

  // Ends a running upgrade at its next wait, between blocks or before a
  // resend, from any thread: nothing more goes to the box and no box is
  // shown; the listeners hear Ended (Stopped) and the window is closed. Requested while no box is there,
  // every later tick does nothing.
  void RequestStop() { stopRequested_.store(true); }
  bool StopRequested() const { return stopRequested_.load(); }

  // How long the box may stay silent where it must answer (30 s).
  void SetResponseTimeoutMs(std::uint32_t ms) { responseTimeoutMs_ = ms; }
  std::uint32_t ResponseTimeoutMs() const { return responseTimeoutMs_; }

  // True once an upgrade has run to its successful end.
  bool Succeeded() const { return succeeded_; }

  const TUpgradeRecord& Record() const { return record_; }
  TUpgradeRecord& Record() { return record_; }

 private:
  std::string includeFolder_{kDefaultIncludeFolder};

  // Raised inside the upgrade when the box stays silent past the bound.
  struct ENoResponse {};
  // Raised at the first wait or send after RequestStop.
  struct EStopped {};

  void SelectMode(int mode);

  // --- Start handshake ---
  bool LinkBack();
  bool ReadAcknowledge();
  void MeetBox();
  void RunUpgrade();
  void ReceiveAddressWords();
  TBoxIdentity DecodeIdentity() const;

  // --- Checks and go message ---
  bool CheckIdentity();
  bool CheckAddresses();
  void SendGoMessage();

  // --- Transfer and verification ---
  bool SendBlocks(TImageStream& image, std::uint8_t& total);
  // Reads the rest of a block's answer (or its sync digit) that did not come
  // within the answer's time-out, for up to the grace more: how many of the
  // `count` bytes were read in all. Says so when any came late.
  std::uint32_t ReadLateAnswer(long index, bool syncDigit, std::uint8_t* buffer, std::uint32_t got,
                               std::uint32_t count);
  bool Verify(std::uint8_t total);
  bool ReadReport(std::string_view expected, bool firstWait);
  void WaitForMarker(std::uint8_t marker);
  void SendVersionPair();

  // --- Helpers ---
  // A read of one byte within the link's input time-out, as ReadByte, in
  // slices short enough for the window to keep answering in between.
  bool ReadAnswering(std::uint8_t& value);
  bool ReadAnswering(char& value);
  // Up to `count` bytes, as that many ReadAnswering calls one after the
  // other would read them, up to the first that times out: how many were read.
  std::uint32_t ReadAnswering(std::uint8_t* buffer, std::uint32_t count);
  // The first byte within the time-out as ReadAnswering waits for it, and
  // what is waiting beside it, up to `count`; 0: none came.
  std::uint32_t ReadSomeAnswering(std::uint8_t* buffer, std::uint32_t count);
  // The window's turn between two slices of a wait; no poll runs in it.
  void KeepAnswering();
  std::uint8_t WaitByte();
  char WaitChar() { return static_cast<char>(WaitByte()); }
  // Raises EStopped once a stop has been requested.
  void StopPoint() const;
  // A check's result for the listeners; false ends the upgrade with a
  // refusal the caller then makes.
  bool Checked(TCheck check, bool passed);
  // A check refused the box: the end, the box saying so, the close.
  void Refuse(TCheck check, const std::string& box);
  // The end, then the box `box` (none when empty; an information box when
  // `information`), then the close.
  void EndAndClose(TUpgradeEnd end, const std::string& box, bool information = false);
  bool Fail(TSeen seen, TFailure failure);
  // The box fell silent: before the transfer a refusal of its own, during it
  // a failure under the caller's failure box.
  void NoResponseBeforeTransfer();
  bool NoResponseInTransfer();
  // Tells the listeners that the port went away, when it has, once an upgrade.
  void SayIfPortLost();
  void Step(TStep step);
  // Tells the listeners how the upgrade ended, once; Step, Sent and Total
  // are filled in here.
  void End(TUpgradeEnd end);

  serial::TSerialLink& link_;
  IInteraction& window_;
  serial::TTickSource clock_;
  std::uint32_t responseTimeoutMs_ = protocol::kDefaultResponseTimeoutMs;
  TUpgradeRecord record_;
  bool succeeded_ = false;
  bool portWasOpen_ = false;       // the port opened at start-up
  bool portLossReported_ = false;  // the port is gone and the operator has been told
  bool inTick_ = false;            // a tick runs, boxes and the whole upgrade included

  TUpgradeListeners listeners_;
  IUpgradeEvents* const events_ = &listeners_;
  std::atomic<bool> stopRequested_{false};
  // Of the upgrade under way: whether the listener has heard Ended, the go
  // message has gone out, the last numbered step and the bytes acknowledged.
  bool ended_ = true;
  bool goSent_ = false;
  bool portLossSaid_ = false;
  int step_ = 0;
  long acknowledged_ = 0;
  // The image, open from the go message to the end of the transfer.
  std::unique_ptr<TImageStream> image_;
};

// The longest the upgrade reads from the box before the window has its turn
// again (IInteraction::KeepAnswering).
inline constexpr std::uint32_t kAnsweringSliceMs = 100;

// The connection box, at start-up and when the port goes away while waiting.
extern const char kCannotConnect[];

// A position 0 to 100 of `done` out of `total` steps, rounded to the nearest
// integer with halves to the even neighbour.
int ProgressPosition(std::int64_t done, std::int64_t total);

}  // namespace stb::upgrade
