// The analysis half of the SPECTRUM class's message table: the processing
// messages, each checked for its parameter block and handed to the module
// that answers it. The spectrum dispatcher sends here every number it does
// not answer itself; a number neither table lists answers 0.
#include "processing/processing.h"

#include "platform/memory.h"

namespace {

// Size of the parameter block each analysis message reads, checked before
// the block is unpacked.
uint32_t ap7_analysis_block_size(uint16_t message) {
  switch (message) {
    case AP7_MSG_POWER_SPECTRUM: return sizeof(AP7G_POWERPARM);
    case AP7_MSG_KK_ATR_CORRECTION: return sizeof(AP7G_ATRPARM);
    case AP7_MSG_KK_REFLECTANCE: return sizeof(AP7G_KKPARM);
    case AP7_MSG_POLY_BASELINE: return sizeof(AP7_POLYBASELINEPARM);
    case AP7_MSG_X_INSIDE: return sizeof(float);
    case AP7_MSG_POLY_BASELINE_EX: return sizeof(AP7_POLYBASELINEEXPARM);
    case AP7_MSG_BUILD_NUMBERED: return sizeof(AP7_NUMBEREDPARM);
    case AP7_MSG_BUILD_EIGEN: return sizeof(AP7_EIGENPARM);
    case AP7_MSG_BUILD_PURE: return sizeof(AP7_PUREPARM);
    case AP7_MSG_SIGNAL_CORRECT: return sizeof(AP7_SIGNALCORRECTPARM);
    case AP7_MSG_RUNNING_CORRELATION: return sizeof(AP7_RUNNINGCORRELATIONPARM);
    case AP7_MSG_RUNNING_VARIANCE: return sizeof(AP7_RUNNINGVARIANCEPARM);
    case AP7_MSG_RUNNING_MEAN: return sizeof(AP7_RUNNINGMEANPARM);
    case AP7_MSG_MEASURE_BASELINE:
    case AP7_MSG_MEASURE_PEAK:
    case AP7_MSG_MEASURE_WITH_SLOPE: return sizeof(AP7_MEASUREREC);
    case AP7_MSG_MEASURE_REGION: return sizeof(AP7_MEASUREREGIONPARM);
    case AP7_MSG_INTERFEROGRAM_TO_SPECTRUM: return sizeof(uint16_t);
    case AP7_MSG_PEAK_CENTROID: return sizeof(AP7_CENTROIDPARM);
    case AP7_MSG_PEAK_TO_PEAK_NOISE: return sizeof(AP7_NOISEPARM);
    case AP7_MSG_NEG_LOG_ONE_PLUS_RATIO: return sizeof(uint16_t);
    case AP7_MSG_SECOND_DERIVATIVE_PEAKS:
    case AP7_MSG_SECOND_DERIVATIVE_PEAKS_AT: return sizeof(AP7_DERIVATIVEPEAKSPARM);
    case AP7_MSG_LIST_STATISTICS: return sizeof(AP7_LISTSTATISTICSPARM);
    case AP7_MSG_X_TO_WAVENUMBERS:
    case AP7_MSG_X_TO_MICROMETRES:
    case AP7_MSG_X_TO_NANOMETRES: return sizeof(AP7_XUNITSPARM);
    case AP7_MSG_SPECTRAL_FORMULA: return sizeof(AP7_FORMULAPARM);
    case AP7_MSG_ROBUST_POLY_BASELINE:
    case AP7_MSG_ROBUST_CUBIC_BASELINE: return sizeof(AP7F_ROBUSTPARM);
    case AP7_MSG_REMOVE_MULTIPOINT_BASELINE: return sizeof(AP7C_MULTIPOINTPARM);
    case AP7_MSG_BASELINE_REMOVED: return sizeof(AP7C_REGIONFITPARM);
    case AP7_MSG_CLEAN_REGION_COPY: return sizeof(AP7F_CLEANREGIONPARM);
    case AP7_MSG_COUNT_OUT_OF_RANGE: return sizeof(AP7F_COUNTPARM);
    case AP7_MSG_SET_X_EXTENT: return sizeof(AP7F_EXTENTPARM);
    case AP7_MSG_SUPPRESS_AND_BASELINE: return sizeof(AP7F_SUPPRESSPARM);
    case AP7_MSG_MIR_SPLINE_BASELINE: return sizeof(AP7G_MIRSPLINEPARM);
    case AP7_MSG_APPLY_CORRECTION_FILE: return sizeof(float);
    case AP7_MSG_CENTRE_SHIFT: return sizeof(AP7F_CENTRESHIFTPARM);
    case AP7_MSG_SMOOTH_WITH_OPTIONS: return sizeof(AP7F_SMOOTHPARM);
    case AP7_MSG_FIRST_DIFFERENCE: return sizeof(AP7F_DIFFERENCEPARM);
    case AP7_MSG_DECIMATE: return sizeof(float);
    case AP7_MSG_UNFPS: return sizeof(int32_t);
    case AP7_MSG_SIMPLE_INTEGRAL: return sizeof(AP7F_INTEGRALPARM);
    case AP7_MSG_SET_LASER_FREQUENCY: return sizeof(AP7_VALUEPARM);
    case AP7_MSG_CHANGE_LASER_FREQUENCY_MODE: return sizeof(AP7E_LASERPARM);
    case AP7_MSG_SUPPRESS_WATER:
    case AP7_MSG_SUPPRESS_CO2:
    case AP7_MSG_SUPPRESS_ATMOSPHERE: return sizeof(AP7E_SUPPRESSPARM);
    case AP7_MSG_BUILD_ATMOS_REFERENCES: return sizeof(AP7E_REFERENCESPARM);
    case AP7_MSG_SUBTRACT_REFERENCE: return sizeof(AP7E_SUBTRACTPARM);
    case AP7_MSG_MATCH_REFERENCE: return sizeof(uint16_t);
    case AP7_MSG_FIND_BEST_SHIFT: return sizeof(AP7E_BESTSHIFTPARM);
    case AP7_MSG_ATMOS_COMPARE: return sizeof(AP7E_ATMOSCOMPAREPARM);
    case AP7_MSG_COMPARE_COLLECT_PARAMS: return sizeof(AP7E_COMPAREPARM);
    case AP7_MSG_DERIVE_COLLECT_PARAMS: return sizeof(AP7E_DERIVEPARM);
    default: return 0;
  }
}

AP7_SPECTRUM* ap7g_power_transform(AP7_SPECTRUM* spectrum, const AP7G_POWERPARM* p) {
  return ap7g_SpectrumPowerTransform(spectrum, p->x1, p->x2, p->mode, p->limit, p->result);
}

AP7_SPECTRUM* ap7g_atr_correction(AP7_SPECTRUM* spectrum, const AP7G_ATRPARM* p) {
  return ap7g_ATRCorrection(spectrum, p->sample_index, p->crystal_index, p->reflections, p->angle);
}

uint32_t ap7g_kk_reflectance(AP7_SPECTRUM* spectrum, const AP7G_KKPARM* p) {
  return ap7g_KramersKronigReflectance(spectrum, p->n, p->k, p->absorption);
}

}  // namespace

