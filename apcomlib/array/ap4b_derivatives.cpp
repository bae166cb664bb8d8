// Range operations of the ARRAY class along the column axis, where a
// spectrum's Y values lie: first and second derivatives by central
// differences, Savitzky-Golay smoothing with the tabulated quadratic
// coefficients; besides them the application of a caller's function to each
// element of a range, the resampling entry of message 64 and the
// determinant of a square array.
//
// AP4_Dispatcher_ARRAY calls these for messages 63, 64, 67 to 69 and 82; the
// spectrum layer calls the derivatives and the smoothing over X regions. The
// derivatives are made of whole-range subtraction and division, so that
// missing values follow the array arithmetic's rules.
#include <cmath>
#include <utility>

#include "array/array.h"
#include "chemometrics/chemometrics.h"

namespace {

constexpr int32_t kFewestDerivativeColumns = 4;
constexpr int32_t kSmallestWindow = 5;
constexpr int32_t kLargestWindow = 25;

bool ap4b_valid_extent(AP4_CELL extent) { return extent.row >= 0 && extent.column >= 0; }

// Inserts a column at `at` and fills it with a copy of column `from` (counted
// after the insertion).
bool ap4b_repeat_column(AP4_ARRAY* array, int32_t at, int32_t from) {
  if (ap4a_InsertColumns(array, at, 1) == 0) return false;
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return false;
  for (uint32_t r = 0; r < array->rows; ++r, values += array->columns) values[at] = values[from];
  return true;
}

// The smoothing of one element: the dot product of the `width` points from
// column `first` of the row with the tabulated coefficients of that width,
// held in `coefficients` (refilled only when the width changes).
class ap4b_smoother {
 public:
  ap4b_smoother(const AP4_ARRAY* array, AP4_ARRAY* coefficients)
      : array_(array), coefficients_(coefficients), taps_(ap4a_GetDataAddress(coefficients)) {}

  bool window(int32_t row, int32_t first, int32_t width, float* value) {
    if (width != width_) {
      if (ap4c_SGSmoothTabulated(taps_, width) == 0) return false;
      width_ = width;
    }
    const AP4_RANGE points{{row, first}, {row, first + width - 1}};
    const AP4_RANGE taps{{0, 0}, {0, width - 1}};
    return ap4b_DotProduct(array_, points, coefficients_, taps, value) != 0;
  }

  // The mean of three points, leaving missing ones out; missing when all
  // three are (the mean answers 0 then, but has written it).
  bool mean(int32_t row, int32_t first, float* value) const {
    ap4a_Mean(array_, AP4_RANGE{{row, first}, {row, first + 2}}, AP_NOT_GIVEN, value);
    return true;
  }

 private:
  const AP4_ARRAY* array_;
  AP4_ARRAY* coefficients_;
  float* taps_;
  int32_t width_ = 0;
};

// The smoothed value at (row, c): the full window inside the row, windows
// narrowing to 3 and then 1 point towards either end of the row.
bool ap4b_smoothed(ap4b_smoother& smoother, const float* row_values, int32_t row, int32_t c, int32_t columns,
                   int32_t window, float* value) {
  const int32_t half = (window - 1) / 2;
  const int32_t last = columns - 1;
  if (c < half) {
    if (c == 0) {
      *value = row_values[0];
      return true;
    }
    if (c == 1) return smoother.mean(row, 0, value);
    return smoother.window(row, 0, 2 * c + 1, value);
  }
  if (c <= columns - half - 1) return smoother.window(row, c - half, window, value);
  if (c == last) {
    *value = row_values[last];
    return true;
  }
  if (c == last - 1) return smoother.mean(row, last - 2, value);
  return smoother.window(row, 2 * c - last, 2 * (columns - c) - 1, value);
}

}  // namespace

uint16_t ap4b_ApplyFunction(AP4_ARRAY* array, AP4_RANGE range, AP4_ELEMENTFUNCTION function) {
  if (!ap4a_is_array(array) || function == nullptr) return 0;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  float* values = ap4a_GetDataAddress(array);
  if (!ap4b_valid_extent(extent) || values == nullptr) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  float* row = values + static_cast<size_t>(range.start.row) * array->columns + range.start.column;
  for (int32_t i = 0; i < extent.row; ++i, row += array->columns)
    for (int32_t j = 0; j < extent.column; ++j) function(&row[j]);
  return 1;
}

AP4_ARRAY* ap4b_RangeTransform(const AP4_ARRAY* array, const AP4_TRANSFORMPARM* transform) {
  if (!ap4a_is_array(array) || transform == nullptr) return nullptr;
  const float* a = transform->a;
  const float* b = transform->b;
  if (array->rows == 1) return ap4c_SplineResampleRow(array, a[0], a[1], a[2], a[3], transform->n);
  return ap4c_BicubicResample(array, a[0], b[0], a[1], b[1], a[2], b[2], a[3], b[3], transform->n, transform->m);
}

