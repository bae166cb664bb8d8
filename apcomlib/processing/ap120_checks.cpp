// The quality checks of a collection against its settings: the collection
// settings (resolution, range, fine mode), the spectrum's header against
// the settings and bench, the interferogram's amplitude and signal to
// noise, and the filters; plus the copy of the settings into a result.
//
// Reached through SQ messages 71-74, 79 and 80 (ap120.cpp). Each check
// runs inside ap120_check_run, which clears what the check can set on the
// SQR result, keeps the level and stores it at the end. The host objects
// (collection settings, bench parameters, instrument description, filter
// settings) are read only through their parameter numbers and messages.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "processing/processing.h"
#include "platform/memory.h"

namespace {

// Range tests allow this much, in X units, at either end.
constexpr uint32_t kRangeSlack = 10;
// A resolution finer than this needs the fine collection mode.
constexpr float kFineResolution = 0.25f;
// The collection-settings codes whose source is code 1.
constexpr uint32_t kOwnSourceFirst = 31;
constexpr uint32_t kOwnSourceLast = 33;
// The interferogram's noise: that many samples, that far after the peak.
constexpr uint32_t kNoiseStart = 250;
constexpr uint32_t kNoiseSamples = 250;

// Bits of messages 71, 73 and 74/80.
constexpr uint32_t kResolutionBit = 1;
constexpr uint32_t kRangeBit = 2;
constexpr uint32_t kFineModeBit = 4;
constexpr uint32_t kSettingsBit = 8;
constexpr uint32_t kSpectrumRangeBit = 0x10;
constexpr uint32_t kAccessoryBit = 0x20;
constexpr uint32_t kLowAmplitudeBit = 0x40;
constexpr uint32_t kSkipAmplitudeBit = 0x80;
constexpr uint32_t kNoiseBit = 0x100;
constexpr uint32_t kHighAmplitudeBit = AP121_SECOND_WORD | 4;

// A host object's value of a parameter: true when it was read. The host
// decides the width of its values: an integer of any width up to the
// caller's lands zero-extended, a wider value is not read.
template <typename T>
bool ap120_host(AP_OBJECT* object, uint16_t number, T* value) {
  *value = T{};
  if (object == nullptr) return false;
  AP13_INDEXPARM index{number};
  const uint32_t size = GU2_DoMethod_MSG(AP13_MSG_GET_PARM_SIZE, object, &index);
  uint8_t bytes[sizeof(T)] = {};
  if (size == 0 || size > sizeof bytes || GU2_GetParmValue_MSG(object, number, bytes) == 0) return false;
  std::memcpy(value, bytes, sizeof bytes);
  return true;
}

template <typename T>
void ap120_set_result(AP121_SQR* result, uint16_t number, T value) {
  GU2_SetParmValue_MSG(result, number, &value);
}

bool ap120_frame_ok(const AP120_SQ* sq, const AP121_SQR* result) { return sq != nullptr && result != nullptr; }

const AP41_HEADERDATA* ap120_header(const AP7_SPECTRUM* spectrum) {
  const AP41_SPECTRALHEADER* header = spectrum != nullptr ? ap7b_GetHeader(spectrum) : nullptr;
  return header != nullptr ? &header->data : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared by the checks

ap120_check_run::ap120_check_run(AP121_SQR* result, const uint32_t* marks, size_t mark_count,
                                 const uint32_t* warnings, size_t warning_count, const uint32_t* failures,
                                 size_t failure_count)
    : result_(result), initial_(0), level_(0), finished_(false) {
  for (size_t i = 0; i < mark_count; ++i) ap121_ClearBits(result_, AP121_DONE, marks[i]);
  for (size_t i = 0; i < warning_count; ++i) ap121_ClearBits(result_, AP121_WARNINGS, warnings[i]);
  for (size_t i = 0; i < failure_count; ++i) ap121_ClearBits(result_, AP121_FAILURES, failures[i]);
  initial_ = level_ = ap12x_get<uint16_t>(result_->params, AP121_LEVEL);
  GU2_DoMethod_MSG(AP_MSG_BEGIN_CHANGE, result_, nullptr);
}

ap120_check_run::~ap120_check_run() { finish(); }

void ap120_check_run::mark(uint32_t bit) { ap121_SetDone(result_, bit); }

void ap120_check_run::warn(uint32_t bit) {
  raise(AP121_WARNING);
  ap121_SetWarnings(result_, bit);
}

void ap120_check_run::fail(uint32_t bit) {
  raise(AP121_FAILURE);
  ap121_SetFailures(result_, bit);
}

uint32_t ap120_check_run::finish() {
  if (finished_) return level_;
  finished_ = true;
  if (level_ != initial_) GU2_SetParmValue_MSG(result_, AP121_LEVEL, &level_);
  GU2_DoMethod_MSG(AP_MSG_END_CHANGE, result_, nullptr);
  return level_;
}

float ap120_Threshold(float sensitivity, float a, float b) { return a + (b - a) * (sensitivity - 1.0f) / 99.0f; }

float ap120_Score(float value, float a, float b) { return (value - a) * 99.0f / (b - a) + 1.0f; }

bool ap120_XRange(const AP7_SPECTRUM* spectrum, float* low, float* high) {
  const AP41_HEADERDATA* header = ap120_header(spectrum);
  if (header == nullptr) return false;
  const float first_x = header->first_x;
  const float last_x = header->last_x;
  *low = std::min(first_x, last_x);
  *high = std::max(first_x, last_x);
  return true;
}

// ---------------------------------------------------------------------------
// Message 72

uint32_t ap120_CopySettings(AP120_SQ* sq, const AP120_COLLECTIONPARM* block) {
  AP121_SQR* result = ap121_sqr(block->result);
  if (sq == nullptr || result == nullptr || block->settings == nullptr) return 0;
  const AP13_PARAMS* settings = sq->params;
  GU2_DoMethod_MSG(AP_MSG_BEGIN_CHANGE, result, nullptr);
  ap120_set_result<uint16_t>(result, AP121_LEVEL, AP121_PASS);
  GU2_SetParmValue_MSG(result, AP121_PATH_LONG, ap13_GetValuePtr_PARAMS(settings, AP120_PATH_LONG));
  GU2_SetParmValue_MSG(result, AP121_TITLE, ap13_GetValuePtr_PARAMS(settings, AP120_TITLE));
  GU2_SetParmValue_MSG(result, AP121_DESCRIPTION, ap13_GetValuePtr_PARAMS(settings, AP120_DESCRIPTION));
  GU2_SetParmValue_MSG(result, AP121_WINDOW, ap13_GetValuePtr_PARAMS(settings, AP120_WINDOW));
  GU2_SetParmValue_MSG(result, AP121_ACCESSORY, ap13_GetValuePtr_PARAMS(settings, AP120_ACCESSORY));

  // The table's names are longer than the result's field: cut to fit.
  if (const char* name = ap121_AccessoryName(ap12x_get<uint16_t>(settings, AP120_ACCESSORY))) {
    char field[100] = {};
    std::strncpy(field, name, sizeof field - 1);
    GU2_SetParmValue_MSG(result, AP121_ACCESSORY_NAME, field);
  }

  float resolution = 0.0f;
  ap120_host(block->settings, AP120_CS_RESOLUTION, &resolution);
  ap120_set_result(result, AP121_COLLECTION_RESOLUTION, resolution);
  ap120_set_result(result, AP121_RESOLUTION_B, ap12x_get<float>(settings, AP120_RESOLUTION_B));
  ap120_set_result(result, AP121_RESOLUTION_A, ap12x_get<float>(settings, AP120_RESOLUTION_A));

  float x1 = 0.0f, x2 = 0.0f;
  uint32_t source = 0, detector_parm = 0, beam_splitter_parm = 0;
  AP_OBJECT* instrument = block->instrument;
  if (ap120_host(instrument, AP120_INSTRUMENT_X1, &x1) && ap120_host(instrument, AP120_INSTRUMENT_X2, &x2) &&
      ap120_host(instrument, AP120_INSTRUMENT_SOURCE, &source) &&
      ap120_host(instrument, AP120_INSTRUMENT_DETECTOR, &detector_parm) &&
      ap120_host(instrument, AP120_INSTRUMENT_BEAM_SPLITTER, &beam_splitter_parm)) {
    const auto detector = static_cast<int16_t>(GU2_DoMethod_MSG(AP120_MSG_INSTRUMENT_DETECTOR, instrument, &detector_parm));
    const auto beam_splitter =
        static_cast<int16_t>(GU2_DoMethod_MSG(AP120_MSG_INSTRUMENT_BEAM_SPLITTER, instrument, &beam_splitter_parm));
    uint32_t kind = 0;
    if (ap120_host(block->settings, AP120_CS_SOURCE_KIND, &kind) && kind >= kOwnSourceFirst && kind <= kOwnSourceLast)
      source = 1;
    uint16_t low = 0, high = 0;
    AP1_CalcMaxRng_MATH(static_cast<int16_t>(source), beam_splitter, detector,
                        static_cast<int16_t>(ap12x_get<uint16_t>(settings, AP120_WINDOW)), &low, &high);
    ap120_set_result<uint32_t>(result, AP121_INSTRUMENT_LOW, low);
    ap120_set_result<uint32_t>(result, AP121_INSTRUMENT_HIGH, high);
    ap120_set_result(result, AP121_EXPECTED_LOW, static_cast<uint32_t>(ap1_TruncateToInt32(std::min(x1, x2))));
    ap120_set_result(result, AP121_EXPECTED_HIGH, static_cast<uint32_t>(ap1_TruncateToInt32(std::max(x1, x2))));
  }
  ap120_set_result(result, AP121_AMPLITUDE_LOW, ap12x_get<float>(settings, AP120_AMPLITUDE_LOW));
  ap120_set_result(result, AP121_AMPLITUDE_HIGH, ap12x_get<float>(settings, AP120_AMPLITUDE_HIGH));
  GU2_DoMethod_MSG(AP_MSG_END_CHANGE, result, nullptr);
  return 1;
}

// ---------------------------------------------------------------------------
// Message 71

uint32_t ap120_CollectionChecks(AP120_SQ* sq, const AP120_COLLECTIONPARM* block) {
  AP121_SQR* result = ap121_sqr(block->result);
  if (!ap120_frame_ok(sq, result) || block->settings == nullptr || block->instrument == nullptr)
    return AP120_REFUSED;
  const uint32_t marks[] = {kResolutionBit, kRangeBit, kFineModeBit};
  const uint32_t warnings[] = {kRangeBit, kFineModeBit};
  const uint32_t failures[] = {kResolutionBit, kRangeBit};
  ap120_check_run run(result, marks, 3, warnings, 2, failures, 2);
  const AP13_PARAMS* settings = sq->params;
  if (!ap12x_on(settings, AP120_MASTER) || !ap12x_on(settings, AP120_COLLECTION_ON)) return run.finish();

  float resolution = 0.0f;
  if (ap12x_on(settings, AP120_RESOLUTION_ON)) {
    run.mark(kResolutionBit);
    const float a = ap12x_get<float>(settings, AP120_RESOLUTION_A);
    const float b = ap12x_get<float>(settings, AP120_RESOLUTION_B);
    const bool read = ap120_host(block->settings, AP120_CS_RESOLUTION, &resolution);
    if (!read || resolution > std::max(a, b) || resolution < std::min(a, b)) run.fail(kResolutionBit);
  }
  if (ap12x_on(settings, AP120_RANGE_ON)) {
    run.mark(kRangeBit);
    const AP13_PARAMS* values = result->params;
    const uint32_t xlo = ap12x_get<uint32_t>(values, AP121_EXPECTED_LOW);
    const uint32_t xhi = ap12x_get<uint32_t>(values, AP121_EXPECTED_HIGH);
    const uint32_t ilo = ap12x_get<uint32_t>(values, AP121_INSTRUMENT_LOW);
    const uint32_t ihi = ap12x_get<uint32_t>(values, AP121_INSTRUMENT_HIGH);
    if (!(xlo >= ilo - kRangeSlack && xhi <= ihi + kRangeSlack)) {
      const bool above = xlo >= ihi - kRangeSlack;
      const bool below = xhi <= ilo + kRangeSlack;
      if (above) run.fail(kRangeBit);
      if (below) run.fail(kRangeBit);
      if (!above && !below) run.warn(kRangeBit);
    }
  }
  if (ap12x_on(settings, AP120_FINE_MODE_ON)) {
    run.mark(kFineModeBit);
    uint32_t mode = 0;
    ap120_host(block->settings, AP120_CS_MODE, &mode);
    if (resolution > kFineResolution && mode == AP120_FINE_MODE) run.warn(kFineModeBit);
  }
  return run.finish();
}

// ---------------------------------------------------------------------------
// Message 73

uint32_t ap120_SpectrumSettings(AP120_SQ* sq, const AP120_SPECTRUMSETTINGSPARM* block) {
  AP121_SQR* result = ap121_sqr(block->result);
  const AP41_HEADERDATA* header = ap120_header(block->spectrum);
  if (!ap120_frame_ok(sq, result) || block->settings == nullptr || block->bench == nullptr || header == nullptr)
    return AP120_REFUSED;
  const uint32_t marks[] = {kSpectrumRangeBit, kAccessoryBit};
  const uint32_t warnings[] = {kSpectrumRangeBit, kAccessoryBit};
  const uint32_t failures[] = {kSettingsBit, kSpectrumRangeBit};
  ap120_check_run run(result, marks, 2, warnings, 2, failures, 2);
  const AP13_PARAMS* settings = sq->params;
  const bool master = ap12x_on(settings, AP120_MASTER);
  const bool spectrum_on = ap12x_on(settings, AP120_SPECTRUM_ON);
  const bool mismatch_on = ap12x_on(settings, AP120_MISMATCH_ON);
  auto* attached = reinterpret_cast<AP121_SQR*>(ap7d_FindListItem(block->spectrum, AP121_CLASS_ID));

  uint32_t halved = 0;
  ap120_host(block->settings, AP120_CS_HALVED, &halved);
  float bench_spacing = 0.0f;
  ap120_host(block->bench, AP120_BENCH_SPACING, &bench_spacing);
  if (halved != 0) bench_spacing *= 2.0f;
  const float spacing = header->SSP;
  bool mismatch = AP1_KovFloatCompareSG_MATH(spacing, bench_spacing) == 0;

  float laser = 0.0f, resolution = 0.0f;
  uint32_t points_a = 0, points_b = 0, transform = 0, points = 0;
  ap120_host(block->bench, AP120_BENCH_LASER, &laser);
  ap120_host(block->settings, AP120_CS_RESOLUTION, &resolution);
  ap120_host(block->settings, AP120_CS_POINTS_A, &points_a);
  ap120_host(block->settings, AP120_CS_POINTS_B, &points_b);
  ap120_host(block->settings, AP120_CS_ZERO_FILL, &transform);
  AP1_CalcResolutionPoints_MATH(laser, resolution, points_a, points_b, &points);
  if (halved != 0) {
    points /= 2;
    transform /= 2;
  }
  float expected = 0.0f, measured = 0.0f;
  AP1_GetResolution_MATH(bench_spacing, static_cast<int32_t>(points), &expected, nullptr);
  const uint32_t post_peak = header->NumPostPeakPts;
  AP1_GetResolution_MATH(spacing, static_cast<int32_t>(post_peak), &measured, nullptr);
  if (AP1_KovFloatCompareSG_MATH(expected, measured) == 0) mismatch = true;
  if (AP1_GetZeroFill_MATH(transform, points) != AP1_GetZeroFill_MATH(header->NumTransformPts, post_peak))
    mismatch = true;
  ap120_set_result(result, AP121_SPECTRUM_RESOLUTION, measured);
  run.mark(kSettingsBit);
  if (mismatch) {
    run.raise(AP121_FAILURE);
    if (spectrum_on && mismatch_on) run.fail(kSettingsBit);
  }

  float low = 0.0f, high = 0.0f;
  ap120_XRange(block->spectrum, &low, &high);
  const uint32_t xlo = ap12x_get<uint32_t>(result->params, AP121_EXPECTED_LOW);
  const uint32_t xhi = ap12x_get<uint32_t>(result->params, AP121_EXPECTED_HIGH);
  const auto slo = static_cast<uint32_t>(ap1_TruncateToInt32(low));
  const auto shi = static_cast<uint32_t>(ap1_TruncateToInt32(high));
  ap120_set_result(result, AP121_SPECTRUM_LOW, slo);
  ap120_set_result(result, AP121_SPECTRUM_HIGH, shi);
  run.mark(kSpectrumRangeBit);
  if (xlo < slo - kRangeSlack || shi + kRangeSlack < xhi) {
    if (shi - kRangeSlack <= xlo || xhi <= slo + kRangeSlack) run.fail(kSpectrumRangeBit);
    else if (master && spectrum_on) run.warn(kSpectrumRangeBit);
  }

  if (master && spectrum_on && mismatch_on) {
    run.mark(kAccessoryBit);
    if (attached != nullptr && ap121_sqr(attached) != nullptr &&
        ap12x_get<uint16_t>(attached->params, AP121_ACCESSORY) != ap12x_get<uint16_t>(settings, AP120_ACCESSORY))
      run.warn(kAccessoryBit);
  }
  return run.finish();
}

// ---------------------------------------------------------------------------
// Messages 74 and 80

uint32_t ap120_InterferogramChecks(AP120_SQ* sq, const AP120_IFGPARM* block, bool float_samples) {
  AP121_SQR* result = ap121_sqr(block->result);
  const uint32_t k = block->index + block->offset;
  // The samples are read only inside the caller's interferogram.
  if (!ap120_frame_ok(sq, result) || block->samples == nullptr || k < block->index || k >= block->count ||
      block->count > UINT32_MAX / 4 || IsBadReadPtr(block->samples, static_cast<UINT_PTR>(block->count) * 4u))
    return AP120_REFUSED;
  const uint32_t marks[] = {kNoiseBit, kLowAmplitudeBit, kHighAmplitudeBit};
  const uint32_t warnings[] = {kNoiseBit};
  const uint32_t failures[] = {kLowAmplitudeBit, kHighAmplitudeBit};
  ap120_check_run run(result, marks, 3, warnings, 1, failures, 2);
  const AP13_PARAMS* settings = sq->params;
  if (!ap12x_on(settings, AP120_MASTER)) return run.finish();

  auto sample = [&](uint32_t at) -> double {
    if (float_samples) return static_cast<const float*>(block->samples)[at];
    return static_cast<double>(static_cast<const int32_t*>(block->samples)[at]);
  };
  const bool skip = ap121_AnyBit(result, AP121_WARNINGS, kSkipAmplitudeBit);
  const float amplitude = static_cast<float>(std::fabs(sample(k) * block->scale));
  const float value = amplitude / block->divisor;
  ap120_set_result(result, AP121_AMPLITUDE, value);
  if (!ap12x_on(settings, AP120_IFG_ON)) return run.finish();
  if (ap12x_on(settings, AP120_AMPLITUDE_ON)) {
    if (!skip) {
      run.mark(kLowAmplitudeBit);
      if (value < ap12x_get<float>(settings, AP120_AMPLITUDE_LOW)) run.fail(kLowAmplitudeBit);
    }
    run.mark(kHighAmplitudeBit);
    if (value > ap12x_get<float>(settings, AP120_AMPLITUDE_HIGH)) run.fail(kHighAmplitudeBit);
  }
  // Without the whole noise window in the interferogram the ratio cannot
  // be measured, and the test does not run.
  const bool window_inside = block->count - k > kNoiseStart + kNoiseSamples - 1;
  if (ap12x_on(settings, AP120_SNR_ON) && !skip && window_inside) {
    run.mark(kNoiseBit);
    double squares = 0.0;
    for (uint32_t at = k + kNoiseStart; at < k + kNoiseStart + kNoiseSamples; ++at) squares += sample(at) * sample(at);
    const double noise = std::sqrt(squares / kNoiseSamples) * ap12x_get<float>(settings, AP120_SNR_RATIO) * block->scale;
    if (amplitude < noise) run.warn(kNoiseBit);
  }
  return run.finish();
}

// ---------------------------------------------------------------------------
// Message 79

uint32_t ap120_FilterCompare(const AP120_FILTERPARM* block) {
  const AP41_HEADERDATA* header = ap120_header(block->spectrum);
  if (header == nullptr || block->filters == nullptr) return 0;
  float high = 0.0f, low = 0.0f;
  ap120_host(block->filters, AP120_FILTER_HIGH, &high);
  ap120_host(block->filters, AP120_FILTER_LOW, &low);
  if (AP1_KovFloatCompareSG_MATH(header->HPF, high) == 0 || AP1_KovFloatCompareSG_MATH(header->LPF, low) == 0)
    return AP120_FILTERS_DIFFER;
  return 0;
}
