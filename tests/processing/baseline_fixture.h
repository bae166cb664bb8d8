// Shared set-up of the baseline tests: synthetic spectra (deterministic
// noise, Gaussian bands) and the robust baselines' block and call.
#pragma once
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "processing/processing_fixture.h"

namespace baselinetest {

constexpr uint32_t kTransmittance = 23;

// Uniform noise of half-width `amplitude`, the same on every run.
inline std::vector<double> noise(size_t n, double amplitude) {
  std::vector<double> values(n);
  uint32_t state = 12345;
  for (double& value : values) {
    state = state * 1103515245u + 12345u;
    value = amplitude * (static_cast<double>((state >> 8) & 0xFFFF) / 32767.5 - 1.0);
  }
  return values;
}

inline double gaussian(double x, double centre, double width) {
  return std::exp(-(x - centre) * (x - centre) / (2.0 * width * width));
}

}  // namespace baselinetest

class BaselineTest : public ProcessingTest {
 protected:
  // A spectrum over first..last with the values and Y unit, kept.
  AP7_SPECTRUM* spectrum_of(float first_x, float last_x, const std::vector<double>& y, uint32_t y_units) {
    std::vector<float> values(y.begin(), y.end());
    AP7_SPECTRUM* spectrum = keep(spectrumtest::make_axis(first_x, last_x, values));
    spectrumtest::record(spectrum).y_units = y_units;
    return spectrum;
  }

  // The block of messages 266 and 267 over the whole spectrum, k2 = 1.
  static AP7F_ROBUSTPARM robust_block(uint32_t size, uint16_t direction, uint16_t output, float k, float w0) {
    AP7F_ROBUSTPARM p{};
    p.size = size;
    p.direction = direction;
    p.output = output;
    p.x1 = AP_NOT_GIVEN;
    p.x2 = AP_NOT_GIVEN;
    p.k = k;
    p.k2 = 1.0f;
    p.w0 = w0;
    return p;
  }

  AP7_SPECTRUM* robust(uint16_t message, AP7_SPECTRUM* spectrum, AP7F_ROBUSTPARM p, AP4_ARRAY** result) {
    p.result = result;
    return keep(ap_result_object<AP7_SPECTRUM>(spectrumtest::send(message, spectrum, &p)));
  }

  // The message refuses a spectrum of the values for each size: 0, the
  // out-field untouched and nothing left behind.
  void expect_refusals(uint16_t message, const std::vector<float>& y, std::initializer_list<uint32_t> sizes) {
    const auto counts = spectrumtest::live_counts();
    AP7_SPECTRUM* spectrum = spectrumtest::make_axis(0.0f, static_cast<float>(y.size() - 1), y);
    spectrumtest::record(spectrum).y_units = kAbsorbance;
    AP4_ARRAY* untouched = reinterpret_cast<AP4_ARRAY*>(0x1234);
    for (uint32_t size : sizes) {
      AP7F_ROBUSTPARM p = robust_block(size, AP7F_DIRECTION_UP, AP7F_OUTPUT_BASELINE, 3.0f, 1.0f);
      p.result = &untouched;
      EXPECT_EQ(spectrumtest::send(message, spectrum, &p), 0u) << size;
      EXPECT_EQ(untouched, reinterpret_cast<AP4_ARRAY*>(0x1234));
    }
    EXPECT_EQ(spectrumtest::destroy(spectrum), 1u);
    EXPECT_EQ(spectrumtest::live_counts(), counts);
  }

  // The result array's cells; the array is kept.
  std::vector<float> columns(AP4_ARRAY* result) {
    keep(result);
    return arraytest::values(result);
  }
};
