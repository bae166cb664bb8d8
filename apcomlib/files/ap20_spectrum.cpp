// Spectrum file I/O: one spectrum between memory and the sections of a
// native file.
//
// Reads and writes a spectrum's header sections (through message 71 to the
// object the caller names, so that a format class adds its own part of the
// file header), its Y values (stored last point first except for an
// interferogram), its history bits and text, its comment lines, its
// annotations in the short or the extended form and its member record, and
// runs them in their fixed order for a whole spectrum. Every length read
// from a file is checked against what the layout needs before a byte is
// taken. The file object's dispatcher routes messages 94 to 97, 106, 107
// and 117 here; the single-spectrum and group formats call the operations
// directly. Stored interferograms and attached objects are in
// ap20_attached.cpp.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "array/array.h"
#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr char kLineBreak[] = "\r\n";
// Flags of the annotation records a file keeps, and of those that ask for
// the extended form.
constexpr uint16_t kPairFlags = AP34_FLAG_SECOND_POINT | AP34_FLAG_THIRD_POINT | AP34_FLAG_THIRD_POINT_ALT;
constexpr uint32_t kPairBytes = 8;
// Flags of an annotation record in a file of version 100 or older.
constexpr uint16_t kOldAnnotationFlags = 1;
constexpr uint32_t kAnnotationCount = sizeof(uint32_t);

// The six texts of the header and their fields in the texts section.
struct TextField {
  size_t record;
  size_t section;
  size_t size;
};
#define AP20E_TEXT(field) \
  TextField { offsetof(AP41_HEADERDATA, field), offsetof(AP20_HEADERTEXTS, field), sizeof(AP20_HEADERTEXTS::field) }
constexpr TextField kTexts[] = {AP20E_TEXT(p49), AP20E_TEXT(p50), AP20E_TEXT(p51),
                                AP20E_TEXT(p52), AP20E_TEXT(p53), AP20E_TEXT(p54)};
#undef AP20E_TEXT
// The texts an older texts section holds.
constexpr size_t kOldTexts = 2;
static_assert(offsetof(AP20_HEADERTEXTS, p51) == AP20_OLD_HEADER_TEXTS);

// Labels the annotation writer took from the list, each a copy of its own,
// removed from the string space when the scope ends.
struct TakenRecords {
  ap20_owned_block block;
  uint32_t count = 0;
  explicit TakenRecords(uint32_t capacity)
      : block(GU3_Allocate_MM(std::max(capacity, 1u), sizeof(AP34_ANNOTREC), GU3_KIND_GLOBAL)) {}
  ~TakenRecords() {
    for (uint32_t index = 0; index < count; ++index) GU3_RemoveString(records()[index].label);
  }
  TakenRecords(const TakenRecords&) = delete;
  TakenRecords& operator=(const TakenRecords&) = delete;
  AP34_ANNOTREC* records() const { return static_cast<AP34_ANNOTREC*>(block.data()); }
};

template <typename T>
T ap20e_load(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
uint8_t* ap20e_store(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
  return at + sizeof value;
}

void ap20e_damaged(void* object) { ap20_SetError(ap20_FindFile(object), AP20_ERROR_DAMAGED); }

AP41_SPECTRALHEADER* ap20e_header_of(AP_OBJECT* object) {
  if (AP7_SPECTRUM* spectrum = ap7a_spectrum(object)) return ap41_header(spectrum->header);
  return ap41_header(object);
}

bool ap20e_has(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2, uint32_t key3) {
  return ap20b_HasSection(header, directory, type, key2, key3, nullptr) != 0;
}

// A new zero-filled block of that many bytes.
GU3_HANDLE ap20e_bytes(uint32_t length) { return GU3_Allocate_MM(std::max(length, 1u), 1, GU3_KIND_GLOBAL); }

uint8_t* ap20e_data(GU3_HANDLE block) { return static_cast<uint8_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr)); }

uint16_t ap20e_write(void* object, AP20_FILEHEADER* header, GU3_HANDLE* directory, uint16_t type, uint32_t length,
                     GU3_HANDLE data, uint16_t keyed, uint16_t key2, uint32_t key3) {
  return ap20b_WriteSection(object, header, directory, type, length, data, keyed, key2, key3, 1, nullptr);
}

// The text of a section as a terminated copy: a file's section need not
// hold the NUL it should end with.
GU3_HANDLE ap20e_read_text(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                           uint16_t key2, uint32_t key3) {
  uint32_t length = 0;
  ap20_owned_block section(ap20b_ReadSection(object, header, directory, type, key2, key3, &length));
  if (section.data() == nullptr) return nullptr;
  GU3_HANDLE text = ap20e_bytes(length + 1);
  if (uint8_t* bytes = ap20e_data(text)) std::memcpy(bytes, section.data(), length);
  return text;
}

