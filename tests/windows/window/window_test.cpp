// The Win32 window driven in-process: values set and read through its
// controls' messages, buttons pressed with BM_CLICK, dialogs answered by a
// fake, and the CSV's bytes checked on disk.
#include <gtest/gtest.h>

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/utf.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/run_texts.h"
#include "relocation/session/offer_texts.h"
#include "relocation/session/status_area_texts.h"
#include "relocation/session/status_text.h"
#include "relocation/session/window_status.h"
#include "relocation/session/window_texts.h"
#include "tests/support/test_files.h"
#include "tests/windows/window/fake_dialogs.h"
#include "tests/windows/windows_support.h"
#include "win32/control_ids.h"
#include "win32/unit1.h"
#include "win32/window_font.h"

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
using test::FakeDialogs;

constexpr std::u16string_view kOldFolder = u"D:\\旧 资料\\宝贝 图片";
constexpr std::u16string_view kOldUrlFolder = u"file:///D:/旧%20资料/宝贝%20图片";

// Runs the window's messages until done holds or a long time has passed.
bool PumpUntil(HWND window, const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (window != nullptr && IsWindow(window) && IsDialogMessageW(window, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

class Window : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
  }

  void SetUp() override {
    fs::create_directories(ToPath(shop + u"宝贝 图片\\item1"));
    for (const char16_t* picture : {u"主图.jpg", u"细节.jpg"}) {
      WriteBytes(ToPath(shop + u"宝贝 图片\\item1\\" + picture), "jpg");
    }
    WriteBytes(ToPath(csv), original);
    settings.language = Language::Chinese;
    settings.decimalSeparator = u'.';
    settings.quitWhenClosed = false;
  }

  // The window beside the CSV, shown without taking the activation.
  TForm1& Open() {
    form = std::make_unique<TForm1>(
        dialogs, [this] { return shop; }, settings);
    dialogs.startButton = form->cxButton30;
    ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
    return *form;
  }

  void WaitForStatus(TForm1& window) {
    ASSERT_TRUE(PumpUntil(window.Handle(), [&] { return !window.StatusPending(); }));
  }

  void Start(TForm1& window) {
    const int ended = window.StartsEnded();
    SendMessageW(window.cxButton30, BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil(window.Handle(), [&] { return window.StartsEnded() > ended; }));
  }

  TempDir dir;
  const std::u16string shop = dir.Folder() + u"店铺 资料\\";  // the program folder
  const std::u16string csv = shop + u"商品.csv";
  const std::string original = Utf16FileBytes(ItemListing(kOldFolder, kOldUrlFolder));
  FakeDialogs dialogs;
  WindowSettings settings;
  std::unique_ptr<TForm1> form;
};

TEST_F(Window, StartUpBesideTheCsvFillsThePathEditsInAChineseFolder) {
  TForm1& window = Open();
  EXPECT_TRUE(dialogs.errors.empty());
  EXPECT_EQ(ToUtf8(WindowText(window.btn1.Edit())), ToUtf8(csv));
  EXPECT_EQ(ToUtf8(WindowText(window.btn2.Edit())), ToUtf8(kOldFolder));
  EXPECT_EQ(ToUtf8(WindowText(window.btn3.Edit())), ToUtf8(shop + u"宝贝 图片"));
  EXPECT_EQ(ToUtf8(WindowText(window.edtnum.Edit())), "1");
  EXPECT_EQ(SendMessageW(window.CheckBox1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(ToUtf8(WindowText(window.Handle())), ToUtf8(kWindowCaption));
}

TEST_F(Window, ControlsCarryTheirTexts) {
  TForm1& window = Open();
  const struct {
    HWND control;
    std::u16string_view text;
  } controls[] = {
      {window.cxLabel4, kTipText},
      {window.cxLabel2, kCsvLabelText},
      {window.Label8, kLevelLabelText},
      {window.cxButton1, kRedetectText},
      {window.cxLabel3, kOldFolderLabelText},
      {window.cxLabel30, kNewFolderLabelText},
      {window.CheckBox1, kBackupText},
      {window.cxButton30, kStartText},
      {window.cxLabel1, kStartHintText},
      {window.btn1.Button(), kBrowseText},
  };
  for (const auto& control : controls) {
    EXPECT_EQ(ToUtf8(WindowText(control.control)), ToUtf8(control.text));
  }
}

// Where a control lies in the window's client area.
RECT ClientRectOf(HWND control) {
  RECT box{};
  GetWindowRect(control, &box);
  MapWindowPoints(nullptr, GetAncestor(control, GA_ROOT), reinterpret_cast<POINT*>(&box), 2);
  return box;
}

// The controls where the design puts them at 96 dpi, scaled for dpi, all in
// the window's face at 15 pixels.
void ExpectDesignedPlaces(TForm1& window, UINT dpi) {
  auto at = [dpi](int pixels) { return Scaled(pixels, dpi); };
  // Width and height 0: they follow the text or the font.
  const struct {
    const char* name;
    HWND control;
    int left, top, width, height;
  } controls[] = {
      {"cxLabel4", window.cxLabel4, 11, 13, 0, 0},
      {"cxLabel2", window.cxLabel2, 32, 45, 0, 0},
      {"btn1", window.btn1.Edit(), 138, 44, 636, 0},
      {"cxButton1", window.cxButton1, 322, 83, 109, 25},
      {"cxLabel3", window.cxLabel3, 3, 128, 0, 0},
      {"btn2", window.btn2.Edit(), 138, 126, 636, 0},
      {"cxLabel30", window.cxLabel30, 11, 171, 0, 0},
      {"btn3", window.btn3.Edit(), 138, 169, 636, 0},
      {"CheckBox1", window.CheckBox1, 24, 206, 321, 0},
      {"cxButton30", window.cxButton30, 20, 244, 109, 25},
      {"cxLabel1", window.cxLabel1, 139, 247, 0, 0},
  };
  for (const auto& control : controls) {
    SCOPED_TRACE(control.name);
    const RECT box = ClientRectOf(control.control);
    EXPECT_EQ(box.left, at(control.left));
    EXPECT_EQ(box.top, at(control.top));
    if (control.width) {
      EXPECT_EQ(box.right - box.left, at(control.width));
    }
    if (control.height) {
      EXPECT_EQ(box.bottom - box.top, at(control.height));
    }
  }
  // Label8 is 234 × 15 at 3, 88, or wider and further left where its text
  // needs it, and as tall as a line where the face needs more.
  const auto font = reinterpret_cast<HFONT>(SendMessageW(window.btn2.Edit(), WM_GETFONT, 0, 0));
  const auto labelFont = reinterpret_cast<HFONT>(SendMessageW(window.Label8, WM_GETFONT, 0, 0));
  const RECT label8 = ClientRectOf(window.Label8);
  EXPECT_LE(label8.left, at(3));
  EXPECT_EQ(label8.top, at(88));
  EXPECT_GE(label8.right - label8.left, at(234));
  EXPECT_EQ(label8.bottom - label8.top, std::max(at(15), LineHeight(labelFont)));
  // The level edit and its buttons together.
  RECT edit = ClientRectOf(window.edtnum.Edit());
  RECT buttons = ClientRectOf(window.edtnum.UpDown());
  EXPECT_EQ(edit.left, at(239));
  EXPECT_EQ(edit.top, at(84));
  EXPECT_EQ(buttons.right - edit.left, at(58));
  EXPECT_EQ(edit.bottom - edit.top, at(23));

  // The status band fits inside the client area, below the start button.
  RECT client{};
  GetClientRect(window.Handle(), &client);
  EXPECT_LE(ClientRectOf(window.statusArea.DetailsButton()).bottom, client.bottom);

  // Every control in the window's face at 15 pixels.
  LOGFONTW face{};
  ASSERT_EQ(GetObjectW(font, sizeof(face), &face), static_cast<int>(sizeof(face)));
  EXPECT_EQ(face.lfHeight, -at(15));
  EXPECT_EQ(std::wstring(face.lfFaceName), WindowFontFace());
}

TEST_F(Window, ControlsLieWhereTheDesignPutsThemAtTheWindowsDpi) {
  TForm1& window = Open();
  const UINT dpi = GetDpiForWindow(window.Handle());
  RECT outer{};
  GetWindowRect(window.Handle(), &outer);
  EXPECT_EQ(outer.right - outer.left, Scaled(800, dpi));
  EXPECT_EQ(outer.bottom - outer.top, Scaled(347, dpi));
  ExpectDesignedPlaces(window, dpi);
}

TEST_F(Window, AMonitorOfAnotherDpiScalesEverything) {
  TForm1& window = Open();
  // What the system sends when the window moves to a monitor at 150 %.
  RECT suggested{10, 20, 10 + Scaled(800, 144), 20 + Scaled(347, 144)};
  SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  RECT outer{};
  GetWindowRect(window.Handle(), &outer);
  EXPECT_EQ(outer.right - outer.left, suggested.right - suggested.left);
  EXPECT_EQ(outer.bottom - outer.top, suggested.bottom - suggested.top);
  ExpectDesignedPlaces(window, 144);
}

// The window's client area as it is drawn, read back from its surface.
class Drawn {
 public:
  explicit Drawn(HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpUntil(window, [] { return true; });
    RECT client{};
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC source = GetDC(window);
    HDC copy = CreateCompatibleDC(source);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(copy, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, width_, height_, source, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    pixels_.assign(pixels, pixels + static_cast<size_t>(width_) * height_);
    SelectObject(copy, old);
    DeleteObject(bitmap);
    DeleteDC(copy);
    ReleaseDC(window, source);
  }

  // The pixels in box (client coordinates) dark enough to be a glyph's ink
  // on a light ground.
  int Ink(RECT box) const {
    int count = 0;
    for (LONG y = std::max<LONG>(box.top, 0); y < std::min<LONG>(box.bottom, height_); ++y) {
      for (LONG x = std::max<LONG>(box.left, 0); x < std::min<LONG>(box.right, width_); ++x) {
        const uint32_t pixel = pixels_[static_cast<size_t>(y) * width_ + x];
        const int sum = (pixel & 0xFF) + ((pixel >> 8) & 0xFF) + ((pixel >> 16) & 0xFF);
        if (sum < 3 * 128) ++count;
      }
    }
    return count;
  }

 private:
  LONG width_ = 0;
  LONG height_ = 0;
  std::vector<uint32_t> pixels_;
};

RECT Inset(RECT box, int by) {
  return {box.left + by, box.top + by, box.right - by, box.bottom - by};
}

class WindowAtDpi : public Window, public ::testing::WithParamInterface<UINT> {
 protected:
  // The window laid out for GetParam() dpi, as after a move to a monitor of
  // that scale, shown.
  TForm1& OpenAtDpi() {
    TForm1& window = Open();
    const UINT dpi = GetParam();
    if (dpi != GetDpiForWindow(window.Handle())) {
      RECT suggested{0, 0, Scaled(800, dpi), Scaled(347, dpi)};
      SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    }
    WaitForStatus(window);
    return window;
  }
};

TEST_P(WindowAtDpi, TheBrowseButtonsDrawTheirDotsInsideThePathEdits) {
  TForm1& window = OpenAtDpi();
  const UINT dpi = GetParam();
  const Drawn drawn(window.Handle());
  for (PathEdit* edit : {&window.btn1, &window.btn2, &window.btn3}) {
    SCOPED_TRACE(ToUtf8(WindowText(edit->Edit())));
    const RECT button = ClientRectOf(edit->Button());
    const RECT box = ClientRectOf(edit->Edit());
    // At the edit's right end, inside its border.
    EXPECT_GT(button.left, box.left + (box.right - box.left) / 2);
    EXPECT_LE(button.right, box.right);
    EXPECT_GE(button.top, box.top);
    EXPECT_LE(button.bottom, box.bottom);
    // Its face inside its frame shows the dots' ink.
    EXPECT_GE(drawn.Ink(Inset(button, Scaled(4, dpi))), 3);
  }
}

TEST_P(WindowAtDpi, TheLevelLabelAndTheTipAreWholeAndInTheirPlaces) {
  TForm1& window = OpenAtDpi();
  const Drawn drawn(window.Handle());
  RECT client{};
  GetClientRect(window.Handle(), &client);
  for (HWND label : {window.cxLabel4, window.Label8}) {
    const std::wstring text = Wide(WindowText(label));
    SCOPED_TRACE(ToUtf8(WindowText(label)));
    const auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    const RECT box = ClientRectOf(label);
    // One line, as wide as the text at least, inside the client area.
    EXPECT_EQ(GetWindowLongPtrW(label, GWL_STYLE) & SS_TYPEMASK, SS_LEFTNOWORDWRAP);
    EXPECT_GE(box.right - box.left, TextExtent(font, text).cx);
    EXPECT_GE(box.bottom - box.top, LineHeight(font));
    EXPECT_GE(box.left, 0);
    EXPECT_LE(box.right, client.right);
    // Its last two characters are drawn on its one line.
    const int before = TextExtent(font, text.substr(0, text.size() - 2)).cx;
    const RECT last{box.left + before, box.top, box.left + TextExtent(font, text).cx,
                    box.top + LineHeight(font)};
    EXPECT_GE(drawn.Ink(last), 4);
  }
  // The level's label ends before the level edit.
  EXPECT_LE(ClientRectOf(window.Label8).right, ClientRectOf(window.edtnum.Edit()).left);
}

INSTANTIATE_TEST_SUITE_P(Dpi, WindowAtDpi, ::testing::Values(96u, 120u, 144u));

TEST_F(Window, AClickOnAButtonLeavesTheFocusOnAVisibleControl) {
  TForm1& window = Open();
  window.Show(SW_SHOWNORMAL);
  WaitForStatus(window);
  const struct {
    HWND button;
    HWND focus;  // where the focus is after the click
  } clicks[] = {
      {window.btn1.Button(), window.btn1.Edit()},
      {window.btn2.Button(), window.btn2.Edit()},
      {window.btn3.Button(), window.btn3.Edit()},
      {window.cxButton1, window.cxButton1},
  };
  for (const auto& click : clicks) {
    SCOPED_TRACE(ToUtf8(WindowText(click.button)));
    SetFocus(window.edtnum.Edit());
    // The button's own messages for a click, as the mouse gives them.
    SendMessageW(click.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(click.button, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    PumpUntil(window.Handle(), [] { return true; });
    EXPECT_EQ(GetFocus(), click.focus);
    EXPECT_TRUE(IsWindowVisible(GetFocus()));
  }
  EXPECT_EQ(dialogs.csvAsked.size(), 1u);
  EXPECT_EQ(dialogs.folderAsked.size(), 2u);
}

TEST_F(Window, OnlyTheTipIsBlueAndNoLabelPaintsABackgroundOfItsOwn) {
  TForm1& window = Open();
  HDC context = CreateCompatibleDC(nullptr);
  for (HWND label : {window.cxLabel4, window.cxLabel2, window.Label8, window.cxLabel1}) {
    SetTextColor(context, RGB(1, 2, 3));
    SetBkMode(context, OPAQUE);
    const LRESULT brush =
        SendMessageW(window.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                     reinterpret_cast<LPARAM>(label));
    EXPECT_EQ(GetTextColor(context),
              label == window.cxLabel4 ? RGB(0x00, 0x00, 0xFF) : GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(GetBkMode(context), TRANSPARENT);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_BTNFACE));
  }
  DeleteDC(context);
}

TEST_F(Window, OpensMaximisedOrMinimisedOnlyWhenStartedSo) {
  const struct {
    int showCommand;
    bool maximised, minimised;
  } cases[] = {
      {SW_SHOWMAXIMIZED, true, false},  {SW_SHOWMINNOACTIVE, false, true},
      {SW_SHOWNORMAL, false, false},    {SW_SHOWDEFAULT, false, false},
      {SW_SHOWMINIMIZED, false, false},  // only 7 opens minimised
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.showCommand);
    form = std::make_unique<TForm1>(
        dialogs, [this] { return shop; }, settings);
    form->Show(one.showCommand);
    PumpUntil(form->Handle(), [] { return true; });
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(IsZoomed(form->Handle()) != FALSE, one.maximised);
    EXPECT_EQ(IsIconic(form->Handle()) != FALSE, one.minimised);
    form.reset();
  }
}

TEST_F(Window, TabOrderRunsAsDesignedAndWrapsAround) {
  TForm1& window = Open();
  window.Show(SW_SHOWNORMAL);
  EXPECT_EQ(GetFocus(), window.btn2.Edit());
  const HWND order[] = {window.btn2.Edit(), window.btn3.Edit(),   window.cxButton30,
                        window.btn1.Edit(), window.edtnum.Edit(), window.CheckBox1,
                        window.cxButton1};
  const size_t count = std::size(order);
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(GetNextDlgTabItem(window.Handle(), order[i], FALSE), order[(i + 1) % count]) << i;
    EXPECT_EQ(GetNextDlgTabItem(window.Handle(), order[i], TRUE), order[(i + count - 1) % count])
        << i;
  }
  // Tab leaves the status text too, which is a multi-line edit.
  SetFocus(window.statusArea.TextControl());
  MSG tab{window.statusArea.TextControl(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
  EXPECT_TRUE(IsDialogMessageW(window.Handle(), &tab));
  EXPECT_NE(GetFocus(), window.statusArea.TextControl());
}

TEST_F(Window, StatusTellsWhatTheCensusFound) {
  TForm1& window = Open();
  WaitForStatus(window);
  StatusRequest request{csv, u"1", shop + u"宝贝 图片", {csv}};
  const std::u16string expected = StatusText(TakeStatus(request), Language::Chinese);
  // The status edit breaks its lines with "\r\n".
  std::u16string shown = window.statusArea.Text();
  std::erase(shown, u'\r');
  EXPECT_EQ(ToUtf8(shown), ToUtf8(expected));
  EXPECT_NE(expected.find(u'2'), std::u16string::npos) << "two references";
  EXPECT_TRUE(IsWindowVisible(window.statusArea.DetailsButton()));

  SendMessageW(window.statusArea.DetailsButton(), BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs.details.size(), 1u);
  EXPECT_NE(dialogs.details[0].find(kOldFolder), std::u16string::npos)
      << ToUtf8(dialogs.details[0]);
}

TEST_F(Window, TheOfferTakesTheFolderWhereThePicturesAre) {
  // The package unpacked under another name than the CSV names.
  fs::rename(ToPath(shop + u"宝贝 图片"), ToPath(shop + u"宝贝图片"));
  TForm1& window = Open();
  WaitForStatus(window);
  HWND offer = window.statusArea.OfferButton();
  ASSERT_TRUE(IsWindowVisible(offer)) << ToUtf8(window.statusArea.Text());
  EXPECT_EQ(ToUtf8(WindowText(offer)), ToUtf8(kUseSuggestion));
  EXPECT_NE(window.statusArea.Text().find(u"图片在“宝贝图片”下找到 2/2 张"), std::u16string::npos)
      << ToUtf8(window.statusArea.Text());
  // The text ends before the offer.
  RECT text{}, button{};
  GetWindowRect(window.statusArea.TextControl(), &text);
  GetWindowRect(offer, &button);
  EXPECT_LE(text.right, button.left);

  SendMessageW(offer, BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowVisible(offer));
  EXPECT_EQ(ToUtf8(WindowText(window.btn3.Edit())), ToUtf8(shop + u"宝贝图片"));
  EXPECT_EQ(ToUtf8(WindowText(window.edtnum.Edit())), "1");
  WaitForStatus(window);
  EXPECT_FALSE(IsWindowVisible(offer));
  EXPECT_NE(window.statusArea.Text().find(u"找到 2 张，缺少 0 张"), std::u16string::npos)
      << ToUtf8(window.statusArea.Text());
}

TEST_F(Window, RestoreFromTheDetailsAsksFirstAndPutsTheBackupBack) {
  TForm1& window = Open();
  WaitForStatus(window);
  SendMessageW(window.statusArea.DetailsButton(), BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs.restoreOffered.size(), 1u);
  EXPECT_FALSE(dialogs.restoreOffered[0]) << "no backup yet";

  WriteBytes(ToPath(shop + u"商品_备份.csv"), "older");
  dialogs.restoreAnswer = true;
  dialogs.questionAnswer = true;
  SendMessageW(window.statusArea.DetailsButton(), BM_CLICK, 0, 0);
  EXPECT_TRUE(dialogs.restoreOffered[1]);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  ASSERT_TRUE(PumpUntil(window.Handle(), [&] { return !dialogs.informations.empty(); }));
  EXPECT_EQ(ReadBytes(ToPath(csv)), "older");
  EXPECT_EQ(ReadBytes(ToPath(shop + u"商品_备份(2).csv")), original);
  EXPECT_NE(dialogs.informations[0].text.find(u"picrelink-cli restore"), std::u16string::npos);
}

TEST_F(Window, TheLongestStatusIsShownInWholeLinesAndWhollyInItsTooltipAndDetails) {
  // Three CSVs beside the program, and pictures missing: the status has two
  // long lines.
  for (const char16_t* name : {u"商品 二（2026 年春季上新，含详情页图片）.csv",
                               u"商品 三（2026 年夏季上新，含详情页图片）.csv"}) {
    WriteBytes(ToPath(shop + name), original);
  }
  fs::remove(ToPath(shop + u"宝贝 图片\\item1\\细节.jpg"));
  TForm1& window = Open();
  WaitForStatus(window);
  const std::u16string whole = window.statusArea.Text();
  ASSERT_NE(whole.find(u'\n'), std::u16string::npos) << ToUtf8(whole);

  HWND text = window.statusArea.TextControl();
  const auto font = reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0));
  std::u16string shown = window.statusArea.ShownText();
  std::erase(shown, u'\r');
  // Each shown line is one line of the edit, all of them inside the band.
  const auto lines = std::count(shown.begin(), shown.end(), u'\n') + 1;
  EXPECT_EQ(SendMessageW(text, EM_GETLINECOUNT, 0, 0), lines) << ToUtf8(shown);
  EXPECT_LE(lines, window.statusArea.Lines());
  RECT box = ClientRectOf(text);
  RECT client{};
  GetClientRect(window.Handle(), &client);
  EXPECT_GE(box.bottom - box.top, window.statusArea.Lines() * LineHeight(font));
  EXPECT_LE(box.bottom, client.bottom);
  // The start of every line of the status is seen; what is cut ends in "…".
  size_t shownAt = 0;
  for (size_t start = 0, end = 0; start < whole.size(); start = end + 1) {
    end = std::min(whole.find(u'\n', start), whole.size());
    const std::u16string line = whole.substr(start, std::min<size_t>(end - start, 8));
    SCOPED_TRACE(ToUtf8(line));
    if (shownAt >= shown.size()) {
      EXPECT_TRUE(shown.ends_with(u"…")) << ToUtf8(shown);
      break;
    }
    EXPECT_EQ(shown.compare(shownAt, line.size(), line), 0) << ToUtf8(shown);
    shownAt = std::min(shown.find(u'\n', shownAt), shown.size()) + 1;
  }
  // The whole status in the tooltip and at the head of the details.
  std::wstring tip(4096, L'\0');
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = window.Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(text);
  tool.lpszText = tip.data();
  SendMessageW(window.statusArea.Tooltip(), TTM_GETTEXTW, tip.size(),
               reinterpret_cast<LPARAM>(&tool));
  tip.resize(wcslen(tip.c_str()));
  std::erase(tip, L'\r');
  EXPECT_EQ(ToUtf8(U16(tip)), ToUtf8(whole));
  EXPECT_TRUE(window.statusArea.Details().starts_with(whole));
  EXPECT_TRUE(IsWindowVisible(window.statusArea.DetailsButton()));
}

TEST_F(Window, StartWithBackupRewritesTheCsvAndTellsSuccessWhileTheButtonIsGreyed) {
  std::vector<bool> enabledDuringRun;
  HWND startButton = nullptr;
  settings.runProgressHook = [&] {
    enabledDuringRun.push_back(IsWindowEnabled(startButton) != FALSE);
  };
  TForm1& window = Open();
  startButton = window.cxButton30;
  WaitForStatus(window);
  SendMessageW(window.CheckBox1, BM_CLICK, 0, 0);
  ASSERT_EQ(SendMessageW(window.CheckBox1, BM_GETCHECK, 0, 0), BST_CHECKED);

  Start(window);
  // The CSV now names other folders: the census after the run reads it; the
  // bytes are read here once it has ended.
  WaitForStatus(window);
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_TRUE(dialogs.errors.empty()) << ToUtf8(dialogs.errors.at(0).text);
  ASSERT_EQ(dialogs.informations.size(), 1u);
  EXPECT_TRUE(dialogs.informations[0].text.starts_with(kSuccessMessage))
      << ToUtf8(dialogs.informations[0].text);
  EXPECT_EQ(ToUtf8(dialogs.informations[0].caption), ToUtf8(kWindowCaption));
  EXPECT_EQ(dialogs.informations[0].startButtonEnabled, false);
  ASSERT_FALSE(enabledDuringRun.empty());
  EXPECT_EQ(std::count(enabledDuringRun.begin(), enabledDuringRun.end(), true), 0);
  EXPECT_TRUE(IsWindowEnabled(window.cxButton30));

  const std::u16string pictures = shop + u"宝贝 图片";
  EXPECT_EQ(ReadBytes(ToPath(csv)), Utf16FileBytes(ItemListing(pictures, UrlOf(pictures))));
  EXPECT_EQ(ReadBytes(ToPath(shop + u"商品_备份.csv")), original);
}

TEST_F(Window, ACsvThatAnotherProgramReadsIsCountedButNotRewritten) {
  // A spreadsheet reading the CSV: others may read it too, nobody may write.
  HANDLE reader = CreateFileW(ToPath(csv).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  TForm1& window = Open();
  WaitForStatus(window);
  EXPECT_TRUE(dialogs.errors.empty()) << ToUtf8(dialogs.errors.at(0).text);
  StatusRequest request{csv, u"1", shop + u"宝贝 图片", {csv}};
  std::u16string shown = window.statusArea.Text();
  std::erase(shown, u'\r');
  EXPECT_EQ(ToUtf8(shown), ToUtf8(StatusText(TakeStatus(request), Language::Chinese)));

  Start(window);
  EXPECT_TRUE(dialogs.informations.empty());
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(ToUtf8(dialogs.errors[0].text),
            "Cannot open file \"" + ToUtf8(csv) + "\". " +
                picrelink::test::SystemText(ERROR_SHARING_VIOLATION));
  CloseHandle(reader);
  EXPECT_EQ(ReadBytes(ToPath(csv)), original);
  EXPECT_TRUE(IsWindowEnabled(window.cxButton30));
}

TEST_F(Window, StartWithoutACsvSaysSoInTheErrorBox) {
  fs::remove(ToPath(csv));
  TForm1& window = Open();
  WaitForStatus(window);
  ASSERT_EQ(WindowText(window.btn1.Edit()), u"");
  Start(window);
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(ToUtf8(dialogs.errors[0].text), NoCsvMessage(Language::Chinese));
  EXPECT_TRUE(dialogs.informations.empty());
  EXPECT_TRUE(IsWindowEnabled(window.cxButton30));
}

TEST_F(Window, NoAnswerToTheQuestionLeavesTheCsvAlone) {
  TForm1& window = Open();
  WaitForStatus(window);
  SetWindowText(window.btn3.Edit(), shop + u"没有这个文件夹");
  SendMessageW(window.CheckBox1, BM_CLICK, 0, 0);
  dialogs.questionAnswer = false;

  Start(window);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(ToUtf8(dialogs.questions[0].caption), ToUtf8(kWindowCaption));
  EXPECT_TRUE(dialogs.informations.empty());
  EXPECT_EQ(ReadBytes(ToPath(csv)), original);
  EXPECT_FALSE(fs::exists(ToPath(shop + u"商品_备份.csv")));
  EXPECT_TRUE(IsWindowEnabled(window.cxButton30));
}

TEST_F(Window, CancelDuringTheRunLeavesTheBytesAsTheyWere) {
  // A CSV of many pieces, and a run that waits at each piece so that the
  // window's thread sees the Escape key's cancel before the end.
  std::u16string many = u"\"标题\",\"描述\"\r\n";
  for (int row = 0; row < 4000; ++row) {
    many +=
        u"\"商品\",\"<img src=\"\"" + std::u16string(kOldFolder) + u"\\item1\\主图.jpg\"\">\"\r\n";
  }
  const std::string bytes = Utf16FileBytes(many);
  WriteBytes(ToPath(csv), bytes);
  settings.runBufferUnits = 4096;
  settings.progressDelayMs = 0;
  HWND target = nullptr;
  bool posted = false;
  settings.runProgressHook = [&] {
    if (!posted) {
      posted = true;
      PostMessageW(target, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  TForm1& window = Open();
  target = window.Handle();
  WaitForStatus(window);

  Start(window);
  EXPECT_TRUE(posted);
  EXPECT_TRUE(dialogs.informations.empty());
  EXPECT_TRUE(dialogs.errors.empty()) << ToUtf8(dialogs.errors.at(0).text);
  EXPECT_EQ(ToUtf8(window.statusArea.Text()),
            ToUtf8(StatusAreaTextsFor(Language::Chinese).cancelled));
  EXPECT_EQ(ReadBytes(ToPath(csv)), bytes);
  EXPECT_FALSE(window.statusArea.ProgressShown());
}

TEST_F(Window, ClosingDuringTheRunWaitsForIt) {
  std::u16string many = u"\"标题\",\"描述\"\r\n";
  for (int row = 0; row < 4000; ++row) {
    many +=
        u"\"商品\",\"<img src=\"\"" + std::u16string(kOldFolder) + u"\\item1\\主图.jpg\"\">\"\r\n";
  }
  WriteBytes(ToPath(csv), Utf16FileBytes(many));
  settings.runBufferUnits = 4096;
  HWND target = nullptr;
  bool posted = false;
  settings.runProgressHook = [&] {
    if (!posted) {
      posted = true;
      PostMessageW(target, WM_CLOSE, 0, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  TForm1& window = Open();
  target = window.Handle();
  WaitForStatus(window);
  SendMessageW(window.cxButton30, BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil(nullptr, [&] { return !IsWindow(target); }));

  // Cancelled in time: as it was; past its last moment: wholly rewritten.
  std::u16string rewritten = many;
  const std::u16string pictures = shop + u"宝贝 图片";
  for (size_t at = 0; (at = rewritten.find(kOldFolder, at)) != std::u16string::npos;) {
    rewritten.replace(at, kOldFolder.size(), pictures);
    at += pictures.size();
  }
  const std::string now = ReadBytes(ToPath(csv));
  EXPECT_TRUE(now == Utf16FileBytes(many) || now == Utf16FileBytes(rewritten));
  EXPECT_TRUE(dialogs.informations.empty());
}

TEST_F(Window, StartUpErrorIsShownBeforeTheWindowAndTheWindowStillOpens) {
  form = std::make_unique<TForm1>(
      dialogs, []() -> std::u16string { throw std::runtime_error("no program folder"); }, settings);
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(ToUtf8(dialogs.errors[0].text), "no program folder");
  EXPECT_FALSE(dialogs.errors[0].windowVisible);
  form->Show(SW_SHOWNORMAL);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(WindowText(form->btn2.Edit()), u"");
}

TEST_F(Window, ANonIntegerLevelIsTheDetectionsError) {
  TForm1& window = Open();
  WaitForStatus(window);
  SetWindowText(window.edtnum.Edit(), u"0.5");
  SendMessageW(window.cxButton1, BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(ToUtf8(dialogs.errors[0].text), "'0.5' is not a valid integer value");
  EXPECT_EQ(ToUtf8(WindowText(window.btn2.Edit())), ToUtf8(kOldFolder));
}

TEST_F(Window, OpenFileDialogCancelledChangesNothingConfirmedRedetects) {
  TForm1& window = Open();
  WaitForStatus(window);
  SetWindowText(window.btn2.Edit(), u"typed by hand");

  dialogs.csvAnswer.reset();
  SendMessageW(window.btn1.Button(), BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs.csvAsked.size(), 1u);
  EXPECT_EQ(ToUtf8(dialogs.csvAsked[0]), ToUtf8(csv));
  EXPECT_EQ(ToUtf8(WindowText(window.btn2.Edit())), "typed by hand");

  const std::u16string other = shop + u"另一个.csv";
  WriteBytes(ToPath(other),
             Utf16FileBytes(ItemListing(u"E:\\别处\\图库", u"file:///E:/别处/图库")));
  dialogs.csvAnswer = other;
  SendMessageW(window.btn1.Button(), BM_CLICK, 0, 0);
  EXPECT_EQ(ToUtf8(WindowText(window.btn1.Edit())), ToUtf8(other));
  EXPECT_EQ(ToUtf8(WindowText(window.btn2.Edit())), "E:\\别处\\图库");
  EXPECT_TRUE(dialogs.errors.empty());
}

// Holds Ctrl down for this thread while it lives.
class ControlKeyDown {
 public:
  ControlKeyDown() {
    GetKeyboardState(saved_);
    BYTE keys[256];
    std::copy(std::begin(saved_), std::end(saved_), keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
  }
  ~ControlKeyDown() { SetKeyboardState(saved_); }

 private:
  BYTE saved_[256] = {};
};

// Enter on control, through the dialog keys as the message loop hands it on.
void PressEnter(TForm1& window, HWND control) {
  SetFocus(control);
  MSG enter{control, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  if (!IsDialogMessageW(window.Handle(), &enter)) {
    TranslateMessage(&enter);
    DispatchMessageW(&enter);
  }
}

TEST_F(Window, CtrlEnterBrowsesForTheEditsFolderAndTouchesNothingElse) {
  TForm1& window = Open();
  WaitForStatus(window);
  const std::u16string btn1 = WindowText(window.btn1.Edit());
  const std::u16string btn2 = WindowText(window.btn2.Edit());
  const struct {
    std::optional<std::u16string> answer;
    std::u16string expected;
  } cases[] = {
      {u"C:\\图片", u"C:\\图片"}, {u"", u""},  // confirmed without a folder: the edit is emptied
  };
  for (const auto& one : cases) {
    SetWindowText(window.btn3.Edit(), u"before");
    dialogs.folderAnswer = one.answer;
    {
      ControlKeyDown ctrl;
      PressEnter(window, window.btn3.Edit());
    }
    ASSERT_FALSE(dialogs.folderAsked.empty());
    EXPECT_EQ(ToUtf8(dialogs.folderAsked.back()), "before");
    EXPECT_EQ(ToUtf8(WindowText(window.btn3.Edit())), ToUtf8(one.expected));
    EXPECT_EQ(WindowText(window.btn1.Edit()), btn1);
    EXPECT_EQ(WindowText(window.btn2.Edit()), btn2);
  }
  // Cancelled: nothing changes; Enter without Ctrl opens nothing.
  dialogs.folderAnswer.reset();
  const size_t asked = dialogs.folderAsked.size();
  SendMessageW(window.btn2.Button(), BM_CLICK, 0, 0);
  EXPECT_EQ(dialogs.folderAsked.size(), asked + 1);
  EXPECT_EQ(WindowText(window.btn2.Edit()), btn2);
  PressEnter(window, window.btn2.Edit());
  EXPECT_EQ(dialogs.folderAsked.size(), asked + 1);
}

// ------------------------------------------------------------- level edit

class LevelEditRows : public Window {
 protected:
  void SetUp() override {
    Window::SetUp();
    Open();
    edit = form->edtnum.Edit();
    SetFocus(edit);
  }
  void Type(std::u16string_view keys) {
    for (char16_t key : keys) SendMessageW(edit, WM_CHAR, key, 0);
  }
  void Key(WPARAM key) { SendMessageW(edit, WM_KEYDOWN, key, 0); }
  void Leave() { SetFocus(form->btn2.Edit()); }
  void Replace(std::u16string_view text) {
    SetWindowText(edit, text);
    SendMessageW(edit, EM_SETSEL, 0, -1);
  }
  std::string Shown() const { return ToUtf8(WindowText(edit)); }

  HWND edit = nullptr;
};

TEST_F(LevelEditRows, TypingIsRefusedWhereTheTextWouldBeNoLevel) {
  const struct {
    std::u16string_view typed;
    const char* whileTyping;
    const char* afterLeaving;
  } rows[] = {
      {u"5", "5", "1"},
      {u"0.50", "0.50", "0.5"},
      {u"0,25", "0.25", "0.25"},
      {u"0.123", "0.12", "0.12"},
      {u"-1", "-", "0"},
      {u"x1", "1", "1"},
      {u"", "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ToUtf8(row.typed));
    SetFocus(edit);
    Replace(u"");
    Type(row.typed);
    EXPECT_EQ(Shown(), row.whileTyping);
    Leave();
    EXPECT_EQ(Shown(), row.afterLeaving);
  }
}

TEST_F(LevelEditRows, StepsStayWithinZeroAndOne) {
  EXPECT_EQ(Shown(), "1");
  Key(VK_UP);
  EXPECT_EQ(Shown(), "1");
  Key(VK_DOWN);
  EXPECT_EQ(Shown(), "0");
  Key(VK_DOWN);
  EXPECT_EQ(Shown(), "0");
  Replace(u"");
  Key(VK_DOWN);
  EXPECT_EQ(Shown(), "1");
  Replace(u"0.5");
  Key(VK_UP);
  EXPECT_EQ(Shown(), "1");
  // The wheel, a whole notch at a time, while the edit has the focus.
  SendMessageW(edit, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(Shown(), "0");
  // The buttons: up, then down.
  NMUPDOWN change{};
  change.hdr.hwndFrom = form->edtnum.UpDown();
  change.hdr.idFrom = kIdEdtnumUpDown;
  change.hdr.code = UDN_DELTAPOS;
  change.iDelta = 1;
  SendMessageW(form->Handle(), WM_NOTIFY, kIdEdtnumUpDown, reinterpret_cast<LPARAM>(&change));
  EXPECT_EQ(Shown(), "1");
  change.iDelta = -1;
  SendMessageW(form->Handle(), WM_NOTIFY, kIdEdtnumUpDown, reinterpret_cast<LPARAM>(&change));
  EXPECT_EQ(Shown(), "0");
}

TEST_F(LevelEditRows, EscapeRestoresTheValueOnEntryAndAPasteOfNoNumberIsUndone) {
  Leave();
  SetFocus(edit);  // entered at "1"
  Replace(u"");
  Type(u"0");
  Key(VK_ESCAPE);
  EXPECT_EQ(Shown(), "1");

  ASSERT_TRUE(OpenClipboard(form->Handle()));
  EmptyClipboard();
  const wchar_t pasted[] = L"abc";
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(pasted));
  memcpy(GlobalLock(memory), pasted, sizeof(pasted));
  GlobalUnlock(memory);
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();

  Replace(u"0.5");
  SendMessageW(edit, EM_SETSEL, 3, 3);
  SendMessageW(edit, WM_PASTE, 0, 0);
  EXPECT_EQ(Shown(), "0.5");
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 3u);
}

}  // namespace
}  // namespace picrelink::win32
