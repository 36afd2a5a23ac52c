#include "core/path_helpers.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"

namespace picrelink {
namespace {

using platform::kLocalSeparator;

// Joins parts with the local separator, for the behaviour that follows it.
std::u16string Local(std::initializer_list<std::u16string_view> parts) {
  std::u16string text;
  for (std::u16string_view part : parts) {
    if (!text.empty() || part.empty()) text += kLocalSeparator;
    text += part;
  }
  return text;
}

struct Case {
  std::u16string input;
  std::u16string expected;
};

TEST(AppendSeparator, AddsTheSeparatorOnlyWhenMissing) {
  const std::u16string sep(1, kLocalSeparator);
  EXPECT_EQ(AppendSeparator(Local({u"home", u"pics"}), sep), Local({u"home", u"pics", u""}));
  EXPECT_EQ(AppendSeparator(Local({u"home", u"pics", u""}), sep), Local({u"home", u"pics", u""}));
  EXPECT_EQ(AppendSeparator(u"", sep), u"");
  EXPECT_EQ(AppendSeparator(sep, sep), sep);
}

TEST(AppendSeparator, TestsForTheLocalSeparatorWhateverIsAppended) {
  EXPECT_EQ(AppendSeparator(Local({u"pics", u""}), u"#"), Local({u"pics", u""}));
  EXPECT_EQ(AppendSeparator(u"pics", u"#"), u"pics#");
  EXPECT_EQ(AppendSeparator(u"", u"#"), u"");
#ifndef _WIN32
  // On POSIX a Windows folder text does not end in the local separator.
  EXPECT_EQ(AppendSeparator(u"D:\\pics\\", u"/"), u"D:\\pics\\/");
#endif
}

TEST(TrimTrailingChar, RemovesOneMatchingCharacterOnly) {
  EXPECT_EQ(TrimTrailingChar(u"D:\\pics\\\\", u'\\'), u"D:\\pics\\");
  EXPECT_EQ(TrimTrailingChar(u"D:\\pics\\", u'\\'), u"D:\\pics");
  EXPECT_EQ(TrimTrailingChar(u"D:/pics/", u'\\'), u"D:/pics/");
  EXPECT_EQ(TrimTrailingChar(u"D:/pics/", u'/'), u"D:/pics");
  EXPECT_EQ(TrimTrailingChar(u"\\", u'\\'), u"");
  EXPECT_EQ(TrimTrailingChar(u"", u'\\'), u"");
}

class LastPathPartTable : public ::testing::TestWithParam<Case> {};

TEST_P(LastPathPartTable, TakesTheLastComponent) {
  EXPECT_EQ(LastPathPart(GetParam().input), GetParam().expected);
}

// Windows folder texts: the same result on every system.
INSTANTIATE_TEST_SUITE_P(
    WindowsForm, LastPathPartTable,
    ::testing::Values(Case{u"D:\\pics\\item\\", u"item"}, Case{u"D:\\pics\\item", u"item"},
                      Case{u"D:\\", u""}, Case{u"D:", u""}, Case{u"D:item", u"item"},
                      Case{u"item", u"item"}, Case{u"", u""},
                      // Only one trailing separator goes.
                      Case{u"D:\\pics\\item\\\\", u""},
                      Case{u"D:\\\u56FE\u7247 \u00E9\\", u"\u56FE\u7247 \u00E9"}));

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(LocalForm, LastPathPartTable,
                         ::testing::Values(Case{u"a/b", u"a/b"}, Case{u"D:\\a/b\\", u"a/b"}));
#else
INSTANTIATE_TEST_SUITE_P(LocalForm, LastPathPartTable,
                         ::testing::Values(Case{u"/home/u/pics/", u"pics"},
                                           Case{u"/home/u/pics", u"pics"}, Case{u"/", u""},
                                           Case{u"/home/u/pics//", u""}, Case{u"a/b\\c", u"c"},
                                           Case{u"a\\b/c/", u"c"}));
#endif

class StripExtensionTable : public ::testing::TestWithParam<Case> {};

TEST_P(StripExtensionTable, CutsAtTheLastDot) {
  EXPECT_EQ(StripExtension(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, StripExtensionTable,
                         ::testing::Values(Case{u"D:\\data\\goods.csv", u"D:\\data\\goods"},
                                           // A dot in a folder name only: cut there.
                                           Case{u"D:\\shop.2\\goods", u"D:\\shop"},
                                           Case{u"D:\\a.b.csv", u"D:\\a.b"},
                                           Case{u"/home/u/goods.csv", u"/home/u/goods"},
                                           Case{u"goods", u"goods"}, Case{u".csv", u""},
                                           Case{u"", u""}));

class UrlParentDirTable : public ::testing::TestWithParam<Case> {};

TEST_P(UrlParentDirTable, TakesTheParentFolder) {
  EXPECT_EQ(UrlParentDir(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, UrlParentDirTable,
    ::testing::Values(Case{u"file:///D:/pics/item/a.jpg", u"file:///D:/pics/item"},
                      Case{u"file:///D:/pics/item/", u"file:///D:/pics/item"},
                      // The "/" after a drive, and the one of "///", stay.
                      Case{u"file:///D:/a.jpg", u"file:///D:/"},
                      Case{u"file:///D:/", u"file:///D:/"}, Case{u"file:///a.jpg", u"file:///"},
                      Case{u"a.jpg", u""}, Case{u"", u""}, Case{u"D:a.jpg", u"D:"},
                      Case{u"/a.jpg", u"/"}, Case{u"a/b.jpg", u"a"},
                      // A "\" is no separator in a URL.
                      Case{u"file:///D:/a\\b.jpg", u"file:///D:/"}));

TEST(EncodeSpaces, EncodesTheSpaceOnly) {
  EXPECT_EQ(EncodeSpaces(u"a b  c "), u"a%20b%20%20c%20");
  EXPECT_EQ(EncodeSpaces(u"a\tb\u00A0c\u3000d%20"), u"a\tb\u00A0c\u3000d%20");
  EXPECT_EQ(EncodeSpaces(u""), u"");
}

class PathToFileUrlTable : public ::testing::TestWithParam<Case> {};

TEST_P(PathToFileUrlTable, BuildsTheFileUrl) {
  EXPECT_EQ(PathToFileUrl(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PathToFileUrlTable,
    ::testing::Values(Case{u"D:\\my pics\\\u56FE", u"file:///D:/my%20pics/\u56FE"},
                      Case{u"", u"file:///"}, Case{u"D:\\", u"file:///D:/"},
                      // Nothing but the space is encoded.
                      Case{u"D:\\a#b\\100%\\\u00E9'x", u"file:///D:/a#b/100%/\u00E9'x"},
                      Case{u"D:/a\\b", u"file:///D:/a/b"}));

class FileUrlToPathTable : public ::testing::TestWithParam<Case> {};

TEST_P(FileUrlToPathTable, BuildsTheWindowsPath) {
  EXPECT_EQ(FileUrlToPath(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FileUrlToPathTable,
    ::testing::Values(Case{u"file:///D:/my%20pics/%E5%9B%BE", u"D:\\my pics\\\u56FE"},
                      Case{u"file:///D:/", u"D:\\"},
                      // A reserved escape stays as written.
                      Case{u"file:///D:/a%2Fb", u"D:\\a%2Fb"},
                      // The removal of "file:///" is exact and takes every one.
                      Case{u"FILE:///D:/a", u"FILE:\\\\\\D:\\a"},
                      Case{u"file:///D:/x/file:///y", u"D:\\x\\y"},
                      // Decoding comes first.
                      Case{u"%66ile:///D:/a", u"D:\\a"}, Case{u"file:///D:/Tom's/", u"D:\\Tom's\\"},
                      Case{u"file:///D:/a\\b'\n\"c", u"D:\\a\\b'\n\"c"}, Case{u"", u""}));

TEST(FileUrlToPath, RaisesForAMalformedEscape) {
  EXPECT_THROW(FileUrlToPath(u"file:///D:/100%"), Error);
  EXPECT_THROW(FileUrlToPath(u"file:///D:/%E5%9B"), Error);
}

// Path to URL and back gives the path again unless it holds "%".
TEST(FileUrlToPath, InvertsPathToFileUrl) {
  for (const std::u16string path :
       {u"D:\\my pics\\\u56FE\u7247", u"D:\\a#b;c\\", u"E:\\  x  \\y.jpg"}) {
    EXPECT_EQ(FileUrlToPath(PathToFileUrl(path)), path);
  }
}

// One trailing separator goes; on POSIX systems a folder value may end in
// either kind.
TEST(TrimFolderSeparator, RemovesOneTrailingSeparatorOfEitherKindWhereBothCount) {
  const struct {
    std::u16string folder, trimmed;
  } cases[] = {
      {u"D:\\shop\\", u"D:\\shop"}, {u"D:\\shop\\\\", u"D:\\shop\\"},
      {u"D:\\shop", u"D:\\shop"},   {u"", u""},
#ifdef _WIN32
      {u"D:\\shop/", u"D:\\shop/"},
#else
      {u"/srv/pics/", u"/srv/pics"},
      {u"/srv/pics\\", u"/srv/pics"},
      {u"/", u""},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(TrimFolderSeparator(c.folder)), ToUtf8(c.trimmed)) << ToUtf8(c.folder);
  }
}

TEST(JoinFolder, PutsOneLocalSeparatorBetween) {
  const std::u16string sep(1, platform::kLocalSeparator);
  EXPECT_EQ(JoinFolder(u"a", u"b"), u"a" + sep + u"b");
  EXPECT_EQ(JoinFolder(u"a" + sep, u"b"), u"a" + sep + u"b");
  EXPECT_EQ(JoinFolder(u"", u"b"), u"b");
  EXPECT_EQ(JoinFolder(u"D:\\", u"图片"), u"D:\\图片");
}

}  // namespace
}  // namespace picrelink
