// Whether a box is still on the line after its upgrade ended.
//
// A box shows itself only by answering: its boot loader acknowledges the
// announce word a waiting tick sends. So once a box's upgrade has ended the
// port keeps asking, once a second, with the same bytes a waiting tick
// sends (Announce.h), and counts a second in which not one byte came back
// as quiet. The box has gone (it was switched off, or its cable pulled)
// after kQuietTicks quiet seconds in a row, or when the port itself went
// away and came back (an adapter pulled and plugged in again). Only then
// may the port wait for the next box: a box left switched on is never
// upgraded twice.
#pragma once

#include "SerialLink.h"

namespace stb::upgrade {

inline constexpr int kQuietTicks = 3;

enum class TPresence {
  Answered,  // a byte came back: the box is still there
  Quiet,     // nothing came back
  PortGone,  // the port is not there
  PortBack,  // the port was gone and opened again
};

class TPresenceProbe {
 public:
  // `mode` (1 to 8): the mode whose announce word the box answered.
  TPresenceProbe(serial::TSerialLink& link, int mode) : link_(link), mode_(mode) {}

  // One second's question to the box; waits at most the time a tick listens
  // for the acknowledgement.
  TPresence Probe();
  // After each Probe: true once the box has gone.
  bool Gone() const { return gone_; }

 private:
  serial::TSerialLink& link_;
  const int mode_;
  int quiet_ = 0;
  bool gone_ = false;
};

}  // namespace stb::upgrade
