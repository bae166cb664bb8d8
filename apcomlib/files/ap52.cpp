// AP52 SPG_FILE: the format object of the native group file (file type 10),
// one file holding many spectra, each member's sections keyed by its
// member number.
//
// Owns the class's instance heap; an object holds nothing but its owner,
// the group-file object (ap51.cpp) that opened the file and created it, and
// every file operation goes to the owner's file part. It tells a group file
// by its header, counts the members, gives a member's title from its member
// record, tells whether a member holds a stored interferogram, converts the
// spectral header to and from the header blocks, and sizes a group file
// before it is written, so that the directory is large enough and a disk
// without room is found before anything is written. The group-file class
// sends it the group protocol.
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kCellsPerBlock = 10;
constexpr uint16_t kCellBytes = 8;
static_assert(sizeof(AP52_SPG_FILE) <= kCellBytes);
constexpr char kClassName[] = "AP52_SPG_FILE";
constexpr uint32_t kMagicField = 30;
constexpr uint32_t kFileTypeOffset = offsetof(AP20_FILEHEADER, file_type);

APX_CLASSREC* ap52_class() { return apx_class_record(AP52_CLASS_ID); }

AP52_SPG_FILE* ap52_format(const void* object) {
  auto* format = static_cast<AP52_SPG_FILE*>(const_cast<void*>(object));
  if (IsBadReadPtr(format, sizeof *format) || format->head.class_id != AP52_CLASS_ID) return nullptr;
  return format;
}

AP20_FILE* ap52_file(const AP52_SPG_FILE* format) {
  return format != nullptr ? ap20_FindFile(const_cast<AP52_SPG_FILE*>(format)) : nullptr;
}

AP2_OBJECT* ap52_root_part(const AP52_SPG_FILE* format) {
  AP20_FILE* file = ap52_file(format);
  return file != nullptr ? reinterpret_cast<AP2_OBJECT*>(file->head.parent) : nullptr;
}

AP52_SPG_FILE* ap52_create(AP_OBJECT* owner) {
  APX_CLASSREC* record = ap52_class();
  if (owner == nullptr) return nullptr;
  auto* format = static_cast<AP52_SPG_FILE*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (format == nullptr) return nullptr;
  format->head = AP_OBJECT{AP52_CLASS_ID, owner};
  ++record->live;
  ++record->created;
  return format;
}

uint16_t ap52_destroy(AP52_SPG_FILE* format) {
  if (format == nullptr) return 0;
  APX_CLASSREC* record = ap52_class();
  GU3_HeapRelease_MM(record->instance_heap, format);
  --record->live;
  return 1;
}

// A group file: the magic, without regard to letter case and ended by its
// NUL, and file type 10.
uint16_t ap52_format_test(AP52_SPG_FILE* format) {
  AP20_FILE* file = ap52_file(format);
  char magic[kMagicField];
  uint16_t file_type = 0;
  if (file == nullptr || !ap20_ReadAt(file, 0, magic, sizeof magic) ||
      !ap20_ReadAt(file, kFileTypeOffset, &file_type, sizeof file_type))
    return 0;
  return magic[AP20_MAGIC_LENGTH] == '\0' && strcasecmp(magic, AP20_MAGIC) == 0 && file_type == AP20_FILE_GROUP ? 1
                                                                                                                : 0;
}

// The file's header and directory, read afresh and freed with the scope.
struct Container {
  GU3_HANDLE header_block = nullptr;
  GU3_HANDLE directory_block = nullptr;
  AP20_FILEHEADER* header = nullptr;
  AP20_DIRENTRY* directory = nullptr;
  explicit Container(AP52_SPG_FILE* format) {
    if (format == nullptr) return;
    header_block = ap20a_ReadHeader(format);
    header = static_cast<AP20_FILEHEADER*>(GU3_GetPointer_MM(header_block, 0, nullptr, nullptr));
    if (header != nullptr) directory_block = ap20a_ReadDirectory(format, header);
    directory = static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(directory_block, 0, nullptr, nullptr));
  }
  ~Container() {
    GU3_Free_MM(header_block);
    GU3_Free_MM(directory_block);
  }
  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;
  bool whole() const { return header != nullptr && directory != nullptr && header->count > 0; }
};

