// The driver's line on a Linux tty, through termios2: it alone holds the
// arbitrary bit rates, and its header cannot meet <termios.h> in one
// translation unit.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include "DriverLine.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace stb::testing {

bool ReadDriverLine(serial::THandle port, TDriverLine& line) {
  termios2 t{};
  if (ioctl(static_cast<int>(port), TCGETS2, &t) != 0) return false;
  line.InBps = t.c_ispeed;
  line.OutBps = t.c_ospeed;
  line.ArbitraryRate = (t.c_cflag & CBAUD) == BOTHER;
  switch (t.c_cflag & CSIZE) {
    case CS5: line.DataBits = 5; break;
    case CS6: line.DataBits = 6; break;
    case CS7: line.DataBits = 7; break;
    default: line.DataBits = 8; break;
  }
  if (t.c_cflag & CMSPAR) {
    line.Parity = (t.c_cflag & PARODD) ? 3 : 4;
  } else if (t.c_cflag & PARENB) {
    line.Parity = (t.c_cflag & PARODD) ? 1 : 2;
  } else {
    line.Parity = 0;
  }
  line.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
  line.RtsCts = (t.c_cflag & CRTSCTS) != 0;
  line.XonXoffOut = (t.c_iflag & IXON) != 0;
  line.XonXoffIn = (t.c_iflag & IXOFF) != 0;
  line.XonChar = t.c_cc[VSTART];
  line.XoffChar = t.c_cc[VSTOP];
  line.ParityChecked = (t.c_iflag & INPCK) != 0;

  line.Interfering.clear();
  auto flag = [&line](bool set, const char* name) {
    if (set) line.Interfering += std::string(line.Interfering.empty() ? "" : " ") + name;
  };
  flag(t.c_lflag & ECHO, "ECHO");
  flag(t.c_lflag & ICANON, "ICANON");
  flag(t.c_lflag & ISIG, "ISIG");
  flag(t.c_lflag & IEXTEN, "IEXTEN");
  flag(t.c_iflag & ICRNL, "ICRNL");
  flag(t.c_iflag & INLCR, "INLCR");
  flag(t.c_iflag & IGNCR, "IGNCR");
  flag(t.c_iflag & ISTRIP, "ISTRIP");
  flag(t.c_oflag & OPOST, "OPOST");
  flag(t.c_cflag & HUPCL, "HUPCL");
  flag(!(t.c_cflag & CLOCAL), "-CLOCAL");
  flag(!(t.c_cflag & CREAD), "-CREAD");
  return true;
}

}  // namespace stb::testing
