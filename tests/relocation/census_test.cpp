// The census: every spelling of a picture reference read, grouped by folder
// under the level rule, the detected folder marked; and the picture check
// against a small folder tree.
#include "relocation/census/census.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/references/detection.h"
#include "relocation/references/reference_scan.h"
#include "relocation/references/reference_spelling.h"
#include "tests/relocation/census_texts.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

using test::TempDir;

std::string SpellingNames(unsigned spelling) {
  if (spelling == 0) return std::string(kStandardSpelling);
  std::string names;
  for (const auto& [bit, name] : kSpellingNames) {
    if ((spelling & bit) != 0) names += (names.empty() ? "" : "+") + std::string(name);
  }
  return names;
}

struct SpellingCase {
  std::u16string value;  // the text after src="", up to the closing quotation mark
  std::string form;      // "" for no picture reference
  std::string spelling;
  std::u16string path;
  std::u16string ownFolder;    // level 0
  std::u16string upperFolder;  // level 1
};

TEST(ReferenceSpellingTest, EverySpellingMetInListingFiles) {
  const SpellingCase cases[] = {
      {u"D:\\店铺\\图片\\item1\\a.jpg", "path", "standard", u"D:\\店铺\\图片\\item1\\a.jpg",
       u"D:\\店铺\\图片\\item1", u"D:\\店铺\\图片"},
      {u"file:///D:/店铺/图片/item1/a.jpg", "url", "standard", u"D:\\店铺\\图片\\item1\\a.jpg",
       u"D:\\店铺\\图片\\item1", u"D:\\店铺\\图片"},
      {u"file:///D:/my%20shop/a.jpg", "url", "standard", u"D:\\my shop\\a.jpg", u"D:\\my shop",
       u"D:\\"},
      {u"file:///D:/%E5%BA%97%E9%93%BA/%e5%9b%be%e7%89%87/item1/a.jpg", "url", "percent-encoded",
       u"D:\\店铺\\图片\\item1\\a.jpg", u"D:\\店铺\\图片\\item1", u"D:\\店铺\\图片"},
      {u"file:///D:/店铺/%E5%9B%BE%E7%89%87/item1/a.jpg", "url", "percent-encoded",
       u"D:\\店铺\\图片\\item1\\a.jpg", u"D:\\店铺\\图片\\item1", u"D:\\店铺\\图片"},
      {u"file://localhost/D:/店铺/图片/item1/a.jpg", "url", "localhost",
       u"D:\\店铺\\图片\\item1\\a.jpg", u"D:\\店铺\\图片\\item1", u"D:\\店铺\\图片"},
      {u"FILE://LocalHost/D:/a/b.jpg", "url", "localhost", u"D:\\a\\b.jpg", u"D:\\a", u"D:\\"},
      {u"file:/D:/店铺/图片/item1/a.jpg", "url", "file:/", u"D:\\店铺\\图片\\item1\\a.jpg",
       u"D:\\店铺\\图片\\item1", u"D:\\店铺\\图片"},
      {u"file:///D:\\店铺\\图片\\item1\\a.jpg", "url", "backslashes",
       u"D:\\店铺\\图片\\item1\\a.jpg", u"D:\\店铺\\图片\\item1", u"D:\\店铺\\图片"},
      {u"file://localhost/E:/%E6%97%A7/x.jpg", "url", "percent-encoded+localhost", u"E:\\旧\\x.jpg",
       u"E:\\旧", u"E:\\"},
      // An escape that is no UTF-8 stays as it is written.
      {u"file:///D:/100%/%FF.jpg", "url", "percent-encoded", u"D:\\100%\\%FF.jpg", u"D:\\100%",
       u"D:\\"},
      // Not pictures of a drive: web addresses, UNC paths, drive letters with
      // slashes but no scheme, other hosts.
      {u"http://example.com/a.jpg", "", "", u"", u"", u""},
      {u"\\\\server\\share\\a.jpg", "", "", u"", u"", u""},
      {u"D:/shop/a.jpg", "", "", u"", u"", u""},
      {u"file://server/D:/a.jpg", "", "", u"", u"", u""},
      {u"//cdn.example.com/a.jpg", "", "", u"", u"", u""},
      {u"file:///D:%5Cold%5Ca.jpg", "", "", u"", u"", u""},
#ifndef _WIN32
      // What a run on this system writes: local folders.
      {u"/srv/pics\\item1\\a.jpg", "path", "local folder", u"/srv/pics\\item1\\a.jpg",
       u"/srv/pics\\item1", u"/srv/pics"},
      {u"file:////srv/pics/item1/a.jpg", "url", "local folder", u"/srv/pics/item1/a.jpg",
       u"/srv/pics/item1", u"/srv/pics"},
      {u"file:///srv/my%20pics/a.jpg", "url", "local folder", u"/srv/my pics/a.jpg",
       u"/srv/my pics", u"/srv"},
      // Other spellings rewritten to a local folder keep their scheme part.
      {u"file:/srv/pics/a.jpg", "url", "file:/+local folder", u"/srv/pics/a.jpg", u"/srv/pics",
       u"/srv"},
      {u"file://localhost/srv/pics/a.jpg", "url", "localhost+local folder", u"/srv/pics/a.jpg",
       u"/srv/pics", u"/srv"},
#endif
  };
  for (const SpellingCase& c : cases) {
    SCOPED_TRACE(ToUtf8(c.value));
    ParsedReference parsed;
    const bool isReference = ParseReference(c.value, parsed);
    EXPECT_EQ(ClassifySpelledHead(std::u16string_view(c.value).substr(0, 24)) >= 0, isReference);
    if (c.form.empty()) {
      EXPECT_FALSE(isReference);
      continue;
    }
    ASSERT_TRUE(isReference);
    EXPECT_EQ(kReferenceForms[parsed.form].name, c.form);
    EXPECT_EQ(SpellingNames(parsed.spelling), c.spelling);
    EXPECT_EQ(ToUtf8(parsed.path), ToUtf8(c.path));
    EXPECT_EQ(ToUtf8(parsed.path.substr(0, PictureFolderLength(parsed, false))),
              ToUtf8(c.ownFolder));
    EXPECT_EQ(ToUtf8(parsed.path.substr(0, PictureFolderLength(parsed, true))),
              ToUtf8(c.upperFolder));
  }
}

