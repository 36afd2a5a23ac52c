// The order of the system calls that make a replacement durable, read from
// a trace of the real program: the temporary is created exclusively and
// privately beside the file, flushed after its last write and before the
// rename, and the folder is flushed after the rename. With a backup, the
// CSV's new content is complete before the backup is begun, and the backup
// is durable before the CSV is replaced; an older backup is never written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/reliability/harness.h"
#include "tests/support/test_files.h"

namespace picrelink::reliability {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// A string argument as strace prints it, escapes undone.
std::string Unescape(const std::string& quoted) {
  std::string out;
  for (size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] != '\\' || i + 1 == quoted.size()) {
      out += quoted[i];
      continue;
    }
    const char c = quoted[++i];
    if (c >= '0' && c <= '7') {
      int value = 0;
      for (int k = 0; k < 3 && i < quoted.size() && quoted[i] >= '0' && quoted[i] <= '7'; ++k) {
        value = value * 8 + (quoted[i++] - '0');
      }
      --i;
      out += static_cast<char>(value);
    } else if (c == 'x' && i + 2 < quoted.size()) {
      out += static_cast<char>(std::stoi(quoted.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else if (c == 'n') {
      out += '\n';
    } else if (c == 't') {
      out += '\t';
    } else {
      out += c;
    }
  }
  return out;
}

struct Call {
  std::string name;
  std::vector<std::string> strings;  // the quoted arguments, unescaped
  std::string args;                  // the raw argument text
  long result = -1;
};

// The quoted strings of an argument list, escapes undone.
std::vector<std::string> QuotedStrings(const std::string& args) {
  std::vector<std::string> strings;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != '"') continue;
    size_t end = i + 1;
    while (end < args.size() && args[end] != '"') end += args[end] == '\\' ? 2 : 1;
    strings.push_back(Unescape(args.substr(i + 1, end - i - 1)));
    i = end;
  }
  return strings;
}

// "1234 openat(AT_FDCWD, "/x", O_RDONLY) = 3" and the like; a call that
// another thread interrupted ("... <unfinished ...>", later "<... openat
// resumed>) = 3") is put together again; other lines (signals, exits) are
// left out.
std::vector<Call> ParseTrace(const std::string& trace) {
  constexpr std::string_view kUnfinished = " <unfinished ...>";
  std::vector<Call> calls;
  std::map<std::string, std::string> unfinished;  // by thread: the call's first part
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    size_t start = 0;
    while (start < line.size() && std::isdigit(static_cast<unsigned char>(line[start]))) ++start;
    const std::string thread = line.substr(0, start);
    while (start < line.size() && line[start] == ' ') ++start;
    if (line.ends_with(kUnfinished)) {
      unfinished[thread] = line.substr(start, line.size() - start - kUnfinished.size());
      continue;
    }
    if (line.compare(start, 5, "<... ") == 0) {
      const size_t resumed = line.find(" resumed>", start);
      const auto first = unfinished.find(thread);
      if (resumed == std::string::npos || first == unfinished.end()) continue;
      line = first->second + line.substr(resumed + 9);
      unfinished.erase(first);
      start = 0;
    }
    // strace pads the result into a column: "close(4)      = 0".
    const size_t open = line.find('(', start);
    const size_t equals = line.rfind(" = ");
    const size_t close = equals == std::string::npos ? equals : line.rfind(')', equals);
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    Call call;
    call.name = line.substr(start, open - start);
    if (call.name.empty() || !std::all_of(call.name.begin(), call.name.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        })) {
      continue;
    }
    call.args = line.substr(open + 1, close - open - 1);
    call.strings = QuotedStrings(call.args);
    call.result = std::strtol(line.c_str() + equals + 3, nullptr, 10);
    calls.push_back(call);
  }
  return calls;
}

long FirstFd(const std::string& args) { return std::strtol(args.c_str(), nullptr, 10); }

