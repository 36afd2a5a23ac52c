#include "relocation/session/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::ToPath;
using test::Utf16FileBytes;
using test::WriteBytes;

const std::u16string kSep(1, platform::kLocalSeparator);

std::string CsvReferring(std::u16string_view path) {
  return Utf16FileBytes(u"\"描述\"\r\n\"<img src=\"\"" + std::u16string(path) + u"\"\">\"\r\n");
}

TEST(FindCsvInFolder, KeepsTheNameThatSortsFirst) {
  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    std::string expected;  // "" for none
  };
  const Case cases[] = {
      {"several CSVs", {"b.csv", "a.csv", "c.csv"}, {}, "a.csv"},
      {"the backup beside its original", {"goods_备份.csv", "goods.csv"}, {}, "goods.csv"},
      {"a folder named like a CSV is skipped", {"z.csv"}, {"a.csv"}, "z.csv"},
      {"a hidden CSV takes part", {".hidden.csv"}, {}, ".hidden.csv"},
      {"a name that is only the extension", {".csv"}, {}, ".csv"},
      {"upper-case extension", {"DATA.CSV"}, {}, "DATA.CSV"},
      {"mixed-case extension", {"data.Csv"}, {}, "data.Csv"},
      {"near misses only", {"data.csv.bak", "data.csvx", "csv", "data_csv"}, {}, ""},
      {"non-ASCII letters are not folded", {"data.ｃｓｖ"}, {}, ""},
      {"nothing at all", {}, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    for (const auto& name : c.files) WriteBytes(dir.path() / name, "x");
    for (const auto& name : c.folders) fs::create_directory(dir.path() / name);

    const std::u16string found = FindCsvInFolder(dir.Folder());

    EXPECT_EQ(ToUtf8(found), c.expected.empty() ? "" : ToUtf8(dir.Folder()) + c.expected);
  }
}

TEST(FindCsvInFolder, JoinsFolderAndNameWithOneSeparator) {
  TempDir dir;
  WriteBytes(dir.path() / "goods.csv", "x");
  const std::u16string withoutSeparator = FromUtf8(dir.path().string());

  EXPECT_EQ(FindCsvInFolder(withoutSeparator), withoutSeparator + kSep + u"goods.csv");
  EXPECT_EQ(FindCsvInFolder(withoutSeparator + kSep), withoutSeparator + kSep + u"goods.csv");
}

TEST(FindCsvInFolder, MissingFolderGivesNothing) {
  TempDir dir;
  EXPECT_EQ(FindCsvInFolder(dir.File("missing") + kSep), u"");
  EXPECT_EQ(FindCsvInFolder(u""), u"");
}

// Contents of a candidate: with the mark the run reads, or without it.
const std::string kMarked = Utf16FileBytes(u"\"描述\"\r\n");
const std::string kPlain = "\"desc\"\r\n";

