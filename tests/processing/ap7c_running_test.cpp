// Running statistics over sets of spectra: the mean, sample standard
// deviation and correlation written after adding one spectrum per call,
// against numpy's values (running_references.h) and closed forms, and the
// refusals that leave the caller's sums and count in step.
#include <cfloat>
#include <cmath>

#include "processing_fixture.h"
#include "running_references.h"

using namespace spectrumtest;
namespace ref = running_reference;

namespace {

// The region of the tests: X 2..8 of an axis 0..9, seven points.
constexpr float kX1 = 2.0f;
constexpr float kX2 = 8.0f;
constexpr int32_t kN = ref::kPoints;
constexpr float kOutside = 100.0f;

class Running : public ProcessingTest {
 protected:
  // A spectrum over 0..9 whose region holds the values.
  AP7_SPECTRUM* spectrum_of(const float* region) {
    std::vector<float> y(10, kOutside);
    for (int i = 0; i < kN; ++i) y[i + 2] = region[i];
    return keep(make_axis(0.0f, 9.0f, y));
  }
  // An output already cut to the region.
  AP7_SPECTRUM* output() { return keep(make_axis(kX1, kX2, std::vector<float>(kN, 0.0f))); }
  AP4_ARRAY* row(float fill = 0.0f) {
    AP4_ARRAY* array = arraytest::make(1, kN);
    for (int i = 0; i < kN; ++i) ap4a_GetDataAddress(array)[i] = fill;
    return keep(array);
  }
  AP4_ARRAY* single(float value = 0.0f) {
    AP4_ARRAY* array = arraytest::make(1, 1);
    ap4a_GetDataAddress(array)[0] = value;
    return keep(array);
  }
  // What the fixture holds beyond the given live counts; each spectrum
  // holds an array of its own.
  void expect_only_kept(std::map<uint16_t, uint16_t> before) const {
    const auto now = live_counts();
    EXPECT_EQ(now.at(AP7_CLASS_ID) - before.at(AP7_CLASS_ID), static_cast<int>(kept_spectra()));
    EXPECT_EQ(now.at(AP4_CLASS_ID) - before.at(AP4_CLASS_ID), static_cast<int>(kept_spectra() + kept_arrays()));
  }
};

// The sums of the correlation.
struct CorrelationSums {
  AP4_ARRAY* x;
  AP4_ARRAY* x2;
  AP4_ARRAY* y;
  AP4_ARRAY* y2;
  AP4_ARRAY* xy;
};

void expect_values_near(AP7_SPECTRUM* spectrum, const double* expected, double tolerance) {
  const std::vector<float> y = values(spectrum);
  ASSERT_EQ(y.size(), static_cast<size_t>(kN));
  for (int i = 0; i < kN; ++i) EXPECT_NEAR(y[i], expected[i], tolerance) << "point " << i;
}

void expect_all_missing(AP7_SPECTRUM* spectrum) {
  for (float v : values(spectrum)) EXPECT_TRUE(std::isnan(v));
}

}  // namespace

