// The Win32 operator window under Wine on a display: what reaches the key
// handler from wherever a character is typed, what the log shows, the
// counter, the animation, the timers, and how start-up fails. The port is
// one that does not exist; nothing here needs the box.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "OperatorWindow.h"
#include <commctrl.h>
#include "HostPorts.h"
#include "ScratchFolderFixture.h"
#include "WideText.h"

namespace stb::winui {
namespace {

constexpr char kNoPort[] = "\\\\.\\COM77";

struct TBoxShown {
  TBoxKind Kind;
  std::wstring Text;
};

class Win32Window : public TScratchFolderFixture {
 protected:
  Win32Window() : TScratchFolderFixture("stb-winui-") {}
  void TearDown() override {
    window_.reset();
    TScratchFolderFixture::TearDown();
  }

  TOperatorWindow& Make(app::TOptions options = {}) {
    if (options.Port.empty()) options.Port = kNoPort;
    TOperatorWindowHooks hooks;
    hooks.AnswerBox = [this](TBoxKind kind, const std::wstring& text) {
      boxes_.push_back({kind, text});
      return upgrade::TConfirmAnswer::Yes;
    };
    window_ = std::make_unique<TOperatorWindow>(options, hooks);
    return *window_;
  }

  std::wstring Log() const { return Text(window_->Log()); }
  static int Width(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    return r.right - r.left;
  }
  // Runs the window's messages for a while, as its loop would.
  void Pump(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      window_->PumpMessages();
      Sleep(5);
    }
  }
  // A character typed with the focus on `where`, as the keyboard delivers it.
  static void Type(HWND where, wchar_t c) { PostMessageW(where, WM_CHAR, c, 1); }
  int Mode() const { return window_->Upgrade().Record().DownloadMode; }

  std::vector<TBoxShown> boxes_;
  std::unique_ptr<TOperatorWindow> window_;
};

TEST_F(Win32Window, StartUpWithoutAPortSaysSoAndStillGivesTheDirections) {
  TOperatorWindow& f = Make();
  ASSERT_TRUE(f.Refusal().empty());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].Kind, TBoxKind::Message);
  // The box's own text as it was, then which port and why on a line of its own.
  const std::wstring& box = boxes_[0].Text;
  const std::wstring first = L"Error: could not connect.  Check COM port settings\r\nPort \\\\.\\COM77: ";
  EXPECT_EQ(box.substr(0, first.size()), first);
  EXPECT_GT(box.size(), first.size()) << "the reason follows the port";
  EXPECT_EQ(SendMessageW(f.Log(), EM_GETLINECOUNT, 0, 0), 13);
  EXPECT_EQ(Log().substr(0, 40), L"WARNING !!! --- Check DOWNLOAD ADDRESS\r\n");
  EXPECT_EQ(Text(f.CounterLabel()), L"( 0 / 0 )");
  EXPECT_TRUE(f.TickTimer().Running());

  wchar_t caption[80];
  GetWindowTextW(f.Handle(), caption, 80);
  EXPECT_STREQ(caption, L"::::: Orvanta STB  Serial DownLoader v3.3 :::::");
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(f.Handle(), GWL_STYLE));
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  RECT outer;
  GetWindowRect(f.Handle(), &outer);
  EXPECT_EQ(outer.right - outer.left, 568);
  EXPECT_EQ(outer.bottom - outer.top, 710);
  EXPECT_EQ(SendMessageW(f.DownloadBar(), PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageW(f.FlashBar(), PBM_GETRANGE, FALSE, 0), 100);
  const auto log = static_cast<DWORD>(GetWindowLongPtrW(f.Log(), GWL_STYLE));
  EXPECT_TRUE(log & ES_READONLY);
  EXPECT_TRUE(log & WS_VSCROLL);
  EXPECT_TRUE(log & ES_AUTOHSCROLL) << "no word wrap";
}

