// check's suggestion, auto --find-pictures, and restore: a package whose CSV
// names D:\旧\图片\宝贝\1.jpg and 2.jpg, unpacked beside its pictures in
// another layout than the proposal's.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "core/utf.h"
#include "tests/support/cli_call.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

using Result = test::CliResult;
using test::Cli;
using test::Holds;

// Paths with Chinese names the same way on every system: made from UTF-8,
// passed as the program's arguments are, and shown as its output shows them.
fs::path P(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }
std::string Arg(const fs::path& path) { return ToNativeBytes(path.u16string()); }
std::string Shown(const fs::path& path) { return ToUtf8(path.u16string()); }

std::string Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(Shown(entry.path().filename()));
  }
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
  return joined;
}

const std::string kListing = test::Utf16FileBytes(
    u"标题,描述\r\n"
    u"\"宝贝一\",\"<img src=\"\"D:\\旧\\图片\\宝贝\\1.jpg\"\">\"\r\n"
    u"\"宝贝二\",\"<img src=\"\"file:///D:/旧/图片/宝贝/2.jpg\"\">\"\r\n");

class FindAndUndoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(shop);
    WriteBytes(csv, kListing);
  }
  void Pictures(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
      fs::create_directories((shop / P(file)).parent_path());
      WriteBytes(shop / P(file), "jpeg");
    }
  }
  // The bytes relocate writes with the given folders, on a copy of the CSV.
  std::string RelocatedBytes(const std::string& oldFolder, const fs::path& newFolder) {
    const fs::path copy = dir.path() / "copy.csv";
    WriteBytes(copy, ReadBytes(csv));
    EXPECT_EQ(Cli({"relocate", Arg(copy), oldFolder, Arg(newFolder)}).status, 0);
    return ReadBytes(copy);
  }

  TempDir dir;
  fs::path shop = dir.path() / P("店铺");
  fs::path csv = shop / "goods.csv";
};

TEST_F(FindAndUndoTest, CheckSaysWhereThePicturesAre) {
  Pictures({"宝贝图片/宝贝/1.jpg", "宝贝图片/宝贝/2.jpg"});
  const Result json = Cli({"check", "--json", Arg(csv)});
  EXPECT_EQ(json.status, 4);
  const Json object = Json::parse(json.out);
  EXPECT_EQ(object["pictures"]["found"], 0);
  const Json& suggestion = object["suggestion"];
  ASSERT_TRUE(suggestion.is_object()) << json.out;
  EXPECT_EQ(Shown(P(suggestion["new_folder"].get<std::string>())), Shown(shop / P("宝贝图片")));
  EXPECT_EQ(suggestion["level"], 1);
  EXPECT_EQ(suggestion["checked"], 2);
  EXPECT_EQ(suggestion["found"], 2);

  const Result chinese = Cli({"check", Arg(csv)}, Language::Chinese);
  EXPECT_TRUE(Holds(chinese.out, "图片在 " + Shown(shop / P("宝贝图片")) + " 下找到 2/2 张"))
      << chinese.out;
  const Result english = Cli({"check", Arg(csv)});
  EXPECT_TRUE(Holds(english.out, "Pictures found under " + Shown(shop / P("宝贝图片")) + ": 2/2"))
      << english.out;
}

TEST_F(FindAndUndoTest, NoSuggestionWhenTheProposalFindsThem) {
  Pictures({"图片/宝贝/1.jpg", "图片/宝贝/2.jpg", "别处/宝贝/1.jpg", "别处/宝贝/2.jpg"});
  const Result json = Cli({"check", "--json", Arg(csv)});
  EXPECT_EQ(json.status, 0);
  EXPECT_TRUE(Json::parse(json.out)["suggestion"].is_null()) << json.out;
  EXPECT_FALSE(Holds(Cli({"check", Arg(csv)}).out, "Pictures found under"));
}

struct FoundLayout {
  std::string name;
  std::vector<std::string> pictures;
  std::string folder;     // where the pictures are, under the CSV's folder
  std::string oldFolder;  // the folder the CSV names at the level taken
  std::string level;      // the level line, when the level changes
};

class AutoFindPicturesTest : public FindAndUndoTest,
                             public ::testing::WithParamInterface<FoundLayout> {};

