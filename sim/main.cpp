// stb-box-sim: a set-top box on a pseudo-terminal, for trying the tool
// without hardware. Prints the device path, plays the box until the upgrade
// ends (or SIGINT/SIGTERM), then prints a one-line JSON summary.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "BoxSim.h"
#include "SimOptions.h"

int main(int argc, char** argv) {
  std::string error;
  const auto options = stb::sim::ParseSimOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::fprintf(stderr, "stb-box-sim: %s\nTry 'stb-box-sim --help'.\n", error.c_str());
    return 2;
  }
  if (options->Help) {
    std::fputs(stb::sim::SimUsage().c_str(), stdout);
    return 0;
  }
  if (options->Version) {
    std::puts("stb-box-sim " STB_VERSION);
    return 0;
  }

  // The signals are taken by sigtimedwait below, never by a handler.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  stb::sim::TBoxSim box(options->Box);
  if (!options->PathFile.empty()) {
    const std::string tmp = options->PathFile + ".tmp";
    std::ofstream(tmp) << box.DevicePath() << "\n";
    std::rename(tmp.c_str(), options->PathFile.c_str());  // readers never see half a path
  } else {
    std::cout << box.DevicePath() << std::endl;
  }

  box.Start();
  const timespec poll{0, 100 * 1000 * 1000};
  while (!box.Finished()) {
    if (sigtimedwait(&signals, nullptr, &poll) > 0) break;
  }
  box.Stop();

  const std::string json = box.Summary().Json();
  if (!options->SummaryFile.empty()) {
    std::ofstream(options->SummaryFile) << json << "\n";
  } else {
    std::cout << json << std::endl;
  }
  return box.Summary().End == "done" ? 0 : 1;
}
