// stb-downloader --headless as a script would run it: the real program
// against the simulated box, stdout checked line for line, stderr's tagged
// lines and the exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "LogText.h"
#include "BoxSim.h"
#include "ChildProcess.h"
#include "JsonObject.h"
#include "ModeTable.h"
#include "PtyPair.h"
#include "ScratchDir.h"
#include "Upgrade.h"
#include "UpgradeRun.h"

namespace stb::app {
namespace {

using stb::testing::TScratchDir;

struct TResult {
  int status = -1;
  std::vector<std::string> out;
  std::string err;
};

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs the program in the current folder with `args`, stdin from `input`.
// A run that has not ended after half a minute fails the test.
TResult RunTool(std::vector<std::string> args, const std::string& input = "", int signalAfterMs = 0) {
  std::ofstream("stdin.txt") << input;
  args.insert(args.begin(), STB_DOWNLOADER_PATH);
  stb::testing::TChildProcess tool;
  TResult r;
  const bool started = tool.Start(args, {.In = stb::testing::TStdio::From("stdin.txt"),
                                         .Out = stb::testing::TStdio::To("stdout.txt"),
                                         .Err = stb::testing::TStdio::To("stderr.txt")});
  EXPECT_TRUE(started) << tool.Error();
  if (!started) return r;
  if (signalAfterMs > 0) {
    poll(nullptr, 0, signalAfterMs);
    tool.Signal(SIGTERM);
  }
  r.status = tool.Wait(30000);
  r.out = Lines("stdout.txt");
  std::stringstream err;
  err << std::ifstream("stderr.txt").rdbuf();
  r.err = err.str();
  return r;
}

// A scratch folder with include files for every mode and a box to talk to.
struct THeadlessRun {
  TScratchDir dir;
  sim::TBoxConfig box;
  std::unique_ptr<sim::TBoxSim> sim;
  std::string address = "0x9FC10000";

  void Start(std::size_t imageBytes = 3000) {
    for (const auto& mode : upgrade::kModeTable) {
      const std::string a = std::string(mode.IncludeFile) == "./inc/bl.inc" ? "0x9FC00000" : address;
      const std::string lines[12] = {"110022", "01.00", "01.00", "01.00",       "01.00", "01.00",
                                     "01.00",  "D2412", "label", "./image.bin", "3",     a};
      dir.Write(std::string(mode.IncludeFile), stb::testing::IncludeText(lines));
    }
    dir.Write("image.bin", std::string(imageBytes, 'q'));
    sim = std::make_unique<sim::TBoxSim>(box);
    sim->Start();
  }
  TResult Run(std::vector<std::string> extra, const std::string& input = "", int signalAfterMs = 0) {
    std::vector<std::string> args = {"--headless", "--port", sim->DevicePath(), "--response-timeout", "0.7"};
    args.insert(args.end(), extra.begin(), extra.end());
    TResult r = RunTool(args, input, signalAfterMs);
    sim->WaitFinished(r.status == 0 ? 2000 : 0);
    sim->Stop();
    return r;
  }
};

// Standard error without the plain progress lines a run off a terminal has.
std::string WithoutProgress(const std::string& err) {
  std::stringstream in(err);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("[progress] ", 0) != 0) kept += line + "\n";
  }
  return kept;
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::stringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Directions() { return {std::begin(app::kDirections), std::end(app::kDirections)}; }

TEST(Headless, UpgradesInEveryModeWithTheLogOnStdout) {
  for (int mode = 1; mode <= 8; ++mode) {
    SCOPED_TRACE(mode);
    THeadlessRun run;
    if (mode == 1) run.box.Address = 0x9FC00000;
    run.Start();
    const TResult r = run.Run({"--code", std::string(upgrade::ModeEntry(mode).Code)});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_GT(r.out.size(), 17u);
    EXPECT_EQ(std::vector<std::string>(r.out.begin(), r.out.begin() + 13), Directions());
    EXPECT_EQ(r.out[13], upgrade::ModeEntry(mode).Line);
    EXPECT_EQ(r.out[16], "  -. Pass OUI - Orvanta. Co.");
    EXPECT_EQ(r.out.back(), "Please Turn Off and On the STB set !!!");
    EXPECT_EQ(WithoutProgress(r.err), "[message] Congraturation! Software Upgrade OK !!!!\n");
    EXPECT_EQ(run.sim->Summary().End, "done");

    // Line for line what the window's log holds for the same upgrade.
    stb::testing::TUpgradeRun window;
    if (mode == 1) {
      window.Include.Address = "0x9FC00000";
      window.Box.Address = 0x9FC00000;
    }
    window.Start(3000);
    window.Upgrade(mode);
    EXPECT_EQ(r.out, window.Window.Log);
  }
}

TEST(Headless, RefusalsAndFailuresExitWithOne) {
  struct Case {
    const char* name;
    std::function<void(THeadlessRun&)> arrange;
    const char* lastLine;
    const char* lastBox;
  } cases[] = {
      {"model", [](THeadlessRun& r) { r.box.Identity[3] = 7; }, "  - Invalid Model Code !!",
       "[message] Invalid Model Code !!"},
      {"boot area",
       [](THeadlessRun& r) {
         r.address = "0xBFC00000";
         r.box.Address = 0xBFC00000;
       },
       "  -ERROR:Cannot Write Bootloader Area!!", "[message] ERROR:Cannot Write Bootloader Area!!"},
      {"silent", [](THeadlessRun& r) { r.box.SilentFrom = sim::TBoxPhase::Identity; },
       "  ERROR: No Response from the Set-Top Box !!", "[message] No Response from the Set-Top Box !!"},
      {"flash report", [](THeadlessRun& r) { r.box.WrongReport = sim::TBoxReport::FlashImage; },
       "  Flash Image BAD CRC !!", "[message] Software Upgrade Fail !!!"},
      {"first block", [](THeadlessRun& r) { r.box.RefuseBlock[0] = 1; }, "  DownLoad Fail !!",
       "[message] Software Upgrade Fail !!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    THeadlessRun run;
    c.arrange(run);
    run.Start();
    const TResult r = run.Run({"--code", "APP103"});
    EXPECT_EQ(r.status, 1);
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), c.lastLine);
    EXPECT_NE(r.err.find(std::string(c.lastBox) + "\n"), std::string::npos) << r.err;
  }
}

