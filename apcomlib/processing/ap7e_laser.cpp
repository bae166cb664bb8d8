// Laser-frequency correction of a spectrum's X axis (messages 250 and 436).
//
// A spectrum's X axis is tied to the reference laser that sampled its
// interferogram (header p29). The correction moves the spectrum onto the
// point grid of another laser: axis limits and laser field scale by the
// ratio new / old and the values are resampled by a Catmull-Rom cubic at the
// scaled grid positions, in transmittance, so that the point count stays.
// A Raman-shift axis is scaled about its laser line (p44) instead. The best
// shift search, the atmospheric suppression, the correction tables and the
// interferogram operations call ap7e_SetLaserFrequency; the grid conforming
// of the spectrum model calls the mode that resets on a large change.
//
// The module also writes the bounded history lines that the corrections
// and the atmospheric suppression append.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "platform/registry.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kTruncateAbsValue[] = "TruncateAbs";
// The Raman correction doubles the spacing up to a laser frequency of at
// least this, and takes it for the laser when they differ by more than the
// tolerance.
constexpr float kRamanLaserFloor = 8000.0f;
constexpr float kRamanLaserTolerance = 0.02f;
// The Raman correction rounds its source position up unless it lies this
// close below a whole index.
constexpr double kRamanRoundUp = 0.999;
// The kernel needs a point before and two after the one it starts from.
constexpr uint32_t kFewestPoints = 4;
// A grid origin (first X over the spacing) beyond this many points is no
// grid this correction can index.
constexpr double kLargestOrigin = 2147483647.0;

bool ap7e_positive(float value) { return std::isfinite(value) && value > 0.0f; }

bool ap7e_truncate_abs() {
  uint32_t value = 0;
  if (GU9_GetDWordKeyValue(GU9_TALVO_KEY, kTruncateAbsValue, HKEY_LOCAL_MACHINE, &value) != 1) return false;
  return value == 1;
}

// The Y values taken to percent transmittance for the correction and
// brought back to the saved unit when the scope ends, on every path.
class ap7e_transmittance_scope {
 public:
  ap7e_transmittance_scope(AP7_SPECTRUM* spectrum, bool truncate_abs, bool through_message)
      : spectrum_(spectrum), truncate_abs_(truncate_abs), saved_(ap7a_record(spectrum)->y_units) {
    if (through_message || truncate_abs_)
      converted_ = ap7b_ConvertToTransmittance(spectrum_, 1) != 0;
    else
      converted_ = ap7b_ToTransmittance(spectrum_, 0) != 0;
  }
  ~ap7e_transmittance_scope() {
    if (!converted_) return;
    if (truncate_abs_)
      ap7d_ConvertYUnits(spectrum_, static_cast<uint16_t>(saved_));
    else
      ap7d_ConvertYUnitsEx(spectrum_, static_cast<uint16_t>(saved_), 0);
  }
  ap7e_transmittance_scope(const ap7e_transmittance_scope&) = delete;
  ap7e_transmittance_scope& operator=(const ap7e_transmittance_scope&) = delete;

 private:
  AP7_SPECTRUM* spectrum_;
  bool truncate_abs_;
  uint32_t saved_;
  bool converted_ = false;
};

// The values of a spectrum in the order a correction walks them: reversed
// when the axis runs the other way from the one its formula assumes.
class ap7e_walk {
 public:
  ap7e_walk(float* values, uint32_t n, bool reversed) : values_(values), n_(n), reversed_(reversed) {}
  float& operator[](uint32_t i) const { return values_[reversed_ ? n_ - 1 - i : i]; }

 private:
  float* values_;
  uint32_t n_;
  bool reversed_;
};

// The Catmull-Rom value at t between src[k] and src[k + 1], k from 1 to
// n - 3; missing when any of the four points is.
float ap7e_kernel(const ap7e_walk& src, int64_t k, double t) {
  const auto at = static_cast<uint32_t>(k);
  const double y0 = src[at - 1];
  const double y1 = src[at];
  const double y2 = src[at + 1];
  const double y3 = src[at + 2];
  if (ap1_is_missing(src[at - 1]) || ap1_is_missing(src[at]) || ap1_is_missing(src[at + 1]) ||
      ap1_is_missing(src[at + 2]))
    return AP1_GetNaNSG_MATH();
  if (std::fabs(static_cast<float>(t)) <= 1.1754943508222875e-38f) return src[at];
  const double t2 = t * t;
  const double t3 = t2 * t;
  return static_cast<float>(((3 * t3 - 5 * t2 + 2) * y1 + (t3 - t2) * y3 - (3 * t3 - 4 * t2 - t) * y2 -
                             (t3 - 2 * t2 + t) * y0) /
                            2.0);
}

// Where output point i is read from: the source index k (1 to n - 3 for a
// value) and the fraction t beyond it; false for no source point.
using ap7e_source = bool (*)(uint32_t i, int64_t k0, double ratio, int64_t& k, double& t);

