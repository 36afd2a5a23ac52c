#include "win32/path_edit.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "relocation/session/window_texts.h"
#include "win32/control_ids.h"
#include "win32/window_font.h"

namespace picrelink::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 1;

bool CtrlDown() { return (GetKeyState(VK_CONTROL) & 0x8000) != 0; }

}  // namespace

void PathEdit::Create(HWND parent, int id, int buttonId, std::function<void()> onBrowse) {
  onBrowse_ = std::move(onBrowse);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | WS_CLIPSIBLINGS, 0,
                          0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          instance, nullptr);
  const std::wstring dots = Wide(kBrowseText);
  // Not a tab stop of its own: the edit's Ctrl+Enter reaches it.
  button_ = CreateWindowExW(
      0, L"BUTTON", dots.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_PUSHBUTTON, 0, 0, 0,
      0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttonId)), instance, nullptr);
  KeepButtonAbove();
  SetWindowSubclass(edit_, EditProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void PathEdit::KeepButtonAbove() {
  // Just above the edit: the edit's place among the tab stops stays as it is.
  HWND above = GetWindow(edit_, GW_HWNDPREV);
  if (above == button_) return;
  SetWindowPos(button_, above ? above : HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void PathEdit::Clicked() {
  // A click gives a push button the focus; typing goes on in the edit, and
  // the edit is where the focus comes back after the dialog.
  if (GetFocus() != edit_) SetFocus(edit_);
  if (onBrowse_) onBrowse_();
}

void PathEdit::Place(int left, int top, int width, UINT dpi, HFONT font) {
  SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const int height = LineHeight(font) + Scaled(8, dpi);
  MoveWindow(edit_, Scaled(left, dpi), Scaled(top, dpi), Scaled(width, dpi), height, TRUE);
  PlaceButton();
}

void PathEdit::PlaceButton() {
  // Over the right end of the edit's client area, inside its border.
  RECT client{};
  GetClientRect(edit_, &client);
  MapWindowPoints(edit_, GetParent(edit_), reinterpret_cast<POINT*>(&client), 2);
  const int height = client.bottom - client.top;
  const int width = height + height / 3;
  MoveWindow(button_, client.right - width, client.top, width, height, TRUE);
  // The text stops short of the button.
  SendMessageW(edit_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, width + 2));
}

LRESULT CALLBACK PathEdit::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR /*id*/, DWORD_PTR selfPointer) {
  auto* self = reinterpret_cast<PathEdit*>(selfPointer);
  switch (message) {
    case WM_GETDLGCODE: {
      // Ctrl+Enter is the edit's own, not the dialog keys'.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN && CtrlDown()) {
        return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTMESSAGE;
      }
      break;
    }
    case WM_KEYDOWN:
      if (wParam == VK_RETURN && CtrlDown()) {
        self->Clicked();
        return 0;
      }
      break;
    case WM_CHAR:
      // Ctrl+Enter's character (line feed) would only beep.
      if (wParam == L'\n' || wParam == L'\r') return 0;
      break;
    case WM_SIZE:
    case WM_MOVE:
      self->PlaceButton();
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, EditProc, kSubclassId);
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace picrelink::win32
