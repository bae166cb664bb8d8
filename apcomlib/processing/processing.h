// Spectral processing: the analysis messages of the spectrum class (peak
// measurement, corrections, statistics over spectra, baselines, filters and
// the interferogram operations) and the two quality-check classes.
//
// The spectrum dispatcher hands every message it does not answer itself to
// ap7_AnalysisMessage, whose table lists each analysis message beside the
// module that answers it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "spectrum/spectrum.h"

// Answers analysis message `message` sent to `spectrum`, after checking its
// parameter block; 0 for a message that is not an analysis one.
uint32_t ap7_AnalysisMessage(AP7_SPECTRUM* spectrum, uint16_t message, void* parameter);

// ---------------------------------------------------------------------------
// ATR correction, the Kramers-Kronig transform of reflectance and the power
// spectrum of a region (ap7g_atr.cpp, ap7g_kk.cpp, ap7g_power.cpp)

constexpr uint16_t AP7_MSG_POWER_SPECTRUM = 265;
constexpr uint16_t AP7_MSG_KK_ATR_CORRECTION = 323;
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

// ---------------------------------------------------------------------------
// Peak measurement (ap7e_baseline.cpp, ap7e_measure.cpp, ap7e_widths.cpp,
// ap7e_located.cpp, ap7e_region.cpp); noise, peak centroid, second-
// derivative peaks and point operations (ap7c_noise.cpp, ap7c_peaks.cpp,
// ap7c_points.cpp)

// Messages 243 and 246 are named with the spectrum's feature values, which
// send them.
constexpr uint16_t AP7_MSG_MEASURE_BASELINE = 242;
constexpr uint16_t AP7_MSG_MEASURE_WITH_SLOPE = 244;
constexpr uint16_t AP7_MSG_INTERFEROGRAM_TO_SPECTRUM = 305;
constexpr uint16_t AP7_MSG_PEAK_CENTROID = 314;
constexpr uint16_t AP7_MSG_PEAK_TO_PEAK_NOISE = 326;
constexpr uint16_t AP7_MSG_NEG_LOG_ONE_PLUS_RATIO = 357;
constexpr uint16_t AP7_MSG_SECOND_DERIVATIVE_PEAKS = 434;
constexpr uint16_t AP7_MSG_SECOND_DERIVATIVE_PEAKS_AT = 440;

// Baseline modes of the measurement record.
constexpr uint16_t AP7E_BASELINE_LEVEL = 0;
constexpr uint16_t AP7E_BASELINE_FITTED_LINE = 1;
constexpr uint16_t AP7E_BASELINE_THROUGH_POINTS = 2;
constexpr uint16_t AP7E_BASELINE_REGION_MEAN = 3;
constexpr uint16_t AP7E_BASELINE_REGION_LOWEST = 4;
constexpr uint16_t AP7E_BASELINE_REGION_HIGHEST = 5;
constexpr uint16_t AP7E_BASELINE_FULL_SCALE = 6;
constexpr uint16_t AP7E_BASELINE_FITTED_PARABOLA = 7;

// Measurement types of the record.
constexpr uint16_t AP7E_VALUE_AT_X = 101;
constexpr uint16_t AP7E_VALUE_AT_POINT = 102;
constexpr uint16_t AP7E_REGION_MEAN = 103;
constexpr uint16_t AP7E_PEAK_HEIGHT = 104;
constexpr uint16_t AP7E_NEGATED_PEAK_HEIGHT = 105;
constexpr uint16_t AP7E_MAGNITUDE_HEIGHT = 106;
constexpr uint16_t AP7E_AREA = 107;
constexpr uint16_t AP7E_HALF_HEIGHT_AREA = 108;
constexpr uint16_t AP7E_REGION_TRACE = 109;
constexpr uint16_t AP7E_REGION_DIFFERENCE = 110;
constexpr uint16_t AP7E_REGION_CENTRAL_DIFFERENCE = 111;
constexpr uint16_t AP7E_FRACTION_AREA = 112;
constexpr uint16_t AP7E_REGION_SECOND_DIFFERENCE = 113;
constexpr uint16_t AP7E_TWO_POINT_AREA = 114;
constexpr uint16_t AP7E_RANGE = 115;
constexpr uint16_t AP7E_STANDARD_DEVIATION = 116;
constexpr uint16_t AP7E_INTERPOLATED_VALUE = 117;
constexpr uint16_t AP7E_OFFSET_PEAK_VALUE = 118;
constexpr uint16_t AP7E_HALF_HEIGHT_WIDTH = 119;
constexpr uint16_t AP7E_CROSSING_1_PERCENT = 120;
constexpr uint16_t AP7E_CROSSING_2_PERCENT = 121;
constexpr uint16_t AP7E_CROSSING_5_PERCENT = 122;
constexpr uint16_t AP7E_CROSSING_10_PERCENT = 123;
constexpr uint16_t AP7E_PEAK_VALUE = 124;
constexpr uint16_t AP7E_AREA_BETWEEN_CROSSINGS = 125;
constexpr uint16_t AP7E_CENTRE_OF_GRAVITY = 126;
constexpr uint16_t AP7E_TWO_POINT_CENTRE_OF_GRAVITY = 127;
constexpr uint16_t AP7E_WIDTH_AT_PERCENT = 128;
constexpr uint16_t AP7E_CROSSING_AT_PERCENT = 129;
constexpr uint16_t AP7E_LEVEL_CROSSING_RISING = 130;
constexpr uint16_t AP7E_LEVEL_CROSSING_FALLING = 131;
constexpr uint16_t AP7E_WIDTH_AT_FIRST_LEVEL = 132;
constexpr uint16_t AP7E_WIDTH_AT_LAST_LEVEL = 133;
constexpr uint16_t AP7E_ROOT_MEAN_SQUARE = 134;
constexpr uint16_t AP7E_PEAK_HEIGHT_B = 135;
constexpr uint16_t AP7E_NEGATED_PEAK_HEIGHT_B = 136;

// The registry value that chooses how the centre of gravity places the
// edges of a peak: 1 on the first points beyond the level, 2 on the last
// points inside it, otherwise on the interpolated crossings.
constexpr const char* AP7E_COG_METHOD_VALUE = "COGMETHOD";

// The peak-search sensitivity of message 434 (message 440 is given one).
constexpr float AP7C_DEFAULT_PEAK_THRESHOLD = 90.0f;
// Codes of messages 434 and 440.
constexpr uint16_t AP7C_PEAKS_OK = 0;
constexpr uint16_t AP7C_PEAKS_NO_OBJECT = 1;
constexpr uint16_t AP7C_PEAKS_BAD_WIDTH = 2;
constexpr uint16_t AP7C_PEAKS_TOO_MANY = 3;
constexpr uint16_t AP7C_PEAKS_BAD_MODE = 4;
constexpr uint16_t AP7C_PEAKS_SHORT_REGION = 5;
constexpr uint16_t AP7C_PEAKS_DERIVATIVE_FAILED = 6;
constexpr uint16_t AP7C_PEAKS_NO_MEMORY = 7;

#pragma pack(push, 2)
// Message 326: the region, where the smallest window peak-to-peak and the
// span of the measured points go, and whether points in the atmospheric
// bands and below 672 are left out of the span.
struct AP7_NOISEPARM {
  float x1;
  float x2;
  float* noise;
  float* span;
  uint16_t exclude;
};
// Message 314.
struct AP7_CENTROIDPARM {
  float x;
  float fraction;
  float* result_x;
};
// Messages 434 and 440 (which reads the threshold): the region, the half
// width of the derivative window in X units, the most peaks wanted, the
// polynomial mode 0..2 and where the handle of the peak list goes.
struct AP7_DERIVATIVEPEAKSPARM {
  float x1;
  float x2;
  float half_width;
  int16_t max_count;
  int16_t mode;
  float threshold;
  GU3_HANDLE* list;
};
#pragma pack(pop)
static_assert(sizeof(AP7_NOISEPARM) == 18);
static_assert(sizeof(AP7_CENTROIDPARM) == 12);
static_assert(sizeof(AP7_DERIVATIVEPEAKSPARM) == 24);
static_assert(offsetof(AP7_DERIVATIVEPEAKSPARM, threshold) == 16);

// Message 242: the baseline the record's mode asks for, drawn into the
// record; 1 when it may be used. The spectrum is never changed.
uint16_t ap7e_MeasureBaseline(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record);
// Message 243: the record's type measured against its baseline; 1 when
// measured, 0 otherwise (what was written before a failure stays).
uint16_t ap7e_MeasurePeak(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record);
// Message 244: the peak and two base points located automatically, then
// measured as message 243 with a baseline through the two; the caller's
// settings are restored. The result of the measurement, 0 when nothing was
// located.
uint16_t ap7e_MeasureWithSlope(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record);
// Message 246: a new spectrum of the record's region less its baseline,
// for region-trace types differenced, limited and optionally reversed.
AP7_SPECTRUM* ap7e_MeasureRegion(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record, float upper, float lower,
                                 uint16_t reverse, uint32_t* count, GU3_HANDLE mask, int32_t* start_index);
// The peak of x1..x2 and two baseline points under it, by slope mode: 0 the
// base points of the peak list, 1 the lower hull between low and high, 2
// the tangents from the peak. 1 when found.
uint16_t ap7e_FindSlopeBaseline(AP7_SPECTRUM* spectrum, float x1, float x2, float low, float high,
                                uint16_t slope_mode, float* peak_x, float* p1, float* p2);
// The peak nearest x1 (and x2) within low..high and the base points on
// either side, their values and the slope between them; 1 when found.
uint16_t ap7e_FindPeakBasePoints(AP7_SPECTRUM* spectrum, float x1, float x2, float low, float high, float* peak_x,
                                 float* p1, float* p2, float* y1, float* y2, float* slope);

