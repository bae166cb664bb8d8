#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/lorentz_oscillator.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class KramersKronig : public SpectrumTest {
 protected:
  // A percent-reflectance spectrum of the oscillator over first..last.
  static AP7_SPECTRUM* reflectance_spectrum(const oscillator::Lorentz& model, uint32_t n, float first, float last) {
    std::vector<float> y(n);
    for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(100.0 * model.reflectance(nu(first, last, n, i)));
    AP7_SPECTRUM* spectrum = make_axis(first, last, y);
    record(spectrum).y_units = 11;
    record(spectrum).x_units = 1;
    return spectrum;
  }

  static double nu(float first, float last, uint32_t n, uint32_t i) {
    return first + (static_cast<double>(last) - first) * i / (n - 1);
  }

  static AP7_SPECTRUM* transform(AP7_SPECTRUM* spectrum, float x1 = AP_NOT_GIVEN, float x2 = AP_NOT_GIVEN) {
    AP7_XRANGEPARM parameter{x1, x2};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_KRAMERS_KRONIG, spectrum, &parameter));
  }

  static bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
    return send(AP7_MSG_TEST_HISTORY_FLAG, spectrum, &bit) == 1;
  }
};

std::vector<double> normalised(std::vector<double> v) {
  const auto [low, high] = std::minmax_element(v.begin(), v.end());
  const double min = *low;
  const double span = *high - min;
  for (double& x : v) x = (x - min) / span;
  return v;
}

// The absorption index the transform estimates, k·nu, brought to 0..1 as
// the transform brings its result.
std::vector<double> expected_index(const oscillator::Lorentz& model, uint32_t n, float first, float last) {
  std::vector<double> index(n);
  for (uint32_t i = 0; i < n; ++i) {
    const double nu = first + (static_cast<double>(last) - first) * i / (n - 1);
    index[i] = model.index(nu).imag() * nu;
  }
  return normalised(index);
}

size_t peak_of(const std::vector<float>& v) { return std::max_element(v.begin(), v.end()) - v.begin(); }
size_t peak_of(const std::vector<double>& v) { return std::max_element(v.begin(), v.end()) - v.begin(); }

TEST_F(KramersKronig, RecoversTheAbsorptionIndexOfALorentzOscillator) {
  const oscillator::Lorentz model;
  constexpr uint32_t kPoints = 301;
  AP7_SPECTRUM* spectrum = reflectance_spectrum(model, kPoints, 400.0f, 1600.0f);
  const std::vector<float> before = values(spectrum);
  AP7_SPECTRUM* result = transform(spectrum);
  ASSERT_NE(result, nullptr);
  const std::vector<float> y = values(result);
  const std::vector<double> expected = expected_index(model, kPoints, 400.0f, 1600.0f);
  ASSERT_EQ(y.size(), expected.size());
  // The periodic transform of a finite range leaves a small error on the
  // band's steep side; with the phase of log10 R in place of ln R the band
  // comes out several points off and half as high there.
  EXPECT_NEAR(static_cast<double>(peak_of(y)), static_cast<double>(peak_of(expected)), 2.0);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], expected[i], 0.2) << "point " << i;
  for (size_t i : {0u, 50u, 100u, 250u, 300u}) EXPECT_NEAR(y[i], expected[i], 0.03) << "point " << i;
  EXPECT_EQ(values(spectrum), before);
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_KRAMERS_KRONIG));
  EXPECT_TRUE(history_bit(result, AP41_HISTORY_KRAMERS_KRONIG));
  destroy(result);
  destroy(spectrum);
}

TEST_F(KramersKronig, ResultLiesBetweenZeroAndOne) {
  AP7_SPECTRUM* spectrum = reflectance_spectrum(oscillator::Lorentz{}, 101, 600.0f, 1400.0f);
  AP7_SPECTRUM* result = transform(spectrum, 704.0f, 1296.0f);
  ASSERT_NE(result, nullptr);
  const std::vector<float> y = values(result);
  EXPECT_EQ(y.size(), 75u);
  EXPECT_EQ(packed(record(result).first_x), 704.0f);
  EXPECT_EQ(packed(record(result).last_x), 1296.0f);
  EXPECT_EQ(*std::min_element(y.begin(), y.end()), 0.0f);
  EXPECT_EQ(*std::max_element(y.begin(), y.end()), 1.0f);
  destroy(result);
  destroy(spectrum);
}

// The transform runs along rising wavenumbers whichever way the data run.
TEST_F(KramersKronig, FallingAxisGivesTheSameBandReversed) {
  const oscillator::Lorentz model;
  AP7_SPECTRUM* rising = reflectance_spectrum(model, 201, 600.0f, 1400.0f);
  AP7_SPECTRUM* falling = reflectance_spectrum(model, 201, 1400.0f, 600.0f);
  AP7_SPECTRUM* up = transform(rising);
  AP7_SPECTRUM* down = transform(falling);
  ASSERT_NE(up, nullptr);
  ASSERT_NE(down, nullptr);
  std::vector<float> reversed = values(down);
  std::reverse(reversed.begin(), reversed.end());
  const std::vector<float> forward = values(up);
  for (size_t i = 0; i < forward.size(); ++i) EXPECT_NEAR(reversed[i], forward[i], 1e-4) << "point " << i;
  for (AP7_SPECTRUM* s : {up, down, rising, falling}) destroy(s);
}

TEST_F(KramersKronig, ConstantReflectanceIsNotNormalised) {
  AP7_SPECTRUM* spectrum = make_axis(1000.0f, 1004.0f, std::vector<float>(5, 40.0f));
  record(spectrum).y_units = 11;
  AP7_SPECTRUM* result = transform(spectrum);
  ASSERT_NE(result, nullptr);
  // No phase, no absorption, and nothing to stretch to 0..1.
  for (float y : values(result)) EXPECT_NEAR(y, 0.0f, 1e-4f);
  destroy(result);
  destroy(spectrum);
}

TEST_F(KramersKronig, RefusedCases) {
  AP7_SPECTRUM* spectrum = reflectance_spectrum(oscillator::Lorentz{}, 41, 800.0f, 1200.0f);
  // One point gives a working row of 8 values, too short for the FFT.
  EXPECT_EQ(transform(spectrum, 1000.0f, 1000.0f), nullptr);
  EXPECT_EQ(transform(spectrum, 1300.0f, 1400.0f), nullptr);
  EXPECT_EQ(transform(spectrum, NAN, 1000.0f), nullptr);
  // Five points make 16 complex points, which the FFT takes.
  AP7_SPECTRUM* five = transform(spectrum, 980.0f, 1020.0f);
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(values(five).size(), 5u);
  // A transformed spectrum is not transformed again.
  EXPECT_EQ(transform(five), nullptr);
  destroy(five);
  // Nor is a spectrum whose units have no absorbance.
  record(spectrum).y_units = 31;
  EXPECT_EQ(transform(spectrum), nullptr);
  destroy(spectrum);
}

}  // namespace
