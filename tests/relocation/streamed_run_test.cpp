// The run streams the CSV through small buffers; whatever their size, the
// file must come out exactly as one pass of each replacement over the whole
// text would make it.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "core/freplace.h"
#include "core/path_helpers.h"
#include "core/utf.h"
#include "relocation/references/reference_forms.h"
#include "relocation/run/adjustment_run.h"
#include "relocation/run/occurrences_in_references.h"
#include "tests/relocation/fakes.h"
#include "tests/support/test_files.h"

namespace picrelink {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::ToPath;
using test::Utf16FileBytes;
using test::WriteBytes;

// The whole-text result: the path-form pass, then the URL-form pass.
std::u16string WholeTextResult(std::u16string_view text, std::u16string_view oldFolder,
                               std::u16string_view newFolder) {
  const std::u16string pathFind = TrimFolderSeparator(oldFolder);
  const std::u16string pathReplacement = TrimFolderSeparator(newFolder);
  const std::u16string afterPaths = ReplaceAll(text, pathFind, pathReplacement, false);
  return ReplaceAll(afterPaths, PathToFileUrl(TrimTrailingChar(pathFind, u'/')),
                    PathToFileUrl(TrimTrailingChar(pathReplacement, u'/')), false);
}

// Texts made of the pieces that matter: references in both forms and both
// cases, near misses, parts of the folders, CJK text and line breaks.
std::u16string RandomCsvText(std::mt19937& rng) {
  static const std::u16string kPieces[] = {u"src=\"\"",
                                           u"D:\\old\\it",
                                           u"em",
                                           u"d:\\OLD\\ITEM",
                                           u"file:///D:/old/item",
                                           u"FILE:///d:/Old/Item",
                                           u"\\a.jpg",
                                           u"\"\"",
                                           u"宝贝",
                                           u"\r\n",
                                           u"D",
                                           u":",
                                           u"\\",
                                           u"/",
                                           u"file:///D:/old/ite",
                                           u"x"};
  std::u16string text;
  const int pieces = std::uniform_int_distribution<int>(0, 30)(rng);
  for (int i = 0; i < pieces; ++i) {
    text += kPieces[std::uniform_int_distribution<size_t>(0, std::size(kPieces) - 1)(rng)];
  }
  return text;
}

class StreamedRunTest : public ::testing::Test {
 protected:
  RunReport Run(size_t bufferUnits, bool dryRun = false,
                std::optional<bool> writingThread = std::nullopt) {
    test::RecordingTrigger trigger;
    test::RecordingMessages messages;
    return RunAdjustment(
        values, trigger, messages,
        {.dryRun = dryRun, .bufferUnits = bufferUnits, .writingThread = writingThread});
  }

  TempDir dir;
  std::u16string csv = dir.File("goods.csv");
  MemoryFormValues values;

  void SetUp() override {
    values.btn1 = csv;
    values.btn2 = u"D:\\old\\item";
  }
};

TEST_F(StreamedRunTest, AnyBufferSizeGivesTheWholeTextResult) {
  std::mt19937 rng(5150);
  const std::u16string newFolders[] = {u"/srv/new/my item", u"E:\\n", u"D:\\old\\item\\more"};
  for (int round = 0; round < 600; ++round) {
    const std::u16string text = RandomCsvText(rng);
    values.btn3 = newFolders[round % 3];
    const std::u16string wanted = WholeTextResult(text, values.btn2, values.btn3);
    for (const size_t bufferUnits : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}}) {
      WriteBytes(ToPath(csv), Utf16FileBytes(text));
      // The writes on a thread of their own or on the last stage's, in turn.
      const RunReport report = Run(bufferUnits, false, round % 2 == 0);
      if (text.empty()) {
        ASSERT_EQ(report.outcome, RunOutcome::NoText);
        continue;
      }
      if (wanted == text) {
        // Nothing to change: the file keeps its bytes without being written.
        ASSERT_EQ(report.outcome, RunOutcome::NothingToChange);
        ASSERT_TRUE(ReadBytes(ToPath(csv)) == Utf16FileBytes(text));
        continue;
      }
      ASSERT_EQ(report.outcome, RunOutcome::Written);
      ASSERT_TRUE(ReadBytes(ToPath(csv)) == Utf16FileBytes(wanted))
          << "text " << ToUtf8(text) << " new " << ToUtf8(values.btn3) << " buffer " << bufferUnits
          << "\nwanted " << ToUtf8(wanted);
    }
  }
}

// What a report says of the text, the outcome aside: a dry run must say
// what the run does.
std::string Counts(const RunReport& report) {
  std::string out;
  for (const int64_t n : report.occurrences) out += std::to_string(n) + " ";
  out += "respelled " + std::to_string(report.respelledTotal);
  for (const auto& [name, n] : report.respelled) out += " " + name + "=" + std::to_string(n);
  out += " leftovers " + std::to_string(report.leftovers);
  for (const std::u16string& example : report.leftoverExamples) out += " [" + ToUtf8(example) + "]";
  out += " other " + std::to_string(report.otherFolderReferences);
  for (const std::u16string& folder : report.otherFolders) out += " [" + ToUtf8(folder) + "]";
  out += " missing " + std::to_string(report.leftAlone.inMissingFolders) + " other kind " +
         std::to_string(report.leftAlone.inOtherKind);
  return out;
}

