// AP20 FILE: the accessory object that stands for one file.
//
// Owns the class's instance heap and its class-wide error word, and every
// file object's name, open handle, open mode and last error. The object opens
// and closes its files only through the file-open redirection of the
// utilities, so that a host can serve them. Every file access of the library
// goes through here: the parameter-table, list and array classes stream
// themselves with ap20_Read and ap20_Write, the file classes, the native
// container (ap20_container.cpp, ap20_sections.cpp), the whole-file messages
// (ap20_wholefile.cpp), the spectrum header blocks (ap20_headerblocks.cpp)
// and the spectrum sections (ap20_spectrum.cpp, ap20_attached.cpp) build on
// the open, seek and transfer operations, and AP20_Dispatcher_FILE routes
// every message of the class.
#include <cstddef>
#include <cstring>

#include "files/files.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

constexpr uint32_t kCellsPerBlock = 25;
constexpr char kClassName[] = "AP20_FILE";
constexpr char kHeapName[] = "AP20";
constexpr char kDefaultDelimiters[] = " \t\n";
constexpr size_t kMaxNameBesideDirectory = 256;
// A chain of parts is never deeper than the class hierarchy; a longer walk
// is a cycle in damaged memory.
constexpr int kMaxPartDepth = 16;

struct OpenMode {
  uint16_t mode;
  DWORD access;
  DWORD disposition;
};

const OpenMode kOpenModes[] = {
    {AP20_MODE_READ, GENERIC_READ, OPEN_EXISTING},
    {AP20_MODE_WRITE, GENERIC_WRITE, OPEN_EXISTING},
    {AP20_MODE_READWRITE, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},
    {AP20_MODE_CREATE, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS},
    {AP20_MODE_EXIST, GENERIC_READ, OPEN_EXISTING},
    {AP20_MODE_PARSE, 0, 0},
};

APX_CLASSREC* ap20_class() { return apx_class_record(AP20_CLASS_ID); }

uint16_t* ap20_class_error_word() {
  return static_cast<uint16_t*>(GU3_GetPointer_MM(ap20_class()->data_block, 0, nullptr, nullptr));
}

AP2_OBJECT* ap20_part(AP20_FILE* file) { return reinterpret_cast<AP2_OBJECT*>(file->head.parent); }

const OpenMode* ap20_mode(uint16_t mode) {
  for (const OpenMode& entry : kOpenModes) {
    if (entry.mode == mode) return &entry;
  }
  return nullptr;
}

bool ap20_handle_open(const AP20_FILE* file) {
  return file->handle != nullptr && file->handle != INVALID_HANDLE_VALUE;
}

bool ap20_has_separator_at(const char* text, size_t index) { return text[index] == '\\' || text[index] == '/'; }

// The name is the object's saved data: a change of it is bracketed by begin
// and end change of the root part, ended on every path.
struct NameChange {
  AP2_OBJECT* part;
  bool begun;
  explicit NameChange(AP2_OBJECT* root) : part(root), begun(ap2_BeginChange_OBJ(root) != 0) {}
  ~NameChange() {
    if (begun) ap2_EndChange_OBJ(part);
  }
  NameChange(const NameChange&) = delete;
  NameChange& operator=(const NameChange&) = delete;
};

