// Roles of an existing list of calibration standards and the checks of a
// calibration curve. The standards are ordered so that they span the
// concentration space (a max-min distance selection over an index
// permutation) and marked calibration or validation by a fixed spacing
// rule; a calibration is checked by a weighted polynomial fit with its r²,
// a monotonicity test, a count of outliers and a mean square.
//
// Exported, and reached through ARRAY messages 114 to 120. The role, count
// and order blocks are the caller's GU3 blocks of N entries.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

// The entries of a block that holds at least n of T, or null.
template <typename T>
T* kx_ap4_entries(GU3_HANDLE block, uint32_t n) {
  if (block == nullptr) return nullptr;
  if (uint64_t{GU3_NumElements_MM(block)} * GU3_LenElements_MM(block) < uint64_t{n} * sizeof(T)) return nullptr;
  return static_cast<T*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
}

bool kx_ap4_zero(double value) { return AP1_KovFloatCompareSG_MATH(static_cast<float>(value), 0.0f) != 0; }

// The spacing rule: after s items, every item that ends a run of 1, 2, 3 ...
// further items is a validation standard.
class kx_ap4_spacing {
 public:
  explicit kx_ap4_spacing(int32_t s) : counter_(-s) {}
  uint16_t next() {
    if (++counter_ != period_) return KX_AP4_ROLE_CALIBRATION;
    counter_ = 0;
    ++period_;
    return KX_AP4_ROLE_VALIDATION;
  }

 private:
  int32_t counter_;
  int32_t period_ = 1;
};

// The standards as an index permutation over the rows of X, with the
// normalised window distance and the max-min selection both orderings use.
struct kx_ap4_standards {
  const float* data = nullptr;
  uint32_t n = 0;
  uint32_t columns = 0;
  uint32_t first = 0;
  uint32_t width = 0;
  std::vector<double> weight;
  std::vector<int32_t> order;  // position -> standard
  std::vector<bool> eligible;  // by standard
  bool moved = false;

  const float* row(int32_t standard) const { return data + static_cast<size_t>(standard) * columns; }
  double distance(const float* a, const float* b) const {
    double sum = 0.0;
    for (uint32_t c = first; c < first + width; ++c) {
      const double d = static_cast<double>(a[c]) - b[c];
      sum += d * d / weight[c];
    }
    return sum;
  }
  void place(uint32_t from, uint32_t to) {
    if (from == to) return;
    std::swap(order[from], order[to]);
    moved = true;
  }
  bool eligible_at(uint32_t position) const { return eligible[static_cast<size_t>(order[position])]; }
  bool any_left(uint32_t p) const {
    for (uint32_t position = p; position < n; ++position)
      if (eligible_at(position)) return true;
    return false;
  }
  // The eligible standard nearest the mean of all eligible ones goes to
  // position 0; false when none is eligible.
  bool place_first() {
    std::vector<double> sum(columns, 0.0);
    uint32_t count = 0;
    for (uint32_t s = 0; s < n; ++s) {
      if (!eligible[s]) continue;
      for (uint32_t c = 0; c < columns; ++c) sum[c] += row(static_cast<int32_t>(s))[c];
      ++count;
    }
    if (count == 0) return false;
    std::vector<float> mean(columns);
    for (uint32_t c = 0; c < columns; ++c) mean[c] = static_cast<float>(sum[c] / count);
    uint32_t best = n;
    double nearest = 0.0;
    for (uint32_t position = 0; position < n; ++position) {
      if (!eligible_at(position)) continue;
      const double d = distance(row(order[position]), mean.data());
      if (best == n || d < nearest) {
        best = position;
        nearest = d;
      }
    }
    place(best, 0);
    return true;
  }
  // The candidate at positions p .. n-1 farthest from the standards placed
  // before it; ties go to the larger sum of running minima. n when none.
  uint32_t farthest(uint32_t p) const {
    uint32_t best = n;
    double best_min = 0.0;
    double best_secondary = 0.0;
    for (uint32_t candidate = p; candidate < n; ++candidate) {
      if (!eligible_at(candidate)) continue;
      double smallest = 0.0;
      double secondary = 0.0;
      bool seen = false;
      for (uint32_t position = 0; position < p; ++position) {
        if (!eligible_at(position)) continue;
        const double d = distance(row(order[candidate]), row(order[position]));
        if (seen) secondary += smallest;
        smallest = seen ? std::min(smallest, d) : d;
        seen = true;
      }
      const bool wins = best == n || smallest > best_min ||
                        (AP1_KovFloatCompareSG_MATH(static_cast<float>(smallest), static_cast<float>(best_min)) &&
                         secondary > best_secondary);
      if (wins) {
        best = candidate;
        best_min = smallest;
        best_secondary = secondary;
      }
    }
    return best;
  }
};

