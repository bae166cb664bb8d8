// Derivatives and smoothing against scipy's Savitzky-Golay filter (the
// fixture and the script that made it sit beside this file), the tabulated
// coefficients against scipy's, the determinant against cofactor expansion,
// and the function application and resampling entries.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"
#include "array/smoothing_reference_values.h"
#include "chemometrics/chemometrics.h"

namespace {

using namespace arraytest;
namespace ref = smoothing_reference;

class ArrayDerivatives : public ArrayTest {
 protected:
  static AP4_ARRAY* of(uint32_t rows, uint32_t columns, const std::vector<float>& data) {
    AP4_ARRAY* array = make(rows, columns);
    std::copy(data.begin(), data.end(), ap4a_GetDataAddress(array));
    return array;
  }
  static AP4_ARRAY* reference_row(uint32_t rows = 1) {
    std::vector<float> data;
    for (uint32_t r = 0; r < rows; ++r)
      for (double v : ref::signal) data.push_back(static_cast<float>(v + 10.0 * r));
    return of(rows, ref::points, data);
  }
  static AP4_ARRAY* derivative(uint16_t message, AP4_ARRAY* array, AP4_RANGE range, float h) {
    AP4_DERIVATIVEPARM parameter{range, h};
    return ap_result_object<AP4_ARRAY>(send(message, array, &parameter));
  }
  static AP4_ARRAY* smooth(AP4_ARRAY* array, AP4_RANGE range, int32_t window) {
    AP4_SMOOTHPARM parameter{range, window};
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_SG_SMOOTH, array, &parameter));
  }
  static int32_t determinant_message(AP4_ARRAY* array) {
    return static_cast<int32_t>(send(AP4_MSG_DETERMINANT, array));
  }
};

constexpr AP4_RANGE kWhole = AP4_WHOLE_RANGE;

TEST_F(ArrayDerivatives, FirstDerivativeRepeatsItsInnerNeighboursAtTheEdges) {
  AP4_ARRAY* squares = of(1, 5, {0, 1, 4, 9, 16});
  AP4_ARRAY* d = derivative(AP4_MSG_DERIVATIVE, squares, kWhole, 1.0f);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(values(d), (std::vector<float>{2, 2, 4, 6, 6}));
  // Inside the row the range's own ends have neighbours to difference with.
  AP4_ARRAY* inner = derivative(AP4_MSG_DERIVATIVE, squares, AP4_RANGE{{0, 1}, {0, 2}}, 0.5f);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(values(inner), (std::vector<float>{4, 8}));
  for (AP4_ARRAY* x : {squares, d, inner}) destroy(x);
}

TEST_F(ArrayDerivatives, DerivativesMatchCentralDifferencesOfTheReferenceSignal) {
  AP4_ARRAY* row = reference_row();
  AP4_ARRAY* first = derivative(AP4_MSG_DERIVATIVE, row, kWhole, ref::spacing);
  AP4_ARRAY* second = derivative(AP4_MSG_SECOND_DERIVATIVE, row, kWhole, ref::spacing);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const std::vector<float> d1 = values(first);
  const std::vector<float> d2 = values(second);
  ASSERT_EQ(d1.size(), ref::points);
  ASSERT_EQ(d2.size(), ref::points);
  for (uint32_t i = 1; i + 1 < ref::points; ++i) EXPECT_NEAR(d1[i], ref::first_derivative[i], 1e-5) << i;
  for (uint32_t i = 2; i + 2 < ref::points; ++i) EXPECT_NEAR(d2[i], ref::second_derivative[i], 1e-4) << i;
  const uint32_t last = ref::points - 1;
  EXPECT_EQ(d1[0], d1[1]);
  EXPECT_EQ(d1[last], d1[last - 1]);
  EXPECT_EQ(d2[0], d2[1]);
  EXPECT_EQ(d2[last], d2[last - 1]);
  for (AP4_ARRAY* x : {row, first, second}) destroy(x);
}

TEST_F(ArrayDerivatives, SecondDerivativeOfAnInnerRangeUsesTheNeighboursOutsideIt) {
  AP4_ARRAY* row = reference_row();
  AP4_ARRAY* part = derivative(AP4_MSG_SECOND_DERIVATIVE, row, AP4_RANGE{{0, 10}, {0, 19}}, ref::spacing);
  ASSERT_NE(part, nullptr);
  const std::vector<float> d2 = values(part);
  ASSERT_EQ(d2.size(), 10u);
  for (uint32_t i = 0; i < 10; ++i) EXPECT_NEAR(d2[i], ref::second_derivative[10 + i], 1e-4) << i;
  destroy(part);
  destroy(row);
}