// Size of the parameter block each message reads, checked before the
// dispatcher unpacks it; messages whose parameter is not a block read none.
uint32_t ap20_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP20_MSG_SEEK: return sizeof(AP20_SEEKPARM);
    case AP20_MSG_READ:
    case AP20_MSG_WRITE: return sizeof(AP20_TRANSFERPARM);
    case AP20_MSG_OPEN: return sizeof(uint16_t);
    case AP20_MSG_SET_NAME: return sizeof(AP20_NAMEPARM);
    case AP20_MSG_READ_TOKEN: return sizeof(AP20_TOKENPARM);
    case AP20_MSG_REOPEN:
    case AP20_MSG_SET_ERROR:
    case AP20_MSG_SET_GROWTH:
    case AP20_MSG_SET_GROWTH_STEP:
    case AP20_MSG_FREE_MEMBER: return sizeof(AP20_WORDPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP20_MSG_RENAME: return sizeof(AP20_NAMEPARM);
    case AP20_MSG_RESERVE: return sizeof(AP20_RESERVEPARM);
    case AP20_MSG_COMPARE: return sizeof(AP20_COMPAREPARM);
    case AP20_MSG_FIND_FIRST: return sizeof(AP20_FINDFIRSTPARM);
    case AP20_MSG_SPLIT_NAME: return sizeof(AP20_SPLITPARM);
    case AP20_MSG_READ_DIRECTORY: return sizeof(AP20_DIRECTORYPARM);
    case AP20_MSG_HAS_SECTION: return sizeof(AP20_FINDPARM);
    case AP20_MSG_SECTION_OFFSET:
    case AP20_MSG_SECTION_LENGTH: return offsetof(AP20_FINDPARM, count);
    case AP20_MSG_READ_SECTION: return sizeof(AP20_OBJECTFINDPARM);
    case AP20_MSG_FREE_SECTION: return offsetof(AP20_OBJECTFINDPARM, length);
    case AP20_MSG_INIT_HEADER: return sizeof(AP20_INITHEADERPARM);
    case AP20_MSG_WRITE_DIRECTORY: return sizeof(AP20_WRITEDIRECTORYPARM);
    case AP20_MSG_WRITE_SECTION: return offsetof(AP20_WRITESECTIONPARM, replace);
    case AP20_MSG_WRITE_SECTION_CHOSEN: return offsetof(AP20_WRITESECTIONPARM, writer);
    case AP20_MSG_WRITE_SECTION_FULL: return sizeof(AP20_WRITESECTIONPARM);
    case AP20_MSG_FREE_TYPE: return sizeof(AP20_FREETYPEPARM);
    case AP20_MSG_HIGHEST_KEY2: return sizeof(AP20_TYPEPARM);
    case AP20_MSG_NEXT_KEY2: return sizeof(AP20_NEXTKEYPARM);
    case AP20_MSG_MEMBER_OFFSET: return offsetof(AP20_NEXTKEYPARM, next);
    case AP20_MSG_READ_SECTION_INTO: return sizeof(AP20_READINTOPARM);
    case AP20_MSG_OPEN_NATIVE_READ:
    case AP20_MSG_OPEN_NATIVE: return sizeof(AP20_NATIVEPARM);
    case AP20_MSG_READ_OPEN_SECTION: return sizeof(AP20_OPENSECTIONPARM);
    case AP20_MSG_WRITE_OPEN_SECTION: return sizeof(AP20_WRITEOPENPARM);
    case AP20_MSG_FORMAT_TEST: return sizeof(AP20_FORMATPARM);
    case AP20_MSG_MAP_HEADER: return sizeof(AP20_HEADERMAPPARM);
    case AP20_MSG_READ_ATTACHED_NTH: return sizeof(AP20_ATTACHEDNTHPARM);
    case AP20_MSG_WRITE_ATTACHED:
    case AP20_MSG_WRITE_ATTACHED_LIST: return sizeof(AP20_ATTACHEDWRITEPARM);
    case AP20_MSG_READ_ATTACHED_ALL: return sizeof(AP20_ATTACHEDALLPARM);
    case AP20_MSG_WRITE_DATA: return sizeof(AP20_DATAWRITEPARM);
    case AP20_MSG_WRITE_HEADER: return sizeof(AP20_HEADERWRITEPARM);
    case AP20_MSG_READ_DATA: return sizeof(AP20_DATAREADPARM);
    case AP20_MSG_READ_HEADER_SECTIONS: return sizeof(AP20_HEADERREADPARM);
    case AP20_MSG_READ_SPECTRUM: return sizeof(AP20_SPECTRUMREADPARM);
    case AP20_MSG_WRITE_SPECTRUM: return sizeof(AP20_SPECTRUMWRITEPARM);
    case AP20_MSG_READ_ATTACHED_KEYED: return sizeof(AP20_KEYSPARM);
    case AP20_MSG_WRITE_ATTACHED_KEYED: return sizeof(AP20_ATTACHEDKEYEDPARM);
    case AP20_MSG_SPECTRUM_PART: return sizeof(AP20_PARTPARM);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap20_InitClass(uint16_t class_id) {
  if (class_id != AP20_CLASS_ID || !apx_InitInstanceHeap(class_id, kCellsPerBlock, sizeof(AP20_FILE), kHeapName))
    return 0;
  APX_CLASSREC* record = ap20_class();
  record->data_block = GU3_Allocate_MM(1, sizeof(uint16_t), GU3_KIND_GLOBAL);
  if (record->data_block != nullptr) return 1;
  apx_FreeInstanceHeap(class_id);
  return 0;
}

uint16_t ap20_TermClass(uint16_t class_id) {
  if (class_id != AP20_CLASS_ID) return 0;
  APX_CLASSREC* record = ap20_class();
  const uint16_t error_freed = GU3_Free_MM(record->data_block);
  record->data_block = nullptr;
  return apx_FreeInstanceHeap(class_id) & error_freed;
}

// ---------------------------------------------------------------------------
// Format classes registered on a file class

namespace {
// The list of a file class's format classes, made when asked for and absent.
GU1_LINKLIST* ap20_format_list(uint16_t file_class, bool make) {
  APX_CLASSREC* record = apx_class_record(file_class);
  if (record == nullptr) return nullptr;
  auto block = static_cast<GU3_HANDLE>(record->class_data);
  if (block == nullptr && make) {
    block = GU3_Allocate_MM(1, sizeof(GU1_LINKLIST), GU3_KIND_GLOBAL);
    auto* list = static_cast<GU1_LINKLIST*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
    if (list == nullptr || !GU1_CreateIndirect_LL(list, 0, sizeof(uint16_t), GU1_KEY_BYTES)) {
      GU3_Free_MM(block);
      return nullptr;
    }
    record->class_data = block;
  }
  return static_cast<GU1_LINKLIST*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
}
}  // namespace

uint16_t ap20_AddFormatClass(uint16_t file_class, uint16_t format_class) {
  if (format_class >= AP_CLASS_LIMIT) return 0;
  GU1_LINKLIST* list = ap20_format_list(file_class, true);
  auto* item = static_cast<uint16_t*>(GU3_NewPointer(sizeof(uint16_t)));
  if (list == nullptr || item == nullptr) {
    GU3_FreePointer(item);
    return 0;
  }
  *item = format_class;
  if (GU1_Append_LL(list, item)) return 1;
  GU3_FreePointer(item);
  return 0;
}

uint16_t ap20_IsFormatClass(uint16_t file_class, uint16_t format_class) {
  GU1_LINKLIST* list = format_class < AP_CLASS_LIMIT ? ap20_format_list(file_class, false) : nullptr;
  for (GU1_NODE* node = list != nullptr ? GU1_Head_LL(list) : nullptr; node != nullptr; node = GU1_Next_LL(list, node)) {
    if (*static_cast<const uint16_t*>(gu1_item(list, node)) == format_class) return 1;
  }
  return 0;
}

uint16_t ap20_GetFormatClass(uint16_t file_class, uint32_t position) {
  GU1_LINKLIST* list = ap20_format_list(file_class, false);
  GU1_NODE* node = list != nullptr ? GU1_Locate_LL(list, position) : nullptr;
  return node != nullptr ? *static_cast<const uint16_t*>(gu1_item(list, node)) : 0;
}

// The list's nodes live in the main list heap: when that heap has gone
// before the class, so have they, and only the list's own block is left
// to free (the memory manager takes the entries with it).
void ap20_FreeFormatClasses(uint16_t file_class) {
  GU1_LINKLIST* list = ap20_format_list(file_class, false);
  if (list == nullptr) return;
  if (GU1_GetMainLLHeap_LL() != nullptr) {
    for (GU1_NODE* node = GU1_Head_LL(list); node != nullptr; node = GU1_Next_LL(list, node))
      GU3_FreePointer(gu1_item(list, node));
    GU1_Destroy_LL(list);
  }
  APX_CLASSREC* record = apx_class_record(file_class);
  GU3_Free_MM(static_cast<GU3_HANDLE>(record->class_data));
  record->class_data = nullptr;
}

// ---------------------------------------------------------------------------
// The object

AP20_FILE* ap20_file(void* object) {
  auto* file = static_cast<AP20_FILE*>(object);
  if (IsBadReadPtr(file, sizeof(AP20_FILE)) || file->head.class_id != AP20_CLASS_ID) return nullptr;
  return file;
}

AP20_FILE* ap20_FindFile(void* object) {
  auto* part = static_cast<AP_OBJECT*>(object);
  for (int depth = 0; depth < kMaxPartDepth; ++depth) {
    if (IsBadReadPtr(part, sizeof(AP_OBJECT))) return nullptr;
    if (part->class_id == AP20_CLASS_ID) return ap20_file(part);
    part = part->parent;
  }
  return nullptr;
}

AP2_OBJECT* ap20_RootPart(AP20_FILE* file) { return file != nullptr ? ap20_part(file) : nullptr; }

void ap20_DestroyObject(void* object) {
  AP_WINDOWPARM none{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &none);
}

AP20_FILE* ap20_Create(AP_OBJECT* outer) {
  APX_CLASSREC* record = ap20_class();
  auto* file = static_cast<AP20_FILE*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (file == nullptr) return nullptr;
  AP2_OBJECT* part = ap2_Create_OBJ(AP2_CLASS_ID, outer != nullptr ? outer : &file->head);
  if (part == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, file);
    return nullptr;
  }
  file->head = AP_OBJECT{AP20_CLASS_ID, &part->head};
  file->growth_step = AP20_DEFAULT_GROWTH_STEP;
  ++record->live;
  ++record->created;
  return file;
}

