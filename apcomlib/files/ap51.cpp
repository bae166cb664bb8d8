// AP51 GROUP_FILE: the file object through which a list of spectra is
// saved as one group file and its members are read back.
//
// Owns the class's instance heap, the list of group formats registered on
// the class, and each object's file part (class 20, whose outer object is
// the group-file object) and format object. It finds the group format of a
// file by probing, opens the file and creates the format object, forwards
// the group messages to it, deletes a file whose save failed, and hands a
// group saved under a ".GAML" name to the outside GAML export converter.
// The converter's several-trace save and the spectrum's group reads come
// through here; the native group format (ap52.cpp) is its format object.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "components/gamlwriter/gamlwriter.h"
#include "files/files.h"
#include "platform/codepage.h"
#include "platform/com.h"
#include "platform/memory.h"
#include "platform/oleaut.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kCellsPerBlock = 10;
constexpr uint16_t kCellBytes = 36;
static_assert(sizeof(AP51_GROUP_FILE) <= kCellBytes);
constexpr char kClassName[] = "AP51_GROUP_FILE";

// The group formats probed, in this order, when a dispatcher is installed
// for them; then the classes registered on class 51. An open accepts the
// same classes by name (and no special rule for X-Y pairs files).
constexpr uint16_t kDetectionOrder[] = {AP52_CLASS_ID, AP51_FORMAT_OTHER_GROUP};

// The GAML export converter, as an in-process server, handler or local server.
constexpr DWORD kExportContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

AP20_FILE* ap51_file_part(const AP51_GROUP_FILE* group_file) {
  return group_file != nullptr ? ap20_file(group_file->head.parent) : nullptr;
}


const AP21_FORMATS kGroupFormats = {AP51_CLASS_ID, kDetectionOrder, std::size(kDetectionOrder), kDetectionOrder,
                                    std::size(kDetectionOrder)};

AP21_PAIR ap51_pair(AP51_GROUP_FILE* group_file) {
  return AP21_PAIR{&group_file->head, reinterpret_cast<char*>(group_file) + offsetof(AP51_GROUP_FILE, format), ap51_file_part(group_file), &kGroupFormats};
}

uint16_t ap51_class_name(AP51_GROUP_FILE* group_file, char* buffer) {
  return group_file != nullptr ? ap21_PairClassName(ap51_pair(group_file), kClassName, buffer) : 0;
}

uint32_t ap51_get_size(AP51_GROUP_FILE* group_file) {
  return group_file != nullptr ? ap21_PairSize(ap51_pair(group_file), kCellBytes) : 0;
}

uint16_t ap51_write_object(AP51_GROUP_FILE* group_file, void* target) {
  return group_file != nullptr ? ap21_PairWriteObject(ap51_pair(group_file), target) : 0;
}

uint16_t ap51_copy(AP51_GROUP_FILE* group_file, const AP51_GROUP_FILE* other, HWND window) {
  if (group_file == nullptr || ap51_group_file(other) == nullptr) return 0;
  if (ap20_IsOpen(ap51_file_part(group_file)) && !ap51_Close(group_file)) return 0;
  return ap20c_Copy(ap51_file_part(group_file), ap51_file_part(other), window);
}

// A message for the format object, answered only while the file is open.
uint32_t ap51_forward_open(AP51_GROUP_FILE* group_file, uint16_t message, void* parameter) {
  if (group_file == nullptr || group_file->format == nullptr || !ap20_IsOpen(ap51_file_part(group_file))) return 0;
  return GU2_DoMethod_MSG(message, group_file->format, parameter);
}

uint32_t ap51_forward(AP51_GROUP_FILE* group_file, uint16_t message, void* parameter) {
  if (group_file == nullptr || group_file->format == nullptr) return 0;
  return GU2_DoMethod_MSG(message, group_file->format, parameter);
}

// A stored interferogram of a member, when the format says it is there.
uint32_t ap51_read_interferogram(AP51_GROUP_FILE* group_file, AP51_IFGPARM* parameter) {
  if (ap51_forward_open(group_file, AP51_MSG_HAS_INTERFEROGRAM, parameter) != 1) return 0;
  return ap51_forward_open(group_file, AP51_MSG_READ_INTERFEROGRAM, parameter);
}

