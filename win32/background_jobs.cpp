#include "win32/background_jobs.h"

#include <algorithm>

namespace picrelink::win32 {

BackgroundJobs::BackgroundJobs(HWND owner, UINT doneMessage)
    : owner_(owner), doneMessage_(doneMessage) {}

BackgroundJobs::~BackgroundJobs() { WaitForAll(); }

void BackgroundJobs::Start(std::function<void()> work, std::function<void()> done) {
  auto job = std::make_unique<Job>();
  job->number = nextNumber_++;
  job->done = std::move(done);
  const auto number = static_cast<WPARAM>(job->number);
  HWND owner = owner_;
  const UINT message = doneMessage_;
  job->thread = std::thread([work = std::move(work), owner, message, number] {
    work();
    PostMessageW(owner, message, number, 0);
  });
  jobs_.push_back(std::move(job));
}

void BackgroundJobs::WhenIdle(std::function<void()> then) {
  whenIdle_.push_back(std::move(then));
  RunWhenIdle();
}

void BackgroundJobs::WaitForAll() {
  for (auto& job : jobs_) {
    if (job->thread.joinable()) job->thread.join();
  }
}

void BackgroundJobs::Finished(WPARAM number) {
  const auto found = std::find_if(jobs_.begin(), jobs_.end(),
                                  [number](const auto& job) { return job->number == number; });
  if (found == jobs_.end()) return;
  std::unique_ptr<Job> job = std::move(*found);
  jobs_.erase(found);
  if (job->thread.joinable()) job->thread.join();
  if (job->done) job->done();
  RunWhenIdle();
}

void BackgroundJobs::RunWhenIdle() {
  while (jobs_.empty() && !whenIdle_.empty()) {
    std::function<void()> then = std::move(whenIdle_.front());
    whenIdle_.erase(whenIdle_.begin());
    then();
  }
}

}  // namespace picrelink::win32
