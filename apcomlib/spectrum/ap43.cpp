// The title class AP43 TITLE: the smallest parameter set of the library, a
// number and a text of up to 256 characters. The GAML import puts the
// output path of a group in the text and the title at the end of the list
// of spectra; the group save takes it out again and writes to that path.
//
// Owns the class's cell heap "AP43" and its parameter table, built at class
// initialisation in a 32-byte block and kept as the class data. The class
// answers creation, destruction, size, class name, reading from a file and
// copy itself; AP43_Dispatcher_TITLE hands every other message to the
// title's PARAMS part.
#include <cstddef>
#include <cstring>

#include "spectrum/spectrum.h"
#include "platform/memory.h"

namespace {

constexpr uint32_t kInstanceCells = 20;
constexpr char kClassName[] = "AP43_TITLE";

// Offsets are filled in at class initialisation, as the running sum of the
// sizes.
AP13_PARMENTRY g_rows[] = {
    {0, AP13_TYPE_DWORD, sizeof(uint32_t), AP13_LIMITS_FREE, 0, "0"},
    {AP43_TEXT_PARM, AP13_TYPE_STRING, AP43_TEXT_SIZE, AP13_LIMITS_FREE, 0, ""},
};
constexpr uint16_t kRowCount = sizeof g_rows / sizeof g_rows[0];
constexpr uint32_t kRecordSize = AP43_TITLE_BYTES - offsetof(AP43_TITLE, number);
static_assert(offsetof(AP43_TITLE, text) + AP43_TEXT_SIZE == AP43_TITLE_BYTES);
static_assert(kRecordSize == 261);

APX_CLASSREC* ap43_class() { return apx_class_record(AP43_CLASS_ID); }

uint16_t ap43_class_id_of(const void* object) {
  if (IsBadReadPtr(object, sizeof(uint16_t))) return 0;
  uint16_t class_id;
  std::memcpy(&class_id, object, sizeof class_id);
  return class_id;
}

// The object as a title, or null.
AP43_TITLE* ap43_title(void* object) {
  if (IsBadReadPtr(object, sizeof(AP43_TITLE)) || ap43_class_id_of(object) != AP43_CLASS_ID) return nullptr;
  return static_cast<AP43_TITLE*>(object);
}

// Size of the parameter block each message reads here, checked before the
// dispatcher unpacks it; the PARAMS part checks its own.
uint32_t ap43_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_NEW: return sizeof(AP_NEWPARM);
    case AP_MSG_DESTROY: return sizeof(HWND);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    default: return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Class initialisation and termination

uint16_t ap43_InitClass_TITLE(uint16_t class_id) {
  if (class_id != AP43_CLASS_ID) return 0;
  APX_CLASSREC* record = ap43_class();
  record->live = 0;
  record->created = 0;
  record->class_data = nullptr;
  record->data_block = nullptr;
  record->instance_heap = GU3_MakeCellHeap_MM(kInstanceCells, sizeof(AP43_TITLE), GU3_KIND_GLOBAL, "AP43");
  if (record->instance_heap == nullptr) return 0;
  GU3_HANDLE block = GU3_Allocate_MM(1, AP13_TableBytes(kRowCount), GU3_KIND_GLOBAL);
  if (block == nullptr) {
    GU3_Free_MM(record->instance_heap);
    record->instance_heap = nullptr;
    return 0;
  }
  uint16_t offset = 0;
  for (AP13_PARMENTRY& row : g_rows) {
    row.offset = offset;
    offset = static_cast<uint16_t>(offset + row.size);
  }
  // The block comes zeroed: the row-array size word, the reserved word, both
  // limits references and the closing word stay 0.
  auto* table = static_cast<AP13_PARMTABLE*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  table->data_size = kRecordSize;
  table->one = 1;
  table->name_group = AP43_NAME_GROUP;
  table->count = kRowCount;
  table->rows = g_rows;
  record->data_block = block;
  record->class_data = table;
  return 1;
}

uint16_t ap43_TermClass_TITLE(uint16_t class_id) {
  if (class_id != AP43_CLASS_ID) return 0;
  APX_CLASSREC* record = ap43_class();
  const uint16_t freed = GU3_Free_MM(record->instance_heap);
  GU3_Free_MM(record->data_block);
  record->instance_heap = nullptr;
  record->data_block = nullptr;
  record->class_data = nullptr;
  return freed;
}

// ---------------------------------------------------------------------------
// Operations

// The PARAMS part counts the title in the class record of its owning class.
AP43_TITLE* ap43_Create_TITLE(uint16_t class_id, AP_OBJECT* outer) {
  APX_CLASSREC* record = ap43_class();
  if (class_id != AP43_CLASS_ID || record->instance_heap == nullptr) return nullptr;
  auto* title = static_cast<AP43_TITLE*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (title == nullptr) return nullptr;
  title->class_id = AP43_CLASS_ID;
  AP_OBJECT* owner = outer != nullptr ? outer : reinterpret_cast<AP_OBJECT*>(title);
  title->params = ap13_Create_PARAMS(AP13_CLASS_ID, AP43_CLASS_ID, owner, &title->number);
  if (title->params == nullptr) {
    GU3_HeapRelease_MM(record->instance_heap, title);
    return nullptr;
  }
  return title;
}

uint32_t ap43_Destroy_TITLE(AP43_TITLE* title, HWND window) {
  if (title == nullptr) return 0;
  const uint32_t result = ap13_Destroy_PARAMS(title->params, window);
  if (result == AP_DESTROYED) GU3_HeapRelease_MM(ap43_class()->instance_heap, title);
  return result;
}

uint32_t ap43_GetSize_TITLE(AP43_TITLE* title) {
  if (title == nullptr || title->params == nullptr) return 0;
  return ap13_GetSize_PARAMS(title->params) + AP43_TITLE_BYTES;
}

// A title made here for the read is destroyed again when the read fails, so
// that a failed read leaves no title behind.
AP43_TITLE* ap43_Read_TITLE(void* object, AP_OBJECT* file, uint16_t create) {
  AP43_TITLE* title = create ? ap43_Create_TITLE(ap43_class_id_of(object), nullptr) : ap43_title(object);
  if (title == nullptr) return nullptr;
  if (ap13_Read_PARAMS(title->params, file, 0) != nullptr) return title;
  if (create) ap43_Destroy_TITLE(title, nullptr);
  return nullptr;
}

uint16_t ap43_Copy_TITLE(AP43_TITLE* title, AP43_TITLE* target, HWND window) {
  if (title == nullptr || target == nullptr) return 0;
  return ap13_Copy_PARAMS(title->params, target->params, window);
}

// ---------------------------------------------------------------------------
// Dispatcher

APEXPORT uint32_t AP43_Dispatcher_TITLE(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap43_block_size(message))) return 0;
  AP43_TITLE* title = ap43_title(object);
  const auto* fresh = static_cast<const AP_NEWPARM*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  switch (message) {
    case AP_MSG_CREATE:     return ap_object_result(ap43_Create_TITLE(ap43_class_id_of(object), nullptr));
    case AP_MSG_NEW:        return ap_object_result(ap2_New_OBJ(AP43_CLASS_ID, fresh->window));
    case AP_MSG_DESTROY:    return ap43_Destroy_TITLE(title, window->window);
    case AP_MSG_SIZE:       return ap43_GetSize_TITLE(title);
    case AP_MSG_CLASS_NAME: return ap2_copy_class_name(static_cast<char*>(parameter), kClassName);
    case AP_MSG_READ:       return ap_object_result(ap43_Read_TITLE(object, read->file, read->create));
    case AP_MSG_COPY:       return ap43_Copy_TITLE(title, ap43_title(copy->target), copy->window);
    default:                return title != nullptr ? AP13_Dispatcher_PARAMS(title->params, message, parameter) : 0;
  }
}
