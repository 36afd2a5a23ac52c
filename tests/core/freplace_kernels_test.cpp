// Every form of the search (scalar, SSE2, AVX2 and the one FindOccurrence
// picks) and of the replacing sweep against naive ones, on texts made to trip
// up the vector forms: both cases of letters, units whose low byte looks like
// a letter, and occurrences on every side of the 8-, 16- and 32-lane block
// edges.
#include "core/freplace_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/freplace.h"
#include "core/replace_span.h"

namespace picrelink::kernels {
namespace {

struct SearchForm {
  const char* name;
  FindFunction find;
  bool (*available)();
};

void PrintTo(const SearchForm& form, std::ostream* os) { *os << form.name; }

bool Always() { return true; }

size_t Dispatched(const char16_t* text, size_t length, std::u16string_view find, bool foldAscii,
                  size_t from) {
  return FindOccurrence(text, length, find, foldAscii, from);
}

std::vector<SearchForm> Forms() {
  std::vector<SearchForm> forms = {{"Scalar", &FindScalar, &Always},
                                   {"Dispatched", &Dispatched, &Always}};
#if defined(PICRELINK_HAVE_X86_SEARCH)
  forms.push_back({"Sse2", &FindSse2, &Always});
  forms.push_back({"Avx2", &FindAvx2, &CpuHasAvx2});
#endif
  return forms;
}

class EveryForm : public ::testing::TestWithParam<SearchForm> {
 protected:
  void SetUp() override {
    if (!GetParam().available()) GTEST_SKIP() << "this CPU cannot run " << GetParam().name;
  }
  size_t Find(std::u16string_view text, std::u16string_view find, bool foldAscii,
              size_t from) const {
    return GetParam().find(text.data(), text.size(), find, foldAscii, from);
  }
};

// ---- Naive reference ----

char16_t NaiveFold(char16_t c) {
  constexpr std::u16string_view lower = u"abcdefghijklmnopqrstuvwxyz";
  constexpr std::u16string_view upper = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const size_t i = lower.find(c);
  return i == std::u16string_view::npos ? c : upper[i];
}

bool NaiveMatchAt(std::u16string_view text, size_t at, std::u16string_view find, bool fold) {
  if (at + find.size() > text.size()) return false;
  for (size_t i = 0; i < find.size(); ++i) {
    const char16_t a = text[at + i];
    const char16_t b = find[i];
    if (fold ? NaiveFold(a) != NaiveFold(b) : a != b) return false;
  }
  return true;
}

// For every from in 0..text.size() + 1, the leftmost occurrence at or after it.
std::vector<size_t> NaiveAnswers(std::u16string_view text, std::u16string_view find, bool fold) {
  std::vector<size_t> next(text.size() + 2, kNoOccurrence);
  for (size_t at = text.size() + 1; at-- > 0;) {
    next[at] = NaiveMatchAt(text, at, find, fold) ? at : next[at + 1];
  }
  return next;
}

// ASCII letters in both cases; U+0161, U+0141 and U+FF41, whose low bytes
// are those of a, A and A; U+56FE; and "@" and "`", which sit next to the
// letters and differ from them by 0x20 and one more bit.
constexpr std::u16string_view kAlphabet = u"aAbB\u0161\u0141\uFF41\u56FE@`";

std::u16string RandomText(std::mt19937& rng, std::u16string_view letters, size_t length) {
  std::uniform_int_distribution<size_t> pick(0, letters.size() - 1);
  std::u16string text(length, u' ');
  for (char16_t& c : text) c = letters[pick(rng)];
  return text;
}

// The same text with some ASCII letters in their other case.
std::u16string FlipSomeCases(std::mt19937& rng, std::u16string text) {
  for (char16_t& c : text) {
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (letter && rng() % 2 == 0) c = static_cast<char16_t>(c ^ 0x20);
  }
  return text;
}

// A text over a few letters of kAlphabet and a find over the same letters,
// half the time taken from the text: most long finds occur only then.
struct RandomCase {
  std::u16string text;
  std::u16string find;
};

RandomCase MakeRandomCase(std::mt19937& rng, size_t maxTextLength, bool fold) {
  std::uniform_int_distribution<size_t> letterCount(2, 4);
  std::uniform_int_distribution<size_t> letterPick(0, kAlphabet.size() - 1);
  // Finds below 8, from 8, from 16 and from 32 units are compared by
  // different code.
  std::uniform_int_distribution<size_t> findLength(1, 40);
  std::u16string letters;
  for (size_t n = letterCount(rng); n > 0; --n) letters += kAlphabet[letterPick(rng)];
  RandomCase c;
  c.text = RandomText(rng, letters, rng() % (maxTextLength + 1));
  c.find = RandomText(rng, letters, findLength(rng));
  if (rng() % 2 == 0 && !c.text.empty()) {
    c.find = c.text.substr(rng() % c.text.size(), c.find.size());
    if (fold) c.find = FlipSomeCases(rng, c.find);
  }
  return c;
}

TEST_P(EveryForm, AgreesWithANaiveSearchOnRandomTexts) {
  std::mt19937 rng(7120);
  for (int i = 0; i < 20000; ++i) {
    const bool fold = (i % 2) == 0;
    const auto [text, find] = MakeRandomCase(rng, 200, fold);
    const std::vector<size_t> expected = NaiveAnswers(text, find, fold);
    const size_t from = rng() % (text.size() + 2);
    SCOPED_TRACE(::testing::Message()
                 << "case " << i << " text " << ::testing::PrintToString(text) << " find "
                 << ::testing::PrintToString(find) << " fold " << fold << " from " << from);
    ASSERT_EQ(Find(text, find, fold, from), expected[from]);
    ASSERT_EQ(Find(text, find, fold, 0), expected[0]);
  }
}

// Offsets at which an occurrence starts: the edges of 8-, 16- and 32-lane
// blocks, counted from 0 as a search from the start counts them.
constexpr size_t kEdgeOffsets[] = {0, 1, 2, 6, 7, 8, 9, 14, 15, 16, 17, 30, 31, 32, 33, 47, 48, 49};

TEST_P(EveryForm, FindsOccurrencesAroundVectorWidths) {
  std::mt19937 rng(3301);
  for (size_t n = 0; n <= 70; ++n) {
    for (size_t f = 1; f <= 20 && f <= n; ++f) {
      std::vector<size_t> offsets;
      for (size_t q : kEdgeOffsets) {
        if (q + f <= n) offsets.push_back(q);
      }
      offsets.push_back(n - f);  // ending on the last unit
      if (n - f >= 1) offsets.push_back(n - f - 1);
      for (size_t q : offsets) {
        for (const bool fold : {false, true}) {
          const std::u16string find = RandomText(rng, kAlphabet, f);
          std::u16string text = RandomText(rng, kAlphabet, n);
          // A near miss first: same first and last unit, one unit between
          // them changed only in its high byte (or the last one, for the
          // shortest finds), so that its low byte still looks the same.
          if (q >= 1) {
            std::u16string decoy = fold ? FlipSomeCases(rng, find) : find;
            char16_t& changed = decoy[f >= 3 ? f / 2 : f - 1];
            changed = static_cast<char16_t>(changed ^ 0x0100);
            const size_t at = q - 1 - std::min<size_t>(q - 1, rng() % 9);
            text.replace(at, f, decoy);
          }
          text.replace(q, f, fold ? FlipSomeCases(rng, find) : find);
          const std::vector<size_t> expected = NaiveAnswers(text, find, fold);
          for (size_t from = 0; from <= n + 1; ++from) {
            ASSERT_EQ(Find(text, find, fold, from), expected[from])
                << "text " << ::testing::PrintToString(text) << " find "
                << ::testing::PrintToString(find) << " fold " << fold << " from " << from;
          }
        }
      }
    }
  }
}

// Reads stay inside the text: the text sits at the very end of its buffer,
// and the units after it would make every candidate there match.
TEST_P(EveryForm, StopsAtTheEndOfTheText) {
  for (size_t n = 1; n <= 70; ++n) {
    std::u16string buffer(n + 40, u'a');
    for (size_t i = 0; i < n; ++i) buffer[i] = u'b';
    const std::u16string_view text(buffer.data(), n);
    for (size_t f = 1; f <= 20 && f <= n + 1; ++f) {
      const std::u16string find(f, u'A');
      for (size_t from = 0; from <= n; ++from) {
        ASSERT_EQ(Find(text, find, true, from), kNoOccurrence) << n << " " << f << " " << from;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, EveryForm, ::testing::ValuesIn(Forms()),
                         [](const ::testing::TestParamInfo<SearchForm>& param) {
                           return std::string(param.param.name);
                         });

// ---- The replacing sweep ----

struct ReplaceForm {
  const char* name;
  ReplaceFunction replace;
  bool (*available)();
};

void PrintTo(const ReplaceForm& form, std::ostream* os) { *os << form.name; }

std::vector<ReplaceForm> ReplaceForms() {
  std::vector<ReplaceForm> forms = {{"Scalar", &ReplaceScalar, &Always},
                                    {"Dispatched", BestReplace(), &Always}};
#if defined(PICRELINK_HAVE_X86_SEARCH)
  forms.push_back({"Sse2", &ReplaceSse2, &Always});
  forms.push_back({"Avx2", &ReplaceAvx2, &CpuHasAvx2});
#endif
  return forms;
}

struct NaiveStep {
  std::u16string out;
  size_t next = 0;
  int64_t occurrences = 0;
};

// Unit by unit: an occurrence that starts before searchEnd and lies inside
// the text is replaced, any other unit copied.
NaiveStep NaiveReplace(std::u16string_view text, size_t from, size_t searchEnd,
                       std::u16string_view find, std::u16string_view replacement, bool fold) {
  NaiveStep step;
  size_t p = from;
  while (p < searchEnd) {
    if (NaiveMatchAt(text, p, find, fold)) {
      step.out += replacement;
      p += find.size();
      ++step.occurrences;
    } else {
      step.out += text[p++];
    }
  }
  step.next = std::max(p, from);
  return step;
}

class EveryReplaceForm : public ::testing::TestWithParam<ReplaceForm> {
 protected:
  void SetUp() override {
    if (!GetParam().available()) GTEST_SKIP() << "this CPU cannot run " << GetParam().name;
  }
  // Runs the form into a buffer of exactly the room it may use, so that a
  // write past it is caught by the sanitizer build.
  void ExpectNaiveResult(std::u16string_view text, size_t from, size_t searchEnd,
                         std::u16string_view find, std::u16string_view replacement, bool fold) {
    const NaiveStep expected = NaiveReplace(text, from, searchEnd, find, replacement, fold);
    const ReplacePattern pattern(find, replacement, fold);
    const size_t span = searchEnd > from ? searchEnd - from : 0;
    const size_t most = MaxReplaceOutput(span, find.size(), replacement.size());
    std::vector<char16_t> out(most + kReplaceSlack, u'\0');
    const ReplaceStep step =
        GetParam().replace(text.data(), text.size(), from, searchEnd, pattern, out.data());
    SCOPED_TRACE(::testing::Message()
                 << "text " << ::testing::PrintToString(std::u16string(text)) << " find "
                 << ::testing::PrintToString(std::u16string(find)) << " replacement "
                 << ::testing::PrintToString(std::u16string(replacement)) << " fold " << fold
                 << " from " << from << " searchEnd " << searchEnd);
    ASSERT_EQ(step.next, expected.next);
    ASSERT_EQ(step.occurrences, expected.occurrences);
    ASSERT_LE(step.written, most);
    ASSERT_EQ(std::u16string(out.data(), step.written), expected.out);
  }
};

TEST_P(EveryReplaceForm, AgreesWithANaiveSweepOnRandomTexts) {
  std::mt19937 rng(4417);
  std::uniform_int_distribution<size_t> replacementLength(0, 40);
  for (int i = 0; i < 20000; ++i) {
    const bool fold = (i % 2) == 0;
    const auto [text, find] = MakeRandomCase(rng, 220, fold);
    const std::u16string replacement = RandomText(rng, kAlphabet, replacementLength(rng));
    // Half the sweeps end where a piece of a longer text would: one find's
    // length before the end of what is there.
    const size_t searchEnd = rng() % 2 == 0 ? text.size() - std::min(text.size(), find.size() - 1)
                                            : rng() % (text.size() + 1);
    const size_t from = rng() % (text.size() + 1);
    ExpectNaiveResult(text, from, searchEnd, find, replacement, fold);
    if (HasFatalFailure()) return;
  }
}

// Occurrences next to each other, at the block edges, running past
// searchEnd, and cut by the end of the text.
TEST_P(EveryReplaceForm, ReplacesAroundVectorWidths) {
  std::mt19937 rng(905);
  for (size_t n = 0; n <= 100; n += (n < 72 ? 1 : 7)) {
    for (const size_t f : {size_t{1}, size_t{2}, size_t{5}, size_t{8}, size_t{16}, size_t{17},
                           size_t{33}}) {
      if (f > n) continue;
      for (const size_t r : {size_t{0}, size_t{1}, f, size_t{16}, size_t{31}, 2 * f + 3}) {
        for (const bool fold : {false, true}) {
          const std::u16string find = RandomText(rng, kAlphabet, f);
          std::u16string text = RandomText(rng, u"xyz", n);
          for (size_t q : kEdgeOffsets) {
            if (q + f <= n && rng() % 2 == 0) {
              text.replace(q, f, fold ? FlipSomeCases(rng, find) : find);
            }
          }
          const std::u16string replacement = RandomText(rng, u"RST", r);
          for (const size_t searchEnd : {n, n - (f - 1), n / 2, n / 3 + 1}) {
            for (const size_t from : {size_t{0}, size_t{1}, size_t{7}, n / 4}) {
              if (from > n || searchEnd > n) continue;
              ExpectNaiveResult(text, from, searchEnd, find, replacement, fold);
              if (HasFatalFailure()) return;
            }
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, EveryReplaceForm, ::testing::ValuesIn(ReplaceForms()),
                         [](const ::testing::TestParamInfo<ReplaceForm>& param) {
                           return std::string(param.param.name);
                         });

// A span from SpanForRoom always fits, and room for the longer of find and
// replacement beside the slack is enough for one.
TEST(SpanForRoom, FitsTheRoomAndMakesProgress) {
  std::mt19937 rng(61);
  for (int i = 0; i < 100000; ++i) {
    const size_t f = 1 + rng() % 300;
    const size_t r = rng() % 600;
    const size_t room = rng() % 5000;
    const size_t span = SpanForRoom(room, f, r);
    if (span > 0) {
      ASSERT_LE(MaxReplaceOutput(span, f, r) + kReplaceSlack, room) << f << " " << r << " " << room;
    }
    if (room >= kReplaceSlack + std::max(f, r)) {
      ASSERT_GE(span, 1u) << f << " " << r << " " << room;
    }
  }
}

}  // namespace
}  // namespace picrelink::kernels
