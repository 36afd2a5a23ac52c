// What a run does with every kind of thing that can stand at the CSV's path,
// for each usual mode, with and without the backup, as a real run and as a
// dry run: the exit status and the message, the bytes, the mode, links, and
// that no temporary stays behind. And what stands at the backup's name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/reliability/harness.h"
#include "tests/support/test_files.h"

namespace picrelink::reliability {
namespace {

using test::ListNames;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

enum class Kind {
  kNoFile,
  kRegular,
  kSymlink,
  kDanglingSymlink,
  kSymlinkLoop,
  kHardLink,
  kFifo,
  kFolder,
  kDevice
};

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kNoFile:
      return "NoFile";
    case Kind::kRegular:
      return "Regular";
    case Kind::kSymlink:
      return "Symlink";
    case Kind::kDanglingSymlink:
      return "DanglingSymlink";
    case Kind::kSymlinkLoop:
      return "SymlinkLoop";
    case Kind::kHardLink:
      return "HardLink";
    case Kind::kFifo:
      return "Fifo";
    case Kind::kFolder:
      return "Folder";
    case Kind::kDevice:
      return "DeviceBehindLink";
  }
  return "?";
}

// The error each refused kind gives, after "Cannot open file "<csv>". " or
// "Cannot create file "<csv>". "; empty for the kinds that are rewritten.
struct Expectation {
  bool rewritten;
  const char* failure;  // "open" or "create"
  const char* reason;
};

Expectation Expected(Kind kind) {
  switch (kind) {
    case Kind::kRegular:
    case Kind::kSymlink:
      return {true, "", ""};
    case Kind::kNoFile:
    case Kind::kDanglingSymlink:
      return {false, "open", "No such file or directory"};
    case Kind::kSymlinkLoop:
      return {false, "open", "Too many levels of symbolic links"};
    // Read without harm, but a rename would split the file: refused before
    // anything is written, so no backup is made either.
    case Kind::kHardLink:
      return {false, "create", "The file has more than one hard link"};
    case Kind::kFifo:
    case Kind::kDevice:
      return {false, "open", "Not a regular file"};
    case Kind::kFolder:
      return {false, "open", "Is a directory"};
  }
  return {};
}

// kind, mode, backup, dry run
using MatrixParam = std::tuple<Kind, mode_t, bool, bool>;

class SpecialFileMatrix : public ::testing::TestWithParam<MatrixParam> {};

