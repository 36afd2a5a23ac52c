// The real picrelink.exe, started as the seller starts it: copied into a
// folder with a Chinese name and spaces beside a CSV and its pictures, and
// driven from this process through its window's messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/utf.h"
#include "relocation/run/adjustment_run.h"
#include "tests/support/test_files.h"
#include "tests/windows/window/window_search.h"
#include "tests/windows/windows_support.h"
#include "win32/control_ids.h"
#include "win32/win32_text.h"

namespace picrelink::win32 {
namespace {

namespace fs = std::filesystem;
using picrelink::test::ItemListing;
using picrelink::test::ReadBytes;
using picrelink::test::TempDir;
using picrelink::test::ToPath;
using picrelink::test::UrlOf;
using picrelink::test::Utf16FileBytes;
using picrelink::test::WriteBytes;
using test::BoxMessage;
using test::TextOf;
using test::WindowsOf;

bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::seconds(90)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Puts a CSV and its picture folder into shop (a folder ending in "\\") beside
// the program there, starts it as a double-click would, checks what its
// window found, runs the start command with a backup and closes it.
void StartBesideAPackageAndRun(const std::u16string& shop) {
  const std::u16string program = shop + u"picrelink.exe";
  const std::u16string pictures = shop + u"宝贝 图片";
  fs::create_directories(ToPath(pictures + u"\\item1"));
  WriteBytes(ToPath(pictures + u"\\item1\\主图.jpg"), "jpg");
  WriteBytes(ToPath(pictures + u"\\item1\\细节.jpg"), "jpg");
  const std::u16string csv = shop + u"商品.csv";
  const std::string original =
      Utf16FileBytes(ItemListing(u"D:\\旧 资料\\宝贝 图片", u"file:///D:/旧%20资料/宝贝%20图片"));
  WriteBytes(ToPath(csv), original);

  std::wstring commandLine = L"\"" + Wide(program) + L"\"";
  const std::wstring folder = Wide(shop);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &startup, &process))
      << GetLastError();
  CloseHandle(process.hThread);
  struct Ender {
    HANDLE process;
    ~Ender() {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
      CloseHandle(process);
    }
  } ender{process.hProcess};

  HWND window = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    const auto found = WindowsOf(process.dwProcessId, L"PicRelinkTForm1");
    window = found.empty() ? nullptr : found.front();
    return window != nullptr;
  })) << "the window did not appear";
  EXPECT_EQ(ToUtf8(TextOf(window)), ToUtf8(kWindowCaption));

  // Start-up has filled the three path edits before the window is shown.
  EXPECT_EQ(ToUtf8(TextOf(GetDlgItem(window, kIdBtn1))), ToUtf8(csv));
  EXPECT_EQ(ToUtf8(TextOf(GetDlgItem(window, kIdBtn2))), "D:\\旧 资料\\宝贝 图片");
  EXPECT_EQ(ToUtf8(TextOf(GetDlgItem(window, kIdBtn3))), ToUtf8(pictures));

  HWND backup = GetDlgItem(window, kIdCheckBox1);
  SendMessageW(backup, BM_SETCHECK, BST_CHECKED, 0);
  HWND start = GetDlgItem(window, kIdCxButton30);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIdCxButton30, BN_CLICKED),
               reinterpret_cast<LPARAM>(start));

  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    const auto found = WindowsOf(process.dwProcessId, L"#32770");
    box = found.empty() ? nullptr : found.front();
    return box != nullptr;
  })) << "no message box";
  EXPECT_EQ(ToUtf8(TextOf(box)), ToUtf8(kWindowCaption));
  const std::u16string message = BoxMessage(box);
  EXPECT_TRUE(message.starts_with(kSuccessMessage)) << ToUtf8(message);
  EXPECT_FALSE(IsWindowEnabled(start)) << "the start button is greyed while the message shows";
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(start) != FALSE; }));
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);

  EXPECT_EQ(ReadBytes(ToPath(csv)), Utf16FileBytes(ItemListing(pictures, UrlOf(pictures))));
  EXPECT_EQ(ReadBytes(ToPath(shop + u"商品_备份.csv")), original);
}

TEST(Program, StartsBesideTheCsvAndItsPicturesAndARunRewritesTheCsv) {
  TempDir dir;
  const std::u16string shop = dir.Folder() + u"店铺 资料 2026\\";
  fs::create_directories(ToPath(shop));
  fs::copy_file(fs::path(picrelink::test::BesideThisProgram(L"picrelink.exe")),
                ToPath(shop + u"picrelink.exe"));
  StartBesideAPackageAndRun(shop);
}

// The zip a seller downloads, unpacked by the Windows leg into a folder with
// a Chinese name inside the folder that PICRELINK_UNPACKED_ZIP names: its
// three files are there, and the program runs from there.
TEST(Package, UnpackedIntoAChineseFolderItRunsBesideAPackage) {
  const char* root = std::getenv("PICRELINK_UNPACKED_ZIP");
  if (root == nullptr) GTEST_SKIP() << "no unpacked zip (scripts/test-windows.sh unpacks one)";
  std::vector<fs::path> folders;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(root))) {
    if (entry.is_directory()) folders.push_back(entry.path());
  }
  ASSERT_EQ(folders.size(), 1u) << root;
  const std::u16string shop = folders[0].u16string() + u"\\";
  EXPECT_TRUE(std::any_of(shop.begin(), shop.end(), [](char16_t c) { return c >= 0x4e00; }))
      << ToUtf8(shop);
  for (const char16_t* name : {u"picrelink.exe", u"picrelink-cli.exe", u"使用说明.html"}) {
    EXPECT_TRUE(fs::is_regular_file(ToPath(shop + name))) << ToUtf8(name);
  }
  StartBesideAPackageAndRun(shop);
}

}  // namespace
}  // namespace picrelink::win32
