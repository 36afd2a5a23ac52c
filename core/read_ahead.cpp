#include "core/read_ahead.h"

#include <algorithm>
#include <utility>

#include "core/cache_line.h"

namespace picrelink {

ReadAhead::ReadAhead(Source source, size_t bufferUnits, bool onCallersThread)
    : source_(std::move(source)),
      bufferUnits_(std::max<size_t>(bufferUnits, 1)),
      onCallersThread_(onCallersThread) {
  // Each buffer rounded up to whole cache lines, so that both begin on one.
  const size_t stride = (bufferUnits_ + kCacheLineUnits - 1) / kCacheLineUnits * kCacheLineUnits;
  storage_ = std::make_unique_for_overwrite<char16_t[]>(2 * stride + kCacheLineUnits);
  slots_[0].units = AlignedToCacheLine(storage_.get());
  slots_[1].units = slots_[0].units + stride;
  if (!onCallersThread_) worker_ = std::thread(&ReadAhead::Work, this);
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

std::u16string_view ReadAhead::Next() {
  if (onCallersThread_) return NextOnCallersThread();
  std::unique_lock lock(mutex_);
  if (callerHolds_) {
    // The piece handed out last is done with: its buffer may be read into.
    slots_[nextSlot_ ^ 1].full = false;
    callerHolds_ = false;
    changed_.notify_all();
  }
  Slot& slot = slots_[nextSlot_];
  changed_.wait(lock, [&slot] { return slot.full; });
  if (slot.error) std::rethrow_exception(slot.error);
  // The end stays where it is: every later call sees it again.
  if (slot.count == 0) return {};
  callerHolds_ = true;
  nextSlot_ ^= 1;
  return {slot.units, slot.count};
}

// The same pieces, errors and end as the thread gives, read in turn into the
// two buffers, so that the piece handed out last stays valid until the next
// call.
std::u16string_view ReadAhead::NextOnCallersThread() {
  if (endError_) std::rethrow_exception(endError_);
  if (ended_) return {};
  Slot& slot = slots_[nextSlot_];
  try {
    slot.count = source_(slot.units, bufferUnits_);
  } catch (...) {
    ended_ = true;
    endError_ = std::current_exception();
    throw;
  }
  if (slot.count == 0) {
    ended_ = true;
    return {};
  }
  nextSlot_ ^= 1;
  return {slot.units, slot.count};
}

void ReadAhead::Work() {
  size_t index = 0;
  for (;;) {
    Slot& slot = slots_[index];
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this, &slot] { return !slot.full || stopping_; });
      if (stopping_) return;
    }
    size_t count = 0;
    std::exception_ptr error;
    try {
      count = source_(slot.units, bufferUnits_);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      slot.count = count;
      slot.error = error;
      slot.full = true;
    }
    changed_.notify_all();
    if (count == 0 || error) return;
    index ^= 1;
  }
}

}  // namespace picrelink
