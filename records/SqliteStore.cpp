#include "SqliteStore.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace stb::app {

namespace {

// How long a write waits for another run's write to end, and how many
// times it tries again after that: a station writes about one record a
// second, so a write that waits this long has met a stuck writer.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kBusyRetries = 2;

// Each schema from the one before, in order: kMigrations[v] brings a file
// of schema v to v + 1. A new schema only ever adds a step at the end.
constexpr std::array<const char*, TSqliteStore::kSchemaVersion> kMigrations = {
    // 0 -> 1: the records themselves. One column for each field a query or
    // a report sorts by; `json` keeps the whole record as the report line
    // has it, so a field added later is never lost to an older table.
    R"sql(
CREATE TABLE box_records (
  id TEXT PRIMARY KEY NOT NULL,
  station TEXT,
  host TEXT,
  port TEXT,
  start TEXT,
  "end" TEXT,
  start_ms INTEGER,
  end_ms INTEGER,
  duration_s REAL,
  tool_version TEXT,
  mode INTEGER,
  mode_name TEXT,
  include_file TEXT,
  result TEXT NOT NULL,
  reason TEXT,
  step INTEGER,
  decided_by TEXT,
  box_oui TEXT,
  box_model TEXT,
  box_hardware TEXT,
  box_boot_loader TEXT,
  box_native TEXT,
  box_application_1 TEXT,
  box_application_2 TEXT,
  box_date TEXT,
  box_record TEXT,
  box_address INTEGER,
  written_model TEXT,
  written_hardware TEXT,
  written_boot_loader TEXT,
  written_native TEXT,
  written_application_1 TEXT,
  written_application_2 TEXT,
  written_version_slot INTEGER,
  written_date TEXT,
  written_blocks INTEGER,
  written_address INTEGER,
  image_path TEXT,
  image_bytes INTEGER,
  image_blocks INTEGER,
  image_sha256 TEXT,
  sent INTEGER,
  total INTEGER,
  resends INTEGER,
  late_answers INTEGER,
  json TEXT NOT NULL
);
CREATE INDEX box_records_by_start ON box_records (start_ms);
CREATE INDEX box_records_by_station ON box_records (station, start_ms);
CREATE INDEX box_records_by_image ON box_records (image_sha256);
)sql",
};

// The columns in the order Put binds them and a query reads them.
constexpr const char* kColumns =
    "id, station, host, port, start, \"end\", start_ms, end_ms, duration_s, tool_version, mode, mode_name, "
    "include_file, result, reason, step, decided_by, box_oui, box_model, box_hardware, box_boot_loader, "
    "box_native, box_application_1, box_application_2, box_date, box_record, box_address, written_model, "
    "written_hardware, written_boot_loader, written_native, written_application_1, written_application_2, "
    "written_version_slot, written_date, written_blocks, written_address, image_path, image_bytes, "
    "image_blocks, image_sha256, sent, total, resends, late_answers, json";
constexpr int kColumnCount = 46;

bool IsBusy(int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; }

std::string VersionText(const upgrade::TVersionPair& v) {
  return std::to_string(v.Major) + "." + std::to_string(v.Minor);
}

upgrade::TVersionPair VersionFrom(const std::string& text) {
  unsigned major = 0, minor = 0;
  std::sscanf(text.c_str(), "%u.%u", &major, &minor);
  return {static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)};
}

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  std::string out;
  char h[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(h, sizeof h, "%02X", bytes[i]);
    out += h;
  }
  return out;
}

template <std::size_t N>
void FromHex(const std::string& text, std::array<std::uint8_t, N>& out) {
  for (std::size_t i = 0; i < N && 2 * i + 1 < text.size(); ++i) {
    unsigned v = 0;
    std::sscanf(text.substr(2 * i, 2).c_str(), "%2x", &v);
    out[i] = static_cast<std::uint8_t>(v);
  }
}

std::optional<TBoxResult> ResultFromName(const std::string& name) {
  for (TBoxResult r :
       {TBoxResult::Upgraded, TBoxResult::Refused, TBoxResult::Failed, TBoxResult::NoResponse}) {
    if (name == ResultName(r)) return r;
  }
  return std::nullopt;
}

