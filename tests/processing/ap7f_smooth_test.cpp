#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics.h"
#include "processing/processing_fixture.h"
#include "processing/smooth_references.h"

namespace {

using namespace spectrumtest;

class PointFilters : public ProcessingTest {
 protected:
  AP7_SPECTRUM* reference_spectrum() {
    namespace ref = smooth_reference;
    const float last = ref::kFirstX + ref::kSpacing * (ref::kPoints - 1);
    return keep(make_axis(ref::kFirstX, last, std::vector<float>(ref::kValues, ref::kValues + ref::kPoints)));
  }
  // Savitzky-Golay coefficients of the reference window and order.
  AP4_ARRAY* coefficients(uint32_t derivative) {
    AP4_ARRAY* receiver = keep(arraytest::make(1, 1));
    return keep(AP4_SGCoefficients_ARRAY(receiver, derivative, smooth_reference::kWindow, smooth_reference::kOrder, 0,
                                         1, -1, 0.0f));
  }
  AP7_SPECTRUM* smooth(AP7_SPECTRUM* spectrum, AP4_ARRAY* filter, int32_t option, float x1 = AP_NOT_GIVEN,
                       float x2 = AP_NOT_GIVEN) {
    AP7F_SMOOTHPARM parameter{x1, x2, filter, option};
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SMOOTH_WITH_OPTIONS, spectrum, &parameter)));
  }
  AP7_SPECTRUM* integral(AP7_SPECTRUM* spectrum, int32_t mode, int32_t offset_mode = 0, float level = 0.0f,
                         float x1 = AP_NOT_GIVEN, float x2 = AP_NOT_GIVEN, float mean_level = 0.0f) {
    AP7F_INTEGRALPARM parameter{x1, x2, mode, offset_mode, level, mean_level};
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SIMPLE_INTEGRAL, spectrum, &parameter)));
  }
  AP4_ARRAY* difference(AP7_SPECTRUM* spectrum, const std::vector<uint8_t>& records, int32_t count) {
    AP7F_DIFFERENCEPARM parameter{records.empty() ? nullptr : records.data(), count};
    return keep(ap_result_object<AP4_ARRAY>(send(AP7_MSG_FIRST_DIFFERENCE, spectrum, &parameter)));
  }
  // Region records of 52 bytes with only their two X limits set.
  static std::vector<uint8_t> regions(const std::vector<std::pair<float, float>>& limits) {
    std::vector<uint8_t> records(limits.size() * AP7F_REGION_RECORD, 0xCD);
    for (size_t r = 0; r < limits.size(); ++r) {
      std::memcpy(&records[r * AP7F_REGION_RECORD + AP7F_REGION_X1], &limits[r].first, sizeof(float));
      std::memcpy(&records[r * AP7F_REGION_RECORD + AP7F_REGION_X2], &limits[r].second, sizeof(float));
    }
    return records;
  }
};

// The window of 7 fits from point 3 to point n - 4; the smoothing keeps the
// ends as they were, the derivatives make them 0.
TEST_F(PointFilters, SavitzkyGolayAgreesWithScipyInsideTheData) {
  namespace ref = smooth_reference;
  AP7_SPECTRUM* input = reference_spectrum();
  struct Case {
    uint32_t derivative;
    int32_t option;
    const float* expected;
    double tolerance;
  };
  const Case cases[] = {{0, 0, ref::kSmoothed, 2e-6},
                        {1, 1, ref::kFirstDerivative, 2e-6},
                        {2, 2, ref::kSecondDerivative, 2e-6},
                        {2, 12, ref::kSecondDerivative, 2e-6}};
  const int half = ref::kWindow / 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    AP7_SPECTRUM* out = smooth(input, coefficients(c.derivative), c.option);
    ASSERT_NE(out, nullptr);
    const std::vector<float> y = values(out);
    ASSERT_EQ(y.size(), static_cast<size_t>(ref::kPoints));
    for (int i = half; i < ref::kPoints - half; ++i) EXPECT_NEAR(y[i], c.expected[i], c.tolerance) << i;
    for (int i : {0, 1, 2, ref::kPoints - 3, ref::kPoints - 2, ref::kPoints - 1})
      EXPECT_EQ(y[i], c.derivative == 0 ? ref::kValues[i] : 0.0f) << i;
  }
  EXPECT_EQ(values(input), std::vector<float>(ref::kValues, ref::kValues + ref::kPoints)) << "input untouched";
}

