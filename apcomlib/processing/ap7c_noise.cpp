// The peak-to-peak noise of a spectrum's region (message 326): the
// smallest peak-to-peak of windows 125 X units wide sliding over the
// region, a quarter window at a time, and the span of all the points those
// windows measured. Windows holding a missing point or a flat step (three
// equal values) are not measured; optionally the points in the
// atmospheric bands and below 672 stay out of the span. The dispatcher's
// analysis table calls ap7c_PeakToPeakNoise for message 326.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr float kWindowWidth = 125.0f;
// Fewer points than this hold no window.
constexpr int32_t kLeastPoints = 6;
// A window needs two points for a peak-to-peak.
constexpr int32_t kLeastWindow = 2;
// Left out of the span: below the low limit (unless the whole region lies
// below it) and the carbon-dioxide band.
constexpr float kLowLimit = 672.0f;
constexpr float kBandLow = 2250.0f;
constexpr float kBandHigh = 2390.0f;

bool ap7c_flat_step(const float* y, int32_t w) {
  for (int32_t k = 0; k < w - 2; k += 2)
    if (y[k] == y[k + 1] && y[k + 1] == y[k + 2]) return true;
  return false;
}

bool ap7c_has_missing(const float* y, int32_t w) {
  return std::any_of(y, y + w, [](float value) { return ap1_is_missing(value); });
}

}  // namespace

int16_t ap7c_PeakToPeakNoise(AP7_SPECTRUM* spectrum, float x1, float x2, float* noise, float* span,
                             uint16_t exclude) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || IsBadWritePtr(noise, sizeof(float)) || IsBadWritePtr(span, sizeof(float))) return 0;
  *noise = FLT_MAX;
  *span = 0.0f;
  // Both ends 0 (or not given) take the whole spectrum; a region narrower
  // than a window is widened below its upper end, whichever order its
  // ends come in.
  float a = AP_NOT_GIVEN;
  float b = AP_NOT_GIVEN;
  const bool whole = (x1 == 0.0f && x2 == 0.0f) || (ap1_not_given(x1) && ap1_not_given(x2));
  if (!whole) {
    a = std::max(x1, x2);
    b = std::min(x1, x2);
    if (a - b < kWindowWidth) b = a - kWindowWidth;
  }
  AP4_RANGE range{};
  const int32_t count = ap7b_XRangeToIndexRange(spectrum, &a, &b, &range.start, &range.end);
  const float* data = ap7b_GetDataPtr(spectrum);
  if (count < kLeastPoints || data == nullptr || range.end.column >= static_cast<int32_t>(spectrum->data->columns))
    return 0;
  const float dx = ap7b_GetXSpacing(spectrum);
  const double points_per_window = kWindowWidth / std::fabs(double{dx});
  if (!(points_per_window >= kLeastWindow && points_per_window < count)) return 0;
  const auto w = static_cast<int32_t>(points_per_window);
  const int32_t step = std::max(w / 4, 1);
  // a holds the X of the region's first point, b that of its last.
  const bool all_low = a < kLowLimit && b < kLowLimit;
  const float* y = data + range.start.column;

  float high = -FLT_MAX;
  float low = FLT_MAX;
  bool measured = false;
  bool spanned = false;
  for (int32_t offset = 0; offset < count - w; offset += step) {
    const float* window = y + offset;
    if (ap7c_has_missing(window, w) || ap7c_flat_step(window, w)) continue;
    const auto extremes = std::minmax_element(window, window + w);
    *noise = std::min(*noise, *extremes.second - *extremes.first);
    measured = true;
    for (int32_t k = 0; k < w; ++k) {
      const float x = a + static_cast<float>(offset + k) * dx;
      if (exclude != 0 && ((x < kLowLimit && !all_low) || (x > kBandLow && x < kBandHigh))) continue;
      high = std::max(high, window[k]);
      low = std::min(low, window[k]);
      spanned = true;
    }
  }
  if (spanned) *span = std::fabs(high - low);
  return measured ? 1 : 0;
}
