#include "relocation/run/first_of_replacer.h"

#include <algorithm>
#include <utility>

#include "core/error.h"
#include "core/freplace.h"

namespace picrelink {

FirstOfReplacer::FirstOfReplacer(std::vector<Pattern> patterns, TextSink& next, size_t bufferUnits)
    : patterns_(std::move(patterns)),
      next_(next),
      bufferUnits_(std::max<size_t>(bufferUnits, 1)),
      occurrences_(patterns_.size(), 0) {
  for (const Pattern& pattern : patterns_) {
    if (pattern.find.empty()) throw Error("ReplaceAll: the text to find is empty");
    longest_ = std::max(longest_, pattern.find.size());
  }
}

void FirstOfReplacer::Append(const char16_t* units, size_t count) {
  pending_.append(units, count);
  if (pending_.size() >= bufferUnits_ + longest_) Process(false);
}

void FirstOfReplacer::Finish() { Process(true); }

void FirstOfReplacer::Process(bool atEnd) {
  const std::u16string_view text = pending_;
  // An occurrence that begins before searchEnd fits in the text held, so
  // whether each pattern occurs there is settled; later starts wait for
  // more text, unless the text has ended.
  const size_t searchEnd = atEnd ? text.size() : text.size() - std::min(text.size(), longest_ - 1);
  // The next occurrence of each pattern at or after the sweep's position,
  // found again only once the sweep has passed it.
  std::vector<size_t> next(patterns_.size(), 0);
  std::vector<bool> known(patterns_.size(), false);
  std::u16string out;
  size_t at = 0;
  while (at < searchEnd) {
    size_t best = kNoOccurrence;
    size_t which = 0;
    for (size_t i = 0; i < patterns_.size(); ++i) {
      if (!known[i] || (next[i] != kNoOccurrence && next[i] < at)) {
        next[i] = FindOccurrence(text.data(), text.size(), patterns_[i].find, true, at);
        known[i] = true;
      }
      if (next[i] < best) {
        best = next[i];
        which = i;
      }
    }
    if (best == kNoOccurrence || best >= searchEnd) break;
    out.append(text.substr(at, best - at));
    out.append(patterns_[which].replacement);
    ++occurrences_[which];
    at = best + patterns_[which].find.size();
  }
  const size_t keep = std::max(at, searchEnd);
  out.append(text.substr(at, keep - at));
  if (!out.empty()) next_.Append(out.data(), out.size());
  pending_.erase(0, keep);
}

}  // namespace picrelink
