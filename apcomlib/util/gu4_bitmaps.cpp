// Device-independent bitmap helpers of the host's user interface: packed
// DIBs to and from device bitmaps, palettes from DIB colour tables, bitmap
// resources with their palettes, painting and transparent blitting (also
// through the averaging scaler), the standard greys of toolbar bitmaps
// turned into the user's 3-D colours, and stock-object selection.
//
// A packed DIB handed in is checked against its block before any pixel is
// read: the header, its colour table and every row must lie inside it.
#include <cstring>

#include "util/util.h"

namespace {

constexpr int kGreyTolerance = 10;

struct GreyReplacement {
  COLORREF grey;
  int system_colour;
};
constexpr GreyReplacement kGreys[] = {{RGB(0xC0, 0xC0, 0xC0), COLOR_BTNFACE},
                                      {RGB(0xDF, 0xDF, 0xDF), COLOR_BTNHIGHLIGHT},
                                      {RGB(0x80, 0x80, 0x80), COLOR_BTNSHADOW}};

const BYTE* gu4_dib_pixels(const BITMAPINFO* info, const platform::DibLayout& layout) {
  return reinterpret_cast<const BYTE*>(info) + (layout.total_bytes - layout.pixel_bytes);
}

bool gu4_near(int a, int b) { return a - b <= kGreyTolerance && b - a <= kGreyTolerance; }

// The bitmap's size; false for no bitmap.
bool gu4_bitmap_size(HBITMAP bitmap, BITMAP* description) {
  return GetObjectA(bitmap, sizeof *description, description) == sizeof *description;
}

// A memory DC on the screen holding the bitmap; the caller ends it with
// gu4_end_memory_dc.
HDC gu4_memory_dc(HDC dc, HBITMAP bitmap, HGDIOBJ* replaced) {
  const HDC memory_dc = CreateCompatibleDC(dc);
  *replaced = memory_dc != nullptr ? SelectObject(memory_dc, bitmap) : nullptr;
  if (*replaced == nullptr && memory_dc != nullptr) {
    DeleteDC(memory_dc);
    return nullptr;
  }
  return memory_dc;
}

void gu4_end_memory_dc(HDC memory_dc, HGDIOBJ replaced) {
  SelectObject(memory_dc, replaced);
  DeleteDC(memory_dc);
}

// A memory DC with a new bitmap of the size, compatible with `like`.
HDC gu4_work_dc(HDC like, int width, int height, bool monochrome, HBITMAP* bitmap, HGDIOBJ* replaced) {
  *bitmap = monochrome ? CreateBitmap(width, height, 1, 1, nullptr) : CreateCompatibleBitmap(like, width, height);
  if (*bitmap == nullptr) return nullptr;
  const HDC work = gu4_memory_dc(like, *bitmap, replaced);
  if (work == nullptr) DeleteObject(*bitmap);
  return work;
}

void gu4_end_work_dc(HDC work, HBITMAP bitmap, HGDIOBJ replaced) {
  gu4_end_memory_dc(work, replaced);
  DeleteObject(bitmap);
}

}  // namespace

APEXPORT uint16_t GU4_PaletteSize(const void* header) {
  platform::DibLayout layout;
  if (!platform::dib_layout(header, &layout)) return 0;
  return static_cast<uint16_t>(layout.colour_entries * layout.entry_size);
}

BITMAPINFO* gu4_LockDIB(HGLOBAL dib, platform::DibLayout* layout) {
  auto* info = static_cast<BITMAPINFO*>(GlobalLock(dib));
  if (info == nullptr) return nullptr;
  const SIZE_T size = GlobalSize(dib);
  if (size >= sizeof(BITMAPCOREHEADER) && info->bmiHeader.biSize <= size && platform::dib_layout(info, layout) &&
      layout->total_bytes <= size)
    return info;
  GlobalUnlock(dib);
  return nullptr;
}

