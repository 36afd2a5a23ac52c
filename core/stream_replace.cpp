#include "core/stream_replace.h"

#include <algorithm>
#include <cstring>

#include "core/cache_line.h"
#include "core/error.h"

namespace picrelink {
namespace {

std::u16string_view CheckedFind(std::u16string_view find) {
  if (find.empty()) throw Error("ReplaceAll: the text to find is empty");
  return find;
}

}  // namespace

StreamReplacer::StreamReplacer(std::u16string_view find, std::u16string_view replacement,
                               bool caseSensitive, TextSink& next, size_t bufferUnits)
    : pattern_(CheckedFind(find), replacement, !caseSensitive && !replacement.empty()),
      replace_(kernels::BestReplace()),
      next_(next) {
  const size_t carryRoom = find.size() - 1;
  const size_t newUnits = std::max<size_t>(bufferUnits, 1);
  // Room for a whole buffer's output when the replacement is not longer
  // than find, and always for at least one occurrence.
  outputUnits_ = newUnits + find.size() + replacement.size() + kernels::kReplaceSlack;
  output_.resize(outputUnits_);
  storage_.resize(carryRoom + kCacheLineUnits + newUnits);
  base_ = static_cast<size_t>(AlignedToCacheLine(storage_.data() + carryRoom) - storage_.data());
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
  const size_t f = pattern_.Find().size();
  // Every position from which an occurrence would still fit is searched;
  // the units after the last of them may begin one that the next piece
  // completes, so they stay until then.
  const size_t searchEnd = atEnd ? used : used - std::min(used, f - 1);
  size_t k = 0;  // first unit not yet handed on
  while (k < searchEnd) {
    const size_t span =
        kernels::SpanForRoom(output_.size() - outputUsed_, f, pattern_.Replacement().size());
    if (span == 0) {
      HandOnOutput();
      continue;
    }
    const kernels::ReplaceStep step = replace_(text, used, k, std::min(searchEnd, k + span),
                                               pattern_, output_.data() + outputUsed_);
    outputUsed_ += step.written;
    occurrences_ += step.occurrences;
    k = step.next;
  }
  HandOnOutput();
  const size_t carry = used - k;
  std::memmove(storage_.data() + base_ - carry, text + k, carry * sizeof(char16_t));
  begin_ = base_ - carry;
  end_ = base_;
}

void StreamReplacer::HandOnOutput() {
  if (outputUsed_ > 0) {
    next_.AppendBuffer(output_, outputUsed_);
    // The sink may have kept the buffer and left another one.
    if (output_.size() < outputUnits_) output_.resize(outputUnits_);
  }
  outputUsed_ = 0;
}

}  // namespace picrelink
