// Sums and statistics of the quantitative-analysis package over ARRAY
// objects: accumulators that add an array (as it is, squared, or with each
// row scaled) into a running total; the multiple correlation of a
// least-squares fit; the running performance figures of a method over a
// series of samples; and the squared correlation and slope of two vectors.
//
// Exported, and reached through the ARRAY dispatcher (messages 125 to 130
// and 336). Stateless: the caller owns every array and output.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr float kRatioError = 1000.0f;
constexpr float kRmsError = -1000.0f;
constexpr float kRatioCap = 5.0f;
constexpr double kNegligible = 1e-10;
constexpr double kAccuracyCap = 1e10;
// Width given to a component whose range is empty.
constexpr double kEmptyRangeWidth = 250.0;

uint64_t kx_ap4_count(const AP4_ARRAY* array) { return uint64_t{array->rows} * array->columns; }

AP4_CELL kx_ap4_cell(uint32_t row, uint32_t column) {
  return AP4_CELL{static_cast<int32_t>(row), static_cast<int32_t>(column)};
}

// Copies the addend into the total, or (add set) the element-wise sum of
// both; 0 success, 1 failure with the total unchanged.
uint32_t kx_ap4_accumulate(AP4_ARRAY* total, AP4_ARRAY* addend, uint16_t add) {
  if (!add) return ap4a_Copy(addend, total, nullptr) ? 0 : 1;
  ap4a_new_array sum(ap4a_AddArrays(addend, AP4_WHOLE_RANGE, total, AP4_WHOLE_RANGE));
  if (sum.get() == nullptr) return 1;
  return ap4a_Copy(sum.get(), total, nullptr) ? 0 : 1;
}

}  // namespace

APEXPORT uint32_t KX_AP4_Summer_ARRAY(AP4_ARRAY* total, AP4_ARRAY* source, uint16_t add) {
  if (!ap4a_is_array(total) || !ap4a_is_array(source)) return 1;
  return kx_ap4_accumulate(total, source, add);
}

APEXPORT uint32_t KX_AP4_SquareSummer_ARRAY(AP4_ARRAY* total, AP4_ARRAY* source, uint16_t add) {
  if (!ap4a_is_array(total) || !ap4a_is_array(source)) return 1;
  ap4a_new_array squares(ap4a_MultiplyArrays(source, AP4_WHOLE_RANGE, source, AP4_WHOLE_RANGE));
  if (squares.get() == nullptr) return 1;
  return kx_ap4_accumulate(total, squares.get(), add);
}

APEXPORT uint32_t KX_AP4_ConstSummer_ARRAY(AP4_ARRAY* total, AP4_ARRAY* source, AP4_ARRAY* constants, uint16_t add) {
  if (!ap4a_is_array(total) || !ap4a_is_array(source) || !ap4a_is_array(constants)) return 1;
  if (constants->columns != 1 || constants->rows != source->rows) return 1;
  ap4a_new_array scaled(ap4a_Duplicate(source, nullptr));
  if (scaled.get() == nullptr) return 1;
  for (uint32_t r = 0; r < source->rows; ++r) {
    float constant = 0.0f;
    if (!ap4a_GetElement(constants, kx_ap4_cell(r, 0), &constant)) return 1;
    const AP4_RANGE row{kx_ap4_cell(r, 0), kx_ap4_cell(r, source->columns - 1)};
    if (!ap4a_MultiplyScalar(scaled.get(), row, constant)) return 1;
  }
  return kx_ap4_accumulate(total, scaled.get(), add);
}

