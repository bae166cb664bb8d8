// Search preparation: a spectrum brought to a library's grid and unit before
// it is compared against the library.
//
// A region is resampled to a fixed spacing (by midpoint subdivision and an
// inside regrid, or by FFT zero filling, as the configuration's "V20Search"
// picks), optionally converted to a Y unit, and handed out as a spectrum, as
// a vector of n bytes, words or floats scaled from the region's minimum to
// its maximum, or as a mask of n flags for the points a search must ignore.
// Every step works on copies; the spectrum given is never changed.
// AP7_Dispatcher_SPECTRUM calls these for messages 148, 228, 240, 279 and
// 328.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// With a spectrum spacing larger than the step, the region may reach this
// share of a spacing past the data.
constexpr double kCoarseHalfDivisor = 1.95;
// Grid points of the regular regrid lie within this share of a spacing of
// the target's multiples.
constexpr double kGridSlack = 0.1;
// Absorbance above this saturates the detector.
constexpr float kSaturatedAbsorbance = 3.0f;
// Spreads and maxima below this are taken as none.
constexpr double kFlat = 1e-10;
// Added before a scaled value is truncated to its integer.
constexpr double kRoundUp = 0.001;

// The region from x1 to x2 in n points; 0 when the spectrum covers it, else
// the search code.
struct ap7b_grid {
  double x1 = 0.0;
  double x2 = 0.0;
  double step = 0.0;
};

uint32_t ap7b_search_grid(const AP7_SPECTRUM* spectrum, double x1, double x2, int32_t n, ap7b_grid& grid) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (n < 2) return AP7_SEARCH_BAD_REQUEST;
  if (record == nullptr || std::isnan(x1) || std::isnan(x2)) return AP7_SEARCH_NOT_COVERED;
  if (x1 > x2) std::swap(x1, x2);
  grid.x1 = x1;
  grid.x2 = x2;
  grid.step = (x2 - x1) / (n - 1);
  const double spacing = std::fabs(double{ap7b_GetXSpacing(spectrum)});
  const double half = spacing > grid.step ? spacing / kCoarseHalfDivisor : grid.step / 2.0;
  const double low = std::min(float{record->first_x}, float{record->last_x});
  const double high = std::max(float{record->first_x}, float{record->last_x});
  return low - half < x1 && x2 < high + half ? AP7_SEARCH_DONE : AP7_SEARCH_NOT_COVERED;
}

// The Y code a search target is held in once converted, 0 for a target the
// conversions do not reach.
uint32_t ap7b_target_code(uint32_t y_code) {
  switch (y_code) {
    case 20: return 20;
    case 11:
    case 21: return 11;
    case 12: return 12;
    case 16:
    case 23: return 16;
    case 17: return 17;
    case 26: return 26;
    default: return 0;
  }
}

uint16_t ap7b_convert_to(AP7_SPECTRUM* spectrum, uint32_t target) {
  switch (target) {
    case 20: return ap7b_ConvertToKM(spectrum, 1);
    case 11: return ap7b_ConvertUnits137(spectrum, 1);
    case 12: return ap7b_ConvertUnits138(spectrum, 1);
    case 16: return ap7b_ConvertToTransmittance(spectrum, 1);
    case 17: return ap7b_ConvertToAbsorbance(spectrum, 1);
    case 26: return ap7b_ConvertToPAS(spectrum, 1);
    default: return 0;
  }
}

// How a copy came out of its conversion to the requested unit.
enum class ap7b_unit { held, failed, other_direction, same_direction };

ap7b_unit ap7b_to_unit(AP7_SPECTRUM* copy, uint32_t y_code) {
  const uint32_t target = ap7b_target_code(y_code);
  const uint32_t held = ap7a_record(copy)->y_units;
  if (held == y_code || (target != 0 && held == target)) return ap7b_unit::held;
  const bool converted = target != 0 && ap7b_convert_to(copy, target) != 0;
  if (converted && ap7a_record(copy)->y_units == target) return ap7b_unit::held;
  if (target != 0) return ap7b_unit::failed;
  return AP1_GetPeakDir_MATH(static_cast<uint16_t>(y_code)) == static_cast<uint16_t>(ap7d_GetPeakDirection(copy))
             ? ap7b_unit::same_direction
             : ap7b_unit::other_direction;
}

