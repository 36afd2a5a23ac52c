#include "relocation/run/adjustment_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/run/run_summary.h"
#include "relocation/run/run_texts.h"
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

std::u16string ProductRow(std::u16string_view reference) {
  return u"\"商品\",\"<p>宝贝描述</p><img src=\"\"" + std::u16string(reference) + u"\"\">\"\r\n";
}

class AdjustmentRunTest : public ::testing::Test {
 protected:
  void WriteCsv(std::u16string_view text) { WriteBytes(ToPath(csv), Utf16FileBytes(text)); }
  std::string CsvBytes() const { return ReadBytes(ToPath(csv)); }

  RunReport Run(const RunOptions& options = {}) {
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
      u"\"标题\",\"描述\"\r\n" + ProductRow(u"d:\\OLD\\Item\\a.jpg") +
      ProductRow(u"FILE:///D:/Old/item/b.jpg") + ProductRow(u"D:\\old\\item2\\c.jpg") +
      ProductRow(u"D:\\old\\ítem\\d.jpg") + ProductRow(u"file:///D:/old/%E5%9B%BE/e.jpg") +
      ProductRow(u"http://example.com/item/f.jpg");
  values.btn2 = u"D:\\old\\item";
  values.btn3 = kNewFolder;
  WriteCsv(text);

  const RunReport report = Run();

  const std::u16string expected =
      u"\"标题\",\"描述\"\r\n" + ProductRow(kNewFolder + u"\\a.jpg") +
      ProductRow(kNewFolderUrl + u"/b.jpg") + ProductRow(kNewFolder + u"2\\c.jpg") +
      ProductRow(u"D:\\old\\ítem\\d.jpg") + ProductRow(u"file:///D:/old/%E5%9B%BE/e.jpg") +
      ProductRow(u"http://example.com/item/f.jpg");
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
            "调整成功！\n已改写原目录出现的位置：路径形式 2 处，网址形式 1 "
            "处（按出现次数计，图片引用之外的文字里的也在内）。\n注意：另有 2 "
            "处引用指向其他目录，未作改动（"
            "D:\\old）。\n注意：新目录不存在，引用已改为指向它，但图片无法显示；"
            "请把图片放到该目录，或选择正确的目录后再调整一次。");
  EXPECT_TRUE(report.newFolderMissing);
  EXPECT_EQ(messages.shown[0].caption, u"调整CSV文件宝贝描述图片位置");
  EXPECT_FALSE(messages.shown[0].triggerAvailable)
      << "the start button stays unavailable while the message shows";
  ExpectTriggerReleased();
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv") << "no backup, no temporary file";
}

TEST_F(AdjustmentRunTest, TrailingSeparatorsOnEitherFolderGiveTheSameFile) {
  const std::u16string text =
      ProductRow(u"D:\\old\\item\\a.jpg") + ProductRow(u"file:///D:/old/item/b.jpg");
  std::string first;
  for (const std::u16string oldFolder : {u"D:\\old\\item", u"D:\\old\\item\\"}) {
    for (const std::u16string& newFolder : {kNewFolder, kNewFolder + kLocalSep}) {
      SCOPED_TRACE(ToUtf8(oldFolder + u" -> " + newFolder));
      WriteCsv(text);
      values.btn2 = oldFolder;
      values.btn3 = newFolder;
      Run();
      if (first.empty()) first = CsvBytes();
      EXPECT_EQ(CsvBytes(), first);
    }
  }
  EXPECT_EQ(first, Utf16FileBytes(ProductRow(kNewFolder + u"\\a.jpg") +
                                  ProductRow(kNewFolderUrl + u"/b.jpg")));
}

