// Chemometrics: the double-precision matrix toolkit and the decompositions,
// filters, bases and least-squares fits built on it and on the ARRAY class.
// Declares the exported functions, the matrix descriptor, the ARRAY message
// numbers these operations answer and their parameter blocks.
#pragma once
#include <cstdint>

#include "array/array.h"

// ---------------------------------------------------------------------------
// Double-precision matrices

// Matrix descriptor, 16 bytes, one element of a GU3 block; callers hold the
// block's handle and may read the fields.
//   0  4  rows
//   4  4  columns
//   8  4  GU3 handle of rows × columns f64, row-major
//  12  4  address of element 0, taken at creation and kept
#pragma pack(push, 2)
struct AP4D_MATRIX {
  uint32_t rows;
  uint32_t columns;
  GU3_HANDLE data;
  double* values;
};
#pragma pack(pop)
static_assert(sizeof(AP4D_MATRIX) == 16);

// A matrix is named by the handle of its descriptor.
using AP4D_DBLMATRIX = GU3_HANDLE;

APEXPORT AP4D_DBLMATRIX AP4D_DblCreate(uint32_t rows, uint32_t columns, double fill);
APEXPORT int16_t AP4D_DblDestroy(AP4D_DBLMATRIX matrix);
APEXPORT AP4D_DBLMATRIX AP4D_DblClone(AP4D_DBLMATRIX matrix);
APEXPORT AP4D_DBLMATRIX AP4_CopyToDouble(const AP4_ARRAY* array);
APEXPORT AP4_ARRAY* AP4D_CopyToSingle(AP4D_DBLMATRIX matrix);
APEXPORT double* AP4D_GetData(AP4D_DBLMATRIX matrix, uint32_t* rows, uint32_t* columns);
APEXPORT AP4D_DBLMATRIX AP4D_DblTranspose(AP4D_DBLMATRIX matrix);
APEXPORT AP4D_DBLMATRIX AP4D_DblMatrixMultiply(AP4D_DBLMATRIX a, AP4D_DBLMATRIX b);
// Inverse of a symmetric matrix through a scaled L D Lᵀ factorisation
// without pivoting; only the upper triangle is read. Null for a matrix that
// is not square or a pivot that is 0 or missing.
APEXPORT AP4D_DBLMATRIX AP4D_DblSqInverse(AP4D_DBLMATRIX matrix);
// The same for an ARRAY, through double precision (message 341).
AP4_ARRAY* ap4d_SqInverse(const AP4_ARRAY* array);

// The descriptor of a handle, or null.
AP4D_MATRIX* ap4d_matrix(AP4D_DBLMATRIX matrix);

// Destroys a matrix when the scope ends, unless it is handed out.
class ap4d_matrix_guard {
 public:
  explicit ap4d_matrix_guard(AP4D_DBLMATRIX matrix) : matrix_(matrix) {}
  ~ap4d_matrix_guard() { AP4D_DblDestroy(matrix_); }
  ap4d_matrix_guard(const ap4d_matrix_guard&) = delete;
  ap4d_matrix_guard& operator=(const ap4d_matrix_guard&) = delete;
  AP4D_DBLMATRIX get() const { return matrix_; }
  AP4D_MATRIX* operator->() const { return ap4d_matrix(matrix_); }
  AP4D_DBLMATRIX release() {
    AP4D_DBLMATRIX matrix = matrix_;
    matrix_ = nullptr;
    return matrix;
  }

 private:
  AP4D_DBLMATRIX matrix_;
};

// ---------------------------------------------------------------------------
// ARRAY messages answered by this subsystem

constexpr uint16_t AP4_MSG_ROW_RESIDUAL_NORM = 65;
constexpr uint16_t AP4_MSG_APPEND_ORTHONORMAL_ROW = 96;
constexpr uint16_t AP4_MSG_REMOVE_ROW_PROJECTIONS = 97;
constexpr uint16_t AP4_MSG_NORMALIZE_ROW = 98;
constexpr uint16_t AP4_MSG_NORMALIZE_COLUMN = 99;
constexpr uint16_t AP4_MSG_SUBTRACT_SCALED_RANGE = 100;
constexpr uint16_t AP4_MSG_BIDIAGONAL_SOLVE = 102;
constexpr uint16_t AP4_MSG_INVERT_SYMMETRIC = 105;
constexpr uint16_t AP4_MSG_EXTRACT_ROW = 106;
constexpr uint16_t AP4_MSG_ORTHONORMALIZE_ROWS = 113;
constexpr uint16_t AP4_MSG_SVD = 333;
constexpr uint16_t AP4_MSG_SG_COEFFICIENTS = 334;
constexpr uint16_t AP4_MSG_APPLY_FILTER = 335;
constexpr uint16_t AP4_MSG_EIGEN_ANALYSIS = 340;
constexpr uint16_t AP4_MSG_SQUARE_INVERSE = 341;
constexpr uint16_t AP4_MSG_INVERT_SYMMETRIC_FALLBACK = 344;
constexpr uint16_t AP4_MSG_LEAST_SQUARES = 353;
constexpr uint16_t AP4_MSG_MCR_STEP = 354;

