// The native container: format test, header and directory, native open and
// close.
//
// A native file is a 304-byte header, a directory of 16-byte entries and the
// sections after it. This module recognises the header, builds a new file,
// reads the header and directory of an open file into memory blocks (checking
// that the directory and every section it names lie inside the file and do
// not overlap, so that nothing later reads or writes out of bounds), writes
// them back, and opens and closes a native file on a file object, which then
// holds the two copies. The file object's dispatcher calls it, and the
// section storage (ap20_sections.cpp) builds on it.
#include <algorithm>
#include <cstring>

#include "files/files.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

enum class Probe { native, not_native, empty, too_short, unreadable };

// A section's bytes, as the overlap test sorts them.
struct Extent {
  uint32_t start;
  uint32_t end;
};

bool ap20a_magic_matches(const AP20_FILEHEADER& header) {
  return std::memcmp(header.magic, AP20_MAGIC, AP20_MAGIC_LENGTH + 1) == 0;
}

uint32_t ap20a_directory_bytes(const AP20_FILEHEADER* header) {
  return static_cast<uint32_t>(header->blocks) * AP20_BLOCK_BYTES;
}

Probe ap20a_judge(const AP20_FILEHEADER& header, uint32_t read) {
  if (read == 0) return Probe::empty;
  if (read < sizeof header) return Probe::too_short;
  return ap20a_magic_matches(header) ? Probe::native : Probe::not_native;
}

// Reads the first 304 bytes of the object's open file, putting the position
// back, or of the named file, opened and closed again for it. The object's
// error word is left alone.
Probe ap20a_probe(AP20_FILE* file, const char* name, AP20_FILEHEADER* header, uint32_t* error) {
  std::memset(header, 0, sizeof *header);
  DWORD read = 0;
  if (ap20_IsOpen(file)) {
    const DWORD position = SetFilePointer(file->handle, 0, nullptr, FILE_CURRENT);
    if (position == INVALID_SET_FILE_POINTER || SetFilePointer(file->handle, 0, nullptr, FILE_BEGIN) != 0 ||
        !ReadFile(file->handle, header, sizeof *header, &read, nullptr) ||
        SetFilePointer(file->handle, static_cast<LONG>(position), nullptr, FILE_BEGIN) != position) {
      *error = GetLastError();
      return Probe::unreadable;
    }
    return ap20a_judge(*header, read);
  }
  if (IsBadStringPtrA(name, AP20_NAME_SIZE) || *name == '\0') return Probe::unreadable;
  HANDLE handle = ap20_OpenHandle(name, AP20_MODE_READ, error);
  if (handle == nullptr) return Probe::unreadable;
  const BOOL ok = ReadFile(handle, header, sizeof *header, &read, nullptr);
  if (!ok) *error = GetLastError();
  APX_RedirectCloseHandle(handle);
  return ok ? ap20a_judge(*header, read) : Probe::unreadable;
}

bool ap20a_is_section(const AP20_DIRENTRY& entry) { return entry.type != AP20_SECTION_FREE && entry.length != 0; }

// 0 when every section in use lies between the directory's end and the
// file's end and no two of them share a byte; else the damage code.
uint32_t ap20a_check_sections(const AP20_FILEHEADER* header, const AP20_DIRENTRY* directory, uint32_t file_size) {
  const uint32_t count = header->count;
  if (count == 0) return 0;
  GU3_HANDLE scratch = GU3_Allocate_MM(count, sizeof(Extent), GU3_KIND_GLOBAL);
  auto* extents = static_cast<Extent*>(GU3_GetPointer_MM(scratch, 0, nullptr, nullptr));
  if (extents == nullptr) {
    GU3_Free_MM(scratch);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  const uint64_t data_start = ap20a_DataStart(header);
  uint32_t sections = 0;
  uint32_t damage = 0;
  for (uint32_t index = 0; index < count && damage == 0; ++index) {
    const AP20_DIRENTRY& entry = directory[index];
    if (!ap20a_is_section(entry)) continue;
    const uint64_t end = static_cast<uint64_t>(entry.offset) + entry.length;
    if (entry.offset < data_start || end > file_size) damage = AP20_ERROR_DAMAGED;
    extents[sections++] = Extent{entry.offset, static_cast<uint32_t>(end)};
  }
  std::sort(extents, extents + sections, [](const Extent& a, const Extent& b) { return a.start < b.start; });
  for (uint32_t index = 1; index < sections && damage == 0; ++index) {
    if (extents[index].start < extents[index - 1].end) damage = AP20_ERROR_DAMAGED;
  }
  GU3_Free_MM(scratch);
  return damage;
}

// Writes a new native file of that type, with room for the expected entries
// and every entry free, and closes it again; a file that could not be
// written whole is removed.
bool ap20a_create(AP20_FILE* file, uint16_t file_type, uint16_t expected_entries) {
  const uint16_t blocks = static_cast<uint16_t>(expected_entries / AP20_ENTRIES_PER_BLOCK + 1);
  AP20_FILEHEADER header;
  std::memset(&header, 0, sizeof header);
  ap20a_InitHeader(&header, file_type, blocks);
  const uint32_t entries = blocks * AP20_ENTRIES_PER_BLOCK;
  GU3_HANDLE block = GU3_Allocate_MM(entries, sizeof(AP20_DIRENTRY), GU3_KIND_GLOBAL);
  auto* directory = static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  bool written = false;
  if (directory != nullptr) {
    for (uint32_t index = 0; index < entries; ++index) directory[index].type = AP20_SECTION_FREE;
    const bool created = ap20_Open(file, AP20_MODE_CREATE) != 0;
    written = created && ap20a_WriteDirectory(file, &header, directory);
    if (created) ap20_Close(file);
    if (created && !written) GU4_remove(file->name);  // no half-made file stays behind
  }
  GU3_Free_MM(block);
  return written;
}

// Reads the header and directory of the open file into the object's copies.
bool ap20a_load(AP20_FILE* file) {
  GU3_HANDLE header_block = ap20a_ReadHeader(file);
  auto* header = static_cast<AP20_FILEHEADER*>(GU3_GetPointer_MM(header_block, 0, nullptr, nullptr));
  GU3_HANDLE directory_block = header != nullptr ? ap20a_ReadDirectory(file, header) : nullptr;
  if (directory_block == nullptr) {
    GU3_Free_MM(header_block);
    return false;
  }
  file->header_block = header_block;
  file->header = header;
  file->directory_block = directory_block;
  file->directory = static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(directory_block, 0, nullptr, nullptr));
  return true;
}

