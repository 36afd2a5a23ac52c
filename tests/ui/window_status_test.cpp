// The status area, the question before writing, and the run on its own
// thread: progress, cancel, and closing the window while it works.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <filesystem>
#include <functional>

#include "core/utf.h"
#include "relocation/references/csv_encoding.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/run_texts.h"
#include "tests/support/test_files.h"
#include "tests/ui/fake_dialogs.h"
#include "tests/ui/qt_text.h"
#include "ui/level_edit.h"
#include "ui/path_edit.h"
#include "ui/status_area.h"
#include "ui/unit1.h"

namespace picrelink::ui::test {
namespace {

namespace fs = std::filesystem;
using picrelink::test::ListNames;
using picrelink::test::ReadBytes;
using picrelink::test::TempDir;
using picrelink::test::Utf16FileBytes;
using picrelink::test::WriteBytes;

constexpr int kWaitMs = 30000;

// A listing whose descriptions name the pictures, one row each.
std::u16string CsvNaming(const std::vector<std::u16string>& pictures) {
  std::u16string text = u"标题,宝贝描述\r\n";
  for (const std::u16string& picture : pictures) {
    text += u"\"商品\",\"<p>说明文字</p><img src=\"\"" + picture + u"\"\">\"\r\n";
  }
  return text;
}

std::vector<std::u16string> Pictures(int count) {
  std::vector<std::u16string> pictures;
  for (int i = 0; i < count; ++i) {
    pictures.push_back(u"D:\\old\\pics\\item\\" + FromUtf8(std::to_string(i)) + u".jpg");
  }
  return pictures;
}

// Where start-up proposes the pictures of Pictures(): beside the CSV.
void WritePictures(const fs::path& folder, int count) {
  fs::create_directories(folder / "pics" / "item");
  for (int i = 0; i < count; ++i) {
    WriteBytes(folder / "pics" / "item" / (std::to_string(i) + ".jpg"), "jpg");
  }
}

// When armed, holds the run at its first piece until released, or for a
// while.
struct RunGate {
  QSemaphore entered;
  QSemaphore release;
  std::atomic<bool> first{false};
  std::atomic<int> holdMs{10000};

  std::function<void()> Hook() {
    return [this] {
      if (!first.exchange(false)) return;
      entered.release();
      release.tryAcquire(1, holdMs);
    };
  }
};

class WindowStatusTest : public testing::Test {
 protected:
  std::unique_ptr<TForm1> MakeForm(Language language = Language::English) {
    WindowSettings settings = WindowSettingsFor(language);
    settings.progressDelayMs = 0;
    // Many pieces, so that a run can be caught in its middle.
    settings.runBufferUnits = 64;
    settings.runProgressHook = gate->Hook();
    auto form = std::make_unique<TForm1>(
        dialogs, [this] { return dir->Folder(); }, settings);
    dialogs.startButton = form->cxButton30;
    return form;
  }

  std::unique_ptr<TForm1> ShowForm() {
    auto form = MakeForm();
    form->show();
    QApplication::setActiveWindow(form.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
  }

  // The status once the census of the values is in.
  static QString StatusOf(const TForm1& form) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.StatusPending(); }, kWaitMs));
    return form.statusArea->Text();
  }

  static void WaitForTheEnd(const TForm1& form) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Starting(); }, kWaitMs));
  }

  fs::path CsvPath() const { return dir->path() / "goods.csv"; }
  void WriteCsv(const std::vector<std::u16string>& pictures) {
    WriteBytes(CsvPath(), Utf16FileBytes(CsvNaming(pictures)));
  }

  // A new folder beside the program, new dialogs and a new gate, for the
  // next case of a table.
  void Fresh() {
    dir = std::make_unique<TempDir>();
    dialogs = FakeDialogs();
    gate = std::make_unique<RunGate>();
  }

  std::unique_ptr<TempDir> dir = std::make_unique<TempDir>();
  FakeDialogs dialogs;
  std::unique_ptr<RunGate> gate = std::make_unique<RunGate>();
};