TEST_F(Win32Window, APortChosenFromTheConnectionBoxIsTriedAndNoneChosenLeavesItClosed) {
  // The ports offered, neither of them there: the first chosen is said in a
  // box of its own, then OK leaves the window as the box alone would.
  std::vector<std::wstring> said;
  std::size_t offered = 0;
  TOperatorWindowHooks hooks;
  hooks.AnswerBox = [this](TBoxKind kind, const std::wstring& text) {
    boxes_.push_back({kind, text});
    return upgrade::TConfirmAnswer::Yes;
  };
  hooks.ListPorts = [] {
    return std::vector<serial::TPortEntry>{{"COM78", "", false, ""}, {"COM79", "", false, ""}};
  };
  hooks.AnswerConnection = [&](const std::wstring& text, const std::vector<serial::TPortEntry>& ports) {
    said.push_back(text);
    offered = ports.size();
    return said.size() == 1 ? ports[1].Name : std::string();
  };
  app::TOptions options;
  options.Port = kNoPort;
  window_ = std::make_unique<TOperatorWindow>(options, hooks);
  TOperatorWindow& f = *window_;

  ASSERT_EQ(said.size(), 2u);
  EXPECT_EQ(offered, 2u);
  EXPECT_NE(said[0].find(L"\nPort \\\\.\\COM77: "), std::wstring::npos);
  EXPECT_NE(said[1].find(L"\nPort \\\\.\\COM79: "), std::wstring::npos) << "the port chosen, as it is opened";
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(f.Upgrade().Record().DownloadMode);
  EXPECT_EQ(SendMessageW(f.Log(), EM_GETLINECOUNT, 0, 0), 13) << "the directions once";
  EXPECT_TRUE(f.TickTimer().Running());
  for (wchar_t c : std::wstring(L"APP103")) Type(f.Log(), c);
  f.PumpMessages();
  EXPECT_EQ(Mode(), 3) << "the window still takes a code";
}

TEST_F(Win32Window, ALogOrTraceThatCannotBeWrittenStartsNothing) {
  app::TOptions options;
  options.LogFile = (dir_ / "no such folder" / "run.log").string();
  TOperatorWindow& f = Make(options);
  EXPECT_NE(f.Refusal().find("cannot write the log file"), std::string::npos) << f.Refusal();
  EXPECT_TRUE(boxes_.empty()) << "the port is not even tried";
  EXPECT_EQ(GetWindowTextLengthW(f.Log()), 0);
  EXPECT_FALSE(f.TickTimer().Running());
  Type(f.Log(), L'A');
  f.PumpMessages();  // a key with nothing behind the window goes nowhere
}

TEST_F(Win32Window, EveryCharacterTypedAnywhereInTheWindowReachesTheHandlerOnce) {
  TOperatorWindow& f = Make();
  const std::wstring directions = Log();
  // A character taken twice, or lost, breaks the code: no mode then.
  const HWND where[] = {f.Log(),         f.Handle(),       f.ProgressPanel(),
                        f.DownloadBar(), f.CounterLabel(), f.Animation().Handle()};
  const wchar_t code[] = L"APP103";
  for (int i = 0; i < 6; ++i) Type(where[i], code[i]);
  f.PumpMessages();
  EXPECT_EQ(Mode(), 3);
  // Nothing typed is shown: the log only grew by the mode's own lines.
  const std::wstring log = Log();
  EXPECT_EQ(log.substr(0, directions.size()), directions);
  EXPECT_NE(log.find(L"0. Application Software 1. Mode"), std::wstring::npos);
  EXPECT_EQ(log.find(L"APP103"), std::wstring::npos);
  EXPECT_EQ(Text(f.CounterLabel()), L"( 0 / 4096 )");
}

