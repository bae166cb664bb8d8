// The forms a collected spectrum's data are handed out in: the spectrum
// itself, its sample or background interferogram, the single beam
// transformed from either, or the transmittance of the sample against the
// background. The interferograms come from the spectrum's sub-spectra or
// its stored file; each form is a new spectrum, the spectrum itself stays as
// it is.
//
// AP7_Dispatcher_SPECTRUM calls this for messages 321 and 439; the
// multi-spectrum ratio brings its spectra to single beams through it.
#include <cmath>

#include "core/core.h"
#include "files/files.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"

namespace {

// Header values that stand in for a sample spacing factor or a laser
// frequency of 0.
constexpr float kDefaultSpacingFactor = 2.0f;
// The transform reaches this share beyond the laser frequency.
constexpr double kLaserMargin = 1.2;
// A transform of more points than 32 bits count has no size code anyway.
constexpr double kMostTransformPoints = 4294967296.0;
// The phase spectrum of a data form: 200 points, transformed at 2^10.
constexpr uint32_t kPhaseLength = 200;
constexpr uint16_t kPhaseSizeCode = 10;
constexpr float kFromPercent = 0.01f;

// The transform size: the header's, or for a spacing asked for the power of
// two whose multiple of the spacing reaches past the laser frequency,
// divided by the sample spacing factor. The whole part of a factor between
// 0 and 1 is 0, so such a factor divides in floating point, as 1/4 and 1/2
// do; a factor below 0 gives no size.
double ap7b_form_points(const AP41_HEADERDATA& record, float spacing) {
  if (!(spacing > 0.0f)) return record.NumTransformPts;
  const float stored_factor = record.SSP;
  const float factor = AP1_KovFloatCompareSG_MATH(stored_factor, 0.0f) ? kDefaultSpacingFactor : stored_factor;
  const float stored_laser = record.LaserFreq;
  const double laser = AP1_KovFloatCompareSG_MATH(stored_laser, 0.0f) ? AP7_DEFAULT_LASER : stored_laser;
  double points = 1.0;
  for (double reach = spacing; reach < kLaserMargin * laser && points < kMostTransformPoints; reach *= 2.0)
    points *= 2.0;
  if (AP1_KovFloatCompareSG_MATH(factor, 0.25f)) return 4.0 * points;
  if (AP1_KovFloatCompareSG_MATH(factor, 0.5f)) return 2.0 * points;
  if (factor >= 1.0f) return std::floor(points / std::trunc(factor));
  return factor > 0.0f ? points / factor : 0.0;
}

// The sample interferogram: the spectrum itself when its axis counts data
// points, else its stored one.
AP7_SPECTRUM* ap7b_sample_interferogram(AP7_SPECTRUM* spectrum) {
  if (ap7a_record(spectrum)->x_units == AP41_XUNITS_POINTS) return ap7a_Duplicate(spectrum, nullptr);
  return ap7b_ReadStoredSpectrum(spectrum, nullptr, AP21_SAMPLE);
}

// An interferogram transformed in place with the spectrum's apodization
// and phase correction.
bool ap7b_transform(AP7_SPECTRUM* interferogram, const AP41_HEADERDATA& record, double points) {
  const uint16_t size_code = ap7b_TransformSizeCode(points);
  const uint32_t apodization = record.ApodID;
  const uint32_t phase_mode = record.PhaseCorrID;
  return size_code != 0 && ap7b_InterferogramToSingleBeamDefault(
                               interferogram, size_code, static_cast<uint16_t>(apodization),
                               static_cast<uint16_t>(phase_mode), kPhaseLength, kPhaseSizeCode, 0, nullptr) != 0;
}

// The laser correction (mode 0) to the bench's reference laser, when asked
// for and the bench has one.
bool ap7b_correct_laser(AP7_SPECTRUM* spectrum, uint16_t laser) {
  if (laser == 0) return true;
  const float reference = AP1_GetLaserRef_MATH(1);
  return !(reference > 0.0f) || ap7e_ChangeLaserFrequency(spectrum, reference, 0) != 0;
}

// The made form, laser-corrected as asked, handed out only at the spacing
// asked for.
AP7_SPECTRUM* ap7b_finish(ap7a_new_spectrum& made, float spacing, uint16_t laser) {
  if (!ap7b_correct_laser(made.get(), laser)) return nullptr;
  if (spacing > 0.0f && !AP1_KovFloatCompareSG_MATH(std::fabs(ap7b_GetXSpacing(made.get())), spacing)) return nullptr;
  return made.release();
}

// The single beam of an interferogram read (null when there is none).
AP7_SPECTRUM* ap7b_single_beam_form(AP7_SPECTRUM* read, const AP41_HEADERDATA& record, float spacing,
                                    uint16_t laser) {
  ap7a_new_spectrum beam(read);
  if (beam.get() == nullptr || !ap7b_transform(beam.get(), record, ap7b_form_points(record, spacing))) return nullptr;
  return ap7b_finish(beam, spacing, laser);
}

// Both interferograms are needed: the sample's alone is no ratio.
AP7_SPECTRUM* ap7b_ratio_form(AP7_SPECTRUM* spectrum, const AP41_HEADERDATA& record, float spacing, uint16_t laser) {
  ap7a_new_spectrum sample(ap7b_sample_interferogram(spectrum));
  ap7a_new_spectrum background(ap7b_ReadStoredSpectrum(spectrum, nullptr, AP21_BACKGROUND));
  if (sample.get() == nullptr || background.get() == nullptr) return nullptr;
  const double points = ap7b_form_points(record, spacing);
  if (!ap7b_transform(sample.get(), record, points) || !ap7b_transform(background.get(), record, points))
    return nullptr;
  ap7a_new_spectrum ratio(ap7b_RatioAgainstBackground(sample.get(), background.get()));
  if (ratio.get() == nullptr || !ap7b_PercentToFraction(ratio.get())) return nullptr;
  return ap7b_finish(ratio, spacing, laser);
}

}  // namespace