// The header and directory copies go with the object; they are not written
// back (a native file is saved by message 105 before).
uint32_t ap20_Destroy(AP20_FILE* file, HWND window) {
  if (file == nullptr) return 0;
  if (ap20_handle_open(file)) ap20_Close(file);
  const uint32_t result = ap2_Destroy_OBJ(ap20_part(file), window);
  if (result != AP_DESTROYED) return result;
  ap20_DropCopies(file);
  APX_CLASSREC* record = ap20_class();
  GU3_HeapRelease_MM(record->instance_heap, file);
  --record->live;
  return AP_DESTROYED;
}

uint32_t ap20_GetSize(AP20_FILE* file) {
  return file != nullptr ? ap2_GetSize_OBJ(ap20_part(file)) + sizeof(AP20_FILE) : 0;
}

uint16_t ap20_GetClassName(AP20_FILE* file, char* buffer) {
  return file != nullptr ? ap2_copy_class_name(buffer, kClassName) : 0;
}

// The saved form of a file object is its name's characters, without NUL.
uint16_t ap20_WriteObject(AP20_FILE* file, void* target) {
  if (file == nullptr || ap2_Write_OBJ(ap20_part(file), target) == 0) return 0;
  const uint32_t length = static_cast<uint32_t>(std::strlen(file->name));
  return length == 0 || ap20_Write(target, file->name, length) == length ? 1 : 0;
}

void ap20_DropCopies(AP20_FILE* file) {
  GU3_Free_MM(file->header_block);
  GU3_Free_MM(file->directory_block);
  file->header_block = nullptr;
  file->header = nullptr;
  file->directory_block = nullptr;
  file->directory = nullptr;
}

// ---------------------------------------------------------------------------
// Errors

