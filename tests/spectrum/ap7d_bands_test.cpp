// Band shapes, their areas and derivatives, and the peak cache. Profiles
// are checked against their textbook forms written here (Gaussian by its
// standard deviation, Lorentzian by its half width), Voigt profiles against
// scipy's (band_references.h, made by make_band_references.py), areas
// against their integrals and derivatives against differences of the
// profiles taken in the test.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/band_references.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;
using band_reference::kCentre;
using band_reference::kFirstX;
using band_reference::kLastX;
using band_reference::kPoints;

const double kLn2 = std::log(2.0);
const double kPi = std::acos(-1.0);

// Textbook forms, 1 at the centre, of full width w at half height.
double gaussian(double x, double x0, double w) {
  const double sigma = w / (2.0 * std::sqrt(2.0 * kLn2));
  return std::exp(-(x - x0) * (x - x0) / (2.0 * sigma * sigma));
}

double lorentzian(double x, double x0, double w) {
  const double gamma = w / 2.0;
  return gamma * gamma / ((x - x0) * (x - x0) + gamma * gamma);
}

double pearson_vii(double x, double x0, double w, double m) {
  const double s = (x - x0) / (w / 2.0);
  return std::pow(1.0 + s * s * (std::pow(2.0, 1.0 / m) - 1.0), -m);
}

class Bands : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    before_ = live_counts();
  }
  void TearDown() override {
    EXPECT_EQ(live_counts(), before_);
    SpectrumTest::TearDown();
  }

  static uint32_t synth(AP7_SPECTRUM* spectrum, uint16_t shape, float h, float x0, float w, float p2 = 0.0f,
                        float p3 = 0.0f, int16_t clear = 1, const float* x = nullptr) {
    AP7_BANDPARM parameter{x, shape, h, x0, w, p2, p3, clear};
    return send(AP7_MSG_SYNTHESIZE_BAND, spectrum, &parameter);
  }

  static uint32_t area(AP7_SPECTRUM* spectrum, float* out, uint16_t shape, float h, float centre, float w,
                       float p2 = 0.0f, float p3 = 0.0f) {
    AP7_BANDAREAPARM parameter{out, shape, h, centre, w, p2, p3};
    return send(AP7_MSG_BAND_SHAPE_AREA, spectrum, &parameter);
  }

  // The axis of the references: 101 points at X 0, 1, ..., 100.
  static AP7_SPECTRUM* even(float fill = 0.0f) {
    return make_axis(kFirstX, kLastX, std::vector<float>(kPoints, fill));
  }

  std::map<uint16_t, uint16_t> before_;
};

// Values within tolerance of h × profile where the profile reaches the walk's
// cut-off, and 0 beyond it.
void expect_profile(const std::vector<float>& y, double h, const std::function<double(double)>& profile,
                    double tolerance) {
  for (size_t i = 0; i < y.size(); ++i) {
    const double v = profile(static_cast<double>(i));
    const double expected = v >= 1e-8 ? h * v : 0.0;
    EXPECT_NEAR(y[i], expected, tolerance) << "point " << i;
  }
}

struct ProfileCase {
  const char* name;
  uint16_t shape;
  float w;
  float p2;
  float p3;
  std::function<double(double)> profile;
};

class Profiles : public Bands, public testing::WithParamInterface<ProfileCase> {};

TEST_P(Profiles, FollowTheirClosedForms) {
  const ProfileCase& c = GetParam();
  AP7_SPECTRUM* spectrum = even(7.0f);
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  EXPECT_EQ(synth(spectrum, c.shape, 2.5f, kCentre, c.w, c.p2, c.p3), 1u);
  expect_profile(values(spectrum), 2.5, c.profile, 2e-6);
  EXPECT_EQ(counter.changes, 1);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Profiles,
    testing::Values(
        ProfileCase{"gaussian", AP7_SHAPE_GAUSSIAN, 9.0f, 0.0f, 0.0f,
                    [](double x) { return gaussian(x, kCentre, 9.0); }},
        ProfileCase{"lorentzian", AP7_SHAPE_LORENTZIAN, 5.0f, 0.0f, 0.0f,
                    [](double x) { return lorentzian(x, kCentre, 5.0); }},
        // Lorentzian of width p2 with share 1 - p3, Gaussian of width w with share p3.
        ProfileCase{"pseudo_voigt", AP7_SHAPE_PSEUDO_VOIGT, 9.0f, 5.0f, 0.3f,
                    [](double x) { return 0.7 * lorentzian(x, kCentre, 5.0) + 0.3 * gaussian(x, kCentre, 9.0); }},
        ProfileCase{"pearson_vii", AP7_SHAPE_PEARSON_VII, 7.0f, 2.5f, 0.0f,
                    [](double x) { return pearson_vii(x, kCentre, 7.0, 2.5); }},
        // Exponent 1 is the Lorentzian.
        ProfileCase{"pearson_vii_lorentzian", AP7_SHAPE_PEARSON_VII, 5.0f, 1.0f, 0.0f,
                    [](double x) { return lorentzian(x, kCentre, 5.0); }},
        // Pure profiles of the convolution: on every point, no cut-off.
        ProfileCase{"voigt_gaussian_only", AP7_SHAPE_VOIGT, 9.0f, 0.0f, 0.0f,
                    [](double x) { return gaussian(x, kCentre, 9.0); }},
        ProfileCase{"voigt_lorentzian_only", AP7_SHAPE_VOIGT, 0.0f, 5.0f, 0.0f,
                    [](double x) { return lorentzian(x, kCentre, 5.0); }}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return info.param.name; });

