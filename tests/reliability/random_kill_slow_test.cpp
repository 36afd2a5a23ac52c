// Runs over a generated 12 MB CSV, each killed at a random moment: reading,
// replacing, writing the temporary, copying the backup, flushing, renaming.
// Whatever the moment, the CSV holds its old or its new bytes, the backup is
// whole and there before the CSV is replaced, an older backup stays as it
// is, at most one temporary per file stays, and the next run removes it.
//
// 12 MB is enough for every phase to recur: the run reads it in 24 pieces,
// asks for write-back three times (every 4 MB) and copies the backup in 12
// blocks. A larger CSV only makes each phase longer, not different, and the
// kills are spread over the whole run whatever its length.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>

#include "tests/reliability/harness.h"
#include "tests/support/test_files.h"

namespace picrelink::reliability {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using Clock = std::chrono::steady_clock;

// PICRELINK_RANDOM_KILLS overrides the number of kills (for a longer soak).
int KillCount() {
  const char* text = std::getenv("PICRELINK_RANDOM_KILLS");
  const int count = text != nullptr ? std::atoi(text) : 0;
  return count > 0 ? count : 200;
}

// Whether the file holds exactly these bytes, read in pieces (no copies of the CSV).
bool HoldsBytes(const fs::path& file, const std::string& expected) {
  std::ifstream in(file, std::ios::binary);
  std::string piece(1 << 20, '\0');
  size_t offset = 0;
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const auto got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    if (expected.compare(offset, got, piece, 0, got) != 0) return false;
    offset += got;
  }
  return offset == expected.size();
}

void SleepFor(std::chrono::microseconds duration) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(duration.count() / 1'000'000);
  ts.tv_nsec = static_cast<long>(duration.count() % 1'000'000) * 1000;
  while (nanosleep(&ts, &ts) != 0) {
  }
}

constexpr size_t kCsvBytes = 12'000'000;

TEST(RandomKills, TwelveMegabyteCsvIsAlwaysOldOrNew) {
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  const Listing listing = MakeListing(kCsvBytes, 2024);
  ASSERT_GE(listing.before.size(), kCsvBytes);
  // An older backup with other bytes holds the first name throughout; the
  // runs' backups take the second.
  const fs::path olderBackup = BackupPath(csv, 1);
  const fs::path backupFile = BackupPath(csv, 2);
  const std::string olderBytes = "an older backup, never to be touched";
  WriteBytes(olderBackup, olderBytes);

  // How long an undisturbed run takes, with and without the backup (which
  // each of them then copies anew).
  std::map<bool, Clock::duration> runTime;
  for (const bool backup : {false, true}) {
    WriteBytes(csv, listing.before);
    fs::remove(backupFile);
    const auto start = Clock::now();
    const ChildResult r = RunRelocate(csv, backup);
    runTime[backup] = Clock::now() - start;
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(ReadBytes(csv) == listing.after);
    ASSERT_EQ(fs::exists(backupFile), backup);
  }

  std::mt19937 random(20240601);
  const int kills = KillCount();
  int interrupted = 0, leftOld = 0, leftNew = 0, leftTemporary = 0;
  bool csvIsNew = true;
  for (int i = 0; i < kills; ++i) {
    // The first half without the backup, the second half with it.
    const bool backup = i >= kills / 2;
    if (csvIsNew) {
      // The old bytes again, and the backup made anew from them. A run
      // killed before its rename instead leaves the CSV old, and the next
      // one goes on from whatever it left, as a seller's next run would.
      WriteBytes(csv, listing.before);
      fs::remove(backupFile);
    }
    const auto window =
        std::chrono::duration_cast<std::chrono::microseconds>(runTime[backup] * 11 / 10);
    const auto delay = std::chrono::microseconds(
        std::uniform_int_distribution<long>(0, static_cast<long>(window.count()))(random));

    RunningChild run(CliProgram(), RelocateArgs(csv, backup));
    SleepFor(delay);
    run.Kill();
    const int status = run.Wait();
    SCOPED_TRACE("kill " + std::to_string(i) + " after " + std::to_string(delay.count()) + " us");
    if (WIFSIGNALED(status)) ++interrupted;

    const bool isOld = HoldsBytes(csv, listing.before);
    csvIsNew = !isOld && HoldsBytes(csv, listing.after);
    ASSERT_TRUE(isOld || csvIsNew)
        << "the CSV holds neither its old nor its new bytes (" << fs::file_size(csv) << " bytes)";
    leftOld += isOld ? 1 : 0;
    leftNew += csvIsNew ? 1 : 0;
    // Each run replaces one file at a time: at most one leftover per file.
    const std::vector<std::string> left = Temporaries(dir.path());
    int ofCsv = 0, ofBackup = 0;
    for (const std::string& name : left) {
      ofCsv += IsTemporaryOf(name, csv.filename()) ? 1 : 0;
      ofBackup += IsTemporaryOf(name, backupFile.filename()) ? 1 : 0;
    }
    ASSERT_EQ(static_cast<size_t>(ofCsv + ofBackup), left.size()) << testing::PrintToString(left);
    ASSERT_LE(ofCsv, 1) << testing::PrintToString(left);
    ASSERT_LE(ofBackup, 1) << testing::PrintToString(left);
    if (!backup) {
      ASSERT_EQ(ofBackup, 0);
    }
    leftTemporary += left.empty() ? 0 : 1;
    ASSERT_EQ(ReadBytes(olderBackup), olderBytes) << "the older backup was touched";
    if (fs::exists(backupFile)) {
      // The backup is always a whole copy of the CSV as it was before.
      ASSERT_TRUE(backup) << "a run without the backup made one";
      ASSERT_TRUE(HoldsBytes(backupFile, listing.before)) << "the backup is not whole";
    } else {
      ASSERT_FALSE(backup && csvIsNew) << "the CSV was replaced before its backup was made";
    }
    // Nothing else: the CSV, the two backups, the temporaries counted above.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const fs::path name = entry.path().filename();
      ASSERT_TRUE(name == csv.filename() || name == olderBackup.filename() ||
                  name == backupFile.filename() || IsTemporaryOf(name, csv.filename()) ||
                  IsTemporaryOf(name, backupFile.filename()))
          << "litter: " << name;
    }
  }

  // An undisturbed run then completes and tidies up everything; over a CSV
  // that the last kill left new, it has something to change again.
  if (csvIsNew) {
    WriteBytes(csv, listing.before);
    fs::remove(backupFile);
  }
  const ChildResult last = RunRelocate(csv, true);
  EXPECT_EQ(last.exitCode, 0) << last.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after);
  EXPECT_TRUE(HoldsBytes(backupFile, listing.before));
  EXPECT_EQ(ReadBytes(olderBackup), olderBytes);
  EXPECT_EQ(Temporaries(dir.path()), std::vector<std::string>{});

  std::cout << "[ figures  ] random kills: " << kills << " (" << interrupted
            << " interrupted a run; CSV left old " << leftOld << ", new " << leftNew
            << "; a temporary left " << leftTemporary << " times); undisturbed run "
            << std::chrono::duration_cast<std::chrono::milliseconds>(runTime[false]).count()
            << " ms, with backup "
            << std::chrono::duration_cast<std::chrono::milliseconds>(runTime[true]).count() << " ms"
            << std::endl;
  // Most kills must land inside a run, or the test proves little.
  EXPECT_GT(interrupted, kills / 2);
}

}  // namespace
}  // namespace picrelink::reliability
