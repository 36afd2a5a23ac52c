#include "ui/background_jobs.h"

#include <QThread>
#include <algorithm>

namespace picrelink::ui {

BackgroundJobs::BackgroundJobs(QObject* parent) : QObject(parent) {}

BackgroundJobs::~BackgroundJobs() {
  for (QThread* thread : threads_) {
    thread->wait();
    delete thread;
  }
}

void BackgroundJobs::Start(std::function<void()> work, std::function<void()> done) {
  QThread* thread = QThread::create(std::move(work));
  threads_.push_back(thread);
  // finished comes from the thread itself; the call runs on this object's.
  connect(thread, &QThread::finished, this,
          [this, thread, done = std::move(done)] { Finished(thread, done); });
  thread->start();
}

void BackgroundJobs::Finished(QThread* thread, std::function<void()> done) {
  threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
  thread->wait();
  delete thread;
  if (done) done();
  // A call that starts work leaves the rest waiting for that work.
  while (threads_.empty() && !whenIdle_.empty()) {
    std::function<void()> call = std::move(whenIdle_.front());
    whenIdle_.erase(whenIdle_.begin());
    call();
  }
}

void BackgroundJobs::WhenIdle(std::function<void()> then) {
  if (threads_.empty()) {
    then();
    return;
  }
  whenIdle_.push_back(std::move(then));
}

void BackgroundJobs::WaitForAll() {
  for (QThread* thread : threads_) thread->wait();
}

}  // namespace picrelink::ui