TEST_F(WindowStatusTest, TheLongestStatusIsShownInWholeLinesAndWhollyInItsTooltipAndDetails) {
  // Three CSVs beside the program and pictures missing: two long lines.
  WriteCsv(Pictures(40));
  for (const char* name : {"goods - spring 2026 new arrivals with detail pictures.csv",
                           "goods - summer 2026 new arrivals with detail pictures.csv"}) {
    WriteBytes(dir->path() / name, Utf16FileBytes(CsvNaming(Pictures(1))));
  }
  WritePictures(dir->path(), 30);
  auto form = ShowForm();
  const QString whole = StatusOf(*form);
  ASSERT_TRUE(whole.contains(u'\n')) << whole.toStdString();
  StatusArea& area = *form->statusArea;
  const QString shown = area.ShownText();
  const QStringList lines = shown.split(u'\n');
  EXPECT_LE(lines.size(), area.Lines());
  const QFontMetrics metrics(area.Label()->font());
  for (const QString& line : lines) {
    EXPECT_LE(metrics.horizontalAdvance(line), area.Label()->contentsRect().width())
        << line.toStdString();
  }
  EXPECT_GE(area.Label()->height(), area.Lines() * metrics.lineSpacing());
  EXPECT_LE(area.geometry().top() + area.Label()->geometry().bottom(), form->height());
  // The start of every line of the status is seen; what is cut ends in "…".
  const QStringList wholeLines = whole.split(u'\n');
  for (qsizetype i = 0; i < wholeLines.size(); ++i) {
    if (i >= lines.size()) {
      EXPECT_TRUE(shown.endsWith(QStringLiteral("…"))) << shown.toStdString();
      break;
    }
    EXPECT_TRUE(lines[i].startsWith(wholeLines[i].left(8))) << lines[i].toStdString();
    if (lines[i] != wholeLines[i]) {
      EXPECT_TRUE(lines[i].endsWith(QStringLiteral("…")));
    }
  }
  EXPECT_EQ(area.Label()->toolTip(), whole);
  EXPECT_TRUE(area.Details().startsWith(whole));
  EXPECT_TRUE(area.DetailsButton()->isVisible());
}

TEST_F(WindowStatusTest, TellsWhatTheCensusFoundOrWhyThereIsNone) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> lay;  // what lies beside the program
    std::u16string expected;                   // a part of the status
  };
  const Case cases[] = {
      {"no CSV", [](const fs::path&) {}, u"No CSV file beside the program"},
      {"a UTF-8 CSV",
       [](const fs::path& d) {
         WriteBytes(d / "goods.csv", "标题,宝贝描述\r\n商品,<p>说明</p>\r\n");
       },
       FromUtf8(EncodingAdviceEnglish(CsvEncoding::Utf8))},
      {"no reference",
       [](const fs::path& d) {
         WriteBytes(d / "goods.csv", Utf16FileBytes(u"标题,宝贝描述\r\n商品,<p>说明</p>\r\n"));
       },
       u"The CSV holds no picture reference"},
      {"several CSVs",
       [](const fs::path& d) {
         WriteBytes(d / "goods.csv", Utf16FileBytes(CsvNaming(Pictures(1))));
         WriteBytes(d / "other.csv", Utf16FileBytes(CsvNaming(Pictures(1))));
       },
       u"There are 2 CSV files beside the program; using \"goods.csv\" (others: other.csv).\n"
       u"The CSV holds 1 picture references"},
      {"the new folder missing",
       [](const fs::path& d) {
         WriteBytes(d / "goods.csv", Utf16FileBytes(CsvNaming(Pictures(3))));
       },
       u"pics\" does not exist."},
      {"pictures missing",
       [](const fs::path& d) {
         WriteBytes(d / "goods.csv", Utf16FileBytes(CsvNaming(Pictures(3))));
         WritePictures(d, 1);
       },
       u"The CSV holds 3 picture references (path 3, URL 0) to 1 folder; in the new folder 1 "
       u"found, 2 missing."},
      {"a CSV that cannot be read",
       [](const fs::path& d) { fs::create_symlink(d / "absent", d / "goods.csv"); },
       u"Cannot open file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir beside;
    c.lay(beside.path());
    FakeDialogs fresh;
    auto form = std::make_unique<TForm1>(
        fresh, [&] { return beside.Folder(); }, WindowSettingsFor(Language::English));

    const QString status = StatusOf(*form);

    EXPECT_TRUE(status.contains(Q(c.expected))) << status.toStdString();
    EXPECT_TRUE(form->statusArea->DetailsButton()->isVisibleTo(form.get()));
    // The values are those of start-up all the same.
    EXPECT_EQ(form->btn3->text().isEmpty(), false);
  }
}

