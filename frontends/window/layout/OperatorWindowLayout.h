// The operator window as the operator sees it, whatever toolkit draws it: the
// titles, where each component stands, its fixed text and colours, and the
// pictures of the header and of the copy animation. The Qt window (qt/) and
// the Win32 window (win32/) are both laid out from here, so that the two
// cannot drift apart. No toolkit is included here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace stb::layout {

// The caption of the message and error boxes.
inline constexpr char kApplicationTitle[] = "stb-downloader";

// The modal boxes the window shows, and the caption each carries.
enum class TBoxKind { Message, Confirm, Information, Error };
inline constexpr const char* BoxCaption(TBoxKind kind) {
  switch (kind) {
    case TBoxKind::Confirm: return "Confirm";
    case TBoxKind::Information: return "Information";
    case TBoxKind::Message:
    case TBoxKind::Error: break;
  }
  return kApplicationTitle;
}

// The main window's caption (two blanks between "STB" and "Serial").
inline constexpr char kCaption[] = "::::: Orvanta STB  Serial DownLoader v3.3 :::::";
// The main window's outer size, frame and title bar included.
inline constexpr int kOuterWidth = 568;
inline constexpr int kOuterHeight = 710;
// The face font: sans-serif of this many points.
inline constexpr int kFacePoints = 8;

struct TRgb {
  std::uint8_t R, G, B;
};
struct TPoint {
  int X, Y;
};
struct TBounds {
  int Left, Top, Width, Height;
};
// A label is as wide as its text.
struct TLabelPlace {
  const char* Text;
  int Left, Top;
};
// A text of fixed pitch in its own bounds and colour.
struct TFixedText {
  const char* Text;
  TBounds Bounds;
  TRgb Color;
};

// --- The header, on the window ---
inline constexpr TBounds kHeaderFrame{8, 8, 537, 113};
inline constexpr TRgb kHeaderFramePen{0x80, 0x00, 0x80};
inline constexpr int kHeaderFrameCornerRadius = 12;
inline constexpr TBounds kBanner{24, 16, 505, 97};
// Over the banner, the maker's web address in three pieces, the middle one in
// red: fixed pitch, this many pixels high, on the highlight-text colour. A
// piece whose font draws it wider than its bounds grows, and the pieces
// after it move along, so that the address always reads whole.
inline constexpr int kWebAddressPixels = 16;
inline constexpr TFixedText kWebAddress[3]{{"www.stb", {344, 88, 71, 22}, {0x00, 0x00, 0x00}},
                                           {"up", {411, 88, 19, 22}, {0xff, 0x00, 0x00}},
                                           {".example", {428, 88, 75, 22}, {0x00, 0x00, 0x00}}};

// --- The progress panel and what it holds (places inside the panel) ---
inline constexpr TBounds kProgressPanel{8, 132, 537, 129};
inline constexpr TLabelPlace kDownloadLabel{"Down Load", 16, 20};
inline constexpr TBounds kDownloadBar{84, 20, 296, 16};
// "( sent / total )" of the image. The bars leave it room for the longest
// one an image can give, "( 67107840 / 67107840 )", in the face fonts of
// both windows (about 125 to 141 pixels).
inline constexpr TLabelPlace kCounterLabel{"( 0 / 0 )", 386, 20};
inline constexpr TLabelPlace kFlashLabel{"Flash Write", 16, 44};
inline constexpr TBounds kFlashBar{84, 44, 296, 16};
inline constexpr int kProgressMax = 100;  // both bars run 0 to this
inline constexpr int kDownloadBarStep = 5;
inline constexpr TBounds kCopyAnimation{76, 60, 385, 61};

// --- The log, which also takes what the operator types ---
inline constexpr TBounds kLog{8, 272, 537, 401};

// The tick of the upgrade, once start-up is done.
inline constexpr unsigned kTickMs = 1000;

// --- Beside the boxes' own texts, which stay as they are ---
// The connection box says which port would not open and why, on a line of
// its own under its text (and on stderr): "Port /dev/ttyUSB0: Permission
// denied". What to do about it, where there is something, follows.
inline std::string PortLine(const std::string& device, const std::string& why) {
  return "Port " + device + ": " + why;
}
// The connection box offers the ports there are, so that the operator can
// take another without starting the tool anew.
inline constexpr char kChoosePortButton[] = "Choose another port...";
inline constexpr char kChoosePortCaption[] = "Choose a port";
inline constexpr char kChoosePortPrompt[] = "The serial ports of this machine (as --list-ports shows them):";
inline constexpr char kNoPortsListed[] = "This machine has no serial ports.";
// The address question names the two addresses it is about, as 32-bit
// values: the include file's line 12 and the box's own.
inline std::string AddressesLine(std::uint32_t include, std::uint32_t box) {
  char line[80];
  std::snprintf(line, sizeof line, "Include file: 0x%08X, box: 0x%08X", static_cast<unsigned>(include),
                static_cast<unsigned>(box));
  return line;
}

