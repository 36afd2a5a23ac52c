#include "ui/window_frame.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace picrelink::ui {
namespace {

// Watches the window's show, move and resize events until a frame appears;
// the window manager may report the frame a little after the window is shown.
class FrameWatcher : public QObject {
 public:
  FrameWatcher(QWidget* window, std::function<void(QSize)> onFrame)
      : QObject(window), window_(window), onFrame_(std::move(onFrame)) {
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && !done_) {
      switch (event->type()) {
        case QEvent::Show:
          // The frame is often known only after the window is mapped.
          QTimer::singleShot(0, this, [this] { Check(); });
          break;
        case QEvent::Move:
        case QEvent::Resize:
          Check();
          break;
        default:
          break;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void Check() {
    if (done_ || !window_->isVisible()) return;
    const QSize frame = window_->frameGeometry().size() - window_->geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0) return;
    done_ = true;
    window_->removeEventFilter(this);
    onFrame_(frame);
  }

  QWidget* window_;
  std::function<void(QSize)> onFrame_;
  bool done_ = false;
};

}  // namespace

void CentreOnScreen(QWidget* window, QSize outerSize) {
  QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  window->move(area.x() + (area.width() - outerSize.width()) / 2,
               area.y() + (area.height() - outerSize.height()) / 2);
}

void WhenFrameKnown(QWidget* window, std::function<void(QSize frame)> onFrame) {
  new FrameWatcher(window, std::move(onFrame));
}

}  // namespace picrelink::ui