// Message 326: the smallest peak-to-peak over 125-unit windows of the
// region and the span of the points measured; 1 when a window was measured.
int16_t ap7c_PeakToPeakNoise(AP7_SPECTRUM* spectrum, float x1, float x2, float* noise, float* span,
                             uint16_t exclude);
// Message 314: the X of the centroid of the peak at x above the fraction of
// its height; 1 on success.
int16_t ap7c_PeakCentroid(AP7_SPECTRUM* spectrum, float x, float fraction, float* result_x);
// Messages 434 and 440: the X positions of the peaks of the smoothed second
// derivative, ascending, in a new block of floats (null when none was
// found); one of the AP7C_PEAKS_ codes.
uint16_t ap7c_FindPeaks2ndDerivative(AP7_SPECTRUM* spectrum, float x1, float x2, float half_width,
                                     int16_t max_count, int16_t mode, float threshold, GU3_HANDLE* list);
// Message 357: each point a of this spectrum becomes -ln(1 + a/b) with b
// the other's point; 1 on success.
int16_t ap7c_NegLogOnePlusRatio(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other);
// Message 305: needs the host's collection settings, which this system
// does not have: null, with 0 stored as the error code.
AP7_SPECTRUM* ap7c_InterferogramToSpectrum(AP7_SPECTRUM* spectrum, uint16_t* mode);

class ap7e_cut;

// What the measurement modules share: the frame of a measurement (the
// baseline polynomial, the axis, peak direction and full scale), the X and
// region tests and the cut stretch of a spectrum being measured.
struct ap7e_frame {
  AP7_SPECTRUM* spectrum;
  AP7_MEASUREREC* record;
  float a;  // baseline a + b (x - x0) + c (x - x0)^2
  float b;
  float x0;
  float c;
  int32_t n;
  float h;    // spacing, signed
  float xlo;  // the data's X extent
  float xhi;
  uint16_t direction;
  float full_scale;
  float baseline(float x) const {
    const float d = x - x0;
    return a + b * d + c * d * d;
  }
  float corrected(float y, float x) const { return y - baseline(x); }
};
// The frame after message 242's baseline, the full scale written into the
// record; false for a spectrum that cannot be measured (no data, a spacing
// of 0).
bool ap7e_make_frame(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record, ap7e_frame& frame);
// Whether x lies within the data, half a (signed) spacing beyond each end
// allowed; and both ends of the record's region do.
bool ap7e_x_passes(const ap7e_frame& frame, float x);
bool ap7e_region_passes(const ap7e_frame& frame);
// x moved to the X of its nearest point, held within the data; false for an
// x that maps to no point.
bool ap7e_snap(const AP7_SPECTRUM* spectrum, float& x);
// The record's region widened by one point at each end; with `inside` a
// new end is kept only within the data.
void ap7e_widen(const ap7e_frame& frame, bool inside);
// The vertex of the parabola through three points (a line's higher end
// when they are collinear).
void ap7e_vertex(const float* x, const float* y, float* top, float* top_x);
// The acceptance window on the fitted X corrected, tested on the fitted
// value corrected.
void ap7e_accept(AP7_MEASUREREC* record);
void ap7e_set_results(AP7_MEASUREREC* record, const float* point, const float* fitted);
// The record's region cut out after the region test (not found when it
// fails), written back into the record when `write_back`.
ap7e_cut ap7e_cut_region(const ap7e_frame& frame, bool write_back);
// The X and corrected values of a cut's points, and the index of the
// interior point furthest in the direction (-1 when none has a value).
void ap7e_corrected_points(const ap7e_frame& frame, const ap7e_cut& cut, std::vector<float>& x,
                           std::vector<float>& v);
int32_t ap7e_interior_peak(const std::vector<float>& v, uint16_t direction);
// Types 119..123, 125..133 (ap7e_widths.cpp).
uint16_t ap7e_MeasureWidth(const ap7e_frame& frame);

// The points of xa..xb cut out of a spectrum into one of their own (deleted
// with this), their X values at the measured spectrum's spacing. Given a
// record, a cut that was made is written back into its region.
class ap7e_cut {
 public:
  ap7e_cut(AP7_SPECTRUM* spectrum, float xa, float xb, AP7_MEASUREREC* write_back = nullptr);
  bool found() const { return values_ != nullptr; }
  int32_t count() const { return count_; }
  float* values() const { return values_; }
  float first_x() const { return first_x_; }
  float last_x() const { return last_x_; }
  float x_at(int32_t index, float h) const { return first_x_ + static_cast<float>(index) * h; }
  AP7_SPECTRUM* spectrum() const { return cut_.get(); }
  // The cut itself, handed over to the caller.
  AP7_SPECTRUM* release() { return cut_.release(); }

 private:
  // Region start and end := the cut's first and last X.
  void write_back(AP7_MEASUREREC* record) const;

  ap7a_new_spectrum cut_;
  float* values_ = nullptr;
  int32_t count_ = 0;
  float first_x_ = 0.0f;
  float last_x_ = 0.0f;
};

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

// ---------------------------------------------------------------------------
// Spectral quality checks: the settings class AP120 SQ (ap120.cpp), its
// collection and interferogram checks (ap120_checks.cpp) and spectrum
// checks (ap120_spectrum.cpp); the results class AP121 SQR (ap121.cpp), the
// smart-accessory table (ap121_accessories.cpp) and the quality report
// (ap121_report.cpp)

constexpr uint16_t AP120_CLASS_ID = 120;
constexpr uint16_t AP121_CLASS_ID = 121;

// The records of the two classes, 57 and 50 parameters; each lies inline
// after the object's class id and PARAMS part.
constexpr uint16_t AP120_PARM_COUNT = 57;
constexpr uint32_t AP120_RECORD_BYTES = 1053;
constexpr uint16_t AP121_PARM_COUNT = 50;
constexpr uint32_t AP121_RECORD_BYTES = 925;
// What the size message adds to the PARAMS part's size.
constexpr uint32_t AP120_OBJECT_BYTES = 1059;
constexpr uint32_t AP121_OBJECT_BYTES = 931;
// Table tags and the association groups of the parameter names.
constexpr uint16_t AP120_TABLE_TAG = 798;
constexpr uint16_t AP121_TABLE_TAG = 700;
constexpr uint16_t AP120_NAME_GROUP = 1120;
constexpr uint16_t AP121_NAME_GROUP = 1121;

#pragma pack(push, 2)
struct AP120_SQ {
  uint16_t class_id;
  AP13_PARAMS* params;
  uint8_t record[AP120_RECORD_BYTES];
};
struct AP121_SQR {
  uint16_t class_id;
  AP13_PARAMS* params;
  uint8_t record[AP121_RECORD_BYTES];
};
#pragma pack(pop)
static_assert(offsetof(AP120_SQ, record) == 6);
static_assert(offsetof(AP121_SQR, record) == 6);

// Settings parameters (SQ) read by this library.
enum AP120_PARM : uint16_t {
  AP120_VERSION = 0, AP120_PATH_SHORT = 1, AP120_TITLE = 2, AP120_DESCRIPTION = 3, AP120_WINDOW = 4,
  AP120_ACCESSORY = 5, AP120_COLLECTION_ON = 10, AP120_RESOLUTION_ON = 11, AP120_RESOLUTION_A = 12,
  AP120_RESOLUTION_B = 13, AP120_RANGE_ON = 14, AP120_FINE_MODE_ON = 15, AP120_SPECTRUM_ON = 16,
  AP120_MISMATCH_ON = 17, AP120_CO2_BAND_ON = 18, AP120_CO2_BAND_SENS = 19, AP120_WATER_BAND_ON = 20,
  AP120_WATER_BAND_SENS = 21, AP120_REFERENCE_ON = 22, AP120_COPY_P51_ON = 23, AP120_IFG_ON = 24,
  AP120_AMPLITUDE_ON = 25, AP120_AMPLITUDE_LOW = 26, AP120_AMPLITUDE_HIGH = 27, AP120_CHECKS_ON = 28,
  AP120_NOISE_ON = 29, AP120_OUT_OF_RANGE_ON = 30, AP120_POWER_ON = 31, AP120_CO2_ON = 32, AP120_CO2_SENS = 33,
  AP120_WATER_ON = 34, AP120_WATER_SENS = 35, AP120_FIT_ON = 36, AP120_BASELINE_ON = 37, AP120_SNR_ON = 40,
  AP120_SNR_RATIO = 41, AP120_BASELINE_SENS = 42, AP120_MASTER = 43, AP120_REFERENCE = 44,
  AP120_BAND_RATIO_ON = 46, AP120_BAND_RATIO_A = 47, AP120_BAND_RATIO_B = 48, AP120_PEAK_SENS = 50,
  AP120_P51 = 51, AP120_NOISE_SENS = 52, AP120_POWER_SENS = 53, AP120_FIT_SENS = 54, AP120_OUT_OF_RANGE_SENS = 55,
  AP120_PATH_LONG = 56,
};
// Results parameters (SQR).
enum AP121_PARM : uint16_t {
  AP121_VERSION = 0, AP121_LEVEL = 1, AP121_PATH_SHORT = 2, AP121_TITLE = 3, AP121_DESCRIPTION = 4,
  AP121_WINDOW = 5, AP121_ACCESSORY = 6, AP121_ACCESSORY_NAME = 7, AP121_WARNINGS = 8, AP121_FAILURES = 9,
  AP121_WARNINGS2 = 10, AP121_FAILURES2 = 11, AP121_RESOLUTION_A = 13, AP121_RESOLUTION_B = 14,
  AP121_COLLECTION_RESOLUTION = 15, AP121_EXPECTED_LOW = 16, AP121_EXPECTED_HIGH = 17, AP121_INSTRUMENT_LOW = 18,
  AP121_INSTRUMENT_HIGH = 19, AP121_SPECTRUM_RESOLUTION = 20, AP121_SPECTRUM_LOW = 21, AP121_SPECTRUM_HIGH = 22,
  AP121_CO2_BAND_SENS = 23, AP121_CO2_BAND_SCORE = 24, AP121_WATER_BAND_SENS = 25, AP121_WATER_BAND_SCORE = 26,
  AP121_AMPLITUDE = 30, AP121_AMPLITUDE_LOW = 31, AP121_AMPLITUDE_HIGH = 32, AP121_POWER_VALUE = 33,
  AP121_CO2_AREA = 34, AP121_CO2_SCORE = 35, AP121_WATER_AREA = 36, AP121_WATER_SCORE = 37,
  AP121_BASELINE_SENS = 38, AP121_BASELINE_MEAN_SCORE = 39, AP121_BASELINE_RANGE_SCORE = 40, AP121_DONE = 41,
  AP121_DONE2 = 42, AP121_PEAK_SENS = 43, AP121_POWER_SENS = 46, AP121_FIT_SENS = 47,
  AP121_OUT_OF_RANGE_SENS = 48, AP121_PATH_LONG = 49,
};

