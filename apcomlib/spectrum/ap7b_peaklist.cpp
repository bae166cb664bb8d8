// The peak of a range nearest a given X and its two base points: the
// spectrum's form of the ARRAY peak list (message 94 of both classes).
//
// The range becomes an index range of the data row, the reference X an
// index and the two levels the hysteresis thresholds of the array search;
// the three columns it finds come back as X values. AP7_Dispatcher_SPECTRUM
// calls this for message 94, and the measurement against a located baseline
// finds its base points with it.
#include <algorithm>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// The rise a level (a percentage, held to 0..100) asks of a peak or valley:
// the share of the range's value span above the level.
float ap7b_level_threshold(float level, float span) {
  const float percent = std::clamp(level, 0.0f, 100.0f);
  return (100.0f - percent) / 100.0f * span;
}

}  // namespace

uint16_t ap7b_PeakListInRange(AP7_SPECTRUM* spectrum, float x, float x1, float x2, float peak_level,
                              float valley_level, float* peak_x, float* left_x, float* right_x) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || record->points <= 2 ||
      IsBadWritePtr(peak_x, sizeof(float)) || IsBadWritePtr(left_x, sizeof(float)) ||
      IsBadWritePtr(right_x, sizeof(float)))
    return 0;
  if (x1 > x2) std::swap(x1, x2);
  AP4_RANGE range{};
  const int32_t count = ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &range.start, &range.end);
  if (count < 1) return 0;
  // A single point is no range to search: it takes a neighbour.
  if (count == 1) {
    if (range.end.column + 1 < static_cast<int32_t>(record->points))
      ++range.end.column;
    else
      --range.start.column;
  }
  AP4_CELL target{};
  if (!ap7b_XToIndex64(spectrum, x, &target)) return 0;

  float low = 0.0f;
  float high = 0.0f;
  if (!ap4a_MinMaxAll(spectrum->data, range, &low, nullptr, &high, nullptr)) return 0;
  const float span = high - low;
  const auto mode = static_cast<uint16_t>(ap7d_GetPeakDirection(spectrum));
  AP4_CELL peak{};
  AP4_CELL left{};
  AP4_CELL right{};
  if (!ap4c_PeakList(spectrum->data, target, range, mode, ap7b_level_threshold(peak_level, span),
                     ap7b_level_threshold(valley_level, span), &peak, &left, &right))
    return 0;
  ap7b_IndexToX(spectrum, peak.column, peak_x);
  ap7b_IndexToX(spectrum, left.column, left_x);
  ap7b_IndexToX(spectrum, right.column, right_x);
  return 1;
}
