// The GU12 family of file and path helpers: date stamps of files and of the
// current time; pointers to a path's file name and extension in 8-bit and
// UTF-16 text; the folder and root of a path; and the free and total space
// of a path's disk, with a checked temporary folder; whether a file exists.
//
// Paths are stepped with the system's next-character function so that a
// trail byte is never taken for a separator; '\' and '/' both separate
// folders. The file layers call these before they create files; the dates
// stamp what the file and history code writes.
#include <cstring>

#include "platform/codepage.h"
#include "platform/modules.h"
#include "platform/timelocale.h"
#include "util/util.h"

namespace {

// Years the MS-DOS date can hold.
constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;

using DiskSpaceExFunction = BOOL (*)(LPCSTR folder, uint64_t* free_to_caller, uint64_t* total, uint64_t* total_free);

enum class DiskMeasure { FreeToCaller, Total };

// The extended free-space function as GU12_GetDiskFreeSpace first found it.
DiskSpaceExFunction g_kept_disk_space_ex = nullptr;
bool g_disk_space_ex_looked_up = false;

// Characters a file name cannot hold: the separators, the drive colon,
// wildcards, quotes and the redirection and pipe signs.
constexpr char kReservedInNames[] = "<>\"*/:?\\|";

const char* gu12_next(const char* p) { return CharNextA(p); }
const WCHAR* gu12_next(const WCHAR* p) { return p + 1; }

template <typename Char>
bool gu12_separator(Char c) {
  return c == '\\' || c == '/';
}

template <typename Char>
bool gu12_reserved(Char c) {
  const uint32_t code = static_cast<uint32_t>(c);
  return code != 0 && code < 0x80 && std::strchr(kReservedInNames, static_cast<char>(code)) != nullptr;
}

template <typename Char>
Char* gu12_file_name(const Char* path) {
  if (path == nullptr) return nullptr;
  const Char* name = path;
  for (const Char* p = path; *p != 0; p = gu12_next(p)) {
    if (*p == ':' || gu12_separator(*p)) name = gu12_next(p);
  }
  return const_cast<Char*>(name);
}

template <typename Char>
Char* gu12_extension(const Char* path) {
  if (path == nullptr) return nullptr;
  const Char* dot = nullptr;
  const Char* end = path;
  for (; *end != 0; end = gu12_next(end)) {
    if (*end == '.') dot = end;
  }
  if (dot == nullptr) return const_cast<Char*>(end);
  for (const Char* p = gu12_next(dot); *p != 0; p = gu12_next(p)) {
    if (gu12_reserved(*p)) return const_cast<Char*>(end);
  }
  return const_cast<Char*>(dot);
}

const char* gu12_find_separator(const char* text) {
  for (const char* p = text; *p != '\0'; p = CharNextA(p)) {
    if (gu12_separator(*p)) return p;
  }
  return nullptr;
}

// Copies `length` bytes of `start` and a terminator into `out` of `size`
// bytes; the length, or 0 with `out` emptied when nothing or too much is given.
uint32_t gu12_copy_span(const char* start, size_t length, char* out, uint32_t size) {
  if (length == 0 || length >= size) {
    if (size > 0) out[0] = '\0';
    return 0;
  }
  std::memcpy(out, start, length);
  out[length] = '\0';
  return static_cast<uint32_t>(length);
}

DiskSpaceExFunction gu12_find_disk_space_ex() {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel != nullptr ? reinterpret_cast<DiskSpaceExFunction>(GetProcAddress(kernel, "GetDiskFreeSpaceExA"))
                           : nullptr;
}

// Bytes of the disk that holds `path`: with the extended function on the
// path's folder, else with the older one on its root (clusters × sectors ×
// bytes, counted in 64 bits). A bare file name lies in the current folder.
bool gu12_disk_bytes(const char* path, DiskSpaceExFunction extended, DiskMeasure measure, uint64_t* bytes) {
  if (path == nullptr || std::strlen(path) >= MAX_PATH) return false;
  char folder[MAX_PATH];
  if (extended != nullptr) {
    const char* where = GU12_GetPathNameFromFilePath(path, folder, sizeof folder) > 0 ? folder : nullptr;
    uint64_t free_to_caller = 0, total = 0;
    if (!extended(where, &free_to_caller, &total, nullptr)) return false;
    *bytes = measure == DiskMeasure::Total ? total : free_to_caller;
    return true;
  }
  const char* root = GU12_GetRootPathFromFilePath(path, folder, sizeof folder) > 0 ? folder : nullptr;
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &total_clusters))
    return false;
  const DWORD clusters = measure == DiskMeasure::Total ? total_clusters : free_clusters;
  *bytes = static_cast<uint64_t>(clusters) * sectors_per_cluster * bytes_per_sector;
  return true;
}