void ap20_SetError(void* object, uint32_t code) {
  if (AP20_FILE* file = ap20_file(object)) file->error = code;
}

uint32_t ap20_GetError(AP20_FILE* file) { return file != nullptr ? file->error : 0xFFFFFFFF; }

int32_t ap20_GetClassError() {
  const uint16_t* word = ap20_class_error_word();
  return word != nullptr ? *word : -1;
}

uint16_t ap20_SetFileError(AP20_FILE* file, uint16_t code) {
  if (file == nullptr) return 0;
  file->error = code;
  if (uint16_t* word = ap20_class_error_word()) *word = code;
  return 1;
}

// ---------------------------------------------------------------------------
// Names

int16_t ap20_SetFileName(void* object, const char* directory, const char* name) {
  AP20_FILE* file = ap20_file(object);
  if (file == nullptr || ap20_handle_open(file) || IsBadStringPtrA(name, AP20_NAME_SIZE)) return 0;
  const size_t name_length = strnlen(name, AP20_NAME_SIZE + 1);
  char joined[AP20_NAME_SIZE];
  if (directory == nullptr || *directory == '\0') {
    // The field holds 259 characters and the NUL; a longer name would run
    // into the handle behind it.
    if (name_length >= AP20_NAME_SIZE) return 0;
    std::memcpy(joined, name, name_length + 1);
  } else {
    const size_t directory_length = strnlen(directory, AP20_NAME_SIZE + 1);
    if (name_length > kMaxNameBesideDirectory || directory_length > AP20_NAME_SIZE) return 0;
    const bool separated = ap20_has_separator_at(name, 0) || ap20_has_separator_at(directory, directory_length - 1);
    const size_t length = directory_length + (separated ? 0 : 1) + name_length;
    if (length >= AP20_NAME_SIZE) return 0;
    std::memcpy(joined, directory, directory_length);
    if (!separated) joined[directory_length] = '\\';
    std::memcpy(joined + length - name_length, name, name_length + 1);
  }
  NameChange change(ap20_part(file));
  if (!change.begun) return 0;
  std::memcpy(file->name, joined, std::strlen(joined) + 1);
  if (ap20_Open(file, AP20_MODE_PARSE) != 0) return 1;
  file->name[0] = '\0';
  return 0;
}

uint16_t ap20_CopyFileName(AP20_FILE* file, char* buffer) {
  if (file == nullptr) return 0;
  const size_t bytes = std::strlen(file->name) + 1;
  if (IsBadWritePtr(buffer, bytes)) return 0;
  std::memcpy(buffer, file->name, bytes);
  return 1;
}

// ---------------------------------------------------------------------------
// Open and close

HANDLE ap20_OpenHandle(const char* name, uint16_t mode, uint32_t* error) {
  const OpenMode* open_mode = ap20_mode(mode);
  if (open_mode == nullptr || open_mode->access == 0) return nullptr;
  HANDLE handle = APX_RedirectCreateFile(name, open_mode->access, FILE_SHARE_READ, nullptr, open_mode->disposition,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr) return handle;
  *error = GetLastError();
  return nullptr;
}

// Mode 256 only parses the name: the object keeps no parts of it, so the
// parse asks for a name and touches no file. The existence test leaves an
// open handle alone.
uint16_t ap20_Open(AP20_FILE* file, uint16_t mode) {
  if (file == nullptr) return 0;
  const OpenMode* open_mode = ap20_mode(mode);
  if (open_mode == nullptr) {
    file->error = 0;
    return 0;
  }
  if (file->name[0] == '\0') return 0;
  if (mode == AP20_MODE_PARSE) return 1;
  if (mode == AP20_MODE_EXIST) {
    HANDLE probe = ap20_OpenHandle(file->name, mode, &file->error);
    if (probe == nullptr) return 0;
    APX_RedirectCloseHandle(probe);
    return 1;
  }
  // A handle still open would be lost, and would keep the file shared.
  if (ap20_handle_open(file)) ap20_Close(file);
  file->handle = ap20_OpenHandle(file->name, mode, &file->error);
  file->mode = file->handle != nullptr ? mode : 0;
  return file->handle != nullptr ? 1 : 0;
}

uint16_t ap20_Close(AP20_FILE* file) {
  if (file == nullptr) return 0;
  if (!ap20_handle_open(file)) {
    file->error = AP20_ERROR_NOT_OPEN;
    return 0;
  }
  APX_RedirectCloseHandle(file->handle);
  file->handle = nullptr;
  file->mode = 0;
  return 1;
}

uint16_t ap20_IsOpen(void* object) {
  AP20_FILE* file = ap20_file(object);
  return file != nullptr && ap20_handle_open(file) ? 1 : 0;
}

uint16_t ap20_Exists(AP20_FILE* file) {
  if (file == nullptr) return 0;
  return ap20_handle_open(file) || ap20_Open(file, AP20_MODE_EXIST) ? 1 : 0;
}

// Opening a file again must not truncate it: a create mode becomes a write
// mode once the file is there.
uint16_t ap20_ModeToReopen(AP20_FILE* file, uint16_t mode) {
  if (mode == AP20_MODE_CREATE && ap20_Open(file, AP20_MODE_EXIST)) return AP20_MODE_WRITE;
  return mode;
}

