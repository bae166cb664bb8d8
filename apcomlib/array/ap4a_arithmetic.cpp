// Arithmetic, matrix operations and statistics of the ARRAY class: the
// element-wise sum, difference, product and quotient of two ranges, the
// same with a value in place, the matrix product of two ranges, the
// transpose and pseudo-inverse, rows scaled by a vector, the local
// polynomial fit, and the minimum and maximum, sum, mean and standard
// deviation of a range.
//
// AP4_Dispatcher_ARRAY calls these for their messages; the chemometric
// operations (least squares, symmetric inverse, orthogonalisation) are built
// from them. Every result is a new array that the caller deletes; the
// operands are never changed, except by the in-place operations with a
// value.
#include <cfloat>
#include <cmath>

#include "array/array.h"
#include "chemometrics/chemometrics.h"

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

AP4_ARRAY* ap4a_AddArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range) {
  return ap4a_elementwise(array, range, other, other_range, [](float a, float b) {
    if (ap1_is_missing(a) || ap1_is_missing(b)) return AP1_GetNaNSG_MATH();
    return static_cast<float>(static_cast<double>(a) + b);
  });
}

AP4_ARRAY* ap4a_SubtractArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                               AP4_RANGE other_range) {
  return ap4a_elementwise(array, range, other, other_range, [](float a, float b) {
    if (ap1_is_missing(a) || ap1_is_missing(b)) return AP1_GetNaNSG_MATH();
    return static_cast<float>(static_cast<double>(a) - b);
  });
}

// A missing operand makes the product NaN through the arithmetic itself.
AP4_ARRAY* ap4a_MultiplyArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                               AP4_RANGE other_range) {
  return ap4a_elementwise(array, range, other, other_range,
                          [](float a, float b) { return static_cast<float>(static_cast<double>(a) * b); });
}

AP4_ARRAY* ap4a_DivideArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                             AP4_RANGE other_range) {
  return ap4a_elementwise(array, range, other, other_range, [](float a, float b) {
    if (ap1_is_missing(a) || ap1_is_missing(b) || !(static_cast<double>(b < 0 ? -b : b) > FLT_MIN))
      return AP1_GetNaNSG_MATH();
    return static_cast<float>(static_cast<double>(a) / b);
  });
}

namespace {

// Applies `apply` in place to every element of the range of a changeable
// array; 0 before anything changes for a range, data block or change
// bracket that cannot be had.
template <typename Apply>
uint16_t ap4a_in_place(AP4_ARRAY* array, AP4_RANGE range, Apply apply) {
  if (!ap4a_is_array(array)) return 0;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  if (!ap4a_valid_extent(extent)) return 0;
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  float* row = values + ap4a_first_index(array, range.start);
  for (int32_t i = 0; i < extent.row; ++i, row += array->columns)
    for (int32_t j = 0; j < extent.column; ++j) apply(row[j]);
  return 1;
}

// Missing elements stay missing under every operation with a value.
template <typename Combine>
uint16_t ap4a_with_value(AP4_ARRAY* array, AP4_RANGE range, Combine combine) {
  return ap4a_in_place(array, range, [&](float& x) {
    if (!ap1_is_missing(x)) x = static_cast<float>(combine(static_cast<double>(x)));
  });
}

}  // namespace

uint16_t ap4a_AddScalar(AP4_ARRAY* array, AP4_RANGE range, float value) {
  return ap4a_with_value(array, range, [value](double x) { return x + value; });
}

uint16_t ap4a_SubtractScalar(AP4_ARRAY* array, AP4_RANGE range, float value) {
  return ap4a_with_value(array, range, [value](double x) { return x - value; });
}

uint16_t ap4a_MultiplyScalar(AP4_ARRAY* array, AP4_RANGE range, float value) {
  return ap4a_with_value(array, range, [value](double x) { return value * x; });
}

