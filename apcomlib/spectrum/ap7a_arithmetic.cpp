// Element, arithmetic and statistics operations of the spectrum over X
// ranges: the ARRAY class's messages of the same numbers, with positions
// given as X values.
//
// Each operation turns its X range into an index range of the one-row data
// array (one spectrum: ap7b_XRangeToIndexRange; two: ap7b_CommonIndexRange,
// which refuses spectra whose spacings differ), calls the ARRAY operation on
// it and keeps the header consistent. An operation in place changes this
// spectrum inside one change bracket and sets its history bit; one of two
// spectra makes a new spectrum like this one (ap7b_NewLike) that takes the
// ARRAY's result as its data, and deletes it again when any later step
// fails. AP7_Dispatcher_SPECTRUM calls these for their messages.
#include <cfloat>
#include <cmath>
#include <string>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// What follows the difference's text in front of its title.
constexpr char kDifferenceSeparator[] = ":";

// Y units whose extremes are weighed by the wavelength (message 223):
// single beam, Raman, 9, ratio and reference.
constexpr uint32_t kScaledUnits[] = {AP1_YUNIT_SINGLE_BEAM, AP1_YUNIT_RAMAN, 9, AP1_YUNIT_RATIO,
                                     AP1_YUNIT_REFERENCE};
constexpr double kWavelengthScale = 10000.0;
constexpr double kNoWavelength = 100.0;

AP_OBJECT* ap7a_object(AP7_SPECTRUM* spectrum) { return reinterpret_cast<AP_OBJECT*>(spectrum); }

// The index range of x1..x2 on one spectrum and its count (0 when the
// range misses the data or the object is no spectrum).
int32_t ap7a_index_range(AP7_SPECTRUM* spectrum, float x1, float x2, AP4_RANGE& range) {
  return ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &x1, &x2, &range.start, &range.end);
}

// The common range of two spectra: the clipped X limits, the index range in
// each and the count (below 1 when there is none or the spacings differ).
struct ap7a_common {
  float x1;
  float x2;
  AP4_RANGE range;
  AP4_RANGE other_range;
  int32_t count;
};

ap7a_common ap7a_common_range(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other) {
  ap7a_common common{x1, x2, {}, {}, 0};
  common.count = ap7b_CommonIndexRange(ap7a_spectrum(spectrum), &common.x1, &common.x2, &common.range.start,
                                       &common.range.end, ap7a_spectrum(other), &common.other_range.start,
                                       &common.other_range.end);
  return common;
}

// Both objects spectra with their data, on the same spacing.
bool ap7a_pairable(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other) {
  return ap7a_record(ap7a_spectrum(spectrum)) != nullptr && ap7a_record(ap7a_spectrum(other)) != nullptr &&
         spectrum->data != nullptr && other->data != nullptr && ap7d_CompareSpacing(spectrum, other) != 0;
}

// The text of the title group, or null when the resources lack it.
const char* ap7a_title_text(uint16_t number) {
  return GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, number, nullptr, nullptr);
}

// The text of the title group followed by the separator, put in front of
// the title; a missing text leaves the title as it is.
void ap7a_prefix_title(AP7_SPECTRUM* spectrum, uint16_t number, const char* separator) {
  if (const char* text = ap7a_title_text(number)) ap7d_PrependTitle(spectrum, (std::string(text) + separator).c_str());
}

// An operation on this spectrum's range in place: inside one change
// bracket, and the history bit only when the ARRAY operation succeeded.
template <typename Operation>
uint16_t ap7a_in_place(AP7_SPECTRUM* spectrum, float x1, float x2, int16_t flag, Operation operation) {
  AP4_RANGE range{};
  if (ap7a_index_range(spectrum, x1, x2, range) <= 0) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || !operation(spectrum->data, range)) return 0;
  if (flag >= 0) ap7b_SetHistoryFlag(ap7a_object(spectrum), flag);
  return 1;
}

constexpr int16_t kNoFlag = -1;

uint16_t ap7a_scale_in_place(AP7_SPECTRUM* spectrum, float x1, float x2, float value, int16_t flag,
                             uint16_t (*scale)(AP4_ARRAY*, AP4_RANGE, float)) {
  return ap7a_in_place(spectrum, x1, x2, flag,
                       [&](AP4_ARRAY* data, AP4_RANGE range) { return scale(data, range, value); });
}

