// AP21 SPECTRUM_FILE: the file object through which one spectrum is read
// from or written to a file of any supported format.
//
// Owns the class's instance heap, the list of format classes registered on
// the class, and each object's file part (class 20, whose outer object is
// the spectrum-file object) and format object. It finds the format class of
// a file by probing the known classes and the registered ones, opens the
// file and creates the format object, forwards reads and writes to it,
// carries a spectrum's stored interferograms from file to file, and deletes
// a file whose save failed. The spectrum's save messages and the converter's
// single-trace save come through here; the single-spectrum format (ap45.cpp)
// and the exchange formats are its format objects.
#include <cstring>


#include "exchange/exchange.h"
#include "files/files.h"
#include "platform/codepage.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kCellsPerBlock = 10;
constexpr char kClassName[] = "AP21_SPECTRUM_FILE";
constexpr char kFormatSeparator[] = " : ";
// Class names are short; a format's name is taken into a buffer of this size.
constexpr size_t kClassNameBuffer = 128;

// The format classes probed, in this order, when a dispatcher is installed
// for them; then the classes registered on class 21.
constexpr uint16_t kDetectionOrder[] = {45, 25, 24, 23, 49, 50, 22, 63, 126, 129, 131, 139, 153, 152};
// The classes an open accepts by name, besides the registered ones.
constexpr uint16_t kAccepted[] = {22, 23, 24, 25, 45, 49, 50, 63, 126, 129, 131, 139, 152, 153};

AP20_FILE* ap21_file_part(const AP21_SPECTRUM_FILE* spectrum_file) {
  return spectrum_file != nullptr ? ap20_file(spectrum_file->head.parent) : nullptr;
}

void ap21_set_result(uint16_t* result, uint16_t code) {
  if (result != nullptr) *result = code;
}

AP_OBJECT* ap21_pair_format(const AP21_PAIR& pair) {
  AP_OBJECT* format = nullptr;
  std::memcpy(&format, pair.format, sizeof format);
  return format;
}

void ap21_set_pair_format(const AP21_PAIR& pair, AP_OBJECT* format) {
  std::memcpy(pair.format, &format, sizeof format);
}

void ap21_drop_format(const AP21_PAIR& pair) {
  if (AP_OBJECT* format = ap21_pair_format(pair)) {
    ap20_DestroyObject(format);
    ap21_set_pair_format(pair, nullptr);
  }
}

bool ap21_accepts(const AP21_PAIR& pair, uint16_t class_id) {
  const AP21_FORMATS* formats = pair.formats;
  for (uint32_t i = 0; i < formats->accepted_count; ++i) {
    if (formats->accepted[i] == class_id) return true;
  }
  return ap20_IsFormatClass(formats->file_class, class_id) != 0;
}

// Opens the file part in the mode and makes the format object of the class
// with the pair's owner as its owner (the steps an open and a probe share).
uint16_t ap21_open_as(const AP21_PAIR& pair, uint16_t mode, uint16_t class_id, uint16_t* result) {
  if (!ap21_accepts(pair, class_id)) {
    ap21_set_result(result, AP21_NOT_RECOGNISED);
    return 0;
  }
  // An X-Y pairs file is always written whole.
  if (pair.formats->file_class == AP21_CLASS_ID && class_id == AP21_FORMAT_XYPAIRS && mode == AP20_MODE_WRITE)
    mode = AP20_MODE_CREATE;
  if (!ap20_Open(pair.file, mode)) {
    ap21_set_result(result, AP21_OPEN_FAILED);
    return 0;
  }
  ap21_set_pair_format(pair, ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, pair.owner)));
  if (ap21_pair_format(pair) != nullptr) return 1;
  ap20_Close(pair.file);
  ap21_set_result(result, AP21_OPEN_FAILED);
  return 0;
}

enum class Probe { accepted, maybe, other, stopped };

Probe ap21_probe(const AP21_PAIR& pair, uint16_t class_id, uint16_t* result) {
  if (GU2_GetDispatcher(class_id) == nullptr) return Probe::other;
  if (!ap21_open_as(pair, AP20_MODE_READ, class_id, result)) return Probe::stopped;
  const uint32_t answer = GU2_DoMethod_MSG(AP21_FORMAT_TEST, ap21_pair_format(pair), nullptr);
  ap21_ClosePair(pair);
  if (answer == AP21_FORMAT_MINE) return Probe::accepted;
  return answer == AP21_FORMAT_MAYBE ? Probe::maybe : Probe::other;
}

