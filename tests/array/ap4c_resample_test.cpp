// The resampling kernels. Natural cubic splines: the second derivatives
// checked against the spline's own defining equations, the cubic between
// knots against polynomials it must reproduce, and resampling against closed
// forms. Bicubic interpolation: the coefficients against a bicubic whose
// corner derivatives are worked out in the test, and resampling of planes
// and of an array onto its own grid.
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"

namespace {

using namespace arraytest;

class Splines : public ArrayTest {
 protected:
  // A one-row array of the given values; deleted with the fixture.
  AP4_ARRAY* row_of(const std::vector<float>& row) {
    AP4_ARRAY* array = keep(make(1, static_cast<uint32_t>(row.size())));
    float* data = ap4a_GetDataAddress(array);
    for (size_t i = 0; i < row.size(); ++i) data[i] = row[i];
    return array;
  }
  AP4_ARRAY* keep(AP4_ARRAY* array) {
    if (array != nullptr) made_.push_back(array);
    return array;
  }
  void TearDown() override {
    for (AP4_ARRAY* array : made_) destroy(array);
    ArrayTest::TearDown();
  }
  std::vector<float> second_derivatives(const AP4_ARRAY* array, float dx) {
    AP4_ARRAY* d2 = keep(ap4c_SplineSecondDerivatives(array, AP4_CELL{0, 0},
                                                      AP4_CELL{0, static_cast<int32_t>(array->columns) - 1}, dx));
    return d2 == nullptr ? std::vector<float>{} : values(d2);
  }

