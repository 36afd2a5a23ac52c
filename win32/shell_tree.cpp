#include "win32/shell_tree.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <cstring>
#include <stdexcept>
#include <vector>

namespace picrelink::win32 {
namespace {

// The attributes asked of every child, and those that keep it out of the
// tree: hidden ones, and files that the shell opens like folders (archives).
constexpr SFGAOF kAsked = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_HIDDEN | SFGAO_STREAM;
constexpr UINT kFirstMenuCommand = 1;
constexpr UINT kLastMenuCommand = 0x7fff;

// Releases a COM interface at the end of a scope.
template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p) p->Release();
  }
  T** Out() { return &p; }
  T* operator->() const { return p; }
};

// Frees an ID list at the end of a scope.
struct FreedPidl {
  ITEMIDLIST* p = nullptr;
  ~FreedPidl() { CoTaskMemFree(p); }
};

std::wstring FromStrRet(STRRET& name, PCUITEMID_CHILD child) {
  std::wstring text;
  switch (name.uType) {
    case STRRET_WSTR:
      if (name.pOleStr) text = name.pOleStr;
      CoTaskMemFree(name.pOleStr);
      break;
    case STRRET_OFFSET:
    case STRRET_CSTR: {
      const char* ansi = name.uType == STRRET_CSTR
                             ? name.cStr
                             : reinterpret_cast<const char*>(child) + name.uOffset;
      const int length = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
      if (length > 1) {
        text.resize(static_cast<size_t>(length));
        MultiByteToWideChar(CP_ACP, 0, ansi, -1, text.data(), length);
        text.resize(static_cast<size_t>(length) - 1);
      }
      break;
    }
    default:
      break;
  }
  return text;
}

// The first `count` IDs of pidl, as a list of its own.
PIDLIST_ABSOLUTE Prefix(PCIDLIST_ABSOLUTE pidl, int count) {
  size_t bytes = 0;
  const auto* at = reinterpret_cast<const BYTE*>(pidl);
  for (int i = 0; i < count; ++i) {
    USHORT size = 0;
    std::memcpy(&size, at + bytes, sizeof(size));
    if (size == 0) break;
    bytes += size;
  }
  auto* copy = static_cast<BYTE*>(CoTaskMemAlloc(bytes + sizeof(USHORT)));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, pidl, bytes);
  std::memset(copy + bytes, 0, sizeof(USHORT));
  return reinterpret_cast<PIDLIST_ABSOLUTE>(copy);
}

int IdCount(PCIDLIST_ABSOLUTE pidl) {
  int count = 0;
  for (PCUIDLIST_RELATIVE at = pidl; at->mkid.cb != 0; at = ILNext(at)) ++count;
  return count;
}

// The folder of an entry: the desktop itself for the top one.
HRESULT BindFolder(IShellFolder* desktop, PCIDLIST_ABSOLUTE pidl, IShellFolder** folder) {
  if (pidl->mkid.cb == 0) {
    desktop->AddRef();
    *folder = desktop;
    return S_OK;
  }
  return desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(folder));
}

struct SortContext {
  IShellFolder* folder;
};

int CALLBACK CompareEntries(LPARAM a, LPARAM b, LPARAM data) {
  auto* context = reinterpret_cast<SortContext*>(data);
  const HRESULT result =
      context->folder->CompareIDs(0, ILFindLastID(reinterpret_cast<PCUIDLIST_RELATIVE>(a)),
                                  ILFindLastID(reinterpret_cast<PCUIDLIST_RELATIVE>(b)));
  return FAILED(result) ? 0 : static_cast<short>(HRESULT_CODE(result));
}

// A folder's children that the tree shows, each an absolute ID list with
// whether it has subfolders of its own.
struct Child {
  PIDLIST_ABSOLUTE pidl;
  bool hasChildren;
};

