#include "relocation/adjustment_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"
#include "tests/relocation/fakes.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::RecordingMessages;
using test::RecordingTrigger;
using test::TempDir;
using test::ToPath;
using test::Utf16FileBytes;
using test::WriteBytes;

// A local folder for the actual pictures, in the platform's own form.
#ifdef _WIN32
const std::u16string kNewFolder = u"F:\\new\\my item";
const std::u16string kNewFolderUrl = u"file:///F:/new/my%20item";
#else
const std::u16string kNewFolder = u"/srv/new/my item";
const std::u16string kNewFolderUrl = u"file:////srv/new/my%20item";
#endif
const std::u16string kLocalSep(1, platform::kLocalSeparator);

std::u16string Row(std::u16string_view reference) {
  return u"\"商品\",\"<p>宝贝描述</p><img src=\"\"" + std::u16string(reference) + u"\"\">\"\r\n";
}

class AdjustmentRunTest : public ::testing::Test {
 protected:
  void WriteCsv(std::u16string_view text) { WriteBytes(ToPath(csv), Utf16FileBytes(text)); }
  std::string CsvBytes() const { return ReadBytes(ToPath(csv)); }

  RunReport Run(const RunOptions &options = {}) {
    return RunAdjustment(values, trigger, messages, options);
  }

  // The run's contract with the window: unavailable at the start, available
  // again at its end, whatever the outcome.
  void ExpectTriggerReleased() const {
    ASSERT_EQ(trigger.changes.size(), 2u);
    EXPECT_FALSE(trigger.changes[0]);
    EXPECT_TRUE(trigger.changes[1]);
  }

  TempDir dir;
  std::u16string csv = dir.File("goods.csv");
  MemoryFormValues values;
  RecordingTrigger trigger;
  RecordingMessages messages{&trigger};

  void SetUp() override {
    values.btn1 = csv;
    values.btn2 = u"D:\\old\\item";
    values.btn3 = kNewFolder;
  }
};

