#include "win32/open_file_dialog.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cwchar>
#include <memory>
#include <utility>
#include <vector>

#include "relocation/session/window_texts.h"

namespace picrelink::win32 {
namespace {

// The longest path the dialog gives back, as the older dialog's buffer of
// MAX_PATH units allows.
constexpr size_t kMaxChosenPath = MAX_PATH - 1;

// Centred across the monitor of owner (or of dialog), a third of the free
// height above the dialog.
void PlaceOnOwnersMonitor(HWND owner, HWND dialog) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT box{};
  GetWindowRect(dialog, &box);
  const RECT& screen = monitor.rcMonitor;
  const LONG width = box.right - box.left;
  const LONG height = box.bottom - box.top;
  SetWindowPos(dialog, nullptr, screen.left + (screen.right - screen.left - width) / 2,
               screen.top + (screen.bottom - screen.top - height) / 3, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ------------------------------------------------------- common item dialog

template <typename T>
struct ComReleaser {
  void operator()(T* object) const {
    if (object) object->Release();
  }
};
template <typename T>
using ComPtr = std::unique_ptr<T, ComReleaser<T>>;

// Places the dialog when it first tells of its folder, which it does before
// it is shown, and once more should it tell before it has a window.
class PlacingEvents final : public IFileDialogEvents {
 public:
  explicit PlacingEvents(HWND owner) : owner_(owner) {}

  IFACEMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IFileDialogEvents) {
      *out = static_cast<IFileDialogEvents*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // It lives on the stack of the call that shows the dialog.
  IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
  IFACEMETHODIMP_(ULONG) Release() override { return 1; }

  IFACEMETHODIMP OnFileOk(IFileDialog*) override { return S_OK; }
  IFACEMETHODIMP OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
  IFACEMETHODIMP OnFolderChange(IFileDialog* dialog) override {
    Place(dialog);
    return S_OK;
  }
  IFACEMETHODIMP OnSelectionChange(IFileDialog* dialog) override {
    Place(dialog);
    return S_OK;
  }
  IFACEMETHODIMP OnShareViolation(IFileDialog*, IShellItem*,
                                  FDE_SHAREVIOLATION_RESPONSE*) override {
    return E_NOTIMPL;
  }
  IFACEMETHODIMP OnTypeChange(IFileDialog* dialog) override {
    Place(dialog);
    return S_OK;
  }
  IFACEMETHODIMP OnOverwrite(IFileDialog*, IShellItem*, FDE_OVERWRITE_RESPONSE*) override {
    return E_NOTIMPL;
  }

 private:
  void Place(IFileDialog* dialog) {
    if (placed_) return;
    IOleWindow* window = nullptr;
    if (FAILED(dialog->QueryInterface(IID_PPV_ARGS(&window)))) return;
    HWND handle = nullptr;
    if (SUCCEEDED(window->GetWindow(&handle)) && handle != nullptr) {
      PlaceOnOwnersMonitor(owner_, handle);
      placed_ = true;
    }
    window->Release();
  }

  HWND owner_;
  bool placed_ = false;
};

// The folder part of a path and its name, split at the last separator.
std::pair<std::wstring, std::wstring> SplitPath(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {L"", path};
  std::wstring folder = path.substr(0, separator);
  // A drive's root keeps its separator.
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return {folder, path.substr(separator + 1)};
}

// The dialog's answer; nothing when the system has no common item dialog.
std::optional<std::optional<std::u16string>> ChooseWithItemDialog(HWND owner,
                                                                  std::u16string_view initialName) {
  IFileOpenDialog* created = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&created)))) {
    return std::nullopt;
  }
  ComPtr<IFileOpenDialog> dialog(created);

  std::vector<std::wstring> texts;
  for (const FileFilter& entry : kCsvFileFilters) {
    texts.push_back(Wide(entry.name));
    texts.push_back(Wide(entry.pattern));
  }
  std::array<COMDLG_FILTERSPEC, kCsvFileFilters.size()> filters{};
  for (size_t i = 0; i < filters.size(); ++i) {
    filters[i] = {texts[2 * i].c_str(), texts[2 * i + 1].c_str()};
  }
  dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());
  dialog->SetFileTypeIndex(1);  // 1-based: the CSV files

  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  options |= FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR | FOS_NOVALIDATE;
  options &= ~(FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST | FOS_ALLOWMULTISELECT);
  dialog->SetOptions(options);

  // The folder of the initial name, when there is one, and its name.
  const std::wstring initial = Wide(initialName);
  if (!initial.empty()) {
    auto [folder, name] = SplitPath(initial);
    IShellItem* item = nullptr;
    const DWORD attributes =
        folder.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&item)))) {
      dialog->SetFolder(item);
      item->Release();
      dialog->SetFileName(name.c_str());
    } else {
      dialog->SetFileName(initial.c_str());
    }
  }

  PlacingEvents events(owner);
  DWORD cookie = 0;
  const bool advised = SUCCEEDED(dialog->Advise(&events, &cookie));
  const HRESULT shown = dialog->Show(owner);
  if (advised) dialog->Unadvise(cookie);
  if (FAILED(shown)) return std::optional<std::u16string>();  // cancelled, or failed

  IShellItem* result = nullptr;
  if (FAILED(dialog->GetResult(&result))) return std::optional<std::u16string>();
  wchar_t* path = nullptr;
  const HRESULT named = result->GetDisplayName(SIGDN_FILESYSPATH, &path);
  result->Release();
  if (FAILED(named) || path == nullptr) return std::optional<std::u16string>();
  std::u16string chosen = U16(path);
  CoTaskMemFree(path);
  if (chosen.size() > kMaxChosenPath) return std::optional<std::u16string>();
  return std::optional<std::u16string>(std::move(chosen));
}

