// Spectra and search libraries: a spectrum built from a library's packed
// values (bytes or words scaled into the Y range of the unit, or floats),
// and the plan of the grid on which a spectrum's stretch is stored in a
// library, at a spacing that divides the laser frequency by a power of two.
//
// AP7_Dispatcher_SPECTRUM calls these for messages 179 (sent to the class)
// and 180.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Packed values span the unit's range: percent units from 10 to 100, the
// others from 0.001 up.
constexpr double kPercentSpan = 90.0;
constexpr double kPercentOffset = 10.0;
constexpr double kOffset = 0.001;

// Spacings a library grid may be asked for.
constexpr double kLeastSpacing = 0.001;
constexpr double kMostSpacing = 64.0;
// A spacing within this share of the one asked for is kept.
constexpr double kSpacingSlack = 0.04;
// The laser frequency over the spacing gives a point count; a power of two
// within this many points of it replaces it.
constexpr double kPowerSlack = 3.0;
// A library grid holds at most as many points as a u16 counts.
constexpr double kMostGridPoints = 65535.0;
// X units whose grid is no fraction of the laser frequency: none, data
// points and code 8.
constexpr uint32_t kXUnitsNone = 0;
constexpr uint32_t kXUnits8 = 8;

bool ap7b_laser_grid(uint32_t units) {
  return units != kXUnitsNone && units != AP41_XUNITS_POINTS && units != kXUnits8;
}

// Library values are little-endian and unaligned.
double ap7b_packed_value(const uint8_t* at, uint16_t bytes) {
  if (bytes == 1) return at[0];
  uint16_t word = 0;
  std::memcpy(&word, at, sizeof word);
  return word;
}

bool ap7b_percent_unit(uint32_t y_units) {
  return y_units == AP1_YUNIT_PERCENT_TRANSMITTANCE || y_units == AP1_YUNIT_PERCENT_REFLECTANCE;
}

// The laser frequency over the spacing, as a point count taken to the
// power of two it lies within kPowerSlack of; 0 when it falls below 1.
double ap7b_laser_points(double laser, double spacing) {
  double points = std::trunc(laser / spacing + 0.5);
  for (double power = 1.0; !(points < power); power *= 2.0) {
    if (std::fabs(points - power) <= kPowerSlack) {
      points = power;
      break;
    }
  }
  return points >= 1.0 && std::isfinite(points) ? points : 0.0;
}

// The grid point of step `step` nearest the wanted limit, moving from a
// point of the spectrum's coarser grid; a limit outside the data stays.
double ap7b_nearer(double limit, double wanted, double step, double low, double high) {
  if (!(wanted >= low && wanted <= high)) return limit;
  const double distance = std::fabs(wanted - limit);
  double steps = std::trunc(distance / step);
  if (distance - steps * step > step / 2.0) steps += 1.0;
  return wanted < limit ? limit - steps * step : limit + steps * step;
}

}  // namespace

AP7_SPECTRUM* ap7b_NewFromLibraryData(uint16_t class_id, double x1, double x2, const void* data, uint32_t y_units,
                                      uint32_t x_units, const char* title, const char* /*second_text*/,
                                      uint16_t kind, uint32_t count, uint16_t bytes) {
  if (class_id != AP7_CLASS_ID || (bytes != 1 && bytes != 2 && bytes != 4) || count == 0 ||
      count > AP7_MOST_POINTS || !std::isfinite(x1) || !std::isfinite(x2) ||
      IsBadReadPtr(data, static_cast<size_t>(count) * bytes) || (title != nullptr && IsBadReadPtr(title, 1)))
    return nullptr;
  ap7a_new_spectrum made(ap7a_NewInit(AP7_CLASS_ID, count, nullptr));
  AP41_HEADERDATA* record = ap7a_record(made.get());
  float* y = ap7b_GetDataPtr(made.get());
  if (record == nullptr || y == nullptr || made.get()->data->columns < count) return nullptr;
  record->y_units = y_units;
  record->x_units = x_units;
  record->first_x = static_cast<float>(std::min(x1, x2));
  record->last_x = static_cast<float>(std::max(x1, x2));
  record->BenchID = AP7_LIBRARY_BENCH;
  if (title != nullptr) {
    const size_t length = strnlen(title, AP7_TITLE_FIELD - 1);
    std::memcpy(record->title, title, length);
    record->title[length] = '\0';
  }
  const auto* values = static_cast<const uint8_t*>(data);
  if (bytes == 4) {
    std::memcpy(y, values, static_cast<size_t>(count) * sizeof(float));
  } else {
    const double top = std::ldexp(1.0, 8 * bytes) - 1.0;
    const bool percent = ap7b_percent_unit(y_units);
    const double factor = (percent ? kPercentSpan : 1.0) / top;
    const double offset = percent ? kPercentOffset : kOffset;
    for (uint32_t i = 0; i < count; ++i)
      y[i] = static_cast<float>(ap7b_packed_value(values + static_cast<size_t>(i) * bytes, bytes) * factor + offset);
  }
  const int16_t bit = kind == 0 ? AP41_HISTORY_CORVANE_LIBRARY : AP41_HISTORY_LIBRARY;
  if (!ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(made.get()), bit)) return nullptr;
  return made.release();
}

