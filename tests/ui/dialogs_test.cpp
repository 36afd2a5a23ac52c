#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "ui/details_dialog.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"

namespace picrelink::ui::test {
namespace {

TEST(ErrorBoxTest, CaptionIsTheProgramTitleAndTextEndsInAFullStop) {
  struct Case {
    const char* message;
    const char* text;
  };
  const Case cases[] = {
      {"Cannot open file", "Cannot open file."},
      {"Done!", "Done!"},
      {"Done.", "Done."},
      {"完成。", "完成。."},
      {"", ""},
  };
  for (const Case& c : cases) {
    const auto box =
        MakeErrorBox(QString::fromUtf8(c.message), QStringLiteral("/opt/tools/VovUvor.exe"));
    EXPECT_EQ(box->text(), QString::fromUtf8(c.text)) << c.message;
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Vovuvor"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    // Shown before the window exists, so it belongs to no window.
    EXPECT_EQ(box->parentWidget(), nullptr);
  }
}

TEST(InformationBoxTest, HasTheInformationIconAndOneOkButton) {
  const auto box = MakeInformationBox(QStringLiteral("调整成功！"),
                                      QStringLiteral("调整CSV文件宝贝描述图片位置"));
  EXPECT_EQ(box->text(), QStringLiteral("调整成功！"));
  EXPECT_EQ(box->windowTitle(), QStringLiteral("调整CSV文件宝贝描述图片位置"));
  EXPECT_EQ(box->icon(), QMessageBox::Information);
  EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(QuestionBoxTest, AsksYesOrNoWithNoTheDefault) {
  const auto box = MakeQuestionBox(QStringLiteral("仍要改写吗？"), QStringLiteral("标题"));
  EXPECT_EQ(box->text(), QStringLiteral("仍要改写吗？"));
  EXPECT_EQ(box->windowTitle(), QStringLiteral("标题"));
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
  EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::No));

  // Enter on the box as it opens answers No.
  box->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
  QTest::keyClick(box.get(), Qt::Key_Return);
  EXPECT_EQ(box->clickedButton(), box->button(QMessageBox::No));
}

TEST(DetailsDialogTest, ShowsTheTextReadOnlySelectableAndCopyable) {
  const QString text = QStringLiteral("目录（按引用数）：\n* D:\\old\\pics    3\n");
  DetailsDialog dialog(text, false);
  EXPECT_EQ(dialog.RestoreButton(), nullptr);
  QPlainTextEdit* view = dialog.TextView();
  EXPECT_EQ(view->toPlainText(), text);
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_TRUE(view->textInteractionFlags() & Qt::TextSelectableByKeyboard);
  EXPECT_TRUE(view->textInteractionFlags() & Qt::TextSelectableByMouse);

  QApplication::clipboard()->clear();
  QTest::mouseClick(dialog.CopyButton(), Qt::LeftButton);
  EXPECT_EQ(QApplication::clipboard()->text(), text);

  // Typing changes nothing; Ctrl+A, Ctrl+C copies.
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  view->setFocus();
  QTest::keyClicks(view, QStringLiteral("x"));
  EXPECT_EQ(view->toPlainText(), text);
  QApplication::clipboard()->clear();
  QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), text);
}

TEST(DetailsDialogTest, TheRestoreButtonClosesItWithItsOwnAnswer) {
  DetailsDialog dialog(QStringLiteral("详情"), true);
  ASSERT_NE(dialog.RestoreButton(), nullptr);
  EXPECT_EQ(dialog.RestoreButton()->text(), QStringLiteral("恢复备份"));
  // Not the default: Enter closes, as before.
  EXPECT_TRUE(dialog.CloseButton()->isDefault());
  QTimer::singleShot(0, &dialog, [&dialog] { dialog.RestoreButton()->click(); });
  EXPECT_EQ(dialog.exec(), DetailsDialog::kRestore);
}

TEST(CsvFileDialogTest, OffersCsvFilesFirstAndAcceptsAnyTypedName) {
  const auto dialog = MakeCsvFileDialog(QStringLiteral("goods.csv"));
  EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
  EXPECT_EQ(dialog->nameFilters(), QStringList({QStringLiteral("CSV文件 (*.csv)"),
                                                QStringLiteral("所有文件 (*.*) (*.*)")}));
  // The entries are shown by their names alone, "CSV文件" and "所有文件 (*.*)";
  // the first is selected.
  EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
  EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("CSV文件"));
}

TEST(CsvFileDialogTest, GivesTheFullPathOrNothing) {
  EXPECT_EQ(CsvDialogResult(false, {QStringLiteral("/data/goods.csv")}), std::nullopt);
  EXPECT_EQ(CsvDialogResult(true, {}), std::nullopt);
  EXPECT_EQ(CsvDialogResult(true, {QStringLiteral("/data/goods.csv")}),
            QStringLiteral("/data/goods.csv"));
  // The dialog cannot give back a longer path: it fails as if cancelled.
  const QString longest = QStringLiteral("/") + QString(258, u'a');
  EXPECT_EQ(CsvDialogResult(true, {longest}), longest);
  EXPECT_EQ(CsvDialogResult(true, {longest + u'a'}), std::nullopt);
}

TEST(QtTranslationsTest, StandardButtonsReadInTheSystemsLanguage) {
  QTranslator* translator = InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China));
  ASSERT_NE(translator, nullptr);
  {
    const auto box = MakeInformationBox(QStringLiteral("调整成功！"), QString());
    EXPECT_EQ(box->button(QMessageBox::Ok)->text().remove(u'&'), QStringLiteral("确定"));
  }
  QCoreApplication::removeTranslator(translator);
  delete translator;
}

TEST(ProgramEntryTest, WithoutADisplayTellsHowToStartAndFails) {
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment.remove(QString::fromLatin1(name));
  }
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(PICRELINK_UI_BINARY), {});
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_NE(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardError().contains("xvfb-run -a"));
}

}  // namespace
}  // namespace picrelink::ui::test
