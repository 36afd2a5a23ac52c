#pragma once
// The pattern engine as detection names it: it runs the reference patterns of
// kReferenceForms (src=""(<head>.*?)"), each through the plain reference
// scan, and expands the template "$1". Any other pattern raises ERegExpr
// when the search begins, as an invalid one would.
#include <cstddef>
#include <string>
#include <string_view>

namespace picrelink {

class TRegExpr {
 public:
  // Sets the pattern; it is checked when the first search begins.
  void SetExpression(std::u16string_view pattern);
  // Searches text from its first character for the earliest-starting match.
  // Throws ERegExpr for a pattern that is not one of the reference patterns.
  bool Exec(std::u16string_view text);
  // Whether the last search found a match.
  bool Found() const { return found_; }
  // Expands "$0" and "$1" in the template with the whole match and group 1
  // of the current match; every other character stays as it is.
  std::u16string Substitute(std::u16string_view templ) const;
  // Group n of the current match (0 is the whole match, 1 the reference);
  // the empty text for any other group or when nothing was found.
  std::u16string Match(int group) const;

 private:
  std::u16string pattern_;
  bool found_ = false;
  std::u16string capture_;
};

}  // namespace picrelink
