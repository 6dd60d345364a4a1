// pty_hold DEVICE...: keeps each pseudo-terminal's number (TPtyHold) for the
// test script that started it, until SIGTERM or SIGINT, or until that script
// ends. A simulated box that ends by itself lets go of its pseudo-terminal;
// held here, the number is not handed to another program while the script's
// station may still open the port by its name. Prints "held DEVICE" for each
// once all are held; exits 1, saying which, when one cannot be.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "PtyPair.h"

int main(int argc, char** argv) {
  const pid_t starter = getppid();
  // The script's end is ours too, however it ends.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != starter) return 0;

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);

  std::vector<std::unique_ptr<stb::testing::TPtyHold>> holds;
  for (int i = 1; i < argc; ++i) {
    holds.push_back(std::make_unique<stb::testing::TPtyHold>(argv[i]));
    if (!holds.back()->StillOurs()) {
      std::fprintf(stderr, "pty_hold: %s is no pseudo-terminal whose far end is there\n", argv[i]);
      return 1;
    }
  }
  for (const auto& h : holds) std::printf("held %s\n", h->Device().c_str());
  std::fflush(stdout);
  int sig = 0;
  sigwait(&stop, &sig);
  return 0;
}
