#include "ui/folder_browser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileSystemModel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

#include "tests/support/test_files.h"

namespace picrelink::ui::test {
namespace {

using picrelink::test::TempDir;

// Browsers over a small folder tree in a private temporary folder.
class FolderBrowserTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "pics" / "item");
    std::filesystem::create_directories(dir.path() / ".hidden");
  }

  QString Native(const std::filesystem::path& path) const {
    return QDir::toNativeSeparators(QString::fromStdString(path.string()));
  }

  static bool Expanded(const FolderBrowser& browser, const QString& path) {
    auto* model = static_cast<QFileSystemModel*>(browser.Tree()->model());
    return browser.Tree()->isExpanded(model->index(path));
  }

  TempDir dir;
};

TEST_F(FolderBrowserTest, ExistingFolderIsSelectedAndOpenedDownTo) {
  const QString item = Native(dir.path() / "pics" / "item");
  FolderBrowser browser(item + QDir::separator());  // as btn3 holds it
  EXPECT_EQ(browser.SelectedPath(), item);
  EXPECT_TRUE(Expanded(browser, Native(dir.path() / "pics")));
  EXPECT_TRUE(Expanded(browser, Native(dir.path())));
  EXPECT_EQ(browser.FolderBox()->Path(), item);
}

TEST_F(FolderBrowserTest, PreselectedFolderIsScrolledIntoView) {
  // Enough folders before it to push it below the tree's lower edge.
  for (int i = 0; i < 40; ++i) {
    std::filesystem::create_directory(dir.path() / ("a" + std::to_string(100 + i)));
  }
  std::filesystem::create_directory(dir.path() / "zz");
  const QString target = Native(dir.path() / "zz");
  FolderBrowser browser(target);
  browser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
  auto* model = static_cast<QFileSystemModel*>(browser.Tree()->model());
  const auto inView = [&] {
    const QRect row = browser.Tree()->visualRect(model->index(target));
    return browser.Tree()->viewport()->rect().contains(row);
  };
  // The folder's siblings arrive from the model's thread and are sorted
  // before it, moving it down after it was first shown.
  const QModelIndex folder = model->index(Native(dir.path()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 42; }, 10000));
  QTest::qWait(300);
  EXPECT_TRUE(QTest::qWaitFor(inView, 2000));
  EXPECT_EQ(browser.SelectedPath(), target);
}

TEST_F(FolderBrowserTest, EmptyTextSelectsTheTopOfTheTree) {
  FolderBrowser browser{QString()};
  EXPECT_EQ(browser.SelectedPath(), QDir::toNativeSeparators(QDir::rootPath()));
}

TEST_F(FolderBrowserTest, AnythingElseSelectsNothingAndGivesTheEmptyPath) {
  const QString cases[] = {Native(dir.path() / "absent"), QStringLiteral("D:\\old\\pics"),
                           Native(dir.path() / "pics" / "file.txt")};
  picrelink::test::WriteBytes(dir.path() / "pics" / "file.txt", "x");
  for (const QString& initial : cases) {
    FolderBrowser browser(initial);
    EXPECT_EQ(browser.SelectedPath(), QString()) << initial.toStdString();
    EXPECT_EQ(browser.FolderBox()->text(), QString());
  }
}

TEST_F(FolderBrowserTest, OkGivesTheSelectedFolderWithoutTrailingSeparatorExceptAtTheRoot) {
  FolderBrowser browser(Native(dir.path() / "pics" / "item"));
  browser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
  auto* model = static_cast<QFileSystemModel*>(browser.Tree()->model());

  browser.Tree()->setCurrentIndex(model->index(Native(dir.path() / "pics")));
  EXPECT_EQ(browser.SelectedPath(), Native(dir.path() / "pics"));
  browser.Tree()->setCurrentIndex(model->index(QDir::rootPath()));
  EXPECT_EQ(browser.SelectedPath(), QStringLiteral("/"));
  browser.Tree()->clearSelection();
  EXPECT_EQ(browser.SelectedPath(), QString());

  QTest::mouseClick(browser.OkButton(), Qt::LeftButton);
  EXPECT_EQ(browser.result(), QDialog::Accepted);
}

TEST_F(FolderBrowserTest, CancelRejects) {
  FolderBrowser browser(Native(dir.path()));
  browser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
  QTest::mouseClick(browser.CancelButton(), Qt::LeftButton);
  EXPECT_EQ(browser.result(), QDialog::Rejected);
  EXPECT_FALSE(browser.isVisible());
}

