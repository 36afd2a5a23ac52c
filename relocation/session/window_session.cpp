#include "relocation/session/window_session.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "core/platform.h"
#include "core/utf.h"
#include "relocation/census/picture_search.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/restore.h"
#include "relocation/session/offer_texts.h"
#include "relocation/session/startup.h"
#include "relocation/session/status_area_texts.h"
#include "relocation/session/status_text.h"

namespace picrelink {
namespace {

using Clock = std::chrono::steady_clock;

// The share of the CSV read, 0 to 1, written by a job and read by the window.
struct ReadShare {
  std::atomic<uint64_t> read{0};
  std::atomic<uint64_t> total{0};

  void Set(uint64_t readUnits, uint64_t totalUnits) {
    total.store(totalUnits, std::memory_order_relaxed);
    read.store(readUnits, std::memory_order_relaxed);
  }
  double Share() const {
    const uint64_t all = total.load(std::memory_order_relaxed);
    return all == 0 ? 0.0
                    : static_cast<double>(read.load(std::memory_order_relaxed)) /
                          static_cast<double>(all);
  }
};

// The run's message, held until the window's thread shows it once the run is
// over. A later one takes the place of an earlier one.
class HeldMessages : public Messages {
 public:
  struct Held {
    std::u16string text;
    std::u16string caption;
  };
  void ShowInformation(std::u16string_view text, std::u16string_view caption) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    held_ = Held{std::u16string(text), std::u16string(caption)};
  }
  std::optional<Held> Take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(held_, std::nullopt);
  }

 private:
  std::mutex mutex_;
  std::optional<Held> held_;
};

}  // namespace

// One census on its own thread. Only the thread writes input and cancelled,
// before it ends; the window reads them after.
struct WindowSession::CensusJob {
  StatusRequest request;
  platform::FileStamp stamp;
  bool forStart = false;  // the start command waits for it
  std::atomic<bool> cancel{false};
  ReadShare progress;
  Clock::time_point started = Clock::now();
  StatusInput input;
  bool cancelled = false;
};

struct WindowSession::TakenStatus {
  StatusRequest request;
  platform::FileStamp stamp;
  StatusInput input;
};

// The run on its own thread, with its adapters: the trigger's calls go to the
// window's thread as they come, the message waits there until the run is over.
struct WindowSession::RunJob {
  MemoryFormValues values;
  std::unique_ptr<Trigger> trigger;
  HeldMessages messages;
  std::atomic<bool> cancel{false};
  ReadShare progress;
  std::optional<RunReport> report;
  std::optional<std::u16string> error;
  bool cancelled = false;
};

// A restore on its own thread.
struct WindowSession::RestoreJob {
  std::u16string csv;
  std::optional<RestoreReport> report;
  std::optional<std::u16string> error;
};

WindowSession::WindowSession(WindowHost& host, FormValues& values, SessionSettings settings)
    : host_(host), values_(values), settings_(std::move(settings)) {}

WindowSession::~WindowSession() = default;

void WindowSession::FormCreate(const std::u16string& programFolder) {
  candidates_ = FindCsvCandidates(programFolder);
  StartUp(values_, programFolder, candidates_);
}

void WindowSession::Redetect() {
  ReleaseCsv();
  picrelink::Redetect(values_);
}

void WindowSession::CsvChosen(const std::u16string& path) {
  ReleaseCsv();
  ChooseCsv(values_, path);
}

void WindowSession::Start() {
  if (starting_) return;
  starting_ = true;
  host_.StartTrigger().SetAvailable(false);
  host_.ShowOffer(false);
  startClock_ = Clock::now();
  StopStatusDelay();
  startValues_ = SnapshotOf(values_);

  // The question before writing needs the census of these values: the last
  // one when it still holds, the one running when it is of these values, or
  // a new one.
  const StatusRequest request = CurrentRequest();
  if (!census_ && taken_ && taken_->request == request &&
      taken_->stamp == platform::StampOf(request.csv)) {
    AskThenRun(taken_->input);
  } else if (census_ && census_->request == request) {
    census_->forStart = true;
  } else {
    StartCensus(true);
  }
}

StatusRequest WindowSession::CurrentRequest() const {
  return {values_.Btn1(), values_.LevelText(), values_.Btn3(), candidates_};
}

void WindowSession::ValuesEdited() {
  if (closing_) return;
  // What it offers belongs to the values before.
  host_.ShowOffer(false);
  if (starting_) {
    statusPending_ = true;
    return;
  }
  // What is being counted no longer matches the values.
  if (census_) {
    census_->cancel = true;
    census_.reset();
  }
  host_.StartStatusDelay(std::chrono::milliseconds(settings_.statusDelayMs));
  statusDelayActive_ = true;
}

