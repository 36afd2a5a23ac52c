#include "core/platform.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/file_errors.h"
#include "core/utf.h"
#include "tests/support/other_process.h"
#include "tests/support/test_files.h"

namespace picrelink::platform {
namespace {

namespace fs = std::filesystem;
using test::ListNames;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

#ifndef _WIN32
std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

std::string Normal(const fs::path& path) { return path.lexically_normal().string(); }
#endif

// ------------------------------------------------------------ error texts

TEST(TrimErrorText, RemovesTrailingBlanksControlCharactersAndFullStops) {
  const std::pair<std::string, std::string> cases[] = {
      {"x. \n", "x"},
      {"Access is denied.\r\n", "Access is denied"},
      {"No such file or directory", "No such file or directory"},
      {"v1.2 failed .. \t.", "v1.2 failed"},
      {"a.b", "a.b"},
      {". .\r\n", ""},
      {"", ""},
      {"\x7F"
       "x\x7F",
       "\x7F"
       "x"},
      {"拒绝访问。\r\n", "拒绝访问。"},  // only the ASCII full stop counts
  };
  for (const auto& [text, trimmed] : cases) {
    EXPECT_EQ(TrimErrorText(text), trimmed) << testing::PrintToString(text);
  }
}

TEST(StampOf, TellsWhetherAFileIsStillTheOneSeen) {
  TempDir dir;
  const std::u16string file = dir.File("商品.csv");
  EXPECT_FALSE(StampOf(file).exists);
  EXPECT_FALSE(StampOf(u"").exists);
  WriteBytes(dir.path() / u8"商品.csv", "abc");
  const FileStamp first = StampOf(file);
  EXPECT_TRUE(first.exists);
  EXPECT_EQ(first.size, 3u);
  EXPECT_EQ(StampOf(file), first);
  // Another write of the same size shows in the time it was written.
  fs::last_write_time(dir.path() / u8"商品.csv",
                      fs::last_write_time(dir.path() / u8"商品.csv") - std::chrono::seconds(5));
  EXPECT_NE(StampOf(file), first);
  WriteBytes(dir.path() / u8"商品.csv", "abcd");
  EXPECT_EQ(StampOf(file).size, 4u);
}

// The POSIX half of the platform unit; tests/windows has the Win32 half.
#ifndef _WIN32

TEST(SystemErrorText, GivesTheSystemsTextForTheCode) {
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemErrorText(EISDIR), "Is a directory");
  EXPECT_EQ(SystemErrorText(EWOULDBLOCK), "Resource temporarily unavailable");
}

TEST(AbsolutePath, ExpandsAgainstTheCurrentFolder) {
  TempDir dir;
  test::CurrentFolderGuard cwd(dir.path());
  EXPECT_EQ(ToUtf8(AbsolutePath(u"a.csv")), Normal(dir.path() / "a.csv"));
  EXPECT_EQ(ToUtf8(AbsolutePath(u"x/./y/../中.csv")), Normal(dir.path() / "x/中.csv"));
  EXPECT_EQ(ToUtf8(AbsolutePath(u"/data/a.csv")), "/data/a.csv");
}

// ---------------------------------------------------------------- InputFile

TEST(InputFile, ReadsToTheEndAndHoldsTheFileUntilDestroyed) {
  TempDir dir;
  const fs::path file = dir.path() / "in.bin";
  WriteBytes(file, "0123456789");
  {
    InputFile in(dir.File("in.bin"));
    EXPECT_FALSE(test::OtherProcessCanLock(file));
    EXPECT_EQ(in.Size(), 10u);
    char buffer[8];
    EXPECT_EQ(in.Read(buffer, 8), 8u);
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    EXPECT_EQ(in.Read(buffer, 8), 2u);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(in.Read(buffer, 8), 0u);
    // Moved back into the file, and past its end.
    in.Seek(3);
    EXPECT_EQ(in.Read(buffer, 8), 7u);
    EXPECT_EQ(std::string(buffer, 7), "3456789");
    in.Seek(12);
    EXPECT_EQ(in.Read(buffer, 8), 0u);
  }
  EXPECT_TRUE(test::OtherProcessCanLock(file));
}

#ifndef _WIN32
// Another open of the file, holding a flock of its own (LOCK_SH or LOCK_EX)
// until released, as a second program would.
class OtherHold {
 public:
  OtherHold(const fs::path& file, int how) : fd_(open(file.c_str(), O_RDONLY | O_CLOEXEC)) {
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(flock(fd_, how | LOCK_NB), 0);
  }
  ~OtherHold() { Release(); }
  void Release() {
    if (fd_ >= 0) close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};

TEST(InputFile, ReadersAllowedGoesOnBesideAnotherReaderWhereTheExclusiveOpenIsRefused) {
  TempDir dir;
  const fs::path file = dir.path() / "in.csv";
  WriteBytes(file, "0123456789");
  OtherHold reader(file, LOCK_SH);
  InputFile shared(dir.File("in.csv"), Sharing::ReadersAllowed);
  char buffer[16];
  EXPECT_EQ(shared.Read(buffer, sizeof buffer), 10u);
  EXPECT_EQ(ErrorOf([&] { InputFile exclusive(dir.File("in.csv")); }),
            "Cannot open file \"" + Normal(file) +
                "\". It is being changed by another run or program (" +
                SystemErrorText(EWOULDBLOCK) + ")");
}

TEST(InputFile, ReadersAllowedWaitsOutAWritersShortHoldButNotALongOne) {
  TempDir dir;
  const fs::path file = dir.path() / "in.csv";
  WriteBytes(file, "0123456789");
  {
    OtherHold writer(file, LOCK_EX);
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      writer.Release();
    });
    EXPECT_EQ(ErrorOf([&] { InputFile shared(dir.File("in.csv"), Sharing::ReadersAllowed); }),
              "(no error)");
    release.join();
  }
  OtherHold writer(file, LOCK_EX);
  EXPECT_EQ(ErrorOf([&] { InputFile shared(dir.File("in.csv"), Sharing::ReadersAllowed); }),
            "Cannot open file \"" + Normal(file) +
                "\". It is being changed by another run or program (" +
                SystemErrorText(EWOULDBLOCK) + ")");
}
#endif

