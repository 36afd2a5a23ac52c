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

namespace picrelink {

inline constexpr std::u16string_view kSrcHead = u"src=\"\"";

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

class ReferenceScanner {
 public:
  // head: the value's first units, kValueHeadUnits of them or the whole
  // value when it is shorter.
  using Classifier = std::function<int(std::u16string_view head)>;
  // Called for each recognised value, in order; returns true to stop the scan.
  using Sink = std::function<bool(const FoundReference&)>;

  ReferenceScanner(Classifier classify, Sink sink,
                   size_t maxValueUnits = std::numeric_limits<size_t>::max());

  // The next piece of the text. Does nothing once the scan has stopped.
  void Feed(std::u16string_view piece);
  // The end of the text: a value that no quotation mark closes is no reference.
  void Finish();

  bool Stopped() const { return stopped_; }
  // Units fed so far.
  uint64_t Position() const { return fed_; }
  // The earliest position of the text fed so far that may still belong to a
  // reference reported whole later (its src=""); Position() when none.
  uint64_t HeldFrom() const;

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

  Classifier classify_;
  Sink sink_;
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

// Every recognised value of a whole text, in order, with Classifier and Sink
// as above.
void ScanReferences(std::u16string_view text, const ReferenceScanner::Classifier& classify,
                    const ReferenceScanner::Sink& sink);

}  // namespace picrelink