// How a new spectrum of two is made.
enum class ap7a_title_rule { none, replace, prefix };
struct ap7a_combine_rule {
  AP4_ARRAY* (*combine)(const AP4_ARRAY*, AP4_RANGE, const AP4_ARRAY*, AP4_RANGE);
  int16_t flag;
  ap7a_title_rule title;
  bool same_y_units;   // refuse spectra of different Y units
  bool open_is_whole;  // x1 not given: this spectrum's whole range
  bool copy_list;      // the result gets a copy of this spectrum's list
};

constexpr ap7a_combine_rule kAdd{ap4a_AddArrays, AP41_HISTORY_ADD_SUBTRACT, ap7a_title_rule::replace, true, false,
                                 false};
constexpr ap7a_combine_rule kSubtract{ap4a_SubtractArrays, AP41_HISTORY_ADD_SUBTRACT, ap7a_title_rule::prefix, false,
                                      true, true};
constexpr ap7a_combine_rule kMultiply{ap4a_MultiplyArrays, AP41_HISTORY_ELEMENT_OPERATION, ap7a_title_rule::none,
                                      false, false, true};
constexpr ap7a_combine_rule kDivide{ap4a_DivideArrays, AP41_HISTORY_ELEMENT_OPERATION, ap7a_title_rule::none, false,
                                    false, true};

AP7_SPECTRUM* ap7a_combine(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other,
                           const ap7a_combine_rule& rule) {
  if (!ap7a_pairable(spectrum, other)) return nullptr;
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  const AP41_HEADERDATA* other_record = ap7a_record(other);
  if (rule.open_is_whole && ap1_not_given(x1)) {
    x1 = record->first_x;
    x2 = record->last_x;
  }
  const ap7a_common common = ap7a_common_range(spectrum, x1, x2, other);
  if (common.count < 1) return nullptr;
  if (rule.same_y_units && record->y_units != other_record->y_units) return nullptr;
  ap7a_new_spectrum result(ap7b_NewLike(spectrum, nullptr));
  if (result.get() == nullptr) return nullptr;
  ap4a_new_array values(rule.combine(spectrum->data, common.range, other->data, common.other_range));
  if (values.get() == nullptr ||
      !ap7a_LinkData(result.get(), values.get(), common.x1, common.x2, static_cast<uint32_t>(common.count)))
    return nullptr;
  values.release();
  AP41_HEADERDATA* made = ap7a_record(result.get());
  if (rule.title == ap7a_title_rule::replace) {
    if (const char* text = ap7a_title_text(AP7_TITLE_SUM)) capobj_StrCopyN(text, made->title, sizeof made->title);
  } else if (rule.title == ap7a_title_rule::prefix) {
    ap7a_prefix_title(result.get(), AP7_TITLE_DIFFERENCE, kDifferenceSeparator);
  }
  made->p39 = static_cast<float>(std::hypot(double{record->p39}, double{other_record->p39}));
  if (!ap7b_SetHistoryFlag(ap7a_object(result.get()), rule.flag)) return nullptr;
  if (rule.copy_list && !ap7d_CopyListTo(spectrum, result.get())) return nullptr;
  return result.release();
}

// A statistic of the present values of the range: missing values are left
// out, not replaced.
uint16_t ap7a_statistic(AP7_SPECTRUM* spectrum, float x1, float x2, float* result,
                        uint16_t (*statistic)(const AP4_ARRAY*, AP4_RANGE, float, float*)) {
  AP4_RANGE range{};
  if (ap7a_index_range(spectrum, x1, x2, range) <= 0) return 0;
  return statistic(spectrum->data, range, AP_NOT_GIVEN, result);
}

// An operation on the common range of two spectra that answers a value.
template <typename Operation>
uint16_t ap7a_over_common(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, Operation operation) {
  if (!ap7a_pairable(spectrum, other)) return 0;
  const ap7a_common common = ap7a_common_range(spectrum, x1, x2, other);
  if (common.count < 1) return 0;
  return operation(common);
}

