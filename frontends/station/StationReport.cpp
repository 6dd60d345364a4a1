#include "StationReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

TReportFile::~TReportFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool TReportFile::Open(const std::string& path) {
  path_ = path;
  if (path.empty()) return true;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool TReportFile::Append(const std::string& line) {
  const std::lock_guard lock(mutex_);
  if (sealed_) return false;
  if (fd_ < 0) return path_.empty();
  struct stat before {};
  const bool sized = ::fstat(fd_, &before) == 0;
  ssize_t n = -1;
  do {
    n = ::write(fd_, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(line.size())) return true;
  const int error = n < 0 ? errno : ENOSPC;
  // Half a line would make the whole file unreadable as JSON Lines.
  if (n > 0 && sized) {
    const int cut = ::ftruncate(fd_, before.st_size);
    (void)cut;  // nothing more to do if even that fails
  }
  if (!failed_) {
    failed_ = true;
    std::fprintf(stderr, "stb-downloader: cannot write the report %s: %s; the station goes on\n",
                 path_.c_str(), std::strerror(error));
  }
  return false;
}

void TReportFile::Seal() {
  // Taken for the flag, so that a line already being written is whole
  // before the exit.
  const std::lock_guard lock(mutex_);
  sealed_ = true;
}

}  // namespace stb::app
