// block_floor: the least processor time a block can cost at 64 ports, by how
// the wait for the box's answer is arranged. No tool and no protocol here:
// a peer process plays 64 boxes that each take a 1025-byte frame at the
// line's pace and answer it with three bytes, and small programs send frames
// and take answers as fast as the peer allows:
//
//   thread a port, poll       write the frame, poll, read the answer: the least
//                             a thread per port can do for a block
//   thread a port, as a link  the same, with what the station's link adds: the
//                             output count before the write and 1 KiB read
//                             from a file for the frame
//   thread a port, read       write, then one read that waits in the kernel
//                             (VMIN 0, VTIME 2): one call less
//   one thread, epoll         one thread for all ports, woken by each answer
//   one thread, 2 ms tick     one thread for all ports, woken every 2 ms to
//                             take the answers that came meanwhile
//
// Each runs in a process of its own for the same time against the same peer,
// one after the other in rounds in one run, so that the figures can be set side by side
// and against the station's own in the station benchmark.
//
//   block_floor [--ports N] [--seconds S] [--rounds R] [--out FILE]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"

namespace {

using namespace stb::bench;

constexpr double kBps = 115200;
constexpr std::size_t kFrame = 1025;
constexpr std::size_t kAnswer = 3;
// The line time of a frame and its answer, at 10 bits a byte.
constexpr double kBlockLineS = (kFrame + kAnswer) * 10 / kBps;

void Raw(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The boxes: one thread over all the masters, so that its own cost does not
// depend on how the other side waits. A frame's answer is due one block's
// line time (frame and answer) after the frame's first byte came.
[[noreturn]] void Peer(const std::vector<int>& masters) {
  struct TBox {
    std::size_t got = 0;
    double due = 0;  // 0: no answer pending
  };
  std::vector<TBox> boxes(masters.size());
  std::vector<pollfd> fds;
  for (int fd : masters) fds.push_back({fd, POLLIN, 0});
  char buffer[4096];
  for (;;) {
    double next = 0;
    const double now = Now();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      auto& box = boxes[i];
      if (box.due > 0 && box.due <= now) {
        WriteAll(masters[i], "ok.", kAnswer);
        box.due = 0;
      }
      if (box.due > 0 && (next == 0 || box.due < next)) next = box.due;
    }
    const int timeoutMs = next == 0 ? 100 : static_cast<int>((next - Now()) * 1000) + 1;
    if (poll(fds.data(), fds.size(), timeoutMs < 0 ? 0 : timeoutMs) < 0 && errno != EINTR) _exit(1);
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      const ssize_t n = read(masters[i], buffer, sizeof buffer);
      if (n <= 0) continue;
      auto& box = boxes[i];
      if (box.got == 0) box.due = Now() + kBlockLineS;
      box.got += static_cast<std::size_t>(n);
      if (box.got >= kFrame) box.got -= kFrame;
    }
  }
}

std::atomic<bool> gStop{false};
std::atomic<long> gBlocks{0};
const std::string kFrameBytes(kFrame, 'F');

