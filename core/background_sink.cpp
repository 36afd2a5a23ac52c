#include "core/background_sink.h"

#include <algorithm>
#include <new>
#include <utility>

namespace picrelink {
namespace {

// What a spare chunk holds beyond a chunk: a producer that hands over whole
// buffers (StreamReplacer) also keeps room for a find text, a replacement
// and its kernels' slack.
constexpr size_t kSpareExtraUnits = 4096;
// One code unit written per page of 4 KB or more faults the page in.
constexpr size_t kPageUnits = 2048;

}  // namespace

BackgroundSink::BackgroundSink(TextSink& target, size_t chunkUnits, size_t chunksInFlight)
    : target_(target),
      chunkUnits_(std::max<size_t>(chunkUnits, 1)),
      chunksInFlight_(std::max<size_t>(chunksInFlight, 1)),
      worker_(&BackgroundSink::Work, this) {}

BackgroundSink::~BackgroundSink() { Stop(true); }

void BackgroundSink::Append(const char16_t* units, size_t count) {
  if (count > 0 && current_.capacity() < chunkUnits_) current_.reserve(chunkUnits_);
  while (count > 0) {
    const size_t n = std::min(count, chunkUnits_ - current_.size());
    current_.insert(current_.end(), units, units + n);
    units += n;
    count -= n;
    if (current_.size() == chunkUnits_) HandOver();
  }
}

void BackgroundSink::AppendBuffer(UnitBuffer& buffer, size_t count) {
  if (count < (chunkUnits_ + 1) / 2) {
    Append(buffer.data(), count);
    return;
  }
  // What was gathered before goes first. The caller gets back the chunk that
  // would have been filled next: a spare one where there is one.
  if (!current_.empty()) {
    HandOver();
  } else if (current_.capacity() == 0) {
    std::lock_guard lock(mutex_);
    TakeSpare();
  }
  std::swap(current_, buffer);
  current_.resize(count);
  HandOver();
}

void BackgroundSink::Finish() {
  if (!current_.empty()) HandOver();
  Stop(false);
  std::lock_guard lock(mutex_);
  if (error_) std::rethrow_exception(error_);
}

void BackgroundSink::HandOver() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return waiting_.size() < chunksInFlight_ || error_; });
  if (error_) std::rethrow_exception(error_);
  waiting_.push_back(std::move(current_));
  current_.clear();
  TakeSpare();
  changed_.notify_all();
}

void BackgroundSink::TakeSpare() {
  if (spare_.empty()) return;
  current_ = std::move(spare_.back());
  spare_.pop_back();
  current_.clear();
}

UnitBuffer BackgroundSink::ReadyChunk() const {
  // A fresh buffer's pages fault in when they are first written: here that
  // costs this thread's time rather than the producer's. Without the memory
  // for it, the producer makes its chunks as it goes.
  UnitBuffer chunk;
  try {
    chunk.resize(chunkUnits_ + kSpareExtraUnits);
  } catch (const std::bad_alloc&) {
    return {};
  }
  for (size_t i = 0; i < chunk.size(); i += kPageUnits) chunk[i] = 0;
  chunk.clear();
  return chunk;
}

void BackgroundSink::Work() {
  std::unique_lock lock(mutex_);
  // As many spare chunks as can be on their way at once, and the one being
  // filled, are made ready one at a time while no chunk waits, so that a
  // chunk is never kept waiting for them.
  size_t toMake = chunksInFlight_ + 1;
  for (;;) {
    if (toMake > 0 && waiting_.empty() && !closing_) {
      lock.unlock();
      UnitBuffer chunk = ReadyChunk();
      lock.lock();
      toMake = chunk.capacity() > 0 ? toMake - 1 : 0;
      if (chunk.capacity() > 0) spare_.push_back(std::move(chunk));
      continue;
    }
    changed_.wait(lock, [this] { return !waiting_.empty() || closing_; });
    if (waiting_.empty()) return;  // closing, and nothing left
    UnitBuffer chunk = std::move(waiting_.front());
    waiting_.pop_front();
    if (!dropping_ && !error_) {
      lock.unlock();
      std::exception_ptr error;
      try {
        target_.Append(chunk.data(), chunk.size());
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      if (error) error_ = error;
    }
    spare_.push_back(std::move(chunk));
    changed_.notify_all();
  }
}

void BackgroundSink::Stop(bool drop) noexcept {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    if (drop) {
      dropping_ = true;
      waiting_.clear();
    }
    changed_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
}

}  // namespace picrelink
