#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/reference_values.h"

namespace {

using namespace chemtest;

class SavitzkyGolay : public ChemometricsTest {
 protected:
  // The filter of message 334 sent to any array.
  AP4_ARRAY* filter(uint32_t code, int32_t window, int32_t order, uint32_t gap = 0, int32_t width = 1,
                    int32_t second = -1, float weight = 0.0f) {
    AP4_SGPARM parameter{code, window, order, gap, width, second, weight};
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_SG_COEFFICIENTS, receiver_, &parameter));
  }
  AP4_ARRAY* apply(AP4_ARRAY* data, AP4_ARRAY* filter, float scale, uint32_t zero) {
    AP4_FILTERPARM parameter{filter, scale, zero};
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_APPLY_FILTER, data, &parameter));
  }
  void SetUp() override {
    ChemometricsTest::SetUp();
    receiver_ = make(1, 1);
  }
  AP4_ARRAY* receiver_ = nullptr;
};

TEST_F(SavitzkyGolay, CoefficientsMatchScipyForEveryDerivative) {
  for (const reference::SGCase& c : reference::sg_cases) {
    AP4D_DBLMATRIX coefficients = AP4D_DblSGCoefficients(c.window, c.order, c.derivative);
    ASSERT_NE(coefficients, nullptr) << c.window << "/" << c.order << "/" << c.derivative;
    const Dense got = dense(coefficients);
    EXPECT_EQ(got.columns, 1u);
    SCOPED_TRACE(std::to_string(c.window) + "/" + std::to_string(c.order) + "/" + std::to_string(c.derivative));
    expect_near_all(got.v, c.coefficients, static_cast<size_t>(c.window), 1e-9);
    AP4D_DblDestroy(coefficients);
  }
}

// The filters of the closed forms, as floats.
struct FilterCase {
  const char* name;
  uint32_t code;
  int32_t window;
  int32_t order;
  std::vector<double> expected;
};

class SavitzkyGolayFilter : public SavitzkyGolay, public testing::WithParamInterface<FilterCase> {};

