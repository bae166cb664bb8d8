// The power spectrum of a spectrum's region, the spectrum's analysis
// message 265, and the search in it for one dominant periodic component,
// such as the ripple that interference between parallel surfaces puts on
// a spectrum. The spectrum quality checks send it.
//
// The region's reflectance values, clipped to three standard deviations
// about their mean and transformed as the mode asks, lose their mean, are
// weighted by a falling ramp, zero-filled and Fourier transformed; the
// squared components over a point axis, normalised to a largest value of
// 1, are the power spectrum. A second pass with looser limits runs when
// the first finds no dominant component.
#include <cmath>
#include <vector>

#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr float kLowestLimit = 10.0f;
// The second pass searches this far above the first pass's limit.
constexpr float kSecondPassShift = 50.0f;
// Up to this many points the power spectrum holds two values per bin.
constexpr uint32_t kLargestDoubled = 32768;
constexpr uint32_t kPeakRecords = 4;
constexpr float kPeakPercentage = 80.0f;
constexpr float kClipDeviations = 3.0f;
// Values 0 to 2, next to the mean, are kept unsquared.
constexpr uint32_t kUnsquared = 3;

// The height a component must exceed and the most the second one may
// reach relative to it, per pass.
struct ap7g_pass_limits {
  float height;
  float ratio;
};
constexpr ap7g_pass_limits kPassLimits[2] = {{0.5f, 0.3f}, {0.1f, 0.5f}};

// Result array columns.
enum : uint32_t { kVerdict = 0, kFirstX, kFirstHeight, kSecondX, kSecondHeight, kColumns };

constexpr uint16_t kModeReciprocal = 2;
constexpr uint16_t kModeAsIs = 3;

// A reflectance value transformed as the mode asks; missing where the
// transform has no value.
float ap7g_transformed(float y, uint16_t mode) {
  if (mode == kModeReciprocal) return AP1_KovFloatCompareSG_MATH(y, 0.0f) ? AP1_GetNaNSG_MATH() : -1.0f / y;
  if (mode == kModeAsIs) return y;
  return y < 1.0f ? (1.0f + y) / (1.0f - y) : AP1_GetNaNSG_MATH();
}

// The region's values clipped at three standard deviations (taken over a
// gap-filled copy) and transformed, then gap-filled themselves.
bool ap7g_clip_and_transform(AP7_SPECTRUM* work, uint16_t mode) {
  float* y = ap7b_GetDataPtr(work);
  const uint32_t m = work->data->columns;
  {
    ap7a_new_spectrum filled(ap7a_DuplicateBare(work, nullptr));
    if (filled.get() == nullptr || ap4b_FillNaNGaps(filled.get()->data) == 0) return false;
    const float* z = ap7b_GetDataPtr(filled.get());
    if (y == nullptr || z == nullptr) return false;
    double sum = 0.0;
    for (uint32_t i = 0; i < m; ++i) sum += z[i];
    const double mean = sum / m;
    double squares = 0.0;
    for (uint32_t i = 0; i < m; ++i) squares += (z[i] - mean) * (z[i] - mean);
    const float deviation = AP1_SquareRoot_MATH(static_cast<float>(squares / (m - 1.0)));
    const float high = static_cast<float>(mean) + kClipDeviations * deviation;
    const float low = static_cast<float>(mean) - kClipDeviations * deviation;
    for (uint32_t i = 0; i < m; ++i) {
      if (std::isnan(y[i])) continue;
      y[i] = z[i] > high || z[i] < low ? AP1_GetNaNSG_MATH() : ap7g_transformed(y[i], mode);
    }
  }
  return ap4b_FillNaNGaps(work->data) != 0;
}

// The region's values less their mean, weighted from 1 down to 1/m.
void ap7g_centre_and_weight(float* y, uint32_t m) {
  double sum = 0.0;
  for (uint32_t i = 0; i < m; ++i) sum += y[i];
  const auto mean = static_cast<float>(sum / m);
  for (uint32_t i = 0; i < m; ++i) y[i] = (y[i] - mean) * static_cast<float>(m - i) / static_cast<float>(m);
}

// The forward transform of the row, whose halves hold the real and the
// imaginary parts, with the first `kept` values as (real, imaginary) pairs
// of the lowest bins.
bool ap7g_transform_interleaved(AP4_ARRAY* row, uint32_t kept) {
  if (ap4b_FFT(row, 1, AP4C_FFT_FORWARD) == 0) return false;
  float* v = ap4a_GetDataAddress(row);
  if (v == nullptr) return false;
  const uint32_t half = row->columns / 2;
  std::vector<float> pairs(kept);
  for (uint32_t j = 0; j < kept; ++j) pairs[j] = j % 2 == 0 ? v[j / 2] : v[half + j / 2];
  for (uint32_t j = 0; j < kept; ++j) v[j] = pairs[j];
  return true;
}

