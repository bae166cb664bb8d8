// Shared set-up of the processing tests: spectra sampled from closed-form
// shapes (triangular bands on flat or sloped lines, whose heights, areas,
// widths and crossings follow from the shape), the measurement record and
// the messages sent to the spectrum's dispatcher.
#pragma once
#include <cmath>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing.h"
#include "spectrum/spectrum_fixture.h"

namespace measuretest {

using spectrumtest::send;

// A triangular band: height h at x = centre, falling linearly to 0 at
// centre - left and centre + right.
struct Triangle {
  float centre;
  float height;
  float left;
  float right;
  float at(float x) const {
    const float d = x - centre;
    if (d <= -left || d >= right) return 0.0f;
    return d < 0.0f ? height * (1.0f + d / left) : height * (1.0f - d / right);
  }
  // Its area, and the X where it crosses the fraction f of its height.
  float area() const { return height * (left + right) / 2.0f; }
  float left_at(float f) const { return centre - (1.0f - f) * left; }
  float right_at(float f) const { return centre + (1.0f - f) * right; }
};

// A line a + b x under the bands.
struct Line {
  float a;
  float b;
  float at(float x) const { return a + b * x; }
};

// n points from first to last X of the function.
inline AP7_SPECTRUM* sampled(float first_x, float last_x, uint32_t n, const std::function<float(float)>& f,
                             uint32_t y_units = AP1_YUNIT_ABSORBANCE) {
  std::vector<float> y(n);
  const double step = (double{last_x} - first_x) / (n - 1);
  for (uint32_t i = 0; i < n; ++i) y[i] = f(static_cast<float>(first_x + i * step));
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(first_x, last_x, y);
  spectrumtest::record(spectrum).y_units = y_units;
  return spectrum;
}

inline float x_of(float first_x, float last_x, uint32_t n, uint32_t i) {
  return static_cast<float>(first_x + i * ((double{last_x} - first_x) / (n - 1)));
}

// A record of the type with a baseline mode and its settings cleared.
inline AP7_MEASUREREC request(uint16_t type, uint16_t mode) {
  AP7_MEASUREREC r{};
  r.type = type;
  r.baseline_mode = mode;
  return r;
}

// A two-point baseline through the positions.
inline AP7_MEASUREREC through(uint16_t type, float p1, float p2) {
  AP7_MEASUREREC r = request(type, AP7E_BASELINE_THROUGH_POINTS);
  r.point_count = 2;
  r.position1 = p1;
  r.position2 = p2;
  return r;
}

inline uint32_t measure(AP7_SPECTRUM* spectrum, AP7_MEASUREREC& r) {
  return send(AP7_MSG_MEASURE_PEAK, spectrum, &r);
}

}  // namespace measuretest
