// The folder browser over the shell's folder tree, opened for real and read
// from a second thread: what it preselects for each initial path, what OK
// gives, its window's place and sizes, and the tree's entries.
#include "win32/folder_browser.h"

#include <gtest/gtest.h>

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/utf.h"
#include "tests/support/test_files.h"
#include "tests/windows/window/dialog_answerer.h"
#include "tests/windows/window/window_search.h"
#include "win32/window_font.h"

namespace picrelink::win32 {
namespace {

using test::Answerer;
using test::Press;
using test::TextOf;

std::u16string ItemText(HWND tree, HTREEITEM item) {
  wchar_t text[MAX_PATH] = {};
  TVITEMW entry{};
  entry.mask = TVIF_TEXT | TVIF_HANDLE;
  entry.hItem = item;
  entry.pszText = text;
  entry.cchTextMax = MAX_PATH;
  TreeView_GetItem(tree, &entry);
  return U16(text);
}

std::vector<std::u16string> ChildTexts(HWND tree, HTREEITEM item) {
  std::vector<std::u16string> texts;
  for (HTREEITEM child = TreeView_GetChild(tree, item); child != nullptr;
       child = TreeView_GetNextSibling(tree, child)) {
    texts.push_back(ItemText(tree, child));
  }
  return texts;
}

// A part's rectangle in the client area of its dialog.
RECT PlaceOf(HWND dialog, int id) {
  RECT box{};
  GetWindowRect(GetDlgItem(dialog, id), &box);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
  return box;
}

// Waits up to 10 s for done to hold.
template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

std::u16string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::u16string text;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) text = U16(path);
  CoTaskMemFree(path);
  return text;
}

class FolderBrowserTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                            300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    folder = dir.Folder() + u"宝贝 图片";
    std::filesystem::create_directory(picrelink::test::ToPath(folder));
  }
  void TearDown() override { DestroyWindow(owner); }

  HWND owner = nullptr;
  picrelink::test::TempDir dir;
  std::u16string folder;
};

// What the browser shows when it opens on an initial path, and what OK then
// gives without another choice.
struct Opening {
  std::u16string selected;  // the selected entry's text; empty for none
  std::u16string box;       // the current-folder box
  bool treeHasFocus = false;
  std::optional<std::u16string> chosen;
};

Opening OpenAndConfirm(HWND owner, const std::u16string& initial) {
  Opening seen;
  Answerer answer(L"#32770", [&](HWND dialog) {
    HWND tree = GetDlgItem(dialog, kFolderBrowserTree);
    if (HTREEITEM selected = TreeView_GetSelection(tree)) seen.selected = ItemText(tree, selected);
    seen.box = TextOf(GetDlgItem(dialog, kFolderBrowserBox));
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread);
    seen.treeHasFocus = thread.hwndFocus == tree;
    Press(dialog, IDOK);
  });
  seen.chosen = BrowseForFolder(owner, initial);
  EXPECT_TRUE(answer.Answered());
  return seen;
}

// The box shows the path whole, or with leading folders dropped when it is
// too wide for it.
bool ShowsPath(const std::u16string& box, const std::u16string& path) {
  if (box == path) return true;
  const std::u16string last = path.substr(path.find_last_of(u'\\') + 1);
  return box.find(u"...") != std::u16string::npos && box.size() >= last.size() &&
         box.compare(box.size() - last.size(), last.size(), last) == 0;
}

TEST_F(FolderBrowserTest, PreselectsFromTheInitialPathAndOkGivesTheSelectedFolder) {
  const std::u16string file = dir.Folder() + u"商品.csv";
  picrelink::test::WriteBytes(picrelink::test::ToPath(file), "csv");
  const std::u16string desktop = KnownFolder(FOLDERID_Desktop);
  ASSERT_FALSE(desktop.empty());
  const std::u16string name = folder.substr(folder.find_last_of(u'\\') + 1);
  const struct {
    std::u16string initial;
    bool selects;              // whether an entry is preselected
    std::u16string selection;  // part of its text
    std::u16string chosen;     // what OK gives
  } cases[] = {
      {u"", true, u"", desktop},  // the top entry, the desktop
      {folder, true, name, folder},
      {folder + u"\\", true, name, folder},
      {u"C:\\", true, u"C:", u"C:\\"},  // a drive's root keeps its separator
      {folder + u"\\没有这个", false, u"", u""},
      {file, false, u"", u""},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(ToUtf8(one.initial));
    const Opening seen = OpenAndConfirm(owner, one.initial);
    EXPECT_TRUE(seen.treeHasFocus);
    EXPECT_EQ(!seen.selected.empty(), one.selects) << ToUtf8(seen.selected);
    EXPECT_NE(seen.selected.find(one.selection), std::u16string::npos) << ToUtf8(seen.selected);
    EXPECT_TRUE(ShowsPath(seen.box, one.chosen)) << ToUtf8(seen.box);
    ASSERT_TRUE(seen.chosen.has_value());
    EXPECT_EQ(ToUtf8(*seen.chosen), ToUtf8(one.chosen));
  }
}