TEST_F(Bands, AWalkingProfileAddsToTheValuesThere) {
  AP7_SPECTRUM* spectrum = even(1.0f);
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_GAUSSIAN, 2.0f, 50.0f, 4.0f, 0.0f, 0.0f, 0), 1u);
  const std::vector<float> y = values(spectrum);
  EXPECT_FLOAT_EQ(y[50], 3.0f);
  EXPECT_FLOAT_EQ(y[48], 2.0f);  // half height at x0 ± w/2
  EXPECT_FLOAT_EQ(y[0], 1.0f);
  destroy(spectrum);
}

TEST_F(Bands, TheConvolutionMatchesScipysVoigtProfile) {
  for (const band_reference::VoigtCase& c : band_reference::voigt_cases) {
    AP7_SPECTRUM* spectrum = even();
    EXPECT_EQ(synth(spectrum, AP7_SHAPE_VOIGT, 1.0f, kCentre, c.gaussian_width, c.lorentzian_width), 1u);
    const std::vector<float> y = values(spectrum);
    for (uint32_t i = 0; i < kPoints; ++i) EXPECT_NEAR(y[i], c.values[i], 2e-6) << c.gaussian_width << " " << i;
    destroy(spectrum);
  }
}

// The four-term approximation is good to about 1.5e-3 of the peak.
TEST_F(Bands, TheApproximationMatchesScipysVoigtProfileOnEitherAxis) {
  for (const band_reference::VoigtCase& c : band_reference::voigt_cases) {
    AP7_SPECTRUM* spectrum = even();
    EXPECT_EQ(synth(spectrum, AP7_SHAPE_VOIGT_APPROX, 2.0f, kCentre, c.gaussian_width, c.lorentzian_width), 1u);
    const std::vector<float> y = values(spectrum);
    for (uint32_t i = 0; i < kPoints; ++i) EXPECT_NEAR(y[i], 2.0 * c.values[i], 4e-3) << c.gaussian_width << " " << i;
    destroy(spectrum);
  }
  const band_reference::VoigtCase& c = band_reference::voigt_cases[0];
  AP7_SPECTRUM* spectrum = even();
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_VOIGT_APPROX, 1.0f, kCentre, c.gaussian_width, c.lorentzian_width, 0.0f, 1,
                  band_reference::uneven_x),
            1u);
  const std::vector<float> y = values(spectrum);
  for (uint32_t i = 0; i < kPoints; ++i) EXPECT_NEAR(y[i], band_reference::voigt_uneven[i], 2e-3) << i;
  destroy(spectrum);
}

TEST_F(Bands, ZeroWidthsOfTheConvolutionChangeNothing) {
  AP7_SPECTRUM* spectrum = even(3.0f);
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_VOIGT, 1.0f, kCentre, 0.0f, 0.0f, 0.0f, 0), 1u);
  EXPECT_EQ(values(spectrum), std::vector<float>(kPoints, 3.0f));
  destroy(spectrum);
}

TEST_F(Bands, ACentreLeftOfTheDataStartsBothWalksAtTheFirstPoint) {
  AP7_SPECTRUM* spectrum = even();
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_GAUSSIAN, 1.0f, -3.0f, 6.0f), 1u);
  expect_profile(values(spectrum), 1.0, [](double x) { return gaussian(x, -3.0, 6.0); }, 1e-6);
  EXPECT_GT(values(spectrum)[0], 0.0f);
  destroy(spectrum);
}

// Half the width to either side of the centre, on an axis running up or
// down.
TEST_F(Bands, RectanglesAndBlanksSpanTheirWidthWhicheverWayTheAxisRuns) {
  for (const auto& [first, last] : {std::pair{0.0f, 10.0f}, std::pair{10.0f, 0.0f}}) {
    AP7_SPECTRUM* spectrum = make_axis(first, last, std::vector<float>(11, 1.0f));
    EXPECT_EQ(synth(spectrum, AP7_SHAPE_RECTANGLE, 2.0f, 4.0f, 4.0f, 0.0f, 0.0f, 0), 1u);
    std::vector<float> y = values(spectrum);
    for (int i = 0; i <= 10; ++i) {
      const double x = first + (last - first) * i / 10.0;
      EXPECT_EQ(y[i], std::fabs(x - 4.0) <= 2.0 ? 3.0f : 1.0f) << first << " " << i;
    }
    EXPECT_EQ(synth(spectrum, AP7_SHAPE_BLANK, 0.0f, 7.0f, 2.0f, 0.0f, 0.0f, 0), 1u);
    y = values(spectrum);
    for (int i = 0; i <= 10; ++i) {
      const double x = first + (last - first) * i / 10.0;
      EXPECT_EQ(std::isnan(y[i]), std::fabs(x - 7.0) <= 1.0) << first << " " << i;
    }
    destroy(spectrum);
  }
}

TEST_F(Bands, BaselinesAreLevelOrRunFromWidthToSecond) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1, 1, 1, 1, 1});
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_BASELINE, 99.0f, 0.0f, 2.0f, 2.0f, 0.0f, 0), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3, 3, 3, 3, 3}));
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_BASELINE, 99.0f, 0.0f, 1.0f, 3.0f), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1.0f, 1.5f, 2.0f, 2.5f, 3.0f}));
  destroy(spectrum);
}

