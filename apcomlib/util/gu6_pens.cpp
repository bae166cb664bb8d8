// Pens, the palette and the off-screen buffer of the host's drawing code:
// a table of 21 pens by number with default styles and colours and the
// monochrome rule for printing; one logical palette of 72 fixed colours and
// up to 25 colours set at run time; brushes of palette colours; and a
// memory bitmap that a window draws into and copies to its DC at once.
//
// The host draws with these by number; while a window is printed (the
// printing state) pens may turn black and white.
#include <cstddef>

#include "util/util.h"

namespace {

// Pen-table entry, 8 bytes: the pen and its palette-relative colour.
struct GU6_PENENTRY {
  HPEN pen;
  COLORREF colour;
};
static_assert(sizeof(GU6_PENENTRY) == 8);

struct DefaultPen {
  int style;
  int width;
  COLORREF colour;  // 0x00BBGGRR
};
constexpr DefaultPen kDefaultPens[GU6_DEFAULT_PENS] = {
    {PS_SOLID, 1, 0x0000FF},       {PS_SOLID, 1, 0xFF0000},       {PS_SOLID, 1, 0x800080},
    {PS_SOLID, 1, 0x00FF00},       {PS_SOLID, 1, 0xFFFF00},       {PS_SOLID, 1, 0xFF00FF},
    {PS_SOLID, 1, 0x800000},       {PS_SOLID, 1, 0x008000},       {PS_SOLID, 1, 0x0090F0},
    {PS_SOLID, 1, 0xFFFFFF},       {PS_SOLID, 1, 0xFFFFFF},       {PS_SOLID, 1, 0x000000},
    {PS_INSIDEFRAME, 2, 0xFFFFFF}, {PS_INSIDEFRAME, 2, 0x000000}, {PS_INSIDEFRAME, 2, 0x828282},
    {PS_DOT, 1, 0x000000},         {PS_SOLID, 1, 0xC0C0C0},       {PS_SOLID, 1, 0x000000},
    {PS_SOLID, 1, 0x000000},       {PS_SOLID, 1, 0x000000}};

// The fixed palette as 0xRRGGBB, in entry order: the 16 standard window
// colours, then 7 rows of 8 (a grey and seven hues) from light to dark.
constexpr uint32_t kFixedPalette[GU6_FIXED_PALETTE_SIZE] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00,
    0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF, 0xD9D9D9, 0xFDE2BA, 0xFCFEB9, 0xC8FEC8, 0xC0FEF9, 0xC1CEFF,
    0xE2BEFF, 0xFDC0E4, 0xCECECE, 0xF6BF69, 0xEAEC5E, 0xA2FFA3, 0x8CF4EA, 0xA2C1FE, 0xD49FFF, 0xF39FD1, 0x919191,
    0xEF9100, 0xB2B900, 0x52DB00, 0x00B7A5, 0x618FFD, 0xB760F9, 0xF95AB7, 0x676767, 0xAC6900, 0x767900, 0x00AD00,
    0x009688, 0x3365FB, 0x9234DA, 0xD81D92, 0x474747, 0x714400, 0x4F5000, 0x037C03, 0x006B61, 0x0615E8, 0x7B00E3,
    0xB50069, 0x333333, 0x4C2E00, 0x3A3C00, 0x005500, 0x004F47, 0x00289F, 0x510093, 0x6E0043, 0x242424, 0x372100,
    0x292A00, 0x003E00, 0x003530, 0x081E58, 0x290049, 0x3C0024};

constexpr WORD kPaletteVersion = 0x300;
constexpr COLORREF kWhite = 0xFFFFFF;

struct DynamicEntry {
  uint16_t used;
  PALETTEENTRY entry;
};

GU3_HANDLE g_pen_table;
uint16_t g_monochrome_copy;
uint16_t g_monochrome_print;
HPALETTE g_palette;
DynamicEntry g_dynamic[GU6_DYNAMIC_PALETTE_SIZE];