// Probes one class: true when the detection ends with it (accepted or
// stopped by a failed open).
bool ap21_detection_ends(const AP21_PAIR& pair, uint16_t class_id, uint16_t* found, uint16_t* maybe,
                         uint16_t* result, uint16_t* answer) {
  switch (ap21_probe(pair, class_id, result)) {
    case Probe::accepted:
      *found = class_id;
      *answer = 1;
      return true;
    case Probe::stopped:
      *answer = 0;
      return true;
    case Probe::maybe:
      if (*maybe == 0) *maybe = class_id;
      return false;
    default:
      return false;
  }
}

const AP21_FORMATS kSpectrumFormats = {AP21_CLASS_ID, kDetectionOrder, std::size(kDetectionOrder), kAccepted,
                                       std::size(kAccepted)};

AP21_PAIR ap21_pair(AP21_SPECTRUM_FILE* spectrum_file) {
  return AP21_PAIR{&spectrum_file->head, reinterpret_cast<char*>(spectrum_file) + offsetof(AP21_SPECTRUM_FILE, format), ap21_file_part(spectrum_file), &kSpectrumFormats};
}

// The class name, and the format object's after " : " while there is one.
uint16_t ap21_class_name(AP21_SPECTRUM_FILE* spectrum_file, char* buffer) {
  return spectrum_file != nullptr ? ap21_PairClassName(ap21_pair(spectrum_file), kClassName, buffer) : 0;
}

uint32_t ap21_get_size(AP21_SPECTRUM_FILE* spectrum_file) {
  return spectrum_file != nullptr ? ap21_PairSize(ap21_pair(spectrum_file), sizeof(AP21_SPECTRUM_FILE)) : 0;
}

uint16_t ap21_write_object(AP21_SPECTRUM_FILE* spectrum_file, void* target) {
  return spectrum_file != nullptr ? ap21_PairWriteObject(ap21_pair(spectrum_file), target) : 0;
}

uint16_t ap21_copy(AP21_SPECTRUM_FILE* spectrum_file, const AP21_SPECTRUM_FILE* other, HWND window) {
  if (spectrum_file == nullptr || ap21_spectrum_file(other) == nullptr) return 0;
  if (ap20_IsOpen(ap21_file_part(spectrum_file)) && !ap21_Close(spectrum_file)) return 0;
  return ap20c_Copy(ap21_file_part(spectrum_file), ap21_file_part(other), window);
}

uint16_t ap21_compare(AP21_SPECTRUM_FILE* spectrum_file, const AP21_SPECTRUM_FILE* other, uint32_t* position) {
  if (spectrum_file == nullptr || ap21_spectrum_file(other) == nullptr) return 0;
  return ap20c_Compare(ap21_file_part(spectrum_file), ap21_file_part(other), position);
}

uint32_t ap21_forward(AP21_SPECTRUM_FILE* spectrum_file, uint16_t message, void* parameter) {
  if (spectrum_file == nullptr || spectrum_file->format == nullptr) return 0;
  return GU2_DoMethod_MSG(message, spectrum_file->format, parameter);
}

uint32_t ap21_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP_MSG_COPY:
    case AP21_MSG_COMPARE: return sizeof(AP21_OTHERPARM);
    case AP21_MSG_OPEN: return sizeof(AP21_OPENPARM);
    case AP21_MSG_DETECT: return sizeof(AP21_DETECTPARM);
    case AP21_MSG_READ_INTERFEROGRAM:
    case AP21_MSG_REGISTER_FORMAT:
    case AP20_MSG_SET_ERROR: return sizeof(uint16_t);
    case AP21_MSG_WRITE_RANGE: return sizeof(AP21_RANGEPARM);
    case AP21_MSG_WRITE_HEADER: return sizeof(AP21_HEADERPARM);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap21_InitClass(uint16_t class_id) {
  if (class_id != AP21_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, kCellsPerBlock, sizeof(AP21_SPECTRUM_FILE), "AP21");
}

// The registered format classes go with the class.
uint16_t ap21_TermClass(uint16_t class_id) {
  if (class_id != AP21_CLASS_ID) return 0;
  ap20_FreeFormatClasses(AP21_CLASS_ID);
  return apx_FreeInstanceHeap(class_id);
}

// ---------------------------------------------------------------------------
// The object

AP21_SPECTRUM_FILE* ap21_spectrum_file(const void* object) {
  auto* spectrum_file = static_cast<AP21_SPECTRUM_FILE*>(const_cast<void*>(object));
  if (IsBadReadPtr(spectrum_file, sizeof *spectrum_file) || spectrum_file->head.class_id != AP21_CLASS_ID)
    return nullptr;
  return spectrum_file;
}

AP21_SPECTRUM_FILE* ap21_Create(AP_OBJECT* outer) {
  auto* spectrum_file = reinterpret_cast<AP21_SPECTRUM_FILE*>(ap21_CreatePaired(AP21_CLASS_ID, outer));
  if (spectrum_file != nullptr) spectrum_file->format = nullptr;
  return spectrum_file;
}

