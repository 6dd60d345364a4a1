// What the upgrade asks of the operator and of the window's loop: the
// message boxes and the confirmation, a turn for the window while the box
// is slow, no more ticks, and the close at the end. Everything the upgrade
// has to say goes out as events instead (UpgradeEvents.h): this is only
// what needs an answer, or needs the loop to run.
//
// Every call has a do-nothing default, so a reader of include files or a
// test needs no window at all: a confirmation nobody is asked gets the safe
// answer, exit.
#pragma once

#include <string>

namespace stb::upgrade {

enum class TConfirmAnswer { Yes, No, Neither };

class IInteraction {
 public:
  virtual ~IInteraction() = default;

  // Modal boxes; each returns when the operator dismisses it.
  virtual void MessageBox(const std::string& /*text*/) {}
  // The box that says the port did not open (kCannotConnect, Upgrade.h), at
  // start-up or when the port went away while waiting: a message box unless
  // the front end does more. It may come back with the link's port open: a
  // window lets the operator choose another port there.
  virtual void CannotConnect(const std::string& text) { MessageBox(text); }
  virtual TConfirmAnswer Confirm(const std::string& /*text*/) { return TConfirmAnswer::Yes; }
  virtual void Information(const std::string& /*text*/) {}
  // No further tick is delivered after this.
  virtual void StopTicks() {}
  // Handles every window message waiting, then returns.
  virtual void PumpMessages() {}
  // While the upgrade waits for the box, at least every kAnsweringSliceMs
  // (Upgrade.h): lets the window repaint and answer the desktop, which
  // otherwise calls a window silent for a few seconds hung and offers to
  // kill the program in the middle of the flash write. Keys and mouse input
  // stay queued, no tick or poll runs, and a close the operator asks for
  // waits for the end of the upgrade as ever. A window that can be left
  // silent (the console) needs nothing.
  virtual void KeepAnswering() {}
  // Closes the main window; the program ends once control is back in its loop.
  virtual void CloseWindow() {}
};

}  // namespace stb::upgrade
