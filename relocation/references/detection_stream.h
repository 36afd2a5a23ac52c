#pragma once
// The first picture reference of each form in a CSV text that is read piece
// by piece: one pass over the text, every form's search running over each
// piece, in memory bounded by the buffer and the reference being matched.
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "relocation/references/reference_forms.h"

namespace picrelink {

// Gives the next piece of a text: up to maxUnits code units into units, and
// 0 once the text has ended.
using TextSource = std::function<size_t(char16_t* units, size_t maxUnits)>;

// Gives the next piece of a text in a buffer of its own, valid until the
// next call; empty once the text has ended.
using PieceSource = std::function<std::u16string_view()>;

struct FirstReferences {
  bool hasText = false;  // the text held at least one code unit
  // Per form of kReferenceForms, "$1" of its pattern's first match over the
  // whole text, empty when it matches nowhere. A form is searched to its
  // result only while every earlier form has matched nowhere; after a form
  // that matched, the later ones stay empty.
  std::array<std::u16string, kFormCount> first;
  // Only when no form matched anywhere: per form, the first value that names
  // a local folder as a run on this system writes it (ClassifyLocalHead),
  // with the same precedence among the forms. Empty on Windows.
  std::array<std::u16string, kFormCount> local;

  // The form that detection takes: the first one that matched; kFormCount
  // when none did.
  size_t Form() const;
  // The same among the local values.
  size_t LocalForm() const;
};

// Reads the text from source through a buffer of bufferUnits code units
// (at least 1) and gives what CollectMatches with each pattern would give
// over the whole text. Reading stops as soon as the first form's first match
// is settled; a later form counts only when every earlier one matches
// nowhere, so for it the text is read to its end. Errors of the source pass
// through.
FirstReferences FindFirstReferences(const TextSource& source, size_t bufferUnits);

// The same over the pieces that nextPiece gives, in whatever sizes they come.
FirstReferences FindFirstReferences(const PieceSource& nextPiece);

}  // namespace picrelink
