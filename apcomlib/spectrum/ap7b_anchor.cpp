// Baseline correction from anchor points the user placed: a straight line
// between neighbouring anchors (message 191), a piecewise cubic through them
// (message 317) and a least-squares polynomial through them (message 318).
//
// The anchors are the members of a list, parameter objects whose
// parameters 0 and 1 hold an anchor's X and Y. Each message gives a new
// spectrum, the Y unit's full scale S where a corrected point meets its
// anchor, its title prefixed and history bit 17 set. A correction that
// cannot be made gives no spectrum rather than an uncorrected copy marked as
// corrected.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "array/array.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Fit results this large or larger are no baseline: the point goes missing.
constexpr double kLargestCurveValue = 1e8;
// The curves take X on the scale 0 to 100 between the outer anchors.
constexpr double kCurveScale = 100.0;
constexpr int32_t kHermiteAnchors = 4;

// Anchor parameters: X and Y.
constexpr uint16_t kAnchorX = 0;
constexpr uint16_t kAnchorY = 1;

struct ap7b_anchor {
  double x;
  double y;
};

uint32_t ap7b_member_count(AP40_LLIST* list) { return GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr); }

bool ap7b_is_list(const void* list) {
  return list != nullptr && !IsBadReadPtr(list, sizeof(AP40_LLIST)) &&
         static_cast<const AP_OBJECT*>(list)->class_id == AP40_CLASS_ID;
}

// The anchors of the list's members first..last (inclusive) in ascending
// order of X; false when a member does not give both values.
bool ap7b_read_anchors(AP40_LLIST* list, uint32_t first, uint32_t last, std::vector<ap7b_anchor>* anchors) {
  for (uint32_t i = first; i <= last; ++i) {
    AP_OBJECT* member = ap40_GetAt_LLIST(list, i);
    float x = 0.0f;
    float y = 0.0f;
    if (member == nullptr || GU2_GetParmValue_MSG(member, kAnchorX, &x) != 1 ||
        GU2_GetParmValue_MSG(member, kAnchorY, &y) != 1 || std::isnan(x))
      return false;
    anchors->push_back({x, y});
  }
  std::stable_sort(anchors->begin(), anchors->end(),
                   [](const ap7b_anchor& a, const ap7b_anchor& b) { return a.x < b.x; });
  return true;
}

// The X of point i of a spectrum's grid.
double ap7b_grid_x(const AP41_HEADERDATA* record, double spacing, int64_t i) {
  return double{record->first_x} + static_cast<double>(i) * spacing;
}

// The curve's abscissa of an X.
double ap7b_curve_t(double x, double first, double last) { return (x - first) * kCurveScale / (last - first); }

double ap7b_checked_value(double v) { return std::fabs(v) < kLargestCurveValue ? v : std::nan(""); }

// A new corrected spectrum from the copy in `corrected`: titled after the
// spectrum with the baseline prefix, history bit 17.
AP7_SPECTRUM* ap7b_finish(ap7a_new_spectrum& corrected, AP7_SPECTRUM* spectrum) {
  if (!ap7b_TitleFrom(corrected.get(), spectrum, AP7_TITLE_BASELINE) ||
      !ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(corrected.get()), AP41_HISTORY_BASELINE))
    return nullptr;
  return corrected.release();
}

// Each point of the copy becomes y - v + S with v the curve at its X, the
// points the curve does not reach (a NaN from it) missing.
template <typename Curve>
bool ap7b_subtract_curve(AP7_SPECTRUM* copy, Curve curve) {
  const AP41_HEADERDATA* record = ap7a_record(copy);
  float* y = ap7b_GetDataPtr(copy);
  if (record == nullptr || y == nullptr) return false;
  const double scale = ap7d_GetYUnitScale(copy);
  const double spacing = ap7b_GetXSpacing(copy);
  ap7a_change_bracket bracket(copy);
  if (!bracket.begun()) return false;
  // The walk goes up the X axis whichever way the data run.
  const int64_t n = record->points;
  const bool rising = spacing >= 0.0;
  for (int64_t step = 0; step < n; ++step) {
    const int64_t i = rising ? step : n - 1 - step;
    const double v = curve(ap7b_grid_x(record, spacing, i));
    y[i] = std::isnan(v) ? AP1_GetNaNSG_MATH() : static_cast<float>(y[i] - v + scale);
  }
  return true;
}

