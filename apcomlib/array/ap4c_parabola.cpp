// Sub-point refinement of a peak that the array's peak search found on a
// whole column: the vertex of the parabola fitted, by least squares through
// a DATAPAIR list, to the window of points centred on it.
#include "array/array.h"

namespace {

constexpr int16_t kMaximum = 1;
constexpr int16_t kMinimum = 2;

// Deletes the pair list when the scope ends.
struct ap4c_pair_list {
  AP9_DATAPAIR* pairs;
  ~ap4c_pair_list() {
    if (pairs != nullptr) ap9_Destroy(pairs, nullptr);
  }
};

}  // namespace

void ap4c_RefinePeakParabola(const AP4_ARRAY* array, int32_t row, int32_t column, int16_t direction, int16_t window,
                             float* position, float* value) {
  if (position == nullptr || value == nullptr) return;
  *position = static_cast<float>(column);
  if (!ap4a_GetElement(array, AP4_CELL{row, column}, value)) *value = AP1_GetNaNSG_MATH();
  if (!ap4a_is_array(array) || window < 1) return;
  const int32_t h = (window - 1) / 2;
  if (column <= h || int64_t{column} + h > int64_t{array->columns}) return;
  ap4c_pair_list list{ap9_New(AP9_CLASS_ID, static_cast<uint32_t>(window), nullptr)};
  if (list.pairs == nullptr) return;

  // The last point may lie one beyond the row; it then repeats its neighbour.
  float y = *value;
  for (int32_t k = 0; k < window; ++k) {
    float read = 0.0f;
    if (ap4a_GetElement(array, AP4_CELL{row, column - h + k}, &read)) y = read;
    ap9_SetPair(list.pairs, static_cast<uint32_t>(k), 0, static_cast<float>(k - h), y);
  }
  ap4a_new_array fit(ap9_PolyFit(list.pairs, 2));
  const float* c = ap4a_GetDataAddress(fit.get());
  if (c == nullptr || ap1_is_missing(c[0]) || ap1_is_missing(c[1]) || ap1_is_missing(c[2])) return;
  const bool curved = direction == kMaximum ? c[2] < 0.0f : direction == kMinimum && c[2] > 0.0f;
  if (!curved) return;
  const float d = AP1_KovFloatCompareSG_MATH(c[2], 0.0f) ? 0.0f : -c[1] / (2.0f * c[2]);
  *position = static_cast<float>(column) + d;
  *value = c[0] + c[1] * d + c[2] * d * d;
}
