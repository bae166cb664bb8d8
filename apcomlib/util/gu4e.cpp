// The GU4 path helpers: the split of a path into drive, folder, name and
// extension and the join back, and the current drive that the split puts in
// front of a path without one.
//
// Every copy into a caller's buffer is bounded: a part of the split by the
// size the caller gives (or the run-time library's standard part sizes), a
// joined path by MAX_PATH. Paths are stepped with the system's next-character
// function; '\' and '/' both separate folders. Called by the file object and
// the native file classes, and by hosts.
#include <cctype>
#include <cstring>

#include "platform/codepage.h"
#include "util/util.h"

namespace {

constexpr int32_t kDriveCount = 26;

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
  std::memcpy(path, out.fits ? joined : "", out.fits ? out.length + 1 : 1);
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
