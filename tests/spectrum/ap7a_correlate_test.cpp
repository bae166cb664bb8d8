#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Concentrations : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    separator_ = GUX_GetInternationalChar(GUX_LIST);
    GUX_SetInternationalChar(',', GUX_LIST);
  }
  void TearDown() override {
    GUX_SetInternationalChar(separator_, GUX_LIST);
    SpectrumTest::TearDown();
  }
  static AP4_ARRAY* array_of(const std::vector<float>& y) {
    AP4_ARRAY* array = ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(y.size()), nullptr);
    float* data = ap4a_GetDataAddress(array);
    for (size_t i = 0; i < y.size(); ++i) data[i] = y[i];
    return array;
  }
  static uint32_t add(AP7_SPECTRUM* spectrum, AP4_ARRAY* values) {
    return send(AP7_MSG_ADD_CONCENTRATION_TEXT, spectrum, values);
  }
  static std::string comment(AP7_SPECTRUM* spectrum) {
    const char* text = ap7d_GetCommentText(spectrum);
    return text != nullptr ? text : "";
  }

 private:
  char separator_ = ';';
};

struct TextCase {
  const char* name;
  std::string comment;
  std::vector<float> values;
  std::string expected;
};

class ConcentrationTexts : public Concentrations, public testing::WithParamInterface<TextCase> {};

TEST_P(ConcentrationTexts, AreAppendedToTheComment) {
  const TextCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make(3);
  if (!c.comment.empty()) ap7d_SetCommentText(spectrum, c.comment.c_str());
  AP4_ARRAY* values = array_of(c.values);
  EXPECT_EQ(add(spectrum, values), 1u);
  EXPECT_EQ(comment(spectrum), c.expected);
  ap4a_Delete(values, nullptr);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConcentrationTexts,
    testing::Values(TextCase{"Example", "", {0.5f, 12.25f, 20000.0f}, "Concs={0.50000,12.250,20000,}c\r\n"},
                    // Each magnitude below 1, 10, 100, 1000 and 10000 has one
                    // decimal fewer than the last; the sign does not count.
                    TextCase{"DecimalsByMagnitude",
                             "",
                             {-0.25f, 5.5f, 99.5f, 999.5f, 9999.5f, -12345.0f},
                             "Concs={-0.25000,5.5000,99.500,999.50,9999.5,-12345,}c\r\n"},
                    TextCase{"AfterAnOpenLine", "first", {1.0f}, "first\r\nConcs={1.0000,}c\r\n"},
                    TextCase{"AfterALineEnd", "first\r\n", {1.0f}, "first\r\nConcs={1.0000,}c\r\n"}),
    [](const testing::TestParamInfo<TextCase>& info) { return info.param.name; });

TEST_F(Concentrations, NeedAnArray) {
  AP7_SPECTRUM* spectrum = make(3);
  AP7_SPECTRUM* other = make(3);
  EXPECT_EQ(add(spectrum, reinterpret_cast<AP4_ARRAY*>(other)), 0u);
  EXPECT_EQ(add(spectrum, nullptr), 0u);
  EXPECT_EQ(comment(spectrum), "");
  destroy(other);
  destroy(spectrum);
}

class Correlation : public SpectrumTest {
 protected:
  static uint32_t correlate(AP7_SPECTRUM* a, AP7_SPECTRUM* b, uint32_t mode, float* result,
                            float x1 = AP_NOT_GIVEN, float x2 = AP_NOT_GIVEN) {
    AP7_CORRELATEPARM parameter{b, mode, x1, x2, result};
    return send(AP7_MSG_CORRELATE_SPECTRA, a, &parameter);
  }
  // The coefficient of two spectra on the axis 0, 1, ..., n - 1.
  static float coefficient(const std::vector<float>& a, const std::vector<float>& b, uint32_t mode) {
    AP7_SPECTRUM* first = make_axis(0.0f, static_cast<float>(a.size() - 1), a);
    AP7_SPECTRUM* second = make_axis(0.0f, static_cast<float>(b.size() - 1), b);
    float result = -5.0f;
    const auto before = live_counts();
    EXPECT_EQ(correlate(first, second, mode, &result), AP7_CORRELATION_DONE);
    EXPECT_EQ(live_counts(), before);
    destroy(second);
    destroy(first);
    return result;
  }
};

struct CoefficientCase {
  const char* name;
  std::vector<float> a;
  std::vector<float> b;
  uint32_t mode;
  float expected;
};

class Coefficients : public Correlation, public testing::WithParamInterface<CoefficientCase> {};

TEST_P(Coefficients, AreWorkedOut) {
  const CoefficientCase& c = GetParam();
  EXPECT_FLOAT_EQ(coefficient(c.a, c.b, c.mode), c.expected);
}

const std::vector<float> kVarying = {1, 3, 2, 5, 4, 7};

