// A spectrum's companion interferograms fetched as new spectra: the sample
// and the background, held as its sub-spectra or stored in the file its
// name refers to (a group-file member after ";").
//
// AP7_Dispatcher_SPECTRUM calls this for message 233; the reprocessing of
// stored interferograms reads through it.
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "files/files.h"
#include "spectrum/spectrum.h"

namespace {

// The kind asked for, from the spectrum's sub-spectra or else from the file
// its name refers to; null when neither holds it.
AP7_SPECTRUM* ap7b_companion(AP7_SPECTRUM* spectrum, uint16_t which) {
  AP7_SPECTRUM* held = which == AP21_SAMPLE ? spectrum->subSpectrumB : spectrum->subSpectrumA;
  if (held != nullptr) return ap7a_Duplicate(held, nullptr);
  char reference[AP7_TEXT_FIELD];
  std::memcpy(reference, spectrum->name, sizeof reference);
  reference[sizeof reference - 1] = '\0';
  const int32_t member = ap21_CutMember(reference);
  if (reference[0] == '\0') return nullptr;
  const AP21_STORED stored = ap21_ReadStored(reference, member, which != AP21_SAMPLE, which == AP21_SAMPLE);
  return which == AP21_SAMPLE ? stored.sample : stored.background;
}

}  // namespace

AP7_SPECTRUM* ap7b_ReadStoredSpectrum(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, uint16_t which) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return nullptr;
  AP7_SPECTRUM* source = spectrum;
  AP7_SPECTRUM* read = nullptr;
  if (other == nullptr || which == AP21_SAMPLE) {
    read = ap7b_companion(spectrum, which);
    if (read == nullptr && which == AP21_SAMPLE && record->y_units == AP41_YUNITS_INTERFEROGRAM)
      read = ap7a_Duplicate(spectrum, nullptr);
  } else {
    const AP41_HEADERDATA* other_record = ap7a_record(ap7a_spectrum(other));
    if (other_record == nullptr) return nullptr;
    source = other;
    read = other_record->y_units == AP41_YUNITS_INTERFEROGRAM ? ap7a_Duplicate(other, nullptr)
                                                              : ap7b_companion(other, AP21_SAMPLE);
  }
  ap7a_new_spectrum result(read);
  if (result.get() == nullptr || !ap7d_CopyListTo(source, result.get())) return nullptr;
  if (which != AP21_SAMPLE && record->BKGain > 0.0f) ap7a_record(result.get())->Gain = record->BKGain;
  return result.release();
}