TEST_F(Bands, ShapeZeroClearsEvenWithoutTheClearFlag) {
  AP7_SPECTRUM* spectrum = even(5.0f);
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_CLEAR, 1.0f, kCentre, 1.0f, 0.0f, 0.0f, 0), 1u);
  EXPECT_EQ(values(spectrum), std::vector<float>(kPoints, 0.0f));
  destroy(spectrum);
}

// Noise: sums of ten uniform draws less 5, scaled to an rms of h; each sum
// lies within ±5 of its mean.
TEST_F(Bands, NoiseHasTheRmsOfTheHeight) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 1.0f, std::vector<float>(2000, 0.0f));
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_NOISE, 0.5f, 0.0f, 0.0f), 1u);
  const std::vector<float> y = values(spectrum);
  double squares = 0.0;
  double sum = 0.0;
  for (float v : y) {
    squares += double{v} * v;
    sum += v;
  }
  EXPECT_NEAR(std::sqrt(squares / y.size()), 0.5, 1e-5);
  // The sum of ten draws has a standard deviation of sqrt(10/12).
  const double scale = 0.5 / std::sqrt(10.0 / 12.0);
  EXPECT_NEAR(sum / y.size(), 0.0, 4.0 * 0.5 / std::sqrt(2000.0));
  for (float v : y) EXPECT_LE(std::fabs(v), 5.0 * scale * 1.2);
  EXPECT_NE(y[0], y[1]);
  destroy(spectrum);
}

// The log-normal distribution of mean x0 and standard deviation w over
// x - p2, scaled to its largest point.
TEST_F(Bands, TheLogNormalDistributionHasTheMeanAndSpreadAsked) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 400.0f, std::vector<float>(4001, 0.0f));
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_LOG_NORMAL, 3.0f, 120.0f, 30.0f, 50.0f), 1u);
  const std::vector<float> y = values(spectrum);
  double weight = 0.0;
  double first_moment = 0.0;
  for (size_t i = 0; i < y.size(); ++i) {
    weight += y[i];
    first_moment += y[i] * (i / 10.0);
  }
  const double mean = first_moment / weight;
  double second_moment = 0.0;
  for (size_t i = 0; i < y.size(); ++i) second_moment += y[i] * (i / 10.0 - mean) * (i / 10.0 - mean);
  EXPECT_NEAR(mean, 170.0, 0.01);
  EXPECT_NEAR(std::sqrt(second_moment / weight), 30.0, 0.01);
  EXPECT_NEAR(*std::max_element(y.begin(), y.end()), 3.0f, 1e-6);
  EXPECT_EQ(y[500], 0.0f);  // at and below the origin
  destroy(spectrum);
}

// Full width w at half height: w·ρ/(ρ + 1) above the centre and w/(ρ + 1)
// below it; an asymmetry about 1 is taken as 1.01.
TEST_F(Bands, TheLogNormalBandIsHalfHighAtItsTwoSides) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 100.0f, std::vector<float>(201, 0.0f));
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_LOG_NORMAL_BAND, 4.0f, 50.0f, 30.0f, 2.0f), 1u);
  std::vector<float> y = values(spectrum);
  EXPECT_FLOAT_EQ(y[100], 4.0f);  // x 50
  EXPECT_FLOAT_EQ(y[140], 2.0f);  // x 70
  EXPECT_FLOAT_EQ(y[80], 2.0f);   // x 40
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_LOG_NORMAL_BAND, 4.0f, 50.0f, 30.0f, 1.01f), 1u);
  y = values(spectrum);
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_LOG_NORMAL_BAND, 4.0f, 50.0f, 30.0f, 1.0f), 1u);
  EXPECT_EQ(values(spectrum), y);
  destroy(spectrum);
}

TEST_F(Bands, BasisVectorsAreOrthonormal) {
  const uint32_t n = 9;
  std::vector<std::vector<float>> basis;
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 8.0f, std::vector<float>(n, 0.0f));
  for (uint16_t shape = AP7_SHAPE_BASIS_CONSTANT; shape <= AP7_SHAPE_BASIS_CUBIC; ++shape) {
    EXPECT_EQ(synth(spectrum, shape, 0.0f, 0.0f, 0.0f), 1u);
    basis.push_back(values(spectrum));
  }
  for (size_t a = 0; a < basis.size(); ++a) {
    for (size_t b = 0; b < basis.size(); ++b) {
      const double dot = std::inner_product(basis[a].begin(), basis[a].end(), basis[b].begin(), 0.0);
      EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-6) << a << " " << b;
    }
  }
  // Degree k is a polynomial of degree k: its (k+1)-th differences vanish.
  EXPECT_NEAR(basis[1][1] - basis[1][0], basis[1][8] - basis[1][7], 1e-6);
  EXPECT_NEAR(basis[0][0], 1.0 / 3.0, 1e-7);
  destroy(spectrum);
}

TEST_F(Bands, BasisVectorsNeedMorePointsThanTheirDegree) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 2.0f, {4, 5, 6});
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_BASIS_CUBIC, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{4, 5, 6}));
  destroy(spectrum);
}

