// Spectral processing: the analysis messages of the spectrum class (peak
// measurement, corrections, statistics over spectra, baselines, filters and
// the interferogram operations) and the two quality-check classes.
//
// The spectrum dispatcher hands every message it does not answer itself to
// ap7_AnalysisMessage, whose table lists each analysis message beside the
// module that answers it.
#pragma once
#include <cstdint>

#include "spectrum/spectrum.h"

// Answers analysis message `message` sent to `spectrum`, after checking its
// parameter block; 0 for a message that is not an analysis one.
uint32_t ap7_AnalysisMessage(AP7_SPECTRUM* spectrum, uint16_t message, void* parameter);
