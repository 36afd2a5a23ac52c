// The reference scan against a plain unit-by-unit scan of the same text, over
// whole texts and texts cut into pieces anywhere, and the pattern facade that
// detection names.
#include "relocation/references/reference_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/freplace_kernels.h"
#include "core/utf.h"
#include "relocation/references/reference_forms.h"
#include "relocation/references/regexpr.h"

namespace picrelink {
namespace {

struct Listed {
  uint64_t position;
  int kind;
  std::u16string value;
  bool operator==(const Listed&) const = default;
};

std::string Describe(const std::vector<Listed>& list) {
  std::string out;
  for (const Listed& l : list) {
    out += std::to_string(l.position) + ":" + std::to_string(l.kind) + "[" + ToUtf8(l.value) + "] ";
  }
  return out;
}

// Which forms of the table a value head fits, as the scan's classifier.
int FormOf(std::u16string_view head) {
  for (size_t form = 0; form < kFormCount; ++form) {
    if (FitsForm(kReferenceForms[form], head)) return static_cast<int>(form);
  }
  return kNotAReference;
}

// The oracle: at every position from left to right, src="" followed by a value
// that fits a form and is closed by a quotation mark is a reference; the scan
// goes on behind its closing mark. Anything else moves on by one unit.
std::vector<Listed> PlainScan(std::u16string_view text,
                              int (*classify)(std::u16string_view) = FormOf) {
  std::vector<Listed> list;
  size_t i = 0;
  while (i + kSrcHead.size() <= text.size()) {
    if (text.substr(i, kSrcHead.size()) != kSrcHead) {
      ++i;
      continue;
    }
    const size_t start = i + kSrcHead.size();
    const size_t quote = text.find(u'"', start);
    const std::u16string_view value = text.substr(
        start, quote == std::u16string_view::npos ? std::u16string_view::npos : quote - start);
    const int kind = classify(value.substr(0, kValueHeadUnits));
    if (kind == kNotAReference || quote == std::u16string_view::npos) {
      ++i;
      continue;
    }
    list.push_back({start, kind, std::u16string(value)});
    i = quote + 1;
  }
  return list;
}

// Every value a reference, of a kind told by its first unit, and said so to
// the scan, which then looks only for each value's closing mark.
struct EveryValue {
  static constexpr bool kTakesEveryValue = true;
  int operator()(std::u16string_view head) const { return head.empty() ? 0 : head[0] % 3; }
};
int EveryValueOf(std::u16string_view head) { return EveryValue()(head); }

// The scan over pieces of pieceSize units (0: random sizes from 1 to 9),
// each copied into a buffer that is overwritten once the scan has seen it.
template <typename Classifier = ReferenceScanner::Classifier>
std::vector<Listed> Scan(std::u16string_view text, size_t pieceSize, std::mt19937& rng,
                         Classifier classify = FormOf) {
  std::vector<Listed> list;
  BasicReferenceScanner<Classifier, ReferenceScanner::Sink> scanner(
      classify, [&](const FoundReference& r) {
        EXPECT_EQ(r.length, r.value.size());
        list.push_back({r.position, r.kind, std::u16string(r.value)});
        return false;
      });
  std::u16string buffer;
  for (size_t at = 0; at < text.size();) {
    const size_t size = std::min(text.size() - at, pieceSize != 0 ? pieceSize : 1 + rng() % 9);
    buffer.assign(text.substr(at, size));
    scanner.Feed(buffer);
    buffer.assign(buffer.size(), u'#');
    at += size;
  }
  scanner.Finish();
  return list;
}

// Texts from pieces that make and break references at every place.
std::u16string RandomText(std::mt19937& rng) {
  static const std::u16string kParts[] = {
      u"src=\"\"", u"src=", u"\"", u"\"\"", u"D", u"q", u":", u"\\", u"/", u"file:///", u"file://",
      u"s", u"x", u"图", u"\r\n", u"src=\"\"D:\\",
      // Long enough that a value's head ends before its closing mark, and
      // that the search for src="" runs over blocks of 16 units.
      u"0123456789abcdefghij", u"s\"ss=\"\"rc=\"0123456789abcdef"};
  std::u16string text;
  const size_t parts = rng() % 24;
  for (size_t i = 0; i < parts; ++i) text += kParts[rng() % std::size(kParts)];
  return text;
}

TEST(ReferenceScanProperty, ListsWhatThePlainScanListsWholeAndInPieces) {
  std::mt19937 rng(12u);
  size_t withReferences = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::u16string text = RandomText(rng);
    const std::vector<Listed> expected = PlainScan(text);
    withReferences += !expected.empty();
    ASSERT_EQ(Describe(Scan(text, text.size() + 1, rng)), Describe(expected)) << ToUtf8(text);
    ASSERT_EQ(Describe(Scan(text, 1, rng)), Describe(expected)) << ToUtf8(text);
    ASSERT_EQ(Describe(Scan(text, 0, rng)), Describe(expected)) << ToUtf8(text);
  }
  // The generator must reach the interesting cases.
  EXPECT_GT(withReferences, 2000u);
}

TEST(ReferenceScanProperty, ScanOfEveryValueListsWhatThePlainScanLists) {
  std::mt19937 rng(1211u);
  for (int round = 0; round < 20000; ++round) {
    const std::u16string text = RandomText(rng);
    const std::vector<Listed> expected = PlainScan(text, EveryValueOf);
    for (const size_t pieceSize : {text.size() + 1, size_t{1}, size_t{0}}) {
      ASSERT_EQ(Describe(Scan(text, pieceSize, rng, EveryValue())), Describe(expected))
          << ToUtf8(text) << " pieces of " << pieceSize;
    }
  }
}

// The scan's own search for src="" against the plain search, from every
// start, over texts that put its parts and near misses at every place of a
// block.
TEST(ReferenceScanProperty, SrcSearchFindsWhatThePlainSearchFinds) {
  static const std::u16string kParts[] = {u"src=\"\"", u"s", u"\"",        u"src=\"",
                                          u"rc=\"\"",  u"x", u"src=\"x\"", u"0123456789abcde",
                                          u"图"};
  std::mt19937 rng(21u);
  size_t found = 0;
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    const size_t parts = rng() % 30;
    for (size_t i = 0; i < parts; ++i) text += kParts[rng() % std::size(kParts)];
    for (size_t from = 0; from <= text.size() + 1; ++from) {
      const size_t expected = kernels::FindScalar(text.data(), text.size(), kSrcHead, false, from);
      ASSERT_EQ(FindSrcHead(text.data(), text.size(), from), expected)
          << ToUtf8(text) << " from " << from;
      found += expected != kNoOccurrence;
    }
  }
  EXPECT_GT(found, 100000u);
}