// ---------------------------------------------------------------------------
// Header texts

void ap20e_take_texts(AP41_HEADERDATA& record, const uint8_t* section, size_t texts) {
  for (size_t index = 0; index < std::size(kTexts); ++index) {
    char* text = reinterpret_cast<char*>(&record) + kTexts[index].record;
    if (index < texts) {
      capobj_StrCopyN(reinterpret_cast<const char*>(section) + kTexts[index].section, text,
                      static_cast<int32_t>(kTexts[index].size));
    } else {
      text[0] = '\0';
    }
  }
}

// Section 146: absent, all six texts empty; of the older 128 bytes, the
// first two; of 728 bytes or more, all six. Any other length is refused.
bool ap20e_read_texts(void* object, AP41_SPECTRALHEADER* header, AP20_FILEHEADER* file_header,
                      AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3) {
  uint32_t length = 0;
  ap20_owned_block section(nullptr);
  if (ap20e_has(file_header, directory, AP20_SECTION_HEADER_TEXTS, key2, key3)) {
    section.handle = ap20b_ReadSection(object, file_header, directory, AP20_SECTION_HEADER_TEXTS, key2, key3, &length);
    if (section.data() == nullptr) return false;
    if (length != AP20_OLD_HEADER_TEXTS && length < sizeof(AP20_HEADERTEXTS)) {
      ap20e_damaged(object);
      return false;
    }
  }
  const size_t texts = section.data() == nullptr ? 0 : length == AP20_OLD_HEADER_TEXTS ? kOldTexts : std::size(kTexts);
  ap20_change_bracket change(header);
  if (!change.begun) return false;
  ap20e_take_texts(header->data, static_cast<const uint8_t*>(section.data()), texts);
  return true;
}

bool ap20e_has_texts(const AP41_HEADERDATA& record) {
  for (const TextField& field : kTexts) {
    if (reinterpret_cast<const char*>(&record)[field.record] != '\0') return true;
  }
  return false;
}

uint16_t ap20e_write_texts(void* object, const AP41_HEADERDATA& record, AP20_FILEHEADER* header,
                           GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed) {
  ap20_owned_block section(ap20e_bytes(sizeof(AP20_HEADERTEXTS)));
  auto* bytes = static_cast<char*>(section.data());
  if (bytes == nullptr) return 0;
  for (const TextField& field : kTexts)
    capobj_StrCopyN(reinterpret_cast<const char*>(&record) + field.record, bytes + field.section,
                    static_cast<int32_t>(field.size));
  return ap20e_write(object, header, directory, AP20_SECTION_HEADER_TEXTS, sizeof(AP20_HEADERTEXTS), section.handle,
                     keyed, key2, key3);
}

// Sections 2 and 106 through message 71 to the object, then the texts.
bool ap20e_read_header(void* object, AP7_SPECTRUM* spectrum, AP20_FILEHEADER* header, AP20_DIRENTRY* directory,
                       uint16_t key2, uint32_t key3) {
  ap20_owned_block section(ap20b_ReadSection(object, header, directory, AP20_SECTION_HEADER, key2, key3, nullptr));
  if (section.data() == nullptr) return false;
  AP20_HEADERBLOCK block;
  std::memcpy(&block, section.data(), sizeof block);
  AP20_HEADEREXTENSION extension{};
  if (ap20e_has(header, directory, AP20_SECTION_HEADER_EXTENSION, key2, key3)) {
    ap20_owned_block stored(
        ap20b_ReadSection(object, header, directory, AP20_SECTION_HEADER_EXTENSION, key2, key3, nullptr));
    if (stored.data() == nullptr) return false;
    std::memcpy(&extension, stored.data(), sizeof extension);
  } else {
    extension.HPF = AP1_GetNaNSG_MATH();
    extension.LPF = AP1_GetNaNSG_MATH();
    extension.Velocity = AP1_GetNaNSG_MATH();
    extension.Gain = 1.0f;
  }
  AP20_HEADERMAPPARM map{spectrum->header, header, &block, &extension, AP20_BLOCKS_TO_HEADER};
  if (GU2_DoMethod_MSG(AP20_MSG_MAP_HEADER, object, &map) == 0) return false;
  return ap20e_read_texts(object, spectrum->header, header, directory, key2, key3);
}

// ---------------------------------------------------------------------------
// Y values

