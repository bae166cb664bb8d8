// Atmospheric suppression (messages 252 to 256 and 258): water-vapour and
// carbon-dioxide bands removed from a sample with a reference spectrum of
// the atmosphere.
//
// From the reference a water-only and a carbon-dioxide-only reference are
// made by straight-lining every region outside the gas's bands; each is
// scaled to the sample by the least-squares fit of first differences over
// a window inside its bands, in absorbance, and subtracted. The region
// baseline of the quality checks (message 276) calls the suppressions with
// the match flag set, which first brings the reference to the sample's
// laser frequency and point spacing. Every result is a new spectrum; the
// inputs stay as they were.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// The bridge smooths each end over a 9-point window: 4 points either side.
constexpr int32_t kHalfWindow = 4;
constexpr float kWindowPoints = 9.0f;
// Laser grid steps start at laser / 128; a spacing matches a step within
// 1 %, a limit lies on the grid within 5 % of a step (0.1 of a step is
// allowed below a grid point when it is counted).
constexpr double kFirstGridDivisor = 128.0;
constexpr double kStepTolerance = 0.01;
constexpr double kOnGrid = 0.05;
constexpr double kCountSlack = 0.1;
// Grid indices beyond this are no grid of a spectrum.
constexpr double kLargestGridIndex = 2147483647.0;
// The long form of the reference's path.
constexpr uint32_t kLongPathSize = 258;

// The regions of a gas reference: the top is straight-lined above
// `top` when the reference reaches beyond it and refused below
// `top_needed`; the middle gap is straight-lined; the bottom below
// `bottom`, refused above `bottom_needed`.
struct ap7e_gas {
  float top_needed;
  float top;
  float gap_low;
  float gap_high;
  float bottom_needed;
  float bottom;
};
constexpr ap7e_gas kWater{3990.0f, 4000.0f, 2090.0f, 3300.0f, 1260.0f, 1250.0f};
constexpr ap7e_gas kCO2{2440.0f, 2450.0f, 800.0f, 2200.0f, 610.0f, 600.0f};

enum class ap7e_which { water, co2, both };

bool ap7e_is_spectrum_with_header(AP7_SPECTRUM* spectrum) { return ap7a_record(ap7a_spectrum(spectrum)) != nullptr; }

// A duplicate of the atmosphere spectrum with everything outside the gas's
// bands straight-lined; null when its range does not hold the bands.
AP7_SPECTRUM* ap7e_gas_reference(AP7_SPECTRUM* reference, const ap7e_gas& gas) {
  float lo = 0.0f;
  float hi = 0.0f;
  ap7e_AxisExtent(*ap7a_record(reference), lo, hi);
  ap7a_new_spectrum made(ap7a_Duplicate(reference, nullptr));
  if (made.get() == nullptr || hi < gas.top_needed || hi <= gas.gap_low || lo >= gas.gap_high ||
      lo > gas.bottom_needed)
    return nullptr;
  if (hi > gas.top && ap7e_BridgeRegion(made.get(), gas.top, hi) == 0) return nullptr;
  if (ap7e_BridgeRegion(made.get(), std::max(gas.gap_low, lo), std::min(gas.gap_high, hi)) == 0) return nullptr;
  if (lo < gas.bottom && ap7e_BridgeRegion(made.get(), lo, gas.bottom) == 0) return nullptr;
  return made.release();
}

// The mean of the 9 points from `start` on, missing ones adding nothing.
float ap7e_window_mean(const float* y, int32_t start) {
  float sum = 0.0f;
  for (int32_t k = start; k < start + 2 * kHalfWindow + 1; ++k)
    if (!ap1_is_missing(y[k])) sum += y[k];
  return sum / kWindowPoints;
}

std::string ap7e_reference_path(const AP7_SPECTRUM* reference) {
  char path[kLongPathSize] = "";
  if (GU4_GetLongPathName(reference->path, sizeof path, path) == 0) path[0] = '\0';
  return path;
}

