#include "ProgressListener.h"

#include "Upgrade.h"

namespace stb::app {

void TProgressListener::BlockAccepted(long index, long sent, long total) {
  view_.SetDownloadProgress(upgrade::ProgressPosition(index + 1, blocks_));
  view_.SetCounter(sent, total);
}

void TProgressListener::FlashStep(long step, long steps) {
  view_.SetFlashProgress(upgrade::ProgressPosition(step, steps));
}

}  // namespace stb::app
