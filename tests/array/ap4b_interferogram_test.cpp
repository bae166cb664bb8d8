// The interferogram toolkit against closed forms and a slow DFT written
// here: the transform's layouts and scalings, the padding and rotation
// before it, the windows each apodization kind picks, the trimming of zero
// padding, the phase array and the phase correction; and the refusals of
// centres, lengths and phase arrays that would divide by zero or read
// outside the row.
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"

namespace {

using namespace arraytest;
using Complex = std::complex<double>;

constexpr double kPi = 3.141592653589793;

std::vector<Complex> slow_dft(const std::vector<Complex>& x) {
  const size_t n = x.size();
  std::vector<Complex> out(n);
  for (size_t j = 0; j < n; ++j) {
    Complex sum = 0;
    for (size_t t = 0; t < n; ++t) sum += x[t] * std::polar(1.0, -2 * kPi * static_cast<double>((j * t) % n) / n);
    out[j] = sum;
  }
  return out;
}

// The forward real transform's row: X[0] and 2 X[j] for j < N/2, real parts
// then imaginary parts, the Nyquist term dropped.
std::vector<double> real_spectrum(const std::vector<double>& x) {
  const std::vector<Complex> spectrum = slow_dft(std::vector<Complex>(x.begin(), x.end()));
  const size_t half = x.size() / 2;
  std::vector<double> row(x.size());
  row[0] = spectrum[0].real();
  row[half] = 0.0;
  for (size_t j = 1; j < half; ++j) {
    row[j] = 2 * spectrum[j].real();
    row[half + j] = 2 * spectrum[j].imag();
  }
  return row;
}

std::vector<float> random_values(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> values(count);
  for (float& v : values) v = uniform(generator);
  return values;
}

std::vector<double> widened(const std::vector<float>& values) { return {values.begin(), values.end()}; }

// x padded to `length` with the ramp from its last value back towards its
// first, then rotated left by `centre`.
std::vector<double> padded_and_rotated(const std::vector<double>& x, size_t length, size_t centre) {
  std::vector<double> padded(x);
  const size_t added = length - x.size();
  for (size_t j = 1; j <= added; ++j) padded.push_back(x.back() - j * (x.back() - x.front()) / (added + 1));
  std::vector<double> rotated(length);
  for (size_t t = 0; t < length; ++t) rotated[t] = padded[(t + centre) % length];
  return rotated;
}

void expect_row_near(const std::vector<float>& got, const std::vector<double>& expected, double tolerance) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], tolerance) << i;
}

class Interferogram : public ArrayTest {
 protected:
  static AP4_ARRAY* of(uint32_t rows, uint32_t columns, const std::vector<float>& data) {
    AP4_ARRAY* array = make(rows, columns);
    std::copy(data.begin(), data.end(), ap4a_GetDataAddress(array));
    return array;
  }
  static AP4_ARRAY* row_of(const std::vector<float>& data) {
    return of(1, static_cast<uint32_t>(data.size()), data);
  }
  static uint32_t fft(AP4_ARRAY* array, int16_t direction, int16_t kind) {
    AP4_FFTPARM parameter{direction, kind, 0};
    return send(AP4_MSG_FFT, array, &parameter);
  }
  static uint32_t resize(AP4_ARRAY* array, uint16_t k, int32_t centre) {
    AP4_RESIZEPARM parameter{k, 0, centre};
    return send(AP4_MSG_RESIZE_ROW, array, &parameter);
  }
  static uint32_t apodize(AP4_ARRAY* array, int16_t kind, int16_t ramp, int32_t centre) {
    AP4_APODIZEPARM parameter{kind, ramp, 0, centre};
    return send(AP4_MSG_APODIZE, array, &parameter);
  }
  static AP4_ARRAY* phase(AP4_ARRAY* array, int32_t length, uint16_t k, uint16_t kind, int32_t centre, uint16_t mode) {
    AP4_PHASEPARM parameter{length, k, kind, 0, centre, mode};
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_PHASE, array, &parameter));
  }
  static uint32_t correct(AP4_ARRAY* array, int16_t mode, AP4_ARRAY* phase_array) {
    AP4_PHASECORRECTPARM parameter{mode, phase_array};
    return send(AP4_MSG_PHASE_CORRECT, array, &parameter);
  }
};

