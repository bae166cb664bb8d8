// Natural cubic splines: the second derivatives checked against the
// spline's own defining equations, the cubic between knots against
// polynomials it must reproduce, and resampling against closed forms.
#include <cmath>
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
  ASSERT_EQ(out->rows, 1u);
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

}  // namespace