// Stored last point first, except an interferogram's.
void ap20e_copy_values(float* to, const float* from, uint32_t count, bool in_order) {
  if (in_order) {
    std::copy(from, from + count, to);
  } else {
    std::reverse_copy(from, from + count, to);
  }
}

void ap20e_take_name(void* object, AP7_SPECTRUM* spectrum) {
  if (AP20_FILE* file = ap20_FindFile(object))
    ap7b_SetNameAndSubSpectra(spectrum, file->name, spectrum->subSpectrumA, spectrum->subSpectrumB);
}

// ---------------------------------------------------------------------------
// Comment

// A line break of the text (CR LF, a bare LF or a bare CR) and its length
// at `at`, 0 for any other character.
size_t ap20e_line_break(const char* at) {
  if (at[0] == '\r' && at[1] == '\n') return 2;
  return at[0] == '\r' || at[0] == '\n' ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Annotations

struct AnnotationForm {
  uint16_t type;
  bool extended;
  bool flags_stored;
};

// The bytes of a pair block that the flags ask for.
uint32_t ap20e_pair_bytes(uint16_t flags) {
  uint32_t bytes = (flags & AP34_FLAG_SECOND_POINT) ? kPairBytes : 0;
  if (flags & (AP34_FLAG_THIRD_POINT | AP34_FLAG_THIRD_POINT_ALT)) bytes += kPairBytes;
  return bytes;
}

// One record of an annotation section at `at`, whose bytes end at `end`:
// fills the record (its label pointing into the section) and answers where
// the next one starts, or null when the record does not fit the section.
const uint8_t* ap20e_parse_annotation(const uint8_t* at, const uint8_t* end, const AnnotationForm& form,
                                      AP34_ANNOTREC* record) {
  std::memset(record, 0, sizeof *record);
  const uint8_t* record_end = end;
  if (form.extended) {
    if (end - at < 2) return nullptr;
    const uint16_t length = ap20e_load<uint16_t>(at);
    if (length < AP20_ANNOTATION_FIXED + 1 || length > end - at) return nullptr;
    record_end = at + length;
    at += 2;
  }
  const size_t fixed = (form.flags_stored ? 2 : 0) + 3 * sizeof(float);
  if (static_cast<size_t>(record_end - at) < fixed) return nullptr;
  record->flags = form.flags_stored ? ap20e_load<uint16_t>(at) : kOldAnnotationFlags;
  at += form.flags_stored ? 2 : 0;
  record->x = ap20e_load<float>(at);
  record->text_x = ap20e_load<float>(at + 4);
  record->y = ap20e_load<float>(at + 8);
  at += 3 * sizeof(float);
  const auto* nul = static_cast<const uint8_t*>(std::memchr(at, '\0', static_cast<size_t>(record_end - at)));
  if (nul == nullptr) return nullptr;
  record->label = const_cast<char*>(reinterpret_cast<const char*>(at));
  if (!form.extended) return nul + 1;
  const uint8_t* pairs = nul + 1;
  if (static_cast<uint32_t>(record_end - pairs) < ap20e_pair_bytes(record->flags)) return nullptr;
  if (record->flags & AP34_FLAG_SECOND_POINT) {
    record->x2 = ap20e_load<float>(pairs);
    record->y2 = ap20e_load<float>(pairs + 4);
    pairs += kPairBytes;
  }
  if (record->flags & (AP34_FLAG_THIRD_POINT | AP34_FLAG_THIRD_POINT_ALT)) {
    record->x3 = ap20e_load<float>(pairs);
    record->y3 = ap20e_load<float>(pairs + 4);
  }
  return record_end;
}

// Walks every record of the section; with an annotation given, inserts
// them. False when a record does not fit or an insert fails.
bool ap20e_walk_annotations(const uint8_t* bytes, uint32_t length, const AnnotationForm& form,
                            AP34_ANNOTATION* annotation) {
  if (length < kAnnotationCount) return false;
  const uint32_t count = ap20e_load<uint32_t>(bytes);
  const uint8_t* at = bytes + kAnnotationCount;
  const uint8_t* end = bytes + length;
  for (uint32_t index = 0; index < count; ++index) {
    AP34_ANNOTREC record;
    at = ap20e_parse_annotation(at, end, form, &record);
    if (at == nullptr) return false;
    if (annotation != nullptr && !ap34_Insert_ANTATN(annotation, &record, AP1_YUNIT_TRANSMITTANCE)) return false;
  }
  return true;
}

bool ap20e_kept_in_file(const AP34_ANNOTREC& record) {
  return (record.flags & AP34_FLAG_ABSOLUTE) != 0 && (record.flags & AP34_FLAG_PROTECTED) == 0;
}

uint32_t ap20e_label_bytes(const AP34_ANNOTREC& record) {
  return static_cast<uint32_t>(record.label != nullptr ? std::strlen(record.label) : 0) + 1;
}

uint8_t* ap20e_put_annotation(uint8_t* at, const AP34_ANNOTREC& record, bool extended) {
  const uint32_t label = ap20e_label_bytes(record);
  if (extended)
    at = ap20e_store(at, static_cast<uint16_t>(AP20_ANNOTATION_FIXED + label + ap20e_pair_bytes(record.flags)));
  at = ap20e_store(at, record.flags);
  at = ap20e_store(at, record.x);
  at = ap20e_store(at, record.text_x);
  at = ap20e_store(at, record.y);
  if (record.label != nullptr) std::memcpy(at, record.label, label - 1);
  at += label;
  if (!extended) return at;
  if (record.flags & AP34_FLAG_SECOND_POINT) {
    at = ap20e_store(at, record.x2);
    at = ap20e_store(at, record.y2);
  }
  if (record.flags & (AP34_FLAG_THIRD_POINT | AP34_FLAG_THIRD_POINT_ALT)) {
    at = ap20e_store(at, record.x3);
    at = ap20e_store(at, record.y3);
  }
  return at;
}

// ---------------------------------------------------------------------------
// Member record

// The title and, for a record of today's length, p2 and p48.
void ap20e_take_member(AP7_SPECTRUM* spectrum, const uint8_t* bytes, uint32_t length) {
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  ap20_change_bracket change(spectrum->header);
  if (!change.begun) return;
  record->time = 0;
  record->p48 = 0;
  capobj_StrCopyN(reinterpret_cast<const char*>(bytes), record->title, AP20_TITLE_SIZE);
  if (length < sizeof(AP20_MEMBERRECORD)) return;
  record->time = ap20e_load<uint32_t>(bytes + offsetof(AP20_MEMBERRECORD, collection_time));
  record->p48 = ap20e_load<uint32_t>(bytes + offsetof(AP20_MEMBERRECORD, parameter48));
}

}  // namespace