// A division by (about) 0 leaves no element of the range with a value.
uint16_t ap4a_DivideScalar(AP4_ARRAY* array, AP4_RANGE range, float value) {
  if (AP1_KovFloatCompareSG_MATH(value, 0.0f) != 0)
    return ap4a_in_place(array, range, [](float& x) { x = AP1_GetNaNSG_MATH(); });
  return ap4a_with_value(array, range, [value](double x) { return x / value; });
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

// Kind 1, for at least as many rows as columns: (AᵀA)⁻¹Aᵀ; kind 2, for at
// most as many: Aᵀ(AAᵀ)⁻¹. The mode is the symmetric inverse's fallback.
AP4_ARRAY* ap4a_PseudoInverse(const AP4_ARRAY* array, uint16_t kind, uint16_t mode) {
  if (!ap4a_is_array(array)) return nullptr;
  const bool left = kind == AP4_PSEUDO_INVERSE_LEFT && array->rows >= array->columns;
  const bool right = kind == AP4_PSEUDO_INVERSE_RIGHT && array->rows <= array->columns;
  if (!left && !right) return nullptr;
  constexpr AP4_RANGE whole = AP4_WHOLE_RANGE;
  ap4a_new_array transpose(ap4a_Transpose(array));
  if (transpose.get() == nullptr) return nullptr;
  ap4a_new_array square(left ? ap4a_MatrixProduct(transpose.get(), whole, array, whole)
                             : ap4a_MatrixProduct(array, whole, transpose.get(), whole));
  if (square.get() == nullptr) return nullptr;
  ap4a_new_array inverse(ap4c_InvertSymmetric(square.get(), mode));
  if (inverse.get() == nullptr) return nullptr;
  return left ? ap4a_MatrixProduct(inverse.get(), whole, transpose.get(), whole)
              : ap4a_MatrixProduct(transpose.get(), whole, inverse.get(), whole);
}

// The vector runs along this range's first row (step 1) when its columns
// match the other range's rows, else down its first column (step of a row).
AP4_ARRAY* ap4a_ScaleRowsByVector(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                                  AP4_RANGE other_range) {
  auto fits = [](AP4_CELL vector, AP4_CELL scaled) {
    return vector.column == scaled.row || vector.row == scaled.row ? scaled : AP4_INVALID_RANGE;
  };
  auto fill = [&](const float* v, const float* b, float* out, AP4_CELL extent, AP4_CELL other_extent) {
    const uint32_t step = extent.column == other_extent.row ? 1 : array->columns;
    for (int32_t i = 0; i < other_extent.row; ++i, v += step, b += other->columns)
      for (int32_t j = 0; j < other_extent.column; ++j) *out++ = static_cast<float>(static_cast<double>(*v) * b[j]);
  };
  return ap4a_binary(array, range, other, other_range, fits, fill);
}

// ---------------------------------------------------------------------------
// Local polynomial fit

namespace {

// A new rows × columns array whose element (i, j) is value(i, j); null when
// it cannot be had.
template <typename Value>
AP4_ARRAY* ap4a_array_of(uint32_t rows, uint32_t columns, Value value) {
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, rows, columns, nullptr));
  float* out = ap4a_GetDataAddress(result.get());
  if (out == nullptr) return nullptr;
  for (uint32_t i = 0; i < rows; ++i)
    for (uint32_t j = 0; j < columns; ++j) *out++ = value(i, j);
  return result.release();
}

}  // namespace

