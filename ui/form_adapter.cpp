#include "ui/form_adapter.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QStringView>

#include "ui/level_edit.h"
#include "ui/path_edit.h"

namespace picrelink::ui {
namespace {

QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

}  // namespace

FormAdapter::FormAdapter(PathEdit& btn1, PathEdit& btn2, PathEdit& btn3, LevelEdit& edtnum,
                         QCheckBox& checkBox1)
    : btn1_(btn1), btn2_(btn2), btn3_(btn3), edtnum_(edtnum), checkBox1_(checkBox1) {}

std::u16string FormAdapter::Btn1() const { return btn1_.text().toStdU16String(); }
std::u16string FormAdapter::Btn2() const { return btn2_.text().toStdU16String(); }
std::u16string FormAdapter::Btn3() const { return btn3_.text().toStdU16String(); }
void FormAdapter::SetBtn1(std::u16string_view text) { btn1_.setText(ToQString(text)); }
void FormAdapter::SetBtn2(std::u16string_view text) { btn2_.setText(ToQString(text)); }
void FormAdapter::SetBtn3(std::u16string_view text) { btn3_.setText(ToQString(text)); }
std::u16string FormAdapter::LevelText() const { return edtnum_.text().toStdU16String(); }
void FormAdapter::SetLevelText(std::u16string_view text) {
  edtnum_.lineEdit()->setText(ToQString(text));
}
bool FormAdapter::BackupChecked() const { return checkBox1_.isChecked(); }

ButtonTrigger::ButtonTrigger(QAbstractButton& button) : button_(&button) {}

void ButtonTrigger::SetAvailable(bool available) {
  if (!available) {
    if (holds_++ > 0 || !button_) return;
    hadFocus_ = button_->hasFocus();
    button_->setEnabled(false);
    return;
  }
  if (holds_ == 0 || --holds_ > 0 || !button_) return;
  button_->setEnabled(true);
  if (hadFocus_) button_->setFocus(Qt::OtherFocusReason);
  hadFocus_ = false;
}

QueuedTrigger::QueuedTrigger(QObject& context, Trigger& target)
    : context_(context), target_(target) {}

void QueuedTrigger::SetAvailable(bool available) {
  Trigger* target = &target_;
  QMetaObject::invokeMethod(
      &context_, [target, available] { target->SetAvailable(available); }, Qt::QueuedConnection);
}

}  // namespace picrelink::ui
