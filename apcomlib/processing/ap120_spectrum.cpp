// The quality checks of a collected spectrum: noise, power spectrum,
// carbon-dioxide and water bands, baseline, the ratio against a reference
// spectrum, band ratios after the laser correction, and the energy.
//
// Reached through SQ messages 75-78 (ap120.cpp); each runs inside
// ap120_check_run (ap120_checks.cpp) and measures copies of the spectrum
// with the spectrum operations, never changing the spectrum it is given.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "processing/processing.h"
#include "util/util.h"

namespace {

// Bits of messages 75-78.
constexpr uint32_t kBandRatioABit = AP121_SECOND_WORD | 1;
constexpr uint32_t kBandRatioBBit = AP121_SECOND_WORD | 2;
constexpr uint32_t kEnergyBit = AP121_SECOND_WORD | 8;
constexpr uint32_t kReferenceEnergyBit = AP121_SECOND_WORD | 0x10;
constexpr uint32_t kNoiseBit = 0x10000;
constexpr uint32_t kOutOfRangeBit = 0x20000;
constexpr uint32_t kOutOfRangeHighBit = 0x40000;
constexpr uint32_t kPowerBit = 0x80000;
constexpr uint32_t kCo2Bit = 0x100000;
constexpr uint32_t kWaterBit = 0x200000;
constexpr uint32_t kFitBit = 0x400000;
constexpr uint32_t kBaselineRangeBit = 0x800000;
constexpr uint32_t kBaselineMeanBit = 0x1000000;
constexpr uint32_t kCo2BandBit = 0x2000000;
constexpr uint32_t kWaterBandBit = 0x4000000;
constexpr uint32_t kReferenceOffsetBit = 0x8000000;
constexpr uint32_t kReferenceMatchBit = 0x20000000;
constexpr uint32_t kReferenceLowBit = 0x40000000;

// The bits of message 75 (marks and warnings alike), and those message 77
// clears besides its own.
constexpr uint32_t kSpectrumBits[] = {kBandRatioABit, kBandRatioBBit, kNoiseBit, kOutOfRangeBit, kOutOfRangeHighBit,
                                      kPowerBit, kFitBit, kCo2Bit, kWaterBit, kBaselineRangeBit, kBaselineMeanBit};
constexpr uint32_t kBandBits[] = {kCo2BandBit, kWaterBandBit, kReferenceOffsetBit, kReferenceMatchBit,
                                  kReferenceLowBit};

// A band: the X of its area measure and the baseline ends around it.
struct Band {
  float centre;
  float low;
  float high;
};
constexpr Band kCo2Band = {2360.0f, 2240.0f, 2400.0f};
constexpr Band kWaterBand = {1654.0f, 1589.0f, 1816.0f};

// Sensitivity scales (value at 1, value at 100) of each test.
struct Scale {
  float a;
  float b;
};
constexpr Scale kNoiseScale = {55.0f, 10.0f};
constexpr Scale kPowerScale = {50.0f, 8.0f};
constexpr Scale kBandScale = {100.0f, 0.0f};
constexpr Scale kPeakScale = {50.0f, 95.0f};
constexpr Scale kOutOfRangeScale = {0.1f, 3.0f};
constexpr Scale kFitScale = {6.0f, 1.2f};
// Out-of-range points are counted from here up: below it the detector
// gives no energy.
constexpr float kOutOfRangeFrom = 672.0f;

constexpr uint16_t kPercentTransmittance = 16;
constexpr uint16_t kAbsorbance = 17;
constexpr uint16_t kBaselineOrder = 2;
constexpr float kLeastReferenceSpacing = 8.0f;
// The ratio against the reference: its two flat stretches, the offset they
// may differ by, the level a peak below counts as low, and the bands the
// reference material shows.
constexpr float kFlatA[2] = {2500.0f, 2600.0f};
constexpr float kFlatB[2] = {3300.0f, 3400.0f};
constexpr float kMostOffset = 0.1f;
constexpr float kLowPeak = 80.0f;
constexpr uint32_t kMostPeaks = 100;
constexpr float kReferenceBands[] = {3082, 3060, 3025, 3001, 2923, 2849, 1601, 1493, 1452, 1028, 906, 756, 697, 539};
constexpr float kBandMatch = 10.0f;
// Band ratios: the noise region and the X of each area.
constexpr float kRatioNoiseFrom = 2600.0f;
constexpr float kRatioNoiseTo = 2300.0f;
constexpr float kRatioAX = 3360.0f;
constexpr float kRatioWaterX = 1900.0f;
constexpr float kRatioCo2X = 2400.0f;
constexpr float kRatioAFactor = 4.0f;
constexpr float kRatioBFactor = 2.5f;

float ap120_threshold(const AP13_PARAMS* settings, uint16_t sensitivity, Scale scale) {
  return ap120_Threshold(ap12x_get<float>(settings, sensitivity), scale.a, scale.b);
}

template <typename T>
void ap120_set_result(AP121_SQR* result, uint16_t number, T value) {
  GU2_SetParmValue_MSG(result, number, &value);
}

bool ap120_inside(float low, float high, float x) { return low < x && x < high; }

// The area above the line through the band's ends (message 178).
float ap120_band_area(AP7_SPECTRUM* spectrum, const Band& band) {
  float level = 0.0f, baseline = 0.0f;
  ap7b_MeasureArea(spectrum, band.centre, band.centre, band.low, band.high, &level, &baseline);
  return baseline;
}

// The area above full scale at one X (all four limits there).
float ap120_point_area(AP7_SPECTRUM* spectrum, float x) {
  float level = 0.0f, baseline = 0.0f;
  ap7b_MeasureArea(spectrum, x, x, x, x, &level, &baseline);
  return level;
}

// A band test of messages 75 and 76: mark, store the score (and beside it
// the value or the sensitivity), warn above the threshold.
void ap120_band_test(ap120_check_run& run, AP121_SQR* result, uint32_t bit, float value, float threshold,
                     uint16_t stored_parm, float stored, uint16_t score_parm) {
  run.mark(bit);
  ap120_set_result(result, stored_parm, stored);
  ap120_set_result(result, score_parm, ap120_Score(value, kBandScale.a, kBandScale.b));
  if (std::fabs(value) > threshold) run.warn(bit);
}

// The peaks of a ratio in absorbance, with its baseline removed, in
// transmittance: true when one lies below 80 percent; the peak positions
// out.
bool ap120_ratio_peaks(AP7_SPECTRUM* ratio, float low, float high, float threshold, std::vector<float>* positions) {
  ap7b_ConvertToAbsorbance(ratio, 1);
  ap7a_new_spectrum corrected(ap7e_IterativeBaselineFit(ratio, low, high, kBaselineOrder, 0,
                                                        AP7_BASELINE_DEFAULT_PASSES, AP7_BASELINE_OWN_DIRECTION));
  if (corrected.get() == nullptr) return false;
  ap7b_ConvertToTransmittance(corrected.get(), 1);
  AP4_PEAK table[kMostPeaks] = {};
  uint16_t full = 0;
  AP7_PEAKSEARCHPARM search{low, high, threshold, kLowPeak, kMostPeaks, 1, &full, table, 0, 1};
  const uint32_t found = std::min(GU2_DoMethod_MSG(AP7_MSG_PEAK_SEARCH, corrected.get(), &search), kMostPeaks);
  bool low_peak = false;
  for (uint32_t i = 0; i < found; ++i) {
    const float value = table[i].value;
    if (value < kLowPeak) low_peak = true;
    positions->push_back(table[i].position);
  }
  return low_peak;
}

// The result of a check on a spectrum, and the spectrum's X range; null
// when the settings, the result or the spectrum's header is missing.
AP121_SQR* ap120_frame(const AP120_SQ* sq, AP121_SQR* result_object, const AP7_SPECTRUM* spectrum, float* low,
                       float* high) {
  AP121_SQR* result = ap121_sqr(result_object);
  return sq != nullptr && result != nullptr && ap120_XRange(spectrum, low, high) ? result : nullptr;
}

// The baseline tests of message 75 on the copy in absorbance.
void ap120_baseline_tests(ap120_check_run& run, AP121_SQR* result, const AP13_PARAMS* settings, AP7_SPECTRUM* copy,
                          float low, float high) {
  run.mark(kBaselineRangeBit);
  run.mark(kBaselineMeanBit);
  ap7d_ConvertYUnits(copy, kAbsorbance);
  ap120_set_result(result, AP121_BASELINE_SENS, ap12x_get<float>(settings, AP120_BASELINE_SENS));
  ap7a_new_spectrum flattened(ap7e_IterativeBaselineFit(copy, low, high, kBaselineOrder, 1,
                                                        AP7_BASELINE_DEFAULT_PASSES, AP7_BASELINE_OWN_DIRECTION));
  if (flattened.get() == nullptr) return;
  // The copy less its flattened form is the baseline that was fitted.
  ap7a_new_spectrum baseline(ap7a_SubtractSpectra(copy, low, high, flattened.get()));
  if (baseline.get() == nullptr) return;
  const float threshold = ap120_threshold(settings, AP120_BASELINE_SENS, kBandScale);
  float minimum = 0.0f, maximum = 0.0f, mean = 0.0f;
  ap7a_MinMax(baseline.get(), low, high, &minimum, &maximum);
  ap7a_RangeMean(baseline.get(), low, high, &mean);
  auto transmittance = [](float absorbance) { return 100.0f - 100.0f * std::pow(10.0f, -absorbance); };
  const float d = std::fabs(transmittance(maximum) - transmittance(minimum));
  ap120_set_result(result, AP121_BASELINE_RANGE_SCORE, (d - 200.0f) * 99.0f / (2.0f * (0.0f - 100.0f)) + 1.0f);
  if (d > 2.0f * threshold) run.warn(kBaselineRangeBit);
  const float m = std::fabs(transmittance(mean));
  ap120_set_result(result, AP121_BASELINE_MEAN_SCORE, ap120_Score(m, kBandScale.a, kBandScale.b));
  if (m > threshold) run.warn(kBaselineMeanBit);
}

}  // namespace

