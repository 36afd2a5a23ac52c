// The run's last stage: other spellings of the old folder rewritten in their
// own style, leftovers and other folders counted, the pictures of the
// rewritten references looked for; the same result however the text is cut.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "core/utf.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/respelling_pass.h"
#include "tests/relocation/fakes.h"
#include "tests/support/collecting_sink.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

using test::TempDir;

std::u16string ItemRow(std::u16string_view reference) {
  return u"\"宝贝\",\"<img src=\"\"" + std::u16string(reference) + u"\"\">\"\r\n";
}

using Collect = test::CollectingSink;

class RespellingRunTest : public ::testing::Test {
 protected:
  RunReport Run() {
    test::RecordingTrigger trigger;
    return RunAdjustment(values, trigger, messages);
  }
  void WriteCsv(const std::u16string& text) {
    test::WriteBytes(test::ToPath(csv), test::Utf16FileBytes(text));
  }

  TempDir dir;
  std::u16string csv = dir.File("商品.csv");
  MemoryFormValues values;
  test::RecordingMessages messages;
  void SetUp() override {
    values.btn1 = csv;
    values.btn2 = u"D:\\店铺\\图片";
  }
};

TEST_F(RespellingRunTest, EverySpellingOfTheOldFolderIsRewrittenInItsOwnStyle) {
  struct Line {
    std::u16string before, after;
  } const lines[] = {
      // The two passes.
      {u"D:\\店铺\\图片\\item1\\a.jpg", u"E:\\新 店\\图片\\item1\\a.jpg"},
      {u"file:///D:/店铺/图片/item1/b.jpg", u"file:///E:/新%20店/图片/item1/b.jpg"},
      // The path-form pass finds the folder inside a URL with backslashes.
      {u"file:///D:\\店铺\\图片\\item1\\g.jpg", u"file:///E:\\新 店\\图片\\item1\\g.jpg"},
      // Then the other spellings: escapes in, escapes out (upper-case hex).
      {u"file:///D:/%E5%BA%97%E9%93%BA/%E5%9B%BE%E7%89%87/item1/c.jpg",
       u"file:///E:/%E6%96%B0%20%E5%BA%97/%E5%9B%BE%E7%89%87/item1/c.jpg"},
      {u"file:///d:/%e5%ba%97%e9%93%ba/图片/item1/%E5%9B%BE.jpg",
       u"file:///E:/%E6%96%B0%20%E5%BA%97/%E5%9B%BE%E7%89%87/item1/"
       u"%E5%9B%BE.jpg"},
      // Scheme and host stay as written.
      {u"file://localhost/D:/店铺/图片/item1/e.jpg",
       u"file://localhost/E:/新%20店/图片/item1/e.jpg"},
      {u"FILE://LOCALHOST/d:/店铺/图片/h.jpg", u"FILE://LOCALHOST/E:/新%20店/图片/h.jpg"},
      {u"file:/D:/店铺/图片/item1/f.jpg", u"file:/E:/新%20店/图片/item1/f.jpg"},
      // Backslashes stay backslashes, in the new folder's part too.
      {u"file:///D:\\%E5%BA%97%E9%93%BA\\%E5%9B%BE%E7%89%87\\i.jpg",
       u"file:///E:\\%E6%96%B0%20%E5%BA%97\\%E5%9B%BE%E7%89%87\\i.jpg"},
      // Other folders are left alone.
      {u"file:///E:/旧电脑/图片/x.jpg", u"file:///E:/旧电脑/图片/x.jpg"},
      {u"file:///D:/店铺/图片2%/y.jpg", u"file:///E:/新%20店/图片2%/y.jpg"},
  };
  std::u16string before = u"\"标题\",\"描述\"\r\n";
  std::u16string after = before;
  for (const Line& line : lines) {
    before += ItemRow(line.before);
    after += ItemRow(line.after);
  }
  // Text outside references that happens to read like a folder stays too.
  before += u"file://localhost/D:/店铺/图片 is where they were\r\n";
  after += u"file://localhost/D:/店铺/图片 is where they were\r\n";
  WriteCsv(before);
  values.btn3 = u"E:\\新 店\\图片\\";

  const RunReport report = Run();

  ASSERT_EQ(report.outcome, RunOutcome::Written);
  EXPECT_EQ(test::ReadBytes(test::ToPath(csv)), test::Utf16FileBytes(after));
  EXPECT_EQ(report.occurrences[kPathForm], 2);
  EXPECT_EQ(report.occurrences[kUrlForm], 2);
  EXPECT_EQ(report.respelledTotal, 6);
  EXPECT_EQ(report.respelled.at("percent-encoded"), 3);
  EXPECT_EQ(report.respelled.at("backslashes"), 1);
  EXPECT_EQ(report.respelled.at("localhost"), 2);
  EXPECT_EQ(report.respelled.at("file:/"), 1);
  EXPECT_EQ(report.leftovers, 0);
  EXPECT_EQ(report.otherFolderReferences, 1);
  ASSERT_EQ(report.otherFolders.size(), 1u);
  EXPECT_EQ(ToUtf8(report.otherFolders[0]), "E:\\旧电脑");
  ASSERT_EQ(messages.shown.size(), 1u);
  std::string expected =
      "调整成功！\n已改写原目录出现的位置：路径形式 2 处，网址形式 2 "
      "处，另有其他写法的网址 6 处（按出现次数计，图片引用之外的文字里的也在内）。\n"
      "注意：另有 1 处引用指向其他目录，未作改动（E:\\旧电脑）。";
#ifdef _WIN32
  // E:\ is a folder of this machine there, and it does not exist.
  expected +=
      "\n注意：新目录不存在，引用已改为指向它，但图片无法显示；请把图片放到该目录，"
      "或选择正确的目录后再调整一次。";
#endif
  EXPECT_EQ(ToUtf8(messages.shown[0].text), expected);
}

