#pragma once
// Where the pictures are when they are not where the proposal looks: the
// tree under a root folder (the CSV's own) searched for the folder, and the
// level, under which most of the CSV's references resolve to files.
//
// The tree is listed once, breadth first; every file's path relative to each
// folder above it is looked up among the references' rests (their paths
// behind the folder the CSV names, at each level), so there is never a
// file-system call per reference and candidate. Names compare as the picture
// check compares them: "/" and "\" alike, ASCII letters folded.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "relocation/census/census.h"

namespace picrelink {

struct PictureSearchLimits {
  int depth = 4;             // folders this far below the root are listed, no deeper
  int64_t entries = 200000;  // entries listed at most
  std::chrono::milliseconds time{2000};
};

struct PictureSuggestion {
  std::u16string newFolder;  // where the pictures are
  int32_t level = 1;         // 0: the pictures' own folder, 1: the one above
  std::u16string oldFolder;  // the folder the CSV names at that level
  int64_t checked = 0;       // references into oldFolder
  int64_t found = 0;         // of them, with their picture under newFolder
};

enum class SearchStop {
  Complete,    // the whole tree, to the depth, was listed
  EntryLimit,  // more entries than the limit: the rest was not listed
  TimeLimit,   // the time ran out: what was listed until then counts
};

struct PictureSearch {
  // Only when the search finds more pictures than the folder the check
  // looked in; that folder wins a tie.
  std::optional<PictureSuggestion> suggestion;
  // What the check found there (letter case aside), to compare with.
  int64_t proposalFound = 0;
  SearchStop stop = SearchStop::Complete;
  int64_t entries = 0;  // entries listed
};

// Searches the tree under root for the pictures of the CSV whose census and
// picture check are check (the new folder it was checked against is what a
// suggestion must beat). Reads the CSV once more for the references' rests.
// Nothing is searched without a detected folder. A set cancel flag stops it
// with Cancelled (from relocation/run/adjustment_run.h); errors of reading
// the CSV propagate, folders that cannot be listed are passed over.
PictureSearch SearchPictures(std::u16string_view csvPath, const CheckResult& check,
                             std::u16string_view root, const PictureSearchLimits& limits = {},
                             const std::atomic<bool>* cancel = nullptr);

// The folder holding the CSV, as the search's root: its absolute folder with
// the trailing separator.
std::u16string CsvFolder(std::u16string_view csvPath);

// The level text that names level (0 or 1), as the level edit shows it.
std::u16string LevelTextOf(int32_t level);

}  // namespace picrelink