uint16_t ap20_Reopen(AP20_FILE* file, uint16_t mode) {
  if (file == nullptr) return 0;
  if (ap20_handle_open(file)) ap20_Close(file);
  return ap20_Open(file, ap20_ModeToReopen(file, mode));
}

uint16_t ap20_GetOpenMode(AP20_FILE* file) { return file != nullptr ? file->mode : 0; }

// ---------------------------------------------------------------------------
// Positions and transfers

uint16_t ap20_Seek(AP20_FILE* file, int32_t offset, uint16_t origin) {
  if (file == nullptr) return 0;
  if (!ap20_handle_open(file)) {
    file->error = AP20_ERROR_NOT_OPEN;
    return 0;
  }
  if (SetFilePointer(file->handle, offset, nullptr, origin) == INVALID_SET_FILE_POINTER) {
    file->error = GetLastError();
    return 0;
  }
  return 1;
}

uint32_t ap20_GetPosition(AP20_FILE* file) {
  if (file == nullptr || !ap20_handle_open(file)) return 0xFFFFFFFF;
  return SetFilePointer(file->handle, 0, nullptr, FILE_CURRENT);
}

// A closed file is opened for the question and closed again.
uint32_t ap20_GetFileSize(AP20_FILE* file) {
  if (file == nullptr) return 0xFFFFFFFF;
  if (ap20_handle_open(file)) return GetFileSize(file->handle, nullptr);
  if (!ap20_Open(file, AP20_MODE_READ)) return 0xFFFFFFFF;
  const uint32_t size = GetFileSize(file->handle, nullptr);
  ap20_Close(file);
  return size;
}

namespace {

// The file object when a transfer may start: open, with a usable buffer.
// Otherwise null, and the reason in the file's error word.
AP20_FILE* ap20_transfer_file(void* object, bool bad_buffer) {
  AP20_FILE* file = ap20_file(object);
  if (file == nullptr) return nullptr;
  file->error = 0;
  if (!ap20_handle_open(file))
    file->error = AP20_ERROR_NOT_OPEN;
  else if (bad_buffer)
    file->error = ERROR_INVALID_PARAMETER;
  return file->error == 0 ? file : nullptr;
}

}  // namespace

uint32_t ap20_Read(void* object, void* buffer, uint32_t count) {
  AP20_FILE* file = ap20_transfer_file(object, IsBadWritePtr(buffer, count));
  if (file == nullptr) return 0;
  DWORD read = 0;
  if (!ReadFile(file->handle, buffer, count, &read, nullptr)) file->error = GetLastError();
  return read;
}

uint32_t ap20_Write(void* object, const void* buffer, uint32_t count) {
  AP20_FILE* file = ap20_transfer_file(object, IsBadReadPtr(buffer, count));
  if (file == nullptr) return 0;
  DWORD written = 0;
  if (!WriteFile(file->handle, buffer, count, &written, nullptr)) file->error = GetLastError();
  return written;
}

uint16_t ap20_ReadAt(AP20_FILE* file, uint32_t offset, void* buffer, uint32_t count) {
  if (!ap20_Seek(file, static_cast<int32_t>(offset), FILE_BEGIN)) return 0;
  if (ap20_Read(file, buffer, count) == count) return 1;
  if (file->error == 0) file->error = AP20_ERROR_SHORT_FILE;
  return 0;
}

uint16_t ap20_WriteAt(AP20_FILE* file, uint32_t offset, const void* buffer, uint32_t count) {
  if (!ap20_Seek(file, static_cast<int32_t>(offset), FILE_BEGIN)) return 0;
  return ap20_Write(file, buffer, count) == count ? 1 : 0;
}

uint16_t ap20_Truncate(AP20_FILE* file) {
  if (file == nullptr) return 0;
  if (!ap20_handle_open(file)) {
    file->error = AP20_ERROR_NOT_OPEN;
    return 0;
  }
  if (!SetEndOfFile(file->handle)) {
    file->error = GetLastError();
    return 0;
  }
  return 1;
}

// One token from the current position: the text up to the first delimiter,
// a CR before it dropped; the position moves past the delimiter. Without a
// delimiter in reach the position stays where it was.
uint16_t ap20_GetFileName(void* object, const char* delimiters, int16_t size, char* buffer) {
  AP20_FILE* file = ap20_file(object);
  if (file == nullptr || size <= 0 || IsBadWritePtr(buffer, static_cast<uint32_t>(size))) return 0;
  const uint32_t start = ap20_GetPosition(file);
  if (start == 0xFFFFFFFF) return 0;
  const uint32_t read = ap20_Read(file, buffer, static_cast<uint32_t>(size));
  if (read < static_cast<uint32_t>(size)) buffer[read] = '\0';
  if (read == 0 || GU4_StrnTok(buffer, delimiters != nullptr ? delimiters : kDefaultDelimiters, read) == nullptr) {
    ap20_Seek(file, static_cast<int32_t>(start), FILE_BEGIN);
    return 0;
  }
  const size_t length = std::strlen(buffer);
  if (length > 0 && buffer[length - 1] == '\r') buffer[length - 1] = '\0';
  return ap20_Seek(file, static_cast<int32_t>(start + length + 1), FILE_BEGIN);
}

