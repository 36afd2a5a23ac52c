// The last stage remembers what it decided for a reference's folder part and
// applies it to the next references of that folder without parsing them.
// Whatever the references, the result must be the one that deciding each on
// its own gives: the same text, the same counts, the same pictures found.
#include "relocation/run/folder_verdicts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "core/path_helpers.h"
#include "core/utf.h"
#include "relocation/census/picture_names.h"
#include "relocation/run/occurrences_in_references.h"
#include "relocation/run/respelling_pass.h"
#include "tests/support/collecting_sink.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;

using Collect = test::CollectingSink;

std::string List(const std::vector<std::u16string>& texts) {
  std::string out;
  for (const std::u16string& text : texts) out += "[" + ToUtf8(text) + "]";
  return out;
}

// Everything the stage reports, as one text to compare.
std::string Describe(const RunReport& report, const PictureChecker* checker) {
  std::ostringstream out;
  out << "respelled " << report.respelledTotal;
  for (const auto& [name, count] : report.respelled) out << " " << name << "=" << count;
  out << "\nleftovers " << report.leftovers << " " << List(report.leftoverExamples) << "\nother "
      << report.otherFolderReferences << " " << List(report.otherFolders) << "\nleft alone "
      << report.leftAlone.inMissingFolders << " " << List(report.leftAlone.missingFolders) << " "
      << report.leftAlone.inOtherKind << " " << List(report.leftAlone.otherKindFolders);
  if (checker != nullptr) {
    const PictureTally& t = checker->Tally();
    out << "\npictures checked " << t.checked << " found " << t.found << " folded "
        << t.foundIgnoringCase << " missing " << t.missing << " elsewhere " << t.missingElsewhere
        << " not checked " << t.notChecked << " unreadable " << t.unreadableFolders << " "
        << List(t.missingExamples);
  }
  return out.str();
}

class FolderVerdictsProperty : public ::testing::Test {
 protected:
  void SetUp() override {
    pictures = dir.path() / "pics";
    for (const char* file : {"a.jpg", "B.jpg", "sub/a.jpg", "sub/Deep/c.jpg", "b&c.jpg"}) {
      fs::create_directories((pictures / file).parent_path());
      test::WriteBytes(pictures / file, "jpg");
    }
    test::WriteBytes(pictures / fs::u8path("图.jpg"), "jpg");
    fs::create_directories(dir.path() / "elsewhere");
    test::WriteBytes(dir.path() / "elsewhere" / "e.jpg", "jpg");
  }

