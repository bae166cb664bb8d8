// The robust piecewise-cubic baseline of a region (message 267): the
// classification iterations of the robust polynomial baseline around a
// chain of cubics joined at knots placed afresh on each fit, solved by
// least squares under equality constraints: flat at both ends of the
// region, continuous in value at each knot and, by the continuity order,
// in slope and curvature.
#include <cmath>
#include <vector>

#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr uint32_t kCoefficients = 4;
constexpr int32_t kMostWeightedPasses = 25;
// The second placement puts no knot within this many points of the last.
constexpr int32_t kFewestPerSegment = 5;
// The ends of the region keep full weight only this close to the fit.
constexpr double kEndDeviations = 3.0;

// The knots in t and the scale of t = (i - m)/m.
struct ap7f_knots {
  double mean = 0.0;
  std::vector<double> tau;
  double t(double i) const { return (i - mean) / mean; }
  // The segment of t: the one whose right knot is the first not below t.
  uint32_t segment(double t_value) const {
    for (uint32_t j = 1; j + 1 < tau.size(); ++j)
      if (tau[j] >= t_value) return j - 1;
    return static_cast<uint32_t>(tau.size() - 2);
  }
};

// Knots at the points where the fitted points split into K + 1 equal
// counts, then moved so that each segment's squared width times its points
// reaches the geometric mean of the first placement's. False when the
// points run out.
bool ap7f_place_knots(const AP7F_ROBUSTFIT& fit, uint32_t knots, ap7f_knots& placed) {
  const std::vector<int32_t>& points = fit.points;
  const uint64_t c = points.size();
  placed.tau.assign(knots + 2, 0.0);
  placed.tau[0] = placed.t(0);
  double product = 1.0;
  int32_t factors = 0;
  uint32_t target = 0;
  uint32_t interior = 0;
  int32_t since = 0;
  double previous = placed.tau[0];
  for (uint64_t j = 0; j < c && target <= knots; ++j) {
    ++since;
    const uint64_t reach = c * (target + 1) / (knots + 1);
    if (j + 1 != reach) continue;
    const double at = placed.t(points[j] + 0.5);
    product *= (at - previous) * (at - previous) * since;
    ++factors;
    since = 0;
    if (interior < knots) placed.tau[++interior] = at;
    previous = placed.tau[interior];
    ++target;
  }
  placed.tau[knots + 1] = placed.t(fit.n - 1);
  const double measure = factors > 0 && product > 0.0 ? std::exp(std::log(product) / factors) : -1.0;
  if (!(measure > 0.0)) return true;
  size_t at = 0;
  for (uint32_t j = 1; j <= knots; ++j) {
    for (int32_t passed = 1;; ++passed, ++at) {
      if (at >= c) return false;
      const double t_value = placed.t(points[at] + 0.5);
      const double width = t_value - placed.tau[j - 1];
      if (passed >= kFewestPerSegment && width * width * passed >= measure) {
        placed.tau[j] = t_value;
        ++at;
        break;
      }
    }
  }
  return true;
}

// Row r of H: the value (derivative 0), slope (1) or curvature (2) of
// segment s at t, with the sign given.
void ap7f_constraint(double* row, uint32_t s, double t, uint32_t derivative, double sign) {
  double* cells = row + s * kCoefficients;
  const double powers[3][kCoefficients] = {
      {1.0, t, t * t, t * t * t}, {0.0, 1.0, 2.0 * t, 3.0 * t * t}, {0.0, 0.0, 2.0, 6.0 * t}};
  for (uint32_t k = 0; k < kCoefficients; ++k) cells[k] += sign * powers[derivative][k];
}

// The constraints: flat at the first knot, continuity at each interior
// knot to the continuity order, flat at the last knot.
AP4D_DBLMATRIX ap7f_constraints(const ap7f_knots& placed, uint32_t knots, uint16_t continuity) {
  const uint32_t orders = continuity >= 2 ? 3 : continuity == 1 ? 2 : 1;
  const uint32_t rows = 2 + knots * orders;
  const uint32_t columns = kCoefficients * (knots + 1);
  AP4D_DBLMATRIX h = AP4D_DblCreate(rows, columns, 0.0);
  AP4D_MATRIX* m = ap4d_matrix(h);
  if (m == nullptr) return nullptr;
  uint32_t r = 0;
  ap7f_constraint(m->values + columns * r++, 0, placed.tau[0], 1, 1.0);
  for (uint32_t j = 1; j <= knots; ++j) {
    for (uint32_t d = 0; d < orders; ++d, ++r) {
      ap7f_constraint(m->values + columns * r, j - 1, placed.tau[j], d, -1.0);
      ap7f_constraint(m->values + columns * r, j, placed.tau[j], d, 1.0);
    }
  }
  ap7f_constraint(m->values + columns * r, knots, placed.tau[knots + 1], 1, 1.0);
  return h;
}