// ---------------------------------------------------------------------------
// Header

APEXPORT AP7_SPECTRUM* AP20_HeaderRead_FILE(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory,
                                            uint16_t key2, uint32_t key3) {
  if (ap20_FindFile(object) == nullptr) return nullptr;
  AP7_SPECTRUM* spectrum = ap7a_NewInit(AP7_CLASS_ID, 0, nullptr);
  if (spectrum == nullptr) return nullptr;
  if (ap20e_read_header(object, spectrum, header, directory, key2, key3)) return spectrum;
  ap7a_Delete(spectrum, nullptr);
  return nullptr;
}

APEXPORT uint16_t AP20_HeaderWrite_FILE(void* object, AP_OBJECT* spectrum_or_header, AP20_FILEHEADER* header,
                                        GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed) {
  AP41_SPECTRALHEADER* spectral_header = ap20e_header_of(spectrum_or_header);
  if (spectral_header == nullptr) return 0;
  ap20_owned_block block(ap20e_bytes(sizeof(AP20_HEADERBLOCK)));
  ap20_owned_block extension(ap20e_bytes(sizeof(AP20_HEADEREXTENSION)));
  if (block.data() == nullptr || extension.data() == nullptr) return 0;
  AP20_HEADERMAPPARM map{spectral_header, header, static_cast<AP20_HEADERBLOCK*>(block.data()),
                         static_cast<AP20_HEADEREXTENSION*>(extension.data()), AP20_HEADER_TO_BLOCKS};
  if (GU2_DoMethod_MSG(AP20_MSG_MAP_HEADER, object, &map) == 0) return 0;
  if (!ap20e_write(object, header, directory, AP20_SECTION_HEADER, sizeof(AP20_HEADERBLOCK), block.handle, keyed, key2,
                   key3) ||
      !ap20e_write(object, header, directory, AP20_SECTION_HEADER_EXTENSION, sizeof(AP20_HEADEREXTENSION),
                   extension.handle, keyed, key2, key3))
    return 0;
  if (!ap20e_has_texts(spectral_header->data)) return 1;
  return ap20e_write_texts(object, spectral_header->data, header, directory, key2, key3, keyed);
}

// ---------------------------------------------------------------------------
// Y values

