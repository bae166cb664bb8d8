// Stored interferograms and attached objects of a spectrum in a native
// file.
//
// An interferogram (the sample or the background a spectrum was computed
// from) is kept as a descriptor section and a section of its values, first
// point first; reading one fills a spectrum with the interferogram's header
// values and data. Attached objects are the members of a spectrum's object
// list, each stored as its own stream: in sections 130, 182, 183, ... for a
// whole spectrum, or one by one as sections 130 keyed by class and sub-kind
// (messages 86 to 90, 108, 109). Every object read from a file is made by
// its class's own reader (message 17) at the section's start. The file
// object's dispatcher and the whole-spectrum and format operations call it.
#include <cstring>

#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr char kBackgroundPrefix[] = "Bkg ";
constexpr uint32_t kClassShift = 16;
constexpr uint32_t kSubKindMask = 0xFFFF;
// Classes counted by message 86.
constexpr uint16_t kFirstClass = 1;

struct IfgSections {
  uint16_t descriptor;
  uint16_t data;
};

IfgSections ap20f_sections(uint16_t sample) {
  return sample != 0 ? IfgSections{AP20_SECTION_SAMPLE_DESCRIPTOR, AP20_SECTION_SAMPLE_DATA}
                     : IfgSections{AP20_SECTION_BACKGROUND_DESCRIPTOR, AP20_SECTION_BACKGROUND_DATA};
}

// The header and directory of the open file read afresh: the file is
// reopened read-only for it and then in its former mode, a create mode
// becoming write, so that nothing written before is cut.
struct FreshDirectory {
  ap20_owned_block header_block{nullptr};
  ap20_owned_block directory_block{nullptr};
  explicit FreshDirectory(AP20_FILE* file) {
    const uint16_t former = ap20_GetOpenMode(file);
    if (former == 0 || !ap20_Reopen(file, AP20_MODE_READ)) return;
    header_block.handle = ap20a_ReadHeader(file);
    if (header() != nullptr) directory_block.handle = ap20a_ReadDirectory(file, header());
    if (!ap20_Reopen(file, former)) {
      GU3_Free_MM(directory_block.release());
      GU3_Free_MM(header_block.release());
    }
  }
  AP20_FILEHEADER* header() const { return static_cast<AP20_FILEHEADER*>(header_block.data()); }
  bool read() const { return directory_block.data() != nullptr; }
};

// The class of an attached object's section: key 3's upper half, or the
// section's first word when key 3 names none; its sub-kind: key 3's lower
// half, or the word at offset 2 when that is 0.
bool ap20f_class_of(AP20_FILE* file, const AP20_DIRENTRY& entry, uint16_t* class_id, uint16_t* sub_kind) {
  uint16_t head[2] = {};
  const bool needs_head = entry.key3 < (1u << kClassShift) || (entry.key3 & kSubKindMask) == 0;
  if (needs_head && (entry.length < sizeof head || !ap20_ReadAt(file, entry.offset, head, sizeof head))) return false;
  *class_id = entry.key3 >= (1u << kClassShift) ? static_cast<uint16_t>(entry.key3 >> kClassShift) : head[0];
  *sub_kind = (entry.key3 & kSubKindMask) != 0 ? static_cast<uint16_t>(entry.key3 & kSubKindMask) : head[1];
  return true;
}

// The section type of the n-th attached object: 130, then 182, 183, ...;
// 0 beyond the last type.
uint16_t ap20f_attached_type(uint32_t n) {
  if (n == 0) return AP20_SECTION_ATTACHED;
  const uint32_t type = AP20_SECTION_ATTACHED_NEXT + n - 1;
  return type <= UINT16_MAX ? static_cast<uint16_t>(type) : 0;
}

uint32_t ap20f_list_count(AP_OBJECT* list) {
  return list != nullptr ? GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr) : 0;
}

AP_OBJECT* ap20f_list_member(AP_OBJECT* list, uint32_t index) {
  AP40_INDEXPARM at{index};
  return ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at));
}

