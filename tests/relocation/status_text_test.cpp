// What the window says before a run, for each case the seller meets.
#include "relocation/session/status_text.h"

#include <gtest/gtest.h>

#include "core/utf.h"
#include "relocation/run/run_summary.h"

namespace picrelink {
namespace {

CheckResult Found(int64_t references, bool folderExists, int64_t checked, int64_t missing) {
  CheckResult check;
  check.census.hasText = true;
  check.census.references = references;
  check.census.byForm[kPathForm] = references - 2;
  check.census.byForm[kUrlForm] = 2;
  CensusFolder folder;
  folder.folder = u"D:\\店铺\\图片";
  folder.detected = true;
  folder.references = references;
  check.census.folders.push_back(folder);
  PictureTally pictures;
  pictures.folder = u"/srv/店铺/图片";
  pictures.folderExists = folderExists;
  pictures.checked = checked;
  pictures.found = checked - missing;
  pictures.missing = missing;
  pictures.missingExamples = {u"/srv/店铺/图片/item7/3.jpg"};
  check.pictures = pictures;
  return check;
}

TEST(StatusText, SaysWhatWasFoundOrWhyNothingCanBeShown) {
  const auto input = [](std::u16string csv) {
    StatusInput in;
    in.csv = std::move(csv);
    return in;
  };
  StatusInput several = input(u"/srv/a.csv");
  several.candidates = {u"/srv/a.csv", u"/srv/b.csv", u"/srv/a - 副本.csv"};
  several.check = Found(12345, true, 12345, 45);
  StatusInput utf8 = input(u"/srv/a.csv");
  utf8.encoding = CsvEncoding::Utf8;
  StatusInput none = input(u"/srv/a.csv");
  none.check = CheckResult{};
  StatusInput missingFolder = input(u"/srv/a.csv");
  missingFolder.check = Found(3, false, 3, 3);
  StatusInput failed = input(u"/srv/a.csv");
  failed.error = u"Cannot open file \"/srv/a.csv\". Permission denied";

  const struct {
    const char* what;
    StatusInput in;
    std::string says;
  } cases[] = {
      {"no CSV", input(u""), "程序所在的文件夹里没有 CSV 文件"},
      {"several CSVs, and a census", several,
       "程序旁有 3 个 CSV 文件，使用的是“a.csv”（其余：b.csv、a - 副本.csv）。\n"
       "CSV 中共 12,345 处图片引用（路径 12,343，网址 2），指向 1 个目录；"
       "当前描述图片位置下找到 12,300 张，缺少 45 张。"},
      {"a UTF-8 CSV", utf8, "UTF-8"},
      {"no reference", none, "CSV 中没有找到图片引用"},
      {"the new folder missing", missingFolder, "当前描述图片位置“/srv/店铺/图片”不存在"},
      {"the census failed", failed, "Cannot open file"},
  };
  for (const auto& c : cases) {
    const std::string text = ToUtf8(StatusText(c.in, Language::Chinese));
    EXPECT_NE(text.find(c.says), std::string::npos) << c.what << ": " << text;
  }
  EXPECT_EQ(
      ToUtf8(StatusText(several, Language::English)),
      "There are 3 CSV files beside the program; using \"a.csv\" (others: b.csv, a - 副本.csv).\n"
      "The CSV holds 12,345 picture references (path 12,343, URL 2) to 1 folder; in the new "
      "folder 12,300 found, 45 missing.");
}

TEST(QuestionBeforeRun, AsksOnlyWhenTheFolderIsMissingOrMostPicturesAre) {
  EXPECT_FALSE(QuestionBeforeRun(Found(10, true, 10, 0), Language::Chinese).has_value());
  EXPECT_FALSE(QuestionBeforeRun(Found(10, true, 10, 5), Language::Chinese).has_value());
  const auto most = QuestionBeforeRun(Found(10, true, 10, 6), Language::Chinese);
  ASSERT_TRUE(most.has_value());
  EXPECT_NE(ToUtf8(*most).find("缺少 6 张图片（共检查 10 张）"), std::string::npos);
  const auto absent = QuestionBeforeRun(Found(10, false, 10, 10), Language::English);
  ASSERT_TRUE(absent.has_value());
  EXPECT_EQ(ToUtf8(*absent),
            "The new folder \"/srv/店铺/图片\" does not exist.\nRewrite the CSV's 10 picture "
            "references to it anyway?");
}

TEST(DetailsText, ListsTheFoldersAndTheMissingPictures) {
  const std::string text = ToUtf8(DetailsText(Found(12345, true, 12345, 45), Language::Chinese));
  EXPECT_NE(text.find("* D:\\店铺\\图片    12,345"), std::string::npos) << text;
  EXPECT_NE(text.find("缺少的图片（前 1 张）：\n/srv/店铺/图片/item7/3.jpg\n"), std::string::npos)
      << text;
  CheckResult spelled = Found(3, true, 3, 0);
  spelled.census.spellings = {{"standard", 2}, {"percent-encoded", 1}};
  const std::string spellings = ToUtf8(DetailsText(spelled, Language::Chinese));
  EXPECT_NE(spellings.find("写法：百分号编码 1, 标准 2"), std::string::npos) << spellings;
  EXPECT_EQ(ToUtf8(GroupedNumber(1234567)), "1,234,567");
  EXPECT_EQ(ToUtf8(GroupedNumber(999)), "999");
  EXPECT_EQ(ToUtf8(GroupedNumber(-1000)), "-1,000");
}

// The success message writes its counts as the status and the question do.
TEST(SuccessMessage, WritesEveryCountGroupedAsTheStatusDoes) {
  RunReport report;
  report.outcome = RunOutcome::Written;
  report.occurrences[kPathForm] = 1347268;
  report.occurrences[kUrlForm] = 41300;
  report.otherFolderReferences = 1000;
  report.otherFolders = {u"E:\\别处"};
  PictureTally pictures;
  pictures.found = 1347000;
  pictures.missing = 1268;
  pictures.missingExamples = {u"/srv/店铺/图片/1.jpg"};
  report.pictures = pictures;
  for (const Language language : {Language::Chinese, Language::English}) {
    const std::string text = ToUtf8(SuccessMessage(report, language));
    for (const char* number : {"1,347,268", "41,300", "1,000", "1,347,000", "1,268"}) {
      EXPECT_NE(text.find(number), std::string::npos) << number << "\n" << text;
    }
    EXPECT_EQ(text.find("1347268"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace picrelink
