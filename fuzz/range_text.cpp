// Fuzz target of the range-text reader: arbitrary bytes, cut at the first
// NUL, as the text put into a spectrum of nine points at X 0..8. Whatever
// the text says, the spectrum keeps its points and axis, the reader answers
// 1 or 0, a refused text changes no value, and the text itself is left as
// it was. The spectrum's range is then written as text, which must fit the
// size the writer promises. The library is loaded and released around each
// input, so every object and block is given back.
//
// Seeds (fuzz/corpus/range_text/), one text each: same_grid.txt nine values
// over the spectrum's own range; wider.txt a range running past both ends;
// descending.txt a range given from high X to low; short.txt fewer values
// than its count; semicolons.txt the writer's output with ";" separators.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/core.h"
#include "fuzz/file_objects.h"
#include "fuzz/library.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::destroy;

constexpr uint32_t kPoints = 9;

AP7_SPECTRUM* make_spectrum() {
  uint16_t class_id = AP7_CLASS_ID;
  AP7_NEWPARM parameter{kPoints, nullptr};
  auto* spectrum = ap_result_object<AP7_SPECTRUM>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
  check(spectrum != nullptr);
  spectrum->header->data.first_x = 0.0f;
  spectrum->header->data.last_x = 8.0f;
  float* y = ap7b_GetDataPtr(spectrum);
  for (uint32_t i = 0; i < kPoints; ++i) y[i] = static_cast<float>(i);
  return spectrum;
}

bool same_values(const float* a, const float* b) { return std::memcmp(a, b, kPoints * sizeof(float)) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  check(fuzz::load_library());
  AP7_SPECTRUM* spectrum = make_spectrum();
  float before[kPoints];
  std::memcpy(before, ap7b_GetDataPtr(spectrum), sizeof before);

  std::string given = text;
  const uint16_t result = ap7d_RangeFromText(spectrum, given.c_str());
  check(result == 0 || result == 1);
  check(given == text);
  const AP41_HEADERDATA& record = spectrum->header->data;
  check(record.points == kPoints && spectrum->data->columns == kPoints);
  check(record.first_x == 0.0f && record.last_x == 8.0f);
  if (result == 0) check(same_values(before, ap7b_GetDataPtr(spectrum)));

  if (GU3_HANDLE written = ap7d_RangeToText(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN)) {
    const auto* out = static_cast<const char*>(GU3_GetPointer_MM(written, 0, nullptr, nullptr));
    check(std::strlen(out) + 1 <= GU3_NumElements_MM(written));
    GU3_Free_MM(written);
  }
  destroy(spectrum);
  check(APX_GetClassTable()->classes[AP7_CLASS_ID].live == 0);
  check(APX_GetClassTable()->classes[AP4_CLASS_ID].live == 0);
  fuzz::release_library();
  return 0;
}
