// The relocation commands on Windows, with Windows paths as the seller has
// them: drive letters, "\" separators, Chinese folder and file names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/references/detection.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/session/startup.h"
#include "tests/relocation/fakes.h"
#include "tests/support/test_files.h"
#include "tests/windows/windows_support.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::AttributesOf;
using test::ReadBytes;
using test::SetAttributes;
using test::SystemText;
using test::TempDir;
using test::ToPath;
using test::UrlOf;
using test::Utf16FileBytes;
using test::WriteBytes;

std::u16string Listing(std::u16string_view pathReference, std::u16string_view urlReference) {
  return u"\"标题\",\"描述\"\r\n\"商品\",\"<p><img src=\"\"" + std::u16string(pathReference) +
         u"\"\"><img src=\"\"" + std::u16string(urlReference) + u"\"\"></p>\"\r\n";
}

struct AdjustmentRun {
  test::RecordingTrigger trigger;
  test::RecordingMessages messages{&trigger};
  RunReport operator()(const MemoryFormValues& values) {
    return RunAdjustment(values, trigger, messages);
  }
};

// The seller's situation: the program and the CSV in a folder with a
// Chinese name (and a space), the pictures' folder beside them, the CSV
// still naming the old place on drive D:.
class ChineseShopFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(ToPath(shop));
    fs::create_directory(ToPath(shop + u"宝贝 图片"));
    WriteBytes(ToPath(csv), Utf16FileBytes(Listing(u"D:\\旧 资料\\宝贝 图片\\主图.jpg",
                                                   u"file:///D:/旧%20资料/宝贝%20图片/细节.jpg")));
  }

  TempDir dir;
  const std::u16string shop = dir.Folder() + u"店铺 资料\\";  // the program folder
  const std::u16string csv = shop + u"商品.csv";
  MemoryFormValues values;
};

TEST_F(ChineseShopFolder, RoundTripsThroughDiscoveryDetectionAndTheRun) {
  values.levelText = u"0";
  values.backup = true;
  StartUp(values, shop);
  EXPECT_EQ(values.btn1, csv);
  EXPECT_EQ(values.btn2, u"D:\\旧 资料\\宝贝 图片");
  EXPECT_EQ(values.btn3, shop + u"宝贝 图片");

  AdjustmentRun run;
  const RunReport report = run(values);
  EXPECT_EQ(report.outcome, RunOutcome::Written);
  ASSERT_EQ(run.messages.shown.size(), 1u);
  EXPECT_TRUE(run.messages.shown[0].text.starts_with(u"调整成功！\n"))
      << ToUtf8(run.messages.shown[0].text);

  const std::u16string pictures = shop + u"宝贝 图片";
  EXPECT_EQ(ReadBytes(ToPath(csv)),
            Utf16FileBytes(Listing(pictures + u"\\主图.jpg", UrlOf(pictures) + u"/细节.jpg")));
  EXPECT_EQ(ReadBytes(ToPath(shop + u"商品_备份.csv")),
            Utf16FileBytes(Listing(u"D:\\旧 资料\\宝贝 图片\\主图.jpg",
                                   u"file:///D:/旧%20资料/宝贝%20图片/细节.jpg")));

  // Detection now names the new place, and a second start-up proposes it.
  EXPECT_EQ(DetectImageFolder(csv, values), pictures);
  MemoryFormValues again;
  again.levelText = u"0";
  StartUp(again, shop);
  EXPECT_EQ(again.btn2, pictures);
  EXPECT_EQ(again.btn3, pictures);
}

TEST_F(ChineseShopFolder, DriveLetterFoldersWithTrailingBackslashAndOneLevelUp) {
  // Folder values as a user types them: the old one with a trailing "\".
  WriteBytes(ToPath(csv), Utf16FileBytes(Listing(u"d:\\OLD\\shop\\item\\a.jpg",
                                                 u"file:///D:/old/shop/item/b.jpg")));
  values.btn1 = csv;
  values.btn2 = u"D:\\old\\shop\\item\\";
  values.btn3 = u"F:\\new\\my item";
  AdjustmentRun run;
  EXPECT_EQ(run(values).outcome, RunOutcome::Written);
  EXPECT_EQ(ReadBytes(ToPath(csv)),
            Utf16FileBytes(Listing(u"F:\\new\\my item\\a.jpg", u"file:///F:/new/my%20item/b.jpg")));

  // One level up: D:\old\shop, and F:\new\my item\shop proposed beside it.
  values.btn2.clear();
  values.btn3 = u"F:\\new\\my item";
  WriteBytes(ToPath(csv), Utf16FileBytes(Listing(u"D:\\old\\shop\\item\\a.jpg", u"x")));
  values.levelText = u"1";
  Redetect(values);
  EXPECT_EQ(values.btn2, u"D:\\old\\shop");
  EXPECT_EQ(values.btn3, u"F:\\new\\my item\\shop");
}

TEST_F(ChineseShopFolder, CsvHeldByAnotherProgramFailsAndStaysUnchanged) {
  const std::string before = ReadBytes(ToPath(csv));
  values.btn1 = csv;
  values.btn2 = u"D:\\旧 资料\\宝贝 图片";
  values.btn3 = shop + u"宝贝 图片";
  AdjustmentRun run;
  {
    test::FileHeldByOtherProgram holder(ToPath(csv));
    try {
      run(values);
      FAIL() << "no error while another program holds the CSV";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()),
                "Cannot open file \"" + ToUtf8(csv) + "\". " + SystemText(ERROR_SHARING_VIOLATION));
    }
  }
  EXPECT_TRUE(run.trigger.available);
  EXPECT_TRUE(run.messages.shown.empty());
  EXPECT_EQ(ReadBytes(ToPath(csv)), before);
}

TEST_F(ChineseShopFolder, ReadOnlyCsvIsRefusedAndStaysUnchanged) {
  const std::string before = ReadBytes(ToPath(csv));
  SetAttributes(ToPath(csv), FILE_ATTRIBUTE_READONLY);
  values.btn1 = csv;
  values.btn2 = u"D:\\旧 资料\\宝贝 图片";
  values.btn3 = shop + u"宝贝 图片";

  AdjustmentRun run;
  try {
    run(values);
    FAIL() << "no error for a read-only CSV";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + ToUtf8(csv) + "\". " + SystemText(ERROR_ACCESS_DENIED));
  }
  EXPECT_TRUE(run.messages.shown.empty());
  EXPECT_EQ(ReadBytes(ToPath(csv)), before);
  EXPECT_EQ(test::ListNames(ToPath(shop)), "商品.csv 宝贝 图片");
  SetAttributes(ToPath(csv), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ChineseShopFolder, HiddenCsvIsFoundAndStaysHiddenAfterTheRun) {
  SetAttributes(ToPath(csv), FILE_ATTRIBUTE_HIDDEN);
  values.levelText = u"0";
  StartUp(values, shop);
  ASSERT_EQ(values.btn1, csv);

  AdjustmentRun run;
  EXPECT_EQ(run(values).outcome, RunOutcome::Written);
  EXPECT_TRUE(AttributesOf(ToPath(csv)) & FILE_ATTRIBUTE_HIDDEN);
  const std::u16string pictures = shop + u"宝贝 图片";
  EXPECT_EQ(ReadBytes(ToPath(csv)),
            Utf16FileBytes(Listing(pictures + u"\\主图.jpg", UrlOf(pictures) + u"/细节.jpg")));
  EXPECT_EQ(test::ListNames(ToPath(shop)), "商品.csv 宝贝 图片");
}

}  // namespace
}  // namespace picrelink
