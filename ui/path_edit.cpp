#include "ui/path_edit.h"

#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

namespace picrelink::ui {

PathEdit::PathEdit(QWidget* parent) : QLineEdit(parent), button_(new QToolButton(this)) {
  button_->setText(QStringLiteral("..."));
  button_->setFocusPolicy(Qt::NoFocus);
  button_->setCursor(Qt::ArrowCursor);
  // Pressing the button enters the edit first, as a click anywhere on the
  // control would; the control that is left finishes its input before the
  // browse handler runs.
  connect(button_, &QToolButton::pressed, this, [this] { setFocus(Qt::MouseFocusReason); });
  connect(button_, &QToolButton::clicked, this, &PathEdit::ButtonClicked);
  PlaceButton();
}

void PathEdit::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & Qt::ControlModifier)) {
    event->accept();
    emit ButtonClicked();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void PathEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceButton();
}

void PathEdit::PlaceButton() {
  QStyleOptionFrame option;
  initStyleOption(&option);
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
  const int height = std::max(0, this->height() - 2 * frame);
  const int width = std::max(height, button_->fontMetrics().horizontalAdvance(button_->text()) + 8);
  button_->setGeometry(this->width() - frame - width, frame, width, height);
  setTextMargins(0, 0, width, 0);
}

}  // namespace picrelink::ui
