// Peak width of a region, smoothing to a resolution and the change of point
// spacing, each over an X region of one spectrum.
//
// The numerical work is the array class's (half width) or
// other spectrum operations' (subdivision, regrid, cut, Savitzky-Golay
// smoothing, difference weights); this module turns X limits into index
// ranges and widths in points into X units, and strings the steps together.
// The spectrum given is never changed. AP7_Dispatcher_SPECTRUM calls these
// for messages 95, 131 and 132 (message 94, the peak list, is
// ap7b_peaklist.cpp's).
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

AP7_SPECTRUM* ap7b_ChangeSpacing(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || !(spacing > 0.0f) || std::isnan(x1) || std::isnan(x2)) return nullptr;
  if (ap1_not_given(x1)) {
    x1 = std::min(float{record->first_x}, float{record->last_x});
    x2 = std::max(float{record->first_x}, float{record->last_x});
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
