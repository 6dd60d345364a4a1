#include "LogRenderer.h"

#include <cstdio>

#include "LogText.h"
#include "ModeTable.h"
#include "PrintableLine.h"

namespace stb::app {

using upgrade::TCheck;

namespace {

std::string Format(const char* format, int a, int b, int c = 0, int d = 0) {
  char line[128];
  std::snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

// What a passed check says, with the box's pair first and the include
// file's second where it quotes both.
const char* PassFormat(TCheck check) {
  switch (check) {
    case TCheck::Model: return "  -. Model Code is same: %d.%d";
    case TCheck::Hardware: return "  -. Hardware Version is same: %d.%d<-->%d.%d";
    case TCheck::BootLoader: return "  -. Bootloader Version: %d.%d-->%d.%d";
    case TCheck::Native: return "  -. Native Software Version: %d.%d-->%d.%d";
    case TCheck::Application1: return "  -. Application 1 Version: %d.%d-->%d.%d";
    case TCheck::Application2: return "  -. Application 2 Version: %d.%d-->%d.%d";
    default: return nullptr;
  }
}

}  // namespace

bool TLogRenderer::Pairs(TCheck check, upgrade::TVersionPair& include, upgrade::TVersionPair& box) const {
  switch (check) {
    case TCheck::Model: include = include_.IncModel, box = box_.Model; return true;
    case TCheck::Hardware: include = include_.IncHwVersion, box = box_.Hardware; return true;
    case TCheck::BootLoader: include = include_.IncBootVersion, box = box_.BootLoader; return true;
    case TCheck::Native: include = include_.IncNativeVersion, box = box_.Native; return true;
    case TCheck::Application1: include = include_.IncApp1Version, box = box_.Application1; return true;
    case TCheck::Application2: include = include_.IncApp2Version, box = box_.Application2; return true;
    default: return false;
  }
}

void TLogRenderer::StartedUp(bool) {
  for (const char* line : kDirections) Line(line);
}

void TLogRenderer::ModeChosen(int mode) { Line(std::string(upgrade::ModeEntry(mode).Line)); }

void TLogRenderer::IncludeFileRead(const upgrade::TUpgradeRecord& record, const std::string& addressText) {
  include_ = record;
  // The address goes to the box as its bytes say; the log shows them as
  // printable characters.
  Line("  The Download Address is " + upgrade::EscapedLine(addressText) +
       " in the include file(./inc/xxxx.inc).");
}

void TLogRenderer::CheckDone(TCheck check, bool passed) {
  if (!passed) return;  // the refusal's lines come with the end
  upgrade::TVersionPair inc;
  upgrade::TVersionPair box;
  if (check == TCheck::Oui) {
    Line("  -. Pass OUI - Orvanta. Co.");
  } else if (check == TCheck::Model) {
    Line(Format(PassFormat(check), box_.Model.Major, box_.Model.Minor));
  } else if (check == TCheck::BootLoaderSize) {
    Line("  -. Bootloader size check OK !!!");
  } else if (const char* format = PassFormat(check); format && Pairs(check, inc, box)) {
    Line(Format(format, box.Major, box.Minor, inc.Major, inc.Minor));
  }
}

void TLogRenderer::IdentityAccepted() {
  // The date goes to the box as the include file gives it; the log shows
  // its bytes as printable characters.
  Line("  -. Start DATE : " + upgrade::EscapedLine(include_.IncStartDate) + " .");
}

void TLogRenderer::AddressMismatch() { Line(RefusalLine(TCheck::Address)); }

void TLogRenderer::GoMessageSent(std::uint32_t, long blocks) {
  Line(Format("  -. The Download Size is %d *256 + %d KBytes", static_cast<int>(blocks / 256 % 256),
              static_cast<int>(blocks % 256)));
}

void TLogRenderer::StepReached(upgrade::TStep step) { Line(upgrade::StepTitle(step)); }

void TLogRenderer::BlockRefused(long index, int) { Line("  retry : " + std::to_string(index) + " block"); }

void TLogRenderer::AnswerLate(long index, bool syncDigit, std::uint32_t waitedMs) {
  Line(std::string(syncDigit ? "  late sync digit : " : "  late answer : ") + std::to_string(index) +
       " block (" + std::to_string(waitedMs) + " ms)");
}

void TLogRenderer::VersionTableWritten() { Line("  Version Table Write OK!"); }

void TLogRenderer::PortLost(const std::string& device) {
  // The end's line says what the upgrade saw; this one says why, in the
  // style of the other errors.
  Line(PortLostLine(device));
}

void TLogRenderer::Ended(const upgrade::TUpgradeEnd& end) {
  switch (end.Outcome) {
    case upgrade::TOutcome::Upgraded:
      Line(kSuccessRule);
      Line(kSuccessLine);
      Line(kSwitchOffLine);
      return;
    case upgrade::TOutcome::Refused: {
      // The address mismatch was said before the operator was asked.
      if (end.Check == TCheck::Address) return;
      upgrade::TVersionPair inc;
      upgrade::TVersionPair box;
      if (end.Check == TCheck::Oui) {
        Line(Detail(include_.IncOui[1], box_.Oui[0]));
        Line(Detail(include_.IncOui[2], box_.Oui[1]));
      } else if (end.Check == TCheck::NativeMajor) {
        Line(Detail(include_.IncNativeVersion.Major, box_.Native.Major));
      } else if (Pairs(end.Check, inc, box)) {
        Line(Detail(inc.Major, box.Major));
        Line(Detail(inc.Minor, box.Minor));
      }
      Line(RefusalLine(end.Check));
      return;
    }
    case upgrade::TOutcome::Stopped: return;  // whoever stopped it says so
    case upgrade::TOutcome::NoResponse:
    case upgrade::TOutcome::Failed:
      // An error raised for the default error handler is shown there.
      if (end.Seen != upgrade::TSeen::Nothing) Line(SeenLine(end.Seen));
      return;
  }
}

}  // namespace stb::app