// Binds the parameters of a statement one after the other; texts as the
// bytes they are (SQLite keeps them so, UTF-8 or not).
class TBinder {
 public:
  explicit TBinder(sqlite3_stmt* s) : s_(s) {}
  void Text(const std::string& v) {
    Check(sqlite3_bind_text(s_, ++i_, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
  }
  void Int(std::int64_t v) { Check(sqlite3_bind_int64(s_, ++i_, v)); }
  void Real(double v) { Check(sqlite3_bind_double(s_, ++i_, v)); }
  void Null() { Check(sqlite3_bind_null(s_, ++i_)); }
  template <class T>
  void OptInt(const std::optional<T>& v) {
    v ? Int(static_cast<std::int64_t>(*v)) : Null();
  }
  int Count() const { return i_; }
  int Rc() const { return rc_; }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK && rc_ == SQLITE_OK) rc_ = rc;
  }
  sqlite3_stmt* s_;
  int i_ = 0;
  int rc_ = SQLITE_OK;
};

// Reads a row's columns one after the other.
class TReader {
 public:
  explicit TReader(sqlite3_stmt* s) : s_(s) {}
  bool IsNull() const { return sqlite3_column_type(s_, i_) == SQLITE_NULL; }
  std::string Text() {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, i_));
    const int n = sqlite3_column_bytes(s_, i_);
    ++i_;
    return p != nullptr ? std::string(p, static_cast<std::size_t>(n)) : std::string();
  }
  std::optional<std::string> OptText() {
    if (IsNull()) return Skip<std::string>();
    return Text();
  }
  std::int64_t Int() { return sqlite3_column_int64(s_, i_++); }
  double Real() { return sqlite3_column_double(s_, i_++); }
  template <class T>
  std::optional<T> Skip() {
    ++i_;
    return std::nullopt;
  }

 private:
  sqlite3_stmt* s_;
  int i_ = 0;
};

// A statement finalized however the scope is left.
struct TStatement {
  sqlite3_stmt* s = nullptr;
  ~TStatement() { sqlite3_finalize(s); }
};

}  // namespace

TSqliteStore::TSqliteStore(std::string path) : path_(std::move(path)) {
  // The folder first: the per-user one is not there on a first run.
  const std::filesystem::path file(path_);
  if (file.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) throw ERecordStore(path_ + ": cannot make the records folder: " + ec.message());
  }
  const int rc = sqlite3_open_v2(path_.c_str(), &db_,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw ERecordStore(path_ + ": cannot open the records file: " + why);
  }
  try {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // The first read of the file: a file of something else fails here.
    Exec("PRAGMA journal_mode=WAL", "cannot open the records file");
    // With WAL, NORMAL loses at most the last records to a power cut, never
    // the file; FULL made writers of a busy line starve one another.
    Exec("PRAGMA synchronous=NORMAL", "cannot open the records file");
    Migrate();
    const std::string sql = std::string("INSERT INTO box_records (") + kColumns + ") VALUES (" + [] {
      std::string q;
      for (int i = 0; i < kColumnCount; ++i) q += i == 0 ? "?" : ", ?";
      return q;
    }() + ") ON CONFLICT (id) DO NOTHING";
    if (const int prc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &insert_, nullptr); prc != SQLITE_OK) {
      Fail("cannot write records to it", prc);
    }
  } catch (...) {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
    throw;
  }
}

TSqliteStore::~TSqliteStore() {
  sqlite3_finalize(insert_);
  sqlite3_close(db_);
}

void TSqliteStore::Fail(const std::string& what, int rc) const {
  if ((rc & 0xFF) == SQLITE_NOTADB)
    throw ERecordStore(path_ + " is not a records file: " + sqlite3_errstr(rc));
  const char* message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  throw ERecordStore(path_ + ": " + what + ": " + message);
}

void TSqliteStore::Exec(const char* sql, const std::string& what) {
  int rc = SQLITE_OK;
  for (int attempt = 0; attempt <= kBusyRetries; ++attempt) {
    rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (!IsBusy(rc)) break;
  }
  if (rc != SQLITE_OK) Fail(what, rc);
}

int TSqliteStore::ReadUserVersion() {
  TStatement st;
  int rc = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &st.s, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(st.s);
  if (rc != SQLITE_ROW) Fail("cannot read its schema version", rc);
  return sqlite3_column_int(st.s, 0);
}

int TSqliteStore::SchemaVersion() {
  std::lock_guard lock(mutex_);
  return ReadUserVersion();
}