TEST_F(Interferogram, ForwardRealTransformMatchesTheSlowDFT) {
  for (uint32_t n : {16u, 64u, 1024u}) {
    const std::vector<float> x = random_values(n, n);
    AP4_ARRAY* row = row_of(x);
    ASSERT_EQ(fft(row, 1, AP4C_FFT_FORWARD), 1u) << n;
    expect_row_near(values(row), real_spectrum(widened(x)), 1e-5 * n);
    destroy(row);
  }
}

TEST_F(Interferogram, InverseRealTransformGivesTwoNTimesTheRowLessItsNyquistPart) {
  for (uint32_t n : {16u, 512u, 262144u}) {
    const std::vector<float> x = random_values(n, n + 1);
    double nyquist = 0;
    for (uint32_t t = 0; t < n; ++t) nyquist += (t % 2 == 0 ? x[t] : -x[t]);
    nyquist /= n;
    AP4_ARRAY* row = row_of(x);
    ASSERT_EQ(fft(row, 1, AP4C_FFT_FORWARD), 1u);
    ASSERT_EQ(fft(row, 1, AP4C_FFT_INVERSE), 1u);
    const std::vector<float> back = values(row);
    ASSERT_EQ(back.size(), n);
    for (uint32_t t = 0; t < n; ++t) {
      const double expected = 2.0 * n * (x[t] - (t % 2 == 0 ? nyquist : -nyquist));
      ASSERT_NEAR(back[t], expected, 2e-4 * n) << n << " " << t;
    }
    destroy(row);
  }
}

TEST_F(Interferogram, TransformWithoutTheDirectionFlagIsTheComplexTransformOfTheHalves) {
  const uint32_t n = 64;
  const std::vector<float> x = random_values(n, 7);
  std::vector<Complex> points(n / 2);
  for (uint32_t i = 0; i < n / 2; ++i) points[i] = Complex(x[i], x[n / 2 + i]);
  const std::vector<Complex> spectrum = slow_dft(points);
  std::vector<double> expected(n);
  for (uint32_t i = 0; i < n / 2; ++i) {
    expected[i] = spectrum[i].real();
    expected[n / 2 + i] = spectrum[i].imag();
  }
  AP4_ARRAY* row = row_of(x);
  ASSERT_EQ(fft(row, 0, AP4C_FFT_FORWARD), 1u);
  expect_row_near(values(row), expected, 1e-4);
  destroy(row);
}

TEST_F(Interferogram, TransformTakesOnlyPowersOfTwoFrom16To262144InOneRow) {
  for (uint32_t n : {8u, 100u, 24u, 524288u}) {
    AP4_ARRAY* row = make(1, n);
    std::fill_n(ap4a_GetDataAddress(row), n, 1.0f);
    EXPECT_EQ(fft(row, 1, AP4C_FFT_FORWARD), 0u) << n;
    EXPECT_EQ(ap4a_GetDataAddress(row)[0], 1.0f) << n;
    destroy(row);
  }
  AP4_ARRAY* two_rows = make_filled(2, 16);
  EXPECT_EQ(fft(two_rows, 1, AP4C_FFT_FORWARD), 0u);
  EXPECT_EQ(grid_of(two_rows), filled_grid(2, 16));
  destroy(two_rows);
}

TEST_F(Interferogram, ResizePadsWithARampRotatesTheCentreToZeroAndTransforms) {
  struct Case {
    std::vector<float> x;
    uint16_t k;
    int32_t centre;
  };
  const std::vector<float> twenty = random_values(20, 3);
  const Case cases[] = {
      {{1, 2, 3}, 4, 0},   // padded with 3 - j·2/14
      {{1, 2, 3}, 4, 1},
      {{5, -1, 2, 7, 0.5f}, 5, 2},
      {twenty, 4, 8},      // cut to 16 points
      {twenty, 5, 20},     // the centre may be the rotated row's length
  };
  for (const Case& c : cases) {
    const size_t length = size_t{1} << c.k;
    std::vector<double> kept = widened(c.x);
    if (kept.size() > length) kept.resize(length);
    const std::vector<double> expected = real_spectrum(padded_and_rotated(kept, length, c.centre));
    AP4_ARRAY* row = row_of(c.x);
    ASSERT_EQ(resize(row, c.k, c.centre), 1u) << c.k << " " << c.centre;
    expect_row_near(values(row), expected, 1e-4 * length);
    destroy(row);
  }
}