TEST(ReferenceSpellingTest, LenientDecodingKeepsWhatIsNoUtf8AndSaysWhereEachUnitCameFrom) {
  std::basic_string<uint32_t> ends;
  EXPECT_EQ(DecodePercentLeniently(u"a%E5%9B%BEb%2", &ends), u"a图b%2");
  EXPECT_EQ(ends, (std::basic_string<uint32_t>{1, 10, 11, 12, 13}));
  // A character beyond U+FFFF: both its units end where its four escapes do.
  EXPECT_EQ(DecodePercentLeniently(u"%F0%9F%98%80x", &ends), u"\U0001F600x");
  EXPECT_EQ(ends, (std::basic_string<uint32_t>{12, 12, 13}));
  // Overlong forms, surrogates and cut sequences are not decoded.
  EXPECT_EQ(DecodePercentLeniently(u"%C0%AF%ED%A0%80%E5%9B"), u"%C0%AF%ED%A0%80%E5%9B");
}

TEST(ReferenceSpellingTest, FolderBeginningFoldsAsciiAndTakesEitherSeparator) {
  EXPECT_TRUE(PathBeginsWithFolder(u"d:\\SHOP\\a.jpg", u"D:\\shop", true));
  EXPECT_TRUE(PathBeginsWithFolder(u"D:/shop/a.jpg", u"D:\\shop\\", true));
  EXPECT_FALSE(PathBeginsWithFolder(u"D:\\shop2\\a.jpg", u"D:\\shop", true));
  EXPECT_TRUE(PathBeginsWithFolder(u"D:\\shop2\\a.jpg", u"D:\\shop", false));
  EXPECT_FALSE(PathBeginsWithFolder(u"D:\\Ítem\\a.jpg", u"D:\\ítem", false));
  EXPECT_TRUE(PathBeginsWithFolder(u"D:\\a.jpg", u"D:\\", true));
  EXPECT_FALSE(PathBeginsWithFolder(u"D:\\a.jpg", u"", false));
}

