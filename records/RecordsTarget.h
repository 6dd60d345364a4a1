// Where the records go, as the operator names it with --records: nowhere,
// an SQLite file (this user's own by default), or a database server that a
// line of stations shares.
#pragma once

#include <optional>
#include <string>

namespace stb::app {

enum class TRecordsKind {
  None,        // "none": the run keeps no records
  Sqlite,      // "sqlite:PATH", or the per-user file when nothing is given
  PostgreSql,  // "postgresql://...", "postgres://..." or "host=... dbname=..."
  Odbc,        // "odbc:..." (a connection string for the ODBC driver manager)
};

struct TRecordsTarget {
  TRecordsKind Kind = TRecordsKind::None;
  // The SQLite file's path; the connection text as given for a server
  // (the "odbc:" taken off); empty for None.
  std::string Where;
};

// Reads a --records value. Empty means this user's SQLite file
// (DefaultRecordsPath). Nothing, with `error` for the operator (passwords
// masked), when the value names no kind of target this program writes to.
std::optional<TRecordsTarget> ParseRecordsTarget(const std::string& value, std::string& error);

// This user's records file: stb-downloader/records.sqlite3 in
// $XDG_STATE_HOME (or ~/.local/state) on Linux, in %LOCALAPPDATA% on
// Windows. Empty when the system names no such folder.
std::string DefaultRecordsPath();

// The target as it may be shown or logged: every password in it (a URI's
// user:password@, a password=... pair, an ODBC Pwd=...;) replaced by ***.
std::string MaskedForDisplay(const std::string& target);

// The target in words for the operator: "none", the file's path, or the
// masked connection text.
std::string DisplayText(const TRecordsTarget& target);

}  // namespace stb::app
