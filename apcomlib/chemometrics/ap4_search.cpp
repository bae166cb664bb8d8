// The match score of library search: how well a candidate spectrum b fits
// a sample a, both ARRAY objects taken as flat sequences of equal length,
// by one of six metrics: the correlation of their differences over two
// positions, the squared correlation of the centred data, and four
// residuals after the candidate has been scaled (and, on the data, offset)
// onto the sample. 100 is a perfect match.
//
// Exported, and reached through ARRAY message 342. Which positions count is
// decided by the sample alone; sums are kept in single precision.
#include <cmath>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

bool ap4_zero(float value) { return AP1_KovFloatCompareSG_MATH(value, 0.0f) != 0; }

// The sample and the candidate as sequences of n values.
struct ap4_pair {
  const float* a;
  const float* b;
  uint32_t n;
  bool counts(uint32_t i) const { return !ap1_is_missing(a[i]); }
  // The difference at i reaches from i to i + 2; i + 2 < n.
  bool counts_difference(uint32_t i) const { return counts(i) && counts(i + 2); }
  float da(uint32_t i) const { return a[i + 2] - a[i]; }
  float db(uint32_t i) const { return b[i + 2] - b[i]; }
  // Calls f(i) for every counted difference.
  template <typename F>
  void each_difference(F f) const {
    for (uint32_t i = 0; i + 2 < n; ++i)
      if (counts_difference(i)) f(i);
  }
};

struct ap4_sums {
  float aa = 0.0f;
  float ab = 0.0f;
  float bb = 0.0f;
  bool degenerate() const { return ap4_zero(aa) || ap4_zero(ab) || ap4_zero(bb); }
};

ap4_sums ap4_difference_sums(const ap4_pair& p) {
  ap4_sums s;
  p.each_difference([&](uint32_t i) {
    s.aa += p.da(i) * p.da(i);
    s.ab += p.da(i) * p.db(i);
    s.bb += p.db(i) * p.db(i);
  });
  return s;
}

float ap4_squared_correlation(const ap4_pair& p) {
  float sum_a = 0.0f;
  float sum_b = 0.0f;
  uint32_t count = 0;
  for (uint32_t i = 0; i < p.n; ++i) {
    if (!p.counts(i)) continue;
    sum_a += p.a[i];
    sum_b += p.b[i];
    ++count;
  }
  const float mean_a = count > 0 ? sum_a / static_cast<float>(count) : 0.0f;
  const float mean_b = count > 0 ? sum_b / static_cast<float>(count) : 0.0f;
  ap4_sums s;
  for (uint32_t i = 0; i < p.n; ++i) {
    if (!p.counts(i)) continue;
    const float ca = p.a[i] - mean_a;
    const float cb = p.b[i] - mean_b;
    s.aa += ca * ca;
    s.ab += ca * cb;
    s.bb += cb * cb;
  }
  if (s.degenerate()) return 0.0f;
  return static_cast<float>(double{s.ab} * s.ab * 100.0 / (double{s.aa} * s.bb));
}

// 100 × (1 − residual / reference), or 0 when the reference is not positive.
float ap4_residual_score(float residual, float reference) {
  if (!(reference > 0.0f)) return 0.0f;
  return static_cast<float>((1.0 - double{residual} / reference) * 100.0);
}

// Options 1 and 2: the candidate scaled by k and offset onto the sample.
float ap4_data_residual_score(const ap4_pair& p, float k, bool squares) {
  float min_a = 0.0f;
  float min_b = 0.0f;
  bool first = true;
  for (uint32_t i = 0; i < p.n; ++i) {
    if (!p.counts(i)) continue;
    if (first || p.a[i] < min_a) min_a = p.a[i];
    if (first || p.b[i] < min_b) min_b = p.b[i];
    first = false;
  }
  const float c = min_a - k * min_b;
  float residual = 0.0f;
  float reference = 0.0f;
  for (uint32_t i = 0; i < p.n; ++i) {
    if (!p.counts(i)) continue;
    const float r = p.a[i] - k * p.b[i] - c;
    const float d = p.a[i] - min_a;
    residual += squares ? r * r : std::fabs(r);
    reference += squares ? d * d : std::fabs(d);
  }
  return squares ? ap4_residual_score(std::sqrt(residual), std::sqrt(reference))
                 : ap4_residual_score(residual, reference);
}

// Options 3 and 4: the candidate's differences scaled by k.
float ap4_difference_residual_score(const ap4_pair& p, float k, bool squares) {
  float residual = 0.0f;
  float reference = 0.0f;
  p.each_difference([&](uint32_t i) {
    const float r = p.da(i) - k * p.db(i);
    residual += squares ? r * r : std::fabs(r);
    reference += squares ? p.da(i) * p.da(i) : std::fabs(p.da(i));
  });
  return squares ? ap4_residual_score(std::sqrt(residual), std::sqrt(reference))
                 : ap4_residual_score(residual, reference);
}

float ap4_score(const ap4_pair& p, uint16_t option) {
  if (option == AP4_SEARCH_CORRELATION_SQUARED) return ap4_squared_correlation(p);
  const ap4_sums d = ap4_difference_sums(p);
  if (option == AP4_SEARCH_DIFFERENCE_CORRELATION) {
    if (d.degenerate()) return 0.0f;
    return static_cast<float>(std::sqrt(double{d.ab} * d.ab / (double{d.aa} * d.bb)) * 100.0);
  }
  // The least-squares factor that maps the candidate's differences onto
  // the sample's.
  const float k = ap4_zero(d.ab) || ap4_zero(d.bb) ? 1.0f : d.ab / d.bb;
  switch (option) {
    case AP4_SEARCH_ABSOLUTE_RESIDUAL: return ap4_data_residual_score(p, k, false);
    case AP4_SEARCH_SQUARED_RESIDUAL: return ap4_data_residual_score(p, k, true);
    case AP4_SEARCH_DIFFERENCE_ABSOLUTE_RESIDUAL: return ap4_difference_residual_score(p, k, false);
    case AP4_SEARCH_DIFFERENCE_SQUARED_RESIDUAL: return ap4_difference_residual_score(p, k, true);
    default: return 0.0f;
  }
}

}  // namespace

APEXPORT int16_t AP4_SearchAllOptions_ARRAY(const AP4_ARRAY* a, const AP4_ARRAY* b, uint16_t option, float* score) {
  if (IsBadWritePtr(score, sizeof *score)) return 1;
  *score = 0.0f;
  if (!ap4a_is_array(a) || !ap4a_is_array(b)) return 1;
  const uint32_t n = a->rows * a->columns;
  if (n != b->rows * b->columns) return 1;
  const float* av = ap4a_GetDataAddress(a);
  const float* bv = ap4a_GetDataAddress(b);
  if (av == nullptr || bv == nullptr) return 1;
  *score = ap4_score(ap4_pair{av, bv, n}, option);
  return 1;
}
