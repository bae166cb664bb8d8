#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class PowerSpectrum : public SpectrumTest {
 protected:
  // A reflectance spectrum (fraction) of the values, one point per X unit.
  static AP7_SPECTRUM* reflectance(const std::vector<float>& y) {
    AP7_SPECTRUM* spectrum = make_axis(1000.0f, 1000.0f + static_cast<float>(y.size() - 1), y);
    record(spectrum).y_units = 21;
    return spectrum;
  }

  static AP7_SPECTRUM* power(AP7_SPECTRUM* spectrum, AP4_ARRAY** result, uint16_t mode = 3, float limit = 10.0f,
                             float x1 = AP_NOT_GIVEN, float x2 = AP_NOT_GIVEN) {
    AP7G_POWERPARM parameter{x1, x2, mode, limit, result};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_POWER_SPECTRUM, spectrum, &parameter));
  }
};

struct Sinusoid {
  double amplitude;
  double period;  // points
  double phase;
};

std::vector<float> sum_of(const std::vector<Sinusoid>& parts, uint32_t m, double offset) {
  std::vector<float> y(m);
  for (uint32_t i = 0; i < m; ++i) {
    double v = offset;
    for (const Sinusoid& s : parts) v += s.amplitude * std::sin(2.0 * M_PI * i / s.period + s.phase);
    y[i] = static_cast<float>(v);
  }
  return y;
}

// The power spectrum worked by a slow DFT: the values less their mean,
// weighted by (m - i)/m, zero-filled to `length`; for each bin below M/2 its
// real and imaginary part squared, side by side, divided by the largest
// square from value 3 on.
std::vector<double> slow_power(const std::vector<float>& y, uint32_t length, uint32_t size) {
  const auto m = static_cast<uint32_t>(y.size());
  double mean = 0.0;
  for (float v : y) mean += v;
  mean /= m;
  std::vector<double> x(m);
  for (uint32_t i = 0; i < m; ++i) x[i] = (y[i] - mean) * (m - i) / m;
  std::vector<double> p(size);
  for (uint32_t bin = 0; bin < size / 2; ++bin) {
    double re = 0.0;
    double im = 0.0;
    for (uint32_t i = 0; i < m; ++i) {
      re += x[i] * std::cos(2.0 * M_PI * bin * i / length);
      im -= x[i] * std::sin(2.0 * M_PI * bin * i / length);
    }
    p[2 * bin] = re * re;
    p[2 * bin + 1] = im * im;
  }
  const double largest = *std::max_element(p.begin() + 3, p.end());
  for (double& v : p) v /= largest;
  return p;
}

TEST_F(PowerSpectrum, SumOfSinusoidsMatchesASlowTransform) {
  // 256 points: P = 256, M = 512, a transform of 1024 points, so a period
  // of T points lies in bin 1024 / T.
  const std::vector<float> y = sum_of({{0.1, 16.0, 0.3}, {0.04, 32.0, 1.1}}, 256, 0.5);
  AP7_SPECTRUM* spectrum = reflectance(y);
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* spectrum_power = power(spectrum, &result);
  ASSERT_NE(spectrum_power, nullptr);
  ASSERT_NE(result, nullptr);
  const std::vector<float> v = values(spectrum_power);
  ASSERT_EQ(v.size(), 512u);
  EXPECT_EQ(packed(record(spectrum_power).first_x), 0.0f);
  EXPECT_EQ(packed(record(spectrum_power).last_x), 255.5f);
  EXPECT_EQ(packed(record(spectrum_power).x_units), 2u);
  EXPECT_EQ(packed(record(spectrum_power).y_units), 8u);
  const std::vector<double> expected = slow_power(y, 1024, 512);
  for (size_t j = 3; j < v.size(); ++j) EXPECT_NEAR(v[j], expected[j], 1e-4) << "value " << j;
  // The strongest component lies in bin 64, at X 64 or 64.5.
  const std::vector<float> columns = arraytest::values(result);
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_NEAR(columns[1], 64.25f, 0.75f);
  EXPECT_NEAR(columns[2], 1.0f, 0.05f);
  destroy(spectrum_power);
  ap4a_Delete(result, nullptr);
  destroy(spectrum);
}

// The two strongest peaks above the limit: the ripple's bin, where its
// real and imaginary squares stand side by side as two peaks of about the
// same height.
TEST_F(PowerSpectrum, StrongestPeaksAreTheRipplesBin) {
  const std::vector<float> y = sum_of({{0.05, 20.0, 0.0}}, 300, 0.4);
  AP7_SPECTRUM* spectrum = reflectance(y);
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* spectrum_power = power(spectrum, &result);
  ASSERT_NE(spectrum_power, nullptr);
  const std::vector<float> columns = arraytest::values(result);
  // 300 points: P = 512, a transform of 2048 points; the period of 20 in bin 102.4.
  EXPECT_NEAR(columns[1], 102.4f, 1.0f);
  EXPECT_NEAR(columns[2], 1.0f, 0.05f);
  EXPECT_NEAR(columns[3], 102.4f, 1.5f);
  EXPECT_GT(columns[4], 0.1f);
  EXPECT_LE(columns[4], columns[2]);
  destroy(spectrum_power);
  ap4a_Delete(result, nullptr);
  destroy(spectrum);
}

// A constant spectrum has no power anywhere: two passes, verdict 0, and
// the columns as the new array holds them.
TEST_F(PowerSpectrum, FlatSpectrumHasNoDominantComponent) {
  AP7_SPECTRUM* spectrum = reflectance(std::vector<float>(100, 0.3f));
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* spectrum_power = power(spectrum, &result);
  ASSERT_NE(spectrum_power, nullptr);
  EXPECT_EQ(arraytest::values(result), std::vector<float>(5, 0.0f));
  destroy(spectrum_power);
  ap4a_Delete(result, nullptr);
  destroy(spectrum);
}