// The X of an extreme's cell; missing when nothing reached it.
float ap7a_x_of(AP7_SPECTRUM* spectrum, AP4_CELL cell) {
  float x = AP1_GetNaNSG_MATH();
  if (cell.column < 0 || !ap7b_IndexToX(spectrum, cell.column, &x)) return AP1_GetNaNSG_MATH();
  return x;
}

bool ap7a_scaled_units(uint32_t y_units) {
  for (uint32_t code : kScaledUnits)
    if (code == y_units) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Single values and the whole data

uint16_t ap7a_GetValueAtX(AP7_SPECTRUM* spectrum, float x, float* value) {
  AP4_CELL cell{};
  if (!ap7b_XToIndex64(ap7a_spectrum(spectrum), x, &cell)) return 0;
  return ap4a_GetElement(spectrum->data, cell, value);
}

uint16_t ap7a_SetValueAtX(AP7_SPECTRUM* spectrum, float x, float value) {
  AP4_CELL cell{};
  if (!ap7b_XToIndex64(ap7a_spectrum(spectrum), x, &cell)) return 0;
  return ap4a_SetElement(spectrum->data, cell, value);
}

// Spectra on different spacings have no common range to copy, and are
// refused rather than passed as if the ranges missed each other.
uint16_t ap7a_CopyRangeFrom(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other) {
  if (!ap7a_pairable(spectrum, other)) return 0;
  const ap7a_common common = ap7a_common_range(spectrum, x1, x2, other);
  if (common.count < 1) return 1;
  return ap4a_CopyRangeTo(spectrum->data, common.range, other->data, common.other_range.start);
}

uint16_t ap7a_SetData(AP7_SPECTRUM* spectrum, float first_x, float last_x, uint32_t count, GU3_HANDLE block) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || !ap4a_SetDataIn(spectrum->data, 1, count, block)) return 0;
  record->points = count;
  record->first_x = first_x;
  record->last_x = last_x;
  return 1;
}

// ---------------------------------------------------------------------------
// Arithmetic

AP7_SPECTRUM* ap7a_AddSpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other) {
  return ap7a_combine(spectrum, x1, x2, other, kAdd);
}

AP7_SPECTRUM* ap7a_SubtractSpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other) {
  return ap7a_combine(spectrum, x1, x2, other, kSubtract);
}

AP7_SPECTRUM* ap7a_MultiplySpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other) {
  return ap7a_combine(spectrum, x1, x2, other, kMultiply);
}

AP7_SPECTRUM* ap7a_DivideSpectra(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other) {
  return ap7a_combine(spectrum, x1, x2, other, kDivide);
}

uint16_t ap7a_AddScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value) {
  return ap7a_scale_in_place(spectrum, x1, x2, value, AP41_HISTORY_ADD_SUBTRACT, ap4a_AddScalar);
}

uint16_t ap7a_SubtractScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value) {
  return ap7a_scale_in_place(spectrum, x1, x2, value, AP41_HISTORY_ADD_SUBTRACT, ap4a_SubtractScalar);
}

uint16_t ap7a_MultiplyScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value) {
  return ap7a_in_place(spectrum, x1, x2, AP41_HISTORY_SCALAR_MULTIPLY, [&](AP4_ARRAY* data, AP4_RANGE range) {
    if (!ap4a_MultiplyScalar(data, range, value)) return false;
    ap7a_prefix_title(spectrum, AP7_TITLE_SCALED, "");
    return true;
  });
}

uint16_t ap7a_DivideScalar(AP7_SPECTRUM* spectrum, float x1, float x2, float value) {
  return ap7a_scale_in_place(spectrum, x1, x2, value, AP41_HISTORY_SCALAR_MULTIPLY, ap4a_DivideScalar);
}

uint16_t ap7a_ApplyFunction(AP7_SPECTRUM* spectrum, float x1, float x2, AP4_ELEMENTFUNCTION function) {
  return ap7a_in_place(spectrum, x1, x2, kNoFlag,
                       [&](AP4_ARRAY* data, AP4_RANGE range) { return ap4b_ApplyFunction(data, range, function); });
}

// ---------------------------------------------------------------------------
// Statistics