std::vector<double> ap7b_AnchorColumn(AP40_LLIST* list, uint16_t coordinate, float* first, float* last) {
  const uint32_t count = ap7b_member_count(list);
  std::vector<ap7b_anchor> anchors;
  if (count < 4 || !ap7b_read_anchors(list, 1, count - 2, &anchors)) return {};
  std::vector<double> column;
  for (const ap7b_anchor& anchor : anchors) column.push_back(coordinate == 0 ? anchor.x : anchor.y);
  if (first != nullptr) *first = static_cast<float>(column.front());
  if (last != nullptr) *last = static_cast<float>(column.back());
  if (coordinate == 0) {
    const double low = column.front();
    const double high = column.back();
    if (!(high > low)) return {};
    for (double& x : column) x = ap7b_curve_t(x, low, high);
  }
  return column;
}

std::vector<double> ap7b_HermiteSegment(const std::vector<double>& t, const std::vector<double>& y, size_t s) {
  const double width = t[s + 1] - t[s];
  const double a = (t[s - 1] - t[s]) / width;
  const double b = (t[s + 2] - t[s]) / width;
  const double d0 = y[s - 1] / ((1.0 - a) * a) - (1.0 + a) / a * y[s] - a / (1.0 - a) * y[s + 1];
  const double d1 = -(b - 1.0) / b * y[s] + (b - 2.0) / (b - 1.0) * y[s + 1] + 1.0 / ((b - 1.0) * b) * y[s + 2];
  return {y[s], d0, -3.0 * y[s] + 3.0 * y[s + 1] - 2.0 * d0 - d1, 2.0 * y[s] - 2.0 * y[s + 1] + d0 + d1};
}

double ap7b_PolyEval(const std::vector<double>& coefficients, double t) {
  double v = 0.0;
  double power = 1.0;
  for (double c : coefficients) {
    v += c * power;
    power *= t;
  }
  return ap7b_checked_value(v);
}

double ap7b_PolyFitAbscissa(double t) { return t / (kCurveScale / 2.0) - 1.0; }

// The normal equations are solved in u = t / 50 - 1, on -1..1, where they
// stay well conditioned; the fitted curve is the same. The coefficients
// returned are those of u.
std::vector<double> ap7b_PolyFit(const std::vector<double>& t, const std::vector<double>& y, int32_t degree) {
  const auto m = static_cast<int32_t>(t.size());
  if (m < 1 || degree < 0) return {};
  degree = std::min(degree, m - 1);
  const int32_t n = degree + 1;
  std::vector<double> normal(static_cast<size_t>(n) * n, 0.0);
  std::vector<double> right(n, 0.0);
  for (int32_t k = 0; k < m; ++k) {
    const double u = ap7b_PolyFitAbscissa(t[k]);
    std::vector<double> powers(n, 1.0);
    for (int32_t p = 1; p < n; ++p) powers[p] = powers[p - 1] * u;
    for (int32_t r = 0; r < n; ++r) {
      right[r] += powers[r] * y[k];
      for (int32_t c = 0; c <= r; ++c) normal[static_cast<size_t>(r) * n + c] += powers[r] * powers[c];
    }
  }
  std::vector<double> coefficients(n, 0.0);
  if (ap9_SolveSymmetricSystem(static_cast<int16_t>(n), normal.data(), right.data(), coefficients.data()) !=
      AP9_SOLVE_OK)
    return {};
  for (double c : coefficients)
    if (!std::isfinite(c)) return {};
  return coefficients;
}

}  // namespace

