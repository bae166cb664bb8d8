// Accessory object core: the exported functions, records and message numbers
// of the handle memory manager (GU3), the linked lists (GU1), the message
// layer and class table (GU2, APX), the root object class (AP2) with the
// common object protocol, class registration (apcom) and the log and
// assertion services (GU5), on which every accessory class of the library
// stands.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/wintypes.h"

#define APEXPORT extern "C"

// ---------------------------------------------------------------------------
// Linked lists (GU1)

// Links of a list node, 8 bytes. Packed to 2 like every record of the
// library: nodes of direct lists are the caller's own records and cells of
// heaps whose cell sizes are only even (46-byte objects, 18-byte dependents).
#pragma pack(push, 2)
struct GU1_NODE {
  GU1_NODE* next;
  GU1_NODE* prev;
};
#pragma pack(pop)
static_assert(sizeof(GU1_NODE) == 8);

// Node of an indirect list: a 12-byte cell of the main list heap.
struct GU1_INDIRECTNODE {
  GU1_NODE links;
  void* item;
};
static_assert(sizeof(GU1_INDIRECTNODE) == 12);

// List header, 24 bytes.
//   0  4  head node
//   4  4  tail node
//   8  4  cursor node
//  12  4  node count
//  16  2  key offset inside the item
//  18  2  key size in bytes
//  20  2  key type (search: 1 bytes, 2 float, other text; sort: 2 float, 0 text, other bytes)
//  22  2  indirect flag
#pragma pack(push, 2)
struct GU1_LINKLIST {
  GU1_NODE* head;
  GU1_NODE* tail;
  GU1_NODE* cursor;
  uint32_t count;
  uint16_t key_offset;
  uint16_t key_size;
  uint16_t key_type;
  uint16_t indirect;
};
#pragma pack(pop)
static_assert(sizeof(GU1_LINKLIST) == 24);

constexpr uint16_t GU1_KEY_TEXT = 0;
constexpr uint16_t GU1_KEY_BYTES = 1;
constexpr uint16_t GU1_KEY_FLOAT = 2;
constexpr uint16_t GU1_INSERT_BEFORE = 0;
constexpr uint16_t GU1_INSERT_AFTER = 1;

// ---------------------------------------------------------------------------
// Handle memory manager (GU3)

constexpr uint32_t GU3_DESCRIPTORS_PER_BLOCK = 1000;
constexpr uint32_t GU3_EXTENSION_SLOTS = 30;
constexpr uint16_t GU3_KIND_LOCAL = 0;
constexpr uint16_t GU3_KIND_GLOBAL = 1;
constexpr uint16_t GU3_KIND_GLOBAL_SHARED = 2;

// Handle descriptor, 168 bytes; a handle is the address of its descriptor.
//   0  4  system memory handle (0 = descriptor free)
//   4  4  data pointer, locked for the handle's life
//   8  2  kind: 0 local heap, 1 and 2 global heap
//  10  4  element count
//  14  2  element size in bytes
//  16  4  cell-heap flag
//  20  4  lock count
//  24 24  free list of cells (direct list)
//  48 120 system handles of the 30 extension blocks of a cell heap
#pragma pack(push, 2)
struct GU3_DESCRIPTOR {
  HANDLE system_handle;
  uint8_t* data;
  uint16_t kind;
  uint32_t count;
  uint16_t element_size;
  uint32_t cell_heap;
  uint32_t lock_count;
  GU1_LINKLIST free_cells;
  HANDLE extensions[GU3_EXTENSION_SLOTS];
};
#pragma pack(pop)
static_assert(sizeof(GU3_DESCRIPTOR) == 168);

using GU3_HANDLE = GU3_DESCRIPTOR*;

// String-space block header, 8 bytes, followed directly by the payload.
//   0  2  magic 0xAAAA
//   2  4  payload size in bytes
//   6  2  flags: 0xCCC0 in the upper 14 bits, bit 1 in use, bit 0 last block
// Payloads are not padded, so a header may start at any byte: packed to 1.
#pragma pack(push, 1)
struct GU3_STRINGHDR {
  uint16_t magic;
  uint32_t size;
  uint16_t flags;
};
#pragma pack(pop)
static_assert(sizeof(GU3_STRINGHDR) == 8);

constexpr uint32_t GU3_STRING_SPACE_BYTES = 0x20000;

// Every allocation names its caller's source file and line.
#define GU3_Allocate_MM(count, size, kind) GU3_AllocateEx_MM((count), (size), (kind), __FILE__, __LINE__)
#define GU3_NewPointer(bytes) GU3_NewPointerEx((bytes), __FILE__, __LINE__)
// A named cell heap of count cells, or null (nothing stays allocated then).
#define GU3_MakeCellHeap_MM(count, size, kind, name) \
  gu3_make_cell_heap((count), (size), (kind), (name), __FILE__, __LINE__)

APEXPORT uint16_t GU3_Register();
APEXPORT uint16_t GU3_Unregister();
APEXPORT GU3_HANDLE GU3_AllocateEx_MM(uint32_t count, uint16_t element_size, uint16_t kind, const char* file, int32_t line);
APEXPORT uint16_t GU3_Free_MM(GU3_HANDLE handle);
APEXPORT void* GU3_GetPointer_MM(GU3_HANDLE handle, uint32_t index, uint32_t* elements_after, uint32_t* index_out);
APEXPORT uint32_t GU3_NumElements_MM(GU3_HANDLE handle);
APEXPORT uint16_t GU3_LenElements_MM(GU3_HANDLE handle);
APEXPORT uint16_t GU3_Reallocate_MM(GU3_HANDLE handle, uint32_t new_count);
APEXPORT GU3_HANDLE GU3_CopyEx_MM(GU3_HANDLE handle);
APEXPORT uint16_t GU3_MemMove_MM(uint32_t bytes, const void* source, void* destination);
APEXPORT uint16_t GU3_HeapInit_MM(GU3_HANDLE handle);
APEXPORT void* GU3_HeapGetEx_MM(GU3_HANDLE heap);
APEXPORT uint16_t GU3_HeapRelease_MM(GU3_HANDLE heap, void* cell);
APEXPORT void GU3_SetHeapName_MM(GU3_HANDLE heap, const char* name);
APEXPORT void* GU3_NewPointerEx(uint32_t bytes, const char* file, int32_t line);
APEXPORT void* GU3_ResizePointer(void* address, uint32_t new_bytes);
APEXPORT uint16_t GU3_FreePointer(void* address);
APEXPORT char* GU3_GetStringSpaceEx(uint32_t bytes);
APEXPORT char* GU3_StoreStringEx(const char* text);
APEXPORT uint16_t GU3_RemoveString(void* payload);
APEXPORT uint16_t GU3_VerifyStringSize(const void* payload, uint32_t bytes);
GU3_HANDLE gu3_make_cell_heap(uint32_t count, uint16_t size, uint16_t kind, const char* name, const char* file,
                              int32_t line);

// ---------------------------------------------------------------------------
// Linked lists (GU1) operations

APEXPORT uint16_t GU1_Register_LL();
APEXPORT uint16_t GU1_UnRegister_LL();
APEXPORT GU3_HANDLE GU1_GetMainLLHeap_LL();
APEXPORT uint16_t GU1_Create_LL(GU1_LINKLIST* list, uint16_t key_offset, uint16_t key_size, uint16_t key_type);
APEXPORT uint16_t GU1_CreateIndirect_LL(GU1_LINKLIST* list, uint16_t key_offset, uint16_t key_size, uint16_t key_type);
APEXPORT uint16_t GU1_Add_LL(GU1_LINKLIST* list, void* item);
APEXPORT uint16_t GU1_Append_LL(GU1_LINKLIST* list, void* item);
APEXPORT uint16_t GU1_Insert_LL(GU1_LINKLIST* list, void* item, const void* key, uint16_t where);
APEXPORT uint16_t GU1_InsertP_LL(GU1_LINKLIST* list, void* item, uint32_t position);
APEXPORT uint16_t GU1_Delete_LL(GU1_LINKLIST* list, const void* key);
APEXPORT uint16_t GU1_DeleteP_LL(GU1_LINKLIST* list, uint32_t position);
APEXPORT uint16_t GU1_DeleteNode_LL(GU1_LINKLIST* list, GU1_NODE* node);
APEXPORT uint16_t GU1_Unlink_LL(GU1_LINKLIST* list, GU1_NODE* node);
APEXPORT uint16_t GU1_Destroy_LL(GU1_LINKLIST* list);
APEXPORT uint16_t GU1_Exchange_LL(GU1_LINKLIST* list, const void* key1, const void* key2);
APEXPORT uint16_t GU1_ExchangeP_LL(GU1_LINKLIST* list, uint32_t position1, uint32_t position2);
APEXPORT GU1_NODE* GU1_Head_LL(GU1_LINKLIST* list);
APEXPORT GU1_NODE* GU1_Tail_LL(GU1_LINKLIST* list);
APEXPORT GU1_NODE* GU1_Locate_LL(GU1_LINKLIST* list, uint32_t position);
APEXPORT GU1_NODE* GU1_Next_LL(GU1_LINKLIST* list, GU1_NODE* node);
APEXPORT GU1_NODE* GU1_Prev_LL(GU1_LINKLIST* list, GU1_NODE* node);
APEXPORT GU1_NODE* GU1_Search_LL(GU1_LINKLIST* list, const void* key, GU1_NODE* start, uint16_t key_offset,
                                 uint16_t key_size, uint16_t key_type);
