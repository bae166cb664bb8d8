// The SPECTRUM class's message table, AP7_Dispatcher_SPECTRUM: the one entry
// through which every operation on a spectrum is requested.
//
// The message layer calls it for every message sent to an object of class
// 7 (for messages 2 and 4 with a pointer to the class id). It checks the
// class and the parameter block, unpacks the block and calls the operation
// the message stands for: the common object protocol of the data array's
// root part (1, 8, 10, 11, 15, 16, 23), the spectrum's life cycle, the X-range
// operations under the ARRAY's numbers, the axis and the accessors, the
// history bits and the history and comment texts, the interferogram, peak
// and display-range operations, the saves, ranges as text, the fit to an X range, pixel spans for drawing, and the read and write through a
// spectrum-file object (17, 18); the search preparation, peak width,
// smoothing to a resolution and spacing change, the single beam of an
// interferogram, its ratio and the reprocessing of stored interferograms. The analysis messages go on to the
// processing table (processing/ap7_analysis.cpp). A spectrum hands no
// message to its parent class: the numbers neither table lists answer 0, as
// do those of the operations that are not part of the library yet, and every
// number above the last one.
//
// A 16-bit result goes out widened with its sign, except the change state
// (message 12), which goes out without it.
#include <cstring>

#include "core/core.h"
#include "files/files.h"
#include "platform/memory.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"

