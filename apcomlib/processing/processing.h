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
// Types 119..123, 125..133 (ap7e_widths.cpp).
uint16_t ap7e_MeasureWidth(const ap7e_frame& frame);

// The points of xa..xb cut out of a spectrum into one of their own (deleted
// with this), their X values at the measured spectrum's spacing.
class ap7e_cut {
 public:
  ap7e_cut(AP7_SPECTRUM* spectrum, float xa, float xb);
  bool found() const { return values_ != nullptr; }
  int32_t count() const { return count_; }
  float* values() const { return values_; }
  float first_x() const { return first_x_; }
  float last_x() const { return last_x_; }
  float x_at(int32_t index, float h) const { return first_x_ + static_cast<float>(index) * h; }
  // Region start and end := the cut's first and last X.
  void write_back(AP7_MEASUREREC* record) const;
  AP7_SPECTRUM* spectrum() const { return cut_.get(); }
  // The cut itself, handed over to the caller.
  AP7_SPECTRUM* release() { return cut_.release(); }

 private:
  ap7a_new_spectrum cut_;
  float* values_ = nullptr;
  int32_t count_ = 0;
  float first_x_ = 0.0f;
  float last_x_ = 0.0f;
};
