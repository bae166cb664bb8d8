// Point-wise statistics over a list of spectra (message 259: mean, standard
// deviation or range at each X, optionally of the derivatives) and the
// scaled difference A - k x B of two spectra or lists, whose factor may be
// fitted on first differences.
//
// The statistics keep their sums in two blocks of doubles over the first
// item's points and narrow the result to the X range every item covers, so
// that each point kept holds a value of every item.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "array/array.h"
#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// Items whose spacings differ by more than this share are refused.
constexpr double kSpacingShare = 0.01;

// A block of n doubles, all missing, freed with the scope.
class ap7e_sums {
 public:
  explicit ap7e_sums(uint32_t n) : handle_(n > 0 ? GU3_Allocate_MM(n, sizeof(double), 1) : nullptr) {
    values_ = handle_ != nullptr ? static_cast<double*>(GU3_GetPointer_MM(handle_, 0, nullptr, nullptr)) : nullptr;
    if (values_ != nullptr) std::fill(values_, values_ + n, AP1_GetNaNDB_MATH());
  }
  ~ap7e_sums() {
    if (handle_ != nullptr) GU3_Free_MM(handle_);
  }
  ap7e_sums(const ap7e_sums&) = delete;
  ap7e_sums& operator=(const ap7e_sums&) = delete;
  double* values() const { return values_; }

 private:
  GU3_HANDLE handle_;
  double* values_;
};

bool ap7e_is_class(const AP_OBJECT* object, uint16_t class_id) {
  return object != nullptr && !IsBadReadPtr(object, sizeof(uint16_t)) &&
         *reinterpret_cast<const uint16_t*>(object) == class_id;
}

uint32_t ap7e_item_count(AP_OBJECT* items) {
  if (ap7e_is_class(items, AP7_CLASS_ID)) return 1;
  if (ap7e_is_class(items, AP40_CLASS_ID)) return GU2_DoMethod_MSG(AP40_MSG_COUNT, items, nullptr);
  return 0;
}

AP7_SPECTRUM* ap7e_item(AP_OBJECT* items, uint32_t index) {
  if (ap7e_is_class(items, AP7_CLASS_ID)) return ap7a_spectrum(items);
  AP40_INDEXPARM at{index};
  return ap7a_spectrum(ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, items, &at)));
}

// The copy of an item the statistics are taken of.
AP7_SPECTRUM* ap7e_transformed(AP7_SPECTRUM* item, uint16_t derivative) {
  if (derivative == AP7_DERIVATIVE_NONE) return ap7a_Duplicate(item, nullptr);
  if (derivative == AP7_DERIVATIVE_FIRST) return ap7a_Derivative(item, AP_NOT_GIVEN, AP_NOT_GIVEN);
  return ap7a_DerivativeRange(item, AP_NOT_GIVEN, AP_NOT_GIVEN);
}

bool ap7e_spacings_agree(double first, double other) {
  const double larger = std::max(std::fabs(first), std::fabs(other));
  return larger == 0.0 || std::fabs(first - other) / larger <= kSpacingShare;
}

// The result spectrum with what it inherits from the first item cleared.
bool ap7e_clear_descriptions(AP7_SPECTRUM* result) {
  AP41_HEADERDATA* record = ap7a_record(result);
  record->p49[0] = '\0';
  record->p50[0] = '\0';
  if (ap7d_GetCommentObject(result) != nullptr && ap7d_SetCommentText(result, "") == 0) return false;
  return ap7b_SetNameAndSubSpectra(result, "", nullptr, nullptr) != 0;
}

void ap7e_set_title(AP7_SPECTRUM* result, uint16_t derivative, uint16_t statistic) {
  char* title = ap7a_record(result)->title;
  const uint16_t name = statistic == AP7_STATISTIC_MEAN      ? AP7_TITLE_MEAN
                        : statistic == AP7_STATISTIC_STD_DEV ? AP7_TITLE_STD_DEV
                                                             : AP7_TITLE_RANGE;
  capobj_StrCopyN(GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, name, nullptr, nullptr), title, AP7_TITLE_FIELD);
  if (derivative == AP7_DERIVATIVE_NONE) return;
  const uint16_t suffix =
      derivative == AP7_DERIVATIVE_FIRST ? AP7_TITLE_FIRST_DERIVATIVE_SUFFIX : AP7_TITLE_SECOND_DERIVATIVE_SUFFIX;
  if (const char* text = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, suffix, nullptr, nullptr)) {
    const size_t used = std::strlen(title);
    capobj_StrCopyN(text, title + used, static_cast<int32_t>(AP7_TITLE_FIELD - used));
  }
}

