// Real resource failures instead of injected ones: a full file system, a
// read-only one, the file-size limit, and a user without the permissions.
// What the machine does not allow (a mount namespace, another user) makes
// the test skip with the reason; it never passes without its condition.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/reliability/harness.h"
#include "tests/support/test_files.h"

namespace picrelink::reliability {
namespace {

// The line the command line adds after "Cannot create file ..." when the
// CSV's folder is what cannot be written.
std::string FolderNextStep(const std::string& folder) {
  return "The folder \"" + folder +
         "\" cannot be written to (it is read-only, or you may not write there), and the new "
         "CSV is made beside the old one. Nothing was changed. Make the folder writable, or copy "
         "the whole package to a folder you can write to, and run again\n";
}

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

std::string StreamWriteMessage(const fs::path& file, const std::string& reason) {
  return "Stream write error. The file \"" + file.string() + "\" was left unchanged. " + reason;
}

// A small tmpfs over a folder, visible to this test process and its
// children only (a private mount namespace), removed at the end.
class SmallFileSystem {
 public:
  // Empty when the machine allows it, else why not.
  std::string Mount(const fs::path& where, const std::string& options) {
    if (geteuid() != 0) return "mounting needs the superuser";
    if (unshare(CLONE_NEWNS) != 0) {
      return std::string("no private mount namespace: ") + std::strerror(errno);
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("cannot make the mounts private: ") + std::strerror(errno);
    }
    if (mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
    where_ = where;
    return "";
  }
  bool MakeReadOnly() {
    return mount(nullptr, where_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  ~SmallFileSystem() {
    if (!where_.empty()) umount2(where_.c_str(), MNT_DETACH);
  }

 private:
  fs::path where_;
};

TEST(ResourceFailure, FullFileSystemKeepsTheCsvAndSaysSo) {
  TempDir dir;
  const fs::path mountPoint = dir.path() / "small";
  fs::create_directory(mountPoint);
  SmallFileSystem small;
  if (const std::string why = small.Mount(mountPoint, "size=2m,mode=0755"); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const fs::path csv = mountPoint / "goods.csv";
  const fs::path filler = mountPoint / "filler";
  const Listing listing = MakeListing(600'000, 12);
  WriteBytes(csv, listing.before);
  // What is left is less than a second copy of the CSV needs.
  WriteBytes(filler, std::string(2 * 1024 * 1024 - 600'000 - 200'000, 'f'));
  ASSERT_LT(fs::space(mountPoint).available, listing.after.size());

  // The CSV's new content is written first, so with or without the backup
  // that is what fails, and no backup is made.
  for (const bool backup : {false, true}) {
    SCOPED_TRACE(backup ? "with backup" : "without backup");
    const ChildResult r = RunRelocate(csv, backup);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, StreamWriteMessage(csv, "No space left on device") + ".\n");
    EXPECT_TRUE(ReadBytes(csv) == listing.before);
    EXPECT_FALSE(fs::exists(mountPoint / "goods_备份.csv"));
    EXPECT_EQ(Temporaries(mountPoint), std::vector<std::string>{});
  }

  // Room for the CSV's new content but not for the backup as well: the
  // backup fails after the new content is complete, and the CSV is not
  // replaced without it.
  fs::remove(filler);
  const uint64_t room = fs::space(mountPoint).available;
  WriteBytes(filler, std::string(room - listing.after.size() - listing.before.size() / 2, 'f'));
  ASSERT_GT(fs::space(mountPoint).available, listing.after.size() + 64 * 1024);
  ASSERT_LT(fs::space(mountPoint).available, listing.after.size() + listing.before.size());
  const fs::path backupFile = mountPoint / "goods_备份.csv";
  const ChildResult noRoomForBackup = RunRelocate(csv, true);
  EXPECT_EQ(noRoomForBackup.exitCode, 1);
  EXPECT_EQ(noRoomForBackup.err,
            "The backup \"" + backupFile.string() +
                "\" could not be written, so the CSV file was left unchanged. " +
                StreamWriteMessage(backupFile, "No space left on device") + ".\n");
  EXPECT_TRUE(ReadBytes(csv) == listing.before);
  EXPECT_FALSE(fs::exists(backupFile));
  EXPECT_EQ(Temporaries(mountPoint), std::vector<std::string>{});

  // With room again the same run goes through.
  fs::remove(filler);
  const ChildResult r = RunRelocate(csv, true);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after);
  EXPECT_TRUE(ReadBytes(mountPoint / "goods_备份.csv") == listing.before);
}

TEST(ResourceFailure, ReadOnlyFileSystemIsACannotCreateError) {
  TempDir dir;
  const fs::path mountPoint = dir.path() / "ro";
  fs::create_directory(mountPoint);
  SmallFileSystem small;
  if (const std::string why = small.Mount(mountPoint, "size=4m"); !why.empty()) {
    GTEST_SKIP() << why;
  }
  const fs::path csv = mountPoint / "goods.csv";
  const Listing listing = MakeListing(100'000, 13);
  WriteBytes(csv, listing.before);
  if (!small.MakeReadOnly()) GTEST_SKIP() << "cannot remount read-only: " << std::strerror(errno);

  // Refused before anything is written, with or without the backup, and by
  // the dry run alike.
  for (const bool backup : {false, true}) {
    for (const bool dryRun : {false, true}) {
      SCOPED_TRACE(std::string(backup ? "with backup" : "without backup") +
                   (dryRun ? ", dry run" : ""));
      const ChildResult r = RunChild(CliProgram(), RelocateArgs(csv, backup, dryRun));
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(r.err, "Cannot create file \"" + csv.string() + "\". Read-only file system.\n" +
                           FolderNextStep(csv.parent_path().string()));
      EXPECT_TRUE(ReadBytes(csv) == listing.before);
      EXPECT_EQ(test::ListNames(mountPoint), "goods.csv");
    }
  }
}

// RLIMIT_FSIZE (ulimit -f): with SIGXFSZ ignored the write fails with EFBIG;
// with its default action the program dies at that write.
TEST(ResourceFailure, FileSizeLimitFailsTheWriteOrKillsTheRun) {
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  const Listing listing = MakeListing(400'000, 14);
  WriteBytes(csv, listing.before);
  ChildOptions limited;
  limited.fileSizeLimit = 100'000;

  const ChildResult r = RunRelocate(csv, false, limited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, StreamWriteMessage(csv, "File too large") + ".\n");
  EXPECT_TRUE(ReadBytes(csv) == listing.before);
  EXPECT_EQ(Temporaries(dir.path()), std::vector<std::string>{});

  limited.ignoreFileSizeSignal = false;
  const ChildResult killed = RunRelocate(csv, true, limited);
  EXPECT_EQ(killed.signal, SIGXFSZ);
  EXPECT_TRUE(ReadBytes(csv) == listing.before);
  EXPECT_FALSE(fs::exists(dir.path() / "goods_备份.csv"));
  EXPECT_LE(Temporaries(dir.path()).size(), 1u);

  const ChildResult next = RunRelocate(csv, true);
  EXPECT_EQ(next.exitCode, 0) << next.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after);
  EXPECT_EQ(Temporaries(dir.path()), std::vector<std::string>{});
}

// ------------------------------------------------------------- other users

std::string WhyNoOtherUser() {
  if (geteuid() != 0) return "switching to another user needs the superuser";
  if (!ReachableByOthers(CliProgram())) {
    return "the program's folders are not searchable by other users: " + CliProgram();
  }
  return "";
}

ChildOptions AsNobody() {
  ChildOptions options;
  options.uid = kNobody;
  options.gid = kNoGroup;
  return options;
}

// A folder that the unprivileged user can reach (the test folder is private).
class SharedFolder {
 public:
  SharedFolder() {
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec |
                                     fs::perms::others_exec | fs::perms::others_read |
                                     fs::perms::group_read);
  }
  fs::path Sub(const std::string& name, bool ownedByNobody) const {
    const fs::path folder = dir_.path() / name;
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    if (ownedByNobody && chown(folder.c_str(), kNobody, kNoGroup) != 0) return {};
    return folder;
  }

 private:
  TempDir dir_;
};

void Own(const fs::path& file, uid_t uid, gid_t gid, mode_t mode) {
  ASSERT_EQ(chown(file.c_str(), uid, gid), 0);
  ASSERT_EQ(chmod(file.c_str(), mode), 0);
}

// Every case asks for the backup, with an older one (other bytes) where the
// backup goes: a refusal leaves the CSV, its mode and the older backup as
// they were and makes nothing. The dry run refuses alike.
TEST(PermissionFailure, UnprivilegedUserIsRefusedWhereThePermissionsSaySo) {
  if (const std::string why = WhyNoOtherUser(); !why.empty()) GTEST_SKIP() << why;
  SharedFolder shared;
  const Listing listing = MakeListing(50'000, 15);

  struct Case {
    const char* name;
    bool folderOwned;  // the CSV's folder belongs to the user (writable for it)
    uid_t csvOwner;
    mode_t csvMode;
    // The CSV is named through a link in a folder that the user cannot
    // write, which is where its backup goes.
    bool backupElsewhere;
    // The whole message; <csv>, <folder> (the CSV's), <backup> and
    // <backup folder> (the new backup's) stand for the paths.
    std::string message;
  };
  const Case cases[] = {
      {"folder-not-writable", false, kNobody, 0644, false,
       "Cannot create file \"<csv>\". The folder \"<folder>/\" does not allow new files "
       "(Permission denied)\n<folder next step>"},
      {"csv-not-writable", true, 0, 0644, false,
       "Cannot create file \"<csv>\". Permission denied.\nThe CSV \"<csv>\" is read-only. Nothing "
       "was changed. Clear its read-only mark (or give yourself the right to write it) and run "
       "again\n"},
      {"csv-not-readable", true, 0, 0600, false,
       "Cannot open file \"<csv>\". Permission denied.\n"},
      {"backup-folder-not-writable", true, kNobody, 0644, true,
       "The backup \"<backup>\" could not be written, so the CSV file was left unchanged. Cannot "
       "create file \"<backup>\". The folder \"<backup folder>/\" does not allow new files "
       "(Permission denied)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = shared.Sub(c.name, c.folderOwned);
    ASSERT_FALSE(folder.empty());
    const fs::path csv = folder / "goods.csv";
    WriteBytes(csv, listing.before);
    Own(csv, c.csvOwner, c.csvOwner == 0 ? 0 : kNoGroup, c.csvMode);
    fs::path named = csv;
    if (c.backupElsewhere) {
      const fs::path linkFolder = shared.Sub(std::string(c.name) + "-link", false);
      ASSERT_FALSE(linkFolder.empty());
      named = linkFolder / "goods.csv";
      fs::create_symlink(csv, named);
    }
    const fs::path backupFolder = named.parent_path();
    const fs::path olderBackup = BackupPath(named, 1);
    WriteBytes(olderBackup, "the old backup");
    Own(olderBackup, 0, 0, 0644);
    const std::string namesBefore = test::ListNames(backupFolder);

    const ChildResult r = RunRelocate(named, true, AsNobody());
    const ChildResult dry = RunChild(CliProgram(), RelocateArgs(named, true, true), AsNobody());

    std::string message = c.message;
    const std::pair<std::string, std::string> paths[] = {
        {"<csv>", named.string()},
        {"<folder>", folder.string()},
        {"<backup>", BackupPath(named, 2).string()},
        {"<backup folder>", backupFolder.string()},
        {"<folder next step>", FolderNextStep(named.parent_path().string())}};
    for (const auto& [placeholder, path] : paths) {
      for (size_t at; (at = message.find(placeholder)) != std::string::npos;) {
        message.replace(at, placeholder.size(), path);
      }
    }
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, message);
    EXPECT_TRUE(ReadBytes(csv) == listing.before);
    EXPECT_EQ(ModeOf(csv), c.csvMode) << "the CSV's mode was changed";
    EXPECT_EQ(ReadBytes(olderBackup), "the old backup");
    EXPECT_EQ(test::ListNames(backupFolder), namesBefore) << "a refused run left something";
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>{});
    // The same refusal from the dry run (the real run may say in front of
    // it that the CSV was left unchanged).
    EXPECT_EQ(dry.exitCode, 1) << dry.err;
    EXPECT_FALSE(dry.err.empty());
    EXPECT_TRUE(r.err.ends_with(dry.err)) << "real run: " << r.err << "dry run: " << dry.err;
    EXPECT_EQ(test::ListNames(backupFolder), namesBefore) << "the dry run left something";
  }
}

TEST(PermissionFailure, UnprivilegedOwnerRewritesItsOwnCsv) {
  if (const std::string why = WhyNoOtherUser(); !why.empty()) GTEST_SKIP() << why;
  SharedFolder shared;
  const fs::path folder = shared.Sub("own", true);
  ASSERT_FALSE(folder.empty());
  const fs::path csv = folder / "goods.csv";
  const Listing listing = MakeListing(50'000, 16);
  WriteBytes(csv, listing.before);
  Own(csv, kNobody, kNoGroup, 0640);

  const ChildResult r = RunRelocate(csv, true, AsNobody());

  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after);
  struct stat st {};
  ASSERT_EQ(stat(csv.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNoGroup);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// The superuser rewriting someone else's CSV leaves it theirs.
TEST(PermissionFailure, OwnerAndGroupAreKeptWherePermitted) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another owner needs the superuser";
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  const Listing listing = MakeListing(20'000, 17);
  WriteBytes(csv, listing.before);
  Own(csv, kNobody, kNoGroup, 0640);

  const ChildResult r = RunRelocate(csv, true);

  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.after);
  struct stat st {};
  ASSERT_EQ(stat(csv.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNoGroup);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace picrelink::reliability