TEST_P(SpecialFileMatrix, OutcomeBytesModeLinksAndNoLitter) {
  const auto [kind, mode, backup, dryRun] = GetParam();
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  const fs::path real = dir.path() / "real" / "goods.csv";  // where a link leads
  const fs::path backupFile = dir.path() / "goods_备份.csv";
  fs::create_directory(dir.path() / "real");
  const Listing listing = MakeListing(20'000, 7);

  // The file whose bytes a run reads and, where allowed, rewrites.
  fs::path content = csv;
  switch (kind) {
    case Kind::kNoFile:
      break;
    case Kind::kRegular:
      WriteBytes(csv, listing.before);
      break;
    case Kind::kSymlink:
      WriteBytes(real, listing.before);
      fs::create_symlink("real/goods.csv", csv);
      content = real;
      break;
    case Kind::kDanglingSymlink:
      fs::create_symlink("real/missing.csv", csv);
      break;
    case Kind::kSymlinkLoop:
      fs::create_symlink("loop.csv", csv);
      fs::create_symlink("goods.csv", dir.path() / "loop.csv");
      break;
    case Kind::kHardLink:
      WriteBytes(csv, listing.before);
      fs::create_hard_link(csv, dir.path() / "other name.csv");
      break;
    case Kind::kFifo:
      ASSERT_EQ(mkfifo(csv.c_str(), mode), 0);
      break;
    case Kind::kFolder:
      fs::create_directory(csv);
      break;
    case Kind::kDevice:
      fs::create_symlink("/dev/null", csv);
      content = "/dev/null";
      break;
  }
  const bool hasContent =
      kind == Kind::kRegular || kind == Kind::kSymlink || kind == Kind::kHardLink;
  if (kind != Kind::kNoFile && kind != Kind::kDevice && !IsLink(content)) {
    ASSERT_EQ(chmod(content.c_str(), mode), 0);
  }
  const mode_t modeBefore = ModeOf(content);
  const bool linkBefore = IsLink(csv);
  const std::string namesBefore = ListNames(dir.path());
  const std::string realNamesBefore = ListNames(dir.path() / "real");

  // The dry run is a preflight: it refuses what the real run refuses, with
  // the same message, and writes nothing.
  const ChildResult r =
      RunChild(CliProgram(), RelocateArgs(csv, backup, dryRun), {.timeoutSeconds = 30});

  const Expectation expected = Expected(kind);
  ASSERT_EQ(r.signal, 0) << "the run died or hung";
  EXPECT_EQ(IsLink(csv), linkBefore);
  EXPECT_EQ(ModeOf(content), modeBefore);
  EXPECT_EQ(Temporaries(dir.path()), std::vector<std::string>{});
  EXPECT_EQ(Temporaries(dir.path() / "real"), std::vector<std::string>{});
  EXPECT_EQ(ListNames(dir.path() / "real"), realNamesBefore);
  if (expected.rewritten && dryRun) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Dry run: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(kSuccessText), std::string::npos) << r.out;
    EXPECT_TRUE(ReadBytes(content) == listing.before) << "the dry run changed the CSV";
  } else if (expected.rewritten) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(kSuccessText), std::string::npos) << r.out;
    EXPECT_TRUE(ReadBytes(content) == listing.after) << "the rewritten bytes differ";
  } else {
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.find(kSuccessText), std::string::npos) << r.out;
    const std::string message = std::string(expected.failure) == "open"
                                    ? "Cannot open file \"" + csv.string() + "\". "
                                    : "Cannot create file \"" + csv.string() + "\". ";
    EXPECT_NE(r.err.find(message + expected.reason), std::string::npos) << r.err;
    if (hasContent) {
      EXPECT_TRUE(ReadBytes(content) == listing.before) << "the CSV was changed";
    }
    if (kind == Kind::kHardLink) {
      EXPECT_TRUE(ReadBytes(dir.path() / "other name.csv") == listing.before);
    }
  }

  // Only a run that writes makes a backup: a copy of what was read, never
  // more open than the CSV. Every other run leaves the folder as it was.
  if (backup && expected.rewritten && !dryRun) {
    ASSERT_TRUE(fs::exists(backupFile)) << r.err;
    EXPECT_FALSE(IsLink(backupFile));
    EXPECT_TRUE(ReadBytes(backupFile) == listing.before) << "the backup is not the old CSV";
    EXPECT_EQ(ModeOf(backupFile), modeBefore & 0644);
    fs::remove(backupFile);  // then nothing else may have appeared
    EXPECT_EQ(ListNames(dir.path()), namesBefore);
  } else {
    EXPECT_EQ(ListNames(dir.path()), namesBefore);
  }
}

std::string MatrixName(const ::testing::TestParamInfo<MatrixParam>& info) {
  const auto [kind, mode, backup, dryRun] = info.param;
  char modeText[8];
  snprintf(modeText, sizeof modeText, "%04o", mode);
  return std::string(KindName(kind)) + "_" + modeText + (backup ? "_Backup" : "_NoBackup") +
         (dryRun ? "_DryRun" : "");
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, SpecialFileMatrix,
    ::testing::Combine(::testing::Values(Kind::kNoFile, Kind::kRegular, Kind::kSymlink,
                                         Kind::kDanglingSymlink, Kind::kSymlinkLoop,
                                         Kind::kHardLink, Kind::kFifo, Kind::kFolder,
                                         Kind::kDevice),
                       ::testing::Values(mode_t{0644}, mode_t{0600}, mode_t{0640}),
                       ::testing::Bool(), ::testing::Bool()),
    MatrixName);

// A CSV without any write bit is refused, also for the superuser, with the
// same message by the dry run, and is never made writable. The refusal comes
// before anything is written: no temporary, no backup.
TEST(ReadOnlyCsv, IsRefusedWithCannotCreateFileAndKeepsItsMode) {
  for (const mode_t mode : {mode_t{0444}, mode_t{0400}}) {
    for (const bool backup : {false, true}) {
      for (const bool dryRun : {false, true}) {
        SCOPED_TRACE(std::to_string(mode) + (backup ? " with backup" : "") +
                     (dryRun ? " dry run" : ""));
        TempDir dir;
        const fs::path csv = dir.path() / "goods.csv";
        const Listing listing = MakeListing(5'000, 3);
        WriteBytes(csv, listing.before);
        ASSERT_EQ(chmod(csv.c_str(), mode), 0);

        const ChildResult r =
            RunChild(CliProgram(), RelocateArgs(csv, backup, dryRun), {.timeoutSeconds = 30});

        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "Cannot create file \"" + csv.string() +
                             "\". Permission denied.\nThe CSV \"" + csv.string() +
                             "\" is read-only. Nothing was changed. Clear its read-only mark (or "
                             "give yourself the right to write it) and run again\n");
        EXPECT_EQ(ModeOf(csv), mode);
        EXPECT_TRUE(ReadBytes(csv) == listing.before);
        EXPECT_EQ(ListNames(dir.path()), "goods.csv") << "a refused run left something behind";
      }
    }
  }
}