TEST(FindCsvCandidates, OrdersByBackupThenMarkThenName) {
  struct File {
    std::string name;
    std::string bytes;
  };
  struct Case {
    const char* what;
    std::vector<File> files;
    std::vector<std::string> expected;  // the first is the one taken
  };
  const Case cases[] = {
      {"the original before the file manager's copies and the backup",
       {{"商品 - 副本.csv", kMarked},
        {"商品_备份.csv", kMarked},
        {"商品(1).csv", kMarked},
        {"商品.csv", kMarked}},
       {"商品.csv", "商品 - 副本.csv", "商品(1).csv", "商品_备份.csv"}},
      {"the spreadsheet's owner file is left out",
       {{"~$商品.csv", std::string(12, '\x05')}, {"商品.csv", kMarked}},
       {"商品.csv"}},
      {"an owner file is left out even with the mark", {{"~$商品.csv", kMarked}}, {}},
      {"a file with the mark before one without",
       {{"a.csv", kPlain}, {"b.csv", kMarked}},
       {"b.csv", "a.csv"}},
      {"without any mark, by name", {{"b.csv", kPlain}, {"a.csv", kPlain}}, {"a.csv", "b.csv"}},
      {"too short for the mark, or empty",
       {{"a.csv", "\xFF"}, {"b.csv", "\xFF\xFE"}, {"c.csv", ""}},
       {"b.csv", "a.csv", "c.csv"}},
      {"the big-endian mark is not the mark",
       {{"a.csv", "\xFE\xFF"}, {"b.csv", kMarked}},
       {"b.csv", "a.csv"}},
      {"backups alone, the unnumbered one first",
       {{"商品_备份(2).csv", kMarked}, {"商品_备份.csv", kMarked}, {"商品_备份(10).csv", kMarked}},
       {"商品_备份.csv", "商品_备份(10).csv", "商品_备份(2).csv"}},
      {"a backup after a non-backup of another name",
       {{"商品_备份(3).csv", kMarked}, {"旧.csv", kMarked}},
       {"旧.csv", "商品_备份(3).csv"}},
      // A backup comes last even with the mark: the original, saved again in
      // another encoding, is taken, and its encoding explained.
      {"an original without the mark before a backup with it",
       {{"商品_备份.csv", kMarked}, {"商品.csv", kPlain}},
       {"商品.csv", "商品_备份.csv"}},
      {"names that only look like backups",
       {{"商品_备份.csv", kMarked},
        {"商品备份.csv", kMarked},
        {"商品_备份x.csv", kMarked},
        {"商品_备份(二).csv", kMarked},
        {"商品_备份().csv", kMarked}},
       {"商品_备份().csv", "商品_备份(二).csv", "商品_备份x.csv", "商品备份.csv", "商品_备份.csv"}},
      {"the name without its extension decides",
       {{"a.b.csv", kMarked}, {"a.csv", kMarked}},
       {"a.csv", "a.b.csv"}},
      {"code points, not UTF-16 code units",
       {{"\U0001F600.csv", kMarked}, {"\uFF21.csv", kMarked}},
       {"\uFF21.csv", "\U0001F600.csv"}},
      {"nothing at all", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    for (const File& file : c.files) WriteBytes(ToPath(dir.File(file.name)), file.bytes);
    std::vector<std::u16string> expected;
    for (const std::string& name : c.expected) expected.push_back(dir.Folder() + FromUtf8(name));

    EXPECT_EQ(FindCsvCandidates(dir.Folder()), expected);
    EXPECT_EQ(FindCsvInFolder(dir.Folder()), expected.empty() ? u"" : expected.front());
  }
}

TEST(FindCsvCandidates, SameStemOrderedByTheWholeName) {
  TempDir dir;
  WriteBytes(dir.path() / "a.csv", kMarked);
  WriteBytes(dir.path() / "a.CSV", kMarked);
  if (FindCsvCandidates(dir.Folder()).size() < 2) GTEST_SKIP() << "names ignore letter case here";

  EXPECT_EQ(FindCsvCandidates(dir.Folder()),
            (std::vector<std::u16string>{dir.Folder() + u"a.CSV", dir.Folder() + u"a.csv"}));
}

TEST(FindCsvCandidates, AFileHeldByAnotherProgramCountsAsWithoutMark) {
  TempDir dir;
  WriteBytes(dir.path() / "a.csv", kMarked);
  WriteBytes(dir.path() / "b.csv", kMarked);
  {
    platform::InputFile held(dir.Folder() + u"a.csv");

    EXPECT_EQ(FindCsvCandidates(dir.Folder()),
              (std::vector<std::u16string>{dir.Folder() + u"b.csv", dir.Folder() + u"a.csv"}));
  }
  // Discovery keeps no file open once it returns.
  EXPECT_EQ(FindCsvInFolder(dir.Folder()), dir.Folder() + u"a.csv");
  EXPECT_NO_THROW(platform::InputFile(dir.Folder() + u"a.csv"));
}

class StartUpTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::u16string programFolder = dir.Folder();  // ends in the separator
  MemoryFormValues values;
};

TEST_F(StartUpTest, WithoutCsvOnlyTheProgramFolderIsSet) {
  StartUp(values, programFolder);

  EXPECT_EQ(values.btn1, u"");
  EXPECT_EQ(values.btn2, u"");
  EXPECT_EQ(values.btn3, programFolder);
  EXPECT_EQ(values.levelReads, 0);
}

