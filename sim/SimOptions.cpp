#include "SimOptions.h"

#include <cstdlib>
#include <map>

namespace stb::sim {

const char kSimUsage[] =
    "Usage: stb-box-sim [options]\n"
    "Plays a set-top box's boot loader on a new pseudo-terminal and prints its path.\n"
    "\n"
    "Identity (versions as hexadecimal MM.mm):\n"
    "  --oui HHHH  --model MM.mm  --hw MM.mm  --boot MM.mm  --native MM.mm\n"
    "  --app1 MM.mm  --app2 MM.mm  --date TEXT  --identity HEX (all 32 bytes)\n"
    "  --address HEX       the box's download address (default 9FC10000)\n"
    "  --mode-echo N       echo mode N whatever was announced\n"
    "  --ack HEX           the five acknowledgement bytes (default 0D0A41434B)\n"
    "Line:\n"
    "  --bps N             pace both directions at N bit/s (10 bits a byte)\n"
    "Faults:\n"
    "  --refuse I:N        refuse block I (from 0) N times\n"
    "  --wrong-sync N      send a wrong N-th sync digit\n"
    "  --sync-delay MS     pause MS milliseconds before each sync digit\n"
    "  --wrong-report R    download|ram|flash|update|table: that report text is wrong\n"
    "  --silent-from P     ack|echo|identity|addresses|go-reply|answers|download|report-bytes|\n"
    "                      ram|flash|flash-report|update|marker|table-written|table-report\n"
    "  --flash-char C      flash progress character other than '@'\n"
    "  --last-flash-char C character of the last flash step other than '@'\n"
    "  --table-answer C    answer to the date stamp other than 'W'\n"
    "  --hang-up-after I   hang up once block I is accepted\n"
    "  --garbage           send bytes to ignore before the markers\n"
    "  --stray             leave bytes where the tool must empty its input: after the\n"
    "                      last block's answer, the RAM and flash image reports and 0x1E\n"
    "Output:\n"
    "  --path-file FILE    write the device path to FILE instead of stdout\n"
    "  --image-out FILE    write the received image to FILE\n"
    "  --summary FILE      write the JSON summary to FILE instead of stdout\n";

namespace {

bool Pair(const std::string& text, std::uint8_t* out) {
  if (text.size() != 5) return false;
  char* end = nullptr;
  const long major = std::strtol(text.substr(0, 2).c_str(), &end, 16);
  if (*end) return false;
  const long minor = std::strtol(text.substr(3, 2).c_str(), &end, 16);
  if (*end) return false;
  out[0] = static_cast<std::uint8_t>(major);
  out[1] = static_cast<std::uint8_t>(minor);
  return true;
}

bool HexNumber(const std::string& text, unsigned long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtoul(text.c_str(), &end, 16);
  return *end == '\0';
}

bool Number(const std::string& text, long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

}  // namespace

std::optional<TSimOptions> ParseSimOptions(const std::vector<std::string>& args, std::string& error) {
  static const std::map<std::string, TBoxPhase> phases = {
      {"ack", TBoxPhase::Acknowledge},       {"echo", TBoxPhase::ModeEcho},
      {"identity", TBoxPhase::Identity},     {"addresses", TBoxPhase::Addresses},
      {"go-reply", TBoxPhase::GoReply},      {"answers", TBoxPhase::BlockAnswers},
      {"download", TBoxPhase::DownloadReport}, {"report-bytes", TBoxPhase::ReportBytes},
      {"ram", TBoxPhase::RamReport},         {"flash", TBoxPhase::Flash},
      {"flash-report", TBoxPhase::FlashReport}, {"update", TBoxPhase::UpdateRequest},
      {"marker", TBoxPhase::TableMarker},    {"table-written", TBoxPhase::TableWritten},
      {"table-report", TBoxPhase::TableReport}};
  static const std::map<std::string, TBoxReport> reports = {
      {"download", TBoxReport::Download}, {"ram", TBoxReport::RamImage},
      {"flash", TBoxReport::FlashImage},  {"update", TBoxReport::UpdateRequest},
      {"table", TBoxReport::VersionTable}};
  static const std::map<std::string, int> pairAt = {{"--model", 2}, {"--hw", 4},   {"--boot", 6},
                                                    {"--native", 8}, {"--app1", 10}, {"--app2", 12}};

  TSimOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") {
      error = "";
      return std::nullopt;
    }
    if (name == "--garbage") {
      o.Box.GarbageBetweenReports = true;
      continue;
    }
    if (name == "--stray") {
      o.Box.StrayInput = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "option " + name + " needs a value";
      return std::nullopt;
    }
    const std::string& v = args[++i];
    bool ok = true;
    unsigned long hex = 0;
    long n = 0;
    if (pairAt.count(name)) {
      ok = Pair(v, &o.Box.Identity[static_cast<std::size_t>(pairAt.at(name))]);
    } else if (name == "--oui") {
      ok = v.size() == 4 && HexNumber(v, hex);
      o.Box.Identity[0] = static_cast<std::uint8_t>(hex >> 8);
      o.Box.Identity[1] = static_cast<std::uint8_t>(hex);
    } else if (name == "--date") {
      for (std::size_t k = 0; k < 5; ++k) o.Box.Identity[14 + k] = k < v.size() ? static_cast<std::uint8_t>(v[k]) : 0;
    } else if (name == "--identity") {
      ok = v.size() <= 64 && v.size() % 2 == 0;
      for (std::size_t k = 0; ok && k < v.size(); k += 2) {
        ok = HexNumber(v.substr(k, 2), hex);
        o.Box.Identity[k / 2] = static_cast<std::uint8_t>(hex);
      }
    } else if (name == "--address") {
      ok = HexNumber(v, hex) && hex <= 0xFFFFFFFFul;
      o.Box.Address = static_cast<std::uint32_t>(hex);
    } else if (name == "--mode-echo") {
      ok = Number(v, n) && n >= 0 && n < 256;
      o.Box.ModeEcho = static_cast<int>(n);
    } else if (name == "--ack") {
      ok = v.size() == 10;
      o.Box.Acknowledge.clear();
      for (std::size_t k = 0; ok && k < v.size(); k += 2) {
        ok = HexNumber(v.substr(k, 2), hex);
        o.Box.Acknowledge.push_back(static_cast<char>(hex));
      }
    } else if (name == "--bps") {
      ok = Number(v, n) && n >= 0;
      o.Box.Bps = static_cast<std::uint32_t>(n);
    } else if (name == "--refuse") {
      const auto colon = v.find(':');
      long times = 0;
      ok = colon != std::string::npos && Number(v.substr(0, colon), n) && Number(v.substr(colon + 1), times);
      o.Box.RefuseBlock[static_cast<int>(n)] = static_cast<int>(times);
    } else if (name == "--wrong-sync") {
      ok = Number(v, n) && n > 0;
      o.Box.WrongSyncAt = static_cast<int>(n);
    } else if (name == "--sync-delay") {
      ok = Number(v, n) && n >= 0 && n <= 60000;
      o.Box.SyncDelayMs = static_cast<int>(n);
    } else if (name == "--wrong-report") {
      ok = reports.count(v) > 0;
      if (ok) o.Box.WrongReport = reports.at(v);
    } else if (name == "--silent-from") {
      ok = phases.count(v) > 0;
      if (ok) o.Box.SilentFrom = phases.at(v);
    } else if (name == "--flash-char" || name == "--last-flash-char" || name == "--table-answer") {
      ok = v.size() == 1;
      char& c = name == "--flash-char"        ? o.Box.FlashCharacter
                : name == "--last-flash-char" ? o.Box.LastFlashCharacter
                                              : o.Box.TableAnswer;
      c = v.empty() ? 0 : v[0];
    } else if (name == "--hang-up-after") {
      ok = Number(v, n) && n >= 0;
      o.Box.HangUpAfterBlock = static_cast<int>(n);
    } else if (name == "--path-file") {
      o.PathFile = v;
    } else if (name == "--image-out") {
      o.Box.ImageOut = v;
    } else if (name == "--summary") {
      o.SummaryFile = v;
    } else {
      error = "unknown option " + name;
      return std::nullopt;
    }
    if (!ok) {
      error = "bad value for " + name + ": " + v;
      return std::nullopt;
    }
  }
  return o;
}

}  // namespace stb::sim
