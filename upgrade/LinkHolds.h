// What the upgrade changes on the serial link for a stretch of its run, and
// gives back however that stretch ends: on return, on failure, or when an
// error leaves it.
#pragma once

#include <cstdint>

#include "SerialLink.h"

namespace stb::upgrade {

// Holds off the link's receive polling. A poll that ran while the window
// pumps its messages would take and drop whatever the box has sent by then,
// bytes the next read of the protocol may need.
class TPollingHold {
 public:
  explicit TPollingHold(serial::TSerialLink& link) : link_(link) { link_.SuspendPolling(); }
  ~TPollingHold() { link_.ResumePolling(); }
  TPollingHold(const TPollingHold&) = delete;
  TPollingHold& operator=(const TPollingHold&) = delete;

 private:
  serial::TSerialLink& link_;
};

// Sets the link's input time-out, and puts back the one it had.
class TInputTimeoutHold {
 public:
  TInputTimeoutHold(serial::TSerialLink& link, std::uint32_t ms)
      : link_(link), previous_(link.InputTimeout()) {
    link_.SetInputTimeout(ms);
  }
  ~TInputTimeoutHold() { link_.SetInputTimeout(previous_); }
  TInputTimeoutHold(const TInputTimeoutHold&) = delete;
  TInputTimeoutHold& operator=(const TInputTimeoutHold&) = delete;

 private:
  serial::TSerialLink& link_;
  const std::uint32_t previous_;
};

}  // namespace stb::upgrade
