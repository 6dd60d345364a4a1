// station: many boxes at once. Simulated boxes, each on its own
// pseudo-terminal paced at 115200 bit/s, take a 1 MiB image from one
// stb-downloader --station: one box alone, sixteen at once, sixteen of which
// four are faulty, and sixty-four at once; and sixty-four with the station
// window open, once the tool has one.
//
//   station [--ports N] [--many M] [--kib K] [--runs alone,all,faulty,many,window] [--tool PATH]
//           [--sim PATH]
//           [--out FILE]
//
// Per port, the block phase is read from the simulated box's summary and set
// against the protocol's line limit. The tool's processor time and peak
// memory are its own, over the whole run (wait4's rusage). Prints a table and
// writes it into its part of FILE (by default bench/results.md); a run of
// only some of the rows, or of another tool, prints them and writes nothing.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

using namespace stb::bench;
constexpr double kBps = 115200;

// What a faulty box does instead of taking the image.
struct TFault {
  const char* name;
  std::vector<std::string> simArgs;
};

const std::vector<TFault> kFaults = {
    {"silent after its acknowledgement", {"--silent-from", "identity"}},
    {"refusing (another OUI)", {"--oui", "0001"}},
    {"hanging up at block 300", {"--hang-up-after", "300"}},
    {"silent in the transfer", {"--silent-from", "answers"}},
};

struct TBox {
  std::unique_ptr<TChildProcess> sim = std::make_unique<TChildProcess>(SayHang);
  fs::path dir;
  std::string port;
  const TFault* fault = nullptr;
  bool ended = false;       // and its name removed
  double shareOfLimit = 0;  // line limit / block phase
  double blockPhaseS = 0;
};

// One row of the table: how many boxes, how many of them faulty, and what
// else the station is started with.
struct TPlan {
  std::string key;  // as --runs names it
  std::string name;
  int ports = 0;
  int faulty = 0;
  std::vector<std::string> stationArgs;
  std::vector<std::string> env;
  double cpuTarget = 0;  // % of one core
};

// The station's program: this build's, or another given with --tool (an
// earlier build, to set against this one on the same machine at the same time).
std::string gTool = STB_DOWNLOADER_PATH;
std::string gSim = STB_BOX_SIM_PATH;

struct TStationRun {
  bool ok = true;
  double wallS = 0;
  double cpuS = 0;
  double userS = 0;
  long maxRssKb = 0;
  long blocks = 0;                 // accepted by all boxes together
  std::vector<double> goodShares;  // of the line limit, one per box that took the image
  // Processor time in the middle half of the image's line time, when every
  // port sends blocks, and how many blocks the ports sent meanwhile at the
  // line's pace: the cost of a block without the start and end of a box.
  double steadyCpuS = -1;
  double steadyBlocks = 0;
  int reportLines = 0;
  int upgraded = 0;
};

// A running process's processor time so far, in seconds: the sum of its
// threads' time on a processor (/proc/PID/task/*/schedstat, in
// nanoseconds; the clock ticks of /proc/PID/stat are too coarse for a port
// or two); -1 when it cannot be read.
double ProcessCpuS(pid_t pid) {
  std::error_code ec;
  double ns = 0;
  bool any = false;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::istringstream stat(Slurp(task.path() / "schedstat"));
    double onCpu = 0;
    if (stat >> onCpu) {
      ns += onCpu;
      any = true;
    }
  }
  return any ? ns / 1e9 : -1;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Whether the tool's usage text names `option`: a row that needs it is left
// out, never faked, while the tool has none.
bool ToolKnows(const fs::path& work, const std::string& option) {
  TChildProcess help(SayHang);
  if (!Start(help, {gTool, "--help"}, (work / "help.out").string(), (work / "help.err").string()))
    return false;
  help.Wait(10000);
  const std::string text = Slurp(work / "help.out");
  for (std::size_t at = 0; (at = text.find(option, at)) != std::string::npos; at += option.size()) {
    const char next = at + option.size() < text.size() ? text[at + option.size()] : ' ';
    if (next == ' ' || next == ',' || next == '\n' || next == '=') return true;
  }
  return false;
}