APEXPORT HGLOBAL GU4_BitmapToDIB(HBITMAP bitmap, uint16_t bits) {
  BITMAP description;
  if (!gu4_bitmap_size(bitmap, &description)) return nullptr;
  if (bits == 0) bits = static_cast<uint16_t>(description.bmPlanes * description.bmBitsPixel);
  bits = bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : 24;
  BITMAPINFOHEADER header{sizeof header, description.bmWidth, description.bmHeight, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
  const HDC screen = GetDC(nullptr);
  const uint32_t table = GU4_PaletteSize(&header);
  HGLOBAL dib = GlobalAlloc(GHND, sizeof header + table);
  auto* info = static_cast<BITMAPINFO*>(GlobalLock(dib));
  bool done = false;
  if (info != nullptr) {
    info->bmiHeader = header;
    done = GetDIBits(screen, bitmap, 0, description.bmHeight, nullptr, info, DIB_RGB_COLORS) != 0;
    header = info->bmiHeader;
    GlobalUnlock(dib);
  }
  if (done) {
    const HGLOBAL grown = GlobalReAlloc(dib, sizeof header + table + header.biSizeImage, GMEM_MOVEABLE);
    info = grown != nullptr ? static_cast<BITMAPINFO*>(GlobalLock(grown)) : nullptr;
    if (grown != nullptr) dib = grown;
    done = info != nullptr && GetDIBits(screen, bitmap, 0, description.bmHeight,
                                        reinterpret_cast<BYTE*>(info) + sizeof header + table, info,
                                        DIB_RGB_COLORS) == description.bmHeight;
    if (info != nullptr) GlobalUnlock(dib);
  }
  ReleaseDC(nullptr, screen);
  if (!done && dib != nullptr) dib = GlobalFree(dib);
  return dib;
}

APEXPORT HBITMAP GU4_BitmapFromDIB(HGLOBAL dib, HPALETTE palette) {
  platform::DibLayout layout;
  const BITMAPINFO* info = gu4_LockDIB(dib, &layout);
  if (info == nullptr) return nullptr;
  const HDC screen = GetDC(nullptr);
  HPALETTE previous = nullptr;
  if (palette != nullptr) {
    previous = SelectPalette(screen, palette, FALSE);
    RealizePalette(screen);
  }
  const HBITMAP bitmap =
      CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, gu4_dib_pixels(info, layout), info, DIB_RGB_COLORS);
  if (previous != nullptr) SelectPalette(screen, previous, FALSE);
  ReleaseDC(nullptr, screen);
  GlobalUnlock(dib);
  return bitmap;
}

APEXPORT HPALETTE GU4_CreateDIBPalette(const void* header, uint16_t* count) {
  if (count != nullptr) *count = 0;
  platform::DibLayout layout;
  if (!platform::dib_layout(header, &layout) || layout.bits > 8) return nullptr;
  const uint32_t entries = layout.colour_entries;
  GU3_HANDLE block =
      GU3_Allocate_MM(1, static_cast<uint16_t>(offsetof(LOGPALETTE, palPalEntry) + entries * sizeof(PALETTEENTRY)),
                      GU3_KIND_LOCAL);
  if (block == nullptr) return nullptr;
  auto* palette = static_cast<LOGPALETTE*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(entries);
  const BYTE* table = static_cast<const BYTE*>(header) + layout.header_size;
  for (uint32_t i = 0; i < entries; ++i) {
    const BYTE* quad = table + i * layout.entry_size;  // blue, green, red
    palette->palPalEntry[i] = PALETTEENTRY{quad[2], quad[1], quad[0], 0};
  }
  const HPALETTE made = CreatePalette(palette);
  GU3_Free_MM(block);
  if (made != nullptr && count != nullptr) *count = static_cast<uint16_t>(entries);
  return made;
}

APEXPORT HBITMAP GU4_LoadBitmapAndPalette(const char* name, HPALETTE* palette) {
  if (palette != nullptr) *palette = nullptr;
  HINSTANCE instance = nullptr;
  int16_t index = 0;
  const HRSRC resource = GU4_FindFirstResource(&instance, name, RT_BITMAP, &index);
  if (resource == nullptr) return nullptr;
  const DWORD size = SizeofResource(instance, resource);
  const void* data = LockResource(LoadResource(instance, resource));
  const HGLOBAL dib = data != nullptr ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr;
  void* copy = dib != nullptr ? GlobalLock(dib) : nullptr;
  if (copy == nullptr) {
    if (dib != nullptr) GlobalFree(dib);
    return nullptr;
  }
  std::memcpy(copy, data, size);
  GlobalUnlock(dib);
  platform::DibLayout layout;
  HPALETTE made = nullptr;
  if (const BITMAPINFO* info = gu4_LockDIB(dib, &layout)) {
    made = GU4_CreateDIBPalette(info, nullptr);
    GlobalUnlock(dib);
  }
  const HBITMAP bitmap = GU4_BitmapFromDIB(dib, made);
  GlobalFree(dib);
  if (bitmap == nullptr || palette == nullptr) {
    if (made != nullptr) DeleteObject(made);
  } else {
    *palette = made;
  }
  return bitmap;
}

