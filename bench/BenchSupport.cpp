#include "BenchSupport.h"

#include <sys/utsname.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace stb::bench {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SayHang(const std::string& program, int timeoutMs) {
  std::fprintf(stderr, "bench: %s did not end within %d ms; killed\n", program.c_str(), timeoutMs);
}

bool Start(TChildProcess& child, const std::vector<std::string>& args, const std::string& out,
           const std::string& err, const std::vector<std::string>& env) {
  if (child.Start(args, {.In = TStdio::Null(), .Out = TStdio::To(out), .Err = TStdio::To(err), .Env = env}))
    return true;
  std::fprintf(stderr, "bench: %s\n", child.Error().c_str());
  return false;
}

std::string Slurp(const fs::path& p) {
  std::stringstream s;
  s << std::ifstream(p).rdbuf();
  return s.str();
}

double JsonNumber(const std::string& json, const std::string& key) {
  const auto at = json.find("\"" + key + "\":");
  return at == std::string::npos ? -1 : std::atof(json.c_str() + at + key.size() + 3);
}

void WriteInstallation(const fs::path& work, std::size_t bytes) {
  fs::create_directories(work / "inc");
  std::ofstream inc(work / "inc/app1.inc", std::ios::binary);
  for (const char* l : {"110022", "01.00", "01.00", "01.00", "01.00", "01.00", "01.00", "D2412", "bench",
                        "./image.bin", "3", "0x9FC10000"}) {
    inc << l << "\r\n";
  }
  std::ofstream image(work / "image.bin", std::ios::binary);
  std::vector<char> chunk(1 << 16);
  std::uint32_t x = 7;
  for (std::size_t done = 0; done < bytes; done += chunk.size()) {
    for (auto& c : chunk) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    image.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), bytes - done)));
  }
}

double LineLimitS(int blocks, double bps) {
  const double bytes = blocks * 1028.0 + blocks / 11;
  return bytes * 10.0 / bps;
}

std::string Machine() {
  utsname u{};
  uname(&u);
  std::string model = "unknown processor";
  std::ifstream cpu("/proc/cpuinfo");
  for (std::string line; std::getline(cpu, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  return model + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, Linux " + u.release;
}

void WriteResults(const fs::path& file, const std::string& name, const std::string& text) {
  const std::string open = "<!-- bench:" + name + " -->\n";
  const std::string close = "<!-- /bench:" + name + " -->\n";
  std::string all = Slurp(file);
  const auto from = all.find(open);
  const auto to = from == std::string::npos ? std::string::npos : all.find(close, from);
  if (from == std::string::npos || to == std::string::npos) {
    if (!all.empty() && all.back() != '\n') all += '\n';
    if (!all.empty()) all += '\n';
    all += open + text + close;
  } else {
    all.replace(from + open.size(), to - from - open.size(), text);
  }
  std::ofstream(file, std::ios::binary | std::ios::trunc) << all;
}

}  // namespace stb::bench