// Levels of a result, only ever raised.
constexpr uint16_t AP121_PASS = 0;
constexpr uint16_t AP121_WARNING = 1;
constexpr uint16_t AP121_FAILURE = 2;
// A bit argument: bit 31 selects the second word of a pair, bits 0-30 are
// the mask.
constexpr uint32_t AP121_SECOND_WORD = 0x80000000u;

// SQ messages: the checks. A check answers the result's level, or 2 when
// refused.
constexpr uint16_t AP120_MSG_COLLECTION_CHECKS = 71;
constexpr uint16_t AP120_MSG_COPY_SETTINGS = 72;
constexpr uint16_t AP120_MSG_SPECTRUM_SETTINGS = 73;
constexpr uint16_t AP120_MSG_IFG_CHECKS_INT = 74;
constexpr uint16_t AP120_MSG_SPECTRUM_CHECKS = 75;
constexpr uint16_t AP120_MSG_BAND_CHECKS = 76;
constexpr uint16_t AP120_MSG_BAND_RATIO_CHECKS = 77;
constexpr uint16_t AP120_MSG_ENERGY_CHECK = 78;
constexpr uint16_t AP120_MSG_FILTER_COMPARE = 79;
constexpr uint16_t AP120_MSG_IFG_CHECKS_FLOAT = 80;
constexpr uint32_t AP120_REFUSED = 2;
// The answer of message 79 when the filters differ.
constexpr uint32_t AP120_FILTERS_DIFFER = 20;

// SQR messages.
constexpr uint16_t AP121_MSG_REPORT = 60;
constexpr uint16_t AP121_MSG_SET_WARNINGS = 71;
constexpr uint16_t AP121_MSG_SET_FAILURES = 72;
constexpr uint16_t AP121_MSG_HELP_GROUP = 73;
constexpr uint16_t AP121_MSG_ACCESSORY_COUNT = 74;
constexpr uint16_t AP121_MSG_ACCESSORY_AT = 75;
constexpr uint16_t AP121_MSG_SET_DONE = 76;
constexpr uint16_t AP121_MSG_HAS_NAME = 77;
constexpr uint16_t AP121_MSG_COPY_NAME = 78;
constexpr uint16_t AP121_MSG_LOAD_ACCESSORIES = 79;
constexpr uint16_t AP121_MSG_ACCESSORY_BY_ID = 80;
constexpr uint16_t AP121_MSG_CLEAR_WARNINGS = 81;
constexpr uint16_t AP121_MSG_CLEAR_FAILURES = 82;
constexpr uint16_t AP121_MSG_CLEAR_DONE = 83;
constexpr uint16_t AP121_MSG_ANY_SERIOUS = 84;
constexpr uint16_t AP121_MSG_MESSAGE_TEXT = 85;
constexpr uint16_t AP121_MSG_MESSAGE_HELP = 86;
constexpr uint16_t AP121_MSG_ANY_WARNING = 87;
constexpr uint16_t AP121_MSG_ANY_FAILURE = 88;

// Host objects' parameters and messages that the checks read.
enum AP120_HOST_PARM : uint16_t {
  AP120_CS_RESOLUTION = 0, AP120_CS_POINTS_B = 6, AP120_CS_ZERO_FILL = 7, AP120_CS_MODE = 10,
  AP120_CS_SOURCE_KIND = 16, AP120_CS_POINTS_A = 27, AP120_CS_HALVED = 42,
  AP120_BENCH_SPACING = 8, AP120_BENCH_LASER = 17,
  AP120_INSTRUMENT_DETECTOR = 3, AP120_INSTRUMENT_SOURCE = 4, AP120_INSTRUMENT_BEAM_SPLITTER = 5,
  AP120_INSTRUMENT_X1 = 29, AP120_INSTRUMENT_X2 = 30,
  AP120_FILTER_HIGH = 9, AP120_FILTER_LOW = 10,
};
constexpr uint16_t AP120_MSG_INSTRUMENT_BEAM_SPLITTER = 89;
constexpr uint16_t AP120_MSG_INSTRUMENT_DETECTOR = 90;
// The fine collection mode of collection-settings parameter 10.
constexpr uint32_t AP120_FINE_MODE = 2;

#pragma pack(push, 2)
// Messages 71 and 72, 12 bytes.
struct AP120_COLLECTIONPARM {
  AP121_SQR* result;
  AP_OBJECT* settings;
  AP_OBJECT* instrument;
};
// Message 73, 16 bytes.
struct AP120_SPECTRUMSETTINGSPARM {
  AP121_SQR* result;
  AP_OBJECT* settings;
  AP_OBJECT* bench;
  AP7_SPECTRUM* spectrum;
};
// Messages 74 (i32 samples) and 80 (f32 samples), 28 bytes: the amplitude
// is read at index + offset and the noise over the 250 samples from 250
// after it, all within the `count` samples the caller holds.
struct AP120_IFGPARM {
  AP121_SQR* result;
  const void* samples;
  uint32_t index;
  uint32_t offset;
  float scale;
  float divisor;
  uint32_t count;
};
// Messages 75 and 76, 8 bytes.
struct AP120_SPECTRUMPARM {
  AP121_SQR* result;
  AP7_SPECTRUM* spectrum;
};
// Message 77, 12 bytes.
struct AP120_BANDRATIOPARM {
  AP121_SQR* result;
  AP7_SPECTRUM* spectrum;
  float laser;
};
// Message 78, 16 bytes.
struct AP120_ENERGYPARM {
  AP121_SQR* result;
  AP7_SPECTRUM* second;
  uint32_t not_read;
  AP7_SPECTRUM* spectrum;
};
// Message 79, 8 bytes.
struct AP120_FILTERPARM {
  AP_OBJECT* filters;
  AP7_SPECTRUM* spectrum;
};
// SQR message 60, 8 bytes.
struct AP121_REPORTPARM {
  AP48_TEXT* text;
  HWND window;
};
// SQR message 73, 12 bytes.
struct AP121_HELPGROUPPARM {
  const int16_t* index;
  uint16_t* count;
  uint16_t* list;
};
// SQR message 75, 14 bytes.
struct AP121_ENTRYATPARM {
  int16_t index;
  uint16_t* id;
  const char** name;
  const char** help_base;
};
// SQR message 78, 8 bytes.
struct AP121_COPYNAMEPARM {
  const int16_t* id;
  char* buffer;
};
// SQR message 80, 14 bytes.
struct AP121_ENTRYBYIDPARM {
  int16_t not_read;
  const uint16_t* id;
  const char** name;
  const char** help_base;
};
#pragma pack(pop)
static_assert(sizeof(AP120_COLLECTIONPARM) == 12);
static_assert(sizeof(AP120_SPECTRUMSETTINGSPARM) == 16);
static_assert(sizeof(AP120_IFGPARM) == 28);
static_assert(sizeof(AP120_ENERGYPARM) == 16);
static_assert(sizeof(AP121_HELPGROUPPARM) == 12);
static_assert(sizeof(AP121_ENTRYATPARM) == 14);
static_assert(sizeof(AP121_ENTRYBYIDPARM) == 14);

APEXPORT uint32_t AP120_Dispatcher_SQ(void* object, uint16_t message, void* parameter);
APEXPORT uint32_t AP121_Dispatcher_SQR(void* object, uint16_t message, void* parameter);
uint16_t ap120_InitClass_SQ(uint16_t class_id);
uint16_t ap120_TermClass_SQ(uint16_t class_id);
uint16_t ap121_InitClass_SQR(uint16_t class_id);
uint16_t ap121_TermClass_SQR(uint16_t class_id);

