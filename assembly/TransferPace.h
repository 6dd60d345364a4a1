// How fast the image goes to the box and how long the rest will take, for
// the progress lines of the console and the station. Measured from the first
// accepted block on: the go message and the box's first answer are no part
// of the transfer's pace.
#pragma once

#include <cstdint>

namespace stb::app {

class TTransferPace {
 public:
  // The byte counter as the upgrade sets it, at `nowMs` on the steady clock.
  void Note(long sent, std::int64_t nowMs) {
    if (sent > 0 && firstBlockMs_ == 0) {
      firstBlockMs_ = nowMs;
      firstBlockSent_ = sent;
    }
  }
  // Bytes a second; 0 until `settleMs` have passed since the first block.
  double BytesPerSecond(long sent, std::int64_t nowMs, std::int64_t settleMs = 0) const {
    const std::int64_t elapsed = nowMs - firstBlockMs_;
    if (firstBlockMs_ == 0 || elapsed <= settleMs) return 0;
    return static_cast<double>(sent - firstBlockSent_) * 1000.0 / static_cast<double>(elapsed);
  }
  // Whole seconds left at `bytesPerSecond`; -1 while the pace is unknown.
  static long SecondsLeft(long sent, long total, double bytesPerSecond) {
    if (bytesPerSecond <= 0) return -1;
    return static_cast<long>(static_cast<double>(total - sent) / bytesPerSecond + 0.5);
  }

 private:
  std::int64_t firstBlockMs_ = 0;
  long firstBlockSent_ = 0;
};

}  // namespace stb::app
