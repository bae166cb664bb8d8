// Multivariate curve resolution by alternating non-negative least squares:
// D (points × spectra) ≈ S (points × components) · Q (components × spectra),
// optionally with known spectra held fixed and a polynomial baseline per
// spectrum. A resolution runs in slices: each call does a bounded number of
// iterations and a module-wide run state carries the progress to the next
// call, so that a caller can update a window in between.
//
// Owns the baseline estimates, the basis, the component flags and the work
// copies of each iteration; S and Q go to the caller on every return. The
// ARRAY dispatcher reaches it through message 355; one run at a time, from
// one thread.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"
#include "platform/user.h"
#include "util/util.h"

namespace {

constexpr float kDefaultRatio = 0.0001f;
constexpr float kLowestRatio = 1e-05f;
constexpr uint32_t kRatioText = 100;
constexpr uint32_t kLookGoodLimit = 1000;
constexpr int32_t kLookGoodPerComponent = 20;
constexpr int32_t kRunLength = 500;
constexpr int32_t kFewestIterations = 6;
constexpr int32_t kTestsPerRaise = 100;
constexpr int32_t kSettleIterations = 5;
constexpr float kNoBestDiff = 1e6f;
constexpr float kSmallestThreshold = 2e-06f;
constexpr UINT kProgressMessage = 0x401;

// The run state kept between the calls of one resolution.
struct ap4c_mcr_run {
  int32_t total;
  int32_t since_raise;
  float ratio;
  int32_t best_iter;
  float best_diff;
  float best_val;
  int32_t look_good;
};

ap4c_mcr_run g_mcr_run{0, 0, kDefaultRatio, 0, kNoBestDiff, 0.0f, 0};

void ap4c_reset_run(float base_ratio) {
  g_mcr_run = ap4c_mcr_run{0, 0, base_ratio, 0, kNoBestDiff, 0.0f, g_mcr_run.look_good};
}

void ap4c_forget_best() {
  g_mcr_run.best_diff = kNoBestDiff;
  g_mcr_run.best_val = 1.0f;
  g_mcr_run.best_iter = 0;
}

float ap4c_base_ratio() {
  char text[kRatioText] = {};
  float value = 0.0f;
  if (GU9_GetKeyStringValue(GU9_TALVO_KEY, "MCRConvergenceRatio", HKEY_LOCAL_MACHINE, sizeof text - 1, text) &&
      std::sscanf(text, "%f", &value) == 1 && value > kLowestRatio && value < 1.0f)
    return value;
  return kDefaultRatio;
}

int32_t ap4c_look_good(int32_t baseline, uint32_t components) {
  if (baseline < 0) return 0;
  uint32_t value = 0;
  if (GU9_GetDWordKeyValue(GU9_TALVO_KEY, "MCRLookGoodIterations", HKEY_LOCAL_MACHINE, &value) &&
      value < kLookGoodLimit)
    return static_cast<int32_t>(value);
  return kLookGoodPerComponent * static_cast<int32_t>(components);
}

void ap4c_trace(const char* text) { OutputDebugStringA(text); }

bool ap4c_has_missing(const AP4_ARRAY* array) {
  const float* v = ap4a_GetDataAddress(array);
  for (uint32_t i = 0; i < array->rows * array->columns; ++i)
    if (ap1_is_missing(v[i])) return true;
  return false;
}

bool ap4c_included_point(const uint16_t* mask, uint32_t k) { return mask == nullptr || mask[k] != 0; }

// Zeroes the rows of the excluded points, in place.
void ap4c_clear_excluded(AP4_ARRAY* array, const uint16_t* mask) {
  if (array == nullptr || mask == nullptr) return;
  float* v = ap4a_GetDataAddress(array);
  for (uint32_t k = 0; k < array->rows; ++k)
    if (mask[k] == 0)
      for (uint32_t j = 0; j < array->columns; ++j) v[k * array->columns + j] = 0.0f;
}

// The polynomial basis of the baseline terms, p × (b + 1), 0 at excluded
// points.
AP4_ARRAY* ap4c_baseline_basis(uint32_t p, int32_t b, const uint16_t* mask) {
  const auto terms = static_cast<uint32_t>(b + 1);
  AP4_ARRAY* basis = ap4a_New(AP4_CLASS_ID, p, terms, nullptr);
  if (basis == nullptr) return nullptr;
  float* v = ap4a_GetDataAddress(basis);
  const float pf = static_cast<float>(p);
  const float span = p > 1 ? static_cast<float>(p - 1) : 1.0f;
  std::vector<float> column(p);
  for (uint32_t t = 0; t < terms; ++t) {
    for (uint32_t k = 0; k < p; ++k) {
      const float kf = static_cast<float>(k);
      column[k] = t == 0 ? 1.0f : t == 1 ? 2.0f * kf / span - 1.0f : 2.0f * kf - (2.0f / span) * kf * kf;
    }
    float scale = 1.0f / std::sqrt(pf);
    if (t > 0) {
      float mean = 0.0f;
      if (t == 2) {
        for (float q : column) mean += q;
        mean /= pf;
        for (float& q : column) q -= mean;
      }
      float squares = 0.0f;
      for (float q : column) squares += q * q;
      scale = squares > FLT_MIN ? 1.0f / std::sqrt(squares) : 0.0f;
    }
    for (uint32_t k = 0; k < p; ++k)
      v[k * terms + t] = ap4c_included_point(mask, k) ? (t == 0 ? scale : column[k] * scale) : 0.0f;
  }
  return basis;
}

// Dw −= column `from` of S times row `from` of Q, over every point and
// spectrum.
void ap4c_remove_component(AP4_ARRAY* dw, const AP4_ARRAY* s, uint32_t from, const AP4_ARRAY* q) {
  float* d = ap4a_GetDataAddress(dw);
  const float* sv = ap4a_GetDataAddress(s);
  const float* qv = ap4a_GetDataAddress(q);
  for (uint32_t k = 0; k < dw->rows; ++k)
    for (uint32_t j = 0; j < dw->columns; ++j) d[k * dw->columns + j] -= sv[k * s->columns + from] * qv[from * q->columns + j];
}

// Each of the first `count` columns of S to a mean square of 1.
void ap4c_unit_mean_square(AP4_ARRAY* s, uint32_t count) {
  float* v = ap4a_GetDataAddress(s);
  const uint32_t p = s->rows;
  for (uint32_t c = 0; c < count; ++c) {
    float ms = 0.0f;
    for (uint32_t k = 0; k < p; ++k) ms += v[k * s->columns + c] * v[k * s->columns + c];
    ms /= static_cast<float>(p);
    if (ms <= 0.0f) ms = 1.0f;
    const float factor = 1.0f / std::sqrt(ms);
    for (uint32_t k = 0; k < p; ++k) v[k * s->columns + c] *= factor;
  }
}

// The largest change of a row of Q against P relative to its largest value,
// chosen over the rows.
void ap4c_largest_change(const AP4_ARRAY* q, const AP4_ARRAY* previous, float* change, float* value) {
  const float* qv = ap4a_GetDataAddress(q);
  const float* pv = ap4a_GetDataAddress(previous);
  for (uint32_t r = 0; r < q->rows; ++r) {
    float d = 0.0f;
    float v = 0.0f;
    for (uint32_t j = 0; j < q->columns; ++j) {
      const float x = qv[r * q->columns + j];
      const float diff = std::fabs(x - pv[r * q->columns + j]);
      if (diff > d) d = diff;
      if (x > v) v = x;
    }
    const bool replace = r == 0 || (v > 0.0f && *value > 0.0f
                                        ? d / v < *change / *value
                                        : !AP1_KovFloatCompareSG_MATH(v, 0.0f) && d < *change);
    if (replace) {
      *change = d;
      *value = v;
    }
  }
}

}  // namespace