TEST_F(Win32Window, AHeldKeysRepeatCountIsNotTakenAsMoreCharacters) {
  // The system makes one WM_CHAR of each key-down, whatever repeat count
  // the key-down carries: the count describes the keystroke, and a held key
  // sends a message for each character it repeats.
  TOperatorWindow& f = Make();
  MSG held{f.Log(), WM_KEYDOWN, '1', MAKELPARAM(3, MapVirtualKeyW('1', MAPVK_VK_TO_VSC)), 0, {}};
  TranslateMessage(&held);
  MSG made;
  int chars = 0;
  while (PeekMessageW(&made, f.Log(), WM_CHAR, WM_CHAR, PM_REMOVE)) {
    ++chars;
    EXPECT_EQ(LOWORD(made.lParam), 3);
  }
  EXPECT_EQ(chars, 1);
  // So each such message is one character typed.
  for (wchar_t c : std::wstring(L"APP103")) PostMessageW(f.Log(), WM_CHAR, c, MAKELPARAM(3, 0));
  f.PumpMessages();
  EXPECT_EQ(Mode(), 3);
}

TEST_F(Win32Window, ACharacterOutsideTheEightBitSetBreaksTheCodeBeingTyped) {
  TOperatorWindow& f = Make();
  for (wchar_t c : std::wstring(L"APP\u0416103")) Type(f.Log(), c);
  f.PumpMessages();
  EXPECT_EQ(Mode(), 0);
  // Latin-1 letters are 8-bit characters: they break a code the same way,
  // and typing the whole code again chooses the mode.
  for (wchar_t c : std::wstring(L"APP\u00e9APP103")) Type(f.Log(), c);
  f.PumpMessages();
  EXPECT_EQ(Mode(), 3);
}

TEST_F(Win32Window, AnIncludeFileErrorGoesToTheErrorBoxAndTheWindowStays) {
  TOperatorWindow& f = Make();
  boxes_.clear();
  for (wchar_t c : std::wstring(L"BOOT01")) Type(f.Log(), c);  // no inc/bl.inc
  f.PumpMessages();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].Kind, TBoxKind::Error);
  // The error's own text on its first line, which file and what to do on
  // the next.
  const std::wstring& text = boxes_[0].Text;
  const auto lineEnd = text.find(L'\n');
  ASSERT_NE(lineEnd, std::wstring::npos);
  EXPECT_NE(text.find(L"bl.inc", lineEnd), std::wstring::npos);
  EXPECT_FALSE(f.Closed());
}

TEST_F(Win32Window, LogLinesAreJoinedWithCrLfAndWidenedByteByByte) {
  TOperatorWindow& f = Make();
  f.LogLine("");
  f.LogLine("caf\xe9 \xff");
  f.LogLine(std::string("a\0b\nc", 5));
  const std::wstring log = Log();
  const std::wstring tail = L"-\r\n\r\ncaf\u00e9 \u00ff\r\na\u2400b\r\nc";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(Win32Window, ALongLogKeepsEveryLineAndStaysQuick) {
  TOperatorWindow& f = Make();
  const std::string line(100, 'x');
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5000; ++i) f.LogLine(std::to_string(i) + line);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(SendMessageW(f.Log(), EM_GETLINECOUNT, 0, 0), 13 + 5000);
  const std::wstring log = Log();
  EXPECT_EQ(log.substr(log.size() - 104), L"4999" + std::wstring(100, L'x'));
  // About 1 ms a line under Wine; setting the whole text again each line
  // would take minutes here.
  EXPECT_LT(took, std::chrono::seconds(30));
}

TEST_F(Win32Window, CounterAndProgressShowWhatTheUpgradeSets) {
  TOperatorWindow& f = Make();
  const int narrow = Width(f.CounterLabel());
  f.SetCounter(30720, 30720);
  EXPECT_EQ(Text(f.CounterLabel()), L"( 30720 / 30720 )");
  EXPECT_GT(Width(f.CounterLabel()), narrow) << "the label grows with its text";
  f.SetDownloadProgress(42);
  f.SetFlashProgress(100);
  EXPECT_EQ(SendMessageW(f.DownloadBar(), PBM_GETPOS, 0, 0), 42);
  EXPECT_EQ(SendMessageW(f.FlashBar(), PBM_GETPOS, 0, 0), 100);
}

