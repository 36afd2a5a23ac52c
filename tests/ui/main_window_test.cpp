#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <filesystem>

#include "core/error.h"
#include "relocation/run/adjustment_run.h"
#include "tests/support/test_files.h"
#include "tests/ui/fake_dialogs.h"
#include "tests/ui/qt_text.h"
#include "ui/level_edit.h"
#include "ui/path_edit.h"
#include "ui/unit1.h"

namespace picrelink::ui::test {
namespace {

using picrelink::test::TempDir;

// A listing whose description names D:\old\pics\item\a.jpg.
std::u16string CsvNaming(std::u16string_view picture) {
  return u"标题,宝贝描述\r\n\"商品\",\"<img src=\"\"" + std::u16string(picture) + u"\"\">\"\r\n";
}
const std::u16string kOldPicture = u"D:\\old\\pics\\item\\a.jpg";

void WriteCsv(const std::filesystem::path& file, std::u16string_view text) {
  picrelink::test::WriteBytes(file, picrelink::test::Utf16FileBytes(text));
}

class MainWindowTest : public testing::Test {
 protected:
  std::unique_ptr<TForm1> MakeForm() {
    auto form = std::make_unique<TForm1>(dialogs, [this] { return dir.Folder(); });
    dialogs.startButton = form->cxButton30;
    return form;
  }

  // Shown and active, so that focus and keys behave as on a desktop.
  std::unique_ptr<TForm1> ShowForm() {
    auto form = MakeForm();
    form->show();
    QApplication::setActiveWindow(form.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
  }

  std::filesystem::path CsvPath() const { return dir.path() / "goods.csv"; }

  // The picture that kOldPicture names, where start-up proposes it.
  void WritePicture() {
    std::filesystem::create_directories(dir.path() / "pics" / "item");
    picrelink::test::WriteBytes(dir.path() / "pics" / "item" / "a.jpg", "jpg");
  }

  // Clicks the start button and waits until the command is over.
  static void Start(TForm1& form) {
    QTest::mouseClick(form.cxButton30, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Starting(); }, 30000));
  }

  TempDir dir;
  FakeDialogs dialogs;
};

TEST_F(MainWindowTest, StartUpBesideACsvFillsThePathEdits) {
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  auto form = MakeForm();

  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(form->btn1->text(), Q(dir.File("goods.csv")));
  // The level starts at 1: the folder named is one above the pictures' own.
  EXPECT_EQ(form->btn2->text(), QStringLiteral("D:\\old\\pics"));
  EXPECT_EQ(form->btn3->text(), Q(dir.Folder()) + QStringLiteral("pics"));
  EXPECT_EQ(form->edtnum->text(), QStringLiteral("1"));
  EXPECT_FALSE(form->CheckBox1->isChecked());
}

TEST_F(MainWindowTest, StartUpWithoutCsvLeavesOnlyTheProgramFolder) {
  auto form = MakeForm();

  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(form->btn1->text(), QString());
  EXPECT_EQ(form->btn2->text(), QString());
  EXPECT_EQ(form->btn3->text(), Q(dir.Folder()));
}

TEST_F(MainWindowTest, StartUpErrorIsShownBeforeTheWindowThenTheWindowOpens) {
  // A CSV that is found but cannot be opened.
  std::filesystem::create_symlink(dir.path() / "missing", CsvPath());
  auto form = MakeForm();

  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_TRUE(dialogs.errors[0].text.startsWith(QStringLiteral("Cannot open file")))
      << dialogs.errors[0].text.toStdString();
  EXPECT_FALSE(dialogs.errors[0].windowVisible);
  EXPECT_EQ(form->btn1->text(), Q(dir.File("goods.csv")));
  EXPECT_EQ(form->btn2->text(), QString());
  EXPECT_EQ(form->btn3->text(), Q(dir.Folder()));

  form->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
}

TEST_F(MainWindowTest, ProgramFolderErrorIsAStartUpError) {
  TForm1 form(dialogs, []() -> std::u16string { throw picrelink::Error("no program folder"); });
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors[0].text, QStringLiteral("no program folder"));
  EXPECT_EQ(form.btn1->text(), QString());
  EXPECT_EQ(form.btn3->text(), QString());
}

