// Collection parameters completed from a spectrum's X axis.
//
// Spectra from exchange formats and other sources arrive without the
// settings of their collection, yet later steps need a reference laser
// frequency, a sample spacing, a transform size and scan counts. The
// completion fills in those that are 0 from the X axis of the data and,
// on request, rescales an axis whose spacing does not fit the laser
// frequency. AP7_Dispatcher_SPECTRUM calls it for message 260.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kWavenumbers = 1;
constexpr uint32_t kRamanShift = 32;
constexpr float kDefaultLaser = 15798.0f;

// A spacing within this of a multiple of a quarter wavenumber is taken as
// fitting its laser; otherwise the axis is rescaled when the spacing is
// further than half a step from the laser over a power of two.
constexpr double kQuarters = 4.0;
constexpr double kQuarterTolerance = 0.01;
constexpr double kLaserShare = 0.8;
// The laser span a power of two of points reaches at the least.
constexpr double kLeastSpan = 7500.0;
// Searches for a power of two stop here: spacings so fine that no count
// of points a header holds would reach the span are not completed.
constexpr uint32_t kMostPower = 1u << 28;

// The smallest power of two p, from 1, with p·d >= target; 0 when none up
// to kMostPower is (also for a target that is not a number).
uint32_t ap7d_power_reaching(double d, double target) {
  for (uint32_t p = 1; p <= kMostPower; p *= 2)
    if (p * d >= target) return p;
  return 0;
}

// The data's X range in absolute wavenumbers, in ascending order; false
// for units that give none.
bool ap7d_wavenumber_range(const AP41_HEADERDATA& record, double* lo, double* hi) {
  double a = record.first_x;
  double b = record.last_x;
  if (record.x_units == kRamanShift) {
    const double line = record.p44;
    if (!std::isfinite(line) || line == 0.0) return false;
    a = line - record.last_x;
    b = line - record.first_x;
  } else if (record.x_units != kWavenumbers) {
    return false;
  }
  *lo = std::min(a, b);
  *hi = std::max(a, b);
  return true;
}

// An axis whose spacing is not a multiple of a quarter wavenumber and lies
// more than half a step from the laser over the nearest power of two is
// stretched onto that spacing.
bool ap7d_correct_axis(AP41_HEADERDATA& record, double d) {
  const double laser = record.LaserFreq;
  if (std::fabs(kQuarters * d - std::round(kQuarters * d)) <= kQuarterTolerance) return false;
  const uint32_t f = ap7d_power_reaching(d, kLaserShare * laser);
  if (f == 0) return false;
  const double s = f * d;
  if (!(std::fabs(s - laser) > laser / (2.0 * f))) return false;
  record.first_x = static_cast<float>(record.first_x * (laser / s));
  record.last_x = static_cast<float>(record.last_x * (laser / s));
  return true;
}

// The laser frequency, spacing factor and transform size of a collection
// whose data reach up to hi.
bool ap7d_complete_laser(AP41_HEADERDATA& record, double d, double hi) {
  uint32_t n = ap7d_power_reaching(d, kLeastSpan);
  if (n == 0) return false;
  double span = n * d;
  float factor = 2.0f;
  for (float wider : {1.0f, 0.5f}) {
    if (!(span < hi)) break;
    factor = wider;
    span *= 2;
    n *= 2;
  }
  record.LaserFreq = static_cast<float>(span * factor);
  record.SSP = factor;
  record.NumTransformPts = 2 * n;
  return true;
}

// The interferogram of a collection that folds at the laser over twice the
// spacing factor, and what the collection arithmetic derives from it.
bool ap7d_complete_interferogram(AP41_HEADERDATA& record, double d, double hi) {
  const double laser = record.LaserFreq;
  uint32_t m = ap7d_power_reaching(d, laser / 2.0);
  if (m == 0) return false;
  float factor = 2.0f;
  if (laser / 2.0 < hi) {
    m *= 2;
    factor = 1.0f;
  }
  if (laser < hi) {
    m *= 2;
    factor = 0.5f;
  }
  float resolution = 0.0f;
  if (AP1_GetResolution_MATH(factor, static_cast<int32_t>(m), &resolution, nullptr) == 0) return false;
  float ssp = factor;
  uint32_t total = 0, transform_input = 0, fft = 0, phase = 0, transform = 0, pre_peak = 0, peak = 0, corr = 0;
  float spacing = 0.0f;
  AP1_ConvertParam_MATH(resolution, 0, record.LaserFreq, static_cast<float>(hi), &ssp, &total, &transform_input, &fft,
                        &phase, &transform, &pre_peak, &peak, &corr, &spacing);
  record.NumPostPeakPts = m;
  record.SSP = ssp;
  record.NumScanPts = total;
  record.NumTransformPts = transform;
  record.FinalPeakPos = peak;
  return true;
}

}  // namespace

// The X range is read again after an axis correction, so that what is
// completed next describes the corrected axis.
uint16_t ap7d_CompleteCollectParams(AP7_SPECTRUM* spectrum, int16_t correct_axis) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || record->points < 2 || AP1_KovFloatCompareSG_MATH(record->first_x, record->last_x))
    return 0;
  ap7a_change_bracket bracket(checked);
  if (!bracket.begun()) return 0;
  double lo = 0.0;
  double hi = 0.0;
  if (!ap7d_wavenumber_range(*record, &lo, &hi)) {
    if (record->LaserFreq == 0.0f) record->LaserFreq = kDefaultLaser;
    return 0;
  }
  const double steps = record->points - 1.0;
  double d = (hi - lo) / steps;
  if (!(d > 0.0) || !std::isfinite(d)) return 0;
  bool changed = false;
  if (correct_axis != 0 && record->x_units == kWavenumbers && record->LaserFreq > 0.0f &&
      ap7d_correct_axis(*record, d)) {
    changed = true;
    ap7d_wavenumber_range(*record, &lo, &hi);
    d = (hi - lo) / steps;
  }
  if (record->LaserFreq == 0.0f) changed = ap7d_complete_laser(*record, d, hi) || changed;
  if (record->NumPostPeakPts == 0 && record->LaserFreq > 0.0f)
    changed = ap7d_complete_interferogram(*record, d, hi) || changed;
  if (record->NumScans == 0) {
    record->NumScans = 1;
    changed = true;
  }
  if (record->BKNumScans == 0) {
    record->BKNumScans = 1;
    changed = true;
  }
  if (record->Gain == 0.0f) {
    record->Gain = 1.0f;
    changed = true;
  }
  return changed ? 1 : 0;
}
