// Names as a browser reads them from the HTML, and the local-looking values
// that no run rewrites here.
#include "relocation/references/html_references.h"

#include <gtest/gtest.h>

#include "core/utf.h"
#include "relocation/references/reference_spelling.h"

namespace picrelink {
namespace {

TEST(HtmlReferencesTest, DecodesCompleteReferencesAndKeepsEverythingElse) {
  struct Case {
    std::u16string text, decoded;
  } const cases[] = {
      {u"a&amp;b.jpg", u"a&b.jpg"},
      {u"a&#38;b&#x26;c&#X26;d.jpg", u"a&b&c&d.jpg"},
      {u"caf&eacute;&nbsp;&yuml;&lt;&quot;", u"café\u00A0ÿ<\""},
      {u"&#x1F600;", u"\U0001F600"},
      // Kept: no ";", an unknown name, no character, a name in another case.
      {u"a&amp b.jpg", u"a&amp b.jpg"},
      {u"&bogus;&#xD800;&#0;&AMP;", u"&bogus;&#xD800;&#0;&AMP;"},
      {u"&&amp;;", u"&&;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(DecodeHtmlReferences(c.text)), ToUtf8(c.decoded)) << ToUtf8(c.text);
  }
}

TEST(UnrewritableHeadTest, LocalLookingValuesNoRunRewritesHere) {
  struct Case {
    std::u16string head;
    bool unrewritable;
  } const cases[] = {
      {u"\\\\server\\share\\a.jpg", true},   {u"file://server/share/a.jpg", true},
      {u"FILE://Server/a.jpg", true},        {u"D:/shop/a.jpg", true},
      {u"D:\\shop\\a.jpg", false},           {u"file:///D:/shop/a.jpg", false},
      {u"file://localhost/D:/a.jpg", false}, {u"http://example.com/a.jpg", false},
      {u"//cdn.example.com/a.jpg", false},   {u"\\\\\\a.jpg", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsUnrewritableHead(c.head), c.unrewritable) << ToUtf8(c.head);
}

}  // namespace
}  // namespace picrelink
