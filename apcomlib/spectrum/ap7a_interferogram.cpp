// Interferogram, peak and display-range operations of the spectrum: the
// ARRAY class's interferogram toolkit, peak search, self-deconvolution and
// display scaling under the same message numbers, with positions given as
// X values.
//
// Each operation converts its X range to an index range of the one-row data
// array, calls the ARRAY operation and keeps the interferogram's header
// bookkeeping: peak index p22, Y code (22 interferogram, 14 transformed,
// 15 single beam, 28 phase), transform size p31, noise value p39,
// apodization id p34 and phase correction id p43. AP7_Dispatcher_SPECTRUM
// calls these for messages 70-74, 76, 77 and 112.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// The sensitivity a peak search takes: -2^-20 up to 100.
constexpr float kLowestSensitivity = -9.536743e-07f;
constexpr float kHighestSensitivity = 100.0f;

// A resolution below this is taken as this when the noise value is derived.
constexpr float kLowestResolution = 0.1f;
constexpr double kNoiseScale = 0.06;

// Benches whose interferograms are apodized over their non-zero segment.
bool ap7a_trims_apodization(uint32_t bench) { return (bench >= 65 && bench <= 87) || bench == 91; }

// The transform size from the header when message 76 is given none:
// the smallest power of two P (from 2) with spacing·P/2 reaching 1.2 times
// the laser frequency, scaled by the sample spacing factor.
constexpr double kDefaultLaser = 15798.0;
constexpr float kDefaultSpacingFactor = 2.0f;
constexpr double kLaserMargin = 1.2;

// The self-deconvolution's text in the title group of new spectra.
constexpr uint16_t kDeconvolutionTitle = 3;

// A spacing factor that can divide: a positive number.
bool ap7a_usable_factor(float factor) { return factor > 0.0f && std::isfinite(factor); }

// 1 with the size in *size; 0 for a spacing factor whose whole part is 0
// (other than 1/4 and 1/2) or that is negative, which give no size.
bool ap7a_transform_size(const AP41_HEADERDATA& record, double spacing, uint32_t* size) {
  *size = 0;
  float factor = record.SSP;
  if (AP1_KovFloatCompareSG_MATH(factor, 0.0f)) factor = kDefaultSpacingFactor;
  const double laser = AP1_KovFloatCompareSG_MATH(record.LaserFreq, 0.0f) ? kDefaultLaser : record.LaserFreq;
  const double limit = kLaserMargin * laser;
  if (!(spacing > 0.0)) return true;
  double reach = spacing;
  double points = 2.0;
  // Doubling stops at the largest size 32 bits hold, so that a laser
  // frequency of infinity cannot keep it going.
  while (reach < limit && points < 4294967296.0) {
    reach *= 2.0;
    points *= 2.0;
  }
  double wanted = 0.0;
  if (AP1_KovFloatCompareSG_MATH(factor, 0.25f)) {
    wanted = 4.0 * points;
  } else if (AP1_KovFloatCompareSG_MATH(factor, 0.5f)) {
    wanted = 2.0 * points;
  } else {
    const int32_t whole = ap1_TruncateToInt32(factor);
    if (whole < 1) return false;
    wanted = std::floor(points / whole);
  }
  *size = static_cast<uint32_t>(std::min(wanted, 4294967295.0));
  return true;
}

}  // namespace

uint32_t ap7a_PeakSearch(AP7_SPECTRUM* spectrum, const AP7_PEAKSEARCHPARM* block, uint16_t sort, uint16_t log_mode) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || spectrum->data == nullptr) return 0;
  float x1 = block->x1;
  float x2 = block->x2;
  float first_value = 0.0f;
  float last_value = 0.0f;
  if (ap7d_TrimXRangeToValid(spectrum, &x1, &x2, &first_value, &last_value) <= 0) return 0;
  AP4_RANGE range{};
  if (ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &range.start, &range.end) <= 2) return 0;
  const float sensitivity = block->sensitivity;
  if (!(sensitivity >= kLowestSensitivity && sensitivity <= kHighestSensitivity)) return 0;
  const auto direction = static_cast<uint16_t>(ap7d_GetPeakDirection(spectrum));
  float threshold = 0.0f;
  float base = 0.0f;
  float step = 0.0f;
  if (!ap7d_PeakSearchThreshold(spectrum, static_cast<int16_t>(block->use_range), static_cast<int16_t>(log_mode), x1,
                                x2, sensitivity, &threshold, &base, &step))
    return 0;
  const int32_t found = ap4b_PeakSearch(spectrum->data, range, threshold, block->kernel_value, direction,
                                        block->capacity, block->full, block->table, sort);
  if (found <= 0) return 0;
  const uint32_t entered = std::min(static_cast<uint32_t>(found), block->capacity);
  for (uint32_t i = 0; i < entered; ++i) {
    AP4_PEAK& peak = block->table[i];
    ap7b_FracIndexToX(spectrum, peak.position, &peak.position);
    ap7b_FracIndexToX(spectrum, peak.raw_position, &peak.raw_position);
  }
  return static_cast<uint32_t>(found);
}