// What a failed format test leaves in the error word of a native open.
uint32_t ap20a_refusal(Probe probe, uint32_t error) {
  switch (probe) {
    case Probe::unreadable: return error;
    case Probe::empty:
    case Probe::too_short: return AP20_ERROR_SHORT_FILE;
    default: return AP20_ERROR_NOT_NATIVE;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Header and directory

int32_t ap20a_EntryCount(const AP20_FILEHEADER* header) {
  if (IsBadReadPtr(header, sizeof *header)) return -1;
  if (header->blocks == 0 || header->blocks > AP20_MAX_BLOCKS) return -1;
  if (header->count > header->blocks * AP20_ENTRIES_PER_BLOCK) return -1;
  return header->count;
}

uint32_t ap20a_DataStart(const AP20_FILEHEADER* header) {
  return sizeof(AP20_FILEHEADER) + ap20a_directory_bytes(header);
}

uint16_t ap20a_FormatTest(AP20_FILE* file, const char* name, uint16_t* file_type, uint32_t* error) {
  if (file == nullptr || IsBadWritePtr(file_type, sizeof *file_type) || IsBadWritePtr(error, sizeof *error)) return 0;
  *file_type = 0;
  *error = 0;
  AP20_FILEHEADER header;
  if (ap20a_probe(file, name != nullptr ? name : file->name, &header, error) != Probe::native) return 0;
  *file_type = header.file_type;
  return 1;
}

uint16_t ap20a_InitHeader(AP20_FILEHEADER* header, uint16_t file_type, uint16_t blocks) {
  if (IsBadWritePtr(header, sizeof *header)) return 0;
  std::memset(header->magic, 0, sizeof header->magic);
  std::memcpy(header->magic, AP20_MAGIC, AP20_MAGIC_LENGTH);
  header->title[0] = '\0';
  header->eof_mark = AP20_EOF_MARK;
  header->zero = 0;
  header->file_type = file_type;
  header->version = AP20_VERSION;
  header->blocks = blocks;
  header->count = 0;
  return 1;
}

GU3_HANDLE ap20a_ReadHeader(void* object) {
  AP20_FILE* file = ap20_FindFile(object);
  if (file == nullptr || !ap20_IsOpen(file)) return nullptr;
  GU3_HANDLE block = GU3_Allocate_MM(1, sizeof(AP20_FILEHEADER), GU3_KIND_GLOBAL);
  void* header = GU3_GetPointer_MM(block, 0, nullptr, nullptr);
  if (header == nullptr || !ap20_ReadAt(file, 0, header, sizeof(AP20_FILEHEADER))) {
    GU3_Free_MM(block);
    return nullptr;
  }
  return block;
}

// A directory that cannot be what the header says, or names bytes outside
// the file, is refused: every later look-up trusts its count and offsets.
GU3_HANDLE ap20a_ReadDirectory(void* object, const AP20_FILEHEADER* header) {
  AP20_FILE* file = ap20_FindFile(object);
  if (file == nullptr || !ap20_IsOpen(file) || IsBadReadPtr(header, sizeof *header)) return nullptr;
  if (ap20a_EntryCount(header) < 0) {
    file->error = AP20_ERROR_DAMAGED;
    return nullptr;
  }
  const uint32_t file_size = ap20_GetFileSize(file);
  if (file_size == 0xFFFFFFFF) return nullptr;
  if (ap20a_DataStart(header) > file_size) {
    file->error = AP20_ERROR_SHORT_FILE;
    return nullptr;
  }
  GU3_HANDLE block = GU3_Allocate_MM(header->blocks * AP20_ENTRIES_PER_BLOCK, sizeof(AP20_DIRENTRY), GU3_KIND_GLOBAL);
  auto* directory = static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (directory == nullptr || !ap20_ReadAt(file, sizeof(AP20_FILEHEADER), directory, ap20a_directory_bytes(header))) {
    GU3_Free_MM(block);
    return nullptr;
  }
  if (const uint32_t damage = ap20a_check_sections(header, directory, file_size)) {
    file->error = damage;
    GU3_Free_MM(block);
    return nullptr;
  }
  return block;
}

uint16_t ap20a_WriteDirectory(void* object, const AP20_FILEHEADER* header, const AP20_DIRENTRY* directory) {
  AP20_FILE* file = ap20_FindFile(object);
  if (file == nullptr || ap20a_EntryCount(header) < 0) return 0;
  return ap20_WriteAt(file, 0, header, sizeof *header) &&
                 ap20_WriteAt(file, sizeof *header, directory, ap20a_directory_bytes(header))
             ? 1
             : 0;
}

// ---------------------------------------------------------------------------
// Native open and close

// Message 103 makes a new file only where there is none (or an empty one):
// a file that exists and is not a sound native file is refused, never
// written over.
uint32_t ap20a_OpenNative(AP20_FILE* file, const char* name, uint16_t expected_entries, uint16_t file_type,
                          uint16_t message) {
  if (file == nullptr) return AP20_NATIVE_FAILED;
  if (ap20_IsOpen(file)) ap20_Close(file);
  ap20_DropCopies(file);
  if (!ap20_SetFileName(file, nullptr, name)) return AP20_NATIVE_FAILED;
  const bool writing = message == AP20_MSG_OPEN_NATIVE;
  AP20_FILEHEADER header;
  uint32_t error = 0;
  const Probe probe = ap20a_probe(file, file->name, &header, &error);
  const bool absent = (probe == Probe::unreadable && error == ERROR_FILE_NOT_FOUND) || probe == Probe::empty;
  if (writing && absent) {
    if (!ap20a_create(file, file_type, expected_entries)) return AP20_NATIVE_FAILED;
  } else if (probe != Probe::native) {
    file->error = ap20a_refusal(probe, error);
    return AP20_NATIVE_FAILED;
  } else if (header.file_type != file_type) {
    file->error = AP20_ERROR_NOT_NATIVE;
    return AP20_NATIVE_FAILED;
  }
  if (!ap20_Open(file, writing ? AP20_MODE_READWRITE : AP20_MODE_READ)) return AP20_NATIVE_FAILED;
  if (ap20a_load(file)) return AP20_NATIVE_OPENED;
  ap20_Close(file);
  return AP20_NATIVE_FAILED;
}

uint16_t ap20a_CloseNative(AP20_FILE* file) {
  if (file == nullptr) return 0;
  ap20_DropCopies(file);
  if (ap20_IsOpen(file)) ap20_Close(file);
  return 1;
}

uint16_t ap20a_SaveOpenDirectory(AP20_FILE* file) {
  if (file == nullptr || file->header == nullptr || file->directory == nullptr) return 0;
  return ap20a_WriteDirectory(file, file->header, file->directory);
}

// A write-back that fails is reported: the file on disk then lacks the
// sections written since it was opened.
uint16_t ap20a_SaveNative(AP20_FILE* file) {
  if (file == nullptr || file->header == nullptr) return 0;
  const uint16_t saved = ap20a_SaveOpenDirectory(file);
  ap20a_CloseNative(file);
  return saved;
}

// ---------------------------------------------------------------------------
// Exported questions

APEXPORT uint16_t AP20_DoesFileExist(const char* name) {
  AP20_FILE* file = ap20_file(ap2_New_OBJ(AP20_CLASS_ID, nullptr));
  if (file == nullptr) return 0;
  const uint16_t exists = ap20_SetFileName(file, nullptr, name) ? ap20_Exists(file) : 0;
  ap20_Destroy(file, nullptr);
  return exists;
}

APEXPORT uint16_t AP20_DoesSectionExist(const char* name, uint16_t file_type, uint16_t section_type, uint16_t key2,
                                        uint32_t key3) {
  AP20_FILE* file = ap20_file(ap2_New_OBJ(AP20_CLASS_ID, nullptr));
  if (file == nullptr) return 0;
  uint16_t exists = 0;
  if (ap20a_OpenNative(file, name, 0, file_type, AP20_MSG_OPEN_NATIVE_READ) == AP20_NATIVE_OPENED)
    exists = ap20b_SectionOffset(file->header, file->directory, section_type, key2, key3) != 0 ? 1 : 0;
  ap20a_CloseNative(file);
  ap20_Destroy(file, nullptr);
  return exists;
}
