#pragma once
// What the reliability tests share: running the real picrelink-cli as a
// child process (optionally under the fault library, as another user, with
// a file-size limit), a generator of listing CSVs whose rewritten bytes are
// known independently of the code under test, and checks on a folder.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace picrelink::reliability {

namespace fs = std::filesystem;

// The folder the generated listings refer to, and where it has moved.
inline constexpr const char* kOldFolder = "D:\\old\\shop\\item";
inline constexpr const char* kNewFolder = "E:\\新\\my shop\\item";
inline constexpr const char* kSuccessText = "调整成功！";

struct ChildOptions {
  // "NAME=value", added to this process's environment; LC_ALL is C.UTF-8 (the
  // program's texts in English) unless given here.
  std::vector<std::string> env{};
  std::optional<uid_t> uid{};  // run as this user (and gid) when set
  std::optional<gid_t> gid{};
  std::optional<uint64_t> fileSizeLimit{};  // RLIMIT_FSIZE in bytes
  bool ignoreFileSizeSignal = true;         // EFBIG instead of death by SIGXFSZ
  unsigned timeoutSeconds = 120;            // a hung child dies by SIGALRM
};

struct ChildResult {
  int exitCode = -1;  // -1 when the child died by a signal
  int signal = 0;
  std::string out, err;
};

// Runs program with args and waits for it.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options = {});

// A child that runs until it ends or is killed; its output is discarded.
class RunningChild {
 public:
  RunningChild(const std::string& program, const std::vector<std::string>& args,
               const ChildOptions& options = {});
  ~RunningChild();
  RunningChild(const RunningChild&) = delete;
  RunningChild& operator=(const RunningChild&) = delete;

  void Kill();
  // The wait status of the ended child.
  int Wait();

 private:
  pid_t pid_ = -1;
  int status_ = 0;
};

// Where the backup of csv goes under the given number: 1 is <name>_备份.csv,
// n > 1 is <name>_备份(n).csv, beside the CSV.
fs::path BackupPath(const fs::path& csv, int number);

// picrelink-cli relocate [--dry-run] [--backup] csv kOldFolder kNewFolder
std::vector<std::string> RelocateArgs(const fs::path& csv, bool backup, bool dryRun = false);
ChildResult RunRelocate(const fs::path& csv, bool backup, const ChildOptions& options = {});
std::string CliProgram();
std::string FaultLibrary();

// One fault for the fault library: the nth of the calls (a comma list, or
// "any") on the watched folder gets the action (ENOSPC, EIO, EACCES, EINTR,
// SHORT, KILL).
struct Fault {
  std::string calls;
  long nth = 0;
  std::string action;
};

// The environment that loads the fault library with one or two faults.
std::vector<std::string> FaultEnv(const fs::path& watched, const fs::path& log, const Fault& fault,
                                  const Fault& second = {});

// What the fault library did in one run, injection by injection.
struct Injection {
  std::string call, action, path;
  char kind = 0;                   // w, r, d or p (see fault_shim.c)
  bool afterTargetRename = false;  // the target had been replaced before it
  // The names (without folder) of the files the run had created on the
  // watched folder before it, in order.
  std::vector<std::string> createdBefore;
};
using FaultLog = std::vector<Injection>;
FaultLog ReadFaultLog(const fs::path& log, const fs::path& target);

// A listing CSV before and after the relocation of kOldFolder to kNewFolder.
// The "after" bytes are built alongside the "before" bytes, not by replacing
// text, so they can judge the program's result. Both hold what a run must
// carry over untouched: the mark, CRLF, LF and lone CR line ends, doubled
// quotes, lone surrogates, NUL, U+FEFF and U+FFFF, pairs, and near misses
// of the folder; references come in both forms with ASCII case varied.
struct Listing {
  std::string before;
  std::string after;
};
Listing MakeListing(size_t approximateBytes, uint32_t seed);

// The names of temporaries of this program in a folder (".*.picrelink-*.tmp").
std::vector<std::string> Temporaries(const fs::path& folder);
// Whether the name follows the temporary pattern for the file called name.
bool IsTemporaryOf(const std::string& entry, const std::string& name);

mode_t ModeOf(const fs::path& file);  // permission bits, links not followed
bool IsLink(const fs::path& file);

// Whether a user other than root can run the program from where it lies
// (every folder above it searchable by others).
bool ReachableByOthers(const fs::path& program);

}  // namespace picrelink::reliability