uint16_t ap20e_ReadDataFrom(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                            AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3, uint16_t name_flag1,
                            uint16_t name_flag2, uint16_t* index) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record == nullptr) return 0;
  if (name_flag1 || name_flag2) ap20e_take_name(object, spectrum);
  uint32_t length = 0;
  ap20_owned_block section(
      ap20b_ReadSectionFrom(object, header, directory, AP20_SECTION_YDATA, key2, key3, index, &length));
  if (section.data() == nullptr) return 0;
  const uint32_t stored = length / sizeof(float);
  if (record->points == 0 || record->points > stored) {
    ap20e_damaged(object);
    return 0;
  }
  ap20_owned_block values(GU3_Allocate_MM(stored, sizeof(float), GU3_KIND_GLOBAL));
  if (values.data() == nullptr) return 0;
  ap20e_copy_values(static_cast<float*>(values.data()), static_cast<const float*>(section.data()), stored,
                    record->y_units == AP41_YUNITS_INTERFEROGRAM);
  if (!ap7b_SetDataHandle(spectrum, record->first_x, record->last_x, record->points, values.handle)) return 0;
  values.release();
  return 1;
}

APEXPORT uint16_t AP20_DataRead_FILE(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header,
                                     AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3, uint16_t name_flag1,
                                     uint16_t name_flag2) {
  uint16_t index = 0;
  return ap20e_ReadDataFrom(object, spectrum, header, directory, key2, key3, name_flag1, name_flag2, &index);
}

APEXPORT uint16_t AP20_DataWriteEx_FILE(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                                        GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed,
                                        uint16_t replace) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  GU3_HANDLE data = ap7b_GetDataHandle(spectrum);
  if (record == nullptr) return 0;
  const uint32_t points = record->points;
  const uint64_t held = uint64_t{GU3_NumElements_MM(data)} * GU3_LenElements_MM(data) / sizeof(float);
  if (points > held) return 0;
  const uint32_t length = points * static_cast<uint32_t>(sizeof(float));
  if (record->y_units == AP41_YUNITS_INTERFEROGRAM)
    return ap20b_WriteSection(object, header, directory, AP20_SECTION_YDATA, length, data, keyed, key2, key3, replace,
                              nullptr);
  const auto* values = static_cast<const float*>(GU3_GetPointer_MM(data, 0, nullptr, nullptr));
  if (points != 0 && values == nullptr) return 0;
  return ap20b_WriteReversedSection(object, header, directory, AP20_SECTION_YDATA, values, points, keyed, key2, key3,
                                    replace);
}

// ---------------------------------------------------------------------------
// History

// Only as many words as the record holds are taken; a section too short
// for its layout is refused by the reader and leaves the bits alone.
APEXPORT uint16_t AP20_HistoryRead_FILE(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                                        AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record == nullptr) return 0;
  if (ap20e_has(header, directory, AP20_SECTION_HISTORY_BITS, key2, key3)) {
    ap20_owned_block bits(
        ap20b_ReadSection(object, header, directory, AP20_SECTION_HISTORY_BITS, key2, key3, nullptr));
    if (const auto* bytes = static_cast<const uint8_t*>(bits.data())) {
      const uint16_t words = std::min(ap20e_load<uint16_t>(bytes), AP20_HISTORY_WORDS);
      ap20_change_bracket change(spectrum->header);
      for (uint16_t word = 0; change.begun && word < words; ++word)
        record->history[word] = ap20e_load<uint32_t>(bytes + 2 + 4 * word);
    }
  }
  if (ap20e_has(header, directory, AP20_SECTION_HISTORY_TEXT, key2, key3)) {
    ap20_owned_block text(
        ap20e_read_text(object, header, directory, AP20_SECTION_HISTORY_TEXT, key2, key3));
    if (const auto* bytes = reinterpret_cast<const char*>(text.data()); bytes != nullptr && *bytes != '\0')
      ap7d_AddHistoryText(spectrum, bytes);
  }
  return 1;
}

uint16_t ap20e_WriteHistory(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                            GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record == nullptr) return 0;
  ap20_owned_block bits(ap20e_bytes(AP20_HISTORY_BITS_SIZE));
  uint8_t* bytes = ap20e_data(bits.handle);
  if (bytes == nullptr) return 0;
  bytes = ap20e_store(bytes, AP20_HISTORY_WORDS);
  bytes = ap20e_store(bytes, record->history[0]);
  ap20e_store(bytes, record->history[1]);
  if (!ap20e_write(object, header, directory, AP20_SECTION_HISTORY_BITS, AP20_HISTORY_BITS_SIZE, bits.handle, keyed,
                   key2, key3))
    return 0;
  const char* text = ap7d_GetHistoryText(spectrum);
  if (text == nullptr || *text == '\0') return 1;
  const uint32_t length = static_cast<uint32_t>(std::strlen(text)) + 1;
  ap20_owned_block section(ap20e_bytes(length));
  if (section.data() == nullptr) return 0;
  std::memcpy(section.data(), text, length);
  return ap20e_write(object, header, directory, AP20_SECTION_HISTORY_TEXT, length, section.handle, keyed, key2, key3);
}