struct OffScreenBuffer {
  HDC target;
  RECT rect;
  HDC memory_dc;
  HBITMAP bitmap;
  HGDIOBJ replaced;
};
OffScreenBuffer g_buffer;

GU6_PENENTRY* gu6_pens(bool make) {
  if (g_pen_table == nullptr && make)
    g_pen_table = GU3_Allocate_MM(GU6_PEN_TABLE_SIZE, sizeof(GU6_PENENTRY), GU3_KIND_GLOBAL);
  if (g_pen_table == nullptr) return nullptr;
  return static_cast<GU6_PENENTRY*>(GU3_GetPointer_MM(g_pen_table, 0, nullptr, nullptr));
}

void gu6_make_default_pen(GU6_PENENTRY* pens, int16_t n) {
  if (pens[n].pen != nullptr) return;
  const COLORREF colour = kDefaultPens[n].colour | GU6_PALETTE_RELATIVE;
  pens[n] = GU6_PENENTRY{CreatePen(kDefaultPens[n].style, kDefaultPens[n].width, colour), colour};
}

PALETTEENTRY gu6_fixed_entry(int16_t index) {
  const uint32_t rgb = kFixedPalette[index];
  return PALETTEENTRY{static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb), 0};
}

bool gu6_fixed_index(int16_t index) { return index >= 0 && index < GU6_FIXED_PALETTE_SIZE; }
bool gu6_dynamic_index(int16_t index) { return index >= 0 && index < GU6_DYNAMIC_PALETTE_SIZE; }