// The members read come as saved.
uint32_t ap51_read_range(AP51_GROUP_FILE* group_file, void* parameter) {
  auto* list = ap_result_object<AP_OBJECT>(ap51_forward_open(group_file, AP51_MSG_READ_RANGE, parameter));
  const uint32_t count = list != nullptr ? GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr) : 0;
  for (uint32_t index = 0; index < count; ++index) {
    AP40_INDEXPARM at{index};
    AP7_SPECTRUM* spectrum = ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at)));
    if (spectrum != nullptr) ap7a_SetModified(spectrum, AP2_SAVED);
  }
  return ap_object_result(list);
}

uint32_t ap51_title(AP51_GROUP_FILE* group_file, AP51_TITLEPARM* parameter) {
  return parameter->buffer != nullptr ? ap51_forward_open(group_file, AP51_MSG_TITLE, parameter) : 0;
}

uint16_t ap51_get_values(AP51_GROUP_FILE* group_file, const AP51_VALUESPARM* parameter) {
  if (group_file == nullptr || IsBadWritePtr(parameter->first, sizeof(float)) ||
      IsBadWritePtr(parameter->second, sizeof(float)) || IsBadWritePtr(parameter->third, sizeof(float)))
    return 0;
  *parameter->first = group_file->values[0];
  *parameter->second = group_file->values[1];
  *parameter->third = group_file->values[2];
  return 1;
}

// A text as the converter takes it; null when it cannot be made.
BSTR ap51_bstr(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (result != nullptr) MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
  return result;
}

// The converter turns the copy at `source` into GAML at `target`.
bool ap51_convert(const char* source, const char* target) {
  IGamlExportConverter* converter = nullptr;
  if (FAILED(CoCreateInstance(CLSID_GamlExportConverter, nullptr, kExportContext, IID_IGamlExportConverter,
                              reinterpret_cast<void**>(&converter))) ||
      converter == nullptr)
    return false;
  BSTR texts[5] = {ap51_bstr(source), ap51_bstr(AP51_NATIVE_FORMAT), ap51_bstr(target), ap51_bstr(AP51_GAML_FORMAT),
                   ap51_bstr("")};
  bool converted = true;
  for (BSTR text : texts) converted = converted && text != nullptr;
  converted = converted && converter->ConvertFile(texts[0], texts[1], texts[2], texts[3], texts[4]) == S_OK;
  for (BSTR text : texts) SysFreeString(text);
  converter->Release();
  return converted;
}

bool ap51_is_gaml_name(const char* name) {
  const size_t length = std::strlen(name);
  const size_t extension = sizeof AP51_GAML_EXTENSION - 1;
  return length >= extension && _stricmp(name + length - extension, AP51_GAML_EXTENSION) == 0;
}

uint32_t ap51_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP_MSG_COPY: return sizeof(AP21_OTHERPARM);
    case AP21_MSG_OPEN: return sizeof(AP21_OPENPARM);
    case AP21_MSG_DETECT: return sizeof(AP21_DETECTPARM);
    case AP21_MSG_REGISTER_FORMAT:
    case AP20_MSG_SET_ERROR: return sizeof(uint16_t);
    case AP51_MSG_READ_RANGE: return sizeof(AP51_RANGEPARM);
    case AP51_MSG_READ_INTERFEROGRAM: return sizeof(AP51_IFGPARM);
    case AP51_MSG_TITLE: return sizeof(AP51_TITLEPARM);
    case AP51_MSG_GET_VALUES: return sizeof(AP51_VALUESPARM);
    case AP51_MSG_READ_SPECTRUM:
    case AP51_MSG_NEEDS_FIRST_FIELD: return sizeof(uint32_t);
    case AP51_MSG_WRITE_SPECTRUM: return sizeof(AP51_SPECTRUMPARM);
    case AP51_MSG_READ_WITH_VALUES: return sizeof(AP51_WORDVALUEPARM);
    case AP51_MSG_OPENS_READWRITE: return sizeof(uint16_t);
    case AP51_MSG_READ_SPECTRUM_AT: return 3 * sizeof(uint32_t);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap51_InitClass(uint16_t class_id) {
  if (class_id != AP51_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, kCellsPerBlock, kCellBytes, "AP51");
}