// Visits the attached objects of the open file one by one, by key 2 from
// 0 up to the number of sections 130, and reads those of the class and
// sub-kind: the n-th one when n is given, else each into the list.
AP_OBJECT* ap20f_visit_attached(AP20_FILE* file, AP20_FILEHEADER* header, AP20_DIRENTRY* directory,
                                uint16_t class_id, uint16_t sub_kind, const uint16_t* n, AP_OBJECT* list) {
  uint16_t sections = 0;
  ap20b_HasSection(header, directory, AP20_SECTION_ATTACHED, 0, 0, &sections);
  uint16_t seen = 0;
  for (uint32_t key2 = 0; key2 < sections; ++key2) {
    const int32_t count = ap20a_EntryCount(header);
    const AP20_DIRENTRY* entry = nullptr;
    for (int32_t index = 0; index < count && entry == nullptr; ++index) {
      if (directory[index].type == AP20_SECTION_ATTACHED && directory[index].key2 == key2) entry = &directory[index];
    }
    uint16_t entry_class = 0;
    uint16_t entry_sub_kind = 0;
    if (entry == nullptr || !ap20f_class_of(file, *entry, &entry_class, &entry_sub_kind) ||
        entry_class != class_id || entry_sub_kind != sub_kind)
      continue;
    if (n != nullptr && seen++ != *n) continue;
    AP_OBJECT* object = ap20f_ReadObjectAt(file, entry->offset);
    if (n != nullptr) return object;
    if (object != nullptr && ap40_Add_LLIST(reinterpret_cast<AP40_LLIST*>(list), object) == AP40_NO_INDEX)
      ap20_DestroyObject(object);
  }
  return n != nullptr ? nullptr : list;
}

}  // namespace

AP_OBJECT* ap20f_ReadObjectAt(AP20_FILE* file, uint32_t offset) {
  uint16_t class_id = 0;
  if (!ap20_ReadAt(file, offset, &class_id, sizeof class_id) || !GU2_IsValidClassID_MSG(class_id) ||
      !ap20_Seek(file, static_cast<int32_t>(offset), FILE_BEGIN))
    return nullptr;
  AP_READPARM read{&file->head, 1};
  return ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_READ, &class_id, &read));
}

GU3_HANDLE ap20f_ItemStream(AP_OBJECT* item, uint32_t* length) {
  const uint16_t class_id = gu2_ClassIdOf(item);
  const uint32_t size = class_id != 0 ? GU2_DoMethod_MSG(AP13_MSG_GET_DATA_SIZE, item, nullptr) : 0;
  const auto* data = ap_result_object<const uint8_t>(GU2_DoMethod_MSG(AP13_MSG_GET_DATA_PTR, item, nullptr));
  if (class_id == 0 || data == nullptr || IsBadReadPtr(data, size) || size > UINT32_MAX - AP20_ATTACHED_HEAD)
    return nullptr;
  GU3_HANDLE block = GU3_Allocate_MM(size + AP20_ATTACHED_HEAD, 1, GU3_KIND_GLOBAL);
  auto* bytes = static_cast<uint8_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (bytes == nullptr) return nullptr;
  std::memcpy(bytes, &class_id, sizeof class_id);
  std::memcpy(bytes + sizeof class_id, &size, sizeof size);
  std::memcpy(bytes + AP20_ATTACHED_HEAD, data, size);
  *length = size + AP20_ATTACHED_HEAD;
  return block;
}

// ---------------------------------------------------------------------------
// Stored interferograms