// What sets the two classes apart; the frame they share (ap120.cpp) does
// the rest: the class heap and table, creation, destruction, size, reading,
// copying and the pairing of the two path parameters.
struct AP12X_CLASS {
  uint16_t class_id;
  const char* class_name;
  const char* heap_name;
  const char* dispatcher_name;
  AP_DISPATCHER dispatcher;  // the same, as this library has it
  uint32_t cells_per_block;
  uint32_t object_bytes;
  uint32_t record_bytes;
  uint16_t table_tag;
  uint16_t name_group;
  AP13_PARMENTRY* rows;
  uint16_t row_count;
  uint16_t created_version;
  uint16_t short_path;
  uint16_t long_path;
};
uint16_t ap12x_InitClass(const AP12X_CLASS& kind);
uint16_t ap12x_TermClass(const AP12X_CLASS& kind);
// The first PARAMS-child fields of either class: id, part, record.
AP13_CHILD* ap12x_object(const AP12X_CLASS& kind, void* object);
// Messages 2, 4, 5, 7, 9, 17 (without an upgrade), 22 and the path pairing
// of 41, 43 and 65; every other message goes to the object's PARAMS part.
// A read answers the object read into (made when asked), for the caller's
// upgrade.
uint32_t ap12x_Dispatch(const AP12X_CLASS& kind, void* object, uint16_t message, void* parameter);
AP13_CHILD* ap12x_Read(const AP12X_CLASS& kind, void* object, const AP_READPARM* block);
// The size of the block each shared message reads, 0 for the others.
uint32_t ap12x_BlockSize(uint16_t message);

// The object as an SQ or SQR, or null.
AP120_SQ* ap120_sq(void* object);
AP121_SQR* ap121_sqr(void* object);

// A parameter of a quality-check record read by its number (the record's
// layout is the class table's).
template <typename T>
T ap12x_get(const AP13_PARAMS* part, uint16_t number) {
  const uint8_t* at = ap13_GetValuePtr_PARAMS(part, number);
  return at != nullptr ? ap13_load<T>(at) : T{};
}
inline bool ap12x_on(const AP13_PARAMS* part, uint16_t number) { return ap12x_get<int16_t>(part, number) != 0; }

// The level rule: 2 stays, 1 stays unless raised to 2, anything else
// becomes the new level.
uint16_t ap121_RaiseLevel(uint16_t level, uint16_t raised);
// Bit-word operations of messages 71, 72, 76 and 81-83; 1 on success.
uint32_t ap121_SetWarnings(AP121_SQR* result, uint32_t bits);
uint32_t ap121_SetFailures(AP121_SQR* result, uint32_t bits);
uint32_t ap121_SetDone(AP121_SQR* result, uint32_t bits);
uint32_t ap121_ClearBits(AP121_SQR* result, uint16_t word, uint32_t bits);
// Whether any masked bit of the word pair starting at parameter `word` is
// set.
bool ap121_AnyBit(const AP121_SQR* result, uint16_t word, uint32_t bits);

// The bracket of a check message on its result: clears the marks and
// bits the check can set, opens a change, keeps the level as the tests
// raise it, and stores it and closes the change at the end.
class ap120_check_run {
 public:
  ap120_check_run(AP121_SQR* result, const uint32_t* marks, size_t mark_count, const uint32_t* warnings,
                  size_t warning_count, const uint32_t* failures, size_t failure_count);
  ~ap120_check_run();
  ap120_check_run(const ap120_check_run&) = delete;
  ap120_check_run& operator=(const ap120_check_run&) = delete;
  void mark(uint32_t bit);
  void warn(uint32_t bit);
  void fail(uint32_t bit);
  void raise(uint16_t level) { level_ = ap121_RaiseLevel(level_, level); }
  // Stores the level when it changed and closes the change; the level.
  uint32_t finish();

 private:
  AP121_SQR* result_;
  uint16_t initial_;
  uint16_t level_;
  bool finished_;
};

// The sensitivity scale: s in 1..100 onto a..b, and a measured value back
// onto the scale.
float ap120_Threshold(float sensitivity, float a, float b);
float ap120_Score(float value, float a, float b);
// The X range of a spectrum's header, low then high; false without one.
bool ap120_XRange(const AP7_SPECTRUM* spectrum, float* low, float* high);

// The checks, as the messages named beside them.
uint32_t ap120_CollectionChecks(AP120_SQ* sq, const AP120_COLLECTIONPARM* block);         // 71
uint32_t ap120_CopySettings(AP120_SQ* sq, const AP120_COLLECTIONPARM* block);             // 72
uint32_t ap120_SpectrumSettings(AP120_SQ* sq, const AP120_SPECTRUMSETTINGSPARM* block);   // 73
uint32_t ap120_InterferogramChecks(AP120_SQ* sq, const AP120_IFGPARM* block, bool float_samples);  // 74, 80
uint32_t ap120_SpectrumChecks(AP120_SQ* sq, const AP120_SPECTRUMPARM* block);             // 75
uint32_t ap120_BandChecks(AP120_SQ* sq, const AP120_SPECTRUMPARM* block);                 // 76
uint32_t ap120_BandRatioChecks(AP120_SQ* sq, const AP120_BANDRATIOPARM* block);           // 77
uint32_t ap120_EnergyCheck(AP120_SQ* sq, const AP120_ENERGYPARM* block);                  // 78
uint32_t ap120_FilterCompare(const AP120_FILTERPARM* block);                              // 79

// The smart-accessory table: loaded once (message 79), freed at SQR class
// termination.
uint16_t ap121_LoadAccessories();
void ap121_FreeAccessories();
// The old accessory codes of settings records before version 4 onto the
// current ones, in place; 0 for a missing argument.
uint16_t ap121_MapAccessoryCode(uint16_t* code);
uint32_t ap121_AccessoryCount();                                                  // 74
uint32_t ap121_HelpGroup(const AP121_SQR* result, const AP121_HELPGROUPPARM* block);  // 73
uint32_t ap121_AccessoryAt(const AP121_ENTRYATPARM* block);                        // 75
uint32_t ap121_HasName(uint16_t id);                                               // 77
uint32_t ap121_CopyName(const AP121_COPYNAMEPARM* block);                          // 78
uint32_t ap121_AccessoryById(const AP121_ENTRYBYIDPARM* block);                    // 80
// The accessory's name, or null when the table has no entry of that ID.
const char* ap121_AccessoryName(uint16_t id);
const char* ap121_MessageText(const AP121_SQR* result, int16_t message);           // 85
const char* ap121_MessageHelp(const AP121_SQR* result, int16_t message);           // 86

// Message 60: the readable report of the result appended to the text.
uint32_t ap121_Report(AP121_SQR* result, AP48_TEXT* text, HWND window);
// Robust baselines and band detection (ap7f_robustbaseline.cpp,
// ap7f_cubicbaseline.cpp), the region baseline, range counts and X extent
// (ap7f_regionbaseline.cpp), baseline removal (ap7c_baselineremoval.cpp) and
// the mid-IR single-beam spline baseline (ap7g_mirspline.cpp)

#include "chemometrics/chemometrics.h"

constexpr uint16_t AP7_MSG_ROBUST_POLY_BASELINE = 266;
constexpr uint16_t AP7_MSG_ROBUST_CUBIC_BASELINE = 267;

// Directions of the robust baselines: decided after the first iteration,
// peaks up, peaks down, both, the spectrum's own.
constexpr uint16_t AP7F_DIRECTION_DECIDED = 0;
constexpr uint16_t AP7F_DIRECTION_UP = 1;
constexpr uint16_t AP7F_DIRECTION_DOWN = 2;
constexpr uint16_t AP7F_DIRECTION_BOTH = 3;
constexpr uint16_t AP7F_DIRECTION_OWN = 4;
// Outputs: the baseline, the point classes / 10, else the values less the
// baseline.
constexpr uint16_t AP7F_OUTPUT_BASELINE = 1;
constexpr uint16_t AP7F_OUTPUT_CLASSES = 2;
constexpr uint16_t AP7F_OUTPUT_CORRECTED = 3;
// Point classes.
constexpr int32_t AP7F_CLASS_UNUSED = 0;
constexpr int32_t AP7F_CLASS_INSIDE_ABOVE = 2;
constexpr int32_t AP7F_CLASS_INSIDE_BELOW = -2;
constexpr int32_t AP7F_CLASS_ABOVE = 10;
constexpr int32_t AP7F_CLASS_BELOW = -10;
// Columns of the result array of messages 266 and 267.
enum AP7F_ROBUSTCOLUMN : uint32_t {
  AP7F_COLUMN_SIZE = 0,       // polynomial order, or interior knots
  AP7F_COLUMN_POINTS = 1,
  AP7F_COLUMN_OUTSIDE = 2,    // with the band scan: points of a feature
  AP7F_COLUMN_POSITIVE = 3,   // with the band scan: up-down features
  AP7F_COLUMN_NEGATIVE = 4,   // with the band scan: down-up features
  AP7F_COLUMN_ABOVE = 5,
  AP7F_COLUMN_BELOW = 6,
  AP7F_COLUMN_LONG_RUNS = 7,
  AP7F_ROBUST_COLUMNS = 8,
};
// The largest polynomial order and the most interior knots a robust
// baseline takes: beyond them the normal equations of any region are too
// ill-conditioned to solve, and their size grows without bound.
constexpr uint32_t AP7F_MOST_ORDER = 16;
constexpr uint32_t AP7F_MOST_KNOTS = 63;

#pragma pack(push, 2)
// Messages 266 and 267, 42 bytes.
//    0  4  266: polynomial order; 267: interior knots
//    4  2  thinning: smooth and thin regions of more than 1024 points
//    6  2  266: band scan after the fit
//    8  2  absorbance: work in Y-unit code 17
//   10  2  direction (AP7F_DIRECTION_*)
//   12  2  output (AP7F_OUTPUT_*)
//   14  2  267: continuity order at the knots
//   16  2  not read
//   18  4  x1 (not given: the whole spectrum)
//   22  4  x2
//   26  4  k, band half-width in residual deviations
//   30  4  k2, the part of k taken off on the peak side (at most k)
//   34  4  w0, weight of points on the peak side
//   38  4  where the result array goes
struct AP7F_ROBUSTPARM {
  uint32_t size;
  uint16_t thinning;
  uint16_t band_scan;
  uint16_t absorbance;
  uint16_t direction;
  uint16_t output;
  uint16_t continuity;
  uint16_t unused;
  float x1;
  float x2;
  float k;
  float k2;
  float w0;
  AP4_ARRAY** result;
};
#pragma pack(pop)
static_assert(sizeof(AP7F_ROBUSTPARM) == 42);
static_assert(offsetof(AP7F_ROBUSTPARM, x1) == 18);
static_assert(offsetof(AP7F_ROBUSTPARM, result) == 38);

