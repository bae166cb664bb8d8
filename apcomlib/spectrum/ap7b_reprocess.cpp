// A spectrum computed anew from its raw data: the sample interferogram
// (stored with the spectrum, or the spectrum itself when it is a single
// beam) and a background (another spectrum, or the background interferogram
// stored with the sample), each cut around its centre burst and transformed
// to a single beam, then ratioed, converted to the Y unit asked for and
// fitted to an X range. It lets transform settings change after collection.
//
// The spectrum and the background given are never changed: interferograms
// are transformed as copies, and every copy is destroyed on every path.
// AP7_Dispatcher_SPECTRUM calls this for message 147.
#include <algorithm>

#include "core/core.h"
#include "platform/memory.h"
#include "files/files.h"
#include "spectrum/spectrum.h"

namespace {

// Targets that need no background: the single beam, the reference ratio and
// the interferogram itself.
bool ap7b_needs_no_background(uint32_t y_code) {
  return y_code == AP41_YUNITS_SINGLE_BEAM || y_code == AP41_YUNITS_REFERENCE_RATIO ||
         y_code == AP41_YUNITS_INTERFEROGRAM;
}

// An interferogram whose data agree with its header: as many values as
// points, and the peak among them.
bool ap7b_consistent(const AP7_SPECTRUM* interferogram) {
  const AP41_HEADERDATA* record = ap7a_record(interferogram);
  return record != nullptr && record->y_units == AP41_YUNITS_INTERFEROGRAM && interferogram->data != nullptr &&
         interferogram->data->rows == 1 && interferogram->data->columns == record->points &&
         record->FinalPeakPos < record->points;
}

// 0 when the two share an X range and agree in their post-peak counts, else
// the error code.
uint16_t ap7b_pair_error(const AP7_SPECTRUM* sample, const AP7_SPECTRUM* background) {
  if (ap7b_CommonPoints(sample, background) < 1)
    return ap7d_CompareSpacing(sample, background) ? AP7_REPROCESS_NO_COMMON_RANGE : AP7_REPROCESS_SPACINGS_DIFFER;
  return ap7d_CompareHeaderField(sample, background) ? AP7_REPROCESS_OK : AP7_REPROCESS_POST_PEAK_DIFFER;
}

uint16_t ap7b_convert_ratio(AP7_SPECTRUM* ratio, uint32_t y_code) {
  switch (y_code) {
    case 11: return ap7b_ConvertUnits137(ratio, 1);
    case 12: return ap7b_ConvertUnits138(ratio, 1);
    case 17: return ap7b_ConvertToAbsorbance(ratio, 1);
    case 20: return ap7b_ConvertToKM(ratio, 1);
    case 26: return ap7b_ConvertToPAS(ratio, 1);
    default: return 1;
  }
}

// The points kept before and after the peak: asked for, or (-1) from the
// interferograms to transform, the nearer peak and the shorter tail; never
// more before the peak than half the transform, nor more before than after.
struct ap7b_cut {
  int64_t before;
  int64_t after;
};

ap7b_cut ap7b_cut_around(const AP7_REPROCESSPARM& block, const AP7_SPECTRUM* sample, const AP7_SPECTRUM* background) {
  int64_t peak = INT64_MAX;
  int64_t tail = INT64_MAX;
  for (const AP7_SPECTRUM* interferogram : {sample, background}) {
    if (interferogram == nullptr) continue;
    const AP41_HEADERDATA* record = ap7a_record(interferogram);
    peak = std::min<int64_t>(peak, record->FinalPeakPos);
    tail = std::min<int64_t>(tail, int64_t{record->points} - record->FinalPeakPos);
  }
  ap7b_cut cut{block.before, block.after};
  const int64_t half = block.size / 2;
  if (cut.before < 0) {
    cut.before = peak;
    if (cut.before > half) {
      cut.before = half;
      if (cut.after < 0) cut.after = half;
    }
  }
  if (cut.after < 0) cut.after = tail;
  cut.before = std::min(cut.before, cut.after);
  return cut;
}

}  // namespace

