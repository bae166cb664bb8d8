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
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/files.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

static_assert(sizeof(AP52_SPG_FILE) <= AP21_FORMAT_CELL_BYTES);
constexpr char kClassName[] = "AP52_SPG_FILE";

AP52_SPG_FILE* ap52_format(const void* object) {
  return reinterpret_cast<AP52_SPG_FILE*>(ap21_FormatOfClass(object, AP52_CLASS_ID));
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

void ap52_count_interferogram(AP52_SIZING* sizing, const AP7_SPECTRUM* interferogram) {
  ap52_count_section(sizing, 4ull * ap52_points(interferogram));
  ap52_count_section(sizing, AP52_SIZE_INTERFEROGRAM_DESCRIPTOR);
}

// The stored interferograms of a member: those it holds, and, when its
// reference name is set, those it lacks from the file named there, counted
// and destroyed again.
void ap52_count_interferograms(AP52_SIZING* sizing, const AP7_SPECTRUM* spectrum) {
  if (spectrum->subSpectrumA != nullptr) ap52_count_interferogram(sizing, spectrum->subSpectrumA);
  if (spectrum->subSpectrumB != nullptr) ap52_count_interferogram(sizing, spectrum->subSpectrumB);
  if (spectrum->name[0] == '\0' || (spectrum->subSpectrumA != nullptr && spectrum->subSpectrumB != nullptr)) return;
  char reference[AP7_TEXT_FIELD];
  capobj_StrCopyN(spectrum->name, reference, sizeof reference);
  const int32_t member = ap21_CutMember(reference);
  const AP21_STORED fetched =
      ap21_ReadStored(reference, member, spectrum->subSpectrumA == nullptr, spectrum->subSpectrumB == nullptr);
  for (AP7_SPECTRUM* interferogram : {fetched.background, fetched.sample}) {
    if (interferogram == nullptr) continue;
    ap52_count_interferogram(sizing, interferogram);
    ap7a_Delete(interferogram, nullptr);
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

// ---------------------------------------------------------------------------
// Writing a group

// The member record: title, collection time and header parameter 48.
uint16_t ap52_write_record(AP52_SPG_FILE* format, const AP7_SPECTRUM* spectrum, AP20_FILEHEADER* header,
                           GU3_HANDLE* directory, uint16_t member) {
  const AP41_SPECTRALHEADER* spectral = ap7b_GetHeader(spectrum);
  if (spectral == nullptr) return 0;
  ap20_owned_block block(GU3_Allocate_MM(1, sizeof(AP52_MEMBERRECORD), GU3_KIND_GLOBAL));
  auto* record = static_cast<AP52_MEMBERRECORD*>(block.data());
  if (record == nullptr) return 0;
  capobj_StrCopyN(spectral->data.title, record->title, AP20_TITLE_SIZE);
  record->time = spectral->data.time;
  record->p48 = spectral->data.p48;
  return ap20b_WriteSection(format, header, directory, AP20_SECTION_MEMBER, sizeof *record, block.handle, 1, member,
                            0, 1, nullptr);
}

// The attached items of a member, each a section 130 keyed (member, item
// number).
uint16_t ap52_write_items(AP52_SPG_FILE* format, AP7_SPECTRUM* spectrum, AP20_FILEHEADER* header,
                          GU3_HANDLE* directory, uint16_t member) {
  spectrum->groupIndex = member;
  auto* list = reinterpret_cast<AP_OBJECT*>(spectrum->list);
  const uint32_t count = list != nullptr ? GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr) : 0;
  for (uint32_t index = 0; index < count; ++index) {
    AP40_INDEXPARM at{index};
    auto* item = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at));
    uint32_t length = 0;
    ap20_owned_block section(ap20f_ItemStream(item, &length));
    if (section.data() == nullptr ||
        !ap20b_WriteSection(format, header, directory, AP20_SECTION_ATTACHED, length, section.handle, 1, member,
                            index, 1, nullptr))
      return 0;
  }
  return 1;
}

