#pragma once
// Work on threads of its own, each piece reporting back on the window's
// thread once it has returned (through a message posted to the window), so
// that the window never waits for a read of the CSV.
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "win32/win32_text.h"

namespace picrelink::win32 {

class BackgroundJobs {
 public:
  // owner gets doneMessage with the job's number in wParam; its window
  // procedure passes that to Finished.
  BackgroundJobs(HWND owner, UINT doneMessage);
  // Waits for every piece of work; their done calls are dropped.
  ~BackgroundJobs();
  BackgroundJobs(const BackgroundJobs&) = delete;
  BackgroundJobs& operator=(const BackgroundJobs&) = delete;

  // Runs work on a new thread, then done on the owner's thread. work must
  // catch its own errors.
  void Start(std::function<void()> work, std::function<void()> done);

  // Whether no work is running or waiting for its done call.
  bool Idle() const { return jobs_.empty(); }

  // Runs then on the owner's thread as soon as no work is running: at once
  // when none is, else after the done call of the last one. Calls waiting
  // run in order, each only while no work is running.
  void WhenIdle(std::function<void()> then);

  // Blocks until every piece of work has returned; their done calls still
  // come, through the message loop.
  void WaitForAll();

  // The owner's handling of doneMessage.
  void Finished(WPARAM number);

 private:
  struct Job {
    uint64_t number = 0;
    std::thread thread;
    std::function<void()> done;
  };
  void RunWhenIdle();

  HWND owner_;
  UINT doneMessage_;
  uint64_t nextNumber_ = 1;
  std::vector<std::unique_ptr<Job>> jobs_;
  std::vector<std::function<void()>> whenIdle_;
};

}  // namespace picrelink::win32