std::vector<Child> ReadChildren(HWND owner, IShellFolder* desktop, PCIDLIST_ABSOLUTE parent) {
  std::vector<Child> children;
  Released<IShellFolder> folder;
  if (FAILED(BindFolder(desktop, parent, folder.Out()))) return children;
  Released<IEnumIDList> entries;
  // Folders only; without SHCONTF_INCLUDEHIDDEN the shell leaves hidden ones out.
  if (folder->EnumObjects(owner, SHCONTF_FOLDERS, entries.Out()) != S_OK || entries.p == nullptr) {
    return children;
  }
  PITEMID_CHILD child = nullptr;
  while (entries->Next(1, &child, nullptr) == S_OK) {
    SFGAOF attributes = kAsked;
    PCUITEMID_CHILD one = child;
    if (SUCCEEDED(folder->GetAttributesOf(1, &one, &attributes)) &&
        (attributes & SFGAO_FOLDER) != 0 && (attributes & (SFGAO_HIDDEN | SFGAO_STREAM)) == 0) {
      children.push_back({ILCombine(parent, child), (attributes & SFGAO_HASSUBFOLDER) != 0});
    }
    CoTaskMemFree(child);
  }
  return children;
}

}  // namespace

ShellTree::ShellTree(HWND tree) : tree_(tree) {
  if (FAILED(SHGetDesktopFolder(&desktop_))) {
    throw std::runtime_error("The shell's folder namespace cannot be read.");
  }
  PIDLIST_ABSOLUTE top = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &top))) {
    desktop_->Release();
    throw std::runtime_error("The shell's folder namespace cannot be read.");
  }
  // The system's small icons, shared: the tree does not destroy them.
  SHFILEINFOW info{};
  auto images = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(reinterpret_cast<LPCWSTR>(top), 0, &info, sizeof(info),
                     SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (images) TreeView_SetImageList(tree_, images, TVSIL_NORMAL);
  top_ = Insert(TVI_ROOT, top, true);
  Fill(top_);
  TreeView_Expand(tree_, top_, TVE_EXPAND);
}

ShellTree::~ShellTree() {
  if (watch_) SHChangeNotifyDeregister(watch_);
  // Deleting the entries frees their ID lists (TVN_DELETEITEMW).
  TreeView_DeleteAllItems(tree_);
  desktop_->Release();
}

PCIDLIST_ABSOLUTE ShellTree::PidlOf(HWND tree, HTREEITEM item) {
  TVITEMW entry{};
  entry.mask = TVIF_PARAM | TVIF_HANDLE;
  entry.hItem = item;
  if (!TreeView_GetItem(tree, &entry)) return nullptr;
  return reinterpret_cast<PCIDLIST_ABSOLUTE>(entry.lParam);
}