APEXPORT uint32_t GU1_Return_LL(GU1_LINKLIST* list, const void* key, uint32_t n, GU1_NODE** nodes, uint16_t backward);
APEXPORT uint16_t GU1_Sort_LL(GU1_LINKLIST* list, uint16_t key_offset, uint16_t key_size, uint16_t key_type,
                              uint16_t descending);

// The item a node of the list stands for: the node itself in a direct list,
// the node's item word in an indirect one.
void* gu1_item(const GU1_LINKLIST* list, GU1_NODE* node);
void gu1_swap(GU1_LINKLIST* list, GU1_NODE* a, GU1_NODE* b);

// ---------------------------------------------------------------------------
// Objects and messages

// Class ids below this are dispatched.
constexpr uint16_t AP_CLASS_LIMIT = 250;
constexpr uint16_t AP2_CLASS_ID = 2;

// Common head of every accessory object, 6 bytes.
//   0  2  class id
//   2  4  the object's parent-class part (0 in an AP2 part)
#pragma pack(push, 2)
struct AP_OBJECT {
  uint16_t class_id;
  AP_OBJECT* parent;
};
#pragma pack(pop)
static_assert(sizeof(AP_OBJECT) == 6);

// A class dispatcher: (object, message number, parameter) -> result, 0 for
// failure or a message the class does not handle. The object may be a
// pointer to a bare class id for the messages that make an object.
using AP_DISPATCHER = uint32_t (*)(void* object, uint16_t message, void* parameter);
// A class's initialisation or termination, called with its class id.
using AP_CLASSFN = uint16_t (*)(uint16_t class_id);

// Common object protocol: messages 1 to 24, answered by the AP2 part of
// every object.
constexpr uint16_t AP_MSG_SET_USER_WORD = 1;
constexpr uint16_t AP_MSG_CREATE = 2;
constexpr uint16_t AP_MSG_INIT = 3;
constexpr uint16_t AP_MSG_NEW = 4;
constexpr uint16_t AP_MSG_DESTROY = 5;
constexpr uint16_t AP_MSG_DUPLICATE = 6;
constexpr uint16_t AP_MSG_SIZE = 7;
constexpr uint16_t AP_MSG_DUMP = 8;
constexpr uint16_t AP_MSG_CLASS_NAME = 9;
constexpr uint16_t AP_MSG_BEGIN_CHANGE = 10;
constexpr uint16_t AP_MSG_END_CHANGE = 11;
constexpr uint16_t AP_MSG_GET_CHANGE_STATE = 12;
constexpr uint16_t AP_MSG_SET_CHANGE_STATE = 13;
constexpr uint16_t AP_MSG_SAVE = 14;
constexpr uint16_t AP_MSG_ADD_DEPENDENT_WINDOW = 15;
constexpr uint16_t AP_MSG_REMOVE_DEPENDENT = 16;
constexpr uint16_t AP_MSG_READ = 17;
constexpr uint16_t AP_MSG_WRITE = 18;
constexpr uint16_t AP_MSG_COPY = 22;
constexpr uint16_t AP_MSG_ADD_DEPENDENT_OBJECT = 23;
constexpr uint16_t AP_MSG_NOTIFY = 24;

// Parameter messages of the parameter-table classes.
constexpr uint16_t GU2_MSG_GET_PARM_VALUE = 40;
constexpr uint16_t GU2_MSG_SET_PARM_VALUE = 41;
constexpr uint16_t GU2_MSG_GET_PARM_STR = 42;
constexpr uint16_t GU2_MSG_SET_PARM_STR = 43;

// Notices to dependents: window messages to windows, message 24 to objects.
constexpr uint16_t AP_NOTICE_CHANGED = 1002;
constexpr uint16_t AP_NOTICE_DESTROYING = 1003;
constexpr uint16_t AP_NOTICE_COPIED = 1004;
constexpr uint16_t AP_NOTICE_ONE_LEFT = 1005;

// Kinds of dependents.
constexpr uint16_t AP2_KIND_CANT_CHANGE = 2;
constexpr uint16_t AP2_KIND_CANT_DESTROY = 3;
constexpr uint16_t AP2_KIND_NOTIFY_CHANGE = 1002;

// Change states.
constexpr int16_t AP2_UNCHANGED = 0;
constexpr int16_t AP2_CHANGED = 1;
constexpr int16_t AP2_SAVED = 2;

// Results of message 5.
constexpr uint32_t AP_DESTROYED = 1;
constexpr uint32_t AP_DESTROY_REFUSED = 2;

// Parameter blocks of the common messages, packed to 2.
#pragma pack(push, 2)
// Messages 1 (user word) and 13 (change state).
struct AP_WORDPARM {
  uint16_t word;
};
// Messages 3, 5, 6 and 16: the window. Classes whose messages 5 and 6 take
// a flag word after it (a list's destroy-members and deep flags) find it
// here; the library's own senders give it as 0, so no class reads past the
// block it was sent. The AP2 part reads the window only.
struct AP_WINDOWPARM {
  HWND window;
  uint16_t flag;
};
// Message 4, 6 bytes.
struct AP_NEWPARM {
  uint16_t class_id;
  HWND window;
};
// Message 15, 6 bytes.
struct AP_DEPENDENTWINDOWPARM {
  HWND window;
  uint16_t kind;
};
// Message 23, 6 bytes.
struct AP_DEPENDENTOBJECTPARM {
  AP_OBJECT* object;
  uint16_t kind;
};
// Message 17, 6 bytes.
struct AP_READPARM {
  AP_OBJECT* file;
  uint16_t create;
};
// Message 22, 8 bytes: the target's part at the level the message reaches.
struct AP_COPYPARM {
  AP_OBJECT* target;
  HWND window;
};
// Message 24, 12 bytes.
//   0  2  notice number
//   2  2  the user word for 1002, else 0
//   4  4  outermost object of the object that changed
//   8  4  the copy (1004), else 0
struct AP_NOTIFYPARM {
  uint16_t notice;
  uint16_t word;
  AP_OBJECT* outer;
  AP_OBJECT* copy;
};
// The block whose address notice 1004 carries to a window.
struct AP_COPYNOTICE {
  AP_OBJECT* outer;
  AP_OBJECT* copy;
};
#pragma pack(pop)
static_assert(sizeof(AP_WINDOWPARM) == 6);
static_assert(sizeof(AP_NEWPARM) == 6);
static_assert(sizeof(AP_DEPENDENTWINDOWPARM) == 6);
static_assert(sizeof(AP_DEPENDENTOBJECTPARM) == 6);
static_assert(sizeof(AP_READPARM) == 6);
static_assert(sizeof(AP_COPYPARM) == 8);
static_assert(sizeof(AP_NOTIFYPARM) == 12);
static_assert(sizeof(AP_COPYNOTICE) == 8);

// Parameter blocks of messages 40 to 43.
#pragma pack(push, 2)
// Messages 40 and 41 (the force flag is read by 41 only), 8 bytes.
struct GU2_PARMVALUE {
  uint16_t index;
  void* value;
  uint16_t force;
};
// Message 42, 10 bytes; a size of 0 or a precision of 0xFFFF asks for the free form.
struct GU2_PARMSTR {
  uint16_t index;
  uint16_t size;
  uint16_t precision;
  char* buffer;
};
// Message 43, 8 bytes.
struct GU2_PARMSTRSET {
  uint16_t index;
  const char* text;
  uint16_t force;
};
#pragma pack(pop)
static_assert(sizeof(GU2_PARMVALUE) == 8);
static_assert(sizeof(GU2_PARMSTR) == 10);
static_assert(sizeof(GU2_PARMSTRSET) == 8);

