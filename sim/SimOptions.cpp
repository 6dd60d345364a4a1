#include "SimOptions.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <functional>
#include <map>

namespace stb::sim {

namespace {

constexpr char kAbout[] = "Plays a set-top box's boot loader on a new pseudo-terminal and prints its path.\n";

bool HexNumber(const std::string& text, unsigned long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtoul(text.c_str(), &end, 16);
  return *end == '\0';
}

// MM.mm: two hexadecimal bytes.
bool Pair(const std::string& text, std::uint8_t* out) {
  unsigned long major = 0;
  unsigned long minor = 0;
  if (text.size() != 5 || !HexNumber(text.substr(0, 2), major) || !HexNumber(text.substr(3, 2), minor))
    return false;
  out[0] = static_cast<std::uint8_t>(major);
  out[1] = static_cast<std::uint8_t>(minor);
  return true;
}

bool Number(const std::string& text, long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

// "N:MS": a block (at least `least`) and a delay of at most a minute.
bool BlockAndDelay(const std::string& text, long least, int& block, int& ms) {
  long n = 0;
  long delay = 0;
  const auto colon = text.find(':');
  if (colon == std::string::npos || !Number(text.substr(0, colon), n) || n < least || n > 1000000 ||
      !Number(text.substr(colon + 1), delay) || delay < 0 || delay > 60000) {
    return false;
  }
  block = static_cast<int>(n);
  ms = static_cast<int>(delay);
  return true;
}

// One of a fixed set of words.
template <typename T>
bool Word(const std::map<std::string, T>& words, const std::string& text, T& out) {
  const auto found = words.find(text);
  if (found == words.end()) return false;
  out = found->second;
  return true;
}

// What CLI11 is told of the options: each one's value goes through `take`,
// which says whether it could use it. Values are taken as the command line
// gives them, in its order: of --identity and --model the later one counts,
// and every --refuse adds a block.
class TCommandLine {
 public:
  explicit TCommandLine(TSimOptions& o) : app_(kAbout, "stb-box-sim") {
    static const std::map<std::string, TBoxPhase> phases = {{"ack", TBoxPhase::Acknowledge},
                                                            {"echo", TBoxPhase::ModeEcho},
                                                            {"identity", TBoxPhase::Identity},
                                                            {"addresses", TBoxPhase::Addresses},
                                                            {"go-reply", TBoxPhase::GoReply},
                                                            {"answers", TBoxPhase::BlockAnswers},
                                                            {"download", TBoxPhase::DownloadReport},
                                                            {"report-bytes", TBoxPhase::ReportBytes},
                                                            {"ram", TBoxPhase::RamReport},
                                                            {"flash", TBoxPhase::Flash},
                                                            {"flash-report", TBoxPhase::FlashReport},
                                                            {"update", TBoxPhase::UpdateRequest},
                                                            {"marker", TBoxPhase::TableMarker},
                                                            {"table-written", TBoxPhase::TableWritten},
                                                            {"table-report", TBoxPhase::TableReport}};
    static const std::map<std::string, TBoxReport> reports = {{"download", TBoxReport::Download},
                                                              {"ram", TBoxReport::RamImage},
                                                              {"flash", TBoxReport::FlashImage},
                                                              {"update", TBoxReport::UpdateRequest},
                                                              {"table", TBoxReport::VersionTable}};

    app_.set_help_flag("-h,--help", "show this text and exit");
    app_.add_flag("-V,--version", o.Version, "show the version and exit");
    app_.get_formatter()->column_width(22);
    app_.get_formatter()->label("OPTIONS", "options");
    auto& id = o.Box.Identity;

    group_ = "Identity (versions as hexadecimal MM.mm)";
    Value("--oui", "HHHH", "the OUI, first in the record", [&](const std::string& v) {
      unsigned long hex = 0;
      if (v.size() != 4 || !HexNumber(v, hex)) return false;
      id[0] = static_cast<std::uint8_t>(hex >> 8);
      id[1] = static_cast<std::uint8_t>(hex);
      return true;
    });
    const struct {
      const char* name;
      const char* help;
      std::size_t at;
    } versions[] = {{"--model", "model", 2},         {"--hw", "hardware", 4},
                    {"--boot", "boot loader", 6},    {"--native", "native software", 8},
                    {"--app1", "application 1", 10}, {"--app2", "application 2", 12}};
    for (const auto& version : versions) {
      const std::size_t at = version.at;
      Value(version.name, "MM.mm", std::string(version.help) + " version",
            [&id, at](const std::string& v) { return Pair(v, &id[at]); });
    }
    Value("--date", "TEXT", "the box's date stamp (five characters)", [&](const std::string& v) {
      for (std::size_t k = 0; k < 5; ++k) id[14 + k] = k < v.size() ? static_cast<std::uint8_t>(v[k]) : 0;
      return true;
    });
    Value("--identity", "HEX", "the whole record (all 32 bytes)", [&](const std::string& v) {
      unsigned long hex = 0;
      bool ok = v.size() <= 64 && v.size() % 2 == 0;
      for (std::size_t k = 0; ok && k < v.size(); k += 2) {
        ok = HexNumber(v.substr(k, 2), hex);
        id[k / 2] = static_cast<std::uint8_t>(hex);
      }
      return ok;
    });
    Value("--address", "HEX", "the box's download address (default 9FC10000)", [&](const std::string& v) {
      unsigned long hex = 0;
      if (!HexNumber(v, hex) || hex > 0xFFFFFFFFul) return false;
      o.Box.Address = static_cast<std::uint32_t>(hex);
      return true;
    });
    Value("--mode-echo", "N", "echo mode N whatever was announced", [&](const std::string& v) {
      long n = 0;
      if (!Number(v, n) || n < 0 || n >= 256) return false;
      o.Box.ModeEcho = static_cast<int>(n);
      return true;
    });
    Value("--ack", "HEX", "the five acknowledgement bytes (default 0D0A41434B)", [&](const std::string& v) {
      unsigned long hex = 0;
      if (v.size() != 10) return false;
      o.Box.Acknowledge.clear();
      for (std::size_t k = 0; k < v.size(); k += 2) {
        if (!HexNumber(v.substr(k, 2), hex)) return false;
        o.Box.Acknowledge.push_back(static_cast<char>(hex));
      }
      return true;
    });

    group_ = "Line";
    Value("--bps", "N", "pace both directions at N bit/s (10 bits a byte)", [&](const std::string& v) {
      long n = 0;
      if (!Number(v, n) || n < 0) return false;
      o.Box.Bps = static_cast<std::uint32_t>(n);
      return true;
    });

    group_ = "Faults";
    Value("--refuse", "I:N", "refuse block I (from 0) N times", [&](const std::string& v) {
      long n = 0;
      const auto colon = v.find(':');
      long times = 0;
      if (colon == std::string::npos || !Number(v.substr(0, colon), n) ||
          !Number(v.substr(colon + 1), times)) {
        return false;
      }
      o.Box.RefuseBlock[static_cast<int>(n)] = static_cast<int>(times);
      return true;
    });
    Value("--late", "I:MS", "answer block I (from 0) MS milliseconds late", [&](const std::string& v) {
      int index = 0;
      int ms = 0;
      if (!BlockAndDelay(v, 0, index, ms)) return false;
      o.Box.LateBlock[index] = ms;
      return true;
    });
    Value("--late-every", "N:MS", "answer every N-th block MS milliseconds late",
          [&](const std::string& v) { return BlockAndDelay(v, 1, o.Box.LateEvery, o.Box.LateEveryMs); });
    Value("--wrong-sync", "N", "send a wrong N-th sync digit", [&](const std::string& v) {
      long n = 0;
      if (!Number(v, n) || n <= 0) return false;
      o.Box.WrongSyncAt = static_cast<int>(n);
      return true;
    });
    Value("--sync-delay", "MS", "pause MS milliseconds before each sync digit", [&](const std::string& v) {
      long n = 0;
      if (!Number(v, n) || n < 0 || n > 60000) return false;
      o.Box.SyncDelayMs = static_cast<int>(n);
      return true;
    });
    Value("--flash-delay", "MS", "pause MS milliseconds before each flash step character",
          [&](const std::string& v) {
            long n = 0;
            if (!Number(v, n) || n < 0 || n > 60000) return false;
            o.Box.FlashStepDelayMs = static_cast<int>(n);
            return true;
          });
    Value("--wrong-report", "R", "download|ram|flash|update|table: that report text is wrong",
          [&](const std::string& v) { return Word(reports, v, o.Box.WrongReport); });
    Value("--silent-from", "P",
          "ack|echo|identity|addresses|go-reply|answers|download|report-bytes|\n"
          "ram|flash|flash-report|update|marker|table-written|table-report",
          [&](const std::string& v) { return Word(phases, v, o.Box.SilentFrom); });
    Value("--flash-char", "C", "flash progress character other than '@'",
          [&](const std::string& v) { return Character(v, o.Box.FlashCharacter); });
    Value("--last-flash-char", "C", "character of the last flash step other than '@'",
          [&](const std::string& v) { return Character(v, o.Box.LastFlashCharacter); });
    Value("--table-answer", "C", "answer to the date stamp other than 'W'",
          [&](const std::string& v) { return Character(v, o.Box.TableAnswer); });
    Value("--hang-up-after", "I", "hang up once block I is accepted", [&](const std::string& v) {
      long n = 0;
      if (!Number(v, n) || n < 0) return false;
      o.Box.HangUpAfterBlock = static_cast<int>(n);
      return true;
    });
    app_.add_flag("--garbage", o.Box.GarbageBetweenReports, "send bytes to ignore before the markers")
        ->group(group_);
    app_.add_flag("--stray", o.Box.StrayInput,
                  "leave bytes where the tool must empty its input: after the\n"
                  "last block's answer, the RAM and flash image reports and 0x1E")
        ->group(group_);

    group_ = "Several boxes on one line";
    Value("--boxes", "N", "serve N boxes one after another (default 1)", [&](const std::string& v) {
      long n = 0;
      if (!Number(v, n) || n < 1) return false;
      o.Box.Boxes = static_cast<int>(n);
      return true;
    });
    Value("--stay-on", "MS", "after an upgrade, keep answering announce words for MS",
          [&](const std::string& v) {
            long n = 0;
            if (!Number(v, n) || n < 0) return false;
            o.Box.StayOnMs = static_cast<int>(n);
            return true;
          });
    Value("--off", "MS", "then stay silent for MS before the next box", [&](const std::string& v) {
      long n = 0;
      if (!Number(v, n) || n < 0) return false;
      o.Box.OffMs = static_cast<int>(n);
      return true;
    });

    group_ = "Output";
    Value("--path-file", "FILE", "write the device path to FILE instead of stdout",
          [&](const std::string& v) {
            o.PathFile = v;
            return true;
          });
    Value("--image-out", "FILE", "write the received image to FILE", [&](const std::string& v) {
      o.Box.ImageOut = v;
      return true;
    });
    Value("--summary", "FILE", "write the JSON summary to FILE instead of stdout", [&](const std::string& v) {
      o.SummaryFile = v;
      return true;
    });
  }

  CLI::App& App() { return app_; }

 private:
  static bool Character(const std::string& text, char& out) {
    if (text.size() != 1) return false;
    out = text[0];
    return true;
  }

  void Value(const std::string& name, const std::string& valueName, const std::string& help,
             std::function<bool(const std::string&)> take) {
    app_.add_option(
            name,
            [name, take](const CLI::results_t& values) {
              for (const auto& v : values) {
                if (!take(v)) throw CLI::ValidationError("bad value for " + name + ": " + v);
              }
              return true;
            },
            help)
        ->type_name(valueName)
        ->trigger_on_parse()
        ->group(group_);
  }

  CLI::App app_;
  std::string group_;
};

}  // namespace

std::optional<TSimOptions> ParseSimOptions(const std::vector<std::string>& args, std::string& error) {
  TSimOptions o;
  TCommandLine commandLine(o);
  try {
    commandLine.App().parse(
        std::vector<std::string>(args.rbegin(), args.rend()));  // CLI11 takes them last first
  } catch (const CLI::CallForHelp&) {
    o.Help = true;
  } catch (const CLI::ParseError& e) {
    error = e.what();
    return std::nullopt;
  }
  return o;
}

std::string SimUsage() {
  TSimOptions unused;
  std::string text = TCommandLine(unused).App().help();
  // CLI11 leaves two blank lines between groups; one is enough.
  for (auto at = text.find("\n\n\n"); at != std::string::npos; at = text.find("\n\n\n", at))
    text.erase(at, 1);
  return text;
}

}  // namespace stb::sim
