#include "tests/windows/window/window_search.h"

#include <iterator>

namespace picrelink::win32::test {
namespace {

// Calls each with the labels (static controls) of dialog.
template <typename Each>
void ForEachLabel(HWND dialog, Each each) {
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM data) -> BOOL {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0) return TRUE;
        return (*reinterpret_cast<Each*>(data))(child) ? TRUE : FALSE;
      },
      reinterpret_cast<LPARAM>(&each));
}

}  // namespace

std::u16string TextOf(HWND window) {
  wchar_t buffer[2048] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &copied)) {
    return u"<no answer>";
  }
  return U16(std::wstring_view(buffer, copied));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return name;
}

std::vector<HWND> WindowsOf(DWORD processId, const std::wstring& kind) {
  struct Search {
    DWORD id;
    std::wstring kind;
    std::vector<HWND> found;
  } search{processId, kind, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& wanted = *reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == wanted.id && IsWindowVisible(window) && ClassOf(window) == wanted.kind) {
          wanted.found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::u16string BoxMessage(HWND box) {
  std::u16string longest;
  ForEachLabel(box, [&](HWND label) {
    std::u16string text = TextOf(label);
    if (text.size() > longest.size()) longest = std::move(text);
    return true;
  });
  return longest;
}

bool HasLabel(HWND dialog, const std::u16string& text) {
  bool found = false;
  ForEachLabel(dialog, [&](HWND label) {
    found = TextOf(label) == text;
    return !found;
  });
  return found;
}

}  // namespace picrelink::win32::test