 private:
  std::vector<AP4_ARRAY*> made_;
};

const float kMissing = AP1_GetNaNSG_MATH();

TEST_F(Splines, SecondDerivativesSatisfyTheNaturalSplineEquations) {
  // d2[i-1] + 4 d2[i] + d2[i+1] = 6 (y[i+1] - 2 y[i] + y[i-1]) / dx^2, ends 0.
  const std::vector<float> y = {1.0f, 3.0f, -2.0f, 0.5f, 4.0f, 4.5f, -1.0f, 2.0f};
  const float dx = 0.5f;
  const std::vector<float> d2 = second_derivatives(row_of(y), dx);
  ASSERT_EQ(d2.size(), y.size());
  EXPECT_EQ(d2.front(), 0.0f);
  EXPECT_EQ(d2.back(), 0.0f);
  for (size_t i = 1; i + 1 < y.size(); ++i) {
    const double rhs = 6.0 * (double{y[i + 1]} - 2.0 * y[i] + y[i - 1]) / (dx * dx);
    EXPECT_NEAR(d2[i - 1] + 4.0 * d2[i] + d2[i + 1], rhs, 1e-4 * std::abs(rhs) + 1e-4) << i;
  }
}

TEST_F(Splines, PointsOnALineHaveNoCurvature) {
  EXPECT_EQ(second_derivatives(row_of({2.0f, 2.5f, 3.0f, 3.5f, 4.0f}), 0.25f), std::vector<float>(5, 0.0f));
}

TEST_F(Splines, AMissingValueZeroesTheCurvatureAroundIt) {
  const std::vector<float> d2 = second_derivatives(row_of({0, 1, 4, 9, kMissing, 25, 36, 49, 64}), 1.0f);
  ASSERT_EQ(d2.size(), 9u);
  EXPECT_EQ(d2[3], 0.0f);
  EXPECT_EQ(d2[4], 0.0f);
  EXPECT_EQ(d2[5], 0.0f);
  EXPECT_NE(d2[2], 0.0f);
}

TEST_F(Splines, SecondDerivativesRefuseShortRowsAZeroSpacingAndBadRanges) {
  AP4_ARRAY* two = row_of({1, 2});
  EXPECT_EQ(ap4c_SplineSecondDerivatives(two, AP4_CELL{-1, -1}, AP4_CELL{0, 0}, 1.0f), nullptr);
  AP4_ARRAY* five = row_of({1, 2, 3, 4, 5});
  EXPECT_EQ(ap4c_SplineSecondDerivatives(five, AP4_CELL{-1, -1}, AP4_CELL{0, 0}, 0.0f), nullptr);
  EXPECT_EQ(ap4c_SplineSecondDerivatives(five, AP4_CELL{0, 3}, AP4_CELL{0, 4}, 1.0f), nullptr);
  EXPECT_EQ(ap4c_SplineSecondDerivatives(five, AP4_CELL{0, 0}, AP4_CELL{0, 5}, 1.0f), nullptr);
}

TEST_F(Splines, SecondDerivativesOfASubRangeUseOnlyItsCells) {
  // The middle three of a row: one interior knot, y'' = 6 (8 - 2·5 + 1) / 1 / 4.
  AP4_ARRAY* array = row_of({100, 1, 5, 8, -100});
  AP4_ARRAY* d2 = keep(ap4c_SplineSecondDerivatives(array, AP4_CELL{0, 1}, AP4_CELL{0, 3}, 1.0f));
  ASSERT_NE(d2, nullptr);
  EXPECT_EQ(values(d2), (std::vector<float>{0.0f, -1.5f, 0.0f}));
}

TEST(SplineEvaluate, ReproducesACubicFromItsExactSecondDerivatives) {
  // y = x^3, y'' = 6x, between the knots 1 and 2.
  for (const float x : {1.0f, 1.25f, 1.5f, 1.9f, 2.0f, 2.5f}) {
    EXPECT_NEAR(ap4c_SplineEvaluate(x, 1.0f, 2.0f, 1.0f, 8.0f, 6.0f, 12.0f), double{x} * x * x, 1e-5) << x;
  }
}

TEST(SplineEvaluate, CoincidingKnotsGiveTheMissingValue) {
  EXPECT_TRUE(ap1_is_missing(ap4c_SplineEvaluate(1.0f, 2.0f, 2.0f, 1.0f, 3.0f, 0.0f, 0.0f)));
}

TEST_F(Splines, ResamplingALineGivesTheLineEvenBeyondTheLastKnot) {
  // y = 3 + 2x on x = 10, 10.5, ..., 12.
  AP4_ARRAY* line = row_of({23, 24, 25, 26, 27});
  AP4_ARRAY* out = keep(ap4c_SplineResampleRow(line, 10.0f, 0.5f, 10.25f, 0.75f, 5));
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(packed(out->rows), 1u);
  const std::vector<float> got = values(out);
  ASSERT_EQ(got.size(), 5u);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], 3 + 2 * (10.25 + 0.75 * i), 1e-4) << i;
}

TEST_F(Splines, ResamplingASmoothCurveFollowsIt) {
  std::vector<float> y(65);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(std::sin(0.1 * i));
  AP4_ARRAY* out = keep(ap4c_SplineResampleRow(row_of(y), 0.0f, 0.1f, 1.0f, 0.037f, 100));
  ASSERT_NE(out, nullptr);
  const std::vector<float> got = values(out);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], std::sin(1.0 + 0.037 * i), 1e-4) << i;
}

TEST_F(Splines, ResampledPointsBesideAMissingValueAreMissing) {
  AP4_ARRAY* out = keep(ap4c_SplineResampleRow(row_of({0, 1, 2, kMissing, 4, 5, 6}), 0.0f, 1.0f, 0.5f, 1.0f, 6));
  ASSERT_NE(out, nullptr);
  const std::vector<float> got = values(out);
  const bool expect_missing[6] = {false, false, true, true, false, false};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(ap1_is_missing(got[i]), expect_missing[i]) << i;
  EXPECT_NEAR(got[0], 0.5, 1e-6);
  EXPECT_NEAR(got[5], 5.5, 1e-6);
}

