#include "tests/reliability/harness.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <stdexcept>

#include "core/utf.h"
#include "tests/support/test_files.h"

extern char** environ;

namespace picrelink::reliability {
namespace {

// "NAME=" of an entry "NAME=value".
std::string_view NameOf(std::string_view entry) { return entry.substr(0, entry.find('=') + 1); }

// This process's environment with the extra entries in place of those of
// the same names. The program's own texts are English whatever the locale
// of whoever runs the tests, so that messages can be compared; an extra
// LC_ALL chooses another language.
std::vector<std::string> Environment(const std::vector<std::string>& extra) {
  std::vector<std::string> wanted = {"LC_ALL=C.UTF-8"};
  for (const std::string& e : extra) {
    std::erase_if(wanted, [&](const std::string& w) { return NameOf(w) == NameOf(e); });
    wanted.push_back(e);
  }
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text = *entry;
    const bool replaced = std::any_of(wanted.begin(), wanted.end(), [&](const std::string& w) {
      return NameOf(w) == NameOf(text);
    });
    if (!replaced) env.emplace_back(text);
  }
  env.insert(env.end(), wanted.begin(), wanted.end());
  return env;
}

// Forks a child that runs program; its output goes to the given files (or
// nowhere). Only async-signal-safe calls happen in the child before exec.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const ChildOptions& options, const std::string& outFile, const std::string& errFile) {
  std::vector<std::string> argvText = {program};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envText = Environment(options.env);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);
  const char* out = outFile.empty() ? "/dev/null" : outFile.c_str();
  const char* err = errFile.empty() ? "/dev/null" : errFile.c_str();

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid != 0) return pid;

  const int outFd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const int errFd = open(err, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const int inFd = open("/dev/null", O_RDONLY);
  if (outFd < 0 || errFd < 0 || inFd < 0) _exit(126);
  dup2(inFd, 0);
  dup2(outFd, 1);
  dup2(errFd, 2);
  umask(022);
  signal(SIGXFSZ, options.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
  if (options.fileSizeLimit) {
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = *options.fileSizeLimit;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  if (options.gid && (setgroups(0, nullptr) != 0 || setgid(*options.gid) != 0)) _exit(126);
  if (options.uid && setuid(*options.uid) != 0) _exit(126);
  // The alarm survives exec and ends a child that hangs.
  alarm(options.timeoutSeconds);
  execve(program.c_str(), argv.data(), envp.data());
  _exit(127);
}

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options) {
  test::TempDir scratch;
  // Another user must be able to write its output.
  fs::permissions(scratch.path(), fs::perms::all);
  const std::string outFile = (scratch.path() / "out").string();
  const std::string errFile = (scratch.path() / "err").string();
  const pid_t pid = Spawn(program, args, options, outFile, errFile);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  ChildResult result;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = test::ReadBytes(outFile);
  result.err = test::ReadBytes(errFile);
  return result;
}

RunningChild::RunningChild(const std::string& program, const std::vector<std::string>& args,
                           const ChildOptions& options)
    : pid_(Spawn(program, args, options, "", "")) {}

RunningChild::~RunningChild() {
  if (pid_ > 0) {
    Kill();
    Wait();
  }
}

void RunningChild::Kill() {
  if (pid_ > 0) kill(pid_, SIGKILL);
}

int RunningChild::Wait() {
  if (pid_ > 0) {
    while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  return status_;
}

std::string CliProgram() { return PICRELINK_CLI_BINARY; }
std::string FaultLibrary() { return PICRELINK_FAULT_SHIM; }

fs::path BackupPath(const fs::path& csv, int number) {
  std::string name = csv.stem().string();
  name += "_备份";
  if (number > 1) {
    name += '(';
    name += std::to_string(number);
    name += ')';
  }
  name += ".csv";
  return csv.parent_path() / name;
}

std::vector<std::string> RelocateArgs(const fs::path& csv, bool backup, bool dryRun) {
  std::vector<std::string> args = {"relocate"};
  if (dryRun) args.push_back("--dry-run");
  if (backup) args.push_back("--backup");
  args.insert(args.end(), {csv.string(), kOldFolder, kNewFolder});
  return args;
}

ChildResult RunRelocate(const fs::path& csv, bool backup, const ChildOptions& options) {
  return RunChild(CliProgram(), RelocateArgs(csv, backup), options);
}

std::vector<std::string> FaultEnv(const fs::path& watched, const fs::path& log, const Fault& fault,
                                  const Fault& second) {
  std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
  if (const char* previous = std::getenv("ASAN_OPTIONS")) asan += std::string(":") + previous;
  return {"LD_PRELOAD=" + FaultLibrary(),
          asan,
          "PICRELINK_FAULT_DIR=" + watched.string(),
          "PICRELINK_FAULT_LOG=" + log.string(),
          "PICRELINK_FAULT_CALLS=" + fault.calls,
          "PICRELINK_FAULT_NTH=" + std::to_string(fault.nth),
          "PICRELINK_FAULT_ACTION=" + fault.action,
          "PICRELINK_FAULT2_CALLS=" + second.calls,
          "PICRELINK_FAULT2_NTH=" + std::to_string(second.nth),
          "PICRELINK_FAULT2_ACTION=" + second.action};
}

FaultLog ReadFaultLog(const fs::path& log, const fs::path& target) {
  FaultLog result;
  if (!fs::exists(log)) return result;
  std::istringstream lines(test::ReadBytes(log));
  bool renamed = false;
  std::vector<std::string> created;
  for (std::string line; std::getline(lines, line);) {
    if (line == "renamed " + target.string()) renamed = true;
    if (line.starts_with("created ")) {
      created.push_back(fs::path(line.substr(8)).filename().string());
    }
    if (!line.starts_with("inject ")) continue;
    Injection injection;
    std::istringstream words(line.substr(7));
    std::string kind;
    words >> injection.call >> injection.action >> kind;
    std::getline(words >> std::ws, injection.path);
    injection.kind = kind.empty() ? 0 : kind[0];
    injection.afterTargetRename = renamed;
    injection.createdBefore = created;
    result.push_back(injection);
  }
  return result;
}

// ------------------------------------------------------------------ listing

namespace {

class ListingBuilder {
 public:
  explicit ListingBuilder(uint32_t seed) : random_(seed) {}

  void Both(std::u16string_view text) {
    before_ += text;
    after_ += text;
  }
  void Unit(char16_t unit) { Both(std::u16string_view(&unit, 1)); }

  // Filler never holds d, D, f or F, so an occurrence of either find text
  // can only start where a reference or near miss is put on purpose.
  void Filler(size_t length) {
    static constexpr std::u16string_view kSafe =
        u"abceghijklmnopqrstuvwxyzABCEGHIJKLMNOPQRSTUVWXYZ0123456789 ,.-_;:/\\<>=#%&?+'"
        u"宝贝描述图片位置调整商品标题价格库存";
    for (size_t i = 0; i < length; ++i) Unit(kSafe[Pick(kSafe.size())]);
  }

  // Units that a rewrite must carry over as they are.
  void Oddity() {
    static constexpr char16_t kOdd[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x0000, 0xFEFF,
                                        0xFFFE, 0xFFFF, u'\r',  u'\n',  u'"',   u'\t'};
    switch (Pick(3)) {
      case 0:
        Unit(kOdd[Pick(std::size(kOdd))]);
        break;
      case 1:
        Both(u"\xD83D\xDE00");  // a pair: U+1F600
        break;
      default:
        Both(u"\"\"");  // a quote inside a quoted field
    }
  }

  void PathReference() {
    std::u16string file = u"\\";
    file += Name();
    file += u".jpg";
    Both(u"<img src=\"\"");
    before_ += VaryCase(FromUtf8(kOldFolder)) + file;
    after_ += FromUtf8(kNewFolder) + file;
    Both(u"\"\">");
  }

  void UrlReference() {
    std::u16string file = u"/";
    file += Name();
    file += u".jpg";
    Both(u"<img src=\"\"");
    before_ += VaryCase(u"file:///D:/old/shop/item") + file;
    after_ += u"file:///E:/新/my%20shop/item" + file;
    Both(u"\"\">");
  }

  // Texts that resemble a reference but are none.
  void NearMiss() {
    static constexpr std::u16string_view kMisses[] = {
        u"D:\\old\\shoX",           u"file:///D:/old/shop/iteX",  u"D:\\old\\shop\\\x00EDtem",
        u"D:/old/shop/item/a.jpg",  u"D:\\\\old\\\\shop\\\\item", u"file:///D:/%6Fld/shop/item",
        u"file://D:/old/shop/item", u"file:///D:/old/shop%20item"};
    Both(kMisses[Pick(std::size(kMisses))]);
  }

  void LineEnd() {
    const size_t p = Pick(10);
    Both(p < 7 ? u"\r\n" : p < 9 ? u"\n" : u"\r");
  }

  size_t Bytes() const { return 2 + 2 * before_.size(); }
  Listing Take() { return {test::Utf16FileBytes(before_), test::Utf16FileBytes(after_)}; }
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

 private:
  std::u16string Name() {
    std::u16string name;
    const size_t length = 1 + Pick(8);
    for (size_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(u'0' + Pick(10)));
    return name;
  }

  std::u16string VaryCase(std::u16string text) {
    for (char16_t& c : text) {
      if (Pick(2) == 0) continue;
      if (c >= u'a' && c <= u'z')
        c = static_cast<char16_t>(c - 32);
      else if (c >= u'A' && c <= u'Z')
        c = static_cast<char16_t>(c + 32);
    }
    return text;
  }

  std::mt19937 random_;
  std::u16string before_, after_;
};

}  // namespace

Listing MakeListing(size_t approximateBytes, uint32_t seed) {
  ListingBuilder b(seed);
  b.Both(u"\"编号\",\"标题\",\"描述\"\r\n");
  for (int row = 1; b.Bytes() < approximateBytes; ++row) {
    b.Both(u"\"");
    b.Both(FromUtf8(std::to_string(row)));
    b.Both(u"\",\"");
    b.Filler(5 + b.Pick(20));
    b.Both(u"\",\"<p>");
    for (size_t part = 0, parts = 2 + b.Pick(8); part < parts; ++part) {
      switch (b.Pick(6)) {
        case 0:
          b.PathReference();
          break;
        case 1:
          b.UrlReference();
          break;
        case 2:
          b.NearMiss();
          break;
        case 3:
          b.Oddity();
          break;
        default:
          b.Filler(10 + b.Pick(60));
      }
    }
    b.Both(u"</p>\"");
    b.LineEnd();
  }
  return b.Take();
}

// ------------------------------------------------------------------ folders

bool IsTemporaryOf(const std::string& entry, const std::string& name) {
  const std::string prefix = "." + name + ".picrelink-";
  return entry.size() == prefix.size() + 6 + 4 && entry.starts_with(prefix) &&
         entry.ends_with(".tmp");
}

std::vector<std::string> Temporaries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".") && name.find(".picrelink-") != std::string::npos &&
        name.ends_with(".tmp")) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const fs::path& file) {
  struct stat st {};
  if (lstat(file.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

bool IsLink(const fs::path& file) {
  struct stat st {};
  return lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool ReachableByOthers(const fs::path& program) {
  std::error_code error;
  const fs::path real = fs::canonical(program, error);
  if (error) return false;
  for (fs::path folder = real.parent_path();; folder = folder.parent_path()) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
    if (folder == folder.root_path()) break;
  }
  struct stat st {};
  return stat(real.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) != 0;
}

}  // namespace picrelink::reliability
