// The annotation class AP34 ANNOTATION: the labelled marks of a spectrum
// (peak labels at X positions, with their text positions and optional second
// and third points), kept in ascending X order. Label Y values are stored in
// percent transmittance and converted to and from the caller's Y unit at the
// interface; curve-relative marks become absolute against their spectrum
// (message 42); the object saves and loads itself as text lines through a
// file object.
//
// Owns two cell heaps: "AP34" for the objects and "AP34CLASSDATA" for their
// records, and every record's label in the string space. Every spectrum owns
// one annotation object; the native file layer reads and writes its records
// through messages 37 and 38. AP34_Dispatcher_ANTATN routes the messages.
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "files/files.h"
#include "spectrum/spectrum.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

constexpr uint32_t kInstanceCells = 50;
constexpr uint32_t kRecordCells = 50;
constexpr char kClassName[] = "AP34_ANNOTATION";

// The list is ordered by x, compared as floats.
constexpr uint16_t kXOffset = offsetof(AP34_ANNOTREC, x);
// What the size message counts for each record: its cell and its list node.
constexpr uint32_t kBytesPerRecord = sizeof(AP34_ANNOTREC) + sizeof(GU1_INDIRECTNODE);

// A line of the saved form: x, text x and y as the run-time's "%e" writes
// them, then the label, then "\r\n". The load reads the label as its first
// word.
constexpr char kLineDelimiters[] = "\n";
constexpr char kLineFormat[] = "%e,%e,%e,%600s";
static_assert(AP34_LINE_LIMIT == 600, "the label's width in kLineFormat");

APX_CLASSREC* ap34_class() { return apx_class_record(AP34_CLASS_ID); }

GU3_HANDLE ap34_record_heap() { return static_cast<GU3_HANDLE>(ap34_class()->class_data); }

uint16_t ap34_class_id_of(const void* object) {
  if (IsBadReadPtr(object, sizeof(uint16_t))) return 0;
  uint16_t class_id;
  std::memcpy(&class_id, object, sizeof class_id);
  return class_id;
}

// The object as an annotation, or null.
AP34_ANNOTATION* ap34_annotation(void* object) {
  if (IsBadReadPtr(object, sizeof(AP34_ANNOTATION)) || ap34_class_id_of(object) != AP34_CLASS_ID) return nullptr;
  return static_cast<AP34_ANNOTATION*>(object);
}

AP2_OBJECT* ap34_part(AP34_ANNOTATION* annotation) { return reinterpret_cast<AP2_OBJECT*>(annotation->head.parent); }

AP34_ANNOTREC* ap34_record(AP34_ANNOTATION* annotation, GU1_NODE* node) {
  return static_cast<AP34_ANNOTREC*>(gu1_item(&annotation->records, node));
}

// The record at a 0-based position, or null beyond the end.
AP34_ANNOTREC* ap34_record_at(AP34_ANNOTATION* annotation, uint32_t index) {
  if (annotation == nullptr || index >= annotation->records.count) return nullptr;
  return ap34_record(annotation, GU1_Locate_LL(&annotation->records, index));
}

// ---------------------------------------------------------------------------
// Label values at the interface

// The conversions of a caller's Y unit to the stored form, percent
// transmittance, and back. Photoacoustic values, like every unit without
// conversions here, stay as they are.
struct YConversions {
  void (*to_stored)(float*);
  void (*to_caller)(float*);
};

const YConversions* ap34_conversions(uint16_t y_code) {
  static const YConversions absorbance{AP1_FromAbsCombine_MATH, AP1_ToAbsCombine_MATH};
  static const YConversions kubelka_munk{AP1_FromKM_MATH, AP1_ToKMCombine_MATH};
  switch (y_code) {
    case AP1_YUNIT_LOG_INVERSE_R:
    case AP1_YUNIT_ABSORBANCE: return &absorbance;
    case AP1_YUNIT_KUBELKA_MUNK: return &kubelka_munk;
    default: return nullptr;
  }
}

float ap34_stored_y(float y, uint16_t y_code) {
  if (const YConversions* conversions = ap34_conversions(y_code)) conversions->to_stored(&y);
  return y;
}

float ap34_caller_y(float y, uint16_t y_code) {
  if (const YConversions* conversions = ap34_conversions(y_code)) conversions->to_caller(&y);
  return y;
}