INSTANTIATE_TEST_SUITE_P(
    Cases, Coefficients,
    testing::Values(
        CoefficientCase{"SelfCentred", kVarying, kVarying, AP7_CORRELATE_CENTRED, 1.0f},
        CoefficientCase{"NegativeCentred", kVarying, {-1, -3, -2, -5, -4, -7}, AP7_CORRELATE_CENTRED, -1.0f},
        CoefficientCase{"TwoConstants", {2, 2, 2, 2}, {5, 5, 5, 5}, AP7_CORRELATE_CENTRED, 1.0f},
        CoefficientCase{"ConstantAgainstVarying", {2, 2, 2, 2}, {1, 3, 2, 5}, AP7_CORRELATE_CENTRED, 0.0f},
        // Sab = 4, Saa = 14, Sbb = 2.
        CoefficientCase{"Raw", {1, 2, 3}, {1, 0, 1}, AP7_CORRELATE_RAW, static_cast<float>(4 / std::sqrt(28.0))},
        // Means 2 and 2/3: u = -1, 0, 1; v = 1/3, -2/3, 1/3: Sab = 0.
        CoefficientCase{"CentredUncorrelated", {1, 2, 3}, {1, 0, 1}, AP7_CORRELATE_CENTRED, 0.0f},
        // Differences 4, 8, 12 against 2, 2, 2: Sab = 48, Saa = 224, Sbb = 12.
        CoefficientCase{"Differences", {0, 1, 4, 9, 16}, {0, 1, 2, 3, 4}, AP7_CORRELATE_DIFFERENCES,
                        static_cast<float>(48 / std::sqrt(2688.0))},
        // Pairs 0 and 3 only: Sab = 6, Saa = 17, Sbb = 5.
        CoefficientCase{"MissingValuesSkipped", {1, NAN, 3, 4}, {2, 5, NAN, 1}, AP7_CORRELATE_RAW,
                        static_cast<float>(6 / std::sqrt(85.0))}),
    [](const testing::TestParamInfo<CoefficientCase>& info) { return info.param.name; });

struct StatusCase {
  const char* name;
  float a_first;
  float a_last;
  float b_first;
  float b_last;
  uint32_t mode;
  float x1;
  float x2;
  uint32_t status;
  float expected;
};

class Statuses : public Correlation, public testing::WithParamInterface<StatusCase> {};

