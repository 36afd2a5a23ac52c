// The Win32 half of the platform unit. Only the wide-character APIs are
// used: a text's UTF-16 code units are the wchar_t units of a Windows path,
// so every name works whatever the system's ANSI code page is.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/file_errors.h"
#include "core/platform.h"
#include "core/utf.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows paths are UTF-16");

namespace picrelink::platform {
namespace {

// Renaming a new file over one name of a hard-linked file would leave the
// other names with the old content, silently splitting the file in two.
constexpr const char* kSeveralHardLinks = "The file has more than one hard link";
constexpr const char* kNotRegularFile = "Not a regular file";
// ReadFile and WriteFile take 32-bit counts.
constexpr DWORD kMaxTransfer = DWORD{1} << 30;
constexpr size_t kCopyBufferSize = size_t{1} << 20;
// Keeps the temporary name below the 255 units a name may have.
constexpr size_t kMaxNameInTempName = 200;
// Virus scanners and indexers open new files for a moment right after they
// appear; the rename is tried again for about a second before it counts as
// failed.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMs = 50;
// A reader meets a writer's hold (a listing tool or a spreadsheet saving the
// CSV) for a moment; it tries again for about a second before it says the
// file is in use.
constexpr int kSharedOpenAttempts = 6;
constexpr DWORD kSharedOpenPauseMs = 200;
// Paths from this length on get the "\\?\" form, which lifts the MAX_PATH
// limit of the file APIs (folders are limited to MAX_PATH - 12 units).
constexpr size_t kLongPathFrom = MAX_PATH - 12;
// The attributes a replaced file keeps; read-only files are refused, and the
// rest (compressed, encrypted, ...) belong to the file system.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The paths a ReplacementFile keeps are stored as their UTF-16 units' bytes:
// Windows names may hold unpaired surrogates, which UTF-8 cannot carry.
std::string Pack(const std::wstring& path) {
  return std::string(reinterpret_cast<const char*>(path.data()), path.size() * sizeof(wchar_t));
}

std::wstring Unpack(const std::string& packed) {
  std::wstring path(packed.size() / sizeof(wchar_t), L'\0');
  std::memcpy(path.data(), packed.data(), path.size() * sizeof(wchar_t));
  return path;
}

std::string LastErrorText() { return SystemErrorText(static_cast<int>(GetLastError())); }

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
  }
};
// CreateFileW gives INVALID_HANDLE_VALUE on failure; Make turns that into null.
using UniqueHandle = std::unique_ptr<void, HandleCloser>;
UniqueHandle Make(HANDLE handle) {
  return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

intptr_t ToInt(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }
HANDLE ToHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
constexpr intptr_t kNoHandle = -1;  // INVALID_HANDLE_VALUE as an integer

std::wstring FullPathName(const std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(length);  // the size needed, terminator included
  }
}

