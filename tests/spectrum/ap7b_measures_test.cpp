#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class RangeMeasures : public SpectrumTest {
 protected:
  static uint32_t fit(AP7_SPECTRUM* spectrum, float x1, float x2, float* peak_to_peak, float* rms) {
    AP7_LINEARFITPARM parameter{x1, x2, peak_to_peak, rms};
    return send(AP7_MSG_LINEAR_FIT_RANGE, spectrum, &parameter);
  }
};

// y = 10 + 0.5 k + (1, -1, 1, -1, 1): the line is 10.2 + 0.5 k (the
// alternation has no slope about k = 2), the residuals 0.8 and -1.2, so the
// peak-to-peak is 2; Syy - Sxy²/Sxx = 3 × 0.64 + 2 × 1.44 = 4.8 over 5 - 2
// points gives the rms √1.6.
TEST_F(RangeMeasures, NoiseAboutTheLineIsItsResidualsSpreadAndRms) {
  AP7_SPECTRUM* spectrum = make_axis(100.0f, 108.0f, {0.0f, 0.0f, 11.0f, 9.5f, 12.0f, 10.5f, 13.0f, 0.0f, 0.0f});
  float peak_to_peak = -1.0f;
  float rms = -1.0f;
  EXPECT_EQ(fit(spectrum, 102.0f, 106.0f, &peak_to_peak, &rms), 1u);
  EXPECT_NEAR(peak_to_peak, 2.0f, 1e-5);
  EXPECT_NEAR(rms, std::sqrt(1.6f), 1e-5);
  destroy(spectrum);
}

TEST_F(RangeMeasures, AStraightLineHasNoNoise) {
  AP7_SPECTRUM* spectrum = make_ramp(20, 0.0f, 19.0f);
  float peak_to_peak = -1.0f;
  float rms = -1.0f;
  EXPECT_EQ(fit(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &peak_to_peak, &rms), 1u);
  EXPECT_NEAR(peak_to_peak, 0.0f, 1e-5);
  EXPECT_NEAR(rms, 0.0f, 1e-4);
  destroy(spectrum);
}

// Three points of which one is missing lie on a line: both measures 0.
TEST_F(RangeMeasures, TwoPresentPointsGiveZeroAndAnswerOne) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 2.0f, {1.0f, NAN, 7.0f});
  float peak_to_peak = -1.0f;
  float rms = -1.0f;
  EXPECT_EQ(fit(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &peak_to_peak, &rms), 1u);
  EXPECT_EQ(peak_to_peak, 0.0f);
  EXPECT_EQ(rms, 0.0f);
  destroy(spectrum);
}

// The answer is 1 only when the measures were written.
TEST_F(RangeMeasures, NothingWrittenAnswersZero) {
  AP7_SPECTRUM* spectrum = make_ramp(10, 0.0f, 9.0f);
  float peak_to_peak = -1.0f;
  float rms = -1.0f;
  EXPECT_EQ(fit(spectrum, 2.0f, 3.0f, &peak_to_peak, &rms), 0u);
  EXPECT_EQ(fit(spectrum, NAN, 3.0f, &peak_to_peak, &rms), 0u);
  EXPECT_EQ(fit(spectrum, 20.0f, 30.0f, &peak_to_peak, &rms), 0u);
  EXPECT_EQ(peak_to_peak, -1.0f);
  EXPECT_EQ(rms, -1.0f);
  EXPECT_EQ(fit(spectrum, 0.0f, 9.0f, nullptr, &rms), 0u);
  EXPECT_EQ(fit(spectrum, 0.0f, 9.0f, &peak_to_peak, nullptr), 0u);
  EXPECT_EQ(rms, -1.0f);
  destroy(spectrum);
}

struct JoinCase {
  const char* name;
  int16_t low, high, previous_low, previous_high;
  int16_t joined_low, joined_high, joined_previous_low, joined_previous_high;
};

class ColumnJoin : public testing::TestWithParam<JoinCase> {};

TEST_P(ColumnJoin, ClosesTheGapAtItsMiddle) {
  const JoinCase& c = GetParam();
  auto low = static_cast<uint16_t>(c.low);
  auto high = static_cast<uint16_t>(c.high);
  auto previous_low = static_cast<uint16_t>(c.previous_low);
  auto previous_high = static_cast<uint16_t>(c.previous_high);
  EXPECT_EQ(ap7b_JoinColumns(&low, &high, &previous_low, &previous_high), 1);
  EXPECT_EQ(static_cast<int16_t>(low), c.joined_low);
  EXPECT_EQ(static_cast<int16_t>(high), c.joined_high);
  EXPECT_EQ(static_cast<int16_t>(previous_low), c.joined_previous_low);
  EXPECT_EQ(static_cast<int16_t>(previous_high), c.joined_previous_high);
}

constexpr int16_t kEmpty = INT16_MIN;  // 0x8000, a column without data

