// The census of a large CSV counted in two parts on two threads: whatever
// unit the second part begins at, the result is the one-thread census's,
// field by field, with and without the picture check; where the parts'
// counts cannot be joined exactly the first part's scan goes on alone.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
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
  void MakeFile(const std::string& relative) {
    const std::filesystem::path file = dir.path() / std::filesystem::u8path(relative);
    std::filesystem::create_directories(file.parent_path());
    test::WriteBytes(file, "jpg");
  }
  CheckResult Split(std::u16string_view level, const std::optional<std::u16string>& newFolder,
                    uint64_t splitAt, CountedAs* how = nullptr) {
    return census_detail::CheckCsvSplitAt(csv, level, newFolder, {}, nullptr, splitAt, how);
  }
  // Every unit of the text as the split, held to the one-thread census;
  // how often the parts' counts were joined and how often the first part's
  // scan went on.
  struct Outcomes {
    int joined = 0;
    int wentOn = 0;
  };
  Outcomes SplitEverywhere(std::u16string_view level,
                           const std::optional<std::u16string>& newFolder) {
    CountedAs how{};
    const CheckResult whole = Split(level, newFolder, 0, &how);
    EXPECT_EQ(how, CountedAs::OneThread);
    Outcomes outcomes;
    for (uint64_t at = 1; at < units; ++at) {
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
// pictures and without it.
TEST_F(CensusSplitTest, EverySplitCountsWhatOneThreadCounts) {
  MakeFile("新/b/c.jpg");
  MakeFile("新/c.jpg");
  MakeFile("本机/L1/c.jpg");
  const std::u16string local = dir.Folder() + u"本机";
  std::vector<std::u16string> parts(std::begin(test::kCensusParts), std::end(test::kCensusParts));
  for (const char16_t* folder : {u"/L1/", u"/L2/", u"/L1/b/"}) {
    parts.push_back(u"src=\"\"" + local + folder);
  }
  std::mt19937 rng(2020u);
  Outcomes all;
  for (int round = 0; round < 20; ++round) {
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
  EXPECT_GT(all.wentOn, 100);
}

}  // namespace
}  // namespace picrelink