bool ap34_has_third_point(uint16_t flags) {
  return (flags & (AP34_FLAG_THIRD_POINT | AP34_FLAG_THIRD_POINT_ALT)) != 0;
}

// ---------------------------------------------------------------------------
// Records

void ap34_release(AP34_ANNOTREC* record) {
  if (record->label != nullptr) GU3_RemoveString(record->label);
  GU3_HeapRelease_MM(ap34_record_heap(), record);
}

// The fields that insert and replace take from a caller's record: the
// points only as its flags say, so that a record never keeps points its
// flags do not name.
void ap34_take_fields(AP34_ANNOTREC* record, const AP34_ANNOTREC* from, uint16_t y_code) {
  record->flags = from->flags;
  record->x = from->x;
  record->text_x = from->text_x;
  record->y = ap34_stored_y(from->y, y_code);
  std::memcpy(record->host_flags, from->host_flags, sizeof record->host_flags);
  const bool second = (from->flags & AP34_FLAG_SECOND_POINT) != 0;
  const bool third = ap34_has_third_point(from->flags);
  record->x2 = second ? from->x2 : 0.0f;
  record->y2 = second ? from->y2 : 0.0f;
  record->x3 = third ? from->x3 : 0.0f;
  record->y3 = third ? from->y3 : 0.0f;
}

// A new record holding a copy of the caller's, or null.
AP34_ANNOTREC* ap34_new_record(const AP34_ANNOTREC* from, uint16_t y_code) {
  auto* record = static_cast<AP34_ANNOTREC*>(GU3_HeapGetEx_MM(ap34_record_heap()));
  if (record == nullptr) return nullptr;
  ap34_take_fields(record, from, y_code);
  record->flags = static_cast<uint16_t>(record->flags | AP34_FLAG_INSERTED);
  std::memcpy(record->host_words, from->host_words, sizeof record->host_words);
  if (from->label != nullptr && (record->label = GU3_StoreStringEx(from->label)) == nullptr) {
    ap34_release(record);
    return nullptr;
  }
  return record;
}

// Where an inserted record goes: before the first record whose x is greater
// or tolerantly equal.
uint32_t ap34_insert_position(AP34_ANNOTATION* annotation, float x) {
  uint32_t position = 0;
  for (GU1_NODE* node = annotation->records.head; node != nullptr; node = node->next, ++position) {
    const float other = ap34_record(annotation, node)->x;
    if (other > x || AP1_KovFloatCompareSG_MATH(other, x)) break;
  }
  return position;
}

// Where a loaded record goes: after the last record whose x is not greater
// (tolerantly equal counting as not greater), found from the tail, so that
// records of equal x keep their order in the file and a sorted file is
// linked in one step per record.
uint32_t ap34_sorted_position(AP34_ANNOTATION* annotation, float x) {
  uint32_t position = annotation->records.count;
  for (GU1_NODE* node = annotation->records.tail; node != nullptr; node = node->prev, --position) {
    const float other = ap34_record(annotation, node)->x;
    if (!(other > x) || AP1_KovFloatCompareSG_MATH(other, x)) break;
  }
  return position;
}

// Unlinks a record without releasing it.
void ap34_unlink(AP34_ANNOTATION* annotation, const AP34_ANNOTREC* record) {
  for (GU1_NODE* node = annotation->records.head; node != nullptr; node = node->next) {
    if (ap34_record(annotation, node) != record) continue;
    GU1_Unlink_LL(&annotation->records, node);
    return;
  }
}

// Releases every record and empties the list.
void ap34_clear(AP34_ANNOTATION* annotation) {
  for (GU1_NODE* node = annotation->records.head; node != nullptr; node = node->next)
    ap34_release(ap34_record(annotation, node));
  GU1_Destroy_LL(&annotation->records);
  GU1_CreateIndirect_LL(&annotation->records, 0, sizeof(uint32_t), GU1_KEY_BYTES);
}

// Ends a change of records; a change to a protected record leaves the
// object saved.
void ap34_end_record_change(AP34_ANNOTATION* annotation, uint16_t flags) {
  ap34_EndChange_ANTATN(annotation);
  if (flags & AP34_FLAG_PROTECTED) ap2_SetChangeState_OBJ(ap34_part(annotation), AP2_SAVED);
}

// ---------------------------------------------------------------------------
// Saved form

