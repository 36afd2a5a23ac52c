#pragma once
// The real boxes and dialogs of the window: the system's message boxes, the
// open-file dialog, the folder browser over the shell's folder tree and a
// details window.
#include "relocation/language.h"
#include "win32/dialogs.h"
#include "win32/win32_text.h"

namespace picrelink::win32 {

class SystemDialogs : public Dialogs {
 public:
  // programPath names the error box's caption; language the details window's
  // own texts.
  SystemDialogs(std::u16string programPath, Language language);
  // The window that the boxes after the error box belong to.
  void SetOwner(HWND owner) { owner_ = owner; }

  void ShowError(std::u16string_view message) override;
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override;
  bool AskYesNo(std::u16string_view question, std::u16string_view caption) override;
  bool ShowDetails(std::u16string_view text, bool offerRestore) override;
  std::optional<std::u16string> ChooseCsvFile(std::u16string_view initialName) override;
  std::optional<std::u16string> BrowseForFolder(std::u16string_view initialPath) override;

 private:
  std::u16string programPath_;
  Language language_;
  HWND owner_ = nullptr;
};

// The full path of the program's own file.
std::u16string ProgramPath();

}  // namespace picrelink::win32
