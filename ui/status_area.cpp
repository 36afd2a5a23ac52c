#include "ui/status_area.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <cmath>
#include <string>

#include "relocation/session/band_lines.h"
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
  // The buttons in the controls' face, as the window's other buttons: in the
  // band's smaller face an enabled button looks greyed.
  detailsButton_->setFont(WindowFont());
  cancelButton_->setFont(WindowFont());
  offerButton_->setFont(WindowFont());
  const int lines = 2 * QFontMetrics(font).lineSpacing();
  const int textWidth = kRight - kLeft - kButtonWidth - kGap;
  setGeometry(kLeft, kTop, kRight - kLeft, std::max(lines, kButtonHeight));

  label_->setGeometry(0, 0, textWidth, lines);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Each line of the status on one line of the label, cut where it is too
  // long: a wrapped line would push the last ones below the band unseen.
  label_->setWordWrap(false);
  label_->setTextFormat(Qt::PlainText);
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
  Fit(text);
  detailsButton_->setVisible(!details_.isEmpty() && !progress_->isVisible());
}

void StatusArea::ShowNote(const QString& note) { Fit(note); }

void StatusArea::ShowChecking(double share) {
  Fit(ToQString(CheckingText(ProgressSteps(share) / 10, language_)));
}

void StatusArea::Fit(const QString& whole) {
  whole_ = whole;
  const QFontMetrics metrics(label_->font());
  const std::u16string text(reinterpret_cast<const char16_t*>(whole.utf16()),
                            static_cast<size_t>(whole.size()));
  const BandLines fitted = FitBandLines(
      text, Lines(), label_->contentsRect().width(),
      [&metrics](std::u16string_view line) { return metrics.horizontalAdvance(ToQString(line)); });
  label_->setText(ToQString(fitted.text));
  // The whole status when the pointer rests on it.
  label_->setToolTip(whole);
}

int StatusArea::Lines() const {
  return std::max(1, label_->contentsRect().height() / QFontMetrics(label_->font()).lineSpacing());
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
  // The lines are cut anew for the new width.
  Fit(whole_);
}

QString StatusArea::ShownText() const { return label_->text(); }

}  // namespace picrelink::ui