// The result word of a message that answers an object.
inline uint32_t ap_object_result(const void* object) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
}
template <typename T>
T* ap_result_object(uint32_t result) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(result));
}


// ---------------------------------------------------------------------------
// Message layer (GU2)

APEXPORT uint32_t GU2_DoMethod_MSG(int32_t message, void* object, void* parameter);
// The class id at the start of an object, or of a pointer to a bare class
// id; 0 when there is nothing to read.
uint16_t gu2_ClassIdOf(const void* object);
APEXPORT AP_DISPATCHER GU2_GetDispatcher(uint16_t class_id);
APEXPORT AP_DISPATCHER GU2_ImmedSetDispatcher(uint16_t class_id, AP_DISPATCHER dispatcher);
APEXPORT AP_DISPATCHER GU2_SetDispatcher(uint16_t class_id, HMODULE module, const char* exported_name);
APEXPORT uint16_t GU2_IsValidClassID_MSG(uint16_t class_id);
APEXPORT int16_t GU2_GetParmValue_MSG(void* object, uint16_t index, void* value);
APEXPORT int16_t GU2_SetParmValue_MSG(void* object, uint16_t index, void* value);
APEXPORT int16_t GU2_GetParmStrValue_MSG(void* object, uint16_t index, char* buffer, uint16_t size, uint16_t precision);
APEXPORT int16_t GU2_SetParmStrValue_MSG(void* object, uint16_t index, const char* text);

// ---------------------------------------------------------------------------
// Class table and framework (APX)

// Class record, 24 bytes.
//   0  2  live objects
//   2  2  objects created
//   4  2  class state: -1 not registered, else the result of its initialisation (1 ready)
//   6  4  instance cell heap
//  10  4  class data (AP2: the dependents heap; parameter-table classes: their table)
//  14  2  parent class id
//  16  4  further class data
//  20  4  handle of a class-data block
#pragma pack(push, 2)
struct APX_CLASSREC {
  uint16_t live;
  uint16_t created;
  int16_t state;
  GU3_HANDLE instance_heap;
  void* class_data;
  uint16_t parent_id;
  void* further_data;
  GU3_HANDLE data_block;
};
#pragma pack(pop)
static_assert(sizeof(APX_CLASSREC) == 24);

// Class table, 6008 bytes.
//   0  4  object serial counter
//   4  4  framework cell heap "APLLHEAP"
//   8     250 class records indexed by class id
#pragma pack(push, 2)
struct APX_CLASSTABLE {
  uint32_t serial_counter;
  GU3_HANDLE framework_heap;
  APX_CLASSREC classes[AP_CLASS_LIMIT];
};
#pragma pack(pop)
static_assert(sizeof(APX_CLASSTABLE) == 6008);

constexpr int16_t APX_NOT_REGISTERED = -1;
constexpr uint32_t APX_FLAG_BENCH_HELD = 0x0001;

APEXPORT APX_CLASSTABLE* APX_GetClassTable();
APEXPORT uint16_t APX_SetClassState(uint16_t class_id, int16_t state);
APEXPORT int16_t APX_GetClassState(uint16_t class_id);
APEXPORT uint16_t APX_SetClassParentID(uint16_t class_id, uint16_t parent_id);
APEXPORT uint16_t APX_GetClassParentID(uint16_t class_id);
APEXPORT uint16_t APX_GetAPClassInfo(uint16_t class_id, uint16_t* live, uint16_t* created, uint16_t* state);
APEXPORT uint16_t APX_GetClassInfoAll(APX_CLASSREC* records);
APEXPORT uint16_t APX_GetAPVersion(uint32_t* version, uint32_t* second);
APEXPORT uint16_t APX_GetAPInfo(uint16_t* class_ids, uint16_t* second, uint16_t* third);
APEXPORT uint16_t APX_Init();
APEXPORT uint16_t APX_UnRegister();
APEXPORT uint32_t APX_GetAPFlags();
APEXPORT uint32_t APX_SetAPFlag(uint32_t bits);
APEXPORT uint32_t APX_ClearAPFlag();
APEXPORT uint16_t APX_GetAppCount();
APEXPORT void* APX_GetGlobalObject();
APEXPORT uint16_t APX_InitAccessory(void* accessory);
APEXPORT void APX_IncAppsRefCount();
APEXPORT void APX_DecAppsRefCount();
APEXPORT void APX_ClearAppCount();
APEXPORT void APX_ClearInitGlobal();
APEXPORT void APX_DestroyAccessory();

// The class record of an id below 250, else null.
APX_CLASSREC* apx_class_record(uint16_t class_id);
// Start-up of a class whose instances come from a named heap of cells: the
// counters cleared and the heap made; 1, or 0 when it cannot be made.
uint16_t apx_InitInstanceHeap(uint16_t class_id, uint32_t cells, uint16_t cell_bytes, const char* name);
// The class's instance heap freed and its handle cleared, so that no later
// create reaches a freed heap; what the free answered.
uint16_t apx_FreeInstanceHeap(uint16_t class_id);

// ---------------------------------------------------------------------------
// Root object class (AP2)

// Dependent, an 18-byte cell of the heap "AP2_DEPENDENTS".
//   0  4  next
//   4  4  previous
//   8  4  window (0 for an object dependent); the list's key
//  12  2  kind
//  14  4  dependent object (0 for a window)
#pragma pack(push, 2)
struct AP2_DEPENDENT {
  GU1_NODE links;
  HWND window;
  uint16_t kind;
  AP_OBJECT* object;
};
#pragma pack(pop)
static_assert(sizeof(AP2_DEPENDENT) == 18);

// The AP2 part of every object, a 46-byte cell of the heap "AP2_OBJECT".
//   0  2  class id 2
//   2  4  parent part (0)
//   6  4  outermost object: where messages about the whole object go
//  10  2  serial number
//  12  2  change nesting count
//  14  2  user word (wParam of notice 1002)
//  16  2  change state: 0 unchanged, 1 changed, 2 saved
//  18  4  the dependents list below
//  22 24  dependents: direct list keyed by window (offset 8, size 4, type 1)
#pragma pack(push, 2)
struct AP2_OBJECT {
  AP_OBJECT head;
  AP_OBJECT* outer;
  uint16_t serial;
  uint16_t nesting;
  uint16_t user_word;
  int16_t change_state;
  GU1_LINKLIST* dependents;
  GU1_LINKLIST dependent_list;
};
#pragma pack(pop)
static_assert(sizeof(AP2_OBJECT) == 46);

APEXPORT uint32_t AP2_Dispatcher_OBJ(void* object, uint16_t message, void* parameter);

uint16_t ap2_InitClass(uint16_t class_id);
uint16_t ap2_TermClass(uint16_t class_id);

// Direct calls on an AP2 part, as the messages named beside them.
AP2_OBJECT* ap2_Create_OBJ(uint16_t class_id, AP_OBJECT* outer);               // 2
uint16_t ap2_Init_OBJ(AP2_OBJECT* part, HWND window);                          // 3
AP_OBJECT* ap2_New_OBJ(uint16_t class_id, HWND window);                        // 4
uint32_t ap2_Destroy_OBJ(AP2_OBJECT* part, HWND window);                       // 5
AP_OBJECT* ap2_Duplicate_OBJ(AP2_OBJECT* part, HWND window);                   // 6
uint32_t ap2_GetSize_OBJ(AP2_OBJECT* part);                                    // 7
uint16_t ap2_DumpObject_OBJ(AP2_OBJECT* part, char* text);                     // 8
// The whole dump text of an object, found through its chain of parts, for
// a caller that cannot size a buffer for it beforehand.
bool ap2_DumpText_OBJ(AP_OBJECT* object, std::string& text);
uint16_t ap2_SetUserWord_OBJ(AP2_OBJECT* part, uint16_t word);                 // 1
uint16_t ap2_BeginChange_OBJ(AP2_OBJECT* part);                                // 10
uint16_t ap2_EndChange_OBJ(AP2_OBJECT* part);                                  // 11
int16_t ap2_GetChangeState_OBJ(AP2_OBJECT* part);                              // 12
uint16_t ap2_SetChangeState_OBJ(AP2_OBJECT* part, int16_t state);              // 13
uint16_t ap2_SaveViaOwner_OBJ(AP2_OBJECT* part, void* file);                   // 14
uint16_t ap2_AddDependentWindow_OBJ(AP2_OBJECT* part, HWND window, uint16_t kind);  // 15
uint16_t ap2_RemoveDependent_OBJ(AP2_OBJECT* part, HWND window);               // 16
AP_OBJECT* ap2_Read_OBJ(void* object, uint16_t create);                       // 17
uint16_t ap2_Write_OBJ(AP2_OBJECT* part, void* file);                          // 18
uint16_t ap2_Copy_OBJ(AP2_OBJECT* part, AP2_OBJECT* target, HWND window);      // 22
uint16_t ap2_AddDependentObject_OBJ(AP2_OBJECT* part, AP_OBJECT* object, uint16_t kind);  // 23
uint16_t ap2_SetOuterObject_OBJ(AP2_OBJECT* part, AP_OBJECT* layer);
// Copies the class name into a caller's buffer for message 9 of every class;
// 0 without a writable buffer.
uint16_t ap2_copy_class_name(char* buffer, const char* class_name);