uint16_t ap7b_PlanLibraryGrid(AP7_SPECTRUM* spectrum, double* x1, double* x2, double* spacing, uint16_t* count,
                              uint16_t* x_units) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(x1, sizeof *x1) || IsBadWritePtr(x2, sizeof *x2) ||
      IsBadWritePtr(spacing, sizeof *spacing) || IsBadWritePtr(count, sizeof *count) ||
      IsBadWritePtr(x_units, sizeof *x_units))
    return AP7_LIBRARY_GRID_FAILED;
  const uint32_t units = record->x_units;
  if (record->y_units == AP1_YUNIT_RAMAN && units != AP41_XUNITS_RAMAN_SHIFT) return AP7_LIBRARY_GRID_BAD_UNITS;
  const double wanted = *spacing;
  if (!(wanted >= kLeastSpacing && wanted <= kMostSpacing)) return AP7_LIBRARY_GRID_BAD_SPACING;

  // The spectrum's own grid; one point or none has no spacing to plan from.
  const uint32_t points = record->points;
  const double first_x = record->first_x;
  const double last_x = record->last_x;
  if (points < 2) return AP7_LIBRARY_GRID_FAILED;
  double step = std::fabs(ap7b_GetXSpacing(spectrum));
  if (!(step > 0.0) || !std::isfinite(step)) return AP7_LIBRARY_GRID_FAILED;
  const double laser = record->LaserFreq;
  double base = std::fabs(last_x - first_x) / (points - 1);
  if (laser != 0.0 && ap7b_laser_grid(units)) {
    const double laser_points = ap7b_laser_points(laser, step);
    if (laser_points == 0.0) return AP7_LIBRARY_GRID_FAILED;
    base = laser / laser_points;
  }
  if (!(base > 0.0) || !std::isfinite(base)) return AP7_LIBRARY_GRID_FAILED;

  float clip1 = static_cast<float>(*x1);
  float clip2 = static_cast<float>(*x2);
  if (std::isnan(clip1) || std::isnan(clip2)) return AP7_LIBRARY_GRID_FAILED;
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(spectrum, &clip1, &clip2, &first, &last) < 1) return AP7_LIBRARY_GRID_FAILED;

  // Halved or doubled together, the spectrum's step and the grid's come
  // near the spacing asked for.
  bool halved = false;
  if (step > wanted && std::fabs(step - wanted) / step > kSpacingSlack) {
    while (std::fabs(step - wanted) > std::fabs(step / 2.0 - wanted)) {
      step /= 2.0;
      base /= 2.0;
      halved = true;
    }
  } else if (step < wanted) {
    while (std::fabs(step - wanted) > std::fabs(2.0 * step - wanted)) {
      step *= 2.0;
      base *= 2.0;
    }
  }

  // A Raman shift is planned on the absolute axis p44 - x.
  const bool raman = units == AP41_XUNITS_RAMAN_SHIFT;
  const double line = record->p44;
  const auto absolute = [raman, line](double x) { return raman ? line - x : x; };
  double low = std::min(absolute(clip1), absolute(clip2));
  double high = std::max(absolute(clip1), absolute(clip2));
  if (halved) {
    const double data_low = std::min(absolute(first_x), absolute(last_x));
    const double data_high = std::max(absolute(first_x), absolute(last_x));
    const double wanted_low = std::min(absolute(*x1), absolute(*x2));
    const double wanted_high = std::max(absolute(*x1), absolute(*x2));
    low = ap7b_nearer(low, wanted_low, step, data_low, data_high);
    high = ap7b_nearer(high, wanted_high, step, data_low, data_high);
  }

  const double start = std::trunc(low / base + 0.51);
  double grid_low = start * base;
  double grid_high = std::trunc(high / base + 0.01) * base;
  double grid_points = std::trunc((grid_high - grid_low) / base + 1.05);
  if (!(grid_points >= 1.0)) return AP7_LIBRARY_GRID_FAILED;
  if (grid_points > kMostGridPoints) {
    grid_points = kMostGridPoints;
    grid_high = (start + kMostGridPoints - 1.0) * base;
  }
  if (raman) {
    const double swapped = grid_low;
    grid_low = line - grid_high;
    grid_high = line - swapped;
  }
  *x1 = grid_low;
  *x2 = grid_high;
  *spacing = base;
  *count = static_cast<uint16_t>(grid_points);
  *x_units = static_cast<uint16_t>(units);
  return AP7_LIBRARY_GRID_DONE;
}