TEST_F(ArrayDerivatives, DerivativeRowsAreTakenOneByOneAndMissingValuesSpread) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* rows = of(2, 5, {0, 1, 2, 3, 4, 0, nan, 4, 6, 8});
  AP4_ARRAY* d = derivative(AP4_MSG_DERIVATIVE, rows, kWhole, 1.0f);
  ASSERT_NE(d, nullptr);
  const Grid g = grid_of(d);
  EXPECT_EQ(g[0], (std::vector<float>{1, 1, 1, 1, 1}));
  // Column 1 differences its neighbours (4 - 0); column 2 differences the
  // missing value.
  EXPECT_EQ(g[1][0], 2.0f);
  EXPECT_EQ(g[1][1], 2.0f);
  EXPECT_TRUE(std::isnan(g[1][2]));
  EXPECT_EQ(g[1][3], 2.0f);
  EXPECT_EQ(g[1][4], 2.0f);
  destroy(d);
  destroy(rows);
}

TEST_F(ArrayDerivatives, DerivativesRefuseASpacingOfZeroAndShortRows) {
  AP4_ARRAY* row = of(1, 5, {0, 1, 4, 9, 16});
  AP4_ARRAY* short_row = of(1, 3, {0, 1, 4});
  const float denormal = 1e-40f;
  for (uint16_t message : {AP4_MSG_DERIVATIVE, AP4_MSG_SECOND_DERIVATIVE}) {
    for (float h : {0.0f, -0.0f, denormal, NAN, INFINITY})
      EXPECT_EQ(derivative(message, row, kWhole, h), nullptr) << message << " " << h;
    EXPECT_EQ(derivative(message, short_row, kWhole, 1.0f), nullptr) << message;
    EXPECT_EQ(derivative(message, row, AP4_RANGE{{0, 0}, {0, 5}}, 1.0f), nullptr) << message;
  }
  EXPECT_EQ(values(row), (std::vector<float>{0, 1, 4, 9, 16}));
  destroy(row);
  destroy(short_row);
}

TEST_F(ArrayDerivatives, TabulatedCoefficientsAreScipysQuadraticSmoothing) {
  const double* expected = ref::coefficients;
  for (int32_t window = 5; window <= 25; window += 2) {
    std::vector<float> buffer(window, -1.0f);
    ASSERT_EQ(ap4c_SGSmoothTabulated(buffer.data(), window), 1) << window;
    for (int32_t i = 0; i < window; ++i) EXPECT_NEAR(buffer[i], expected[i], 1e-7) << window << " " << i;
    expected += window;
  }
  float untouched[27] = {};
  for (int32_t window : {3, 4, 6, 24, 27, -5}) {
    EXPECT_EQ(ap4c_SGSmoothTabulated(untouched, window), 0) << window;
    for (float value : untouched) EXPECT_EQ(value, 0.0f);
  }
  EXPECT_EQ(ap4c_SGSmoothTabulated(nullptr, 5), 0);
}

TEST_F(ArrayDerivatives, SmoothingMatchesScipyWithWindowsNarrowingAtTheEnds) {
  struct Case {
    int32_t window;
    const double* expected;
  };
  for (const Case& c : {Case{7, ref::smoothed_7}, Case{25, ref::smoothed_25}}) {
    AP4_ARRAY* rows = reference_row(2);
    AP4_ARRAY* smoothed = smooth(rows, kWhole, c.window);
    ASSERT_NE(smoothed, nullptr) << c.window;
    const Grid g = grid_of(smoothed);
    ASSERT_EQ(g.size(), 2u);
    for (uint32_t i = 0; i < ref::points; ++i) {
      EXPECT_NEAR(g[0][i], c.expected[i], 2e-6) << c.window << " " << i;
      // Coefficients sum to 1, so a row lifted by 10 is smoothed 10 higher.
      EXPECT_NEAR(g[1][i], c.expected[i] + 10.0, 2e-5) << c.window << " " << i;
    }
    destroy(smoothed);
    destroy(rows);
  }
}

TEST_F(ArrayDerivatives, SmoothingOfARangeKeepsTheRowsOwnEdges) {
  AP4_ARRAY* row = reference_row();
  AP4_ARRAY* part = smooth(row, AP4_RANGE{{0, 1}, {0, 14}}, 7);
  ASSERT_NE(part, nullptr);
  const std::vector<float> got = values(part);
  ASSERT_EQ(got.size(), 14u);
  for (uint32_t i = 0; i < 14; ++i) EXPECT_NEAR(got[i], ref::smoothed_7[1 + i], 2e-6) << i;
  destroy(part);
  destroy(row);
}

