// New spectra made from one or two others: a range at twice the point
// density (message 155), and two spectra co-added by their scan counts
// (message 182). The inputs keep their data, header and history.
#include <cmath>
#include <cstdint>
#include <iterator>

#include "array/array.h"
#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

// The interpolating filter of a midpoint, over the four points before its
// left neighbour to the four after its right one.
constexpr float kMidpointWeights[] = {0.007730131f, -0.03220152f, 0.08014600f, -0.1818127f, 0.6261406f,
                                      0.6261406f,   -0.1818127f,  0.08014600f, -0.03220152f, 0.007730131f};
constexpr int32_t kWeightsBefore = 4;
// Midpoints whose left neighbour lies this close to either end of the data
// take the mean of their neighbours, so that the filter stays inside it.
constexpr int64_t kBorder = 5;

// A scan count as a weight: a spectrum that does not tell counts once.
double ap7b_scan_weight(uint32_t scans) { return scans == 0 ? 1.0 : static_cast<double>(scans); }

}  // namespace

AP7_SPECTRUM* ap7b_InterpolateDoublePoints(AP7_SPECTRUM* spectrum, float x1, float x2) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || std::isnan(x1) || std::isnan(x2)) return nullptr;
  AP4_CELL first{};
  AP4_CELL last{};
  const int32_t count = ap7b_XRangeToIndexRange(checked, &x1, &x2, &first, &last);
  const float* source = ap7b_GetDataPtr(checked);
  if (count < 2 || source == nullptr) return nullptr;
  const uint32_t made_points = 2 * static_cast<uint32_t>(count) - 1;
  if (made_points > AP7_MOST_POINTS) return nullptr;
  ap7a_new_spectrum result(ap7b_NewLike(checked, nullptr));
  if (result.get() == nullptr) return nullptr;
  ap4a_new_array values(ap4a_New(AP4_CLASS_ID, 1, made_points, nullptr));
  float* made = ap4a_GetDataAddress(values.get());
  if (made == nullptr) return nullptr;
  const int64_t points = record->points;
  for (int32_t k = 0; k < count; ++k) {
    const int64_t left = int64_t{first.column} + k;
    made[2 * k] = source[left];
    if (k == count - 1) break;
    double midpoint = 0.0;
    if (left < kBorder || left >= points - kBorder) {
      midpoint = (double{source[left]} + double{source[left + 1]}) / 2.0;
    } else {
      for (int32_t j = 0; j < static_cast<int32_t>(std::size(kMidpointWeights)); ++j)
        midpoint += double{source[left - kWeightsBefore + j]} * double{kMidpointWeights[j]};
    }
    made[2 * k + 1] = static_cast<float>(midpoint);
  }
  if (!ap7a_LinkData(result.get(), values.get(), x1, x2, made_points)) return nullptr;
  values.release();
  if (!ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(result.get()), AP41_HISTORY_INTERPOLATED)) return nullptr;
  return result.release();
}

// The weights go into the sum as it is made, so that neither input is
// scaled and scaled back: their values and history stay as they were, bit
// for bit. The sum is divided by the sum of the weights, which is the total
// scan count whenever both spectra tell theirs.
AP7_SPECTRUM* ap7b_AddWeighted(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP7_SPECTRUM* checked_other = ap7a_spectrum(other);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  const AP41_HEADERDATA* other_record = ap7a_record(checked_other);
  if (record == nullptr || other_record == nullptr || std::isnan(x1) || std::isnan(x2) ||
      !ap7d_CompareSpacing(checked, checked_other))
    return nullptr;
  AP4_RANGE range{};
  AP4_RANGE other_range{};
  const int32_t count = ap7b_CommonIndexRange(checked, &x1, &x2, &range.start, &range.end, checked_other,
                                              &other_range.start, &other_range.end);
  const float* a = ap7b_GetDataPtr(checked);
  const float* b = ap7b_GetDataPtr(checked_other);
  if (count < 1 || a == nullptr || b == nullptr) return nullptr;
  const double weight = ap7b_scan_weight(record->NumScans);
  const double other_weight = ap7b_scan_weight(other_record->NumScans);
  const double total = weight + other_weight;
  ap7a_new_spectrum result(ap7b_NewLike(checked, nullptr));
  if (result.get() == nullptr) return nullptr;
  ap4a_new_array values(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(count), nullptr));
  float* made = ap4a_GetDataAddress(values.get());
  if (made == nullptr) return nullptr;
  for (int32_t i = 0; i < count; ++i) {
    const float value = a[range.start.column + i];
    const float other_value = b[other_range.start.column + i];
    made[i] = ap1_is_missing(value) || ap1_is_missing(other_value)
                  ? AP1_GetNaNSG_MATH()
                  : static_cast<float>((weight * value + other_weight * other_value) / total);
  }
  if (!ap7a_LinkData(result.get(), values.get(), x1, x2, static_cast<uint32_t>(count))) return nullptr;
  values.release();
  AP41_HEADERDATA* sum = ap7a_record(result.get());
  sum->NumScans = record->NumScans + other_record->NumScans;
  sum->p39 = AP1_SquareRoot_MATH(record->p39 * record->p39 + other_record->p39 * other_record->p39);
  if (!ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(result.get()), AP41_HISTORY_ADD_SUBTRACT)) return nullptr;
  return result.release();
}
