// Packed DIBs and memory bitmaps made in the tests from the layout: a
// 40-byte information header, the colour table, then the rows bottom row
// first, each padded to 4 bytes.
#pragma once
#include <cstring>
#include <functional>
#include <vector>

#include "platform/gdi.h"
#include "platform/memory.h"

namespace utiltest {

inline uint32_t row_bytes(int32_t width, int bits) { return ((static_cast<uint32_t>(width) * bits + 31) >> 5) * 4; }

inline BITMAPINFOHEADER info_header(int32_t width, int32_t height, uint16_t bits, uint32_t colours_used = 0) {
  return BITMAPINFOHEADER{40, width, height, 1, bits, BI_RGB, 0, 0, 0, colours_used, 0};
}

// A 24-bit DIB in a global block; colour(x, y) with y counted from the top.
inline HGLOBAL dib24(int32_t width, int32_t height, const std::function<COLORREF(int, int)>& colour) {
  const uint32_t stride = row_bytes(width, 24);
  HGLOBAL block = GlobalAlloc(GHND, 40 + stride * height);
  auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
  const BITMAPINFOHEADER header = info_header(width, height, 24);
  std::memcpy(bytes, &header, sizeof header);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bytes + 40 + stride * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const COLORREF c = colour(x, y);
      row[3 * x] = GetBValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetRValue(c);
    }
  }
  GlobalUnlock(block);
  return block;
}

// Pixel (x, y), y from the top, of a bottom-up 24-bit DIB block.
inline COLORREF dib24_pixel(HGLOBAL block, int x, int y) {
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
  BITMAPINFOHEADER header;
  std::memcpy(&header, bytes, sizeof header);
  const uint8_t* pixel = bytes + header.biSize + row_bytes(header.biWidth, 24) * (header.biHeight - 1 - y) + 3 * x;
  const COLORREF colour = RGB(pixel[2], pixel[1], pixel[0]);
  GlobalUnlock(block);
  return colour;
}

inline BITMAPINFOHEADER dib_header(HGLOBAL block) {
  BITMAPINFOHEADER header;
  std::memcpy(&header, GlobalLock(block), sizeof header);
  GlobalUnlock(block);
  return header;
}

// A memory DC holding a new 24-bit bitmap filled by colour(x, y).
struct Canvas {
  Canvas(int width, int height, const std::function<COLORREF(int, int)>& colour) : w(width), h(height) {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateBitmap(width, height, 1, 24, nullptr);
    previous = SelectObject(dc, bitmap);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) SetPixel(dc, x, y, colour(x, y));
  }
  ~Canvas() {
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }

  int w, h;
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
};

// A new 24-bit bitmap, not selected anywhere, filled by colour(x, y).
inline HBITMAP bitmap24(int width, int height, const std::function<COLORREF(int, int)>& colour) {
  const HDC dc = CreateCompatibleDC(nullptr);
  const HBITMAP bitmap = CreateBitmap(width, height, 1, 24, nullptr);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) SetPixel(dc, x, y, colour(x, y));
  SelectObject(dc, previous);
  DeleteDC(dc);
  return bitmap;
}

// The pixels of a bitmap, read through a memory DC.
inline std::vector<COLORREF> pixels_of(HBITMAP bitmap, int width, int height) {
  const HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
  SelectObject(dc, previous);
  DeleteDC(dc);
  return pixels;
}

}  // namespace utiltest
