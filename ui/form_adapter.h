#pragma once
// The window's controls and boxes as the relocation commands see them, and
// the adapters that let a command run on another thread.
#include <QObject>
#include <QPointer>
#include <QString>
#include <mutex>
#include <optional>

#include "relocation/form_values.h"

class QAbstractButton;
class QCheckBox;

namespace picrelink::ui {

class Dialogs;
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
  bool BackupChecked() const override;

  // The five values as they are now, for a command on another thread.
  MemoryFormValues Snapshot() const;

 private:
  PathEdit& btn1_;
  PathEdit& btn2_;
  PathEdit& btn3_;
  LevelEdit& edtnum_;
  QCheckBox& checkBox1_;
};

// The window's message boxes: the information box of the dialogs.
class DialogMessages : public Messages {
 public:
  explicit DialogMessages(Dialogs& dialogs);
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override;

 private:
  Dialogs& dialogs_;
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

// Messages of a command on another thread, held until the window's thread
// shows them once the command is over. A command shows one message at most;
// a later one takes the place of an earlier one.
class HeldMessages : public Messages {
 public:
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override;

  struct Held {
    QString text;
    QString caption;
  };
  // The held message, taken away.
  std::optional<Held> Take();

 private:
  std::mutex mutex_;
  std::optional<Held> held_;
};

}  // namespace picrelink::ui
