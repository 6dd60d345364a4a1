// How the tool asks whether a box is on the line: the wake-up byte, then,
// with whatever the line held before thrown away, the mode's announce word.
// A box's boot loader answers it. The waiting tick asks this way to start an
// upgrade, the presence probe to learn whether an upgraded box is still
// there; both must look the same to the box.
#pragma once

#include "SerialLink.h"

namespace stb::upgrade {

// Mode 1 to 8.
void Announce(serial::TSerialLink& link, int mode);

}  // namespace stb::upgrade