INSTANTIATE_TEST_SUITE_P(Cases, ColumnJoin,
                         testing::Values(JoinCase{"above", 10, 20, 0, 4, 7, 20, 0, 7},
                                         JoinCase{"below", 10, 20, 30, 40, 10, 25, 25, 40},
                                         JoinCase{"overlapping", 10, 20, 15, 30, 10, 20, 15, 30},
                                         JoinCase{"negative", -10, -5, -30, -20, -15, -5, -30, -15},
                                         JoinCase{"empty", 10, 20, kEmpty, kEmpty, 10, 20, kEmpty, kEmpty}),
                         [](const auto& info) { return std::string(info.param.name); });

class DisplayScaling : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    spectrum_ = make_ramp(101, 0.0f, 100.0f);
  }
  void TearDown() override {
    destroy(spectrum_);
    SpectrumTest::TearDown();
  }
  // The bounds of the range drawn alone into `columns` columns.
  std::pair<std::vector<uint16_t>, std::vector<uint16_t>> alone(float x1, float x2, int16_t columns) {
    std::vector<uint16_t> low(columns), high(columns);
    EXPECT_EQ(ap7a_ScaleRange(spectrum_, x1, x2, 0.0f, 101.0f, columns, 200, low.data(), high.data()), 1);
    return {low, high};
  }
  AP7_SPECTRUM* spectrum_ = nullptr;
};

// Each part is drawn into its share of the columns as it would be alone;
// only the seam columns may be joined.
TEST_F(DisplayScaling, SplitAxisDrawsEachPartIntoItsShareOfTheColumns) {
  std::vector<uint16_t> low(12, 1), high(12, 1);
  AP7_SPLITAXISPARM parameter{0.0f, 101.0f, 0.0f, 30.0f, 60.0f, 100.0f, 12, 200, 2, low.data(), high.data()};
  EXPECT_EQ(send(AP7_MSG_SCALE_SPLIT_AXIS, spectrum_, &parameter), 1u);
  const auto first = alone(0.0f, 30.0f, 4);
  const auto second = alone(30.0f, 60.0f, 4);
  const auto third = alone(60.0f, 100.0f, 4);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(low[c], first.first[c]) << c;
  for (int c = 5; c < 7; ++c) EXPECT_EQ(high[c], second.second[c - 4]) << c;
  for (int c = 9; c < 12; ++c) EXPECT_EQ(high[c], third.second[c - 8]) << c;
}

TEST_F(DisplayScaling, SplitAxisRefusesAnotherSplitOrTooFewColumnsWithTheBoundsCleared) {
  std::vector<uint16_t> low(3, 7), high(3, 7);
  for (auto [split, columns] : {std::pair<uint16_t, uint16_t>{3, 3}, {1, 1}, {2, 2}}) {
    AP7_SPLITAXISPARM parameter{0.0f, 101.0f, 0.0f, 30.0f, 60.0f, 100.0f, columns, 200, split, low.data(), high.data()};
    EXPECT_EQ(send(AP7_MSG_SCALE_SPLIT_AXIS, spectrum_, &parameter), 0u);
    for (uint16_t c = 0; c < columns; ++c) EXPECT_EQ(low[c], 0u);
  }
}

// Rule 1 splits 0..100 nowhere (it lies below 2000): one segment over all
// columns, drawn from x1.
TEST_F(DisplayScaling, SegmentedAxisOfOneSegmentIsTheRangeDrawnAlone) {
  for (auto [x1, x2] : {std::pair<float, float>{0.0f, 100.0f}, {100.0f, 0.0f}}) {
    std::vector<uint16_t> low(8), high(8);
    AP7_SEGMENTEDAXISPARM parameter{x1, x2, 0.0f, 101.0f, 8, 200, 1, low.data(), high.data()};
    EXPECT_EQ(send(AP7_MSG_SCALE_SEGMENTED_AXIS, spectrum_, &parameter), 1u);
    const auto expected = alone(x1, x2, 8);
    EXPECT_EQ(low, expected.first);
    EXPECT_EQ(high, expected.second);
  }
}

// A spectrum flat at 50 drawn against wavelength: every sampled column sits
// at the same height. Wavelengths at 0 are refused.
TEST_F(DisplayScaling, WavelengthAxisSamplesTheSpectrumAgainstTenThousandOverX) {
  std::vector<float> flat(101, 50.0f);
  AP7_SPECTRUM* spectrum = make_axis(400.0f, 4400.0f, flat);
  std::vector<uint16_t> low(10), high(10);
  AP7_WAVELENGTHAXISPARM parameter{2.5f, 20.0f, 0.0f, 100.0f, 10, 200, low.data(), high.data()};
  EXPECT_EQ(send(AP7_MSG_SCALE_WAVELENGTH_AXIS, spectrum, &parameter), 1u);
  EXPECT_NE(low[0], 0x8000u);
  for (int c = 0; c < 10; ++c) EXPECT_EQ(low[c], low[0]) << c;
  parameter.lambda1 = 0.0f;
  parameter.lambda2 = 0.0f;
  EXPECT_EQ(send(AP7_MSG_SCALE_WAVELENGTH_AXIS, spectrum, &parameter), 0u);
  destroy(spectrum);
}

}  // namespace
