// Fonts by number: a screen table and a printer table of fonts, each entry
// an id, the font and its description ("<style>,<points>,<face>") in the
// string space; fonts made from descriptions; the printer twin of a screen
// id; fonts by associated name; and text metrics and extents measured with
// the screen or the printer font, as the print state decides.
//
// The host's drawing code asks here for its fonts by id or name; while a
// window is printed (the printing state) the getters switch to printer
// fonts.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/util.h"

namespace {

// Font-table entry, 10 bytes.
//   0  2  font id (0 = free)
//   2  4  font
//   6  4  description in the string space
#pragma pack(push, 2)
struct GU6_FONTENTRY {
  int16_t id;
  HFONT font;
  char* description;
};
#pragma pack(pop)
static_assert(sizeof(GU6_FONTENTRY) == 10);

enum FontTable { kScreenTable, kPrinterTable };
GU3_HANDLE g_font_tables[2];
int32_t g_char_set = -1;  // read once from the configuration

constexpr int kPointsPerInch = 72;
constexpr int kVerticalEscapement = 900;

GU6_FONTENTRY* gu6_entries(FontTable table, bool make) {
  if (g_font_tables[table] == nullptr && make)
    g_font_tables[table] = GU3_Allocate_MM(GU6_FONT_TABLE_SIZE, sizeof(GU6_FONTENTRY), GU3_KIND_GLOBAL);
  if (g_font_tables[table] == nullptr) return nullptr;
  return static_cast<GU6_FONTENTRY*>(GU3_GetPointer_MM(g_font_tables[table], 0, nullptr, nullptr));
}

GU6_FONTENTRY* gu6_find_font(FontTable table, int16_t id) {
  GU6_FONTENTRY* entries = gu6_entries(table, false);
  for (uint16_t i = 0; entries != nullptr && id != 0 && i < GU6_FONT_TABLE_SIZE; ++i) {
    if (entries[i].id == id) return &entries[i];
  }
  return nullptr;
}

void gu6_clear_font(GU6_FONTENTRY* entry) {
  if (entry->font != nullptr) DeleteObject(entry->font);
  if (entry->description != nullptr) GU3_RemoveString(entry->description);
  *entry = GU6_FONTENTRY{};
}

bool gu6_is_dynamic(int16_t id) { return GU6_GetFontType(id) == GU6_FONT_DYNAMIC; }

// A font above the first printer id is drawn turned.
uint16_t gu6_vertical(int16_t id) { return id > GU6_FIRST_PRINTER_FONT ? 1 : 0; }

uint16_t gu6_add_font(FontTable table, HDC dc, int16_t id, const char* description) {
  GU6_FONTENTRY* entries = gu6_entries(table, true);
  if (entries == nullptr || description == nullptr) return 0;
  if (gu6_find_font(table, id) != nullptr) return 1;
  GU6_FONTENTRY* free_entry = nullptr;
  for (uint16_t i = 0; free_entry == nullptr && i < GU6_FONT_TABLE_SIZE; ++i) {
    if (entries[i].id == 0) free_entry = &entries[i];
  }
  if (free_entry == nullptr) return 0;
  const HFONT font = GU6_CreateFontFromStr(dc, description, gu6_vertical(id));
  char* kept = font != nullptr ? GU3_StoreStringEx(description) : nullptr;
  if (kept == nullptr) {
    if (font != nullptr) DeleteObject(font);
    return 0;
  }
  *free_entry = GU6_FONTENTRY{id, font, kept};
  return 1;
}

uint16_t gu6_modify_font(FontTable table, HDC dc, int16_t id, const char* description) {
  GU6_FONTENTRY* entry = gu6_find_font(table, id);
  if (entry == nullptr || description == nullptr) return 0;
  const HFONT font = GU6_CreateFontFromStr(dc, description, gu6_vertical(id));
  char* kept = font != nullptr ? GU3_StoreStringEx(description) : nullptr;
  if (kept == nullptr) {
    if (font != nullptr) DeleteObject(font);
    return 0;
  }
  gu6_clear_font(entry);
  *entry = GU6_FONTENTRY{id, font, kept};
  return 1;
}

uint16_t gu6_destroy_all(FontTable table, uint16_t all) {
  GU6_FONTENTRY* entries = gu6_entries(table, false);
  for (uint16_t i = 0; entries != nullptr && i < GU6_FONT_TABLE_SIZE; ++i) {
    if (entries[i].id != 0 && (all != 0 || !gu6_is_dynamic(entries[i].id))) gu6_clear_font(&entries[i]);
  }
  if (all != 0 && g_font_tables[table] != nullptr) {
    GU3_Free_MM(g_font_tables[table]);
    g_font_tables[table] = nullptr;
  }
  // Freeing the screen table ends the library's use of fonts (it does so
  // when it unloads); fonts made after that read the configuration afresh.
  if (all != 0 && table == kScreenTable) g_char_set = -1;
  return 1;
}

HFONT gu6_font_or_system(FontTable table, int16_t id) {
  const GU6_FONTENTRY* entry = gu6_find_font(table, id);
  return entry != nullptr ? entry->font : GetStockObject(SYSTEM_FONT);
}

// The printer id of a screen id.
int16_t gu6_printer_id(int16_t id) {
  if (id > GU6_FIRST_PRINTER_FONT)
    return static_cast<int16_t>(gu6_printer_id(id - GU6_FIRST_PRINTER_FONT) + GU6_FIRST_PRINTER_FONT);
  if (id >= GU6_FIRST_DYNAMIC_FONT) return id;
  if (id >= 21 && id <= 24) return static_cast<int16_t>(id + 38);  // 21 to 24 become 59 to 62
  return GU6_DEFAULT_PRINTER_FONT;
}

// The printer font of a screen id, the default printer font when the twin
// is missing.
HFONT gu6_printer_font_of(int16_t id) {
  const HFONT font = GU6_NewGetPrtFont(gu6_printer_id(id));
  return font != GetStockObject(SYSTEM_FONT) ? font : GU6_NewGetPrtFont(GU6_DEFAULT_PRINTER_FONT);
}

int16_t gu6_font_id(uint16_t group, const char* name) {
  if (name == nullptr) return 0;
  const int32_t id = GU4_GetAssocNumber(group, name, nullptr, nullptr);
  return id > 0 ? static_cast<int16_t>(id) : 0;
}

std::string gu6_upper(const char* text) {
  std::string upper;
  for (; text != nullptr && *text != '\0'; ++text)
    upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
  return upper;
}

// Whether the upper-case style holds (or, with `whole`, is) the style word
// of the associated strings or the fixed English word.
bool gu6_style_is(const std::string& style, uint16_t number, const char* english, bool whole) {
  const std::string words[] = {gu6_upper(GU4_GetAssocString(GU6_GROUP_FONT_STYLES, number, nullptr, nullptr)),
                               english};
  for (const std::string& word : words) {
    if (word.empty()) continue;
    if (whole ? style == word : style.find(word) != std::string::npos) return true;
  }
  return false;
}

// Where and with which font a text is measured: the printer font on the
// print DC while printing in colour, on the printer information context (or
// the screen font on a display one) in the fourth print mode, else the
// screen font on the window's DC.
struct Measuring {
  HDC dc = nullptr;
  HFONT font = nullptr;
  bool window_dc = false;
  bool own_dc = false;
};

Measuring gu6_measuring(HWND window, HFONT screen_font, HFONT printer_font, bool printer_in_fourth_mode) {
  const int16_t flag = GU8_DonePrinting_PRN();
  if (flag == GU8_PRINT_COLOUR && gu8_PrintDC() != nullptr) return Measuring{gu8_PrintDC(), printer_font};
  if (flag == GU8_PRINT_MONOCHROME_COPY_UNCLIPPED) {
    if (printer_in_fourth_mode) return Measuring{GU8_GetIC(GU8_DEFAULT_PRINTER), printer_font};
    return Measuring{GU8_GetIC(0), screen_font, false, true};
  }
  return Measuring{GetDC(window), screen_font, true, false};
}

void gu6_done_measuring(HWND window, const Measuring& measuring) {
  if (measuring.window_dc) ReleaseDC(window, measuring.dc);
  if (measuring.own_dc) DeleteDC(measuring.dc);
}

uint16_t gu6_metrics(HWND window, const Measuring& measuring, TEXTMETRICA* metrics) {
  if (measuring.dc == nullptr || metrics == nullptr) return 0;
  const HGDIOBJ old = SelectObject(measuring.dc, measuring.font);
  const BOOL measured = GetTextMetricsA(measuring.dc, metrics);
  if (old != nullptr) SelectObject(measuring.dc, old);
  gu6_done_measuring(window, measuring);
  return measured ? 1 : 0;
}

uint16_t gu6_extent(HWND window, const Measuring& measuring, const char* text, int32_t* width, int32_t* height) {
  if (measuring.dc == nullptr || text == nullptr) return 0;
  const HGDIOBJ old = SelectObject(measuring.dc, measuring.font);
  SIZE size{};
  const BOOL measured = GetTextExtentPoint32A(measuring.dc, text, static_cast<int>(std::strlen(text)), &size);
  if (old != nullptr) SelectObject(measuring.dc, old);
  gu6_done_measuring(window, measuring);
  if (!measured) return 0;
  if (width != nullptr) *width = size.cx;
  if (height != nullptr) *height = size.cy;
  return 1;
}

}  // namespace

