// Operations on data whose X axis counts points (interferograms and their
// transforms): a shift by a fraction of a point with three-point parabolic
// interpolation, or keeping every second point (message 293), and the fold
// of a power-of-two record about its middle (message 294). Both return a new
// spectrum and leave the input as it was. The dispatcher's analysis table
// calls ap7f_CentreShift and ap7f_FoldRecord.
#include <algorithm>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr uint32_t kPointAxis = 2;
constexpr uint32_t kInterferogram = 22;
constexpr uint32_t kSingleBeam = 15;
constexpr uint32_t kRatio = 19;
// The centre stencil reads a point and its two neighbours.
constexpr uint32_t kLeastShiftPoints = 3;
constexpr uint32_t kLeastHalvingPoints = 2;

// The curvature and slope of the parabola through points i - 1, i, i + 1.
void ap7f_parabola(const float* y, uint32_t i, float& k, float& g) {
  k = ((y[i + 1] - 2.0f * y[i]) + y[i - 1]) / 2.0f;
  g = (y[i + 1] - y[i - 1]) / 2.0f;
}

// The result's inner points at the shift of each point: the same shift
// everywhere, or (ramp) one growing from the first point to `shift` at m.
void ap7f_shift_points(const float* y, float* out, uint32_t n, float shift, bool ramp, uint32_t m) {
  for (uint32_t i = 1; i + 1 < n; ++i) {
    const float s = ramp ? (static_cast<float>(i - 1) * shift) / static_cast<float>(m) : shift;
    float k = 0.0f, g = 0.0f;
    ap7f_parabola(y, i, k, g);
    out[i] = (s * k + g) * s + y[i];
  }
}

// A fresh block of m floats, filled by `fill`, adopted by the result with
// the axis first X .. last X.
template <typename Fill>
bool ap7f_adopt_block(AP7_SPECTRUM* result, uint32_t m, float first_x, float last_x, Fill fill) {
  GU3_HANDLE block = GU3_Allocate_MM(m, sizeof(float), GU3_KIND_GLOBAL);
  auto* values = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (values == nullptr) {
    GU3_Free_MM(block);
    return false;
  }
  fill(values);
  if (!ap7b_SetDataHandle(result, first_x, last_x, m, block)) {
    GU3_Free_MM(block);
    return false;
  }
  return true;
}

}  // namespace

AP7_SPECTRUM* ap7f_CentreShift(AP7_SPECTRUM* spectrum, uint16_t mode, float shift, float* used) {
  const bool can_report = !IsBadWritePtr(used, sizeof(float));
  if (can_report) *used = 0.0f;
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || header->x_units != kPointAxis || ap7b_GetDataPtr(spectrum) == nullptr) return nullptr;
  ap7a_new_spectrum result(ap7a_Duplicate(spectrum, nullptr));
  float* out = ap7b_GetDataPtr(result.get());
  if (out == nullptr) return nullptr;
  const float* y = ap7b_GetDataPtr(spectrum);
  const uint32_t n = ap7e_PointCount(spectrum);
  const uint32_t m = n / 2;
  switch (mode) {
    case AP7F_MEASURED_SHIFT:
    case AP7F_MEASURED_RAMP: {
      if (n < kLeastShiftPoints) return nullptr;
      float k = 0.0f, g = 0.0f;
      ap7f_parabola(y, m, k, g);
      float s = 0.0f;
      if (!AP1_KovFloatCompareSG_MATH(k, 0.0f)) {
        s = -g / (2.0f * k);
        // A vertex beyond half a point is no centre of this one.
        if (s > 0.5f || s < -0.5f) s = 0.0f;
      }
      ap7f_shift_points(y, out, n, s, mode == AP7F_MEASURED_RAMP, m);
      if (can_report) *used = s;
      return result.release();
    }
    case AP7F_GIVEN_SHIFT:
    case AP7F_GIVEN_RAMP:
      if (n < kLeastShiftPoints) return nullptr;
      ap7f_shift_points(y, out, n, shift, mode == AP7F_GIVEN_RAMP, m);
      if (can_report) *used = shift;
      return result.release();
    default: {
      if (n < kLeastHalvingPoints) return nullptr;
      const uint32_t first = mode == AP7F_HALVE_ODD_POINTS ? 1 : 0;
      const bool adopted = ap7f_adopt_block(result.get(), m, 0.0f, static_cast<float>(m - 1), [&](float* values) {
        for (uint32_t j = 0; j < m; ++j) values[j] = y[2 * j + first];
      });
      if (!adopted) return nullptr;
      AP41_HEADERDATA* made = ap7a_record(result.get());
      made->SSP = made->SSP * 2.0f;
      made->NumScanPts = made->NumScanPts >> 1;
      made->FinalPeakPos = made->FinalPeakPos >> 1;
      made->NumPostPeakPts = made->NumPostPeakPts >> 1;
      return result.release();
    }
  }
}

AP7_SPECTRUM* ap7f_FoldRecord(AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || ap7b_GetDataPtr(spectrum) == nullptr) return nullptr;
  const uint32_t y_units = header->y_units;
  const uint32_t n = ap7e_PointCount(spectrum);
  // A single point has no mirror to fold onto: 1 is no power of two here.
  const bool power_of_two = n >= 2 && (n & (n - 1)) == 0;
  if ((y_units != kInterferogram && y_units != kSingleBeam && y_units != kRatio) ||
      !AP1_KovFloatCompareSG_MATH(header->first_x, 0.0f) || !power_of_two)
    return nullptr;
  const uint32_t m = n / 2;
  const float last_x = static_cast<float>(m - 1) * ((header->last_x - header->first_x) / static_cast<float>(n - 1));
  ap7a_new_spectrum result(ap7a_Duplicate(spectrum, nullptr));
  const float* y = ap7b_GetDataPtr(spectrum);
  if (result.get() == nullptr || !ap7f_adopt_block(result.get(), m, header->first_x, last_x, [&](float* values) {
        for (uint32_t j = 0; j < m; ++j) values[j] = y[j] + y[n - 1 - j];
      }))
    return nullptr;
  AP41_HEADERDATA* made = ap7a_record(result.get());
  made->SSP = made->SSP * 2.0f;
  return result.release();
}
