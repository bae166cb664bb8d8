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
// Statistics over lists of spectra, X-unit resampling and formula arithmetic
// (ap7e_statistics.cpp, ap7c_resample.cpp, ap7c_formula.cpp)

constexpr uint16_t AP7_MSG_LIST_STATISTICS = 259;
constexpr uint16_t AP7_MSG_X_TO_WAVENUMBERS = 262;
constexpr uint16_t AP7_MSG_X_TO_MICROMETRES = 263;
constexpr uint16_t AP7_MSG_X_TO_NANOMETRES = 264;
constexpr uint16_t AP7_MSG_SPECTRAL_FORMULA = 271;

// What message 259 works on, and the statistic it yields.
constexpr uint16_t AP7_DERIVATIVE_NONE = 0;
constexpr uint16_t AP7_DERIVATIVE_FIRST = 1;
constexpr uint16_t AP7_STATISTIC_MEAN = 0;
constexpr uint16_t AP7_STATISTIC_STD_DEV = 1;
constexpr uint16_t AP7_STATISTIC_RANGE = 2;

// Status words of message 259.
constexpr int16_t AP7_STATISTICS_DONE = 0;
constexpr int16_t AP7_STATISTICS_FAILED = -1;
constexpr int16_t AP7_STATISTICS_UNITS_DIFFER = -2;
constexpr int16_t AP7_STATISTICS_SPACINGS_DIFFER = -3;
constexpr int16_t AP7_STATISTICS_NO_COMMON_POINTS = -4;

// Title texts of the statistics (group AP7_GROUP_TITLE_PREFIX): the
// derivative suffixes, then the mean, deviation and range titles.
constexpr uint16_t AP7_TITLE_FIRST_DERIVATIVE_SUFFIX = 12;
constexpr uint16_t AP7_TITLE_SECOND_DERIVATIVE_SUFFIX = 13;
constexpr uint16_t AP7_TITLE_MEAN = 14;
constexpr uint16_t AP7_TITLE_STD_DEV = 15;
constexpr uint16_t AP7_TITLE_RANGE = 16;

// How the scaled difference finds its factor.
constexpr uint32_t AP7_SCALE_GIVEN = 0;
constexpr uint32_t AP7_SCALE_FIT_WEIGHT_RANGE = 1;
constexpr uint32_t AP7_SCALE_FIT_REGION = 2;

// The formula's tables: tokens, constants and spectra (A, B and the
// intermediate results).
constexpr uint32_t AP7C_MOST_TOKENS = 32;
constexpr uint32_t AP7C_MOST_CONSTANTS = 32;
constexpr uint32_t AP7C_MOST_SPECTRA = 16;

// Token codes of a formula; constants and spectra add their table index.
enum AP7C_TOKEN : uint16_t {
  AP7C_TOKEN_END = 0,
  AP7C_TOKEN_ADD = 1,
  AP7C_TOKEN_SUBTRACT = 2,
  AP7C_TOKEN_MULTIPLY = 3,
  AP7C_TOKEN_DIVIDE = 4,
  AP7C_TOKEN_OPEN = 5,
  AP7C_TOKEN_CLOSE = 6,
  AP7C_TOKEN_DERIVATIVE = 7,
  AP7C_TOKEN_NEGATE = 8,
  AP7C_TOKEN_LOG = 9,
  AP7C_TOKEN_EXP = 16,
  AP7C_TOKEN_SQRT = 17,
  AP7C_TOKEN_CONSTANT = 32,
  AP7C_TOKEN_SPECTRUM = 64,
};

#pragma pack(push, 2)
// Message 259, 12 bytes: a list (class 40) or one spectrum.
struct AP7_LISTSTATISTICSPARM {
  AP_OBJECT* items;
  uint16_t derivative;
  uint16_t statistic;
  int16_t* status;
};
// Messages 262 to 264: the grid step (262: a multiple of the laser step).
struct AP7_XUNITSPARM {
  float step;
};
// Message 271, 12 bytes: the second spectrum or null, the formula text and
// the caller's K.
struct AP7_FORMULAPARM {
  AP7_SPECTRUM* b;
  const char* text;
  float* k;
};
#pragma pack(pop)
static_assert(sizeof(AP7_LISTSTATISTICSPARM) == 12);
static_assert(sizeof(AP7_XUNITSPARM) == 4);
static_assert(sizeof(AP7_FORMULAPARM) == 12);

// Message 259: a new spectrum of the mean, standard deviation or range at
// each X of the items (or of their first or second derivatives) over the
// X range every item covers; the status word says why it is null.
AP7_SPECTRUM* ap7e_ListStatistics(AP_OBJECT* items, uint16_t derivative, uint16_t statistic, int16_t* status);
// A new spectrum A - k x B over A's axis (missing outside the common range);
// a list stands for its mean. k is the caller's (mode 0) or fitted by least
// squares on first differences over the weight spectrum's range (mode 1),
// over x1..x2 (mode 2) or over the whole common range. Null on failure.
AP7_SPECTRUM* ap7e_CompareListStatistics(AP_OBJECT* a, AP_OBJECT* b, uint32_t mode, float k, AP7_SPECTRUM* weight,
                                         float x1, float x2);

// Messages 264, 263 and 262: the X axis turned into nanometres,
// micrometres or wavenumbers; between the two wavelength units only the
// limits scale, to or from wavenumbers the values are resampled onto an
// even grid of the new unit. 1 when done; 0 when already in the unit or
// refused, the spectrum unchanged.
uint16_t ap7c_XAxisToNanometres(AP7_SPECTRUM* spectrum, float step);
uint16_t ap7c_XAxisToMicrometres(AP7_SPECTRUM* spectrum, float step);
uint16_t ap7c_XAxisToWavenumbers(AP7_SPECTRUM* spectrum, float multiple);
// The resampling itself: a wavenumber axis onto a nanometre grid of the
// step, and a micrometre (or nanometre) axis onto a wavenumber grid of the
// multiple of the laser step. 1 when done.
uint16_t ap7c_ResampleToNanometres(AP7_SPECTRUM* spectrum, float step);
uint16_t ap7c_ResampleToWavenumbers(AP7_SPECTRUM* spectrum, float multiple);

// A formula's tokens and the tables they index.
struct AP7C_FORMULA {
  uint16_t tokens[AP7C_MOST_TOKENS];
  uint32_t token_count;
  float constants[AP7C_MOST_CONSTANTS];
  uint32_t constant_count;
  AP7_SPECTRUM* spectra[AP7C_MOST_SPECTRA];
  uint32_t spectrum_count;
};

// Message 271: a new spectrum evaluated point by point from the formula
// over A, B, K, numbers, + - * /, unary minus, parentheses, D (derivative),
// LOG, EXP and SQRT; null for a malformed formula or a failed step. Without
// K in the formula *k becomes the missing value.
AP7_SPECTRUM* ap7c_ParseSpectralFormula(AP7_SPECTRUM* a, AP7_SPECTRUM* b, const char* text, float* k);
// Reduces the parenthesis-free run of count tokens at start to what is
// left of it; the number of tokens left, 0 on error.
uint32_t ap7c_EvaluateTokens(AP7C_FORMULA* formula, uint32_t start, uint32_t count);
// Removes n tokens at index, the rest of the list moving down.
void ap7c_RemoveTokens(AP7C_FORMULA* formula, uint32_t index, uint32_t n);
