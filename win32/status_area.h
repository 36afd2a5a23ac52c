#pragma once
// The band below the start button: what the census found (or why there is
// none) in the lines the band has room for, each line of the status on one
// line of the band (cut with "…" where it is too long, the whole status in
// its tooltip and its details), with a button to its details, and while the
// start command works a progress bar with a cancel button. None of it is a
// tab stop, so the window's tab order stays that of its controls; its
// buttons send their clicks to the window.
#include <string>

#include "relocation/language.h"
#include "win32/win32_text.h"

namespace picrelink::win32 {

class StatusArea {
 public:
  enum class Stage { Checking, Adjusting };

  void Create(HWND parent, Language language);
  // Lays the band out at dpi: its text in font, down to bottom (pixels of
  // the client area), its buttons in buttonFont.
  void Place(UINT dpi, HFONT font, HFONT buttonFont, int bottom);

  void ShowStatus(std::u16string_view text, std::u16string_view details);
  // A short note in place of the status; the details stay as they were.
  void ShowNote(std::u16string_view note);
  // The status is being taken again, share (0 to 1) of the CSV read.
  void ShowChecking(double share);
  // The start command is at stage: the progress bar and the cancel button in
  // place of the status.
  void ShowProgress(Stage stage, double share);
  void HideProgress();
  bool ProgressShown() const { return progressShown_; }
  // The offer "使用此位置" left of the details button, shown or not; the text
  // gives way to it.
  void ShowOffer(bool shown);

  // The whole status (or note), and what of it the band shows.
  const std::u16string& Text() const { return whole_; }
  std::u16string ShownText() const { return WindowText(text_); }
  // The lines the band has room for.
  int Lines() const { return lines_; }
  const std::u16string& Details() const { return details_; }

  HWND TextControl() const { return text_; }
  HWND DetailsButton() const { return detailsButton_; }
  HWND ProgressBar() const { return progress_; }
  HWND ProgressText() const { return progressText_; }
  HWND CancelButton() const { return cancelButton_; }
  HWND OfferButton() const { return offerButton_; }
  HWND Tooltip() const { return tooltip_; }

 private:
  HWND text_ = nullptr;
  HWND detailsButton_ = nullptr;
  HWND progress_ = nullptr;
  HWND progressText_ = nullptr;
  HWND cancelButton_ = nullptr;
  HWND offerButton_ = nullptr;
  // Shows whole_ in the band's lines, the whole in the tooltip.
  void Fit();

  HWND tooltip_ = nullptr;  // owned by the window, which destroys it
  std::wstring hint_;
  std::wstring tip_;  // the whole status, for the tooltip of the text
  std::u16string whole_;
  HFONT font_ = nullptr;
  int lines_ = 2;
  Language language_ = Language::Chinese;
  std::u16string details_;
  bool progressShown_ = false;
  bool offered_ = false;
  UINT dpi_ = 96;  // of the last placement
};

}  // namespace picrelink::win32