// Sets up the permutation over X's rows with the window clipped to X and
// the column weights from the ranges; false for a ranges argument that is
// not an array of two columns.
bool kx_ap4_prepare(const AP4_ARRAY* x, const AP4_ARRAY* ranges, int32_t first, int32_t width,
                    kx_ap4_standards* standards) {
  if (ranges != nullptr && (!ap4a_is_array(ranges) || ranges->columns < 2)) return false;
  standards->data = ap4a_GetDataAddress(x);
  standards->n = x->rows;
  standards->columns = x->columns;
  if (standards->data == nullptr || standards->columns == 0) return false;
  const auto p = static_cast<int32_t>(standards->columns);
  first = std::clamp(first, 0, p - 1);
  width = std::clamp(width, 0, p - first);
  standards->first = static_cast<uint32_t>(first);
  standards->width = static_cast<uint32_t>(width);
  standards->weight.assign(standards->columns, 1.0);
  const float* ends = ranges != nullptr ? ap4a_GetDataAddress(ranges) : nullptr;
  for (uint32_t c = 0; ends != nullptr && c < ranges->rows && c < standards->columns; ++c) {
    const double span = static_cast<double>(ends[c * ranges->columns + 1]) - ends[c * ranges->columns];
    if (!kx_ap4_zero(span * span)) standards->weight[c] = span * span;
  }
  standards->order.resize(standards->n);
  for (uint32_t i = 0; i < standards->n; ++i) standards->order[i] = static_cast<int32_t>(i);
  return true;
}

// Row 0 or 1 of the statistics: standards taking part with roles 0, 1, 3.
void kx_ap4_count_roles(const uint16_t* roles, const int32_t* counts, uint32_t n, float* row) {
  row[0] = row[1] = row[2] = 0.0f;
  for (uint32_t i = 0; i < n; ++i) {
    if (counts[i] <= 0) continue;
    if (roles[i] == KX_AP4_ROLE_CALIBRATION) row[0] += 1.0f;
    if (roles[i] == KX_AP4_ROLE_VALIDATION) row[1] += 1.0f;
    if (roles[i] == KX_AP4_ROLE_EXCLUDED) row[2] += 1.0f;
  }
}

// The full ordering of message 116: result 1 when a standard moved or was
// excluded.
int16_t kx_ap4_order_and_assign(kx_ap4_standards& s, uint16_t* roles) {
  const uint32_t n = s.n;
  std::vector<int32_t> rank(n, -1);
  if (!s.place_first()) return 0;
  bool excluded = false;
  int32_t extremes = 1;
  int32_t ranks = 1;
  rank[0] = 1;
  uint32_t p = 1;
  uint32_t reference = 0;
  auto remaining_check = [&] {
    if (p >= n || s.any_left(p)) return;
    for (uint32_t position = p; position < n; ++position) {
      uint16_t& role = roles[s.order[position]];
      if (role != KX_AP4_ROLE_EXCLUDED) {
        role = KX_AP4_ROLE_EXCLUDED;
        excluded = true;
      }
    }
    p = n;
  };
  auto duplicates = [&] {
    for (uint32_t position = p; position < n; ++position) {
      if (!s.eligible_at(position) || !kx_ap4_zero(s.distance(s.row(s.order[position]), s.row(s.order[reference]))))
        continue;
      s.place(position, p);
      rank[p++] = ranks;
    }
  };
  auto take = [&](uint32_t position) {
    if (position < p) {
      reference = 0;
      return;
    }
    s.place(position, p);
    ++extremes;
    rank[p] = ++ranks;
    reference = p++;
  };
  for (uint32_t c = s.first; c < s.first + s.width; ++c) {
    for (const bool largest : {true, false}) {
      remaining_check();
      duplicates();
      uint32_t best = n;
      float mark = largest ? -1e6f : 1e6f;
      for (uint32_t position = 0; position < n; ++position) {
        if (!s.eligible_at(position)) continue;
        const float value = s.row(s.order[position])[c];
        if (largest ? value > mark : value < mark) {
          mark = value;
          best = position;
        }
      }
      if (best < n) take(best);
    }
  }
  while (p < n) {
    remaining_check();
    if (p >= n) break;
    duplicates();
    if (p >= n) break;
    const uint32_t winner = s.farthest(p);
    if (winner >= n) break;
    s.place(winner, p);
    rank[p] = ++ranks;
    reference = p++;
  }
  kx_ap4_spacing spacing(std::max(extremes, static_cast<int32_t>(s.columns) + 2));
  std::vector<uint16_t> role_of_rank(static_cast<size_t>(ranks) + 1);
  for (int32_t r = 1; r <= ranks; ++r) role_of_rank[r] = spacing.next();
  for (uint32_t position = 0; position < n; ++position)
    if (rank[position] >= 1) roles[s.order[position]] = role_of_rank[rank[position]];
  return (s.moved || excluded) ? 1 : 0;
}

}  // namespace

