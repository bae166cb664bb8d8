// Pens by number with their defaults and the monochrome rule, the palette
// of fixed and dynamic colours, palette brushes and the off-screen buffer.
#include "dib_fixture.h"
#include "platform/user.h"
#include "util_fixture.h"

namespace {

class Pens : public utiltest::Utilities {
 protected:
  void TearDown() override {
    GU8_NullPrintVars();
    GU6_DestroyAllPens();
    GU6_DestroyPalette();
    Utilities::TearDown();
  }
  static LOGPEN description(HPEN pen) {
    LOGPEN logical{};
    EXPECT_EQ(GetObjectA(pen, sizeof logical, &logical), static_cast<int>(sizeof logical));
    return logical;
  }
};

TEST_F(Pens, DefaultPensHaveTheirStylesWidthsAndColours) {
  const struct {
    int16_t n;
    UINT style;
    LONG width;
    COLORREF colour;
  } cases[] = {{0, PS_SOLID, 1, 0x0000FF},       {8, PS_SOLID, 1, 0x0090F0},       {10, PS_SOLID, 1, 0xFFFFFF},
               {12, PS_INSIDEFRAME, 2, 0xFFFFFF}, {14, PS_INSIDEFRAME, 2, 0x828282}, {15, PS_DOT, 1, 0x000000},
               {16, PS_SOLID, 1, 0xC0C0C0},       {19, PS_SOLID, 1, 0x000000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(GU6_CreatePen(c.n), c.n);
    const LOGPEN pen = description(GU6_GetPen(c.n));
    EXPECT_EQ(pen.lopnStyle, c.style);
    EXPECT_EQ(pen.lopnWidth.x, c.width);
    EXPECT_EQ(pen.lopnColor, c.colour | GU6_PALETTE_RELATIVE);
    EXPECT_EQ(GU6_PenRGB(c.n), c.colour | GU6_PALETTE_RELATIVE);
  }
  EXPECT_EQ(GU6_GetPen(3), nullptr);  // only asked-for pens are made
  EXPECT_EQ(GU6_CreatePen(GU6_ALL_PENS), GU6_ALL_PENS);
  EXPECT_NE(GU6_GetPen(3), nullptr);
}

TEST_F(Pens, PenTwentyHasNoDefaultButTakesAColour) {
  EXPECT_EQ(GU6_CreatePen(20), -1);
  EXPECT_EQ(GU6_CreatePen(21), -1);
  EXPECT_EQ(GU6_CreatePenEx(20, RGB(0, 0xFF, 0)), 20);
  EXPECT_EQ(GU6_PenRGB(20), 0x0200FF00u);
  EXPECT_EQ(GU6_CreatePenEx(21, RGB(0, 0xFF, 0)), -1);

  // CreatePen keeps an existing pen; CreatePenEx replaces it.
  ASSERT_EQ(GU6_CreatePenEx(4, RGB(1, 2, 3)), 4);
  const HPEN replaced = GU6_GetPen(4);
  EXPECT_EQ(GU6_CreatePen(4), 4);
  EXPECT_EQ(GU6_GetPen(4), replaced);
  EXPECT_EQ(description(replaced).lopnColor, RGB(1, 2, 3) | GU6_PALETTE_RELATIVE);
}

TEST_F(Pens, MonochromeKeepsWhiteAndTurnsEveryOtherColourBlack) {
  const HWND printed = platform::create_window([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  const HDC colour_dc = GetDC(printed);
  const HDC monochrome_dc = CreateCompatibleDC(nullptr);  // holds a 1-bit bitmap: 2 colours
  GU6_CreatePen(GU6_ALL_PENS);
  const COLORREF yellow = GU6_PenRGB(4), white = GU6_PenRGB(9);
  const struct {
    int16_t flag;
    uint16_t copy, print;
    HDC dc;
    bool monochrome;
  } cases[] = {
      {0, 1, 1, colour_dc, false},
      {0, 0, 0, monochrome_dc, true},
      {GU8_PRINT_MONOCHROME_COPY, 0, 1, monochrome_dc, false},  // the copy flag decides
      {GU8_PRINT_MONOCHROME_COPY, 1, 0, colour_dc, true},
      {GU8_PRINT_MONOCHROME_COPY_UNCLIPPED, 1, 0, colour_dc, true},
      {GU8_PRINT_COLOUR, 0, 1, colour_dc, true},  // the print flag decides
      {GU8_PRINT_COLOUR, 1, 0, colour_dc, false},
      {GU8_PRINT_UNSCALED, 1, 1, colour_dc, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag << " copy " << c.copy << " print " << c.print);
    GU8_InitPrintVars(printed, nullptr, 1, 1, c.flag);
    GU6_SetMonochromeCopy(c.copy);
    GU6_SetMonochromePrint(c.print);
    EXPECT_EQ(GU6_PenRGBEx(printed, 4, c.dc), c.monochrome ? GU6_PALETTE_RELATIVE : yellow);
    EXPECT_EQ(GU6_PenRGBEx(printed, 9, c.dc), white);
    EXPECT_EQ(GU6_GetPenEX(printed, 4, c.dc), c.monochrome ? GetStockObject(BLACK_PEN) : GU6_GetPen(4));
    EXPECT_EQ(GU6_GetPenEX(printed, 9, c.dc), GU6_GetPen(9));
  }
  EXPECT_EQ(GU6_GetMonochromeCopy(), 1);
  EXPECT_EQ(GU6_GetMonochromePrint(), 1);
  ReleaseDC(printed, colour_dc);
  DeleteDC(monochrome_dc);
}

std::vector<PALETTEENTRY> entries_of(HPALETTE palette) {
  std::vector<PALETTEENTRY> entries(GetPaletteEntries(palette, 0, 0, nullptr));
  GetPaletteEntries(palette, 0, static_cast<UINT>(entries.size()), entries.data());
  return entries;
}

TEST_F(Pens, ThePaletteHoldsTheFixedColoursThenTheDynamicOnesInUse) {
  HPALETTE palette = GU6_CreatePalette();
  std::vector<PALETTEENTRY> entries = entries_of(palette);
  ASSERT_EQ(entries.size(), 72u);
  const struct {
    int index;
    uint32_t rrggbb;
  } fixed[] = {{1, 0x800000}, {15, 0xFFFFFF}, {17, 0xFDE2BA}, {40, 0x676767}, {71, 0x3C0024}};
  for (const auto& f : fixed) {
    EXPECT_EQ(entries[f.index].peRed, f.rrggbb >> 16) << f.index;
    EXPECT_EQ(entries[f.index].peGreen, (f.rrggbb >> 8) & 0xFF) << f.index;
    EXPECT_EQ(entries[f.index].peBlue, f.rrggbb & 0xFF) << f.index;
  }
  EXPECT_EQ(GU6_GetPaletteEntryColorRef(17), RGB(0xFD, 0xE2, 0xBA) | GU6_PALETTE_RELATIVE);
  PALETTEENTRY entry{};
  EXPECT_EQ(GU6_GetPaletteEntry(72, &entry), 0);
  ASSERT_EQ(GU6_GetPaletteEntry(9, &entry), 1);
  EXPECT_EQ(entry.peRed, 0xFF);
  DeleteObject(palette);

  // Dynamic entries 0 and 3 in use, 1 and 2 free: the palette reaches entry
  // 72 + 3, so the highest one lies inside it.
  const PALETTEENTRY first{1, 2, 3, 0}, fourth{4, 5, 6, 0};
  EXPECT_EQ(GU6_GetDynamicPaletteID(), 0);
  GU6_SetDynamicPaletteEntry(0, &first);
  GU6_SetDynamicPaletteEntry(3, &fourth);
  EXPECT_EQ(GU6_GetDynamicPaletteID(), 1);
  palette = GU6_CreatePalette();
  entries = entries_of(palette);
  ASSERT_EQ(entries.size(), 76u);
  EXPECT_EQ(entries[72].peRed, 1);
  EXPECT_EQ(entries[75].peBlue, 6);
  DeleteObject(palette);

  EXPECT_EQ(GU6_GetDynamicPaletteEntry(1, &entry), 0);
  ASSERT_EQ(GU6_GetDynamicPaletteEntry(3, &entry), 1);
  EXPECT_EQ(entry.peGreen, 5);
  GU6_FreeDynamicPaletteEntry(3);
  EXPECT_EQ(GU6_GetDynamicPaletteEntry(3, &entry), 0);
  EXPECT_EQ(GetPaletteEntries(palette = GU6_CreatePalette(), 0, 0, nullptr), 73u);
  DeleteObject(palette);
  for (int16_t i = 0; i < GU6_DYNAMIC_PALETTE_SIZE; ++i) GU6_SetDynamicPaletteEntry(i, &first);
  EXPECT_EQ(GU6_GetDynamicPaletteID(), -1);
  EXPECT_EQ(GU6_SetDynamicPaletteEntry(GU6_DYNAMIC_PALETTE_SIZE, &first), 0);
}

TEST_F(Pens, BrushesTakePaletteColoursOnlyWhileAPaletteIsSet) {
  const auto colour_of = [](HBRUSH brush) {
    LOGBRUSH logical{};
    GetObjectA(brush, sizeof logical, &logical);
    DeleteObject(brush);
    return logical.lbColor;
  };
  EXPECT_EQ(colour_of(GU6_CreateSolidBrush(9)), GetSysColor(COLOR_WINDOW));
  ASSERT_EQ(GU6_SetPalette(GU6_CreatePalette()), 1);
  EXPECT_NE(GU6_GetPalette(), nullptr);
  EXPECT_EQ(colour_of(GU6_CreateSolidBrush(9)), RGB(0xFF, 0, 0) | GU6_PALETTE_RELATIVE);
  EXPECT_EQ(colour_of(GU6_CreateSolidBrush(-1)), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(GU6_SetPalette(nullptr), 0);
  EXPECT_EQ(GU6_GetPalette(), nullptr);
  PALETTEENTRY entry{};
  GU6_ColorRefToPaletteEntry(RGB(7, 8, 9), &entry);
  EXPECT_EQ(entry.peRed, 7);
  EXPECT_EQ(entry.peBlue, 9);
}

TEST_F(Pens, TheOffScreenBufferCopiesToItsRectangleAtTheEnd) {
  utiltest::Canvas window(20, 20, [](int, int) { return RGB(0, 0, 0); });
  RECT rect{10, 12, 14, 15};
  const HDC memory = GU6_BufferDC(window.dc, &rect, GU6_BUFFER_START);
  ASSERT_NE(memory, window.dc);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.right, 4);
  EXPECT_EQ(rect.bottom, 3);
  EXPECT_EQ(GU6_BufferDC(window.dc, &rect, GU6_BUFFER_START), window.dc);  // one buffer at a time
  for (int x = 0; x < 4; ++x) SetPixel(memory, x, 2, RGB(0, 0xFF, 0));
  EXPECT_EQ(window.at(10, 14), RGB(0, 0, 0));  // nothing shows before the end
  EXPECT_EQ(GU6_BufferDC(memory, &rect, GU6_BUFFER_END), window.dc);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.bottom, 15);
  EXPECT_EQ(window.at(10, 14), RGB(0, 0xFF, 0));
  EXPECT_EQ(window.at(13, 14), RGB(0, 0xFF, 0));
  EXPECT_EQ(window.at(14, 14), RGB(0, 0, 0));
  EXPECT_EQ(window.at(10, 13), RGB(0, 0, 0));
  EXPECT_EQ(GetDeviceCaps(memory, BITSPIXEL), 0);  // the memory DC is gone
  EXPECT_EQ(GU6_BufferDC(window.dc, &rect, GU6_BUFFER_END), nullptr);
  EXPECT_EQ(GU6_BufferDC(window.dc, &rect, 2), nullptr);
}

}  // namespace
