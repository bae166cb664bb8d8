// Graphics objects in memory: the table of live device contexts and GDI
// objects, the pixels of bitmaps, blits with their raster operations and
// colour conversions, and DIB reads and writes.
#include "platform/gdi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace {

constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kColourMask = 0xFFFFFF;
constexpr int kDisplayBits = 24;
constexpr LONG kSystemFontHeight = 16;
// Bitmaps larger than this many pixels are refused rather than exhausting
// the 32-bit address space.
constexpr int64_t kMaxPixels = int64_t{1} << 24;

enum class Kind { font, pen, brush, palette, bitmap, region };

struct GdiObject {
  explicit GdiObject(Kind object_kind) : kind(object_kind) {}
  Kind kind;
  bool stock = false;
  LOGFONTA font{};
  LOGPEN pen{};
  LOGBRUSH brush{};
  std::vector<PALETTEENTRY> palette;
  // Bitmap: pixels top row first, as 0x00BBGGRR; a 1-bit bitmap holds only
  // black and white.
  LONG width = 0;
  LONG height = 0;
  WORD bits = 0;
  std::vector<COLORREF> pixels;
  HDC selected_in = nullptr;
  RECT rect{};
};

enum class Device { display, information, memory };

struct DeviceContext {
  Device device;
  HGDIOBJ font;
  HGDIOBJ pen;
  HGDIOBJ brush;
  HGDIOBJ palette;
  HGDIOBJ bitmap;  // memory contexts only
  COLORREF background = kWhite;
  COLORREF text = kBlack;
  bool clipped = false;
  RECT clip{};
};

std::map<uintptr_t, GdiObject> g_objects;
std::map<uintptr_t, DeviceContext> g_contexts;
// Ids are never reused, so a deleted object's handle stays invalid.
uintptr_t g_next_id = 0x00020000;
DWORD g_dialog_error = 0;

uintptr_t next_id() {
  const uintptr_t id = g_next_id;
  g_next_id += 4;
  return id;
}

HGDIOBJ add_object(GdiObject object) {
  const uintptr_t id = next_id();
  g_objects.emplace(id, std::move(object));
  return reinterpret_cast<HGDIOBJ>(id);
}

GdiObject* find(HGDIOBJ handle) {
  auto found = g_objects.find(reinterpret_cast<uintptr_t>(handle));
  return found != g_objects.end() ? &found->second : nullptr;
}

GdiObject* find(HGDIOBJ handle, Kind kind) {
  GdiObject* object = find(handle);
  return object != nullptr && object->kind == kind ? object : nullptr;
}

DeviceContext* find_dc(HDC dc) {
  auto found = g_contexts.find(reinterpret_cast<uintptr_t>(dc));
  return found != g_contexts.end() ? &found->second : nullptr;
}

GdiObject make_bitmap(LONG width, LONG height, WORD bits) {
  GdiObject bitmap{Kind::bitmap};
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bits = bits;
  bitmap.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kBlack);
  return bitmap;
}

bool bitmap_size_allowed(int width, int height) {
  return width > 0 && height > 0 && int64_t{width} * height <= kMaxPixels;
}

// The stock objects, made on first use, in GetStockObject's numbering.
HGDIOBJ stock(int kind) {
  static std::map<int, HGDIOBJ> made;
  auto found = made.find(kind);
  if (found != made.end()) return found->second;
  GdiObject object{Kind::brush};
  switch (kind) {
    case WHITE_BRUSH: object.brush = {BS_SOLID, kWhite, 0}; break;
    case BLACK_BRUSH: object.brush = {BS_SOLID, kBlack, 0}; break;
    case NULL_BRUSH: object.brush = {BS_NULL, 0, 0}; break;
    case WHITE_PEN: object = GdiObject{Kind::pen}; object.pen = {PS_SOLID, {1, 0}, kWhite}; break;
    case BLACK_PEN: object = GdiObject{Kind::pen}; object.pen = {PS_SOLID, {1, 0}, kBlack}; break;
    case SYSTEM_FONT:
      object = GdiObject{Kind::font};
      object.font.lfHeight = kSystemFontHeight;
      object.font.lfWeight = FW_BOLD;
      std::strcpy(object.font.lfFaceName, "System");
      break;
    case DEFAULT_PALETTE:
      object = GdiObject{Kind::palette};
      object.palette = {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0}};
      break;
    default: return nullptr;
  }
  object.stock = true;
  return made[kind] = add_object(std::move(object));
}