TEST_F(WindowStatusTest, OtherCsvsAreToldOnlyWhileTheCsvIsTheOneStartUpTook) {
  WriteCsv(Pictures(1));
  WriteBytes(dir->path() / "other.csv", Utf16FileBytes(CsvNaming(Pictures(2))));
  auto form = ShowForm();
  ASSERT_TRUE(StatusOf(*form).startsWith(QStringLiteral("There are 2 CSV files")));

  dialogs.csvAnswer = Q(dir->File("other.csv"));
  QTest::mouseClick(form->btn1->BrowseButton(), Qt::LeftButton);

  const QString status = StatusOf(*form);
  EXPECT_TRUE(status.startsWith(QStringLiteral("The CSV holds 2 picture references")))
      << status.toStdString();
}

TEST_F(WindowStatusTest, DetailsListTheFoldersAndTheMissingPictures) {
  WriteCsv(Pictures(3));
  WritePictures(dir->path(), 1);
  auto form = ShowForm();
  const QString status = StatusOf(*form);

  QTest::mouseClick(form->statusArea->DetailsButton(), Qt::LeftButton);

  ASSERT_EQ(dialogs.details.size(), 1u);
  const QString& details = dialogs.details[0];
  EXPECT_TRUE(details.startsWith(status + u'\n')) << details.toStdString();
  EXPECT_TRUE(details.contains(QStringLiteral("* D:\\old\\pics    3"))) << details.toStdString();
  EXPECT_TRUE(details.contains(QStringLiteral("Missing pictures:\n")));
  EXPECT_TRUE(details.contains(QStringLiteral("1.jpg\n")));
  EXPECT_TRUE(details.contains(QStringLiteral("2.jpg\n")));
  EXPECT_FALSE(details.contains(QStringLiteral("0.jpg\n")));
}

TEST_F(WindowStatusTest, AnEditTakesTheStatusAnewOnceTheKeysRest) {
  WriteCsv(Pictures(2));
  WritePictures(dir->path(), 2);
  auto form = ShowForm();
  ASSERT_TRUE(StatusOf(*form).contains(QStringLiteral("2 found, 0 missing")));
  const QString btn2 = form->btn2->text();

  form->btn3->setFocus();
  QTest::keyClick(form->btn3, Qt::Key_End);
  QTest::keyClicks(form->btn3, QStringLiteral("-elsewhere"));
  EXPECT_TRUE(form->StatusPending());

  const QString status = StatusOf(*form);
  EXPECT_TRUE(status.contains(QStringLiteral("pics-elsewhere\" does not exist")))
      << status.toStdString();
  // Typing changes no other value.
  EXPECT_EQ(form->btn2->text(), btn2);
}

TEST_F(WindowStatusTest, QuestionBeforeWritingToAMissingFolderDefaultsToNo) {
  struct Case {
    bool yes;
  };
  for (const Case c : {Case{false}, Case{true}}) {
    SCOPED_TRACE(c.yes ? "yes" : "no");
    Fresh();
    WriteCsv(Pictures(2));
    const std::string before = ReadBytes(CsvPath());
    auto form = ShowForm();
    ASSERT_TRUE(StatusOf(*form).contains(QStringLiteral("does not exist")));
    dialogs.questionAnswer = c.yes;

    QTest::mouseClick(form->cxButton30, Qt::LeftButton);
    WaitForTheEnd(*form);

    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(dialogs.questions[0].text.contains(QStringLiteral("does not exist")));
    EXPECT_EQ(dialogs.questions[0].caption, Q(kWindowCaption));
    EXPECT_EQ(dialogs.questions[0].startButtonEnabled, false);
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_TRUE(form->cxButton30->isEnabled());
    if (c.yes) {
      ASSERT_EQ(dialogs.informations.size(), 1u);
      EXPECT_TRUE(dialogs.informations[0].text.startsWith(Q(kSuccessMessage) + u'\n'));
      EXPECT_NE(ReadBytes(CsvPath()), before);
    } else {
      EXPECT_TRUE(dialogs.informations.empty());
      EXPECT_EQ(ReadBytes(CsvPath()), before);
    }
  }
}

TEST_F(WindowStatusTest, StartWithoutACsvSaysSoInTheErrorBox) {
  auto form = MakeForm();
  StatusOf(*form);
  ASSERT_TRUE(form->btn1->text().isEmpty());
  form->cxButton30->click();
  WaitForTheEnd(*form);
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors[0].text, QString::fromStdString(NoCsvMessage(Language::English)));
  EXPECT_TRUE(dialogs.informations.empty());
  EXPECT_TRUE(form->cxButton30->isEnabled());
}

