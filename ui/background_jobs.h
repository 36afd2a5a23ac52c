#pragma once
// Work on threads of its own, each piece reporting back on the owner's
// thread once it has returned, so that the window never waits for a read of
// the CSV.
#include <QObject>
#include <functional>
#include <vector>

class QThread;

namespace picrelink::ui {

class BackgroundJobs : public QObject {
  Q_OBJECT

 public:
  explicit BackgroundJobs(QObject* parent = nullptr);
  // Waits for every piece of work; their done calls are dropped.
  ~BackgroundJobs() override;

  // Runs work on a new thread, then done on this object's thread. work must
  // catch its own errors.
  void Start(std::function<void()> work, std::function<void()> done);

  // Whether no work is running or waiting for its done call.
  bool Idle() const { return threads_.empty(); }

  // Runs then on this object's thread as soon as no work is running: at once
  // when none is, else after the done call of the last one. Calls waiting
  // run in order, each only while no work is running.
  void WhenIdle(std::function<void()> then);

  // Blocks until every piece of work has returned; their done calls still
  // come, from the event loop.
  void WaitForAll();

 private:
  void Finished(QThread* thread, std::function<void()> done);

  std::vector<QThread*> threads_;
  std::vector<std::function<void()>> whenIdle_;
};

}  // namespace picrelink::ui