APEXPORT int16_t KX_AP4_ReassignStds_ARRAY(AP4_ARRAY* x, int32_t assigned, int32_t standards, int32_t k,
                                           GU3_HANDLE roles, GU3_HANDLE order, int32_t* calibration_count,
                                           int32_t* validation_count) {
  if (x == nullptr || standards < 0) return 0;
  const auto n = static_cast<uint32_t>(standards);
  uint16_t* role = kx_ap4_entries<uint16_t>(roles, n);
  const int32_t* at = kx_ap4_entries<int32_t>(order, n);
  if ((n > 0 && (role == nullptr || at == nullptr)) || IsBadWritePtr(calibration_count, sizeof(int32_t)) ||
      IsBadWritePtr(validation_count, sizeof(int32_t)))
    return 0;
  // Every standard the order names must be one of the N.
  for (uint32_t position = 0; position < n; ++position)
    if (at[position] < 0 || static_cast<uint32_t>(at[position]) >= n) return 0;
  const uint32_t a = static_cast<uint32_t>(std::clamp(assigned, 0, standards));
  kx_ap4_spacing spacing(k + 2);
  int32_t counted[2] = {0, 0};
  for (uint32_t position = 0; position < n; ++position) {
    uint16_t& r = role[at[position]];
    r = position < a ? spacing.next() : KX_AP4_ROLE_EXCLUDED;
    if (r != KX_AP4_ROLE_EXCLUDED) ++counted[r];
  }
  *calibration_count = counted[0];
  *validation_count = counted[1];
  return 1;
}

APEXPORT int16_t KX_AP4_OrderExistingRowStds_ARRAY(AP4_ARRAY* x, GU3_HANDLE roles, GU3_HANDLE counts,
                                                   AP4_ARRAY* ranges, uint16_t mode, int32_t first_column,
                                                   int32_t width, AP4_ARRAY** statistics_out) {
  if (!ap4a_is_array(x) || IsBadWritePtr(statistics_out, sizeof *statistics_out)) return 0;
  const uint32_t n = x->rows;
  uint16_t* role = kx_ap4_entries<uint16_t>(roles, n);
  const int32_t* count = kx_ap4_entries<int32_t>(counts, n);
  kx_ap4_standards s;
  if (role == nullptr || count == nullptr || !kx_ap4_prepare(x, ranges, first_column, width, &s)) return 0;
  AP4_ARRAY* statistics = ap4a_New(AP4_CLASS_ID, 2, 3, nullptr);
  if (statistics == nullptr) return 0;
  float* figures = ap4a_GetDataAddress(statistics);
  kx_ap4_count_roles(role, count, n, figures);
  kx_ap4_count_roles(role, count, n, figures + 3);
  *statistics_out = statistics;

  if (mode != 0) {
    // Level check: with no validation standard yet, the last of several
    // calibration standards at each level becomes one.
    if (!kx_ap4_zero(figures[1])) return 1;
    for (uint32_t level = 0; level <= mode; ++level) {
      uint32_t found = 0;
      uint32_t last = 0;
      for (uint32_t i = 0; i < n; ++i) {
        if (count[i] <= 0 || role[i] != KX_AP4_ROLE_CALIBRATION) continue;
        if (static_cast<uint16_t>(ap1_TruncateToInt32(s.data[i])) != level) continue;
        ++found;
        last = i;
      }
      if (found > 1) {
        role[last] = KX_AP4_ROLE_VALIDATION;
        figures[3] -= 1.0f;
        figures[4] += 1.0f;
      }
    }
    return 1;
  }

  s.eligible.resize(n);
  for (uint32_t i = 0; i < n; ++i)
    s.eligible[i] = (role[i] == KX_AP4_ROLE_CALIBRATION || role[i] == KX_AP4_ROLE_VALIDATION) && count[i] > 0;
  const int16_t result = kx_ap4_order_and_assign(s, role);
  if (result) kx_ap4_count_roles(role, count, n, figures + 3);
  return result;
}

