// Eigen analysis of an ARRAY by the NIPALS scheme: principal factors are
// extracted one at a time by power iteration with deflation, in double
// precision, until the requested number is reached or the factors found
// account for the requested share of the total.
//
// Owns its work matrices; the scores, loadings and eigenvalue arrays it
// makes are handed to the caller only on success. Exported, reached through
// ARRAY message 340, and called by the principal-component maps and the
// eigenvalue report.
#include <cmath>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr int kMaxExtraPasses = 50;
constexpr double kNegligible = 1e-16;
constexpr double kConvergence = 1e-10;

bool ap4d_cross_product_mode(int16_t mode) { return mode == 1 || mode == 2; }

// Divides by d, or by 1.0 when d compares equal to 0.
double ap4d_divisor(double d) { return AP1_KovFloatCompareDB_MATH(d, 0.0) ? 1.0 : d; }

// The column of the largest sum of squares (the earliest on ties) and the
// reference total of the matrix: the sum of squares of all elements, or the
// trace for a cross-product matrix.
uint32_t ap4d_start_column(const AP4D_MATRIX* d, int16_t mode, double& total) {
  uint32_t best = 0;
  double best_sum = -1.0;
  total = 0.0;
  for (uint32_t c = 0; c < d->columns; ++c) {
    double sum = 0.0;
    for (uint32_t r = 0; r < d->rows; ++r) sum += d->values[r * d->columns + c] * d->values[r * d->columns + c];
    if (sum > best_sum) {
      best_sum = sum;
      best = c;
    }
    total += sum;
  }
  if (ap4d_cross_product_mode(mode)) {
    total = 0.0;
    for (uint32_t i = 0; i < d->rows; ++i) total += d->values[i * d->columns + i];
  }
  return best;
}

double ap4d_dot(const double* a, const double* b, uint32_t count) {
  double sum = 0.0;
  for (uint32_t i = 0; i < count; ++i) sum = a[i] * b[i] + sum;
  return sum;
}

// Column f of the array takes the doubles, as floats.
void ap4d_store_column(AP4_ARRAY* array, uint32_t f, const double* values, uint32_t count) {
  float* to = ap4a_GetDataAddress(array);
  for (uint32_t i = 0; i < count; ++i) to[i * array->columns + f] = static_cast<float>(values[i]);
}

// The three results, deleted again unless they are handed out.
struct ap4d_factor_arrays {
  ap4a_new_array scores;
  ap4a_new_array loadings;
  ap4a_new_array eigenvalues;
  bool made() const { return scores.get() != nullptr && loadings.get() != nullptr && eigenvalues.get() != nullptr; }
  // Cuts the three to the first `count` columns.
  bool keep_columns(int32_t count, int32_t factors) {
    return ap4a_DeleteColumns(scores.get(), count, factors - count) &&
           ap4a_DeleteColumns(loadings.get(), count, factors - count) &&
           ap4a_DeleteColumns(eigenvalues.get(), count, factors - count);
  }
};

}  // namespace

APEXPORT int16_t AP4D_DblEigenAnalysis(const AP4_ARRAY* x, int32_t factors, float percent, int16_t mode,
                                       AP4_ARRAY** scores, AP4_ARRAY** loadings, AP4_ARRAY** eigenvalues,
                                       float* total, int32_t* count) {
  if (!ap4a_is_array(x) || factors <= 0 || IsBadWritePtr(scores, sizeof *scores) ||
      IsBadWritePtr(loadings, sizeof *loadings) || IsBadWritePtr(eigenvalues, sizeof *eigenvalues) ||
      IsBadWritePtr(total, sizeof *total) || IsBadWritePtr(count, sizeof *count))
    return 0;
  const float fraction = (percent > 100.0f ? 100.0f : percent) / 100.0f;
  const uint32_t m = x->rows;
  const uint32_t n = x->columns;
  const auto wanted = static_cast<uint32_t>(factors);
  ap4d_matrix_guard d(AP4_CopyToDouble(x));
  ap4d_factor_arrays out{ap4a_new_array(ap4a_New(AP4_CLASS_ID, m, wanted, nullptr)),
                         ap4a_new_array(ap4a_New(AP4_CLASS_ID, n, wanted, nullptr)),
                         ap4a_new_array(ap4a_New(AP4_CLASS_ID, 1, wanted, nullptr))};
  ap4d_matrix_guard t(AP4D_DblCreate(m, 1, 0.0));
  ap4d_matrix_guard q(AP4D_DblCreate(1, n, 0.0));
  if (d.get() == nullptr || !out.made() || t.get() == nullptr || q.get() == nullptr) return 0;
  if (ap4d_cross_product_mode(mode) && m != n) return 0;
  double* dv = d->values;
  // A missing value spoils every factor; it is refused rather than handed
  // out as factors of missing values.
  for (uint32_t i = 0; i < m * n; ++i)
    if (std::isnan(dv[i])) return 0;
  double* tv = t->values;
  double* qv = q->values;
  float* ev = ap4a_GetDataAddress(out.eigenvalues.get());
  double reference = 0.0;
  double cumulative = 0.0;
  int32_t found = 0;
  bool stop = false;
  for (uint32_t f = 0; f < wanted && !stop; ++f) {
    double pass_total = 0.0;
    const uint32_t start = ap4d_start_column(ap4d_matrix(d.get()), mode, pass_total);
    if (f == 0) reference = pass_total;
    for (uint32_t r = 0; r < m; ++r) tv[r] = dv[r * n + start];
    double lambda = ap4d_dot(tv, tv, m);
    for (int passes = 0;;) {
      const double scale = ap4d_divisor(lambda);
      for (uint32_t c = 0; c < n; ++c) {
        double sum = 0.0;
        for (uint32_t r = 0; r < m; ++r) sum = tv[r] * dv[r * n + c] + sum;
        qv[c] = sum / scale;
      }
      const double length = ap4d_divisor(std::sqrt(ap4d_dot(qv, qv, n)));
      for (uint32_t c = 0; c < n; ++c) qv[c] /= length;
      for (uint32_t r = 0; r < m; ++r) tv[r] = ap4d_dot(dv + r * n, qv, n);
      const double previous = lambda;
      lambda = ap4d_dot(tv, tv, m);
      if (lambda < kNegligible || std::fabs(lambda - previous) < kConvergence * lambda) break;
      if (++passes > kMaxExtraPasses) break;
    }
    for (uint32_t r = 0; r < m; ++r)
      for (uint32_t c = 0; c < n; ++c) dv[r * n + c] -= tv[r] * qv[c];
    if (mode != 3) {
      const double length = ap4d_divisor(std::sqrt(lambda));
      for (uint32_t r = 0; r < m; ++r) tv[r] /= length;
    }
    ap4d_store_column(out.scores.get(), f, tv, m);
    ap4d_store_column(out.loadings.get(), f, qv, n);
    ++found;
    if (ap4d_cross_product_mode(mode)) lambda = lambda < 0.0 ? 0.0 : std::sqrt(lambda);
    ev[f] = static_cast<float>(lambda);
    cumulative += lambda;
    stop = fraction * reference < cumulative;
  }
  if (found < factors && !out.keep_columns(found, factors)) return 0;
  *scores = out.scores.release();
  *loadings = out.loadings.release();
  *eigenvalues = out.eigenvalues.release();
  *total = static_cast<float>(reference);
  *count = found;
  return 1;
}
