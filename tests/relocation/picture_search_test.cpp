// The search for the pictures in the package: a table of the layouts sellers
// unpack, each a tree beside a CSV that names D:\旧\图片\宝贝\1.jpg and 2.jpg.
#include "relocation/census/picture_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/utf.h"
#include "relocation/census/census.h"
#include "relocation/form_values.h"
#include "relocation/references/detection.h"
#include "relocation/run/adjustment_run.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr std::u16string_view kListing =
    u"标题,描述\r\n"
    u"\"宝贝一\",\"<p><img src=\"\"D:\\旧\\图片\\宝贝\\1.jpg\"\"></p>\"\r\n"
    u"\"宝贝二\",\"<img src=\"\"file:///D:/旧/图片/宝贝/2.jpg\"\">\"\r\n";

struct Layout {
  std::string name;
  std::string level;                                       // the level text
  std::vector<std::string> files;                          // under the CSV's folder
  std::vector<std::pair<std::string, std::string>> links;  // name, target
  int64_t entryLimit = 200000;
  // The suggestion, relative to the CSV's folder ("" for none, "." for the
  // CSV's folder itself), its level and counts.
  std::string folder;
  int32_t suggestedLevel = 1;
  int64_t checked = 0;
  int64_t found = 0;
  SearchStop stop = SearchStop::Complete;
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

// A path with Chinese names, made from UTF-8 the same way on every system.
fs::path P(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

class PictureSearchTest : public testing::TestWithParam<Layout> {};

TEST_P(PictureSearchTest, FindsThePicturesWhereverTheyAre) {
  const Layout& layout = GetParam();
  TempDir dir;
  const fs::path shop = dir.path() / P("店铺");
  fs::create_directories(shop);
  test::WriteBytes(shop / "goods.csv", test::Utf16FileBytes(kListing));
  for (const std::string& file : layout.files) {
    fs::create_directories((shop / P(file)).parent_path());
    test::WriteBytes(shop / P(file), "jpeg");
  }
  for (const auto& [name, target] : layout.links) {
    fs::create_directory_symlink(P(target), shop / P(name));
  }
  const std::u16string csv = (shop / "goods.csv").u16string();
  const std::u16string levelText = FromUtf8(layout.level);

  // What the check finds in the proposed folder, as the CLI and the window
  // take it.
  MemoryFormValues values;
  values.levelText = levelText;
  const std::u16string proposal = ProposedNewFolder(csv, DetectImageFolder(csv, values));
  const CheckResult check = CheckCsv(csv, levelText, proposal);
  PictureSearchLimits limits;
  limits.entries = layout.entryLimit;
  const PictureSearch search = SearchPictures(csv, check, CsvFolder(csv), limits);

  EXPECT_EQ(search.stop, layout.stop);
  if (layout.folder.empty()) {
    EXPECT_FALSE(search.suggestion.has_value())
        << ToUtf8(search.suggestion ? search.suggestion->newFolder : u"");
    return;
  }
  ASSERT_TRUE(search.suggestion.has_value());
  const PictureSuggestion& suggestion = *search.suggestion;
  EXPECT_EQ(ToUtf8(test::ToPath(suggestion.newFolder).lexically_relative(shop).generic_u16string()),
            layout.folder);
  EXPECT_EQ(suggestion.level, layout.suggestedLevel);
  EXPECT_EQ(suggestion.checked, layout.checked);
  EXPECT_EQ(suggestion.found, layout.found);

  // The suggestion's own check finds what the search said it would.
  MemoryFormValues suggested;
  suggested.levelText = LevelTextOf(suggestion.level);
  EXPECT_EQ(DetectImageFolder(csv, suggested), suggestion.oldFolder);
  const CheckResult again = CheckCsv(csv, suggested.levelText, suggestion.newFolder);
  ASSERT_TRUE(again.pictures.has_value());
  EXPECT_EQ(again.pictures->checked, suggestion.checked);
  EXPECT_EQ(again.pictures->found + again.pictures->foundIgnoringCase, suggestion.found);
}

std::vector<Layout> Layouts() {
  std::vector<Layout> layouts = {
      {"UnderAnotherName",
       "1",
       {"宝贝图片/宝贝/1.jpg", "宝贝图片/宝贝/2.jpg"},
       {},
       200000,
       "宝贝图片",
       1,
       2,
       2},
      // The same at level 0: its own folder is the nearer one.
      {"UnderAnotherNameAtLevel0",
       "0",
       {"宝贝图片/宝贝/1.jpg", "宝贝图片/宝贝/2.jpg"},
       {},
       200000,
       "宝贝图片/宝贝",
       0,
       2,
       2},
      // Unpacked into a folder of the same name: the proposal exists, empty.
      {"OneFolderDeeper",
       "1",
       {"图片/图片/宝贝/1.jpg", "图片/图片/宝贝/2.JPG"},
       {},
       200000,
       "图片/图片",
       1,
       2,
       2},
      // The pictures beside the CSV, without their folder.
      {"OneFolderHigher", "0", {"1.jpg", "2.jpg"}, {}, 200000, ".", 0, 2, 2},
      // The level is wrong for the package: at 0 the proposal is 宝贝, absent.
      {"OtherLevel", "0", {"图片/宝贝/1.jpg", "图片/宝贝/2.jpg"}, {}, 200000, "图片/宝贝", 0, 2, 2},
      {"TwoCandidatesTheFullerWins",
       "1",
       {"甲/宝贝/1.jpg", "乙/宝贝/1.jpg", "乙/宝贝/2.jpg"},
       {},
       200000,
       "乙",
       1,
       2,
       2},
      // The proposal finds one, and so does another folder: no suggestion.
      {"TieGoesToTheProposal", "1", {"图片/宝贝/1.jpg", "其他/宝贝/2.jpg"}, {}, 200000, ""},
      {"NothingAnywhere", "1", {"其他/a.jpg", "宝贝/3.jpg"}, {}, 200000, ""},
      // Hidden folders are not searched.
      {"OnlyInAHiddenFolder", "1", {".cache/宝贝/1.jpg", ".cache/宝贝/2.jpg"}, {}, 200000, ""},
      // Deeper than the search goes.
      {"TooDeep", "1", {"a/b/c/d/宝贝/1.jpg", "a/b/c/d/宝贝/2.jpg"}, {}, 200000, ""},
      // Listed breadth first: the limit comes before the deeper folder.
      {"PastTheEntryLimit",
       "1",
       {"x1.txt", "x2.txt", "x3.txt", "x4.txt", "z/宝贝图片/宝贝/1.jpg", "z/宝贝图片/宝贝/2.jpg"},
       {},
       6,
       "",
       1,
       0,
       0,
       SearchStop::EntryLimit},
  };
#ifndef _WIN32
  // Links are not followed: neither the loop back to the CSV's folder nor
  // the link to the pictures outside it.
  layouts.push_back({"LinksNotFollowed",
                     "1",
                     {"../外部/宝贝/1.jpg", "../外部/宝贝/2.jpg"},
                     {{"loop", "."}, {"外部", "../外部"}},
                     200000,
                     ""});
#endif
  return layouts;
}

INSTANTIATE_TEST_SUITE_P(Layouts, PictureSearchTest, testing::ValuesIn(Layouts()),
                         [](const testing::TestParamInfo<Layout>& layout) {
                           return layout.param.name;
                         });

TEST(PictureSearchCancel, ACancelledSearchThrows) {
  TempDir dir;
  test::WriteBytes(dir.path() / "goods.csv", test::Utf16FileBytes(kListing));
  const std::u16string csv = dir.File("goods.csv");
  const CheckResult check = CheckCsv(csv, u"1", std::nullopt);
  const std::atomic<bool> cancel{true};
  EXPECT_THROW(SearchPictures(csv, check, dir.Folder(), {}, &cancel), Cancelled);
}

}  // namespace
}  // namespace picrelink