// Message 266: a new spectrum of the region's robust polynomial baseline,
// the region less it, or its point classes / 10 (after the band scan, when
// asked, its features as 1.0 and -1.0), and the 1 × 8 result array through
// the block. Null on failure, the out-field then untouched.
AP7_SPECTRUM* ap7f_RobustPolynomialBaseline(AP7_SPECTRUM* spectrum, const AP7F_ROBUSTPARM* block);
// Message 267: the same with a chain of cubics joined at adaptive knots,
// flat at both ends of the region, and no band scan.
AP7_SPECTRUM* ap7f_RobustCubicBaseline(AP7_SPECTRUM* spectrum, const AP7F_ROBUSTPARM* block);

// The band scan over the output values v[start..n - 1]: each run above
// 0.5 directly followed by one below -0.5 (6 points or more, the second run
// 3 or more, the first 3 or more) becomes 1.0, the reverse -1.0, every
// other value 0.0. The up-down and down-up counts out; the marked points.
int32_t ap7f_BandScan(float* v, int32_t n, int32_t start, int32_t features[2]);

// One robust fit in progress: the cleaned region copy's values (smoothed
// when thinned), the thinning step, each point's class, the points that
// enter the next fit, the direction in force and the model's size, which
// the fit may lower.
struct AP7F_ROBUSTFIT {
  const float* y;
  int32_t n;
  int32_t step;
  std::vector<int32_t> classes;
  std::vector<int32_t> points;
  uint16_t direction;
  float w0;
  uint32_t size;
  uint16_t continuity;
};
// What tells the two robust baselines apart: the fit of the points, which
// fills the baseline at every point of the copy (false fails the
// operation); how many fewer than the points the deviation divides by;
// whether the result goes back to its Y unit whatever the output.
struct AP7F_BASELINEMODEL {
  bool (*fit)(AP7F_ROBUSTFIT& fit, std::vector<double>& baseline);
  uint32_t deviation_less;
  bool convert_back_always;
};
// The preparation, classification iterations, outputs and result array
// the robust baselines share, around the model's fit.
AP7_SPECTRUM* ap7f_RobustBaseline(AP7_SPECTRUM* spectrum, const AP7F_ROBUSTPARM* block,
                                  const AP7F_BASELINEMODEL& model, bool band_scan);
// The value a point of the fit is fitted to: its own, or the weighted mean
// of its thinning window.
double ap7f_FitTarget(const AP7F_ROBUSTFIT& fit, int32_t i);
// Whether w0 makes the fit weighted: not 0, and one peak direction.
bool ap7f_Weighted(const AP7F_ROBUSTFIT& fit);
// The weighted least-squares solution b = (XᵀWX)⁻¹XᵀWy of the design X
// (rows the points), and the inverse when asked; false when a matrix
// cannot be made or the normal matrix is singular.
bool ap7f_WeightedSolve(AP4D_DBLMATRIX design, const std::vector<double>& weights, const std::vector<double>& y,
                        AP4D_DBLMATRIX* solution, AP4D_DBLMATRIX* inverse);
// The inverse of a symmetric matrix, null when it is singular or so near
// it that the product with the matrix is not the identity (to 1e-6 after
// scaling by the diagonal).
AP4D_DBLMATRIX ap7f_CheckedInverse(AP4D_DBLMATRIX matrix);
// A region copy cleaned for a baseline: the points before the first two
// neighbouring present values and after the last two deleted, the gaps
// between filled; false when no two neighbours are present.
bool ap7f_TrimMissingEnds(AP7_SPECTRUM* copy);

constexpr uint16_t AP7_MSG_REMOVE_MULTIPOINT_BASELINE = 298;
constexpr uint16_t AP7_MSG_BASELINE_REMOVED = 301;

// Curves of message 298: the points only, straight lines, a natural cubic
// spline, a least-squares polynomial.
constexpr uint16_t AP7C_POINTS_ONLY = 0;
constexpr uint16_t AP7C_POINTS_LINES = 1;
constexpr uint16_t AP7C_POINTS_SPLINE = 2;
constexpr uint16_t AP7C_POINTS_POLYNOMIAL = 3;
// Fits of message 301; any other mode changes nothing.
constexpr uint16_t AP7C_REGION_LINE = 1;
constexpr uint16_t AP7C_REGION_PARABOLA = 2;

#pragma pack(push, 2)
// Message 298, 8 bytes: the curve, the polynomial degree and the region
// table (rows of kind, x1, x2; kinds AP7E_BASELINE_REGION_MEAN, _LOWEST,
// _HIGHEST give a point, AP7E_BASELINE_FITTED_PARABOLA a parabola region).
struct AP7C_MULTIPOINTPARM {
  uint16_t mode;
  uint16_t degree;
  AP4_ARRAY* table;
};
// Message 301, 10 bytes.
struct AP7C_REGIONFITPARM {
  float x1;
  float x2;
  uint16_t mode;
};
#pragma pack(pop)
static_assert(sizeof(AP7C_MULTIPOINTPARM) == 8);
static_assert(sizeof(AP7C_REGIONFITPARM) == 10);

// Message 298: one point per point region of the table, joined by the
// mode's curve and subtracted in place, then a parabola removed over each
// parabola region. 1 on success (and for no table); 0 when a region yields
// no point (nothing is subtracted then) or a fit fails. A degree above
// AP7F_MOST_ORDER is refused.
APEXPORT int16_t AP7_RemoveMultipointBaseline_SPECTRUM(AP7_SPECTRUM* spectrum, uint16_t mode, uint16_t degree,
                                                       AP4_ARRAY* table);
// Message 301: the line or parabola fitted to the present points of x1..x2
// (not given: the whole spectrum) subtracted from every point, extended
// beyond the region. 0 when the region holds fewer present points than the
// fit has coefficients, or the fit is singular; the spectrum is unchanged.
APEXPORT int16_t AP7_BaselineRemoved_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t mode);
// A region's baseline point (mean, lowest or highest of its present
// points); 0 when the region misses the data or holds no present point.
uint16_t ap7c_RegionPoint(AP7_SPECTRUM* spectrum, int32_t kind, float x1, float x2, float* x, float* y);
// The points ordered by rising X (selection sort, the first of equal X
// first).
void ap7c_SortPointsByX(std::vector<float>& x, std::vector<float>& y);
// The curves through points sorted by X, subtracted in place; 1 when done.
uint16_t ap7c_SubtractLinearPointBaseline(AP7_SPECTRUM* spectrum, const std::vector<float>& x,
                                          const std::vector<float>& y);
uint16_t ap7c_SubtractSplinePointBaseline(AP7_SPECTRUM* spectrum, const std::vector<float>& x,
                                          const std::vector<float>& y);
uint16_t ap7c_SubtractPolynomialPointBaseline(AP7_SPECTRUM* spectrum, const std::vector<float>& x,
                                              const std::vector<float>& y, uint16_t degree);

// ---------------------------------------------------------------------------
// Point-axis centre shift, halving and folding (ap7f_points.cpp), smoothing,
// derivatives, first difference and running integral (ap7f_smooth.cpp),
// decimation (ap7f_decimate.cpp), single beam back to interferogram
// (ap7g_unfps.cpp), the spectrum information text (ap7c_info.cpp) and the
// correction tables and files (ap7e_correction.cpp)

constexpr uint16_t AP7_MSG_BUILD_CORRECTION_FILES = 282;
constexpr uint16_t AP7_MSG_APPLY_CORRECTION_FILE = 283;
constexpr uint16_t AP7_MSG_CENTRE_SHIFT = 293;
constexpr uint16_t AP7_MSG_FOLD_RECORD = 294;
constexpr uint16_t AP7_MSG_SMOOTH_WITH_OPTIONS = 297;
constexpr uint16_t AP7_MSG_SPECTRUM_INFO_TEXT = 299;
constexpr uint16_t AP7_MSG_FIRST_DIFFERENCE = 306;
constexpr uint16_t AP7_MSG_DECIMATE = 307;
constexpr uint16_t AP7_MSG_UNFPS = 309;
constexpr uint16_t AP7_MSG_SIMPLE_INTEGRAL = 432;

// Modes of message 293: the shift measured at the centre (2: the same for
// every point, 4: growing from the first point), the shift given (3, 5
// likewise); any other halves the points (0: the odd ones, else the even).
constexpr uint16_t AP7F_HALVE_ODD_POINTS = 0;
constexpr uint16_t AP7F_MEASURED_SHIFT = 2;
constexpr uint16_t AP7F_GIVEN_SHIFT = 3;
constexpr uint16_t AP7F_MEASURED_RAMP = 4;
constexpr uint16_t AP7F_GIVEN_RAMP = 5;

// Message 306: a count of this or more takes no difference.
constexpr int32_t AP7F_NO_DIFFERENCE = 1000;
// Its region records: 52 bytes apart, the two X limits at bytes 16 and 24.
constexpr uint32_t AP7F_REGION_RECORD = 52;
constexpr uint32_t AP7F_REGION_X1 = 16;
constexpr uint32_t AP7F_REGION_X2 = 24;
// Columns of its region-information rows.
constexpr uint32_t AP7F_REGION_INFO_COLUMNS = 6;