// Ends the kernel cannot reach: the first point keeps its old value; with
// `both_ends` the second and the last two take their neighbours'.
void ap7e_repair_ends(const ap7e_walk& dst, uint32_t n, float kept_first, bool both_ends) {
  if (ap1_is_missing(dst[0])) dst[0] = kept_first;
  if (!both_ends) return;
  if (ap1_is_missing(dst[1])) dst[1] = dst[2];
  if (ap1_is_missing(dst[n - 2])) dst[n - 2] = dst[n - 3];
  if (ap1_is_missing(dst[n - 1])) dst[n - 1] = dst[n - 2];
}

// The correction proper, once the spectrum is in transmittance: each point
// resampled from a working copy where `source` places it, the ends
// repaired, the history written. False when the copy cannot be made.
bool ap7e_resample(AP7_SPECTRUM* spectrum, uint32_t n, bool reversed, int64_t k0, double ratio, ap7e_source source,
                   bool both_ends, float old_laser, float new_laser) {
  {
    ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
    float* src_values = ap7b_GetDataPtr(copy.get());
    float* dst_values = ap7b_GetDataPtr(spectrum);
    if (src_values == nullptr || dst_values == nullptr) return false;
    ap7a_change_bracket bracket(spectrum);
    if (!bracket.begun()) return false;
    const ap7e_walk src(src_values, n, reversed);
    const ap7e_walk dst(dst_values, n, reversed);
    const float kept_first = dst[0];
    for (uint32_t i = 0; i < n; ++i) {
      int64_t k = 0;
      double t = 0.0;
      const bool found = source(i, k0, ratio, k, t) && k >= 1 && k <= static_cast<int64_t>(n) - 3;
      dst[i] = found ? ap7e_kernel(src, k, t) : AP1_GetNaNSG_MATH();
    }
    ap7e_repair_ends(dst, n, kept_first, both_ends);
  }
  if (ap7e_AddTimedHistoryLine(spectrum, AP7E_HISTORY_LASER_LABEL) != 0) {
    const char* format = GU4_GetAssocString(AP7_GROUP_HISTORY, AP7E_HISTORY_LASER_FORMAT, nullptr, nullptr);
    if (format != nullptr && ap7c_format_takes(format, "ff")) {
      char line[AP7E_HISTORY_LINE_SIZE];
      std::snprintf(line, sizeof line, format, double{old_laser}, double{new_laser});
      ap7e_AddHistoryLineCut(spectrum, line);
    }
    ap7d_AddLoginUser(spectrum);
  }
  return true;
}

// The plain correction reads point i at (k0 + i) r on the source grid.
bool ap7e_plain_source(uint32_t i, int64_t k0, double ratio, int64_t& k, double& t) {
  const double p = static_cast<double>(i + k0) * ratio;
  const double j = std::floor(p);
  k = static_cast<int64_t>(j) - k0;
  t = p - j;
  return true;
}

// The Raman correction counts absolute wavenumbers down from k0: point i
// reads (k0 - i) r, rounded up unless just below a whole index; points
// beyond k0 have none.
bool ap7e_raman_source(uint32_t i, int64_t k0, double ratio, int64_t& k, double& t) {
  if (static_cast<int64_t>(i) > k0) return false;
  const double p = static_cast<double>(k0 - i) * ratio;
  const double j = std::trunc(p + kRamanRoundUp);
  if (j > static_cast<double>(k0)) return false;
  k = k0 - static_cast<int64_t>(j);
  t = j - p;
  return true;
}

}  // namespace

uint32_t ap7e_PointCount(const AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr) return 0;
  const uint32_t points = record->points;
  const uint32_t columns = spectrum->data->columns;
  return std::min(points, columns);
}

uint16_t ap7e_AddHistoryLineCut(AP7_SPECTRUM* spectrum, const char* text) {
  if (text == nullptr) return 0;
  constexpr size_t kRoom = AP7E_HISTORY_LINE_SIZE - sizeof kLineEnd;
  std::string line(text, strnlen(text, kRoom));
  line += kLineEnd;
  return ap7d_AddHistoryText(spectrum, line.c_str());
}

uint16_t ap7e_AddTimedHistoryLine(AP7_SPECTRUM* spectrum, uint16_t label) {
  const char* text = GU4_GetAssocString(AP7_GROUP_HISTORY, label, nullptr, nullptr);
  if (text == nullptr) return 0;
  char when[AP7E_TIME_TEXT_SIZE] = "";
  if (GU4_Time2StringSafe(GU4_SystemTime(), when, GU4_TIMEFMT_LONG2, sizeof when) == nullptr) when[0] = '\0';
  return ap7e_AddHistoryLineCut(spectrum, (std::string(text) + when).c_str());
}

uint16_t ap7e_SetLaserFrequency(AP7_SPECTRUM* spectrum, float frequency) {
  return ap7e_ChangeLaserFrequency(spectrum, frequency, AP7E_LASER_ALWAYS_CORRECT);
}