void WindowSession::StatusDelayEnded() {
  statusDelayActive_ = false;
  RefreshStatus(false);
}

void WindowSession::StopStatusDelay() {
  host_.StopStatusDelay();
  statusDelayActive_ = false;
}

void WindowSession::RefreshStatus(bool force) {
  if (closing_) return;
  if (starting_) {
    statusPending_ = true;
    return;
  }
  StopStatusDelay();
  if (!force && !census_ && taken_ && taken_->request == CurrentRequest() &&
      taken_->stamp == platform::StampOf(taken_->request.csv)) {
    return;
  }
  StartCensus(false);
}

void WindowSession::StartCensus(bool forStart) {
  if (census_) census_->cancel = true;
  auto job = std::make_shared<CensusJob>();
  job->request = CurrentRequest();
  job->stamp = platform::StampOf(job->request.csv);
  job->forStart = forStart;
  census_ = job;
  // One reader of the CSV at a time, since a reader holds it: the census
  // begins once those before it have stopped, unless it was overtaken.
  host_.WhenIdle([this, job, forStart] {
    if (job != census_ || closing_) return;
    host_.StartJob(
        [job, search = !forStart] {
          try {
            // The start command waits for its census: no search then.
            job->input = TakeStatus(
                job->request,
                [job](uint64_t read, uint64_t total) { job->progress.Set(read, total); },
                &job->cancel, search);
          } catch (const Cancelled&) {
            job->cancelled = true;
          } catch (const std::exception& error) {
            // TakeStatus keeps its errors; this is running out of memory.
            job->input.error = FromUtf8(error.what());
          }
        },
        [this, job] { CensusEnded(job); });
  });
  StartTicks();
}

void WindowSession::StartTicks() {
  if (ticking_) return;
  ticking_ = true;
  host_.StartProgressTicks();
}

void WindowSession::ReleaseCsv() {
  // The start command's own readers are left alone; a command that reads the
  // CSV meanwhile is told that it is being changed.
  if (starting_) return;
  if (census_) {
    census_->cancel = true;
    census_.reset();
  }
  host_.WaitForJobs();
}

void WindowSession::CensusEnded(const std::shared_ptr<CensusJob>& job) {
  // A census overtaken by a change of the values is dropped.
  if (job != census_ || closing_) return;
  census_.reset();
  if (job->cancelled) {
    // Only the cancel button stops the census that is current.
    host_.ShowNote(StatusAreaTextsFor(settings_.language).cancelled);
    if (job->forStart) EndStart();
    return;
  }
  taken_ = std::make_unique<TakenStatus>(TakenStatus{job->request, job->stamp, job->input});
  ShowStatusOf(job->input);
  if (job->forStart) AskThenRun(job->input);
}

void WindowSession::ShowStatusOf(const StatusInput& input) {
  const std::u16string text = StatusText(input, settings_.language);
  std::u16string details = text;
  if (input.check) details += u"\n\n" + DetailsText(*input.check, settings_.language);
  host_.ShowStatus(text, details);
  host_.ShowOffer(!starting_ && input.search && input.search->suggestion);
  host_.StatusShown();
}

void WindowSession::AskThenRun(const StatusInput& input) {
  if (input.check) {
    if (const auto question = QuestionBeforeRun(*input.check, settings_.language)) {
      if (!host_.AskYesNo(*question, kWindowCaption)) {
        EndStart();
        return;
      }
    }
  }
  // A census that was overtaken may still hold the CSV for a moment; the
  // run opens it once nothing else reads it.
  host_.WhenIdle([this] { StartRun(); });
}

void WindowSession::StartRun() {
  if (closing_) {
    EndStart();
    return;
  }
  auto job = std::make_shared<RunJob>();
  job->values = startValues_;
  job->trigger = host_.TriggerFromAnotherThread();
  RunOptions options;
  options.language = settings_.language;
  options.bufferUnits = settings_.runBufferUnits;
  options.cancel = &job->cancel;
  options.progress = [progress = &job->progress, hook = settings_.runProgressHook](uint64_t read,
                                                                                   uint64_t total) {
    progress->Set(read, total);
    if (hook) hook();
  };
  run_ = job;
  host_.StartJob(
      [job, options] {
        try {
          job->report = RunAdjustment(job->values, *job->trigger, job->messages, options);
        } catch (const Cancelled&) {
          job->cancelled = true;
        } catch (const std::exception& error) {
          job->error = FromUtf8(error.what());
        }
      },
      [this, job] { RunEnded(job); });
  StartTicks();
}

