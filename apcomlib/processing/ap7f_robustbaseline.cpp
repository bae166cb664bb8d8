// The robust polynomial baseline of a region (message 266) and the band
// scan behind the quality checks' test for uncompensated atmospheric
// bands, and what it shares with the piecewise-cubic baseline (message
// 267): the cleaned region copy, the thinning of long regions, the point
// classes and the classification iterations that refit on the points
// inside a band of k residual deviations, the outputs and the result array.
//
// The caller's spectrum is never changed; the copy, the classes and every
// matrix live for the call only.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr uint32_t kAbsorbance = 17;
// Thinning halves the fitted points until no more than this many are left.
constexpr int32_t kThinnedMost = 1024;
// The iterations run at least this many times, and at most the second.
constexpr int32_t kFewestIterations = 6;
constexpr int32_t kMostIterations = 50;
constexpr int32_t kMostWeightedPasses = 13;
// A run of out-of-band points of one side longer than this counts.
constexpr int32_t kLongRun = 4;
constexpr double kInverseTolerance = 1e-6;

// The band scan starts at this X when the region reaches below it.
constexpr float kBandScanStartX = 650.0f;
constexpr float kBandScanLevel = 0.5f;
// A feature needs this many points, its second run this many, its first
// run this many before the second begins; the third gap ends a candidate.
constexpr int32_t kFeatureSpan = 6;
constexpr int32_t kSecondRun = 3;
constexpr int32_t kFirstRun = 3;
constexpr int32_t kMostGaps = 3;

// The counts of one classification.
struct ap7f_counts {
  int32_t above = 0;
  int32_t below = 0;
  int32_t positive = 0;
  int32_t negative = 0;
  int32_t long_runs = 0;
};

// The copy's values smoothed once in place with weights 1, 2, 1; the ends
// stay.
void ap7f_smooth(float* y, int32_t n) {
  if (n < 3) return;
  float left = y[0];
  for (int32_t i = 1; i < n - 1; ++i) {
    const float centre = y[i];
    y[i] = (left + 2.0f * centre + y[i + 1]) / 4.0f;
    left = centre;
  }
}

// Thinning, and the points of the first fit: every step-th point from the
// centred start, and both ends.
void ap7f_thin(AP7F_ROBUSTFIT& fit, float* y, bool thinning) {
  fit.step = 1;
  while (thinning && fit.n / fit.step > kThinnedMost) {
    fit.step *= 2;
    ap7f_smooth(y, fit.n);
  }
  fit.classes.assign(static_cast<size_t>(fit.n), AP7F_CLASS_UNUSED);
  for (int32_t i = (fit.n - (fit.n / fit.step) * fit.step) / 2; i < fit.n; i += fit.step)
    fit.classes[i] = AP7F_CLASS_INSIDE_ABOVE;
  fit.classes.front() = AP7F_CLASS_INSIDE_ABOVE;
  fit.classes.back() = AP7F_CLASS_INSIDE_ABOVE;
}

void ap7f_collect_points(AP7F_ROBUSTFIT& fit) {
  fit.points.clear();
  for (int32_t i = 0; i < fit.n; ++i)
    if (fit.classes[i] == AP7F_CLASS_INSIDE_ABOVE || fit.classes[i] == AP7F_CLASS_INSIDE_BELOW) fit.points.push_back(i);
}

// The residual deviation of the fitted points, over their own values.
double ap7f_deviation(const AP7F_ROBUSTFIT& fit, const std::vector<double>& baseline, uint32_t less) {
  const size_t c = fit.points.size();
  if (c <= 1) return 0.0;
  double sum = 0.0;
  for (int32_t i : fit.points) {
    const double d = fit.y[i] - baseline[i];
    sum += d * d;
  }
  return std::sqrt(sum / static_cast<double>(c - less));
}

// The band's upper and lower limits; narrower on the peak side when the
// peak side is weighted.
void ap7f_band(const AP7F_ROBUSTFIT& fit, float k, float k2, double r, double& upper, double& lower) {
  k2 = std::min(k2, k);
  upper = double{k} * r;
  lower = -double{k} * r;
  if (AP1_KovFloatCompareSG_MATH(fit.w0, 1.0f)) return;
  if (fit.direction == AP7F_DIRECTION_UP) upper = (double{k} - k2) * r;
  if (fit.direction == AP7F_DIRECTION_DOWN) lower = -(double{k} - k2) * r;
}