TEST_P(SavitzkyGolayFilter, HoldsTheClosedForm) {
  const FilterCase& c = GetParam();
  AP4_ARRAY* f = filter(c.code, c.window, c.order);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(packed(f->rows), 1u);
  expect_near_all(values(f), c.expected.data(), c.expected.size(), 2e-7);
  destroy(f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SavitzkyGolayFilter,
    testing::Values(FilterCase{"Smooth5Quadratic", 0, 5, 2, {-3 / 35.0, 12 / 35.0, 17 / 35.0, 12 / 35.0, -3 / 35.0}},
                    FilterCase{"FirstDerivative5", 1, 5, 2, {-0.2, -0.1, 0, 0.1, 0.2}},
                    FilterCase{"FirstDerivativeNegated", 11, 5, 2, {0.2, 0.1, 0, -0.1, -0.2}},
                    FilterCase{"SecondDerivative5Cubic", 2, 5, 3, {2 / 7.0, -1 / 7.0, -2 / 7.0, -1 / 7.0, 2 / 7.0}},
                    // Order 8 for a 5-point window is brought down to 4, an
                    // exact fit whose smoothing filter is the unit impulse.
                    FilterCase{"OrderAdjustedToWindow", 0, 5, 8, {0, 0, 1, 0, 0}},
                    // The derivative exceeds the order: all zeros.
                    FilterCase{"DerivativeAboveOrder", 2, 5, 1, {0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

// Arguments that give no filter: (code, window, order, width).
struct RefusedFilter {
  const char* name;
  uint32_t code;
  int32_t window;
  int32_t order;
  int32_t width;
};

class SavitzkyGolayRefuses : public SavitzkyGolay, public testing::WithParamInterface<RefusedFilter> {};

TEST_P(SavitzkyGolayRefuses, WithNull) {
  const RefusedFilter& c = GetParam();
  EXPECT_EQ(filter(c.code, c.window, c.order, 0, c.width), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SavitzkyGolayRefuses,
    testing::Values(RefusedFilter{"EvenWindow", 0, 4, 2, 1}, RefusedFilter{"Window61", 0, 61, 2, 1},
                    RefusedFilter{"Order7", 0, 9, 7, 1}, RefusedFilter{"WindowOfOne", 0, 1, 2, 1},
                    RefusedFilter{"ThirdDerivative", 3, 5, 3, 1}, RefusedFilter{"NegatedThirdDerivative", 13, 5, 3, 1},
                    RefusedFilter{"EvenWidth", 0, 5, 2, 2}, RefusedFilter{"NoWidth", 0, 5, 2, 0},
                    RefusedFilter{"NegativeWidth", 0, 5, 2, -1}),
    [](const testing::TestParamInfo<RefusedFilter>& info) { return std::string(info.param.name); });

TEST_F(SavitzkyGolay, SpreadsCoefficientsOverSegmentsWithGaps) {
  AP4_ARRAY* f = filter(0, 3, 1, 1, 3);
  ASSERT_NE(f, nullptr);
  const float c = static_cast<float>(1.0 / 3.0) * (1.0f / 12.0f);  // each coefficient is 1/3
  EXPECT_EQ(values(f), (std::vector<float>{c, c, c, 0, c, c, c, 0, c, c, c}));
  destroy(f);
  // A gap that would make the filter longer than 32 bits can count.
  EXPECT_EQ(filter(0, 5, 2, 0x40000000u, 1), nullptr);
  EXPECT_EQ(filter(0, 5, 2, 0xFFFFFFFFu, 3), nullptr);
}

TEST_F(SavitzkyGolay, AddsAWeightedSecondDerivative) {
  AP4_ARRAY* f = filter(0, 5, 3, 0, 1, 2, 0.5f);
  ASSERT_NE(f, nullptr);
  const double smooth[] = {-3 / 35.0, 12 / 35.0, 17 / 35.0, 12 / 35.0, -3 / 35.0};
  const double second[] = {2 / 7.0, -1 / 7.0, -2 / 7.0, -1 / 7.0, 2 / 7.0};
  std::vector<double> expected;
  for (int i = 0; i < 5; ++i) expected.push_back(smooth[i] + 0.5 * second[i]);
  expect_near_all(values(f), expected.data(), 5, 2e-7);
  destroy(f);
}

TEST_F(SavitzkyGolay, SmoothingKeepsACubicAndTheDerivativeFindsItsSlope) {
  // Order-3 filters reproduce a cubic exactly away from the ends.
  std::vector<float> cubic;
  for (int i = 0; i < 12; ++i) cubic.push_back(static_cast<float>(0.01 * i * i * i - 0.2 * i * i + i - 3));
  AP4_ARRAY* data = array_of(1, 12, cubic.data());
  AP4_ARRAY* smooth = filter(0, 7, 3);
  AP4_ARRAY* slope = filter(1, 7, 3);
  AP4_ARRAY* smoothed = apply(data, smooth, 1.0f, 0);
  AP4_ARRAY* derived = apply(data, slope, 1.0f, 1);
  ASSERT_NE(smoothed, nullptr);
  ASSERT_NE(derived, nullptr);
  const std::vector<float> s = values(smoothed);
  const std::vector<float> d = values(derived);
  for (int i = 0; i < 12; ++i) {
    const bool computed = i >= 3 && i < 9;
    EXPECT_NEAR(s[i], cubic[i], 2e-5) << i;  // the ends keep the copied data
    EXPECT_NEAR(d[i], computed ? 0.03 * i * i - 0.4 * i + 1 : 0.0, 2e-5) << i;
  }
  for (AP4_ARRAY* a : {data, smooth, slope, smoothed, derived}) destroy(a);
}

TEST_F(SavitzkyGolay, AppliesEveryRowAndScales) {
  AP4_ARRAY* data = array_of(2, 5, {1, 2, 3, 4, 5, 10, 20, 30, 40, 50});
  AP4_ARRAY* taps = array_of(1, 3, {1, 1, 1});
  AP4_ARRAY* out = apply(data, taps, 0.5f, 0);
  EXPECT_EQ(values(out), (std::vector<float>{1, 3, 4.5f, 6, 5, 10, 30, 45, 60, 50}));
  destroy(out);
  out = apply(data, taps, 0.5f, 1);
  EXPECT_EQ(values(out), (std::vector<float>{0, 3, 4.5f, 6, 0, 0, 30, 45, 60, 0}));
  destroy(out);
  for (AP4_ARRAY* a : {data, taps}) destroy(a);
}

TEST_F(SavitzkyGolay, AFilterLongerThanTheRowComputesNothing) {
  AP4_ARRAY* data = array_of(1, 4, {1, 2, 3, 4});
  AP4_ARRAY* taps = filter(0, 5, 2);
  AP4_ARRAY* copy = apply(data, taps, 1.0f, 0);
  AP4_ARRAY* zeros = apply(data, taps, 1.0f, 1);
  EXPECT_EQ(values(copy), values(data));
  EXPECT_EQ(values(zeros), (std::vector<float>{0, 0, 0, 0}));
  for (AP4_ARRAY* a : {data, taps, copy, zeros}) destroy(a);
}

TEST_F(SavitzkyGolay, AMissingValueSpoilsOnlyTheWindowsThatHoldIt) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* data = array_of(1, 8, {1, 1, 1, 1, 1, 1, nan, 1});
  AP4_ARRAY* taps = array_of(1, 3, {1, 1, 1});
  AP4_ARRAY* out = apply(data, taps, 1.0f, 0);
  const std::vector<float> got = values(out);
  EXPECT_EQ(got[0], 1);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(got[i], 3) << i;
  EXPECT_TRUE(missing(got[5]));
  EXPECT_TRUE(missing(got[6]));
  EXPECT_EQ(got[7], 1);  // not computed: the copy of the data
  for (AP4_ARRAY* a : {data, taps, out}) destroy(a);
}

TEST_F(SavitzkyGolay, RefusesWhatIsNotAnArray) {
  uint16_t not_array[16] = {7};
  AP4_ARRAY* data = array_of(1, 4, {1, 2, 3, 4});
  EXPECT_EQ(AP4_ApplyFilterToVector_ARRAY(data, reinterpret_cast<AP4_ARRAY*>(not_array), 1.0f, 0), 0u);
  EXPECT_EQ(AP4_SGCoefficients_ARRAY(reinterpret_cast<AP4_ARRAY*>(not_array), 0, 5, 2, 0, 1, -1, 0.0f), nullptr);
  AP4_ARRAY* empty = make(0, 0);
  EXPECT_EQ(AP4_ApplyFilterToVector_ARRAY(data, empty, 1.0f, 0), 0u);
  destroy(empty);
  destroy(data);
}

}  // namespace
