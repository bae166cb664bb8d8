// DIB helpers on bitmaps in memory: colour-table sizes and palettes from
// headers, DIBs to and from bitmaps, painting at a place, transparent
// blits (direct and through the averaging scaler), grey replacement and
// stock-object selection.
#include "dib_fixture.h"
#include "util_fixture.h"

namespace {

using utiltest::Canvas;
using utiltest::info_header;
using utiltest::ModuleBuilder;

class Bitmaps : public utiltest::Utilities {};

constexpr COLORREF kRed = RGB(0xFF, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 0xFF);
constexpr COLORREF kKey = RGB(0xFF, 0, 0xFF);

COLORREF checker(int x, int y) { return (x + y) % 2 == 0 ? RGB(10, 20, 30) : RGB(200, 210, 220); }

TEST_F(Bitmaps, PaletteSizeFollowsTheHeader) {
  const BITMAPCOREHEADER core1{12, 4, 4, 1, 1};
  const BITMAPCOREHEADER core8{12, 4, 4, 1, 8};
  const BITMAPCOREHEADER core24{12, 4, 4, 1, 24};
  const struct {
    const char* what;
    BITMAPINFOHEADER header;
    uint16_t bytes;
  } cases[] = {
      {"1 bit", info_header(4, 4, 1), 8},
      {"4 bits", info_header(4, 4, 4), 64},
      {"8 bits", info_header(4, 4, 8), 1024},
      {"24 bits", info_header(4, 4, 24), 0},
      {"8 bits, 20 used", info_header(4, 4, 8, 20), 80},
      {"24 bits with an optional table of 5", info_header(4, 4, 24, 5), 20},
      // More colours than the bits allow: no DIB header, no size.
      {"4 bits, 17 used", info_header(4, 4, 4, 17), 0},
      {"8 bits, 2^32 - 1 used", info_header(4, 4, 8, 0xFFFFFFFF), 0},
      {"24 bits, 257 used", info_header(4, 4, 24, 257), 0},
      {"a header of 20 bytes", BITMAPINFOHEADER{20, 4, 4, 1, 8, 0, 0, 0, 0, 0, 0}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(GU4_PaletteSize(&c.header), c.bytes) << c.what;
  EXPECT_EQ(GU4_PaletteSize(&core1), 6);
  EXPECT_EQ(GU4_PaletteSize(&core8), 768);
  EXPECT_EQ(GU4_PaletteSize(&core24), 0);
}

TEST_F(Bitmaps, DibPalettesTurnTheQuadsIntoRedGreenBlueEntries) {
  for (uint16_t bits : {1, 4, 8}) {
    SCOPED_TRACE(bits);
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[256];
    } dib{info_header(2, 2, bits), {}};
    const int entries = 1 << bits;
    for (int i = 0; i < entries; ++i) dib.colours[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 7, 0};
    uint16_t count = 0;
    const HPALETTE palette = GU4_CreateDIBPalette(&dib, &count);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(count, entries);
    std::vector<PALETTEENTRY> got(entries);
    ASSERT_EQ(GetPaletteEntries(palette, 0, entries, got.data()), static_cast<UINT>(entries));
    for (int i = 0; i < entries; ++i) {
      EXPECT_EQ(got[i].peRed, 7);
      EXPECT_EQ(got[i].peGreen, 255 - i);
      EXPECT_EQ(got[i].peBlue, i);
    }
    DeleteObject(palette);
  }
  // A core header's table holds triples.
  struct {
    BITMAPCOREHEADER header;
    RGBTRIPLE colours[2];
  } core{{12, 2, 2, 1, 1}, {{1, 2, 3}, {4, 5, 6}}};
  uint16_t count = 0;
  const HPALETTE palette = GU4_CreateDIBPalette(&core, &count);
  ASSERT_NE(palette, nullptr);
  PALETTEENTRY second;
  GetPaletteEntries(palette, 1, 1, &second);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(second.peRed, 6);
  EXPECT_EQ(second.peBlue, 4);
  DeleteObject(palette);

  const BITMAPINFOHEADER true_colour = info_header(2, 2, 24);
  count = 9;
  EXPECT_EQ(GU4_CreateDIBPalette(&true_colour, &count), nullptr);
  EXPECT_EQ(count, 0);
}

TEST_F(Bitmaps, DibsAndBitmapsConvertBothWays) {
  const HGLOBAL dib = utiltest::dib24(5, 3, checker);
  const HBITMAP bitmap = GU4_BitmapFromDIB(dib, nullptr);
  ASSERT_NE(bitmap, nullptr);
  const std::vector<COLORREF> pixels = utiltest::pixels_of(bitmap, 5, 3);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(pixels[i], checker(i % 5, i / 5));

  const HGLOBAL back = GU4_BitmapToDIB(bitmap, 0);  // the bitmap's own 24 bits
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(utiltest::dib_header(back).biBitCount, 24);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(utiltest::dib24_pixel(back, i % 5, i / 5), checker(i % 5, i / 5));

  // 3 bits round up to a 4-bit DIB of the 16 standard colours.
  const HBITMAP standard = utiltest::bitmap24(2, 1, [](int x, int) { return x == 0 ? kRed : RGB(0x80, 0x80, 0x80); });
  const HGLOBAL indexed = GU4_BitmapToDIB(standard, 3);
  ASSERT_NE(indexed, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(indexed));
  EXPECT_EQ(reinterpret_cast<const BITMAPINFOHEADER*>(bytes)->biBitCount, 4);
  EXPECT_EQ(bytes[40 + 64], 0x98);  // red is entry 9, grey entry 8
  EXPECT_EQ(bytes[40 + 9 * 4 + 2], 0xFF);  // entry 9's red
  GlobalUnlock(indexed);

  for (HGLOBAL block : {dib, back, indexed}) GlobalFree(block);
  DeleteObject(bitmap);
  DeleteObject(standard);
}

TEST_F(Bitmaps, PaintBitmapDrawsAtThePlaceItIsGiven) {
  Canvas canvas(10, 10, [](int, int) { return RGB(0, 0, 0); });
  const HBITMAP red = utiltest::bitmap24(2, 2, [](int, int) { return kRed; });
  ASSERT_EQ(GU4_PaintBitmap(canvas.dc, red, nullptr, 5, 6, 2, 2), 1);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(canvas.at(x, y), x >= 5 && x < 7 && y >= 6 && y < 8 ? kRed : RGB(0, 0, 0)) << x << "," << y;

  // Stretched to 4 x 4 at (1, 2), with a palette selected on the way.
  const HBITMAP corners = utiltest::bitmap24(2, 2, [](int x, int y) { return x == y ? kBlue : kRed; });
  const HDC dc = canvas.dc;
  struct {
    WORD version, count;
    PALETTEENTRY entries[2];
  } logical{0x300, 2, {{1, 2, 3, 0}, {4, 5, 6, 0}}};
  const HPALETTE palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
  const HGDIOBJ before = GetCurrentObject(dc, OBJ_PAL);
  ASSERT_EQ(GU4_PaintBitmap(dc, corners, palette, 1, 2, 4, 4), 1);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), before);  // selected back
  EXPECT_EQ(canvas.at(1, 2), kBlue);
  EXPECT_EQ(canvas.at(4, 2), kRed);
  EXPECT_EQ(canvas.at(4, 5), kBlue);
  EXPECT_EQ(canvas.at(0, 2), RGB(0, 0, 0));
  DeleteObject(palette);
  DeleteObject(red);
  DeleteObject(corners);
}