#pragma pack(push, 2)
// Message 340.
struct AP4_EIGENPARM {
  int32_t factors;
  float percent;
  int16_t mode;
  AP4_ARRAY** scores;
  AP4_ARRAY** loadings;
  AP4_ARRAY** eigenvalues;
  float* total;
  int32_t* count;
};
// Message 333.
struct AP4_SVDPARM {
  AP4_ARRAY** w;
  AP4_ARRAY** v;
};
// Message 334.
struct AP4_SGPARM {
  uint32_t code;
  int32_t window;
  int32_t order;
  uint32_t gap;
  int32_t width;
  int32_t second_derivative;
  float weight;
};
// Message 335.
struct AP4_FILTERPARM {
  AP4_ARRAY* filter;
  float scale;
  uint32_t zero;
};
// Message 65.
struct AP4_RESIDUALPARM {
  AP4_ARRAY* other;
  uint32_t row;
  float* length;
};
// Messages 96 and 97: the other array and a row.
struct AP4_ROWOFPARM {
  AP4_ARRAY* other;
  uint32_t row;
};
// Message 100: this array's range, the other array, its range and k.
struct AP4_SCALEDRANGEPARM {
  AP4_RANGE range;
  AP4_ARRAY* other;
  AP4_RANGE other_range;
  float k;
};
// Message 353; bytes 4 to 7 are not read.
struct AP4_LSQPARM {
  AP4_ARRAY* b;
  uint32_t unused;
  uint16_t mode;
};
// Message 354.
struct AP4_MCRSTEPPARM {
  AP4_ARRAY* components;
  GU3_HANDLE flags;
  uint16_t orientation;
};
#pragma pack(pop)
static_assert(sizeof(AP4_EIGENPARM) == 30);
static_assert(sizeof(AP4_SVDPARM) == 8);
static_assert(sizeof(AP4_SGPARM) == 28);
static_assert(sizeof(AP4_FILTERPARM) == 12);
static_assert(sizeof(AP4_RESIDUALPARM) == 12);
static_assert(sizeof(AP4_ROWOFPARM) == 8);
static_assert(sizeof(AP4_SCALEDRANGEPARM) == 40);
static_assert(sizeof(AP4_LSQPARM) == 10);
static_assert(sizeof(AP4_MCRSTEPPARM) == 10);

// ---------------------------------------------------------------------------
// Eigen analysis (NIPALS)

// Modes: 1 and 2 a square cross-product matrix (eigenvalues as square
// roots, total the trace), 3 unscaled scores, any other unit scores.
APEXPORT int16_t AP4D_DblEigenAnalysis(const AP4_ARRAY* x, int32_t factors, float percent, int16_t mode,
                                       AP4_ARRAY** scores, AP4_ARRAY** loadings, AP4_ARRAY** eigenvalues,
                                       float* total, int32_t* count);

// ---------------------------------------------------------------------------
// Singular value decomposition (Golub-Reinsch)

constexpr uint32_t AP4_SVD_OK = 0;
constexpr uint32_t AP4_SVD_NO_ARRAY = 1;
constexpr uint32_t AP4_SVD_TOO_FEW_ROWS = 2;
constexpr uint32_t AP4_SVD_NO_DATA = 3;
constexpr uint32_t AP4_SVD_NO_MEMORY = 4;
constexpr uint32_t AP4_SVD_NOT_CONVERGED = 11;

// U replaces the array's data; W (1 × n, unsorted) and V (n × n) are new.
APEXPORT uint32_t AP4_SingularValueDecomposition_ARRAY(AP4_ARRAY* array, AP4_ARRAY** w, AP4_ARRAY** v);

// ---------------------------------------------------------------------------
// Savitzky-Golay coefficients and filtering

APEXPORT AP4D_DBLMATRIX AP4D_DblSGCoefficients(int32_t window, uint32_t order, int32_t derivative);
APEXPORT AP4_ARRAY* AP4_SGCoefficients_ARRAY(const AP4_ARRAY* receiver, uint32_t code, int32_t window,
                                             int32_t order, uint32_t gap, int32_t width, int32_t second_derivative,
                                             float weight);
APEXPORT uint32_t AP4_ApplyFilterToVector_ARRAY(const AP4_ARRAY* data, const AP4_ARRAY* filter, float scale,
                                                uint32_t zero);

// ---------------------------------------------------------------------------
// Orthogonalisation and row operations

constexpr uint16_t AP4D_NORMALIZE_ROW = 1;
constexpr uint16_t AP4D_NORMALIZE_COLUMN = 2;

uint16_t ap4d_AppendOrthonormalRow(AP4_ARRAY* array, const AP4_ARRAY* other, uint32_t row);           // 96
uint16_t ap4d_RemoveRowProjections(AP4_ARRAY* array, uint32_t row, const AP4_ARRAY* other);           // 97
uint16_t ap4d_NormalizeVector(AP4_ARRAY* array, uint32_t index, uint16_t mode);                        // 98, 99
uint16_t ap4d_SubtractScaledRange(AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                                  AP4_RANGE other_range, float k);                                     // 100
float ap4d_RowResidualNorm(const AP4_ARRAY* array, uint32_t row, const AP4_ARRAY* other);              // 65
uint16_t ap4d_OrthonormalizeRows(AP4_ARRAY* array);                                                    // 113
AP4_ARRAY* ap4d_BidiagonalSolve(const AP4_ARRAY* array, const AP4_ARRAY* b);                           // 102
AP4_ARRAY* ap4d_ExtractRow(const AP4_ARRAY* array, uint32_t row);                                      // 106
uint16_t ap4d_ReverseRows(AP4_ARRAY* array);

// ---------------------------------------------------------------------------
// Symmetric inverse and least-squares fits

// Working-set entries of the non-negative fit, one u16 per component.
constexpr uint16_t AP4C_ZERO_SET = 0;
constexpr uint16_t AP4C_POSITIVE_SET = 1;
constexpr uint16_t AP4C_FREE = 2;
// A caller's flag that holds a component non-negative.
constexpr uint16_t AP4C_FLAG_NON_NEGATIVE = 1;

