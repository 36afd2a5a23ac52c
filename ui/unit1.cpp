#include "ui/unit1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <exception>

#include "relocation/adjustment_run.h"
#include "relocation/startup.h"
#include "relocation/status_area_texts.h"
#include "relocation/status_text.h"
#include "relocation/window_texts.h"
#include "ui/background_jobs.h"
#include "ui/dialogs.h"
#include "ui/form_adapter.h"
#include "ui/level_edit.h"
#include "ui/path_edit.h"
#include "ui/qt_translations.h"
#include "ui/status_area.h"
#include "ui/window_font.h"
#include "ui/window_frame.h"

namespace picrelink::ui {
namespace {

constexpr QSize kOuterSize(800, 347);
// The open-file dialog takes at most this many characters of btn1 as its
// initial file name.
constexpr qsizetype kInitialNameLength = 260;
constexpr int kProgressTickMs = 50;

QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

QLabel* MakeLabel(QWidget* parent, std::u16string_view text, int left, int top) {
  auto* label = new QLabel(ToQString(text), parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

PathEdit* MakePathEdit(QWidget* parent, int left, int top) {
  auto* edit = new PathEdit(parent);
  edit->setGeometry(left, top, 636, edit->sizeHint().height());
  return edit;
}

QPushButton* MakeButton(QWidget* parent, std::u16string_view text, int left, int top) {
  auto* button = new QPushButton(ToQString(text), parent);
  // Enter clicks a focused button, as Space does.
  button->setAutoDefault(true);
  button->setGeometry(left, top, 109, 25);
  return button;
}

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
  qint64 size = 0;
  QDateTime modified;

  static FileStamp Of(const std::u16string& path) {
    const QFileInfo info(QString::fromStdU16String(path));
    if (path.empty() || !info.exists()) return {};
    return {true, info.size(), info.lastModified()};
  }
  bool operator==(const FileStamp&) const = default;
};

}  // namespace

WindowSettings WindowSettingsFor(Language language) {
  WindowSettings settings;
  settings.language = language;
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
  QElapsedTimer clock;
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
  RunJob(QObject& window, Trigger& startTrigger) : trigger(window, startTrigger) {}
  MemoryFormValues values;
  QueuedTrigger trigger;
  HeldMessages messages;
  std::atomic<bool> cancel{false};
  Progress progress;
  std::optional<RunReport> report;
  std::optional<QString> error;
  bool cancelled = false;
};

TForm1::TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, QWidget* parent)
    : TForm1(dialogs, std::move(programFolder), WindowSettingsFor(LanguageOf(QLocale::system())),
             parent) {}

TForm1::TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, WindowSettings settings,
               QWidget* parent)
    : QWidget(parent),
      dialogs_(dialogs),
      programFolder_(std::move(programFolder)),
      settings_(std::move(settings)),
      jobs_(new BackgroundJobs(this)),
      statusDelay_(new QTimer(this)),
      progressTick_(new QTimer(this)) {
  setWindowTitle(ToQString(kWindowCaption));
  setFont(WindowFont());
  QPalette background = palette();
  background.setColor(QPalette::Window, background.color(QPalette::Button));
  setPalette(background);

  CreateControls();
  values_ = std::make_unique<FormAdapter>(*btn1, *btn2, *btn3, *edtnum, *CheckBox1);
  messages_ = std::make_unique<DialogMessages>(dialogs_);
  startTrigger_ = std::make_unique<ButtonTrigger>(*cxButton30);
  statusDelay_->setSingleShot(true);
  statusDelay_->setInterval(settings_.statusDelayMs);
  progressTick_->setInterval(kProgressTickMs);
  ConnectHandlers();

  // Without a frame the client area is the whole window; where the window
  // system adds one, the client area gives way so that the outer size stays.
  resize(kOuterSize);
  CentreOnScreen(this, kOuterSize);
  WhenFrameKnown(this, [this](QSize frame) {
    resize(kOuterSize - frame);
    CentreOnScreen(this, kOuterSize);
  });

  ShowingErrors([this] { FormCreate(); });
  RefreshStatus(true);
}

TForm1::~TForm1() {
  closing_ = true;
  if (census_) census_->cancel = true;
  if (run_) run_->cancel = true;
  // jobs_ waits for its threads as it goes, before the controls do.
  delete jobs_;
}

