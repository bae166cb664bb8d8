// File services: handles from CreateFileA with the Windows share rules kept
// between the handles of this process, the _lopen family over them, file
// searches with Windows wildcards, temporary files, copies, full path names,
// the current directory and disk space. Paths are Windows or POSIX paths (see
// platform/home.h).
#pragma once
#include <cstdint>
#include <optional>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/wintypes.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_ALL = 0x10000000;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD MAX_PATH = 260;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == 52);

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
static_assert(sizeof(WIN32_FIND_DATAA) == 320);

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, DWORD* bytes_read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, DWORD* bytes_written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
DWORD GetFileSize(HANDLE file, DWORD* size_high);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);

BOOL DeleteFileA(LPCSTR name);
BOOL CopyFileA(LPCSTR existing, LPCSTR new_name, BOOL fail_if_exists);
BOOL MoveFileA(LPCSTR existing, LPCSTR new_name);
// With MOVEFILE_REPLACE_EXISTING a file of the new name is replaced in one
// step, so that a reader finds the old file or the new one, never neither.
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags);
DWORD GetFileAttributesA(LPCSTR name);
BOOL CreateDirectoryA(LPCSTR name, SECURITY_ATTRIBUTES* security);
BOOL RemoveDirectoryA(LPCSTR name);
DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* file_part);
// Names on this machine have no 8.3 alias: the short path of an existing
// file is the path itself.
DWORD GetShortPathNameA(LPCSTR long_path, LPSTR buffer, DWORD size);
// The current directory in Windows form ("X:\..." inside a drive's folder,
// the POSIX path elsewhere). "X:" alone makes the drive's root current.
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
DWORD GetWindowsDirectoryA(LPSTR buffer, UINT size);
// Where the system's modules are installed: the Windows directory's "system".
DWORD GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetTempPathA(DWORD size, LPSTR buffer);
UINT GetTempFileNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name);
BOOL GetDiskFreeSpaceExA(LPCSTR folder, uint64_t* free_to_caller, uint64_t* total, uint64_t* total_free);
BOOL GetDiskFreeSpaceA(LPCSTR root, DWORD* sectors_per_cluster, DWORD* bytes_per_sector, DWORD* free_clusters,
                       DWORD* total_clusters);

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);
BOOL FindClose(HANDLE search);

// The 16-bit file calls: an HFILE is the file handle as an integer.
using HFILE = int;
constexpr HFILE HFILE_ERROR = -1;
constexpr int OF_READ = 0x0000;
constexpr int OF_WRITE = 0x0001;
constexpr int OF_READWRITE = 0x0002;
constexpr int OF_SHARE_EXCLUSIVE = 0x0010;
constexpr int OF_SHARE_DENY_WRITE = 0x0020;
constexpr int OF_SHARE_DENY_READ = 0x0030;
constexpr int OF_SHARE_DENY_NONE = 0x0040;

HFILE _lopen(LPCSTR name, int mode);
HFILE _lcreat(LPCSTR name, int attributes);
UINT _lread(HFILE file, LPVOID buffer, UINT bytes);
UINT _lwrite(HFILE file, LPCSTR buffer, UINT bytes);
LONG _hread(HFILE file, LPVOID buffer, LONG bytes);
LONG _hwrite(HFILE file, LPCSTR buffer, LONG bytes);
LONG _llseek(HFILE file, LONG offset, int origin);
HFILE _lclose(HFILE file);

namespace platform {

// Closes the record of a file handle; CloseHandle calls it for handles of
// kind file once it has taken the handle out of the live table.
void close_file_record(KernelHandle* record);

// The way to play a full disk: with a limit set, every volume reports at most
// that many free bytes (GetDiskFreeSpaceExA and GetDiskFreeSpaceA); the
// totals stay as measured. std::nullopt lifts the limit. Tests set it, and
// reset it when they are done, to reach the paths that refuse to write for
// want of room without filling a real disk.
void set_free_space_limit(std::optional<uint64_t> bytes);

// Sets room aside on disk for the first `bytes` of a file open for writing,
// without changing its length, where the file system can: filling room set
// aside costs it less than growing the file page by page. Only a hint;
// nothing is reported. Callers ask for no more than the file will hold.
void reserve_file_space(HANDLE file, uint64_t bytes);

// While it lives, the writes through a file handle that each go on where the
// last one ended are held back and reach the file in pieces of 256 KB: a
// writer of many small sections makes a few large writes, which costs the
// system far less than one per section. Any other use of the file (a read, a
// cut, a flush, a close, a copy or another handle opened on it) first sends
// what is held. Only a handle that is its file's sole writer gathers; for
// any other this does nothing. finish() sends the rest and answers whether
// everything held reached the file; a write that could not send what was
// held before it fails. The end of the scope sends what it can.
class WriteGathering {
 public:
  explicit WriteGathering(HANDLE file);
  ~WriteGathering();
  WriteGathering(const WriteGathering&) = delete;
  WriteGathering& operator=(const WriteGathering&) = delete;
  bool finish();

 private:
  HANDLE file_;  // null when this scope did not start a gathering
};

}  // namespace platform
