#include "Announce.h"

#include <string>

#include "ModeTable.h"
#include "Protocol.h"

namespace stb::upgrade {

void Announce(serial::TSerialLink& link, int mode) {
  link.WriteByte(protocol::kWakeUp);
  link.PurgeBuffers(true, false);
  link.WriteString(std::string(ModeEntry(mode).AnnounceWord));
}

}  // namespace stb::upgrade