TEST_F(FolderBrowserTest, TreeListsFoldersOnlyAndNoHiddenOnes) {
  picrelink::test::WriteBytes(dir.path() / "notes.txt", "x");
  FolderBrowser browser(Native(dir.path()));
  auto* model = static_cast<QFileSystemModel*>(browser.Tree()->model());
  const QModelIndex folder = model->index(Native(dir.path()));
  browser.Tree()->expand(folder);
  // Entries arrive from the model's own thread.
  EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 1; }));
  EXPECT_EQ(model->rowCount(folder), 1);
  EXPECT_EQ(model->fileName(model->index(0, 0, folder)), QStringLiteral("pics"));
}

TEST_F(FolderBrowserTest, TreeFollowsFoldersCreatedOnDisk) {
  FolderBrowser browser(Native(dir.path()));
  auto* model = static_cast<QFileSystemModel*>(browser.Tree()->model());
  const QModelIndex folder = model->index(Native(dir.path()));
  browser.Tree()->expand(folder);
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 1; }));
  std::filesystem::create_directory(dir.path() / "new");
  EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 2; }, 10000));
}

TEST_F(FolderBrowserTest, ResizingWidensTheTreeAndKeepsTheButtonsAtTheBottomRight) {
  FolderBrowser browser(Native(dir.path()));
  browser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
  EXPECT_EQ(browser.size(), QSize(308, 358));
  EXPECT_EQ(browser.Tree()->geometry(), QRect(12, 56, 284, 261));
  EXPECT_EQ(browser.OkButton()->geometry(), QRect(139, 323, 75, 25));
  EXPECT_EQ(browser.CancelButton()->geometry(), QRect(219, 323, 75, 25));
  EXPECT_EQ(browser.FolderBox()->geometry().topLeft(), QPoint(12, 24));
  EXPECT_EQ(browser.FolderBox()->width(), 284);
  EXPECT_TRUE(browser.OkButton()->isDefault());
  EXPECT_EQ(browser.windowTitle(), QStringLiteral("Browse for Folder"));
  EXPECT_TRUE(browser.Tree()->hasFocus());

  browser.resize(500, 450);
  EXPECT_EQ(browser.Tree()->geometry(), QRect(12, 56, 476, 353));
  EXPECT_EQ(browser.FolderBox()->width(), 476);
  EXPECT_EQ(browser.OkButton()->geometry(), QRect(331, 415, 75, 25));
  EXPECT_EQ(browser.CancelButton()->geometry(), QRect(411, 415, 75, 25));

  browser.resize(100, 100);
  // Outer size, frame included.
  EXPECT_GE(browser.frameGeometry().width(), 250);
  EXPECT_GE(browser.frameGeometry().height(), 300);
}

TEST_F(FolderBrowserTest, CurrentFolderBoxDropsLeadingFoldersWhenNarrow) {
  const QString item = Native(dir.path() / "pics" / "item");
  FolderBrowser browser(item);
  browser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
  browser.resize(1000, 400);
  EXPECT_EQ(browser.FolderBox()->text(), item);

  browser.resize(250, 300);
  EXPECT_NE(browser.FolderBox()->text(), item);
  const QString shown = browser.FolderBox()->text();
  EXPECT_TRUE(shown.endsWith(QStringLiteral("item"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("...")) || shown == QStringLiteral("item"));
  EXPECT_EQ(browser.FolderBox()->Path(), item);
}

TEST_F(FolderBrowserTest, RightClickSelectsTheEntryAndOffersItsActions) {
  FolderBrowser browser(Native(dir.path() / "pics" / "item"));
  browser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
  auto* model = static_cast<QFileSystemModel*>(browser.Tree()->model());
  const QModelIndex pics = model->index(Native(dir.path() / "pics"));
  browser.Tree()->scrollTo(pics);
  const QPoint at = browser.Tree()->visualRect(pics).center();

  QStringList offered;
  QTimer::singleShot(200, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* action : menu->actions()) offered << action->text();
      // Copy the path, which also closes the menu.
      menu->actions().last()->trigger();
      menu->close();
    }
  });
  // The event that a right click brings, as the window system sends it.
  QContextMenuEvent event(QContextMenuEvent::Mouse, at,
                          browser.Tree()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(browser.Tree()->viewport(), &event);

  EXPECT_EQ(browser.SelectedPath(), Native(dir.path() / "pics"));
  EXPECT_EQ(offered, QStringList({QStringLiteral("Open"), QStringLiteral("Copy Path")}));
  EXPECT_EQ(QApplication::clipboard()->text(), Native(dir.path() / "pics"));
}

}  // namespace
}  // namespace picrelink::ui::test