// Every used point classed against the band, runs of one side counted.
ap7f_counts ap7f_classify(AP7F_ROBUSTFIT& fit, const std::vector<double>& baseline, double upper, double lower) {
  ap7f_counts counts;
  int32_t run_side = 0;
  int32_t run_length = 0;
  auto close_run = [&] {
    if (run_length > kLongRun) ++counts.long_runs;
    run_side = 0;
    run_length = 0;
  };
  for (int32_t i = 0; i < fit.n; ++i) {
    if (fit.classes[i] == AP7F_CLASS_UNUSED) continue;
    const double d = fit.y[i] - baseline[i];
    int32_t side = 0;
    if (d > upper) {
      fit.classes[i] = AP7F_CLASS_ABOVE;
      ++counts.above;
      ++counts.positive;
      side = 1;
    } else if (d < lower) {
      fit.classes[i] = AP7F_CLASS_BELOW;
      ++counts.below;
      ++counts.negative;
      side = -1;
    } else if (d > 0.0) {
      fit.classes[i] = AP7F_CLASS_INSIDE_ABOVE;
      ++counts.positive;
    } else {
      fit.classes[i] = AP7F_CLASS_INSIDE_BELOW;
      ++counts.negative;
    }
    if (side != run_side) close_run();
    if (side != 0) {
      run_side = side;
      ++run_length;
    }
  }
  fit.classes.front() = AP7F_CLASS_INSIDE_ABOVE;
  fit.classes.back() = AP7F_CLASS_INSIDE_ABOVE;
  return counts;
}

// The band scan's verdict on one value.
int32_t ap7f_side(float v) { return v > kBandScanLevel ? 1 : v < -kBandScanLevel ? -1 : 0; }

// The scan for derivative-shaped features: a run above the band followed
// by a run below it (1.0) or the reverse (-1.0); everything else becomes
// 0.0 from s0 on.
struct ap7f_scan {
  enum State { kIdle, kCandidate, kFeature };
  float* v;
  State state = kIdle;
  int32_t side = 0;  // of the first run
  int32_t start = 0;
  int32_t length = 0;
  int32_t gaps = 0;
  int32_t second = 0;
  int32_t features[2] = {0, 0};  // up-down, down-up
  int32_t marked = 0;

  void clear(int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) v[i] = 0.0f;
  }
  void open(int32_t i, int32_t s) {
    state = kCandidate;
    side = s;
    start = i;
    length = 1;
    gaps = 0;
  }
  void step(int32_t i) {
    const int32_t s = ap7f_side(v[i]);
    if (state == kIdle) {
      if (s != 0) open(i, s);
      else v[i] = 0.0f;
    } else if (state == kCandidate) {
      if (s == side) {
        if (gaps > 0) {
          clear(start, i);
          open(i, s);
        } else {
          ++length;
        }
      } else if (s == 0) {
        ++length;
        if (++gaps >= kMostGaps) {
          clear(start, i + 1);
          state = kIdle;
        }
      } else if (length >= kFirstRun) {
        state = kFeature;
        second = 1;
      } else {
        clear(start, i);
        open(i, s);
      }
    } else if (s == -side) {
      ++second;
    } else {
      const bool whole = i - start >= kFeatureSpan && second >= kSecondRun;
      const float mark = whole ? static_cast<float>(side) : 0.0f;
      for (int32_t j = start; j < i; ++j) v[j] = mark;
      if (whole) {
        ++features[side > 0 ? 0 : 1];
        marked += i - start;
      }
      // A value of the first run's side opens the next candidate.
      if (s == side) {
        open(i, s);
      } else {
        v[i] = 0.0f;
        state = kIdle;
      }
    }
  }
  void finish(int32_t n) {
    if (state != kIdle) clear(start, n);
  }
};

// The scan's start: the point at 650 when the region spans it.
int32_t ap7f_scan_start(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* made) {
  const AP41_HEADERDATA* record = ap7a_record(made);
  if (!(record->first_x < kBandScanStartX && record->last_x > kBandScanStartX)) return 0;
  const double dx = ap7b_GetXSpacing(spectrum);
  const double offset = (double{kBandScanStartX} - record->first_x) / dx;
  return offset > 0.0 && offset < INT32_MAX ? static_cast<int32_t>(offset) : 0;
}

