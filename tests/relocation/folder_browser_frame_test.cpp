// The folder browser's rules that every front end shares: how the current-
// folder box shortens a path, and where the parts lie as the window is
// resized.
#include "relocation/session/folder_browser_frame.h"

#include <gtest/gtest.h>

#include <string>

#include "core/utf.h"
#include "relocation/session/path_elision.h"

namespace picrelink {
namespace {

TEST(PathElisionTest, DropsLeadingFoldersOneAtATime) {
  // Every character is 1 wide.
  const auto measure = [](std::u16string_view text) { return static_cast<int>(text.size()); };
  const std::u16string path = u"D:\\pics\\shop\\item";
  const struct {
    int width;
    const char* shown;
  } cases[] = {
      {100, "D:\\pics\\shop\\item"},
      {17, "D:\\pics\\shop\\item"},
      {16, "D:\\...\\shop\\item"},
      {15, "D:\\...\\item"},
      {10, "...\\item"},
      {7, "item"},
      {1, "item"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(ElideLeadingFolders(path, u'\\', c.width, measure)), c.shown) << c.width;
  }
  EXPECT_EQ(ToUtf8(ElideLeadingFolders(u"/home/user/shop/item", u'/', 15, measure)),
            "/.../shop/item");
  // A root has nothing to drop; the empty path stays empty.
  EXPECT_EQ(ToUtf8(ElideLeadingFolders(u"/", u'/', 0, measure)), "/");
  EXPECT_EQ(ToUtf8(ElideLeadingFolders(u"D:\\", u'\\', 1, measure)), "D:\\");
  EXPECT_EQ(ToUtf8(ElideLeadingFolders(u"", u'\\', 0, measure)), "");
}

TEST(FolderBrowserFrameTest, PartsLieAsDesignedAndFollowTheWindowsSize) {
  using namespace folder_browser;
  const Places opening = PlaceParts(kClientWidth, kClientHeight);
  EXPECT_EQ(opening.label.left, 12);
  EXPECT_EQ(opening.label.top, 8);
  EXPECT_EQ(opening.box.left, 12);
  EXPECT_EQ(opening.box.top, 24);
  EXPECT_EQ(opening.box.width, 284);
  EXPECT_EQ(opening.tree.left, 12);
  EXPECT_EQ(opening.tree.top, 56);
  EXPECT_EQ(opening.tree.width, 284);
  EXPECT_EQ(opening.tree.height, 261);
  EXPECT_EQ(opening.ok.left, 139);
  EXPECT_EQ(opening.ok.top, 323);
  EXPECT_EQ(opening.cancel.left, 219);
  EXPECT_EQ(opening.cancel.top, 323);
  EXPECT_EQ(opening.ok.width, 75);
  EXPECT_EQ(opening.cancel.height, 25);

  // 100 wider and 50 higher: the box and tree grow, the buttons move along.
  const Places wider = PlaceParts(kClientWidth + 100, kClientHeight + 50);
  EXPECT_EQ(wider.box.width, 384);
  EXPECT_EQ(wider.tree.width, 384);
  EXPECT_EQ(wider.tree.height, 311);
  EXPECT_EQ(wider.tree.top, 56);
  EXPECT_EQ(wider.ok.left, 239);
  EXPECT_EQ(wider.ok.top, 373);
  EXPECT_EQ(wider.cancel.left, 319);

  // Far too small: nothing gets a negative size.
  const Places tiny = PlaceParts(10, 10);
  EXPECT_EQ(tiny.box.width, 0);
  EXPECT_EQ(tiny.tree.height, 0);
}

}  // namespace
}  // namespace picrelink