APEXPORT uint16_t GU6_GetFontType(int16_t id) {
  if (id >= GU6_FIRST_PRINTER_FONT) return GU6_FONT_PRINTER;
  return id >= GU6_FIRST_DYNAMIC_FONT ? GU6_FONT_DYNAMIC : GU6_FONT_FIXED;
}

APEXPORT HFONT GU6_CreateFontFromStr(HDC dc, const char* description, uint16_t vertical) {
  if (description == nullptr) return nullptr;
  const std::string text = description;
  const size_t first = text.find(',');
  const size_t second = first != std::string::npos ? text.find(',', first + 1) : std::string::npos;
  if (second == std::string::npos || first == 0 || second == first + 1 || second + 1 == text.size()) return nullptr;
  const std::string style = gu6_upper(text.substr(0, first).c_str());
  const int32_t points = GU4_atol(text.substr(first + 1, second - first - 1).c_str());
  const std::string face = text.substr(second + 1);
  const int32_t height =
      static_cast<int32_t>(static_cast<double>(points) * GetDeviceCaps(dc, LOGPIXELSY) / kPointsPerInch + 0.5);
  LONG weight = FW_NORMAL;
  bool italic = false;
  if (gu6_style_is(style, 2, "BOLD", false)) weight = FW_BOLD;
  if (gu6_style_is(style, 3, "ITALIC", false)) italic = true;
  if (gu6_style_is(style, 4, "MEDIUM", true)) weight = FW_MEDIUM;
  if (gu6_style_is(style, 5, "OBLIQUE", true)) {
    weight = FW_MEDIUM;
    italic = true;
  }
  if (g_char_set < 0) g_char_set = GU6_GetConfigInt("CustomerInfo", "CharSet", 0);
  return CreateFontA(height, 0, vertical != 0 ? kVerticalEscapement : 0, 0, weight, italic ? 1 : 0, 0, 0,
                     static_cast<DWORD>(g_char_set), 0, 0, 0, 0, face.c_str());
}