TBox StartBox(const fs::path& dir, const TFault* fault) {
  TBox box;
  box.dir = dir;
  box.fault = fault;
  fs::create_directories(dir);
  std::vector<std::string> args = {
      gSim,    "--path-file", (dir / "pty.txt").string(), "--summary", (dir / "box.json").string(),
      "--bps", "115200"};
  if (fault != nullptr) args.insert(args.end(), fault->simArgs.begin(), fault->simArgs.end());
  Start(*box.sim, args, (dir / "sim.out").string(), (dir / "sim.err").string());
  for (int i = 0; i < 250 && !fs::exists(dir / "pty.txt"); ++i) poll(nullptr, 0, 20);
  std::string pty = Slurp(dir / "pty.txt");
  while (!pty.empty() && pty.back() == '\n') pty.pop_back();
  // The station is given a name of our own for the box's pseudo-terminal:
  // once the box has ended it is removed, so that the station, which takes
  // a port that comes back as a new box, never opens the terminal number
  // when the system hands it to someone else's program.
  box.port = (dir.parent_path() / ("ttyBOX" + dir.filename().string())).string();
  fs::create_symlink(pty, box.port);
  return box;
}

// Waits for the station to end after a signal, at most `seconds`.
bool WaitStation(TChildProcess& station, double seconds) {
  const double until = Now() + seconds;
  while (Now() < until) {
    if (station.Ended()) return true;
    poll(nullptr, 0, 50);
  }
  return false;
}

// One station over the plan's boxes, the last `faulty` of them faulty.
TStationRun RunStation(const fs::path& work, const TPlan& plan) {
  TStationRun r;
  fs::remove_all(work / "boxes");
  std::vector<TBox> boxes;
  for (int i = 0; i < plan.ports; ++i) {
    const int f = i - (plan.ports - plan.faulty);
    boxes.push_back(StartBox(work / "boxes" / std::to_string(i),
                             f >= 0 ? &kFaults[static_cast<std::size_t>(f) % kFaults.size()] : nullptr));
  }
  std::vector<std::string> args = {gTool,
                                   "--station",
                                   "--code",
                                   "APP103",
                                   "--response-timeout",
                                   "5",
                                   "--report",
                                   (work / "boxes/report.jsonl").string(),
                                   "--log-dir",
                                   (work / "boxes/logs").string()};
  args.insert(args.end(), plan.stationArgs.begin(), plan.stationArgs.end());
  for (const auto& b : boxes) args.insert(args.end(), {"--port", b.port});

  const fs::path previous = fs::current_path();
  fs::current_path(work);
  const double t0 = Now();
  TChildProcess station(SayHang);
  r.ok = Start(station, args, "boxes/station.out", "boxes/station.err", plan.env);
  fs::current_path(previous);
  // For a profiler to attach to.
  std::printf("station: pid %d\n", static_cast<int>(station.Pid()));
  std::fflush(stdout);

  // Each box has its line in the report, or the time its image needs has
  // passed twice over. A box that ended takes its name with it.
  const int blocks = static_cast<int>(fs::file_size(work / "image.bin") / 1024);
  const double deadline = t0 + 60 + 2 * LineLimitS(blocks, kBps);

  auto reported = [&] {
    const std::string report = Slurp(work / "boxes/report.jsonl");
    return static_cast<int>(std::count(report.begin(), report.end(), '\n'));
  };
  const double lineS = LineLimitS(blocks, kBps);
  double steadyFrom = -1;
  double steadyCpuFrom = -1;
  while (reported() < plan.ports && Now() < deadline) {
    if (plan.faulty == 0 && steadyFrom < 0 && Now() >= t0 + lineS / 4) {
      steadyFrom = Now();
      steadyCpuFrom = ProcessCpuS(station.Pid());
    }
    if (steadyCpuFrom >= 0 && r.steadyCpuS < 0 && Now() >= t0 + 3 * lineS / 4) {
      const double cpu = ProcessCpuS(station.Pid());
      if (cpu >= 0) r.steadyCpuS = cpu - steadyCpuFrom;
      r.steadyBlocks = (Now() - steadyFrom) * plan.ports * blocks / lineS;
    }
    for (auto& b : boxes) {
      if (!b.ended && b.sim->Ended()) {
        b.ended = true;
        fs::remove(b.port);
      }
    }
    poll(nullptr, 0, 100);
  }
  // One interrupt: what still runs finishes, no new box is taken.
  station.Signal(SIGINT);
  if (!WaitStation(station, 120)) {
    std::fprintf(stderr, "station: the station did not end after one interrupt; interrupting again\n");
    station.Signal(SIGINT);
    station.Wait(30000);  // said as a hang when it has to be killed
    r.ok = false;
  }
  const rusage& usage = station.Usage();
  r.wallS = Now() - t0;
  r.userS = Seconds(usage.ru_utime);
  r.cpuS = r.userS + Seconds(usage.ru_stime);
  r.maxRssKb = usage.ru_maxrss;
  for (auto& b : boxes) {
    b.sim->Signal(SIGTERM);
    b.sim->Wait(10000);
    const std::string json = Slurp(b.dir / "box.json");
    r.blocks += std::max(0L, static_cast<long>(JsonNumber(json, "blocks_accepted")));
    if (b.fault != nullptr) continue;
    b.blockPhaseS = JsonNumber(json, "block_phase_ms") / 1000.0;
    const int blocks = static_cast<int>(JsonNumber(json, "go_blocks"));
    const bool done = json.find("\"end\":\"done\"") != std::string::npos;
    if (!done || b.blockPhaseS <= 0) {
      std::fprintf(stderr, "station: the box on %s did not take the image: %s\n", b.port.c_str(),
                   json.c_str());
      r.ok = false;
      continue;
    }
    r.goodShares.push_back(LineLimitS(blocks, kBps) / b.blockPhaseS);
  }
  const std::string report = Slurp(work / "boxes/report.jsonl");
  r.reportLines = static_cast<int>(std::count(report.begin(), report.end(), '\n'));
  for (std::size_t at = 0; (at = report.find("\"upgraded\"", at)) != std::string::npos; ++at) ++r.upgraded;
  if (r.upgraded != plan.ports - plan.faulty) {
    std::fprintf(stderr, "station: %d of %d boxes reported upgraded\n", r.upgraded, plan.ports - plan.faulty);
    r.ok = false;
  }
  return r;
}

