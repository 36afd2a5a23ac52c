#include "ui/unit1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "relocation/session/window_texts.h"
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

// A smaller size of label's face where its text is wider than room, so that
// the whole text shows on its one line.
void FitLabelFont(QLabel* label, int room) {
  QFont font = label->font();
  const QString text = label->text();
  const int full = font.pixelSize();
  while (font.pixelSize() > full / 2 && QFontMetrics(font).horizontalAdvance(text) > room) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  if (font.pixelSize() != full) label->setFont(font);
}

// The level's label: 234 × 15 at 3, 88 as designed for 宋体, wider where the
// face's text is, never reaching the level edit at editLeft: it moves left
// first, and only where that is not enough does its font get smaller.
void PlaceLevelLabel(QLabel* label, int editLeft) {
  const int room = editLeft - 1;
  FitLabelFont(label, room);
  const QFontMetrics metrics(label->font());
  const int width = std::max(234, metrics.horizontalAdvance(label->text()));
  const int left = std::max(0, std::min(3, room - width));
  label->setGeometry(left, 88, width, std::max(15, metrics.height()));
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

}  // namespace

WindowSettings WindowSettingsFor(Language language) {
  WindowSettings settings;
  settings.language = language;
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
    form_.statusDelay_->start(static_cast<int>(delay.count()));
  }
  void StopStatusDelay() override { form_.statusDelay_->stop(); }
  void StartProgressTicks() override { form_.progressTick_->start(); }
  void StopProgressTicks() override { form_.progressTick_->stop(); }
  Trigger& StartTrigger() override { return *form_.startTrigger_; }
  std::unique_ptr<Trigger> TriggerFromAnotherThread() override {
    return std::make_unique<QueuedTrigger>(form_, *form_.startTrigger_);
  }
  void ShowError(std::u16string_view message) override {
    form_.dialogs_.ShowError(ToQString(message));
  }
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override {
    form_.dialogs_.ShowInformation(ToQString(text), ToQString(caption));
  }
  bool AskYesNo(std::u16string_view question, std::u16string_view caption) override {
    return form_.dialogs_.AskYesNo(ToQString(question), ToQString(caption));
  }
  void ShowStatus(std::u16string_view text, std::u16string_view details) override {
    form_.statusArea->ShowStatus(ToQString(text), ToQString(details));
  }
  void ShowNote(std::u16string_view note) override { form_.statusArea->ShowNote(ToQString(note)); }
  void ShowChecking(double share) override { form_.statusArea->ShowChecking(share); }
  void ShowProgress(Stage stage, double share) override {
    form_.statusArea->ShowProgress(
        stage == Stage::Checking ? StatusArea::Stage::Checking : StatusArea::Stage::Adjusting,
        share);
  }
  void HideProgress() override { form_.statusArea->HideProgress(); }
  void ShowOffer(bool shown) override { form_.statusArea->ShowOffer(shown); }
  void StatusShown() override { emit form_.StatusShown(); }
  void StartEnded() override { emit form_.StartEnded(); }

 private:
  TForm1& form_;
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
  startTrigger_ = std::make_unique<ButtonTrigger>(*cxButton30);
  host_ = std::make_unique<Host>(*this);
  session_ = std::make_unique<WindowSession>(*host_, *values_, settings_);
  statusDelay_->setSingleShot(true);
  progressTick_->setInterval(kProgressTickMs);
  ConnectHandlers();

  // Without a frame the client area is the whole window; where the window
  // system adds one, the client area gives way so that the outer size stays.
  resize(kOuterSize);
  CentreOnScreen(this, kOuterSize);
  FitTip(kOuterSize.width());
  WhenFrameKnown(this, [this](QSize frame) {
    resize(kOuterSize - frame);
    CentreOnScreen(this, kOuterSize);
    FitTip(kOuterSize.width() - frame.width());
  });

  ShowingErrors([this] { FormCreate(); });
  session_->RefreshStatus(true);
}

