// Accessors of one part of a spectrum, and the class's termination.
//
// Reads and replaces a spectrum's header, annotation, name, file path, the
// two sub-spectra, the data handle and data address, the title and header
// parameter 2. A getter of a part hands out the spectrum's own object, which
// the caller must not destroy; a getter of a duplicate hands out a new object
// that the caller owns; a setter destroys the part it replaces and adopts
// the given one. Texts from callers are copied only when they fit their
// field whole, and texts go out to callers terminated. AP7_Dispatcher_SPECTRUM
// calls these for their messages; class release calls the termination at
// unload.
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kMaxDataPoints = 0x7FFFFFFF / sizeof(float);

// A duplicate of a part, made by the part's own class.
template <typename T>
T* ap7b_duplicate_part(T* part) {
  if (part == nullptr) return nullptr;
  AP_WINDOWPARM block{nullptr, 0};
  return ap_result_object<T>(GU2_DoMethod_MSG(AP_MSG_DUPLICATE, part, &block));
}

uint32_t ap7b_destroy_part(void* part) {
  AP_WINDOWPARM block{nullptr, 0};
  return GU2_DoMethod_MSG(AP_MSG_DESTROY, part, &block);
}

// Whether the given part may take the current one's place: the current one
// is the given one, or it went. A part that will not go stays.
bool ap7b_current_gone(void* current, void* given) {
  return given == current || ap7b_destroy_part(current) == AP_DESTROYED;
}

AP34_ANNOTATION* ap7b_annotation(void* object) {
  return gu2_ClassIdOf(object) == AP34_CLASS_ID ? static_cast<AP34_ANNOTATION*>(object) : nullptr;
}

// The length of a caller's text when it fits a field of `size` bytes with
// its terminator, else -1.
int32_t ap7b_fitting_length(const char* text, uint32_t size) {
  if (text == nullptr) return -1;
  const size_t length = strnlen(text, size);
  return length < size ? static_cast<int32_t>(length) : -1;
}

// Copies a field into a caller's buffer, cut to the field's size and
// terminated.
uint16_t ap7b_copy_out(const char* field, uint32_t size, char* buffer) {
  const size_t length = strnlen(field, size - 1);
  if (IsBadWritePtr(buffer, length + 1)) return 0;
  std::memcpy(buffer, field, length);
  buffer[length] = '\0';
  return 1;
}

// Whether a sub-spectrum the spectrum owns stays owned after message 162.
bool ap7b_kept(const AP7_SPECTRUM* current, const AP7_SPECTRUM* sub_a, const AP7_SPECTRUM* sub_b) {
  return current == sub_a || current == sub_b;
}

}  // namespace

// ---------------------------------------------------------------------------
// Header and annotation

AP41_SPECTRALHEADER* ap7b_DuplicateHeader(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? ap7b_duplicate_part(ap41_header(checked->header)) : nullptr;
}

// Only a header is adopted, and the spectrum's own header is kept as it is.
uint16_t ap7b_ReplaceHeader(AP7_SPECTRUM* spectrum, AP41_SPECTRALHEADER* header) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr || ap41_header(header) == nullptr) return 0;
  if (header == checked->header) return 1;
  ap7b_destroy_part(checked->header);
  checked->header = header;
  return 1;
}

AP34_ANNOTATION* ap7b_DuplicateAnnotation(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? ap7b_duplicate_part(ap7b_annotation(checked->annotation)) : nullptr;
}

uint16_t ap7b_CopyAnnotationFrom(AP7_SPECTRUM* spectrum, AP34_ANNOTATION* annotation) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || ap7b_annotation(annotation) == nullptr) return 0;
  AP34_ANNOTATION* copy = ap7b_duplicate_part(annotation);
  if (copy == nullptr) return 0;
  if (checked->annotation != nullptr) ap7b_destroy_part(checked->annotation);
  checked->annotation = copy;
  return 1;
}

AP41_SPECTRALHEADER* ap7b_GetHeader(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? checked->header : nullptr;
}

uint16_t ap7b_SetHeader(AP7_SPECTRUM* spectrum, AP41_SPECTRALHEADER* header) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr || ap41_header(header) == nullptr ||
      !ap7b_current_gone(checked->header, header))
    return 0;
  checked->header = header;
  return 1;
}

AP34_ANNOTATION* ap7b_GetAnnotation(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? checked->annotation : nullptr;
}

uint16_t ap7b_SetAnnotation(AP7_SPECTRUM* spectrum, AP34_ANNOTATION* annotation) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || checked->annotation == nullptr || ap7b_annotation(annotation) == nullptr ||
      !ap7b_current_gone(checked->annotation, annotation))
    return 0;
  checked->annotation = annotation;
  return 1;
}

// ---------------------------------------------------------------------------
// Path, name and sub-spectra

// A path longer than its field is refused whole rather than cut into
// another file's name.
uint16_t ap7b_SetFilePath(AP7_SPECTRUM* spectrum, const char* path) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const int32_t length = ap7b_fitting_length(path, AP7_TEXT_FIELD);
  if (checked == nullptr || length < 0) return 0;
  std::memcpy(checked->path, path, static_cast<size_t>(length) + 1);
  return 1;
}

