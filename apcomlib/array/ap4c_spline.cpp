// Natural cubic splines over the rows of ARRAY objects: the second
// derivatives of a row's values, the evaluation of the cubic between two
// knots, and the resampling of a one-row array onto a new uniform axis that
// the ARRAY resampling message uses. A missing value cuts the spline: its
// neighbours' terms are zeroed and resampled points whose interval touches
// it are missing.
#include <cmath>
#include <cstdint>

#include "array/array.h"

namespace {

bool ap4c_about_zero(float value) { return AP1_KovFloatCompareSG_MATH(value, 0.0f) != 0; }

// Natural-spline second derivatives of values[0..count-1] at spacing dx
// into d2, with u as the forward sweep's scratch.
void ap4c_second_derivatives(const float* values, uint32_t count, float dx, float* d2, float* u) {
  d2[0] = u[0] = 0.0f;
  const double dx_squared = static_cast<double>(dx) * dx;
  for (uint32_t i = 1; i + 1 < count; ++i) {
    float p = 0.5f * d2[i - 1] + 2.0f;
    if (ap4c_about_zero(p)) p = 0.0001f;
    if (ap1_is_missing(values[i - 1]) || ap1_is_missing(values[i]) || ap1_is_missing(values[i + 1])) {
      d2[i] = u[i] = 0.0f;
      continue;
    }
    d2[i] = (0.5f - 1.0f) / p;
    const double curvature = 3.0 * (double{values[i + 1]} - 2.0 * values[i] + values[i - 1]) / dx_squared;
    u[i] = static_cast<float>((curvature - 0.5 * u[i - 1]) / p);
  }
  d2[count - 1] = 0.0f;
  for (uint32_t i = count - 1; i-- > 0;) d2[i] = d2[i] * d2[i + 1] + u[i];
}

}  // namespace

AP4_ARRAY* ap4c_SplineSecondDerivatives(const AP4_ARRAY* array, AP4_CELL start, AP4_CELL end, float dx) {
  if (ap4c_about_zero(dx)) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &start, &end);
  if (extent.row < 1 || extent.column < 3) return nullptr;
  const auto count = static_cast<uint32_t>(extent.column);
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(extent.row), count, nullptr));
  ap4a_new_array sweep(ap4a_New(AP4_CLASS_ID, 1, count, nullptr));
  const float* data = ap4a_GetDataAddress(array);
  float* d2 = ap4a_GetDataAddress(result.get());
  float* u = ap4a_GetDataAddress(sweep.get());
  if (data == nullptr || d2 == nullptr || u == nullptr) return nullptr;
  ap4c_second_derivatives(data + static_cast<size_t>(start.row) * array->columns + start.column, count, dx, d2, u);
  return result.release();
}

float ap4c_SplineEvaluate(float x, float x_lo, float x_hi, float y_lo, float y_hi, float d2_lo, float d2_hi) {
  const float h = x_hi - x_lo;
  if (ap4c_about_zero(h)) return AP1_GetNaNSG_MATH();
  const float a = (x_hi - x) / h;
  const float b = (x - x_lo) / h;
  return a * y_lo + b * y_hi + ((a * a * a - a) * d2_lo + (b * b * b - b) * d2_hi) * (h * h) / 6.0f;
}

AP4_ARRAY* ap4c_SplineResampleRow(const AP4_ARRAY* array, float x0, float dx, float new_x0, float new_dx, int32_t n) {
  if (!ap4a_is_array(array) || array->rows != 1 || array->columns <= 2 || ap4c_about_zero(dx) || !(new_x0 >= x0) ||
      n <= 0)
    return nullptr;
  const uint32_t columns = array->columns;
  ap4a_new_array d2_array(ap4c_SplineSecondDerivatives(array, AP4_CELL{0, 0}, AP4_CELL{0, static_cast<int32_t>(columns) - 1}, dx));
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(n), nullptr));
  const float* y = ap4a_GetDataAddress(array);
  const float* d2 = ap4a_GetDataAddress(d2_array.get());
  float* out = ap4a_GetDataAddress(result.get());
  if (y == nullptr || d2 == nullptr || out == nullptr) return nullptr;
  const auto last_interval = static_cast<double>(columns - 2);
  float x = new_x0;
  for (int32_t i = 0; i < n; ++i, x += new_dx) {
    // Points before the first knot or past the last interval extend the end
    // interval's cubic.
    const double cell = std::trunc((static_cast<double>(x) - x0) / dx);
    const auto c = static_cast<uint32_t>(cell > last_interval ? last_interval : cell >= 0.0 ? cell : 0.0);
    if (ap1_is_missing(y[c]) || ap1_is_missing(y[c + 1])) {
      out[i] = AP1_GetNaNSG_MATH();
      continue;
    }
    const float x_lo = x0 + static_cast<float>(c) * dx;
    out[i] = ap4c_SplineEvaluate(x, x_lo, x_lo + dx, y[c], y[c + 1], d2[c], d2[c + 1]);
  }
  return result.release();
}