TEST_F(ArrayDerivatives, SmoothingReproducesACubicAndSpreadsMissingValues) {
  std::vector<float> cubic(30);
  for (int i = 0; i < 30; ++i) cubic[i] = static_cast<float>(0.01 * i * i * i - 0.3 * i * i + 2 * i - 5);
  AP4_ARRAY* row = of(1, 30, cubic);
  AP4_ARRAY* smoothed = smooth(row, kWhole, 9);
  ASSERT_NE(smoothed, nullptr);
  const std::vector<float> got = values(smoothed);
  // Where the window is 5 points or more it fits the cubic exactly; the
  // three-point means and the copied ends are not fits.
  for (int i = 2; i < 28; ++i) EXPECT_NEAR(got[i], cubic[i], 1e-4) << i;
  destroy(smoothed);
  ap4a_GetDataAddress(row)[15] = AP1_GetNaNSG_MATH();
  smoothed = smooth(row, kWhole, 9);
  const std::vector<float> holed = values(smoothed);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(std::isnan(holed[i]), i >= 11 && i <= 19) << i;
  destroy(smoothed);
  destroy(row);
}

TEST_F(ArrayDerivatives, SmoothingRefusesWindowsOutsideFiveToTwentyFiveAndLateStarts) {
  AP4_ARRAY* row = reference_row();
  for (int32_t window : {3, 4, 6, 27, 0, -7}) EXPECT_EQ(smooth(row, kWhole, window), nullptr) << window;
  // Start column + window may reach columns - 1 but not pass it.
  AP4_ARRAY* latest = smooth(row, AP4_RANGE{{0, 32}, {0, 39}}, 7);
  EXPECT_NE(latest, nullptr);
  EXPECT_EQ(smooth(row, AP4_RANGE{{0, 33}, {0, 39}}, 7), nullptr);
  EXPECT_EQ(smooth(row, AP4_RANGE{{0, 0}, {1, 39}}, 7), nullptr);
  destroy(latest);
  destroy(row);
}

TEST_F(ArrayDerivatives, DeterminantAgreesWithCofactorExpansion) {
  struct Case {
    uint32_t n;
    std::vector<float> a;
    float expected;
  };
  const Case cases[] = {
      {2, {1, 2, 3, 4}, -2.0f},
      {2, {0, 1, 1, 0}, -1.0f},
      {3, {2, -1, 0, -1, 2, -1, 0, -1, 2}, 4.0f},
      // 1(5·10 − 6·8) − 2(4·10 − 6·7) + 3(4·8 − 5·7)
      {3, {1, 2, 3, 4, 5, 6, 7, 8, 10}, -3.0f},
      {4, {3, 0, 0, 0, 0, 2, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0.5f}, 15.0f},
      {1, {-7}, -7.0f},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* a = of(c.n, c.n, c.a);
    EXPECT_NEAR(ap4b_Determinant(a), c.expected, 1e-5f * std::fabs(c.expected)) << c.n;
    destroy(a);
  }
}

TEST_F(ArrayDerivatives, SingularMatricesGiveZeroNotAMissingValue) {
  const std::vector<float> singular[] = {{1, 2, 2, 4}, {0, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 0, 1, 0, 0, 2, 0, 0, 3}};
  for (const std::vector<float>& a : singular) {
    const auto n = static_cast<uint32_t>(std::lround(std::sqrt(a.size())));
    AP4_ARRAY* array = of(n, n, a);
    const float d = ap4b_Determinant(array);
    EXPECT_FALSE(std::isnan(d));
    EXPECT_NEAR(d, 0.0f, 1e-5f);
    EXPECT_EQ(determinant_message(array), 0);
    destroy(array);
  }
}

TEST_F(ArrayDerivatives, DeterminantMessageTruncatesTowardZero) {
  AP4_ARRAY* positive = of(2, 2, {2.75f, 0, 0, 1});
  AP4_ARRAY* negative = of(2, 2, {-2.75f, 0, 0, 1});
  AP4_ARRAY* wide = make_filled(2, 3);
  EXPECT_EQ(determinant_message(positive), 2);
  EXPECT_EQ(determinant_message(negative), -2);
  EXPECT_EQ(ap4b_Determinant(wide), 1.0f);
  EXPECT_EQ(determinant_message(wide), 1);
  // The elimination works on a copy.
  EXPECT_EQ(values(negative), (std::vector<float>{-2.75f, 0, 0, 1}));
  for (AP4_ARRAY* x : {positive, negative, wide}) destroy(x);
}

