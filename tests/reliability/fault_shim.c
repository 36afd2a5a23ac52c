/*
 * A preloaded library (LD_PRELOAD) that makes one file-system call of the
 * program under test fail, or kills the program at that call, so that tests
 * can walk a run through every failure point.
 *
 * Only calls on the watched folder count: opens, renames and unlinks of a
 * path inside it, and reads, writes, flushes and closes of a descriptor that
 * such an open returned. Standard output, libraries and the rest of the
 * system are left alone.
 *
 * Environment:
 *   PICRELINK_FAULT_DIR     the watched folder (absolute; without it the
 *                           library does nothing)
 *   PICRELINK_FAULT_CALLS   which calls count: "any", or a comma list of
 *                           open, read, write, fsync, close, rename, unlink
 *   PICRELINK_FAULT_NTH     the counted call (1-based) that is hit
 *   PICRELINK_FAULT_ACTION  ENOSPC, EIO, EACCES, EINTR (the call fails with
 *                           that error), SHORT (a read or write moves half
 *                           the bytes) or KILL (SIGKILL before the call)
 *   PICRELINK_FAULT2_CALLS, PICRELINK_FAULT2_NTH, PICRELINK_FAULT2_ACTION
 *                           a second fault with its own count, for a failure
 *                           on the way out of a first one
 *   PICRELINK_FAULT_LOG     file that receives one line per event:
 *                             "inject <call> <action> <kind> <path>"
 *                             "renamed <new path>"
 *                             "created <path>"  (an open with O_CREAT that succeeded)
 *                           kind: w written descriptor, r read-only one,
 *                           d folder, p a path (open, rename, unlink)
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum { kMaxTrackedFd = 4096 };

typedef int (*OpenFn)(const char*, int, ...);
typedef int (*OpenatFn)(int, const char*, int, ...);
typedef ssize_t (*ReadWriteFn)(int, void*, size_t);
typedef int (*FdFn)(int);
typedef int (*RenameFn)(const char*, const char*);
typedef int (*RenameatFn)(int, const char*, int, const char*);
typedef int (*Renameat2Fn)(int, const char*, int, const char*, unsigned int);
typedef int (*UnlinkFn)(const char*);
typedef int (*UnlinkatFn)(int, const char*, int);

typedef struct {
  char calls[256];
  long nth;
  long counted;
  char action[16];
} Fault;

enum { kFaults = 2 };

static struct {
  char dir[4096];
  size_t dirLength;
  Fault faults[kFaults];
  char log[4096];
  /* What each descriptor opened on the watched folder is: 'r', 'w', 'd'. */
  char tracked[kMaxTrackedFd];
  char paths[kMaxTrackedFd][256];
  OpenFn open;
  OpenatFn openat;
  ReadWriteFn read;
  ReadWriteFn write;
  FdFn fsync;
  FdFn fdatasync;
  FdFn close;
  RenameFn rename;
  RenameatFn renameat;
  Renameat2Fn renameat2;
  UnlinkFn unlink;
  UnlinkatFn unlinkat;
} g;

static void CopyEnv(const char* name, char* out, size_t size) {
  const char* value = getenv(name);
  out[0] = '\0';
  if (value != NULL) {
    strncpy(out, value, size - 1);
    out[size - 1] = '\0';
  }
}

/* The program may call from several threads (the run writes on a thread of
 * its own): the set-up happens once, the counting under a lock, and each
 * thread has its own record of the fault its current call hit. */
static pthread_once_t gInitOnce = PTHREAD_ONCE_INIT;
static pthread_mutex_t gCountLock = PTHREAD_MUTEX_INITIALIZER;
static __thread const Fault* tHit; /* the fault of the call being handled, if any */

static void InitOnce(void) {
  g.open = (OpenFn)dlsym(RTLD_NEXT, "open");
  g.openat = (OpenatFn)dlsym(RTLD_NEXT, "openat");
  g.read = (ReadWriteFn)dlsym(RTLD_NEXT, "read");
  g.write = (ReadWriteFn)dlsym(RTLD_NEXT, "write");
  g.fsync = (FdFn)dlsym(RTLD_NEXT, "fsync");
  g.fdatasync = (FdFn)dlsym(RTLD_NEXT, "fdatasync");
  g.close = (FdFn)dlsym(RTLD_NEXT, "close");
  g.rename = (RenameFn)dlsym(RTLD_NEXT, "rename");
  g.renameat = (RenameatFn)dlsym(RTLD_NEXT, "renameat");
  g.renameat2 = (Renameat2Fn)dlsym(RTLD_NEXT, "renameat2");
  g.unlink = (UnlinkFn)dlsym(RTLD_NEXT, "unlink");
  g.unlinkat = (UnlinkatFn)dlsym(RTLD_NEXT, "unlinkat");
  CopyEnv("PICRELINK_FAULT_DIR", g.dir, sizeof g.dir);
  g.dirLength = strlen(g.dir);
  while (g.dirLength > 1 && g.dir[g.dirLength - 1] == '/') g.dir[--g.dirLength] = '\0';
  static const char* const kPrefixes[kFaults] = {"PICRELINK_FAULT_", "PICRELINK_FAULT2_"};
  for (int i = 0; i < kFaults; ++i) {
    Fault* f = &g.faults[i];
    char name[64];
    snprintf(name, sizeof name, "%sCALLS", kPrefixes[i]);
    CopyEnv(name, f->calls, sizeof f->calls);
    snprintf(name, sizeof name, "%sACTION", kPrefixes[i]);
    CopyEnv(name, f->action, sizeof f->action);
    snprintf(name, sizeof name, "%sNTH", kPrefixes[i]);
    const char* nth = getenv(name);
    f->nth = nth != NULL ? strtol(nth, NULL, 10) : 0;
  }
  CopyEnv("PICRELINK_FAULT_LOG", g.log, sizeof g.log);
}