uint16_t ap51_TermClass(uint16_t class_id) {
  if (class_id != AP51_CLASS_ID) return 0;
  ap20_FreeFormatClasses(AP51_CLASS_ID);
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// The object

AP51_GROUP_FILE* ap51_group_file(const void* object) {
  auto* group_file = static_cast<AP51_GROUP_FILE*>(const_cast<void*>(object));
  if (IsBadReadPtr(group_file, sizeof *group_file) || group_file->head.class_id != AP51_CLASS_ID) return nullptr;
  return group_file;
}

AP51_GROUP_FILE* ap51_Create(AP_OBJECT* outer) {
  auto* group_file = reinterpret_cast<AP51_GROUP_FILE*>(ap21_CreatePaired(AP51_CLASS_ID, outer));
  if (group_file != nullptr) *group_file = AP51_GROUP_FILE{group_file->head, nullptr, {0.0f, 0.0f, 0.0f}};
  return group_file;
}

uint32_t ap51_Destroy(AP51_GROUP_FILE* group_file, HWND window) {
  return group_file != nullptr ? ap21_DestroyPair(ap51_pair(group_file), window) : 0;
}

// ---------------------------------------------------------------------------
// Open, detection, close and delete

uint16_t ap51_Open(AP51_GROUP_FILE* group_file, uint16_t mode, uint16_t* class_id, uint16_t* result) {
  return group_file != nullptr ? ap21_OpenPair(ap51_pair(group_file), mode, class_id, result) : 0;
}

uint16_t ap51_IdentifyFormat(AP51_GROUP_FILE* group_file, uint16_t* class_id, uint16_t* result) {
  return group_file != nullptr ? ap21_IdentifyPair(ap51_pair(group_file), class_id, result) : 0;
}

uint16_t ap51_Close(AP51_GROUP_FILE* group_file) {
  return group_file != nullptr ? ap21_ClosePair(ap51_pair(group_file)) : 0;
}

uint16_t ap51_DeleteFile(AP51_GROUP_FILE* group_file) {
  return group_file != nullptr ? ap21_DeletePair(ap51_pair(group_file)) : 0;
}

// ---------------------------------------------------------------------------
// GAML export

// The converter reads a copy in the temporary folder, so that it may write
// its output over the group file's own name; the copy goes in every case.
uint16_t ap51_ExportGaml(AP51_GROUP_FILE* group_file) {
  AP20_FILE* file = ap51_file_part(group_file);
  char target[AP20_NAME_SIZE];
  if (file == nullptr || !ap20_CopyFileName(file, target) || std::strlen(target) <= 4) return 0;
  if (!ap51_is_gaml_name(target)) return 1;
  ap51_Close(group_file);
  char folder[MAX_PATH];
  char copy[MAX_PATH];
  if (!GU12_GetValidSysTempPath(folder) || GetTempFileNameA(folder, AP51_TEMP_PREFIX, 0, copy) == 0) return 0;
  if (!CopyFileA(target, copy, FALSE)) {
    GU4_remove(copy);
    return 0;
  }
  const bool converted = ap51_convert(copy, target);
  GU4_remove(copy);
  if (converted) return 1;
  ap20_SetFileError(file, AP20_ERROR_GAML_EXPORT);
  return 0;
}

// ---------------------------------------------------------------------------
// Saving a group

namespace {

AP7_SPECTRUM* ap51_member(AP_OBJECT* list, uint32_t index) {
  AP40_INDEXPARM at{index};
  return ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &at)));
}

// A member whose stored interferograms lie in the file about to be cut
// reads those it lacks before the cut and keeps them as its sub-spectra;
// the file is closed for it and opened again as it was.
uint16_t ap51_keep_stored(AP51_GROUP_FILE* group_file, AP7_SPECTRUM* spectrum, const char* target) {
  char reference[AP7_TEXT_FIELD];
  capobj_StrCopyN(spectrum->name, reference, sizeof reference);
  const int32_t member = ap21_CutMember(reference);
  const bool background = spectrum->subSpectrumA == nullptr;
  const bool sample = spectrum->subSpectrumB == nullptr;
  if (reference[0] == '\0' || !(background || sample) || !ap21_IsSameFile(reference, target)) return 1;
  AP20_FILE* file = ap51_file_part(group_file);
  const uint16_t mode = ap20_GetOpenMode(file);
  uint16_t class_id = group_file->format != nullptr ? group_file->format->class_id : 0;
  if (!ap51_Close(group_file)) return 0;
  const AP21_STORED found = ap21_ReadStored(reference, member, background, sample);
  if ((found.background != nullptr || found.sample != nullptr) &&
      !ap7b_SetNameAndSubSpectra(spectrum, nullptr, background ? found.background : spectrum->subSpectrumA,
                                 sample ? found.sample : spectrum->subSpectrumB)) {
    for (AP7_SPECTRUM* interferogram : {found.background, found.sample})
      if (interferogram != nullptr) ap7a_Delete(interferogram, nullptr);
    return 0;
  }
  return ap51_Open(group_file, ap20_ModeToReopen(file, mode), &class_id, nullptr);
}

