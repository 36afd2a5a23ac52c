#include "core/text_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif
#include <filesystem>
#include <functional>
#include <string>

#include "core/error.h"
#include "core/utf.h"
#include "tests/support/other_process.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::ListNames;
using test::ReadBytes;
using test::TempDir;
using test::Utf16FileBytes;
using test::WriteBytes;

// The message of the error the call raises, or a marker when it raises none.
std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

std::string AbsoluteName(const TempDir& dir, const std::string& name) {
  return (dir.path() / name).lexically_normal().string();
}

std::string OpenError(const TempDir& dir, const std::string& name, const std::string& reason) {
  return "Cannot open file \"" + AbsoluteName(dir, name) + "\". " + reason;
}

#ifndef _WIN32
std::string CreateError(const TempDir& dir, const std::string& name, const std::string& reason) {
  return "Cannot create file \"" + AbsoluteName(dir, name) + "\". " + reason;
}

mode_t ModeOf(const fs::path& file) {
  struct stat st {};
  EXPECT_EQ(lstat(file.c_str(), &st), 0);
  return st.st_mode & 07777;
}
#endif

// ------------------------------------------------------------ ReadUtf16File

TEST(ReadUtf16File, TakesTheTextBehindTheMarkOnly) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"\xFF\xFE\x41\x00"s, u"A"},
      {"\xFF\xFE\x41\x00\x42"s, u"A"},  // an odd last byte is no code unit
      {"\xFF\xFE\x2D\x4E\x0D\x00\x0A\x00"s, u"中\r\n"},
      {"\xFF\xFE\x00\xD8\x41\x00"s,
       u"\xD800"
       u"A"},  // a lone surrogate stays as it is
      {"\xFF\xFE"s, u""},
      {"\xFE\xFF\x00\x41"s, u""},
      {"\xEF\xBB\xBF\x41"s, u""},
      {"\xFF"s, u""},
      {""s, u""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    WriteBytes(dir.path() / "in.csv", c.bytes);
    EXPECT_EQ(ReadUtf16File(dir.File("in.csv")), c.text);
  }
}

TEST(ReadUtf16File, EmptyNameGivesEmptyTextWithoutTouchingFiles) {
  // Opening "" would fail with "No such file or directory".
  EXPECT_EQ(ReadUtf16File(u""), u"");
}

// Failures, permissions, links and long names as POSIX systems have them;
// tests/windows covers them with share modes and file attributes.
#ifndef _WIN32
TEST(ReadUtf16File, OpenFailuresNameTheAbsolutePathAndTheReason) {
  TempDir dir;
  fs::create_directory(dir.path() / "folder.csv");
  fs::create_directory(dir.path() / "sub");
  ASSERT_EQ(mkfifo((dir.path() / "fifo.csv").c_str(), 0600), 0);
  WriteBytes(dir.path() / "held.csv", Utf16FileBytes(u"x"));
  test::FileHeldByOtherProcess holder(dir.path() / "held.csv");

  test::CurrentFolderGuard cwd(dir.path());
  test::HangGuard noHang;  // a FIFO must be refused, not waited on
  EXPECT_EQ(ErrorOf([] { ReadUtf16File(u"missing.csv"); }),
            OpenError(dir, "missing.csv", "No such file or directory"));
  EXPECT_EQ(ErrorOf([] { ReadUtf16File(u"folder.csv"); }),
            OpenError(dir, "folder.csv", "Is a directory"));
  EXPECT_EQ(ErrorOf([] { ReadUtf16File(u"fifo.csv"); }),
            OpenError(dir, "fifo.csv", "Not a regular file"));
  EXPECT_EQ(ErrorOf([] { ReadUtf16File(u"./sub/../held.csv"); }),
            OpenError(dir, "held.csv", "It is being changed by another run or program (Resource temporarily unavailable)"));
}

#endif

TEST(ReadUtf16File, RefusesFilesOfTwoGibibytesBeforeReading) {
  TempDir dir;
  const fs::path big = dir.path() / "big.csv";
  WriteBytes(big, "\xFF\xFE");
  fs::resize_file(big, uint64_t{1} << 31);  // sparse: takes no disk space
  EXPECT_EQ(ErrorOf([&] { ReadUtf16File(dir.File("big.csv")); }),
            OpenError(dir, "big.csv", "File too large"));
}

