#include "relocation/references/detection_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/utf.h"
#include "relocation/form_values.h"
#include "relocation/references/detection.h"
#include "relocation/references/reference_spelling.h"

namespace picrelink {
namespace {

// A source over an in-memory text that gives pieces of pieceSize code units
// (0: random sizes up to what is asked for) and counts what it gave. The
// buffer is filled with "#" first, so that nothing beyond a piece's end is
// ever valid text.
struct MemorySource {
  std::u16string_view text;
  size_t pieceSize = 0;
  std::mt19937* rng = nullptr;
  size_t given = 0;
  int calls = 0;

  size_t operator()(char16_t* units, size_t maxUnits) {
    ++calls;
    std::fill(units, units + maxUnits, u'#');
    size_t count = std::min(maxUnits, text.size() - given);
    if (pieceSize != 0) {
      count = std::min(count, pieceSize);
    } else if (count != 0) {
      count = 1 + (*rng)() % count;
    }
    std::copy_n(text.data() + given, count, units);
    given += count;
    return count;
  }
};

// The first value behind src="" that a quotation mark closes and that is
// prefix followed by a local POSIX path ("/", then neither "/" nor the end).
std::u16string FirstLocalValue(std::u16string_view text, std::u16string_view prefix) {
#ifdef _WIN32
  (void)text, (void)prefix;
  return {};
#else
  constexpr std::u16string_view kSrc = u"src=\"\"";
  for (size_t at = text.find(kSrc); at != std::u16string_view::npos; at = text.find(kSrc, at + 1)) {
    const size_t start = at + kSrc.size();
    const size_t quote = text.find(u'"', start);
    if (quote == std::u16string_view::npos) break;
    const std::u16string_view value = text.substr(start, quote - start);
    if (value.starts_with(prefix) && value.size() >= prefix.size() + 2 &&
        value[prefix.size()] == u'/' && value[prefix.size() + 1] != u'/') {
      return std::u16string(value);
    }
  }
  return {};
#endif
}

// What CollectMatches gives over the whole text, in the same form, and,
// where neither form matches, the first local values.
FirstReferences WholeText(std::u16string_view text) {
  FirstReferences found;
  found.hasText = !text.empty();
  found.first[kPathForm] = CollectMatches(text, kPathPattern, u"$1");
  if (found.first[kPathForm].empty())
    found.first[kUrlForm] = CollectMatches(text, kUrlPattern, u"$1");
  if (found.Form() == kFormCount) {
    found.local[kPathForm] = FirstLocalValue(text, u"");
    if (found.local[kPathForm].empty()) found.local[kUrlForm] = FirstLocalValue(text, u"file:///");
  }
  return found;
}

FirstReferences Piecewise(std::u16string_view text, size_t pieceSize, std::mt19937& rng,
                          size_t bufferUnits = 64) {
  MemorySource source{text, pieceSize, &rng};
  return FindFirstReferences(std::ref(source), pieceSize != 0 ? pieceSize : bufferUnits);
}

std::string Describe(const FirstReferences& found) {
  return std::string(found.hasText ? "text" : "no text") + ", path [" +
         ToUtf8(found.first[kPathForm]) + "], url [" + ToUtf8(found.first[kUrlForm]) +
         "], local path [" + ToUtf8(found.local[kPathForm]) + "], local url [" +
         ToUtf8(found.local[kUrlForm]) + "]";
}

constexpr size_t kPieceSizes[] = {1, 2, 3, 7, 64, 0};

// Detection over the whole text, step by step as it is defined: the level
// is read only once a reference is found. Errors are given as their message.
std::string WholeTextDetection(std::u16string_view text, const FormValues& values) {
  try {
    if (text.empty()) return "";
    const std::u16string path = CollectMatches(text, kPathPattern, u"$1");
    if (!path.empty()) {
      std::u16string folder = ExtractFileDir(path);
      if (LevelToInt(values.LevelText()) > 0) folder = ExtractFileDir(folder);
      return ToUtf8(folder);
    }
    std::u16string url = CollectMatches(text, kUrlPattern, u"$1");
    if (!url.empty()) {
      url = UrlParentDir(url);
      if (LevelToInt(values.LevelText()) > 0) url = UrlParentDir(url);
      return ToUtf8(FileUrlToPath(url));
    }
    // Only then the local folder a run here wrote: its own folder, or the one
    // above, "/" and "\" both separating, the root keeping its "/".
    std::u16string local = FirstLocalValue(text, u"");
    if (local.empty()) {
      local = FirstLocalValue(text, u"file:///");
      if (!local.empty()) local = DecodePercentLeniently(local.substr(8));
    }
    if (!local.empty()) {
      const int steps = LevelToInt(values.LevelText()) > 0 ? 2 : 1;
      for (int step = 0; step < steps; ++step) {
        const size_t last = local.find_last_of(u"/\\");
        local.resize(last == 0 ? 1 : last);
      }
      return ToUtf8(local);
    }
    return ToUtf8(FileUrlToPath(url));
  } catch (const Error& e) {
    return std::string("error: ") + e.what();
  }
}

std::string PiecewiseDetection(std::u16string_view text, size_t pieceSize, std::mt19937& rng,
                               const FormValues& values) {
  MemorySource source{text, pieceSize, &rng};
  try {
    return ToUtf8(DetectImageFolderIn(std::ref(source), pieceSize != 0 ? pieceSize : 64, values));
  } catch (const Error& e) {
    return std::string("error: ") + e.what();
  }
}

// Texts made of the parts references are made of, near misses included.
std::u16string RandomText(std::mt19937& rng) {
  static const std::u16string kParts[] = {u"src=\"\"",
                                          u"src=\"\"",
                                          u"D:\\",
                                          u"d:\\",
                                          u"file:///",
                                          u"file:////srv/",
                                          u"file://",
                                          u"C:/",
                                          u"\"",
                                          u"\"\"",
                                          u"a",
                                          u"Z",
                                          u"x.jpg",
                                          u"图片",
                                          u"\r\n",
                                          u"\\",
                                          u":",
                                          u"/",
                                          u"src=",
                                          u"%20",
                                          u"%E5%9B%BE",
                                          u"%",
                                          u"src=\"\"D:\\p\\q.jpg\"\"",
                                          u"src=\"\"file:///E:/u/v.jpg\"\""};
  std::u16string text;
  const size_t parts = rng() % 30;
  for (size_t i = 0; i < parts; ++i) text += kParts[rng() % std::size(kParts)];
  return text;
}

TEST(FindFirstReferencesProperty, AgreesWithTheWholeTextSearchForAnyPieces) {
  std::mt19937 rng(20240614u);
  int withPath = 0;
  int withUrlOnly = 0;
  int withLocal = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::u16string text = RandomText(rng);
    const FirstReferences whole = WholeText(text);
    withPath += !whole.first[kPathForm].empty();
    withUrlOnly += whole.first[kPathForm].empty() && !whole.first[kUrlForm].empty();
    withLocal += whole.LocalForm() < kFormCount;
    for (const size_t size : kPieceSizes) {
      ASSERT_EQ(Describe(Piecewise(text, size, rng)), Describe(whole))
          << "text " << ToUtf8(text) << " pieces " << size;
    }
  }
  // The texts must exercise both forms, or the agreement says little.
  EXPECT_GT(withPath, 400);
  EXPECT_GT(withUrlOnly, 400);
  if (LocalFoldersHere()) {
    EXPECT_GT(withLocal, 40);
  }
}

TEST(DetectImageFolderInProperty, AgreesWithTheWholeTextDetection) {
  std::mt19937 rng(20240615u);
  for (int round = 0; round < 2000; ++round) {
    const std::u16string text = RandomText(rng);
    for (const std::u16string level : {u"0", u"1", u"x"}) {
      MemoryFormValues wholeValues;
      wholeValues.levelText = level;
      const std::string expected = WholeTextDetection(text, wholeValues);
      for (const size_t size : kPieceSizes) {
        MemoryFormValues values;
        values.levelText = level;
        ASSERT_EQ(PiecewiseDetection(text, size, rng, values), expected)
            << "text " << ToUtf8(text) << " level " << ToUtf8(level) << " pieces " << size;
        ASSERT_EQ(values.levelReads, wholeValues.levelReads) << "text " << ToUtf8(text);
      }
    }
  }
}

struct EdgeCase {
  const char* what;
  std::u16string text;
  std::u16string path;
  std::u16string url;
};

const EdgeCase kEdgeCases[] = {
    {"URL reference before a path reference",
     u"<img src=\"\"file:///D:/url/a.jpg\"\"><img src=\"\"E:\\path\\b.jpg\"\">", u"E:\\path\\b.jpg",
     u""},
    {"path candidate never closed, URL reference before it",
     u"<img src=\"\"file:///D:/url/a.jpg\"\"> <img src=\"\"D:\\x\\y.jpg", u"",
     u"file:///D:/url/a.jpg"},
    {"candidate never closed", u"src=\"\"D:\\x\\y.jpg src=file:///D:/x\r\n", u"", u""},
    {"each start closed by the next one's quotation marks",
     u"src=\"\"D:\\p\\src=\"\"D:\\q\\src=\"\"D:\\r\\", u"D:\\p\\src=", u""},
    {"line breaks in the capture", u"src=\"\"D:\\a\r\nb\\\r\nc\"\"", u"D:\\a\r\nb\\\r\nc", u""},
    {"near misses before the reference",
     u"src= \"\"D:\\n\"\" SRC=\"\"D:\\u\"\" src=\"\"D:/s\"\" "
     u"src=\"\"\\\\h\\s\"\" "
     u"src=\"\"file://D:/f\"\" src=\"\"FILE:///D:/g\"\" "
     u"src=\"\"d:\\图片\\a.jpg\"\"",
     u"d:\\图片\\a.jpg", u""},
    {"reference longer than the pieces",
     u"x src=\"\"D:\\" + std::u16string(300, u'长') + u"\\a.jpg\"\"",
     u"D:\\" + std::u16string(300, u'长') + u"\\a.jpg", u""},
    {"start split over a half-finished one", u"src=\"src=\"\"src=\"\"D:\\a\"", u"D:\\a", u""},
    {"only the start at the very end", u"src=\"\"file:///Q:/z\"\" src=\"\"D:\\", u"",
     u"file:///Q:/z"},
    {"empty text", u"", u"", u""},
};

TEST(FindFirstReferencesTest, EdgeCasesForEveryPieceSize) {
  std::mt19937 rng(3u);
  for (const EdgeCase& c : kEdgeCases) {
    FirstReferences expected;
    expected.hasText = !c.text.empty();
    expected.first[kPathForm] = c.path;
    expected.first[kUrlForm] = c.url;
    ASSERT_EQ(Describe(WholeText(c.text)), Describe(expected)) << c.what;
    for (size_t size = 1; size <= c.text.size() + 1; ++size) {
      EXPECT_EQ(Describe(Piecewise(c.text, size, rng)), Describe(expected))
          << c.what << ", pieces of " << size;
    }
    EXPECT_EQ(Describe(Piecewise(c.text, 0, rng)), Describe(expected)) << c.what;
  }
}

// Two pieces, split at every place of the text: every split of the
// reference and of the characters around it.
TEST(FindFirstReferencesTest, ReferenceSplitAtEveryPlace) {
  const std::u16string row =
      u"\"商品\",\"<img src=\"\"file:///E:/u/a.jpg\"\" "
      u"/><img src=\"\"D:\\店\\item\\a.jpg\"\" "
      u"/>\"\r\n";
  for (size_t split = 0; split <= row.size(); ++split) {
    size_t given = 0;
    const TextSource twoPieces = [&](char16_t* units, size_t maxUnits) {
      const size_t end = given < split ? split : row.size();
      const size_t count = std::min(maxUnits, end - given);
      std::copy_n(row.data() + given, count, units);
      given += count;
      return count;
    };
    const FirstReferences found = FindFirstReferences(twoPieces, row.size());
    EXPECT_EQ(ToUtf8(found.first[kPathForm]), "D:\\店\\item\\a.jpg") << "split at " << split;
    EXPECT_EQ(found.first[kUrlForm], u"") << "split at " << split;
  }
}

// Reading stops with the piece that completes the path reference; a URL
// reference does not stop it, since a path reference may still follow.
TEST(FindFirstReferencesTest, ReadsNoFurtherThanThePathReference) {
  const std::u16string url = u"<img src=\"\"file:///E:/u/a.jpg\"\">";
  const std::u16string path = u"<img src=\"\"D:\\p\\a.jpg\"\">";
  const std::u16string filler(10000, u'x');
  const struct {
    const char* what;
    std::u16string text;
    size_t readUpTo;  // the end of the character that settles the search
  } cases[] = {
      {"path reference first", path + filler + url, path.find(u".jpg\"") + 5},
      {"URL reference first", url + filler + path + filler,
       url.size() + filler.size() + path.find(u".jpg\"") + 5},
      {"only a URL reference", url + filler, url.size() + filler.size()},
  };
  std::mt19937 rng(1u);
  for (const auto& c : cases) {
    for (const size_t size : {1, 7, 64, 4096}) {
      MemorySource source{c.text, size, &rng};
      FindFirstReferences(std::ref(source), size);
      const size_t pieces = (c.readUpTo + size - 1) / size;
      EXPECT_EQ(source.given, std::min(c.text.size(), pieces * size)) << c.what << ", " << size;
    }
  }
}

TEST(FindFirstReferencesTest, SourceErrorsPassThrough) {
  int calls = 0;
  const TextSource failing = [&](char16_t* units, size_t) -> size_t {
    if (++calls == 3) throw Error("Stream read error");
    units[0] = u'x';
    return 1;
  };
  EXPECT_THROW(FindFirstReferences(failing, 16), Error);
}

}  // namespace
}  // namespace picrelink
