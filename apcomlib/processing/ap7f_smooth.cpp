// Filters along the point axis of a spectrum's values: a convolution with a
// coefficient array (smoothing, first or second derivative) limited to an X
// region (message 297), the first difference in place with a description of
// a list of regions (message 306), and the running integral, single or
// double, limited to a region and shifted to a level (message 432). The
// dispatcher's analysis table and the second-derivative peak list call the
// exported functions.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr int32_t kOptionBase = 10;
constexpr int32_t kPerXUnit = 1;
constexpr int32_t kPerXUnitSquared = 2;
constexpr uint32_t kPointAxis = 2;
constexpr uint32_t kInterferogram = 22;
constexpr uint32_t kOtherUnits = 8;
// The peak index reported when the data cannot be reached.
constexpr float kUnknownPeakIndex = 1024.0f;

// The region x1..x2 as the nearest indexes of its ordered ends. False when
// the limits are equal (no region); `failed` for a missing limit.
bool ap7f_region(const AP7_SPECTRUM* spectrum, float x1, float x2, int32_t& i1, int32_t& i2, bool& failed) {
  failed = false;
  if (AP1_KovFloatCompareSG_MATH(x1, x2)) return false;
  if (ap1_is_missing(x1) || ap1_is_missing(x2)) {
    failed = true;
    return false;
  }
  if (x1 > x2) std::swap(x1, x2);
  i1 = INT32_MIN;
  i2 = INT32_MIN;
  ap7b_XToIndex(spectrum, x1, &i1);
  ap7b_XToIndex(spectrum, x2, &i2);
  if (i1 == INT32_MIN || i2 == INT32_MIN) {
    failed = true;
    return false;
  }
  return true;
}

// Sets the points before index i1 and after i2 to `value`, within n.
void ap7f_outside(float* y, int32_t n, int32_t i1, int32_t i2, float value) {
  for (int32_t i = 0; i < std::min(i1, n); ++i) y[i] = value;
  for (int32_t i = std::max(i2 + 1, 0); i < n; ++i) y[i] = value;
}

// The running integral of y into s: the weights 1, 22, 1 over 24 for the
// inner points, the last point's own rectangle for the last.
void ap7f_integrate(const float* y, float* s, uint32_t n, float dx) {
  if (n == 0) return;
  s[0] = 0.0f;
  if (n == 1) return;
  for (uint32_t i = 1; i + 1 < n; ++i) {
    float t = y[i - 1];
    t = 22.0f * y[i] + t;
    t = t + y[i + 1];
    t = (dx / 24.0f) * t;
    s[i] = t + s[i - 1];
  }
  s[n - 1] = dx * y[n - 1] + s[n - 2];
}

// The mean of the values that are present; false when none is.
bool ap7f_mean(const float* y, uint32_t n, float& mean) {
  double sum = 0.0;
  uint32_t count = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (ap1_is_missing(y[i])) continue;
    sum += y[i];
    ++count;
  }
  if (count == 0) return false;
  mean = static_cast<float>(sum / count);
  return true;
}

// The first present value, replaced only by a strictly smaller (or, with
// `largest`, larger) one; false when none is present.
bool ap7f_extreme(const float* y, uint32_t n, bool largest, float& extreme) {
  bool found = false;
  for (uint32_t i = 0; i < n; ++i) {
    if (ap1_is_missing(y[i])) continue;
    if (!found || (largest ? y[i] > extreme : y[i] < extreme)) extreme = y[i];
    found = true;
  }
  return found;
}

void ap7f_add(float* y, uint32_t n, float value) {
  for (uint32_t i = 0; i < n; ++i)
    if (!ap1_is_missing(y[i])) y[i] = y[i] + value;
}