// Where the steps of the replacement of one file stand in a trace.
struct Steps {
  std::optional<size_t> open, lastWrite, flush, close, rename, folderFlush;
  std::string problem;  // empty when the replacement is sound
};

// Finds the replacement of folder/name in a trace and checks it.
Steps FindReplacement(const std::vector<Call>& calls, const std::string& folder,
                      const std::string& name) {
  const std::string target = folder + "/" + name;
  const std::string tempPrefix = folder + "/." + name + ".picrelink-";
  Steps steps;
  auto& [open, lastWrite, flush, close, rename, folderFlush, problem] = steps;
  const auto fail = [&](std::string what) {
    steps.problem = std::move(what);
    return steps;
  };
  long tempFd = -1;
  std::string tempPath;
  long folderFd = -1;
  for (size_t i = 0; i < calls.size(); ++i) {
    const Call& c = calls[i];
    if ((c.name == "openat" || c.name == "open") && !c.strings.empty()) {
      const std::string& path = c.strings[0];
      if (path.starts_with(tempPrefix) && c.result >= 0 && !open) {
        open = i;
        tempFd = c.result;
        tempPath = path;
        if (c.args.find("O_EXCL") == std::string::npos)
          return fail("temporary created without O_EXCL");
        if (c.args.find("O_CLOEXEC") == std::string::npos)
          return fail("temporary without O_CLOEXEC");
        if (c.args.find("O_CREAT") == std::string::npos) return fail("temporary not created");
        if (!c.args.ends_with(", 0600")) return fail("temporary not created private: " + c.args);
      }
      if (rename && (path == folder || path == folder + "/") && c.result >= 0 &&
          c.args.find("O_DIRECTORY") != std::string::npos) {
        folderFd = c.result;
      }
    } else if (c.name == "write" && open && !close && FirstFd(c.args) == tempFd) {
      lastWrite = i;
    } else if ((c.name == "fsync" || c.name == "fdatasync") && open && !close &&
               FirstFd(c.args) == tempFd && c.result == 0) {
      flush = i;
    } else if (c.name == "close" && open && !close && FirstFd(c.args) == tempFd) {
      close = i;
    } else if (c.name.starts_with("rename") && c.result == 0 && c.strings.size() == 2 &&
               c.strings[0] == tempPath && c.strings[1] == target) {
      rename = i;
    } else if ((c.name == "fsync" || c.name == "fdatasync") && rename && folderFd >= 0 &&
               FirstFd(c.args) == folderFd && c.result == 0 && !folderFlush) {
      folderFlush = i;
    }
  }
  if (!open) return fail("no temporary beside " + target);
  if (!lastWrite) return fail("nothing written to the temporary");
  if (!close) return fail("the temporary is never closed");
  if (!flush || *flush < *lastWrite)
    return fail("the temporary is not flushed after its last write");
  if (*close < *flush) return fail("the temporary is closed before it is flushed");
  if (!rename) return fail("the temporary is not renamed over " + target);
  if (*rename < *close) return fail("the temporary is renamed before it is flushed and closed");
  if (!folderFlush) return fail("the folder is not flushed after the rename");
  return steps;
}

// Empty when the replacement of folder/name in a trace is sound, else what
// is wrong.
std::string CheckReplacement(const std::vector<Call>& calls, const std::string& folder,
                             const std::string& name) {
  return FindReplacement(calls, folder, name).problem;
}

// Empty when the backup sits soundly in the CSV's replacement: each is
// sound, the backup is begun only after the last write of the CSV's new
// content, and it is flushed, renamed and its folder flushed before the CSV
// is replaced.
std::string CheckBackupBeforeTheRename(const std::vector<Call>& calls, const std::string& folder,
                                       const std::string& csvName, const std::string& backupName) {
  const Steps csv = FindReplacement(calls, folder, csvName);
  if (!csv.problem.empty()) return csvName + ": " + csv.problem;
  const Steps backup = FindReplacement(calls, folder, backupName);
  if (!backup.problem.empty()) return backupName + ": " + backup.problem;
  if (*backup.open < *csv.lastWrite) {
    return "the backup is begun before the CSV's new content is complete";
  }
  if (*csv.rename < *backup.folderFlush) return "the CSV is replaced before its backup is durable";
  return "";
}

