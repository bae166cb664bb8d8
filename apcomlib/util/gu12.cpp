// The GU12 family of file and path helpers: date stamps of files and of the
// current time; a path's file name, extension, folder and root (the first
// two in 8-bit and UTF-16 text); names checked for reserved characters,
// separators and extensions added, full and module paths, wildcard matches
// and file sizes as text; whether a file exists; the free and total space of
// a path's disk and a checked temporary folder; and access granted on a
// file to an identifier.
//
// Paths are stepped with the system's next-character function so that a
// trail byte is never taken for a separator; '\' and '/' both separate
// folders. The file layers call these before they create files; the dates
// stamp what the file and history code writes.

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/codepage.h"
#include "platform/modules.h"
#include "platform/timelocale.h"
#include "platform/user.h"
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

// Inherited by the files and folders made inside a folder.
constexpr DWORD kInheritedByFilesAndFolders = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// The blocks of one grant, freed together on every path.
struct GrantBlocks {
  void* descriptor = nullptr;
  void* acl = nullptr;
  ~GrantBlocks() {
    if (descriptor != nullptr) GU3_FreePointer(descriptor);
    if (acl != nullptr) GU3_FreePointer(acl);
  }
};

uint16_t gu12_grant_failed(const char* step) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed.  Error %d\n", step, static_cast<int>(GetLastError()));
  OutputDebugStringA(text);
  return 0;
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
// Names, full paths, wildcards and sizes

APEXPORT uint16_t GU12_ValidateFileName(char* name, uint16_t fix) {
  if (name == nullptr) return 0;
  uint16_t valid = 1;
  for (char* p = name; *p != '\0'; p = CharNextA(p)) {
    if (!gu12_reserved(*p)) continue;
    valid = 0;
    if (fix != 0) *p = '_';
  }
  return valid;
}

APEXPORT uint32_t GU12_AddSlashToPathName(char* path, uint32_t size) {
  if (path == nullptr) return 0;
  const size_t length = std::strlen(path);
  if (length == 0) return 0;
  if (gu12_separator(*CharPrevA(path, path + length))) return static_cast<uint32_t>(length);
  if (length + 2 > size) return 0;
  path[length] = '\\';
  path[length + 1] = '\0';
  return static_cast<uint32_t>(length + 1);
}

APEXPORT uint32_t GU12_AddExtensionToPathName(char* path, uint32_t size, const char* ext) {
  if (path == nullptr || ext == nullptr) return 0;
  const char* bare = ext[0] == '.' ? ext + 1 : ext;
  char* current = GU12_GetFileNameExtensionPtrA(path);
  if (current[0] == '.' && _stricmp(current + 1, bare) == 0) return static_cast<uint32_t>(std::strlen(path));
  const size_t stem = static_cast<size_t>(current - path);
  const size_t bare_length = std::strlen(bare);
  if (stem + 1 + bare_length + 1 > size) return 0;
  current[0] = '.';
  std::memmove(current + 1, bare, bare_length + 1);
  return static_cast<uint32_t>(stem + 1 + bare_length);
}

APEXPORT uint16_t GU12_QualifyPath(const char* path, char* out, uint32_t size) {
  if (path == nullptr || out == nullptr || size == 0) return 0;
  const DWORD length = GetFullPathNameA(path, size, out, nullptr);
  if (length > 0 && length < size) return 1;
  out[0] = '\0';
  return 0;
}

// A file name that fills the whole buffer may have been cut: it is refused.
APEXPORT uint32_t GU12_GetModulePath(HMODULE module, char* out, uint32_t size) {
  if (out == nullptr) return 0;
  char file[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, file, sizeof file);
  return GU12_GetPathNameFromFilePath(length + 1 < sizeof file ? file : "", out, size);
}

// '*' takes any run of characters up to a '.', the one it has reached first
// and then, when the rest of the pattern fails, one more at a time; '?'
// takes one character. Letters compare without regard to case.
APEXPORT uint16_t GU12_IsMatchWildCard(const char* pattern, const char* name) {
  if (pattern == nullptr || name == nullptr) return 0;
  if (std::strcmp(pattern, "*") == 0) return 1;
  const char* after_star = nullptr;  // the pattern after the last '*'
  const char* star_end = nullptr;    // where the name stands after what that '*' took
  const char* p = pattern;
  const char* n = name;
  for (;;) {
    if (*p == '*') {
      after_star = ++p;
      star_end = n;
      continue;
    }
    if (*n == '\0') {
      if (*p == '\0' || (p[0] == '.' && p[1] == '\0')) return 1;
    } else if (*p == '\0') {
      if (n[0] == '.' && n[1] == '\0') return 1;
    } else if (*p == '?' || std::tolower(static_cast<unsigned char>(*p)) == std::tolower(static_cast<unsigned char>(*n))) {
      p = CharNextA(p);
      n = CharNextA(n);
      continue;
    }
    if (after_star == nullptr || *star_end == '\0' || *star_end == '.') return 0;
    star_end = CharNextA(star_end);
    n = star_end;
    p = after_star;
  }
}