APEXPORT uint16_t GU6_CreateFontEx(HDC dc, int16_t id, const char* description) {
  if (gu6_find_font(kScreenTable, id) != nullptr) return 1;
  if (!gu6_add_font(kScreenTable, dc, id, description)) return 0;
  if (id < GU6_FIRST_DYNAMIC_FONT) return 1;
  return gu6_add_font(kPrinterTable, GU8_GetDCorIC(GU8_DEFAULT_PRINTER), id, description);
}

APEXPORT uint16_t GU6_CreatePrtFontEx(HDC dc, int16_t id, const char* description) {
  return gu6_add_font(kPrinterTable, dc, id, description);
}

APEXPORT uint16_t GU6_ModifyFont(HDC dc, int16_t id, const char* description) {
  return gu6_modify_font(kScreenTable, dc, id, description);
}

APEXPORT uint16_t GU6_ModifyPrtFont(HDC dc, int16_t id, const char* description) {
  return gu6_modify_font(kPrinterTable, dc, id, description);
}

APEXPORT uint16_t GU6_ReCreateAllDynamicPrtFonts(HDC dc) {
  GU6_FONTENTRY* entries = gu6_entries(kPrinterTable, false);
  for (uint16_t i = 0; entries != nullptr && i < GU6_FONT_TABLE_SIZE; ++i) {
    GU6_FONTENTRY& entry = entries[i];
    if (!gu6_is_dynamic(entry.id) || entry.description == nullptr) continue;
    const HFONT font = GU6_CreateFontFromStr(dc, entry.description, 0);
    if (font == nullptr) {
      gu6_clear_font(&entry);
      return 0;
    }
    DeleteObject(entry.font);
    entry.font = font;
  }
  return 1;
}

