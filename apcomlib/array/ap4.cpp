// The ARRAY class: its initialisation and termination, which class
// registration calls at load and unload, and its message table,
// AP4_Dispatcher_ARRAY.
//
// The class owns the cell heap "AP4" from which every array is taken. The
// message layer calls the dispatcher for every message sent to an object of
// class 4, and the spectrum class hands it the messages a spectrum does not
// answer itself. It checks the class and the parameter block, unpacks the block
// and calls the operation that the message stands for: the array's own
// operations, or the root part's for the common object protocol. Messages
// without an operation here answer 0, as for any class: the numbers the
// table leaves out, and those of the arithmetic, signal and
// chemometric operations that are not part of the library yet. The
// chemometric operations (subsystem 7) are reached through this table too.
#include <cstddef>

#include "array/array.h"
#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr uint32_t kInstanceCells = 75;

// Size of the parameter block each message reads, checked before the block
// is unpacked; messages handed to the root part are checked there.
uint32_t ap4_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_CREATE: return sizeof(AP4_ALLOCPARM);
    case AP_MSG_NEW: return sizeof(AP4_NEWPARM);
    case AP_MSG_DESTROY:
    case AP_MSG_DUPLICATE: return sizeof(HWND);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP4_MSG_GET_EXTENT: return sizeof(AP4_EXTENTPARM);
    case AP4_MSG_GET_ELEMENT: return sizeof(AP4_GETELEMENTPARM);
    case AP4_MSG_SET_ELEMENT: return sizeof(AP4_SETELEMENTPARM);
    case AP4_MSG_EXTRACT_RANGE: return sizeof(AP4_RANGE);
    case AP4_MSG_COPY_RANGE_TO: return sizeof(AP4_COPYRANGEPARM);
    case AP4_MSG_SET_DATA_IN: return sizeof(AP4_SETDATAPARM);
    case AP4_MSG_INSERT_ROWS:
    case AP4_MSG_DELETE_ROWS:
    case AP4_MSG_INSERT_COLUMNS:
    case AP4_MSG_DELETE_COLUMNS: return sizeof(AP4_SPANPARM);
    case AP4_MSG_FILL_RANGE: return sizeof(AP4_FILLPARM);
    case AP4_MSG_GET_DIMS: return sizeof(AP4_DIMSPARM);
    case AP4_MSG_SWAP_ROWS:
    case AP4_MSG_SWAP_COLUMNS: return sizeof(AP4_SWAPPARM);
    case AP4_MSG_ADD_ARRAYS:
    case AP4_MSG_SUBTRACT_ARRAYS:
    case AP4_MSG_MATRIX_PRODUCT:
    case AP4_MSG_MULTIPLY_ARRAYS:
    case AP4_MSG_DIVIDE_ARRAYS: return sizeof(AP4_PAIRPARM);
    case AP4_MSG_ADD_SCALAR:
    case AP4_MSG_SUBTRACT_SCALAR:
    case AP4_MSG_MULTIPLY_SCALAR:
    case AP4_MSG_DIVIDE_SCALAR: return sizeof(AP4_SCALARPARM);
    case AP4_MSG_PSEUDO_INVERSE:
    case AP4_MSG_PSEUDO_INVERSE_FALLBACK: return sizeof(uint16_t);
    case AP4_MSG_MIN_MAX: return sizeof(AP4_MINMAXPARM);
    case AP4_MSG_MIN_MAX_EXCLUDING: return sizeof(AP4_MINMAXEXCLUDINGPARM);
    case AP4_MSG_MIN_MAX_POSITIONS: return sizeof(AP4_MINMAXPOSITIONSPARM);
    case AP4_MSG_SUM:
    case AP4_MSG_MEAN:
    case AP4_MSG_STD_DEV: return sizeof(AP4_STATPARM);
    case AP4_MSG_DOT_PRODUCT: return sizeof(AP4_DOTPARM);
    case AP4_MSG_ROW_RESIDUAL_NORM: return sizeof(AP4_RESIDUALPARM);
    case AP4_MSG_APPEND_ORTHONORMAL_ROW:
    case AP4_MSG_REMOVE_ROW_PROJECTIONS: return sizeof(AP4_ROWOFPARM);
    case AP4_MSG_NORMALIZE_ROW:
    case AP4_MSG_NORMALIZE_COLUMN:
    case AP4_MSG_EXTRACT_ROW: return sizeof(uint32_t);
    case AP4_MSG_SUBTRACT_SCALED_RANGE: return sizeof(AP4_SCALEDRANGEPARM);
    case AP4_MSG_SVD: return sizeof(AP4_SVDPARM);
    case AP4_MSG_SG_COEFFICIENTS: return sizeof(AP4_SGPARM);
    case AP4_MSG_APPLY_FILTER: return sizeof(AP4_FILTERPARM);
    case AP4_MSG_EIGEN_ANALYSIS: return sizeof(AP4_EIGENPARM);
    case AP4_MSG_LEAST_SQUARES: return sizeof(AP4_LSQPARM);
    case AP4_MSG_MCR_STEP: return sizeof(AP4_MCRSTEPPARM);
    case AP4_MSG_APPLY_FUNCTION: return sizeof(AP4_APPLYPARM);
    case AP4_MSG_RANGE_TRANSFORM: return sizeof(AP4_TRANSFORMPARM);
    case AP4_MSG_DERIVATIVE:
    case AP4_MSG_SECOND_DERIVATIVE: return sizeof(AP4_DERIVATIVEPARM);
    case AP4_MSG_SG_SMOOTH: return sizeof(AP4_SMOOTHPARM);
    case AP4_MSG_RESIZE_ROW: return sizeof(AP4_RESIZEPARM);
    case AP4_MSG_APODIZE: return sizeof(AP4_APODIZEPARM);
    case AP4_MSG_PHASE: return sizeof(AP4_PHASEPARM);
    case AP4_MSG_PHASE_CORRECT: return sizeof(AP4_PHASECORRECTPARM);
    case AP4_MSG_FFT: return sizeof(AP4_FFTPARM);
    case AP4_MSG_CENTER:
    case AP4_MSG_SCALE: return sizeof(AP4_CENTERSHORTPARM);
    case AP4_MSG_CENTER_FILTERED:
    case AP4_MSG_SCALE_FILTERED: return sizeof(AP4_CENTERPARM);
    case AP4_MSG_LINEAR_REGRESSION: return sizeof(AP4_REGRESSIONPARM);
    case AP4_MSG_SEARCH_SCORE: return sizeof(AP4_SEARCHPARM);
    case AP4_MSG_SCALE_ROWS: return sizeof(AP4_PAIRPARM);
    case AP4_MSG_POLY_FIT: return sizeof(AP4_POLYFITPARM);
    case AP4_MSG_COMPARE_STORED: return sizeof(AP4_COMPAREPARM);
    case AP4_MSG_PEAK_LIST: return sizeof(AP4_PEAKLISTPARM);
    case AP4_MSG_PEAK_HALF_WIDTH: return sizeof(AP4_HALFWIDTHPARM);
    case AP4_MSG_PEAK_SEARCH_SORTED: return offsetof(AP4_PEAKSEARCHPARM, sort);
    case AP4_MSG_PEAK_SEARCH: return sizeof(AP4_PEAKSEARCHPARM);
    case AP4_MSG_REGRESSION_SLOPE: return sizeof(AP4_DOTPARM);
    case AP4_MSG_PLOT_MIN_MAX: return sizeof(AP4_PLOTPARM);
    case AP4_MSG_PROJECTION_RESIDUAL: return sizeof(AP4_PROJECTIONPARM);
    case AP4_MSG_FFT_CONVOLVE: return sizeof(AP4_CONVOLVEPARM);
    case AP4_MSG_BYTE_IMAGE: return sizeof(AP4_BYTEIMAGEPARM);
    case AP4_MSG_SELF_DECONVOLVE: return sizeof(AP4_DECONVOLVEPARM);
    case AP4_MSG_EXTRACT_FACTORS: return sizeof(AP4_FACTORPARM);
    case AP4_MSG_MAP_MEAN_CENTER:
    case AP4_MSG_MAP_VARIANCE_SCALE: return sizeof(AP4_MAPSCALEPARM);
    case AP4_MSG_MAP_PCA: return sizeof(AP4_MAPPCAPARM);
    case AP4_MSG_MAP_KX: return sizeof(AP4_MAPKXPARM);
    case AP4_MSG_RECONSTRUCT_PCA: return sizeof(AP4_RECONSTRUCTPARM);
    case AP4_MSG_MCR: return sizeof(AP4_MCRPARM);
    case AP4_MSG_EIGEN_REPORT: return sizeof(AP4_EIGENREPORTPARM);
    case KX_AP4_MSG_SUMMER:
    case KX_AP4_MSG_SQUARE_SUMMER: return sizeof(KX_AP4_SUMMERPARM);
    case KX_AP4_MSG_CONST_SUMMER: return sizeof(KX_AP4_CONSTSUMMERPARM);
    case KX_AP4_MSG_MULT_CORRELATION: return sizeof(KX_AP4_MULTCORRPARM);
    case KX_AP4_MSG_QM_PERFORMANCE: return sizeof(KX_AP4_QMPERFPARM);
    case KX_AP4_MSG_CORRELATION_COEFF:
    case KX_AP4_MSG_SLOPE: return sizeof(KX_AP4_PAIRSTATPARM);
    case KX_AP4_MSG_MAHALANOBIS_CALIB_EX: return sizeof(KX_AP4_MAHALCALIBEXPARM);
    case KX_AP4_MSG_MAHALANOBIS_CALIB: return sizeof(KX_AP4_MAHALCALIBPARM);
    case KX_AP4_MSG_MAHALANOBIS_PREDICT: return sizeof(KX_AP4_MAHALPREDICTPARM);
    case KX_AP4_MSG_REASSIGN_STDS: return sizeof(KX_AP4_REASSIGNPARM);
    case KX_AP4_MSG_RETURN_ORDER_OF_STDS: return sizeof(KX_AP4_RETURNORDERPARM);
    case KX_AP4_MSG_ORDER_EXISTING_ROW_STDS: return sizeof(KX_AP4_ORDEREXISTINGPARM);
    case KX_AP4_MSG_COUNT_OUTLIERS: return sizeof(uint16_t);
    case KX_AP4_MSG_MEAN_SQUARE: return sizeof(float);
    case KX_AP4_MSG_CURVE_FIT: return sizeof(KX_AP4_CURVEFITPARM);
    case KX_AP4_MSG_MONOTONIC: return sizeof(KX_AP4_MONOTONICPARM);
    case KX_AP4_MSG_ORDER_ROWS: return sizeof(KX_AP4_ORDERROWSPARM);
    case KX_AP4_MSG_DRAW_AND_ORDER: return sizeof(KX_AP4_DRAWPARM);
    default: return 0;
  }
}