// The 1 x 1 monochrome bitmap that a new memory context holds.
HGDIOBJ stock_bitmap() {
  static HGDIOBJ bitmap = [] {
    GdiObject object = make_bitmap(1, 1, 1);
    object.stock = true;
    return add_object(std::move(object));
  }();
  return bitmap;
}

HDC add_context(Device device) {
  DeviceContext context{device, stock(SYSTEM_FONT), stock(BLACK_PEN), stock(WHITE_BRUSH), stock(DEFAULT_PALETTE),
                        device == Device::memory ? stock_bitmap() : nullptr};
  const uintptr_t id = next_id();
  g_contexts.emplace(id, context);
  return reinterpret_cast<HDC>(id);
}

bool names_display(LPCSTR name) {
  if (name == nullptr) return false;
  const char* display = "DISPLAY";
  for (; *name != '\0' && *display != '\0'; ++name, ++display) {
    if ((*name & ~0x20) != *display) return false;
  }
  return *name == '\0' && *display == '\0';
}

int bits_of(const DeviceContext& context) {
  if (context.device != Device::memory) return kDisplayBits;
  const GdiObject* bitmap = find(context.bitmap, Kind::bitmap);
  return bitmap != nullptr ? bitmap->bits : 1;
}

COLORREF monochrome_of(COLORREF colour) {
  const int sum = GetRValue(colour) + GetGValue(colour) + GetBValue(colour);
  return sum * 2 >= 3 * 255 ? kWhite : kBlack;  // the nearer of black and white
}

COLORREF stored_colour(const GdiObject& bitmap, COLORREF colour) {
  colour &= kColourMask;
  return bitmap.bits == 1 ? monochrome_of(colour) : colour;
}

GdiObject* bitmap_of(const DeviceContext* context) {
  return context != nullptr && context->device == Device::memory ? find(context->bitmap, Kind::bitmap) : nullptr;
}

bool inside_clip(const DeviceContext& context, LONG x, LONG y) {
  return !context.clipped ||
         (x >= context.clip.left && x < context.clip.right && y >= context.clip.top && y < context.clip.bottom);
}

bool apply_operation(DWORD operation, COLORREF source, COLORREF* destination) {
  switch (operation) {
    case SRCCOPY: *destination = source; return true;
    case NOTSRCCOPY: *destination = ~source & kColourMask; return true;
    case SRCAND: *destination &= source; return true;
    case SRCPAINT: *destination |= source; return true;
    case SRCINVERT: *destination ^= source; return true;
    default: return false;
  }
}

// The fixed colour tables of 1-, 4- and 8-bit DIBs written by GetDIBits:
// black and white; the 16 standard window colours; those 16, a 6 x 6 x 6
// colour cube and 24 greys.
std::vector<COLORREF> dib_colour_table(WORD bits) {
  static const COLORREF kStandard[16] = {
      RGB(0, 0, 0),       RGB(0x80, 0, 0),    RGB(0, 0x80, 0),    RGB(0x80, 0x80, 0),
      RGB(0, 0, 0x80),    RGB(0x80, 0, 0x80), RGB(0, 0x80, 0x80), RGB(0xC0, 0xC0, 0xC0),
      RGB(0x80, 0x80, 0x80), RGB(0xFF, 0, 0), RGB(0, 0xFF, 0),    RGB(0xFF, 0xFF, 0),
      RGB(0, 0, 0xFF),    RGB(0xFF, 0, 0xFF), RGB(0, 0xFF, 0xFF), RGB(0xFF, 0xFF, 0xFF)};
  if (bits == 1) return {kBlack, kWhite};
  std::vector<COLORREF> table(std::begin(kStandard), std::end(kStandard));
  if (bits == 4) return table;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) table.push_back(RGB(r * 51, g * 51, b * 51));
  for (int grey = 1; grey <= 24; ++grey) {
    const BYTE level = static_cast<BYTE>(grey * 255 / 25);
    table.push_back(RGB(level, level, level));
  }
  return table;
}

