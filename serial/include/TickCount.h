// The millisecond tick counter every serial time-out is measured on: 32 bits,
// wrapping to 0, compared only as an unsigned difference.
#pragma once

#include <cstdint>
#include <functional>

namespace stb::serial {

using TTickSource = std::function<std::uint32_t()>;

// Monotonic milliseconds cut to 32 bits.
std::uint32_t GetTickCount();

// A counter that reads `start` now and runs on with the monotonic clock, so a
// wait can be started just below the wrap.
TTickSource TickSourceStartingAt(std::uint32_t start);

}  // namespace stb::serial
