// What the benchmarks share: starting the real programs, reading the
// simulated box's summary, the protocol's line limit, and writing a
// benchmark's own part of bench/results.md.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace stb::bench {

namespace fs = std::filesystem;

// Seconds on the monotonic clock.
double Now();

using stb::testing::TChildProcess;
using stb::testing::TStdio;

// A benchmark's hang handler: a program that outlived its time is said on
// standard error; the run it belonged to sees TChildProcess::kHung.
void SayHang(const std::string& program, int timeoutMs);

// Starts `args` (argv[0] looked up on PATH) in `child`, standard input from
// /dev/null, output and error to the given files, `env` ("NAME=value") added
// to this process's environment; false, said on standard error, when it
// could not be started.
bool Start(TChildProcess& child, const std::vector<std::string>& args, const std::string& out,
           const std::string& err, const std::vector<std::string>& env = {});

std::string Slurp(const fs::path& p);

// The number after "key": in a flat JSON object; -1 when it is missing.
double JsonNumber(const std::string& json, const std::string& key);

// An include file for mode 3 (code APP103) in work/inc naming work/image.bin,
// and that image: `bytes` of a fixed pseudo-random sequence.
void WriteInstallation(const fs::path& work, std::size_t bytes);

// The protocol's own limit for `blocks` blocks: 1025 bytes out and 3 back
// each, and a sync digit after every eleventh, at 10 bits a byte.
double LineLimitS(int blocks, double bps);

// The processor, its cores and the kernel, for the results' heading.
std::string Machine();

// Replaces the part of `file` between "<!-- bench:NAME -->" and
// "<!-- /bench:NAME -->" with `text` (appending both markers when they are
// not there yet), so that each benchmark rewrites only its own figures and
// what was written by hand around them stays.
void WriteResults(const fs::path& file, const std::string& name, const std::string& text);

}  // namespace stb::bench
