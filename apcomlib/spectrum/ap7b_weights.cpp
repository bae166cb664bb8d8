// Difference weights: point by point over the common range of two spectra,
// the share of their squared difference that exceeds the noise expected of
// the first, 0 where the difference is within the noise.
//
// The expected noise is the first spectrum's noise value (or one derived
// from its scans and resolution), shaped along the wavenumber axis by a
// detector's response. Resolution smoothing weighs what its smoothing
// removed through it.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// The noise of one scan at unit resolution, and the scans assumed when the
// header counts none.
constexpr double kNoisePerScan = 0.024;
constexpr uint32_t kDefaultScans = 8;
constexpr double kLeastNoise = 1e-10;
// Interferograms are taken to carry this noise at every point.
constexpr double kInterferogramNoise = 10.0;
constexpr uint32_t kDifferenceUnits = 10;
constexpr int32_t kMostNoisePairs = 10;
constexpr double kLn10 = 2.302585;

// The wavenumber below which the detector's response falls off.
double ap7b_low_end(uint32_t detector) {
  switch (detector & 0xFFFF) {
    case 1: return 380.0;
    case 2: return 180.0;
    case 5:
    case 6: return 450.0;
    default: return 400.0;
  }
}

// How much noisier than the middle of the axis a wavenumber is.
double ap7b_noise_shape(double x, double low_end) {
  if (x > 4000.0) return (x - 4000.0) * 0.0115 + 3.5;
  if (x > 2000.0) return (x - 2000.0) * 0.00125 + 1.0;
  if (x > 1200.0) return 1.0;
  if (x > 600.0) return (1200.0 - x) * 0.00417 + 1.0;
  return (600.0 - x) * 16.5 / (600.0 - low_end) + 3.5;
}

double ap7b_noise_level(const AP7_SPECTRUM* a) {
  const AP41_HEADERDATA* record = ap7a_record(a);
  const float noise = record->p39;
  if (noise > kLeastNoise) return noise;
  const uint32_t scans = record->NumScans != 0 ? record->NumScans : kDefaultScans;
  float resolution = 0.0f;
  if (!AP1_GetResolution_MATH(record->SSP, static_cast<int32_t>(record->NumPostPeakPts), &resolution, nullptr) ||
      !(resolution > 0.0f))
    resolution = static_cast<float>(2.0 * std::fabs(double{ap7b_GetXSpacing(a)}));
  return kNoisePerScan / (std::sqrt(static_cast<double>(scans)) * resolution);
}

// The noise of a spectrum in difference units: the mean step between its
// first neighbouring points, over half their count.
double ap7b_step_noise(const AP7_SPECTRUM* a, int32_t count) {
  const float* y = ap7b_GetDataPtr(a);
  const int32_t pairs = std::min(count - 1, kMostNoisePairs);
  if (y == nullptr || pairs < 1) return 0.0;
  double sum = 0.0;
  for (int32_t k = 0; k < pairs; ++k)
    if (!std::isnan(y[k]) && !std::isnan(y[k + 1])) sum += std::fabs(double{y[k + 1]} - y[k]);
  return sum / (pairs / 2.0);
}

}  // namespace

AP7_SPECTRUM* ap7b_DifferenceWeights(AP7_SPECTRUM* a, float x1, float x2, AP7_SPECTRUM* b) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(a));
  if (record == nullptr || ap7a_record(ap7a_spectrum(b)) == nullptr || std::isnan(x1) || std::isnan(x2))
    return nullptr;
  AP4_CELL first{};
  AP4_CELL last{};
  AP4_CELL other_first{};
  AP4_CELL other_last{};
  const int32_t count = ap7b_CommonIndexRange(a, &x1, &x2, &first, &last, b, &other_first, &other_last);
  if (count < 1) return nullptr;
  ap7a_new_spectrum result(ap7a_NewFromRange(a, x1, x2));
  if (result.get() == nullptr || ap7a_record(result.get())->points != static_cast<uint32_t>(count)) return nullptr;
  const uint32_t units = record->y_units;
  const bool absorbance = units == 17;
  if (absorbance && !ap7b_ConvertToTransmittance(result.get(), 1)) return nullptr;

  double sigma = ap7b_noise_level(a);
  bool flat = false;
  if (units == AP41_YUNITS_INTERFEROGRAM) {
    sigma = kInterferogramNoise;
    flat = true;
  } else if (units == kDifferenceUnits) {
    sigma = ap7b_step_noise(a, count);
    flat = true;
  }
  const double low_end = ap7b_low_end(record->DetectorID);
  const double spacing = ap7b_GetXSpacing(a);
  const float* ya = ap7b_GetDataPtr(a) + first.column;
  const float* yb = ap7b_GetDataPtr(b) + other_first.column;
  float* weights = ap7b_GetDataPtr(result.get());
  for (int32_t i = 0; i < count; ++i) {
    double expected = sigma * sigma;
    if (!flat) {
      double shape = ap7b_noise_shape(double{x1} + i * spacing, low_end);
      if (absorbance) shape /= std::max(double{weights[i]}, kLeastNoise) * kLn10 / 100.0;
      expected *= shape * shape;
    }
    const double d = std::isnan(ya[i]) || std::isnan(yb[i]) ? 0.0 : double{ya[i]} - yb[i];
    const double squared = d * d;
    weights[i] = squared > expected && expected > 0.0 ? static_cast<float>((squared - expected) / squared) : 0.0f;
  }
  return result.release();
}
