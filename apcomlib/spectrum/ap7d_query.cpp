// Small queries of the spectrum class: whether two spectra's X spacings
// agree, whether their post-peak counts do, a spectrum's object list copied
// onto another and the parameter objects it carries, a normalised copy of a
// range, the identifying code, the direction its peaks point, the
// peak-search threshold and the full scale of its Y unit.
//
// The spacing test decides whether two spectra share a common index range
// (the axis module) and may be combined; the list copy serves the spectrum's
// copy and every operation that gives a new spectrum the list of the one it
// was made from; the peak queries serve the peak search.
// AP7_Dispatcher_SPECTRUM calls them for their messages.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Spacings agree when they differ by at most this share of the larger one.
constexpr double kSpacingTolerance = 0.01;

}  // namespace

// The larger spacing is taken by magnitude, so that two axes running
// downward compare as two running upward do.
uint16_t ap7d_CompareSpacing(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other) {
  if (ap7a_spectrum(spectrum) == nullptr || ap7a_spectrum(other) == nullptr) return 0;
  const double spacing = ap7b_GetXSpacing(spectrum);
  const double other_spacing = ap7b_GetXSpacing(other);
  const double larger = std::max(std::fabs(spacing), std::fabs(other_spacing));
  if (AP1_KovFloatCompareSG_MATH(static_cast<float>(larger), 0.0f)) return 0;
  return std::fabs(spacing - other_spacing) / larger <= kSpacingTolerance ? 1 : 0;
}

// The other spectrum's list goes, with its members, only once the deep
// duplicate that replaces it exists; a spectrum without a list leaves the
// other's as it is.
uint16_t ap7d_CopyListTo(const AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other) {
  const AP7_SPECTRUM* source = ap7a_spectrum(spectrum);
  AP7_SPECTRUM* target = ap7a_spectrum(other);
  if (source == nullptr || target == nullptr) return 0;
  if (source->list == nullptr || source == target) return 1;
  AP40_LLIST* copy = ap40_Duplicate_LLIST(source->list, nullptr, 1);
  if (copy == nullptr) return 0;
  if (target->list != nullptr) ap40_Destroy_LLIST(target->list, nullptr, 1);
  target->list = copy;
  return 1;
}

uint16_t ap7d_CopyListFrom(AP7_SPECTRUM* spectrum, AP_OBJECT* object) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || checked->list == nullptr || object == nullptr) return 0;
  return ap40_Add_LLIST(checked->list, object) != AP40_NO_INDEX ? 1 : 0;
}

namespace {

// The threshold's range term when the range gives none.
constexpr float kNoRangeStep = 1e10f;
constexpr float kSmallestRangeStep = 1e-10f;

// The peak step of a Y unit whose scale is fixed; 0 for the others, whose
// step comes from the spread of their data.
float ap7d_unit_step(uint32_t y_code) {
  switch (y_code) {
    case 11:
    case 16:
    case 26: return 0.4f;
    case 12:
    case 17:
    case 21:
    case 23: return 0.004f;
    case 20: return 0.04f;
    case 22: return 0.01f;
    default: return 0.0f;
  }
}

}  // namespace

int16_t ap7d_GetPeakDirection(const AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return AP1_PEAKS_UP;
  return static_cast<int16_t>(AP1_GetPeakDir_MATH(static_cast<uint16_t>(record->y_units)));
}

int16_t ap7d_PeakSearchThreshold(AP7_SPECTRUM* spectrum, int16_t use_range, int16_t log_mode, float x1, float x2,
                                 float sensitivity, float* threshold, float* base, float* step) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(threshold, sizeof(float)) || IsBadWritePtr(base, sizeof(float)) ||
      IsBadWritePtr(step, sizeof(float)))
    return 0;
  float range_step = kNoRangeStep;
  float low = 0.0f;
  float high = 0.0f;
  uint32_t points = 0;
  if (use_range != 0 && ap7a_GetRangePoints(spectrum, x1, x2, &points) && points > 2 &&
      ap7a_MinMax(spectrum, x1, x2, &low, &high) && !std::isnan(low) && !std::isnan(high)) {
    range_step = (high - low) / (log_mode != 0 ? 2.0f : 200.0f);
    if (range_step < kSmallestRangeStep) range_step = kNoRangeStep;
  }
  float unit_step = ap7d_unit_step(record->y_units);
  if (unit_step == 0.0f) {
    float all_low = 0.0f;
    float all_high = 0.0f;
    ap7a_MinMax(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &all_low, &all_high);
    unit_step = (all_high - all_low) / (log_mode != 0 ? 200.0f : 100.0f);
  }
  if (log_mode != 0) unit_step *= 200.0f;
  *step = std::min(range_step, unit_step);
  *base = 0.0f;
  if (log_mode != 0)
    *threshold = sensitivity == 100.0f ? 0.0f : *step * std::pow(10.0f, -0.023f * sensitivity);
  else
    *threshold = (100.0f - sensitivity) * *step / 100.0f;
  return 1;
}

