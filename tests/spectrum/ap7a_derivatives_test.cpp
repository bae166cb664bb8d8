#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"
#include "spectrum/title_prefixes.h"

namespace {

using namespace spectrumtest;

class RangeSteps : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* derivative(uint16_t message, AP7_SPECTRUM* spectrum, float x1, float x2) {
    AP7_XRANGEPARM parameter{x1, x2};
    return ap_result_object<AP7_SPECTRUM>(send(message, spectrum, &parameter));
  }
  static AP7_SPECTRUM* smooth(AP7_SPECTRUM* spectrum, float x1, float x2, uint32_t window) {
    AP7_SMOOTHPARM parameter{x1, x2, window};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SG_SMOOTH, spectrum, &parameter));
  }
  static AP7_SPECTRUM* convolve(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* kernel, uint16_t option) {
    AP7_CONVOLVEPARM parameter{x1, x2, kernel, option};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_CONVOLVE, spectrum, &parameter));
  }
  static bool flag(AP7_SPECTRUM* spectrum, int16_t bit) {
    return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) != 0;
  }
  // A source with a title, absorbance values and one list member.
  static AP7_SPECTRUM* source(float first_x, float last_x, const std::vector<float>& y) {
    AP7_SPECTRUM* spectrum = make_axis(first_x, last_x, y);
    record(spectrum).y_units = 17;
    std::strcpy(record(spectrum).title, "sample");
    ap40_Add_LLIST(spectrum->list, reinterpret_cast<AP_OBJECT*>(new_text("member")));
    return spectrum;
  }
};

void expect_values(const std::vector<float>& actual, const std::vector<float>& expected, float tolerance = 0.0f) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (tolerance == 0.0f)
      EXPECT_FLOAT_EQ(actual[i], expected[i]) << "point " << i;
    else
      EXPECT_NEAR(actual[i], expected[i], tolerance) << "point " << i;
  }
}

struct StepCase {
  const char* name;
  uint16_t message;
  float x1;
  float x2;
  std::vector<float> expected;
  float first_x;
  float last_x;
  std::string title;
};

class Derivatives : public RangeSteps, public testing::WithParamInterface<StepCase> {};

// y = x² on X 0 to 6: central differences 2x inside, the edges repeating
// their inner neighbours; the second derivative differences those again.
TEST_P(Derivatives, MakeANewSpectrumOfTheRange) {
  const StepCase& c = GetParam();
  add_title_prefixes();
  AP7_SPECTRUM* spectrum = source(0.0f, 6.0f, {0, 1, 4, 9, 16, 25, 36});
  AP7_SPECTRUM* result = derivative(c.message, spectrum, c.x1, c.x2);
  ASSERT_NE(result, nullptr);
  const uint32_t points = record(result).points;
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  const uint32_t y_units = record(result).y_units;
  EXPECT_EQ(points, c.expected.size());
  EXPECT_FLOAT_EQ(first_x, c.first_x);
  EXPECT_FLOAT_EQ(last_x, c.last_x);
  EXPECT_EQ(y_units, AP41_YUNITS_OTHER);
  EXPECT_STREQ(record(result).title, c.title.c_str());
  EXPECT_TRUE(flag(result, AP41_HISTORY_DERIVATIVE));
  EXPECT_EQ(list_count(result->list), 1u);
  expect_values(values(result), c.expected);
  // The source is left as it was.
  const uint32_t source_units = record(spectrum).y_units;
  EXPECT_EQ(source_units, 17u);
  EXPECT_STREQ(record(spectrum).title, "sample");
  EXPECT_FALSE(flag(spectrum, AP41_HISTORY_DERIVATIVE));
  expect_values(values(spectrum), {0, 1, 4, 9, 16, 25, 36});
  destroy(result);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Derivatives,
    testing::Values(
        StepCase{"FirstWhole", AP7_MSG_DERIVATIVE, AP_NOT_GIVEN, AP_NOT_GIVEN, {2, 2, 4, 6, 8, 10, 10}, 0.0f, 6.0f,
                 "First derivative: sample"},
        // Inside the data the range's neighbours take part.
        StepCase{"FirstOfARange", AP7_MSG_DERIVATIVE, 1.8f, 4.2f, {4, 6, 8}, 2.0f, 4.0f, "First derivative: sample"},
        StepCase{"SecondWhole", AP7_MSG_SECOND_DERIVATIVE, AP_NOT_GIVEN, AP_NOT_GIVEN, {1, 1, 2, 2, 2, 1, 1}, 0.0f,
                 6.0f, "Second derivative: sample"},
        StepCase{"SecondOfARange", AP7_MSG_SECOND_DERIVATIVE, 2.0f, 4.0f, {2, 2, 2}, 2.0f, 4.0f,
                 "Second derivative: sample"}),
    [](const testing::TestParamInfo<StepCase>& info) { return info.param.name; });