// Modes of message 432, and how it shifts the integral.
constexpr int32_t AP7F_SINGLE_INTEGRAL = 1;
constexpr int32_t AP7F_DOUBLE_INTEGRAL = 2;
constexpr int32_t AP7F_OFFSET_NONE = 0;
constexpr int32_t AP7F_OFFSET_MEAN = 1;
constexpr int32_t AP7F_OFFSET_MINIMUM = 2;
constexpr int32_t AP7F_OFFSET_MAXIMUM = 3;

// Flags of message 299 (its labels are the header's, AP41_GROUP_LABELS).
constexpr uint16_t AP7C_INFO_COMPANY = 0x0001;
constexpr uint16_t AP7C_INFO_TITLE = 0x0002;
constexpr uint16_t AP7C_INFO_DATE = 0x0004;
constexpr uint16_t AP7C_INFO_COLLECTION = 0x0008;
constexpr uint16_t AP7C_INFO_OPTICS = 0x0010;
constexpr uint16_t AP7C_INFO_COMMENT = 0x0020;
constexpr uint16_t AP7C_INFO_PATH = 0x0040;
constexpr uint16_t AP7C_INFO_NO_SIGNATURE = 0x1000;
constexpr uint16_t AP7C_INFO_SIGNATURE_FLAG_0 = 0x2000;
// Benches above this describe themselves through the spectrum's members
// (message 70 to each, with AP7C_INFOMEMBERPARM).
constexpr uint32_t AP7C_SELF_DESCRIBING_BENCH = 900;
constexpr uint16_t AP7C_MSG_MEMBER_INFO = 70;
// The signature entry of the signature library.
constexpr char AP7C_SIGNATURE_TEXT_ENTRY[] = "AP135_GetSignatureAsGU3String";
using AP7C_SIGNATURETEXT = char* (*)(const char* path, uint32_t, uint32_t, uint32_t flag, AP7_SPECTRUM* spectrum);

// The correction tables: the magic number of a table, and the levels of
// the files "_corrn<r><k>.crn" (resolution r, zero filling k).
constexpr uint32_t AP7E_CORRECTION_MAGIC = 70493;
constexpr uint32_t AP7E_RESOLUTION_LEVELS = 7;
constexpr uint32_t AP7E_ZERO_FILL_LEVELS = 3;
// Parameter 114 of the host settings object: the correction directory.
constexpr uint16_t AP7E_SETTINGS_CORRECTION_DIRECTORY = 114;

#pragma pack(push, 2)
// Message 293, 10 bytes.
struct AP7F_CENTRESHIFTPARM {
  uint16_t mode;
  float shift;
  float* used;
};
// Message 297, 16 bytes.
struct AP7F_SMOOTHPARM {
  float x1;
  float x2;
  AP4_ARRAY* coefficients;
  int32_t option;
};
// Message 306, 8 bytes.
struct AP7F_DIFFERENCEPARM {
  const void* regions;
  int32_t count;
};
// Message 432, 24 bytes.
struct AP7F_INTEGRALPARM {
  float x1;
  float x2;
  int32_t mode;
  int32_t offset_mode;
  float level;
  float mean_level;
};
// Message 70 to the members of a self-describing bench's spectrum.
struct AP7C_INFOMEMBERPARM {
  AP7_SPECTRUM* spectrum;
  uint16_t flags;
  AP48_TEXT* text;
};
// Head of a correction file, 20 bytes, little-endian; rows × columns f32
// follow, row after row.
//    0  4  number of vectors (rows)
//    4  4  points per vector (columns)
//    8  4  low X limit
//   12  4  high X limit
//   16  4  derivative flag: the vectors are of differences of points two apart
struct AP7E_CORRECTIONHEAD {
  uint32_t rows;
  uint32_t columns;
  float low;
  float high;
  uint32_t derivative;
};
#pragma pack(pop)
static_assert(sizeof(AP7F_CENTRESHIFTPARM) == 10);
static_assert(sizeof(AP7F_SMOOTHPARM) == 16);
static_assert(sizeof(AP7F_DIFFERENCEPARM) == 8);
static_assert(sizeof(AP7F_INTEGRALPARM) == 24);
static_assert(sizeof(AP7C_INFOMEMBERPARM) == 10);
static_assert(sizeof(AP7E_CORRECTIONHEAD) == 20);

// Message 293: a new spectrum of point-axis data shifted by a fraction of
// a point (three-point parabolic interpolation) or halved; the shift used
// goes to *used. Null for data not on a point axis, fewer than 3 points
// for a shift, fewer than 2 for halving, or a failed step.
AP7_SPECTRUM* ap7f_CentreShift(AP7_SPECTRUM* spectrum, uint16_t mode, float shift, float* used);
// Message 294: a new spectrum of half the points, each point added to its
// mirror point; for interferograms, single beams and ratios of a power of
// two of 2 or more points starting at X 0. Null otherwise.
AP7_SPECTRUM* ap7f_FoldRecord(AP7_SPECTRUM* spectrum);

// Message 297: a new spectrum filtered by the coefficients (option 1: per
// X unit, 2: per X unit squared; from 10 up the same less 10; the ends are
// kept for option 0 and 0.0 otherwise) or a duplicate without them, 0.0
// outside x1..x2 when the limits differ. Null on failure.
APEXPORT AP7_SPECTRUM* AP7_SmoothWithOptions_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2,
                                                      AP4_ARRAY* coefficients, int32_t option);
// Message 306: the spectrum's values replaced by their first difference
// (unless count >= 1000), and a new count × 6 array describing each region
// record; null when there is no region.
APEXPORT AP4_ARRAY* AP7_FirstDifferencePlus_SPECTRUM(AP7_SPECTRUM* spectrum, const void* regions, int32_t count);
// Message 432: a new spectrum of the running (mode 2: double) integral,
// 0 at the start of x1..x2 and missing outside it, shifted by the offset
// mode. Null on failure.
APEXPORT AP7_SPECTRUM* AP7_SimpleIntegral_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t mode,
                                                   int32_t offset_mode, float level, float mean_level);
// A new spectrum like the given one, its member list copied, with no data.
AP7_SPECTRUM* ap7f_NewLikeWithList(AP7_SPECTRUM* spectrum);

// Message 307: a new spectrum on the grid of the largest power-of-two
// multiple of the spacing below 1.1 x the target, low-pass filtered at
// each halving. Null for a target or a spacing of 0 or below, or a target
// finer than the spacing.
APEXPORT AP7_SPECTRUM* AP7_Decimate_SPECTRUM(AP7_SPECTRUM* spectrum, float target);

// Message 309: a new point-axis interferogram made from a single beam by
// the inverse transform, less the weighting, mirrored about point 1024.
// Null when refused or a step fails.
APEXPORT AP7_SPECTRUM* AP7_UnFPS_SPECTRUM(AP7_SPECTRUM* spectrum, int32_t halvings);

// Message 299: a new string-space text about the spectrum, its sections
// chosen by the AP7C_INFO_ flags; null without a spectrum and header, or
// when the string space is exhausted.
char* ap7c_BuildSpectrumInfoText(AP7_SPECTRUM* spectrum, uint16_t flags);
// A new string-space string a + b (b may be null), a removed; null when a
// is null or there is no room (a is then kept).
char* ap7c_ConcatString(char* a, const char* b);

// Message 282: the correction files built from the table at `path` into
// the host's correction directory; 1 when every file was written.
uint16_t ap7e_BuildCorrectionFiles(const char* path);
// The same into the given directory.
uint16_t ap7e_BuildCorrectionFilesIn(const char* path, const char* directory);
// Message 283: a new spectrum with the projections on the vectors of the
// correction file that fits its collection removed; *residual the norm of
// what is left (missing until then). Null on failure.
AP7_SPECTRUM* ap7e_ApplyCorrection(AP7_SPECTRUM* spectrum, float* residual);
// The same with the file taken from the given directory.
AP7_SPECTRUM* ap7e_ApplyCorrectionFrom(AP7_SPECTRUM* spectrum, const char* directory, float* residual);
// The head and the vectors (a new rows × columns array) of a correction
// file whose sizes agree with its length; 1 when read.
uint16_t ap7e_ReadCorrectionFile(const char* path, AP7E_CORRECTIONHEAD* head, AP4_ARRAY** vectors);

// A correction table as read: the output Y unit, the derivative flag, the
// vectors' X limits (high >= low), the regions and the entries.
struct AP7E_CORRECTIONREGION {
  float high;
  float low;
  int32_t code;
};
struct AP7E_CORRECTIONENTRY {
  std::string sample;
  std::string background;  // empty: none
  int32_t codes;           // region codes as decimal digits
};
struct AP7E_CORRECTIONTABLE {
  uint32_t y_code = 0;
  uint32_t derivative = 0;
  float high = 0.0f;
  float low = 0.0f;
  std::vector<AP7E_CORRECTIONREGION> regions;
  std::vector<AP7E_CORRECTIONENTRY> entries;
};
// The table at `path`, its counts checked against the file's length before
// anything is read; 1 when read whole with the right magic number.
uint16_t ap7e_ReadCorrectionTable(const char* path, AP7E_CORRECTIONTABLE* table);

// ---------------------------------------------------------------------------
// Laser-frequency correction of the X axis (ap7e_laser.cpp)

constexpr uint16_t AP7_MSG_SET_LASER_FREQUENCY = 250;
constexpr uint16_t AP7_MSG_CHANGE_LASER_FREQUENCY_MODE = 436;

// Modes of message 436: a change of more than AP7E_LASER_RESET_CHANGE
// resets the spectrum to the default laser on its standard grid, or every
// change is corrected.
constexpr uint16_t AP7E_LASER_RESET_WHEN_LARGE = 0;
constexpr uint16_t AP7E_LASER_ALWAYS_CORRECT = 1;
constexpr float AP7E_LASER_RESET_CHANGE = 20.0f;

