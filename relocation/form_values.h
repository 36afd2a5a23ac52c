#pragma once
// The window's state as the relocation commands see it: the five form values,
// the availability of the control that started a command, and the message
// box. The window implements these over its controls; tests and the
// command-line companion implement them over plain values.
#include <string>
#include <string_view>

namespace picrelink {

class FormValues {
 public:
  virtual ~FormValues() = default;

  virtual std::u16string Btn1() const = 0;  // CSV path
  virtual std::u16string Btn2() const = 0;  // folder named in the CSV
  virtual std::u16string Btn3() const = 0;  // actual folder
  virtual void SetBtn1(std::u16string_view text) = 0;
  virtual void SetBtn2(std::u16string_view text) = 0;
  virtual void SetBtn3(std::u16string_view text) = 0;

  // The level edit's shown text (edtnum); read by detection only.
  virtual std::u16string LevelText() const = 0;
  // Written only when the seller takes the folder and level that the search
  // for the pictures found.
  virtual void SetLevelText(std::u16string_view text) = 0;
  // The backup choice (CheckBox1).
  virtual bool BackupChecked() const = 0;
};

// The control that started a command (the start button).
class Trigger {
 public:
  virtual ~Trigger() = default;
  virtual void SetAvailable(bool available) = 0;
};

// Modal message boxes that the commands show.
class Messages {
 public:
  virtual ~Messages() = default;
  // Information icon, one OK button; returns when the user dismisses it.
  virtual void ShowInformation(std::u16string_view text, std::u16string_view caption) = 0;
};

// Plain values, for tests and the command-line companion.
class MemoryFormValues : public FormValues {
 public:
  std::u16string btn1, btn2, btn3;
  std::u16string levelText = u"1";
  bool backup = false;
  mutable int levelReads = 0;  // how often detection read the level text

  std::u16string Btn1() const override { return btn1; }
  std::u16string Btn2() const override { return btn2; }
  std::u16string Btn3() const override { return btn3; }
  void SetBtn1(std::u16string_view text) override { btn1 = text; }
  void SetBtn2(std::u16string_view text) override { btn2 = text; }
  void SetBtn3(std::u16string_view text) override { btn3 = text; }
  std::u16string LevelText() const override {
    ++levelReads;
    return levelText;
  }
  void SetLevelText(std::u16string_view text) override { levelText = text; }
  bool BackupChecked() const override { return backup; }
};

// The five values as they are now, for a command on another thread.
inline MemoryFormValues SnapshotOf(const FormValues& values) {
  MemoryFormValues snapshot;
  snapshot.btn1 = values.Btn1();
  snapshot.btn2 = values.Btn2();
  snapshot.btn3 = values.Btn3();
  snapshot.levelText = values.LevelText();
  snapshot.backup = values.BackupChecked();
  return snapshot;
}

}  // namespace picrelink