APEXPORT uint16_t GU4_PaintBitmap(HDC dc, HBITMAP bitmap, HPALETTE palette, int32_t x, int32_t y, int32_t width,
                                  int32_t height) {
  BITMAP description;
  if (!gu4_bitmap_size(bitmap, &description)) return 0;
  HGDIOBJ replaced;
  const HDC memory_dc = gu4_memory_dc(dc, bitmap, &replaced);
  if (memory_dc == nullptr) return 0;
  HPALETTE previous = nullptr;
  HPALETTE previous_memory = nullptr;
  if (palette != nullptr) {
    previous = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
    previous_memory = SelectPalette(memory_dc, palette, FALSE);
    RealizePalette(memory_dc);
  }
  const BOOL painted = description.bmWidth == width && description.bmHeight == height
                           ? BitBlt(dc, x, y, width, height, memory_dc, 0, 0, SRCCOPY)
                           : StretchBlt(dc, x, y, width, height, memory_dc, 0, 0, description.bmWidth,
                                        description.bmHeight, SRCCOPY);
  if (previous != nullptr) SelectPalette(dc, previous, FALSE);
  if (previous_memory != nullptr) SelectPalette(memory_dc, previous_memory, FALSE);
  gu4_end_memory_dc(memory_dc, replaced);
  return painted ? 1 : 0;
}

// The source's pixels of the transparent colour leave the destination as
// it was: a monochrome mask marks them (white), the destination is cleared
// under the other pixels, the source with those pixels blackened is OR-ed
// in, and the result goes to `dc` in one copy.
APEXPORT uint16_t GU4_StretchBltTransparent(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height,
                                            int32_t source_x, int32_t source_y, int32_t source_width,
                                            int32_t source_height, HBITMAP bitmap, COLORREF transparent) {
  if (width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0) return 0;
  HGDIOBJ source_replaced, mask_replaced, inverse_replaced, cut_replaced, work_replaced;
  HBITMAP mask_bitmap, inverse_bitmap, cut_bitmap, work_bitmap;
  const HDC source = gu4_memory_dc(dc, bitmap, &source_replaced);
  if (source == nullptr) return 0;
  const HDC mask = gu4_work_dc(dc, source_width, source_height, true, &mask_bitmap, &mask_replaced);
  const HDC inverse = gu4_work_dc(dc, source_width, source_height, true, &inverse_bitmap, &inverse_replaced);
  const HDC cut = gu4_work_dc(source, source_width, source_height, false, &cut_bitmap, &cut_replaced);
  const HDC work = gu4_work_dc(dc, width, height, false, &work_bitmap, &work_replaced);
  bool done = mask != nullptr && inverse != nullptr && cut != nullptr && work != nullptr;
  if (done) {
    SetBkColor(source, transparent);
    SetTextColor(work, RGB(0, 0, 0));
    SetBkColor(work, RGB(0xFF, 0xFF, 0xFF));
    SetTextColor(cut, RGB(0, 0, 0));
    SetBkColor(cut, RGB(0xFF, 0xFF, 0xFF));
    done = BitBlt(mask, 0, 0, source_width, source_height, source, source_x, source_y, SRCCOPY) &&
           BitBlt(inverse, 0, 0, source_width, source_height, mask, 0, 0, NOTSRCCOPY) &&
           BitBlt(cut, 0, 0, source_width, source_height, source, source_x, source_y, SRCCOPY) &&
           BitBlt(cut, 0, 0, source_width, source_height, inverse, 0, 0, SRCAND) &&
           BitBlt(work, 0, 0, width, height, dc, x, y, SRCCOPY) &&
           StretchBlt(work, 0, 0, width, height, mask, 0, 0, source_width, source_height, SRCAND) &&
           StretchBlt(work, 0, 0, width, height, cut, 0, 0, source_width, source_height, SRCPAINT) &&
           BitBlt(dc, x, y, width, height, work, 0, 0, SRCCOPY);
  }
  if (work != nullptr) gu4_end_work_dc(work, work_bitmap, work_replaced);
  if (cut != nullptr) gu4_end_work_dc(cut, cut_bitmap, cut_replaced);
  if (inverse != nullptr) gu4_end_work_dc(inverse, inverse_bitmap, inverse_replaced);
  if (mask != nullptr) gu4_end_work_dc(mask, mask_bitmap, mask_replaced);
  gu4_end_memory_dc(source, source_replaced);
  return done ? 1 : 0;
}