// ---------------------------------------------------------------------------
// Class registration (apcom)

APEXPORT uint8_t apcom_RegisterClasses(HINSTANCE instance);
APEXPORT bool apcom_UnregisterClasses();
// The library's own module, whose export table answers GetProcAddress for the
// dispatchers; made on first use.
HMODULE apcom_LibraryModule();

using AP_SETDISPATCHERFN = AP_DISPATCHER (*)(uint16_t class_id, AP_DISPATCHER dispatcher);
using AP_CLASSINFOFN = uint16_t (*)(uint16_t class_id, uint16_t* live, uint16_t* created, uint16_t* state);

// Registers one class for the life of the object: its constructor installs
// the dispatcher when the class's initialisation answers 1, its destructor
// removes the dispatcher and terminates the class.
class CApClassRegistrar {
 public:
  CApClassRegistrar(uint16_t class_id, AP_DISPATCHER dispatcher, AP_CLASSFN init, AP_CLASSFN term,
                    AP_SETDISPATCHERFN set_dispatcher, AP_CLASSINFOFN class_info);
  virtual ~CApClassRegistrar();
  CApClassRegistrar(const CApClassRegistrar&) = delete;
  CApClassRegistrar& operator=(const CApClassRegistrar&) = delete;

 private:
  uint16_t class_id_;
  AP_DISPATCHER dispatcher_;
  AP_CLASSFN init_;
  AP_CLASSFN term_;
  AP_SETDISPATCHERFN set_dispatcher_;
  [[maybe_unused]] AP_CLASSINFOFN class_info_;
};

// ---------------------------------------------------------------------------
// Log and assertions (GU5)

constexpr uint32_t GU5_LOG_NAME_SIZE = 144;

APEXPORT int GU5_Assert(const char* text1, const char* text2, int16_t line);
APEXPORT int GU5_DlgMessage(const char* text);
APEXPORT void GU5_LogMessage(const char* text);
APEXPORT void GU5_SetLogFile(const char* file_name);
APEXPORT int32_t GU5_TimeDateStamp(int32_t on);
APEXPORT uint16_t GU5_MessageMode(uint16_t mode, uint32_t value);
APEXPORT void GU5_Message(const char* text);
APEXPORT char* GetTime();

// ---------------------------------------------------------------------------
// Text class (AP48)

constexpr uint16_t AP48_CLASS_ID = 48;

// The word a text change carries to its dependents with notice 1002.
constexpr uint16_t AP48_NOTICE_WORD = 4800;

// Messages of the text class beyond the common protocol.
constexpr uint16_t AP48_MSG_APPEND = 36;
constexpr uint16_t AP48_MSG_LENGTH = 37;
constexpr uint16_t AP48_MSG_CLEAR = 38;
constexpr uint16_t AP48_MSG_TEXT = 39;
constexpr uint16_t AP48_MSG_PREPEND = 40;
constexpr uint16_t AP48_MSG_SET_FIELD = 41;

// The width of the field that message 41 overwrites at its keyword.
constexpr uint32_t AP48_FIELD_WIDTH = 81;

// A text object, a 10-byte cell of the heap "AP48".
//   0  2  class id 48
//   2  4  its AP2 part, whose outermost object is the text object
//   6  4  the text in the string space (0 = empty), owned by the object
#pragma pack(push, 2)
struct AP48_TEXT {
  AP_OBJECT head;
  char* text;
};
// Message 41, 8 bytes.
struct AP48_FIELDPARM {
  const char* keyword;
  const char* value;
};
#pragma pack(pop)
static_assert(sizeof(AP48_TEXT) == 10);
static_assert(sizeof(AP48_FIELDPARM) == 8);

APEXPORT uint32_t AP48_Dispatcher_TEXT(void* object, uint16_t message, void* parameter);
uint16_t ap48_InitClass(uint16_t class_id);
uint16_t ap48_TermClass(uint16_t class_id);

// Direct calls, as the messages named beside them.
uint16_t ap48_AppendText(AP48_TEXT* text, const char* added);                  // 36
uint32_t ap48_GetTextLength(AP48_TEXT* text);                                  // 37
uint16_t ap48_ClearText(AP48_TEXT* text);                                      // 38
char* ap48_GetText(AP48_TEXT* text);                                           // 39
uint16_t ap48_CopyContents(AP48_TEXT* text, AP48_TEXT* target, HWND window);   // 22

// ---------------------------------------------------------------------------
// Support for the object wrapper classes (capobj)

// Copies the source into n bytes as a bounded copy does (the rest filled
// with NULs) and ends it with a NUL at position n - 1 in any case; answers
// the destination, untouched when n is not positive. A null source copies as
// an empty text.
char* capobj_StrCopyN(const char* source, char* destination, int32_t n);
char* capobj_StrCopyN2(const char* source, char* destination, int32_t n);
// Bytes of the text in the ANSI code page (Windows-1252), its NUL included.
int32_t capobj_WideToMultiByteLen(const std::u16string& wide);
// The text in the ANSI code page in the buffer, or null (and an empty text in
// the buffer) when it does not fit in size bytes.
char* capobj_WideToMultiByte(const std::u16string& wide, char* buffer, int32_t size);
// The ANSI text as UTF-16 in `wide`; unchanged when no room can be had.
void capobj_MultiByteToWide(const char* text, std::u16string& wide);
AP_DISPATCHER capobj_GetDispatcher(uint16_t class_id);
bool capobj_GetClassInfo(uint16_t class_id, uint32_t* live, uint32_t* created, uint32_t* state);
// The accessory object a wrapper holds in its second 32-bit word; null for a
// null wrapper.
AP_OBJECT* capobj_GetWrappedObject(const void* wrapper);

struct AP40_LLIST;

// The common base of the object wrappers (the converter's spectrum and
// header wrappers, the file layer's wrapper): the fields they share. Every
// wrapper starts with its table of virtual functions and then the wrapped
// object, where capobj_GetWrappedObject finds it.
class CApObjectBase {
 public:
  CApObjectBase() = default;
  virtual ~CApObjectBase() = default;

 protected:
  CApObjectBase(const CApObjectBase&) = default;
  CApObjectBase& operator=(const CApObjectBase&) = default;

  AP_OBJECT* object_ = nullptr;
  AP40_LLIST* list0_ = nullptr;
  AP40_LLIST* list1_ = nullptr;
  AP_OBJECT* reference_ = nullptr;
  uint32_t comparison_code_ = 0;
  float comparison_values_[3] = {};
  uint32_t delete_argument_ = 0;
  uint32_t record_size_ = 0;
};

// ---------------------------------------------------------------------------
// Object list class (AP40)

constexpr uint16_t AP40_CLASS_ID = 40;

// The key parameter of a list kept in insertion order.
constexpr uint16_t AP40_NO_KEY = 65535;
// The index answer for "no such member".
constexpr uint32_t AP40_NO_INDEX = 0xFFFFFFFF;
// Directions of a walk over the members.
constexpr uint16_t AP40_FROM_HEAD = 1;
constexpr uint16_t AP40_FROM_TAIL = 2;