TEST_F(PointFilters, OptionFiveKeepsUnitScaleAndZeroesTheEnds) {
  AP7_SPECTRUM* input = keep(make_axis(0.0f, 8.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  AP4_ARRAY* three = keep(arraytest::make(1, 3));
  float* c = ap4a_GetDataAddress(three);
  c[0] = 1.0f, c[1] = 1.0f, c[2] = 1.0f;
  AP7_SPECTRUM* out = smooth(input, three, 5);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(values(out), (std::vector<float>{0, 6, 9, 12, 15, 18, 21, 24, 0}));
}

TEST_F(PointFilters, RegionZeroesOutsideAndEqualOrOutsideLimitsChangeNothing) {
  AP7_SPECTRUM* input = keep(make_axis(10.0f, 17.0f, {1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(values(smooth(input, nullptr, 0, 15.2f, 12.0f)), (std::vector<float>{0, 0, 3, 4, 5, 6, 0, 0}));
  EXPECT_EQ(values(smooth(input, nullptr, 0, 13.0f, 13.0f)), values(input));
  EXPECT_EQ(values(smooth(input, nullptr, 0, 30.0f, 40.0f)), values(input));
  EXPECT_EQ(values(smooth(input, nullptr, 0, -9.0f, -1.0f)), values(input));
  EXPECT_EQ(smooth(input, nullptr, 0, AP1_GetNaNSG_MATH(), 12.0f), nullptr) << "a missing limit";
  EXPECT_EQ(smooth(nullptr, nullptr, 0), nullptr);
}

TEST_F(PointFilters, FirstDifferenceIsTakenInPlace) {
  const float nan = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* s = keep(make_axis(0.0f, 3.0f, {1, 3, 6, 10}));
  EXPECT_EQ(difference(s, {}, 0), nullptr);
  EXPECT_EQ(values(s), (std::vector<float>{0, 2, 3, 4}));
  AP7_SPECTRUM* missing = keep(make_axis(0.0f, 3.0f, {nan, 3, 6, 10}));
  difference(missing, {}, 0);
  const std::vector<float> y = values(missing);
  EXPECT_TRUE(std::isnan(y[0]));
  EXPECT_TRUE(std::isnan(y[1]));
  EXPECT_EQ(y[2], 3.0f);
  AP7_SPECTRUM* kept = keep(make_axis(0.0f, 3.0f, {1, 3, 6, 10}));
  EXPECT_EQ(difference(kept, {}, AP7F_NO_DIFFERENCE), nullptr);
  EXPECT_EQ(values(kept), (std::vector<float>{1, 3, 6, 10}));
}

TEST_F(PointFilters, RegionRowsDescribeEachRegionBeforeTheDifference) {
  AP7_SPECTRUM* s = keep(make_axis(100.0f, 109.0f, {5, 1, -9, 4, 2, 8, 7, 3, 6, 0}));
  AP4_ARRAY* rows = difference(s, regions({{102.0f, 105.0f}, {500.0f, 600.0f}, {108.0f, 107.0f}}), 1003);
  ASSERT_NE(rows, nullptr);
  ASSERT_EQ(packed(rows->rows), 3u);
  ASSERT_EQ(packed(rows->columns), AP7F_REGION_INFO_COLUMNS);
  EXPECT_EQ(arraytest::values(rows), (std::vector<float>{102, -9, 8, 0, 0, 2,  //
                                                         0, 0, 0, 0, 0, 0,     // outside the data
                                                         107, 3, 6, 0, 0, 7}));
  EXPECT_EQ(values(s), (std::vector<float>{5, 1, -9, 4, 2, 8, 7, 3, 6, 0})) << "count 1003 takes no difference";
  // Point-axis data of an interferogram (or its derivative, Y code 8) also
  // report the largest |y|: the first of the equal ones.
  AP7_SPECTRUM* ifg = keep(make_axis(0.0f, 5.0f, {1, -7, 3, 7, 2, 0}));
  record(ifg).x_units = 2;
  record(ifg).y_units = 8;
  rows = difference(ifg, regions({{1.0f, 3.0f}}), 1);
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(arraytest::values(rows), (std::vector<float>{1, -7, 7, 1, 1, 1}));
  EXPECT_EQ(values(ifg), (std::vector<float>{0, -8, 10, 4, -5, -2}));
}

// The kernel (y[i-1] + 22 y[i] + y[i+1]) dx / 24 worked out by hand.
TEST_F(PointFilters, RunningIntegralFollowsItsKernel) {
  EXPECT_EQ(values(integral(keep(make_axis(0.0f, 3.0f, {1, 1, 1, 1})), 1)), (std::vector<float>{0, 1, 2, 3}));
  const std::vector<float> y = {2, 4, 1, 3, 5};
  const float dx = 0.5f;
  std::vector<float> expected(5, 0.0f);
  for (int i = 1; i < 4; ++i) expected[i] = expected[i - 1] + (y[i - 1] + 22 * y[i] + y[i + 1]) * dx / 24.0f;
  expected[4] = expected[3] + dx * y[4];
  AP7_SPECTRUM* s = keep(make_axis(10.0f, 12.0f, y));
  const std::vector<float> got = values(integral(s, 0));
  for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(got[i], expected[i]) << i;
  // A falling axis integrates to falling values.
  AP7_SPECTRUM* falling = keep(make_axis(12.0f, 10.0f, y));
  const std::vector<float> down = values(integral(falling, 1));
  for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(down[i], -expected[i]) << i;
  EXPECT_EQ(integral(s, 3), nullptr);
  EXPECT_EQ(values(integral(s, 1, 7, 100.0f)), got) << "offset mode 7 is 0";
}

TEST_F(PointFilters, DoubleIntegralRegionsAndOffsets) {
  const float nan = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* ones = keep(make_axis(0.0f, 3.0f, {1, 1, 1, 1}));
  // Single integral [0, 1, 2, 3], mean 1.5: about mean level 0.5 it is
  // [-1, 0, 1, 2], integrated again [0, 0, 1, 3].
  EXPECT_EQ(values(integral(ones, 2, 0, 0.0f, AP_NOT_GIVEN, AP_NOT_GIVEN, 0.5f)), (std::vector<float>{0, 0, 1, 3}));
  // Region 1..2: starts at 0 there, missing outside.
  std::vector<float> y = values(integral(ones, 1, 0, 0.0f, 2.0f, 1.0f));
  EXPECT_TRUE(std::isnan(y[0]));
  EXPECT_EQ(y[1], 0.0f);
  EXPECT_EQ(y[2], 1.0f);
  EXPECT_TRUE(std::isnan(y[3]));
  // Region from index 0 keeps the values.
  y = values(integral(ones, 1, 0, 0.0f, 0.0f, 2.0f));
  EXPECT_EQ(y[2], 2.0f);
  EXPECT_TRUE(std::isnan(y[3]));
  EXPECT_EQ(values(integral(ones, 1, 1, 10.0f)), (std::vector<float>{8.5f, 9.5f, 10.5f, 11.5f}));
  EXPECT_EQ(values(integral(ones, 1, 2, 10.0f)), (std::vector<float>{10, 11, 12, 13}));
  EXPECT_EQ(values(integral(ones, 1, 3, 10.0f)), (std::vector<float>{7, 8, 9, 10}));
  // From the first missing value on every value is missing.
  y = values(integral(keep(make_axis(0.0f, 4.0f, {1, 1, nan, 1, 1})), 1));
  EXPECT_EQ(y[0], 0.0f);
  for (int i = 1; i < 5; ++i) EXPECT_TRUE(std::isnan(y[i])) << i;
  EXPECT_EQ(values(integral(keep(make_axis(0.0f, 0.0f, {4})), 1)), (std::vector<float>{0}));
}

}  // namespace