size_t nearest_entry(const std::vector<COLORREF>& table, COLORREF colour) {
  size_t best = 0;
  int best_distance = -1;
  for (size_t i = 0; i < table.size(); ++i) {
    const int dr = GetRValue(table[i]) - GetRValue(colour);
    const int dg = GetGValue(table[i]) - GetGValue(colour);
    const int db = GetBValue(table[i]) - GetBValue(colour);
    const int distance = dr * dr + dg * dg + db * db;
    if (best_distance < 0 || distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return best;
}

// Pixel `x` of a DIB row as an index (1, 4, 8 bits) or a colour (24, 32).
DWORD read_dib_pixel(const BYTE* row, LONG x, WORD bits) {
  switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
    case 8: return row[x];
    case 24: return RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    default: return RGB(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
  }
}

void write_dib_pixel(BYTE* row, LONG x, WORD bits, DWORD value) {
  switch (bits) {
    case 1: row[x >> 3] = static_cast<BYTE>(row[x >> 3] | value << (7 - (x & 7))); break;
    case 4: row[x >> 1] = static_cast<BYTE>(row[x >> 1] | value << ((x & 1) ? 0 : 4)); break;
    case 8: row[x] = static_cast<BYTE>(value); break;
    case 24:
    case 32: {
      BYTE* pixel = row + x * (bits / 8);
      pixel[0] = GetBValue(value);
      pixel[1] = GetGValue(value);
      pixel[2] = GetRValue(value);
      if (bits == 32) pixel[3] = 0;
      break;
    }
  }
}

LONG text_height(const LOGFONTA& font) {
  const LONG height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
  return height != 0 ? height : kSystemFontHeight;
}

}  // namespace

// ---------------------------------------------------------------------------
// Device contexts

HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR, const void*) {
  return names_display(driver) || names_display(device) ? add_context(Device::display) : nullptr;
}

HDC CreateICA(LPCSTR driver, LPCSTR device, LPCSTR, const void*) {
  return names_display(driver) || names_display(device) ? add_context(Device::information) : nullptr;
}

HDC CreateCompatibleDC(HDC dc) {
  if (dc != nullptr && find_dc(dc) == nullptr) return nullptr;
  return add_context(Device::memory);
}

BOOL DeleteDC(HDC dc) {
  DeviceContext* context = find_dc(dc);
  if (context == nullptr) return FALSE;
  if (GdiObject* bitmap = find(context->bitmap, Kind::bitmap)) bitmap->selected_in = nullptr;
  g_contexts.erase(reinterpret_cast<uintptr_t>(dc));
  return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
  const DeviceContext* context = find_dc(dc);
  if (context == nullptr) return 0;
  const int bits = bits_of(*context);
  switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES: return DISPLAY_WIDTH;
    case VERTRES: return DISPLAY_HEIGHT;
    case BITSPIXEL: return bits;
    case PLANES: return 1;
    case NUMCOLORS: return bits <= 8 ? 1 << bits : -1;
    case LOGPIXELSX:
    case LOGPIXELSY: return DISPLAY_PIXELS_PER_INCH;
    default: return 0;
  }
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
  DeviceContext* context = find_dc(dc);
  GdiObject* object = find(handle);
  if (context == nullptr || object == nullptr) return nullptr;
  HGDIOBJ previous = nullptr;
  switch (object->kind) {
    case Kind::font: previous = context->font; context->font = handle; break;
    case Kind::pen: previous = context->pen; context->pen = handle; break;
    case Kind::brush: previous = context->brush; context->brush = handle; break;
    case Kind::palette: return nullptr;  // palettes go through SelectPalette
    case Kind::region:
      return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(SelectClipRgn(dc, handle)));
    case Kind::bitmap: {
      if (context->device != Device::memory) return nullptr;
      if (object->selected_in != nullptr && object->selected_in != dc) return nullptr;
      previous = context->bitmap;
      if (GdiObject* old = find(previous, Kind::bitmap)) old->selected_in = nullptr;
      if (!object->stock) object->selected_in = dc;
      context->bitmap = handle;
      break;
    }
  }
  return previous;
}

BOOL DeleteObject(HGDIOBJ handle) {
  GdiObject* object = find(handle);
  if (object == nullptr) return FALSE;
  if (object->stock) return TRUE;
  if (object->selected_in != nullptr) return FALSE;
  g_objects.erase(reinterpret_cast<uintptr_t>(handle));
  return TRUE;
}

HGDIOBJ GetStockObject(int kind) { return stock(kind); }