// Messages of the list class beyond the common protocol.
constexpr uint16_t AP40_MSG_ADD = 36;
constexpr uint16_t AP40_MSG_REMOVE = 37;
constexpr uint16_t AP40_MSG_AT_INDEX = 38;
constexpr uint16_t AP40_MSG_INDEX_OF = 39;
constexpr uint16_t AP40_MSG_COUNT = 40;
constexpr uint16_t AP40_MSG_SET_KEY = 41;
constexpr uint16_t AP40_MSG_FIND_BY_VALUE = 42;
constexpr uint16_t AP40_MSG_FIND_BY_TEST = 43;
constexpr uint16_t AP40_MSG_FOR_EACH = 44;
constexpr uint16_t AP40_MSG_FOR_EACH_PASSING = 45;
constexpr uint16_t AP40_MSG_FIRST = 46;
constexpr uint16_t AP40_MSG_LAST = 47;
constexpr uint16_t AP40_MSG_NEXT = 48;
constexpr uint16_t AP40_MSG_PREVIOUS = 49;
constexpr uint16_t AP40_MSG_SAVE_AS = 50;
constexpr uint16_t AP40_MSG_FIND_BY_MESSAGE = 51;
constexpr uint16_t AP40_MSG_SEND_TO_ALL = 52;
constexpr uint16_t AP40_MSG_SEND_TO_PASSING = 53;
constexpr uint16_t AP40_MSG_REMOVE_UNREADABLE = 54;
constexpr uint16_t AP40_MSG_STREAM_SIZE = 56;

// A callback over members: (member, argument) -> nonzero for yes.
using AP40_MEMBERFN = uint16_t (*)(AP_OBJECT* member, void* argument);

// An object list, a 32-byte cell of the heap "AP40_LLIST".
//   0  2  class id 40
//   2  4  its AP2 part, whose outermost object is the list (or the object given at creation)
//   6  2  key parameter index (65535 = none)
//   8 24  members: indirect list whose nodes point at the member objects
#pragma pack(push, 2)
struct AP40_LLIST {
  AP_OBJECT head;
  uint16_t key;
  GU1_LINKLIST members;
};
// Message 37, 6 bytes.
struct AP40_REMOVEPARM {
  AP_OBJECT* member;
  uint16_t destroy;
};
// Message 38, 4 bytes.
struct AP40_INDEXPARM {
  uint32_t index;
};
// Message 41, 2 bytes.
struct AP40_KEYPARM {
  uint16_t key;
};
// Message 42, 14 bytes. Operator 7 with parameter 65535 answers the start
// position itself.
struct AP40_FINDPARM {
  uint16_t parameter;
  uint16_t compare;
  const void* value;
  AP_OBJECT* start;
  uint16_t direction;
};
// Message 43, 14 bytes.
struct AP40_TESTPARM {
  AP40_MEMBERFN test;
  void* argument;
  AP_OBJECT* start;
  uint16_t direction;
};
// Message 44, 8 bytes.
struct AP40_EACHPARM {
  AP40_MEMBERFN function;
  void* argument;
};
// Message 45, 16 bytes.
struct AP40_EACHPASSINGPARM {
  AP40_MEMBERFN test;
  void* test_argument;
  AP40_MEMBERFN action;
  void* action_argument;
};
// Message 51, 12 bytes.
struct AP40_ASKPARM {
  uint16_t message;
  void* parameter;
  AP_OBJECT* start;
  uint16_t direction;
};
// Message 52, 6 bytes.
struct AP40_SENDPARM {
  uint16_t message;
  void* parameter;
};
// Message 53, 12 bytes.
struct AP40_SENDPASSINGPARM {
  uint16_t test_message;
  void* test_parameter;
  uint16_t message;
  void* parameter;
};
#pragma pack(pop)
static_assert(sizeof(AP40_LLIST) == 32);
static_assert(sizeof(AP40_REMOVEPARM) == 6);
static_assert(sizeof(AP40_INDEXPARM) == 4);
static_assert(sizeof(AP40_KEYPARM) == 2);
static_assert(sizeof(AP40_FINDPARM) == 14);
static_assert(sizeof(AP40_TESTPARM) == 14);
static_assert(sizeof(AP40_EACHPARM) == 8);
static_assert(sizeof(AP40_EACHPASSINGPARM) == 16);
static_assert(sizeof(AP40_ASKPARM) == 12);
static_assert(sizeof(AP40_SENDPARM) == 6);
static_assert(sizeof(AP40_SENDPASSINGPARM) == 12);

APEXPORT uint32_t AP40_Dispatcher_LLIST(void* object, uint16_t message, void* parameter);
uint16_t ap40_InitClass(uint16_t class_id);
uint16_t ap40_TermClass(uint16_t class_id);

// Direct calls, as the messages named beside them.
AP40_LLIST* ap40_New_LLIST(HWND window, uint16_t key);                                 // 4
uint32_t ap40_Destroy_LLIST(AP40_LLIST* list, HWND window, uint16_t destroy_members);  // 5
AP40_LLIST* ap40_Duplicate_LLIST(AP40_LLIST* list, HWND window, uint16_t deep);        // 6
uint32_t ap40_Add_LLIST(AP40_LLIST* list, AP_OBJECT* member);                          // 36
uint16_t ap40_Remove_LLIST(AP40_LLIST* list, AP_OBJECT* member, uint16_t destroy);     // 37
AP_OBJECT* ap40_GetAt_LLIST(AP40_LLIST* list, uint32_t index);                          // 38
// The first member after `start` (from the head or the tail for null) in the
// direction whose parameter compares true with the value; parameter 65535
// with operator 7 gives the member next to `start` without a test.
AP_OBJECT* ap40_Find_LLIST(AP40_LLIST* list, uint16_t parameter, uint16_t compare, const void* value,
                           AP_OBJECT* start, uint16_t direction);                         // 42

// ---------------------------------------------------------------------------
// Parameter tables and the parameter-set class (AP13 PARAMS)

constexpr uint16_t AP13_CLASS_ID = 13;

// Type codes of a parameter (AP13_PARMTYPE): how its value lies in the data
// block and how it reads and writes as text. The handle-held arrays (17-20,
// 22, 23) take the text form of their element type.
enum AP13_PARMTYPE : uint16_t {
  AP13_TYPE_BOOL = 1,              // i16, 0 or 1
  AP13_TYPE_INT = 2,               // i16
  AP13_TYPE_WORD = 3,              // u16
  AP13_TYPE_LONG = 4,              // i32
  AP13_TYPE_DWORD = 5,             // u32
  AP13_TYPE_SINGLE = 6,            // f32
  AP13_TYPE_DOUBLE = 7,            // f64
  AP13_TYPE_STRING = 8,            // char[size], NUL-terminated
  AP13_TYPE_PSTR = 9,              // length byte, then the characters
  AP13_TYPE_ADDR = 10,             // u32 address
  AP13_TYPE_WINID = 11,            // u32 window-system handle
  AP13_TYPE_LLIST = 12,            // GU1_LINKLIST held inline
  AP13_TYPE_CARRAY = 13,           // size raw bytes
  AP13_TYPE_COLOR = 14,            // u32 colour reference
  AP13_TYPE_AP4ADDR = 15,          // u32 reference to an ARRAY object
  AP13_TYPE_STSTRARRAY = 16,       // u32 handle of a string-array block
  AP13_TYPE_GU3MEMFLOATADDR = 17,  // u32 handle of f32 elements
  AP13_TYPE_GU3MEMBOOLADDR = 18,   // u32 handle of i16 elements
  AP13_TYPE_GU3MEMWORDADDR = 19,   // u32 handle of u16 elements
  AP13_TYPE_GU3MEMLONGADDR = 20,   // u32 handle of i32 elements
  AP13_TYPE_OWNEDTEXT = 21,        // u32 reference to a text the object owns
  AP13_TYPE_GU3MEMDOUBLEADDR = 22, // u32 handle of f64 elements
  AP13_TYPE_GU3MEMDWORDADDR = 23,  // u32 handle of u32 elements
};
constexpr uint16_t AP13_TYPE_LAST = AP13_TYPE_GU3MEMDWORDADDR;

// Limits kinds and the records they name. A record holds its numbers in the
// width of the row's type (i16 for types 1 and 2, u16 for 3 and 11, i32 for
// 4, u32 for 5, 10 and 14-23, f32 for 6, f64 for 7), packed.
constexpr uint16_t AP13_LIMITS_NONE = 0;    // no record; only a forced set stores the value
constexpr uint16_t AP13_LIMITS_STEP = 1;    // {min, max, step}
constexpr uint16_t AP13_LIMITS_LIST = 2;    // {u16 n, n values}
constexpr uint16_t AP13_LIMITS_MASK = 3;    // {mask}
constexpr uint16_t AP13_LIMITS_FREE = 4;    // no record; any value
constexpr uint16_t AP13_LIMITS_CHOICE = 5;  // {i16 association group}: the value numbers a text of it
constexpr uint16_t AP13_LIMITS_RANGE = 6;   // {min, max}

