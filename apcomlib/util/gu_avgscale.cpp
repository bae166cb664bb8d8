// The averaging scaler of 24-bit packed DIBs: each output pixel is the
// coverage-weighted mean of the source pixels under it, optionally leaving
// out the pixels of one transparent colour. Each axis gets its own method:
// a change by less than a factor of 2 uses fractional coverage (source
// pixels cut into 4 sub-steps, or 8 across when reducing the width); a
// change by 2 or more uses whole pixels (runs averaged when reducing, each
// pixel repeated for its run when enlarging).
//
// Weights and channel sums are 64-bit, so that no reduction of any size
// overflows them. Called by the transparent averaging blit and by hosts.
#include <vector>

#include "util/util.h"

namespace {

constexpr DWORD kScaledBits = 24;
constexpr int64_t kSubStepsEnlarging = 4;
constexpr int64_t kSubStepsReducingAcross = 8;
constexpr int64_t kSubStepsReducingDown = 4;
constexpr uint32_t kScaleSlackBytes = 72;

struct Contribution {
  int32_t source;
  uint32_t weight;
};
// For each output pixel of an axis, the source pixels under it and their
// weights.
using AxisTable = std::vector<std::vector<Contribution>>;

// floor(k * larger / smaller) - floor((k - 1) * larger / smaller): the
// larger side's pixels that belong to the smaller side's k-th (k from 1).
int64_t gu_run(int64_t k, int64_t larger, int64_t smaller) {
  return k * larger / smaller - (k - 1) * larger / smaller;
}

AxisTable gu_whole_pixels(int32_t source, int32_t output) {
  AxisTable table(output);
  if (source >= output) {
    int32_t next = 0;
    for (int32_t k = 0; k < output; ++k) {
      for (int64_t n = gu_run(k + 1, source, output); n > 0; --n) table[k].push_back(Contribution{next++, 1});
    }
  } else {
    int32_t next = 0;
    for (int32_t k = 0; k < source; ++k) {
      for (int64_t n = gu_run(k + 1, output, source); n > 0; --n) table[next++].push_back(Contribution{k, 1});
    }
  }
  return table;
}

// Each source pixel is `steps` sub-steps wide; output pixel k covers the
// sub-steps from floor(k * source * steps / output) up to that of k + 1.
AxisTable gu_fractional(int32_t source, int32_t output, int64_t steps) {
  AxisTable table(output);
  for (int32_t k = 0; k < output; ++k) {
    const int64_t begin = k * int64_t{source} * steps / output;
    const int64_t end = (k + 1) * int64_t{source} * steps / output;
    for (int64_t pixel = begin / steps; pixel * steps < end; ++pixel) {
      const int64_t from = pixel * steps > begin ? pixel * steps : begin;
      const int64_t to = (pixel + 1) * steps < end ? (pixel + 1) * steps : end;
      table[k].push_back(Contribution{static_cast<int32_t>(pixel), static_cast<uint32_t>(to - from)});
    }
  }
  return table;
}

AxisTable gu_axis(int32_t source, int32_t output, bool across) {
  if (source >= 2 * int64_t{output} || output >= 2 * int64_t{source}) return gu_whole_pixels(source, output);
  if (source > output) return gu_fractional(source, output, across ? kSubStepsReducingAcross : kSubStepsReducingDown);
  return gu_fractional(source, output, kSubStepsEnlarging);
}

struct Sums {
  uint64_t blue = 0;
  uint64_t green = 0;
  uint64_t red = 0;
  uint64_t weight = 0;  // of the pixels that count
};

HGLOBAL gu_scale(HGLOBAL dib, int32_t width, int32_t height, bool transparent, COLORREF colour) {
  if (width <= 0 || height <= 0 || width >= GU_MAX_SCALED_WIDTH) return nullptr;
  platform::DibLayout source;
  const BITMAPINFO* info = gu4_LockDIB(dib, &source);
  if (info == nullptr) return nullptr;
  const HGLOBAL scaled = source.bits == kScaledBits ? SCL_CreateBitmap(width, height, kScaledBits) : nullptr;
  auto* out = scaled != nullptr ? static_cast<BITMAPINFOHEADER*>(GlobalLock(scaled)) : nullptr;
  if (out == nullptr) {
    if (scaled != nullptr) GlobalFree(scaled);
    GlobalUnlock(dib);
    return nullptr;
  }
  // Rows keep the source's order, so a top-down source stays top-down.
  *out = BITMAPINFOHEADER{sizeof *out, width, source.bottom_up ? height : -height, 1, kScaledBits, BI_RGB, 0, 0, 0, 0,
                          0};
  const DWORD out_row_bytes = ((static_cast<DWORD>(width) * kScaledBits + 31) >> 5) * 4;
  const BYTE* rows = reinterpret_cast<const BYTE*>(info) + (source.total_bytes - source.pixel_bytes);
  BYTE* out_rows = reinterpret_cast<BYTE*>(out + 1);
  const AxisTable across = gu_axis(source.width, width, true);
  const AxisTable down = gu_axis(source.height, height, false);
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      Sums sums;
      for (const Contribution& vertical : down[row]) {
        const BYTE* line = rows + size_t{source.row_bytes} * vertical.source;
        for (const Contribution& horizontal : across[column]) {
          const BYTE* pixel = line + size_t{3} * horizontal.source;  // blue, green, red
          if (transparent && RGB(pixel[2], pixel[1], pixel[0]) == (colour & 0xFFFFFF)) continue;
          const uint64_t weight = uint64_t{vertical.weight} * horizontal.weight;
          sums.blue += pixel[0] * weight;
          sums.green += pixel[1] * weight;
          sums.red += pixel[2] * weight;
          sums.weight += weight;
        }
      }
      BYTE* target = out_rows + size_t{out_row_bytes} * row + size_t{3} * column;
      if (sums.weight == 0) {  // only transparent pixels under it
        target[0] = GetBValue(colour);
        target[1] = GetGValue(colour);
        target[2] = GetRValue(colour);
      } else {
        target[0] = static_cast<BYTE>(sums.blue / sums.weight);
        target[1] = static_cast<BYTE>(sums.green / sums.weight);
        target[2] = static_cast<BYTE>(sums.red / sums.weight);
      }
    }
  }
  GlobalUnlock(scaled);
  GlobalUnlock(dib);
  return scaled;
}

}  // namespace

