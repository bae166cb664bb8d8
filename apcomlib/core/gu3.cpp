// Handle memory manager.
//
// Owns the handle table (descriptors in blocks of 1000 that never move, so a
// handle, the address of its descriptor, stays valid for its whole life), the
// cell heaps built on handles, and the string space that holds the library's
// many small texts. Every accessory class keeps its objects in a cell heap;
// texts of every class live in the string space; numeric data live in handles.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <unordered_map>
#include <vector>

#include "core/core.h"
#include "platform/memory.h"

namespace {

// ---------------------------------------------------------------------------
// Handle table

std::vector<GU3_DESCRIPTOR*> g_descriptor_blocks;
std::vector<HGLOBAL> g_descriptor_block_handles;
uint32_t g_next_descriptor = 0;

uint32_t gu3_descriptor_total() {
  return static_cast<uint32_t>(g_descriptor_blocks.size()) * GU3_DESCRIPTORS_PER_BLOCK;
}

GU3_DESCRIPTOR* gu3_descriptor_at(uint32_t index) {
  return &g_descriptor_blocks[index / GU3_DESCRIPTORS_PER_BLOCK][index % GU3_DESCRIPTORS_PER_BLOCK];
}

bool gu3_add_descriptor_block() {
  HGLOBAL block = GlobalAlloc(GHND, GU3_DESCRIPTORS_PER_BLOCK * sizeof(GU3_DESCRIPTOR));
  if (block == nullptr) return false;
  g_descriptor_block_handles.push_back(block);
  g_descriptor_blocks.push_back(static_cast<GU3_DESCRIPTOR*>(GlobalLock(block)));
  return true;
}

// A handle is good when it is the address of a descriptor of the table; any
// other value is refused before it is read.
bool gu3_is_descriptor(GU3_HANDLE handle) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(handle);
  for (GU3_DESCRIPTOR* block : g_descriptor_blocks) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    if (address >= start && address < start + GU3_DESCRIPTORS_PER_BLOCK * sizeof(GU3_DESCRIPTOR))
      return (address - start) % sizeof(GU3_DESCRIPTOR) == 0;
  }
  return false;
}

bool gu3_in_use(GU3_HANDLE handle) { return gu3_is_descriptor(handle) && handle->system_handle != nullptr; }

// Rotating search from the next index to the end, then once from the start;
// when every descriptor is taken the table grows by a block.
GU3_DESCRIPTOR* gu3_take_descriptor() {
  const uint32_t total = gu3_descriptor_total();
  for (uint32_t step = 0; step < total; ++step) {
    const uint32_t index = (g_next_descriptor + step) % total;
    if (gu3_descriptor_at(index)->system_handle == nullptr) {
      g_next_descriptor = index + 1;
      return gu3_descriptor_at(index);
    }
  }
  if (!gu3_add_descriptor_block()) return nullptr;
  g_next_descriptor = total + 1;
  return gu3_descriptor_at(total);
}

// Kind 0 blocks come from the local heap and stay below 64 KB.
uint32_t gu3_local_count_limit(uint32_t count, uint16_t element_size) {
  const uint32_t limit = 65535u / element_size;
  return count > limit ? limit : count;
}

HANDLE gu3_system_allocate(uint16_t kind, uint32_t bytes) {
  if (kind == GU3_KIND_LOCAL) return LocalAlloc(LHND, bytes % 65536u);
  return GlobalAlloc(GHND | GMEM_SHARE, bytes);
}

void* gu3_system_lock(uint16_t kind, HANDLE block) {
  return kind == GU3_KIND_LOCAL ? LocalLock(block) : GlobalLock(block);
}

void gu3_system_release(uint16_t kind, HANDLE block) {
  if (kind == GU3_KIND_LOCAL) {
    LocalUnlock(block);
    LocalFree(block);
  } else {
    GlobalUnlock(block);
    GlobalFree(block);
  }
}

// ---------------------------------------------------------------------------
// Cell heaps

