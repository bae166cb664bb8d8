#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"

namespace {

// Every test starts from an empty handle table and string space.
class MemoryManager : public testing::Test {
 protected:
  void TearDown() override { GU3_Unregister(); }
};

GU3_STRINGHDR* header_of(const void* payload) {
  return reinterpret_cast<GU3_STRINGHDR*>(const_cast<char*>(static_cast<const char*>(payload)) - 8);
}

TEST_F(MemoryManager, AllocatesZeroFilledBlocksOfEveryKind) {
  for (uint16_t kind : {GU3_KIND_LOCAL, GU3_KIND_GLOBAL, GU3_KIND_GLOBAL_SHARED}) {
    GU3_HANDLE handle = GU3_Allocate_MM(10, 4, kind);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GU3_NumElements_MM(handle), 10u);
    EXPECT_EQ(GU3_LenElements_MM(handle), 4u);
    const auto* bytes = static_cast<const uint8_t*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
    EXPECT_EQ(std::count(bytes, bytes + 40, 0), 40);
    EXPECT_EQ(GU3_Free_MM(handle), 1);
  }
}

TEST_F(MemoryManager, RefusesZeroCountZeroSizeAndUnknownKinds) {
  EXPECT_EQ(GU3_Allocate_MM(0, 4, GU3_KIND_GLOBAL), nullptr);
  EXPECT_EQ(GU3_Allocate_MM(4, 0, GU3_KIND_GLOBAL), nullptr);
  EXPECT_EQ(GU3_Allocate_MM(4, 4, 3), nullptr);
}

TEST_F(MemoryManager, LocalBlocksStayBelow64KB) {
  GU3_HANDLE handle = GU3_Allocate_MM(40000, 2, GU3_KIND_LOCAL);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(GU3_NumElements_MM(handle), 32767u);
}

TEST_F(MemoryManager, PointerToElementChecksTheIndexAndReportsWhatFollows) {
  GU3_HANDLE handle = GU3_Allocate_MM(5, 8, GU3_KIND_GLOBAL);
  uint32_t after = 99, index = 99;
  auto* first = static_cast<uint8_t*>(GU3_GetPointer_MM(handle, 0, &after, &index));
  EXPECT_EQ(after, 4u);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(GU3_GetPointer_MM(handle, 4, &after, &index), first + 32);
  EXPECT_EQ(after, 0u);
  EXPECT_EQ(index, 4u);
  EXPECT_EQ(GU3_GetPointer_MM(handle, 5, nullptr, nullptr), nullptr);
  EXPECT_EQ(GU3_GetPointer_MM(nullptr, 0, nullptr, nullptr), nullptr);
}

