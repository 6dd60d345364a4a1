// The Win32 station window under Wine on a display: the code taken before
// any port is touched, the tiles and what they show, what a turn repaints,
// Stop taking boxes, closing, and a port's log window. The ports are ones
// that do not exist; the boxes themselves are driven in
// station-window-under-wine.sh.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "LayoutGdi.h"
#include "ScratchFolderFixture.h"
#include "StationWindow.h"
#include "StationWindowLayout.h"

namespace stb::winui {
namespace {

namespace fs = std::filesystem;
namespace s = layout::station;

class Win32StationWindow : public TScratchFolderFixture {
 protected:
  Win32StationWindow() : TScratchFolderFixture("stb-station-") {}
  void TearDown() override {
    window_.reset();
    TScratchFolderFixture::TearDown();
  }

  TStationWindow& Make(int ports, const std::string& code = "") {
    app::TOptions options;
    options.Station = options.Window = true;
    options.Code = code;
    for (int i = 0; i < ports; ++i) options.Ports.push_back("\\\\.\\COM" + std::to_string(70 + i));
    options.LogDir = (dir_ / "logs").string();
    options.Report = (dir_ / "report.jsonl").string();
    TStationWindowHooks hooks;
    hooks.AnswerClose = [this](const std::wstring& question) {
      questions_.push_back(question);
      return upgrade::TConfirmAnswer::Yes;
    };
    window_ = std::make_unique<TStationWindow>(
        options, [] { return std::vector<std::string>{}; }, nullptr, hooks);
    window_->Show();
    return *window_;
  }
  // Runs the window's messages for a while, as its loop would.
  void Pump(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG message;
    while (std::chrono::steady_clock::now() < until) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) window_->Dispatch(message);
      }
      Sleep(5);
    }
  }
  // Turns until `done`, at most `ms`.
  template <typename F>
  bool TurnUntil(F done, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      if (done()) return true;
      if (!window_->Closed()) window_->Turn();
      Pump(20);
    }
    return done();
  }
  // Types into `where` as the keyboard does, Enter last when asked.
  void Type(HWND where, const std::wstring& text, bool enter) {
    SetFocus(where);
    for (const wchar_t c : text) PostMessageW(where, WM_CHAR, c, 1);
    if (enter) PostMessageW(where, WM_KEYDOWN, VK_RETURN, 1);
    Pump(50);
  }
  // The colour a tile paints at the left of its middle, inside its edge.
  static COLORREF TileColor(HWND tile) {
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, s::kTileWidth, s::kTileHeight);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(tile, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    const COLORREF color = GetPixel(dc, 2, s::kTileHeight / 2);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return color;
  }

  std::vector<std::wstring> questions_;
  std::unique_ptr<TStationWindow> window_;
};