// The root part of an array; null for anything else (the root's dispatcher
// refuses it then).
void* ap4_root_part(const void* object) {
  return ap4a_is_array(object) ? static_cast<const AP4_ARRAY*>(object)->head.parent : nullptr;
}

// Message 65 hands its length out through the block and answers 1, or 0
// without calling when there is nowhere to put it.
uint32_t ap4_RowResidualNorm(const AP4_ARRAY* array, const AP4_RESIDUALPARM* residual) {
  if (IsBadWritePtr(residual->length, sizeof(float))) return 0;
  *residual->length = ap4d_RowResidualNorm(array, residual->row, residual->other);
  return 1;
}

uint32_t ap4_EigenAnalysis(const AP4_ARRAY* array, const AP4_EIGENPARM* eigen) {
  return static_cast<uint16_t>(AP4D_DblEigenAnalysis(array, eigen->factors, eigen->percent, eigen->mode,
                                                     eigen->scores, eigen->loadings, eigen->eigenvalues,
                                                     eigen->total, eigen->count));
}

uint32_t ap4_SGCoefficients(const AP4_ARRAY* array, const AP4_SGPARM* sg) {
  return ap_object_result(AP4_SGCoefficients_ARRAY(array, sg->code, sg->window, sg->order, sg->gap, sg->width,
                                                   sg->second_derivative, sg->weight));
}