// Squares from value 3 on, all divided by the largest square.
void ap7g_power(float* v, uint32_t count) {
  float largest = 0.0f;
  for (uint32_t j = count > kUnsquared ? kUnsquared : 0; j < count; ++j) {
    v[j] *= v[j];
    if (v[j] > largest) largest = v[j];
  }
  if (AP1_KovFloatCompareSG_MATH(largest, 0.0f)) return;
  for (uint32_t j = 0; j < count; ++j) v[j] /= largest;
}

// The power spectrum of the region x1..x2 for a spectrum of `points`
// points; null when a step fails.
AP7_SPECTRUM* ap7g_power_spectrum(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t mode, uint32_t points) {
  uint32_t p = 1;
  while (p < points) p *= 2;
  const uint32_t size = p <= kLargestDoubled ? 2 * p : p;
  ap7a_new_spectrum work(ap7a_NewFromRangeStrict(spectrum, x1, x2));
  if (work.get() == nullptr || ap7d_ConvertYUnits(work.get(), AP1_YUNIT_REFLECTANCE) == 0) return nullptr;
  if (!ap7g_clip_and_transform(work.get(), mode)) return nullptr;
  const uint32_t m = work.get()->data->columns;
  float* y = ap7b_GetDataPtr(work.get());
  if (y == nullptr) return nullptr;
  ap7g_centre_and_weight(y, m);
  if (ap7a_InsertPoints(work.get(), 0, static_cast<int32_t>(2 * size - m)) == 0) return nullptr;
  if (!ap7g_transform_interleaved(work.get()->data, size)) return nullptr;
  if (ap7a_DeletePoints(work.get(), 0, static_cast<int32_t>(size)) == 0) return nullptr;
  float* v = ap7b_GetDataPtr(work.get());
  if (v == nullptr) return nullptr;
  ap7g_power(v, size);
  AP41_HEADERDATA* record = ap7a_record(work.get());
  record->first_x = 0.0f;
  record->last_x = static_cast<float>(p) - (p <= kLargestDoubled ? 0.5f : 1.0f);
  record->x_units = AP41_XUNITS_POINTS;
  record->y_units = AP41_YUNITS_OTHER;
  return work.release();
}

// The strongest peaks of the power spectrum from `limit` on into the
// result columns; whether one dominates.
bool ap7g_dominant(AP7_SPECTRUM* power, float limit, const ap7g_pass_limits& limits, float* columns) {
  AP4_PEAK peaks[kPeakRecords] = {};
  uint16_t full = 0;
  const AP7_PEAKSEARCHPARM search{limit, ap7a_record(power)->last_x, 0.0f, kPeakPercentage, kPeakRecords, 1,
                                  &full, peaks, 0, 1};
  const uint32_t found = ap7a_PeakSearch(power, &search, search.sort, search.log_mode);
  if (found == 0) return false;
  columns[kFirstX] = peaks[0].position;
  columns[kFirstHeight] = peaks[0].value;
  columns[kSecondX] = found > 1 ? peaks[1].position : 0.0f;
  columns[kSecondHeight] = found > 1 ? peaks[1].value : 0.0f;
  if (found == 1) return peaks[0].value > limits.height;
  return peaks[0].value > limits.height && peaks[1].value / peaks[0].value < limits.ratio;
}

}  // namespace

AP7_SPECTRUM* ap7g_SpectrumPowerTransform(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t mode, float limit,
                                          AP4_ARRAY** result_out) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || std::isnan(x1) || std::isnan(x2) || std::isnan(limit) ||
      IsBadWritePtr(result_out, sizeof *result_out))
    return nullptr;
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, 1, kColumns, nullptr));
  float* columns = ap4a_GetDataAddress(result.get());
  if (columns == nullptr) return nullptr;
  AP4_ARRAY* array = result.get();
  float frequency = limit < kLowestLimit ? kLowestLimit : limit;
  AP7_SPECTRUM* power = nullptr;
  bool dominant = false;
  for (int pass = 0; pass < 2 && !dominant; ++pass) {
    if (power != nullptr) ap7a_Delete(power, nullptr);
    if (ap1_not_given(x1) || ap1_not_given(x2) || AP1_KovFloatCompareSG_MATH(x1, x2)) {
      x1 = record->first_x;
      x2 = record->last_x;
      if (pass == 1) x2 = (x1 + x2) / 2.0f;
    }
    if (pass == 1) frequency += kSecondPassShift;
    power = ap7g_power_spectrum(spectrum, x1, x2, mode, record->points);
    if (power == nullptr) return nullptr;
    dominant = ap7g_dominant(power, frequency, kPassLimits[pass], columns);
    columns[kVerdict] = dominant ? 1.0f : 0.0f;
    // From here the caller owns the array.
    *result_out = array;
    result.release();
  }
  return power;
}