TEST_F(Running, MessagesAddOneSpectrumPerCallAndWriteNumpysStatistics) {
  const auto counts = live_counts();
  AP4_ARRAY* mean_sum = row();
  AP4_ARRAY* sum = row();
  AP4_ARRAY* squares = row();
  const CorrelationSums c{row(), row(), single(), single(), row()};
  // The messages go to any spectrum: the block alone counts.
  AP7_SPECTRUM* bystander = keep(make_ramp(3, 0.0f, 2.0f));
  for (int k = 0; k < ref::kSpectra; ++k) {
    AP7_SPECTRUM* added = spectrum_of(ref::kValues[k]);
    AP4_ARRAY* property = single(ref::kProperty[k]);
    const auto count = static_cast<uint16_t>(k);
    AP7_RUNNINGMEANPARM mean{added, kX1, kX2, kN, count, mean_sum, nullptr};
    AP7_RUNNINGVARIANCEPARM variance{added, kX1, kX2, kN, count, sum, squares, nullptr};
    AP7_RUNNINGCORRELATIONPARM correlation{added, kX1, kX2, kN, count, c.x, c.x2, property, c.y, c.y2, c.xy, nullptr};
    EXPECT_EQ(send(AP7_MSG_RUNNING_MEAN, bystander, &mean), 0u);
    EXPECT_EQ(send(AP7_MSG_RUNNING_VARIANCE, bystander, &variance), 0u);
    EXPECT_EQ(send(AP7_MSG_RUNNING_CORRELATION, bystander, &correlation), 0u);
  }
  AP7_SPECTRUM* mean_out = output();
  AP7_SPECTRUM* deviation_out = output();
  AP7_SPECTRUM* correlation_out = output();
  const uint16_t all = ref::kSpectra;
  AP7_RUNNINGMEANPARM mean{nullptr, kX1, kX2, kN, all, mean_sum, mean_out};
  AP7_RUNNINGVARIANCEPARM variance{nullptr, kX1, kX2, kN, all, sum, squares, deviation_out};
  AP7_RUNNINGCORRELATIONPARM correlation{nullptr, kX1, kX2, kN, all, c.x, c.x2, nullptr, c.y, c.y2, c.xy,
                                         correlation_out};
  EXPECT_EQ(send(AP7_MSG_RUNNING_MEAN, bystander, &mean), 0u);
  EXPECT_EQ(send(AP7_MSG_RUNNING_VARIANCE, bystander, &variance), 0u);
  EXPECT_EQ(send(AP7_MSG_RUNNING_CORRELATION, bystander, &correlation), 0u);
  expect_values_near(mean_out, ref::kMean, 1e-5);
  expect_values_near(deviation_out, ref::kDeviation, 1e-4);
  expect_values_near(correlation_out, ref::kCorrelation, 1e-3);
  EXPECT_EQ(values(bystander), (std::vector<float>{1.0f, 2.0f, 3.0f}));
  expect_only_kept(counts);
}

TEST_F(Running, TheLastSpectrumMayComeWithTheOutput) {
  AP4_ARRAY* sum = row();
  AP4_ARRAY* squares = row();
  AP7_SPECTRUM* mean_out = output();
  AP7_SPECTRUM* deviation_out = output();
  AP4_ARRAY* mean_sum = row();
  for (int k = 0; k < ref::kSpectra; ++k) {
    AP7_SPECTRUM* added = spectrum_of(ref::kValues[k]);
    const bool last = k == ref::kSpectra - 1;
    const auto count = static_cast<uint16_t>(k);
    EXPECT_EQ(AP7_Mean_SPECTRUM(added, kX1, kX2, kN, count, mean_sum, last ? mean_out : nullptr), 0u);
    EXPECT_EQ(AP7_KX_Variance_SPECTRUM(added, kX1, kX2, kN, count, sum, squares, last ? deviation_out : nullptr), 0u);
  }
  expect_values_near(mean_out, ref::kMean, 1e-5);
  expect_values_near(deviation_out, ref::kDeviation, 1e-4);
}

TEST_F(Running, CorrelationOfExactLinearFunctionsIsOne) {
  // Point j of spectrum k is a + b y_k, rising for even j and falling for odd j.
  const CorrelationSums c{row(), row(), single(), single(), row()};
  const float property[] = {1.0f, 2.0f, 4.0f, 7.0f};
  for (int k = 0; k < 4; ++k) {
    float region[kN];
    for (int j = 0; j < kN; ++j) region[j] = j % 2 == 0 ? 1.0f + (j + 1) * property[k] : 20.0f - 0.5f * property[k];
    EXPECT_EQ(AP7_Correlation_SPECTRUM(spectrum_of(region), kX1, kX2, kN, static_cast<uint16_t>(k), c.x, c.x2,
                                       single(property[k]), c.y, c.y2, c.xy, nullptr),
              0u);
  }
  AP7_SPECTRUM* out = output();
  EXPECT_EQ(AP7_Correlation_SPECTRUM(nullptr, kX1, kX2, kN, 4, c.x, c.x2, nullptr, c.y, c.y2, c.xy, out), 0u);
  const std::vector<double> ones(kN, 1.0);
  expect_values_near(out, ones.data(), 1e-5);
}

TEST_F(Running, DeviationOfOneSpectrumIsMissingAndOfEqualOnesZero) {
  const float same[kN] = {1.0f, 2.0f, 3.0f, -4.0f, 5.0f, 0.0f, 8.0f};
  AP4_ARRAY* sum = row();
  AP4_ARRAY* squares = row();
  AP7_SPECTRUM* out = output();
  EXPECT_EQ(AP7_KX_Variance_SPECTRUM(spectrum_of(same), kX1, kX2, kN, 0, sum, squares, out), 0u);
  expect_all_missing(out);  // n - 1 = 0
  EXPECT_EQ(AP7_KX_Variance_SPECTRUM(spectrum_of(same), kX1, kX2, kN, 1, sum, squares, out), 0u);
  EXPECT_EQ(values(out), std::vector<float>(kN, 0.0f));
}