// Title, history bits and history lines of a suppressed spectrum.
void ap7e_mark_suppressed(AP7_SPECTRUM* result, AP7_SPECTRUM* reference, ap7e_which which) {
  if (const char* prefix = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, AP7_TITLE_SUPPRESSED, nullptr, nullptr))
    ap7d_PrependTitle(result, prefix);
  auto* as_object = reinterpret_cast<AP_OBJECT*>(result);
  if (which != ap7e_which::co2) ap7b_SetHistoryFlag(as_object, AP41_HISTORY_WATER_SUPPRESSED);
  if (which != ap7e_which::water) ap7b_SetHistoryFlag(as_object, AP41_HISTORY_CO2_SUPPRESSED);
  uint16_t last_line = 0;
  if (which != ap7e_which::co2) last_line = ap7e_AddTimedHistoryLine(result, AP7E_HISTORY_WATER);
  if (which != ap7e_which::water) last_line = ap7e_AddTimedHistoryLine(result, AP7E_HISTORY_CO2);
  const char* format = GU4_GetAssocString(AP7_GROUP_HISTORY, AP7E_HISTORY_REFERENCE_FORMAT, nullptr, nullptr);
  if (format != nullptr && ap7c_format_takes(format, "ss")) {
    const char* unit = GU4_GetAssocString(AP7E_GROUP_YUNIT_NAMES,
                                          static_cast<uint16_t>(ap7a_record(reference)->y_units), nullptr, nullptr);
    char line[AP7E_HISTORY_LINE_SIZE];
    std::snprintf(line, sizeof line, format, ap7e_reference_path(reference).c_str(), unit != nullptr ? unit : "");
    ap7e_AddHistoryLineCut(result, line);
  }
  if (last_line != 0) ap7d_AddLoginUser(result);
}

AP7_SPECTRUM* ap7e_suppress(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, uint16_t match, ap7e_which which) {
  if (!ap7e_is_spectrum_with_header(sample) || !ap7e_is_spectrum_with_header(reference)) return nullptr;
  ap7a_new_spectrum working(match == 0 ? ap7a_Duplicate(reference, nullptr) : ap7e_MatchReference(sample, reference));
  if (working.get() == nullptr) return nullptr;
  AP7_SPECTRUM* water_out = nullptr;
  AP7_SPECTRUM* co2_out = nullptr;
  const uint16_t built = ap7e_BuildAtmosReferences(working.get(), which != ap7e_which::co2 ? &water_out : nullptr,
                                                   which != ap7e_which::water ? &co2_out : nullptr);
  ap7a_new_spectrum water(water_out);
  ap7a_new_spectrum co2(co2_out);
  if (built == 0) return nullptr;
  AP7_SPECTRUM* result = nullptr;
  if (which == ap7e_which::co2) {
    result = ap7e_SubtractReference(sample, co2.get(), AP7E_CO2_FIT_HIGH, AP7E_CO2_FIT_LOW);
  } else {
    result = ap7e_SubtractReference(sample, water.get(), AP7E_WATER_FIT_HIGH, AP7E_WATER_FIT_LOW);
    if (which == ap7e_which::both && result != nullptr) {
      if (AP7_SPECTRUM* both = ap7e_SubtractReference(result, co2.get(), AP7E_CO2_FIT_HIGH, AP7E_CO2_FIT_LOW)) {
        ap7a_Delete(result, nullptr);
        result = both;
      }
    }
  }
  if (result != nullptr) ap7e_mark_suppressed(result, reference, which);
  return result;
}

}  // namespace

void ap7e_AxisExtent(const AP41_HEADERDATA& record, float& low, float& high) {
  low = std::min(float{record.first_x}, float{record.last_x});
  high = std::max(float{record.first_x}, float{record.last_x});
}

