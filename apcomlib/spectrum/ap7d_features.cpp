// Spectral feature values: what a quantitative method reads from a spectrum,
// described as a numbered feature kind with up to four X positions, turned
// into numbers by simple point reads, band areas and range copies.
//
// Kinds 1 to 6 and 10 give one value (a height, a height difference, a
// height above a baseline, band areas, a peak-to-peak span), kinds 11 to 16
// the same squared; kinds 7 to 9 give the values of a region (as they are,
// less the height at x3, or above a baseline), kinds 17 to 19 the same
// differenced. AP7_Dispatcher_SPECTRUM calls these for messages 222, 324,
// 226 and 247; the measured feature values (ap7d_measure.cpp) share the
// transform and the counts.
#include <cmath>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

// Below this a value has no logarithm worth reporting.
constexpr float kSmallestLogged = 1e-12f;

// Kinds, as the methods number them.
constexpr int32_t kHeight = 1;
constexpr int32_t kHeightDifference = 2;
constexpr int32_t kBaselineHeight = 3;
constexpr int32_t kAreaAboveScale = 4;
constexpr int32_t kAreaAboveLevel = 5;
constexpr int32_t kAreaAboveBaseline = 6;
constexpr int32_t kRegion = 7;
constexpr int32_t kRegionLessHeight = 8;
constexpr int32_t kRegionAboveBaseline = 9;
constexpr int32_t kPeakToPeak = 10;
// Kinds 11 to 16 square kinds 1 to 6, kinds 17 to 19 difference kinds 7 to 9.
constexpr int32_t kSquaredOffset = 10;
constexpr int32_t kLastSquared = 16;
constexpr int32_t kFirstDifferenced = 17;
constexpr int32_t kLastDifferenced = 19;

bool ap7d_region_kind(int32_t kind) {
  return (kind >= kRegion && kind <= kRegionAboveBaseline) || (kind >= kFirstDifferenced && kind <= kLastDifferenced);
}

bool ap7d_single_kind(int32_t kind) {
  return (kind >= kHeight && kind <= kAreaAboveBaseline) || (kind >= kPeakToPeak && kind <= kLastSquared);
}

// The value at the point nearest x.
bool ap7d_value_at(AP7_SPECTRUM* spectrum, float x, float* value) { return ap7a_GetValueAtX(spectrum, x, value) != 0; }

// One of the two areas of message 178.
bool ap7d_area(AP7_SPECTRUM* spectrum, const AP7_FEATURE& feature, float bx1, float bx2, bool above_baseline,
               float* value) {
  float area_level = 0.0f;
  float area_baseline = 0.0f;
  if (ap7b_MeasureArea(spectrum, feature.x1, feature.x2, bx1, bx2, &area_level, &area_baseline) == 0) return false;
  *value = above_baseline ? area_baseline : area_level;
  return true;
}

bool ap7d_baseline_height(AP7_SPECTRUM* spectrum, const AP7_FEATURE& feature, float* value) {
  AP7_SPECTRUM* corrected = ap7d_NewBaselineCorrectedRange(spectrum, feature.x1, feature.x1, feature.x3, feature.x4);
  if (corrected == nullptr) return false;
  const float* y = ap7b_GetDataPtr(corrected);
  const bool read = y != nullptr;
  if (read) *value = y[0];
  ap7a_Delete(corrected, nullptr);
  return read;
}

// The one value of kinds 1 to 6 and 10; false when a step failed.
bool ap7d_single_value(AP7_SPECTRUM* spectrum, const AP7_FEATURE& feature, int32_t kind, float* value) {
  switch (kind) {
    case kHeight: return ap7d_value_at(spectrum, feature.x1, value);
    case kHeightDifference: {
      float other = 0.0f;
      if (!ap7d_value_at(spectrum, feature.x1, value) || !ap7d_value_at(spectrum, feature.x3, &other)) return false;
      *value -= other;
      return true;
    }
    case kBaselineHeight: return ap7d_baseline_height(spectrum, feature, value);
    case kAreaAboveScale: return ap7d_area(spectrum, feature, feature.x1, feature.x2, false, value);
    case kAreaAboveLevel: return ap7d_area(spectrum, feature, feature.x3, feature.x3, true, value);
    case kAreaAboveBaseline: return ap7d_area(spectrum, feature, feature.x3, feature.x4, true, value);
    case kPeakToPeak: {
      float low = 0.0f;
      float high = 0.0f;
      float unused = 0.0f;
      if (ap7a_MinMax(spectrum, feature.x1, feature.x2, &unused, &high) == 0 ||
          ap7a_MinMax(spectrum, feature.x3, feature.x4, &low, &unused) == 0)
        return false;
      *value = high - low;
      return true;
    }
    default: return false;
  }
}

// The working spectrum of a region kind: a strict cut, or the region above
// the baseline through x3..x4.
AP7_SPECTRUM* ap7d_region_of(AP7_SPECTRUM* spectrum, const AP7_FEATURE& feature, int32_t base_kind) {
  if (base_kind == kRegionAboveBaseline)
    return ap7d_NewBaselineCorrectedRange(spectrum, feature.x1, feature.x2, feature.x3, feature.x4);
  return ap7a_NewFromRangeStrict(spectrum, feature.x1, feature.x2);
}