// An emptied new folder would turn every reference into \a.jpg and
// file:////a.jpg; an emptied or separator-only old folder names no folder.
// Each is refused before anything is made, the backup included.
TEST_F(AdjustmentRunTest, EmptyFoldersAreRefusedBeforeAnythingIsMade) {
  const struct {
    std::u16string oldFolder, newFolder;
    std::string says;
  } cases[] = {
      {u"D:\\old\\item", u"", "新的图片目录为空"},
      {u"", u"E:\\new", "CSV 中没有找到图片引用"},
      {u"\\", u"E:\\new", "不是目录"},
      {u"/", u"E:\\new", "不是目录"},
  };
  for (const auto& c : cases) {
    WriteCsv(ProductRow(u"D:\\old\\item\\a.jpg") + ProductRow(u"file:///d:/OLD/item/c.jpg"));
    const std::string before = CsvBytes();
    values.btn2 = c.oldFolder;
    values.btn3 = c.newFolder;
    values.backup = true;
    trigger.changes.clear();
    try {
      Run();
      ADD_FAILURE() << "no error for " << ToUtf8(c.oldFolder) << " -> " << ToUtf8(c.newFolder);
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
    EXPECT_EQ(CsvBytes(), before);
    EXPECT_EQ(test::ListNames(dir.path()), "goods.csv") << "no backup, no temporary file";
    EXPECT_TRUE(messages.shown.empty());
    ExpectTriggerReleased();
  }
}

TEST_F(AdjustmentRunTest, EmptyCsvPathIsAnErrorThatTouchesNothing) {
  values.btn1.clear();
  values.backup = true;

  try {
    Run();
    FAIL() << "no error without a CSV";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), NoCsvMessage(Language::Chinese));
  }

  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(test::ListNames(dir.path()), "");
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, CsvWithoutMarkIsLeftAloneAndNotBackedUp) {
  for (const std::string& bytes : {std::string("\xEF\xBB\xBF"
                                               "D:\\old\\item"),
                                   std::string("\xFF\xFE"), std::string()}) {
    WriteBytes(ToPath(csv), bytes);
    values.backup = true;
    trigger.changes.clear();

    EXPECT_EQ(Run().outcome, RunOutcome::NoText);

    EXPECT_EQ(CsvBytes(), bytes);
    EXPECT_EQ(test::ListNames(dir.path()), "goods.csv")
        << "a run that writes nothing backs up nothing";
    EXPECT_TRUE(messages.shown.empty());
    ExpectTriggerReleased();
  }
}

// A backup that holds other bytes may be the only copy of the original: it
// is kept, and the new one takes the next free number. One that holds the
// CSV's own bytes is taken as it is.
TEST_F(AdjustmentRunTest, BackupNeverOverwritesOtherBytes) {
  const std::u16string text = ProductRow(u"D:\\old\\item\\a.jpg");
  WriteCsv(text);
  const std::string original = CsvBytes();
  WriteBytes(dir.path() / u8"goods_备份.csv", "the seller's first original");
  values.backup = true;

  RunReport report = Run();

  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份.csv"), "the seller's first original");
  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份(2).csv"), original);
  EXPECT_EQ(report.backup, dir.File("goods_备份(2).csv"));
  EXPECT_NE(
      ToUtf8(messages.shown.at(0).text).find("备份：" + ToUtf8(dir.File("goods_备份(2).csv"))),
      std::string::npos);

  // Again over the rewritten CSV with the folder back: a third backup; and
  // once more over the same bytes as that one: it is reused.
  values.btn2.swap(values.btn3);
  report = Run();
  EXPECT_EQ(report.backup, dir.File("goods_备份(3).csv"));
  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份(2).csv"), original);
  EXPECT_EQ(CsvBytes(), original);
  WriteBytes(ToPath(csv), original);
  values.btn2.swap(values.btn3);
  report = Run();
  EXPECT_EQ(report.backup, dir.File("goods_备份(2).csv")) << "the same bytes are there already";
  EXPECT_EQ(test::ListNames(dir.path()),
            "goods.csv goods_备份(2).csv goods_备份(3).csv goods_备份.csv");
}

// Only the same bytes make an older file the backup: one of the CSV's size
// that holds other bytes is kept as it is.
TEST_F(AdjustmentRunTest, AnOlderBackupOfTheSameSizeWithOtherBytesIsKept) {
  WriteCsv(ProductRow(u"D:\\old\\item\\a.jpg"));
  const std::string original = CsvBytes();
  std::string older = original;
  older[older.size() - 4] ^= 1;
  WriteBytes(dir.path() / u8"goods_备份.csv", older);
  values.backup = true;

  EXPECT_EQ(Run().backup, dir.File("goods_备份(2).csv"));

  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份.csv"), older);
  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份(2).csv"), original);
}

