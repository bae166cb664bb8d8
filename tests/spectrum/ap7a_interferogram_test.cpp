#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

constexpr uint16_t kNoValue = 0x8000;

// A band of Lorentz shape on a flat background, spacing 1.
std::vector<float> band(uint32_t n, float centre) {
  std::vector<float> y(n);
  for (uint32_t i = 0; i < n; ++i) y[i] = 0.1f + 1.0f / (1.0f + (i - centre) * (i - centre) / 4.0f);
  return y;
}

class Interferogram : public SpectrumTest {
 protected:
  // n points at X 0..n-1 with Y code 22, its peak at `peak`.
  static AP7_SPECTRUM* make_interferogram(uint32_t n, uint32_t peak) {
    AP7_SPECTRUM* spectrum = make_axis(0.0f, static_cast<float>(n - 1), band(n, static_cast<float>(peak)));
    record(spectrum).y_units = AP41_YUNITS_INTERFEROGRAM;
    record(spectrum).FinalPeakPos = peak;
    record(spectrum).SSP = 1.0f;
    record(spectrum).LaserFreq = 15798.0f;
    return spectrum;
  }

  static uint32_t transform(AP7_SPECTRUM* spectrum, uint16_t k) {
    return send(AP7_MSG_TRANSFORM_INTERFEROGRAM, spectrum, &k);
  }

  static uint32_t correct(AP7_SPECTRUM* spectrum, uint16_t mode, AP7_SPECTRUM* phase) {
    AP7_PHASECORRECTPARM parameter{mode, phase};
    return send(AP7_MSG_PHASE_CORRECT, spectrum, &parameter);
  }
};

TEST_F(Interferogram, TransformRefusesAnythingButAnInterferogramAndChangesNothing) {
  AP7_SPECTRUM* spectrum = make_ramp(16, 0.0f, 15.0f);
  record(spectrum).y_units = 17;
  record(spectrum).SSP = 1.0f;
  const AP41_HEADERDATA before = record(spectrum);
  const std::vector<float> before_values = values(spectrum);
  EXPECT_EQ(transform(spectrum, 4), 0u);
  EXPECT_EQ(std::memcmp(&record(spectrum), &before, sizeof before), 0);
  EXPECT_EQ(values(spectrum), before_values);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Interferogram, TransformLeavesTheTransformedAxisAndNoise) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make_interferogram(16, 4);
  record(spectrum).NumPostPeakPts = 4096;  // resolution 4.0 at a spacing of 2
  record(spectrum).SSP = 2.0f;
  record(spectrum).NumScans = 0;
  ASSERT_EQ(transform(spectrum, 5), 1u);
  const uint32_t n = 32;
  EXPECT_EQ(values(spectrum).size(), n);
  EXPECT_EQ(packed(record(spectrum).y_units), 14u);
  EXPECT_EQ(packed(record(spectrum).points), n);
  EXPECT_EQ(packed(record(spectrum).NumTransformPts), n);
  EXPECT_EQ(packed(record(spectrum).first_x), -16.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 15.0f);
  EXPECT_EQ(packed(record(spectrum).NumScans), 1u);
  // 0.06 / (sqrt(1) x 4.0 x 2.0)
  EXPECT_FLOAT_EQ(packed(record(spectrum).p39), 0.0075f);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_FFT), 1);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(Interferogram, TransformRefusesASpacingFactorThatIsNotPositive) {
  for (float factor : {0.0f, -1.0f, NAN}) {
    AP7_SPECTRUM* spectrum = make_interferogram(16, 4);
    record(spectrum).SSP = factor;
    const std::vector<float> before = values(spectrum);
    EXPECT_EQ(transform(spectrum, 5), 0u) << factor;
    EXPECT_EQ(values(spectrum), before);
    EXPECT_EQ(packed(record(spectrum).y_units), 22u);
    EXPECT_EQ(destroy(spectrum), 1u);
  }
}

