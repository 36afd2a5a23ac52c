#include "relocation/regexpr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/utf.h"

namespace picrelink {
namespace {

// The whole match and group 1, or nothing when there is no match.
struct Found {
  std::u16string whole;
  std::u16string group1;
};

std::optional<Found> Search(std::u16string_view pattern, std::u16string_view text) {
  TRegExpr engine;
  engine.SetExpression(pattern);
  if (!engine.Exec(text)) return std::nullopt;
  return Found{engine.Match(0), engine.Match(1)};
}

struct SemanticsCase {
  const char* what;
  std::u16string pattern;
  std::u16string text;
  std::u16string whole;  // "<none>" for no match
  std::u16string group1;
};

class EngineSemantics : public ::testing::TestWithParam<SemanticsCase> {};

TEST_P(EngineSemantics, FindsTheMatchABacktrackingEngineWouldReport) {
  const SemanticsCase& c = GetParam();
  const auto found = Search(c.pattern, c.text);
  EXPECT_EQ(ToUtf8(found ? found->whole : u"<none>"), ToUtf8(c.whole)) << c.what;
  if (found) {
    EXPECT_EQ(ToUtf8(found->group1), ToUtf8(c.group1)) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineSemantics,
    ::testing::Values(
        SemanticsCase{"lazy takes the fewest", u"a(.*?)b", u"aXbYb", u"aXb", u"X"},
        SemanticsCase{"greedy takes the most", u"a(.*)b", u"aXbYb", u"aXbYb", u"XbY"},
        SemanticsCase{"lazy plus", u"(a+?)", u"aaa", u"a", u"a"},
        SemanticsCase{"lazy question", u"a(b?\?)", u"ab", u"a", u""},
        SemanticsCase{"greedy question", u"a(b?)", u"ab", u"ab", u"b"},
        SemanticsCase{"lazy grows only as far as the rest needs", u"(a*?)b", u"aaab", u"aaab",
                      u"aaa"},
        SemanticsCase{"earliest start beats a shorter later match", u"(b|ab)", u"xab", u"ab",
                      u"ab"},
        SemanticsCase{"earliest start beats the left branch", u"(b|a.*)", u"ab", u"ab", u"ab"},
        SemanticsCase{"left alternative preferred", u"(a|ab)", u"ab", u"a", u"a"},
        SemanticsCase{"left alternative preferred, longer", u"(ab|a)", u"ab", u"ab", u"ab"},
        SemanticsCase{"left alternative that fails later gives way", u"(a|ab)c", u"abc", u"abc",
                      u"ab"},
        SemanticsCase{"dot matches CR and LF", u"a(..)b", u"a\r\nb", u"a\r\nb", u"\r\n"},
        SemanticsCase{"lazy dot runs over line breaks", u"x(.*?)\"", u"x1\r\n2\"\"", u"x1\r\n2\"",
                      u"1\r\n2"},
        SemanticsCase{"set ranges leave the gap between Z and a out", u"([A-Za-z]+)",
                      u"_`[\\]^1abZ", u"abZ", u"abZ"},
        SemanticsCase{"negated set", u"([^ab]+)", u"abcd\nab", u"cd\n", u"cd\n"},
        SemanticsCase{"set with a leading ] and a trailing -", u"([]x-]+)", u"a]-x]b", u"]-x]",
                      u"]-x]"},
        SemanticsCase{"escape inside a set", u"([\\]\\\\]+)", u"a]\\]b", u"]\\]", u"]\\]"},
        SemanticsCase{"escaped backslash is one backslash", u"D:\\\\(a)", u"D:\\a", u"D:\\a", u"a"},
        SemanticsCase{"escaped dot is only a dot", u"a\\.(b)", u"axb a.b", u"a.b", u"b"},
        SemanticsCase{"escaped letter is that letter", u"\\d(\\()", u"1d(", u"d(", u"("},
        SemanticsCase{"case-sensitive", u"(src)", u"SRC Src src", u"src", u"src"},
        SemanticsCase{"characters beyond ASCII", u"图(片+)", u"图片片x", u"图片片", u"片片"},
        SemanticsCase{"group that took no part", u"(a)|b", u"b", u"b", u""},
        SemanticsCase{"repeated group over a long run reports its last character", u"a(.)*y",
                      u"a123456789y", u"a123456789y", u"9"},
        SemanticsCase{"lazy capture over a long run", u"a(.*?)y", u"xa123456789yy", u"a123456789y",
                      u"123456789"},
        SemanticsCase{"repeated group keeps the last iteration", u"(a|b)+", u"abba", u"abba", u"a"},
        SemanticsCase{"empty pattern matches at the start", u"", u"abc", u"", u""},
        SemanticsCase{"empty iteration ends a loop", u"(a*)*b", u"aaac", u"<none>", u""},
        SemanticsCase{"empty branch in a loop", u"(a|)*b", u"aab", u"aab", u"a"},
        SemanticsCase{"empty first iteration, then more", u"(|a)+", u"aa", u"aa", u"a"},
        SemanticsCase{"optional part repeated", u"x(a?)+y", u"xaay", u"xaay", u"a"},
        SemanticsCase{"start without full match is passed over", u"src=\"\"([A-Za-z]:\\\\.*?)\"",
                      u"src=\"\"http://x\"\" src=\"\"D:/a\"\" src=\"\"D:\\p\\a.jpg\"\"",
                      u"src=\"\"D:\\p\\a.jpg\"", u"D:\\p\\a.jpg"},
        SemanticsCase{"a later start matches where an earlier one keeps waiting", u"a(.*?b|c)",
                      u"axdxac", u"ac", u"c"},
        SemanticsCase{"no closing quotation mark, no match", u"src=\"\"([A-Za-z]:\\\\.*?)\"",
                      u"src=\"\"D:\\a.jpg", u"<none>", u""}));

TEST(TRegExprTest, InvalidPatternThrowsWhenTheSearchBeginsNotBefore) {
  const std::u16string invalid[] = {u"(a",   u"a)",  u"(a))", u"[ab",  u"[^",  u"[]",   u"*a",
                                    u"a|+b", u"(?a", u"a\\",  u"[a\\", u"a**", u"a*?+", u"[b-a]"};
  for (const auto& pattern : invalid) {
    TRegExpr engine;
    EXPECT_NO_THROW(engine.SetExpression(pattern)) << ToUtf8(pattern);
    EXPECT_THROW(engine.Exec(u"ab"), ERegExpr) << ToUtf8(pattern);
  }
}

TEST(TRegExprTest, ErrorMessageNamesThePattern) {
  TRegExpr engine;
  engine.SetExpression(u"(图");
  try {
    engine.Exec(u"x");
    FAIL() << "no error";
  } catch (const ERegExpr& e) {
    EXPECT_NE(std::string(e.what()).find("(图"), std::string::npos) << e.what();
  }
}

TEST(TRegExprTest, SubstituteExpandsDigitsAndKeepsEverythingElse) {
  TRegExpr engine;
  engine.SetExpression(u"(a)(x)?(b)");
  ASSERT_TRUE(engine.Exec(u"zab"));
  EXPECT_EQ(ToUtf8(engine.Substitute(u"$1")), "a");
  EXPECT_EQ(ToUtf8(engine.Substitute(u"<$0|$1|$2|$3|$9|$x|$>$")), "<ab|a||b||$x|$>$");
}

TEST(TRegExprTest, EachSearchStartsAfresh) {
  TRegExpr engine;
  engine.SetExpression(u"a(b)");
  ASSERT_TRUE(engine.Exec(u"ab"));
  EXPECT_FALSE(engine.Exec(u"ac"));
  EXPECT_EQ(engine.Substitute(u"$1"), u"");
  engine.SetExpression(u"(c)");
  ASSERT_TRUE(engine.Exec(u"ac"));
  EXPECT_EQ(engine.Substitute(u"$1"), u"c");
}

TEST(TRegExprTest, MatchSurvivesTheSearchedText) {
  TRegExpr engine;
  engine.SetExpression(u"x(.*)");
  {
    std::u16string text = u"xyz";
    ASSERT_TRUE(engine.Exec(text));
    text.assign(3, u'#');
  }
  EXPECT_EQ(engine.Match(1), u"yz");
}

TEST(TRegExprTest, ManyFalseStartsFindTheLastOne) {
  // Every "ab" starts a thread that dies at the next "a"; the last one is
  // completed by the "c" at the end.
  std::u16string text;
  for (int i = 0; i < 100000; ++i) text += u"ab";
  text += u"c";
  TRegExpr engine;
  engine.SetExpression(u"ab(c)");
  ASSERT_TRUE(engine.Exec(text));
  EXPECT_EQ(engine.Match(0), u"abc");
}

// ------------------------------------------------------------------------
// Property: on random small patterns and texts the engine reports the same
// match as a plain recursive backtracking matcher.

struct Node {
  enum Kind { kChar, kAny, kSet, kGroup, kConcat, kAlt, kRepeat };
  explicit Node(Kind k) : kind(k) {}
  Kind kind;
  char16_t ch = 0;
  std::u16string setChars;  // kSet: the members
  bool negated = false;
  int group = 0;
  char repeat = '*';  // '*', '+', '?'
  bool lazy = false;
  std::vector<Node> children;
};

bool CanMatchEmpty(const Node& n) {
  switch (n.kind) {
    case Node::kChar:
    case Node::kAny:
    case Node::kSet:
      return false;
    case Node::kGroup:
      return CanMatchEmpty(n.children.front());
    case Node::kConcat:
      for (const Node& child : n.children) {
        if (!CanMatchEmpty(child)) return false;
      }
      return true;
    case Node::kAlt:
      for (const Node& child : n.children) {
        if (CanMatchEmpty(child)) return true;
      }
      return false;
    case Node::kRepeat:
      return n.repeat != '+' || CanMatchEmpty(n.children.front());
  }
  return true;
}

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  Node Pattern() {
    groups_ = 0;
    return Alternation(0);
  }
  // A pattern whose first branch begins with one to four characters, sets
  // or dots before any choice, as the reference patterns do: where such a
  // beginning can stand is searched for rather than tried everywhere.
  Node HeadedPattern() {
    Node root = Pattern();
    std::vector<Node>& first = root.children.front().children;
    const size_t length = 1 + Pick(4);
    for (size_t i = 0; i < length; ++i) first.insert(first.begin(), HeadAtom());
    return root;
  }
  // Texts may hold "d", which no pattern names, so that runs of characters
  // no part of the pattern looks at occur too.
  std::u16string Text(size_t maxLength = 12) {
    std::u16string text;
    const size_t length = Pick(maxLength + 1);
    for (size_t i = 0; i < length; ++i) text.push_back(u"abcdd"[Pick(5)]);
    return text;
  }

 private:
  size_t Pick(size_t n) { return rng_() % n; }

  Node Alternation(int depth) {
    Node node(Node::kAlt);
    const size_t branches = Pick(4) == 0 ? 2 : 1;
    for (size_t i = 0; i < branches; ++i) node.children.push_back(Concatenation(depth));
    return node;
  }
  Node Concatenation(int depth) {
    Node node(Node::kConcat);
    const size_t length = Pick(4);
    for (size_t i = 0; i < length; ++i) node.children.push_back(Piece(depth));
    return node;
  }
  // A repeated part that can match empty is where backtracking engines and
  // automata part ways on captures (which iteration a group reports), so the
  // property is stated for parts that consume; the simple optional loops are
  // checked by the semantics table.
  Node Piece(int depth) {
    Node atom = Atom(depth);
    if (Pick(3) != 0 || CanMatchEmpty(atom)) return atom;
    Node node(Node::kRepeat);
    node.repeat = "*+?"[Pick(3)];
    node.lazy = Pick(2) == 0;
    node.children.push_back(std::move(atom));
    return node;
  }
  Node HeadAtom() {
    switch (Pick(6)) {
      case 4: {
        Node node(Node::kSet);
        node.negated = Pick(3) == 0;
        node.setChars = Pick(2) == 0 ? u"ab" : u"bc";
        return node;
      }
      case 5:
        return Node(Node::kAny);
      default: {
        Node node(Node::kChar);
        node.ch = u"abc"[Pick(3)];
        return node;
      }
    }
  }

  Node Atom(int depth) {
    switch (Pick(depth < 3 ? 6 : 4)) {
      case 0:
      case 1: {
        Node node(Node::kChar);
        node.ch = u"abc"[Pick(3)];
        return node;
      }
      case 2:
        return Node(Node::kAny);
      case 3: {
        Node node(Node::kSet);
        node.negated = Pick(3) == 0;
        node.setChars = Pick(2) == 0 ? u"ab" : u"bc";
        return node;
      }
      default: {
        Node node(Node::kGroup);
        node.group = ++groups_;  // numbered by their opening parenthesis
        node.children.push_back(Alternation(depth + 1));
        return node;
      }
    }
  }

  std::mt19937 rng_;
  int groups_ = 0;
};

std::u16string Render(const Node& node) {
  std::u16string out;
  switch (node.kind) {
    case Node::kChar:
      return std::u16string(1, node.ch);
    case Node::kAny:
      return u".";
    case Node::kSet:
      out = node.negated ? u"[^" : u"[";
      // "ab" written as a range, "bc" as two members, to cover both forms.
      out += node.setChars == u"ab" ? u"a-b" : node.setChars;
      return out + u"]";
    case Node::kGroup:
      return u"(" + Render(node.children.front()) + u")";
    case Node::kConcat:
      for (const Node& child : node.children) out += Render(child);
      return out;
    case Node::kAlt:
      for (size_t i = 0; i < node.children.size(); ++i) {
        if (i > 0) out += u"|";
        out += Render(node.children[i]);
      }
      return out;
    case Node::kRepeat:
      out = Render(node.children.front()) + std::u16string(1, node.repeat);
      return node.lazy ? out + u"?" : out;
  }
  return out;
}

// Backtracking by continuations. A loop iteration that consumes nothing does
// not count (the loop ends there), which is how the engine treats empty
// iterations too.
class Backtracker {
 public:
  using Caps = std::vector<long>;
  using Next = std::function<bool(size_t, Caps)>;