// The destination stays where the source holds the key colour; elsewhere
// the source lands, stretched by sampling the nearest source pixel.
TEST_F(Bitmaps, TransparentBlitsLeaveTheKeyColourPixelsUnchanged) {
  const auto source_colour = [](int x, int y) { return (x + 2 * y) % 3 == 0 ? kKey : RGB(x * 40, y * 40, 99); };
  const HBITMAP source = utiltest::bitmap24(4, 3, source_colour);
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    Canvas canvas(12, 9, checker);
    ASSERT_EQ(GU4_StretchBltTransparent(canvas.dc, 2, 1, 4 * scale, 3 * scale, 0, 0, 4, 3, source, kKey), 1);
    for (int y = 0; y < 9; ++y) {
      for (int x = 0; x < 12; ++x) {
        COLORREF expected = checker(x, y);
        if (x >= 2 && x < 2 + 4 * scale && y >= 1 && y < 1 + 3 * scale) {
          const COLORREF s = source_colour((x - 2) / scale, (y - 1) / scale);
          if (s != kKey) expected = s;
        }
        EXPECT_EQ(canvas.at(x, y), expected) << x << "," << y;
      }
    }
  }
  DeleteObject(source);
}

TEST_F(Bitmaps, AveragingTransparentBlitScalesThenKeepsTheKeyOut) {
  // 4 x 4 to 2 x 2: each output pixel is the mean of a 2 x 2 block without
  // its key pixels; a block of key pixels only leaves the destination.
  const auto colour = [](int x, int y) -> COLORREF {
    const int block = (y / 2) * 2 + x / 2;
    if (block == 0) return kRed;
    if (block == 1) return kKey;
    if (block == 2) return y == 2 ? kKey : RGB(0, 0, x == 0 ? 200 : 100);
    return RGB(10 * (x + 1), 20 * (y + 1), 0);  // (30 + 40 + 30 + 40) / 4, (60 + 60 + 80 + 80) / 4
  };
  const HBITMAP source = utiltest::bitmap24(4, 4, colour);
  Canvas canvas(4, 4, checker);
  ASSERT_EQ(GU4_AvgScaleBltTransparent(canvas.dc, 1, 1, 2, 2, 0, 0, 0, 0, source, kKey), 1);
  EXPECT_EQ(canvas.at(1, 1), kRed);
  EXPECT_EQ(canvas.at(2, 1), checker(2, 1));
  EXPECT_EQ(canvas.at(1, 2), RGB(0, 0, 150));
  EXPECT_EQ(canvas.at(2, 2), RGB(35, 70, 0));
  EXPECT_EQ(canvas.at(0, 0), checker(0, 0));

  // At the bitmap's own size it is a plain transparent blit.
  Canvas same(4, 4, checker);
  ASSERT_EQ(GU4_AvgScaleBltTransparent(same.dc, 0, 0, 4, 4, 0, 0, 0, 0, source, kKey), 1);
  EXPECT_EQ(same.at(2, 0), checker(2, 0));
  EXPECT_EQ(same.at(0, 3), RGB(0, 0, 200));
  DeleteObject(source);
}