// The path as the file APIs should get it: unchanged while it is short,
// else absolute in the "\\?\" form.
std::wstring ApiPath(std::u16string_view path) {
  std::wstring wide = Wide(path);
  if (wide.size() < kLongPathFrom || wide.starts_with(L"\\\\?\\")) return wide;
  std::wstring full = FullPathName(wide);
  if (full.empty() || full.size() < kLongPathFrom) return wide;
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// "D:\data\" for "D:\data\goods.csv"; "D:" for "D:goods.csv"; "" for "goods.csv".
std::wstring FolderPrefix(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

// The name cut to at most max units without splitting a surrogate pair.
std::wstring ShortenName(const std::wstring& name, size_t max) {
  if (name.size() <= max) return name;
  size_t end = max;
  if (name[end] >= 0xDC00 && name[end] <= 0xDFFF) --end;
  return name.substr(0, end);
}

// The temporary's name for a final file: hidden, beside it (a rename stays
// within one volume), and named after the file and this program so that a
// leftover from a crash is recognisable.
constexpr std::wstring_view kTempMarker = L".picrelink-";
constexpr std::wstring_view kTempExtension = L".tmp";
constexpr size_t kTempRandomLength = 6;

std::wstring TempNamePrefix(const std::wstring& name) {
  return L"." + ShortenName(name, kMaxNameInTempName) + std::wstring(kTempMarker);
}

bool IsTempNameFor(std::wstring_view entry, const std::wstring& prefix) {
  if (entry.size() != prefix.size() + kTempRandomLength + kTempExtension.size() ||
      !entry.starts_with(prefix) || !entry.ends_with(kTempExtension)) {
    return false;
  }
  const std::wstring_view random = entry.substr(prefix.size(), kTempRandomLength);
  return std::all_of(random.begin(), random.end(), [](wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9');
  });
}

// Removes the temporaries of this final file that a killed run left behind.
// A live writer keeps its temporary open with share mode 0 until the
// rename, so only an abandoned one can be opened here. Only plain files with
// one name that match the temporary pattern exactly are candidates; the
// file is deleted through the handle that judged it. A candidate that
// cannot be judged or removed stays (it is no danger, only litter).
void RemoveStaleTemporaries(const std::wstring& folderPrefix, const std::wstring& name) {
  const std::wstring prefix = TempNamePrefix(name);
  WIN32_FIND_DATAW data{};
  const HANDLE found = FindFirstFileExW((folderPrefix + prefix + L"*").c_str(), FindExInfoBasic,
                                        &data, FindExSearchNameMatch, nullptr, 0);
  if (found == INVALID_HANDLE_VALUE) return;
  const std::unique_ptr<void, BOOL (*)(HANDLE)> closer(found, FindClose);
  do {
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !IsTempNameFor(data.cFileName, prefix)) {
      continue;
    }
    const UniqueHandle file =
        Make(CreateFileW((folderPrefix + data.cFileName).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) continue;  // a live writer's, or not ours to remove
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      continue;
    }
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
  } while (FindNextFileW(found, &data));
}

std::wstring RandomSuffix(std::mt19937& random) {
  static constexpr wchar_t kChars[] =
      L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<size_t> pick(0, std::size(kChars) - 2);
  std::wstring suffix(kTempRandomLength, L' ');
  for (wchar_t& c : suffix) c = kChars[pick(random)];
  return suffix;
}

// 0 or the error code.
DWORD WriteAll(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kMaxTransfer));
    if (!WriteFile(file, data, chunk, &written, nullptr)) return GetLastError();
    // No progress on a disk file only happens when no room is left.
    if (written == 0) return ERROR_DISK_FULL;
    data += written;
    size -= written;
  }
  return 0;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Whether an open handle (kNoHandle for none) is open on the file info describes.
bool IsOpenOn(intptr_t handle, const BY_HANDLE_FILE_INFORMATION& info) {
  BY_HANDLE_FILE_INFORMATION held{};
  return handle != kNoHandle && GetFileInformationByHandle(ToHandle(handle), &held) &&
         SameFile(held, info);
}

// The path of the file an open handle refers to, links resolved.
std::wstring FinalPathOf(HANDLE file) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(length + 1);
  }
}

}  // namespace

std::string SystemErrorText(int code) {
  wchar_t* buffer = nullptr;
  // Language 0: the user's language, else the system's, as Windows picks it.
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer != nullptr) text = ToUtf8(FromWide(std::wstring_view(buffer, length)));
  if (buffer != nullptr) LocalFree(buffer);
  text = TrimErrorText(text);
  if (text.empty()) return "Unknown error " + std::to_string(code);
  return text;
}

std::u16string AbsolutePath(std::u16string_view path) {
  if (path.empty()) return {};
  const std::wstring full = FullPathName(Wide(path));
  return full.empty() ? std::u16string(path) : FromWide(full);
}

// ---------------------------------------------------------------- InputFile

