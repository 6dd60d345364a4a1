#include "BoxSim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace stb::sim {

namespace {

// What the boot loader knows of the tool: the words that ask for each
// region, and the characters of its own answers.
struct TRegion {
  const char* word;
  int mode;
};
constexpr TRegion kRegions[] = {{"BOOTL", 1}, {"NATIV", 2}, {"APPL1", 3}, {"APPL2", 4},
                                {"LASTP", 5}, {"GUIDT", 6}, {"CHANL", 7}, {"RSVDD", 8}};
constexpr std::uint8_t kGoOn = 0x1F;
constexpr std::uint8_t kTableReady = 0x1E;
constexpr std::uint8_t kSendAgain = 'A';
constexpr char kLeadIn[] = "\r\n";
constexpr int kFrameData = 1024;
constexpr int kFramesPerSync = 11;
constexpr char kSyncCycle[] = "1234567890";
constexpr int kFramesPerFlashStep = 4;
constexpr int kTableGapMs = 300;
// Line noise that a tool reading no further than it must leaves behind.
constexpr char kStray[] = "\x7F?\xFE";

using std::chrono::milliseconds;
using namespace std::chrono_literals;

// How long the line takes to carry `bytes` at `bps`, 10 bits a byte.
std::chrono::steady_clock::duration LineTime(std::size_t bytes, std::uint32_t bps) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(static_cast<double>(bytes) * 10.0 / bps));
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char b[4];
  for (auto v : bytes) {
    std::snprintf(b, sizeof b, "%02X", v);
    out += b;
  }
  return out;
}

}  // namespace

std::string TBoxSummary::Json() const {
  char head[640];
  std::snprintf(head, sizeof head,
                "{\"end\":\"%s\",\"mode\":%d,\"go_address\":\"%08X\",\"go_blocks\":%d,"
                "\"go_message\":\"%s\",\"blocks_accepted\":%d,\"refusals\":%d,\"resends\":%d,"
                "\"total_received\":%u,\"total_computed\":%u,\"table\":\"%s\",\"bytes_from_tool\":%llu,"
                "\"block_phase_ms\":%.1f,\"late_answers\":%d}",
                End.c_str(), Mode, GoAddress, GoBlocks, Hex(GoMessage).c_str(), BlocksAccepted, Refusals,
                Resends, TotalReceived, TotalComputed, Hex(TableBytes).c_str(),
                static_cast<unsigned long long>(BytesFromTool), BlockPhaseMs, LateAnswers);
  return head;
}

TBoxSim::TBoxSim(TBoxConfig config) : config_(std::move(config)) {
  termios raw{};
  cfmakeraw(&raw);
  char name[256] = {};
  if (openpty(&master_, &device_, name, &raw, nullptr) != 0 || pipe(wake_) != 0) {
    throw std::runtime_error(std::string("cannot make a pseudo-terminal: ") + std::strerror(errno));
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(device_, F_SETFD, FD_CLOEXEC);
  path_ = name;
  if (!config_.ImageOut.empty()) imageOut_.reset(std::fopen(config_.ImageOut.c_str(), "wb"));
}

TBoxSim::~TBoxSim() {
  Stop();
  if (master_ >= 0) close(master_);
  if (device_ >= 0) close(device_);
  close(wake_[0]);
  close(wake_[1]);
}

void TBoxSim::Start() {
  thread_ = std::thread([this] { Run(); });
}

void TBoxSim::Stop() {
  stop_ = true;
  if (write(wake_[1], "x", 1) < 0) { /* the box is woken by its poll time-out anyway */
  }
  if (thread_.joinable()) thread_.join();
}

bool TBoxSim::WaitFinished(int ms) const {
  const auto deadline = TClock::now() + milliseconds(ms);
  while (!finished_ && TClock::now() < deadline) std::this_thread::sleep_for(2ms);
  return finished_;
}

void TBoxSim::Run() {
  for (int box = 1;; ++box) {
    if (box > 1) summary_ = TBoxSummary{};
    try {
      const int mode = AwaitAnnounce();
      SendIdentity(mode);
      const int blocks = ReceiveGo();
      ReceiveImage(blocks);
      Verify(blocks);
      UpdateVersionTable();
      summary_.End = "done";
      ++upgraded_;
    } catch (const EEnd& end) {
      summary_.End = end.why;
    }
    if (box >= config_.Boxes || summary_.End != "done") break;
    try {
      StayOn();
      SwitchedOff();
    } catch (const EEnd& end) {
      summary_.End = end.why;
      break;
    }
  }
  if (imageOut_) std::fflush(imageOut_.get());
  finished_ = true;
}

void TBoxSim::StayOn() {
  // A boot loader that starts over: each announce word is answered as the
  // first one was.
  const auto until = TClock::now() + milliseconds(config_.StayOnMs);
  std::string last;
  std::uint8_t b = 0;
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(until - TClock::now()).count();
    if (left <= 0) return;
    if (!ReceiveWithin(b, static_cast<int>(left))) continue;
    last.push_back(static_cast<char>(b));
    if (last.size() > 5) last.erase(0, 1);
    for (const auto& region : kRegions) {
      if (last == region.word) {
        SendIdentity(region.mode);
        last.clear();
      }
    }
  }
}

