// The in-place fast Fourier transform of the ARRAY transform message: the
// bit-reversal permutation, a radix-4 decimation-in-time complex transform
// with a radix-2 first pass for odd powers of two, and the pass that turns
// a half-length complex transform into the spectrum of a real sequence (or
// prepares such a spectrum for the inverse). Vectors are plain floats in
// split layout: all real parts, then all imaginary parts. The scalings are
// the stored spectra's own and are kept exactly: no pass divides by N, the
// forward real spectrum holds X[0] and 2·X[k] and drops the Nyquist term.
#include <cmath>
#include <utility>

#include "array/array.h"

namespace {

// Rotations of the radix-4 stages: -sin(pi/2^j) and cos(pi/2^j) for
// j = 2..18; the stage with group length L rotates by pi/(2L), the entry
// j = log2(L) + 1.
constexpr double ap4c_minus_sin[17] = {
    -0.7071067811865475,     -0.3826834323650898,     -0.19509032201612825,    -0.0980171403295606,
    -0.049067674327418015,   -0.024541228522912288,   -0.012271538285719925,   -0.006135884649154475,
    -0.003067956762965976,   -0.0015339801862847655,  -0.0007669903187427045,  -0.00038349518757139556,
    -0.0001917475973107033,  -9.587379909597734e-05,  -4.793689960306688e-05,  -2.396844980841822e-05,
    -1.1984224905069705e-05,
};
constexpr double ap4c_cos[17] = {
    0.7071067811865476, 0.9238795325112867, 0.9807852804032304, 0.9951847266721969, 0.9987954562051724,
    0.9996988186962042, 0.9999247018391445, 0.9999811752826011, 0.9999952938095762, 0.9999988234517019,
    0.9999997058628822, 0.9999999264657179, 0.9999999816164293, 0.9999999954041073, 0.9999999988510269,
    0.9999999997127567, 0.9999999999281892,
};

// The largest complex transform the rotation table covers: group lengths up
// to 2^17, that is 2^19 points.
constexpr int16_t ap4c_max_complex_order = 19;

void ap4c_negate(float* values, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) values[i] = -values[i];
}

// One radix-4 butterfly over the points at a, a + L, a + 2L, a + 3L whose
// second, third and fourth points have already been rotated.
inline void ap4c_butterfly(float* re, float* im, uint32_t a, uint32_t length, double p0r, double p0i, double p1r,
                           double p1i, double p2r, double p2i, double p3r, double p3i) {
  const double ar = p0r + p1r, ai = p0i + p1i;
  const double br = p0r - p1r, bi = p0i - p1i;
  const double gr = p2r + p3r, gi = p2i + p3i;
  const double hr = p2r - p3r, hi = p2i - p3i;
  re[a] = static_cast<float>(ar + gr);
  im[a] = static_cast<float>(ai + gi);
  re[a + 2 * length] = static_cast<float>(ar - gr);
  im[a + 2 * length] = static_cast<float>(ai - gi);
  // B - iH and B + iH.
  re[a + length] = static_cast<float>(br + hi);
  im[a + length] = static_cast<float>(bi - hr);
  re[a + 3 * length] = static_cast<float>(br - hi);
  im[a + 3 * length] = static_cast<float>(bi + hr);
}

void ap4c_radix4_stage(float* re, float* im, uint32_t points, uint32_t length, int table) {
  if (length == 1) {
    for (uint32_t p = 0; p < points; p += 4)
      ap4c_butterfly(re, im, p, 1, re[p], im[p], re[p + 1], im[p + 1], re[p + 2], im[p + 2], re[p + 3], im[p + 3]);
    return;
  }
  const double step_r = ap4c_cos[table], step_i = ap4c_minus_sin[table];
  double wr = 1.0, wi = 0.0;
  for (uint32_t m = 0; m < length; ++m) {
    const double w2r = wr * wr - wi * wi, w2i = 2.0 * wr * wi;
    const double w3r = w2r * wr - w2i * wi, w3i = w2r * wi + w2i * wr;
    for (uint32_t p = m; p < points; p += 4 * length) {
      const uint32_t b = p + length, c = p + 2 * length, d = p + 3 * length;
      ap4c_butterfly(re, im, p, length, re[p], im[p], re[b] * w2r - im[b] * w2i, re[b] * w2i + im[b] * w2r,
                     re[c] * wr - im[c] * wi, re[c] * wi + im[c] * wr, re[d] * w3r - im[d] * w3i,
                     re[d] * w3i + im[d] * w3r);
    }
    const double next_r = wr * step_r - wi * step_i;
    wi = wr * step_i + wi * step_r;
    wr = next_r;
  }
}

}  // namespace