AP4_ARRAY* ap4c_MCRInitialSpectra(const AP4_ARRAY* d, GU3_HANDLE mask, uint32_t c) {
  if (!ap4a_is_array(d) || c == 0) return nullptr;
  const uint32_t p = d->rows;
  const uint16_t* included = nullptr;
  if (!ap4c_MaskEntries(mask, p, &included)) return nullptr;
  AP4_ARRAY* s = ap4a_New(AP4_CLASS_ID, p, c, nullptr);
  if (s == nullptr) return nullptr;
  float* v = ap4a_GetDataAddress(s);
  uint32_t n = 0;
  for (uint32_t k = 0; k < p; ++k) n += ap4c_included_point(included, k);
  const uint32_t step = n / c;
  uint32_t threshold = step;
  uint32_t counter = 0;
  uint32_t band = 0;
  for (uint32_t k = 0; k < p; ++k) {
    if (!ap4c_included_point(included, k)) continue;
    if (++counter == threshold) {
      threshold += step;
      if (band < c - 1) ++band;
    }
    v[k * c + band] = 1.0f;
  }
  return s;
}

int32_t ap4c_MCR(AP4_ARRAY* d, GU3_HANDLE mask, const AP4_ARRAY* known, int32_t baseline, uint32_t* components,
                 AP4_ARRAY** spectra, AP4_ARRAY** concentrations, int32_t request, HWND window) {
  const float base_ratio = ap4c_base_ratio();
  if (request < 1) {
    ap4c_reset_run(base_ratio);
    request = -request;
  }
  if (!ap4a_is_array(d) || IsBadWritePtr(components, sizeof *components) ||
      IsBadWritePtr(spectra, sizeof *spectra) || IsBadWritePtr(concentrations, sizeof *concentrations))
    return AP4C_MCR_INVALID;
  const uint32_t c = *components;
  if (g_mcr_run.total == 0) g_mcr_run.look_good = ap4c_look_good(baseline, c);
  const int32_t n_iterations = request == 0 ? kRunLength : (request < kFewestIterations ? kFewestIterations : request);
  const uint32_t p = d->rows;
  const uint32_t m = d->columns;
  if (known != nullptr && (!ap4a_is_array(known) || known->rows != p)) return AP4C_MCR_INVALID;
  const uint32_t kk = known != nullptr ? known->columns : 0;
  if (c < 1 || c > m) return AP4C_MCR_INVALID;
  const int32_t b = baseline > 2 ? 2 : baseline;
  const uint16_t* included = nullptr;
  if (!ap4c_MaskEntries(mask, p, &included)) return AP4C_MCR_INVALID;
  // A missing value has no fit; it would only spoil every estimate.
  if (ap4c_has_missing(d) || (known != nullptr && ap4c_has_missing(known))) return AP4C_MCR_INVALID;
  AP4_ARRAY* given = *spectra;
  if (given != nullptr && (!ap4a_is_array(given) || given->rows != p || given->columns != c)) return AP4C_MCR_INVALID;

  // Straight-line estimates, one (slope, intercept) per spectrum, while the
  // baseline terms stay out of the fit.
  int32_t raise_delay = 0;
  std::vector<float> slopes;
  std::vector<float> intercepts;
  if (b >= 0 && g_mcr_run.total <= g_mcr_run.look_good) {
    raise_delay = g_mcr_run.total == 0 ? 1 : 0;
    slopes.assign(m, 0.0f);
    intercepts.assign(m, 0.0f);
    const float* dv = ap4a_GetDataAddress(d);
    for (uint32_t j = 0; j < m; ++j)
      if (!ap4c_EstimateBaseline(dv + j, m, p, included, b, &slopes[j], &intercepts[j])) return AP4C_MCR_INVALID;
  }

  ap4a_new_array s(given);
  if (given == nullptr) {
    ap4c_clear_excluded(d, included);
    ap4c_clear_excluded(const_cast<AP4_ARRAY*>(known), included);
    s.reset(ap4c_MCRInitialSpectra(d, mask, c));
    if (s.get() == nullptr) return AP4C_MCR_INVALID;
  } else if (*concentrations != nullptr) {
    ap4a_Delete(*concentrations, nullptr);
  }
  *spectra = nullptr;
  *concentrations = nullptr;

  const uint32_t terms = b >= 0 ? static_cast<uint32_t>(b + 1) : 0;
  const uint32_t fitted = c + kk;
  GU3_HANDLE flags = GU3_Allocate_MM(fitted + terms, sizeof(uint16_t), GU3_KIND_GLOBAL);
  auto* flag_entries = static_cast<uint16_t*>(GU3_GetPointer_MM(flags, 0, nullptr, nullptr));
  ap4a_new_array basis(terms != 0 ? ap4c_baseline_basis(p, b, included) : nullptr);
  ap4a_new_array q;
  ap4a_new_array previous;
  bool stopped = false;
  bool failed = flag_entries == nullptr || (terms != 0 && basis.get() == nullptr);
  if (!failed)
    for (uint32_t i = 0; i < fitted + terms; ++i) flag_entries[i] = i < fitted ? AP4C_FLAG_NON_NEGATIVE : 0;
  char line[200];
  for (int32_t it = 1; it <= n_iterations && !stopped && !failed; ++it) {
    const int32_t iteration = g_mcr_run.total + it;
    const bool baseline_terms = b >= 0 && iteration > g_mcr_run.look_good;
    failed = true;
    if (kk > 0) {
      if (!ap4a_InsertColumns(s.get(), static_cast<int32_t>(c), static_cast<int32_t>(kk))) break;
      for (uint32_t k = 0; k < p; ++k)
        for (uint32_t j = 0; j < kk; ++j)
          ap4a_GetDataAddress(s.get())[k * fitted + c + j] = ap4a_GetDataAddress(known)[k * kk + j];
    }
    ap4c_unit_mean_square(s.get(), fitted);
    ap4a_new_array dw(ap4a_Duplicate(d, nullptr));
    if (dw.get() == nullptr) break;
    if (baseline_terms) {
      if (!ap4a_InsertColumns(s.get(), static_cast<int32_t>(fitted), static_cast<int32_t>(terms))) break;
      float* sv = ap4a_GetDataAddress(s.get());
      const float* bv = ap4a_GetDataAddress(basis.get());
      for (uint32_t k = 0; k < p; ++k)
        for (uint32_t t = 0; t < terms; ++t) sv[k * (fitted + terms) + fitted + t] = bv[k * terms + t];
    } else if (b >= 0 && !slopes.empty()) {
      float* w = ap4a_GetDataAddress(dw.get());
      for (uint32_t j = 0; j < m; ++j)
        for (uint32_t k = 0; k < p; ++k)
          if (ap4c_included_point(included, k)) w[k * m + j] -= intercepts[j] + static_cast<float>(k) * slopes[j];
    }
    q.reset(ap4c_MCRStep(dw.get(), s.get(), flags, 0));
    if (q.get() == nullptr) break;
    if (baseline_terms) {
      int length = std::snprintf(line, sizeof line, "Iter: %ld  First spectrum baseline:", static_cast<long>(iteration));
      for (uint32_t t = 0; t < terms; ++t)
        length += std::snprintf(line + length, sizeof line - length, " %s%f", t == 0 ? "" : " ",
                                ap4a_GetDataAddress(q.get())[(fitted + t) * m] *
                                    ap4a_GetDataAddress(s.get())[fitted + t]);
      std::snprintf(line + length, sizeof line - length, "\n");
      ap4c_trace(line);
      bool removed = true;
      for (uint32_t t = terms; t-- > 0 && removed;) {
        ap4c_remove_component(dw.get(), s.get(), fitted + t, q.get());
        removed = ap4a_DeleteColumns(s.get(), static_cast<int32_t>(fitted + t), 1) &&
                  ap4a_DeleteRows(q.get(), static_cast<int32_t>(fitted + t), 1);
      }
      if (!removed) break;
    }
    ap4a_new_array qn(ap4a_Duplicate(q.get(), nullptr));
    if (qn.get() == nullptr) break;
    bool removed = true;
    for (uint32_t j = kk; j-- > 0 && removed;) {
      ap4c_remove_component(dw.get(), s.get(), c + j, qn.get());
      removed = ap4a_DeleteColumns(s.get(), static_cast<int32_t>(c + j), 1) &&
                ap4a_DeleteRows(qn.get(), static_cast<int32_t>(c + j), 1);
    }
    if (!removed) break;
    s.reset(ap4c_MCRStep(dw.get(), qn.get(), nullptr, 1));
    if (s.get() == nullptr) break;
    failed = false;
    if (it == 1) {
      previous.reset(q.release());
      continue;
    }
    float change = 0.0f;
    float value = 0.0f;
    ap4c_largest_change(q.get(), previous.get(), &change, &value);
    ap4c_mcr_run& run = g_mcr_run;
    if (value > 0.0f && run.best_val > 0.0f ? change / value < run.best_diff / run.best_val
                                             : change < run.best_diff) {
      run.best_diff = change;
      run.best_iter = iteration;
      run.best_val = value;
    }
    if (window != nullptr) {
      float relative = value > FLT_MIN || value < -FLT_MIN ? change / value : AP1_GetNaNSG_MATH();
      SendMessageA(window, kProgressMessage, reinterpret_cast<WPARAM>(&relative), iteration);
    }
    std::snprintf(line, sizeof line, "Iter: %ld  MaxDiff: %f  MaxVal: %f   (Best: %f at %ld with max %f)\n",
                  static_cast<long>(iteration), change, value, run.best_diff, static_cast<long>(run.best_iter),
                  run.best_val);
    ap4c_trace(line);
    if (++run.since_raise >= raise_delay * run.look_good + kTestsPerRaise) {
      run.ratio += base_ratio;
      run.since_raise = 0;
      raise_delay = 0;
    }
    float threshold = value * run.ratio;
    if (threshold < kSmallestThreshold) threshold = kSmallestThreshold;
    if (change < threshold) {
      if (iteration > run.look_good + kSettleIterations) {
        stopped = true;
      } else if (iteration < run.look_good) {
        run.look_good = iteration;
        ap4c_forget_best();
      }
    } else if (b >= 0 && iteration == run.look_good) {
      ap4c_forget_best();
    }
    previous.reset(q.release());
  }
  GU3_Free_MM(flags);
  *spectra = s.release();
  *concentrations = q.get() != nullptr ? q.release() : previous.release();
  if (failed) {
    ap4c_reset_run(base_ratio);
    return AP4C_MCR_INVALID;
  }
  if (stopped) {
    ap4c_reset_run(base_ratio);
    return AP4C_MCR_CONVERGED;
  }
  g_mcr_run.total += n_iterations;
  if (g_mcr_run.total < kRunLength) return AP4C_MCR_GOES_ON;
  ap4c_reset_run(base_ratio);
  return AP4C_MCR_RUN_ENDED;
}