// Where each block of a cell heap starts and which of its cells are free, so
// that a release can refuse a foreign address or a cell that is already free.
// A heap whose 30 extension slots are taken keeps growing: the blocks beyond
// them are held here, so a large but sound job never runs out of objects.
struct CellHeapCells {
  std::map<uintptr_t, uint32_t> block_by_start;  // start address -> block number (0 = the handle's own)
  std::vector<HANDLE> further_blocks;
  std::vector<bool> free;  // indexed block * count + cell
};
std::unordered_map<const GU3_DESCRIPTOR*, CellHeapCells> g_cell_heaps;

constexpr uint32_t kNoCell = 0xFFFFFFFF;

uint32_t gu3_cell_index(const GU3_DESCRIPTOR* heap, const CellHeapCells& cells, const void* cell) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(cell);
  auto block = cells.block_by_start.upper_bound(address);
  if (block == cells.block_by_start.begin()) return kNoCell;
  --block;
  const uintptr_t offset = address - block->first;
  if (offset >= static_cast<uintptr_t>(heap->count) * heap->element_size || offset % heap->element_size != 0)
    return kNoCell;
  return block->second * heap->count + static_cast<uint32_t>(offset / heap->element_size);
}

// Pushes every cell of a block on the free list, in address order, so that
// the last cell is handed out first.
void gu3_push_cells(GU3_DESCRIPTOR* heap, CellHeapCells& cells, uint8_t* start) {
  const uint32_t block = static_cast<uint32_t>(cells.block_by_start.size());
  cells.block_by_start[reinterpret_cast<uintptr_t>(start)] = block;
  cells.free.resize(static_cast<size_t>(block + 1) * heap->count, false);
  for (uint32_t cell = 0; cell < heap->count; ++cell) {
    GU1_Add_LL(&heap->free_cells, start + cell * heap->element_size);
    cells.free[block * heap->count + cell] = true;
  }
}

bool gu3_grow_heap(GU3_DESCRIPTOR* heap, CellHeapCells& cells) {
  HANDLE block = gu3_system_allocate(heap->kind, heap->count * heap->element_size);
  if (block == nullptr) return false;
  HANDLE* slot = std::find(std::begin(heap->extensions), std::end(heap->extensions), nullptr);
  if (slot != std::end(heap->extensions)) *slot = block;
  else cells.further_blocks.push_back(block);
  gu3_push_cells(heap, cells, static_cast<uint8_t*>(gu3_system_lock(heap->kind, block)));
  return true;
}

// ---------------------------------------------------------------------------
// String space

constexpr uint16_t kStringMagic = 0xAAAA;
constexpr uint16_t kStringFlagsBase = 0xCCC0;
constexpr uint16_t kStringInUse = 0x0002;
constexpr uint16_t kStringLast = 0x0001;

// When a space is full a further one of the same size is added; each is a
// chain of its own. Each space knows where its first free block is: every
// block before it is in use, so the first-fit search, and the search for a
// freed block's free neighbour before it, start there. Walking every string
// in use from the start of the chain made storing and freeing the strings
// of thousands of spectra cost time by the square of their number.
struct StringSpace {
  uint8_t* bytes;
  HGLOBAL block;
  uint32_t first_free;  // GU3_STRING_SPACE_BYTES when no block is free
};
std::vector<StringSpace> g_string_spaces;

bool gu3_header_valid(GU3_STRINGHDR* header) {
  if ((header->flags & 0xFFFC) != kStringFlagsBase) return false;
  if (header->magic != kStringMagic) header->magic = kStringMagic;
  return true;
}

GU3_STRINGHDR* gu3_header_of(const void* payload) {
  return reinterpret_cast<GU3_STRINGHDR*>(const_cast<uint8_t*>(static_cast<const uint8_t*>(payload)) - 8);
}

uint8_t* gu3_payload_of(GU3_STRINGHDR* header) { return reinterpret_cast<uint8_t*>(header) + 8; }

GU3_STRINGHDR* gu3_following(GU3_STRINGHDR* header) {
  return reinterpret_cast<GU3_STRINGHDR*>(gu3_payload_of(header) + header->size);
}