  // A text of references built from the pieces that decide something: the
  // folders in both forms and every spelling, separators, names with the
  // units that stop a remembered verdict, and cases.
  std::u16string RandomText(std::mt19937& rng, const std::u16string& newFolder,
                            const std::u16string& oldFolder) {
    const std::u16string local = TrimFolderSeparator(dir.Folder());
    // The new folder cut before its last component, which a name then
    // completes: the folder part alone does not say which folder it is.
    const size_t cut = newFolder.find_last_of(u"\\/");
    const std::u16string newParent = newFolder.substr(0, cut);
    const std::u16string newLast = newFolder.substr(cut + 1);
    const std::u16string heads[] = {u"",       u"",         u"file:///", u"file://localhost/",
                                    u"file:/", u"FILE:///", u"file:////"};
    const std::u16string folders[] = {newFolder,
                                      newFolder,
                                      newParent,
                                      oldFolder,
                                      u"D:\\old\\item2",
                                      u"d:/OLD/item",
                                      u"E:\\pics",
                                      local + u"/elsewhere",
                                      local + u"/gone",
                                      local + u"/PICS",
                                      u"D:",
                                      u"E:",
                                      u"/"};
    const std::u16string separators[] = {u"\\", u"/", u"\\\\", u"//"};
    const std::u16string names[] = {
        u"a.jpg",       u"A.JPG",         u"b.jpg",     u"sub",     u"Deep",   u"c.jpg",
        u"b&amp;c.jpg", u"b&c.jpg",       u"%41.jpg",   u"x#y.jpg", u"q?.jpg", u"c:d.jpg",
        u"图.jpg",      u"%E5%9B%BE.jpg", u"my%20item", u"x y",     newLast,   newLast};
    const auto pick = [&rng](const auto& table) -> const std::u16string& {
      return table[rng() % std::size(table)];
    };
    // A few folder parts per text, so that references share them as those
    // of a listing do.
    std::u16string folderParts[3];
    for (std::u16string& part : folderParts) {
      part = pick(heads) + pick(folders);
      for (int k = 0, parts = static_cast<int>(rng() % 3); k < parts; ++k) {
        part += pick(separators) + pick(names);
      }
      part += pick(separators);
    }
    std::u16string text;
    const int references = static_cast<int>(rng() % 40);
    for (int i = 0; i < references; ++i) {
      text += rng() % 4 == 0 ? u"宝贝 " : u"";
      text += u"src=\"\"";
      std::u16string value = pick(folderParts) + pick(names);
      if (rng() % 8 == 0) value += pick(separators) + pick(names);
      if (rng() % 16 == 0) {
        // A case change anywhere.
        const size_t at = rng() % value.size();
        if (value[at] >= u'a' && value[at] <= u'z')
          value[at] = static_cast<char16_t>(value[at] - 32);
      }
      if (rng() % 16 == 0) {
        // A unit that differs from one of the folders' in the bit that
        // tells a letter's case, but is no letter ("\\" and "|", ":" and a
        // control): nothing may take the one for the other.
        const size_t at = rng() % value.size();
        const char16_t small = static_cast<char16_t>(value[at] | 0x20);
        if (value[at] < 0x80 && !(small >= u'a' && small <= u'z'))
          value[at] = static_cast<char16_t>(value[at] ^ 0x20);
      }
      text += value + u"\"\" ";
    }
    return text;
  }

  test::TempDir dir;
  fs::path pictures;
};

TEST_F(FolderVerdictsProperty, RememberedVerdictsGiveWhatEachReferenceGivesOnItsOwn) {
  const std::u16string newFolder = dir.Folder() + u"pics";
  const std::u16string parent = TrimFolderSeparator(dir.Folder());
  struct Setup {
    std::u16string oldFolder, newFolder;
    bool check;
    // The old folder the picture check is given; the new one when empty,
    // as the run gives it.
    std::u16string checkOld;
  } const setups[] = {
      {u"D:\\old\\item", newFolder, true, {}},
      {u"D:\\old\\item", newFolder, false, {}},  // the comparison with what the passes wrote
      {parent, newFolder, true, {}},             // the new folder inside the old one
      {newFolder + u"/sub", newFolder, true, {}},
      {u"D:\\old\\item", u"D:\\old\\item\\more", false, {}},
      {u"D:\\old\\item", u"E:\\new item", false, {}},
      {u"D:\\old\\item", u"E:\\new item", true, {}},  // looked for in a folder not here
      // A check that compares with a folder of its own, which a name completes.
      {u"D:\\old\\item", newFolder, true, parent + u"/elsewhere/x y"},
  };
  std::mt19937 rng(2024u);
  for (int round = 0; round < 6000; ++round) {
    const Setup& setup = setups[round % std::size(setups)];
    const std::u16string text = RandomText(rng, setup.newFolder, setup.oldFolder);
    std::string described[2];
    std::u16string written[2];
    for (const bool remember : {false, true}) {
      std::optional<PictureChecker> checker;
      if (setup.check) {
        checker.emplace(setup.checkOld.empty() ? setup.newFolder : setup.checkOld, setup.newFolder);
      }
      RunReport report;
      Collect out;
      RespellingPass pass(setup.oldFolder, setup.newFolder, out, report,
                          checker ? &*checker : nullptr, remember);
      // In pieces, so that values cut by a piece's end are remembered too.
      for (size_t at = 0; at < text.size();) {
        const size_t size = std::min<size_t>(text.size() - at, 1 + rng() % 200);
        pass.Append(text.data() + at, size);
        at += size;
      }
      pass.Finish();
      described[remember] = Describe(report, checker ? &*checker : nullptr);
      written[remember] = out.text;
    }
    ASSERT_EQ(described[true], described[false])
        << "old " << ToUtf8(setup.oldFolder) << " new " << ToUtf8(setup.newFolder) << "\n"
        << ToUtf8(text);
    ASSERT_TRUE(written[true] == written[false]) << ToUtf8(text);
  }
}

