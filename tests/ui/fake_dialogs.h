#pragma once
// Dialogs with canned answers that record what the window asked for and how
// the window looked at that moment.
#include <QApplication>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "ui/dialogs.h"

namespace picrelink::ui::test {

inline bool AnyWindowVisible() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) return true;
  }
  return false;
}

class FakeDialogs : public Dialogs {
 public:
  struct Shown {
    QString text;
    QString caption;
    bool windowVisible = false;
    std::optional<bool> startButtonEnabled;  // when a start button was watched
  };

  // Watched while a box is shown; set once the window exists.
  QPushButton* startButton = nullptr;

  std::vector<Shown> errors;
  std::vector<Shown> informations;
  std::vector<Shown> questions;
  bool questionAnswer = false;  // No, the question box's default
  std::vector<QString> details;

  bool restoreAnswer = false;        // "恢复备份" chosen in the details
  std::vector<bool> restoreOffered;  // whether each details dialog offered it
  std::optional<QString> csvAnswer;
  std::vector<QString> csvAsked;  // the initial names passed
  std::optional<QString> folderAnswer;
  std::vector<QString> folderAsked;  // the initial paths passed

  void ShowError(const QString& message) override { errors.push_back(Snapshot(message, {})); }
  void ShowInformation(const QString& text, const QString& caption) override {
    informations.push_back(Snapshot(text, caption));
  }
  bool AskYesNo(const QString& question, const QString& caption) override {
    questions.push_back(Snapshot(question, caption));
    return questionAnswer;
  }
  bool ShowDetails(const QString& text, bool offerRestore) override {
    details.push_back(text);
    restoreOffered.push_back(offerRestore);
    return offerRestore && restoreAnswer;
  }
  std::optional<QString> ChooseCsvFile(const QString& initialName) override {
    csvAsked.push_back(initialName);
    return csvAnswer;
  }
  std::optional<QString> BrowseForFolder(const QString& initialPath) override {
    folderAsked.push_back(initialPath);
    return folderAnswer;
  }

 private:
  Shown Snapshot(const QString& text, const QString& caption) const {
    Shown shown{text, caption, AnyWindowVisible(), std::nullopt};
    if (startButton) shown.startButtonEnabled = startButton->isEnabled();
    return shown;
  }
};

}  // namespace picrelink::ui::test