// The space whose chain holds a header at this payload address, or null.
StringSpace* gu3_space_of(const void* payload) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(payload);
  for (StringSpace& space : g_string_spaces) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(space.bytes);
    if (address >= start + 8 && address <= start + GU3_STRING_SPACE_BYTES) return &space;
  }
  return nullptr;
}

// A header inside the space whose payload also lies inside it.
bool gu3_header_in_space(const uint8_t* space, GU3_STRINGHDR* header) {
  const uint8_t* at = reinterpret_cast<const uint8_t*>(header);
  if (at < space || at + 8 > space + GU3_STRING_SPACE_BYTES) return false;
  return header->size <= static_cast<uint32_t>(space + GU3_STRING_SPACE_BYTES - (at + 8));
}

GU3_STRINGHDR* gu3_header_at(const StringSpace& space, uint32_t offset) {
  return reinterpret_cast<GU3_STRINGHDR*>(space.bytes + offset);
}

uint32_t gu3_offset_of(const StringSpace& space, const GU3_STRINGHDR* header) {
  return static_cast<uint32_t>(reinterpret_cast<const uint8_t*>(header) - space.bytes);
}

// The offset of the first free block at or after `header`.
uint32_t gu3_next_free(const StringSpace& space, GU3_STRINGHDR* header) {
  while (gu3_header_in_space(space.bytes, header) && header->size != 0 && gu3_header_valid(header)) {
    if (!(header->flags & kStringInUse)) return gu3_offset_of(space, header);
    if (header->flags & kStringLast) break;
    header = gu3_following(header);
  }
  return GU3_STRING_SPACE_BYTES;
}

StringSpace* gu3_add_string_space() {
  HGLOBAL block = GlobalAlloc(GHND | GMEM_SHARE, GU3_STRING_SPACE_BYTES);
  if (block == nullptr) return nullptr;
  auto* space = static_cast<uint8_t*>(GlobalLock(block));
  auto* first = reinterpret_cast<GU3_STRINGHDR*>(space);
  *first = GU3_STRINGHDR{kStringMagic, GU3_STRING_SPACE_BYTES - 8, kStringFlagsBase | kStringLast};
  g_string_spaces.push_back(StringSpace{space, block, 0});
  return &g_string_spaces.back();
}

// First fit in one space: a free block that the request fills up to 8 spare
// bytes is taken whole, a larger one is split.
char* gu3_take_string_block(StringSpace& space, uint32_t bytes) {
  auto* header = gu3_header_at(space, space.first_free);
  bool first = true;  // no free block passed yet
  while (gu3_header_in_space(space.bytes, header) && header->size != 0 && gu3_header_valid(header)) {
    const bool last = (header->flags & kStringLast) != 0;
    if (!(header->flags & kStringInUse) && header->size >= bytes) {
      const bool whole = header->size <= bytes + 8;
      if (whole) {
        header->flags = kStringFlagsBase | kStringInUse | (header->flags & kStringLast);
      } else {
        auto* rest = reinterpret_cast<GU3_STRINGHDR*>(gu3_payload_of(header) + bytes);
        *rest = GU3_STRINGHDR{kStringMagic, header->size - bytes - 8, header->flags};
        header->size = bytes;
        header->flags = kStringFlagsBase | kStringInUse;
      }
      if (first) {
        space.first_free = whole && last ? GU3_STRING_SPACE_BYTES : gu3_next_free(space, gu3_following(header));
      }
      return reinterpret_cast<char*>(gu3_payload_of(header));
    }
    if (!(header->flags & kStringInUse)) first = false;
    if (last) break;
    header = gu3_following(header);
  }
  return nullptr;
}

// Merges the block after `header` into it; the merged block takes the
// follower's flags, and with them its last-block bit.
void gu3_absorb_follower(GU3_STRINGHDR* header) {
  GU3_STRINGHDR* follower = gu3_following(header);
  header->size += follower->size + 8;
  header->flags = (header->flags & kStringInUse) | (follower->flags & ~kStringInUse);
  std::memset(follower, 0, sizeof(GU3_STRINGHDR));
}

void gu3_release_string_spaces() {
  for (const StringSpace& space : g_string_spaces) gu3_system_release(GU3_KIND_GLOBAL, space.block);
  g_string_spaces.clear();
}

}  // namespace

