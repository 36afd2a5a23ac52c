#include "win32/unit1.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <exception>
#include <utility>

#include "relocation/session/window_texts.h"
#include "win32/background_jobs.h"
#include "win32/control_ids.h"
#include "win32/dialogs.h"
#include "win32/form_adapter.h"
#include "win32/window_font.h"

namespace picrelink::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"PicRelinkTForm1";
constexpr int kOuterWidth = 800;
constexpr int kOuterHeight = 347;
constexpr int kFontPixels = 15;
constexpr int kStatusFontPixels = 12;
// The open-file dialog takes at most this many characters of btn1.
constexpr size_t kInitialNameLength = 260;

constexpr UINT kJobDoneMessage = WM_APP + 1;
constexpr UINT kTriggerMessage = WM_APP + 2;
constexpr UINT_PTR kStatusDelayTimer = 1;
constexpr UINT_PTR kProgressTimer = 2;
constexpr UINT kProgressTickMs = 50;

HWND MakeControl(HWND parent, const wchar_t* kind, std::u16string_view text, DWORD style, int id) {
  const std::wstring wide = Wide(text);
  return CreateWindowExW(0, kind, wide.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

// Every label is one line: it is as wide as its text, and a label that
// wrapped would lose its second line.
HWND MakeLabel(HWND parent, std::u16string_view text, int id) {
  return MakeControl(parent, L"STATIC", text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, id);
}

HWND MakeButton(HWND parent, std::u16string_view text, int id) {
  return MakeControl(parent, L"BUTTON", text, WS_TABSTOP | BS_PUSHBUTTON, id);
}

void SetFont(HWND control, HFONT font) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// A label that fits its text, at left, top (pixels at 96 dpi).
void PlaceLabel(HWND label, int left, int top, UINT dpi, HFONT font) {
  SetFont(label, font);
  const std::wstring text = Wide(WindowText(label));
  const SIZE size = TextExtent(font, text);
  MoveWindow(label, Scaled(left, dpi), Scaled(top, dpi), size.cx, size.cy, TRUE);
}

// The frame around the client area of window at dpi.
RECT FrameOf(HWND window, UINT dpi) {
  RECT frame{};
  AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)), dpi);
  return frame;
}

// The client area's size with the window at its designed outer size at dpi.
int DesignedClientWidth(HWND window, UINT dpi) {
  const RECT frame = FrameOf(window, dpi);
  return Scaled(kOuterWidth, dpi) - (frame.right - frame.left);
}
int DesignedClientHeight(HWND window, UINT dpi) {
  const RECT frame = FrameOf(window, dpi);
  return Scaled(kOuterHeight, dpi) - (frame.bottom - frame.top);
}

void Place(HWND control, int left, int top, int width, int height, UINT dpi, HFONT font) {
  SetFont(control, font);
  MoveWindow(control, Scaled(left, dpi), Scaled(top, dpi), Scaled(width, dpi), Scaled(height, dpi),
             TRUE);
}

void RegisterWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpszClassName = kWindowClass;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpfnWndProc = DefWindowProcW;  // replaced per window
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassExW(&windowClass);  // fails harmlessly when already there
}

}  // namespace

WindowSettings UserWindowSettings() {
  WindowSettings settings;
  settings.language = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? Language::Chinese
                                                                                : Language::English;
  settings.decimalSeparator = UserDecimalSeparator();
  return settings;
}

// The window's side of the session: its threads, timers, boxes and status
// area, on this window's thread.
class TForm1::Host : public WindowHost {
 public:
  explicit Host(TForm1& form) : form_(form) {}

