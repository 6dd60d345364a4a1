// What the upgrade may do with the window: exactly these operations, nothing
// else. The operator window implements them with its toolkit, the headless
// front end on the console, tests with a recording fake.
#pragma once

#include <string>

namespace stb::upgrade {

enum class TConfirmAnswer { Yes, No, Neither };

class IWindowOperations {
 public:
  virtual ~IWindowOperations() = default;

  // Appends one line at the end of the log (an empty text appends an empty line).
  virtual void LogLine(const std::string& line) = 0;
  // Progress positions are 0 to 100.
  virtual void SetDownloadProgress(int position) = 0;
  virtual void SetFlashProgress(int position) = 0;
  // The byte counter: bytes sent of bytes in all, shown as "( sent / total )"
  // (Detail in Upgrade.h).
  virtual void SetCounter(long sent, long total) = 0;
  virtual void SetAnimation(bool running) = 0;
  // Modal boxes; each returns when the operator dismisses it.
  virtual void MessageBox(const std::string& text) = 0;
  virtual TConfirmAnswer Confirm(const std::string& text) = 0;
  virtual void Information(const std::string& text) = 0;
  // No further tick is delivered after this.
  virtual void StopTicks() = 0;
  // Handles every window message waiting, then returns.
  virtual void PumpMessages() = 0;
  // While the upgrade waits for the box, at least every kAnsweringSliceMs
  // (Upgrade.h): lets the window repaint and answer the desktop, which
  // otherwise calls a window silent for a few seconds hung and offers to
  // kill the program in the middle of the flash write. Keys and mouse input
  // stay queued, no tick or poll runs, and a close the operator asks for
  // waits for the end of the upgrade as ever. A window that can be left
  // silent (the console) needs nothing.
  virtual void KeepAnswering() {}
  // Closes the main window; the program ends once control is back in its loop.
  virtual void CloseWindow() = 0;

  // True from the go message to the end of the upgrade: the box is taking
  // the image, and stopping the program then can leave it unusable. A front
  // end may hold off interrupts for that stretch; the window needs nothing.
  virtual void BoxTakingImage(bool /*taking*/) {}
};

}  // namespace stb::upgrade