// Values between the anchors are taken on the line at each grid point's own
// X, so anchors between grid points or outside the data place the line
// where they lie.
AP7_SPECTRUM* ap7b_LineBaselineSpectrum(AP7_SPECTRUM* spectrum, AP40_LLIST* list) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  const uint32_t count = ap7b_member_count(list);
  std::vector<ap7b_anchor> anchors;
  if (record == nullptr || count < 2 || !ap7b_read_anchors(list, 0, count - 1, &anchors)) return nullptr;
  ap7a_new_spectrum baseline(ap7a_Duplicate(spectrum, nullptr));
  float* y = ap7b_GetDataPtr(baseline.get());
  if (y == nullptr) return nullptr;
  const double scale = ap7d_GetYUnitScale(spectrum);
  const double spacing = ap7b_GetXSpacing(baseline.get());
  ap7a_change_bracket bracket(baseline.get());
  if (!bracket.begun()) return nullptr;
  for (size_t k = 1; k < anchors.size(); ++k) {
    const ap7b_anchor& from = anchors[k - 1];
    const ap7b_anchor& to = anchors[k];
    if (to.x == from.x) continue;
    float x1 = static_cast<float>(from.x);
    float x2 = static_cast<float>(to.x);
    AP4_CELL first{};
    AP4_CELL last{};
    if (ap7b_XRangeToIndexRange(baseline.get(), &x1, &x2, &first, &last) <= 0) continue;
    const double slope = (to.y - from.y) / (to.x - from.x);
    for (int32_t i = first.column; i <= last.column; ++i) {
      const double x = ap7b_grid_x(record, spacing, i);
      y[i] = static_cast<float>(from.y - scale + (x - from.x) * slope);
    }
  }
  return baseline.release();
}

AP7_SPECTRUM* ap7b_LinearBaseline(AP7_SPECTRUM* spectrum, AP40_LLIST* list) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || !ap7b_is_list(list)) return nullptr;
  ap7a_new_spectrum baseline(ap7b_LineBaselineSpectrum(spectrum, list));
  if (baseline.get() == nullptr) return nullptr;
  ap7a_new_spectrum corrected(ap7a_SubtractSpectra(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, baseline.get()));
  if (corrected.get() == nullptr) return nullptr;
  return ap7b_finish(corrected, spectrum);
}

// Anchors 1 to m - 2 bound the corrected part; the walk moves on to the
// next segment as the X of the points passes each anchor, however many
// anchors one step of the grid passes.
AP7_SPECTRUM* ap7b_SplineBaseline(AP7_SPECTRUM* spectrum, AP40_LLIST* list) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || !ap7b_is_list(list)) return nullptr;
  float first = 0.0f;
  float last = 0.0f;
  const std::vector<double> t = ap7b_AnchorColumn(list, 0, &first, &last);
  const std::vector<double> y = ap7b_AnchorColumn(list, 1, nullptr, nullptr);
  const size_t m = t.size();
  if (m < kHermiteAnchors || y.size() != m) return nullptr;
  for (size_t k = 1; k < m; ++k)
    if (!(t[k] > t[k - 1])) return nullptr;
  ap7a_new_spectrum corrected(ap7a_Duplicate(spectrum, nullptr));
  if (corrected.get() == nullptr) return nullptr;
  size_t s = 1;
  std::vector<double> cubic = ap7b_HermiteSegment(t, y, s);
  const auto curve = [&](double x) {
    const double at = ap7b_curve_t(x, first, last);
    if (at < t[1] || at > t[m - 2]) return std::nan("");
    while (at > t[s + 1]) cubic = ap7b_HermiteSegment(t, y, ++s);
    return ap7b_PolyEval(cubic, (at - t[s]) / (t[s + 1] - t[s]));
  };
  if (!ap7b_subtract_curve(corrected.get(), curve)) return nullptr;
  return ap7b_finish(corrected, spectrum);
}

AP7_SPECTRUM* ap7b_PolynomialBaseline(AP7_SPECTRUM* spectrum, AP40_LLIST* list, int32_t degree) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || !ap7b_is_list(list)) return nullptr;
  float first = 0.0f;
  float last = 0.0f;
  const std::vector<double> t = ap7b_AnchorColumn(list, 0, &first, &last);
  const std::vector<double> y = ap7b_AnchorColumn(list, 1, nullptr, nullptr);
  if (t.size() < 2 || y.size() != t.size()) return nullptr;
  const std::vector<double> coefficients = ap7b_PolyFit(t, y, degree);
  if (coefficients.empty()) return nullptr;
  ap7a_new_spectrum corrected(ap7a_Duplicate(spectrum, nullptr));
  if (corrected.get() == nullptr) return nullptr;
  const auto curve = [&](double x) {
    return ap7b_PolyEval(coefficients, ap7b_PolyFitAbscissa(ap7b_curve_t(x, first, last)));
  };
  if (!ap7b_subtract_curve(corrected.get(), curve)) return nullptr;
  return ap7b_finish(corrected, spectrum);
}
