// Walks a run through every file-system call on the CSV's folder: the N-th
// open, read, write, flush, close, rename or unlink fails (or the program is
// killed there), for N = 1, 2, ... until a run gets through untouched. After
// every run the CSV holds its old or its new bytes, the message tells the
// truth, no temporary stays, and no run reports success over a swallowed
// error.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

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
constexpr const char* kPreviousBackup = "an older backup that must stay whole until replaced";

// Errors that a correct run may absorb: interruptions and short transfers
// are retried, a failed close of a descriptor that was only read (or of the
// folder, after its flush) cannot lose data, and removing a leftover is
// tidying, not the work.
bool MayBeAbsorbed(const Injection& i) {
  return i.action == "EINTR" || i.action == "SHORT" ||
         (i.call == "close" && (i.kind == 'r' || i.kind == 'd')) || i.call == "unlink";
}

class FaultRunFixture {
 public:
  explicit FaultRunFixture(bool backup) : backup_(backup) {
    fs::create_directory(data_);
    // Big enough that copying and reading take several calls each.
    listing_ = MakeListing(1'200'000, 5);
  }

  // The CSV with its old bytes, the older backup, and nothing else.
  void Reset() {
    for (const auto& entry : fs::directory_iterator(data_)) fs::remove_all(entry.path());
    fs::remove(log_);
    WriteBytes(csv_, listing_.before);
    chmod(csv_.c_str(), 0640);
    if (backup_) WriteBytes(backupFile_, kPreviousBackup);
  }

  ChildResult Run(const Fault& fault, const Fault& second = {}) {
    return RunRelocate(csv_, backup_, {.env = FaultEnv(data_, log_, fault, second)});
  }
  ChildResult RunClean() { return RunRelocate(csv_, backup_); }
  FaultLog Log() const { return ReadFaultLog(log_, csv_); }

  // The state every run must leave, whatever happened to it.
  void ExpectOldOrNew(size_t allowedTemporaries) const {
    const std::string bytes = ReadBytes(csv_);
    const bool isOld = bytes == listing_.before;
    const bool isNew = bytes == listing_.after;
    EXPECT_TRUE(isOld || isNew) << "the CSV holds neither its old nor its new bytes ("
                                << bytes.size() << " bytes)";
    EXPECT_LE(Temporaries(data_).size(), allowedTemporaries)
        << testing::PrintToString(Temporaries(data_));
    EXPECT_EQ(ModeOf(csv_), 0640u);
    if (backup_) {
      const std::string backupBytes = ReadBytes(backupFile_);
      EXPECT_TRUE(backupBytes == kPreviousBackup || backupBytes == listing_.before)
          << "the backup is half-overwritten (" << backupBytes.size() << " bytes)";
      // The backup is complete before the CSV is touched.
      if (isNew) {
        EXPECT_TRUE(backupBytes == listing_.before) << "the CSV was replaced before its backup";
      }
    }
  }

  bool CsvIsOld() const { return ReadBytes(csv_) == listing_.before; }
  bool CsvIsNew() const { return ReadBytes(csv_) == listing_.after; }
  const fs::path& Data() const { return data_; }
  const fs::path& Csv() const { return csv_; }

 private:
  bool backup_;
  TempDir dir_;
  fs::path data_ = dir_.path() / "data";
  fs::path csv_ = data_ / "goods.csv";
  fs::path backupFile_ = data_ / "goods_备份.csv";
  fs::path log_ = dir_.path() / "fault.log";
  Listing listing_;
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
  if (r.exitCode == 0) {
    EXPECT_TRUE(MayBeAbsorbed(i)) << "success reported although the call failed";
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

// A failed removal of the temporary on the way out of an error leaves at
// most that one temporary, which the next run removes.
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

        const ChildResult next = f.RunClean();
        EXPECT_EQ(next.exitCode, 0) << next.err;
        EXPECT_TRUE(f.CsvIsNew());
        EXPECT_EQ(Temporaries(f.Data()), std::vector<std::string>{}) << "leftover not removed";
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

    EXPECT_EQ(f.RunClean().exitCode, 0);
    EXPECT_EQ(Temporaries(f.Data()), std::vector<std::string>{});
  }
  PrintFigures();
}

// ------------------------------------------------------- kill at each call

class KillAtEveryCall : public ::testing::TestWithParam<bool> {};

TEST_P(KillAtEveryCall, LeavesOldOrNewAndTheNextRunTidiesUp) {
  const bool backup = GetParam();
  FaultRunFixture f(backup);
  long n = 1;
  for (; n <= kMaxCalls; ++n) {
    f.Reset();
    const ChildResult r = f.Run({"any", n, "KILL"});
    const FaultLog log = f.Log();
    if (log.empty()) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(f.CsvIsNew());
      break;
    }
    ++Totals().kills;
    SCOPED_TRACE("killed at call #" + std::to_string(n) + " (" + log.front().call + " " +
                 log.front().path + ")");
    EXPECT_EQ(r.signal, SIGKILL);
    f.ExpectOldOrNew(1);

    // The next run completes and removes what the killed one left.
    const ChildResult next = f.RunClean();
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_TRUE(f.CsvIsNew());
    EXPECT_EQ(Temporaries(f.Data()), std::vector<std::string>{});
    if (HasFailure()) break;
  }
  EXPECT_LE(n, kMaxCalls);
  PrintFigures();
}

INSTANTIATE_TEST_SUITE_P(Runs, KillAtEveryCall, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return std::string(param.param ? "Backup" : "NoBackup");
                         });

}  // namespace
}  // namespace picrelink::reliability