void ap4c_BitReverse(float* v, int16_t k) {
  if (v == nullptr || k < 1 || k > 31) return;
  const uint32_t count = uint32_t{1} << k;
  uint32_t reversed = 0;
  for (uint32_t i = 1; i + 1 < count; ++i) {
    // Add 1 to the reversed counter: carry from the top bit downwards.
    uint32_t bit = count >> 1;
    while (reversed & bit) {
      reversed ^= bit;
      bit >>= 1;
    }
    reversed |= bit;
    if (i < reversed) std::swap(v[i], v[reversed]);
  }
}

void ap4c_ComplexFFT(float* v, int16_t k, int16_t direction) {
  if (v == nullptr || k < 1 || k > ap4c_max_complex_order) return;
  const uint32_t points = uint32_t{1} << k;
  float* re = v;
  float* im = v + points;
  const bool inverse = direction == AP4C_FFT_INVERSE;
  if (inverse) ap4c_negate(im, points);
  uint32_t length = 1;
  // The stage of group length L rotates by pi/(2L): table entry log2(L) - 1,
  // two entries further each time L grows by 4. The stage of length 1 has
  // no rotation.
  int table = -1;
  if (k % 2 != 0) {
    for (uint32_t p = 0; p < points; p += 2) {
      const float ar = re[p], ai = im[p], br = re[p + 1], bi = im[p + 1];
      re[p] = ar + br;
      im[p] = ai + bi;
      re[p + 1] = ar - br;
      im[p + 1] = ai - bi;
    }
    length = 2;
    table = 0;
  }
  for (; length < points; length *= 4, table += 2) ap4c_radix4_stage(re, im, points, length, table);
  if (inverse) ap4c_negate(im, points);
}

void ap4c_RealSpectrumPass(float* v, int16_t k, int16_t direction) {
  if (v == nullptr || k < 1 || k > 31) return;
  const uint32_t half = uint32_t{1} << (k - 1);
  const uint32_t quarter = half / 2;
  float* re = v;
  float* im = v + half;
  const bool forward = direction == AP4C_FFT_FORWARD;
  const double theta = 3.141592653589793 / half;
  const double step_r = std::cos(theta), step_i = -std::sin(theta);
  if (forward) {
    re[0] = re[0] + im[0];
    im[0] = 0.0f;
  } else {
    re[0] = 2.0f * re[0];
    im[0] = re[0];
  }
  // Two points have no quarter term: the one at index 0 is the whole spectrum.
  if (quarter == 0) return;
  re[quarter] *= 2.0f;
  im[quarter] = -2.0f * im[quarter];
  double wr = step_r, wi = step_i;
  for (uint32_t j = 1; j < quarter; ++j) {
    const uint32_t mirror = half - j;
    const double s = double{re[j]} + re[mirror], d = double{re[j]} - re[mirror];
    const double t = double{im[j]} + im[mirror], e = double{im[j]} - im[mirror];
    if (forward) {
      re[j] = static_cast<float>(s + t * wr + d * wi);
      im[j] = static_cast<float>(e + t * wi - d * wr);
      re[mirror] = static_cast<float>(s - t * wr - d * wi);
      im[mirror] = static_cast<float>(-e + t * wi - d * wr);
    } else {
      re[j] = static_cast<float>(s - t * wr + d * wi);
      im[j] = static_cast<float>(e + t * wi + d * wr);
      re[mirror] = static_cast<float>(s + t * wr - d * wi);
      im[mirror] = static_cast<float>(-e + t * wi + d * wr);
    }
    const double next_r = wr * step_r - wi * step_i;
    wi = wr * step_i + wi * step_r;
    wr = next_r;
  }
}