// The title, its terminator included, into the caller's buffer.
void ap7b_title_out(const AP7_SPECTRUM* spectrum, char* title) {
  if (title == nullptr) return;
  const char* source = ap7a_record(spectrum)->title;
  const size_t length = strnlen(source, AP7_TITLE_FIELD - 1);
  if (IsBadWritePtr(title, length + 1)) return;
  std::memcpy(title, source, length);
  title[length] = '\0';
}

}  // namespace

AP7_SPECTRUM* ap7b_PrepareSearchRegion(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || !(spacing > 0.0f) || std::isnan(x1) || std::isnan(x2)) return nullptr;
  if (ap1_not_given(x1)) {
    x1 = std::min(float{record->first_x}, float{record->last_x});
    x2 = std::max(float{record->first_x}, float{record->last_x});
  }
  const bool fft = GU6_GetConfigInt(AP7_SEARCH_SECTION, AP7_SEARCH_METHOD_KEY, 0) != 0;
  float s = std::fabs(ap7b_GetXSpacing(spectrum));
  const bool refine = fft ? !AP1_KovFloatCompareSG_MATH(s, spacing) : spacing < s;
  AP7_SPECTRUM* made = nullptr;
  if (!refine)
    made = ap7a_Duplicate(spectrum, nullptr);
  else if (fft)
    made = ap7d_InterpolateByFFT(spectrum, x1, x2, spacing);
  else
    made = ap7d_InterpolateBySubdivision(spectrum, x1, x2, spacing);
  ap7a_new_spectrum resampled(made);
  if (resampled.get() == nullptr) return nullptr;
  if (refine) s = std::fabs(ap7b_GetXSpacing(resampled.get()));

  AP7_SPECTRUM* result = nullptr;
  if (!AP1_KovFloatCompareSG_MATH(s, spacing)) {
    result = fft ? ap7a_RangeTransform(resampled.get(), x1, x2, spacing)
                 : ap7a_RangeTransform2(resampled.get(), x1, x2, spacing);
  } else if (!fft) {
    // An axis that does not end on a multiple of the spacing is regridded
    // onto the multiples.
    const double multiples = std::trunc(double{record->last_x} / spacing + kGridSlack);
    if (!AP1_KovFloatCompareSG_MATH(static_cast<float>(multiples * spacing), record->last_x))
      result = ap7a_RangeTransform2(resampled.get(), x1, x2, spacing);
    else
      result = ap7a_NewFromRange(resampled.get(), x1, x2);
  } else {
    result = ap7a_NewFromRange(resampled.get(), x1, x2);
  }
  ap7a_new_spectrum prepared(result);
  if (prepared.get() == nullptr || !ap7b_TitleFrom(prepared.get(), spectrum, AP7_TITLE_RESAMPLED)) return nullptr;
  return prepared.release();
}

AP7_SPECTRUM* ap7b_SearchPrep279(AP7_SPECTRUM* spectrum, double x1, double x2, uint32_t y_code, char* title,
                                 int32_t n) {
  ap7b_grid grid;
  if (ap7a_spectrum(spectrum) == nullptr || ap7b_search_grid(spectrum, x1, x2, n, grid) != AP7_SEARCH_DONE)
    return nullptr;
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr) return nullptr;
  ap7b_title_out(spectrum, title);
  // Only a copy held in the unit asked for is handed out.
  if (ap7b_to_unit(copy.get(), y_code) != ap7b_unit::held) return nullptr;
  const auto low = static_cast<float>(grid.x1);
  const auto high = static_cast<float>(grid.x2);
  float minimum = 0.0f;
  float maximum = 0.0f;
  if (!ap7a_MinMax(copy.get(), low, high, &minimum, &maximum) || std::isnan(maximum)) return nullptr;
  return ap7b_PrepareSearchRegion(copy.get(), low, high, static_cast<float>(grid.step));
}

