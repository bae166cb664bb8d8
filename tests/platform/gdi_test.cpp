// Graphics objects in memory: the DIB layouts the layer accepts, DIBs in
// and out of bitmaps at every depth, blits with their raster operations and
// monochrome conversions, devices without pixels, and the missing printer.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gdi.h"

namespace {

BITMAPINFOHEADER header(LONG width, LONG height, WORD bits, DWORD used = 0, DWORD compression = BI_RGB) {
  return BITMAPINFOHEADER{40, width, height, 1, bits, compression, 0, 0, 0, used, 0};
}

TEST(Gdi, DibLayoutsAreCheckedAgainstTheirHeaders) {
  const struct {
    const char* what;
    BITMAPINFOHEADER header;
    bool valid;
    DWORD entries, row_bytes, total;
  } cases[] = {
      {"1 bit", header(9, 2, 1), true, 2, 4, 40 + 8 + 8},
      {"4 bits, 3 used", header(3, 1, 4, 3), true, 3, 4, 40 + 12 + 4},
      {"8 bits top-down", header(5, -3, 8), true, 256, 8, 40 + 1024 + 24},
      {"24 bits", header(5, 3, 24), true, 0, 16, 40 + 48},
      {"32 bits", header(2, 2, 32), true, 0, 8, 40 + 16},
      {"too many colours", header(2, 2, 8, 257), false, 0, 0, 0},
      {"more colours than 4 bits allow", header(2, 2, 4, 17), false, 0, 0, 0},
      {"2 bits", header(2, 2, 2), false, 0, 0, 0},
      {"compressed", header(2, 2, 8, 0, 1), false, 0, 0, 0},
      {"no width", header(0, 2, 24), false, 0, 0, 0},
      {"no height", header(2, 0, 24), false, 0, 0, 0},
      {"larger than 2 GB", header(60000, 60000, 24), false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::DibLayout layout{};
    ASSERT_EQ(platform::dib_layout(&c.header, &layout), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(layout.colour_entries, c.entries);
    EXPECT_EQ(layout.row_bytes, c.row_bytes);
    EXPECT_EQ(layout.total_bytes, c.total);
  }
  platform::DibLayout layout{};
  const BITMAPCOREHEADER core{12, 3, 2, 1, 4};
  ASSERT_TRUE(platform::dib_layout(&core, &layout));
  EXPECT_EQ(layout.entry_size, 3u);
  EXPECT_EQ(layout.total_bytes, 12u + 48 + 8);
}

// A 4 x 2 bitmap of distinct colours, through a DIB of each depth and back.
TEST(Gdi, BitmapsRoundTripThroughDibsOfEveryDepth) {
  const COLORREF colours[8] = {RGB(0, 0, 0),    RGB(0xFF, 0xFF, 0xFF), RGB(0xFF, 0, 0), RGB(0, 0, 0xFF),
                               RGB(0, 0x80, 0), RGB(0xC0, 0xC0, 0xC0), RGB(0, 0xFF, 0xFF), RGB(0x80, 0, 0x80)};
  const HDC dc = CreateCompatibleDC(nullptr);
  const HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  const HBITMAP original = CreateBitmap(4, 2, 1, 24, nullptr);
  const HGDIOBJ stock_bitmap = SelectObject(dc, original);
  for (int i = 0; i < 8; ++i) SetPixel(dc, i % 4, i / 4, colours[i]);
  SelectObject(dc, stock_bitmap);

  for (WORD bits : {4, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bitmap_info = reinterpret_cast<BITMAPINFO*>(info.data());
    bitmap_info->bmiHeader = header(0, 0, bits);
    ASSERT_EQ(GetDIBits(dc, original, 0, 2, nullptr, bitmap_info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(bitmap_info->bmiHeader.biWidth, 4);
    std::vector<uint8_t> pixels(bitmap_info->bmiHeader.biSizeImage);
    ASSERT_EQ(GetDIBits(dc, original, 0, 2, pixels.data(), bitmap_info, DIB_RGB_COLORS), 2);
    // Compatible with the display: 24 bits (with the memory DC's 1-bit bitmap it would be monochrome).
    const HBITMAP copy =
        CreateDIBitmap(screen, &bitmap_info->bmiHeader, CBM_INIT, pixels.data(), bitmap_info, DIB_RGB_COLORS);
    ASSERT_NE(copy, nullptr);
    SelectObject(dc, copy);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(GetPixel(dc, i % 4, i / 4), colours[i]) << i;  // all standard colours
    SelectObject(dc, stock_bitmap);
    DeleteObject(copy);
  }
  // One bit: the nearer of black and white.
  BITMAPINFO* info = static_cast<BITMAPINFO*>(std::calloc(1, sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD)));
  info->bmiHeader = header(0, 0, 1);
  uint8_t rows[2][4] = {};
  ASSERT_EQ(GetDIBits(dc, original, 0, 2, rows, info, DIB_RGB_COLORS), 2);
  EXPECT_EQ(rows[1][0], 0x40);  // the top row, stored last: black, white, red (black), blue (black)
  EXPECT_EQ(rows[0][0], 0x60);  // green (black), silver and cyan (white), purple (black)
  std::free(info);
  DeleteDC(screen);
  DeleteDC(dc);
  DeleteObject(original);
}

struct Surface {
  Surface(int width, int height, UINT bits) {
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateBitmap(width, height, 1, bits, nullptr);
    previous = SelectObject(dc, bitmap);
  }
  ~Surface() {
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
};

TEST(Gdi, BlitsCombineWithTheirRasterOperation) {
  const struct {
    DWORD operation;
    COLORREF expected;
  } cases[] = {{SRCCOPY, 0x00F0F0}, {NOTSRCCOPY, 0xFF0F0F}, {SRCAND, 0x00A0A0}, {SRCPAINT, 0xAAF0FA},
               {SRCINVERT, 0xAA505A}};
  for (const auto& c : cases) {
    Surface source(1, 1, 24), target(1, 1, 24);
    SetPixel(source.dc, 0, 0, 0x00F0F0);
    SetPixel(target.dc, 0, 0, 0xAAA0AA);
    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 1, 1, source.dc, 0, 0, c.operation));
    EXPECT_EQ(GetPixel(target.dc, 0, 0), c.expected) << std::hex << c.operation;
  }
  Surface source(1, 1, 24), target(1, 1, 24);
  EXPECT_FALSE(BitBlt(target.dc, 0, 0, 1, 1, source.dc, 0, 0, 0x00BB0226));  // an operation not offered
}

TEST(Gdi, MonochromeConversionsUseTheBackgroundAndTextColours) {
  Surface colour(3, 1, 24), mask(3, 1, 1), back(3, 1, 24);
  SetPixel(colour.dc, 0, 0, RGB(1, 2, 3));
  SetPixel(colour.dc, 1, 0, RGB(9, 9, 9));
  SetPixel(colour.dc, 2, 0, RGB(1, 2, 3));
  SetBkColor(colour.dc, RGB(1, 2, 3));
  ASSERT_TRUE(BitBlt(mask.dc, 0, 0, 3, 1, colour.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(mask.dc, 0, 0), 0xFFFFFFu);  // the background colour becomes white
  EXPECT_EQ(GetPixel(mask.dc, 1, 0), 0u);
  SetTextColor(back.dc, RGB(0, 0, 0xFF));
  SetBkColor(back.dc, RGB(0xFF, 0, 0));
  ASSERT_TRUE(BitBlt(back.dc, 0, 0, 3, 1, mask.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(back.dc, 0, 0), RGB(0xFF, 0, 0));  // white takes the background colour
  EXPECT_EQ(GetPixel(back.dc, 1, 0), RGB(0, 0, 0xFF));  // black the text colour
}

TEST(Gdi, StretchesSampleTheNearestSourcePixelAndKeepToTheClip) {
  Surface source(2, 1, 24), target(4, 2, 24);
  SetPixel(source.dc, 0, 0, RGB(10, 0, 0));
  SetPixel(source.dc, 1, 0, RGB(20, 0, 0));
  const HRGN clip = CreateRectRgn(1, 0, 4, 1);
  SelectClipRgn(target.dc, clip);
  DeleteObject(clip);
  ASSERT_TRUE(StretchBlt(target.dc, 0, 0, 4, 2, source.dc, 0, 0, 2, 1, SRCCOPY));
  const COLORREF row[4] = {GetPixel(target.dc, 0, 0), GetPixel(target.dc, 1, 0), GetPixel(target.dc, 2, 0),
                           GetPixel(target.dc, 3, 0)};
  EXPECT_EQ(row[0], 0u);  // outside the clip
  EXPECT_EQ(row[1], RGB(10, 0, 0));
  EXPECT_EQ(row[2], RGB(20, 0, 0));
  EXPECT_EQ(row[3], RGB(20, 0, 0));
  EXPECT_EQ(GetPixel(target.dc, 2, 1), 0u);
  SelectClipRgn(target.dc, nullptr);
  ASSERT_TRUE(StretchBlt(target.dc, 2, 1, 4, 2, source.dc, 0, 0, 2, 1, SRCCOPY));  // runs off the edge
  EXPECT_EQ(GetPixel(target.dc, 3, 1), RGB(10, 0, 0));
}

TEST(Gdi, TheDisplayHasCapabilitiesButNoPixels) {
  const HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  const HDC information = CreateICA(nullptr, "display", nullptr, nullptr);
  ASSERT_NE(display, nullptr);
  ASSERT_NE(information, nullptr);
  EXPECT_EQ(GetDeviceCaps(display, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(display, HORZRES), DISPLAY_WIDTH);
  EXPECT_EQ(GetDeviceCaps(display, NUMCOLORS), -1);
  Surface memory(2, 2, 24);
  EXPECT_TRUE(BitBlt(display, 0, 0, 2, 2, memory.dc, 0, 0, SRCCOPY));  // drawn where nobody sees it
  EXPECT_FALSE(BitBlt(memory.dc, 0, 0, 2, 2, display, 0, 0, SRCCOPY));  // nothing to read
  EXPECT_FALSE(BitBlt(information, 0, 0, 2, 2, memory.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(display, 0, 0), CLR_INVALID);
  const HBITMAP bitmap = CreateCompatibleBitmap(display, 2, 2);
  EXPECT_EQ(SelectObject(display, bitmap), nullptr);  // bitmaps go into memory DCs only
  BITMAP description{};
  GetObjectA(bitmap, sizeof description, &description);
  EXPECT_EQ(description.bmBitsPixel, 24);
  DeleteObject(bitmap);
  EXPECT_EQ(CreateDCA("WINSPOOL", "Laser", nullptr, nullptr), nullptr);  // no printer
  PRINTDLGA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.Flags = PD_RETURNDEFAULT;
  EXPECT_FALSE(PrintDlgA(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), PDERR_NODEFAULTPRN);
  DeleteDC(display);
  DeleteDC(information);
}

TEST(Gdi, ABitmapLivesInOneDcAndCannotBeDeletedThere) {
  Surface first(2, 2, 24);
  const HDC second = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(second, first.bitmap), nullptr);
  EXPECT_FALSE(DeleteObject(first.bitmap));
  EXPECT_EQ(GetDeviceCaps(first.dc, BITSPIXEL), 24);
  EXPECT_EQ(GetDeviceCaps(second, NUMCOLORS), 2);  // the stock 1-bit bitmap
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
  EXPECT_NE(GetStockObject(BLACK_PEN), nullptr);  // stock objects stay
  DeleteDC(second);
}

TEST(Gdi, FontsMeasureAsFixedPitchCellsOfTheirHeight) {
  const HDC dc = CreateCompatibleDC(nullptr);
  TEXTMETRICA metrics{};
  ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
  EXPECT_EQ(metrics.tmHeight, 16);  // the system font
  const HFONT font = CreateFontA(-20, 0, 0, 0, FW_BOLD, 1, 0, 0, 0, 0, 0, 0, 0, "Arial");
  SelectObject(dc, font);
  ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
  EXPECT_EQ(metrics.tmHeight, 20);
  EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, 20);
  EXPECT_EQ(metrics.tmWeight, FW_BOLD);
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32A(dc, "abc", 3, &size));
  EXPECT_EQ(size.cx, 30);
  EXPECT_EQ(size.cy, 20);
  DeleteDC(dc);
  DeleteObject(font);
}

}  // namespace
