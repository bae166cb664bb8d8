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

#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

static_assert(sizeof(AP45_COMBINED_FILE) <= AP21_FORMAT_CELL_BYTES);
constexpr char kClassName[] = "AP45_COMBINED_FILE";
constexpr uint32_t kTitleOffset = offsetof(AP20_FILEHEADER, title);

AP45_COMBINED_FILE* ap45_format(const void* object) {
  return reinterpret_cast<AP45_COMBINED_FILE*>(ap21_FormatOfClass(object, AP45_CLASS_ID));
}

// The title field of the file header, cut to 255 characters; the file
// position is put back.
uint16_t ap45_title(AP45_COMBINED_FILE* format, char* buffer) {
  AP20_FILE* file = ap21_FormatFile(format);
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

// The header and directory of the owner's file, freed with the scope.
struct FileDirectory {
  ap20_owned_block header_block;
  ap20_owned_block directory_block{nullptr};
  explicit FileDirectory(AP45_COMBINED_FILE* format) : header_block(ap20a_ReadHeader(format)) {
    if (header() != nullptr) directory_block.handle = ap20a_ReadDirectory(format, header());
  }
  AP20_FILEHEADER* header() const { return static_cast<AP20_FILEHEADER*>(header_block.data()); }
  AP20_DIRENTRY* directory() const { return static_cast<AP20_DIRENTRY*>(directory_block.data()); }
};

// The attached items, sections 130: from the first in the directory, each
// next one the first that follows the entry carrying the key 2 just
// visited, as many as there are. An item of a class without a dispatcher,
// or one that cannot be read, is passed over.
void ap45_read_items(AP45_COMBINED_FILE* format, AP7_SPECTRUM* spectrum, AP20_FILEHEADER* header,
                     AP20_DIRENTRY* directory) {
  uint16_t sections = 0;
  if (!ap20b_HasSection(header, directory, AP20_SECTION_ATTACHED, 0, 0, &sections)) return;
  const int32_t count = ap20a_EntryCount(header);
  auto next_item = [&](int32_t after) {
    for (int32_t index = after + 1; index < count; ++index) {
      if (directory[index].type == AP20_SECTION_ATTACHED) return index;
    }
    return count;
  };
  int32_t at = next_item(-1);
  for (uint16_t visited = 0; visited < sections && at < count; ++visited) {
    AP_OBJECT* item = ap20f_ReadObjectAt(ap21_FormatFile(format), directory[at].offset);
    if (item != nullptr && item->class_id == AP20_SECTION_ATTACHED) {
      AP45_ITEMPARM parameter{format, header, directory};
      GU2_DoMethod_MSG(AP45_MSG_ITEM_READ, item, &parameter);
    }
    ap20f_AttachItem(spectrum, item);
    int32_t carrier = 0;
    while (carrier < count && !(directory[carrier].type == AP20_SECTION_ATTACHED &&
                                directory[carrier].key2 == directory[at].key2))
      ++carrier;
    at = next_item(carrier);
  }
}

// Every step must succeed, in this order; the spectrum goes on the first
// failure. The Y data lies under the keys of the first entry, and the name
// flags tell whether stored interferograms lie beside it.
AP_OBJECT* ap45_read(AP45_COMBINED_FILE* format) {
  if (format == nullptr) return nullptr;
  FileDirectory file(format);
  AP20_FILEHEADER* header = file.header();
  AP20_DIRENTRY* directory = file.directory();
  if (directory == nullptr) return nullptr;
  const uint16_t key2 = directory[0].key2;
  const uint32_t key3 = directory[0].key3;
  AP7_SPECTRUM* spectrum = AP20_HeaderRead_FILE(format, header, directory, key2, 0);
  if (spectrum == nullptr) return nullptr;
  auto* object = reinterpret_cast<AP_OBJECT*>(spectrum);
  const uint16_t background =
      ap20b_HasSection(header, directory, AP20_SECTION_BACKGROUND_DESCRIPTOR, key2, key3, nullptr);
  const uint16_t sample = ap20b_HasSection(header, directory, AP20_SECTION_SAMPLE_DESCRIPTOR, key2, key3, nullptr);
  if (!AP20_HistoryRead_FILE(format, object, header, directory, key2, 0) ||
      !ap20e_ReadComment(format, object, header, directory, key2, 0) ||
      !ap20e_ReadAnnotations(format, object, header, directory, key2, 0) ||
      !AP20_DataRead_FILE(format, object, header, directory, key2, key3, background, sample)) {
    ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  ap45_read_items(format, spectrum, header, directory);
  ap34_MakeAbsolute_ANTATN(spectrum->annotation, spectrum);
  return object;
}

// One section 130 per member of the spectrum's list, key 2 its index; the
// answer is that of the last item (0 after a failure, which ends the walk).
uint16_t ap45_write_items(AP45_COMBINED_FILE* format, AP7_SPECTRUM* spectrum, AP20_FILEHEADER* header,
                          GU3_HANDLE* directory) {
  auto* list = reinterpret_cast<AP_OBJECT*>(spectrum->list);
  const uint32_t count = list != nullptr ? GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr) : 0;
  // Key 2 numbers the items: no more of them than it can tell apart.
  if (count > UINT16_MAX + 1u) return 0;
  uint16_t result = 1;
  for (uint32_t index = 0; index < count; ++index) {
    AP40_INDEXPARM at{index};
    auto* item = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at));
    uint32_t length = 0;
    ap20_owned_block section(ap20f_ItemStream(item, &length));
    if (section.data() == nullptr ||
        !ap20b_WriteSection(format, header, directory, AP20_SECTION_ATTACHED, length, section.handle, 1,
                            static_cast<uint16_t>(index), 0, 1, nullptr))
      return 0;
    result = 1;
    if (item->class_id == AP20_SECTION_ATTACHED) {
      AP45_ITEMPARM parameter{format, header,
                              static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(*directory, 0, nullptr, nullptr))};
      result = GU2_DoMethod_MSG(AP45_MSG_ITEM_WRITTEN, item, &parameter) != 0 ? 1 : 0;
    }
  }
  return result;
}