InputFile::InputFile(std::u16string_view path, Sharing sharing) : path_(path) {
  // Share mode 0: nobody else may read, write, rename or delete the file
  // while it is open here, and a file someone else holds open fails with
  // the sharing violation. Share-read lets other readers in and keeps
  // writers out; it fails beside a writer or an exclusive hold, which a
  // reader waits out for a while. A folder fails with "access denied", as
  // Windows refuses to open folders as files.
  const std::wstring name = ApiPath(path);
  const bool shared = sharing == Sharing::ReadersAllowed;
  UniqueHandle file;
  for (int attempt = 1;; ++attempt) {
    file = Make(CreateFileW(name.c_str(), GENERIC_READ, shared ? FILE_SHARE_READ : 0, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file) break;
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    if (!shared || !held || attempt == kSharedOpenAttempts) {
      throw OpenFileError(path, SystemErrorText(static_cast<int>(error)));
    }
    Sleep(kSharedOpenPauseMs);
  }
  // Consoles, pipes and other devices are no files to read whole.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) throw OpenFileError(path, kNotRegularFile);
  handle_ = ToInt(file.release());
}

InputFile::~InputFile() { Close(); }

void InputFile::Close() noexcept {
  if (handle_ != kNoHandle) CloseHandle(ToHandle(std::exchange(handle_, kNoHandle)));
}

uint64_t InputFile::Size() const {
  LARGE_INTEGER size{};
  if (handle_ == kNoHandle) throw StreamReadError(path_, SystemErrorText(ERROR_INVALID_HANDLE));
  if (!GetFileSizeEx(ToHandle(handle_), &size)) throw StreamReadError(path_, LastErrorText());
  return static_cast<uint64_t>(size.QuadPart);
}

size_t InputFile::Read(void* buffer, size_t size) {
  if (handle_ == kNoHandle) throw StreamReadError(path_, SystemErrorText(ERROR_INVALID_HANDLE));
  auto* out = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < size) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - total, kMaxTransfer));
    if (!ReadFile(ToHandle(handle_), out + total, chunk, &got, nullptr)) {
      throw StreamReadError(path_, LastErrorText());
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

void InputFile::Seek(uint64_t byte) {
  LARGE_INTEGER start{};
  start.QuadPart = static_cast<LONGLONG>(byte);
  if (handle_ == kNoHandle || !SetFilePointerEx(ToHandle(handle_), start, nullptr, FILE_BEGIN)) {
    throw StreamReadError(path_, LastErrorText());
  }
}

// ---------------------------------------------------------- ReplacementFile
//
// The new content goes to a hidden temporary file beside the target, which
// is flushed and then renamed over the target with MoveFileExW. The rename
// never falls back to copying (no MOVEFILE_COPY_ALLOWED), so the target has
// either all its old bytes or all its new ones.
//
// Symbolic links and other reparse points: the file the link leads to is
// replaced and the link stays a link. A link whose target does not exist is
// refused, since the file it should name cannot be determined safely.
//
// The replaced file keeps its hidden, system and archive attributes; a
// read-only file is refused. Its security descriptor is not copied: the new
// file gets the permissions that its folder gives new files.
//
// The target is held open with share mode 0 from the constructor until
// right before the rename, so no other program changes it in between.
// Temporaries of the same target that a killed run left behind are removed
// first.

ReplacementFile::ReplacementFile(std::u16string_view target, InputFile* original)
    : target_(target), original_(original) {
  const std::wstring path = ApiPath(target);
  std::wstring finalPath;
  UniqueHandle lock;

  const DWORD found = GetFileAttributesW(path.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    // A missing folder is reported by the creation of the temporary below.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      throw CreateFileError(target, SystemErrorText(static_cast<int>(error)));
    }
    finalPath = FullPathName(path);
    if (finalPath.empty()) finalPath = path;
  } else {
    if (found & FILE_ATTRIBUTE_DIRECTORY) {
      throw CreateFileError(target, SystemErrorText(ERROR_ACCESS_DENIED));
    }
    // Opening for the attributes only is not subject to share modes, so it
    // also works while another program (or the original) holds the file.
    UniqueHandle probe = Make(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) throw CreateFileError(target, LastErrorText());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(probe.get(), &info)) {
      throw CreateFileError(target, LastErrorText());
    }
    if (GetFileType(probe.get()) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      throw CreateFileError(target, kNotRegularFile);
    }
    if (info.nNumberOfLinks > 1) throw CreateFileError(target, kSeveralHardLinks);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
      throw CreateFileError(target, SystemErrorText(ERROR_ACCESS_DENIED));
    }
    finalPath = (found & FILE_ATTRIBUTE_REPARSE_POINT) ? FinalPathOf(probe.get()) : path;
    if (finalPath.empty()) throw CreateFileError(target, LastErrorText());
    if (!finalPath.starts_with(L"\\\\?\\")) {
      const std::wstring full = FullPathName(finalPath);
      if (!full.empty()) finalPath = full;
    }

    // The original being read already holds the file with share mode 0, and
    // a second open of it would fail; it is closed right before the rename.
    if (!IsOpenOn(original != nullptr ? original->handle_ : kNoHandle, info)) {
      // Write and delete access: the rename needs them, and asking now
      // refuses a file this user may not change before anything is written.
      lock = Make(CreateFileW(finalPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!lock) throw CreateFileError(target, LastErrorText());
      BY_HANDLE_FILE_INFORMATION held{};
      // The name may lead to another file by now; judge what was opened.
      if (!GetFileInformationByHandle(lock.get(), &held) || !SameFile(held, info)) {
        throw CreateFileError(target, SystemErrorText(ERROR_SHARING_VIOLATION));
      }
    }
  }

  const std::wstring folderPrefix = FolderPrefix(finalPath);
  const std::wstring name = finalPath.substr(folderPrefix.size());
  if (name.empty()) throw CreateFileError(target, SystemErrorText(ERROR_ACCESS_DENIED));

  // Only now, with the target held, can a leftover of an earlier run over
  // the same file be told from the temporary of a live one.
  RemoveStaleTemporaries(folderPrefix, name);

  // The name is unpredictable and created exclusively (CREATE_NEW), so that
  // nobody can prepare a file or link under it.
  std::random_device seed;
  std::mt19937 random(seed());
  const std::wstring tempBase = folderPrefix + TempNamePrefix(name);
  UniqueHandle temp;
  std::wstring tempPath;
  for (int attempt = 0;; ++attempt) {
    tempPath = tempBase;
    tempPath += RandomSuffix(random);
    tempPath += kTempExtension;
    temp = Make(CreateFileW(tempPath.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (temp) break;
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      throw CreateFileError(target, SystemErrorText(static_cast<int>(error)));
    }
  }
  finalPath_ = Pack(finalPath);
  tempPath_ = Pack(tempPath);
  tempHandle_ = ToInt(temp.release());
  lockHandle_ = lock ? ToInt(lock.release()) : kNoHandle;
}

