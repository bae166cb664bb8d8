// The SPECTRUM object (class 7): one spectrum in memory, its Y values in a
// one-row array with the header, annotation, history and comment texts, two
// owned sub-spectra, a name, a file path and an object list.
//
// Owns the class's initialisation (the heaps "AP7" and "AP7CLASSDATA"), the
// object's life cycle (create, initialise, delete, duplicate, copy), its size,
// class name and change state, and the small record operations: the header
// text fields, header parameter 2, the point count, the data checksum and
// the ascending X axis. AP7_Dispatcher_SPECTRUM calls these for the messages
// of the class; the other spectrum modules call the object helpers directly.
//
// Every part is reached by its own class's messages, so that a part adds or
// removes its dependents and notices as its class does. An absent part is
// passed over everywhere: a spectrum made without data (whose maker links an
// array in later) still goes whole when it is deleted.
#include <cstring>
#include <iterator>
#include <utility>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kInstanceCells = 50;
constexpr uint32_t kClassDataCells = 50;
constexpr uint16_t kClassDataCellBytes = 1200;
constexpr char kClassName[] = "AP7_SPECTRUM";

// A spectrum counts its own cell and its header's whole, whatever the header
// reports for itself.
constexpr uint32_t kCellAndHeaderBytes = sizeof(AP7_SPECTRUM) + sizeof(AP41_SPECTRALHEADER);
static_assert(kCellAndHeaderBytes == 1758);

// Header values of a new spectrum.
constexpr uint8_t kRecordTag[4] = {3, 1, 0, 0};
constexpr uint32_t kDefaultP1 = 1024;
constexpr uint32_t kDefaultXUnits = 1;
constexpr uint32_t kDefaultScans = 1;
constexpr uint16_t kDefaultP42 = 1;
constexpr uint32_t kNotRecorded = 0xFFFFFFFF;

// The checksum weighs its words 1, 2, ..., 11 and then from 1 again.
constexpr uint32_t kChecksumWeights = 11;

APX_CLASSREC* ap7a_class() { return apx_class_record(AP7_CLASS_ID); }

// The parts a spectrum owns, in the order it deletes them.
enum class ap7a_part { data, header, annotation, sub_a, sub_b, history, comment, list };
constexpr ap7a_part kParts[] = {ap7a_part::data,  ap7a_part::header,  ap7a_part::annotation, ap7a_part::sub_a,
                                ap7a_part::sub_b, ap7a_part::history, ap7a_part::comment,    ap7a_part::list};

void* ap7a_part_of(const AP7_SPECTRUM* spectrum, ap7a_part part) {
  switch (part) {
    case ap7a_part::data: return spectrum->data;
    case ap7a_part::header: return spectrum->header;
    case ap7a_part::annotation: return spectrum->annotation;
    case ap7a_part::sub_a: return spectrum->subSpectrumA;
    case ap7a_part::sub_b: return spectrum->subSpectrumB;
    case ap7a_part::history: return spectrum->history;
    case ap7a_part::comment: return spectrum->comment;
    case ap7a_part::list: return spectrum->list;
  }
  return nullptr;
}

void ap7a_clear_part(AP7_SPECTRUM* spectrum, ap7a_part part) {
  switch (part) {
    case ap7a_part::data: spectrum->data = nullptr; break;
    case ap7a_part::header: spectrum->header = nullptr; break;
    case ap7a_part::annotation: spectrum->annotation = nullptr; break;
    case ap7a_part::sub_a: spectrum->subSpectrumA = nullptr; break;
    case ap7a_part::sub_b: spectrum->subSpectrumB = nullptr; break;
    case ap7a_part::history: spectrum->history = nullptr; break;
    case ap7a_part::comment: spectrum->comment = nullptr; break;
    case ap7a_part::list: spectrum->list = nullptr; break;
  }
}