TEST_F(Interferogram, ApodizeTreatsOnlyInterferogramsAndRecordsTheId) {
  AP7_SPECTRUM* absorbance = make_ramp(16, 0.0f, 15.0f);
  record(absorbance).y_units = 17;
  AP7_APODIZEPARM none{AP4_APODIZE_NONE, 0};
  EXPECT_EQ(send(AP7_MSG_APODIZE, absorbance, &none), 0u);
  EXPECT_EQ(destroy(absorbance), 1u);

  AP7_SPECTRUM* spectrum = make_interferogram(16, 4);
  const std::vector<float> before = values(spectrum);
  EXPECT_EQ(send(AP7_MSG_APODIZE, spectrum, &none), 1u);
  EXPECT_EQ(values(spectrum), before);
  EXPECT_EQ(packed(record(spectrum).ApodID), 2u);
  // The triangle leaves the peak and weighs the far end down.
  AP7_APODIZEPARM triangle{AP4_APODIZE_TRIANGLE, 0};
  EXPECT_EQ(send(AP7_MSG_APODIZE, spectrum, &triangle), 1u);
  EXPECT_EQ(packed(record(spectrum).ApodID), 1u);
  EXPECT_FLOAT_EQ(values(spectrum)[4], before[4]);
  EXPECT_LT(values(spectrum)[15], before[15]);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Interferogram, PhaseSpectrumHasHalfTheTransformCentredOnZero) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make_interferogram(32, 16);
  AP7_PHASEPARM parameter{64, 5, AP4_APODIZE_NONE, 0};  // limited to 2 x 16 points
  auto* phase = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_PHASE_SPECTRUM, spectrum, &parameter));
  ASSERT_NE(phase, nullptr);
  EXPECT_EQ(values(phase).size(), 16u);
  EXPECT_EQ(packed(record(phase).y_units), 28u);
  EXPECT_EQ(packed(record(phase).points), 16u);
  EXPECT_EQ(packed(record(phase).first_x), -8.0f);
  EXPECT_EQ(packed(record(phase).last_x), 7.0f);
  // A segment longer than the transform is refused.
  AP7_PHASEPARM too_long{64, 4, AP4_APODIZE_NONE, 0};
  EXPECT_EQ(send(AP7_MSG_PHASE_SPECTRUM, spectrum, &too_long), 0u);
  EXPECT_EQ(packed(record(spectrum).y_units), 22u);
  EXPECT_EQ(destroy(phase), 1u);

  record(spectrum).y_units = 17;
  EXPECT_EQ(send(AP7_MSG_PHASE_SPECTRUM, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

class PhaseCorrection : public Interferogram {
 protected:
  // The halves layout of a 4-point transform: re 3, 0 and im 4, 0.
  static AP7_SPECTRUM* make_transformed() {
    AP7_SPECTRUM* spectrum = make_axis(-2.0f, 1.0f, {3.0f, 0.0f, 4.0f, 0.0f});
    record(spectrum).y_units = AP41_YUNITS_TRANSFORMED;
    record(spectrum).LaserFreq = 15798.0f;
    record(spectrum).SSP = 1.0f;
    return spectrum;
  }
};

TEST_F(PhaseCorrection, MagnitudeNeedsNoPhaseSpectrumAndGivesTheSingleBeamAxis) {
  AP7_SPECTRUM* spectrum = make_transformed();
  ASSERT_EQ(correct(spectrum, 1, nullptr), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{5.0f, 0.0f}));
  EXPECT_EQ(packed(record(spectrum).y_units), 15u);
  EXPECT_EQ(packed(record(spectrum).x_units), 1u);
  EXPECT_EQ(packed(record(spectrum).PhaseCorrID), 1u);
  EXPECT_EQ(packed(record(spectrum).points), 2u);
  EXPECT_EQ(packed(record(spectrum).first_x), 0.0f);
  // (2 - 1) x (15798 / 1) / 2
  EXPECT_EQ(packed(record(spectrum).last_x), 7899.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(PhaseCorrection, OtherModesNeedAPhaseSpectrum) {
  AP7_SPECTRUM* spectrum = make_transformed();
  EXPECT_EQ(correct(spectrum, 0, nullptr), 0u);
  AP7_SPECTRUM* absorbance = make_axis(0.0f, 1.0f, {0.0f, 0.0f});
  record(absorbance).y_units = 17;
  EXPECT_EQ(correct(spectrum, 0, absorbance), 0u);
  EXPECT_EQ(values(spectrum).size(), 4u);
  // A phase of 0 throughout keeps the real parts.
  AP7_SPECTRUM* phase = make_axis(0.0f, 1.0f, {0.0f, 0.0f});
  record(phase).y_units = AP41_YUNITS_PHASE;
  EXPECT_EQ(correct(spectrum, 0, phase), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3.0f, 0.0f}));
  EXPECT_EQ(packed(record(spectrum).PhaseCorrID), 0u);
  for (AP7_SPECTRUM* object : {spectrum, absorbance, phase}) EXPECT_EQ(destroy(object), 1u);
}

TEST_F(PhaseCorrection, RefusesASpacingFactorThatIsNotPositive) {
  for (float factor : {0.0f, -2.0f}) {
    AP7_SPECTRUM* spectrum = make_transformed();
    record(spectrum).SSP = factor;
    EXPECT_EQ(correct(spectrum, 1, nullptr), 0u);
    EXPECT_EQ(values(spectrum).size(), 4u);
    EXPECT_EQ(packed(record(spectrum).y_units), 14u);
    EXPECT_EQ(destroy(spectrum), 1u);
  }
}

class PeakSearch : public SpectrumTest {
 protected:
  static uint32_t search(AP7_SPECTRUM* spectrum, float x1, float x2, float sensitivity, std::vector<AP4_PEAK>& table) {
    uint16_t full = 0;
    AP7_PEAKSEARCHPARM parameter{x1, x2, 0.0f, sensitivity, static_cast<uint32_t>(table.size()), 1, &full,
                                 table.data(), 1, 0};
    return send(AP7_MSG_PEAK_SEARCH, spectrum, &parameter);
  }
};

TEST_F(PeakSearch, FindsTheBandAtItsXAndNothingAboveSensitivity100) {
  // X 100, 102, ... with the band at index 10, X 120.
  AP7_SPECTRUM* spectrum = make_axis(100.0f, 140.0f, band(21, 10.0f));
  record(spectrum).y_units = 17;
  std::vector<AP4_PEAK> table(8);
  ASSERT_EQ(search(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 50.0f, table), 1u);
  EXPECT_NEAR(table[0].position, 120.0f, 0.01f);
  EXPECT_NEAR(table[0].raw_position, 120.0f, 0.01f);
  EXPECT_EQ(search(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 101.0f, table), 0u);
  // Too few points in the range.
  EXPECT_EQ(search(spectrum, 118.0f, 120.0f, 50.0f, table), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(PeakSearch, ThresholdFollowsTheUnitAndTheRange) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {0.0f, 1.0f, 2.0f, 3.0f, 4.0f});
  float threshold = 0.0f;
  float base = 1.0f;
  float step = 0.0f;
  record(spectrum).y_units = 17;
  // Range step (4 - 0) / 200 = 0.02 above the absorbance step 0.004.
  ASSERT_EQ(ap7d_PeakSearchThreshold(spectrum, 1, 0, AP_NOT_GIVEN, AP_NOT_GIVEN, 50.0f, &threshold, &base, &step), 1);
  EXPECT_FLOAT_EQ(step, 0.004f);
  EXPECT_FLOAT_EQ(threshold, 0.002f);
  EXPECT_EQ(base, 0.0f);
  // Log mode: the range step (4 - 0) / 2 = 2 against 0.004 x 200 = 0.8.
  ASSERT_EQ(ap7d_PeakSearchThreshold(spectrum, 1, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, 50.0f, &threshold, &base, &step), 1);
  EXPECT_FLOAT_EQ(step, 0.8f);
  EXPECT_FLOAT_EQ(threshold, 0.8f * std::pow(10.0f, -1.15f));
  ASSERT_EQ(ap7d_PeakSearchThreshold(spectrum, 1, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, 100.0f, &threshold, &base, &step), 1);
  EXPECT_EQ(threshold, 0.0f);
  // Another unit: the spread of all data over 100; the range step 0.02 wins.
  record(spectrum).y_units = 8;
  ASSERT_EQ(ap7d_PeakSearchThreshold(spectrum, 1, 0, AP_NOT_GIVEN, AP_NOT_GIVEN, 0.0f, &threshold, &base, &step), 1);
  EXPECT_FLOAT_EQ(step, 0.02f);
  EXPECT_FLOAT_EQ(threshold, 0.02f);
  // Without the range: 0.04.
  ASSERT_EQ(ap7d_PeakSearchThreshold(spectrum, 0, 0, AP_NOT_GIVEN, AP_NOT_GIVEN, 0.0f, &threshold, &base, &step), 1);
  EXPECT_FLOAT_EQ(step, 0.04f);
  EXPECT_EQ(ap7d_PeakSearchThreshold(nullptr, 0, 0, 0.0f, 0.0f, 0.0f, &threshold, &base, &step), 0);
  EXPECT_EQ(ap7d_GetPeakDirection(nullptr), AP1_PEAKS_UP);
  record(spectrum).y_units = 16;
  EXPECT_EQ(ap7d_GetPeakDirection(spectrum), AP1_PEAKS_DOWN);
  EXPECT_EQ(destroy(spectrum), 1u);
}

class ScaleRange : public SpectrumTest {
 protected:
  // Eleven points at X 0..10.
  void SetUp() override {
    SpectrumTest::SetUp();
    spectrum_ = make_ramp(11, 0.0f, 10.0f);
  }
  void TearDown() override {
    EXPECT_EQ(destroy(spectrum_), 1u);
    SpectrumTest::TearDown();
  }

  // The columns of 31 that received rows.
  std::vector<int> drawn(float x1, float x2, uint32_t* result = nullptr) {
    std::vector<uint16_t> minima(31, 7);
    std::vector<uint16_t> maxima(31, 7);
    AP7_SCALERANGEPARM parameter{x1, x2, 0.0f, 12.0f, 31, 120, minima.data(), maxima.data()};
    const uint32_t answer = send(AP7_MSG_SCALE_RANGE, spectrum_, &parameter);
    if (result != nullptr) *result = answer;
    std::vector<int> columns;
    for (int c = 0; c < 31; ++c) {
      EXPECT_EQ(minima[c] == kNoValue, maxima[c] == kNoValue) << c;
      if (minima[c] != kNoValue) columns.push_back(c);
    }
    return columns;
  }

  static std::vector<int> span(int first, int last) {
    std::vector<int> columns;
    for (int c = first; c <= last; ++c) columns.push_back(c);
    return columns;
  }

  AP7_SPECTRUM* spectrum_ = nullptr;
};

TEST_F(ScaleRange, ARangeInsideTheDataUsesAllColumns) {
  uint32_t result = 0;
  EXPECT_EQ(drawn(2.0f, 8.0f, &result), span(0, 30));
  EXPECT_EQ(result, 1u);
}

TEST_F(ScaleRange, ARangeBeyondTheDataUsesTheColumnsOverIt) {
  // Forward: columns stand at -10 + k; column 11 (position 1) to 20 (10).
  EXPECT_EQ(drawn(-10.0f, 20.0f), span(11, 20));
  // Backward: columns stand at 20 - k; column 10 (position 10) to 20 (0).
  EXPECT_EQ(drawn(20.0f, -10.0f), span(10, 20));
}

TEST_F(ScaleRange, ARangeOutsideTheDataDrawsNothing) {
  uint32_t result = 1;
  EXPECT_EQ(drawn(30.0f, 40.0f, &result), std::vector<int>{});
  EXPECT_EQ(result, 0u);
}

class SelfDeconvolution : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* make_band(float first_x, float last_x) {
    AP7_SPECTRUM* spectrum = make_axis(first_x, last_x, band(64, 30.0f));
    record(spectrum).SSP = 0.0f;
    record(spectrum).LaserFreq = 0.0f;
    return spectrum;
  }

  static AP7_SPECTRUM* deconvolve(AP7_SPECTRUM* spectrum, uint32_t size = 0) {
    AP7_DECONVOLVEPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, 3.0f, 1.5f, 0, size};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SELF_DECONVOLVE, spectrum, &parameter));
  }

  // What the array operation gives for the whole row at transform size N.
  static std::vector<float> reference(AP7_SPECTRUM* spectrum, float half_width, uint32_t size) {
    AP4_RANGE whole{{0, 0}, {0, 63}};
    AP4_ARRAY* array = ap4b_FourierSelfDeconvolve(spectrum->data, whole, half_width, 1.5f, 0, size);
    std::vector<float> y = arraytest::values(array);
    arraytest::destroy(array);
    return y;
  }
};

