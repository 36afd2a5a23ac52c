#pragma once
// The window's controls as the relocation commands see them.
#include <QPointer>

#include "relocation/form_values.h"

class QAbstractButton;
class QCheckBox;

namespace picrelink::ui {

class Dialogs;
class LevelEdit;
class PathEdit;

// The form values over the window's controls, read and written through them
// each time, and the information box over the dialogs.
class FormAdapter : public FormValues, public Messages {
 public:
  FormAdapter(PathEdit& btn1, PathEdit& btn2, PathEdit& btn3, LevelEdit& edtnum,
              QCheckBox& checkBox1, Dialogs& dialogs);

  std::u16string Btn1() const override;
  std::u16string Btn2() const override;
  std::u16string Btn3() const override;
  void SetBtn1(std::u16string_view text) override;
  void SetBtn2(std::u16string_view text) override;
  void SetBtn3(std::u16string_view text) override;
  std::u16string LevelText() const override;
  bool BackupChecked() const override;

  void ShowInformation(std::u16string_view text, std::u16string_view caption) override;

 private:
  PathEdit& btn1_;
  PathEdit& btn2_;
  PathEdit& btn3_;
  LevelEdit& edtnum_;
  QCheckBox& checkBox1_;
  Dialogs& dialogs_;
};

// A button as the trigger of a command: unavailable means greyed, taking
// neither clicks nor keys. A button that had the focus gets it back.
class ButtonTrigger : public Trigger {
 public:
  explicit ButtonTrigger(QAbstractButton& button);
  void SetAvailable(bool available) override;

 private:
  QPointer<QAbstractButton> button_;
  bool hadFocus_ = false;
};

}  // namespace picrelink::ui