TEST_F(ArrayDerivatives, FunctionIsAppliedToEachElementOfTheRangeInOneChange) {
  AP4_ARRAY* a = of(2, 3, {1, 2, 3, 4, 5, 6});
  NoticeCounter counter;
  watch(a, counter);
  AP4_APPLYPARM square{AP4_RANGE{{0, 1}, {1, 2}}, AP1_Square_MATH};
  EXPECT_EQ(send(AP4_MSG_APPLY_FUNCTION, a, &square), 1u);
  EXPECT_EQ(values(a), (std::vector<float>{1, 4, 9, 4, 25, 36}));
  EXPECT_EQ(counter.changes, 1);
  AP4_APPLYPARM missing{kWhole, nullptr};
  AP4_APPLYPARM outside{AP4_RANGE{{0, 0}, {2, 0}}, AP1_Square_MATH};
  EXPECT_EQ(send(AP4_MSG_APPLY_FUNCTION, a, &missing), 0u);
  EXPECT_EQ(send(AP4_MSG_APPLY_FUNCTION, a, &outside), 0u);
  EXPECT_EQ(values(a), (std::vector<float>{1, 4, 9, 4, 25, 36}));
  EXPECT_EQ(counter.changes, 1);
  destroy(a);
}

TEST_F(ArrayDerivatives, RangeTransformResamplesRowsBySplineAndGridsBicubically) {
  // A straight row resampled at half steps stays on its line.
  AP4_ARRAY* row = of(1, 6, {1, 3, 5, 7, 9, 11});
  AP4_TRANSFORMPARM along{{0.0f, 1.0f, 0.5f, 0.5f}, 8, {}, 0};
  AP4_ARRAY* resampled = ap_result_object<AP4_ARRAY>(send(AP4_MSG_RANGE_TRANSFORM, row, &along));
  ASSERT_NE(resampled, nullptr);
  const std::vector<float> line = values(resampled);
  ASSERT_EQ(line.size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(line[i], 1 + 2 * (0.5f + 0.5f * i), 1e-5) << i;
  // A plane v(r, c) = 1 + 2r + 3c on a 5 × 5 grid, read at (x, y) in grid units.
  std::vector<float> plane;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) plane.push_back(static_cast<float>(1 + 2 * r + 3 * c));
  AP4_ARRAY* grid = of(5, 5, plane);
  AP4_TRANSFORMPARM across{{0.0f, 1.0f, 0.5f, 1.5f}, 3, {0.0f, 1.0f, 0.25f, 2.0f}, 2};
  AP4_ARRAY* sampled = ap_result_object<AP4_ARRAY>(send(AP4_MSG_RANGE_TRANSFORM, grid, &across));
  ASSERT_NE(sampled, nullptr);
  const Grid g = grid_of(sampled);
  ASSERT_EQ(g.size(), 3u);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_NEAR(g[i][j], 1 + 2 * (0.5 + 1.5 * i) + 3 * (0.25 + 2.0 * j), 1e-4);
  // A spacing of 0 is refused by either kernel.
  AP4_TRANSFORMPARM flat{{0.0f, 0.0f, 0.0f, 1.0f}, 4, {0.0f, 0.0f, 0.0f, 1.0f}, 4};
  EXPECT_EQ(send(AP4_MSG_RANGE_TRANSFORM, row, &flat), 0u);
  EXPECT_EQ(send(AP4_MSG_RANGE_TRANSFORM, grid, &flat), 0u);
  for (AP4_ARRAY* x : {row, resampled, grid, sampled}) destroy(x);
}

TEST_F(ArrayDerivatives, RotationMovesTheFirstValuesToTheEnd) {
  AP4_ARRAY* row = of(1, 5, {1, 2, 3, 4, 5});
  EXPECT_EQ(ap4c_PrepareFFTBuffer(row, 2), 1);
  EXPECT_EQ(values(row), (std::vector<float>{3, 4, 5, 1, 2}));
  EXPECT_EQ(ap4c_PrepareFFTBuffer(row, 0), 1);
  EXPECT_EQ(ap4c_PrepareFFTBuffer(row, 5), 1);
  EXPECT_EQ(values(row), (std::vector<float>{3, 4, 5, 1, 2}));
  EXPECT_EQ(ap4c_PrepareFFTBuffer(row, 6), 0);
  AP4_ARRAY* two_rows = make_filled(2, 5);
  EXPECT_EQ(ap4c_PrepareFFTBuffer(two_rows, 1), 0);
  EXPECT_EQ(grid_of(two_rows), filled_grid(2, 5));
  destroy(row);
  destroy(two_rows);
}

}  // namespace