TEST_F(RespellingRunTest, WhatCannotBeRewrittenIsALeftoverAndSaidSo) {
  // A path with a "/" inside the folder: no pass takes it, and a path is
  // not respelled.
  WriteCsv(ItemRow(u"D:\\店铺/图片\\a.jpg") + ItemRow(u"D:\\店铺\\图片\\b.jpg"));
  values.btn3 = u"E:\\新";
  const RunReport report = Run();
  ASSERT_EQ(report.outcome, RunOutcome::Written);
  EXPECT_EQ(report.leftovers, 1);
  ASSERT_EQ(report.leftoverExamples.size(), 1u);
  EXPECT_EQ(ToUtf8(report.leftoverExamples[0]), "D:\\店铺/图片\\a.jpg");
  EXPECT_NE(ToUtf8(messages.shown.at(0).text).find("注意：仍有 1 处引用指向原目录"),
            std::string::npos);
}

TEST_F(RespellingRunTest, PicturesOfTheRewrittenReferencesAreLookedForWhenTheNewFolderExists) {
  const std::filesystem::path pictures = dir.path() / std::filesystem::u8path("图片");
  std::filesystem::create_directories(pictures / "item1");
  test::WriteBytes(pictures / "item1" / "a.jpg", "jpg");
  test::WriteBytes(pictures / "item1" / "b.jpg", "jpg");
  test::WriteBytes(pictures / "item1" / std::filesystem::u8path("图.jpg"), "jpg");
  WriteCsv(ItemRow(u"D:\\店铺\\图片\\item1\\a.jpg") + ItemRow(u"file:/D:/店铺/图片/item1/b.jpg") +
           ItemRow(u"file:///D:/%E5%BA%97%E9%93%BA/图片/item1/%E5%9B%BE.jpg") +
           ItemRow(u"D:\\店铺\\图片\\item1\\c.jpg") + ItemRow(u"E:\\别处\\d.jpg"));
  values.btn3 = dir.Folder() + u"图片";
  const RunReport report = Run();
  ASSERT_TRUE(report.pictures.has_value());
  EXPECT_EQ(report.pictures->checked, 4);
  EXPECT_EQ(report.pictures->found, 3);
  EXPECT_EQ(report.pictures->missing, 1);
  EXPECT_NE(ToUtf8(messages.shown.at(0).text).find("新目录下找到图片 3 张，缺少 1 张"),
            std::string::npos);
}

// The pass over a text in pieces of any size gives what it gives over the
// whole text, edits and counts alike.
TEST(RespellingPassProperty, PiecesGiveTheWholeTextResult) {
  static const std::u16string kParts[] = {u"src=\"\"file://localhost/D:/",
                                          u"src=\"\"file:/D:/",
                                          u"src=\"\"file:///D:/",
                                          u"src=\"\"",
                                          u"店铺",
                                          u"%E5%BA%97",
                                          u"%e9%93%ba",
                                          u"/图片",
                                          u"\"\"",
                                          u"\\",
                                          u"x",
                                          u"src=",
                                          u"E:/"};
  std::mt19937 rng(808u);
  int respelled = 0;
  for (int round = 0; round < 5000; ++round) {
    std::u16string text;
    const int parts = static_cast<int>(rng() % 40);
    for (int i = 0; i < parts; ++i) text += kParts[rng() % std::size(kParts)];
    Collect whole;
    RunReport wholeReport;
    {
      RespellingPass pass(u"D:\\店铺", u"/srv/新 店", whole, wholeReport, nullptr);
      pass.Append(text.data(), text.size());
      pass.Finish();
    }
    respelled += wholeReport.respelledTotal > 0;
    Collect pieces;
    RunReport piecesReport;
    {
      RespellingPass pass(u"D:\\店铺", u"/srv/新 店", pieces, piecesReport, nullptr);
      for (size_t at = 0; at < text.size();) {
        const size_t size = std::min<size_t>(text.size() - at, 1 + rng() % 7);
        pass.Append(text.data() + at, size);
        at += size;
      }
      pass.Finish();
    }
    ASSERT_EQ(ToUtf8(pieces.text), ToUtf8(whole.text)) << ToUtf8(text);
    ASSERT_EQ(piecesReport.respelledTotal, wholeReport.respelledTotal) << ToUtf8(text);
    ASSERT_EQ(piecesReport.leftovers, wholeReport.leftovers) << ToUtf8(text);
    ASSERT_EQ(piecesReport.otherFolderReferences, wholeReport.otherFolderReferences);
  }
  EXPECT_GT(respelled, 200);
}

}  // namespace
}  // namespace picrelink