TEST(Headless, AddressMismatchIsAnsweredByTheOption) {
  for (const char* answer : {"exit", "continue", ""}) {
    SCOPED_TRACE(answer);
    THeadlessRun run;
    run.address = "0x80010000";
    run.box.Address = 0xC0010000;
    run.Start();
    std::vector<std::string> args = {"--code", "APP204"};
    if (*answer) args.insert(args.end(), {"--on-address-mismatch", answer});
    const TResult r = run.Run(args);
    const bool goOn = std::string(answer) == "continue";
    // The question names neither address: the line before it gives both.
    EXPECT_NE(r.err.find("[addresses] include file ./inc/app2.inc: 0x80010000, box: 0xC0010000\n"
                         "[confirm] Warning!!!. Download Address MisMatch!!!  Exit now?\n[answer] " +
                         std::string(goOn ? "No" : "Yes") + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.status, goOn ? 0 : 1);
    if (!goOn) {
      EXPECT_NE(r.err.find("[information] Download Address MisMatch!!!. Check Your installation "
                           "file(./inc/xxxx.inc).\n"),
                std::string::npos);
    }
  }
}

TEST(Headless, CodeTypedOnStandardInput) {
  THeadlessRun run;
  run.Start();
  const TResult typed = run.Run({}, "xxGUID06");
  EXPECT_EQ(typed.status, 0) << typed.err;
  EXPECT_EQ(typed.out[13], "0. GUI Data Mode");

  THeadlessRun ended;
  ended.Start();
  const TResult r = ended.Run({}, "GUID0");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("standard input ended before a mode code was typed"), std::string::npos);

  // A whole line that chose nothing is a wrong code, not an input that
  // ended early: the run says so and ends, with nobody to ask again.
  for (const char* wrong : {"app103\n", "APP999\r\nAPP103\n", "app103"}) {
    SCOPED_TRACE(wrong);
    THeadlessRun piped;
    piped.Start();
    const TResult w = piped.Run({}, wrong);
    EXPECT_EQ(w.status, 2);
    EXPECT_NE(w.err.find("stb-downloader: the code typed chooses no mode"), std::string::npos) << w.err;
    EXPECT_EQ(w.err.find("standard input ended"), std::string::npos) << w.err;
    EXPECT_EQ(piped.sim->Summary().BlocksAccepted, 0);
  }
}

// A code given with --code that completes no mode's code would be waited on
// for ever: the run ends at once, before the port is touched.
TEST(Headless, ACodeThatChoosesNoModeEndsTheRunAtOnce) {
  for (const char* code : {"app103", "APP999", "APP10"}) {
    SCOPED_TRACE(code);
    THeadlessRun run;
    run.Start();
    const auto start = std::chrono::steady_clock::now();
    const TResult r = run.Run({"--code", code});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "stb-downloader: the code given with --code chooses no mode\n");
    EXPECT_TRUE(r.out.empty());
  }
}