uint16_t ap7e_BridgeRegion(AP7_SPECTRUM* spectrum, float x1, float x2) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || std::isnan(x1) || std::isnan(x2)) return 0;
  if (x2 < x1) std::swap(x1, x2);
  float lo = 0.0f;
  float hi = 0.0f;
  ap7e_AxisExtent(*record, lo, hi);
  const float reach = kHalfWindow * std::fabs(ap7b_GetXSpacing(checked));
  x2 = std::min(x2, hi - reach);
  x1 = std::max(x1, lo + reach);
  if (!(x1 < x2)) return 1;

  float wide1 = x1 - reach;
  float wide2 = x2 + reach;
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(checked, &wide1, &wide2, &first, &last) < 1) return 0;
  float* y = ap7b_GetDataPtr(checked);
  const auto n = static_cast<int32_t>(ap7e_PointCount(checked));
  if (y == nullptr) return 0;
  {
    ap7a_change_bracket bracket(checked);
    if (!bracket.begun()) return 0;
    // Each window is used only where all of it lies in the data.
    const int32_t start = first.column;
    const int32_t end = last.column;
    if (start >= 0 && start + 2 * kHalfWindow < n) y[start + kHalfWindow] = ap7e_window_mean(y, start);
    if (end >= 2 * kHalfWindow && end < n) y[end - kHalfWindow] = ap7e_window_mean(y, end - 2 * kHalfWindow);
  }
  return ap7b_StraightLineRegion(checked, x1, x2);
}

uint16_t ap7e_BuildAtmosReferences(AP7_SPECTRUM* reference, AP7_SPECTRUM** water, AP7_SPECTRUM** co2) {
  if (!ap7e_is_spectrum_with_header(reference) || (water == nullptr && co2 == nullptr)) return 0;
  if ((water != nullptr && IsBadWritePtr(water, sizeof *water)) || (co2 != nullptr && IsBadWritePtr(co2, sizeof *co2)))
    return 0;
  if (water != nullptr) *water = nullptr;
  if (co2 != nullptr) *co2 = nullptr;
  ap7a_new_spectrum made_water(water != nullptr ? ap7e_gas_reference(reference, kWater) : nullptr);
  if (water != nullptr && made_water.get() == nullptr) return 0;
  ap7a_new_spectrum made_co2(co2 != nullptr ? ap7e_gas_reference(reference, kCO2) : nullptr);
  if (co2 != nullptr && made_co2.get() == nullptr) return 0;
  if (water != nullptr) *water = made_water.release();
  if (co2 != nullptr) *co2 = made_co2.release();
  return 1;
}

AP7_SPECTRUM* ap7e_SubtractReference(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, float x1, float x2) {
  AP7_SPECTRUM* checked = ap7a_spectrum(sample);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || ap7a_spectrum(reference) == nullptr || std::isnan(x1) || std::isnan(x2)) return nullptr;
  const auto saved_units = static_cast<uint16_t>(record->y_units);
  ap7a_new_spectrum a(ap7a_Duplicate(checked, nullptr));
  if (a.get() == nullptr || ap7b_ConvertToAbsorbance(a.get(), 1) == 0) return nullptr;
  ap7a_new_spectrum b(ap7a_Duplicate(reference, nullptr));
  if (b.get() == nullptr) return nullptr;

  float lo = std::min(x1, x2);
  float hi = std::max(x1, x2);
  float a_low = 0.0f;
  float a_high = 0.0f;
  ap7e_AxisExtent(*ap7a_record(a.get()), a_low, a_high);
  if (a_low > hi || a_high < lo) return ap7a_Duplicate(checked, nullptr);
  lo = std::max(lo, a_low);
  hi = std::min(hi, a_high);
  ap7e_SnapXAxisToLaserGrid(b.get());
  ap7e_SetLaserFrequency(b.get(), ap7a_record(a.get())->LaserFreq);

  ap7a_new_spectrum cut_a(ap7a_NewFromRangeStrict(a.get(), lo, hi));
  ap7a_new_spectrum cut_b(ap7a_NewFromRangeStrict(b.get(), lo, hi));
  const AP41_HEADERDATA* ra = ap7a_record(cut_a.get());
  const AP41_HEADERDATA* rb = ap7a_record(cut_b.get());
  const float* ya = ap7b_GetDataPtr(cut_a.get());
  const float* yb = ap7b_GetDataPtr(cut_b.get());
  const uint32_t n = ap7e_PointCount(cut_a.get());
  if (ra == nullptr || rb == nullptr || ya == nullptr || yb == nullptr || n != ap7e_PointCount(cut_b.get()))
    return nullptr;
  float s_ab = 0.0f;
  float s_bb = 0.0f;
  for (uint32_t k = 1; k + 1 < n; ++k) {
    if (ap1_is_missing(ya[k + 1]) || ap1_is_missing(ya[k - 1]) || ap1_is_missing(yb[k + 1]) ||
        ap1_is_missing(yb[k - 1]))
      continue;
    const float da = ya[k + 1] - ya[k - 1];
    const float db = yb[k + 1] - yb[k - 1];
    s_ab += da * db;
    s_bb += db * db;
  }
  if (s_bb == 0.0f || !std::isfinite(s_ab / s_bb)) return nullptr;
  if (ap7a_MultiplyScalar(b.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, s_ab / s_bb) == 0) return nullptr;
  ap7a_new_spectrum result(ap7a_SubtractSpectra(a.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, b.get()));
  AP41_HEADERDATA* made = ap7a_record(result.get());
  if (made == nullptr || ap7d_ConvertYUnits(result.get(), saved_units) == 0) return nullptr;
  capobj_StrCopyN(record->title, made->title, sizeof made->title);
  return result.release();
}

