#include "StationPorts.h"

namespace stb::app {

TStationPorts::TStationPorts(TStationShared& shared, TLister lister)
    : shared_(shared), lister_(std::move(lister)) {}

void TStationPorts::Add(const std::string& device) {
  if (!serving_.insert(device).second) return;
  ports_.push_back(std::make_unique<TStationPort>(shared_, device));
}

void TStationPorts::Scan() {
  for (const auto& device : lister_()) {
    if (!serving_.insert(device).second) continue;
    const auto known = slots_.find(device);
    std::optional<std::size_t> slot;
    if (known != slots_.end()) {
      slot = known->second;
      gone_.erase(known->second);
    }
    ports_.push_back(std::make_unique<TStationPort>(shared_, device, true, slot));
    slots_[device] = ports_.back()->Slot();
  }
}

void TStationPorts::Reap() {
  for (auto p = ports_.begin(); p != ports_.end();) {
    if (!(*p)->Gone() || !(*p)->Ended()) {
      ++p;
      continue;
    }
    (*p)->Join();
    serving_.erase((*p)->Device());
    gone_.insert((*p)->Slot());
    p = ports_.erase(p);
  }
}

bool TStationPorts::AllEnded() const {
  for (const auto& p : ports_) {
    if (!p->Ended()) return false;
  }
  return true;
}

void TStationPorts::EndNow() {
  for (auto& p : ports_) p->EndNow();
}

void TStationPorts::JoinAll() {
  for (auto& p : ports_) p->Join();
}

bool TStationPorts::Named(std::size_t slot, const TPortView& view) const {
  return gone_.count(slot) == 0 || view.Upgraded + view.Refused + view.Failed > 0;
}

}  // namespace stb::app