APEXPORT uint16_t GU6_DestroyFont(int16_t id) {
  uint16_t destroyed = 0;
  for (FontTable table : {kScreenTable, kPrinterTable}) {
    if (GU6_FONTENTRY* entry = gu6_find_font(table, id)) {
      gu6_clear_font(entry);
      destroyed = 1;
    }
  }
  return destroyed;
}

APEXPORT uint16_t GU6_DestroyAllFonts(uint16_t all) { return gu6_destroy_all(kScreenTable, all); }

APEXPORT uint16_t GU6_DestroyAllPrtFonts(uint16_t all) { return gu6_destroy_all(kPrinterTable, all); }

APEXPORT int16_t GU6_GetDynamicFontID() {
  if (gu6_entries(kScreenTable, false) == nullptr) return -1;
  for (int16_t id = GU6_FIRST_DYNAMIC_FONT; id <= GU6_LAST_HANDED_OUT_FONT; ++id) {
    if (gu6_find_font(kScreenTable, id) == nullptr) return id;
  }
  return -1;
}

APEXPORT uint16_t GU6_IsFontAvailable(int16_t id) { return gu6_find_font(kScreenTable, id) != nullptr ? 1 : 0; }

APEXPORT HFONT GU6_NewGetFont(int16_t id) { return gu6_font_or_system(kScreenTable, id); }

APEXPORT HFONT GU6_NewGetPrtFont(int16_t id) { return gu6_font_or_system(kPrinterTable, id); }

APEXPORT uint16_t GU6_CreateFont(const char* name) {
  if (name == nullptr || name[0] == '\0') return 1;
  if (gu6_entries(kScreenTable, false) == nullptr) return 0;
  return gu6_font_id(GU6_GROUP_SCREEN_FONTS, name) != 0 ? 1 : 0;
}

APEXPORT int16_t GU6_GetFontNumber(const char* name) { return gu6_font_id(GU6_GROUP_SCREEN_FONTS, name); }

APEXPORT HFONT GU6_GetFont(const char* name) { return GU6_NewGetFont(gu6_font_id(GU6_GROUP_SCREEN_FONTS, name)); }

APEXPORT HFONT GU6_GetPrtFont(const char* name) {
  return GU6_NewGetPrtFont(gu6_font_id(GU6_GROUP_PRINTER_FONTS, name));
}

APEXPORT HFONT GU6_NewGetFontEX(HWND window, int16_t id) {
  return GU8_IsPrinting_PRN(window) == GU8_PRINT_COLOUR ? gu6_printer_font_of(id) : GU6_NewGetFont(id);
}

APEXPORT HFONT GU6_GetFontEX(HWND, const char* name) { return GU6_GetFont(name); }

APEXPORT uint16_t GU6_NewGetTextMetrics(HWND window, int16_t id, TEXTMETRICA* metrics) {
  return gu6_metrics(window, gu6_measuring(window, GU6_NewGetFont(id), gu6_printer_font_of(id), false), metrics);
}

APEXPORT uint16_t GU6_GetTextMetrics(HWND window, const char* name, TEXTMETRICA* metrics) {
  return gu6_metrics(window, gu6_measuring(window, GU6_GetFont(name), GU6_GetPrtFont(name), true), metrics);
}

APEXPORT uint16_t GU6_NewGetTextExtent(HWND window, int16_t id, const char* text, int32_t, int32_t* width,
                                       int32_t* height) {
  return gu6_extent(window, gu6_measuring(window, GU6_NewGetFont(id), gu6_printer_font_of(id), true), text, width,
                    height);
}

APEXPORT uint16_t GU6_GetTextExtent(HWND window, const char* name, const char* text, int32_t, int32_t* width,
                                    int32_t* height) {
  return gu6_extent(window, gu6_measuring(window, GU6_GetFont(name), GU6_GetPrtFont(name), true), text, width,
                    height);
}
