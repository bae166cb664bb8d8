// The quantised byte image of a range: the range resampled onto the
// image's grid, each point given its level between the limits; missing
// limits taken from the array; refusals of counts, levels and arrays the
// resampling cannot fill.
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"

namespace {

using namespace arraytest;

const float kNaN = AP1_GetNaNSG_MATH();

class ByteImage : public ArrayTest {
 protected:
  // A plane v(r, c) = r + c, which the bicubic resampling reproduces
  // exactly at the grid's points.
  static AP4_ARRAY* plane(uint32_t rows, uint32_t columns) {
    AP4_ARRAY* array = make(rows, columns);
    float* data = ap4a_GetDataAddress(array);
    for (uint32_t r = 0; r < rows; ++r)
      for (uint32_t c = 0; c < columns; ++c) data[r * columns + c] = static_cast<float>(r + c);
    return array;
  }
  static std::vector<uint8_t> image(AP4_ARRAY* array, AP4_BYTEIMAGEPARM parameter) {
    auto* block = ap_result_object<GU3_DESCRIPTOR>(send(AP4_MSG_BYTE_IMAGE, array, &parameter));
    if (block == nullptr) return {};
    const uint32_t count = static_cast<uint32_t>(parameter.rows) * static_cast<uint32_t>(parameter.columns);
    const auto* bytes = static_cast<const uint8_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
    std::vector<uint8_t> out(bytes, bytes + count);
    GU3_Free_MM(block);
    return out;
  }
};

constexpr AP4_RANGE kSixBySix{{0, 0}, {5, 5}};

TEST_F(ByteImage, EachGridPointGetsItsLevel) {
  struct Case {
    const char* what;
    float low;
    float high;
    uint16_t levels;
    float threshold;  // points at or above it get level 1
  };
  const Case cases[] = {
      {"two levels", 0.0f, 4.5f, 2, 4.5f},
      {"missing low is the array's minimum", kNaN, 4.5f, 2, 4.5f},
      {"limits above the values", 0.5f, 6.5f, 2, 6.5f},
      {"one level", 0.0f, 4.5f, 1, 1e9f},
      // No span to scale by: every point at the lowest level.
      {"equal limits", 3.0f, 3.0f, 2, 1e9f},
  };
  AP4_ARRAY* array = plane(6, 6);
  for (const Case& c : cases) {
    // Steps of (5 - 0) / 5: the grid points 0 ... 4 in both directions.
    const std::vector<uint8_t> bytes = image(array, AP4_BYTEIMAGEPARM{kSixBySix, c.low, c.high, 5, 5, c.levels});
    ASSERT_EQ(bytes.size(), 25u) << c.what;
    for (uint32_t r = 0; r < 5; ++r)
      for (uint32_t col = 0; col < 5; ++col)
        EXPECT_EQ(bytes[r * 5 + col], static_cast<float>(r + col) >= c.threshold ? 1 : 0)
            << c.what << " at " << r << ", " << col;
  }
  destroy(array);
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(ByteImage, RefusesCountsLevelsAndArraysItCannotImage) {
  AP4_ARRAY* array = plane(6, 6);
  AP4_ARRAY* row = plane(1, 20);
  struct Case {
    const char* what;
    AP4_ARRAY* on;
    AP4_BYTEIMAGEPARM parameter;
  };
  const Case cases[] = {
      {"no levels", array, {kSixBySix, 0, 4, 5, 5, 0}},
      {"three levels", array, {kSixBySix, 0, 4, 5, 5, 3}},
      {"no rows", array, {kSixBySix, 0, 4, 0, 5, 2}},
      {"negative columns", array, {kSixBySix, 0, 4, 5, -5, 2}},
      {"range outside the array", array, {AP4_RANGE{{7, 7}, {9, 9}}, 0, 4, 5, 5, 2}},
      // Resampled along its row only, it has fewer points than the image.
      {"one-row array", row, {AP4_RANGE{{0, 0}, {0, 19}}, 0, 4, 2, 10, 2}},
  };
  for (const Case& c : cases) {
    AP4_BYTEIMAGEPARM parameter = c.parameter;
    EXPECT_EQ(send(AP4_MSG_BYTE_IMAGE, c.on, &parameter), 0u) << c.what;
  }
  destroy(array);
  destroy(row);
  EXPECT_EQ(array_class().live, 0);
}

}  // namespace