TEST_F(AdjustmentRunTest, RewritesBothFormsFoldingAsciiOnlyAndShowsSuccess) {
  const std::u16string text =
      u"\"标题\",\"描述\"\r\n" + Row(u"d:\\OLD\\Item\\a.jpg") + Row(u"FILE:///D:/Old/item/b.jpg") +
      Row(u"D:\\old\\item2\\c.jpg") + Row(u"D:\\old\\ítem\\d.jpg") +
      Row(u"file:///D:/old/%E5%9B%BE/e.jpg") + Row(u"http://example.com/item/f.jpg");
  values.btn2 = u"D:\\old\\item";
  values.btn3 = kNewFolder;
  WriteCsv(text);

  const RunReport report = Run();

  const std::u16string expected =
      u"\"标题\",\"描述\"\r\n" + Row(kNewFolder + u"\\a.jpg") + Row(kNewFolderUrl + u"/b.jpg") +
      Row(kNewFolder + u"2\\c.jpg") + Row(u"D:\\old\\ítem\\d.jpg") +
      Row(u"file:///D:/old/%E5%9B%BE/e.jpg") + Row(u"http://example.com/item/f.jpg");
  EXPECT_EQ(CsvBytes(), Utf16FileBytes(expected));
  EXPECT_EQ(report.outcome, RunOutcome::Written);
  EXPECT_EQ(report.occurrences[kPathForm], 2);
  EXPECT_EQ(report.occurrences[kUrlForm], 1);
  // Left alone: the other folder (ítem is no ASCII case of item) and the
  // escaped name of another folder.
  EXPECT_EQ(report.otherFolderReferences, 2);
  EXPECT_EQ(report.leftovers, 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(ToUtf8(messages.shown[0].text),
            "调整成功！\n已改写路径形式 2 处，网址形式 1 处。\n注意：另有 2 "
            "处引用指向其他目录，未作改动（"
            "D:\\old）。");
  EXPECT_EQ(messages.shown[0].caption, u"调整CSV文件宝贝描述图片位置");
  EXPECT_FALSE(messages.shown[0].triggerAvailable)
      << "the start button stays unavailable while the message shows";
  ExpectTriggerReleased();
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv") << "no backup, no temporary file";
}

TEST_F(AdjustmentRunTest, TrailingSeparatorsOnEitherFolderGiveTheSameFile) {
  const std::u16string text = Row(u"D:\\old\\item\\a.jpg") + Row(u"file:///D:/old/item/b.jpg");
  std::string first;
  for (const std::u16string oldFolder : {u"D:\\old\\item", u"D:\\old\\item\\"}) {
    for (const std::u16string &newFolder : {kNewFolder, kNewFolder + kLocalSep}) {
      SCOPED_TRACE(ToUtf8(oldFolder + u" -> " + newFolder));
      WriteCsv(text);
      values.btn2 = oldFolder;
      values.btn3 = newFolder;
      Run();
      if (first.empty()) first = CsvBytes();
      EXPECT_EQ(CsvBytes(), first);
    }
  }
  EXPECT_EQ(first, Utf16FileBytes(Row(kNewFolder + u"\\a.jpg") + Row(kNewFolderUrl + u"/b.jpg")));
}

TEST_F(AdjustmentRunTest, EmptyActualFolderRemovesExactPathsAndShortensUrls) {
  WriteCsv(Row(u"D:\\old\\item\\a.jpg") + Row(u"d:\\OLD\\item\\b.jpg") +
           Row(u"file:///d:/OLD/item/c.jpg"));
  values.btn3.clear();

  Run();

  // Removal matches exactly; the URL pass still folds ASCII letters.
  EXPECT_EQ(CsvBytes(), Utf16FileBytes(Row(u"\\a.jpg") + Row(u"d:\\OLD\\item\\b.jpg") +
                                       Row(u"file:////c.jpg")));
}

TEST_F(AdjustmentRunTest, NothingIsWrittenWhenEveryCharacterWouldGo) {
  WriteCsv(u"D:\\old\\item");
  const std::string before = CsvBytes();
  values.btn3.clear();

  const RunReport report = Run();

  EXPECT_EQ(report.outcome, RunOutcome::EmptyNewText);
  EXPECT_EQ(CsvBytes(), before);
  EXPECT_TRUE(messages.shown.empty());
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, EmptyCsvPathDoesNothingAtAll) {
  values.btn1.clear();
  values.backup = true;

  EXPECT_EQ(Run().outcome, RunOutcome::NoCsv);

  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(test::ListNames(dir.path()), "");
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, CsvWithoutMarkIsLeftAloneButBackedUp) {
  for (const std::string &bytes : {std::string("\xEF\xBB\xBF"
                                               "D:\\old\\item"),
                                   std::string("\xFF\xFE"), std::string()}) {
    WriteBytes(ToPath(csv), bytes);
    fs::remove(dir.path() / u8"goods_备份.csv");
    values.backup = true;
    trigger.changes.clear();

    EXPECT_EQ(Run().outcome, RunOutcome::NoText);

    EXPECT_EQ(CsvBytes(), bytes);
    EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份.csv"), bytes);
    EXPECT_TRUE(messages.shown.empty());
    ExpectTriggerReleased();
  }
}

TEST_F(AdjustmentRunTest, BackupReplacesItsExtensionAndOverwritesAnOlderOne) {
  const std::u16string text = Row(u"D:\\old\\item\\a.jpg");
  WriteCsv(text);
  WriteBytes(dir.path() / u8"goods_备份.csv",
             "an older backup, longer than the CSV itself ........");
  values.backup = true;

  Run();

  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份.csv"), Utf16FileBytes(text));
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv goods_备份.csv");
}

TEST_F(AdjustmentRunTest, BackupOfAPathWithoutDotGetsTheSuffixAppended) {
  if (dir.path().string().find('.') != std::string::npos) {
    GTEST_SKIP() << "the temporary folder's path holds a dot";
  }
  const std::u16string text = Row(u"D:\\old\\item\\a.jpg");
  values.btn1 = dir.File("goods");
  WriteBytes(dir.path() / "goods", Utf16FileBytes(text));
  values.backup = true;

  Run();

  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份.csv"), Utf16FileBytes(text));
}

TEST_F(AdjustmentRunTest, FailedBackupStopsTheRunBeforeTheCsvIsTouched) {
  WriteCsv(Row(u"D:\\old\\item\\a.jpg"));
  const std::string before = CsvBytes();
  fs::create_directory(dir.path() / u8"goods_备份.csv");  // a folder where the backup should go
  values.backup = true;

  try {
    Run();
    FAIL() << "the run went on without its backup";
  } catch (const Error &e) {
    EXPECT_NE(std::string(e.what()).find(ToUtf8(dir.File("goods_备份.csv"))), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(CsvBytes(), before);
  EXPECT_TRUE(messages.shown.empty());
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, EmptyOldFolderIsAnErrorAfterTheBackup) {
  for (const std::u16string oldFolder : {u"", u"\\"}) {
    WriteCsv(Row(u"D:\\old\\item\\a.jpg"));
    const std::string before = CsvBytes();
    values.btn2 = oldFolder;
    values.backup = true;
    trigger.changes.clear();

    EXPECT_THROW(Run(), Error);

    EXPECT_EQ(CsvBytes(), before);
    EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份.csv"), before);
    ExpectTriggerReleased();
  }
}

TEST_F(AdjustmentRunTest, MissingCsvRaisesTheOpenError) {
  try {
    Run();
    FAIL() << "no error for a missing CSV";
  } catch (const Error &e) {
#ifdef _WIN32
    const std::string notFound = platform::SystemErrorText(2);  // ERROR_FILE_NOT_FOUND
#else
    const std::string notFound = "No such file or directory";
#endif
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + ToUtf8(csv) + "\". " + notFound);
  }
  EXPECT_TRUE(messages.shown.empty());
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, ReadOnlyCsvRaisesTheCreateErrorAndStaysUnchanged) {
  WriteCsv(Row(u"D:\\old\\item\\a.jpg"));
  const std::string before = CsvBytes();
  fs::permissions(ToPath(csv),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  try {
    Run();
    FAIL() << "a read-only CSV was written";
  } catch (const Error &e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + ToUtf8(csv) + "\". ", 0), 0u)
        << e.what();
  }
  EXPECT_EQ(CsvBytes(), before);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, DryRunCountsWithoutWritingOrBackingUp) {
  WriteCsv(Row(u"D:\\old\\item\\a.jpg") + Row(u"D:\\OLD\\item\\b.jpg") +
           Row(u"file:///D:/old/item/c.jpg"));
  const std::string before = CsvBytes();
  values.backup = true;

  const RunReport report = Run({.dryRun = true});

  EXPECT_EQ(report.outcome, RunOutcome::DryRun);
  EXPECT_EQ(report.occurrences[kPathForm], 2);
  EXPECT_EQ(report.occurrences[kUrlForm], 1);
  EXPECT_EQ(CsvBytes(), before);
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
  EXPECT_TRUE(messages.shown.empty());
}

// A text one character longer than 30,000,000 characters, with an occurrence
// across that boundary: it is replaced like every other one.
TEST_F(AdjustmentRunTest, OccurrenceAcrossThirtyMillionCharactersIsReplaced) {
  constexpr size_t kChunk = 30'000'000;
  const std::u16string find = u"D:\\old\\item";
  std::u16string text(kChunk + 1, u'x');
  const size_t at = kChunk - 5;  // covers the last character of the first 30,000,000
  text.replace(at, find.size(), find);
  text.replace(10, find.size(), find);
  WriteCsv(text);

  const RunReport report = Run();

  EXPECT_EQ(report.occurrences[kPathForm], 2);
  std::u16string expected = text;
  expected.replace(at, find.size(), kNewFolder);
  expected.replace(10, find.size(), kNewFolder);
  EXPECT_TRUE(CsvBytes() == Utf16FileBytes(expected));
}

}  // namespace
}  // namespace picrelink
