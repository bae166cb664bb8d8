// Arithmetic and matrix operations of the ARRAY class: the element-wise
// difference and quotient of two ranges, the division of a range by a
// value, the matrix product of two ranges and the transpose.
//
// AP4_Dispatcher_ARRAY calls these for their messages; the chemometric
// operations (least squares, symmetric inverse, orthogonalisation) are built
// from them. Every result is a new array that the caller deletes; the
// operands are never changed, except by the in-place division.
#include <cfloat>

#include "array/array.h"

namespace {

bool ap4a_valid_extent(AP4_CELL extent) { return extent.row >= 0 && extent.column >= 0; }

uint32_t ap4a_first_index(const AP4_ARRAY* array, AP4_CELL start) {
  return static_cast<uint32_t>(start.row) * array->columns + static_cast<uint32_t>(start.column);
}

// Resolves both ranges, lets `shape` give the result's extent from theirs
// (the invalid mark: no result), makes the result and lets `fill` write it,
// given the first element of each range and the two extents. Null also when
// a data block cannot be reached.
template <typename Shape, typename Fill>
AP4_ARRAY* ap4a_binary(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range,
                       Shape shape, Fill fill) {
  if (!ap4a_is_array(array) || !ap4a_is_array(other)) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const AP4_CELL other_extent = ap4c_ClampCellRange(other, &other_range.start, &other_range.end);
  if (!ap4a_valid_extent(extent) || !ap4a_valid_extent(other_extent)) return nullptr;
  const AP4_CELL size = shape(extent, other_extent);
  if (!ap4a_valid_extent(size)) return nullptr;
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, size.row, size.column, nullptr));
  const float* a = ap4a_GetDataAddress(array);
  const float* b = ap4a_GetDataAddress(other);
  float* out = ap4a_GetDataAddress(result.get());
  if (a == nullptr || b == nullptr || out == nullptr) return nullptr;
  fill(a + ap4a_first_index(array, range.start), b + ap4a_first_index(other, other_range.start), out, extent,
       other_extent);
  return result.release();
}

// A new array of the two ranges' common size whose element (i, j) is
// `combine` of the elements (i, j) of the two ranges, each walked with its
// own array's row stride; null when the ranges differ in size.
template <typename Combine>
AP4_ARRAY* ap4a_elementwise(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range,
                            Combine combine) {
  auto same_size = [](AP4_CELL a, AP4_CELL b) {
    return a.row == b.row && a.column == b.column ? a : AP4_INVALID_RANGE;
  };
  auto fill = [&](const float* a, const float* b, float* out, AP4_CELL extent, AP4_CELL) {
    for (int32_t i = 0; i < extent.row; ++i, a += array->columns, b += other->columns)
      for (int32_t j = 0; j < extent.column; ++j) *out++ = combine(a[j], b[j]);
  };
  return ap4a_binary(array, range, other, other_range, same_size, fill);
}

}  // namespace

AP4_ARRAY* ap4a_SubtractArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                               AP4_RANGE other_range) {
  return ap4a_elementwise(array, range, other, other_range, [](float a, float b) {
    if (ap1_is_missing(a) || ap1_is_missing(b)) return AP1_GetNaNSG_MATH();
    return static_cast<float>(static_cast<double>(a) - b);
  });
}

AP4_ARRAY* ap4a_DivideArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                             AP4_RANGE other_range) {
  return ap4a_elementwise(array, range, other, other_range, [](float a, float b) {
    if (ap1_is_missing(a) || ap1_is_missing(b) || !(static_cast<double>(b < 0 ? -b : b) > FLT_MIN))
      return AP1_GetNaNSG_MATH();
    return static_cast<float>(static_cast<double>(a) / b);
  });
}

uint16_t ap4a_DivideScalar(AP4_ARRAY* array, AP4_RANGE range, float value) {
  if (!ap4a_is_array(array)) return 0;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  if (!ap4a_valid_extent(extent)) return 0;
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  const bool by_zero = AP1_KovFloatCompareSG_MATH(value, 0.0f) != 0;
  float* row = values + ap4a_first_index(array, range.start);
  for (int32_t i = 0; i < extent.row; ++i, row += array->columns) {
    for (int32_t j = 0; j < extent.column; ++j) {
      if (by_zero)
        row[j] = AP1_GetNaNSG_MATH();
      else if (!ap1_is_missing(row[j]))
        row[j] = static_cast<float>(static_cast<double>(row[j]) / value);
    }
  }
  return 1;
}

// Each element is summed over k ascending from 0.0 in double precision.
AP4_ARRAY* ap4a_MatrixProduct(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                              AP4_RANGE other_range) {
  auto chained = [](AP4_CELL a, AP4_CELL b) {
    return a.column == b.row ? AP4_CELL{a.row, b.column} : AP4_INVALID_RANGE;
  };
  auto fill = [&](const float* a, const float* b, float* out, AP4_CELL extent, AP4_CELL other_extent) {
    const uint32_t stride = other->columns;
    for (int32_t i = 0; i < extent.row; ++i, a += array->columns) {
      for (int32_t j = 0; j < other_extent.column; ++j) {
        double sum = 0.0;
        const float* down = b + j;
        for (int32_t k = 0; k < extent.column; ++k, down += stride) sum = static_cast<double>(a[k]) * *down + sum;
        *out++ = static_cast<float>(sum);
      }
    }
  };
  return ap4a_binary(array, range, other, other_range, chained, fill);
}

AP4_ARRAY* ap4a_Transpose(const AP4_ARRAY* array) {
  if (!ap4a_is_array(array)) return nullptr;
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, array->columns, array->rows, nullptr));
  if (result.get() == nullptr) return nullptr;
  const float* from = ap4a_GetDataAddress(array);
  float* to = ap4a_GetDataAddress(result.get());
  if (from == nullptr || to == nullptr) return nullptr;
  for (uint32_t r = 0; r < array->rows; ++r)
    for (uint32_t c = 0; c < array->columns; ++c) to[c * array->rows + r] = from[r * array->columns + c];
  return result.release();
}
