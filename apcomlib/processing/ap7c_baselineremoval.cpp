// Baseline removal in place: a straight line or a parabola fitted to one X
// region and subtracted from the whole spectrum (message 301), and a
// baseline through one point per region of a region table, drawn as
// straight lines, a natural cubic spline or a least-squares polynomial and
// subtracted, followed by a parabola over each region that asks for one
// (message 298). Both are exported by name. Neither makes a new spectrum,
// writes history or changes a title; missing points stay missing.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr uint32_t kTableColumns = 3;
constexpr double kIndexRounding = 0.5;
// The region's offset in the spectrum is taken a hair above its exact
// value, so that rounding in X does not drop a point.
constexpr double kOffsetRounding = 0.01;

// The spectrum's values, n and X axis, or false without data.
struct ap7c_axis {
  float* y = nullptr;
  int32_t n = 0;
  double first_x = 0.0;
  double last_x = 0.0;
  double dx = 0.0;
};

bool ap7c_axis_of(AP7_SPECTRUM* spectrum, ap7c_axis& axis) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  axis.y = record != nullptr ? ap7b_GetDataPtr(spectrum) : nullptr;
  if (axis.y == nullptr) return false;
  axis.n = static_cast<int32_t>(spectrum->data->columns);
  axis.first_x = record->first_x;
  axis.last_x = record->last_x;
  axis.dx = ap7b_GetXSpacing(spectrum);
  return axis.n > 0 && std::isfinite(axis.dx) && axis.dx != 0.0;
}

// The curve subtracted from every present point, one value per point.
uint16_t ap7c_subtract(AP7_SPECTRUM* spectrum, const ap7c_axis& axis, const std::vector<double>& curve) {
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  for (int32_t i = 0; i < axis.n; ++i)
    if (!ap1_is_missing(axis.y[i])) axis.y[i] = static_cast<float>(axis.y[i] - curve[i]);
  return 1;
}

// Least squares: the coefficients of the design's columns, or false for a
// matrix that cannot be made or normal equations that are singular.
bool ap7c_least_squares(AP4D_DBLMATRIX design, const std::vector<double>& y, std::vector<double>& coefficients) {
  AP4D_DBLMATRIX solution = nullptr;
  if (!ap7f_WeightedSolve(design, std::vector<double>(y.size(), 1.0), y, &solution, nullptr)) return false;
  ap4d_matrix_guard solved(solution);
  coefficients.assign(solved->values, solved->values + solved->rows);
  return true;
}

// The point index of an X, rounded to the nearest.
int32_t ap7c_index_of(const ap7c_axis& axis, double x) {
  const double index = (x - axis.first_x) / axis.dx + kIndexRounding;
  return static_cast<int32_t>(std::clamp(index, 0.0, static_cast<double>(axis.n - 1)));
}

// Straight lines between the points, held level beyond the first and the
// last. The points are walked in the order of their indexes, so that a
// falling X axis is drawn as a rising one.
uint16_t ap7c_linear_baseline(AP7_SPECTRUM* spectrum, const ap7c_axis& axis, const std::vector<float>& x,
                              const std::vector<float>& y) {
  const size_t m = x.size();
  std::vector<int32_t> k(m);
  std::vector<size_t> order(m);
  for (size_t i = 0; i < m; ++i) {
    k[i] = ap7c_index_of(axis, x[i]);
    order[i] = axis.dx < 0.0 ? m - 1 - i : i;
  }
  std::vector<double> curve(static_cast<size_t>(axis.n));
  const size_t first = order.front();
  const size_t last = order.back();
  std::fill(curve.begin(), curve.begin() + k[first] + 1, y[first]);
  for (size_t i = 1; i < m; ++i) {
    const size_t from = order[i - 1];
    const size_t to = order[i];
    const int32_t count = k[to] - k[from];
    if (count <= 0) continue;
    const double step = (double{y[to]} - y[from]) / count;
    for (int32_t j = 1; j <= count; ++j) curve[k[from] + j] = y[from] + j * step;
  }
  std::fill(curve.begin() + k[last], curve.end(), y[last]);
  return ap7c_subtract(spectrum, axis, curve);
}