int GetObjectA(HGDIOBJ handle, int size, void* out) {
  const GdiObject* object = find(handle);
  if (object == nullptr) return 0;
  BITMAP bitmap{};
  WORD entries = 0;
  const void* description = nullptr;
  int length = 0;
  switch (object->kind) {
    case Kind::font: description = &object->font; length = sizeof object->font; break;
    case Kind::pen: description = &object->pen; length = sizeof object->pen; break;
    case Kind::brush: description = &object->brush; length = sizeof object->brush; break;
    case Kind::palette:
      entries = static_cast<WORD>(object->palette.size());
      description = &entries;
      length = sizeof entries;
      break;
    case Kind::bitmap:
      bitmap.bmWidth = object->width;
      bitmap.bmHeight = object->height;
      bitmap.bmWidthBytes = ((object->width * object->bits + 15) >> 4) * 2;
      bitmap.bmPlanes = 1;
      bitmap.bmBitsPixel = object->bits;
      description = &bitmap;
      length = sizeof bitmap;
      break;
    case Kind::region: return 0;
  }
  if (out == nullptr) return length;
  if (size < length) return 0;
  std::memcpy(out, description, length);
  return length;
}

HGDIOBJ GetCurrentObject(HDC dc, UINT kind) {
  const DeviceContext* context = find_dc(dc);
  if (context == nullptr) return nullptr;
  switch (kind) {
    case OBJ_PEN: return context->pen;
    case OBJ_BRUSH: return context->brush;
    case OBJ_PAL: return context->palette;
    case OBJ_FONT: return context->font;
    case OBJ_BITMAP: return context->bitmap;
    default: return nullptr;
  }
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
  DeviceContext* context = find_dc(dc);
  if (context == nullptr) return CLR_INVALID;
  return std::exchange(context->background, colour);
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
  DeviceContext* context = find_dc(dc);
  if (context == nullptr) return CLR_INVALID;
  return std::exchange(context->text, colour);
}

COLORREF GetBkColor(HDC dc) {
  const DeviceContext* context = find_dc(dc);
  return context != nullptr ? context->background : CLR_INVALID;
}

COLORREF GetTextColor(HDC dc) {
  const DeviceContext* context = find_dc(dc);
  return context != nullptr ? context->text : CLR_INVALID;
}

// ---------------------------------------------------------------------------
// Fonts, pens and brushes

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strike_out, DWORD char_set, DWORD out_precision, DWORD clip_precision, DWORD quality,
                  DWORD pitch_and_family, LPCSTR face) {
  LOGFONTA font{height,
                width,
                escapement,
                orientation,
                weight,
                static_cast<BYTE>(italic),
                static_cast<BYTE>(underline),
                static_cast<BYTE>(strike_out),
                static_cast<BYTE>(char_set),
                static_cast<BYTE>(out_precision),
                static_cast<BYTE>(clip_precision),
                static_cast<BYTE>(quality),
                static_cast<BYTE>(pitch_and_family),
                {}};
  if (face != nullptr) std::strncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  return CreateFontIndirectA(&font);
}

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  if (font == nullptr) return nullptr;
  GdiObject object{Kind::font};
  object.font = *font;
  object.font.lfFaceName[LF_FACESIZE - 1] = '\0';
  return add_object(std::move(object));
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  const DeviceContext* context = find_dc(dc);
  const GdiObject* font = context != nullptr ? find(context->font, Kind::font) : nullptr;
  if (font == nullptr || metrics == nullptr) return FALSE;
  const LONG height = text_height(font->font);
  *metrics = TEXTMETRICA{};
  metrics->tmHeight = height;
  metrics->tmAscent = height * 4 / 5;
  metrics->tmDescent = height - metrics->tmAscent;
  metrics->tmAveCharWidth = std::max<LONG>(1, height / 2);
  metrics->tmMaxCharWidth = metrics->tmAveCharWidth;
  metrics->tmWeight = font->font.lfWeight;
  metrics->tmDigitizedAspectX = DISPLAY_PIXELS_PER_INCH;
  metrics->tmDigitizedAspectY = DISPLAY_PIXELS_PER_INCH;
  metrics->tmFirstChar = 0x20;
  metrics->tmLastChar = 0xFF;
  metrics->tmDefaultChar = '?';
  metrics->tmBreakChar = ' ';
  metrics->tmItalic = font->font.lfItalic;
  metrics->tmCharSet = font->font.lfCharSet;
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size) {
  TEXTMETRICA metrics;
  if (size == nullptr || length < 0 || (text == nullptr && length > 0) || !GetTextMetricsA(dc, &metrics)) return FALSE;
  size->cx = metrics.tmAveCharWidth * length;
  size->cy = metrics.tmHeight;
  return TRUE;
}

