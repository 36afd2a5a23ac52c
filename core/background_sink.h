#pragma once
// Passing a text on to a sink on a thread of its own, so that the sink's
// work (writing a file) overlaps the producer's (reading and replacing).
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "core/stream_replace.h"

namespace picrelink {

class BackgroundSink : public TextSink {
 public:
  // target is used only by the worker thread until Finish returns.
  // chunkUnits: how much text is gathered before it is handed over; at most
  // chunksInFlight chunks wait for the worker, so memory stays bounded.
  explicit BackgroundSink(TextSink& target, size_t chunkUnits = size_t{1} << 18,
                          size_t chunksInFlight = 2);
  // Without Finish, what has not reached the target yet is dropped.
  ~BackgroundSink() override;
  BackgroundSink(const BackgroundSink&) = delete;
  BackgroundSink& operator=(const BackgroundSink&) = delete;

  // Throws the target's error as soon as the worker has met one.
  void Append(const char16_t* units, size_t count) override;
  // A buffer of at least half a chunk is queued as it is, without a copy,
  // and a spare chunk (or an empty buffer) is left in its place.
  void AppendBuffer(UnitBuffer& buffer, size_t count) override;
  // Hands on the rest and waits until the target has it all; throws the
  // target's error, if any. Call it once, last.
  void Finish();

 private:
  void HandOver();
  // A spare chunk, if any, becomes current_; with mutex_ held.
  void TakeSpare();
  // A chunk for the producer to fill, with its pages touched; an empty
  // buffer without the memory for it.
  UnitBuffer ReadyChunk() const;
  void Work();
  void Stop(bool drop) noexcept;

  TextSink& target_;
  const size_t chunkUnits_;
  const size_t chunksInFlight_;
  UnitBuffer current_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<UnitBuffer> waiting_;  // chunks for the worker, in order
  std::vector<UnitBuffer> spare_;   // chunks the worker is done with
  bool closing_ = false;            // no more chunks will come
  bool dropping_ = false;           // the rest goes nowhere
  std::exception_ptr error_;
  std::thread worker_;  // last: it starts once everything above exists
};

}  // namespace picrelink