uint16_t ap7b_PercentToFraction(AP7_SPECTRUM* spectrum) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0;
  const uint32_t units = record->y_units;
  if (units != AP1_YUNIT_PERCENT_TRANSMITTANCE && units != AP1_YUNIT_PERCENT_REFLECTANCE) return 1;
  if (!ap7a_MultiplyScalar(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, kFromPercent)) return 0;
  record->y_units = units == AP1_YUNIT_PERCENT_TRANSMITTANCE ? AP1_YUNIT_TRANSMITTANCE : AP1_YUNIT_REFLECTANCE;
  return 1;
}

AP7_SPECTRUM* ap7b_GetDataForm(AP7_SPECTRUM* spectrum, uint16_t form, float spacing, uint16_t laser) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || std::isnan(spacing)) return nullptr;
  switch (form) {
    case AP7_FORM_SPECTRUM: return ap7a_Duplicate(spectrum, nullptr);
    case AP7_FORM_SAMPLE_INTERFEROGRAM: return ap7b_sample_interferogram(spectrum);
    case AP7_FORM_BACKGROUND_INTERFEROGRAM: return ap7b_ReadStoredSpectrum(spectrum, nullptr, AP21_BACKGROUND);
    case AP7_FORM_BACKGROUND_SINGLE_BEAM:
      return ap7b_single_beam_form(ap7b_ReadStoredSpectrum(spectrum, nullptr, AP21_BACKGROUND), *record, spacing,
                                   laser);
    case AP7_FORM_RATIO: return ap7b_ratio_form(spectrum, *record, spacing, laser);
    case AP7_FORM_SAMPLE_SINGLE_BEAM: break;
    default: return nullptr;
  }
  AP7_SPECTRUM* sample = ap7b_sample_interferogram(spectrum);
  if (sample != nullptr) return ap7b_single_beam_form(sample, *record, spacing, laser);
  // A single beam without interferograms is its own sample single beam.
  if (record->y_units != AP1_YUNIT_SINGLE_BEAM) return nullptr;
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr || !ap7b_correct_laser(copy.get(), laser)) return nullptr;
  return copy.release();
}
