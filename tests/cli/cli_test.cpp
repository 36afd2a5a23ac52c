#include "cli/cli.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/report.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/references/csv_encoding.h"
#include "relocation/references/reference_spelling.h"
#include "tests/support/cli_call.h"
#include "tests/support/other_process.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using test::ReadBytes;
using test::TempDir;
using test::Utf16FileBytes;
using test::WriteBytes;

using Result = test::CliResult;
using test::Cli;
using test::Holds;

// What relocate and auto add when the new folder is a folder of this machine
// that does not exist.
constexpr const char* kNewFolderMissingLine =
    "Warning: the new folder does not exist: the references now point there, but their pictures "
    "cannot load. Put the pictures there, or relocate again with the right folder.\n";

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

TEST_F(CliTest, DetectPrintsAnEmptyLineAndSaysWhyWhenTheCsvNamesNoFolder) {
  WriteBytes(csv, Utf16FileBytes(u"no references here: C:\\pics\\a.jpg"));
  const Result r = Cli({"detect", "--level", "abc", csv.string()});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "\n");
  // Which forms were looked for.
  EXPECT_EQ(r.err,
            "Nothing found: the CSV names no picture (looked for references in path form "
            "src=\"\"D:\\...\"\" and in URL form src=\"\"file:///D:/...\"\").\n");
}