// ---------------------------------------------------------------------------
// Comment

// The lines up to the last non-NUL byte, each NUL a line break.
uint16_t ap20e_ReadComment(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                           AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  if (spectrum == nullptr) return 0;
  if (!ap20e_has(header, directory, AP20_SECTION_COMMENT, key2, key3)) return 1;
  uint32_t length = 0;
  ap20_owned_block section(ap20b_ReadSection(object, header, directory, AP20_SECTION_COMMENT, key2, key3, &length));
  const auto* bytes = static_cast<const char*>(section.data());
  if (bytes == nullptr) return 0;
  while (length > 0 && bytes[length - 1] == '\0') --length;
  if (length == 0) return 1;
  ap20_owned_block text(ap20e_bytes(2 * length + 1));
  auto* lines = reinterpret_cast<char*>(ap20e_data(text.handle));
  if (lines == nullptr) return 0;
  char* at = lines;
  for (uint32_t index = 0; index < length; ++index) {
    if (bytes[index] != '\0') {
      *at++ = bytes[index];
    } else {
      std::memcpy(at, kLineBreak, 2);
      at += 2;
    }
  }
  return ap7d_AddCommentText(spectrum, lines) != 0 ? 1 : 0;
}

// Every line break of the text becomes one NUL, and two NULs end it; the
// length written is that of the bytes made.
uint16_t ap20e_WriteComment(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                            GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  if (spectrum == nullptr) return 0;
  const char* text = ap7d_GetCommentText(spectrum);
  if (text == nullptr || *text == '\0') return 1;
  ap20_owned_block section(ap20e_bytes(static_cast<uint32_t>(std::strlen(text)) + 2));
  auto* lines = reinterpret_cast<char*>(ap20e_data(section.handle));
  if (lines == nullptr) return 0;
  uint32_t length = 0;
  for (const char* at = text; *at != '\0';) {
    const size_t line_break = ap20e_line_break(at);
    lines[length++] = line_break != 0 ? '\0' : *at;
    at += line_break != 0 ? line_break : 1;
  }
  length += 2;
  return ap20e_write(object, header, directory, AP20_SECTION_COMMENT, length, section.handle, keyed, key2, key3);
}

// ---------------------------------------------------------------------------
// Annotations

uint16_t ap20e_ReadAnnotations(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                               AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  if (spectrum == nullptr || spectrum->annotation == nullptr) return 0;
  AnnotationForm form{AP20_SECTION_ANNOTATIONS, false, header->version > AP20_VERSION_ANNOTATION_FLAGS};
  if (!ap20e_has(header, directory, form.type, key2, key3)) form = {AP20_SECTION_ANNOTATIONS_EXTENDED, true, true};
  if (!ap20e_has(header, directory, form.type, key2, key3)) return 1;
  uint32_t length = 0;
  ap20_owned_block section(ap20b_ReadSection(object, header, directory, form.type, key2, key3, &length));
  const auto* bytes = static_cast<const uint8_t*>(section.data());
  if (bytes == nullptr) return 0;
  if (!ap20e_walk_annotations(bytes, length, form, nullptr)) {
    ap20e_damaged(object);
    return 0;
  }
  return ap20e_walk_annotations(bytes, length, form, spectrum->annotation) ? 1 : 0;
}