// ---------------------------------------------------------------------------
// Message 75

uint32_t ap120_SpectrumChecks(AP120_SQ* sq, const AP120_SPECTRUMPARM* block) {
  AP7_SPECTRUM* spectrum = block->spectrum;
  float low = 0.0f, high = 0.0f;
  AP121_SQR* result = ap120_frame(sq, block->result, spectrum, &low, &high);
  if (result == nullptr) return AP120_REFUSED;
  const size_t n = std::size(kSpectrumBits);
  ap120_check_run run(result, kSpectrumBits, n, kSpectrumBits, n, nullptr, 0);
  const AP13_PARAMS* settings = sq->params;
  if (!ap12x_on(settings, AP120_MASTER) || !ap12x_on(settings, AP120_CHECKS_ON)) return run.finish();

  const AP41_HEADERDATA& header = ap7b_GetHeader(spectrum)->data;
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr) return run.finish();
  float xlo = static_cast<float>(ap12x_get<uint32_t>(result->params, AP121_EXPECTED_LOW));
  float xhi = static_cast<float>(ap12x_get<uint32_t>(result->params, AP121_EXPECTED_HIGH));
  uint16_t range_low = 0, range_high = 0;
  AP1_CalcMaxRng_MATH(static_cast<int16_t>(header.SourceID), static_cast<int16_t>(header.BeamSplitterID),
                      static_cast<int16_t>(header.DetectorID),
                      static_cast<int16_t>(ap12x_get<uint16_t>(result->params, AP121_WINDOW)), &range_low, &range_high);
  if (range_low < range_high) {
    xlo = std::max(xlo, static_cast<float>(range_low));
    xhi = std::min(xhi, static_cast<float>(range_high));
  }
  ap7b_ClampXRange(copy.get(), &xlo, &xhi);
  const bool converted = ap7d_ConvertYUnits(copy.get(), kPercentTransmittance) != 0;

  if (ap12x_on(settings, AP120_NOISE_ON)) {
    run.mark(kNoiseBit);
    const float threshold = ap120_threshold(settings, AP120_NOISE_SENS, kNoiseScale);
    float noise = 0.0f, span = 0.0f;
    ap7c_PeakToPeakNoise(copy.get(), 0.0f, 0.0f, &noise, &span, 1);
    const float ratio = noise != 0.0f ? span / noise : 1.0f;
    if (ratio < threshold) run.warn(kNoiseBit);
  }
  if (ap12x_on(settings, AP120_OUT_OF_RANGE_ON)) {
    run.mark(kOutOfRangeBit);
    run.mark(kOutOfRangeHighBit);
    AP4_ARRAY* counts = nullptr;
    ap7f_CountOutOfRangePoints(spectrum, AP7F_COUNT_RUNS, ap120_threshold(settings, AP120_OUT_OF_RANGE_SENS, kOutOfRangeScale),
                               kOutOfRangeFrom, high, &counts);
    ap4a_new_array owned(counts);
    ap120_set_result(result, AP121_OUT_OF_RANGE_SENS, ap12x_get<float>(settings, AP120_OUT_OF_RANGE_SENS));
    const float* at = counts != nullptr ? ap4a_GetDataAddress(counts) : nullptr;
    if (at != nullptr && ap1_TruncateToInt32(at[2]) != 0) run.warn(kOutOfRangeBit);
    if (at != nullptr && at[3] != 0.0f) run.warn(kOutOfRangeHighBit);
  }
  if (ap12x_on(settings, AP120_POWER_ON)) {
    run.mark(kPowerBit);
    AP4_ARRAY* verdict = nullptr;
    ap7a_new_spectrum power(ap7g_SpectrumPowerTransform(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 0,
                                                        ap120_threshold(settings, AP120_POWER_SENS, kPowerScale),
                                                        &verdict));
    ap4a_new_array values(verdict);
    ap120_set_result(result, AP121_POWER_SENS, ap12x_get<float>(settings, AP120_POWER_SENS));
    const float* at = verdict != nullptr ? ap4a_GetDataAddress(verdict) : nullptr;
    if (at != nullptr && at[0] == 1.0f) {
      run.warn(kPowerBit);
      ap120_set_result(result, AP121_POWER_VALUE, at[1]);
    }
  }
  if (ap12x_on(settings, AP120_FIT_ON)) {
    run.mark(kFitBit);
    AP4_ARRAY* fit = nullptr;
    const AP7F_ROBUSTPARM robust{1, 0, 1, 1, AP7F_DIRECTION_OWN, AP7F_OUTPUT_CLASSES, 0, 0, AP_NOT_GIVEN, AP_NOT_GIVEN,
                                 ap120_threshold(settings, AP120_FIT_SENS, kFitScale), 1.0f, 1.0f, &fit};
    ap7a_new_spectrum baseline(ap7f_RobustPolynomialBaseline(spectrum, &robust));
    ap4a_new_array owned(fit);
    ap120_set_result(result, AP121_FIT_SENS, ap12x_get<float>(settings, AP120_FIT_SENS));
    const float* at = fit != nullptr ? ap4a_GetDataAddress(fit) : nullptr;
    if (at != nullptr && (at[3] > 0.0f || at[4] > 0.0f)) run.warn(kFitBit);
  }
  if (ap12x_on(settings, AP120_CO2_ON) && converted && ap120_inside(low, high, kCo2Band.low) &&
      ap120_inside(low, high, kCo2Band.high)) {
    const float area = ap120_band_area(copy.get(), kCo2Band);
    ap120_band_test(run, result, kCo2Bit, area, ap120_threshold(settings, AP120_CO2_SENS, kBandScale),
                    AP121_CO2_AREA, area, AP121_CO2_SCORE);
  }
  if (ap12x_on(settings, AP120_WATER_ON) && converted && ap120_inside(low, high, kWaterBand.low) &&
      ap120_inside(low, high, kWaterBand.high)) {
    const float area = ap120_band_area(copy.get(), kWaterBand);
    ap120_band_test(run, result, kWaterBit, area, ap120_threshold(settings, AP120_WATER_SENS, kBandScale),
                    AP121_WATER_AREA, area, AP121_WATER_SCORE);
  }
  if (ap12x_on(settings, AP120_BASELINE_ON)) ap120_baseline_tests(run, result, settings, copy.get(), low, high);
  return run.finish();
}

