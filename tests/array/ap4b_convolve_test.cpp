// Convolution and spectral division through the Fourier transform against
// a direct convolution written here: the kernel centred on each point, the
// row zero beyond its ends; and the division's refusal of a row whose
// spectrum is 0 at some frequency.
#include <complex>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"

namespace {

using namespace arraytest;

class Convolution : public ArrayTest {
 protected:
  static AP4_ARRAY* row_of(const std::vector<float>& data) {
    AP4_ARRAY* array = make(1, static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), ap4a_GetDataAddress(array));
    return array;
  }
  static AP4_ARRAY* convolve(AP4_ARRAY* array, AP4_RANGE range, AP4_ARRAY* kernel, uint16_t mode) {
    AP4_CONVOLVEPARM parameter{range, kernel, mode};
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_FFT_CONVOLVE, array, &parameter));
  }
};

constexpr AP4_RANGE kWhole = AP4_WHOLE_RANGE;

std::vector<float> random_values(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> values(count);
  for (float& v : values) v = uniform(generator);
  return values;
}

// y[i] = sum over j of k[j] x[i + h - j], x taken as 0 outside the row.
std::vector<double> direct(const std::vector<float>& x, const std::vector<float>& k, size_t n) {
  const auto h = static_cast<long>(k.size() - 1) / 2;
  std::vector<double> y(n);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < k.size(); ++j) {
      const long at = static_cast<long>(i) + h - static_cast<long>(j);
      if (at >= 0 && at < static_cast<long>(x.size())) y[i] += static_cast<double>(k[j]) * x[at];
    }
  return y;
}