TEST_F(AdjustmentRunTest, BackupOfAPathWithoutDotGetsTheSuffixAppended) {
  if (dir.path().string().find('.') != std::string::npos) {
    GTEST_SKIP() << "the temporary folder's path holds a dot";
  }
  const std::u16string text = ProductRow(u"D:\\old\\item\\a.jpg");
  values.btn1 = dir.File("goods");
  WriteBytes(dir.path() / "goods", Utf16FileBytes(text));
  values.backup = true;

  Run();

  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份.csv"), Utf16FileBytes(text));
}

TEST_F(AdjustmentRunTest, FailedBackupStopsTheRunBeforeTheCsvIsTouched) {
  // A CSV whose name leaves no room for the backup's suffix: no backup name
  // can be made beside it.
  values.btn1 = dir.File(std::string(246, 'g') + ".csv");
  WriteBytes(ToPath(values.btn1), Utf16FileBytes(ProductRow(u"D:\\old\\item\\a.jpg")));
  const std::string before = ReadBytes(ToPath(values.btn1));
  values.backup = true;

  EXPECT_THROW(Run(), Error);
  EXPECT_EQ(ReadBytes(ToPath(values.btn1)), before);
  EXPECT_EQ(test::ListNames(dir.path()), std::string(246, 'g') + ".csv");
  EXPECT_TRUE(messages.shown.empty());
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, NothingToChangeWritesNothingAndSaysSo) {
  const struct {
    std::u16string oldFolder, newFolder;
    std::string says;
  } cases[] = {
      {u"D:\\店舖\\item", u"E:\\new", "CSV 中没有找到“D:\\店舖\\item”"},  // a typo
      {u"D:\\old\\item", u"d:\\OLD\\item\\", "原目录与新目录相同"},
  };
  for (const auto& c : cases) {
    WriteCsv(ProductRow(u"D:\\old\\item\\a.jpg"));
    const std::string before = CsvBytes();
    values.btn2 = c.oldFolder;
    values.btn3 = c.newFolder;
    values.backup = true;
    messages.shown.clear();
    trigger.changes.clear();

    EXPECT_EQ(Run().outcome, RunOutcome::NothingToChange);

    EXPECT_EQ(CsvBytes(), before);
    EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(ToUtf8(messages.shown[0].text).find(c.says), std::string::npos)
        << ToUtf8(messages.shown[0].text);
    ExpectTriggerReleased();
  }
}

TEST_F(AdjustmentRunTest, MissingCsvRaisesTheOpenError) {
  try {
    Run();
    FAIL() << "no error for a missing CSV";
  } catch (const Error& e) {
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
  WriteCsv(ProductRow(u"D:\\old\\item\\a.jpg"));
  const std::string before = CsvBytes();
  fs::permissions(ToPath(csv),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

  try {
    Run();
    FAIL() << "a read-only CSV was written";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + ToUtf8(csv) + "\". ", 0), 0u)
        << e.what();
  }
  EXPECT_EQ(CsvBytes(), before);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
  ExpectTriggerReleased();
}