// Windows starts its write-back on its own: nothing is handed to it.
class WriteBackStarter {};

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Discard() noexcept {
  if (tempHandle_ != kNoHandle) CloseHandle(ToHandle(std::exchange(tempHandle_, kNoHandle)));
  if (!committed_ && !tempPath_.empty()) {
    DeleteFileW(Unpack(tempPath_).c_str());
    tempPath_.clear();
  }
  if (lockHandle_ != kNoHandle) CloseHandle(ToHandle(std::exchange(lockHandle_, kNoHandle)));
}

void ReplacementFile::Write(const void* data, size_t size) {
  if (tempHandle_ == kNoHandle) {
    throw StreamWriteError(target_, SystemErrorText(ERROR_INVALID_HANDLE));
  }
  if (const DWORD error = WriteAll(ToHandle(tempHandle_), static_cast<const char*>(data), size)) {
    throw StreamWriteError(target_, SystemErrorText(static_cast<int>(error)));
  }
}

void ReplacementFile::Commit() {
  if (committed_) return;
  if (tempHandle_ == kNoHandle) {
    throw StreamWriteError(target_, SystemErrorText(ERROR_INVALID_HANDLE));
  }
  const HANDLE temp = ToHandle(std::exchange(tempHandle_, kNoHandle));
  // A failed flush is never retried: the temporary is abandoned and the
  // target keeps its bytes.
  if (!FlushFileBuffers(temp)) {
    const DWORD error = GetLastError();
    CloseHandle(temp);
    throw StreamWriteError(target_, SystemErrorText(static_cast<int>(error)));
  }
  const std::wstring from = Unpack(tempPath_);
  const std::wstring to = Unpack(finalPath_);
  // The target's attributes go on before the rename, so that no crash can
  // leave the CSV with the temporary's hidden attribute. A new file gets
  // what Windows gives a new file.
  const DWORD current = GetFileAttributesW(to.c_str());
  DWORD attributes =
      current == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_ARCHIVE : current & kCarriedAttributes;
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  const bool attributesSet =
      SetFileInformationByHandle(temp, FileBasicInfo, &basic, sizeof basic) != 0;
  const DWORD attributesError = GetLastError();
  CloseHandle(temp);
  if (!attributesSet) {
    throw StreamWriteError(target_, SystemErrorText(static_cast<int>(attributesError)));
  }

  if (original_ != nullptr) original_->Close();
  if (lockHandle_ != kNoHandle) CloseHandle(ToHandle(std::exchange(lockHandle_, kNoHandle)));

  DWORD error = ERROR_SUCCESS;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = ERROR_SUCCESS;
      break;
    }
    error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) ||
        attempt == kRenameAttempts) {
      break;
    }
    Sleep(kRenamePauseMs);
  }
  if (error != ERROR_SUCCESS)
    throw StreamWriteError(target_, SystemErrorText(static_cast<int>(error)));
  committed_ = true;
  tempPath_.clear();
}