TEST_F(MainWindowTest, StartButtonIsGreyedWhileTheSuccessMessageIsShown) {
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  WritePicture();
  auto form = ShowForm();
  const QString actual = form->btn3->text();

  Start(*form);

  // Every picture is there: nothing to ask.
  EXPECT_TRUE(dialogs.questions.empty());
  ASSERT_EQ(dialogs.informations.size(), 1u);
  EXPECT_TRUE(dialogs.informations[0].text.startsWith(Q(kSuccessMessage) + u'\n'))
      << dialogs.informations[0].text.toStdString();
  EXPECT_EQ(dialogs.informations[0].caption, Q(kWindowCaption));
  EXPECT_EQ(dialogs.informations[0].startButtonEnabled, false);
  EXPECT_TRUE(form->cxButton30->isEnabled());
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(picrelink::test::ReadBytes(CsvPath()),
            picrelink::test::Utf16FileBytes(CsvNaming(actual.toStdU16String() + u"\\item\\a.jpg")));
}

TEST_F(MainWindowTest, RunErrorIsShownWithTheStartButtonAvailableAgain) {
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  WritePicture();
  auto form = ShowForm();
  form->btn2->clear();  // nothing to replace

  Start(*form);

  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors[0].startButtonEnabled, true);
  EXPECT_TRUE(dialogs.informations.empty());
  EXPECT_TRUE(form->cxButton30->isEnabled());
  EXPECT_EQ(picrelink::test::ReadBytes(CsvPath()),
            picrelink::test::Utf16FileBytes(CsvNaming(kOldPicture)));
  // The window goes on: a second run works once the value is mended.
  form->btn2->setText(QStringLiteral("D:\\old\\pics"));
  Start(*form);
  EXPECT_EQ(dialogs.informations.size(), 1u);
}

TEST_F(MainWindowTest, CancelledCsvDialogChangesNothing) {
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  auto form = ShowForm();
  const QString longName(300, u'a');
  form->btn1->setText(longName);
  const QString btn2 = form->btn2->text();
  const QString btn3 = form->btn3->text();

  QTest::mouseClick(form->btn1->BrowseButton(), Qt::LeftButton);

  ASSERT_EQ(dialogs.csvAsked.size(), 1u);
  EXPECT_EQ(dialogs.csvAsked[0], longName.left(260));
  EXPECT_EQ(form->btn1->text(), longName);
  EXPECT_EQ(form->btn2->text(), btn2);
  EXPECT_EQ(form->btn3->text(), btn3);
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(MainWindowTest, ConfirmedCsvDialogSetsTheCsvAndDetectsAgain) {
  auto form = ShowForm();
  TempDir other;
  WriteCsv(other.path() / "other.csv", CsvNaming(u"E:\\shop\\photos\\b.jpg"));
  dialogs.csvAnswer = Q(other.File("other.csv"));

  form->btn1->setFocus();
  QTest::keyClick(form->btn1, Qt::Key_Return, Qt::ControlModifier);

  ASSERT_EQ(dialogs.csvAsked.size(), 1u);
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(form->btn1->text(), Q(other.File("other.csv")));
  EXPECT_EQ(form->btn2->text(), QStringLiteral("E:\\shop"));
  EXPECT_EQ(form->btn3->text(), Q(dir.Folder()) + QStringLiteral("shop"));
}

TEST_F(MainWindowTest, DetectionErrorAfterCsvDialogKeepsTheChosenPath) {
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  auto form = ShowForm();
  const QString btn2 = form->btn2->text();
  const QString btn3 = form->btn3->text();
  dialogs.csvAnswer = Q(dir.File("typed-but-absent.csv"));

  QTest::mouseClick(form->btn1->BrowseButton(), Qt::LeftButton);

  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_TRUE(dialogs.errors[0].text.startsWith(QStringLiteral("Cannot open file")));
  EXPECT_EQ(form->btn1->text(), *dialogs.csvAnswer);
  EXPECT_EQ(form->btn2->text(), btn2);
  EXPECT_EQ(form->btn3->text(), btn3);
}

TEST_F(MainWindowTest, FolderBrowserFillsOnlyTheEditWhoseButtonWasPressed) {
  struct Case {
    const char* name;
    PathEdit* TForm1::*edit;
    PathEdit* TForm1::*other;
    std::optional<QString> answer;
  };
  const Case cases[] = {
      {"btn2 confirmed", &TForm1::btn2, &TForm1::btn3, QStringLiteral("/srv/pictures")},
      {"btn3 confirmed", &TForm1::btn3, &TForm1::btn2, QStringLiteral("/srv/pictures")},
      {"btn3 confirmed empty", &TForm1::btn3, &TForm1::btn2, QString()},
      {"btn2 cancelled", &TForm1::btn2, &TForm1::btn3, std::nullopt},
      {"btn3 cancelled", &TForm1::btn3, &TForm1::btn2, std::nullopt},
  };
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDialogs fresh;
    dialogs = fresh;
    auto form = ShowForm();
    PathEdit* edit = (*form).*c.edit;
    PathEdit* other = (*form).*c.other;
    const QString before = edit->text();
    const QString otherBefore = other->text();
    const QString btn1 = form->btn1->text();
    dialogs.folderAnswer = c.answer;

    QTest::mouseClick(edit->BrowseButton(), Qt::LeftButton);

    ASSERT_EQ(dialogs.folderAsked.size(), 1u);
    EXPECT_EQ(dialogs.folderAsked[0], before);
    EXPECT_EQ(edit->text(), c.answer.value_or(before));
    EXPECT_EQ(other->text(), otherBefore);
    EXPECT_EQ(form->btn1->text(), btn1);
    EXPECT_TRUE(dialogs.errors.empty());
  }
}