// One record's line, at most AP34_LINE_LIMIT characters with its line end,
// so that the load's bounded read gives every line back whole and the lines
// after it stay in step: a label that would not fit is cut, and a line break
// inside a label becomes a blank (the load takes only the label's first
// word, which the break would end anyway). The line's length.
uint32_t ap34_format_line(const AP34_ANNOTREC* record, char (&line)[AP34_LINE_LIMIT + 1]) {
  char x[GU4_EXPONENT_TEXT_SIZE];
  char text_x[GU4_EXPONENT_TEXT_SIZE];
  char y[GU4_EXPONENT_TEXT_SIZE];
  gu4_FormatExponent(record->x, x);
  gu4_FormatExponent(record->text_x, text_x);
  gu4_FormatExponent(record->y, y);
  uint32_t length = static_cast<uint32_t>(std::snprintf(line, sizeof line, "%s,%s,%s,", x, text_x, y));
  const uint32_t label_end = AP34_LINE_LIMIT - 2;
  for (const char* label = record->label; label != nullptr && *label != '\0' && length < label_end; ++label)
    line[length++] = *label == '\r' || *label == '\n' ? ' ' : *label;
  line[length++] = '\r';
  line[length++] = '\n';
  line[length] = '\0';
  return length;
}

// A record read from the next line, or null when the line is missing, too
// long or not three numbers, or when no memory is left. A line without a
// label gives a record without one.
AP34_ANNOTREC* ap34_read_record(AP20_FILE* file) {
  char line[AP34_LINE_LIMIT + 1] = {};
  if (ap20_GetFileName(file, kLineDelimiters, AP34_LINE_LIMIT, line) == 0) return nullptr;
  float x = 0.0f;
  float text_x = 0.0f;
  float y = 0.0f;
  char label[AP34_LINE_LIMIT + 1] = {};
  if (std::sscanf(line, kLineFormat, &x, &text_x, &y, label) < 3) return nullptr;
  auto* record = static_cast<AP34_ANNOTREC*>(GU3_HeapGetEx_MM(ap34_record_heap()));
  if (record == nullptr) return nullptr;
  record->x = x;
  record->text_x = text_x;
  record->y = y;
  if (label[0] != '\0' && (record->label = GU3_StoreStringEx(label)) == nullptr) {
    ap34_release(record);
    return nullptr;
  }
  return record;
}

// The records of one load, held until all of them are in the list; those
// not handed over when the load ends are given back.
struct LoadedRecords {
  GU3_HANDLE block = nullptr;
  AP34_ANNOTREC** records = nullptr;
  uint32_t count = 0;
  LoadedRecords() = default;
  LoadedRecords(const LoadedRecords&) = delete;
  LoadedRecords& operator=(const LoadedRecords&) = delete;
  ~LoadedRecords() {
    for (uint32_t index = 0; index < count; ++index) ap34_release(records[index]);
    GU3_Free_MM(block);
  }
};

// Links the loaded records in X order, all or none.
bool ap34_link_loaded(AP34_ANNOTATION* annotation, LoadedRecords& loaded) {
  if (ap2_BeginChange_OBJ(ap34_part(annotation)) == 0) return false;
  uint32_t linked = 0;
  while (linked < loaded.count) {
    AP34_ANNOTREC* record = loaded.records[linked];
    if (GU1_InsertP_LL(&annotation->records, record, ap34_sorted_position(annotation, record->x)) == 0) break;
    ++linked;
  }
  if (linked == loaded.count) {
    loaded.count = 0;
  } else {
    for (uint32_t index = 0; index < linked; ++index) ap34_unlink(annotation, loaded.records[index]);
  }
  ap34_EndChange_ANTATN(annotation);
  return loaded.count == 0;
}

// Reads the saved form into the object: every record is read before any is
// linked, so that a load that fails leaves the object as it was.
bool ap34_read_into(AP34_ANNOTATION* annotation, AP20_FILE* file) {
  // The AP2 part keeps nothing in a file.
  if (ap2_Read_OBJ(ap34_part(annotation), 0) == nullptr) return false;
  uint16_t count = 0;
  if (ap20_Read(file, &count, sizeof count) != sizeof count) return false;
  if (count == 0) return true;
  LoadedRecords loaded;
  loaded.block = GU3_Allocate_MM(count, sizeof(AP34_ANNOTREC*), GU3_KIND_GLOBAL);
  if (loaded.block == nullptr) return false;
  loaded.records = static_cast<AP34_ANNOTREC**>(GU3_GetPointer_MM(loaded.block, 0, nullptr, nullptr));
  while (loaded.count < count) {
    AP34_ANNOTREC* record = ap34_read_record(file);
    if (record == nullptr) return false;
    loaded.records[loaded.count++] = record;
  }
  return ap34_link_loaded(annotation, loaded);
}

