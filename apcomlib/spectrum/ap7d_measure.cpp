// Measured feature values: a feature read from a spectrum through the
// class's peak measurement (messages 243 and 246) instead of point reads.
//
// Feature kinds 1 to 19 are translated into a measurement record; kinds of
// 101 and above are measurement types themselves and the caller's whole
// description is handed on. One value comes back from the record's results
// (an area, a point value, a position or a fitted value, by type), or the
// values of a measured region from the new spectrum that message 246 makes.
// AP7_Dispatcher_SPECTRUM calls this for messages 245, 313 and 325.
#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

// Measurement types the feature kinds 1 to 19 become.
constexpr uint16_t kPointValue = 102;
constexpr uint16_t kPeakHeight = 104;
constexpr uint16_t kNegatedPeakHeight = 105;
constexpr uint16_t kArea = 107;
constexpr uint16_t kRegionTrace = 109;
constexpr uint16_t kRegionDifference = 110;
constexpr uint16_t kTwoPointArea = 114;

// Baseline modes: a line fitted over the region, through given points, through
// the highest point of a region, flat at full scale, a fitted parabola.
constexpr uint16_t kFittedLine = 1;
constexpr uint16_t kThroughPoints = 2;
constexpr uint16_t kHighestPoint = 5;
constexpr uint16_t kFullScale = 6;
constexpr uint16_t kFittedParabola = 7;

// The four results a feature is read back from.
enum class ap7d_result { none, area, point_value, fitted_x, fitted_value, region };

ap7d_result ap7d_result_of(int32_t kind) {
  if (ap7d_IsMeasuredRegionKind(kind)) return ap7d_result::region;
  switch (kind) {
    case 1: case 2: case 3: case 11: case 12: case 13:
    case 102: case 103: case 116: return ap7d_result::point_value;
    case 4: case 5: case 6: case 10: case 14: case 15: case 16:
    case 107: case 108: case 112: case 114: return ap7d_result::area;
    case 118: case 126: case 127: case 135: case 136: return ap7d_result::fitted_x;
    default: break;
  }
  if (kind == 101 || (kind >= 104 && kind <= 106) || kind == 115 || kind == 117 || (kind >= 119 && kind <= 125) ||
      (kind >= 128 && kind <= 134))
    return ap7d_result::fitted_value;
  return ap7d_result::none;
}

float ap7d_read_back(const AP7_MEASUREREC& request, ap7d_result result) {
  switch (result) {
    case ap7d_result::area: return request.area_corrected;
    case ap7d_result::point_value: return request.point_value_corrected;
    case ap7d_result::fitted_x: return request.fitted_x_corrected;
    default: return request.fitted_value_corrected;
  }
}

uint16_t ap7d_whole(float value) { return static_cast<uint16_t>(ap1_TruncateToInt32(value)); }

// The record for feature kinds 1 to 19: a point value (1 to 3), a band area
// (4 to 6), a region trace (7 to 9) or its differences (17 to 19), each with
// no baseline point, one or two; kind 10 is the height of a peak above the
// highest point of a baseline region. Kinds 11 to 16 are measured as 1 to 6.
void ap7d_feature_request(AP7_SPECTRUM* spectrum, const AP7_MEASUREDESC& d, int32_t kind, AP7_MEASUREREC& request) {
  request.baseline_mode = kThroughPoints;
  if (kind == 10) {
    const bool down = ap7d_GetPeakDirection(spectrum) == AP1_PEAKS_DOWN;
    request.type = down ? kNegatedPeakHeight : kPeakHeight;
    request.baseline_mode = down ? kHighestPoint : kFittedLine;
    request.point_count = 1;
    request.region_start = d.x1;
    request.region_end = d.x2;
    request.position1 = d.baseline1_x;
    request.region1_end = d.baseline1_y;
    return;
  }
  const int32_t base = kind > 10 && kind <= 16 ? kind - 10 : kind;
  const int32_t within = base >= 17 ? base - 17 : (base - 1) % 3;  // baseline points: 0, 1 or 2
  request.point_count = static_cast<uint16_t>(within);
  if (within >= 1) request.position1 = d.baseline1_x;
  if (within == 2) request.position2 = d.baseline1_y;
  if (base <= 3) {
    request.type = kPointValue;
    request.x = d.x1;
    return;
  }
  request.region_start = d.x1;
  request.region_end = d.x2;
  if (base <= 6) {
    request.type = kArea;
    return;
  }
  request.type = base >= 17 ? kRegionDifference : kRegionTrace;
  request.unused_44 = ap7d_whole(d.region_option);
  request.slope_mode = 0;
}