// The header goes without the caller's window: the window depends on the
// data, never on the header. The list takes its members with it.
uint32_t ap7a_destroy_part(void* object, ap7a_part part, HWND window) {
  AP_WINDOWPARM block{part == ap7a_part::header ? nullptr : window, part == ap7a_part::list ? uint16_t{1} : uint16_t{0}};
  return GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &block);
}

// Destroys the parts in their order, each only while every earlier one went,
// and clears each reference once its part is gone; the result is that of the
// part that stayed (2 when a window refused), else 1.
uint32_t ap7a_destroy_parts(AP7_SPECTRUM* spectrum, HWND window) {
  for (ap7a_part part : kParts) {
    void* object = ap7a_part_of(spectrum, part);
    if (object == nullptr) continue;
    const uint32_t result = ap7a_destroy_part(object, part, window);
    if (result != AP_DESTROYED) return result;
    ap7a_clear_part(spectrum, part);
  }
  return AP_DESTROYED;
}

AP_OBJECT* ap7a_new_object(uint16_t class_id) {
  return ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_CREATE, &class_id, nullptr));
}

uint16_t ap7a_init_text(AP48_TEXT* text, HWND window) {
  AP_WINDOWPARM block{window, 0};
  return GU2_DoMethod_MSG(AP_MSG_INIT, text, &block) != 0 ? 1 : 0;
}

uint16_t ap7a_copy_part(void* object, void* target, HWND window) {
  AP_COPYPARM block{static_cast<AP_OBJECT*>(target), window};
  return GU2_DoMethod_MSG(AP_MSG_COPY, object, &block) != 0 ? 1 : 0;
}

AP2_OBJECT* ap7a_root_of(const AP4_ARRAY* array) {
  return array != nullptr ? reinterpret_cast<AP2_OBJECT*>(array->head.parent) : nullptr;
}

// The number of points the header gives, as the X range counts them.
uint32_t ap7a_points(const AP7_SPECTRUM* spectrum) {
  float x1 = AP_NOT_GIVEN;
  float x2 = AP_NOT_GIVEN;
  AP4_CELL first{};
  AP4_CELL last{};
  const int32_t count = ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last);
  return count > 0 ? static_cast<uint32_t>(count) : 0;
}

// The Y values of a spectrum as far as both the header and the array hold
// them: null when the header claims more points than the array has.
float* ap7a_values(const AP7_SPECTRUM* spectrum, uint32_t points) {
  const AP4_ARRAY* data = spectrum->data;
  if (data == nullptr || uint64_t{data->rows} * data->columns < points) return nullptr;
  return ap4a_GetDataAddress(data);
}

// The source's array seen with the target's narrower extent for the length
// of a copy; the source's own extent is back when the scope ends.
class ap7a_narrowed_extent {
 public:
  ap7a_narrowed_extent(AP4_ARRAY* source, const AP4_ARRAY* target, uint32_t points)
      : source_(source), columns_(source->columns) {
    if (target->columns < source->columns && points <= target->columns) source_->columns = target->columns;
  }
  ~ap7a_narrowed_extent() { source_->columns = columns_; }
  ap7a_narrowed_extent(const ap7a_narrowed_extent&) = delete;
  ap7a_narrowed_extent& operator=(const ap7a_narrowed_extent&) = delete;

 private:
  AP4_ARRAY* source_;
  uint32_t columns_;
};