APEXPORT char* GU12_FileSizeToString(uint64_t size, char* out) {
  struct Unit {
    uint64_t bytes;
    const char* name;
  };
  static constexpr Unit kUnits[] = {{1ull << 30, "GB"}, {1ull << 20, "MB"}, {1ull << 10, "KB"}, {1, "Bytes"}};
  if (out == nullptr) return nullptr;
  const Unit* unit = kUnits;
  while (size < unit->bytes && unit->bytes > 1) ++unit;
  const double scaled = static_cast<double>(size) / static_cast<double>(unit->bytes);
  const int decimals = unit->bytes == 1 || scaled >= 100 ? 0 : scaled >= 10 ? 1 : 2;
  char format[16];
  std::snprintf(format, sizeof format, "%%0.%df %%s", decimals);
  std::snprintf(out, GU12_FILESIZE_TEXT_SIZE, format, scaled, unit->name);
  return out;
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

// ---------------------------------------------------------------------------
// Security

// The new entry goes before the first inherited one, so that it ranks with
// the entries set on the file itself; an older grant of the same identifier
// set on the file is dropped in its favour.
APEXPORT uint16_t GU12_AddAccessAllowedAce(const char* path, PSID sid, DWORD access_mask) {
  if (!IsValidSid(sid)) {
    SetLastError(ERROR_INVALID_SID);
    return gu12_grant_failed("IsValidSid()");
  }
  GrantBlocks blocks;
  DWORD needed = 0;
  GetFileSecurityA(path, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return gu12_grant_failed("GetFileSecurity()");
  blocks.descriptor = GU3_NewPointer(needed);
  if (blocks.descriptor == nullptr) return gu12_grant_failed("Allocation");
  if (!GetFileSecurityA(path, DACL_SECURITY_INFORMATION, blocks.descriptor, needed, &needed))
    return gu12_grant_failed("GetFileSecurity()");
  BOOL present = FALSE, defaulted = FALSE;
  ACL* old_acl = nullptr;
  if (!GetSecurityDescriptorDacl(blocks.descriptor, &present, &old_acl, &defaulted))
    return gu12_grant_failed("GetSecurityDescriptorDacl()");
  ACL_SIZE_INFORMATION old_size{0, sizeof(ACL), 0};
  if (present && old_acl != nullptr && !GetAclInformation(old_acl, &old_size, sizeof old_size, AclSizeInformation))
    return gu12_grant_failed("GetAclInformation()");
  // Room for the old entries and one access-allowed entry (8 bytes of header
  // and mask, then the identifier), with 8 bytes to spare.
  const DWORD size = old_size.AclBytesInUse + 8 + GetLengthSid(sid) + 8;
  blocks.acl = GU3_NewPointer(size);
  auto* acl = static_cast<ACL*>(blocks.acl);
  if (acl == nullptr) return gu12_grant_failed("Allocation");
  if (!InitializeAcl(acl, size, ACL_REVISION)) return gu12_grant_failed("InitializeAcl()");
  bool granted = false;
  auto grant = [&]() {
    granted = true;
    return AddAccessAllowedAceEx(acl, ACL_REVISION, kInheritedByFilesAndFolders, access_mask, sid) != FALSE;
  };
  for (DWORD i = 0; i < old_size.AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(old_acl, i, &entry)) return gu12_grant_failed("GetAce()");
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    const bool inherited = (header->AceFlags & INHERITED_ACE) != 0;
    if (inherited && !granted && !grant()) return gu12_grant_failed("AddAccessAllowedAce()");
    if (!inherited && header->AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart, sid))
      continue;
    if (!AddAce(acl, ACL_REVISION, MAXDWORD, entry, header->AceSize)) return gu12_grant_failed("AddAce()");
  }
  if (!granted && !grant()) return gu12_grant_failed("AddAccessAllowedAce()");
  SECURITY_DESCRIPTOR descriptor;
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
    return gu12_grant_failed("InitializeSecurityDescriptor()");
  if (!SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) return gu12_grant_failed("SetSecurityDescriptorDacl()");
  if (!SetFileSecurityA(path, DACL_SECURITY_INFORMATION, &descriptor)) return gu12_grant_failed("SetFileSecurity()");
  return 1;
}

APEXPORT uint16_t GU12_SetWideOpenAccess(const char* path) {
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
    return gu12_grant_failed("AllocateAndInitializeSid()");
  const uint16_t granted = GU12_AddAccessAllowedAce(path, everyone, GENERIC_ALL);
  FreeSid(everyone);
  return granted;
}