// The records with flag 8 and without flag 4, in list order; the extended
// form when a record without flag 4 has a second or third point.
uint16_t ap20e_WriteAnnotations(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                                GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  if (spectrum == nullptr || spectrum->annotation == nullptr) return 0;
  const uint32_t count = ap34_CountInRange_ANTATN(spectrum->annotation, AP_NOT_GIVEN, AP_NOT_GIVEN, nullptr, nullptr);
  TakenRecords taken(count);
  if (taken.records() == nullptr) return 0;
  bool extended = false;
  for (uint32_t index = 0; index < count; ++index) {
    AP34_ANNOTREC& record = taken.records()[taken.count];
    std::memset(&record, 0, sizeof record);
    if (!ap34_Get_ANTATN(spectrum->annotation, index, &record, AP1_YUNIT_TRANSMITTANCE)) return 0;
    ++taken.count;
    if ((record.flags & AP34_FLAG_PROTECTED) == 0 && (record.flags & kPairFlags) != 0) extended = true;
  }
  uint32_t kept = 0;
  uint64_t length = kAnnotationCount;
  for (uint32_t index = 0; index < taken.count; ++index) {
    const AP34_ANNOTREC& record = taken.records()[index];
    if (!ap20e_kept_in_file(record)) continue;
    const uint64_t bytes = AP20_ANNOTATION_FIXED + ap20e_label_bytes(record) + ap20e_pair_bytes(record.flags);
    if (extended && bytes > UINT16_MAX) return 0;
    length += extended ? bytes : bytes - 2 - ap20e_pair_bytes(record.flags);
    ++kept;
  }
  if (kept == 0) return 1;
  if (length > UINT32_MAX / 2) return 0;
  ap20_owned_block section(ap20e_bytes(static_cast<uint32_t>(length)));
  uint8_t* at = ap20e_data(section.handle);
  if (at == nullptr) return 0;
  at = ap20e_store(at, kept);
  for (uint32_t index = 0; index < taken.count; ++index) {
    if (ap20e_kept_in_file(taken.records()[index])) at = ap20e_put_annotation(at, taken.records()[index], extended);
  }
  return ap20e_write(object, header, directory,
                     extended ? AP20_SECTION_ANNOTATIONS_EXTENDED : AP20_SECTION_ANNOTATIONS,
                     static_cast<uint32_t>(length), section.handle, keyed, key2, key3);
}

// ---------------------------------------------------------------------------
// Whole spectrum

// Each step runs only when the one before succeeded; the spectrum is
// answered once its header is read.
AP7_SPECTRUM* ap20e_ReadSpectrum(AP20_FILE* file, uint16_t key2, uint32_t key3, uint16_t name_flag1,
                                 uint16_t name_flag2) {
  if (file == nullptr || file->header == nullptr) return nullptr;
  AP20_FILEHEADER* header = file->header;
  AP20_DIRENTRY* directory = file->directory;
  AP7_SPECTRUM* spectrum = AP20_HeaderRead_FILE(file, header, directory, key2, key3);
  if (spectrum == nullptr) return nullptr;
  auto* object = reinterpret_cast<AP_OBJECT*>(spectrum);
  if (AP20_HistoryRead_FILE(file, object, header, directory, key2, key3) &&
      ap20e_ReadComment(file, object, header, directory, key2, key3) &&
      ap20e_ReadAnnotations(file, object, header, directory, key2, key3) &&
      AP20_DataRead_FILE(file, object, header, directory, key2, key3, name_flag1, name_flag2))
    ap20f_ReadAttached(file, object, header, directory, key2, key3);
  if (ap20e_has(header, directory, AP20_SECTION_MEMBER, key2, key3)) {
    uint32_t length = 0;
    ap20_owned_block member(ap20b_ReadSection(file, header, directory, AP20_SECTION_MEMBER, key2, key3, &length));
    if (member.data() != nullptr) ap20e_take_member(spectrum, static_cast<const uint8_t*>(member.data()), length);
  }
  ap34_MakeAbsolute_ANTATN(spectrum->annotation, spectrum);
  return spectrum;
}

// Every step runs, whatever the one before gave.
uint16_t ap20e_WriteSpectrum(AP20_FILE* file, AP_OBJECT* spectrum_object, uint16_t key2, uint32_t key3,
                             uint16_t keyed, uint16_t replace) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (file == nullptr || file->header == nullptr || record == nullptr) return 0;
  AP20_FILEHEADER* header = file->header;
  GU3_HANDLE* directory = &file->directory_block;
  uint16_t written = AP20_HeaderWrite_FILE(file, spectrum_object, header, directory, key2, key3, keyed);
  written &= ap20e_WriteHistory(file, spectrum_object, header, directory, key2, key3, keyed);
  written &= ap20e_WriteComment(file, spectrum_object, header, directory, key2, key3, keyed);
  written &= ap20e_WriteAnnotations(file, spectrum_object, header, directory, key2, key3, keyed);
  written &= AP20_DataWriteEx_FILE(file, spectrum_object, header, directory, key2, key3, keyed, replace);
  written &= ap20f_WriteAttached(file, spectrum_object, header, directory, key2, key3);
  ap20_owned_block member(ap20e_bytes(sizeof(AP20_MEMBERRECORD)));
  auto* bytes = static_cast<AP20_MEMBERRECORD*>(member.data());
  if (bytes == nullptr) return 0;
  capobj_StrCopyN(record->title, bytes->title, AP20_TITLE_SIZE);
  bytes->collection_time = record->time;
  bytes->parameter48 = record->p48;
  written &= ap20b_WriteOpenSection(file, AP20_SECTION_MEMBER, sizeof(AP20_MEMBERRECORD), member.handle, keyed, key2,
                                    key3);
  return written;
}