uint16_t ap4a_PolyFit(const float* data, int32_t n, int32_t m, int32_t degree, int32_t abscissa, float* value,
                      float* slope, float* curvature) {
  for (float* output : {value, slope, curvature})
    if (output != nullptr) *output = 0.0f;
  if (degree != 2 && degree != 3) return 0;
  const int32_t count = m > n ? n : m;
  if (count < 0 || data == nullptr) return 0;
  if (count < degree + 1) return 1;
  const float* y = data + (m - count);
  double origin;
  double step = 1.0;
  switch (abscissa) {
    case AP4_POLYFIT_FIRST_AT_ZERO: origin = 0.0; step = -1.0; break;
    case AP4_POLYFIT_LAST_AT_ZERO: origin = -(count - 1.0); break;
    default: origin = -(count - 1.0) / 2.0; break;
  }
  const uint32_t points = static_cast<uint32_t>(count);
  const uint32_t terms = static_cast<uint32_t>(degree) + 1;
  constexpr AP4_RANGE whole = AP4_WHOLE_RANGE;
  ap4a_new_array design(ap4a_array_of(points, terms, [&](uint32_t i, uint32_t j) {
    return static_cast<float>(std::pow(origin + step * i, static_cast<double>(j)));
  }));
  ap4a_new_array values(ap4a_array_of(points, 1, [&](uint32_t i, uint32_t) { return y[i]; }));
  if (design.get() == nullptr || values.get() == nullptr) return 0;
  ap4a_new_array transpose(ap4a_Transpose(design.get()));
  if (transpose.get() == nullptr) return 0;
  ap4a_new_array normal(ap4a_MatrixProduct(transpose.get(), whole, design.get(), whole));
  if (normal.get() == nullptr) return 0;
  ap4a_new_array inverse(ap4d_SqInverse(normal.get()));
  if (inverse.get() == nullptr) return 0;
  ap4a_new_array projection(ap4a_MatrixProduct(transpose.get(), whole, values.get(), whole));
  if (projection.get() == nullptr) return 0;
  ap4a_new_array coefficients(ap4a_MatrixProduct(inverse.get(), whole, projection.get(), whole));
  const float* c = ap4a_GetDataAddress(coefficients.get());
  if (c == nullptr) return 0;
  if (value != nullptr) *value = c[0];
  if (slope != nullptr) *slope = c[1];
  if (curvature != nullptr) *curvature = static_cast<float>(2.0 * c[2]);
  return 1;
}

// ---------------------------------------------------------------------------
// Statistics of a range

namespace {

constexpr float kLargest = 3.4028235e38f;

// The first element of a resolved range of a readable array, with the
// range's extent; null for a range or data block that cannot be had.
const float* ap4a_range_start(const AP4_ARRAY* array, AP4_RANGE* range, AP4_CELL* extent) {
  if (!ap4a_is_array(array)) return nullptr;
  *extent = ap4c_ClampCellRange(array, &range->start, &range->end);
  if (!ap4a_valid_extent(*extent)) return nullptr;
  const float* values = ap4a_GetDataAddress(array);
  return values == nullptr ? nullptr : values + ap4a_first_index(array, range->start);
}

// Calls `visit` with each element of the resolved range and its absolute
// cell, row by row; false for a range or data block that cannot be had.
template <typename Visit>
bool ap4a_each(const AP4_ARRAY* array, AP4_RANGE range, Visit visit) {
  AP4_CELL extent{};
  const float* row = ap4a_range_start(array, &range, &extent);
  if (row == nullptr) return false;
  for (int32_t i = 0; i < extent.row; ++i, row += array->columns)
    for (int32_t j = 0; j < extent.column; ++j) visit(row[j], AP4_CELL{range.start.row + i, range.start.column + j});
  return true;
}

bool ap4a_given(float replacement) { return AP1_KovFloatCompareSG_MATH(replacement, AP_NOT_GIVEN) == 0; }

// What a range adds up to: the sum of its values, missing ones replaced
// when a replacement is given, with the count of missing elements and of
// all elements.
struct RangeSum {
  bool ok;
  float sum;
  uint64_t missing;
  uint64_t elements;
};

RangeSum ap4a_range_sum(const AP4_ARRAY* array, AP4_RANGE range, float replacement) {
  RangeSum total{false, 0.0f, 0, 0};
  const bool replace = ap4a_given(replacement);
  total.ok = ap4a_each(array, range, [&](float x, AP4_CELL) {
    ++total.elements;
    if (ap1_is_missing(x)) {
      ++total.missing;
      if (!replace) return;
      x = replacement;
    }
    total.sum = static_cast<float>(static_cast<double>(total.sum) + x);
  });
  return total;
}

// The mean over the elements taken: all of them when missing ones are
// replaced, else the present ones; NaN when none is taken.
struct RangeMean {
  bool ok;
  float mean;
  uint64_t taken;
};

RangeMean ap4a_range_mean(const AP4_ARRAY* array, AP4_RANGE range, float replacement) {
  const RangeSum total = ap4a_range_sum(array, range, replacement);
  if (!total.ok) return {false, AP1_GetNaNSG_MATH(), 0};
  const uint64_t taken = ap4a_given(replacement) ? total.elements : total.elements - total.missing;
  if (taken == 0) return {true, AP1_GetNaNSG_MATH(), 0};
  return {true, static_cast<float>(static_cast<double>(total.sum) / static_cast<double>(taken)), taken};
}

}  // namespace