// A natural cubic spline through the points, evaluated at every point.
uint16_t ap7c_spline_baseline(AP7_SPECTRUM* spectrum, const ap7c_axis& axis, const std::vector<float>& x,
                              const std::vector<float>& y) {
  AP9_DATAPAIR* pairs = ap9_New(AP9_CLASS_ID, static_cast<uint32_t>(x.size()), nullptr);
  if (pairs == nullptr) return 0;
  bool set = true;
  for (size_t i = 0; i < x.size(); ++i) set = set && ap9_SetPair(pairs, static_cast<uint32_t>(i), 0, x[i], y[i]);
  ap4a_new_array values(set ? ap9_InterpolateSmooth(pairs, static_cast<float>(axis.first_x),
                                                    static_cast<float>(axis.last_x), static_cast<uint32_t>(axis.n), 1)
                            : nullptr);
  ap9_Destroy(pairs, nullptr);
  const float* spline = values.get() != nullptr ? ap4a_GetDataAddress(values.get()) : nullptr;
  if (spline == nullptr || values.get()->rows * values.get()->columns != static_cast<uint32_t>(axis.n)) return 0;
  return ap7c_subtract(spectrum, axis, std::vector<double>(spline, spline + axis.n));
}

// The least-squares polynomial through the points, in X less their mean,
// over the points' span and held level beyond it.
uint16_t ap7c_polynomial_baseline(AP7_SPECTRUM* spectrum, const ap7c_axis& axis, const std::vector<float>& x,
                                  const std::vector<float>& y, uint16_t degree) {
  const uint32_t m = static_cast<uint32_t>(x.size());
  int32_t i0 = 0;
  int32_t i1 = 0;
  if (!ap7b_XToIndex(spectrum, x.front(), &i0) || !ap7b_XToIndex(spectrum, x.back(), &i1)) return 0;
  if (i0 > i1) std::swap(i0, i1);
  if (m < uint32_t{degree} + 1) degree = static_cast<uint16_t>(m - 1);
  const uint32_t columns = uint32_t{degree} + 1;
  double mean = 0.0;
  for (float value : x) mean += value;
  mean /= m;
  ap4d_matrix_guard design(AP4D_DblCreate(m, columns, 0.0));
  if (design.get() == nullptr) return 0;
  for (uint32_t i = 0; i < m; ++i) {
    double power = 1.0;
    for (uint32_t j = 0; j < columns; ++j, power *= x[i] - mean) design->values[i * columns + j] = power;
  }
  std::vector<double> c;
  if (!ap7c_least_squares(design.get(), std::vector<double>(y.begin(), y.end()), c)) return 0;
  std::vector<double> curve(static_cast<size_t>(axis.n));
  for (int32_t i = 0; i < axis.n; ++i) {
    const int32_t at = std::clamp(i, i0, i1);
    const double u = axis.first_x + at * axis.dx - mean;
    double fitted = 0.0;
    for (uint32_t j = columns; j-- > 0;) fitted = fitted * u + c[j];
    curve[i] = fitted;
  }
  return ap7c_subtract(spectrum, axis, curve);
}

// A table's kind, truncated toward zero; what is no whole number of range
// is no kind.
int32_t ap7c_kind(float value) {
  return std::fabs(value) < 32768.0f ? static_cast<int32_t>(value) : 0;
}

bool ap7c_is_point_kind(int32_t kind) {
  return kind == AP7E_BASELINE_REGION_MEAN || kind == AP7E_BASELINE_REGION_LOWEST ||
         kind == AP7E_BASELINE_REGION_HIGHEST;
}

}  // namespace