// Row r of the region information: the region's copy, its ends and where
// it starts in the whole spectrum.
void ap7f_describe_region(AP7_SPECTRUM* spectrum, const uint8_t* record, float* row, bool interferogram,
                          float peak_index) {
  float xa = 0.0f, xb = 0.0f;
  std::memcpy(&xa, record + AP7F_REGION_X1, sizeof xa);
  std::memcpy(&xb, record + AP7F_REGION_X2, sizeof xb);
  ap7a_new_spectrum copy(ap7a_NewFromRangeStrict(spectrum, xa, xb));
  const float* y = ap7b_GetDataPtr(copy.get());
  uint32_t c = 0;
  if (y == nullptr || !ap7a_GetRangePoints(copy.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, &c) || c == 0) return;
  c = std::min(c, ap7e_PointCount(copy.get()));
  const float first_x = ap7a_record(copy.get())->first_x;
  int32_t start = 0;
  ap7b_XToIndex(spectrum, first_x, &start);
  row[0] = first_x;
  row[1] = y[0];
  row[2] = y[c - 1];
  row[3] = interferogram ? 1.0f : 0.0f;
  row[4] = interferogram ? peak_index : 0.0f;
  row[5] = static_cast<float>(start);
}

// The index of the largest |y| over the whole spectrum, the first of equal
// ones; 1024 when the data cannot be reached.
float ap7f_peak_index(const AP7_SPECTRUM* spectrum) {
  const float* y = ap7b_GetDataPtr(spectrum);
  const uint32_t n = y != nullptr ? ap7e_PointCount(spectrum) : 0;
  if (n == 0) return kUnknownPeakIndex;
  uint32_t at = 0;
  float largest = std::fabs(y[0]);
  for (uint32_t i = 1; i < n; ++i) {
    if (std::fabs(y[i]) > largest) {
      largest = std::fabs(y[i]);
      at = i;
    }
  }
  return static_cast<float>(at);
}

}  // namespace

AP7_SPECTRUM* ap7f_NewLikeWithList(AP7_SPECTRUM* spectrum) {
  ap7a_new_spectrum like(ap7b_NewLike(spectrum, nullptr));
  if (like.get() == nullptr || !ap7d_CopyListTo(spectrum, like.get())) return nullptr;
  return like.release();
}

APEXPORT AP7_SPECTRUM* AP7_SmoothWithOptions_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2,
                                                      AP4_ARRAY* coefficients, int32_t option) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr) return nullptr;
  int32_t i1 = 0, i2 = 0;
  bool failed = false;
  const bool limited = ap7f_region(spectrum, x1, x2, i1, i2, failed);
  if (failed) return nullptr;
  ap7a_new_spectrum result(coefficients != nullptr ? ap7f_NewLikeWithList(spectrum)
                                                   : ap7a_Duplicate(spectrum, nullptr));
  if (result.get() == nullptr) return nullptr;
  if (coefficients != nullptr) {
    const float dx = ap7b_GetXSpacing(spectrum);
    if (option >= kOptionBase) option -= kOptionBase;
    const float scale = option == kPerXUnit ? 1.0f / dx : option == kPerXUnitSquared ? 1.0f / (dx * dx) : 1.0f;
    ap4a_new_array values(ap_result_object<AP4_ARRAY>(
        AP4_ApplyFilterToVector_ARRAY(spectrum->data, coefficients, scale, static_cast<uint32_t>(option))));
    if (values.get() == nullptr ||
        !ap7a_LinkData(result.get(), values.get(), header->first_x, header->last_x, header->points))
      return nullptr;
    values.release();
  }
  float* y = ap7b_GetDataPtr(result.get());
  if (y == nullptr) return nullptr;
  const auto n = static_cast<int32_t>(std::min<uint32_t>(ap7e_PointCount(result.get()), INT32_MAX));
  if (limited && i1 < n && i2 >= 0) ap7f_outside(y, n, i1, i2, 0.0f);
  return result.release();
}