// The fitted values come from the pseudo-inverse held for this X; both
// vectors are centred on their means over X's rows before the sums.
APEXPORT uint32_t KX_AP4_MultCorrelation_ARRAY(AP4_ARRAY* results, AP4_ARRAY* x, AP4_ARRAY* pseudo_inverse,
                                               uint32_t index, AP4_ARRAY* y) {
  if (!ap4a_is_array(results) || !ap4a_is_array(x) || !ap4a_is_array(pseudo_inverse) || !ap4a_is_array(y)) return 1;
  if (pseudo_inverse->rows != x->columns || pseudo_inverse->columns != x->rows) return 1;
  uint32_t failed = 0;
  if (index == 0) {
    ap4a_new_array fresh(ap4a_PseudoInverse(x, AP4_PSEUDO_INVERSE_LEFT, 0));
    if (fresh.get() == nullptr || !ap4a_Copy(fresh.get(), pseudo_inverse, nullptr)) failed = 1;
  }
  ap4a_new_array fitted;
  {
    ap4a_new_array b(ap4a_MatrixProduct(pseudo_inverse, AP4_WHOLE_RANGE, y, AP4_WHOLE_RANGE));
    if (b.get() == nullptr) return 1;
    fitted.reset(ap4a_MatrixProduct(x, AP4_WHOLE_RANGE, b.get(), AP4_WHOLE_RANGE));
  }
  ap4a_new_array observed(ap4a_Duplicate(y, nullptr));
  if (fitted.get() == nullptr || observed.get() == nullptr) return 1;
  const auto n = static_cast<float>(x->rows);
  for (AP4_ARRAY* vector : {observed.get(), fitted.get()}) {
    float sum = 0.0f;
    if (!ap4a_Sum(vector, AP4_WHOLE_RANGE, AP_NOT_GIVEN, &sum) ||
        !ap4a_SubtractScalar(vector, AP4_WHOLE_RANGE, sum / n))
      return 1;
  }
  float sxy = 0.0f;
  float syy = 0.0f;
  float sff = 0.0f;
  if (!ap4b_DotProduct(fitted.get(), AP4_WHOLE_RANGE, observed.get(), AP4_WHOLE_RANGE, &sxy) ||
      !ap4b_DotProduct(observed.get(), AP4_WHOLE_RANGE, observed.get(), AP4_WHOLE_RANGE, &syy) ||
      !ap4b_DotProduct(fitted.get(), AP4_WHOLE_RANGE, fitted.get(), AP4_WHOLE_RANGE, &sff))
    return 1;
  const float d = syy * sff;
  float r = 0.0f;
  if (std::fabs(d) >= FLT_MIN) {
    r = sxy * sxy / d;
    AP1_SQRT_MATH(&r);
  }
  if (index > INT32_MAX || !ap4a_SetElement(results, kx_ap4_cell(0, index), r)) return 1;
  return failed;
}

// The figures live in row 0 (overall, then one per component) and the
// number of values behind each in row 1; the sums of squares behind them
// are rebuilt from both at every call.
APEXPORT float KX_AP4_QMPerformance_ARRAY(AP4_ARRAY* actual, AP4_ARRAY* predicted, AP4_ARRAY* ranges, uint16_t mode,
                                          uint16_t n, uint16_t exclude, float exclusion, int32_t* counter,
                                          AP4_ARRAY* statistics) {
  const bool rms = mode == KX_AP4_QM_RMS;
  const bool accuracy = mode == KX_AP4_QM_ACCURACY;
  const float error = rms ? kRmsError : kRatioError;
  if (!ap4a_is_array(actual) || !ap4a_is_array(predicted) || !ap4a_is_array(statistics)) return error;
  if (accuracy && !ap4a_is_array(ranges)) return error;
  if (IsBadWritePtr(counter, sizeof *counter) || *counter < 0) return error;
  // The sizes the caller promises are checked here rather than trusted.
  const uint32_t components = (rms || accuracy) ? n : 1;
  if (components == 0 || kx_ap4_count(actual) < components || kx_ap4_count(predicted) < components ||
      statistics->rows < 2 || statistics->columns < components + 1u ||
      (accuracy && kx_ap4_count(ranges) < 2u * components))
    return error;
  const float* a = ap4a_GetDataAddress(actual);
  const float* p = ap4a_GetDataAddress(predicted);
  float* figure = ap4a_GetDataAddress(statistics);
  const float* limits = accuracy ? ap4a_GetDataAddress(ranges) : nullptr;
  if (a == nullptr || p == nullptr || figure == nullptr || (accuracy && limits == nullptr)) return error;
  float* count = figure + statistics->columns;
  int32_t samples = *counter;

  if (!rms && !accuracy) {
    if (samples == 0) figure[0] = 0.0f;
    const double sum = samples * (100.0 - figure[0]) / 20.0;
    if (samples == INT32_MAX) return error;
    ++samples;
    if (ap1_is_missing(a[0]) || ap1_is_missing(p[0])) return error;
    double q = 0.0;
    if (AP1_KovFloatCompareSG_MATH(p[0], 0.0f))
      q = AP1_KovFloatCompareSG_MATH(a[0], 0.0f) ? 1.0 : kRatioCap;
    else
      q = std::fmin(std::fabs(static_cast<double>(a[0]) / p[0]), kRatioCap);
    figure[0] = static_cast<float>(100.0 - 20.0 * (sum + q) / samples);
    *counter = samples;
    return static_cast<float>(100.0 - 20.0 * q);
  }

  if (samples == 0)
    for (uint32_t j = 0; j <= components; ++j) figure[j] = count[j] = 0.0f;
  // A figure back to the sum of squares behind it.
  auto squares_of = [&](uint32_t j) {
    const double root = accuracy ? 1.0 - figure[j] / 100.0 : figure[j];
    return root * root * count[j];
  };
  double total = squares_of(0);
  std::vector<double> per_component(components);
  for (uint32_t j = 0; j < components; ++j) per_component[j] = squares_of(j + 1);
  if (samples == INT32_MAX) return error;
  ++samples;
  double sample = 0.0;
  for (uint32_t j = 0; j < components; ++j) {
    if (ap1_is_missing(a[j]) || ap1_is_missing(p[j])) return error;
    if (exclude && AP1_KovFloatCompareSG_MATH(a[j], exclusion)) continue;
    count[0] += 1.0f;
    count[j + 1] += 1.0f;
    double e = static_cast<double>(a[j]) - p[j];
    if (accuracy) {
      if (ap1_is_missing(limits[2 * j]) || ap1_is_missing(limits[2 * j + 1])) return error;
      float width = std::fabs(limits[2 * j] - limits[2 * j + 1]);
      const double w =
          (AP1_KovFloatCompareSG_MATH(width, 0.0f) || width < kNegligible) ? kEmptyRangeWidth : width / 4.0;
      e = std::fmin(std::fabs(e / w), kAccuracyCap);
    }
    if (std::fabs(e) < kNegligible) e = 0.0;
    sample += e * e;
    total += e * e;
    per_component[j] += e * e;
  }
  // A figure from its sum of squares and count.
  auto figure_of = [&](double squares, float values) {
    if (values == 0.0f) return 0.0f;
    const double root = std::sqrt(squares / values);
    return static_cast<float>(accuracy ? (1.0 - root) * 100.0 : root);
  };
  figure[0] = figure_of(total, count[0]);
  for (uint32_t j = 0; j < components; ++j) figure[j + 1] = figure_of(per_component[j], count[j + 1]);
  *counter = samples;
  const float root = AP1_SquareRoot_MATH(static_cast<float>(sample / components));
  return accuracy ? (1.0f - root) * 100.0f : root;
}