// The noise value takes the resolution of the header's spacing factor p12
// and post-peak count p47, and p12 itself as its second factor.
uint16_t ap7a_TransformInterferogram(AP7_SPECTRUM* spectrum, uint16_t k) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || record->y_units != AP41_YUNITS_INTERFEROGRAM) return 0;
  const float factor = record->SSP;
  if (!ap7a_usable_factor(factor)) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  float resolution = 0.0f;
  AP1_GetResolution_MATH(factor, static_cast<int32_t>(record->NumPostPeakPts), &resolution, nullptr);
  if (!(resolution >= kLowestResolution)) resolution = kLowestResolution;
  if (!ap4b_ResizeRow(spectrum->data, k, static_cast<int32_t>(record->FinalPeakPos))) return 0;
  if (record->NumScans == 0) record->NumScans = 1;
  record->p39 = static_cast<float>(kNoiseScale / (std::sqrt(static_cast<double>(record->NumScans)) * resolution * factor));
  const uint32_t points = spectrum->data->columns;
  record->y_units = AP41_YUNITS_TRANSFORMED;
  record->first_x = -static_cast<float>(points / 2);
  record->last_x = static_cast<float>(points / 2) - 1.0f;
  record->points = points;
  record->NumTransformPts = points;
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_FFT);
  return 1;
}

uint16_t ap7a_Apodize(AP7_SPECTRUM* spectrum, uint16_t id, uint16_t ramp) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || record->y_units != AP41_YUNITS_INTERFEROGRAM) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  const auto kind = static_cast<int16_t>(id);
  const auto centre = static_cast<int32_t>(record->FinalPeakPos);
  const uint16_t done = ap7a_trims_apodization(record->BenchID)
                            ? ap4b_ApodizeTrimmed(spectrum->data, kind, static_cast<int16_t>(ramp), 0, centre)
                            : ap4b_Apodize(spectrum->data, kind, static_cast<int16_t>(ramp), centre);
  if (done) record->ApodID = id;
  return done;
}

AP7_SPECTRUM* ap7a_PhaseSpectrum(AP7_SPECTRUM* spectrum, uint32_t length, uint16_t k, uint16_t kind, uint16_t mode) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || record->y_units != AP41_YUNITS_INTERFEROGRAM) return nullptr;
  const uint64_t longest = 2 * uint64_t{record->FinalPeakPos};
  const auto segment = static_cast<int32_t>(std::min<uint64_t>({length, longest, INT32_MAX}));
  ap4a_new_array phase(
      ap4b_Phase(spectrum->data, segment, k, kind, static_cast<int32_t>(record->FinalPeakPos), mode));
  if (phase.get() == nullptr) return nullptr;
  AP7_SPECTRUM* result = ap7b_NewLike(spectrum, nullptr);
  if (result == nullptr) return nullptr;
  const uint32_t points = phase.get()->columns;
  if (!ap7a_LinkData(result, phase.get(), -static_cast<float>(points / 2), static_cast<float>(points / 2) - 1.0f,
                     points)) {
    ap7a_Delete(result, nullptr);
    return nullptr;
  }
  phase.release();
  ap7a_record(result)->y_units = AP41_YUNITS_PHASE;
  return result;
}

// The axis of the single beam runs from 0 to the folding limit, laser
// frequency over sample spacing factor: a factor that is not a positive
// number is refused before anything changes.
uint16_t ap7a_PhaseCorrect(AP7_SPECTRUM* spectrum, uint16_t mode, const AP7_SPECTRUM* phase) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || record->y_units != AP41_YUNITS_TRANSFORMED) return 0;
  if (!ap7a_usable_factor(record->SSP)) return 0;
  const AP4_ARRAY* phase_array = nullptr;
  if (static_cast<int16_t>(mode) != AP4_PHASE_MAGNITUDE) {
    const AP41_HEADERDATA* phase_record = ap7a_record(ap7a_spectrum(phase));
    if (phase_record == nullptr || phase->data == nullptr ||
        (phase_record->y_units != AP41_YUNITS_PHASE && phase_record->y_units != AP41_YUNITS_OTHER))
      return 0;
    phase_array = phase->data;
  }
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || !ap4b_PhaseCorrect(spectrum->data, static_cast<int16_t>(mode), phase_array)) return 0;
  const uint32_t points = spectrum->data->columns;
  record->PhaseCorrID = mode;
  record->y_units = AP41_YUNITS_SINGLE_BEAM;
  record->x_units = AP1_XUNIT_WAVENUMBERS;
  record->points = points;
  record->first_x = 0.0f;
  const double limit = double{record->LaserFreq} / record->SSP;
  record->last_x = points == 0 ? 0.0f : static_cast<float>((points - 1.0) * limit / points);
  return 1;
}

