#pragma once
// The level count control (edtnum): a number from 0 to 1 with up/down
// buttons, shown as its shortest decimal text. Whoever reads the level reads
// the shown text (text()), which is what the user typed until the control is
// left.
#include <QAbstractSpinBox>

#include "ui/level_text.h"

namespace picrelink::ui {

class LevelEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit LevelEdit(QWidget* parent = nullptr);

  // The value that the shown text stands for.
  Level Value() const;
  // Shows the value in its shortest form.
  void SetValue(Level level);

  // The inner line edit, for reading its selection.
  using QAbstractSpinBox::lineEdit;

  QValidator::State validate(QString& input, int& pos) const override;
  void stepBy(int steps) override;

  // Button press auto-repeat: the first repeat and the interval after it.
  static constexpr int kRepeatDelayMs = 400;
  static constexpr int kRepeatIntervalMs = 100;

 protected:
  StepEnabled stepEnabled() const override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QChar Separator() const;
  // A paste whose result would not be a level leaves the old text, selected.
  void Paste();

  Level valueOnEntry_;
};

}  // namespace picrelink::ui
