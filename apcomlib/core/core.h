// Accessory object core: the exported functions, records and message numbers
// of the handle memory manager (GU3), the linked lists (GU1), the message
// layer and class table (GU2, APX), the root object class (AP2) with the
// common object protocol, class registration (apcom) and the log and
// assertion services (GU5), on which every accessory class of the library
// stands.
#pragma once
#include <cstdint>

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