TEST_F(FolderBrowserTest, TheComputerItselfGivesTheEmptyPathAndCancelGivesNothing) {
  PIDLIST_ABSOLUTE computer = nullptr;
  ASSERT_HRESULT_SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer));
  SHFILEINFOW info{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(computer), 0, &info, sizeof(info),
                 SHGFI_PIDL | SHGFI_DISPLAYNAME);
  CoTaskMemFree(computer);
  const std::u16string computerName = U16(info.szDisplayName);
  ASSERT_FALSE(computerName.empty());

  bool found = false;
  std::u16string box = u"<unread>";
  Answerer answer(L"#32770", [&](HWND dialog) {
    HWND tree = GetDlgItem(dialog, kFolderBrowserTree);
    for (HTREEITEM child = TreeView_GetChild(tree, TreeView_GetRoot(tree)); child != nullptr;
         child = TreeView_GetNextSibling(tree, child)) {
      if (ItemText(tree, child) == computerName) {
        TreeView_SelectItem(tree, child);
        found = true;
        break;
      }
    }
    box = TextOf(GetDlgItem(dialog, kFolderBrowserBox));
    Press(dialog, IDOK);
  });
  const std::optional<std::u16string> chosen = BrowseForFolder(owner, folder);
  ASSERT_TRUE(answer.Answered());
  ASSERT_TRUE(found) << ToUtf8(computerName);
  EXPECT_EQ(ToUtf8(box), "");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(ToUtf8(*chosen), "");

  for (const UINT leave : {UINT{WM_CLOSE}, UINT{WM_COMMAND}}) {
    Answerer cancel(L"#32770", [&](HWND dialog) {
      if (leave == WM_CLOSE) {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
      } else {
        Press(dialog, IDCANCEL);
      }
    });
    EXPECT_FALSE(BrowseForFolder(owner, folder).has_value());
    EXPECT_TRUE(cancel.Answered());
  }
}