namespace {

// The centred sums of the first n pairs with neither value missing; false
// when no pair counts (or the arguments are unusable), the result then 0.
struct kx_ap4_pair_sums {
  double aa = 0.0;
  double ab = 0.0;
  double bb = 0.0;
};

bool kx_ap4_pairs(const AP4_ARRAY* a, const AP4_ARRAY* b, int32_t n, uint16_t centre_a, uint16_t centre_b,
                  float* result, kx_ap4_pair_sums* sums) {
  if (IsBadWritePtr(result, sizeof *result)) return false;
  *result = 0.0f;
  if (!ap4a_is_array(a) || !ap4a_is_array(b) || n <= 0) return false;
  const auto count = static_cast<uint32_t>(n);
  if (kx_ap4_count(a) < count || kx_ap4_count(b) < count) return false;
  const float* x = ap4a_GetDataAddress(a);
  const float* y = ap4a_GetDataAddress(b);
  if (x == nullptr || y == nullptr) return false;
  auto used = [&](uint32_t i) { return !ap1_is_missing(x[i]) && !ap1_is_missing(y[i]); };
  double mean_a = 0.0;
  double mean_b = 0.0;
  uint32_t pairs = 0;
  if (centre_a || centre_b) {
    double sum_a = 0.0;
    double sum_b = 0.0;
    for (uint32_t i = 0; i < count; ++i)
      if (used(i)) {
        sum_a += x[i];
        sum_b += y[i];
        ++pairs;
      }
    if (pairs > 0) {
      if (centre_a) mean_a = sum_a / pairs;
      if (centre_b) mean_b = sum_b / pairs;
    }
  }
  pairs = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!used(i)) continue;
    const double da = x[i] - mean_a;
    const double db = y[i] - mean_b;
    sums->aa += da * da;
    sums->ab += da * db;
    sums->bb += db * db;
    ++pairs;
  }
  return pairs > 0;
}

}  // namespace

APEXPORT int16_t KX_AP4_CorrelationCoeff_ARRAY(AP4_ARRAY* a, AP4_ARRAY* b, int32_t n, uint16_t centre_a,
                                               uint16_t centre_b, float* result) {
  kx_ap4_pair_sums sums;
  if (!kx_ap4_pairs(a, b, n, centre_a, centre_b, result, &sums)) return 0;
  if (sums.aa > 0.0 && sums.bb > 0.0) *result = static_cast<float>(sums.ab * sums.ab / (sums.aa * sums.bb));
  return 1;
}

APEXPORT int16_t KX_AP4_Slope_ARRAY(AP4_ARRAY* a, AP4_ARRAY* b, int32_t n, uint16_t centre_a, uint16_t centre_b,
                                    float* result) {
  kx_ap4_pair_sums sums;
  if (!kx_ap4_pairs(a, b, n, centre_a, centre_b, result, &sums)) return 0;
  if (!AP1_KovFloatCompareSG_MATH(static_cast<float>(sums.bb), 0.0f)) *result = static_cast<float>(sums.ab / sums.bb);
  return 1;
}