// The derivative, smoothing and interferogram messages, each block read by
// value before the operation runs.
uint32_t ap4_ApplyFunction(AP4_ARRAY* array, const void* parameter) {
  const auto* apply = static_cast<const AP4_APPLYPARM*>(parameter);
  return ap4b_ApplyFunction(array, apply->range, apply->function);
}

uint32_t ap4_Derivative(const AP4_ARRAY* array, const void* parameter,
                        AP4_ARRAY* (*derivative)(const AP4_ARRAY*, AP4_RANGE, float)) {
  const auto* block = static_cast<const AP4_DERIVATIVEPARM*>(parameter);
  return ap_object_result(derivative(array, block->range, block->spacing));
}

uint32_t ap4_SGSmooth(const AP4_ARRAY* array, const void* parameter) {
  const auto* smooth = static_cast<const AP4_SMOOTHPARM*>(parameter);
  return ap_object_result(ap4b_SGSmooth(array, smooth->range, smooth->window));
}

uint32_t ap4_ResizeRow(AP4_ARRAY* array, const void* parameter) {
  const auto* resize = static_cast<const AP4_RESIZEPARM*>(parameter);
  return ap4b_ResizeRow(array, resize->k, resize->centre);
}

uint32_t ap4_Apodize(AP4_ARRAY* array, const void* parameter) {
  const auto* apodize = static_cast<const AP4_APODIZEPARM*>(parameter);
  return ap4b_Apodize(array, apodize->kind, apodize->ramp, apodize->centre);
}

AP4_ARRAY* ap4_Phase(const AP4_ARRAY* array, const void* parameter) {
  const auto* phase = static_cast<const AP4_PHASEPARM*>(parameter);
  return ap4b_Phase(array, phase->length, phase->k, phase->kind, phase->centre, phase->mode);
}

uint32_t ap4_PhaseCorrect(AP4_ARRAY* array, const void* parameter) {
  const auto* correct = static_cast<const AP4_PHASECORRECTPARM*>(parameter);
  return ap4b_PhaseCorrect(array, correct->mode, correct->phase);
}

uint32_t ap4_FFT(AP4_ARRAY* array, const void* parameter) {
  const auto* fft = static_cast<const AP4_FFTPARM*>(parameter);
  return ap4b_FFT(array, fft->direction, fft->kind);
}

// Messages 103 and 104 take no filters, no companion and the exclusion off.
uint32_t ap4_Center(AP4_ARRAY* array, uint16_t mode) {
  return ap_object_result(ap4d_CenterRange(array, mode, {}, 0, nullptr, {}, 0, AP4D_DEFAULT_EXCLUSION, 0));
}

uint32_t ap4_Scale(AP4_ARRAY* array, uint16_t mode) {
  return ap_object_result(ap4d_ScaleRange(array, mode, {}, 0, AP4D_SCALE_DEVIATION, nullptr, {}, 0,
                                          AP4D_DEFAULT_EXCLUSION, 0));
}

uint32_t ap4_CenterFiltered(AP4_ARRAY* array, const AP4_CENTERPARM* p) {
  return ap_object_result(ap4d_CenterRange(array, p->mode, {p->counts, p->labels, p->reference}, p->label,
                                           p->companion,
                                           {p->companion_counts, p->companion_labels, p->companion_reference},
                                           p->exclude, p->exclusion, p->reference_index));
}

uint32_t ap4_ScaleFiltered(AP4_ARRAY* array, const AP4_CENTERPARM* p) {
  return ap_object_result(ap4d_ScaleRange(array, p->mode, {p->counts, p->labels, p->reference}, p->label, p->kind,
                                          p->companion,
                                          {p->companion_counts, p->companion_labels, p->companion_reference},
                                          p->exclude, p->exclusion, p->reference_index));
}

uint32_t ap4_LinearRegression(const AP4_ARRAY* array, const AP4_REGRESSIONPARM* p) {
  return ap4d_LinearRegression(array, p->x, p->n, p->intercept, p->slope, p->error1, p->error2);
}

uint32_t ap4_SearchScore(const AP4_ARRAY* array, const AP4_SEARCHPARM* p) {
  return static_cast<uint16_t>(AP4_SearchAllOptions_ARRAY(array, p->candidate, p->option, p->score));
}

