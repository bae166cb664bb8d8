// Runs a quantitative-analysis method of the outside KX package at every
// position of a map: each position's spectrum goes into a spectrum object,
// the method object answers an ARRAY of results, and a fixed number of
// values per position is gathered into one block ready to be shown as maps.
//
// The method object is reached only through its messages 439 (what it
// answers) and 425 (evaluate one spectrum). Owns the temporary position
// mask, the temporary spectrum made for a bare spectral header and the
// column flags the method hands over; the result block goes to the caller.
// The ARRAY dispatcher reaches it through message 348.
#include <cstdint>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint16_t kMethodDescribe = 439;
constexpr uint16_t kMethodEvaluate = 425;

// Result kinds whose rows pair values with the index of their slot.
constexpr uint16_t kKindIndexBelow = 66;
constexpr uint16_t kKindIndexAbove = 134;
constexpr uint16_t kKindIndexThird = 128;
constexpr uint16_t kKindPair = 67;

constexpr uint32_t kNoData = 1;
constexpr uint32_t kPositionMaskAllocation = 2;
constexpr uint32_t kPositionMaskCount = 3;
constexpr uint32_t kNoSpectrum = 4;
constexpr uint32_t kPointsDiffer = 5;
constexpr uint32_t kMethodFailed = 6;
constexpr uint32_t kResultBlock = 7;
constexpr uint32_t kTemporarySpectrum = 8;

#pragma pack(push, 2)
// Message 439 to the method object.
struct ap4_describe_block {
  uint16_t zero;
  uint16_t* kind;
  uint16_t* count;
  GU3_HANDLE* flags;
};
// Message 425 to the method object.
struct ap4_evaluate_block {
  AP7_SPECTRUM* spectrum;
  uint32_t* scratch;
  float parameter;
};
#pragma pack(pop)
static_assert(sizeof(ap4_describe_block) == 14);
static_assert(sizeof(ap4_evaluate_block) == 12);

void ap4_destroy(void* object) {
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &window);
}

// The spectrum the positions pass through: the caller's, or a temporary one
// wearing the caller's header; the temporary one gets its own header back
// before it goes.
class ap4_map_spectrum {
 public:
  ~ap4_map_spectrum() {
    if (temporary_ == nullptr) return;
    temporary_->header = own_header_;
    ap4_destroy(temporary_);
  }
  ap4_map_spectrum() = default;
  ap4_map_spectrum(const ap4_map_spectrum&) = delete;
  ap4_map_spectrum& operator=(const ap4_map_spectrum&) = delete;
  // 0, or the error code.
  uint32_t take(void* object, uint32_t points) {
    const uint16_t class_id = object != nullptr ? gu2_ClassIdOf(object) : 0;
    if (class_id == AP7_CLASS_ID) {
      spectrum_ = static_cast<AP7_SPECTRUM*>(object);
      // The Y values must hold what the header promises, or the copy would
      // run past them.
      if (spectrum_->header == nullptr || spectrum_->header->data.points != points ||
          !ap4a_is_array(spectrum_->data) || spectrum_->data->columns < points)
        return kPointsDiffer;
      return 0;
    }
    if (class_id != AP41_CLASS_ID) return kNoSpectrum;
    auto* header = static_cast<AP41_SPECTRALHEADER*>(object);
    if (header->data.points != points) return kPointsDiffer;
    uint16_t spectrum_class = AP7_CLASS_ID;
    AP7_NEWPARM fresh{points, nullptr};
    temporary_ = ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP_MSG_NEW, &spectrum_class, &fresh));
    if (temporary_ == nullptr) return kTemporarySpectrum;
    own_header_ = temporary_->header;
    temporary_->header = header;
    spectrum_ = temporary_;
    return 0;
  }
  AP7_SPECTRUM* get() const { return spectrum_; }

 private:
  AP7_SPECTRUM* spectrum_ = nullptr;
  AP7_SPECTRUM* temporary_ = nullptr;
  AP41_SPECTRALHEADER* own_header_ = nullptr;
};

// The slot an index value names, or v when it names none (missing, or not
// below v once truncated and taken as u16).
uint32_t ap4_slot(float index, uint32_t v) {
  if (ap1_is_missing(index)) return v;
  const auto slot = static_cast<uint16_t>(ap1_TruncateToInt32(index));
  return slot < v ? slot : v;
}

// One position's v values from the method's result (nr × nc, row-major).
void ap4_gather(const AP4_ARRAY* result, uint16_t kind, const uint16_t* flags, uint32_t flag_count, uint32_t v,
                float* out) {
  const uint32_t nr = result->rows;
  const uint32_t nc = result->columns;
  const float* d = ap4a_GetDataAddress(result);
  if (d == nullptr) return;
  const float nan = AP1_GetNaNSG_MATH();
  switch (kind) {
    case kKindIndexBelow:
    case kKindIndexAbove:
    case kKindIndexThird: {
      for (uint32_t j = 0; j < v; ++j) out[j] = nan;
      const uint32_t needed_rows = kind == kKindIndexThird ? 3 : 2;
      if (nr < needed_rows) return;
      // Row 0 holds the values, the last row read their slots; kind 66 the
      // other way round.
      for (uint32_t c = 0; c < nc; ++c) {
        const float index = kind == kKindIndexBelow ? d[c] : d[(needed_rows - 1) * nc + c];
        const float value = kind == kKindIndexBelow ? d[nc + c] : d[c];
        const uint32_t slot = ap4_slot(index, v);
        if (slot < v) out[slot] = value;
      }
      return;
    }
    case kKindPair: {
      const float pair[2] = {nr > 1 ? d[nc] : nan, nr > 1 ? d[0] : nan};
      for (uint32_t j = 0; j < v && j < 2; ++j) out[j] = pair[j];
      return;
    }
    default: {
      uint32_t written = 0;
      for (uint32_t c = 0; c < nc && c < flag_count && written < v; ++c)
        if (flags[c] != 0) out[written++] = d[c];
      return;
    }
  }
}

}  // namespace