TEST_F(CliTest, ErrorsGoToStderrAsTheErrorBoxShowsThem) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));
  const Result r = Cli({"detect", "--level", "0.5", csv.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  // The error box's text, then what to do.
  EXPECT_EQ(r.err,
            "'0.5' is not a valid integer value.\nThe level is a whole number: use 0 (the "
            "pictures' own folder) or 1 (the folder above it), as in --level 1\n");

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

TEST_F(CliTest, RelocateRewritesAndReportsTheCountsTheBackupAndTextOutsideReferences) {
  // The old folder once in a title, outside any picture reference.
  const std::u16string before = u"\"D:\\old\\item\"" + Listing(u"d:\\OLD\\item\\a.jpg", u"x");
  WriteBytes(csv, Utf16FileBytes(before));
  const std::string backup = ToUtf8(dir.File("goods_备份.csv"));

  const Result dry =
      Cli({"relocate", "--dry-run", "--backup", csv.string(), "D:\\old\\item", "/new"});
  // /new is not there: written as asked, and said (status 4).
  EXPECT_EQ(dry.status, 4) << dry.err;
  EXPECT_EQ(dry.out,
            "Dry run: 2 path-form and 0 URL-form references would be rewritten.\n"
            "Backup would go to: " +
                backup +
                "\n"
                "Warning: 1 of the occurrences to rewrite stand outside picture references (in "
                "other text); check that they are meant to change.\n" +
                kNewFolderMissingLine);
  EXPECT_EQ(dry.err, "Needs a look: the new folder " + ToUtf8(platform::AbsolutePath(u"/new")) +
                         " does not exist.\n");

  const std::string newItem = folder + sep + "new item";
  const Result r = Cli({"relocate", "--backup", csv.string(), "D:\\old\\item", newItem});

  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(r.out,
            "调整成功！\n"
            "Rewritten: 2 path-form and 0 URL-form references.\n"
            "Backup: " +
                backup +
                "\n"
                "To undo: picrelink-cli restore \"" +
                csv.string() + "\" (puts " + backup +
                " back)\n" +  // the dry run, the preflight, is what counts text outside
                kNewFolderMissingLine);
  EXPECT_EQ(ReadBytes(csv), Utf16FileBytes(u"\"" + FromUtf8(newItem) + u"\"" +
                                           Listing(FromUtf8(newItem) + u"\\a.jpg", u"x")));
  EXPECT_EQ(ReadBytes(test::ToPath(dir.File("goods_备份.csv"))), Utf16FileBytes(before));

  WriteBytes(csv, Utf16FileBytes(before));
  EXPECT_EQ(Parsed(Cli({"relocate", "--dry-run", "--json", csv.string(), "D:\\old\\item", "/new"})
                       .out)["outside_references"],
            1);
  const Json o =
      Parsed(Cli({"relocate", "--backup", "--json", csv.string(), "D:\\old\\item", "/new"}).out);
  EXPECT_EQ(o["outside_references"], Json());
  EXPECT_EQ(o["backup"], backup);
  EXPECT_EQ(o["encoding"], "utf-16le");
  // Without a backup, none is named.
  WriteBytes(csv, Utf16FileBytes(before));
  EXPECT_EQ(
      Parsed(Cli({"relocate", "--json", csv.string(), "D:\\old\\item", "/new"}).out)["backup"],
      Json());
}

TEST_F(CliTest, RelocateTakesARelativeNewFolderFromTheCurrentFolder) {
  test::CurrentFolderGuard here(dir.path());
  struct Case {
    std::string newFolder;
    std::u16string written;  // where the picture a.jpg is then
    int status;              // 4: a folder of this machine that is not there
  };
  const Case cases[] = {
      {"./图片", FromUtf8(folder + sep + "图片") + u"\\宝贝\\1.jpg", 4},
      {"图片", FromUtf8(folder + sep + "图片") + u"\\宝贝\\1.jpg", 4},
      {folder + sep + "abs", FromUtf8(folder + sep + "abs") + u"\\宝贝\\1.jpg", 4},
      // The folder of another machine stays as it is, on every system.
      {"E:\\新\\图片", u"E:\\新\\图片\\宝贝\\1.jpg", LocalFoldersHere() ? 0 : 4},
      {"e:图片", u"e:图片\\宝贝\\1.jpg", LocalFoldersHere() ? 0 : 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.newFolder);
    WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\宝贝\\1.jpg", u"x")));

    const Result r = Cli({"relocate", "goods.csv", "D:\\old", c.newFolder});

    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(ReadBytes(csv), Utf16FileBytes(Listing(c.written, u"x")));
  }
}

TEST_F(CliTest, DryRunCountsAndWritesNothing) {
  const std::string bytes =
      Utf16FileBytes(Listing(u"D:\\old\\item\\a.jpg", u"D:\\old\\item\\b.jpg"));
  WriteBytes(csv, bytes);

  const Result r =
      Cli({"relocate", "--dry-run", "--backup", csv.string(), "D:\\old\\item", "/new"});

  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out, "Dry run: 2 path-form and 0 URL-form references would be rewritten.\n" +
                       ("Backup would go to: " + ToUtf8(dir.File("goods_备份.csv")) + "\n") +
                       kNewFolderMissingLine);
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

  for (const std::vector<std::string>& noCsv :
       {std::vector<std::string>{"relocate", "", "D:\\old\\item", "/new"},
        {"detect", ""},
        {"check", ""}}) {
    const Result r = Cli(noCsv);
    EXPECT_EQ(r.status, 3) << noCsv[0];
    EXPECT_TRUE(Holds(r.err, "no CSV file")) << r.err;
  }

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
  EXPECT_EQ(dry.out, "CSV: " + csv.string() + "\nFolder named in the CSV: D:\\old\\pics\\item\n" +
                         "New folder: " + item + "\n" +
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
  EXPECT_EQ(object["other_csv_files"], Json::array());

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
  EXPECT_EQ(r.out,
            "CSV: (none)\nFolder named in the CSV: (none)\nNew folder: " + folder + sep + "\n");
  EXPECT_EQ(r.err, "Nothing done: no CSV file in " + folder + sep + ".\n");
}

TEST_F(CliTest, AutoSaysWhatItsOperandIsWhenItIsNoFolder) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));
  const std::string missing = folder + sep + "gone";
  struct Case {
    std::string operand;
    std::string says;
  };
  const Case cases[] = {
      {csv.string(), "\"" + csv.string() + "\" is a file, not a folder"},
      {missing, "The folder \"" + missing + "\" does not exist."},
      {"", "The folder operand is empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operand);
    const Result r = Cli({"auto", c.operand});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Holds(r.err, c.says)) << r.err;
  }
}