// Reads the three answer bytes; false on a time-out or an error.
bool TakeAnswer(int fd, bool pollFirst) {
  char answer[kAnswer];
  std::size_t got = 0;
  while (got < kAnswer) {
    if (pollFirst) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) return false;
    }
    const ssize_t n = read(fd, answer + got, kAnswer - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

void PortThread(int fd, const std::string& kind, int image) {
  if (kind == "read") {
    termios t{};
    tcgetattr(fd, &t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 2;  // tenths of a second: the answer's time-out
    tcsetattr(fd, TCSANOW, &t);
  }
  char block[1024];
  off_t at = 0;
  while (!gStop) {
    if (kind == "link") {
      int queued = 0;
      ioctl(fd, TIOCOUTQ, &queued);
      // The next KiB of the file, from its start again at its end.
      at = pread(image, block, sizeof block, at) == sizeof block ? at + sizeof block : 0;
    }
    if (!WriteAll(fd, kFrameBytes.data(), kFrame)) return;
    if (!TakeAnswer(fd, kind != "read")) return;
    ++gBlocks;
  }
}

// One thread for all ports: an answer's readiness sends that port's next
// frame. With a tick, the thread sleeps to the next tick and takes every
// answer that came meanwhile in one look.
void OneThread(const std::vector<int>& slaves, int tickMs) {
  const int ep = epoll_create1(0);
  for (std::size_t i = 0; i < slaves.size(); ++i) {
    fcntl(slaves[i], F_SETFL, fcntl(slaves[i], F_GETFL) | O_NONBLOCK);
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u32 = static_cast<std::uint32_t>(i);
    epoll_ctl(ep, EPOLL_CTL_ADD, slaves[i], &e);
    WriteAll(slaves[i], kFrameBytes.data(), kFrame);
  }
  std::vector<std::size_t> got(slaves.size(), 0);
  std::vector<epoll_event> ready(slaves.size());
  timespec tick{0, tickMs * 1000000L};
  while (!gStop) {
    if (tickMs > 0) nanosleep(&tick, nullptr);
    const int n = epoll_wait(ep, ready.data(), static_cast<int>(ready.size()), tickMs > 0 ? 0 : 200);
    for (int k = 0; k < n; ++k) {
      const auto i = ready[k].data.u32;
      char answer[kAnswer];
      const ssize_t r = read(slaves[i], answer, kAnswer - got[i]);
      if (r <= 0) continue;
      got[i] += static_cast<std::size_t>(r);
      if (got[i] < kAnswer) continue;
      got[i] = 0;
      ++gBlocks;
      WriteAll(slaves[i], kFrameBytes.data(), kFrame);
    }
  }
  close(ep);
}

struct TResult {
  double cpuS = 0, userS = 0, wallS = 0;
  long blocks = 0;
};

// Runs one way of waiting in a child process for `seconds`; its rusage is
// what it cost.
TResult Run(const std::string& kind, int ports, double seconds, bool peerPerBox) {
  std::vector<int> masters, slaves;
  for (int i = 0; i < ports; ++i) {
    int m = -1, s = -1;
    if (openpty(&m, &s, nullptr, nullptr, nullptr) != 0) {
      std::perror("openpty");
      std::exit(2);
    }
    Raw(m);
    Raw(s);
    masters.push_back(m);
    slaves.push_back(s);
  }
  // One peer for all boxes, or a process a box as the simulated boxes are.
  std::vector<pid_t> peers;
  for (int i = 0; i < (peerPerBox ? ports : 1); ++i) {
    const pid_t peer = fork();
    if (peer == 0) {
      for (int s : slaves) close(s);
      Peer(peerPerBox ? std::vector<int>{masters[i]} : masters);
    }
    peers.push_back(peer);
  }
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::exit(2);
  const double start = Now();
  const pid_t sender = fork();
  if (sender == 0) {
    for (int m : masters) close(m);
    const int image = open("/proc/self/exe", O_RDONLY);
    std::thread stopper([seconds] {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      gStop = true;
    });
    if (kind == "epoll" || kind == "tick") {
      OneThread(slaves, kind == "tick" ? 2 : 0);
    } else {
      std::vector<std::thread> threads;
      for (int s : slaves) threads.emplace_back(PortThread, s, kind, image);
      for (auto& t : threads) t.join();
    }
    stopper.join();
    const long blocks = gBlocks;
    if (write(pipeFds[1], &blocks, sizeof blocks) != sizeof blocks) _exit(1);
    _exit(0);
  }
  TResult r;
  int status = 0;
  rusage usage{};
  wait4(sender, &status, 0, &usage);
  r.wallS = Now() - start;
  r.userS = static_cast<double>(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6;
  r.cpuS = r.userS + static_cast<double>(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6;
  if (read(pipeFds[0], &r.blocks, sizeof r.blocks) != sizeof r.blocks) r.blocks = 0;
  for (pid_t peer : peers) kill(peer, SIGKILL);
  for (pid_t peer : peers) waitpid(peer, nullptr, 0);
  for (int fd : masters) close(fd);
  for (int fd : slaves) close(fd);
  close(pipeFds[0]);
  close(pipeFds[1]);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  int ports = 64;
  double seconds = 10;
  int rounds = 3;
  std::string out = std::string(STB_SOURCE_DIR) + "/bench/results.md";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--ports")
      ports = std::atoi(argv[i + 1]);
    else if (flag == "--seconds")
      seconds = std::atof(argv[i + 1]);
    else if (flag == "--rounds")
      rounds = std::atoi(argv[i + 1]);
    else if (flag == "--out")
      out = argv[i + 1];
  }
  if (argc % 2 == 0 || ports < 1 || seconds <= 0 || rounds < 1) {
    std::fprintf(stderr, "usage: block_floor [--ports N] [--seconds S] [--rounds R] [--out FILE]\n");
    return 2;
  }
  struct TWay {
    const char* kind;
    const char* name;
  };
  const TWay ways[] = {{"poll", "thread a port, poll"},
                       {"link", "thread a port, as a link"},
                       {"read", "thread a port, read"},
                       {"epoll", "one thread, epoll"},
                       {"tick", "one thread, 2 ms tick"}};
  constexpr std::size_t kWays = std::size(ways);
  // The rounds go through every way in turn, so that a noisy minute on a
  // shared machine falls on all of them; each cell is its median round.
  std::vector<TResult> results[kWays][2];
  for (int round = 1; round <= rounds; ++round) {
    for (std::size_t w = 0; w < kWays; ++w) {
      for (int peerPerBox : {0, 1}) {
        std::printf("block_floor: round %d of %d, %s, %s...\n", round, rounds, ways[w].name,
                    peerPerBox ? "a peer a box" : "one peer");
        std::fflush(stdout);
        results[w][peerPerBox].push_back(Run(ways[w].kind, ports, seconds, peerPerBox != 0));
      }
    }
  }
  std::ostringstream table;
  table << "| way | one peer: of the line limit | % of one core (user) | us a block "
           "| a peer a box: of the line limit | % of one core (user) | us a block |\n"
           "|---|---|---|---|---|---|---|\n";
  for (std::size_t w = 0; w < kWays; ++w) {
    std::string line = std::string("| ") + ways[w].name;
    for (auto& runs : results[w]) {
      const auto perBlock = [](const TResult& r) {
        return r.blocks > 0 ? r.cpuS / static_cast<double>(r.blocks) : 1e9;
      };
      std::sort(runs.begin(), runs.end(),
                [&](const TResult& a, const TResult& b) { return perBlock(a) < perBlock(b); });
      const TResult& r = runs[runs.size() / 2];
      const double pace = r.blocks * kBlockLineS / (ports * r.wallS);
      char cells[200];
      std::snprintf(cells, sizeof cells, " | %.1f%% | %.2f (%.2f) | %.1f", 100 * pace, 100 * r.cpuS / r.wallS,
                    100 * r.userS / r.wallS, r.blocks > 0 ? 1e6 * perBlock(r) : 0.0);
      line += cells;
    }
    line += " |\n";
    table << line;
    std::fputs(line.c_str(), stdout);
  }
  std::ostringstream md;
  md << "# block_floor\n\n"
     << "Measured by `./stb bench block_floor` on " << Machine() << ", " << ports << " ports, " << rounds
     << " rounds of " << seconds << " s a way, the median round.\n\n"
     << "No tool here: a peer answers a 1025-byte frame with three bytes one block's line time\n"
     << "after the frame came, on each of " << ports << " pseudo-terminals, and each way of\n"
     << "waiting for the answers sends frames as fast as that allows. The peer is one process\n"
     << "for all boxes (as hardware costs the PC next to nothing), or a process a box (as the\n"
     << "simulated boxes of the station benchmark are). The processor time is the sender's own.\n\n"
     << table.str();
  WriteResults(out, "block_floor", md.str());
  std::printf("written to %s\n", out.c_str());
  return 0;
}
