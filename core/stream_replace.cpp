#include "core/stream_replace.h"

#include <algorithm>
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
  // Room for the carried-over units and at least one new one, so that every
  // Process decides at least one candidate position.
  buffer_.resize(std::max<size_t>(bufferUnits, 1) + find_.size() - 1);
}

void StreamReplacer::Append(const char16_t* units, size_t count) {
  while (count > 0) {
    const size_t n = std::min(count, buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, units, n * sizeof(char16_t));
    used_ += n;
    units += n;
    count -= n;
    if (used_ == buffer_.size()) Process(false);
  }
}

void StreamReplacer::Appended(size_t count) {
  used_ += std::min(count, buffer_.size() - used_);
  if (used_ == buffer_.size()) Process(false);
}

void StreamReplacer::Finish() { Process(true); }

void StreamReplacer::Process(bool atEnd) {
  const char16_t* text = buffer_.data();
  size_t k = 0;  // first unit not yet handed on
  for (;;) {
    const size_t p = FindOccurrence(text, used_, find_, foldAscii_, k);
    if (p == kNoOccurrence) break;
    if (p > k) next_.Append(text + k, p - k);
    if (!replacement_.empty()) next_.Append(replacement_.data(), replacement_.size());
    k = p + find_.size();
    ++occurrences_;
  }
  // Every position from which an occurrence would still fit has been
  // searched; the units after the last of them may begin one that the next
  // piece completes, so they stay.
  const size_t keepFrom = atEnd ? used_ : std::max(k, used_ - std::min(used_, find_.size() - 1));
  if (keepFrom > k) next_.Append(text + k, keepFrom - k);
  std::memmove(buffer_.data(), text + keepFrom, (used_ - keepFrom) * sizeof(char16_t));
  used_ -= keepFrom;
}

}  // namespace picrelink
