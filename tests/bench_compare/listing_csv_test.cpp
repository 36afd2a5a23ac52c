#include "bench/tools/listing_csv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include "bench/listing_text.h"

namespace picrelink::bench {
namespace {

std::string FileBytes(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

struct PieceCase {
  uint64_t length;
  size_t pieceLength;
  uint32_t seed;
};

// Made a piece at a time, the file must hold exactly the text made at once:
// pieces far smaller than a record, about a record, and larger than the whole
// text; lengths inside the header, at record edges and past many pieces.
TEST(WriteListingCsvTest, WritesTheListingTextWhateverThePieceLength) {
  const PieceCase cases[] = {
      {0, 64, 1},     {5, 64, 1},       {27, 64, 1},      {1, 1, 1},           {4000, 1, 7},
      {50000, 97, 1}, {50000, 3000, 2}, {50000, 4096, 3}, {50000, 1 << 20, 1}, {300000, 65536, 42},
  };
  for (const PieceCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "length " << c.length << ", piece " << c.pieceLength << ", seed " << c.seed);
    std::ostringstream out;
    ASSERT_TRUE(WriteListingCsv(out, c.length, c.seed, c.pieceLength));
    const std::string expected = FileBytes(ListingText(static_cast<size_t>(c.length), c.seed));
    ASSERT_EQ(out.str().size(), expected.size());
    EXPECT_TRUE(out.str() == expected);
  }
}

TEST(WriteListingCsvTest, TheSeedChangesTheListing) {
  std::ostringstream one, two;
  ASSERT_TRUE(WriteListingCsv(one, 20000, 1, 1000));
  ASSERT_TRUE(WriteListingCsv(two, 20000, 2, 1000));
  EXPECT_NE(one.str(), two.str());
}

TEST(WriteListingCsvTest, ReportsAFailingStream) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  EXPECT_FALSE(WriteListingCsv(out, 1000, 1, 100));
}

// The text must hold what a relocation looks for, in both forms and in mixed
// case, or the whole-run comparison measures nothing.
TEST(ListingTextTest, HoldsTheOldFolderInPathAndUrlForm) {
  const std::u16string text = ListingText(200000);
  EXPECT_NE(text.find(kOldFolder), std::u16string::npos);
  std::u16string folded = text;
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  EXPECT_NE(folded.find(u"file:///d:/old/shop/item1/"), std::u16string::npos);
  EXPECT_NE(folded.find(u"d:\\old\\shop\\item2\\"), std::u16string::npos);
  EXPECT_NE(text.find(u"宝贝描述"), std::u16string::npos);
  EXPECT_EQ(text.compare(0, 4, u"\"宝贝名"), 0);
}

TEST(ParseFileSizeTest, TakesPositiveMegabytes) {
  const struct {
    const char* text;
    std::optional<uint64_t> bytes;
  } cases[] = {
      {"60", 60ull << 20},
      {"1024", 1024ull << 20},
      {"0.5", 1ull << 19},
      {"1e3", 1000ull << 20},
      {"0.000002", 2},              // 2.09 bytes: just the mark
      {"0.0000025", 2},             // 2.6 bytes: rounded down to whole characters
      {"0.0000015", std::nullopt},  // 1.5 bytes: no room for the mark
      {"0", std::nullopt},
      {"-5", std::nullopt},
      {"", std::nullopt},
      {"60MB", std::nullopt},
      {" 60", std::nullopt},
      {"nan", std::nullopt},
      {"inf", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseFileSize(c.text), c.bytes) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace picrelink::bench