// Size of the parameter block each message reads, checked before the
// dispatcher unpacks it; messages whose parameter is not a block read none.
uint32_t ap34_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_NEW: return sizeof(AP_NEWPARM);
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP34_MSG_COUNT_IN_RANGE: return sizeof(AP34_RANGEPARM);
    case AP34_MSG_GET:
    case AP34_MSG_REPLACE: return sizeof(AP34_RECORDPARM);
    case AP34_MSG_INSERT: return sizeof(AP34_INSERTPARM);
    case AP34_MSG_DELETE: return sizeof(AP34_DELETEPARM);
    case AP34_MSG_DELETE_MASKED: return sizeof(AP34_MASKPARM);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap34_InitClass_ANTATN(uint16_t class_id) {
  if (class_id != AP34_CLASS_ID || !apx_InitInstanceHeap(class_id, kInstanceCells, sizeof(AP34_ANNOTATION), "AP34"))
    return 0;
  APX_CLASSREC* record = ap34_class();
  record->class_data = GU3_MakeCellHeap_MM(kRecordCells, sizeof(AP34_ANNOTREC), GU3_KIND_GLOBAL, "AP34CLASSDATA");
  if (record->class_data != nullptr) return 1;
  apx_FreeInstanceHeap(class_id);
  return 0;
}

uint16_t ap34_TermClass_ANTATN(uint16_t class_id) {
  if (class_id != AP34_CLASS_ID) return 0;
  APX_CLASSREC* record = ap34_class();
  const uint16_t records_freed = GU3_Free_MM(ap34_record_heap());
  record->class_data = nullptr;
  return apx_FreeInstanceHeap(class_id) & records_freed;
}

// The sample information lives in an object of the host's global object.
// This system has no host object (APX_GetGlobalObject answers null), so
// there is nothing to tell of a change.
APEXPORT void AP34_UpdateSampInfo() {}

// ---------------------------------------------------------------------------
// Common messages

AP34_ANNOTATION* ap34_Create_ANTATN(uint16_t class_id, AP_OBJECT* outer) {
  APX_CLASSREC* record = ap34_class();
  if (class_id != AP34_CLASS_ID || record->instance_heap == nullptr || record->class_data == nullptr) return nullptr;
  auto* annotation = static_cast<AP34_ANNOTATION*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (annotation == nullptr) return nullptr;
  annotation->head.class_id = AP34_CLASS_ID;
  AP2_OBJECT* part = ap2_Create_OBJ(AP2_CLASS_ID, outer != nullptr ? outer : &annotation->head);
  if (part == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, annotation);
    return nullptr;
  }
  annotation->head.parent = &part->head;
  GU1_CreateIndirect_LL(&annotation->records, 0, sizeof(uint32_t), GU1_KEY_BYTES);
  ++record->live;
  ++record->created;
  return annotation;
}

uint32_t ap34_Destroy_ANTATN(AP34_ANNOTATION* annotation, HWND window) {
  if (annotation == nullptr) return 0;
  const uint32_t result = ap2_Destroy_OBJ(ap34_part(annotation), window);
  if (result != AP_DESTROYED) return result;
  ap34_clear(annotation);
  APX_CLASSREC* record = ap34_class();
  GU3_HeapRelease_MM(record->instance_heap, annotation);
  --record->live;
  return result;
}

uint32_t ap34_GetSize_ANTATN(AP34_ANNOTATION* annotation) {
  if (annotation == nullptr) return 0;
  return ap2_GetSize_OBJ(ap34_part(annotation)) + sizeof(AP34_ANNOTATION) +
         kBytesPerRecord * annotation->records.count;
}

uint16_t ap34_EndChange_ANTATN(AP34_ANNOTATION* annotation) {
  if (annotation == nullptr) return 0;
  AP34_UpdateSampInfo();
  return ap2_EndChange_OBJ(ap34_part(annotation));
}