// fallback 0 (message 105): a zero pivot is replaced and the work goes on;
// 1 (message 344): a zero pivot makes the general inverse the result.
AP4_ARRAY* ap4c_InvertSymmetric(const AP4_ARRAY* array, uint16_t fallback);
// Mode 0: (BᵀB)⁻¹BᵀA; mode 1: ABᵀ(BBᵀ)⁻¹.
AP4_ARRAY* ap4c_LeastSquaresFit(const AP4_ARRAY* array, const AP4_ARRAY* b, uint16_t mode);
// Orientation 0 fits the columns of D against the columns of G, 1 the rows
// against the rows; flags (u16 per component, 1 = non-negative) may be null.
AP4_ARRAY* ap4c_MCRStep(const AP4_ARRAY* d, const AP4_ARRAY* g, GU3_HANDLE flags, uint16_t orientation);
// The unconstrained fit of the column b on the columns of A that the
// working set (GU3 block of u16) selects, into the k × 1 array z.
uint16_t ap4c_FitSelectedComponents(const AP4_ARRAY* b, const AP4_ARRAY* a, GU3_HANDLE working_set, AP4_ARRAY* z,
                                    float* smallest);

// ---------------------------------------------------------------------------
// Centring, scaling, areas and regression; search scores

constexpr uint16_t AP4_MSG_CENTER = 103;
constexpr uint16_t AP4_MSG_SCALE = 104;
constexpr uint16_t AP4_MSG_CENTER_FILTERED = 109;
constexpr uint16_t AP4_MSG_SCALE_FILTERED = 110;
constexpr uint16_t AP4_MSG_LINEAR_REGRESSION = 331;
constexpr uint16_t AP4_MSG_SEARCH_SCORE = 342;

// Orientation of centring and scaling: one statistic per row (the
// observations are the columns) or per column (the observations are rows).
constexpr uint16_t AP4D_PER_ROW = 1;
constexpr uint16_t AP4D_PER_COLUMN = 2;
// Scaling kinds: the standard deviation, or its square root.
constexpr uint16_t AP4D_SCALE_DEVIATION = 1;
constexpr uint16_t AP4D_SCALE_ROOT_DEVIATION = 2;
// What the short messages 103 and 104 take as the exclusion value.
constexpr float AP4D_DEFAULT_EXCLUSION = -1000.0f;
// A label of the companion matrix counts when it is the selected one + 20.
constexpr uint16_t AP4D_COMPANION_LABEL_OFFSET = 20;

// Search score options.
constexpr uint16_t AP4_SEARCH_DIFFERENCE_CORRELATION = 0;
constexpr uint16_t AP4_SEARCH_ABSOLUTE_RESIDUAL = 1;
constexpr uint16_t AP4_SEARCH_SQUARED_RESIDUAL = 2;
constexpr uint16_t AP4_SEARCH_DIFFERENCE_ABSOLUTE_RESIDUAL = 3;
constexpr uint16_t AP4_SEARCH_DIFFERENCE_SQUARED_RESIDUAL = 4;
constexpr uint16_t AP4_SEARCH_CORRELATION_SQUARED = 10;

#pragma pack(push, 2)
// Messages 103 and 104: only the orientation at byte 16 is read.
struct AP4_CENTERSHORTPARM {
  uint8_t unread[16];
  uint16_t mode;
};
// Messages 109 and 110 (109 does not read the scaling kind).
//   0  2  orientation
//   2  4  GU3 block of i32 counts of A's observations, or 0
//   6  4  GU3 block of u16 labels of A's observations, or 0
//  10  2  selected label
//  12  2  scaling kind
//  14  4  companion ARRAY B, or 0
//  18  4  counts of B's observations, or 0
//  22  4  labels of B's observations, or 0
//  26  2  exclusion flag
//  28  4  f32 exclusion value
//  32  2  index of the reference row or column
//  34  4  reference ARRAY R of A's observations, or 0
//  38  4  reference ARRAY R2 of B's observations, or 0
struct AP4_CENTERPARM {
  uint16_t mode;
  GU3_HANDLE counts;
  GU3_HANDLE labels;
  uint16_t label;
  uint16_t kind;
  AP4_ARRAY* companion;
  GU3_HANDLE companion_counts;
  GU3_HANDLE companion_labels;
  uint16_t exclude;
  float exclusion;
  uint16_t reference_index;
  AP4_ARRAY* reference;
  AP4_ARRAY* companion_reference;
};
// Message 331, sent to the y array.
struct AP4_REGRESSIONPARM {
  AP4_ARRAY* x;
  int32_t n;
  float* intercept;
  float* slope;
  float* error1;
  float* error2;
};
// Message 342, sent to the sample.
struct AP4_SEARCHPARM {
  AP4_ARRAY* candidate;
  uint16_t option;
  float* score;
};
#pragma pack(pop)
static_assert(sizeof(AP4_CENTERSHORTPARM) == 18);
static_assert(sizeof(AP4_CENTERPARM) == 42);
static_assert(sizeof(AP4_REGRESSIONPARM) == 24);
static_assert(sizeof(AP4_SEARCHPARM) == 10);

// Observation filters of one matrix; zero handles and arrays are absent.
struct AP4D_FILTERS {
  GU3_HANDLE counts;
  GU3_HANDLE labels;
  const AP4_ARRAY* reference;
};

// Centre (messages 103, 109) or scale (104, 110) every column or row of A,
// and of the companion B when given, in place; the result is a new array of
// the means or divisors, null for a bad orientation or filter.
AP4_ARRAY* ap4d_CenterRange(AP4_ARRAY* a, uint16_t mode, AP4D_FILTERS filters, uint16_t label, AP4_ARRAY* b,
                            AP4D_FILTERS b_filters, uint16_t exclude, float exclusion, uint16_t reference_index);
