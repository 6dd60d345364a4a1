// The tests' pseudo-terminals stay theirs: the run has a devpts instance of
// its own where one can be had (tools/private-pts), and a number held by a
// test is handed to no other program after its far end has gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PtyPair.h"

namespace stb::testing {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Whether this process may make a mount namespace with a devpts instance of
// its own: tried in a child, which takes the namespace with it.
bool PrivateInstancePossible() {
  const pid_t child = fork();
  if (child == 0) {
    const bool ok = unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    mount("devpts", "/dev/pts", "devpts", 0, "newinstance") == 0;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// "major:minor" of the devpts mount this process sees on /dev/pts (the last
// one mounted there), from /proc/self/mountinfo; empty when there is none.
std::string VisibleDevptsDevice() {
  std::ifstream info("/proc/self/mountinfo");
  std::string line, found;
  while (std::getline(info, line)) {
    std::istringstream f(line);
    std::string id, parent, device, root, point, field;
    f >> id >> parent >> device >> root >> point;
    if (point != "/dev/pts") continue;
    while (f >> field && field != "-") {
    }
    std::string type;
    f >> type;
    found = type == "devpts" ? device : "";
  }
  return found;
}

std::string DeviceOf(dev_t d) { return std::to_string(major(d)) + ":" + std::to_string(minor(d)); }

TEST(PrivatePts, TheRunHasADevptsInstanceOfItsOwn) {
  const std::string mode = Env("STB_PTS");
  if (mode == "shared") GTEST_SKIP() << "tools/private-pts could have no instance of its own here";
  if (!PrivateInstancePossible()) GTEST_SKIP() << "no mount namespace of our own can be had here";
  ASSERT_EQ(mode, "private") << "the tests run on the system's pseudo-terminals, where a station re-arming "
                                "its port may take another program's: run them as ./stb test, or under "
                                "tools/private-pts (tools/private-pts ctest ...)";

  struct stat pts {};
  ASSERT_EQ(stat("/dev/pts", &pts), 0);
  EXPECT_NE(std::to_string(pts.st_dev), Env("STB_HOST_PTS_DEV")) << "/dev/pts is still the system's";
  EXPECT_EQ(VisibleDevptsDevice(), DeviceOf(pts.st_dev)) << "/dev/pts is no devpts mount of this namespace";
  // /dev/ptmx hands out numbers of that instance, not of the system's.
  TPtyPair pair;
  struct stat device {};
  ASSERT_EQ(stat(pair.DevicePath().c_str(), &device), 0);
  EXPECT_EQ(device.st_dev, pts.st_dev) << pair.DevicePath();
}

TEST(PtyHold, AHeldNumberGoesToNoOtherProgramAfterItsFarEndHasGone) {
  auto box = std::make_unique<TPtyPair>();
  const std::string port = box->DevicePath();
  auto hold = std::make_unique<TPtyHold>(port);
  ASSERT_TRUE(hold->Holding());
  EXPECT_TRUE(hold->StillOurs());

  // The box ends: its side of the pair closes, and the test's program may
  // still open the port by its name.
  box.reset();
  EXPECT_FALSE(hold->StillOurs());
  std::vector<std::unique_ptr<TPtyPair>> others;
  for (int i = 0; i < 16; ++i) {
    others.push_back(std::make_unique<TPtyPair>());
    EXPECT_NE(others.back()->DevicePath(), port) << "handed out while held";
  }
  // A re-arm finds no device by that name.
  const int reopened = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_LT(reopened, 0) << port << " opened again after its far end had gone";
  if (reopened >= 0) close(reopened);

  // Let go, the number is the next one handed out: what the hold kept from
  // the others. Only certain in the run's own instance, where no program
  // outside asks for numbers meanwhile.
  hold.reset();
  if (Env("STB_PTS") != "private") return;
  bool handedOn = false;
  for (int i = 0; i < 64 && !handedOn; ++i) {
    others.push_back(std::make_unique<TPtyPair>());
    handedOn = others.back()->DevicePath() == port;
  }
  EXPECT_TRUE(handedOn) << port << " was not handed out again once let go";
}

TEST(PtyHold, ANameThatLeadsToNoPseudoTerminalIsNeverOurs) {
  TPtyHold nowhere("/nowhere/pts/7");
  EXPECT_FALSE(nowhere.Holding());
  EXPECT_FALSE(nowhere.StillOurs());
  TPtyHold null("/dev/null");
  EXPECT_TRUE(null.Holding());
  EXPECT_FALSE(null.StillOurs()) << "/dev/null is no line";
}

}  // namespace
}  // namespace stb::testing