TEST_F(Splines, ResamplingRefusesWhatItCannotDo) {
  AP4_ARRAY* row = row_of({1, 2, 3, 4});
  EXPECT_EQ(ap4c_SplineResampleRow(row, 1.0f, 1.0f, 0.5f, 1.0f, 3), nullptr);  // starts before x0
  EXPECT_EQ(ap4c_SplineResampleRow(row, 1.0f, 0.0f, 1.0f, 1.0f, 3), nullptr);  // no spacing
  EXPECT_EQ(ap4c_SplineResampleRow(row, 1.0f, 1.0f, 1.0f, 1.0f, 0), nullptr);  // no points
  EXPECT_EQ(ap4c_SplineResampleRow(row_of({1, 2}), 0.0f, 1.0f, 0.0f, 1.0f, 3), nullptr);
  AP4_ARRAY* two_rows = keep(make(2, 4));
  EXPECT_EQ(ap4c_SplineResampleRow(two_rows, 0.0f, 1.0f, 0.0f, 1.0f, 3), nullptr);
  EXPECT_EQ(ap4c_SplineResampleRow(nullptr, 0.0f, 1.0f, 0.0f, 1.0f, 3), nullptr);
}

// Bicubic resampling works on arrays of any shape.
class Bicubic : public Splines {
 protected:
  AP4_ARRAY* grid(uint32_t rows, uint32_t columns, float (*value)(uint32_t, uint32_t)) {
    AP4_ARRAY* array = keep(make(rows, columns));
    float* data = ap4a_GetDataAddress(array);
    for (uint32_t r = 0; r < rows; ++r)
      for (uint32_t c = 0; c < columns; ++c) data[r * columns + c] = value(r, c);
    return array;
  }
};

float plane(uint32_t r, uint32_t c) { return 2.0f + 0.5f * r - 1.25f * c; }

TEST(BicubicCoefficients, RecoverABicubicFromItsCornerValuesAndDerivatives) {
  // f(t, u) = sum k[a][b] t^a u^b with small integers, so single precision is exact.
  const float k[16] = {1, -2, 3, 1, 0, 2, -1, 1, 4, 0, 1, -3, -1, 2, 0, 1};
  const auto f = [&](int dt, int du, float t, float u) {
    double sum = 0;
    for (int a = dt; a < 4; ++a)
      for (int b = du; b < 4; ++b) {
        const double ta = (dt == 0 ? 1 : a) * std::pow(t, a - dt);
        const double ub = (du == 0 ? 1 : b) * std::pow(u, b - du);
        sum += k[4 * a + b] * ta * ub;
      }
    return static_cast<float>(sum);
  };
  const float corner_t[4] = {0, 1, 1, 0};
  const float corner_u[4] = {0, 0, 1, 1};
  float value[4], gx[4], gy[4], gxy[4];
  for (int i = 0; i < 4; ++i) {
    value[i] = f(0, 0, corner_t[i], corner_u[i]);
    gx[i] = f(1, 0, corner_t[i], corner_u[i]);
    gy[i] = f(0, 1, corner_t[i], corner_u[i]);
    gxy[i] = f(1, 1, corner_t[i], corner_u[i]);
  }
  float c[16];
  ap4c_BicubicCoefficients(value, gx, gy, gxy, c);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(c[i], k[i]) << i;
}

TEST(BicubicCornerDerivatives, AreCentralDifferencesInGridSteps) {
  // v(r, c) = r^2 + 3 c + r c on a 4 × 4 grid: at (1, 1) the central
  // differences are 2r + c = 3, 3 + r = 4 and 1.
  float v[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) v[4 * r + c] = static_cast<float>(r * r + 3 * c + r * c);
  const float* const corner[4] = {&v[5], &v[9], &v[10], &v[6]};
  float gx[4], gy[4], gxy[4];
  ap4c_BicubicCornerDerivatives(corner, 4, gx, gy, gxy);
  const float expected_gx[4] = {3, 5, 6, 4};
  const float expected_gy[4] = {4, 5, 5, 4};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(gx[i], expected_gx[i]) << i;
    EXPECT_EQ(gy[i], expected_gy[i]) << i;
    EXPECT_EQ(gxy[i], 1.0f) << i;
  }
}

