// Reading a CSV's text from a given code unit on, as the census's second
// part reads it: the mark stays behind, an odd last byte is no unit, and a
// unit at or past the end leaves nothing to read.
#include "core/utf16_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_files.h"

namespace picrelink {
namespace {

TEST(Utf16FileReader, SkipToReadsFromThatUnitOn) {
  test::TempDir dir;
  const std::u16string text = u"src=\"\"D:\\店\\a.jpg";
  test::WriteBytes(dir.path() / "a.csv", test::Utf16FileBytes(text) + "x");  // an odd last byte
  for (size_t unit = 0; unit <= text.size() + 2; ++unit) {
    SCOPED_TRACE(unit);
    Utf16FileReader reader(dir.File("a.csv"));
    // Read to its end before: the skip starts afresh.
    std::u16string rest(text.size() + 4, u'\0');
    ASSERT_EQ(reader.Read(rest.data(), rest.size()), text.size());
    reader.SkipTo(unit);
    size_t got = 0;
    for (size_t n = 0; (n = reader.Read(rest.data() + got, 2)) != 0;) got += n;
    rest.resize(got);
    EXPECT_EQ(rest, unit < text.size() ? text.substr(unit) : std::u16string());
  }
  // A file without the mark has no text, wherever it is read from.
  test::WriteBytes(dir.path() / "b.csv", "plain bytes");
  Utf16FileReader plain(dir.File("b.csv"));
  plain.SkipTo(2);
  char16_t unit;
  EXPECT_EQ(plain.Read(&unit, 1), 0u);
}

}  // namespace
}  // namespace picrelink