uint16_t ap4a_MinMaxExcluding(const AP4_ARRAY* array, AP4_RANGE range, float* minimum, AP4_CELL* minimum_at,
                              float* maximum, AP4_CELL* maximum_at, float exclusion) {
  if (minimum == nullptr || maximum == nullptr) return 0;
  if (ap4a_is_array(array) && array->rows != 0 && ap4a_GetDataAddress(array) == nullptr) {
    *minimum = 0.0f;
    *maximum = 1.0f;
    return 0;
  }
  float low = kLargest;
  float high = -kLargest;
  const bool excluding = !ap1_is_missing(exclusion);
  const bool scanned = ap4a_each(array, range, [&](float x, AP4_CELL cell) {
    if (ap1_is_missing(x) || (excluding && AP1_KovFloatCompareSG_MATH(x, exclusion) != 0)) return;
    if (x < low) {
      low = x;
      if (minimum_at != nullptr) *minimum_at = cell;
    }
    if (x > high) {
      high = x;
      if (maximum_at != nullptr) *maximum_at = cell;
    }
  });
  if (low == kLargest && high == -kLargest) low = high = AP1_GetNaNSG_MATH();
  *minimum = low;
  *maximum = high;
  return scanned ? 1 : 0;
}

uint16_t ap4a_MinMax(const AP4_ARRAY* array, AP4_RANGE range, float* minimum, float* maximum) {
  return ap4a_MinMaxAll(array, range, minimum, nullptr, maximum, nullptr);
}

uint16_t ap4a_MinMaxAll(const AP4_ARRAY* array, AP4_RANGE range, float* minimum, AP4_CELL* minimum_at, float* maximum,
                        AP4_CELL* maximum_at) {
  return ap4a_MinMaxExcluding(array, range, minimum, minimum_at, maximum, maximum_at, AP1_GetNaNSG_MATH());
}

uint16_t ap4a_Sum(const AP4_ARRAY* array, AP4_RANGE range, float replacement, float* sum) {
  if (sum == nullptr) return 0;
  const RangeSum total = ap4a_range_sum(array, range, replacement);
  if (!total.ok) return 0;
  *sum = total.sum;
  return 1;
}

uint16_t ap4a_Mean(const AP4_ARRAY* array, AP4_RANGE range, float replacement, float* mean) {
  if (mean == nullptr) return 0;
  const RangeMean result = ap4a_range_mean(array, range, replacement);
  *mean = result.mean;
  return result.ok ? 1 : 0;
}

// The sample deviation, over the elements taken less one. Fewer than two
// elements taken (one in the range, or one left beside missing values that
// are not replaced) have no deviation: 0, and the result 0.
uint16_t ap4a_StdDev(const AP4_ARRAY* array, AP4_RANGE range, float replacement, float* deviation) {
  if (deviation == nullptr) return 0;
  *deviation = 0.0f;
  AP4_CELL extent{};
  if (ap4a_range_start(array, &range, &extent) == nullptr) return 0;
  const RangeMean mean = ap4a_range_mean(array, range, replacement);
  if (!mean.ok) {
    *deviation = AP1_GetNaNSG_MATH();
    return 0;
  }
  if (mean.taken < 2) return 0;
  const bool replace = ap4a_given(replacement);
  double squares = 0.0;
  ap4a_each(array, range, [&](float x, AP4_CELL) {
    if (ap1_is_missing(x)) {
      if (!replace) return;
      x = replacement;
    }
    const double d = static_cast<double>(x) - mean.mean;
    squares += d * d;
  });
  *deviation = static_cast<float>(std::sqrt(squares / static_cast<double>(mean.taken - 1)));
  return 1;
}