// The running sums of one statistic over the result's n points.
struct ap7e_accumulator {
  uint16_t statistic;
  double* s;  // sum, or minimum for the range
  double* q;  // sum of squares, or maximum; null for the mean
};

void ap7e_start(const ap7e_accumulator& sums, const float* y, uint32_t n) {
  for (uint32_t k = 0; k < n; ++k) {
    if (ap1_is_missing(y[k])) continue;
    sums.s[k] = y[k];
    if (sums.statistic == AP7_STATISTIC_STD_DEV) sums.q[k] = double{y[k]} * y[k];
    if (sums.statistic == AP7_STATISTIC_RANGE) sums.q[k] = y[k];
  }
}

// Adds m values of an item, from its index t, into the sums from index s.
void ap7e_add(const ap7e_accumulator& sums, const float* y, int32_t s, int32_t t, int32_t m) {
  const double missing = AP1_GetNaNDB_MATH();
  for (int32_t j = 0; j < m; ++j) {
    double& sum = sums.s[s + j];
    const float value = y[t + j];
    const bool value_missing = ap1_is_missing(value);
    if (sums.statistic == AP7_STATISTIC_RANGE) {
      // The extremes pass over a missing value unless both sides miss.
      double& maximum = sums.q[s + j];
      sum = ap1_is_missing_db(sum) && value_missing ? missing : AP1_Min_MATH(static_cast<float>(sum), value);
      maximum =
          ap1_is_missing_db(maximum) && value_missing ? missing : AP1_Max_MATH(static_cast<float>(maximum), value);
      continue;
    }
    sum = value_missing || ap1_is_missing_db(sum) ? missing : static_cast<float>(static_cast<float>(sum) + value);
    if (sums.statistic == AP7_STATISTIC_STD_DEV) {
      double& squares = sums.q[s + j];
      squares = value_missing || ap1_is_missing_db(squares)
                    ? missing
                    : static_cast<float>(static_cast<float>(squares) + value * value);
    }
  }
}

// The statistic of `count` items into y[low..high].
void ap7e_finish(const ap7e_accumulator& sums, float* y, int32_t low, int32_t high, uint32_t count) {
  const double n = count;
  const float missing = AP1_GetNaNSG_MATH();
  for (int32_t k = low; k <= high; ++k) {
    const double s = sums.s[k];
    if (sums.statistic == AP7_STATISTIC_MEAN) {
      y[k] = ap1_is_missing_db(s) ? missing : static_cast<float>(s / n);
      continue;
    }
    if (count <= 1) {
      if (!ap1_is_missing(y[k])) y[k] = 0.0f;
      continue;
    }
    const double q = sums.q[k];
    if (ap1_is_missing_db(s) || ap1_is_missing_db(q)) {
      y[k] = missing;
    } else if (sums.statistic == AP7_STATISTIC_RANGE) {
      y[k] = static_cast<float>(q - s);
    } else {
      // Rounding can leave equal values a hair below zero.
      const double variance = std::max(0.0, (n * q - s * s) / ((n - 1.0) * n));
      y[k] = AP1_SquareRoot_MATH(static_cast<float>(variance));
    }
  }
}

// A new mean spectrum of a list; null for anything else.
AP7_SPECTRUM* ap7e_mean_of_list(AP_OBJECT* object) {
  if (!ap7e_is_class(object, AP40_CLASS_ID)) return nullptr;
  int16_t status = AP7_STATISTICS_FAILED;
  return ap7e_ListStatistics(object, AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN, &status);
}

// The index range of low..high (low <= high) on a spectrum, in index order.
bool ap7e_index_span(const AP7_SPECTRUM* spectrum, float low, float high, int32_t& first, int32_t& last) {
  AP4_CELL a{};
  AP4_CELL b{};
  if (!ap7b_XToIndex64(spectrum, low, &a) || !ap7b_XToIndex64(spectrum, high, &b)) return false;
  first = std::min(a.column, b.column);
  last = std::max(a.column, b.column);
  return true;
}

struct ap7e_pair {
  const AP7_SPECTRUM* a;
  const AP7_SPECTRUM* b;
  const float* ya;
  const float* yb;
};

