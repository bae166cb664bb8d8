// An interferogram made into a single beam in place (apodized, transformed
// and phase corrected), and an interferogram trimmed or padded around its
// peak.
//
// AP7_Dispatcher_SPECTRUM calls the conversion for messages 166 and 310;
// the reprocessing of stored interferograms aligns and converts through
// both.
#include <cstdint>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Phase modes that work from a phase spectrum computed here.
bool ap7b_computes_phase(uint16_t mode) { return mode == 0 || mode == 2; }

// Points in (count above 0) or out (below 0) at one end; 1 when nothing
// was needed.
uint16_t ap7b_resize(AP7_SPECTRUM* spectrum, uint16_t at_start, int64_t count) {
  if (count == 0) return 1;
  if (count > INT32_MAX || count < -int64_t{INT32_MAX}) return 0;
  return count > 0 ? ap7a_InsertPoints(spectrum, at_start, static_cast<int32_t>(count))
                   : ap7a_DeletePoints(spectrum, at_start, static_cast<int32_t>(-count));
}

}  // namespace

uint16_t ap7b_AlignInterferogram(AP7_SPECTRUM* spectrum, uint32_t before, uint32_t after) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || record->y_units != AP41_YUNITS_INTERFEROGRAM) return 0;
  // Both ends keep the peak on its data point, and a cut end leaves no more
  // post-peak points than the data hold.
  if (!ap7b_resize(spectrum, 1, int64_t{before} - record->FinalPeakPos)) return 0;
  return ap7b_resize(spectrum, 0, int64_t{after} + record->FinalPeakPos - record->points);
}

uint16_t ap7b_InterferogramToSingleBeam(AP7_SPECTRUM* spectrum, uint16_t size_code, uint16_t apodization,
                                        uint16_t phase_mode, uint32_t phase_length, uint16_t phase_size_code,
                                        uint16_t /*extra*/, uint16_t keep_phase, AP7_SPECTRUM** phase) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || record->y_units != AP41_YUNITS_INTERFEROGRAM) return 0;
  if (phase != nullptr && IsBadWritePtr(phase, sizeof *phase)) return 0;
  const AP7_SPECTRUM* used_phase = nullptr;
  AP7_SPECTRUM* computed = nullptr;
  if (keep_phase && phase != nullptr && *phase != nullptr) {
    used_phase = *phase;
  } else if (ap7b_computes_phase(phase_mode)) {
    computed = ap7a_PhaseSpectrum(spectrum, phase_length, phase_size_code, apodization, phase_mode);
    if (computed == nullptr) return 0;
    used_phase = computed;
    if (phase != nullptr) {
      // The caller owns the phase spectrum it asked for.
      if (*phase != nullptr) ap7a_Delete(*phase, nullptr);
      *phase = computed;
      computed = nullptr;
    }
  }
  ap7a_new_spectrum made_phase(computed);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  const uint16_t ramp = record->FinalPeakPos < record->points / 2 ? 1 : 0;
  if (!ap7a_Apodize(spectrum, apodization, ramp) || !ap7a_TransformInterferogram(spectrum, size_code) ||
      !ap7a_PhaseCorrect(spectrum, phase_mode, used_phase))
    return 0;
  const float gain = record->Gain;
  if (gain > 0.0f && !ap7a_DivideScalar(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, gain)) return 0;
  return 1;
}