// What may stand at the first backup name already. Only a file that holds
// exactly the CSV's bytes serves as its backup (and stays as it is); anything
// else is left alone, never written through, and the backup takes the next
// name, so that the original CSV is kept whatever the folder holds.
TEST(BackupName, WhatStandsThereIsLeftAloneAndTheOriginalIsKept) {
  enum What { kOtherBytes, kSameBytes, kLinkToTheCsv, kDanglingLink, kFifo, kFolder };
  const std::pair<What, const char*> cases[] = {
      {kOtherBytes, "an older backup with other bytes"},
      {kSameBytes, "a file with the CSV's bytes"},
      {kLinkToTheCsv, "a link to the CSV itself"},
      {kDanglingLink, "a dangling link"},
      {kFifo, "a FIFO"},
      {kFolder, "a folder"},
  };
  for (const auto& [what, name] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    const fs::path csv = dir.path() / "goods.csv";
    const fs::path first = BackupPath(csv, 1);
    const Listing listing = MakeListing(20'000, 21);
    WriteBytes(csv, listing.before);
    fs::create_directory(dir.path() / "elsewhere");
    switch (what) {
      case kOtherBytes:
        WriteBytes(first, "an older backup");
        break;
      case kSameBytes:
        WriteBytes(first, listing.before);
        break;
      case kLinkToTheCsv:
        fs::create_symlink("goods.csv", first);
        break;
      case kDanglingLink:
        fs::create_symlink("elsewhere/missing.csv", first);
        break;
      case kFifo:
        ASSERT_EQ(mkfifo(first.c_str(), 0644), 0);
        break;
      case kFolder:
        fs::create_directory(first);
        break;
    }
    struct stat firstBefore {};
    ASSERT_EQ(lstat(first.c_str(), &firstBefore), 0);
    const auto entriesBefore = std::distance(fs::directory_iterator(dir.path()), {});

    const ChildResult r = RunRelocate(csv, true, {.timeoutSeconds = 30});

    ASSERT_EQ(r.signal, 0) << "the run died or hung";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadBytes(csv) == listing.after);
    const bool reused = what == kSameBytes;
    const fs::path backup = reused ? first : BackupPath(csv, 2);
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(backup))) << r.err;
    EXPECT_TRUE(ReadBytes(backup) == listing.before) << "the original CSV is kept nowhere";
    // The same file, link, FIFO or folder as before, with the same content.
    struct stat firstAfter {};
    ASSERT_EQ(lstat(first.c_str(), &firstAfter), 0);
    EXPECT_EQ(firstAfter.st_ino, firstBefore.st_ino) << "the first backup name was replaced";
    EXPECT_EQ(firstAfter.st_mode, firstBefore.st_mode);
    if (what == kOtherBytes) {
      EXPECT_EQ(ReadBytes(first), "an older backup");
    }
    EXPECT_EQ(ListNames(dir.path() / "elsewhere"), "") << "a file was made through the link";
    // Nothing else appeared: no temporary, no further backup.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}),
              entriesBefore + (reused ? 0 : 1))
        << ListNames(dir.path());
  }
}

// Every code unit outside the replaced references survives, over a listing
// large enough to cross any buffer a run may read through.
TEST(ContentFidelity, EveryUnitOutsideTheReferencesSurvives) {
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  const Listing listing = MakeListing(12'000'000, 11);
  WriteBytes(csv, listing.before);
  const ChildResult r = RunRelocate(csv, true);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after) << "the rewritten CSV differs from the expected";
  EXPECT_TRUE(ReadBytes(dir.path() / "goods_备份.csv") == listing.before);
}

}  // namespace
}  // namespace picrelink::reliability