TEST_F(Interferogram, ResizeRefusesLengthsAndCentresItCannotTransformBeforeChangingAnything) {
  const std::vector<float> x{1, 2, 3, 4, 5};
  struct Case {
    uint16_t k;
    int32_t centre;
  };
  for (const Case& c : {Case{3, 0}, Case{19, 0}, Case{4, 17}, Case{4, -1}, Case{0, 0}}) {
    AP4_ARRAY* row = row_of(x);
    EXPECT_EQ(resize(row, c.k, c.centre), 0u) << c.k << " " << c.centre;
    EXPECT_EQ(values(row), x);
    destroy(row);
  }
  AP4_ARRAY* two_rows = make_filled(2, 5);
  EXPECT_EQ(resize(two_rows, 4, 0), 0u);
  destroy(two_rows);
}

TEST_F(Interferogram, EachApodizationKindPicksItsWindow) {
  // n = 8, centre 4: point 0 lies at the normalised distance -1.
  struct Case {
    int16_t kind;
    float at_zero;
  };
  const Case cases[] = {
      {1, 0.0f},        {2, 1.0f},       {3, 0.384093f}, {4, 0.152442f}, {5, 0.045335f},
      {6, 0.0f},        {7, 0.00006f},   {0, 0.08f},     {8, 0.08f},     {-1, 0.08f},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* row = row_of(std::vector<float>(8, 1.0f));
    ASSERT_EQ(apodize(row, c.kind, 0, 4), 1u) << c.kind;
    const std::vector<float> w = values(row);
    EXPECT_NEAR(w[0], c.at_zero, 1e-6) << c.kind;
    EXPECT_NEAR(w[4], 1.0f, 1e-6) << c.kind;
    destroy(row);
  }
}

TEST_F(Interferogram, ApodizeRampsBeforeTheWindowAndRefusesARightHandCentre) {
  AP4_ARRAY* row = row_of(std::vector<float>(6, 1.0f));
  ASSERT_EQ(apodize(row, AP4_APODIZE_NONE, 1, 2), 1u);
  expect_row_near(values(row), {0, 0.5, 1, 1.5, 2, 2}, 1e-6);
  destroy(row);
  const std::vector<float> ones(8, 1.0f);
  for (int32_t centre : {5, 8, -1}) {
    row = row_of(ones);
    EXPECT_EQ(apodize(row, 1, 1, centre), 0u) << centre;
    EXPECT_EQ(values(row), ones);
    destroy(row);
  }
}

TEST_F(Interferogram, TrimmedApodizeWeightsTheSegmentLeftBetweenTheZeros) {
  const double third = 1.0 / 3;
  struct Case {
    const char* what;
    std::vector<float> x;
    int16_t ramp;
    int32_t centre;
    std::vector<double> expected;
  };
  std::vector<double> one_sided(20);
  for (int i = 0; i < 20; ++i) {
    const double ramp = i < 6 ? i / 3.0 : 2.0;
    one_sided[i] = ramp * (1 - std::abs(i - 3) / 17.0);
  }
  const Case cases[] = {
      {"nearly symmetric: the right excess is cut", {0, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0}, 1, 5,
       {0, 0, 0, third, 2 * third, 1, 2 * third, third, 0, 0, 0, 0}},
      {"centre in the right part: the left excess is dropped", std::vector<float>(10, 1.0f), 0, 7,
       {0, 0, 0, 0, 0, third, 2 * third, 1, 2 * third, third}},
      {"one-sided: ramp, then the window", std::vector<float>(20, 1.0f), 1, 3, one_sided},
      {"a zero at the centre stays in the segment", {0, 0, 0, 0, 1, 1, 1, 1}, 0, 2,
       {0, 0, 0, 0, 4 / 6.0, 3 / 6.0, 2 / 6.0, 1 / 6.0}},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* row = row_of(c.x);
    ASSERT_EQ(ap4b_ApodizeTrimmed(row, AP4_APODIZE_TRIANGLE, c.ramp, 0, c.centre), 1) << c.what;
    SCOPED_TRACE(c.what);
    expect_row_near(values(row), c.expected, 1e-5);
    destroy(row);
  }
}

