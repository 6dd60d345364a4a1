// The bars, the byte counter and the animation of a front end, driven by the
// upgrade's events: each front end shows them its own way (IProgressView),
// all of them from the same listener.
#pragma once

#include "UpgradeEvents.h"

namespace stb::app {

class IProgressView {
 public:
  virtual ~IProgressView() = default;
  // Positions are 0 to 100.
  virtual void SetDownloadProgress(int position) = 0;
  virtual void SetFlashProgress(int position) = 0;
  // Bytes sent of bytes in all, shown as Detail(sent, total).
  virtual void SetCounter(long sent, long total) = 0;
  virtual void SetAnimation(bool running) = 0;
};

class TProgressListener : public upgrade::IUpgradeEvents {
 public:
  explicit TProgressListener(IProgressView& view) : view_(view) {}

  void StartedUp(bool) override { view_.SetCounter(0, 0); }
  void ImageMeasured(const std::string&, const upgrade::TImageMeasure& image) override {
    view_.SetCounter(0, image.ImageSize);
  }
  void TransferStarted(long blocks, long) override {
    blocks_ = blocks;
    view_.SetAnimation(true);
  }
  void BlockAccepted(long index, long sent, long total) override;
  void FlashStep(long step, long steps) override;
  void Ended(const upgrade::TUpgradeEnd& end) override {
    // Only a finished upgrade stops the animation: any other end closes the
    // window under it.
    if (end.Outcome == upgrade::TOutcome::Upgraded) view_.SetAnimation(false);
  }

 private:
  IProgressView& view_;
  long blocks_ = 0;
};

}  // namespace stb::app
