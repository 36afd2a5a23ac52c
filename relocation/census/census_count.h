#pragma once
// Counting a CSV's whole text into a census: on the caller's thread alone,
// or, for a large text, its second part on a thread of its own at the same
// time, the two parts' counts then joined into exactly what one scan over
// the whole text counts.
//
// The scan's state where the second part begins depends on the text before
// it: a value begun before it runs on to its closing quotation mark. So the
// first part's scan goes on past the split until it searches afresh (the
// value it is in closed); when no src="" begins between the split and that
// point, the scan from there meets the same src="" first as the second
// part's scan from the split, and from there on the two are the same. When
// one does begin there, or when the counts cannot be joined exactly (the
// second part's folder table or list of local folders ran full, it met an
// error), the first part's scan goes on over the rest of the text itself, as
// on one thread.
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string_view>

#include "relocation/census/census.h"
#include "relocation/census/picture_check.h"

namespace picrelink {

// Texts of at least this many code units (8 MB) are counted in two parts:
// below it, the second thread's start and second read are not worth it.
inline constexpr uint64_t kTwoPartCensusUnits = uint64_t{4} << 20;

// splitAt for CountCsvText: in two parts at the text's middle when it holds
// at least kTwoPartCensusUnits.
inline constexpr uint64_t kSplitInTheMiddle = ~uint64_t{0};

// How a count went.
enum class CountedAs {
  OneThread,    // the whole text on the caller's thread
  TwoParts,     // the second part's counts joined to the first's
  FirstWentOn,  // the second part's counts thrown away: the first part's scan went on
};

// Counts every reference of the CSV's text (a missing or unmarked text has
// none) into census and checker, the counts by spelling put under their
// names; sets census.hasText. splitAt: the code unit of the text where the
// second part begins; 0 or one at or past the text's end counts on one
// thread. levelError, when set, is thrown at the first reference counted.
// progress and cancel as CheckCsv takes them; progress is called on the
// caller's thread only, with the units both parts have read.
CountedAs CountCsvText(std::u16string_view csvPath, Census& census, bool oneHigher,
                       PictureChecker* checker, const std::exception_ptr& levelError,
                       const std::function<void(uint64_t read, uint64_t total)>& progress,
                       const std::atomic<bool>* cancel, uint64_t splitAt);

}  // namespace picrelink
