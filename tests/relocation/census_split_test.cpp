// The census of a large CSV counted in two parts on two threads: whatever
// unit the second part begins at, the result is the one-thread census's,
// field by field, with and without the picture check; where the parts'
// counts cannot be joined exactly the first part's scan goes on alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/census/census.h"
#include "relocation/census/census_count.h"
#include "relocation/run/adjustment_run.h"
#include "tests/relocation/census_texts.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

using test::TempDir;

std::string Text(const std::u16string& text) { return ToUtf8(text); }

// The first field in which two check results differ, named; empty when
// they are the same in every field.
std::string Difference(const CheckResult& one, const CheckResult& two) {
  std::ostringstream out;
  const auto differs = [&out](const char* field, const auto& a, const auto& b) {
    if (a == b) return false;
    out << field << " differs";
    return true;
  };
  const Census& a = one.census;
  const Census& b = two.census;
  if (differs("hasText", a.hasText, b.hasText) || differs("level", a.level, b.level) ||
      differs("detected", a.detected, b.detected) ||
      differs("references", a.references, b.references) || differs("byForm", a.byForm, b.byForm) ||
      differs("spellings", a.spellings, b.spellings) ||
      differs("foldersNotListed", a.foldersNotListed, b.foldersNotListed) ||
      differs("notRewritable", a.notRewritable, b.notRewritable) ||
      differs("notRewritableExamples", a.notRewritableExamples, b.notRewritableExamples) ||
      differs("folders.size", a.folders.size(), b.folders.size())) {
    return out.str();
  }
  for (size_t i = 0; i < a.folders.size(); ++i) {
    const CensusFolder& x = a.folders[i];
    const CensusFolder& y = b.folders[i];
    if (differs("folder", x.folder, y.folder) || differs("folder.local", x.local, y.local) ||
        differs("folder.detected", x.detected, y.detected) ||
        differs("folder.inNewFolder", x.inNewFolder, y.inNewFolder) ||
        differs("folder.references", x.references, y.references) ||
        differs("folder.byForm", x.byForm, y.byForm)) {
      out << " at folder " << i << " (" << Text(x.folder) << ")";
      return out.str();
    }
  }
  if (differs("pictures", one.pictures.has_value(), two.pictures.has_value()) || !one.pictures) {
    return out.str();
  }
  const PictureTally& p = *one.pictures;
  const PictureTally& q = *two.pictures;
  differs("tally.folder", p.folder, q.folder) ||
      differs("tally.folderExists", p.folderExists, q.folderExists) ||
      differs("tally.checked", p.checked, q.checked) || differs("tally.found", p.found, q.found) ||
      differs("tally.foundIgnoringCase", p.foundIgnoringCase, q.foundIgnoringCase) ||
      differs("tally.missing", p.missing, q.missing) ||
      differs("tally.missingElsewhere", p.missingElsewhere, q.missingElsewhere) ||
      differs("tally.notChecked", p.notChecked, q.notChecked) ||
      differs("tally.missingExamples", p.missingExamples, q.missingExamples) ||
      differs("tally.unreadableFolders", p.unreadableFolders, q.unreadableFolders);
  return out.str();
}

class CensusSplitTest : public ::testing::Test {
 protected:
  void WriteCsv(const std::u16string& text) {
    units = text.size();
    test::WriteBytes(test::ToPath(csv), test::Utf16FileBytes(text));
  }
  // Writes a CSV of the references to folders 0..firstFolders-1, then to
  // secondFolders folders from secondFrom on; the split falls inside the
  // second part's first reference.
  uint64_t WriteTwoParts(const std::function<std::u16string(int)>& reference, int firstFolders,
                         int secondFrom, int secondFolders) {
    std::u16string text;
    for (int i = 0; i < firstFolders; ++i) text += reference(i);
    const uint64_t split = text.size() + 3;
    for (int i = 0; i < secondFolders; ++i) text += reference(secondFrom + i);
    WriteCsv(text);
    return split;
  }
  void MakeFile(const std::string& relative) {
    const std::filesystem::path file = dir.path() / std::filesystem::u8path(relative);
    std::filesystem::create_directories(file.parent_path());
    test::WriteBytes(file, "jpg");
  }
  CheckResult Split(std::u16string_view level, const std::optional<std::u16string>& newFolder,
                    uint64_t splitAt, CountedAs* how = nullptr) {
    return census_detail::CheckCsvSplitAt(csv, level, newFolder, {}, nullptr, splitAt, how);
  }
  // Every unit of the text as the split (every step-th), held to the
  // one-thread census; how often the parts' counts were joined and how
  // often the first part's scan went on.
  struct Outcomes {
    int joined = 0;
    int wentOn = 0;
  };
  Outcomes SplitEverywhere(std::u16string_view level,
                           const std::optional<std::u16string>& newFolder, uint64_t step = 1) {
    CountedAs how{};
    const CheckResult whole = Split(level, newFolder, 0, &how);
    EXPECT_EQ(how, CountedAs::OneThread);
    Outcomes outcomes;
    for (uint64_t at = 1; at < units; at += step) {
      const CheckResult split = Split(level, newFolder, at, &how);
      EXPECT_EQ(Difference(whole, split), "") << "split at " << at;
      if (::testing::Test::HasFailure()) return outcomes;
      outcomes.joined += how == CountedAs::TwoParts;
      outcomes.wentOn += how == CountedAs::FirstWentOn;
    }
    return outcomes;
  }