uint16_t ap7c_RegionPoint(AP7_SPECTRUM* spectrum, int32_t kind, float x1, float x2, float* x, float* y) {
  ap7a_new_spectrum cut(ap7a_NewFromRangeStrict(spectrum, x1, x2));
  ap7c_axis axis;
  if (cut.get() == nullptr || !ap7c_axis_of(cut.get(), axis)) return 0;
  const double dx = ap7b_GetXSpacing(spectrum);
  double sum_x = 0.0;
  double sum_y = 0.0;
  int32_t present = 0;
  int32_t chosen = -1;
  for (int32_t i = 0; i < axis.n; ++i) {
    const float value = axis.y[i];
    if (ap1_is_missing(value)) continue;
    sum_x += axis.first_x + i * dx;
    sum_y += value;
    ++present;
    if (chosen < 0 || (kind == AP7E_BASELINE_REGION_LOWEST && value < axis.y[chosen]) ||
        (kind == AP7E_BASELINE_REGION_HIGHEST && value > axis.y[chosen]))
      chosen = i;
  }
  if (present == 0) return 0;
  if (kind == AP7E_BASELINE_REGION_MEAN) {
    *x = static_cast<float>(sum_x / present);
    *y = static_cast<float>(sum_y / present);
  } else {
    *x = static_cast<float>(axis.first_x + chosen * dx);
    *y = axis.y[chosen];
  }
  return 1;
}

void ap7c_SortPointsByX(std::vector<float>& x, std::vector<float>& y) {
  for (size_t i = 0; i < x.size(); ++i) {
    size_t smallest = i;
    for (size_t j = i + 1; j < x.size(); ++j)
      if (x[j] < x[smallest]) smallest = j;
    std::swap(x[i], x[smallest]);
    std::swap(y[i], y[smallest]);
  }
}

uint16_t ap7c_SubtractLinearPointBaseline(AP7_SPECTRUM* spectrum, const std::vector<float>& x,
                                          const std::vector<float>& y) {
  ap7c_axis axis;
  if (x.empty() || x.size() != y.size() || !ap7c_axis_of(spectrum, axis)) return 0;
  return ap7c_linear_baseline(spectrum, axis, x, y);
}

uint16_t ap7c_SubtractSplinePointBaseline(AP7_SPECTRUM* spectrum, const std::vector<float>& x,
                                          const std::vector<float>& y) {
  ap7c_axis axis;
  if (x.empty() || x.size() != y.size() || !ap7c_axis_of(spectrum, axis)) return 0;
  return ap7c_spline_baseline(spectrum, axis, x, y);
}

uint16_t ap7c_SubtractPolynomialPointBaseline(AP7_SPECTRUM* spectrum, const std::vector<float>& x,
                                              const std::vector<float>& y, uint16_t degree) {
  ap7c_axis axis;
  if (x.empty() || x.size() != y.size() || degree > AP7F_MOST_ORDER || !ap7c_axis_of(spectrum, axis)) return 0;
  return ap7c_polynomial_baseline(spectrum, axis, x, y, degree);
}

