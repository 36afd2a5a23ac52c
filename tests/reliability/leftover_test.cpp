// A run removes what a killed run over the same file left behind, and
// nothing else: not a temporary that a live process still writes, not
// another file's temporary, not anything that only resembles one.
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <string>

#include "tests/reliability/harness.h"
#include "tests/support/other_process.h"
#include "tests/support/test_files.h"

namespace picrelink::reliability {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(Leftovers, OnlyAbandonedTemporariesOfTheSameFileAreRemoved) {
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  const Listing listing = MakeListing(10'000, 9);
  WriteBytes(csv, listing.before);
  WriteBytes(dir.path() / "precious.txt", "not ours");

  // Abandoned: a killed run's temporaries of the CSV and of its backup.
  const std::string staleCsv = ".goods.csv.picrelink-Stale1.tmp";
  const std::string staleBackup = ".goods_备份.csv.picrelink-Stale2.tmp";
  WriteBytes(dir.path() / staleCsv, "partial");
  WriteBytes(dir.path() / staleBackup, "partial backup");
  // Not to be touched.
  const std::string live = ".goods.csv.picrelink-Live01.tmp";
  WriteBytes(dir.path() / live, "a live writer's content");
  const std::set<std::string> keep = {
      live,
      ".goods.csv.picrelink-AB.tmp",          // not the pattern: six characters
      ".goods.csv.picrelink-St@le3.tmp",      // not the pattern: letters and digits
      ".goods.csv.picrelink-Stale4.tmp.bak",  // another extension
      "goods.csv.picrelink-Stale5.tmp",       // not hidden
      ".other.csv.picrelink-Stale6.tmp",      // another file's
      ".goods.csv.picrelink-Link01.tmp",      // a link, which we never create
      ".goods.csv.picrelink-Hard01.tmp",      // a second name of another file
      ".goods.csv.picrelink-Dir001.tmp",      // a folder
      "precious.txt",
  };
  for (const std::string& name : keep) {
    if (name == live || name == "precious.txt" || name.find("Link") != std::string::npos ||
        name.find("Hard") != std::string::npos || name.find("Dir") != std::string::npos) {
      continue;
    }
    WriteBytes(dir.path() / name, "someone else's");
  }
  fs::create_symlink("precious.txt", dir.path() / ".goods.csv.picrelink-Link01.tmp");
  fs::create_hard_link(dir.path() / "precious.txt", dir.path() / ".goods.csv.picrelink-Hard01.tmp");
  fs::create_directory(dir.path() / ".goods.csv.picrelink-Dir001.tmp");
  test::FileHeldByOtherProcess writer(dir.path() / live);

  const ChildResult r = RunRelocate(csv, true);

  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after);
  std::set<std::string> expected = keep;
  expected.insert({"goods.csv", "goods_备份.csv"});
  EXPECT_EQ(Names(dir.path()), expected);
  EXPECT_EQ(ReadBytes(dir.path() / "precious.txt"), "not ours");
  EXPECT_EQ(ReadBytes(dir.path() / live), "a live writer's content");
}

// A leftover is recognisable: hidden, beside the CSV, named after it and
// after this program; and never readable by more users than the CSV.
TEST(Leftovers, AKilledRunLeavesOneRecognisableTemporary) {
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  const Listing listing = MakeListing(300'000, 4);
  WriteBytes(csv, listing.before);
  fs::permissions(csv, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const fs::path log = dir.path().parent_path() / (dir.path().filename().string() + ".log");
  // Killed at its first write to the temporary: the temporary exists.
  const ChildResult r =
      RunRelocate(csv, false, {.env = FaultEnv(dir.path(), log, {"write", 1, "KILL"})});
  fs::remove(log);
  ASSERT_EQ(r.signal, SIGKILL);
  const std::vector<std::string> left = Temporaries(dir.path());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(IsTemporaryOf(left[0], "goods.csv")) << left[0];
  EXPECT_EQ(ModeOf(dir.path() / left[0]) & ~mode_t{0640}, 0u)
      << std::oct << ModeOf(dir.path() / left[0]);
  EXPECT_TRUE(ReadBytes(csv) == listing.before);

  // The next run takes it for what it is and removes it; its own temporary
  // has another name (names are not predictable).
  const ChildResult again =
      RunRelocate(csv, false, {.env = FaultEnv(dir.path(), log, {"write", 1, "KILL"})});
  fs::remove(log);
  ASSERT_EQ(again.signal, SIGKILL);
  const std::vector<std::string> second = Temporaries(dir.path());
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(second[0], left[0]);

  const ChildResult next = RunRelocate(csv, false);
  EXPECT_EQ(next.exitCode, 0) << next.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after);
  EXPECT_EQ(Temporaries(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace picrelink::reliability
