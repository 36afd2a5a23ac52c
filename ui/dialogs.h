#pragma once
// Every modal thing the window opens goes through this interface, so that the
// window's behaviour can be exercised with canned answers instead of boxes
// that wait for a user.
#include <QString>
#include <optional>

namespace picrelink::ui {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // The error box: error icon, one OK button, the program title as its
  // caption; shown without a parent so that it can appear before the window.
  virtual void ShowError(const QString& message) = 0;
  // The information box: information icon, one OK button.
  virtual void ShowInformation(const QString& text, const QString& caption) = 0;
  // The question box: question icon, Yes and No with No the default (Enter
  // and Escape both answer No); true for Yes.
  virtual bool AskYesNo(const QString& question, const QString& caption) = 0;
  // The details of the status area in a read-only text that can be selected
  // and copied; returns when it is closed. With offerRestore it holds the
  // button "恢复备份" too: true when the seller closed it with that.
  virtual bool ShowDetails(const QString& text, bool offerRestore) = 0;
  // The open-file dialog for the CSV file: the chosen file's full path, or
  // nothing when it was cancelled or failed.
  virtual std::optional<QString> ChooseCsvFile(const QString& initialName) = 0;
  // The folder browser: the confirmed path (possibly empty), or nothing when
  // it was cancelled.
  virtual std::optional<QString> BrowseForFolder(const QString& initialPath) = 0;
};

}  // namespace picrelink::ui
