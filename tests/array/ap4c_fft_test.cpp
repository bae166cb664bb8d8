// The FFT kernels against a slow DFT worked in long double, and the round
// trips of the transforms with the scalings that stored spectra rely on.
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"

namespace {

using Complex = std::complex<long double>;

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// sign -1: forward kernel e^(-2 pi i jk/N); +1: inverse kernel, unscaled.
std::vector<Complex> slow_dft(const std::vector<Complex>& x, int sign) {
  const size_t n = x.size();
  std::vector<Complex> roots(n);
  for (size_t r = 0; r < n; ++r) {
    const long double angle = sign * 2 * kPi * static_cast<long double>(r) / n;
    roots[r] = Complex(std::cos(angle), std::sin(angle));
  }
  std::vector<Complex> out(n);
  for (size_t j = 0; j < n; ++j) {
    Complex sum = 0;
    for (size_t t = 0; t < n; ++t) sum += x[t] * roots[(j * t) % n];
    out[j] = sum;
  }
  return out;
}

std::vector<float> random_values(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> values(count);
  for (float& v : values) v = uniform(generator);
  return values;
}

// Split layout: real parts then imaginary parts.
std::vector<Complex> as_complex(const std::vector<float>& split) {
  const size_t n = split.size() / 2;
  std::vector<Complex> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = Complex(split[i], split[n + i]);
  return out;
}

// The complex transform of naturally ordered points, as the ARRAY FFT
// calls it: each half bit-reversed first.
std::vector<float> complex_fft(std::vector<float> split, int16_t k, int16_t direction) {
  ap4c_BitReverse(split.data(), k);
  ap4c_BitReverse(split.data() + (size_t{1} << k), k);
  ap4c_ComplexFFT(split.data(), k, direction);
  return split;
}

// The forward real transform of 2^k samples in the ARRAY FFT's order of calls.
std::vector<float> real_forward(std::vector<float> samples, int16_t k) {
  ap4c_BitReverse(samples.data(), k);
  ap4c_ComplexFFT(samples.data(), static_cast<int16_t>(k - 1), AP4C_FFT_FORWARD);
  ap4c_RealSpectrumPass(samples.data(), k, AP4C_FFT_FORWARD);
  return samples;
}

// The inverse real transform, ending with the interleave of the halves.
std::vector<float> real_inverse(std::vector<float> spectrum, int16_t k) {
  const size_t half = spectrum.size() / 2;
  ap4c_RealSpectrumPass(spectrum.data(), k, AP4C_FFT_INVERSE);
  ap4c_BitReverse(spectrum.data(), static_cast<int16_t>(k - 1));
  ap4c_BitReverse(spectrum.data() + half, static_cast<int16_t>(k - 1));
  ap4c_ComplexFFT(spectrum.data(), static_cast<int16_t>(k - 1), AP4C_FFT_INVERSE);
  std::vector<float> samples(spectrum.size());
  for (size_t i = 0; i < half; ++i) {
    samples[2 * i] = spectrum[i];
    samples[2 * i + 1] = spectrum[half + i];
  }
  return samples;
}

// Single-precision rounding grows with log2 N over values of size about
// sqrt(N) for inputs in -1..1.
double tolerance(size_t n) { return 4e-7 * std::sqrt(static_cast<double>(n)) * (std::log2(n) + 1); }

TEST(ComplexFFT, MatchesTheSlowDftInBothDirectionsForEveryOrderUpTo1024Points) {
  for (int16_t k = 1; k <= 10; ++k) {
    const size_t n = size_t{1} << k;
    const std::vector<float> input = random_values(2 * n, k);
    for (const int16_t direction : {AP4C_FFT_FORWARD, AP4C_FFT_INVERSE}) {
      const std::vector<Complex> expected = slow_dft(as_complex(input), direction == AP4C_FFT_FORWARD ? -1 : 1);
      const std::vector<Complex> got = as_complex(complex_fft(input, k, direction));
      for (size_t j = 0; j < n; ++j)
        ASSERT_LT(std::abs(got[j] - expected[j]), tolerance(n)) << "k " << k << " direction " << direction
                                                                 << " index " << j;
    }
  }
}

TEST(ComplexFFT, ImpulseGivesAllOnesAndConstantGivesNAtZero) {
  const int16_t k = 5;
  const size_t n = 32;
  std::vector<float> impulse(2 * n, 0.0f);
  impulse[0] = 1.0f;
  ap4c_ComplexFFT(impulse.data(), k, AP4C_FFT_FORWARD);
  for (size_t j = 0; j < n; ++j) {
    EXPECT_FLOAT_EQ(impulse[j], 1.0f);
    EXPECT_FLOAT_EQ(impulse[n + j], 0.0f);
  }
  std::vector<float> constant(2 * n, 0.0f);
  for (size_t j = 0; j < n; ++j) constant[j] = 1.0f;
  ap4c_ComplexFFT(constant.data(), k, AP4C_FFT_FORWARD);
  EXPECT_FLOAT_EQ(constant[0], 32.0f);
  for (size_t j = 1; j < 2 * n; ++j) EXPECT_NEAR(constant[j], 0.0f, 1e-5) << j;
}

TEST(ComplexFFT, InverseAfterForwardGivesNTimesTheInputUpToTheLargestOrder) {
  for (const int16_t k : {1, 2, 7, 12, 19}) {
    const size_t n = size_t{1} << k;
    const std::vector<float> input = random_values(2 * n, 100 + k);
    const std::vector<float> back = complex_fft(complex_fft(input, k, AP4C_FFT_FORWARD), k, AP4C_FFT_INVERSE);
    double worst = 0;
    for (size_t i = 0; i < 2 * n; ++i) worst = std::max(worst, std::abs(back[i] / n - double{input[i]}));
    EXPECT_LT(worst, 2e-7 * (k + 1)) << "k " << k;
  }
}

TEST(ComplexFFT, RefusesOrdersOutsideTheRotationTableAndANullVector) {
  for (const int16_t k : {0, 20, -1}) {
    std::vector<float> data = {3.0f, 1.0f};
    ap4c_ComplexFFT(data.data(), k, AP4C_FFT_FORWARD);
    EXPECT_EQ(data, (std::vector<float>{3.0f, 1.0f})) << "k " << k;
  }
  ap4c_ComplexFFT(nullptr, 4, AP4C_FFT_FORWARD);
  ap4c_RealSpectrumPass(nullptr, 4, AP4C_FFT_FORWARD);
  ap4c_BitReverse(nullptr, 4);
}

TEST(BitReverse, ReordersEightPointsIntoBitReversedIndexOrder) {
  std::vector<float> v = {0, 1, 2, 3, 4, 5, 6, 7};
  ap4c_BitReverse(v.data(), 3);
  EXPECT_EQ(v, (std::vector<float>{0, 4, 2, 6, 1, 5, 3, 7}));
  ap4c_BitReverse(v.data(), 3);
  EXPECT_EQ(v, (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(RealFFT, ForwardGivesXZeroThenTwiceEachTermAndDropsTheNyquistTerm) {
  for (int16_t k = 1; k <= 10; ++k) {
    const size_t n = size_t{1} << k;
    const size_t half = n / 2;
    const std::vector<float> samples = random_values(n, 200 + k);
    std::vector<Complex> as_points(n);
    for (size_t i = 0; i < n; ++i) as_points[i] = samples[i];
    const std::vector<Complex> x = slow_dft(as_points, -1);
    const std::vector<float> y = real_forward(samples, k);
    EXPECT_NEAR(y[0], static_cast<double>(x[0].real()), tolerance(n)) << "k " << k;
    EXPECT_EQ(y[half], 0.0f) << "k " << k;
    for (size_t j = 1; j < half; ++j) {
      ASSERT_NEAR(y[j], static_cast<double>(2 * x[j].real()), 2 * tolerance(n)) << "k " << k << " j " << j;
      ASSERT_NEAR(y[half + j], static_cast<double>(2 * x[j].imag()), 2 * tolerance(n)) << "k " << k << " j " << j;
    }
  }
}

TEST(RealFFT, InverseOfTheForwardGivesTwoNTimesTheSamplesWithoutTheirNyquistComponent) {
  for (const int16_t k : {1, 2, 3, 6, 11, 20}) {
    const size_t n = size_t{1} << k;
    const std::vector<float> samples = random_values(n, 300 + k);
    // The Nyquist component: (1/N) X[N/2] (-1)^i.
    long double nyquist = 0;
    for (size_t i = 0; i < n; ++i) nyquist += (i % 2 == 0 ? 1 : -1) * static_cast<long double>(samples[i]);
    nyquist /= n;
    const std::vector<float> back = real_inverse(real_forward(samples, k), k);
    double worst = 0;
    for (size_t i = 0; i < n; ++i) {
      const long double expected = samples[i] - (i % 2 == 0 ? nyquist : -nyquist);
      worst = std::max(worst, static_cast<double>(std::abs(back[i] / (2.0L * n) - expected)));
    }
    EXPECT_LT(worst, 2e-7 * (k + 1)) << "k " << k;
  }
}

}  // namespace
