// Graphics services without a screen. Device contexts, fonts, pens, brushes,
// palettes, bitmaps and clip regions are records in a table of live objects
// named by handles; bitmaps hold their pixels in memory, and blits, stretches
// and the conversions between bitmaps and device-independent bitmaps compute
// on those pixels.
//
// Devices: a memory context draws into the bitmap selected into it and
// answers the capabilities of that bitmap (bits per pixel, colour count).
// "DISPLAY" is a device with capabilities (96 pixels per inch, 24 bits, a
// desktop of DISPLAY_WIDTH x DISPLAY_HEIGHT) but no pixels: what is drawn on
// a display context is discarded, and nothing can be read from it. An
// information context only answers questions. There is no printer: a device
// other than "DISPLAY" cannot be opened, and the print dialog finds no
// default printer.
//
// No font engine is here: a font measures as a fixed-pitch cell whose height
// is the font's pixel height (16 for the system font), half as wide, four
// fifths of it above the base line.
//
// Callers: the fonts, pens, palettes, printing state and bitmap helpers of
// the accessory library's platform utilities.
#pragma once
#include "platform/wintypes.h"

struct HGDIOBJ__;
using HGDIOBJ = HGDIOBJ__*;
using HFONT = HGDIOBJ;
using HPEN = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HPALETTE = HGDIOBJ;
using HBITMAP = HGDIOBJ;
using HRGN = HGDIOBJ;

constexpr LONG DISPLAY_WIDTH = 1024;
constexpr LONG DISPLAY_HEIGHT = 768;
constexpr int DISPLAY_PIXELS_PER_INCH = 96;

// ---------------------------------------------------------------------------
// Device contexts

HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const void* mode);
HDC CreateICA(LPCSTR driver, LPCSTR device, LPCSTR output, const void* mode);
HDC CreateCompatibleDC(HDC dc);  // a memory context; null `dc`: of the display
BOOL DeleteDC(HDC dc);

constexpr int TECHNOLOGY = 2;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_METAFILE = 5;
int GetDeviceCaps(HDC dc, int index);

// Selecting a font, pen, brush or bitmap answers the one it replaces (null
// on failure: a bitmap goes into one memory context at a time, and never
// into a display context); a region is copied as the clip region and the
// region's kind is answered.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Stock objects cannot be deleted (the call does nothing); a bitmap selected
// into a context cannot be deleted.
BOOL DeleteObject(HGDIOBJ object);
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int SYSTEM_FONT = 13;
constexpr int DEFAULT_PALETTE = 15;
HGDIOBJ GetStockObject(int kind);
// Copies the object's description (LOGFONTA, LOGPEN, LOGBRUSH, BITMAP, or
// the WORD entry count of a palette) and answers its size; 0 on failure.
int GetObjectA(HGDIOBJ object, int size, void* out);
HGDIOBJ GetCurrentObject(HDC dc, UINT kind);
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_PAL = 5;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
COLORREF SetBkColor(HDC dc, COLORREF colour);
COLORREF SetTextColor(HDC dc, COLORREF colour);
COLORREF GetBkColor(HDC dc);
COLORREF GetTextColor(HDC dc);

// ---------------------------------------------------------------------------
// Fonts, pens and brushes

constexpr int LF_FACESIZE = 32;
// 60 bytes.
struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  CHAR lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTA) == 60);
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_MEDIUM = 500;
constexpr LONG FW_BOLD = 700;

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strike_out, DWORD char_set, DWORD out_precision, DWORD clip_precision, DWORD quality,
                  DWORD pitch_and_family, LPCSTR face);
HFONT CreateFontIndirectA(const LOGFONTA* font);

// 56 bytes.
struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};
static_assert(sizeof(TEXTMETRICA) == 56);
// The metrics of the font selected into the context; FALSE on an unknown
// context.
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size);

constexpr int PS_SOLID = 0;
constexpr int PS_DOT = 2;
constexpr int PS_INSIDEFRAME = 6;
// 16 bytes.
struct LOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
};
static_assert(sizeof(LOGPEN) == 16);
HPEN CreatePen(int style, int width, COLORREF colour);

constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
// 12 bytes.
struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG lbHatch;
};
static_assert(sizeof(LOGBRUSH) == 12);
HBRUSH CreateSolidBrush(COLORREF colour);

// ---------------------------------------------------------------------------
// Palettes

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
// A version and an entry count, then the entries.
struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};
static_assert(sizeof(LOGPALETTE) == 8);
HPALETTE CreatePalette(const LOGPALETTE* palette);
// Copies `count` entries from `start` (fewer at the end of the palette) and
// answers how many; a null `entries` answers the palette's size.
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
// The palette a context uses; answers the one it replaces.
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL background);
// Maps the selected palette onto the device: the number of its entries.
UINT RealizePalette(HDC dc);

// ---------------------------------------------------------------------------
// Bitmaps and device-independent bitmaps

// 24 bytes.
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
static_assert(sizeof(BITMAP) == 24);

