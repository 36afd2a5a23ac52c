#pragma once
// The main window: the five form values in their controls, the two commands
// and the three browse buttons, each handed to the relocation operations.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;

namespace picrelink::ui {

class Dialogs;
class FormAdapter;
class LevelEdit;
class PathEdit;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Gives the program's folder, ending in the local separator; an error it
  // raises is a start-up error.
  using ProgramFolderSource = std::function<std::u16string()>;

  // Builds the window and runs start-up before it is shown; a start-up error
  // is shown at once through dialogs, and the window is built all the same.
  TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, QWidget* parent = nullptr);
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

  // The handlers. Errors escape them; the window shows whatever escapes.
  void FormCreate();
  void cxButton1Click(QObject* sender);
  void cxButton30Click(QPushButton* sender);
  void cxButtonEdit2PropertiesButtonClick(PathEdit* sender);
  void btn2PropertiesButtonClick(PathEdit* sender);

 private:
  void CreateControls();
  void ConnectHandlers();
  // Runs a handler; an error that escapes it is shown in the error box.
  void ShowingErrors(const std::function<void()>& handler);

  Dialogs& dialogs_;
  ProgramFolderSource programFolder_;
  std::unique_ptr<FormAdapter> values_;
};

}  // namespace picrelink::ui
