#pragma once
// The window's controls and boxes as the relocation commands see them, and
// the adapters that let a command run on another thread.
#include <string>

#include "relocation/form_values.h"
#include "win32/win32_text.h"

namespace picrelink::win32 {

class LevelEdit;
class PathEdit;

// The form values over the window's controls, read and written through them
// each time; only on the window's thread. While a value is being set,
// setting is true, so that the window tells it from the user's typing.
class FormAdapter : public FormValues {
 public:
  FormAdapter(PathEdit& btn1, PathEdit& btn2, PathEdit& btn3, LevelEdit& edtnum, HWND checkBox1);

  std::u16string Btn1() const override;
  std::u16string Btn2() const override;
  std::u16string Btn3() const override;
  void SetBtn1(std::u16string_view text) override;
  void SetBtn2(std::u16string_view text) override;
  void SetBtn3(std::u16string_view text) override;
  void SetLevelText(std::u16string_view text) override;
  std::u16string LevelText() const override;
  bool BackupChecked() const override;

  bool Setting() const { return setting_; }

 private:
  void Set(PathEdit& edit, std::u16string_view text);

  PathEdit& btn1_;
  PathEdit& btn2_;
  PathEdit& btn3_;
  LevelEdit& edtnum_;
  HWND checkBox1_;
  bool setting_ = false;
};

// A button as the trigger of commands: unavailable (greyed, taking neither
// clicks nor keys) while any holder holds it. Each SetAvailable(false) is a
// hold that one SetAvailable(true) releases. A button that had the focus
// when the first hold came gets it back when the last one goes.
class ButtonTrigger : public Trigger {
 public:
  explicit ButtonTrigger(HWND button) : button_(button) {}
  void SetAvailable(bool available) override;

 private:
  HWND button_;
  int holds_ = 0;
  bool hadFocus_ = false;
};

// A trigger for a command on another thread: each call is posted to window
// as message (wParam 1 for available), which hands it to the window's own
// trigger in order. A call posted after the window has gone is dropped.
class PostedTrigger : public Trigger {
 public:
  PostedTrigger(HWND window, UINT message) : window_(window), message_(message) {}
  void SetAvailable(bool available) override {
    PostMessageW(window_, message_, available ? 1 : 0, 0);
  }

 private:
  HWND window_;
  UINT message_;
};

}  // namespace picrelink::win32
