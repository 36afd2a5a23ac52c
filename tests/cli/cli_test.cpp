#include "cli/cli.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/utf.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::Utf16FileBytes;
using test::WriteBytes;

struct Result {
  int status;
  std::string out, err;
};

Result Cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = cli::Run(args, out, err);
  return {status, out.str(), err.str()};
}

std::u16string Listing(std::u16string_view first, std::u16string_view second) {
  return u"\"标题\",\"描述\"\r\n\"商品\",\"<img src=\"\"" + std::u16string(first) +
         u"\"\"><img src=\"\"" + std::u16string(second) + u"\"\">\"\r\n";
}

class CliTest : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path csv = dir.path() / "goods.csv";
  std::string folder = dir.path().string();
  std::string sep = ToUtf8(std::u16string(1, platform::kLocalSeparator));
};

TEST_F(CliTest, DetectPrintsTheFolderAtTheGivenLevel) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));

  EXPECT_EQ(Cli({"detect", csv.string()}).out, "D:\\old\\pics\n");
  EXPECT_EQ(Cli({"detect", "--level", "0", csv.string()}).out, "D:\\old\\pics\\item\n");
  EXPECT_EQ(Cli({"detect", "--level=0", csv.string()}).out, "D:\\old\\pics\\item\n");
}

TEST_F(CliTest, DetectPrintsAnEmptyLineWhenTheCsvNamesNoFolder) {
  WriteBytes(csv, Utf16FileBytes(u"no references here"));
  const Result r = Cli({"detect", "--level", "abc", csv.string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n");
}

TEST_F(CliTest, ErrorsGoToStderrAsTheErrorBoxShowsThem) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));
  const Result r = Cli({"detect", "--level", "0.5", csv.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "'0.5' is not a valid integer value.\n");

  const Result missing = Cli({"detect", (dir.path() / "missing.csv").string()});
  EXPECT_EQ(missing.status, 1);
#ifdef _WIN32
  const std::string notFound = platform::SystemErrorText(2);  // ERROR_FILE_NOT_FOUND
#else
  const std::string notFound = "No such file or directory";
#endif
  EXPECT_EQ(missing.err, "Cannot open file \"" + (dir.path() / "missing.csv").string() + "\". " +
                             notFound + ".\n");
}

TEST_F(CliTest, RelocateRewritesAndReportsTheCounts) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"d:\\OLD\\item\\a.jpg", u"file:///D:/old/item/b.jpg")));

  const Result r = Cli({"relocate", "--backup", csv.string(), "D:\\old\\item", "/srv/new item"});

  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "调整成功！\nRewritten: 1 path-form and 1 URL-form references.\n");
  EXPECT_EQ(ReadBytes(csv),
            Utf16FileBytes(Listing(u"/srv/new item\\a.jpg", u"file:////srv/new%20item/b.jpg")));
  EXPECT_EQ(ReadBytes(test::ToPath(dir.File("goods_备份.csv"))),
            Utf16FileBytes(Listing(u"d:\\OLD\\item\\a.jpg", u"file:///D:/old/item/b.jpg")));
}

TEST_F(CliTest, DryRunCountsAndWritesNothing) {
  const std::string bytes = Utf16FileBytes(Listing(u"D:\\old\\item\\a.jpg", u"D:\\old\\item\\b.jpg"));
  WriteBytes(csv, bytes);

  const Result r = Cli({"relocate", "--dry-run", "--backup", csv.string(), "D:\\old\\item", "/new"});

  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Dry run: 2 path-form and 0 URL-form references would be rewritten.\n");
  EXPECT_EQ(ReadBytes(csv), bytes);
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
}

TEST_F(CliTest, NothingToDoExitsWithThree) {
  WriteBytes(csv, "\xEF\xBB\xBF" "D:\\old\\item\\a.jpg");  // UTF-8, not UTF-16
  const Result noMark = Cli({"relocate", csv.string(), "D:\\old\\item", "/new"});
  EXPECT_EQ(noMark.status, 3);
  EXPECT_EQ(ReadBytes(csv), "\xEF\xBB\xBF" "D:\\old\\item\\a.jpg");

  WriteBytes(csv, Utf16FileBytes(u"D:\\old\\item"));
  EXPECT_EQ(Cli({"relocate", csv.string(), "D:\\old\\item", ""}).status, 3);
  EXPECT_EQ(ReadBytes(csv), Utf16FileBytes(u"D:\\old\\item"));

  EXPECT_EQ(Cli({"relocate", "", "D:\\old\\item", "/new"}).status, 3);
}

TEST_F(CliTest, AutoProposesAndRelocatesLikeTheWindowAtStart) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"file:///D:/old/pics/item/b.jpg")));
  fs::create_directory(dir.path() / "item");

  const Result dry = Cli({"auto", "--level", "0", "--dry-run", folder});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, csv.string() + "\nD:\\old\\pics\\item\n" + folder + sep + "item\n" +
                         "Dry run: 1 path-form and 1 URL-form references would be rewritten.\n");

  const Result run = Cli({"auto", "--level", "0", folder});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::u16string item = FromUtf8(folder + sep + "item");
  std::u16string itemUrl = u"file:///" + item;
  std::replace(itemUrl.begin(), itemUrl.end(), u'\\', u'/');
  EXPECT_EQ(ReadBytes(csv), Utf16FileBytes(Listing(item + u"\\a.jpg", itemUrl + u"/b.jpg")));
}

TEST_F(CliTest, AutoWithoutCsvDoesNothing) {
  const Result r = Cli({"auto", folder});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "\n\n" + folder + sep + "\n");
}

TEST(CliUsage, MistakesExitWithTwoAndHelpWithZero) {
  const std::vector<std::vector<std::string>> mistakes = {
      {}, {"frobnicate"}, {"detect"}, {"detect", "a", "b"}, {"relocate", "a", "b"},
      {"detect", "--backup", "a"}, {"relocate", "--level", "0", "a", "b", "c"},
      {"detect", "--level"}, {"--colour", "detect", "a"}};
  for (const auto& args : mistakes) {
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
    EXPECT_NE(r.err.find("usage: picrelink-cli"), std::string::npos);
  }
  const Result help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("relocate"), std::string::npos);
}

// tests/windows runs the Windows program as a Windows user would.
#if defined(PICRELINK_CLI_BINARY) && !defined(_WIN32)
// A few runs of the real program, for its exit status and its streams.
Result RunBinary(const std::string& arguments) {
  TempDir scratch;
  const fs::path errFile = scratch.path() / "stderr";
  const std::string command =
      std::string(PICRELINK_CLI_BINARY) + " " + arguments + " 2>'" + errFile.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "", "popen failed"};
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, ReadBytes(errFile)};
}

TEST_F(CliTest, RealProgramReportsThroughItsExitStatus) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\item\\a.jpg", u"x")));

  const Result run = RunBinary("relocate '" + csv.string() + "' 'D:\\old\\item' /new");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "调整成功！\nRewritten: 1 path-form and 0 URL-form references.\n");

  const Result missing = RunBinary("relocate '" + folder + "/none.csv' 'D:\\old' /new");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Cannot open file"), std::string::npos);

  WriteBytes(csv, "plain text");
  EXPECT_EQ(RunBinary("relocate '" + csv.string() + "' 'D:\\old' /new").status, 3);
  EXPECT_EQ(ReadBytes(csv), "plain text");

  EXPECT_EQ(RunBinary("relocate").status, 2);
}
#endif

}  // namespace
}  // namespace picrelink
