// The areas of a band of a spectrum, message 178: the trapezoid sums of the
// band above the full scale of its Y unit and above a straight baseline
// drawn through the valid ends of a baseline range, both counted positive in
// the spectrum's peak direction and scaled by its X spacing.
//
// The feature values (ap7d_features.cpp) read band areas through it.
#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "spectrum/spectrum.h"

uint16_t ap7b_MeasureArea(AP7_SPECTRUM* spectrum, float x1, float x2, float x3, float x4, float* area_level,
                          float* area_baseline) {
  if (area_level == nullptr || area_baseline == nullptr) return 0;
  *area_level = 0.0f;
  *area_baseline = 0.0f;
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr) return 0;
  AP4_CELL start{};
  AP4_CELL end{};
  AP4_CELL baseline_start{};
  AP4_CELL baseline_end{};
  const int32_t points = ap7b_XRangeToIndexRange(checked, &x1, &x2, &start, &end);
  if (points < 1 || ap7b_XRangeToIndexRange(checked, &x3, &x4, &baseline_start, &baseline_end) < 1) return 0;
  const uint16_t direction = static_cast<uint16_t>(ap7d_GetPeakDirection(checked));
  if (ap4d_RangeArea(checked->data, start, end, baseline_start, baseline_end, direction, ap7d_GetYUnitScale(checked),
                     area_level, area_baseline) == 0)
    return 0;
  if (points > 1) {
    const float spacing = ap7b_GetXSpacing(checked);
    *area_level *= spacing;
    *area_baseline *= spacing;
  }
  return 1;
}