// Every section of one member, keyed by its number, in the order of the
// format.
uint16_t ap52_write_member(AP52_SPG_FILE* format, AP_OBJECT* object, AP20_FILEHEADER* header,
                           GU3_HANDLE* directory, uint16_t member) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(object);
  return spectrum != nullptr && AP20_HeaderWrite_FILE(format, object, header, directory, member, 0, 1) &&
                 ap52_write_record(format, spectrum, header, directory, member) &&
                 ap20e_WriteHistory(format, object, header, directory, member, 0, 1) &&
                 ap20e_WriteComment(format, object, header, directory, member, 0, 1) &&
                 ap20e_WriteAnnotations(format, object, header, directory, member, 0, 1) &&
                 AP20_DataWriteEx_FILE(format, object, header, directory, member, 0, 1, 1) &&
                 ap52_write_items(format, spectrum, header, directory, member)
             ? 1
             : 0;
}

// The bytes of every member's values.
uint64_t ap52_values_bytes(AP_OBJECT* list) {
  uint64_t bytes = 0;
  const uint32_t count = GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr);
  for (uint32_t member = 0; member < count; ++member) {
    AP40_INDEXPARM at{member};
    const auto* spectrum = ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at)));
    if (spectrum != nullptr) bytes += 4ull * ap52_points(spectrum);
  }
  return bytes;
}

// The file is sized first: a disk without room for it gets error 5000
// before a byte is written. The header (titled with the file's own name)
// and the directory are written first and again when every member is in.
uint16_t ap52_write_group(AP52_SPG_FILE* format, AP_OBJECT* list) {
  AP20_FILE* file = ap21_FormatFile(format);
  if (file == nullptr || list == nullptr) return 0;
  char drive[3], folder[AP20_TITLE_SIZE], base[AP20_TITLE_SIZE], extension[AP20_TITLE_SIZE];
  if (!ap20c_SplitName(file, nullptr, drive, folder, base, extension)) return 0;
  AP52_SIZING sizing{};
  if (!ap52_SizeGroup(list, GU4_GetDiskFreeSpace(file->name), &sizing)) {
    ap20_SetFileError(file, AP20_ERROR_DISK_FULL);
    return 0;
  }
  ap20_owned_block header_block(GU3_Allocate_MM(1, sizeof(AP20_FILEHEADER), GU3_KIND_GLOBAL));
  ap20_owned_block directory_block(
      GU3_Allocate_MM(sizing.blocks * AP20_ENTRIES_PER_BLOCK, sizeof(AP20_DIRENTRY), GU3_KIND_GLOBAL));
  auto* header = static_cast<AP20_FILEHEADER*>(header_block.data());
  if (header == nullptr || directory_block.data() == nullptr) return 0;
  ap20a_InitHeader(header, AP20_FILE_GROUP, static_cast<uint16_t>(sizing.blocks));
  // The file's own name and extension, cut to the field.
  std::string title = std::string(base) + extension;
  capobj_StrCopyN(title.c_str(), header->title, AP20_TITLE_SIZE);
  // Should the estimate fall short, the directory grows rather than fail.
  ap20_SetGrowth(file, 1);
  GU3_HANDLE* directory = &directory_block.handle;
  const ap20_indexed_directory indexed(header, directory);
  // Each member is half a dozen small sections and its values, one after
  // another at the end of the file, which holds at least every member's values.
  platform::WriteGathering gathered(file->handle);
  platform::reserve_file_space(file->handle, ap52_values_bytes(list));
  auto current = [&]() { return static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(*directory, 0, nullptr, nullptr)); };
  if (!ap20a_WriteDirectory(format, header, current())) return 0;
  const uint32_t count = GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr);
  if (count > AP20_NO_KEY2) return 0;
  for (uint32_t member = 0; member < count; ++member) {
    AP40_INDEXPARM at{member};
    auto* spectrum = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at));
    if (!ap52_write_member(format, spectrum, header, directory, static_cast<uint16_t>(member))) return 0;
  }
  return ap20a_WriteDirectory(format, header, current()) && gathered.finish() ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Reading members

