// picrelink-cli.exe run as a Windows user runs it: Chinese paths passed on
// the command line (they reach the program in UTF-16, whatever the ANSI
// code page), UTF-8 on its output streams.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/utf.h"
#include "tests/support/test_files.h"
#include "tests/windows/windows_support.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::ToPath;
using test::Utf16FileBytes;
using test::WriteBytes;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

test::ProgramResult Cli(const std::vector<std::u16string>& args) {
  std::vector<std::wstring> wide;
  for (const auto& arg : args) wide.push_back(Wide(arg));
  return test::RunProgram(test::BesideThisProgram(L"picrelink-cli.exe"), wide);
}

std::u16string Listing(std::u16string_view reference) {
  return u"\"描述\"\r\n\"<img src=\"\"" + std::u16string(reference) + u"\"\">\"\r\n";
}

class CliOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(ToPath(shop));
    WriteBytes(ToPath(csv), Utf16FileBytes(Listing(u"D:\\旧图\\宝贝\\a.jpg")));
  }

  TempDir dir;
  const std::u16string shop = dir.Folder() + u"店铺 资料\\";
  const std::u16string csv = shop + u"商品.csv";
};

TEST_F(CliOnWindows, ChinesePathsArriveWholeAndTheOutputIsUtf8) {
  fs::create_directory(ToPath(shop + u"宝贝"));
  WriteBytes(ToPath(shop + u"宝贝\\a.jpg"), "jpg");
  const test::ProgramResult detect = Cli({u"detect", u"--level", u"0", csv});
  EXPECT_EQ(detect.exitCode, 0u) << detect.err;
  EXPECT_EQ(detect.out, "D:\\旧图\\宝贝\n");

  // The folder argument ends in "\", which a naive quoting would swallow.
  const test::ProgramResult run = Cli({u"auto", u"--level", u"0", u"--backup", shop});
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, "CSV: " + ToUtf8(csv) + "\nFolder named in the CSV: D:\\旧图\\宝贝\n" +
                         "New folder: " + ToUtf8(shop) + "宝贝\n调整成功！\n" +
                         "Rewritten: 1 path-form and 0 URL-form references.\n" + "Backup: " +
                         ToUtf8(shop) + "商品_备份.csv\n" + "To undo: picrelink-cli restore \"" +
                         ToUtf8(csv) + "\" (puts " + ToUtf8(shop) + "商品_备份.csv back)\n" +
                         "Pictures: 1 checked, 1 found, 0 missing\n");
  EXPECT_EQ(ReadBytes(ToPath(csv)), Utf16FileBytes(Listing(shop + u"宝贝\\a.jpg")));
  EXPECT_EQ(ReadBytes(ToPath(shop + u"商品_备份.csv")),
            Utf16FileBytes(Listing(u"D:\\旧图\\宝贝\\a.jpg")));
}

// A Windows name may hold an unpaired surrogate, which UTF-8 cannot carry:
// the argument reaches the file as it is, and messages show U+FFFD for it.
TEST_F(CliOnWindows, ANameWithAnUnpairedSurrogateArrivesWhole) {
  const test::ProgramResult gone = Cli({u"detect", shop + u"\xDC00.csv"});
  EXPECT_EQ(gone.exitCode, 1u);
  EXPECT_EQ(gone.err.rfind("Cannot open file \"" + ToUtf8(shop) + "\xEF\xBF\xBD.csv\". ", 0), 0u)
      << gone.err;

  const std::u16string named = shop + u"商品\xD800.csv";
  const std::string before = Utf16FileBytes(Listing(u"D:\\旧图\\宝贝\\a.jpg"));
  {
    const HANDLE file = CreateFileW(Wide(named).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    // Windows file systems hold such names; wine's, on a Linux one, cannot.
    if (file == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no file can have this name here";
    DWORD written = 0;
    WriteFile(file, before.data(), static_cast<DWORD>(before.size()), &written, nullptr);
    CloseHandle(file);
  }

  const test::ProgramResult run = Cli({u"relocate", named, u"D:\\旧图\\宝贝", u"E:\\新图\\宝贝"});
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(ReadBytes(ToPath(named)), Utf16FileBytes(Listing(u"E:\\新图\\宝贝\\a.jpg")));
}

TEST_F(CliOnWindows, CsvHeldByAnotherProgramIsAnErrorAndStaysUnchanged) {
  const std::string before = ReadBytes(ToPath(csv));
  test::ProgramResult run;
  {
    test::FileHeldByOtherProgram holder(ToPath(csv));
    run = Cli({u"relocate", csv, u"D:\\旧图\\宝贝", u"E:\\新图\\宝贝"});
  }

  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_EQ(run.out, "");
  // As the error box shows it: one "." after the system's text.
  EXPECT_EQ(run.err, "Cannot open file \"" + ToUtf8(csv) + "\". " +
                         test::SystemText(ERROR_SHARING_VIOLATION) + ".\n");
  EXPECT_EQ(ReadBytes(ToPath(csv)), before);
}

}  // namespace
}  // namespace picrelink