void ap7a_replace_sub(AP7_SPECTRUM* target, ap7a_part part, AP7_SPECTRUM* replacement) {
  if (auto* old = static_cast<AP7_SPECTRUM*>(ap7a_part_of(target, part))) ap7a_Delete(old, nullptr);
  if (part == ap7a_part::sub_a) {
    target->subSpectrumA = replacement;
  } else {
    target->subSpectrumB = replacement;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Helpers of the spectrum modules

AP7_SPECTRUM* ap7a_spectrum(const void* object) {
  if (IsBadReadPtr(object, sizeof(AP7_SPECTRUM))) return nullptr;
  auto* spectrum = static_cast<AP7_SPECTRUM*>(const_cast<void*>(object));
  return spectrum->class_id == AP7_CLASS_ID ? spectrum : nullptr;
}

AP41_HEADERDATA* ap7a_record(const AP7_SPECTRUM* spectrum) {
  AP41_SPECTRALHEADER* header = spectrum != nullptr ? ap41_header(spectrum->header) : nullptr;
  return header != nullptr ? &header->data : nullptr;
}

ap7a_change_bracket::ap7a_change_bracket(const AP7_SPECTRUM* spectrum)
    : part_(ap7a_root_of(spectrum->data)), begun_(ap2_BeginChange_OBJ(part_) != 0) {}

ap7a_change_bracket::~ap7a_change_bracket() {
  if (begun_) ap2_EndChange_OBJ(part_);
}

// ---------------------------------------------------------------------------
// The class

uint16_t ap7a_InitClass(uint16_t class_id) {
  if (class_id != AP7_CLASS_ID) return 0;
  APX_CLASSREC* record = ap7a_class();
  record->live = 0;
  record->created = 0;
  record->instance_heap = GU3_MakeCellHeap_MM(kInstanceCells, sizeof(AP7_SPECTRUM), GU3_KIND_GLOBAL, "AP7");
  record->data_block = GU3_MakeCellHeap_MM(kClassDataCells, kClassDataCellBytes, GU3_KIND_GLOBAL, "AP7CLASSDATA");
  if (record->instance_heap != nullptr && record->data_block != nullptr) return 1;
  GU3_Free_MM(record->instance_heap);
  GU3_Free_MM(record->data_block);
  record->instance_heap = nullptr;
  record->data_block = nullptr;
  return 0;
}

// ---------------------------------------------------------------------------
// The object

// The live count rises only for a whole spectrum: a spectrum that could not
// be made whole goes back with the parts it had.
AP7_SPECTRUM* ap7a_Create(uint16_t class_id, AP_OBJECT* owner, uint32_t points) {
  APX_CLASSREC* record = ap7a_class();
  if (class_id != AP7_CLASS_ID || record->instance_heap == nullptr) return nullptr;
  auto* spectrum = static_cast<AP7_SPECTRUM*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (spectrum == nullptr) return nullptr;
  spectrum->class_id = AP7_CLASS_ID;
  spectrum->data = ap4a_Allocate(AP4_CLASS_ID, owner != nullptr ? owner : reinterpret_cast<AP_OBJECT*>(spectrum),
                                 points != 0 ? 1 : 0, points);
  if (spectrum->data == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, spectrum);
    return nullptr;
  }
  spectrum->header = ap41_Create_SH(AP41_CLASS_ID, nullptr);
  if (spectrum->header != nullptr) spectrum->header->data.points = points;
  spectrum->annotation = ap34_Create_ANTATN(AP34_CLASS_ID, nullptr);
  spectrum->history = reinterpret_cast<AP48_TEXT*>(ap7a_new_object(AP48_CLASS_ID));
  spectrum->comment = reinterpret_cast<AP48_TEXT*>(ap7a_new_object(AP48_CLASS_ID));
  spectrum->list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
  if (spectrum->header == nullptr || spectrum->annotation == nullptr || spectrum->history == nullptr ||
      spectrum->comment == nullptr || spectrum->list == nullptr) {
    ap7a_destroy_parts(spectrum, nullptr);
    GU3_HeapRelease_MM(record->instance_heap, spectrum);
    return nullptr;
  }
  ++record->live;
  ++record->created;
  return spectrum;
}

// Sub-spectra that a spectrum being initialised again still owns are
// deleted: nothing else would ever delete them.
uint16_t ap7a_Init(AP7_SPECTRUM* spectrum, HWND window) {
  if (ap7a_spectrum(spectrum) == nullptr) return 0;
  uint16_t result = ap2_Init_OBJ(ap7a_root_of(spectrum->data), window);
  AP_WINDOWPARM block{window, 0};
  result &= GU2_DoMethod_MSG(AP_MSG_INIT, spectrum->annotation, &block) != 0 ? 1 : 0;
  result &= ap7a_init_text(spectrum->history, window);
  result &= ap7a_init_text(spectrum->comment, window);
  ap7a_replace_sub(spectrum, ap7a_part::sub_a, nullptr);
  ap7a_replace_sub(spectrum, ap7a_part::sub_b, nullptr);
  spectrum->name[0] = '\0';
  spectrum->path[0] = '\0';
  if (AP41_HEADERDATA* record = ap7a_record(spectrum)) {
    std::memcpy(record->tag, kRecordTag, sizeof kRecordTag);
    record->p1 = kDefaultP1;
    record->x_units = kDefaultXUnits;
    record->y_units = AP7_DEFAULT_YUNITS;
    record->NumScans = kDefaultScans;
    record->p42 = kDefaultP42;
    record->BadScans = kNotRecorded;
    record->CollectErrorMap = kNotRecorded;
    record->BKBadScans = kNotRecorded;
    record->BKCollectErrorMap = kNotRecorded;
  }
  return result;
}

AP7_SPECTRUM* ap7a_NewInit(uint16_t class_id, uint32_t points, HWND window) {
  AP7_SPECTRUM* spectrum = ap7a_Create(class_id, nullptr, points);
  if (spectrum == nullptr) return nullptr;
  if (ap7a_Init(spectrum, window)) return spectrum;
  ap7a_Delete(spectrum, window);
  return nullptr;
}

uint32_t ap7a_Delete(AP7_SPECTRUM* spectrum, HWND window) {
  if (IsBadWritePtr(spectrum, sizeof(AP7_SPECTRUM)) || spectrum->class_id != AP7_CLASS_ID) return 0;
  const uint32_t result = ap7a_destroy_parts(spectrum, window);
  if (result != AP_DESTROYED) return result;
  APX_CLASSREC* record = ap7a_class();
  if (!GU3_HeapRelease_MM(record->instance_heap, spectrum)) return 0;
  --record->live;
  return AP_DESTROYED;
}

AP7_SPECTRUM* ap7a_Duplicate(AP7_SPECTRUM* spectrum, HWND window) {
  if (ap7a_spectrum(spectrum) == nullptr) return nullptr;
  AP7_SPECTRUM* copy = ap7a_Create(AP7_CLASS_ID, nullptr, ap7a_points(spectrum));
  if (copy == nullptr) return nullptr;
  if (ap7a_Copy(spectrum, copy, window)) return copy;
  ap7a_Delete(copy, nullptr);
  return nullptr;
}

uint32_t ap7a_GetSize(const AP7_SPECTRUM* spectrum) {
  if (ap7a_spectrum(spectrum) == nullptr) return 0;
  uint32_t size = kCellAndHeaderBytes;
  for (ap7a_part part : kParts) {
    void* object = ap7a_part_of(spectrum, part);
    if (part != ap7a_part::header && object != nullptr) size += GU2_DoMethod_MSG(AP_MSG_SIZE, object, nullptr);
  }
  return size;
}

uint16_t ap7a_GetClassName(char* buffer) {
  if (buffer != nullptr) ap2_copy_class_name(buffer, kClassName);
  return 1;
}

int16_t ap7a_IsModified(const AP7_SPECTRUM* spectrum) {
  if (ap7a_spectrum(spectrum) == nullptr) return -1;
  const int16_t state = ap2_GetChangeState_OBJ(ap7a_root_of(spectrum->data));
  for (ap7a_part part : kParts) {
    void* object = ap7a_part_of(spectrum, part);
    if (part == ap7a_part::data || object == nullptr) continue;
    if (static_cast<int16_t>(GU2_DoMethod_MSG(AP_MSG_GET_CHANGE_STATE, object, nullptr)) == AP2_CHANGED)
      return AP2_CHANGED;
  }
  return state;
}

uint16_t ap7a_SetModified(AP7_SPECTRUM* spectrum, int16_t state) {
  if (ap7a_spectrum(spectrum) == nullptr) return 0;
  AP_WORDPARM block{static_cast<uint16_t>(state)};
  for (ap7a_part part : kParts) {
    void* object = ap7a_part_of(spectrum, part);
    if (object != nullptr && GU2_DoMethod_MSG(AP_MSG_SET_CHANGE_STATE, object, &block) == 0) return 0;
  }
  return 1;
}

// The source is read, never changed: a narrower target takes the source's
// first columns without the source losing its own, and the target's
// sub-spectra and list are replaced only once their copies exist. A copy
// onto itself has nothing to do.
uint16_t ap7a_Copy(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* target, HWND window) {
  if (ap7a_spectrum(spectrum) == nullptr || ap7a_spectrum(target) == nullptr) return 0;
  if (spectrum == target) return 1;
  if (spectrum->data == nullptr || target->data == nullptr) return 0;
  {
    ap7a_narrowed_extent narrowed(spectrum->data, target->data, ap7a_points(spectrum));
    if (!ap4a_Copy(spectrum->data, target->data, window)) return 0;
  }
  capobj_StrCopyN(spectrum->name, target->name, AP7_TEXT_FIELD);
  ap41_Copy_SH(spectrum->header, target->header, window);
  ap7a_copy_part(spectrum->annotation, target->annotation, window);
  ap7a_copy_part(spectrum->history, target->history, window);
  ap7a_copy_part(spectrum->comment, target->comment, window);
  // Everything is read from the source before the target's old sub-spectra
  // go: the source may be one of them.
  AP7_SPECTRUM* sub_a = ap7a_Duplicate(spectrum->subSpectrumA, window);
  AP7_SPECTRUM* sub_b = ap7a_Duplicate(spectrum->subSpectrumB, window);
  ap7d_CopyListTo(spectrum, target);
  ap7a_replace_sub(target, ap7a_part::sub_a, sub_a);
  ap7a_replace_sub(target, ap7a_part::sub_b, sub_b);
  return 1;
}

// A text part the source lacks stays absent in the new spectrum, as
// callers tell "no history" from an empty one.
AP7_SPECTRUM* ap7b_NewLike(AP7_SPECTRUM* spectrum, HWND window) {
  AP7_SPECTRUM* source = ap7a_spectrum(spectrum);
  if (ap7a_record(source) == nullptr) return nullptr;
  AP7_SPECTRUM* like = ap7a_Create(AP7_CLASS_ID, nullptr, 0);
  if (like == nullptr) return nullptr;
  const bool data_gone = ap7a_destroy_part(like->data, ap7a_part::data, nullptr) == AP_DESTROYED;
  if (data_gone) like->data = nullptr;
  bool copied = data_gone && ap41_Copy_SH(source->header, like->header, nullptr) != 0 &&
                ap7a_copy_part(source->annotation, like->annotation, nullptr) != 0;
  for (ap7a_part part : {ap7a_part::history, ap7a_part::comment}) {
    void* text = ap7a_part_of(source, part);
    void* target = ap7a_part_of(like, part);
    if (text != nullptr) {
      copied = copied && ap7a_copy_part(text, target, nullptr) != 0;
    } else if (ap7a_destroy_part(target, part, nullptr) == AP_DESTROYED) {
      ap7a_clear_part(like, part);
    } else {
      copied = false;
    }
  }
  if (!copied) {
    ap7a_Delete(like, nullptr);
    return nullptr;
  }
  capobj_StrCopyN(source->name, like->name, AP7_TEXT_FIELD);
  ap7a_replace_sub(like, ap7a_part::sub_a, ap7a_Duplicate(source->subSpectrumA, window));
  ap7a_replace_sub(like, ap7a_part::sub_b, ap7a_Duplicate(source->subSpectrumB, window));
  return like;
}

// The array's outermost object becomes the spectrum, so that its notices
// and its copies go out as the spectrum's.
uint16_t ap7a_LinkData(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, float first_x, float last_x, uint32_t count) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || checked->data != nullptr || !ap4a_is_array(array)) return 0;
  if (!ap2_SetOuterObject_OBJ(ap7a_root_of(array), reinterpret_cast<AP_OBJECT*>(checked))) return 0;
  record->points = count;
  record->first_x = first_x;
  record->last_x = last_x;
  return 1;
}

