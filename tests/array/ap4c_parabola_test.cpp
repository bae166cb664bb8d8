#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"

namespace {

using namespace arraytest;

constexpr int16_t kMaximum = 1;
constexpr int16_t kMinimum = 2;

class PeakParabola : public ArrayTest {
 protected:
  static AP4_ARRAY* row_of(const std::vector<float>& row) {
    AP4_ARRAY* array = make(1, static_cast<uint32_t>(row.size()));
    std::copy(row.begin(), row.end(), ap4a_GetDataAddress(array));
    return array;
  }
  struct Refined {
    float position;
    float value;
  };
  static Refined refine(const std::vector<float>& row, int32_t column, int16_t direction, int16_t window) {
    AP4_ARRAY* array = row_of(row);
    Refined r{-1, -1};
    ap4c_RefinePeakParabola(array, 0, column, direction, window, &r.position, &r.value);
    destroy(array);
    return r;
  }
};

TEST_F(PeakParabola, FindsTheVertexOfSampledParabolas) {
  // y = 7 - 0.5 (x - 4.3)^2 at x = 0..9: every window fits it exactly.
  std::vector<float> row;
  for (int x = 0; x < 10; ++x) row.push_back(static_cast<float>(7.0 - 0.5 * (x - 4.3) * (x - 4.3)));
  for (int16_t window : {3, 5, 7}) {
    const Refined r = refine(row, 4, kMaximum, window);
    EXPECT_NEAR(r.position, 4.3, 1e-4) << window;
    EXPECT_NEAR(r.value, 7.0, 1e-4) << window;
  }
  std::vector<float> valley;
  for (float v : row) valley.push_back(-v);
  const Refined r = refine(valley, 4, kMinimum, 5);
  EXPECT_NEAR(r.position, 4.3, 1e-4);
  EXPECT_NEAR(r.value, -7.0, 1e-4);
}

// Three points: the vertex is at d = (y- - y+) / (2 (y- - 2 y0 + y+)) and
// its value y0 - (y+ - y-)^2 / (8 (y- - 2 y0 + y+)).
TEST_F(PeakParabola, ThreePointsHaveTheClosedForm) {
  std::vector<float> row;
  for (int x = 0; x < 9; ++x) row.push_back(static_cast<float>(std::exp(-0.5 * std::pow((x - 3.6) / 1.3, 2))));
  const double ym = row[3], y0 = row[4], yp = row[5];
  const double curvature = ym - 2 * y0 + yp;
  const Refined r = refine(row, 4, kMaximum, 3);
  EXPECT_NEAR(r.position, 4 + (ym - yp) / (2 * curvature), 1e-5);
  EXPECT_NEAR(r.value, y0 - (yp - ym) * (yp - ym) / (8 * curvature), 1e-6);
}

TEST_F(PeakParabola, AtTheLastColumnTheMissingPointRepeatsItsNeighbour) {
  // Pairs (-1, 3), (0, 5), (1, 5): y = 5 + x - x^2, vertex at 0.5 with 5.25.
  const Refined r = refine({0, 1, 2, 3, 5}, 4, kMaximum, 3);
  EXPECT_NEAR(r.position, 4.5, 1e-5);
  EXPECT_NEAR(r.value, 5.25, 1e-5);
}

TEST_F(PeakParabola, KeepsTheColumnWhenItCannotRefine) {
  const std::vector<float> peak{0, 2, 5, 2, 0, 1, 3};
  struct Case {
    const char* what;
    int32_t column;
    int16_t direction;
    int16_t window;
  };
  const Case cases[] = {
      {"curvature against the direction", 2, kMinimum, 3},
      {"unknown direction", 2, 0, 3},
      {"window reaching before the row", 1, kMaximum, 5},
      {"window reaching two beyond the row", 6, kMaximum, 5},
      {"window of two", 2, kMaximum, 2},
      {"no window", 2, kMaximum, 0},
  };
  for (const Case& c : cases) {
    const Refined r = refine(peak, c.column, c.direction, c.window);
    EXPECT_EQ(r.position, static_cast<float>(c.column)) << c.what;
    EXPECT_EQ(r.value, peak[static_cast<size_t>(c.column)]) << c.what;
  }
  EXPECT_EQ(APX_GetClassTable()->classes[AP9_CLASS_ID].live, 0);
  EXPECT_EQ(array_class().live, 0);
}

}  // namespace
