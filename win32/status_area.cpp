#include "win32/status_area.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cmath>

#include "relocation/session/band_lines.h"
#include "relocation/session/offer_texts.h"
#include "relocation/session/status_area_texts.h"
#include "relocation/session/status_band.h"
#include "win32/control_ids.h"
#include "win32/window_font.h"

namespace picrelink::win32 {
namespace {

using namespace status_band;

// The stage's words before the bar.
constexpr int kProgressTextWidth = 150;

// The status text is a multi-line edit, which would keep Tab and Enter for
// itself: they stay the window's dialog keys.
LRESULT CALLBACK StatusTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                UINT_PTR id, DWORD_PTR /*data*/) {
  if (message == WM_GETDLGCODE) {
    return DefSubclassProc(window, message, wParam, lParam) &
           ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, StatusTextProc, id);
  return DefSubclassProc(window, message, wParam, lParam);
}

HWND MakeChild(HWND parent, const wchar_t* kind, std::u16string_view text, DWORD style, int id,
               DWORD exStyle = 0) {
  const std::wstring wide = Wide(text);
  return CreateWindowExW(exStyle, kind, wide.c_str(), WS_CHILD | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

void StatusArea::Create(HWND parent, Language language) {
  language_ = language;
  const StatusAreaTexts& texts = StatusAreaTextsFor(language);
  // A read-only edit rather than a label, so that the seller can select and
  // copy what it says; a click gives it the focus, Tab never does.
  text_ = MakeChild(parent, L"EDIT", u"", WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                    kIdStatusText);
  SetWindowSubclass(text_, StatusTextProc, 1, 0);
  detailsButton_ =
      MakeChild(parent, L"BUTTON", texts.detailsButton, BS_PUSHBUTTON, kIdStatusDetails);
  progressText_ = MakeChild(parent, L"STATIC", u"", SS_LEFT | SS_NOPREFIX, kIdStatusProgressText);
  progress_ = MakeChild(parent, PROGRESS_CLASSW, u"", 0, kIdStatusProgress);
  SendMessageW(progress_, PBM_SETRANGE32, 0, kProgressSteps);
  cancelButton_ = MakeChild(parent, L"BUTTON", texts.cancelButton, BS_PUSHBUTTON, kIdStatusCancel);
  offerButton_ = MakeChild(parent, L"BUTTON", kUseSuggestion, BS_PUSHBUTTON, kIdStatusOffer);
  // What the cancel button does, when the pointer rests on it.
  hint_ = Wide(texts.cancelHint);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0,
                             0, 0, 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = parent;
  tool.uId = reinterpret_cast<UINT_PTR>(cancelButton_);
  tool.lpszText = hint_.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // The whole status, when the pointer rests on its text.
  tip_.assign(1, L' ');
  tool.uId = reinterpret_cast<UINT_PTR>(text_);
  tool.lpszText = tip_.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void StatusArea::Place(UINT dpi, HFONT font, HFONT buttonFont, int bottom) {
  dpi_ = dpi;
  font_ = font;
  for (HWND control : {text_, progress_, progressText_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  // The buttons in the controls' face, as the window's other buttons.
  for (HWND control : {detailsButton_, cancelButton_, offerButton_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont), FALSE);
  }
  const int line = LineHeight(font);
  const int top = Scaled(kTop, dpi);
  const int left = Scaled(kLeft, dpi);
  const int buttonWidth = Scaled(kButtonWidth, dpi);
  const int buttonHeight = Scaled(kButtonHeight, dpi);
  const int textWidth = Scaled(kRight - kLeft - kButtonWidth - kGap, dpi);
  const int shownWidth = offered_ ? Scaled(kOfferLeft - kGap - kLeft, dpi) : textWidth;
  const int buttonLeft = Scaled(kRight - kButtonWidth, dpi);
  // As many whole lines as there is room for down to the bottom.
  lines_ = std::max(1, (bottom - top) / line);
  MoveWindow(text_, left, top, shownWidth, lines_ * line, TRUE);
  MoveWindow(offerButton_, Scaled(kOfferLeft, dpi), top, buttonWidth, buttonHeight, TRUE);
  MoveWindow(detailsButton_, buttonLeft, top, buttonWidth, buttonHeight, TRUE);
  MoveWindow(cancelButton_, buttonLeft, top, buttonWidth, buttonHeight, TRUE);
  const int progressTextWidth = Scaled(kProgressTextWidth, dpi);
  MoveWindow(progressText_, left, top + (buttonHeight - line) / 2, progressTextWidth, line, TRUE);
  MoveWindow(progress_, left + progressTextWidth, top + Scaled(2, dpi),
             textWidth - progressTextWidth, buttonHeight - Scaled(4, dpi), TRUE);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scaled(kRight - kLeft, dpi));
  Fit();
}

void StatusArea::Fit() {
  if (text_ == nullptr) return;
  RECT format{};
  SendMessageW(text_, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  // A pixel spare: the edit breaks a line that fills its width exactly.
  const int width = format.right - format.left - 1;
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font_);
  const BandLines fitted = FitBandLines(whole_, lines_, width, [screen](std::u16string_view line) {
    SIZE size{};
    GetTextExtentPoint32W(screen, reinterpret_cast<const wchar_t*>(line.data()),
                          static_cast<int>(line.size()), &size);
    return static_cast<int>(size.cx);
  });
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  const std::wstring shown = WithCrLf(fitted.text);
  SetWindowTextW(text_, shown.c_str());
  tip_ = WithCrLf(whole_);
  if (tip_.empty()) tip_.assign(1, L' ');
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(text_);
  tool.uId = reinterpret_cast<UINT_PTR>(text_);
  tool.lpszText = tip_.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void StatusArea::ShowStatus(std::u16string_view text, std::u16string_view details) {
  details_ = details;
  whole_ = text;
  Fit();
  ShowWindow(detailsButton_, !details_.empty() && !progressShown_ ? SW_SHOWNA : SW_HIDE);
}

void StatusArea::ShowNote(std::u16string_view note) {
  whole_ = note;
  Fit();
}

void StatusArea::ShowChecking(double share) {
  whole_ = CheckingText(ProgressSteps(share) / 10, language_);
  Fit();
}

void StatusArea::ShowProgress(Stage stage, double share) {
  const int percent = ProgressSteps(share) / 10;
  SetWindowText(progressText_, stage == Stage::Checking ? CheckingText(percent, language_)
                                                        : AdjustingText(percent, language_));
  SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(ProgressSteps(share)), 0);
  if (progressShown_) return;
  progressShown_ = true;
  ShowWindow(text_, SW_HIDE);
  ShowWindow(detailsButton_, SW_HIDE);
  ShowWindow(offerButton_, SW_HIDE);
  ShowWindow(progressText_, SW_SHOWNA);
  ShowWindow(progress_, SW_SHOWNA);
  ShowWindow(cancelButton_, SW_SHOWNA);
}

void StatusArea::HideProgress() {
  if (!progressShown_) return;
  progressShown_ = false;
  ShowWindow(progressText_, SW_HIDE);
  ShowWindow(progress_, SW_HIDE);
  ShowWindow(cancelButton_, SW_HIDE);
  SendMessageW(progress_, PBM_SETPOS, 0, 0);
  ShowWindow(text_, SW_SHOWNA);
  ShowWindow(detailsButton_, details_.empty() ? SW_HIDE : SW_SHOWNA);
  ShowWindow(offerButton_, offered_ ? SW_SHOWNA : SW_HIDE);
}

void StatusArea::ShowOffer(bool shown) {
  offered_ = shown;
  RECT rect{};
  GetWindowRect(text_, &rect);
  const int width = Scaled((shown ? kOfferLeft : kRight - kButtonWidth) - kGap - kLeft, dpi_);
  SetWindowPos(text_, nullptr, 0, 0, width, rect.bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(offerButton_, shown && !progressShown_ ? SW_SHOWNA : SW_HIDE);
  // The lines are cut anew for the new width.
  Fit();
}

}  // namespace picrelink::win32