TEST_F(AdjustmentRunTest, DryRunCountsWithoutWritingOrBackingUp) {
  WriteCsv(ProductRow(u"D:\\old\\item\\a.jpg") + ProductRow(u"D:\\OLD\\item\\b.jpg") +
           ProductRow(u"file:///D:/old/item/c.jpg"));
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

namespace picrelink {
namespace {

class RunMendsTest : public ::testing::Test {
 protected:
  void WriteCsv(std::u16string_view text) { WriteBytes(ToPath(csv), Utf16FileBytes(text)); }
  std::string CsvBytes() const { return ReadBytes(ToPath(csv)); }
  RunReport Run(const RunOptions& options = {}) {
    return RunAdjustment(values, trigger, messages, options);
  }
  TempDir dir;
  std::u16string csv = dir.File("goods.csv");
  MemoryFormValues values;
  RecordingTrigger trigger;
  RecordingMessages messages{&trigger};
  void SetUp() override { values.btn1 = csv; }
};

// Pictures one folder below a drive root make the old folder D:\. A bare
// "D:" would match the "d:" of any text; the separator stays with it.
TEST_F(RunMendsTest, ADriveRootNeverDamagesText) {
  WriteCsv(
      u"\"<p>Brand: Nike</p><img src=\"\"D:\\宝贝\\1.jpg\"\"><img "
      u"src=\"\"file:///d:/宝贝/2.jpg\"\">\"");
  values.btn2 = u"D:\\";
  const struct {
    std::u16string newFolder, path, url;
  } cases[] = {
      {u"E:\\店\\", u"E:\\店\\宝贝\\1.jpg", u"file:///E:/店/宝贝/2.jpg"},
      {u"E:\\", u"E:\\宝贝\\1.jpg", u"file:///E:/宝贝/2.jpg"},
#ifndef _WIN32
      {u"/srv/店", u"/srv/店/宝贝\\1.jpg", u"file:////srv/店/宝贝/2.jpg"},
#endif
  };
  for (const auto& c : cases) {
    WriteCsv(
        u"\"<p>Brand: Nike</p><img src=\"\"D:\\宝贝\\1.jpg\"\"><img "
        u"src=\"\"file:///d:/宝贝/2.jpg\"\">\"");
    values.btn3 = c.newFolder;
    const RunReport report = Run();
    EXPECT_EQ(report.outcome, RunOutcome::Written);
    EXPECT_EQ(CsvBytes(), Utf16FileBytes(u"\"<p>Brand: Nike</p><img src=\"\"" + c.path +
                                         u"\"\"><img src=\"\"" + c.url + u"\"\">\""))
        << ToUtf8(c.newFolder);
    EXPECT_FALSE(report.occurrencesOutsideReferences.has_value()) << "counted by dry runs only";
    EXPECT_EQ(Run({.dryRun = true}).occurrencesOutsideReferences, std::optional<int64_t>(0));
  }
  EXPECT_EQ(FindAndReplacementTexts(u"d:", u"E:\\x")[kPathForm].find, u"d:\\");
  EXPECT_EQ(FindAndReplacementTexts(u"d:", u"E:\\x")[kUrlForm].find, u"file:///d:/");
  EXPECT_EQ(FindAndReplacementTexts(u"D:\\a\\", u"E:\\x")[kPathForm].find, u"D:\\a");
}

TEST_F(RunMendsTest, OccurrencesOutsidePictureReferencesAreCountedAndWarnedOf) {
  WriteCsv(u"\"图片在 D:\\old\\item 里\",\"<img src=\"\"D:\\old\\item\\a.jpg\"\">\"\r\n");
  values.btn2 = u"D:\\old\\item";
  values.btn3 = u"E:\\new";
  RunReport report = Run({.dryRun = true});
  EXPECT_EQ(report.outcome, RunOutcome::DryRun);
  EXPECT_EQ(report.occurrences[kPathForm], 2);
  EXPECT_EQ(report.occurrencesOutsideReferences, std::optional<int64_t>(1));
  EXPECT_EQ(ToUtf8(SuccessMessage(report, Language::English))
                    .find("Note: 1 of them stood outside picture references (in other text)") !=
                std::string::npos,
            true);
}

// The dry run refuses what the real run refuses, with the same message, and
// leaves nothing behind.
TEST_F(RunMendsTest, TheDryRunIsAPreflight) {
#ifdef _WIN32
  GTEST_SKIP() << "permission bits and hard links as POSIX systems have them";
#else
  const std::u16string text = u"<img src=\"\"D:\\old\\item\\a.jpg\"\">";
  values.btn2 = u"D:\\old\\item";
  values.btn3 = u"E:\\new";
  const auto refusal = [&](const RunOptions& options) -> std::string {
    try {
      Run(options);
    } catch (const Error& e) {
      return e.what();
    }
    return "no refusal";
  };

  // A read-only CSV.
  WriteCsv(text);
  fs::permissions(ToPath(csv), fs::perms::owner_read);
  std::string real = refusal({});
  EXPECT_EQ(real.rfind("Cannot create file", 0), 0u) << real;
  EXPECT_EQ(refusal({.dryRun = true}), real);
  fs::permissions(ToPath(csv), fs::perms::owner_read | fs::perms::owner_write);

  // A CSV with a second hard link.
  fs::create_hard_link(ToPath(csv), dir.path() / "link.csv");
  real = refusal({});
  EXPECT_NE(real.find("Cannot create file"), std::string::npos) << real;
  EXPECT_EQ(refusal({.dryRun = true}), real);
  fs::remove(dir.path() / "link.csv");

  // Nothing refused: the dry run says where the backup would go and makes
  // nothing.
  values.backup = true;
  const RunReport report = Run({.dryRun = true});
  EXPECT_EQ(report.outcome, RunOutcome::DryRun);
  EXPECT_EQ(report.backup, dir.File("goods_备份.csv"));
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
  EXPECT_EQ(CsvBytes(), Utf16FileBytes(text));
#endif
}

}  // namespace
}  // namespace picrelink

namespace picrelink {
namespace {

// A cancel at any piece, the last one included, leaves the CSV and its
// folder as they were; the progress goes forward to the whole text.
TEST(RunCancelTest, ACancelledRunLeavesEverythingAsItWas) {
  TempDir dir;
  const std::u16string csv = dir.File("goods.csv");
  std::u16string text;
  for (int i = 0; i < 2000; ++i)
    text += u"<img src=\"\"D:\\old\\item\\" + FromUtf8(std::to_string(i)) + u".jpg\"\">";
  WriteBytes(ToPath(csv), Utf16FileBytes(text));
  const std::string before = ReadBytes(ToPath(csv));
  MemoryFormValues values;
  values.btn1 = csv;
  values.btn2 = u"D:\\old\\item";
  values.btn3 = u"E:\\new";
  values.backup = true;
  RecordingTrigger trigger;
  RecordingMessages messages{&trigger};

  // 0: the call that reports the whole text read, the last one.
  for (const int cancelAt : {1, 5, 1000, 0}) {
    std::atomic<bool> cancel{false};
    int calls = 0;
    uint64_t last = 0;
    RunOptions options;
    options.bufferUnits = 64;
    options.cancel = &cancel;
    options.progress = [&](uint64_t read, uint64_t total) {
      EXPECT_GT(read, last);
      EXPECT_LE(read, total);
      last = read;
      if (++calls == cancelAt || (cancelAt == 0 && read == total)) cancel = true;
    };
    EXPECT_THROW(RunAdjustment(values, trigger, messages, options), Cancelled) << cancelAt;
    EXPECT_EQ(ReadBytes(ToPath(csv)), before);
    EXPECT_EQ(test::ListNames(dir.path()), "goods.csv") << "no temporary, no backup";
    EXPECT_TRUE(messages.shown.empty());
  }
  // Without a cancel the progress reaches the whole text.
  uint64_t last = 0, total = 0;
  RunOptions options;
  options.bufferUnits = 64;
  options.progress = [&](uint64_t read, uint64_t all) {
    last = read;
    total = all;
  };
  EXPECT_EQ(RunAdjustment(values, trigger, messages, options).outcome, RunOutcome::Written);
  EXPECT_EQ(last, total);
  EXPECT_EQ(total, text.size());
}

}  // namespace
}  // namespace picrelink

namespace picrelink {
namespace {

// A link at the backup's name is never taken for a backup, even when it
// leads to the same bytes: it may lead to the CSV itself.
TEST(BackupLinkTest, ALinkIsNeverTakenForABackup) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
  TempDir dir;
  const std::u16string csv = dir.File("goods.csv");
  const std::string bytes = Utf16FileBytes(u"<img src=\"\"D:\\old\\item\\a.jpg\"\">");
  WriteBytes(ToPath(csv), bytes);
  WriteBytes(dir.path() / "same.csv", bytes);
  fs::create_symlink("same.csv", dir.path() / u8"goods_备份.csv");
  MemoryFormValues values;
  values.btn1 = csv;
  values.btn2 = u"D:\\old\\item";
  values.btn3 = u"E:\\new";
  values.backup = true;
  RecordingTrigger trigger;
  RecordingMessages messages{&trigger};
  const RunReport report = RunAdjustment(values, trigger, messages);
  EXPECT_EQ(report.backup, dir.File("goods_备份(2).csv"));
  EXPECT_EQ(ReadBytes(dir.path() / u8"goods_备份(2).csv"), bytes);
  EXPECT_TRUE(fs::is_symlink(dir.path() / u8"goods_备份.csv"));
  EXPECT_EQ(ReadBytes(dir.path() / "same.csv"), bytes);
#endif
}

}  // namespace
}  // namespace picrelink
