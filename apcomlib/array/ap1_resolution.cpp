// MATH helpers of interferometer collection: the resolution that an
// interferogram's point count and sample spacing give. The file layer
// derives a missing header value from it when it reads a spectrum header
// block. No state.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "array/array.h"
#include "util/util.h"

namespace {

constexpr double kPowerOfTwoScale = 2097152.0;
constexpr double kPowerOfTwoDivisor = 64.0;
constexpr double kLaserWavenumber = 15798.0;
constexpr int64_t kFirstPowerOfTwo = 64;

// Truncation toward zero as the original run-time did it: NaN and values
// outside 32 bits give INT32_MIN.
int32_t ap1c_truncate(double value) {
  if (!(value >= static_cast<double>(INT32_MIN) && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

APEXPORT int16_t AP1_GetResolution_MATH(float ssp, int32_t points, float* resolution, char* text) {
  float value = 0.0f;
  const bool computed = !std::isnan(ssp) && std::fabs(ssp) > FLT_MIN && points != 0;
  if (computed) {
    int64_t power = kFirstPowerOfTwo;
    while (power < points) power *= 2;
    if (power == points) {
      const auto whole = static_cast<uint16_t>(ap1c_truncate(kPowerOfTwoScale / ssp / points));
      value = static_cast<float>(whole / kPowerOfTwoDivisor);
    } else {
      value = static_cast<float>(kLaserWavenumber / (static_cast<double>(points) * ssp / 2.0));
    }
  }
  if (resolution != nullptr) *resolution = value;
  if (text != nullptr) {
    std::snprintf(text, AP1_RESOLUTION_TEXT_SIZE, "%6.3f", static_cast<double>(value));
    GUX_ChangeUSDecimalToInternat(text);
  }
  return computed ? 1 : 0;
}
