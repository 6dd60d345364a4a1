// A program the tests and the benchmarks start in a process of its own: its
// arguments, its environment, where its standard descriptors come from and
// go to, signals sent to it, and waiting for its end. A child that outlives
// its time is killed and reaped, and the hang is said as one: it never reads
// as an exit status.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace stb::testing {

// One standard descriptor of the child.
class TStdio {
 public:
  static TStdio Inherit() { return TStdio(Kind::Inherit); }  // this process's own
  static TStdio Null() { return TStdio(Kind::Null); }        // /dev/null
  static TStdio Closed() { return TStdio(Kind::Closed); }    // as `<&-` or `>&-` leave it
  // A file read from, or one created (or emptied) and written to.
  static TStdio From(const std::string& path);
  static TStdio To(const std::string& path);
  // A path opened with `flags`: a terminal's device, say, with O_RDWR.
  static TStdio Open(const std::string& path, int flags);
  // A descriptor of the caller's (a pipe's end, a terminal), which stays the
  // caller's to close; -1 leaves the child's closed.
  static TStdio Fd(int fd);

 private:
  friend class TChildProcess;
  enum class Kind { Inherit, Null, Closed, Path, Fd };
  explicit TStdio(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::string path_;
  int flags_ = 0;
  int fd_ = -1;
};

struct TChildOptions {
  TStdio In = TStdio::Null();
  TStdio Out = TStdio::Inherit();
  TStdio Err = TStdio::Inherit();
  // "NAME=value", added to this process's environment or replacing there.
  std::vector<std::string> Env{};
};

class TChildProcess {
 public:
  // What Wait does once it has killed and reaped a child that outlived its
  // time: the program's path and the time it was given.
  using TOnHang = std::function<void(const std::string& program, int timeoutMs)>;
  // Wait's answer for a child that had to be killed.
  static constexpr int kHung = -1;

  // The tests' way: a hang fails the current test. A benchmark, built
  // without a test framework, says it in its own way.
  explicit TChildProcess(TOnHang onHang = FailTheTest);
  ~TChildProcess();  // a child still running is killed, quietly
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Starts args[0] (looked up on PATH when it holds no slash) with `args`.
  // Only the three standard descriptors are passed on, and every signal is
  // as a fresh login would have it. False, with Error() saying why, when it
  // could not be started. A child that has ended may be started again.
  bool Start(const std::vector<std::string>& args, const TChildOptions& options = {});
  const std::string& Error() const { return error_; }

  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0 && !ended_; }
  // Sends `sig` while the child runs (never to a number the system has
  // handed on to another process since).
  void Signal(int sig) const;

  // True once the child has ended (reaping it), without waiting.
  bool Ended();
  // Waits at most `timeoutMs` for the end: the exit status, or 128 + the
  // signal's number for a child a signal ended. Past the time, the child is
  // killed, reaped and reported to the hang handler, and the answer is kHung.
  int Wait(int timeoutMs);
  // The last ended child's exit status as Wait gave it; -1 before.
  int Status() const { return status_; }
  // The ended child's processor time and peak memory.
  const rusage& Usage() const { return usage_; }

  // The default hang handler: adds a failure to the current test. Linked
  // with the tests only (ChildProcessHang.cpp).
  static void FailTheTest(const std::string& program, int timeoutMs);

 private:
  void Reaped(int raw);
  void Kill();

  TOnHang onHang_;
  std::string program_;
  std::string error_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = -1;
  rusage usage_{};
};

}  // namespace stb::testing