// The map operations and the eigenvalue report.
uint32_t ap4_MapMeanCenter(const void* parameter) {
  const auto* map = static_cast<const AP4_MAPSCALEPARM*>(parameter);
  return AP4_Map_MeanCenter_ARRAY(map->data, map->position_mask, map->point_mask, map->rows, map->columns,
                                  map->points, map->mode, map->zero_excluded);
}

uint32_t ap4_MapVarianceScale(const void* parameter) {
  const auto* map = static_cast<const AP4_MAPSCALEPARM*>(parameter);
  return AP4_Map_VarianceScale_ARRAY(map->data, map->position_mask, map->point_mask, map->rows, map->columns,
                                     map->points, map->centre, map->mode, map->zero_excluded);
}

uint32_t ap4_MCR(AP4_ARRAY* array, const void* parameter) {
  const auto* mcr = static_cast<const AP4_MCRPARM*>(parameter);
  return static_cast<uint32_t>(ap4c_MCR(array, mcr->mask, mcr->known, mcr->baseline, mcr->components, mcr->spectra,
                                        mcr->concentrations, mcr->request, mcr->window));
}

uint32_t ap4_EigenReport(const AP4_ARRAY* array, const void* parameter) {
  const auto* report = static_cast<const AP4_EIGENREPORTPARM*>(parameter);
  return ap4c_EigenReport(array, report->mask, report->baseline, report->count, report->table);
}

// The quantitative-analysis routines.
uint32_t ap4_Summer(AP4_ARRAY* array, uint16_t message, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_SUMMERPARM*>(parameter);
  return message == KX_AP4_MSG_SUMMER ? KX_AP4_Summer_ARRAY(array, p->source, p->add)
                                      : KX_AP4_SquareSummer_ARRAY(array, p->source, p->add);
}

uint32_t ap4_ConstSummer(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_CONSTSUMMERPARM*>(parameter);
  return KX_AP4_ConstSummer_ARRAY(array, p->source, p->constants, p->add);
}

uint32_t ap4_MultCorrelation(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_MULTCORRPARM*>(parameter);
  return KX_AP4_MultCorrelation_ARRAY(array, p->x, p->pseudo_inverse, p->index, p->y);
}

// The figure arrives truncated toward zero.
uint32_t ap4_QMPerformance(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_QMPERFPARM*>(parameter);
  return static_cast<uint32_t>(ap1_TruncateToInt32(KX_AP4_QMPerformance_ARRAY(
      array, p->predicted, p->ranges, p->mode, p->n, p->exclude, p->exclusion, p->counter, p->statistics)));
}

uint32_t ap4_PairStatistic(AP4_ARRAY* array, uint16_t message, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_PAIRSTATPARM*>(parameter);
  const int16_t result = message == KX_AP4_MSG_SLOPE
                             ? KX_AP4_Slope_ARRAY(array, p->b, p->n, p->centre_a, p->centre_b, p->result)
                             : KX_AP4_CorrelationCoeff_ARRAY(array, p->b, p->n, p->centre_a, p->centre_b, p->result);
  return static_cast<uint16_t>(result);
}

uint32_t ap4_MahalanobisCalibEx(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_MAHALCALIBEXPARM*>(parameter);
  return static_cast<uint16_t>(KX_AP4_MahalanobisCalibEx_ARRAY(array, p->labels, p->classes, p->factors, p->scale,
                                                               p->per_class, p->selected, p->centre, p->means,
                                                               p->weights, p->loadings, p->percent, p->explained));
}

uint32_t ap4_MahalanobisCalib(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_MAHALCALIBPARM*>(parameter);
  return static_cast<uint16_t>(KX_AP4_MahalanobisCalib_ARRAY(array, p->labels, p->classes, p->factors, p->scale,
                                                             p->per_class, p->selected, p->means, p->weights,
                                                             p->loadings, p->percent, p->explained));
}

uint32_t ap4_MahalanobisPredict(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_MAHALPREDICTPARM*>(parameter);
  return static_cast<uint16_t>(KX_AP4_MahalanobisPredict_ARRAY(array, p->loadings, p->weights, p->means, p->counts,
                                                               p->root, p->selected, p->distances, p->scores));
}

uint32_t ap4_ReassignStds(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_REASSIGNPARM*>(parameter);
  return static_cast<uint16_t>(KX_AP4_ReassignStds_ARRAY(array, p->assigned, p->standards, p->k, p->roles, p->order,
                                                         p->calibration_count, p->validation_count));
}

uint32_t ap4_ReturnOrderOfStds(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_RETURNORDERPARM*>(parameter);
  return KX_AP4_ReturnOrderOfStds_ARRAY(array, p->calibration_only, p->roles, p->resolves, p->ranges,
                                        p->first_column, p->width, p->order);
}

uint32_t ap4_OrderExistingRowStds(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_ORDEREXISTINGPARM*>(parameter);
  return static_cast<uint16_t>(KX_AP4_OrderExistingRowStds_ARRAY(array, p->roles, p->counts, p->ranges, p->mode,
                                                                 p->first_column, p->width, p->statistics));
}

uint32_t ap4_CurveFit(const AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_CURVEFITPARM*>(parameter);
  return ap_object_result(kx_ap4_CurveFit(array, p->x, p->weights, p->curve, p->r2));
}

uint32_t ap4_IsMonotonic(const AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_MONOTONICPARM*>(parameter);
  return static_cast<uint16_t>(kx_ap4_IsMonotonic(array, p->degree, p->a, p->b));
}

uint32_t ap4_OrderRows(AP4_ARRAY* array, const void* parameter) {
  const auto* p = static_cast<const KX_AP4_ORDERROWSPARM*>(parameter);
  return static_cast<uint16_t>(KX_AP4_OrderRows_ARRAY(array, p->first_column, p->width, p->calibration,
                                                      p->validation, p->ranges, p->weight, p->s1, p->s2,
                                                      p->progress));
}

