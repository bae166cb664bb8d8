// AP45 COMBINED_FILE: the format object of the native single-spectrum file
// (file type 1).
//
// Owns the class's instance heap; an object holds nothing but its owner,
// the spectrum-file object that opened the file and created it, and every
// file operation goes to the owner's file part. It tells a single-spectrum
// file by its header, reads a whole spectrum from the file and writes one
// (header blocks with the title in the file header, history, comment,
// annotations, Y values, attached items), reads and writes the stored sample
// and background interferograms, and gives the title of the file header.
// The spectrum-file class (ap21.cpp) sends it the format protocol; the
// spectrum header reader and writer send it message 71.
#include <cstring>
#include <strings.h>

#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kCellsPerBlock = 10;
constexpr uint16_t kCellBytes = 8;
static_assert(sizeof(AP45_COMBINED_FILE) <= kCellBytes);
constexpr char kClassName[] = "AP45_COMBINED_FILE";
constexpr uint32_t kMagicField = 30;
constexpr uint32_t kTitleOffset = offsetof(AP20_FILEHEADER, title);
constexpr uint32_t kFileTypeOffset = offsetof(AP20_FILEHEADER, file_type);

APX_CLASSREC* ap45_class() { return apx_class_record(AP45_CLASS_ID); }

AP45_COMBINED_FILE* ap45_format(const void* object) {
  auto* format = static_cast<AP45_COMBINED_FILE*>(const_cast<void*>(object));
  if (IsBadReadPtr(format, sizeof *format) || format->head.class_id != AP45_CLASS_ID) return nullptr;
  return format;
}

AP20_FILE* ap45_file(const AP45_COMBINED_FILE* format) {
  return format != nullptr ? ap20_FindFile(const_cast<AP45_COMBINED_FILE*>(format)) : nullptr;
}

AP2_OBJECT* ap45_root_part(const AP45_COMBINED_FILE* format) {
  AP20_FILE* file = ap45_file(format);
  return file != nullptr ? reinterpret_cast<AP2_OBJECT*>(file->head.parent) : nullptr;
}

AP45_COMBINED_FILE* ap45_create(AP_OBJECT* owner) {
  APX_CLASSREC* record = ap45_class();
  if (owner == nullptr) return nullptr;
  auto* format = static_cast<AP45_COMBINED_FILE*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (format == nullptr) return nullptr;
  format->head = AP_OBJECT{AP45_CLASS_ID, owner};
  ++record->live;
  ++record->created;
  return format;
}

uint16_t ap45_destroy(AP45_COMBINED_FILE* format) {
  if (format == nullptr) return 0;
  APX_CLASSREC* record = ap45_class();
  GU3_HeapRelease_MM(record->instance_heap, format);
  --record->live;
  return 1;
}

// A single-spectrum file: the magic, without regard to letter case and
// ended by its NUL, and file type 1.
uint16_t ap45_format_test(AP45_COMBINED_FILE* format) {
  AP20_FILE* file = ap45_file(format);
  char magic[kMagicField];
  uint16_t file_type = 0;
  if (file == nullptr || !ap20_ReadAt(file, 0, magic, sizeof magic) ||
      !ap20_ReadAt(file, kFileTypeOffset, &file_type, sizeof file_type))
    return 0;
  return magic[AP20_MAGIC_LENGTH] == '\0' && strcasecmp(magic, AP20_MAGIC) == 0 && file_type == AP20_FILE_SPECTRUM
             ? 1
             : 0;
}

// The title field of the file header, cut to 255 characters; the file
// position is put back.
uint16_t ap45_title(AP45_COMBINED_FILE* format, char* buffer) {
  AP20_FILE* file = ap45_file(format);
  if (file == nullptr || IsBadWritePtr(buffer, AP20_TITLE_SIZE)) return 0;
  const uint32_t position = ap20_GetPosition(file);
  char title[AP20_TITLE_SIZE];
  if (position == 0xFFFFFFFF || !ap20_ReadAt(file, kTitleOffset, title, sizeof title)) return 0;
  capobj_StrCopyN(title, buffer, AP20_TITLE_SIZE);
  return ap20_Seek(file, static_cast<int32_t>(position), FILE_BEGIN);
}

// The header blocks, and the spectrum title in the file header's title
// field.
uint16_t ap45_map_header(AP41_SPECTRALHEADER* header, AP20_FILEHEADER* file_header, AP20_HEADERBLOCK* block,
                         AP20_HEADEREXTENSION* extension, uint16_t direction) {
  if (!ap20d_MapHeader(header, file_header, block, extension, direction)) return 0;
  if (direction == AP20_HEADER_TO_BLOCKS) {
    capobj_StrCopyN(header->data.title, file_header->title, AP20_TITLE_SIZE);
    return 1;
  }
  char title[AP20_TITLE_SIZE];
  capobj_StrCopyN(file_header->title, title, AP20_TITLE_SIZE);
  return GU2_SetParmValue_MSG(header, AP41_TITLE, title) != 0 ? 1 : 0;
}

