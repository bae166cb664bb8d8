// MATH helpers of interferometer collection: from a resolution, a laser
// wavenumber, an upper frequency limit and a sample spacing, the point
// counts, peak location, transform size and data spacing of a collection;
// the resolution that a point count and spacing give back; zero-fill
// codes; the index range of a region to save; single-sided and split
// single-sided interferogram layouts; the spectral range a set of optical
// components allows; and the time one scan takes.
//
// Owns the sample-spacing limits and the maximum peak position, which live
// for the process and are unguarded. Bench settings are read from the
// section "CollectDefaults". The file layer derives a missing resolution
// from a header block; the completion of missing collection parameters and
// the collection front ends call the rest.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "array/array.h"
#include "util/util.h"

namespace {

constexpr double kPowerOfTwoScale = 2097152.0;
constexpr double kPowerOfTwoDivisor = 64.0;
constexpr double kLaserWavenumber = 15798.0;
constexpr int64_t kFirstPowerOfTwo = 64;

}  // namespace

APEXPORT int16_t AP1_GetResolution_MATH(float ssp, int32_t points, float* resolution, char* text) {
  float value = 0.0f;
  const bool computed = !std::isnan(ssp) && std::fabs(ssp) > FLT_MIN && points != 0;
  if (computed) {
    int64_t power = kFirstPowerOfTwo;
    while (power < points) power *= 2;
    if (power == points) {
      const auto whole = static_cast<uint16_t>(ap1_TruncateToInt32(kPowerOfTwoScale / ssp / points));
      value = static_cast<float>(whole / kPowerOfTwoDivisor);
    } else {
      value = static_cast<float>(kLaserWavenumber / (static_cast<double>(points) * ssp / 2.0));
    }
  }
  if (resolution != nullptr) *resolution = value;
  if (text != nullptr) {
    std::snprintf(text, AP1_RESOLUTION_TEXT_SIZE, "%6.3f", static_cast<double>(value));
    GUX_ChangeUSDecimalToInternat(text);
  }
  return computed ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Process-wide collection limits

namespace {

constexpr float kSpacings[] = {2.0f, 1.0f, 0.5f, 0.25f};
constexpr int kSpacingCount = 4;
constexpr uint32_t kLargestPeakPosition = 65536;
constexpr float kLaser = 15798.0f;

float g_lower_spacing = 1.0f;
float g_upper_spacing = 2.0f;
uint32_t g_max_peak_position = 8192;

}  // namespace

APEXPORT void AP1_SetSspLimits_MATH(float lower, float upper) {
  g_upper_spacing = upper;
  g_lower_spacing = lower > upper ? upper : lower;
}

APEXPORT uint32_t AP1_SetMaxPeakPosition_MATH(uint32_t n) {
  uint32_t position = kLargestPeakPosition;
  while (position > n) position /= 2;
  return g_max_peak_position = position;
}

APEXPORT uint32_t AP1_GetMaxPeakPosition_MATH() { return g_max_peak_position; }

// ---------------------------------------------------------------------------
// Collection parameters

namespace {

constexpr const char* kSection = "CollectDefaults";
// Point counts are kept within what 32-bit sizes and the doubling of a
// transform size can hold, so a wild resolution cannot wrap or stall them.
constexpr uint64_t kLargestPointCount = 0x80000000u;

bool ap1c_about(float a, float b) { return AP1_KovFloatCompareSG_MATH(a, b) != 0; }

// Truncation of x + 0.5.
int32_t ap1c_round(double value) { return ap1_TruncateToInt32(value + 0.5); }

int32_t ap1c_bench_int(const char* key, int32_t default_value) {
  int32_t value = default_value;
  GU9_BenchGetKeyInt(kSection, key, default_value, &value);
  return value;
}

uint32_t ap1c_power_of_two_at_least(uint64_t n) {
  uint64_t power = 1;
  while (power < n && power < kLargestPointCount) power *= 2;
  return static_cast<uint32_t>(power);
}

uint32_t ap1c_zero_fill_factor(int32_t zero_fill) {
  return zero_fill >= 1 && zero_fill <= 6 ? 1u << (zero_fill + 1) : 2u;
}

bool ap1c_missing_laser(float laser) { return ap1_is_missing(laser) || std::fabs(laser) <= FLT_MIN; }

struct CollectOut {
  float* ssp;
  uint32_t* total_points;
  uint32_t* transform_input_points;
  uint32_t* fft_size;
  uint32_t* phase_points;
  uint32_t* transform_points;
  uint32_t* pre_peak_points;
  uint32_t* peak_location;
  uint32_t* corr_error;
  float* data_spacing;
};

void ap1c_set_data_spacing(const CollectOut& out, float laser, float spacing) {
  if (!ap1c_about(spacing, 0.0f) && *out.fft_size != 0)
    *out.data_spacing = laser / spacing / (static_cast<float>(*out.fft_size) / 2.0f);
}

// Pre-peak and post-peak points of the older benches by rounded resolution,
// spacing and laser.
struct FixedRow {
  int32_t resolution;
  uint32_t fast_high_laser, fast_low_laser, slow_low_laser, slow_high_laser;
};
constexpr FixedRow kFixedRows[] = {
    {1, 10000, 12000, 24000, 20000}, {2, 3870, 3870, 7760, 10472}, {4, 1960, 1960, 3930, 5300},
    {8, 1070, 1070, 2048, 2900},     {16, 570, 570, 1024, 1560},   {32, 570, 570, 570, 570},
};
constexpr FixedRow kFixedOther{0, 2500, 2500, 3930, 5300};
constexpr float kFixedTableLaser = 15500.0f;
constexpr int32_t kHighLaser = 14000;

void ap1c_fixed_table(float resolution, int32_t zero_fill, float laser, const CollectOut& out) {
  if (*out.ssp <= 0.0f) *out.ssp = 1.0f;
  const float spacing = *out.ssp;
  const int32_t rounded = ap1c_round(resolution);
  const int32_t whole_laser = ap1_TruncateToInt32(laser);
  FixedRow row = kFixedOther;
  for (const FixedRow& candidate : kFixedRows)
    if (candidate.resolution == rounded) row = candidate;
  const bool fast = spacing == 2.0f;
  const bool high = whole_laser > kHighLaser;
  const uint32_t post = fast ? (high ? row.fast_high_laser : row.fast_low_laser)
                             : (high ? row.slow_high_laser : row.slow_low_laser);
  const uint32_t pre = rounded == 1 ? 1024 : post;
  *out.total_points = *out.transform_input_points = pre + post;
  *out.peak_location = *out.pre_peak_points = pre;
  const uint32_t n = post % 2 != 0 ? post + 1 : post;
  *out.fft_size = ap1c_power_of_two_at_least(n) * ap1c_zero_fill_factor(zero_fill);
  if (laser < kHighLaser && resolution > 1.5f) *out.fft_size *= 2;
  *out.corr_error = 5;
  *out.phase_points = std::min<uint32_t>(200, 2 * pre);
  *out.transform_points = std::min<uint32_t>(1024, *out.fft_size);
  ap1c_set_data_spacing(out, kLaser, spacing);
}

// The first spacing of the table within the upper limit, then finer ones
// while the spacing is above laser / upper limit and the next stays within
// the lower limit.
float ap1c_choose_spacing(float q) {
  int i = kSpacingCount - 1;
  for (int k = 0; k < kSpacingCount; ++k) {
    if (kSpacings[k] <= g_upper_spacing) {
      i = k;
      break;
    }
  }
  while (i + 1 < kSpacingCount) {
    if (kSpacings[i] <= q || ap1c_about(kSpacings[i], q)) break;
    if (kSpacings[i + 1] < g_lower_spacing && !ap1c_about(kSpacings[i + 1], g_lower_spacing)) break;
    ++i;
  }
  return kSpacings[i];
}

bool ap1c_keeps_count(float resolution, bool inclusive) {
  if (ap1c_about(resolution, 6.0f)) return true;
  return inclusive ? resolution >= 0.6f && resolution <= 0.7f : resolution > 0.6f && resolution < 0.7f;
}

}  // namespace

APEXPORT void AP1_ConvertParamEx_MATH(float resolution, int32_t zero_fill, float laser, float upper_limit, float* ssp,
                                      uint32_t* total_points, uint32_t* transform_input_points, uint32_t* fft_size,
                                      uint32_t* phase_points, uint32_t* transform_points, uint32_t* pre_peak_points,
                                      uint32_t* peak_location, uint32_t* corr_error, float* data_spacing,
                                      int32_t flags) {
  const CollectOut out{ssp,          total_points,  transform_input_points, fft_size,   phase_points,
                       transform_points, pre_peak_points, peak_location,    corr_error, data_spacing};
  if (ssp == nullptr || total_points == nullptr || transform_input_points == nullptr || fft_size == nullptr ||
      phase_points == nullptr || transform_points == nullptr || pre_peak_points == nullptr ||
      peak_location == nullptr || corr_error == nullptr || data_spacing == nullptr)
    return;
  if (ap1c_about(upper_limit, 0.0f)) upper_limit = 4000.0f;
  if (ap1c_missing_laser(laser)) laser = kLaser;
  if (laser <= kFixedTableLaser) {
    ap1c_fixed_table(resolution, zero_fill, laser, out);
    return;
  }
  const float q = laser / upper_limit;
  if (*ssp <= 0.0f) *ssp = ap1c_choose_spacing(q);
  const float spacing = *ssp;
  uint32_t coarser = 1;
  for (float entry : kSpacings)
    if (entry > spacing) coarser *= 2;
  const uint64_t max_n = static_cast<uint64_t>(g_max_peak_position) * coarser;
  const int32_t peak_slop = ap1c_bench_int("Peakslop", 32);
  const int32_t scan_slop = ap1c_bench_int("Scanslop", 256);

  if (ap1c_about(resolution, 0.0f)) resolution = 0.15f;
  int64_t n0 = ap1_TruncateToInt32(laser / resolution);
  if (!ap1c_about(spacing, 0.0f)) n0 = ap1_TruncateToInt32(static_cast<float>(n0) / (spacing / 2.0f));
  n0 = std::clamp<int64_t>(n0, 0, kLargestPointCount);
  if (n0 % 2 != 0) ++n0;
  uint32_t n = ap1c_keeps_count(resolution, true) ? static_cast<uint32_t>(n0) : ap1c_power_of_two_at_least(n0);

  int32_t location = 0;
  const bool fixed = GU9_BenchGetKeyInt(kSection, "PeakLocation", 1024, &location) == 1 && location - peak_slop > 0;
  if (fixed) *peak_location = static_cast<uint32_t>(location - 2 * peak_slop);
  const int32_t sides = ap1c_bench_int("IfgSides", 2);
  if (fixed) {
    if (static_cast<int64_t>(n) >= static_cast<int64_t>(*peak_location) - peak_slop || sides == 1)
      *pre_peak_points = *peak_location < 513 ? *peak_location - peak_slop : 512;
    else
      *pre_peak_points = n;
  } else {
    if (n <= max_n && sides != 1) *pre_peak_points = n;
    else if ((flags & 1) != 0) *pre_peak_points = static_cast<uint32_t>(std::min<uint64_t>(n, max_n));
    else *pre_peak_points = 1024;
    if (*pre_peak_points > 1024 && spacing > 2.0f && n > static_cast<uint32_t>(ap1_TruncateToInt32(16384.0f / spacing)))
      *pre_peak_points = 1024;
    *peak_location = *pre_peak_points + peak_slop;
  }
  *total_points = *peak_location + n + scan_slop;
  *transform_input_points = *pre_peak_points + n;

  if (ap1c_keeps_count(resolution, false)) n = ap1c_power_of_two_at_least(n);
  *fft_size = n * ap1c_zero_fill_factor(zero_fill);
  const int32_t corr = ap1c_bench_int("CorrError", 0);
  *corr_error = corr == 0 ? 5 : static_cast<uint32_t>(corr);
  const int32_t npd = ap1c_bench_int("DefaultNPD", 0);
  *phase_points = std::min<uint64_t>(npd == 0 ? 200 : static_cast<uint32_t>(npd), 2ull * *pre_peak_points);
  const int32_t npt = ap1c_bench_int("DefaultNPT", 0);
  *transform_points = std::min<uint32_t>(npt == 0 ? 1024 : static_cast<uint32_t>(npt), *fft_size);
  ap1c_set_data_spacing(out, laser, spacing);
}

APEXPORT void AP1_ConvertParam_MATH(float resolution, int32_t zero_fill, float laser, float upper_limit, float* ssp,
                                    uint32_t* total_points, uint32_t* transform_input_points, uint32_t* fft_size,
                                    uint32_t* phase_points, uint32_t* transform_points, uint32_t* pre_peak_points,
                                    uint32_t* peak_location, uint32_t* corr_error, float* data_spacing) {
  AP1_ConvertParamEx_MATH(resolution, zero_fill, laser, upper_limit, ssp, total_points, transform_input_points,
                          fft_size, phase_points, transform_points, pre_peak_points, peak_location, corr_error,
                          data_spacing, 0);
}

APEXPORT int16_t AP1_CalcResolutionPoints_MATH(float laser, float resolution, uint32_t a, uint32_t b,
                                               uint32_t* points) {
  if (points == nullptr) return 0;
  if (laser >= kFixedTableLaser) *points = a - b;
  else if (resolution < 1.5f) *points = 32768;
  else if (resolution < 3.0f) *points = 16384;
  else if (resolution < 5.0f) *points = 8192;
  else if (resolution < 9.0f) *points = 4096;
  else *points = 2048;
  return 1;
}

APEXPORT int16_t AP1_GetZeroFill_MATH(uint32_t transform_size, uint32_t points) {
  for (int16_t code = 0; code <= 6; ++code)
    if (points >= transform_size >> (code + 1)) return code;
  return AP1_NO_ZERO_FILL;
}

APEXPORT int16_t AP1_CalcSaveRegion_MATH(float laser, float ssp, int32_t fft_size, float x1, float x2, uint32_t* start,
                                         uint32_t* end, uint32_t* count) {
  if (start == nullptr || end == nullptr || count == nullptr) return 0;
  *start = 0;
  *end = 1;
  *count = 1;
  if (fft_size == 0 || !(std::fabs(ssp) > FLT_MIN)) return 0;
  const float half = static_cast<float>(fft_size) / 2.0f;
  if (ap1c_missing_laser(laser)) laser = kLaser;
  const float d = laser / ssp * (half - 1.0f) / half;
  if (!(std::fabs(d) > FLT_MIN)) return 0;
  *start = static_cast<uint32_t>(ap1c_round(std::min(x1, x2) * half / d));
  *end = static_cast<uint32_t>(ap1c_round(std::max(x1, x2) * half / d));
  *count = *end - *start;
  return 1;
}

namespace {

// The location that a single-sided layout derives when none is given: 64,
// doubled while below half the size. What the caller gets back when it
// hands no layout to fill is size / 2 then, else its own location.
struct PeakSlop {
  int32_t location;
  int32_t answer;
};

PeakSlop ap1c_derived_location(int16_t location, uint32_t size) {
  if (location != 0 || size == 0) return {location, location};
  int32_t derived = 64;
  while (size / 2 > static_cast<uint32_t>(derived)) derived *= 2;
  return {derived, static_cast<int32_t>(size / 2)};
}

}  // namespace

APEXPORT uint32_t AP1_CalcSingleSided_MATH(uint32_t* total, uint32_t* points, uint32_t* peak_offset,
                                           uint32_t* peak_location, int16_t location, uint32_t size) {
  const PeakSlop derived = ap1c_derived_location(location, size);
  if (total == nullptr || points == nullptr || peak_offset == nullptr || peak_location == nullptr)
    return static_cast<uint32_t>(derived.answer);
  const int32_t peak_slop = ap1c_bench_int("Peakslop", 6);
  const int32_t scan_slop = ap1c_bench_int("Scanslop", 2 * peak_slop);
  const int32_t peak = ap1c_bench_int("PeakLocation", derived.location);
  const uint32_t after_peak = *points - *peak_location;
  *peak_location = static_cast<uint32_t>(peak);
  *points = after_peak + static_cast<uint32_t>(peak);
  *peak_offset = static_cast<uint32_t>(peak + peak_slop);
  return *total = *peak_offset + after_peak + static_cast<uint32_t>(scan_slop);
}

APEXPORT uint32_t AP1_CalcSplitSingleSided_MATH(uint32_t* total, uint32_t* points, uint32_t* peak_offset,
                                                uint32_t* peak_location, int16_t location, uint32_t size) {
  const PeakSlop derived = ap1c_derived_location(location, size);
  if (total == nullptr || points == nullptr || peak_offset == nullptr || peak_location == nullptr)
    return static_cast<uint32_t>(derived.answer);
  const uint32_t peak_slop = static_cast<uint32_t>(ap1c_bench_int("Peakslop", 6));
  const uint32_t after_peak = *points - *peak_location;
  *peak_location = after_peak;
  *points = 2 * after_peak;
  *peak_offset = after_peak + peak_slop;
  return *total = *peak_offset + after_peak + 4 * peak_slop;
}

// ---------------------------------------------------------------------------
// Spectral range of the optical components

namespace {

struct RangeRow {
  int16_t code;
  uint16_t high;
  uint16_t low;
};
constexpr int16_t kOtherCodes = -1;

constexpr RangeRow kSources[] = {{1, 25000, 0}, {2, 7400, 50}, {3, 15000, 2000}, {9, 7400, 50}, {10, 7400, 50},
                                 {kOtherCodes, 25000, 0}};
constexpr RangeRow kBeamSplitters[] = {
    {0, 7400, 350},  {1, 15000, 5000}, {2, 15800, 2100}, {4, 15800, 2800}, {5, 6000, 600},
    {7, 6400, 200},  {8, 25000, 0},    {10, 700, 50},    {20, 25000, 0},   {21, 25000, 0},
    {22, 25000, 0},  {23, 135, 40},    {24, 40, 10},     {25, 90, 25},     {30, 11000, 375},
    {kOtherCodes, 25000, 0}};
constexpr RangeRow kDetectors[] = {
    {0, 4000, 650},    {1, 4000, 650},    {2, 4000, 400},    {3, 4000, 400},    {4, 11000, 2000},
    {5, 12400, 5400},  {6, 10000, 1850},  {7, 10000, 1850},  {8, 15000, 9000},  {9, 11000, 4200},
    {10, 12400, 5400}, {11, 4000, 400},   {12, 4000, 400},   {13, 4000, 225},   {14, 12500, 350},
    {15, 600, 50},     {16, 12400, 5400}, {17, 12400, 5400}, {18, 4000, 400},   {19, 4000, 800},
    {20, 600, 20},     {21, 11700, 800},  {32, 4000, 800},   {33, 4000, 800},   {34, 10000, 4000},
    {35, 10000, 4000}, {36, 10000, 4000}, {37, 11700, 800},  {38, 10000, 1850}, {39, 10000, 5400},
    {40, 4000, 650},   {41, 12400, 5400}, {42, 25000, 0},    {kOtherCodes, 25000, 0}};
constexpr RangeRow kWindows[] = {
    {1, 30000, 625},  {2, 30000, 400},  {3, 30000, 200},  {4, 30000, 1111}, {5, 30000, 740},  {6, 25000, 360},
    {7, 17000, 720},  {8, 30000, 1600}, {9, 11000, 725},  {10, 5500, 600},  {11, 20000, 650}, {12, 8300, 1500},
    {13, 20000, 360}, {14, 4500, 525},  {15, 20000, 250}, {16, 20000, 250}, {17, 20000, 250}, {kOtherCodes, 25000, 0}};

template <size_t N>
const RangeRow& ap1c_range_of(const RangeRow (&table)[N], int16_t code) {
  for (const RangeRow& row : table)
    if (row.code == code) return row;
  return table[N - 1];
}

void ap1c_narrow(const RangeRow& row, uint16_t* low, uint16_t* high) {
  *high = std::min(*high, row.high);
  *low = std::max(*low, row.low);
}

}  // namespace

APEXPORT int16_t AP1_CalcMaxRng_MATH(int16_t source, int16_t beam_splitter, int16_t detector, int16_t window,
                                     uint16_t* low, uint16_t* high) {
  if (low == nullptr || high == nullptr) return 0;
  const RangeRow& first = ap1c_range_of(kSources, source);
  *high = first.high;
  *low = first.low;
  ap1c_narrow(ap1c_range_of(kBeamSplitters, beam_splitter), low, high);
  if (window != 0) ap1c_narrow(ap1c_range_of(kWindows, window), low, high);
  ap1c_narrow(ap1c_range_of(kDetectors, detector), low, high);
  if (*low > *high) *low = *high = 0;
  return 1;
}

// ---------------------------------------------------------------------------
// Small collection helpers

APEXPORT float AP1_SetFreqRange_MATH(float limit, float value) {
  for (float factor : {0.25f, 0.5f, 1.0f, 2.0f})
    if (limit * factor > value) return limit * factor;
  return 4.0f * limit;
}

APEXPORT int16_t AP1_DataSpacingsDiffer_MATH(float spacing1, float spacing2, float xa, float xb) {
  if (ap1c_about(spacing1, 0.0f) || ap1c_about(spacing2, 0.0f)) return AP1_SPACINGS_DIFFER;
  if (ap1c_about(spacing1, spacing2) || ap1c_about(xa, xb)) return 0;
  const float lo = std::min(xa, xb);
  const float hi = std::max(xa, xb);
  const bool same = ap1c_round(lo / spacing2) == ap1c_round(lo / spacing1) &&
                    ap1c_round(hi / spacing2) == ap1c_round(hi / spacing1);
  return same ? 0 : AP1_SPACINGS_DIFFER;
}

APEXPORT int16_t AP1_IsApertureFit_MATH(float a, float b, float* percent) {
  if (percent == nullptr || !(std::fabs(b) > FLT_MIN)) return 0;
  const float t = std::sqrt(a / b) * 304.8f / 8.2f;
  *percent = t * t * 100.0f;
  return 1;
}

APEXPORT float AP1_GetLaserRef_MATH(int16_t use_bench) {
  if (use_bench == 0) return -1.0f;
  float laser = kLaser;
  if (GU9_BenchGetKeyFloat(kSection, "Laser", kLaser, &laser) != 1) laser = kLaser;
  return laser;
}

// ---------------------------------------------------------------------------
// Scan time

namespace {

constexpr float kScanLaser = 15798.2f;
constexpr float kRapidReturnVelocity = 8.0f;
constexpr uint16_t kMsgPrepareScan = 72;

// Parameters of a collection-settings object that the estimate reads.
constexpr uint16_t kParmVelocity = 7;
constexpr uint16_t kParmSpacing = 8;
constexpr uint16_t kParmOneWay = 13;
constexpr uint16_t kParmPoints = 15;
constexpr uint16_t kParmLaser = 17;
constexpr uint16_t kParmReturnVelocity = 21;
constexpr uint16_t kParmDelay = 26;

// A parameter of the object as T, 0 when it cannot be read. The value is
// taken into room for any parameter type, so that a parameter of a wider
// type than expected cannot write past it.
template <typename T>
T ap1c_parameter(void* object, uint16_t index) {
  alignas(8) unsigned char value[AP13_LARGEST_VALUE + 1] = {};
  T result{};
  if (GU2_GetParmValue_MSG(object, index, value) == 1) std::memcpy(&result, value, sizeof result);
  return result;
}

struct ScanSettings {
  uint32_t points;
  float laser, velocity, return_velocity, spacing;
  uint32_t delay_ms;
  uint16_t one_way;
};

ScanSettings ap1c_scan_settings(void* object) {
  return {ap1c_parameter<uint32_t>(object, kParmPoints),         ap1c_parameter<float>(object, kParmLaser),
          ap1c_parameter<float>(object, kParmVelocity),          ap1c_parameter<float>(object, kParmReturnVelocity),
          ap1c_parameter<float>(object, kParmSpacing),           ap1c_parameter<uint32_t>(object, kParmDelay),
          ap1c_parameter<uint16_t>(object, kParmOneWay)};
}

}  // namespace

APEXPORT float AP1_NewGetPossibleScanTime_MATH(uint32_t points, float laser, float velocity, float return_velocity,
                                               float ssp, uint32_t delay_ms, uint16_t one_way) {
  const float delay = static_cast<float>(delay_ms) / 1000.0f;
  if (ap1c_about(laser, 0.0f)) laser = kScanLaser;
  if (ap1c_about(velocity, 0.0f)) velocity = 1.0f;
  if (ap1c_about(return_velocity, 0.0f)) return_velocity = 1.0f;
  const float distance = static_cast<float>(points) / laser * ssp / 2.0f;
  if (one_way != 0) return 0.0095f + delay + distance / velocity;
  return 0.024f + (velocity / return_velocity * delay + delay) + distance / velocity + distance / return_velocity;
}

APEXPORT float AP1_GetPossibleScanTime_MATH(void* object, uint32_t points) {
  if (object == nullptr) return 1.0f;
  const ScanSettings s = ap1c_scan_settings(object);
  return AP1_NewGetPossibleScanTime_MATH(points, s.laser, s.velocity, s.return_velocity, s.spacing, s.delay_ms, 0);
}

APEXPORT float AP1_GetScanTime_MATH(void* object, uint16_t mode) {
  if (object == nullptr) return 1.0f;
  GU2_DoMethod_MSG(kMsgPrepareScan, object, nullptr);
  ScanSettings s = ap1c_scan_settings(object);
  if (mode == AP1_SCAN_RAPID) {
    s.return_velocity = kRapidReturnVelocity;
    GU9_BenchGetKeyFloat(kSection, "RapidScanVelocity", 5.0632f, &s.velocity);
  }
  return AP1_NewGetPossibleScanTime_MATH(s.points, s.laser, s.velocity, s.return_velocity, s.spacing, s.delay_ms,
                                         s.one_way);
}
