#pragma once
// A small pattern engine over UTF-16 code units, for the reference patterns
// of image-folder detection. Syntax: literal characters, "\" escapes, "."
// (any character, line breaks included), [...] sets with ranges, ( ) groups,
// "|", and the repetitions *, +, ? with their lazy forms *?, +?, ??.
// Matching is leftmost-first like a backtracking engine, but runs in time
// linear in the text (a Pike VM), so no input can stall it. A search can
// also be given its text in pieces, keeping only the text that a possible
// match still needs, so that texts of any length are searched in bounded
// memory.
#include <memory>
#include <string>
#include <string_view>

namespace picrelink {

class TRegExpr {
 public:
  TRegExpr();
  ~TRegExpr();
  TRegExpr(const TRegExpr&) = delete;
  TRegExpr& operator=(const TRegExpr&) = delete;

  // Sets the pattern; it is compiled when the first search begins.
  void SetExpression(std::u16string_view pattern);
  // Searches text from its first character for the earliest-starting match.
  // Throws ERegExpr for an invalid pattern.
  bool Exec(std::u16string_view text);

  // The same search over a text that arrives in pieces: BeginSearch, then
  // Feed with each piece in order, last set on the final one (which may be
  // empty). Feed returns true once the outcome is settled: a match that no
  // further text can change, or the end of the text; pieces given after
  // that are ignored, so the caller may stop reading. The outcome equals
  // Exec over all pieces joined. Both throw ERegExpr for an invalid
  // pattern; Feed without BeginSearch begins a search.
  void BeginSearch();
  bool Feed(std::u16string_view piece, bool last = false);
  // Whether the last search found a match; the match itself through Match
  // and Substitute. False while a search is not settled.
  bool Found() const;
  // Expands "$n" (n a digit) in the template with group n of the current
  // match; the empty text for a group that took no part.
  std::u16string Substitute(std::u16string_view templ) const;
  // Group n of the current match (0 is the whole match).
  std::u16string Match(int group) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace picrelink