// A fine axis, so that differences of the profile along it stand for its
// derivatives.
class Derivatives : public Bands {
 protected:
  static constexpr uint32_t kFinePoints = 2001;  // X 0, 0.05, ..., 100
  static AP7_SPECTRUM* fine() { return make_axis(0.0f, 100.0f, std::vector<float>(kFinePoints, 0.0f)); }
  static double x_at(size_t i) { return i / 20.0; }
};

struct DerivativeCase {
  const char* name;
  uint16_t shape;
  float w;
  float p2;
  float p3;
  // The derivative, worked by difference of the textbook profile.
  std::function<double(double)> expected;
  double tolerance;
};

class ByParameter : public Derivatives, public testing::WithParamInterface<DerivativeCase> {};

double by_centre(const std::function<double(double, double)>& f, double x, double x0) {
  const double h = 1e-5;
  return (f(x, x0 + h) - f(x, x0 - h)) / (2 * h);
}

TEST_P(ByParameter, IsTheProfilesDerivative) {
  const DerivativeCase& c = GetParam();
  AP7_SPECTRUM* spectrum = fine();
  EXPECT_EQ(synth(spectrum, c.shape, 1.5f, 40.0f, c.w, c.p2, c.p3), 1u);
  const std::vector<float> y = values(spectrum);
  double largest = 0.0;
  for (size_t i = 0; i < y.size(); ++i) {
    const double expected = 1.5 * c.expected(x_at(i));
    largest = std::max(largest, std::fabs(expected));
    EXPECT_NEAR(y[i], expected, c.tolerance) << "point " << i;
  }
  EXPECT_GT(largest, 0.05);
  destroy(spectrum);
}

const auto kGaussian = [](double x, double x0) { return gaussian(x, x0, 8.0); };
const auto kLorentzian = [](double x, double x0) { return lorentzian(x, x0, 8.0); };
double gaussian_by_width(double x) { return (gaussian(x, 40.0, 8.0 + 1e-5) - gaussian(x, 40.0, 8.0 - 1e-5)) / 2e-5; }
double lorentzian_by_width(double x) {
  return (lorentzian(x, 40.0, 8.0 + 1e-5) - lorentzian(x, 40.0, 8.0 - 1e-5)) / 2e-5;
}
double pseudo_voigt(double x, double x0, double w, double p2, double p3) {
  return (1.0 - p3) * lorentzian(x, x0, p2) + p3 * gaussian(x, x0, w);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ByParameter,
    testing::Values(
        DerivativeCase{"gaussian_by_centre", AP7_SHAPE_GAUSSIAN_BY_CENTRE, 8.0f, 0.0f, 0.0f,
                       [](double x) { return by_centre(kGaussian, x, 40.0); }, 1e-5},
        DerivativeCase{"gaussian_by_width", AP7_SHAPE_GAUSSIAN_BY_WIDTH, 8.0f, 0.0f, 0.0f, gaussian_by_width, 1e-5},
        DerivativeCase{"gaussian_step_centre", AP7_SHAPE_GAUSSIAN_STEP_CENTRE, 8.0f, 0.0f, 0.0f,
                       [](double x) { return by_centre(kGaussian, x, 40.0); }, 1e-4},
        DerivativeCase{"gaussian_step_width", AP7_SHAPE_GAUSSIAN_STEP_WIDTH, 8.0f, 0.0f, 0.0f, gaussian_by_width,
                       1e-4},
        DerivativeCase{"lorentzian_by_centre", AP7_SHAPE_LORENTZIAN_BY_CENTRE, 8.0f, 0.0f, 0.0f,
                       [](double x) { return by_centre(kLorentzian, x, 40.0); }, 1e-5},
        DerivativeCase{"lorentzian_by_width", AP7_SHAPE_LORENTZIAN_BY_WIDTH, 8.0f, 0.0f, 0.0f, lorentzian_by_width,
                       1e-5},
        DerivativeCase{"lorentzian_step_centre", AP7_SHAPE_LORENTZIAN_STEP_CENTRE, 8.0f, 0.0f, 0.0f,
                       [](double x) { return by_centre(kLorentzian, x, 40.0); }, 1e-4},
        DerivativeCase{"lorentzian_step_width", AP7_SHAPE_LORENTZIAN_STEP_WIDTH, 8.0f, 0.0f, 0.0f,
                       lorentzian_by_width, 1e-4},
        // Central differences over the whole spectrum, in single precision.
        DerivativeCase{"pseudo_voigt_by_centre", AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE, 8.0f, 6.0f, 0.4f,
                       [](double x) {
                         return by_centre([](double at, double x0) { return pseudo_voigt(at, x0, 8.0, 6.0, 0.4); }, x,
                                          40.0);
                       },
                       2e-3},
        DerivativeCase{"pseudo_voigt_by_widths", AP7_SHAPE_PSEUDO_VOIGT_BY_WIDTHS_2, 8.0f, 8.0f, 0.4f,
                       [](double x) {
                         return (pseudo_voigt(x, 40.0, 8.0 + 1e-5, 8.0 + 1e-5, 0.4) -
                                 pseudo_voigt(x, 40.0, 8.0 - 1e-5, 8.0 - 1e-5, 0.4)) /
                                2e-5;
                       },
                       2e-3},
        DerivativeCase{"pseudo_voigt_by_share", AP7_SHAPE_PSEUDO_VOIGT_BY_SHARE, 8.0f, 6.0f, 0.4f,
                       [](double x) { return gaussian(x, 40.0, 8.0) - lorentzian(x, 40.0, 6.0); }, 2e-3}),
    [](const testing::TestParamInfo<DerivativeCase>& info) { return info.param.name; });

