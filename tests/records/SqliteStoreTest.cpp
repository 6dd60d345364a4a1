#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <thread>

#include "ChildProcess.h"
#include "RecordsTestSupport.h"
#include "SqliteStore.h"

namespace stb::app {
namespace {

using stb::testing::BareRecord;
using stb::testing::FullRecord;
using stb::testing::TTempFolder;

// A connection of the test's own to the file, beside the store's.
class TRawDb {
 public:
  explicit TRawDb(const std::string& path) { EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK); }
  ~TRawDb() { sqlite3_close(db_); }
  void Exec(const std::string& sql) {
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
  }
  // The first column of the first row, as text ("" when there is none).
  std::string One(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    std::string out;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sql;
    if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0) != nullptr) {
      out.assign(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                 static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
    }
    sqlite3_finalize(s);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

// Two records are the same when the report would write the same line for
// both: RecordLine writes every field.
void ExpectSame(const TBoxRecord& got, const TBoxRecord& want) {
  EXPECT_EQ(RecordLine(got), RecordLine(want));
  EXPECT_EQ(got.Identity.has_value(), want.Identity.has_value());
  if (got.Identity && want.Identity) {
    EXPECT_EQ(got.Identity->Record, want.Identity->Record);
  }
  EXPECT_EQ(got.Image.has_value(), want.Image.has_value());
  EXPECT_EQ(got.Written.has_value(), want.Written.has_value());
}

TEST(SqliteStore, RecordsComeBackFieldForField) {
  TTempFolder folder;
  const std::string path = folder.File("state/stb-downloader/records.sqlite3");  // folders made
  const TBoxRecord full = FullRecord(7);
  const TBoxRecord bare = BareRecord(3);
  {
    TSqliteStore store(path);
    store.Put(full);
    store.Put(bare);
    const auto all = store.Query({});
    ASSERT_EQ(all.size(), 2u);
    ExpectSame(all[0], full);  // started later: first
    ExpectSame(all[1], bare);
  }
  // And from the file, by another connection: the whole line beside the
  // columns, and the file in WAL.
  TRawDb raw(path);
  std::string line = RecordLine(full);
  line.pop_back();
  EXPECT_EQ(raw.One("SELECT json FROM box_records WHERE id = 'rec-7'"), line);
  EXPECT_EQ(
      raw.One("SELECT result || ' ' || box_model || ' ' || image_sha256 FROM box_records WHERE id = 'rec-7'"),
      "upgraded 1.0 " + full.Image->Sha256);
  EXPECT_EQ(raw.One("SELECT start_ms FROM box_records WHERE id = 'rec-7'"),
            std::to_string(*IsoToUnixMs(full.Start)));
  EXPECT_EQ(raw.One("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.One("PRAGMA user_version"), std::to_string(TSqliteStore::kSchemaVersion));
}

TEST(SqliteStore, ARecordPutTwiceIsKeptOnce) {
  TTempFolder folder;
  TSqliteStore store(folder.File("r.sqlite3"));
  TBoxRecord first = FullRecord(1);
  store.Put(first);
  TBoxRecord again = first;
  again.Result = TBoxResult::Failed;
  store.Put(again);  // the same id: no second row, and the first one stands
  store.Put(first);
  const auto all = store.Query({});
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].Result, TBoxResult::Upgraded);
}

TEST(SqliteStore, AnyTextStaysText) {
  TTempFolder folder;
  const std::string path = folder.File("r.sqlite3");
  TSqliteStore store(path);
  TBoxRecord r = FullRecord(1);
  r.DecidedBy = "x'); DROP TABLE box_records; --";
  r.Reason = "\"quoted\" and 'single' and \\backslash\\";
  r.Port = "COM3 \xC3\xA4\xE2\x9C\x93\xF0\x9F\x9A\x80";  // UTF-8: ä ✓ and a rocket
  r.Host = "st\xFF\x01tion";                             // not UTF-8 at all
  r.Image->Path = "/srv/%_images/a' OR '1'='1.bin";
  r.Id = "id'; DELETE FROM box_records; --";
  store.Put(r);
  store.Put(FullRecord(2));
  const auto all = store.Query({});
  ASSERT_EQ(all.size(), 2u);
  ExpectSame(all[1], r);
  TRecordFilter byImage;
  byImage.Image = r.Image->Path;
  ASSERT_EQ(store.Query(byImage).size(), 1u);
  TRecordFilter byPort;
  byPort.Port = r.Port;
  ASSERT_EQ(store.Query(byPort).size(), 1u);
  TRawDb raw(path);
  EXPECT_EQ(raw.One("SELECT count(*) FROM box_records"), "2");
}

TEST(SqliteStore, QueriesPickTheirRecordsNewestFirst) {
  TTempFolder folder;
  TSqliteStore store(folder.File("r.sqlite3"));
  // rec-0 .. rec-9, a second apart; every third refused, the odd ones on
  // another station with another model and image.
  for (int n = 0; n < 10; ++n) {
    TBoxRecord r = FullRecord(n);
    if (n % 3 == 0) r.Result = TBoxResult::Refused;
    if (n % 2 == 1) {
      r.Host = "station-b";
      r.Identity->Model = {2, 1};
      r.Image->Path = "/srv/images/other.bin";
      r.Image->Sha256 = std::string(64, 'a');
    }
    store.Put(r);
  }
  const auto ids = [&](const TRecordFilter& f) {
    std::string out;
    for (const auto& r : store.Query(f)) out += (out.empty() ? "" : " ") + r.Id.substr(4);
    return out;
  };
  EXPECT_EQ(ids({}), "9 8 7 6 5 4 3 2 1 0");
  TRecordFilter f;
  f.Limit = 3;
  EXPECT_EQ(ids(f), "9 8 7");
  f = {};
  f.SinceMs = *IsoToUnixMs(FullRecord(4).Start);
  f.UntilMs = *IsoToUnixMs(FullRecord(7).Start);
  EXPECT_EQ(ids(f), "6 5 4");
  f = {};
  f.Station = "station-b";
  EXPECT_EQ(ids(f), "9 7 5 3 1");
  f = {};
  f.Result = TBoxResult::Refused;
  EXPECT_EQ(ids(f), "9 6 3 0");
  f = {};
  f.Model = "2.1";
  f.Result = TBoxResult::Upgraded;
  EXPECT_EQ(ids(f), "7 5 1");
  f = {};
  f.Port = "/dev/ttyUSB2";
  EXPECT_EQ(ids(f), "6 2");
  f = {};
  f.Image = std::string(64, 'A');  // a digest in either case
  EXPECT_EQ(ids(f), "9 7 5 3 1");
  f.Image = "/srv/images/app1.bin";
  EXPECT_EQ(ids(f), "8 6 4 2 0");
}

TEST(SqliteStore, AFileOfANewerSchemaIsRefused) {
  TTempFolder folder;
  const std::string path = folder.File("r.sqlite3");
  { TRawDb(path).Exec("CREATE TABLE box_records (id TEXT); PRAGMA user_version = 2"); }
  try {
    TSqliteStore store(path);
    FAIL() << "opened";
  } catch (const ERecordStore& e) {
    EXPECT_EQ(std::string(e.what()),
              path +
                  ": the records file has schema 2, newer than this program's 1: use a "
                  "newer stb-downloader, or another file (--records sqlite:PATH)");
  }
  EXPECT_EQ(TRawDb(path).One("PRAGMA user_version"), "2");  // left as it was
}

TEST(SqliteStore, AFileOfAnOlderSchemaIsBroughtUpWholeOrNotAtAll) {
  TTempFolder folder;
  // A file of schema 0 holding a table of someone else's: it gains the
  // records' tables and keeps its own.
  const std::string older = folder.File("older.sqlite3");
  { TRawDb(older).Exec("CREATE TABLE notes (t TEXT); INSERT INTO notes VALUES ('kept')"); }
  {
    TSqliteStore store(older);
    EXPECT_EQ(store.SchemaVersion(), TSqliteStore::kSchemaVersion);
    store.Put(FullRecord(1));
    EXPECT_EQ(store.Query({}).size(), 1u);
  }
  EXPECT_EQ(TRawDb(older).One("SELECT t FROM notes"), "kept");

  // One whose step cannot be taken (a table of that name in its way): the
  // step is undone whole, the file stays at schema 0.
  const std::string blocked = folder.File("blocked.sqlite3");
  { TRawDb(blocked).Exec("CREATE TABLE box_records (x INTEGER); INSERT INTO box_records VALUES (42)"); }
  try {
    TSqliteStore store(blocked);
    FAIL() << "opened";
  } catch (const ERecordStore& e) {
    EXPECT_NE(std::string(e.what()).find(blocked + ": cannot bring the records file from schema 0 to 1: "),
              std::string::npos)
        << e.what();
  }
  TRawDb raw(blocked);
  EXPECT_EQ(raw.One("PRAGMA user_version"), "0");
  EXPECT_EQ(raw.One("SELECT x FROM box_records"), "42");
  EXPECT_EQ(raw.One("SELECT count(*) FROM sqlite_master WHERE type = 'index'"), "0");
}

TEST(SqliteStore, AFileThatIsNotSqliteIsRefusedAndLeftAlone) {
  TTempFolder folder;
  const std::string path = folder.File("report.jsonl");
  const std::string text(4096, 'x');
  std::ofstream(path) << text;
  try {
    TSqliteStore store(path);
    FAIL() << "opened";
  } catch (const ERecordStore& e) {
    EXPECT_EQ(std::string(e.what()), path + " is not a records file: file is not a database");
  }
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
}

TEST(SqliteStore, AFolderThatCannotBeMadeIsSaid) {
  TTempFolder folder;
  std::ofstream(folder.File("plain")) << "a file, not a folder";
  try {
    TSqliteStore store(folder.File("plain/records.sqlite3"));
    FAIL() << "opened";
  } catch (const ERecordStore& e) {
    EXPECT_NE(std::string(e.what()).find("cannot make the records folder"), std::string::npos) << e.what();
  }
}

std::string SelfPath() {
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : "";
}

// Two writers of this process, each on a thread of its own, and a third
// in a process of its own, into one new file at once: every record is
// there, once.
TEST(SqliteStore, WritersOfTwoProcessesShareOneFile) {
  TTempFolder folder;
  const std::string path = folder.File("shared/records.sqlite3");
  constexpr int kEach = 150;
  stb::testing::TChildProcess child([](const std::string& program, int ms) {
    ADD_FAILURE() << program << " still ran after " << ms << " ms";
  });
  ASSERT_TRUE(child.Start({SelfPath(), "--write-records", path, "child", std::to_string(kEach)}, {}))
      << child.Error();
  std::string whyA, whyB;
  bool okA = false, okB = false;
  std::thread a([&] { okA = stb::testing::WriteRecords(path, "a", kEach, whyA); });
  std::thread b([&] { okB = stb::testing::WriteRecords(path, "b", kEach, whyB); });
  a.join();
  b.join();
  EXPECT_TRUE(okA) << whyA;
  EXPECT_TRUE(okB) << whyB;
  EXPECT_EQ(child.Wait(60000), 0);

  TRawDb raw(path);
  EXPECT_EQ(raw.One("SELECT count(*) FROM box_records"), std::to_string(3 * kEach));
  EXPECT_EQ(raw.One("SELECT count(DISTINCT id) FROM box_records"), std::to_string(3 * kEach));
  for (const char* prefix : {"a", "b", "child"}) {
    EXPECT_EQ(raw.One(std::string("SELECT count(*) FROM box_records WHERE id LIKE '") + prefix + "-%'"),
              std::to_string(kEach))
        << prefix;
  }
}

// A disk that fills up under the store: the records it refuses are counted
// lost with SQLite's one line, and the file keeps every one before. On a
// 256 KiB tmpfs of a mount namespace of its own (root only).
TEST(SqliteStore, AFullDiskLosesRecordsButNotTheFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  TTempFolder folder;
  const std::string log = folder.File("child.txt");
  std::filesystem::create_directory(folder.Path() / "disk");
  stb::testing::TChildProcess child([](const std::string& program, int ms) {
    ADD_FAILURE() << program << " still ran after " << ms << " ms";
  });
  stb::testing::TChildOptions options;
  options.Err = stb::testing::TStdio::To(log);
  ASSERT_TRUE(
      child.Start({"unshare", "--mount", "sh", "-c",
                   "mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 77; exec \"$2\" --fill-disk \"$1\"",
                   "sh", (folder.Path() / "disk").string(), SelfPath()},
                  options))
      << child.Error();
  const int status = child.Wait(90000);
  std::ifstream in(log);
  const std::string said(std::istreambuf_iterator<char>(in), {});
  if (status == 77 || status == 127) GTEST_SKIP() << "no small file system to be had: " << said;
  EXPECT_EQ(status, 0) << said;
}

TEST(IsoToUnixMs, ReadsTheRecordsStampsAndNothingElse) {
  EXPECT_EQ(IsoToUnixMs("1970-01-01T00:00:00.000Z"), 0);
  EXPECT_EQ(IsoToUnixMs("2026-12-08T14:03:11.482+01:00"), 1796734991482LL);
  EXPECT_EQ(IsoToUnixMs("2026-12-08T13:03:11.482+00:00"), 1796734991482LL);
  EXPECT_EQ(IsoToUnixMs("2026-12-08 08:33:11.482-0430"), 1796734991482LL);
  EXPECT_EQ(IsoToUnixMs("2024-02-29T00:00:00Z"), 1709164800000LL);
  EXPECT_EQ(IsoToUnixMs("2026-12-08T14:03:11.482"), std::nullopt);  // no zone
  EXPECT_EQ(IsoToUnixMs(""), std::nullopt);
  EXPECT_EQ(IsoToUnixMs("2026-13-08T14:03:11Z"), std::nullopt);
  EXPECT_EQ(IsoToUnixMs("2026-12-08T14:03:11Zjunk"), std::nullopt);
}

}  // namespace
}  // namespace stb::app