// History texts (group 1096) of the correction: its label, and the format
// that takes the old and the new frequency as doubles.
constexpr uint16_t AP7E_HISTORY_LASER_LABEL = 78;
constexpr uint16_t AP7E_HISTORY_LASER_FORMAT = 28;
// A history line holds this many bytes, its "\r\n" and terminator included;
// the time of day is written into a buffer of the second size.
constexpr uint32_t AP7E_HISTORY_LINE_SIZE = 104;
constexpr uint32_t AP7E_TIME_TEXT_SIZE = 120;

#pragma pack(push, 2)
// Message 436, 6 bytes.
struct AP7E_LASERPARM {
  float frequency;
  uint16_t mode;
};
#pragma pack(pop)
static_assert(sizeof(AP7E_LASERPARM) == 6);

// Message 436: the spectrum moved onto the point grid of the new laser
// frequency in place: axis limits and laser field scaled by new / old, the
// values resampled (Catmull-Rom, in transmittance) at the scaled positions,
// the point count kept. A Raman-shift axis takes the Raman correction, any
// X unit but wavenumbers is left alone (1). 0 for a frequency that is not
// a positive number, a spectrum without a laser frequency or with fewer
// than 4 points, or a failed step; the Y unit is the same afterwards on
// every path.
uint16_t ap7e_ChangeLaserFrequency(AP7_SPECTRUM* spectrum, float frequency, uint16_t mode);
// Message 250, and what other operations call: message 436 in the mode
// that always corrects.
uint16_t ap7e_SetLaserFrequency(AP7_SPECTRUM* spectrum, float frequency);
// The correction of a Raman-shift axis (X code 32) about its laser line p44.
uint16_t ap7e_ChangeLaserFrequencyRaman(AP7_SPECTRUM* spectrum, float frequency);
// The spectrum resampled onto the standard grid of the default laser,
// which its laser field takes. 0 for a null spectrum or when the grid
// cannot be made (nothing changed then).
uint16_t ap7e_RestoreDefaultLaser(AP7_SPECTRUM* spectrum);

// The history line of a processing step: the text of group 1096 `label`
// followed by the date and time (left out when it cannot be written), cut
// to AP7E_HISTORY_LINE_SIZE bytes with its "\r\n" kept. 1 when appended;
// nothing without the text.
uint16_t ap7e_AddTimedHistoryLine(AP7_SPECTRUM* spectrum, uint16_t label);
// The points a spectrum holds: its header's count, at most its data's
// columns; 0 without header or data.
uint32_t ap7e_PointCount(const AP7_SPECTRUM* spectrum);
// One line of at most AP7E_HISTORY_LINE_SIZE bytes ended by "\r\n"; 1 when
// appended.
uint16_t ap7e_AddHistoryLineCut(AP7_SPECTRUM* spectrum, const char* text);
// True when the conversions of a format from the resources are exactly the
// kinds listed, in order: 'l' a long integer (%ld, %li), 'f' a double (%f,
// %e, %g and the capitals), 's' a text (%s); flags, width and precision
// allowed, "%%" is text.
bool ap7c_format_takes(const char* format, const char* kinds);

// ---------------------------------------------------------------------------
// Atmospheric suppression (ap7e_atmosphere.cpp)

constexpr uint16_t AP7_MSG_SUPPRESS_WATER = 252;
constexpr uint16_t AP7_MSG_SUPPRESS_CO2 = 253;
constexpr uint16_t AP7_MSG_SUPPRESS_ATMOSPHERE = 254;
constexpr uint16_t AP7_MSG_BUILD_ATMOS_REFERENCES = 255;
constexpr uint16_t AP7_MSG_SUBTRACT_REFERENCE = 256;
constexpr uint16_t AP7_MSG_MATCH_REFERENCE = 258;

// History bits of the suppressions.
constexpr int16_t AP41_HISTORY_CO2_SUPPRESSED = 44;
constexpr int16_t AP41_HISTORY_WATER_SUPPRESSED = 45;

// The title prefix (group 1007) of a suppressed spectrum; its history texts
// (group 1096): the water and carbon-dioxide lines, and the format that
// takes the reference's path and Y-unit name; the group of Y-unit names.
constexpr uint16_t AP7_TITLE_SUPPRESSED = 11;
constexpr uint16_t AP7E_HISTORY_WATER = 79;
constexpr uint16_t AP7E_HISTORY_CO2 = 80;
constexpr uint16_t AP7E_HISTORY_REFERENCE_FORMAT = 52;
constexpr uint16_t AP7E_GROUP_YUNIT_NAMES = 21304;

// The fit windows of the subtractions, in wavenumbers.
constexpr float AP7E_WATER_FIT_HIGH = 4000.0f;
constexpr float AP7E_WATER_FIT_LOW = 3400.0f;
constexpr float AP7E_CO2_FIT_HIGH = 2400.0f;
constexpr float AP7E_CO2_FIT_LOW = 2250.0f;

#pragma pack(push, 2)
// Messages 252 to 254, 6 bytes.
struct AP7E_SUPPRESSPARM {
  AP7_SPECTRUM* reference;
  uint16_t match;
};
// Message 255, 12 bytes: where the water and the carbon-dioxide references
// go (either may be null).
struct AP7E_REFERENCESPARM {
  uint32_t unused;
  AP7_SPECTRUM** water;
  AP7_SPECTRUM** co2;
};
// Message 256, 12 bytes: the reference and the fit window.
struct AP7E_SUBTRACTPARM {
  AP7_SPECTRUM* reference;
  float x1;
  float x2;
};
#pragma pack(pop)
static_assert(sizeof(AP7E_SUPPRESSPARM) == 6);
static_assert(sizeof(AP7E_REFERENCESPARM) == 12);
static_assert(sizeof(AP7E_SUBTRACTPARM) == 12);

// Messages 252 to 254: a new spectrum of the sample with the water, the
// carbon-dioxide or both bands of the reference subtracted, titled and
// with history; with the match flag the reference is first matched to the
// sample (message 258). For both gases a failed carbon-dioxide step leaves
// the water-corrected spectrum. Null on failure; the inputs stay.
AP7_SPECTRUM* ap7e_SuppressWater(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, uint16_t match);
AP7_SPECTRUM* ap7e_SuppressCO2(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, uint16_t match);
AP7_SPECTRUM* ap7e_SuppressAtmosphere(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, uint16_t match);
// Message 255: the water-only and carbon-dioxide-only references made from
// an atmosphere spectrum by straight-lining every region outside the gas's
// bands; each output (when given) receives its reference or null. 1 when
// every reference asked for was made; 0 (both null) otherwise.
uint16_t ap7e_BuildAtmosReferences(AP7_SPECTRUM* reference, AP7_SPECTRUM** water, AP7_SPECTRUM** co2);
// Message 256: a new spectrum of the sample less the reference scaled by
// the least-squares fit of their first differences over x1..x2, in
// absorbance, back in the sample's Y unit with its title. A copy of the
// sample when the window misses it; null on failure.
AP7_SPECTRUM* ap7e_SubtractReference(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference, float x1, float x2);
// Message 258: a new copy of the reference brought to the sample's laser
// frequency and point spacing, from the two spectra's own headers; null
// when either is not a spectrum or a step fails.
AP7_SPECTRUM* ap7e_MatchReference(AP7_SPECTRUM* sample, AP7_SPECTRUM* reference);
// The lower and the higher of an axis's first and last X.
void ap7e_AxisExtent(const AP41_HEADERDATA& record, float& low, float& high);
// x1..x2 straight-lined between the 9-point means at its ends, the range
// kept 4 points inside the data. 1 when done or nothing to do.
uint16_t ap7e_BridgeRegion(AP7_SPECTRUM* spectrum, float x1, float x2);
// The limits of a wavenumber axis moved onto the laser's grid (laser / 128
// halved until it matches the spacing within 1 %) where they lie off it by
// more than 5 % of a step. 1 when done or not a wavenumber axis; 0 when no
// grid step matches the spacing or the grid does not hold the points.
uint16_t ap7e_SnapXAxisToLaserGrid(AP7_SPECTRUM* spectrum);

// ---------------------------------------------------------------------------
// Best laser shift and atmospheric comparison (ap7e_shift.cpp)

constexpr uint16_t AP7_MSG_FIND_BEST_SHIFT = 302;
constexpr uint16_t AP7_MSG_ATMOS_COMPARE = 316;

// Scores of the best shift: the residual of a linear fit (0 and any other
// mode), the sum of squared differences, the deviation of the ratio
// (single beams only).
constexpr uint16_t AP7E_SHIFT_LINEAR_FIT = 0;
constexpr uint16_t AP7E_SHIFT_SQUARES = 1;
constexpr uint16_t AP7E_SHIFT_RATIO = 2;

#pragma pack(push, 2)
// Message 302, 26 bytes.
struct AP7E_BESTSHIFTPARM {
  AP7_SPECTRUM* reference;
  float x1;
  float x2;
  float range;
  float step;
  uint16_t mode;
  float* best;
};
// Message 316, 14 bytes.
struct AP7E_ATMOSCOMPAREPARM {
  AP7_SPECTRUM* other;
  float x1;
  float x2;
  uint16_t flag;
};
#pragma pack(pop)
static_assert(sizeof(AP7E_BESTSHIFTPARM) == 26);
static_assert(offsetof(AP7E_BESTSHIFTPARM, best) == 22);
static_assert(sizeof(AP7E_ATMOSCOMPAREPARM) == 14);

