#pragma once
// relocation/references/: how a CSV names its pictures.
//   in:  the CSV's bytes (csv_encoding judges them, csv_pieces reads them in
//        pieces on a thread of its own) and the level text;
//   out: every src="" reference with its position, form and value
//        (reference_scan, reference_forms, reference_spelling), the first one
//        of each form (detection_stream) and the folder detection returns
//        (detection; regexpr is the pattern engine's face over the scan).
// Used by run/ (what to rewrite), census/ (what to count) and session/.
//
// Picture references in a CSV text: every src="" whose value, up to the next
// quotation mark, begins in a way the caller recognises. One left-to-right
// scan, linear in the text, over a whole text or over pieces of any size.
//
// A recognised value is taken up to its closing quotation mark and the scan
// goes on behind it; a value that is not recognised is passed over right
// behind its src="", so a src="" that begins inside it is still seen. That
// is how a leftmost-first search for src=""(<head>.*?)" finds each match in
// turn.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "core/find_unit.h"
#include "relocation/references/src_search.h"

namespace picrelink {

inline constexpr std::u16string_view kSrcHead = kSrcHeadText;

// How much of a value decides what it is: enough for the longest spelling
// head (file://localhost/D:/).
inline constexpr size_t kValueHeadUnits = 24;

// What a value is, said from its head: a kind of the caller's (0 or more),
// or kNotAReference.
inline constexpr int kNotAReference = -1;

struct FoundReference {
  uint64_t position = 0;  // of the value's first unit in the whole text, 0-based
  uint64_t length = 0;    // units of the value, up to its closing quotation mark
  int kind = kNotAReference;
  // The value; only its first maxValueUnits units when truncated.
  std::u16string_view value;
  bool truncated = false;
};

template <typename ClassifyFn>
concept TakesEveryValue = requires {
  requires ClassifyFn::kTakesEveryValue;
};

namespace scan_detail {
// The longest end of text that begins src="" without completing it.
size_t TailBeginningHead(std::u16string_view text);
}  // namespace scan_detail

// ClassifyFn: int(std::u16string_view head), where head is the value's first
// units, kValueHeadUnits of them or the whole value when it is shorter. A
// classifier that never answers kNotAReference says so with a static member
// kTakesEveryValue = true: the scan then finds each value's closing mark in
// one search rather than looking at its head first.
// SinkFn: bool(const FoundReference&), called for each recognised value in
// order; returns true to stop the scan.
//
// A template so that a scan that runs over every reference of a large text
// (the census) has its classifier and sink inlined; ReferenceScanner below,
// with std::function, serves every other caller.
template <typename ClassifyFn, typename SinkFn>
class BasicReferenceScanner {
 public:
  using Classifier = ClassifyFn;
  using Sink = SinkFn;

  BasicReferenceScanner(ClassifyFn classify, SinkFn sink,
                        size_t maxValueUnits = std::numeric_limits<size_t>::max())
      : classify_(std::move(classify)), sink_(std::move(sink)), maxValueUnits_(maxValueUnits) {}

  // The next piece of the text. Does nothing once the scan has stopped.
  void Feed(std::u16string_view piece) { Run<false>(piece); }
  // Feeds the piece's first units only up to where the scan searches afresh:
  // no value and no part of a src="" is pending, so that what follows is
  // scanned as a scan that begins at Position() would scan it. Returns how
  // many units it fed: all of the piece when that point lies beyond it, 0
  // when the scan is there already.
  size_t FeedToSearch(std::u16string_view piece) { return Run<true>(piece); }
  // The end of the text: a value that no quotation mark closes is no reference.
  void Finish();

  bool Stopped() const { return stopped_; }
  // Whether the scan searches afresh from Position(): no value and no part
  // of a src="" is pending (as after FeedToSearch found that point).
  bool SearchesAfresh() const { return state_ == State::Searching && partial_ == 0; }
  // Units fed so far.
  uint64_t Position() const { return fed_; }
  // The earliest position of the text fed so far that may still belong to a
  // reference reported whole later (its src=""); Position() when none.
  uint64_t HeldFrom() const {
    if (state_ == State::Searching) return fed_ - partial_;
    if (truncated_) return fed_;
    return valueStart_ - kSrcHead.size();
  }

 private:
  enum class State { Searching, Head, Value };

  // The value that begins at piece[i], when the piece holds enough of it to
  // decide: reported, or found to be none, and i moved on. False when the
  // piece ends too early; nothing is changed then.
  bool TakeWhole(std::u16string_view piece, uint64_t base, size_t& i);
  void BeginValue(uint64_t position);
  // Classifies the gathered head; on no match, scans its units again.
  void Decide();
  void Emit();
  // Feed, or FeedToSearch when toSearch.
  template <bool toSearch>
  size_t Run(std::u16string_view piece);