uint16_t ap20f_WriteInterferogram(void* object, AP_OBJECT* interferogram, uint16_t sample, uint16_t key2,
                                  uint32_t key3) {
  AP20_FILE* file = ap20_FindFile(object);
  AP7_SPECTRUM* spectrum = ap7a_spectrum(interferogram);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  GU3_HANDLE values = ap7b_GetDataHandle(spectrum);
  if (file == nullptr || record == nullptr || !ap20_IsOpen(file)) return 0;
  const uint64_t held = uint64_t{GU3_NumElements_MM(values)} * GU3_LenElements_MM(values);
  const uint64_t length = uint64_t{record->points} * sizeof(float);
  if (length > held) return 0;
  FreshDirectory fresh(file);
  if (!fresh.read()) return 0;
  ap20_owned_block descriptor(GU3_Allocate_MM(1, sizeof(AP20_IFGDESCRIPTOR), GU3_KIND_GLOBAL));
  auto* fields = static_cast<AP20_IFGDESCRIPTOR*>(descriptor.data());
  if (fields == nullptr) return 0;
  *fields = AP20_IFGDESCRIPTOR{record->points, record->NumScans, record->p39,
                               record->p30,    record->FinalPeakPos, record->LaserFreq};
  const IfgSections sections = ap20f_sections(sample);
  return ap20b_WriteSection(object, fresh.header(), &fresh.directory_block.handle, sections.data,
                            static_cast<uint32_t>(length), values, 1, key2, key3, 1, nullptr) &&
                 ap20b_WriteSection(object, fresh.header(), &fresh.directory_block.handle, sections.descriptor,
                                    sizeof(AP20_IFGDESCRIPTOR), descriptor.handle, 1, key2, key3, 1, nullptr) &&
                 ap20a_WriteDirectory(object, fresh.header(),
                                      static_cast<AP20_DIRENTRY*>(fresh.directory_block.data()))
             ? 1
             : 0;
}

namespace {

bool ap20f_fill_interferogram(void* object, AP7_SPECTRUM* target, uint16_t sample, AP20_FILEHEADER* header,
                              AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3) {
  AP41_HEADERDATA* record = ap7a_record(target);
  if (record == nullptr) return false;
  const IfgSections sections = ap20f_sections(sample);
  AP20_IFGDESCRIPTOR descriptor{};
  uint16_t index = 0;
  if (!ap20b_ReadSectionInto(object, header, directory, sections.descriptor, key2, key3, &descriptor, &index))
    return false;
  uint32_t length = 0;
  ap20_owned_block stored(ap20b_ReadSection(object, header, directory, sections.data, key2, key3, &length));
  const uint32_t points = descriptor.points;
  if (stored.data() == nullptr || points == 0 || points > length / sizeof(float)) return false;
  ap20_owned_block values(GU3_Allocate_MM(points, sizeof(float), GU3_KIND_GLOBAL));
  if (values.data() == nullptr) return false;
  std::memcpy(values.data(), stored.data(), points * sizeof(float));
  const float last_x = static_cast<float>(static_cast<double>(points) - 1.0);
  {
    ap20_change_bracket change(target->header);
    if (!change.begun) return false;
    record->NumScans = descriptor.NumScans;
    record->p39 = descriptor.p39;
    record->p30 = descriptor.p30;
    record->FinalPeakPos = descriptor.FinalPeakPos;
    if (descriptor.LaserFreq > 0.0f) record->LaserFreq = descriptor.LaserFreq;
    record->x_units = AP41_XUNITS_POINTS;
    record->y_units = AP41_YUNITS_INTERFEROGRAM;
    record->history[0] = 0;
    record->history[1] = 0;
    if (sample == 0) {
      char title[AP20_TITLE_SIZE];
      capobj_StrCopyN(kBackgroundPrefix, title, AP20_TITLE_SIZE);
      std::strncat(title, record->title, AP20_TITLE_SIZE - 1 - std::strlen(title));
      std::memcpy(record->title, title, AP20_TITLE_SIZE);
    }
  }
  if (!ap7b_SetDataHandle(target, 0.0f, last_x, points, values.handle)) return false;
  values.release();
  return true;
}

}  // namespace

AP7_SPECTRUM* ap20f_ReadInterferogram(void* object, AP7_SPECTRUM* target, uint16_t sample, AP20_FILEHEADER* header,
                                      AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3) {
  if (ap7a_spectrum(target) == nullptr) return nullptr;
  if (ap20f_fill_interferogram(object, target, sample, header, directory, key2, key3)) return target;
  ap7a_Delete(target, nullptr);
  return nullptr;
}

// ---------------------------------------------------------------------------
// Attached objects of a whole spectrum