AP4_ARRAY* ap4d_ScaleRange(AP4_ARRAY* a, uint16_t mode, AP4D_FILTERS filters, uint16_t label, uint16_t kind,
                           AP4_ARRAY* b, AP4D_FILTERS b_filters, uint16_t exclude, float exclusion,
                           uint16_t reference_index);
// Narrows a one-row range to its first and last valid values; the number of
// points between them, or 0 (the values are then missing and the cells
// untouched).
int32_t ap4d_TrimNaNEnds(const AP4_ARRAY* array, AP4_CELL* start, AP4_CELL* end, float* first, float* last);
// Trapezoid areas of a one-row range above a level and above the line
// through the ends of a baseline range; direction AP1_PEAKS_DOWN negates them.
int16_t ap4d_RangeArea(const AP4_ARRAY* array, AP4_CELL start, AP4_CELL end, AP4_CELL baseline_start,
                       AP4_CELL baseline_end, uint16_t direction, float level, float* area_level,
                       float* area_baseline);
// A new row: the one-row range less (mode AP1_PEAKS_DOWN: plus) the line
// through the first and last valid values of the baseline range, held level
// beyond them; null for a range or baseline that is not one row or a
// baseline without valid values.
AP4_ARRAY* ap4d_SubtractLinearBaseline(const AP4_ARRAY* array, AP4_CELL start, AP4_CELL end, AP4_CELL baseline_start,
                                       AP4_CELL baseline_end, uint16_t mode);
// Least-squares line y = intercept + slope·x over the first n elements of
// both arrays, pairs with a missing value left out (message 331).
uint16_t ap4d_LinearRegression(const AP4_ARRAY* y, const AP4_ARRAY* x, int32_t n, float* intercept, float* slope,
                               float* error1, float* error2);
// The match score of a candidate b against a sample a (message 342);
// always 1, the score 0 for what cannot be scored.
APEXPORT int16_t AP4_SearchAllOptions_ARRAY(const AP4_ARRAY* a, const AP4_ARRAY* b, uint16_t option, float* score);

// ---------------------------------------------------------------------------
// Peak location, peak width and row utilities

// Peak direction of these routines: downward peaks work on the negated
// values; every other mode means upward peaks.
constexpr uint16_t AP4C_PEAKS_DOWN = 2;

constexpr uint16_t AP4_MSG_PEAK_LIST = 94;
constexpr uint16_t AP4_MSG_PEAK_HALF_WIDTH = 95;

#pragma pack(push, 2)
// Message 94: the target cell, the range (one row), the mode, the two
// hysteresis thresholds and where the peak and its two valleys go.
struct AP4_PEAKLISTPARM {
  AP4_CELL target;
  AP4_RANGE range;
  uint16_t mode;
  float peak_threshold;
  float valley_threshold;
  AP4_CELL* peak;
  AP4_CELL* left_valley;
  AP4_CELL* right_valley;
};
// Message 95: a one-row range as (row, first column, row, last column).
struct AP4_HALFWIDTHPARM {
  AP4_RANGE range;
  uint16_t mode;
  float* width;
};
#pragma pack(pop)
static_assert(sizeof(AP4_PEAKLISTPARM) == 46);
static_assert(sizeof(AP4_HALFWIDTHPARM) == 22);

// Hysteresis peak detector over |n| values from `values`, forward first for
// n > 0, backward first for n < 0. 1 with the peak's index, the first and
// last present index of its span and its value (negated for downward
// peaks), each relative to `values` and written only where given; 0 when
// no rise and fall of more than h is found.
int16_t ap4c_FindPeaksKernel(const float* values, uint16_t mode, float h, int32_t n, int32_t* peak, int32_t* start,
                             int32_t* end, float* peak_value);
// Where a scan along a row goes on after the kernel found an extreme at p
// with its span ending at e (both relative to column k).
int32_t ap4c_NextScanColumn(int32_t k, int32_t p, int32_t e);
// The peak nearest the target column and the valleys on either side.
int16_t ap4c_PeakList(const AP4_ARRAY* array, AP4_CELL target, AP4_RANGE range, uint16_t mode, float peak_threshold,
                      float valley_threshold, AP4_CELL* peak, AP4_CELL* left_valley, AP4_CELL* right_valley);  // 94
// The width at half height of the range's largest peak, in points.
int16_t ap4c_PeakHalfWidth(const AP4_ARRAY* array, AP4_RANGE range, uint16_t mode, float* width);            // 95
// The w quadratic Savitzky-Golay smoothing weights, w odd from 5 to 25,
// centred at index (w - 1) / 2.
int16_t ap4c_SGSmoothTabulated(float* coefficients, int32_t window);
// Rotates a one-row array left by n places.
int16_t ap4c_PrepareFFTBuffer(AP4_ARRAY* array, uint32_t n);

// ---------------------------------------------------------------------------
// Eigenvalue report, PCA maps and curve resolution

constexpr uint16_t AP4_MSG_MAP_MEAN_CENTER = 345;
constexpr uint16_t AP4_MSG_MAP_VARIANCE_SCALE = 346;
constexpr uint16_t AP4_MSG_MAP_PCA = 347;
constexpr uint16_t AP4_MSG_MAP_KX = 348;
constexpr uint16_t AP4_MSG_RECONSTRUCT_PCA = 349;
constexpr uint16_t AP4_MSG_MCR = 355;
constexpr uint16_t AP4_MSG_EIGEN_REPORT = 356;

