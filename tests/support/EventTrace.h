// A listener that writes down every event of an upgrade as a short line of
// text ("mode 3", "step 3", "block 0 1024/3072", "ended failed port lost"),
// keeps each end whole, and notes where the window stood when the end was
// told.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "RecordingWindow.h"
#include "UpgradeEvents.h"

namespace stb::testing {

struct TEventTrace : upgrade::IUpgradeEvents {
  explicit TEventTrace(const TRecordingWindow* window = nullptr) : Window(window) {}

  const TRecordingWindow* Window;
  std::vector<std::string> Trace;
  std::vector<upgrade::TUpgradeEnd> Ends;
  upgrade::TBoxIdentity Identity;
  // Where the window stood when Ended came: its last log line, its boxes.
  std::string LastLineAtEnd;
  std::size_t BoxesAtEnd = 0;
  std::function<void(long index)> OnBlock;  // after each accepted block
  std::function<void()> OnEnd;

  void StartedUp(bool portOpen) override { Trace.push_back(portOpen ? "started" : "started without port"); }
  void ModeChosen(int mode) override { Trace.push_back("mode " + std::to_string(mode)); }
  void IncludeFileRead(const upgrade::TUpgradeRecord&, const std::string& address) override {
    Trace.push_back("include " + address);
  }
  void ImageMeasured(const std::string& path, const upgrade::TImageMeasure& image) override {
    Trace.push_back("image " + path + " " + std::to_string(image.Bytes) + " " +
                    std::to_string(image.BlockCount));
  }
  void BoxAcknowledged() override { Trace.push_back("acknowledged"); }
  void BoxArrived(int mode) override { Trace.push_back("arrived " + std::to_string(mode)); }
  void IdentityReceived(const upgrade::TBoxIdentity& identity) override {
    Identity = identity;
    Trace.push_back("identity");
  }
  void CheckDone(upgrade::TCheck check, bool passed) override {
    Trace.push_back(std::string("check ") + upgrade::CheckName(check) + (passed ? " passed" : " failed"));
  }
  void IdentityAccepted() override { Trace.push_back("identity accepted"); }
  void AddressMismatch() override { Trace.push_back("address mismatch"); }
  void AddressesReceived(std::uint32_t box, std::uint32_t include) override {
    Trace.push_back("addresses " + Hex(box) + " " + Hex(include));
  }
  void GoMessageSent(std::uint32_t address, long blocks) override {
    Trace.push_back("go " + Hex(address) + " " + std::to_string(blocks));
  }
  void StepReached(upgrade::TStep step) override {
    Trace.push_back("step " + std::to_string(static_cast<int>(step)));
  }
  void TransferStarted(long blocks, long total) override {
    Trace.push_back("transfer " + std::to_string(blocks) + " " + std::to_string(total));
  }
  void BlockAccepted(long index, long sent, long total) override {
    Trace.push_back("block " + std::to_string(index) + " " + std::to_string(sent) + "/" +
                    std::to_string(total));
    if (OnBlock) OnBlock(index);
  }
  void BlockRefused(long index, int resend) override {
    Trace.push_back("refused " + std::to_string(index) + " resend " + std::to_string(resend));
  }
  void AnswerLate(long index, bool syncDigit, std::uint32_t) override {
    Trace.push_back((syncDigit ? "late sync " : "late ") + std::to_string(index));
  }
  void ImageSent(const upgrade::TSha256&) override { Trace.push_back("image sent"); }
  void VersionTableWritten() override { Trace.push_back("table written"); }
  void PortLost(const std::string&) override { Trace.push_back("port lost"); }
  void FlashStep(long step, long steps) override {
    Trace.push_back("flash " + std::to_string(step) + "/" + std::to_string(steps));
  }
  void Ended(const upgrade::TUpgradeEnd& end) override {
    std::string line = std::string("ended ") + upgrade::OutcomeName(end.Outcome);
    if (end.Outcome == upgrade::TOutcome::Refused) line += std::string(" ") + upgrade::CheckName(end.Check);
    if (end.Outcome == upgrade::TOutcome::Failed)
      line += std::string(" ") + upgrade::FailureName(end.Failure);
    Trace.push_back(line);
    Ends.push_back(end);
    if (Window) {
      LastLineAtEnd = Window->Log.empty() ? "" : Window->Log.back();
      BoxesAtEnd = Window->Boxes.size();
    }
    if (OnEnd) OnEnd();
  }

  // The events from the box's acknowledgement on.
  std::vector<std::string> OfTheBox() const {
    const auto at = std::find(Trace.begin(), Trace.end(), "acknowledged");
    return {at, Trace.end()};
  }

  // The lines that start with `prefix`, in order.
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const auto& l : Trace)
      if (l.starts_with(prefix)) lines.push_back(l);
    return lines;
  }

  static std::string Hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
  }
};

}  // namespace stb::testing
