#include <gtest/gtest.h>

#include <cstdlib>

#include "RecordsTarget.h"

namespace stb::app {
namespace {

struct TTargetCase {
  const char* Value;
  TRecordsKind Kind;
  const char* Where;
};

TEST(RecordsTarget, EachKindIsReadFromItsSpelling) {
  const TTargetCase cases[] = {
      {"none", TRecordsKind::None, ""},
      {"sqlite:/var/lib/line/records.sqlite3", TRecordsKind::Sqlite, "/var/lib/line/records.sqlite3"},
      {"sqlite:relative.db", TRecordsKind::Sqlite, "relative.db"},
      {"sqlite:a=b", TRecordsKind::Sqlite, "a=b"},
      {"postgresql://line@db1/boxes", TRecordsKind::PostgreSql, "postgresql://line@db1/boxes"},
      {"postgres://db1:5433/boxes?sslmode=require", TRecordsKind::PostgreSql,
       "postgres://db1:5433/boxes?sslmode=require"},
      {"host=db1 dbname=boxes", TRecordsKind::PostgreSql, "host=db1 dbname=boxes"},
      {"dbname = boxes", TRecordsKind::PostgreSql, "dbname = boxes"},
      {"odbc:DSN=line;Uid=stb;Pwd=x;", TRecordsKind::Odbc, "DSN=line;Uid=stb;Pwd=x;"},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto target = ParseRecordsTarget(c.Value, error);
    ASSERT_TRUE(target.has_value()) << c.Value << ": " << error;
    EXPECT_EQ(target->Kind, c.Kind) << c.Value;
    EXPECT_EQ(target->Where, c.Where) << c.Value;
    EXPECT_EQ(error, "");
  }
}

TEST(RecordsTarget, WhatNamesNoTargetIsRefusedWithoutItsPassword) {
  const struct {
    const char* Value;
    const char* Says;
    const char* Hidden;
  } cases[] = {
      {"mysql://u:hunter2@db/boxes", "mysql://u:***@db/boxes", "hunter2"},
      {"sqlite:", "sqlite:PATH", nullptr},
      {"odbc:", "odbc:DSN", nullptr},
      {"records.sqlite3", "(a file: sqlite:records.sqlite3)", nullptr},
      {"=nothing", "not a records target", nullptr},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseRecordsTarget(c.Value, error).has_value()) << c.Value;
    EXPECT_NE(error.find(c.Says), std::string::npos) << c.Value << " -> " << error;
    if (c.Hidden != nullptr) {
      EXPECT_EQ(error.find(c.Hidden), std::string::npos) << error;
    }
  }
}

TEST(RecordsTarget, PasswordsAreMaskedForDisplay) {
  const struct {
    const char* Given;
    const char* Shown;
  } cases[] = {
      {"postgresql://u:secret@h/db", "postgresql://u:***@h/db"},
      {"postgres://u:s3cr@t@h:5432/db", "postgres://u:***@h:5432/db"},
      {"postgresql://u@h/db", "postgresql://u@h/db"},
      {"postgresql://h:5432/db", "postgresql://h:5432/db"},
      {"postgresql://u:pw@h", "postgresql://u:***@h"},
      {"postgresql://h/db?user=u&password=pw&sslmode=require",
       "postgresql://h/db?user=u&password=***&sslmode=require"},
      {"host=h password=secret dbname=db", "host=h password=*** dbname=db"},
      {"host=h password = 'sec ret' dbname=db", "host=h password = *** dbname=db"},
      {"password='it\\'s' host=h", "password=*** host=h"},
      {"host=h passwordless=1", "host=h passwordless=1"},
      {"odbc:DSN=line;Uid=stb;Pwd=secret;", "odbc:DSN=line;Uid=stb;Pwd=***;"},
      {"odbc:Driver={PostgreSQL Unicode};PWD={a;b}}c};Server=h",
       "odbc:Driver={PostgreSQL Unicode};PWD=***;Server=h"},
      {"odbc:DSN=line;Password=x", "odbc:DSN=line;Password=***"},
      {"sqlite:/tmp/password=x", "sqlite:/tmp/password=x"},
      {"none", "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskedForDisplay(c.Given), c.Shown) << c.Given;
}

// The per-user file follows the environment of the run.
class DefaultRecordsPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"XDG_STATE_HOME", "HOME"}) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v != nullptr ? std::optional<std::string>(v) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
  }
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(DefaultRecordsPathTest, StateHomeFirstThenHome) {
  ::setenv("HOME", "/home/op", 1);
  ::setenv("XDG_STATE_HOME", "/srv/state/", 1);
  EXPECT_EQ(DefaultRecordsPath(), "/srv/state/stb-downloader/records.sqlite3");
  ::setenv("XDG_STATE_HOME", "relative/state", 1);  // not to be followed
  EXPECT_EQ(DefaultRecordsPath(), "/home/op/.local/state/stb-downloader/records.sqlite3");
  ::unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(DefaultRecordsPath(), "/home/op/.local/state/stb-downloader/records.sqlite3");
  std::string error;
  const auto target = ParseRecordsTarget("", error);
  ASSERT_TRUE(target.has_value()) << error;
  EXPECT_EQ(target->Kind, TRecordsKind::Sqlite);
  EXPECT_EQ(target->Where, "/home/op/.local/state/stb-downloader/records.sqlite3");
}

TEST(RecordsTarget, DisplayTextHidesTheServersPassword) {
  EXPECT_EQ(DisplayText({TRecordsKind::None, ""}), "none");
  EXPECT_EQ(DisplayText({TRecordsKind::Sqlite, "/x/r.sqlite3"}), "/x/r.sqlite3");
  EXPECT_EQ(DisplayText({TRecordsKind::PostgreSql, "host=h password=pw"}), "host=h password=***");
  EXPECT_EQ(DisplayText({TRecordsKind::Odbc, "DSN=d;Pwd=pw;"}), "odbc:DSN=d;Pwd=***;");
}

}  // namespace
}  // namespace stb::app