  ClassifyFn classify_;
  SinkFn sink_;
  size_t maxValueUnits_;

  State state_ = State::Searching;
  bool stopped_ = false;
  uint64_t fed_ = 0;
  size_t partial_ = 0;  // units of src="" matched at the end of the last piece
  uint64_t valueStart_ = 0;
  uint64_t valueLength_ = 0;
  int kind_ = kNotAReference;
  std::u16string value_;  // the value gathered so far, at most maxValueUnits_
  bool truncated_ = false;
};

using ReferenceScanner = BasicReferenceScanner<std::function<int(std::u16string_view head)>,
                                               std::function<bool(const FoundReference&)>>;

// Every recognised value of a whole text, in order, with Classifier and Sink
// as above.
void ScanReferences(std::u16string_view text, const ReferenceScanner::Classifier& classify,
                    const ReferenceScanner::Sink& sink);

template <typename ClassifyFn, typename SinkFn>
void BasicReferenceScanner<ClassifyFn, SinkFn>::BeginValue(uint64_t position) {
  state_ = State::Head;
  valueStart_ = position;
  valueLength_ = 0;
  value_.clear();
  truncated_ = false;
  kind_ = kNotAReference;
}

template <typename ClassifyFn, typename SinkFn>
void BasicReferenceScanner<ClassifyFn, SinkFn>::Decide() {
  kind_ = classify_(std::u16string_view(value_));
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
  partial_ = scan_detail::TailBeginningHead(value_);
  value_.clear();
}

template <typename ClassifyFn, typename SinkFn>
void BasicReferenceScanner<ClassifyFn, SinkFn>::Emit() {
  state_ = State::Searching;
  const FoundReference found{valueStart_, valueLength_, kind_, value_, truncated_};
  if (sink_(found)) stopped_ = true;
  value_.clear();
  truncated_ = false;
}

template <typename ClassifyFn, typename SinkFn>
inline bool BasicReferenceScanner<ClassifyFn, SinkFn>::TakeWhole(std::u16string_view piece,
                                                                 uint64_t base, size_t& i) {
  const size_t start = i;
  const size_t n = piece.size();
  size_t quote = n;
  int kind = kNotAReference;
  if constexpr (TakesEveryValue<ClassifyFn>) {
    // Nothing to decide from the head: the value runs to its closing mark.
    quote = FindUnit(piece.data(), n, u'"', start);
    if (quote == n) return false;  // the value goes on in the next piece
    kind = classify_(piece.substr(start, std::min(kValueHeadUnits, quote - start)));
  } else {
    const size_t headEnd = std::min(n, start + kValueHeadUnits);
    quote = FindUnit(piece.data(), headEnd, u'"', start);
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
  }
  const size_t length = quote - start;
  const size_t kept = std::min(length, maxValueUnits_);
  i = quote + 1;  // the closing quotation mark belongs to the reference
  fed_ = base + i;
  const FoundReference found{base + start, length, kind, piece.substr(start, kept), kept < length};
  if (sink_(found)) stopped_ = true;
  return true;
}

template <typename ClassifyFn, typename SinkFn>
template <bool toSearch>
size_t BasicReferenceScanner<ClassifyFn, SinkFn>::Run(std::u16string_view piece) {
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
        if constexpr (toSearch) {
          fed_ = base + i;
          return i;
        }
        // Most values lie whole in the piece: decided and reported from the
        // piece itself, one after another. A value that the piece's end cuts
        // is gathered.
        while (true) {
          const size_t found = FindSrcHead(piece.data(), n, i);
          if (found == kNoOccurrence) {
            partial_ = scan_detail::TailBeginningHead(piece.substr(i));
            i = n;
            break;
          }
          i = found + kSrcHead.size();
          if (!TakeWhole(piece, base, i)) {
            BeginValue(base + i);
            break;
          }
          if (stopped_) break;
        }
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
  return n;
}

template <typename ClassifyFn, typename SinkFn>
void BasicReferenceScanner<ClassifyFn, SinkFn>::Finish() {
  // A value that no quotation mark closes is no reference.
  state_ = State::Searching;
  partial_ = 0;
  value_.clear();
  truncated_ = false;
}

extern template class BasicReferenceScanner<std::function<int(std::u16string_view head)>,
                                            std::function<bool(const FoundReference&)>>;

}  // namespace picrelink