// The dry run moves work between its threads differently from the run; its
// counts must not depend on it, nor on where the buffers cut the text. The
// occurrences inside references are those that each value of the whole text
// holds.
TEST_F(StreamedRunTest, DryRunCountsWhatTheRunDoesAtAnyBufferSize) {
  std::mt19937 rng(4711);
  const std::u16string newFolders[] = {u"E:\\n", u"D:\\old\\item\\more", u"/srv/new/my item"};
  int dryRuns = 0;
  for (int round = 0; round < 300; ++round) {
    const std::u16string text = RandomCsvText(rng);
    values.btn3 = newFolders[round % 3];
    const std::array<FormTexts, kFormCount> texts =
        FindAndReplacementTexts(values.btn2, values.btn3);
    OccurrencesInReferences inReferences(texts, nullptr, false);
    inReferences.Feed(text);
    for (const size_t bufferUnits : {size_t{1}, size_t{2}, size_t{7}, size_t{64}, size_t{4096}}) {
      WriteBytes(ToPath(csv), Utf16FileBytes(text));
      const RunReport dry = Run(bufferUnits, true);
      const RunReport run = Run(bufferUnits, false);
      const std::string where = "text " + ToUtf8(text) + " new " + ToUtf8(values.btn3) +
                                " buffer " + std::to_string(bufferUnits);
      ASSERT_EQ(dry.outcome == RunOutcome::DryRun ? RunOutcome::Written : dry.outcome, run.outcome)
          << where;
      ASSERT_EQ(Counts(dry), Counts(run)) << where;
      if (dry.outcome != RunOutcome::DryRun) continue;
      ++dryRuns;
      int64_t occurrences = 0;
      for (const int64_t n : dry.occurrences) occurrences += n;
      ASSERT_EQ(dry.occurrencesOutsideReferences,
                std::max<int64_t>(0, occurrences - inReferences.Total()))
          << where;
    }
  }
  EXPECT_GT(dryRuns, 500);
}

TEST_F(StreamedRunTest, OddLastByteIsLeftOutWhereverTheBuffersEnd) {
  values.btn3 = u"E:\\n";
  const std::u16string text = u"a\"\"D:\\old\\item\\b.jpg\"\"";
  for (const size_t bufferUnits : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}}) {
    WriteBytes(ToPath(csv), Utf16FileBytes(text) + "\x41");
    ASSERT_EQ(Run(bufferUnits).outcome, RunOutcome::Written);
    EXPECT_TRUE(ReadBytes(ToPath(csv)) == Utf16FileBytes(u"a\"\"E:\\n\\b.jpg\"\""))
        << "buffer " << bufferUnits;
  }
}

// The new text is known to be empty only at the end of the stream: by then
// nothing may have been created, not even in a folder that cannot be written.
TEST_F(StreamedRunTest, EmptyNewTextCreatesNothingEvenWhereNothingCouldBe) {
#ifdef _WIN32
  GTEST_SKIP() << "folder permission bits are a POSIX notion";
#else
  if (geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
#endif
  values.btn3.clear();
  const std::string bytes = Utf16FileBytes(u"D:\\old\\itemD:\\OLD\\ITEM");
  WriteBytes(ToPath(csv), bytes);
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);

  const RunReport report = Run(3);

  fs::permissions(dir.path(), fs::perms::owner_all);
  EXPECT_EQ(report.outcome, RunOutcome::EmptyNewText);
  EXPECT_EQ(report.occurrences[kPathForm], 2);
  EXPECT_EQ(ReadBytes(ToPath(csv)), bytes);
  EXPECT_EQ(test::ListNames(dir.path()), "goods.csv");
}

// A CSV of 2 GiB and more streams like any other: an occurrence beyond its
// first 2 GiB is counted. The file is sparse, so it costs no disk.
TEST_F(StreamedRunTest, DryRunOverMoreThanTwoGibibytes) {
  const std::u16string reference = u"D:\\OLD\\item\\z.jpg";
  const uint64_t at = (uint64_t{1} << 31) + 6;
  {
    std::ofstream out(ToPath(csv), std::ios::binary);
    out.write("\xFF\xFE", 2);
    out.seekp(static_cast<std::streamoff>(at));
    const std::string bytes = Utf16FileBytes(reference).substr(2);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  values.btn3 = u"E:\\n";

  const RunReport report = Run(size_t{1} << 18, /*dryRun=*/true);

  EXPECT_EQ(report.outcome, RunOutcome::DryRun);
  EXPECT_EQ(report.occurrences[kPathForm], 1);
  EXPECT_EQ(fs::file_size(ToPath(csv)), at + 2 * reference.size());
}

}  // namespace
}  // namespace picrelink
