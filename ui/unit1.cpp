#include "ui/unit1.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <exception>

#include "relocation/adjustment_run.h"
#include "relocation/startup.h"
#include "ui/dialogs.h"
#include "ui/form_adapter.h"
#include "ui/level_edit.h"
#include "ui/path_edit.h"
#include "ui/window_font.h"
#include "ui/window_frame.h"

namespace picrelink::ui {
namespace {

constexpr QSize kOuterSize(800, 347);
// The open-file dialog takes at most this many characters of btn1 as its
// initial file name.
constexpr qsizetype kInitialNameLength = 260;

QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->move(left, top);
  label->adjustSize();
  return label;
}

PathEdit* MakePathEdit(QWidget* parent, int left, int top) {
  auto* edit = new PathEdit(parent);
  edit->setGeometry(left, top, 636, edit->sizeHint().height());
  return edit;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, int left, int top) {
  auto* button = new QPushButton(text, parent);
  // Enter clicks a focused button, as Space does.
  button->setAutoDefault(true);
  button->setGeometry(left, top, 109, 25);
  return button;
}

}  // namespace

TForm1::TForm1(Dialogs& dialogs, ProgramFolderSource programFolder, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), programFolder_(std::move(programFolder)) {
  setWindowTitle(ToQString(kWindowCaption));
  setFont(WindowFont());
  QPalette background = palette();
  background.setColor(QPalette::Window, background.color(QPalette::Button));
  setPalette(background);

  CreateControls();
  values_ = std::make_unique<FormAdapter>(*btn1, *btn2, *btn3, *edtnum, *CheckBox1, dialogs_);
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
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  cxLabel4 =
      MakeLabel(this,
                QStringLiteral("温馨提示：程序打开会自动检测当前目录下第一个『CSV文件』和『该CSV中"
                               "描述图片位置』，找不到时请手动选择！"),
                11, 13);
  QPalette blue = cxLabel4->palette();
  blue.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
  cxLabel4->setPalette(blue);

  cxLabel2 = MakeLabel(this, QStringLiteral("请选择CSV文件"), 32, 45);
  btn1 = MakePathEdit(this, 138, 44);

  Label8 = new QLabel(QStringLiteral("CSV中描述图片位置倒推几层目录："), this);
  Label8->setGeometry(3, 88, 234, 15);
  edtnum = new LevelEdit(this);
  edtnum->setGeometry(239, 84, 58, 23);
  cxButton1 = MakeButton(this, QStringLiteral("重新检测"), 322, 83);

  cxLabel3 = MakeLabel(this, QStringLiteral("CSV中描述图片位置"), 3, 128);
  btn2 = MakePathEdit(this, 138, 126);

  cxLabel30 = MakeLabel(this, QStringLiteral("当前描述图片位置"), 11, 171);
  btn3 = MakePathEdit(this, 138, 169);

  CheckBox1 = new QCheckBox(QStringLiteral("调整之前备份CSV文件"), this);
  CheckBox1->setGeometry(24, 206, 321, CheckBox1->sizeHint().height());

  cxButton30 = MakeButton(this, QStringLiteral("开始调整"), 20, 244);
  cxLabel1 =
      MakeLabel(this,
                QStringLiteral("该操作会将 CSV中描述图片位置 修改 为当前实际的位置，导入助理后可以"
                               "正常显示描述图片"),
                139, 247);

  // The tab order wraps around: cxButton1 leads back to btn2.
  QWidget* const tabOrder[] = {btn2, btn3, cxButton30, btn1, edtnum, CheckBox1, cxButton1};
  for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) setTabOrder(tabOrder[i], tabOrder[i + 1]);
  btn2->setFocus(Qt::OtherFocusReason);
}

void TForm1::ConnectHandlers() {
  connect(cxButton1, &QPushButton::clicked, this,
          [this] { ShowingErrors([this] { cxButton1Click(cxButton1); }); });
  connect(cxButton30, &QPushButton::clicked, this,
          [this] { ShowingErrors([this] { cxButton30Click(cxButton30); }); });
  connect(btn1, &PathEdit::ButtonClicked, this,
          [this] { ShowingErrors([this] { cxButtonEdit2PropertiesButtonClick(btn1); }); });
  for (PathEdit* edit : {btn2, btn3}) {
    connect(edit, &PathEdit::ButtonClicked, this,
            [this, edit] { ShowingErrors([this, edit] { btn2PropertiesButtonClick(edit); }); });
  }
}

void TForm1::ShowingErrors(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    dialogs_.ShowError(QString::fromUtf8(error.what()));
  }
}

void TForm1::FormCreate() { StartUp(*values_, programFolder_()); }

void TForm1::cxButton1Click(QObject* /*sender*/) { Redetect(*values_); }

void TForm1::cxButton30Click(QPushButton* sender) {
  ButtonTrigger trigger(*sender);
  RunAdjustment(*values_, trigger, *values_);
}

void TForm1::cxButtonEdit2PropertiesButtonClick(PathEdit* /*sender*/) {
  const std::optional<QString> chosen =
      dialogs_.ChooseCsvFile(btn1->text().left(kInitialNameLength));
  if (!chosen) return;
  btn1->setText(*chosen);
  cxButton1Click(nullptr);
}

void TForm1::btn2PropertiesButtonClick(PathEdit* sender) {
  const std::optional<QString> chosen = dialogs_.BrowseForFolder(sender->text());
  if (chosen) sender->setText(*chosen);
}

}  // namespace picrelink::ui
