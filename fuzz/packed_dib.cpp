// Fuzz target of the packed-DIB readers: the input's first two bytes give a
// target width and height (1 to 64), the rest is a packed DIB in a global
// block, as a caller hands one in. The DIB becomes a bitmap and is scaled,
// plainly and with a transparent colour. Whatever the header claims, nothing
// is read outside the block; a bitmap has the DIB's size, and a scaled DIB
// is a whole 24-bit DIB of the target size.
//
// Seeds (fuzz/corpus/packed_dib/, made by packed_dib_seeds.py): a 24-bit
// 3 x 2 DIB, a 4-bit 2 x 2 DIB with 16 colours, an 8-bit DIB whose
// colours-used count is more than 8 bits allow, and a 24-bit DIB one row
// short.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/gdi.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

void check(bool fact) {
  if (!fact) std::abort();
}

void check_scaled(HGLOBAL scaled, int32_t width, int32_t height) {
  if (scaled == nullptr) return;
  platform::DibLayout layout;
  BITMAPINFO* info = gu4_LockDIB(scaled, &layout);
  check(info != nullptr && layout.bits == 24 && layout.width == width && layout.height == height);
  GlobalUnlock(scaled);
  GlobalFree(scaled);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t width = data[0] % 64 + 1;
  const int32_t height = data[1] % 64 + 1;
  const HGLOBAL dib = GlobalAlloc(GMEM_MOVEABLE, size > 2 ? size - 2 : 1);
  if (dib == nullptr) return 0;
  if (size > 2) std::memcpy(GlobalLock(dib), data + 2, size - 2);
  GlobalUnlock(dib);

  platform::DibLayout layout;
  const bool whole = gu4_LockDIB(dib, &layout) != nullptr;
  if (whole) GlobalUnlock(dib);
  if (const HBITMAP bitmap = GU4_BitmapFromDIB(dib, nullptr)) {
    BITMAP description{};
    GetObjectA(bitmap, sizeof description, &description);
    check(whole && description.bmWidth == layout.width && description.bmHeight == layout.height);
    DeleteObject(bitmap);
  }
  check_scaled(GU_AvgScaleDIB(dib, width, height), width, height);
  check_scaled(GU_AvgScaleDIBTransparent(dib, width, height, RGB(0xFF, 0, 0xFF)), width, height);
  GlobalFree(dib);
  return 0;
}