// With create set the object is the address of the class id and the
// records go into a new annotation, destroyed again when the load fails.
AP34_ANNOTATION* ap34_Read_ANTATN(void* object, AP_OBJECT* file, uint16_t create) {
  AP20_FILE* source = ap20_file(file);
  if (source == nullptr || ap20_IsOpen(source) == 0) return nullptr;
  AP34_ANNOTATION* annotation =
      create ? ap34_Create_ANTATN(ap34_class_id_of(object), nullptr) : ap34_annotation(object);
  if (annotation == nullptr) return nullptr;
  if (ap34_read_into(annotation, source)) return annotation;
  if (create) ap34_Destroy_ANTATN(annotation, nullptr);
  return nullptr;
}

// The count is a u16 in the saved form: a list it cannot count is not
// written at all. A line that fails does not stop the others.
uint16_t ap34_Write_ANTATN(AP34_ANNOTATION* annotation, AP_OBJECT* file) {
  AP20_FILE* target = ap20_file(file);
  if (annotation == nullptr || target == nullptr || ap20_IsOpen(target) == 0 ||
      annotation->records.count > UINT16_MAX)
    return 0;
  if (ap2_Write_OBJ(ap34_part(annotation), target) == 0) return 0;
  const auto count = static_cast<uint16_t>(annotation->records.count);
  if (ap20_Write(target, &count, sizeof count) != sizeof count) return 0;
  uint16_t written = 1;
  for (GU1_NODE* node = annotation->records.head; node != nullptr; node = node->next) {
    char line[AP34_LINE_LIMIT + 1];
    const uint32_t length = ap34_format_line(ap34_record(annotation, node), line);
    if (ap20_Write(target, line, length) != length) written = 0;
  }
  return written;
}

// The target becomes a copy: its own records go first. Records are copied
// as stored (code 23 converts nothing).
uint16_t ap34_Copy_ANTATN(AP34_ANNOTATION* annotation, AP34_ANNOTATION* target, HWND window) {
  if (annotation == nullptr || target == nullptr) return 0;
  if (ap2_Copy_OBJ(ap34_part(annotation), ap34_part(target), window) == 0) return 0;
  if (target == annotation) return 1;
  if (ap2_BeginChange_OBJ(ap34_part(target)) == 0) return 0;
  ap34_clear(target);
  uint16_t copied = 1;
  for (GU1_NODE* node = annotation->records.head; node != nullptr && copied; node = node->next)
    copied = ap34_Insert_ANTATN(target, ap34_record(annotation, node), AP1_YUNIT_TRANSMITTANCE);
  ap34_EndChange_ANTATN(target);
  return copied;
}

// ---------------------------------------------------------------------------
// Record messages

uint32_t ap34_CountInRange_ANTATN(AP34_ANNOTATION* annotation, float x1, float x2, int32_t* first, int32_t* last) {
  if (annotation == nullptr) return 0;
  const bool indexes = first != nullptr && last != nullptr && !IsBadWritePtr(first, sizeof *first) &&
                       !IsBadWritePtr(last, sizeof *last);
  if (indexes) *first = *last = -1;
  const uint32_t count = annotation->records.count;
  if (ap1_not_given(x1) && ap1_not_given(x2)) {
    if (indexes && count != 0) {
      *first = 0;
      *last = static_cast<int32_t>(count - 1);
    }
    return count;
  }
  const float low = x1 < x2 ? x1 : x2;
  const float high = x1 < x2 ? x2 : x1;
  int32_t first_index = -1;
  int32_t last_index = -1;
  int32_t index = 0;
  for (GU1_NODE* node = annotation->records.head; node != nullptr; node = node->next, ++index) {
    const float x = ap34_record(annotation, node)->x;
    const bool above_low = x >= low || AP1_KovFloatCompareSG_MATH(x, low);
    const bool below_high = x <= high || AP1_KovFloatCompareSG_MATH(x, high);
    if (first_index < 0 && above_low) {
      if (!below_high) return 0;
      first_index = index;
    }
    if (first_index >= 0 && below_high) last_index = index;
  }
  if (first_index < 0) return 0;
  if (indexes) {
    *first = first_index;
    *last = last_index;
  }
  return static_cast<uint32_t>(last_index - first_index + 1);
}