// The polynomial fit of message 266 in t = (i - m)/sqrt(c/2).
bool ap7f_polynomial_fit(AP7F_ROBUSTFIT& fit, std::vector<double>& baseline) {
  const uint32_t c = static_cast<uint32_t>(fit.points.size());
  if (c < 1) return false;
  if (c < fit.size + 1) fit.size = c - 1;
  const uint32_t columns = fit.size + 1;
  double mean = 0.0;
  for (int32_t i : fit.points) mean += i;
  mean /= c;
  const double scale = std::sqrt(c / 2.0);
  auto t_of = [&](int32_t i) { return (i - mean) / scale; };

  ap4d_matrix_guard design(AP4D_DblCreate(c, columns, 0.0));
  if (design.get() == nullptr) return false;
  std::vector<double> y(c);
  for (uint32_t j = 0; j < c; ++j) {
    const int32_t i = fit.points[j];
    const double t = t_of(i);
    double power = 1.0;
    for (uint32_t k = 0; k < columns; ++k, power *= t) design->values[j * columns + k] = power;
    y[j] = ap7f_FitTarget(fit, i);
  }

  const bool weighted = ap7f_Weighted(fit);
  std::vector<double> weights(c, 1.0);
  std::vector<double> b(columns);
  auto polynomial = [&](int32_t i) {
    double fitted = 0.0;
    for (uint32_t k = columns; k-- > 0;) fitted = fitted * t_of(i) + b[k];
    return fitted;
  };
  for (int32_t pass = 1;; ++pass) {
    AP4D_DBLMATRIX solution = nullptr;
    if (!ap7f_WeightedSolve(design.get(), weights, y, &solution, nullptr)) return false;
    ap4d_matrix_guard solved(solution);
    std::copy(solved->values, solved->values + columns, b.begin());
    if (!weighted || pass >= kMostWeightedPasses) break;
    bool changed = false;
    for (uint32_t j = 0; j < c; ++j) {
      const double d = y[j] - polynomial(fit.points[j]);
      const bool baseline_side = fit.direction == AP7F_DIRECTION_UP ? d <= 0.0 : d >= 0.0;
      const double weight = baseline_side ? 1.0 : double{fit.w0};
      if (!AP1_KovFloatCompareDB_MATH(weight, weights[j])) changed = true;
      weights[j] = weight;
    }
    if (!changed) break;
  }
  for (int32_t i = 0; i < fit.n; ++i) baseline[i] = polynomial(i);
  return true;
}

}  // namespace

int32_t ap7f_BandScan(float* v, int32_t n, int32_t start, int32_t features[2]) {
  ap7f_scan scan{v};
  for (int32_t i = std::max(start, 0); i < n; ++i) scan.step(i);
  scan.finish(n);
  features[0] = scan.features[0];
  features[1] = scan.features[1];
  return scan.marked;
}

double ap7f_FitTarget(const AP7F_ROBUSTFIT& fit, int32_t i) {
  if (fit.step == 1) return fit.y[i];
  const int32_t half = fit.step / 2;
  double sum = 0.0;
  for (int32_t j = i - half; j <= i + half; ++j) {
    const double value = j >= 0 && j < fit.n ? fit.y[j] : fit.y[i];
    sum += (j == i - half || j == i + half) ? value : 2.0 * value;
  }
  return sum / (2.0 * fit.step);
}

bool ap7f_Weighted(const AP7F_ROBUSTFIT& fit) {
  return !AP1_KovFloatCompareSG_MATH(fit.w0, 0.0f) &&
         (fit.direction == AP7F_DIRECTION_UP || fit.direction == AP7F_DIRECTION_DOWN);
}

