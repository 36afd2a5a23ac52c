// A seller's package as a new user handles it: moved, copied and added to,
// with auto, check, detect and relocate after each step, the exit status and
// what is said checked at every step, and the CSV's bytes at the end.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "core/utf.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

#ifndef _WIN32  // local folders in a CSV are what a run on a POSIX system writes

namespace fs = std::filesystem;

enum class Do {
  Auto,        // auto on the package folder
  Check,       // check on the CSV, the new folder as auto would propose it
  Detect,      // detect on the CSV
  Relocate,    // relocate CSV arg(OLD) arg2(NEW)
  Move,        // the package folder moves to arg (relative to the test's folder)
  Copy,        // the same, the old folder staying where it was
  AddListing,  // a row naming the picture arg is added to the CSV
};

struct Step {
  Do what;
  std::string arg;
  int status = 0;
  // Parts of what is printed (stdout and stderr together). {pkg} stands for
  // the package folder now, {was} for where it was before the last move,
  // {dir} for the test's folder.
  std::vector<std::string> says = {};
  std::string arg2 = {};
};

struct PackageCase {
  const char* name;
  std::vector<std::string> references;  // in the CSV at the start
  std::vector<std::string> pictures;    // under pics/ in the package
  std::vector<Step> steps;
  // The CSV's rows at the end (the first one, then one per added listing),
  // by their references, {pkg} as above.
  std::vector<std::vector<std::string>> atEnd;
};

void PrintTo(const PackageCase& c, std::ostream* os) { *os << c.name; }

std::string Row(const std::vector<std::string>& references) {
  std::string row = "\"商品\",\"";
  for (const auto& reference : references) row += "<img src=\"\"" + reference + "\"\">";
  return row + "\"\r\n";
}

class PackageTable : public ::testing::TestWithParam<PackageCase> {
 protected:
  std::string Fill(std::string text) const {
    const auto replace = [&](const std::string& mark, const std::string& by) {
      for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        text.replace(at, mark.size(), by);
        at += by.size();
      }
    };
    replace("{dir}", dir_.path().string());
    replace("{pkg}", pkg_.string());
    replace("{was}", was_.string());
    return text;
  }
  fs::path Csv() const { return pkg_ / "goods.csv"; }
  std::string CsvText() const {
    const std::string bytes = test::ReadBytes(Csv());
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
    }
    return ToUtf8(text);
  }
  void WriteCsv(const std::string& text) const {
    test::WriteBytes(Csv(), test::Utf16FileBytes(FromUtf8(text)));
  }

  int Run(const std::vector<std::string>& args, std::string& said) const {
    std::ostringstream out, err;
    const int status = cli::Run(args, out, err, Language::English);
    said = out.str() + err.str();
    return status;
  }

  test::TempDir dir_;
  fs::path pkg_ = dir_.path() / "pkg";
  fs::path was_;
};

TEST_P(PackageTable, EachStepSaysWhatHappenedAndExitsAccordingly) {
  const PackageCase& c = GetParam();
  fs::create_directories(pkg_ / "pics");
  for (const auto& picture : c.pictures) {
    const fs::path file = pkg_ / "pics" / fs::u8path(picture);
    fs::create_directories(file.parent_path());
    test::WriteBytes(file, "jpg");
  }
  WriteCsv("\"标题\",\"描述\"\r\n" + Row(c.references));

  for (size_t i = 0; i < c.steps.size(); ++i) {
    const Step& step = c.steps[i];
    SCOPED_TRACE("step " + std::to_string(i + 1));
    std::string said;
    int status = 0;
    switch (step.what) {
      case Do::Move:
      case Do::Copy: {
        const fs::path to = dir_.path() / fs::u8path(step.arg);
        fs::create_directories(to.parent_path());
        if (step.what == Do::Move) {
          fs::rename(pkg_, to);
        } else {
          fs::copy(pkg_, to, fs::copy_options::recursive);
        }
        was_ = pkg_;
        pkg_ = to;
        continue;
      }
      case Do::AddListing:
        WriteCsv(CsvText() + Row({Fill(step.arg)}));
        continue;
      case Do::Auto:
        status = Run({"auto", pkg_.string()}, said);
        break;
      case Do::Check:
        status = Run({"check", Csv().string()}, said);
        break;
      case Do::Detect:
        status = Run({"detect", Csv().string()}, said);
        break;
      case Do::Relocate:
        status = Run({"relocate", Csv().string(), Fill(step.arg), Fill(step.arg2)}, said);
        break;
    }
    EXPECT_EQ(status, step.status) << said;
    for (const auto& part : step.says) {
      EXPECT_NE(said.find(Fill(part)), std::string::npos) << Fill(part) << "\nin:\n" << said;
    }
  }
  std::string expected = "\"标题\",\"描述\"\r\n";
  for (const auto& row : c.atEnd) {
    std::vector<std::string> references;
    for (const auto& reference : row) references.push_back(Fill(reference));
    expected += Row(references);
  }
  EXPECT_EQ(CsvText(), expected);
}

