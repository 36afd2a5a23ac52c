#pragma once
// Dialogs with canned answers that record what the window asked for and how
// the window looked at that moment.
#include <optional>
#include <string>
#include <vector>

#include "win32/dialogs.h"
#include "win32/win32_text.h"

namespace picrelink::win32::test {

// Whether any window of this thread is shown.
inline bool AnyWindowVisible() {
  bool visible = false;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) -> BOOL {
        if (IsWindowVisible(window)) *reinterpret_cast<bool*>(found) = true;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&visible));
  return visible;
}

class FakeDialogs : public Dialogs {
 public:
  struct Shown {
    std::u16string text;
    std::u16string caption;
    bool windowVisible = false;
    std::optional<bool> startButtonEnabled;
  };

  // Watched while a box is shown, once set.
  HWND startButton = nullptr;

  std::vector<Shown> errors;
  std::vector<Shown> informations;
  std::vector<Shown> questions;
  bool questionAnswer = false;  // No, the question box's default
  std::vector<std::u16string> details;
  bool restoreAnswer = false;        // "恢复备份" chosen in the details
  std::vector<bool> restoreOffered;  // whether each details window offered it

  std::optional<std::u16string> csvAnswer;
  std::vector<std::u16string> csvAsked;  // the initial names passed
  std::optional<std::u16string> folderAnswer;
  std::vector<std::u16string> folderAsked;  // the initial paths passed

  void ShowError(std::u16string_view message) override { errors.push_back(Snapshot(message, {})); }
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override {
    informations.push_back(Snapshot(text, caption));
  }
  bool AskYesNo(std::u16string_view question, std::u16string_view caption) override {
    questions.push_back(Snapshot(question, caption));
    return questionAnswer;
  }
  bool ShowDetails(std::u16string_view text, bool offerRestore) override {
    details.emplace_back(text);
    restoreOffered.push_back(offerRestore);
    return offerRestore && restoreAnswer;
  }
  std::optional<std::u16string> ChooseCsvFile(std::u16string_view initialName) override {
    csvAsked.emplace_back(initialName);
    return csvAnswer;
  }
  std::optional<std::u16string> BrowseForFolder(std::u16string_view initialPath) override {
    folderAsked.emplace_back(initialPath);
    return folderAnswer;
  }

 private:
  Shown Snapshot(std::u16string_view text, std::u16string_view caption) const {
    Shown shown{std::u16string(text), std::u16string(caption), AnyWindowVisible(), std::nullopt};
    if (startButton) shown.startButtonEnabled = IsWindowEnabled(startButton) != FALSE;
    return shown;
  }
};

}  // namespace picrelink::win32::test