// ------------------------------------------------------------- older dialog

UINT_PTR CALLBACK PlaceClassicDialog(HWND hook, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* options = reinterpret_cast<const OPENFILENAMEW*>(lParam);
    SetWindowLongPtrW(hook, GWLP_USERDATA, static_cast<LONG_PTR>(options->lCustData));
  } else if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE) {
    PlaceOnOwnersMonitor(reinterpret_cast<HWND>(GetWindowLongPtrW(hook, GWLP_USERDATA)),
                         GetParent(hook));
  }
  return 0;
}

std::wstring FilterText() {
  std::wstring filter;
  for (const FileFilter& entry : kCsvFileFilters) {
    filter += Wide(entry.name);
    filter += L'\0';
    filter += Wide(entry.pattern);
    filter += L'\0';
  }
  filter += L'\0';
  return filter;
}

}  // namespace

std::optional<std::u16string> ChooseOpenFile(HWND owner, std::u16string_view initialName) {
  if (auto answer = ChooseWithItemDialog(owner, initialName)) return *answer;
  return ChooseOpenFileClassic(owner, initialName);
}

std::optional<std::u16string> ChooseOpenFileClassic(HWND owner, std::u16string_view initialName) {
  // Room for a path of 259 characters and its end.
  std::wstring file(MAX_PATH + 1, L'\0');
  const std::wstring initial = Wide(initialName.substr(0, MAX_PATH));
  std::copy(initial.begin(), initial.end(), file.begin());
  const std::wstring filter = FilterText();

  OPENFILENAMEW options{};
  options.lStructSize = sizeof(options);
  options.hwndOwner = owner;
  options.lpstrFilter = filter.c_str();
  options.nFilterIndex = 1;
  options.lpstrFile = file.data();
  options.nMaxFile = MAX_PATH;
  // The hook places the dialog; it also makes the system show this older
  // look, which is why it is only the fallback.
  options.Flags =
      OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR | OFN_ENABLEHOOK;
  options.lpfnHook = PlaceClassicDialog;
  options.lCustData = reinterpret_cast<LPARAM>(owner);
  if (!GetOpenFileNameW(&options)) return std::nullopt;  // cancelled, or failed
  file.resize(wcslen(file.c_str()));
  return U16(file);
}

}  // namespace picrelink::win32
