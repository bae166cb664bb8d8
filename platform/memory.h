// Local and global heaps and the pointer probes.
//
// The memory manager of the accessory library takes its blocks from these
// heaps: a block is named by a handle, locked to get its address, reallocated
// and freed by handle. Moveable blocks may change address on reallocation;
// fixed ones keep it (a growth that does not fit fails, as on the original
// platform). The probes answer whether a caller's address range may be read or
// written; they check for null, the low guard page and address wrap-around,
// without a system call.
#pragma once
#include "platform/wintypes.h"

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LHND = LMEM_MOVEABLE | LMEM_ZEROINIT;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_SHARE = 0x2000;
constexpr UINT GMEM_DDESHARE = GMEM_SHARE;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
LPVOID LocalLock(HLOCAL block);
BOOL LocalUnlock(HLOCAL block);
HLOCAL LocalReAlloc(HLOCAL block, SIZE_T bytes, UINT flags);
HLOCAL LocalFree(HLOCAL block);  // null on success, the block on failure
SIZE_T LocalSize(HLOCAL block);

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags);
HGLOBAL GlobalFree(HGLOBAL block);  // null on success, the block on failure
SIZE_T GlobalSize(HGLOBAL block);

BOOL IsBadReadPtr(LPCVOID address, UINT_PTR bytes);
BOOL IsBadWritePtr(LPVOID address, UINT_PTR bytes);
BOOL IsBadHugeReadPtr(LPCVOID address, UINT_PTR bytes);
BOOL IsBadHugeWritePtr(LPVOID address, UINT_PTR bytes);
BOOL IsBadStringPtrA(LPCSTR text, UINT_PTR max_chars);
BOOL IsBadCodePtr(FARPROC code);