// ----------------------------------------------------------- WriteUtf16File

TEST(WriteUtf16File, WritesMarkAndCodeUnitsThatReadBackUnchanged) {
  TempDir dir;
  const std::u16string text = u"a\xD800 b\r\n\xDC00中\0\xFFFF end\n"s;
  WriteUtf16File(text, dir.File("out.csv"));
  EXPECT_EQ(ReadBytes(dir.path() / "out.csv"), Utf16FileBytes(text));
  EXPECT_EQ(ReadUtf16File(dir.File("out.csv")), text);

  WriteUtf16File(u"", dir.File("empty.csv"));
  EXPECT_EQ(ReadBytes(dir.path() / "empty.csv"), "\xFF\xFE");
  EXPECT_EQ(ListNames(dir.path()), "empty.csv out.csv");
}

TEST(WriteUtf16File, LargeTextReadsBackWhole) {
  TempDir dir;
  std::u16string text;
  for (char16_t unit = 0; text.size() < 3'000'000; ++unit) text.push_back(unit);
  WriteUtf16File(text, dir.File("big.csv"));
  EXPECT_EQ(fs::file_size(dir.path() / "big.csv"), 2 + 2 * text.size());
  EXPECT_TRUE(ReadUtf16File(dir.File("big.csv")) == text);  // no 6 MB dump on failure
}

TEST(WriteUtf16File, OverALongerFileLeavesExactlyTheNewBytes) {
  TempDir dir;
  WriteBytes(dir.path() / "data.csv", Utf16FileBytes(u"a much longer old content"));
  WriteUtf16File(u"new", dir.File("data.csv"));
  EXPECT_EQ(ReadBytes(dir.path() / "data.csv"), Utf16FileBytes(u"new"));
  EXPECT_EQ(ListNames(dir.path()), "data.csv");
}

#ifndef _WIN32
TEST(WriteUtf16File, KeepsThePermissionBitsOfTheReplacedFile) {
  TempDir dir;
  for (mode_t mode : {0640, 0600, 0664, 0755}) {
    SCOPED_TRACE(mode);
    const fs::path file = dir.path() / "data.csv";
    WriteBytes(file, "old");
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
    WriteUtf16File(u"new", dir.File("data.csv"));
    EXPECT_EQ(ModeOf(file), mode);
    EXPECT_EQ(ReadBytes(file), Utf16FileBytes(u"new"));
  }
}

TEST(WriteUtf16File, NewFileGetsTheUsualModeForNewFiles) {
  TempDir dir;
  const mode_t previous = umask(027);
  WriteUtf16File(u"x", dir.File("new.csv"));
  umask(previous);
  EXPECT_EQ(ModeOf(dir.path() / "new.csv"), 0640);
}

TEST(WriteUtf16File, RewritesTheTargetOfASymbolicLinkAndKeepsTheLink) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  WriteBytes(dir.path() / "real" / "data.csv", "old");
  // Relative targets count from the link's own folder, not the current one.
  fs::create_directory(dir.path() / "links");
  fs::create_symlink("../real/data.csv", dir.path() / "links" / "hop.csv");
  fs::create_symlink("hop.csv", dir.path() / "links" / "data.csv");

  WriteUtf16File(u"new", dir.File("links/data.csv"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "data.csv"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "links" / "hop.csv"));
  EXPECT_EQ(ReadBytes(dir.path() / "real" / "data.csv"), Utf16FileBytes(u"new"));
  EXPECT_EQ(ListNames(dir.path() / "real"), "data.csv");
  EXPECT_EQ(ListNames(dir.path() / "links"), "data.csv hop.csv");
}