void TBoxSim::SwitchedOff() {
  const auto until = TClock::now() + milliseconds(config_.OffMs);
  std::uint8_t b = 0;
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(until - TClock::now()).count();
    if (left <= 0) return;
    ReceiveWithin(b, static_cast<int>(left));  // heard by nobody
  }
}

// --- Line ---

bool TBoxSim::ReceiveWithin(std::uint8_t& b, int ms) {
  const auto deadline = TClock::now() + milliseconds(std::max(ms, 0));
  for (;;) {
    if (stop_) throw EEnd{"stopped"};
    if (master_ < 0) throw EEnd{"hung-up"};
    if (inPos_ == inLen_) {
      // Paced, take no more at once than the line carries in about 11 ms,
      // and sleep only when the line is more than 10 ms behind (below). A
      // real box costs the PC nothing while it takes a frame; a simulated one
      // that woke every 2 ms (45 times a frame) filled a loaded machine with
      // switches, and at 64 boxes on two cores those were charged to the
      // tool's own wake-ups, a third of what the tool seemed to cost a block.
      // Nothing is answered earlier for it: Send waits for the line.
      const std::size_t want = config_.Bps > 0 ? 128 : sizeof inBuf_;
      const ssize_t n = read(master_, inBuf_, want);
      if (n < 0 && errno != EAGAIN && errno != EINTR) throw EEnd{"tool-left"};
      inPos_ = 0;
      inLen_ = n > 0 ? static_cast<std::size_t>(n) : 0;
      // Bytes that were still queued at the last read were there since then:
      // the line carries them straight after the ones before, however late
      // we woke to read them. Without this, every oversleep of a busy machine
      // would count as line time and make the tool look slower than it is.
      const auto now = TClock::now();
      inReadAt_ = queuedSince_.value_or(now);
      int queued = 0;
      queuedSince_.reset();
      if (config_.Bps > 0 && n > 0 && ioctl(master_, FIONREAD, &queued) == 0 && queued > 0)
        queuedSince_ = now;
    }
    if (inPos_ < inLen_) {
      b = inBuf_[inPos_++];
      ++summary_.BytesFromTool;
      if (config_.Bps > 0) {
        // The byte is ours only once the line has carried it: one byte time
        // after the line was free, or after it was there to be read, whichever
        // is later. (Not after we got round to it: time we spend asleep is no
        // time the line stands still.)
        rxFreeAt_ = std::max(rxFreeAt_, inReadAt_) + LineTime(1, config_.Bps);
        if (rxFreeAt_ - TClock::now() > 10ms) std::this_thread::sleep_until(rxFreeAt_);
      }
      return true;
    }
    int wait = 200;
    if (ms >= 0) {
      const auto left = deadline - TClock::now();
      if (left <= 0s) return false;
      wait = std::min(wait, static_cast<int>(std::chrono::ceil<milliseconds>(left).count()));
    }
    pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    poll(p, 2, wait);
  }
}

std::uint8_t TBoxSim::Receive() {
  std::uint8_t b = 0;
  ReceiveWithin(b, -1);
  return b;
}

void TBoxSim::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (stop_) throw EEnd{"stopped"};
    std::size_t chunk = bytes.size() - done;
    if (config_.Bps > 0) {
      // Nothing is answered before the line has delivered what was asked, and
      // bytes reach the tool only once they have been carried in full.
      chunk = std::min<std::size_t>(chunk, 16);
      txFreeAt_ = std::max({txFreeAt_, TClock::now(), rxFreeAt_}) + LineTime(chunk, config_.Bps);
      std::this_thread::sleep_until(txFreeAt_);
    }
    const ssize_t n = write(master_, bytes.data() + done, chunk);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) throw EEnd{"tool-left"};
    pollfd p[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
    poll(p, 2, 200);
  }
}

