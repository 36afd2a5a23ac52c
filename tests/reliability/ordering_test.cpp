// The order of the system calls that make a replacement durable, read from
// a trace of the real program: the temporary is created exclusively and
// privately beside the file, flushed after its last write and before the
// rename, and the folder is flushed after the rename.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
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

// "1234 openat(AT_FDCWD, "/x", O_RDONLY) = 3" and the like; other lines
// (signals, exits, unfinished calls) are left out.
std::vector<Call> ParseTrace(const std::string& trace) {
  std::vector<Call> calls;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    size_t start = 0;
    while (start < line.size() && std::isdigit(static_cast<unsigned char>(line[start]))) ++start;
    while (start < line.size() && line[start] == ' ') ++start;
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

// Checks the replacement of folder/name in a trace; empty when it is sound,
// else what is wrong.
std::string CheckReplacement(const std::vector<Call>& calls, const std::string& folder,
                             const std::string& name) {
  const std::string target = folder + "/" + name;
  const std::string tempPrefix = folder + "/." + name + ".picrelink-";
  std::optional<size_t> open, lastWrite, flush, close, rename, folderFlush;
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
        if (c.args.find("O_EXCL") == std::string::npos) return "temporary created without O_EXCL";
        if (c.args.find("O_CLOEXEC") == std::string::npos) return "temporary without O_CLOEXEC";
        if (c.args.find("O_CREAT") == std::string::npos) return "temporary not created";
        if (!c.args.ends_with(", 0600")) return "temporary not created private: " + c.args;
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
  if (!open) return "no temporary beside " + target;
  if (!lastWrite) return "nothing written to the temporary";
  if (!close) return "the temporary is never closed";
  if (!flush || *flush < *lastWrite) return "the temporary is not flushed after its last write";
  if (*close < *flush) return "the temporary is closed before it is flushed";
  if (!rename) return "the temporary is not renamed over " + target;
  if (*rename < *close) return "the temporary is renamed before it is flushed and closed";
  if (!folderFlush) return "the folder is not flushed after the rename";
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
  const Listing listing = MakeListing(40'000, 8);
  WriteBytes(csv, listing.before);
  // No backup yet: the backup shows a new file's replacement, the CSV an
  // existing file's.
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

  const std::vector<Call> calls = ParseTrace(text);
  EXPECT_EQ(CheckReplacement(calls, dir.path().string(), "goods_备份.csv"), "") << text;
  EXPECT_EQ(CheckReplacement(calls, dir.path().string(), "goods.csv"), "") << text;
}

}  // namespace
}  // namespace picrelink::reliability
