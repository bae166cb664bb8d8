// Two peak finders of the spectrum: the centroid X of one peak above a
// fraction of its height (message 314), and the list of peaks found on the
// spectrum's smoothed second derivative, which separates bands that
// overlap (messages 434 and 440). The spectrum is not changed. The
// dispatcher's analysis table calls ap7c_PeakCentroid and
// ap7c_FindPeaks2ndDerivative.
#include <algorithm>
#include <cmath>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

// Messages 434 and 440: at most this many peaks, and the derivative
// window's limits.
constexpr int16_t kMostPeaks = 100;
constexpr int32_t kLeastRegion = 3;
constexpr double kLeastHalfWindow = 2.0;
constexpr double kMostHalfWindow = 12.0;
constexpr int32_t kMostOrder = 6;
constexpr uint32_t kSecondDerivative = 2;
// The smoothing's option for a derivative per X unit squared, its ends 0
// where the window does not fit.
constexpr int32_t kPerXUnitSquared = 2;
// The peak search sets its threshold from the range's spread, on its
// logarithmic scale.
constexpr uint16_t kUseRange = 1;
constexpr uint16_t kLogScale = 1;

}  // namespace

int16_t ap7c_PeakCentroid(AP7_SPECTRUM* spectrum, float x, float fraction, float* result_x) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  const float* y = header != nullptr ? ap7b_GetDataPtr(spectrum) : nullptr;
  if (y == nullptr || IsBadWritePtr(result_x, sizeof(float)) || !(fraction > 0.0f && fraction < 1.0f) ||
      header->y_units == AP41_YUNITS_INTERFEROGRAM || header->y_units == AP1_YUNIT_SINGLE_BEAM)
    return 0;
  const auto n = static_cast<int32_t>(std::min({header->points, spectrum->data->columns, uint32_t{INT32_MAX}}));
  int32_t p = 0;
  if (n < 2 || !ap7b_XToIndex(spectrum, x, &p) || p >= n || ap1_is_missing(y[p])) return 0;
  float sign = 1.0f;
  float level = fraction * y[p];
  if (ap7d_GetPeakDirection(spectrum) != AP1_PEAKS_UP) {
    // A downward peak hangs from the spectrum's top: its level lies the
    // fraction of its depth below that top.
    float low = 0.0f, top = 0.0f;
    if (!ap7a_MinMax(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &low, &top) || ap1_is_missing(top)) return 0;
    sign = -1.0f;
    level = top - fraction * (top - y[p]);
  }
  // Each end is the first point at or below the level, or the last point
  // before a missing one or the end of the data.
  int32_t r = p;
  while (r < n - 1 && sign * y[r] > sign * level && !ap1_is_missing(y[r + 1])) ++r;
  int32_t l = p;
  while (l >= 1 && sign * y[l] > sign * level && !ap1_is_missing(y[l - 1])) --l;
  double sum = 0.0;
  double moment = 0.0;
  for (int32_t k = l + 1; k <= r; ++k) {
    const double d = (double{y[k]} + y[k - 1]) / 2.0 - level;
    sum += d;
    moment += (k - l - 0.5) * d;
  }
  const double offset = sum != 0.0 ? moment / sum : p - l;
  *result_x = static_cast<float>((l + offset) * (double{header->last_x} - header->first_x) / (n - 1) +
                                 header->first_x);
  return 1;
}

uint16_t ap7c_FindPeaks2ndDerivative(AP7_SPECTRUM* spectrum, float x1, float x2, float half_width,
                                     int16_t max_count, int16_t mode, float threshold, GU3_HANDLE* list) {
  if (IsBadWritePtr(list, sizeof(GU3_HANDLE))) return AP7C_PEAKS_NO_OBJECT;
  *list = nullptr;
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || spectrum->data == nullptr) return AP7C_PEAKS_NO_OBJECT;
  const double dx = std::fabs(double{ap7b_GetXSpacing(spectrum)});
  if (!(half_width > 0.0f) || !(dx > 0.0) || !std::isfinite(dx)) return AP7C_PEAKS_BAD_WIDTH;
  if (max_count > kMostPeaks) return AP7C_PEAKS_TOO_MANY;
  if (max_count < 1) max_count = kMostPeaks;
  if (mode < 0 || mode > 2) return AP7C_PEAKS_BAD_MODE;
  if (x1 == 0.0f && x2 == 0.0f) x1 = x2 = AP_NOT_GIVEN;
  float a = x1;
  float b = x2;
  AP4_RANGE range{};
  if (ap7b_XRangeToIndexRange(spectrum, &a, &b, &range.start, &range.end) < kLeastRegion)
    return AP7C_PEAKS_SHORT_REGION;

  const double half_window = std::clamp(std::trunc(half_width / dx), kLeastHalfWindow, kMostHalfWindow);
  const auto window = static_cast<int32_t>(2.0 * half_window + 1.0);
  const int32_t order = std::min(2 * mode + 3, kMostOrder);
  ap4a_new_array coefficients(
      AP4_SGCoefficients_ARRAY(spectrum->data, kSecondDerivative, window, order, 0, 1, -1, 0.0f));
  if (coefficients.get() == nullptr) return AP7C_PEAKS_DERIVATIVE_FAILED;
  ap7a_new_spectrum derivative(
      AP7_SmoothWithOptions_SPECTRUM(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, coefficients.get(), kPerXUnitSquared));
  coefficients.reset(nullptr);
  // Bands become maxima (for peaks down: minima) of the negated derivative.
  float lowest = 0.0f, highest = 0.0f;
  if (derivative.get() == nullptr || !ap7a_MultiplyScalar(derivative.get(), x1, x2, -1.0f) ||
      !ap7a_MinMax(derivative.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, &lowest, &highest))
    return AP7C_PEAKS_DERIVATIVE_FAILED;

  // The minimum is the search's base level, the rise and fall a peak must
  // show. Below 0, as the negated derivative's side lobes put it, it would
  // make every pair of points a peak: there every local maximum above the
  // threshold counts.
  const float base = std::max(lowest, 0.0f);
  AP4_PEAK table[kMostPeaks]{};
  uint16_t full = 0;
  const AP7_PEAKSEARCHPARM search{x1, x2, base, threshold, kMostPeaks, kUseRange, &full, table, 0, kLogScale};
  const uint32_t found = ap7a_PeakSearch(derivative.get(), &search, 0, kLogScale);
  // The table holds the strongest peaks first.
  const auto count = std::min<uint32_t>({found, static_cast<uint32_t>(kMostPeaks), static_cast<uint32_t>(max_count)});
  if (count == 0) return AP7C_PEAKS_OK;
  GU3_HANDLE handle = GU3_Allocate_MM(count, sizeof(float), GU3_KIND_GLOBAL);
  auto* positions = static_cast<float*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
  if (positions == nullptr) {
    GU3_Free_MM(handle);
    return AP7C_PEAKS_NO_MEMORY;
  }
  for (uint32_t i = 0; i < count; ++i) positions[i] = table[i].position;
  for (uint32_t i = 0; i < count; ++i)
    for (uint32_t j = i + 1; j < count; ++j)
      if (positions[i] > positions[j]) std::swap(positions[i], positions[j]);
  *list = handle;
  return AP7C_PEAKS_OK;
}