  TempDir dir;
  std::u16string csv = dir.File("商品.csv");
  uint64_t units = 0;
};

// Random texts of the census's own test parts, and references to folders of
// this machine (listed by the picture check apart from the new folder), at
// both levels, with the picture check against a folder holding some of the
// pictures and without it. Two seeds, as two tests: test programs sharded
// over two processes (the emulated Windows runs) take one each.
class CensusSplitProperty : public CensusSplitTest,
                            public ::testing::WithParamInterface<unsigned> {};

TEST_P(CensusSplitProperty, EverySplitCountsWhatOneThreadCounts) {
  MakeFile("新/b/c.jpg");
  MakeFile("新/c.jpg");
  MakeFile("本机/L1/c.jpg");
  const std::u16string local = dir.Folder() + u"本机";
  std::vector<std::u16string> parts(std::begin(test::kCensusParts), std::end(test::kCensusParts));
  for (const char16_t* folder : {u"/L1/", u"/L2/", u"/L1/b/"}) {
    parts.push_back(u"src=\"\"" + local + folder);
  }
  std::mt19937 rng(GetParam());
  Outcomes all;
  for (int round = 0; round < 10; ++round) {
    std::u16string text;
    const int count = static_cast<int>(rng() % 30);
    for (int i = 0; i < count; ++i) text += parts[rng() % parts.size()];
    // Mostly the last value closed: a split inside a value that runs to the
    // text's end leaves nothing to join.
    if (round % 4 != 3) text += u"\"\" ";
    WriteCsv(text);
    const char16_t* level = round % 2 == 0 ? u"1" : u"0";
    const std::optional<std::u16string> newFolder =
        round % 3 == 0 ? std::nullopt : std::optional<std::u16string>(dir.Folder() + u"新");
    SCOPED_TRACE(Text(text) + " level " + Text(level) + (newFolder ? " checked" : ""));
    const Outcomes outcomes = SplitEverywhere(level, newFolder);
    ASSERT_FALSE(HasFailure());
    all.joined += outcomes.joined;
    all.wentOn += outcomes.wentOn;
  }
  // Both ways were taken, joined mostly: a split whose parts are always
  // thrown away would count right and prove nothing. (These texts begin a
  // src="" inside a value far more often than listings do.)
  EXPECT_GT(all.joined, all.wentOn);
  EXPECT_GT(all.wentOn, 50);
}

INSTANTIATE_TEST_SUITE_P(Seeds, CensusSplitProperty, ::testing::Values(2020u, 2021u));