AP4_ARRAY* ap4b_Derivative(const AP4_ARRAY* array, AP4_RANGE range, float spacing) {
  if (!ap4a_is_array(array)) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const auto columns = static_cast<int32_t>(array->columns);
  // A spacing about 0 would make every difference quotient missing or infinite.
  if (!ap4b_valid_extent(extent) || columns < kFewestDerivativeColumns || !std::isfinite(spacing) ||
      AP1_KovFloatCompareSG_MATH(spacing, 0.0f) != 0)
    return nullptr;
  const bool left_edge = range.start.column == 0;
  const bool right_edge = range.end.column == columns - 1;
  const int32_t first = left_edge ? 1 : range.start.column;
  const int32_t last = right_edge ? columns - 2 : range.end.column;
  const AP4_RANGE ahead{{range.start.row, first + 1}, {range.end.row, last + 1}};
  const AP4_RANGE behind{{range.start.row, first - 1}, {range.end.row, last - 1}};
  ap4a_new_array difference(ap4a_SubtractArrays(array, ahead, array, behind));
  if (difference.get() == nullptr || ap4a_DivideScalar(difference.get(), AP4_WHOLE_RANGE, 2.0f * spacing) == 0)
    return nullptr;
  if (left_edge && !ap4b_repeat_column(difference.get(), 0, 1)) return nullptr;
  if (right_edge) {
    const auto count = static_cast<int32_t>(difference.get()->columns);
    if (!ap4b_repeat_column(difference.get(), count, count - 1)) return nullptr;
  }
  return difference.release();
}

AP4_ARRAY* ap4b_SecondDerivative(const AP4_ARRAY* array, AP4_RANGE range, float spacing) {
  if (!ap4a_is_array(array)) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  if (!ap4b_valid_extent(extent)) return nullptr;
  AP4_RANGE wide = range;
  if (wide.start.column >= 1) --wide.start.column;
  if (wide.end.column < static_cast<int32_t>(array->columns) - 1) ++wide.end.column;
  ap4a_new_array first(ap4b_Derivative(array, wide, spacing));
  if (first.get() == nullptr) return nullptr;
  const int32_t offset = range.start.column - wide.start.column;
  const AP4_RANGE inner{{0, offset}, {extent.row - 1, offset + extent.column - 1}};
  return ap4b_Derivative(first.get(), inner, spacing);
}

AP4_ARRAY* ap4b_SGSmooth(const AP4_ARRAY* array, AP4_RANGE range, int32_t window) {
  if (!ap4a_is_array(array)) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const auto columns = static_cast<int32_t>(array->columns);
  if (!ap4b_valid_extent(extent) || window % 2 == 0 || window < kSmallestWindow || window > kLargestWindow ||
      int64_t{range.start.column} + window > columns - 1)
    return nullptr;
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(extent.row), static_cast<uint32_t>(extent.column),
                                 nullptr));
  if (result.get() == nullptr) return nullptr;
  ap4a_new_array coefficients(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(window), nullptr));
  const float* values = ap4a_GetDataAddress(array);
  float* out = ap4a_GetDataAddress(result.get());
  if (coefficients.get() == nullptr || ap4a_GetDataAddress(coefficients.get()) == nullptr || values == nullptr ||
      out == nullptr)
    return nullptr;
  ap4b_smoother smoother(array, coefficients.get());
  for (int32_t row = range.start.row; row <= range.end.row; ++row) {
    const float* row_values = values + static_cast<size_t>(row) * columns;
    for (int32_t c = range.start.column; c <= range.end.column; ++c, ++out)
      if (!ap4b_smoothed(smoother, row_values, row, c, columns, window, out)) return nullptr;
  }
  return result.release();
}

float ap4b_Determinant(const AP4_ARRAY* array) {
  if (!ap4a_is_array(array) || array->rows != array->columns) return 1.0f;
  const uint32_t n = array->rows;
  ap4a_new_array copy(ap4a_Duplicate(const_cast<AP4_ARRAY*>(array), nullptr));
  float* a = ap4a_GetDataAddress(copy.get());
  if (copy.get() == nullptr || (n != 0 && a == nullptr)) return 1.0f;
  auto at = [a, n](uint32_t row, uint32_t column) -> float& { return a[row * n + column]; };
  float sign = 1.0f;
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t pivot_row = k, pivot_column = k;
    for (uint32_t i = k; i < n; ++i)
      for (uint32_t j = k; j < n; ++j)
        if (std::fabs(at(i, j)) > std::fabs(at(pivot_row, pivot_column))) {
          pivot_row = i;
          pivot_column = j;
        }
    // The largest remaining element is 0: every row left is 0, and the
    // quotients below would be 0/0.
    if (at(pivot_row, pivot_column) == 0.0f) return 0.0f;
    if (pivot_row != k) {
      for (uint32_t j = 0; j < n; ++j) std::swap(at(k, j), at(pivot_row, j));
      sign = -sign;
    }
    if (pivot_column != k) {
      for (uint32_t i = 0; i < n; ++i) std::swap(at(i, k), at(i, pivot_column));
      sign = -sign;
    }
    for (uint32_t i = k + 1; i < n; ++i) {
      const float factor = -at(i, k) / at(k, k);
      for (uint32_t j = 0; j < n; ++j) at(i, j) = at(i, j) + at(k, j) * factor;
    }
  }
  float determinant = sign;
  for (uint32_t k = 0; k < n; ++k) determinant *= at(k, k);
  return determinant;
}