// ---------------------------------------------------------------------------
// Handles

APEXPORT uint16_t GU3_Register() { return 1; }

APEXPORT uint16_t GU3_Unregister() {
  // Blocks still held are released with the table, so an unload leaks nothing.
  for (uint32_t index = 0; index < gu3_descriptor_total(); ++index) {
    GU3_DESCRIPTOR* descriptor = gu3_descriptor_at(index);
    if (descriptor->system_handle == nullptr) continue;
    descriptor->lock_count = 0;
    GU3_Free_MM(descriptor);
  }
  for (HGLOBAL block : g_descriptor_block_handles) gu3_system_release(GU3_KIND_GLOBAL, block);
  g_descriptor_blocks.clear();
  g_descriptor_block_handles.clear();
  g_next_descriptor = 0;
  g_cell_heaps.clear();
  gu3_release_string_spaces();
  return 1;
}

APEXPORT GU3_HANDLE GU3_AllocateEx_MM(uint32_t count, uint16_t element_size, uint16_t kind, const char*, int32_t) {
  if (count == 0 || element_size == 0 || kind > GU3_KIND_GLOBAL_SHARED) return nullptr;
  if (kind == GU3_KIND_LOCAL) count = gu3_local_count_limit(count, element_size);
  const uint64_t bytes = static_cast<uint64_t>(count) * element_size;
  if (bytes > 0x7FFFFFFF) return nullptr;

  GU3_DESCRIPTOR* descriptor = gu3_take_descriptor();
  if (descriptor == nullptr) return nullptr;
  HANDLE block = gu3_system_allocate(kind, static_cast<uint32_t>(bytes));
  if (block == nullptr) return nullptr;

  std::memset(descriptor, 0, sizeof(GU3_DESCRIPTOR));
  descriptor->system_handle = block;
  descriptor->data = static_cast<uint8_t*>(gu3_system_lock(kind, block));
  descriptor->kind = kind;
  descriptor->count = count;
  descriptor->element_size = element_size;
  return descriptor;
}

APEXPORT uint16_t GU3_Free_MM(GU3_HANDLE handle) {
  if (!gu3_is_descriptor(handle) || handle->lock_count != 0) return 0;
  if (handle->system_handle == nullptr) return 1;
  gu3_system_release(handle->kind, handle->system_handle);
  for (HANDLE& extension : handle->extensions) {
    if (extension != nullptr) gu3_system_release(handle->kind, extension);
  }
  if (auto heap = g_cell_heaps.find(handle); heap != g_cell_heaps.end()) {
    for (HANDLE block : heap->second.further_blocks) gu3_system_release(handle->kind, block);
    g_cell_heaps.erase(heap);
  }
  std::memset(handle, 0, sizeof(GU3_DESCRIPTOR));
  return 1;
}

APEXPORT void* GU3_GetPointer_MM(GU3_HANDLE handle, uint32_t index, uint32_t* elements_after, uint32_t* index_out) {
  if (!gu3_in_use(handle) || handle->data == nullptr) return nullptr;
  if (IsBadReadPtr(handle->data, handle->count * handle->element_size) || index >= handle->count) return nullptr;
  if (elements_after != nullptr) *elements_after = handle->count - index - 1;
  if (index_out != nullptr) *index_out = index;
  return handle->data + index * handle->element_size;
}

APEXPORT uint32_t GU3_NumElements_MM(GU3_HANDLE handle) { return gu3_in_use(handle) ? handle->count : 0; }

APEXPORT uint16_t GU3_LenElements_MM(GU3_HANDLE handle) { return gu3_in_use(handle) ? handle->element_size : 0; }

