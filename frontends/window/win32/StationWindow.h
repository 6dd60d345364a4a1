// TStationWindow on Win32: the station window (--station --window). A bar
// across the top (the masked mode code, Start, "Stop taking boxes", what
// the station does and its counters) over one tile per port. It only wires
// and draws: every decision is the station window model's, and what the
// tiles show is what the ports reported, taken at each turn of a timer.
#pragma once

#include "Win32.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PortLogWindow.h"
#include "StationTiles.h"
#include "StationWindowModel.h"
#include "Interaction.h"

namespace stb::winui {

// What tests give the window in place of an operator.
struct TStationWindowHooks {
  // Answers the question asked when the window is closed during upgrades
  // (tests); empty: it is asked.
  std::function<upgrade::TConfirmAnswer(const std::wstring& question)> AnswerClose;
};

class TStationWindow {
 public:
  // The window (not shown yet) over the station window model; a --code
  // given is tried at once, and the station starts with it.
  TStationWindow(const app::TOptions& options, app::TStationRun::TLister adapters,
                 app::TStationInterrupts* interrupts, TStationWindowHooks hooks = {});
  ~TStationWindow();
  TStationWindow(const TStationWindow&) = delete;
  TStationWindow& operator=(const TStationWindow&) = delete;

  // Shows the window, with the code field holding the focus while a code
  // is wanted.
  void Show();
  // The message loop, until the window is gone. Returns the station's exit
  // status.
  int Run();
  void Dispatch(const MSG& message);

  // --- Handlers ---
  // One turn of the timer: the model's, then what changed is drawn.
  void Turn();
  // Start, or Enter in the code field: the typed code.
  void Start();
  void StopTakingBoxes();
  // The tile of `index` was opened: its port's log.
  void OpenLog(std::size_t index);

  // --- Components ---
  HWND Handle() const { return hwnd_; }
  bool Closed() const { return hwnd_ == nullptr; }
  HWND CodeField() const { return code_; }
  HWND StartButton() const { return start_; }
  HWND StopButton() const { return stop_; }
  HWND StatusText() const { return status_; }
  HWND CountersText() const { return counters_; }
  HWND CodeMessage() const { return message_; }
  TStationTiles& Tiles() { return *tiles_; }
  // The log window of `port`, once opened; nullptr before.
  const TPortLogWindow* LogWindow(const std::string& port) const;
  const app::TStationWindowModel& Model() const { return model_; }

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildComponents();
  HWND MakeControl(const wchar_t* kind, DWORD style, const layout::TBounds& bounds, const std::wstring& text,
                   int id = 0, DWORD exStyle = 0);
  void OnClose();
  // Sets a control's text when it differs from what it shows.
  static void SetText(HWND control, const std::string& text);
  // The bar as the model stands: the code's controls, the stop button,
  // the station's state and counters.
  void ShowBar();

  app::TStationWindowModel model_;
  TStationWindowHooks hooks_;
  HWND hwnd_ = nullptr;
  HFONT face_ = nullptr;
  HFONT bold_ = nullptr;
  HBRUSH messageBrush_ = nullptr;
  HWND code_ = nullptr;
  HWND start_ = nullptr;
  HWND stop_ = nullptr;
  HWND status_ = nullptr;
  HWND counters_ = nullptr;
  HWND message_ = nullptr;
  std::unique_ptr<TStationTiles> tiles_;
  std::vector<app::TPortView> ports_;  // as drawn at the last turn
  std::map<std::string, std::unique_ptr<TPortLogWindow>> logs_;
  bool asking_ = false;       // the close question is on the screen
  bool blockingEnd_ = false;  // the session's end waits, with our reason
};

}  // namespace stb::winui
