// The window's commands and status told without widgets: a host whose jobs
// finish at once and whose "event loop" is Pump, so that the order of what a
// window sees is checked step by step.
#include "relocation/session/window_session.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/utf.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/session/offer_texts.h"
#include "relocation/session/status_text.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::ToPath;
using test::Utf16FileBytes;
using test::WriteBytes;

// A trigger for the run's "thread": here the same one, so calls go straight on.
class ForwardingTrigger : public Trigger {
 public:
  explicit ForwardingTrigger(Trigger& target) : target_(target) {}
  void SetAvailable(bool available) override { target_.SetAvailable(available); }

 private:
  Trigger& target_;
};

// The start button: unavailable while anyone holds it, as a window's is.
class HeldTrigger : public Trigger {
 public:
  void SetAvailable(bool release) override {
    holds += release ? -1 : 1;
    ASSERT_GE(holds, 0) << "released more often than held";
    available = holds == 0;
  }
  int holds = 0;
  bool available = true;
};

class FakeHost : public WindowHost {
 public:
  struct Shown {
    std::u16string text;
    bool startAvailable;
  };

  // Each job's work runs at once; its done call waits for Pump.
  void StartJob(std::function<void()> work, std::function<void()> done) override {
    ++jobsStarted;
    work();
    done_.push_back(std::move(done));
  }
  void WhenIdle(std::function<void()> then) override {
    whenIdle_.push_back(std::move(then));
    RunWhenIdle();
  }
  void WaitForJobs() override {}
  void StartStatusDelay(std::chrono::milliseconds) override { statusDelay = true; }
  void StopStatusDelay() override { statusDelay = false; }
  void StartProgressTicks() override { ticking = true; }
  void StopProgressTicks() override { ticking = false; }
  Trigger& StartTrigger() override { return trigger; }
  std::unique_ptr<Trigger> TriggerFromAnotherThread() override {
    return std::make_unique<ForwardingTrigger>(trigger);
  }
  void ShowError(std::u16string_view message) override {
    errors.push_back({std::u16string(message), trigger.available});
  }
  void ShowInformation(std::u16string_view text, std::u16string_view) override {
    informations.push_back({std::u16string(text), trigger.available});
  }
  bool AskYesNo(std::u16string_view question, std::u16string_view) override {
    questions.push_back({std::u16string(question), trigger.available});
    return answer;
  }
  void ShowStatus(std::u16string_view text, std::u16string_view) override {
    statuses.emplace_back(text);
  }
  void ShowNote(std::u16string_view note) override { notes.emplace_back(note); }
  void ShowChecking(double) override {}
  void ShowProgress(Stage, double) override {}
  void HideProgress() override {}
  void ShowOffer(bool shown) override { offer = shown; }
  void StartEnded() override { ++startsEnded; }

  // The event loop: every done call in turn, and what waited for the jobs.
  void Pump() {
    while (!done_.empty()) {
      std::function<void()> done = std::move(done_.front());
      done_.pop_front();
      done();
      RunWhenIdle();
    }
  }

  HeldTrigger trigger;
  bool answer = false;
  bool statusDelay = false;
  bool ticking = false;
  bool offer = false;
  int jobsStarted = 0;
  int startsEnded = 0;
  std::vector<Shown> errors, informations, questions;
  std::vector<std::u16string> statuses, notes;

 private:
  void RunWhenIdle() {
    while (done_.empty() && !whenIdle_.empty()) {
      std::function<void()> then = std::move(whenIdle_.front());
      whenIdle_.pop_front();
      then();
    }
  }

  std::deque<std::function<void()>> done_;
  std::deque<std::function<void()>> whenIdle_;
};

std::u16string Listing(std::u16string_view folder) {
  return u"\"标题\",\"描述\"\r\n\"商品\",\"<img src=\"\"" + std::u16string(folder) +
         u"\\item1\\a.jpg\"\">\"\r\n";
}

class WindowSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(ToPath(pictures + u"/item1"));
    WriteBytes(ToPath(pictures + u"/item1/a.jpg"), "jpg");
    WriteBytes(ToPath(csv), original);
    values.levelText = u"1";
  }

  // Start-up and the first status, as a window opens.
  void Open() {
    session.FormCreate(dir.Folder());
    session.RefreshStatus(true);
    host.Pump();
    ASSERT_EQ(host.statuses.size(), 1u);
  }

  TempDir dir;
  const std::u16string csv = dir.Folder() + u"商品.csv";
  const std::u16string pictures = dir.Folder() + u"图片";
  const std::string original = Utf16FileBytes(Listing(u"D:\\old\\图片"));
  FakeHost host;
  MemoryFormValues values;
  WindowSession session{host, values, SessionSettings{}};
};