TEST_F(CliTest, AutoWritesIntoAMissingNewFolderOnlyWhenForced) {
  const std::string bytes = Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x"));
  WriteBytes(csv, bytes);
  const std::string item = folder + sep + "item";  // proposed, and not there
  const std::string lines = "CSV: " + csv.string() +
                            "\nFolder named in the CSV: D:\\old\\pics\\item\nNew folder: " + item +
                            "\n";

  for (const bool dryRun : {false, true}) {
    SCOPED_TRACE(dryRun ? "dry run" : "run");
    std::vector<std::string> args = {"auto", "--level", "0", "--backup", folder};
    if (dryRun) args.push_back("--dry-run");
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, lines);
    EXPECT_TRUE(Holds(r.err, "The proposed new folder \"" + item + "\" does not exist")) << r.err;
    EXPECT_TRUE(Holds(r.err, "--force")) << r.err;
    EXPECT_EQ(ReadBytes(csv), bytes);
    EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
  }

  const Result forced = Cli({"auto", "--level", "0", "--force", folder});
  EXPECT_EQ(forced.status, 4);
  EXPECT_EQ(forced.err, "Needs a look: the new folder " + item + " does not exist.\n");
  EXPECT_EQ(ReadBytes(csv), Utf16FileBytes(Listing(FromUtf8(item) + u"\\a.jpg", u"x")));
}

TEST_F(CliTest, AutoNamesTheCsvItTookAndTheOthers) {
  const std::string listing = Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x"));
  WriteBytes(csv, listing);
  WriteBytes(dir.path() / "old.csv", listing);
  WriteBytes(test::ToPath(dir.File("goods_备份.csv")), listing);
  MakePictures(dir.path() / "pics", {"item/a.jpg"});
  const std::string others =
      folder + sep + "old.csv\n  " + ToUtf8(dir.File("goods_备份.csv")) + "\n";

  const Result r = Cli({"auto", "--dry-run", folder});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.out, "CSV: " + csv.string() + "\n")) << r.out;
  EXPECT_TRUE(Holds(r.out, "Other CSV files in the folder, not taken:\n  " + others)) << r.out;

  const Json o = Parsed(Cli({"auto", "--dry-run", "--json", folder}).out);
  EXPECT_EQ(o["csv"], csv.string());
  EXPECT_EQ(o["other_csv_files"],
            Json::array({folder + sep + "old.csv", ToUtf8(dir.File("goods_备份.csv"))}));
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
       "UTF-8 text with a byte-order mark"},
      {"nothing behind the mark", "\xFF\xFE", {"item/a.jpg"}, 3, "holds no text"},
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
                                   {"local", false},
                                   {"in_new_folder", false}}));
  EXPECT_EQ(o["folders"][1], Json({{"folder", "E:\\旧电脑\\图片"},
                                   {"references", 1},
                                   {"path", 1},
                                   {"url", 0},
                                   {"detected", false},
                                   {"local", false},
                                   {"in_new_folder", false}}));
  EXPECT_EQ(o["folders_not_listed"], 0);
  EXPECT_EQ(o["detected_folder"], "D:\\old\\pics");
  EXPECT_EQ(o["new_folder"], newFolder);
  EXPECT_EQ(o["pictures"], Json({{"folder", newFolder},
                                 {"folder_exists", true},
                                 {"checked", 3},
                                 {"found", 2},
                                 {"found_ignoring_case", 0},
                                 {"missing", 1},
                                 {"missing_elsewhere", 0},
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
      {"relocate", "--json", "a", "b"},
      {"auto"},
      {"relocate", "--force", "a", "b", "c"},
      {"check", "--force", "a"}};
  for (const auto& args : mistakes) {
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
    EXPECT_NE(r.err.find("usage: picrelink-cli"), std::string::npos);
  }
  const Result help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("relocate"), std::string::npos);
}

