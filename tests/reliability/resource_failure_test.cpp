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

#include "tests/reliability/harness.h"
#include "tests/support/test_files.h"

namespace picrelink::reliability {
namespace {

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

  for (const bool backup : {false, true}) {
    SCOPED_TRACE(backup ? "with backup" : "without backup");
    const ChildResult r = RunRelocate(csv, backup);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("left unchanged"), std::string::npos) << r.err;
    if (!backup) {
      EXPECT_EQ(r.err, StreamWriteMessage(csv, "No space left on device") + ".\n");
    }
    EXPECT_TRUE(ReadBytes(csv) == listing.before);
    EXPECT_FALSE(fs::exists(mountPoint / "goods_备份.csv"));
    EXPECT_EQ(Temporaries(mountPoint), std::vector<std::string>{});
  }

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

  const ChildResult r = RunRelocate(csv, false);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Cannot create file \"" + csv.string() + "\". Read-only file system.\n");
  const ChildResult withBackup = RunRelocate(csv, true);
  EXPECT_EQ(withBackup.exitCode, 1);
  EXPECT_NE(withBackup.err.find("the CSV file was left unchanged"), std::string::npos)
      << withBackup.err;
  EXPECT_NE(withBackup.err.find("Read-only file system"), std::string::npos) << withBackup.err;
  EXPECT_TRUE(ReadBytes(csv) == listing.before);
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

TEST(PermissionFailure, UnprivilegedUserIsRefusedWhereThePermissionsSaySo) {
  if (const std::string why = WhyNoOtherUser(); !why.empty()) GTEST_SKIP() << why;
  SharedFolder shared;
  const Listing listing = MakeListing(50'000, 15);

  struct Case {
    const char* name;
    bool folderOwned;  // the folder belongs to the user (writable for it)
    uid_t csvOwner;
    mode_t csvMode;
    bool backup;
    uid_t backupOwner;  // of an existing backup; 0 with no backup file
    std::string message;
  };
  const Case cases[] = {
      {"folder-not-writable", false, kNobody, 0644, false, 0, "Cannot create file"},
      {"csv-not-writable", true, 0, 0644, false, 0, "Cannot create file"},
      {"csv-not-readable", true, 0, 0600, false, 0, "Cannot open file"},
      {"backup-not-writable", true, kNobody, 0644, true, 0, "could not be written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = shared.Sub(c.name, c.folderOwned);
    ASSERT_FALSE(folder.empty());
    const fs::path csv = folder / "goods.csv";
    WriteBytes(csv, listing.before);
    Own(csv, c.csvOwner, c.csvOwner == 0 ? 0 : kNoGroup, c.csvMode);
    const fs::path backupFile = folder / "goods_备份.csv";
    if (c.backup) {
      WriteBytes(backupFile, "the old backup");
      Own(backupFile, c.backupOwner, 0, 0644);
    }

    const ChildResult r = RunRelocate(csv, c.backup, AsNobody());

    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadBytes(csv) == listing.before);
    EXPECT_EQ(ModeOf(csv), c.csvMode) << "the CSV's mode was changed";
    if (c.backup) {
      EXPECT_EQ(ReadBytes(backupFile), "the old backup");
    }
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>{});
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