APEXPORT AP4_ARRAY* AP7_FirstDifferencePlus_SPECTRUM(AP7_SPECTRUM* spectrum, const void* regions, int32_t count) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr) return nullptr;
  const bool difference = count < AP7F_NO_DIFFERENCE;
  if (!difference) count -= AP7F_NO_DIFFERENCE;
  if (count > 0 && IsBadReadPtr(regions, static_cast<UINT_PTR>(uint64_t{AP7F_REGION_RECORD} * count))) return nullptr;
  ap4a_new_array information(nullptr);
  if (count > 0) {
    const bool interferogram =
        header->x_units == kPointAxis && (header->y_units == kInterferogram || header->y_units == kOtherUnits);
    const float peak_index = interferogram ? ap7f_peak_index(spectrum) : 0.0f;
    information.reset(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(count), AP7F_REGION_INFO_COLUMNS, nullptr));
    float* rows = ap4a_GetDataAddress(information.get());
    const auto* record = static_cast<const uint8_t*>(regions);
    for (int32_t r = 0; rows != nullptr && r < count; ++r, record += AP7F_REGION_RECORD)
      ap7f_describe_region(spectrum, record, rows + r * AP7F_REGION_INFO_COLUMNS, interferogram, peak_index);
  }
  float* y = ap7b_GetDataPtr(spectrum);
  if (difference && y != nullptr) {
    uint32_t n = 0;
    ap7a_GetRangePoints(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &n);
    n = std::min(n, ap7e_PointCount(spectrum));
    ap7a_change_bracket bracket(spectrum);
    if (bracket.begun() && n > 0) {
      float previous = y[0];
      for (uint32_t i = 0; i < n; ++i) {
        const float current = y[i];
        y[i] = current - previous;
        previous = current;
      }
    }
  }
  return count > 0 ? information.release() : nullptr;
}

APEXPORT AP7_SPECTRUM* AP7_SimpleIntegral_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t mode,
                                                   int32_t offset_mode, float level, float mean_level) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr) return nullptr;
  if (offset_mode < AP7F_OFFSET_NONE || offset_mode > AP7F_OFFSET_MAXIMUM) offset_mode = AP7F_OFFSET_NONE;
  if (mode == 0) mode = AP7F_SINGLE_INTEGRAL;
  if (mode != AP7F_SINGLE_INTEGRAL && mode != AP7F_DOUBLE_INTEGRAL) return nullptr;
  int32_t i1 = 0, i2 = 0;
  bool failed = false;
  const bool limited = ap7f_region(spectrum, x1, x2, i1, i2, failed);
  if (failed) return nullptr;
  ap7a_new_spectrum result(ap7a_Duplicate(spectrum, nullptr));
  float* s = ap7b_GetDataPtr(result.get());
  const float* y = ap7b_GetDataPtr(spectrum);
  if (s == nullptr || y == nullptr) return nullptr;
  const uint32_t n = std::min(ap7e_PointCount(spectrum), ap7e_PointCount(result.get()));
  const float dx = ap7b_GetXSpacing(spectrum);
  ap7f_integrate(y, s, n, dx);
  float mean = 0.0f;
  if (mode == AP7F_DOUBLE_INTEGRAL && ap7f_mean(s, n, mean)) {
    // The single integral about the mean level, integrated once more.
    std::vector<float> single(s, s + n);
    ap7f_add(single.data(), n, -(mean - mean_level));
    ap7f_integrate(single.data(), s, n, dx);
  }
  const auto count = static_cast<int32_t>(std::min<uint32_t>(n, INT32_MAX));
  if (limited) {
    if (i1 > 0 && i1 < count) ap7f_add(s, n, -s[i1]);
    ap7f_outside(s, count, i1, i2, AP1_GetNaNSG_MATH());
  }
  float value = 0.0f;
  switch (offset_mode) {
    case AP7F_OFFSET_MEAN:
      if (ap7f_mean(s, n, value)) ap7f_add(s, n, -(value - level));
      break;
    case AP7F_OFFSET_MINIMUM:
      if (ap7f_extreme(s, n, false, value)) ap7f_add(s, n, -(value - level));
      break;
    case AP7F_OFFSET_MAXIMUM:
      if (ap7f_extreme(s, n, true, value)) ap7f_add(s, n, level - value);
      break;
    default: break;
  }
  return result.release();
}
