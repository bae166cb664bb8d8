// The file object's messages about the file as a whole: delete, rename,
// copy into a temporary file, reserve disk space, compare with another file,
// search a folder, split the name, and test for and make folders.
//
// They rest on the path, disk and search utilities and keep the object's
// state whole on every path: a file open before the operation is open again
// in its former mode afterwards (a create mode as a write mode, so that it
// is not cut), and a copy that fails leaves no partial file behind. The file
// object's dispatcher calls them.
#include <cerrno>
#include <cstring>

#include "files/files.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

constexpr uint32_t kCopyBlock = 512;
constexpr uint32_t kCompareBlock = 512;
constexpr char kTemporaryPrefix[] = "Test";

bool ap20c_is_separator(char character) { return character == '\\' || character == '/'; }

bool ap20c_is_directory(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A bare drive "X:" is there when its root is.
bool ap20c_drive_exists(const char* path) {
  const char root[] = {path[0], ':', '\\', '\0'};
  return ap20c_is_directory(root);
}

bool ap20c_is_bare_drive(const char* path) { return path[0] != '\0' && path[1] == ':' && path[2] == '\0'; }

// The path without trailing separators, in a buffer of MAX_PATH bytes; false
// when it is empty or does not fit.
bool ap20c_trimmed(const char* path, char* out) {
  if (IsBadStringPtrA(path, MAX_PATH)) return false;
  size_t length = strnlen(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  std::memcpy(out, path, length + 1);
  while (length > 1 && ap20c_is_separator(out[length - 1]) && out[length - 2] != ':') out[--length] = '\0';
  return true;
}

// Brings a file back to the mode it was open in before an operation closed it.
void ap20c_reopen(AP20_FILE* file, uint16_t former_mode) {
  if (former_mode != 0) ap20_Reopen(file, former_mode);
}

bool ap20c_copy_content(AP20_FILE* source, AP20_FILE* target) {
  char block[kCopyBlock];
  for (;;) {
    const uint32_t read = ap20_Read(source, block, sizeof block);
    if (read == 0) return source->error == 0;
    if (ap20_Write(target, block, read) != read) return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Delete and rename

uint16_t ap20c_Delete(AP20_FILE* file) {
  if (file == nullptr) return 0;
  if (ap20_IsOpen(file)) {
    ap20_Close(file);
  } else if (!ap20_Open(file, AP20_MODE_EXIST)) {
    return 0;
  }
  if (GU4_remove(file->name) == 0) return 1;
  file->error = static_cast<uint32_t>(errno);
  return 0;
}

// On failure the old name stays, and an open file is open again as before.
uint16_t ap20c_Rename(AP20_FILE* file, const char* directory, const char* name) {
  if (file == nullptr) return 0;
  if (file->name[0] == '\0') {
    file->error = AP20_ERROR_NO_NAME;
    return 0;
  }
  const uint16_t former_mode = file->mode;
  if (ap20_IsOpen(file)) ap20_Close(file);
  char old_name[AP20_NAME_SIZE];
  std::memcpy(old_name, file->name, sizeof old_name);
  uint16_t renamed = 0;
  if (!ap20_SetFileName(file, directory, name)) {
    file->error = EINVAL;
  } else if (GU4_rename(old_name, file->name) != 0) {
    file->error = static_cast<uint32_t>(errno);
  } else {
    renamed = 1;
  }
  if (!renamed) ap20_SetFileName(file, nullptr, old_name);
  ap20c_reopen(file, former_mode);
  return renamed;
}

// ---------------------------------------------------------------------------
// Copy

// The copy of a named file object names a new temporary file holding the
// same bytes; a source that is not there gives a copy without content.
uint16_t ap20c_Copy(AP20_FILE* file, void* target_object, HWND window) {
  AP20_FILE* target = ap20_file(target_object);
  if (file == nullptr || target == nullptr) return 0;
  if (!ap2_Copy_OBJ(reinterpret_cast<AP2_OBJECT*>(file->head.parent), reinterpret_cast<AP2_OBJECT*>(target->head.parent),
                    window))
    return 0;
  if (file->name[0] == '\0') return 1;
  const uint16_t former_mode = file->mode;
  if (ap20_IsOpen(file)) ap20_Close(file);
  if (!ap20_Open(file, AP20_MODE_READ)) {
    const bool missing = file->error == ERROR_FILE_NOT_FOUND || file->error == ERROR_PATH_NOT_FOUND;
    if (missing) file->error = 0;
    ap20c_reopen(file, former_mode);
    return missing ? 1 : 0;
  }
  char folder[MAX_PATH];
  char temporary[MAX_PATH];
  if (ap20_IsOpen(target)) ap20_Close(target);
  const bool created = GU12_GetValidSysTempPath(folder) && GetTempFileNameA(folder, kTemporaryPrefix, 0, temporary) != 0;
  const bool copied = created && ap20_SetFileName(target, nullptr, temporary) && ap20_Open(target, AP20_MODE_WRITE) &&
                      ap20c_copy_content(file, target);
  if (ap20_IsOpen(target)) ap20_Close(target);
  ap20_Close(file);
  ap20c_reopen(file, former_mode);
  if (copied) return 1;
  if (created) GU4_remove(temporary);
  ap20_SetFileName(target, nullptr, "");  // an empty name empties the field
  return 0;
}

// ---------------------------------------------------------------------------
// Disk space

// Reserving makes the file at least `size` bytes long, ending in two zero
// bytes, when the disk has room for it. A file already that long is left as
// it is: the two bytes would fall on its content.
uint16_t ap20c_Reserve(AP20_FILE* file, uint32_t size, uint16_t extend) {
  if (file == nullptr || file->name[0] == '\0' || size < 2) return 0;
  const bool open = ap20_IsOpen(file);
  if (open && file->mode != AP20_MODE_WRITE && file->mode != AP20_MODE_READWRITE && file->mode != AP20_MODE_CREATE)
    return 0;
  if (GU4_GetDiskFreeSpace(file->name) <= size) {
    file->error = AP20_ERROR_DISK_FULL;
    return 0;
  }
  const uint8_t zeros[2] = {0, 0};
  if (open) {
    const uint32_t position = ap20_GetPosition(file);
    const uint32_t file_size = ap20_GetFileSize(file);
    if (position == 0xFFFFFFFF || file_size == 0xFFFFFFFF) return 0;
    if (file_size >= size) return 1;
    return ap20_WriteAt(file, size - 2, zeros, sizeof zeros) && ap20_Seek(file, static_cast<int32_t>(position), FILE_BEGIN);
  }
  const bool exists = ap20_Open(file, AP20_MODE_EXIST) != 0;
  if (exists && !extend) return 1;
  if (!ap20_Open(file, exists ? AP20_MODE_WRITE : AP20_MODE_CREATE)) return 0;
  const uint32_t file_size = ap20_GetFileSize(file);
  const uint16_t reserved =
      file_size != 0xFFFFFFFF && (file_size >= size || ap20_WriteAt(file, size - 2, zeros, sizeof zeros)) ? 1 : 0;
  ap20_Close(file);
  return reserved;
}

// ---------------------------------------------------------------------------
// Compare

// Compares both open files from their starts. On a difference the first
// file stands just after the byte that differs (at its end when it ended
// there) and that position is delivered.
uint16_t ap20c_Compare(AP20_FILE* file, void* other_object, uint32_t* position) {
  AP20_FILE* other = ap20_file(other_object);
  if (file == nullptr || other == nullptr || !ap20_IsOpen(file) || !ap20_IsOpen(other)) return 0;
  if (!ap20_Seek(file, 0, FILE_BEGIN) || !ap20_Seek(other, 0, FILE_BEGIN)) return 0;
  char mine[kCompareBlock];
  char theirs[kCompareBlock];
  uint32_t offset = 0;
  for (;;) {
    const uint32_t read_mine = ap20_Read(file, mine, sizeof mine);
    const uint32_t read_theirs = ap20_Read(other, theirs, sizeof theirs);
    const uint32_t common = read_mine < read_theirs ? read_mine : read_theirs;
    uint32_t index = 0;
    while (index < common && mine[index] == theirs[index]) ++index;
    if (index == common && read_mine == read_theirs) {
      if (read_mine == 0) return 1;
      offset += read_mine;
      continue;
    }
    const uint32_t after = offset + index + (index < read_mine ? 1 : 0);
    ap20_Seek(file, static_cast<int32_t>(after), FILE_BEGIN);
    if (!IsBadWritePtr(position, sizeof *position)) *position = after;
    return 0;
  }
}

// ---------------------------------------------------------------------------
// Search, name parts and folders

uint16_t ap20c_FindFirst(const char* pattern, GU4_FINDDATA* found) {
  if (IsBadWritePtr(found, sizeof *found)) return 0;
  return GU4_FindFirst(pattern, 0, found) == 0 ? 1 : 0;
}

uint16_t ap20c_FindNext(GU4_FINDDATA* found) {
  if (IsBadWritePtr(found, sizeof *found)) return 0;
  return GU4_FindNext(found) == 0 ? 1 : 0;
}

uint16_t ap20c_FindClose() {
  GU4_FindClose();
  return 1;
}

// The name and its parts, each into its caller's buffer when one is given
// (sizes MAX_PATH, 3, 256, 256 and 256).
uint16_t ap20c_SplitName(AP20_FILE* file, char* name, char* drive, char* directory, char* base, char* extension) {
  if (file == nullptr || file->name[0] == '\0') return 0;
  if (name != nullptr && ap20_CopyFileName(file, name) == 0) return 0;
  GU4_splitpathtrueSafe(file->name, drive, directory, base, extension, GU4_DRIVE_SIZE, GU4_DIR_SIZE, GU4_FNAME_SIZE,
                        GU4_EXT_SIZE);
  return 1;
}

uint16_t ap20c_DirectoryExists(const char* path) {
  char trimmed[MAX_PATH];
  if (!ap20c_trimmed(path, trimmed)) return 0;
  if (ap20c_is_bare_drive(trimmed)) return ap20c_drive_exists(trimmed) ? 1 : 0;
  return ap20c_is_directory(trimmed) ? 1 : 0;
}

// Makes each missing folder of the path from the root down; the drive must
// be there first.
uint16_t ap20c_MakeDirectories(const char* path) {
  char folder[MAX_PATH];
  if (!ap20c_trimmed(path, folder)) return 0;
  const bool has_drive = folder[1] == ':';
  if (has_drive && !ap20c_drive_exists(folder)) return 0;
  const size_t length = std::strlen(folder);
  size_t start = has_drive ? 2 : 0;
  while (start < length && ap20c_is_separator(folder[start])) ++start;
  for (size_t end = start; end <= length; ++end) {
    if (end < length && !ap20c_is_separator(folder[end])) continue;
    const char kept = folder[end];
    folder[end] = '\0';
    const bool made = ap20c_is_directory(folder) || GU4_mkdir(folder) == 0;
    folder[end] = kept;
    if (!made) return 0;
  }
  return 1;
}
