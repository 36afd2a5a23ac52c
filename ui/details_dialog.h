#pragma once
// The details behind the status area: the whole status and what the census
// found, in a read-only text that can be selected and copied.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace picrelink::ui {

class DetailsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit DetailsDialog(const QString& text, QWidget* parent = nullptr);

  QPlainTextEdit* TextView() const { return view_; }
  QPushButton* CopyButton() const { return copy_; }
  QPushButton* CloseButton() const { return close_; }

 private:
  QPlainTextEdit* view_;
  QPushButton* copy_;
  QPushButton* close_;
};

}  // namespace picrelink::ui
