// The region of a measurement as a trace of its own (message 246): a new
// spectrum of the record's region less its baseline, for the region-trace
// types 109 (as it is), 110 (first differences), 111 (central differences)
// and 113 (second differences), limited to a value range and optionally
// reversed. Message 243 does not measure these types; the spectrum's
// measured feature values read regions through this. The dispatcher's
// analysis table calls ap7e_MeasureRegion for message 246.
#include <algorithm>
#include <vector>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

bool ap7e_is_trace_type(uint16_t type) {
  return type == AP7E_REGION_TRACE || type == AP7E_REGION_DIFFERENCE || type == AP7E_REGION_CENTRAL_DIFFERENCE ||
         type == AP7E_REGION_SECOND_DIFFERENCE;
}

// Outside the limits: above the upper or below the lower; a missing limit
// is no limit.
bool ap7e_outside(float y, float upper, float lower) {
  return (!ap1_is_missing(upper) && y > upper) || (!ap1_is_missing(lower) && y < lower);
}

// The differences of the type over the m values, each from the values as
// they were before the step; the ends a difference cannot reach become 0.
void ap7e_difference(float* y, int32_t m, uint16_t type) {
  const std::vector<float> before(y, y + m);
  if (type == AP7E_REGION_DIFFERENCE) {
    for (int32_t i = m - 1; i >= 1; --i) y[i] = before[i] - before[i - 1];
    y[0] = 0.0f;
    return;
  }
  for (int32_t i = 1; i <= m - 2; ++i)
    y[i] = type == AP7E_REGION_CENTRAL_DIFFERENCE ? (before[i + 1] - before[i - 1]) / 2.0f
                                                  : before[i + 1] - 2.0f * before[i] + before[i - 1];
  y[0] = 0.0f;
  y[m - 1] = 0.0f;
}

}  // namespace

AP7_SPECTRUM* ap7e_MeasureRegion(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record, float upper, float lower,
                                 uint16_t reverse, uint32_t* count, GU3_HANDLE mask, int32_t* start_index) {
  if (IsBadWritePtr(count, sizeof(uint32_t))) return nullptr;
  *count = 0;
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || IsBadWritePtr(record, sizeof(AP7_MEASUREREC)) ||
      !ap7e_is_trace_type(record->type))
    return nullptr;
  if (start_index != nullptr && IsBadWritePtr(start_index, sizeof(int32_t))) return nullptr;
  if (!ap7e_MeasureBaseline(spectrum, record)) return nullptr;
  ap7e_frame f{};
  if (!ap7e_make_frame(spectrum, record, f) || !ap7e_region_passes(f)) {
    if (start_index != nullptr) *start_index = -1;
    return nullptr;
  }
  ap7e_cut cut(spectrum, record->region_start, record->region_end);
  if (!cut.found()) return nullptr;
  const int32_t m = cut.count();
  *count = static_cast<uint32_t>(m);
  cut.write_back(record);
  int32_t first_index = 0;
  ap7b_XToIndex(spectrum, cut.first_x(), &first_index);

  float* y = cut.values();
  if (mask != nullptr) {
    for (int32_t i = 0; i < m; ++i) {
      auto* entry = static_cast<uint16_t*>(GU3_GetPointer_MM(mask, static_cast<uint32_t>(i), nullptr, nullptr));
      if (entry != nullptr && (ap1_is_missing(y[i]) || ap7e_outside(y[i], upper, lower))) *entry = 0;
    }
  }
  const bool limited = !AP1_KovFloatCompareSG_MATH(upper, lower);
  for (int32_t i = 0; i < m; ++i) {
    if (ap1_is_missing(y[i])) continue;
    if (limited && ap7e_outside(y[i], upper, lower))
      y[i] = AP1_GetNaNSG_MATH();
    else
      y[i] = f.corrected(y[i], cut.x_at(i, f.h));
  }
  if (record->type != AP7E_REGION_TRACE) ap7e_difference(y, m, record->type);
  if (reverse != 0) {
    std::reverse(y, y + m);
    AP41_HEADERDATA* header = ap7a_record(cut.spectrum());
    const float first_x = header->first_x;
    header->first_x = header->last_x;
    header->last_x = first_x;
  }
  if (start_index != nullptr) *start_index = first_index;
  return cut.release();
}