// ---------------------------------------------------------------------------
// Message 76

uint32_t ap120_BandChecks(AP120_SQ* sq, const AP120_SPECTRUMPARM* block) {
  AP7_SPECTRUM* spectrum = block->spectrum;
  float low = 0.0f, high = 0.0f;
  AP121_SQR* result = ap120_frame(sq, block->result, spectrum, &low, &high);
  if (result == nullptr) return AP120_REFUSED;
  const size_t n = std::size(kBandBits);
  ap120_check_run run(result, kBandBits, n, kBandBits, n, nullptr, 0);
  const AP13_PARAMS* settings = sq->params;
  if (!ap12x_on(settings, AP120_MASTER) || !ap12x_on(settings, AP120_SPECTRUM_ON)) return run.finish();
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr) return run.finish();

  const bool co2 = ap12x_on(settings, AP120_CO2_BAND_ON);
  const bool water = ap12x_on(settings, AP120_WATER_BAND_ON);
  float full = 1.0f;
  if (co2 || water) {
    float minimum = 0.0f, maximum = 0.0f;
    ap7a_MinMax(copy.get(), low, high, &minimum, &maximum);
    full = maximum - minimum;
  }
  if (co2 && ap120_inside(low, high, kCo2Band.low) && ap120_inside(low, high, kCo2Band.high)) {
    ap120_band_test(run, result, kCo2BandBit, ap120_band_area(copy.get(), kCo2Band) * 100.0f / full,
                    ap120_threshold(settings, AP120_CO2_BAND_SENS, kBandScale), AP121_CO2_BAND_SENS,
                    ap12x_get<float>(settings, AP120_CO2_BAND_SENS), AP121_CO2_BAND_SCORE);
  }
  if (water && ap120_inside(low, high, kWaterBand.low) && ap120_inside(low, high, kWaterBand.high)) {
    ap120_band_test(run, result, kWaterBandBit, ap120_band_area(copy.get(), kWaterBand) * 100.0f / full,
                    ap120_threshold(settings, AP120_WATER_BAND_SENS, kBandScale), AP121_WATER_BAND_SENS,
                    ap12x_get<float>(settings, AP120_WATER_BAND_SENS), AP121_WATER_BAND_SCORE);
  }

  auto* reference = reinterpret_cast<AP7_SPECTRUM*>(static_cast<uintptr_t>(ap12x_get<uint32_t>(settings, AP120_REFERENCE)));
  if (ap12x_on(settings, AP120_REFERENCE_ON) && reference != nullptr) {
    ap7a_new_spectrum reference_copy(ap7a_Duplicate(reference, nullptr));
    if (reference_copy.get() != nullptr) {
      const float spacing = std::max({kLeastReferenceSpacing, ap7b_GetXSpacing(copy.get()),
                                      ap7b_GetXSpacing(reference_copy.get())});
      ap7a_new_spectrum resampled(ap7d_InterpolateBySubdivision(copy.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, spacing));
      ap7a_new_spectrum resampled_reference(
          ap7d_InterpolateBySubdivision(reference_copy.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, spacing));
      ap7a_Delete(reference_copy.release(), nullptr);
      ap7a_new_spectrum ratio(resampled.get() != nullptr && resampled_reference.get() != nullptr
                                  ? ap7b_RatioAgainstBackground(resampled.get(), resampled_reference.get())
                                  : nullptr);
      if (ratio.get() != nullptr) {
        ap7b_ConvertToAbsorbance(ratio.get(), 1);
        if (low < kFlatA[0] && kFlatA[1] < high && low < kFlatB[0] && kFlatB[1] < high) {
          run.mark(kReferenceOffsetBit);
          float mean_a = 0.0f, mean_b = 0.0f;
          ap7a_RangeMean(ratio.get(), kFlatA[0], kFlatA[1], &mean_a);
          ap7a_RangeMean(ratio.get(), kFlatB[0], kFlatB[1], &mean_b);
          if (std::fabs(mean_a - mean_b) > kMostOffset) run.warn(kReferenceOffsetBit);
        }
        std::vector<float> peaks;
        const bool low_peak = ap120_ratio_peaks(ratio.get(), low, high,
                                                ap120_threshold(settings, AP120_PEAK_SENS, kPeakScale), &peaks);
        ap120_set_result(result, AP121_PEAK_SENS, ap12x_get<float>(settings, AP120_PEAK_SENS));
        run.mark(kReferenceMatchBit);
        size_t matches = 0;
        for (float peak : peaks) {
          for (float band : kReferenceBands) {
            if (std::fabs(peak - band) < kBandMatch) ++matches;
          }
        }
        if (matches == std::size(kReferenceBands)) {
          run.warn(kReferenceMatchBit);
        } else {
          run.mark(kReferenceLowBit);
          if (low_peak) run.warn(kReferenceLowBit);
        }
      }
    }
  }
  if (ap12x_on(settings, AP120_COPY_P51_ON))
    ap120_set_result(result, AP121_PEAK_SENS, ap12x_get<float>(settings, AP120_P51));
  return run.finish();
}

