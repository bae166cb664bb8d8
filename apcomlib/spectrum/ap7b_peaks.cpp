// Peak width and peak list of a region, smoothing to a resolution and the
// change of point spacing, each over an X region of one spectrum.
//
// The numerical work is the array class's (peak list and half width) or
// other spectrum operations' (subdivision, regrid, cut, Savitzky-Golay
// smoothing, difference weights); this module turns X limits into index
// ranges and indexes back into X values, and strings the steps together.
// The spectrum given is never changed. AP7_Dispatcher_SPECTRUM calls these
// for messages 94, 95, 131 and 132.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// The smoothing that a resolution is reached with: a Savitzky-Golay window
// of this many points.
constexpr uint32_t kResolutionWindow = 15;

// The array routines' peak direction for the spectrum's Y unit.
uint16_t ap7b_peak_mode(const AP7_SPECTRUM* spectrum) {
  return ap7d_GetPeakDirection(spectrum) == AP1_PEAKS_DOWN ? AP4C_PEAKS_DOWN : AP1_PEAKS_UP;
}

// Whether the X of an index lies within low..high.
bool ap7b_index_inside(const AP7_SPECTRUM* spectrum, int32_t index, float low, float high) {
  float x = 0.0f;
  return ap7b_IndexToX(spectrum, index, &x) != 0 && x >= low && x <= high;
}

}  // namespace

uint16_t ap7b_FindPeakLimits(AP7_SPECTRUM* spectrum, float x1, float x2, float* width) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || IsBadWritePtr(width, sizeof *width) || std::isnan(x1) ||
      std::isnan(x2))
    return 0;
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last) < 1) return 0;
  float points = 0.0f;
  const int16_t found = ap4c_PeakHalfWidth(spectrum->data, AP4_RANGE{first, last}, ap7b_peak_mode(spectrum), &points);
  *width = static_cast<float>(double{points} * std::fabs(double{ap7b_GetXSpacing(spectrum)}));
  return found != 0 ? 1 : 0;
}

uint16_t ap7b_PeakListInRange(AP7_SPECTRUM* spectrum, float x, float x1, float x2, float peak_level,
                              float valley_level, float* peak_x, float* left_x, float* right_x) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(peak_x, sizeof *peak_x) || IsBadWritePtr(left_x, sizeof *left_x) ||
      IsBadWritePtr(right_x, sizeof *right_x) || std::isnan(x) || std::isnan(x1) || std::isnan(x2) ||
      std::isnan(peak_level) || std::isnan(valley_level))
    return 0;
  if (x1 > x2) std::swap(x1, x2);
  const float low = x1;
  const float high = x2;
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last) < 1) return 0;
  // The nearest points may lie just outside the limits: step inward, then
  // keep at least two points where the spectrum has them.
  if (!ap1_not_given(low)) {
    if (first.column < last.column && !ap7b_index_inside(spectrum, first.column, low, high)) ++first.column;
    if (first.column < last.column && !ap7b_index_inside(spectrum, last.column, low, high)) --last.column;
  }
  const int32_t points = static_cast<int32_t>(std::min<uint32_t>(record->points, spectrum->data->columns));
  if (points > 2 && first.column == last.column) {
    if (last.column + 1 < points)
      ++last.column;
    else
      --first.column;
  }

  AP4_CELL target{};
  ap7b_XToIndex64(spectrum, x, &target);
  // A level in percent asks a peak to rise and fall by the rest of 100 % of
  // the range's spread.
  float minimum = 0.0f;
  float maximum = 0.0f;
  float range_low = 0.0f;
  float range_high = 0.0f;
  ap7b_IndexToX(spectrum, first.column, &range_low);
  ap7b_IndexToX(spectrum, last.column, &range_high);
  if (!ap7a_MinMax(spectrum, range_low, range_high, &minimum, &maximum) || std::isnan(minimum)) return 0;
  const double spread = double{maximum} - minimum;
  const auto threshold = [spread](float level) { return static_cast<float>((100.0 - level) / 100.0 * spread); };

  AP4_CELL peak{};
  AP4_CELL left{};
  AP4_CELL right{};
  if (!ap4c_PeakList(spectrum->data, target, AP4_RANGE{first, last}, ap7b_peak_mode(spectrum),
                     threshold(peak_level), threshold(valley_level), &peak, &left, &right))
    return 0;
  float peak_at = 0.0f;
  float left_at = 0.0f;
  float right_at = 0.0f;
  if (!ap7b_IndexToX(spectrum, peak.column, &peak_at) || !ap7b_IndexToX(spectrum, left.column, &left_at) ||
      !ap7b_IndexToX(spectrum, right.column, &right_at))
    return 0;
  *peak_x = peak_at;
  *left_x = left_at;
  *right_x = right_at;
  return 1;
}

