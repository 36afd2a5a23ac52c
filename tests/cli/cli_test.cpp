#include "cli/cli.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
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
using Json = nlohmann::json;
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

// One description naming every reference, as a UTF-16 CSV file.
std::string ListingBytes(const std::vector<std::u16string>& references) {
  std::u16string description;
  for (const auto& reference : references) description += u"<img src=\"\"" + reference + u"\"\">";
  return Utf16FileBytes(u"\"标题\",\"描述\"\r\n\"商品\",\"" + description + u"\"\r\n");
}

// Picture files (paths relative to folder, "/" between components).
void MakePictures(const fs::path& folder, const std::vector<std::string>& pictures) {
  fs::create_directories(folder);
  for (const auto& picture : pictures) {
    const fs::path file = folder / fs::path(std::u8string(picture.begin(), picture.end()));
    fs::create_directories(file.parent_path());
    WriteBytes(file, "jpg");
  }
}

// The whole standard output as one JSON object: anything else there fails.
Json Parsed(const std::string& out) {
  try {
    return Json::parse(out);
  } catch (const Json::parse_error& e) {
    ADD_FAILURE() << e.what() << "\n" << out;
    return Json();
  }
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
  const std::string bytes =
      Utf16FileBytes(Listing(u"D:\\old\\item\\a.jpg", u"D:\\old\\item\\b.jpg"));
  WriteBytes(csv, bytes);

  const Result r =
      Cli({"relocate", "--dry-run", "--backup", csv.string(), "D:\\old\\item", "/new"});

  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Dry run: 2 path-form and 0 URL-form references would be rewritten.\n");
  EXPECT_EQ(ReadBytes(csv), bytes);
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
}

TEST_F(CliTest, NothingToDoExitsWithThree) {
  WriteBytes(csv,
             "\xEF\xBB\xBF"
             "D:\\old\\item\\a.jpg");  // UTF-8, not UTF-16
  const Result noMark = Cli({"relocate", csv.string(), "D:\\old\\item", "/new"});
  EXPECT_EQ(noMark.status, 3);
  EXPECT_EQ(ReadBytes(csv),
            "\xEF\xBB\xBF"
            "D:\\old\\item\\a.jpg");

  // An old folder that occurs nowhere (a typo), or equals the new one.
  WriteBytes(csv, Utf16FileBytes(u"D:\\old\\item\\a.jpg"));
  const Result typo = Cli({"relocate", csv.string(), "D:\\o1d\\item", "/new"});
  EXPECT_EQ(typo.status, 3);
  EXPECT_NE(typo.out.find("D:\\o1d\\item"), std::string::npos) << typo.out;
  EXPECT_EQ(Cli({"relocate", csv.string(), "D:\\old\\item", "d:\\OLD\\item\\"}).status, 3);
  EXPECT_EQ(ReadBytes(csv), Utf16FileBytes(u"D:\\old\\item\\a.jpg"));

  EXPECT_EQ(Cli({"relocate", "", "D:\\old\\item", "/new"}).status, 3);

  const Result json = Cli({"relocate", "--json", csv.string(), "D:\\o1d\\item", "/new"});
  EXPECT_EQ(json.status, 3);
  EXPECT_EQ(Parsed(json.out)["outcome"], "nothing_to_change");
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
}

TEST_F(CliTest, AutoProposesAndRelocatesLikeTheWindowAtStart) {
  WriteBytes(csv, Utf16FileBytes(
                      Listing(u"D:\\old\\pics\\item\\a.jpg", u"file:///D:/old/pics/item/b.jpg")));
  MakePictures(dir.path() / "item", {"a.jpg", "b.jpg"});
  const std::string item = folder + sep + "item";

  const Result dry = Cli({"auto", "--level", "0", "--dry-run", folder});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, csv.string() + "\nD:\\old\\pics\\item\n" + item + "\n" +
                         "Dry run: 1 path-form and 1 URL-form references would be rewritten.\n" +
                         "Pictures: 2 checked, 2 found, 0 missing\n");

  // With --json the three values are in the object, not on lines of their own.
  const Result json = Cli({"auto", "--level", "0", "--dry-run", "--json", folder});
  EXPECT_EQ(json.status, 0) << json.err;
  const Json object = Parsed(json.out);
  EXPECT_EQ(object["outcome"], "dry_run");
  EXPECT_EQ(object["csv"], csv.string());
  EXPECT_EQ(object["old_folder"], "D:\\old\\pics\\item");
  EXPECT_EQ(object["new_folder"], item);

  const Result run = Cli({"auto", "--level", "0", folder});
  EXPECT_EQ(run.status, 0) << run.err;
  std::u16string itemUrl = u"file:///" + FromUtf8(item);
  std::replace(itemUrl.begin(), itemUrl.end(), u'\\', u'/');
  EXPECT_EQ(ReadBytes(csv),
            Utf16FileBytes(Listing(FromUtf8(item) + u"\\a.jpg", itemUrl + u"/b.jpg")));
}

