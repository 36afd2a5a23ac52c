// The window's own added texts in the seller's language.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

#include "tests/support/test_files.h"
#include "tests/ui/fake_dialogs.h"
#include "ui/details_dialog.h"
#include "ui/folder_browser.h"
#include "ui/level_edit.h"
#include "ui/qt_translations.h"
#include "ui/status_area.h"
#include "ui/unit1.h"

namespace picrelink::ui::test {
namespace {

using picrelink::test::TempDir;

// An English word in a text: two Latin letters in a row, other than the
// names that both languages write alike.
bool HasEnglish(QString text) {
  static const QRegularExpression kept(QStringLiteral("CSV|URL|Esc|%p"));
  text.remove(kept);
  static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
  return text.contains(word);
}

// Installs the window's translation for a test and removes it after.
class Translated {
 public:
  explicit Translated(Language language) : translator_(InstallWindowTranslations(language)) {}
  ~Translated() {
    if (translator_) QCoreApplication::removeTranslator(translator_);
    delete translator_;
  }
  bool Loaded() const { return translator_ != nullptr; }

 private:
  QTranslator* translator_;
};

TEST(WindowLanguageTest, UnderAChineseLocaleTheAddedTextsAreChinese) {
  EXPECT_EQ(LanguageOf(QLocale(QLocale::Chinese, QLocale::China)), Language::Chinese);
  EXPECT_EQ(LanguageOf(QLocale(QLocale::Chinese, QLocale::Taiwan)), Language::Chinese);
  EXPECT_EQ(LanguageOf(QLocale(QLocale::English, QLocale::UnitedStates)), Language::English);

  Translated chinese(Language::Chinese);
  ASSERT_TRUE(chinese.Loaded());
  TempDir dir;
  FakeDialogs dialogs;
  TForm1 form(
      dialogs, [&] { return dir.Folder(); }, WindowSettingsFor(Language::Chinese));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.StatusPending(); }, 30000));

  StatusArea& area = *form.statusArea;
  EXPECT_TRUE(area.Text().startsWith(QStringLiteral("程序所在的文件夹里没有 CSV 文件")))
      << area.Text().toStdString();
  EXPECT_EQ(area.DetailsButton()->text(), QStringLiteral("详情…"));
  EXPECT_EQ(area.CancelButton()->text(), QStringLiteral("取消"));
  area.ShowProgress(StatusArea::Stage::Adjusting, 0.5);
  EXPECT_EQ(area.ProgressBar()->text(), QStringLiteral("正在调整…50%"));
  area.ShowProgress(StatusArea::Stage::Checking, 0.25);
  EXPECT_EQ(area.ProgressBar()->text(), QStringLiteral("正在检查 CSV…25%"));
  area.HideProgress();
  area.ShowChecking(0.5);
  EXPECT_EQ(area.Text(), QStringLiteral("正在检查 CSV…50%"));
  EXPECT_EQ(form.edtnum->accessibleName(), QStringLiteral("CSV中描述图片位置倒推几层目录"));

  FolderBrowser browser(QString{});
  DetailsDialog details(QStringLiteral("…"), false);
  const QString texts[] = {
      area.CancelButton()->toolTip(),
      form.edtnum->accessibleDescription(),
      details.windowTitle(),
      details.CopyButton()->text(),
      QCoreApplication::translate("picrelink::ui::LevelEdit", "&Step up"),
      QCoreApplication::translate("picrelink::ui::LevelEdit", "Step &down"),
      QCoreApplication::translate("picrelink::ui::FolderBrowser", "Open"),
      QCoreApplication::translate("picrelink::ui::FolderBrowser", "Copy Path"),
  };
  for (const QString& text : texts) {
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(HasEnglish(text)) << text.toStdString();
  }
  // The controls keep their Chinese texts in every language.
  EXPECT_EQ(form.cxButton30->text(), QStringLiteral("开始调整"));
  // The folder browser's fixed texts are English in every language.
  EXPECT_EQ(browser.windowTitle(), QStringLiteral("Browse for Folder"));
  EXPECT_EQ(browser.findChild<QLabel*>()->text(), QStringLiteral("Current Folder"));
  EXPECT_EQ(browser.OkButton()->text(), QStringLiteral("OK"));
  EXPECT_EQ(browser.CancelButton()->text(), QStringLiteral("Cancel"));
}

TEST(WindowLanguageTest, ElsewhereTheAddedTextsAreEnglishAndTheControlsStayChinese) {
  Translated english(Language::English);
  ASSERT_TRUE(english.Loaded());
  TempDir dir;
  FakeDialogs dialogs;
  TForm1 form(
      dialogs, [&] { return dir.Folder(); }, WindowSettingsFor(Language::English));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.StatusPending(); }, 30000));

  EXPECT_TRUE(form.statusArea->Text().startsWith(QStringLiteral("No CSV file beside the program")));
  EXPECT_EQ(form.statusArea->DetailsButton()->text(), QStringLiteral("Details…"));
  EXPECT_EQ(form.cxButton30->text(), QStringLiteral("开始调整"));
  EXPECT_EQ(form.cxButton1->text(), QStringLiteral("重新检测"));
}

// Every text of the Chinese translation is there and reads in Chinese, so
// that no English text is left for a Chinese seller; the English one has
// the same texts.
TEST(WindowLanguageTest, TheChineseTranslationIsCompleteAndHasNoEnglish) {
  struct Message {
    QString context, source, translation;
    bool finished = true;
  };
  const auto read = [](const QString& name) {
    std::vector<Message> messages;
    QFile file(QStringLiteral(PICRELINK_SOURCE_DIR "/ui/translations/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    QXmlStreamReader xml(&file);
    QString context;
    while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
      if (!xml.isStartElement()) continue;
      if (xml.name() == u"name") context = xml.readElementText();
      if (xml.name() == u"message") messages.push_back({context, {}, {}});
      if (xml.name() == u"source") messages.back().source = xml.readElementText();
      if (xml.name() == u"translation") {
        messages.back().finished = xml.attributes().value(QStringLiteral("type")).isEmpty();
        messages.back().translation = xml.readElementText();
      }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return messages;
  };
  const std::vector<Message> chinese = read(QStringLiteral("picrelink_zh_CN.ts"));
  const std::vector<Message> english = read(QStringLiteral("picrelink_en.ts"));
  ASSERT_FALSE(chinese.empty());
  ASSERT_EQ(chinese.size(), english.size());
  for (size_t i = 0; i < chinese.size(); ++i) {
    const Message& m = chinese[i];
    SCOPED_TRACE(m.source.toStdString());
    EXPECT_TRUE(m.finished);
    EXPECT_FALSE(m.translation.isEmpty());
    EXPECT_FALSE(HasEnglish(m.translation)) << m.translation.toStdString();
    EXPECT_EQ(english[i].context, m.context);
    EXPECT_EQ(english[i].source, m.source);
    EXPECT_TRUE(english[i].finished);
  }
}

}  // namespace
}  // namespace picrelink::ui::test