HTREEITEM ShellTree::Insert(HTREEITEM parent, PIDLIST_ABSOLUTE pidl, bool hasChildren) {
  std::wstring name;
  {
    Released<IShellFolder> folder;
    PCUITEMID_CHILD last = nullptr;
    if (pidl->mkid.cb == 0) {
      STRRET text{};
      if (SUCCEEDED(desktop_->GetDisplayNameOf(pidl, SHGDN_NORMAL, &text))) {
        name = FromStrRet(text, pidl);
      }
    } else if (SUCCEEDED(SHBindToParent(pidl, IID_IShellFolder,
                                        reinterpret_cast<void**>(folder.Out()), &last))) {
      STRRET text{};
      if (SUCCEEDED(folder->GetDisplayNameOf(last, SHGDN_INFOLDER, &text))) {
        name = FromStrRet(text, last);
      }
    }
  }
  SHFILEINFOW icon{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &icon, sizeof(icon),
                 SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  SHFILEINFOW open{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &open, sizeof(open),
                 SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);

  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = name.data();
  insert.item.lParam = reinterpret_cast<LPARAM>(pidl);
  insert.item.cChildren = hasChildren ? 1 : 0;
  insert.item.iImage = icon.iIcon;
  insert.item.iSelectedImage = open.iIcon;
  HTREEITEM item = TreeView_InsertItem(tree_, &insert);
  if (item == nullptr) CoTaskMemFree(pidl);
  return item;
}

void ShellTree::Fill(HTREEITEM item) {
  if (!filled_.insert(item).second) return;
  const PCIDLIST_ABSOLUTE parent = PidlOf(tree_, item);
  if (parent == nullptr) return;
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const std::vector<Child> children = ReadChildren(GetParent(tree_), desktop_, parent);
  for (const Child& child : children) Insert(item, child.pidl, child.hasChildren);
  SortChildren(item);
  if (children.empty()) {
    TVITEMW entry{};
    entry.mask = TVIF_CHILDREN | TVIF_HANDLE;
    entry.hItem = item;
    entry.cChildren = 0;
    TreeView_SetItem(tree_, &entry);
  }
  SetCursor(previous);
}

void ShellTree::SortChildren(HTREEITEM item) {
  Released<IShellFolder> folder;
  if (FAILED(BindFolder(desktop_, PidlOf(tree_, item), folder.Out()))) return;
  SortContext context{folder.p};
  TVSORTCB sort{};
  sort.hParent = item;
  sort.lpfnCompare = CompareEntries;
  sort.lParam = reinterpret_cast<LPARAM>(&context);
  TreeView_SortChildrenCB(tree_, &sort, FALSE);
}

void ShellTree::Refresh(HTREEITEM item) {
  if (filled_.count(item) == 0) {
    // Not read yet: it is read when it opens; it may have children now.
    TVITEMW entry{};
    entry.mask = TVIF_CHILDREN | TVIF_HANDLE;
    entry.hItem = item;
    entry.cChildren = 1;
    TreeView_SetItem(tree_, &entry);
    return;
  }
  const PCIDLIST_ABSOLUTE parent = PidlOf(tree_, item);
  std::vector<Child> fresh = ReadChildren(GetParent(tree_), desktop_, parent);
  std::vector<bool> known(fresh.size(), false);
  for (HTREEITEM child = TreeView_GetChild(tree_, item); child != nullptr;) {
    const HTREEITEM next = TreeView_GetNextSibling(tree_, child);
    bool kept = false;
    for (size_t i = 0; i < fresh.size() && !kept; ++i) {
      if (!known[i] && Same(PidlOf(tree_, child), fresh[i].pidl)) {
        known[i] = kept = true;
      }
    }
    if (!kept) {
      filled_.erase(child);
      TreeView_DeleteItem(tree_, child);
    }
    child = next;
  }
  for (size_t i = 0; i < fresh.size(); ++i) {
    if (known[i]) {
      CoTaskMemFree(fresh[i].pidl);
    } else {
      Insert(item, fresh[i].pidl, fresh[i].hasChildren);
    }
  }
  SortChildren(item);
  TVITEMW entry{};
  entry.mask = TVIF_CHILDREN | TVIF_HANDLE;
  entry.hItem = item;
  entry.cChildren = fresh.empty() ? 0 : 1;
  TreeView_SetItem(tree_, &entry);
}

bool ShellTree::Same(PCIDLIST_ABSOLUTE a, PCIDLIST_ABSOLUTE b) const {
  if (a == nullptr || b == nullptr) return false;
  const HRESULT result = desktop_->CompareIDs(0, a, b);
  return SUCCEEDED(result) && HRESULT_CODE(result) == 0;
}

HTREEITEM ShellTree::FindChild(HTREEITEM parent, PCIDLIST_ABSOLUTE pidl) const {
  for (HTREEITEM child = TreeView_GetChild(tree_, parent); child != nullptr;
       child = TreeView_GetNextSibling(tree_, child)) {
    if (Same(PidlOf(tree_, child), pidl)) return child;
  }
  return nullptr;
}

HTREEITEM ShellTree::Find(PCIDLIST_ABSOLUTE pidl) const {
  // Down from the top along the filled entries, one ID at a time.
  HTREEITEM at = top_;
  const int count = IdCount(pidl);
  for (int depth = 1; depth <= count && at != nullptr; ++depth) {
    if (filled_.count(at) == 0) return nullptr;
    FreedPidl prefix{Prefix(pidl, depth)};
    at = FindChild(at, prefix.p);
  }
  return at;
}

void ShellTree::SelectTop() {
  selecting_ = true;
  TreeView_SelectItem(tree_, top_);
  selecting_ = false;
}

bool ShellTree::SelectFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  FreedPidl target;
  if (FAILED(SHParseDisplayName(path.c_str(), nullptr,
                                reinterpret_cast<PIDLIST_ABSOLUTE*>(&target.p), 0, nullptr)) ||
      target.p == nullptr) {
    return false;
  }
  HTREEITEM at = top_;
  const int count = IdCount(target.p);
  for (int depth = 1; depth <= count; ++depth) {
    Fill(at);
    PIDLIST_ABSOLUTE prefix = Prefix(target.p, depth);
    HTREEITEM child = FindChild(at, prefix);
    if (child == nullptr) {
      // A folder that the tree leaves out (inside a hidden one, say) is
      // still the one asked for: it gets an entry on the way down to it.
      child = Insert(at, prefix, depth < count);
      if (child == nullptr) return false;
    } else {
      CoTaskMemFree(prefix);
    }
    TreeView_Expand(tree_, at, TVE_EXPAND);
    at = child;
  }
  selecting_ = true;
  TreeView_SelectItem(tree_, at);
  selecting_ = false;
  TreeView_EnsureVisible(tree_, at);
  return true;
}

