// The window's boxes under Wine, answered from another thread as an operator
// would: what their buttons say and how a box that is closed is answered.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "Boxes.h"
#include <commctrl.h>
#include "WideText.h"

namespace stb::winui {
namespace {

using upgrade::TConfirmAnswer;

struct TSeenBox {
  std::vector<std::wstring> Buttons;
};

BOOL CALLBACK AddButton(HWND child, LPARAM seen) {
  wchar_t kind[32];
  GetClassNameW(child, kind, 32);
  if (lstrcmpiW(kind, L"Button") != 0 || !IsWindowVisible(child)) return TRUE;
  wchar_t text[64];
  const int n = GetWindowTextW(child, text, 64);
  reinterpret_cast<TSeenBox*>(seen)->Buttons.emplace_back(text, static_cast<std::size_t>(n));
  return TRUE;
}

// What a click on a button tells its box.
void Click(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

// Shows the box of `kind` and, once it is up, notes its buttons and does
// `answer` to it. A box still up two seconds later is answered with its
// last button, so that a box that refuses to close fails the test instead
// of hanging it.
TConfirmAnswer ShowAndAnswer(TBoxKind kind, TSeenBox& seen, void (*answer)(HWND box)) {
  const std::wstring caption = WidenLatin1(layout::BoxCaption(kind));
  std::atomic<bool> shown{false};
  std::thread operatorHand([&] {
    HWND box = nullptr;
    for (int i = 0; i < 500 && !(box = FindWindowW(nullptr, caption.c_str())); ++i) Sleep(20);
    if (!box) return;
    // Up once it and its buttons show.
    for (int i = 0; i < 250 && seen.Buttons.empty(); ++i) {
      Sleep(20);
      EnumChildWindows(box, AddButton, reinterpret_cast<LPARAM>(&seen));
    }
    shown = true;
    answer(box);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
    if (!IsWindow(box)) return;
    HWND last = nullptr;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t kindName[32];
      GetClassNameW(c, kindName, 32);
      if (lstrcmpiW(kindName, L"Button") == 0) last = c;
    }
    if (last) PostMessageW(last, BM_CLICK, 0, 0);
  });
  const TConfirmAnswer answered = ShowBox(kind, L"Is it so?", nullptr);
  operatorHand.join();
  EXPECT_TRUE(shown) << "no box came up";
  return answered;
}

TEST(Win32Boxes, ButtonsAreTheProgramsOwnAndAClosedConfirmationIsAnsweredNeitherWay) {
  // run-under-wine.sh runs this once more on a German Wine, where the
  // system's own buttons say "&Ja" and "&Nein".
  const std::vector<std::wstring> yesNo = {L"&Yes", L"&No"};
  TSeenBox closed;
  EXPECT_EQ(ShowAndAnswer(TBoxKind::Confirm, closed, [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); }),
            TConfirmAnswer::Neither);
  EXPECT_EQ(closed.Buttons, yesNo);
  // Escape closes it the same way on Windows; Wine's task dialog drops the
  // Escape key, so it is not tried here.

  TSeenBox answered;
  EXPECT_EQ(ShowAndAnswer(TBoxKind::Confirm, answered, [](HWND box) { Click(box, IDNO); }),
            TConfirmAnswer::No);
  EXPECT_EQ(ShowAndAnswer(TBoxKind::Confirm, answered, [](HWND box) { Click(box, IDYES); }),
            TConfirmAnswer::Yes);

  for (TBoxKind kind : {TBoxKind::Message, TBoxKind::Error, TBoxKind::Information}) {
    TSeenBox ok;
    EXPECT_EQ(ShowAndAnswer(kind, ok, [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); }),
              TConfirmAnswer::Neither);
    EXPECT_EQ(ok.Buttons, std::vector<std::wstring>{L"OK"});
  }
}

// A box by `caption`, once it is up with its buttons (nullptr: none came).
HWND WaitForBox(const wchar_t* caption, TSeenBox& seen) {
  HWND box = nullptr;
  for (int i = 0; i < 500 && !(box = FindWindowW(nullptr, caption)); ++i) Sleep(20);
  for (int i = 0; box && i < 250 && seen.Buttons.empty(); ++i) {
    Sleep(20);
    EnumChildWindows(box, AddButton, reinterpret_cast<LPARAM>(&seen));
  }
  return box;
}

TEST(Win32Boxes, TheConnectionBoxLeadsToTheListOfPortsAndTheListGivesTheOneChosen) {
  TSeenBox connection;
  std::thread operatorHand([&] {
    if (HWND box = WaitForBox(L"stb-downloader", connection)) Click(box, 100);
  });
  EXPECT_TRUE(
      ShowConnectionBox(L"Error: could not connect.  Check COM port settings\nPort COM77: x", nullptr));
  operatorHand.join();
  EXPECT_EQ(connection.Buttons, (std::vector<std::wstring>{L"OK", L"Choose another port..."}));

  // The list: one choice a port, the first chosen to begin with.
  TSeenBox list;
  operatorHand = std::thread([&] {
    if (HWND box = WaitForBox(L"Choose a port", list)) {
      // As a click on it tells the dialog: the third port, then OK.
      Click(box, 1002);
      Click(box, IDOK);
    }
  });
  EXPECT_EQ(ShowPortChoice({L"COM1", L"COM2", L"COM3 -> \\Device\\VCP0"}, nullptr), 2);
  operatorHand.join();
  const std::vector<std::wstring> seen = list.Buttons;
  EXPECT_NE(std::find(seen.begin(), seen.end(), L"COM3 -> \\Device\\VCP0"), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), L"Cancel"), seen.end());

  // OK on the connection box, Cancel on the list: nothing chosen.
  TSeenBox again;
  operatorHand = std::thread([&] {
    if (HWND box = WaitForBox(L"stb-downloader", again)) Click(box, IDOK);
  });
  EXPECT_FALSE(ShowConnectionBox(L"text", nullptr));
  operatorHand.join();
  TSeenBox cancelled;
  operatorHand = std::thread([&] {
    if (HWND box = WaitForBox(L"Choose a port", cancelled)) SendMessageW(box, TDM_CLICK_BUTTON, IDCANCEL, 0);
  });
  EXPECT_EQ(ShowPortChoice({L"COM1"}, nullptr), -1);
  operatorHand.join();
}

}  // namespace
}  // namespace stb::winui
