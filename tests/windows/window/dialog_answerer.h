#pragma once
// Answering a modal dialog of this process from a second thread: it waits
// for a shown window of a class, then hands it to the answer, while the
// dialog runs on the test's own thread.
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/windows/window/window_search.h"

namespace picrelink::win32::test {

// The first shown top-level window of this process of the class kind.
inline HWND FindShown(const std::wstring& kind) {
  const std::vector<HWND> found = WindowsOf(GetCurrentProcessId(), kind);
  return found.empty() ? nullptr : found.front();
}

class Answerer {
 public:
  Answerer(std::wstring kind, std::function<void(HWND)> answer)
      : thread_([this, kind = std::move(kind), answer = std::move(answer)] {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
          while (std::chrono::steady_clock::now() < deadline) {
            if (HWND window = FindShown(kind)) {
              // Let the dialog finish its own start first.
              std::this_thread::sleep_for(std::chrono::milliseconds(200));
              answer(window);
              found_ = true;
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        }) {}
  ~Answerer() { Join(); }
  // Whether the window came and was answered.
  bool Answered() {
    Join();
    return found_;
  }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  bool found_ = false;
  std::thread thread_;
};

// Clicks a dialog's button as its own click would.
inline void Press(HWND dialog, int button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

}  // namespace picrelink::win32::test