TEST_P(AutoFindPicturesTest, RewritesToWhereThePicturesAre) {
  const FoundLayout& layout = GetParam();
  Pictures(layout.pictures);
  const std::string original = ReadBytes(csv);

  // Without the flag auto is as it was: the proposal is missing, nothing written.
  EXPECT_EQ(Cli({"auto", Arg(shop)}).status, 1);
  EXPECT_EQ(ReadBytes(csv), original);

  const std::string expected = RelocatedBytes(layout.oldFolder, shop / P(layout.folder));
  const Result r = Cli({"auto", "--find-pictures", Arg(shop)});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadBytes(csv), expected);
  EXPECT_TRUE(Holds(r.out, "New folder: " + Shown(shop / P(layout.folder)) + "\n")) << r.out;
  EXPECT_TRUE(Holds(r.out, "Folder named in the CSV: " + layout.oldFolder + "\n")) << r.out;
  EXPECT_TRUE(Holds(r.out, "2/2 pictures there (0 under the proposed folder)")) << r.out;
  EXPECT_EQ(Holds(r.out, "Level: 0\n"), !layout.level.empty()) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, AutoFindPicturesTest,
    ::testing::Values(FoundLayout{"UnderAnotherName",
                                  {"宝贝图片/宝贝/1.jpg", "宝贝图片/宝贝/2.jpg"},
                                  "宝贝图片",
                                  "D:\\旧\\图片",
                                  ""},
                      // The pictures' own folder alone, under another name: level 0.
                      FoundLayout{"OwnFolderAlone",
                                  {"宝贝图片/1.jpg", "宝贝图片/2.jpg"},
                                  "宝贝图片",
                                  "D:\\旧\\图片\\宝贝",
                                  "0"}),
    [](const ::testing::TestParamInfo<FoundLayout>& layout) { return layout.param.name; });

TEST_F(FindAndUndoTest, RestoreGivesBackTheBytesAndKeepsTheRewrittenOnes) {
  Pictures({"图片/宝贝/1.jpg", "图片/宝贝/2.jpg"});
  const std::string original = ReadBytes(csv);
  const Result run = Cli({"auto", "--backup", Arg(shop)});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string rewritten = ReadBytes(csv);
  ASSERT_NE(rewritten, original);
  // The run names what undoes it.
  EXPECT_TRUE(Holds(run.out, "To undo: picrelink-cli restore \"" + Shown(csv) + "\" (puts " +
                                 Shown(shop / P("goods_备份.csv")) + " back)"))
      << run.out;

  const Result restore = Cli({"restore", Arg(csv)});
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(ReadBytes(csv), original);
  EXPECT_EQ(ReadBytes(shop / P("goods_备份.csv")), original);
  EXPECT_EQ(ReadBytes(shop / P("goods_备份(2).csv")), rewritten);
  EXPECT_TRUE(Holds(restore.out, Shown(shop / P("goods_备份(2).csv")))) << restore.out;
  EXPECT_TRUE(Holds(restore.out, "picrelink-cli restore \"" + Shown(csv) + "\"")) << restore.out;

  // A restore is undone by the next one, and nothing is lost on the way.
  EXPECT_EQ(Cli({"restore", Arg(csv)}).status, 0);
  EXPECT_EQ(ReadBytes(csv), rewritten);
  EXPECT_EQ(ReadBytes(shop / P("goods_备份(3).csv")), original);
  EXPECT_EQ(ReadBytes(shop / P("goods_备份(2).csv")), rewritten);
  EXPECT_EQ(ReadBytes(shop / P("goods_备份.csv")), original);
}

TEST_F(FindAndUndoTest, RestoreWithoutABackupDoesNothing) {
  const Result r = Cli({"restore", Arg(csv)});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Holds(r.err, "no backup of " + Shown(csv))) << r.err;
  EXPECT_EQ(ReadBytes(csv), kListing);
  EXPECT_EQ(Names(shop), "goods.csv");
}

TEST_F(FindAndUndoTest, RestoreOfTheSameBytesWritesNothing) {
  WriteBytes(shop / P("goods_备份.csv"), kListing);
  const Result r = Cli({"restore", Arg(csv)});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(Names(shop), "goods.csv goods_备份.csv");
}

#ifndef _WIN32
TEST_F(FindAndUndoTest, ReadOnlyCsvIsRefusedAndNothingIsLost) {
  WriteBytes(shop / P("goods_备份.csv"), "older bytes");
  fs::permissions(csv, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const Result r = Cli({"restore", Arg(csv)});
  fs::permissions(csv, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Holds(r.err, "Cannot create file")) << r.err;
  EXPECT_EQ(ReadBytes(csv), kListing);
  EXPECT_EQ(ReadBytes(shop / P("goods_备份.csv")), "older bytes");
  EXPECT_EQ(Names(shop), "goods.csv goods_备份.csv");
}
#endif

}  // namespace
}  // namespace picrelink
