#include "relocation/census/picture_search.h"

#include <algorithm>
#include <array>
#include <exception>
#include <vector>

#include "core/path_helpers.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/census/picture_rests.h"
#include "relocation/references/csv_pieces.h"
#include "relocation/references/detection.h"
#include "relocation/references/reference_scan.h"
#include "relocation/references/reference_spelling.h"
#include "relocation/run/adjustment_run.h"

namespace picrelink {
namespace {

// As the census: a longer value is not a picture reference.
constexpr size_t kLongestPath = 32768;

using Clock = std::chrono::steady_clock;

// One folder of the tree: its place, and what each level would find under it.
struct Folder {
  size_t parent = 0;
  int depth = 0;
  std::u16string path;  // as listed, for the next listing
  std::u16string key;   // relative to the root, as AppendKey has it
  std::array<int64_t, 2> found{};
};

bool Better(const Folder& a, size_t levelA, const Folder& b, size_t levelB, size_t currentLevel) {
  const int64_t foundA = a.found[levelA], foundB = b.found[levelB];
  if (foundA != foundB) return foundA > foundB;
  // The seller's level first, then the folder nearest the root, then by name
  // so that every system names the same one.
  if ((levelA == currentLevel) != (levelB == currentLevel)) return levelA == currentLevel;
  if (a.depth != b.depth) return a.depth < b.depth;
  return a.key < b.key;
}

}  // namespace

std::u16string CsvFolder(std::u16string_view csvPath) {
  const std::u16string csv = platform::AbsolutePath(csvPath);
  const size_t last = csv.find_last_of(platform::kLocalSeparator == u'\\' ? u"\\/" : u"/");
  return last == std::u16string::npos ? std::u16string() : csv.substr(0, last + 1);
}

std::u16string LevelTextOf(int32_t level) { return FromUtf8(std::to_string(level)); }

PictureSearch SearchPictures(std::u16string_view csvPath, const CheckResult& check,
                             std::u16string_view root, const PictureSearchLimits& limits,
                             const std::atomic<bool>* cancel) {
  const auto stopIfCancelled = [cancel] {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      throw Cancelled("Cancelled");
    }
  };
  PictureSearch search;
  if (check.pictures) {
    search.proposalFound = check.pictures->found + check.pictures->foundIgnoringCase;
  }
  const Census& census = check.census;
  if (census.detected.empty() || csvPath.empty()) return search;
  // Every reference found already: no folder can find more.
  if (search.proposalFound >= census.references) return search;
  const size_t currentLevel = census.level > 0 ? 1 : 0;

  // The folder the CSV names at the other level, as detection would give it.
  std::array<Rests, 2> levels;
  levels[currentLevel].oldFolder = census.detected;
  MemoryFormValues other;
  other.levelText = LevelTextOf(static_cast<int32_t>(1 - currentLevel));
  levels[1 - currentLevel].oldFolder = DetectImageFolder(csvPath, other);

  RestCollector collector(levels);
  BasicReferenceScanner scanner(
      [](std::u16string_view head) { return ClassifyCommonSpelledHead(head); },
      [&](const FoundReference& found) {
        if (!found.truncated) collector.Take(found.value);
        return false;
      },
      kLongestPath);
  {
    CsvPieces pieces(csvPath);
    for (std::u16string_view piece = pieces.Next(); !piece.empty(); piece = pieces.Next()) {
      scanner.Feed(piece);
      stopIfCancelled();
    }
    scanner.Finish();
  }
  if (levels[0].references == 0 && levels[1].references == 0) return search;
  const size_t deepest = std::max(levels[0].deepest, levels[1].deepest);

  // The tree, breadth first, so that a limit leaves out the deepest folders.
  const Clock::time_point deadline = Clock::now() + limits.time;
  std::vector<Folder> folders;
  folders.push_back({0, 0, std::u16string(root), u"", {}});
  std::u16string fileKey;
  for (size_t next = 0; next < folders.size() && search.stop == SearchStop::Complete; ++next) {
    stopIfCancelled();
    if (Clock::now() >= deadline) {
      search.stop = SearchStop::TimeLimit;
      break;
    }
    std::vector<platform::FolderEntry> entries;
    try {
      entries = platform::ListFolder(folders[next].path);
    } catch (const std::exception&) {
      continue;  // a folder that cannot be read holds no pictures we can name
    }
    for (platform::FolderEntry& entry : entries) {
      if (search.entries == limits.entries) {
        search.stop = SearchStop::EntryLimit;
        break;
      }
      ++search.entries;
      const Folder& here = folders[next];
      if (entry.isDirectory) {
        // Links are not followed (they may loop), nor are hidden folders
        // searched: the seller put no pictures there.
        if (entry.isLink || entry.isHidden || here.depth >= limits.depth) continue;
        Folder child;
        child.parent = next;
        child.depth = here.depth + 1;
        child.path = JoinFolder(here.path, entry.name);
        child.key = here.key;
        if (!child.key.empty()) child.key += u'/';
        AppendKey(entry.name, child.key);
        folders.push_back(std::move(child));
        continue;
      }
      // The file's path relative to each folder above it, nearest first:
      // "1.jpg" under its own folder, "宝贝/1.jpg" under the one above, ...
      fileKey = here.key;
      if (!fileKey.empty()) fileKey += u'/';
      AppendKey(entry.name, fileKey);
      size_t start = fileKey.size();
      size_t folder = next;
      for (size_t components = 1; components <= deepest; ++components) {
        // One component more to the left: behind the "/" before start's.
        const size_t slash = start >= 2 ? fileKey.rfind(u'/', start - 2) : std::u16string::npos;
        start = slash == std::u16string::npos ? 0 : slash + 1;
        const std::u16string_view suffix = std::u16string_view(fileKey).substr(start);
        for (size_t level = 0; level < 2; ++level) {
          const auto found = levels[level].counts.find(suffix);
          if (found != levels[level].counts.end()) folders[folder].found[level] += found->second;
        }
        if (start == 0) break;
        folder = folders[folder].parent;
      }
    }
  }

  size_t best = 0;
  size_t bestLevel = currentLevel;
  for (size_t i = 0; i < folders.size(); ++i) {
    for (size_t level = 0; level < 2; ++level) {
      if (Better(folders[i], level, folders[best], bestLevel, currentLevel)) {
        best = i;
        bestLevel = level;
      }
    }
  }
  const Folder& winner = folders[best];
  if (winner.found[bestLevel] <= search.proposalFound) return search;
  PictureSuggestion suggestion;
  // The key is folded; the folder's name as the system holds it is its path.
  suggestion.newFolder = winner.depth == 0 ? std::u16string(root) : winner.path;
  suggestion.level = static_cast<int32_t>(bestLevel);
  suggestion.oldFolder = levels[bestLevel].oldFolder;
  suggestion.checked = levels[bestLevel].references;
  suggestion.found = winner.found[bestLevel];
  search.suggestion = std::move(suggestion);
  return search;
}

}  // namespace picrelink
