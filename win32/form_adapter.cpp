#include "win32/form_adapter.h"

#include "win32/level_edit.h"
#include "win32/path_edit.h"

namespace picrelink::win32 {

FormAdapter::FormAdapter(PathEdit& btn1, PathEdit& btn2, PathEdit& btn3, LevelEdit& edtnum,
                         HWND checkBox1)
    : btn1_(btn1), btn2_(btn2), btn3_(btn3), edtnum_(edtnum), checkBox1_(checkBox1) {}

std::u16string FormAdapter::Btn1() const { return btn1_.Text(); }
std::u16string FormAdapter::Btn2() const { return btn2_.Text(); }
std::u16string FormAdapter::Btn3() const { return btn3_.Text(); }
void FormAdapter::SetBtn1(std::u16string_view text) { Set(btn1_, text); }
void FormAdapter::SetBtn2(std::u16string_view text) { Set(btn2_, text); }
void FormAdapter::SetBtn3(std::u16string_view text) { Set(btn3_, text); }
std::u16string FormAdapter::LevelText() const { return edtnum_.Text(); }
void FormAdapter::SetLevelText(std::u16string_view text) {
  setting_ = true;
  SetWindowText(edtnum_.Edit(), text);
  setting_ = false;
}

bool FormAdapter::BackupChecked() const {
  return SendMessageW(checkBox1_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void FormAdapter::Set(PathEdit& edit, std::u16string_view text) {
  setting_ = true;
  edit.SetText(text);
  setting_ = false;
}

void ButtonTrigger::SetAvailable(bool available) {
  if (!available) {
    if (holds_++ == 0) {
      hadFocus_ = GetFocus() == button_;
      EnableWindow(button_, FALSE);
    }
    return;
  }
  if (holds_ == 0 || --holds_ > 0) return;
  EnableWindow(button_, TRUE);
  if (hadFocus_) SetFocus(button_);
}

}  // namespace picrelink::win32