// The least-squares factor of B's first differences onto A's over low..high.
bool ap7e_fit_factor(const ap7e_pair& pair, const AP7_SPECTRUM* weight, float low, float high, float& k) {
  int32_t a_first = 0;
  int32_t a_last = 0;
  int32_t b_first = 0;
  int32_t b_last = 0;
  if (!ap7e_index_span(pair.a, low, high, a_first, a_last) || !ap7e_index_span(pair.b, low, high, b_first, b_last) ||
      a_last - a_first != b_last - b_first)
    return false;
  const float* yw = weight != nullptr ? ap7b_GetDataPtr(weight) : nullptr;
  double sum_ab = 0.0;
  double sum_bb = 0.0;
  for (int32_t i = a_first; i < a_last; ++i) {
    const int32_t j = b_first + (i - a_first);
    const float values[4] = {pair.ya[i], pair.ya[i + 1], pair.yb[j], pair.yb[j + 1]};
    if (std::any_of(values, values + 4, ap1_is_missing)) continue;
    if (yw != nullptr) {
      // The weight masks the steps where it has no value.
      float x = 0.0f;
      float x_next = 0.0f;
      int32_t w = 0;
      int32_t w_next = 0;
      if (!ap7b_IndexToX(pair.a, i, &x) || !ap7b_IndexToX(pair.a, i + 1, &x_next) || !ap7b_XToIndex(weight, x, &w) ||
          !ap7b_XToIndex(weight, x_next, &w_next) || ap1_is_missing(yw[w]) || ap1_is_missing(yw[w_next]))
        continue;
    }
    const double da = double{values[0]} - values[1];
    const double db = double{values[2]} - values[3];
    sum_ab += da * db;
    sum_bb += db * db;
  }
  k = AP1_KovFloatCompareDB_MATH(sum_bb, 0.0) ? 0.0f : static_cast<float>(sum_ab / sum_bb);
  return true;
}

// The ends of an axis in rising order (the packed fields read by value).
float ap7e_low(const AP41_HEADERDATA* record) {
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  return std::min(first_x, last_x);
}
float ap7e_high(const AP41_HEADERDATA* record) {
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  return std::max(first_x, last_x);
}

}  // namespace

AP7_SPECTRUM* ap7e_ListStatistics(AP_OBJECT* items, uint16_t derivative, uint16_t statistic, int16_t* status) {
  if (IsBadWritePtr(status, sizeof(int16_t))) return nullptr;
  *status = AP7_STATISTICS_FAILED;
  if (statistic > AP7_STATISTIC_RANGE) return nullptr;
  const uint32_t count = ap7e_item_count(items);
  if (count == 0) return nullptr;
  *status = AP7_STATISTICS_DONE;

  AP7_SPECTRUM* first_item = ap7e_item(items, 0);
  const AP41_HEADERDATA* first_record = ap7a_record(first_item);
  if (first_record == nullptr) {
    *status = AP7_STATISTICS_FAILED;
    return nullptr;
  }
  const uint32_t x_units = first_record->x_units;
  const uint32_t y_units = first_record->y_units;
  const double spacing = ap7b_GetXSpacing(first_item);
  ap7a_new_spectrum result(ap7e_transformed(first_item, derivative));
  float* y = ap7b_GetDataPtr(result.get());
  if (y == nullptr || !ap7e_clear_descriptions(result.get())) {
    *status = AP7_STATISTICS_FAILED;
    return nullptr;
  }
  const uint32_t n = ap7a_record(result.get())->points;
  ap7e_sums s(n);
  ap7e_sums q(statistic != AP7_STATISTIC_MEAN ? n : 0);
  if (s.values() == nullptr || (statistic != AP7_STATISTIC_MEAN && q.values() == nullptr)) {
    *status = AP7_STATISTICS_FAILED;
    return nullptr;
  }
  const ap7e_accumulator sums{statistic, s.values(), q.values()};
  ap7e_start(sums, y, n);

  // The stretch of the result every item so far covers.
  int32_t low = 0;
  int32_t high = static_cast<int32_t>(n) - 1;
  for (uint32_t i = 1; i < count; ++i) {
    AP7_SPECTRUM* item = ap7e_item(items, i);
    const AP41_HEADERDATA* record = ap7a_record(item);
    if (record == nullptr) {
      *status = AP7_STATISTICS_FAILED;
      return nullptr;
    }
    if (record->x_units != x_units || record->y_units != y_units) {
      *status = AP7_STATISTICS_UNITS_DIFFER;
      return nullptr;
    }
    if (!ap7e_spacings_agree(spacing, ap7b_GetXSpacing(item))) {
      *status = AP7_STATISTICS_SPACINGS_DIFFER;
      return nullptr;
    }
    ap7a_new_spectrum transformed(ap7e_transformed(item, derivative));
    const float* item_y = ap7b_GetDataPtr(transformed.get());
    if (item_y == nullptr) {
      *status = AP7_STATISTICS_FAILED;
      return nullptr;
    }
    AP4_RANGE range{};
    AP4_RANGE item_range{};
    const int32_t m = ap7b_CommonPoints(result.get(), transformed.get(), &range, &item_range);
    const int32_t s_start = range.start.column;
    const int32_t t_start = item_range.start.column;
    const int64_t item_points = ap7a_record(transformed.get())->points;
    if (m < 1 || s_start < 0 || t_start < 0 || int64_t{s_start} + m > n || int64_t{t_start} + m > item_points) {
      *status = AP7_STATISTICS_NO_COMMON_POINTS;
      return nullptr;
    }
    ap7e_add(sums, item_y, s_start, t_start, m);
    low = std::max(low, s_start);
    high = std::min(high, s_start + m - 1);
    if (low > high) {
      *status = AP7_STATISTICS_NO_COMMON_POINTS;
      return nullptr;
    }
  }

  ap7e_finish(sums, y, low, high, count);
  if ((high < static_cast<int32_t>(n) - 1 && !ap7a_DeletePoints(result.get(), 0, static_cast<int32_t>(n) - 1 - high)) ||
      (low > 0 && !ap7a_DeletePoints(result.get(), 1, low))) {
    *status = AP7_STATISTICS_FAILED;
    return nullptr;
  }
  ap7e_set_title(result.get(), derivative, statistic);
  return result.release();
}

