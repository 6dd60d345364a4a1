// Hands box records to a store from a thread of its own: a box's thread
// only queues its record (Submit never waits for a disk, a lock of the
// file's or a network), and the one writer thread of the process puts them
// into the store in the order they came.
//
// A record the store refuses goes to the fallback store when there is one
// (a local spool for a database server that is away, say), else it is
// lost: counted, with the store's reason, for the run's summary.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RecordStore.h"

namespace stb::app {

class TRecordWriter {
 public:
  struct TLost {
    std::string Id;
    std::string Reason;  // the store's one line
  };
  struct TCounts {
    std::size_t Stored = 0;          // kept by the primary store
    std::size_t Spooled = 0;         // refused there, kept by the fallback
    std::size_t Waiting = 0;         // queued, or being put, now
    std::size_t Lost = 0;            // kept by no store
    std::vector<TLost> LostRecords;  // each lost record's id and reason, in order
  };

  // `primary`: the store the records go to, opened already (opening may
  // wait: do it before the first box). `fallback`: where a record the
  // primary refuses goes instead; none loses it.
  explicit TRecordWriter(std::unique_ptr<IRecordStore> primary,
                         std::unique_ptr<IRecordStore> fallback = nullptr);
  // Stops at once: the record being put is finished, the rest of the queue
  // stays unwritten (Seal first to let it go).
  ~TRecordWriter();
  TRecordWriter(const TRecordWriter&) = delete;
  TRecordWriter& operator=(const TRecordWriter&) = delete;

  // Queues `record` for the store and returns at once; from any thread. A
  // record submitted after Seal is lost.
  void Submit(TBoxRecord record);

  // At the run's end: takes no more records and waits up to `timeout` for
  // the queue to be written. True when every record was put (stored,
  // spooled or lost); false when some were still waiting at the time-out:
  // they stay Waiting, and the writer gives up on them after the one being
  // put.
  bool Seal(std::chrono::milliseconds timeout);

  TCounts Counts() const;
  // The stores' names for the summary ("primary", or "primary, then spool").
  std::string Name() const;

 private:
  void Run();

  std::unique_ptr<IRecordStore> primary_;
  std::unique_ptr<IRecordStore> fallback_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // the writer: a record came, or stop
  std::condition_variable idle_;  // Seal: the queue ran dry
  std::deque<TBoxRecord> queue_;
  bool putting_ = false;
  bool sealed_ = false;
  bool stop_ = false;
  TCounts counts_;
  std::thread thread_;  // last: started once everything it uses is
};

}  // namespace stb::app
