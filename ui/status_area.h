#pragma once
// The band below the start button: what the census found (or why there is
// none) in the lines the band has room for, a button to its details, and while the start
// command works a progress bar with a cancel button. None of it takes the
// focus by Tab, so the window's tab order stays that of its controls.
#include <QWidget>

#include "relocation/language.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

namespace picrelink::ui {

class StatusArea : public QWidget {
  Q_OBJECT

 public:
  enum class Stage { Checking, Adjusting };

  // Its words are language's, as every window has them.
  explicit StatusArea(Language language, QWidget* parent = nullptr);

  // One or two lines, and the details that the details button opens.
  void ShowStatus(const QString& text, const QString& details);
  // A short note in place of the status; the details stay as they were.
  void ShowNote(const QString& note);
  // The status is being taken again: says so with the share read (0 to 1).
  void ShowChecking(double share);
  // The start command is at stage, with the share of the CSV read (0 to 1):
  // the progress bar and the cancel button in place of the status.
  void ShowProgress(Stage stage, double share);
  // Back to the status.
  void HideProgress();
  // The offer "使用此位置" left of the details button, shown or not.
  void ShowOffer(bool shown);

  // The whole status (or note), and what of it the band shows: each line on
  // one line of the band, cut with "…" where it is too long; the whole in
  // the tooltip and the details.
  const QString& Text() const { return whole_; }
  QString ShownText() const;
  // The lines the band has room for.
  int Lines() const;
  const QString& Details() const { return details_; }

  QLabel* Label() const { return label_; }
  QPushButton* DetailsButton() const { return detailsButton_; }
  QProgressBar* ProgressBar() const { return progress_; }
  QPushButton* CancelButton() const { return cancelButton_; }
  QPushButton* OfferButton() const { return offerButton_; }

 signals:
  void DetailsRequested();
  void CancelRequested();
  void OfferAccepted();

 private:
  QLabel* label_;
  QPushButton* detailsButton_;
  QProgressBar* progress_;
  QPushButton* cancelButton_;
  QPushButton* offerButton_;
  QShortcut* escape_;
  void Fit(const QString& whole);

  Language language_;
  QString details_;
  bool offered_ = false;
  QString whole_;
};

}  // namespace picrelink::ui
