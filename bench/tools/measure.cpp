// picrelink-measure REPORT PROGRAM [ARGS...]: runs PROGRAM and writes its
// wall-clock time, exit status and peak resident memory to REPORT.
//
// A child's peak resident size (ru_maxrss) never falls below the resident
// size of the process that started it: the kernel carries the parent's
// high-water mark over the exec. Started straight from a Python script, every
// child would seem to need at least the interpreter's 10 MB or more. This
// launcher keeps its own memory small, so the peak it reports is the
// program's, and it reports its own high-water mark beside it as the floor.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

extern char** environ;

namespace {

// This process's own high-water mark in kilobytes, which is what a child
// inherits. ru_maxrss of RUSAGE_SELF would not do: it still holds the mark of
// the process that started this one.
long OwnHighWaterKb() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
  }
  std::fclose(status);
  return kb;
}

double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: picrelink-measure REPORT PROGRAM [ARGS...]\n", stderr);
    return 2;
  }
  const long launcherKb = OwnHighWaterKb();
  const double start = Now();
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[2], nullptr, nullptr, argv + 2, environ);
  if (spawned != 0) {
    std::fprintf(stderr, "picrelink-measure: cannot run %s: %s\n", argv[2], std::strerror(spawned));
    return 127;
  }
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("picrelink-measure: wait4");
      return 125;
    }
  }
  const double seconds = Now() - start;
  const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

  std::FILE* report = std::fopen(argv[1], "w");
  if (report == nullptr) {
    std::fprintf(stderr, "picrelink-measure: cannot create %s\n", argv[1]);
    return 125;
  }
  // ru_maxrss counts kilobytes on Linux.
  std::fprintf(report, "status=%d seconds=%.6f maxrss_kb=%ld launcher_kb=%ld\n", exitStatus,
               seconds, usage.ru_maxrss, launcherKb);
  if (std::fclose(report) != 0) return 125;
  return exitStatus;
}
