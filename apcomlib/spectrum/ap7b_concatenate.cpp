// Joining two spectra into one over the union of their X ranges (message
// 154): the sum where both have a value, the one value where the other is
// missing. The formula arithmetic adds spectra with it.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "array/array.h"
#include "spectrum/spectrum.h"

AP7_SPECTRUM* ap7b_Concatenate(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  const AP41_HEADERDATA* other_record = ap7a_record(ap7a_spectrum(other));
  if (record == nullptr || other_record == nullptr) return nullptr;
  // Both axes must run the same way for one extension to fit both.
  if ((record->first_x <= record->last_x) != (other_record->first_x <= other_record->last_x)) return nullptr;
  ap7a_new_spectrum first(ap7a_Duplicate(spectrum, nullptr));
  ap7a_new_spectrum second(ap7a_Duplicate(other, nullptr));
  if (first.get() == nullptr || second.get() == nullptr) return nullptr;
  AP41_HEADERDATA* joined = ap7a_record(first.get());
  const AP41_HEADERDATA* added = ap7a_record(second.get());
  if (joined->x_units == AP41_XUNITS_POINTS && added->x_units == AP41_XUNITS_POINTS)
    joined->NumScans = joined->NumScans + added->NumScans;

  const float ends[] = {joined->first_x, joined->last_x, added->first_x, added->last_x};
  const float low = *std::min_element(std::begin(ends), std::end(ends));
  const float high = *std::max_element(std::begin(ends), std::end(ends));
  float x1 = low;
  float x2 = high;
  const uint32_t count = ap7b_ExtendToXRange(first.get(), &x1, &x2);
  x1 = low;
  x2 = high;
  const uint32_t other_count = ap7b_ExtendToXRange(second.get(), &x1, &x2);
  if (count == 0 || count != other_count) return nullptr;
  float* y = ap7b_GetDataPtr(first.get());
  const float* other_y = ap7b_GetDataPtr(second.get());
  if (y == nullptr || other_y == nullptr) return nullptr;
  {
    ap7a_change_bracket bracket(first.get());
    if (!bracket.begun()) return nullptr;
    for (uint32_t i = 0; i < count; ++i) {
      const float value = y[i];
      const float other_value = other_y[i];
      if (ap1_is_missing(other_value)) continue;
      y[i] = ap1_is_missing(value) ? other_value : value + other_value;
    }
  }
  if (!ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(first.get()), AP41_HISTORY_CONCATENATION) ||
      !ap7d_CopyListTo(spectrum, first.get()))
    return nullptr;
  return first.release();
}