static void Init(void) { pthread_once(&gInitOnce, InitOnce); }

static void Log(const char* line) {
  if (g.log[0] == '\0') return;
  const int fd = g.open(g.log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const size_t length = strlen(line);
  if (g.write(fd, (void*)line, length) != (ssize_t)length) {
    /* Nothing to do: the test then misses a line and fails. */
  }
  g.close(fd);
}

static int Watched(const char* path) {
  return path != NULL && strncmp(path, g.dir, g.dirLength) == 0 &&
         (path[g.dirLength] == '/' || path[g.dirLength] == '\0');
}

/* The path named by dirfd and a relative path, for the calls ending in -at. */
static void AtPath(int dirfd, const char* path, char* out, size_t size) {
  out[0] = '\0';
  if (path == NULL) return;
  if (path[0] == '/' || dirfd == AT_FDCWD) {
    snprintf(out, size, "%s", path);
    return;
  }
  char link[64];
  char folder[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
  const ssize_t length = readlink(link, folder, sizeof folder - 1);
  if (length <= 0) return;
  folder[length] = '\0';
  snprintf(out, size, "%s/%s", folder, path);
}

static int Selected(const Fault* f, const char* call) {
  if (f->nth <= 0 || f->action[0] == '\0') return 0;
  if (strcmp(f->calls, "any") == 0) return 1;
  const size_t length = strlen(call);
  for (const char* p = f->calls; (p = strstr(p, call)) != NULL; p += length) {
    if ((p == f->calls || p[-1] == ',') && (p[length] == ',' || p[length] == '\0')) return 1;
  }
  return 0;
}

/* Whether this call is one to hit; kills the program at once for KILL. */
static int Hit(const char* call, char kind, const char* path) {
  Init();
  tHit = NULL;
  if (g.dirLength == 0) return 0;
  pthread_mutex_lock(&gCountLock);
  for (int i = 0; i < kFaults; ++i) {
    Fault* f = &g.faults[i];
    if (!Selected(f, call) || ++f->counted != f->nth) continue;
    char line[4400];
    snprintf(line, sizeof line, "inject %s %s %c %s\n", call, f->action, kind,
             path != NULL ? path : "");
    Log(line);
    if (strcmp(f->action, "KILL") == 0) raise(SIGKILL);
    tHit = f;
    pthread_mutex_unlock(&gCountLock);
    return 1;
  }
  pthread_mutex_unlock(&gCountLock);
  return 0;
}

/* The error the fault just hit reports; 0 for SHORT. */
static int InjectedErrno(void) {
  const char* action = tHit != NULL ? tHit->action : "";
  if (strcmp(action, "ENOSPC") == 0) return ENOSPC;
  if (strcmp(action, "EIO") == 0) return EIO;
  if (strcmp(action, "EACCES") == 0) return EACCES;
  if (strcmp(action, "EINTR") == 0) return EINTR;
  return 0;
}

static char FdKind(int fd) { return fd >= 0 && fd < kMaxTrackedFd ? g.tracked[fd] : 0; }

static const char* FdPath(int fd) { return fd >= 0 && fd < kMaxTrackedFd ? g.paths[fd] : ""; }

static void Track(int fd, int flags, const char* path) {
  if (fd < 0 || fd >= kMaxTrackedFd) return;
  if (flags & O_DIRECTORY) {
    g.tracked[fd] = 'd';
  } else {
    g.tracked[fd] = (flags & O_ACCMODE) == O_RDONLY ? 'r' : 'w';
  }
  /* Only for the log: a long path may be cut. */
  snprintf(g.paths[fd], sizeof g.paths[fd], "%.255s", path);
}

static void LogCreated(const char* path) {
  char line[4500];
  snprintf(line, sizeof line, "created %s\n", path);
  Log(line);
}

static int OpenCommon(int dirfd, const char* path, int flags, mode_t mode) {
  Init();
  char full[4400];
  AtPath(dirfd, path, full, sizeof full);
  const int watched = g.dirLength > 0 && Watched(full);
  if (watched && Hit("open", 'p', full)) {
    const int error = InjectedErrno();
    if (error != 0) {
      errno = error;
      return -1;
    }
  }
  const int fd = g.openat(dirfd, path, flags, mode);
  if (watched) {
    Track(fd, flags, full);
    if (fd >= 0 && (flags & O_CREAT)) LogCreated(full);
  }
  return fd;
}

static mode_t ModeArgument(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(args, int) : 0;
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenCommon(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenCommon(AT_FDCWD, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenCommon(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  return OpenCommon(dirfd, path, flags, mode);
}

/* The checked variants that fortified builds call. */
int __open_2(const char* path, int flags) { return OpenCommon(AT_FDCWD, path, flags, 0); }
int __open64_2(const char* path, int flags) { return OpenCommon(AT_FDCWD, path, flags, 0); }
int __openat_2(int dirfd, const char* path, int flags) { return OpenCommon(dirfd, path, flags, 0); }
int __openat64_2(int dirfd, const char* path, int flags) {
  return OpenCommon(dirfd, path, flags, 0);
}

static ssize_t Transfer(const char* call, ReadWriteFn* real, int fd, void* buffer, size_t count) {
  Init();
  const char kind = FdKind(fd);
  if (kind != 0 && Hit(call, kind, FdPath(fd))) {
    const int error = InjectedErrno();
    if (error != 0) {
      errno = error;
      return -1;
    }
    if (count >= 2) count /= 2; /* SHORT */
  }
  return (*real)(fd, buffer, count);
}

ssize_t read(int fd, void* buffer, size_t count) {
  Init();
  return Transfer("read", &g.read, fd, buffer, count);
}

ssize_t __read_chk(int fd, void* buffer, size_t count, size_t size) {
  (void)size;
  Init();
  return Transfer("read", &g.read, fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  Init();
  return Transfer("write", &g.write, fd, (void*)buffer, count);
}

static int Flush(FdFn* real, int fd) {
  Init();
  const char kind = FdKind(fd);
  if (kind != 0 && Hit("fsync", kind, FdPath(fd))) {
    const int error = InjectedErrno();
    if (error != 0) {
      errno = error;
      return -1;
    }
  }
  return (*real)(fd);
}

int fsync(int fd) { return Flush(&g.fsync, fd); }
int fdatasync(int fd) { return Flush(&g.fdatasync, fd); }

int close(int fd) {
  Init();
  const char kind = FdKind(fd);
  int injected = 0;
  if (kind != 0) {
    injected = Hit("close", kind, FdPath(fd));
    g.tracked[fd] = 0;
  }
  /* Linux releases the descriptor even when close reports an error. */
  const int result = g.close(fd);
  if (injected && InjectedErrno() != 0) {
    errno = InjectedErrno();
    return -1;
  }
  return result;
}

static void LogRenamed(const char* path) {
  char line[4500];
  snprintf(line, sizeof line, "renamed %s\n", path);
  Log(line);
}

static int RenameCommon(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                        unsigned int flags) {
  Init();
  char oldFull[4400];
  char newFull[4400];
  AtPath(olddirfd, oldpath, oldFull, sizeof oldFull);
  AtPath(newdirfd, newpath, newFull, sizeof newFull);
  const int watched = g.dirLength > 0 && (Watched(oldFull) || Watched(newFull));
  if (watched && Hit("rename", 'p', newFull)) {
    const int error = InjectedErrno();
    if (error != 0) {
      errno = error;
      return -1;
    }
  }
  const int result = flags != 0 && g.renameat2 != NULL
                         ? g.renameat2(olddirfd, oldpath, newdirfd, newpath, flags)
                         : g.renameat(olddirfd, oldpath, newdirfd, newpath);
  if (watched && result == 0) LogRenamed(newFull);
  return result;
}

int rename(const char* oldpath, const char* newpath) {
  return RenameCommon(AT_FDCWD, oldpath, AT_FDCWD, newpath, 0);
}

int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
  return RenameCommon(olddirfd, oldpath, newdirfd, newpath, 0);
}

int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
              unsigned int flags) {
  return RenameCommon(olddirfd, oldpath, newdirfd, newpath, flags);
}

static int UnlinkCommon(int dirfd, const char* path, int flags) {
  Init();
  char full[4400];
  AtPath(dirfd, path, full, sizeof full);
  if (g.dirLength > 0 && Watched(full) && Hit("unlink", 'p', full)) {
    const int error = InjectedErrno();
    if (error != 0) {
      errno = error;
      return -1;
    }
  }
  return g.unlinkat(dirfd, path, flags);
}

int unlink(const char* path) { return UnlinkCommon(AT_FDCWD, path, 0); }
int unlinkat(int dirfd, const char* path, int flags) { return UnlinkCommon(dirfd, path, flags); }
