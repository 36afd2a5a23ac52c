#include "win32/level_edit.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "win32/window_font.h"

namespace picrelink::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr int kButtonsWidth = 17;

bool Acceptable(std::u16string_view text, char16_t separator) {
  return IsAcceptableLevelText(text, separator);
}

}  // namespace

char16_t UserDecimalSeparator() {
  wchar_t separator[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 1) {
    return static_cast<char16_t>(separator[0]);
  }
  return u'.';
}

void LevelEdit::Create(HWND parent, int id, int upDownId, char16_t separator) {
  separator_ = separator;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  edit_ =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"1",
                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL, 0, 0, 0, 0,
                      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  upDown_ =
      CreateWindowExW(0, UPDOWN_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(upDownId)), instance, nullptr);
  // Up is the growing direction; the position itself is never used.
  SendMessageW(upDown_, UDM_SETRANGE32, 0, 100);
  SendMessageW(upDown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit_), 0);
  SetWindowSubclass(edit_, EditProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void LevelEdit::Place(int left, int top, int width, int height, UINT dpi, HFONT font) {
  SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  // The buttons beside the edit, inside the rectangle: placed by hand, since
  // the buttons' own alignment lets them overlap the edit's border.
  const int buttons = Scaled(kButtonsWidth, dpi);
  const int outer = Scaled(width, dpi);
  MoveWindow(edit_, Scaled(left, dpi), Scaled(top, dpi), outer - buttons, Scaled(height, dpi),
             TRUE);
  MoveWindow(upDown_, Scaled(left, dpi) + outer - buttons, Scaled(top, dpi), buttons,
             Scaled(height, dpi), TRUE);
}

void LevelEdit::Show(Level level) {
  SetWindowText(edit_, LevelToText(level, separator_));
  const LRESULT length = SendMessageW(edit_, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(length), length);
}

void LevelEdit::Step(int steps) { Show(StepLevel(LevelFromText(Text(), separator_), steps)); }

bool LevelEdit::Notified(const NMHDR& header, LRESULT& result) {
  if (header.hwndFrom != upDown_ || header.code != UDN_DELTAPOS) return false;
  const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
  // Pressing the buttons first gives the edit the focus.
  if (GetFocus() != edit_) SetFocus(edit_);
  if (change.iDelta != 0) Step(change.iDelta > 0 ? 1 : -1);
  result = TRUE;  // the buttons keep no position of their own
  return true;
}

LRESULT LevelEdit::Guarded(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           bool selectAll) {
  const std::u16string before = Text();
  DWORD start = 0, end = 0;
  SendMessageW(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  if (!Acceptable(Text(), separator_)) {
    SetWindowText(window, before);
    if (selectAll) {
      SendMessageW(window, EM_SETSEL, 0, -1);
    } else {
      SendMessageW(window, EM_SETSEL, start, end);
    }
  }
  return result;
}

LRESULT CALLBACK LevelEdit::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR /*id*/, DWORD_PTR self) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, EditProc, kSubclassId);
    return DefSubclassProc(window, message, wParam, lParam);
  }
  return reinterpret_cast<LevelEdit*>(self)->Handle(window, message, wParam, lParam);
}

LRESULT LevelEdit::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETDLGCODE: {
      // Escape is the edit's own while it has the focus.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key && key->message == WM_KEYDOWN && key->wParam == VK_ESCAPE) {
        return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTMESSAGE;
      }
      break;
    }
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_UP:
          Step(1);
          return 0;
        case VK_DOWN:
          Step(-1);
          return 0;
        case VK_ESCAPE:
          Show(entered_);
          SendMessageW(window, EM_SETSEL, 0, -1);
          return 0;
        case VK_DELETE:
          return Guarded(window, message, wParam, lParam, false);
        default:
          break;
      }
      break;
    case WM_CHAR: {
      const auto typed = static_cast<wchar_t>(wParam);
      if (typed == 0x1B || typed == L'\r' || typed == L'\n') return 0;  // no beep
      if (typed < 0x20) return Guarded(window, message, wParam, lParam, false);
      // Both "." and "," type the decimal separator.
      const wchar_t character =
          typed == L'.' || typed == L',' ? static_cast<wchar_t>(separator_) : typed;
      DWORD start = 0, end = 0;
      SendMessageW(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
      std::u16string would = Text();
      would.replace(start, end - start, 1, static_cast<char16_t>(character));
      if (!Acceptable(would, separator_)) {
        MessageBeep(MB_OK);
        return 0;
      }
      return DefSubclassProc(window, message, character, lParam);
    }
    case WM_PASTE:
    case WM_UNDO:
    case EM_UNDO:
      return Guarded(window, message, wParam, lParam, true);
    case WM_CUT:
    case WM_CLEAR:
      return Guarded(window, message, wParam, lParam, false);
    case WM_MOUSEWHEEL:
      if (GetFocus() == window) {
        wheel_ += GET_WHEEL_DELTA_WPARAM(wParam);
        const int steps = wheel_ / WHEEL_DELTA;
        wheel_ -= steps * WHEEL_DELTA;
        if (steps != 0) Step(steps);
        return 0;
      }
      break;
    case WM_SETFOCUS:
      entered_ = LevelFromText(Text(), separator_);
      wheel_ = 0;
      break;
    case WM_KILLFOCUS: {
      // Leaving shows the value as it counts: 5 as "1", 0.50 as "0.5".
      const std::u16string shown = LevelToText(LevelFromText(Text(), separator_), separator_);
      if (shown != Text()) SetWindowText(window, shown);
      break;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace picrelink::win32