TEST_F(MainWindowTest, LevelThatIsNotAnIntegerFailsTheNextDetection) {
  struct Case {
    const char* typed;
    const char* shown;  // after leaving the control
    const char* quoted;
  };
  const Case cases[] = {{"0.50", "0.5", "'0.5' is not a valid integer value"},
                        {"", "", "'' is not a valid integer value"}};
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    dialogs.errors.clear();
    auto form = ShowForm();
    const QString btn2 = form->btn2->text();
    const QString btn3 = form->btn3->text();

    form->edtnum->setFocus();
    QTest::keyClick(form->edtnum, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->edtnum, Qt::Key_Backspace);
    QTest::keyClicks(form->edtnum, QString::fromUtf8(c.typed));
    QTest::mouseClick(form->cxButton1, Qt::LeftButton);

    EXPECT_EQ(form->edtnum->text(), QString::fromUtf8(c.shown));
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0].text, QString::fromUtf8(c.quoted));
    EXPECT_EQ(form->btn2->text(), btn2);
    EXPECT_EQ(form->btn3->text(), btn3);
  }
}

TEST_F(MainWindowTest, LevelZeroDetectsThePicturesOwnFolder) {
  WriteCsv(CsvPath(), CsvNaming(kOldPicture));
  auto form = ShowForm();
  form->edtnum->setFocus();
  QTest::keyClick(form->edtnum, Qt::Key_Down);
  // Typing elsewhere starts nothing; the click does.
  form->btn1->setText(QStringLiteral("ignored until detection"));
  form->btn1->setText(Q(dir.File("goods.csv")));
  QTest::mouseClick(form->cxButton1, Qt::LeftButton);

  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(form->btn2->text(), QStringLiteral("D:\\old\\pics\\item"));
  EXPECT_EQ(form->btn3->text(), Q(dir.Folder()) + QStringLiteral("pics/item"));
}

TEST_F(MainWindowTest, FocusedPushButtonFiresOnEnterAndSpace) {
  auto form = ShowForm();
  form->btn1->setText(Q(dir.File("absent.csv")));  // re-detection then fails visibly
  form->cxButton1->setFocus();

  QTest::keyClick(form->cxButton1, Qt::Key_Return);
  EXPECT_EQ(dialogs.errors.size(), 1u);
  QTest::keyClick(form->cxButton1, Qt::Key_Space);
  EXPECT_EQ(dialogs.errors.size(), 2u);
}

TEST_F(MainWindowTest, WheelOverTheUnfocusedLevelEditChangesNothing) {
  auto form = ShowForm();
  ASSERT_EQ(QApplication::focusWidget(), form->btn2);
  const auto turn = [&](int delta) {
    // To the widget under the pointer, as the window system sends it; such a
    // wheel event may move the focus.
    const QPoint inWindow = form->edtnum->geometry().center();
    QWidget* under = form->childAt(inWindow);
    ASSERT_TRUE(under == form->edtnum || form->edtnum->isAncestorOf(under));
    const QPoint at = under->mapFrom(form.get(), inWindow);
    QWheelEvent event(at, under->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    // sendEvent would make it a synthesized event again, which goes to no
    // other widget and moves no focus.
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(under, &event);
  };

  turn(-120);
  EXPECT_EQ(form->edtnum->text(), QStringLiteral("1"));
  EXPECT_EQ(QApplication::focusWidget(), form->btn2);

  form->edtnum->setFocus();
  turn(-120);
  EXPECT_EQ(form->edtnum->text(), QStringLiteral("0"));
}

TEST_F(MainWindowTest, TabOrderRunsFromTheFolderNamedInTheCsvAndWraps) {
  auto form = ShowForm();
  ASSERT_EQ(QApplication::focusWidget(), form->btn2);

  const std::vector<QWidget*> forward = {form->btn3,   form->cxButton30, form->btn1,
                                         form->edtnum, form->CheckBox1,  form->cxButton1,
                                         form->btn2};
  for (QWidget* expected : forward) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), expected)
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                        : "none");
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), form->cxButton1);
}