float ap7d_GetYUnitScale(AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0.0f;
  switch (record->y_units) {
    case 11:
    case 16: return 100.0f;
    case 21:
    case 23: return 1.0f;
    case 27: {
      float low = 0.0f;
      float high = 0.0f;
      ap7a_MinMax(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &low, &high);
      return high == 0.0f || std::isnan(high) ? 1.0f : high;
    }
    default: return 0.0f;
  }
}

namespace {

// Header parameter 47 values agree within this share of the first.
constexpr double kFieldTolerance = 0.05;
// The identifying code: three digits of the text, five of the number.
constexpr char kBlankIdentCode[] = "00000000";
// Parts a parameter object may be wrapped in before its PARAMS part.
constexpr int kMostParts = 16;

bool ap7d_is_parameter_object(const AP_OBJECT* object) {
  for (int depth = 0; depth < kMostParts && object != nullptr; ++depth) {
    if (IsBadReadPtr(object, sizeof(AP_OBJECT))) return false;
    if (object->class_id == AP13_CLASS_ID) return true;
    if (object->class_id == AP2_CLASS_ID) return false;
    object = object->parent;
  }
  return false;
}

}  // namespace

uint16_t ap7d_CompareHeaderField(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other) {
  const AP41_HEADERDATA* a = ap7a_record(ap7a_spectrum(spectrum));
  const AP41_HEADERDATA* b = ap7a_record(ap7a_spectrum(other));
  if (a == nullptr || b == nullptr) return 0;
  const double first = a->NumPostPeakPts;
  const double second = b->NumPostPeakPts;
  if (first == 0.0) return second == 0.0 ? 1 : 0;
  return std::fabs((first - second) / first) < kFieldTolerance ? 1 : 0;
}

// A range whose largest value is 0 keeps its values: they cannot be scaled
// to 1.
AP7_SPECTRUM* ap7d_NewNormalizedRange(AP7_SPECTRUM* spectrum, float x1, float x2) {
  float from = x1;
  float to = x2;
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &from, &to, &first, &last) < 1) return nullptr;
  AP7_SPECTRUM* copy = ap7a_NewFromRange(spectrum, x1, x2);
  if (copy == nullptr) return nullptr;
  float low = 0.0f;
  float high = 0.0f;
  if (ap7a_MinMax(copy, x1, x2, &low, &high) && !std::isnan(high) && high != 0.0f) {
    AP4_CELL start{};
    AP4_CELL end{};
    ap7b_XRangeToIndexRange(copy, &x1, &x2, &start, &end);
    ap7a_change_bracket bracket(copy);
    ap4a_DivideScalar(copy->data, AP4_RANGE{start, end}, high);
  }
  return copy;
}

AP_OBJECT* ap7d_FindListItem(const AP7_SPECTRUM* spectrum, uint16_t class_id) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || checked->list == nullptr) return nullptr;
  if (class_id == 0) return reinterpret_cast<AP_OBJECT*>(checked->list);
  const uint32_t count = GU2_DoMethod_MSG(AP40_MSG_COUNT, checked->list, nullptr);
  for (uint32_t i = 0; i < count; ++i) {
    AP40_INDEXPARM at{i};
    auto* member = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, checked->list, &at));
    if (member != nullptr && member->class_id == class_id) return member;
  }
  return nullptr;
}

uint16_t ap7d_AttachParameterObject(AP7_SPECTRUM* spectrum, AP_OBJECT* object) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (checked == nullptr || checked->list == nullptr || !ap7d_is_parameter_object(object)) return 0;
  AP_OBJECT* present = ap7d_FindListItem(spectrum, object->class_id);
  if (present == object) return 1;
  if (present != nullptr) {
    AP40_REMOVEPARM remove{present, 1};
    if (!GU2_DoMethod_MSG(AP40_MSG_REMOVE, checked->list, &remove)) return 0;
  }
  return GU2_DoMethod_MSG(AP40_MSG_ADD, checked->list, object) != AP40_NO_INDEX ? 1 : 0;
}

uint16_t ap7d_SetIdentCode(AP7_SPECTRUM* spectrum, const char* text, uint32_t number) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0;
  char code[sizeof kBlankIdentCode];
  std::memcpy(code, kBlankIdentCode, sizeof code);
  if (text != nullptr && !IsBadStringPtrA(text, UINT32_MAX)) {
    int32_t at = static_cast<int32_t>(std::strlen(text)) - 1;
    while (at >= 0 && !std::isdigit(static_cast<unsigned char>(text[at]))) --at;
    for (int place = 2; place >= 0 && at >= 0 && std::isdigit(static_cast<unsigned char>(text[at])); --place, --at)
      code[place] = text[at];
  }
  for (int place = 7; place >= 3; --place, number /= 10) code[place] = static_cast<char>('0' + number % 10);
  std::memset(record->p49, 0, sizeof record->p49);
  std::memcpy(record->p49, code, sizeof code);
  return 1;
}

uint16_t ap7d_HistoryStamp(const void* spectrum) { return spectrum != nullptr ? 1 : 0; }