// The source's sub-spectra and name are lent to nobody: they are set aside
// for the copy and put back before the message returns.
AP7_SPECTRUM* ap7a_DuplicateBare(AP7_SPECTRUM* spectrum, HWND window) {
  if (ap7a_spectrum(spectrum) == nullptr) return nullptr;
  AP7_SPECTRUM* sub_a = spectrum->subSpectrumA;
  AP7_SPECTRUM* sub_b = spectrum->subSpectrumB;
  const char first = spectrum->name[0];
  spectrum->subSpectrumA = nullptr;
  spectrum->subSpectrumB = nullptr;
  spectrum->name[0] = '\0';
  AP7_SPECTRUM* copy = ap7a_Duplicate(spectrum, window);
  spectrum->subSpectrumA = sub_a;
  spectrum->subSpectrumB = sub_b;
  spectrum->name[0] = first;
  return copy;
}

// ---------------------------------------------------------------------------
// Record operations

uint16_t ap7a_GetHeaderTextFields(const AP7_SPECTRUM* spectrum, const AP7_TEXTFIELDSPARM* fields) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || fields == nullptr) return 0;
  char* texts[] = {record->p51, record->p52, record->p53, record->p54};
  for (char** field : fields->fields) {
    if (IsBadWritePtr(field, sizeof(char*))) return 0;
  }
  for (size_t i = 0; i < std::size(texts); ++i) *fields->fields[i] = texts[i];
  return 1;
}

