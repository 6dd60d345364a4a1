#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "RecordWriter.h"
#include "RecordsTestSupport.h"

namespace stb::app {
namespace {

using namespace std::chrono_literals;
using stb::testing::FullRecord;

// A store the test holds up (as a slow disk would) and that refuses the
// ids it is told to.
class TFakeStore : public IRecordStore {
 public:
  struct TState {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Held = false;
    int Entered = 0;  // Puts begun
    std::vector<std::string> Kept;
    std::string Refuse;  // an id prefix refused
    std::string Name = "fake";
  };
  explicit TFakeStore(std::shared_ptr<TState> state) : s_(std::move(state)) {}
  void Put(const TBoxRecord& r) override {
    std::unique_lock lock(s_->Mutex);
    ++s_->Entered;
    s_->Changed.notify_all();
    s_->Changed.wait(lock, [&] { return !s_->Held; });
    if (!s_->Refuse.empty() && r.Id.rfind(s_->Refuse, 0) == 0) throw ERecordStore(s_->Name + ": disk full");
    s_->Kept.push_back(r.Id);
  }
  std::vector<TBoxRecord> Query(const TRecordFilter&) override { return {}; }
  std::string Name() const override { return s_->Name; }

 private:
  std::shared_ptr<TState> s_;
};

std::shared_ptr<TFakeStore::TState> Held() {
  auto s = std::make_shared<TFakeStore::TState>();
  s->Held = true;
  return s;
}

void Release(TFakeStore::TState& s) {
  std::lock_guard lock(s.Mutex);
  s.Held = false;
  s.Changed.notify_all();
}

void WaitEntered(TFakeStore::TState& s, int n) {
  std::unique_lock lock(s.Mutex);
  ASSERT_TRUE(s.Changed.wait_for(lock, 5s, [&] { return s.Entered >= n; }));
}

TBoxRecord Numbered(const std::string& prefix, int n) {
  TBoxRecord r = FullRecord(n);
  r.Id = prefix + std::to_string(n);
  return r;
}

TEST(RecordWriter, SubmitWaitsForNoStoreAndTheQueueGoesInOrder) {
  auto state = Held();
  TRecordWriter writer(std::make_unique<TFakeStore>(state));
  writer.Submit(Numbered("r", 0));
  WaitEntered(*state, 1);  // the store is now stuck in its first Put
  const auto before = std::chrono::steady_clock::now();
  for (int n = 1; n < 200; ++n) writer.Submit(Numbered("r", n));
  EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
  EXPECT_EQ(writer.Counts().Waiting, 200u);
  Release(*state);
  EXPECT_TRUE(writer.Seal(10s));
  const auto counts = writer.Counts();
  EXPECT_EQ(counts.Stored, 200u);
  EXPECT_EQ(counts.Waiting, 0u);
  EXPECT_EQ(counts.Lost, 0u);
  ASSERT_EQ(state->Kept.size(), 200u);
  for (int n = 0; n < 200; ++n) EXPECT_EQ(state->Kept[static_cast<std::size_t>(n)], "r" + std::to_string(n));
}

TEST(RecordWriter, ARefusedRecordGoesToTheFallbackElseIsLostWithItsReason) {
  // No fallback: lost, counted, with the store's line.
  {
    auto state = std::make_shared<TFakeStore::TState>();
    state->Refuse = "bad";
    TRecordWriter writer(std::make_unique<TFakeStore>(state));
    writer.Submit(Numbered("ok", 1));
    writer.Submit(Numbered("bad", 2));
    writer.Submit(Numbered("ok", 3));
    ASSERT_TRUE(writer.Seal(10s));
    const auto counts = writer.Counts();
    EXPECT_EQ(counts.Stored, 2u);
    EXPECT_EQ(counts.Lost, 1u);
    ASSERT_EQ(counts.LostRecords.size(), 1u);
    EXPECT_EQ(counts.LostRecords[0].Id, "bad2");
    EXPECT_EQ(counts.LostRecords[0].Reason, "fake: disk full");
  }
  // A fallback takes what the primary refused; what both refuse is lost
  // with both reasons.
  {
    auto primary = std::make_shared<TFakeStore::TState>();
    primary->Refuse = "b";
    primary->Name = "server";
    auto spool = std::make_shared<TFakeStore::TState>();
    spool->Refuse = "bb";
    spool->Name = "spool";
    TRecordWriter writer(std::make_unique<TFakeStore>(primary), std::make_unique<TFakeStore>(spool));
    EXPECT_EQ(writer.Name(), "server, then spool");
    writer.Submit(Numbered("a", 1));
    writer.Submit(Numbered("b", 2));
    writer.Submit(Numbered("bb", 3));
    ASSERT_TRUE(writer.Seal(10s));
    const auto counts = writer.Counts();
    EXPECT_EQ(counts.Stored, 1u);
    EXPECT_EQ(counts.Spooled, 1u);
    EXPECT_EQ(counts.Lost, 1u);
    EXPECT_EQ(spool->Kept, std::vector<std::string>{"b2"});
    ASSERT_EQ(counts.LostRecords.size(), 1u);
    EXPECT_EQ(counts.LostRecords[0].Reason, "server: disk full; spool: disk full");
  }
}

TEST(RecordWriter, SealWaitsABoundedTimeAndTakesNothingAfter) {
  auto state = Held();
  auto writer = std::make_unique<TRecordWriter>(std::make_unique<TFakeStore>(state));
  for (int n = 0; n < 5; ++n) writer->Submit(Numbered("r", n));
  WaitEntered(*state, 1);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(writer->Seal(200ms));
  const auto waited = std::chrono::steady_clock::now() - before;
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 2s);
  EXPECT_EQ(writer->Counts().Waiting, 5u);

  writer->Submit(Numbered("late", 9));
  auto counts = writer->Counts();
  EXPECT_EQ(counts.Lost, 1u);
  ASSERT_EQ(counts.LostRecords.size(), 1u);
  EXPECT_EQ(counts.LostRecords[0].Id, "late9");

  // The store comes back: the record in hand is finished, the rest given
  // up, and the writer ends.
  Release(*state);
  writer.reset();
  EXPECT_EQ(state->Kept, std::vector<std::string>{"r0"});
}

}  // namespace
}  // namespace stb::app