TEST_F(Running, ANegativeCorrectedSumOfSquaresIsMissing) {
  // Sums no set of values can give: S2 - S1^2/N = 0 - 4/2 < 0 at the first
  // point, exactly 0 at the others.
  AP4_ARRAY* sum = row(0.0f);
  ap4a_GetDataAddress(sum)[0] = 2.0f;
  AP4_ARRAY* squares = row(0.0f);
  AP7_SPECTRUM* out = output();
  EXPECT_EQ(AP7_KX_Variance_SPECTRUM(nullptr, kX1, kX2, kN, 2, sum, squares, out), 0u);
  const std::vector<float> y = values(out);
  EXPECT_TRUE(std::isnan(y[0]));
  for (int i = 1; i < kN; ++i) EXPECT_EQ(y[i], 0.0f);
}

TEST_F(Running, AMeanOverNoSpectrumIsMissing) {
  AP7_SPECTRUM* out = output();
  EXPECT_EQ(AP7_Mean_SPECTRUM(nullptr, kX1, kX2, kN, 0, row(1.0f), out), 0u);
  expect_all_missing(out);
}

// A spectrum whose region holds another number of points is refused (1), so
// that the caller does not count it, and no sum changes.
TEST_F(Running, ASpectrumOfAnotherPointCountIsRefusedAndNoSumChanges) {
  AP7_SPECTRUM* short_one = keep(make_ramp(5, 0.0f, 4.0f));  // 2..4: three points
  AP4_ARRAY* sum = row(1.0f);
  AP4_ARRAY* squares = row(1.0f);
  const CorrelationSums c{row(1.0f), row(1.0f), single(1.0f), single(1.0f), row(1.0f)};
  EXPECT_EQ(AP7_Mean_SPECTRUM(short_one, kX1, kX2, kN, 1, sum, nullptr), 1u);
  EXPECT_EQ(AP7_KX_Variance_SPECTRUM(short_one, kX1, kX2, kN, 1, sum, squares, nullptr), 1u);
  EXPECT_EQ(AP7_Correlation_SPECTRUM(short_one, kX1, kX2, kN, 1, c.x, c.x2, single(2.0f), c.y, c.y2, c.xy, nullptr),
            1u);
  for (AP4_ARRAY* array : {sum, squares, c.x, c.x2, c.xy}) EXPECT_EQ(arraytest::values(array), std::vector<float>(kN, 1.0f));
  for (AP4_ARRAY* array : {c.y, c.y2}) EXPECT_EQ(arraytest::values(array), std::vector<float>{1.0f});
}

// The same call's output is still written, over the spectra already added,
// but the flag reports the refused spectrum for every statistic.
TEST_F(Running, ARefusedSpectrumIsReportedEvenWhenTheOutputIsWritten) {
  AP7_SPECTRUM* short_one = keep(make_ramp(5, 0.0f, 4.0f));
  const float first[kN] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f};
  const float second[kN] = {3.0f, 2.0f, 1.0f, 0.0f, -1.0f, -2.0f, -3.0f};
  AP4_ARRAY* mean_sum = row();
  AP4_ARRAY* sum = row();
  AP4_ARRAY* squares = row();
  for (int k = 0; k < 2; ++k) {
    AP7_SPECTRUM* added = spectrum_of(k == 0 ? first : second);
    ASSERT_EQ(AP7_Mean_SPECTRUM(added, kX1, kX2, kN, static_cast<uint16_t>(k), mean_sum, nullptr), 0u);
    ASSERT_EQ(AP7_KX_Variance_SPECTRUM(added, kX1, kX2, kN, static_cast<uint16_t>(k), sum, squares, nullptr), 0u);
  }
  AP7_SPECTRUM* mean_out = output();
  AP7_SPECTRUM* deviation_out = output();
  EXPECT_EQ(AP7_Mean_SPECTRUM(short_one, kX1, kX2, kN, 2, mean_sum, mean_out), 1u);
  EXPECT_EQ(AP7_KX_Variance_SPECTRUM(short_one, kX1, kX2, kN, 2, sum, squares, deviation_out), 1u);
  EXPECT_EQ(values(mean_out), (std::vector<float>{2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f}));
  // Two values d apart deviate by d / sqrt(2).
  const double d[kN] = {2.0, 0.0, 2.0, 4.0, 6.0, 8.0, 10.0};
  double expected[kN];
  for (int i = 0; i < kN; ++i) expected[i] = d[i] / std::sqrt(2.0);
  expect_values_near(deviation_out, expected, 1e-5);
}