uint32_t ap21_Destroy(AP21_SPECTRUM_FILE* spectrum_file, HWND window) {
  return spectrum_file != nullptr ? ap21_DestroyPair(ap21_pair(spectrum_file), window) : 0;
}

// ---------------------------------------------------------------------------
// Open, detection, close and delete

// The class name, and the format object's after " : " while there is one.
uint16_t ap21_PairClassName(const AP21_PAIR& pair, const char* class_name, char* buffer) {
  char name[kClassNameBuffer + sizeof kFormatSeparator + kClassNameBuffer] = {};
  capobj_StrCopyN(class_name, name, kClassNameBuffer);
  char format_name[kClassNameBuffer] = {};
  AP_OBJECT* format = ap21_pair_format(pair);
  if (format != nullptr && GU2_DoMethod_MSG(AP_MSG_CLASS_NAME, format, format_name) != 0) {
    format_name[kClassNameBuffer - 1] = '\0';
    std::strcat(name, kFormatSeparator);
    std::strcat(name, format_name);
  }
  return ap2_copy_class_name(buffer, name);
}

uint32_t ap21_PairSize(const AP21_PAIR& pair, uint32_t own_size) {
  AP_OBJECT* format = ap21_pair_format(pair);
  const uint32_t format_size = format != nullptr ? GU2_DoMethod_MSG(AP_MSG_SIZE, format, nullptr) : 0;
  return ap20_GetSize(pair.file) + format_size + own_size;
}

// The file part saves itself into the open target, then the format object.
uint16_t ap21_PairWriteObject(const AP21_PAIR& pair, void* target) {
  if (!ap20_IsOpen(target) || !ap20_WriteObject(pair.file, target)) return 0;
  AP_OBJECT* format = ap21_pair_format(pair);
  return format == nullptr || GU2_DoMethod_MSG(AP_MSG_WRITE, format, target) != 0 ? 1 : 0;
}

AP_OBJECT* ap21_CreatePaired(uint16_t class_id, AP_OBJECT* outer) {
  APX_CLASSREC* record = apx_class_record(class_id);
  auto* object = static_cast<AP_OBJECT*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (object == nullptr) return nullptr;
  AP20_FILE* file = ap20_Create(outer != nullptr ? outer : object);
  if (file == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, object);
    return nullptr;
  }
  *object = AP_OBJECT{class_id, &file->head};
  ++record->live;
  ++record->created;
  return object;
}

uint32_t ap21_DestroyPair(const AP21_PAIR& pair, HWND window) {
  const uint32_t result = ap20_Destroy(pair.file, window);
  if (result != AP_DESTROYED) return result;
  ap21_drop_format(pair);
  APX_CLASSREC* record = apx_class_record(pair.owner->class_id);
  GU3_HeapRelease_MM(record->instance_heap, pair.owner);
  --record->live;
  return AP_DESTROYED;
}

// A save that failed leaves no file: the file and the format object go.
uint16_t ap21_DeletePair(const AP21_PAIR& pair) {
  if (!ap20c_Delete(pair.file)) return 0;
  ap21_drop_format(pair);
  return 1;
}

uint16_t ap21_OpenPair(const AP21_PAIR& pair, uint16_t mode, uint16_t* class_id, uint16_t* result) {
  if (pair.file == nullptr || IsBadWritePtr(class_id, sizeof *class_id)) return 0;
  if (result != nullptr && IsBadWritePtr(result, sizeof *result)) return 0;
  // A file open before would lose its format object and handle.
  if (ap21_pair_format(pair) != nullptr || ap20_IsOpen(pair.file)) ap21_ClosePair(pair);
  ap21_set_result(result, 0);
  if (mode == AP20_MODE_CREATE && ap20_Open(pair.file, AP20_MODE_EXIST)) mode = AP20_MODE_WRITE;
  if (mode == AP20_MODE_EXIST) return ap20_Open(pair.file, AP20_MODE_EXIST);
  if (*class_id == 0 && (mode == AP20_MODE_WRITE || mode == AP20_MODE_CREATE)) {
    ap21_set_result(result, AP21_NO_CLASS);
    return 0;
  }
  if (*class_id == 0 && !ap21_IdentifyPair(pair, class_id, result)) return 0;
  return ap21_open_as(pair, mode, *class_id, result);
}