APEXPORT uint32_t KX_AP4_ReturnOrderOfStds_ARRAY(AP4_ARRAY* x, uint16_t calibration_only, GU3_HANDLE roles,
                                                 GU3_HANDLE resolves, AP4_ARRAY* ranges, int32_t first_column,
                                                 int32_t width, GU3_HANDLE* order_out) {
  if (!ap4a_is_array(x) || IsBadWritePtr(order_out, sizeof *order_out)) return 0;
  const uint32_t n = x->rows;
  const uint16_t* role = kx_ap4_entries<uint16_t>(roles, n);
  kx_ap4_standards s;
  if (role == nullptr || resolves == nullptr || GU3_GetPointer_MM(resolves, 0, nullptr, nullptr) == nullptr ||
      !kx_ap4_prepare(x, ranges, first_column, width, &s))
    return 0;
  GU3_HANDLE order = GU3_Allocate_MM(n, sizeof(int32_t), GU3_KIND_GLOBAL);
  auto* entries = kx_ap4_entries<int32_t>(order, n);
  if (entries == nullptr) {
    GU3_Free_MM(order);
    return 0;
  }
  *order_out = order;
  s.eligible.resize(n);
  for (uint32_t i = 0; i < n; ++i)
    s.eligible[i] = role[i] == KX_AP4_ROLE_CALIBRATION || (role[i] == KX_AP4_ROLE_VALIDATION && !calibration_only);
  uint32_t placed = 0;
  if (s.place_first()) {
    placed = 1;
    for (uint32_t p = 1; p < n && s.any_left(p); ++p) {
      s.place(s.farthest(p), p);
      ++placed;
    }
  }
  std::copy(s.order.begin(), s.order.end(), entries);
  return placed;
}

// ---------------------------------------------------------------------------
// Calibration-curve checks

namespace {

double kx_ap4_polynomial(const float* c, uint16_t degree, double x) {
  double value = 0.0;
  for (int32_t j = degree; j >= 0; --j) value = value * x + c[j];
  return value;
}

// Weighted least squares of y on 1, x, ... x^(terms-1): the normal matrix
// is symmetric and is inverted as it stands, in double precision; its
// pseudo-inverse would square an already large condition number. False
// when the inverse fails or holds a NaN.
bool kx_ap4_fit_powers(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& w,
                       uint32_t terms, float coefficients[4]) {
  ap4d_matrix_guard normal(AP4D_DblCreate(terms, terms, 0.0));
  if (normal.get() == nullptr) return false;
  double* m = normal->values;
  std::vector<double> right(terms, 0.0);
  for (uint32_t a = 0; a < terms; ++a) {
    for (uint32_t b = 0; b < terms; ++b)
      for (size_t i = 0; i < x.size(); ++i) m[a * terms + b] += w[i] * std::pow(x[i], a + b);
    for (size_t i = 0; i < x.size(); ++i) right[a] += w[i] * y[i] * std::pow(x[i], a);
  }
  ap4d_matrix_guard inverse(AP4D_DblSqInverse(normal.get()));
  if (inverse.get() == nullptr) return false;
  const double* v = inverse->values;
  for (uint32_t i = 0; i < terms * terms; ++i)
    if (std::isnan(v[i])) return false;
  for (uint32_t a = 0; a < 4; ++a) {
    double sum = 0.0;
    for (uint32_t b = 0; a < terms && b < terms; ++b) sum += v[a * terms + b] * right[b];
    coefficients[a] = static_cast<float>(sum);
  }
  return true;
}

}  // namespace