void TSqliteStore::Migrate() {
  const auto refuseNewer = [this](int found) {
    throw ERecordStore(path_ + ": the records file has schema " + std::to_string(found) +
                       ", newer than this program's " + std::to_string(kSchemaVersion) +
                       ": use a newer stb-downloader, or another file (--records sqlite:PATH)");
  };
  int found = ReadUserVersion();
  if (found > kSchemaVersion) refuseNewer(found);
  if (found == kSchemaVersion) return;
  // Another run may be bringing the same file up right now: the write lock
  // first, then the version read again under it.
  Exec("BEGIN IMMEDIATE", "cannot bring the records file up to date");
  try {
    found = ReadUserVersion();
    if (found > kSchemaVersion) refuseNewer(found);
    for (int v = found; v < kSchemaVersion; ++v) {
      Exec(kMigrations[static_cast<std::size_t>(v)],
           "cannot bring the records file from schema " + std::to_string(v) + " to " + std::to_string(v + 1));
    }
    const std::string set = "PRAGMA user_version = " + std::to_string(kSchemaVersion);
    Exec(set.c_str(), "cannot bring the records file up to date");
    Exec("COMMIT", "cannot bring the records file up to date");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void TSqliteStore::Put(const TBoxRecord& r) {
  std::lock_guard lock(mutex_);
  sqlite3_reset(insert_);
  sqlite3_clear_bindings(insert_);
  TBinder b(insert_);
  b.Text(r.Id);
  b.Text(r.Host);  // the station: the machine it runs on, until a station has a name of its own
  b.Text(r.Host);
  b.Text(r.Port);
  b.Text(r.Start);
  b.Text(r.End);
  b.OptInt(IsoToUnixMs(r.Start));
  b.OptInt(IsoToUnixMs(r.End));
  b.Real(r.DurationSeconds);
  b.Text(r.ToolVersion);
  b.Int(r.Mode);
  b.Text(r.ModeName);
  b.Text(r.IncludeFile);
  b.Text(ResultName(r.Result));
  r.Reason ? b.Text(*r.Reason) : b.Null();
  b.Int(r.Step);
  b.Text(r.DecidedBy);
  if (r.Identity) {
    const auto& id = *r.Identity;
    b.Text(Hex(id.Oui.data(), id.Oui.size()));
    for (const auto& v :
         {id.Model, id.Hardware, id.BootLoader, id.Native, id.Application1, id.Application2}) {
      b.Text(VersionText(v));
    }
    b.Text(id.Date);
    b.Text(Hex(id.Record.data(), id.Record.size()));
  } else {
    for (int i = 0; i < 9; ++i) b.Null();
  }
  b.OptInt(r.BoxAddress);
  if (r.Written) {
    const auto& w = *r.Written;
    for (const auto& v : {w.Model, w.Hardware, w.BootLoader, w.Native, w.Application1, w.Application2}) {
      b.Text(VersionText(v));
    }
    b.Int(w.VersionSlot);
    b.Text(w.Date);
    b.Int(w.Blocks);
    b.Int(w.Address);
  } else {
    for (int i = 0; i < 10; ++i) b.Null();
  }
  if (r.Image) {
    b.Text(r.Image->Path);
    b.Int(r.Image->Bytes);
    b.Int(r.Image->Blocks);
    b.Text(r.Image->Sha256);
  } else {
    for (int i = 0; i < 4; ++i) b.Null();
  }
  b.Int(r.Sent);
  b.Int(r.Total);
  b.Int(r.Resends);
  b.Int(r.LateAnswers);
  std::string json = RecordLine(r);
  if (!json.empty() && json.back() == '\n') json.pop_back();
  b.Text(json);
  if (b.Rc() != SQLITE_OK) Fail("cannot write record " + r.Id, b.Rc());
  if (b.Count() != kColumnCount)
    throw ERecordStore(path_ + ": cannot write record " + r.Id + ": columns miscounted");

  int rc = SQLITE_OK;
  for (int attempt = 0; attempt <= kBusyRetries; ++attempt) {
    rc = sqlite3_step(insert_);
    if (!IsBusy(rc)) break;
    sqlite3_reset(insert_);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  sqlite3_reset(insert_);
  if (rc != SQLITE_DONE) Fail("cannot write record " + r.Id, rc);
}

std::vector<TBoxRecord> TSqliteStore::Query(const TRecordFilter& f) {
  std::string sql = std::string("SELECT ") + kColumns + " FROM box_records WHERE 1";
  if (f.SinceMs) sql += " AND start_ms >= ?";
  if (f.UntilMs) sql += " AND start_ms < ?";
  if (f.Station) sql += " AND station = ?";
  if (f.Port) sql += " AND port = ?";
  if (f.Result) sql += " AND result = ?";
  if (f.Model) sql += " AND box_model = ?";
  if (f.Image) sql += " AND (image_path = ? OR lower(image_sha256) = lower(?))";
  sql += " ORDER BY start_ms DESC, start DESC, rowid DESC";
  if (f.Limit > 0) sql += " LIMIT ?";

  std::lock_guard lock(mutex_);
  TStatement st;
  if (const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st.s, nullptr); rc != SQLITE_OK) {
    Fail("cannot read the records", rc);
  }
  TBinder b(st.s);
  if (f.SinceMs) b.Int(*f.SinceMs);
  if (f.UntilMs) b.Int(*f.UntilMs);
  if (f.Station) b.Text(*f.Station);
  if (f.Port) b.Text(*f.Port);
  if (f.Result) b.Text(ResultName(*f.Result));
  if (f.Model) b.Text(*f.Model);
  if (f.Image) {
    b.Text(*f.Image);
    b.Text(*f.Image);
  }
  if (f.Limit > 0) b.Int(static_cast<std::int64_t>(f.Limit));
  if (b.Rc() != SQLITE_OK) Fail("cannot read the records", b.Rc());

  std::vector<TBoxRecord> out;
  for (int busy = 0;;) {
    const int rc = sqlite3_step(st.s);
    if (IsBusy(rc) && out.empty() && busy++ < kBusyRetries) {
      sqlite3_reset(st.s);
      continue;
    }
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) Fail("cannot read the records", rc);
    TReader c(st.s);
    TBoxRecord r;
    r.Id = c.Text();
    c.Skip<int>();  // station: the host, read below
    r.Host = c.Text();
    r.Port = c.Text();
    r.Start = c.Text();
    r.End = c.Text();
    c.Skip<int>();
    c.Skip<int>();
    r.DurationSeconds = c.Real();
    r.ToolVersion = c.Text();
    r.Mode = static_cast<int>(c.Int());
    r.ModeName = c.Text();
    r.IncludeFile = c.Text();
    r.Result = ResultFromName(c.Text()).value_or(TBoxResult::Failed);
    r.Reason = c.OptText();
    r.Step = static_cast<int>(c.Int());
    r.DecidedBy = c.Text();
    if (!c.IsNull()) {
      upgrade::TBoxIdentity id;
      FromHex(c.Text(), id.Oui);
      for (auto* v :
           {&id.Model, &id.Hardware, &id.BootLoader, &id.Native, &id.Application1, &id.Application2}) {
        *v = VersionFrom(c.Text());
      }
      id.Date = c.Text();
      FromHex(c.Text(), id.Record);
      r.Identity = id;
    } else {
      for (int i = 0; i < 9; ++i) c.Skip<int>();
    }
    if (!c.IsNull()) {
      r.BoxAddress = static_cast<std::uint32_t>(c.Int());
    } else {
      c.Skip<int>();
    }
    if (!c.IsNull()) {
      TBoxRecord::TWritten w;
      for (auto* v : {&w.Model, &w.Hardware, &w.BootLoader, &w.Native, &w.Application1, &w.Application2}) {
        *v = VersionFrom(c.Text());
      }
      w.VersionSlot = static_cast<int>(c.Int());
      w.Date = c.Text();
      w.Blocks = static_cast<long>(c.Int());
      w.Address = static_cast<std::uint32_t>(c.Int());
      r.Written = w;
    } else {
      for (int i = 0; i < 10; ++i) c.Skip<int>();
    }
    if (!c.IsNull()) {
      TBoxRecord::TImage image;
      image.Path = c.Text();
      image.Bytes = c.Int();
      image.Blocks = static_cast<long>(c.Int());
      image.Sha256 = c.Text();
      r.Image = image;
    } else {
      for (int i = 0; i < 4; ++i) c.Skip<int>();
    }
    r.Sent = static_cast<long>(c.Int());
    r.Total = static_cast<long>(c.Int());
    r.Resends = static_cast<long>(c.Int());
    r.LateAnswers = static_cast<long>(c.Int());
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace stb::app