// ---------------------------------------------------------------------------
// Directory growth settings

uint16_t ap20_SetGrowth(AP20_FILE* file, uint16_t may_grow) {
  if (file == nullptr) return 0;
  file->may_grow = may_grow;
  return 1;
}

uint16_t ap20_SetGrowthStep(AP20_FILE* file, uint16_t entries) {
  if (file == nullptr) return 0;
  file->growth_step = entries;
  return 1;
}

// ---------------------------------------------------------------------------
// Dispatcher

bool ap20_IsFilePartMessage(uint16_t message) {
  switch (message) {
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
    case AP20_MSG_SPLIT_NAME: return true;
    default:                  return false;
  }
}

uint32_t ap20_ToFilePart(AP20_FILE* file, uint16_t message, void* parameter) {
  return file != nullptr ? AP20_Dispatcher_FILE(file, message, parameter) : 0;
}

bool ap20_IsRootPartMessage(uint16_t message) {
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_INIT:
    case AP_MSG_DUPLICATE:
    case AP_MSG_DUMP:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT: return true;
    default:                      return false;
  }
}

uint32_t ap20_ToRootPart(AP20_FILE* file, uint16_t message, void* parameter) {
  AP2_OBJECT* root = ap20_RootPart(file);
  return root != nullptr ? AP2_Dispatcher_OBJ(root, message, parameter) : 0;
}

