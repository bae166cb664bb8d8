// Single beam back to interferogram (message 309): the single beam is
// brought to a power-of-two length starting at X = 0, scaled by its gain,
// transformed back with the array FFT, freed of the one-sided weighting and
// mirrored about point 1024, the centre of the interferogram made. Works on
// a duplicate, which it returns; the input is left as it was. The
// dispatcher's analysis table calls AP7_UnFPS_SPECTRUM.
#include <cmath>

#include "core/core.h"
#include "processing/processing.h"

namespace {

constexpr uint32_t kSingleBeam = 15;
constexpr uint32_t kInterferogram = 22;
constexpr uint32_t kPointAxis = 2;
constexpr uint32_t kPhaseCorrections = 2;
constexpr uint32_t kCentre = 1024;
constexpr uint16_t kAtStart = 1;
constexpr uint16_t kAtEnd = 0;
constexpr float kPi = 3.14159265358979f;

uint32_t ap7g_count(const AP7_SPECTRUM* spectrum) { return ap7a_record(spectrum)->points; }

// The points that bring the count to a power of two: the one point beyond
// half of it taken off, or the axis moved to start near 0 and the end
// filled with zeros.
bool ap7g_to_power_of_two(AP7_SPECTRUM* spectrum) {
  const uint32_t n = ap7g_count(spectrum);
  if (n == 0 || n > AP7_MOST_POINTS) return false;
  uint32_t target = 1;
  while (target < n) target *= 2;
  if (target == n) return true;
  if (n == target / 2 + 1) return ap7a_DeletePoints(spectrum, kAtEnd, 1) != 0;
  float dx = 0.0f;
  if (!ap7b_GetXSpacingOut(spectrum, &dx)) return false;
  const int32_t before = ap1_TruncateToInt32(static_cast<double>(ap7a_record(spectrum)->first_x / dx) + 0.5);
  if (before > 0 && !ap7a_InsertPoints(spectrum, kAtStart, before)) return false;
  if (ap7g_count(spectrum) > target) target *= 2;
  const int64_t fill = int64_t{target} - ap7g_count(spectrum);
  return fill <= 0 || ap7a_InsertPoints(spectrum, kAtEnd, static_cast<int32_t>(fill)) != 0;
}

// The inverse transform of the n values padded to 2n, its first half kept
// and scaled.
bool ap7g_transform_back(AP7_SPECTRUM* spectrum, uint32_t n) {
  return ap7a_InsertPoints(spectrum, kAtEnd, static_cast<int32_t>(n)) &&
         ap4b_FFT(spectrum->data, 1, AP4C_FFT_INVERSE) &&
         ap7a_DeletePoints(spectrum, kAtEnd, static_cast<int32_t>(n)) &&
         ap7a_DivideScalar(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 4.0f * static_cast<float>(n));
}

// Each y[i] divided by 0.54 + 0.46 cos(pi i / n), the phase stepped down
// from the last point in single precision.
void ap7g_remove_weighting(float* y, uint32_t n) {
  const float step = kPi / static_cast<float>(n);
  float phase = -kPi + step;
  for (uint32_t i = n; i-- > 0;) {
    const double w = 0.54 + 0.46 * std::cos(phase);
    y[i] = static_cast<float>(y[i] / w);
    phase += step;
  }
}

}  // namespace

APEXPORT AP7_SPECTRUM* AP7_UnFPS_SPECTRUM(AP7_SPECTRUM* spectrum, int32_t halvings) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr) return nullptr;
  ap7a_new_spectrum result(ap7a_Duplicate(spectrum, nullptr));
  AP41_HEADERDATA* header = ap7a_record(result.get());
  if (header == nullptr || header->y_units != kSingleBeam || header->ApodID != 0 ||
      header->PhaseCorrID >= kPhaseCorrections || !ap7g_to_power_of_two(result.get()))
    return nullptr;
  if (header->Gain > 0.0f && !ap7a_MultiplyScalar(result.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, header->Gain))
    return nullptr;
  uint32_t n = ap7g_count(result.get());
  if (!ap7g_transform_back(result.get(), n)) return nullptr;
  for (int32_t h = 0; h < halvings; ++h) {
    // A halving that would leave no point is refused.
    if (n < 2) return nullptr;
    n /= 2;
    if (!ap7a_DeletePoints(result.get(), kAtEnd, static_cast<int32_t>(n))) return nullptr;
  }
  float* y = ap7b_GetDataPtr(result.get());
  if (y == nullptr) return nullptr;
  ap7g_remove_weighting(y, n);
  if (!ap7a_InsertPoints(result.get(), kAtStart, kCentre) || (y = ap7b_GetDataPtr(result.get())) == nullptr)
    return nullptr;
  const uint32_t count = n + kCentre;
  for (uint32_t k = 1; k <= kCentre && kCentre + k < count; ++k) y[kCentre - k] = y[kCentre + k];
  header->x_units = kPointAxis;
  header->y_units = kInterferogram;
  header->points = count;
  header->first_x = 0.0f;
  header->last_x = static_cast<float>(count - 1);
  return result.release();
}