// Where the split falls decides whether the parts' counts can be joined: a
// value that the split cuts is finished by the first part's scan, and when
// a src="" begins between the split and that value's end (its last units
// are "src=" before its closing quotation marks) the second part's scan
// began otherwise than a whole scan goes on, so the first part's scan goes
// on itself.
TEST_F(CensusSplitTest, TheFirstPartGoesOnWhereASrcHeadBeginsInTheValueTheSplitCuts) {
  const std::u16string first = u"<p><img src=\"\"D:\\店\\图\\item1\\a.jpg\"\"></p>";
  const std::u16string inner = u"<img src=\"\"D:\\店\\图\\x\\src=\"\"D:\\别\\y.jpg\"\">";
  const std::u16string unknown = u"<img src=\"\"http://e.com/src=\"\"D:\\店\\图\\z\\c.jpg\"\">";
  const std::u16string last = u"<img src=\"\"E:\\图\\item2\\b.jpg\"\">";
  const std::u16string text = first + inner + unknown + last;
  WriteCsv(text);
  const size_t innerAt = first.size();
  const size_t innerHead = innerAt + inner.find(u"src=\"\"D:\\别");
  const size_t unknownAt = innerAt + inner.size();
  const size_t lastAt = unknownAt + unknown.size();
  const struct {
    const char* where;
    size_t at;
    CountedAs how;
  } cases[] = {
      {"inside the first src=\"\"", first.find(u"src") + 2, CountedAs::TwoParts},
      {"inside the first value", first.find(u"店"), CountedAs::TwoParts},
      {"between its closing quotation marks", first.find(u".jpg") + 5, CountedAs::TwoParts},
      {"in a value whose last units begin a src=\"\"", innerAt + 14, CountedAs::FirstWentOn},
      {"right at that src=\"\"", innerHead, CountedAs::FirstWentOn},
      {"inside that src=\"\"", innerHead + 1, CountedAs::TwoParts},
      {"behind the value's first closing mark", innerHead + 5, CountedAs::TwoParts},
      // The first part's scan takes that src="" itself, behind the split.
      {"in a value no scan takes, before a src=\"\" in it", unknownAt + 14, CountedAs::FirstWentOn},
      {"inside that src=\"\"", unknownAt + unknown.find(u"src=\"\"D") + 1, CountedAs::TwoParts},
      {"inside the last value", lastAt + 15, CountedAs::TwoParts},
  };
  CountedAs how{};
  const CheckResult whole = Split(u"1", std::nullopt, 0, &how);
  ASSERT_EQ(whole.census.references, 4);  // a.jpg, D:\店\图\x\src=, z\c.jpg, b.jpg
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    const CheckResult split = Split(u"1", std::nullopt, c.at, &how);
    EXPECT_EQ(Difference(whole, split), "");
    EXPECT_EQ(how, c.how);
  }

  // A level that is no integer is an error at the first reference, also
  // when the first part holds none.
  WriteCsv(u"<p>" + std::u16string(40, u'x') + last);
  EXPECT_THROW(Split(u"abc", std::nullopt, 0), EConvertError);
  EXPECT_THROW(Split(u"abc", std::nullopt, 20), EConvertError);
  EXPECT_THROW(Split(u"abc", std::nullopt, 43 + last.size() - 3), EConvertError);
}

// Each part keeps the first examples it meets; joined, the first part's
// come first and the second's fill what room is left. 24 references that
// no run rewrites and 24 missing pictures, each named apart.
TEST_F(CensusSplitTest, ExamplesAreTheFirstOnesOfTheWholeText) {
  MakeFile("新/item/there.jpg");
  std::u16string text;
  for (int i = 0; i < 24; ++i) {
    const std::u16string n = FromUtf8(std::to_string(i));
    text += u"<img src=\"\"\\\\srv\\" + n + u".jpg\"\">";
    text += u"<img src=\"\"D:\\店\\item\\gone" + n + u".jpg\"\">";
    text += u"<img src=\"\"D:\\店\\item\\there.jpg\"\">";
  }
  WriteCsv(text);
  const std::optional<std::u16string> newFolder = dir.Folder() + u"新";
  const CheckResult whole = Split(u"1", newFolder, 0);
  ASSERT_EQ(whole.census.notRewritable, 24);
  ASSERT_EQ(whole.census.notRewritableExamples.size(), 20u);
  ASSERT_EQ(whole.pictures->missing, 24);
  ASSERT_EQ(whole.pictures->found, 24);
  ASSERT_EQ(whole.pictures->missingExamples.size(), 20u);
  // Every third unit: examples stand on both sides of most splits, and a
  // census at every unit of this text takes a minute under an emulator.
  const Outcomes outcomes = SplitEverywhere(u"1", newFolder, 3);
  EXPECT_GT(outcomes.joined, static_cast<int>(units) / 3 - 20);
}

// The folder table holds kCensusFolderLimit folders; references to further
// ones are counted under none. Joined, the second part's folders that the
// first lacks follow as far as the table holds them, and the rest of its
// references count under none; where the second part's own table ran full,
// which folders its unlisted references named is not known, and the first
// part's scan goes on.
TEST_F(CensusSplitTest, TheFolderTableHoldsAsManyFoldersAsOnOneThread) {
  const auto reference = [](int folder) {
    return u"<img src=\"\"D:\\店\\" + FromUtf8(std::to_string(folder)) + u"\\a.jpg\"\">";
  };
  const int limit = static_cast<int>(kCensusFolderLimit);
  const struct {
    const char* what;
    int firstFolders;   // folders 0.. in the first part
    int secondFrom;     // the second part's folders, from
    int secondFolders;  // this many
    CountedAs how;
  } cases[] = {
      {"the first part's table full", limit + 5, 3, 20, CountedAs::TwoParts},
      {"together more than the table holds", limit / 2 + 100, limit / 2, limit / 2 + 100,
       CountedAs::TwoParts},
      {"the second part's table full", 50, 0, limit + 5, CountedAs::FirstWentOn},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const uint64_t split = WriteTwoParts(reference, c.firstFolders, c.secondFrom, c.secondFolders);
    const CheckResult whole = Split(u"0", std::nullopt, 0);
    EXPECT_EQ(whole.census.folders.size(), kCensusFolderLimit);
    EXPECT_GT(whole.census.foldersNotListed, 0);
    CountedAs how{};
    EXPECT_EQ(Difference(whole, Split(u"0", std::nullopt, split, &how)), "");
    EXPECT_EQ(how, c.how);
  }
}

