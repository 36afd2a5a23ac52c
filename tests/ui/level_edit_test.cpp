#include "ui/level_edit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include "ui/level_text.h"

namespace picrelink::ui::test {
namespace {

TEST(LevelTextTest, AcceptsOnlyNonNegativeNumbersWithAtMostTwoDecimals) {
  struct Case {
    const char* text;
    bool acceptable;
  };
  const Case cases[] = {
      {"", true},       {"-", true},     {"+", true},      {".", true},    {"0", true},
      {"1", true},      {"5", true},     {"0.5", true},    {"0.50", true}, {".25", true},
      {"-0", true},     {"-0.00", true}, {"0.505", false}, {"1.", true},   {"-1", false},
      {"-0.01", false}, {"-.5", false},  {"1.2.3", false}, {"a", false},   {"1a", false},
      {" 1", false},    {"1-", false},   {"--", false},    {"١", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsAcceptableLevelText(QString::fromUtf8(c.text), u'.'), c.acceptable) << c.text;
  }
  EXPECT_TRUE(IsAcceptableLevelText(QStringLiteral("0,25"), u','));
  EXPECT_FALSE(IsAcceptableLevelText(QStringLiteral("0.25"), u','));
}

TEST(LevelTextTest, ValuesAreKeptWithinZeroAndOneAndShownShortest) {
  struct Case {
    const char* typed;
    Level value;
    const char* shown;
  };
  const Case cases[] = {
      {"", std::nullopt, ""},
      {"-", 0, "0"},
      {"+", 0, "0"},
      {"0", 0, "0"},
      {"1", 100, "1"},
      {"5", 100, "1"},
      {"1.5", 100, "1"},
      {"0.50", 50, "0.5"},
      {"0.25", 25, "0.25"},
      {".05", 5, "0.05"},
      {"00.1", 10, "0.1"},
      {"1.", 100, "1"},
      {"99999999999999999999", 100, "1"},
  };
  for (const Case& c : cases) {
    const Level value = LevelFromText(QString::fromUtf8(c.typed), u'.');
    EXPECT_EQ(value, c.value) << c.typed;
    EXPECT_EQ(LevelToText(value, u'.'), QString::fromUtf8(c.shown)) << c.typed;
  }
  EXPECT_EQ(LevelToText(50, u','), QStringLiteral("0,5"));
}

TEST(LevelTextTest, StepsAreClampedAndNoValueStepsToOne) {
  EXPECT_EQ(StepLevel(100, 1), 100);
  EXPECT_EQ(StepLevel(100, -1), 0);
  EXPECT_EQ(StepLevel(0, -1), 0);
  EXPECT_EQ(StepLevel(50, 1), 100);
  EXPECT_EQ(StepLevel(50, -1), 0);
  EXPECT_EQ(StepLevel(std::nullopt, 1), 100);
  EXPECT_EQ(StepLevel(std::nullopt, -1), 100);
  EXPECT_EQ(StepLevel(0, 10), 100);
}

TEST(LevelTextTest, BothPointAndCommaTypeTheSeparator) {
  EXPECT_EQ(WithDecimalSeparator(QStringLiteral("0.5"), u','), QStringLiteral("0,5"));
  EXPECT_EQ(WithDecimalSeparator(QStringLiteral("0,5"), u'.'), QStringLiteral("0.5"));
}

// The level edit inside a small active window, beside another control to
// move the focus to.
class LevelEditTest : public testing::Test {
 protected:
  void SetUp() override {
    window.resize(200, 80);
    edit = new LevelEdit(&window);
    edit->setGeometry(10, 10, 58, 23);
    other = new QLineEdit(&window);
    other->setGeometry(10, 40, 100, 23);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
  }

  void Leave() {
    other->setFocus();
    ASSERT_FALSE(edit->hasFocus());
  }

  void Type(const QString& text) {
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }

  // The centre of the upper or lower half of the up/down buttons.
  QPoint ButtonPoint(bool up) const {
    QStyleOptionSpinBox option;
    option.initFrom(edit);
    option.subControls = QStyle::SC_All;
    option.buttonSymbols = QAbstractSpinBox::UpDownArrows;
    option.frame = true;
    return edit->style()
        ->subControlRect(QStyle::CC_SpinBox, &option,
                         up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, edit)
        .center();
  }

  QWidget window;
  LevelEdit* edit = nullptr;
  QLineEdit* other = nullptr;
};

TEST_F(LevelEditTest, StartsAtOneAndStepsWithinZeroAndOne) {
  EXPECT_EQ(edit->text(), QStringLiteral("1"));
  EXPECT_EQ(edit->lineEdit()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  QTest::keyClick(edit, Qt::Key_Up);
  EXPECT_EQ(edit->text(), QStringLiteral("1"));
  QTest::keyClick(edit, Qt::Key_Down);
  EXPECT_EQ(edit->text(), QStringLiteral("0"));
  QTest::keyClick(edit, Qt::Key_Down);
  EXPECT_EQ(edit->text(), QStringLiteral("0"));

  QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, ButtonPoint(true));
  EXPECT_EQ(edit->text(), QStringLiteral("1"));
  QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, ButtonPoint(false));
  EXPECT_EQ(edit->text(), QStringLiteral("0"));
}

TEST_F(LevelEditTest, AnyStepFromNoValueGivesOne) {
  for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Down}) {
    Type(QString());
    EXPECT_EQ(edit->Value(), std::nullopt);
    QTest::keyClick(edit, key);
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
  }
  Type(QString());
  QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, ButtonPoint(false));
  EXPECT_EQ(edit->text(), QStringLiteral("1"));
}