struct Size {
  uint32_t points;
  uint32_t power_points;
  float last_x;
};

TEST_F(PowerSpectrum, SizesFollowThePowerOfTwoAboveThePointCount) {
  for (const Size s : {Size{1000, 2048, 1023.5f}, Size{40000, 65536, 65535.0f}, Size{16, 32, 15.5f}}) {
    SCOPED_TRACE(s.points);
    AP7_SPECTRUM* spectrum = reflectance(sum_of({{0.05, 7.0, 0.0}}, s.points, 0.4));
    AP4_ARRAY* result = nullptr;
    AP7_SPECTRUM* spectrum_power = power(spectrum, &result);
    ASSERT_NE(spectrum_power, nullptr);
    EXPECT_EQ(values(spectrum_power).size(), s.power_points);
    EXPECT_EQ(packed(record(spectrum_power).last_x), s.last_x);
    const std::vector<float> v = values(spectrum_power);
    EXPECT_EQ(*std::max_element(v.begin() + 3, v.end()), 1.0f);
    destroy(spectrum_power);
    ap4a_Delete(result, nullptr);
    destroy(spectrum);
  }
}

TEST_F(PowerSpectrum, EqualLimitsAnalyseTheWholeSpectrum) {
  const std::vector<float> y = sum_of({{0.1, 16.0, 0.3}}, 128, 0.5);
  AP7_SPECTRUM* spectrum = reflectance(y);
  AP4_ARRAY* whole = nullptr;
  AP4_ARRAY* equal = nullptr;
  AP7_SPECTRUM* a = power(spectrum, &whole);
  AP7_SPECTRUM* b = power(spectrum, &equal, 3, 10.0f, 1050.0f, 1050.0f);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(values(a), values(b));
  EXPECT_EQ(arraytest::values(whole), arraytest::values(equal));
  for (AP7_SPECTRUM* s : {a, b, spectrum}) destroy(s);
  ap4a_Delete(whole, nullptr);
  ap4a_Delete(equal, nullptr);
}

// The modes transform the reflectance before the transform: -1/R, R, or
// (1 + R)/(1 - R); a value the mode has none for becomes a gap filled from
// its neighbours, so it changes nothing when it lies on a straight line.
TEST_F(PowerSpectrum, ValuesWithoutATransformAreFilledFromTheirNeighbours) {
  std::vector<float> y = sum_of({{0.1, 16.0, 0.3}}, 128, 0.5);
  struct Case {
    uint16_t mode;
    float bad;
  };
  for (const Case c : {Case{2, 0.0f}, Case{1, 1.0f}, Case{1, 1.5f}}) {
    SCOPED_TRACE(c.mode);
    std::vector<float> with_gap = y;
    // Points 63 to 65 lie on a line once point 64 is replaced by its
    // neighbours' mean in the transformed values; compare with that.
    auto transformed = [&](float r) { return c.mode == 2 ? -1.0f / r : (1.0f + r) / (1.0f - r); };
    auto inverse = [&](float t) { return c.mode == 2 ? -1.0f / t : (t - 1.0f) / (t + 1.0f); };
    std::vector<float> filled = y;
    filled[64] = inverse((transformed(y[63]) + transformed(y[65])) / 2.0f);
    with_gap[64] = c.bad;
    AP7_SPECTRUM* gap = reflectance(with_gap);
    AP7_SPECTRUM* line = reflectance(filled);
    AP4_ARRAY* r1 = nullptr;
    AP4_ARRAY* r2 = nullptr;
    AP7_SPECTRUM* a = power(gap, &r1, c.mode);
    AP7_SPECTRUM* b = power(line, &r2, c.mode);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const std::vector<float> va = values(a);
    const std::vector<float> vb = values(b);
    for (size_t j = 0; j < va.size(); ++j) EXPECT_NEAR(va[j], vb[j], 1e-4) << "value " << j;
    for (AP7_SPECTRUM* s : {a, b, gap, line}) destroy(s);
    ap4a_Delete(r1, nullptr);
    ap4a_Delete(r2, nullptr);
  }
}

TEST_F(PowerSpectrum, RefusedInputsWriteNoArray) {
  AP7_SPECTRUM* tiny = reflectance({0.2f, 0.3f});
  auto* sentinel = reinterpret_cast<AP4_ARRAY*>(0x1234);
  AP4_ARRAY* result = sentinel;
  const auto arrays = APX_GetClassTable()->classes[AP4_CLASS_ID].live;
  // Two points make a transform of 8 values, which the FFT refuses.
  EXPECT_EQ(power(tiny, &result), nullptr);
  EXPECT_EQ(result, sentinel);
  EXPECT_EQ(APX_GetClassTable()->classes[AP4_CLASS_ID].live, arrays);
  destroy(tiny);
  AP7_SPECTRUM* spectrum = reflectance(sum_of({{0.1, 16.0, 0.3}}, 64, 0.5));
  EXPECT_EQ(power(spectrum, &result, 3, NAN), nullptr);
  EXPECT_EQ(power(spectrum, &result, 3, 10.0f, NAN, 1020.0f), nullptr);
  EXPECT_EQ(result, sentinel);
  AP7G_POWERPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, 3, 10.0f, nullptr};
  EXPECT_EQ(send(AP7_MSG_POWER_SPECTRUM, spectrum, &parameter), 0u);
  destroy(spectrum);
}

}  // namespace