// The record for measurement types handed on whole; type 114 takes only
// its level and its two baseline points.
void ap7d_type_request(const AP7_MEASUREDESC& d, int32_t kind, float v, uint16_t extra_flag, float extra1,
                       float extra2, AP7_MEASUREREC& request) {
  request.type = static_cast<uint16_t>(kind);
  request.point_count = ap7d_whole(d.point_count);
  request.baseline_mode = ap7d_whole(d.baseline_mode);
  request.level = d.level;
  request.position1 = d.baseline1_x;
  request.region1_end = d.baseline1_y;
  request.position2 = d.baseline2_x;
  request.region2_end = d.baseline2_y;
  if (kind == kTwoPointArea) return;
  request.fraction = v;
  request.x = d.x1;
  request.region_start = d.x1;
  request.region_end = d.x2;
  request.unused_44 = ap7d_whole(d.region_option);
  request.window_on = extra_flag;
  request.window_low = extra1;
  request.window_high = extra2;
  request.percent = d.extra;
}

// The region values of message 246, in their own order, each transformed;
// their count, 0 when no region came back.
uint32_t ap7d_region_values(AP7_SPECTRUM* spectrum, AP7_MEASUREREC& request, float r1, float r2,
                            GU3_HANDLE region_argument, int32_t* index, float* values, uint16_t transform) {
  uint32_t count = 0;
  AP7_MEASUREREGIONPARM block{&request, r2, r1, 1, &count, region_argument, index};
  auto* region = ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP7_MSG_MEASURE_REGION, spectrum, &block));
  if (region == nullptr) return 0;
  const float* y = ap7a_spectrum(region) != nullptr ? ap7b_GetDataPtr(region) : nullptr;
  // The region spectrum's own point count bounds what is read from it.
  const uint32_t points = y != nullptr ? ap7a_record(region)->points : 0;
  if (count > points) count = points;
  for (uint32_t i = 0; i < count; ++i) {
    values[i] = y[i];
    ap7d_Transform(&values[i], transform);
  }
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, region, &window);
  return count;
}

}  // namespace

bool ap7d_IsMeasuredRegionKind(int32_t kind) {
  return (kind >= 7 && kind <= 9) || (kind >= 17 && kind <= 19) || (kind >= 109 && kind <= 111) || kind == 113;
}

uint32_t ap7d_MeasureFeature(AP7_SPECTRUM* spectrum, const AP7_MEASUREDESC* description, float* values, float r1,
                             float r2, float v, GU3_HANDLE region_argument, int32_t* index_out,
                             uint16_t mode_switch, uint16_t transform, uint16_t extra_flag, float extra1,
                             float extra2) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || description == nullptr || values == nullptr) return 0;
  const int32_t kind = ap1_TruncateToInt32(description->kind);
  AP7_MEASUREREC request{};
  request.slope_mode = 1;
  if (kind >= 1 && kind <= 19)
    ap7d_feature_request(checked, *description, kind, request);
  else
    ap7d_type_request(*description, kind, v, extra_flag, extra1, extra2, request);
  if (mode_switch != 0 && (request.baseline_mode == kFittedLine || request.baseline_mode == kFittedParabola))
    request.baseline_mode = kFullScale;

  const ap7d_result result = ap7d_result_of(kind);
  int32_t index = -1;
  uint32_t written = 0;
  if (result == ap7d_result::region) {
    written = ap7d_region_values(checked, request, r1, r2, region_argument, &index, values, transform);
  } else if (GU2_DoMethod_MSG(AP7_MSG_MEASURE_PEAK, checked, &request) != 0 && result != ap7d_result::none) {
    float value = ap7d_read_back(request, result);
    if (kind >= 11 && kind <= 16) value *= value;
    ap7d_Transform(&value, transform);
    values[0] = value;
    written = 1;
  }
  if (index_out != nullptr) *index_out = index;
  return written;
}