#pragma pack(push, 2)
// Messages 345 and 346 (345 does not read the centre flag).
struct AP4_MAPSCALEPARM {
  GU3_HANDLE data;
  GU3_HANDLE position_mask;
  GU3_HANDLE point_mask;
  uint32_t rows;
  uint32_t columns;
  uint32_t points;
  uint16_t centre;
  uint32_t mode;
  uint16_t zero_excluded;
};
// Message 347.
struct AP4_MAPPCAPARM {
  GU3_HANDLE data;
  GU3_HANDLE position_mask;
  GU3_HANDLE point_mask;
  uint32_t rows;
  uint32_t columns;
  uint32_t points;
  uint32_t factors;
  float percent;
  uint16_t per_spectrum;
  uint16_t map_wide;
  uint16_t zero_excluded;
  AP4_ARRAY** loadings;
  AP4_ARRAY** eigenvalues;
  uint32_t* row_count;
  uint32_t* error;
};
// Message 348.
struct AP4_MAPKXPARM {
  GU3_HANDLE data;
  GU3_HANDLE position_mask;
  uint32_t rows;
  uint32_t columns;
  uint32_t points;
  void* method;
  void* spectrum;  // a spectrum (class 7) or a spectral header (class 41)
  float parameter;
  void** description;
  uint32_t* per_position;
  uint32_t* error;
};
// Message 349.
struct AP4_RECONSTRUCTPARM {
  GU3_HANDLE data;
  AP4_ARRAY* loadings;
  GU3_HANDLE scores;
  GU3_HANDLE position_mask;
  GU3_HANDLE point_mask;
  uint32_t rows;
  uint32_t columns;
  uint32_t points;
  int32_t first;
  int32_t last;
  uint16_t per_spectrum;
  uint16_t map_wide;
};
// Message 355.
struct AP4_MCRPARM {
  GU3_HANDLE mask;
  AP4_ARRAY* known;
  int32_t baseline;
  uint32_t* components;
  AP4_ARRAY** spectra;
  AP4_ARRAY** concentrations;
  int32_t request;
  HWND window;
};
// Message 356.
struct AP4_EIGENREPORTPARM {
  GU3_HANDLE mask;
  int32_t baseline;
  int32_t* count;
  AP4_ARRAY** table;
};
#pragma pack(pop)
static_assert(sizeof(AP4_MAPSCALEPARM) == 32);
static_assert(sizeof(AP4_MAPPCAPARM) == 54);
static_assert(sizeof(AP4_MAPKXPARM) == 44);
static_assert(sizeof(AP4_RECONSTRUCTPARM) == 44);
static_assert(sizeof(AP4_MCRPARM) == 32);
static_assert(sizeof(AP4_EIGENREPORTPARM) == 16);

// The entries of an optional u16 mask (null for none, true); false when the
// handle does not hold exactly `count` u16 entries.
bool ap4c_MaskEntries(GU3_HANDLE mask, uint32_t count, const uint16_t** entries);
// The straight line under one spectrum of p points laid down a column
// (`stride` floats apart): order 0 flat at the lowest included point,
// 1 and above through the two lowest points apart; missing values never
// count. False when the two points cannot make a line.
bool ap4c_EstimateBaseline(const float* column, uint32_t stride, uint32_t p, const uint16_t* mask, int32_t order,
                           float* slope, float* intercept);
// The table of eigenvalue, log10, RSD and IND per factor (4 × f).
uint16_t ap4c_EigenReport(const AP4_ARRAY* d, GU3_HANDLE mask, int32_t baseline, int32_t* count, AP4_ARRAY** table);

// Results of the curve resolution.
constexpr int32_t AP4C_MCR_INVALID = 0;
constexpr int32_t AP4C_MCR_GOES_ON = 2;
constexpr int32_t AP4C_MCR_RUN_ENDED = 3;
constexpr int32_t AP4C_MCR_CONVERGED = 4;
// Initial component spectra: c bands of equally many included points.
AP4_ARRAY* ap4c_MCRInitialSpectra(const AP4_ARRAY* d, GU3_HANDLE mask, uint32_t c);
// A slice of a resolution run of D (points × spectra); S and Q in/out.
int32_t ap4c_MCR(AP4_ARRAY* d, GU3_HANDLE mask, const AP4_ARRAY* known, int32_t baseline, uint32_t* components,
                 AP4_ARRAY** spectra, AP4_ARRAY** concentrations, int32_t request, HWND window);

// Map data: rows × columns positions of `points` f32 each, in a GU3 block.
// Results are error codes, 0 for success.
APEXPORT uint32_t AP4_Map_MeanCenter_ARRAY(GU3_HANDLE data, GU3_HANDLE position_mask, GU3_HANDLE point_mask,
                                           uint32_t rows, uint32_t columns, uint32_t points, uint32_t mode,
                                           uint16_t zero_excluded);
APEXPORT uint32_t AP4_Map_VarianceScale_ARRAY(GU3_HANDLE data, GU3_HANDLE position_mask, GU3_HANDLE point_mask,
                                              uint32_t rows, uint32_t columns, uint32_t points, uint16_t centre,
                                              uint32_t mode, uint16_t zero_excluded);
// The score block, or null with the error code out set.
APEXPORT GU3_HANDLE AP4_Map_PCA_ARRAY(const AP4_MAPPCAPARM* parameter);
APEXPORT uint32_t AP4_Reconstruct_PCA_ARRAY(const AP4_RECONSTRUCTPARM* parameter);
// The method's values at every position (positions × v, position-major), or
// null with the error code out set.
APEXPORT GU3_HANDLE AP4_Map_KX_ARRAY(const AP4_MAPKXPARM* parameter);
// Clears the point-mask entries at which an included position holds a
// missing value; 0 without data or point mask.
uint16_t ap4d_ExcludeNaNPoints(float* data, const uint16_t* position_mask, uint16_t* point_mask, uint32_t rows,
                               uint32_t columns, uint32_t points);