TEST_F(FolderBrowserTest, OpensCentredAtItsSizeAndResizesDownToItsMinimum) {
  std::u16string caption, label;
  RECT outer{}, client{}, work{};
  MINMAXINFO limits{};
  RECT tree{}, box{}, ok{}, cancel{}, grip{};
  RECT grownTree{}, grownBox{}, grownOk{}, grownCancel{}, grownGrip{}, grownClient{};
  LONG_PTR style = 0, treeStyle = 0;
  UINT dpi = 96;
  Answerer answer(L"#32770", [&](HWND dialog) {
    caption = TextOf(dialog);
    label = TextOf(GetDlgItem(dialog, kFolderBrowserLabel));
    dpi = GetDpiForWindow(dialog);
    GetWindowRect(dialog, &outer);
    GetClientRect(dialog, &client);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    work = monitor.rcWork;
    style = GetWindowLongPtrW(dialog, GWL_STYLE);
    treeStyle = GetWindowLongPtrW(GetDlgItem(dialog, kFolderBrowserTree), GWL_STYLE);
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    tree = PlaceOf(dialog, kFolderBrowserTree);
    box = PlaceOf(dialog, kFolderBrowserBox);
    ok = PlaceOf(dialog, IDOK);
    cancel = PlaceOf(dialog, IDCANCEL);
    grip = PlaceOf(dialog, kFolderBrowserGrip);
    // 100 wider and 50 higher.
    SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left + 100,
                 outer.bottom - outer.top + 50, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(dialog, &grownClient);
    grownTree = PlaceOf(dialog, kFolderBrowserTree);
    grownBox = PlaceOf(dialog, kFolderBrowserBox);
    grownOk = PlaceOf(dialog, IDOK);
    grownCancel = PlaceOf(dialog, IDCANCEL);
    grownGrip = PlaceOf(dialog, kFolderBrowserGrip);
    Press(dialog, IDCANCEL);
  });
  EXPECT_FALSE(BrowseForFolder(owner, folder).has_value());
  ASSERT_TRUE(answer.Answered());

  EXPECT_EQ(ToUtf8(caption), "Browse for Folder");
  EXPECT_EQ(ToUtf8(label), "Current Folder");
  EXPECT_EQ(client.right, Scaled(308, dpi));
  EXPECT_EQ(client.bottom, Scaled(358, dpi));
  // Centred on the screen.
  EXPECT_NEAR(outer.left - work.left, (work.right - work.left - (outer.right - outer.left)) / 2, 1);
  EXPECT_NEAR(outer.top - work.top, (work.bottom - work.top - (outer.bottom - outer.top)) / 2, 1);
  // Resizable, a close box only.
  EXPECT_TRUE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(limits.ptMinTrackSize.x, Scaled(250, dpi));
  EXPECT_EQ(limits.ptMinTrackSize.y, Scaled(300, dpi));
  // Buttons and lines from the top entry on; the selection shown without focus.
  for (const LONG_PTR bit : {TVS_HASBUTTONS, TVS_HASLINES, TVS_LINESATROOT, TVS_SHOWSELALWAYS}) {
    EXPECT_TRUE(treeStyle & bit) << bit;
  }

  // The parts where the design has them.
  EXPECT_EQ(tree.left, Scaled(12, dpi));
  EXPECT_EQ(tree.top, Scaled(56, dpi));
  EXPECT_EQ(tree.right - tree.left, Scaled(284, dpi));
  EXPECT_EQ(tree.bottom - tree.top, Scaled(261, dpi));
  EXPECT_EQ(box.left, Scaled(12, dpi));
  EXPECT_EQ(box.top, Scaled(24, dpi));
  EXPECT_EQ(box.right - box.left, Scaled(284, dpi));
  EXPECT_LE(box.bottom, tree.top);
  EXPECT_EQ(ok.left, Scaled(139, dpi));
  EXPECT_EQ(ok.top, Scaled(323, dpi));
  EXPECT_EQ(cancel.left, Scaled(219, dpi));
  EXPECT_EQ(cancel.right - cancel.left, Scaled(75, dpi));
  EXPECT_EQ(cancel.bottom - cancel.top, Scaled(25, dpi));
  EXPECT_EQ(grip.right, client.right);
  EXPECT_EQ(grip.bottom, client.bottom);

  // Grown with the window: the box and the tree wider, the tree higher, the
  // buttons and the grip as far from the bottom-right corner as before.
  EXPECT_EQ(grownClient.right, client.right + 100);
  EXPECT_EQ(grownClient.bottom, client.bottom + 50);
  EXPECT_EQ(grownTree.right - grownTree.left, tree.right - tree.left + 100);
  EXPECT_EQ(grownTree.bottom - grownTree.top, tree.bottom - tree.top + 50);
  EXPECT_EQ(grownBox.right - grownBox.left, box.right - box.left + 100);
  EXPECT_EQ(grownOk.left, ok.left + 100);
  EXPECT_EQ(grownOk.top, ok.top + 50);
  EXPECT_EQ(grownCancel.left, cancel.left + 100);
  EXPECT_EQ(grownCancel.top, cancel.top + 50);
  EXPECT_EQ(grownGrip.right, grownClient.right);
  EXPECT_EQ(grownGrip.bottom, grownClient.bottom);
}

int FontHeight(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
  return std::abs(static_cast<int>(font.lfHeight));
}

TEST_F(FolderBrowserTest, OnAMonitorAt150PercentItsPartsAndFontGrowWithIt) {
  int fontBefore = 0, fontAfter = 0;
  RECT client{}, tree{}, box{}, ok{}, cancel{};
  Answerer answer(L"#32770", [&](HWND dialog) {
    fontBefore = FontHeight(GetDlgItem(dialog, kFolderBrowserTree));
    // What the system sends when the browser moves to a monitor at 150 %.
    RECT suggested{0, 0, Scaled(308, 144), Scaled(358, 144)};
    AdjustWindowRectExForDpi(&suggested, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)),
                             FALSE, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)),
                             144);
    OffsetRect(&suggested, 10 - suggested.left, 20 - suggested.top);
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    fontAfter = FontHeight(GetDlgItem(dialog, kFolderBrowserTree));
    GetClientRect(dialog, &client);
    tree = PlaceOf(dialog, kFolderBrowserTree);
    box = PlaceOf(dialog, kFolderBrowserBox);
    ok = PlaceOf(dialog, IDOK);
    cancel = PlaceOf(dialog, IDCANCEL);
    Press(dialog, IDCANCEL);
  });
  EXPECT_FALSE(BrowseForFolder(owner, folder).has_value());
  ASSERT_TRUE(answer.Answered());
  EXPECT_NEAR(fontAfter, fontBefore * 3 / 2, 1);
  EXPECT_EQ(tree.left, Scaled(12, 144));
  EXPECT_EQ(tree.top, Scaled(56, 144));
  EXPECT_EQ(box.top, Scaled(24, 144));
  EXPECT_EQ(ok.right - ok.left, Scaled(75, 144));
  EXPECT_EQ(cancel.bottom - cancel.top, Scaled(25, 144));
  // The box and the tree reach as far from the right edge, the buttons lie as
  // far from the bottom-right corner, as at 96 dpi, scaled.
  EXPECT_NEAR(client.right - tree.right, Scaled(12, 144), 1);
  EXPECT_NEAR(client.right - box.right, Scaled(12, 144), 1);
  EXPECT_NEAR(client.bottom - tree.bottom, Scaled(358 - 317, 144), 1);
  EXPECT_NEAR(client.right - cancel.left, Scaled(308 - 219, 144), 1);
  EXPECT_NEAR(client.bottom - ok.top, Scaled(358 - 323, 144), 1);
}

