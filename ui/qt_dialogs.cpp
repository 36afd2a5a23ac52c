#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "relocation/error_text.h"
#include "relocation/session/window_texts.h"
#include "ui/details_dialog.h"
#include "ui/folder_browser.h"

namespace picrelink::ui {
namespace {

QString FromU16(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

// The busy pointer while a dialog is prepared and released.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// Centred across the screen of the active window, a third of the free height
// above the dialog.
void PlaceOnActiveScreen(QWidget* dialog) {
  QWidget* active = QApplication::activeWindow();
  QScreen* screen = active ? active->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  dialog->resize(dialog->sizeHint());
  const QRect area = screen->geometry();
  const QSize size = dialog->size();
  dialog->move(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 3);
}

}  // namespace

std::unique_ptr<QMessageBox> MakeErrorBox(const QString& message, const QString& programFilePath) {
  const std::u16string text = ErrorBoxText(message.toStdU16String());
  const std::u16string caption = ErrorBoxCaption(programFilePath.toStdU16String());
  return std::make_unique<QMessageBox>(QMessageBox::Critical, FromU16(caption), FromU16(text),
                                       QMessageBox::Ok);
}

std::unique_ptr<QMessageBox> MakeInformationBox(const QString& text, const QString& caption) {
  return std::make_unique<QMessageBox>(QMessageBox::Information, caption, text, QMessageBox::Ok);
}

std::unique_ptr<QMessageBox> MakeQuestionBox(const QString& question, const QString& caption) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Question, caption, question,
                                           QMessageBox::Yes | QMessageBox::No);
  // Writing is the answer that has to be chosen.
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box;
}

std::unique_ptr<QFileDialog> MakeCsvFileDialog(const QString& initialName) {
  auto dialog = std::make_unique<QFileDialog>();
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  // The entries read "CSV文件" and "所有文件 (*.*)"; the patterns are not shown.
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  // A typed name is given back also when no such file exists.
  dialog->setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const FileFilter& filter : kCsvFileFilters) {
    filters << FromU16(filter.name) + QStringLiteral(" (") + FromU16(filter.pattern) + u')';
  }
  dialog->setNameFilters(filters);
  dialog->selectNameFilter(filters.first());
  if (!initialName.isEmpty()) dialog->selectFile(initialName);
  return dialog;
}

std::optional<QString> CsvDialogResult(bool accepted, const QStringList& chosen) {
  if (!accepted || chosen.isEmpty()) return std::nullopt;
  const QString path = QDir::toNativeSeparators(QFileInfo(chosen.first()).absoluteFilePath());
  if (path.size() > kMaxChosenPathLength) return std::nullopt;
  return path;
}

QtDialogs::QtDialogs(QString programFilePath) : programFilePath_(std::move(programFilePath)) {}

void QtDialogs::ShowError(const QString& message) {
  MakeErrorBox(message, programFilePath_)->exec();
}

void QtDialogs::ShowInformation(const QString& text, const QString& caption) {
  MakeInformationBox(text, caption)->exec();
}

bool QtDialogs::AskYesNo(const QString& question, const QString& caption) {
  std::unique_ptr<QMessageBox> box = MakeQuestionBox(question, caption);
  box->setParent(QApplication::activeWindow(), box->windowFlags());
  return box->exec() == QMessageBox::Yes;
}

bool QtDialogs::ShowDetails(const QString& text, bool offerRestore) {
  DetailsDialog dialog(text, offerRestore, QApplication::activeWindow());
  return dialog.exec() == DetailsDialog::kRestore;
}

std::optional<QString> QtDialogs::ChooseCsvFile(const QString& initialName) {
  std::unique_ptr<QFileDialog> dialog = MakeCsvFileDialog(initialName);
  PlaceOnActiveScreen(dialog.get());
  const bool accepted = dialog->exec() == QDialog::Accepted;
  return CsvDialogResult(accepted, dialog->selectedFiles());
}

std::optional<QString> QtDialogs::BrowseForFolder(const QString& initialPath) {
  std::optional<BusyCursor> busy(std::in_place);
  FolderBrowser browser(initialPath);
  busy.reset();
  const bool accepted = browser.exec() == QDialog::Accepted;
  busy.emplace();  // until the browser is released
  if (!accepted) return std::nullopt;
  return browser.SelectedPath();
}

}  // namespace picrelink::ui