TEST_F(Interferogram, TrimmedApodizeRefusesCentresThatLeaveNothingToWeight) {
  struct Case {
    std::vector<float> x;
    int32_t centre;
  };
  // The last case trims to [1, 1] with the centre on its first point: cut
  // to twice the centre, nothing would be left.
  const Case cases[] = {{{1, 1, 1, 1, 1, 1}, 6}, {{1, 1, 1, 1, 1, 1}, -1}, {{1, 1, 1, 1, 1, 1}, 1 << 30},
                        {{0, 0, 1, 1, 0, 0}, 2}};
  for (const Case& c : cases) {
    AP4_ARRAY* row = row_of(c.x);
    EXPECT_EQ(ap4b_ApodizeTrimmed(row, AP4_APODIZE_TRIANGLE, 1, 0, c.centre), 0) << c.centre;
    EXPECT_EQ(values(row), c.x);
    destroy(row);
  }
}

TEST_F(Interferogram, PhaseArrayIsTheArcTangentOfTheSegmentsSpectrum) {
  const std::vector<float> x = random_values(40, 11);
  const int32_t length = 12, centre = 20, half = 6;
  const std::vector<double> segment(x.begin() + centre - half, x.begin() + centre - half + length);
  const std::vector<double> spectrum = real_spectrum(padded_and_rotated(segment, 32, half));
  AP4_ARRAY* row = row_of(x);
  AP4_ARRAY* four_quadrant = phase(row, length, 5, AP4_APODIZE_NONE, centre, AP4_PHASE_FOUR_QUADRANT);
  AP4_ARRAY* two_quadrant = phase(row, length, 5, AP4_APODIZE_NONE, centre, 1);
  ASSERT_NE(four_quadrant, nullptr);
  ASSERT_NE(two_quadrant, nullptr);
  const std::vector<float> p0 = values(four_quadrant);
  const std::vector<float> p1 = values(two_quadrant);
  ASSERT_EQ(p0.size(), 16u);
  ASSERT_EQ(p1.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    const double re = spectrum[i], im = spectrum[16 + i];
    EXPECT_NEAR(std::remainder(p0[i] - std::atan2(im, re), 2 * kPi), 0.0, 1e-4) << i;
    EXPECT_NEAR(p1[i], std::atan(im / re), 1e-4) << i;
  }
  // The source row is left as it was.
  EXPECT_EQ(values(row), x);
  for (AP4_ARRAY* a : {row, four_quadrant, two_quadrant}) destroy(a);
}

TEST_F(Interferogram, PhaseOfARealPartThatIsExactlyZeroIsAQuarterTurn) {
  AP4_ARRAY* row = row_of(std::vector<float>(32, 0.0f));
  AP4_ARRAY* two_quadrant = phase(row, 16, 4, AP4_APODIZE_TRIANGLE, 16, 1);
  ASSERT_NE(two_quadrant, nullptr);
  EXPECT_EQ(values(two_quadrant), std::vector<float>(8, 1.5707963f));
  for (AP4_ARRAY* a : {row, two_quadrant}) destroy(a);
}

TEST_F(Interferogram, PhaseArrayRefusesSegmentsOutsideTheRow) {
  AP4_ARRAY* row = row_of(random_values(40, 5));
  struct Case {
    const char* what;
    int32_t length;
    uint16_t k;
    int32_t centre;
  };
  const Case cases[] = {
      {"centre before half the segment", 12, 5, 5},
      {"segment past the end", 12, 5, 35},
      {"centre far past the end", 12, 5, INT32_MAX},
      {"segment longer than the row", 41, 6, 30},
      {"segment longer than the transform", 17, 4, 20},
      {"no segment", 0, 5, 20},
      {"transform too short", 8, 3, 20},
      {"transform too long", 12, 19, 20},
  };
  for (const Case& c : cases) EXPECT_EQ(phase(row, c.length, c.k, 2, c.centre, 0), nullptr) << c.what;
  destroy(row);
}

TEST_F(Interferogram, MagnitudeCorrectionKeepsTheModulusOfEachPoint) {
  AP4_ARRAY* row = row_of({3, 0, 4, 0});
  ASSERT_EQ(correct(row, AP4_PHASE_MAGNITUDE, nullptr), 1u);
  EXPECT_EQ(values(row), (std::vector<float>{5, 0}));
  destroy(row);
}