// ---------------------------------------------------------------------------
// Message 77

uint32_t ap120_BandRatioChecks(AP120_SQ* sq, const AP120_BANDRATIOPARM* block) {
  AP121_SQR* result = ap121_sqr(block->result);
  if (sq == nullptr || result == nullptr || ap7b_GetHeader(block->spectrum) == nullptr) return AP120_REFUSED;
  const size_t n = std::size(kSpectrumBits);
  ap120_check_run run(result, kSpectrumBits, n, kSpectrumBits, n, nullptr, 0);
  const AP13_PARAMS* settings = sq->params;
  if (!ap12x_on(settings, AP120_MASTER) || !ap12x_on(settings, AP120_BAND_RATIO_ON)) return run.finish();
  ap7a_new_spectrum copy(ap7a_Duplicate(block->spectrum, nullptr));
  if (copy.get() == nullptr) return run.finish();
  ap7d_SetRamanLaserFreq(copy.get(), block->laser);
  const bool first = ap12x_on(settings, AP120_BAND_RATIO_A);
  const bool second = ap12x_on(settings, AP120_BAND_RATIO_B);
  float noise = 0.0f, span = 0.0f;
  if (first || second) ap7c_PeakToPeakNoise(copy.get(), kRatioNoiseFrom, kRatioNoiseTo, &noise, &span, 0);
  if (first) {
    run.mark(kBandRatioABit);
    const float area = ap120_point_area(copy.get(), kRatioAX);
    if (noise != 0.0f && kRatioAFactor * noise < area) run.warn(kBandRatioABit);
  }
  if (second) {
    run.mark(kBandRatioBBit);
    const float water = ap120_point_area(copy.get(), kRatioWaterX);
    const float co2 = ap120_point_area(copy.get(), kRatioCo2X);
    if (noise != 0.0f && kRatioBFactor * noise + co2 < water) run.warn(kBandRatioBBit);
  }
  return run.finish();
}