// ---------------------------------------------------------------------------
// Quantitative-analysis routines

constexpr uint16_t KX_AP4_MSG_SUMMER = 130;
constexpr uint16_t KX_AP4_MSG_SQUARE_SUMMER = 129;
constexpr uint16_t KX_AP4_MSG_CONST_SUMMER = 128;
constexpr uint16_t KX_AP4_MSG_MULT_CORRELATION = 127;
constexpr uint16_t KX_AP4_MSG_QM_PERFORMANCE = 126;
constexpr uint16_t KX_AP4_MSG_CORRELATION_COEFF = 125;
constexpr uint16_t KX_AP4_MSG_SLOPE = 336;

// Performance statistic modes; any other mode is the ratio score.
constexpr uint16_t KX_AP4_QM_RATIO = 0;
constexpr uint16_t KX_AP4_QM_ACCURACY = 1;
constexpr uint16_t KX_AP4_QM_RMS = 2;

#pragma pack(push, 2)
// Messages 130 and 129, sent to the total.
struct KX_AP4_SUMMERPARM {
  AP4_ARRAY* source;
  uint16_t add;
};
// Message 128, sent to the total; the constants are one column.
struct KX_AP4_CONSTSUMMERPARM {
  AP4_ARRAY* source;
  AP4_ARRAY* constants;
  uint16_t add;
};
// Message 127, sent to the results row.
struct KX_AP4_MULTCORRPARM {
  AP4_ARRAY* x;
  AP4_ARRAY* pseudo_inverse;
  uint32_t index;
  AP4_ARRAY* y;
};
// Message 126, sent to the actual values.
//   0  4  predicted ARRAY
//   4  4  ranges ARRAY (accuracy mode only)
//   8  2  mode
//  10  2  n components
//  12  2  exclusion flag
//  14  4  f32 exclusion value
//  18  4  address of the i32 sample counter
//  22  4  statistics ARRAY
struct KX_AP4_QMPERFPARM {
  AP4_ARRAY* predicted;
  AP4_ARRAY* ranges;
  uint16_t mode;
  uint16_t n;
  uint16_t exclude;
  float exclusion;
  int32_t* counter;
  AP4_ARRAY* statistics;
};
// Messages 125 and 336, sent to a.
struct KX_AP4_PAIRSTATPARM {
  AP4_ARRAY* b;
  int32_t n;
  uint16_t centre_a;
  uint16_t centre_b;
  float* result;
};
#pragma pack(pop)
static_assert(sizeof(KX_AP4_SUMMERPARM) == 6);
static_assert(sizeof(KX_AP4_CONSTSUMMERPARM) == 10);
static_assert(sizeof(KX_AP4_MULTCORRPARM) == 16);
static_assert(sizeof(KX_AP4_QMPERFPARM) == 26);
static_assert(sizeof(KX_AP4_PAIRSTATPARM) == 16);

// Accumulators: 0 success, non-zero failure (the total then unchanged).
APEXPORT uint32_t KX_AP4_Summer_ARRAY(AP4_ARRAY* total, AP4_ARRAY* source, uint16_t add);
APEXPORT uint32_t KX_AP4_SquareSummer_ARRAY(AP4_ARRAY* total, AP4_ARRAY* source, uint16_t add);
APEXPORT uint32_t KX_AP4_ConstSummer_ARRAY(AP4_ARRAY* total, AP4_ARRAY* source, AP4_ARRAY* constants, uint16_t add);
// R of the least-squares fit of y on X into element (0, index) of the
// results; index 0 (re)computes the pseudo-inverse into its holder. 0 success.
APEXPORT uint32_t KX_AP4_MultCorrelation_ARRAY(AP4_ARRAY* results, AP4_ARRAY* x, AP4_ARRAY* pseudo_inverse,
                                               uint32_t index, AP4_ARRAY* y);
// This sample's figure, with the running figures updated; the error value
// (-1000 in the RMS mode, else 1000) on failure.
APEXPORT float KX_AP4_QMPerformance_ARRAY(AP4_ARRAY* actual, AP4_ARRAY* predicted, AP4_ARRAY* ranges, uint16_t mode,
                                          uint16_t n, uint16_t exclude, float exclusion, int32_t* counter,
                                          AP4_ARRAY* statistics);
// r² of the first n pairs, and the slope of a regressed on b; 1 when a pair
// was used, else 0 (the result then 0).
APEXPORT int16_t KX_AP4_CorrelationCoeff_ARRAY(AP4_ARRAY* a, AP4_ARRAY* b, int32_t n, uint16_t centre_a,
                                               uint16_t centre_b, float* result);
APEXPORT int16_t KX_AP4_Slope_ARRAY(AP4_ARRAY* a, AP4_ARRAY* b, int32_t n, uint16_t centre_a, uint16_t centre_b,
                                    float* result);

// Mahalanobis calibration and prediction.
constexpr uint16_t KX_AP4_MSG_MAHALANOBIS_CALIB_EX = 351;
constexpr uint16_t KX_AP4_MSG_MAHALANOBIS_CALIB = 124;
constexpr uint16_t KX_AP4_MSG_MAHALANOBIS_PREDICT = 123;