void TForm1::CreateControls() {
  cxLabel4 = MakeLabel(this, kTipText, 11, 13);
  QPalette blue = cxLabel4->palette();
  blue.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
  cxLabel4->setPalette(blue);

  cxLabel2 = MakeLabel(this, kCsvLabelText, 32, 45);
  btn1 = MakePathEdit(this, 138, 44);

  Label8 = new QLabel(ToQString(kLevelLabelText), this);
  Label8->setGeometry(3, 88, 234, 15);
  edtnum = new LevelEdit(this);
  edtnum->setGeometry(239, 84, 58, 23);
  cxButton1 = MakeButton(this, kRedetectText, 322, 83);

  cxLabel3 = MakeLabel(this, kOldFolderLabelText, 3, 128);
  btn2 = MakePathEdit(this, 138, 126);

  cxLabel30 = MakeLabel(this, kNewFolderLabelText, 11, 171);
  btn3 = MakePathEdit(this, 138, 169);

  CheckBox1 = new QCheckBox(ToQString(kBackupText), this);
  CheckBox1->setGeometry(24, 206, 321, CheckBox1->sizeHint().height());

  cxButton30 = MakeButton(this, kStartText, 20, 244);
  cxLabel1 = MakeLabel(this, kStartHintText, 139, 247);

  statusArea = new StatusArea(settings_.language, this);

  // The tab order wraps around: cxButton1 leads back to btn2.
  QWidget* const tabOrder[] = {btn2, btn3, cxButton30, btn1, edtnum, CheckBox1, cxButton1};
  for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) setTabOrder(tabOrder[i], tabOrder[i + 1]);
  btn2->setFocus(Qt::OtherFocusReason);
}

void TForm1::ConnectHandlers() {
  connect(cxButton1, &QPushButton::clicked, this, [this] {
    ShowingErrors([this] { cxButton1Click(cxButton1); });
    RefreshStatus(true);
  });
  connect(cxButton30, &QPushButton::clicked, this,
          [this] { ShowingErrors([this] { cxButton30Click(cxButton30); }); });
  connect(btn1, &PathEdit::ButtonClicked, this, [this] {
    ShowingErrors([this] { cxButtonEdit2PropertiesButtonClick(btn1); });
    RefreshStatus(true);
  });
  for (PathEdit* edit : {btn2, btn3}) {
    connect(edit, &PathEdit::ButtonClicked, this, [this, edit] {
      ShowingErrors([this, edit] { btn2PropertiesButtonClick(edit); });
      RefreshStatus(true);
    });
  }

  // Typing takes the status anew once the keys rest; stepping the level too.
  for (PathEdit* edit : {btn1, btn2, btn3}) {
    connect(edit, &QLineEdit::textEdited, this, &TForm1::ValuesEdited);
  }
  connect(edtnum->lineEdit(), &QLineEdit::textChanged, this, &TForm1::ValuesEdited);
  connect(statusDelay_, &QTimer::timeout, this, [this] { RefreshStatus(false); });
  connect(progressTick_, &QTimer::timeout, this, &TForm1::ShowProgress);
  connect(statusArea, &StatusArea::DetailsRequested, this, &TForm1::ShowDetails);
  connect(statusArea, &StatusArea::CancelRequested, this, &TForm1::CancelStart);
}

void TForm1::ShowingErrors(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    dialogs_.ShowError(QString::fromUtf8(error.what()));
  }
}

void TForm1::FormCreate() {
  const std::u16string folder = programFolder_();
  candidates_ = FindCsvCandidates(folder);
  StartUp(*values_, folder);
}

void TForm1::cxButton1Click(QObject* /*sender*/) {
  ReleaseCsv();
  Redetect(*values_);
}

void TForm1::cxButton30Click(QPushButton* /*sender*/) {
  if (starting_) return;
  starting_ = true;
  startTrigger_->SetAvailable(false);
  startClock_.start();
  statusDelay_->stop();
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

void TForm1::cxButtonEdit2PropertiesButtonClick(PathEdit* /*sender*/) {
  const std::optional<QString> chosen =
      dialogs_.ChooseCsvFile(btn1->text().left(kInitialNameLength));
  if (!chosen) return;
  ReleaseCsv();
  ChooseCsv(*values_, chosen->toStdU16String());
}

void TForm1::btn2PropertiesButtonClick(PathEdit* sender) {
  const std::optional<QString> chosen = dialogs_.BrowseForFolder(sender->text());
  if (chosen) sender->setText(*chosen);
}

bool TForm1::StatusPending() const { return census_ != nullptr || statusDelay_->isActive(); }

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
  statusDelay_->start();
}

