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

// ---------------------------------------------------------------------------
// Iterative polynomial baseline and the X-inside test (ap7e_polybaseline.cpp),
// running statistics over sets of spectra (ap7c_running.cpp), and spectra
// from array columns and signal correction (ap7c_columns.cpp)

constexpr uint16_t AP7_MSG_POLY_BASELINE = 203;
constexpr uint16_t AP7_MSG_X_INSIDE = 261;
constexpr uint16_t AP7_MSG_POLY_BASELINE_EX = 273;
constexpr uint16_t AP7_MSG_BUILD_NUMBERED = 285;
constexpr uint16_t AP7_MSG_BUILD_EIGEN = 286;
constexpr uint16_t AP7_MSG_BUILD_PURE = 287;
constexpr uint16_t AP7_MSG_SIGNAL_CORRECT = 288;
constexpr uint16_t AP7_MSG_RUNNING_CORRELATION = 289;
constexpr uint16_t AP7_MSG_RUNNING_VARIANCE = 290;
constexpr uint16_t AP7_MSG_RUNNING_MEAN = 291;

// Directions of the baseline fit: the spectrum's own (working only when its
// peaks point up), peaks up, peaks down.
constexpr uint16_t AP7_BASELINE_OWN_DIRECTION = 0;
constexpr uint16_t AP7_BASELINE_PEAKS_UP = 1;
constexpr uint16_t AP7_BASELINE_PEAKS_DOWN = 2;
// A negative pass limit takes the default.
constexpr int32_t AP7_BASELINE_DEFAULT_PASSES = -1;

// The column titles: association group and its texts (formats of the
// eigenvector and numbered titles, and the prefix of a numbered title).
constexpr uint16_t AP7_GROUP_COLUMN_TITLES = 400;
constexpr uint16_t AP7_TITLE_EIGENVECTOR = 33;
constexpr uint16_t AP7_TITLE_NUMBERED = 35;
constexpr uint16_t AP7_TITLE_NUMBERED_PREFIX = 42;
// Title modes of a numbered spectrum: the numbered format, the prefix with
// the text, the text alone.
constexpr int16_t AP7_NUMBERED_FORMAT = 0;
constexpr int16_t AP7_NUMBERED_PREFIXED = 1;
constexpr int16_t AP7_NUMBERED_TEXT = 2;

#pragma pack(push, 2)
// Message 203, 10 bytes.
struct AP7_POLYBASELINEPARM {
  float x1;
  float x2;
  uint16_t order;
};
// Message 273, 18 bytes.
struct AP7_POLYBASELINEEXPARM {
  float x1;
  float x2;
  uint16_t order;
  uint16_t offset;
  int32_t passes;
  uint16_t direction;
};
// Message 291, 26 bytes: the spectrum to add (or null), the region and the
// points it must hold, the count already added, the sum and the output (or
// null).
struct AP7_RUNNINGMEANPARM {
  AP7_SPECTRUM* spectrum;
  float x1;
  float x2;
  int32_t n;
  uint16_t count;
  AP4_ARRAY* sum;
  AP7_SPECTRUM* output;
};
// Message 290, 30 bytes.
struct AP7_RUNNINGVARIANCEPARM {
  AP7_SPECTRUM* spectrum;
  float x1;
  float x2;
  int32_t n;
  uint16_t count;
  AP4_ARRAY* sum;
  AP4_ARRAY* squares;
  AP7_SPECTRUM* output;
};
// Message 289, 46 bytes: the sums of the values (X), of the property (Y)
// and of their products, and the 1 x 1 property of the spectrum added.
struct AP7_RUNNINGCORRELATIONPARM {
  AP7_SPECTRUM* spectrum;
  float x1;
  float x2;
  int32_t n;
  uint16_t count;
  AP4_ARRAY* sum_x;
  AP4_ARRAY* sum_x2;
  AP4_ARRAY* property;
  AP4_ARRAY* sum_y;
  AP4_ARRAY* sum_y2;
  AP4_ARRAY* sum_xy;
  AP7_SPECTRUM* output;
};
// Message 285, 14 bytes.
struct AP7_NUMBEREDPARM {
  AP4_ARRAY* array;
  uint32_t column;
  int16_t mode;
  const char* text;
};
// Message 286, 16 bytes.
struct AP7_EIGENPARM {
  AP4_ARRAY* array;
  uint32_t column;
  float a;
  float b;
};
// Message 287, 16 bytes: the title (or null) and where the reference goes.
struct AP7_PUREPARM {
  AP4_ARRAY* array;
  uint32_t column;
  const char* title;
  float* reference;
};
// Message 288, 34 bytes: the spectrum corrected onto, the region, the
// flags, the value limits and where the slope and the offset go.
struct AP7_SIGNALCORRECTPARM {
  AP7_SPECTRUM* other;
  float x1;
  float x2;
  int16_t scale;
  int16_t offset;
  int16_t limit;
  float low;
  float high;
  float* slope_out;
  float* offset_out;
};
#pragma pack(pop)
static_assert(sizeof(AP7_POLYBASELINEPARM) == 10);
static_assert(sizeof(AP7_POLYBASELINEEXPARM) == 18);
static_assert(offsetof(AP7_POLYBASELINEEXPARM, passes) == 12);
static_assert(sizeof(AP7_RUNNINGMEANPARM) == 26);
static_assert(offsetof(AP7_RUNNINGMEANPARM, sum) == 18);
static_assert(sizeof(AP7_RUNNINGVARIANCEPARM) == 30);
static_assert(sizeof(AP7_RUNNINGCORRELATIONPARM) == 46);
static_assert(offsetof(AP7_RUNNINGCORRELATIONPARM, sum_xy) == 38);
static_assert(sizeof(AP7_NUMBEREDPARM) == 14);
static_assert(sizeof(AP7_EIGENPARM) == 16);
static_assert(sizeof(AP7_PUREPARM) == 16);
static_assert(sizeof(AP7_SIGNALCORRECTPARM) == 34);
static_assert(offsetof(AP7_SIGNALCORRECTPARM, slope_out) == 26);

