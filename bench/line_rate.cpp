// line_rate: how close the tool comes to the line's limit, what it costs the
// processor, how much memory it takes, and how it compares with a classic
// stop-and-wait 1 KB protocol (XMODEM-1K, lrzsz's sz into rz) over the same
// paced line.
//
//   line_rate [--quick] [--out FILE]
//
// Runs the real stb-downloader --headless against stb-box-sim, each in a
// process of its own, and prints a table (also written to FILE, by default
// bench/results.md in the source tree).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"

namespace {

using namespace stb::bench;
constexpr double kBps = 115200;

struct TToolRun {
  bool ok = false;
  double wallS = 0;
  double cpuS = 0;
  double blockPhaseS = 0;
  long maxRssKb = 0;
  int blocks = 0;
};

// One headless upgrade of an image of `bytes` against the simulated box.
TToolRun RunTool(const fs::path& work, std::size_t bytes, double bps) {
  WriteInstallation(work, bytes);
  fs::remove(work / "pty.txt");
  std::vector<std::string> simArgs = {STB_BOX_SIM_PATH, "--path-file", (work / "pty.txt").string(),
                                      "--summary", (work / "box.json").string()};
  if (bps > 0) simArgs.insert(simArgs.end(), {"--bps", std::to_string(static_cast<long>(bps))});
  TChildProcess sim(SayHang);
  TToolRun r;
  if (!Start(sim, simArgs, (work / "sim.out").string(), (work / "sim.err").string())) return r;
  for (int i = 0; i < 100 && !fs::exists(work / "pty.txt"); ++i) poll(nullptr, 0, 20);
  std::string port = Slurp(work / "pty.txt");
  while (!port.empty() && (port.back() == '\n')) port.pop_back();

  const fs::path previous = fs::current_path();
  fs::current_path(work);
  const double t0 = Now();
  TChildProcess tool(SayHang);
  // Twice the line's time for the image, and a minute for the rest.
  const int limitMs =
      static_cast<int>(1000 * (60 + 2 * static_cast<double>(bytes) * 10.0 / (bps > 0 ? bps : kBps)));
  const int status = Start(tool, {STB_DOWNLOADER_PATH, "--headless", "--port", port, "--code", "APP103"},
                           "tool.out", "tool.err")
                         ? tool.Wait(limitMs)
                         : TChildProcess::kHung;
  r.wallS = Now() - t0;
  fs::current_path(previous);
  // The box ends once the tool has.
  sim.Wait(30000);
  const rusage& usage = tool.Usage();

  r.ok = status == 0;
  r.cpuS = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  r.maxRssKb = usage.ru_maxrss;
  const std::string json = Slurp(work / "box.json");
  r.blockPhaseS = JsonNumber(json, "block_phase_ms") / 1000.0;
  r.blocks = static_cast<int>(JsonNumber(json, "go_blocks"));
  return r;
}

// Carries bytes from one pseudo-terminal's master to another's at the line
// rate, both directions, until stopped.
class TPacedRelay {
 public:
  TPacedRelay(int a, int b, double bps) : a_(a), b_(b), bps_(bps) {
    ab_ = std::thread([this] { Pump(a_, b_); });
    ba_ = std::thread([this] { Pump(b_, a_); });
  }
  ~TPacedRelay() {
    stop_ = true;
    ab_.join();
    ba_.join();
  }

 private:
  void Pump(int from, int to) {
    double freeAt = 0;
    bool backlog = false;
    char buf[64];
    while (!stop_) {
      pollfd p{from, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = read(from, buf, 16);
      if (n <= 0) {
        backlog = false;
        poll(nullptr, 0, 5);
        continue;
      }
      // Bytes that were already queued while we slept follow the previous
      // ones on the line without a gap; the time we overslept is not the line's.
      const double arrival = backlog ? std::min(Now(), freeAt) : Now();
      backlog = n == 16;
      freeAt = std::max(freeAt, arrival) + static_cast<double>(n) * 10.0 / bps_;
      const double wait = freeAt - Now();
      if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
      for (ssize_t done = 0; done < n;) {
        const ssize_t w = write(to, buf + done, static_cast<std::size_t>(n - done));
        if (w > 0) done += w;
      }
    }
  }
  int a_, b_;
  double bps_;
  std::atomic<bool> stop_{false};
  std::thread ab_, ba_;
};

// sz --xmodem -k FILE into rz --xmodem over the paced line; seconds, or -1.
double RunXmodem(const fs::path& work, double bps) {
  termios raw{};
  cfmakeraw(&raw);
  int am = -1, as = -1, bm = -1, bs = -1;
  char an[128], bn[128];
  if (openpty(&am, &as, an, &raw, nullptr) != 0 || openpty(&bm, &bs, bn, &raw, nullptr) != 0) return -1;
  fs::remove(work / "received.bin");
  double seconds = -1;
  {
    TPacedRelay relay(am, bm, bps);
    const fs::path previous = fs::current_path();
    fs::current_path(work);
    const double t0 = Now();
    // Each talks over its own end of the paced line.
    TChildProcess rz(SayHang), sz(SayHang);
    const bool started =
        rz.Start({"rz", "--xmodem", "-q", "received.bin"}, {.In = TStdio::Open(bn, O_RDWR),
                                                            .Out = TStdio::Open(bn, O_WRONLY),
                                                            .Err = TStdio::To("rz.err")}) &&
        sz.Start(
            {"sz", "--xmodem", "-k", "-q", "image.bin"},
            {.In = TStdio::Open(an, O_RDWR), .Out = TStdio::Open(an, O_WRONLY), .Err = TStdio::To("sz.err")});
    // Either may give up without the other noticing (an rz that ends at
    // once leaves sz waiting for ever): both get twice the line's time.
    const double until = t0 + 30 + 2 * static_cast<double>(fs::file_size("image.bin")) * 10.0 / bps;
    auto left = [&] { return static_cast<int>(std::max(0.0, 1000 * (until - Now()))); };
    const int szStatus = started ? sz.Wait(left()) : -1;
    const int rzStatus = started ? rz.Wait(left()) : -1;
    if (szStatus == 0 && rzStatus == 0) seconds = Now() - t0;
    fs::current_path(previous);
  }
  close(am);
  close(as);
  close(bm);
  close(bs);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::string out = STB_SOURCE_DIR "/bench/results.md";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) out = argv[++i];
  }
  const bool haveSz = std::system("command -v sz >/dev/null 2>&1 && command -v rz >/dev/null 2>&1") == 0;
  const fs::path root = fs::temp_directory_path() / ("stb-line-rate-" + std::to_string(getpid()));
  std::ostringstream table;
  char line[400];

