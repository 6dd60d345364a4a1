// What a character typed into the window is to the key handlers, whatever
// toolkit delivered it. No toolkit is included here.
#pragma once

namespace stb::layout {

// The key handler takes 8-bit characters (Latin-1, one byte each).
inline bool IsEightBit(char32_t typed) { return typed <= 0xFF; }

// Hands one typed character to the run's key handlers. Any character outside
// the 8-bit set (a Cyrillic letter, say) cannot be part of a code: it still
// breaks one being typed. `TRun` is the assembly, or a test's stand-in.
template <class TRun>
void DeliverTyped(TRun& run, char32_t typed) {
  if (!IsEightBit(typed)) {
    run.ForeignKeyPress();
    return;
  }
  char key = static_cast<char>(typed);
  run.KeyPress(key);
}

}  // namespace stb::layout
