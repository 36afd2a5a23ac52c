#pragma once
// A path edit: free text with a "..." browse button inside its right end.
// The button fires on a click, or on Ctrl+Enter while the edit has the focus.
//
// The button is the edit's sibling, above it and inside its border, and the
// edit clips its painting to leave it alone: a child button of the edit is
// painted over by the edit under the common controls 6 once the edit has
// margins. The focus stays in the edit: a click on the button hands it back.
#include <functional>
#include <string>

#include "win32/win32_text.h"

namespace picrelink::win32 {

class PathEdit {
 public:
  // Creates the edit (identifier id) and its button (buttonId) as children of
  // parent, which hands the button's clicks to Clicked.
  void Create(HWND parent, int id, int buttonId, std::function<void()> onBrowse);

  // Places the edit at left, top with width (pixels at 96 dpi) in font's
  // height; its button follows.
  void Place(int left, int top, int width, UINT dpi, HFONT font);

  // The button was clicked: the focus goes to the edit, then onBrowse runs.
  void Clicked();
  // Puts the button above the edit in the parent's order of windows; the
  // edit's place in that order is its place in the tab order.
  void KeepButtonAbove();

  HWND Edit() const { return edit_; }
  HWND Button() const { return button_; }

  std::u16string Text() const { return WindowText(edit_); }
  void SetText(std::u16string_view text) { SetWindowText(edit_, text); }

 private:
  static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  void PlaceButton();

  HWND edit_ = nullptr;
  HWND button_ = nullptr;
  std::function<void()> onBrowse_;
};

}  // namespace picrelink::win32