TEST_F(MemoryManager, RefusesAddressesThatAreNotHandles) {
  GU3_HANDLE handle = GU3_Allocate_MM(5, 8, GU3_KIND_GLOBAL);
  auto* inside = reinterpret_cast<GU3_HANDLE>(reinterpret_cast<char*>(handle) + 4);
  GU3_DESCRIPTOR outside{};
  EXPECT_EQ(GU3_GetPointer_MM(inside, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(GU3_GetPointer_MM(&outside, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(GU3_Free_MM(&outside), 0);
  EXPECT_EQ(GU3_NumElements_MM(inside), 0u);
}

TEST_F(MemoryManager, FreedHandlesAreNoLongerUsable) {
  GU3_HANDLE handle = GU3_Allocate_MM(5, 8, GU3_KIND_GLOBAL);
  ASSERT_EQ(GU3_Free_MM(handle), 1);
  EXPECT_EQ(GU3_GetPointer_MM(handle, 0, nullptr, nullptr), nullptr);
  EXPECT_EQ(GU3_Reallocate_MM(handle, 10), 0);
  EXPECT_EQ(GU3_Free_MM(handle), 1);  // a descriptor without block frees trivially
}

TEST_F(MemoryManager, LockedHandleIsNotFreed) {
  GU3_HANDLE handle = GU3_Allocate_MM(5, 8, GU3_KIND_GLOBAL);
  handle->lock_count = 1;
  EXPECT_EQ(GU3_Free_MM(handle), 0);
  handle->lock_count = 0;
  EXPECT_EQ(GU3_Free_MM(handle), 1);
}

TEST_F(MemoryManager, ReusesFreedDescriptorsOnlyWhenTheRotatingSearchReachesThem) {
  GU3_HANDLE first = GU3_Allocate_MM(1, 4, GU3_KIND_GLOBAL);
  GU3_HANDLE second = GU3_Allocate_MM(1, 4, GU3_KIND_GLOBAL);
  GU3_Free_MM(first);
  GU3_HANDLE third = GU3_Allocate_MM(1, 4, GU3_KIND_GLOBAL);
  EXPECT_EQ(third, second + 1);
}

TEST_F(MemoryManager, HandleTableGrowsAndHandlesNeverMove) {
  // Far past the 1000 descriptors of one block: every handle and every
  // address handed out stays valid while the table grows.
  constexpr uint32_t kLive = 5000;
  std::vector<GU3_HANDLE> handles;
  std::vector<uint32_t*> values;
  for (uint32_t i = 0; i < kLive; ++i) {
    GU3_HANDLE handle = GU3_Allocate_MM(1, 4, GU3_KIND_GLOBAL);
    ASSERT_NE(handle, nullptr) << "allocation " << i;
    auto* value = static_cast<uint32_t*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
    *value = i;
    handles.push_back(handle);
    values.push_back(value);
  }
  for (uint32_t i = 0; i < kLive; ++i) {
    ASSERT_EQ(GU3_GetPointer_MM(handles[i], 0, nullptr, nullptr), values[i]);
    ASSERT_EQ(*values[i], i);
  }
  for (GU3_HANDLE handle : handles) ASSERT_EQ(GU3_Free_MM(handle), 1);
}

TEST_F(MemoryManager, GlobalReallocationKeepsContentsAndZeroFillsGrowth) {
  GU3_HANDLE handle = GU3_Allocate_MM(4, 4, GU3_KIND_GLOBAL);
  std::memcpy(GU3_GetPointer_MM(handle, 0, nullptr, nullptr), "abcdefghijklmnop", 16);
  ASSERT_EQ(GU3_Reallocate_MM(handle, 100000), 1);
  EXPECT_EQ(GU3_NumElements_MM(handle), 100000u);
  const auto* bytes = static_cast<const char*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
  EXPECT_EQ(std::string(bytes, 16), "abcdefghijklmnop");
  EXPECT_EQ(std::count(bytes + 16, bytes + 400000, 0), 400000 - 16);
}

TEST_F(MemoryManager, LocalReallocationStaysInPlaceAndStoresTheCountTheBlockHolds) {
  // Blocks made large and shrunk have room to grow back in place.
  GU3_HANDLE words = GU3_Allocate_MM(16383, 4, GU3_KIND_LOCAL);
  void* before = GU3_GetPointer_MM(words, 0, nullptr, nullptr);
  ASSERT_EQ(GU3_Reallocate_MM(words, 10), 1);
  EXPECT_EQ(GU3_NumElements_MM(words), 10u);
  // 20000 words would pass 64 KB: the block holds 65535 / 4 of them.
  ASSERT_EQ(GU3_Reallocate_MM(words, 20000), 1);
  EXPECT_EQ(GU3_NumElements_MM(words), 16383u);
  EXPECT_EQ(GU3_GetPointer_MM(words, 0, nullptr, nullptr), before);
}

TEST_F(MemoryManager, LocalReallocationToCountsFrom65536FailsAndKeepsTheBlock) {
  // Taken modulo 65536, these counts would give an empty or a smaller block.
  for (uint32_t new_count : {65536u, 70000u, 131072u + 10u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(new_count);
    GU3_HANDLE handle = GU3_Allocate_MM(100, 1, GU3_KIND_LOCAL);
    auto* data = static_cast<uint8_t*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
    for (uint8_t i = 0; i < 100; ++i) data[i] = i;
    EXPECT_EQ(GU3_Reallocate_MM(handle, new_count), 0);
    EXPECT_EQ(GU3_NumElements_MM(handle), 100u);
    ASSERT_EQ(GU3_GetPointer_MM(handle, 0, nullptr, nullptr), data);
    for (uint8_t i = 0; i < 100; ++i) ASSERT_EQ(data[i], i);
    EXPECT_EQ(GU3_Free_MM(handle), 1);
  }
}

TEST_F(MemoryManager, LocalBlockThatCannotGrowInPlaceKeepsItsCount) {
  GU3_HANDLE handle = GU3_Allocate_MM(2, 2, GU3_KIND_LOCAL);
  auto* first = static_cast<uint16_t*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
  *first = 0x1234;
  ASSERT_EQ(GU3_Reallocate_MM(handle, 30000), 0);
  EXPECT_EQ(GU3_NumElements_MM(handle), 2u);
  EXPECT_EQ(GU3_GetPointer_MM(handle, 0, nullptr, nullptr), first);
  EXPECT_EQ(*first, 0x1234);
}

TEST_F(MemoryManager, CopyDuplicatesBytesAndRefusesCellHeaps) {
  GU3_HANDLE handle = GU3_Allocate_MM(3, 4, GU3_KIND_LOCAL);
  std::memcpy(GU3_GetPointer_MM(handle, 0, nullptr, nullptr), "0123456789AB", 12);
  GU3_HANDLE copy = GU3_CopyEx_MM(handle);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->kind, GU3_KIND_LOCAL);
  EXPECT_EQ(GU3_NumElements_MM(copy), 3u);
  EXPECT_EQ(std::memcmp(GU3_GetPointer_MM(copy, 0, nullptr, nullptr), "0123456789AB", 12), 0);

  GU3_HANDLE heap = GU3_Allocate_MM(4, 16, GU3_KIND_GLOBAL);
  GU3_HeapInit_MM(heap);
  EXPECT_EQ(GU3_CopyEx_MM(heap), nullptr);
  EXPECT_EQ(GU3_Reallocate_MM(heap, 8), 0);
}

TEST_F(MemoryManager, MemMoveReportsNullPointers) {
  char source[4] = "abc", destination[4] = {};
  EXPECT_EQ(GU3_MemMove_MM(4, source, destination), 1);
  EXPECT_STREQ(destination, "abc");
  EXPECT_EQ(GU3_MemMove_MM(4, nullptr, destination), 0);
  EXPECT_EQ(GU3_MemMove_MM(4, source, nullptr), 0);
}

// ---------------------------------------------------------------------------
// Cell heaps

TEST_F(MemoryManager, CellHeapHandsOutCellsLastFirstAndZeroed) {
  GU3_HANDLE heap = GU3_Allocate_MM(3, 16, GU3_KIND_GLOBAL);
  ASSERT_EQ(GU3_HeapInit_MM(heap), 1);
  auto* base = static_cast<uint8_t*>(GU3_GetPointer_MM(heap, 0, nullptr, nullptr));
  EXPECT_EQ(GU3_HeapGetEx_MM(heap), base + 32);
  EXPECT_EQ(GU3_HeapGetEx_MM(heap), base + 16);
  auto* cell = static_cast<uint8_t*>(GU3_HeapGetEx_MM(heap));
  EXPECT_EQ(cell, base);
  std::memset(cell, 0x5A, 16);
  ASSERT_EQ(GU3_HeapRelease_MM(heap, cell), 1);
  EXPECT_EQ(GU3_HeapGetEx_MM(heap), cell);
  EXPECT_EQ(std::count(cell, cell + 16, 0), 16);
}

TEST_F(MemoryManager, CellHeapGrowsPastItsThirtyExtensionSlots) {
  // 80 cells a block: the handle's own block, 30 slotted extensions, then
  // further blocks; every cell stays distinct and goes back exactly once.
  GU3_HANDLE heap = GU3_Allocate_MM(80, 12, GU3_KIND_GLOBAL);
  ASSERT_EQ(GU3_HeapInit_MM(heap), 1);
  std::vector<void*> cells;
  for (int i = 0; i < 40 * 80; ++i) {
    void* cell = GU3_HeapGetEx_MM(heap);
    ASSERT_NE(cell, nullptr) << "cell " << i;
    cells.push_back(cell);
  }
  for (HANDLE extension : heap->extensions) EXPECT_NE(extension, nullptr);
  std::vector<void*> sorted = cells;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
  for (void* cell : cells) ASSERT_EQ(GU3_HeapRelease_MM(heap, cell), 1);
  EXPECT_EQ(GU3_HeapRelease_MM(heap, cells.back()), 0);
  EXPECT_EQ(GU3_Free_MM(heap), 1);
}

TEST_F(MemoryManager, CellHeapRefusesDoubleAndForeignReleases) {
  GU3_HANDLE heap = GU3_Allocate_MM(4, 16, GU3_KIND_GLOBAL);
  GU3_HeapInit_MM(heap);
  auto* cell = static_cast<uint8_t*>(GU3_HeapGetEx_MM(heap));
  ASSERT_EQ(GU3_HeapRelease_MM(heap, cell), 1);
  EXPECT_EQ(GU3_HeapRelease_MM(heap, cell), 0);  // already free
  uint8_t elsewhere[16];
  EXPECT_EQ(GU3_HeapRelease_MM(heap, elsewhere), 0);
  auto* held = static_cast<uint8_t*>(GU3_HeapGetEx_MM(heap));
  EXPECT_EQ(GU3_HeapRelease_MM(heap, held + 4), 0);  // not the start of a cell
  EXPECT_EQ(GU3_HeapRelease_MM(nullptr, held), 0);
  // No cell was handed to two owners: the four cells are still distinct.
  std::vector<void*> cells{held};
  for (int i = 0; i < 3; ++i) cells.push_back(GU3_HeapGetEx_MM(heap));
  std::sort(cells.begin(), cells.end());
  EXPECT_EQ(std::unique(cells.begin(), cells.end()), cells.end());
}

TEST_F(MemoryManager, CellHeapNeedsRoomForLinksAndOnlyOneInit) {
  GU3_HANDLE small = GU3_Allocate_MM(4, 4, GU3_KIND_GLOBAL);
  EXPECT_EQ(GU3_HeapInit_MM(small), 0);
  EXPECT_EQ(GU3_HeapGetEx_MM(small), nullptr);  // not a heap
  GU3_HANDLE heap = GU3_Allocate_MM(4, 8, GU3_KIND_LOCAL);
  EXPECT_EQ(GU3_HeapInit_MM(heap), 1);
  EXPECT_EQ(GU3_HeapInit_MM(heap), 0);
}

TEST_F(MemoryManager, LocalCellHeapGrowsAndFreesItsExtensions) {
  GU3_HANDLE heap = GU3_Allocate_MM(2, 16, GU3_KIND_LOCAL);
  GU3_HeapInit_MM(heap);
  for (int i = 0; i < 10; ++i) ASSERT_NE(GU3_HeapGetEx_MM(heap), nullptr);
  EXPECT_EQ(GU3_Free_MM(heap), 1);
}

// ---------------------------------------------------------------------------
// Pointer interface

TEST_F(MemoryManager, PointerInterfaceResizesAndFreesByAddress) {
  auto* text = static_cast<char*>(GU3_NewPointer(6));
  ASSERT_NE(text, nullptr);
  std::memcpy(text, "hello", 6);
  auto* grown = static_cast<char*>(GU3_ResizePointer(text, 100000));
  ASSERT_NE(grown, nullptr);
  EXPECT_STREQ(grown, "hello");
  EXPECT_EQ(GU3_FreePointer(grown), 1);
  char unknown[4];
  EXPECT_EQ(GU3_FreePointer(unknown), 0);
  EXPECT_EQ(GU3_ResizePointer(unknown, 8), nullptr);
  EXPECT_EQ(GU3_FreePointer(nullptr), 0);
}

// ---------------------------------------------------------------------------
// String space

TEST_F(MemoryManager, StoredStringTakesItsLengthPlusOne) {
  char* text = GU3_StoreStringEx("abc");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(uint16_t{header_of(text)->magic}, 0xAAAA);
  EXPECT_EQ(uint32_t{header_of(text)->size}, 4u);
  EXPECT_EQ(uint16_t{header_of(text)->flags}, 0xCCC2);
  // The rest of the space is one free last block right after the payload.
  auto* rest = reinterpret_cast<GU3_STRINGHDR*>(text + 4);
  EXPECT_EQ(uint32_t{rest->size}, GU3_STRING_SPACE_BYTES - 8 - 4 - 8);
  EXPECT_EQ(uint16_t{rest->flags}, 0xCCC1);
}

TEST_F(MemoryManager, FreeBlockWithEightOrFewerSpareBytesIsTakenWhole) {
  char* a = GU3_GetStringSpaceEx(20);
  char* b = GU3_GetStringSpaceEx(4);
  ASSERT_EQ(GU3_RemoveString(a), 1);
  // 20 bytes free: 12 leaves 8 spare, taken whole; 11 leaves 9, split.
  char* whole = GU3_GetStringSpaceEx(12);
  EXPECT_EQ(whole, a);
  EXPECT_EQ(uint32_t{header_of(whole)->size}, 20u);
  ASSERT_EQ(GU3_RemoveString(whole), 1);
  char* split = GU3_GetStringSpaceEx(11);
  EXPECT_EQ(split, a);
  EXPECT_EQ(uint32_t{header_of(split)->size}, 11u);
  auto* remainder = reinterpret_cast<GU3_STRINGHDR*>(split + 11);
  EXPECT_EQ(uint32_t{remainder->size}, 1u);
  EXPECT_EQ(uint16_t{remainder->flags}, 0xCCC0);
  EXPECT_EQ(reinterpret_cast<char*>(remainder) + 9, b - 8);
}

class StringRemovalOrder : public MemoryManager, public testing::WithParamInterface<bool> {};

TEST_P(StringRemovalOrder, MergesAdjacentFreeBlocksInEitherOrder) {
  char* a = GU3_StoreStringEx("first string");   // 13 bytes
  char* b = GU3_StoreStringEx("second one");     // 11 bytes
  char* c = GU3_StoreStringEx("keeps the tail");  // in use after them
  if (GetParam()) {
    ASSERT_EQ(GU3_RemoveString(a), 1);
    ASSERT_EQ(GU3_RemoveString(b), 1);
  } else {
    ASSERT_EQ(GU3_RemoveString(b), 1);
    ASSERT_EQ(GU3_RemoveString(a), 1);
  }
  GU3_STRINGHDR* merged = header_of(a);
  EXPECT_EQ(uint32_t{merged->size}, 13u + 8u + 11u);
  EXPECT_EQ(uint16_t{merged->flags}, 0xCCC0);
  EXPECT_EQ(reinterpret_cast<char*>(merged) + 8 + merged->size, c - 8);
  const char* payload = a;
  EXPECT_EQ(std::count(payload, payload + merged->size, 0), static_cast<long>(merged->size));
  EXPECT_EQ(GU3_StoreStringEx("first string and more"), a);  // 22 bytes fit the merged 32
}
INSTANTIATE_TEST_SUITE_P(BothOrders, StringRemovalOrder, testing::Bool());

TEST_F(MemoryManager, RemovingTheLastStringRestoresOneFreeSpace) {
  char* a = GU3_StoreStringEx("one");
  char* b = GU3_StoreStringEx("two");
  ASSERT_EQ(GU3_RemoveString(b), 1);
  ASSERT_EQ(GU3_RemoveString(a), 1);
  EXPECT_EQ(uint32_t{header_of(a)->size}, GU3_STRING_SPACE_BYTES - 8);
  EXPECT_EQ(uint16_t{header_of(a)->flags}, 0xCCC1);
}

TEST_F(MemoryManager, RemovingTwiceOrAForeignAddressFails) {
  char* text = GU3_StoreStringEx("abc");
  EXPECT_EQ(GU3_RemoveString(text), 1);
  EXPECT_EQ(GU3_RemoveString(text), 0);
  char local[16] = {};
  EXPECT_EQ(GU3_RemoveString(local + 8), 0);
  EXPECT_EQ(GU3_RemoveString(nullptr), 0);
}

TEST_F(MemoryManager, VerifyStringSizeTellsValidSmallerAndBadBlocks) {
  char* text = GU3_GetStringSpaceEx(10);
  EXPECT_EQ(GU3_VerifyStringSize(text, 10), 1);
  EXPECT_EQ(GU3_VerifyStringSize(text, 11), 0);
  EXPECT_EQ(GU3_VerifyStringSize(text + 1, 4), 2);
  EXPECT_EQ(GU3_VerifyStringSize(nullptr, 4), 2);
  char local[16] = {};
  EXPECT_EQ(GU3_VerifyStringSize(local + 8, 4), 2);
}

// Stores and removals in a shuffled order: every store takes the block a
// walk from the start of the chain finds first, and no two free blocks are
// ever left side by side.
TEST_F(MemoryManager, StringsGoWhereAWalkFromTheStartFindsRoom) {
  char* first = GU3_GetStringSpaceEx(1);
  ASSERT_NE(first, nullptr);
  auto* start = reinterpret_cast<uint8_t*>(header_of(first));
  ASSERT_EQ(GU3_RemoveString(first), 1);
  auto blocks = [&]() {
    std::vector<GU3_STRINGHDR*> chain;
    for (auto* header = reinterpret_cast<GU3_STRINGHDR*>(start);;
         header = reinterpret_cast<GU3_STRINGHDR*>(reinterpret_cast<uint8_t*>(header) + 8 + header->size)) {
      chain.push_back(header);
      if (header->flags & 1) return chain;
    }
  };
  std::vector<char*> held;
  uint32_t seed = 12345;
  auto next = [&](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % bound;
  };
  for (int step = 0; step < 4000; ++step) {
    if (held.empty() || next(3) != 0) {
      const uint32_t bytes = 1 + next(120);
      char* expected = nullptr;
      for (GU3_STRINGHDR* header : blocks()) {
        if (!(header->flags & 2) && header->size >= bytes) {
          expected = reinterpret_cast<char*>(header) + 8;
          break;
        }
      }
      ASSERT_NE(expected, nullptr) << "the test keeps to one space";
      char* stored = GU3_GetStringSpaceEx(bytes);
      ASSERT_EQ(stored, expected) << "step " << step;
      held.push_back(stored);
    } else {
      const size_t index = next(static_cast<uint32_t>(held.size()));
      ASSERT_EQ(GU3_RemoveString(held[index]), 1);
      held.erase(held.begin() + static_cast<std::ptrdiff_t>(index));
    }
    bool previous_free = false;
    for (GU3_STRINGHDR* header : blocks()) {
      const bool is_free = !(header->flags & 2);
      ASSERT_FALSE(previous_free && is_free) << "step " << step;
      previous_free = is_free;
    }
  }
}

// The walk of a first-fit search starts at the first free block; a block
// it passes (here one too small) has a damaged magic repaired.
TEST_F(MemoryManager, DamagedMagicIsRepairedWhenWalked) {
  char* a = GU3_StoreStringEx("abc");
  ASSERT_NE(GU3_StoreStringEx("keeps a apart"), nullptr);
  ASSERT_EQ(GU3_RemoveString(a), 1);
  header_of(a)->magic = 0x1234;
  ASSERT_NE(GU3_StoreStringEx("longer than abc"), nullptr);
  EXPECT_EQ(uint16_t{header_of(a)->magic}, 0xAAAA);
}

TEST_F(MemoryManager, StringSpaceGrowsWhenFull) {
  // 10,000 strings of 40 bytes take about 470 KB, several spaces of 128 KB.
  std::vector<char*> strings;
  for (int i = 0; i < 10000; ++i) {
    std::string text = "string number " + std::to_string(i);
    text.resize(39, '.');
    char* stored = GU3_StoreStringEx(text.c_str());
    ASSERT_NE(stored, nullptr) << "string " << i;
    strings.push_back(stored);
  }
  for (int i = 0; i < 10000; ++i) {
    std::string text = "string number " + std::to_string(i);
    text.resize(39, '.');
    ASSERT_EQ(strings[i], text) << "string " << i;
  }
  for (char* stored : strings) ASSERT_EQ(GU3_RemoveString(stored), 1);
}

TEST_F(MemoryManager, StringRequestsThatCanNeverFitAreRefused) {
  EXPECT_EQ(GU3_GetStringSpaceEx(0), nullptr);
  EXPECT_EQ(GU3_GetStringSpaceEx(GU3_STRING_SPACE_BYTES), nullptr);
  EXPECT_NE(GU3_GetStringSpaceEx(GU3_STRING_SPACE_BYTES - 8), nullptr);
  EXPECT_EQ(GU3_StoreStringEx(nullptr), nullptr);
}

}  // namespace