  explicit Backtracker(std::u16string_view text) : t_(text) {}

  bool Run(const Node& n, size_t pos, Caps caps, const Next& k) const {
    switch (n.kind) {
      case Node::kChar:
        return pos < t_.size() && t_[pos] == n.ch && k(pos + 1, caps);
      case Node::kAny:
        return pos < t_.size() && k(pos + 1, caps);
      case Node::kSet:
        return pos < t_.size() &&
               ((n.setChars.find(t_[pos]) != std::u16string::npos) != n.negated) &&
               k(pos + 1, caps);
      case Node::kGroup: {
        caps[2 * n.group] = static_cast<long>(pos);
        return Run(n.children.front(), pos, caps, [&](size_t p, Caps c) {
          c[2 * n.group + 1] = static_cast<long>(p);
          return k(p, c);
        });
      }
      case Node::kConcat:
        return Sequence(n, 0, pos, caps, k);
      case Node::kAlt:
        for (const Node& branch : n.children) {
          if (Run(branch, pos, caps, k)) return true;
        }
        return false;
      case Node::kRepeat: {
        const Node& body = n.children.front();
        if (n.repeat == '?') {
          return n.lazy ? (k(pos, caps) || Run(body, pos, caps, k))
                        : (Run(body, pos, caps, k) || k(pos, caps));
        }
        if (n.repeat == '+') {
          return Run(body, pos, caps, [&](size_t p, Caps c) { return Loop(n, p, c, k); });
        }
        return Loop(n, pos, caps, k);
      }
    }
    return false;
  }