// The member's title from its record: the key 3 of the first entry, the
// text cut to 255 characters.
uint16_t ap52_title(AP52_SPG_FILE* format, char* buffer, uint16_t member) {
  if (format == nullptr || IsBadWritePtr(buffer, AP20_TITLE_SIZE)) return 0;
  Container container(format);
  if (!container.whole()) return 0;
  uint32_t length = 0;
  GU3_HANDLE record_block = ap20b_ReadSection(format, container.header, container.directory, AP20_SECTION_MEMBER,
                                              member, container.directory[0].key3, &length);
  const auto* record = static_cast<const char*>(GU3_GetPointer_MM(record_block, 0, nullptr, nullptr));
  if (record == nullptr || length < AP52_OLD_MEMBER_RECORD) {
    GU3_Free_MM(record_block);
    return 0;
  }
  capobj_StrCopyN(record, buffer, AP20_TITLE_SIZE);
  GU3_Free_MM(record_block);
  return 1;
}

// Whether the member holds the descriptor of its stored sample (which not
// 0) or background interferogram.
uint16_t ap52_has_interferogram(AP52_SPG_FILE* format, uint16_t which, uint16_t member, uint32_t key3) {
  Container container(format);
  if (!container.whole()) return 0;
  const uint16_t type = which != 0 ? AP20_SECTION_SAMPLE_DESCRIPTOR : AP20_SECTION_BACKGROUND_DESCRIPTOR;
  return ap20b_HasSection(container.header, container.directory, type, member, key3, nullptr);
}