TEST_F(Running, RefusesMissingOrWrongObjects) {
  AP7_SPECTRUM* added = spectrum_of(ref::kValues[0]);
  AP4_ARRAY* sum = row();
  AP4_ARRAY* squares = row();
  AP4_ARRAY* wrong_width = arraytest::make(1, kN + 1);
  auto* not_a_spectrum = reinterpret_cast<AP7_SPECTRUM*>(sum);
  EXPECT_EQ(AP7_Mean_SPECTRUM(nullptr, kX1, kX2, kN, 0, sum, nullptr), 1u);
  EXPECT_EQ(AP7_Mean_SPECTRUM(added, kX1, kX2, kN, 0, nullptr, nullptr), 1u);
  EXPECT_EQ(AP7_Mean_SPECTRUM(added, kX1, kX2, kN, 0, wrong_width, nullptr), 1u);
  EXPECT_EQ(AP7_Mean_SPECTRUM(not_a_spectrum, kX1, kX2, kN, 0, sum, nullptr), 1u);
  EXPECT_EQ(AP7_Mean_SPECTRUM(nullptr, kX1, kX2, kN, 1, sum, not_a_spectrum), 1u);
  EXPECT_EQ(AP7_Mean_SPECTRUM(added, AP1_GetNaNSG_MATH(), kX2, kN, 0, sum, nullptr), 1u);
  EXPECT_EQ(AP7_KX_Variance_SPECTRUM(added, kX1, kX2, kN, 0, sum, nullptr, nullptr), 1u);
  EXPECT_EQ(AP7_KX_Variance_SPECTRUM(nullptr, kX1, kX2, kN, 0, sum, squares, nullptr), 1u);
  // The correlation needs a 1 x 1 property with a spectrum to add.
  const CorrelationSums c{row(), row(), single(), single(), row()};
  EXPECT_EQ(AP7_Correlation_SPECTRUM(added, kX1, kX2, kN, 0, c.x, c.x2, nullptr, c.y, c.y2, c.xy, nullptr), 1u);
  EXPECT_EQ(AP7_Correlation_SPECTRUM(added, kX1, kX2, kN, 0, c.x, c.x2, row(), c.y, c.y2, c.xy, nullptr), 1u);
  EXPECT_EQ(AP7_Correlation_SPECTRUM(added, kX1, kX2, kN, 0, c.x, c.x2, single(), c.y, row(), c.xy, nullptr), 1u);
  // An output whose region holds another number of points, and one too
  // short for the values (left as it was).
  EXPECT_EQ(AP7_Mean_SPECTRUM(nullptr, kX1, kX2, kN, 1, sum, keep(make_ramp(13, kX1, kX2))), 1u);
  AP7_SPECTRUM* short_output = keep(make_ramp(3, kX1, 4.0f));
  EXPECT_EQ(AP7_Mean_SPECTRUM(nullptr, kX1, kX2, kN, 1, sum, short_output), 1u);
  EXPECT_EQ(values(short_output), (std::vector<float>{1.0f, 2.0f, 3.0f}));
  EXPECT_EQ(arraytest::destroy(wrong_width), 1u);
}

TEST_F(Running, SquareRootKeepsMissingAndClampsTheTinyToZero) {
  struct Case {
    float in;
    float out;  // NaN: missing
  };
  const float nan = AP1_GetNaNSG_MATH();
  const Case cases[] = {{4.0f, 2.0f},   {2.25f, 1.5f}, {0.0f, 0.0f},    {FLT_MIN, 0.0f}, {-FLT_MIN, 0.0f},
                        {-1e-39f, 0.0f}, {-1.0f, nan}, {-2e-38f, nan}, {nan, nan}};
  for (const Case& c : cases) {
    float value = c.in;
    KX_AP7_SquareRoot(&value);
    if (std::isnan(c.out)) {
      EXPECT_TRUE(std::isnan(value)) << c.in;
    } else {
      EXPECT_EQ(value, c.out) << c.in;
    }
  }
}