AP7_SPECTRUM* ap7b_ChangeSpacing(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || !(spacing > 0.0f) || std::isnan(x1) || std::isnan(x2)) return nullptr;
  if (ap1_not_given(x1)) {
    x1 = std::min(record->first_x, record->last_x);
    x2 = std::max(record->first_x, record->last_x);
  }
  float s = std::fabs(ap7b_GetXSpacing(spectrum));
  const bool refine = s > spacing;
  ap7a_new_spectrum resampled(refine ? ap7d_InterpolateBySubdivision(spectrum, x1, x2, spacing)
                                     : ap7a_Duplicate(spectrum, nullptr));
  if (resampled.get() == nullptr) return nullptr;
  if (refine) s = std::fabs(ap7b_GetXSpacing(resampled.get()));
  ap7a_new_spectrum result(AP1_KovFloatCompareSG_MATH(s, spacing) ? ap7a_NewFromRange(resampled.get(), x1, x2)
                                                                   : ap7a_RangeTransform(resampled.get(), x1, x2, spacing));
  if (result.get() == nullptr || !ap7b_TitleFrom(result.get(), spectrum, AP7_TITLE_RESAMPLED)) return nullptr;
  return result.release();
}

AP7_SPECTRUM* ap7b_SmoothToResolution(AP7_SPECTRUM* spectrum, float x1, float x2) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || std::isnan(x1) || std::isnan(x2) || record->points < kResolutionWindow ||
      spectrum->data->columns < kResolutionWindow)
    return nullptr;
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last) < 1) return nullptr;
  ap7a_new_spectrum smoothed(ap7a_SGSmooth(spectrum, x1, x2, kResolutionWindow));
  if (smoothed.get() == nullptr) return nullptr;
  ap7a_new_spectrum weights(ap7b_DifferenceWeights(spectrum, x1, x2, smoothed.get()));
  if (weights.get() == nullptr) return nullptr;
  ap7a_new_spectrum removed(ap7a_SubtractSpectra(spectrum, x1, x2, smoothed.get()));
  if (removed.get() == nullptr) return nullptr;
  ap7a_new_spectrum weighted(ap7a_MultiplySpectra(removed.get(), x1, x2, weights.get()));
  if (weighted.get() == nullptr) return nullptr;
  ap7a_new_spectrum result(ap7a_AddSpectra(smoothed.get(), x1, x2, weighted.get()));
  if (result.get() == nullptr || !ap7b_TitleFrom(result.get(), spectrum, AP7_TITLE_SMOOTHED) ||
      !ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(result.get()), AP41_HISTORY_SMOOTH) ||
      !ap7d_CopyListTo(spectrum, result.get()))
    return nullptr;
  return result.release();
}

uint16_t ap7b_TitleFrom(AP7_SPECTRUM* made, const AP7_SPECTRUM* source, uint16_t prefix) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(made));
  const AP41_HEADERDATA* source_record = ap7a_record(ap7a_spectrum(source));
  if (record == nullptr || source_record == nullptr) return 0;
  std::memcpy(record->title, source_record->title, sizeof record->title);
  record->title[sizeof record->title - 1] = '\0';
  if (const char* text = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, prefix, nullptr, nullptr))
    return ap7d_PrependTitle(made, text);
  return 1;
}