APEXPORT GU3_HANDLE AP4_Map_KX_ARRAY(const AP4_MAPKXPARM* parameter) {
  uint32_t ignored_error = 0;
  uint32_t* error = IsBadWritePtr(parameter->error, sizeof(uint32_t)) ? &ignored_error : parameter->error;
  *error = 0;
  void* ignored_description = nullptr;
  uint32_t ignored_count = 0;
  void** description =
      IsBadWritePtr(parameter->description, sizeof(void*)) ? &ignored_description : parameter->description;
  uint32_t* per_position =
      IsBadWritePtr(parameter->per_position, sizeof(uint32_t)) ? &ignored_count : parameter->per_position;
  GU3_HANDLE flag_block = nullptr;
  GU3_HANDLE result_block = nullptr;
  GU3_HANDLE temporary_mask = nullptr;
  auto finish = [&](uint32_t code) -> GU3_HANDLE {
    if (flag_block != nullptr) GU3_Free_MM(flag_block);
    if (temporary_mask != nullptr) GU3_Free_MM(temporary_mask);
    if (code == 0) return result_block;
    if (result_block != nullptr) GU3_Free_MM(result_block);
    *error = code;
    *description = nullptr;
    *per_position = 0xFFFFFFFF;
    return nullptr;
  };
  const uint32_t rows = parameter->rows;
  const uint32_t columns = parameter->columns;
  const uint32_t points = parameter->points;
  const uint64_t positions64 = static_cast<uint64_t>(rows) * columns;
  const uint64_t bytes = parameter->data != nullptr ? static_cast<uint64_t>(GU3_NumElements_MM(parameter->data)) *
                                                          GU3_LenElements_MM(parameter->data)
                                                    : 0;
  if (parameter->data == nullptr || positions64 == 0 || points == 0 ||
      positions64 * points > UINT32_MAX / sizeof(float) || positions64 * points * sizeof(float) > bytes)
    return finish(kNoData);
  const auto* x = static_cast<const float*>(GU3_GetPointer_MM(parameter->data, 0, nullptr, nullptr));
  if (x == nullptr) return finish(kNoData);
  const auto positions = static_cast<uint32_t>(positions64);
  const uint16_t* included = nullptr;
  if (parameter->position_mask == nullptr) {
    temporary_mask = GU3_Allocate_MM(positions, sizeof(uint16_t), GU3_KIND_GLOBAL);
    auto* ones = static_cast<uint16_t*>(GU3_GetPointer_MM(temporary_mask, 0, nullptr, nullptr));
    if (ones == nullptr) return finish(kPositionMaskAllocation);
    for (uint32_t p = 0; p < positions; ++p) ones[p] = 1;
    included = ones;
  } else if (!ap4c_MaskEntries(parameter->position_mask, positions, &included)) {
    return finish(kPositionMaskCount);
  }
  ap4_map_spectrum spectrum;
  if (const uint32_t code = spectrum.take(parameter->spectrum, points); code != 0) return finish(code);
  float* y = ap_result_object<float>(GU2_DoMethod_MSG(AP7_MSG_DATA_POINTER, spectrum.get(), nullptr));
  uint16_t kind = 0;
  uint16_t v = 0;
  ap4_describe_block describe{0, &kind, &v, &flag_block};
  void* described =
      parameter->method != nullptr
          ? ap_result_object<void>(GU2_DoMethod_MSG(kMethodDescribe, parameter->method, &describe))
          : nullptr;
  if (described == nullptr || v == 0) return finish(kMethodFailed);
  *description = described;
  *per_position = v;
  const uint16_t* flags =
      flag_block != nullptr ? static_cast<const uint16_t*>(GU3_GetPointer_MM(flag_block, 0, nullptr, nullptr)) : nullptr;
  const uint32_t flag_count = flags != nullptr ? GU3_NumElements_MM(flag_block) : 0;
  if (static_cast<uint64_t>(positions) * v > UINT32_MAX / sizeof(float)) return finish(kResultBlock);
  result_block = GU3_Allocate_MM(positions * v, sizeof(float), GU3_KIND_GLOBAL);
  auto* out = static_cast<float*>(GU3_GetPointer_MM(result_block, 0, nullptr, nullptr));
  if (out == nullptr) return finish(kResultBlock);
  for (uint32_t p = 0; p < positions; ++p) {
    float* slot = out + static_cast<size_t>(p) * v;
    for (uint32_t j = 0; j < v; ++j) slot[j] = 0.0f;
    if (included[p] == 0 || y == nullptr) continue;
    for (uint32_t k = 0; k < points; ++k) y[k] = x[static_cast<size_t>(p) * points + k];
    uint32_t scratch = 0;
    ap4_evaluate_block evaluate{spectrum.get(), &scratch, parameter->parameter};
    void* result = ap_result_object<void>(GU2_DoMethod_MSG(kMethodEvaluate, parameter->method, &evaluate));
    if (result == nullptr) continue;
    if (ap4a_is_array(result)) ap4_gather(static_cast<AP4_ARRAY*>(result), kind, flags, flag_count, v, slot);
    ap4_destroy(result);
  }
  return finish(0);
}
