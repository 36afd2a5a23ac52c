#include "relocation/references/detection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "core/utf.h"
#include "relocation/form_values.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

using test::TempDir;
using test::ToPath;
using test::Utf16FileBytes;
using test::WriteBytes;

// A listing row whose description refers to a picture, the way the listing
// tool writes it: quotation marks doubled inside the quoted field.
std::u16string ListingRow(std::u16string_view reference) {
  return u"\"商品标题\",\"<p>精美商品描述</p><img src=\"\"" + std::u16string(reference) +
         u"\"\" />\",\"12.50\"\r\n";
}

const std::u16string kHeader = u"\"title\",\"description\",\"price\"\r\n";

class DetectionTest : public ::testing::Test {
 protected:
  // Writes the text as a CSV (FF FE and UTF-16LE) and detects with the level.
  std::u16string Detect(std::u16string_view text, std::u16string_view level = u"0") {
    WriteBytes(ToPath(csv_), Utf16FileBytes(text));
    values_.levelText = level;
    return DetectImageFolder(csv_, values_);
  }

  TempDir dir_;
  std::u16string csv_ = dir_.File("goods.csv");
  MemoryFormValues values_;
};

TEST(DetectionPatterns, AreTheTwoReferencePatterns) {
  EXPECT_EQ(kPathPattern, uR"x(src=""([A-Za-z]:\\.*?)")x");
  EXPECT_EQ(kPathPattern.size(), 23u);
  EXPECT_EQ(kUrlPattern, uR"x(src=""(file:///[A-Za-z]:/.*?)")x");
  EXPECT_EQ(kUrlPattern.size(), 30u);
}

TEST(ExtractFileDirTest, KeepsTheFolderAndARootsSeparator) {
  const struct {
    std::u16string path, dir;
  } cases[] = {
      {u"D:\\shop\\pics\\a.jpg", u"D:\\shop\\pics"},
      {u"D:\\shop", u"D:\\"},
      {u"D:\\", u"D:\\"},
      {u"D:\\a.jpg", u"D:\\"},
      {u"D:\\shop\\pics\\", u"D:\\shop\\pics"},
      {u"D:a.jpg", u"D:"},
      {u"a.jpg", u""},
      {u"", u""},
      {u"D:\\pics\\\\a.jpg", u"D:\\pics\\\\"},  // a doubled separator keeps its first half
      {u"\\a.jpg", u"\\"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(ExtractFileDir(c.path)), ToUtf8(c.dir)) << ToUtf8(c.path);
  }
}

TEST(CollectMatchesTest, GivesTheFirstOfSeveralMatches) {
  const std::u16string text = ListingRow(u"D:\\one\\a.jpg") + ListingRow(u"D:\\two\\b.jpg") +
                              ListingRow(u"D:\\three\\c.jpg");
  EXPECT_EQ(ToUtf8(CollectMatches(text, kPathPattern, u"$1")), "D:\\one\\a.jpg");
  EXPECT_EQ(CollectMatches(text, kUrlPattern, u"$1"), u"");
}

TEST(CollectMatchesTest, PassesTheEnginesErrorOn) {
  EXPECT_THROW(CollectMatches(u"abc", u"(a", u"$1"), ERegExpr);
}

// ------------------------------------------------------------------ levels

struct LevelCase {
  std::u16string level;
  std::u16string folder;  // empty: the conversion error is expected
  std::string message;
};

