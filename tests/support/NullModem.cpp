// null_modem: two pseudo-terminals joined like the two ends of a null-modem
// cable. Prints the two device paths, one a line, then carries every byte
// from each end to the other until SIGINT or SIGTERM. The Windows tests under
// Wine get their COM1 and COM2 from it.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

int main() {
  termios raw{};
  cfmakeraw(&raw);
  int master[2] = {-1, -1};
  int device[2] = {-1, -1};  // held open, so each end may be opened and closed at will
  char name[2][128] = {};
  for (int i = 0; i < 2; ++i) {
    if (openpty(&master[i], &device[i], name[i], &raw, nullptr) != 0) {
      std::perror("null_modem: openpty");
      return 1;
    }
  }
  std::printf("%s\n%s\n", name[0], name[1]);
  std::fflush(stdout);

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  const timespec none{0, 0};
  char buf[4096];
  for (;;) {
    if (sigtimedwait(&stop, nullptr, &none) > 0) return 0;
    pollfd p[2] = {{master[0], POLLIN, 0}, {master[1], POLLIN, 0}};
    if (poll(p, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & POLLIN)) continue;
      const ssize_t n = read(master[i], buf, sizeof buf);
      for (ssize_t done = 0; n > 0 && done < n;) {
        const ssize_t w = write(master[1 - i], buf + done, static_cast<size_t>(n - done));
        if (w <= 0) break;
        done += w;
      }
    }
  }
}
