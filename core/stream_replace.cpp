#include "core/stream_replace.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/error.h"
#include "core/freplace.h"

namespace picrelink {

StreamReplacer::StreamReplacer(std::u16string_view find, std::u16string_view replacement,
                               bool caseSensitive, TextSink& next, size_t bufferUnits)
    : find_(find),
      replacement_(replacement),
      foldAscii_(!caseSensitive && !replacement.empty()),
      next_(next) {
  if (find.empty()) throw Error("ReplaceAll: the text to find is empty");
  constexpr size_t kAlignment = 64;
  const size_t carryRoom = find_.size() - 1;
  const size_t newUnits = std::max<size_t>(bufferUnits, 1);
  storage_.resize(carryRoom + kAlignment / sizeof(char16_t) + newUnits);
  const auto address = reinterpret_cast<uintptr_t>(storage_.data() + carryRoom);
  base_ = carryRoom + ((kAlignment - address % kAlignment) % kAlignment) / sizeof(char16_t);
  begin_ = end_ = base_;
  capacity_ = base_ + newUnits;
}

void StreamReplacer::Append(const char16_t* units, size_t count) {
  while (count > 0) {
    const size_t n = std::min(count, capacity_ - end_);
    std::memcpy(storage_.data() + end_, units, n * sizeof(char16_t));
    Appended(n);
    units += n;
    count -= n;
  }
}

void StreamReplacer::Appended(size_t count) {
  end_ += std::min(count, capacity_ - end_);
  if (end_ == capacity_) Process(false);
}

void StreamReplacer::Finish() { Process(true); }

void StreamReplacer::Process(bool atEnd) {
  const char16_t* text = storage_.data() + begin_;
  const size_t used = end_ - begin_;
  size_t k = 0;  // first unit not yet handed on
  for (;;) {
    const size_t p = FindOccurrence(text, used, find_, foldAscii_, k);
    if (p == kNoOccurrence) break;
    if (p > k) next_.Append(text + k, p - k);
    if (!replacement_.empty()) next_.Append(replacement_.data(), replacement_.size());
    k = p + find_.size();
    ++occurrences_;
  }
  // Every position from which an occurrence would still fit has been
  // searched; the units after the last of them may begin one that the next
  // piece completes, so they stay.
  const size_t keepFrom = atEnd ? used : std::max(k, used - std::min(used, find_.size() - 1));
  if (keepFrom > k) next_.Append(text + k, keepFrom - k);
  const size_t carry = used - keepFrom;
  std::memmove(storage_.data() + base_ - carry, text + keepFrom, carry * sizeof(char16_t));
  begin_ = base_ - carry;
  end_ = base_;
}

}  // namespace picrelink