// A disk that cannot be measured answers 0, never "plenty": a caller that
// checks for room then refuses to write rather than filling an unknown disk.
uint32_t gu12_disk_units(const char* path, uint32_t unit, DiskMeasure measure) {
  if (!g_disk_space_ex_looked_up) {
    g_kept_disk_space_ex = gu12_find_disk_space_ex();
    g_disk_space_ex_looked_up = true;
  }
  uint64_t bytes = 0;
  if (!gu12_disk_bytes(path, g_kept_disk_space_ex, measure, &bytes)) return 0;
  if (unit != 0) bytes /= unit;
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

}  // namespace

// ---------------------------------------------------------------------------
// Dates

APEXPORT uint32_t GU12_DosGetDateTime(const char* path) {
  std::tm local;
  if (path == nullptr || !platform::file_write_local_time(path, &local)) return 0;
  const int year = local.tm_year + 1900;
  if (year < kDosFirstYear || year > kDosLastYear) return 0;
  const uint32_t dos_time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  const uint32_t dos_date =
      static_cast<uint32_t>(((year - kDosFirstYear) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  return (dos_time << 16) | dos_date;
}

APEXPORT void GU12_GetDateTime(uint32_t* out) {
  if (out == nullptr) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  out[0] = ((static_cast<uint32_t>(now.wMonth) << 8 | now.wDay) << 16) | now.wYear;
  out[1] = static_cast<uint32_t>(now.wHour) << 24 | static_cast<uint32_t>(now.wMinute) << 16 |
           static_cast<uint32_t>(now.wSecond) << 8 | static_cast<uint32_t>(now.wMilliseconds / 10);
}

// ---------------------------------------------------------------------------
// Parts of a path

APEXPORT char* GU12_GetFileNamePtrA(const char* path) { return gu12_file_name(path); }

APEXPORT WCHAR* GU12_GetFileNamePtrW(const WCHAR* path) { return gu12_file_name(path); }

APEXPORT char* GU12_GetFileNameExtensionPtrA(const char* path) { return gu12_extension(path); }

APEXPORT WCHAR* GU12_GetFileNameExtensionPtrW(const WCHAR* path) { return gu12_extension(path); }

APEXPORT uint32_t GU12_GetPathNameFromFilePath(const char* path, char* out, uint32_t size) {
  if (path == nullptr || out == nullptr) return 0;
  return gu12_copy_span(path, static_cast<size_t>(GU12_GetFileNamePtrA(path) - path), out, size);
}

// The root of "\\server\share\..." runs to the '\' after the share; of any
// other path to its first separator.
APEXPORT uint32_t GU12_GetRootPathFromFilePath(const char* path, char* out, uint32_t size) {
  if (path == nullptr || out == nullptr) return 0;
  const char* root_end = nullptr;
  if (gu12_separator(path[0]) && gu12_separator(path[1])) {
    const char* server_end = gu12_find_separator(path + 2);
    const char* share_end = server_end != nullptr && server_end > path + 2 ? gu12_find_separator(server_end + 1)
                                                                            : nullptr;
    if (share_end != nullptr && share_end > server_end + 1) root_end = share_end + 1;
  } else if (const char* first = gu12_find_separator(path)) {
    root_end = first + 1;
  }
  return gu12_copy_span(path, root_end != nullptr ? static_cast<size_t>(root_end - path) : 0, out, size);
}

// ---------------------------------------------------------------------------
// Files

// A sharing violation means the file is there, held open by another.
APEXPORT uint16_t GU12_DoesFileExist(const char* path) {
  if (path == nullptr) return 0;
  const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return 1;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Disks

APEXPORT uint64_t GU4_GetDiskFreeSpace(const char* path) {
  uint64_t bytes = 0;
  return gu12_disk_bytes(path, gu12_find_disk_space_ex(), DiskMeasure::FreeToCaller, &bytes) ? bytes : 0;
}

APEXPORT uint32_t GU12_GetDiskFreeSpace(const char* path, uint32_t unit) {
  return gu12_disk_units(path, unit, DiskMeasure::FreeToCaller);
}

APEXPORT uint32_t GU12_GetDiskTotalSpace(const char* path, uint32_t unit) {
  return gu12_disk_units(path, unit, DiskMeasure::Total);
}

APEXPORT uint16_t GU12_GetValidSysTempPath(char* out) {
  if (out == nullptr) return 0;
  out[0] = '\0';
  char folder[MAX_PATH];
  char probe[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length >= sizeof folder) return 0;
  if (GetTempFileNameA(folder, "~tp", 0, probe) == 0) return 0;
  if (!DeleteFileA(probe)) return 0;
  return GU12_GetPathNameFromFilePath(probe, out, MAX_PATH) > 0 ? 1 : 0;
}
