// The resampling kernels of the ARRAY resampling message. Natural cubic
// splines over the rows of arrays: the second derivatives of a row's
// values, the evaluation of the cubic between two knots, and the resampling
// of a one-row array onto a new uniform axis; a missing value cuts the
// spline: its neighbours' terms are zeroed and resampled points whose
// interval touches it are missing. Bicubic interpolation resamples a
// two-dimensional array onto a new grid, cell by cell from the corner
// values and their central differences counted in grid steps.
#include <cmath>
#include <cstdint>

#include "array/array.h"

namespace {

bool ap4c_about_zero(float value) { return AP1_KovFloatCompareSG_MATH(value, 0.0f) != 0; }

// The interval a position (counted in grid steps) falls in, truncated and
// kept within low..high, so that points outside extend an end interval.
uint32_t ap4c_interval_of(double steps, uint32_t low, uint32_t high) {
  const double cell = std::trunc(steps);
  if (cell > high) return high;
  return cell >= low ? static_cast<uint32_t>(cell) : low;
}

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
  const AP4_CELL last{0, static_cast<int32_t>(columns) - 1};
  ap4a_new_array d2_array(ap4c_SplineSecondDerivatives(array, AP4_CELL{0, 0}, last, dx));
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(n), nullptr));
  const float* y = ap4a_GetDataAddress(array);
  const float* d2 = ap4a_GetDataAddress(d2_array.get());
  float* out = ap4a_GetDataAddress(result.get());
  if (y == nullptr || d2 == nullptr || out == nullptr) return nullptr;
  float x = new_x0;
  for (int32_t i = 0; i < n; ++i, x += new_dx) {
    // Points before the first knot or past the last interval extend the end
    // interval's cubic.
    const uint32_t c = ap4c_interval_of((static_cast<double>(x) - x0) / dx, 0, columns - 2);
    if (ap1_is_missing(y[c]) || ap1_is_missing(y[c + 1])) {
      out[i] = AP1_GetNaNSG_MATH();
      continue;
    }
    const float x_lo = x0 + static_cast<float>(c) * dx;
    out[i] = ap4c_SplineEvaluate(x, x_lo, x_lo + dx, y[c], y[c + 1], d2[c], d2[c + 1]);
  }
  return result.release();
}

void ap4c_BicubicCornerDerivatives(const float* const corner[4], int32_t row_length, float gx[4], float gy[4],
                                   float gxy[4]) {
  for (int k = 0; k < 4; ++k) {
    const float* v = corner[k];
    const float* above = v - row_length;
    const float* below = v + row_length;
    gx[k] = (*below - *above) / 2.0f;
    gy[k] = (v[1] - v[-1]) / 2.0f;
    gxy[k] = (below[1] - below[-1] - above[1] + above[-1]) / 4.0f;
  }
}

void ap4c_BicubicCoefficients(const float value[4], const float gx[4], const float gy[4], const float gxy[4],
                              float c[16]) {
  // c = A F A^T with F the values and derivatives at t = 0, 1 (rows) and
  // u = 0, 1 (columns) in Hermite order (value at 0, value at 1, derivative
  // at 0, derivative at 1), and A the power-basis coefficients of the cubic
  // Hermite functions. Corners come as (0, 0), (1, 0), (1, 1), (0, 1).
  static constexpr float hermite[4][4] = {{1, 0, 0, 0}, {0, 0, 1, 0}, {-3, 3, -2, -1}, {2, -2, 1, 1}};
  const float f[4][4] = {{value[0], value[3], gy[0], gy[3]},
                         {value[1], value[2], gy[1], gy[2]},
                         {gx[0], gx[3], gxy[0], gxy[3]},
                         {gx[1], gx[2], gxy[1], gxy[2]}};
  float af[4][4];
  for (int a = 0; a < 4; ++a)
    for (int j = 0; j < 4; ++j) {
      float sum = 0.0f;
      for (int i = 0; i < 4; ++i) sum += hermite[a][i] * f[i][j];
      af[a][j] = sum;
    }
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 4; ++b) {
      float sum = 0.0f;
      for (int j = 0; j < 4; ++j) sum += af[a][j] * hermite[b][j];
      c[4 * a + b] = sum;
    }
}

namespace {

float ap4c_bicubic_value(const float c[16], float t, float u) {
  float result = 0.0f;
  for (int a = 3; a >= 0; --a) {
    const float* row = c + 4 * a;
    result = result * t + (((row[3] * u + row[2]) * u + row[1]) * u + row[0]);
  }
  return result;
}

}  // namespace

AP4_ARRAY* ap4c_BicubicResample(const AP4_ARRAY* array, float x0, float y0, float dx, float dy, float new_x0,
                                float new_y0, float new_dx, float new_dy, int32_t n, int32_t m) {
  if (!ap4a_is_array(array) || ap4c_about_zero(dx) || ap4c_about_zero(dy) || array->rows < 4 || array->columns < 4 ||
      n <= 0 || m <= 0)
    return nullptr;
  const uint32_t rows = array->rows;
  const uint32_t columns = array->columns;
  if (!(new_x0 >= x0) || !(new_y0 >= y0) || !(new_x0 + static_cast<float>(n) * new_dx <= x0 + rows * dx) ||
      !(new_y0 + static_cast<float>(m) * new_dy <= y0 + columns * dy))
    return nullptr;
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(n), static_cast<uint32_t>(m), nullptr));
  const float* data = ap4a_GetDataAddress(array);
  float* out = ap4a_GetDataAddress(result.get());
  if (data == nullptr || out == nullptr) return nullptr;
  float c[16];
  uint32_t cell_row = 0, cell_column = 0;
  bool formed = false;
  float x = new_x0;
  for (int32_t r = 0; r < n; ++r, x += new_dx) {
    const double row_steps = (static_cast<double>(x) - x0) / dx;
    const uint32_t i = ap4c_interval_of(row_steps, 1, rows - 3);
    const auto t = static_cast<float>(row_steps - i);
    float y = new_y0;
    for (int32_t k = 0; k < m; ++k, y += new_dy) {
      const double column_steps = (static_cast<double>(y) - y0) / dy;
      const uint32_t j = ap4c_interval_of(column_steps, 1, columns - 3);
      const auto u = static_cast<float>(column_steps - j);
      if (!formed || i != cell_row || j != cell_column) {
        const float* at = data + static_cast<size_t>(i) * columns + j;
        const float* const corner[4] = {at, at + columns, at + columns + 1, at + 1};
        const float value[4] = {*corner[0], *corner[1], *corner[2], *corner[3]};
        float gx[4], gy[4], gxy[4];
        ap4c_BicubicCornerDerivatives(corner, static_cast<int32_t>(columns), gx, gy, gxy);
        ap4c_BicubicCoefficients(value, gx, gy, gxy, c);
        cell_row = i;
        cell_column = j;
        formed = true;
      }
      out[static_cast<size_t>(r) * m + k] = ap4c_bicubic_value(c, t, u);
    }
  }
  return result.release();
}
