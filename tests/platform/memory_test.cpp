#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/memory.h"

namespace {

TEST(PlatformHeaps, ZeroInitLockAndFree) {
  HGLOBAL block = GlobalAlloc(GHND, 100);
  ASSERT_NE(block, nullptr);
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
  EXPECT_EQ(std::count(bytes, bytes + 100, 0), 100);
  EXPECT_EQ(GlobalSize(block), 100u);
  EXPECT_EQ(GlobalUnlock(block), FALSE);  // lock count back to 0
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(PlatformHeaps, MoveableReallocationKeepsBytesAndZeroFillsGrowth) {
  HGLOBAL block = GlobalAlloc(GHND, 4);
  std::memcpy(GlobalLock(block), "abcd", 4);
  GlobalUnlock(block);
  ASSERT_NE(GlobalReAlloc(block, 100000, GMEM_MOVEABLE | GMEM_ZEROINIT), nullptr);
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
  EXPECT_EQ(std::memcmp(bytes, "abcd", 4), 0);
  EXPECT_EQ(std::count(bytes + 4, bytes + 100000, 0), 100000 - 4);
  GlobalFree(block);
}

TEST(PlatformHeaps, FixedReallocationNeverMoves) {
  HLOCAL block = LocalAlloc(LHND, 20);
  void* before = LocalLock(block);
  ASSERT_NE(LocalReAlloc(block, 30, LMEM_ZEROINIT), nullptr);  // within its reserve
  EXPECT_EQ(LocalLock(block), before);
  EXPECT_EQ(LocalReAlloc(block, 70000, LMEM_ZEROINIT), nullptr);  // would have to move
  EXPECT_EQ(LocalSize(block), 30u);
  LocalFree(block);
}

TEST(PointerProbes, RefuseNullLowAndWrappingRanges) {
  char buffer[16] = {};
  EXPECT_FALSE(IsBadReadPtr(buffer, sizeof buffer));
  EXPECT_FALSE(IsBadWritePtr(buffer, sizeof buffer));
  EXPECT_TRUE(IsBadReadPtr(nullptr, 1));
  EXPECT_FALSE(IsBadReadPtr(nullptr, 0));
  EXPECT_TRUE(IsBadWritePtr(reinterpret_cast<void*>(0x1000), 4));
  EXPECT_TRUE(IsBadHugeReadPtr(reinterpret_cast<void*>(0xFFFFFFF0u), 0x20));
  EXPECT_TRUE(IsBadCodePtr(nullptr));
  EXPECT_TRUE(IsBadStringPtrA(nullptr, 10));
}

}  // namespace