TEST(CliEncoding, EveryCommandExplainsACsvInAnotherEncodingAndLeavesItAlone) {
  const std::string reference = "<img src=\"\"D:\\old\\pics\\item\\a.jpg\"\">";
  struct Case {
    CsvEncoding encoding;
    std::string bytes;
  };
  const Case cases[] = {
      {CsvEncoding::Utf8Bom, "\xEF\xBB\xBF" + reference + "商品"},
      {CsvEncoding::Utf8, reference + "商品"},
      {CsvEncoding::Ansi, reference + "\xC9\xCC\xC6\xB7"},  // GBK 商品
      {CsvEncoding::Utf16Be, std::string("\xFE\xFF\0<\0i", 6)},
      {CsvEncoding::Empty, "\xFF\xFE"},
  };
  const std::vector<std::vector<std::string>> commands = {{"detect"},
                                                          {"check"},
                                                          {"check", "--json"},
                                                          {"relocate", "--backup"},
                                                          {"relocate", "--json"},
                                                          {"auto", "--backup"},
                                                          {"auto", "--json"}};
  for (const Case& c : cases) {
    for (const Language language : {Language::English, Language::Chinese}) {
      for (const auto& command : commands) {
        SCOPED_TRACE(EncodingAdviceEnglish(c.encoding) + " " + testing::PrintToString(command));
        TempDir dir;
        const fs::path csv = dir.path() / "goods.csv";
        WriteBytes(csv, c.bytes);
        MakePictures(dir.path() / "item", {"a.jpg"});
        std::vector<std::string> args = command;
        if (command[0] == "auto") {
          args.push_back(dir.path().string());
        } else {
          args.push_back(csv.string());
        }
        if (command[0] == "relocate") args.insert(args.end(), {"D:\\old\\pics", "/new"});

        const Result r = Cli(args, language);

        EXPECT_EQ(r.status, 3) << r.err;
        const std::string advice = language == Language::Chinese
                                       ? ToUtf8(EncodingAdviceChinese(c.encoding))
                                       : EncodingAdviceEnglish(c.encoding);
        EXPECT_EQ(r.err, advice + "\n");
        if (command[0] == "detect") {
          EXPECT_EQ(r.out, "\n");
        }
        if (command.back() == "--json") {
          const Json o = Parsed(r.out);
          EXPECT_EQ(o["encoding"], cli::EncodingName(c.encoding));
          EXPECT_EQ(o["message"], advice);
        }
        EXPECT_EQ(ReadBytes(csv), c.bytes);
        EXPECT_EQ(test::ListNames(dir.path()), "goods.csv item");
      }
    }
  }
}

