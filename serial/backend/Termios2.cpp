#include "Termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

// <sys/ioctl.h> would pull in glibc's termios types; ioctl itself is all we need.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace stb::serial::posix {

namespace {

// The classic rate codes, used where one exists so that every driver (and
// tcgetattr) sees a plain setting; the rest go through BOTHER.
tcflag_t RateCode(std::uint32_t bps) {
  switch (bps) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return BOTHER;
  }
}

tcflag_t SizeCode(int dataBits) {
  switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

}  // namespace

bool ApplyRawLine(int fd, const TRawLine& line) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;

  // Raw bytes both ways: no echo, no line editing, no signals, no CR/LF
  // translation, no stripping; parity of received bytes is not checked.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                      IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);

  // HUPCL off: closing the port must not drop DTR under the box.
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB |
                                      CRTSCTS | HUPCL);
  t.c_cflag |= CLOCAL | CREAD | SizeCode(line.DataBits);

  const tcflag_t rate = RateCode(line.Bps);
  t.c_cflag |= rate | (rate << IBSHIFT);
  t.c_ispeed = line.Bps;
  t.c_ospeed = line.Bps;

  switch (line.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // There is no 1.5 stop bit setting; CSTOPB gives 1.5 bits with 5 data bits
  // on 16550-type UARTs and 2 bits otherwise, which a receiver that expects
  // 1.5 accepts.
  if (line.StopBits != 0) t.c_cflag |= CSTOPB;
  if (line.RtsCts) t.c_cflag |= CRTSCTS;
  if (line.XonXoff) t.c_iflag |= IXON | IXOFF;
  t.c_cc[VSTART] = line.XonChar;
  t.c_cc[VSTOP] = line.XoffChar;

  // The descriptor is non-blocking; with no minimum and no inter-byte timer a
  // read returns at once with what is waiting.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool ReadLineSpeed(int fd, std::uint32_t& inBps, std::uint32_t& outBps) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  inBps = t.c_ispeed;
  outBps = t.c_ospeed;
  return true;
}

}  // namespace stb::serial::posix