// The listing tool's three references to one folder of pictures.
const std::vector<std::string> kPackageListing = {"D:\\shop\\pics\\item\\1.jpg",
                                                  "file:///D:/shop/pics/item/2.jpg",
                                                  "D:\\shop\\pics\\item\\3.jpg"};
const std::vector<std::string> kPictures = {"item/1.jpg", "item/2.jpg", "item/3.jpg", "item/4.jpg"};
// The same after a run into {pkg}.
const std::vector<std::string> kRewritten = {
    "{pkg}/pics\\item\\1.jpg", "file:///{pkg}/pics/item/2.jpg", "{pkg}/pics\\item\\3.jpg"};

INSTANTIATE_TEST_SUITE_P(
    Packages, PackageTable,
    ::testing::Values(
        PackageCase{
            "moved twice, then once more",
            kPackageListing,
            kPictures,
            {{Do::Auto, "", 0, {"Pictures: 3 checked, 3 found, 0 missing"}},
             {Do::Check, "", 0, {"* {pkg}/pics", "<- detected"}},
             {Do::Move, "moved/pkg"},
             {Do::Detect, "", 0, {"{was}/pics\n"}},
             {Do::Check, "", 0, {"Pictures: 3 checked, 3 found, 0 missing"}},
             {Do::Auto,
              "",
              0,
              {"Folder named in the CSV: {was}/pics", "Rewritten: 2 path-form and 1 URL-form",
               "Pictures: 3 checked, 3 found, 0 missing"}},
             {Do::Check, "", 0, {"* {pkg}/pics"}},
             {Do::Move, "again/pkg"},
             {Do::Auto, "", 0, {"Rewritten: 2 path-form and 1 URL-form"}}},
            {kRewritten}},
        PackageCase{"a listing in drive form added after a move",
                    kPackageListing,
                    kPictures,
                    {{Do::Auto, "", 0},
                     {Do::Move, "moved/pkg"},
                     {Do::AddListing, "D:\\shop\\pics\\item\\4.jpg"},
                     // Detection takes the drive form: the local references are left
                     // behind, and said to be.
                     {Do::Auto,
                      "",
                      4,
                      {"Rewritten: 1 path-form and 0 URL-form",
                       "3 name a folder that does not exist here ({was}/pics)",
                       "Pictures: 4 checked, 1 found, 3 missing",
                       "Needs a look: 3 references name folders that do not exist"}},
                     // The folder the CSV names is now the one left behind, and the
                     // references in the new folder count with it.
                     {Do::Check, "", 0, {"<- detected", "<- in the new folder"}},
                     {Do::Auto, "", 0, {"Folder named in the CSV: {was}/pics"}}},
                    {kRewritten, {"{pkg}/pics\\item\\4.jpg"}}},
        PackageCase{
            "a copy with a listing in drive form added",
            kPackageListing,
            kPictures,
            {{Do::Auto, "", 0},
             {Do::Copy, "copy/pkg"},
             {Do::AddListing, "D:\\shop\\pics\\item\\4.jpg"},
             {Do::Auto,
              "",
              4,
              {"3 name the pictures' old folder in another form ({was}/pics)",
               "Needs a look: 3 references name the pictures' old folder in another form"}}},
            {{"{was}/pics\\item\\1.jpg", "file:///{was}/pics/item/2.jpg",
              "{was}/pics\\item\\3.jpg"},
             {"{pkg}/pics\\item\\4.jpg"}}},
        PackageCase{"a new folder with #, % and ? in its name",
                    kPackageListing,
                    kPictures,
                    {{Do::Move, "店#2 50%off?/pkg"},
                     {Do::Auto, "", 0, {"Pictures: 3 checked, 3 found, 0 missing"}},
                     {Do::Check, "", 0, {"Pictures: 3 checked, 3 found, 0 missing"}},
                     {Do::Move, "plain/pkg"},
                     {Do::Auto, "", 0, {"Rewritten: 2 path-form and 1 URL-form"}}},
                    {kRewritten}},
        PackageCase{
            "moved into a folder with #, % and ? in its name",
            kPackageListing,
            kPictures,
            {{Do::Move, "店#2 50%off?/pkg"},
             {Do::Auto, "", 0, {"Pictures: 3 checked, 3 found, 0 missing"}},
             {Do::Check, "", 0, {"Pictures: 3 checked, 3 found, 0 missing"}}},
            // The path form as the folder is named, the URL form escaped so
            // that a browser follows it.
            {{"{pkg}/pics\\item\\1.jpg", "file:///{dir}/店%232%2050%25off%3F/pkg/pics/item/2.jpg",
              "{pkg}/pics\\item\\3.jpg"}}},
        PackageCase{"picture names written as HTML writes them",
                    {"D:\\shop\\pics\\item\\a&amp;b.jpg", "file:///D:/shop/pics/item/c&#38;d.jpg",
                     "D:\\shop\\pics\\item\\e&#x26;f.jpg", "D:\\shop\\pics\\item\\caf&eacute;.jpg"},
                    {"item/a&b.jpg", "item/c&d.jpg", "item/e&f.jpg", "item/café.jpg"},
                    {{Do::Check, "", 0, {"Pictures: 4 checked, 4 found, 0 missing"}},
                     {Do::Auto, "", 0, {"Pictures: 4 checked, 4 found, 0 missing"}},
                     {Do::Check, "", 0, {"Pictures: 4 checked, 4 found, 0 missing"}}},
                    // The text is never rewritten for them.
                    {{"{pkg}/pics\\item\\a&amp;b.jpg", "file:///{pkg}/pics/item/c&#38;d.jpg",
                      "{pkg}/pics\\item\\e&#x26;f.jpg", "{pkg}/pics\\item\\caf&eacute;.jpg"}}},
        PackageCase{"references no run rewrites here",
                    {"D:\\shop\\pics\\item\\1.jpg", "\\\\server\\share\\pics\\2.jpg",
                     "file://server/share/pics/3.jpg", "D:/shop/pics/item/4.jpg",
                     "http://example.com/5.jpg"},
                    kPictures,
                    {{Do::Check,
                      "",
                      4,
                      {"Pictures: 1 checked, 1 found, 0 missing", "Not rewritable here: 3",
                       "  \\\\server\\share\\pics\\2.jpg\n  file://server/share/pics/3.jpg\n"
                       "  D:/shop/pics/item/4.jpg\n",
                       "Needs a look: 3 references name pictures in a way no run rewrites here"}},
                     {Do::Auto, "", 0, {"Rewritten: 1 path-form and 0 URL-form"}}},
                    {{"{pkg}/pics\\item\\1.jpg", "\\\\server\\share\\pics\\2.jpg",
                      "file://server/share/pics/3.jpg", "D:/shop/pics/item/4.jpg",
                      "http://example.com/5.jpg"}}},
        PackageCase{
            "a file URL a browser cuts at its raw #",
            kPackageListing,
            kPictures,
            {{Do::Move, "店#2/pkg"},
             {Do::AddListing, "file:///{pkg}/pics/item/4.jpg"},
             {Do::Check,
              "",
              4,
              {"Pictures: 4 checked, 3 found, 1 missing", "Needs a look: 1 picture is missing"}}},
            {kPackageListing, {"file:///{pkg}/pics/item/4.jpg"}}},
        PackageCase{"relocate into a folder that is not there",
                    kPackageListing,
                    kPictures,
                    {{Do::Relocate,
                      "D:\\shop\\pics",
                      4,
                      {"调整成功！", "Warning: the new folder does not exist",
                       "Needs a look: the new folder {pkg}/picz does not exist."},
                      "{pkg}/picz"}},
                    {{"{pkg}/picz\\item\\1.jpg", "file:///{pkg}/picz/item/2.jpg",
                      "{pkg}/picz\\item\\3.jpg"}}}));

#endif  // _WIN32

}  // namespace
}  // namespace picrelink