// At a terminal the operator is asked for the code, told when a line chose
// no mode, and asked again.
TEST(Headless, AtATerminalAWrongCodeIsAskedForAgain) {
  THeadlessRun run;
  run.Start();
  stb::testing::TPtyPair terminal;
  stb::testing::TChildProcess tool;
  ASSERT_TRUE(tool.Start(
      {STB_DOWNLOADER_PATH, "--headless", "--port", run.sim->DevicePath(), "--response-timeout", "0.7"},
      {.In = stb::testing::TStdio::Fd(terminal.Device()),
       .Out = stb::testing::TStdio::To("stdout.txt"),
       .Err = stb::testing::TStdio::Fd(terminal.Device())}))
      << tool.Error();
  std::string seen;
  auto waitFor = [&](const std::string& text) {
    for (int i = 0; i < 100 && seen.find(text) == std::string::npos; ++i) seen += terminal.Receive(4096, 50);
    return seen.find(text) != std::string::npos;
  };
  ASSERT_TRUE(waitFor("Mode code: ")) << seen;
  terminal.Send("app103\n");
  ASSERT_TRUE(waitFor("the code typed chooses no mode; type it again")) << seen;
  EXPECT_TRUE(waitFor("type it again\nMode code: ") || waitFor("type it again\r\nMode code: ")) << seen;
  EXPECT_EQ(seen.find("app103"), std::string::npos);  // typed unseen
  terminal.Send("APP103");
  EXPECT_EQ(tool.Wait(20000), 0) << seen;
  run.sim->WaitFinished(2000);
  run.sim->Stop();
  EXPECT_EQ(run.sim->Summary().End, "done");
  const auto out = Lines("stdout.txt");
  ASSERT_GT(out.size(), 13u);
  EXPECT_EQ(out[13], "0. Application Software 1. Mode");
}

// Off a terminal (a CI log, a file) the progress is a plain line on stderr
// for every tenth of the image and the flash write's start and end; the log
// on stdout stays the log, line for line.
TEST(Headless, OffATerminalTheProgressIsAPlainLineEveryTenth) {
  THeadlessRun run;
  run.Start(20 * 1024);
  const TResult r = run.Run({"-c", "APP103"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto progress = Lines(r.err, "[progress] ");
  const auto download = Lines(r.err, "[progress] download ");
  ASSERT_EQ(download.size(), 10u) << r.err;
  for (std::size_t i = 0; i < download.size(); ++i) {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(i + 1) * 10);
    EXPECT_EQ(download[i].find(std::string("[progress] download ") + percent + "  "), 0u) << download[i];
  }
  EXPECT_NE(download.back().find(" 20480 / 20480 bytes "), std::string::npos) << download.back();
  ASSERT_EQ(progress.size(), download.size() + 2) << r.err;
  EXPECT_EQ(progress.back().rfind("[progress] flash write 100%", 0), 0u) << progress.back();
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), "3. Start DownLoad"), 1);
  for (const auto& line : r.out) EXPECT_EQ(line.find("[progress]"), std::string::npos);
}

// --quiet leaves the directions and the progress off the console (the log
// file keeps them); --verbose adds the line settings and the events.
TEST(Headless, QuietAndVerbose) {
  THeadlessRun quiet;
  quiet.Start(4096);
  const TResult q = quiet.Run({"-q", "--code", "APP103", "--log-file", "run.log"});
  ASSERT_EQ(q.status, 0) << q.err;
  ASSERT_FALSE(q.out.empty());
  EXPECT_EQ(q.out.front(), "0. Application Software 1. Mode");
  EXPECT_EQ(q.err, "[message] Congraturation! Software Upgrade OK !!!!\n");
  EXPECT_EQ(Lines("run.log").size(), q.out.size() + 13);

  THeadlessRun verbose;
  verbose.Start(4096);
  const TResult v = verbose.Run({"--verbose", "--code", "APP103"});
  ASSERT_EQ(v.status, 0) << v.err;
  EXPECT_NE(v.err.find("[verbose] port " + verbose.sim->DevicePath() +
                       ": 115200 bit/s, 8 data bits, no parity, 1 stop bit, DTR on, RTS on"),
            std::string::npos)
      << v.err;
  EXPECT_NE(v.err.find("[event] mode 3 chosen; its include file is ./inc/app1.inc\n"), std::string::npos);
  EXPECT_NE(v.err.find("[event] the box echoed mode 3\n"), std::string::npos);
  EXPECT_NE(v.err.find("[event] ended: upgraded, step 7, 4096 of 4096 bytes acknowledged\n"),
            std::string::npos);
  // The log on stdout is the same as without it.
  EXPECT_EQ(std::vector<std::string>(v.out.begin(), v.out.begin() + 13), Directions());
}

