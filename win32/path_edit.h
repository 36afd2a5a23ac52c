#pragma once
// A path edit: free text with a "..." browse button inside its right end.
// The button fires on a click, or on Ctrl+Enter while the edit has the focus.
#include <functional>
#include <string>

#include "win32/win32_text.h"

namespace picrelink::win32 {

class PathEdit {
 public:
  // Creates the edit (identifier id) and its button as children of parent.
  void Create(HWND parent, int id, std::function<void()> onBrowse);

  // Places the edit at left, top with width (pixels at 96 dpi) in font's
  // height; its button follows.
  void Place(int left, int top, int width, UINT dpi, HFONT font);

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