APEXPORT uint16_t GU4_AvgScaleBltTransparent(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t,
                                             int32_t, int32_t, int32_t, HBITMAP bitmap, COLORREF transparent) {
  BITMAP description;
  if (!gu4_bitmap_size(bitmap, &description)) return 0;
  if (description.bmWidth == width && description.bmHeight == height)
    return GU4_StretchBltTransparent(dc, x, y, width, height, 0, 0, width, height, bitmap, transparent);
  const HGLOBAL dib = GU4_BitmapToDIB(bitmap, 24);
  const HGLOBAL scaled = dib != nullptr ? GU_AvgScaleDIBTransparent(dib, width, height, transparent) : nullptr;
  const HBITMAP scaled_bitmap = scaled != nullptr ? GU4_BitmapFromDIB(scaled, nullptr) : nullptr;
  const uint16_t drawn =
      scaled_bitmap != nullptr
          ? GU4_StretchBltTransparent(dc, x, y, width, height, 0, 0, width, height, scaled_bitmap, transparent)
          : 0;
  if (scaled_bitmap != nullptr) DeleteObject(scaled_bitmap);
  if (scaled != nullptr) GlobalFree(scaled);
  if (dib != nullptr) GlobalFree(dib);
  return drawn;
}

APEXPORT HBITMAP GU4_ConvertGrayBitmapToWindowsColors(HBITMAP bitmap) {
  const HGLOBAL dib = GU4_BitmapToDIB(bitmap, 24);
  platform::DibLayout layout;
  BITMAPINFO* info = dib != nullptr ? gu4_LockDIB(dib, &layout) : nullptr;
  if (info == nullptr) {
    if (dib != nullptr) GlobalFree(dib);
    return nullptr;
  }
  BYTE* rows = const_cast<BYTE*>(gu4_dib_pixels(info, layout));
  for (LONG row = 0; row < layout.height; ++row) {
    for (LONG column = 0; column < layout.width; ++column) {
      BYTE* pixel = rows + size_t{layout.row_bytes} * row + column * 3;  // blue, green, red
      for (const GreyReplacement& grey : kGreys) {
        if (!gu4_near(pixel[0], GetBValue(grey.grey)) || !gu4_near(pixel[1], GetGValue(grey.grey)) ||
            !gu4_near(pixel[2], GetRValue(grey.grey)))
          continue;
        const COLORREF colour = GetSysColor(grey.system_colour);
        pixel[0] = GetBValue(colour);
        pixel[1] = GetGValue(colour);
        pixel[2] = GetRValue(colour);
        break;
      }
    }
  }
  GlobalUnlock(dib);
  const HBITMAP converted = GU4_BitmapFromDIB(dib, nullptr);
  GlobalFree(dib);
  return converted;
}

APEXPORT HGDIOBJ GU4_SelectObject(HDC dc, HGDIOBJ object, int16_t kind) {
  if (GetDeviceCaps(dc, TECHNOLOGY) == DT_METAFILE) return nullptr;
  if (object == nullptr) {
    switch (kind) {
      case GU4_STOCK_PEN: object = GetStockObject(BLACK_PEN); break;
      case GU4_STOCK_FONT: object = GetStockObject(SYSTEM_FONT); break;
      case GU4_STOCK_BRUSH: object = GetStockObject(WHITE_BRUSH); break;
      default: return nullptr;
    }
  }
  return SelectObject(dc, object);
}
