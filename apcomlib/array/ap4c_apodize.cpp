// Apodization windows: the kernels that weight an interferogram in place
// before its Fourier transform, and the ramp that prepares a single-sided
// interferogram. Each window is 1 at the centre index c (the interferogram
// peak) and falls off with the distance from c, scaled by the longer,
// right-hand side n - c. The ARRAY apodize handlers choose the kernel by
// window kind. A centre outside the vector leaves the data unchanged: the
// step 1/(n - c) would divide by zero, and the walks from both ends would
// leave the vector.
#include <cmath>
#include <cstdint>

#include "array/array.h"

namespace {

// The single-precision pi/2 and pi of the angle walks.
constexpr float ap4c_half_pi = 1.5707963705062866f;
constexpr float ap4c_pi = 3.1415927410125732f;

bool ap4c_window_fits(const float* data, int64_t n, int32_t c) { return data != nullptr && c >= 0 && c < n; }

// Walks i from n - 1 down to 0 with `harmonics` angles, angle h (counted
// from 1) starting at -h·span + h·s and growing by h·s per point, where
// s = span / (n - c), so that every angle is 0 at i = c; weight(angles)
// multiplies the point.
template <int harmonics, typename Weight>
void ap4c_angle_walk(float* data, int64_t n, int32_t c, float span, Weight weight) {
  const float s = span / static_cast<float>(n - c);
  float angles[harmonics];
  float steps[harmonics];
  for (int h = 0; h < harmonics; ++h) {
    steps[h] = static_cast<float>(h + 1) * s;
    angles[h] = -static_cast<float>(h + 1) * span + steps[h];
  }
  for (int64_t i = n - 1; i >= 0; --i) {
    data[i] = static_cast<float>(data[i] * weight(angles));
    for (int h = 0; h < harmonics; ++h) angles[h] += steps[h];
  }
}

}  // namespace

void ap4c_ApodizeTriangle(float* data, uint32_t n, int32_t c) {
  if (!ap4c_window_fits(data, n, c)) return;
  const float s = 1.0f / static_cast<float>(int64_t{n} - c);
  float weight = 0.0f;
  for (int64_t i = int64_t{n} - 1; i >= c; --i) {
    weight += s;
    data[i] *= weight;
  }
  // Left of the centre the weight keeps falling by s, below 0 when c > n - c.
  for (int64_t i = c - 1; i >= 0; --i) {
    weight -= s;
    data[i] *= weight;
  }
}

void ap4c_ApodizePolynomial(float* data, uint32_t n, int32_t c, float c0, float c1, float c2, float c3, float c4) {
  if (!ap4c_window_fits(data, n, c)) return;
  const auto side = static_cast<float>(int64_t{n} - c);
  for (int64_t i = int64_t{n} - 1; i >= 0; --i) {
    const float x = static_cast<float>(i >= c ? i - c : c - i) / side;
    const float q = 1.0f - x * x;
    data[i] *= (((c4 * q + c3) * q + c2) * q + c1) * q + c0;
  }
}

void ap4c_ApodizeNortonBeerWeak(float* data, uint32_t n, int32_t c) {
  ap4c_ApodizePolynomial(data, n, c, 0.384093f, -0.087577f, 0.703484f, 0.0f, 0.0f);
}

void ap4c_ApodizeNortonBeerMedium(float* data, uint32_t n, int32_t c) {
  ap4c_ApodizePolynomial(data, n, c, 0.152442f, -0.136176f, 0.983734f, 0.0f, 0.0f);
}

void ap4c_ApodizeNortonBeerStrong(float* data, uint32_t n, int32_t c) {
  ap4c_ApodizePolynomial(data, n, c, 0.045335f, 0.0f, 0.554883f, 0.0f, 0.399782f);
}

void ap4c_ApodizeCosine(float* data, int32_t n, int32_t c) {
  if (!ap4c_window_fits(data, n, c)) return;
  ap4c_angle_walk<1>(data, n, c, ap4c_half_pi, [](const float* a) { return std::cos(double{a[0]}); });
}

void ap4c_ApodizeHamming(float* data, int32_t n, int32_t c) {
  if (!ap4c_window_fits(data, n, c)) return;
  ap4c_angle_walk<1>(data, n, c, ap4c_pi, [](const float* a) { return 0.54 + 0.46 * std::cos(double{a[0]}); });
}

void ap4c_ApodizeBlackmanHarris(float* data, int32_t n, int32_t c) {
  if (!ap4c_window_fits(data, n, c)) return;
  ap4c_angle_walk<3>(data, n, c, ap4c_pi, [](const float* a) {
    return 0.35875 + 0.48829 * std::cos(double{a[0]}) + 0.14128 * std::cos(double{a[1]}) +
           0.01168 * std::cos(double{a[2]});
  });
}

void ap4c_RampSingleSided(float* data, int32_t n, uint32_t m) {
  if (data == nullptr || m == 0) return;
  const uint64_t rising = uint64_t{2} * m;
  const float step = 2.0f / static_cast<float>(rising);
  float weight = 0.0f;
  for (int32_t i = 0; i < n; ++i) {
    if (static_cast<uint64_t>(i) < rising) {
      data[i] *= weight;
      weight += step;
    } else {
      data[i] *= 2.0f;
    }
  }
}