TEST_F(Derivatives, BothCodesOfADifferenceGiveTheSameColumn) {
  const std::pair<uint16_t, uint16_t> pairs[] = {
      {AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE, AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE_2},
      {AP7_SHAPE_VOIGT_APPROX_BY_WIDTH, AP7_SHAPE_VOIGT_APPROX_BY_WIDTH_2},
      {AP7_SHAPE_LOG_NORMAL_BAND_BY_ASYMMETRY, AP7_SHAPE_LOG_NORMAL_BAND_BY_ASYMMETRY_2}};
  AP7_SPECTRUM* a = fine();
  AP7_SPECTRUM* b = fine();
  for (const auto& [one, two] : pairs) {
    EXPECT_EQ(synth(a, one, 1.0f, 40.0f, 8.0f, 3.0f, 0.5f), 1u) << one;
    EXPECT_EQ(synth(b, two, 1.0f, 40.0f, 8.0f, 3.0f, 0.5f), 1u) << two;
    EXPECT_EQ(values(a), values(b)) << one;
  }
  destroy(a);
  destroy(b);
}

// Moving the centre of a profile is moving the axis the other way: the
// column of d/dx0 is minus the slope of the profile along X.
TEST_F(Derivatives, TheApproximationsCentreDerivativeIsMinusItsSlope) {
  AP7_SPECTRUM* profile = fine();
  AP7_SPECTRUM* column = fine();
  EXPECT_EQ(synth(profile, AP7_SHAPE_VOIGT_APPROX, 1.0f, 40.0f, 8.0f, 3.0f), 1u);
  EXPECT_EQ(synth(column, AP7_SHAPE_VOIGT_APPROX_BY_CENTRE, 1.0f, 40.0f, 8.0f, 3.0f), 1u);
  const std::vector<float> y = values(profile);
  const std::vector<float> d = values(column);
  for (size_t i = 1; i + 1 < y.size(); ++i) EXPECT_NEAR(d[i], -(y[i + 1] - y[i - 1]) / 0.1, 3e-3) << i;
  destroy(profile);
  destroy(column);
}

struct RefusedCase {
  const char* name;
  uint16_t shape;
  float x0;
  float w;
  float p2;
};

class Refused : public Bands, public testing::WithParamInterface<RefusedCase> {};

// A refused request leaves Y as the clearing left it: cleared with the
// flag, untouched without it.
TEST_P(Refused, LeavesYAsTheClearingLeftIt) {
  const RefusedCase& c = GetParam();
  AP7_SPECTRUM* spectrum = even(2.0f);
  EXPECT_EQ(synth(spectrum, c.shape, 1.0f, c.x0, c.w, c.p2, 0.0f, 0), 0u);
  EXPECT_EQ(values(spectrum), std::vector<float>(kPoints, 2.0f));
  EXPECT_EQ(synth(spectrum, c.shape, 1.0f, c.x0, c.w, c.p2, 0.0f, 1), 0u);
  EXPECT_EQ(values(spectrum), std::vector<float>(kPoints, 0.0f));
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Refused,
    testing::Values(RefusedCase{"unknown_shape", 13, 40.0f, 5.0f, 1.0f},
                    RefusedCase{"unknown_derivative", 116, 40.0f, 5.0f, 1.0f},
                    RefusedCase{"rectangle_without_width", AP7_SHAPE_RECTANGLE, 40.0f, 0.0f, 0.0f},
                    RefusedCase{"gaussian_without_width", AP7_SHAPE_GAUSSIAN, 40.0f, 0.0f, 0.0f},
                    RefusedCase{"gaussian_missing_centre", AP7_SHAPE_GAUSSIAN, NAN, 5.0f, 0.0f},
                    RefusedCase{"lorentzian_negative_width", AP7_SHAPE_LORENTZIAN, 40.0f, -1.0f, 0.0f},
                    RefusedCase{"pseudo_voigt_without_second", AP7_SHAPE_PSEUDO_VOIGT, 40.0f, 5.0f, 0.0f},
                    RefusedCase{"pearson_exponent_below_one", AP7_SHAPE_PEARSON_VII, 40.0f, 5.0f, 0.5f},
                    RefusedCase{"voigt_negative_width", AP7_SHAPE_VOIGT, 40.0f, -1.0f, 1.0f},
                    RefusedCase{"log_normal_centre_zero", AP7_SHAPE_LOG_NORMAL, 0.0f, 5.0f, 0.0f},
                    RefusedCase{"log_normal_band_without_width", AP7_SHAPE_LOG_NORMAL_BAND, 40.0f, 0.0f, 2.0f},
                    RefusedCase{"approximation_without_width", AP7_SHAPE_VOIGT_APPROX, 40.0f, 0.0f, 2.0f},
                    RefusedCase{"approximation_without_second", AP7_SHAPE_VOIGT_APPROX, 40.0f, 4.0f, 0.0f},
                    RefusedCase{"derivative_without_width", AP7_SHAPE_GAUSSIAN_BY_CENTRE, 40.0f, 0.0f, 0.0f},
                    // A width step wider than the width leaves no lower profile.
                    RefusedCase{"width_step_beyond_the_width", AP7_SHAPE_LORENTZIAN_STEP_WIDTH, 40.0f, 0.1f, 0.0f},
                    // Moving the widths together needs equal widths.
                    RefusedCase{"unequal_widths_moved_together", AP7_SHAPE_PSEUDO_VOIGT_BY_WIDTHS, 40.0f, 5.0f, 4.0f},
                    RefusedCase{"log_normal_band_centre_below_zero", AP7_SHAPE_LOG_NORMAL_BAND_BY_WIDTH, -1.0f, 5.0f,
                                2.0f}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

// Steps of an eighth of the spacing need a spacing: an axis whose ends
// coincide has none.
TEST_F(Bands, StepDerivativesNeedAnAxisWithASpacing) {
  AP7_SPECTRUM* spectrum = make_axis(5.0f, 5.0f, std::vector<float>(11, 1.0f));
  for (uint16_t shape : {AP7_SHAPE_GAUSSIAN_STEP_CENTRE, AP7_SHAPE_LORENTZIAN_STEP_WIDTH,
                         AP7_SHAPE_PSEUDO_VOIGT_BY_CENTRE, AP7_SHAPE_VOIGT_APPROX_BY_SECOND,
                         AP7_SHAPE_LOG_NORMAL_BAND_BY_CENTRE})
    EXPECT_EQ(synth(spectrum, shape, 1.0f, 5.0f, 2.0f, 2.0f, 0.5f), 0u) << shape;
  // Derivatives that need no step still answer.
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_GAUSSIAN_BY_CENTRE, 1.0f, 5.0f, 2.0f), 1u);
  destroy(spectrum);
}