// ---------------------------------------------------------------------------
// One part of a spectrum (message 117)

namespace {

// Overwrites the Y values of the section at the directory index in place,
// first point first; the values must fit the bytes the section has.
uint16_t ap20e_overwrite_data(void* object, AP_OBJECT* spectrum_object, AP20_FILEHEADER* header,
                              AP20_DIRENTRY* directory, const uint16_t* index) {
  AP20_FILE* file = ap20_FindFile(object);
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  const float* values = ap7b_GetDataPtr(spectrum);
  const int32_t count = ap20a_EntryCount(header);
  if (file == nullptr || record == nullptr || values == nullptr || IsBadReadPtr(index, sizeof *index) ||
      *index >= count || IsBadWritePtr(directory, static_cast<uint32_t>(count) * sizeof(AP20_DIRENTRY)))
    return 0;
  AP20_DIRENTRY& entry = directory[*index];
  const uint64_t length = uint64_t{record->points} * sizeof(float);
  const uint64_t held = uint64_t{GU3_NumElements_MM(ap7b_GetDataHandle(spectrum))} *
                        GU3_LenElements_MM(ap7b_GetDataHandle(spectrum));
  if (entry.type != AP20_SECTION_YDATA || length > entry.length || length > held) return 0;
  if (!ap20_WriteAt(file, entry.offset, values, static_cast<uint32_t>(length))) return 0;
  entry.length = static_cast<uint32_t>(length);
  return 1;
}

// The stored length of the entry at a file offset, 0 when none is there.
uint32_t ap20e_length_at(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint32_t offset) {
  const int32_t count = ap20a_EntryCount(header);
  if (count < 0 || IsBadReadPtr(directory, static_cast<uint32_t>(count) * sizeof(AP20_DIRENTRY))) return 0;
  for (int32_t index = 0; index < count; ++index) {
    if (directory[index].offset == offset) return directory[index].length;
  }
  return 0;
}

uint32_t ap20e_read_part(const AP20_PARTPARM* b) {
  switch (b->part) {
    case AP20_PART_HISTORY:       return AP20_HistoryRead_FILE(b->object, b->spectrum, b->header, b->directory, b->key2, b->key3);
    case AP20_PART_COMMENT:       return ap20e_ReadComment(b->object, b->spectrum, b->header, b->directory, b->key2, b->key3);
    case AP20_PART_INTERFEROGRAM: return ap_object_result(ap20f_ReadInterferogram(b->object, ap7a_spectrum(b->spectrum), b->sample, b->header, b->directory, b->key2, b->key3));
    case AP20_PART_ANNOTATIONS:   return ap20e_ReadAnnotations(b->object, b->spectrum, b->header, b->directory, b->key2, b->key3);
    case AP20_PART_YDATA:         return ap20e_ReadDataFrom(b->object, b->spectrum, b->header, b->directory, b->key2, b->key3, b->name_flag1, b->name_flag2, b->index);
    case AP20_PART_LENGTH_AT:     return ap20e_length_at(b->header, b->directory, b->key3);
    default:                      return 0;
  }
}

uint32_t ap20e_write_part(const AP20_PARTPARM* b) {
  switch (b->part) {
    case AP20_PART_HISTORY:       return ap20e_WriteHistory(b->object, b->spectrum, b->header, b->directory_block, b->key2, b->key3, b->keyed);
    case AP20_PART_COMMENT:       return ap20e_WriteComment(b->object, b->spectrum, b->header, b->directory_block, b->key2, b->key3, b->keyed);
    case AP20_PART_INTERFEROGRAM: return ap20f_WriteInterferogram(b->object, b->spectrum, b->sample, b->key2, b->key3);
    case AP20_PART_ANNOTATIONS:   return ap20e_WriteAnnotations(b->object, b->spectrum, b->header, b->directory_block, b->key2, b->key3, b->keyed);
    case AP20_PART_YDATA:         return ap20e_overwrite_data(b->object, b->spectrum, b->header, b->directory, b->index);
    default:                      return 0;
  }
}

}  // namespace

uint32_t ap20e_SpectrumPart(const AP20_PARTPARM* block) {
  if (block->operation == AP20_PART_READ) return ap20e_read_part(block);
  return block->operation == AP20_PART_WRITE ? ap20e_write_part(block) : 0;
}
