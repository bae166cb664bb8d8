// Fuzz target of the spectral formula parser (message 271): arbitrary
// bytes, cut at the first NUL, as the formula over a spectrum A of five
// points, a second spectrum B (given when the input's length is even) and
// K = 2. Whatever the text says, A and B keep their values, a formula
// without K leaves K missing, the result is null or a new spectrum with
// points, and no intermediate spectrum outlives the call. The library is
// loaded and released around each input, so every object and block is
// given back.
//
// Seeds (fuzz/corpus/spectral_formula/), one formula each: arithmetic.txt
// every operator with parentheses; functions.txt LOG, EXP and SQRT of
// spectra and constants; derivatives.txt D and DD; constants.txt numbers
// with exponents, K and unary minus; table_full.txt as many tokens as the
// table holds; malformed.txt unbalanced parentheses and a cut-off name.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/core.h"
#include "fuzz/file_objects.h"
#include "fuzz/library.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::destroy;

constexpr uint32_t kPoints = 5;

AP7_SPECTRUM* make_spectrum(float scale) {
  uint16_t class_id = AP7_CLASS_ID;
  AP7_NEWPARM parameter{kPoints, nullptr};
  auto* spectrum = ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
  check(spectrum != nullptr);
  spectrum->header->data.first_x = 100.0f;
  spectrum->header->data.last_x = 104.0f;
  float* y = ap7b_GetDataPtr(spectrum);
  for (uint32_t i = 0; i < kPoints; ++i) y[i] = scale * static_cast<float>(i) - 1.0f;
  return spectrum;
}

bool same_values(const AP7_SPECTRUM* spectrum, float scale) {
  const float* y = ap7b_GetDataPtr(spectrum);
  for (uint32_t i = 0; i < kPoints; ++i) {
    if (y[i] != scale * static_cast<float>(i) - 1.0f) return false;
  }
  return spectrum->header->data.points == kPoints;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  check(fuzz::load_library());
  AP7_SPECTRUM* a = make_spectrum(1.0f);
  AP7_SPECTRUM* b = size % 2 == 0 ? make_spectrum(3.0f) : nullptr;
  const uint16_t live = APX_GetClassTable()->classes[AP7_CLASS_ID].live;
  float k = 2.0f;
  AP7_FORMULAPARM block{b, text.c_str(), &k};
  auto* result = ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP7_MSG_SPECTRAL_FORMULA, a, &block));

  check(same_values(a, 1.0f));
  check(b == nullptr || same_values(b, 3.0f));
  const bool has_k = text.find_first_of("Kk") != std::string::npos;
  check(has_k ? k == 2.0f : ap1_is_missing(k));
  check(APX_GetClassTable()->classes[AP7_CLASS_ID].live == live + (result != nullptr ? 1 : 0));
  if (result != nullptr) {
    check(ap7a_spectrum(result) != nullptr && result != a && result != b);
    check(result->header->data.points >= 1 && result->data->columns == result->header->data.points);
    destroy(result);
  }
  destroy(b);
  destroy(a);
  check(APX_GetClassTable()->classes[AP7_CLASS_ID].live == 0);
  check(APX_GetClassTable()->classes[AP4_CLASS_ID].live == 0);
  fuzz::release_library();
  return 0;
}
