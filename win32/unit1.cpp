#include "win32/unit1.h"

// windows.h comes before the headers that build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <atomic>
#include <exception>
#include <utility>

#include "relocation/adjustment_run.h"
#include "relocation/startup.h"
#include "relocation/status_area_texts.h"
#include "relocation/status_text.h"
#include "relocation/window_texts.h"
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

using Clock = std::chrono::steady_clock;

// The share of the CSV read, 0 to 1.
struct Progress {
  std::atomic<uint64_t> read{0};
  std::atomic<uint64_t> total{0};

  void Set(uint64_t readUnits, uint64_t totalUnits) {
    total.store(totalUnits, std::memory_order_relaxed);
    read.store(readUnits, std::memory_order_relaxed);
  }
  double Share() const {
    const uint64_t all = total.load(std::memory_order_relaxed);
    return all == 0 ? 0.0
                    : static_cast<double>(read.load(std::memory_order_relaxed)) /
                          static_cast<double>(all);
  }
};

// What tells that the CSV is still the file a census read.
struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  uint64_t modified = 0;

  static FileStamp Of(const std::u16string& path) {
    if (path.empty()) return {};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::wstring wide = Wide(path);
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return {};
    return {
        true, (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
        (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
  }
  bool operator==(const FileStamp&) const = default;
};

std::chrono::milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

HWND MakeControl(HWND parent, const wchar_t* kind, std::u16string_view text, DWORD style, int id) {
  const std::wstring wide = Wide(text);
  return CreateWindowExW(0, kind, wide.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

HWND MakeLabel(HWND parent, std::u16string_view text, int id) {
  return MakeControl(parent, L"STATIC", text, SS_LEFT | SS_NOPREFIX, id);
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

// One census on its own thread. Only the thread writes input and cancelled,
// before it ends; the window reads them after.
struct TForm1::CensusJob {
  StatusRequest request;
  FileStamp stamp;
  bool forStart = false;  // the start command waits for it
  std::atomic<bool> cancel{false};
  Progress progress;
  Clock::time_point started = Clock::now();
  StatusInput input;
  bool cancelled = false;
};

struct TForm1::TakenStatus {
  StatusRequest request;
  FileStamp stamp;
  StatusInput input;
};

// The run on its own thread, with its adapters: the trigger's calls go to the
// window's thread as they come, the message waits there until the run is over.
struct TForm1::RunJob {
  RunJob(HWND window) : trigger(window, kTriggerMessage) {}
  MemoryFormValues values;
  PostedTrigger trigger;
  HeldMessages messages;
  std::atomic<bool> cancel{false};
  Progress progress;
  std::optional<RunReport> report;
  std::optional<std::u16string> error;
  bool cancelled = false;
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
  messages_ = std::make_unique<DialogMessages>(dialogs_);
  startTrigger_ = std::make_unique<ButtonTrigger>(cxButton30);
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
  RefreshStatus(true);
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
  btn1.Create(window_, kIdBtn1, [this] {
    ShowingErrors([this] { cxButtonEdit2PropertiesButtonClick(btn1); });
    RefreshStatus(true);
  });
  Label8 = MakeLabel(window_, kLevelLabelText, kIdLabel8);
  edtnum.Create(window_, kIdEdtnum, kIdEdtnumUpDown, settings_.decimalSeparator);
  cxButton1 = MakeButton(window_, kRedetectText, kIdCxButton1);
  cxLabel3 = MakeLabel(window_, kOldFolderLabelText, kIdCxLabel3);
  btn2.Create(window_, kIdBtn2, [this] {
    ShowingErrors([this] { btn2PropertiesButtonClick(btn2); });
    RefreshStatus(true);
  });
  cxLabel30 = MakeLabel(window_, kNewFolderLabelText, kIdCxLabel30);
  btn3.Create(window_, kIdBtn3, [this] {
    ShowingErrors([this] { btn2PropertiesButtonClick(btn3); });
    RefreshStatus(true);
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
}

void TForm1::Layout() {
  HFONT oldFont = font_;
  HFONT oldStatusFont = statusFont_;
  font_ = CreateWindowFont(kFontPixels, dpi_);
  statusFont_ = CreateWindowFont(kStatusFontPixels, dpi_);

  PlaceLabel(cxLabel4, 11, 13, dpi_, font_);
  PlaceLabel(cxLabel2, 32, 45, dpi_, font_);
  btn1.Place(138, 44, 636, dpi_, font_);
  // 234 × 15, taller only where the face's lines are, so that no line is cut.
  Place(Label8, 3, 88, 234, 15, dpi_, font_);
  if (LineHeight(font_) > Scaled(15, dpi_)) {
    SetWindowPos(Label8, nullptr, 0, 0, Scaled(234, dpi_), LineHeight(font_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
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
  statusArea.Place(dpi_, statusFont_);

  InvalidateRect(window_, nullptr, TRUE);
  if (oldFont) DeleteObject(oldFont);
  if (oldStatusFont) DeleteObject(oldStatusFont);
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT TForm1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
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
        statusDelayActive_ = false;
        RefreshStatus(false);
      } else if (wParam == kProgressTimer) {
        ShowProgress();
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

void TForm1::OnCommand(int id, int code, HWND /*control*/) {
  switch (id) {
    case kIdCxButton1:
      if (code == BN_CLICKED) {
        ShowingErrors([this] { cxButton1Click(cxButton1); });
        RefreshStatus(true);
      }
      break;
    case kIdCxButton30:
      if (code == BN_CLICKED) ShowingErrors([this] { cxButton30Click(cxButton30); });
      break;
    case kIdStatusDetails:
      if (code == BN_CLICKED) dialogs_.ShowDetails(statusArea.Details());
      break;
    case kIdStatusCancel:
    case IDCANCEL:  // Escape
      CancelStart();
      break;
    case kIdBtn1:
    case kIdBtn2:
    case kIdBtn3:
      // Typing takes the status anew once the keys rest; a value that a
      // command sets is followed by a status of its own.
      if (code == EN_CHANGE && values_ && !values_->Setting()) ValuesEdited();
      break;
    case kIdEdtnum:
      if (code == EN_CHANGE && values_) ValuesEdited();
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

void TForm1::FormCreate() {
  const std::u16string folder = programFolder_();
  candidates_ = FindCsvCandidates(folder);
  StartUp(*values_, folder);
}

void TForm1::cxButton1Click(HWND /*sender*/) {
  ReleaseCsv();
  Redetect(*values_);
}

void TForm1::cxButton30Click(HWND /*sender*/) {
  if (starting_) return;
  starting_ = true;
  startTrigger_->SetAvailable(false);
  startClock_ = Clock::now();
  KillTimer(window_, kStatusDelayTimer);
  statusDelayActive_ = false;
  startValues_ = values_->Snapshot();

  // The question before writing needs the census of these values: the last
  // one when it still holds, the one running when it is of these values, or
  // a new one.
  const StatusRequest request = CurrentRequest();
  if (!census_ && taken_ && taken_->request == request &&
      taken_->stamp == FileStamp::Of(request.csv)) {
    AskThenRun(taken_->input);
  } else if (census_ && census_->request == request) {
    census_->forStart = true;
  } else {
    StartCensus(true);
  }
}

void TForm1::cxButtonEdit2PropertiesButtonClick(PathEdit& /*sender*/) {
  const std::u16string current = btn1.Text();
  const std::optional<std::u16string> chosen =
      dialogs_.ChooseCsvFile(std::u16string_view(current).substr(0, kInitialNameLength));
  if (!chosen) return;
  ReleaseCsv();
  ChooseCsv(*values_, *chosen);
}

void TForm1::btn2PropertiesButtonClick(PathEdit& sender) {
  const std::optional<std::u16string> chosen = dialogs_.BrowseForFolder(sender.Text());
  if (chosen) sender.SetText(*chosen);
}

bool TForm1::StatusPending() const { return census_ != nullptr || statusDelayActive_; }

StatusRequest TForm1::CurrentRequest() const {
  return {values_->Btn1(), values_->LevelText(), values_->Btn3(), candidates_};
}

void TForm1::ValuesEdited() {
  if (closing_) return;
  if (starting_) {
    statusPending_ = true;
    return;
  }
  // What is being counted no longer matches the values.
  if (census_) {
    census_->cancel = true;
    census_.reset();
  }
  SetTimer(window_, kStatusDelayTimer, settings_.statusDelayMs, nullptr);
  statusDelayActive_ = true;
}

void TForm1::RefreshStatus(bool force) {
  if (closing_) return;
  if (starting_) {
    statusPending_ = true;
    return;
  }
  KillTimer(window_, kStatusDelayTimer);
  statusDelayActive_ = false;
  if (!force && !census_ && taken_ && taken_->request == CurrentRequest() &&
      taken_->stamp == FileStamp::Of(taken_->request.csv)) {
    return;
  }
  StartCensus(false);
}

void TForm1::StartCensus(bool forStart) {
  if (census_) census_->cancel = true;
  auto job = std::make_shared<CensusJob>();
  job->request = CurrentRequest();
  job->stamp = FileStamp::Of(job->request.csv);
  job->forStart = forStart;
  census_ = job;
  // One reader of the CSV at a time, since a reader holds it: the census
  // begins once those before it have stopped, unless it was overtaken.
  jobs_->WhenIdle([this, job] {
    if (job != census_ || closing_) return;
    jobs_->Start(
        [job] {
          try {
            job->input = TakeStatus(
                job->request,
                [job](uint64_t read, uint64_t total) { job->progress.Set(read, total); },
                &job->cancel);
          } catch (const Cancelled&) {
            job->cancelled = true;
          } catch (const std::exception& error) {
            // TakeStatus keeps its errors; this is running out of memory.
            job->input.error = FromUtf8(error.what());
          }
        },
        [this, job] { CensusEnded(job); });
  });
  if (!progressTickActive_) {
    SetTimer(window_, kProgressTimer, kProgressTickMs, nullptr);
    progressTickActive_ = true;
  }
}

void TForm1::ReleaseCsv() {
  // The start command's own readers are left alone; a command that reads the
  // CSV meanwhile is told that it is being changed.
  if (starting_) return;
  if (census_) {
    census_->cancel = true;
    census_.reset();
  }
  jobs_->WaitForAll();
}

void TForm1::CensusEnded(const std::shared_ptr<CensusJob>& job) {
  // A census overtaken by a change of the values is dropped.
  if (job != census_ || closing_) return;
  census_.reset();
  if (job->cancelled) {
    // Only the cancel button stops the census that is current.
    statusArea.ShowNote(StatusAreaTextsFor(settings_.language).cancelled);
    if (job->forStart) EndStart();
    return;
  }
  taken_ = std::make_unique<TakenStatus>(TakenStatus{job->request, job->stamp, job->input});
  ShowStatusOf(job->input);
  if (job->forStart) AskThenRun(job->input);
}

void TForm1::ShowStatusOf(const StatusInput& input) {
  const std::u16string text = StatusText(input, settings_.language);
  std::u16string details = text;
  if (input.check) details += u"\n\n" + DetailsText(*input.check, settings_.language);
  statusArea.ShowStatus(text, details);
  ++statusesShown_;
}

void TForm1::AskThenRun(const StatusInput& input) {
  if (input.check) {
    if (const auto question = QuestionBeforeRun(*input.check, settings_.language)) {
      if (!dialogs_.AskYesNo(*question, kWindowCaption)) {
        EndStart();
        return;
      }
    }
  }
  // A census that was overtaken may still hold the CSV for a moment; the
  // run opens it once nothing else reads it.
  jobs_->WhenIdle([this] { StartRun(); });
}

void TForm1::StartRun() {
  if (closing_) {
    EndStart();
    return;
  }
  auto job = std::make_shared<RunJob>(window_);
  job->values = startValues_;
  RunOptions options;
  options.language = settings_.language;
  options.bufferUnits = settings_.runBufferUnits;
  options.cancel = &job->cancel;
  options.progress = [progress = &job->progress, hook = settings_.runProgressHook](uint64_t read,
                                                                                   uint64_t total) {
    progress->Set(read, total);
    if (hook) hook();
  };
  run_ = job;
  jobs_->Start(
      [job, options] {
        try {
          job->report = RunAdjustment(job->values, job->trigger, job->messages, options);
        } catch (const Cancelled&) {
          job->cancelled = true;
        } catch (const std::exception& error) {
          job->error = FromUtf8(error.what());
        }
      },
      [this, job] { RunEnded(job); });
  if (!progressTickActive_) {
    SetTimer(window_, kProgressTimer, kProgressTickMs, nullptr);
    progressTickActive_ = true;
  }
}

void TForm1::RunEnded(const std::shared_ptr<RunJob>& job) {
  run_.reset();
  if (closing_) {
    EndStart();
    return;
  }
  statusArea.HideProgress();
  const bool written = job->report && job->report->outcome == RunOutcome::Written;
  if (job->cancelled) {
    statusArea.ShowNote(StatusAreaTextsFor(settings_.language).cancelled);
    EndStart();
  } else if (job->error) {
    // The start button is available again when the error is told.
    EndStart();
    dialogs_.ShowError(*job->error);
  } else {
    // The run's message is shown while the start button is still greyed.
    if (const auto held = job->messages.Take()) {
      messages_->ShowInformation(held->text, held->caption);
    }
    EndStart();
  }
  // The CSV now names other folders.
  if (written) RefreshStatus(true);
}

void TForm1::EndStart() {
  if (!starting_) return;
  starting_ = false;
  statusArea.HideProgress();
  startTrigger_->SetAvailable(true);
  ++startsEnded_;
  if (statusPending_) {
    statusPending_ = false;
    RefreshStatus(false);
  }
}

void TForm1::CancelStart() {
  if (run_) {
    run_->cancel = true;
  } else if (census_ && census_->forStart) {
    census_->cancel = true;
  }
}

void TForm1::ShowProgress() {
  const bool shown =
      starting_ && Since(startClock_).count() >= static_cast<long long>(settings_.progressDelayMs);
  if (run_) {
    if (shown) statusArea.ShowProgress(StatusArea::Stage::Adjusting, run_->progress.Share());
  } else if (census_ && census_->forStart) {
    if (shown) statusArea.ShowProgress(StatusArea::Stage::Checking, census_->progress.Share());
  } else if (census_) {
    if (Since(census_->started).count() >= static_cast<long long>(settings_.progressDelayMs)) {
      statusArea.ShowChecking(census_->progress.Share());
    }
  } else {
    KillTimer(window_, kProgressTimer);
    progressTickActive_ = false;
  }
}

void TForm1::Close() {
  // Never a half-written CSV: the run is cancelled and waited for; it ends
  // with the CSV as it was, or, past its last moment to stop, as it is meant
  // to be.
  closing_ = true;
  if (window_ != nullptr) {
    KillTimer(window_, kStatusDelayTimer);
    KillTimer(window_, kProgressTimer);
  }
  if (census_) census_->cancel = true;
  if (run_) run_->cancel = true;
  if (jobs_) jobs_->WaitForAll();
}

}  // namespace picrelink::win32
