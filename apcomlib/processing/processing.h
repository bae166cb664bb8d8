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

// ---------------------------------------------------------------------------
// ATR correction, the Kramers-Kronig transform of reflectance and the power
// spectrum of a region (ap7g_atr.cpp, ap7g_kk.cpp, ap7g_power.cpp)

constexpr uint16_t AP7_MSG_POWER_SPECTRUM = 265;
constexpr uint16_t AP7_MSG_ATR_CORRECTION = 323;
constexpr uint16_t AP7_MSG_KK_REFLECTANCE = 431;

// Statuses of message 431.
enum AP7G_KK_STATUS : uint32_t {
  AP7G_KK_FAILED = 0,    // not a spectrum, or a copy or conversion failed
  AP7G_KK_DONE = 1,
  AP7G_KK_NAN = 2,       // a reflectance value is missing
  AP7G_KK_ZERO = 3,      // a reflectance value is 0
  AP7G_KK_NEGATIVE = 4,  // a reflectance value is negative
};
// The spectra of message 431: refractive index, extinction coefficient and
// absorption index.
constexpr int AP7G_KK_OUTPUTS = 3;

#pragma pack(push, 2)
// Message 265, 18 bytes.
//    0  4  x1, lower X limit of the region (not given: the whole spectrum)
//    4  4  x2, upper X limit
//    8  2  mode: 2 takes -1/R, 3 R, any other (1 + R)/(1 - R)
//   10  4  frequency limit: the lowest X of the power spectrum whose peaks count
//   14  4  where the result array goes
struct AP7G_POWERPARM {
  float x1;
  float x2;
  uint16_t mode;
  float limit;
  AP4_ARRAY** result;
};
// Message 323, 16 bytes.
struct AP7G_ATRPARM {
  float sample_index;   // not above 0: 1.5
  float crystal_index;
  float reflections;
  float angle;          // of incidence, in degrees
};
// Message 431, 12 bytes: where the three spectra go.
struct AP7G_KKPARM {
  AP7_SPECTRUM** n;
  AP7_SPECTRUM** k;
  AP7_SPECTRUM** absorption;
};
#pragma pack(pop)
static_assert(sizeof(AP7G_POWERPARM) == 18);
static_assert(offsetof(AP7G_POWERPARM, limit) == 10);
static_assert(offsetof(AP7G_POWERPARM, result) == 14);
static_assert(sizeof(AP7G_ATRPARM) == 16);
static_assert(sizeof(AP7G_KKPARM) == 12);

// Message 265: a new power spectrum of the region (first X 0, X counting
// frequency bins, normalised to a largest value of 1), and through the
// block a 1 × 5 array: the verdict (1.0 when one periodic component
// dominates), then X and height of the two strongest peaks above the
// frequency limit. The array is written once a pass reached the peak
// search; null when no pass did or a pass failed.
AP7_SPECTRUM* ap7g_SpectrumPowerTransform(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t mode, float limit,
                                          AP4_ARRAY** result);
// Message 323: a new spectrum of the absorption index 4 pi nu k / 10000 of
// an ATR spectrum, on its X axis. Null for indices, reflections or an angle
// out of their range, a sample index above the crystal's, an angle not
// above the critical angle, or a failed step.
AP7_SPECTRUM* ap7g_ATRCorrection(AP7_SPECTRUM* spectrum, float sample_index, float crystal_index, float reflections,
                                 float angle);
// Message 431: the refractive index, extinction coefficient and absorption
// index spectra of a reflectance spectrum of three points or more, written
// to the three addresses on success only; a status.
uint32_t ap7g_KramersKronigReflectance(AP7_SPECTRUM* spectrum, AP7_SPECTRUM** n, AP7_SPECTRUM** k,
                                       AP7_SPECTRUM** absorption);
