// The image, block by block: 1024 data bytes and their checksum per frame,
// the box's answer, resends, the sync digit after every eleventh block, and
// the window's turn after each accepted block.
#include <array>
#include <memory>
#include <span>
#include <string_view>

#include "ImageFile.h"
#include "LinkHolds.h"
#include "RunError.h"
#include "Upgrade.h"

namespace stb::upgrade {

using namespace protocol;

bool TUpgrade::SendImage() {
  std::uint8_t total = 0;
  events_->TransferStarted(record_.BlockCount, record_.ImageSize);
  // The image was opened before the go message; an upgrade that starts here
  // opens it now. Raises "Cannot open file" for the default error handler:
  // nothing has been sent to the box for the image yet.
  std::unique_ptr<TImageStream> image = std::move(image_);
  if (!image) {
    try {
      image = std::make_unique<TImageStream>(record_.ImageFileName);
    } catch (const ERunError& error) {
      TUpgradeEnd end;
      end.Failure = TFailure::ImageUnreadable;
      end.Error = error.Text();
      end.SystemError = error.SystemError();
      End(std::move(end));
      throw;
    }
  }
  try {
    if (!SendBlocks(*image, total)) return false;
    succeeded_ = Verify(total);
    return succeeded_;
  } catch (const ENoResponse&) {
    return NoResponseInTransfer();
  }
}

bool TUpgrade::SendBlocks(TImageStream& image, std::uint8_t& total) {
  // The box answers each frame once it has checked it; how long that may
  // take is the protocol's, not whatever the link was set to. The phases
  // around this one read with the link's own time-out.
  const TInputTimeoutHold answerTimeout(link_, kBlockAnswerTimeoutMs);
  std::int32_t bytesSent = 0;
  std::int32_t syncCounter = 0;
  std::size_t syncPosition = 0;
  // The frame as it goes on the line: 1024 data bytes, then their checksum.
  std::array<std::uint8_t, kBlockSize + 1> frame{};
  auto block = std::span(frame).first<kBlockSize>();
  // Of the file's bytes as they went out (not the fill), to hold against the
  // image as measured.
  TSha256Hasher sent;

  for (std::int32_t index = 0; index < record_.BlockCount; ++index) {
    // Read once; a resend sends the same bytes. Past the end of the file the
    // block is filled up with 0x00.
    const std::size_t count = image.Read(block.data(), block.size());
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(count), block.end(), 0x00);
    sent.Add(block.first(count));

    std::uint8_t checksum = 0;
    for (std::uint8_t b : block) checksum = static_cast<std::uint8_t>(checksum + b);
    frame[kBlockSize] = checksum;
    for (int resends = 0;; ++resends) {
      StopPoint();
      // One write for the whole frame: the line sees the same bytes as from
      // a write per byte, at a fraction of the system calls.
      link_.WriteData(frame.data(), static_cast<std::uint32_t>(frame.size()));

      // A character that does not come is a refusal, never an acceptance.
      // Its bytes come together; one read takes them.
      std::array<std::uint8_t, kBlockAccepted.size()> answer{};
      const auto answerSize = static_cast<std::uint32_t>(answer.size());
      std::uint32_t got = ReadAnswering(answer.data(), answerSize);
      if (got < answerSize) got = ReadLateAnswer(index, false, answer.data(), got, answerSize);
      if (std::string_view(reinterpret_cast<const char*>(answer.data()), got) == kBlockAccepted) break;
      // A line that dropped (adapter pulled) is no refusal by the box: a
      // resend could only fail the same way.
      if (!link_.IsPortOpen()) return Fail(TSeen::BlockNotAccepted, TFailure::PortLost);
      // Whatever part of an answer came is of this frame; left waiting, it
      // would be read as the answer to the resent one.
      if (got < answerSize) link_.PurgeBuffers(true, false);

      events_->BlockRefused(index, resends + 1);
      if (index == 0) return Fail(TSeen::BlockNotAccepted, TFailure::FirstBlockRefused);
      if (resends == kMaxResends) return Fail(TSeen::BlockNotAccepted, TFailure::BlockRefused);
      StopPoint();
      link_.WriteByte(kResend);
    }

    if (++syncCounter > kBlocksPerSync - 1) {
      syncCounter = 0;
      std::uint8_t digit = 0;
      if (!ReadAnswering(digit) && ReadLateAnswer(index, true, &digit, 0, 1) == 0) {
        return Fail(TSeen::BlockNotAccepted, TFailure::SyncDigit);
      }
      if (static_cast<char>(digit) != kSyncDigits[syncPosition]) {
        return Fail(TSeen::BlockNotAccepted, TFailure::SyncDigit);
      }
      syncPosition = (syncPosition + 1) % kSyncDigits.size();
    }

    total = static_cast<std::uint8_t>(total + checksum);
    bytesSent += static_cast<std::int32_t>(kBlockSize);
    acknowledged_ = bytesSent;
    events_->BlockAccepted(index, bytesSent, record_.ImageSize);
    window_.PumpMessages();
  }
  const TSha256 digest = sent.Finish();
  events_->ImageSent(digest);
  // An image written to while it was sent reached the box other than it was
  // checked. The box holds it in RAM only: stopping here, before the total
  // and long before the go-on that has it write its flash, leaves the box
  // with its old software.
  if (digest != record_.ImageDigest) return Fail(TSeen::ImageChanged, TFailure::ImageChanged);
  return true;
}

std::uint32_t TUpgrade::ReadLateAnswer(long index, bool syncDigit, std::uint8_t* buffer, std::uint32_t got,
                                       std::uint32_t count) {
  if (!link_.IsPortOpen()) return got;
  const std::uint32_t start = clock_();
  // The grace is one bound for the whole rest of the answer, however its
  // bytes come.
  while (got < count) {
    const std::uint32_t waited = clock_() - start;
    if (waited >= kLateAnswerGraceMs) break;
    // The window's turn, as between the slices of any one read; a stop
    // asked for meanwhile is not kept waiting for the grace.
    KeepAnswering();
    StopPoint();
    const TInputTimeoutHold rest(link_, kLateAnswerGraceMs - waited);
    const std::uint32_t n = ReadSomeAnswering(buffer + got, count - got);
    if (n == 0) break;
    got += n;
  }
  if (got > 0) events_->AnswerLate(index, syncDigit, kBlockAnswerTimeoutMs + (clock_() - start));
  return got;
}

}  // namespace stb::upgrade