// One member's stored interferograms into the new file, those it lacks
// borrowed from the file its reference names and destroyed after. The
// member then refers to the new file, except when that file goes on to
// GAML: no reference may name a file that will not hold them.
uint16_t ap51_write_stored(AP51_GROUP_FILE* group_file, AP7_SPECTRUM* spectrum, uint16_t index, uint32_t key3,
                           const char* target) {
  if (spectrum->subSpectrumA == nullptr && spectrum->subSpectrumB == nullptr && spectrum->name[0] == '\0') return 1;
  AP21_STORED borrowed;
  if (spectrum->name[0] != '\0' && (spectrum->subSpectrumA == nullptr || spectrum->subSpectrumB == nullptr)) {
    char reference[AP7_TEXT_FIELD];
    capobj_StrCopyN(spectrum->name, reference, sizeof reference);
    const int32_t member = ap21_CutMember(reference);
    borrowed = ap21_ReadStored(reference, member, spectrum->subSpectrumA == nullptr,
                               spectrum->subSpectrumB == nullptr);
  }
  AP7_SPECTRUM* background = spectrum->subSpectrumA != nullptr ? spectrum->subSpectrumA : borrowed.background;
  AP7_SPECTRUM* sample = spectrum->subSpectrumB != nullptr ? spectrum->subSpectrumB : borrowed.sample;
  bool written = false;
  if (background != nullptr) {
    AP51_WRITEIFGPARM parameter{AP21_BACKGROUND, reinterpret_cast<AP_OBJECT*>(background), index, key3};
    written = ap51_forward(group_file, AP51_MSG_WRITE_INTERFEROGRAM, &parameter) != 0;
  }
  if (sample != nullptr) {
    AP51_WRITEIFGPARM parameter{AP21_SAMPLE, reinterpret_cast<AP_OBJECT*>(sample), index, key3};
    written = ap51_forward(group_file, AP51_MSG_WRITE_INTERFEROGRAM, &parameter) != 0 || written;
  }
  for (AP7_SPECTRUM* interferogram : {borrowed.background, borrowed.sample})
    if (interferogram != nullptr) ap7a_Delete(interferogram, nullptr);
  if (background == nullptr && sample == nullptr) return 1;
  if (!written) return 0;
  if (ap51_is_gaml_name(target)) {
    char reference[AP7_TEXT_FIELD];
    capobj_StrCopyN(spectrum->name, reference, sizeof reference);
    ap21_CutMember(reference);
    return reference[0] == '\0' || !ap21_IsSameFile(reference, target) ||
           ap7b_SetNameAndSubSpectra(spectrum, "", spectrum->subSpectrumA, spectrum->subSpectrumB);
  }
  char reference[AP7_TEXT_FIELD];
  const int length = std::snprintf(reference, sizeof reference, "%s;%2d", target, index);
  return length > 0 && length < static_cast<int>(sizeof reference) &&
         ap7b_SetNameAndSubSpectra(spectrum, reference, spectrum->subSpectrumA, spectrum->subSpectrumB);
}

}  // namespace

