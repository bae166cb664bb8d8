// The GU4 path and file helpers: the split of a path into drive, folder,
// name and extension and the join back; the long and short forms of a path
// and the program's folder; the current drive, which the split puts in front
// of a path without one; the process-wide one-at-a-time file search;
// existence tests; and deleting, renaming and making folders with the
// run-time library's results.
//
// Every copy into a caller's buffer is bounded: a part of the split by the
// size the caller gives (or the run-time library's standard part sizes), a
// joined path by MAX_PATH. Paths are stepped with the system's next-character
// function; '\' and '/' both separate folders. Called by the file object and
// the native file classes, and by hosts.
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/codepage.h"
#include "util/util.h"

namespace {

constexpr int32_t kDriveCount = 26;

// The search of GU4_FindFirst, INVALID_HANDLE_VALUE when none is open.
HANDLE g_search = INVALID_HANDLE_VALUE;

// 100-nanosecond steps from 1601-01-01 (file times) to 1970-01-01.
constexpr uint64_t kFileTimeAt1970 = 116444736000000000ull;
constexpr uint64_t kFileTimeStepsPerSecond = 10000000ull;

struct Span {
  const char* start;
  size_t length;
};

struct PathParts {
  Span drive;
  Span dir;
  Span name;
  Span ext;
};

// A path being built in a buffer of `size` bytes: appending stops for good
// at the first part that does not fit, and the text stays terminated.
struct PathText {
  char* text;
  uint32_t size;
  uint32_t length;
  bool fits;
};

bool gu4e_separator(char c) { return c == '\\' || c == '/'; }

// The run-time library's split: "X:" when the second character is ':', the
// folder up to the last separator, the extension from the last '.' after it.
PathParts gu4e_split(const char* path) {
  const char* rest = path;
  PathParts parts{};
  parts.drive = Span{path, 0};
  if (path[0] != '\0' && path[1] == ':') {
    parts.drive.length = 2;
    rest += 2;
  }
  const char* name = rest;
  const char* dot = nullptr;
  const char* end = rest;
  for (; *end != '\0'; end = CharNextA(end)) {
    if (gu4e_separator(*end)) {
      name = end + 1;
      dot = nullptr;
    } else if (*end == '.') {
      dot = end;
    }
  }
  if (dot == nullptr) dot = end;
  parts.dir = Span{rest, static_cast<size_t>(name - rest)};
  parts.name = Span{name, static_cast<size_t>(dot - name)};
  parts.ext = Span{dot, static_cast<size_t>(end - dot)};
  return parts;
}

// At most size - 1 bytes of the part, always terminated; nothing for a null
// output or a size of 0.
void gu4e_copy_part(const Span& part, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return;
  const size_t length = part.length < size - 1 ? part.length : size - 1;
  GU4_Strncpy(out, part.start, static_cast<uint32_t>(length));
  out[length] = '\0';
}

void gu4e_split_into(const char* path, char* drive, char* dir, char* name, char* ext, uint32_t drive_size,
                     uint32_t dir_size, uint32_t name_size, uint32_t ext_size, bool fill_drive) {
  PathParts parts = gu4e_split(path != nullptr ? path : "");
  // A network path has no drive: "\\server\share" names the share.
  const bool network = parts.dir.length >= 2 && gu4e_separator(parts.dir.start[0]) &&
                       gu4e_separator(parts.dir.start[1]);
  char current[GU4_DRIVE_SIZE] = "";
  const int32_t drive_number = fill_drive && parts.drive.length == 0 && !network ? GU4_GetCurrentWorkingDrive() : 0;
  if (drive_number > 0) {
    current[0] = static_cast<char>('A' + drive_number - 1);
    current[1] = ':';
    parts.drive = Span{current, 2};
  }
  gu4e_copy_part(parts.drive, drive, drive_size);
  gu4e_copy_part(parts.dir, dir, dir_size);
  gu4e_copy_part(parts.name, name, name_size);
  gu4e_copy_part(parts.ext, ext, ext_size);
}

void gu4e_append(PathText* out, const char* part, size_t length) {
  if (!out->fits || out->length + length >= out->size) {
    out->fits = false;
    return;
  }
  std::memcpy(out->text + out->length, part, length);
  out->length += static_cast<uint32_t>(length);
  out->text[out->length] = '\0';
}

void gu4e_append_text(PathText* out, const char* text) { gu4e_append(out, text, std::strlen(text)); }

int32_t gu4e_seconds_since_1970(const FILETIME& time) {
  const uint64_t steps = static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  if (steps < kFileTimeAt1970) return -1;
  const uint64_t seconds = (steps - kFileTimeAt1970) / kFileTimeStepsPerSecond;
  return seconds <= INT32_MAX ? static_cast<int32_t>(seconds) : -1;
}

void gu4e_fill_find_data(const WIN32_FIND_DATAA& found, GU4_FINDDATA* data) {
  const uint64_t size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
  data->attrib = found.dwFileAttributes;
  data->time_create = gu4e_seconds_since_1970(found.ftCreationTime);
  data->time_access = gu4e_seconds_since_1970(found.ftLastAccessTime);
  data->time_write = gu4e_seconds_since_1970(found.ftLastWriteTime);
  data->size = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
  gu4e_copy_part(Span{found.cFileName, std::strlen(found.cFileName)}, data->name, sizeof data->name);
}

// The run-time library's answer to a file call: 0, or -1 with its error
// number for the system's error.
int32_t gu4e_runtime_result(BOOL done) {
  if (done) return 0;
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: errno = EACCES; break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
    default: errno = EINVAL; break;
  }
  return -1;
}

