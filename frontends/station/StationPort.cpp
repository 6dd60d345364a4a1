#include "StationPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "Assembly.h"
#include "Console.h"
#include "EscapedLine.h"
#include "EventLoop.h"
#include "ExitStatus.h"
#include "HostPorts.h"
#include "LocalTime.h"
#include "StationBox.h"
#include "StationFiles.h"
#include "PresenceProbe.h"
#include "TypeCode.h"

namespace stb::app {

namespace {

constexpr int kTickMs = 1000;

// A port named on the command line that is not there: said once, for a
// station that otherwise only waits would look as if it hung, or as if
// the port were being served.
constexpr char kNoSuchPort[] = "no such port; the station waits for it and takes it on once it is there";

bool DeviceExists(const std::string& device) { return serial::PortIsThere(device); }

}  // namespace

std::string PortLogName(const std::string& device, std::int64_t unixMs) {
  std::string name = device;
  // "/dev/ttyUSB0" and Windows' "\\.\COM10" by their short names.
  for (const char* prefix : {"/dev/", "\\\\.\\"}) {
    if (name.rfind(prefix, 0) == 0) name.erase(0, std::char_traits<char>::length(prefix));
  }
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == ':') c = '_';
  }
  return name + "-" + FileStamp(unixMs) + ".log";
}

TStationPort::TStationPort(TStationShared& shared, std::string device, bool leavesWhenGone,
                           std::optional<std::size_t> slot)
    : shared_(shared),
      device_(std::move(device)),
      slot_(slot ? *slot : shared.Display.AddPort(device_)),
      leavesWhenGone_(leavesWhenGone) {
  if (!shared_.Options.LogDir.empty())
    logFile_ = shared_.Options.LogDir + "/" + PortLogName(device_, UnixMsNow());
  shared_.Display.Update(slot_, [&](TPortView& v) { v.LogFile = logFile_; });
  thread_ = std::thread([this] { Run(); });
}

TStationPort::~TStationPort() { Join(); }

void TStationPort::Join() {
  if (thread_.joinable()) thread_.join();
}

void TStationPort::State(const std::string& state) {
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.State = state;
    v.Why.clear();
  });
}

void TStationPort::Problem(const std::string& state, const std::string& why) {
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.State = state;
    v.Why = why;
  });
  // The port's name leads the line, unless the reason names it already.
  const bool named = why.rfind("stb-downloader: ", 0) == 0;
  if (why != lastProblem_) shared_.Display.Event(named ? why : device_ + ": " + why);
  lastProblem_ = why;
}

void TStationPort::NoPort() {
  // An adapter --port all found comes and goes: its live line says it.
  if (leavesWhenGone_) {
    State("no port");
  } else {
    Problem("no port", kNoSuchPort);
  }
}

void TStationPort::Pause(std::chrono::milliseconds time) {
  const auto until = std::chrono::steady_clock::now() + time;
  while (shared_.StopLevel.load() == kRunning && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::min(time, std::chrono::milliseconds(250)));
  }
}