TEST(WriteUtf16File, DanglingLinkCreatesTheFileItNames) {
  TempDir dir;
  fs::create_symlink("target.csv", dir.path() / "link.csv");
  WriteUtf16File(u"new", dir.File("link.csv"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.csv"));
  EXPECT_EQ(ReadBytes(dir.path() / "target.csv"), Utf16FileBytes(u"new"));
}

TEST(WriteUtf16File, LinkLoopIsRefused) {
  TempDir dir;
  fs::create_symlink("b.csv", dir.path() / "a.csv");
  fs::create_symlink("a.csv", dir.path() / "b.csv");
  EXPECT_EQ(ErrorOf([&] { WriteUtf16File(u"x", dir.File("a.csv")); }),
            CreateError(dir, "a.csv", "Too many levels of symbolic links"));
  EXPECT_EQ(ListNames(dir.path()), "a.csv b.csv");
}

TEST(WriteUtf16File, CreateFailuresLeaveEverythingAsItWas) {
  TempDir dir;
  WriteBytes(dir.path() / "readonly.csv", "old readonly");
  ASSERT_EQ(chmod((dir.path() / "readonly.csv").c_str(), 0444), 0);
  WriteBytes(dir.path() / "held.csv", "old held");
  WriteBytes(dir.path() / "linked.csv", "old linked");
  fs::create_hard_link(dir.path() / "linked.csv", dir.path() / "other-name.csv");
  fs::create_directory(dir.path() / "folder.csv");
  ASSERT_EQ(mkfifo((dir.path() / "fifo.csv").c_str(), 0600), 0);
  test::FileHeldByOtherProcess holder(dir.path() / "held.csv");
  const std::string before = ListNames(dir.path());

  struct Case {
    std::string name;
    std::string reason;
  };
  const Case cases[] = {
      {"missing/new.csv", "No such file or directory"},
      {"readonly.csv", "Permission denied"},  // refused even for the superuser
      {"held.csv", "It is being changed by another run or program (Resource temporarily unavailable)"},
      {"linked.csv", "The file has more than one hard link"},
      {"folder.csv", "Is a directory"},
      {"fifo.csv", "Not a regular file"},
  };
  test::CurrentFolderGuard cwd(dir.path());
  test::HangGuard noHang;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ErrorOf([&] { WriteUtf16File(u"new", FromUtf8(c.name)); }),
              CreateError(dir, c.name, c.reason));
  }
  EXPECT_EQ(ListNames(dir.path()), before);
  EXPECT_EQ(ReadBytes(dir.path() / "readonly.csv"), "old readonly");
  EXPECT_EQ(ReadBytes(dir.path() / "held.csv"), "old held");
  EXPECT_EQ(ReadBytes(dir.path() / "other-name.csv"), "old linked");
}

TEST(WriteUtf16File, UnwritableFolderIsACreateErrorNamingTheFile) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser writes into any folder";
  TempDir dir;
  fs::create_directory(dir.path() / "locked");
  WriteBytes(dir.path() / "locked" / "data.csv", "old");
  ASSERT_EQ(chmod((dir.path() / "locked").c_str(), 0555), 0);
  EXPECT_EQ(ErrorOf([&] { WriteUtf16File(u"x", dir.File("locked/data.csv")); }),
            CreateError(dir, "locked/data.csv", "Permission denied"));
  EXPECT_EQ(ReadBytes(dir.path() / "locked" / "data.csv"), "old");
}

// Lowers the largest file this process may write, so that a write runs out
// of room the way it does on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit lower = previous_;
    lower.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lower);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST(WriteUtf16File, IncompleteWriteIsAStreamWriteErrorAndKeepsTheOldFile) {
  TempDir dir;
  WriteBytes(dir.path() / "data.csv", "old");
  const std::u16string text(5000, u'x');
  std::string error;
  {
    FileSizeLimit limit(4096);
    error = ErrorOf([&] { WriteUtf16File(text, dir.File("data.csv")); });
  }
  EXPECT_EQ(error, "Stream write error. The file \"" + AbsoluteName(dir, "data.csv") +
                       "\" was left unchanged. File too large");
  EXPECT_EQ(ReadBytes(dir.path() / "data.csv"), "old");
  EXPECT_EQ(ListNames(dir.path()), "data.csv");
}

TEST(WriteUtf16File, LongFileNameStillGetsATemporaryFile) {
  TempDir dir;
  // 255 bytes, the usual limit for a name.
  const std::string name = std::string(199, 'n') + "中" + std::string(49, 'n') + ".csv";
  ASSERT_EQ(name.size(), 255u);
  WriteUtf16File(u"x", dir.File(name));
  EXPECT_EQ(ReadBytes(dir.path() / name), Utf16FileBytes(u"x"));
  EXPECT_EQ(ListNames(dir.path()), name);
}

#endif  // _WIN32

}  // namespace
}  // namespace picrelink