// Whether the file holds the descriptor of the stored sample (which not 0)
// or background interferogram under the keys of its first entry.
uint16_t ap45_has_interferogram(AP45_COMBINED_FILE* format, uint16_t which, uint32_t* stored) {
  if (format == nullptr || IsBadWritePtr(stored, sizeof *stored)) return 0;
  *stored = 0;
  GU3_HANDLE header_block = ap20a_ReadHeader(format);
  auto* header = static_cast<AP20_FILEHEADER*>(GU3_GetPointer_MM(header_block, 0, nullptr, nullptr));
  GU3_HANDLE directory_block = header != nullptr ? ap20a_ReadDirectory(format, header) : nullptr;
  auto* directory = static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(directory_block, 0, nullptr, nullptr));
  const uint16_t type = which != 0 ? AP20_SECTION_SAMPLE_DESCRIPTOR : AP20_SECTION_BACKGROUND_DESCRIPTOR;
  const uint16_t found = directory != nullptr && ap20b_HasSection(header, directory, type, directory[0].key2,
                                                                   directory[0].key3, nullptr);
  GU3_Free_MM(header_block);
  GU3_Free_MM(directory_block);
  return found;
}

uint32_t ap45_block_size(uint16_t message) {
  switch (message) {
    case AP21_FORMAT_READ_INTERFEROGRAM: return sizeof(AP21_WHICHPARM);
    case AP21_FORMAT_WRITE_INTERFEROGRAM: return sizeof(AP21_WRITEIFGPARM);
    case AP21_FORMAT_HAS_INTERFEROGRAM: return sizeof(AP21_HASIFGPARM);
    case AP20_MSG_MAP_HEADER: return sizeof(AP20_HEADERMAPPARM);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap45_InitClass(uint16_t class_id) {
  if (class_id != AP45_CLASS_ID) return 0;
  APX_CLASSREC* record = ap45_class();
  record->live = 0;
  record->created = 0;
  record->instance_heap = GU3_MakeCellHeap_MM(kCellsPerBlock, kCellBytes, GU3_KIND_GLOBAL, "AP45");
  return record->instance_heap != nullptr ? 1 : 0;
}

uint16_t ap45_TermClass(uint16_t class_id) {
  if (class_id != AP45_CLASS_ID) return 0;
  APX_CLASSREC* record = ap45_class();
  const uint16_t freed = GU3_Free_MM(record->instance_heap);
  record->instance_heap = nullptr;
  return freed;
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP45_Dispatcher_COMBINE(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap45_block_size(message))) return 0;
  AP45_COMBINED_FILE* format =
      message == AP_MSG_CREATE || message == AP_MSG_NEW ? nullptr : ap45_format(object);
  AP2_OBJECT* root = ap45_root_part(format);
  AP20_FILE* file = ap45_file(format);
  const auto* has = static_cast<const AP21_HASIFGPARM*>(parameter);
  const auto* map = static_cast<const AP20_HEADERMAPPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT:        return root != nullptr ? AP2_Dispatcher_OBJ(root, message, parameter) : 0;
    case AP_MSG_CREATE:
    case AP_MSG_NEW:                     return ap_object_result(ap45_create(static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_INIT:                    return format != nullptr ? 1 : 0;
    case AP_MSG_DESTROY:                 return ap45_destroy(format);
    case AP_MSG_SIZE:                    return format != nullptr ? kCellBytes : 0;
    case AP_MSG_CLASS_NAME:              return format != nullptr ? ap2_copy_class_name(static_cast<char*>(parameter), kClassName) : 0;
    case AP_MSG_WRITE:                   return format != nullptr ? 1 : 0;
    case AP21_MSG_DELETE:                return format != nullptr ? GU2_DoMethod_MSG(AP21_MSG_DELETE, format->head.parent, nullptr) : 0;
    case AP20_MSG_RENAME:
    case AP20_MSG_REWIND:
    case AP20_MSG_SEEK:
    case AP20_MSG_SEEK_END:
    case AP20_MSG_READ:
    case AP20_MSG_WRITE:
    case AP20_MSG_RESERVE:
    case AP20_MSG_COMPARE:
    case AP20_MSG_IS_OPEN:
    case AP20_MSG_LAST_ERROR:
    case AP20_MSG_SET_NAME:
    case AP20_MSG_READ_TOKEN:
    case AP20_MSG_GET_NAME:
    case AP20_MSG_FILE_SIZE:
    case AP20_MSG_POSITION:
    case AP20_MSG_OPEN_MODE:
    case AP20_MSG_REOPEN:
    case AP20_MSG_SPLIT_NAME:
    case AP20_MSG_FILE_PART:             return file != nullptr ? AP20_Dispatcher_FILE(file, message, parameter) : 0;
    case AP21_FORMAT_TEST:               return ap45_format_test(format);
    case AP21_FORMAT_HAS_INTERFEROGRAM:  return ap45_has_interferogram(format, has->which, has->stored);
    case AP21_FORMAT_TITLE:              return ap45_title(format, static_cast<char*>(parameter));
    case AP20_MSG_MAP_HEADER:            return format != nullptr ? ap45_map_header(map->header, map->file_header, map->block, map->extension, map->direction) : 0;
    default:                             return 0;
  }
}