bool TBoxSim::Silent(TBoxPhase phase) const {
  return config_.SilentFrom != TBoxPhase::Never && phase >= config_.SilentFrom;
}

void TBoxSim::SendReport(TBoxReport which, const std::string& text, TBoxPhase phase, bool stray) {
  if (Silent(phase)) {
    for (;;) Receive();  // listens, says nothing, until stopped
  }
  std::string report = text;
  if (config_.WrongReport == which) report[2] ^= 0x20;  // one letter's case flipped
  Send(kLeadIn + report + (stray && config_.StrayInput ? kStray : ""));
}

void TBoxSim::WaitForGoOn() {
  while (Receive() != kGoOn) {
  }
}

// --- Protocol ---

int TBoxSim::AwaitAnnounce() {
  std::string last;
  for (;;) {
    last.push_back(static_cast<char>(Receive()));
    if (last.size() > 5) last.erase(0, 1);
    for (const auto& region : kRegions) {
      if (last == region.word) return region.mode;
    }
  }
}

void TBoxSim::SendIdentity(int mode) {
  summary_.Mode = mode;
  auto silentFrom = [this](TBoxPhase phase) {
    if (!Silent(phase)) return;
    for (;;) Receive();
  };
  silentFrom(TBoxPhase::Acknowledge);
  Send(config_.Acknowledge);
  silentFrom(TBoxPhase::ModeEcho);
  SendByte(static_cast<std::uint8_t>(config_.ModeEcho != 0 ? config_.ModeEcho : mode));
  silentFrom(TBoxPhase::Identity);
  Send(std::string(config_.Identity.begin(), config_.Identity.end()));
  silentFrom(TBoxPhase::Addresses);
  std::string words;
  for (std::uint32_t w :
       {config_.Address, config_.ExtraWords[0], config_.ExtraWords[1], config_.ExtraWords[2]}) {
    for (int shift = 24; shift >= 0; shift -= 8) words.push_back(static_cast<char>((w >> shift) & 0xFF));
  }
  Send(words);
}

int TBoxSim::ReceiveGo() {
  // "ok", the address least significant byte first, blocks low, blocks high.
  std::string last;
  while (last != "ok") {
    last.push_back(static_cast<char>(Receive()));
    if (last.size() > 2) last.erase(0, 1);
  }
  summary_.GoMessage = {'o', 'k'};
  std::uint32_t address = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t b = Receive();
    summary_.GoMessage.push_back(b);
    address |= static_cast<std::uint32_t>(b) << (8 * i);
  }
  const std::uint8_t low = Receive();
  const std::uint8_t high = Receive();
  summary_.GoMessage.push_back(low);
  summary_.GoMessage.push_back(high);
  summary_.GoAddress = address;
  summary_.GoBlocks = high * 256 + low;
  if (Silent(TBoxPhase::GoReply)) {
    for (;;) Receive();
  }
  char reply[16];
  std::snprintf(reply, sizeof reply, "%08X", address);
  Send(reply);
  return summary_.GoBlocks;
}

int TBoxSim::LateBy(int index) const {
  if (const auto found = config_.LateBlock.find(index); found != config_.LateBlock.end())
    return found->second;
  if (config_.LateEvery > 0 && (index + 1) % config_.LateEvery == 0) return config_.LateEveryMs;
  return 0;
}