 private:
  bool Sequence(const Node& n, size_t i, size_t pos, const Caps& caps, const Next& k) const {
    if (i == n.children.size()) return k(pos, caps);
    return Run(n.children[i], pos, caps,
               [&](size_t p, Caps c) { return Sequence(n, i + 1, p, c, k); });
  }

  // Further iterations of a star or plus.
  bool Loop(const Node& n, size_t pos, const Caps& caps, const Next& k) const {
    const auto again = [&] {
      return Run(n.children.front(), pos, caps,
                 [&](size_t p, Caps c) { return p != pos && Loop(n, p, c, k); });
    };
    return n.lazy ? (k(pos, caps) || again()) : (again() || k(pos, caps));
  }

  std::u16string_view t_;
};

int CountGroups(const Node& n) {
  int count = n.kind == Node::kGroup ? 1 : 0;
  for (const Node& child : n.children) count += CountGroups(child);
  return count;
}

// Start, end and group 1 (as text, "-" when it took no part) of the first
// match, or "none".
std::string Reference(const Node& root, std::u16string_view text) {
  const Backtracker bt(text);
  const size_t slots = 2 * (static_cast<size_t>(CountGroups(root)) + 2);
  for (size_t start = 0; start <= text.size(); ++start) {
    std::string result;
    Backtracker::Caps caps(slots, -1);
    const bool ok = bt.Run(root, start, caps, [&](size_t end, Backtracker::Caps c) {
      result = std::to_string(start) + ".." + std::to_string(end) + " ";
      result +=
          c[2] < 0 || c[3] < 0
              ? "-"
              : ToUtf8(text.substr(static_cast<size_t>(c[2]), static_cast<size_t>(c[3] - c[2])));
      return true;
    });
    if (ok) return result;
  }
  return "none";
}

// The engine's answer in the same form. Its interface gives texts only, so
// positions come from a second search with a lazy lead: (.*?)(P) matches at 0
// and its lead is exactly as long as the earliest start of P, its group 2 is
// P's match there and P's group 1 becomes group 3. The direct search must
// give the same texts, so a fault in the search for the earliest start cannot
// hide behind the lead.
std::string Engine(std::u16string_view pattern, std::u16string_view text) {
  TRegExpr direct;
  direct.SetExpression(pattern);
  TRegExpr led;
  led.SetExpression(u"(.*?)(" + std::u16string(pattern) + u")");
  const bool found = direct.Exec(text);
  if (found != led.Exec(text)) return "disagreement: direct " + std::to_string(found);
  if (!found) return "none";
  if (direct.Match(0) != led.Match(2) || direct.Match(1) != led.Match(3)) {
    return "disagreement: direct " + ToUtf8(direct.Match(0)) + " " + ToUtf8(direct.Match(1));
  }
  const size_t start = led.Match(1).size();
  const size_t end = start + led.Match(2).size();
  return std::to_string(start) + ".." + std::to_string(end) + " " + ToUtf8(direct.Match(1));
}

void ExpectAgreementWithTheBacktracker(const Node& root, std::u16string_view text) {
  std::string expected = Reference(root, text);
  // The engine cannot tell a group that took no part from an empty one.
  if (expected.size() >= 2 && expected.substr(expected.size() - 2) == " -") {
    expected.pop_back();
  }
  const std::u16string pattern = Render(root);
  ASSERT_EQ(Engine(pattern, text), expected)
      << "pattern " << ToUtf8(pattern) << " text " << ToUtf8(text);
}

TEST(TRegExprProperty, AgreesWithABacktrackingMatcher) {
  Generator gen(20240611u);
  for (int round = 0; round < 3000; ++round) {
    const Node root = gen.Pattern();
    for (int t = 0; t < 8; ++t) {
      ASSERT_NO_FATAL_FAILURE(ExpectAgreementWithTheBacktracker(root, gen.Text()));
    }
  }
}

TEST(TRegExprProperty, PatternsWithAFixedBeginningAgreeWithABacktrackingMatcher) {
  Generator gen(20240612u);
  for (int round = 0; round < 3000; ++round) {
    const Node root = gen.HeadedPattern();
    for (int t = 0; t < 8; ++t) {
      ASSERT_NO_FATAL_FAILURE(ExpectAgreementWithTheBacktracker(root, gen.Text()));
    }
  }
}

// ------------------------------------------------------------------------
// A search over a text given in pieces.

// "none", or the text of every group of the match.
std::string Outcome(const TRegExpr& engine, int groups) {
  if (!engine.Found()) return "none";
  std::string out;
  for (int g = 0; g <= groups; ++g) {
    out += '[';
    out += ToUtf8(engine.Match(g));
    out += ']';
  }
  return out;
}

std::string WholeTextOutcome(std::u16string_view pattern, std::u16string_view text, int groups) {
  TRegExpr engine;
  engine.SetExpression(pattern);
  engine.Exec(text);
  return Outcome(engine, groups);
}

// The search over text given in pieces of pieceSize code units (0: random
// sizes from 1 to 9). Each piece is copied into one buffer that is
// overwritten once the engine has seen it, so that a match cannot lean on
// text the engine did not keep. The end is marked on the last piece or by an
// empty one, at random.
std::string PiecewiseOutcome(std::u16string_view pattern, std::u16string_view text,
                             size_t pieceSize, std::mt19937& rng, int groups) {
  TRegExpr engine;
  engine.SetExpression(pattern);
  engine.BeginSearch();
  std::u16string buffer;
  bool ended = false;
  for (size_t at = 0; at < text.size();) {
    const size_t size = std::min(text.size() - at, pieceSize != 0 ? pieceSize : 1 + rng() % 9);
    buffer.assign(text.substr(at, size));
    at += size;
    ended = at == text.size() && rng() % 2 == 0;
    engine.Feed(buffer, ended);
    buffer.assign(buffer.size(), u'#');
  }
  if (!ended) engine.Feed({}, true);
  return Outcome(engine, groups);
}

TEST(TRegExprProperty, PiecewiseSearchAgreesWithTheWholeTextSearch) {
  Generator gen(20240613u);
  std::mt19937 rng(5u);
  for (int round = 0; round < 1500; ++round) {
    const Node root = round % 3 == 0 ? gen.Pattern() : gen.HeadedPattern();
    const std::u16string pattern = Render(root);
    // The lead makes the search try every start position in one thread list.
    const std::u16string led = u"(.*?)(" + pattern + u")";
    const int groups = CountGroups(root);
    for (int t = 0; t < 6; ++t) {
      const std::u16string text = gen.Text(60);
      const std::string whole = WholeTextOutcome(pattern, text, groups);
      const std::string wholeLed = WholeTextOutcome(led, text, groups + 2);
      for (const size_t size : {1, 2, 3, 7, 64, 0}) {
        ASSERT_EQ(PiecewiseOutcome(pattern, text, size, rng, groups), whole)
            << "pattern " << ToUtf8(pattern) << " text " << ToUtf8(text) << " pieces " << size;
        ASSERT_EQ(PiecewiseOutcome(led, text, size, rng, groups + 2), wholeLed)
            << "pattern " << ToUtf8(led) << " text " << ToUtf8(text) << " pieces " << size;
      }
    }
  }
}

struct PiecesCase {
  const char* what;
  std::u16string pattern;
  std::vector<std::u16string> pieces;
  size_t settledAfter;   // the piece after which Feed says so; pieces.size(): only at the end
  std::u16string whole;  // "<none>" for no match
};

class TRegExprPieces : public ::testing::TestWithParam<PiecesCase> {};

TEST_P(TRegExprPieces, SettlesAsSoonAsNothingFurtherCanChangeTheMatch) {
  const PiecesCase& c = GetParam();
  TRegExpr engine;
  engine.SetExpression(c.pattern);
  engine.BeginSearch();
  for (size_t i = 0; i < c.pieces.size(); ++i) {
    EXPECT_EQ(engine.Feed(c.pieces[i]), i >= c.settledAfter) << c.what << ", piece " << i;
    if (i < c.settledAfter) {
      EXPECT_FALSE(engine.Found()) << c.what;
    }
  }
  EXPECT_TRUE(engine.Feed({}, true)) << c.what;
  EXPECT_EQ(ToUtf8(engine.Found() ? engine.Match(0) : u"<none>"), ToUtf8(c.whole)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TRegExprPieces,
    ::testing::Values(
        PiecesCase{"lazy repetition closed", u"a(.*?)b", {u"xxa1", u"2b", u"b", u"zz"}, 1, u"a12b"},
        PiecesCase{
            "greedy repetition waits for the end", u"a(.*)b", {u"a1b", u"2b", u"c"}, 3, u"a1b2b"},
        PiecesCase{"left alternative still alive", u"(ab.*?c|a)", {u"ab", u"x", u"y"}, 3, u"a"},
        PiecesCase{"left alternative completed", u"(ab.*?c|a)", {u"ab", u"xc", u"d"}, 1, u"abxc"},
        PiecesCase{"match ends with a piece", u"ab", {u"xa", u"b", u"ab"}, 1, u"ab"},
        PiecesCase{"pieces after the match are not looked at", u"b", {u"ab", u"(", u"["}, 0, u"b"},
        PiecesCase{"no match", u"a(.*?)b", {u"a", u"", u"c"}, 3, u"<none>"},
        PiecesCase{
            "capture over many pieces", u"<(.*?)>", {u"x<", u"1", u"", u"2", u"3>"}, 4, u"<123>"}));

TEST(TRegExprPiecesTest, BeginSearchStartsAfreshAndExecEndsIt) {
  TRegExpr engine;
  engine.SetExpression(u"a(.)");
  engine.BeginSearch();
  EXPECT_TRUE(engine.Feed(u"xab"));
  EXPECT_EQ(engine.Match(1), u"b");
  engine.BeginSearch();
  EXPECT_FALSE(engine.Found());
  EXPECT_FALSE(engine.Feed(u"xa"));
  ASSERT_TRUE(engine.Exec(u"ac"));
  EXPECT_EQ(engine.Match(1), u"c");
  engine.SetExpression(u"(x)");
  EXPECT_FALSE(engine.Found());
  // Without BeginSearch, the first piece begins a search.
  EXPECT_TRUE(engine.Feed(u"yx"));
  EXPECT_EQ(engine.Match(1), u"x");
}

TEST(TRegExprPiecesTest, InvalidPatternThrowsWhenTheSearchBegins) {
  TRegExpr engine;
  engine.SetExpression(u"(a");
  EXPECT_THROW(engine.BeginSearch(), ERegExpr);
  EXPECT_THROW(engine.Feed(u"a"), ERegExpr);
}

// Positions count every code unit given since the search began, beyond
// 2^32 too: the capture here begins before that position and ends after it.
TEST(TRegExprPiecesTest, PositionsBeyondFourGigaUnits) {
  TRegExpr engine;
  engine.SetExpression(u"<(.*?)>");
  engine.BeginSearch();
  const std::u16string filler(size_t{1} << 20, u'.');
  constexpr uint64_t kBoundary = uint64_t{1} << 32;
  uint64_t fed = 0;
  while (fed + filler.size() <= kBoundary - 3) {
    ASSERT_FALSE(engine.Feed(filler));
    fed += filler.size();
  }
  ASSERT_FALSE(engine.Feed(std::u16string_view(filler).substr(0, kBoundary - 3 - fed)));
  ASSERT_FALSE(engine.Feed(u"<ab"));
  EXPECT_TRUE(engine.Feed(u"cd><x>"));
  EXPECT_EQ(engine.Match(1), u"abcd");
}

}  // namespace
}  // namespace picrelink