TForm1::~TForm1() {
  session_->Close();
  // jobs_ waits for its threads as it goes, before the controls do.
  delete jobs_;
}

void TForm1::FitTip(int clientWidth) {
  // The tip runs along the whole window; where the face is too wide for the
  // client area, a smaller size of it keeps the tip inside.
  cxLabel4->setFont(font());
  FitLabelFont(cxLabel4, clientWidth - cxLabel4->x() - 2);
  cxLabel4->adjustSize();
}

void TForm1::CreateControls() {
  cxLabel4 = MakeLabel(this, kTipText, 11, 13);
  QPalette blue = cxLabel4->palette();
  blue.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
  cxLabel4->setPalette(blue);

  cxLabel2 = MakeLabel(this, kCsvLabelText, 32, 45);
  btn1 = MakePathEdit(this, 138, 44);

  Label8 = new QLabel(ToQString(kLevelLabelText), this);
  edtnum = new LevelEdit(this);
  edtnum->setGeometry(239, 84, 58, 23);
  PlaceLevelLabel(Label8, edtnum->x());
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
    session_->RefreshStatus(true);
  });
  connect(cxButton30, &QPushButton::clicked, this,
          [this] { ShowingErrors([this] { cxButton30Click(cxButton30); }); });
  connect(btn1, &PathEdit::ButtonClicked, this, [this] {
    ShowingErrors([this] { cxButtonEdit2PropertiesButtonClick(btn1); });
    session_->RefreshStatus(true);
  });
  for (PathEdit* edit : {btn2, btn3}) {
    connect(edit, &PathEdit::ButtonClicked, this, [this, edit] {
      ShowingErrors([this, edit] { btn2PropertiesButtonClick(edit); });
      session_->RefreshStatus(true);
    });
  }

  // Typing takes the status anew once the keys rest; stepping the level too.
  for (PathEdit* edit : {btn1, btn2, btn3}) {
    connect(edit, &QLineEdit::textEdited, this, [this] { session_->ValuesEdited(); });
  }
  connect(edtnum->lineEdit(), &QLineEdit::textChanged, this, [this] { session_->ValuesEdited(); });
  connect(statusDelay_, &QTimer::timeout, this, [this] { session_->StatusDelayEnded(); });
  connect(progressTick_, &QTimer::timeout, this, [this] { session_->ProgressTick(); });
  connect(statusArea, &StatusArea::DetailsRequested, this, &TForm1::ShowDetails);
  connect(statusArea, &StatusArea::CancelRequested, this, [this] { session_->Cancel(); });
  connect(statusArea, &StatusArea::OfferAccepted, this,
          [this] { ShowingErrors([this] { session_->UseSuggestion(); }); });
}

void TForm1::ShowingErrors(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    dialogs_.ShowError(QString::fromUtf8(error.what()));
  }
}

void TForm1::FormCreate() { session_->FormCreate(programFolder_()); }

void TForm1::cxButton1Click(QObject* /*sender*/) { session_->Redetect(); }

void TForm1::cxButton30Click(QPushButton* /*sender*/) { session_->Start(); }

void TForm1::cxButtonEdit2PropertiesButtonClick(PathEdit* /*sender*/) {
  const std::optional<QString> chosen =
      dialogs_.ChooseCsvFile(btn1->text().left(kInitialNameLength));
  if (chosen) session_->CsvChosen(chosen->toStdU16String());
}

void TForm1::btn2PropertiesButtonClick(PathEdit* sender) {
  const std::optional<QString> chosen = dialogs_.BrowseForFolder(sender->text());
  if (chosen) sender->setText(*chosen);
}

bool TForm1::StatusPending() const { return session_->StatusPending(); }

void TForm1::ShowDetails() {
  if (dialogs_.ShowDetails(statusArea->Details(), session_->BackupExists())) {
    ShowingErrors([this] { session_->RestoreBackup(); });
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  session_->Close();
  QWidget::closeEvent(event);
}

}  // namespace picrelink::ui