// The vector compare against the unit-by-unit one, over units next to the
// ASCII letters' edges and units whose low byte looks like a letter.
TEST(ReferenceSpellingProperty, BeginsWithSmallIsBeginsFolded) {
  static const char16_t kUnits[] = {u'A', u'a',      u'Z',      u'z',      u'@',
                                    u'[', u'`',      u'{',      u'\\',     u'/',
                                    u'é', u'\u0161', u'\uFF41', u'\u8041', u'\uC15A'};
  std::mt19937 rng(31u);
  const auto randomText = [&](size_t length) {
    std::u16string text;
    for (size_t i = 0; i < length; ++i) text += kUnits[rng() % std::size(kUnits)];
    return text;
  };
  int matches = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::u16string prefix = randomText(rng() % 20);
    // Often the prefix itself in other letter case, then anything.
    std::u16string text = prefix;
    for (char16_t& c : text) {
      if (rng() % 2 == 0 && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) c ^= 0x20;
    }
    if (rng() % 4 == 0 && !text.empty())
      text[rng() % text.size()] = kUnits[rng() % std::size(kUnits)];
    text += randomText(rng() % 5);
    if (rng() % 8 == 0) text.resize(rng() % (text.size() + 1));
    std::u16string small = prefix;
    for (char16_t& c : small) c = FoldAscii(c);
    ASSERT_EQ(BeginsWithSmall(text, small), BeginsFolded(text, prefix)) << ToUtf8(text);
    ASSERT_EQ(BeginsWithSmall(text, prefix, false), text.starts_with(prefix)) << ToUtf8(text);
    matches += BeginsFolded(text, prefix) && prefix.size() >= 8;
  }
  EXPECT_GT(matches, 1000);
}

// ---------------------------------------------------------------------------

std::u16string CensusRow(std::u16string_view reference) {
  return u"\"宝贝\",\"<p><img src=\"\"" + std::u16string(reference) + u"\"\"></p>\"\r\n";
}

class CheckCsvTest : public ::testing::Test {
 protected:
  void WriteCsv(const std::u16string& text) {
    test::WriteBytes(test::ToPath(csv), test::Utf16FileBytes(text));
  }
  void MakeFile(const std::string& relative) {
    const std::filesystem::path file = dir.path() / std::filesystem::u8path(relative);
    std::filesystem::create_directories(file.parent_path());
    test::WriteBytes(file, "jpg");
  }

  TempDir dir;
  std::u16string csv = dir.File("商品.csv");
};