uint16_t ap7e_SnapXAxisToLaserGrid(AP7_SPECTRUM* spectrum) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr) return 0;
  if (record->x_units != AP1_XUNIT_WAVENUMBERS) return 1;
  const float spacing = ap7b_GetXSpacing(checked);
  if (AP1_KovFloatCompareSG_MATH(spacing, 0.0f) != 0) return 1;
  const double d = std::fabs(double{spacing});
  const double laser = record->LaserFreq;
  if (!std::isfinite(d) || !std::isfinite(laser) || !(laser > 0.0)) return 0;
  // The steps halve from laser / 128; once a step is below half the
  // spacing none further down can match.
  double step = laser / kFirstGridDivisor;
  while (std::fabs(d - step) > d * kStepTolerance) {
    if (step < d / 2.0) return 0;
    step /= 2.0;
  }
  const double first = record->first_x / step;
  const double last = record->last_x / step;
  if (!(std::fabs(first) < kLargestGridIndex) || !(std::fabs(last) < kLargestGridIndex)) return 0;
  const double i1 = std::floor(first + kCountSlack);
  const double i2 = std::floor(last + kCountSlack);
  if (std::fabs(i2 - i1) + 1.0 != static_cast<double>(record->points)) return 0;
  ap7a_change_bracket bracket(checked);
  if (!bracket.begun()) return 0;
  if (std::fabs(first - i1) > kOnGrid) record->first_x = static_cast<float>(i1 * step);
  if (std::fabs(last - i2) > kOnGrid) record->last_x = static_cast<float>(i2 * step);
  return 1;
}

// Without the host's collection settings the sample's own header tells
// what to match: its laser frequency and its point spacing.
AP7_SPECTRUM* ap7e_MatchReference(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference) {
  if (!ap7e_is_spectrum_with_header(sample) || !ap7e_is_spectrum_with_header(reference)) return nullptr;
  ap7a_new_spectrum matched(ap7a_Duplicate(reference, nullptr));
  if (matched.get() == nullptr || ap7e_SetLaserFrequency(matched.get(), ap7a_record(sample)->LaserFreq) == 0)
    return nullptr;
  const float spacing = std::fabs(ap7b_GetXSpacing(sample));
  if (AP1_KovFloatCompareSG_MATH(spacing, std::fabs(ap7b_GetXSpacing(matched.get()))) != 0) return matched.release();
  return ap7b_ChangeSpacing(matched.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, spacing);
}

AP7_SPECTRUM* ap7e_SuppressWater(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, uint16_t match) {
  return ap7e_suppress(sample, reference, match, ap7e_which::water);
}

AP7_SPECTRUM* ap7e_SuppressCO2(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, uint16_t match) {
  return ap7e_suppress(sample, reference, match, ap7e_which::co2);
}

AP7_SPECTRUM* ap7e_SuppressAtmosphere(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, uint16_t match) {
  return ap7e_suppress(sample, reference, match, ap7e_which::both);
}