TEST_F(WindowSessionTest, StartUpFillsTheValuesAndTheStatusFollows) {
  Open();
  EXPECT_EQ(values.btn1, csv);
  EXPECT_EQ(values.btn2, u"D:\\old\\图片");
  EXPECT_EQ(values.btn3, pictures);
  StatusRequest request{csv, u"1", pictures, {csv}};
  EXPECT_EQ(ToUtf8(host.statuses[0]), ToUtf8(StatusText(TakeStatus(request), Language::Chinese)));
  EXPECT_FALSE(session.StatusPending());
}

TEST_F(WindowSessionTest, StartTakesTheLastStatusWritesOnceAndTakesTheStatusAgain) {
  Open();
  const int jobs = host.jobsStarted;
  session.Start();
  EXPECT_TRUE(session.Starting());
  host.Pump();
  EXPECT_FALSE(session.Starting());
  // The run and a new status of the rewritten CSV; no census before the run.
  EXPECT_EQ(host.jobsStarted, jobs + 2);
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_TRUE(host.informations[0].text.starts_with(kSuccessMessage));
  EXPECT_FALSE(host.informations[0].startAvailable);
  EXPECT_TRUE(host.trigger.available);
  EXPECT_EQ(host.startsEnded, 1);
  EXPECT_EQ(host.statuses.size(), 2u);
  EXPECT_EQ(ReadBytes(ToPath(csv)), Utf16FileBytes(Listing(pictures)));
}

TEST_F(WindowSessionTest, AChangedFileIsCountedAgainBeforeTheRun) {
  Open();
  // The same values, but the file grew since its status was taken.
  WriteBytes(ToPath(csv), original + Utf16FileBytes(u"x").substr(2));
  const int jobs = host.jobsStarted;
  session.Start();
  host.Pump();
  EXPECT_EQ(host.jobsStarted, jobs + 3);  // census, run, status after it
  EXPECT_EQ(host.informations.size(), 1u);
}

TEST_F(WindowSessionTest, EditsWhileStartingAreCountedOnceTheStartHasEnded) {
  Open();
  session.Start();
  session.ValuesEdited();
  EXPECT_FALSE(host.statusDelay) << "no status while the start command works";
  host.Pump();
  EXPECT_EQ(host.startsEnded, 1);
  EXPECT_FALSE(session.StatusPending());
  EXPECT_EQ(host.statuses.size(), 2u);
}

TEST_F(WindowSessionTest, TypingWaitsForTheKeysToRestAndDropsTheCensusUnderWay) {
  Open();
  session.ValuesEdited();
  EXPECT_TRUE(host.statusDelay);
  EXPECT_TRUE(session.StatusPending());
  // The same values and file as the last status: nothing to count again.
  const int jobs = host.jobsStarted;
  session.StatusDelayEnded();
  EXPECT_EQ(host.jobsStarted, jobs);
  values.levelText = u"0";
  session.ValuesEdited();
  session.StatusDelayEnded();
  EXPECT_EQ(host.jobsStarted, jobs + 1);
  host.Pump();
  EXPECT_EQ(host.statuses.size(), 2u);
}

TEST_F(WindowSessionTest, NoToTheQuestionEndsTheStartWithoutARun) {
  Open();
  values.btn3 = dir.Folder() + u"没有这个文件夹";
  values.backup = true;
  host.answer = false;
  session.Start();
  host.Pump();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_FALSE(host.questions[0].startAvailable);
  EXPECT_TRUE(host.informations.empty());
  EXPECT_TRUE(host.trigger.available);
  EXPECT_EQ(host.startsEnded, 1);
  EXPECT_EQ(ReadBytes(ToPath(csv)), original);
  EXPECT_FALSE(platform::NameTaken(dir.Folder() + u"商品_备份.csv"));
}

TEST_F(WindowSessionTest, ARunErrorIsToldOnceTheStartButtonIsAvailableAgain) {
  Open();
  values.btn3.clear();
  session.Start();
  host.Pump();
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_TRUE(host.errors[0].startAvailable);
  EXPECT_TRUE(host.informations.empty());
  EXPECT_EQ(ReadBytes(ToPath(csv)), original);
}

