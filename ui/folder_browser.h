#pragma once
// The folder browser: a modal dialog over the file system's folder tree that
// starts at a given path and, on OK, gives the path of the selected folder.
#include <QDialog>
#include <QLineEdit>
#include <QPersistentModelIndex>

class QFileSystemModel;
class QLabel;
class QModelIndex;
class QPushButton;
class QTimer;
class QTreeView;

namespace picrelink::ui {

// The read-only box above the tree: shows a path, dropping leading folders
// when the path is too wide for it.
class CurrentFolderBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit CurrentFolderBox(QWidget* parent = nullptr);
  void SetPath(const QString& path);
  const QString& Path() const { return path_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShowPath();

  QString path_;
};

class FolderBrowser : public QDialog {
  Q_OBJECT

 public:
  // initialPath, unchanged from the edit: the empty text selects the top of
  // the tree, an existing folder is selected and opened down to, anything
  // else selects nothing.
  explicit FolderBrowser(const QString& initialPath, QWidget* parent = nullptr);

  // The selected folder's path, without a trailing separator except at a
  // root; the empty text when nothing is selected.
  QString SelectedPath() const;

  QTreeView* Tree() const { return tree_; }
  CurrentFolderBox* FolderBox() const { return box_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Preselect(const QString& initialPath);
  // Keeps the preselected folder in view while the model reads and sorts the
  // folders above it, until the user scrolls, clicks or types in the tree.
  void RevealPreselection();
  QModelIndex SelectedIndex() const;
  void ShowContextMenu(const QPoint& pos);
  void PlaceControls();

  bool eventFilter(QObject* watched, QEvent* event) override;

  QPersistentModelIndex preselected_;
  bool followPreselection_ = false;
  QTimer* reveal_;
  QFileSystemModel* model_;
  QLabel* label_;
  CurrentFolderBox* box_;
  QTreeView* tree_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace picrelink::ui