TEST_F(CliTest, ChineseLocaleGivesChineseSentencesAndKeepsTheFixedTexts) {
  const auto zh = [](const std::vector<std::string>& args) { return Cli(args, Language::Chinese); };
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));
  MakePictures(dir.path() / "item", {"a.jpg"});
  const std::string item = folder + sep + "item";

  const Result dry = zh({"auto", "--level", "0", "--dry-run", folder});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, "CSV 文件：" + csv.string() + "\nCSV中描述图片位置：D:\\old\\pics\\item\n" +
                         "当前描述图片位置：" + item + "\n" +
                         "试运行：将改写路径形式 1 处，网址形式 0 处。\n" +
                         "图片：检查 1 张，找到 1 张，缺少 0 张\n");

  // The run's own message follows the language; the JSON keys do not.
  const Result typo = zh({"relocate", "--json", csv.string(), "D:\\o1d", "/new"});
  EXPECT_EQ(typo.status, 3);
  const Json o = Parsed(typo.out);
  EXPECT_EQ(o["outcome"], "nothing_to_change");
  EXPECT_EQ(o["message"], "CSV 中没有找到“D:\\o1d”，无需调整。CSV 未作改动。");

  const Result run = zh({"relocate", csv.string(), "D:\\old\\pics\\item", item});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(
      run.out,
      "调整成功！\n已改写：路径形式 1 处，网址形式 0 处。\n图片：检查 1 张，找到 1 张，缺少 0 "
      "张\n");

  // The fixed texts stay as they are.
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));
  const Result level = zh({"detect", "--level", "0.5", csv.string()});
  EXPECT_EQ(level.err,
            "'0.5' is not a valid integer value.\n"
            "层级须为整数：请用 0（图片所在的目录）或 1（其上一级目录），例如 --level 1\n");
  const Result missing = zh({"detect", folder + sep + "none.csv"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("Cannot open file \"", 0), 0u) << missing.err;

  const Result usage = zh({"relocate", "a"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err.rfind("picrelink-cli: relocate 需要 3 个参数\n用法：picrelink-cli", 0), 0u)
      << usage.err;
}

TEST(CliTexts, EveryTextTakesTheSameArgumentsInBothLanguages) {
  for (int i = 0; i < static_cast<int>(cli::Text::Count); ++i) {
    SCOPED_TRACE(i);
    const auto text = static_cast<cli::Text>(i);
    const std::string english =
        cli::Say(Language::English, text, {"\x01", "\x02", "\x03", "\x04", "\x05", "\x06", "\x07"});
    const std::string chinese =
        cli::Say(Language::Chinese, text, {"\x01", "\x02", "\x03", "\x04", "\x05", "\x06", "\x07"});
    const auto marks = [](const std::string& said) {
      std::string found;
      for (const char c : said) {
        if (c >= '\x01' && c <= '\x07') found += static_cast<char>('0' + c);
      }
      return found;
    };
    EXPECT_EQ(marks(english), marks(chinese));
    EXPECT_EQ(english.find("{}"), std::string::npos);
    EXPECT_EQ(chinese.find("{}"), std::string::npos);
    EXPECT_NE(english, chinese);
  }
}

TEST(CliLanguage, TheFirstLocaleVariableSetDecides) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    Language expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, Language::English},
      {nullptr, nullptr, "zh_CN.UTF-8", Language::Chinese},
      {nullptr, nullptr, "en_US.UTF-8", Language::English},
      {nullptr, "zh_TW", "en_US.UTF-8", Language::Chinese},
      {nullptr, "C", "zh_CN.UTF-8", Language::English},
      {"zh_CN.GB18030", "en_US", "en_US", Language::Chinese},
      {"C.UTF-8", "zh_CN", "zh_CN", Language::English},
      // An empty value counts as unset.
      {"", "", "zh_CN.UTF-8", Language::Chinese},
      {"", "zh", nullptr, Language::Chinese},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cli::LanguageOfEnvironment(c.lcAll, c.lcMessages, c.lang), c.expected)
        << (c.lcAll ? c.lcAll : "unset") << " / " << (c.lcMessages ? c.lcMessages : "unset")
        << " / " << (c.lang ? c.lang : "unset");
  }
}

// Package folders side by side: one done, one without a CSV, one with a
// picture missing, and one that does not exist.
class BatchTest : public CliTest {
 protected:
  void SetUp() override {
    for (const char* name : {"done", "empty", "look"}) fs::create_directory(dir.path() / name);
    const std::string listing =
        ListingBytes({u"D:\\old\\pics\\item\\a.jpg", u"file:///D:/old/pics/item/b.jpg"});
    WriteBytes(dir.path() / "done" / "goods.csv", listing);
    MakePictures(dir.path() / "done" / "pics", {"item/a.jpg", "item/b.jpg"});
    WriteBytes(dir.path() / "look" / "goods.csv", listing);
    MakePictures(dir.path() / "look" / "pics", {"item/a.jpg"});
  }
  std::string Folder(const char* name) const { return folder + sep + name; }
};

TEST_F(BatchTest, OneLineForEachFolderAndTheWorstStatus) {
  const Result r =
      Cli({"auto", "--dry-run", Folder("done"), Folder("empty"), Folder("look"), Folder("gone")});

  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "[done] " + Folder("done") + ": 2 would be rewritten (path 1, url 1)\n" +
                       "[nothing to do] " + Folder("empty") + ": no CSV file in " +
                       Folder("empty") + sep + "\n" + "[needs a look] " + Folder("look") +
                       ": 2 would be rewritten (path 1, url 1); 1 picture is missing under " +
                       Folder("look") + sep + "pics\n" + "[error] " + Folder("gone") +
                       ": The folder \"" + Folder("gone") + "\" does not exist.\n" +
                       "Total: 1 done, 1 need a look, 1 nothing to do, 1 failed (of 4 folders); 4 "
                       "references would be rewritten\n");
  EXPECT_EQ(r.err, "");
  // --dry-run held for every folder.
  EXPECT_EQ(ReadBytes(dir.path() / "done" / "goods.csv"),
            ListingBytes({u"D:\\old\\pics\\item\\a.jpg", u"file:///D:/old/pics/item/b.jpg"}));

  // An error before something that needs a look, before nothing to do, before done.
  struct Case {
    std::vector<const char*> folders;
    int status;
  };
  const Case cases[] = {
      {{"done", "done"}, 0},          {{"empty", "done"}, 3},
      {{"empty", "gone"}, 1},  // the error, though nothing to do comes first
      {{"done", "look", "empty"}, 4}, {{"look", "gone", "done"}, 1},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"auto", "--dry-run"};
    for (const char* name : c.folders) args.push_back(Folder(name));
    EXPECT_EQ(Cli(args).status, c.status) << testing::PrintToString(args);
  }
}

