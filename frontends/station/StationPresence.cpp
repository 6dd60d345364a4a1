#include "StationPresence.h"

#include <string>

#include "ModeTable.h"
#include "Protocol.h"

namespace stb::app {

namespace {
// As long as the tick listens for the acknowledgement.
constexpr std::uint32_t kAnswerWaitMs = 200;
}  // namespace

TPresence TPresenceWatch::Probe() {
  if (!link_.IsPortOpen()) {
    lost_ = true;
    if (!link_.OpenPort()) return TPresence::PortGone;
    gone_ = true;
    return TPresence::PortBack;
  }
  link_.WriteByte(upgrade::protocol::kWakeUp);
  link_.PurgeBuffers(true, false);
  link_.WriteString(std::string(upgrade::ModeEntry(mode_).AnnounceWord));
  link_.SetInputTimeout(kAnswerWaitMs);
  char c = 0;
  const bool answered = link_.ReadChar(c);
  if (!link_.IsPortOpen()) {
    lost_ = true;
    return TPresence::PortGone;
  }
  if (answered) {
    quiet_ = 0;
    return TPresence::Answered;
  }
  if (++quiet_ >= kQuietTicks) gone_ = true;
  return TPresence::Quiet;
}

}  // namespace stb::app