TEST_F(Bands, AnUnreadableXArrayOrObjectIsRefused) {
  AP7_SPECTRUM* spectrum = even(2.0f);
  EXPECT_EQ(synth(spectrum, AP7_SHAPE_GAUSSIAN, 1.0f, 40.0f, 5.0f, 0.0f, 0.0f, 1, reinterpret_cast<const float*>(8)),
            0u);
  EXPECT_EQ(values(spectrum), std::vector<float>(kPoints, 2.0f));
  EXPECT_EQ(send(AP7_MSG_SYNTHESIZE_BAND, spectrum, nullptr), 0u);
  EXPECT_EQ(ap7d_SynthesizeBand(nullptr, nullptr, AP7_SHAPE_CLEAR, 0, 0, 0, 0, 0, 1), 0u);
  destroy(spectrum);
}

// ---------------------------------------------------------------------------
// Areas

TEST_F(Bands, AreasMatchTheIntegralsOfTheirProfiles) {
  // The band is centred on the middle of X 0..100, whatever centre is given.
  AP7_SPECTRUM* spectrum = even();
  float result = 0.0f;
  EXPECT_EQ(area(spectrum, &result, AP7_SHAPE_GAUSSIAN, 2.0f, -999.0f, 6.0f), 1u);
  EXPECT_NEAR(result, 2.0 * 6.0 * std::sqrt(kPi / (4.0 * kLn2)), 1e-4);
  // Over 0..100 the Lorentzian loses its tails beyond ±50.
  EXPECT_EQ(area(spectrum, &result, AP7_SHAPE_LORENTZIAN, 1.0f, 0.0f, 4.0f), 1u);
  EXPECT_NEAR(result, 4.0 / 2.0 * 2.0 * std::atan(2.0 * 50.0 / 4.0), 2e-2);
  // Eleven points of height 3 (X 45 to 55): ten whole intervals and a
  // half one at each side.
  EXPECT_EQ(area(spectrum, &result, AP7_SHAPE_RECTANGLE, 3.0f, 0.0f, 10.0f), 1u);
  EXPECT_FLOAT_EQ(result, 33.0f);
  // The spectrum itself is not touched.
  EXPECT_EQ(values(spectrum), std::vector<float>(kPoints, 0.0f));
  destroy(spectrum);
}

TEST_F(Bands, AnAxisRunningDownGivesANegativeArea) {
  AP7_SPECTRUM* spectrum = make_axis(100.0f, 0.0f, std::vector<float>(kPoints, 0.0f));
  float result = 0.0f;
  EXPECT_EQ(area(spectrum, &result, AP7_SHAPE_GAUSSIAN, 1.0f, 0.0f, 6.0f), 1u);
  EXPECT_NEAR(result, -6.0 * std::sqrt(kPi / (4.0 * kLn2)), 1e-4);
  destroy(spectrum);
}

TEST_F(Bands, ARefusedBandHasAMissingArea) {
  AP7_SPECTRUM* spectrum = even();
  for (const auto& [shape, w, p2] : {std::tuple{AP7_SHAPE_GAUSSIAN, 0.0f, 0.0f},
                                     std::tuple{AP7_SHAPE_VOIGT_APPROX, 0.0f, 3.0f},
                                     std::tuple{AP7_SHAPE_VOIGT_APPROX, 3.0f, 0.0f}}) {
    float result = 0.0f;
    EXPECT_EQ(area(spectrum, &result, shape, 1.0f, 0.0f, w, p2), 0u) << shape;
    EXPECT_TRUE(std::isnan(result)) << shape;
  }
  EXPECT_EQ(area(spectrum, nullptr, AP7_SHAPE_GAUSSIAN, 1.0f, 0.0f, 3.0f), 0u);
  destroy(spectrum);
}