struct SizeCase {
  float spacing_factor;
  uint32_t size;  // L = 1.2 x 15798: P = 65536 at a spacing of 1
};

class TransformSizes : public SelfDeconvolution, public testing::WithParamInterface<SizeCase> {};

TEST_P(TransformSizes, FollowFromTheSpacingFactorAndLaser) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make_band(0.0f, 63.0f);
  record(spectrum).SSP = GetParam().spacing_factor;
  AP7_SPECTRUM* result = deconvolve(spectrum);
  ASSERT_NE(result, nullptr);
  const std::vector<float> expected = reference(spectrum, 3.0f, GetParam().size);
  EXPECT_EQ(values(result), expected);
  // The size makes a difference the comparison sees.
  EXPECT_NE(values(result), reference(spectrum, 3.0f, GetParam().size * 2));
  EXPECT_EQ(packed(record(result).points), 64u);
  EXPECT_EQ(packed(record(result).first_x), 0.0f);
  EXPECT_EQ(packed(record(result).last_x), 63.0f);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_SELF_DECONVOLUTION), 1);
  EXPECT_EQ(destroy(result), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TransformSizes,
                         testing::Values(SizeCase{0.0f, 32768}, SizeCase{0.5f, 131072}, SizeCase{1.5f, 65536},
                                         SizeCase{0.25f, 262144}, SizeCase{4.0f, 16384}));