class DetectionLevel : public DetectionTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(DetectionLevel, GoesUpOneFolderAtMostOrRejectsTheLevel) {
  const LevelCase& c = GetParam();
  const std::u16string text = kHeader + ListingRow(u"D:\\shop\\pics\\item1\\a.jpg");
  if (!c.folder.empty()) {
    EXPECT_EQ(ToUtf8(Detect(text, c.level)), ToUtf8(c.folder)) << ToUtf8(c.level);
  } else {
    try {
      Detect(text, c.level);
      ADD_FAILURE() << "no error for level '" << ToUtf8(c.level) << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  EXPECT_EQ(values_.levelReads, 1);
}

const std::u16string kItem = u"D:\\shop\\pics\\item1";
const std::u16string kPics = u"D:\\shop\\pics";

INSTANTIATE_TEST_SUITE_P(
    Table, DetectionLevel,
    ::testing::Values(LevelCase{u"1", kPics, ""}, LevelCase{u"0", kItem, ""},
                      LevelCase{u"5", kPics, ""}, LevelCase{u"-1", kItem, ""},
                      LevelCase{u" 1", kPics, ""},
                      LevelCase{u"1 ", u"", "'1 ' is not a valid integer value"},
                      LevelCase{u"", u"", "'' is not a valid integer value"},
                      LevelCase{u"abc", u"", "'abc' is not a valid integer value"},
                      LevelCase{u"$1", kPics, ""}, LevelCase{u"0x1", kPics, ""},
                      LevelCase{u"-0x1", kItem, ""},
                      LevelCase{u"2147483648", u"", "'2147483648' is not a valid integer value"},
                      LevelCase{u"FFFFFFFF", u"", "'FFFFFFFF' is not a valid integer value"},
                      LevelCase{u"$FFFFFFFF", kItem, ""},
                      LevelCase{u"层", u"", "'层' is not a valid integer value"}));

TEST(LevelToIntTest, ReadsDecimalAndHexadecimalIntegers) {
  const struct {
    std::u16string text;
    int32_t value;
  } cases[] = {
      {u"010", 10},
      {u"+7", 7},
      {u"-0", 0},
      {u"  -12", -12},
      {u"2147483647", 2147483647},
      {u"-2147483648", INT32_MIN},
      {u"0000000000001", 1},
      {u"x1F", 31},
      {u"X1f", 31},
      {u"0X10", 16},
      {u"$7FFFFFFF", INT32_MAX},
      {u"$80000000", INT32_MIN},
      {u"-$80000000", INT32_MIN},
      {u"-$FFFFFFFF", 1},
      {u"$000000001", 1},  // leading zeros are not significant digits
  };
  for (const auto& c : cases) EXPECT_EQ(LevelToInt(c.text), c.value) << ToUtf8(c.text);
}

TEST(LevelToIntTest, RejectsEverythingElse) {
  const std::u16string cases[] = {u"-2147483649", u"99999999999999999999",
                                  u"$100000000",  u"$",
                                  u"0x",          u"-",
                                  u"+",           u" ",
                                  u"- 1",         u"1e3",
                                  u"1.0",         u"\t1",
                                  u"１",          u"0x-1",
                                  u"$ 1",         u"--1",
                                  u"0xG"};
  for (const auto& text : cases) {
    EXPECT_THROW(LevelToInt(text), EConvertError) << ToUtf8(text);
  }
}

// --------------------------------------------------------------- the CSV

TEST_F(DetectionTest, EmptyCsvPathGivesNothingWithoutReadingTheLevel) {
  values_.levelText = u"abc";
  EXPECT_EQ(DetectImageFolder(u"", values_), u"");
  EXPECT_EQ(values_.levelReads, 0);
}

TEST_F(DetectionTest, MissingCsvIsAnOpenError) {
  try {
    DetectImageFolder(dir_.File("absent.csv"), values_);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"", 0), 0u) << e.what();
  }
}

TEST_F(DetectionTest, FileWithoutTheMarkHoldsNoText) {
  const std::string utf8 = ToUtf8(ListingRow(u"D:\\shop\\a.jpg"));
  for (const std::string& bytes :
       {utf8, std::string(), std::string("\xFF\xFE"), std::string("\xFE\xFF") + utf8}) {
    WriteBytes(ToPath(csv_), bytes);
    values_.levelText = u"abc";
    EXPECT_EQ(DetectImageFolder(csv_, values_), u"");
  }
  EXPECT_EQ(values_.levelReads, 0);
}

TEST_F(DetectionTest, OddLastByteIsNotPartOfTheText) {
  // The first byte of a quotation mark alone does not close the reference.
  const std::u16string open = u"<img src=\"\"D:\\pics\\item\\a.jpg";
  WriteBytes(ToPath(csv_), Utf16FileBytes(open) + "\x22");
  values_.levelText = u"0";
  EXPECT_EQ(DetectImageFolder(csv_, values_), u"");
  WriteBytes(ToPath(csv_), Utf16FileBytes(open + u"\"") + "\x22");
  EXPECT_EQ(ToUtf8(DetectImageFolder(csv_, values_)), "D:\\pics\\item");
  EXPECT_EQ(values_.levelReads, 1);
}

