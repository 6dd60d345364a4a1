// stb-box-sim: the set-top box's boot loader, played over a pseudo-terminal.
//
// Written from the box's side of the wire: it answers the tool's announce
// word, reports its identity and addresses, takes the go message and the
// image frames, and walks the tool through verification, flash writing and
// the version table. Faults can be injected at every step.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace stb::sim {

// Where the box stops answering (when asked to fall silent).
enum class TBoxPhase {
  Never,
  Acknowledge,  // the five-character answer to the announce word
  ModeEcho,
  Identity,   // the 32-byte record
  Addresses,  // the four address words
  GoReply,
  BlockAnswers,
  DownloadReport,
  ReportBytes,
  RamReport,
  Flash,  // the '@' characters
  FlashReport,
  UpdateRequest,
  TableMarker,   // 0x1E
  TableWritten,  // 'W'
  TableReport,
};

// Reports the box can get wrong on purpose, in the order they are sent.
enum class TBoxReport { None, Download, RamImage, FlashImage, UpdateRequest, VersionTable };

struct TBoxConfig {
  // Identity: OUI (second and third bytes), model, hardware, boot loader,
  // native, application 1 and 2 versions, then the box's own date stamp.
  std::array<std::uint8_t, 32> Identity{0x00, 0x22, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00,
                                        0x01, 0x00, 0x01, 0x00, 'D',  '0',  '1',  '0',  '1'};
  std::uint32_t Address = 0x9FC10000;  // the box's current download address
  std::array<std::uint32_t, 3> ExtraWords{0x00010000, 0x00020000, 0x00030000};
  int ModeEcho = 0;  // 0: echo the mode of the announce word
  // The five characters that answer the announce word.
  std::string Acknowledge{'\r', '\n', 'A', 'C', 'K'};

  std::uint32_t Bps = 0;  // line pacing, both directions, 10 bits a byte; 0: unpaced

  std::map<int, int> RefuseBlock;  // block index -> how many times it is refused
  // Block index -> how many milliseconds its answer comes after the frame:
  // a box starved of its processor, or an adapter holding bytes back.
  std::map<int, int> LateBlock;
  int LateEvery = 0;         // every LateEvery-th block (from 1) answers late too; 0: none
  int LateEveryMs = 0;       // by this many milliseconds
  int WrongSyncAt = 0;       // the n-th sync digit (from 1) is wrong; 0: never
  int SyncDelayMs = 0;       // pause between a block's answer and its sync digit
  int FlashStepDelayMs = 0;  // pause before each flash step character: a slow flash
  TBoxReport WrongReport = TBoxReport::None;
  TBoxPhase SilentFrom = TBoxPhase::Never;
  char FlashCharacter = '@';      // sent for every flash step but the last
  char LastFlashCharacter = '@';  // sent for the last flash step
  char TableAnswer = 'W';
  int HangUpAfterBlock = -1;  // hang up once this block is accepted; -1: never
  bool GarbageBetweenReports = false;
  // Bytes follow the last block's answer, the RAM and flash image reports
  // and the version table marker in the same write: input the tool has to
  // throw away before it goes on.
  bool StrayInput = false;

  // Boxes served one after another on this line, as a production line
  // swaps them. Once a box's upgrade has ended its boot loader stays on for
  // StayOnMs, answering every announce word again (identity and address
  // words, then waiting for the go message), then the box is switched off
  // for OffMs (nothing is answered) before the next one is switched on.
  int Boxes = 1;
  int StayOnMs = 0;
  int OffMs = 0;

  std::string ImageOut;  // file the received image is written to; empty: none
  bool KeepImage = false;
};

struct TBoxSummary {
  std::string End = "running";  // done, silent, hung-up, stopped, tool-left
  int Mode = 0;
  std::uint32_t GoAddress = 0;
  int GoBlocks = 0;
  std::vector<std::uint8_t> GoMessage;  // the eight bytes as received
  int BlocksAccepted = 0;
  int Refusals = 0;
  int Resends = 0;
  int LateAnswers = 0;             // answers held back by LateBlock and LateEvery
  std::uint8_t TotalReceived = 0;  // the tool's total checksum
  std::uint8_t TotalComputed = 0;
  std::vector<std::uint8_t> TableBytes;  // version pair and date stamp as received
  std::vector<std::uint8_t> Image;       // with KeepImage
  std::uint64_t BytesFromTool = 0;
  // From the first byte of the first frame to the last block's answer, as
  // the line carried them.
  double BlockPhaseMs = 0;

  std::string Json() const;
};

// A C library file, closed when let go.
struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

class TBoxSim {
 public:
  explicit TBoxSim(TBoxConfig config);
  ~TBoxSim();
  TBoxSim(const TBoxSim&) = delete;
  TBoxSim& operator=(const TBoxSim&) = delete;

  // The device the tool opens.
  const std::string& DevicePath() const { return path_; }

  // Plays the box until the upgrade ends, the line hangs up, or Stop().
  void Run();
  // Run() on a thread of its own (for tests); Stop() ends and joins it.
  void Start();
  void Stop();

  bool Finished() const { return finished_; }
  // Boxes whose upgrade ran to its end so far.
  int Upgraded() const { return upgraded_; }
  // Waits at most `ms` for Run() to end by itself; whether it did.
  bool WaitFinished(int ms) const;
  // Valid once Run() has returned (after Stop() for a started box).
  const TBoxSummary& Summary() const { return summary_; }

 private:
  using TClock = std::chrono::steady_clock;

  struct EEnd {
    std::string why;
  };

  // Line primitives, paced when asked.
  std::uint8_t Receive();
  bool ReceiveWithin(std::uint8_t& b, int ms);
  void Send(const std::string& bytes);
  void SendByte(std::uint8_t b) { Send(std::string(1, static_cast<char>(b))); }
  void SendReport(TBoxReport which, const std::string& text, TBoxPhase phase, bool stray = false);
  bool Silent(TBoxPhase phase) const;
  void WaitForGoOn();  // the tool's 0x1F
  // Sleeps `ms`, ending early (as Stop() asks) when the box is stopped.
  void Pause(int ms);

  // The protocol, in the order the wire sees it.
  int AwaitAnnounce();
  void SendIdentity(int mode);
  int ReceiveGo();
  void ReceiveImage(int blocks);
  int LateBy(int index) const;  // milliseconds block `index`'s answer is held back
  void Verify(int blocks);
  void UpdateVersionTable();
  // Between boxes: the one just upgraded left on, then switched off.
  void StayOn();
  void SwitchedOff();

  TBoxConfig config_;
  TBoxSummary summary_;
  int master_ = -1;
  int device_ = -1;  // held so the tool can come and go
  int wake_[2] = {-1, -1};
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int> upgraded_{0};
  std::thread thread_;
  std::uint8_t inBuf_[4096];
  std::size_t inPos_ = 0;
  std::size_t inLen_ = 0;
  TClock::time_point inReadAt_;                    // when the bytes in inBuf_ were there to be read
  std::optional<TClock::time_point> queuedSince_;  // more was queued at this last read
  TClock::time_point rxFreeAt_;                    // when the line has delivered what was read so far
  TClock::time_point txFreeAt_;
  TFilePtr imageOut_;
};

}  // namespace stb::sim