// Appends a part of a path as the file system stores it: a part holding a
// '~' may be the short name of a longer one, so the path built so far with
// it is looked up and the name found replaces it.
void gu4e_append_long_name(PathText* out, const char* part, size_t length) {
  const uint32_t before = out->length;
  gu4e_append(out, part, length);
  const bool may_be_short = std::memchr(part, '~', length) != nullptr;
  const bool wildcards = std::memchr(part, '*', length) != nullptr || std::memchr(part, '?', length) != nullptr;
  if (!out->fits || !may_be_short || wildcards) return;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(out->text, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FindClose(search);
  out->length = before;
  out->text[before] = '\0';
  gu4e_append_text(out, found.cFileName);
}

bool gu4e_opens_for_reading(const char* path) {
  const HFILE file = _lopen(path, OF_READ);
  if (file == HFILE_ERROR) return false;
  _lclose(file);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Splitting and joining

APEXPORT void GU4_splitpathtrue(const char* path, char* drive, char* dir, char* name, char* ext) {
  gu4e_split_into(path, drive, dir, name, ext, GU4_DRIVE_SIZE, GU4_DIR_SIZE, GU4_FNAME_SIZE, GU4_EXT_SIZE, false);
}

APEXPORT void GU4_splitpath(const char* path, char* drive, char* dir, char* name, char* ext) {
  gu4e_split_into(path, drive, dir, name, ext, GU4_DRIVE_SIZE, GU4_DIR_SIZE, GU4_FNAME_SIZE, GU4_EXT_SIZE, true);
}

APEXPORT void GU4_splitpathtrueSafe(const char* path, char* drive, char* dir, char* name, char* ext,
                                    uint32_t drive_size, uint32_t dir_size, uint32_t name_size, uint32_t ext_size) {
  gu4e_split_into(path, drive, dir, name, ext, drive_size, dir_size, name_size, ext_size, false);
}

APEXPORT void GU4_splitpathsafe(const char* path, char* drive, char* dir, char* name, char* ext,
                                uint32_t drive_size, uint32_t dir_size, uint32_t name_size, uint32_t ext_size) {
  gu4e_split_into(path, drive, dir, name, ext, drive_size, dir_size, name_size, ext_size, true);
}

// The drive's letter and ':'; the folder with a separator added when it has
// none at its end; the name; the extension with a '.' added when it has none
// in front.
APEXPORT void GU4_makepath(char* path, const char* drive, const char* dir, const char* name, const char* ext) {
  if (path == nullptr) return;
  char joined[MAX_PATH] = "";
  PathText out{joined, sizeof joined, 0, true};
  if (drive != nullptr && *drive != '\0') {
    gu4e_append(&out, drive, 1);
    gu4e_append_text(&out, ":");
  }
  if (dir != nullptr && *dir != '\0') {
    gu4e_append_text(&out, dir);
    if (!gu4e_separator(*CharPrevA(dir, dir + std::strlen(dir)))) gu4e_append_text(&out, "\\");
  }
  if (name != nullptr) gu4e_append_text(&out, name);
  if (ext != nullptr && *ext != '\0') {
    if (*ext != '.') gu4e_append_text(&out, ".");
    gu4e_append_text(&out, ext);
  }
  // A path cut short would name another file: it comes out empty instead.
  if (!out.fits) out.length = 0;
  joined[out.length] = '\0';
  std::memcpy(path, joined, out.length + 1);
}

// ---------------------------------------------------------------------------
// Long, short and module paths

APEXPORT uint32_t GU4_GetModulePath(char* out, uint32_t size) { return GU12_GetModulePath(nullptr, out, size); }

APEXPORT uint32_t GU4_GetShortPathName(const char* path, char* out, uint32_t size) {
  if (path == nullptr || out == nullptr || size == 0) return 0;
  const DWORD length = GetShortPathNameA(path, out, size);
  if (length > 0 && length < size) return length;
  out[0] = '\0';
  return 0;
}

// Each part is looked up by its own name: a pattern such as "PROGRA~?" could
// find a sibling ("PROGRA~1" for "PROGRA~2") and name another file.
APEXPORT uint16_t GU4_GetLongPathName(const char* short_path, uint32_t size, char* out) {
  if (short_path == nullptr || out == nullptr || size == 0) return 0;
  const PathParts parts = gu4e_split(short_path);
  out[0] = '\0';
  PathText text{out, size, 0, true};
  if (parts.drive.length == 0) {
    gu4e_append_text(&text, short_path);
  } else {
    gu4e_append(&text, parts.drive.start, parts.drive.length);
    const char* const dir_end = parts.dir.start + parts.dir.length;
    for (const char* p = parts.dir.start; p < dir_end;) {
      const char* component = p;
      while (p < dir_end && !gu4e_separator(*p)) p = CharNextA(p);
      if (p > component) {
        gu4e_append_text(&text, "\\");
        gu4e_append_long_name(&text, component, static_cast<size_t>(p - component));
      }
      if (p < dir_end) ++p;
    }
    // The name and extension stand together in the path.
    const size_t name_length = parts.name.length + parts.ext.length;
    if (name_length > 0 || parts.dir.length > 0) gu4e_append_text(&text, "\\");
    if (name_length > 0) gu4e_append_long_name(&text, parts.name.start, name_length);
  }
  if (text.fits) return 1;
  out[0] = '\0';
  return 0;
}

// ---------------------------------------------------------------------------
// Drives

APEXPORT int32_t GU4_GetCurrentWorkingDrive() {
  char folder[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  if (length < 2 || length >= sizeof folder || folder[1] != ':') return 0;
  const int letter = std::toupper(static_cast<unsigned char>(folder[0]));
  return letter >= 'A' && letter <= 'Z' ? letter - 'A' + 1 : 0;
}

// A drive already current keeps its current folder; another one is entered
// at its root.
APEXPORT uint16_t GU4_SetDrive(int32_t drive) {
  if (drive < 1 || drive > kDriveCount) return 0;
  if (GU4_GetCurrentWorkingDrive() == drive) return 1;
  char root[] = "A:\\";
  root[0] = static_cast<char>('A' + drive - 1);
  return SetCurrentDirectoryA(root) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Files

APEXPORT int32_t GU4_FindFirst(const char* pattern, uint32_t, GU4_FINDDATA* data) {
  GU4_FindClose();
  if (pattern == nullptr || data == nullptr) return -1;
  WIN32_FIND_DATAA found;
  g_search = FindFirstFileA(pattern, &found);
  if (g_search == INVALID_HANDLE_VALUE) return -1;
  gu4e_fill_find_data(found, data);
  return 0;
}

APEXPORT int32_t GU4_FindNext(GU4_FINDDATA* data) {
  WIN32_FIND_DATAA found;
  if (data == nullptr || g_search == INVALID_HANDLE_VALUE || !FindNextFileA(g_search, &found)) return -1;
  gu4e_fill_find_data(found, data);
  return 0;
}

APEXPORT uint16_t GU4_FindClose() {
  if (g_search != INVALID_HANDLE_VALUE) FindClose(g_search);
  g_search = INVALID_HANDLE_VALUE;
  return 1;
}

APEXPORT int32_t GU4_remove(const char* path) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return gu4e_runtime_result(path != nullptr && DeleteFileA(path));
}

APEXPORT int32_t GU4_rename(const char* old_path, const char* new_path) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return gu4e_runtime_result(old_path != nullptr && new_path != nullptr && MoveFileA(old_path, new_path));
}

APEXPORT int32_t GU4_mkdir(const char* path) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return gu4e_runtime_result(path != nullptr && CreateDirectoryA(path, nullptr));
}

APEXPORT uint16_t GU4_DoesFileExist(const char* path) {
  if (path == nullptr) return 0;
  if (gu4e_opens_for_reading(path)) return 1;
  if (GU12_GetFileNamePtrA(path) != path) return 0;
  char in_windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(in_windows, sizeof in_windows);
  if (length == 0 || length >= sizeof in_windows) return 0;
  PathText out{in_windows, sizeof in_windows, length, true};
  gu4e_append_text(&out, "\\");
  gu4e_append_text(&out, path);
  return out.fits && gu4e_opens_for_reading(in_windows) ? 1 : 0;
}

APEXPORT uint16_t GU4_WildcardFileExists(const char* pattern) {
  WIN32_FIND_DATAA found;
  const HANDLE search = pattern != nullptr ? FindFirstFileA(pattern, &found) : INVALID_HANDLE_VALUE;
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return 1;
}

APEXPORT uint16_t GU4_Access(const char* path) {
  return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}
