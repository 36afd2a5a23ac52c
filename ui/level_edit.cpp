#include "ui/level_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProxyStyle>
#include <QWheelEvent>

namespace picrelink::ui {
namespace {

// The spin box reads its repeat timing from the style; this one gives the
// level edit its own timing whatever the application's style is.
class RepeatTimingStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_SpinBox_ClickAutoRepeatThreshold) return LevelEdit::kRepeatDelayMs;
    if (hint == SH_SpinBox_ClickAutoRepeatRate) return LevelEdit::kRepeatIntervalMs;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

LevelEdit::LevelEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  auto* timing = new RepeatTimingStyle;
  timing->setParent(this);
  setStyle(timing);
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setAccelerated(false);
  // A click or Tab gives the focus, the wheel never does: turning the wheel
  // over the window must not pick the control and change the level.
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(tr("Levels up from the pictures' folder"));
  setAccessibleDescription(
      tr("0: the folder named in the CSV is the pictures' own folder; 1: the folder above it"));
  SetValue(kLevelMax);
  valueOnEntry_ = Value();
}

QChar LevelEdit::Separator() const {
  const QString point = locale().decimalPoint();
  return point.isEmpty() ? QChar(u'.') : point.front();
}

Level LevelEdit::Value() const { return LevelFromText(text(), Separator()); }

void LevelEdit::SetValue(Level level) { lineEdit()->setText(LevelToText(level, Separator())); }

QValidator::State LevelEdit::validate(QString& input, int& /*pos*/) const {
  input = WithDecimalSeparator(input, Separator());
  return IsAcceptableLevelText(input, Separator()) ? QValidator::Acceptable : QValidator::Invalid;
}

void LevelEdit::stepBy(int steps) {
  SetValue(StepLevel(Value(), steps));
  selectAll();
}

QAbstractSpinBox::StepEnabled LevelEdit::stepEnabled() const {
  // Stepping at a bound is allowed and keeps the bound; with no value any
  // step gives 1.
  if (isReadOnly()) return StepNone;
  return StepUpEnabled | StepDownEnabled;
}

void LevelEdit::focusInEvent(QFocusEvent* event) {
  // Coming back from another window or a popup does not enter the control anew.
  if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) {
    valueOnEntry_ = Value();
  }
  QAbstractSpinBox::focusInEvent(event);
}

void LevelEdit::focusOutEvent(QFocusEvent* event) {
  if (event->reason() != Qt::PopupFocusReason) SetValue(Value());
  QAbstractSpinBox::focusOutEvent(event);
}

void LevelEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    SetValue(valueOnEntry_);
    selectAll();
    event->accept();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    Paste();
    event->accept();
    return;
  }
  QAbstractSpinBox::keyPressEvent(event);
}

void LevelEdit::wheelEvent(QWheelEvent* event) {
  // The wheel steps only a focused control, so that scrolling over the
  // window does not change the level by accident.
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  QAbstractSpinBox::wheelEvent(event);
}

void LevelEdit::Paste() {
  QLineEdit* edit = lineEdit();
  if (isReadOnly()) return;
  const QString pasted = QApplication::clipboard()->text();
  QString result = edit->text();
  int start = edit->cursorPosition();
  if (edit->hasSelectedText()) {
    start = edit->selectionStart();
    result.remove(start, edit->selectedText().size());
  }
  result.insert(start, pasted);
  int pos = start + static_cast<int>(pasted.size());
  if (validate(result, pos) == QValidator::Invalid) {
    selectAll();
    return;
  }
  edit->insert(pasted);
}

void LevelEdit::contextMenuEvent(QContextMenuEvent* event) {
  QPointer<QMenu> menu = lineEdit()->createStandardContextMenu();
  if (!menu) return;
  // The standard paste goes around the check above; route it through Paste().
  for (QAction* action : menu->actions()) {
    if (action->objectName() == QLatin1String("edit-paste")) {
      disconnect(action, &QAction::triggered, nullptr, nullptr);
      connect(action, &QAction::triggered, this, &LevelEdit::Paste);
    }
  }
  menu->addSeparator();
  QAction* up = menu->addAction(tr("&Step up"));
  QAction* down = menu->addAction(tr("Step &down"));
  const QPointer<LevelEdit> self = this;
  const QAction* chosen = menu->exec(event->globalPos());
  delete menu.data();
  if (self && chosen == up) stepBy(1);
  if (self && chosen == down) stepBy(-1);
  event->accept();
}

}  // namespace picrelink::ui
