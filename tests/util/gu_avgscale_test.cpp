// The averaging scaler against a reference computed here one sub-step at a
// time, against small cases worked by hand, and on reductions whose weights
// overflow 16-bit sums.
#include <random>

#include "dib_fixture.h"
#include "util_fixture.h"

namespace {

using utiltest::dib24;
using utiltest::dib24_pixel;
using utiltest::dib_header;

class Scaler : public utiltest::Utilities {};

// weights[k][p]: how much of source pixel p lies under output pixel k. Each
// axis counts its units one by one: sub-steps for a change by less than a
// factor of 2 (4 per pixel, 8 across when reducing the width), whole pixels
// of the larger side otherwise.
std::vector<std::vector<uint64_t>> reference_weights(int source, int output, bool across) {
  std::vector<std::vector<uint64_t>> weights(output, std::vector<uint64_t>(source, 0));
  if (source >= 2 * output || output >= 2 * source) {
    const int larger = std::max(source, output), smaller = std::min(source, output);
    for (int unit = 0; unit < larger; ++unit) {
      int owner = 0;  // the smaller side's pixel k with floor(k L / S) <= unit < floor((k + 1) L / S)
      while (static_cast<int64_t>(owner + 1) * larger / smaller <= unit) ++owner;
      if (source >= output) {
        weights[owner][unit] = 1;
      } else {
        weights[unit][owner] = 1;
      }
    }
    return weights;
  }
  const int64_t steps = source > output && across ? 8 : 4;
  for (int64_t step = 0; step < source * steps; ++step) {
    int k = 0;
    while ((k + 1) * source * steps / output <= step) ++k;
    ++weights[k][step / steps];
  }
  return weights;
}

struct Image {
  int width, height;
  std::vector<COLORREF> pixels;  // row 0 is the top
  COLORREF at(int x, int y) const { return pixels[y * width + x]; }
};

// The DIB's rows run bottom-up and the scaler keeps their order: the
// reference works on rows in memory order, bottom first.
Image reference_scale(const Image& source, int width, int height, bool transparent, COLORREF colour) {
  const auto across = reference_weights(source.width, width, true);
  const auto down = reference_weights(source.height, height, false);
  Image out{width, height, std::vector<COLORREF>(width * height)};
  for (int oy = 0; oy < height; ++oy) {
    for (int ox = 0; ox < width; ++ox) {
      uint64_t r = 0, g = 0, b = 0, total = 0;
      for (int sy = 0; sy < source.height; ++sy) {
        for (int sx = 0; sx < source.width; ++sx) {
          const uint64_t w = down[height - 1 - oy][source.height - 1 - sy] * across[ox][sx];
          const COLORREF c = source.at(sx, sy);
          if (w == 0 || (transparent && c == colour)) continue;
          r += GetRValue(c) * w;
          g += GetGValue(c) * w;
          b += GetBValue(c) * w;
          total += w;
        }
      }
      out.pixels[oy * width + ox] =
          total == 0 ? colour : RGB(static_cast<BYTE>(r / total), static_cast<BYTE>(g / total), static_cast<BYTE>(b / total));
    }
  }
  return out;
}

Image random_image(int width, int height, unsigned seed, COLORREF sprinkled = CLR_INVALID) {
  std::mt19937 random(seed);
  Image image{width, height, {}};
  for (int i = 0; i < width * height; ++i) {
    const bool sprinkle = sprinkled != CLR_INVALID && random() % 3 == 0;
    image.pixels.push_back(sprinkle ? sprinkled : random() & 0xFFFFFF);
  }
  return image;
}

HGLOBAL to_dib(const Image& image) {
  return dib24(image.width, image.height, [&](int x, int y) { return image.at(x, y); });
}

void expect_scaled(HGLOBAL scaled, const Image& expected) {
  ASSERT_NE(scaled, nullptr);
  const BITMAPINFOHEADER header = dib_header(scaled);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, expected.width);
  EXPECT_EQ(header.biHeight, expected.height);
  EXPECT_EQ(header.biBitCount, 24);
  EXPECT_EQ(header.biPlanes, 1);
  for (int y = 0; y < expected.height; ++y)
    for (int x = 0; x < expected.width; ++x)
      EXPECT_EQ(dib24_pixel(scaled, x, y), expected.at(x, y)) << "pixel " << x << "," << y;
}

struct ScaleCase {
  int source_width, source_height, width, height;
};

// Same size; reductions and enlargements below and above a factor of 2 on
// each axis; axes that go different ways.
const ScaleCase kCases[] = {{5, 4, 5, 4},   {6, 3, 4, 2},   {9, 7, 3, 2},   {4, 3, 6, 5},   {3, 2, 7, 6},
                            {10, 10, 15, 15}, {10, 10, 30, 30}, {8, 5, 3, 9}, {7, 9, 13, 4}, {17, 3, 11, 5}};

TEST_F(Scaler, EveryPixelIsTheCoverageWeightedMeanOfTheSourceUnderIt) {
  unsigned seed = 1;
  for (const ScaleCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.source_width << "x" << c.source_height << " to " << c.width << "x" << c.height);
    const Image source = random_image(c.source_width, c.source_height, seed++);
    const HGLOBAL dib = to_dib(source);
    const HGLOBAL scaled = GU_AvgScaleDIB(dib, c.width, c.height);
    expect_scaled(scaled, reference_scale(source, c.width, c.height, false, 0));
    GlobalFree(scaled);
    GlobalFree(dib);
  }
}