// Bitmap information header, 40 bytes.
//   0  4  size of the header (40)
//   4  4  width in pixels
//   8  4  height in pixels, positive for rows stored bottom-up
//  12  2  planes (1)
//  14  2  bits per pixel
//  16  4  compression (0: none)
//  20  4  bytes of the pixel rows (may be 0 without compression)
//  24  4  horizontal pixels per metre
//  28  4  vertical pixels per metre
//  32  4  colours used (0: all the bit count allows)
//  36  4  important colours
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// Core header, 12 bytes: size (12), u16 width, u16 height, u16 planes, u16 bits.
struct BITMAPCOREHEADER {
  DWORD bcSize;
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
};
static_assert(sizeof(BITMAPCOREHEADER) == 12);

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct RGBTRIPLE {
  BYTE rgbtBlue;
  BYTE rgbtGreen;
  BYTE rgbtRed;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD CBM_INIT = 4;

// A bitmap of 1 bit (monochrome) or the display's 24 bits, cleared to
// black; other depths are refused.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bits, const void* pixels);
// A bitmap of the depth of the context's device (of its bitmap for a
// memory context).
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A bitmap compatible with `dc`, filled from the DIB's pixels with CBM_INIT.
// DIBs without compression of 1, 4, 8, 24 or 32 bits with an RGB colour
// table are understood.
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage);
// Lines `start` to `start + lines` of the bitmap as a DIB of the header's
// bit count (1, 4, 8, 24 or 32; 1, 4 and 8 bits take the nearest colour of
// a fixed table, which is written after the header). With null `bits` the
// header's size fields are filled and nothing else. Answers the lines done.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCINVERT = 0x00660046;
// Copies between contexts with one of the raster operations above; a
// stretch samples the nearest source pixel. Monochrome to colour turns
// black into the destination's text colour and white into its background
// colour; colour to monochrome turns the source's background colour white
// and everything else black.
BOOL BitBlt(HDC dc, int x, int y, int width, int height, HDC source, int source_x, int source_y, DWORD operation);
BOOL StretchBlt(HDC dc, int x, int y, int width, int height, HDC source, int source_x, int source_y,
                int source_width, int source_height, DWORD operation);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);

// ---------------------------------------------------------------------------
// Clip regions

constexpr int REGION_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
HRGN CreateRectRgn(int left, int top, int right, int bottom);
// A copy of the region becomes the clip region; a null region removes it.
int SelectClipRgn(HDC dc, HRGN region);
// The clip rectangle, or the whole drawing surface without one.
int GetClipBox(HDC dc, RECT* box);

// ---------------------------------------------------------------------------
// Print dialog: there is no printer, so it always answers FALSE with
// PDERR_NODEFAULTPRN as the extended error.

// Print dialog record, 66 bytes, packed to 1.
#pragma pack(push, 1)
struct PRINTDLGA {
  DWORD lStructSize;
  HWND hwndOwner;
  HGLOBAL hDevMode;
  HGLOBAL hDevNames;
  HDC hDC;
  DWORD Flags;
  WORD nFromPage;
  WORD nToPage;
  WORD nMinPage;
  WORD nMaxPage;
  WORD nCopies;
  HINSTANCE hInstance;
  LPARAM lCustData;
  void* lpfnPrintHook;
  void* lpfnSetupHook;
  LPCSTR lpPrintTemplateName;
  LPCSTR lpSetupTemplateName;
  HGLOBAL hPrintTemplate;
  HGLOBAL hSetupTemplate;
};
#pragma pack(pop)
static_assert(sizeof(PRINTDLGA) == 66);
// Offsets of the driver, device and output names in the same block.
struct DEVNAMES {
  WORD wDriverOffset;
  WORD wDeviceOffset;
  WORD wOutputOffset;
  WORD wDefault;
};
constexpr DWORD PD_RETURNDEFAULT = 0x00000400;
constexpr DWORD PDERR_NODEFAULTPRN = 0x1008;
BOOL PrintDlgA(PRINTDLGA* dialog);
DWORD CommDlgExtendedError();

namespace platform {

// The layout of a packed DIB (header, colour table, pixel rows) as its
// header gives it.
struct DibLayout {
  LONG width;
  LONG height;     // rows, always positive
  bool bottom_up;  // rows stored from the bottom row up
  WORD bits;
  DWORD header_size;
  DWORD colour_entries;  // entries of the colour table
  DWORD entry_size;      // 3 after a core header, else 4
  DWORD row_bytes;       // each row rounded up to 4 bytes
  DWORD pixel_bytes;     // all rows
  DWORD total_bytes;     // header, colour table and rows
};

// False unless the header is a core header or an information header (40
// bytes or a larger version) without compression, with a positive width, a
// non-zero height, one plane, 1, 4, 8, 16, 24 or 32 bits, and a colours-used
// count no larger than the bits allow (2, 16 or 256 entries; at most 256 as
// an optional table above 8 bits), of less than 2 GB in all.
bool dib_layout(const void* header, DibLayout* layout);

}  // namespace platform
