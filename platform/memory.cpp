// Local and global heaps over the C heap, and the pointer probes.
//
// A handle is the address of a small block record. Local and global blocks
// behave alike here; they keep separate entry points because callers choose
// between them by the kind of memory they ask for.
#include "platform/memory.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kBlockMagic = 0x4D454D42;  // "BMEM"

struct MemoryBlock {
  uint32_t magic;
  char* data;
  SIZE_T size;
  SIZE_T capacity;  // bytes reserved: a block that may not move grows in place up to this
  uint32_t locks;
};

// Small blocks reserve the next power of two so that a fixed block can grow
// in place a little, as a heap that keeps slack would allow.
SIZE_T reserve_for(SIZE_T bytes) {
  if (bytes > 0x10000) return bytes;
  SIZE_T capacity = 16;
  while (capacity < bytes) capacity <<= 1;
  return capacity;
}

MemoryBlock* block_of(HANDLE handle) {
  auto* block = static_cast<MemoryBlock*>(handle);
  return block != nullptr && block->magic == kBlockMagic ? block : nullptr;
}

HANDLE allocate_block(UINT flags, SIZE_T bytes, UINT zeroinit_flag) {
  const SIZE_T capacity = reserve_for(bytes);
  char* data = static_cast<char*>((flags & zeroinit_flag) ? std::calloc(1, capacity) : std::malloc(capacity));
  if (data == nullptr) return nullptr;
  auto* block = static_cast<MemoryBlock*>(std::malloc(sizeof(MemoryBlock)));
  if (block == nullptr) {
    std::free(data);
    return nullptr;
  }
  *block = MemoryBlock{kBlockMagic, data, bytes, capacity, 0};
  return block;
}

LPVOID lock_block(HANDLE handle) {
  MemoryBlock* block = block_of(handle);
  if (block == nullptr) return nullptr;
  ++block->locks;
  return block->data;
}

BOOL unlock_block(HANDLE handle) {
  MemoryBlock* block = block_of(handle);
  if (block == nullptr || block->locks == 0) return FALSE;
  return --block->locks > 0 ? TRUE : FALSE;
}

HANDLE reallocate_block(HANDLE handle, SIZE_T bytes, UINT flags, UINT moveable_flag, UINT zeroinit_flag) {
  MemoryBlock* block = block_of(handle);
  if (block == nullptr) return nullptr;
  if (bytes > block->capacity) {
    if (!(flags & moveable_flag)) return nullptr;  // a fixed block cannot grow past its reserve
    const SIZE_T capacity = reserve_for(bytes);
    char* data = static_cast<char*>(std::realloc(block->data, capacity));
    if (data == nullptr) return nullptr;
    block->data = data;
    block->capacity = capacity;
  }
  if (bytes > block->size && (flags & zeroinit_flag)) std::memset(block->data + block->size, 0, bytes - block->size);
  block->size = bytes;
  return block;
}

HANDLE free_block(HANDLE handle) {
  MemoryBlock* block = block_of(handle);
  if (block == nullptr) return handle;
  block->magic = 0;
  std::free(block->data);
  std::free(block);
  return nullptr;
}

SIZE_T block_size(HANDLE handle) {
  MemoryBlock* block = block_of(handle);
  return block != nullptr ? block->size : 0;
}

// Addresses below 64 KB are never valid on the original platform; a range
// that wraps past the top of the address space is bad whatever it points at.
BOOL bad_range(const void* address, UINT_PTR bytes) {
  if (bytes == 0) return FALSE;
  const uintptr_t start = reinterpret_cast<uintptr_t>(address);
  if (start < 0x10000) return TRUE;
  return start + (bytes - 1) < start ? TRUE : FALSE;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) { return allocate_block(flags, bytes, LMEM_ZEROINIT); }
LPVOID LocalLock(HLOCAL block) { return lock_block(block); }
BOOL LocalUnlock(HLOCAL block) { return unlock_block(block); }
HLOCAL LocalReAlloc(HLOCAL block, SIZE_T bytes, UINT flags) {
  return reallocate_block(block, bytes, flags, LMEM_MOVEABLE, LMEM_ZEROINIT);
}
HLOCAL LocalFree(HLOCAL block) { return free_block(block); }
SIZE_T LocalSize(HLOCAL block) { return block_size(block); }

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) { return allocate_block(flags, bytes, GMEM_ZEROINIT); }
LPVOID GlobalLock(HGLOBAL block) { return lock_block(block); }
BOOL GlobalUnlock(HGLOBAL block) { return unlock_block(block); }
HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags) {
  return reallocate_block(block, bytes, flags, GMEM_MOVEABLE, GMEM_ZEROINIT);
}
HGLOBAL GlobalFree(HGLOBAL block) { return free_block(block); }
SIZE_T GlobalSize(HGLOBAL block) { return block_size(block); }

BOOL IsBadReadPtr(LPCVOID address, UINT_PTR bytes) { return bad_range(address, bytes); }
BOOL IsBadWritePtr(LPVOID address, UINT_PTR bytes) { return bad_range(address, bytes); }
BOOL IsBadHugeReadPtr(LPCVOID address, UINT_PTR bytes) { return bad_range(address, bytes); }
BOOL IsBadHugeWritePtr(LPVOID address, UINT_PTR bytes) { return bad_range(address, bytes); }
BOOL IsBadStringPtrA(LPCSTR text, UINT_PTR max_chars) { return bad_range(text, max_chars != 0 ? 1 : 0); }
BOOL IsBadCodePtr(FARPROC code) { return bad_range(reinterpret_cast<const void*>(code), 1); }