// The names of a JSON object's own fields, in order (not those of the
// objects inside it).
std::vector<std::string> TopFields(const std::string& line) {
  std::vector<std::string> fields;
  int depth = 0;
  bool inText = false;
  std::string text;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inText) {
      if (c == '\\') {
        text += line[++i];
      } else if (c == '"') {
        inText = false;
        if (depth == 1 && i + 1 < line.size() && line[i + 1] == ':') fields.push_back(text);
      } else {
        text += c;
      }
    } else if (c == '"') {
      inText = true;
      text.clear();
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      --depth;
    }
  }
  return fields;
}

TEST(Headless, AReportIsOneLineABoxWithTheStationsFields) {
  const std::vector<std::string> stationFields = {"port",   "start",      "end",     "mode",
                                                  "result", "decided_by", "reason",  "step",
                                                  "box",    "written",    "resends", "duration_s"};
  TScratchDir dir;
  std::vector<std::string> lines;
  for (const bool refuse : {false, true}) {
    THeadlessRun run;
    if (refuse) run.box.Identity[3] = 7;
    run.Start(5000);
    const std::string report = (dir.Path() / "boxes.jsonl").string();
    const TResult r = run.Run({"--code", "APP103", "--report", report});
    EXPECT_EQ(r.status, refuse ? 1 : 0) << r.err;
  }
  lines = Lines((dir.Path() / "boxes.jsonl").string());
  ASSERT_EQ(lines.size(), 2u);
  for (const auto& line : lines) {
    EXPECT_TRUE(stb::testing::IsJsonObject(line)) << line;
    const auto fields = TopFields(line);
    // The station's fields first, in its order; the record's own after them.
    ASSERT_GE(fields.size(), stationFields.size()) << line;
    EXPECT_EQ(std::vector<std::string>(fields.begin(), fields.begin() + stationFields.size()), stationFields);
    for (const char* added :
         {"id", "host", "tool_version", "mode_name", "include_file", "image", "sent", "total"})
      EXPECT_NE(std::find(fields.begin(), fields.end(), added), fields.end()) << added;
  }
  EXPECT_NE(lines[0].find(R"("result":"upgraded")"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(R"("image":{"path":"./image.bin","bytes":5000,"blocks":5,)"), std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find(R"("result":"refused","decided_by":"  - Invalid Model Code !!","reason":"model")"),
            std::string::npos)
      << lines[1];
}

TEST(Headless, AReportThatCannotBeWrittenStopsTheRunBeforeThePort) {
  THeadlessRun run;
  run.Start();
  const TResult r = run.Run({"--code", "APP103", "--report", "/dev/full"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("stb-downloader: cannot write the report /dev/full: not a regular file"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(r.out.empty());  // nothing started, no box was woken
}

TEST(Headless, FileErrorsExitWithThree) {
  THeadlessRun run;
  run.Start();
  run.dir.Write("inc/app1.inc", "110022\r\n1.10\r\n");
  const TResult r = run.Run({"--code", "APP103"});
  EXPECT_EQ(r.status, 3);
  // The error's own text, then which line is wrong and what belongs there.
  EXPECT_EQ(
      r.err,
      "[error] '0x1.' is not a valid integer value.\n"
      "[error] Line 2 of the include file ./inc/app1.inc must hold the model code: two hexadecimal digits, "
      "any character, two more (01.0A).\n");
  EXPECT_EQ(r.out.back(), "0. Application Software 1. Mode");
}

TEST(Headless, PortThatCannotBeOpenedExitsWithFour) {
  TScratchDir dir;
  TResult r = RunTool({"--headless", "--port", "/dev/does-not-exist-stb", "--code", "APP103"});
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.err.rfind("[message] Error: could not connect.  Check COM port settings\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos);

  sim::TBoxSim box({});
  const int holder = open(box.DevicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  r = RunTool({"--headless", "--port", box.DevicePath(), "--code", "APP103"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("Another program holds the port"), std::string::npos) << r.err;
  close(holder);
}

TEST(Headless, TerminationSignalClosesThePortAndExits) {
  THeadlessRun run;
  run.box.SilentFrom = sim::TBoxPhase::Acknowledge;
  run.Start();
  const TResult r = run.Run({"--code", "APP103"}, "", 300);
  EXPECT_EQ(r.status, 143);
  // A usage error is named, with where to look, and no more.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--headless", "--bogus"}, std::vector<std::string>{"--headless", "-p"}}) {
    TResult usage = RunTool(args);
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, std::string("stb-downloader: ") +
                             (args[1] == "-p" ? "option --port needs a value" : "unknown option --bogus") +
                             "\nTry 'stb-downloader --help'.\n");
  }
}

TEST(Headless, TraceAndLogFile) {
  THeadlessRun run;
  run.Start(1024);
  const TResult r = run.Run({"--code", "LPDT05", "--trace", "wire.txt", "--log-file", "run.log"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto trace = Lines("wire.txt");
  ASSERT_FALSE(trace.empty());
  // Bytes the tool reads one at a time appear one a line.
  bool announced = false, acknowledged = false;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    announced |= trace[i].find("> 4C 41 53 54 50") != std::string::npos &&
                 trace[i].find("|LASTP|") != std::string::npos;
    acknowledged |= i + 2 < trace.size() && trace[i].find("< 41 ") != std::string::npos &&
                    trace[i + 1].find("< 43 ") != std::string::npos &&
                    trace[i + 2].find("< 4B ") != std::string::npos;
  }
  EXPECT_TRUE(announced);
  EXPECT_TRUE(acknowledged);
  const auto log = Lines("run.log");
  ASSERT_EQ(log.size(), r.out.size());
  for (std::size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i].substr(24), r.out[i]);
}

TEST(Headless, ImageOverwrittenDuringTheTransferExitsWithOne) {
  THeadlessRun run;
  run.box.Bps = 115200;  // twelve blocks take about a second
  run.Start(12 * 1024);
  // Once the transfer has begun, the last block is written over in place.
  std::atomic<bool> ended{false};
  std::thread writer([&] {
    while (!ended) {
      std::stringstream out;
      out << std::ifstream("stdout.txt").rdbuf();
      if (out.str().find("3. Start DownLoad\n") != std::string::npos) {
        const int fd = open("image.bin", O_WRONLY);
        EXPECT_EQ(pwrite(fd, "changed", 7, 11 * 1024), 7);
        close(fd);
        return;
      }
      poll(nullptr, 0, 5);
    }
  });
  const TResult r = run.Run({"--code", "APP103"});
  ended = true;
  writer.join();
  EXPECT_EQ(r.status, 1);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.back(), "  ERROR: Image file changed during the DownLoad !!");
  EXPECT_NE(r.err.find("[message] Software Upgrade Fail !!!\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Congraturation"), std::string::npos);
  EXPECT_EQ(run.sim->Summary().BlocksAccepted, 12);
  EXPECT_NE(run.sim->Summary().End, "done");
}

// The error itself takes one line; the advice (FileAdvice) one more.
TEST(Headless, IncludeFileErrorsTakeOneLineAndGiveTheReason) {
  auto lines = [](const std::string& line2) {
    const std::string l[12] = {"110022", line2,   "01.00", "01.00",       "01.00", "01.00",
                               "01.00",  "D2412", "label", "./image.bin", "3",     "0x9FC10000"};
    return stb::testing::IncludeText(l);
  };
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string error;
  } cases[] = {
      {"folder",
       [] {
         std::filesystem::remove("inc/app1.inc");
         std::filesystem::create_directory("inc/app1.inc");
       },
       "[error] I/O error 21. (Is a directory)\n"},
      {"link loop",
       [] {
         std::filesystem::remove("inc/app1.inc");
         std::filesystem::create_symlink("app1.inc", "inc/app1.inc");
       },
       "[error] I/O error 40. (Too many levels of symbolic links)\n"},
      // Bytes of the file inside the text are shown, escaped, on the line.
      {"line feed", [&] { std::ofstream("inc/app1.inc", std::ios::binary) << lines("0\n.0A"); },
       "[error] '0x0\\n' is not a valid integer value.\n"},
      {"control bytes",
       [&] { std::ofstream("inc/app1.inc", std::ios::binary) << lines(std::string("\x1B\0.0A", 5)); },
       "[error] '0x\\x1B\\x00' is not a valid integer value.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    THeadlessRun run;
    run.Start();
    c.arrange();
    const TResult r = run.Run({"--code", "APP103"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err.substr(0, c.error.size()), c.error);
    const std::string advice = r.err.substr(std::min(c.error.size(), r.err.size()));
    EXPECT_TRUE(advice.starts_with("[error] ") && advice.find('\n') == advice.size() - 1) << advice;
  }
}

}  // namespace
}  // namespace stb::app