AP7_SPECTRUM* ap7a_FourierSelfDeconvolve(AP7_SPECTRUM* spectrum, float x1, float x2, float half_width, float factor,
                                         uint16_t mode, uint32_t size) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr) return nullptr;
  float first_value = 0.0f;
  float last_value = 0.0f;
  if (ap7d_TrimXRangeToValid(spectrum, &x1, &x2, &first_value, &last_value) <= 0) return nullptr;
  AP4_RANGE range{};
  const int32_t count = ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &range.start, &range.end);
  const double spacing = ap7b_GetXSpacing(spectrum);
  uint32_t points = size;
  if (points == 0 && !ap7a_transform_size(*record, spacing, &points)) return nullptr;
  AP7_SPECTRUM* result = ap7b_NewLike(spectrum, nullptr);
  if (result == nullptr) return nullptr;
  ap4a_new_array narrowed(ap4b_FourierSelfDeconvolve(spectrum->data, range,
                                                     static_cast<float>(half_width / spacing), factor, mode, points));
  if (narrowed.get() == nullptr) {
    ap7a_Delete(result, nullptr);
    return ap7a_Duplicate(spectrum, nullptr);
  }
  if (!ap7a_LinkData(result, narrowed.get(), x1, x2, static_cast<uint32_t>(std::max(count, 0)))) {
    ap7a_Delete(result, nullptr);
    return nullptr;
  }
  narrowed.release();
  if (const char* title = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, kDeconvolutionTitle, nullptr, nullptr)) {
    AP41_HEADERDATA* result_record = ap7a_record(result);
    std::strncpy(result_record->title, title, sizeof result_record->title - 1);
    result_record->title[sizeof result_record->title - 1] = '\0';
  }
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_SELF_DECONVOLUTION);
  ap7d_CopyListTo(spectrum, result);
  return result;
}

// A range wholly outside the data is refused: it has no columns to fill.
uint16_t ap7a_ScaleRange(AP7_SPECTRUM* spectrum, float x1, float x2, float y_low, float y_high, int16_t columns,
                         uint16_t height, uint16_t* minima, uint16_t* maxima) {
  const int32_t w = columns;
  if (w > 0) {
    if (IsBadWritePtr(minima, w * sizeof(uint16_t)) || IsBadWritePtr(maxima, w * sizeof(uint16_t))) return 0;
    std::fill(minima, minima + w, uint16_t{0x8000});
    std::fill(maxima, maxima + w, uint16_t{0x8000});
  }
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || w <= 0) return 0;
  const double spacing = ap7b_GetXSpacing(spectrum);
  if (spacing == 0.0 || !std::isfinite(spacing)) return 0;
  const double p1 = (double{x1} - record->first_x) / spacing;
  const double p2 = (double{x2} - record->first_x) / spacing;
  const double across = std::fabs(p2 - p1) + 1.0;
  const bool forward = x1 <= x2;
  float low_x = x1;
  float high_x = x2;
  AP4_RANGE range{};
  if (ap7b_XRangeToIndexRange(spectrum, &low_x, &high_x, &range.start, &range.end) <= 0) return 0;
  const double last_index = static_cast<double>(record->points) - 1.0;
  const double low_position = forward ? p1 : p2;
  const double high_position = forward ? p2 : p1;
  if (range.start.column > 0 && range.start.column > low_position) --range.start.column;
  if (range.end.column < last_index && range.end.column < high_position) ++range.end.column;
  const double m = static_cast<double>(range.end.column) - range.start.column + 1.0;

  int32_t first = 0;
  int32_t last = w - 1;
  double from = p1;
  double to = p2;
  if (ap1_TruncateToInt32(m * w / across + 0.5) < w) {
    const double per_column = (w - 1) / (across - 1.0);
    if (forward && p1 < 0.0) first = ap1_TruncateToInt32(1.0 - p1 * per_column);
    if (forward && p2 > last_index) last = ap1_TruncateToInt32((last_index - p1) * per_column + 0.5);
    if (!forward && p1 > last_index) first = ap1_TruncateToInt32((p1 - last_index) * per_column + 0.5);
    if (!forward && p2 < 0.0) last = ap1_TruncateToInt32(p1 * per_column + 0.5);
    first = std::clamp(first, 0, w - 1);
    last = std::clamp(last, 0, w - 1);
    const double step = w > 1 ? (p2 - p1) / (w - 1) : 0.0;
    from = p1 + first * step;
    to = p1 + last * step;
  }
  const int32_t used = last - first + 1;
  if (used <= 0) return 0;
  if (x1 > x2) std::swap(range.start, range.end);
  return ap4b_PlotMinMax(spectrum->data, range, y_low, y_high, static_cast<int16_t>(used), static_cast<int16_t>(height),
                         static_cast<float>(from), static_cast<float>(to), minima + first, maxima + first);
}