TEST_F(CheckCsvTest, GroupsEverySpellingByFolderAndMarksTheDetectedOne) {
  WriteCsv(u"\"标题\",\"描述\"\r\n" +
           CensusRow(u"file:///E:/%E6%97%A7%E7%94%B5%E8%84%91/图片/item9/z.jpg") +  // before
                                                                                    // any
                                                                                    // path
           CensusRow(u"D:\\店铺\\图片\\item1\\a.jpg") + CensusRow(u"d:\\店铺\\图片\\ITEM2\\b.jpg") +
           CensusRow(u"file:///D:/店铺/图片/item1/c.jpg") +
           CensusRow(u"file://localhost/D:/%E5%BA%97%E9%93%BA/图片/item1/d.jpg") +
           CensusRow(u"E:\\旧电脑\\图片\\item9\\y.jpg") + CensusRow(u"http://example.com/a.jpg") +
           u"SRC=\"\"D:\\店铺\\图片\\x.jpg\"\"");
  const CheckResult result = CheckCsv(csv, u"1", std::nullopt);
  const Census& census = result.census;
  EXPECT_TRUE(census.hasText);
  EXPECT_EQ(census.level, 1);
  EXPECT_EQ(ToUtf8(census.detected), "D:\\店铺\\图片");
  EXPECT_EQ(census.references, 6);
  EXPECT_EQ(census.byForm[kPathForm], 3);
  EXPECT_EQ(census.byForm[kUrlForm], 3);
  EXPECT_EQ(census.spellings.at("standard"), 4);
  EXPECT_EQ(census.spellings.at("percent-encoded"), 2);
  EXPECT_EQ(census.spellings.at("localhost"), 1);
  ASSERT_EQ(census.folders.size(), 2u);
  EXPECT_EQ(ToUtf8(census.folders[0].folder), "D:\\店铺\\图片");
  EXPECT_TRUE(census.folders[0].detected);
  EXPECT_EQ(census.folders[0].references, 4);
  EXPECT_EQ(census.folders[0].byForm[kPathForm], 2);
  EXPECT_EQ(ToUtf8(census.folders[1].folder), "E:\\旧电脑\\图片");
  EXPECT_FALSE(census.folders[1].detected);
  EXPECT_EQ(census.folders[1].references, 2);
  EXPECT_FALSE(result.pictures.has_value());

  // Level 0: the pictures' own folders.
  const Census own = CheckCsv(csv, u"0", std::nullopt).census;
  EXPECT_EQ(ToUtf8(own.detected), "D:\\店铺\\图片\\item1");
  ASSERT_EQ(own.folders.size(), 3u);
  EXPECT_EQ(own.folders[0].references, 3);  // item1 in three spellings
  EXPECT_TRUE(own.folders[0].detected);
}

// The census reads the CSV in pieces; a reference that the end of the first
// piece cuts, anywhere up to its folder, is counted once and under its own
// folder, as if the text were read whole.
TEST_F(CheckCsvTest, AReferenceCutByTheEndOfAPieceIsCountedUnderItsFolder) {
  const std::u16string head = CensusRow(u"D:\\店铺\\图片\\item1\\a.jpg") + u"<p>";
  const std::u16string tag = u"<img src=\"\"";
  const std::u16string cut = u"D:\\店铺\\图片\\item2\\b.jpg";
  const std::u16string tail = u"\"\">" + CensusRow(u"file:///D:/店铺/图片/item3/c.jpg");
  // Units of the cut reference's value in the first piece: none (the piece
  // ends inside its src="" or right behind it), the drive, half of the first
  // folder's name, up to a separator, into the picture's own folder.
  for (const int before : {-2, 0, 2, 4, 6, 13}) {
    SCOPED_TRACE(before);
    const size_t filler = kDetectionBufferUnits - head.size() - tag.size() - before;
    WriteCsv(head + std::u16string(filler, u'x') + tag + cut + tail);
    const Census census = CheckCsv(csv, u"0", std::nullopt).census;
    EXPECT_EQ(census.references, 3);
    EXPECT_EQ(census.byForm[kPathForm], 2);
    ASSERT_EQ(census.folders.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(ToUtf8(census.folders[i].folder), "D:\\店铺\\图片\\item" + std::to_string(i + 1));
      EXPECT_EQ(census.folders[i].references, 1);
    }
  }
}

// Detection reads a level below 0 as 0: the census groups by the pictures'
// own folders then too, and marks the folder that detection returns.
TEST_F(CheckCsvTest, ALevelBelowZeroGroupsAsLevelZero) {
  WriteCsv(CensusRow(u"D:\\店铺\\图片\\item1\\a.jpg") + CensusRow(u"D:\\店铺\\图片\\item2\\b.jpg"));
  const Census census = CheckCsv(csv, u"-1", std::nullopt).census;
  EXPECT_EQ(ToUtf8(census.detected), "D:\\店铺\\图片\\item1");
  ASSERT_EQ(census.folders.size(), 2u);
  EXPECT_EQ(ToUtf8(census.folders[0].folder), "D:\\店铺\\图片\\item1");
  EXPECT_TRUE(census.folders[0].detected);
  EXPECT_EQ(census.folders[0].references, 1);
}