uint32_t ap7b_SearchVector(AP7_SPECTRUM* spectrum, double x1, double x2, void* vector, uint32_t y_code, char* title,
                           int32_t n, uint16_t width, uint16_t keep_negative) {
  if (ap7a_spectrum(spectrum) == nullptr) return AP7_SEARCH_NOT_COVERED;
  if (width != 1 && width != 2 && width != 4) return AP7_SEARCH_BAD_REQUEST;
  ap7b_grid grid;
  if (const uint32_t code = ap7b_search_grid(spectrum, x1, x2, n, grid)) return code;
  if (IsBadWritePtr(vector, static_cast<uint32_t>(n) * width)) return AP7_SEARCH_BAD_REQUEST;
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr) return AP7_SEARCH_CONVERSION_FAILED;
  ap7b_title_out(spectrum, title);
  switch (ap7b_to_unit(copy.get(), y_code)) {
    case ap7b_unit::failed: return AP7_SEARCH_CONVERSION_FAILED;
    case ap7b_unit::other_direction: return AP7_SEARCH_BAD_REQUEST;
    default: break;
  }
  const auto low = static_cast<float>(grid.x1);
  const auto high = static_cast<float>(grid.x2);
  float minimum = 0.0f;
  float maximum = 0.0f;
  if (!ap7a_MinMax(copy.get(), low, high, &minimum, &maximum) || std::isnan(minimum)) return AP7_SEARCH_BAD_REQUEST;
  ap7a_new_spectrum region(ap7b_PrepareSearchRegion(copy.get(), low, high, static_cast<float>(grid.step)));
  if (region.get() == nullptr || ap7a_record(region.get())->points < static_cast<uint32_t>(n) ||
      region.get()->data->columns < static_cast<uint32_t>(n) || !ap4b_FillNaNGaps(region.get()->data))
    return AP7_SEARCH_RESAMPLE_FAILED;

  const double top = std::ldexp(1.0, 8 * width) - 1.0;
  if (!keep_negative && minimum < 0.0f) minimum = 0.0f;
  double scale = 1.0;
  if (width != 4) {
    if (!ap7a_SubtractScalar(region.get(), low, high, minimum)) return AP7_SEARCH_RESAMPLE_FAILED;
    const double spread = double{maximum} - minimum;
    if (std::fabs(spread) >= kFlat)
      scale = top / spread;
    else if (std::fabs(double{maximum}) >= kFlat)
      scale = top / maximum;
    else
      scale = top;
  }
  const float* values = ap7b_GetDataPtr(region.get());
  if (values == nullptr) return AP7_SEARCH_RESAMPLE_FAILED;
  for (int32_t i = 0; i < n; ++i) {
    if (width == 4) {
      static_cast<float*>(vector)[i] = values[i];
      continue;
    }
    double v = scale * values[i];
    if (std::isnan(v) || v < 0.0) v = 0.0;
    if (v > top) v = top;
    v += kRoundUp;
    if (width == 1)
      static_cast<uint8_t*>(vector)[i] = static_cast<uint8_t>(std::min(v, top));
    else
      static_cast<uint16_t*>(vector)[i] = static_cast<uint16_t>(std::min(v, top));
  }
  return AP7_SEARCH_DONE;
}

uint32_t ap7b_SearchMask(AP7_SPECTRUM* spectrum, double x1, double x2, uint8_t* mask, int32_t y_code, int32_t n,
                         uint16_t saturation) {
  if (ap7a_spectrum(spectrum) == nullptr) return AP7_SEARCH_NOT_COVERED;
  ap7b_grid grid;
  if (const uint32_t code = ap7b_search_grid(spectrum, x1, x2, n, grid)) return code;
  if (IsBadWritePtr(mask, static_cast<uint32_t>(n))) return AP7_SEARCH_BAD_REQUEST;
  ap7a_new_spectrum region(ap7b_PrepareSearchRegion(spectrum, static_cast<float>(grid.x1),
                                                    static_cast<float>(grid.x2), static_cast<float>(grid.step)));
  if (region.get() == nullptr || ap7a_record(region.get())->points < static_cast<uint32_t>(n) ||
      region.get()->data->columns < static_cast<uint32_t>(n))
    return AP7_SEARCH_RESAMPLE_FAILED;
  const bool saturating = saturation != 0 && (y_code == 17 || y_code == 12);
  if (saturating && !ap7b_ConvertToAbsorbance(region.get(), 1)) return AP7_SEARCH_CONVERSION_FAILED;
  const float* values = ap7b_GetDataPtr(region.get());
  if (values == nullptr) return AP7_SEARCH_RESAMPLE_FAILED;
  for (int32_t i = 0; i < n; ++i)
    mask[i] = std::isnan(values[i]) || (saturating && values[i] > kSaturatedAbsorbance) ? 1 : 0;
  return AP7_SEARCH_DONE;
}