// ---------------------------------------------------------- ReplacementFile

TEST(ReplacementFile, WorksOnAHiddenPrivateTemporaryBesideTheTarget) {
  TempDir dir;
  const fs::path target = dir.path() / "data.csv";
  WriteBytes(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  {
    ReplacementFile out(dir.File("data.csv"));
    out.Write("new", 3);
    EXPECT_FALSE(test::OtherProcessCanLock(target));
    std::vector<fs::path> temporaries;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path() != target) temporaries.push_back(entry.path());
    }
    ASSERT_EQ(temporaries.size(), 1u);
    const std::string name = temporaries[0].filename().string();
    EXPECT_TRUE(name.starts_with(".data.csv.picrelink-")) << name;
    EXPECT_TRUE(name.ends_with(".tmp")) << name;
    EXPECT_EQ(name.size(), std::string(".data.csv.picrelink-XXXXXX.tmp").size()) << name;
    // Nobody may read the new content who could not read the old.
    EXPECT_EQ(fs::status(temporaries[0]).permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadBytes(target), "old");
  }
  // Never committed: the target keeps its bytes and the temporary is gone.
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(ListNames(dir.path()), "data.csv");
  EXPECT_TRUE(test::OtherProcessCanLock(target));
}

TEST(ReplacementFile, CommitPutsTheNewContentInPlace) {
  TempDir dir;
  const fs::path target = dir.path() / "data.csv";
  WriteBytes(target, "old content");
  ReplacementFile out(dir.File("data.csv"));
  out.Write("new ", 4);
  out.Write("", 0);
  out.Write("bytes", 5);
  out.Commit();
  EXPECT_EQ(ReadBytes(target), "new bytes");
  EXPECT_EQ(ListNames(dir.path()), "data.csv");
}

#ifndef _WIN32
// Large files on both sides: the replaced file's cached pages are released
// while the new one is flushed, and the new one is handed to the system's
// write-back as it is written. Neither may cost a byte, committed or not.
TEST(ReplacementFile, LargeFilesKeepEveryByteWhetherCommittedOrNot) {
  const auto pattern = [](size_t size, char first) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(first + i % 23);
    return bytes;
  };
  const std::string old = pattern(9 << 20, 'a');
  const std::string written = pattern((13 << 20) + 12345, 'A');
  for (const bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "committed" : "abandoned");
    TempDir dir;
    const fs::path target = dir.path() / "data.csv";
    WriteBytes(target, old);
    const int reader = open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    {
      ReplacementFile out(dir.File("data.csv"));
      for (size_t at = 0; at < written.size(); at += 65536) {
        out.Write(written.data() + at, std::min<size_t>(65536, written.size() - at));
      }
      if (commit) out.Commit();
    }
    EXPECT_TRUE(ReadBytes(target) == (commit ? written : old));
    EXPECT_EQ(ListNames(dir.path()), "data.csv");
    // The file that was replaced, as a program still reading it sees it.
    std::string seen(old.size() + 1, '\0');
    const ssize_t got = pread(reader, seen.data(), seen.size(), 0);
    close(reader);
    ASSERT_EQ(got, static_cast<ssize_t>(old.size()));
    seen.resize(old.size());
    EXPECT_TRUE(seen == old);
  }
}
#endif