APEXPORT uint32_t AP20_Dispatcher_FILE(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap20_block_size(message))) return 0;
  AP20_FILE* file = message == AP_MSG_CREATE || message == AP_MSG_NEW ? nullptr : ap20_file(object);
  auto* text = static_cast<char*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* word = static_cast<const AP20_WORDPARM*>(parameter);
  const auto* seek = static_cast<const AP20_SEEKPARM*>(parameter);
  const auto* transfer = static_cast<const AP20_TRANSFERPARM*>(parameter);
  const auto* naming = static_cast<const AP20_NAMEPARM*>(parameter);
  const auto* token = static_cast<const AP20_TOKENPARM*>(parameter);
  const auto* native = static_cast<const AP20_NATIVEPARM*>(parameter);
  const auto* format = static_cast<const AP20_FORMATPARM*>(parameter);
  const auto* directory = static_cast<const AP20_DIRECTORYPARM*>(parameter);
  const auto* find = static_cast<const AP20_FINDPARM*>(parameter);
  const auto* object_find = static_cast<const AP20_OBJECTFINDPARM*>(parameter);
  const auto* init = static_cast<const AP20_INITHEADERPARM*>(parameter);
  const auto* save = static_cast<const AP20_WRITEDIRECTORYPARM*>(parameter);
  const auto* put = static_cast<const AP20_WRITESECTIONPARM*>(parameter);
  const auto* of_type = static_cast<const AP20_FREETYPEPARM*>(parameter);
  const auto* typed = static_cast<const AP20_TYPEPARM*>(parameter);
  const auto* next = static_cast<const AP20_NEXTKEYPARM*>(parameter);
  const auto* into = static_cast<const AP20_READINTOPARM*>(parameter);
  const auto* open_section = static_cast<const AP20_OPENSECTIONPARM*>(parameter);
  const auto* put_open = static_cast<const AP20_WRITEOPENPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* reserve = static_cast<const AP20_RESERVEPARM*>(parameter);
  const auto* compare = static_cast<const AP20_COMPAREPARM*>(parameter);
  const auto* find_first = static_cast<const AP20_FINDFIRSTPARM*>(parameter);
  const auto* split = static_cast<const AP20_SPLITPARM*>(parameter);
  const auto* map = static_cast<const AP20_HEADERMAPPARM*>(parameter);
  const auto* nth = static_cast<const AP20_ATTACHEDNTHPARM*>(parameter);
  const auto* attach = static_cast<const AP20_ATTACHEDWRITEPARM*>(parameter);
  const auto* all = static_cast<const AP20_ATTACHEDALLPARM*>(parameter);
  const auto* data_write = static_cast<const AP20_DATAWRITEPARM*>(parameter);
  const auto* header_write = static_cast<const AP20_HEADERWRITEPARM*>(parameter);
  const auto* data_read = static_cast<const AP20_DATAREADPARM*>(parameter);
  const auto* header_read = static_cast<const AP20_HEADERREADPARM*>(parameter);
  const auto* spectrum_read = static_cast<const AP20_SPECTRUMREADPARM*>(parameter);
  const auto* spectrum_write = static_cast<const AP20_SPECTRUMWRITEPARM*>(parameter);
  const auto* keys = static_cast<const AP20_KEYSPARM*>(parameter);
  const auto* keyed_item = static_cast<const AP20_ATTACHEDKEYEDPARM*>(parameter);
  if (ap20_IsRootPartMessage(message)) return ap20_ToRootPart(file, message, parameter);
  switch (message) {
    case AP_MSG_NEW:                   return AP2_Dispatcher_OBJ(object, message, parameter);
    case AP_MSG_CREATE:                return ap_object_result(ap20_Create(static_cast<AP_OBJECT*>(parameter)));
    case AP_MSG_DESTROY:               return ap20_Destroy(file, window->window);
    case AP_MSG_SIZE:                  return ap20_GetSize(file);
    case AP_MSG_CLASS_NAME:            return ap20_GetClassName(file, text);
    case AP_MSG_WRITE:                 return ap20_WriteObject(file, parameter);
    case AP_MSG_COPY:                  return ap20c_Copy(file, copy->target, copy->window);
    case AP20_MSG_DELETE:              return ap20c_Delete(file);
    case AP20_MSG_RENAME:              return ap20c_Rename(file, naming->directory, naming->name);
    case AP20_MSG_REWIND:              return ap20_Seek(file, 0, FILE_BEGIN);
    case AP20_MSG_SEEK:                return ap20_Seek(file, seek->offset, seek->origin);
    case AP20_MSG_SEEK_END:            return ap20_Seek(file, 0, FILE_END);
    case AP20_MSG_READ:                return ap20_Read(file, transfer->buffer, transfer->count);
    case AP20_MSG_WRITE:               return ap20_Write(file, transfer->buffer, transfer->count);
    case AP20_MSG_TRUNCATE:            return ap20_Truncate(file);
    case AP20_MSG_OPEN:                return ap20_Open(file, word->word);
    case AP20_MSG_CLOSE:               return ap20_Close(file);
    case AP20_MSG_EXISTS:              return ap20_Exists(file);
    case AP20_MSG_RESERVE:             return ap20c_Reserve(file, reserve->size, reserve->extend);
    case AP20_MSG_COMPARE:             return ap20c_Compare(file, compare->other, compare->position);
    case AP20_MSG_IS_OPEN:             return ap20_IsOpen(file);
    case AP20_MSG_LAST_ERROR:          return ap20_GetError(file);
    case AP20_MSG_SET_NAME:            return static_cast<uint16_t>(ap20_SetFileName(file, naming->directory, naming->name));
    case AP20_MSG_READ_TOKEN:          return ap20_GetFileName(file, token->delimiters, static_cast<int16_t>(token->size), token->buffer);
    case AP20_MSG_GET_NAME:            return ap20_CopyFileName(file, text);
    case AP20_MSG_FILE_SIZE:           return ap20_GetFileSize(file);
    case AP20_MSG_POSITION:            return ap20_GetPosition(file);
    case AP20_MSG_OPEN_MODE:           return ap20_GetOpenMode(file);
    case AP20_MSG_FIND_FIRST:          return ap20c_FindFirst(find_first->pattern, find_first->found);
    case AP20_MSG_FIND_NEXT:           return ap20c_FindNext(static_cast<GU4_FINDDATA*>(parameter));
    case AP20_MSG_REOPEN:              return ap20_Reopen(file, word->word);
    case AP20_MSG_SPLIT_NAME:          return ap20c_SplitName(file, split->name, split->drive, split->directory, split->base, split->extension);
    case AP20_MSG_DIRECTORY_EXISTS:    return ap20c_DirectoryExists(text);
    case AP20_MSG_MAKE_DIRECTORIES:    return ap20c_MakeDirectories(text);
    case AP20_MSG_MAP_HEADER:          return ap20d_MapHeader(map->header, map->file_header, map->block, map->extension, map->direction);
    case AP20_MSG_READ_HEADER:         return ap_object_result(ap20a_ReadHeader(parameter));
    case AP20_MSG_READ_DIRECTORY:      return ap_object_result(ap20a_ReadDirectory(directory->object, directory->header));
    case AP20_MSG_HAS_SECTION:         return ap20b_HasSection(find->header, find->directory, find->type, find->key2, find->key3, find->count);
    case AP20_MSG_READ_SECTION:        return ap_object_result(ap20b_ReadSection(object_find->object, object_find->header, object_find->directory, object_find->type, object_find->key2, object_find->key3, object_find->length));
    case AP20_MSG_INIT_HEADER:         return ap20a_InitHeader(init->header, init->file_type, init->blocks);
    case AP20_MSG_WRITE_DIRECTORY:     return ap20a_WriteDirectory(save->object, save->header, save->directory);
    case AP20_MSG_WRITE_SECTION:       return ap20b_WriteSection(put->object, put->header, put->directory, put->type, put->length, put->data, put->keyed, put->key2, put->key3, 1, nullptr);
    case AP20_MSG_FREE_SECTION:        return ap20b_FreeSection(object_find->object, object_find->header, object_find->directory, object_find->type, object_find->key2, object_find->key3);
    case AP20_MSG_FREE_TYPE:           return ap20b_FreeType(of_type->object, of_type->header, of_type->directory, of_type->type);
    case AP20_MSG_HIGHEST_KEY2:        return ap20b_HighestKey2(typed->header, typed->directory, typed->type);
    case AP20_MSG_NEXT_KEY2:           return ap20b_NextKey2(next->header, next->directory, next->type, next->key2, next->next);
    case AP20_MSG_MEMBER_OFFSET:       return ap20b_MemberOffset(next->header, next->directory, next->type, next->key2);
    case AP20_MSG_ATTACHED_CLASSES:    return ap_object_result(ap20f_AttachedClasses(file));
    case AP20_MSG_READ_ATTACHED_NTH:   return ap_object_result(ap20f_ReadAttachedNth(file, nth->class_id, nth->sub_kind, nth->n, nth->header, nth->directory));
    case AP20_MSG_WRITE_ATTACHED:      return ap20f_WriteAttachedObject(file, attach->object, attach->header, attach->directory, attach->take_sub_kind);
    case AP20_MSG_READ_ATTACHED_ALL:   return ap_object_result(ap20f_ReadAttachedAll(file, all->class_id, all->sub_kind, all->list));
    case AP20_MSG_WRITE_ATTACHED_LIST: return ap20f_WriteAttachedList(file, attach->object, attach->header, attach->directory, attach->take_sub_kind);
    case AP20_MSG_WRITE_DATA:          return AP20_DataWriteEx_FILE(file, data_write->spectrum, data_write->header, data_write->directory, data_write->key2, data_write->key3, data_write->keyed, data_write->replace);
    case AP20_MSG_WRITE_HEADER:        return AP20_HeaderWrite_FILE(file, header_write->object, header_write->header, header_write->directory, header_write->key2, header_write->key3, header_write->keyed);
    case AP20_MSG_READ_DATA:           return AP20_DataRead_FILE(file, data_read->spectrum, data_read->header, data_read->directory, data_read->key2, data_read->key3, data_read->name_flag1, data_read->name_flag2);
    case AP20_MSG_READ_HEADER_SECTIONS: return ap_object_result(AP20_HeaderRead_FILE(file, header_read->header, header_read->directory, header_read->key2, header_read->key3));
    case AP20_MSG_READ_SPECTRUM:       return ap_object_result(ap20e_ReadSpectrum(file, spectrum_read->key2, spectrum_read->key3, spectrum_read->name_flag1, spectrum_read->name_flag2));
    case AP20_MSG_WRITE_SPECTRUM:      return ap20e_WriteSpectrum(file, spectrum_write->spectrum, spectrum_write->key2, spectrum_write->key3, spectrum_write->keyed, spectrum_write->replace);
    case AP20_MSG_READ_ATTACHED_KEYED: return ap_object_result(ap20f_ReadAttachedKeyed(file, keys->key2, keys->key3));
    case AP20_MSG_WRITE_ATTACHED_KEYED: return ap20f_WriteAttachedKeyed(file, keyed_item->object, keyed_item->key2, keyed_item->key3);
    case AP20_MSG_SPECTRUM_PART:       return ap20e_SpectrumPart(static_cast<const AP20_PARTPARM*>(parameter));
    case AP20_MSG_FILE_PART:           return ap_object_result(ap20_FindFile(object));
    case AP20_MSG_SET_ERROR:           return ap20_SetFileError(file, word->word);
    case AP20_MSG_SECTION_OFFSET:      return ap20b_SectionOffset(find->header, find->directory, find->type, find->key2, find->key3);
    case AP20_MSG_READ_SECTION_INTO:   return ap20b_ReadSectionInto(into->object, into->header, into->directory, into->type, into->key2, into->key3, into->buffer, into->index);
    case AP20_MSG_SECTION_LENGTH:      return ap20b_SectionLength(find->header, find->directory, find->type, find->key2, find->key3);
    case AP20_MSG_SET_GROWTH:          return ap20_SetGrowth(file, word->word);
    case AP20_MSG_CLASS_ERROR:         return static_cast<uint32_t>(ap20_GetClassError());
    case AP20_MSG_OPEN_NATIVE_READ:
    case AP20_MSG_OPEN_NATIVE:         return ap20a_OpenNative(file, native->name, native->expected_entries, native->file_type, message);
    case AP20_MSG_CLOSE_NATIVE:        return ap20a_CloseNative(file);
    case AP20_MSG_SAVE_NATIVE:         return ap20a_SaveNative(file);
    case AP20_MSG_READ_OPEN_SECTION:   return ap_object_result(ap20b_ReadOpenSection(file, open_section->type, open_section->key2, open_section->key3, open_section->length));
    case AP20_MSG_WRITE_OPEN_SECTION:  return ap20b_WriteOpenSection(file, put_open->type, put_open->length, put_open->data, put_open->keyed, put_open->key2, put_open->key3);
    case AP20_MSG_FORMAT_TEST:         return ap20a_FormatTest(file, format->name, format->file_type, format->error);
    case AP20_MSG_WRITE_OPEN_DIRECTORY: return ap20a_SaveOpenDirectory(file);
    case AP20_MSG_SET_GROWTH_STEP:     return ap20_SetGrowthStep(file, word->word);
    case AP20_MSG_FREE_MEMBER:         return ap20b_FreeMember(file, word->word);
    case AP20_MSG_RENUMBER:            return ap20b_Renumber(file);
    case AP20_MSG_WRITE_SECTION_CHOSEN: return ap20b_WriteSection(put->object, put->header, put->directory, put->type, put->length, put->data, put->keyed, put->key2, put->key3, put->replace, nullptr);
    case AP20_MSG_COMPACT:             return ap20b_Compact(file);
    case AP20_MSG_FIND_CLOSE:          return ap20c_FindClose();
    case AP20_MSG_WRITE_SECTION_FULL:  return ap20b_WriteSection(put->object, put->header, put->directory, put->type, put->length, put->data, put->keyed, put->key2, put->key3, put->replace, put->writer);
    default:                           return 0;
  }
}
