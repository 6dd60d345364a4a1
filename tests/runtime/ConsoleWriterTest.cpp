// The console's writer against a pipe that is full until the test reads it:
// nothing the caller does waits, the lines kept are the latest, the lines
// dropped are owned up to in their place, and only the last redraw of the
// live part is drawn.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "ConsoleWriter.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;

// A pipe filled to the brim through a description of its own (the writer's
// stays blocking), read back by the test.
struct TFullPipe {
  int fds[2] = {-1, -1};
  std::size_t filler = 0;
  TFullPipe() {
    EXPECT_EQ(::pipe(fds), 0);
    const int fill = ::open(("/proc/self/fd/" + std::to_string(fds[1])).c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_GE(fill, 0);
    const std::string block(1024, '.');
    for (ssize_t n; (n = ::write(fill, block.data(), block.size())) > 0;)
      filler += static_cast<std::size_t>(n);
    ::close(fill);
  }
  ~TFullPipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  // Everything there is, until nothing more comes for a while.
  std::string ReadAll() {
    std::string text;
    for (;;) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 300) <= 0) break;
      char buffer[8192];
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t skip = std::min(std::exchange(filler, 0), text.size());
    return text.substr(skip);
  }
};

TEST(ConsoleWriter, WhileTheConsoleTakesNothingTheLatestLinesAreKeptAndTheRestCounted) {
  TFullPipe pipe;
  TConsoleWriter writer(pipe.fds[1], pipe.fds[1], 5);
  const auto start = std::chrono::steady_clock::now();
  writer.Write(TConsoleStream::Out, "first\n");
  std::this_thread::sleep_for(300ms);  // the writer is in its write now
  writer.Live(TConsoleStream::Err, "\rlive 1", "\r\033[K", true);
  for (int i = 0; i < 20; ++i) {
    writer.Write(TConsoleStream::Out, "line " + std::to_string(i) + "\n");
    writer.Live(TConsoleStream::Err, "\rlive " + std::to_string(i), "\r\033[K", true);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(writer.Drain(200ms));
  EXPECT_EQ(writer.DroppedLines(), 15u);

  const std::string shown = pipe.ReadAll();
  EXPECT_TRUE(writer.Drain(1s));
  EXPECT_EQ(shown,
            "first\n"
            "stb-downloader: 15 line(s) for the console were dropped while it did not take them\n"
            "line 15\nline 16\nline 17\nline 18\nline 19\n"
            "\rlive 19");
  // Flowing again: what follows is written as it comes, the live part
  // taken off before a line.
  writer.Write(TConsoleStream::Err, "[message] done\n");
  EXPECT_TRUE(writer.Drain(1s));
  EXPECT_EQ(pipe.ReadAll(), "\r\033[K[message] done\n");
  EXPECT_EQ(writer.DroppedLines(), 15u);
}

TEST(ConsoleWriter, ALiveBlockIsErasedBeforeItIsDrawnAgainUnlessItDrawsInPlace) {
  TFullPipe pipe;
  pipe.ReadAll();  // empty again
  TConsoleWriter writer(pipe.fds[1], pipe.fds[1]);
  writer.Live(TConsoleStream::Out, "a\nb\n", "\033[2F\033[J", false);
  ASSERT_TRUE(writer.Drain(1s));
  writer.Live(TConsoleStream::Out, "c\nd\n", "\033[2F\033[J", false);
  ASSERT_TRUE(writer.Drain(1s));
  writer.ClearLive();
  writer.ClearLive();  // nothing stands: nothing to take off
  ASSERT_TRUE(writer.Drain(1s));
  EXPECT_EQ(pipe.ReadAll(), "a\nb\n\033[2F\033[Jc\nd\n\033[2F\033[J");
}

}  // namespace
}  // namespace stb::app
