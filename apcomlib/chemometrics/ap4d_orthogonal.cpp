// Orthonormal bases of spectra held as the rows of ARRAY objects: removing a
// row's projections on the rows of a basis, normalising a row or a column,
// subtracting a scaled range, appending the orthonormalised residual of a
// row, measuring such a residual, Gram-Schmidt on all rows in place and the
// solve against an upper bidiagonal matrix; with two row utilities, the
// extraction of one row and the reversal of every row.
//
// Built from the array class's own operations. The ARRAY dispatcher reaches
// all of them but the row reversal, which the spectrum layer calls directly.
// Intermediate arrays are always deleted again.
#include <algorithm>
#include <cmath>

#include "chemometrics/chemometrics.h"

namespace {

AP4_RANGE ap4d_row_range(const AP4_ARRAY* array, uint32_t row) {
  const auto r = static_cast<int32_t>(row);
  return AP4_RANGE{{r, 0}, {r, static_cast<int32_t>(array->columns) - 1}};
}

AP4_RANGE ap4d_column_range(const AP4_ARRAY* array, uint32_t column) {
  const auto c = static_cast<int32_t>(column);
  return AP4_RANGE{{0, c}, {static_cast<int32_t>(array->rows) - 1, c}};
}

bool ap4d_same_columns(const AP4_ARRAY* a, const AP4_ARRAY* b) {
  return ap4a_is_array(a) && ap4a_is_array(b) && a->columns == b->columns;
}

// Single-precision sums of products along two rows of n floats.
float ap4d_row_dot(const float* a, const float* b, uint32_t n) {
  float sum = 0.0f;
  for (uint32_t i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

// Scales a row to unit length unless its length is 0.
void ap4d_normalise_row(float* row, uint32_t n) {
  const float s = ap4d_row_dot(row, row, n);
  if (AP1_KovFloatCompareSG_MATH(s, 0.0f)) return;
  const float length = std::sqrt(s);
  for (uint32_t i = 0; i < n; ++i) row[i] /= length;
}

}  // namespace

AP4_ARRAY* ap4d_ExtractRow(const AP4_ARRAY* array, uint32_t row) {
  if (!ap4a_is_array(array) || row >= array->rows) return nullptr;
  return ap4a_ExtractRange(array, ap4d_row_range(array, row));
}

// Each coefficient is taken from the row as already reduced by the rows
// before; after a failed step the rest is skipped.
uint16_t ap4d_RemoveRowProjections(AP4_ARRAY* array, uint32_t row, const AP4_ARRAY* other) {
  if (!ap4d_same_columns(array, other)) return 0;
  const AP4_RANGE target = ap4d_row_range(array, row);
  for (uint32_t r = 0; r < other->rows; ++r) {
    const AP4_RANGE basis = ap4d_row_range(other, r);
    float c = 0.0f;
    if (!ap4b_DotProduct(array, target, other, basis, &c) ||
        !ap4d_SubtractScaledRange(array, target, other, basis, c))
      return 0;
  }
  return 1;
}

uint16_t ap4d_NormalizeVector(AP4_ARRAY* array, uint32_t index, uint16_t mode) {
  if (!ap4a_is_array(array) || (mode != AP4D_NORMALIZE_ROW && mode != AP4D_NORMALIZE_COLUMN)) return 0;
  const AP4_RANGE range =
      mode == AP4D_NORMALIZE_ROW ? ap4d_row_range(array, index) : ap4d_column_range(array, index);
  float s = 0.0f;
  if (!ap4b_DotProduct(array, range, array, range, &s)) return 0;
  if (AP1_KovFloatCompareSG_MATH(s, 0.0f)) return 1;
  if (ap1_is_missing(s)) return 0;
  return ap4a_DivideScalar(array, range, static_cast<float>(std::sqrt(static_cast<double>(s))));
}

uint16_t ap4d_SubtractScaledRange(AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                                  AP4_RANGE other_range, float k) {
  if (!ap4a_is_array(array) || !ap4a_is_array(other)) return 0;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const AP4_CELL other_extent = ap4c_ClampCellRange(other, &other_range.start, &other_range.end);
  if (extent.row < 0 || extent.row != other_extent.row || extent.column != other_extent.column) return 0;
  float* a = ap4a_GetDataAddress(array);
  const float* b = ap4a_GetDataAddress(other);
  if (a == nullptr || b == nullptr) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  a += static_cast<uint32_t>(range.start.row) * array->columns + static_cast<uint32_t>(range.start.column);
  b += static_cast<uint32_t>(other_range.start.row) * other->columns + static_cast<uint32_t>(other_range.start.column);
  for (int32_t i = 0; i < extent.row; ++i, a += array->columns, b += other->columns)
    for (int32_t j = 0; j < extent.column; ++j) a[j] = static_cast<float>(a[j] - static_cast<double>(k) * b[j]);
  return 1;
}

uint16_t ap4d_AppendOrthonormalRow(AP4_ARRAY* array, const AP4_ARRAY* other, uint32_t row) {
  if (!ap4d_same_columns(array, other)) return 0;
  ap4a_new_array residual(ap4d_ExtractRow(other, row));
  if (residual.get() == nullptr || !ap4d_RemoveRowProjections(residual.get(), 0, array) ||
      !ap4d_NormalizeVector(residual.get(), 0, AP4D_NORMALIZE_ROW) ||
      !ap4a_InsertRows(array, static_cast<int32_t>(array->rows), 1))
    return 0;
  return ap4a_CopyRangeTo(residual.get(), AP4_WHOLE_RANGE, array, AP4_CELL{static_cast<int32_t>(array->rows) - 1, 0});
}

float ap4d_RowResidualNorm(const AP4_ARRAY* array, uint32_t row, const AP4_ARRAY* other) {
  if (!ap4d_same_columns(array, other)) return AP1_GetNaNSG_MATH();
  ap4a_new_array residual(ap4d_ExtractRow(array, row));
  float s = 0.0f;
  if (residual.get() == nullptr || !ap4d_RemoveRowProjections(residual.get(), 0, other) ||
      !ap4b_DotProduct(residual.get(), AP4_WHOLE_RANGE, residual.get(), AP4_WHOLE_RANGE, &s) || ap1_is_missing(s))
    return AP1_GetNaNSG_MATH();
  return std::sqrt(s);
}

// Modified Gram-Schmidt in single precision. Columns holding a missing
// value anywhere are cleared in every row first.
uint16_t ap4d_OrthonormalizeRows(AP4_ARRAY* array) {
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  const uint32_t m = array->rows;
  const uint32_t n = array->columns;
  for (uint32_t c = 0; c < n; ++c) {
    bool missing = false;
    for (uint32_t r = 0; r < m && !missing; ++r) missing = ap1_is_missing(values[r * n + c]);
    if (missing)
      for (uint32_t r = 0; r < m; ++r) values[r * n + c] = 0.0f;
  }
  for (uint32_t i = 0; i < m; ++i) {
    float* row = values + i * n;
    for (uint32_t j = 0; j < i; ++j) {
      const float* earlier = values + j * n;
      const float d = ap4d_row_dot(row, earlier, n);
      const float q = ap4d_row_dot(earlier, earlier, n);
      if (AP1_KovFloatCompareSG_MATH(q, 0.0f)) continue;
      const float ratio = d / q;
      for (uint32_t k = 0; k < n; ++k) row[k] -= ratio * earlier[k];
    }
    ap4d_normalise_row(row, n);
  }
  return 1;
}

// R × B = A for B upper bidiagonal, column by column; a diagonal element
// after the first that is 0 or missing counts as 1.0.
AP4_ARRAY* ap4d_BidiagonalSolve(const AP4_ARRAY* array, const AP4_ARRAY* b) {
  if (!ap4a_is_array(array) || !ap4a_is_array(b)) return nullptr;
  const uint32_t n = array->columns;
  if (b->rows != n || b->columns != n) return nullptr;
  const float* bv = ap4a_GetDataAddress(b);
  const float* av = ap4a_GetDataAddress(array);
  if (av == nullptr || bv == nullptr) return nullptr;
  ap4a_new_array r(ap4a_ExtractRange(array, ap4d_column_range(array, 0)));
  if (r.get() == nullptr || !ap4a_DivideScalar(r.get(), AP4_WHOLE_RANGE, bv[0]) ||
      !ap4a_InsertColumns(r.get(), 1, static_cast<int32_t>(n) - 1))
    return nullptr;
  float* rv = ap4a_GetDataAddress(r.get());
  const uint32_t m = array->rows;
  for (uint32_t c = 1; c < n; ++c) {
    float diagonal = bv[c * n + c];
    if (diagonal == 0.0f || ap1_is_missing(diagonal)) diagonal = 1.0f;
    const double above = bv[(c - 1) * n + c];
    for (uint32_t row = 0; row < m; ++row)
      rv[row * n + c] = static_cast<float>((av[row * n + c] - above * rv[row * n + c - 1]) / diagonal);
  }
  return r.release();
}

uint16_t ap4d_ReverseRows(AP4_ARRAY* array) {
  if (!ap4a_is_array(array)) return 0;
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return 1;
  ap4a_change_bracket bracket(array);
  for (uint32_t r = 0; r < array->rows; ++r) {
    float* row = values + r * array->columns;
    std::reverse(row, row + array->columns);
  }
  return 1;
}
