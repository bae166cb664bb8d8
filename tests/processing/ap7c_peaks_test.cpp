#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "processing/measure_fixture.h"

namespace {

using namespace measuretest;

class PeakCentroid : public SpectrumTest {
 protected:
  uint32_t centroid(AP7_SPECTRUM* s, float x, float fraction) {
    result_ = -1.0f;
    AP7_CENTROIDPARM block{x, fraction, &result_};
    return send(AP7_MSG_PEAK_CENTROID, s, &block);
  }
  float result_ = 0.0f;
};

TEST_F(PeakCentroid, SymmetricBandGivesItsApex) {
  const Triangle t{37.0f, 5.0f, 9.0f, 9.0f};
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 201, [t](float x) { return t.at(x); });  // spacing 0.5
  ASSERT_EQ(centroid(s, 36.0f, 0.5f), 1u);
  EXPECT_FLOAT_EQ(result_, 37.0f);
  spectrumtest::destroy(s);
}

// The centroid of the weights (y - level) of the trapezoids from the first
// point at or below the level on each side: for 0, 1, 2, 3, 4, 2, 0 at
// level 1.6 (f 0.4 of 4) the ends are points 1 and 6 and the weights
// -0.1, 0.9, 1.9, 1.4, -0.6 at 0.5 .. 4.5 points from point 1.
TEST_F(PeakCentroid, UnevenBandAndItsMirrorImage) {
  const std::vector<float> up = {0, 1, 2, 3, 4, 2, 0};
  std::vector<float> down;
  for (float v : up) down.push_back(100.0f - v);
  const double weights[] = {-0.1, 0.9, 1.9, 1.4, -0.6};
  double sum = 0.0, moment = 0.0;
  for (int k = 0; k < 5; ++k) {
    sum += weights[k];
    moment += (k + 0.5) * weights[k];
  }
  const float expected = static_cast<float>(10.0 + (1.0 + moment / sum) * 2.0);  // 10..22 at spacing 2
  AP7_SPECTRUM* s = spectrumtest::make_axis(10.0f, 22.0f, up);
  spectrumtest::record(s).y_units = AP1_YUNIT_ABSORBANCE;
  ASSERT_EQ(centroid(s, 18.0f, 0.4f), 1u);
  EXPECT_NEAR(result_, expected, 1e-5);
  spectrumtest::destroy(s);
  // A band pointing down from 100 is its mirror image: the same centroid.
  s = spectrumtest::make_axis(10.0f, 22.0f, down);
  spectrumtest::record(s).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
  ASSERT_EQ(centroid(s, 18.0f, 0.4f), 1u);
  EXPECT_NEAR(result_, expected, 1e-5);
  spectrumtest::destroy(s);
}

TEST_F(PeakCentroid, Refusals) {
  AP7_SPECTRUM* s = sampled(0.0f, 10.0f, 11, [](float x) { return x < 5.0f ? x : 10.0f - x; });
  EXPECT_EQ(centroid(s, 5.0f, 0.0f), 0u);
  EXPECT_EQ(centroid(s, 5.0f, 1.0f), 0u);
  EXPECT_EQ(centroid(s, 11.0f, 0.5f), 0u);
  ap7b_GetDataPtr(s)[5] = AP1_GetNaNSG_MATH();
  EXPECT_EQ(centroid(s, 5.0f, 0.5f), 0u);
  for (uint32_t units : {AP1_YUNIT_INTERFEROGRAM, AP1_YUNIT_SINGLE_BEAM}) {
    spectrumtest::record(s).y_units = units;
    EXPECT_EQ(centroid(s, 4.0f, 0.5f), 0u);
  }
  spectrumtest::destroy(s);
  AP7_SPECTRUM* one = sampled(3.0f, 3.0f, 1, [](float) { return 1.0f; });
  EXPECT_EQ(centroid(one, 3.0f, 0.5f), 0u);
  spectrumtest::destroy(one);
}