// Each member writes its own stream; the first failure ends the writing.
uint16_t ap20f_WriteAttached(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                             GU3_HANDLE* directory, uint16_t key2, uint32_t key3) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  if (spectrum == nullptr) return 0;
  auto* list = reinterpret_cast<AP_OBJECT*>(spectrum->list);
  const uint32_t count = ap20f_list_count(list);
  for (uint32_t index = 0; index < count; ++index) {
    const uint16_t type = ap20f_attached_type(index);
    AP_OBJECT* member = ap20f_list_member(list, index);
    if (type == 0 || member == nullptr ||
        !ap20b_WriteSection(object, header, directory, type, 0, nullptr, 1, key2, key3, 1, member))
      return 0;
  }
  return 1;
}

// One section per type until a type is missing; objects of a class
// without a dispatcher are passed over.
uint16_t ap20f_ReadAttached(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                            AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP20_FILE* file = ap20_FindFile(object);
  if (spectrum == nullptr || file == nullptr) return 0;
  for (uint32_t n = 0;; ++n) {
    const uint16_t type = ap20f_attached_type(n);
    const uint32_t offset = type != 0 ? ap20b_SectionOffset(header, directory, type, key2, key3) : 0;
    if (offset == 0) return 1;
    ap20f_AttachItem(spectrum, ap20f_ReadObjectAt(file, offset));
  }
}

void ap20f_AttachItem(AP7_SPECTRUM* spectrum, AP_OBJECT* item) {
  if (item != nullptr && (spectrum->list == nullptr || ap40_Add_LLIST(spectrum->list, item) == AP40_NO_INDEX))
    ap20_DestroyObject(item);
}

// ---------------------------------------------------------------------------
// Attached objects one by one (sections 130 keyed by class and sub-kind)

GU3_HANDLE ap20f_AttachedClasses(AP20_FILE* file) {
  if (file == nullptr || file->header == nullptr) return nullptr;
  const int32_t count = ap20a_EntryCount(file->header);
  uint16_t counts[AP_CLASS_LIMIT] = {};
  uint32_t classes = 0;
  for (int32_t index = 0; index < count; ++index) {
    uint16_t class_id = 0;
    uint16_t sub_kind = 0;
    const AP20_DIRENTRY& entry = file->directory[index];
    if (entry.type != AP20_SECTION_ATTACHED || !ap20f_class_of(file, entry, &class_id, &sub_kind) ||
        class_id < kFirstClass || class_id >= AP_CLASS_LIMIT)
      continue;
    if (counts[class_id]++ == 0) ++classes;
  }
  if (classes == 0) return nullptr;
  GU3_HANDLE block = GU3_Allocate_MM(classes * 2, sizeof(uint16_t), GU3_KIND_GLOBAL);
  auto* pairs = static_cast<uint16_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (pairs == nullptr) return nullptr;
  for (uint16_t class_id = kFirstClass; class_id < AP_CLASS_LIMIT; ++class_id) {
    if (counts[class_id] == 0) continue;
    *pairs++ = class_id;
    *pairs++ = counts[class_id];
  }
  return block;
}

AP_OBJECT* ap20f_ReadAttachedNth(AP20_FILE* file, uint16_t class_id, uint16_t sub_kind, uint16_t n,
                                 AP20_FILEHEADER* header, AP20_DIRENTRY* directory) {
  if (file == nullptr) return nullptr;
  ap20_owned_block header_block(nullptr);
  ap20_owned_block directory_block(nullptr);
  if (header == nullptr || directory == nullptr) {
    header_block.handle = ap20a_ReadHeader(file);
    header = static_cast<AP20_FILEHEADER*>(header_block.data());
    if (header != nullptr) directory_block.handle = ap20a_ReadDirectory(file, header);
    directory = static_cast<AP20_DIRENTRY*>(directory_block.data());
    if (directory == nullptr) return nullptr;
  }
  if (ap20a_EntryCount(header) < 0) return nullptr;
  return ap20f_visit_attached(file, header, directory, class_id, sub_kind, &n, nullptr);
}

