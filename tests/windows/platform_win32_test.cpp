#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/platform.h"
#include "core/text_file.h"
#include "core/utf.h"
#include "relocation/session/startup.h"
#include "tests/support/other_process.h"
#include "tests/support/test_files.h"
#include "tests/windows/windows_support.h"

namespace picrelink::platform {
namespace {

namespace fs = std::filesystem;
using test::AttributesOf;
using test::ListNames;
using test::OtherProgramOpenError;
using test::ReadBytes;
using test::SetAttributes;
using test::SystemText;
using test::TempDir;
using test::ToPath;
using test::Utf16FileBytes;
using test::WriteBytes;

constexpr DWORD kVisibleAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

std::string OpenError(const std::u16string& file, DWORD code) {
  return "Cannot open file \"" + ToUtf8(file) + "\". " + SystemText(code);
}

std::string CreateError(const std::u16string& file, DWORD code) {
  return "Cannot create file \"" + ToUtf8(file) + "\". " + SystemText(code);
}

// ------------------------------------------------------------ error texts

TEST(SystemErrorText, IsTheSystemsTextWithoutItsLineEndAndFullStop) {
  std::vector<std::string> texts;
  for (DWORD code :
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
    wchar_t* raw = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    ASSERT_GT(length, 0u) << code;
    const std::string system = ToUtf8(std::u16string(raw, raw + length));
    LocalFree(raw);

    const std::string text = SystemErrorText(static_cast<int>(code));
    SCOPED_TRACE(system);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(system.starts_with(text));
    EXPECT_LT(text.size(), system.size()) << "the system ends its texts in a line end";
    EXPECT_NE(text.back(), '.');
    EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
    texts.push_back(text);
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end()) << "one text per code";
  EXPECT_EQ(SystemErrorText(0x2345678), "Unknown error 36984440");
}

TEST(AbsolutePath, UsesDriveLettersAndBackslashes) {
  TempDir dir;
  test::CurrentFolderGuard cwd(dir.path());
  const std::u16string here = dir.Folder();
  ASSERT_EQ(here.substr(1, 2), u":\\");
  EXPECT_EQ(AbsolutePath(u"a.csv"), here + u"a.csv");
  EXPECT_EQ(AbsolutePath(u"x/./y/../中.csv"), here + u"x\\中.csv");
  EXPECT_EQ(AbsolutePath(u"D:\\pics\\item"), u"D:\\pics\\item");
  EXPECT_EQ(AbsolutePath(u"D:/pics/item/"), u"D:\\pics\\item\\");
  EXPECT_EQ(AbsolutePath(u""), u"");
}

// ---------------------------------------------------------------- InputFile

TEST(InputFile, ReadsToTheEndAndKeepsOtherProgramsOffUntilClosed) {
  TempDir dir;
  const fs::path file = dir.path() / "in.bin";
  WriteBytes(file, "0123456789");
  {
    InputFile in(dir.File("in.bin"));
    EXPECT_EQ(OtherProgramOpenError(file), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(in.Size(), 10u);
    char buffer[8];
    EXPECT_EQ(in.Read(buffer, 8), 8u);
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    EXPECT_EQ(in.Read(buffer, 8), 2u);
    EXPECT_EQ(in.Read(buffer, 8), 0u);
    in.Close();
    EXPECT_EQ(OtherProgramOpenError(file), 0u);
  }
}

// A second handle on the file, as a spreadsheet or the listing tool holds it:
// reading with others allowed to read (share-read), or share mode 0.
class SecondHandle {
 public:
  SecondHandle(const fs::path& file, DWORD share)
      : handle_(CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
  }
  ~SecondHandle() { Release(); }
  void Release() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  }

 private:
  HANDLE handle_;
};

// 0 when a handle of this access sharing everything opens the file now, else
// the error it gets.
DWORD OpenErrorFor(const fs::path& file, DWORD access) {
  HANDLE handle =
      CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(handle);
  return 0;
}

TEST(InputFile, ReadersAllowedLetsReadersInAndKeepsWritersOut) {
  TempDir dir;
  const fs::path file = dir.path() / "in.csv";
  WriteBytes(file, "0123456789");
  const std::u16string name = dir.File("in.csv");
  {
    SecondHandle reader(file, FILE_SHARE_READ);
    InputFile shared(name, Sharing::ReadersAllowed);
    char buffer[16];
    EXPECT_EQ(shared.Read(buffer, sizeof buffer), 10u);
    EXPECT_EQ(OpenErrorFor(file, GENERIC_READ), 0u);
    EXPECT_EQ(OpenErrorFor(file, GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // The run's hold is refused beside a reader.
    EXPECT_EQ(ErrorOf([&] { InputFile exclusive(name); }),
              OpenError(name, ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(OpenErrorFor(file, GENERIC_WRITE), 0u);
}

TEST(InputFile, ReadersAllowedWaitsOutAShortExclusiveHoldButNotALongOne) {
  TempDir dir;
  const fs::path file = dir.path() / "in.csv";
  WriteBytes(file, Utf16FileBytes(u"x"));
  const std::u16string name = dir.File("in.csv");
  {
    SecondHandle holder(file, 0);
    std::thread release([&] {
      Sleep(150);
      holder.Release();
    });
    EXPECT_EQ(ErrorOf([&] { ReadUtf16File(name); }), "(no error)");
    release.join();
  }
  SecondHandle holder(file, 0);
  EXPECT_EQ(ErrorOf([&] { ReadUtf16File(name); }), OpenError(name, ERROR_SHARING_VIOLATION));
}

TEST(ReadUtf16File, OpenFailuresNameTheAbsolutePathAndTheSystemsReason) {
  TempDir dir;
  fs::create_directory(dir.path() / "folder.csv");
  fs::create_directory(dir.path() / "sub");
  WriteBytes(dir.path() / "held.csv", Utf16FileBytes(u"x"));
  test::FileHeldByOtherProgram holder(dir.path() / "held.csv");

  test::CurrentFolderGuard cwd(dir.path());
  const std::pair<std::u16string, DWORD> cases[] = {
      {u"missing.csv", ERROR_FILE_NOT_FOUND},
      {u"missing\\a.csv", ERROR_PATH_NOT_FOUND},
      {u"folder.csv", ERROR_ACCESS_DENIED},  // Windows opens no folder as a file
      {u".\\sub\\..\\held.csv", ERROR_SHARING_VIOLATION},
  };
  for (const auto& [name, code] : cases) {
    SCOPED_TRACE(ToUtf8(name));
    EXPECT_EQ(ErrorOf([&] { ReadUtf16File(name); }), OpenError(AbsolutePath(name), code));
  }
  EXPECT_EQ(ErrorOf([] { ReadUtf16File(u"NUL"); }),
            "Cannot open file \"" + ToUtf8(AbsolutePath(u"NUL")) + "\". Not a regular file");
}

// ---------------------------------------------------------- ReplacementFile

TEST(ReplacementFile, WritesAHiddenTemporaryBesideTheTargetAndHoldsTheTarget) {
  TempDir dir;
  const fs::path target = dir.path() / "data.csv";
  WriteBytes(target, "old");
  {
    ReplacementFile out(dir.File("data.csv"));
    out.Write("new", 3);
    std::vector<fs::path> temporaries;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path() != target) temporaries.push_back(entry.path());
    }
    ASSERT_EQ(temporaries.size(), 1u);
    const std::string name = temporaries[0].filename().string();
    EXPECT_TRUE(name.starts_with(".data.csv.picrelink-")) << name;
    EXPECT_TRUE(name.ends_with(".tmp")) << name;
    EXPECT_EQ(name.size(), std::string(".data.csv.picrelink-XXXXXX.tmp").size()) << name;
    EXPECT_TRUE(AttributesOf(temporaries[0]) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(OtherProgramOpenError(target), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  // Never committed: the target keeps its bytes and the temporary is gone.
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(ListNames(dir.path()), "data.csv");
  EXPECT_EQ(OtherProgramOpenError(target), 0u);
}

TEST(ReplacementFile, RemovesOnlyAbandonedTemporariesOfTheSameFile) {
  TempDir dir;
  WriteBytes(dir.path() / "data.csv", "old");
  WriteBytes(dir.path() / ".data.csv.picrelink-AbC123.tmp", "left by a killed run");
  WriteBytes(dir.path() / ".data.csv.picrelink-LiVe99.tmp", "a live writer's");
  // Near misses, a folder and a file with a second name are never touched.
  const std::string kept[] = {".data.csv.picrelink-AbC12.tmp", ".data.csv.picrelink-AbC12!.tmp",
                              ".other.csv.picrelink-AbC123.tmp", "data.csv.picrelink-AbC123.tmp",
                              ".data.csv.picrelink-Link00.tmp"};
  for (const std::string& name : kept) WriteBytes(dir.path() / name, "x");
  ASSERT_TRUE(CreateHardLinkW((dir.path() / "second name").c_str(),
                              (dir.path() / ".data.csv.picrelink-Link00.tmp").c_str(), nullptr));
  fs::create_directory(dir.path() / ".data.csv.picrelink-Dir000.tmp");
  {
    test::FileHeldByOtherProgram writer(dir.path() / ".data.csv.picrelink-LiVe99.tmp");
    WriteUtf16File(u"new", dir.File("data.csv"));
  }
  EXPECT_EQ(ListNames(dir.path()),
            ".data.csv.picrelink-AbC12!.tmp .data.csv.picrelink-AbC12.tmp "
            ".data.csv.picrelink-Dir000.tmp .data.csv.picrelink-LiVe99.tmp "
            ".data.csv.picrelink-Link00.tmp .other.csv.picrelink-AbC123.tmp "
            "data.csv data.csv.picrelink-AbC123.tmp second name");
  EXPECT_EQ(ReadBytes(dir.path() / "data.csv"), Utf16FileBytes(u"new"));
}

TEST(ReplacementFile, TemporaryNamesAreUnpredictable) {
  TempDir dir;
  WriteBytes(dir.path() / "data.csv", "old");
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    ReplacementFile out(dir.File("data.csv"));
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "data.csv") names.push_back(name);
    }
  }
  ASSERT_EQ(names.size(), 3u);
  EXPECT_NE(names[0], names[1]);
  EXPECT_NE(names[1], names[2]);
}

TEST(WriteUtf16File, KeepsHiddenSystemAndArchiveAttributes) {
  const DWORD cases[] = {
      FILE_ATTRIBUTE_NORMAL,
      FILE_ATTRIBUTE_HIDDEN,
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
      FILE_ATTRIBUTE_ARCHIVE,
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE,
  };
  for (DWORD attributes : cases) {
    SCOPED_TRACE(attributes);
    TempDir dir;
    const fs::path file = dir.path() / "data.csv";
    WriteBytes(file, Utf16FileBytes(u"old"));
    SetAttributes(file, attributes);
    const DWORD before = AttributesOf(file) & kVisibleAttributes;

    WriteUtf16File(u"new", dir.File("data.csv"));

    EXPECT_EQ(AttributesOf(file) & kVisibleAttributes, before);
    EXPECT_EQ(ReadBytes(file), Utf16FileBytes(u"new"));
    EXPECT_EQ(ListNames(dir.path()), "data.csv");
  }
}

TEST(WriteUtf16File, NewFileIsNotHidden) {
  TempDir dir;
  WriteUtf16File(u"x", dir.File("new.csv"));
  EXPECT_FALSE(AttributesOf(dir.path() / "new.csv") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ReadBytes(dir.path() / "new.csv"), Utf16FileBytes(u"x"));
}

TEST(WriteUtf16File, CreateFailuresNameTheFileAndLeaveEverythingAsItWas) {
  TempDir dir;
  WriteBytes(dir.path() / "readonly.csv", "old readonly");
  SetAttributes(dir.path() / "readonly.csv", FILE_ATTRIBUTE_READONLY);
  WriteBytes(dir.path() / "held.csv", "old held");
  WriteBytes(dir.path() / "linked.csv", "old linked");
  ASSERT_TRUE(CreateHardLinkW((dir.path() / "other-name.csv").c_str(),
                              (dir.path() / "linked.csv").c_str(), nullptr));
  fs::create_directory(dir.path() / "folder.csv");
  const std::string before = ListNames(dir.path());
  {
    test::FileHeldByOtherProgram holder(dir.path() / "held.csv");
    test::CurrentFolderGuard cwd(dir.path());
    const std::pair<std::u16string, DWORD> cases[] = {
        {u"missing\\new.csv", ERROR_PATH_NOT_FOUND},
        {u"readonly.csv", ERROR_ACCESS_DENIED},
        {u"held.csv", ERROR_SHARING_VIOLATION},
        {u"folder.csv", ERROR_ACCESS_DENIED},
    };
    for (const auto& [name, code] : cases) {
      SCOPED_TRACE(ToUtf8(name));
      EXPECT_EQ(ErrorOf([&] { WriteUtf16File(u"new", name); }),
                CreateError(AbsolutePath(name), code));
    }
    EXPECT_EQ(ErrorOf([] { WriteUtf16File(u"new", u"linked.csv"); }),
              "Cannot create file \"" + ToUtf8(AbsolutePath(u"linked.csv")) +
                  "\". The file has more than one hard link");
    EXPECT_EQ(ListNames(dir.path()), before);
  }
  EXPECT_EQ(ReadBytes(dir.path() / "readonly.csv"), "old readonly");
  EXPECT_TRUE(AttributesOf(dir.path() / "readonly.csv") & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReadBytes(dir.path() / "held.csv"), "old held");
  EXPECT_EQ(ReadBytes(dir.path() / "other-name.csv"), "old linked");
}

TEST(WriteUtf16File, RewritesTheFileASymbolicLinkLeadsToAndKeepsTheLink) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  WriteBytes(dir.path() / "real" / "data.csv", "old");
  const fs::path link = dir.path() / "link.csv";
  if (!CreateSymbolicLinkW(link.c_str(), (dir.path() / "real" / "data.csv").c_str(),
                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "symbolic links need developer mode or the privilege here";
  }
  const DWORD linkAttributes = GetFileAttributesW(link.c_str());
  if (linkAttributes == INVALID_FILE_ATTRIBUTES ||
      !(linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "this system reports success but makes no symbolic link (wine)";
  }
  WriteUtf16File(u"new", dir.File("link.csv"));
  EXPECT_TRUE(AttributesOf(link) & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(ReadBytes(dir.path() / "real" / "data.csv"), Utf16FileBytes(u"new"));
  EXPECT_EQ(ListNames(dir.path() / "real"), "data.csv");
  EXPECT_EQ(ListNames(dir.path()), "link.csv real");
}

TEST(ReplacementFile, TakesOverTheHoldOfTheOriginalBeingRead) {
  TempDir dir;
  const fs::path file = dir.path() / "data.csv";
  WriteBytes(file, "old");
  InputFile original(dir.File("data.csv"));
  // Another hold of the same file by this program is refused like any other.
  EXPECT_EQ(ErrorOf([&] { ReplacementFile other(dir.File("data.csv")); }),
            CreateError(dir.File("data.csv"), ERROR_SHARING_VIOLATION));

  ReplacementFile out(dir.File("data.csv"), &original);
  out.Write("new", 3);
  EXPECT_EQ(OtherProgramOpenError(file), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  out.Commit();
  EXPECT_EQ(ReadBytes(file), "new");
  EXPECT_EQ(ListNames(dir.path()), "data.csv");
  EXPECT_EQ(OtherProgramOpenError(file), 0u);
}

// ------------------------------------------------------------- CopyFileOver

TEST(CopyFileOver, ReplacesAnExistingFileAndRefusesToCopyAFileOverItself) {
  TempDir dir;
  std::string content;
  for (int i = 0; content.size() < 2'500'000; ++i) content += std::to_string(i) + ',';
  WriteBytes(dir.path() / "goods.csv", content);
  const fs::path backup = ToPath(dir.File("goods_备份.csv"));
  WriteBytes(backup, content + "an older and longer backup");

  CopyFileOver(dir.File("goods.csv"), dir.File("goods_备份.csv"));
  EXPECT_EQ(ReadBytes(backup), content);

  EXPECT_EQ(ErrorOf([&] { CopyFileOver(dir.File("goods.csv"), dir.File("goods.csv")); }),
            CreateError(dir.File("goods.csv"), ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ErrorOf([&] { CopyFileOver(dir.File("missing.csv"), dir.File("goods.csv")); }),
            OpenError(dir.File("missing.csv"), ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ReadBytes(dir.path() / "goods.csv"), content);
  EXPECT_EQ(ListNames(dir.path()), "goods.csv goods_备份.csv");
}

// --------------------------------------------------------------- ListFolder

TEST(ListFolder, ListsHiddenSystemAndChineseEntriesAndFlagsFolders) {
  TempDir dir;
  WriteBytes(dir.path() / "a.csv", "");
  WriteBytes(dir.path() / "hidden.csv", "");
  SetAttributes(dir.path() / "hidden.csv", FILE_ATTRIBUTE_HIDDEN);
  WriteBytes(dir.path() / "system.csv", "");
  SetAttributes(dir.path() / "system.csv", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  WriteBytes(ToPath(dir.File("商品.csv")), "");
  fs::create_directory(ToPath(dir.File("图片")));
  fs::create_directory(dir.path() / "hidden folder");
  SetAttributes(dir.path() / "hidden folder", FILE_ATTRIBUTE_HIDDEN);

  const std::vector<std::pair<std::string, bool>> expected = {
      {"a.csv", false},      {"hidden folder", true}, {"hidden.csv", false},
      {"system.csv", false}, {"商品.csv", false},     {"图片", true},
  };
  const std::u16string withSeparator = dir.Folder();
  const std::u16string withoutSeparator = withSeparator.substr(0, withSeparator.size() - 1);
  for (const std::u16string& folder : {withSeparator, withoutSeparator}) {
    std::vector<std::pair<std::string, bool>> listed;
    for (const FolderEntry& entry : ListFolder(folder)) {
      listed.emplace_back(ToUtf8(entry.name), entry.isDirectory);
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
  }
  EXPECT_THROW(ListFolder(dir.File("missing")), Error);
  EXPECT_THROW(ListFolder(dir.File("a.csv")), Error);
  EXPECT_THROW(ListFolder(u""), Error);
}

// ------------------------------------------------------------ ProgramFolder

TEST(ProgramFolder, IsTheFolderOfThisProgramWithDriveAndTrailingBackslash) {
  const std::u16string folder = ProgramFolder();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder.substr(1, 2), u":\\");
  EXPECT_EQ(folder.back(), u'\\');
  EXPECT_TRUE(fs::exists(ToPath(folder + u"windows_tests.exe")));
}

// ------------------------------------------------------------- long paths

// Folders nested beyond MAX_PATH (260 units), which the plain file APIs
// refuse: removed here, since the usual clean-up may not reach them.
class DeepFolder {
 public:
  explicit DeepFolder(const TempDir& dir) {
    std::wstring path = L"\\\\?\\" + dir.path().wstring();
    for (int i = 0; i < 6; ++i) {
      path += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + i)) + L"图";
      if (!CreateDirectoryW(path.c_str(), nullptr)) throw std::runtime_error("CreateDirectoryW");
      levels_.push_back(path);
    }
  }
  ~DeepFolder() {
    const std::wstring deepest = levels_.back();
    WIN32_FIND_DATAW data{};
    HANDLE found = FindFirstFileW((deepest + L"\\*").c_str(), &data);
    if (found != INVALID_HANDLE_VALUE) {
      do {
        DeleteFileW((deepest + L"\\" + data.cFileName).c_str());
      } while (FindNextFileW(found, &data));
      FindClose(found);
    }
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
      RemoveDirectoryW(level->c_str());
    }
  }
  // The deepest folder in the plain form, ending in "\".
  std::u16string Folder() const {
    const std::wstring plain = levels_.back().substr(4) + L"\\";
    return std::u16string(plain.begin(), plain.end());
  }

 private:
  std::vector<std::wstring> levels_;
};

TEST(LongPaths, FilesBeyondMaxPathAreWrittenReadCopiedAndFound) {
  TempDir dir;
  DeepFolder deep(dir);
  const std::u16string folder = deep.Folder();
  ASSERT_GT(folder.size(), 300u);
  const std::u16string csv = folder + u"商品.csv";

  WriteUtf16File(u"first", csv);
  WriteUtf16File(u"second", csv);
  EXPECT_EQ(ReadUtf16File(csv), u"second");
  CopyFileOver(csv, folder + u"商品_备份.csv");
  EXPECT_EQ(ReadUtf16File(folder + u"商品_备份.csv"), u"second");
  EXPECT_EQ(ListFolder(folder).size(), 2u);
  EXPECT_EQ(FindCsvInFolder(folder), csv);
}

}  // namespace
}  // namespace picrelink::platform
