#include "ReportFile.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "AppendFile.h"
#include "Interrupts.h"

namespace stb::app {

struct TReportFile::TState {
  std::mutex Mutex;
  std::condition_variable Wake;     // a line was queued, or the seal came
  std::condition_variable Drained;  // the queue emptied
  std::deque<std::string> Queue;    // under Mutex
  bool Writing = false;             // a line is out of the queue, not yet written
  bool Sealed = false;
  bool Told = false;       // the first failure was said on stderr
  bool Abandoned = false;  // the seal stopped waiting for the writer
  long Lost = 0;
  std::string LostWhy;
  int Fd = -1;  // changed under Mutex, by the writer alone once adopted
  std::string Path;
  // The path named the file when it was opened: a file removed, renamed or
  // replaced while the report is written is made again there.
  bool Watch = false;
  TTell Tell;
};

namespace {

// `line`, a JSON object and its line end, with one more field at its end:
// what a reader needs to know of this file, the record's own fields left as
// they are.
std::string WithField(const std::string& line, const std::string& name, const std::string& value) {
  if (line.size() < 2 || line.compare(line.size() - 2, 2, "}\n") != 0) return line;
  const bool empty = line.size() == 3 && line[0] == '{';
  return line.substr(0, line.size() - 2) + (empty ? "" : ",") + "\"" + name + "\":\"" + value + "\"}\n";
}

}  // namespace

TReportFile::TReportFile(TTell tell) : state_(std::make_shared<TState>()) { state_->Tell = std::move(tell); }

TReportFile::~TReportFile() { Seal(std::chrono::seconds(5)); }

bool TReportFile::Open(const std::string& path, std::string& why) {
  path_ = path;
  state_->Path = path;
  if (path.empty()) return true;
  const int fd = OpenReportFile(path, why);
  if (fd < 0) return false;
  Adopt(fd, path);
  return true;
}

void TReportFile::Adopt(int fd, const std::string& path) {
  path_ = path;
  state_->Path = path;
  state_->Fd = fd;
  // Only a file the path names is looked after: a pipe a test hands over
  // has no name to make again.
  state_->Watch = StillNamed(fd, path);
  writer_ = std::thread(Write, state_);
}

bool TReportFile::Append(const std::string& line) {
  {
    const std::lock_guard lock(state_->Mutex);
    if (state_->Sealed) return false;
    if (state_->Fd < 0) return true;
    state_->Queue.push_back(line);
  }
  state_->Wake.notify_one();
  return true;
}

void TReportFile::Write(const std::shared_ptr<TState>& state) {
  // Signals are for whoever opened the report, never for this thread.
  BlockSignalsOfThisThread();
  std::unique_lock lock(state->Mutex);
  for (;;) {
    state->Wake.wait(lock, [&] { return !state->Queue.empty() || state->Sealed; });
    if (state->Queue.empty()) break;
    const std::string line = std::move(state->Queue.front());
    state->Queue.pop_front();
    state->Writing = true;
    lock.unlock();

    // A report removed, renamed or replaced while the boxes go on would
    // take their lines to where no one reads them: the file is made again
    // at its path, and its first line says why the earlier ones are not in
    // it. Looked at before each line, so at most one line can slip past.
    std::string out = line;
    std::vector<std::string> told;  // for the operator, once the line is done
    std::string missing;            // why the line has no file to go to
    if (std::string how; state->Watch && !StillNamed(state->Fd, state->Path, &how)) {
      std::string why;
      const int fd = OpenReportFile(state->Path, why);
      if (fd >= 0) {
        lock.lock();
        CloseFile(std::exchange(state->Fd, fd));
        lock.unlock();
        out = WithField(line, "report_made_again", "the earlier report file was " + how);
        told.push_back("stb-downloader: the report " + state->Path + " was " + how +
                       "; it is made again there and takes the lines from here on");
      } else {
        missing = "the file was " + how + " and cannot be made again: " + why;
      }
    }

    // Only this thread writes, so a line taken back cuts no one else's.
    long n = -1;
    int error = 0;
    if (missing.empty()) {
      const std::int64_t before = FileSize(state->Fd);
      n = WriteOnce(state->Fd, out.data(), out.size());
      error = n < 0 ? errno : ENOSPC;
      // Half a line would make the whole file unreadable as JSON Lines.
      if (n != static_cast<long>(out.size()) && n > 0 && before >= 0) {
        const bool cut = CutFile(state->Fd, before);
        (void)cut;  // nothing more to do if even that fails
      }
    }
    const bool whole = n == static_cast<long>(out.size());
    const std::string why = missing.empty() ? std::string(std::strerror(error)) : missing;
    lock.lock();
    state->Writing = false;
    if (!whole) {
      ++state->Lost;
      state->LostWhy = why;
      if (!state->Told) told.push_back("stb-downloader: cannot write the report " + state->Path + ": " + why);
      state->Told = true;
    }
    if (state->Queue.empty()) state->Drained.notify_all();
    if (!told.empty() && state->Tell) {
      lock.unlock();
      // Whoever opened the report says it its own way, never waiting on
      // whatever the operator reads.
      for (const auto& text : told) state->Tell(text);
      lock.lock();
    }
  }
  CloseFile(state->Fd);
  state->Drained.notify_all();
}

long TReportFile::Seal(std::chrono::milliseconds bound) {
  std::unique_lock lock(state_->Mutex);
  state_->Sealed = true;
  state_->Wake.notify_all();
  // Once given up on, the writer is not waited for again.
  const bool drained = !state_->Abandoned && state_->Drained.wait_for(lock, bound, [&] {
    return state_->Queue.empty() && !state_->Writing;
  });
  long lost = state_->Lost;
  if (!drained && !state_->Abandoned) {
    state_->Abandoned = true;
    // Left to the writer, which may never come back: not written, as far
    // as anyone can tell now.
    lost += static_cast<long>(state_->Queue.size()) + (state_->Writing ? 1 : 0);
    state_->Lost = lost;
    if (state_->LostWhy.empty()) state_->LostWhy = "the file takes no more writes";
    state_->Queue.clear();
  }
  lock.unlock();
  if (writer_.joinable()) {
    if (drained) {
      writer_.join();
    } else {
      writer_.detach();
    }
  }
  return lost;
}

long TReportFile::Lost() const {
  const std::lock_guard lock(state_->Mutex);
  return state_->Lost;
}

std::string TReportFile::LostWhy() const {
  const std::lock_guard lock(state_->Mutex);
  return state_->LostWhy;
}

}  // namespace stb::app