TEST_F(Win32StationWindow, AWrongCodeTouchesNoPortAndTheRightOneTypedWithEnterStartsEveryPort) {
  TStationWindow& w = Make(2);
  wchar_t caption[64];
  GetWindowTextW(w.Handle(), caption, 64);
  EXPECT_STREQ(caption, L"stb-downloader station");
  EXPECT_TRUE(GetWindowLongPtrW(w.CodeField(), GWL_STYLE) & ES_PASSWORD) << "the code is never shown";
  EXPECT_EQ(GetFocus(), w.CodeField());
  EXPECT_FALSE(IsWindowEnabled(w.StopButton()));

  Type(w.CodeField(), L"NOPE99", true);
  EXPECT_TRUE(w.Model().WaitsForCode());
  EXPECT_FALSE(Text(w.CodeMessage()).empty()) << "a wrong code says so";
  w.Turn();
  // The named ports show before a code is accepted, untouched.
  ASSERT_EQ(w.Tiles().Count(), 2u);
  EXPECT_NE(Text(w.Tiles().Tile(0)).find(L"\r\nwaiting for the code\r\n"), std::wstring::npos)
      << Text(w.Tiles().Tile(0));
  EXPECT_FALSE(fs::exists(dir_ / "report.jsonl"));
  EXPECT_TRUE(IsWindowEnabled(w.CodeField()));

  // Typed over the wrong one (it stays selected), Enter in the field.
  Type(w.CodeField(), L"APP103", true);
  ASSERT_FALSE(w.Model().WaitsForCode()) << "Enter in the field starts";
  EXPECT_TRUE(Text(w.CodeMessage()).empty());
  EXPECT_EQ(GetWindowTextLengthW(w.CodeField()), 0) << "the code does not stay behind in the field";
  EXPECT_FALSE(IsWindowEnabled(w.CodeField()));
  EXPECT_FALSE(IsWindowEnabled(w.StartButton()));
  EXPECT_TRUE(IsWindowEnabled(w.StopButton()));
  ASSERT_EQ(w.Tiles().Count(), 2u);
  EXPECT_EQ(Text(w.StatusText()), L"taking boxes");
  EXPECT_EQ(Text(w.CountersText()).rfind(L"upgraded 0   refused 0   failed 0   total 0   running ", 0), 0u)
      << Text(w.CountersText());
}

TEST_F(Win32StationWindow, TilesShowTheirPortAndStateAndATurnWithNothingNewRepaintsNone) {
  TStationWindow& w = Make(64, "APP103");
  ASSERT_FALSE(w.Model().WaitsForCode()) << "--code starts at once";
  ASSERT_EQ(w.Tiles().Count(), 64u);
  // A port that is not there: its tile says so, in the colour of a port gone.
  ASSERT_TRUE(TurnUntil([&] {
    for (std::size_t i = 0; i < 64; ++i)
      if (w.Tiles().Status(i) != app::TPortStatus::Gone) return false;
    return true;
  })) << Text(w.Tiles().Tile(0));
  w.Turn();
  Pump(100);
  for (const std::size_t i : {std::size_t{0}, std::size_t{63}}) {
    const std::wstring text = Text(w.Tiles().Tile(i));
    EXPECT_EQ(text.substr(0, text.find(L"\r\n")), L"\\\\.\\COM" + std::to_wstring(70 + i)) << text;
    EXPECT_NE(text.find(L"\r\nupgraded 0  refused 0  failed 0"), std::wstring::npos) << text;
    EXPECT_EQ(TileColor(w.Tiles().Tile(i)), Rgb(s::kStatusColors[static_cast<int>(app::TPortStatus::Gone)]));
  }
  // Four tiles a row in the window as it opens, the rest scrolled.
  RECT first, fifth;
  GetWindowRect(w.Tiles().Tile(0), &first);
  GetWindowRect(w.Tiles().Tile(4), &fifth);
  EXPECT_EQ(fifth.left, first.left);
  EXPECT_EQ(fifth.top - first.top, s::kTileHeight + s::kTileGap);

  // 64 ports that change nothing cost no paint: only what changed is drawn.
  w.Tiles().TakeRepaints();
  for (int i = 0; i < 3; ++i) w.Turn();
  EXPECT_EQ(w.Tiles().TakeRepaints(), 0);
}

