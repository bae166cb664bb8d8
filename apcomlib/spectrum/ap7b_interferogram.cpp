// An interferogram made into a single beam in place (apodized, transformed,
// phase corrected, divided by its gain and, when asked, corrected to the
// bench's laser frequency), and an interferogram trimmed or padded around
// its peak.
//
// AP7_Dispatcher_SPECTRUM calls the conversion for messages 166 and 310;
// the reprocessing of stored interferograms and the data forms align and
// convert through these.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"
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

// The host's settings ask for the laser correction after every transform:
// a u16 switch in the settings object that the library's global object
// holds. Parameters are read into room for any parameter type.
bool ap7b_host_corrects_laser() {
  void* global = APX_GetGlobalObject();
  alignas(8) unsigned char value[AP13_LARGEST_VALUE + 1] = {};
  if (global == nullptr || GU2_GetParmValue_MSG(global, AP7_HOST_SETTINGS, value) == 0) return false;
  void* settings = nullptr;
  std::memcpy(&settings, value, sizeof settings);
  std::memset(value, 0, sizeof value);
  if (settings == nullptr || GU2_GetParmValue_MSG(settings, AP7_HOST_LASER_AFTER_TRANSFORM, value) == 0) return false;
  uint16_t corrects = 0;
  std::memcpy(&corrects, value, sizeof corrects);
  return corrects != 0;
}

// A single beam made with the extra flag goes to the host class, which may
// not be there: its answers change nothing here.
void ap7b_announce_to_host(AP7_SPECTRUM* spectrum) {
  uint16_t host = AP7_SINGLE_BEAM_HOST_CLASS;
  AP7_HOSTFIRSTPARM first{spectrum, 1, 0};
  if (GU2_DoMethod_MSG(AP7_SINGLE_BEAM_HOST_FIRST, &host, &first) == 0) return;
  AP7_HOSTSECONDPARM second{spectrum, 1, 1};
  GU2_DoMethod_MSG(AP7_SINGLE_BEAM_HOST_SECOND, &host, &second);
}

}  // namespace

uint16_t ap7b_TransformSizeCode(double points) {
  if (!(points >= 1.0)) return 0;
  const double exponent = std::trunc(std::log(points) / std::log(2.0) + 0.5);
  return exponent >= 1.0 && exponent <= 31.0 ? static_cast<uint16_t>(exponent) : 0;
}

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
                                        uint16_t extra, uint16_t keep_phase, AP7_SPECTRUM** phase) {
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
  if (extra != 0 || ap7b_host_corrects_laser()) {
    const float laser = AP1_GetLaserRef_MATH(1);
    if (laser > 0.0f && !ap7e_SetLaserFrequency(spectrum, laser)) return 0;
  }
  if (extra != 0) ap7b_announce_to_host(spectrum);
  return 1;
}

uint16_t ap7b_InterferogramToSingleBeamDefault(AP7_SPECTRUM* spectrum, uint16_t size_code, uint16_t apodization,
                                               uint16_t phase_mode, uint32_t phase_length, uint16_t phase_size_code,
                                               uint16_t keep_phase, AP7_SPECTRUM** phase) {
  return ap7b_InterferogramToSingleBeam(spectrum, size_code, apodization, phase_mode, phase_length, phase_size_code, 0,
                                        keep_phase, phase);
}