APEXPORT HGLOBAL SCL_CreateBitmap(int32_t width, int32_t height, uint16_t bits) {
  if (width <= 0 || height <= 0 || bits == 0 || bits > 32) return nullptr;
  const uint64_t row_bytes = ((uint64_t{static_cast<uint32_t>(width)} * bits + 31) >> 5) * 4;
  const uint64_t table = bits == 4 ? 16 * sizeof(RGBQUAD) : bits == 8 ? 256 * sizeof(RGBQUAD) : 0;
  const uint64_t size = row_bytes * static_cast<uint32_t>(height) + table + kScaleSlackBytes;
  if (size >= (uint64_t{1} << 31)) return nullptr;
  return GlobalAlloc(GHND, static_cast<SIZE_T>(size));
}

APEXPORT HGLOBAL GU_LocalAvgScaleDIB(HGLOBAL dib, int32_t width, int32_t height, uint32_t) {
  return gu_scale(dib, width, height, false, 0);
}

APEXPORT HGLOBAL GU_AvgScaleDIB(HGLOBAL dib, int32_t width, int32_t height) {
  return gu_scale(dib, width, height, false, 0);
}

APEXPORT HGLOBAL GU_AvgScaleDIBTransparent(HGLOBAL dib, int32_t width, int32_t height, COLORREF transparent) {
  return gu_scale(dib, width, height, true, transparent);
}