uint16_t ap7a_RangeSum(AP7_SPECTRUM* spectrum, float x1, float x2, float* sum) {
  return ap7a_statistic(spectrum, x1, x2, sum, ap4a_Sum);
}

uint16_t ap7a_RangeMean(AP7_SPECTRUM* spectrum, float x1, float x2, float* mean) {
  return ap7a_statistic(spectrum, x1, x2, mean, ap4a_Mean);
}

uint16_t ap7a_RangeStdDev(AP7_SPECTRUM* spectrum, float x1, float x2, float* deviation) {
  return ap7a_statistic(spectrum, x1, x2, deviation, ap4a_StdDev);
}

uint16_t ap7a_CorrelateRanges(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, float* slope) {
  return ap7a_over_common(spectrum, x1, x2, other, [&](const ap7a_common& common) {
    return ap4b_RegressionSlope(spectrum->data, common.range, other->data, common.other_range, slope);
  });
}

uint16_t ap7a_RangePairOp(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, float* product) {
  return ap7a_over_common(spectrum, x1, x2, other, [&](const ap7a_common& common) {
    return ap4b_DotProduct(spectrum->data, common.range, other->data, common.other_range, product);
  });
}

// Spectra on different spacings are refused, as the other operations of
// two spectra refuse them, rather than counted as sharing no points.
uint16_t ap7a_CountValidPairs(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, uint32_t* count) {
  if (IsBadWritePtr(count, sizeof(uint32_t)) || !ap7a_pairable(spectrum, other)) return 0;
  *count = 0;
  const ap7a_common common = ap7a_common_range(spectrum, x1, x2, other);
  if (common.count >= 1) *count = ap4b_CountValidPairs(spectrum->data, common.range, other->data, common.other_range);
  return 1;
}

// The values are read straight from the data, never past the array's own
// columns whatever the header counts.
uint16_t ap7a_ScaledMinMax(AP7_SPECTRUM* spectrum, float x1, float x2, float* minimum, float* maximum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0;
  if (!ap7a_scaled_units(record->y_units)) return ap7a_MinMax(spectrum, x1, x2, minimum, maximum);
  if (IsBadWritePtr(minimum, sizeof(float)) || IsBadWritePtr(maximum, sizeof(float))) return 0;
  AP4_RANGE range{};
  if (ap7a_index_range(spectrum, x1, x2, range) <= 0) return 0;
  const float* y = ap7b_GetDataPtr(spectrum);
  if (y == nullptr || range.end.column >= static_cast<int32_t>(spectrum->data->columns)) return 0;
  const double spacing = ap7b_GetXSpacing(spectrum);
  float low = FLT_MAX;
  float high = -FLT_MAX;
  for (int32_t index = range.start.column; index <= range.end.column; ++index) {
    if (ap1_is_missing(y[index])) continue;
    const double x = record->first_x + index * spacing;
    const double scale = x > 0 ? kWavelengthScale / x : kNoWavelength;
    const auto value = static_cast<float>(y[index] / (scale * scale));
    if (value < low) low = value;
    if (value > high) high = value;
  }
  *minimum = low == FLT_MAX ? 0.0f : low;
  *maximum = high == -FLT_MAX ? 0.0f : high;
  return 1;
}

uint16_t ap7a_MinMaxX(AP7_SPECTRUM* spectrum, float x1, float x2, float* minimum, float* minimum_x, float* maximum,
                      float* maximum_x) {
  AP4_RANGE range{};
  if (ap7a_index_range(spectrum, x1, x2, range) <= 0) return 0;
  AP4_CELL minimum_at = AP4_INVALID_RANGE;
  AP4_CELL maximum_at = AP4_INVALID_RANGE;
  if (!ap4a_MinMaxAll(spectrum->data, range, minimum, &minimum_at, maximum, &maximum_at)) return 0;
  if (!IsBadWritePtr(minimum_x, sizeof(float)) && !IsBadWritePtr(maximum_x, sizeof(float))) {
    *minimum_x = ap7a_x_of(spectrum, minimum_at);
    *maximum_x = ap7a_x_of(spectrum, maximum_at);
  }
  return 1;
}
