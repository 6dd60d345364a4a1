#include "InterruptListener.h"

#include "ModeTable.h"

namespace stb::app {

void TInterruptListener::ModeChosen(int mode) {
  policy_.NoteStep(std::string(upgrade::ModeEntry(mode).Line));
}

void TInterruptListener::StepReached(upgrade::TStep step) { policy_.NoteStep(upgrade::StepTitle(step)); }

}  // namespace stb::app