namespace {

// Size of the parameter block each message reads, checked before the block
// is unpacked; blocks that are one pointer are checked by their operation,
// those handed to the root part by the root part.
uint32_t ap7_block_size(uint16_t message) {
  switch (message) {
    case AP_MSG_INIT:
    case AP_MSG_DESTROY:
    case AP_MSG_DUPLICATE:
    case AP7_MSG_DUPLICATE_BARE: return sizeof(HWND);
    case AP_MSG_NEW: return sizeof(AP7_NEWPARM);
    case AP_MSG_SET_CHANGE_STATE: return sizeof(AP_WORDPARM);
    case AP_MSG_COPY: return sizeof(AP_COPYPARM);
    case AP_MSG_READ: return sizeof(AP_READPARM);
    case AP7_MSG_SAVE_TO_FILE: return sizeof(AP7_SAVEPARM);
    case AP7_MSG_SAVE_RANGE_TO_FILE: return sizeof(AP7_SAVERANGEPARM);
    case AP7_MSG_RANGE_POINTS: return sizeof(AP7_RANGEPOINTSPARM);
    case AP7_MSG_INSERT_POINTS:
    case AP7_MSG_DELETE_POINTS: return sizeof(AP7_POINTSPARM);
    case AP7_MSG_FILL_RANGE: return sizeof(AP7_FILLPARM);
    case AP7_MSG_MIN_MAX: return sizeof(AP7_MINMAXPARM);
    case AP7_MSG_X_TO_INDEX: return sizeof(AP7_XTOINDEXPARM);
    case AP7_MSG_INDEX_TO_X: return sizeof(AP7_INDEXTOXPARM);
    case AP7_MSG_GET_NAME: return sizeof(AP7_GETNAMEPARM);
    case AP7_MSG_SET_NAME: return sizeof(AP7_SETNAMEPARM);
    case AP7_MSG_X_TO_CELL: return sizeof(AP7_XTOCELLPARM);
    case AP7_MSG_CELL_TO_X: return sizeof(AP7_CELLTOXPARM);
    case AP7_MSG_SET_DATA_HANDLE: return sizeof(AP7_DATAHANDLEPARM);
    case AP7_MSG_GET_X_RANGE:
    case AP7_MSG_CLAMP_X_RANGE:
    case AP7_MSG_EXTEND_TO_X_RANGE:
    case AP7_MSG_CLAMP_X_RANGE_NEAREST:
    case AP7_MSG_PAD_TO_X_RANGE: return sizeof(AP7_LIMITSPARM);
    case AP7_MSG_COMMON_INDEX_RANGE: return sizeof(AP7_COMMONRANGEPARM);
    case AP7_MSG_MARK_GRID_INTERVAL: return sizeof(AP7_GRIDPARM);
    case AP7_MSG_HEADER_TEXT_FIELDS: return sizeof(AP7_TEXTFIELDSPARM);
    case AP7_MSG_X_RANGE_TO_INDEX_RANGE: return sizeof(AP7_INDEXRANGEPARM);
    case AP7_MSG_TEST_HISTORY_FLAG:
    case AP7_MSG_SET_HISTORY_FLAG:
    case AP7_MSG_CLEAR_HISTORY_FLAG: return sizeof(uint16_t);
    case AP7_MSG_HISTORY_KEYWORD: return sizeof(AP7_KEYWORDPARM);
    case AP7_MSG_RANGE_TO_TEXT: return sizeof(AP7_XRANGEPARM);
    case AP7_MSG_FIT_TO_X_RANGE: return sizeof(AP7_LIMITSPARM);
    case AP7_MSG_DRAW_SPANS: return sizeof(AP7_DRAWSPANSPARM);
    case AP7_MSG_INTERPOLATE_BY_SUBDIVISION: return sizeof(AP7_SPACINGPARM);
    case AP7_MSG_SYNTHESIZE_BAND: return sizeof(AP7_BANDPARM);
    case AP7_MSG_BAND_SHAPE_AREA: return sizeof(AP7_BANDAREAPARM);
    case AP7_MSG_COMPLETE_COLLECT_PARAMS: return sizeof(int16_t);
    case AP7_MSG_GET_VALUE_AT_X: return sizeof(AP7_VALUEATXPARM);
    case AP7_MSG_SET_VALUE_AT_X: return sizeof(AP7_SETVALUEATXPARM);
    case AP7_MSG_COPY_RANGE_FROM:
    case AP7_MSG_ADD_SPECTRA:
    case AP7_MSG_SUBTRACT_SPECTRA:
    case AP7_MSG_MULTIPLY_SPECTRA:
    case AP7_MSG_DIVIDE_SPECTRA: return sizeof(AP7_PAIRPARM);
    case AP7_MSG_SET_DATA: return sizeof(AP7_DATAHANDLEPARM);
    case AP7_MSG_ADD_SCALAR:
    case AP7_MSG_SUBTRACT_SCALAR:
    case AP7_MSG_MULTIPLY_SCALAR:
    case AP7_MSG_DIVIDE_SCALAR: return sizeof(AP7_SCALARPARM);
    case AP7_MSG_RANGE_SUM:
    case AP7_MSG_RANGE_MEAN:
    case AP7_MSG_RANGE_STD_DEV: return sizeof(AP7_STATPARM);
    case AP7_MSG_APPLY_FUNCTION: return sizeof(AP7_APPLYPARM);
    case AP7_MSG_CORRELATE_RANGES:
    case AP7_MSG_RANGE_PAIR_OP: return sizeof(AP7_PAIRRESULTPARM);
    case AP7_MSG_SCALED_MIN_MAX: return sizeof(AP7_MINMAXPARM);
    case AP7_MSG_COUNT_VALID_PAIRS: return sizeof(AP7_PAIRCOUNTPARM);
    case AP7_MSG_MIN_MAX_X: return sizeof(AP7_MINMAXXPARM);
    case AP7_MSG_RANGE_TRANSFORM:
    case AP7_MSG_RANGE_TRANSFORM_INSIDE:
    case AP7_MSG_INTERPOLATE_BY_FFT: return sizeof(AP7_SPACINGPARM);
    case AP7_MSG_DERIVATIVE:
    case AP7_MSG_SECOND_DERIVATIVE: return sizeof(AP7_XRANGEPARM);
    case AP7_MSG_SG_SMOOTH: return sizeof(AP7_SMOOTHPARM);
    case AP7_MSG_CONVOLVE: return sizeof(AP7_CONVOLVEPARM);
    case AP7_MSG_SHIFT_X_AXIS:
    case AP7_MSG_SHIFT_X_EXACT: return sizeof(AP7_SHIFTPARM);
    case AP7_MSG_CORRELATE_SPECTRA: return sizeof(AP7_CORRELATEPARM);
    case AP7_MSG_SIMILARITY_INDEX: return sizeof(AP7_SIMILARITYPARM);
    case AP7_MSG_CONVERT_Y_UNITS: return sizeof(uint16_t);
    case AP7_MSG_MEASURE_AREA: return sizeof(AP7_AREAPARM);
    case AP7_MSG_FEATURE_VALUES: return offsetof(AP7_FEATUREPARM, transform);
    case AP7_MSG_FEATURE_VALUES_TRANSFORMED: return sizeof(AP7_FEATUREPARM);
    case AP7_MSG_FEATURE_COUNT: return sizeof(const float*);
    case AP7_MSG_MEASUREMENT_COUNT: return sizeof(const AP7_MEASUREDESC*);
    case AP7_MSG_MEASURE_FEATURE: return offsetof(AP7_MEASUREFEATUREPARM, mode_switch);
    case AP7_MSG_MEASURE_FEATURE_SWITCHED: return offsetof(AP7_MEASUREFEATUREPARM, transform);
    case AP7_MSG_MEASURE_FEATURE_EX: return sizeof(AP7_MEASUREFEATUREPARM);
    case AP7_MSG_PEAK_SEARCH_SORTED: return offsetof(AP7_PEAKSEARCHPARM, sort);
    case AP7_MSG_PEAK_SEARCH: return sizeof(AP7_PEAKSEARCHPARM);
    case AP7_MSG_TRANSFORM_INTERFEROGRAM: return sizeof(uint16_t);
    case AP7_MSG_APODIZE: return sizeof(AP7_APODIZEPARM);
    case AP7_MSG_PHASE_SPECTRUM: return sizeof(AP7_PHASEPARM);
    case AP7_MSG_PHASE_CORRECT: return sizeof(AP7_PHASECORRECTPARM);
    case AP7_MSG_SELF_DECONVOLVE: return sizeof(AP7_DECONVOLVEPARM);
    case AP7_MSG_SCALE_RANGE: return sizeof(AP7_SCALERANGEPARM);
    case AP7_MSG_SUBTRACT_SCALED: return sizeof(AP7_SUBTRACTSCALEDPARM);
    case AP7_MSG_FOLD_INTERFEROGRAM: return sizeof(AP7_FOLDPARM);
    case AP7_MSG_SET_VALUE_AT_X_NOTIFY: return sizeof(AP7_VALUENOTIFYPARM);
    case AP7_MSG_NEW_NORMALIZED_RANGE: return sizeof(AP7_XRANGEPARM);
    case AP7_MSG_FIND_LIST_ITEM: return sizeof(uint16_t);
    case AP7_MSG_SET_IDENT_CODE: return sizeof(AP7_IDENTCODEPARM);
    case AP7_MSG_KRAMERS_KRONIG: return sizeof(AP7_XRANGEPARM);
    case AP7_MSG_PEAK_LIST_IN_RANGE: return sizeof(AP7_PEAKLISTPARM);
    case AP7_MSG_PEAK_HALF_WIDTH: return sizeof(AP7_STATPARM);
    case AP7_MSG_SMOOTH_TO_RESOLUTION: return sizeof(AP7_XRANGEPARM);
    case AP7_MSG_CHANGE_SPACING:
    case AP7_MSG_PREPARE_SEARCH_REGION: return sizeof(AP7_SPACINGPARM);
    case AP7_MSG_SEARCH_COPY_IN_UNIT: return sizeof(AP7_SEARCHCOPYPARM);
    case AP7_MSG_SEARCH_VECTOR: return offsetof(AP7_SEARCHVECTORPARM, keep_negative);
    case AP7_MSG_SEARCH_VECTOR_EX: return sizeof(AP7_SEARCHVECTORPARM);
    case AP7_MSG_SEARCH_MASK: return sizeof(AP7_SEARCHMASKPARM);
    case AP7_MSG_REPROCESS_INTERFEROGRAMS: return sizeof(AP7_REPROCESSPARM);
    case AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM: return sizeof(AP7_SINGLEBEAMPARM);
    case AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX: return sizeof(AP7_SINGLEBEAMEXPARM);
    case AP7_MSG_READ_STORED_SPECTRUM: return sizeof(AP7_STOREDPARM);
    case AP7_MSG_SET_RAMAN_LASER:
    case AP7_MSG_SHIFT_RAMAN_AXIS:
    case AP7_MSG_CHANGE_LASER_FREQUENCY: return sizeof(AP7_VALUEPARM);
    case AP7_MSG_NEW_FOR_SPACING: return sizeof(AP7_BLACKBODYPARM);
    case AP7_MSG_REFERENCE_DIVIDE:
    case AP7_MSG_REFERENCE_MULTIPLY: return sizeof(AP7_REFERENCEPARM);
    case AP7_MSG_WHITE_LIGHT_CORRECT: return sizeof(AP7_WHITELIGHTPARM);
    case AP7_MSG_COMPARE_WITH_STORED_FILE: return sizeof(AP7_COMPAREFILEPARM);
    case AP7_MSG_RMS_DIFFERENCE: return sizeof(AP7_RMSPARM);
    case AP7_MSG_COMPARE_STORED: return sizeof(AP7_COMPAREPARM);
    case AP7_MSG_BLANK_REGION:
    case AP7_MSG_STRAIGHT_LINE: return sizeof(AP7_XRANGEPARM);
    case AP7_MSG_NEW_FROM_RANGE:
    case AP7_MSG_INTERPOLATE_DOUBLE_POINTS: return sizeof(AP7_XRANGEPARM);
    case AP7_MSG_ADD_WEIGHTED: return sizeof(AP7_PAIRPARM);
    case AP7_MSG_LINEAR_FIT_RANGE: return sizeof(AP7_LINEARFITPARM);
    case AP7_MSG_SCALE_SPLIT_AXIS: return sizeof(AP7_SPLITAXISPARM);
    case AP7_MSG_SCALE_SEGMENTED_AXIS: return sizeof(AP7_SEGMENTEDAXISPARM);
    case AP7_MSG_SCALE_WAVELENGTH_AXIS: return sizeof(AP7_WAVELENGTHAXISPARM);
    case AP7_MSG_POLYNOMIAL_BASELINE: return sizeof(AP7_ANCHORPOLYPARM);
    case AP7_MSG_NEW_FROM_LIBRARY_DATA: return sizeof(AP7_LIBRARYDATAPARM);
    case AP7_MSG_PLAN_LIBRARY_GRID: return sizeof(AP7_LIBRARYGRIDPARM);
    case AP7_MSG_GET_DATA_FORM: return sizeof(uint16_t);
    case AP7_MSG_GET_DATA_FORM_EX: return sizeof(AP7_DATAFORMPARM);
    case AP7_MSG_RATIO_CONFORMED: return sizeof(AP7_RATIOCONFORMEDPARM);
    default: return 0;
  }
}

// Messages sent with a pointer to the class id that make a spectrum (the
// new black body, the reads of a spectrum file and of a text listing).
bool ap7_class_message(uint16_t message) {
  return message == AP7_MSG_NEW_FOR_SPACING || message == AP7_MSG_READ_SPECTRUM_FILE || message == AP7_MSG_READ_TEXT ||
         message == AP7_MSG_NEW_FROM_LIBRARY_DATA;
}

// The block of message 2 may be absent, as the root part sends it when it
// duplicates its outermost object: no owner and no points then.
AP7_SPECTRUM* ap7_create(uint16_t class_id, const void* parameter) {
  AP7_CREATEPARM block{nullptr, 0};
  if (parameter != nullptr && !IsBadReadPtr(parameter, sizeof block)) block = *static_cast<const AP7_CREATEPARM*>(parameter);
  return ap7a_Create(class_id, block.owner, block.points);
}

// The root part of a spectrum's data, which answers the common protocol for
// the whole spectrum; null without data (the root's dispatcher refuses it).
void* ap7_root_part(const AP7_SPECTRUM* spectrum) {
  return spectrum != nullptr && spectrum->data != nullptr ? spectrum->data->head.parent : nullptr;
}

uint16_t ap7_is_single_beam(const AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  return record != nullptr && record->y_units == AP41_YUNITS_SINGLE_BEAM ? 1 : 0;
}

// Message 70 always sorts and takes the log mode; 112 reads both from its block.
uint32_t ap7a_peak_search(AP7_SPECTRUM* spectrum, const AP7_PEAKSEARCHPARM* p, bool with_options) {
  return with_options ? ap7a_PeakSearch(spectrum, p, p->sort, p->log_mode) : ap7a_PeakSearch(spectrum, p, 1, 1);
}

uint16_t ap7a_apodize(AP7_SPECTRUM* spectrum, const AP7_APODIZEPARM* p) { return ap7a_Apodize(spectrum, p->id, p->ramp); }

AP7_SPECTRUM* ap7a_phase(AP7_SPECTRUM* spectrum, const AP7_PHASEPARM* p) {
  return ap7a_PhaseSpectrum(spectrum, p->length, p->k, p->kind, p->mode);
}

uint16_t ap7a_phase_correct(AP7_SPECTRUM* spectrum, const AP7_PHASECORRECTPARM* p) {
  return ap7a_PhaseCorrect(spectrum, p->mode, p->phase);
}

AP7_SPECTRUM* ap7a_deconvolve(AP7_SPECTRUM* spectrum, const AP7_DECONVOLVEPARM* p) {
  return ap7a_FourierSelfDeconvolve(spectrum, p->x1, p->x2, p->half_width, p->factor, p->mode, p->size);
}

uint16_t ap7a_scale_range(AP7_SPECTRUM* spectrum, const AP7_SCALERANGEPARM* p) {
  return ap7a_ScaleRange(spectrum, p->x1, p->x2, p->y_low, p->y_high, p->columns, p->height, p->minima, p->maxima);
}

uint16_t ap7d_subtract_scaled(AP7_SPECTRUM* spectrum, const AP7_SUBTRACTSCALEDPARM* p) {
  return ap7d_SubtractScaled(spectrum, p->x1, p->x2, p->other, p->k);
}

AP7_SPECTRUM* ap7b_search_copy(AP7_SPECTRUM* spectrum, const AP7_SEARCHCOPYPARM* p) {
  return ap7b_SearchPrep279(spectrum, p->x1, p->x2, p->y_code, p->title, p->n);
}

// Message 148 is message 328 without negative values kept.
uint32_t ap7b_search_vector(AP7_SPECTRUM* spectrum, const AP7_SEARCHVECTORPARM* p, bool with_keep) {
  return ap7b_SearchVector(spectrum, p->x1, p->x2, p->vector, p->y_code, p->title, p->n, p->width,
                           with_keep ? p->keep_negative : 0);
}

uint32_t ap7b_search_mask(AP7_SPECTRUM* spectrum, const AP7_SEARCHMASKPARM* p) {
  return ap7b_SearchMask(spectrum, p->x1, p->x2, p->mask, p->y_code, p->n, p->saturation);
}

// Message 166 is message 310 with the extra flag 0.
uint16_t ap7b_single_beam(AP7_SPECTRUM* spectrum, const void* parameter, bool with_extra) {
  if (with_extra) {
    const auto* p = static_cast<const AP7_SINGLEBEAMEXPARM*>(parameter);
    return ap7b_InterferogramToSingleBeam(spectrum, p->size_code, p->apodization, p->phase_mode, p->phase_length,
                                          p->phase_size_code, p->extra, p->keep_phase, p->phase);
  }
  const auto* p = static_cast<const AP7_SINGLEBEAMPARM*>(parameter);
  return ap7b_InterferogramToSingleBeamDefault(spectrum, p->size_code, p->apodization, p->phase_mode, p->phase_length,
                                               p->phase_size_code, p->keep_phase, p->phase);
}

AP7_SPECTRUM* ap7b_library_data(uint16_t class_id, const AP7_LIBRARYDATAPARM* p) {
  return ap7b_NewFromLibraryData(class_id, p->x1, p->x2, p->data, p->y_units, p->x_units, p->title, p->second_text,
                                 p->kind, p->count, p->bytes);
}

uint16_t ap7b_library_grid(AP7_SPECTRUM* spectrum, const AP7_LIBRARYGRIDPARM* p) {
  return ap7b_PlanLibraryGrid(spectrum, p->x1, p->x2, p->spacing, p->count, p->x_units);
}

// Message 321 is message 439 with no spacing and no laser correction.
AP7_SPECTRUM* ap7b_data_form(AP7_SPECTRUM* spectrum, const void* parameter, bool with_options) {
  if (!with_options) return ap7b_GetDataForm(spectrum, *static_cast<const uint16_t*>(parameter), 0.0f, 0);
  const auto* p = static_cast<const AP7_DATAFORMPARM*>(parameter);
  return ap7b_GetDataForm(spectrum, p->form, p->spacing, p->laser);
}

AP7_SPECTRUM* ap7b_ratio_conformed(AP7_SPECTRUM* spectrum, const AP7_RATIOCONFORMEDPARM* p) {
  return ap7b_RatioConformed(spectrum, p->mode, p->background, p->dark, p->e, p->reference, p->factor, p->a, p->b,
                             p->c, p->laser, p->prepare);
}

}  // namespace

