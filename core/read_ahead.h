#pragma once
// Reading a text ahead on a thread of its own: the next piece is read into
// one buffer while the caller works on the piece in the other, so that the
// system's copying of a file and the caller's searching overlap.
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace picrelink {

class ReadAhead {
 public:
  // Gives the next piece of a text: up to maxUnits code units into units,
  // and 0 once the text has ended. Called on the reading thread only.
  using Source = std::function<size_t(char16_t* units, size_t maxUnits)>;

  // Starts reading at once, in pieces of up to bufferUnits (at least 1).
  // onCallersThread: no thread; each piece is read when asked for. For a
  // text that comes in one piece there is nothing to overlap, and a thread
  // would only cost its start.
  ReadAhead(Source source, size_t bufferUnits, bool onCallersThread = false);
  // Waits for a read in progress; nothing more is read.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next piece, valid until the next call; empty once the text has
  // ended. The source's error is thrown where it occurred, after the pieces
  // read before it.
  std::u16string_view Next();

 private:
  struct Slot {
    char16_t* units = nullptr;
    size_t count = 0;
    bool full = false;
    std::exception_ptr error;
  };

  void Work();
  std::u16string_view NextOnCallersThread();

  Source source_;
  size_t bufferUnits_;
  // Not filled on creation: every unit handed out was read first, and
  // filling two pieces' worth costs a census of a small CSV more than its
  // search.
  std::unique_ptr<char16_t[]> storage_;
  Slot slots_[2];
  size_t nextSlot_ = 0;       // the slot Next hands out next
  bool callerHolds_ = false;  // the caller still works on the other slot
  bool onCallersThread_;
  bool ended_ = false;           // on the caller's thread: the end or an error was met
  std::exception_ptr endError_;  // that error, thrown again by every later call

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::thread worker_;  // started once everything above is set up, unless onCallersThread
};

}  // namespace picrelink