#ifndef _WIN32
// The picture check lists the folders of this machine that references name
// (other than the new folder) up to a limit; joined, the folders each part
// listed count once, and where the two listed more together than one check
// lists, the first part's scan goes on.
TEST_F(CensusSplitTest, LocalFoldersListedByBothPartsCountOnce) {
  MakeFile("新/a.jpg");
  const std::u16string local = dir.Folder() + u"本机/";
  const auto reference = [&local](int folder) {
    const std::u16string name = FromUtf8(std::to_string(folder));
    return u"<img src=\"\"" + local + name + u"/" + name + u".jpg\"\">";
  };
  for (int i = 0; i < 80; i += 2)
    MakeFile("本机/" + std::to_string(i) + "/" + std::to_string(i) + ".jpg");
  const struct {
    int firstFolders;
    int secondFrom;
    int secondFolders;
    CountedAs how;
  } cases[] = {
      {30, 10, 30, CountedAs::TwoParts},     // 50 folders in all
      {40, 0, 40, CountedAs::TwoParts},      // the same 40 in both
      {40, 30, 40, CountedAs::FirstWentOn},  // 70: more than are listed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.firstFolders);
    const uint64_t split = WriteTwoParts(reference, c.firstFolders, c.secondFrom, c.secondFolders);
    const std::optional<std::u16string> newFolder = dir.Folder() + u"新";
    const CheckResult whole = Split(u"0", newFolder, 0);
    EXPECT_GT(whole.pictures->found, 0);
    EXPECT_GT(whole.pictures->missing, 0);
    CountedAs how{};
    EXPECT_EQ(Difference(whole, Split(u"0", newFolder, split, &how)), "");
    EXPECT_EQ(how, c.how);
  }
}
#endif

// A CSV of 8 MB and more is counted in two parts by CheckCsv itself; the
// progress it reports goes up to the whole text, on the caller's thread; a
// cancel stops both parts, and neither holds the file afterwards.
TEST_F(CensusSplitTest, ALargeCsvIsCountedInTwoPartsWithProgressAndCancel) {
  std::u16string text;
  for (int i = 0; text.size() < kTwoPartCensusUnits + 1000; ++i) {
    text += u"\"宝贝\",\"<p><img src=\"\"D:\\店铺\\图片\\item" + FromUtf8(std::to_string(i % 300)) +
            u"\\a.jpg\"\"></p>\"\r\n";
  }
  WriteCsv(text);
  const CheckResult whole = Split(u"0", std::nullopt, 0);
  CountedAs how{};
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<uint64_t> reported;
  bool elsewhere = false;
  const CheckResult split = census_detail::CheckCsvSplitAt(
      csv, u"0", std::nullopt,
      [&](uint64_t read, uint64_t total) {
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
        EXPECT_EQ(total, units);
        reported.push_back(read);
      },
      nullptr, kSplitInTheMiddle, &how);
  EXPECT_EQ(how, CountedAs::TwoParts);
  EXPECT_EQ(Difference(whole, split), "");
  EXPECT_EQ(Difference(whole, CheckCsv(csv, u"0", std::nullopt)), "");
  EXPECT_FALSE(elsewhere);
  ASSERT_FALSE(reported.empty());
  EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
  EXPECT_EQ(reported.back(), units);

  std::atomic<bool> cancel{false};
  int calls = 0;
  EXPECT_THROW(CheckCsv(
                   csv, u"0", std::nullopt,
                   [&](uint64_t, uint64_t) {
                     if (++calls == 2) cancel = true;
                   },
                   &cancel),
               Cancelled);
  EXPECT_EQ(calls, 2);
  // Exclusive: refused while any reader of the census still held the file.
  EXPECT_NO_THROW(platform::InputFile(csv, platform::Sharing::Exclusive));
}

}  // namespace
}  // namespace picrelink