// Key 2 one above the highest of the sections 130; key 3 the class and, on
// request, the first word of the object's data as its sub-kind.
uint16_t ap20f_WriteAttachedObject(void* object, AP_OBJECT* item, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                                   uint16_t take_sub_kind) {
  // The handle may lie in a packed record (the file object's own copy).
  GU3_HANDLE directory_block = nullptr;
  if (!IsBadReadPtr(directory, sizeof *directory)) std::memcpy(&directory_block, directory, sizeof directory_block);
  auto* entries = static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(directory_block, 0, nullptr, nullptr));
  uint32_t length = 0;
  ap20_owned_block section(ap20f_ItemStream(item, &length));
  const auto* bytes = static_cast<const uint8_t*>(section.data());
  if (entries == nullptr || bytes == nullptr || (take_sub_kind && length < AP20_ATTACHED_HEAD + sizeof(uint16_t)))
    return 0;
  uint16_t sections = 0;
  ap20b_HasSection(header, entries, AP20_SECTION_ATTACHED, 0, 0, &sections);
  const uint16_t key2 =
      sections != 0 ? static_cast<uint16_t>(ap20b_HighestKey2(header, entries, AP20_SECTION_ATTACHED) + 1) : 0;
  uint16_t class_id = 0;
  uint16_t sub_kind = 0;
  std::memcpy(&class_id, bytes, sizeof class_id);
  if (take_sub_kind) std::memcpy(&sub_kind, bytes + AP20_ATTACHED_HEAD, sizeof sub_kind);
  const uint32_t key3 = (uint32_t{class_id} << kClassShift) + sub_kind;
  return ap20b_WriteSection(object, header, directory, AP20_SECTION_ATTACHED, length, section.handle, 1, key2, key3,
                            1, nullptr);
}

AP_OBJECT* ap20f_ReadAttachedAll(AP20_FILE* file, uint16_t class_id, uint16_t sub_kind, AP_OBJECT* list) {
  if (file == nullptr || file->header == nullptr || ap20a_EntryCount(file->header) < 0) return nullptr;
  AP_OBJECT* target = list != nullptr ? list : reinterpret_cast<AP_OBJECT*>(ap40_New_LLIST(nullptr, AP40_NO_KEY));
  if (target == nullptr) return nullptr;
  return ap20f_visit_attached(file, file->header, file->directory, class_id, sub_kind, nullptr, target);
}

uint16_t ap20f_WriteAttachedList(void* object, AP_OBJECT* list, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                                 uint16_t take_sub_kind) {
  const uint32_t count = ap20f_list_count(list);
  for (uint32_t index = 0; index < count; ++index) {
    if (!ap20f_WriteAttachedObject(object, ap20f_list_member(list, index), header, directory, take_sub_kind))
      return 0;
  }
  return 1;
}

// The entry with exactly these keys, or one with key 3 0 whose section
// starts with the class and whose key 2 is the lower half of key 3.
AP_OBJECT* ap20f_ReadAttachedKeyed(AP20_FILE* file, uint16_t key2, uint32_t key3) {
  if (file == nullptr || file->header == nullptr || key3 < (1u << kClassShift)) return nullptr;
  const int32_t count = ap20a_EntryCount(file->header);
  const auto class_id = static_cast<uint16_t>(key3 >> kClassShift);
  for (int32_t index = 0; index < count; ++index) {
    const AP20_DIRENTRY& entry = file->directory[index];
    if (entry.type != AP20_SECTION_ATTACHED) continue;
    uint16_t first = 0;
    const bool exact = entry.key2 == key2 && entry.key3 == key3;
    const bool by_content = entry.key3 == 0 && entry.key2 == (key3 & kSubKindMask) && entry.length >= sizeof first &&
                            ap20_ReadAt(file, entry.offset, &first, sizeof first) && first == class_id;
    if (exact || by_content) return ap20f_ReadObjectAt(file, entry.offset);
  }
  return nullptr;
}

uint16_t ap20f_WriteAttachedKeyed(AP20_FILE* file, AP_OBJECT* item, uint16_t key2, uint32_t key3) {
  if (file == nullptr || file->header == nullptr || item == nullptr) return 0;
  return ap20b_WriteSection(file, file->header, &file->directory_block, AP20_SECTION_ATTACHED, 0, nullptr, 1, key2,
                            key3, 1, item);
}