// The values of kinds 7 to 9 and 17 to 19, last point first; their count, 0
// when a step failed (nothing is written then).
uint32_t ap7d_region_values(AP7_SPECTRUM* spectrum, const AP7_FEATURE& feature, int32_t kind, float* values,
                            uint16_t transform) {
  const bool differenced = kind >= kFirstDifferenced;
  const int32_t base_kind = differenced ? kind - kSquaredOffset : kind;
  float height = 0.0f;
  if (base_kind == kRegionLessHeight && !ap7d_value_at(spectrum, feature.x3, &height)) return 0;
  AP7_SPECTRUM* region = ap7d_region_of(spectrum, feature, base_kind);
  if (region == nullptr) return 0;
  const float* y = ap7b_GetDataPtr(region);
  const uint32_t count = y != nullptr ? ap7a_record(region)->points : 0;
  for (uint32_t i = 0; i < count; ++i) values[count - 1 - i] = y[i] - height;
  ap7a_Delete(region, nullptr);
  if (count == 0) return 0;
  if (differenced) {
    for (uint32_t i = 0; i + 1 < count; ++i) values[i] -= values[i + 1];
    values[count - 1] = 0.0f;
  }
  if (base_kind == kRegionAboveBaseline)
    for (uint32_t i = 0; i < count; ++i) ap7d_Transform(&values[i], transform);
  return count;
}

// The point count of a strict cut to x1..x2, the working copy deleted again.
uint32_t ap7d_cut_count(AP7_SPECTRUM* spectrum, float x1, float x2) {
  AP7_SPECTRUM* cut = ap7a_NewFromRangeStrict(spectrum, x1, x2);
  if (cut == nullptr) return 0;
  const uint32_t count = ap7a_record(cut)->points;
  ap7a_Delete(cut, nullptr);
  return count;
}

}  // namespace

void ap7d_Transform(float* value, uint16_t transform) {
  switch (transform) {
    case AP7_FEATURE_LOG10: *value = std::log10(*value < kSmallestLogged ? kSmallestLogged : *value); break;
    case AP7_FEATURE_RECIPROCAL:
      *value = AP1_KovFloatCompareSG_MATH(*value, 0.0f) != 0 ? 0.0f : 1.0f / *value;
      break;
    default: break;
  }
}

AP7_SPECTRUM* ap7d_NewBaselineCorrectedRange(AP7_SPECTRUM* spectrum, float x1, float x2, float bx1, float bx2) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr) return nullptr;
  AP4_CELL start{};
  AP4_CELL end{};
  AP4_CELL baseline_start{};
  AP4_CELL baseline_end{};
  const int32_t count = ap7b_XRangeToIndexRange(checked, &x1, &x2, &start, &end);
  if (count < 1 || ap7b_XRangeToIndexRange(checked, &bx1, &bx2, &baseline_start, &baseline_end) < 1) return nullptr;
  const bool down = ap7d_GetPeakDirection(checked) == AP1_PEAKS_DOWN;
  AP7_SPECTRUM* corrected = ap7b_NewLike(checked, nullptr);
  if (corrected == nullptr) return nullptr;
  AP4_ARRAY* row = ap4d_SubtractLinearBaseline(checked->data, start, end, baseline_start, baseline_end, AP1_PEAKS_UP);
  // A band pointing down lies below its baseline: its values are the line
  // less the data, so that both directions count a band positive.
  const bool oriented = row != nullptr && (!down || ap4a_MultiplyScalar(row, AP4_WHOLE_RANGE, -1.0f) != 0);
  if (oriented && ap7a_LinkData(corrected, row, x1, x2, static_cast<uint32_t>(count)) != 0) return corrected;
  if (row != nullptr) ap4a_Delete(row, nullptr);
  ap7a_Delete(corrected, nullptr);
  return nullptr;
}

// A step that fails inside a single-value kind fails the whole request, so
// that no value is reported that was never read.
uint32_t ap7d_GetFeatureValues(AP7_SPECTRUM* spectrum, const AP7_FEATURE* feature, float* values, uint16_t transform) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || feature == nullptr || values == nullptr) return 0;
  const int32_t kind = ap1_TruncateToInt32(feature->kind);
  if (ap7d_region_kind(kind)) return ap7d_region_values(checked, *feature, kind, values, transform);
  if (!ap7d_single_kind(kind)) return 0;
  const bool squared = kind > kPeakToPeak;
  float value = 0.0f;
  if (!ap7d_single_value(checked, *feature, squared ? kind - kSquaredOffset : kind, &value)) return 0;
  ap7d_Transform(&value, transform);
  if (squared) value *= value;
  values[0] = value;
  return 1;
}

uint32_t ap7d_GetFeatureCount(AP7_SPECTRUM* spectrum, const float* request) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || request == nullptr) return 0;
  const int32_t kind = ap1_TruncateToInt32(request[0]);
  if (ap7d_region_kind(kind)) return ap7d_cut_count(checked, request[1], request[2]);
  return ap7d_single_kind(kind) ? 1 : 0;
}

uint32_t ap7d_GetMeasurementCount(AP7_SPECTRUM* spectrum, const AP7_MEASUREDESC* request) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || request == nullptr) return 0;
  const int32_t kind = ap1_TruncateToInt32(request->kind);
  return ap7d_IsMeasuredRegionKind(kind) ? ap7d_cut_count(checked, request->x1, request->x2) : 1;
}
