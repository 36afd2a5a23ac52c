#pragma once
// The relative paths of a folder tree's files as a set that answers a lookup
// of a folder part and a name without joining them: the last stage asks it
// once per reference, and a string built per reference costs more than the
// lookup itself. ASCII letters are folded for the hash, so a name that
// differs only in their case lands in the same chain and is told apart by
// the comparison.
//
// The hash reads four units at a time, each with 0x20 set, which folds ASCII
// letters (and merges a few other units, which the comparison tells apart).
// Over a path it runs over the folder part (up to the last "/") and the name
// apart, so that a lookup of a folder part and a name hashes the same units
// in the same groups as the path did when it was added.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace picrelink {

class PictureNames {
 public:
  // The hash of no units; Continue carries it over a folder part or a name.
  static constexpr uint64_t kEmptyHash = 0xcbf29ce484222325ull;
  static uint64_t Continue(uint64_t hash, std::u16string_view units);

  // ignoreCase: names compare with ASCII letters folded (Windows); then a
  // match is always Exact.
  explicit PictureNames(bool ignoreCase) : ignoreCase_(ignoreCase) {}

  // A relative path, "/" between components.
  void Add(std::u16string_view path);
  size_t Size() const { return entries_.size(); }

  enum class Match { Exact, Folded, None };
  // The path folder + name, where folderHash is Continue(kEmptyHash, folder),
  // folder is empty or ends in "/", and name holds no "/".
  Match Find(std::u16string_view folder, uint64_t folderHash, std::u16string_view name) const;

 private:
  struct Entry {
    uint64_t hash;
    uint32_t at;  // of the path in units_
    uint32_t size;
  };
  void Grow();

  bool ignoreCase_;
  std::vector<Entry> entries_;
  std::u16string units_;  // the paths, one after the other
  // Open addressing: 1 + the entry's index, 0 for a free slot. Never more
  // than half full.
  std::vector<uint32_t> slots_;
};

}  // namespace picrelink