TEST_F(MainWindowTest, ControlsSitWhereTheWindowDesignPutsThem) {
  auto form = ShowForm();
  EXPECT_EQ(form->windowTitle(), QStringLiteral("调整CSV文件宝贝描述图片位置"));
  // The outer size, whatever frame the platform adds.
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->frameGeometry().size() == QSize(800, 347); }));
  EXPECT_EQ(form->frameGeometry().size(), QSize(800, 347));
  EXPECT_EQ(form->font().pixelSize(), 15);
  EXPECT_EQ(form->cxLabel4->palette().color(QPalette::WindowText), QColor(0, 0, 255));

  struct Placed {
    QWidget* widget;
    QRect expected;  // width or height 0: follows the text or the font
    const char* text;
  };
  const Placed placed[] = {
      {form->cxLabel4,
       {11, 13, 0, 0},
       "温馨提示：程序打开会自动检测当前目录下第一个『CSV文件』和『该CSV中描述图片位置』，"
       "找不到时请手动选择！"},
      {form->cxLabel2, {32, 45, 0, 0}, "请选择CSV文件"},
      {form->btn1, {138, 44, 636, 0}, nullptr},
      {form->edtnum, {239, 84, 58, 23}, nullptr},
      {form->cxButton1, {322, 83, 109, 25}, "重新检测"},
      {form->cxLabel3, {3, 128, 0, 0}, "CSV中描述图片位置"},
      {form->btn2, {138, 126, 636, 0}, nullptr},
      {form->cxLabel30, {11, 171, 0, 0}, "当前描述图片位置"},
      {form->btn3, {138, 169, 636, 0}, nullptr},
      {form->CheckBox1, {24, 206, 321, 0}, "调整之前备份CSV文件"},
      {form->cxButton30, {20, 244, 109, 25}, "开始调整"},
      {form->cxLabel1,
       {139, 247, 0, 0},
       "该操作会将 CSV中描述图片位置 修改 为当前实际的位置，导入助理后可以正常显示描述图片"},
  };
  for (const Placed& p : placed) {
    SCOPED_TRACE(p.widget->metaObject()->className());
    const QRect actual = p.widget->geometry();
    EXPECT_EQ(actual.topLeft(), p.expected.topLeft());
    if (p.expected.width() != 0) {
      EXPECT_EQ(actual.width(), p.expected.width());
    }
    if (p.expected.height() != 0) {
      EXPECT_EQ(actual.height(), p.expected.height());
    }
    if (p.text) {
      const QString text = QString::fromUtf8(p.text);
      if (auto* label = qobject_cast<QLabel*>(p.widget)) {
        EXPECT_EQ(label->text(), text);
        // A label without a given size fits its text.
        if (p.expected.width() == 0) {
          EXPECT_GE(actual.width(), label->fontMetrics().horizontalAdvance(text));
        }
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
      } else if (auto* button = qobject_cast<QAbstractButton*>(p.widget)) {
        EXPECT_EQ(button->text(), text);
      }
    }
  }

  // The level's label: 234 × 15 at 3, 88, wider and further left where the
  // face's text needs it, whole on its line, and never over the level edit.
  const QRect label8 = form->Label8->geometry();
  const QFontMetrics label8Metrics(form->Label8->font());
  EXPECT_EQ(form->Label8->text(), QStringLiteral("CSV中描述图片位置倒推几层目录："));
  EXPECT_FALSE(form->Label8->wordWrap());
  EXPECT_LE(label8.left(), 3);
  EXPECT_EQ(label8.top(), 88);
  EXPECT_GE(label8.width(), std::max(234, label8Metrics.horizontalAdvance(form->Label8->text())));
  EXPECT_GE(label8.height(), std::max(15, label8Metrics.height()));
  EXPECT_LT(label8.right(), form->edtnum->x());
  // The tip ends inside the client area.
  EXPECT_GE(form->cxLabel4->width(),
            QFontMetrics(form->cxLabel4->font()).horizontalAdvance(form->cxLabel4->text()));
  EXPECT_LE(form->cxLabel4->geometry().right(), form->width());

  // The controls stay put when the window is resized.
  form->resize(1000, 600);
  EXPECT_EQ(form->btn1->geometry(), QRect(138, 44, 636, form->btn1->height()));
  EXPECT_EQ(form->cxButton30->geometry(), QRect(20, 244, 109, 25));
}

}  // namespace
}  // namespace picrelink::ui::test
