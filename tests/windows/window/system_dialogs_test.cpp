// The real boxes and dialogs of the window, each answered by a second thread
// that finds it among this process's windows, reads it and presses one of
// its buttons.
#include <gtest/gtest.h>

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "core/utf.h"
#include "relocation/error_text.h"
#include "tests/support/test_files.h"
#include "tests/windows/window/dialog_answerer.h"
#include "tests/windows/window/window_search.h"
#include "win32/system_dialogs.h"

namespace picrelink::win32 {
namespace {

using test::Answerer;
using test::BoxMessage;
using test::Press;
using test::TextOf;
using test::WindowsOf;

class SystemDialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                            300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    dialogs.SetOwner(owner);
  }
  void TearDown() override { DestroyWindow(owner); }

  HWND owner = nullptr;
  SystemDialogs dialogs{ProgramPath(), Language::Chinese};
};

TEST_F(SystemDialogsTest, ErrorBoxIsCaptionedWithTheProgramAndEndsItsMessage) {
  std::u16string caption, message;
  Answerer answer(L"#32770", [&](HWND box) {
    caption = TextOf(box);
    message = BoxMessage(box);
    Press(box, IDOK);
  });
  dialogs.ShowError(u"'0.5' is not a valid integer value");
  ASSERT_TRUE(answer.Answered());
  EXPECT_EQ(ToUtf8(caption), ToUtf8(ErrorBoxCaption(ProgramPath())));
  // The name of window_tests.exe; only capitals after the first character are lowered.
  EXPECT_EQ(ToUtf8(caption), "window_tests");
  EXPECT_EQ(ToUtf8(message), "'0.5' is not a valid integer value.");
}

TEST_F(SystemDialogsTest, InformationBoxShowsTextAndCaptionAsGivenOverItsOwner) {
  std::u16string caption, message;
  bool ownerEnabled = true;
  Answerer answer(L"#32770", [&](HWND box) {
    caption = TextOf(box);
    message = BoxMessage(box);
    ownerEnabled = IsWindowEnabled(owner) != FALSE;
    Press(box, IDOK);
  });
  dialogs.ShowInformation(u"调整成功！", u"调整CSV文件宝贝描述图片位置");
  ASSERT_TRUE(answer.Answered());
  EXPECT_EQ(ToUtf8(caption), "调整CSV文件宝贝描述图片位置");
  EXPECT_EQ(ToUtf8(message), "调整成功！");
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(SystemDialogsTest, QuestionAnswersYesOnlyForYesAndNoIsItsDefault) {
  for (const int button : {IDYES, IDNO}) {
    bool noIsDefault = false;
    Answerer answer(L"#32770", [&](HWND box) {
      const LONG_PTR style = GetWindowLongPtrW(GetDlgItem(box, IDNO), GWL_STYLE);
      noIsDefault = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
      Press(box, button);
    });
    const bool yes =
        dialogs.AskYesNo(u"新文件夹不存在，仍要调整吗？", u"调整CSV文件宝贝描述图片位置");
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(yes, button == IDYES);
    EXPECT_TRUE(noIsDefault);
  }
}

TEST_F(SystemDialogsTest, EveryBoxGivesTheActivationBackToTheWindowThatHadIt) {
  const struct {
    const char* name;
    const wchar_t* kind;
    int button;
    std::function<void()> open;
  } boxes[] = {
      {"error", L"#32770", IDOK, [&] { dialogs.ShowError(u"出错了"); }},
      {"information", L"#32770", IDOK, [&] { dialogs.ShowInformation(u"调整成功！", u"标题"); }},
      {"question", L"#32770", IDNO, [&] { dialogs.AskYesNo(u"仍要改写吗？", u"标题"); }},
      {"details", L"PicRelinkDetails", IDCANCEL, [&] { dialogs.ShowDetails(u"第一行", false); }},
  };
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.name);
    SetForegroundWindow(owner);
    SetActiveWindow(owner);
    ASSERT_EQ(GetActiveWindow(), owner);
    Answerer answer(box.kind, [&](HWND shown) { Press(shown, box.button); });
    box.open();
    ASSERT_TRUE(answer.Answered());
    EXPECT_EQ(GetActiveWindow(), owner);
    EXPECT_TRUE(IsWindowEnabled(owner));
  }
}