std::wstring ShellTree::SelectedPath() const {
  const HTREEITEM item = TreeView_GetSelection(tree_);
  if (item == nullptr) return {};
  const PCIDLIST_ABSOLUTE pidl = PidlOf(tree_, item);
  wchar_t path[MAX_PATH] = {};
  if (pidl == nullptr || !SHGetPathFromIDListW(pidl, path)) return {};
  return path;
}

bool ShellTree::OnNotify(const NMHDR& header, LRESULT* result) {
  if (header.hwndFrom != tree_) return false;
  switch (header.code) {
    case TVN_ITEMEXPANDINGW: {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
      if (change.action & TVE_EXPAND) Fill(change.itemNew.hItem);
      *result = FALSE;
      return true;
    }
    case TVN_SELCHANGINGW: {
      // The tree selects its first entry by itself when it takes the focus
      // without a selection; the browser opened on a path that names no
      // folder keeps nothing selected until the user chooses.
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
      *result = !selecting_ && change.action == TVC_UNKNOWN && change.itemOld.hItem == nullptr;
      return true;
    }
    case TVN_DELETEITEMW: {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
      filled_.erase(change.itemOld.hItem);
      CoTaskMemFree(reinterpret_cast<void*>(change.itemOld.lParam));
      *result = 0;
      return true;
    }
    default:
      return false;
  }
}

void ShellTree::WatchChanges(HWND owner, UINT message) {
  SHChangeNotifyEntry entry{};
  entry.pidl = PidlOf(tree_, top_);
  entry.fRecursive = TRUE;
  // Interrupt-level reports come from the file system itself, so folders
  // made by any program show; shell-level ones from the shell's own work.
  watch_ =
      SHChangeNotifyRegister(owner, SHCNRF_ShellLevel | SHCNRF_InterruptLevel | SHCNRF_NewDelivery,
                             SHCNE_MKDIR | SHCNE_RMDIR | SHCNE_RENAMEFOLDER | SHCNE_UPDATEDIR |
                                 SHCNE_DRIVEADD | SHCNE_DRIVEREMOVED | SHCNE_MEDIAINSERTED |
                                 SHCNE_MEDIAREMOVED | SHCNE_NETSHARE | SHCNE_NETUNSHARE,
                             message, 1, &entry);
}