// The example of the operation's description, on X 0 to 4 with the spacing
// 1; no resource texts, so the title stays.
TEST_F(RangeSteps, FirstDerivativeOfTheSquares) {
  AP7_SPECTRUM* spectrum = source(0.0f, 4.0f, {0, 1, 4, 9, 16});
  AP7_SPECTRUM* result = derivative(AP7_MSG_DERIVATIVE, spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_NE(result, nullptr);
  expect_values(values(result), {2, 2, 4, 6, 6});
  EXPECT_STREQ(record(result).title, "sample");
  destroy(result);
  destroy(spectrum);
}

// The difference quotients divide by the spacing, whichever way it runs.
TEST_F(RangeSteps, DerivativeDividesByTheSpacing) {
  AP7_SPECTRUM* spectrum = source(10.0f, 2.0f, {0, 1, 4, 9, 16});
  AP7_SPECTRUM* result = derivative(AP7_MSG_DERIVATIVE, spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_NE(result, nullptr);
  expect_values(values(result), {-1, -1, -2, -3, -3});
  const float first_x = record(result).first_x;
  EXPECT_FLOAT_EQ(first_x, 10.0f);
  destroy(result);
  destroy(spectrum);
}

// A quadratic window reproduces a straight line, also where it narrows at
// the edges.
TEST_F(RangeSteps, SmoothingKeepsTheUnitsAndALine) {
  add_title_prefixes();
  std::vector<float> line(11);
  for (size_t i = 0; i < line.size(); ++i) line[i] = 3.0f + 0.5f * static_cast<float>(i);
  AP7_SPECTRUM* spectrum = source(0.0f, 10.0f, line);
  AP7_SPECTRUM* result = smooth(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 5);
  ASSERT_NE(result, nullptr);
  const uint32_t y_units = record(result).y_units;
  EXPECT_EQ(y_units, 17u);
  EXPECT_TRUE(flag(result, AP41_HISTORY_SMOOTH));
  EXPECT_FALSE(flag(result, AP41_HISTORY_DERIVATIVE));
  EXPECT_STREQ(record(result).title, "Smoothed: sample");
  EXPECT_EQ(list_count(result->list), 1u);
  expect_values(values(result), line, 1e-5f);
  destroy(result);
  destroy(spectrum);
}

// Kernel [1, 2, 1] sums the neighbours; kernel [1, 0, 0] takes the next
// point. Points of the range see their true neighbours, and the ends of the
// data zeros.
TEST_F(RangeSteps, ConvolutionOfARangeWithItsNeighbours) {
  AP7_SPECTRUM* spectrum = source(0.0f, 4.0f, {1, 2, 4, 8, 16});
  for (const auto& [taps, x1, x2, expected] :
       {std::tuple{std::vector<float>{1, 2, 1}, 1.0f, 3.0f, std::vector<float>{9, 18, 36}},
        std::tuple{std::vector<float>{1, 2, 1}, AP_NOT_GIVEN, AP_NOT_GIVEN, std::vector<float>{4, 9, 18, 36, 40}},
        std::tuple{std::vector<float>{1, 0, 0}, 1.0f, 3.0f, std::vector<float>{4, 8, 16}}}) {
    AP7_SPECTRUM* kernel = make_axis(-1.0f, 1.0f, taps);
    AP7_SPECTRUM* result = convolve(spectrum, x1, x2, kernel, 0);
    ASSERT_NE(result, nullptr);
    const uint32_t points = record(result).points;
    const float first_x = record(result).first_x;
    const float last_x = record(result).last_x;
    EXPECT_EQ(points, expected.size());
    EXPECT_FLOAT_EQ(first_x, x1 == AP_NOT_GIVEN ? 0.0f : x1);
    EXPECT_FLOAT_EQ(last_x, x2 == AP_NOT_GIVEN ? 4.0f : x2);
    EXPECT_TRUE(flag(result, AP41_HISTORY_CONVOLVED));
    EXPECT_STREQ(record(result).title, "sample");
    expect_values(values(result), expected, 1e-4f);
    destroy(result);
    destroy(kernel);
  }
  destroy(spectrum);
}

struct RefusedCase {
  const char* name;
  uint16_t message;
  float first_x;
  float last_x;
  uint32_t points;
  float x1;
  float x2;
  uint32_t window;  // message 69; kernel length for message 79
};

class RangeStepsRefused : public RangeSteps, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RangeStepsRefused, MakeNothing) {
  const RefusedCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(c.points, c.first_x, c.last_x);
  AP7_SPECTRUM* kernel = c.message == AP7_MSG_CONVOLVE ? make_ramp(c.window, 0.0f, 1.0f) : nullptr;
  const auto before = live_counts();
  AP7_SPECTRUM* result = nullptr;
  if (c.message == AP7_MSG_SG_SMOOTH)
    result = smooth(spectrum, c.x1, c.x2, c.window);
  else if (c.message == AP7_MSG_CONVOLVE)
    result = convolve(spectrum, c.x1, c.x2, kernel, 0);
  else
    result = derivative(c.message, spectrum, c.x1, c.x2);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(live_counts(), before);
  if (kernel != nullptr) destroy(kernel);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RangeStepsRefused,
    testing::Values(
        RefusedCase{"FirstOfThreePoints", AP7_MSG_DERIVATIVE, 0.0f, 2.0f, 3, AP_NOT_GIVEN, AP_NOT_GIVEN, 0},
        RefusedCase{"SecondOfThreePoints", AP7_MSG_SECOND_DERIVATIVE, 0.0f, 2.0f, 3, AP_NOT_GIVEN, AP_NOT_GIVEN, 0},
        RefusedCase{"FirstOfEqualEnds", AP7_MSG_DERIVATIVE, 5.0f, 5.0f, 6, AP_NOT_GIVEN, AP_NOT_GIVEN, 0},
        RefusedCase{"SecondOfEqualEnds", AP7_MSG_SECOND_DERIVATIVE, 5.0f, 5.0f, 6, AP_NOT_GIVEN, AP_NOT_GIVEN, 0},
        RefusedCase{"FirstOutsideTheData", AP7_MSG_DERIVATIVE, 0.0f, 9.0f, 10, 20.0f, 30.0f, 0},
        RefusedCase{"SecondOutsideTheData", AP7_MSG_SECOND_DERIVATIVE, 0.0f, 9.0f, 10, -30.0f, -20.0f, 0},
        RefusedCase{"SmoothOutsideTheData", AP7_MSG_SG_SMOOTH, 0.0f, 29.0f, 30, 40.0f, 50.0f, 5},
        RefusedCase{"SmoothEvenWindow", AP7_MSG_SG_SMOOTH, 0.0f, 29.0f, 30, AP_NOT_GIVEN, AP_NOT_GIVEN, 4},
        RefusedCase{"SmoothWindowOf27", AP7_MSG_SG_SMOOTH, 0.0f, 29.0f, 30, AP_NOT_GIVEN, AP_NOT_GIVEN, 27},
        RefusedCase{"SmoothWindowOf3", AP7_MSG_SG_SMOOTH, 0.0f, 29.0f, 30, AP_NOT_GIVEN, AP_NOT_GIVEN, 3},
        RefusedCase{"SmoothHugeWindow", AP7_MSG_SG_SMOOTH, 0.0f, 29.0f, 30, AP_NOT_GIVEN, AP_NOT_GIVEN, 0x80000001u},
        RefusedCase{"ConvolveEvenKernel", AP7_MSG_CONVOLVE, 0.0f, 9.0f, 10, AP_NOT_GIVEN, AP_NOT_GIVEN, 4},
        RefusedCase{"ConvolveOutsideTheData", AP7_MSG_CONVOLVE, 0.0f, 9.0f, 10, 20.0f, 30.0f, 3}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST_F(RangeSteps, ConvolutionNeedsAKernelSpectrum) {
  AP7_SPECTRUM* spectrum = make_ramp(10, 0.0f, 9.0f);
  AP4_ARRAY* array = spectrum->data;
  const auto before = live_counts();
  EXPECT_EQ(convolve(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, nullptr, 0), nullptr);
  EXPECT_EQ(convolve(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, reinterpret_cast<AP7_SPECTRUM*>(array), 0), nullptr);
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

}  // namespace