// The file is cut and the format writes the list; the members' stored
// interferograms follow, then the GAML export when the name asks for it.
// A failed save leaves a file the caller deletes (message 38).
uint16_t ap51_SaveGroup(AP51_GROUP_FILE* group_file, AP_OBJECT* list) {
  AP20_FILE* file = ap51_file_part(group_file);
  char target[AP20_NAME_SIZE];
  if (file == nullptr || list == nullptr || !ap20_CopyFileName(file, target)) return 0;
  const uint32_t count = GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr);
  if (count > AP20_NO_KEY2) return 0;
  for (uint32_t index = 0; index < count; ++index) {
    AP7_SPECTRUM* spectrum = ap51_member(list, index);
    if (spectrum == nullptr || !ap51_keep_stored(group_file, spectrum, target)) return 0;
  }
  if (!ap20_Seek(file, 0, FILE_BEGIN) || !ap20_Truncate(file) ||
      !ap51_forward(group_file, AP51_MSG_SAVE_GROUP, list))
    return 0;
  for (uint32_t index = 0; index < count; ++index) {
    if (!ap51_write_stored(group_file, ap51_member(list, index), static_cast<uint16_t>(index), 0, target)) return 0;
  }
  if (!ap51_ExportGaml(group_file)) return 0;
  for (uint32_t index = 0; index < count; ++index) {
    AP7_SPECTRUM* spectrum = ap51_member(list, index);
    ap7a_SetModified(spectrum, AP2_SAVED);
    ap7b_SetFilePath(spectrum, target);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Group messages of other group formats

namespace {

// Forwarded with no parameter block.
constexpr uint16_t kWithoutParameter[] = {148, 153, 157, 159, 161, 163, 165, 170, 172, 174};
// Forwarded whether the file is open or not.
constexpr uint16_t kOpenOrNot[] = {169, 173, 178};

bool ap51_listed(const uint16_t* first, size_t count, uint16_t message) {
  return std::find(first, first + count, message) != first + count;
}

// A spectrum a format read belongs to this file and is as saved; one whose
// path cannot be set is not handed out.
uint32_t ap51_returned_spectrum(AP51_GROUP_FILE* group_file, uint32_t answer) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(ap_result_object<AP_OBJECT>(answer));
  if (spectrum == nullptr) return answer;
  char name[AP20_NAME_SIZE];
  ap7a_SetModified(spectrum, AP2_SAVED);
  if (!ap20_CopyFileName(ap51_file_part(group_file), name) || !ap7b_SetFilePath(spectrum, name)) {
    ap7a_Delete(spectrum, nullptr);
    return 0;
  }
  return answer;
}

// The format fills the three values through aligned places; the object's
// own fields are packed.
uint32_t ap51_read_with_values(AP51_GROUP_FILE* group_file, void* parameter) {
  const uint32_t answer = ap51_forward_open(group_file, AP51_MSG_READ_WITH_VALUES, parameter);
  if (ap7a_spectrum(ap_result_object<AP_OBJECT>(answer)) == nullptr) return answer;
  float values[3] = {group_file->values[0], group_file->values[1], group_file->values[2]};
  AP51_VALUESPARM places{&values[0], &values[1], &values[2]};
  ap51_forward(group_file, AP51_MSG_GET_VALUES, &places);
  std::memcpy(group_file->values, values, sizeof values);
  return ap51_returned_spectrum(group_file, answer);
}

// A library spectrum is not written into a group. A spectrum is saved only
// when its stored interferograms went with it: one whose interferograms
// failed is not marked saved and the write answers 0.
uint32_t ap51_write_spectrum(AP51_GROUP_FILE* group_file, AP51_SPECTRUMPARM* parameter) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(parameter->spectrum);
  char target[AP20_NAME_SIZE];
  if (spectrum == nullptr || ap7b_TestHistoryFlag(parameter->spectrum, AP41_HISTORY_CORVANE_LIBRARY) != 0 ||
      !ap20_CopyFileName(ap51_file_part(group_file), target))
    return 0;
  if (ap51_forward_open(group_file, AP51_MSG_WRITE_SPECTRUM, parameter) == 0 ||
      !ap51_write_stored(group_file, spectrum, 0, parameter->value, target))
    return 0;
  ap7a_SetModified(spectrum, AP2_SAVED);
  return 1;
}

// A closed file is opened for the one message and closed again.
uint32_t ap51_forward_opened(AP51_GROUP_FILE* group_file, uint16_t message, void* parameter, uint16_t mode,
                             uint16_t class_id) {
  if (ap20_IsOpen(ap51_file_part(group_file))) return ap51_forward_open(group_file, message, parameter);
  if (!ap51_Open(group_file, mode, &class_id, nullptr)) return 0;
  const uint32_t answer = ap51_forward_open(group_file, message, parameter);
  ap51_Close(group_file);
  return answer;
}