// The program lies beside goods.csv, which refers to D:\old\pics\item\a.jpg.
TEST_F(StartUpTest, ProposesTheFolderOfTheSameNameBesideTheProgram) {
  WriteBytes(dir.path() / "goods.csv", CsvReferring(u"D:\\old\\pics\\item\\a.jpg"));
  struct Case {
    std::u16string level, btn2, btn3Tail;
  };
  for (const Case& c :
       {Case{u"0", u"D:\\old\\pics\\item", u"item"}, Case{u"1", u"D:\\old\\pics", u"pics"}}) {
    SCOPED_TRACE(ToUtf8(c.level));
    values.levelText = c.level;

    StartUp(values, programFolder);

    EXPECT_EQ(values.btn1, programFolder + u"goods.csv");
    EXPECT_EQ(values.btn2, c.btn2);
    EXPECT_EQ(values.btn3, programFolder + c.btn3Tail);
  }
}

TEST_F(StartUpTest, RepeatedRedetectionAppendsOnlyWhenTheNameChanges) {
  WriteBytes(dir.path() / "goods.csv", CsvReferring(u"D:\\old\\pics\\item\\a.jpg"));
  values.levelText = u"0";
  StartUp(values, programFolder);
  ASSERT_EQ(values.btn3, programFolder + u"item");

  Redetect(values);  // nothing changed: nothing happens
  EXPECT_EQ(values.btn2, u"D:\\old\\pics\\item");
  EXPECT_EQ(values.btn3, programFolder + u"item");

  values.levelText = u"1";  // one level up: one more component, never taken back
  Redetect(values);
  EXPECT_EQ(values.btn2, u"D:\\old\\pics");
  EXPECT_EQ(values.btn3, programFolder + u"item" + kSep + u"pics");
}

TEST_F(StartUpTest, ProgramInsideThePictureFolderKeepsItsFolder) {
  const fs::path item = dir.path() / "item";
  fs::create_directory(item);
  WriteBytes(item / "goods.csv", CsvReferring(u"D:\\old\\pics\\item\\a.jpg"));
  const std::u16string folder = FromUtf8(item.string()) + kSep;
  values.levelText = u"0";

  StartUp(values, folder);

  EXPECT_EQ(values.btn3, folder);
}

TEST_F(StartUpTest, LetterCaseOfTheLastComponentCounts) {
  const fs::path item = dir.path() / "Item";
  fs::create_directory(item);
  WriteBytes(item / "goods.csv", CsvReferring(u"D:\\old\\pics\\item\\a.jpg"));
  const std::u16string folder = FromUtf8(item.string()) + kSep;
  values.levelText = u"0";

  StartUp(values, folder);

  EXPECT_EQ(values.btn3, folder + u"item");
}

TEST_F(StartUpTest, EmptiedActualFolderBecomesTheDetectedName) {
  WriteBytes(dir.path() / "goods.csv", CsvReferring(u"D:\\old\\pics\\item\\a.jpg"));
  values.btn1 = programFolder + u"goods.csv";
  values.levelText = u"0";

  Redetect(values);

  EXPECT_EQ(values.btn3, u"item");
}

TEST_F(StartUpTest, PicturesAtADriveRootOnlyAddASeparator) {
  WriteBytes(dir.path() / "goods.csv", CsvReferring(u"D:\\a.jpg"));
  values.btn1 = programFolder + u"goods.csv";
  values.btn3 = FromUtf8(dir.path().string());  // without its separator

  Redetect(values);

  EXPECT_EQ(values.btn2, u"D:\\");
  EXPECT_EQ(values.btn3, programFolder);
}

TEST_F(StartUpTest, DetectionErrorLeavesTheFoldersAsTheyWere) {
  WriteBytes(dir.path() / "goods.csv", CsvReferring(u"D:\\old\\pics\\item\\a.jpg"));
  values.btn1 = programFolder + u"goods.csv";
  values.btn2 = u"kept2";
  values.btn3 = u"kept3";
  values.levelText = u"0.5";

  try {
    Redetect(values);
    FAIL() << "no error for the level 0.5";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'0.5' is not a valid integer value");
  }
  EXPECT_EQ(values.btn2, u"kept2");
  EXPECT_EQ(values.btn3, u"kept3");
}

TEST_F(StartUpTest, ErrorAtStartUpKeepsWhatWasSetBefore) {
  WriteBytes(dir.path() / "goods.csv", CsvReferring(u"D:\\old\\pics\\item\\a.jpg"));
  values.levelText = u"";

  EXPECT_THROW(StartUp(values, programFolder), EConvertError);

  EXPECT_EQ(values.btn1, programFolder + u"goods.csv");
  EXPECT_EQ(values.btn2, u"");
  EXPECT_EQ(values.btn3, programFolder);
}

}  // namespace
}  // namespace picrelink