  table << "| image | run | block phase s | line limit s | of the limit | tool cpu % | peak RSS MiB | sz "
           "XMODEM-1K s |\n"
        << "|---|---|---|---|---|---|---|---|\n";
  std::vector<std::size_t> paced = {64 * 1024};
  if (!quick) paced.push_back(1024 * 1024);
  bool targetsHeld = true;
  for (std::size_t bytes : paced) {
    const TToolRun r = RunTool(root / ("paced-" + std::to_string(bytes)), bytes, kBps);
    const double limit = LineLimitS(r.blocks, kBps);
    const double share = limit / r.blockPhaseS;
    const double cpu = 100.0 * r.cpuS / r.wallS;
    const double sz = haveSz ? RunXmodem(root / ("paced-" + std::to_string(bytes)), kBps) : -1;
    targetsHeld &= r.ok && share >= 0.99 && cpu <= 2.0 && (sz < 0 || r.blockPhaseS <= sz);
    std::snprintf(line, sizeof line, "| %zu KiB | paced 115200 | %.2f | %.2f | %.1f%% | %.2f | %.1f | %s |\n",
                  bytes / 1024, r.blockPhaseS, limit, 100 * share, cpu, r.maxRssKb / 1024.0,
                  sz < 0 ? "n/a" : (std::to_string(sz).substr(0, 5)).c_str());
    table << line;
    std::fputs(line, stdout);
    std::fflush(stdout);
    if (!r.ok) std::fprintf(stderr, "line_rate: the paced upgrade of %zu bytes failed\n", bytes);
  }

  std::vector<std::size_t> unpaced = {1024 * 1024};
  if (!quick) unpaced.push_back(60u * 1024 * 1024);
  long rss[2] = {0, 0};
  for (std::size_t i = 0; i < unpaced.size(); ++i) {
    const TToolRun r = RunTool(root / ("unpaced-" + std::to_string(unpaced[i])), unpaced[i], 0);
    rss[i] = r.maxRssKb;
    std::snprintf(line, sizeof line,
                  "| %zu KiB | unpaced | %.2f (%.0f KiB/s, %.1f us a block) | - | - | %.0f | %.1f | - |\n",
                  unpaced[i] / 1024, r.blockPhaseS, unpaced[i] / 1024.0 / r.blockPhaseS,
                  1e6 * r.blockPhaseS / r.blocks, 100.0 * r.cpuS / r.wallS, r.maxRssKb / 1024.0);
    table << line;
    std::fputs(line, stdout);
    std::fflush(stdout);
    targetsHeld &= r.ok;
  }
  if (unpaced.size() == 2) targetsHeld &= rss[1] - rss[0] <= 2048;
  fs::remove_all(root);

  std::ostringstream md;
  md << "# line_rate\n\n"
     << "Measured by `./stb bench line_rate` on " << Machine() << ".\n\n"
     << "The block phase runs from the first byte of the first frame to the end of the\n"
     << "last block's answer, as the simulated box saw them on a line paced at 115200 bit/s\n"
     << "(10 bits a byte); the line limit is 1025 bytes out and 3 back a block plus a\n"
     << "sync digit every eleventh. Processor time and peak memory are the tool's own\n"
     << "(stb-downloader --headless, user + system over the whole run). sz is lrzsz's\n"
     << "XMODEM-1K sender into rz, same file, same paced line, whole transfer.\n\n"
     << table.str() << "\nTargets " << (targetsHeld ? "held" : "missed") << ".\n";
  WriteResults(out, "line_rate", md.str());
  std::printf("targets %s; written to %s\n", targetsHeld ? "held" : "missed", out.c_str());
  return targetsHeld ? 0 : 1;
}