class DerivativePeaks : public SpectrumTest {
 protected:
  uint32_t find(AP7_SPECTRUM* s, float x1, float x2, float half_width, int16_t max_count, int16_t mode,
                float threshold = -1.0f) {
    list_ = reinterpret_cast<GU3_HANDLE>(1);
    AP7_DERIVATIVEPEAKSPARM block{x1, x2, half_width, max_count, mode, threshold, &list_};
    return send(threshold < 0.0f ? AP7_MSG_SECOND_DERIVATIVE_PEAKS : AP7_MSG_SECOND_DERIVATIVE_PEAKS_AT, s, &block);
  }
  std::vector<float> positions() {
    std::vector<float> x;
    if (list_ == nullptr) return x;
    const auto* p = static_cast<const float*>(GU3_GetPointer_MM(list_, 0, nullptr, nullptr));
    x.assign(p, p + GU3_NumElements_MM(list_));
    GU3_Free_MM(list_);
    list_ = nullptr;
    return x;
  }
  GU3_HANDLE list_ = nullptr;
};

// Two Gaussian bands of width 8 whose centres 14 apart merge into one
// maximum in the data; the second derivative separates them again, near
// their centres (the overlap pulls each a little toward the other).
float gauss(float x, float centre, float sigma) {
  const float u = (x - centre) / sigma;
  return std::exp(-0.5f * u * u);
}

TEST_F(DerivativePeaks, SeparatesOverlappingBands) {
  AP7_SPECTRUM* s = sampled(0.0f, 200.0f, 401, [](float x) { return gauss(x, 93.0f, 8.0f) + gauss(x, 107.0f, 8.0f); });
  // The data themselves have one maximum, at 100.
  const std::vector<float> y = spectrumtest::values(s);
  for (int i = 190; i < 200; ++i) EXPECT_LT(y[i], y[i + 1]);
  for (int i = 200; i < 210; ++i) EXPECT_GT(y[i], y[i + 1]);
  ASSERT_EQ(find(s, 0.0f, 0.0f, 3.0f, 0, 0), AP7C_PEAKS_OK);
  const std::vector<float> x = positions();
  ASSERT_EQ(x.size(), 2u);
  EXPECT_NEAR(x[0], 93.0f, 1.5f);
  EXPECT_NEAR(x[1], 107.0f, 1.5f);
  EXPECT_LT(x[0], x[1]);
  // At most one: the stronger.
  ASSERT_EQ(find(s, 50.0f, 150.0f, 3.0f, 1, 1, 90.0f), AP7C_PEAKS_OK);
  EXPECT_EQ(positions().size(), 1u);
  spectrumtest::destroy(s);
}

TEST_F(DerivativePeaks, Codes) {
  AP7_SPECTRUM* s = sampled(0.0f, 200.0f, 401, [](float x) { return gauss(x, 100.0f, 8.0f); });
  EXPECT_EQ(find(s, 0.0f, 0.0f, 0.0f, 0, 0), AP7C_PEAKS_BAD_WIDTH);
  EXPECT_EQ(list_, nullptr);
  EXPECT_EQ(find(s, 0.0f, 0.0f, 3.0f, 101, 0), AP7C_PEAKS_TOO_MANY);
  EXPECT_EQ(find(s, 0.0f, 0.0f, 3.0f, 5, 3), AP7C_PEAKS_BAD_MODE);
  EXPECT_EQ(find(s, 0.0f, 0.0f, 3.0f, 5, -1), AP7C_PEAKS_BAD_MODE);
  EXPECT_EQ(find(s, 300.0f, 400.0f, 3.0f, 5, 0), AP7C_PEAKS_SHORT_REGION);
  EXPECT_EQ(find(s, 10.0f, 10.5f, 3.0f, 5, 0), AP7C_PEAKS_SHORT_REGION);
  AP7_DERIVATIVEPEAKSPARM block{0.0f, 0.0f, 3.0f, 0, 0, 0.0f, nullptr};
  EXPECT_EQ(send(AP7_MSG_SECOND_DERIVATIVE_PEAKS, s, &block), AP7C_PEAKS_NO_OBJECT);
  // No bands: success with no list.
  AP7_SPECTRUM* line = sampled(0.0f, 200.0f, 401, [](float) { return 0.0f; });
  EXPECT_EQ(find(line, 0.0f, 0.0f, 3.0f, 0, 2), AP7C_PEAKS_OK);
  EXPECT_EQ(list_, nullptr);
  spectrumtest::destroy(line);
  AP7_SPECTRUM* flat_axis = sampled(5.0f, 5.0f, 10, [](float) { return 1.0f; });
  EXPECT_EQ(find(flat_axis, 0.0f, 0.0f, 3.0f, 0, 0), AP7C_PEAKS_BAD_WIDTH);
  spectrumtest::destroy(flat_axis);
  spectrumtest::destroy(s);
}

}  // namespace