// b = u - G Hᵀ (H G Hᵀ)⁻¹ H u: the weighted least-squares solution u moved
// onto the constraints.
bool ap7f_constrained_solve(AP4D_DBLMATRIX design, AP4D_DBLMATRIX h, const std::vector<double>& weights,
                            const std::vector<double>& y, std::vector<double>& b) {
  AP4D_DBLMATRIX solution = nullptr;
  AP4D_DBLMATRIX inverse = nullptr;
  if (!ap7f_WeightedSolve(design, weights, y, &solution, &inverse)) return false;
  ap4d_matrix_guard u(solution);
  ap4d_matrix_guard g(inverse);
  ap4d_matrix_guard ht(AP4D_DblTranspose(h));
  ap4d_matrix_guard ght(ht.get() != nullptr ? AP4D_DblMatrixMultiply(g.get(), ht.get()) : nullptr);
  ap4d_matrix_guard hght(ght.get() != nullptr ? AP4D_DblMatrixMultiply(h, ght.get()) : nullptr);
  ap4d_matrix_guard hu(AP4D_DblMatrixMultiply(h, u.get()));
  if (hght.get() == nullptr || hu.get() == nullptr) return false;
  ap4d_matrix_guard hght_inverse(ap7f_CheckedInverse(hght.get()));
  if (hght_inverse.get() == nullptr) return false;
  ap4d_matrix_guard lambda(AP4D_DblMatrixMultiply(hght_inverse.get(), hu.get()));
  ap4d_matrix_guard shift(lambda.get() != nullptr ? AP4D_DblMatrixMultiply(ght.get(), lambda.get()) : nullptr);
  if (shift.get() == nullptr) return false;
  b.resize(u->rows);
  for (uint32_t k = 0; k < u->rows; ++k) b[k] = u->values[k] - shift->values[k];
  return true;
}

double ap7f_cubic_at(const ap7f_knots& placed, const std::vector<double>& b, double t) {
  const double* a = b.data() + placed.segment(t) * kCoefficients;
  return ((a[3] * t + a[2]) * t + a[1]) * t + a[0];
}

bool ap7f_cubic_fit(AP7F_ROBUSTFIT& fit, std::vector<double>& baseline) {
  const uint32_t c = static_cast<uint32_t>(fit.points.size());
  if (c < 2) return false;
  if (c < kCoefficients * (fit.size + 1)) {
    if (c / kCoefficients < 1) return false;
    fit.size = c / kCoefficients - 1;
  }
  const uint32_t knots = fit.size;
  ap7f_knots placed;
  for (int32_t i : fit.points) placed.mean += i;
  placed.mean /= c;
  if (!ap7f_place_knots(fit, knots, placed)) return false;

  const uint32_t columns = kCoefficients * (knots + 1);
  ap4d_matrix_guard design(AP4D_DblCreate(c, columns, 0.0));
  ap4d_matrix_guard h(ap7f_constraints(placed, knots, fit.continuity));
  if (design.get() == nullptr || h.get() == nullptr) return false;
  std::vector<double> y(c);
  std::vector<double> t(c);
  for (uint32_t j = 0; j < c; ++j) {
    t[j] = placed.t(fit.points[j]);
    double* cells = design->values + j * columns + placed.segment(t[j]) * kCoefficients;
    cells[0] = 1.0;
    cells[1] = t[j];
    cells[2] = t[j] * t[j];
    cells[3] = t[j] * t[j] * t[j];
    y[j] = ap7f_FitTarget(fit, fit.points[j]);
  }

  const bool weighted = ap7f_Weighted(fit);
  const bool up = fit.direction == AP7F_DIRECTION_UP;
  std::vector<double> weights(c, 1.0);
  std::vector<double> b;
  for (int32_t pass = 1;; ++pass) {
    if (!ap7f_constrained_solve(design.get(), h.get(), weights, y, b)) return false;
    if (!weighted || pass >= kMostWeightedPasses) break;
    std::vector<double> d(c);
    double squares = 0.0;
    double total = 0.0;
    for (uint32_t j = 0; j < c; ++j) {
      d[j] = y[j] - ap7f_cubic_at(placed, b, t[j]);
      squares += weights[j] * d[j] * d[j];
      total += weights[j];
    }
    const double limit = kEndDeviations * (total > 0.0 ? std::sqrt(squares / total) : 0.0);
    bool changed = false;
    for (uint32_t j = 0; j < c; ++j) {
      bool baseline_side = up ? d[j] <= 0.0 : d[j] >= 0.0;
      if (j == 0 || j + 1 == c) baseline_side = baseline_side && (up ? d[j] >= -limit : d[j] <= limit);
      const double weight = baseline_side ? 1.0 : double{fit.w0};
      if (!AP1_KovFloatCompareDB_MATH(weight, weights[j])) changed = true;
      weights[j] = weight;
    }
    if (!changed) break;
  }
  for (int32_t i = 0; i < fit.n; ++i) baseline[i] = ap7f_cubic_at(placed, b, placed.t(i));
  return true;
}

}  // namespace

AP7_SPECTRUM* ap7f_RobustCubicBaseline(AP7_SPECTRUM* spectrum, const AP7F_ROBUSTPARM* block) {
  if (IsBadReadPtr(block, sizeof *block) || block->size > AP7F_MOST_KNOTS) return nullptr;
  static const AP7F_BASELINEMODEL kPiecewiseCubic{ap7f_cubic_fit, 1, true};
  return ap7f_RobustBaseline(spectrum, block, kPiecewiseCubic, false);
}