// ---------------------------------------------------------------------------
// The peak cache

class PeakCache : public Bands {
 protected:
  void TearDown() override {
    AP7D_InitPeakCache(0, 0);
    Bands::TearDown();
  }

  static AP7D_PEAKKEY gaussian_key(float h, float x0, float w, uint32_t points = kPoints, float last_x = kLastX) {
    return AP7D_PEAKKEY{AP7_SHAPE_GAUSSIAN, h, x0, w, 0.0f, 0.0f, points, kFirstX, last_x, nullptr};
  }
};

TEST_F(PeakCache, IsEmptyUntilMade) {
  std::vector<float> y(kPoints, 0.0f);
  const std::vector<float> added(5, 1.0f);
  ap7d_PeakCacheStore(gaussian_key(1.0f, 40.0f, 3.0f), added.data(), 10, 15);
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 40.0f, 3.0f), y.data()));
  EXPECT_EQ(y, std::vector<float>(kPoints, 0.0f));
}

// A profile added from the cache is the one computed: the values it
// added, not the values it left, so that it may land on other data.
TEST_F(PeakCache, AddsWhatTheProfileAddedWhateverTheDataHeld) {
  ASSERT_EQ(AP7D_InitPeakCache(4, 64), 1);
  AP7_SPECTRUM* computed = even(1.0f);
  EXPECT_EQ(synth(computed, AP7_SHAPE_GAUSSIAN, 2.0f, kCentre, 6.0f, 0.0f, 0.0f, 0), 1u);
  AP7_SPECTRUM* from_cache = even(1.0f);
  EXPECT_EQ(synth(from_cache, AP7_SHAPE_GAUSSIAN, 2.0f, kCentre, 6.0f, 0.0f, 0.0f, 0), 1u);
  EXPECT_EQ(values(from_cache), values(computed));
  AP7_SPECTRUM* elsewhere = even(5.0f);
  EXPECT_EQ(synth(elsewhere, AP7_SHAPE_GAUSSIAN, 2.0f, kCentre, 6.0f, 0.0f, 0.0f, 0), 1u);
  const std::vector<float> y = values(elsewhere);
  const std::vector<float> once = values(computed);
  for (uint32_t i = 0; i < kPoints; ++i) EXPECT_FLOAT_EQ(y[i], once[i] + 4.0f) << i;
  // The stored stretch is found by its key.
  std::vector<float> buffer(kPoints, 0.0f);
  EXPECT_TRUE(ap7d_PeakCacheLookup(gaussian_key(2.0f, kCentre, 6.0f), buffer.data()));
  for (uint32_t i = 0; i < kPoints; ++i) EXPECT_FLOAT_EQ(buffer[i] + 1.0f, once[i]) << i;
  destroy(computed);
  destroy(from_cache);
  destroy(elsewhere);
}

// Everything the profile depends on keeps records apart: a lookup never
// gives a profile of another height, or writes past a shorter spectrum.
TEST_F(PeakCache, TellsProfilesApartByEverythingTheyDependOn) {
  ASSERT_EQ(AP7D_InitPeakCache(4, 64), 1);
  const std::vector<float> added(5, 1.0f);
  ap7d_PeakCacheStore(gaussian_key(1.0f, 40.0f, 3.0f), added.data(), 38, 43);
  std::vector<float> y(kPoints, 0.0f);
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(2.0f, 40.0f, 3.0f), y.data()));
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 40.5f, 3.0f), y.data()));
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 40.0f, 3.5f), y.data()));
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 40.0f, 3.0f, 41), y.data()));
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 40.0f, 3.0f, kPoints, 200.0f), y.data()));
  AP7D_PEAKKEY other_kind = gaussian_key(1.0f, 40.0f, 3.0f);
  other_kind.kind = AP7_SHAPE_LORENTZIAN;
  EXPECT_FALSE(ap7d_PeakCacheLookup(other_kind, y.data()));
  EXPECT_EQ(y, std::vector<float>(kPoints, 0.0f));
  EXPECT_TRUE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 40.0f, 3.0f), y.data()));
  EXPECT_EQ(y[37], 0.0f);
  EXPECT_EQ(y[38], 1.0f);
  EXPECT_EQ(y[42], 1.0f);
  EXPECT_EQ(y[43], 0.0f);
}

// The Gaussian share is part of a pseudo-Voigt; a Gaussian reads no second
// or third parameter, so they do not keep its records apart.
TEST_F(PeakCache, KeysOnlyTheParametersAShapeReads) {
  ASSERT_EQ(AP7D_InitPeakCache(8, 128), 1);
  AP7_SPECTRUM* a = even();
  AP7_SPECTRUM* b = even();
  EXPECT_EQ(synth(a, AP7_SHAPE_PSEUDO_VOIGT, 1.0f, kCentre, 6.0f, 4.0f, 0.2f), 1u);
  EXPECT_EQ(synth(b, AP7_SHAPE_PSEUDO_VOIGT, 1.0f, kCentre, 6.0f, 4.0f, 0.8f), 1u);
  EXPECT_NE(values(a), values(b));
  EXPECT_EQ(synth(a, AP7_SHAPE_GAUSSIAN, 1.0f, kCentre, 6.0f, 1.0f, 2.0f), 1u);
  std::vector<float> y(kPoints, 0.0f);
  EXPECT_TRUE(ap7d_PeakCacheLookup(gaussian_key(1.0f, kCentre, 6.0f), y.data()));
  EXPECT_EQ(y, values(a));
  destroy(a);
  destroy(b);
}