uint16_t ap52_write_object(AP52_SPG_FILE* format, void* target) {
  return format != nullptr && ap20_IsOpen(target) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Sizing

// Counts one section of the member: its bytes, one entry, and one more
// directory block whenever the entries outgrow the blocks counted so far.
void ap52_count_section(AP52_SIZING* sizing, uint64_t bytes) {
  sizing->bytes += bytes;
  ++sizing->entries;
  if (sizing->entries > sizing->blocks * AP20_ENTRIES_PER_BLOCK) {
    sizing->bytes += AP20_BLOCK_BYTES;
    ++sizing->blocks;
  }
}

uint32_t ap52_text_length(AP48_TEXT* text) {
  return text != nullptr ? GU2_DoMethod_MSG(AP48_MSG_LENGTH, text, nullptr) : 0;
}

bool ap52_has_header_text(const AP7_SPECTRUM* spectrum) {
  const AP41_SPECTRALHEADER* header = ap7b_GetHeader(spectrum);
  if (header == nullptr) return false;
  const AP41_HEADERDATA& data = header->data;
  return data.p49[0] != '\0' || data.p50[0] != '\0' || data.p51[0] != '\0' || data.p52[0] != '\0' ||
         data.p53[0] != '\0' || data.p54[0] != '\0';
}

uint32_t ap52_points(const AP7_SPECTRUM* spectrum) {
  uint32_t points = 0;
  return spectrum != nullptr && ap7a_GetPointCount(spectrum, &points) ? points : 0;
}

// A stored interferogram the member does not hold, fetched from the file
// its reference name names: a group member after ";", else a file whose
// format is detected. Null when there is none.
AP7_SPECTRUM* ap52_fetch_interferogram(const char* reference, uint16_t which) {
  char path[AP7_TEXT_FIELD];
  capobj_StrCopyN(reference, path, sizeof path);
  char* separator = std::strchr(path, ';');
  uint16_t class_id = 0;
  uint16_t result = 0;
  AP7_SPECTRUM* found = nullptr;
  if (separator != nullptr) {
    *separator = '\0';
    const uint16_t member = static_cast<uint16_t>(std::atoi(separator + 1));
    AP51_GROUP_FILE* group_file = ap51_Create(nullptr);
    if (group_file == nullptr) return nullptr;
    AP51_MEMBERIFGPARM parameter{which, member, 0};
    if (ap20_SetFileName(ap20_file(group_file->head.parent), nullptr, path) &&
        ap51_Open(group_file, AP20_MODE_READ, &class_id, &result))
      found = ap7a_spectrum(ap_result_object<AP_OBJECT>(
          AP51_Dispatcher_GROUP(group_file, AP51_MSG_READ_INTERFEROGRAM, &parameter)));
    ap51_Destroy(group_file, nullptr);
    return found;
  }
  AP21_SPECTRUM_FILE* spectrum_file = ap21_Create(nullptr);
  if (spectrum_file == nullptr) return nullptr;
  AP20_WORDPARM stored{which};
  if (ap20_SetFileName(ap20_file(spectrum_file->head.parent), nullptr, path) &&
      ap21_Open(spectrum_file, AP20_MODE_READ, &class_id, &result))
    found = ap7a_spectrum(ap_result_object<AP_OBJECT>(
        AP21_Dispatcher_SPECFL(spectrum_file, AP21_MSG_READ_INTERFEROGRAM, &stored)));
  ap21_Destroy(spectrum_file, nullptr);
  return found;
}

void ap52_count_interferogram(AP52_SIZING* sizing, const AP7_SPECTRUM* interferogram) {
  ap52_count_section(sizing, 4ull * ap52_points(interferogram));
  ap52_count_section(sizing, AP52_SIZE_INTERFEROGRAM_DESCRIPTOR);
}

// The stored interferograms of a member: those it holds, and, when its
// reference name is set, those it lacks from the file named there, counted
// and destroyed again.
void ap52_count_interferograms(AP52_SIZING* sizing, const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* held[2] = {spectrum->subSpectrumB, spectrum->subSpectrumA};
  const uint16_t which[2] = {AP21_SAMPLE, AP21_BACKGROUND};
  for (int i = 0; i < 2; ++i) {
    if (held[i] != nullptr) {
      ap52_count_interferogram(sizing, held[i]);
      continue;
    }
    if (spectrum->name[0] == '\0') continue;
    AP7_SPECTRUM* fetched = ap52_fetch_interferogram(spectrum->name, which[i]);
    if (fetched == nullptr) continue;
    ap52_count_interferogram(sizing, fetched);
    AP_WINDOWPARM none{nullptr, 0};
    GU2_DoMethod_MSG(AP_MSG_DESTROY, fetched, &none);
  }
}

// Every section the group write gives the member, the header texts
// included when the member has one.
void ap52_count_member(AP52_SIZING* sizing, const AP7_SPECTRUM* spectrum) {
  ap52_count_section(sizing, sizeof(AP20_HEADERBLOCK));
  ap52_count_section(sizing, sizeof(AP20_HEADEREXTENSION));
  if (ap52_has_header_text(spectrum)) ap52_count_section(sizing, sizeof(AP20_HEADERTEXTS));
  ap52_count_section(sizing, sizeof(AP52_MEMBERRECORD));
  ap52_count_section(sizing, AP52_SIZE_HISTORY_BITS);
  ap52_count_section(sizing, 4ull * ap52_points(spectrum));
  if (const uint32_t length = ap52_text_length(spectrum->history)) ap52_count_section(sizing, length);
  if (const uint32_t length = ap52_text_length(spectrum->comment)) ap52_count_section(sizing, length);
  const uint32_t records = spectrum->annotation != nullptr ? spectrum->annotation->records.count : 0;
  if (records > 0) ap52_count_section(sizing, uint64_t{AP52_SIZE_ANNOTATION_RECORD} * records + 4);
  if (spectrum->list != nullptr) {
    sizing->bytes += GU2_DoMethod_MSG(AP_MSG_SIZE, spectrum->list, nullptr);
    for (uint32_t i = 0; i < spectrum->list->members.count; ++i) ap52_count_section(sizing, 0);
  }
  ap52_count_interferograms(sizing, spectrum);
}

uint32_t ap52_block_size(uint16_t message) {
  switch (message) {
    case AP51_MSG_HAS_INTERFEROGRAM: return sizeof(AP51_MEMBERIFGPARM);
    case AP51_MSG_TITLE: return sizeof(AP51_TITLEPARM);
    case AP20_MSG_MAP_HEADER: return sizeof(AP20_HEADERMAPPARM);
    case AP20_MSG_SET_ERROR: return sizeof(AP20_WORDPARM);
    default: return 0;
  }
}

}  // namespace

