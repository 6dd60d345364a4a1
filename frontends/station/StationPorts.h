// The ports of a station. Those given by name serve for as long as the
// station runs. Those --port all finds come and go with their adapters: one
// missing for good ends its thread (a hub whose adapters come and go for
// days must not pile up a thread for every name it ever had), and comes back
// on its old live line when its name is listed again. Main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "StationPort.h"

namespace stb::app {

class TStationPorts {
 public:
  // What --port all takes: the serial adapters there are now.
  using TLister = std::function<std::vector<std::string>()>;

  TStationPorts(TStationShared& shared, TLister lister);

  // A port given by name.
  void Add(const std::string& device);
  // Takes on every listed adapter that has no thread.
  void Scan();
  // Lets go of the threads of ports gone for good.
  void Reap();
  bool AllEnded() const;
  // The second interrupt, passed on to every port.
  void EndNow();
  void JoinAll();
  // Ports with a thread.
  std::size_t Running() const { return ports_.size(); }
  // Whether the summary names this live line: a port gone for good that
  // never took a box is left out.
  bool Named(std::size_t slot, const TPortView& view) const;

 private:
  TStationShared& shared_;
  TLister lister_;
  std::list<std::unique_ptr<TStationPort>> ports_;
  std::set<std::string> serving_;             // devices with a thread
  std::map<std::string, std::size_t> slots_;  // every adapter ever found, its live line
  std::set<std::size_t> gone_;                // live lines of ports gone for good
};

}  // namespace stb::app