// The first class that calls the file its own wins; the first "maybe" is
// kept for the answer when none does. A probe whose open fails ends the
// detection. The pair is closed afterwards.
uint16_t ap21_IdentifyPair(const AP21_PAIR& pair, uint16_t* class_id, uint16_t* result) {
  if (pair.file == nullptr || IsBadWritePtr(class_id, sizeof *class_id)) return 0;
  if (result != nullptr && IsBadWritePtr(result, sizeof *result)) return 0;
  *class_id = 0;
  ap21_set_result(result, 0);
  if (!ap20_Exists(pair.file)) {
    ap21_set_result(result, AP21_NO_FILE);
    return 0;
  }
  uint16_t maybe = 0;
  uint16_t answer = 0;
  for (uint32_t i = 0; i < pair.formats->detection_count; ++i) {
    if (ap21_detection_ends(pair, pair.formats->detection[i], class_id, &maybe, result, &answer)) return answer;
  }
  for (uint32_t position = 0; const uint16_t candidate = ap20_GetFormatClass(pair.formats->file_class, position);
       ++position) {
    if (ap21_detection_ends(pair, candidate, class_id, &maybe, result, &answer)) return answer;
  }
  if (maybe != 0) {
    *class_id = maybe;
    ap21_set_result(result, AP21_NO_CLASS);
  } else {
    ap21_set_result(result, AP21_NOT_RECOGNISED);
  }
  return 0;
}

uint16_t ap21_ClosePair(const AP21_PAIR& pair) {
  ap21_drop_format(pair);
  return ap20_Close(pair.file);
}

uint16_t ap21_Open(AP21_SPECTRUM_FILE* spectrum_file, uint16_t mode, uint16_t* class_id, uint16_t* result) {
  return spectrum_file != nullptr ? ap21_OpenPair(ap21_pair(spectrum_file), mode, class_id, result) : 0;
}

uint16_t ap21_Detect(AP21_SPECTRUM_FILE* spectrum_file, uint16_t* class_id, uint16_t* result) {
  return spectrum_file != nullptr ? ap21_IdentifyPair(ap21_pair(spectrum_file), class_id, result) : 0;
}

uint16_t ap21_Close(AP21_SPECTRUM_FILE* spectrum_file) {
  return spectrum_file != nullptr ? ap21_ClosePair(ap21_pair(spectrum_file)) : 0;
}

uint16_t ap21_DeleteFile(AP21_SPECTRUM_FILE* spectrum_file) {
  return spectrum_file != nullptr ? ap21_DeletePair(ap21_pair(spectrum_file)) : 0;
}

uint32_t ap21_SetRange(AP21_SPECTRUM_FILE* spectrum_file, AP_OBJECT* spectrum, float x1, float x2) {
  if (spectrum == nullptr) return 0;
  AP21_RANGEPARM parameter{spectrum, x1, x2};
  return ap21_forward(spectrum_file, AP21_MSG_WRITE_RANGE, &parameter);
}

// ---------------------------------------------------------------------------
// Format objects of the native formats

namespace {

AP_OBJECT* ap21_create_format(uint16_t class_id, AP_OBJECT* owner) {
  APX_CLASSREC* record = apx_class_record(class_id);
  if (owner == nullptr || record == nullptr) return nullptr;
  auto* format = static_cast<AP_OBJECT*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (format == nullptr) return nullptr;
  *format = AP_OBJECT{class_id, owner};
  ++record->live;
  ++record->created;
  return format;
}

uint16_t ap21_destroy_format(AP_OBJECT* format) {
  if (format == nullptr) return 0;
  APX_CLASSREC* record = apx_class_record(format->class_id);
  GU3_HeapRelease_MM(record->instance_heap, format);
  --record->live;
  return 1;
}

}  // namespace

AP_OBJECT* ap21_FormatOfClass(const void* object, uint16_t class_id) {
  auto* format = static_cast<AP_OBJECT*>(const_cast<void*>(object));
  if (IsBadReadPtr(format, sizeof *format) || format->class_id != class_id) return nullptr;
  return format;
}

AP20_FILE* ap21_FormatFile(const void* format) {
  return format != nullptr ? ap20_FindFile(const_cast<void*>(format)) : nullptr;
}

