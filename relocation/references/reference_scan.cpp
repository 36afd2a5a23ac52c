#include "relocation/references/reference_scan.h"

#include <algorithm>
#include <utility>

#include "core/find_unit.h"
#include "core/freplace.h"

namespace picrelink {
namespace {

// The longest end of text that begins src="" without completing it.
size_t TailBeginningHead(std::u16string_view text) {
  for (size_t k = std::min(text.size(), kSrcHead.size() - 1); k > 0; --k) {
    if (text.substr(text.size() - k) == kSrcHead.substr(0, k)) return k;
  }
  return 0;
}

}  // namespace

ReferenceScanner::ReferenceScanner(Classifier classify, Sink sink, size_t maxValueUnits)
    : classify_(std::move(classify)), sink_(std::move(sink)), maxValueUnits_(maxValueUnits) {}

uint64_t ReferenceScanner::HeldFrom() const {
  if (state_ == State::Searching) return fed_ - partial_;
  if (truncated_) return fed_;
  return valueStart_ - kSrcHead.size();
}

void ReferenceScanner::BeginValue(uint64_t position) {
  state_ = State::Head;
  valueStart_ = position;
  valueLength_ = 0;
  value_.clear();
  truncated_ = false;
  kind_ = kNotAReference;
}

void ReferenceScanner::Decide() {
  kind_ = classify_(value_);
  if (kind_ != kNotAReference) {
    if (value_.size() > maxValueUnits_) {
      value_.resize(maxValueUnits_);
      truncated_ = true;
    }
    state_ = State::Value;
    return;
  }
  // Not a reference: the search goes on right behind its src="". The head
  // holds no quotation mark, so the only src="" that can begin inside it is
  // one that its last units begin.
  state_ = State::Searching;
  partial_ = TailBeginningHead(value_);
  value_.clear();
}

void ReferenceScanner::Emit() {
  state_ = State::Searching;
  const FoundReference found{valueStart_, valueLength_, kind_, value_, truncated_};
  if (sink_(found)) stopped_ = true;
  value_.clear();
  truncated_ = false;
}

bool ReferenceScanner::TakeWhole(std::u16string_view piece, uint64_t base, size_t& i) {
  const size_t start = i;
  const size_t n = piece.size();
  const size_t headEnd = std::min(n, start + kValueHeadUnits);
  size_t quote = FindUnit(piece.data(), headEnd, u'"', start);
  int kind = kNotAReference;
  if (quote == headEnd) {
    if (headEnd - start < kValueHeadUnits) return false;  // the piece ends in the head
    kind = classify_(piece.substr(start, kValueHeadUnits));
    if (kind == kNotAReference) return true;  // the search goes on right behind src=""
    quote = FindUnit(piece.data(), n, u'"', headEnd);
    if (quote == n) return false;  // the value goes on in the next piece
  } else {
    kind = classify_(piece.substr(start, quote - start));
    if (kind == kNotAReference) return true;
  }
  const size_t length = quote - start;
  const size_t kept = std::min(length, maxValueUnits_);
  i = quote + 1;  // the closing quotation mark belongs to the reference
  fed_ = base + i;
  const FoundReference found{base + start, length, kind, piece.substr(start, kept), kept < length};
  if (sink_(found)) stopped_ = true;
  return true;
}

void ReferenceScanner::Feed(std::u16string_view piece) {
  const uint64_t base = fed_;
  const size_t n = piece.size();
  size_t i = 0;
  while (i < n && !stopped_) {
    switch (state_) {
      case State::Searching: {
        if (partial_ > 0) {
          // A src="" begun by the last piece.
          if (piece[i] == kSrcHead[partial_]) {
            ++i;
            if (++partial_ == kSrcHead.size()) {
              partial_ = 0;
              BeginValue(base + i);
            }
          } else {
            partial_ = 0;  // piece[i] is looked at again as a possible start
          }
          break;
        }
        const size_t found = FindOccurrence(piece.data(), n, kSrcHead, false, i);
        if (found == kNoOccurrence) {
          partial_ = TailBeginningHead(piece.substr(i));
          i = n;
          break;
        }
        i = found + kSrcHead.size();
        // Most values lie whole in the piece: decided and reported from the
        // piece itself. A value that the piece's end cuts is gathered.
        if (!TakeWhole(piece, base, i)) BeginValue(base + i);
        break;
      }
      case State::Head: {
        const size_t stop = std::min(n, i + (kValueHeadUnits - value_.size()));
        const size_t found = FindUnit(piece.data(), stop, u'"', i);
        const size_t quote = found == stop ? std::u16string_view::npos : found;
        const size_t end = found;
        value_.append(piece.substr(i, end - i));
        valueLength_ += end - i;
        i = end;
        if (quote != std::u16string_view::npos || value_.size() == kValueHeadUnits) Decide();
        break;
      }
      case State::Value: {
        const size_t end = FindUnit(piece.data(), n, u'"', i);
        const size_t quote = end == n ? std::u16string_view::npos : end;
        const size_t room = maxValueUnits_ > value_.size() ? maxValueUnits_ - value_.size() : 0;
        const size_t take = std::min(room, end - i);
        value_.append(piece.substr(i, take));
        if (take < end - i) truncated_ = true;
        valueLength_ += end - i;
        i = end;
        if (quote != std::u16string_view::npos) {
          ++i;  // the closing quotation mark belongs to the reference
          fed_ = base + i;
          Emit();
        }
        break;
      }
    }
  }
  fed_ = base + n;
}

void ReferenceScanner::Finish() {
  // A value that no quotation mark closes is no reference.
  state_ = State::Searching;
  partial_ = 0;
  value_.clear();
  truncated_ = false;
}

void ScanReferences(std::u16string_view text, const ReferenceScanner::Classifier& classify,
                    const ReferenceScanner::Sink& sink) {
  ReferenceScanner scanner(classify, sink);
  scanner.Feed(text);
  scanner.Finish();
}

}  // namespace picrelink
