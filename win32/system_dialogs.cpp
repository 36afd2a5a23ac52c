#include "win32/system_dialogs.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <algorithm>

#include "relocation/error_text.h"
#include "relocation/session/offer_texts.h"
#include "relocation/session/status_area_texts.h"
#include "relocation/session/window_texts.h"
#include "win32/folder_browser.h"
#include "win32/open_file_dialog.h"
#include "win32/window_font.h"

namespace picrelink::win32 {
namespace {

// ----------------------------------------------------------- details window

constexpr wchar_t kDetailsClass[] = L"PicRelinkDetails";
constexpr int kDetailsText = 10;
constexpr int kDetailsCopy = 11;
constexpr int kDetailsRestore = 12;

struct DetailsState {
  HWND text = nullptr;
  HWND copy = nullptr;
  HWND close = nullptr;
  HWND restore = nullptr;  // only when a backup can be put back
  HFONT font = nullptr;
  bool done = false;
  bool restoreChosen = false;
};

void CopyToClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* target = GlobalLock(memory)) {
      memcpy(target, text.c_str(), bytes);
      GlobalUnlock(memory);
      if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

void LayOutDetails(HWND window, const DetailsState& state) {
  RECT client{};
  GetClientRect(window, &client);
  const UINT dpi = GetDpiForWindow(window);
  const int margin = Scaled(10, dpi);
  const int buttonWidth = Scaled(88, dpi);
  const int buttonHeight = Scaled(25, dpi);
  const int buttonTop = client.bottom - margin - buttonHeight;
  MoveWindow(state.text, margin, margin, client.right - 2 * margin, buttonTop - 2 * margin, TRUE);
  MoveWindow(state.close, client.right - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight,
             TRUE);
  MoveWindow(state.copy, client.right - 2 * (margin + buttonWidth), buttonTop, buttonWidth,
             buttonHeight, TRUE);
  // Apart from the two, at the left: it writes.
  if (state.restore) MoveWindow(state.restore, margin, buttonTop, buttonWidth, buttonHeight, TRUE);
}

LRESULT CALLBACK DetailsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<DetailsState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(
                            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams));
      break;
    case WM_SIZE:
      if (state && state->text) LayOutDetails(window, *state);
      return 0;
    case WM_COMMAND:
      if (!state) break;
      if (LOWORD(wParam) == kDetailsCopy) {
        CopyToClipboard(window, Wide(WindowText(state->text)));
      } else if (LOWORD(wParam) == kDetailsRestore) {
        state->restoreChosen = true;
        state->done = true;
      } else if (LOWORD(wParam) == IDCANCEL) {
        state->done = true;
      }
      return 0;
    case WM_CLOSE:
      if (state) state->done = true;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window of width × height centred on owner (or, without one, on the
// monitor of window), kept inside the work area of the owner's monitor.
RECT CentredOn(HWND owner, HWND window, int width, int height) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  RECT around = area;
  if (owner) GetWindowRect(owner, &around);
  LONG left = around.left + (around.right - around.left - width) / 2;
  LONG top = around.top + (around.bottom - around.top - height) / 2;
  left = std::max(area.left, std::min(left, area.right - width));
  top = std::max(area.top, std::min(top, area.bottom - height));
  return {left, top, left + width, top + height};
}

}  // namespace

std::u16string ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return u"picrelink.exe";
    if (length < buffer.size()) {
      buffer.resize(length);
      return U16(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

SystemDialogs::SystemDialogs(std::u16string programPath, Language language)
    : programPath_(std::move(programPath)), language_(language) {}

void SystemDialogs::ShowError(std::u16string_view message) {
  const std::wstring text = Wide(ErrorBoxText(message));
  const std::wstring caption = Wide(ErrorBoxCaption(programPath_));
  // Task-modal and without an owner: it can come before the window exists,
  // and it still keeps the window from taking input while it is open.
  HWND active = GetActiveWindow();
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
  // A box of no window gives the activation back to none: the window that
  // was active takes it again, and with it its focus.
  if (active != nullptr && IsWindow(active) && IsWindowVisible(active)) {
    SetForegroundWindow(active);
    SetActiveWindow(active);
  }
}

void SystemDialogs::ShowInformation(std::u16string_view text, std::u16string_view caption) {
  const std::wstring wideText = Wide(text);
  const std::wstring wideCaption = Wide(caption);
  MessageBoxW(owner_, wideText.c_str(), wideCaption.c_str(), MB_OK | MB_ICONINFORMATION);
}

bool SystemDialogs::AskYesNo(std::u16string_view question, std::u16string_view caption) {
  const std::wstring text = Wide(question);
  const std::wstring wideCaption = Wide(caption);
  return MessageBoxW(owner_, text.c_str(), wideCaption.c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::optional<std::u16string> SystemDialogs::ChooseCsvFile(std::u16string_view initialName) {
  return ChooseOpenFile(owner_, initialName);
}

std::optional<std::u16string> SystemDialogs::BrowseForFolder(std::u16string_view initialPath) {
  return win32::BrowseForFolder(owner_, initialPath);
}

bool SystemDialogs::ShowDetails(std::u16string_view text, bool offerRestore) {
  const StatusAreaTexts& texts = StatusAreaTextsFor(language_);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpszClassName = kDetailsClass;
  windowClass.hInstance = instance;
  windowClass.lpfnWndProc = DetailsProc;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassExW(&windowClass);

  DetailsState state;
  const std::wstring title = Wide(texts.detailsTitle);
  HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME, kDetailsClass, title.c_str(),
                                WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                                0, 0, owner_, nullptr, instance, &state);
  if (window == nullptr) return false;
  const UINT dpi = GetDpiForWindow(window);
  state.font = CreateWindowFont(15, dpi);
  const std::wstring body = WithCrLf(text);
  state.text = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", body.c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL |
                                   ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                               0, 0, 0, 0, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDetailsText)),
                               instance, nullptr);
  const std::wstring copy = Wide(texts.copyAll);
  state.copy = CreateWindowExW(
      0, L"BUTTON", copy.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
      window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDetailsCopy)), instance, nullptr);
  const std::wstring close = Wide(texts.close);
  state.close = CreateWindowExW(
      0, L"BUTTON", close.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0,
      0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), instance, nullptr);
  if (offerRestore) {
    const std::wstring restore = Wide(kRestoreBackup);
    state.restore = CreateWindowExW(
        0, L"BUTTON", restore.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0,
        0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDetailsRestore)), instance,
        nullptr);
    SendMessageW(state.restore, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
  }
  for (HWND control : {state.text, state.copy, state.close}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
  }
  const RECT place = CentredOn(owner_, window, Scaled(640, dpi), Scaled(400, dpi));
  SetWindowPos(window, nullptr, place.left, place.top, place.right - place.left,
               place.bottom - place.top, SWP_NOZORDER);
  LayOutDetails(window, state);

  // Modal over the owner: the owner takes no input until the window closes.
  if (owner_) EnableWindow(owner_, FALSE);
  ShowWindow(window, SW_SHOW);
  SetFocus(state.text);
  MSG message{};
  while (!state.done) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (owner_) EnableWindow(owner_, TRUE);
  DestroyWindow(window);
  DeleteObject(state.font);
  if (owner_) SetActiveWindow(owner_);
  return state.restoreChosen;
}

}  // namespace picrelink::win32
