// What an interrupt knows of the upgrade, and the lines it leaves. Everything
// here may run inside a signal handler: no allocation, no stdio, no locks;
// only lock-free atomics, fixed buffers and write().
#include "Interrupts.h"

#include <atomic>
#include <cstring>
#include <ctime>

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

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<long>(yoe) + era * 400 + (m <= 2);
}

// The offset of local time now; taken outside any handler.
long LocalOffsetNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  const long localSeconds = DaysFromCivil(local.tm_year + 1900L, static_cast<unsigned>(local.tm_mon + 1),
                                          static_cast<unsigned>(local.tm_mday)) *
                                86400L +
                            local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
  return localSeconds - static_cast<long>(now);
}

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
  long seconds = 0;
  long ms = 0;
#ifdef _WIN32
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  seconds = static_cast<long>(ticks / 10000000ULL - 11644473600ULL);
  ms = static_cast<long>(ticks / 10000ULL % 1000ULL);
#else
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  seconds = static_cast<long>(ts.tv_sec);
  ms = ts.tv_nsec / 1000000;
#endif
  seconds += gUtcOffset.load();
  long y = 0;
  unsigned m = 0;
  unsigned d = 0;
  CivilFromDays(seconds / 86400 - (seconds % 86400 < 0), y, m, d);
  const long of = ((seconds % 86400) + 86400) % 86400;
  t.AddNumber(y, 4);
  t.Add("-");
  t.AddNumber(m, 2);
  t.Add("-");
  t.AddNumber(d, 2);
  t.Add(" ");
  t.AddNumber(of / 3600, 2);
  t.Add(":");
  t.AddNumber(of / 60 % 60, 2);
  t.Add(":");
  t.AddNumber(of % 60, 2);
  t.Add(".");
  t.AddNumber(ms, 3);
  t.Add(" ");
}

}  // namespace

void SetStopRecord(int fd) {
  gUtcOffset = LocalOffsetNow();
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

std::size_t StopLine(char* out, std::size_t size, const char* cause) {
  TText t{out, size};
  t.Add("stb-downloader: stopped by ");
  t.Add(cause);
  t.Add(" ");
  t.Add(gWhere[gWhereIndex.load()]);
  if (gImageStarted.load()) {
    t.Add(", ");
    t.AddNumber(gSent.load());
    t.Add(" of ");
    t.AddNumber(gTotal.load());
    t.Add(" bytes sent");
    if (gTaking.load()) t.Add("; the box may be left unusable");
  } else {
    t.Add("; nothing of the image was sent");
  }
  return t.length;
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
