// What an interrupt knows of the upgrade, and the lines it leaves. Everything
// here may run inside a signal handler: no allocation, no stdio, no locks;
// only lock-free atomics, fixed buffers and write().
#include "Interrupts.h"

#include <atomic>
#include <cstring>
#include <cstdint>

#include "LocalTime.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <time.h>
#include <unistd.h>
#endif

namespace stb::app {

namespace {

constexpr std::size_t kWhereSize = 192;

// Two copies of "where": the one in use is never written, so a handler that
// interrupts an update reads a whole text.
char gWhere[2][kWhereSize] = {"before a mode was chosen", "before a mode was chosen"};
std::atomic<int> gWhereIndex{0};
std::atomic<long> gSent{0};
std::atomic<long> gTotal{0};
std::atomic<bool> gTaking{false};
std::atomic<bool> gImageStarted{false};
TInterruptRule gRule;
std::atomic<int> gRecordFd{-1};
std::atomic<long> gUtcOffset{0};  // local time minus UTC, in seconds
static_assert(std::atomic<long>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);

// Appends to a fixed buffer, always leaving it terminated.
struct TText {
  char* out;
  std::size_t size;
  std::size_t length = 0;

  void Add(const char* s) {
    while (*s && length + 1 < size) out[length++] = *s++;
    out[length] = '\0';
  }
  void AddNumber(long n, int width = 0) {
    char digits[24];
    int k = 0;
    const bool negative = n < 0;
    unsigned long v = negative ? 0UL - static_cast<unsigned long>(n) : static_cast<unsigned long>(n);
    do {
      digits[k++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v > 0 && k < 20);
    while (k < width) digits[k++] = '0';
    if (negative) digits[k++] = '-';
    char forward[24];
    for (int i = 0; i < k; ++i) forward[i] = digits[k - 1 - i];
    forward[k] = '\0';
    Add(forward);
  }
};

void WriteAll(int fd, const char* text, std::size_t n) {
  while (n > 0) {
#ifdef _WIN32
    const int w = _write(fd, text, static_cast<unsigned>(n));
#else
    const ssize_t w = ::write(fd, text, n);
#endif
    if (w <= 0) return;
    text += w;
    n -= static_cast<std::size_t>(w);
  }
}

// "YYYY-MM-DD HH:MM:SS.mmm ", as the log file stamps its lines.
void AddStamp(TText& t) {
#ifdef _WIN32
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  const auto unixMs = static_cast<std::int64_t>(ticks / 10000ULL) - 11644473600000LL;
#else
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const std::int64_t unixMs = static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
#endif
  char stamp[kLogStampSize];
  FormatLogStamp(stamp, unixMs, gUtcOffset.load());
  t.Add(stamp);
  t.Add(" ");
}

}  // namespace

void SetStopRecord(int fd) {
  gUtcOffset = UtcOffsetAt(UnixMsNow());
  gRecordFd = fd;
}

void NoteStep(const std::string& title) {
  const int next = 1 - gWhereIndex.load();
  TText t{gWhere[next], kWhereSize};
  t.Add("after \"");
  t.Add(title.c_str());
  t.Add("\"");
  gWhereIndex = next;
}

void NoteCounter(long sent, long total) {
  gSent = sent;
  gTotal = total;
}

void SetBoxTakingImage(bool taking) {
  if (taking) gImageStarted = true;
  gTaking = taking;
  gRule.Forget();
}

TInterruptRule::TVerdict TakeInterrupt() { return gRule.Take(gTaking.load(), MonotonicMs()); }

bool HangUpEnds() { return !gImageStarted.load(); }

bool BoxTakingImage() { return gTaking.load(); }

std::size_t StopLineOf(char* out, std::size_t size, const char* cause, const TStopPoint& point) {
  TText t{out, size};
  t.Add("stopped by ");
  t.Add(cause);
  t.Add(" ");
  t.Add(point.Where);
  if (point.ImageStarted) {
    t.Add(", ");
    t.AddNumber(point.Sent);
    t.Add(" of ");
    t.AddNumber(point.Total);
    t.Add(" bytes sent");
    if (point.Taking) t.Add("; the box may be left unusable");
  } else {
    t.Add("; nothing of the image was sent");
  }
  return t.length;
}

std::size_t StopLine(char* out, std::size_t size, const char* cause) {
  TText t{out, size};
  t.Add("stb-downloader: ");
  TStopPoint point;
  point.Where = gWhere[gWhereIndex.load()];
  point.ImageStarted = gImageStarted.load();
  point.Sent = gSent.load();
  point.Total = gTotal.load();
  point.Taking = gTaking.load();
  return t.length + StopLineOf(out + t.length, size - t.length, cause, point);
}

void WriteStopLines(const char* cause, bool toConsole) {
  char line[512];
  std::size_t n = StopLine(line, sizeof line - 1, cause);
  line[n++] = '\n';
  if (toConsole) WriteAll(2, line, n);
  WriteStampedRecord(line, n);
}

void WriteStampedRecord(const char* line, std::size_t n) {
  const int fd = gRecordFd.load();
  if (fd < 0) return;
  char stamp[64];
  TText t{stamp, sizeof stamp};
  AddStamp(t);
  WriteAll(fd, stamp, t.length);
  WriteAll(fd, line, n);
}

}  // namespace stb::app