// The member's header sections and record: the title always, the two
// words of the record only from version 521 on. Null without a record.
AP7_SPECTRUM* ap52_read_head(AP52_SPG_FILE* format, const Container& container, uint16_t member) {
  AP7_SPECTRUM* spectrum = AP20_HeaderRead_FILE(format, container.header, container.directory, member, 0);
  if (spectrum == nullptr) return nullptr;
  uint32_t length = 0;
  ap20_owned_block block(ap20b_ReadSection(format, container.header, container.directory, AP20_SECTION_MEMBER,
                                           member, 0, &length));
  const auto* record = static_cast<const AP52_MEMBERRECORD*>(block.data());
  char title[AP20_TITLE_SIZE] = {};
  if (record != nullptr) capobj_StrCopyN(record->title, title, std::min<uint32_t>(length + 1, AP20_TITLE_SIZE));
  uint32_t time = record != nullptr && length >= sizeof *record ? record->time : 0;
  uint32_t p48 = record != nullptr && length >= sizeof *record ? record->p48 : 0;
  const bool words = container.header->version >= AP20_VERSION && length >= sizeof *record;
  if (record == nullptr || !GU2_SetParmValue_MSG(spectrum->header, AP41_TITLE, title) ||
      (words && (!GU2_SetParmValue_MSG(spectrum->header, AP41_TIME, &time) ||
                 !GU2_SetParmValue_MSG(spectrum->header, AP41_P48, &p48)))) {
    ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  return spectrum;
}

// The attached items (member, n) for n from 0 while one is there; items of
// classes without a dispatcher are passed over.
void ap52_read_items(AP52_SPG_FILE* format, AP7_SPECTRUM* spectrum, const Container& container, uint16_t member) {
  uint16_t sections = 0;
  if (!ap20b_HasSection(container.header, container.directory, AP20_SECTION_ATTACHED, member, 0, &sections)) return;
  for (uint32_t n = 0; n < sections; ++n) {
    const uint32_t offset =
        ap20b_SectionOffset(container.header, container.directory, AP20_SECTION_ATTACHED, member, n);
    if (offset == 0) return;
    ap20f_AttachItem(spectrum, ap20f_ReadObjectAt(ap21_FormatFile(format), offset));
  }
}

AP7_SPECTRUM* ap52_read_member(AP52_SPG_FILE* format, const Container& container, uint16_t member) {
  AP7_SPECTRUM* spectrum = ap52_read_head(format, container, member);
  if (spectrum == nullptr) return nullptr;
  auto* object = reinterpret_cast<AP_OBJECT*>(spectrum);
  AP20_FILEHEADER* header = container.header;
  AP20_DIRENTRY* directory = container.directory;
  const uint16_t background =
      ap20b_HasSection(header, directory, AP20_SECTION_BACKGROUND_DESCRIPTOR, member, 0, nullptr);
  const uint16_t sample = ap20b_HasSection(header, directory, AP20_SECTION_SAMPLE_DESCRIPTOR, member, 0, nullptr);
  if (!AP20_HistoryRead_FILE(format, object, header, directory, member, 0) ||
      !ap20e_ReadComment(format, object, header, directory, member, 0) ||
      !ap20e_ReadAnnotations(format, object, header, directory, member, 0) ||
      !AP20_DataRead_FILE(format, object, header, directory, member, 0, background, sample)) {
    ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  ap52_read_items(format, spectrum, container, member);
  if (background || sample) {
    char reference[AP7_TEXT_FIELD];
    const int written = std::snprintf(reference, sizeof reference, "%s;%d", ap21_FormatFile(format)->name, member);
    if (written < 0 || written >= static_cast<int>(sizeof reference) ||
        !ap7b_SetNameAndSubSpectra(spectrum, reference, nullptr, nullptr)) {
      ap7a_Delete(spectrum, nullptr);
      return nullptr;
    }
  }
  return spectrum;
}

AP_OBJECT* ap52_read_one(AP52_SPG_FILE* format, uint32_t member) {
  Container container(format);
  if (!container.whole() || member >= ap52_MemberCount(format)) return nullptr;
  return reinterpret_cast<AP_OBJECT*>(ap52_read_member(format, container, static_cast<uint16_t>(member)));
}

// Members first..last into a new list; a range given backwards is turned
// round, and 65535 or more asks for the whole file.
AP_OBJECT* ap52_read_range(AP52_SPG_FILE* format, uint32_t first, uint32_t last) {
  const uint32_t count = ap52_MemberCount(format);
  if (first < 0xFFFF && last < 0xFFFF && first > last) std::swap(first, last);
  if (first >= 0xFFFF || last > 0xFFFE) {
    first = 0;
    last = count - 1;
  }
  if (count == 0 || first >= count) return nullptr;
  last = std::min(last, count - 1);
  Container container(format);
  AP40_LLIST* list = ap40_New_LLIST(nullptr, 0xFFFF);
  if (list == nullptr || !container.whole()) {
    if (list != nullptr) ap40_Destroy_LLIST(list, nullptr, 1);
    return nullptr;
  }
  for (uint32_t member = first; member <= last; ++member) {
    AP7_SPECTRUM* spectrum = ap52_read_member(format, container, static_cast<uint16_t>(member));
    if (spectrum == nullptr || ap40_Add_LLIST(list, reinterpret_cast<AP_OBJECT*>(spectrum)) == AP40_NO_INDEX) {
      if (spectrum != nullptr) ap7a_Delete(spectrum, nullptr);
      ap40_Destroy_LLIST(list, nullptr, 1);
      return nullptr;
    }
  }
  return &list->head;
}

AP_OBJECT* ap52_read_interferogram(AP52_SPG_FILE* format, uint16_t which, uint16_t member, uint32_t key3) {
  Container container(format);
  if (!container.whole()) return nullptr;
  AP7_SPECTRUM* spectrum = ap52_read_head(format, container, member);
  if (spectrum == nullptr) return nullptr;
  return reinterpret_cast<AP_OBJECT*>(ap20f_ReadInterferogram(format, spectrum, which == AP21_SAMPLE ? 1 : 0,
                                                              container.header, container.directory, member, key3));
}

uint16_t ap52_write_interferogram(AP52_SPG_FILE* format, uint16_t which, AP_OBJECT* interferogram, uint16_t member,
                                  uint32_t key3) {
  AP20_FILE* file = ap21_FormatFile(format);
  if (file == nullptr) return 0;
  ap20_SetGrowth(file, 1);
  return ap20f_WriteInterferogram(format, interferogram, which == AP21_SAMPLE ? 1 : 0, member, key3);
}

uint32_t ap52_block_size(uint16_t message) {
  switch (message) {
    case AP51_MSG_READ_RANGE: return sizeof(AP51_RANGEPARM);
    case AP51_MSG_READ_INTERFEROGRAM:
    case AP51_MSG_HAS_INTERFEROGRAM: return sizeof(AP51_IFGPARM);
    case AP51_MSG_WRITE_INTERFEROGRAM: return sizeof(AP51_WRITEIFGPARM);
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
  return apx_InitInstanceHeap(class_id, AP21_FORMAT_CELLS_PER_BLOCK, AP21_FORMAT_CELL_BYTES, "AP52");
}

uint16_t ap52_TermClass(uint16_t class_id) {
  if (class_id != AP52_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP52_Dispatcher_SPG(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap52_block_size(message))) return 0;
  AP52_SPG_FILE* format = message == AP_MSG_CREATE || message == AP_MSG_NEW ? nullptr : ap52_format(object);
  const auto* has = static_cast<const AP51_IFGPARM*>(parameter);
  const auto* title = static_cast<const AP51_TITLEPARM*>(parameter);
  const auto* map = static_cast<const AP20_HEADERMAPPARM*>(parameter);
  const auto* range = static_cast<const AP51_RANGEPARM*>(parameter);
  const auto* stored = static_cast<const AP51_WRITEIFGPARM*>(parameter);
  switch (message) {
    case AP_MSG_WRITE:                   return ap52_write_object(format, parameter);
    case AP20_MSG_SET_ERROR:             return ap20_ToFilePart(ap21_FormatFile(format), message, parameter);
    case AP21_FORMAT_TEST:               return ap21_IsNativeOfType(ap21_FormatFile(format), AP20_FILE_GROUP);
    case AP51_MSG_HAS_INTERFEROGRAM:     return ap52_has_interferogram(format, has->which, has->member, has->key3);
    case AP51_MSG_TITLE:                 return ap52_title(format, title->buffer, title->member);
    case AP20_MSG_MAP_HEADER:            return format != nullptr ? ap20d_MapHeader(map->header, map->file_header, map->block, map->extension, map->direction) : 0;
    case AP51_MSG_MEMBER_COUNT:          return ap52_MemberCount(format);
    case AP51_MSG_READ_RANGE:            return ap_object_result(ap52_read_range(format, range->first, range->last));
    case AP51_MSG_SAVE_GROUP:                  return ap52_write_group(format, static_cast<AP_OBJECT*>(parameter));
    case AP51_MSG_READ_INTERFEROGRAM:    return ap_object_result(ap52_read_interferogram(format, has->which, has->member, has->key3));
    case AP51_MSG_WRITE_INTERFEROGRAM:   return ap52_write_interferogram(format, stored->which, stored->spectrum, stored->member, stored->key3);
    case AP51_MSG_READ_MEMBER:           return ap_object_result(ap52_read_one(format, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter))));
    default:                             return ap21_FormatMessage(format, AP52_CLASS_ID, kClassName, message, parameter);
  }
}