  void StartJob(std::function<void()> work, std::function<void()> done) override {
    form_.jobs_->Start(std::move(work), std::move(done));
  }
  void WhenIdle(std::function<void()> then) override { form_.jobs_->WhenIdle(std::move(then)); }
  void WaitForJobs() override { form_.jobs_->WaitForAll(); }
  void StartStatusDelay(std::chrono::milliseconds delay) override {
    SetTimer(form_.window_, kStatusDelayTimer, static_cast<UINT>(delay.count()), nullptr);
  }
  void StopStatusDelay() override {
    if (form_.window_) KillTimer(form_.window_, kStatusDelayTimer);
  }
  void StartProgressTicks() override {
    SetTimer(form_.window_, kProgressTimer, kProgressTickMs, nullptr);
  }
  void StopProgressTicks() override {
    if (form_.window_) KillTimer(form_.window_, kProgressTimer);
  }
  Trigger& StartTrigger() override { return *form_.startTrigger_; }
  std::unique_ptr<Trigger> TriggerFromAnotherThread() override {
    return std::make_unique<PostedTrigger>(form_.window_, kTriggerMessage);
  }
  void ShowError(std::u16string_view message) override { form_.dialogs_.ShowError(message); }
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override {
    form_.dialogs_.ShowInformation(text, caption);
  }
  bool AskYesNo(std::u16string_view question, std::u16string_view caption) override {
    return form_.dialogs_.AskYesNo(question, caption);
  }
  void ShowStatus(std::u16string_view text, std::u16string_view details) override {
    form_.statusArea.ShowStatus(text, details);
  }
  void ShowNote(std::u16string_view note) override { form_.statusArea.ShowNote(note); }
  void ShowChecking(double share) override { form_.statusArea.ShowChecking(share); }
  void ShowProgress(Stage stage, double share) override {
    form_.statusArea.ShowProgress(
        stage == Stage::Checking ? StatusArea::Stage::Checking : StatusArea::Stage::Adjusting,
        share);
  }
  void HideProgress() override { form_.statusArea.HideProgress(); }
  void ShowOffer(bool shown) override { form_.statusArea.ShowOffer(shown); }
  void StatusShown() override { ++form_.statusesShown_; }
  void StartEnded() override { ++form_.startsEnded_; }

 private:
  TForm1& form_;
};

TForm1::TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, WindowSettings settings)
    : dialogs_(dialogs), programFolder_(std::move(programFolder)), settings_(std::move(settings)) {
  RegisterWindowClass();
  const std::wstring caption = Wide(kWindowCaption);
  window_ = CreateWindowExW(0, kWindowClass, caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            0, 0, kOuterWidth, kOuterHeight, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (window_ == nullptr) {
    throw std::runtime_error("Cannot create the main window (error " +
                             std::to_string(GetLastError()) + ")");
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::WindowProc));
  dpi_ = GetDpiForWindow(window_);
  jobs_ = std::make_unique<BackgroundJobs>(window_, kJobDoneMessage);

  CreateControls();
  values_ = std::make_unique<FormAdapter>(btn1, btn2, btn3, edtnum, CheckBox1);
  startTrigger_ = std::make_unique<ButtonTrigger>(cxButton30);
  host_ = std::make_unique<Host>(*this);
  session_ = std::make_unique<WindowSession>(*host_, *values_, settings_);
  Layout();

  // 800 × 347 outside, centred on the screen the window is on.
  const int width = Scaled(kOuterWidth, dpi_);
  const int height = Scaled(kOuterHeight, dpi_);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);

  ShowingErrors([this] { FormCreate(); });
  session_->RefreshStatus(true);
}

TForm1::~TForm1() {
  Close();
  if (window_ != nullptr) DestroyWindow(window_);
  jobs_.reset();
  if (font_) DeleteObject(font_);
  if (statusFont_) DeleteObject(statusFont_);
}

void TForm1::Show(int showCommand) {
  int how = SW_SHOWNORMAL;
  if (showCommand == SW_SHOWMAXIMIZED) how = SW_SHOWMAXIMIZED;
  if (showCommand == SW_SHOWMINNOACTIVE) how = SW_SHOWMINNOACTIVE;
  ShowWindow(window_, how);
  UpdateWindow(window_);
  focus_ = btn2.Edit();
  if (how != SW_SHOWMINNOACTIVE) SetFocus(focus_);
}

