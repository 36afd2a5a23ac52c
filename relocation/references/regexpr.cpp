#include "relocation/references/regexpr.h"

#include "core/error.h"
#include "core/utf.h"
#include "relocation/references/reference_forms.h"
#include "relocation/references/reference_scan.h"

namespace picrelink {

void TRegExpr::SetExpression(std::u16string_view pattern) {
  pattern_ = pattern;
  found_ = false;
  capture_.clear();
}

bool TRegExpr::Exec(std::u16string_view text) {
  found_ = false;
  capture_.clear();
  const ReferenceForm* form = nullptr;
  for (const ReferenceForm& row : kReferenceForms) {
    if (row.pattern == pattern_) form = &row;
  }
  if (form == nullptr) {
    throw ERegExpr("TRegExpr: the pattern \"" + ToUtf8(pattern_) +
                   "\" is not one of the picture reference patterns");
  }
  ScanReferences(
      text, [form](std::u16string_view head) { return FitsForm(*form, head) ? 0 : kNotAReference; },
      [this](const FoundReference& reference) {
        found_ = true;
        capture_ = reference.value;
        return true;
      });
  return found_;
}

std::u16string TRegExpr::Match(int group) const {
  if (!found_) return {};
  if (group == 1) return capture_;
  if (group == 0) return std::u16string(kSrcHead) + capture_ + u'"';
  return {};
}

std::u16string TRegExpr::Substitute(std::u16string_view templ) const {
  std::u16string result;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == u'$' && i + 1 < templ.size() &&
        (templ[i + 1] == u'0' || templ[i + 1] == u'1')) {
      result += Match(templ[i + 1] - u'0');
      ++i;
    } else {
      result += templ[i];
    }
  }
  return result;
}

}  // namespace picrelink