AP7_SPECTRUM* ap7e_CompareListStatistics(AP_OBJECT* a, AP_OBJECT* b, uint32_t mode, float k, AP7_SPECTRUM* weight,
                                         float x1, float x2) {
  if (a == nullptr || b == nullptr) return nullptr;
  if (weight != nullptr && ap7a_spectrum(weight) == nullptr) return nullptr;
  // A list stands for its mean, which goes again at the end.
  ap7a_new_spectrum mean_a(ap7e_mean_of_list(a));
  ap7a_new_spectrum mean_b(ap7e_mean_of_list(b));
  AP7_SPECTRUM* spectrum_a = mean_a.get() != nullptr ? mean_a.get() : ap7a_spectrum(a);
  AP7_SPECTRUM* spectrum_b = mean_b.get() != nullptr ? mean_b.get() : ap7a_spectrum(b);
  const AP41_HEADERDATA* record_a = ap7a_record(spectrum_a);
  const AP41_HEADERDATA* record_b = ap7a_record(spectrum_b);
  const ap7e_pair pair{spectrum_a, spectrum_b, ap7b_GetDataPtr(spectrum_a), ap7b_GetDataPtr(spectrum_b)};
  if (record_a == nullptr || record_b == nullptr || pair.ya == nullptr || pair.yb == nullptr ||
      record_a->points < 2 || record_b->points < 2 ||
      !AP1_KovFloatCompareSG_MATH(ap7b_GetXSpacing(spectrum_a), ap7b_GetXSpacing(spectrum_b)))
    return nullptr;
  const float c1 = std::max(ap7e_low(record_a), ap7e_low(record_b));
  const float c2 = std::min(ap7e_high(record_a), ap7e_high(record_b));
  if (!(c1 <= c2)) return nullptr;

  if (mode != AP7_SCALE_GIVEN) {
    float r1 = c1;
    float r2 = c2;
    if (mode == AP7_SCALE_FIT_WEIGHT_RANGE && weight != nullptr) {
      r1 = ap7a_record(weight)->first_x;
      r2 = ap7a_record(weight)->last_x;
    } else if (mode == AP7_SCALE_FIT_REGION && !ap1_not_given(x1) && !AP1_KovFloatCompareSG_MATH(x1, x2)) {
      r1 = x1;
      r2 = x2;
    }
    if (std::isnan(r1) || std::isnan(r2)) return nullptr;
    const float low = std::max(std::min(r1, r2), c1);
    const float high = std::min(std::max(r1, r2), c2);
    if (!(low <= high) || !ap7e_fit_factor(pair, weight, low, high, k))
      return nullptr;
  }

  int32_t a_first = 0;
  int32_t a_last = 0;
  int32_t b_first = 0;
  int32_t b_last = 0;
  if (!ap7e_index_span(spectrum_a, c1, c2, a_first, a_last) || !ap7e_index_span(spectrum_b, c1, c2, b_first, b_last) ||
      a_last - a_first != b_last - b_first)
    return nullptr;
  ap7a_new_spectrum result(ap7a_Duplicate(spectrum_a, nullptr));
  float* y = ap7b_GetDataPtr(result.get());
  if (y == nullptr) return nullptr;
  const uint32_t n = ap7a_record(result.get())->points;
  std::fill(y, y + n, AP1_GetNaNSG_MATH());
  for (int32_t i = a_first; i <= a_last; ++i) {
    const float value_a = pair.ya[i];
    const float value_b = pair.yb[b_first + (i - a_first)];
    if (!ap1_is_missing(value_a) && !ap1_is_missing(value_b)) y[i] = value_a - k * value_b;
  }
  return result.release();
}
