#include "RecordWriter.h"

namespace stb::app {

TRecordWriter::TRecordWriter(std::unique_ptr<IRecordStore> primary, std::unique_ptr<IRecordStore> fallback)
    : primary_(std::move(primary)), fallback_(std::move(fallback)), thread_([this] { Run(); }) {}

TRecordWriter::~TRecordWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    sealed_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TRecordWriter::Submit(TBoxRecord record) {
  {
    std::lock_guard lock(mutex_);
    if (sealed_) {
      ++counts_.Lost;
      counts_.LostRecords.push_back({record.Id, "came after the records were sealed"});
      return;
    }
    queue_.push_back(std::move(record));
  }
  wake_.notify_one();
}

bool TRecordWriter::Seal(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  sealed_ = true;
  const bool done = idle_.wait_for(lock, timeout, [this] { return queue_.empty() && !putting_; });
  // What is left waits no more: the writer ends after the record in hand.
  if (!done) stop_ = true;
  lock.unlock();
  wake_.notify_all();
  return done;
}

TRecordWriter::TCounts TRecordWriter::Counts() const {
  std::lock_guard lock(mutex_);
  TCounts c = counts_;
  c.Waiting = queue_.size() + (putting_ ? 1 : 0);
  return c;
}

std::string TRecordWriter::Name() const {
  std::string name = primary_ ? primary_->Name() : std::string("none");
  if (fallback_) name += ", then " + fallback_->Name();
  return name;
}

void TRecordWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) break;
    TBoxRecord record = std::move(queue_.front());
    queue_.pop_front();
    putting_ = true;
    lock.unlock();

    // The stores are used on this thread only, and outside the lock: a
    // slow disk holds up no Submit.
    enum { Stored, Spooled, Lost } outcome = Lost;
    std::string reason;
    try {
      if (!primary_) throw ERecordStore("no records store");
      primary_->Put(record);
      outcome = Stored;
    } catch (const std::exception& e) {
      reason = e.what();
      if (fallback_) {
        try {
          fallback_->Put(record);
          outcome = Spooled;
        } catch (const std::exception& f) {
          reason += "; " + std::string(f.what());
        }
      }
    }

    lock.lock();
    putting_ = false;
    switch (outcome) {
      case Stored: ++counts_.Stored; break;
      case Spooled: ++counts_.Spooled; break;
      case Lost:
        ++counts_.Lost;
        counts_.LostRecords.push_back({record.Id, reason});
        break;
    }
    if (queue_.empty()) idle_.notify_all();
  }
  idle_.notify_all();
}

}  // namespace stb::app
