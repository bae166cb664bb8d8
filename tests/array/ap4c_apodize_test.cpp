// The apodization windows against their closed forms in the normalised
// distance x = (i - c) / (n - c), the specified values at the ends and the
// centre, and the refusals of a centre outside the vector.
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

using Kernel = std::function<void(float*, int32_t, int32_t)>;

double norton_beer(double x, double c0, double c1, double c2, double c4) {
  const double q = 1 - x * x;
  return c0 + c1 * q + c2 * q * q + c4 * q * q * q * q;
}

struct Window {
  const char* name;
  Kernel kernel;
  std::function<double(double)> weight;
};

void PrintTo(const Window& window, std::ostream* out) { *out << window.name; }

const std::vector<Window>& windows() {
  static const std::vector<Window> all = {
      {"Triangle", [](float* d, int32_t n, int32_t c) { ap4c_ApodizeTriangle(d, n, c); },
       [](double x) { return 1 - std::abs(x); }},
      {"NortonBeerWeak", [](float* d, int32_t n, int32_t c) { ap4c_ApodizeNortonBeerWeak(d, n, c); },
       [](double x) { return norton_beer(x, 0.384093, -0.087577, 0.703484, 0); }},
      {"NortonBeerMedium", [](float* d, int32_t n, int32_t c) { ap4c_ApodizeNortonBeerMedium(d, n, c); },
       [](double x) { return norton_beer(x, 0.152442, -0.136176, 0.983734, 0); }},
      {"NortonBeerStrong", [](float* d, int32_t n, int32_t c) { ap4c_ApodizeNortonBeerStrong(d, n, c); },
       [](double x) { return norton_beer(x, 0.045335, 0, 0.554883, 0.399782); }},
      {"Cosine", ap4c_ApodizeCosine, [](double x) { return std::cos(kPi / 2 * x); }},
      {"BlackmanHarris", ap4c_ApodizeBlackmanHarris,
       [](double x) {
         return 0.35875 + 0.48829 * std::cos(kPi * x) + 0.14128 * std::cos(2 * kPi * x) +
                0.01168 * std::cos(3 * kPi * x);
       }},
      {"Hamming", ap4c_ApodizeHamming, [](double x) { return 0.54 + 0.46 * std::cos(kPi * x); }},
  };
  return all;
}

std::vector<float> weights_of(const Window& window, int32_t n, int32_t c) {
  std::vector<float> data(n, 1.0f);
  window.kernel(data.data(), n, c);
  return data;
}

class Apodization : public testing::TestWithParam<Window> {};

// The centre at the start, in the middle, past the middle (the left side
// then reaches beyond x = -1) and at the last point.
TEST_P(Apodization, WeightsFollowTheClosedFormAroundEveryCentre) {
  const Window& window = GetParam();
  struct Placement {
    int32_t n, c;
  };
  for (const Placement p : {Placement{8, 0}, Placement{8, 4}, Placement{9, 3}, Placement{8, 6}, Placement{7, 6},
                            Placement{64, 20}, Placement{1, 0}}) {
    const std::vector<float> data = weights_of(window, p.n, p.c);
    for (int32_t i = 0; i < p.n; ++i) {
      const double x = static_cast<double>(i - p.c) / (p.n - p.c);
      // Far left of a late centre the polynomials reach hundreds: the error is relative.
      const double expected = window.weight(x);
      EXPECT_NEAR(data[i], expected, 1e-6 * (p.n + 1) * std::max(1.0, std::abs(expected)))
          << "n " << p.n << " c " << p.c << " i " << i;
    }
    EXPECT_NEAR(data[p.c], 1.0, 1e-6 * (p.n + 1)) << "n " << p.n << " c " << p.c;
  }
}

TEST_P(Apodization, LeavesTheDataAloneForACentreOutsideTheVectorOrNoData) {
  const Window& window = GetParam();
  for (const int32_t c : {8, 9, -1, 1000000}) {
    std::vector<float> data(8, 3.0f);
    window.kernel(data.data(), 8, c);
    EXPECT_EQ(data, std::vector<float>(8, 3.0f)) << "c " << c;
  }
  window.kernel(nullptr, 8, 2);
}

INSTANTIATE_TEST_SUITE_P(Windows, Apodization, testing::ValuesIn(windows()),
                         [](const testing::TestParamInfo<Window>& info) { return std::string(info.param.name); });

TEST(ApodizationValues, TriangleAndCosineFromACentreAtTheStart) {
  const std::vector<float> triangle = weights_of(windows()[0], 8, 0);
  EXPECT_EQ(triangle, (std::vector<float>{1, 0.875f, 0.75f, 0.625f, 0.5f, 0.375f, 0.25f, 0.125f}));
  const std::vector<float> cosine = weights_of(windows()[4], 8, 0);
  EXPECT_NEAR(cosine[7], std::cos(7 * kPi / 16), 1e-7);
}

TEST(ApodizationValues, FarEndOfAMiddleCentreIsAtXMinusOne) {
  EXPECT_NEAR(weights_of(windows()[0], 8, 4)[0], 0.0, 1e-7);
  EXPECT_NEAR(weights_of(windows()[6], 8, 4)[0], 0.08, 1e-7);
  EXPECT_NEAR(weights_of(windows()[5], 8, 4)[0], 0.00006, 1e-7);
}

TEST(ApodizationValues, WeightsMultiplyTheData) {
  std::vector<float> data = {2, -4, 6, 8};
  ap4c_ApodizeTriangle(data.data(), 4, 0);
  EXPECT_EQ(data, (std::vector<float>{2, -3, 3, 2}));
}

TEST(SingleSidedRamp, RisesOverTwiceTheRampLengthThenDoubles) {
  std::vector<float> data(6, 1.0f);
  ap4c_RampSingleSided(data.data(), 6, 2);
  EXPECT_EQ(data, (std::vector<float>{0, 0.5f, 1, 1.5f, 2, 2}));
  std::vector<float> scaled = {4, 4, 4};
  ap4c_RampSingleSided(scaled.data(), 3, 1);
  EXPECT_EQ(scaled, (std::vector<float>{0, 4, 8}));
}

TEST(SingleSidedRamp, ZeroRampLengthOrNoDataChangesNothing) {
  std::vector<float> data(4, 3.0f);
  ap4c_RampSingleSided(data.data(), 4, 0);
  EXPECT_EQ(data, std::vector<float>(4, 3.0f));
  ap4c_RampSingleSided(nullptr, 4, 2);
}

}  // namespace
