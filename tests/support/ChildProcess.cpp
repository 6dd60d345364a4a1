#include "ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace stb::testing {

TStdio TStdio::From(const std::string& path) { return Open(path, O_RDONLY); }

TStdio TStdio::To(const std::string& path) { return Open(path, O_WRONLY | O_CREAT | O_TRUNC); }

TStdio TStdio::Open(const std::string& path, int flags) {
  TStdio s(Kind::Path);
  s.path_ = path;
  s.flags_ = flags;
  return s;
}

TStdio TStdio::Fd(int fd) {
  if (fd < 0) return Closed();
  TStdio s(Kind::Fd);
  s.fd_ = fd;
  return s;
}

namespace {

// The program's path: as given when it holds a slash, else the first
// executable of that name on PATH. Looked up before the fork, where the
// child could only do what is safe between fork and exec.
std::string Resolve(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  for (std::size_t from = 0; from <= dirs.size();) {
    std::size_t to = dirs.find(':', from);
    if (to == std::string::npos) to = dirs.size();
    const std::string dir = to > from ? dirs.substr(from, to - from) : ".";
    const std::string candidate = dir + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    from = to + 1;
  }
  return program;
}

std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  for (const auto& change : changes) {
    const std::string name = change.substr(0, change.find('=') + 1);
    bool replaced = false;
    for (auto& e : env) {
      if (e.compare(0, name.size(), name) == 0) {
        e = change;
        replaced = true;
      }
    }
    if (!replaced) env.push_back(change);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (auto& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

// In the child, between fork and exec: only calls that are safe there.
[[noreturn]] void BecomeChild(const int (&given)[3], int report, const char* path, char* const* argv,
                              char* const* envp) {
  // Out of the way first, so that one given as 1 is not overwritten before
  // it is taken as 2.
  int fds[3];
  for (int target = 0; target < 3; ++target)
    fds[target] = given[target] < 0 ? -1 : fcntl(given[target], F_DUPFD, 3);
  for (int target = 0; target < 3; ++target) {
    if (fds[target] < 0) {
      close(target);
    } else {
      dup2(fds[target], target);
    }
  }
  // Nothing else of this process's: a pipe's end held by the child would
  // keep its reader from ever seeing the end. `report` closes on exec.
  if (close_range(3, static_cast<unsigned>(report) - 1, 0) != 0 ||
      close_range(static_cast<unsigned>(report) + 1, ~0U, 0) != 0) {
    for (int fd = 3; fd < 1024; ++fd) {
      if (fd != report) close(fd);
    }
  }
  // Handlers end with exec; what was ignored or blocked would not.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &byDefault, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(path, argv, envp);
  const int error = errno;
  [[maybe_unused]] const ssize_t n = write(report, &error, sizeof error);
  _exit(127);
}

}  // namespace

TChildProcess::TChildProcess(TOnHang onHang) : onHang_(std::move(onHang)) {}

TChildProcess::~TChildProcess() {
  if (Running()) Kill();
}

bool TChildProcess::Start(const std::vector<std::string>& args, const TChildOptions& options) {
  error_.clear();
  if (Running()) {
    error_ = "still running: " + program_;
    return false;
  }
  if (args.empty()) {
    error_ = "no program given";
    return false;
  }
  program_ = Resolve(args[0]);
  std::vector<std::string> argStrings = args;
  std::vector<std::string> envStrings = Environment(options.Env);
  const std::vector<char*> argv = Pointers(argStrings);
  const std::vector<char*> envp = Pointers(envStrings);

  // The descriptors are opened here, where a failure can still be said.
  int fds[3] = {-1, -1, -1};
  bool owned[3] = {false, false, false};
  const TStdio* streams[3] = {&options.In, &options.Out, &options.Err};
  auto closeOwned = [&] {
    for (int i = 0; i < 3; ++i) {
      if (owned[i]) close(fds[i]);
    }
  };
  for (int i = 0; i < 3; ++i) {
    const TStdio& s = *streams[i];
    switch (s.kind_) {
      case TStdio::Kind::Inherit: fds[i] = i; break;
      case TStdio::Kind::Closed: break;
      case TStdio::Kind::Fd: fds[i] = s.fd_; break;
      case TStdio::Kind::Null:
      case TStdio::Kind::Path: {
        const std::string path = s.kind_ == TStdio::Kind::Null ? "/dev/null" : s.path_;
        const int flags = s.kind_ == TStdio::Kind::Null ? O_RDWR : s.flags_;
        fds[i] = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0644);
        if (fds[i] < 0) {
          error_ = "cannot open " + path + ": " + std::strerror(errno);
          closeOwned();
          return false;
        }
        owned[i] = true;
        break;
      }
    }
  }

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    closeOwned();
    return false;
  }
  if (report[1] < 3) {  // this process's own standard descriptors were closed
    const int high = fcntl(report[1], F_DUPFD_CLOEXEC, 3);
    close(report[1]);
    report[1] = high;
  }
  const pid_t pid = fork();
  if (pid == 0) BecomeChild(fds, report[1], program_.c_str(), argv.data(), envp.data());
  const int forkError = errno;
  close(report[1]);
  closeOwned();
  if (pid < 0) {
    close(report[0]);
    error_ = std::string("fork: ") + std::strerror(forkError);
    return false;
  }
  pid_ = pid;
  ended_ = false;
  status_ = -1;
  usage_ = {};
  // Nothing comes when exec succeeded: the report's end closed with it.
  int execError = 0;
  ssize_t n;
  while ((n = read(report[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (n == sizeof execError) {
    int raw = 0;
    while (wait4(pid_, &raw, 0, &usage_) < 0 && errno == EINTR) {
    }
    Reaped(raw);
    error_ = "cannot start " + program_ + ": " + std::strerror(execError);
    return false;
  }
  return true;
}

void TChildProcess::Signal(int sig) const {
  // An ended child not yet reaped keeps its number, so this never reaches
  // another process.
  if (Running()) kill(pid_, sig);
}

void TChildProcess::Reaped(int raw) {
  ended_ = true;
  status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

bool TChildProcess::Ended() {
  if (!Running()) return pid_ > 0;
  int raw = 0;
  if (wait4(pid_, &raw, WNOHANG, &usage_) != pid_) return false;
  Reaped(raw);
  return true;
}

void TChildProcess::Kill() {
  kill(pid_, SIGKILL);
  int raw = 0;
  while (wait4(pid_, &raw, 0, &usage_) < 0 && errno == EINTR) {
  }
  Reaped(raw);
}

int TChildProcess::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Ended()) {
    if (std::chrono::steady_clock::now() >= until) {
      Kill();
      status_ = kHung;
      if (onHang_) onHang_(program_, timeoutMs);
      return kHung;
    }
    poll(nullptr, 0, 10);
  }
  return status_;
}

}  // namespace stb::testing