// The fitted values are the polynomial at each x; r² is their weighted
// correlation with y, the weights entering once.
AP4_ARRAY* kx_ap4_CurveFit(const AP4_ARRAY* y, const AP4_ARRAY* x, const AP4_ARRAY* weights, uint16_t curve,
                           float* r2) {
  if (!ap4a_is_array(y) || !ap4a_is_array(x) || IsBadWritePtr(r2, sizeof *r2)) return nullptr;
  if (y->rows != x->rows || y->columns != x->columns) return nullptr;
  const size_t n = static_cast<size_t>(y->rows) * y->columns;
  if (weights != nullptr &&
      (!ap4a_is_array(weights) || static_cast<size_t>(weights->rows) * weights->columns != n))
    return nullptr;
  const float* yv = ap4a_GetDataAddress(y);
  const float* xv = ap4a_GetDataAddress(x);
  const float* wv = weights != nullptr ? ap4a_GetDataAddress(weights) : nullptr;
  if (n == 0 || yv == nullptr || xv == nullptr || (weights != nullptr && wv == nullptr)) return nullptr;
  std::vector<double> xs(xv, xv + n);
  std::vector<double> ys(yv, yv + n);
  std::vector<double> ws = wv != nullptr ? std::vector<double>(wv, wv + n) : std::vector<double>(n, 1.0);
  double sxy = 0.0;
  double sxx = 0.0;
  double syy = 0.0;
  for (size_t i = 0; i < n; ++i) {
    sxy += ws[i] * xs[i] * ys[i];
    sxx += ws[i] * xs[i] * xs[i];
    syy += ws[i] * ys[i] * ys[i];
  }
  if (curve) {
    const double uncentred = (sxx == 0.0 || syy == 0.0 || sxy == 0.0) ? 0.0 : sxy * sxy / (sxx * syy);
    if (uncentred < 0.95) curve = 0;
  }
  float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  if (curve) {
    const auto [low, high] = std::minmax_element(xs.begin(), xs.end());
    bool cubic = (*high > 1e-5 || *low < -1e-5) && kx_ap4_fit_powers(xs, ys, ws, 4, c);
    if (cubic) {
      ap4a_new_array row(ap4a_New(AP4_CLASS_ID, 1, 4, nullptr));
      if (row.get() == nullptr) return nullptr;
      std::copy(c, c + 4, ap4a_GetDataAddress(row.get()));
      cubic = kx_ap4_IsMonotonic(row.get(), 3, static_cast<float>(*low), static_cast<float>(*high)) != 0;
    }
    if (!cubic) {
      std::fill(c, c + 4, 0.0f);
      if (!kx_ap4_fit_powers(xs, ys, ws, 2, c)) curve = 0;
    }
  }
  if (!curve) {
    std::fill(c, c + 4, 0.0f);
    c[1] = sxx > 0.0 ? static_cast<float>(sxy / sxx) : 0.0f;
  }
  double sw = 0.0;
  double y_mean = 0.0;
  double f_mean = 0.0;
  std::vector<double> fitted(n);
  for (size_t i = 0; i < n; ++i) {
    fitted[i] = kx_ap4_polynomial(c, 3, xs[i]);
    sw += ws[i];
    y_mean += ws[i] * ys[i];
    f_mean += ws[i] * fitted[i];
  }
  if (sw != 0.0) {
    y_mean /= sw;
    f_mean /= sw;
  }
  double syf = 0.0;
  double sdy = 0.0;
  double sdf = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double dy = ys[i] - y_mean;
    const double df = fitted[i] - f_mean;
    syf += ws[i] * dy * df;
    sdy += ws[i] * dy * dy;
    sdf += ws[i] * df * df;
  }
  const double product = sdy * sdf;
  *r2 = AP1_KovFloatCompareDB_MATH(product, 0.0) ? 0.0f : static_cast<float>(syf * syf / product);
  AP4_ARRAY* result = ap4a_New(AP4_CLASS_ID, 1, 4, nullptr);
  if (result != nullptr) std::copy(c, c + 4, ap4a_GetDataAddress(result));
  return result;
}