TEST_F(FolderBrowserTest, TreeListsFoldersOnlyWithoutHiddenOnesAndFollowsTheShellsReports) {
  namespace fs = std::filesystem;
  const fs::path root = picrelink::test::ToPath(folder);
  fs::create_directory(root / u8"可见");
  fs::create_directory(root / u8"隐藏");
  picrelink::test::WriteBytes(root / "a.jpg", "jpg");
  const std::wstring hidden = Wide(folder + u"\\隐藏");
  ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(GetFileAttributesW(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  const std::wstring made = Wide(folder + u"\\新建文件夹");

  std::vector<std::u16string> listed, afterMaking, afterRemoving;
  Answerer answer(L"#32770", [&](HWND dialog) {
    HWND tree = GetDlgItem(dialog, kFolderBrowserTree);
    HTREEITEM item = TreeView_GetSelection(tree);
    TreeView_Expand(tree, item, TVE_EXPAND);
    listed = ChildTexts(tree, item);
    // As the shell reports its own work (a folder made in Explorer).
    CreateDirectoryW(made.c_str(), nullptr);
    SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, made.c_str(), nullptr);
    WaitFor([&] { return ChildTexts(tree, item).size() == 2; });
    afterMaking = ChildTexts(tree, item);
    RemoveDirectoryW(made.c_str());
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, made.c_str(), nullptr);
    WaitFor([&] { return ChildTexts(tree, item).size() == 1; });
    afterRemoving = ChildTexts(tree, item);
    Press(dialog, IDCANCEL);
  });
  EXPECT_FALSE(BrowseForFolder(owner, folder).has_value());
  ASSERT_TRUE(answer.Answered());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(ToUtf8(listed[0]), "可见");
  ASSERT_EQ(afterMaking.size(), 2u);
  EXPECT_NE(std::find(afterMaking.begin(), afterMaking.end(), u"新建文件夹"), afterMaking.end());
  ASSERT_EQ(afterRemoving.size(), 1u);
  EXPECT_EQ(ToUtf8(afterRemoving[0]), "可见");
}

TEST_F(FolderBrowserTest, RightClickSelectsTheEntryAndOpensItsMenu) {
  std::filesystem::create_directory(picrelink::test::ToPath(folder + u"\\可见"));
  std::u16string selectedAfter;
  int menuItems = -1;
  Answerer answer(L"#32770", [&](HWND dialog) {
    HWND tree = GetDlgItem(dialog, kFolderBrowserTree);
    HTREEITEM item = TreeView_GetSelection(tree);
    TreeView_Expand(tree, item, TVE_EXPAND);
    HTREEITEM child = TreeView_GetChild(tree, item);
    RECT box{};
    TreeView_GetItemRect(tree, child, &box, TRUE);
    POINT at{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
    ClientToScreen(tree, &at);
    SetCursorPos(at.x, at.y);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, clicks, sizeof(INPUT));
    HWND menu = nullptr;
    WaitFor([&] { return (menu = test::FindShown(L"#32768")) != nullptr; });
    if (menu != nullptr) {
      menuItems = GetMenuItemCount(reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0)));
    }
    selectedAfter = ItemText(tree, TreeView_GetSelection(tree));
    // Closes the menu as a click elsewhere would.
    PostMessageW(dialog, WM_CANCELMODE, 0, 0);
    WaitFor([&] { return test::FindShown(L"#32768") == nullptr; });
    Press(dialog, IDCANCEL);
  });
  EXPECT_FALSE(BrowseForFolder(owner, folder).has_value());
  ASSERT_TRUE(answer.Answered());
  EXPECT_EQ(ToUtf8(selectedAfter), "可见");
  EXPECT_GT(menuItems, 0);
}

}  // namespace
}  // namespace picrelink::win32