APEXPORT uint16_t GU3_Reallocate_MM(GU3_HANDLE handle, uint32_t new_count) {
  if (!gu3_in_use(handle) || handle->cell_heap) return 0;
  if (handle->kind == GU3_KIND_LOCAL) {
    // A local block cannot hold 65536 elements or more: taken modulo 65536
    // such a count would shrink or empty the block while reporting success.
    // Below that, the count stored is the count the block really holds.
    if (new_count >= 65536u) return 0;
    new_count = gu3_local_count_limit(new_count, handle->element_size);
    if (LocalReAlloc(handle->system_handle, new_count * handle->element_size, LMEM_ZEROINIT) == nullptr) return 0;
    handle->count = new_count;
    return 1;
  }
  const uint64_t bytes = static_cast<uint64_t>(new_count) * handle->element_size;
  if (bytes > 0x7FFFFFFF) return 0;
  GlobalUnlock(handle->system_handle);
  HGLOBAL block = GlobalReAlloc(handle->system_handle, static_cast<uint32_t>(bytes), GMEM_MOVEABLE | GMEM_ZEROINIT);
  if (block == nullptr) {
    GlobalLock(handle->system_handle);
    return 0;
  }
  handle->system_handle = block;
  handle->data = static_cast<uint8_t*>(GlobalLock(block));
  handle->count = new_count;
  return 1;
}

APEXPORT GU3_HANDLE GU3_CopyEx_MM(GU3_HANDLE handle) {
  if (!gu3_in_use(handle) || handle->cell_heap) return nullptr;
  GU3_HANDLE copy = GU3_Allocate_MM(handle->count, handle->element_size, handle->kind);
  if (copy == nullptr) return nullptr;
  std::memcpy(copy->data, handle->data, handle->count * handle->element_size);
  return copy;
}

APEXPORT uint16_t GU3_MemMove_MM(uint32_t bytes, const void* source, void* destination) {
  if (source == nullptr || destination == nullptr) return 0;
  std::memmove(destination, source, bytes);
  return 1;
}

// ---------------------------------------------------------------------------
// Cell heaps

APEXPORT uint16_t GU3_HeapInit_MM(GU3_HANDLE handle) {
  // A free cell carries its two link words, so cells are at least 8 bytes.
  if (!gu3_in_use(handle) || handle->cell_heap || handle->element_size < sizeof(GU1_NODE)) return 0;
  handle->cell_heap = 1;
  GU1_Create_LL(&handle->free_cells, 8, 2, GU1_KEY_BYTES);
  CellHeapCells& cells = g_cell_heaps[handle];
  cells = CellHeapCells{};
  gu3_push_cells(handle, cells, handle->data);
  return 1;
}

APEXPORT void* GU3_HeapGetEx_MM(GU3_HANDLE heap) {
  if (!gu3_in_use(heap) || !heap->cell_heap) return nullptr;
  CellHeapCells& cells = g_cell_heaps[heap];
  if (heap->free_cells.head == nullptr && !gu3_grow_heap(heap, cells)) return nullptr;
  GU1_NODE* cell = heap->free_cells.head;
  GU1_Unlink_LL(&heap->free_cells, cell);
  cells.free[gu3_cell_index(heap, cells, cell)] = false;
  std::memset(cell, 0, heap->element_size);
  return cell;
}

APEXPORT uint16_t GU3_HeapRelease_MM(GU3_HANDLE heap, void* cell) {
  if (!gu3_in_use(heap) || !heap->cell_heap || cell == nullptr) return 0;
  CellHeapCells& cells = g_cell_heaps[heap];
  const uint32_t index = gu3_cell_index(heap, cells, cell);
  if (index == kNoCell || cells.free[index]) return 0;  // a foreign address, or a second release
  GU1_Add_LL(&heap->free_cells, cell);
  cells.free[index] = true;
  return 1;
}

APEXPORT void GU3_SetHeapName_MM(GU3_HANDLE, const char*) {}

GU3_HANDLE gu3_make_cell_heap(uint32_t count, uint16_t size, uint16_t kind, const char* name, const char* file,
                              int32_t line) {
  GU3_HANDLE heap = GU3_AllocateEx_MM(count, size, kind, file, line);
  if (heap == nullptr) return nullptr;
  if (!GU3_HeapInit_MM(heap)) {
    GU3_Free_MM(heap);
    return nullptr;
  }
  GU3_SetHeapName_MM(heap, name);
  return heap;
}

// ---------------------------------------------------------------------------
// Pointer interface