// One directory block and its first entry to start with; a directory whose
// entries fill their blocks exactly gets one block more.
uint16_t ap52_SizeGroup(AP_OBJECT* list, uint64_t free_bytes, AP52_SIZING* sizing) {
  if (sizing == nullptr) return 0;
  *sizing = AP52_SIZING{sizeof(AP20_FILEHEADER) + AP20_BLOCK_BYTES, 1, 1};
  const uint32_t count = list != nullptr ? GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr) : 0;
  for (uint32_t i = 0; i < count; ++i) {
    AP40_INDEXPARM index{i};
    const AP7_SPECTRUM* spectrum = ap7a_spectrum(ap_result_object<AP_OBJECT>(
        GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &index)));
    if (spectrum == nullptr) return 0;
    ap52_count_member(sizing, spectrum);
    if (sizing->bytes > free_bytes) return 0;
  }
  if (sizing->entries % AP20_ENTRIES_PER_BLOCK == 0) {
    sizing->bytes += AP20_BLOCK_BYTES;
    ++sizing->blocks;
  }
  return sizing->blocks <= AP20_MAX_BLOCKS && sizing->bytes <= free_bytes ? 1 : 0;
}

uint32_t ap52_MemberCount(void* object) {
  AP52_SPG_FILE* format = ap52_format(object);
  Container container(format);
  if (!container.whole()) return 0;
  uint16_t count = 0;
  return ap20b_HasSection(container.header, container.directory, AP20_SECTION_HEADER, container.directory[0].key2,
                          container.directory[0].key3, &count)
             ? count
             : 0;
}

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap52_InitClass(uint16_t class_id) {
  if (class_id != AP52_CLASS_ID) return 0;
  APX_CLASSREC* record = ap52_class();
  record->live = 0;
  record->created = 0;
  record->instance_heap = GU3_MakeCellHeap_MM(kCellsPerBlock, kCellBytes, GU3_KIND_GLOBAL, "AP52");
  return record->instance_heap != nullptr ? 1 : 0;
}

uint16_t ap52_TermClass(uint16_t class_id) {
  if (class_id != AP52_CLASS_ID) return 0;
  APX_CLASSREC* record = ap52_class();
  const uint16_t freed = GU3_Free_MM(record->instance_heap);
  record->instance_heap = nullptr;
  return freed;
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP52_Dispatcher_SPG(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap52_block_size(message))) return 0;
  AP52_SPG_FILE* format = message == AP_MSG_CREATE || message == AP_MSG_NEW ? nullptr : ap52_format(object);
  AP2_OBJECT* root = ap52_root_part(format);
  AP20_FILE* file = ap52_file(format);
  const auto* has = static_cast<const AP51_MEMBERIFGPARM*>(parameter);
  const auto* title = static_cast<const AP51_TITLEPARM*>(parameter);
  const auto* map = static_cast<const AP20_HEADERMAPPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT:        return root != nullptr ? AP2_Dispatcher_OBJ(root, message, parameter) : 0;
    case AP_MSG_CREATE:
    case AP_MSG_NEW:                     return ap_object_result(ap52_create(static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_INIT:                    return format != nullptr ? 1 : 0;
    case AP_MSG_DESTROY:                 return ap52_destroy(format);
    case AP_MSG_SIZE:                    return format != nullptr ? kCellBytes : 0;
    case AP_MSG_CLASS_NAME:              return format != nullptr ? ap2_copy_class_name(static_cast<char*>(parameter), kClassName) : 0;
    case AP_MSG_WRITE:                   return ap52_write_object(format, parameter);
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
    case AP20_MSG_SET_ERROR:             return file != nullptr ? AP20_Dispatcher_FILE(file, message, parameter) : 0;
    case AP21_FORMAT_TEST:               return ap52_format_test(format);
    case AP51_MSG_HAS_INTERFEROGRAM:     return ap52_has_interferogram(format, has->which, has->member, has->key3);
    case AP51_MSG_TITLE:                 return ap52_title(format, title->buffer, title->member);
    case AP20_MSG_MAP_HEADER:            return format != nullptr ? ap20d_MapHeader(map->header, map->file_header, map->block, map->extension, map->direction) : 0;
    case AP51_MSG_MEMBER_COUNT:          return ap52_MemberCount(format);
    default:                             return 0;
  }
}