// A file of 2 GiB and more is read like any other, and no further than its
// path reference: here a sparse file whose reference stands at the front.
TEST_F(DetectionTest, FileOfTwoGibibytesIsReadUpToItsReference) {
  const std::filesystem::path path = ToPath(csv_);
  WriteBytes(path, Utf16FileBytes(kHeader + ListingRow(u"D:\\big\\item\\a.jpg")));
  std::filesystem::resize_file(path, (uint64_t{1} << 31) + 4);
  values_.levelText = u"0";
  EXPECT_EQ(ToUtf8(DetectImageFolder(csv_, values_)), "D:\\big\\item");
}

// A file read in several pieces, each read while the one before it is
// searched: the path reference, cut by the end of the second piece, wins
// over a URL reference in the first.
TEST_F(DetectionTest, ReferenceCutBetweenTheReadPiecesOfALargeFile) {
  const std::u16string reference = ListingRow(u"E:\\far\\item\\a.jpg");
  std::u16string text = kHeader + ListingRow(u"file:///D:/near/item/a.jpg");
  text.append(2 * kDetectionBufferUnits - text.size() - reference.size() / 2, u'x');
  text += reference;
  text.append(kDetectionBufferUnits, u'y');
  EXPECT_EQ(ToUtf8(Detect(text, u"0")), "E:\\far\\item");
}

TEST_F(DetectionTest, NoReferenceAnywhereNeverReadsTheLevel) {
  std::u16string text = kHeader;
  for (int i = 0; i < 200; ++i) {
    text += ListingRow(u"http://img.example.com/a.jpg");
    text +=
        u"\"说明\",\"<p>src= \"\"D:\\x\\a.jpg\"\" "
        u"SRC=\"\"D:\\y\\b.jpg\"\"</p>\",\"1\"\r\n";
  }
  EXPECT_EQ(Detect(text, u"abc"), u"");
  EXPECT_EQ(values_.levelReads, 0);
}

TEST_F(DetectionTest, UpperCaseFormsAreNotReferences) {
  const std::u16string upper =
      u"<img SRC=\"\"D:\\a\\b.jpg\"\"><img Src=\"\"D:\\c\\d.jpg\"\">"
      u"<img src=\"\"FILE:///D:/e/f.jpg\"\">";
  EXPECT_EQ(Detect(upper, u"abc"), u"");
  EXPECT_EQ(values_.levelReads, 0);
  EXPECT_EQ(ToUtf8(Detect(upper + ListingRow(u"file:///D:/lower/a.jpg"))), "D:\\lower");
}

TEST_F(DetectionTest, PathFormWinsOverAnEarlierUrlReference) {
  const std::u16string text =
      kHeader + ListingRow(u"file:///D:/url/item1/a.jpg") + ListingRow(u"E:\\path\\item2\\b.jpg");
  EXPECT_EQ(ToUtf8(Detect(text, u"0")), "E:\\path\\item2");
  EXPECT_EQ(values_.levelReads, 1);
}

TEST_F(DetectionTest, UrlFormIsDecodedIntoAPath) {
  const std::u16string spaced = kHeader + ListingRow(u"file:///D:/shop/my%20pics/item1/a.jpg") +
                                ListingRow(u"file:///E:/other/b.jpg");
  EXPECT_EQ(ToUtf8(Detect(spaced, u"1")), "D:\\shop\\my pics");
  EXPECT_EQ(ToUtf8(Detect(spaced, u"0")), "D:\\shop\\my pics\\item1");
  EXPECT_EQ(ToUtf8(Detect(ListingRow(u"file:///D:/%E5%9B%BE/a.jpg"), u"0")), "D:\\图");
  EXPECT_EQ(values_.levelReads, 3);
}