TEST_F(CheckCsvTest, NothingToCountAndALevelThatIsNoInteger) {
  WriteCsv(u"\"标题\"\r\n" + CensusRow(u"http://example.com/a.jpg"));
  Census census = CheckCsv(csv, u"abc", std::nullopt).census;
  EXPECT_TRUE(census.hasText);
  EXPECT_EQ(census.references, 0);
  EXPECT_TRUE(census.folders.empty());

  test::WriteBytes(test::ToPath(csv), "plain bytes, no mark");
  census = CheckCsv(csv, u"1", std::nullopt).census;
  EXPECT_FALSE(census.hasText);

  WriteCsv(CensusRow(u"file:/D:/a/b/c.jpg"));  // a spelling detection does not see
  EXPECT_THROW(CheckCsv(csv, u"abc", std::nullopt), EConvertError);
  EXPECT_THROW(CheckCsv(dir.File("absent.csv"), u"1", std::nullopt), Error);
}

TEST_F(CheckCsvTest, PicturesAreLookedForUnderTheNewFolderOnce) {
  MakeFile("图片/item1/a.jpg");
  MakeFile("图片/item1/b.jpg");
  MakeFile("图片/item2/Case.JPG");
  MakeFile("图片/item2/图.jpg");
  WriteCsv(CensusRow(u"D:\\店铺\\图片\\item1\\a.jpg") +
           CensusRow(u"file:///D:/店铺/图片/item1/b.jpg") +
           CensusRow(u"file:///D:/店铺/图片/item2/%E5%9B%BE.jpg") +  // the name's escapes decoded

           CensusRow(u"D:\\店铺\\图片\\item1/a.jpg") +  // mixed separators
           CensusRow(u"D:\\店铺\\图片\\item2\\case.jpg") +
           CensusRow(u"D:\\店铺\\图片\\item3\\gone.jpg") + CensusRow(u"E:\\别处\\图片\\x\\y.jpg"));
  const std::u16string pictures = dir.Folder() + u"图片";
  const CheckResult result = CheckCsv(csv, u"1", pictures);
  ASSERT_TRUE(result.pictures.has_value());
  const PictureTally& p = *result.pictures;
  EXPECT_TRUE(p.folderExists);
  EXPECT_EQ(p.checked, 6);
  EXPECT_EQ(p.notChecked, 1);
  EXPECT_EQ(p.missing, 1);
#ifdef _WIN32
  EXPECT_EQ(p.found, 5);
  EXPECT_EQ(p.foundIgnoringCase, 0);
#else
  EXPECT_EQ(p.found, 4);
  EXPECT_EQ(p.foundIgnoringCase, 1);
#endif
  ASSERT_EQ(p.missingExamples.size(), 1u);
  const std::u16string separator(1, platform::kLocalSeparator);
  EXPECT_EQ(ToUtf8(p.missingExamples[0]),
            ToUtf8(pictures + separator + u"item3" + separator + u"gone.jpg"));

  // A new folder that is not there: every checked picture is missing.
  const PictureTally absent = *CheckCsv(csv, u"1", dir.Folder() + u"没有").pictures;
  EXPECT_FALSE(absent.folderExists);
  EXPECT_EQ(absent.missing, 6);
  EXPECT_EQ(absent.missingExamples.size(), 6u);
}

#ifndef _WIN32
TEST_F(CheckCsvTest, AfterARunTheLocalFolderIsTheDetectedOne) {
  MakeFile("图片/item1/a.jpg");
  MakeFile("图片/item1/b.jpg");
  const std::u16string pictures = dir.Folder() + u"图片";
  // What a run here leaves: the rest keeps its "\".
  WriteCsv(CensusRow(pictures + u"\\item1\\a.jpg") +
           CensusRow(u"file:///" + pictures + u"/item1/b.jpg") +
           CensusRow(pictures + u"\\item1\\c.jpg"));
  const CheckResult result = CheckCsv(csv, u"1", ProposedNewFolder(csv, pictures));
  EXPECT_EQ(result.census.detected, pictures);
  ASSERT_EQ(result.census.folders.size(), 1u);
  EXPECT_TRUE(result.census.folders[0].local);
  EXPECT_TRUE(result.census.folders[0].detected);
  EXPECT_EQ(result.census.spellings.at("local folder"), 3);
  const PictureTally& p = *result.pictures;
  EXPECT_EQ(p.checked, 3);
  EXPECT_EQ(p.found, 2);
  EXPECT_EQ(p.missing, 1);
}
#endif

