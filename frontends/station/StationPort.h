// One port of the station, on a thread of its own: box after box, each
// upgraded by an assembly of its own exactly as a single headless run would,
// until the station stops taking boxes. Within the port everything runs on
// this one thread, as in a single run.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "StationShared.h"

namespace stb::app {

class TAssembly;
class TStationBox;

class TStationPort {
 public:
  // `leavesWhenGone`: the port was found by --port all, and its thread ends
  // once the device has been missing for the station's GoneAfter. `slot`:
  // the live line it had before it went (none: a new one).
  TStationPort(TStationShared& shared, std::string device, bool leavesWhenGone = false,
               std::optional<std::size_t> slot = std::nullopt);
  ~TStationPort();
  TStationPort(const TStationPort&) = delete;
  TStationPort& operator=(const TStationPort&) = delete;

  const std::string& Device() const { return device_; }
  std::size_t Slot() const { return slot_; }
  // Whether the thread has come to its end (after a stop, or gone for good).
  bool Ended() const { return ended_; }
  // The thread ended because the device went for good, the station runs on.
  bool Gone() const { return gone_; }
  void Join();
  // The second interrupt (StopLevel kEndNow set first): the box under way,
  // if any, ends at its next wait; the port's own thread then says where it
  // stood, writes its report line and lets the port go. Any thread.
  void EndNow();

 private:
  void Run();
  // One box, from waiting for it to its report and its leaving; or, when
  // the station stopped before a box answered or the port cannot serve,
  // less.
  void OneBox();
  // A port that is there but would not open, tried again with the same
  // assembly until it opens: its start-up lines are in the log once, and
  // why it will not open once for each reason. False when the station
  // stops first.
  bool WaitForOpen(TAssembly& run, TStationBox& box);
  // True once the device has been missing for the station's GoneAfter, for
  // a port that leaves when gone (and then from there on).
  bool GoneForGood();
  // What the box's log lost, if anything: counted for the summary.
  void CheckLog(const TAssembly& run, const TStationBox& box);
  // Sleeps for `time`, or less once the station stops.
  void Pause(std::chrono::milliseconds time);
  void State(const std::string& state);
  // Says why the port cannot serve, once for as long as the reason stays.
  void Problem(const std::string& state, const std::string& why);
  // The device is not there (now).
  void NoPort();

  // The assembly of the box under way, while it lives.
  class TServing {
   public:
    TServing(TStationPort& port, TAssembly& run);
    ~TServing();
    TServing(const TServing&) = delete;
    TServing& operator=(const TServing&) = delete;

   private:
    TStationPort& port_;
  };

  TStationShared& shared_;
  const std::string device_;
  const std::size_t slot_;
  std::string logFile_;
  std::string lastProblem_;
  const bool leavesWhenGone_;
  std::chrono::steady_clock::time_point missingSince_{};
  bool missing_ = false;
  std::atomic<bool> gone_{false};
  std::atomic<bool> ended_{false};
  std::mutex serving_;
  TAssembly* run_ = nullptr;  // under serving_
  std::thread thread_;
};

// The name of a port's log file in the log folder: the device, without
// "/dev/" and with "_" for each "/", then the time the port started.
std::string PortLogName(const std::string& device, std::int64_t unixMs);

}  // namespace stb::app
