#pragma once
// relocation/session/: the window told without widgets.
//   in:  the window's events (start-up, a value changed, a button pressed,
//        closing) through WindowHost and the form values;
//   out: the values filled (startup), the census after each change
//        (window_status) and its words (status_text, status_area_texts), the
//        run started with its question, progress and cancel; the fixed texts
//        (window_texts), the level edit's rules (level_text) and the status
//        band's geometry (status_band) for both windows.
//
// The window's commands and the life of its status area, told without
// widgets: start-up, re-detection, the CSV chosen by hand, the census that
// follows every change of the values (after the keys rest), the start
// command with its question, its run on another thread, its progress and
// cancel, and closing. A window implements WindowHost over its toolkit and
// forwards its events here; all of it runs on the window's thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "relocation/form_values.h"
#include "relocation/language.h"
#include "relocation/session/window_status.h"

namespace picrelink {

// What a window lends the session.
class WindowHost {
 public:
  virtual ~WindowHost() = default;

  // Runs work on a thread of its own, then done on the window's thread; done
  // is dropped once the window is gone. work catches its own errors.
  virtual void StartJob(std::function<void()> work, std::function<void()> done) = 0;
  // Runs then on the window's thread as soon as no job is running or waiting
  // for its done call: at once when none is.
  virtual void WhenIdle(std::function<void()> then) = 0;
  // Blocks until every job has returned; their done calls still come.
  virtual void WaitForJobs() = 0;

  // The one-shot wait of delay after a keystroke, which ends in
  // WindowSession::StatusDelayEnded; starting it again starts it anew.
  virtual void StartStatusDelay(std::chrono::milliseconds delay) = 0;
  virtual void StopStatusDelay() = 0;
  // A tick every few tens of milliseconds, into WindowSession::ProgressTick.
  virtual void StartProgressTicks() = 0;
  virtual void StopProgressTicks() = 0;

  // The start button as the trigger of the command on the window's thread:
  // every SetAvailable(false) a hold that one SetAvailable(true) releases.
  virtual Trigger& StartTrigger() = 0;
  // A trigger for the run's thread: its calls reach StartTrigger on the
  // window's thread, in order, and are dropped once the window is gone.
  virtual std::unique_ptr<Trigger> TriggerFromAnotherThread() = 0;

  // The boxes.
  virtual void ShowError(std::u16string_view message) = 0;
  virtual void ShowInformation(std::u16string_view text, std::u16string_view caption) = 0;
  virtual bool AskYesNo(std::u16string_view question, std::u16string_view caption) = 0;

  // The status area.
  enum class Stage { Checking, Adjusting };
  virtual void ShowStatus(std::u16string_view text, std::u16string_view details) = 0;
  // A short note in place of the status; the details stay.
  virtual void ShowNote(std::u16string_view note) = 0;
  // The status is being taken again, share (0 to 1) read.
  virtual void ShowChecking(double share) = 0;
  // The start command is at stage: a progress bar and a cancel button.
  virtual void ShowProgress(Stage stage, double share) = 0;
  virtual void HideProgress() = 0;
  // The offer "使用此位置" beside the status: shown when the search found
  // more pictures elsewhere, hidden with everything else that changes it.
  virtual void ShowOffer(bool shown) = 0;

  // For those who watch the window: the status was shown; the start command
  // ended (written, refused, failed or cancelled).
  virtual void StatusShown() {}
  virtual void StartEnded() {}
};

struct SessionSettings {
  // The language of the texts that come from relocation/ (the status, the
  // question, the run's messages).
  Language language = Language::Chinese;
  // How long the status waits after the last keystroke in a value.
  unsigned statusDelayMs = 300;
  // How long the start command works before its progress is shown.
  unsigned progressDelayMs = 300;
  // The run's buffers, in code units (RunOptions::bufferUnits).
  size_t runBufferUnits = size_t{1} << 18;
  // For tests: called on the run's thread each time it has read a piece.
  std::function<void()> runProgressHook;
};

class WindowSession {
 public:
  // values are the window's controls, read and written on its thread.
  WindowSession(WindowHost& host, FormValues& values, SessionSettings settings);
  // The window calls Close first.
  ~WindowSession();
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // The handlers; their errors escape to the window, which shows them.
  // Start-up beside the program in programFolder (ending in the separator).
  void FormCreate(const std::u16string& programFolder);
  // "重新检测".
  void Redetect();
  // The open-file dialog confirmed path.
  void CsvChosen(const std::u16string& path);
  // "开始调整": the census of the values (the last one while it holds), the
  // question when it asks one, then the run on a thread of its own.
  void Start();

  // The user typed into a value: the status follows once the keys rest.
  void ValuesEdited();
  // Takes the status anew; unless forced, not when the last one is of the
  // same values and the same file.
  void RefreshStatus(bool force);
  void StatusDelayEnded();
  void ProgressTick();
  // "使用此位置": the folder (and level) where the search found the pictures
  // into the values, as if the seller had chosen them, then a new census.
  // Nothing when the values changed since that status.
  void UseSuggestion();
  // Whether the CSV has a backup to put back ("恢复备份" in the details).
  bool BackupExists() const;
  // "恢复备份": the question, then the newest backup put back on a thread of
  // its own, with the start command held meanwhile; what happened is said.
  void RestoreBackup();
  // The cancel button or Escape: stops the start command's work.
  void Cancel();
  // The window closes: cancels what runs and waits for it. Never a
  // half-written CSV: the run ends with the CSV as it was or, past its last
  // moment to stop, as it is meant to be.
  void Close();

  // Whether the start command is at work: from the click until its message
  // has been dismissed.
  bool Starting() const { return starting_; }
  // Whether the status is still to come: a census runs or waits for the keys.
  bool StatusPending() const { return census_ != nullptr || statusDelayActive_; }

 private:
  struct CensusJob;
  struct RunJob;
  struct TakenStatus;

  StatusRequest CurrentRequest() const;
  void StartCensus(bool forStart);
  // Stops the census and waits until no census holds the CSV, before the
  // window's thread reads it.
  void ReleaseCsv();
  void CensusEnded(const std::shared_ptr<CensusJob>& job);
  void ShowStatusOf(const StatusInput& input);
  void AskThenRun(const StatusInput& input);
  void StartRun();
  void RunEnded(const std::shared_ptr<RunJob>& job);
  struct RestoreJob;
  void RestoreEnded(const std::shared_ptr<RestoreJob>& job);
  void EndStart();
  void StartTicks();
  void StopStatusDelay();

  WindowHost& host_;
  FormValues& values_;
  SessionSettings settings_;

  std::vector<std::u16string> candidates_;  // found beside the program at start-up
  std::shared_ptr<CensusJob> census_;       // the one whose result counts
  std::unique_ptr<TakenStatus> taken_;      // the last census that ended
  std::shared_ptr<RunJob> run_;
  MemoryFormValues startValues_;  // the values at the start button's click
  bool starting_ = false;
  bool statusPending_ = false;  // values changed while the start command worked
  bool closing_ = false;
  bool statusDelayActive_ = false;
  bool ticking_ = false;
  std::chrono::steady_clock::time_point startClock_;
};

}  // namespace picrelink