// --- The banner: a set-top box, its cable, and the tool's name ---
namespace banner {
inline constexpr TRgb kSkyFrom{0x1d, 0x2b, 0x53};  // top left, running to the bottom right
inline constexpr TRgb kSkyTo{0x3e, 0x5c, 0x9a};
inline constexpr TBounds kBox{14, 26, 96, 34};
inline constexpr int kBoxCornerRadius = 4;
inline constexpr TRgb kBoxEdge{0xd8, 0xde, 0xe9};
inline constexpr TRgb kBoxFace{0x22, 0x22, 0x28};
inline constexpr TRgb kLamp{0x55, 0xe0, 0x7a};
inline constexpr TPoint kLampCentre{kBox.Left + kBox.Width - 12, kBox.Top + kBox.Height / 2};
inline constexpr int kLampRadius = 3;
inline constexpr TRgb kCable{0x9a, 0xa8, 0xc8};
// A cubic curve out of the box's right side.
inline constexpr TPoint kCablePath[4]{{kBox.Left + kBox.Width, kBox.Top + kBox.Height / 2 + 8},
                                      {kBox.Left + kBox.Width + 30, 80},
                                      {kBox.Left + kBox.Width + 40, 20},
                                      {kBox.Left + kBox.Width + 70, 44}};
inline constexpr char kTitle[] = "STB Serial DownLoader";
inline constexpr int kTitlePoints = 17;  // bold
inline constexpr TRgb kTitleColor{0xff, 0xff, 0xff};
inline constexpr int kTitleLeft = 190, kTitleTop = 8, kTitleHeight = 36;
inline constexpr char kSubtitle[] = "software upgrade over RS-232";
inline constexpr int kSubtitlePoints = 9;
inline constexpr TRgb kSubtitleColor{0xc8, 0xd2, 0xe8};
inline constexpr int kSubtitleLeft = 192, kSubtitleTop = 42, kSubtitleHeight = 20;
}  // namespace banner

// --- The copy animation: a sheet flying from the left folder to the right one ---
namespace animation {
inline constexpr int kFrames = 36;
inline constexpr int kStopFrame = 34;  // shown while it does not run
inline constexpr unsigned kFrameMs = 60;
inline constexpr TRgb kFolderEdge{0x8a, 0x6d, 0x1e};
inline constexpr TRgb kFolderFace{0xf2, 0xc9, 0x4c};
inline constexpr TRgb kSheetEdge{0x60, 0x60, 0x70};
// A folder is a tab over a body; `at` is the body's top left.
inline constexpr TBounds kFolderTab{0, -4, 16, 6};
inline constexpr TBounds kFolderBody{0, 0, 40, 28};
// The sheet around its centre, unrotated, with four lines of writing.
inline constexpr TBounds kSheet{-10, -13, 20, 26};
inline constexpr int kSheetLines = 4;

struct TPointF {
  double X, Y;
};
inline TPointF SourceFolder(int /*width*/, int height) { return {40, height - 36.0}; }
inline TPointF TargetFolder(int width, int height) { return {width - 80.0, height - 36.0}; }

// Where the sheet's centre stands in a frame, and its turn in degrees
// (clockwise on the screen): it rises out of the first folder, arcs over and
// drops into the other.
struct TSheetPlace {
  double X, Y, Degrees;
};
inline TSheetPlace SheetAt(int frame, int width, int height) {
  const TPointF from = SourceFolder(width, height);
  const TPointF to = TargetFolder(width, height);
  const double t = static_cast<double>(frame) / (kFrames - 1);
  const double x = from.X + 10 + t * (to.X - from.X);
  const double y = from.Y - 6 - 40.0 * 4 * t * (1 - t) * (height > 50 ? 1.0 : 0.5);
  return {x + 10, y + 7, -25 + 50 * t};
}
}  // namespace animation

}  // namespace stb::layout
