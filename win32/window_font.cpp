#include "win32/window_font.h"

#include <array>

namespace picrelink::win32 {
namespace {

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceInstalled(const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &wanted, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

}  // namespace

int Scaled(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), 96); }

std::wstring WindowFontFace() {
  // 宋体 is not installed on every Windows outside China; the others carry
  // the same characters. Segoe UI links to a Chinese face by itself. Looked
  // up once: the fonts of a session do not change under a running window.
  static const std::wstring face = [] {
    static constexpr std::array<const wchar_t*, 5> kFaces = {L"宋体", L"SimSun", L"NSimSun",
                                                             L"Microsoft YaHei", L"Segoe UI"};
    for (const wchar_t* candidate : kFaces) {
      if (FaceInstalled(candidate)) return std::wstring(candidate);
    }
    return std::wstring(L"宋体");
  }();
  return face;
}

namespace {

HFONT CreateFaceFont(int height) {
  const std::wstring face = WindowFontFace();
  // A negative height is the character height, without the internal leading.
  return CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

}  // namespace

HFONT CreateWindowFont(int pixels, UINT dpi) { return CreateFaceFont(Scaled(pixels, dpi)); }

HFONT CreateFittingFont(int pixels, UINT dpi, std::wstring_view text, int room) {
  const int full = Scaled(pixels, dpi);
  for (int height = full; height >= full / 2; --height) {
    HFONT font = CreateFaceFont(height);
    if (TextExtent(font, text).cx <= room || height == full / 2) {
      if (height == full) {
        DeleteObject(font);
        return nullptr;
      }
      return font;
    }
    DeleteObject(font);
  }
  return nullptr;
}

SIZE TextExtent(HFONT font, std::wstring_view text) {
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font);
  SIZE size{};
  GetTextExtentPoint32W(screen, text.data(), static_cast<int>(text.size()), &size);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  return size;
}

int LineHeight(HFONT font) {
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen, &metrics);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  return metrics.tmHeight + metrics.tmExternalLeading;
}

}  // namespace picrelink::win32
