#include "ui/folder_browser.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "relocation/session/folder_browser_frame.h"
#include "relocation/session/path_elision.h"
#include "ui/window_frame.h"

namespace picrelink::ui {
namespace {

constexpr QSize kClientSize(folder_browser::kClientWidth, folder_browser::kClientHeight);
constexpr QSize kMinimumOuterSize(folder_browser::kMinimumOuterWidth,
                                  folder_browser::kMinimumOuterHeight);

QString NativePath(const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); }

// The browser's fixed texts stay English in every language.
QString Fixed(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QRect ToRect(const folder_browser::Place& place, int height) {
  return QRect(place.left, place.top, place.width, place.height > 0 ? place.height : height);
}

}  // namespace

CurrentFolderBox::CurrentFolderBox(QWidget* parent) : QLineEdit(parent) { setReadOnly(true); }

void CurrentFolderBox::SetPath(const QString& path) {
  path_ = path;
  ShowPath();
}

void CurrentFolderBox::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  ShowPath();
}

void CurrentFolderBox::ShowPath() {
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  // The line edit keeps a small margin on each side and room for the cursor.
  const int width = contents.width() - textMargins().left() - textMargins().right() - 5;
  const QFontMetrics metrics = fontMetrics();
  const std::u16string path = path_.toStdU16String();
  const std::u16string shown = ElideLeadingFolders(
      path, QDir::separator().unicode(), width,
      [&](std::u16string_view text) { return metrics.horizontalAdvance(Fixed(text)); });
  setText(Fixed(shown));
  setCursorPosition(0);
}

FolderBrowser::FolderBrowser(const QString& initialPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      reveal_(new QTimer(this)),
      model_(new QFileSystemModel(this)),
      label_(new QLabel(Fixed(folder_browser::kLabelText), this)),
      box_(new CurrentFolderBox(this)),
      tree_(new QTreeView(this)),
      ok_(new QPushButton(Fixed(folder_browser::kOkText), this)),
      cancel_(new QPushButton(Fixed(folder_browser::kCancelText), this)) {
  reveal_->setSingleShot(true);
  reveal_->setInterval(0);
  connect(reveal_, &QTimer::timeout, this, &FolderBrowser::RevealPreselection);
  setWindowTitle(Fixed(folder_browser::kCaption));
  setSizeGripEnabled(true);

  // Folders only, hidden ones left out. The model gathers entry details on a
  // thread of its own and follows folders created, renamed or removed on disk.
  model_->setFilter(QDir::Dirs | QDir::Drives | QDir::NoDotAndDotDot);
  model_->setReadOnly(true);
  model_->setRootPath(QDir::rootPath());

  tree_->setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setUniformRowHeights(true);
  tree_->setSortingEnabled(true);
  tree_->sortByColumn(0, Qt::AscendingOrder);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  // The selection stays as visible when the tree loses the focus.
  QPalette palette = tree_->palette();
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  tree_->setPalette(palette);

  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { box_->SetPath(SelectedPath()); });
  connect(tree_, &QTreeView::customContextMenuRequested, this, &FolderBrowser::ShowContextMenu);

  setMinimumSize(kMinimumOuterSize);
  resize(kClientSize);
  PlaceControls();
  CentreOnScreen(this, kClientSize);
  WhenFrameKnown(this, [this](QSize frame) {
    setMinimumSize((kMinimumOuterSize - frame).expandedTo(QSize(0, 0)));
  });

  Preselect(initialPath);
  tree_->setFocus();
}

void FolderBrowser::Preselect(const QString& initialPath) {
  QModelIndex index;
  if (initialPath.isEmpty()) {
    index = model_->index(QDir::rootPath());  // the top of the tree
  } else if (QFileInfo(initialPath).isDir()) {
    index = model_->index(QDir::cleanPath(QFileInfo(initialPath).absoluteFilePath()));
  }
  if (!index.isValid()) return;
  preselected_ = index;
  followPreselection_ = true;
  // Entries arrive from the model's thread and are sorted a moment later,
  // which moves the rows below them.
  const auto schedule = [this] { reveal_->start(); };
  connect(model_, &QFileSystemModel::rowsInserted, reveal_, schedule);
  connect(model_, &QFileSystemModel::layoutChanged, reveal_, schedule);
  connect(model_, &QFileSystemModel::directoryLoaded, reveal_, schedule);
  connect(tree_->verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this] { followPreselection_ = false; });
  tree_->installEventFilter(this);
  tree_->viewport()->installEventFilter(this);
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
    tree_->expand(parent);
  }
  tree_->setCurrentIndex(index);
  tree_->scrollTo(index);
}

void FolderBrowser::RevealPreselection() {
  if (followPreselection_ && preselected_.isValid()) tree_->scrollTo(preselected_);
}

bool FolderBrowser::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
      followPreselection_ = false;
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

QModelIndex FolderBrowser::SelectedIndex() const {
  const QModelIndexList rows = tree_->selectionModel()->selectedRows(0);
  return rows.isEmpty() ? QModelIndex() : rows.first();
}

QString FolderBrowser::SelectedPath() const {
  const QModelIndex index = SelectedIndex();
  if (!index.isValid()) return QString();
  const QString path = model_->filePath(index);
  return path.isEmpty() ? QString() : NativePath(path);
}

void FolderBrowser::ShowContextMenu(const QPoint& pos) {
  const QModelIndex index = tree_->indexAt(pos);
  if (!index.isValid()) return;
  tree_->setCurrentIndex(index);
  const QString path = SelectedPath();
  if (path.isEmpty()) return;

  QMenu menu(this);
  menu.addAction(tr("Open"), this, [path] {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::fromNativeSeparators(path)));
  });
  menu.addAction(tr("Copy Path"), this, [path] { QApplication::clipboard()->setText(path); });
  menu.exec(tree_->viewport()->mapToGlobal(pos));
}

void FolderBrowser::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceControls();
}

void FolderBrowser::PlaceControls() {
  // The box and the tree grow with the window and the buttons stay at its
  // bottom right.
  const folder_browser::Places places = folder_browser::PlaceParts(width(), height());
  label_->move(places.label.left, places.label.top);
  label_->adjustSize();
  box_->setGeometry(ToRect(places.box, box_->sizeHint().height()));
  tree_->setGeometry(ToRect(places.tree, 0));
  ok_->setGeometry(ToRect(places.ok, 0));
  cancel_->setGeometry(ToRect(places.cancel, 0));
}

}  // namespace picrelink::ui
