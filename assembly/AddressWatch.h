// What the address question is about: the two addresses of the box under
// way, heard from the upgrade's events (never read back from the log), for
// the line the operator windows show under the question.
#pragma once

#include <cstdint>

#include "UpgradeEvents.h"

namespace stb::app {

struct TAddressWatch final : upgrade::IUpgradeEvents {
  void BoxAcknowledged() override { Mismatch = false; }
  void AddressesReceived(std::uint32_t box, std::uint32_t include) override {
    Box = box;
    Include = include;
  }
  void AddressMismatch() override { Mismatch = true; }
  std::uint32_t Box = 0, Include = 0;
  bool Mismatch = false;
};

}  // namespace stb::app
