#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace stb::testing {

namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}
}  // namespace

TPtyHold::TPtyHold(const std::string& device) : device_(device) {
  // No controlling terminal taken, and no wait for a carrier.
  fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

TPtyHold::~TPtyHold() {
  if (fd_ >= 0) ::close(fd_);
}

bool TPtyHold::StillOurs() const {
  if (fd_ < 0 || !::isatty(fd_)) return false;
  struct stat held {};
  struct stat named {};
  if (::fstat(fd_, &held) != 0 || ::stat(device_.c_str(), &named) != 0) return false;
  // While the number is held no other pseudo-terminal can carry it: the
  // same device in the same devpts instance is ours.
  if (!S_ISCHR(named.st_mode) || named.st_rdev != held.st_rdev || named.st_dev != held.st_dev) return false;
  // A pseudo-terminal whose far end closed shows a hang-up on every
  // descriptor of its device side.
  pollfd p{fd_, 0, 0};
  return ::poll(&p, 1, 0) == 0 || !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

TPtyPair::TPtyPair() {
  termios raw{};
  cfmakeraw(&raw);
  char name[256] = {};
  if (openpty(&master_, &device_, name, &raw, nullptr) != 0) {
    std::perror("openpty");
    std::abort();
  }
  path_ = name;
}

TPtyPair::~TPtyPair() {
  HangUp();
  if (device_ >= 0) ::close(device_);
}

void TPtyPair::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 100);
      continue;
    }
    done += static_cast<std::size_t>(n);
  }
}

std::string TPtyPair::Receive(std::size_t n, int timeoutMs) {
  std::string out;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < n) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, MsLeft(deadline)) <= 0) break;
    char buf[4096];
    const ssize_t got = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
    if (got <= 0) break;
    out.append(buf, static_cast<std::size_t>(got));
  }
  return out;
}

int TPtyPair::Queued() const {
  int n = 0;
  ::ioctl(device_, FIONREAD, &n);
  return n;
}

bool TPtyPair::WaitQueued(std::size_t n, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // The pty moves bytes to the device side asynchronously; a short poll wait
  // between looks keeps this from spinning.
  while (static_cast<std::size_t>(Queued()) < n) {
    if (MsLeft(deadline) == 0) return false;
    ::poll(nullptr, 0, 1);
  }
  return true;
}

std::unique_ptr<IFarEnd> OpenFarEnd() { return std::make_unique<TPtyPair>(); }

void TPtyPair::HangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace stb::testing
