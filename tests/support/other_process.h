#pragma once
// Tests of exclusive file access need a second process: a lock taken by the
// test process itself would not show what another program sees. (The
// Windows tests have their own, with share modes: tests/windows.)
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <stdexcept>
#include <string>

namespace picrelink::test {

#ifndef _WIN32

// A child process that opens the file and holds an exclusive lock on it
// until this object goes.
class FileHeldByOtherProcess {
 public:
  explicit FileHeldByOtherProcess(const std::filesystem::path& file) {
    int ready[2];
    int release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe failed");
    child_ = fork();
    if (child_ < 0) throw std::runtime_error("fork failed");
    if (child_ == 0) {
      close(ready[0]);
      close(release[1]);
      const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK);
      if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
      const char byte = 1;
      if (write(ready[1], &byte, 1) != 1) _exit(1);
      char ignored;
      while (read(release[0], &ignored, 1) > 0) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char byte = 0;
    const bool locked = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!locked) {
      Stop();
      throw std::runtime_error("the other process could not lock " + file.string());
    }
  }
  ~FileHeldByOtherProcess() { Stop(); }
  FileHeldByOtherProcess(const FileHeldByOtherProcess&) = delete;
  FileHeldByOtherProcess& operator=(const FileHeldByOtherProcess&) = delete;

 private:
  void Stop() {
    if (release_ >= 0) close(release_);
    release_ = -1;
    if (child_ > 0) waitpid(child_, nullptr, 0);
    child_ = -1;
  }

  pid_t child_ = -1;
  int release_ = -1;
};

// Whether another process could take an exclusive lock on the file now.
inline bool OtherProcessCanLock(const std::filesystem::path& file) {
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK);
    _exit(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

// Makes the folder current for the life of the object, so that relative
// names can be tested; the previous current folder comes back afterwards.
class CurrentFolderGuard {
 public:
  explicit CurrentFolderGuard(const std::filesystem::path& folder)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolderGuard() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  CurrentFolderGuard(const CurrentFolderGuard&) = delete;
  CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

 private:
  std::filesystem::path previous_;
};

// Fails the test with SIGALRM instead of hanging when a call blocks (a FIFO
// opened without a partner waits forever).
#ifndef _WIN32
class HangGuard {
 public:
  explicit HangGuard(unsigned seconds = 10) { alarm(seconds); }
  ~HangGuard() { alarm(0); }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;
};
#endif

}  // namespace picrelink::test