uint32_t ap21_FormatMessage(void* object, uint16_t class_id, const char* class_name, uint16_t message,
                            void* parameter) {
  auto* format = static_cast<AP_OBJECT*>(object);
  AP20_FILE* file = ap21_FormatFile(format);
  AP2_OBJECT* root = ap20_RootPart(file);
  if (ap20_IsFilePartMessage(message)) return ap20_ToFilePart(file, message, parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT: return root != nullptr ? AP2_Dispatcher_OBJ(root, message, parameter) : 0;
    case AP_MSG_CREATE:
    case AP_MSG_NEW:              return ap_object_result(ap21_create_format(class_id, static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_INIT:             return format != nullptr ? 1 : 0;
    case AP_MSG_DESTROY:          return ap21_destroy_format(format);
    case AP_MSG_SIZE:             return format != nullptr ? AP21_FORMAT_CELL_BYTES : 0;
    case AP_MSG_CLASS_NAME:       return format != nullptr ? ap2_copy_class_name(static_cast<char*>(parameter), class_name) : 0;
    case AP21_MSG_DELETE:         return format != nullptr ? GU2_DoMethod_MSG(AP21_MSG_DELETE, format->parent, nullptr) : 0;
    default:                      return 0;
  }
}

uint16_t ap21_IsNativeOfType(AP20_FILE* file, uint16_t file_type) {
  char magic[offsetof(AP20_FILEHEADER, title)];
  uint16_t stored_type = 0;
  if (file == nullptr || !ap20_ReadAt(file, 0, magic, sizeof magic) ||
      !ap20_ReadAt(file, offsetof(AP20_FILEHEADER, file_type), &stored_type, sizeof stored_type))
    return 0;
  return magic[AP20_MAGIC_LENGTH] == '\0' && _stricmp(magic, AP20_MAGIC) == 0 && stored_type == file_type ? 1 : 0;
}

// ---------------------------------------------------------------------------
// One file under two names

namespace {

// The identity of an existing file: its volume and index, as the system
// keeps them. The open asks for no access and shares every way, so that a
// file open for writing elsewhere still answers.
bool ap21_identity(const char* name, BY_HANDLE_FILE_INFORMATION* information) {
  HANDLE handle = APX_RedirectCreateFile(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  const BOOL known = GetFileInformationByHandle(handle, information);
  APX_RedirectCloseHandle(handle);
  return known != FALSE;
}

}  // namespace

bool ap21_IsSameFile(const char* name, const char* other) {
  if (name == nullptr || other == nullptr || *name == '\0' || *other == '\0') return false;
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  const bool known = ap21_identity(name, &first);
  const bool other_known = ap21_identity(other, &second);
  if (known && other_known)
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
  // A file that is there is not one that is not.
  if (known != other_known) return false;
  char full[MAX_PATH];
  char other_full[MAX_PATH];
  return GU12_QualifyPath(name, full, sizeof full) && GU12_QualifyPath(other, other_full, sizeof other_full) &&
         _stricmp(full, other_full) == 0;
}

// ---------------------------------------------------------------------------
// Read and write

namespace {

constexpr char kMemberSeparator = ';';
constexpr char kBackgroundCopy[] = ".bkg";
constexpr char kSampleCopy[] = ".smp";
// The highest member number a group file answers for.
constexpr int32_t kLastMember = 65534;


AP7_SPECTRUM* ap21_read_one(AP_OBJECT* reader, uint16_t which, int32_t member) {
  if (member < 0) {
    AP21_WHICHPARM parameter{which, 0};
    return ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP21_MSG_READ_INTERFEROGRAM, reader, &parameter));
  }
  if (member > kLastMember) return nullptr;
  AP51_IFGPARM parameter{which, static_cast<uint16_t>(member), 0};
  return ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP21_MSG_READ_INTERFEROGRAM, reader, &parameter));
}

}  // namespace

int32_t ap21_CutMember(char* reference) {
  char* separator = GU4_StrChr(reference, kMemberSeparator);
  if (separator == nullptr) return -1;
  *separator = '\0';
  return GU4_atol(separator + 1);
}

// The stored interferograms asked for, read from the file named through a
// new object opened read-only with detection: a group-file object for a
// group member, a spectrum-file object otherwise. Those not found stay null.
AP21_STORED ap21_ReadStored(const char* name, int32_t member, bool background, bool sample) {
  AP21_STORED stored;
  AP_OBJECT* reader = ap2_New_OBJ(member >= 0 ? AP51_CLASS_ID : AP21_CLASS_ID, nullptr);
  if (reader == nullptr) return stored;
  AP20_NAMEPARM naming{nullptr, name};
  uint16_t class_id = 0;
  uint16_t code = 0;
  AP21_OPENPARM open{AP20_MODE_READ, &class_id, &code};
  if (GU2_DoMethod_MSG(AP20_MSG_SET_NAME, reader, &naming) && GU2_DoMethod_MSG(AP21_MSG_OPEN, reader, &open)) {
    if (sample) stored.sample = ap21_read_one(reader, AP21_SAMPLE, member);
    if (background) stored.background = ap21_read_one(reader, AP21_BACKGROUND, member);
    GU2_DoMethod_MSG(AP21_MSG_CLOSE, reader, nullptr);
  }
  ap20_DestroyObject(reader);
  return stored;
}