TEST_F(SystemDialogsTest, DetailsShowEveryLineAndCopyAllPutsThemOnTheClipboard) {
  // The owner away from the screen's middle: the details come over it.
  MoveWindow(owner, 300, 200, 800, 500, TRUE);
  std::u16string shown;
  bool ownerEnabled = true;
  RECT placed{};
  Answerer answer(L"PicRelinkDetails", [&](HWND window) {
    shown = TextOf(GetDlgItem(window, 10));
    GetWindowRect(window, &placed);
    ownerEnabled = IsWindowEnabled(owner) != FALSE;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(11, BN_CLICKED), 0);  // Copy All
    Press(window, IDCANCEL);
  });
  EXPECT_FALSE(dialogs.ShowDetails(u"第一行\n第二行 D:\\图片\\a.jpg", false));
  ASSERT_TRUE(answer.Answered());
  EXPECT_EQ(ToUtf8(shown), "第一行\r\n第二行 D:\\图片\\a.jpg");
  // Centred on the owner.
  EXPECT_NEAR((placed.left + placed.right) / 2, 300 + 800 / 2, 1);
  EXPECT_NEAR((placed.top + placed.bottom) / 2, 200 + 500 / 2, 1);
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(IsWindowEnabled(owner));

  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  const std::u16string copied = U16(static_cast<const wchar_t*>(GlobalLock(data)));
  GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(copied, shown);
}

TEST_F(SystemDialogsTest, DetailsOfferRestoreOnlyWhenAskedAndSayWhenItWasChosen) {
  bool offered = true;
  Answerer without(L"PicRelinkDetails", [&](HWND window) {
    offered = GetDlgItem(window, 12) != nullptr;
    Press(window, IDCANCEL);
  });
  EXPECT_FALSE(dialogs.ShowDetails(u"详情", false));
  ASSERT_TRUE(without.Answered());
  EXPECT_FALSE(offered);

  std::u16string label;
  Answerer with(L"PicRelinkDetails", [&](HWND window) {
    label = TextOf(GetDlgItem(window, 12));
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), 0);
  });
  EXPECT_TRUE(dialogs.ShowDetails(u"详情", true));
  ASSERT_TRUE(with.Answered());
  EXPECT_EQ(ToUtf8(label), "恢复备份");
}

// The file name box of the open-file dialog.
constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;

TEST_F(SystemDialogsTest, OpenFileDialogGivesTheTypedPathAndNothingWhenCancelled) {
  picrelink::test::TempDir dir;
  const std::u16string typed = dir.Folder() + u"还没有的 文件.csv";
  RECT placed{};
  Answerer answer(L"#32770", [&](HWND dialog) {
    GetWindowRect(dialog, &placed);
    HWND name = GetDlgItem(dialog, kFileNameCombo);
    if (name == nullptr) name = GetDlgItem(dialog, kFileNameEdit);
    SetWindowText(name, typed);
    Press(dialog, IDOK);
  });
  const std::optional<std::u16string> chosen = dialogs.ChooseCsvFile(u"");
  ASSERT_TRUE(answer.Answered());
  ASSERT_TRUE(chosen.has_value());
  // No check that the file exists: the name comes back as typed.
  EXPECT_EQ(ToUtf8(*chosen), ToUtf8(typed));

  // On the owner's monitor: centred across, a third of the free height above.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  EXPECT_NEAR(placed.left - screen.left,
              (screen.right - screen.left - (placed.right - placed.left)) / 2, 1);
  EXPECT_NEAR(placed.top - screen.top,
              (screen.bottom - screen.top - (placed.bottom - placed.top)) / 3, 1);

  Answerer cancel(L"#32770", [&](HWND dialog) { Press(dialog, IDCANCEL); });
  EXPECT_FALSE(dialogs.ChooseCsvFile(typed).has_value());
  EXPECT_TRUE(cancel.Answered());
}

TEST_F(SystemDialogsTest, FolderBrowserIsOwnedByTheWindowAndGivesItsChoice) {
  picrelink::test::TempDir dir;
  bool ownerEnabled = true;
  Answerer answer(L"#32770", [&](HWND dialog) {
    ownerEnabled = IsWindowEnabled(owner) != FALSE;
    Press(dialog, IDOK);
  });
  const std::optional<std::u16string> chosen = dialogs.BrowseForFolder(u"C:\\");
  ASSERT_TRUE(answer.Answered());
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(ToUtf8(*chosen), "C:\\");
}

}  // namespace
}  // namespace picrelink::win32