uint16_t ap7a_SetHeaderParam2(AP7_SPECTRUM* spectrum, const uint32_t* value) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr || IsBadReadPtr(value, sizeof(uint32_t))) return 0;
  uint32_t p2 = *value;
  return GU2_SetParmValue_MSG(checked->header, AP41_TIME, &p2) != 0 ? 1 : 0;
}

uint16_t ap7a_GetPointCount(const AP7_SPECTRUM* spectrum, uint32_t* count) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(count, sizeof(uint32_t))) return 0;
  *count = record->points;
  return 1;
}

// The floats are taken as their 16-bit halves, low half first, each signed.
uint16_t ap7a_DataChecksum(const AP7_SPECTRUM* spectrum, uint32_t* sum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(sum, sizeof(uint32_t))) return 0;
  *sum = 0;
  const uint32_t points = record->points;
  const float* values = ap7a_values(spectrum, points);
  if (values == nullptr) return 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(values);
  uint32_t total = 0;
  for (uint32_t word = 0; word < 2 * points; ++word) {
    int16_t half = 0;
    std::memcpy(&half, bytes + word * sizeof half, sizeof half);
    total += static_cast<uint32_t>(int32_t{half} * static_cast<int32_t>(word % kChecksumWeights + 1));
  }
  *sum = total != 0 ? total : 1;
  return 1;
}

uint16_t ap7a_MakeXAscending(AP7_SPECTRUM* spectrum) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0;
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  const uint32_t points = record->points;
  float* values = ap7a_values(spectrum, points);
  if (values == nullptr) return 0;
  if (!(first_x >= last_x)) return 1;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  for (uint32_t low = 0, high = points; low + 1 < high; ++low, --high) std::swap(values[low], values[high - 1]);
  record->first_x = last_x;
  record->last_x = first_x;
  return 1;
}
