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
  // What exec() gives when the seller chose "恢复备份".
  static constexpr int kRestore = 2;

  // offerRestore: with the button "恢复备份", which closes the dialog.
  DetailsDialog(const QString& text, bool offerRestore, QWidget* parent = nullptr);

  QPlainTextEdit* TextView() const { return view_; }
  QPushButton* CopyButton() const { return copy_; }
  QPushButton* CloseButton() const { return close_; }
  QPushButton* RestoreButton() const { return restore_; }  // null without the offer

 private:
  QPlainTextEdit* view_;
  QPushButton* copy_;
  QPushButton* close_;
  QPushButton* restore_ = nullptr;
};

}  // namespace picrelink::ui