namespace {

// The spectrum refers to the file being written: its stored interferograms
// are read before the file is cut and kept as the spectrum's sub-spectra.
bool ap21_keep_stored(AP21_SPECTRUM_FILE* spectrum_file, AP7_SPECTRUM* spectrum, const char* reference,
                      int32_t member) {
  const uint16_t mode = ap20_GetOpenMode(ap21_file_part(spectrum_file));
  uint16_t class_id = spectrum_file->format->class_id;
  if (!ap21_Close(spectrum_file)) return false;
  AP21_STORED stored = ap21_ReadStored(reference, member, true, true);
  uint16_t code = 0;
  const bool reopened = ap21_Open(spectrum_file, mode, &class_id, &code) != 0;
  if (reopened && (stored.background != nullptr || stored.sample != nullptr) &&
      ap7b_SetNameAndSubSpectra(spectrum, "", stored.background, stored.sample))
    return true;
  if (stored.background != nullptr) ap7a_Delete(stored.background, nullptr);
  if (stored.sample != nullptr) ap7a_Delete(stored.sample, nullptr);
  return reopened;
}

// Copies of the stored interferograms beside the saved file, asked for by
// the configuration: the file's drive, folder and name with the extension
// ".bkg" or ".smp". Any failure only turns the copies off.
class DebugCopies {
 public:
  explicit DebugCopies(AP20_FILE* target) {
    char value[MAX_PATH];
    if (GU6_GetConfig(AP21_DEBUG_SECTION, AP21_DEBUG_COPIES_KEY, value) == nullptr) return;
    writer_ = ap21_spectrum_file(ap2_New_OBJ(AP21_CLASS_ID, nullptr));
    if (writer_ != nullptr && !ap20c_SplitName(target, nullptr, drive_, folder_, base_, nullptr)) turn_off();
  }
  ~DebugCopies() { turn_off(); }
  DebugCopies(const DebugCopies&) = delete;
  DebugCopies& operator=(const DebugCopies&) = delete;

  void copy(AP7_SPECTRUM* interferogram, const char* extension) {
    if (writer_ == nullptr) return;
    char path[MAX_PATH];
    GU4_makepath(path, drive_, folder_, base_, extension);
    AP20_FILE* file = ap21_file_part(writer_);
    uint16_t class_id = AP45_CLASS_ID;
    uint16_t code = 0;
    const bool copied = ap20_SetFileName(file, nullptr, path) &&
                        ap21_Open(writer_, AP20_MODE_CREATE, &class_id, &code) && ap20_Seek(file, 0, FILE_BEGIN) &&
                        ap20_Truncate(file) &&
                        GU2_DoMethod_MSG(AP21_FORMAT_WRITE, writer_->format, interferogram) != 0;
    ap21_Close(writer_);
    if (!copied) turn_off();
  }

 private:
  void turn_off() {
    if (writer_ != nullptr) ap21_Destroy(writer_, nullptr);
    writer_ = nullptr;
  }
  AP21_SPECTRUM_FILE* writer_ = nullptr;
  char drive_[GU4_DRIVE_SIZE] = {};
  char folder_[GU4_DIR_SIZE] = {};
  char base_[GU4_FNAME_SIZE] = {};
};

bool ap21_write_stored(AP21_SPECTRUM_FILE* spectrum_file, uint16_t which, AP7_SPECTRUM* interferogram,
                       DebugCopies& copies, const char* extension) {
  if (interferogram == nullptr) return false;
  AP21_WRITEIFGPARM parameter{which, reinterpret_cast<AP_OBJECT*>(interferogram)};
  if (GU2_DoMethod_MSG(AP21_FORMAT_WRITE_INTERFEROGRAM, spectrum_file->format, &parameter) == 0) return false;
  copies.copy(interferogram, extension);
  return true;
}

// The spectrum's sub-spectra, or those missing borrowed from the file its
// reference names, go into the file as its stored interferograms; the
// reference then names the file written. Nothing to write is a success;
// something to write of which nothing could be written is a failure.
bool ap21_write_interferograms(AP21_SPECTRUM_FILE* spectrum_file, AP7_SPECTRUM* spectrum, const char* target) {
  char reference[AP7_TEXT_FIELD];
  AP7_SPECTRUM* background = nullptr;
  AP7_SPECTRUM* sample = nullptr;
  AP7_GETNAMEPARM get{reference, &background, &sample};
  if (!ap7b_GetNameAndSubSpectra(spectrum, &get)) return false;
  const int32_t member = ap21_CutMember(reference);
  DebugCopies copies(ap21_file_part(spectrum_file));
  if (background == nullptr && sample == nullptr && reference[0] == '\0') return true;
  AP21_STORED borrowed;
  if (reference[0] != '\0' && (background == nullptr || sample == nullptr))
    borrowed = ap21_ReadStored(reference, member, background == nullptr, sample == nullptr);
  bool written = ap21_write_stored(spectrum_file, AP21_BACKGROUND, background != nullptr ? background : borrowed.background,
                                   copies, kBackgroundCopy);
  written |= ap21_write_stored(spectrum_file, AP21_SAMPLE, sample != nullptr ? sample : borrowed.sample, copies,
                               kSampleCopy);
  if (borrowed.background != nullptr) ap7a_Delete(borrowed.background, nullptr);
  if (borrowed.sample != nullptr) ap7a_Delete(borrowed.sample, nullptr);
  ap7b_SetNameAndSubSpectra(spectrum, target, spectrum->subSpectrumA, spectrum->subSpectrumB);
  return written;
}

}  // namespace