void TForm1::CreateControls() {
  cxLabel4 = MakeLabel(window_, kTipText, kIdCxLabel4);
  cxLabel2 = MakeLabel(window_, kCsvLabelText, kIdCxLabel2);
  btn1.Create(window_, kIdBtn1, kIdBtn1Browse, [this] {
    ShowingErrors([this] { cxButtonEdit2PropertiesButtonClick(btn1); });
    session_->RefreshStatus(true);
  });
  Label8 = MakeLabel(window_, kLevelLabelText, kIdLabel8);
  edtnum.Create(window_, kIdEdtnum, kIdEdtnumUpDown, settings_.decimalSeparator);
  cxButton1 = MakeButton(window_, kRedetectText, kIdCxButton1);
  cxLabel3 = MakeLabel(window_, kOldFolderLabelText, kIdCxLabel3);
  btn2.Create(window_, kIdBtn2, kIdBtn2Browse, [this] {
    ShowingErrors([this] { btn2PropertiesButtonClick(btn2); });
    session_->RefreshStatus(true);
  });
  cxLabel30 = MakeLabel(window_, kNewFolderLabelText, kIdCxLabel30);
  btn3.Create(window_, kIdBtn3, kIdBtn3Browse, [this] {
    ShowingErrors([this] { btn2PropertiesButtonClick(btn3); });
    session_->RefreshStatus(true);
  });
  CheckBox1 =
      MakeControl(window_, L"BUTTON", kBackupText, WS_TABSTOP | BS_AUTOCHECKBOX, kIdCheckBox1);
  cxButton30 = MakeButton(window_, kStartText, kIdCxButton30);
  cxLabel1 = MakeLabel(window_, kStartHintText, kIdCxLabel1);
  statusArea.Create(window_, settings_.language);

  // The tab order is the order of the windows: btn2, btn3, cxButton30, btn1,
  // edtnum, CheckBox1, cxButton1, and around again.
  const HWND tabOrder[] = {btn2.Edit(),   btn3.Edit(), cxButton30, btn1.Edit(),
                           edtnum.Edit(), CheckBox1,   cxButton1};
  HWND after = HWND_TOP;
  for (HWND control : tabOrder) {
    SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = control;
  }
  for (PathEdit* edit : {&btn1, &btn2, &btn3}) edit->KeepButtonAbove();
}

void TForm1::Layout() {
  HFONT oldFont = font_;
  HFONT oldStatusFont = statusFont_;
  font_ = CreateWindowFont(kFontPixels, dpi_);
  statusFont_ = CreateWindowFont(kStatusFontPixels, dpi_);

  // The tip runs along the whole window; where the face is too wide for the
  // client area at this dpi, a smaller size of it keeps the tip inside.
  const int tipLeft = Scaled(11, dpi_);
  tipFont_.reset(CreateFittingFont(kFontPixels, dpi_, Wide(kTipText),
                                   DesignedClientWidth(window_, dpi_) - tipLeft - Scaled(2, dpi_)));
  PlaceLabel(cxLabel4, 11, 13, dpi_, tipFont_ ? tipFont_.get() : font_);
  PlaceLabel(cxLabel2, 32, 45, dpi_, font_);
  btn1.Place(138, 44, 636, dpi_, font_);
  PlaceLevelLabel();
  edtnum.Place(239, 84, 58, 23, dpi_, font_);
  Place(cxButton1, 322, 83, 109, 25, dpi_, font_);
  PlaceLabel(cxLabel3, 3, 128, dpi_, font_);
  btn2.Place(138, 126, 636, dpi_, font_);
  PlaceLabel(cxLabel30, 11, 171, dpi_, font_);
  btn3.Place(138, 169, 636, dpi_, font_);
  SetFont(CheckBox1, font_);
  MoveWindow(CheckBox1, Scaled(24, dpi_), Scaled(206, dpi_), Scaled(321, dpi_),
             LineHeight(font_) + Scaled(4, dpi_), TRUE);
  Place(cxButton30, 20, 244, 109, 25, dpi_, font_);
  PlaceLabel(cxLabel1, 139, 247, dpi_, font_);
  statusArea.Place(dpi_, statusFont_, font_, DesignedClientHeight(window_, dpi_));

  InvalidateRect(window_, nullptr, TRUE);
  if (oldFont) DeleteObject(oldFont);
  if (oldStatusFont) DeleteObject(oldStatusFont);
}