// Empty when nothing in the trace opens path for writing (the CSV and an
// older backup are only ever read, or replaced by a rename).
std::string CheckNeverOpenedForWriting(const std::vector<Call>& calls, const std::string& path) {
  for (const Call& c : calls) {
    if ((c.name == "openat" || c.name == "open") && !c.strings.empty() && c.strings[0] == path &&
        (c.args.find("O_WRONLY") != std::string::npos ||
         c.args.find("O_RDWR") != std::string::npos ||
         c.args.find("O_TRUNC") != std::string::npos)) {
      return "opened for writing: " + c.args;
    }
  }
  return "";
}

// Empty when nothing in the trace is renamed onto path.
std::string CheckNeverRenamedOnto(const std::vector<Call>& calls, const std::string& path) {
  for (const Call& c : calls) {
    if (c.name.starts_with("rename") && c.strings.size() == 2 && c.strings[1] == path) {
      return "renamed onto: " + c.args;
    }
  }
  return "";
}

// The checker itself must catch each missing or misplaced step.
TEST(TraceChecker, CatchesEveryMissingOrMisplacedStep) {
  const std::string head =
      R"(openat(AT_FDCWD, "/d/.a.csv.picrelink-Ab12Cd.tmp", O_WRONLY|O_CREAT|O_EXCL|O_CLOEXEC, 0600) = 4
write(4, "\377\376", 2) = 2
write(4, "x\0", 2) = 2
)";
  const std::string sound = head + R"(fsync(4) = 0
close(4) = 0
rename("/d/.a.csv.picrelink-Ab12Cd.tmp", "/d/a.csv") = 0
openat(AT_FDCWD, "/d/", O_RDONLY|O_DIRECTORY|O_CLOEXEC) = 5
fsync(5) = 0
close(5) = 0
)";
  EXPECT_EQ(CheckReplacement(ParseTrace(sound), "/d", "a.csv"), "");
  const std::pair<std::string, std::string> broken[] = {
      {head + "close(4) = 0\nrename(\"/d/.a.csv.picrelink-Ab12Cd.tmp\", \"/d/a.csv\") = 0\n"
              "openat(AT_FDCWD, \"/d/\", O_RDONLY|O_DIRECTORY) = 5\nfsync(5) = 0\n",
       "not flushed"},
      {head + "fsync(4) = -1 EIO (Input/output error)\nclose(4) = 0\n"
              "rename(\"/d/.a.csv.picrelink-Ab12Cd.tmp\", \"/d/a.csv\") = 0\n",
       "not flushed"},
      {head + "fsync(4) = 0\nclose(4) = 0\n"
              "rename(\"/d/.a.csv.picrelink-Ab12Cd.tmp\", \"/d/a.csv\") = 0\n",
       "folder is not flushed"},
      {head + "fsync(4) = 0\nclose(4) = 0\nopenat(AT_FDCWD, \"/d/\", O_RDONLY|O_DIRECTORY) = 5\n"
              "fsync(5) = 0\nrename(\"/d/.a.csv.picrelink-Ab12Cd.tmp\", \"/d/a.csv\") = 0\n",
       "folder is not flushed"},
      {"openat(AT_FDCWD, \"/d/.a.csv.picrelink-Ab12Cd.tmp\", O_WRONLY|O_CREAT|O_CLOEXEC, 0600) = "
       "4\n",
       "O_EXCL"},
      {"openat(AT_FDCWD, \"/d/.a.csv.picrelink-Ab12Cd.tmp\", O_WRONLY|O_CREAT|O_EXCL|O_CLOEXEC, "
       "0644) = 4\n",
       "private"},
  };
  for (const auto& [trace, complaint] : broken) {
    EXPECT_NE(CheckReplacement(ParseTrace(trace), "/d", "a.csv").find(complaint), std::string::npos)
        << trace;
  }

  // A call that another thread interrupted counts as made.
  const std::string split =
      "7 openat(AT_FDCWD, \"/d/.a.csv.picrelink-Ab12Cd.tmp\", O_WRONLY|O_CREAT|O_EXCL|O_CLOEXEC, "
      "0600 <unfinished ...>\n8 close(3) = 0\n7 <... openat resumed>) = 4\n"
      "7 write(4, \"x\\0\", 2 <unfinished ...>\n8 fsync(9) = 0\n7 <... write resumed>) = 2\n"
      "7 fsync(4) = 0\n7 close(4) = 0\n"
      "7 rename(\"/d/.a.csv.picrelink-Ab12Cd.tmp\", \"/d/a.csv\") = 0\n"
      "7 openat(AT_FDCWD, \"/d/\", O_RDONLY|O_DIRECTORY|O_CLOEXEC) = 5\n7 fsync(5) = 0\n";
  EXPECT_EQ(CheckReplacement(ParseTrace(split), "/d", "a.csv"), "");
}

