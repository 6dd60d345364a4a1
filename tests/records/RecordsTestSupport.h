// What the records tests share: a folder of their own, and records with
// every field filled.
#pragma once

#include <filesystem>
#include <string>

#include "BoxRecord.h"

namespace stb::testing {

// A fresh folder under the system's temporary one, removed with its files.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A record as an upgraded box leaves it: identity, what was written, the
// image; `n` makes its id, port and times its own (n seconds apart).
app::TBoxRecord FullRecord(int n);
// A record of a box that never answered: none of the optional parts.
app::TBoxRecord BareRecord(int n);

// Puts `count` records (ids "<prefix>-<i>") into the SQLite file at `path`
// through a record writer; the child process of the concurrency test runs
// this. False, with `why`, when not all were stored.
bool WriteRecords(const std::string& path, const std::string& prefix, int count, std::string& why);

// Writes records into FOLDER/records.sqlite3 through a record writer
// until the disk under it is full: true when the writer counted the ones
// the store refused as lost, with SQLite's reason, and every one it
// stored can be read back. `why` says what went otherwise.
bool FillDisk(const std::string& folder, std::string& why);

}  // namespace stb::testing
