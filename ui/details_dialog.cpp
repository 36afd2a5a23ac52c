#include "ui/details_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "relocation/session/offer_texts.h"
#include "ui/window_font.h"

namespace picrelink::ui {
namespace {

QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

}  // namespace

DetailsDialog::DetailsDialog(const QString& text, bool offerRestore, QWidget* parent)
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
  if (offerRestore) {
    restore_ = buttons->addButton(ToQString(kRestoreBackup), QDialogButtonBox::ResetRole);
    connect(restore_, &QPushButton::clicked, this, [this] { done(kRestore); });
  }
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