// Messages 203 and 273: a new spectrum of the region x1..x2 with the
// polynomial baseline of its peak-free points removed, its title marked
// "*"; the spectrum stays as it was. Null when refused or on failure.
AP7_SPECTRUM* ap7e_IterativeBaselineFit(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t order, uint16_t offset,
                                        int32_t passes, uint16_t direction);
// The largest |A - B| over A's points of x1..x2 and the same indexes of B,
// points missing in either skipped; 0 when there is none.
float ap7e_MaxAbsDifference(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2);
// The points of A's x1..x2 that are missing in either, or where A stands
// above B by more than the threshold, become missing in A. 1 when done.
uint16_t ap7e_ClipAboveBaseline(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float threshold, float x1, float x2);
// Message 261: 1 when x falls on a point of the spectrum's axis.
uint16_t ap7e_XInRange(const AP7_SPECTRUM* spectrum, float x);

// Running statistics: each call adds one spectrum's region to sums the
// caller keeps (count already added N, 0 to start the sums) and, given an
// output spectrum whose first n points are the region, writes the result
// over the N (+ 1 when this call added) spectra into it. 0 success, 1
// failure (a spectrum that could not be added is reported as a failure).
APEXPORT uint32_t AP7_Mean_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n, uint16_t count,
                                    AP4_ARRAY* sum, AP7_SPECTRUM* output);                          // 291
// The output is the sample standard deviation.
APEXPORT uint32_t AP7_KX_Variance_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n, uint16_t count,
                                           AP4_ARRAY* sum, AP4_ARRAY* squares, AP7_SPECTRUM* output);  // 290
// The output is |r| of the values against the property, point by point.
APEXPORT uint32_t AP7_Correlation_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n, uint16_t count,
                                           AP4_ARRAY* sum_x, AP4_ARRAY* sum_x2, AP4_ARRAY* property,
                                           AP4_ARRAY* sum_y, AP4_ARRAY* sum_y2, AP4_ARRAY* sum_xy,
                                           AP7_SPECTRUM* output);                                   // 289
// The square root in place: missing stays missing, below -FLT_MIN becomes
// missing, within FLT_MIN of 0 becomes 0.
APEXPORT void KX_AP7_SquareRoot(float* value);

// Spectra made from column `column` of an array, like the template: the
// numbered spectrum (title by mode), the eigenvector spectrum (title from
// the column and a, b), the pure-component spectrum scaled by its range
// (the reference value of its peak direction, scaled alike, out). Null for
// a column that is not there or not as long as the template's data.
APEXPORT AP7_SPECTRUM* AP7_BuildNumberedSpectrum_SPECTRUM(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, uint32_t column,
                                                          int16_t mode, const char* text);           // 285
APEXPORT AP7_SPECTRUM* AP7_BuildEigenSpectrum_SPECTRUM(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, uint32_t column,
                                                       float a, float b);                            // 286
APEXPORT AP7_SPECTRUM* AP7_BuildPureSpectrum_SPECTRUM(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, uint32_t column,
                                                      const char* title, float* reference);          // 287
// A copy of A less the least-squares offset of A on B and divided by the
// slope (each when its flag is set) over their common region; the slope
// and offset out (0 when not applied). Null when refused.
APEXPORT AP7_SPECTRUM* AP7_SignalCorrect_SPECTRUM(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, int16_t scale,
                                                  int16_t offset, int16_t limit, float low, float high,
                                                  float* slope_out, float* offset_out);              // 288
