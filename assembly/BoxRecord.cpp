#include "BoxRecord.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <random>

#include "LocalTime.h"
#include "LogText.h"
#include "ModeTable.h"
#include "RunError.h"

#ifndef STB_VERSION
#define STB_VERSION "unknown"
#endif

namespace stb::app {

const char* ResultName(TBoxResult result) {
  switch (result) {
    case TBoxResult::Upgraded: return "upgraded";
    case TBoxResult::Refused: return "refused";
    case TBoxResult::Failed: return "failed";
    case TBoxResult::NoResponse: return "no response";
  }
  return "failed";
}

namespace {

// A JSON string of raw bytes: a byte outside printable ASCII is written as
// \u00XX (read as Latin-1), so the line stays UTF-8 whatever the box sent.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || b >= 0x7F) {
      char u[8];
      std::snprintf(u, sizeof u, "\\u%04X", b);
      out += u;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The length of the UTF-8 sequence that starts at `at`, when it is one
// whole and well formed; 0 when it is not.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto b = static_cast<unsigned char>(text[at]);
  const std::size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
  if (n == 0 || at + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

// A JSON string of a name the system gave in UTF-8 (a file's, the host's):
// whole UTF-8 characters as they are, anything else as Quoted writes it.
std::string QuotedUtf8(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    if (const std::size_t n = Utf8Length(text, at); n > 0) {
      out.append(text, at, n);
      at += n;
    } else {
      const std::string one = Quoted(text.substr(at, 1));
      out += one.substr(1, one.size() - 2);
      ++at;
    }
  }
  return out + "\"";
}

std::string Version(std::uint8_t major, std::uint8_t minor) {
  char v[16];
  std::snprintf(v, sizeof v, "\"%u.%u\"", major, minor);
  return v;
}

std::string Version(const upgrade::TVersionPair& v) { return Version(v.Major, v.Minor); }

// The six versions of a box, as its identity has them or as it is sent them,
// each under its name: "model":"1.0",...,"application_2":"1.4".
std::string Versions(const std::array<upgrade::TVersionPair, 6>& v) {
  static constexpr const char* kNames[] = {"model",  "hardware",      "boot_loader",
                                           "native", "application_1", "application_2"};
  std::string j;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i > 0) j += ",";
    j += "\"" + std::string(kNames[i]) + "\":" + Version(v[i]);
  }
  return j;
}

std::string Hex32(std::uint32_t value) {
  char h[16];
  std::snprintf(h, sizeof h, "\"0x%08X\"", value);
  return h;
}

std::int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TBoxResult ResultOf(upgrade::TOutcome outcome) {
  switch (outcome) {
    case upgrade::TOutcome::Upgraded: return TBoxResult::Upgraded;
    case upgrade::TOutcome::Refused: return TBoxResult::Refused;
    case upgrade::TOutcome::NoResponse: return TBoxResult::NoResponse;
    case upgrade::TOutcome::Failed:
    case upgrade::TOutcome::Stopped: return TBoxResult::Failed;
  }
  return TBoxResult::Failed;
}

// The mode's line without its number: "Application Software 1. Mode".
std::string ModeName(int mode) {
  std::string line(upgrade::ModeEntry(mode).Line);
  return line.rfind("0. ", 0) == 0 ? line.substr(3) : line;
}

}  // namespace

std::string RecordLine(const TBoxRecord& r) {
  std::string j = "{\"port\":" + Quoted(r.Port);
  j += ",\"start\":" + Quoted(r.Start) + ",\"end\":" + Quoted(r.End);
  j += ",\"mode\":" + std::to_string(r.Mode);
  j += std::string(",\"result\":\"") + ResultName(r.Result) + "\"";
  j += ",\"decided_by\":" + Quoted(r.DecidedBy);
  j += ",\"reason\":" + (r.Reason ? Quoted(*r.Reason) : std::string("null"));
  j += ",\"step\":" + std::to_string(r.Step);
  if (r.Identity) {
    const auto& id = *r.Identity;
    char oui[8];
    std::snprintf(oui, sizeof oui, "%02X%02X", id.Oui[0], id.Oui[1]);
    std::string record;
    for (auto b : id.Record) {
      char h[3];
      std::snprintf(h, sizeof h, "%02X", b);
      record += h;
    }
    j += ",\"box\":{\"oui\":\"" + std::string(oui) + "\",";
    j += Versions({id.Model, id.Hardware, id.BootLoader, id.Native, id.Application1, id.Application2});
    j += ",\"date\":" + Quoted(id.Date);
    if (r.BoxAddress) j += ",\"address\":" + Hex32(*r.BoxAddress);
    j += ",\"record\":\"" + record + "\"}";
  } else {
    j += ",\"box\":null";
  }
  if (r.Written) {
    const auto& w = *r.Written;
    j += ",\"written\":{";
    j += Versions({w.Model, w.Hardware, w.BootLoader, w.Native, w.Application1, w.Application2});
    j += ",\"version_slot\":" + std::to_string(w.VersionSlot);
    j += ",\"date\":" + Quoted(w.Date);
    j += ",\"blocks\":" + std::to_string(w.Blocks);
    j += ",\"address\":" + Hex32(w.Address) + "}";
  } else {
    j += ",\"written\":null";
  }
  j += ",\"resends\":" + std::to_string(r.Resends);
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.3f", r.DurationSeconds);
  j += ",\"duration_s\":" + std::string(duration);
  // Added to the station's fields since, never in place of one.
  j += ",\"id\":" + Quoted(r.Id);
  j += ",\"host\":" + QuotedUtf8(r.Host);
  j += ",\"tool_version\":" + Quoted(r.ToolVersion);
  j += ",\"mode_name\":" + Quoted(r.ModeName);
  j += ",\"include_file\":" + QuotedUtf8(r.IncludeFile);
  if (r.Image) {
    j += ",\"image\":{\"path\":" + QuotedUtf8(r.Image->Path);
    j += ",\"bytes\":" + std::to_string(r.Image->Bytes);
    j += ",\"blocks\":" + std::to_string(r.Image->Blocks);
    j += ",\"sha256\":" + Quoted(r.Image->Sha256) + "}";
  } else {
    j += ",\"image\":null";
  }
  j += ",\"sent\":" + std::to_string(r.Sent) + ",\"total\":" + std::to_string(r.Total);
  j += ",\"late_answers\":" + std::to_string(r.LateAnswers) + "}\n";
  return j;
}