AP4D_DBLMATRIX ap7f_CheckedInverse(AP4D_DBLMATRIX matrix) {
  const AP4D_MATRIX* m = ap4d_matrix(matrix);
  if (m == nullptr || m->rows != m->columns || m->rows == 0) return nullptr;
  const uint32_t n = m->rows;
  std::vector<double> scale(n);
  for (uint32_t i = 0; i < n; ++i) {
    const double diagonal = m->values[i * n + i];
    if (!(diagonal > 0.0) || !std::isfinite(diagonal)) return nullptr;
    scale[i] = std::sqrt(diagonal);
  }
  ap4d_matrix_guard inverse(AP4D_DblSqInverse(matrix));
  if (inverse.get() == nullptr) return nullptr;
  ap4d_matrix_guard product(AP4D_DblMatrixMultiply(matrix, inverse.get()));
  if (product.get() == nullptr) return nullptr;
  // M·M⁻¹ = D (D⁻¹MD⁻¹)(D M⁻¹ D) D⁻¹: measured on the scaled matrices, so
  // that columns of very different size do not hide the error.
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = 0; j < n; ++j) {
      const double scaled = product->values[i * n + j] * scale[j] / scale[i];
      if (!(std::fabs(scaled - (i == j ? 1.0 : 0.0)) <= kInverseTolerance)) return nullptr;
    }
  }
  return inverse.release();
}

bool ap7f_WeightedSolve(AP4D_DBLMATRIX design, const std::vector<double>& weights, const std::vector<double>& y,
                        AP4D_DBLMATRIX* solution, AP4D_DBLMATRIX* inverse) {
  ap4d_matrix_guard weighted(AP4D_DblTranspose(design));
  ap4d_matrix_guard targets(AP4D_DblCreate(static_cast<uint32_t>(y.size()), 1, 0.0));
  if (weighted.get() == nullptr || targets.get() == nullptr) return false;
  const uint32_t columns = weighted->rows;
  const uint32_t c = weighted->columns;
  if (weights.size() != c || y.size() != c) return false;
  for (uint32_t k = 0; k < columns; ++k)
    for (uint32_t j = 0; j < c; ++j) weighted->values[k * c + j] *= weights[j];
  std::copy(y.begin(), y.end(), targets->values);
  ap4d_matrix_guard normal(AP4D_DblMatrixMultiply(weighted.get(), design));
  if (normal.get() == nullptr) return false;
  ap4d_matrix_guard g(ap7f_CheckedInverse(normal.get()));
  ap4d_matrix_guard right(AP4D_DblMatrixMultiply(weighted.get(), targets.get()));
  if (g.get() == nullptr || right.get() == nullptr) return false;
  AP4D_DBLMATRIX b = AP4D_DblMatrixMultiply(g.get(), right.get());
  if (b == nullptr) return false;
  *solution = b;
  if (inverse != nullptr) *inverse = g.release();
  return true;
}