HPEN CreatePen(int style, int width, COLORREF colour) {
  GdiObject object{Kind::pen};
  object.pen = LOGPEN{static_cast<UINT>(style), {width, 0}, colour};
  return add_object(std::move(object));
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  GdiObject object{Kind::brush};
  object.brush = LOGBRUSH{BS_SOLID, colour, 0};
  return add_object(std::move(object));
}

// ---------------------------------------------------------------------------
// Palettes

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (palette == nullptr || palette->palNumEntries == 0) return nullptr;
  GdiObject object{Kind::palette};
  object.palette.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  return add_object(std::move(object));
}

UINT GetPaletteEntries(HPALETTE handle, UINT start, UINT count, PALETTEENTRY* entries) {
  const GdiObject* palette = find(handle, Kind::palette);
  if (palette == nullptr) return 0;
  const UINT size = static_cast<UINT>(palette->palette.size());
  if (entries == nullptr) return size;
  if (start >= size) return 0;
  const UINT copied = std::min(count, size - start);
  std::copy_n(palette->palette.begin() + start, copied, entries);
  return copied;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  DeviceContext* context = find_dc(dc);
  if (context == nullptr || find(palette, Kind::palette) == nullptr) return nullptr;
  return std::exchange(context->palette, palette);
}

UINT RealizePalette(HDC dc) {
  const DeviceContext* context = find_dc(dc);
  return context != nullptr ? GetPaletteEntries(context->palette, 0, 0, nullptr) : 0;
}

// ---------------------------------------------------------------------------
// Bitmaps

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits, const void*) {
  if (!bitmap_size_allowed(width, height) || planes != 1 || (bits != 1 && bits != kDisplayBits)) return nullptr;
  return add_object(make_bitmap(width, height, static_cast<WORD>(bits)));
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  const DeviceContext* context = find_dc(dc);
  if (context == nullptr) return nullptr;
  return CreateBitmap(width, height, 1, bits_of(*context) == 1 ? 1 : kDisplayBits, nullptr);
}

bool platform::dib_layout(const void* header, DibLayout* layout) {
  if (header == nullptr || layout == nullptr) return false;
  DibLayout found{};
  DWORD colours_used = 0;
  DWORD size;
  std::memcpy(&size, header, sizeof size);
  if (size == sizeof(BITMAPCOREHEADER)) {
    BITMAPCOREHEADER core;
    std::memcpy(&core, header, sizeof core);
    if (core.bcPlanes != 1) return false;
    found.width = core.bcWidth;
    found.height = core.bcHeight;
    found.bottom_up = true;
    found.bits = core.bcBitCount;
    found.entry_size = sizeof(RGBTRIPLE);
  } else if (size >= sizeof(BITMAPINFOHEADER) && size <= 1024) {
    BITMAPINFOHEADER info;
    std::memcpy(&info, header, sizeof info);
    if (info.biPlanes != 1 || info.biCompression != BI_RGB || info.biHeight == INT32_MIN) return false;
    found.width = info.biWidth;
    found.height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    found.bottom_up = info.biHeight > 0;
    found.bits = info.biBitCount;
    found.entry_size = sizeof(RGBQUAD);
    colours_used = info.biClrUsed;
  } else {
    return false;
  }
  found.header_size = size;
  const WORD bits = found.bits;
  if (found.width <= 0 || found.height <= 0) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const DWORD most = bits <= 8 ? DWORD{1} << bits : 256;
  if (colours_used > most) return false;
  found.colour_entries = colours_used != 0 ? colours_used : bits <= 8 ? most : 0;
  const uint64_t row_bytes = ((uint64_t{static_cast<DWORD>(found.width)} * bits + 31) >> 5) * 4;
  const uint64_t pixel_bytes = row_bytes * static_cast<DWORD>(found.height);
  const uint64_t total = uint64_t{size} + uint64_t{found.colour_entries} * found.entry_size + pixel_bytes;
  if (total >= (uint64_t{1} << 31)) return false;
  found.row_bytes = static_cast<DWORD>(row_bytes);
  found.pixel_bytes = static_cast<DWORD>(pixel_bytes);
  found.total_bytes = static_cast<DWORD>(total);
  *layout = found;
  return true;
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits, const BITMAPINFO* info,
                       UINT usage) {
  platform::DibLayout layout;
  if (!platform::dib_layout(header, &layout) || !bitmap_size_allowed(layout.width, layout.height)) return nullptr;
  const HBITMAP handle = CreateCompatibleBitmap(dc, layout.width, layout.height);
  if (handle == nullptr || init != CBM_INIT) return handle;
  platform::DibLayout source;
  const bool readable = bits != nullptr && usage == DIB_RGB_COLORS && platform::dib_layout(info, &source) &&
                        source.bits != 16 && source.width == layout.width && source.height == layout.height;
  if (!readable) {
    DeleteObject(handle);
    return nullptr;
  }
  const BYTE* table = reinterpret_cast<const BYTE*>(info) + source.header_size;
  std::vector<COLORREF> colours(source.colour_entries);
  for (DWORD i = 0; i < source.colour_entries; ++i) {
    const BYTE* entry = table + i * source.entry_size;
    colours[i] = RGB(entry[2], entry[1], entry[0]);
  }
  GdiObject& bitmap = *find(handle);
  for (LONG row = 0; row < source.height; ++row) {
    const BYTE* line = static_cast<const BYTE*>(bits) + size_t{source.row_bytes} * row;
    const LONG y = source.bottom_up ? source.height - 1 - row : row;
    for (LONG x = 0; x < source.width; ++x) {
      DWORD value = read_dib_pixel(line, x, source.bits);
      if (source.bits <= 8) value = value < colours.size() ? colours[value] : kBlack;
      bitmap.pixels[size_t{static_cast<DWORD>(y)} * bitmap.width + x] = stored_colour(bitmap, value);
    }
  }
  return handle;
}

