// Two point operations of the spectrum: y = -ln(1 + A/B) point by point
// against a second spectrum (message 357), and the interferogram-to-
// spectrum conversion that takes its collection settings from the host's
// global settings object (message 305), which this system does not have.
// The dispatcher's analysis table calls ap7c_NegLogOnePlusRatio and
// ap7c_InterferogramToSpectrum.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

int16_t ap7c_NegLogOnePlusRatio(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other) {
  const AP41_HEADERDATA* a_header = ap7a_record(ap7a_spectrum(spectrum));
  const AP41_HEADERDATA* b_header = ap7a_record(ap7a_spectrum(other));
  if (a_header == nullptr || b_header == nullptr || a_header->points != b_header->points) return 0;
  float* a = ap7b_GetDataPtr(spectrum);
  const float* b = ap7b_GetDataPtr(other);
  if (a == nullptr || b == nullptr) return 0;
  const uint32_t n = std::min({a_header->points, spectrum->data->columns, other->data->columns});
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (ap1_is_missing(a[i]) || ap1_is_missing(b[i]) || b[i] == 0.0f) {
      a[i] = AP1_GetNaNSG_MATH();
      continue;
    }
    const float ratio = a[i] / b[i];
    a[i] = ratio <= -1.0f ? AP1_GetNaNSG_MATH() : static_cast<float>(-std::log(1.0 + ratio));
  }
  return 1;
}

// The conversion takes its collection settings from the host's global
// settings object, which this system never has: there is nothing to
// convert with, and the error code stored is 0.
AP7_SPECTRUM* ap7c_InterferogramToSpectrum(AP7_SPECTRUM*, uint16_t* mode) {
  if (!IsBadWritePtr(mode, sizeof(uint16_t))) *mode = 0;
  return nullptr;
}
