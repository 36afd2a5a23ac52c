#include "relocation/census/census_count.h"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "core/platform.h"
#include "relocation/census/census_taker.h"
#include "relocation/references/csv_pieces.h"
#include "relocation/references/src_search.h"
#include "relocation/run/adjustment_run.h"

namespace picrelink {
namespace {

void StopIfCancelled(const std::atomic<bool>* cancel) {
  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) throw Cancelled("Cancelled");
}

// The second part of the text, counted on a thread of its own into a census
// of its own. Whatever happens, the thread has ended once this is gone.
class LaterPart {
 public:
  LaterPart(std::u16string_view csvPath, uint64_t from, bool oneHigher,
            const PictureChecker* firstChecker, const std::exception_ptr& levelError,
            const std::atomic<bool>* cancel)
      : path_(csvPath), from_(from), cancel_(cancel) {
    if (firstChecker != nullptr) checker_.emplace(PictureChecker::LaterPart(*firstChecker));
    counter_.emplace(census_, oneHigher, checker_ ? &*checker_ : nullptr, levelError);
    thread_ = std::thread([this] { Work(); });
  }
  ~LaterPart() { Stop(); }
  LaterPart(const LaterPart&) = delete;
  LaterPart& operator=(const LaterPart&) = delete;

  // Stops the count at its next piece and waits for its thread.
  void Stop() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
  }

  // Waits for the count to end, calling tick after each piece it reads (and
  // whatever tick throws ends the wait). True when it ended without error;
  // its thread has ended then.
  template <typename Tick>
  bool Wait(const Tick& tick) {
    {
      std::unique_lock lock(mutex_);
      while (!done_) {
        changed_.wait(lock);
        lock.unlock();
        tick();
        lock.lock();
      }
    }
    thread_.join();
    return !error_;
  }

  uint64_t Read() const { return read_.load(std::memory_order_relaxed); }
  CensusTaker& Taker() { return counter_->Taker(); }
  PictureChecker* Checker() { return checker_ ? &*checker_ : nullptr; }

 private:
  void Work() {
    std::exception_ptr error;
    try {
      CsvPieces pieces(path_, from_);
      for (std::u16string_view piece = pieces.Next(); !piece.empty(); piece = pieces.Next()) {
        counter_->Feed(piece);
        read_.fetch_add(piece.size(), std::memory_order_relaxed);
        changed_.notify_one();
        if (stop_.load(std::memory_order_relaxed)) break;
        StopIfCancelled(cancel_);
      }
      counter_->Finish();
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      error_ = error;
      done_ = true;
    }
    changed_.notify_one();
  }

  std::u16string path_;
  uint64_t from_;
  const std::atomic<bool>* cancel_;
  Census census_;
  std::optional<PictureChecker> checker_;
  std::optional<CensusCounter> counter_;
  std::atomic<uint64_t> read_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::exception_ptr error_;
  std::thread thread_;  // started once everything above is set up
};

// Whether a src="" begins in the text between the split and the point where
// the first part's scan searches afresh, `settled` units into piece (the
// text right behind the split). The src="" may reach past that point, so
// the units behind it count too; where they lie beyond the piece (not the
// text's last), it cannot be told here and the answer is true.
bool SrcHeadBefore(std::u16string_view piece, size_t settled, bool textEnds) {
  const size_t reach = settled + kSrcHeadText.size() - 1;
  if (reach > piece.size() && !textEnds) return true;
  const size_t found = FindSrcHead(piece.data(), std::min(reach, piece.size()), 0);
  return found != kNoOccurrence && found < settled;
}

}  // namespace

CountedAs CountCsvText(std::u16string_view csvPath, Census& census, bool oneHigher,
                       PictureChecker* checker, const std::exception_ptr& levelError,
                       const std::function<void(uint64_t read, uint64_t total)>& progress,
                       const std::atomic<bool>* cancel, uint64_t splitAt) {
  CensusCounter first(census, oneHigher, checker, levelError);
  if (csvPath.empty()) {
    first.Taker().Finish();
    return CountedAs::OneThread;
  }
  if (splitAt == kSplitInTheMiddle) {
    const platform::FileStamp stamp = platform::StampOf(csvPath);
    const uint64_t units = stamp.size >= 2 ? (stamp.size - 2) / sizeof(char16_t) : 0;
    splitAt = units >= kTwoPartCensusUnits ? units / 2 : 0;
  }
  CsvPieces pieces(csvPath, 0, splitAt > 0 ? splitAt : std::numeric_limits<uint64_t>::max());
  const uint64_t total = pieces.TextUnits();
  if (splitAt >= total) splitAt = 0;

  std::optional<LaterPart> later;
  if (splitAt > 0) {
    try {
      later.emplace(csvPath, splitAt, oneHigher, checker, levelError, cancel);
    } catch (const std::system_error&) {
      later.reset();  // no second thread to be had: one thread counts all, as it always could
    }
  }
  enum class Stage { BeforeSplit, Settling, Alone, Joined };
  Stage stage = later ? Stage::BeforeSplit : Stage::Alone;
  CountedAs outcome = later ? CountedAs::FirstWentOn : CountedAs::OneThread;
  uint64_t readUnits = 0;
  uint64_t reported = 0;  // progress never goes back, also when the second part is dropped
  const auto report = [&] {
    StopIfCancelled(cancel);
    if (!progress) return;
    const uint64_t read = later ? std::min(readUnits, splitAt) + later->Read() : readUnits;
    reported = std::max(reported, read);
    progress(reported, total);
  };

  for (std::u16string_view piece = pieces.Next(); !piece.empty(); piece = pieces.Next()) {
    census.hasText = true;
    const uint64_t pieceStart = readUnits;
    readUnits += piece.size();
    switch (stage) {
      case Stage::BeforeSplit:
        first.Feed(piece);
        // No piece runs across the split: the last one before it ends there.
        if (readUnits == splitAt) stage = Stage::Settling;
        break;
      case Stage::Settling: {
        const size_t settled = first.FeedToSearch(piece);
        if (!first.SearchesAfresh()) break;  // the value goes on in the next piece
        const bool joinable = pieceStart == splitAt &&
                              !SrcHeadBefore(piece, settled, readUnits >= total) &&
                              later->Wait(report) && first.Taker().CanAbsorb(later->Taker()) &&
                              (checker == nullptr || checker->CanAbsorb(*later->Checker()));
        if (joinable) {
          first.Taker().Absorb(later->Taker());
          if (checker != nullptr) checker->Absorb(std::move(*later->Checker()));
          stage = Stage::Joined;
          outcome = CountedAs::TwoParts;
          break;
        }
        // The first part's scan goes on over the rest of the text itself.
        later.reset();
        first.Feed(piece.substr(settled));
        stage = Stage::Alone;
        break;
      }
      case Stage::Alone:
        first.Feed(piece);
        break;
      case Stage::Joined:
        break;
    }
    report();
    if (stage == Stage::Joined) break;  // the rest was the second part's
  }
  if (stage != Stage::Joined) {
    // The first part's scan went over the whole text, or the text ended
    // before it could meet the second's (it got shorter, or its last value
    // ran to its end): what the first counted is all.
    later.reset();
    first.Finish();
  }
  first.Taker().Finish();
  return outcome;
}

}  // namespace picrelink