void WindowSession::RunEnded(const std::shared_ptr<RunJob>& job) {
  run_.reset();
  if (closing_) {
    EndStart();
    return;
  }
  host_.HideProgress();
  const bool written = job->report && job->report->outcome == RunOutcome::Written;
  if (job->cancelled) {
    host_.ShowNote(StatusAreaTextsFor(settings_.language).cancelled);
    EndStart();
  } else if (job->error) {
    // The start button is available again when the error is told.
    EndStart();
    host_.ShowError(*job->error);
  } else {
    // The run's message is shown while the start button is still greyed.
    if (const auto held = job->messages.Take()) host_.ShowInformation(held->text, held->caption);
    EndStart();
  }
  // The CSV now names other folders.
  if (written) RefreshStatus(true);
}

void WindowSession::EndStart() {
  if (!starting_) return;
  starting_ = false;
  host_.HideProgress();
  host_.StartTrigger().SetAvailable(true);
  host_.StartEnded();
  if (statusPending_) {
    statusPending_ = false;
    RefreshStatus(false);
  }
}

void WindowSession::UseSuggestion() {
  if (starting_ || closing_ || census_ || !taken_) return;
  const StatusInput& input = taken_->input;
  if (!input.check || !input.search || !input.search->suggestion) return;
  if (!(taken_->request == CurrentRequest())) return;
  const PictureSuggestion suggestion = *input.search->suggestion;
  host_.ShowOffer(false);
  if ((suggestion.level > 0) != (input.check->census.level > 0)) {
    // The folder the CSV names follows the level, as re-detection has it.
    values_.SetLevelText(LevelTextOf(suggestion.level));
    values_.SetBtn2(suggestion.oldFolder);
  }
  values_.SetBtn3(suggestion.newFolder);
  RefreshStatus(true);
}

bool WindowSession::BackupExists() const {
  const std::u16string csv = values_.Btn1();
  return !csv.empty() && !NewestBackup(csv).empty();
}

void WindowSession::RestoreBackup() {
  if (starting_ || closing_) return;
  const std::u16string csv = values_.Btn1();
  const std::u16string backup = csv.empty() ? std::u16string() : NewestBackup(csv);
  if (backup.empty()) return;
  if (!host_.AskYesNo(RestoreQuestion(platform::AbsolutePath(csv), platform::AbsolutePath(backup),
                                      settings_.language),
                      kWindowCaption)) {
    return;
  }
  ReleaseCsv();
  starting_ = true;
  host_.StartTrigger().SetAvailable(false);
  host_.ShowOffer(false);
  StopStatusDelay();
  auto job = std::make_shared<RestoreJob>();
  job->csv = csv;
  host_.WhenIdle([this, job] {
    host_.StartJob(
        [job] {
          try {
            job->report = picrelink::RestoreBackup(job->csv);
          } catch (const std::exception& error) {
            job->error = FromUtf8(error.what());
          }
        },
        [this, job] { RestoreEnded(job); });
  });
}

void WindowSession::RestoreEnded(const std::shared_ptr<RestoreJob>& job) {
  if (closing_) {
    EndStart();
    return;
  }
  EndStart();
  if (job->error) {
    host_.ShowError(*job->error);
  } else if (job->report) {
    host_.ShowInformation(
        RestoredMessage(platform::AbsolutePath(job->csv), *job->report, settings_.language),
        kWindowCaption);
  }
  RefreshStatus(true);
}

void WindowSession::Cancel() {
  if (run_) {
    run_->cancel = true;
  } else if (census_ && census_->forStart) {
    census_->cancel = true;
  }
}

void WindowSession::ProgressTick() {
  const std::chrono::milliseconds progressDelay(settings_.progressDelayMs);
  const bool shown = starting_ && Clock::now() - startClock_ >= progressDelay;
  if (run_) {
    if (shown) host_.ShowProgress(WindowHost::Stage::Adjusting, run_->progress.Share());
  } else if (census_ && census_->forStart) {
    if (shown) host_.ShowProgress(WindowHost::Stage::Checking, census_->progress.Share());
  } else if (census_) {
    if (Clock::now() - census_->started >= progressDelay) {
      host_.ShowChecking(census_->progress.Share());
    }
  } else {
    ticking_ = false;
    host_.StopProgressTicks();
  }
}

void WindowSession::Close() {
  closing_ = true;
  StopStatusDelay();
  if (census_) census_->cancel = true;
  if (run_) run_->cancel = true;
  host_.WaitForJobs();
}

}  // namespace picrelink
