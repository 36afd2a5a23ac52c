#pragma once
// The main window: the five form values in their controls, the two commands
// and the three browse buttons, each handed to the relocation operations,
// and the status area that tells what the census of the values found.
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "relocation/form_values.h"
#include "relocation/language.h"
#include "relocation/session/window_session.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace picrelink::ui {

class BackgroundJobs;
class ButtonTrigger;
class Dialogs;
class FormAdapter;
class LevelEdit;
class PathEdit;
class StatusArea;

// A window's settings are those of its session: the language of the texts
// from relocation/, the status's and the progress's delays, the run's buffers.
using WindowSettings = SessionSettings;

// The settings of a window in language.
WindowSettings WindowSettingsFor(Language language);

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Gives the program's folder, ending in the local separator; an error it
  // raises is a start-up error.
  using ProgramFolderSource = std::function<std::u16string()>;

  // Builds the window and runs start-up before it is shown; a start-up error
  // is shown at once through dialogs, and the window is built all the same.
  // The census for the status area starts at once, on a thread of its own.
  TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, WindowSettings settings,
         QWidget* parent = nullptr);
  // In the system's language.
  TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, QWidget* parent = nullptr);
  // Cancels what still runs and waits for it.
  ~TForm1() override;

  // The controls, from top to bottom.
  QLabel* cxLabel4;
  QLabel* cxLabel2;
  PathEdit* btn1;
  QLabel* Label8;
  LevelEdit* edtnum;
  QPushButton* cxButton1;
  QLabel* cxLabel3;
  PathEdit* btn2;
  QLabel* cxLabel30;
  PathEdit* btn3;
  QCheckBox* CheckBox1;
  QPushButton* cxButton30;
  QLabel* cxLabel1;
  // Below them.
  StatusArea* statusArea;

  // The handlers. Errors escape them; the window shows whatever escapes.
  void FormCreate();
  void cxButton1Click(QObject* sender);
  void cxButton30Click(QPushButton* sender);
  void cxButtonEdit2PropertiesButtonClick(PathEdit* sender);
  void btn2PropertiesButtonClick(PathEdit* sender);

  // Whether the start command is at work: from the click until its message
  // has been dismissed.
  bool Starting() const { return session_->Starting(); }
  // Whether the status is still to come: a census runs or waits for the
  // keys to rest.
  bool StatusPending() const;

 signals:
  // The status area shows the census of the values (or why there is none).
  void StatusShown();
  // The start command is over: written, refused, failed or cancelled.
  void StartEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class Host;

  // Fits the tip into a client area clientWidth wide.
  void FitTip(int clientWidth);
  void CreateControls();
  void ConnectHandlers();
  // Runs a handler; an error that escapes it is shown in the error box.
  void ShowingErrors(const std::function<void()>& handler);
  void ShowDetails();

  Dialogs& dialogs_;
  ProgramFolderSource programFolder_;
  WindowSettings settings_;
  std::unique_ptr<FormAdapter> values_;
  std::unique_ptr<ButtonTrigger> startTrigger_;
  BackgroundJobs* jobs_;
  QTimer* statusDelay_;
  QTimer* progressTick_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<WindowSession> session_;
};

}  // namespace picrelink::ui