// A new header of file type 1 with one directory block, written first with
// an empty directory and last with every section in it. The file is not
// cleared here: the spectrum-file class rewinds and truncates it before.
uint16_t ap45_write(AP45_COMBINED_FILE* format, AP_OBJECT* spectrum_object) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP20_FILE* file = ap21_FormatFile(format);
  if (spectrum == nullptr || file == nullptr) return 0;
  ap20_owned_block header_block(GU3_Allocate_MM(1, sizeof(AP20_FILEHEADER), GU3_KIND_GLOBAL));
  ap20_owned_block directory_block(GU3_Allocate_MM(AP20_ENTRIES_PER_BLOCK, sizeof(AP20_DIRENTRY), GU3_KIND_GLOBAL));
  auto* header = static_cast<AP20_FILEHEADER*>(header_block.data());
  if (header == nullptr || directory_block.data() == nullptr) return 0;
  ap20a_InitHeader(header, AP20_FILE_SPECTRUM, 1);
  // A spectrum with many attached items needs more than one block.
  ap20_SetGrowth(file, 1);
  GU3_HANDLE* directory = &directory_block.handle;
  auto current = [&]() { return static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(*directory, 0, nullptr, nullptr)); };
  return ap20a_WriteDirectory(format, header, current()) &&
                 AP20_HeaderWrite_FILE(format, spectrum_object, header, directory, 0, 0, 0) &&
                 ap20e_WriteHistory(format, spectrum_object, header, directory, 0, 0, 0) &&
                 ap20e_WriteComment(format, spectrum_object, header, directory, 0, 0, 0) &&
                 ap20e_WriteAnnotations(format, spectrum_object, header, directory, 0, 0, 0) &&
                 AP20_DataWriteEx_FILE(format, spectrum_object, header, directory, 0, 0, 0, 0) &&
                 ap45_write_items(format, spectrum, header, directory) &&
                 ap20a_WriteDirectory(format, header, current())
             ? 1
             : 0;
}

// The stored sample (which 1) or background interferogram as a new
// spectrum, its header from the file's header sections.
AP_OBJECT* ap45_read_interferogram(AP45_COMBINED_FILE* format, uint16_t which) {
  if (format == nullptr) return nullptr;
  FileDirectory file(format);
  if (file.directory() == nullptr) return nullptr;
  const uint16_t key2 = file.directory()[0].key2;
  AP7_SPECTRUM* spectrum = AP20_HeaderRead_FILE(format, file.header(), file.directory(), key2, 0);
  if (spectrum == nullptr) return nullptr;
  return reinterpret_cast<AP_OBJECT*>(ap20f_ReadInterferogram(format, spectrum, which == AP21_SAMPLE ? 1 : 0,
                                                              file.header(), file.directory(), key2, 0));
}

uint16_t ap45_write_interferogram(AP45_COMBINED_FILE* format, uint16_t which, AP_OBJECT* interferogram) {
  AP20_FILE* file = ap21_FormatFile(format);
  if (file == nullptr) return 0;
  ap20_SetGrowth(file, 1);
  return ap20f_WriteInterferogram(format, interferogram, which == AP21_SAMPLE ? 1 : 0, 0, 0);
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
  return apx_InitInstanceHeap(class_id, AP21_FORMAT_CELLS_PER_BLOCK, AP21_FORMAT_CELL_BYTES, "AP45");
}

uint16_t ap45_TermClass(uint16_t class_id) {
  if (class_id != AP45_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP45_Dispatcher_COMBINE(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap45_block_size(message))) return 0;
  AP45_COMBINED_FILE* format =
      message == AP_MSG_CREATE || message == AP_MSG_NEW ? nullptr : ap45_format(object);
  const auto* has = static_cast<const AP21_HASIFGPARM*>(parameter);
  const auto* which = static_cast<const AP21_WHICHPARM*>(parameter);
  const auto* stored = static_cast<const AP21_WRITEIFGPARM*>(parameter);
  const auto* map = static_cast<const AP20_HEADERMAPPARM*>(parameter);
  switch (message) {
    case AP_MSG_WRITE:                   return format != nullptr ? 1 : 0;
    case AP20_MSG_FILE_PART:             return ap20_ToFilePart(ap21_FormatFile(format), message, parameter);
    case AP21_FORMAT_READ:               return ap_object_result(ap45_read(format));
    case AP21_FORMAT_WRITE:              return ap45_write(format, static_cast<AP_OBJECT*>(parameter));
    case AP21_FORMAT_TEST:               return ap21_IsNativeOfType(ap21_FormatFile(format), AP20_FILE_SPECTRUM);
    case AP21_FORMAT_READ_INTERFEROGRAM: return ap_object_result(ap45_read_interferogram(format, which->which));
    case AP21_FORMAT_WRITE_INTERFEROGRAM: return ap45_write_interferogram(format, stored->which, stored->spectrum);
    case AP21_FORMAT_HAS_INTERFEROGRAM:  return ap45_has_interferogram(format, has->which, has->stored);
    case AP21_FORMAT_TITLE:              return ap45_title(format, static_cast<char*>(parameter));
    case AP20_MSG_MAP_HEADER:            return format != nullptr ? ap45_map_header(map->header, map->file_header, map->block, map->extension, map->direction) : 0;
    default:                             return ap21_FormatMessage(format, AP45_CLASS_ID, kClassName, message, parameter);
  }
}