TEST_F(Scaler, TransparentPixelsStayOutOfTheAverages) {
  const COLORREF magenta = RGB(0xFF, 0, 0xFF);
  unsigned seed = 100;
  for (const ScaleCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.source_width << "x" << c.source_height << " to " << c.width << "x" << c.height);
    const Image source = random_image(c.source_width, c.source_height, seed++, magenta);
    const HGLOBAL dib = to_dib(source);
    const HGLOBAL scaled = GU_AvgScaleDIBTransparent(dib, c.width, c.height, magenta);
    expect_scaled(scaled, reference_scale(source, c.width, c.height, true, magenta));
    GlobalFree(scaled);
    GlobalFree(dib);
  }
}

TEST_F(Scaler, SmallCasesWorkedByHand) {
  // 3 x 1 to 2 x 1 across: 8 sub-steps a pixel, 12 to an output pixel:
  // (0*8 + 90*4) / 12 = 30 and (90*4 + 180*8) / 12 = 150.
  HGLOBAL dib = dib24(3, 1, [](int x, int) { return RGB(90 * x, 0, 0); });
  HGLOBAL scaled = GU_AvgScaleDIB(dib, 2, 1);
  ASSERT_NE(scaled, nullptr);
  EXPECT_EQ(dib24_pixel(scaled, 0, 0), RGB(30, 0, 0));
  EXPECT_EQ(dib24_pixel(scaled, 1, 0), RGB(150, 0, 0));
  GlobalFree(scaled);
  GlobalFree(dib);

  // 2 x 2 to 1 x 1 with one transparent pixel: the mean of the other three,
  // truncated: (10 + 20 + 31) / 3 = 20. All four transparent: the colour.
  const COLORREF key = RGB(1, 2, 3);
  dib = dib24(2, 2, [&](int x, int y) { return x == 0 && y == 0 ? key : RGB(0, 0, x == 1 && y == 0 ? 10 : x == 0 ? 20 : 31); });
  scaled = GU_AvgScaleDIBTransparent(dib, 1, 1, key);
  EXPECT_EQ(dib24_pixel(scaled, 0, 0), RGB(0, 0, 20));
  GlobalFree(scaled);
  GlobalFree(dib);
  dib = dib24(2, 2, [&](int, int) { return key; });
  scaled = GU_AvgScaleDIBTransparent(dib, 1, 1, key);
  EXPECT_EQ(dib24_pixel(scaled, 0, 0), key);
  GlobalFree(scaled);
  GlobalFree(dib);
}

TEST_F(Scaler, LargeReductionsDoNotOverflowTheirSums) {
  // 1000 x 300 to 1 x 1: a weight of 300,000 for the one output pixel, far
  // beyond 16-bit sums. Left half white, right half grey 100.
  const HGLOBAL dib = dib24(1000, 300, [](int x, int) { return x < 500 ? RGB(255, 255, 255) : RGB(100, 100, 100); });
  const HGLOBAL scaled = GU_AvgScaleDIB(dib, 1, 1);
  ASSERT_NE(scaled, nullptr);
  EXPECT_EQ(dib24_pixel(scaled, 0, 0), RGB(177, 177, 177));  // (255 + 100) / 2, truncated
  GlobalFree(scaled);
  GlobalFree(dib);
}

TEST_F(Scaler, ACopyAtTheSameSizeIsIdentical) {
  const Image source = random_image(7, 5, 9);
  const HGLOBAL dib = to_dib(source);
  const HGLOBAL scaled = GU_LocalAvgScaleDIB(dib, 7, 5, 0);
  expect_scaled(scaled, source);
  GlobalFree(scaled);
  GlobalFree(dib);
}

TEST_F(Scaler, RefusesWhatItCannotScale) {
  const HGLOBAL dib = dib24(4, 4, [](int, int) { return RGB(1, 2, 3); });
  EXPECT_EQ(GU_AvgScaleDIB(dib, GU_MAX_SCALED_WIDTH, 4), nullptr);
  EXPECT_EQ(GU_AvgScaleDIB(dib, 0, 4), nullptr);
  EXPECT_EQ(GU_AvgScaleDIB(dib, 4, -1), nullptr);
  EXPECT_EQ(GU_AvgScaleDIB(nullptr, 2, 2), nullptr);

  // An 8-bit DIB.
  const HGLOBAL indexed = GlobalAlloc(GHND, 40 + 256 * 4 + 4 * 4);
  const BITMAPINFOHEADER header8 = utiltest::info_header(4, 4, 8);
  std::memcpy(GlobalLock(indexed), &header8, sizeof header8);
  GlobalUnlock(indexed);
  EXPECT_EQ(GU_AvgScaleDIB(indexed, 2, 2), nullptr);
  GlobalFree(indexed);

  // A block shorter than its header says: one row missing.
  const HGLOBAL short_block = GlobalAlloc(GHND, 40 + 12 * 3);
  const BITMAPINFOHEADER header24 = utiltest::info_header(4, 4, 24);
  std::memcpy(GlobalLock(short_block), &header24, sizeof header24);
  GlobalUnlock(short_block);
  EXPECT_EQ(GU_AvgScaleDIB(short_block, 2, 2), nullptr);
  GlobalFree(short_block);
  GlobalFree(dib);
}

TEST_F(Scaler, CreateBitmapSizesTheBlockForRowsColoursAndHeader) {
  const struct {
    int32_t width, height;
    uint16_t bits;
    SIZE_T bytes;
  } cases[] = {{10, 3, 24, 32 * 3 + 72}, {10, 3, 8, 12 * 3 + 1024 + 72}, {10, 3, 4, 8 * 3 + 64 + 72},
               {33, 2, 1, 8 * 2 + 72}};
  for (const auto& c : cases) {
    const HGLOBAL block = SCL_CreateBitmap(c.width, c.height, c.bits);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), c.bytes) << c.width << "x" << c.height << "x" << c.bits;
    GlobalFree(block);
  }
  EXPECT_EQ(SCL_CreateBitmap(0, 3, 24), nullptr);
}

}  // namespace