// Parameter-table row, 14 bytes, in the static arrays of each class.
//   0  2  number (the row's index)
//   2  2  type code
//   4  2  size of the value in bytes
//   6  2  limits kind
//   8  2  offset of the value in the data block (running sum of the sizes)
//  10  4  default value as text (kind 5: the choice's number; types 12 and
//         13: the raw bytes); null: no default
#pragma pack(push, 2)
struct AP13_PARMENTRY {
  uint16_t number;
  uint16_t type;
  uint16_t size;
  uint16_t limits;
  uint16_t offset;
  const char* default_text;
};
#pragma pack(pop)
static_assert(sizeof(AP13_PARMENTRY) == 14);

// Parameter table, one per parameter-set class, the class data of its class
// record: a 20-byte head, then a reference to each row's limits record (null
// where the row has none) and a closing 0.
//   0  2  byte size of the row array (row count x 14); not read here
//   2  4  size of the data block in bytes
//   6  2  1; not read here
//   8  2  association group of the parameter names (name of row i = text i)
//  10  2  number of rows
//  12  4  reserved, 0
//  16  4  the rows
//  20  4n limits records, then u32 0
#pragma pack(push, 2)
struct AP13_PARMTABLE {
  uint16_t row_bytes;
  uint32_t data_size;
  uint16_t one;
  uint16_t name_group;
  uint16_t count;
  uint32_t reserved;
  const AP13_PARMENTRY* rows;
};
#pragma pack(pop)
static_assert(sizeof(AP13_PARMTABLE) == 20);

// Bytes of a table of `count` rows: the head, the limits references and the 0.
constexpr uint32_t AP13_TableBytes(uint16_t count) { return sizeof(AP13_PARMTABLE) + 4u * (count + 1u); }
// The limits references that follow the head.
inline const void** AP13_TableLimits(AP13_PARMTABLE* table) { return reinterpret_cast<const void**>(table + 1); }
inline const void* const* AP13_TableLimits(const AP13_PARMTABLE* table) {
  return reinterpret_cast<const void* const*>(table + 1);
}

// The PARAMS part of a parameter-set object, a 16-byte cell of the heap "AP13".
//   0  2  class id 13
//   2  4  its AP2 part, whose outer object is the parameter-set object
//   6  2  owning class id (41, 43, 120, 121)
//   8  4  the owning class's table
//  12  4  the data block, carried inline by the parameter-set object
#pragma pack(push, 2)
struct AP13_PARAMS {
  AP_OBJECT head;
  uint16_t owner_class;
  AP13_PARMTABLE* table;
  uint8_t* data;
};
#pragma pack(pop)
static_assert(sizeof(AP13_PARAMS) == 16);

// A parameter-set object: its class id, its PARAMS part, then its data block
// inline.
#pragma pack(push, 2)
struct AP13_CHILD {
  uint16_t class_id;
  AP13_PARAMS* params;
};
#pragma pack(pop)
static_assert(sizeof(AP13_CHILD) == 6);

// Messages of AP13_Dispatcher_PARAMS beyond the common protocol (40 to 43
// are the GU2_MSG_* numbers above).
constexpr uint16_t AP13_MSG_GET_CLASS_TITLE = 36;
constexpr uint16_t AP13_MSG_GET_PARM_COUNT = 37;
constexpr uint16_t AP13_MSG_GET_PARM_TYPE = 38;
constexpr uint16_t AP13_MSG_GET_PARM_NAME = 39;
constexpr uint16_t AP13_MSG_RESET_ALL = 44;
constexpr uint16_t AP13_MSG_RESET_PARM = 45;
constexpr uint16_t AP13_MSG_VALIDATE_PARM = 46;
constexpr uint16_t AP13_MSG_VALIDATE_TEXT = 47;
constexpr uint16_t AP13_MSG_COMPARE_VALUE = 48;
constexpr uint16_t AP13_MSG_GET_CHOICE_COUNT = 49;
constexpr uint16_t AP13_MSG_GET_CHOICE_VALUE = 50;
constexpr uint16_t AP13_MSG_GET_CHOICE_TEXT = 51;
constexpr uint16_t AP13_MSG_FIND_CHOICE_INDEX = 52;
constexpr uint16_t AP13_MSG_GET_ALL_TEXT = 53;
constexpr uint16_t AP13_MSG_SET_ALL_TEXT = 54;
constexpr uint16_t AP13_MSG_VALIDATE_ALL = 55;
constexpr uint16_t AP13_MSG_GET_DATA_SIZE = 56;
constexpr uint16_t AP13_MSG_GET_DATA_PTR = 57;
constexpr uint16_t AP13_MSG_COPY_DIFFERING = 59;
constexpr uint16_t AP13_MSG_LIST_TO_TEXT = 60;
constexpr uint16_t AP13_MSG_TEST_CLASS_FLAG = 61;
constexpr uint16_t AP13_MSG_GET_PARM_SIZE = 62;
constexpr uint16_t AP13_MSG_GET_TEXT_SIZE = 63;
constexpr uint16_t AP13_MSG_FORMAT_PARM = 64;
constexpr uint16_t AP13_MSG_PARSE_PARM = 65;
constexpr uint16_t AP13_MSG_DESCRIBE_PARM = 66;
constexpr uint16_t AP13_MSG_TAKE_VALUES = 67;
constexpr uint16_t AP13_MSG_VALIDATE_EACH = 68;

// Answers of the parameter messages: an index at or beyond the count is the
// 16-bit -1; message 49 tells a parameter without a list of choices; message
// 55 tells that every value passed.
constexpr uint32_t AP13_BAD_INDEX = 0xFFFF;
constexpr uint32_t AP13_NO_CHOICES = 0xFFFFFFFF;
constexpr uint32_t AP13_ALL_VALID = 65534;
constexpr uint32_t AP13_NOT_PARAMS = 65535;

// Association groups the class reads: class titles by owning class id, the
// text that stands for a value that is not given (number 0).
constexpr uint16_t AP13_GROUP_CLASS_TITLES = 1300;
constexpr uint16_t AP13_GROUP_NOT_GIVEN = 9999;

// Parameter blocks, packed to 2; indexes are u16.
#pragma pack(push, 2)
// Message 2, 10 bytes; the object is a pointer to the class id 13.
struct AP13_CREATEPARM {
  uint16_t owner_class;
  AP_OBJECT* outer;
  void* data;
};
// Messages 38, 45, 49 and 62.
struct AP13_INDEXPARM {
  uint16_t index;
};
// Message 39, 6 bytes.
struct AP13_NAMEPARM {
  uint16_t index;
  char* buffer;
};
// Message 46, 6 bytes.
struct AP13_VALUEPARM {
  uint16_t index;
  const void* value;
};
// Message 47, 6 bytes.
struct AP13_TEXTPARM {
  uint16_t index;
  const char* text;
};
// Message 48, 8 bytes; operators as AP1_Compare_MATH takes them.
struct AP13_COMPAREPARM {
  uint16_t index;
  uint16_t op;
  const void* value;
};
// Message 50, 10 bytes: the n-th choice, the row's size in bytes.
struct AP13_CHOICEVALUEPARM {
  uint16_t index;
  uint32_t n;
  void* value;
};
// Message 51, 14 bytes.
struct AP13_CHOICETEXTPARM {
  uint16_t index;
  uint32_t n;
  uint16_t width;
  uint16_t precision;
  char* buffer;
};
// Message 52, 10 bytes: the position found is written where `n` points, as
// the other out fields of the parameter messages are.
struct AP13_FINDCHOICEPARM {
  uint16_t index;
  uint32_t* n;
  const void* value;
};
// Message 59, 8 bytes; first = last = -1 asks for every parameter. When a
// differing value cannot be copied, or length-prefixed texts of different
// lengths end the copy, `first` receives the first such index.
struct AP13_COPYDIFFPARM {
  AP_OBJECT* target;
  int16_t first;
  int16_t last;
};
// Message 60, 8 bytes.
struct AP13_LISTPARM {
  AP_OBJECT* text;
  HWND window;
};
// Message 61.
struct AP13_FLAGPARM {
  int16_t flags;
};
// Message 63, 6 bytes.
struct AP13_TEXTSIZEPARM {
  uint16_t index;
  int16_t width;
  int16_t precision;
};
// Message 64, 14 bytes. Deep writes out the arrays behind types 15-23.
struct AP13_FORMATPARM {
  uint16_t index;
  uint16_t width;
  uint16_t precision;
  char* buffer;
  uint16_t buffer_size;
  uint16_t deep;
};
// Message 65, 10 bytes. Deep fills the arrays behind types 15-23.
struct AP13_PARSEPARM {
  uint16_t index;
  const char* text;
  uint16_t force;
  uint16_t deep;
};
// Message 66, 18 bytes; the extent is {present or rows, count}.
struct AP13_DESCRIBEPARM {
  uint16_t index;
  uint16_t* type;
  uint16_t* limits;
  char* text;
  uint32_t* extent;
};
// Message 67, 16 bytes.
struct AP13_TAKEPARM {
  AP_OBJECT* file;
  uint8_t* data;
  uint32_t stored_size;
  uint32_t block_size;
};
#pragma pack(pop)
static_assert(sizeof(AP13_CREATEPARM) == 10);
static_assert(sizeof(AP13_NAMEPARM) == 6);
static_assert(sizeof(AP13_VALUEPARM) == 6);
static_assert(sizeof(AP13_TEXTPARM) == 6);
static_assert(sizeof(AP13_COMPAREPARM) == 8);
static_assert(sizeof(AP13_CHOICEVALUEPARM) == 10);
static_assert(sizeof(AP13_CHOICETEXTPARM) == 14);
static_assert(sizeof(AP13_FINDCHOICEPARM) == 10);
static_assert(sizeof(AP13_COPYDIFFPARM) == 8);
static_assert(sizeof(AP13_LISTPARM) == 8);
static_assert(sizeof(AP13_TEXTSIZEPARM) == 6);
static_assert(sizeof(AP13_FORMATPARM) == 14);
static_assert(sizeof(AP13_PARSEPARM) == 10);
static_assert(sizeof(AP13_DESCRIBEPARM) == 18);
static_assert(sizeof(AP13_TAKEPARM) == 16);

