#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/file_errors.h"
#include "core/platform.h"
#include "core/utf.h"

namespace picrelink::platform {
namespace {

constexpr const char* kNotRegularFile = "Not a regular file";
// Renaming a new file over one name of a hard-linked file would leave the
// other names with the old content, silently splitting the file in two.
constexpr const char* kSeveralHardLinks = "The file has more than one hard link";
// The same bound the kernel applies when it resolves a path.
constexpr int kMaxLinkDepth = 40;
// Single reads and writes stay well below the kernel's per-call limit.
constexpr size_t kMaxTransfer = size_t{1} << 30;
constexpr size_t kCopyBufferSize = size_t{1} << 20;
// Long CSV names are shortened inside the temporary name so that it stays
// below the usual 255-byte limit of a file name.
constexpr size_t kMaxNameInTempName = 200;

// Closes the descriptor on every path out of a constructor that throws.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// strerror_r is the XSI variant (returns int) or the GNU one (returns the text).
[[maybe_unused]] const char* StrerrorText(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* StrerrorText(const char* result, const char*) { return result; }

// 0 when the lock (LOCK_EX or LOCK_SH) is taken, else the error code;
// EWOULDBLOCK when another open file holds a lock that excludes it.
int Lock(int fd, int how) {
  while (flock(fd, how | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    // A file system without locks cannot keep other programs off, but the
    // file itself is still usable.
    if (errno == ENOLCK || errno == EOPNOTSUPP) return 0;
    return errno;
  }
  return 0;
}

int LockExclusive(int fd) { return Lock(fd, LOCK_EX); }

// A reader meets a writer's lock for a moment; it tries again for about a
// second before it says the file is in use.
constexpr int kSharedLockAttempts = 6;
constexpr std::chrono::milliseconds kSharedLockPause{200};

int LockShared(int fd) {
  for (int attempt = 1;; ++attempt) {
    const int error = Lock(fd, LOCK_SH);
    if ((error != EWOULDBLOCK && error != EAGAIN) || attempt == kSharedLockAttempts) return error;
    std::this_thread::sleep_for(kSharedLockPause);
  }
}

// Why a lock could not be taken, in words a user understands: a lock held
// elsewhere means another run or program is working on the file.
std::string LockFailureText(int error) {
  if (error == EWOULDBLOCK || error == EAGAIN) {
    return "It is being changed by another run or program (" + SystemErrorText(error) + ")";
  }
  return SystemErrorText(error);
}

// Whether an open descriptor (-1 for none) is open on the file st describes.
bool IsOpenOn(intptr_t handle, const struct stat& st) {
  struct stat held {};
  return handle >= 0 && fstat(static_cast<int>(handle), &held) == 0 && held.st_dev == st.st_dev &&
         held.st_ino == st.st_ino;
}

// Why an existing file cannot be used; empty for a regular file.
std::string NotRegularReason(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return SystemErrorText(EISDIR);
  if (!S_ISREG(st.st_mode)) return kNotRegularFile;
  return {};
}

int ReadLink(const std::string& path, std::string& target) {
  for (size_t size = 256;; size *= 2) {
    std::string buffer(size, '\0');
    const ssize_t length = readlink(path.c_str(), buffer.data(), size);
    if (length < 0) return errno;
    if (static_cast<size_t>(length) < size) {
      target.assign(buffer.data(), static_cast<size_t>(length));
      return 0;
    }
  }
}

// "dir/" for "dir/name", "/" for "/name", "" for "name".
std::string FolderPrefix(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links from path to the file that is really replaced, so
// that the link itself stays a link. A dangling link leads to the file it
// names. Returns 0 or an error code; st is the final file's status when it
// exists.
int ResolveLinks(std::string path, std::string& finalPath, struct stat& st, bool& exists) {
  for (int depth = 0;; ++depth) {
    if (lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) return errno;
      exists = false;
      finalPath = path;
      return 0;
    }
    if (!S_ISLNK(st.st_mode)) {
      exists = true;
      finalPath = path;
      return 0;
    }
    if (depth == kMaxLinkDepth) return ELOOP;
    std::string linkTarget;
    if (int error = ReadLink(path, linkTarget)) return error;
    if (linkTarget.empty()) return ENOENT;
    // A relative link is relative to the folder that holds the link.
    path = linkTarget.front() == '/' ? linkTarget : FolderPrefix(path) + linkTarget;
  }
}

// The name cut to at most max bytes without splitting a UTF-8 sequence.
std::string ShortenUtf8(const std::string& name, size_t max) {
  if (name.size() <= max) return name;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

std::string RandomSuffix(std::mt19937& random) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kChars[pick(random)];
  return suffix;
}

// Writes every byte, going on after short writes and interruptions. 0 or
// the error code.
int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, std::min(size, kMaxTransfer));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // No progress on a regular file only happens when no room is left.
    if (written == 0) return ENOSPC;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

// The temporary's name for a final file: hidden, beside it (so that the
// rename stays within one file system), and named after the file and this
// program so that a leftover from a crash is recognisable.
constexpr std::string_view kTempMarker = ".picrelink-";
constexpr std::string_view kTempExtension = ".tmp";
constexpr size_t kTempRandomLength = 6;

std::string TempNamePrefix(const std::string& name) {
  std::string prefix = ".";
  prefix += ShortenUtf8(name, kMaxNameInTempName);
  prefix += kTempMarker;
  return prefix;
}

bool IsTempNameFor(std::string_view entry, const std::string& prefix) {
  if (entry.size() != prefix.size() + kTempRandomLength + kTempExtension.size() ||
      !entry.starts_with(prefix) || !entry.ends_with(kTempExtension)) {
    return false;
  }
  const std::string_view random = entry.substr(prefix.size(), kTempRandomLength);
  return std::all_of(random.begin(), random.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

// Removes the temporaries of this final file that a killed run left behind.
// A writer holds its temporary's lock until the rename, so one whose lock
// can be taken is abandoned. Only plain files with one name that match the
// temporary pattern exactly are candidates; a candidate that cannot be
// judged or removed stays (it is no danger, only litter).
void RemoveStaleTemporaries(const std::string& folderPrefix, const std::string& name) {
  const std::string prefix = TempNamePrefix(name);
  const std::string folder = folderPrefix.empty() ? std::string(".") : folderPrefix;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return;
  const int dirFd = dirfd(dir.get());
  while (const dirent* entry = readdir(dir.get())) {
    if (!IsTempNameFor(entry->d_name, prefix)) continue;
    UniqueFd fd(openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) continue;
    struct stat held {};
    if (fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode) || held.st_nlink != 1) continue;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;  // a live writer, or no locks here
    // Removed only while the name still leads to the file that was judged.
    struct stat named {};
    if (fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
      continue;
    }
    unlinkat(dirFd, entry->d_name, 0);
  }
}

// The process's file-creation mask, read without changing it (umask() can
// only read by setting, which would race with anything creating files).
mode_t CurrentUmask() {
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned int mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

// 0 or the error code. A file system that cannot flush folders (EINVAL) has
// nothing more to make durable.
int FlushFolder(const std::string& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return errno;
  if (fsync(fd.get()) != 0 && errno != EINVAL) return errno;
  return 0;
}

}  // namespace

std::string SystemErrorText(int code) {
  char buffer[256] = "";
  const char* text = StrerrorText(strerror_r(code, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') return "Unknown error " + std::to_string(code);
  return TrimErrorText(text);
}

std::u16string AbsolutePath(std::u16string_view path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(ToNativeBytes(path), error);
  if (error) return std::u16string(path);
  return FromNativeBytes(absolute.lexically_normal().native());
}

// ---------------------------------------------------------------- InputFile

InputFile::InputFile(std::u16string_view path, Sharing sharing) : path_(path) {
  const std::string name = ToNativeBytes(path);
  // Devices and FIFOs are refused before they are opened at all: opening
  // some devices has effects of its own.
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) throw OpenFileError(path, SystemErrorText(errno));
  if (std::string reason = NotRegularReason(st); !reason.empty()) {
    throw OpenFileError(path, reason);
  }
  // O_NONBLOCK keeps the open from waiting should a FIFO take the file's
  // place in between; the check below then refuses it.
  UniqueFd fd(open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) throw OpenFileError(path, SystemErrorText(errno));
  if (fstat(fd.get(), &st) != 0) throw OpenFileError(path, SystemErrorText(errno));
  if (std::string reason = NotRegularReason(st); !reason.empty()) {
    throw OpenFileError(path, reason);
  }
  const int flags = fcntl(fd.get(), F_GETFL);
  if (flags >= 0) fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  const int error = sharing == Sharing::Exclusive ? LockExclusive(fd.get()) : LockShared(fd.get());
  if (error != 0) throw OpenFileError(path, LockFailureText(error));
  handle_ = fd.release();
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() noexcept {
  if (handle_ >= 0) close(static_cast<int>(std::exchange(handle_, -1)));
}

uint64_t InputFile::Size() const {
  struct stat st {};
  if (fstat(static_cast<int>(handle_), &st) != 0) {
    throw StreamReadError(path_, SystemErrorText(errno));
  }
  return static_cast<uint64_t>(st.st_size);
}

size_t InputFile::Read(void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < size) {
    const ssize_t got =
        read(static_cast<int>(handle_), out + total, std::min(size - total, kMaxTransfer));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw StreamReadError(path_, SystemErrorText(errno));
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return total;
}

void InputFile::Seek(uint64_t byte) {
  const auto offset = static_cast<off_t>(byte);
  if (offset < 0) throw StreamReadError(path_, SystemErrorText(EOVERFLOW));
  if (lseek(static_cast<int>(handle_), offset, SEEK_SET) != offset) {
    throw StreamReadError(path_, SystemErrorText(errno));
  }
}

// ---------------------------------------------------------- ReplacementFile

namespace {

// From this size on, a replaced file's cached pages are released on a thread
// of their own while the new file is flushed; below it the thread costs more
// than it saves.
constexpr uint64_t kReleaseBesideFlush = uint64_t{8} << 20;

// Drops a file's cached pages on a thread of its own, which the caller joins
// before closing fd. Only time depends on it: without a thread, nothing.
std::jthread ReleaseCachedPages(int fd) noexcept {
#ifdef POSIX_FADV_DONTNEED
  if (fd < 0) return {};
  try {
    return std::jthread([fd] { posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED); });
  } catch (const std::system_error&) {
  }
#else
  (void)fd;
#endif
  return {};
}

}  // namespace

#ifdef __linux__
// Hands what has been written to the system's write-back on a thread of its
// own: starting it costs system time (allocating blocks, building the
// requests) that the writing thread would otherwise spend.
class WriteBackStarter {
 public:
  explicit WriteBackStarter(int fd) : fd_(fd), worker_([this] { Work(); }) {}
  ~WriteBackStarter() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_one();
  }
  void Request(uint64_t end) {
    {
      std::lock_guard lock(mutex_);
      requested_ = end;
    }
    changed_.notify_one();
  }

 private:
  void Work() {
    uint64_t started = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this, started] { return stopping_ || requested_ > started; });
      if (stopping_) return;
      const uint64_t end = requested_;
      lock.unlock();
      sync_file_range(fd_, static_cast<off_t>(started), static_cast<off_t>(end - started),
                      SYNC_FILE_RANGE_WRITE);
      started = end;
      lock.lock();
    }
  }
  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t requested_ = 0;
  bool stopping_ = false;
  std::jthread worker_;  // last: joined first, while the rest still lives
};
#else
// Other systems start their write-back on their own.
class WriteBackStarter {};
#endif

ReplacementFile::ReplacementFile(std::u16string_view target, InputFile* original)
    : ReplacementFile(target, original, 07777) {}

ReplacementFile::ReplacementFile(std::u16string_view target, InputFile* original,
                                 unsigned modeLimit)
    : target_(target), original_(original) {
  struct stat st {};
  bool exists = false;
  if (int error = ResolveLinks(ToNativeBytes(target), finalPath_, st, exists)) {
    throw CreateFileError(target, SystemErrorText(error));
  }
  const std::string folderPrefix = FolderPrefix(finalPath_);
  const std::string name = finalPath_.substr(folderPrefix.size());
  if (name.empty()) throw CreateFileError(target, SystemErrorText(EISDIR));

  UniqueFd lock;
  mode_t mode = 0666 & ~CurrentUmask();  // a new file gets the usual mode for new files
  if (exists) {
    // Checked before opening so that a FIFO or device is never opened.
    if (std::string reason = NotRegularReason(st); !reason.empty()) {
      throw CreateFileError(target, reason);
    }
    if (st.st_nlink > 1) throw CreateFileError(target, kSeveralHardLinks);
    lock.reset(open(finalPath_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (!lock) throw CreateFileError(target, SystemErrorText(errno));
    // The file may have been swapped since the check; judge what was opened.
    if (fstat(lock.get(), &st) != 0) throw CreateFileError(target, SystemErrorText(errno));
    if (std::string reason = NotRegularReason(st); !reason.empty()) {
      throw CreateFileError(target, reason);
    }
    if (st.st_nlink > 1) throw CreateFileError(target, kSeveralHardLinks);
    // The original being read already holds the lock, and a second lock by
    // this program on the same file would fail.
    if (!IsOpenOn(original != nullptr ? original->handle_ : -1, st)) {
      if (int error = LockExclusive(lock.get())) {
        throw CreateFileError(target, LockFailureText(error));
      }
    }
    // A read-only file is not replaced. The superuser passes every access
    // check, so a file without any write bit counts as read-only for it too.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      throw CreateFileError(target, SystemErrorText(EACCES));
    }
    if (faccessat(AT_FDCWD, finalPath_.c_str(), W_OK, AT_EACCESS) != 0) {
      throw CreateFileError(target, SystemErrorText(errno));
    }
    mode = st.st_mode & 07777;
    replacedBytes_ = static_cast<uint64_t>(st.st_size);
  }
  mode &= static_cast<mode_t>(modeLimit);

  // Only now, with the target's own lock held, can a leftover of an earlier
  // run over the same file be told from the temporary of a live one.
  RemoveStaleTemporaries(folderPrefix, name);

  // The name is unpredictable and created exclusively, so that nobody can
  // prepare a file or link under it. The temporary starts private and takes
  // its final mode before anything is written, so that nobody can open it
  // while it is more open than the file will be, and keep reading.
  std::random_device seed;
  std::mt19937 random(seed());
  const std::string tempBase = folderPrefix + TempNamePrefix(name);
  UniqueFd temp;
  for (int attempt = 0;; ++attempt) {
    tempPath_ = tempBase + RandomSuffix(random) + std::string(kTempExtension);
    temp.reset(open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (temp) break;
    if (errno != EEXIST || attempt == 100) {
      const int error = errno;
      tempPath_.clear();
      // The file itself may be writable: the new content goes to a file
      // beside it, so the folder is what refuses.
      if (error == EACCES || error == EPERM || error == EROFS) {
        const std::string folder = folderPrefix.empty() ? "." : folderPrefix;
        throw CreateFileError(target,
                              "The folder \"" + ToUtf8(AbsolutePath(FromNativeBytes(folder))) +
                                  "\" does not allow new files (" + SystemErrorText(error) + ")");
      }
      throw CreateFileError(target, SystemErrorText(error));
    }
  }
  tempHandle_ = temp.release();
  lockHandle_ = lock.release();

  // The temporary is locked for as long as it may still become the file, so
  // that the next run can tell a leftover from a live temporary. The lock is
  // held through a duplicate, which outlives the writing descriptor's close
  // before the rename.
  const int tempFd = static_cast<int>(tempHandle_);
  if (int error = LockExclusive(tempFd)) {
    Discard();
    throw CreateFileError(target, SystemErrorText(error));
  }
  tempLockHandle_ = fcntl(tempFd, F_DUPFD_CLOEXEC, 0);
  if (tempLockHandle_ < 0) {
    const int error = errno;
    Discard();
    throw CreateFileError(target, SystemErrorText(error));
  }

  if (exists) {
    // Ownership is kept where the system lets this user give it; an ordinary
    // user may still keep the group when a member of it; otherwise the new
    // file belongs to this user. The owner change may clear the set-id bits,
    // so the mode is set after it.
    if (fchown(tempFd, st.st_uid, st.st_gid) != 0 && fchown(tempFd, -1, st.st_gid) != 0) {
      // Neither permitted: the file keeps this user's ownership.
    }
  }
  if (fchmod(tempFd, mode) != 0) {
    const int error = errno;
    Discard();
    throw CreateFileError(target, SystemErrorText(error));
  }
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() noexcept {
  writeBack_.reset();  // done with the descriptor before it goes
  if (tempHandle_ >= 0) {
    close(static_cast<int>(tempHandle_));
    tempHandle_ = -1;
  }
  // Removed while still locked, so that no other run judges it meanwhile.
  if (!committed_ && !tempPath_.empty()) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
  }
  if (tempLockHandle_ >= 0) {
    close(static_cast<int>(tempLockHandle_));
    tempLockHandle_ = -1;
  }
  if (lockHandle_ >= 0) {
    close(static_cast<int>(lockHandle_));
    lockHandle_ = -1;
  }
}

void ReplacementFile::Write(const void* data, size_t size) {
  if (tempHandle_ < 0) throw StreamWriteError(target_, SystemErrorText(EBADF));
  if (int error = WriteAll(static_cast<int>(tempHandle_), static_cast<const char*>(data), size)) {
    throw StreamWriteError(target_, SystemErrorText(error));
  }
  StartWriteBack(size);
}

// Asks the system to start writing what has been written so far, without
// waiting for it: the disk then works while the rest of the file is being
// produced, and the flush in Commit has little left to wait for. It is only
// a hint; the flush in Commit is what makes the file durable.
void ReplacementFile::StartWriteBack(size_t written) {
#ifdef __linux__
  constexpr uint64_t kWriteBackStep = uint64_t{4} << 20;
  written_ += written;
  if (written_ - writeBackStart_ < kWriteBackStep) return;
  if (!writeBack_) {
    try {
      writeBack_ = std::make_unique<WriteBackStarter>(static_cast<int>(tempHandle_));
    } catch (const std::system_error&) {
      // No thread to be had: this one starts the write-back itself.
      sync_file_range(static_cast<int>(tempHandle_), static_cast<off_t>(writeBackStart_),
                      static_cast<off_t>(written_ - writeBackStart_), SYNC_FILE_RANGE_WRITE);
      writeBackStart_ = written_;
      return;
    }
  }
  writeBack_->Request(written_);
  writeBackStart_ = written_;
#else
  (void)written;
#endif
}

void ReplacementFile::Commit() {
  if (committed_) return;
  if (tempHandle_ < 0) throw StreamWriteError(target_, SystemErrorText(EBADF));
  // Releasing the replaced file's cached pages is part of the work of its
  // last close after the rename; started beside the flush, it takes time in
  // which this thread only waits for the disk. The pages are clean, so the
  // file keeps its bytes whatever happens next.
  const std::jthread releaseReplaced = replacedBytes_ >= kReleaseBesideFlush
                                           ? ReleaseCachedPages(static_cast<int>(lockHandle_))
                                           : std::jthread();
  writeBack_.reset();  // done with the descriptor before it goes
  // A failed fsync may already have dropped the unwritten pages, so it is
  // never retried: the temporary is abandoned and the target keeps its bytes.
  const int fd = static_cast<int>(std::exchange(tempHandle_, -1));
  if (fsync(fd) != 0) {
    const int error = errno;
    close(fd);
    throw StreamWriteError(target_, SystemErrorText(error));
  }
  // Some file systems report a failed write-back only here. The descriptor
  // is gone even when close reports an interruption.
  if (close(fd) != 0 && errno != EINTR) throw StreamWriteError(target_, SystemErrorText(errno));
  if (original_ != nullptr) original_->Close();
  if (rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    throw StreamWriteError(target_, SystemErrorText(errno));
  }
  committed_ = true;
  tempPath_.clear();
  close(static_cast<int>(std::exchange(tempLockHandle_, -1)));

  // Without this the rename itself may be lost in a crash, bringing back
  // the old file (or no file) although the write was reported as done.
  const std::string folder = FolderPrefix(finalPath_);
  if (int error = FlushFolder(folder.empty() ? std::string(".") : folder)) {
    throw UnconfirmedDurabilityError(target_, SystemErrorText(error));
  }
}

// ------------------------------------------------------------ CopyFileOver

void CopyFileOver(std::u16string_view source, std::u16string_view dest) {
  InputFile in(source);
  CopyFileOver(in, dest);
}

void CopyFileOver(InputFile& in, std::u16string_view dest) {
  in.Rewind();
  // A copy of a private CSV must not become readable by others through the
  // umask of a new file or the mode of an older copy; it stays writable by
  // its owner so that the next copy can replace it.
  struct stat from {};
  if (fstat(static_cast<int>(in.handle_), &from) != 0) {
    throw StreamReadError(in.path_, SystemErrorText(errno));
  }
  ReplacementFile out(dest, nullptr, (from.st_mode & 0777) | S_IWUSR | 07000);
  std::vector<char> buffer(kCopyBufferSize);
  while (const size_t got = in.Read(buffer.data(), buffer.size())) {
    out.Write(buffer.data(), got);
  }
  out.Commit();
}

bool NameTaken(std::u16string_view path) {
  struct stat st {};
  if (lstat(ToNativeBytes(path).c_str(), &st) == 0) return true;
  return errno != ENOENT && errno != ENOTDIR;
}

bool IsSymbolicLink(std::u16string_view path) {
  struct stat st {};
  return lstat(ToNativeBytes(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

FileStamp StampOf(std::u16string_view path) {
  struct stat st {};
  if (path.empty() || stat(ToNativeBytes(path).c_str(), &st) != 0) return {};
  return {true, static_cast<uint64_t>(st.st_size),
          static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// -------------------------------------------------------------- ListFolder

std::vector<FolderEntry> ListFolder(std::u16string_view folder) {
  const auto fail = [folder](int error) {
    return Error("Cannot read folder \"" + ToUtf8(AbsolutePath(folder)) + "\". " +
                 SystemErrorText(error));
  };
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(ToNativeBytes(folder).c_str()), closedir);
  if (!dir) throw fail(errno);
  std::vector<FolderEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) throw fail(errno);
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isDirectory = entry->d_type == DT_DIR;
    bool isLink = entry->d_type == DT_LNK;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat own {};
      isLink = fstatat(dirfd(dir.get()), entry->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISLNK(own.st_mode);
    }
    if (isLink || entry->d_type == DT_UNKNOWN) {
      // A link counts as what it points to; a dangling link as a file.
      struct stat st {};
      isDirectory = fstatat(dirfd(dir.get()), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back({FromNativeBytes(name), isDirectory, isLink, name.front() == '.'});
  }
  return entries;
}

// ------------------------------------------------------------ ProgramFolder

std::u16string ProgramFolder() {
  std::string program;
  if (int error = ReadLink("/proc/self/exe", program)) {
    throw Error("Cannot determine the program's folder. " + SystemErrorText(error));
  }
  // The kernel's link is already resolved; realpath only tidies up, and a
  // program file replaced while running (" (deleted)") keeps its folder.
  if (char* real = realpath(program.c_str(), nullptr)) {
    program = real;
    std::free(real);
  }
  const std::string folder = FolderPrefix(program);
  if (folder.empty()) throw Error("Cannot determine the program's folder");
  return FromNativeBytes(folder);
}

}  // namespace picrelink::platform