// Message 302: the laser-frequency offset, a multiple of step within
// -range..range, whose rescaled axis makes spectrum A match reference B
// best over x1..x2, both corrected to the bench's reference laser; ties go
// to the more negative offset, candidates with points resampled off the
// data are passed over. 1 with *best, else 0 with *best = 0.
APEXPORT int16_t AP7_FindBestShift_SPECTRUM(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, float range,
                                            float step, uint16_t mode, float* best);
// Message 316: 0 when A's mean absolute point-to-point difference in
// transmittance over x1..x2 (not given or empty: the common range) is
// below B's, else 1; 0 also on failure or a region outside the common
// range. The flag is not read.
APEXPORT int16_t AP7_AtmosCompare_SPECTRUM(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, uint16_t flag);

constexpr uint16_t AP7_MSG_CLEAN_REGION_COPY = 268;
constexpr uint16_t AP7_MSG_COUNT_OUT_OF_RANGE = 269;
constexpr uint16_t AP7_MSG_SET_X_EXTENT = 275;
constexpr uint16_t AP7_MSG_SUPPRESS_AND_BASELINE = 276;

// Output of message 268: the region less its baseline; any other value
// gives the baseline.
constexpr uint16_t AP7F_REGION_CORRECTED = 1;
// Columns of message 268's result array.
enum AP7F_REGIONCOLUMN : uint32_t {
  AP7F_REGION_SEGMENTS = 0,  // rubber-band segments + 2
  AP7F_REGION_POINTS = 1,
  AP7F_REGION_COLUMNS = 2,
};
// Modes of message 269: missing and nearly zero points, points below the
// limit, runs of nearly zero or low points.
constexpr uint16_t AP7F_COUNT_NEAR_ZERO = 1;
constexpr uint16_t AP7F_COUNT_BELOW = 2;
constexpr uint16_t AP7F_COUNT_RUNS = 3;
// Message 269's result array: flagged points, missing points, then by
// mode nearly zero points or runs holding one, points below the limit or
// runs without one, and the region's points.
constexpr uint32_t AP7F_COUNT_COLUMNS = 5;

#pragma pack(push, 2)
// Message 268, 20 bytes.
struct AP7F_CLEANREGIONPARM {
  uint16_t keep_sign;   // 0: negated for the search, the band runs above downward peaks
  uint16_t absorbance;  // work in Y-unit code 17
  uint16_t band_guard;  // keep the baseline off the atmospheric bands (with absorbance)
  uint16_t output;      // AP7F_REGION_CORRECTED, or the baseline
  float x1;
  float x2;
  AP4_ARRAY** result;
};
// Message 269, 18 bytes: the limit in percent transmittance.
struct AP7F_COUNTPARM {
  uint16_t mode;
  float limit;
  float x1;
  float x2;
  AP4_ARRAY** result;
};
// Message 275, 12 bytes: any extension value but 0.0 allows extending.
struct AP7F_EXTENTPARM {
  float x1;
  float x2;
  float extend;
};
// Message 276, 22 bytes.
struct AP7F_SUPPRESSPARM {
  float x1;
  float x2;
  uint16_t water;
  uint16_t co2;
  uint16_t baseline;
  AP7_SPECTRUM* water_reference;
  AP7_SPECTRUM* co2_reference;
};
#pragma pack(pop)
static_assert(sizeof(AP7F_CLEANREGIONPARM) == 20);
static_assert(offsetof(AP7F_CLEANREGIONPARM, result) == 16);
static_assert(sizeof(AP7F_COUNTPARM) == 18);
static_assert(offsetof(AP7F_COUNTPARM, result) == 14);
static_assert(sizeof(AP7F_EXTENTPARM) == 12);
static_assert(sizeof(AP7F_SUPPRESSPARM) == 22);
static_assert(offsetof(AP7F_SUPPRESSPARM, co2_reference) == 18);

// Message 268: a new spectrum of the region (missing ends trimmed, gaps
// filled) less its rubber-band baseline, or the baseline, and the 1 × 2
// result array through the out-field. Null on failure.
AP7_SPECTRUM* ap7f_CleanRegionCopy(AP7_SPECTRUM* spectrum, uint16_t keep_sign, uint16_t absorbance,
                                   uint16_t band_guard, uint16_t output, float x1, float x2, AP4_ARRAY** result_out);
// Message 269: the counts of the region in transmittance (limit in
// percent) through a new 1 × 5 array in the out-field; always 0.
uint32_t ap7f_CountOutOfRangePoints(AP7_SPECTRUM* spectrum, uint16_t mode, float limit, float x1, float x2,
                                    AP4_ARRAY** result_out);
// Message 275: the spectrum cut to x1..x2 at either end, or extended there
// with missing points when allowed. 0 for a falling axis, no data, a step
// that failed, or a cut that would leave no point.
int16_t ap7f_SetXExtent(AP7_SPECTRUM* spectrum, float x1, float x2, float extend);
// Message 276: an absorbance copy with water vapour and carbon dioxide
// suppressed (each when asked and its reference given) and an iterative
// order-3 baseline removed over x1..x2 when asked; a step that yields
// nothing leaves the copy. Null only when no copy could be made.
AP7_SPECTRUM* ap7f_SuppressAndBaseline(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t water, uint16_t co2,
                                       uint16_t baseline, AP7_SPECTRUM* water_reference,
                                       AP7_SPECTRUM* co2_reference);

constexpr uint16_t AP7_MSG_MIR_SPLINE_BASELINE = 308;
// Output of message 308: 1 - sample/baseline; any other value gives the
// baseline.
constexpr uint16_t AP7G_MIR_ABSORPTION = 1;

#pragma pack(push, 2)
// Message 308, 12 bytes: output, mode (0 three-point means, any other one
// point), the region.
struct AP7G_MIRSPLINEPARM {
  uint16_t output;
  uint16_t mode;
  float x1;
  float x2;
};
#pragma pack(pop)
static_assert(sizeof(AP7G_MIRSPLINEPARM) == 12);

// Message 308: a new spectrum of a mid-IR single beam's anchor-spline
// baseline over x1..x2 (equal limits: the whole axis), the other points
// kept, or of 1 - sample/baseline. Null for a region off the data, fewer
// than three points, or a failed step.
APEXPORT AP7_SPECTRUM* AP7_MIRSplineSB_SPECTRUM(AP7_SPECTRUM* spectrum, uint16_t output, uint16_t mode, float x1,
                                               float x2);

// ---------------------------------------------------------------------------
// Collection-parameter comparison and derivation (ap7e_collect.cpp)

constexpr uint16_t AP7_MSG_COMPARE_COLLECT_PARAMS = 248;
constexpr uint16_t AP7_MSG_DERIVE_COLLECT_PARAMS = 249;

// Rows of the comparison; rows at or beyond this count are never compared.
constexpr uint16_t AP7E_COLLECT_ROWS = 25;
// Results of message 249.
constexpr uint16_t AP7E_DERIVE_DONE = 1;
constexpr uint16_t AP7E_DERIVE_REFUSED = 186;
constexpr uint16_t AP7E_DERIVE_NO_FORMAT = 187;
// Messages of the host's bench settings object: the detector and beam
// splitter codes of its parameters 3 and 5 ({address of the u32 value}),
// and the notice that the settings were filled (null block).
constexpr uint16_t AP7E_BENCH_MSG_BEAMSPLITTER_CODE = 89;
constexpr uint16_t AP7E_BENCH_MSG_DETECTOR_CODE = 90;
constexpr uint16_t AP7E_BENCH_MSG_FILLED = 71;
// Association groups of the comparison's lines: the line formats (by row),
// the group labels, the text of a code without a label.
constexpr uint16_t AP7E_GROUP_COMPARE_LINES = 402;
constexpr uint16_t AP7E_GROUP_COMPARE_GROUPS = 9998;
constexpr uint16_t AP7E_GROUP_NO_LABEL = 9999;
// Groups whose texts say which Y units are final formats as they are, and
// which are final formats of a Raman axis.
constexpr uint16_t AP7E_GROUP_FINAL_FORMATS = 21300;
constexpr uint16_t AP7E_GROUP_RAMAN_FORMATS = 21703;

#pragma pack(push, 2)
// Message 248, 28 bytes.
struct AP7E_COMPAREPARM {
  void* collection;
  void* bench;
  AP48_TEXT* text;
  uint16_t* counts;   // G + 1
  uint16_t groups;    // G
  uint16_t* group;    // N: the group of each row, 0 none
  uint16_t* differs;  // N, written
  uint16_t rows;      // N
};
// Message 249, 10 bytes.
struct AP7E_DERIVEPARM {
  void* collection;
  void* bench;
  uint16_t gain;
};
#pragma pack(pop)
static_assert(sizeof(AP7E_COMPAREPARM) == 28);
static_assert(offsetof(AP7E_COMPAREPARM, group) == 18);
static_assert(offsetof(AP7E_COMPAREPARM, rows) == 26);
static_assert(sizeof(AP7E_DERIVEPARM) == 10);

// Message 248: each row in use whose spectrum value differs from the
// collection settings (K) or bench settings (B) value gets its group in
// differs and counts in counts[group]; counts[0] holds the rows in use less
// those counted. A row whose object is not given is skipped. With a text
// object a line per difference. 1, or 0 for a spectrum without header or
// arrays the caller cannot have given.
uint16_t ap7e_CompareCollectParams(AP7_SPECTRUM* spectrum, void* collection, void* bench, AP48_TEXT* text,
                                   uint16_t* counts, uint16_t groups, uint16_t* group, uint16_t* differs,
                                   uint16_t rows);
// Message 249: the bench and collection settings filled from the spectrum
// so that a new collection repeats it. AP7E_DERIVE_DONE, or one of the two
// refusals.
uint16_t ap7e_DeriveCollectParams(AP7_SPECTRUM* spectrum, void* collection, void* bench, uint16_t gain);