uint16_t ap7b_GetFilePath(const AP7_SPECTRUM* spectrum, char* buffer) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? ap7b_copy_out(checked->path, AP7_TEXT_FIELD, buffer) : 0;
}

uint16_t ap7b_GetNameAndSubSpectra(const AP7_SPECTRUM* spectrum, const AP7_GETNAMEPARM* out) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || out == nullptr || IsBadWritePtr(out->sub_a, sizeof(AP7_SPECTRUM*)) ||
      IsBadWritePtr(out->sub_b, sizeof(AP7_SPECTRUM*)) || !ap7b_copy_out(checked->name, AP7_TEXT_FIELD, out->name))
    return 0;
  *out->sub_a = checked->subSpectrumA;
  *out->sub_b = checked->subSpectrumB;
  return 1;
}

// The spectrum owns each sub-spectrum once: a current one given again, in
// either place, stays; the others go. A name that does not fit, the
// spectrum itself, an object that is no spectrum, or one spectrum for both
// places is refused before anything changes.
uint16_t ap7b_SetNameAndSubSpectra(AP7_SPECTRUM* spectrum, const char* name, AP7_SPECTRUM* sub_a,
                                   AP7_SPECTRUM* sub_b) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || (name != nullptr && ap7b_fitting_length(name, AP7_TEXT_FIELD) < 0)) return 0;
  for (const AP7_SPECTRUM* sub : {sub_a, sub_b}) {
    if (sub != nullptr && (sub == checked || ap7a_spectrum(sub) == nullptr)) return 0;
  }
  if (sub_a != nullptr && sub_a == sub_b) return 0;
  if (name != nullptr) std::strcpy(checked->name, name);
  for (AP7_SPECTRUM* current : {checked->subSpectrumA, checked->subSpectrumB}) {
    if (current != nullptr && !ap7b_kept(current, sub_a, sub_b)) ap7a_Delete(current, nullptr);
  }
  checked->subSpectrumA = sub_a;
  checked->subSpectrumB = sub_b;
  return 1;
}

// ---------------------------------------------------------------------------
// Data

GU3_HANDLE ap7b_GetDataHandle(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr && ap4a_is_array(checked->data) ? checked->data->data : nullptr;
}

// The block must hold the count of floats it is adopted for; the old block
// goes first, and a block that will not go leaves everything as it was.
uint16_t ap7b_SetDataHandle(AP7_SPECTRUM* spectrum, float first_x, float last_x, uint32_t count,
                            GU3_HANDLE block) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || !ap4a_is_array(checked->data) || count == 0 || count > kMaxDataPoints) return 0;
  const uint64_t bytes = uint64_t{GU3_NumElements_MM(block)} * GU3_LenElements_MM(block);
  if (bytes < uint64_t{count} * sizeof(float)) return 0;
  AP4_ARRAY* data = checked->data;
  ap7a_change_bracket bracket(checked);
  if (!bracket.begun()) return 0;
  if (data->data != nullptr && data->data != block && !GU3_Free_MM(data->data)) return 0;
  data->data = block;
  data->rows = 1;
  data->columns = count;
  record->points = count;
  record->first_x = first_x;
  record->last_x = last_x;
  return 1;
}

float* ap7b_GetDataPtr(const AP7_SPECTRUM* spectrum) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  return checked != nullptr ? ap4a_GetDataAddress(checked->data) : nullptr;
}

// ---------------------------------------------------------------------------
// Title and header parameter 2

// A title too long for its field is stored cut to 255 characters and
// answered 0; the caller's text is only read.
uint16_t ap7b_GetSetTitle(AP7_SPECTRUM* spectrum, char* text, uint16_t get) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || text == nullptr) return 0;
  if (get) return ap7b_copy_out(record->title, AP7_TITLE_FIELD, text);
  char title[AP7_TITLE_FIELD] = {};
  const size_t length = strnlen(text, AP7_TITLE_FIELD);
  std::memcpy(title, text, length < AP7_TITLE_FIELD ? length : AP7_TITLE_FIELD - 1);
  if (GU2_SetParmValue_MSG(spectrum->header, AP41_TITLE, title) == 0) return 0;
  return length < AP7_TITLE_FIELD ? 1 : 0;
}

uint16_t ap7b_GetHeaderP2(const AP7_SPECTRUM* spectrum, uint32_t* value) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(value, sizeof(uint32_t))) return 0;
  *value = record->time;
  return 1;
}

// ---------------------------------------------------------------------------
// The class

uint16_t ap7b_TermClass(uint16_t class_id) {
  if (class_id != AP7_CLASS_ID) return 0;
  APX_CLASSREC* record = apx_class_record(AP7_CLASS_ID);
  uint16_t result = 0;
  if (record->instance_heap != nullptr) result = GU3_Free_MM(record->instance_heap);
  if (record->data_block != nullptr) result = GU3_Free_MM(record->data_block);
  record->instance_heap = nullptr;
  record->data_block = nullptr;
  // The peak cache's blocks go with the memory manager at unload.
  AP7D_InitPeakCache(0, 0);
  return result;
}