// The label handed out is a new copy in the string space that the caller
// owns (null when the record has none).
uint16_t ap34_Get_ANTATN(AP34_ANNOTATION* annotation, uint32_t index, AP34_ANNOTREC* record, uint16_t y_code) {
  const AP34_ANNOTREC* stored = ap34_record_at(annotation, index);
  if (stored == nullptr || IsBadWritePtr(record, sizeof *record)) return 0;
  char* label = nullptr;
  if (stored->label != nullptr && (label = GU3_StoreStringEx(stored->label)) == nullptr) return 0;
  record->flags = stored->flags;
  record->x = stored->x;
  record->text_x = stored->text_x;
  record->y = ap34_caller_y(stored->y, y_code);
  record->label = label;
  std::memcpy(record->host_flags, stored->host_flags, sizeof record->host_flags);
  if (stored->flags & AP34_FLAG_SECOND_POINT) {
    record->x2 = stored->x2;
    record->y2 = stored->y2;
  }
  if (ap34_has_third_point(stored->flags)) {
    record->x3 = stored->x3;
    record->y3 = stored->y3;
  }
  return 1;
}

uint16_t ap34_Insert_ANTATN(AP34_ANNOTATION* annotation, const AP34_ANNOTREC* record, uint16_t y_code) {
  if (annotation == nullptr || IsBadReadPtr(record, sizeof *record)) return 0;
  if (ap2_BeginChange_OBJ(ap34_part(annotation)) == 0) return 0;
  AP34_ANNOTREC* inserted = ap34_new_record(record, y_code);
  const bool linked = inserted != nullptr &&
                      GU1_InsertP_LL(&annotation->records, inserted, ap34_insert_position(annotation, inserted->x));
  if (inserted != nullptr && !linked) ap34_release(inserted);
  ap34_end_record_change(annotation, linked ? inserted->flags : 0);
  return linked ? 1 : 0;
}

uint16_t ap34_Delete_ANTATN(AP34_ANNOTATION* annotation, uint32_t index) {
  AP34_ANNOTREC* record = ap34_record_at(annotation, index);
  if (record == nullptr || ap2_BeginChange_OBJ(ap34_part(annotation)) == 0) return 0;
  const uint16_t flags = record->flags;
  GU1_DeleteP_LL(&annotation->records, index);
  ap34_release(record);
  ap2_SetUserWord_OBJ(ap34_part(annotation), AP34_NOTICE_DELETED);
  ap34_end_record_change(annotation, flags);
  return 1;
}

// The new label is copied before the old one goes, so that a replace that
// fails leaves the record as it was.
uint16_t ap34_Replace_ANTATN(AP34_ANNOTATION* annotation, uint32_t index, const AP34_ANNOTREC* record,
                             uint16_t y_code) {
  AP34_ANNOTREC* stored = ap34_record_at(annotation, index);
  if (stored == nullptr || IsBadReadPtr(record, sizeof *record) || record->label == nullptr) return 0;
  char* label = GU3_StoreStringEx(record->label);
  if (label == nullptr) return 0;
  if (ap2_BeginChange_OBJ(ap34_part(annotation)) == 0) {
    GU3_RemoveString(label);
    return 0;
  }
  if (stored->label != nullptr) GU3_RemoveString(stored->label);
  stored->label = label;
  ap34_take_fields(stored, record, y_code);
  const uint16_t sorted = GU1_Sort_LL(&annotation->records, kXOffset, sizeof(float), GU1_KEY_FLOAT, 0);
  ap34_end_record_change(annotation, stored->flags);
  return sorted;
}

uint32_t ap34_DeleteMasked_ANTATN(AP34_ANNOTATION* annotation, uint16_t mask) {
  if (annotation == nullptr || ap2_BeginChange_OBJ(ap34_part(annotation)) == 0) return 0;
  uint32_t deleted = 0;
  uint32_t index = 0;
  while (const AP34_ANNOTREC* record = ap34_record_at(annotation, index)) {
    const bool matches = (record->flags & mask) != 0 && (record->flags & AP34_FLAG_PROTECTED) == 0;
    if (matches && ap34_Delete_ANTATN(annotation, index)) ++deleted;
    else ++index;
  }
  uint16_t word = AP34_NOTICE_NOTHING_DELETED;
  if (deleted != 0) word = (mask & AP34_FLAG_MASK_NOTICE) ? AP34_NOTICE_MASK_DELETED : AP34_NOTICE_DELETED;
  ap2_SetUserWord_OBJ(ap34_part(annotation), word);
  ap34_EndChange_ANTATN(annotation);
  return deleted;
}

