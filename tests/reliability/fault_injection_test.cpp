// Walks a run through every file-system call on the CSV's folder: the N-th
// open, read, write, flush, close, rename or unlink fails (or the program is
// killed there), for N = 1, 2, ... until a run gets through untouched. After
// every run the CSV holds its old or its new bytes, the message tells the
// truth, no temporary stays, and no run reports success over a swallowed
// error. The backup is begun only once the CSV's new content is complete,
// is whole before the CSV is replaced, never goes over an older backup, and
// is never made by a run that fails before it or has nothing to change.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <tuple>

#include "tests/reliability/harness.h"
#include "tests/support/test_files.h"

namespace picrelink::reliability {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// A run of calls is bounded: a loop that does not end is a fault of its own.
constexpr long kMaxCalls = 2000;
constexpr const char* kPreviousBackup = "an older backup with other bytes, which is never touched";

ino_t Inode(const fs::path& file) {
  struct stat st {};
  return lstat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

class FaultRunFixture {
 public:
  // backup: the runs ask for a backup, and an older backup with other bytes
  // holds the first backup name, so that the new one takes the second.
  // rewritten: the CSV holds its new bytes from the start, so that a run
  // has nothing to change.
  explicit FaultRunFixture(bool backup, bool rewritten = false)
      : backup_(backup), rewritten_(rewritten) {
    fs::create_directory(data_);
    // Big enough that copying and reading take several calls each.
    listing_ = MakeListing(1'200'000, 5);
  }

  // The CSV, the older backup, and nothing else.
  void Reset() {
    for (const auto& entry : fs::directory_iterator(data_)) fs::remove_all(entry.path());
    fs::remove(log_);
    WriteBytes(csv_, rewritten_ ? listing_.after : listing_.before);
    chmod(csv_.c_str(), 0640);
    csvInode_ = Inode(csv_);
    if (backup_) {
      WriteBytes(olderBackup_, kPreviousBackup);
      olderBackupInode_ = Inode(olderBackup_);
    }
  }
  // The old bytes again, written in place, with whatever else lies there.
  void RestoreOldBytes() {
    WriteBytes(csv_, listing_.before);
    csvInode_ = Inode(csv_);
  }

  ChildResult Run(const Fault& fault, const Fault& second = {}) {
    return RunRelocate(csv_, backup_, {.env = FaultEnv(data_, log_, fault, second)});
  }
  ChildResult RunClean() { return RunRelocate(csv_, backup_); }
  FaultLog Log() const { return ReadFaultLog(log_, csv_); }

  // The state every run must leave, whatever happened to it: the CSV old or
  // new; the older backup untouched; the new backup, if any, a whole copy of
  // the original CSV, and there whenever the CSV was replaced; nothing but
  // temporaries of the CSV and of the new backup, at most allowed of each.
  void ExpectOldOrNew(size_t allowedTemporaries) const {
    const std::string bytes = ReadBytes(csv_);
    const bool isOld = bytes == listing_.before;
    const bool isNew = bytes == listing_.after;
    EXPECT_TRUE(isOld || isNew) << "the CSV holds neither its old nor its new bytes ("
                                << bytes.size() << " bytes)";
    EXPECT_EQ(ModeOf(csv_), 0640u);
    size_t ofCsv = 0, ofBackup = 0;
    for (const auto& entry : fs::directory_iterator(data_)) {
      const fs::path name = entry.path().filename();
      if (name == csv_.filename() ||
          (backup_ && (name == olderBackup_.filename() || name == newBackup_.filename()))) {
        continue;
      }
      if (IsTemporaryOf(name, csv_.filename())) {
        ++ofCsv;
      } else if (backup_ && IsTemporaryOf(name, newBackup_.filename())) {
        ++ofBackup;
      } else {
        ADD_FAILURE() << "litter: " << name;
      }
    }
    EXPECT_LE(ofCsv, allowedTemporaries) << testing::PrintToString(Temporaries(data_));
    EXPECT_LE(ofBackup, allowedTemporaries) << testing::PrintToString(Temporaries(data_));
    if (rewritten_) {
      // Nothing to change: nothing is replaced and no backup made.
      EXPECT_TRUE(isNew);
      EXPECT_FALSE(CsvReplaced()) << "a run with nothing to change replaced the CSV";
      EXPECT_FALSE(fs::exists(newBackup_)) << "a run with nothing to change made a backup";
    }
    if (!backup_) return;
    EXPECT_EQ(ReadBytes(olderBackup_), kPreviousBackup) << "the older backup was overwritten";
    EXPECT_EQ(Inode(olderBackup_), olderBackupInode_) << "the older backup was replaced";
    if (fs::exists(newBackup_)) {
      EXPECT_TRUE(ReadBytes(newBackup_) == listing_.before)
          << "the backup is not a whole copy of the original CSV (" << fs::file_size(newBackup_)
          << " bytes)";
      EXPECT_EQ(ModeOf(newBackup_), 0640u) << "the backup is more open than the CSV";
    } else if (isNew && !rewritten_) {
      ADD_FAILURE() << "the CSV was replaced without its backup";
    }
  }

  // Whether the run had begun to write the new backup when the fault hit.
  bool BackupBegun(const Injection& i) const {
    return std::any_of(i.createdBefore.begin(), i.createdBefore.end(), [&](const std::string& n) {
      return IsTemporaryOf(n, newBackup_.filename()) || n == newBackup_.filename();
    });
  }

  // What the moment of a fault tells about the backup: every write of the
  // CSV's new content comes before the backup is begun; a run that fails
  // before its backup is begun leaves none; a run with nothing to change
  // begins none.
  void ExpectBackupOnlyAfterTheNewContent(const Injection& i, bool runFailed) const {
    if (!backup_) return;
    const bool begun = BackupBegun(i);
    if (i.call == "write" && IsTemporaryOf(fs::path(i.path).filename(), csv_.filename())) {
      EXPECT_FALSE(begun) << "the backup was begun before the CSV's new content was complete";
    }
    if (runFailed && !begun) {
      EXPECT_FALSE(fs::exists(newBackup_)) << "a run that failed before its backup made one";
    }
    if (rewritten_) {
      EXPECT_FALSE(begun) << "a run with nothing to change began a backup";
    }
  }

  // Errors that a correct run may absorb: interruptions and short transfers
  // are retried, a failed close of a descriptor that was only read (or of
  // the folder, after its flush) cannot lose data, removing a leftover is
  // tidying, not the work, and an older backup that cannot be read counts
  // as one with other bytes (the backup takes the next name, as it would).
  bool MayBeAbsorbed(const Injection& i) const {
    return i.action == "EINTR" || i.action == "SHORT" ||
           (i.call == "close" && (i.kind == 'r' || i.kind == 'd')) || i.call == "unlink" ||
           (backup_ && fs::path(i.path).filename() == olderBackup_.filename() &&
            (i.call == "open" || i.call == "read"));
  }

  bool CsvIsOld() const { return ReadBytes(csv_) == listing_.before; }
  bool CsvIsNew() const { return ReadBytes(csv_) == listing_.after; }
  // Whether another file stands at the CSV's path than the one last written
  // by the fixture (a replacement never reuses the replaced file's number).
  bool CsvReplaced() const { return Inode(csv_) != csvInode_; }
  const fs::path& Data() const { return data_; }
  const fs::path& Csv() const { return csv_; }

 private:
  bool backup_;
  bool rewritten_;
  TempDir dir_;
  fs::path data_ = dir_.path() / "data";
  fs::path csv_ = data_ / "goods.csv";
  fs::path olderBackup_ = BackupPath(csv_, 1);
  fs::path newBackup_ = BackupPath(csv_, 2);
  fs::path log_ = dir_.path() / "fault.log";
  Listing listing_;
  ino_t csvInode_ = 0;
  ino_t olderBackupInode_ = 0;
};

std::string Describe(const Fault& fault, const Injection& i) {
  return fault.action + " at " + fault.calls + " #" + std::to_string(fault.nth) + " (" + i.call +
         " " + std::string(1, i.kind) + " " + i.path + ")";
}

// Checks a run in which one injected fault hit.
void ExpectTruthfulOutcome(const FaultRunFixture& f, const ChildResult& r, const Injection& i) {
  ASSERT_EQ(r.signal, 0) << "the run died: " << r.err;
  f.ExpectOldOrNew(0);
  const bool reportedSuccess = r.out.find(kSuccessText) != std::string::npos;
  f.ExpectBackupOnlyAfterTheNewContent(i, r.exitCode != 0);
  if (r.exitCode == 0) {
    EXPECT_TRUE(f.MayBeAbsorbed(i)) << "success reported although the call failed";
    EXPECT_TRUE(reportedSuccess);
    EXPECT_TRUE(f.CsvIsNew()) << "success reported, but the CSV holds its old bytes";
    return;
  }
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_FALSE(reportedSuccess);
  if (i.afterTargetRename) {
    // Only the folder's flush is left after the rename.
    EXPECT_TRUE(f.CsvIsNew());
    EXPECT_NE(r.err.find("was written, but flushing its folder to disk failed"), std::string::npos)
        << r.err;
  } else {
    // Also when the backup failed after the CSV's new content was complete.
    EXPECT_TRUE(f.CsvIsOld()) << "a failure before the rename changed the CSV";
    const bool saysUnchanged = r.err.find("left unchanged") != std::string::npos ||
                               r.err.starts_with("Cannot open file \"") ||
                               r.err.starts_with("Cannot create file \"");
    EXPECT_TRUE(saysUnchanged) << "the message does not say the CSV is untouched: " << r.err;
  }
}

struct Figures {
  long faults = 0;
  long kills = 0;
};

Figures& Totals() {
  static Figures figures;
  return figures;
}

void PrintFigures() {
  std::cout << "[ figures  ] injected faults: " << Totals().faults << ", kills: " << Totals().kills
            << std::endl;
}

// ------------------------------------------------------------ fault matrix

using FaultParam = std::tuple<const char*, bool>;

class InjectedFault : public ::testing::TestWithParam<FaultParam> {};

std::vector<std::string> ActionsFor(const std::string& call) {
  std::vector<std::string> actions = {"ENOSPC", "EIO", "EACCES"};
  if (call == "read" || call == "write" || call == "close") actions.push_back("EINTR");
  if (call == "read" || call == "write") actions.push_back("SHORT");
  return actions;
}

TEST_P(InjectedFault, EveryFailingCallLeavesOldOrNewAndATruthfulMessage) {
  const auto [call, backup] = GetParam();
  FaultRunFixture f(backup);
  for (const std::string& action : ActionsFor(call)) {
    long n = 1;
    for (; n <= kMaxCalls; ++n) {
      f.Reset();
      const Fault fault{call, n, action};
      const ChildResult r = f.Run(fault);
      const FaultLog log = f.Log();
      if (log.empty()) {
        // Past the last such call: the run must have gone through.
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(f.CsvIsNew());
        f.ExpectOldOrNew(0);
        break;
      }
      ++Totals().faults;
      SCOPED_TRACE(Describe(fault, log.front()));
      ExpectTruthfulOutcome(f, r, log.front());
      if (HasFailure()) break;
    }
    EXPECT_LE(n, kMaxCalls) << "the run never got past the injected faults";
    if (HasFailure()) break;
  }
  PrintFigures();
}

INSTANTIATE_TEST_SUITE_P(Calls, InjectedFault,
                         ::testing::Combine(::testing::Values("open", "read", "write", "fsync",
                                                              "close", "rename"),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<FaultParam>& param) {
                           return std::string(std::get<0>(param.param)) +
                                  (std::get<1>(param.param) ? "_Backup" : "_NoBackup");
                         });

// A failed removal of a temporary on the way out of an error leaves that one
// temporary, which the next run removes. With the backup, the first rename
// is the backup's (made after the CSV's new content is complete), the second
// the CSV's.
TEST(InjectedFault, FailedRemovalOfTheTemporaryIsTidiedByTheNextRun) {
  for (const bool backup : {false, true}) {
    FaultRunFixture f(backup);
    for (const char* action : {"EIO", "EACCES"}) {
      for (long renameNth = 1; renameNth <= 2; ++renameNth) {
        f.Reset();
        const Fault firstFailure{"rename", renameNth, "EIO"};
        const Fault removal{"unlink", 1, action};
        const ChildResult r = f.Run(firstFailure, removal);
        const FaultLog log = f.Log();
        if (log.empty()) continue;  // no second rename without the backup
        SCOPED_TRACE(Describe(firstFailure, log.front()));
        Totals().faults += static_cast<long>(log.size());
        ASSERT_EQ(log.size(), 2u) << "the temporary was not removed after the failure";
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(f.CsvIsOld());
        f.ExpectOldOrNew(1);
        EXPECT_EQ(Temporaries(f.Data()).size(), 1u) << "the removal that failed left nothing";

        const ChildResult next = f.RunClean();
        EXPECT_EQ(next.exitCode, 0) << next.err;
        EXPECT_TRUE(f.CsvIsNew());
        EXPECT_EQ(Temporaries(f.Data()), std::vector<std::string>{}) << "leftover not removed";
        f.ExpectOldOrNew(0);
      }
    }
  }
  PrintFigures();
}

// A leftover that cannot be removed does not stop the run; it stays and the
// next run tries again.
TEST(InjectedFault, FailedRemovalOfALeftoverIsNoObstacle) {
  FaultRunFixture f(false);
  const std::string leftover = ".goods.csv.picrelink-AbC123.tmp";
  for (const char* action : {"EIO", "EACCES", "ENOSPC"}) {
    f.Reset();
    WriteBytes(f.Data() / leftover, "a killed run's partial content");
    const ChildResult r = f.Run({"unlink", 1, action});
    ASSERT_EQ(f.Log().size(), 1u) << "the leftover was never removed";
    ++Totals().faults;
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(f.CsvIsNew());
    EXPECT_EQ(Temporaries(f.Data()), std::vector<std::string>{leftover});

    // The next run that rewrites the CSV removes it.
    f.RestoreOldBytes();
    const ChildResult next = f.RunClean();
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_TRUE(f.CsvIsNew());
    EXPECT_EQ(Temporaries(f.Data()), std::vector<std::string>{});
  }
  PrintFigures();
}

// ------------------------------------------------------- kill at each call

// backup: with the backup; rewritten: over a CSV that has nothing to change.
using KillParam = std::tuple<bool, bool>;

class KillAtEveryCall : public ::testing::TestWithParam<KillParam> {};

TEST_P(KillAtEveryCall, LeavesOldOrNewAndTheNextRunTidiesUp) {
  const auto [backup, rewritten] = GetParam();
  FaultRunFixture f(backup, rewritten);
  long n = 1;
  for (; n <= kMaxCalls; ++n) {
    f.Reset();
    const ChildResult r = f.Run({"any", n, "KILL"});
    const FaultLog log = f.Log();
    if (log.empty()) {
      EXPECT_EQ(r.exitCode, rewritten ? 3 : 0) << r.err;
      EXPECT_TRUE(f.CsvIsNew());
      f.ExpectOldOrNew(0);
      break;
    }
    ++Totals().kills;
    const Injection& kill = log.front();
    SCOPED_TRACE("killed at call #" + std::to_string(n) + " (" + kill.call + " " + kill.path + ")");
    EXPECT_EQ(r.signal, SIGKILL);
    f.ExpectOldOrNew(1);
    f.ExpectBackupOnlyAfterTheNewContent(kill, true);
    // The CSV changes at its rename and at no other moment: a kill while the
    // backup is made, after the new content is complete, leaves it old.
    EXPECT_EQ(f.CsvIsNew(), rewritten || kill.afterTargetRename)
        << "the CSV holds other bytes than the moment of the kill allows";

    // The next run completes and removes what the killed one left; once the
    // CSV was replaced, it has nothing left to change and replaces nothing.
    const bool wasNew = f.CsvIsNew();
    const ino_t before = Inode(f.Csv());
    const ChildResult next = f.RunClean();
    EXPECT_EQ(next.exitCode, wasNew ? 3 : 0) << next.err;
    EXPECT_TRUE(f.CsvIsNew());
    if (wasNew) {
      EXPECT_EQ(Inode(f.Csv()), before) << "a run with nothing to change replaced the CSV";
    }
    EXPECT_EQ(Temporaries(f.Data()), std::vector<std::string>{});
    f.ExpectOldOrNew(0);
    if (HasFailure()) break;
  }
  EXPECT_LE(n, kMaxCalls);
  PrintFigures();
}

INSTANTIATE_TEST_SUITE_P(Runs, KillAtEveryCall,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<KillParam>& param) {
                           return std::string(std::get<0>(param.param) ? "Backup" : "NoBackup") +
                                  (std::get<1>(param.param) ? "_NothingToChange" : "");
                         });

}  // namespace
}  // namespace picrelink::reliability
