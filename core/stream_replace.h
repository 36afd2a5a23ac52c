#pragma once
// ReplaceAll over a text that arrives in pieces: the same occurrences, the
// same result, in memory bounded by the buffer whatever the text's length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/replace_span.h"
#include "core/unit_buffer.h"

namespace picrelink {

// Receives a text piece by piece.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Append(const char16_t* units, size_t count) = 0;
  // The same for the first count units of a buffer that the caller fills
  // again afterwards. A sink that queues buffers may keep this one as it is
  // and leave another in its place, of any size and content, rather than
  // copy it.
  virtual void AppendBuffer(UnitBuffer& buffer, size_t count) { Append(buffer.data(), count); }
};

// Replaces every occurrence of find by replacement in the text appended to
// it, leftmost first and without overlap, exactly as ReplaceAll does over the
// whole text (caseSensitive off folds ASCII letters; an empty replacement
// always matches exactly), and hands the result on to next. An occurrence
// cut by a piece boundary is found: the last find.size() - 1 code units of a
// buffer are carried over until more text or Finish decides them.
class StreamReplacer : public TextSink {
 public:
  static constexpr size_t kDefaultBufferUnits = size_t{1} << 18;

  // Throws Error for an empty find text, as ReplaceAll does. bufferUnits
  // (at least 1) is how much new text is gathered before it is searched.
  StreamReplacer(std::u16string_view find, std::u16string_view replacement, bool caseSensitive,
                 TextSink& next, size_t bufferUnits = kDefaultBufferUnits);

  void Append(const char16_t* units, size_t count) override;
  // The same without a copy, for a producer that can write in place (a file
  // read): up to FreeUnits() units written at FreeSpace(), then Appended.
  char16_t* FreeSpace() { return storage_.data() + end_; }
  size_t FreeUnits() const { return capacity_ - end_; }
  void Appended(size_t count);
  // The end of the text: hands on what was carried over. Call it once, last.
  void Finish();

  int64_t Occurrences() const { return occurrences_; }

 private:
  // Searches the buffer and hands on everything that no later text can
  // change; at the end of the text, everything.
  void Process(bool atEnd);
  void HandOnOutput();

  kernels::ReplacePattern pattern_;
  kernels::ReplaceFunction replace_;
  TextSink& next_;
  // The replaced text, handed on in one piece per buffer rather than one
  // per gap and occurrence.
  UnitBuffer output_;
  size_t outputUnits_ = 0;  // what output_ holds, given back or not
  size_t outputUsed_ = 0;
  // The text not yet decided is storage_[begin_, end_). New text is gathered
  // from base_ on, which begins a cache line (core/cache_line.h). The units
  // carried over go right before base_, into room kept for them.
  UnitBuffer storage_;
  size_t base_ = 0;
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t capacity_ = 0;  // end of the room for new text
  int64_t occurrences_ = 0;
};

}  // namespace picrelink
