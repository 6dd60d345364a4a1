// A typed character as both operator windows hand it to the key handlers.
#include "TypedCharacter.h"

#include <gtest/gtest.h>

#include <string>

namespace stb::layout {
namespace {

// Stands in for the assembly: what reached which handler, in order; a
// foreign character shows as '?'.
struct TRecordingRun {
  std::string keys;
  void KeyPress(char& key) { keys += key; }
  void ForeignKeyPress() { keys += '?'; }
};

TEST(TypedCharacter, EightBitCharactersAreKeysAndTheRestAreForeign) {
  TRecordingRun run;
  for (char32_t typed : {U'A', U'\u00e9', U'\u00ff', U'\u0100', U'\u0416', U'\U0001F600', U'3'})
    DeliverTyped(run, typed);
  EXPECT_EQ(run.keys, "A\xe9\xff???3");
}

}  // namespace
}  // namespace stb::layout