std::string NewRecordId() {
  // Drawn from the system's own source of randomness: two stations (or two
  // ports) never come up with the same one, whatever their clocks say.
  std::random_device source;
  std::uint8_t b[16];
  for (std::size_t i = 0; i < sizeof b; i += 4) {
    const std::uint32_t word = source();
    for (std::size_t k = 0; k < 4; ++k) b[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
  }
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // the variant of RFC 4122
  char text[37];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

TBoxRecorder::TBoxRecorder(std::string port, TOnEnded onEnded)
    : port_(std::move(port)), host_(HostName()), onEnded_(std::move(onEnded)) {}

void TBoxRecorder::ModeChosen(int mode) {
  chosenMode_ = mode;
  modeName_ = ModeName(mode);
  includeFile_ = upgrade::IncludeFilePath(mode, includeFolder_);
}

void TBoxRecorder::IncludeFileRead(const upgrade::TUpgradeRecord& r, const std::string&) {
  TBoxRecord::TWritten w;
  w.Model = r.IncModel;
  w.Hardware = r.IncHwVersion;
  w.BootLoader = r.IncBootVersion;
  w.Native = r.IncNativeVersion;
  w.Application1 = r.IncApp1Version;
  w.Application2 = r.IncApp2Version;
  w.VersionSlot = r.VersionSlot;
  w.Date = r.IncStartDate;
  toWrite_ = w;
}

void TBoxRecorder::ImageMeasured(const std::string& path, const upgrade::TImageMeasure& image) {
  TBoxRecord::TImage i;
  i.Path = path;
  i.Bytes = image.Bytes;
  i.Blocks = image.BlockCount;
  i.Sha256 = upgrade::Sha256Hex(image.Digest);
  image_ = i;
}

void TBoxRecorder::BoxAcknowledged() {
  // A new box: a record of its own, with what the mode gives every box.
  arrived_ = true;
  ended_ = false;
  end_.reset();
  portLostLine_.clear();
  record_ = TBoxRecord{};
  record_.Id = NewRecordId();
  record_.Host = host_;
  record_.Port = port_;
  record_.ToolVersion = STB_VERSION;
  record_.Mode = chosenMode_;
  record_.ModeName = modeName_;
  record_.IncludeFile = includeFile_;
  record_.Image = image_;
  startMs_ = UnixMsNow();
  startSteadyMs_ = SteadyMs();
  record_.Start = IsoTime(startMs_);
}

void TBoxRecorder::BoxArrived(int mode) {
  if (chosenMode_ == 0) record_.Mode = mode;
}

void TBoxRecorder::GoMessageSent(std::uint32_t address, long blocks) {
  TBoxRecord::TWritten w = toWrite_.value_or(TBoxRecord::TWritten{});
  w.Blocks = blocks;
  w.Address = address;
  record_.Written = w;
}

void TBoxRecorder::BlockAccepted(long, long sent, long total) {
  record_.Sent = sent;
  record_.Total = total;
}

void TBoxRecorder::ImageSent(const upgrade::TSha256& digest) {
  if (record_.Image) record_.Image->Sha256 = upgrade::Sha256Hex(digest);
}

void TBoxRecorder::PortLost(const std::string& device) { portLostLine_ = PortLostLine(device); }

void TBoxRecorder::Ended(const upgrade::TUpgradeEnd& end) {
  end_ = end;
  ended_ = true;
  record_.Result = ResultOf(end.Outcome);
  record_.Step = end.Step;
  record_.Sent = end.Sent;
  record_.Total = end.Total;
  record_.Reason.reset();
  if (end.Outcome == upgrade::TOutcome::Refused) record_.Reason = upgrade::CheckName(end.Check);
  if (end.Outcome == upgrade::TOutcome::Failed) record_.Reason = upgrade::FailureName(end.Failure);
  if (end.Outcome == upgrade::TOutcome::Stopped) record_.Reason = "stopped";
  // An error is quoted as the operator was shown it.
  record_.DecidedBy = end.Error.empty() || end.Seen != upgrade::TSeen::Nothing
                          ? DecidingLine(end)
                          : ErrorLine(upgrade::DefaultErrorText(end.Error), end.SystemError);
  // The log's last line says what the upgrade saw (no answer, a block not
  // taken); a record that gives the lost port as its reason is decided by
  // the line that says the port went away.
  if (end.Outcome == upgrade::TOutcome::Failed && end.Failure == upgrade::TFailure::PortLost &&
      !portLostLine_.empty()) {
    record_.DecidedBy = portLostLine_;
  }
  const std::int64_t endMs = UnixMsNow();
  record_.End = IsoTime(endMs);
  record_.DurationSeconds = static_cast<double>(SteadyMs() - startSteadyMs_) / 1000.0;
  if (onEnded_) onEnded_(record_);
}

}  // namespace stb::app