TEST_F(Convolution, EqualsTheDirectConvolutionWithTheKernelCentredOnEachPoint) {
  struct Case {
    const char* what;
    size_t columns;
    AP4_RANGE range;
    std::vector<float> kernel;
  };
  const Case cases[] = {
      {"one point scales", 9, kWhole, {2.0f}},
      {"three points, not symmetric", 9, kWhole, {1.0f, 2.0f, 3.0f}},
      {"five points over a power of two", 16, kWhole, {0.5f, -1.0f, 4.0f, 0.25f, 2.0f}},
      {"seven points", 20, kWhole, random_values(7, 5)},
      {"range narrower than the row", 12, AP4_RANGE{{0, 3}, {0, 8}}, {1.0f, -2.0f, 0.5f}},
      {"kernel as long as the range", 9, kWhole, random_values(9, 6)},
  };
  for (const Case& c : cases) {
    const std::vector<float> x = random_values(c.columns, static_cast<unsigned>(c.columns));
    AP4_ARRAY* array = row_of(x);
    AP4_ARRAY* kernel = row_of(c.kernel);
    AP4_ARRAY* result = convolve(array, c.range, kernel, 0);
    ASSERT_NE(result, nullptr) << c.what;
    const size_t n = c.range.start.column < 0 ? c.columns
                                               : static_cast<size_t>(c.range.end.column - c.range.start.column + 1);
    const std::vector<double> expected = direct(x, c.kernel, n);
    const std::vector<float> got = values(result);
    ASSERT_EQ(got.size(), n) << c.what;
    for (size_t i = 0; i < n; ++i) EXPECT_NEAR(got[i], expected[i], 2e-5) << c.what << " at " << i;
    EXPECT_EQ(values(array), x) << c.what;
    for (AP4_ARRAY* a : {array, kernel, result}) destroy(a);
  }
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(Convolution, DivisionUndoesTheConvolutionOfTheKernel) {
  // The row whose convolution with a shifted unit pulse gives the kernel is
  // the kernel shifted back: its centre at column 0 less the shift.
  const std::vector<float> kernel_values = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
  for (const size_t shift : {0u, 1u, 3u}) {
    std::vector<float> pulse(12, 0.0f);
    pulse[shift] = 1.0f;
    AP4_ARRAY* array = row_of(pulse);
    AP4_ARRAY* kernel = row_of(kernel_values);
    AP4_ARRAY* result = convolve(array, kWhole, kernel, 1);
    ASSERT_NE(result, nullptr) << "shift " << shift;
    const std::vector<float> got = values(result);
    ASSERT_EQ(got.size(), 12u);
    // r convolved with the pulse at `shift` is r moved right by `shift`
    // (circularly over 32 points); it must equal the kernel centred at 0.
    for (size_t i = 0; i < 12; ++i) {
      const long lag = static_cast<long>(i) + static_cast<long>(shift);  // the kernel's lag at r[i]
      const double expected = lag <= 2 ? kernel_values[static_cast<size_t>(lag + 2)] : 0.0;
      EXPECT_NEAR(got[i], expected, 1e-5) << "shift " << shift << " at " << i;
    }
    for (AP4_ARRAY* a : {array, kernel, result}) destroy(a);
  }

  EXPECT_EQ(array_class().live, 0);
}

// The first n points of the inverse DFT of K / D over `length` points, K
// the kernel laid out about lag 0 and D the row zero-padded.
std::vector<double> slow_quotient(const std::vector<float>& x, const std::vector<float>& k, size_t length, size_t n) {
  using Complex = std::complex<double>;
  const double pi = 3.141592653589793;
  const size_t h = (k.size() - 1) / 2;
  std::vector<double> padded(length, 0.0);
  std::vector<double> laid(length, 0.0);
  std::copy(x.begin(), x.end(), padded.begin());
  for (size_t j = 0; j < k.size(); ++j) laid[(j + length - h) % length] = k[j];
  std::vector<Complex> quotient(length);
  for (size_t f = 0; f < length; ++f) {
    Complex kf = 0;
    Complex df = 0;
    for (size_t t = 0; t < length; ++t) {
      const Complex w = std::polar(1.0, -2 * pi * static_cast<double>((f * t) % length) / length);
      kf += laid[t] * w;
      df += padded[t] * w;
    }
    quotient[f] = kf / df;
  }
  std::vector<double> r(n);
  for (size_t t = 0; t < n; ++t) {
    Complex sum = 0;
    for (size_t f = 0; f < length; ++f)
      sum += quotient[f] * std::polar(1.0, 2 * pi * static_cast<double>((f * t) % length) / length);
    r[t] = sum.real() / length;
  }
  return r;
}

TEST_F(Convolution, DivisionMatchesTheQuotientOfTheSpectra) {
  // A row with a strong first point keeps every frequency well away from 0.
  std::vector<float> x = random_values(9, 11);
  x[0] = 4.0f;
  const std::vector<float> k = random_values(5, 12);
  AP4_ARRAY* array = row_of(x);
  AP4_ARRAY* kernel = row_of(k);
  AP4_ARRAY* result = convolve(array, kWhole, kernel, 1);
  ASSERT_NE(result, nullptr);
  const std::vector<double> expected = slow_quotient(x, k, 32, 9);
  const std::vector<float> got = values(result);
  ASSERT_EQ(got.size(), 9u);
  for (size_t i = 0; i < 9; ++i) EXPECT_NEAR(got[i], expected[i], 1e-5) << i;
  for (AP4_ARRAY* a : {array, kernel, result}) destroy(a);
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(Convolution, DivisionRefusesARowWithoutSomeFrequency) {
  struct Case {
    const char* what;
    std::vector<float> data;
  };
  const Case cases[] = {
      {"all zero", std::vector<float>(9, 0.0f)},
      {"sum zero", {1.0f, -1.0f, 0, 0, 0, 0, 0, 0, 0}},
      {"alternating sum zero", {1.0f, 1.0f, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* array = row_of(c.data);
    AP4_ARRAY* kernel = row_of({1.0f, 2.0f, 1.0f});
    EXPECT_EQ(convolve(array, kWhole, kernel, 1), nullptr) << c.what;
    AP4_ARRAY* product = convolve(array, kWhole, kernel, 0);
    EXPECT_NE(product, nullptr) << c.what;
    for (AP4_ARRAY* a : {array, kernel, product}) destroy(a);
  }
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(Convolution, RefusesKernelsModesAndLengthsItCannotTake) {
  AP4_ARRAY* array = row_of(random_values(10, 1));
  AP4_ARRAY* two_rows = make(2, 3);
  struct Case {
    const char* what;
    AP4_ARRAY* on;
    AP4_RANGE range;
    std::vector<float> kernel;
    uint16_t mode;
  };
  const Case cases[] = {
      {"even kernel", array, kWhole, {1.0f, 2.0f}, 0},
      {"kernel longer than the range", array, AP4_RANGE{{0, 0}, {0, 2}}, {1, 2, 3, 4, 5}, 0},
      {"unknown mode", array, kWhole, {1.0f}, 2},
      {"row of more than one row", two_rows, kWhole, {1.0f}, 0},
      {"padded length below the transform's", row_of({1, 2, 3, 4}), kWhole, {1.0f}, 0},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* kernel = row_of(c.kernel);
    EXPECT_EQ(convolve(c.on, c.range, kernel, c.mode), nullptr) << c.what;
    destroy(kernel);
  }
  AP4_ARRAY* square = make(3, 3);
  EXPECT_EQ(convolve(array, kWhole, square, 0), nullptr) << "kernel of three rows";
  EXPECT_EQ(convolve(array, kWhole, nullptr, 0), nullptr) << "no kernel";
  destroy(cases[4].on);
  for (AP4_ARRAY* a : {array, two_rows, square}) destroy(a);
  EXPECT_EQ(array_class().live, 0);
}

}  // namespace