APEXPORT uint32_t AP13_Dispatcher_PARAMS(void* object, uint16_t message, void* parameter);

uint16_t ap13_InitClass_PARAMS(uint16_t class_id);
uint16_t ap13_TermClass_PARAMS(uint16_t class_id);

// The part operations, as the messages named beside them; the parameter-set
// classes call them on their own part.
AP13_PARAMS* ap13_Create_PARAMS(uint16_t class_id, uint16_t owner_class, AP_OBJECT* outer, void* data);  // 2
uint16_t ap13_Init_PARAMS(AP13_PARAMS* part, HWND window);                                          // 3
uint32_t ap13_Destroy_PARAMS(AP13_PARAMS* part, HWND window);                                       // 5
uint32_t ap13_GetSize_PARAMS(AP13_PARAMS* part);                                                    // 7
AP_OBJECT* ap13_Read_PARAMS(void* object, AP_OBJECT* file, uint16_t create);                         // 17
uint16_t ap13_Write_PARAMS(AP13_PARAMS* part, AP_OBJECT* file);                                     // 18
uint16_t ap13_Copy_PARAMS(AP13_PARAMS* part, AP13_PARAMS* target, HWND window);                     // 22
uint32_t ap13_GetParmValue_PARAMS(AP13_PARAMS* part, uint16_t index, void* value);                  // 40
uint32_t ap13_SetParmValue_PARAMS(AP13_PARAMS* part, uint16_t index, const void* value, uint16_t force);  // 41
uint32_t ap13_GetParmStr_PARAMS(AP13_PARAMS* part, uint16_t index, uint16_t size, uint16_t precision,
                                char* buffer);                                                       // 42
uint32_t ap13_SetParmStr_PARAMS(AP13_PARAMS* part, uint16_t index, const char* text, uint16_t force);  // 43
uint32_t ap13_ValidateParm_PARAMS(AP13_PARAMS* part, uint16_t index, const void* value);            // 46

// The first PARAMS part in an object's chain of parent parts (the object
// itself when it is one), or null.
AP13_PARAMS* ap13_FindParamsPart(const void* object);

// Inside the PARAMS modules (ap13.cpp the class and its value messages,
// ap13_tables.cpp the text forms and validation, ap13_bulk.cpp the choices,
// bulk text and cores).

// No row is larger than this: values pass whole through buffers of it.
constexpr uint16_t AP13_LARGEST_VALUE = 520;
// A Bool's text needs room for "FALSE" and its terminator.
constexpr uint32_t AP13_BOOL_TEXT_BYTES = 6;

