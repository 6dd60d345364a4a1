// The station window's tiles under Wine, given the ports' views directly:
// what a change repaints (only its part of its own tile), what a tile's
// window text holds, and the tiles' rows as the area is sized.
#include <gtest/gtest.h>

#include "ControlText.h"
#include "StationTiles.h"

namespace stb::winui {
namespace {

namespace s = layout::station;

class Win32StationTiles : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 700, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    tiles_ =
        std::make_unique<TStationTiles>(parent_, nullptr, nullptr, [this](std::size_t i) { opened_ = i; });
    tiles_->Place(0, s::kTilesTop, s::kClientWidth + GetSystemMetrics(SM_CXVSCROLL), 600);
  }
  void TearDown() override {
    tiles_.reset();
    DestroyWindow(parent_);
  }
  // Paints what is due, as the loop would, so that the next change starts
  // from a clean window.
  void Paint() {
    for (std::size_t i = 0; i < tiles_->Count(); ++i) UpdateWindow(tiles_->Tile(i));
    tiles_->TakeRepaints();
  }
  static RECT Due(HWND tile) {
    RECT due{};
    GetUpdateRect(tile, &due, FALSE);
    return due;
  }
  static std::vector<app::TPortView> Views(int n) {
    std::vector<app::TPortView> views(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
      views[i].Port = "COM" + std::to_string(i + 1);
      views[i].State = "waiting for box";
    }
    return views;
  }

  HWND parent_ = nullptr;
  std::unique_ptr<TStationTiles> tiles_;
  std::size_t opened_ = 99;
};

TEST_F(Win32StationTiles, AChangeRepaintsOnlyItsOwnPartOfItsOwnTile) {
  auto views = Views(8);
  tiles_->Show(views);
  Paint();

  // The download moves on: the bar of that one tile, nothing else.
  views[5].Running = true;
  views[5].State = "download";
  tiles_->Show(views);
  Paint();
  views[5].Percent = 40;
  tiles_->Show(views);
  EXPECT_EQ(tiles_->TakeRepaints(), 1);
  const RECT bar = Due(tiles_->Tile(5));
  EXPECT_EQ(bar.top, s::kTileBar.Top);
  EXPECT_EQ(bar.bottom, s::kTileBar.Top + s::kTileBar.Height);
  for (const std::size_t other : {0u, 4u, 6u}) {
    const RECT none = Due(tiles_->Tile(other));
    EXPECT_TRUE(IsRectEmpty(&none)) << "tile " << other;
  }
  Paint();

  // The box ends: its colour changes, so the whole tile.
  views[5].Running = false;
  views[5].Last = "upgraded";
  views[5].Upgraded = 1;
  tiles_->Show(views);
  EXPECT_EQ(tiles_->TakeRepaints(), 1);
  const RECT whole = Due(tiles_->Tile(5));
  EXPECT_EQ(whole.bottom - whole.top, s::kTileHeight);
  EXPECT_EQ(tiles_->Status(5), app::TPortStatus::Passed);
}

TEST_F(Win32StationTiles, ATilesTextLeavesOutItsEmptyLinesAndEndsWithItsCounters) {
  auto views = Views(1);
  views[0].Last = "refused";
  views[0].Reason = "  - Invalid OUI !!";
  views[0].Refused = 1;
  tiles_->Show(views);
  EXPECT_EQ(TextOf(tiles_->Tile(0)),
            L"COM1\r\nrefused\r\nrefused:   - Invalid OUI !!\r\nupgraded 0  refused 1  failed 0");
  // A step appears: the lines below it move down, the text follows.
  views[0].Step = "1. Check Machine";
  tiles_->Show(views);
  EXPECT_EQ(TextOf(tiles_->Tile(0)),
            L"COM1\r\nrefused\r\n1. Check Machine\r\nrefused:   - Invalid OUI !!\r\nupgraded 0  refused 1  "
            L"failed 0");
  EXPECT_EQ(tiles_->Status(0), app::TPortStatus::Refused);
}

TEST_F(Win32StationTiles, NarrowedTheyTakeFewerARowAndDoubleClickOrEnterOpensOne) {
  tiles_->Show(Views(6));
  RECT first, fifth;
  GetWindowRect(tiles_->Tile(0), &first);
  GetWindowRect(tiles_->Tile(4), &fifth);
  EXPECT_EQ(fifth.left, first.left) << "four a row";

  tiles_->Place(0, s::kTilesTop,
                2 * (s::kTileWidth + s::kTileGap) + s::kTileGap + GetSystemMetrics(SM_CXVSCROLL), 600);
  RECT third;
  GetWindowRect(tiles_->Tile(0), &first);
  GetWindowRect(tiles_->Tile(2), &third);
  EXPECT_EQ(third.left, first.left) << "two a row";
  EXPECT_EQ(third.top - first.top, s::kTileHeight + s::kTileGap);

  SendMessageW(tiles_->Tile(3), WM_LBUTTONDBLCLK, 0, 0);
  EXPECT_EQ(opened_, 3u);
  SendMessageW(tiles_->Tile(1), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(opened_, 1u);
}

TEST_F(Win32StationTiles, SixtyFourFitTheAreaA1920By1080ScreenLeavesThemWithNothingToScroll) {
  tiles_->Show(Views(64));
  // The window's inner size on a 1920x1080 screen, a task bar and a title
  // bar off it (Wine's own screen here is smaller: the area alone is sized).
  const auto size = s::OpenSize(64, 1920, 1080 - 40 - 31, GetSystemMetrics(SM_CXVSCROLL));
  ASSERT_LE(size.Width, 1920);
  ASSERT_LE(size.Height, 1080 - 40 - 31);
  tiles_->Place(0, s::kTilesTop, size.Width, size.Height - s::kTilesTop);
  RECT area;
  GetWindowRect(tiles_->Area(), &area);
  ASSERT_EQ(area.right - area.left, size.Width);
  for (std::size_t i = 0; i < 64; ++i) {
    RECT tile, inside;
    GetWindowRect(tiles_->Tile(i), &tile);
    IntersectRect(&inside, &tile, &area);
    EXPECT_TRUE(EqualRect(&inside, &tile)) << "tile " << i << " is cut off";
  }
  RECT first, ninth;
  GetWindowRect(tiles_->Tile(0), &first);
  GetWindowRect(tiles_->Tile(8), &ninth);
  EXPECT_EQ(ninth.left, first.left) << "eight a row";
  SCROLLINFO scroll{sizeof scroll, SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
  GetScrollInfo(tiles_->Area(), SB_VERT, &scroll);
  EXPECT_LE(scroll.nMax + 1, static_cast<int>(scroll.nPage)) << "nothing to scroll";
}

}  // namespace
}  // namespace stb::winui