APEXPORT int16_t AP7_RemoveMultipointBaseline_SPECTRUM(AP7_SPECTRUM* spectrum, uint16_t mode, uint16_t degree,
                                                       AP4_ARRAY* table) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || mode > AP7C_POINTS_POLYNOMIAL) return 0;
  if (table == nullptr) return 1;
  const float* rows = ap4a_is_array(table) ? ap4a_GetDataAddress(table) : nullptr;
  if (rows == nullptr || table->columns != kTableColumns) return 0;
  std::vector<float> x;
  std::vector<float> y;
  bool parabolas = false;
  for (uint32_t r = 0; r < table->rows; ++r) {
    const int32_t kind = ap7c_kind(rows[r * kTableColumns]);
    parabolas = parabolas || kind == AP7E_BASELINE_FITTED_PARABOLA;
    if (!ap7c_is_point_kind(kind)) continue;
    float px = 0.0f;
    float py = 0.0f;
    if (!ap7c_RegionPoint(spectrum, kind, rows[r * kTableColumns + 1], rows[r * kTableColumns + 2], &px, &py)) return 0;
    x.push_back(px);
    y.push_back(py);
  }
  int16_t result = 1;
  if (!x.empty()) {
    ap7c_SortPointsByX(x, y);
    if (mode == AP7C_POINTS_LINES) result = static_cast<int16_t>(ap7c_SubtractLinearPointBaseline(spectrum, x, y));
    if (mode == AP7C_POINTS_SPLINE) result = static_cast<int16_t>(ap7c_SubtractSplinePointBaseline(spectrum, x, y));
    if (mode == AP7C_POINTS_POLYNOMIAL)
      result = static_cast<int16_t>(ap7c_SubtractPolynomialPointBaseline(spectrum, x, y, degree));
  }
  if (!parabolas || result != 1 || mode == AP7C_POINTS_ONLY) return result;
  for (uint32_t r = 0; r < table->rows; ++r) {
    if (ap7c_kind(rows[r * kTableColumns]) != AP7E_BASELINE_FITTED_PARABOLA) continue;
    result = AP7_BaselineRemoved_SPECTRUM(spectrum, rows[r * kTableColumns + 1], rows[r * kTableColumns + 2],
                                          AP7C_REGION_PARABOLA);
    if (result != 1) break;
  }
  return result;
}

APEXPORT int16_t AP7_BaselineRemoved_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t mode) {
  ap7c_axis axis;
  if (!ap7c_axis_of(spectrum, axis) || std::isnan(x1) || std::isnan(x2)) return 0;
  if (mode != AP7C_REGION_LINE && mode != AP7C_REGION_PARABOLA) return 1;
  const double low_x = std::min(axis.first_x, axis.last_x);
  const double high_x = std::max(axis.first_x, axis.last_x);
  double lo = low_x;
  double hi = high_x;
  if (!ap1_not_given(x1) && !ap1_not_given(x2)) {
    lo = std::min(x1, x2);
    hi = std::max(x1, x2);
    if (lo < low_x || lo > high_x) lo = low_x;
    if (hi < low_x || hi > high_x) hi = high_x;
  }
  ap7a_new_spectrum cut(ap7a_NewFromRangeStrict(spectrum, static_cast<float>(lo), static_cast<float>(hi)));
  ap7c_axis region;
  if (cut.get() == nullptr || !ap7c_axis_of(cut.get(), region)) return 0;
  // The present points of the region are fitted; a line needs two of
  // them, a parabola three.
  const uint32_t columns = mode == AP7C_REGION_LINE ? 2 : 3;
  if (region.n < 2) return 0;
  const double h = 2.0 / (region.n - 1);
  std::vector<double> t;
  std::vector<double> values;
  for (int32_t i = 0; i < region.n; ++i) {
    if (ap1_is_missing(region.y[i])) continue;
    t.push_back(-1.0 + i * h);
    values.push_back(region.y[i]);
  }
  if (values.size() < columns) return 0;
  ap4d_matrix_guard design(AP4D_DblCreate(static_cast<uint32_t>(values.size()), columns, 0.0));
  if (design.get() == nullptr) return 0;
  for (size_t i = 0; i < values.size(); ++i) {
    double power = 1.0;
    for (uint32_t j = 0; j < columns; ++j, power *= t[i]) design->values[i * columns + j] = power;
  }
  std::vector<double> c;
  if (!ap7c_least_squares(design.get(), values, c)) return 0;
  const double offset = (region.first_x - axis.first_x) / axis.dx + kOffsetRounding;
  const int32_t k0 = static_cast<int32_t>(offset);
  std::vector<double> curve(static_cast<size_t>(axis.n));
  for (int32_t i = 0; i < axis.n; ++i) {
    const double u = -1.0 - k0 * h + i * h;
    double fitted = 0.0;
    for (uint32_t j = columns; j-- > 0;) fitted = fitted * u + c[j];
    curve[i] = fitted;
  }
  return static_cast<int16_t>(ap7c_subtract(spectrum, axis, curve));
}
