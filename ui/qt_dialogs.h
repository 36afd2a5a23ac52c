#pragma once
// The dialogs as the user sees them: message boxes, the open-file dialog for
// the CSV file and the folder browser.
#include <QString>
#include <memory>
#include <optional>

#include "ui/dialogs.h"

class QFileDialog;
class QMessageBox;

namespace picrelink::ui {

// The longest file path that the open-file dialog gives back; a longer one
// counts as a failed dialog.
inline constexpr qsizetype kMaxChosenPathLength = 259;

class QtDialogs : public Dialogs {
 public:
  // programFilePath names the program's own file; the error box takes its
  // caption from it.
  explicit QtDialogs(QString programFilePath);

  void ShowError(const QString& message) override;
  void ShowInformation(const QString& text, const QString& caption) override;
  bool AskYesNo(const QString& question, const QString& caption) override;
  bool ShowDetails(const QString& text, bool offerRestore) override;
  std::optional<QString> ChooseCsvFile(const QString& initialName) override;
  std::optional<QString> BrowseForFolder(const QString& initialPath) override;

 private:
  QString programFilePath_;
};

// The boxes and the open-file dialog as they are set up before they are shown.
std::unique_ptr<QMessageBox> MakeErrorBox(const QString& message, const QString& programFilePath);
std::unique_ptr<QMessageBox> MakeInformationBox(const QString& text, const QString& caption);
std::unique_ptr<QMessageBox> MakeQuestionBox(const QString& question, const QString& caption);
std::unique_ptr<QFileDialog> MakeCsvFileDialog(const QString& initialName);

// What the open-file dialog gives back: the chosen file's full path, or
// nothing when it was cancelled or the path is longer than it can give.
std::optional<QString> CsvDialogResult(bool accepted, const QStringList& chosen);

}  // namespace picrelink::ui
