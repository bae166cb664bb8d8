// Edits of a spectrum's Y values over an X region or the whole spectrum:
// blanking a region (its values become missing and the unprotected
// annotations inside go), replacing a region by the straight line between
// its end values, and the ATR-corrected copy of a spectrum (absorbance
// scaled by X / 1000). Each records its step in the history bits.
//
// Limits come in either order, AP_NOT_GIVEN for an open end; a missing
// (NaN) limit is refused. The line is built on point indexes, so an axis
// running downward is filled as one running upward is.
// AP7_Dispatcher_SPECTRUM calls these for messages 140, 145 and 146.
#include <cmath>

#include "core/core.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr double kAtrXScale = 1000.0;

bool ap7b_missing_limit(float x1, float x2) { return std::isnan(x1) || std::isnan(x2); }

// The records with x in x1..x2 deleted, protected ones kept; from the last
// down, so the indexes still to visit do not move.
void ap7b_delete_annotations(AP34_ANNOTATION* annotation, float x1, float x2) {
  int32_t first = -1;
  int32_t last = -1;
  if (annotation == nullptr || ap34_CountInRange_ANTATN(annotation, x1, x2, &first, &last) == 0) return;
  AP34_ANNOTREC record{};
  for (int32_t index = last; index >= first && index >= 0; --index) {
    if (!ap34_Get_ANTATN(annotation, static_cast<uint32_t>(index), &record, AP1_YUNIT_PERCENT_TRANSMITTANCE)) continue;
    GU3_RemoveString(record.label);
    const uint16_t flags = record.flags;
    if ((flags & AP34_FLAG_PROTECTED) == 0) ap34_Delete_ANTATN(annotation, static_cast<uint32_t>(index));
  }
}

}  // namespace

uint16_t ap7b_BlankRegion(AP7_SPECTRUM* spectrum, float x1, float x2) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || ap7b_missing_limit(x1, x2)) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || !ap7a_FillRange(spectrum, x1, x2, AP1_GetNaNSG_MATH())) return 0;
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_BLANKED);
  ap7b_delete_annotations(spectrum->annotation, x1, x2);
  return 1;
}

uint16_t ap7b_StraightLineRegion(AP7_SPECTRUM* spectrum, float x1, float x2) {
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_missing_limit(x1, x2) || ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &x1, &x2, &first, &last) <= 0)
    return 0;
  float* values = ap7b_GetDataPtr(spectrum);
  if (values == nullptr) return 0;
  // The line runs between the first and the last present value inside.
  int32_t start = first.column;
  int32_t end = last.column;
  while (start < end && ap1_is_missing(values[start])) ++start;
  while (end > start && ap1_is_missing(values[end])) --end;
  if (end <= start) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  const double y1 = values[start];
  const double y2 = values[end];
  const double span = end - start;
  for (int32_t i = start + 1; i < end; ++i) values[i] = static_cast<float>(y1 + (y2 - y1) * ((i - start) / span));
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_STRAIGHT_LINE);
  return 1;
}

AP7_SPECTRUM* ap7b_ATRCorrection(AP7_SPECTRUM* spectrum) {
  if (ap7a_spectrum(spectrum) == nullptr) return nullptr;
  ap7a_new_spectrum corrected(ap7a_Duplicate(spectrum, nullptr));
  AP7_SPECTRUM* q = corrected.get();
  uint32_t points = 0;
  if (q == nullptr || !ap7a_GetRangePoints(q, AP_NOT_GIVEN, AP_NOT_GIVEN, &points) || points == 0 ||
      !ap7b_ConvertToAbsorbance(q, 1))
    return nullptr;
  float* values = ap7b_GetDataPtr(q);
  if (values == nullptr) return nullptr;
  const double first_x = ap7a_record(q)->first_x;
  const double spacing = ap7b_GetXSpacing(q);
  for (uint32_t i = 0; i < points; ++i)
    values[i] = static_cast<float>(values[i] * ((first_x + i * spacing) / kAtrXScale));
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(q), AP41_HISTORY_ATR);
  ap7d_AddHistoryLine(q, AP7_HISTORY_LABEL_ATR);
  ap7d_AddHistoryText(q, "\r\n");
  if (const char* prefix = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, AP7_TITLE_ATR, nullptr, nullptr))
    ap7d_PrependTitle(q, prefix);
  return corrected.release();
}