void TBoxSim::ReceiveImage(int blocks) {
  std::vector<std::uint8_t> frame(kFrameData);
  int syncs = 0;
  std::optional<TClock::time_point> firstByteAt;
  for (int index = 0; index < blocks; ++index) {
    for (;;) {
      std::uint8_t sum = 0;
      for (auto& b : frame) {
        b = Receive();
        // The first byte began on the line one byte time before it was whole.
        if (!firstByteAt) {
          firstByteAt =
              std::max(TClock::now(), rxFreeAt_) - (config_.Bps > 0 ? LineTime(1, config_.Bps) : 0s);
        }
        sum = static_cast<std::uint8_t>(sum + b);
      }
      const std::uint8_t check = Receive();
      if (Silent(TBoxPhase::BlockAnswers)) {
        for (;;) Receive();
      }
      if (const int late = LateBy(index); late > 0) {
        ++summary_.LateAnswers;
        std::this_thread::sleep_for(milliseconds(late));
      }
      int& refusals = config_.RefuseBlock[index];
      if (check == sum && refusals == 0) {
        summary_.TotalComputed = static_cast<std::uint8_t>(summary_.TotalComputed + sum);
        break;
      }
      if (refusals > 0) --refusals;
      ++summary_.Refusals;
      Send("NG!");
      // The tool sends 'A' before the frame again.
      while (Receive() != kSendAgain) {
      }
      ++summary_.Resends;
    }
    std::string answer = "ok.";
    ++summary_.BlocksAccepted;
    if (summary_.BlocksAccepted % kFramesPerSync == 0) {
      ++syncs;
      char digit = kSyncCycle[(syncs - 1) % 10];
      if (syncs == config_.WrongSyncAt) digit = digit == '9' ? '1' : static_cast<char>(digit + 1);
      if (config_.SyncDelayMs > 0) {
        Send(answer);
        answer.clear();
        std::this_thread::sleep_for(milliseconds(config_.SyncDelayMs));
      }
      answer.push_back(digit);
    }
    // Stray bytes go out with the last thing the tool reads, so they are
    // waiting before it can get rid of them (on an unpaced line).
    if (config_.StrayInput && index == blocks - 1) answer += kStray;
    Send(answer);
    // The answer (and sync digit) has left when the line is free again.
    const auto answered = std::max(TClock::now(), txFreeAt_);  // txFreeAt_: the answer's end
    summary_.BlockPhaseMs = std::chrono::duration<double, std::milli>(answered - *firstByteAt).count();
    if (imageOut_) std::fwrite(frame.data(), 1, frame.size(), imageOut_.get());
    if (config_.KeepImage) summary_.Image.insert(summary_.Image.end(), frame.begin(), frame.end());
    if (index == config_.HangUpAfterBlock) {
      close(master_);
      close(device_);
      master_ = device_ = -1;
      throw EEnd{"hung-up"};
    }
  }
}

void TBoxSim::Verify(int blocks) {
  summary_.TotalReceived = Receive();
  SendReport(TBoxReport::Download, "CRC OK. : DownLoad", TBoxPhase::DownloadReport);
  if (Silent(TBoxPhase::ReportBytes)) {
    for (;;) Receive();
  }
  Send({static_cast<char>(summary_.TotalReceived), static_cast<char>(summary_.TotalComputed),
        static_cast<char>(summary_.TotalComputed)});
  if (config_.GarbageBetweenReports) Send("\x01\x7F garbage \xFE");
  if (Silent(TBoxPhase::RamReport)) {
    for (;;) Receive();
  }
  SendByte(kGoOn);
  SendReport(TBoxReport::RamImage, "CRC OK. : Ram Image", TBoxPhase::RamReport, true);
  WaitForGoOn();

  const int steps = (blocks + kFramesPerFlashStep - 1) / kFramesPerFlashStep;
  if (Silent(TBoxPhase::Flash) && steps > 0) {
    for (;;) Receive();
  }
  for (int step = 0; step < steps; ++step) {
    if (config_.FlashStepDelayMs > 0) Pause(config_.FlashStepDelayMs);
    SendByte(
        static_cast<std::uint8_t>(step == steps - 1 ? config_.LastFlashCharacter : config_.FlashCharacter));
  }
  SendReport(TBoxReport::FlashImage, "CRC OK. : Flash image !!", TBoxPhase::FlashReport, true);
  WaitForGoOn();
  SendReport(TBoxReport::UpdateRequest, "Update software version!!!", TBoxPhase::UpdateRequest);
  WaitForGoOn();
}

void TBoxSim::Pause(int ms) {
  // In slices, so that a box stopped in the middle of a long pause ends at once.
  const auto until = TClock::now() + milliseconds(ms);
  while (TClock::now() < until) {
    if (stop_) throw EEnd{"stopped"};
    std::this_thread::sleep_for(std::min<TClock::duration>(milliseconds(20), until - TClock::now()));
  }
}

void TBoxSim::UpdateVersionTable() {
  if (Silent(TBoxPhase::TableMarker)) {
    for (;;) Receive();
  }
  if (config_.GarbageBetweenReports) Send("junk\x1F");
  Send(std::string(1, static_cast<char>(kTableReady)) + (config_.StrayInput ? kStray : ""));
  // The version pair (if any) and the date stamp, up to seven bytes, ended
  // by a pause.
  std::uint8_t b = 0;
  while (summary_.TableBytes.size() < 7 && ReceiveWithin(b, kTableGapMs)) summary_.TableBytes.push_back(b);
  if (Silent(TBoxPhase::TableWritten)) {
    for (;;) Receive();
  }
  SendByte(static_cast<std::uint8_t>(config_.TableAnswer));
  SendReport(TBoxReport::VersionTable, "CRC OK. : Version Table !!", TBoxPhase::TableReport);
  WaitForGoOn();
}

}  // namespace stb::sim
