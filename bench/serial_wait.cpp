// serial_wait: what waiting on the line costs, and how fast bytes move
// through a pseudo-terminal.
//
//   serial_wait [--reads N]
//
// Prints the processor time of a ReadByte that times out (as a share of the
// wall time it took), WriteByte throughput and ReadData throughput.
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "SerialLink.h"

using namespace stb::serial;
using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

struct Pty {
  int master = -1;
  int device = -1;
  std::string path;
  Pty() {
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&master, &device, name, &raw, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    path = name;
  }
  ~Pty() {
    close(master);
    close(device);
  }
};

}  // namespace

int main(int argc, char** argv) {
  int reads = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--reads") == 0 && i + 1 < argc) reads = std::atoi(argv[++i]);
  }
  Pty pty;
  TSerialLink link;
  link.SetDevicePath(pty.path);
  if (!link.OpenPort()) {
    std::fprintf(stderr, "cannot open %s\n", pty.path.c_str());
    return 1;
  }

  // 1. A ReadByte that times out: the processor should sleep through it.
  {
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    std::uint8_t b = 0;
    for (int i = 0; i < reads; ++i) link.ReadByte(b);
    const double wall = Seconds(t0);
    const double cpu = CpuSeconds() - cpu0;
    std::printf("timed-out ReadByte: %d reads, %.1f ms wall each, %.3f ms cpu each, %.2f%% of one core\n",
                reads, wall * 1000 / reads, cpu * 1000 / reads, 100.0 * cpu / wall);
  }

  // 2. WriteByte, one call per byte, with the far end reading all it gets.
  {
    constexpr int kBytes = 256 * 1024;
    std::atomic<bool> done{false};
    std::thread drain([&] {
      std::vector<char> buf(65536);
      long got = 0;
      while (got < kBytes) {
        pollfd p{pty.master, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) break;
        const ssize_t n = read(pty.master, buf.data(), buf.size());
        if (n <= 0) break;
        got += n;
      }
      done = true;
    });
    const auto t0 = Clock::now();
    for (int i = 0; i < kBytes; ++i) link.WriteByte(static_cast<std::uint8_t>(i));
    drain.join();
    const double wall = Seconds(t0);
    std::printf("WriteByte: %d bytes in %.3f s, %.0f bytes/s (%.2f us per call)\n", kBytes, wall,
                kBytes / wall, wall * 1e6 / kBytes);
  }

  // 3. ReadData of a large block that the far end writes as fast as it can.
  {
    constexpr std::uint32_t kBytes = 4 * 1024 * 1024;
    std::thread feed([&] {
      std::vector<char> buf(4096, 'r');
      std::uint32_t sent = 0;
      while (sent < kBytes) {
        const ssize_t n = write(pty.master, buf.data(), std::min<std::size_t>(buf.size(), kBytes - sent));
        if (n > 0) {
          sent += static_cast<std::uint32_t>(n);
        } else {
          pollfd p{pty.master, POLLOUT, 0};
          poll(&p, 1, 100);
        }
      }
    });
    std::vector<std::uint8_t> in(kBytes);
    const auto t0 = Clock::now();
    const std::uint32_t got = link.ReadData(in.data(), kBytes);
    const double wall = Seconds(t0);
    feed.join();
    std::printf("ReadData: %u bytes in %.3f s, %.0f bytes/s\n", got, wall, got / wall);
  }
  return 0;
}