TEST_F(SelfDeconvolution, ADescendingAxisLeavesTheSizeToTheArray) {
  AP7_SPECTRUM* spectrum = make_band(63.0f, 0.0f);
  AP7_SPECTRUM* result = deconvolve(spectrum);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(values(result), reference(spectrum, -3.0f, 0));
  EXPECT_EQ(destroy(result), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SelfDeconvolution, AGivenSizeIsTakenAsItIs) {
  AP7_SPECTRUM* spectrum = make_band(0.0f, 63.0f);
  AP7_SPECTRUM* result = deconvolve(spectrum, 64);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(values(result), reference(spectrum, 3.0f, 64));
  EXPECT_EQ(destroy(result), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(SelfDeconvolution, ASpacingFactorWithoutAWholePartIsRefused) {
  const auto counts = live_counts();
  for (float factor : {0.3f, -1.0f, -0.5f}) {
    AP7_SPECTRUM* spectrum = make_band(0.0f, 63.0f);
    record(spectrum).SSP = factor;
    EXPECT_EQ(deconvolve(spectrum), nullptr) << factor;
    EXPECT_EQ(destroy(spectrum), 1u);
  }
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(SelfDeconvolution, AFailedArrayOperationGivesAPlainDuplicate) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make_band(0.0f, 63.0f);
  AP7_DECONVOLVEPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, 3.0f, 1.5f, 8, 0};  // mode 8 is refused
  auto* result = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SELF_DECONVOLVE, spectrum, &parameter));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(values(result), values(spectrum));
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_SELF_DECONVOLUTION), 0);
  EXPECT_EQ(destroy(result), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(SelfDeconvolution, ARangeOfMissingValuesMakesNothing) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 3.0f, {NAN, NAN, NAN, NAN});
  EXPECT_EQ(deconvolve(spectrum), nullptr);
  EXPECT_EQ(destroy(spectrum), 1u);
}

}  // namespace