// The change is begun only when a record changes, so that a spectrum whose
// annotation holds no relative record stays unchanged.
uint16_t ap34_MakeAbsolute_ANTATN(AP34_ANNOTATION* annotation, void* spectrum) {
  if (annotation == nullptr) return 0;
  void* header = ap_result_object<void>(GU2_DoMethod_MSG(AP7_MSG_GET_HEADER, spectrum, nullptr));
  uint32_t y_code = 0;
  if (header == nullptr || GU2_GetParmValue_MSG(header, AP41_YUNITS, &y_code) != 1) return 0;
  AP1_SetGainType_MATH(spectrum);
  bool changing = false;
  uint16_t result = 1;
  for (GU1_NODE* node = annotation->records.head; node != nullptr; node = node->next) {
    AP34_ANNOTREC* record = ap34_record(annotation, node);
    if ((record->flags & AP34_FLAG_RELATIVE) == 0) continue;
    float curve = 0.0f;
    AP7_VALUEATXPARM at{record->x, &curve};
    if (GU2_DoMethod_MSG(AP7_MSG_GET_VALUE_AT_X, spectrum, &at) == 0) curve = 0.0f;
    if (std::isnan(curve)) continue;
    if (!changing && ap2_BeginChange_OBJ(ap34_part(annotation)) == 0) {
      result = 0;
      break;
    }
    changing = true;
    record->y = AP1_NewUnits_MATH(y_code, AP1_YUNIT_PERCENT_TRANSMITTANCE, curve) + record->y;
    record->text_x = record->text_x + record->x;
    record->flags = AP34_FLAG_ABSOLUTE;
  }
  if (changing) ap34_EndChange_ANTATN(annotation);
  AP1_SetGainType_MATH(nullptr);
  return result;
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP34_Dispatcher_ANTATN(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap34_block_size(message))) return 0;
  AP34_ANNOTATION* annotation = ap34_annotation(object);
  const auto* fresh = static_cast<const AP_NEWPARM*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* range = static_cast<const AP34_RANGEPARM*>(parameter);
  const auto* at = static_cast<const AP34_RECORDPARM*>(parameter);
  const auto* insert = static_cast<const AP34_INSERTPARM*>(parameter);
  const auto* doomed = static_cast<const AP34_DELETEPARM*>(parameter);
  const auto* mask = static_cast<const AP34_MASKPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_INIT:
    case AP_MSG_DUPLICATE:
    case AP_MSG_DUMP:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_SET_CHANGE_STATE:
    case AP_MSG_SAVE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT:   return annotation != nullptr ? AP2_Dispatcher_OBJ(ap34_part(annotation), message, parameter) : 0;
    case AP_MSG_CREATE:             return ap_object_result(ap34_Create_ANTATN(ap34_class_id_of(object), static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_NEW:                return ap_object_result(ap2_New_OBJ(AP34_CLASS_ID, fresh->window));
    case AP_MSG_DESTROY:            return ap34_Destroy_ANTATN(annotation, window->window);
    case AP_MSG_SIZE:               return ap34_GetSize_ANTATN(annotation);
    case AP_MSG_CLASS_NAME:         return ap2_copy_class_name(static_cast<char*>(parameter), kClassName);
    case AP_MSG_END_CHANGE:         return ap34_EndChange_ANTATN(annotation);
    case AP_MSG_READ:               return ap_object_result(ap34_Read_ANTATN(object, read->file, read->create));
    case AP_MSG_WRITE:              return ap34_Write_ANTATN(annotation, static_cast<AP_OBJECT*>(parameter));
    case AP_MSG_COPY:               return ap34_Copy_ANTATN(annotation, ap34_annotation(copy->target), copy->window);
    case AP34_MSG_COUNT_IN_RANGE:   return ap34_CountInRange_ANTATN(annotation, range->x1, range->x2, range->first, range->last);
    case AP34_MSG_GET:              return ap34_Get_ANTATN(annotation, at->index, at->record, at->y_code);
    case AP34_MSG_INSERT:           return ap34_Insert_ANTATN(annotation, insert->record, insert->y_code);
    case AP34_MSG_DELETE:           return ap34_Delete_ANTATN(annotation, doomed->index);
    case AP34_MSG_REPLACE:          return ap34_Replace_ANTATN(annotation, at->index, at->record, at->y_code);
    case AP34_MSG_DELETE_MASKED:    return ap34_DeleteMasked_ANTATN(annotation, mask->mask);
    case AP34_MSG_MAKE_ABSOLUTE:    return ap34_MakeAbsolute_ANTATN(annotation, parameter);
    default:                        return 0;
  }
}
