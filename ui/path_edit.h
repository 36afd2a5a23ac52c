#pragma once
// A path edit: free text with a "..." browse button inside its right end.
// The button fires on a click or on Ctrl+Enter while the edit has the focus.
#include <QLineEdit>

class QToolButton;

namespace picrelink::ui {

class PathEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit PathEdit(QWidget* parent = nullptr);

  QToolButton* BrowseButton() const { return button_; }

 signals:
  void ButtonClicked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceButton();

  QToolButton* button_;
};

}  // namespace picrelink::ui
