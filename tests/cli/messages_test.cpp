// What the command line adds in the user's language, in both languages: the
// next step after a fixed error text, the spelling names, the warnings of a
// run. The fixed texts themselves stay as they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "core/error.h"
#include "core/utf.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;

struct MessageCase {
  const char* what;
  std::vector<std::string> args;  // {dir}: the test's folder; {csv}: its CSV
  int status;
  std::vector<std::string> english, chinese;  // parts of what is printed
  std::vector<std::string> notInChinese;      // English that must not stay
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.what; }

class MessageTable : public ::testing::TestWithParam<MessageCase> {
 protected:
  void SetUp() override {
    const std::u16string listing =
        u"\"商品\",\"<img src=\"\"D:\\old\\pics\\a.jpg\"\"><img "
        u"src=\"\"file:///D:/old/%E5%9B%BE/b.jpg\"\"><img "
        u"src=\"\"file://localhost/D:/old/pics/c.jpg\"\"><img "
        u"src=\"\"\\\\server\\share\\d.jpg\"\">\"";
    test::WriteBytes(csv_, test::Utf16FileBytes(listing));
  }
  std::string Fill(std::string text) const {
    for (const auto& [mark, by] :
         {std::pair<std::string, std::string>{"{dir}", dir_.path().string()},
          {"{csv}", csv_.string()}}) {
      for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        text.replace(at, mark.size(), by);
        at += by.size();
      }
    }
    return text;
  }

  test::TempDir dir_;
  fs::path csv_ = dir_.path() / "goods.csv";
};

TEST_P(MessageTable, SaysItInTheUsersLanguage) {
  const MessageCase& c = GetParam();
  for (const Language language : {Language::English, Language::Chinese}) {
    SetUp();  // the same CSV for each language
    std::vector<std::string> args;
    for (const auto& arg : c.args) args.push_back(Fill(arg));
    std::ostringstream out, err;
    EXPECT_EQ(cli::Run(args, out, err, language), c.status);
    const std::string said = out.str() + err.str();
    for (const auto& part : language == Language::English ? c.english : c.chinese) {
      EXPECT_NE(said.find(Fill(part)), std::string::npos) << Fill(part) << "\nin:\n" << said;
    }
    if (language == Language::Chinese) {
      for (const auto& part : c.notInChinese) {
        EXPECT_EQ(said.find(part), std::string::npos) << part << "\nin:\n" << said;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageTable,
    ::testing::Values(
        MessageCase{
            "the level is no integer",
            {"detect", "--level", "one", "{csv}"},
            1,
            {"'one' is not a valid integer value.\nThe level is a whole number: use 0"},
            {"'one' is not a valid integer value.\n层级须为整数：请用 0（图片所在的目录）或 1"},
            {}},
        MessageCase{"the spelling names",
                    {"check", "{csv}", "{dir}"},
                    4,
                    {"spellings: standard 1, percent-encoded 1, localhost 1"},
                    {"写法：标准 1，百分号编码 1，带主机名 localhost 1"},
                    {"standard", "percent-encoded"}},
        MessageCase{"references no run rewrites here",
                    {"check", "{csv}", "{dir}"},
                    4,
                    {"Not rewritable here: 1", "1 reference names a picture in a way no run"},
                    {"无法在此改写：1 处", "1 处引用的写法无法在此改写"},
                    {"Not rewritable"}},
        MessageCase{"relocate into a folder that is not there",
                    {"relocate", "{csv}", "D:\\old\\pics", "{dir}/picz"},
                    4,
                    {"Warning: the new folder does not exist",
                     "Needs a look: the new folder {dir}/picz does not exist."},
                    {"调整成功！", "注意：新目录不存在", "需要查看：新目录 {dir}/picz 不存在。"},
                    {"Warning", "Needs a look"}}));

// The next step after "Cannot create file ...": the folder when the folder
// cannot be written, the CSV when the file is read-only.
TEST(ErrorNextStepTest, NamesTheFolderOrTheReadOnlyCsv) {
  test::TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  test::WriteBytes(csv, "x");
  const Error error("Cannot create file \"" + csv.string() + "\". Permission denied");

  EXPECT_EQ(cli::ErrorNextStep(error, Language::Chinese)
                .rfind("无法写入目录“" + dir.path().string() + "”", 0),
            0u);
  EXPECT_EQ(cli::ErrorNextStep(error, Language::English)
                .rfind("The folder \"" + dir.path().string() + "\" cannot be written to", 0),
            0u);

  fs::permissions(csv, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(cli::ErrorNextStep(error, Language::Chinese)
                .rfind("CSV 文件“" + csv.string() + "”是只读的", 0),
            0u);
  EXPECT_EQ(cli::ErrorNextStep(error, Language::English)
                .rfind("The CSV \"" + csv.string() + "\" is read-only", 0),
            0u);
  fs::permissions(csv, fs::perms::owner_write, fs::perm_options::add);

  EXPECT_EQ(cli::ErrorNextStep(Error("Stream write error"), Language::Chinese), "");
}

}  // namespace
}  // namespace picrelink