int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  const GdiObject* bitmap = find(handle, Kind::bitmap);
  if (find_dc(dc) == nullptr || bitmap == nullptr || info == nullptr || usage != DIB_RGB_COLORS ||
      info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER))
    return 0;
  BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biBitCount == 0) header.biBitCount = bitmap->bits;
  const WORD depth = header.biBitCount;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32) return 0;
  header.biWidth = bitmap->width;
  header.biHeight = bitmap->height;
  header.biPlanes = 1;
  header.biCompression = BI_RGB;
  header.biClrUsed = 0;
  platform::DibLayout layout;
  if (!platform::dib_layout(&header, &layout)) return 0;
  header.biSizeImage = layout.pixel_bytes;
  if (bits == nullptr) return bitmap->height;
  if (start >= static_cast<UINT>(bitmap->height)) return 0;
  lines = std::min<UINT>(lines, bitmap->height - start);
  const std::vector<COLORREF> table = depth <= 8 ? dib_colour_table(depth) : std::vector<COLORREF>{};
  for (size_t i = 0; i < table.size(); ++i)
    info->bmiColors[i] = RGBQUAD{GetBValue(table[i]), GetGValue(table[i]), GetRValue(table[i]), 0};
  std::map<COLORREF, DWORD> indexes;  // pictures repeat colours: each is looked up once
  for (UINT line = 0; line < lines; ++line) {
    BYTE* row = static_cast<BYTE*>(bits) + size_t{layout.row_bytes} * line;
    std::memset(row, 0, layout.row_bytes);
    const LONG y = bitmap->height - 1 - static_cast<LONG>(start + line);  // DIB lines count from the bottom
    for (LONG x = 0; x < bitmap->width; ++x) {
      const COLORREF colour = bitmap->pixels[size_t{static_cast<DWORD>(y)} * bitmap->width + x];
      DWORD value = colour;
      if (depth <= 8) {
        auto found = indexes.find(colour);
        if (found == indexes.end()) found = indexes.emplace(colour, nearest_entry(table, colour)).first;
        value = found->second;
      }
      write_dib_pixel(row, x, depth, value);
    }
  }
  return static_cast<int>(lines);
}

