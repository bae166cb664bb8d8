// Small queries of the spectrum class: whether two spectra's X spacings
// agree, a spectrum's object list copied onto another, the direction its
// peaks point, the peak-search threshold and the full scale of its Y unit.
//
// The spacing test decides whether two spectra share a common index range
// (the axis module) and may be combined; the list copy serves the spectrum's
// copy and every operation that gives a new spectrum the list of the one it
// was made from; the peak queries serve the peak search.
// AP7_Dispatcher_SPECTRUM calls them for their messages.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Spacings agree when they differ by at most this share of the larger one.
constexpr double kSpacingTolerance = 0.01;

}  // namespace

// The larger spacing is taken by magnitude, so that two axes running
// downward compare as two running upward do.
uint16_t ap7d_CompareSpacing(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other) {
  if (ap7a_spectrum(spectrum) == nullptr || ap7a_spectrum(other) == nullptr) return 0;
  const double spacing = ap7b_GetXSpacing(spectrum);
  const double other_spacing = ap7b_GetXSpacing(other);
  const double larger = std::max(std::fabs(spacing), std::fabs(other_spacing));
  if (AP1_KovFloatCompareSG_MATH(static_cast<float>(larger), 0.0f)) return 0;
  return std::fabs(spacing - other_spacing) / larger <= kSpacingTolerance ? 1 : 0;
}

// The other spectrum's list goes, with its members, only once the deep
// duplicate that replaces it exists; a spectrum without a list leaves the
// other's as it is.
uint16_t ap7d_CopyListTo(const AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other) {
  const AP7_SPECTRUM* source = ap7a_spectrum(spectrum);
  AP7_SPECTRUM* target = ap7a_spectrum(other);
  if (source == nullptr || target == nullptr) return 0;
  if (source->list == nullptr || source == target) return 1;
  AP40_LLIST* copy = ap40_Duplicate_LLIST(source->list, nullptr, 1);
  if (copy == nullptr) return 0;
  if (target->list != nullptr) ap40_Destroy_LLIST(target->list, nullptr, 1);
  target->list = copy;
  return 1;
}

namespace {

// The threshold's range term when the range gives none.
constexpr float kNoRangeStep = 1e10f;
constexpr float kSmallestRangeStep = 1e-10f;

// The peak step of a Y unit whose scale is fixed; 0 for the others, whose
// step comes from the spread of their data.
float ap7d_unit_step(uint32_t y_code) {
  switch (y_code) {
    case 11:
    case 16:
    case 26: return 0.4f;
    case 12:
    case 17:
    case 21:
    case 23: return 0.004f;
    case 20: return 0.04f;
    case 22: return 0.01f;
    default: return 0.0f;
  }
}

}  // namespace

int16_t ap7d_GetPeakDirection(const AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return AP1_PEAKS_UP;
  return static_cast<int16_t>(AP1_GetPeakDir_MATH(static_cast<uint16_t>(record->y_units)));
}

int16_t ap7d_PeakSearchThreshold(AP7_SPECTRUM* spectrum, int16_t use_range, int16_t log_mode, float x1, float x2,
                                 float sensitivity, float* threshold, float* base, float* step) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(threshold, sizeof(float)) || IsBadWritePtr(base, sizeof(float)) ||
      IsBadWritePtr(step, sizeof(float)))
    return 0;
  float range_step = kNoRangeStep;
  float low = 0.0f;
  float high = 0.0f;
  uint32_t points = 0;
  if (use_range != 0 && ap7a_GetRangePoints(spectrum, x1, x2, &points) && points > 2 &&
      ap7a_MinMax(spectrum, x1, x2, &low, &high) && !std::isnan(low) && !std::isnan(high)) {
    range_step = (high - low) / (log_mode != 0 ? 2.0f : 200.0f);
    if (range_step < kSmallestRangeStep) range_step = kNoRangeStep;
  }
  float unit_step = ap7d_unit_step(record->y_units);
  if (unit_step == 0.0f) {
    float all_low = 0.0f;
    float all_high = 0.0f;
    ap7a_MinMax(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &all_low, &all_high);
    unit_step = (all_high - all_low) / (log_mode != 0 ? 200.0f : 100.0f);
  }
  if (log_mode != 0) unit_step *= 200.0f;
  *step = std::min(range_step, unit_step);
  *base = 0.0f;
  if (log_mode != 0)
    *threshold = sensitivity == 100.0f ? 0.0f : *step * std::pow(10.0f, -0.023f * sensitivity);
  else
    *threshold = (100.0f - sensitivity) * *step / 100.0f;
  return 1;
}

float ap7d_GetYUnitScale(AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0.0f;
  switch (record->y_units) {
    case 11:
    case 16: return 100.0f;
    case 21:
    case 23: return 1.0f;
    case 27: {
      float low = 0.0f;
      float high = 0.0f;
      ap7a_MinMax(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &low, &high);
      return high == 0.0f || std::isnan(high) ? 1.0f : high;
    }
    default: return 0.0f;
  }
}