AP7_SPECTRUM* ap7f_RobustBaseline(AP7_SPECTRUM* spectrum, const AP7F_ROBUSTPARM* block,
                                  const AP7F_BASELINEMODEL& model, bool band_scan) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || IsBadReadPtr(block, sizeof *block)) return nullptr;
  float x1 = block->x1;
  float x2 = block->x2;
  const float k = block->k;
  const float k2 = block->k2;
  const uint16_t output = block->output;
  const uint16_t absorbance = block->absorbance;
  AP4_ARRAY** result_out = block->result;
  if (std::isnan(x1) || std::isnan(x2)) return nullptr;
  if (ap1_not_given(x1) || ap1_not_given(x2)) {
    x1 = record->first_x;
    x2 = record->last_x;
  }

  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, 1, AP7F_ROBUST_COLUMNS, nullptr));
  ap7a_new_spectrum copy(ap7a_NewFromRangeStrict(spectrum, x1, x2));
  if (copy.get() == nullptr) return nullptr;
  const uint32_t y_units = ap7a_record(copy.get())->y_units;
  // A copy that cannot become absorbance is worked on as it is.
  if (absorbance) ap7d_ConvertYUnits(copy.get(), kAbsorbance);

  AP7F_ROBUSTFIT fit{};
  fit.direction = block->direction;
  if (fit.direction == AP7F_DIRECTION_OWN)
    fit.direction = ap7d_GetPeakDirection(spectrum) == AP1_PEAKS_DOWN ? AP7F_DIRECTION_DOWN : AP7F_DIRECTION_UP;
  fit.w0 = block->w0;
  fit.size = block->size;
  fit.continuity = block->continuity;
  if (!ap7f_TrimMissingEnds(copy.get())) return nullptr;
  ap7a_new_spectrum made(ap7a_DuplicateBare(copy.get(), nullptr));
  float* y = ap7b_GetDataPtr(copy.get());
  float* out = ap7b_GetDataPtr(made.get());
  fit.n = static_cast<int32_t>(copy.get()->data->columns);
  if (made.get() == nullptr || y == nullptr || out == nullptr || fit.n < 1 ||
      made.get()->data->columns != copy.get()->data->columns)
    return nullptr;
  fit.y = y;
  ap7f_thin(fit, y, block->thinning != 0);

  std::vector<double> baseline(static_cast<size_t>(fit.n));
  ap7f_counts counts;
  int32_t previous = 0;
  const bool decide = fit.direction == AP7F_DIRECTION_DECIDED;
  for (int32_t q = 1;; ++q) {
    ap7f_collect_points(fit);
    if (!model.fit(fit, baseline)) return nullptr;
    const double r = ap7f_deviation(fit, baseline, model.deviation_less);
    double upper = 0.0;
    double lower = 0.0;
    ap7f_band(fit, k, k2, r, upper, lower);
    counts = ap7f_classify(fit, baseline, upper, lower);
    if (decide && q == 1) {
      if (2 * counts.positive < counts.negative) fit.direction = AP7F_DIRECTION_UP;
      else if (2 * counts.negative < counts.positive) fit.direction = AP7F_DIRECTION_DOWN;
      else fit.direction = AP7F_DIRECTION_BOTH;
    }
    const int32_t outliers = counts.above + counts.below;
    const bool done = q >= kFewestIterations && (outliers <= previous || q >= kMostIterations);
    previous = outliers;
    if (done) break;
  }

  {
    ap7a_change_bracket bracket(made.get());
    if (!bracket.begun()) return nullptr;
    for (int32_t i = 0; i < fit.n; ++i) {
      if (output == AP7F_OUTPUT_BASELINE) out[i] = static_cast<float>(baseline[i]);
      else if (output == AP7F_OUTPUT_CLASSES) out[i] = static_cast<float>(fit.classes[i]) / 10.0f;
      else out[i] = static_cast<float>(y[i] - baseline[i]);
    }
  }
  float columns[AP7F_ROBUST_COLUMNS] = {static_cast<float>(fit.size), static_cast<float>(fit.n),
                                        static_cast<float>(counts.above + counts.below),
                                        static_cast<float>(counts.positive), static_cast<float>(counts.negative),
                                        static_cast<float>(counts.above), static_cast<float>(counts.below),
                                        static_cast<float>(counts.long_runs)};
  if (band_scan) {
    ap7a_change_bracket bracket(made.get());
    if (!bracket.begun()) return nullptr;
    int32_t features[2] = {0, 0};
    const int32_t marked = ap7f_BandScan(out, fit.n, ap7f_scan_start(spectrum, made.get()), features);
    columns[AP7F_COLUMN_OUTSIDE] = static_cast<float>(marked);
    columns[AP7F_COLUMN_POSITIVE] = static_cast<float>(features[0]);
    columns[AP7F_COLUMN_NEGATIVE] = static_cast<float>(features[1]);
    for (uint32_t c = AP7F_COLUMN_ABOVE; c < AP7F_ROBUST_COLUMNS; ++c) columns[c] = 0.0f;
  }
  // Going back to the Y unit does not decide the outcome.
  if (absorbance && (model.convert_back_always || output != AP7F_OUTPUT_CLASSES))
    ap7d_ConvertYUnits(made.get(), static_cast<uint16_t>(y_units));

  float* cells = result.get() != nullptr ? ap4a_GetDataAddress(result.get()) : nullptr;
  if (cells != nullptr && !IsBadWritePtr(result_out, sizeof *result_out)) {
    std::copy(columns, columns + AP7F_ROBUST_COLUMNS, cells);
    *result_out = result.release();
  }
  return made.release();
}

AP7_SPECTRUM* ap7f_RobustPolynomialBaseline(AP7_SPECTRUM* spectrum, const AP7F_ROBUSTPARM* block) {
  if (IsBadReadPtr(block, sizeof *block) || block->size > AP7F_MOST_ORDER) return nullptr;
  static const AP7F_BASELINEMODEL kPolynomial{ap7f_polynomial_fit, 0, false};
  return ap7f_RobustBaseline(spectrum, block, kPolynomial, block->band_scan != 0);
}
