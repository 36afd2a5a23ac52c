#include "ui/form_adapter.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QStringView>

#include "ui/dialogs.h"
#include "ui/level_edit.h"
#include "ui/path_edit.h"

namespace picrelink::ui {
namespace {

QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

}  // namespace

FormAdapter::FormAdapter(PathEdit& btn1, PathEdit& btn2, PathEdit& btn3, LevelEdit& edtnum,
                         QCheckBox& checkBox1, Dialogs& dialogs)
    : btn1_(btn1),
      btn2_(btn2),
      btn3_(btn3),
      edtnum_(edtnum),
      checkBox1_(checkBox1),
      dialogs_(dialogs) {}

std::u16string FormAdapter::Btn1() const { return btn1_.text().toStdU16String(); }
std::u16string FormAdapter::Btn2() const { return btn2_.text().toStdU16String(); }
std::u16string FormAdapter::Btn3() const { return btn3_.text().toStdU16String(); }
void FormAdapter::SetBtn1(std::u16string_view text) { btn1_.setText(ToQString(text)); }
void FormAdapter::SetBtn2(std::u16string_view text) { btn2_.setText(ToQString(text)); }
void FormAdapter::SetBtn3(std::u16string_view text) { btn3_.setText(ToQString(text)); }
std::u16string FormAdapter::LevelText() const { return edtnum_.text().toStdU16String(); }
bool FormAdapter::BackupChecked() const { return checkBox1_.isChecked(); }

void FormAdapter::ShowInformation(std::u16string_view text, std::u16string_view caption) {
  dialogs_.ShowInformation(ToQString(text), ToQString(caption));
}

ButtonTrigger::ButtonTrigger(QAbstractButton& button) : button_(&button) {}

void ButtonTrigger::SetAvailable(bool available) {
  if (!button_) return;
  if (!available) {
    hadFocus_ = button_->hasFocus();
    button_->setEnabled(false);
    return;
  }
  button_->setEnabled(true);
  if (hadFocus_) button_->setFocus(Qt::OtherFocusReason);
  hadFocus_ = false;
}

}  // namespace picrelink::ui
