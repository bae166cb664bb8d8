// Accessory object core: the exported functions, records and message numbers
// of the handle memory manager (GU3) and the linked lists (GU1), on which
// every accessory class of the library stands.
#pragma once
#include <cstdint>

#include "platform/wintypes.h"

#define APEXPORT extern "C"

// ---------------------------------------------------------------------------
// Linked lists (GU1)

struct GU1_NODE {
  GU1_NODE* next;
  GU1_NODE* prev;
};
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