// Whether pens are drawn black and white for this window and DC.
bool gu6_monochrome(HWND window, HDC dc) {
  const int16_t flag = GU8_IsPrinting_PRN(window);
  if (flag == GU8_PRINT_MONOCHROME_COPY || flag == GU8_PRINT_MONOCHROME_COPY_UNCLIPPED) return g_monochrome_copy != 0;
  if (dc != nullptr) {
    const int colours = GetDeviceCaps(dc, NUMCOLORS);
    if (colours == 1 || colours == 2) return true;
  }
  return flag == GU8_PRINT_COLOUR && g_monochrome_print != 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pens

APEXPORT int16_t GU6_CreatePen(int16_t n) {
  if (n != GU6_ALL_PENS && (n < 0 || n >= GU6_DEFAULT_PENS)) return -1;
  GU6_PENENTRY* pens = gu6_pens(true);
  if (pens == nullptr) return -1;
  if (n != GU6_ALL_PENS) {
    gu6_make_default_pen(pens, n);
    return n;
  }
  for (int16_t i = 0; i < GU6_DEFAULT_PENS; ++i) gu6_make_default_pen(pens, i);
  return GU6_ALL_PENS;
}

APEXPORT int16_t GU6_CreatePenEx(int16_t n, COLORREF colour) {
  GU6_PENENTRY* pens = n >= 0 && n < GU6_PEN_TABLE_SIZE ? gu6_pens(true) : nullptr;
  if (pens == nullptr) return -1;
  colour |= GU6_PALETTE_RELATIVE;
  const HPEN pen = CreatePen(PS_SOLID, 1, colour);
  if (pen == nullptr) return -1;
  if (pens[n].pen != nullptr) DeleteObject(pens[n].pen);
  pens[n] = GU6_PENENTRY{pen, colour};
  return n;
}

APEXPORT uint16_t GU6_DestroyAllPens() {
  GU6_PENENTRY* pens = gu6_pens(false);
  if (pens == nullptr) return 1;
  for (int16_t i = 0; i < GU6_PEN_TABLE_SIZE; ++i) {
    if (pens[i].pen != nullptr) DeleteObject(pens[i].pen);
  }
  GU3_Free_MM(g_pen_table);
  g_pen_table = nullptr;
  return 1;
}

APEXPORT HPEN GU6_GetPen(int16_t n) {
  const GU6_PENENTRY* pens = n >= 0 && n < GU6_PEN_TABLE_SIZE ? gu6_pens(false) : nullptr;
  return pens != nullptr ? pens[n].pen : nullptr;
}

APEXPORT COLORREF GU6_PenRGB(int16_t n) {
  const GU6_PENENTRY* pens = n >= 0 && n < GU6_PEN_TABLE_SIZE ? gu6_pens(false) : nullptr;
  return pens != nullptr ? pens[n].colour | GU6_PALETTE_RELATIVE : GU6_PALETTE_RELATIVE;
}

APEXPORT COLORREF GU6_PenRGBEx(HWND window, int16_t n, HDC dc) {
  const COLORREF colour = GU6_PenRGB(n);
  if (!gu6_monochrome(window, dc)) return colour;
  return (colour & kWhite) == kWhite ? colour : GU6_PALETTE_RELATIVE;
}

APEXPORT HPEN GU6_GetPenEX(HWND window, int16_t n, HDC dc) {
  if (gu6_monochrome(window, dc) && (GU6_PenRGB(n) & kWhite) != kWhite) return GetStockObject(BLACK_PEN);
  return GU6_GetPen(n);
}

APEXPORT uint16_t GU6_GetMonochromeCopy() { return g_monochrome_copy; }

APEXPORT uint16_t GU6_SetMonochromeCopy(uint16_t flag) {
  g_monochrome_copy = flag;
  return 1;
}

APEXPORT uint16_t GU6_GetMonochromePrint() { return g_monochrome_print; }

APEXPORT uint16_t GU6_SetMonochromePrint(uint16_t flag) {
  g_monochrome_print = flag;
  return 1;
}

// ---------------------------------------------------------------------------
// Palette

APEXPORT HPALETTE GU6_CreatePalette() {
  // The palette reaches the highest dynamic entry in use, so that no entry
  // lies outside it when a lower one is free.
  int dynamic_count = 0;
  for (int i = 0; i < GU6_DYNAMIC_PALETTE_SIZE; ++i) {
    if (g_dynamic[i].used != 0) dynamic_count = i + 1;
  }
  const int count = GU6_FIXED_PALETTE_SIZE + dynamic_count;
  const auto bytes = static_cast<uint16_t>(offsetof(LOGPALETTE, palPalEntry) + count * sizeof(PALETTEENTRY));
  GU3_HANDLE block = GU3_Allocate_MM(1, bytes, GU3_KIND_LOCAL);
  if (block == nullptr) return nullptr;
  auto* palette = static_cast<LOGPALETTE*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  palette->palVersion = kPaletteVersion;
  palette->palNumEntries = static_cast<WORD>(count);
  for (int16_t i = 0; i < GU6_FIXED_PALETTE_SIZE; ++i) palette->palPalEntry[i] = gu6_fixed_entry(i);
  for (int i = 0; i < dynamic_count; ++i) palette->palPalEntry[GU6_FIXED_PALETTE_SIZE + i] = g_dynamic[i].entry;
  const HPALETTE made = CreatePalette(palette);
  GU3_Free_MM(block);
  return made;
}

APEXPORT uint16_t GU6_SetPalette(HPALETTE palette) {
  GU6_DestroyPalette();
  g_palette = palette;
  return palette != nullptr ? 1 : 0;
}

APEXPORT HPALETTE GU6_GetPalette() { return g_palette; }

APEXPORT uint16_t GU6_DestroyPalette() {
  if (g_palette == nullptr) return 0;
  DeleteObject(g_palette);
  g_palette = nullptr;
  return 1;
}

APEXPORT int16_t GU6_GetDynamicPaletteID() {
  for (int16_t i = 0; i < GU6_DYNAMIC_PALETTE_SIZE; ++i) {
    if (g_dynamic[i].used == 0) return i;
  }
  return -1;
}

APEXPORT uint16_t GU6_SetDynamicPaletteEntry(int16_t index, const PALETTEENTRY* entry) {
  if (!gu6_dynamic_index(index) || entry == nullptr) return 0;
  g_dynamic[index] = DynamicEntry{1, *entry};
  return 1;
}

APEXPORT uint16_t GU6_FreeDynamicPaletteEntry(int16_t index) {
  if (!gu6_dynamic_index(index)) return 0;
  g_dynamic[index].used = 0;
  return 1;
}

APEXPORT uint16_t GU6_GetDynamicPaletteEntry(int16_t index, PALETTEENTRY* entry) {
  if (!gu6_dynamic_index(index) || entry == nullptr || g_dynamic[index].used == 0) return 0;
  *entry = g_dynamic[index].entry;
  return 1;
}

APEXPORT uint16_t GU6_GetPaletteEntry(int16_t index, PALETTEENTRY* entry) {
  if (!gu6_fixed_index(index) || entry == nullptr) return 0;
  *entry = gu6_fixed_entry(index);
  return 1;
}

APEXPORT COLORREF GU6_GetPaletteEntryColorRef(int16_t index) {
  if (!gu6_fixed_index(index)) return GU6_PALETTE_RELATIVE;
  const PALETTEENTRY entry = gu6_fixed_entry(index);
  return RGB(entry.peRed, entry.peGreen, entry.peBlue) | GU6_PALETTE_RELATIVE;
}

APEXPORT uint16_t GU6_ColorRefToPaletteEntry(COLORREF colour, PALETTEENTRY* entry) {
  if (entry == nullptr) return 0;
  *entry = PALETTEENTRY{GetRValue(colour), GetGValue(colour), GetBValue(colour), 0};
  return 1;
}

APEXPORT HBRUSH GU6_CreateSolidBrush(int16_t index) {
  if (g_palette != nullptr && gu6_fixed_index(index)) return CreateSolidBrush(GU6_GetPaletteEntryColorRef(index));
  return CreateSolidBrush(GetSysColor(COLOR_WINDOW));
}

// ---------------------------------------------------------------------------
// Off-screen buffer

APEXPORT HDC GU6_BufferDC(HDC dc, RECT* rect, int16_t mode) {
  if (rect == nullptr) return nullptr;
  if (mode == GU6_BUFFER_START) {
    if (g_buffer.memory_dc != nullptr) return dc;
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    const HDC memory_dc = CreateCompatibleDC(dc);
    const HBITMAP bitmap = memory_dc != nullptr ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    const HGDIOBJ replaced = bitmap != nullptr ? SelectObject(memory_dc, bitmap) : nullptr;
    if (replaced == nullptr) {
      if (bitmap != nullptr) DeleteObject(bitmap);
      if (memory_dc != nullptr) DeleteDC(memory_dc);
      return dc;
    }
    SelectPalette(memory_dc, GetCurrentObject(dc, OBJ_PAL), FALSE);
    SelectObject(memory_dc, GetCurrentObject(dc, OBJ_FONT));
    g_buffer = OffScreenBuffer{dc, *rect, memory_dc, bitmap, replaced};
    *rect = RECT{0, 0, width, height};
    return memory_dc;
  }
  if (mode != GU6_BUFFER_END || g_buffer.memory_dc == nullptr) return nullptr;
  const OffScreenBuffer buffer = g_buffer;
  g_buffer = OffScreenBuffer{};
  BitBlt(buffer.target, buffer.rect.left, buffer.rect.top, buffer.rect.right - buffer.rect.left,
         buffer.rect.bottom - buffer.rect.top, buffer.memory_dc, 0, 0, SRCCOPY);
  *rect = buffer.rect;
  SelectObject(buffer.memory_dc, buffer.replaced);
  DeleteDC(buffer.memory_dc);
  DeleteObject(buffer.bitmap);
  return buffer.target;
}