#pragma pack(push, 2)
// Message 351, sent to the training matrix.
//   0  4  labels ARRAY
//   4  4  i32 number of classes
//   8  4  address of the u16 number of factors wanted
//  12  2  scale flag
//  14  2  per-class flag
//  16  4  i32 selected class (1-based, 0 all)
//  20  2  centre flag
//  22 16  the means, weights, loadings and percent lists
//  38  4  address of the f32 explained variance
struct KX_AP4_MAHALCALIBEXPARM {
  AP4_ARRAY* labels;
  int32_t classes;
  uint16_t* factors;
  uint16_t scale;
  uint16_t per_class;
  int32_t selected;
  uint16_t centre;
  AP40_LLIST* means;
  AP40_LLIST* weights;
  AP40_LLIST* loadings;
  AP40_LLIST* percent;
  float* explained;
};
// Message 124: message 351 without the centre flag (centring on).
struct KX_AP4_MAHALCALIBPARM {
  AP4_ARRAY* labels;
  int32_t classes;
  uint16_t* factors;
  uint16_t scale;
  uint16_t per_class;
  int32_t selected;
  AP40_LLIST* means;
  AP40_LLIST* weights;
  AP40_LLIST* loadings;
  AP40_LLIST* percent;
  float* explained;
};
// Message 123, sent to the test spectrum; bytes 18-19 are not read.
struct KX_AP4_MAHALPREDICTPARM {
  AP40_LLIST* loadings;
  AP40_LLIST* weights;
  AP40_LLIST* means;
  GU3_HANDLE counts;
  uint16_t root;
  uint16_t unread;
  int32_t selected;
  AP4_ARRAY** distances;
  AP4_ARRAY** scores;
};
#pragma pack(pop)
static_assert(sizeof(KX_AP4_MAHALCALIBEXPARM) == 42);
static_assert(sizeof(KX_AP4_MAHALCALIBPARM) == 40);
static_assert(sizeof(KX_AP4_MAHALPREDICTPARM) == 32);

// Centres X per class (in place, pooled mode), extracts factors up to
// 99.99 % and appends each class's mean, weights, loadings and cumulative
// percentages to the lists; 1 success, 0 failure.
APEXPORT int16_t KX_AP4_MahalanobisCalibEx_ARRAY(AP4_ARRAY* x, AP4_ARRAY* labels, int32_t classes, uint16_t* factors,
                                                 uint16_t scale, uint16_t per_class, int32_t selected,
                                                 uint16_t centre, AP40_LLIST* means, AP40_LLIST* weights,
                                                 AP40_LLIST* loadings, AP40_LLIST* percent, float* explained);
APEXPORT int16_t KX_AP4_MahalanobisCalib_ARRAY(AP4_ARRAY* x, AP4_ARRAY* labels, int32_t classes, uint16_t* factors,
                                               uint16_t scale, uint16_t per_class, int32_t selected,
                                               AP40_LLIST* means, AP40_LLIST* weights, AP40_LLIST* loadings,
                                               AP40_LLIST* percent, float* explained);
// The distance of x from each class (3 × m: class, distance, 0 by columns
// of ascending distance) and its scores (m × f), both new.
APEXPORT int16_t KX_AP4_MahalanobisPredict_ARRAY(AP4_ARRAY* x, AP40_LLIST* loadings, AP40_LLIST* weights,
                                                 AP40_LLIST* means, GU3_HANDLE counts, uint16_t root,
                                                 int32_t selected, AP4_ARRAY** distances, AP4_ARRAY** scores);

// Roles of calibration standards and calibration-curve checks.
constexpr uint16_t KX_AP4_MSG_REASSIGN_STDS = 114;
constexpr uint16_t KX_AP4_MSG_RETURN_ORDER_OF_STDS = 115;
constexpr uint16_t KX_AP4_MSG_ORDER_EXISTING_ROW_STDS = 116;
constexpr uint16_t KX_AP4_MSG_COUNT_OUTLIERS = 117;
constexpr uint16_t KX_AP4_MSG_MEAN_SQUARE = 118;
constexpr uint16_t KX_AP4_MSG_CURVE_FIT = 119;
constexpr uint16_t KX_AP4_MSG_MONOTONIC = 120;

// Roles of a standard.
constexpr uint16_t KX_AP4_ROLE_CALIBRATION = 0;
constexpr uint16_t KX_AP4_ROLE_VALIDATION = 1;
constexpr uint16_t KX_AP4_ROLE_EXCLUDED = 3;

#pragma pack(push, 2)
// Message 116, sent to the standards matrix.
//   0  4  GU3 block of N u16 roles
//   4  4  GU3 block of N i32 counts
//   8  4  ranges ARRAY, or 0
//  12  2  mode (0 full ordering, else the level check up to it)
//  14  4  i32 first window column
//  18  4  i32 window width
//  22  4  address that receives the 2 × 3 statistics ARRAY
struct KX_AP4_ORDEREXISTINGPARM {
  GU3_HANDLE roles;
  GU3_HANDLE counts;
  AP4_ARRAY* ranges;
  uint16_t mode;
  int32_t first_column;
  int32_t width;
  AP4_ARRAY** statistics;
};
// Message 115, sent to the standards matrix; the block at byte 6 only has
// to resolve.
struct KX_AP4_RETURNORDERPARM {
  uint16_t calibration_only;
  GU3_HANDLE roles;
  GU3_HANDLE resolves;
  AP4_ARRAY* ranges;
  int32_t first_column;
  int32_t width;
  GU3_HANDLE* order;
};
// Message 114.
struct KX_AP4_REASSIGNPARM {
  int32_t assigned;
  int32_t standards;
  int32_t k;
  GU3_HANDLE roles;
  GU3_HANDLE order;
  int32_t* calibration_count;
  int32_t* validation_count;
};
// Message 119, sent to y.
struct KX_AP4_CURVEFITPARM {
  AP4_ARRAY* x;
  AP4_ARRAY* weights;
  uint16_t curve;
  float* r2;
};
// Message 120, sent to the coefficients c0 .. c_degree.
struct KX_AP4_MONOTONICPARM {
  uint16_t degree;
  float a;
  float b;
};
#pragma pack(pop)
static_assert(sizeof(KX_AP4_ORDEREXISTINGPARM) == 26);
static_assert(sizeof(KX_AP4_RETURNORDERPARM) == 26);
static_assert(sizeof(KX_AP4_REASSIGNPARM) == 28);
static_assert(sizeof(KX_AP4_CURVEFITPARM) == 14);
static_assert(sizeof(KX_AP4_MONOTONICPARM) == 10);