TEST_F(WindowStatusTest, StartWhileTheCensusRunsAsksOnItsResult) {
  WriteCsv(Pictures(2));
  auto form = MakeForm();
  // The census of start-up has not come in: nothing has run the event loop.
  ASSERT_TRUE(form->StatusPending());

  form->cxButton30->click();
  WaitForTheEnd(*form);

  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_TRUE(dialogs.questions[0].text.contains(QStringLiteral("does not exist")));
  EXPECT_TRUE(dialogs.informations.empty());
  EXPECT_TRUE(form->statusArea->Text().contains(QStringLiteral("does not exist")));
}

TEST_F(WindowStatusTest, RunWorksOnItsOwnThreadAndStopsAtACancel) {
  enum class Stop { None, CancelButton, Escape };
  struct Case {
    const char* name;
    Stop stop;
  };
  const Case cases[] = {
      {"to the end", Stop::None},
      {"cancel button", Stop::CancelButton},
      {"escape", Stop::Escape},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    gate->first = true;
    WriteCsv(Pictures(300));
    WritePictures(dir->path(), 300);
    const std::string before = ReadBytes(CsvPath());
    const std::string names = ListNames(dir->path());
    auto form = ShowForm();
    StatusOf(*form);

    QTest::mouseClick(form->cxButton30, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate->entered.available() > 0; }, kWaitMs));
    // The run holds at its first piece; the window goes on.
    EXPECT_TRUE(form->Starting());
    EXPECT_FALSE(form->cxButton30->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->statusArea->CancelButton()->isVisibleTo(form.get()); }, kWaitMs));
    EXPECT_TRUE(form->statusArea->ProgressBar()->isVisibleTo(form.get()));
    if (c.stop == Stop::CancelButton) {
      QTest::mouseClick(form->statusArea->CancelButton(), Qt::LeftButton);
    } else if (c.stop == Stop::Escape) {
      QTest::keyClick(form.get(), Qt::Key_Escape);
    }
    gate->release.release();
    WaitForTheEnd(*form);

    EXPECT_TRUE(form->cxButton30->isEnabled());
    EXPECT_FALSE(form->statusArea->ProgressBar()->isVisibleTo(form.get()));
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_EQ(ListNames(dir->path()), names);
    if (c.stop == Stop::None) {
      ASSERT_EQ(dialogs.informations.size(), 1u);
      EXPECT_EQ(dialogs.informations[0].startButtonEnabled, false);
      EXPECT_NE(ReadBytes(CsvPath()), before);
    } else {
      EXPECT_TRUE(dialogs.informations.empty());
      EXPECT_EQ(ReadBytes(CsvPath()), before);
      EXPECT_EQ(form->statusArea->Text(), QStringLiteral("Cancelled; the CSV was not changed."));
    }
  }
}

TEST_F(WindowStatusTest, ClosingDuringARunLeavesTheCsvOldOrNewNeverPartial) {
  struct Case {
    const char* name;
    bool holdAtFirstPiece;
  };
  const Case cases[] = {{"held at its first piece", true}, {"wherever it is", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    gate->first = c.holdAtFirstPiece;
    gate->holdMs = 200;  // closing waits for the run
    WriteCsv(Pictures(300));
    WritePictures(dir->path(), 300);
    const std::string before = ReadBytes(CsvPath());
    const std::string names = ListNames(dir->path());
    std::string after;
    {
      auto form = ShowForm();
      StatusOf(*form);
      const QString actual = form->btn3->text();
      std::u16string expected = CsvNaming(Pictures(300));
      for (size_t at = expected.find(u"D:\\old\\pics"); at != std::u16string::npos;
           at = expected.find(u"D:\\old\\pics", at)) {
        expected.replace(at, 11, actual.toStdU16String());
        at += static_cast<size_t>(actual.size());
      }
      after = Utf16FileBytes(expected);

      QTest::mouseClick(form->cxButton30, Qt::LeftButton);
      if (c.holdAtFirstPiece) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return gate->entered.available() > 0; }, kWaitMs));
      }
      form->close();
      QTest::qWait(50);
      // No box after the window is gone.
      EXPECT_TRUE(dialogs.informations.empty());
      EXPECT_TRUE(dialogs.errors.empty());
    }
    const std::string bytes = ReadBytes(CsvPath());
    EXPECT_TRUE(bytes == before || bytes == after);
    if (c.holdAtFirstPiece) {
      EXPECT_EQ(bytes, before);
    }
    EXPECT_EQ(ListNames(dir->path()), names);
  }
}