BOOL StretchBlt(HDC dc, int x, int y, int width, int height, HDC source, int source_x, int source_y, int source_width,
                int source_height, DWORD operation) {
  DeviceContext* target = find_dc(dc);
  DeviceContext* from = find_dc(source);
  COLORREF probe = 0;
  if (target == nullptr || from == nullptr || target->device == Device::information ||
      from->device != Device::memory || !apply_operation(operation, 0, &probe))
    return FALSE;
  if (width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0) return FALSE;
  if (target->device == Device::display) return TRUE;  // drawn where nobody sees it
  GdiObject* destination = bitmap_of(target);
  const GdiObject* pixels = bitmap_of(from);
  if (destination == nullptr || pixels == nullptr) return FALSE;
  // Read the source rectangle first: source and destination may be the same bitmap.
  std::vector<COLORREF> sampled(static_cast<size_t>(width) * height, CLR_INVALID);
  for (int j = 0; j < height; ++j) {
    const int64_t sy = source_y + int64_t{j} * source_height / height;
    if (sy < 0 || sy >= pixels->height) continue;
    for (int i = 0; i < width; ++i) {
      const int64_t sx = source_x + int64_t{i} * source_width / width;
      if (sx < 0 || sx >= pixels->width) continue;
      COLORREF colour = pixels->pixels[static_cast<size_t>(sy * pixels->width + sx)];
      if (pixels->bits == 1 && destination->bits != 1) {
        colour = (colour == kBlack ? target->text : target->background) & kColourMask;
      } else if (pixels->bits != 1 && destination->bits == 1) {
        colour = colour == (from->background & kColourMask) ? kWhite : kBlack;
      }
      sampled[static_cast<size_t>(j) * width + i] = colour;
    }
  }
  for (int j = 0; j < height; ++j) {
    const int64_t dy = int64_t{y} + j;
    if (dy < 0 || dy >= destination->height) continue;
    for (int i = 0; i < width; ++i) {
      const int64_t dx = int64_t{x} + i;
      const COLORREF colour = sampled[static_cast<size_t>(j) * width + i];
      if (colour == CLR_INVALID || dx < 0 || dx >= destination->width ||
          !inside_clip(*target, static_cast<LONG>(dx), static_cast<LONG>(dy)))
        continue;
      apply_operation(operation, colour, &destination->pixels[static_cast<size_t>(dy * destination->width + dx)]);
    }
  }
  return TRUE;
}

BOOL BitBlt(HDC dc, int x, int y, int width, int height, HDC source, int source_x, int source_y, DWORD operation) {
  return StretchBlt(dc, x, y, width, height, source, source_x, source_y, width, height, operation);
}

COLORREF GetPixel(HDC dc, int x, int y) {
  const GdiObject* bitmap = bitmap_of(find_dc(dc));
  if (bitmap == nullptr || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return CLR_INVALID;
  return bitmap->pixels[static_cast<size_t>(y) * bitmap->width + x];
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
  DeviceContext* context = find_dc(dc);
  GdiObject* bitmap = bitmap_of(context);
  if (bitmap == nullptr || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height ||
      !inside_clip(*context, x, y))
    return CLR_INVALID;
  return bitmap->pixels[static_cast<size_t>(y) * bitmap->width + x] = stored_colour(*bitmap, colour);
}

// ---------------------------------------------------------------------------
// Clip regions

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  GdiObject object{Kind::region};
  object.rect = RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  return add_object(std::move(object));
}

int SelectClipRgn(HDC dc, HRGN handle) {
  DeviceContext* context = find_dc(dc);
  if (context == nullptr) return REGION_ERROR;
  if (handle == nullptr) {
    context->clipped = false;
    return SIMPLEREGION;
  }
  const GdiObject* region = find(handle, Kind::region);
  if (region == nullptr) return REGION_ERROR;
  context->clipped = true;
  context->clip = region->rect;
  return region->rect.left == region->rect.right || region->rect.top == region->rect.bottom ? NULLREGION
                                                                                              : SIMPLEREGION;
}

int GetClipBox(HDC dc, RECT* box) {
  const DeviceContext* context = find_dc(dc);
  if (context == nullptr || box == nullptr) return REGION_ERROR;
  if (context->clipped) {
    *box = context->clip;
  } else if (const GdiObject* bitmap = bitmap_of(context)) {
    *box = RECT{0, 0, bitmap->width, bitmap->height};
  } else {
    *box = RECT{0, 0, DISPLAY_WIDTH, DISPLAY_HEIGHT};
  }
  return box->left == box->right || box->top == box->bottom ? NULLREGION : SIMPLEREGION;
}

// ---------------------------------------------------------------------------
// Print dialog

BOOL PrintDlgA(PRINTDLGA* dialog) {
  g_dialog_error = dialog == nullptr ? 0 : PDERR_NODEFAULTPRN;
  return FALSE;
}

DWORD CommDlgExtendedError() { return g_dialog_error; }
