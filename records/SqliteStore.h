// The records in an SQLite file: this user's own by default, shared by every
// run on the machine (each writes in turn; WAL lets a reader go on
// meanwhile). The file is made, with its folder, when it is not there, and
// its tables are brought up to this program's schema in one transaction.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "RecordStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace stb::app {

class TSqliteStore : public IRecordStore {
 public:
  // The schema this program writes; a file of a newer one is refused, one
  // of an older one brought up to it.
  static constexpr int kSchemaVersion = 1;

  // Opens (or makes) the records file at `path`. Throws ERecordStore: a
  // file that is not SQLite, a schema newer than this program knows, a
  // folder that cannot be made. It may wait for the disk and for another
  // run's write (up to the busy time-out): open it before the first box.
  explicit TSqliteStore(std::string path);
  ~TSqliteStore() override;
  TSqliteStore(const TSqliteStore&) = delete;
  TSqliteStore& operator=(const TSqliteStore&) = delete;

  void Put(const TBoxRecord& record) override;
  std::vector<TBoxRecord> Query(const TRecordFilter& filter) override;
  std::string Name() const override { return path_; }

  // The file's schema version as it is now.
  int SchemaVersion();

 private:
  [[noreturn]] void Fail(const std::string& what, int rc) const;
  void Exec(const char* sql, const std::string& what);
  int ReadUserVersion();
  void Migrate();

  const std::string path_;
  std::mutex mutex_;  // one statement at a time on the connection
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
};

}  // namespace stb::app