TEST_F(CliTest, AutoWithoutCsvDoesNothing) {
  const Result r = Cli({"auto", folder});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "\n\n" + folder + sep + "\n");
}

TEST(CliCheck, ExitStatusSaysWhetherEveryReferenceResolves) {
  const std::u16string a = u"D:\\old\\pics\\item\\a.jpg";
  const std::u16string b = u"file:///D:/old/pics/item/b.jpg";
  struct Case {
    const char* what;
    std::string csv;
    std::vector<std::string> pictures;  // under NEW; no NEW folder when empty
    int status;
    std::string says;  // on stderr
  };
  const Case cases[] = {
      {"every picture there", ListingBytes({a, b}), {"item/a.jpg", "item/b.jpg"}, 0, ""},
      {"a name that differs in letter case only",
       ListingBytes({u"D:\\old\\pics\\Item\\A.JPG"}),
       {"item/a.jpg"},
       0,
       ""},
      {"a picture missing", ListingBytes({a, b}), {"item/a.jpg"}, 4, "1 picture is missing"},
      {"a second folder named",
       ListingBytes({a, u"E:\\other\\pics\\item\\b.jpg"}),
       {"item/a.jpg", "item/b.jpg"},
       4,
       "1 reference names another folder"},
      {"no new folder", ListingBytes({a}), {}, 4, "does not exist"},
      {"no FF FE mark",
       "\xEF\xBB\xBF<img src=\"\"D:\\old\\pics\\item\\a.jpg\"\">",
       {"item/a.jpg"},
       3,
       "no UTF-16 text"},
      {"nothing behind the mark", "\xFF\xFE", {"item/a.jpg"}, 3, "no UTF-16 text"},
      {"no reference",
       Utf16FileBytes(u"\"标题\"\r\n\"a.jpg\"\r\n"),
       {"item/a.jpg"},
       3,
       "names no picture"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path csv = dir.path() / "goods.csv";
    WriteBytes(csv, c.csv);
    if (!c.pictures.empty()) MakePictures(dir.path() / "new", c.pictures);

    const Result r = Cli({"check", csv.string(), (dir.path() / "new").string()});

    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.says.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
  }
}

// A CSV whose references name the detected folder in three spellings and a
// second folder, beside a folder "new" that lacks one of the pictures.
class CheckTest : public CliTest {
 protected:
  void SetUp() override {
    WriteBytes(csv,
               ListingBytes({u"D:\\old\\pics\\item1\\a.jpg", u"file:///D:/old/pics/item1/b.jpg",
                             u"file:///D:/%6Fld/pics/item2/c.jpg", u"E:\\旧电脑\\图片\\x\\d.jpg"}));
    MakePictures(dir.path() / "new", {"item1/a.jpg", "item1/b.jpg"});
  }
  const std::string newFolder = folder + sep + "new";
  const std::string missing = newFolder + sep + "item2" + sep + "c.jpg";
};

TEST_F(CheckTest, JsonHoldsTheCensusAndThePictureCheck) {
  const Result r = Cli({"check", "--json", csv.string(), newFolder});

  EXPECT_EQ(r.status, 4);
  const Json o = Parsed(r.out);
  EXPECT_EQ(o["csv"], csv.string());
  EXPECT_EQ(o["level"], 1);
  EXPECT_EQ(o["references"], Json({{"total", 4}, {"path", 2}, {"url", 2}}));
  EXPECT_EQ(o["spellings"]["standard"], 3);
  EXPECT_EQ(o["spellings"]["percent-encoded"], 1);
  EXPECT_EQ(o["spellings"]["localhost"], 0);
  ASSERT_EQ(o["folders"].size(), 2u);
  EXPECT_EQ(o["folders"][0], Json({{"folder", "D:\\old\\pics"},
                                   {"references", 3},
                                   {"path", 1},
                                   {"url", 2},
                                   {"detected", true},
                                   {"local", false}}));
  EXPECT_EQ(o["folders"][1], Json({{"folder", "E:\\旧电脑\\图片"},
                                   {"references", 1},
                                   {"path", 1},
                                   {"url", 0},
                                   {"detected", false},
                                   {"local", false}}));
  EXPECT_EQ(o["folders_not_listed"], 0);
  EXPECT_EQ(o["detected_folder"], "D:\\old\\pics");
  EXPECT_EQ(o["new_folder"], newFolder);
  EXPECT_EQ(o["pictures"], Json({{"folder", newFolder},
                                 {"folder_exists", true},
                                 {"checked", 3},
                                 {"found", 2},
                                 {"found_ignoring_case", 0},
                                 {"missing", 1},
                                 {"not_checked", 1},
                                 {"missing_examples", Json::array({missing})},
                                 {"unreadable_folders", 0}}));
}

TEST_F(CheckTest, LinesAlignTheFoldersByTheColumnsTheyTakeOnScreen) {
  const Result r = Cli({"check", csv.string(), newFolder});

  EXPECT_EQ(r.status, 4);
  // Each Chinese letter takes two columns.
  EXPECT_EQ(r.out,
            "CSV: " + csv.string() + " (level 1)\n" +
                "References: 4 (path 2, url 2); spellings: standard 3, percent-encoded 1\n" +
                "Folders named:\n" + "  * D:\\old\\pics     3 (path 1, url 2)   <- detected\n" +
                "    E:\\旧电脑\\图片  1 (path 1, url 0)\n" + "New folder: " + newFolder + "\n" +
                "Pictures: 3 checked, 2 found, 1 missing, 1 not checked (other folders)\n" +
                "Missing:\n" + "  " + missing + "\n");
  EXPECT_EQ(r.err,
            "Needs a look: 1 picture is missing; 1 reference names another folder than the "
            "detected one.\n");
}

TEST_F(CliTest, CheckWithoutNewLooksInTheFolderBesideTheCsv) {
  WriteBytes(csv, ListingBytes({u"D:\\old\\pics\\item\\a.jpg"}));
  MakePictures(dir.path() / "pics", {"item/a.jpg"});

  const Result r = Cli({"check", "--json", csv.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  const Json o = Parsed(r.out);
  EXPECT_EQ(o["new_folder"], folder + sep + "pics");
  EXPECT_EQ(o["pictures"]["found"], 1);

  // A level lower, the detected folder and the one proposed beside the CSV
  // are "item", which is not there.
  const Result lower = Cli({"check", "--json", "--level", "0", csv.string()});
  EXPECT_EQ(lower.status, 4);
  const Json l = Parsed(lower.out);
  EXPECT_EQ(l["level"], 0);
  EXPECT_EQ(l["detected_folder"], "D:\\old\\pics\\item");
  EXPECT_EQ(l["new_folder"], folder + sep + "item");
  EXPECT_EQ(l["pictures"]["folder_exists"], false);
}

TEST_F(CliTest, RelocateExitsWithFourWhenSomethingNeedsALook) {
  MakePictures(dir.path() / "new", {"a.jpg", "b.jpg"});
  struct Case {
    const char* what;
    std::u16string second;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {"every picture there", u"file:///D:/old/item/b.jpg", 0, ""},
      {"a picture missing", u"file:///D:/old/item/c.jpg", 4, "1 picture is missing under"},
      // No pass rewrites a path with "/" inside.
      {"a reference left over", u"D:\\old/item\\b.jpg", 4,
       "1 reference still names the old folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(csv, ListingBytes({u"D:\\old\\item\\a.jpg", c.second}));

    const Result r = Cli({"relocate", csv.string(), "D:\\old\\item", folder + sep + "new"});

    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.says.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
  }
}

// A run with something in every part of its report: a URL in another
// spelling, a reference that stays, another folder and a missing picture.
class RunReportTest : public CliTest {
 protected:
  void SetUp() override {
    WriteBytes(csv, ListingBytes({u"D:\\old\\item\\a.jpg", u"file:///D:/old/item/b.jpg",
                                  u"file:///D:/%6Fld/item/c.jpg", u"E:\\other\\item\\d.jpg",
                                  u"D:\\old/item\\e.jpg"}));
    MakePictures(dir.path() / "new", {"a.jpg", "b.jpg"});
  }
  const std::string newFolder = folder + sep + "new";
};

TEST_F(RunReportTest, JsonHoldsTheWholeReport) {
  const std::string before = ReadBytes(csv);
  const Result dry =
      Cli({"relocate", "--dry-run", "--json", csv.string(), "D:\\old\\item", newFolder});
  EXPECT_EQ(dry.status, 4);
  EXPECT_EQ(Parsed(dry.out)["outcome"], "dry_run");
  EXPECT_EQ(ReadBytes(csv), before);

  const Result r = Cli({"relocate", "--json", csv.string(), "D:\\old\\item", newFolder});

  EXPECT_EQ(r.status, 4);
  const Json o = Parsed(r.out);
  EXPECT_EQ(o["outcome"], "written");
  EXPECT_EQ(o["csv"], csv.string());
  EXPECT_EQ(o["old_folder"], "D:\\old\\item");
  EXPECT_EQ(o["new_folder"], newFolder);
  // The success message goes into the object, not before it.
  EXPECT_EQ(o["message"].get<std::string>().rfind("调整成功！", 0), 0u);
  EXPECT_EQ(o["rewritten"], Json({{"total", 2}, {"path", 1}, {"url", 1}}));
  EXPECT_EQ(o["respelled"]["total"], 1);
  EXPECT_EQ(o["respelled"]["percent-encoded"], 1);
  EXPECT_EQ(o["leftovers"],
            Json({{"count", 1}, {"examples", Json::array({"D:\\old/item\\e.jpg"})}}));
  EXPECT_EQ(o["other_folders"], Json({{"references", 1}, {"folders", Json::array({"E:\\other"})}}));
  EXPECT_EQ(o["pictures"]["checked"], 3);
  EXPECT_EQ(o["pictures"]["found"], 2);
  EXPECT_EQ(o["pictures"]["missing_examples"], Json::array({newFolder + sep + "c.jpg"}));
}

TEST_F(RunReportTest, LinesFollowTheCountOfRewrittenReferences) {
  const Result r = Cli({"relocate", csv.string(), "D:\\old\\item", newFolder});

  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out,
            "调整成功！\n"
            "Rewritten: 1 path-form and 1 URL-form references.\n"
            "Respelled: 1 file URL in other spellings (percent-encoded 1).\n"
            "Left over: 1 reference still names the old folder:\n"
            "  D:\\old/item\\e.jpg\n"
            "Left alone: 1 reference to other folders:\n"
            "  E:\\other\n"
            "Pictures: 3 checked, 2 found, 1 missing\n"
            "Missing:\n"
            "  " +
                newFolder + sep + "c.jpg\n");
  EXPECT_EQ(r.err,
            "Needs a look: 1 reference still names the old folder; 1 picture is missing under " +
                newFolder + ".\n");
}

TEST(CliUsage, MistakesExitWithTwoAndHelpWithZero) {
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {"frobnicate"},
      {"detect"},
      {"detect", "a", "b"},
      {"relocate", "a", "b"},
      {"detect", "--backup", "a"},
      {"relocate", "--level", "0", "a", "b", "c"},
      {"detect", "--level"},
      {"--colour", "detect", "a"},
      {"check"},
      {"check", "a", "b", "c"},
      {"check", "--dry-run", "a"},
      {"detect", "--json", "a"},
      {"relocate", "--json", "a", "b"}};
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
