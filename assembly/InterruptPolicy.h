// Who is told where an upgrade stands, for the line an interrupt leaves, and
// who decides what an interrupt does. The assembly reports to one of these;
// a front end that runs one upgrade per process takes the process-wide
// policy of Interrupts.h, one that runs several at once brings its own.
#pragma once

#include <string>

#include "SerialPlatform.h"

namespace stb::app {

class IInterruptPolicy {
 public:
  virtual ~IInterruptPolicy() = default;

  // At start-up, before the port opens.
  virtual void Install() = 0;
  // The port to let go of on the way out; kNoHandle when there is none.
  virtual void SetPortToRelease(serial::THandle port) = 0;
  // The log file's descriptor, to which a stop line goes too; -1: none.
  virtual void SetStopRecord(int fd) = 0;
  // Where the upgrade stands: the numbered line of the log it last reached
  // ("0. BootLoader Mode", "3. Start DownLoad"), and the bytes sent.
  virtual void NoteStep(const std::string& title) = 0;
  virtual void NoteCounter(long sent, long total) = 0;
  // From the go message to the end of the upgrade.
  virtual void SetBoxTakingImage(bool taking) = 0;
};

// The policy of Interrupts.h: one upgrade in the process, signals handled
// in a signal handler.
IInterruptPolicy& ProcessInterruptPolicy();

}  // namespace stb::app