void ShellTree::OnShellChange(WPARAM wParam, LPARAM lParam) {
  PIDLIST_ABSOLUTE* pidls = nullptr;
  LONG event = 0;
  HANDLE lock = SHChangeNotification_Lock(reinterpret_cast<HANDLE>(wParam),
                                          static_cast<DWORD>(lParam), &pidls, &event);
  if (lock == nullptr) return;
  // The folders whose children changed: the parents of what was made,
  // removed or renamed, or the folder that the shell says to read again.
  std::vector<PIDLIST_ABSOLUTE> folders;
  const auto parentOf = [&](PCIDLIST_ABSOLUTE pidl) {
    if (pidl == nullptr || pidl->mkid.cb == 0) return;
    PIDLIST_ABSOLUTE parent = ILClone(pidl);
    if (parent && ILRemoveLastID(parent)) {
      folders.push_back(parent);
    } else {
      CoTaskMemFree(parent);
    }
  };
  if (pidls != nullptr) {
    if (event & SHCNE_UPDATEDIR) {
      if (pidls[0]) folders.push_back(ILClone(pidls[0]));
    } else {
      parentOf(pidls[0]);
      if (event & SHCNE_RENAMEFOLDER) parentOf(pidls[1]);
    }
  }
  SHChangeNotification_Unlock(lock);
  for (PIDLIST_ABSOLUTE folder : folders) {
    if (folder == nullptr) continue;
    if (HTREEITEM item = Find(folder)) Refresh(item);
    CoTaskMemFree(folder);
  }
}

void ShellTree::ShowContextMenu(HWND owner, POINT screen) {
  TVHITTESTINFO hit{};
  hit.pt = screen;
  ScreenToClient(tree_, &hit.pt);
  HTREEITEM item = TreeView_HitTest(tree_, &hit);
  if (item == nullptr || (hit.flags & TVHT_ONITEM) == 0) {
    item = TreeView_GetSelection(tree_);
    if (item == nullptr) return;
    RECT box{};
    TreeView_GetItemRect(tree_, item, &box, TRUE);
    screen = {box.left, box.bottom};
    ClientToScreen(tree_, &screen);
  }
  selecting_ = true;
  TreeView_SelectItem(tree_, item);
  selecting_ = false;

  const PCIDLIST_ABSOLUTE pidl = PidlOf(tree_, item);
  if (pidl == nullptr || pidl->mkid.cb == 0) return;  // the desktop has no entry menu
  Released<IShellFolder> parent;
  PCUITEMID_CHILD child = nullptr;
  if (FAILED(
          SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(parent.Out()), &child))) {
    return;
  }
  Released<IContextMenu> menu;
  if (FAILED(parent->GetUIObjectOf(owner, 1, &child, IID_IContextMenu, nullptr,
                                   reinterpret_cast<void**>(menu.Out())))) {
    return;
  }
  HMENU popup = CreatePopupMenu();
  if (popup == nullptr) return;
  if (SUCCEEDED(
          menu->QueryContextMenu(popup, 0, kFirstMenuCommand, kLastMenuCommand, CMF_NORMAL))) {
    menu->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&menu2_));
    menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu3_));
    const UINT command = static_cast<UINT>(TrackPopupMenuEx(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                            screen.x, screen.y, owner, nullptr));
    if (menu3_) menu3_->Release();
    if (menu2_) menu2_->Release();
    menu2_ = nullptr;
    menu3_ = nullptr;
    if (command >= kFirstMenuCommand) {
      CMINVOKECOMMANDINFOEX invoke{};
      invoke.cbSize = sizeof(invoke);
      invoke.fMask = CMIC_MASK_UNICODE | CMIC_MASK_PTINVOKE;
      invoke.hwnd = owner;
      invoke.lpVerb = MAKEINTRESOURCEA(command - kFirstMenuCommand);
      invoke.lpVerbW = MAKEINTRESOURCEW(command - kFirstMenuCommand);
      invoke.nShow = SW_SHOWNORMAL;
      invoke.ptInvoke = screen;
      menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&invoke));
    }
  }
  DestroyMenu(popup);
}

bool ShellTree::OnMenuMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (menu3_) return SUCCEEDED(menu3_->HandleMenuMsg2(message, wParam, lParam, result));
  if (menu2_ && SUCCEEDED(menu2_->HandleMenuMsg(message, wParam, lParam))) {
    *result = 0;
    return true;
  }
  return false;
}

}  // namespace picrelink::win32