// The dry run's count of occurrences inside references, remembered by folder
// part, against the count of each value on its own.
TEST_F(FolderVerdictsProperty, RememberedCountsGiveWhatEachValueCounts) {
  const std::u16string newFolder = dir.Folder() + u"pics";
  // Old folders that a name may complete ("D:\old\item\" + "more",
  // "E:\pics\" + "a.jpg"), and one without a separator, found in names too.
  const std::u16string oldFolders[] = {u"D:\\old\\item\\mo",
                                       u"E:\\pics\\a",
                                       u"D:\\old\\item",
                                       u"E:\\pics",
                                       newFolder,
                                       u"a.jpg",
                                       u"D:"};
  std::mt19937 rng(77u);
  int64_t counted = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::u16string& oldFolder = oldFolders[round % std::size(oldFolders)];
    const std::u16string text = RandomText(rng, u"D:\\old\\item\\more", oldFolder);
    const std::array<FormTexts, kFormCount> texts = FindAndReplacementTexts(oldFolder, u"F:\\n");
    OccurrencesInReferences plain(texts, nullptr, false);
    OccurrencesInReferences remembered(texts, nullptr, true);
    for (size_t at = 0; at < text.size();) {
      const size_t size = std::min<size_t>(text.size() - at, 1 + rng() % 200);
      plain.Feed(std::u16string_view(text).substr(at, size));
      remembered.Feed(std::u16string_view(text).substr(at, size));
      at += size;
    }
    ASSERT_EQ(remembered.Total(), plain.Total()) << ToUtf8(oldFolder) << "\n" << ToUtf8(text);
    counted += plain.Total();
  }
  EXPECT_GT(counted, 1000);
}

// Two values whose folder parts begin alike: a remembered count holds for
// the one folder part alone. The second value of each pair names the old
// folder behind the first one's folder part (under every unit, so that
// wherever a folder part is remembered, one of them lands on the first's),
// or behind a separator in its last few units.
TEST(FolderVerdicts, RememberedCountsTellFolderPartsApart) {
  struct Pair {
    std::u16string_view oldFolder, first, second;
  } pairs[] = {{u"D:", u"qqq\\a.jpg", u"qqq\\D:\\bb"}, {u"D:", u"qqq\\a.jpg", u"qqq\\D:\\b\\c"}};
  std::vector<Pair> all(std::begin(pairs), std::end(pairs));
  std::vector<std::u16string> seconds;
  for (char16_t unit = u'0'; unit <= u'z'; ++unit) {
    seconds.push_back(u"a\\E:\\pics\\" + std::u16string(1, unit) + u"\\b.jpg");
  }
  for (const std::u16string& second : seconds) all.push_back({u"E:\\pics", u"a\\b.jpg", second});
  for (const Pair& pair : all) {
    const std::array<FormTexts, kFormCount> texts =
        FindAndReplacementTexts(pair.oldFolder, u"F:\\n");
    const std::u16string text = u"src=\"\"" + std::u16string(pair.first) + u"\"\" src=\"\"" +
                                std::u16string(pair.second) + u"\"\"";
    OccurrencesInReferences plain(texts, nullptr, false);
    OccurrencesInReferences remembered(texts, nullptr, true);
    plain.Feed(text);
    remembered.Feed(text);
    ASSERT_EQ(plain.Total(), 1) << ToUtf8(text);
    EXPECT_EQ(remembered.Total(), plain.Total()) << ToUtf8(text);
  }
}

