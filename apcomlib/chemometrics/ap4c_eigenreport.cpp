// Factor-number diagnostics for a set of spectra (one per column): after an
// optional straight-line baseline per spectrum and the masking of points,
// the eigen analysis of the data gives per factor the eigenvalue, its
// decimal logarithm, the residual standard deviation and the indicator
// function, tabulated for the caller and written to the debugger.
//
// Also holds the baseline estimate that the curve resolution shares. The
// ARRAY dispatcher reaches the report through message 356; the input array
// is never changed.
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"
#include "platform/user.h"

namespace {

constexpr int32_t kDefaultFactors = 20;
constexpr uint32_t kTableRows = 4;

float ap4c_nan() { return AP1_GetNaNSG_MATH(); }

bool ap4c_included(const uint16_t* mask, uint32_t k) { return mask == nullptr || mask[k] != 0; }

// Subtracts the line intercept + k × slope from the included points of one
// spectrum, laid down the column of a row-major array.
void ap4c_subtract_line(float* column, uint32_t stride, uint32_t p, const uint16_t* mask, float slope,
                        float intercept) {
  for (uint32_t k = 0; k < p; ++k)
    if (ap4c_included(mask, k)) column[k * stride] -= intercept + static_cast<float>(k) * slope;
}

}  // namespace

bool ap4c_MaskEntries(GU3_HANDLE mask, uint32_t count, const uint16_t** entries) {
  *entries = nullptr;
  if (mask == nullptr) return true;
  if (GU3_NumElements_MM(mask) != count || GU3_LenElements_MM(mask) != sizeof(uint16_t)) return false;
  *entries = static_cast<const uint16_t*>(GU3_GetPointer_MM(mask, 0, nullptr, nullptr));
  return *entries != nullptr || count == 0;
}

bool ap4c_EstimateBaseline(const float* column, uint32_t stride, uint32_t p, const uint16_t* mask, int32_t order,
                           float* slope, float* intercept) {
  *slope = 0.0f;
  *intercept = 0.0f;
  // The lowest included point; missing values never count.
  bool seeded = false;
  uint32_t i1 = 0;
  float y1 = 0.0f;
  for (uint32_t k = 0; k < p; ++k) {
    const float v = column[k * stride];
    if (!ap4c_included(mask, k) || ap1_is_missing(v)) continue;
    if (!seeded || v < y1) {
      i1 = k;
      y1 = v;
      seeded = true;
    }
  }
  if (!seeded) return true;
  *intercept = y1;
  if (order < 1) return true;
  const uint32_t w = p / 10;
  auto outside = [&](uint32_t k) { return k + w < i1 || k > i1 + w; };
  bool found = false;
  uint32_t i2 = 1;
  float y2 = 0.0f;
  for (uint32_t k = 0; k < p; ++k) {
    const float v = column[k * stride];
    if (!ap4c_included(mask, k) || ap1_is_missing(v) || !outside(k)) continue;
    if (!found || v < y2) {
      i2 = k;
      y2 = v;
      found = true;
    }
  }
  // Without a second point the line would run through (1, 0); through the
  // lowest point itself it has no slope at all.
  if (i2 == i1) return false;
  float s0 = (y2 - y1) / (static_cast<float>(i2) - static_cast<float>(i1));
  float b0 = y1 - static_cast<float>(i1) * s0;
  // The point that lies furthest below the first line replaces the second.
  float deepest = 0.0f;
  for (uint32_t k = 0; k < p; ++k) {
    const float v = column[k * stride];
    if (!ap4c_included(mask, k) || ap1_is_missing(v) || !outside(k)) continue;
    const float below = v - (b0 + static_cast<float>(k) * s0);
    if (below < deepest) {
      deepest = below;
      i2 = k;
      y2 = v;
    }
  }
  *slope = (y2 - y1) / (static_cast<float>(i2) - static_cast<float>(i1));
  *intercept = y1 - static_cast<float>(i1) * *slope;
  return true;
}

