// serial-lines DEVICE: what the driver says of a serial port another program
// holds open. One line: whether the driver was asked to pass on each byte at
// once (ASYNC_LOW_LATENCY) and which modem lines are up. The port is opened
// without taking it (no wait for carrier, no settings changed), so reading it
// while the tool upgrades a box disturbs nothing; as root TIOCEXCL does not
// keep us out.
//
// serial-lines --hold DEVICE: opens it the same way and keeps it open until
// killed, as a forgotten terminal program would: a USB adapter pulled then
// keeps its node, and comes back under another.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const bool hold = argc == 3 && std::strcmp(argv[1], "--hold") == 0;
  if (argc != 2 && !hold) {
    std::fprintf(stderr, "usage: serial-lines [--hold] DEVICE\n");
    return 2;
  }
  if (hold) {
    if (::open(argv[2], O_RDONLY | O_NOCTTY | O_NONBLOCK) < 0) return 1;
    std::printf("held %s\n", argv[2]);
    std::fflush(stdout);
    for (;;) ::pause();
  }
  const int fd = ::open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    std::printf("%s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::string out = argv[1];
  serial_struct info{};
  if (::ioctl(fd, TIOCGSERIAL, &info) == 0) {
    out += (info.flags & ASYNC_LOW_LATENCY) ? " low_latency=1" : " low_latency=0";
  } else {
    out += " low_latency=?";
  }
  int lines = 0;
  if (::ioctl(fd, TIOCMGET, &lines) == 0) {
    static const struct {
      int bit;
      const char* name;
    } names[] = {{TIOCM_DTR, "DTR"}, {TIOCM_RTS, "RTS"}, {TIOCM_CTS, "CTS"},
                 {TIOCM_DSR, "DSR"}, {TIOCM_CD, "CD"},   {TIOCM_RI, "RI"}};
    std::string up;
    for (const auto& n : names) {
      if (!(lines & n.bit)) continue;
      if (!up.empty()) up += '|';
      up += n.name;
    }
    out += " lines=" + (up.empty() ? std::string("none") : up);
  } else {
    out += " lines=?";
  }
  std::printf("%s\n", out.c_str());
  ::close(fd);
  return 0;
}