TEST_F(Bitmaps, TransparentBlitsNeedADeviceWithPixels) {
  const HBITMAP source = utiltest::bitmap24(2, 2, [](int, int) { return kRed; });
  const HDC screen = GetDC(nullptr);
  EXPECT_EQ(GU4_StretchBltTransparent(screen, 0, 0, 2, 2, 0, 0, 2, 2, source, kKey), 0);
  EXPECT_EQ(GU4_StretchBltTransparent(nullptr, 0, 0, 2, 2, 0, 0, 2, 2, source, kKey), 0);
  ReleaseDC(nullptr, screen);
  DeleteObject(source);
}

TEST_F(Bitmaps, GreysNearTheStandardOnesTakeTheUsersThreeDColours) {
  const COLORREF greys[] = {RGB(0xC0, 0xC0, 0xC0), RGB(0xCA, 0xB6, 0xC5), RGB(0xDF, 0xDF, 0xDF),
                            RGB(0x80, 0x80, 0x80), RGB(0xB0, 0xB0, 0xB0), RGB(0xCB, 0xC0, 0xC0)};
  const COLORREF expected[] = {GetSysColor(COLOR_BTNFACE),      GetSysColor(COLOR_BTNFACE),
                               GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW),
                               RGB(0xB0, 0xB0, 0xB0),           RGB(0xCB, 0xC0, 0xC0)};
  const HBITMAP bitmap = utiltest::bitmap24(6, 1, [&](int x, int) { return greys[x]; });
  const HBITMAP converted = GU4_ConvertGrayBitmapToWindowsColors(bitmap);
  ASSERT_NE(converted, nullptr);
  const std::vector<COLORREF> pixels = utiltest::pixels_of(converted, 6, 1);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(pixels[i], expected[i]) << i;
  EXPECT_EQ(utiltest::pixels_of(bitmap, 6, 1)[0], greys[0]);  // the original stays
  DeleteObject(bitmap);
  DeleteObject(converted);
}

TEST_F(Bitmaps, SelectObjectFallsBackToStockObjectsByKind) {
  const HDC dc = CreateCompatibleDC(nullptr);
  const HPEN pen = CreatePen(PS_SOLID, 1, kRed);
  SelectObject(dc, pen);
  EXPECT_EQ(GU4_SelectObject(dc, nullptr, GU4_STOCK_PEN), pen);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  const HBRUSH brush = CreateSolidBrush(kRed);
  EXPECT_EQ(GU4_SelectObject(dc, brush, GU4_STOCK_FONT), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GU4_SelectObject(dc, nullptr, GU4_STOCK_BRUSH), brush);
  EXPECT_EQ(GU4_SelectObject(dc, nullptr, GU4_STOCK_FONT), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GU4_SelectObject(dc, nullptr, 4), nullptr);
  DeleteDC(dc);
  DeleteObject(pen);
  DeleteObject(brush);
}

// A 4-bit bitmap resource: header, 16 colours, two rows of 2 pixels.
std::string four_bit_bitmap() {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[16];
    uint8_t rows[2][4];
  } dib{info_header(2, 2, 4), {}, {{0x12, 0, 0, 0}, {0x30, 0, 0, 0}}};
  dib.colours[1] = RGBQUAD{0, 0, 0xFF, 0};  // red
  dib.colours[2] = RGBQUAD{0xFF, 0, 0, 0};  // blue
  dib.colours[3] = RGBQUAD{0, 0xFF, 0, 0};  // green
  return std::string(reinterpret_cast<const char*>(&dib), sizeof dib);
}

TEST_F(Bitmaps, BitmapResourcesLoadWithTheirPalette) {
  utiltest::add_resource_module("pictures.dll", ModuleBuilder().raw(RT_BITMAP, "LOGO", four_bit_bitmap()));
  HPALETTE palette = nullptr;
  const HBITMAP bitmap = GU4_LoadBitmapAndPalette("logo", &palette);
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(palette, nullptr);
  EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 16u);
  PALETTEENTRY first;
  GetPaletteEntries(palette, 1, 1, &first);
  EXPECT_EQ(first.peRed, 0xFF);
  // The bottom row comes first: (red, blue) below (green, black).
  EXPECT_EQ(utiltest::pixels_of(bitmap, 2, 2), (std::vector<COLORREF>{RGB(0, 0xFF, 0), 0, kRed, kBlue}));
  DeleteObject(bitmap);
  DeleteObject(palette);

  palette = reinterpret_cast<HPALETTE>(1);
  EXPECT_EQ(GU4_LoadBitmapAndPalette("absent", &palette), nullptr);
  EXPECT_EQ(palette, nullptr);
}

}  // namespace
