// Interrupts while a box is being upgraded.
//
// A closed pipe (SIGPIPE) never ends the program: output that cannot be
// written is dropped and the log file goes on. An interrupt (Ctrl+C, a
// termination request, Ctrl+\) ends it at once, letting go of the port and
// putting the terminal back, except while the box is taking the image:
// stopping then can leave the box unusable, so the first interrupt only
// warns and a second one ends it anyway (echoes of the first do not count:
// InterruptRule.h). A terminal that hangs up (SIGHUP, a closed console)
// before the go message ends the run as an interrupt would: nobody is left
// to watch, and an orphan would hold the port and later upgrade a box
// unattended. From the go message on it is ignored, since the box is then
// better served by finishing. Every such end leaves a line saying where the
// upgrade stood, on stderr (unless it takes no text: a stopped terminal
// never holds up the end) and in the log file. The warning goes through the
// console's writer, never written by the handler itself. The terminal and
// the writer are the front end's, reached through ConsoleSeam.h.
#pragma once

#include <cstddef>
#include <string>

#include "InterruptRule.h"
#include "SerialPlatform.h"

namespace stb::app {

// Catches the interrupts and SIGHUP and ignores SIGPIPE (POSIX); takes the
// console's control events (Windows).
void InstallInterruptHandler();
// No signal is taken on the calling thread (a writer's, a report's): the
// interrupts are the upgrade's (or the station's) main thread's to take.
void BlockSignalsOfThisThread();
// The port to close on the way out; kNoHandle when there is none.
void SetPortToRelease(serial::THandle port);
// The log file's descriptor, to which the stop line goes too; -1: none.
void SetStopRecord(int fd);
// Where the upgrade stands: the numbered line of the log it last reached,
// and how much of the image has gone.
void NoteStep(const std::string& title);
void NoteCounter(long sent, long total);
// From the go message to the end of the upgrade.
void SetBoxTakingImage(bool taking);

// --- Shared by the platform handlers; safe to call from a signal handler ---

// Counts the interrupt: End, Warn (the first one while the box takes the
// image) or Repeated (an echo of the one that warned).
TInterruptRule::TVerdict TakeInterrupt();
// True while a hang-up ends the run: before the go message.
bool HangUpEnds();
// From the go message to the end of the upgrade.
bool BoxTakingImage();
// The warning the first interrupt during the image gives, whole lines.
inline constexpr char kStillUpgradingWarning[] =
    "stb-downloader: the box is taking the image; stopping now can leave it unusable.\n"
    "stb-downloader: the upgrade goes on. Interrupt once more to stop anyway.\n";
// Writes the stop line for `cause` ("SIGINT", "Ctrl+C") to stderr (unless
// `toConsole` is false: it would not take it) and, with its time stamp, to
// the log file.
void WriteStopLines(const char* cause, bool toConsole = true);
// A whole line (`n` bytes, line end included) to the log file, after its
// time stamp; nothing when there is no log file.
void WriteStampedRecord(const char* line, std::size_t n);
// The stop line without its line end, into `out`; its length.
std::size_t StopLine(char* out, std::size_t size, const char* cause);

// Where an upgrade stood when an interrupt ended it: the one way every stop
// line says so, in a signal handler or on a station's port.
struct TStopPoint {
  const char* Where = "";     // `after "3. Start DownLoad"`, `before a mode was chosen`
  bool ImageStarted = false;  // the go message went out
  long Sent = 0;
  long Total = 0;
  bool Taking = false;  // the box was still taking the image
};
// `stopped by SIGINT after "3. Start DownLoad", 27648 of 60416 bytes sent;
// the box may be left unusable`, into `out`, which it always ends; its
// length. Safe in a signal handler.
std::size_t StopLineOf(char* out, std::size_t size, const char* cause, const TStopPoint& point);

}  // namespace stb::app