TEST_F(Bicubic, ReproducesAPlaneEverywhereWhateverTheSpacings) {
  AP4_ARRAY* array = grid(6, 7, plane);
  const float x0 = 100.0f, y0 = -3.0f, dx = 2.5f, dy = 0.2f;
  // Starts at the first element and ends in the last cells, extended.
  const float new_dx = 0.7f, new_dy = 0.09f;
  const int32_t n = 21, m = 15;
  AP4_ARRAY* out = keep(ap4c_BicubicResample(array, x0, y0, dx, dy, x0, y0, new_dx, new_dy, n, m));
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(packed(out->rows), 21u);
  ASSERT_EQ(packed(out->columns), 15u);
  const Grid got = grid_of(out);
  for (int32_t r = 0; r < n; ++r)
    for (int32_t c = 0; c < m; ++c) {
      const double row_steps = (r * new_dx) / dx;
      const double column_steps = (c * new_dy) / dy;
      EXPECT_NEAR(got[r][c], 2.0 + 0.5 * row_steps - 1.25 * column_steps, 2e-5) << r << ", " << c;
    }
}

TEST_F(Bicubic, ResamplingOntoItsOwnGridReturnsTheInteriorElements) {
  std::mt19937 generator(7);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  AP4_ARRAY* array = keep(make(6, 5));
  float* data = ap4a_GetDataAddress(array);
  for (uint32_t i = 0; i < 30; ++i) data[i] = uniform(generator);
  AP4_ARRAY* out = keep(ap4c_BicubicResample(array, 1.0f, 2.0f, 0.5f, 4.0f, 1.0f, 2.0f, 0.5f, 4.0f, 6, 5));
  ASSERT_NE(out, nullptr);
  const Grid before = grid_of(array);
  const Grid after = grid_of(out);
  for (uint32_t r = 1; r + 1 < 6; ++r)
    for (uint32_t c = 1; c + 1 < 5; ++c) EXPECT_NEAR(after[r][c], before[r][c], 1e-6) << r << ", " << c;
}

TEST_F(Bicubic, RefusesWhatItCannotDo) {
  AP4_ARRAY* small = grid(3, 5, plane);
  EXPECT_EQ(ap4c_BicubicResample(small, 0, 0, 1, 1, 0, 0, 1, 1, 2, 2), nullptr);  // 3 rows
  AP4_ARRAY* array = grid(5, 5, plane);
  EXPECT_EQ(ap4c_BicubicResample(array, 0, 0, 1, 1, 0, 0, 1, 1, 6, 2), nullptr);   // beyond the rows
  EXPECT_EQ(ap4c_BicubicResample(array, 0, 0, 1, 1, 0, 0, 1, 1, 2, 6), nullptr);   // beyond the columns
  EXPECT_EQ(ap4c_BicubicResample(array, 0, 0, 1, 1, -1, 0, 1, 1, 2, 2), nullptr);  // before x0
  EXPECT_EQ(ap4c_BicubicResample(array, 0, 0, 1, 1, 0, -1, 1, 1, 2, 2), nullptr);  // before y0
  EXPECT_EQ(ap4c_BicubicResample(array, 0, 0, 0, 1, 0, 0, 1, 1, 2, 2), nullptr);   // no spacing
  EXPECT_EQ(ap4c_BicubicResample(array, 0, 0, 1, 1, 0, 0, 1, 1, 0, 2), nullptr);   // no points
  EXPECT_EQ(ap4c_BicubicResample(nullptr, 0, 0, 1, 1, 0, 0, 1, 1, 2, 2), nullptr);
}

}  // namespace