uint16_t ap4c_EigenReport(const AP4_ARRAY* d, GU3_HANDLE mask, int32_t baseline, int32_t* count, AP4_ARRAY** table) {
  if (!ap4a_is_array(d) || IsBadWritePtr(count, sizeof *count) || IsBadWritePtr(table, sizeof *table)) return 0;
  const uint32_t p = d->rows;
  const uint32_t m = d->columns;
  const uint16_t* included = nullptr;
  if (!ap4c_MaskEntries(mask, p, &included)) {
    *count = 0;
    *table = nullptr;
    return 0;
  }
  if (*count < 1) *count = kDefaultFactors;
  if (baseline < 0) baseline = 0;
  if (baseline > 2) baseline = 2;
  ap4a_new_array dc(ap4a_Duplicate(const_cast<AP4_ARRAY*>(d), nullptr));
  AP4_ARRAY* eigenvalues = nullptr;
  float total = 0.0f;
  auto fail = [&]() -> uint16_t {
    if (eigenvalues != nullptr) ap4a_Delete(eigenvalues, nullptr);
    *count = 0;
    *table = nullptr;
    return 0;
  };
  if (dc.get() == nullptr) return fail();
  float* x = ap4a_GetDataAddress(dc.get());
  if (baseline > 0) {
    for (uint32_t j = 0; j < m; ++j) {
      float slope = 0.0f;
      float intercept = 0.0f;
      // Mode 1 is the flat line (order 0), mode 2 the sloped one.
      if (!ap4c_EstimateBaseline(x + j, m, p, included, baseline - 1, &slope, &intercept)) return fail();
      ap4c_subtract_line(x + j, m, p, included, slope, intercept);
    }
  }
  uint32_t n = p;
  if (included != nullptr) {
    n = 0;
    for (uint32_t k = 0; k < p; ++k) {
      if (included[k] != 0) {
        ++n;
        continue;
      }
      for (uint32_t j = 0; j < m; ++j) x[k * m + j] = 0.0f;
    }
  }
  {
    AP4_ARRAY* scores = nullptr;
    AP4_ARRAY* loadings = nullptr;
    const int16_t analysed =
        AP4D_DblEigenAnalysis(dc.get(), *count, 100.0f, 0, &scores, &loadings, &eigenvalues, &total, count);
    ap4a_new_array drop_scores(scores);
    ap4a_new_array drop_loadings(loadings);
    if (!analysed) return fail();
  }
  if (!ap4a_InsertRows(eigenvalues, 1, kTableRows - 1)) return fail();
  const int32_t f = *count;
  float* row = ap4a_GetDataAddress(eigenvalues);
  const float r = static_cast<float>(n > m ? n : m);
  const float s = static_cast<float>(n < m ? n : m);
  char line[160];
  std::snprintf(line, sizeof line, "Sum of eigenvalues: %f\n", total);
  OutputDebugStringA(line);
  float e = total;
  for (int32_t j = 1; j <= f; ++j) {
    const float lambda = row[j - 1];
    const float log_lambda = lambda > FLT_MIN ? std::log10(lambda) : ap4c_nan();
    e -= lambda;
    // From factor s on no degrees of freedom are left for the residual.
    const float left = s - static_cast<float>(j);
    const float divisor = left * r;
    float v = divisor > FLT_MIN ? e / divisor : ap4c_nan();
    // The remainder of the total runs a rounding below 0 at the last factors.
    if (v < 0.0f) v = 0.0f;
    const float rsd = AP1_SquareRoot_MATH(v);
    const float ind = divisor > FLT_MIN ? (s * s / (left * left)) * v : ap4c_nan();
    row[f + j - 1] = log_lambda;
    row[2 * f + j - 1] = rsd;
    row[3 * f + j - 1] = ind;
    std::snprintf(line, sizeof line, "  Eigenvalue %d: %f  (log: %f)  (RSD: %f)  (IND: %f)\n", static_cast<int>(j),
                  lambda, log_lambda, rsd, ind);
    OutputDebugStringA(line);
  }
  *table = eigenvalues;
  return 1;
}
