#include "StationReport.h"

#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>

#include "Console.h"
#include "ConsoleWriter.h"
#include "StationFiles.h"

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

std::string Version(std::uint8_t major, std::uint8_t minor) {
  char v[16];
  std::snprintf(v, sizeof v, "\"%u.%u\"", major, minor);
  return v;
}

std::string Version(const std::array<std::uint8_t, 2>& pair) { return Version(pair[0], pair[1]); }

std::string Version(const upgrade::TVersionPair& v) { return Version(v.Major, v.Minor); }

std::string Hex32(std::uint32_t value) {
  char h[16];
  std::snprintf(h, sizeof h, "\"0x%08X\"", value);
  return h;
}

}  // namespace

std::string ReportLine(const TBoxReport& r) {
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
    j += ",\"box\":{\"oui\":\"" + std::string(oui) + "\"";
    j += ",\"model\":" + Version(id.Model);
    j += ",\"hardware\":" + Version(id.Hardware);
    j += ",\"boot_loader\":" + Version(id.BootLoader);
    j += ",\"native\":" + Version(id.Native);
    j += ",\"application_1\":" + Version(id.Application1);
    j += ",\"application_2\":" + Version(id.Application2);
    j += ",\"date\":" + Quoted(id.Date);
    if (r.BoxAddress) j += ",\"address\":" + Hex32(*r.BoxAddress);
    j += ",\"record\":\"" + record + "\"}";
  } else {
    j += ",\"box\":null";
  }
  if (r.Written) {
    const auto& w = *r.Written;
    j += ",\"written\":{\"model\":" + Version(w.Model);
    j += ",\"hardware\":" + Version(w.Hardware);
    j += ",\"boot_loader\":" + Version(w.BootLoader);
    j += ",\"native\":" + Version(w.Native);
    j += ",\"application_1\":" + Version(w.Application1);
    j += ",\"application_2\":" + Version(w.Application2);
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
  j += ",\"duration_s\":" + std::string(duration) + "}\n";
  return j;
}

struct TReportFile::TState {
  std::mutex Mutex;
  std::condition_variable Wake;     // a line was queued, or the seal came
  std::condition_variable Drained;  // the queue emptied
  std::deque<std::string> Queue;    // under Mutex
  bool Writing = false;             // a line is out of the queue, not yet written
  bool Sealed = false;
  bool Told = false;       // the first failure was said on stderr
  bool Abandoned = false;  // the seal stopped waiting for the writer
  long Lost = 0;
  std::string LostWhy;
  int Fd = -1;
  std::string Path;
};

TReportFile::TReportFile() : state_(std::make_shared<TState>()) {}

TReportFile::~TReportFile() { Seal(std::chrono::seconds(5)); }

bool TReportFile::Open(const std::string& path, std::string& why) {
  path_ = path;
  state_->Path = path;
  if (path.empty()) return true;
  const int fd = OpenReportFile(path, why);
  if (fd < 0) return false;
  Adopt(fd, path);
  return true;
}

void TReportFile::Adopt(int fd, const std::string& path) {
  path_ = path;
  state_->Path = path;
  state_->Fd = fd;
  writer_ = std::thread(Write, state_);
}

bool TReportFile::Append(const std::string& line) {
  {
    const std::lock_guard lock(state_->Mutex);
    if (state_->Sealed) return false;
    if (state_->Fd < 0) return true;
    state_->Queue.push_back(line);
  }
  state_->Wake.notify_one();
  return true;
}

void TReportFile::Write(const std::shared_ptr<TState>& state) {
  // Signals are for whoever opened the report, never for this thread.
  BlockSignalsOfThisThread();
  std::unique_lock lock(state->Mutex);
  for (;;) {
    state->Wake.wait(lock, [&] { return !state->Queue.empty() || state->Sealed; });
    if (state->Queue.empty()) break;
    const std::string line = std::move(state->Queue.front());
    state->Queue.pop_front();
    state->Writing = true;
    lock.unlock();

    // Only this thread writes, so a line taken back cuts no one else's.
    const std::int64_t before = FileSize(state->Fd);
    const long n = WriteOnce(state->Fd, line.data(), line.size());
    const bool whole = n == static_cast<long>(line.size());
    const int error = n < 0 ? errno : ENOSPC;
    // Half a line would make the whole file unreadable as JSON Lines.
    if (!whole && n > 0 && before >= 0) {
      const bool cut = CutFile(state->Fd, before);
      (void)cut;  // nothing more to do if even that fails
    }
    bool tell = false;
    lock.lock();
    state->Writing = false;
    if (!whole) {
      ++state->Lost;
      state->LostWhy = std::strerror(error);
      tell = !state->Told;
      state->Told = true;
    }
    if (state->Queue.empty()) state->Drained.notify_all();
    if (tell) {
      lock.unlock();
      const std::string text = "stb-downloader: cannot write the report " + state->Path + ": " +
                               std::strerror(error) + "; the station goes on\n";
      // Through the console's writer: in order with everything else, and
      // never waiting on a terminal that takes nothing.
      ConsoleOutput().Write(TConsoleStream::Err, text);
      lock.lock();
    }
  }
  CloseFile(state->Fd);
  state->Drained.notify_all();
}

long TReportFile::Seal(std::chrono::milliseconds bound) {
  std::unique_lock lock(state_->Mutex);
  state_->Sealed = true;
  state_->Wake.notify_all();
  // Once given up on, the writer is not waited for again.
  const bool drained = !state_->Abandoned && state_->Drained.wait_for(lock, bound, [&] {
    return state_->Queue.empty() && !state_->Writing;
  });
  long lost = state_->Lost;
  if (!drained && !state_->Abandoned) {
    state_->Abandoned = true;
    // Left to the writer, which may never come back: not written, as far
    // as anyone can tell now.
    lost += static_cast<long>(state_->Queue.size()) + (state_->Writing ? 1 : 0);
    state_->Lost = lost;
    if (state_->LostWhy.empty()) state_->LostWhy = "the file takes no more writes";
    state_->Queue.clear();
  }
  lock.unlock();
  if (writer_.joinable()) {
    if (drained) {
      writer_.join();
    } else {
      writer_.detach();
    }
  }
  return lost;
}

long TReportFile::Lost() const {
  const std::lock_guard lock(state_->Mutex);
  return state_->Lost;
}

std::string TReportFile::LostWhy() const {
  const std::lock_guard lock(state_->Mutex);
  return state_->LostWhy;
}

}  // namespace stb::app