uint16_t ap7e_ChangeLaserFrequency(AP7_SPECTRUM* spectrum, float frequency, uint16_t mode) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || !ap7e_positive(frequency)) return 0;
  if (record->x_units == AP41_XUNITS_RAMAN_SHIFT) return ap7e_ChangeLaserFrequencyRaman(checked, frequency);
  if (record->x_units != AP1_XUNIT_WAVENUMBERS) return 1;
  const float old_laser = record->LaserFreq;
  if (AP1_KovFloatCompareSG_MATH(old_laser, frequency) != 0) return 1;
  if (!ap7e_positive(old_laser)) return 0;
  if (mode == AP7E_LASER_RESET_WHEN_LARGE && std::fabs(frequency - old_laser) > AP7E_LASER_RESET_CHANGE)
    return ap7e_RestoreDefaultLaser(checked);

  // The positions below count from the grid origin of the rising axis.
  const uint32_t n = ap7e_PointCount(checked);
  const float spacing = ap7b_GetXSpacing(checked);
  const bool falling = spacing < 0.0f;
  const double d = std::fabs(spacing);
  const double low_x = falling ? record->last_x : record->first_x;
  const double origin = std::trunc(low_x / d);
  if (n < kFewestPoints || !(d > 0.0) || !(std::fabs(origin) <= kLargestOrigin)) return 0;
  const auto k0 = static_cast<int64_t>(origin);
  const double ratio = static_cast<double>(frequency) / old_laser;

  const bool truncate_abs = ap7e_truncate_abs();
  ap7e_transmittance_scope transmittance(checked, truncate_abs, false);
  if (!ap7e_resample(checked, n, falling, k0, ratio, ap7e_plain_source, true, old_laser, frequency)) return 0;
  ap7a_change_bracket bracket(checked);
  if (!bracket.begun()) return 0;
  record->first_x = static_cast<float>(record->first_x * ratio);
  record->last_x = static_cast<float>(record->last_x * ratio);
  record->LaserFreq = static_cast<float>(old_laser * ratio);
  return 1;
}

uint16_t ap7e_ChangeLaserFrequencyRaman(AP7_SPECTRUM* spectrum, float frequency) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || !ap7e_positive(frequency)) return 0;
  if (record->x_units != AP41_XUNITS_RAMAN_SHIFT) return 1;

  // The laser the spacing was sampled with.
  const float spacing = ap7b_GetXSpacing(checked);
  if (std::isfinite(spacing) && AP1_KovFloatCompareSG_MATH(spacing, 0.0f) == 0) {
    float from_spacing = std::fabs(spacing);
    while (from_spacing < kRamanLaserFloor) from_spacing *= 2.0f;
    if (std::fabs(from_spacing - record->LaserFreq) > kRamanLaserTolerance) {
      ap7a_change_bracket bracket(checked);
      if (bracket.begun()) record->LaserFreq = from_spacing;
    }
  }
  const float old_laser = record->LaserFreq;
  if (AP1_KovFloatCompareSG_MATH(old_laser, frequency) != 0) return 1;
  if (!ap7e_positive(old_laser)) return 0;
  if (std::fabs(frequency - old_laser) > AP7E_LASER_RESET_CHANGE) {
    const double whole = std::trunc(old_laser);
    if (whole > 4294967295.0) return 1;
    const auto bits = static_cast<uint32_t>(whole);
    if (bits == 0 || (bits & (bits - 1)) != 0) return 1;
  }

  // Positions count down the absolute wavenumbers from the first point of
  // the rising shift axis.
  const uint32_t n = ap7e_PointCount(checked);
  const bool falling = spacing < 0.0f;
  const double d = std::fabs(spacing);
  const double line = record->p44;
  const double d1 = line - record->first_x;
  const double d2 = line - record->last_x;
  const double origin = std::trunc((falling ? d2 : d1) / d);
  if (n < kFewestPoints || !(d > 0.0) || !(origin >= 0.0 && origin <= kLargestOrigin)) return 0;
  const auto k0 = static_cast<int64_t>(origin);
  const double ratio = static_cast<double>(frequency) / old_laser;

  ap7e_transmittance_scope transmittance(checked, true, true);
  if (!ap7e_resample(checked, n, falling, k0, ratio, ap7e_raman_source, false, old_laser, frequency)) return 0;
  ap7a_change_bracket bracket(checked);
  if (!bracket.begun()) return 0;
  record->first_x = static_cast<float>(line - d1 * ratio);
  record->last_x = static_cast<float>(line - d2 * ratio);
  record->LaserFreq = static_cast<float>(old_laser * ratio);
  return 1;
}

uint16_t ap7e_RestoreDefaultLaser(AP7_SPECTRUM* spectrum) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr) return 0;
  ap7a_new_spectrum regridded(ap7d_GetDataSpacing(checked));
  const AP41_HEADERDATA* grid = ap7a_record(regridded.get());
  if (grid == nullptr || regridded.get()->data == nullptr) return 0;
  GU3_HANDLE block = ap4a_CopyDataOut(regridded.get()->data);
  if (block == nullptr) return 0;
  if (ap7b_SetDataHandle(checked, grid->first_x, grid->last_x, grid->points, block) == 0) {
    GU3_Free_MM(block);
    return 0;
  }
  ap7a_change_bracket bracket(checked);
  if (bracket.begun()) record->LaserFreq = AP7_DEFAULT_LASER;
  return 1;
}
