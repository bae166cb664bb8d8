// Pair operations of the ARRAY class over two ranges: the dot product.
//
// AP4_Dispatcher_ARRAY calls it for message 80; the orthogonalisation and
// the symmetric inverse of the chemometric layer take their sums through it.
#include "array/array.h"
#include "platform/memory.h"

namespace {

// The walk along a one-row or one-column range: where it starts, how far
// one step goes, how many steps it takes and whether it runs along a row;
// count 0 for anything else.
struct ap4b_walk {
  const float* first;
  uint32_t step;
  int32_t count;
  bool along_row;
};

ap4b_walk ap4b_line(const AP4_ARRAY* array, AP4_RANGE range) {
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const float* values = ap4a_GetDataAddress(array);
  if (extent.row < 1 || extent.column < 1 || (extent.row != 1 && extent.column != 1) || values == nullptr)
    return ap4b_walk{nullptr, 0, 0, false};
  const float* first =
      values + static_cast<uint32_t>(range.start.row) * array->columns + static_cast<uint32_t>(range.start.column);
  if (extent.row == 1) return ap4b_walk{first, 1, extent.column, true};
  return ap4b_walk{first, array->columns, extent.row, false};
}

}  // namespace

uint16_t ap4b_DotProduct(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range,
                         float* result) {
  if (!ap4a_is_array(array) || !ap4a_is_array(other) || IsBadWritePtr(result, sizeof(float))) return 0;
  const ap4b_walk a = ap4b_line(array, range);
  const ap4b_walk b = ap4b_line(other, other_range);
  if (a.count == 0 || a.count != b.count || a.along_row != b.along_row) return 0;
  double sum = 0.0;
  for (int32_t i = 0; i < a.count; ++i) {
    const float x = a.first[i * a.step];
    const float y = b.first[i * b.step];
    if (ap1_is_missing(x) || ap1_is_missing(y)) {
      *result = AP1_GetNaNSG_MATH();
      return 1;
    }
    sum += static_cast<double>(x) * y;
  }
  *result = static_cast<float>(sum);
  return 1;
}
