// A store of box records: the database a run writes each record to, and
// reads them back from. The SQLite file is one (SqliteStore.h); a database
// server for a line of stations is another, behind the same interface.
//
// A store's calls may wait for a disk or a network: they are made from the
// records' own thread (RecordWriter.h) or from a command that reads the
// records, never from a box's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BoxRecord.h"

namespace stb::app {

// A store that could not be opened or that refused a record; what() is one
// line for the operator, naming the store.
class ERecordStore : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Which records a query wants; every criterion given must hold. Times are
// milliseconds since 1970 (UTC), of the record's start.
struct TRecordFilter {
  std::optional<std::int64_t> SinceMs;  // started at or after
  std::optional<std::int64_t> UntilMs;  // started before
  std::optional<std::string> Station;   // the machine the box was upgraded on (the record's host)
  std::optional<std::string> Port;
  std::optional<TBoxResult> Result;
  std::optional<std::string> Model;  // the box's model version as its identity gave it, "1.0"
  // The image sent: its path as recorded, or its SHA-256 in hexadecimal
  // (either case).
  std::optional<std::string> Image;
  std::size_t Limit = 0;  // at most this many, the newest; 0: all
};

class IRecordStore {
 public:
  virtual ~IRecordStore() = default;
  // Keeps `record`. A record whose id the store already holds is kept once:
  // putting it again (a resend after a lost answer) changes nothing. Throws
  // ERecordStore when the store cannot keep it.
  virtual void Put(const TBoxRecord& record) = 0;
  // The records `filter` wants, newest start first. Throws ERecordStore.
  virtual std::vector<TBoxRecord> Query(const TRecordFilter& filter) = 0;
  // The store in words for the operator (its file, or its server with the
  // password masked).
  virtual std::string Name() const = 0;
};

// The record's start (or end) as milliseconds since 1970 (UTC), from the
// ISO 8601 text with its offset the record keeps; nothing when the text is
// not one.
std::optional<std::int64_t> IsoToUnixMs(const std::string& iso);

}  // namespace stb::app
