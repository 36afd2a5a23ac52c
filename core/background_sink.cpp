#include "core/background_sink.h"

#include <algorithm>
#include <utility>

namespace picrelink {

BackgroundSink::BackgroundSink(TextSink& target, size_t chunkUnits, size_t chunksInFlight)
    : target_(target),
      chunkUnits_(std::max<size_t>(chunkUnits, 1)),
      chunksInFlight_(std::max<size_t>(chunksInFlight, 1)),
      worker_(&BackgroundSink::Work, this) {
  current_.reserve(chunkUnits_);
}

BackgroundSink::~BackgroundSink() { Stop(true); }

void BackgroundSink::Append(const char16_t* units, size_t count) {
  while (count > 0) {
    const size_t n = std::min(count, chunkUnits_ - current_.size());
    current_.insert(current_.end(), units, units + n);
    units += n;
    count -= n;
    if (current_.size() == chunkUnits_) HandOver();
  }
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
  if (!spare_.empty()) {
    current_ = std::move(spare_.back());
    spare_.pop_back();
    current_.clear();
  }
  current_.reserve(chunkUnits_);
  changed_.notify_all();
}

void BackgroundSink::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !waiting_.empty() || closing_; });
    if (waiting_.empty()) return;  // closing, and nothing left
    std::vector<char16_t> chunk = std::move(waiting_.front());
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