TEST_F(LevelEditTest, RefusedKeysLeaveTheTextAsItWas) {
  struct Case {
    const char* keys;
    const char* shown;
  };
  const Case cases[] = {
      {"-1", "-"},        // a 1 after a minus sign would be negative
      {"0.125", "0.12"},  // no third decimal
      {"0,5", "0.5"},     // a comma types the separator
      {"1x", "1"},       {"0..5", "0.5"},
  };
  for (const Case& c : cases) {
    Type(QString::fromUtf8(c.keys));
    EXPECT_EQ(edit->text(), QString::fromUtf8(c.shown)) << c.keys;
  }
}

TEST_F(LevelEditTest, LeavingShowsTheValue) {
  struct Case {
    const char* typed;
    const char* shown;
  };
  const Case cases[] = {{"5", "1"}, {"0.50", "0.5"}, {"-", "0"}, {"", ""}, {".25", "0.25"}};
  for (const Case& c : cases) {
    edit->setFocus();
    Type(QString::fromUtf8(c.typed));
    // Until the control is left, readers see what was typed.
    EXPECT_EQ(edit->text(), QString::fromUtf8(c.typed));
    Leave();
    EXPECT_EQ(edit->text(), QString::fromUtf8(c.shown)) << c.typed;
  }
}

TEST_F(LevelEditTest, EscapeRestoresTheValueOnEntry) {
  Leave();
  edit->setFocus();
  Type(QStringLiteral("0.5"));
  QTest::keyClick(edit, Qt::Key_Down);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(edit->text(), QStringLiteral("1"));

  Leave();
  edit->setFocus();
  Type(QString());
  Leave();
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Up);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(edit->text(), QString());
}

TEST_F(LevelEditTest, PasteThatIsNoNumberIsUndoneAndTheOldTextSelected) {
  Type(QStringLiteral("0.2"));
  QApplication::clipboard()->setText(QStringLiteral("abc"));
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit->text(), QStringLiteral("0.2"));
  EXPECT_EQ(edit->lineEdit()->selectedText(), QStringLiteral("0.2"));

  QApplication::clipboard()->setText(QStringLiteral("5"));
  QTest::keyClick(edit, Qt::Key_End);
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);  // 0.25
  EXPECT_EQ(edit->text(), QStringLiteral("0.25"));
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);  // 0.255: a third decimal
  EXPECT_EQ(edit->text(), QStringLiteral("0.25"));
}

TEST_F(LevelEditTest, WheelStepsOnlyAFocusedControl) {
  auto turn = [this](int delta) {
    const QPoint at(20, 10);
    QWheelEvent event(at, edit->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(edit, &event);
  };
  Leave();
  turn(-120);
  EXPECT_EQ(edit->text(), QStringLiteral("1"));
  edit->setFocus();
  turn(-120);
  EXPECT_EQ(edit->text(), QStringLiteral("0"));
  turn(120);
  EXPECT_EQ(edit->text(), QStringLiteral("1"));
}

// Counts steps, to see the repeat of a held button at a bound, where the
// shown value no longer changes.
class CountingLevelEdit : public LevelEdit {
 public:
  using LevelEdit::LevelEdit;
  void stepBy(int steps) override {
    ++count;
    LevelEdit::stepBy(steps);
  }
  int count = 0;
};

TEST_F(LevelEditTest, HeldButtonRepeatsAfterADelayAndTakesTheFocus) {
  auto* counting = new CountingLevelEdit(&window);
  counting->setGeometry(100, 10, 58, 23);
  counting->show();
  edit = counting;
  Leave();

  // A busy machine only delays timers, so counts are checked against the
  // time that really passed.
  QElapsedTimer held;
  held.start();
  QTest::mousePress(counting, Qt::LeftButton, Qt::NoModifier, ButtonPoint(true));
  EXPECT_TRUE(counting->hasFocus());
  EXPECT_EQ(counting->count, 1);
  QTest::qWait(250);
  if (held.elapsed() < 380) {
    EXPECT_EQ(counting->count, 1) << "no repeat before 400 ms";
  }
  QTest::qWait(1250);
  const qint64 elapsed = held.elapsed();
  QTest::mouseRelease(counting, Qt::LeftButton, Qt::NoModifier, ButtonPoint(true));
  // Steps at 0, 400, 500, 600, ... ms: 13 by 1500 ms, where a slower
  // repeat such as 500 and then 150 ms would give 8.
  const qint64 most = 1 + (elapsed >= 400 ? 1 + (elapsed - 400) / 100 : 0);
  EXPECT_GE(counting->count, 9);
  EXPECT_LE(counting->count, most + 1);
  const int released = counting->count;
  QTest::qWait(250);
  EXPECT_EQ(counting->count, released) << "no repeat after release";
}

TEST_F(LevelEditTest, UsesTheLocalesDecimalSeparator) {
  edit->setLocale(QLocale(QLocale::German, QLocale::Germany));
  Type(QStringLiteral("0.5"));
  EXPECT_EQ(edit->text(), QStringLiteral("0,5"));
  Leave();
  EXPECT_EQ(edit->text(), QStringLiteral("0,5"));
}

}  // namespace
}  // namespace picrelink::ui::test