void TStationPort::Run() {
  bool idle = false;
  for (;;) {
    const int level = shared_.StopLevel.load();
    if (!Serving(level) || gone_) break;
    if (level == kPaused) {
      // Idle, but still the port's: boxes are taken again on the word.
      if (!idle) State("taking no boxes");
      idle = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    idle = false;
    OneBox();
  }
  State(gone_ ? "gone" : "stopped");
  ended_ = true;
}

bool TStationPort::GoneForGood() {
  if (!leavesWhenGone_) return false;
  if (gone_) return true;
  if (DeviceExists(device_)) {
    missing_ = false;
    return false;
  }
  const auto now = std::chrono::steady_clock::now();
  if (!missing_) {
    missing_ = true;
    missingSince_ = now;
  }
  gone_ = now - missingSince_ >= shared_.GoneAfter;
  return gone_;
}

void TStationPort::CheckLog(const TAssembly& run, const TStationBox& box) {
  if (logFile_.empty()) return;
  std::string why;
  if (run.Log().Lost() > 0) {
    why = run.Log().LostWhy();
  } else if (!box.LogLost().empty()) {
    why = box.LogLost();
  } else {
    // Written to a file that has left its folder (the folder removed while
    // the box was upgraded): written, but to nowhere anyone can read.
    if (!StillNamed(run.Log().Descriptor(), logFile_))
      why = "the file was removed while the box was upgraded";
  }
  if (why.empty()) return;
  const std::string text = "cannot write the log file " + logFile_ + ": " + why;
  shared_.LogLost(device_, text);
  shared_.Display.Event(device_ + ": " + text);
}

bool TStationPort::WaitForOpen(TAssembly& run, TStationBox& box) {
  std::string said;
  for (;;) {
    if (DeviceExists(device_)) {
      const auto& open = run.Link().LastOpenResult();
      const std::string why = PortFailureReason(device_, static_cast<int>(open.Failure), open.SystemError);
      Problem("cannot open", why);
      if (why != said) box.Note("error", EscapedLine(why));
      said = why;
      Pause(shared_.RetryAfter);
    } else {
      NoPort();
      if (GoneForGood()) return false;
      Pause(std::min(shared_.RetryAfter, std::chrono::milliseconds(kTickMs)));
    }
    if (shared_.StopLevel.load() != kRunning) return false;
    if (DeviceExists(device_) && run.Link().OpenPort()) return true;
  }
}

void TStationPort::OneBox() {
  if (!DeviceExists(device_)) {
    NoPort();
    if (!GoneForGood()) Pause(std::min(shared_.GoneAfter, std::chrono::milliseconds(kTickMs)));
    return;
  }
  missing_ = false;
  if (!shared_.Options.LogDir.empty()) {
    // A log folder removed while the station runs is made again, so that
    // the boxes go on being logged.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(shared_.Options.LogDir), ec);
  }
  TOptions options = shared_.Options;
  options.Port = device_;
  options.LogFile = logFile_;

  TEventLoop loop;
  TStationBox box(shared_, slot_, device_, &loop);
  TBoxRecorder recorder(device_);
  recorder.SetIncludeFolder(options.IncludeDir);
  std::string refusal;
  // The log goes to the port's log file only.
  auto run = TAssembly::Build(
      options, box, nullptr, loop.MakeTimer(), [&](const THandlerError& e) { box.HandlerError(e); }, refusal,
      &box);
  if (!run) {
    Problem("cannot log", refusal);
    shared_.LogLost(device_, refusal);
    Pause(shared_.RetryAfter);
    return;
  }
  run->AddListener(&recorder);
  run->AddListener(&box);
  // What a stop at once reaches, for as long as it lives.
  const TServing serving(*this, *run);
  if (!run->StartUp() && !WaitForOpen(*run, box)) return;
  if (!TypeCode(*run, options.Code)) {
    Problem("file error", box.Error());
    Pause(shared_.RetryAfter);
    return;
  }

  auto ticks = loop.MakeTimer();
  ticks->SetCallback([&] { run->Tick(); });
  box.SetTicks(ticks.get());
  ticks->Start(kTickMs);
  State("waiting for box");
  lastProblem_.clear();
  while (!box.Closed() && !run->HandlerFailed()) {
    if (!box.Arrived() && (shared_.StopLevel.load() != kRunning || GoneForGood())) return;
    loop.RunOnce(500);
  }
  ticks->Stop();
  if (!box.Arrived()) {
    // An error before any box answered (the port went away while waiting
    // is not one: the ticks reopen it).
    Problem("file error", box.Error());
    Pause(shared_.RetryAfter);
    return;
  }

  const bool portOpen = run->Link().IsPortOpen();
  TBoxRecord report = recorder.Record();
  if (report.DecidedBy.empty() && !portOpen) report.DecidedBy = "the port went away";
  CheckLog(*run, box);
  const bool stopped = box.Stopped();
  if (stopped) {
    // Said here, by the thread that ran the box, with the port still ours.
    const std::string where = box.StopLine(shared_.StopCause.load());
    shared_.Display.ErrorLine("stb-downloader: " + device_ + ": " + where);
    box.Say("stb-downloader: " + where);
    report.DecidedBy = "stb-downloader: " + where;
    // Output still queued for the box would hold the close up.
    run->Link().PurgeBuffers(true, true);
    run->Link().ClosePort();
  }
  shared_.Display.Update(slot_, [&](TPortView& v) {
    v.Running = false;
    v.Percent = -1;
    v.Rate = 0;
    v.SecondsLeft = -1;
    v.Last = stopped ? "failed (stopped)" : ResultName(report.Result);
    v.Reason = report.DecidedBy;
    if (stopped) v.State = "stopped";
    if (report.Result == TBoxResult::Upgraded) {
      ++v.Upgraded;
    } else if (report.Result == TBoxResult::Refused) {
      ++v.Refused;
    } else {
      ++v.Failed;
      if (stopped) {
        ++v.Stopped;
      } else if (report.Result == TBoxResult::NoResponse) {
        ++v.NoResponse;
      }
    }
  });
  shared_.Report.Append(RecordLine(report));
  if (stopped) return;
  shared_.Display.Event(device_ + ": " + ResultName(report.Result) + " (" + report.DecidedBy + ")");

  // The box leaves before the next is taken.
  State(portOpen ? "remove box" : "no port");
  upgrade::TPresenceProbe presence(run->Link(), run->Upgrade().Record().DownloadMode);
  auto next = std::chrono::steady_clock::now();
  // Paused, the port still waits for its box to go, so that taking boxes
  // again never upgrades one left on it a second time.
  while (Serving(shared_.StopLevel.load())) {
    next += std::chrono::milliseconds(kTickMs);
    while (Serving(shared_.StopLevel.load()) && std::chrono::steady_clock::now() < next) {
      loop.RunOnce(static_cast<int>(
          std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now()).count()));
    }
    if (!Serving(shared_.StopLevel.load())) break;
    const upgrade::TPresence seen = presence.Probe();
    if (seen == upgrade::TPresence::PortGone) State("no port");
    if (seen == upgrade::TPresence::Answered) State("remove box");
    if (presence.Gone() || GoneForGood()) break;
  }
}

TStationPort::TServing::TServing(TStationPort& port, TAssembly& run) : port_(port) {
  const std::lock_guard lock(port_.serving_);
  port_.run_ = &run;
  if (port_.shared_.StopLevel.load() == kEndNow) run.Upgrade().RequestStop();
}

TStationPort::TServing::~TServing() {
  const std::lock_guard lock(port_.serving_);
  port_.run_ = nullptr;
}

void TStationPort::EndNow() {
  const std::lock_guard lock(serving_);
  if (run_) run_->Upgrade().RequestStop();
}

}  // namespace stb::app