// Linear values on both axes: where they correlate they correlate fully.
TEST_P(Statuses, NameTheFirstFailedCheck) {
  const StatusCase& c = GetParam();
  AP7_SPECTRUM* a = make_ramp(5, c.a_first, c.a_last);
  AP7_SPECTRUM* b = make_ramp(5, c.b_first, c.b_last);
  float result = -5.0f;
  const auto before = live_counts();
  EXPECT_EQ(correlate(a, b, c.mode, &result, c.x1, c.x2), c.status);
  EXPECT_FLOAT_EQ(result, c.expected);
  EXPECT_EQ(live_counts(), before);
  destroy(b);
  destroy(a);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Statuses,
    testing::Values(
        StatusCase{"ModeThree", 0, 4, 0, 4, 3, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_BAD_MODE, 0.0f},
        StatusCase{"SpacingsDiffer", 0, 4, 0, 8, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_SPACINGS_DIFFER, 0.0f},
        StatusCase{"OppositeDirections", 0, 4, 4, 0, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_SPACINGS_DIFFER,
                   0.0f},
        StatusCase{"NoOverlap", 0, 4, 10, 14, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_NO_OVERLAP, 0.0f},
        StatusCase{"RangeOutside", 0, 4, 2, 6, 1, 20.0f, 30.0f, AP7_CORRELATION_RANGE_OUTSIDE, 0.0f},
        StatusCase{"RangeNotANumber", 0, 4, 2, 6, 1, NAN, 3.0f, AP7_CORRELATION_RANGE_OUTSIDE, 0.0f},
        StatusCase{"OnePointInCommon", 0, 4, 4, 8, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_CUT_FAILED, 0.0f},
        StatusCase{"TooFewForDifferences", 0, 4, 3, 7, 2, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_NO_PAIRS, 0.0f},
        StatusCase{"Overlap", 0, 4, 2, 6, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_DONE, 1.0f},
        StatusCase{"RangeClippedToTheOverlap", 0, 4, 2, 6, 1, 10.0f, -10.0f, AP7_CORRELATION_DONE, 1.0f},
        StatusCase{"FallingAxes", 4, 0, 6, 2, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_DONE, 1.0f},
        // The grids lie half a spacing apart: the cut copies may differ in
        // length, and only the points both hold are paired.
        StatusCase{"OffsetGrids", 0, 4, 0.5f, 4.5f, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7_CORRELATION_DONE, 1.0f}),
    [](const testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

TEST_F(Correlation, ChecksItsObjectsFirst) {
  AP7_SPECTRUM* a = make_ramp(5, 0.0f, 4.0f);
  float result = -5.0f;
  EXPECT_EQ(correlate(a, nullptr, 1, &result), AP7_CORRELATION_NOT_SPECTRA);
  EXPECT_FLOAT_EQ(result, 0.0f);
  result = -5.0f;
  EXPECT_EQ(correlate(a, reinterpret_cast<AP7_SPECTRUM*>(a->data), 1, &result), AP7_CORRELATION_NOT_SPECTRA);
  EXPECT_FLOAT_EQ(result, 0.0f);
  EXPECT_EQ(correlate(a, nullptr, 1, nullptr), AP7_CORRELATION_NOT_SPECTRA);
  EXPECT_EQ(correlate(a, a, 1, nullptr), AP7_CORRELATION_NO_RESULT);
  EXPECT_EQ(ap7a_CorrelateSpectra(nullptr, a, 1, AP_NOT_GIVEN, AP_NOT_GIVEN, &result), AP7_CORRELATION_NOT_SPECTRA);
  destroy(a);
}

TEST_F(Correlation, WithoutPresentPairsFails) {
  AP7_SPECTRUM* a = make_axis(0.0f, 3.0f, {NAN, NAN, 1, 2});
  AP7_SPECTRUM* b = make_axis(0.0f, 3.0f, {1, 2, NAN, NAN});
  float result = -5.0f;
  const auto before = live_counts();
  EXPECT_EQ(correlate(a, b, 0, &result), AP7_CORRELATION_NO_PAIRS);
  EXPECT_FLOAT_EQ(result, 0.0f);
  EXPECT_EQ(live_counts(), before);
  destroy(b);
  destroy(a);
}

// ---------------------------------------------------------------------------
// Similarity index

class Similarity : public SpectrumTest {
 protected:
  // The index of two spectra on the axis 0, 1, ..., n - 1 (b's axis may be
  // moved), and the message's answer.
  static uint32_t similarity(const std::vector<float>& a, const std::vector<float>& b, uint16_t sharpen,
                             float* index, float b_first = 0.0f, float x1 = AP_NOT_GIVEN, float x2 = AP_NOT_GIVEN) {
    AP7_SPECTRUM* first = make_axis(0.0f, static_cast<float>(a.size() - 1), a);
    AP7_SPECTRUM* second = make_axis(b_first, b_first + static_cast<float>(b.size() - 1), b);
    const auto before = live_counts();
    AP7_SIMILARITYPARM parameter{second, x1, x2, sharpen, index};
    const uint32_t answer = send(AP7_MSG_SIMILARITY_INDEX, first, &parameter);
    EXPECT_EQ(live_counts(), before);
    destroy(second);
    destroy(first);
    return answer;
  }
};

TEST_F(Similarity, IsTheSizeOfTheDifferenceCoefficientOnAScaleOfAHundred) {
  // Differences two points apart: a = 4, 8, 12 and b = 2, 2, 2.
  const std::vector<float> squares = {0, 1, 4, 9, 16};
  const std::vector<float> line = {0, 1, 2, 3, 4};
  const double r = 48.0 / std::sqrt(224.0 * 12.0);
  float index = -1.0f;
  ASSERT_EQ(similarity(squares, line, 0, &index), 1u);
  EXPECT_NEAR(index, 100.0 * r, 1e-4);
  ASSERT_EQ(similarity(squares, line, 1, &index), 1u);
  EXPECT_NEAR(index, 100.0 * (r + std::pow(r, 21)) / 2, 1e-4);
  // A spectrum against its negative is as similar as against itself.
  const std::vector<float> negative = {0, -1, -4, -9, -16};
  ASSERT_EQ(similarity(squares, negative, 0, &index), 1u);
  EXPECT_NEAR(index, 100.0f, 1e-4);
  // Only the overlap 2..4 counts: one pair, fully alike.
  ASSERT_EQ(similarity(squares, {4, 9, 16, 25, 36}, 0, &index, 2.0f), 1u);
  EXPECT_NEAR(index, 100.0f, 1e-4);
  // A missing value leaves its pairs out: 4 and 12 against 2 and 2.
  ASSERT_EQ(similarity({0, 1, 4, NAN, 16}, line, 0, &index), 1u);
  EXPECT_NEAR(index, 100.0 * 32.0 / std::sqrt(160.0 * 8.0), 1e-4);
}

TEST_F(Similarity, FailsWithAnIndexOfZeroRatherThanAQuotientOfZeros) {
  const std::vector<float> line = {0, 1, 2, 3, 4};
  float index = -1.0f;
  EXPECT_EQ(similarity(line, {3, 3, 3, 3, 3}, 0, &index), 0u);  // flat differences
  EXPECT_EQ(index, 0.0f);
  index = -1.0f;
  EXPECT_EQ(similarity(line, line, 0, &index, 10.0f), 0u);  // no overlap
  EXPECT_EQ(index, 0.0f);
  EXPECT_EQ(similarity({NAN, NAN, 1, 2, NAN}, line, 0, &index), 0u);  // no pair of present values
  EXPECT_EQ(similarity(line, line, 0, &index, 0.0f, 7.0f, 9.0f), 0u);  // range outside both
  EXPECT_EQ(similarity(line, line, 0, nullptr), 0u);
  AP7_SPECTRUM* a = make_ramp(5, 0.0f, 4.0f);
  EXPECT_EQ(ap7d_SimilarityIndex(a, reinterpret_cast<AP7_SPECTRUM*>(a->data), AP_NOT_GIVEN, AP_NOT_GIVEN, 0, &index),
            0u);
  destroy(a);
}

}  // namespace