APEXPORT uint32_t AP7_Dispatcher_SPECTRUM(void* object, uint16_t message, void* parameter) {
  const uint16_t class_id = gu2_ClassIdOf(object);
  if (class_id != AP7_CLASS_ID || IsBadReadPtr(parameter, ap7_block_size(message))) return 0;
  // Messages 2, 4 and 17 (which may make a spectrum from a file) come with
  // a pointer to the class id, as do those ap7_class_message names.
  if (message != AP_MSG_CREATE && message != AP_MSG_NEW && message != AP_MSG_READ && !ap7_class_message(message) &&
      ap7a_spectrum(object) == nullptr)
    return 0;
  auto* spectrum = static_cast<AP7_SPECTRUM*>(object);
  auto* text = static_cast<char*>(parameter);
  auto* word = static_cast<uint32_t*>(parameter);
  const auto* window = static_cast<const AP_WINDOWPARM*>(parameter);
  const auto* fresh = static_cast<const AP7_NEWPARM*>(parameter);
  const auto* state = static_cast<const AP_WORDPARM*>(parameter);
  const auto* copy = static_cast<const AP_COPYPARM*>(parameter);
  const auto* range_points = static_cast<const AP7_RANGEPOINTSPARM*>(parameter);
  const auto* points = static_cast<const AP7_POINTSPARM*>(parameter);
  const auto* fill = static_cast<const AP7_FILLPARM*>(parameter);
  const auto* min_max = static_cast<const AP7_MINMAXPARM*>(parameter);
  const auto* x_to_index = static_cast<const AP7_XTOINDEXPARM*>(parameter);
  const auto* index_to_x = static_cast<const AP7_INDEXTOXPARM*>(parameter);
  const auto* x_to_cell = static_cast<const AP7_XTOCELLPARM*>(parameter);
  const auto* cell_to_x = static_cast<const AP7_CELLTOXPARM*>(parameter);
  const auto* limits = static_cast<const AP7_LIMITSPARM*>(parameter);
  const auto* index_range = static_cast<const AP7_INDEXRANGEPARM*>(parameter);
  const auto* common = static_cast<const AP7_COMMONRANGEPARM*>(parameter);
  const auto* grid = static_cast<const AP7_GRIDPARM*>(parameter);
  const auto* get_name = static_cast<const AP7_GETNAMEPARM*>(parameter);
  const auto* set_name = static_cast<const AP7_SETNAMEPARM*>(parameter);
  const auto* data = static_cast<const AP7_DATAHANDLEPARM*>(parameter);
  const auto* fields = static_cast<const AP7_TEXTFIELDSPARM*>(parameter);
  const auto* bit = static_cast<const int16_t*>(parameter);
  const auto* keyword = static_cast<const AP7_KEYWORDPARM*>(parameter);
  auto* other = static_cast<AP7_SPECTRUM*>(parameter);
  auto* header = static_cast<AP41_SPECTRALHEADER*>(parameter);
  auto* annotation = static_cast<AP34_ANNOTATION*>(parameter);
  auto* as_object = reinterpret_cast<AP_OBJECT*>(object);
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  const auto* save = static_cast<const AP7_SAVEPARM*>(parameter);
  const auto* save_range = static_cast<const AP7_SAVERANGEPARM*>(parameter);
  const auto* x_range = static_cast<const AP7_XRANGEPARM*>(parameter);
  const auto* spans = static_cast<const AP7_DRAWSPANSPARM*>(parameter);
  const auto* spacing = static_cast<const AP7_SPACINGPARM*>(parameter);
  const auto* band = static_cast<const AP7_BANDPARM*>(parameter);
  const auto* band_area = static_cast<const AP7_BANDAREAPARM*>(parameter);
  const auto* flag = static_cast<const int16_t*>(parameter);
  const auto* value_at = static_cast<const AP7_VALUEATXPARM*>(parameter);
  const auto* set_value_at = static_cast<const AP7_SETVALUEATXPARM*>(parameter);
  const auto* pair = static_cast<const AP7_PAIRPARM*>(parameter);
  const auto* scalar = static_cast<const AP7_SCALARPARM*>(parameter);
  const auto* statistic = static_cast<const AP7_STATPARM*>(parameter);
  const auto* apply = static_cast<const AP7_APPLYPARM*>(parameter);
  const auto* pair_result = static_cast<const AP7_PAIRRESULTPARM*>(parameter);
  const auto* pair_count = static_cast<const AP7_PAIRCOUNTPARM*>(parameter);
  const auto* min_max_x = static_cast<const AP7_MINMAXXPARM*>(parameter);
  const auto* smooth = static_cast<const AP7_SMOOTHPARM*>(parameter);
  const auto* convolve = static_cast<const AP7_CONVOLVEPARM*>(parameter);
  const auto* shift = static_cast<const AP7_SHIFTPARM*>(parameter);
  const auto* correlate = static_cast<const AP7_CORRELATEPARM*>(parameter);
  const auto* similarity = static_cast<const AP7_SIMILARITYPARM*>(parameter);
  switch (message) {
    case AP_MSG_SET_USER_WORD:
    case AP_MSG_DUMP:
    case AP_MSG_BEGIN_CHANGE:
    case AP_MSG_END_CHANGE:
    case AP_MSG_ADD_DEPENDENT_WINDOW:
    case AP_MSG_REMOVE_DEPENDENT:
    case AP_MSG_ADD_DEPENDENT_OBJECT:       return AP2_Dispatcher_OBJ(ap7_root_part(spectrum), message, parameter);
    case AP_MSG_CREATE:                     return ap_object_result(ap7_create(class_id, parameter));
    case AP_MSG_INIT:                       return ap7a_Init(spectrum, window->window);
    case AP_MSG_NEW:                        return ap_object_result(ap7a_NewInit(class_id, fresh->points, fresh->window));
    case AP_MSG_DESTROY:                    return ap7a_Delete(spectrum, window->window);
    case AP_MSG_DUPLICATE:                  return ap_object_result(ap7a_Duplicate(spectrum, window->window));
    case AP_MSG_SIZE:                       return ap7a_GetSize(spectrum);
    case AP_MSG_CLASS_NAME:                 return ap7a_GetClassName(text);
    case AP_MSG_GET_CHANGE_STATE:           return static_cast<uint16_t>(ap7a_IsModified(spectrum));
    case AP_MSG_SET_CHANGE_STATE:           return ap7a_SetModified(spectrum, static_cast<int16_t>(state->word));
    case AP_MSG_SAVE:                       return ap7a_SaveSigned(as_object);
    case AP_MSG_READ:                       return ap_object_result(ap21_ReadIntoSpectrum(object, read->file, read->create));
    case AP_MSG_WRITE:                      return ap21_WriteSpectrum(as_object, parameter);
    case AP_MSG_COPY:                       return ap7a_Copy(spectrum, reinterpret_cast<AP7_SPECTRUM*>(copy->target), copy->window);
    case AP7_MSG_RANGE_POINTS:              return ap7a_GetRangePoints(spectrum, range_points->x1, range_points->x2, range_points->count);
    case AP7_MSG_COPY_DATA_OUT:             return ap_object_result(ap4a_CopyDataOut(spectrum->data));
    case AP7_MSG_INSERT_POINTS:             return ap7a_InsertPoints(spectrum, points->at_start, points->count);
    case AP7_MSG_DELETE_POINTS:             return ap7a_DeletePoints(spectrum, points->at_start, points->count);
    case AP7_MSG_FILL_RANGE:                return ap7a_FillRange(spectrum, fill->x1, fill->x2, fill->value);
    case AP7_MSG_MIN_MAX:                   return ap7a_MinMax(spectrum, min_max->x1, min_max->x2, min_max->minimum, min_max->maximum);
    case AP7_MSG_DUPLICATE_HEADER:          return ap_object_result(ap7b_DuplicateHeader(spectrum));
    case AP7_MSG_REPLACE_HEADER:            return ap7b_ReplaceHeader(spectrum, header);
    case AP7_MSG_DUPLICATE_ANNOTATION:      return ap_object_result(ap7b_DuplicateAnnotation(spectrum));
    case AP7_MSG_COPY_ANNOTATION_FROM:      return ap7b_CopyAnnotationFrom(spectrum, annotation);
    case AP7_MSG_X_TO_INDEX:                return ap7b_XToIndex(spectrum, x_to_index->x, x_to_index->index);
    case AP7_MSG_INDEX_TO_X:                return ap7b_IndexToX(spectrum, index_to_x->index, index_to_x->x);
    case AP7_MSG_SET_PATH:                  return ap7b_SetFilePath(spectrum, text);
    case AP7_MSG_GET_PATH:                  return ap7b_GetFilePath(spectrum, text);
    case AP7_MSG_GET_NAME:                  return ap7b_GetNameAndSubSpectra(spectrum, get_name);
    case AP7_MSG_SET_NAME:                  return ap7b_SetNameAndSubSpectra(spectrum, set_name->name, set_name->sub_a, set_name->sub_b);
    case AP7_MSG_GET_SPACING:               return ap7b_GetXSpacingOut(spectrum, static_cast<float*>(parameter));
    case AP7_MSG_X_TO_CELL:                 return ap7b_XToIndex64(spectrum, x_to_cell->x, x_to_cell->cell);
    case AP7_MSG_CELL_TO_X:                 return ap7b_CellToX(spectrum, cell_to_x->row, cell_to_x->index, cell_to_x->x);
    case AP7_MSG_GET_HEADER:                return ap_object_result(ap7b_GetHeader(spectrum));
    case AP7_MSG_SET_HEADER:                return ap7b_SetHeader(spectrum, header);
    case AP7_MSG_GET_ANNOTATION:            return ap_object_result(ap7b_GetAnnotation(spectrum));
    case AP7_MSG_SET_ANNOTATION:            return ap7b_SetAnnotation(spectrum, annotation);
    case AP7_MSG_GET_DATA_HANDLE:           return ap_object_result(ap7b_GetDataHandle(spectrum));
    case AP7_MSG_SET_DATA_HANDLE:           return ap7b_SetDataHandle(spectrum, data->first_x, data->last_x, data->count, data->block);
    case AP7_MSG_GET_X_RANGE:               return ap7b_GetXRange(spectrum, limits->x1, limits->x2);
    case AP7_MSG_CLAMP_X_RANGE:             return ap7b_ClampXRange(spectrum, limits->x1, limits->x2);
    case AP7_MSG_COMMON_INDEX_RANGE:        return static_cast<uint32_t>(ap7b_CommonIndexRange(spectrum, common->x1, common->x2, common->first, common->last, common->other, common->other_first, common->other_last));
    case AP7_MSG_GET_TITLE:                 return ap7b_GetSetTitle(spectrum, text, 1);
    case AP7_MSG_COMPARE_SPACING:           return ap7d_CompareSpacing(spectrum, other);
    case AP7_MSG_ADD_HISTORY:               return ap7d_AddHistoryText(spectrum, text);
    case AP7_MSG_GET_HISTORY:               return ap_object_result(ap7d_GetHistoryText(spectrum));
    case AP7_MSG_ADD_COMMENT:               return ap7d_AddCommentText(spectrum, text);
    case AP7_MSG_GET_COMMENT:               return ap_object_result(ap7d_GetCommentText(spectrum));
    case AP7_MSG_HISTORY_OBJECT:            return ap_object_result(ap7d_GetHistoryObject(spectrum));
    case AP7_MSG_COMMENT_OBJECT:            return ap_object_result(ap7d_GetCommentObject(spectrum));
    case AP7_MSG_SET_COMMENT:               return ap7d_SetCommentText(spectrum, text);
    case AP7_MSG_SET_HISTORY:               return ap7d_SetHistoryText(spectrum, text);
    case AP7_MSG_SAVE_TO_FILE:              return ap7d_SaveToFile(as_object, save->format_class);
    case AP7_MSG_TEST_HISTORY_FLAG:         return ap7b_TestHistoryFlag(as_object, *bit);
    case AP7_MSG_SET_HISTORY_FLAG:          return ap7b_SetHistoryFlag(as_object, *bit);
    case AP7_MSG_SAVE_RANGE_TO_FILE:        return ap7d_SaveRangeToFile(spectrum, save_range->format_class, save_range->x1, save_range->x2);
    case AP7_MSG_IS_SINGLE_BEAM:            return ap7_is_single_beam(spectrum);
    case AP7_MSG_EXTEND_TO_X_RANGE:         return ap7b_ExtendToXRange(spectrum, limits->x1, limits->x2);
    case AP7_MSG_DATA_POINTER:              return ap_object_result(ap7b_GetDataPtr(spectrum));
    case AP7_MSG_CLAMP_X_RANGE_NEAREST:     return ap7b_ClampXRangeNearest(spectrum, limits->x1, limits->x2);
    case AP7_MSG_MARK_GRID_INTERVAL:        return ap7b_MarkGridInterval(spectrum, grid->x1, grid->x2, grid->mask, grid->count, grid->low, grid->high);
    case AP7_MSG_HEADER_TEXT_FIELDS:        return ap7a_GetHeaderTextFields(spectrum, fields);
    case AP7_MSG_COPY_LIST_TO:              return ap7d_CopyListTo(spectrum, other);
    case AP7_MSG_X_RANGE_TO_INDEX_RANGE:    return static_cast<uint32_t>(ap7b_XRangeToIndexRange(spectrum, index_range->x1, index_range->x2, index_range->first, index_range->last));
    case AP7_MSG_DUPLICATE_BARE:            return ap_object_result(ap7a_DuplicateBare(spectrum, window->window));
    case AP7_MSG_CLEAR_HISTORY_FLAG:        return ap7b_ClearHistoryFlag(as_object, *bit);
    case AP7_MSG_SET_TITLE:                 return ap7b_GetSetTitle(spectrum, text, 0);
    case AP7_MSG_GET_HEADER_P2:             return ap7b_GetHeaderP2(spectrum, word);
    case AP7_MSG_SET_HEADER_P2:             return ap7a_SetHeaderParam2(spectrum, word);
    case AP7_MSG_PAD_TO_X_RANGE:            return ap7b_PadToXRange(spectrum, limits->x1, limits->x2);
    case AP7_MSG_POINT_COUNT:               return ap7a_GetPointCount(spectrum, word);
    case AP7_MSG_ADD_LOGIN_USER:            return ap7d_AddLoginUser(spectrum);
    case AP7_MSG_HISTORY_KEYWORD:           return ap7d_GetHistoryKeyword(spectrum, keyword->keyword, keyword->value);
    case AP7_MSG_DATA_CHECKSUM:             return ap7a_DataChecksum(spectrum, word);
    case AP7_MSG_MAKE_X_ASCENDING:          return ap7a_MakeXAscending(spectrum);
    case AP7_MSG_RANGE_TO_TEXT:             return ap_object_result(ap7d_RangeToText(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_RANGE_FROM_TEXT:           return ap7d_RangeFromText(spectrum, text);
    case AP7_MSG_FIT_TO_X_RANGE:            return ap7d_FitToXRange(spectrum, limits->x1, limits->x2);
    case AP7_MSG_DRAW_SPANS:                return ap7d_GetDrawSpans(spectrum, spans->xa, spans->xb, spans->x3, spans->ya, spans->yb, spans->width, spans->height, spans->low_rows, spans->high_rows, spans->first_column, spans->end_column);
    case AP7_MSG_INTERPOLATE_BY_SUBDIVISION: return ap_object_result(ap7d_InterpolateBySubdivision(spectrum, spacing->x1, spacing->x2, spacing->spacing));
    case AP7_MSG_SYNTHESIZE_BAND:           return ap7d_SynthesizeBand(spectrum, band->x, band->shape, band->height, band->centre, band->width, band->second, band->third, band->clear);
    case AP7_MSG_BAND_SHAPE_AREA:           return ap7d_BandShapeArea(spectrum, band_area->area, band_area->shape, band_area->height, band_area->centre, band_area->width, band_area->second, band_area->third);
    case AP7_MSG_COMPLETE_COLLECT_PARAMS:   return ap7d_CompleteCollectParams(spectrum, *flag);
    case AP7_MSG_GET_VALUE_AT_X:            return ap7a_GetValueAtX(spectrum, value_at->x, value_at->value);
    case AP7_MSG_SET_VALUE_AT_X:            return ap7a_SetValueAtX(spectrum, set_value_at->x, set_value_at->value);
    case AP7_MSG_COPY_RANGE_FROM:           return ap7a_CopyRangeFrom(spectrum, pair->x1, pair->x2, pair->other);
    case AP7_MSG_SET_DATA:                  return ap7a_SetData(spectrum, data->first_x, data->last_x, data->count, data->block);
    case AP7_MSG_ADD_SPECTRA:               return ap_object_result(ap7a_AddSpectra(spectrum, pair->x1, pair->x2, pair->other));
    case AP7_MSG_ADD_SCALAR:                return ap7a_AddScalar(spectrum, scalar->x1, scalar->x2, scalar->value);
    case AP7_MSG_SUBTRACT_SPECTRA:          return ap_object_result(ap7a_SubtractSpectra(spectrum, pair->x1, pair->x2, pair->other));
    case AP7_MSG_SUBTRACT_SCALAR:           return ap7a_SubtractScalar(spectrum, scalar->x1, scalar->x2, scalar->value);
    case AP7_MSG_MULTIPLY_SPECTRA:          return ap_object_result(ap7a_MultiplySpectra(spectrum, pair->x1, pair->x2, pair->other));
    case AP7_MSG_MULTIPLY_SCALAR:           return ap7a_MultiplyScalar(spectrum, scalar->x1, scalar->x2, scalar->value);
    case AP7_MSG_DIVIDE_SPECTRA:            return ap_object_result(ap7a_DivideSpectra(spectrum, pair->x1, pair->x2, pair->other));
    case AP7_MSG_DIVIDE_SCALAR:             return ap7a_DivideScalar(spectrum, scalar->x1, scalar->x2, scalar->value);
    case AP7_MSG_RANGE_SUM:                 return ap7a_RangeSum(spectrum, statistic->x1, statistic->x2, statistic->result);
    case AP7_MSG_RANGE_MEAN:                return ap7a_RangeMean(spectrum, statistic->x1, statistic->x2, statistic->result);
    case AP7_MSG_RANGE_STD_DEV:             return ap7a_RangeStdDev(spectrum, statistic->x1, statistic->x2, statistic->result);
    case AP7_MSG_APPLY_FUNCTION:            return ap7a_ApplyFunction(spectrum, apply->x1, apply->x2, apply->function);
    case AP7_MSG_CORRELATE_RANGES:          return ap7a_CorrelateRanges(spectrum, pair_result->x1, pair_result->x2, pair_result->other, pair_result->result);
    case AP7_MSG_RANGE_PAIR_OP:             return ap7a_RangePairOp(spectrum, pair_result->x1, pair_result->x2, pair_result->other, pair_result->result);
    case AP7_MSG_SCALED_MIN_MAX:            return ap7a_ScaledMinMax(spectrum, min_max->x1, min_max->x2, min_max->minimum, min_max->maximum);
    case AP7_MSG_COUNT_VALID_PAIRS:         return ap7a_CountValidPairs(spectrum, pair_count->x1, pair_count->x2, pair_count->other, pair_count->count);
    case AP7_MSG_MIN_MAX_X:                 return ap7a_MinMaxX(spectrum, min_max_x->x1, min_max_x->x2, min_max_x->minimum, min_max_x->minimum_x, min_max_x->maximum, min_max_x->maximum_x);
    case AP7_MSG_RANGE_TRANSFORM:           return ap_object_result(ap7a_RangeTransform(spectrum, spacing->x1, spacing->x2, spacing->spacing));
    case AP7_MSG_RANGE_TRANSFORM_INSIDE:    return ap_object_result(ap7a_RangeTransform2(spectrum, spacing->x1, spacing->x2, spacing->spacing));
    case AP7_MSG_INTERPOLATE_BY_FFT:        return ap_object_result(ap7d_InterpolateByFFT(spectrum, spacing->x1, spacing->x2, spacing->spacing));
    case AP7_MSG_DERIVATIVE:                return ap_object_result(ap7a_Derivative(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_SECOND_DERIVATIVE:         return ap_object_result(ap7a_DerivativeRange(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_SG_SMOOTH:                 return ap_object_result(ap7a_SGSmooth(spectrum, smooth->x1, smooth->x2, smooth->window));
    case AP7_MSG_CONVOLVE:                  return ap_object_result(ap7a_Convolve(spectrum, convolve->x1, convolve->x2, convolve->kernel, convolve->option));
    case AP7_MSG_SHIFT_X_AXIS:              return ap_object_result(AP7_ShiftXAxis_SPECTRUM(spectrum, shift->dx));
    case AP7_MSG_SHIFT_X_EXACT:             return ap_object_result(AP7_ShiftXExact_SPECTRUM(spectrum, shift->dx));
    case AP7_MSG_ADD_CONCENTRATION_TEXT:    return ap7a_AddConcentrationText(spectrum, static_cast<AP4_ARRAY*>(parameter));
    case AP7_MSG_CORRELATE_SPECTRA:         return ap7a_CorrelateSpectra(spectrum, correlate->other, correlate->mode, correlate->x1, correlate->x2, correlate->result);
    case AP7_MSG_SIMILARITY_INDEX:          return ap7d_SimilarityIndex(spectrum, similarity->other, similarity->x1, similarity->x2, similarity->sharpen, similarity->index);
    case AP7_MSG_TO_ABSORBANCE:             return ap7b_ConvertToAbsorbance(spectrum, 1);
    case AP7_MSG_TO_PERCENT_TRANSMITTANCE:  return ap7b_ConvertToTransmittance(spectrum, 1);
    case AP7_MSG_TO_PHOTOACOUSTIC:          return ap7b_ConvertToPAS(spectrum, 1);
    case AP7_MSG_TO_KUBELKA_MUNK:           return ap7b_ConvertToKM(spectrum, 1);
    case AP7_MSG_TO_PERCENT_REFLECTANCE:    return ap7b_ConvertUnits137(spectrum, 1);
    case AP7_MSG_TO_LOG_INVERSE_R:          return ap7b_ConvertUnits138(spectrum, 1);
    case AP7_MSG_PREPEND_TITLE:             return ap7d_PrependTitle(spectrum, text);
    case AP7_MSG_CONVERT_Y_UNITS:           return ap7d_ConvertYUnits(spectrum, *static_cast<const uint16_t*>(parameter));
    case AP7_MSG_MEASURE_AREA: {
      const auto* area = static_cast<const AP7_AREAPARM*>(parameter);
      return ap7b_MeasureArea(spectrum, area->x1, area->x2, area->x3, area->x4, area->area_level, area->area_baseline);
    }
    case AP7_MSG_FEATURE_VALUES:
    case AP7_MSG_FEATURE_VALUES_TRANSFORMED: {
      const auto* feature = static_cast<const AP7_FEATUREPARM*>(parameter);
      const uint16_t transform = message == AP7_MSG_FEATURE_VALUES ? AP7_FEATURE_PLAIN : feature->transform;
      return ap7d_GetFeatureValues(spectrum, feature->feature, feature->values, transform);
    }
    case AP7_MSG_FEATURE_COUNT:             return ap7d_GetFeatureCount(spectrum, *static_cast<const float* const*>(parameter));
    case AP7_MSG_MEASUREMENT_COUNT:         return ap7d_GetMeasurementCount(spectrum, *static_cast<const AP7_MEASUREDESC* const*>(parameter));
    case AP7_MSG_MEASURE_FEATURE:
    case AP7_MSG_MEASURE_FEATURE_SWITCHED:
    case AP7_MSG_MEASURE_FEATURE_EX: {
      // The shorter blocks pass what they leave out as 0.
      AP7_MEASUREFEATUREPARM block{};
      std::memcpy(&block, parameter, ap7_block_size(message));
      return ap7d_MeasureFeature(spectrum, block.description, block.values, block.r1, block.r2, block.v, block.region_argument, block.index_out, block.mode_switch, block.transform, block.extra_flag, block.extra1, block.extra2);
    }
    case AP7_MSG_PEAK_SEARCH_SORTED:        return ap7a_peak_search(spectrum, static_cast<const AP7_PEAKSEARCHPARM*>(parameter), false);
    case AP7_MSG_PEAK_SEARCH:               return ap7a_peak_search(spectrum, static_cast<const AP7_PEAKSEARCHPARM*>(parameter), true);
    case AP7_MSG_TRANSFORM_INTERFEROGRAM:   return ap7a_TransformInterferogram(spectrum, *static_cast<const uint16_t*>(parameter));
    case AP7_MSG_APODIZE:                   return ap7a_apodize(spectrum, static_cast<const AP7_APODIZEPARM*>(parameter));
    case AP7_MSG_PHASE_SPECTRUM:            return ap_object_result(ap7a_phase(spectrum, static_cast<const AP7_PHASEPARM*>(parameter)));
    case AP7_MSG_PHASE_CORRECT:             return ap7a_phase_correct(spectrum, static_cast<const AP7_PHASECORRECTPARM*>(parameter));
    case AP7_MSG_SELF_DECONVOLVE:           return ap_object_result(ap7a_deconvolve(spectrum, static_cast<const AP7_DECONVOLVEPARM*>(parameter)));
    case AP7_MSG_SCALE_RANGE:               return ap7a_scale_range(spectrum, static_cast<const AP7_SCALERANGEPARM*>(parameter));
    case AP7_MSG_SUBTRACT_SCALED:           return ap7d_subtract_scaled(spectrum, static_cast<const AP7_SUBTRACTSCALEDPARM*>(parameter));
    case AP7_MSG_IS_GROUP_FILE:             return ap7d_IsGroupFile(text);
    case AP7_MSG_FOLD_INTERFEROGRAM:        return ap_object_result(ap7d_FoldInterferogram(spectrum, static_cast<const AP7_FOLDPARM*>(parameter)->n, static_cast<const AP7_FOLDPARM*>(parameter)->offset));
    case AP7_MSG_SET_VALUE_AT_X_NOTIFY:     return ap7d_SetValueAtXNotify(spectrum, static_cast<const AP7_VALUENOTIFYPARM*>(parameter)->x, static_cast<const AP7_VALUENOTIFYPARM*>(parameter)->value);
    case AP7_MSG_PEAK_DIRECTION:            return static_cast<uint32_t>(ap7d_GetPeakDirection(spectrum));
    case AP7_MSG_COMPARE_HEADER_FIELD:      return ap7d_CompareHeaderField(spectrum, other);
    case AP7_MSG_NEW_NORMALIZED_RANGE:      return ap_object_result(ap7d_NewNormalizedRange(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_FIND_LIST_ITEM:            return ap_object_result(ap7d_FindListItem(spectrum, *static_cast<const uint16_t*>(parameter)));
    case AP7_MSG_ATTACH_PARAMETER_OBJECT:   return ap7d_AttachParameterObject(spectrum, static_cast<AP_OBJECT*>(parameter));
    case AP7_MSG_SET_IDENT_CODE:            return ap7d_SetIdentCode(spectrum, static_cast<const AP7_IDENTCODEPARM*>(parameter)->text, static_cast<const AP7_IDENTCODEPARM*>(parameter)->number);
    case AP7_MSG_HISTORY_STAMP:             return ap7d_HistoryStamp(spectrum);
    case AP7_MSG_KRAMERS_KRONIG:            return ap_object_result(ap7d_KramersKronig(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_PEAK_LIST_IN_RANGE:        return ap7b_PeakListInRange(spectrum, static_cast<const AP7_PEAKLISTPARM*>(parameter)->x, static_cast<const AP7_PEAKLISTPARM*>(parameter)->x1, static_cast<const AP7_PEAKLISTPARM*>(parameter)->x2, static_cast<const AP7_PEAKLISTPARM*>(parameter)->peak_level, static_cast<const AP7_PEAKLISTPARM*>(parameter)->valley_level, static_cast<const AP7_PEAKLISTPARM*>(parameter)->peak_x, static_cast<const AP7_PEAKLISTPARM*>(parameter)->left_x, static_cast<const AP7_PEAKLISTPARM*>(parameter)->right_x);
    case AP7_MSG_PEAK_HALF_WIDTH:           return ap7b_FindPeakLimits(spectrum, statistic->x1, statistic->x2, statistic->result);
    case AP7_MSG_SMOOTH_TO_RESOLUTION:      return ap_object_result(ap7b_SmoothToResolution(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_CHANGE_SPACING:            return ap_object_result(ap7b_ChangeSpacing(spectrum, spacing->x1, spacing->x2, spacing->spacing));
    case AP7_MSG_PREPARE_SEARCH_REGION:     return ap_object_result(ap7b_PrepareSearchRegion(spectrum, spacing->x1, spacing->x2, spacing->spacing));
    case AP7_MSG_SEARCH_COPY_IN_UNIT:       return ap_object_result(ap7b_search_copy(spectrum, static_cast<const AP7_SEARCHCOPYPARM*>(parameter)));
    case AP7_MSG_SEARCH_VECTOR:
    case AP7_MSG_SEARCH_VECTOR_EX:          return ap7b_search_vector(spectrum, static_cast<const AP7_SEARCHVECTORPARM*>(parameter), message == AP7_MSG_SEARCH_VECTOR_EX);
    case AP7_MSG_SEARCH_MASK:               return ap7b_search_mask(spectrum, static_cast<const AP7_SEARCHMASKPARM*>(parameter));
    case AP7_MSG_REPROCESS_INTERFEROGRAMS:  return ap_object_result(ap7b_ReprocessInterferograms(spectrum, static_cast<const AP7_REPROCESSPARM*>(parameter)));
    case AP7_MSG_RATIO_AGAINST_BACKGROUND:  return ap_object_result(ap7b_RatioAgainstBackground(spectrum, other));
    case AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM:
    case AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX: return ap7b_single_beam(spectrum, parameter, message == AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX);
    case AP7_MSG_READ_STORED_SPECTRUM:      return ap_object_result(ap7b_ReadStoredSpectrum(spectrum, static_cast<const AP7_STOREDPARM*>(parameter)->other, static_cast<const AP7_STOREDPARM*>(parameter)->which));
    case AP7_MSG_CONCATENATE:               return ap_object_result(ap7b_Concatenate(spectrum, other));
    case AP7_MSG_SET_RAMAN_LASER:           return ap7d_SetRamanLaserFreq(spectrum, static_cast<const AP7_VALUEPARM*>(parameter)->value);
    case AP7_MSG_RAMAN_TO_ABSOLUTE:         return ap7d_RamanToAbsolute(spectrum);
    case AP7_MSG_SHIFT_RAMAN_AXIS:          return ap7d_ShiftRamanAxis(spectrum, static_cast<const AP7_VALUEPARM*>(parameter)->value);
    case AP7_MSG_CHANGE_LASER_FREQUENCY:    return ap7d_ChangeLaserFrequency(spectrum, static_cast<const AP7_VALUEPARM*>(parameter)->value);
    case AP7_MSG_WHITE_LIGHT_CORRECT:       return ap7d_WhiteLightCorrect(spectrum, static_cast<const AP7_WHITELIGHTPARM*>(parameter)->reference);
    case AP7_MSG_NEW_FOR_SPACING: {
      const auto* body = static_cast<const AP7_BLACKBODYPARM*>(parameter);
      return ap_object_result(ap7b_NewForSpacing(class_id, body->x1, body->x2, body->spacing, body->temperature));
    }
    case AP7_MSG_READ_SPECTRUM_FILE:        return ap_object_result(ap7b_ReadSpectrumFile(text));
    case AP7_MSG_REFERENCE_DIVIDE:          return ap_object_result(ap7d_ReferenceDivide(spectrum, static_cast<const AP7_REFERENCEPARM*>(parameter)->reference, static_cast<const AP7_REFERENCEPARM*>(parameter)->keep_units));
    case AP7_MSG_REFERENCE_MULTIPLY:        return ap_object_result(ap7d_ReferenceMultiply(spectrum, static_cast<const AP7_REFERENCEPARM*>(parameter)->reference, static_cast<const AP7_REFERENCEPARM*>(parameter)->keep_units));
    case AP7_MSG_REGRID_TO_LASER_SPACING:   return ap_object_result(ap7d_RegridToLaserSpacing(spectrum));
    case AP7_MSG_COMPARE_WITH_STORED_FILE: {
      const auto* compare = static_cast<const AP7_COMPAREFILEPARM*>(parameter);
      return ap7d_CompareWithStoredFile(spectrum, compare->path, compare->flags, compare->report);
    }
    case AP7_MSG_RMS_DIFFERENCE: {
      const auto* rms = static_cast<const AP7_RMSPARM*>(parameter);
      return static_cast<uint32_t>(ap7d_RmsDifference(spectrum, rms->other, rms->tolerance, rms->mean_square, rms->rms));
    }
    case AP7_MSG_READ_TEXT:                 return ap_object_result(ap7b_ReadText(class_id, parameter));
    case AP7_MSG_WRITE_TEXT:                return ap7b_WriteText(spectrum, parameter);
    case AP7_MSG_COMPARE_STORED: {
      const auto* compare = static_cast<const AP7_COMPAREPARM*>(parameter);
      return ap7b_CompareWithStored(spectrum, compare->reference, compare->error_count, compare->report, compare->name);
    }
    case AP7_MSG_ATR_CORRECTION:            return ap_object_result(ap7b_ATRCorrection(spectrum));
    case AP7_MSG_BLANK_REGION:              return ap7b_BlankRegion(spectrum, x_range->x1, x_range->x2);
    case AP7_MSG_STRAIGHT_LINE:             return ap7b_StraightLineRegion(spectrum, x_range->x1, x_range->x2);
    case AP7_MSG_NEW_FROM_RANGE:            return ap_object_result(ap7a_NewFromRange(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_INTERPOLATE_DOUBLE_POINTS: return ap_object_result(ap7b_InterpolateDoublePoints(spectrum, x_range->x1, x_range->x2));
    case AP7_MSG_ADD_WEIGHTED:              return ap_object_result(ap7b_AddWeighted(spectrum, pair->x1, pair->x2, pair->other));
    case AP7_MSG_LINEAR_FIT_RANGE: {
      const auto* fit = static_cast<const AP7_LINEARFITPARM*>(parameter);
      return ap7b_LinearFitRange(spectrum, fit->x1, fit->x2, fit->peak_to_peak, fit->rms);
    }
    case AP7_MSG_SCALE_SPLIT_AXIS: {
      const auto* axis = static_cast<const AP7_SPLITAXISPARM*>(parameter);
      return ap7b_ScaleSplitAxis(spectrum, axis->y1, axis->y2, axis->xa, axis->xb, axis->xc, axis->xd, axis->columns, axis->mode, axis->split, axis->low, axis->high);
    }
    case AP7_MSG_SCALE_SEGMENTED_AXIS: {
      const auto* axis = static_cast<const AP7_SEGMENTEDAXISPARM*>(parameter);
      return ap7b_ScaleSegmentedAxis(spectrum, axis->x1, axis->x2, axis->y1, axis->y2, axis->columns, axis->mode, axis->rule, axis->low, axis->high);
    }
    case AP7_MSG_SCALE_WAVELENGTH_AXIS: {
      const auto* axis = static_cast<const AP7_WAVELENGTHAXISPARM*>(parameter);
      return ap7b_ScaleWavelengthAxis(spectrum, axis->lambda1, axis->lambda2, axis->y1, axis->y2, axis->columns, axis->mode, axis->low, axis->high);
    }
    case AP7_MSG_LINEAR_BASELINE:           return ap_object_result(ap7b_LinearBaseline(spectrum, static_cast<AP40_LLIST*>(parameter)));
    case AP7_MSG_SPLINE_BASELINE:           return ap_object_result(ap7b_SplineBaseline(spectrum, static_cast<AP40_LLIST*>(parameter)));
    case AP7_MSG_POLYNOMIAL_BASELINE:       return ap_object_result(ap7b_PolynomialBaseline(spectrum, static_cast<const AP7_ANCHORPOLYPARM*>(parameter)->anchors, static_cast<const AP7_ANCHORPOLYPARM*>(parameter)->degree));
    case AP7_MSG_NEW_FROM_LIBRARY_DATA:     return ap_object_result(ap7b_library_data(class_id, static_cast<const AP7_LIBRARYDATAPARM*>(parameter)));
    case AP7_MSG_PLAN_LIBRARY_GRID:         return ap7b_library_grid(spectrum, static_cast<const AP7_LIBRARYGRIDPARM*>(parameter));
    case AP7_MSG_GET_DATA_FORM:
    case AP7_MSG_GET_DATA_FORM_EX:          return ap_object_result(ap7b_data_form(spectrum, parameter, message == AP7_MSG_GET_DATA_FORM_EX));
    case AP7_MSG_RATIO_CONFORMED:           return ap_object_result(ap7b_ratio_conformed(spectrum, static_cast<const AP7_RATIOCONFORMEDPARM*>(parameter)));
    default:                                return ap7_AnalysisMessage(spectrum, message, parameter);
  }
}
