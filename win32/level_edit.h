#pragma once
// The level count: an edit with up/down buttons that holds a number from 0
// to 1 with at most two decimals, or nothing, under the level rules that
// every window shares.
#include <string>

#include "relocation/session/level_text.h"
#include "win32/win32_text.h"

namespace picrelink::win32 {

// The user's decimal separator, as the system's locale has it.
char16_t UserDecimalSeparator();

class LevelEdit {
 public:
  // Creates the edit (identifier id, showing "1") and its up/down buttons.
  void Create(HWND parent, int id, int upDownId, char16_t separator);
  // Places both in the rectangle (pixels at 96 dpi); the buttons take its
  // right end.
  void Place(int left, int top, int width, int height, UINT dpi, HFONT font);

  HWND Edit() const { return edit_; }
  HWND UpDown() const { return upDown_; }
  std::u16string Text() const { return WindowText(edit_); }

  // steps whole units up (positive) or down, as the buttons, the arrow keys
  // and the wheel do.
  void Step(int steps);
  // The parent passes its WM_NOTIFY here; true when it was the buttons'.
  bool Notified(const NMHDR& header, LRESULT& result);

 private:
  static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Runs the default handling of a change; when the text it leaves is not a
  // level, the text before it returns (selected when selectAll).
  LRESULT Guarded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool selectAll);
  void Show(Level level);

  HWND edit_ = nullptr;
  HWND upDown_ = nullptr;
  char16_t separator_ = u'.';
  Level entered_ = 100;  // the value when the edit took the focus
  int wheel_ = 0;        // wheel turns not yet a whole step
};

}  // namespace picrelink::win32
