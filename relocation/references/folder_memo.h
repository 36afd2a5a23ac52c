#pragma once
// A reference's folder remembered by the units that spell it, so that the
// next references to the same folder, which mostly follow one another, are
// known from those units and the picture's name alone, without reading each
// of them again (no decoding, no path built). Whatever it cannot vouch for it
// leaves to ParseReference and PictureFolderLength, whose result it repeats.
#include <cstddef>
#include <string>
#include <string_view>

#include "relocation/references/reference_spelling.h"

namespace picrelink {

class FolderMemo {
 public:
  // Remembers the folder of value (as ParseReference read it into parsed,
  // folderLength units of parsed.path under the level rule with oneHigher),
  // or forgets the last one when value's spelling of it cannot be vouched for.
  void Remember(std::u16string_view value, const ParsedReference& parsed, size_t folderLength,
                bool oneHigher);
  void Forget() { valid_ = false; }

  // Whether value names the remembered folder, exactly as ParseReference and
  // PictureFolderLength would say; its form and spelling then.
  bool Matches(std::u16string_view value, size_t& form, unsigned& spelling) const {
    // Most values tried against another folder's memo are told apart by the
    // unit behind the prefix, here, without a call.
    const size_t end = prefix_.size();
    if (!valid_ || value.size() <= end + 1) return false;
    const char16_t next = value[end];
    if (next != u'\\' && !((local_ || urlPath_) && next == u'/')) return false;
    return MatchesFromPrefix(value, form, spelling);
  }

 private:
  // Matches once the unit behind the prefix is a separator.
  bool MatchesFromPrefix(std::u16string_view value, size_t& form, unsigned& spelling) const;

  bool valid_ = false;
  // The value's units up to the folder's end; ASCII letters small but for a
  // local folder.
  std::u16string prefix_;
  // prefix_ and 16 units more, then the bits that fold letter case into it
  // and 16 units more (for reading 16 units at a time)
  std::u16string padded_;
  size_t form_ = 0;
  unsigned spelling_ = 0;  // of the prefix: without escapes, backslashes as in it
  bool local_ = false;     // a local folder: "/" and "\" separate
  bool urlPath_ = false;   // a file URL of a drive: "/" turns into "\"
  int separators_ = 0;     // in the rest: 0 for the picture's own folder, 1 one higher
};

}  // namespace picrelink