APEXPORT int16_t KX_AP4_ReassignStds_ARRAY(AP4_ARRAY* x, int32_t assigned, int32_t standards, int32_t k,
                                           GU3_HANDLE roles, GU3_HANDLE order, int32_t* calibration_count,
                                           int32_t* validation_count);
APEXPORT int16_t KX_AP4_OrderExistingRowStds_ARRAY(AP4_ARRAY* x, GU3_HANDLE roles, GU3_HANDLE counts,
                                                   AP4_ARRAY* ranges, uint16_t mode, int32_t first_column,
                                                   int32_t width, AP4_ARRAY** statistics);
APEXPORT uint32_t KX_AP4_ReturnOrderOfStds_ARRAY(AP4_ARRAY* x, uint16_t calibration_only, GU3_HANDLE roles,
                                                 GU3_HANDLE resolves, AP4_ARRAY* ranges, int32_t first_column,
                                                 int32_t width, GU3_HANDLE* order);
// The weighted cubic (or line) of y on x as a new 1 × 4 ARRAY, r² out.
AP4_ARRAY* kx_ap4_CurveFit(const AP4_ARRAY* y, const AP4_ARRAY* x, const AP4_ARRAY* weights, uint16_t curve,
                           float* r2);                                                                   // 119
int16_t kx_ap4_IsMonotonic(const AP4_ARRAY* coefficients, uint16_t degree, float a, float b);           // 120
int16_t kx_ap4_CountOutliers(const AP4_ARRAY* values, uint16_t* count);                                 // 117
int16_t kx_ap4_MeanSquare(const AP4_ARRAY* values, float* result);                                      // 118

// Ordering and drawing of calibration standards.
constexpr uint16_t KX_AP4_MSG_DRAW_AND_ORDER = 121;
constexpr uint16_t KX_AP4_MSG_ORDER_ROWS = 122;

// Design methods and progress states.
constexpr int32_t KX_AP4_DESIGN_RANDOM = 0;
constexpr int32_t KX_AP4_DESIGN_FACTORIAL = 1;
constexpr int32_t KX_AP4_DESIGN_ONE_AT_A_TIME = 2;
constexpr int32_t KX_AP4_DESIGN_NORMAL = 3;
constexpr uint16_t KX_AP4_PROGRESS_RUNNING = 1;
constexpr uint16_t KX_AP4_PROGRESS_STOPPED = 2;

#pragma pack(push, 2)
// The caller's progress record; the bytes not named are the caller's own.
//   6  2  state: 1 running, 2 stop requested or finished
//  20  4  the text shown, set by the routine to a buffer of its own
//  24  4  function notified with the record, or 0
//  36  2  result of the routine
struct KX_AP4_PROGRESS {
  uint8_t caller_head[6];
  uint16_t state;
  uint8_t caller_middle[12];
  const char* text;
  int16_t (*notify)(KX_AP4_PROGRESS* record);
  uint8_t caller_tail[8];
  uint16_t result;
};
// Message 122, sent to the candidate matrix.
struct KX_AP4_ORDERROWSPARM {
  uint32_t first_column;
  uint32_t width;
  int32_t calibration;
  int32_t validation;
  AP4_ARRAY* ranges;
  float weight;
  AP4_ARRAY** s1;
  AP4_ARRAY** s2;
  KX_AP4_PROGRESS* progress;
};
// Message 121; the receiving array is not used.
struct KX_AP4_DRAWPARM {
  AP4_ARRAY* ranges;
  int32_t method;
  int32_t points;
  int32_t components;
  int32_t extra;
  int32_t* calibration;
  int32_t* validation;
  float weight;
  int32_t constraint;
  float target;
  int32_t shape;
  int32_t seed;
  AP4_ARRAY** s1;
  AP4_ARRAY** s2;
  AP4_ARRAY** design;
  KX_AP4_PROGRESS* progress;
};
#pragma pack(pop)
static_assert(sizeof(KX_AP4_PROGRESS) == 38);
static_assert(sizeof(KX_AP4_ORDERROWSPARM) == 36);
static_assert(sizeof(KX_AP4_DRAWPARM) == 64);

// Reorders the candidate rows so that Ncal calibration and then Nval
// validation standards come first, extending S1 and S2; 1 success, 0
// failure (the caller's sets then unchanged).
APEXPORT int16_t KX_AP4_OrderRows_ARRAY(AP4_ARRAY* x, uint32_t first_column, uint32_t width, int32_t calibration,
                                        int32_t validation, AP4_ARRAY* ranges, float weight, AP4_ARRAY** s1,
                                        AP4_ARRAY** s2, KX_AP4_PROGRESS* progress);
// Generates candidates by a design method and orders them.
APEXPORT int16_t KX_AP4_DrawAndOrder_ARRAY(AP4_ARRAY* ranges, int32_t method, int32_t points, int32_t components,
                                           int32_t extra, int32_t* calibration, int32_t* validation, float weight,
                                           int32_t constraint, float target, int32_t shape, int32_t seed,
                                           AP4_ARRAY** s1, AP4_ARRAY** s2, AP4_ARRAY** design,
                                           KX_AP4_PROGRESS* progress);
