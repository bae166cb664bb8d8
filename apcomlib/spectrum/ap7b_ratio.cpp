// The ratio of a single beam against a background single beam or a
// reference spectrum, as a new spectrum in percent transmittance (or, for a
// reference, in the reference ratio unit).
//
// The sample and background are left as they are. AP7_Dispatcher_SPECTRUM
// calls this for message 156; the reprocessing of stored interferograms
// ratios through it.
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

int32_t ap7b_CommonPoints(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other, AP4_RANGE* range,
                          AP4_RANGE* other_range) {
  float x1 = AP_NOT_GIVEN;
  float x2 = AP_NOT_GIVEN;
  AP4_RANGE cut{};
  AP4_RANGE other_cut{};
  const int32_t count =
      ap7b_CommonIndexRange(spectrum, &x1, &x2, &cut.start, &cut.end, other, &other_cut.start, &other_cut.end);
  if (range != nullptr) *range = cut;
  if (other_range != nullptr) *other_range = other_cut;
  return count;
}

AP7_SPECTRUM* ap7b_RatioAgainstBackground(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* background) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  const AP41_HEADERDATA* background_record = ap7a_record(ap7a_spectrum(background));
  if (record == nullptr || background_record == nullptr || record->y_units != AP41_YUNITS_SINGLE_BEAM ||
      !ap7d_CompareHeaderField(spectrum, background))
    return nullptr;
  const uint32_t background_units = background_record->y_units;
  if (background_units != AP41_YUNITS_SINGLE_BEAM && background_units != AP41_YUNITS_REFERENCE) return nullptr;
  if (ap7b_CommonPoints(spectrum, background) < 1) return nullptr;
  ap7a_new_spectrum ratio(ap7a_DivideSpectra(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, background));
  AP41_HEADERDATA* result = ap7a_record(ratio.get());
  if (result == nullptr) return nullptr;
  result->BKNumScans = background_record->NumScans;
  result->BKGain = background_record->Gain;
  result->BKBadScans = background_record->BadScans;
  result->BKCollectErrorMap = background_record->CollectErrorMap;
  if (!ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(ratio.get()), AP41_HISTORY_RATIO)) return nullptr;
  if (background_units == AP41_YUNITS_REFERENCE) {
    result->y_units = AP41_YUNITS_REFERENCE_RATIO;
  } else {
    result->y_units = AP7_DEFAULT_YUNITS;
    if (!ap7b_ConvertToTransmittance(ratio.get(), 1)) return nullptr;
  }
  return ratio.release();
}