TEST_F(PeakCache, OverwritesItsRecordsInTurn) {
  ASSERT_EQ(AP7D_InitPeakCache(2, 16), 1);
  const std::vector<float> added(3, 1.0f);
  for (float x0 : {10.0f, 20.0f, 30.0f}) ap7d_PeakCacheStore(gaussian_key(1.0f, x0, 1.0f), added.data(), 5, 8);
  std::vector<float> y(kPoints, 0.0f);
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 10.0f, 1.0f), y.data()));
  EXPECT_TRUE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 20.0f, 1.0f), y.data()));
  EXPECT_TRUE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 30.0f, 1.0f), y.data()));
}

// A slice of m floats keeps stretches of fewer than m - 1 points.
TEST_F(PeakCache, KeepsOnlyStretchesShorterThanTheSliceLessOne) {
  ASSERT_EQ(AP7D_InitPeakCache(2, 10), 1);
  const std::vector<float> added(9, 1.0f);
  ap7d_PeakCacheStore(gaussian_key(1.0f, 10.0f, 1.0f), added.data(), 0, 8);
  ap7d_PeakCacheStore(gaussian_key(1.0f, 20.0f, 1.0f), added.data(), 0, 9);
  std::vector<float> y(kPoints, 0.0f);
  EXPECT_TRUE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 10.0f, 1.0f), y.data()));
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 20.0f, 1.0f), y.data()));
}

// On an explicit axis a record holds the X values its walk read: another
// array that agrees there finds it; one that differs there does not.
TEST_F(PeakCache, KnowsAnExplicitAxisByTheValuesItsWalkRead) {
  ASSERT_EQ(AP7D_InitPeakCache(4, 101), 1);
  AP7_SPECTRUM* spectrum = even();
  float* y = ap7b_GetDataPtr(spectrum);
  std::vector<float> x(band_reference::uneven_x, band_reference::uneven_x + kPoints);
  // Narrow enough for the walk to stop inside the data.
  EXPECT_EQ(ap7d_AddVoigtApprox(spectrum, y, x.data(), 2.0f, 0.5f, kCentre, 1.0f), 1u);
  const std::vector<float> once = values(spectrum);
  const auto reached = static_cast<size_t>(std::count_if(once.begin(), once.end(), [](float v) { return v != 0.0f; }));
  ASSERT_LT(reached, kPoints - 2);
  AP7D_PEAKKEY key{AP7_SHAPE_VOIGT_APPROX, 1.0f, kCentre, 2.0f, 0.5f, 0.0f, kPoints, kFirstX, kLastX, x.data()};
  std::vector<float> copy = x;
  copy[0] = 1000.0f;  // far outside the stretch
  key.x = copy.data();
  std::vector<float> found(kPoints, 0.0f);
  EXPECT_TRUE(ap7d_PeakCacheLookup(key, found.data()));
  EXPECT_EQ(found, once);
  copy[40] += 0.25f;  // inside it
  EXPECT_FALSE(ap7d_PeakCacheLookup(key, found.data()));
  key.x = nullptr;  // the even axis
  EXPECT_FALSE(ap7d_PeakCacheLookup(key, found.data()));
  destroy(spectrum);
}

TEST_F(PeakCache, IsEmptiedByAFreshStartAndKeptEmptyWithoutMemory) {
  ASSERT_EQ(AP7D_InitPeakCache(2, 16), 1);
  const std::vector<float> added(3, 1.0f);
  ap7d_PeakCacheStore(gaussian_key(1.0f, 10.0f, 1.0f), added.data(), 5, 8);
  ASSERT_EQ(AP7D_InitPeakCache(2, 16), 1);
  std::vector<float> y(kPoints, 0.0f);
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 10.0f, 1.0f), y.data()));
  EXPECT_EQ(AP7D_InitPeakCache(0, 16), 1);
  EXPECT_EQ(AP7D_InitPeakCache(0x40000000, 0x40000000), 0);
  ap7d_PeakCacheStore(gaussian_key(1.0f, 10.0f, 1.0f), added.data(), 5, 8);
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 10.0f, 1.0f), y.data()));
}

// The library's unload frees every block of the memory manager, the
// cache's too: the class's termination forgets them first.
TEST_F(PeakCache, IsForgottenWhenTheSpectrumClassTerminates) {
  ASSERT_EQ(AP7D_InitPeakCache(2, 16), 1);
  const std::vector<float> added(3, 1.0f);
  ap7d_PeakCacheStore(gaussian_key(1.0f, 10.0f, 1.0f), added.data(), 5, 8);
  ap7b_TermClass(AP7_CLASS_ID);
  std::vector<float> y(kPoints, 0.0f);
  EXPECT_FALSE(ap7d_PeakCacheLookup(gaussian_key(1.0f, 10.0f, 1.0f), y.data()));
  EXPECT_EQ(y, std::vector<float>(kPoints, 0.0f));
}

}  // namespace