// The backup between the CSV's last write and its rename, and nothing else.
TEST(TraceChecker, CatchesABackupOutOfPlace) {
  const auto replacement = [](const std::string& name, int fd) {
    const std::string temp = "/d/." + name + ".picrelink-Ab12Cd.tmp";
    const std::string n = std::to_string(fd);
    return std::pair<std::string, std::string>{
        "openat(AT_FDCWD, \"" + temp + "\", O_WRONLY|O_CREAT|O_EXCL|O_CLOEXEC, 0600) = " + n +
            "\nwrite(" + n + ", \"x\\0\", 2) = 2\n",
        "fsync(" + n + ") = 0\nclose(" + n + ") = 0\nrename(\"" + temp + "\", \"/d/" + name +
            "\") = 0\nopenat(AT_FDCWD, \"/d/\", O_RDONLY|O_DIRECTORY|O_CLOEXEC) = 9\n" +
            "fsync(9) = 0\nclose(9) = 0\n"};
  };
  const auto [csvWritten, csvReplaced] = replacement("a.csv", 4);
  const auto [backupWritten, backupReplaced] = replacement("a_b.csv", 5);
  const auto check = [](const std::string& trace) {
    return CheckBackupBeforeTheRename(ParseTrace(trace), "/d", "a.csv", "a_b.csv");
  };
  // The CSV's new content, then the whole backup, then the CSV's rename.
  EXPECT_EQ(check(csvWritten + backupWritten + backupReplaced + csvReplaced), "");
  const std::pair<std::string, std::string> broken[] = {
      {backupWritten + backupReplaced + csvWritten + csvReplaced, "before the CSV's new content"},
      {backupWritten + csvWritten + backupReplaced + csvReplaced, "before the CSV's new content"},
      {csvWritten + backupWritten + csvReplaced + backupReplaced, "before its backup is durable"},
      {csvWritten + csvReplaced, "no temporary beside /d/a_b.csv"},
  };
  for (const auto& [trace, complaint] : broken) {
    EXPECT_NE(check(trace).find(complaint), std::string::npos) << check(trace) << "\n" << trace;
  }

  const std::string old = "/d/old.csv";
  EXPECT_EQ(CheckNeverOpenedForWriting(ParseTrace(csvWritten + csvReplaced), old), "");
  EXPECT_EQ(CheckNeverRenamedOnto(ParseTrace(csvWritten + csvReplaced), old), "");
  const std::string reading = "openat(AT_FDCWD, \"/d/old.csv\", O_RDONLY|O_NONBLOCK) = 3\n";
  EXPECT_EQ(CheckNeverOpenedForWriting(ParseTrace(reading), old), "");
  for (const char* trace : {"openat(AT_FDCWD, \"/d/old.csv\", O_WRONLY|O_TRUNC) = 3\n",
                            "openat(AT_FDCWD, \"/d/old.csv\", O_RDWR|O_CLOEXEC) = 3\n"}) {
    EXPECT_NE(CheckNeverOpenedForWriting(ParseTrace(trace), old), "") << trace;
  }
  EXPECT_NE(
      CheckNeverRenamedOnto(
          ParseTrace("rename(\"/d/.old.csv.picrelink-Ab12Cd.tmp\", \"/d/old.csv\") = 0\n"), old),
      "");
}

