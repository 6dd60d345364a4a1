// The log's own texts: the directions, the detail of a failed check, and the
// line that decides each end. The log is rendered with them (LogRenderer.h);
// whatever else tells how an upgrade ended (the record of a box, a station's
// tile) quotes the same line from here, never from the log.
#pragma once

#include <string>

#include "UpgradeEvents.h"

namespace stb::app {

// The thirteen lines of directions written at start-up.
extern const char* const kDirections[13];

// "( a / b )": the byte counter and the detail lines of a failed check.
std::string Detail(long a, long b);

// The last line a refusal logs for `check`.
const char* RefusalLine(upgrade::TCheck check);
// The line the log ends with for what the upgrade saw; "" for Nothing.
const char* SeenLine(upgrade::TSeen seen);
// The line that decided `end`: the success line, the refusal's, what the
// upgrade saw, or the error's text; "" for a stop.
std::string DecidingLine(const upgrade::TUpgradeEnd& end);

// The line that says the port `device` went away under an upgrade.
std::string PortLostLine(const std::string& device);

// An error as one line of the log or the console: a file's or a box's
// bytes as printable characters (EscapedLine), and for an error that names
// only the system's number ("I/O error 5.") the system's reason beside it.
std::string ErrorLine(const std::string& text, int systemError);

// The success lines after "7. Update Version Table OK".
inline constexpr char kSuccessRule[] = "---------------------------------------";
inline constexpr char kSuccessLine[] = "Congraturation! Software Upgrade OK !!!";
inline constexpr char kSwitchOffLine[] = "Please Turn Off and On the STB set !!!";

}  // namespace stb::app
