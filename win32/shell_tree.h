#pragma once
// The folder browser's tree: a tree view over the shell's folder namespace
// with the desktop on top, listing folders only and no hidden ones. Each
// entry holds its absolute item ID list; an entry's children are read from
// the shell when it first opens, sorted as the shell sorts them, and read
// again when the shell reports a change under it.
#include <set>
#include <string>

#include "win32/win32_text.h"

// clang-format off
#include <shlobj.h>
// clang-format on

namespace picrelink::win32 {

class ShellTree {
 public:
  // Takes over tree (a tree view without entries) and puts the desktop into
  // it, opened one level. Throws std::runtime_error when the shell's
  // namespace cannot be reached.
  explicit ShellTree(HWND tree);
  // Empties the tree and releases every entry's ID list.
  ~ShellTree();
  ShellTree(const ShellTree&) = delete;
  ShellTree& operator=(const ShellTree&) = delete;

  // Selects the top entry, the desktop.
  void SelectTop();
  // Selects the existing folder at path and opens the tree down to it; false
  // (and nothing selected) when path names no folder.
  bool SelectFolder(const std::wstring& path);
  // The file-system path of the selected entry, without a trailing "\"
  // except at a drive's root; the empty text when nothing is selected or the
  // entry has none (the computer itself).
  std::wstring SelectedPath() const;

  // The tree's WM_NOTIFY messages; true when the notification is handled,
  // with *result the answer to give.
  bool OnNotify(const NMHDR& header, LRESULT* result);
  // A change the shell reports through the message registered for owner.
  void OnShellChange(WPARAM wParam, LPARAM lParam);
  // Registers owner for the shell's reports of folders created, renamed or
  // removed, delivered as message; undone by the destructor.
  void WatchChanges(HWND owner, UINT message);

  // Opens the shell's context menu of the entry at a point on the screen
  // (the selected entry when the point is outside every entry), selecting it
  // first, and runs the command chosen in it.
  void ShowContextMenu(HWND owner, POINT screen);
  // Hands the menu messages to the context menu while it is open; true when
  // it took them.
  bool OnMenuMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

 private:
  // Reads item's children from the shell once; later calls do nothing.
  void Fill(HTREEITEM item);
  // Reads a filled item's children again: entries gone are removed, new
  // ones added, the others kept with their own children.
  void Refresh(HTREEITEM item);
  void SortChildren(HTREEITEM item);
  HTREEITEM Insert(HTREEITEM parent, PIDLIST_ABSOLUTE pidl, bool hasChildren);
  // The filled entry whose ID list is pidl, or none.
  HTREEITEM Find(PCIDLIST_ABSOLUTE pidl) const;
  HTREEITEM FindChild(HTREEITEM parent, PCIDLIST_ABSOLUTE pidl) const;
  bool Same(PCIDLIST_ABSOLUTE a, PCIDLIST_ABSOLUTE b) const;
  static PCIDLIST_ABSOLUTE PidlOf(HWND tree, HTREEITEM item);

  HWND tree_;
  IShellFolder* desktop_ = nullptr;
  HTREEITEM top_ = nullptr;
  std::set<HTREEITEM> filled_;
  ULONG watch_ = 0;
  // While the context menu is open: the menu, for its drawn submenus.
  IContextMenu2* menu2_ = nullptr;
  IContextMenu3* menu3_ = nullptr;
  // While this class selects an entry itself; a selection that the tree
  // makes on its own (as it does on taking the focus without one) is refused.
  bool selecting_ = false;
};

}  // namespace picrelink::win32
