// Pair operations of the ARRAY class over two ranges or two arrays: the dot
// product, the regression slope, the count of valid pairs, the residual of
// a row after projection onto the rows of another array and the Kronecker
// product.
//
// AP4_Dispatcher_ARRAY calls them for messages 78, 80, 83 and 352; the
// orthogonalisation and the symmetric inverse of the chemometric layer take
// their sums through the dot product, the spectrum layer counts pairs.
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

// Two ranges of one row each, of the same length of at least 2 columns.
bool ap4b_row_pair(const ap4b_walk& a, const ap4b_walk& b) {
  return a.count >= 2 && a.count == b.count && a.along_row && b.along_row;
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

uint32_t ap4b_CountValidPairs(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range) {
  if (!ap4a_is_array(array) || !ap4a_is_array(other)) return 0;
  const ap4b_walk a = ap4b_line(array, range);
  const ap4b_walk b = ap4b_line(other, other_range);
  if (!ap4b_row_pair(a, b)) return 0;
  uint32_t count = 0;
  for (int32_t i = 0; i < a.count; ++i)
    if (!ap1_is_missing(a.first[i]) && !ap1_is_missing(b.first[i])) ++count;
  return count;
}

// Each range's mean is over its own present elements; the sums over the
// positions where both are present.
uint16_t ap4b_RegressionSlope(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range,
                              float* slope) {
  if (!ap4a_is_array(array) || !ap4a_is_array(other) || IsBadWritePtr(slope, sizeof(float))) return 0;
  const ap4b_walk a = ap4b_line(array, range);
  const ap4b_walk b = ap4b_line(other, other_range);
  if (!ap4b_row_pair(a, b)) return 0;
  float mean_a = 0.0f;
  float mean_b = 0.0f;
  ap4a_Mean(array, range, AP_NOT_GIVEN, &mean_a);
  ap4a_Mean(other, other_range, AP_NOT_GIVEN, &mean_b);
  double sab = 0.0;
  double sbb = 0.0;
  bool paired = false;
  for (int32_t i = 0; i < a.count; ++i) {
    if (ap1_is_missing(a.first[i]) || ap1_is_missing(b.first[i])) continue;
    const double da = static_cast<double>(a.first[i]) - mean_a;
    const double db = static_cast<double>(b.first[i]) - mean_b;
    sab += da * db;
    sbb += db * db;
    paired = true;
  }
  if (AP1_KovFloatCompareDB_MATH(sbb, 0.0)) sbb = 1.0;
  *slope = static_cast<float>(sab / sbb);
  return paired ? 1 : 0;
}

// x - (P xᵀ)ᵀ P for the range's row x, through the array operations and
// their missing-value rules.
AP4_ARRAY* ap4b_ProjectionResidual(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* basis) {
  if (!ap4a_is_array(array) || !ap4a_is_array(basis)) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  if (extent.row != 1 || extent.column < 1 || basis->columns != static_cast<uint32_t>(extent.column)) return nullptr;
  ap4a_new_array x(ap4a_ExtractRange(array, range));
  ap4a_new_array column(ap4a_Transpose(x.get()));
  ap4a_new_array c(ap4a_MatrixProduct(basis, AP4_WHOLE_RANGE, column.get(), AP4_WHOLE_RANGE));
  ap4a_new_array c_row(ap4a_Transpose(c.get()));
  ap4a_new_array r(ap4a_MatrixProduct(c_row.get(), AP4_WHOLE_RANGE, basis, AP4_WHOLE_RANGE));
  if (x.get() == nullptr || r.get() == nullptr) return nullptr;
  return ap4a_SubtractArrays(x.get(), AP4_WHOLE_RANGE, r.get(), AP4_WHOLE_RANGE);
}

AP4_ARRAY* ap4b_KroneckerProduct(const AP4_ARRAY* array, const AP4_ARRAY* other) {
  if (!ap4a_is_array(array) || !ap4a_is_array(other)) return nullptr;
  const uint64_t rows = uint64_t{array->rows} * other->rows;
  const uint64_t columns = uint64_t{array->columns} * other->columns;
  if (rows == 0 || columns == 0 || rows > INT32_MAX || columns > INT32_MAX || rows * columns > INT32_MAX / 4)
    return nullptr;
  ap4a_new_array product(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(rows), static_cast<uint32_t>(columns), nullptr));
  float* to = ap4a_GetDataAddress(product.get());
  const float* a = ap4a_GetDataAddress(array);
  const float* b = ap4a_GetDataAddress(other);
  if (to == nullptr || a == nullptr || b == nullptr) return nullptr;
  const float missing = AP1_GetNaNSG_MATH();
  for (uint32_t i = 0; i < array->rows; ++i) {
    for (uint32_t j = 0; j < array->columns; ++j) {
      const float factor = a[i * array->columns + j];
      for (uint32_t k = 0; k < other->rows; ++k) {
        float* block_row = to + (i * other->rows + k) * columns + j * other->columns;
        for (uint32_t l = 0; l < other->columns; ++l) {
          const float element = b[k * other->columns + l];
          block_row[l] = ap1_is_missing(factor) || ap1_is_missing(element) ? missing : factor * element;
        }
      }
    }
  }
  return product.release();
}
