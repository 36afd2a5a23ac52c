#include "win32/folder_browser.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <memory>
#include <stdexcept>

#include "relocation/session/folder_browser_frame.h"
#include "relocation/session/path_elision.h"
#include "win32/shell_tree.h"
#include "win32/window_font.h"

namespace picrelink::win32 {
namespace {

namespace frame = picrelink::folder_browser;

// The shell's reports of changed folders.
constexpr UINT kShellChanged = WM_APP + 1;

constexpr DWORD kStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

struct Browser {
  std::wstring initialPath;
  HWND dialog = nullptr;
  HWND label = nullptr;
  HWND box = nullptr;
  HWND tree = nullptr;
  HWND ok = nullptr;
  HWND cancel = nullptr;
  HWND grip = nullptr;
  HFONT font = nullptr;
  UINT dpi = 96;
  std::unique_ptr<ShellTree> shell;
  std::wstring boxPath;
  std::wstring chosen;  // after OK
  std::string failure;  // why the browser could not open
};

// The system's font for dialogs (the message font) at dpi.
HFONT CreateDialogFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
    return CreateWindowFont(12, dpi);
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

HWND MakeControl(HWND dialog, DWORD exStyle, const wchar_t* kind, std::u16string_view text,
                 DWORD style, int id) {
  const std::wstring wide = Wide(text);
  return CreateWindowExW(exStyle, kind, wide.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                         dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

void ShowBoxPath(Browser& browser) {
  RECT client{};
  GetClientRect(browser.box, &client);
  const DWORD margins = static_cast<DWORD>(SendMessageW(browser.box, EM_GETMARGINS, 0, 0));
  // Room for the caret after the last character.
  const int width = client.right - LOWORD(margins) - HIWORD(margins) - Scaled(2, browser.dpi);
  const std::u16string shown =
      ElideLeadingFolders(U16(browser.boxPath), u'\\', width, [&](std::u16string_view text) {
        return static_cast<int>(TextExtent(browser.font, Wide(text)).cx);
      });
  SetWindowText(browser.box, shown);
}

void Layout(Browser& browser) {
  RECT client{};
  GetClientRect(browser.dialog, &client);
  const UINT dpi = browser.dpi;
  // The design's pixels at 96 dpi: the client area is measured back to them,
  // and every part scaled from its place there.
  const frame::Places places = frame::PlaceParts(MulDiv(client.right, 96, static_cast<int>(dpi)),
                                                 MulDiv(client.bottom, 96, static_cast<int>(dpi)));
  const auto place = [&](HWND control, const frame::Place& at, int height) {
    MoveWindow(control, Scaled(at.left, dpi), Scaled(at.top, dpi), Scaled(at.width, dpi),
               at.height > 0 ? Scaled(at.height, dpi) : height, TRUE);
  };
  const SIZE label = TextExtent(browser.font, Wide(frame::kLabelText));
  MoveWindow(browser.label, Scaled(places.label.left, dpi), Scaled(places.label.top, dpi),
             label.cx + Scaled(2, dpi), label.cy, TRUE);
  // The box: a line of its font inside the edit's border.
  place(browser.box, places.box, LineHeight(browser.font) + Scaled(8, dpi));
  place(browser.tree, places.tree, 0);
  place(browser.ok, places.ok, 0);
  place(browser.cancel, places.cancel, 0);
  const int grip = GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
  MoveWindow(browser.grip, client.right - grip, client.bottom - grip, grip, grip, TRUE);
  ShowBoxPath(browser);
}

void SetFonts(Browser& browser) {
  for (HWND control : {browser.label, browser.box, browser.tree, browser.ok, browser.cancel}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(browser.font), TRUE);
  }
}

// Centred on the screen that holds the owner (else the main screen).
void PlaceWindow(Browser& browser, HWND owner) {
  RECT outer{0, 0, Scaled(frame::kClientWidth, browser.dpi),
             Scaled(frame::kClientHeight, browser.dpi)};
  AdjustWindowRectExForDpi(&outer, kStyle, FALSE, kExStyle, browser.dpi);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : browser.dialog, MONITOR_DEFAULTTOPRIMARY),
                  &monitor);
  const RECT& screen = monitor.rcWork;
  SetWindowPos(browser.dialog, nullptr, screen.left + (screen.right - screen.left - width) / 2,
               screen.top + (screen.bottom - screen.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Open(Browser& browser, HWND dialog) {
  browser.dialog = dialog;
  // The window is laid out here at each dpi; the dialog manager's own
  // scaling (for controls of a template) would move the parts a second time.
  // Looked up, not linked: Windows 10 before 1703 lacks it.
  using DpiBehavior = BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS, DIALOG_DPI_CHANGE_BEHAVIORS);
  if (auto set = reinterpret_cast<DpiBehavior>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")))) {
    set(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
  }
  browser.dpi = GetDpiForWindow(dialog);
  browser.font = CreateDialogFont(browser.dpi);
  SetWindowText(dialog, frame::kCaption);

  browser.label = MakeControl(dialog, 0, L"STATIC", frame::kLabelText, SS_LEFT | SS_NOPREFIX,
                              kFolderBrowserLabel);
  browser.box = MakeControl(dialog, WS_EX_CLIENTEDGE, L"EDIT", u"",
                            ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, kFolderBrowserBox);
  // Expand buttons and lines from the top entry on; the selection stays
  // drawn while the tree lacks the focus.
  browser.tree = MakeControl(dialog, WS_EX_CLIENTEDGE, WC_TREEVIEWW, u"",
                             WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                 TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP,
                             kFolderBrowserTree);
  browser.ok =
      MakeControl(dialog, 0, L"BUTTON", frame::kOkText, WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
  browser.cancel =
      MakeControl(dialog, 0, L"BUTTON", frame::kCancelText, WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
  browser.grip = MakeControl(dialog, 0, L"SCROLLBAR", u"",
                             SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN, kFolderBrowserGrip);
  SetFonts(browser);

  PlaceWindow(browser, GetWindow(dialog, GW_OWNER));
  Layout(browser);

  browser.shell = std::make_unique<ShellTree>(browser.tree);
  if (browser.initialPath.empty()) {
    browser.shell->SelectTop();
  } else {
    browser.shell->SelectFolder(browser.initialPath);
  }
  browser.boxPath = browser.shell->SelectedPath();
  ShowBoxPath(browser);
  browser.shell->WatchChanges(dialog, kShellChanged);
  SetFocus(browser.tree);
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

// The answer of a dialog procedure to a message that wants a value back.
INT_PTR Answer(HWND dialog, LRESULT value) {
  SetWindowLongPtrW(dialog, DWLP_MSGRESULT, value);
  return TRUE;
}

INT_PTR CALLBACK BrowserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    browser = reinterpret_cast<Browser*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    try {
      Open(*browser, dialog);
    } catch (const std::exception& error) {
      browser->failure = error.what();
      EndDialog(dialog, -1);
    }
    return FALSE;  // the focus is set: on the tree
  }
  if (browser == nullptr || !browser->shell) return FALSE;
  LRESULT result = 0;
  if (browser->shell->OnMenuMessage(message, wParam, lParam, &result)) {
    return Answer(dialog, result);
  }
  switch (message) {
    case WM_SIZE:
      Layout(*browser);
      return TRUE;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize.x = Scaled(frame::kMinimumOuterWidth, browser->dpi);
      limits->ptMinTrackSize.y = Scaled(frame::kMinimumOuterHeight, browser->dpi);
      return Answer(dialog, 0);
    }
    case WM_DPICHANGED: {
      browser->dpi = HIWORD(wParam);
      HFONT old = browser->font;
      browser->font = CreateDialogFont(browser->dpi);
      SetFonts(*browser);
      DeleteObject(old);
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(dialog, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(*browser);
      return Answer(dialog, 0);
    }
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
      if (header.hwndFrom == browser->tree) {
        if (header.code == TVN_SELCHANGEDW) {
          browser->boxPath = browser->shell->SelectedPath();
          ShowBoxPath(*browser);
          return Answer(dialog, 0);
        }
        if (header.code == NM_RCLICK) {
          // A right click selects the entry under it and opens its menu.
          const DWORD at = GetMessagePos();
          browser->shell->ShowContextMenu(
              dialog, POINT{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))});
          return Answer(dialog, TRUE);
        }
      }
      if (browser->shell->OnNotify(header, &result)) return Answer(dialog, result);
      return FALSE;
    }
    case WM_CONTEXTMENU:
      // The menu key or Shift+F10 in the tree: the selected entry's menu.
      if (reinterpret_cast<HWND>(wParam) == browser->tree) {
        browser->shell->ShowContextMenu(dialog, POINT{-1, -1});
        return TRUE;
      }
      return FALSE;
    case kShellChanged:
      browser->shell->OnShellChange(wParam, lParam);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        browser->chosen = browser->shell->SelectedPath();
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      // The entries go while the tree still lives.
      browser->shell.reset();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::optional<std::u16string> BrowseForFolder(HWND owner, std::u16string_view initialPath) {
  // The busy pointer while the browser is prepared, and again after it has
  // closed until it is released.
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  Browser browser;
  browser.initialPath = Wide(initialPath);

  // A dialog of no controls of its own; they are made at its dpi when it opens.
  struct alignas(4) Template {
    DLGTEMPLATE head;
    WORD menu;
    WORD windowClass;
    WORD title;
  } dialogTemplate{};
  dialogTemplate.head.style = kStyle;
  dialogTemplate.head.dwExtendedStyle = kExStyle;

  const INT_PTR answer =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialogTemplate.head, owner, BrowserProc,
                              reinterpret_cast<LPARAM>(&browser));
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (browser.font) DeleteObject(browser.font);
  SetCursor(previous);
  if (answer == -1) {
    throw std::runtime_error(browser.failure.empty() ? "The folder browser cannot be opened."
                                                     : browser.failure);
  }
  if (answer != IDOK) return std::nullopt;
  return U16(browser.chosen);
}

}  // namespace picrelink::win32