// The census counts most references from the folder it saw last without
// reading them again. Against the plain count (every value read and its
// folder taken by the level rule), over texts that spell folders in every
// way that could mislead that shortcut, at both levels, with and without the
// picture check's tally of what it passes over.
TEST(CensusProperty, CountsWhatReadingEveryReferenceCounts) {
  std::mt19937 rng(2020u);
  TempDir dir;
  const std::u16string csv = dir.File("a.csv");
  int withMany = 0;
  for (int round = 0; round < 600; ++round) {
    std::u16string text;
    const int parts = static_cast<int>(rng() % 60);
    for (int i = 0; i < parts; ++i)
      text += test::kCensusParts[rng() % std::size(test::kCensusParts)];
    test::WriteBytes(test::ToPath(csv), test::Utf16FileBytes(text));
    for (const char16_t* level : {u"0", u"1"}) {
      const bool oneHigher = level[0] == u'1';
      // The plain count.
      int64_t references = 0;
      int64_t notRewritable = 0;
      std::map<std::string, int64_t> spellings;
      std::map<std::u16string, int64_t> byFolder;
      constexpr int kUnrewritable = static_cast<int>(kFormCount);
      const auto classify = [](std::u16string_view head) {
        const int form = ClassifySpelledHead(head);
        return form == kNotAReference && IsUnrewritableHead(head) ? kUnrewritable : form;
      };
      ScanReferences(text, classify, [&](const FoundReference& found) {
        if (found.kind == kUnrewritable) {
          ++notRewritable;
          return false;
        }
        ParsedReference parsed;
        if (!ParseReference(found.value, parsed)) return false;
        ++references;
        CountSpellings(spellings, parsed.spelling);
        std::u16string folder = parsed.path.substr(0, PictureFolderLength(parsed, oneHigher));
        if ((parsed.spelling & kSpellingLocal) == 0) {
          for (char16_t& c : folder) c = c == u'/' ? u'\\' : FoldAscii(c);
        }
        ++byFolder[folder];
        return false;
      });
      withMany += references > 5;
      const std::optional<std::u16string> newFolder =
          rng() % 2 == 0 ? std::optional<std::u16string>(dir.Folder() + u"新") : std::nullopt;
      const CheckResult result = CheckCsv(csv, level, newFolder);
      const Census& census = result.census;
      SCOPED_TRACE(ToUtf8(text) + " level " + ToUtf8(level));
      ASSERT_EQ(census.references, references);
      ASSERT_EQ(census.notRewritable, notRewritable);
      ASSERT_EQ(census.spellings, spellings);
      std::map<std::u16string, int64_t> counted;
      for (const CensusFolder& folder : census.folders) {
        std::u16string key = folder.folder;
        if (!folder.local) {
          for (char16_t& c : key) c = c == u'/' ? u'\\' : FoldAscii(c);
        }
        counted[key] += folder.references;
      }
      ASSERT_EQ(counted, byFolder);
      if (result.pictures) {
        ASSERT_EQ(result.pictures->checked + result.pictures->notChecked, references);
      }
    }
  }
  EXPECT_GT(withMany, 200);
}

TEST(ProposedNewFolderTest, TheFolderBesideTheCsvAsStartUpProposesIt) {
  TempDir dir;
  const std::u16string separator(1, platform::kLocalSeparator);
  EXPECT_EQ(ProposedNewFolder(dir.File("a.csv"), u"D:\\店铺\\图片"), dir.Folder() + u"图片");
  EXPECT_EQ(ProposedNewFolder(dir.File("a.csv"), u""), dir.Folder());
}

}  // namespace
}  // namespace picrelink