// A group message 147 to 188 other than 179, whose block the dispatcher
// has checked.
uint32_t ap51_forward_group_message(AP51_GROUP_FILE* group_file, uint16_t message, void* parameter) {
  if (group_file == nullptr) return 0;
  switch (message) {
    case AP51_MSG_READ_SPECTRUM:
    case AP51_MSG_READ_SPECTRUM_AT:
      return ap51_returned_spectrum(group_file, ap51_forward_open(group_file, message, parameter));
    case AP51_MSG_WRITE_SPECTRUM:
      return ap51_write_spectrum(group_file, static_cast<AP51_SPECTRUMPARM*>(parameter));
    case AP51_MSG_READ_WITH_VALUES:
      return ap51_read_with_values(group_file, parameter);
    case AP51_MSG_OPENS_READWRITE:
      return ap51_forward_opened(group_file, message, parameter, AP20_MODE_READWRITE, 0);
    case AP51_MSG_OPENS_OTHER_GROUP:
      return ap51_forward_opened(group_file, message, parameter, AP20_MODE_READ, AP51_FORMAT_OTHER_GROUP);
    case AP51_MSG_NEEDS_FIRST_FIELD:
      return *static_cast<const uint32_t*>(parameter) != 0 ? ap51_forward_open(group_file, message, parameter) : 0;
    default:
      break;
  }
  if (ap51_listed(kOpenOrNot, std::size(kOpenOrNot), message)) return ap51_forward(group_file, message, parameter);
  const bool bare = ap51_listed(kWithoutParameter, std::size(kWithoutParameter), message);
  return ap51_forward_open(group_file, message, bare ? nullptr : parameter);
}

}  // namespace

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP51_Dispatcher_GROUP(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap51_block_size(message))) return 0;
  // Create and register are sent to a class id in place of an object.
  const bool to_class = message == AP_MSG_CREATE || message == AP_MSG_NEW || message == AP21_MSG_REGISTER_FORMAT;
  AP51_GROUP_FILE* group_file = to_class ? nullptr : ap51_group_file(object);
  AP20_FILE* file = ap51_file_part(group_file);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* other = static_cast<const AP21_OTHERPARM*>(parameter);
  const auto* open = static_cast<const AP21_OPENPARM*>(parameter);
  const auto* detect = static_cast<const AP21_DETECTPARM*>(parameter);
  const auto* word = static_cast<const AP20_WORDPARM*>(parameter);
  auto* interferogram = static_cast<AP51_IFGPARM*>(parameter);
  auto* title = static_cast<AP51_TITLEPARM*>(parameter);
  const auto* values = static_cast<const AP51_VALUESPARM*>(parameter);
  if (ap20_IsRootPartMessage(message)) return ap20_ToRootPart(file, message, parameter);
  if (ap20_IsFilePartMessage(message)) return ap20_ToFilePart(file, message, parameter);
  switch (message) {
    case AP_MSG_CREATE:                return ap_object_result(ap51_Create(static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_NEW:                   return AP2_Dispatcher_OBJ(object, message, parameter);
    case AP_MSG_DESTROY:               return ap51_Destroy(group_file, window->window);
    case AP_MSG_SIZE:                  return ap51_get_size(group_file);
    case AP_MSG_CLASS_NAME:            return ap51_class_name(group_file, static_cast<char*>(parameter));
    case AP_MSG_WRITE:                 return ap51_write_object(group_file, parameter);
    case AP_MSG_COPY:                  return ap51_copy(group_file, ap51_group_file(other->other), reinterpret_cast<HWND>(other->value));
    case AP21_MSG_DELETE:              return ap51_DeleteFile(group_file);
    case AP20_MSG_SET_ERROR:           return ap20_ToFilePart(file, message, parameter);
    case AP20_MSG_CLASS_ERROR:         return static_cast<uint32_t>(ap20_GetClassError());
    case AP21_MSG_OPEN:                return ap51_Open(group_file, open->mode, open->class_id, open->result);
    case AP21_MSG_CLOSE:               return ap51_Close(group_file);
    case AP21_MSG_DETECT:              return ap51_IdentifyFormat(group_file, detect->class_id, detect->result);
    case AP51_MSG_SAVE_GROUP:          return ap51_SaveGroup(group_file, static_cast<AP_OBJECT*>(parameter));
    case AP51_MSG_READ_INTERFEROGRAM:  return ap51_read_interferogram(group_file, interferogram);
    case AP51_MSG_TITLE:               return ap51_title(group_file, title);
    case AP51_MSG_READ_RANGE:          return ap51_read_range(group_file, parameter);
    case AP51_MSG_WRITE_DIRECTORY:
    case AP51_MSG_MEMBER_COUNT:        return ap51_forward_open(group_file, message, parameter);
    case AP51_MSG_READ_MEMBER:         return ap51_forward(group_file, message, parameter);
    case AP21_MSG_REGISTER_FORMAT:     return ap20_AddFormatClass(AP51_CLASS_ID, word->word);
    case AP51_MSG_GET_VALUES:          return ap51_get_values(group_file, values);
    default:                           break;
  }
  if (message >= AP51_MSG_GROUP_FIRST && message <= AP51_MSG_GROUP_LAST)
    return ap51_forward_group_message(group_file, message, parameter);
  return 0;
}