// ------------------------------------------------------------ CopyFileOver

// Like CopyFileW with fail-if-exists off, but through the same safe
// replacement as every other write: the destination is never left half
// written, and a file copied over itself is refused rather than emptied.
void CopyFileOver(std::u16string_view source, std::u16string_view dest) {
  InputFile in(source);
  CopyFileOver(in, dest);
}

void CopyFileOver(InputFile& in, std::u16string_view dest) {
  in.Rewind();
  ReplacementFile out(dest);
  std::vector<char> buffer(kCopyBufferSize);
  while (const size_t got = in.Read(buffer.data(), buffer.size())) {
    out.Write(buffer.data(), got);
  }
  out.Commit();
}

bool NameTaken(std::u16string_view path) {
  if (GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool IsSymbolicLink(std::u16string_view path) {
  const DWORD attributes = GetFileAttributesW(ApiPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FileStamp StampOf(std::u16string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return {};
  }
  return {true, (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
          static_cast<int64_t>((uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                               data.ftLastWriteTime.dwLowDateTime)};
}

// -------------------------------------------------------------- ListFolder

std::vector<FolderEntry> ListFolder(std::u16string_view folder) {
  const auto fail = [folder](DWORD error) {
    return Error("Cannot read folder \"" + ToUtf8(AbsolutePath(folder)) + "\". " +
                 SystemErrorText(static_cast<int>(error)));
  };
  // "" would name the root of the current drive.
  if (folder.empty()) throw fail(ERROR_PATH_NOT_FOUND);
  std::wstring pattern = ApiPath(folder);
  if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';

  WIN32_FIND_DATAW data{};
  const HANDLE found = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (found == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // An empty drive root yields not even "." and "..".
    if (error == ERROR_FILE_NOT_FOUND) return {};
    throw fail(error);
  }
  const std::unique_ptr<void, BOOL (*)(HANDLE)> closer(found, FindClose);
  std::vector<FolderEntry> entries;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = data.dwFileAttributes;
    entries.push_back({FromWide(name), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                       (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0});
  } while (FindNextFileW(found, &data));
  if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) throw fail(error);
  return entries;
}

// ------------------------------------------------------------ ProgramFolder

std::u16string ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw Error("Cannot determine the program's folder. " + LastErrorText());
    }
    // A path that does not fit is cut to the buffer's size.
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  const size_t separator = buffer.find_last_of(L"\\:");
  if (separator == std::wstring::npos) throw Error("Cannot determine the program's folder");
  return FromWide(std::wstring_view(buffer).substr(0, separator + 1));
}

}  // namespace picrelink::platform