// What one row came to, for the table and the text below it.
struct TRow {
  const TPlan* plan = nullptr;
  double lowest = 0;
  double median = 0;
  double cpuPercent = 0;
  double usPerBlock = 0;
  double steadyPercent = -1;  // of one core, while every port sends blocks
  double steadyUsPerBlock = -1;
  double rssMiB = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int ports = 16;
  int many = 64;
  std::size_t kib = 1024;
  std::string runs = "alone,all,faulty,many,window";
  std::string out = STB_SOURCE_DIR "/bench/results.md";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ports") == 0 && i + 1 < argc) ports = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--many") == 0 && i + 1 < argc) many = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--kib") == 0 && i + 1 < argc) kib = std::strtoul(argv[++i], nullptr, 10);
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = argv[++i];
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) out = argv[++i];
    if (std::strcmp(argv[i], "--tool") == 0 && i + 1 < argc) gTool = argv[++i];
    if (std::strcmp(argv[i], "--sim") == 0 && i + 1 < argc) gSim = argv[++i];
  }
  const fs::path root = fs::temp_directory_path() / ("stb-station-" + std::to_string(getpid()));
  WriteInstallation(root, kib * 1024);

  // The console station's own share of a core, and the window's: it draws
  // what the ports report, a few times a second.
  constexpr double kConsoleCpu = 2.0;
  constexpr double kWindowCpu = 5.0;
  const int faulty = std::min<int>(static_cast<int>(kFaults.size()), ports / 4);
  std::vector<TPlan> plans = {
      {"alone", "one box alone", 1, 0, {}, {}, kConsoleCpu},
      {"all", "all at once", ports, 0, {}, {}, kConsoleCpu},
      {"faulty", "with faulty boxes", ports, faulty, {}, {}, kConsoleCpu},
      {"many", "all at once", many, 0, {}, {}, kConsoleCpu},
  };
  const bool window = ToolKnows(root, "--window");
  if (window) {
    plans.push_back({"window",
                     "the station window open",
                     many,
                     0,
                     {"--window"},
                     {"QT_QPA_PLATFORM=offscreen"},
                     kWindowCpu});
  }
  const auto chosen = [&](const TPlan& p) {
    return ("," + runs + ",").find("," + p.key + ",") != std::string::npos;
  };
  // Only every row of this build's tool goes into the results.
  const bool every = std::all_of(plans.begin(), plans.end(), chosen) && gTool == STB_DOWNLOADER_PATH &&
                     gSim == STB_BOX_SIM_PATH;

  std::ostringstream table;
  table
      << "| run | ports | block phase, of the line limit: lowest / median | tool cpu, % of one core | "
         "cpu us a block | in the block phase: cpu %, us a block | peak RSS MiB | report lines | upgraded |\n"
      << "|---|---|---|---|---|---|---|---|---|\n";
  bool targetsHeld = true;
  double allLowest = 0;
  std::vector<TRow> rows;
  for (const auto& plan : plans) {
    if (!chosen(plan)) continue;
    std::printf("station: %s, %d ports...\n", plan.name.c_str(), plan.ports);
    std::fflush(stdout);
    TStationRun r = RunStation(root, plan);
    std::sort(r.goodShares.begin(), r.goodShares.end());
    TRow row;
    row.plan = &plan;
    row.lowest = r.goodShares.empty() ? 0 : r.goodShares.front();
    row.median = r.goodShares.empty() ? 0 : r.goodShares[r.goodShares.size() / 2];
    row.cpuPercent = 100.0 * r.cpuS / r.wallS;
    row.usPerBlock = r.blocks > 0 ? 1e6 * r.cpuS / static_cast<double>(r.blocks) : 0;
    row.rssMiB = static_cast<double>(r.maxRssKb) / 1024.0;
    char steady[64] = "-";
    if (r.steadyCpuS >= 0 && r.steadyBlocks > 0) {
      const double lineS = r.steadyBlocks / plan.ports * LineLimitS(1, kBps);
      row.steadyPercent = 100.0 * r.steadyCpuS / lineS;
      row.steadyUsPerBlock = 1e6 * r.steadyCpuS / r.steadyBlocks;
      std::snprintf(steady, sizeof steady, "%.2f, %.1f", row.steadyPercent, row.steadyUsPerBlock);
    }
    if (plan.key == "all") allLowest = row.lowest;
    // Each port at the line limit, and the faulty boxes cost the others
    // nothing beyond the run-to-run noise of a fifth of a percent.
    targetsHeld &= r.ok && row.lowest >= 0.99 && row.cpuPercent <= plan.cpuTarget && row.rssMiB <= 64;
    if (plan.faulty > 0 && allLowest > 0) targetsHeld &= row.lowest >= allLowest - 0.002;
    char line[400];
    std::snprintf(
        line, sizeof line,
        "| %s | %d (%d faulty) | %.1f%% / %.1f%% | %.2f (user %.2f) | %.1f | %s | %.1f | %d | %d |\n",
        plan.name.c_str(), plan.ports, plan.faulty, 100 * row.lowest, 100 * row.median, row.cpuPercent,
        100.0 * r.userS / r.wallS, row.usPerBlock, steady, row.rssMiB, r.reportLines, r.upgraded);
    table << line;
    std::fputs(line, stdout);
    std::fflush(stdout);
    rows.push_back(row);
  }
  if (targetsHeld) {
    fs::remove_all(root);
  } else {
    std::printf("station: the last run's files are kept in %s\n", root.c_str());
  }
  if (!every) {
    std::printf("targets %s; not every run of this build: %s left as it was\n",
                targetsHeld ? "held" : "missed", out.c_str());
    return targetsHeld ? 0 : 1;
  }

  std::ostringstream md;
  md << "# station\n\n"
     << "Measured by `./stb bench station` on " << Machine() << ".\n\n"
     << "One stb-downloader --station upgrades simulated boxes, each on its own\n"
     << "pseudo-terminal paced at 115200 bit/s, with a " << kib << " KiB image each. Runs side by\n"
     << "side: one box alone, " << ports << " at once, " << ports << " of which " << faulty
     << " are faulty (silent after the\n"
     << "acknowledgement, refusing, hanging up at block 300, silent in the transfer), and " << many
     << " at once" << (window ? ", on the console and with the station window open" : "") << ".\n"
     << "The block phase of each box that took the image is set against the line limit as in\n"
     << "line_rate. Processor time and peak memory are the station's own over the whole run, all\n"
     << "ports together; per block, that time shared out over the blocks all boxes took. In the\n"
     << "block phase: the station's processor time (its threads' schedstat) over the middle half of the\n"
     << "image's line time, when every port sends blocks, per block sent meanwhile at the line's pace.\n"
     << "Targets: every port at 99% of the limit or more; at most " << kConsoleCpu
     << "% of one core on the console"
     << (window ? " and " + std::to_string(int(kWindowCpu)) + "% with the window" : "")
     << ";\nat most 64 MiB; the faulty boxes do not lower the others' rates.\n\n"
     << table.str();
  // How the figures grow with the number of ports, the console runs only.
  std::ostringstream growth;
  const char* sep = "";
  growth << "\nFrom";
  for (const auto& row : rows) {
    if (row.plan->faulty > 0 || !row.plan->stationArgs.empty()) continue;
    char part[200];
    std::snprintf(part, sizeof part,
                  "%s %d port%s (slowest %.1f%%, %.2f%% of a core, %.0f us a block, %.1f MiB)", sep,
                  row.plan->ports, row.plan->ports == 1 ? "" : "s", 100 * row.lowest, row.cpuPercent,
                  row.usPerBlock, row.rssMiB);
    growth << part;
    sep = " to";
  }
  growth << ".\n";
  md << growth.str();
  if (!window) md << "\nThe tool has no station window yet: that row is left out until it has.\n";
  md << "\nTargets " << (targetsHeld ? "held" : "missed") << ".\n";
  WriteResults(out, "station", md.str());
  std::printf("targets %s; written to %s\n", targetsHeld ? "held" : "missed", out.c_str());
  return targetsHeld ? 0 : 1;
}