TEST_F(Win32Window, TheLongestCounterAndTheWebAddressShowWhole) {
  TOperatorWindow& f = Make();
  // Where `control` stands in `parent`'s client area, and how wide its text
  // is in its own font.
  auto placeIn = [](HWND control, HWND parent) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  auto textWidth = [](HWND control) {
    const std::wstring text = Text(control);
    const HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return static_cast<int>(size.cx);
  };

  f.SetCounter(67107840, 67107840);  // the largest image a box takes
  ASSERT_EQ(Text(f.CounterLabel()), L"( 67107840 / 67107840 )");
  RECT panel;
  GetClientRect(f.ProgressPanel(), &panel);
  const RECT counter = placeIn(f.CounterLabel(), f.ProgressPanel());
  EXPECT_GE(counter.right - counter.left, textWidth(f.CounterLabel()));
  EXPECT_LE(counter.right, panel.right - 2) << "inside the panel's raised edge";
  EXPECT_GE(counter.left, placeIn(f.DownloadBar(), f.ProgressPanel()).right) << "clear of the bar";

  // The address's three pieces, each whole, in a row, on the banner.
  int left = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const RECT piece = placeIn(f.WebAddress(i), f.Handle());
    EXPECT_GE(piece.right - piece.left, textWidth(f.WebAddress(i))) << i;
    EXPECT_GE(piece.left, left) << i;
    left = piece.right;
  }
  EXPECT_LE(left, layout::kBanner.Left + layout::kBanner.Width);
}

TEST_F(Win32Window, TheAnimationMovesOnlyWhileOn) {
  TOperatorWindow& f = Make();
  EXPECT_EQ(f.Animation().Frame(), TCopyAnimation::kStopFrame);
  Pump(200);
  EXPECT_EQ(f.Animation().Frame(), TCopyAnimation::kStopFrame);
  f.SetAnimation(true);
  for (int waited = 0; waited < 3000 && f.Animation().Frame() == TCopyAnimation::kStopFrame; waited += 50)
    Pump(50);
  EXPECT_NE(f.Animation().Frame(), TCopyAnimation::kStopFrame);
  f.SetAnimation(false);
  EXPECT_EQ(f.Animation().Frame(), TCopyAnimation::kStopFrame);
  Pump(200);
  EXPECT_EQ(f.Animation().Frame(), TCopyAnimation::kStopFrame);
}

TEST_F(Win32Window, TicksStopForGoodAndAClosedWindowEndsTheLoop) {
  TOperatorWindow& f = Make();
  f.StopTicks();
  EXPECT_FALSE(f.TickTimer().Running());
  f.CloseWindow();
  EXPECT_FALSE(IsWindowVisible(f.Handle())) << "off the screen at once";
  EXPECT_FALSE(f.Closed()) << "destroyed only once back in the loop";
  EXPECT_EQ(f.Run(), 0);
  EXPECT_TRUE(f.Closed());
}

TEST(Win32PeriodicTimer, CallsOnTheLoopAndNeverAfterStop) {
  TWin32PeriodicTimer timer;
  int calls = 0;
  timer.SetCallback([&] { ++calls; });
  timer.Start(10);
  auto pump = [](int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG m;
    while (std::chrono::steady_clock::now() < until) {
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      Sleep(2);
    }
  };
  pump(200);
  EXPECT_GT(calls, 2);
  Sleep(50);  // a tick is due as it stops
  timer.Stop();
  calls = 0;
  pump(100);
  EXPECT_EQ(calls, 0);
}

TEST(PortName, ABareComNameGetsItsDevicePrefix) {
  using serial::PortDevicePath;
  EXPECT_EQ(PortDevicePath("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(PortDevicePath("com12"), "\\\\.\\COM12");  // COM10 and up open only so
  EXPECT_EQ(PortDevicePath("\\\\.\\COM3"), "\\\\.\\COM3");
  EXPECT_EQ(PortDevicePath("COM1:"), "\\\\.\\COM1");  // every spelling of a port opens the one name
  for (const char* kept : {"", "COM", "COMX", "LPT1", "/dev/ttyS0"}) EXPECT_EQ(PortDevicePath(kept), kept);
}

}  // namespace
}  // namespace stb::winui
