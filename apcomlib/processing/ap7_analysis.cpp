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
    default: return 0;
  }
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
    default: return 0;
  }
}