// The drawing takes everything from its block, not the receiving array.
uint32_t ap4_DrawAndOrder(const void* parameter) {
  const auto* p = static_cast<const KX_AP4_DRAWPARM*>(parameter);
  return static_cast<uint16_t>(KX_AP4_DrawAndOrder_ARRAY(
      p->ranges, p->method, p->points, p->components, p->extra, p->calibration, p->validation, p->weight,
      p->constraint, p->target, p->shape, p->seed, p->s1, p->s2, p->design, p->progress));
}

}  // namespace

uint16_t ap4_InitClass(uint16_t class_id) {
  if (class_id != AP4_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, kInstanceCells, sizeof(AP4_ARRAY), "AP4");
}

uint16_t ap4_TermClass(uint16_t class_id) {
  if (class_id != AP4_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

// Messages 2, 4, 91 and 17 with the create flag come with a pointer to the
// bare class id in place of an object; every other message with an array.
APEXPORT uint32_t AP4_Dispatcher_ARRAY(void* object, uint16_t message, void* parameter) {
  const uint16_t class_id = gu2_ClassIdOf(object);
  if (class_id != AP4_CLASS_ID || IsBadReadPtr(parameter, ap4_block_size(message))) return 0;
  auto* array = static_cast<AP4_ARRAY*>(object);
  auto* text = static_cast<char*>(parameter);
  const auto* allocate = static_cast<const AP4_ALLOCPARM*>(parameter);
  const auto* fresh = static_cast<const AP4_NEWPARM*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* extent = static_cast<const AP4_EXTENTPARM*>(parameter);
  const auto* get = static_cast<const AP4_GETELEMENTPARM*>(parameter);
  const auto* set = static_cast<const AP4_SETELEMENTPARM*>(parameter);
  const auto* range = static_cast<const AP4_RANGE*>(parameter);
  const auto* copy_range = static_cast<const AP4_COPYRANGEPARM*>(parameter);
  const auto* data_in = static_cast<const AP4_SETDATAPARM*>(parameter);
  const auto* span = static_cast<const AP4_SPANPARM*>(parameter);
  const auto* fill = static_cast<const AP4_FILLPARM*>(parameter);
  const auto* dims = static_cast<const AP4_DIMSPARM*>(parameter);
  const auto* swap = static_cast<const AP4_SWAPPARM*>(parameter);
  const auto* pair = static_cast<const AP4_PAIRPARM*>(parameter);
  const auto* scalar = static_cast<const AP4_SCALARPARM*>(parameter);
  const auto* dot = static_cast<const AP4_DOTPARM*>(parameter);
  const auto* min_max = static_cast<const AP4_MINMAXPARM*>(parameter);
  const auto* excluding = static_cast<const AP4_MINMAXEXCLUDINGPARM*>(parameter);
  const auto* positions = static_cast<const AP4_MINMAXPOSITIONSPARM*>(parameter);
  const auto* stat = static_cast<const AP4_STATPARM*>(parameter);
  const auto* kind = static_cast<const uint16_t*>(parameter);
  const auto* row_of = static_cast<const AP4_ROWOFPARM*>(parameter);
  const auto* index = static_cast<const uint32_t*>(parameter);
  const auto* scaled = static_cast<const AP4_SCALEDRANGEPARM*>(parameter);
  const auto* svd = static_cast<const AP4_SVDPARM*>(parameter);
  const auto* filter = static_cast<const AP4_FILTERPARM*>(parameter);
  const auto* lsq = static_cast<const AP4_LSQPARM*>(parameter);
  const auto* mcr = static_cast<const AP4_MCRSTEPPARM*>(parameter);
  const auto* poly = static_cast<const AP4_POLYFITPARM*>(parameter);
  const auto* compare = static_cast<const AP4_COMPAREPARM*>(parameter);
  const auto* peaks = static_cast<const AP4_PEAKLISTPARM*>(parameter);
  const auto* half_width = static_cast<const AP4_HALFWIDTHPARM*>(parameter);
  const auto* search = static_cast<const AP4_PEAKSEARCHPARM*>(parameter);
  const auto* projection = static_cast<const AP4_PROJECTIONPARM*>(parameter);
  const auto* plot = static_cast<const AP4_PLOTPARM*>(parameter);
  const auto* convolve = static_cast<const AP4_CONVOLVEPARM*>(parameter);
  const auto* image = static_cast<const AP4_BYTEIMAGEPARM*>(parameter);
  const auto* deconvolve = static_cast<const AP4_DECONVOLVEPARM*>(parameter);
  const auto* factors = static_cast<const AP4_FACTORPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_INIT:
    case AP_MSG_DUMP:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_GET_CHANGE_STATE:
    case AP_MSG_SET_CHANGE_STATE:
    case AP_MSG_SAVE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT:
    case AP_MSG_ADD_DEPENDENT_OBJECT: return AP2_Dispatcher_OBJ(ap4_root_part(object), message, parameter);
    case AP_MSG_CREATE:          return ap_object_result(ap4a_Allocate(class_id, allocate->owner, allocate->rows, allocate->columns));
    case AP_MSG_NEW:             return ap_object_result(ap4a_New(class_id, fresh->rows, fresh->columns, fresh->window));
    case AP_MSG_DESTROY:         return ap4a_Delete(array, window->window);
    case AP_MSG_DUPLICATE:       return ap_object_result(ap4a_Duplicate(array, window->window));
    case AP_MSG_SIZE:            return ap4a_GetSize(array);
    case AP_MSG_CLASS_NAME:      return ap4a_GetClassName(array, text);
    case AP_MSG_READ:            return ap_object_result(ap4a_Read(object, read->file, read->create));
    case AP_MSG_WRITE:           return ap4a_Write(array, parameter);
    case AP_MSG_COPY:            return ap4a_Copy(array, reinterpret_cast<AP4_ARRAY*>(copy->target), copy->window);
    case AP4_MSG_GET_EXTENT:     return ap4a_GetExtent(array, extent->range, extent->extent);
    case AP4_MSG_GET_ELEMENT:    return ap4a_GetElement(array, get->cell, get->value);
    case AP4_MSG_SET_ELEMENT:    return ap4a_SetElement(array, set->cell, set->value);
    case AP4_MSG_EXTRACT_RANGE:  return ap_object_result(ap4a_ExtractRange(array, *range));
    case AP4_MSG_COPY_RANGE_TO:  return ap4a_CopyRangeTo(array, copy_range->range, copy_range->target, copy_range->at);
    case AP4_MSG_COPY_DATA_OUT:  return ap_object_result(ap4a_CopyDataOut(array));
    case AP4_MSG_SET_DATA_IN:    return ap4a_SetDataIn(array, data_in->rows, data_in->columns, data_in->block);
    case AP4_MSG_INSERT_ROWS:    return ap4a_InsertRows(array, span->index, span->count);
    case AP4_MSG_DELETE_ROWS:    return ap4a_DeleteRows(array, span->index, span->count);
    case AP4_MSG_INSERT_COLUMNS: return ap4a_InsertColumns(array, span->index, span->count);
    case AP4_MSG_DELETE_COLUMNS: return ap4a_DeleteColumns(array, span->index, span->count);
    case AP4_MSG_FILL_RANGE:     return ap4a_FillRange(array, fill->range, fill->value);
    case AP4_MSG_DATA_ADDRESS:   return ap_object_result(ap4a_GetDataAddress(array));
    case AP4_MSG_STORED_SIZE:    return ap4a_GetStoredSize(array);
    case AP4_MSG_GET_DIMS:       return ap4a_GetDims(array, dims->rows, dims->columns);
    case AP4_MSG_SWAP_ROWS:      return ap4a_SwapRows(array, swap->a, swap->b);
    case AP4_MSG_SWAP_COLUMNS:   return ap4a_SwapColumns(array, swap->a, swap->b);
    case AP4_MSG_ADD_ARRAYS:
      return ap_object_result(ap4a_AddArrays(array, pair->range, pair->other, pair->other_range));
    case AP4_MSG_ADD_SCALAR:     return ap4a_AddScalar(array, scalar->range, scalar->value);
    case AP4_MSG_SUBTRACT_ARRAYS:
      return ap_object_result(ap4a_SubtractArrays(array, pair->range, pair->other, pair->other_range));
    case AP4_MSG_SUBTRACT_SCALAR: return ap4a_SubtractScalar(array, scalar->range, scalar->value);
    case AP4_MSG_MULTIPLY_ARRAYS:
      return ap_object_result(ap4a_MultiplyArrays(array, pair->range, pair->other, pair->other_range));
    case AP4_MSG_MULTIPLY_SCALAR: return ap4a_MultiplyScalar(array, scalar->range, scalar->value);
    case AP4_MSG_MIN_MAX:        return ap4a_MinMax(array, min_max->range, min_max->minimum, min_max->maximum);
    case AP4_MSG_MIN_MAX_EXCLUDING:
      return ap4a_MinMaxExcluding(array, excluding->range, excluding->minimum, nullptr, excluding->maximum, nullptr,
                                  excluding->exclusion);
    case AP4_MSG_MIN_MAX_POSITIONS:
      return ap4a_MinMaxAll(array, positions->range, positions->minimum, positions->minimum_at, positions->maximum,
                            positions->maximum_at);
    case AP4_MSG_SUM:            return ap4a_Sum(array, stat->range, stat->replacement, stat->result);
    case AP4_MSG_MEAN:           return ap4a_Mean(array, stat->range, stat->replacement, stat->result);
    case AP4_MSG_STD_DEV:        return ap4a_StdDev(array, stat->range, stat->replacement, stat->result);
    case AP4_MSG_MATRIX_PRODUCT:
      return ap_object_result(ap4a_MatrixProduct(array, pair->range, pair->other, pair->other_range));
    case AP4_MSG_DIVIDE_ARRAYS:
      return ap_object_result(ap4a_DivideArrays(array, pair->range, pair->other, pair->other_range));
    case AP4_MSG_DIVIDE_SCALAR:  return ap4a_DivideScalar(array, scalar->range, scalar->value);
    case AP4_MSG_PSEUDO_INVERSE: return ap_object_result(ap4a_PseudoInverse(array, *kind, 0));
    case AP4_MSG_PSEUDO_INVERSE_FALLBACK: return ap_object_result(ap4a_PseudoInverse(array, *kind, 1));
    case AP4_MSG_TRANSPOSE:      return ap_object_result(ap4a_Transpose(array));
    case AP4_MSG_DOT_PRODUCT:    return ap4b_DotProduct(array, dot->range, dot->other, dot->other_range, dot->result);
    case AP4_MSG_ROW_RESIDUAL_NORM:
      return ap4_RowResidualNorm(array, static_cast<const AP4_RESIDUALPARM*>(parameter));
    case AP4_MSG_APPEND_ORTHONORMAL_ROW: return ap4d_AppendOrthonormalRow(array, row_of->other, row_of->row);
    case AP4_MSG_REMOVE_ROW_PROJECTIONS: return ap4d_RemoveRowProjections(array, row_of->row, row_of->other);
    case AP4_MSG_NORMALIZE_ROW:  return ap4d_NormalizeVector(array, *index, AP4D_NORMALIZE_ROW);
    case AP4_MSG_NORMALIZE_COLUMN: return ap4d_NormalizeVector(array, *index, AP4D_NORMALIZE_COLUMN);
    case AP4_MSG_SUBTRACT_SCALED_RANGE:
      return ap4d_SubtractScaledRange(array, scaled->range, scaled->other, scaled->other_range, scaled->k);
    case AP4_MSG_BIDIAGONAL_SOLVE:
      return ap_object_result(ap4d_BidiagonalSolve(array, static_cast<AP4_ARRAY*>(parameter)));
    case AP4_MSG_INVERT_SYMMETRIC: return ap_object_result(ap4c_InvertSymmetric(array, 0));
    case AP4_MSG_EXTRACT_ROW:    return ap_object_result(ap4d_ExtractRow(array, *index));
    case AP4_MSG_ORTHONORMALIZE_ROWS: return ap4d_OrthonormalizeRows(array);
    case AP4_MSG_SVD:            return AP4_SingularValueDecomposition_ARRAY(array, svd->w, svd->v);
    case AP4_MSG_SG_COEFFICIENTS: return ap4_SGCoefficients(array, static_cast<const AP4_SGPARM*>(parameter));
    case AP4_MSG_APPLY_FILTER:
      return AP4_ApplyFilterToVector_ARRAY(array, filter->filter, filter->scale, filter->zero);
    case AP4_MSG_EIGEN_ANALYSIS: return ap4_EigenAnalysis(array, static_cast<const AP4_EIGENPARM*>(parameter));
    case AP4_MSG_SQUARE_INVERSE: return ap_object_result(ap4d_SqInverse(array));
    case AP4_MSG_INVERT_SYMMETRIC_FALLBACK: return ap_object_result(ap4c_InvertSymmetric(array, 1));
    case AP4_MSG_LEAST_SQUARES:  return ap_object_result(ap4c_LeastSquaresFit(array, lsq->b, lsq->mode));
    case AP4_MSG_MCR_STEP:
      return ap_object_result(ap4c_MCRStep(array, mcr->components, mcr->flags, mcr->orientation));
    case AP4_MSG_APPLY_FUNCTION: return ap4_ApplyFunction(array, parameter);
    case AP4_MSG_RANGE_TRANSFORM:
      return ap_object_result(ap4b_RangeTransform(array, static_cast<const AP4_TRANSFORMPARM*>(parameter)));
    case AP4_MSG_DERIVATIVE:     return ap4_Derivative(array, parameter, ap4b_Derivative);
    case AP4_MSG_SECOND_DERIVATIVE: return ap4_Derivative(array, parameter, ap4b_SecondDerivative);
    case AP4_MSG_SG_SMOOTH:      return ap4_SGSmooth(array, parameter);
    case AP4_MSG_DETERMINANT:    return static_cast<uint32_t>(ap1_TruncateToInt32(ap4b_Determinant(array)));
    case AP4_MSG_RESIZE_ROW:     return ap4_ResizeRow(array, parameter);
    case AP4_MSG_APODIZE:        return ap4_Apodize(array, parameter);
    case AP4_MSG_PHASE:          return ap_object_result(ap4_Phase(array, parameter));
    case AP4_MSG_PHASE_CORRECT:  return ap4_PhaseCorrect(array, parameter);
    case AP4_MSG_FFT:            return ap4_FFT(array, parameter);
    case AP4_MSG_CENTER:         return ap4_Center(array, static_cast<const AP4_CENTERSHORTPARM*>(parameter)->mode);
    case AP4_MSG_SCALE:          return ap4_Scale(array, static_cast<const AP4_CENTERSHORTPARM*>(parameter)->mode);
    case AP4_MSG_CENTER_FILTERED:
      return ap4_CenterFiltered(array, static_cast<const AP4_CENTERPARM*>(parameter));
    case AP4_MSG_SCALE_FILTERED: return ap4_ScaleFiltered(array, static_cast<const AP4_CENTERPARM*>(parameter));
    case AP4_MSG_LINEAR_REGRESSION:
      return ap4_LinearRegression(array, static_cast<const AP4_REGRESSIONPARM*>(parameter));
    case AP4_MSG_SEARCH_SCORE:   return ap4_SearchScore(array, static_cast<const AP4_SEARCHPARM*>(parameter));
    case AP4_MSG_SCALE_ROWS:
      return ap_object_result(ap4a_ScaleRowsByVector(array, pair->range, pair->other, pair->other_range));
    case AP4_MSG_POLY_FIT:
      return ap4a_PolyFit(poly->data, poly->n, poly->m, poly->degree, poly->abscissa, poly->value, poly->slope,
                          poly->curvature);
    case AP4_MSG_READ_TEXT:      return ap_object_result(ap4c_ReadText(class_id, parameter));
    case AP4_MSG_WRITE_TEXT:     return ap4c_WriteText(array, parameter);
    case AP4_MSG_COMPARE_STORED:
      return ap4c_CompareWithStored(array, compare->reference, compare->error_count, compare->report, compare->name);
    case AP4_MSG_PEAK_LIST:
      return static_cast<int32_t>(ap4c_PeakList(array, peaks->target, peaks->range, peaks->mode,
                                                peaks->peak_threshold, peaks->valley_threshold, peaks->peak,
                                                peaks->left_valley, peaks->right_valley));
    case AP4_MSG_PEAK_HALF_WIDTH:
      return static_cast<int32_t>(ap4c_PeakHalfWidth(array, half_width->range, half_width->mode, half_width->width));
    case AP4_MSG_PEAK_SEARCH_SORTED:
      return static_cast<uint32_t>(ap4b_PeakSearch(array, search->range, search->threshold, search->kernel_value,
                                                   search->direction, search->capacity, search->full, search->table, 1));
    case AP4_MSG_PEAK_SEARCH:
      return static_cast<uint32_t>(ap4b_PeakSearch(array, search->range, search->threshold, search->kernel_value,
                                                   search->direction, search->capacity, search->full, search->table,
                                                   search->sort));
    case AP4_MSG_PLOT_MIN_MAX:
      return ap4b_PlotMinMax(array, plot->range, plot->y_low, plot->y_high, plot->pixels, plot->height, plot->x1,
                             plot->x2, plot->minima, plot->maxima);
    case AP4_MSG_REGRESSION_SLOPE:
      return ap4b_RegressionSlope(array, dot->range, dot->other, dot->other_range, dot->result);
    case AP4_MSG_PROJECTION_RESIDUAL:
      return ap_object_result(ap4b_ProjectionResidual(array, projection->range, projection->basis));
    case AP4_MSG_KRONECKER_PRODUCT:
      return ap_object_result(ap4b_KroneckerProduct(array, static_cast<AP4_ARRAY*>(parameter)));
    case AP4_MSG_FFT_CONVOLVE:
      return ap_object_result(ap4b_FFTConvolve(array, convolve->range, convolve->kernel, convolve->mode));
    case AP4_MSG_BYTE_IMAGE:
      return ap_object_result(ap4b_ByteImage(array, image->range, image->low, image->high, image->rows,
                                             image->columns, image->levels));
    case AP4_MSG_SELF_DECONVOLVE:
      return ap_object_result(ap4b_FourierSelfDeconvolve(array, deconvolve->range, deconvolve->half_width,
                                                         deconvolve->factor, deconvolve->mode, deconvolve->points));
    case AP4_MSG_EXTRACT_FACTORS:
      return ap4b_ExtractFactors(array, factors->count, factors->percentage, factors->mode, factors->scores,
                                 factors->loadings, factors->eigenvalues, factors->total, factors->found);
    case AP4_MSG_MAP_MEAN_CENTER: return ap4_MapMeanCenter(parameter);
    case AP4_MSG_MAP_VARIANCE_SCALE: return ap4_MapVarianceScale(parameter);
    case AP4_MSG_MAP_PCA:
      return ap_object_result(AP4_Map_PCA_ARRAY(static_cast<const AP4_MAPPCAPARM*>(parameter)));
    case AP4_MSG_MAP_KX:
      return ap_object_result(AP4_Map_KX_ARRAY(static_cast<const AP4_MAPKXPARM*>(parameter)));
    case AP4_MSG_RECONSTRUCT_PCA:
      return AP4_Reconstruct_PCA_ARRAY(static_cast<const AP4_RECONSTRUCTPARM*>(parameter));
    case AP4_MSG_MCR:            return ap4_MCR(array, parameter);
    case AP4_MSG_EIGEN_REPORT:   return ap4_EigenReport(array, parameter);
    case KX_AP4_MSG_SUMMER:
    case KX_AP4_MSG_SQUARE_SUMMER:      return ap4_Summer(array, message, parameter);
    case KX_AP4_MSG_CONST_SUMMER:       return ap4_ConstSummer(array, parameter);
    case KX_AP4_MSG_MULT_CORRELATION:   return ap4_MultCorrelation(array, parameter);
    case KX_AP4_MSG_QM_PERFORMANCE:     return ap4_QMPerformance(array, parameter);
    case KX_AP4_MSG_CORRELATION_COEFF:
    case KX_AP4_MSG_SLOPE:              return ap4_PairStatistic(array, message, parameter);
    case KX_AP4_MSG_MAHALANOBIS_CALIB_EX: return ap4_MahalanobisCalibEx(array, parameter);
    case KX_AP4_MSG_MAHALANOBIS_CALIB:  return ap4_MahalanobisCalib(array, parameter);
    case KX_AP4_MSG_MAHALANOBIS_PREDICT: return ap4_MahalanobisPredict(array, parameter);
    case KX_AP4_MSG_REASSIGN_STDS:      return ap4_ReassignStds(array, parameter);
    case KX_AP4_MSG_RETURN_ORDER_OF_STDS: return ap4_ReturnOrderOfStds(array, parameter);
    case KX_AP4_MSG_ORDER_EXISTING_ROW_STDS: return ap4_OrderExistingRowStds(array, parameter);
    case KX_AP4_MSG_COUNT_OUTLIERS:
      return static_cast<uint16_t>(kx_ap4_CountOutliers(array, static_cast<uint16_t*>(parameter)));
    case KX_AP4_MSG_MEAN_SQUARE:
      return static_cast<uint16_t>(kx_ap4_MeanSquare(array, static_cast<float*>(parameter)));
    case KX_AP4_MSG_CURVE_FIT:          return ap4_CurveFit(array, parameter);
    case KX_AP4_MSG_MONOTONIC:          return ap4_IsMonotonic(array, parameter);
    case KX_AP4_MSG_ORDER_ROWS:         return ap4_OrderRows(array, parameter);
    case KX_AP4_MSG_DRAW_AND_ORDER:     return ap4_DrawAndOrder(parameter);
    default:                     return 0;
  }
}