TEST_F(WindowSessionTest, AfterClosingNothingMoreIsShown) {
  session.FormCreate(dir.Folder());
  session.RefreshStatus(true);
  session.Close();
  host.Pump();
  EXPECT_TRUE(host.statuses.empty());
  session.ValuesEdited();
  EXPECT_FALSE(host.statusDelay);
}

// ---------------------------------------------------------------- the offers

TEST_F(WindowSessionTest, TheOfferTakesTheFolderWhereThePicturesAreAndCountsAgain) {
  const std::u16string found = dir.Folder() + u"宝贝图片";
  fs::rename(ToPath(pictures), ToPath(found));
  Open();
  EXPECT_TRUE(host.offer);
  EXPECT_NE(host.statuses[0].find(u"图片在“宝贝图片”下找到 1/1 张"), std::u16string::npos)
      << ToUtf8(host.statuses[0]);
  const int jobs = host.jobsStarted;
  session.UseSuggestion();
  EXPECT_FALSE(host.offer);
  EXPECT_EQ(values.btn3, found);
  EXPECT_EQ(values.btn2, u"D:\\old\\图片");
  EXPECT_EQ(values.levelText, u"1");
  EXPECT_EQ(host.jobsStarted, jobs + 1);
  host.Pump();
  EXPECT_FALSE(host.offer);
  ASSERT_EQ(host.statuses.size(), 2u);
  EXPECT_EQ(host.statuses[1].find(kUseSuggestion), std::u16string::npos);
}

TEST_F(WindowSessionTest, TheOfferSetsTheLevelAndTheFolderItNamesWhenTheLevelDiffers) {
  // The pictures' own folder alone, under another name.
  fs::rename(ToPath(pictures + u"/item1"), ToPath(dir.Folder() + u"宝贝图片"));
  Open();
  EXPECT_TRUE(host.offer);
  session.UseSuggestion();
  EXPECT_EQ(values.levelText, u"0");
  EXPECT_EQ(values.btn2, u"D:\\old\\图片\\item1");
  EXPECT_EQ(values.btn3, dir.Folder() + u"宝贝图片");
}

TEST_F(WindowSessionTest, AnOfferOfValuesSinceChangedIsNotTaken) {
  fs::rename(ToPath(pictures), ToPath(dir.Folder() + u"宝贝图片"));
  Open();
  ASSERT_TRUE(host.offer);
  values.btn3 = dir.Folder() + u"别处";
  session.ValuesEdited();
  EXPECT_FALSE(host.offer);
  session.UseSuggestion();
  EXPECT_EQ(values.btn3, dir.Folder() + u"别处");
}

TEST_F(WindowSessionTest, NoOfferWhenThePicturesAreWhereTheValuesSay) {
  // Another copy of the pictures elsewhere finds no more than the values do.
  fs::create_directories(ToPath(dir.Folder() + u"别处/图片/item1"));
  WriteBytes(ToPath(dir.Folder() + u"别处/图片/item1/a.jpg"), "jpg");
  Open();
  EXPECT_FALSE(host.offer);
}

TEST_F(WindowSessionTest, RestoreAsksFirstThenPutsTheBackupBackAndSaysHowToUndo) {
  Open();
  EXPECT_FALSE(session.BackupExists());
  const std::u16string backup = dir.Folder() + u"商品_备份.csv";
  WriteBytes(ToPath(backup), "older");
  EXPECT_TRUE(session.BackupExists());

  host.answer = false;
  session.RestoreBackup();
  EXPECT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(ReadBytes(ToPath(csv)), original);

  host.answer = true;
  session.RestoreBackup();
  EXPECT_FALSE(host.trigger.available) << "the start command waits for the restore";
  host.Pump();
  EXPECT_TRUE(host.trigger.available);
  EXPECT_EQ(ReadBytes(ToPath(csv)), "older");
  EXPECT_EQ(ReadBytes(ToPath(dir.Folder() + u"商品_备份(2).csv")), original);
  ASSERT_EQ(host.informations.size(), 1u);
  EXPECT_NE(host.informations[0].text.find(u"picrelink-cli restore"), std::u16string::npos);
  EXPECT_NE(host.informations[0].text.find(dir.Folder() + u"商品_备份(2).csv"),
            std::u16string::npos);
}

}  // namespace
}  // namespace picrelink