void TForm1::RefreshStatus(bool force) {
  if (closing_) return;
  if (starting_) {
    statusPending_ = true;
    return;
  }
  statusDelay_->stop();
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
  job->clock.start();
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
            job->input.error = QString::fromUtf8(error.what()).toStdU16String();
          }
        },
        [this, job] { CensusEnded(job); });
  });
  progressTick_->start();
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
    statusArea->ShowNote(ToQString(StatusAreaTextsFor(settings_.language).cancelled));
    if (job->forStart) EndStart();
    return;
  }
  taken_ = std::make_unique<TakenStatus>(TakenStatus{job->request, job->stamp, job->input});
  ShowStatusOf(job->input);
  if (job->forStart) AskThenRun(job->input);
}

void TForm1::ShowStatusOf(const StatusInput& input) {
  const QString text = ToQString(StatusText(input, settings_.language));
  QString details = text;
  if (input.check) {
    details += QStringLiteral("\n\n") + ToQString(DetailsText(*input.check, settings_.language));
  }
  statusArea->ShowStatus(text, details);
  emit StatusShown();
}

void TForm1::AskThenRun(const StatusInput& input) {
  if (input.check) {
    if (const auto question = QuestionBeforeRun(*input.check, settings_.language)) {
      if (!dialogs_.AskYesNo(ToQString(*question), ToQString(kWindowCaption))) {
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
  auto job = std::make_shared<RunJob>(*this, *startTrigger_);
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
          job->error = QString::fromUtf8(error.what());
        }
      },
      [this, job] { RunEnded(job); });
  progressTick_->start();
}

void TForm1::RunEnded(const std::shared_ptr<RunJob>& job) {
  run_.reset();
  if (closing_) {
    EndStart();
    return;
  }
  statusArea->HideProgress();
  const bool written = job->report && job->report->outcome == RunOutcome::Written;
  if (job->cancelled) {
    statusArea->ShowNote(ToQString(StatusAreaTextsFor(settings_.language).cancelled));
    EndStart();
  } else if (job->error) {
    // The start button is available again when the error is told.
    EndStart();
    dialogs_.ShowError(*job->error);
  } else {
    // The run's message is shown while the start button is still greyed.
    if (const auto held = job->messages.Take()) {
      messages_->ShowInformation(held->text.toStdU16String(), held->caption.toStdU16String());
    }
    EndStart();
  }
  // The CSV now names other folders.
  if (written) RefreshStatus(true);
}

void TForm1::EndStart() {
  if (!starting_) return;
  starting_ = false;
  statusArea->HideProgress();
  startTrigger_->SetAvailable(true);
  emit StartEnded();
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
  const bool shown = starting_ && startClock_.elapsed() >= settings_.progressDelayMs;
  if (run_) {
    if (shown) statusArea->ShowProgress(StatusArea::Stage::Adjusting, run_->progress.Share());
  } else if (census_ && census_->forStart) {
    if (shown) statusArea->ShowProgress(StatusArea::Stage::Checking, census_->progress.Share());
  } else if (census_) {
    if (census_->clock.elapsed() >= settings_.progressDelayMs) {
      statusArea->ShowChecking(census_->progress.Share());
    }
  } else {
    progressTick_->stop();
  }
}

void TForm1::ShowDetails() { dialogs_.ShowDetails(statusArea->Details()); }

void TForm1::closeEvent(QCloseEvent* event) {
  // Never a half-written CSV: the run is cancelled and waited for; it ends
  // with the CSV as it was, or, past its last moment to stop, as it is meant
  // to be.
  closing_ = true;
  statusDelay_->stop();
  if (census_) census_->cancel = true;
  if (run_) run_->cancel = true;
  jobs_->WaitForAll();
  QWidget::closeEvent(event);
}

}  // namespace picrelink::ui