uint32_t ap7_AnalysisMessage(AP7_SPECTRUM* spectrum, uint16_t message, void* parameter) {
  if (spectrum == nullptr || IsBadReadPtr(parameter, ap7_analysis_block_size(message))) return 0;
  auto* record = static_cast<AP7_MEASUREREC*>(parameter);
  const auto* region = static_cast<const AP7_MEASUREREGIONPARM*>(parameter);
  const auto* noise = static_cast<const AP7_NOISEPARM*>(parameter);
  const auto* centroid = static_cast<const AP7_CENTROIDPARM*>(parameter);
  const auto* peaks = static_cast<const AP7_DERIVATIVEPEAKSPARM*>(parameter);
  switch (message) {
    case AP7_MSG_POWER_SPECTRUM: return ap_object_result(ap7g_power_transform(spectrum, static_cast<const AP7G_POWERPARM*>(parameter)));
    case AP7_MSG_KK_ATR_CORRECTION: return ap_object_result(ap7g_atr_correction(spectrum, static_cast<const AP7G_ATRPARM*>(parameter)));
    case AP7_MSG_KK_REFLECTANCE: return ap7g_kk_reflectance(spectrum, static_cast<const AP7G_KKPARM*>(parameter));
    // Message 203 is message 273 with the offset, the default passes and
    // the spectrum's own peak direction.
    case AP7_MSG_POLY_BASELINE: {
      const auto* p = static_cast<const AP7_POLYBASELINEPARM*>(parameter);
      return ap_object_result(ap7e_IterativeBaselineFit(spectrum, p->x1, p->x2, p->order, 1, AP7_BASELINE_DEFAULT_PASSES, AP7_BASELINE_OWN_DIRECTION));
    }
    case AP7_MSG_X_INSIDE: return ap7e_XInRange(spectrum, *static_cast<const float*>(parameter));
    case AP7_MSG_POLY_BASELINE_EX: {
      const auto* p = static_cast<const AP7_POLYBASELINEEXPARM*>(parameter);
      return ap_object_result(ap7e_IterativeBaselineFit(spectrum, p->x1, p->x2, p->order, p->offset, p->passes, p->direction));
    }
    case AP7_MSG_BUILD_NUMBERED: {
      const auto* p = static_cast<const AP7_NUMBEREDPARM*>(parameter);
      return ap_object_result(AP7_BuildNumberedSpectrum_SPECTRUM(spectrum, p->array, p->column, p->mode, p->text));
    }
    case AP7_MSG_BUILD_EIGEN: {
      const auto* p = static_cast<const AP7_EIGENPARM*>(parameter);
      return ap_object_result(AP7_BuildEigenSpectrum_SPECTRUM(spectrum, p->array, p->column, p->a, p->b));
    }
    case AP7_MSG_BUILD_PURE: {
      const auto* p = static_cast<const AP7_PUREPARM*>(parameter);
      return ap_object_result(AP7_BuildPureSpectrum_SPECTRUM(spectrum, p->array, p->column, p->title, p->reference));
    }
    case AP7_MSG_SIGNAL_CORRECT: {
      const auto* p = static_cast<const AP7_SIGNALCORRECTPARM*>(parameter);
      return ap_object_result(AP7_SignalCorrect_SPECTRUM(spectrum, p->other, p->x1, p->x2, p->scale, p->offset, p->limit, p->low, p->high, p->slope_out, p->offset_out));
    }
    // The running statistics take the block alone, not the spectrum the
    // message was sent to.
    case AP7_MSG_RUNNING_CORRELATION: {
      const auto* p = static_cast<const AP7_RUNNINGCORRELATIONPARM*>(parameter);
      return AP7_Correlation_SPECTRUM(p->spectrum, p->x1, p->x2, p->n, p->count, p->sum_x, p->sum_x2, p->property, p->sum_y, p->sum_y2, p->sum_xy, p->output);
    }
    case AP7_MSG_RUNNING_VARIANCE: {
      const auto* p = static_cast<const AP7_RUNNINGVARIANCEPARM*>(parameter);
      return AP7_KX_Variance_SPECTRUM(p->spectrum, p->x1, p->x2, p->n, p->count, p->sum, p->squares, p->output);
    }
    case AP7_MSG_RUNNING_MEAN: {
      const auto* p = static_cast<const AP7_RUNNINGMEANPARM*>(parameter);
      return AP7_Mean_SPECTRUM(p->spectrum, p->x1, p->x2, p->n, p->count, p->sum, p->output);
    }
    case AP7_MSG_MEASURE_BASELINE:           return ap7e_MeasureBaseline(spectrum, record);
    case AP7_MSG_MEASURE_PEAK:               return ap7e_MeasurePeak(spectrum, record);
    case AP7_MSG_MEASURE_WITH_SLOPE:         return ap7e_MeasureWithSlope(spectrum, record);
    case AP7_MSG_MEASURE_REGION:             return ap_object_result(ap7e_MeasureRegion(spectrum, region->record, region->upper, region->lower, region->reverse, region->count, region->mask, region->start_index));
    case AP7_MSG_INTERFEROGRAM_TO_SPECTRUM:  return ap_object_result(ap7c_InterferogramToSpectrum(spectrum, static_cast<uint16_t*>(parameter)));
    case AP7_MSG_PEAK_CENTROID:              return static_cast<uint32_t>(ap7c_PeakCentroid(spectrum, centroid->x, centroid->fraction, centroid->result_x));
    case AP7_MSG_PEAK_TO_PEAK_NOISE:         return static_cast<uint32_t>(ap7c_PeakToPeakNoise(spectrum, noise->x1, noise->x2, noise->noise, noise->span, noise->exclude));
    case AP7_MSG_NEG_LOG_ONE_PLUS_RATIO:     return static_cast<uint32_t>(ap7c_NegLogOnePlusRatio(spectrum, static_cast<AP7_SPECTRUM*>(parameter)));
    case AP7_MSG_SECOND_DERIVATIVE_PEAKS:    return ap7c_FindPeaks2ndDerivative(spectrum, peaks->x1, peaks->x2, peaks->half_width, peaks->max_count, peaks->mode, AP7C_DEFAULT_PEAK_THRESHOLD, peaks->list);
    case AP7_MSG_SECOND_DERIVATIVE_PEAKS_AT: return ap7c_FindPeaks2ndDerivative(spectrum, peaks->x1, peaks->x2, peaks->half_width, peaks->max_count, peaks->mode, peaks->threshold, peaks->list);
    case AP7_MSG_LIST_STATISTICS: {
      const auto* block = static_cast<const AP7_LISTSTATISTICSPARM*>(parameter);
      return ap_object_result(ap7e_ListStatistics(block->items, block->derivative, block->statistic, block->status));
    }
    case AP7_MSG_X_TO_WAVENUMBERS: return ap7c_XAxisToWavenumbers(spectrum, static_cast<const AP7_XUNITSPARM*>(parameter)->step);
    case AP7_MSG_X_TO_MICROMETRES: return ap7c_XAxisToMicrometres(spectrum, static_cast<const AP7_XUNITSPARM*>(parameter)->step);
    case AP7_MSG_X_TO_NANOMETRES:  return ap7c_XAxisToNanometres(spectrum, static_cast<const AP7_XUNITSPARM*>(parameter)->step);
    case AP7_MSG_SPECTRAL_FORMULA: {
      const auto* block = static_cast<const AP7_FORMULAPARM*>(parameter);
      return ap_object_result(ap7c_ParseSpectralFormula(spectrum, block->b, block->text, block->k));
    }
    case AP7_MSG_ROBUST_POLY_BASELINE: return ap_object_result(ap7f_RobustPolynomialBaseline(spectrum, static_cast<const AP7F_ROBUSTPARM*>(parameter)));
    case AP7_MSG_ROBUST_CUBIC_BASELINE: return ap_object_result(ap7f_RobustCubicBaseline(spectrum, static_cast<const AP7F_ROBUSTPARM*>(parameter)));
    case AP7_MSG_REMOVE_MULTIPOINT_BASELINE: {
      const auto* p = static_cast<const AP7C_MULTIPOINTPARM*>(parameter);
      return static_cast<uint16_t>(AP7_RemoveMultipointBaseline_SPECTRUM(spectrum, p->mode, p->degree, p->table));
    }
    case AP7_MSG_BASELINE_REMOVED: {
      const auto* p = static_cast<const AP7C_REGIONFITPARM*>(parameter);
      return static_cast<uint16_t>(AP7_BaselineRemoved_SPECTRUM(spectrum, p->x1, p->x2, p->mode));
    }
    case AP7_MSG_CLEAN_REGION_COPY: {
      const auto* p = static_cast<const AP7F_CLEANREGIONPARM*>(parameter);
      return ap_object_result(ap7f_CleanRegionCopy(spectrum, p->keep_sign, p->absorbance, p->band_guard, p->output, p->x1, p->x2, p->result));
    }
    case AP7_MSG_COUNT_OUT_OF_RANGE: {
      const auto* p = static_cast<const AP7F_COUNTPARM*>(parameter);
      return ap7f_CountOutOfRangePoints(spectrum, p->mode, p->limit, p->x1, p->x2, p->result);
    }
    case AP7_MSG_SET_X_EXTENT: {
      const auto* p = static_cast<const AP7F_EXTENTPARM*>(parameter);
      return static_cast<uint16_t>(ap7f_SetXExtent(spectrum, p->x1, p->x2, p->extend));
    }
    case AP7_MSG_SUPPRESS_AND_BASELINE: {
      const auto* p = static_cast<const AP7F_SUPPRESSPARM*>(parameter);
      return ap_object_result(ap7f_SuppressAndBaseline(spectrum, p->x1, p->x2, p->water, p->co2, p->baseline, p->water_reference, p->co2_reference));
    }
    case AP7_MSG_MIR_SPLINE_BASELINE: {
      const auto* p = static_cast<const AP7G_MIRSPLINEPARM*>(parameter);
      return ap_object_result(AP7_MIRSplineSB_SPECTRUM(spectrum, p->output, p->mode, p->x1, p->x2));
    }
    // Messages 282 and 299 take a text and the flag word as the parameter.
    case AP7_MSG_BUILD_CORRECTION_FILES: return ap7e_BuildCorrectionFiles(static_cast<const char*>(parameter));
    case AP7_MSG_APPLY_CORRECTION_FILE:  return ap_object_result(ap7e_ApplyCorrection(spectrum, static_cast<float*>(parameter)));
    case AP7_MSG_CENTRE_SHIFT: {
      const auto* p = static_cast<const AP7F_CENTRESHIFTPARM*>(parameter);
      return ap_object_result(ap7f_CentreShift(spectrum, p->mode, p->shift, p->used));
    }
    case AP7_MSG_FOLD_RECORD: return ap_object_result(ap7f_FoldRecord(spectrum));
    case AP7_MSG_SMOOTH_WITH_OPTIONS: {
      const auto* p = static_cast<const AP7F_SMOOTHPARM*>(parameter);
      return ap_object_result(AP7_SmoothWithOptions_SPECTRUM(spectrum, p->x1, p->x2, p->coefficients, p->option));
    }
    case AP7_MSG_SPECTRUM_INFO_TEXT: return ap_object_result(ap7c_BuildSpectrumInfoText(spectrum, static_cast<uint16_t>(reinterpret_cast<uintptr_t>(parameter))));
    case AP7_MSG_FIRST_DIFFERENCE: {
      const auto* p = static_cast<const AP7F_DIFFERENCEPARM*>(parameter);
      return ap_object_result(AP7_FirstDifferencePlus_SPECTRUM(spectrum, p->regions, p->count));
    }
    case AP7_MSG_DECIMATE: return ap_object_result(AP7_Decimate_SPECTRUM(spectrum, *static_cast<const float*>(parameter)));
    case AP7_MSG_UNFPS:    return ap_object_result(AP7_UnFPS_SPECTRUM(spectrum, *static_cast<const int32_t*>(parameter)));
    case AP7_MSG_SIMPLE_INTEGRAL: {
      const auto* p = static_cast<const AP7F_INTEGRALPARM*>(parameter);
      return ap_object_result(AP7_SimpleIntegral_SPECTRUM(spectrum, p->x1, p->x2, p->mode, p->offset_mode, p->level, p->mean_level));
    }
    case AP7_MSG_SET_LASER_FREQUENCY: return ap7e_SetLaserFrequency(spectrum, static_cast<const AP7_VALUEPARM*>(parameter)->value);
    case AP7_MSG_CHANGE_LASER_FREQUENCY_MODE: {
      const auto* block = static_cast<const AP7E_LASERPARM*>(parameter);
      return ap7e_ChangeLaserFrequency(spectrum, block->frequency, block->mode);
    }
    case AP7_MSG_SUPPRESS_WATER: {
      const auto* block = static_cast<const AP7E_SUPPRESSPARM*>(parameter);
      return ap_object_result(ap7e_SuppressWater(spectrum, block->reference, block->match));
    }
    case AP7_MSG_SUPPRESS_CO2: {
      const auto* block = static_cast<const AP7E_SUPPRESSPARM*>(parameter);
      return ap_object_result(ap7e_SuppressCO2(spectrum, block->reference, block->match));
    }
    case AP7_MSG_SUPPRESS_ATMOSPHERE: {
      const auto* block = static_cast<const AP7E_SUPPRESSPARM*>(parameter);
      return ap_object_result(ap7e_SuppressAtmosphere(spectrum, block->reference, block->match));
    }
    case AP7_MSG_BUILD_ATMOS_REFERENCES: {
      const auto* block = static_cast<const AP7E_REFERENCESPARM*>(parameter);
      return ap7e_BuildAtmosReferences(spectrum, block->water, block->co2);
    }
    case AP7_MSG_SUBTRACT_REFERENCE: {
      const auto* block = static_cast<const AP7E_SUBTRACTPARM*>(parameter);
      return ap_object_result(ap7e_SubtractReference(spectrum, block->reference, block->x1, block->x2));
    }
    case AP7_MSG_MATCH_REFERENCE: return ap_object_result(ap7e_MatchReference(spectrum, static_cast<AP7_SPECTRUM*>(parameter)));
    case AP7_MSG_FIND_BEST_SHIFT: {
      const auto* block = static_cast<const AP7E_BESTSHIFTPARM*>(parameter);
      return static_cast<uint16_t>(AP7_FindBestShift_SPECTRUM(spectrum, block->reference, block->x1, block->x2, block->range, block->step, block->mode, block->best));
    }
    case AP7_MSG_ATMOS_COMPARE: {
      const auto* block = static_cast<const AP7E_ATMOSCOMPAREPARM*>(parameter);
      return static_cast<uint16_t>(AP7_AtmosCompare_SPECTRUM(spectrum, block->other, block->x1, block->x2, block->flag));
    }
    case AP7_MSG_COMPARE_COLLECT_PARAMS: {
      const auto* block = static_cast<const AP7E_COMPAREPARM*>(parameter);
      return ap7e_CompareCollectParams(spectrum, block->collection, block->bench, block->text, block->counts, block->groups, block->group, block->differs, block->rows);
    }
    case AP7_MSG_DERIVE_COLLECT_PARAMS: {
      const auto* block = static_cast<const AP7E_DERIVEPARM*>(parameter);
      return ap7e_DeriveCollectParams(spectrum, block->collection, block->bench, block->gain);
    }
    default: return 0;
  }
}
