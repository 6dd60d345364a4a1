#include "PresenceProbe.h"

#include "Announce.h"
#include "LinkHolds.h"
#include "Protocol.h"

namespace stb::upgrade {

TPresence TPresenceProbe::Probe() {
  if (!link_.IsPortOpen()) {
    if (!link_.OpenPort()) return TPresence::PortGone;
    // Whatever is on the line now may be another box.
    gone_ = true;
    return TPresence::PortBack;
  }
  Announce(link_, mode_);
  char c = 0;
  bool answered = false;
  {
    const TInputTimeoutHold answerWait(link_, protocol::kAcknowledgeWaitMs);
    answered = link_.ReadChar(c);
  }
  if (!link_.IsPortOpen()) return TPresence::PortGone;
  if (answered) {
    quiet_ = 0;
    return TPresence::Answered;
  }
  if (++quiet_ >= kQuietTicks) gone_ = true;
  return TPresence::Quiet;
}

}  // namespace stb::upgrade