std::optional<std::string> FindStrace() {
  for (const char* candidate : {"/usr/bin/strace", "/bin/strace", "/usr/local/bin/strace"}) {
    if (access(candidate, X_OK) == 0) return std::string(candidate);
  }
  return std::nullopt;
}

TEST(Ordering, TemporaryFlushedBeforeTheRenameAndFolderAfter) {
  const std::optional<std::string> strace = FindStrace();
  if (!strace) GTEST_SKIP() << "strace is not installed (Debian package strace)";
  TempDir dir;
  const fs::path csv = dir.path() / "goods.csv";
  // Large enough that the CSV's new content takes several writes.
  const Listing listing = MakeListing(1'500'000, 8);
  WriteBytes(csv, listing.before);
  // An older backup with other bytes: the new backup takes the next name and
  // shows a new file's replacement, the CSV an existing file's.
  const fs::path olderBackup = BackupPath(csv, 1);
  WriteBytes(olderBackup, "an older backup");
  const fs::path trace = dir.path().parent_path() / (dir.path().filename().string() + ".trace");

  std::vector<std::string> args = {"-f",
                                   "-qq",
                                   "-s",
                                   "16",
                                   "-o",
                                   trace.string(),
                                   "-e",
                                   "trace=open,openat,write,fsync,fdatasync,close,rename,"
                                   "renameat,renameat2",
                                   CliProgram()};
  const std::vector<std::string> relocate = RelocateArgs(csv, true);
  args.insert(args.end(), relocate.begin(), relocate.end());
  // LeakSanitizer cannot work under a tracer; a sanitizer build must not try.
  std::string asan = "ASAN_OPTIONS=";
  if (const char* previous = std::getenv("ASAN_OPTIONS")) asan += std::string(previous) + ":";
  ChildOptions options;
  options.env = {asan + "detect_leaks=0"};
  const ChildResult r = RunChild(*strace, args, options);
  const std::string text = fs::exists(trace) ? ReadBytes(trace) : "";
  fs::remove(trace);
  if (r.exitCode != 0 && text.empty()) {
    GTEST_SKIP() << "strace cannot trace here (no ptrace permission?): " << r.err;
  }
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ASSERT_TRUE(ReadBytes(csv) == listing.after);
  ASSERT_TRUE(ReadBytes(BackupPath(csv, 2)) == listing.before);

  const std::vector<Call> calls = ParseTrace(text);
  const std::string folder = dir.path().string();
  EXPECT_EQ(CheckReplacement(calls, folder, "goods_备份(2).csv"), "") << text;
  EXPECT_EQ(CheckReplacement(calls, folder, "goods.csv"), "") << text;
  EXPECT_EQ(CheckBackupBeforeTheRename(calls, folder, "goods.csv", "goods_备份(2).csv"), "")
      << text;
  EXPECT_EQ(CheckNeverOpenedForWriting(calls, olderBackup.string()), "") << text;
  EXPECT_EQ(CheckNeverRenamedOnto(calls, olderBackup.string()), "") << text;
  EXPECT_EQ(CheckNeverOpenedForWriting(calls, csv.string()), "") << text;
  EXPECT_EQ(ReadBytes(olderBackup), "an older backup");
}

}  // namespace
}  // namespace picrelink::reliability
