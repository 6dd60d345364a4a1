// Where the upgrade stands, for the line an interrupt leaves and for what an
// interrupt may do: the last numbered line of the log, the bytes sent, and
// whether the box is taking the image, all from the upgrade's events.
#pragma once

#include "InterruptPolicy.h"
#include "UpgradeEvents.h"

namespace stb::app {

class TInterruptListener : public upgrade::IUpgradeEvents {
 public:
  explicit TInterruptListener(IInterruptPolicy& policy) : policy_(policy) {}

  void ModeChosen(int mode) override;
  void ImageMeasured(const std::string&, const upgrade::TImageMeasure& image) override {
    policy_.NoteCounter(0, image.ImageSize);
  }
  void GoMessageSent(std::uint32_t, long) override { policy_.SetBoxTakingImage(true); }
  void StepReached(upgrade::TStep step) override;
  void BlockAccepted(long, long sent, long total) override { policy_.NoteCounter(sent, total); }
  // The box is past the image however it ended: an interrupt while the
  // closing box is shown puts nothing at risk any more.
  void Ended(const upgrade::TUpgradeEnd&) override { policy_.SetBoxTakingImage(false); }

 private:
  IInterruptPolicy& policy_;
};

}  // namespace stb::app