TEST_F(Interferogram, PhaseCorrectionRotatesByTheInterpolatedPhase) {
  const std::vector<float> spectrum = random_values(16, 9);
  AP4_ARRAY* row = row_of(spectrum);
  AP4_ARRAY* p = row_of({0.0f, 0.2f, 0.4f, 0.6f});
  ASSERT_EQ(correct(row, 0, p), 1u);
  // Two spectrum points per phase point, the angle stepping 0.1 a point;
  // the last phase point's two stay at 0.6.
  const double angles[] = {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.6};
  std::vector<double> expected(8);
  for (int i = 0; i < 8; ++i)
    expected[i] = std::cos(angles[i]) * spectrum[i] + std::sin(angles[i]) * spectrum[8 + i];
  expect_row_near(values(row), expected, 1e-5);
  for (AP4_ARRAY* a : {row, p}) destroy(a);
}

TEST_F(Interferogram, PhaseStepsTakeTheShortWayRoundAndTrailingPointsKeepTheirRealPart) {
  const std::vector<float> spectrum = random_values(10, 13);
  AP4_ARRAY* row = row_of(spectrum);
  // From 3.0 to -3.0 is a step of 2 pi - 6 forward, not -6.
  AP4_ARRAY* p = row_of({3.0f, -3.0f});
  ASSERT_EQ(correct(row, 0, p), 1u);
  const double step = (2 * kPi - 6.0) / 2;
  const double angles[] = {3.0, 3.0 + step, -3.0, -3.0};
  std::vector<double> expected(5);
  for (int i = 0; i < 4; ++i) expected[i] = std::cos(angles[i]) * spectrum[i] + std::sin(angles[i]) * spectrum[5 + i];
  expected[4] = spectrum[4];
  expect_row_near(values(row), expected, 1e-5);
  for (AP4_ARRAY* a : {row, p}) destroy(a);
}

TEST_F(Interferogram, PhaseCorrectionRefusesMorePhasePointsThanSpectrumPoints) {
  const std::vector<float> spectrum = random_values(16, 17);
  AP4_ARRAY* row = row_of(spectrum);
  AP4_ARRAY* too_many = row_of(std::vector<float>(9, 0.5f));
  AP4_ARRAY* two_rows = make_filled(2, 4);
  EXPECT_EQ(correct(row, 0, too_many), 0u);
  EXPECT_EQ(correct(row, 0, two_rows), 0u);
  EXPECT_EQ(correct(row, 0, nullptr), 0u);
  EXPECT_EQ(correct(row, 0, row), 0u);
  EXPECT_EQ(values(row), spectrum);
  for (AP4_ARRAY* a : {row, too_many, two_rows}) destroy(a);
}

TEST_F(Interferogram, ACosineInterferogramBecomesOneLineOfTheSpectrum) {
  const int n = 64, centre = 10, line = 5;
  std::vector<float> x(n);
  for (int t = 0; t < n; ++t) x[t] = static_cast<float>(std::cos(2 * kPi * line * (t - centre) / n));
  AP4_ARRAY* row = row_of(x);
  ASSERT_EQ(apodize(row, AP4_APODIZE_NONE, 0, centre), 1u);
  ASSERT_EQ(resize(row, 6, centre), 1u);
  ASSERT_EQ(correct(row, AP4_PHASE_MAGNITUDE, nullptr), 1u);
  const std::vector<float> magnitude = values(row);
  ASSERT_EQ(magnitude.size(), 32u);
  for (int j = 0; j < 32; ++j) EXPECT_NEAR(magnitude[j], j == line ? n : 0.0, 1e-3) << j;
  destroy(row);
}

TEST_F(Interferogram, DerivativeAndInterferogramMessagesWithoutABlockAnswerZero) {
  AP4_ARRAY* row = make_filled(1, 16);
  for (uint16_t message : {AP4_MSG_APPLY_FUNCTION, AP4_MSG_RANGE_TRANSFORM, AP4_MSG_DERIVATIVE,
                           AP4_MSG_SECOND_DERIVATIVE, AP4_MSG_SG_SMOOTH, AP4_MSG_RESIZE_ROW, AP4_MSG_APODIZE,
                           AP4_MSG_PHASE, AP4_MSG_PHASE_CORRECT, AP4_MSG_FFT})
    EXPECT_EQ(send(message, row, nullptr), 0u) << message;
  EXPECT_EQ(grid_of(row), filled_grid(1, 16));
  destroy(row);
}

}  // namespace
