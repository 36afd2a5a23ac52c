#pragma once
// The main window: the five form values in their controls, the two commands
// and the three browse buttons, each handed to the relocation operations,
// and the status area that tells what the census of the values found.
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "relocation/form_values.h"
#include "relocation/language.h"
#include "relocation/session/window_session.h"
#include "win32/level_edit.h"
#include "win32/path_edit.h"
#include "win32/status_area.h"
#include "win32/win32_text.h"

namespace picrelink::win32 {

class BackgroundJobs;
class ButtonTrigger;
class Dialogs;
class FormAdapter;

// The session's settings, and the window's own.
struct WindowSettings : SessionSettings {
  // The level edit's decimal separator.
  char16_t decimalSeparator = u'.';
  // Whether closing the window ends the message loop (the program's window).
  bool quitWhenClosed = true;
};

// The settings of the program's window: the user's language and separator.
WindowSettings UserWindowSettings();

class TForm1 {
 public:
  // Gives the program's folder, ending in the separator; an error it raises
  // is a start-up error.
  using ProgramFolderSource = std::function<std::u16string()>;

  // Builds the window, hidden, and runs start-up; a start-up error is shown
  // at once through dialogs, and the window is built all the same. The
  // census for the status area starts at once, on a thread of its own.
  TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, WindowSettings settings);
  // Cancels what still runs, waits for it, and destroys the window.
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Shows the window as showCommand says (maximised, minimised or normal)
  // with the focus on btn2.
  void Show(int showCommand);
  HWND Handle() const { return window_; }

  // The controls, from top to bottom.
  HWND cxLabel4 = nullptr;
  HWND cxLabel2 = nullptr;
  PathEdit btn1;
  HWND Label8 = nullptr;
  LevelEdit edtnum;
  HWND cxButton1 = nullptr;
  HWND cxLabel3 = nullptr;
  PathEdit btn2;
  HWND cxLabel30 = nullptr;
  PathEdit btn3;
  HWND CheckBox1 = nullptr;
  HWND cxButton30 = nullptr;
  HWND cxLabel1 = nullptr;
  // Below them.
  StatusArea statusArea;

  // The handlers. Errors escape them; the window shows whatever escapes.
  void FormCreate();
  void cxButton1Click(HWND sender);
  void cxButton30Click(HWND sender);
  void cxButtonEdit2PropertiesButtonClick(PathEdit& sender);
  void btn2PropertiesButtonClick(PathEdit& sender);

  // Whether the start command is at work: from the click until its message
  // has been dismissed.
  bool Starting() const { return session_->Starting(); }
  // Whether the status is still to come.
  bool StatusPending() const;
  // How often the status was shown, and the start command ended.
  int StatusesShown() const { return statusesShown_; }
  int StartsEnded() const { return startsEnded_; }

 private:
  class Host;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, int code);

  void CreateControls();
  void Layout();
  void PlaceLevelLabel();
  // Runs a handler; an error that escapes it is shown in the error box.
  void ShowingErrors(const std::function<void()>& handler);
  void Close();

  Dialogs& dialogs_;
  ProgramFolderSource programFolder_;
  WindowSettings settings_;
  HWND window_ = nullptr;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  HFONT statusFont_ = nullptr;
  // Smaller sizes of the window's face for the tip and the level's label,
  // where the face is too wide for their room at this dpi; null otherwise.
  struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
  };
  std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> tipFont_;
  std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> labelFont_;
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  std::unique_ptr<FormAdapter> values_;
  std::unique_ptr<ButtonTrigger> startTrigger_;
  std::unique_ptr<BackgroundJobs> jobs_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<WindowSession> session_;
  int statusesShown_ = 0;
  int startsEnded_ = 0;
};

}  // namespace picrelink::win32