void TForm1::PlaceLevelLabel() {
  // 234 × 15 as designed for 宋体, wider where the face's text is (and so at
  // most dpi settings, which do not scale a face's widths evenly), never
  // reaching the level edit: it moves left first, and only where even that
  // is not enough does its font get smaller.
  const std::wstring text = Wide(kLevelLabelText);
  const int editLeft = Scaled(239, dpi_);
  const int room = editLeft - 1;
  labelFont_.reset(CreateFittingFont(kFontPixels, dpi_, text, room));
  HFONT font = labelFont_ ? labelFont_.get() : font_;
  SetFont(Label8, font);
  const int width = std::max(Scaled(234, dpi_), static_cast<int>(TextExtent(font, text).cx));
  const int left = std::max(0, std::min(Scaled(3, dpi_), room - width));
  MoveWindow(Label8, left, Scaled(88, dpi_), width, std::max(Scaled(15, dpi_), LineHeight(font)),
             TRUE);
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT TForm1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (edtnum.Notified(*reinterpret_cast<const NMHDR*>(lParam), result)) return result;
      break;
    }
    case WM_CTLCOLORSTATIC: {
      // The labels, the check box and the status have no background of their
      // own; only cxLabel4 is blue.
      auto* context = reinterpret_cast<HDC>(wParam);
      const auto control = reinterpret_cast<HWND>(lParam);
      SetBkMode(context, TRANSPARENT);
      SetTextColor(context,
                   control == cxLabel4 ? RGB(0x00, 0x00, 0xFF) : GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_TIMER:
      if (wParam == kStatusDelayTimer) {
        KillTimer(window_, kStatusDelayTimer);
        session_->StatusDelayEnded();
      } else if (wParam == kProgressTimer) {
        session_->ProgressTick();
      }
      return 0;
    case kJobDoneMessage:
      jobs_->Finished(wParam);
      return 0;
    case kTriggerMessage:
      startTrigger_->SetAvailable(wParam != 0);
      return 0;
    case WM_ACTIVATE:
      // The focus comes back to the control that had it.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
      } else if (focus_ != nullptr && IsWindowEnabled(focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      Layout();
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      Close();
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      if (settings_.quitWhenClosed) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      HWND window = std::exchange(window_, nullptr);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void TForm1::OnCommand(int id, int code) {
  switch (id) {
    case kIdCxButton1:
      if (code == BN_CLICKED) {
        ShowingErrors([this] { cxButton1Click(cxButton1); });
        session_->RefreshStatus(true);
      }
      break;
    case kIdCxButton30:
      if (code == BN_CLICKED) ShowingErrors([this] { cxButton30Click(cxButton30); });
      break;
    case kIdBtn1Browse:
      if (code == BN_CLICKED) btn1.Clicked();
      break;
    case kIdBtn2Browse:
      if (code == BN_CLICKED) btn2.Clicked();
      break;
    case kIdBtn3Browse:
      if (code == BN_CLICKED) btn3.Clicked();
      break;
    case kIdStatusDetails:
      if (code == BN_CLICKED &&
          dialogs_.ShowDetails(statusArea.Details(), session_->BackupExists())) {
        ShowingErrors([this] { session_->RestoreBackup(); });
      }
      break;
    case kIdStatusOffer:
      if (code == BN_CLICKED) ShowingErrors([this] { session_->UseSuggestion(); });
      break;
    case kIdStatusCancel:
    case IDCANCEL:  // Escape
      session_->Cancel();
      break;
    case kIdBtn1:
    case kIdBtn2:
    case kIdBtn3:
      // Typing takes the status anew once the keys rest; a value that a
      // command sets is followed by a status of its own.
      if (code == EN_CHANGE && session_ && !values_->Setting()) session_->ValuesEdited();
      break;
    case kIdEdtnum:
      if (code == EN_CHANGE && session_) session_->ValuesEdited();
      break;
    default:
      break;
  }
}

void TForm1::ShowingErrors(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    dialogs_.ShowError(FromUtf8(error.what()));
  }
}

void TForm1::FormCreate() { session_->FormCreate(programFolder_()); }

void TForm1::cxButton1Click(HWND /*sender*/) { session_->Redetect(); }

void TForm1::cxButton30Click(HWND /*sender*/) { session_->Start(); }

void TForm1::cxButtonEdit2PropertiesButtonClick(PathEdit& /*sender*/) {
  const std::u16string current = btn1.Text();
  const std::optional<std::u16string> chosen =
      dialogs_.ChooseCsvFile(std::u16string_view(current).substr(0, kInitialNameLength));
  if (chosen) session_->CsvChosen(*chosen);
}

void TForm1::btn2PropertiesButtonClick(PathEdit& sender) {
  const std::optional<std::u16string> chosen = dialogs_.BrowseForFolder(sender.Text());
  if (chosen) sender.SetText(*chosen);
}

bool TForm1::StatusPending() const { return session_->StatusPending(); }

void TForm1::Close() {
  if (session_) session_->Close();
}

}  // namespace picrelink::win32