namespace {
GU3_DESCRIPTOR* gu3_descriptor_holding(const void* address) {
  if (address == nullptr) return nullptr;
  for (uint32_t index = 0; index < gu3_descriptor_total(); ++index) {
    GU3_DESCRIPTOR* descriptor = gu3_descriptor_at(index);
    if (descriptor->system_handle != nullptr && descriptor->data == address) return descriptor;
  }
  return nullptr;
}
}  // namespace

APEXPORT void* GU3_NewPointerEx(uint32_t bytes, const char* file, int32_t line) {
  GU3_HANDLE handle = GU3_AllocateEx_MM(bytes, 1, GU3_KIND_GLOBAL_SHARED, file, line);
  return handle != nullptr ? handle->data : nullptr;
}

APEXPORT void* GU3_ResizePointer(void* address, uint32_t new_bytes) {
  GU3_DESCRIPTOR* descriptor = gu3_descriptor_holding(address);
  if (descriptor == nullptr || !GU3_Reallocate_MM(descriptor, new_bytes)) return nullptr;
  return descriptor->data;
}

APEXPORT uint16_t GU3_FreePointer(void* address) {
  GU3_DESCRIPTOR* descriptor = gu3_descriptor_holding(address);
  return descriptor != nullptr ? GU3_Free_MM(descriptor) : 0;
}

// ---------------------------------------------------------------------------
// String space

APEXPORT char* GU3_GetStringSpaceEx(uint32_t bytes) {
  // A payload of 0 would end every later walk of the chain.
  if (bytes == 0 || bytes > GU3_STRING_SPACE_BYTES - 8) return nullptr;
  for (StringSpace& space : g_string_spaces) {
    if (char* payload = gu3_take_string_block(space, bytes)) return payload;
  }
  StringSpace* space = gu3_add_string_space();
  return space != nullptr ? gu3_take_string_block(*space, bytes) : nullptr;
}

APEXPORT char* GU3_StoreStringEx(const char* text) {
  if (text == nullptr) return nullptr;
  const size_t bytes = std::strlen(text) + 1;
  if (bytes > GU3_STRING_SPACE_BYTES) return nullptr;
  char* payload = GU3_GetStringSpaceEx(static_cast<uint32_t>(bytes));
  if (payload != nullptr) std::memcpy(payload, text, bytes);
  return payload;
}

APEXPORT uint16_t GU3_RemoveString(void* payload) {
  StringSpace* space = gu3_space_of(payload);
  if (space == nullptr) return 0;
  GU3_STRINGHDR* header = gu3_header_of(payload);
  if (!gu3_header_in_space(space->bytes, header) || !gu3_header_valid(header) || !(header->flags & kStringInUse))
    return 0;

  header->flags &= ~kStringInUse;
  std::memset(payload, 0, header->size);
  if (!(header->flags & kStringLast)) {
    GU3_STRINGHDR* follower = gu3_following(header);
    if (gu3_header_in_space(space->bytes, follower) && gu3_header_valid(follower) &&
        !(follower->flags & kStringInUse))
      gu3_absorb_follower(header);
  }
  // Only a free block before this one can take it in, and none lies before
  // the first free one.
  const uint32_t offset = gu3_offset_of(*space, header);
  if (offset <= space->first_free) {
    space->first_free = offset;
    return 1;
  }
  auto* before = gu3_header_at(*space, space->first_free);
  while (gu3_following(before) != header) {
    if ((before->flags & kStringLast) || before->size == 0 || !gu3_header_valid(before)) return 1;
    before = gu3_following(before);
    if (!gu3_header_in_space(space->bytes, before)) return 1;
  }
  if (!(before->flags & kStringInUse)) gu3_absorb_follower(before);
  return 1;
}

APEXPORT uint16_t GU3_VerifyStringSize(const void* payload, uint32_t bytes) {
  StringSpace* space = gu3_space_of(payload);
  if (space == nullptr) return 2;
  GU3_STRINGHDR* header = gu3_header_of(payload);
  if (!gu3_header_in_space(space->bytes, header) || !gu3_header_valid(header)) return 2;
  return header->size >= bytes ? 1 : 0;
}
