#pragma once
// The references' rests for the picture search: each reference's path behind
// the folder the CSV names at a level, as a key that the tree's files are
// looked up by ("/" between components, none empty, ASCII letters folded, as
// the picture check finds a name whose letter case differs), counted.
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "relocation/references/reference_spelling.h"

namespace picrelink {

// Appends relative to key as above.
void AppendKey(std::u16string_view relative, std::u16string& key);

// Components of a key.
size_t KeyComponents(std::u16string_view key);

// The references' rests behind the folder the CSV names at one level: how
// many references have each rest.
struct Rests {
  std::u16string oldFolder;  // none counted when empty
  std::unordered_map<std::u16string_view, int64_t> counts;
  int64_t references = 0;
  size_t deepest = 0;  // components of the longest rest
};

// Counts one reference value after another into the rests of both levels.
// A folder of this machine is not counted: it is checked where it points,
// not searched for.
class RestCollector {
 public:
  explicit RestCollector(std::array<Rests, 2>& levels) : levels_(levels) {}
  RestCollector(const RestCollector&) = delete;
  RestCollector& operator=(const RestCollector&) = delete;

  void Take(std::u16string_view value);

 private:
  // PathBeginsWithFolder(path, the level's old folder, true), from the last
  // spellings of the folder that paths under it had where one fits.
  bool BeginsWithFolder(size_t level, std::u16string_view path);
  void Count(Rests& rests, std::u16string_view rest);

  // A level's folder as the last two paths under it spelled it (ASCII letters
  // small; empty until then). A path that begins with one of them, letter
  // case aside, begins with the folder unit for unit as PathBeginsWithFolder
  // compares them (separators alike, letters folded), so only the unit behind
  // is left to look at.
  struct Spellings {
    std::array<std::u16string, 2> spelled;
    size_t next = 0;  // the one replaced next
  };
  std::array<Spellings, 2> spellings_;
  std::array<Rests, 2>& levels_;
  ParsedReference parsed_;
  std::u16string key_;
  std::deque<std::u16string> storage_;  // the keys' text; a deque never moves it
};

}  // namespace picrelink