TEST(ReferenceScanTest, MaxValueUnitsTruncatesButKeepsTheLengthAndTheScan) {
  std::vector<FoundReference> found;
  std::vector<std::u16string> values;
  ReferenceScanner scanner(
      FormOf,
      [&](const FoundReference& r) {
        found.push_back(r);
        values.emplace_back(r.value);
        return false;
      },
      4);
  scanner.Feed(u"src=\"\"D:\\long\\name.jpg\"\" src=\"\"E:\\a\"");
  scanner.Finish();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_TRUE(found[0].truncated);
  EXPECT_EQ(found[0].length, 16u);
  EXPECT_EQ(values[0], u"D:\\l");
  EXPECT_FALSE(found[1].truncated);
  EXPECT_EQ(values[1], u"E:\\a");
}

TEST(ReferenceScanTest, StopsAtTheSinksWordAndHoldsOnlyAnOpenReference) {
  int calls = 0;
  ReferenceScanner scanner(FormOf, [&](const FoundReference&) { return ++calls == 1; });
  scanner.Feed(u"ab src=\"\"D:\\x");
  EXPECT_EQ(scanner.HeldFrom(), 3u);  // the open reference's src=""
  scanner.Feed(u"\"\" src=\"\"E:\\y\"\"");
  EXPECT_TRUE(scanner.Stopped());
  EXPECT_EQ(calls, 1);
  ReferenceScanner idle(FormOf, [](const FoundReference&) { return false; });
  idle.Feed(u"abc src=");
  EXPECT_EQ(idle.HeldFrom(), 4u);  // "src=" may begin one
  idle.Feed(u"x");
  EXPECT_EQ(idle.HeldFrom(), idle.Position());
}

// ---------------------------------------------------------------------------
// The facade keeps the names detection uses.

TEST(TRegExprTest, RunsTheReferencePatterns) {
  struct Case {
    std::u16string_view pattern, text, group1;
  } const cases[] = {
      {kPathPattern, u"src=\"\"http://x\"\" src=\"\"D:/a\"\" src=\"\"D:\\p\\a.jpg\"\"",
       u"D:\\p\\a.jpg"},
      {kPathPattern, u"src=\"\"D:\\a.jpg", u""},  // no closing quotation mark
      {kPathPattern, u"SRC=\"\"D:\\a\"\" src=\"\"d:\\p\r\nq\"", u"d:\\p\r\nq"},
      {kUrlPattern, u"src=\"\"file:///D:\\a\"\" src=\"\"file:///e:/图/a.jpg\"\"",
       u"file:///e:/图/a.jpg"},
      {kUrlPattern, u"src=\"\"FILE:///D:/a\"\"", u""},
  };
  for (const Case& c : cases) {
    TRegExpr engine;
    engine.SetExpression(c.pattern);
    EXPECT_EQ(engine.Exec(c.text), !c.group1.empty()) << ToUtf8(c.text);
    EXPECT_EQ(ToUtf8(engine.Substitute(u"$1")), ToUtf8(c.group1)) << ToUtf8(c.text);
    if (!c.group1.empty()) {
      EXPECT_EQ(engine.Match(0), u"src=\"\"" + std::u16string(c.group1) + u"\"");
      EXPECT_EQ(ToUtf8(engine.Substitute(u"<$1|$0|$2|$>")),
                "<" + ToUtf8(c.group1) + "|" + ToUtf8(engine.Match(0)) + "|$2|$>");
    }
  }
}

TEST(TRegExprTest, AnyOtherPatternRaisesWhenTheSearchBegins) {
  for (const std::u16string_view pattern :
       {u"(a", u"a(.*?)b", u"", u"src=\"\"([A-Za-z]:\\\\.*)\""}) {
    TRegExpr engine;
    EXPECT_NO_THROW(engine.SetExpression(pattern));
    EXPECT_THROW(engine.Exec(u"ab"), ERegExpr) << ToUtf8(pattern);
  }
}

TEST(TRegExprTest, EachSearchStartsAfresh) {
  TRegExpr engine;
  engine.SetExpression(kPathPattern);
  ASSERT_TRUE(engine.Exec(u"src=\"\"D:\\a\""));
  EXPECT_FALSE(engine.Exec(u"src=\"\"D:/a\""));
  EXPECT_EQ(engine.Substitute(u"$1"), u"");
}

}  // namespace
}  // namespace picrelink