TEST_F(BatchTest, JsonHoldsEachFolderAndTheTotal) {
  const Result r = Cli({"auto", "--json", "--backup", Folder("done"), Folder("empty"),
                        Folder("look"), Folder("gone")});

  EXPECT_EQ(r.status, 1);
  const Json o = Parsed(r.out);
  ASSERT_EQ(o["packages"].size(), 4u);
  const Json& done = o["packages"][0];
  EXPECT_EQ(done["folder"], Folder("done"));
  EXPECT_EQ(done["status"], "done");
  EXPECT_EQ(done["exit_status"], 0);
  EXPECT_EQ(done["why"], Json());
  EXPECT_EQ(done["run"]["outcome"], "written");
  EXPECT_EQ(done["run"]["backup"], Folder("done") + sep + "goods_备份.csv");
  EXPECT_EQ(o["packages"][1]["status"], "nothing_to_do");
  EXPECT_EQ(o["packages"][1]["run"]["outcome"], "no_csv");
  EXPECT_EQ(o["packages"][2]["status"], "needs_a_look");
  EXPECT_EQ(o["packages"][2]["run"]["pictures"]["missing"], 1);
  EXPECT_EQ(o["packages"][3]["status"], "error");
  EXPECT_EQ(o["packages"][3]["run"], Json());
  EXPECT_EQ(o["total"], Json({{"packages", 4},
                              {"done", 1},
                              {"needs_a_look", 1},
                              {"nothing_to_do", 1},
                              {"error", 1},
                              {"rewritten", 4},
                              {"exit_status", 1}}));
  // --backup held for every folder that was written.
  EXPECT_TRUE(fs::exists(test::ToPath(FromUtf8(Folder("look") + sep + "goods_备份.csv"))));
}

#ifndef _WIN32
// A CSV whose name is GBK bytes, as unzip leaves the names of a zip made on
// a Chinese Windows: found, read, backed up and rewritten under that name.
TEST_F(CliTest, ANameThatIsNotUtf8IsKeptExactly) {
  const std::string gbk = "\xC9\xCC\xC6\xB7";  // 商品
  const fs::path named = dir.path() / fs::path(gbk + ".csv");
  WriteBytes(named, Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));
  MakePictures(dir.path() / "item", {"a.jpg"});

  const Result detect = Cli({"detect", named.string()});
  EXPECT_EQ(detect.status, 0) << detect.err;
  EXPECT_EQ(detect.out, "D:\\old\\pics\n");

  // In messages, the bytes that are not UTF-8 show as U+FFFD.
  const Result run = Cli({"auto", "--level", "0", "--backup", folder});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Holds(run.out, "CSV: " + folder + sep + "\xEF\xBF\xBD\xEF\xBF\xBD\xC6\xB7.csv\n"))
      << run.out;
  EXPECT_EQ(ReadBytes(named),
            Utf16FileBytes(Listing(FromUtf8(folder + sep + "item") + u"\\a.jpg", u"x")));
  EXPECT_EQ(ReadBytes(dir.path() / fs::path(gbk + "_备份.csv")),
            Utf16FileBytes(Listing(u"D:\\old\\pics\\item\\a.jpg", u"x")));
}
#endif