TEST(FolderVerdicts, SplitNameStopsAtUnitsThatCouldChangeADecision) {
  struct Case {
    std::u16string_view value;
    bool split;
    size_t nameStart;
  } const cases[] = {
      {u"D:\\pics\\a.jpg", true, 8},
      {u"file:///D:/pics/item/long name of a picture.jpg", true, 21},
      {u"D:\\pics/a.jpg", true, 8},
      {u"/srv/a.jpg", true, 5},
      {u"D:\\pics\\", false, 0},           // no name
      {u"a.jpg", false, 0},                // no folder part
      {u"D:\\pics\\%41.jpg", false, 0},    // an escape
      {u"D:\\pics\\a#b.jpg", false, 0},    // a fragment
      {u"D:\\pics\\a?b.jpg", false, 0},    // a query
      {u"D:\\pics\\a&amp;b", false, 0},    // a character reference
      {u"D:\\pics\\c:d.jpg", false, 0},    // a colon
      {u"D:\\a%\\pics\\b.jpg", true, 11},  // in the folder part, they stay
      {u"D:\\pics\\名字很长的一张图片.jpg", true, 8},
      {u"D:\\pics\\b\\名字很长的一张图片%.jpg", false, 0},
  };
  for (const Case& c : cases) {
    size_t nameStart = 0;
    EXPECT_EQ(FolderVerdicts::SplitName(c.value, nameStart), c.split) << ToUtf8(c.value);
    if (c.split) {
      EXPECT_EQ(nameStart, c.nameStart) << ToUtf8(c.value);
    }
  }
}

TEST(PictureNames, AFolderPartAndANameFindWhatTheWholePathFinds) {
  PictureNames names(false);
  for (std::u16string_view path :
       {u"a.jpg", u"sub/B.jpg", u"sub/deep/名字.JPG", u"abcdefgh.jpg", u"x@y.jpg"}) {
    names.Add(path);
  }
  names.Add(u"a.jpg");  // listed twice, kept once
  // Two names that differ only in case: each is found as it is written.
  names.Add(u"Case.jpg");
  names.Add(u"case.jpg");
  EXPECT_EQ(names.Size(), 7u);
  struct Case {
    std::u16string_view folder, name;
    PictureNames::Match match;
  } const cases[] = {
      {u"", u"a.jpg", PictureNames::Match::Exact},
      {u"", u"Case.jpg", PictureNames::Match::Exact},
      {u"", u"case.jpg", PictureNames::Match::Exact},
      {u"", u"CASE.jpg", PictureNames::Match::Folded},
      {u"", u"A.jpg", PictureNames::Match::Folded},
      {u"sub/", u"B.jpg", PictureNames::Match::Exact},
      {u"SUB/", u"b.jpg", PictureNames::Match::Folded},
      {u"sub/deep/", u"名字.JPG", PictureNames::Match::Exact},
      {u"sub/deep/", u"名字.jpg", PictureNames::Match::Folded},
      {u"", u"ABCDEFGH.JPG", PictureNames::Match::Folded},
      {u"sub/", u"a.jpg", PictureNames::Match::None},
      {u"", u"b.jpg", PictureNames::Match::None},
      {u"", u"a.jp", PictureNames::Match::None},
      // "@" and "`" hash alike (0x20 set); only "@" is the name's.
      {u"", u"x`y.jpg", PictureNames::Match::None},
      {u"", u"X@Y.JPG", PictureNames::Match::Folded},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        names.Find(c.folder, PictureNames::Continue(PictureNames::kEmptyHash, c.folder), c.name),
        c.match)
        << ToUtf8(c.folder) << " " << ToUtf8(c.name);
  }
  PictureNames withoutCase(true);
  withoutCase.Add(u"sub/B.jpg");
  EXPECT_EQ(withoutCase.Find(u"SUB/", PictureNames::Continue(PictureNames::kEmptyHash, u"SUB/"),
                             u"b.JPG"),
            PictureNames::Match::Exact);
}

}  // namespace
}  // namespace picrelink
