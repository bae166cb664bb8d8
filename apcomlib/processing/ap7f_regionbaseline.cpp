// The region operations that prepare or judge one X region of a spectrum:
// the cleaning of a region copy that the robust baselines share.
#include "processing/processing.h"

bool ap7f_TrimMissingEnds(AP7_SPECTRUM* copy) {
  const float* y = ap7b_GetDataPtr(ap7a_spectrum(copy));
  if (y == nullptr) return false;
  const int32_t n = static_cast<int32_t>(copy->data->columns);
  int32_t lead = 0;
  while (lead + 1 < n && (ap1_is_missing(y[lead]) || ap1_is_missing(y[lead + 1]))) ++lead;
  if (lead + 1 >= n) return false;
  int32_t trail = 0;
  while (ap1_is_missing(y[n - 1 - trail]) || ap1_is_missing(y[n - 2 - trail])) ++trail;
  if (lead > 0 && !ap7a_DeletePoints(copy, 1, lead)) return false;
  if (trail > 0 && !ap7a_DeletePoints(copy, 0, trail)) return false;
  return ap4b_FillNaNGaps(copy->data) != 0;
}
