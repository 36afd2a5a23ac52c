#pragma once
// Every modal thing the window opens goes through this interface, so that
// tests answer with canned values instead of boxes that wait for a user.
#include <optional>
#include <string>
#include <string_view>

namespace picrelink::win32 {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // The error box: error icon, one OK button, the program title as its
  // caption; it belongs to the program, so it can appear before the window.
  virtual void ShowError(std::u16string_view message) = 0;
  // The information box: information icon, one OK button.
  virtual void ShowInformation(std::u16string_view text, std::u16string_view caption) = 0;
  // The question box: Yes and No, No the default; true for Yes.
  virtual bool AskYesNo(std::u16string_view question, std::u16string_view caption) = 0;
  // The status details in a read-only text that can be selected and copied;
  // with offerRestore also the button "恢复备份", which closes it: true when
  // the seller closed it so.
  virtual bool ShowDetails(std::u16string_view text, bool offerRestore) = 0;
  // The open-file dialog: the chosen file's full path, or nothing when it was
  // cancelled or failed.
  virtual std::optional<std::u16string> ChooseCsvFile(std::u16string_view initialName) = 0;
  // The folder browser: the confirmed path (possibly empty), or nothing when
  // it was cancelled.
  virtual std::optional<std::u16string> BrowseForFolder(std::u16string_view initialPath) = 0;
};

}  // namespace picrelink::win32
