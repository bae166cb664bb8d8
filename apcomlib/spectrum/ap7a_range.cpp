// X-range operations of the spectrum: the ARRAY class's element and range
// messages under the same numbers, with positions given as X values.
//
// Each operation turns its X range into an index range of the one-row data
// array (ap7b_XRangeToIndexRange), calls the ARRAY operation on it and keeps
// the header consistent: point count, first and last X and the history bit
// of the step. Here: the point count of a range (36), points inserted or
// deleted at either end (45, 46), a range filled with a value (47) and a
// copy cut to a range. AP7_Dispatcher_SPECTRUM calls these for their
// messages; the axis operations pad and trim spectra through them, and the
// operations that work on a stretch of a spectrum start from the cut copy.
#include <algorithm>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Points inserted (1) or deleted (-1) at one end. The axis keeps its
// spacing: at the end the last X moves; at the start the first X moves,
// except for an interferogram, whose first X stays while its last X, the
// value shifted with the peak (p30) and the peak index (p22) move instead.
uint16_t ap7a_change_points(AP7_SPECTRUM* spectrum, uint16_t at_start, int32_t count, int32_t direction) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || count < 0) return 0;
  if (count == 0) return 1;
  AP4_ARRAY* data = spectrum->data;
  const int64_t points = record->points;
  const bool inserting = direction > 0;
  // Points the header does not count, or that the array does not hold, are
  // not deleted: header and array must shrink alike.
  const int64_t index = at_start ? 0 : (inserting ? points : points - count);
  if (!inserting && (index < 0 || index + count > int64_t{data->columns})) return 0;
  const double shift = static_cast<double>(direction) * count * ap7b_GetXSpacing(spectrum);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  const auto column = static_cast<int32_t>(std::min<int64_t>(index, INT32_MAX));
  if (!(inserting ? ap4a_InsertColumns(data, column, count) : ap4a_DeleteColumns(data, column, count))) return 0;
  record->points = static_cast<uint32_t>(points + int64_t{direction} * count);
  const bool interferogram = record->y_units == AP41_YUNITS_INTERFEROGRAM;
  if (!at_start) {
    record->last_x = static_cast<float>(record->last_x + shift);
  } else if (!interferogram) {
    record->first_x = static_cast<float>(record->first_x - shift);
  } else {
    record->p30 = static_cast<float>(record->p30 + shift);
    record->last_x = static_cast<float>(record->last_x + shift);
    record->FinalPeakPos =
        static_cast<uint32_t>(std::max<int64_t>(0, int64_t{record->FinalPeakPos} + int64_t{direction} * count));
  }
  // The points after the peak cannot outnumber those the data still hold.
  if (!inserting && interferogram) {
    const int64_t after_peak = int64_t{record->points} - record->FinalPeakPos;
    if (after_peak + 1 < int64_t{record->NumPostPeakPts})
      record->NumPostPeakPts = static_cast<uint32_t>(std::max<int64_t>(0, after_peak));
  }
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), inserting ? AP41_HISTORY_EXPANSION : AP41_HISTORY_TRUNCATED);
  return 1;
}

}  // namespace

uint16_t ap7a_GetRangePoints(AP7_SPECTRUM* spectrum, float x1, float x2, uint32_t* count) {
  if (ap7a_spectrum(spectrum) == nullptr || IsBadWritePtr(count, sizeof(uint32_t))) return 0;
  AP4_CELL first{};
  AP4_CELL last{};
  const int32_t points = ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last);
  *count = points > 0 ? static_cast<uint32_t>(points) : 0;
  return 1;
}

uint16_t ap7a_InsertPoints(AP7_SPECTRUM* spectrum, uint16_t at_start, int32_t count) {
  return ap7a_change_points(spectrum, at_start, count, 1);
}

uint16_t ap7a_DeletePoints(AP7_SPECTRUM* spectrum, uint16_t at_start, int32_t count) {
  return ap7a_change_points(spectrum, at_start, count, -1);
}

uint16_t ap7a_FillRange(AP7_SPECTRUM* spectrum, float x1, float x2, float value) {
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &x1, &x2, &first, &last) <= 0) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || !ap4a_FillRange(spectrum->data, AP4_RANGE{first, last}, value)) return 0;
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_FILLED);
  return 1;
}

uint16_t ap7a_MinMax(AP7_SPECTRUM* spectrum, float x1, float x2, float* minimum, float* maximum) {
  if (IsBadWritePtr(minimum, sizeof(float)) || IsBadWritePtr(maximum, sizeof(float))) return 0;
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &x1, &x2, &first, &last) <= 0) return 0;
  return ap4a_MinMaxAll(spectrum->data, AP4_RANGE{first, last}, minimum, nullptr, maximum, nullptr);
}

// The cut deletes the points outside the range's index range, the end first,
// so that an axis running downward is cut as one running upward is.
AP7_SPECTRUM* ap7a_NewFromRange(AP7_SPECTRUM* spectrum, float x1, float x2) {
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &x1, &x2, &first, &last) <= 0) return nullptr;
  const int32_t points = static_cast<int32_t>(ap7a_record(spectrum)->points);
  AP7_SPECTRUM* copy = ap7a_Duplicate(spectrum, nullptr);
  if (copy == nullptr) return nullptr;
  if (!ap7a_DeletePoints(copy, 0, points - 1 - last.column) || !ap7a_DeletePoints(copy, 1, first.column)) {
    ap7a_Delete(copy, nullptr);
    return nullptr;
  }
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(copy), AP41_HISTORY_TRUNCATED);
  return copy;
}

// The strict cut takes each end at the grid point nearest its limit, as the
// clamp of message 227 does: never stepped outward past a limit and never
// beyond the data, so that a range missing the data makes nothing. The copy
// cut above already cuts so, on axes running either way.
AP7_SPECTRUM* ap7a_NewFromRangeStrict(AP7_SPECTRUM* spectrum, float x1, float x2) {
  return ap7a_NewFromRange(spectrum, x1, x2);
}