int16_t kx_ap4_IsMonotonic(const AP4_ARRAY* coefficients, uint16_t degree, float a, float b) {
  if (!ap4a_is_array(coefficients)) return 0;
  const float* c = ap4a_GetDataAddress(coefficients);
  if (c == nullptr || uint64_t{coefficients->rows} * coefficients->columns < uint64_t{degree} + 1) return 0;
  const double step = (static_cast<double>(b) - a) / 100.0;
  const bool falling = kx_ap4_polynomial(c, degree, b) <= kx_ap4_polynomial(c, degree, a);
  double previous = kx_ap4_polynomial(c, degree, a);
  for (int i = 1; i <= 100; ++i) {
    const double value = kx_ap4_polynomial(c, degree, a + i * step);
    const bool equal = AP1_KovFloatCompareSG_MATH(static_cast<float>(value), static_cast<float>(previous)) != 0;
    if (equal || (falling ? value >= previous : value <= previous)) return 0;
    previous = value;
  }
  return 1;
}

namespace {

// Dixon's limits for m = 3 .. 30 values.
constexpr double kDixonLimit[31] = {0,     0,     0,     0.970, 0.829, 0.710, 0.625, 0.568, 0.615, 0.570, 0.534,
                                    0.625, 0.592, 0.565, 0.590, 0.568, 0.548, 0.531, 0.516, 0.503, 0.491, 0.480,
                                    0.470, 0.461, 0.452, 0.445, 0.438, 0.432, 0.426, 0.419, 0.414};

// Chauvenet's criterion by the number of values.
double kx_ap4_chauvenet(uint32_t n) {
  struct Step {
    uint32_t below;
    double t;
  };
  constexpr Step kSteps[] = {{35, 2.39},  {45, 2.49},  {55, 2.57},  {70, 2.64},  {90, 2.74}, {125, 2.81},
                             {175, 2.93}, {250, 3.02}, {350, 3.14}, {450, 3.23}, {750, 3.29}};
  for (const Step& step : kSteps)
    if (n < step.below) return step.t;
  return 3.48;
}

}  // namespace

int16_t kx_ap4_CountOutliers(const AP4_ARRAY* values, uint16_t* count) {
  if (IsBadWritePtr(count, sizeof *count)) return 0;
  *count = 0;
  if (!ap4a_is_array(values)) return 0;
  const float* x = ap4a_GetDataAddress(values);
  const uint32_t n = values->rows * values->columns;
  if (x == nullptr || n == 0) return 0;
  const bool descending = !(x[n - 1] > x[0]);
  for (uint32_t i = 1; i < n; ++i)
    if (descending ? x[i] > x[i - 1] : x[i] < x[i - 1]) return 0;
  std::vector<double> q(n);
  for (uint32_t i = 0; i < n; ++i) q[i] = static_cast<double>(x[i]) * x[i];
  int16_t result = 1;
  uint32_t s = 0;
  for (bool added = true; added;) {
    added = false;
    const uint32_t m = n - s;
    if (m < 3) break;
    if (m <= 30) {
      double numerator = q[s + 1] - q[s];
      double denominator = q[n - 1] - q[s];
      if (m >= 8 && m <= 10) denominator = q[n - 2] - q[s];
      if (m >= 11) numerator = q[s + 2] - q[s];
      if (m >= 11 && m <= 13) denominator = q[n - 2] - q[s];
      if (m >= 14) denominator = q[n - 3] - q[s];
      // Equal values hold no outlier.
      added = denominator != 0.0 && numerator / denominator > kDixonLimit[m];
    } else {
      double squares = 0.0;
      for (uint32_t i = s; i < n; ++i) squares += q[i] * q[i];
      added = q[s] > kx_ap4_chauvenet(n) * std::sqrt(squares / (m - 1));
      result = 2;
    }
    if (added) ++s;
  }
  *count = static_cast<uint16_t>(s);
  return result;
}

int16_t kx_ap4_MeanSquare(const AP4_ARRAY* values, float* result) {
  if (IsBadWritePtr(result, sizeof *result)) return 0;
  *result = 0.0f;
  if (!ap4a_is_array(values)) return 0;
  const float* x = ap4a_GetDataAddress(values);
  const uint32_t n = values->rows * values->columns;
  if (x == nullptr || n == 0) return 1;
  double sum = 0.0;
  for (uint32_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * x[i];
  *result = static_cast<float>(sum / n);
  return 1;
}