TEST_F(DetectionTest, FileInTheDriveRootGivesTheRootAtEveryLevel) {
  for (const char16_t* level : {u"0", u"1"}) {
    EXPECT_EQ(ToUtf8(Detect(ListingRow(u"D:\\a.jpg"), level)), "D:\\");
    EXPECT_EQ(ToUtf8(Detect(ListingRow(u"file:///D:/a.jpg"), level)), "D:\\");
  }
}

TEST_F(DetectionTest, DriveLetterKeepsItsCaseAndTrailingSeparatorIsDropped) {
  EXPECT_EQ(ToUtf8(Detect(ListingRow(u"d:\\pics\\item1\\a.jpg"))), "d:\\pics\\item1");
  EXPECT_EQ(ToUtf8(Detect(ListingRow(u"D:\\pics\\item1\\"))), "D:\\pics\\item1");
}

TEST_F(DetectionTest, LineBreakBeforeTheClosingQuotes) {
  EXPECT_EQ(ToUtf8(Detect(u"<img src=\"\"D:\\pics\\item1\\a.jpg\r\n\"\">")), "D:\\pics\\item1");
  // A backslash after the line break ends the folder there, line break inside.
  EXPECT_EQ(ToUtf8(Detect(u"<img src=\"\"D:\\pics\\a.jpg\r\nmore\\b\"\">")),
            "D:\\pics\\a.jpg\r\nmore");
}

TEST_F(DetectionTest, NearMissesArePassedOver) {
  const std::u16string text =
      kHeader + ListingRow(u"http://img.example.com/D:\\a.jpg") +
      ListingRow(u"\\\\server\\share\\a.jpg") + ListingRow(u"D:/slash/a.jpg") +
      ListingRow(u"file:///D:\\back\\a.jpg") +
      u"<img src=\"D:\\single\\a.jpg\"><img src= \"\"D:\\blank\\a.jpg\"\">" +
      ListingRow(u"D:\\real\\item\\a.jpg");
  EXPECT_EQ(ToUtf8(Detect(text)), "D:\\real\\item");
}

TEST_F(DetectionTest, LongerAttributeNameStillCounts) {
  EXPECT_EQ(ToUtf8(Detect(u"<img datasrc=\"\"D:\\data\\item\\a.jpg\"\">")), "D:\\data\\item");
}

TEST_F(DetectionTest, UnterminatedPathReferenceAtTheEndFallsBackToTheUrlForm) {
  const std::u16string text =
      kHeader + ListingRow(u"file:///D:/url/item/a.jpg") + u"<img src=\"\"D:\\x";
  EXPECT_EQ(ToUtf8(Detect(text)), "D:\\url\\item");
}

// Inputs built to make a search run long. Only the results are checked here;
// the time they take is measured by the benchmarks.

TEST_F(DetectionTest, ManyStartsAreClosedByTheNextStartsQuotes) {
  std::u16string text;
  for (int i = 0; i < 200000; ++i) text += u"src=\"\"D:\\p\\";
  // The first start's capture ends at the quotation marks of the second.
  EXPECT_EQ(ToUtf8(Detect(text)), "D:\\p");
}

TEST_F(DetectionTest, LongTailAfterAnUnterminatedStartFallsBackToTheUrlForm) {
  std::u16string text = kHeader + ListingRow(u"file:///D:/url/item/a.jpg") + u"<img src=\"\"D:\\x";
  // Near misses without a quotation mark keep the search busy to the end.
  for (int i = 0; i < 200000; ++i) text += u" src=D:\\y src=";
  const std::u16string found = Detect(text, u"1");
  EXPECT_EQ(ToUtf8(found), "D:\\url");
}

TEST_F(DetectionTest, ManyNearMissesBeforeTheOnlyReference) {
  std::u16string text = kHeader;
  for (int i = 0; i < 200000; ++i) text += u"src=\"\"D:/x\"\" src=\"\"file://D:/y\"\" ";
  text += ListingRow(u"file:///D:/%E5%9B%BE/item/a.jpg");
  EXPECT_EQ(ToUtf8(Detect(text, u"0")), "D:\\图\\item");
}

}  // namespace
}  // namespace picrelink
