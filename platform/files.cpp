// File services over POSIX file descriptors.
//
// A file handle is the address of an OpenFile record. Windows refuses an open
// whose access collides with the share mode of a handle already open on the
// same file; the system relies on that (an existing file in use answers a
// sharing violation), so the rule is kept among the handles of this process.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/home.h"

namespace {

constexpr uint32_t kSearchMagic = 0x48435253;  // "SRCH"

// The cap on the free space of every volume, while a test plays a full disk.
std::optional<uint64_t> g_free_space_limit;

constexpr int64_t kSizeAsked = -1;

// The handle's file pointer is kept here rather than in the descriptor, so
// that a seek costs no system call and a transfer is one. A handle that
// writes and lets nobody else write knows the file's size too: its own
// writes and cuts are then the only changes.
// Writes a platform::WriteGathering holds back: `used` bytes that belong in
// the file from `start` on. Once some could not be sent, every later write
// through the handle and the gathering's finish fail.
struct GatheredWrites {
  static constexpr size_t kPiece = size_t{256} << 10;
  std::unique_ptr<char[]> bytes{new (std::nothrow) char[kPiece]};
  size_t used = 0;
  int64_t start = 0;
  bool lost = false;
};

struct OpenFile {
  platform::KernelHandle head;
  int descriptor;
  DWORD access;
  DWORD share;
  dev_t device;
  ino_t inode;
  int64_t position;
  int64_t size;  // kSizeAsked: asked of the system each time
  std::unique_ptr<GatheredWrites> gathered;  // while a WriteGathering lives
};

struct FileSearch {
  uint32_t magic;
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next;
};

std::vector<OpenFile*> g_open_files;

OpenFile* file_of(HANDLE handle) {
  return reinterpret_cast<OpenFile*>(platform::find_handle(handle, platform::HandleKind::file));
}

bool share_conflict(const OpenFile& open, DWORD access, DWORD share) {
  if ((access & GENERIC_READ) && !(open.share & FILE_SHARE_READ)) return true;
  if ((access & GENERIC_WRITE) && !(open.share & FILE_SHARE_WRITE)) return true;
  if ((open.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
  if ((open.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
  return false;
}

bool in_use_elsewhere(const std::string& path, DWORD access, DWORD share) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return false;
  for (const OpenFile* open : g_open_files) {
    if (open->device == status.st_dev && open->inode == status.st_ino && share_conflict(*open, access, share))
      return true;
  }
  return false;
}

// 100-nanosecond intervals since 1601-01-01, the Windows file time.
FILETIME file_time(time_t seconds) {
  const uint64_t intervals = (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull;
  return FILETIME{static_cast<DWORD>(intervals), static_cast<DWORD>(intervals >> 32)};
}

DWORD attributes_of(const struct stat& status) {
  if (S_ISDIR(status.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (status.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

bool copy_text(const std::string& text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

// Windows file-name wildcards: '*' any run, '?' one character, case ignored;
// "*.*" matches a name without a dot too.
bool wildcard_match(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0) return true;
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' ||
               std::tolower(static_cast<unsigned char>(*pattern)) == std::tolower(static_cast<unsigned char>(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool full_write(int descriptor, const void* buffer, size_t bytes) {
  const auto* at = static_cast<const char*>(buffer);
  while (bytes > 0) {
    const ssize_t written = write(descriptor, at, bytes);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    at += written;
    bytes -= static_cast<size_t>(written);
  }
  return true;
}

// A missing file is "file not found", a missing folder "path not found".
bool parent_missing(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return false;
  struct stat status;
  return stat(path.substr(0, slash).c_str(), &status) != 0;
}

// `bytes` at `offset`, all of them; false with the error set otherwise.
bool write_all_at(int descriptor, const char* bytes, size_t count, int64_t offset, size_t* written) {
  size_t total = 0;
  while (total < count) {
    const ssize_t put = pwrite(descriptor, bytes + total, count - total, offset + static_cast<int64_t>(total));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      platform::set_last_error_from_errno();
      if (written != nullptr) *written = total;
      return false;
    }
    total += static_cast<size_t>(put);
  }
  if (written != nullptr) *written = total;
  return true;
}

// Sends what the handle has gathered to its file; false once anything
// gathered could not be sent.
bool send_gathered(OpenFile* file) {
  GatheredWrites* gathered = file->gathered.get();
  if (gathered == nullptr) return true;
  if (gathered->used != 0 && !gathered->lost) {
    gathered->lost = !write_all_at(file->descriptor, gathered->bytes.get(), gathered->used, gathered->start, nullptr);
  } else if (gathered->lost) {
    SetLastError(ERROR_WRITE_FAULT);
  }
  gathered->start += static_cast<int64_t>(gathered->used);
  gathered->used = 0;
  return !gathered->lost;
}

// Before anything else looks at a file, what every handle of it gathered.
bool send_gathered_of(dev_t device, ino_t inode) {
  bool sent = true;
  for (OpenFile* open : g_open_files) {
    if (open->gathered != nullptr && open->device == device && open->inode == inode) sent = send_gathered(open) && sent;
  }
  return sent;
}

void send_all_gathered() {
  for (OpenFile* open : g_open_files) send_gathered(open);
}

int64_t size_of(const OpenFile& file) {
  if (file.size != kSizeAsked) return file.size;
  struct stat status;
  return fstat(file.descriptor, &status) == 0 ? status.st_size : -1;
}

// After `bytes` were written at the position, the position is past them.
void advance_written(OpenFile* file, DWORD bytes) {
  file->position += bytes;
  if (file->size != kSizeAsked) file->size = std::max(file->size, file->position);
}

HFILE hfile_of(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? HFILE_ERROR : static_cast<HFILE>(reinterpret_cast<intptr_t>(handle));
}

HANDLE handle_of(HFILE file) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)); }

DWORD share_from_of_mode(int mode) {
  switch (mode & 0x70) {
    case OF_SHARE_EXCLUSIVE: return 0;
    case OF_SHARE_DENY_WRITE: return FILE_SHARE_READ;
    case OF_SHARE_DENY_READ: return FILE_SHARE_WRITE;
    default: return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD, HANDLE) {
  if (name == nullptr || *name == '\0' || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    SetLastError(name == nullptr || *name == '\0' ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = platform::native_path(name);
  struct stat status;
  const bool exists = stat(path.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (exists && disposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (in_use_elsewhere(path, access, share)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  int flags = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  if (disposition == CREATE_NEW) flags |= O_CREAT | O_EXCL;
  if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) flags |= O_CREAT;
  if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) flags |= O_TRUNC;
  if ((flags & O_TRUNC) && !(access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (exists) send_gathered_of(status.st_dev, status.st_ino);
  const int descriptor = open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    const bool folder_missing = errno == ENOENT && parent_missing(path);
    platform::set_last_error_from_errno();
    if (folder_missing) SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  fstat(descriptor, &status);
  const bool sole_writer = (access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE);
  auto* file = new OpenFile{{platform::HandleKind::file}, descriptor, access, share, status.st_dev, status.st_ino, 0,
                            sole_writer ? static_cast<int64_t>(status.st_size) : kSizeAsked, nullptr};
  g_open_files.push_back(file);
  platform::enter_handle(&file->head);
  // Opening an existing file with a creating disposition reports that it existed.
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : ERROR_SUCCESS);
  return file;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytes, DWORD* bytes_read, void*) {
  if (bytes_read != nullptr) *bytes_read = 0;
  OpenFile* file = file_of(handle);
  if (file == nullptr || (buffer == nullptr && bytes != 0)) {
    SetLastError(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!(file->access & GENERIC_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!send_gathered(file)) return FALSE;
  DWORD total = 0;
  while (total < bytes) {
    const ssize_t got =
        pread(file->descriptor, static_cast<char*>(buffer) + total, bytes - total, file->position + total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      platform::set_last_error_from_errno();
      file->position += total;
      return FALSE;
    }
    if (got == 0) break;  // end of file: success with fewer bytes
    total += static_cast<DWORD>(got);
  }
  file->position += total;
  if (bytes_read != nullptr) *bytes_read = total;
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytes, DWORD* bytes_written, void*) {
  if (bytes_written != nullptr) *bytes_written = 0;
  OpenFile* file = file_of(handle);
  if (file == nullptr || (buffer == nullptr && bytes != 0)) {
    SetLastError(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!(file->access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (GatheredWrites* gathered = file->gathered.get()) {
    // A write that goes on where the gathered bytes end, and fits beside
    // them, joins them; any other is preceded by them.
    const bool follows = gathered->start + static_cast<int64_t>(gathered->used) == file->position;
    const bool small = bytes < GatheredWrites::kPiece / 2;
    const bool joins = follows && small && gathered->used + bytes <= GatheredWrites::kPiece;
    if ((gathered->lost || !joins) && !send_gathered(file)) return FALSE;
    if (small) {
      if (gathered->used == 0) gathered->start = file->position;
      if (bytes != 0) std::memcpy(gathered->bytes.get() + gathered->used, buffer, bytes);
      gathered->used += bytes;
      advance_written(file, bytes);
      if (bytes_written != nullptr) *bytes_written = bytes;
      return TRUE;
    }
  }
  size_t total = 0;
  const bool written = write_all_at(file->descriptor, static_cast<const char*>(buffer), bytes, file->position, &total);
  advance_written(file, static_cast<DWORD>(total));
  if (bytes_written != nullptr) *bytes_written = static_cast<DWORD>(total);
  return written ? TRUE : FALSE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distance_high, DWORD method) {
  OpenFile* file = file_of(handle);
  if (file == nullptr || method > FILE_END) {
    SetLastError(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high word the distance is a signed 32-bit value.
  const int64_t move = distance_high != nullptr
                           ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distance_high)) << 32) |
                                                  static_cast<uint32_t>(distance))
                           : static_cast<int64_t>(distance);
  const int64_t base = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? file->position : size_of(*file);
  if (base < 0) {
    platform::set_last_error_from_errno();
    return INVALID_SET_FILE_POINTER;
  }
  const int64_t target = base + move;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high == nullptr && target > 0xFFFFFFFEll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  file->position = target;
  if (distance_high != nullptr) *distance_high = static_cast<LONG>(target >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(target);
}

BOOL SetEndOfFile(HANDLE handle) {
  OpenFile* file = file_of(handle);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(file->access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!send_gathered(file)) return FALSE;
  // A sole writer cutting its file at the length it has makes no call: on
  // ext4 a cut to length 0 marks the file to have everything written to it
  // sent to the disk when it closes, which costs a save a flush.
  if (file->size == file->position) return TRUE;
  if (ftruncate(file->descriptor, static_cast<off_t>(file->position)) != 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  if (file->size != kSizeAsked) file->size = file->position;
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
  OpenFile* file = file_of(handle);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return send_gathered(file) && fsync(file->descriptor) == 0 ? TRUE : FALSE;
}

DWORD GetFileSize(HANDLE handle, DWORD* size_high) {
  const OpenFile* file = file_of(handle);
  const int64_t size = file != nullptr ? size_of(*file) : -1;
  if (size < 0) {
    if (file == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    else platform::set_last_error_from_errno();
    return 0xFFFFFFFF;
  }
  if (size_high != nullptr) *size_high = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
  return static_cast<DWORD>(size);
}

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
  OpenFile* file = file_of(handle);
  struct stat status;
  if (file == nullptr || information == nullptr || !send_gathered(file) || fstat(file->descriptor, &status) != 0) {
    SetLastError(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint64_t size = static_cast<uint64_t>(status.st_size);
  const uint64_t index = static_cast<uint64_t>(status.st_ino);
  *information = BY_HANDLE_FILE_INFORMATION{attributes_of(status),
                                            file_time(status.st_ctime),
                                            file_time(status.st_atime),
                                            file_time(status.st_mtime),
                                            static_cast<DWORD>(status.st_dev),
                                            static_cast<DWORD>(size >> 32),
                                            static_cast<DWORD>(size),
                                            static_cast<DWORD>(status.st_nlink),
                                            static_cast<DWORD>(index >> 32),
                                            static_cast<DWORD>(index)};
  return TRUE;
}

BOOL DeleteFileA(LPCSTR name) {
  const std::string path = platform::native_path(name);
  struct stat status;
  if (name == nullptr || stat(path.c_str(), &status) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // A file open without delete sharing cannot be deleted.
  for (const OpenFile* open : g_open_files) {
    if (open->device == status.st_dev && open->inode == status.st_ino && !(open->share & FILE_SHARE_DELETE)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  if (unlink(path.c_str()) != 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR new_name, BOOL fail_if_exists) {
  if (existing == nullptr || new_name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string source_path = platform::native_path(existing);
  const std::string target_path = platform::native_path(new_name);
  send_all_gathered();
  const int source = open(source_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  struct stat status;
  fstat(source, &status);
  const int target =
      open(target_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (fail_if_exists ? O_EXCL : O_TRUNC), 0644);
  if (target < 0) {
    platform::set_last_error_from_errno();
    close(source);
    return FALSE;
  }
  char chunk[65536];
  bool copied = true;
  for (;;) {
    const ssize_t got = read(source, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      copied = got == 0;
      break;
    }
    if (!full_write(target, chunk, static_cast<size_t>(got))) {
      copied = false;
      break;
    }
  }
  if (!copied) platform::set_last_error_from_errno();
  close(source);
  if (close(target) != 0) copied = false;
  if (!copied) unlink(target_path.c_str());  // no partial copy is left behind
  return copied ? TRUE : FALSE;
}

BOOL MoveFileA(LPCSTR existing, LPCSTR new_name) { return MoveFileExA(existing, new_name, 0); }

BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags) {
  if (existing == nullptr || new_name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string target_path = platform::native_path(new_name);
  struct stat status;
  const bool exists = stat(target_path.c_str(), &status) == 0;
  if (exists && ((flags & MOVEFILE_REPLACE_EXISTING) == 0 || S_ISDIR(status.st_mode))) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (rename(platform::native_path(existing).c_str(), target_path.c_str()) != 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
  struct stat status;
  if (name == nullptr || stat(platform::native_path(name).c_str(), &status) != 0) {
    platform::set_last_error_from_errno();
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributes_of(status);
}

BOOL CreateDirectoryA(LPCSTR name, SECURITY_ATTRIBUTES*) {
  if (name == nullptr || mkdir(platform::native_path(name).c_str(), 0755) != 0) {
    if (errno == EEXIST) SetLastError(ERROR_ALREADY_EXISTS);
    else platform::set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR name) {
  if (name == nullptr || rmdir(platform::native_path(name).c_str()) != 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* file_part) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path(name);
  const bool windows_form = path.size() >= 2 && path[1] == ':';
  const char separator = windows_form || (path.find('\\') != std::string::npos && path.find('/') == std::string::npos) ? '\\' : '/';
  std::string root;
  if (windows_form) {
    root = path.substr(0, 2);
    path = path.substr(2);
  } else if (path[0] != '/' && path[0] != '\\') {
    char current[4096];
    if (getcwd(current, sizeof current) == nullptr) {
      platform::set_last_error_from_errno();
      return 0;
    }
    path = std::string(current) + "/" + path;
  }
  // Fold "." and ".." lexically, as the system does without touching the disk.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = path.find_first_of("/\\", start);
    const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::string full = root;
  for (const std::string& part : parts) full += separator + part;
  const bool trailing = !path.empty() && (path.back() == '/' || path.back() == '\\');
  if (parts.empty() || trailing) full += separator;
  if (full.size() + 1 > size || buffer == nullptr) return static_cast<DWORD>(full.size() + 1);
  std::memcpy(buffer, full.c_str(), full.size() + 1);
  if (file_part != nullptr) {
    const size_t last = full.find_last_of("/\\");
    *file_part = last + 1 < full.size() ? buffer + last + 1 : nullptr;
  }
  return static_cast<DWORD>(full.size());
}

DWORD GetShortPathNameA(LPCSTR long_path, LPSTR buffer, DWORD size) {
  struct stat status;
  if (long_path == nullptr || stat(platform::native_path(long_path).c_str(), &status) != 0) {
    SetLastError(long_path == nullptr ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND);
    return 0;
  }
  const std::string path(long_path);
  if (!copy_text(path, buffer, size)) return static_cast<DWORD>(path.size() + 1);
  return static_cast<DWORD>(path.size());
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  char current[4096];
  if (getcwd(current, sizeof current) == nullptr) {
    platform::set_last_error_from_errno();
    return 0;
  }
  std::string folder(current);
  // A folder inside drive_x of the home is shown as the drive's path.
  char home[4096];
  if (realpath(platform::home_folder().c_str(), home) != nullptr) {
    const std::string drives = std::string(home) + "/drive_";
    if (folder.compare(0, drives.size(), drives) == 0 && folder.size() > drives.size() &&
        std::isalpha(static_cast<unsigned char>(folder[drives.size()])) &&
        (folder.size() == drives.size() + 1 || folder[drives.size() + 1] == '/')) {
      std::string rest = folder.substr(drives.size() + 1);
      std::replace(rest.begin(), rest.end(), '/', '\\');
      folder = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(folder[drives.size()])))) +
               ":" + (rest.empty() ? "\\" : rest);
    }
  }
  if (!copy_text(folder, buffer, size)) return static_cast<DWORD>(folder.size() + 1);
  return static_cast<DWORD>(folder.size());
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  if (path == nullptr || *path == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (chdir(platform::native_path(path).c_str()) != 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  const std::string folder = platform::home_subfolder("windows");
  if (!copy_text(folder, buffer, size)) return static_cast<DWORD>(folder.size() + 1);
  return static_cast<DWORD>(folder.size());
}

DWORD GetSystemDirectoryA(LPSTR buffer, UINT size) {
  const std::string folder = platform::home_subfolder("windows/system");
  if (!copy_text(folder, buffer, size)) return static_cast<DWORD>(folder.size() + 1);
  return static_cast<DWORD>(folder.size());
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
  const std::string folder = platform::home_subfolder("temp") + "/";
  if (!copy_text(folder, buffer, size)) return static_cast<DWORD>(folder.size() + 1);
  return static_cast<DWORD>(folder.size());
}

UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name) {
  if (folder == nullptr || name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string base(folder);
  if (!base.empty() && base.back() != '/' && base.back() != '\\')
    base += base.find('\\') != std::string::npos || (base.size() >= 2 && base[1] == ':') ? '\\' : '/';
  base += std::string(prefix != nullptr ? prefix : "").substr(0, 3);
  auto compose = [&](UINT number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X.TMP", number & 0xFFFF);
    return base + digits;
  };
  if (unique != 0) {
    const std::string path = compose(unique);
    if (path.size() >= MAX_PATH) return 0;
    std::memcpy(name, path.c_str(), path.size() + 1);
    return unique & 0xFFFF;
  }
  // The system picks the number: the first free one from a start taken from
  // the clock, creating the file so that nobody else takes it.
  const UINT start = static_cast<UINT>(std::time(nullptr) ^ getpid()) & 0xFFFF;
  for (UINT step = 0; step < 0x10000; ++step) {
    const UINT number = ((start + step) & 0xFFFF) == 0 ? 1 : (start + step) & 0xFFFF;
    const std::string path = compose(number);
    if (path.size() >= MAX_PATH) return 0;
    const int created = open(platform::native_path(path.c_str()).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (created >= 0) {
      close(created);
      std::memcpy(name, path.c_str(), path.size() + 1);
      return number;
    }
    if (errno != EEXIST) {
      platform::set_last_error_from_errno();
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

BOOL GetDiskFreeSpaceExA(LPCSTR folder, uint64_t* free_to_caller, uint64_t* total, uint64_t* total_free) {
  struct statvfs volume;
  const std::string path = folder != nullptr ? platform::native_path(folder) : std::string(".");
  if (statvfs(path.empty() ? "." : path.c_str(), &volume) != 0) {
    platform::set_last_error_from_errno();
    return FALSE;
  }
  auto capped = [](uint64_t bytes) { return g_free_space_limit ? std::min(bytes, *g_free_space_limit) : bytes; };
  if (free_to_caller != nullptr) *free_to_caller = capped(static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize);
  if (total != nullptr) *total = static_cast<uint64_t>(volume.f_blocks) * volume.f_frsize;
  if (total_free != nullptr) *total_free = capped(static_cast<uint64_t>(volume.f_bfree) * volume.f_frsize);
  return TRUE;
}

BOOL GetDiskFreeSpaceA(LPCSTR root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector, DWORD* free_clusters,
                       DWORD* total_clusters) {
  uint64_t free_bytes = 0, total_bytes = 0;
  if (!GetDiskFreeSpaceExA(root, &free_bytes, &total_bytes, nullptr)) return FALSE;
  // The old interface counts 32-bit clusters of 4 KB: large disks are capped.
  constexpr uint64_t kCluster = 4096;
  auto clusters = [](uint64_t bytes) { return static_cast<DWORD>(std::min<uint64_t>(bytes / kCluster, 0xFFFFFFFF)); };
  if (sectors_per_cluster != nullptr) *sectors_per_cluster = 8;
  if (bytes_per_sector != nullptr) *bytes_per_sector = 512;
  if (free_clusters != nullptr) *free_clusters = clusters(free_bytes);
  if (total_clusters != nullptr) *total_clusters = clusters(total_bytes);
  return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found) {
  if (pattern == nullptr || found == nullptr || *pattern == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path(pattern);
  const size_t separator = path.find_last_of("/\\");
  std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  const std::string name_pattern = separator == std::string::npos ? path : path.substr(separator + 1);
  const std::string native_folder = platform::native_path(folder.c_str());
  DIR* directory = opendir(native_folder.empty() ? "/" : native_folder.c_str());
  if (directory == nullptr) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto* search = new FileSearch{kSearchMagic, {}, 0};
  while (dirent* entry = readdir(directory)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (std::strlen(entry->d_name) >= MAX_PATH || !wildcard_match(name_pattern.c_str(), entry->d_name)) continue;
    struct stat status;
    const std::string entry_path = native_folder + "/" + entry->d_name;
    if (stat(entry_path.c_str(), &status) != 0) continue;
    WIN32_FIND_DATAA data{};
    data.dwFileAttributes = attributes_of(status);
    data.ftCreationTime = file_time(status.st_ctime);
    data.ftLastAccessTime = file_time(status.st_atime);
    data.ftLastWriteTime = file_time(status.st_mtime);
    data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(status.st_size) >> 32);
    data.nFileSizeLow = static_cast<DWORD>(status.st_size);
    std::strcpy(data.cFileName, entry->d_name);
    search->entries.push_back(data);
  }
  closedir(directory);
  // A stable order, as the original's file systems list names.
  std::sort(search->entries.begin(), search->entries.end(), [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
    return platform::lower_case(a.cFileName) < platform::lower_case(b.cFileName);
  });
  if (search->entries.empty()) {
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *found = search->entries[0];
  search->next = 1;
  return search;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* found) {
  auto* search = static_cast<FileSearch*>(handle);
  if (search == nullptr || handle == INVALID_HANDLE_VALUE || search->magic != kSearchMagic || found == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (search->next >= search->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *found = search->entries[search->next++];
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  auto* search = static_cast<FileSearch*>(handle);
  if (search == nullptr || handle == INVALID_HANDLE_VALUE || search->magic != kSearchMagic) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  search->magic = 0;
  delete search;
  return TRUE;
}

HFILE _lopen(LPCSTR name, int mode) {
  const int access_bits = mode & 0x3;
  const DWORD access = access_bits == OF_READ ? GENERIC_READ
                       : access_bits == OF_WRITE ? GENERIC_WRITE
                                                 : GENERIC_READ | GENERIC_WRITE;
  return hfile_of(CreateFileA(name, access, share_from_of_mode(mode), nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
}

HFILE _lcreat(LPCSTR name, int attributes) {
  const DWORD attribute = attributes & FILE_ATTRIBUTE_READONLY ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  return hfile_of(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, attribute, nullptr));
}

UINT _lread(HFILE file, LPVOID buffer, UINT bytes) {
  DWORD got = 0;
  return ReadFile(handle_of(file), buffer, bytes, &got, nullptr) ? got : static_cast<UINT>(HFILE_ERROR);
}

UINT _lwrite(HFILE file, LPCSTR buffer, UINT bytes) {
  DWORD put = 0;
  return WriteFile(handle_of(file), buffer, bytes, &put, nullptr) ? put : static_cast<UINT>(HFILE_ERROR);
}

LONG _hread(HFILE file, LPVOID buffer, LONG bytes) {
  if (bytes < 0) return HFILE_ERROR;
  return static_cast<LONG>(_lread(file, buffer, static_cast<UINT>(bytes)));
}

LONG _hwrite(HFILE file, LPCSTR buffer, LONG bytes) {
  if (bytes < 0) return HFILE_ERROR;
  return static_cast<LONG>(_lwrite(file, buffer, static_cast<UINT>(bytes)));
}

LONG _llseek(HFILE file, LONG offset, int origin) {
  const DWORD position = SetFilePointer(handle_of(file), offset, nullptr, static_cast<DWORD>(origin));
  return position == INVALID_SET_FILE_POINTER ? HFILE_ERROR : static_cast<LONG>(position);
}

HFILE _lclose(HFILE file) {
  HANDLE handle = handle_of(file);
  return file_of(handle) != nullptr && CloseHandle(handle) ? 0 : HFILE_ERROR;
}

namespace platform {

void close_file_record(KernelHandle* record) {
  auto* file = reinterpret_cast<OpenFile*>(record);
  send_gathered(file);
  g_open_files.erase(std::remove(g_open_files.begin(), g_open_files.end(), file), g_open_files.end());
  close(file->descriptor);
  delete file;
}

void set_free_space_limit(std::optional<uint64_t> bytes) { g_free_space_limit = bytes; }

void reserve_file_space(HANDLE file, uint64_t bytes) {
  OpenFile* open = file_of(file);
  if (open == nullptr || bytes == 0 || !(open->access & GENERIC_WRITE)) return;
  fallocate64(open->descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off64_t>(bytes));
}

WriteGathering::WriteGathering(HANDLE file) : file_(nullptr) {
  OpenFile* open = file_of(file);
  // Only a sole writer knows its file's size without asking the system,
  // which would not see what is gathered. A gathering already under way
  // stays its own scope's to finish.
  if (open == nullptr || open->gathered != nullptr || open->size == kSizeAsked) return;
  auto gathered = std::make_unique<GatheredWrites>();
  if (gathered->bytes == nullptr) return;
  open->gathered = std::move(gathered);
  file_ = file;
}

WriteGathering::~WriteGathering() { finish(); }

bool WriteGathering::finish() {
  OpenFile* open = file_ != nullptr ? file_of(file_) : nullptr;
  if (open == nullptr || open->gathered == nullptr) return true;
  const bool sent = send_gathered(open);
  open->gathered.reset();
  file_ = nullptr;
  return sent;
}

}  // namespace platform