namespace {

// A format that reads pairs (the X-Y pairs file) makes the spectrum of them
// itself; the pairs go.
AP_OBJECT* ap21_spectrum_of_pairs(AP_OBJECT* format, AP_OBJECT* read) {
  if (read == nullptr || read->class_id != AP9_CLASS_ID) return read;
  auto* spectrum = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP25_MSG_HEADER_FROM_PAIRS, format, read));
  AP25_DATAPARM data{spectrum, read};
  if (spectrum != nullptr && GU2_DoMethod_MSG(AP25_MSG_DATA_FROM_PAIRS, format, &data) == 0) {
    ap20_DestroyObject(spectrum);
    spectrum = nullptr;
  }
  ap20_DestroyObject(read);
  return spectrum;
}

}  // namespace

AP_OBJECT* ap21_Read(AP21_SPECTRUM_FILE* spectrum_file) {
  AP20_FILE* file = ap21_file_part(spectrum_file);
  if (file == nullptr || spectrum_file->format == nullptr || !ap20_IsOpen(file)) return nullptr;
  auto* read = ap21_spectrum_of_pairs(
      spectrum_file->format,
      ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP21_FORMAT_READ, spectrum_file->format, nullptr)));
  AP7_SPECTRUM* spectrum = ap7a_spectrum(read);
  if (spectrum == nullptr) return read;
  ap7a_SetModified(spectrum, AP2_SAVED);
  char name[AP20_NAME_SIZE];
  if (!ap20_CopyFileName(file, name)) {
    ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  ap7b_SetFilePath(spectrum, name);
  return read;
}

// The file is rewound and cut before the format object writes the whole
// spectrum; its stored interferograms follow. A spectrum that refers to
// this very file keeps them: they are read before the file is cut.
uint16_t ap21_Write(AP21_SPECTRUM_FILE* spectrum_file, AP_OBJECT* spectrum_object) {
  AP20_FILE* file = ap21_file_part(spectrum_file);
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  if (file == nullptr || spectrum == nullptr || spectrum_file->format == nullptr) return 0;
  char target[AP20_NAME_SIZE];
  char reference[AP7_TEXT_FIELD];
  AP7_SPECTRUM* background = nullptr;
  AP7_SPECTRUM* sample = nullptr;
  AP7_GETNAMEPARM get{reference, &background, &sample};
  if (!ap20_CopyFileName(file, target) || !ap7b_GetNameAndSubSpectra(spectrum, &get)) return 0;
  const int32_t member = ap21_CutMember(reference);
  const bool same_file = ap21_IsSameFile(reference, target);
  if (same_file && !ap21_keep_stored(spectrum_file, spectrum, reference, member)) return 0;
  if (!ap20_Seek(file, 0, FILE_BEGIN) || !ap20_Truncate(file) ||
      GU2_DoMethod_MSG(AP21_FORMAT_WRITE, spectrum_file->format, spectrum) == 0)
    return 0;
  if (spectrum_file->format->class_id != AP21_FORMAT_NO_INTERFEROGRAMS &&
      !ap21_write_interferograms(spectrum_file, spectrum, target)) {
    ap20_SetFileError(file, AP20_ERROR_INTERFEROGRAMS);
    return 0;
  }
  ap7a_SetModified(spectrum, AP2_SAVED);
  if (same_file) ap7b_SetNameAndSubSpectra(spectrum, reference, nullptr, nullptr);
  return 1;
}

AP_OBJECT* ap21_ReadInterferogram(AP21_SPECTRUM_FILE* spectrum_file, uint16_t which) {
  if (spectrum_file == nullptr || spectrum_file->format == nullptr || !ap20_IsOpen(ap21_file_part(spectrum_file)))
    return nullptr;
  uint32_t stored = 0;
  AP21_HASIFGPARM has{which, &stored};
  if (GU2_DoMethod_MSG(AP21_FORMAT_HAS_INTERFEROGRAM, spectrum_file->format, &has) != 1) return nullptr;
  AP21_WHICHPARM read{which, stored};
  return ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP21_FORMAT_READ_INTERFEROGRAM, spectrum_file->format, &read));
}