// ------------------------------------------------------------- CopyFileOver

TEST(CopyFileOver, ReplacesAnExistingFileWithAnExactCopy) {
  TempDir dir;
  // Larger than the copy buffer, so that several rounds are needed.
  std::string content;
  for (int i = 0; content.size() < 2'500'000; ++i) content += std::to_string(i) + ',';
  WriteBytes(dir.path() / "goods.csv", content);
  WriteBytes(dir.path() / "goods_备份.csv", content + "an older and longer backup");
  CopyFileOver(dir.File("goods.csv"), dir.File("goods_备份.csv"));
  EXPECT_EQ(ReadBytes(dir.path() / "goods_备份.csv"), content);
  EXPECT_EQ(ReadBytes(dir.path() / "goods.csv"), content);
  EXPECT_EQ(ListNames(dir.path()), "goods.csv goods_备份.csv");
}

TEST(CopyFileOver, FailuresNameTheFileThatFailedAndChangeNothing) {
  TempDir dir;
  WriteBytes(dir.path() / "goods.csv", "source");
  WriteBytes(dir.path() / "backup.csv", "old backup");
  EXPECT_EQ(
      ErrorOf([&] { CopyFileOver(dir.File("missing.csv"), dir.File("backup.csv")); }),
      "Cannot open file \"" + Normal(dir.path() / "missing.csv") + "\". No such file or directory");
  EXPECT_EQ(ErrorOf([&] { CopyFileOver(dir.File("goods.csv"), dir.File("no/backup.csv")); }),
            "Cannot create file \"" + Normal(dir.path() / "no/backup.csv") +
                "\". No such file or directory");
  // A file copied over itself must not be emptied on the way.
  EXPECT_EQ(
      ErrorOf([&] { CopyFileOver(dir.File("goods.csv"), dir.File("goods.csv")); }),
      "Cannot create file \"" + Normal(dir.path() / "goods.csv") +
          "\". It is being changed by another run or program (Resource temporarily unavailable)");
  EXPECT_EQ(ReadBytes(dir.path() / "goods.csv"), "source");
  EXPECT_EQ(ReadBytes(dir.path() / "backup.csv"), "old backup");
  EXPECT_EQ(ListNames(dir.path()), "backup.csv goods.csv");
}

// --------------------------------------------------------------- ListFolder

TEST(ListFolder, ListsEveryEntryAndFlagsFolders) {
  TempDir dir;
  WriteBytes(dir.path() / "a.csv", "");
  WriteBytes(dir.path() / ".hidden.csv", "");
  fs::create_directory(dir.path() / "图片");
  fs::create_directory(dir.path() / ".hidden folder");
  fs::create_directory_symlink("图片", dir.path() / "link to folder");
  fs::create_symlink("nowhere", dir.path() / "dangling");

  // name, folder, link, hidden
  using Listed = std::tuple<std::string, bool, bool, bool>;
  std::vector<Listed> listed;
  for (const FolderEntry& entry : ListFolder(dir.Folder())) {
    listed.emplace_back(ToUtf8(entry.name), entry.isDirectory, entry.isLink, entry.isHidden);
  }
  std::sort(listed.begin(), listed.end());
  const std::vector<Listed> expected = {
      {".hidden folder", true, false, true}, {".hidden.csv", false, false, true},
      {"a.csv", false, false, false},        {"dangling", false, true, false},
      {"link to folder", true, true, false}, {"图片", true, false, false},
  };
  EXPECT_EQ(listed, expected);
}

TEST(ListFolder, MissingFolderIsAnError) {
  TempDir dir;
  EXPECT_THROW(ListFolder(dir.File("missing")), Error);
  EXPECT_THROW(ListFolder(dir.File("missing/")), Error);
}

// ------------------------------------------------------------ ProgramFolder

TEST(ProgramFolder, IsTheFolderHoldingThisTestProgram) {
  const std::u16string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), kLocalSeparator);
  EXPECT_EQ(folder.front(), u'/');
  bool holdsThisProgram = false;
  for (const auto& entry : fs::directory_iterator(test::ToPath(folder))) {
    std::error_code ignored;
    if (fs::equivalent(entry.path(), "/proc/self/exe", ignored)) holdsThisProgram = true;
  }
  EXPECT_TRUE(holdsThisProgram);
}

#endif  // _WIN32

}  // namespace
}  // namespace picrelink::platform
