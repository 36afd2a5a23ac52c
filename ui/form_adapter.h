#pragma once
// The window's controls and boxes as the relocation commands see them, and
// the adapters that let a command run on another thread.
#include <QObject>
#include <QPointer>
#include <QString>

#include "relocation/form_values.h"

class QAbstractButton;
class QCheckBox;

namespace picrelink::ui {

class LevelEdit;
class PathEdit;

// The form values over the window's controls, read and written through them
// each time; only on the window's thread.
class FormAdapter : public FormValues {
 public:
  FormAdapter(PathEdit& btn1, PathEdit& btn2, PathEdit& btn3, LevelEdit& edtnum,
              QCheckBox& checkBox1);

  std::u16string Btn1() const override;
  std::u16string Btn2() const override;
  std::u16string Btn3() const override;
  void SetBtn1(std::u16string_view text) override;
  void SetBtn2(std::u16string_view text) override;
  void SetBtn3(std::u16string_view text) override;
  std::u16string LevelText() const override;
  void SetLevelText(std::u16string_view text) override;
  bool BackupChecked() const override;

 private:
  PathEdit& btn1_;
  PathEdit& btn2_;
  PathEdit& btn3_;
  LevelEdit& edtnum_;
  QCheckBox& checkBox1_;
};

// A button as the trigger of commands: unavailable (greyed, taking neither
// clicks nor keys) while any holder holds it. Each SetAvailable(false) is a
// hold that one SetAvailable(true) releases. A button that had the focus
// when the first hold came gets it back when the last one goes.
class ButtonTrigger : public Trigger {
 public:
  explicit ButtonTrigger(QAbstractButton& button);
  void SetAvailable(bool available) override;

 private:
  QPointer<QAbstractButton> button_;
  int holds_ = 0;
  bool hadFocus_ = false;
};

// A trigger for a command on another thread: each call is handed in order to
// target on the thread of context. context must outlive the command; a call
// still queued when context goes is dropped.
class QueuedTrigger : public Trigger {
 public:
  QueuedTrigger(QObject& context, Trigger& target);
  void SetAvailable(bool available) override;

 private:
  QObject& context_;
  Trigger& target_;
};

}  // namespace picrelink::ui
