#pragma once
// The few file-system calls the system needs, behind one small unit:
// platform_posix.cpp now, platform_win32.cpp for Windows builds. Every error
// is raised as picrelink::Error with its complete message.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace picrelink::platform {

// Separator of local paths: "\" on Windows, "/" on POSIX systems.
#ifdef _WIN32
inline constexpr char16_t kLocalSeparator = u'\\';
#else
inline constexpr char16_t kLocalSeparator = u'/';
#endif

// The system's text for an error code, with trailing blanks, control
// characters and full stops removed.
std::string SystemErrorText(int code);

// The path made absolute against the current folder, for messages.
std::u16string AbsolutePath(std::u16string_view path);

// How an InputFile shares its file with other programs while it is open.
enum class Sharing {
  // Nobody else may open it (a non-blocking exclusive lock on POSIX, share
  // mode 0 on Windows): for a file that is about to be rewritten.
  Exclusive,
  // Other readers may open it too, writers may not (a shared lock on POSIX,
  // share-read on Windows): for every read that changes nothing. A file that
  // a writer holds is tried again a few times, for about a second, before
  // the open fails.
  ReadersAllowed,
};

// An existing file opened for reading and held until it is closed, shared
// as sharing says.
class InputFile {
 public:
  // Throws Error "Cannot open file "<absolute path>". <system text>".
  explicit InputFile(std::u16string_view path, Sharing sharing = Sharing::Exclusive);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  uint64_t Size() const;
  // Reads up to size bytes; fewer only at the end of the file, 0 at its end.
  size_t Read(void* buffer, size_t size);
  // Goes back to the first byte, so that the file can be read again (for a
  // backup made while the file is held).
  void Rewind() { Seek(0); }
  // Goes to the given byte, so that the next Read begins there (a byte at or
  // beyond the end: Read gives nothing).
  void Seek(uint64_t byte);
  // Closes the file and gives up the hold; nothing more can be read.
  void Close() noexcept;

 private:
  friend class ReplacementFile;  // takes over the hold of the file it replaces
  friend void CopyFileOver(std::u16string_view source, std::u16string_view dest);
  friend void CopyFileOver(InputFile& source, std::u16string_view dest);

  std::u16string path_;
  intptr_t handle_ = -1;
};

class WriteBackStarter;  // what starts the system's write-back, where it is asked to

// Replaces a file safely: the new content goes to a temporary file in the
// target's folder, which is flushed to disk and renamed over the target only
// on Commit. Until then the target keeps its old bytes; without Commit the
// temporary is removed. A symbolic link is followed and stays a link; the
// replaced file keeps the original's permission bits (and owner and group
// where the system permits). Temporaries of the same target left behind by a
// killed run (".<name>.picrelink-XXXXXX.tmp", no longer locked by a writer)
// are removed first; nothing else is ever deleted.
class ReplacementFile {
 public:
  // Throws Error "Cannot create file "<absolute path>". <system text>" when
  // the target cannot be written (read-only, folder missing, held by another
  // program, not a regular file).
  //
  // original: the target while it is being read, for a rewrite that streams
  // from the file into its replacement. Its exclusive hold then keeps other
  // programs off (a second exclusive open of the same file by this program
  // would fail), and Commit closes it right before the rename.
  explicit ReplacementFile(std::u16string_view target, InputFile* original = nullptr);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Writes every byte; throws Error "Stream write error. The file ... was
  // left unchanged. <reason>" when not all could be.
  void Write(const void* data, size_t size);
  // Flushes and closes the temporary file, renames it over the target and
  // flushes the folder. Throws Error on any failure: "Stream write error. ...
  // left unchanged" up to the rename; after it, an error saying that the file
  // was written but its durability is not confirmed.
  void Commit();

 private:
  friend void CopyFileOver(std::u16string_view source, std::u16string_view dest);
  friend void CopyFileOver(InputFile& source, std::u16string_view dest);
  // modeLimit: permission bits the replaced file may have at most.
  ReplacementFile(std::u16string_view target, InputFile* original, unsigned modeLimit);
  void Discard() noexcept;
  void StartWriteBack(size_t written);

  std::u16string target_;  // as given, for messages
  std::string finalPath_;  // the regular file that is replaced (links followed)
  std::string tempPath_;
  intptr_t tempHandle_ = -1;
  // A second descriptor of the temporary that keeps its lock until after the
  // rename: a leftover whose lock can be taken belongs to no live writer.
  intptr_t tempLockHandle_ = -1;
  intptr_t lockHandle_ = -1;    // the existing target, held while it is replaced
  uint64_t replacedBytes_ = 0;  // its size when opened
  InputFile* original_ = nullptr;
  bool committed_ = false;
  uint64_t written_ = 0;         // bytes written to the temporary so far
  uint64_t writeBackStart_ = 0;  // first byte not yet handed to the system's write-back
  std::unique_ptr<WriteBackStarter> writeBack_;
};

// Copies source over dest, replacing a file of that name the safe way. The
// copy is never readable by more users than the source: its read and
// execute bits are limited to the source's (it stays writable by its owner,
// so that the next copy can replace it). Throws Error naming the file that
// failed and the system's reason.
void CopyFileOver(std::u16string_view source, std::u16string_view dest);
// The same from a file this program holds open (and so locked against a
// second open): it is read again from its first byte.
void CopyFileOver(InputFile& source, std::u16string_view dest);

// Whether anything (a file, a folder, a link, even a dangling one) has this
// name. A name that cannot be looked up for any reason but its absence
// counts as taken, so that nothing is ever written over it unseen.
bool NameTaken(std::u16string_view path);

// Whether path names a symbolic link (on Windows, any reparse point), not
// following it. False when it cannot be looked up.
bool IsSymbolicLink(std::u16string_view path);

// What tells that a file is still the one read before: its size and the
// time it was last written, or that there is none.
struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  int64_t modified = 0;  // in the system's own units
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path, following links; an empty path or one that
// cannot be looked up has none.
FileStamp StampOf(std::u16string_view path);

struct FolderEntry {
  std::u16string name;
  bool isDirectory = false;  // a link counts as what it points to
  bool isLink = false;       // a symbolic link (on Windows, any reparse point)
  // Hidden from the seller: a name beginning with "." on POSIX systems, the
  // hidden or system attribute on Windows.
  bool isHidden = false;
};

// The entries of a folder, "." and ".." left out, in the order the system
// yields them. Hidden and system entries are included. Throws Error when the
// folder cannot be read.
std::vector<FolderEntry> ListFolder(std::u16string_view folder);

// The folder of the running program's own file (symbolic links resolved),
// ending in the local separator. Throws Error when it cannot be determined.
std::u16string ProgramFolder();

}  // namespace picrelink::platform
