#include "ui/status_area.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <cmath>

#include "relocation/session/offer_texts.h"
#include "relocation/session/status_area_texts.h"
#include "relocation/session/status_band.h"
#include "ui/window_font.h"

namespace picrelink::ui {
namespace {

using namespace status_band;

QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

QPushButton* MakeButton(QWidget* parent, const QString& text) {
  auto* button = new QPushButton(text, parent);
  // Out of the tab order; reached with the mouse (and Escape for cancel).
  button->setFocusPolicy(Qt::NoFocus);
  button->setGeometry(kRight - kLeft - kButtonWidth, 0, kButtonWidth, kButtonHeight);
  return button;
}

}  // namespace

StatusArea::StatusArea(Language language, QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(this)),
      detailsButton_(MakeButton(this, ToQString(StatusAreaTextsFor(language).detailsButton))),
      progress_(new QProgressBar(this)),
      cancelButton_(MakeButton(this, ToQString(StatusAreaTextsFor(language).cancelButton))),
      offerButton_(MakeButton(this, ToQString(kUseSuggestion))),
      escape_(new QShortcut(QKeySequence(Qt::Key_Escape), parent ? parent : this)),
      language_(language) {
  // A smaller face than the controls', so that two lines fit in the band
  // above the bottom edge of a framed window.
  QFont font = WindowFont();
  font.setPixelSize(12);
  setFont(font);
  const int lines = 2 * QFontMetrics(font).lineSpacing();
  const int textWidth = kRight - kLeft - kButtonWidth - kGap;
  setGeometry(kLeft, kTop, kRight - kLeft, std::max(lines, kButtonHeight));

  label_->setGeometry(0, 0, textWidth, lines);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label_->setWordWrap(true);
  // Selectable and copyable; a click gives it the focus, Tab never does.
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  label_->setFocusPolicy(Qt::ClickFocus);

  progress_->setGeometry(0, 2, textWidth, kButtonHeight - 4);
  progress_->setRange(0, kProgressSteps);
  progress_->setAlignment(Qt::AlignCenter);
  progress_->hide();
  cancelButton_->hide();
  detailsButton_->hide();
  offerButton_->move(kOfferLeft - kLeft, 0);
  offerButton_->hide();
  cancelButton_->setToolTip(ToQString(StatusAreaTextsFor(language).cancelHint));

  // Escape cancels only while there is something to cancel.
  escape_->setEnabled(false);
  escape_->setContext(Qt::WindowShortcut);
  connect(escape_, &QShortcut::activated, this, &StatusArea::CancelRequested);
  connect(detailsButton_, &QPushButton::clicked, this, &StatusArea::DetailsRequested);
  connect(cancelButton_, &QPushButton::clicked, this, &StatusArea::CancelRequested);
  connect(offerButton_, &QPushButton::clicked, this, &StatusArea::OfferAccepted);
}

void StatusArea::ShowStatus(const QString& text, const QString& details) {
  details_ = details;
  label_->setText(text);
  label_->setToolTip(text);
  detailsButton_->setVisible(!details_.isEmpty() && !progress_->isVisible());
}

void StatusArea::ShowNote(const QString& note) {
  label_->setText(note);
  label_->setToolTip(note);
}

void StatusArea::ShowChecking(double share) {
  label_->setText(ToQString(CheckingText(ProgressSteps(share) / 10, language_)));
}

void StatusArea::ShowProgress(Stage stage, double share) {
  // The bar's format holds the words and the share already written out.
  const int percent = ProgressSteps(share) / 10;
  progress_->setFormat(ToQString(stage == Stage::Checking ? CheckingText(percent, language_)
                                                          : AdjustingText(percent, language_)));
  progress_->setValue(ProgressSteps(share));
  if (progress_->isVisible()) return;
  label_->hide();
  detailsButton_->hide();
  offerButton_->hide();
  progress_->show();
  cancelButton_->show();
  escape_->setEnabled(true);
}

void StatusArea::HideProgress() {
  escape_->setEnabled(false);
  progress_->hide();
  cancelButton_->hide();
  progress_->reset();
  label_->show();
  detailsButton_->setVisible(!details_.isEmpty());
  offerButton_->setVisible(offered_);
}

void StatusArea::ShowOffer(bool shown) {
  offered_ = shown;
  // The text gives way to the offer while it is there.
  label_->resize((shown ? kOfferLeft : kRight - kButtonWidth) - kGap - kLeft, label_->height());
  offerButton_->setVisible(shown && !progress_->isVisible());
}

QString StatusArea::Text() const { return label_->text(); }

}  // namespace picrelink::ui