// The pictures of Pictures() unpacked under another name beside the CSV:
// the whole package's folder, or the pictures' own folder alone.
struct OfferCase {
  std::string name;
  fs::path pictures;    // where the pictures lie, below the CSV's folder
  QString newFolder;    // what the offer puts into btn3, below the CSV's folder
  QString level;        // and into the level edit
  QString namedFolder;  // and into btn2
};

class WindowOfferTest : public WindowStatusTest, public testing::WithParamInterface<OfferCase> {};

TEST_P(WindowOfferTest, TheOfferFillsTheValuesAndTheStatusFollows) {
  const OfferCase& offerCase = GetParam();
  WriteCsv(Pictures(2));
  fs::create_directories(dir->path() / offerCase.pictures);
  for (int i = 0; i < 2; ++i) {
    WriteBytes(dir->path() / offerCase.pictures / (std::to_string(i) + ".jpg"), "jpg");
  }
  auto form = ShowForm();
  const QString status = StatusOf(*form);
  QPushButton* offer = form->statusArea->OfferButton();
  ASSERT_TRUE(offer->isVisibleTo(form.get())) << status.toStdString();
  EXPECT_EQ(offer->text(), QStringLiteral("使用此位置"));
  EXPECT_TRUE(status.contains(QStringLiteral("\"宝贝图片\": 2/2 found"))) << status.toStdString();
  // The text ends before the offer.
  EXPECT_LE(form->statusArea->Label()->geometry().right(), offer->geometry().left());

  QTest::mouseClick(offer, Qt::LeftButton);
  EXPECT_FALSE(offer->isVisibleTo(form.get()));
  EXPECT_EQ(form->btn3->text(), Q(dir->Folder()) + offerCase.newFolder);
  EXPECT_EQ(form->edtnum->text(), offerCase.level);
  EXPECT_EQ(form->btn2->text(), offerCase.namedFolder);
  EXPECT_TRUE(StatusOf(*form).contains(QStringLiteral("2 found, 0 missing")));
  EXPECT_FALSE(offer->isVisibleTo(form.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, WindowOfferTest,
    testing::Values(OfferCase{"WholePackage", fs::path("宝贝图片") / "item",
                              QStringLiteral("宝贝图片"), QStringLiteral("1"),
                              QStringLiteral("D:\\old\\pics")},
                    OfferCase{"OwnFolderAlone", fs::path("宝贝图片"), QStringLiteral("宝贝图片"),
                              QStringLiteral("0"), QStringLiteral("D:\\old\\pics\\item")}),
    [](const testing::TestParamInfo<OfferCase>& offerCase) { return offerCase.param.name; });

TEST_F(WindowStatusTest, TheDetailsOfferRestoreWhenThereIsABackupAndAskFirst) {
  WriteCsv(Pictures(1));
  WritePictures(dir->path(), 1);
  const std::string original = ReadBytes(CsvPath());
  auto form = ShowForm();
  StatusOf(*form);
  QTest::mouseClick(form->statusArea->DetailsButton(), Qt::LeftButton);
  ASSERT_EQ(dialogs.restoreOffered.size(), 1u);
  EXPECT_FALSE(dialogs.restoreOffered[0]);

  WriteBytes(dir->path() / "goods_备份.csv", "older");
  dialogs.restoreAnswer = true;
  dialogs.questionAnswer = false;
  QTest::mouseClick(form->statusArea->DetailsButton(), Qt::LeftButton);
  EXPECT_TRUE(dialogs.restoreOffered[1]);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(ReadBytes(CsvPath()), original) << "No leaves the CSV as it is";

  dialogs.questionAnswer = true;
  QTest::mouseClick(form->statusArea->DetailsButton(), Qt::LeftButton);
  WaitForTheEnd(*form);
  EXPECT_EQ(ReadBytes(CsvPath()), "older");
  EXPECT_EQ(ReadBytes(dir->path() / "goods_备份(2).csv"), original);
  ASSERT_EQ(dialogs.informations.size(), 1u);
  EXPECT_TRUE(dialogs.informations[0].text.contains(QStringLiteral("picrelink-cli restore")));
}

}  // namespace
}  // namespace picrelink::ui::test