// tests/windows runs the Windows program as a Windows user would.
#if defined(PICRELINK_CLI_BINARY) && !defined(_WIN32)
// A run of the real program with exactly these argument bytes and this
// environment, for its exit status and its streams.
Result RunBinary(const std::vector<std::string>& args,
                 const std::vector<std::string>& environment = {"LANG=C.UTF-8"}) {
  TempDir scratch;
  const fs::path outFile = scratch.path() / "stdout";
  const fs::path errFile = scratch.path() / "stderr";
  std::vector<char*> argv = {const_cast<char*>(PICRELINK_CLI_BINARY)};
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return {-1, "", "fork failed"};
  if (child == 0) {
    const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(outFile), ReadBytes(errFile)};
}

TEST_F(CliTest, RealProgramReportsThroughItsExitStatus) {
  WriteBytes(csv, Utf16FileBytes(Listing(u"D:\\old\\item\\a.jpg", u"x")));

  const Result run = RunBinary({"relocate", csv.string(), "D:\\old\\item", "/new"});
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_EQ(run.out, "调整成功！\nRewritten: 1 path-form and 0 URL-form references.\n" +
                         std::string(kNewFolderMissingLine));

  const Result missing = RunBinary({"relocate", folder + "/none.csv", "D:\\old", "/new"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Cannot open file"), std::string::npos);

  WriteBytes(csv, "plain text");
  const Result plain = RunBinary({"relocate", csv.string(), "D:\\old", "/new"});
  EXPECT_EQ(plain.status, 3);
  EXPECT_EQ(plain.err, EncodingAdviceEnglish(CsvEncoding::Ascii) + "\n");
  EXPECT_EQ(ReadBytes(csv), "plain text");

  EXPECT_EQ(RunBinary({"relocate"}).status, 2);
}

TEST_F(CliTest, RealProgramSpeaksTheLanguageOfTheLocale) {
  WriteBytes(csv, Utf16FileBytes(u"no reference"));
  const std::string chinese = "未找到：CSV 中没有图片引用";
  const std::string english = "Nothing found: the CSV names no picture";
  struct Case {
    std::vector<std::string> environment;
    std::string says;
  };
  const Case cases[] = {
      {{"LANG=zh_CN.UTF-8"}, chinese},
      {{"LANG=zh_CN.UTF-8", "LC_MESSAGES=en_US.UTF-8"}, english},
      {{"LANG=en_US.UTF-8", "LC_MESSAGES=en_US.UTF-8", "LC_ALL=zh_TW.UTF-8"}, chinese},
      {{"LC_ALL=C", "LANG=zh_CN.UTF-8"}, english},
      {{}, english},
  };
  for (const Case& c : cases) {
    const Result r = RunBinary({"detect", csv.string()}, c.environment);
    EXPECT_EQ(r.status, 3) << testing::PrintToString(c.environment);
    EXPECT_EQ(r.err.rfind(c.says, 0), 0u) << r.err;
  }
}

// The arguments' bytes reach the files as they are, though they are no UTF-8.
TEST_F(CliTest, RealProgramFindsANameThatIsNotUtf8) {
  const std::string gbk = "\xC9\xCC\xC6\xB7";  // 商品 in GBK
  fs::create_directory(dir.path() / gbk);
  const fs::path named = dir.path() / gbk / (gbk + ".csv");
  WriteBytes(named, Utf16FileBytes(Listing(u"D:\\old\\item\\a.jpg", u"x")));

  const Result detect = RunBinary({"detect", "--level", "0", named.string()});
  EXPECT_EQ(detect.status, 0) << detect.err;
  EXPECT_EQ(detect.out, "D:\\old\\item\n");

  const Result run = RunBinary({"relocate", named.string(), "D:\\old\\item", "/new"});
  EXPECT_EQ(run.status, 4) << run.err;  // /new is not there
  EXPECT_EQ(ReadBytes(named), Utf16FileBytes(Listing(u"/new\\a.jpg", u"x")));

  // Messages show what is not text as U+FFFD, and stay UTF-8.
  const Result gone = RunBinary({"detect", (dir.path() / gbk / "gone.csv").string()});
  EXPECT_EQ(gone.status, 1);
  EXPECT_EQ(gone.err, "Cannot open file \"" + folder +
                          "/\xEF\xBF\xBD\xEF\xBF\xBD\xC6\xB7/gone.csv\". " +
                          "No such file or directory.\n");
}
#endif

}  // namespace
}  // namespace picrelink