// ---------------------------------------------------------------------------
// Message 78

uint32_t ap120_EnergyCheck(AP120_SQ* sq, const AP120_ENERGYPARM* block) {
  AP7_SPECTRUM* spectrum = block->spectrum;
  float low = 0.0f, high = 0.0f;
  AP121_SQR* result = ap120_frame(sq, block->result, spectrum, &low, &high);
  if (result == nullptr) return AP120_REFUSED;
  const uint32_t energy[] = {kEnergyBit};
  ap120_check_run run(result, energy, 1, energy, 1, nullptr, 0);
  float minimum = 0.0f, maximum = 0.0f;
  ap7a_MinMax(spectrum, low, high, &minimum, &maximum);
  const float largest = std::max(std::fabs(minimum), std::fabs(maximum));
  float reference_level = 1.0f;
  if (GU9_BenchGetKeyFloat("CollectDefaults", "ReferenceLevel", 1.0f, &reference_level) == 0) reference_level = 1.0f;
  if (largest < reference_level) {
    run.warn(kEnergyBit);
    return run.finish();
  }
  if (block->second == nullptr) return run.finish();

  const AP41_HEADERDATA& header = ap7b_GetHeader(spectrum)->data;
  uint16_t error = 0;
  const AP7_REPROCESSPARM reprocess{nullptr, -1, static_cast<int32_t>(header.points - header.FinalPeakPos),
                                    static_cast<int32_t>(header.NumTransformPts), static_cast<uint16_t>(header.ApodID),
                                    static_cast<uint16_t>(header.PhaseCorrID), 200, 1024, 15, 0, 1, 6000.0f, 0.0f, 0,
                                    nullptr, &error};
  ap7a_new_spectrum beam(ap7b_ReprocessInterferograms(spectrum, &reprocess));
  if (beam.get() == nullptr) return run.finish();
  ap7a_new_spectrum resampled(
      ap7d_InterpolateBySubdivision(block->second, AP_NOT_GIVEN, AP_NOT_GIVEN, ap7b_GetXSpacing(beam.get())));
  if (resampled.get() == nullptr) return run.finish();
  ap7a_new_spectrum ratio(ap7b_RatioAgainstBackground(resampled.get(), beam.get()));
  if (ratio.get() == nullptr) return run.finish();
  std::vector<float> peaks;
  if (!ap120_ratio_peaks(ratio.get(), low, high, ap120_threshold(sq->params, AP120_PEAK_SENS, kPeakScale), &peaks))
    run.warn(kReferenceEnergyBit);
  return run.finish();
}