uint16_t ap21_WriteSpectrum(AP_OBJECT* spectrum, void* spectrum_file) {
  return ap21_Write(ap21_spectrum_file(spectrum_file), spectrum);
}

AP_OBJECT* ap21_ReadIntoSpectrum(void* spectrum, void* spectrum_file, uint16_t create) {
  AP_OBJECT* read = ap21_Read(ap21_spectrum_file(spectrum_file));
  if (create != 0 || read == nullptr) return read;
  AP7_SPECTRUM* target = ap7a_spectrum(spectrum);
  const bool copied = target != nullptr && ap7a_Copy(ap7a_spectrum(read), target, nullptr);
  ap20_DestroyObject(read);
  return copied ? reinterpret_cast<AP_OBJECT*>(target) : nullptr;
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP21_Dispatcher_SPECFL(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap21_block_size(message))) return 0;
  // Messages to the class come with a pointer to its id, not an object.
  const bool to_class = message == AP_MSG_CREATE || message == AP_MSG_NEW || message == AP21_MSG_REGISTER_FORMAT ||
                        message == AP20_MSG_CLASS_ERROR;
  AP21_SPECTRUM_FILE* spectrum_file = to_class ? nullptr : ap21_spectrum_file(object);
  AP20_FILE* file = ap21_file_part(spectrum_file);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* other = static_cast<const AP21_OTHERPARM*>(parameter);
  const auto* open = static_cast<const AP21_OPENPARM*>(parameter);
  const auto* detect = static_cast<const AP21_DETECTPARM*>(parameter);
  const auto* word = static_cast<const AP20_WORDPARM*>(parameter);
  const auto* range = static_cast<const AP21_RANGEPARM*>(parameter);
  const auto* which = static_cast<const AP21_WHICHPARM*>(parameter);
  if (ap20_IsRootPartMessage(message)) return ap20_ToRootPart(file, message, parameter);
  switch (message) {
    case AP_MSG_CREATE:                return ap_object_result(ap21_Create(static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_NEW:                   return AP2_Dispatcher_OBJ(object, message, parameter);
    case AP_MSG_DESTROY:               return ap21_Destroy(spectrum_file, window->window);
    case AP_MSG_SIZE:                  return ap21_get_size(spectrum_file);
    case AP_MSG_CLASS_NAME:            return ap21_class_name(spectrum_file, static_cast<char*>(parameter));
    case AP_MSG_WRITE:                 return ap21_write_object(spectrum_file, parameter);
    case AP_MSG_COPY:                  return ap21_copy(spectrum_file, other->other, reinterpret_cast<HWND>(other->value));
    case AP21_MSG_READ:                return ap_object_result(ap21_Read(spectrum_file));
    case AP21_MSG_WRITE:               return ap21_Write(spectrum_file, static_cast<AP_OBJECT*>(parameter));
    case AP21_MSG_DELETE:              return ap21_DeleteFile(spectrum_file);
    case AP20_MSG_SET_ERROR:           return ap20_ToFilePart(file, message, parameter);
    case AP20_MSG_CLASS_ERROR:         return static_cast<uint32_t>(ap20_GetClassError());
    case AP21_MSG_COMPARE:             return ap21_compare(spectrum_file, other->other, reinterpret_cast<uint32_t*>(other->value));
    case AP21_MSG_OPEN:                return ap21_Open(spectrum_file, open->mode, open->class_id, open->result);
    case AP21_MSG_CLOSE:               return ap21_Close(spectrum_file);
    case AP21_MSG_DETECT:              return ap21_Detect(spectrum_file, detect->class_id, detect->result);
    case AP21_MSG_READ_INTERFEROGRAM:  return ap_object_result(ap21_ReadInterferogram(spectrum_file, which->which));
    case AP21_MSG_TITLE:               return ap21_forward(spectrum_file, AP21_FORMAT_TITLE, parameter);
    case AP21_MSG_REGISTER_FORMAT:     return ap20_AddFormatClass(AP21_CLASS_ID, word->word);
    case AP21_MSG_WRITE_RANGE:         return ap21_SetRange(spectrum_file, range->spectrum, range->x1, range->x2);
    case AP21_MSG_WRITE_HEADER:
    case AP21_MSG_WRITE_DATA:          return ap21_forward(spectrum_file, message, parameter);
    default:                           return ap20_IsFilePartMessage(message) ? ap20_ToFilePart(file, message, parameter) : 0;
  }
}
