// The program's entry: COM for its one thread, the main window, and the
// message loop until the window is closed.

#include "core/platform.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <commctrl.h>
// clang-format on
#include <exception>

#include "win32/system_dialogs.h"
#include "win32/unit1.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
  using namespace picrelink::win32;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS |
                                                      ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  const WindowSettings settings = UserWindowSettings();
  SystemDialogs dialogs(ProgramPath(), settings.language);
  int exitCode = 0;
  try {
    TForm1 form(
        dialogs, [] { return picrelink::platform::ProgramFolder(); }, settings);
    dialogs.SetOwner(form.Handle());
    form.Show(showCommand);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      // The dialog keys: Tab and Shift+Tab, Enter and Space on a button,
      // Escape to cancel the work of the start button.
      if (form.Handle() != nullptr && IsDialogMessageW(form.Handle(), &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    exitCode = static_cast<int>(message.wParam);
  } catch (const std::exception& error) {
    // Only the window itself could not be made; start-up's own errors are
    // shown by the window and do not end the program.
    dialogs.ShowError(FromUtf8(error.what()));
    exitCode = 1;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}
