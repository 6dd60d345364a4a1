// A pseudo-terminal pair for tests that need a real line: the component opens
// the device side by its path, the test plays the far end on the master side.
// The serial tests' far end on POSIX; nothing stops it from hanging up.
#pragma once

#include <cstdint>
#include <string>

#include "FarEnd.h"

namespace stb::testing {

// A pseudo-terminal's number kept from the rest of the system while this
// lives. The kernel hands a number out again only once every descriptor of
// its pair is closed; this holds one on the device side. Once the far end is
// gone the name leads to no device at all, rather than to whichever program
// asked next: a program of the test still opening the port by its name (a
// station re-arms it after a box is done or its line dropped) is refused,
// and cannot upgrade someone else's box. Hold it until that program has
// ended.
class TPtyHold {
 public:
  // Holds nothing (Holding() is false) when `device` cannot be opened.
  explicit TPtyHold(const std::string& device);
  ~TPtyHold();
  TPtyHold(const TPtyHold&) = delete;
  TPtyHold& operator=(const TPtyHold&) = delete;

  bool Holding() const { return fd_ >= 0; }
  const std::string& Device() const { return device_; }
  // The name still leads to the pseudo-terminal held, and its far end is
  // still there: what a harness asks before it lets a program open the name
  // again.
  bool StillOurs() const;

 private:
  std::string device_;
  int fd_ = -1;
};

class TPtyPair : public IFarEnd {
 public:
  TPtyPair();  // aborts the test program if no pseudo-terminal can be had
  ~TPtyPair() override;
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& DevicePath() const { return path_; }
  int Master() const { return master_; }
  int Device() const { return device_; }

  std::string NearEnd() const override { return path_; }
  TLineGaps Gaps() const override { return {}; }
  // Far end sends these bytes towards the component.
  void Send(const std::string& bytes) override;
  // Far end reads what the component sent: up to `n` bytes, waiting at most
  // `timeoutMs` for them.
  std::string Receive(std::size_t n, int timeoutMs = 2000) override;
  // Waits until the device side's input queue holds at least `n` bytes.
  bool WaitQueued(std::size_t n, int timeoutMs = 2000);
  // Bytes waiting on the device side's input queue.
  int Queued() const;
  // Far end goes away: the device side sees a hang-up.
  void HangUp() override;

 private:
  int master_ = -1;
  // Held open so the master survives the component closing, and so the
  // number stays this pair's after a hang-up (as TPtyHold keeps it).
  int device_ = -1;
  std::string path_;
};

}  // namespace stb::testing