// A value of a packed record or a byte block, whatever its alignment.
template <typename T>
T ap13_load(const void* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

bool ap13_is_part(const AP13_PARAMS* part);
// Width of the numbers of a type's limits records, and a number of that
// width and sign (type 11: its low 16 bits) read from a value or record.
uint32_t ap13_limit_width(uint16_t type);
int64_t ap13_integer_at(const void* at, uint16_t type);
double ap13_float_at(const void* at, uint16_t type);
// Writes a number in the width of an integer type (i16 for 2, u16 for 3 and
// 11, i32 for 4, u32 for 5, 10 and 14-23); false for any other type.
bool ap13_store_number(int64_t number, uint16_t type, void* out);
// The row of an index, or null when the index is not below the count.
const AP13_PARMENTRY* ap13_row(const AP13_PARAMS* part, uint16_t index);
// The row's limits record, or null where it has none.
const uint8_t* ap13_limits_record(const AP13_PARAMS* part, uint16_t index);
uint8_t* ap13_GetValuePtr_PARAMS(const AP13_PARAMS* part, uint16_t index);
// The association text 9999/0, or the library's own when no module has it.
const char* ap13_not_given_text();
// Writes the text form of one value. Width -1 with precision 0, or precision
// -1, is the free form. A buffer size of 0 leaves the bound to the string
// space's own size check.
int16_t ap13_FormatValue_PARAMS(const void* value, uint16_t type, int16_t width, int16_t precision, char* buffer,
                                uint32_t buffer_size);
// Reads one value; *value then points to shared storage that holds it until
// the next parse (types 8, 9, 12 and 13: to the text itself).
int16_t ap13_ParseValue_PARAMS(const char* text, uint16_t type, const void** value);
// The length-prefixed form of a text in `out` of `capacity` bytes, cut to
// what the capacity and the length byte hold; and back.
uint16_t ap13_CToPascal_PARAMS(const char* text, uint8_t* out, uint32_t capacity);
uint16_t ap13_PascalToC_PARAMS(const uint8_t* pascal, char* out, uint32_t capacity);
// Whether a caller's buffer takes that many bytes: within the size the
// caller gave (0: none given), the string space's size of the block when it
// is one, and writable.
bool ap13_buffer_takes(void* buffer, uint32_t bytes, uint32_t buffer_size);
// Copies a text into a caller's buffer after those checks; 0 when it does
// not fit.
uint16_t ap13_copy_text(char* buffer, const char* text, uint32_t buffer_size);
// Sets index + 1 as the notice word and ends the change begun on the part.
void ap13_end_change(AP13_PARAMS* part, uint16_t index);

// Messages 36 to 68, as the dispatcher routes them.
uint32_t ap13_GetClassTitle_PARAMS(AP13_PARAMS* part, const char** title);                          // 36
uint32_t ap13_GetParmCount_PARAMS(AP13_PARAMS* part, uint16_t* count);                               // 37
uint32_t ap13_GetParmType_PARAMS(AP13_PARAMS* part, uint16_t index);                                 // 38
uint32_t ap13_GetParmName_PARAMS(AP13_PARAMS* part, uint16_t index, char* buffer);                   // 39
uint32_t ap13_ResetAll_PARAMS(AP13_PARAMS* part);                                                    // 44
uint32_t ap13_ResetParm_PARAMS(AP13_PARAMS* part, uint16_t index);                                   // 45
uint32_t ap13_ValidateText_PARAMS(AP13_PARAMS* part, uint16_t index, const char* text);              // 47
uint32_t ap13_CompareValue_PARAMS(AP13_PARAMS* part, uint16_t index, uint16_t op, const void* value);  // 48
uint32_t ap13_GetChoiceCount_PARAMS(AP13_PARAMS* part, uint16_t index);                              // 49
uint32_t ap13_GetChoiceValue_PARAMS(AP13_PARAMS* part, uint16_t index, uint32_t n, void* value);     // 50
uint32_t ap13_GetChoiceText_PARAMS(AP13_PARAMS* part, const AP13_CHOICETEXTPARM* block);             // 51
uint32_t ap13_FindChoiceIndex_PARAMS(AP13_PARAMS* part, AP13_FINDCHOICEPARM* block);                 // 52
uint32_t ap13_GetAllText_PARAMS(AP13_PARAMS* part, char* buffer);                                    // 53
uint32_t ap13_SetAllText_PARAMS(AP13_PARAMS* part, const char* text);                                // 54
uint32_t ap13_ValidateAll_PARAMS(AP13_PARAMS* part);                                                 // 55
uint32_t ap13_GetDataSize_PARAMS(AP13_PARAMS* part);                                                 // 56
uint8_t* ap13_GetDataPtr_PARAMS(AP13_PARAMS* part);                                                  // 57
uint32_t ap13_CopyDiffering_PARAMS(AP13_PARAMS* part, AP13_COPYDIFFPARM* block);                     // 59
uint32_t ap13_ListToText_PARAMS(AP13_PARAMS* part, AP_OBJECT* text);                                 // 60
uint32_t ap13_TestClassFlag_PARAMS(AP13_PARAMS* part, int16_t flags);                                // 61
uint32_t ap13_GetParmSize_PARAMS(AP13_PARAMS* part, uint16_t index);                                 // 62
uint32_t ap13_GetTextSize_PARAMS(AP13_PARAMS* part, uint16_t index, int16_t width, int16_t precision);  // 63
uint32_t ap13_FormatParm_PARAMS(AP13_PARAMS* part, const AP13_FORMATPARM* block);                    // 64
uint32_t ap13_ParseParm_PARAMS(AP13_PARAMS* part, uint16_t index, const char* text, uint16_t force,
                               uint16_t deep);                                                        // 65
uint32_t ap13_DescribeParm_PARAMS(AP13_PARAMS* part, const AP13_DESCRIBEPARM* block);                // 66
uint32_t ap13_TakeValues_PARAMS(AP13_PARAMS* part, const AP13_TAKEPARM* block);                      // 67
uint32_t ap13_ValidateEach_PARAMS(AP13_PARAMS* part);                                                // 68

// ---------------------------------------------------------------------------
// Typed parameter accessors (GU2)

// Whether the object carries a parameter-table part (class 13) in its chain
// of parent parts.
APEXPORT int16_t GU2_IsAP13Child(const void* object);
// The checks an accessor makes before it sends message 40 (read 0: the value
// memory is written) or 41 (read 1: it is read): object and value given, a
// parameter part, the index below the count, the value memory of `size`
// bytes, and the parameter's type, or with allow-other-types a parameter of
// at most `size` bytes. 1 pass, 0 fail.
APEXPORT int16_t GU2_CheckParmExRW_MSG(void* object, uint16_t index, const void* value, uint16_t size,
                                       uint16_t type_code, int16_t allow_other_types, int16_t read);
APEXPORT int16_t GU2_CheckParmEx_MSG(void* object, uint16_t index, const void* value, uint16_t size,
                                     uint16_t type_code, int16_t allow_other_types);
APEXPORT int16_t GU2_CheckParm_MSG(void* object, uint16_t index, const void* value, uint16_t size,
                                   uint16_t type_code);

// Flags of an accessor: whether a failed check raises the assertion box or
// is told only by the answer 0, and whether a get probes the caller's
// memory over the whole row it receives (the text types) rather than over
// the accessor's own size.
constexpr uint16_t GU2_ACCESS_BOX = 1;
constexpr uint16_t GU2_ACCESS_QUIET = 0;
constexpr uint16_t GU2_ACCESS_WHOLE_ROW = 2;

// The accessor pairs GU2_<Type>GetParmValue_MSG (object, index, value
// buffer) and GU2_<Type>SetParmValue_MSG (object, index, value), each with
// the value's C type, the size and type code it is checked with, and the
// flags of the get and of the set.
#define GU2_TYPED_ACCESSORS(X)                                                                   \
  X(Bool, int16_t, 2, AP13_TYPE_BOOL, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                            \
  X(Int, int16_t, 2, AP13_TYPE_INT, GU2_ACCESS_QUIET, GU2_ACCESS_BOX)                            \
  X(Word, uint16_t, 2, AP13_TYPE_WORD, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                           \
  X(Long, int32_t, 4, AP13_TYPE_LONG, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                            \
  X(DWord, uint32_t, 4, AP13_TYPE_DWORD, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                         \
  X(Single, float, 4, AP13_TYPE_SINGLE, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                          \
  X(Float, float, 4, AP13_TYPE_SINGLE, GU2_ACCESS_BOX, GU2_ACCESS_QUIET)                         \
  X(Double, double, 8, AP13_TYPE_DOUBLE, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                         \
  X(String, char, 1, AP13_TYPE_STRING, GU2_ACCESS_BOX | GU2_ACCESS_WHOLE_ROW, GU2_ACCESS_BOX)    \
  X(PStr, char, 1, AP13_TYPE_PSTR, GU2_ACCESS_BOX | GU2_ACCESS_WHOLE_ROW, GU2_ACCESS_BOX)        \
  X(WinID, HWND, 4, AP13_TYPE_WINID, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                             \
  X(Instance, HINSTANCE, 4, AP13_TYPE_WINID, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                     \
  X(Icon, HANDLE, 4, AP13_TYPE_WINID, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                            \
  X(Cursor, HANDLE, 4, AP13_TYPE_WINID, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                          \
  X(Handle, HANDLE, 4, AP13_TYPE_WINID, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                          \
  X(LList, GU1_LINKLIST, 24, AP13_TYPE_LLIST, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                    \
  X(Color, DWORD, 4, AP13_TYPE_COLOR, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                            \
  X(ColRef, DWORD, 4, AP13_TYPE_COLOR, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                           \
  X(AP4Addr, AP_OBJECT*, 4, AP13_TYPE_AP4ADDR, GU2_ACCESS_BOX, GU2_ACCESS_BOX)                   \
  X(STStrArray, GU3_HANDLE, 4, AP13_TYPE_STSTRARRAY, GU2_ACCESS_BOX, GU2_ACCESS_BOX)             \
  X(GU3MemFloatAddr, GU3_HANDLE, 4, AP13_TYPE_GU3MEMFLOATADDR, GU2_ACCESS_BOX, GU2_ACCESS_BOX)   \
  X(GU3MemBoolAddr, GU3_HANDLE, 4, AP13_TYPE_GU3MEMBOOLADDR, GU2_ACCESS_BOX, GU2_ACCESS_BOX)     \
  X(GU3MemWordAddr, GU3_HANDLE, 4, AP13_TYPE_GU3MEMWORDADDR, GU2_ACCESS_QUIET, GU2_ACCESS_BOX)   \
  X(GU3MemLongAddr, GU3_HANDLE, 4, AP13_TYPE_GU3MEMLONGADDR, GU2_ACCESS_BOX, GU2_ACCESS_BOX)     \
  X(GU3MemDoubleAddr, GU3_HANDLE, 4, AP13_TYPE_GU3MEMDOUBLEADDR, GU2_ACCESS_BOX, GU2_ACCESS_BOX) \
  X(GU3MemDWordAddr, GU3_HANDLE, 4, AP13_TYPE_GU3MEMDWORDADDR, GU2_ACCESS_BOX, GU2_ACCESS_BOX)

#define GU2_DECLARE_TYPED_ACCESSORS(Type, ValueType, size, type_code, get_flags, set_flags)  \
  APEXPORT int16_t GU2_##Type##GetParmValue_MSG(void* object, uint16_t index, ValueType* value); \
  APEXPORT int16_t GU2_##Type##SetParmValue_MSG(void* object, uint16_t index, ValueType const* value);
GU2_TYPED_ACCESSORS(GU2_DECLARE_TYPED_ACCESSORS)
#undef GU2_DECLARE_TYPED_ACCESSORS

// An address of any of the types 10, 15 to 20, 22 and 23, checked exactly
// against each.
APEXPORT int16_t GU2_AddrGetParmValue_MSG(void* object, uint16_t index, uint32_t* value);
APEXPORT int16_t GU2_AddrSetParmValue_MSG(void* object, uint16_t index, const uint32_t* value);
// A byte array of the caller's size (type 13).
APEXPORT int16_t GU2_CArrayGetParmValue_MSG(void* object, uint16_t size, uint16_t index, void* value);
APEXPORT int16_t GU2_CArraySetParmValue_MSG(void* object, uint16_t size, uint16_t index, const void* value);
