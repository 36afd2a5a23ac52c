#include "ui/details_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/window_font.h"

namespace picrelink::ui {

DetailsDialog::DetailsDialog(const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      view_(new QPlainTextEdit(this)) {
  setWindowTitle(tr("Details"));
  setFont(WindowFont());
  setSizeGripEnabled(true);

  view_->setReadOnly(true);
  // Read-only text is still selected with the mouse and the keyboard.
  view_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  view_->setPlainText(text);

  auto* buttons = new QDialogButtonBox(this);
  copy_ = buttons->addButton(tr("Copy All"), QDialogButtonBox::ActionRole);
  close_ = buttons->addButton(QDialogButtonBox::Close);
  close_->setDefault(true);
  connect(copy_, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(view_->toPlainText()); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  layout->addWidget(buttons);
  resize(640, 400);
  view_->setFocus();
}

}  // namespace picrelink::ui