TEST_F(Win32StationWindow, StopTakingBoxesThenClosingEndsTheStationWithItsStatus) {
  TStationWindow& w = Make(2, "APP103");
  SendMessageW(w.StopButton(), BM_CLICK, 0, 0);
  EXPECT_NE(w.Model().StopLevel(), app::kRunning);
  EXPECT_EQ(Text(w.StatusText()).substr(0, 20), L"taking no new boxes:");
  // The same button takes boxes again.
  EXPECT_TRUE(IsWindowEnabled(w.StopButton()));
  EXPECT_EQ(Text(w.StopButton()), L"Take boxes again");
  SendMessageW(w.StopButton(), BM_CLICK, 0, 0);
  EXPECT_EQ(Text(w.StatusText()), L"taking boxes");
  EXPECT_EQ(Text(w.StopButton()), L"Stop taking boxes");
  SendMessageW(w.StopButton(), BM_CLICK, 0, 0);
  // The ports stay, idle; the window stays until it is closed.
  ASSERT_TRUE(
      TurnUntil([&] { return Text(w.Tiles().Tile(0)).find(L"taking no boxes") != std::wstring::npos; }));
  EXPECT_FALSE(w.Closed());
  PostMessageW(w.Handle(), WM_CLOSE, 0, 0);
  Pump(50);
  EXPECT_FALSE(IsWindowEnabled(w.StopButton())) << "a close is not undone";
  ASSERT_TRUE(TurnUntil([&] { return w.Closed(); }));
  EXPECT_TRUE(questions_.empty()) << "nothing was under way: nothing to ask";
  EXPECT_TRUE(fs::exists(dir_ / "report.jsonl"));
}

TEST_F(Win32StationWindow, ClosedBeforeACodeItEndsAtOnceWithTheUsageStatus) {
  TStationWindow& w = Make(2);
  PostMessageW(w.Handle(), WM_CLOSE, 0, 0);
  Pump(50);
  EXPECT_TRUE(w.Closed());
  EXPECT_EQ(w.Model().ExitStatus(), 2);
  EXPECT_TRUE(questions_.empty());
}

TEST_F(Win32StationWindow, EnterOnATileOpensItsPortsLogWhichFollowsTheFile) {
  TStationWindow& w = Make(2, "APP103");
  ASSERT_TRUE(TurnUntil([&] { return !w.Model().Ports().at(1).LogFile.empty(); }));
  w.Turn();
  const app::TPortView port = w.Model().Ports().at(1);
  SetFocus(w.Tiles().Tile(1));
  PostMessageW(w.Tiles().Tile(1), WM_KEYDOWN, VK_RETURN, 1);
  Pump(50);
  const TPortLogWindow* log = w.LogWindow(port.Port);
  ASSERT_NE(log, nullptr) << "Enter on the tile opens its log";
  EXPECT_EQ(Text(log->Handle()), std::wstring(L"Log of ") + L"\\\\.\\COM71");
  EXPECT_TRUE(GetWindowLongPtrW(log->Text(), GWL_STYLE) & ES_READONLY);

  // The window shows the file as it grows (the port writes to it too), a
  // line break split between two refreshes as one break.
  std::ofstream(port.LogFile, std::ios::binary | std::ios::app) << "first\r" << std::flush;
  const_cast<TPortLogWindow*>(log)->Refresh();
  std::ofstream(port.LogFile, std::ios::binary | std::ios::app) << "\nsecond\nthird" << std::flush;
  Pump(s::kLogRefreshMs + 300);  // its own timer
  std::ifstream file(port.LogFile, std::ios::binary);
  std::wstring expected;
  char c = 0, last = 0;
  while (file.get(c)) {
    if (c == '\n' && last != '\r') expected += L'\r';
    expected += static_cast<wchar_t>(static_cast<unsigned char>(c));
    last = c;
  }
  const std::wstring text = Text(log->Text());
  EXPECT_EQ(text, expected);
  EXPECT_NE(text.find(L"first\r\nsecond\r\nthird"), std::wstring::npos) << text;

  // Opened again, the same window comes to the front.
  PostMessageW(w.Tiles().Tile(1), WM_LBUTTONDBLCLK, 0, 0);
  Pump(50);
  EXPECT_EQ(w.LogWindow(port.Port), log);
}

TEST(Win32PortLogWindow, WithoutALogFileItSaysHowToKeepOne) {
  TPortLogWindow log(nullptr, "COM3", "", nullptr);
  wchar_t text[128];
  GetWindowTextW(log.Text(), text, 128);
  EXPECT_STREQ(text, L"This station keeps no logs: start it with --log-dir DIR.");
}

}  // namespace
}  // namespace stb::winui