AP7_SPECTRUM* ap7b_ReprocessInterferograms(AP7_SPECTRUM* spectrum, const AP7_REPROCESSPARM* block) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadReadPtr(block, sizeof *block)) return nullptr;
  uint16_t* error = block->error;
  if (error != nullptr && IsBadWritePtr(error, sizeof *error)) return nullptr;
  const auto fail = [error](uint16_t code) -> AP7_SPECTRUM* {
    if (error != nullptr) *error = code;
    return nullptr;
  };
  fail(AP7_REPROCESS_OK);
  const uint32_t target = block->y_code;
  const bool transform = target != AP41_YUNITS_INTERFEROGRAM;
  const uint16_t size_code = ap7b_TransformSizeCode(block->size);
  const uint16_t phase_size_code = ap7b_TransformSizeCode(block->phase_size);
  if (transform && (size_code == 0 || phase_size_code == 0)) return nullptr;

  ap7a_new_spectrum read_sample(block->use_stored ? ap7b_ReadStoredSpectrum(spectrum, nullptr, AP21_SAMPLE) : nullptr);
  ap7a_new_spectrum read_background(
      block->use_stored ? ap7b_ReadStoredSpectrum(spectrum, nullptr, AP21_BACKGROUND) : nullptr);
  AP7_SPECTRUM* sample = read_sample.get();
  if (sample == nullptr) {
    if (record->y_units != AP41_YUNITS_SINGLE_BEAM && record->y_units != AP41_YUNITS_REFERENCE_RATIO)
      return fail(AP7_REPROCESS_NO_SAMPLE);
    sample = spectrum;
  }

  // The background: the stored one; else the single beam given when it
  // matches the sample, or else its own stored sample interferogram; else a
  // copy of the interferogram given.
  AP7_SPECTRUM* background = read_background.get();
  AP7_SPECTRUM* taken = nullptr;
  if (background == nullptr) {
    AP7_SPECTRUM* given = ap7a_spectrum(block->background);
    const AP41_HEADERDATA* given_record = ap7a_record(given);
    const uint32_t given_units = given_record != nullptr ? given_record->y_units : 0;
    if (given_units == AP41_YUNITS_SINGLE_BEAM) {
      if (ap7b_pair_error(sample, given) != AP7_REPROCESS_OK) taken = ap7b_ReadStoredSpectrum(given, nullptr, AP21_SAMPLE);
      background = taken != nullptr ? taken : given;
    } else if (given_units == AP41_YUNITS_INTERFEROGRAM) {
      taken = ap7a_Duplicate(given, nullptr);
      if (taken == nullptr) return nullptr;
      background = taken;
    } else if (!ap7b_needs_no_background(target)) {
      return fail(AP7_REPROCESS_NO_SAMPLE);
    }
  }
  ap7a_new_spectrum owned_background(taken);

  // The copies made here are cut around their peaks and transformed; their
  // data must agree with their headers.
  AP7_SPECTRUM* sample_to_cut = read_sample.get();
  AP7_SPECTRUM* background_to_cut =
      background != nullptr && (background == read_background.get() || background == taken) ? background : nullptr;
  if ((sample_to_cut != nullptr && !ap7b_consistent(sample_to_cut)) ||
      (background_to_cut != nullptr && !ap7b_consistent(background_to_cut)))
    return nullptr;
  const ap7b_cut cut = ap7b_cut_around(*block, sample_to_cut, background_to_cut);
  if (cut.before > UINT32_MAX || cut.after > UINT32_MAX) return nullptr;
  for (AP7_SPECTRUM* interferogram : {sample_to_cut, background_to_cut}) {
    if (interferogram == nullptr) continue;
    if (!ap7b_AlignInterferogram(interferogram, static_cast<uint32_t>(cut.before), static_cast<uint32_t>(cut.after)))
      return nullptr;
    if (transform && !ap7b_InterferogramToSingleBeam(interferogram, size_code, block->apodization, block->phase_mode,
                                                     block->phase_length, phase_size_code, block->notify,
                                                     block->keep_phase, block->phase))
      return nullptr;
  }

  AP7_SPECTRUM* made = nullptr;
  if (ap7b_needs_no_background(target)) {
    made = ap7a_Duplicate(sample, nullptr);
  } else {
    if (const uint16_t code = ap7b_pair_error(sample, background)) return fail(code);
    made = ap7b_RatioAgainstBackground(sample, background);
  }
  ap7a_new_spectrum result(made);
  if (result.get() == nullptr || (!ap7b_needs_no_background(target) && !ap7b_convert_ratio(result.get(), target)))
    return nullptr;
  if (transform) {
    // An open limit keeps that end.
    const AP41_HEADERDATA* made_record = ap7a_record(result.get());
    float x1 = ap1_not_given(block->x1) ? made_record->first_x : block->x1;
    float x2 = ap1_not_given(block->x2) ? made_record->last_x : block->x2;
    if (ap7d_FitToXRange(result.get(), &x1, &x2) == 0) return fail(AP7_REPROCESS_FIT_FAILED);
  }
  if (read_sample.get() != nullptr) {
    const char* history = ap7d_GetHistoryText(spectrum);
    if (history != nullptr && !ap7d_AddHistoryText(result.get(), history)) return nullptr;
  }
  if (!ap7d_CopyListTo(spectrum, result.get())) return nullptr;
  return result.release();
}
