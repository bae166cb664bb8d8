// Spectra made from array columns (numbered, eigenvector and pure-component
// spectra with their titles and scaling) and signal correction of one
// spectrum onto another, worked on closed forms.
#include <cmath>
#include <cstring>
#include <string>

#include "processing_fixture.h"

using namespace spectrumtest;

namespace {

constexpr uint32_t kTransmittance = 23;

class Columns : public ProcessingTest {
 protected:
  // A template of four points over 1..4 titled "Template".
  AP7_SPECTRUM* templ(uint32_t y_units = kAbsorbance) {
    AP7_SPECTRUM* spectrum = keep(make_axis(1.0f, 4.0f, {9.0f, 9.0f, 9.0f, 9.0f}));
    record(spectrum).y_units = y_units;
    std::strcpy(record(spectrum).title, "Template");
    return spectrum;
  }
  // An array of the rows given.
  AP4_ARRAY* array_of(const std::vector<std::vector<float>>& rows) {
    const auto columns = static_cast<uint32_t>(rows[0].size());
    AP4_ARRAY* array = arraytest::make(static_cast<uint32_t>(rows.size()), columns);
    float* data = ap4a_GetDataAddress(array);
    for (size_t r = 0; r < rows.size(); ++r)
      for (uint32_t c = 0; c < columns; ++c) data[r * columns + c] = rows[r][c];
    return keep(array);
  }
  // Column 2 holds 2, 5, 3, 4.
  AP4_ARRAY* factors() { return array_of({{0, 1, 2}, {0, 1, 5}, {0, 1, 3}, {0, 1, 4}}); }
};

void add_column_titles(const std::vector<utiltest::Record>& records) {
  utiltest::ModuleBuilder builder;
  builder.group(AP7_GROUP_COLUMN_TITLES, records);
  utiltest::add_resource_module("column_titles.dll", builder);
}

const std::vector<utiltest::Record> kTitles = {{AP7_TITLE_EIGENVECTOR, "Eigenvector %ld: %.2f%%, %g", 0},
                                               {AP7_TITLE_NUMBERED, "Component %ld", 0},
                                               {AP7_TITLE_NUMBERED_PREFIX, "Factor ", 0}};

}  // namespace

TEST_F(Columns, NumberedSpectrumTakesTheColumnAndTheTitleOfItsMode) {
  add_column_titles(kTitles);
  const std::string long_text(60, 'x');
  struct Case {
    int16_t mode;
    const char* text;
    std::string title;
  };
  const Case cases[] = {
      {AP7_NUMBERED_FORMAT, "ignored", "Component 3"},
      {AP7_NUMBERED_PREFIXED, "abc", "Factor abc"},
      {AP7_NUMBERED_PREFIXED, nullptr, "Factor #3"},
      {AP7_NUMBERED_PREFIXED, long_text.c_str(), "Factor " + std::string(33, 'x')},
      {AP7_NUMBERED_TEXT, "Own title", "Own title"},
      {AP7_NUMBERED_TEXT, nullptr, "#3"},
      {7, "ignored", "#3"},
  };
  AP7_SPECTRUM* spectrum = templ();
  AP4_ARRAY* array = factors();
  for (const Case& c : cases) {
    AP7_NUMBEREDPARM parameter{array, 2, c.mode, c.text};
    auto* made = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_BUILD_NUMBERED, spectrum, &parameter)));
    ASSERT_NE(made, nullptr) << c.mode;
    EXPECT_EQ(values(made), (std::vector<float>{2.0f, 5.0f, 3.0f, 4.0f}));
    EXPECT_EQ(record(made).title, c.title) << c.mode;
  }
  EXPECT_EQ(std::string(record(spectrum).title), "Template");
  EXPECT_EQ(values(spectrum), std::vector<float>(4, 9.0f));
}

TEST_F(Columns, TitleTextsTheResourcesLackOrThatTakeOtherArgumentsAreNotUsed) {
  add_column_titles({{AP7_TITLE_EIGENVECTOR, "Eigenvector %s", 0}, {AP7_TITLE_NUMBERED, "Component %d", 0}});
  AP7_SPECTRUM* spectrum = templ();
  AP4_ARRAY* array = factors();
  AP7_SPECTRUM* numbered = keep(AP7_BuildNumberedSpectrum_SPECTRUM(spectrum, array, 2, AP7_NUMBERED_FORMAT, nullptr));
  AP7_SPECTRUM* eigen = keep(AP7_BuildEigenSpectrum_SPECTRUM(spectrum, array, 2, 1.0f, 2.0f));
  AP7_SPECTRUM* prefixed = keep(AP7_BuildNumberedSpectrum_SPECTRUM(spectrum, array, 2, AP7_NUMBERED_PREFIXED, "abc"));
  ASSERT_NE(numbered, nullptr);
  ASSERT_NE(eigen, nullptr);
  ASSERT_NE(prefixed, nullptr);
  EXPECT_STREQ(record(numbered).title, "Template");
  EXPECT_STREQ(record(eigen).title, "Template");
  EXPECT_STREQ(record(prefixed).title, "abc");
}

TEST_F(Columns, EigenvectorTitleFormatsTheColumnAndBothValues) {
  add_column_titles(kTitles);
  AP7_SPECTRUM* spectrum = templ();
  AP7_EIGENPARM parameter{factors(), 0, 12.5f, 0.25f};
  auto* made = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_BUILD_EIGEN, spectrum, &parameter)));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(values(made), std::vector<float>(4, 0.0f));
  EXPECT_STREQ(record(made).title, "Eigenvector 1: 12.50%, 0.25");
}

TEST_F(Columns, PureComponentIsScaledByItsRangeFromItsPeakDirection) {
  struct Case {
    uint32_t y_units;
    std::vector<std::vector<float>> rows;
    std::vector<float> expected;
    float reference;
  };
  const Case cases[] = {
      // Peaks up: the reference is the minimum 2, range 3.
      {kAbsorbance, {{2}, {5}, {3}, {4}}, {2.0f / 3, 5.0f / 3, 1.0f, 4.0f / 3}, 2.0f / 3},
      // Peaks down: the maximum.
      {kTransmittance, {{2}, {5}, {3}, {4}}, {2.0f / 3, 5.0f / 3, 1.0f, 4.0f / 3}, 5.0f / 3},
      // A constant column stays unscaled.
      {kAbsorbance, {{2}, {2}, {2}, {2}}, {2.0f, 2.0f, 2.0f, 2.0f}, 2.0f},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = templ(c.y_units);
    float reference = -1.0f;
    AP7_PUREPARM parameter{array_of(c.rows), 0, "Pure", &reference};
    auto* made = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_BUILD_PURE, spectrum, &parameter)));
    ASSERT_NE(made, nullptr);
    const std::vector<float> y = values(made);
    for (size_t i = 0; i < y.size(); ++i) EXPECT_FLOAT_EQ(y[i], c.expected[i]) << i;
    EXPECT_FLOAT_EQ(reference, c.reference);
    EXPECT_STREQ(record(made).title, "Pure");
  }
  // Without a title the template's stays; without a reference nothing is written.
  AP7_SPECTRUM* made = keep(AP7_BuildPureSpectrum_SPECTRUM(templ(), factors(), 2, nullptr, nullptr));
  ASSERT_NE(made, nullptr);
  EXPECT_STREQ(record(made).title, "Template");
}

TEST_F(Columns, RefusesColumnsThatAreNotThereOrDoNotFit) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make_axis(1.0f, 4.0f, {9.0f, 9.0f, 9.0f, 9.0f});
  AP4_ARRAY* array = arraytest::make(4, 3);
  AP4_ARRAY* too_long = arraytest::make(5, 1);
  auto* not_a_spectrum = reinterpret_cast<AP7_SPECTRUM*>(array);
  auto* not_an_array = reinterpret_cast<AP4_ARRAY*>(spectrum);
  float reference = 0.0f;
  EXPECT_EQ(AP7_BuildPureSpectrum_SPECTRUM(spectrum, array, 3, nullptr, &reference), nullptr);
  EXPECT_EQ(AP7_BuildPureSpectrum_SPECTRUM(spectrum, too_long, 0, nullptr, &reference), nullptr);
  EXPECT_EQ(AP7_BuildPureSpectrum_SPECTRUM(spectrum, not_an_array, 0, nullptr, &reference), nullptr);
  EXPECT_EQ(AP7_BuildPureSpectrum_SPECTRUM(not_a_spectrum, array, 0, nullptr, &reference), nullptr);
  EXPECT_EQ(AP7_BuildEigenSpectrum_SPECTRUM(spectrum, array, UINT32_MAX, 0.0f, 0.0f), nullptr);
  EXPECT_EQ(AP7_BuildNumberedSpectrum_SPECTRUM(spectrum, nullptr, 0, 0, nullptr), nullptr);
  // A shorter column would leave the template's values behind it.
  AP4_ARRAY* two = arraytest::make(2, 1);
  EXPECT_EQ(AP7_BuildNumberedSpectrum_SPECTRUM(spectrum, two, 0, AP7_NUMBERED_TEXT, "t"), nullptr);
  for (AP4_ARRAY* a : {array, too_long, two}) EXPECT_EQ(arraytest::destroy(a), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

// ---------------------------------------------------------------------------
// Signal correction

namespace {

const std::vector<float> kA = {1.0f, 4.0f, 2.0f, 8.0f, 5.0f, 7.0f, 3.0f, 6.0f, 0.0f, 9.0f};

std::vector<float> linear_of(const std::vector<float>& a, float slope, float offset) {
  std::vector<float> b;
  for (float v : a) b.push_back(slope * v + offset);
  return b;
}

void expect_near(const std::vector<float>& got, const std::vector<float>& expected, float tolerance) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], tolerance) << i;
}

}  // namespace

// B = 2A + 3: the slope of A on B is 1/2 and the offset 0 - 1.5 so that
// (A - o) / s gives B again.
TEST_F(Columns, SignalCorrectionBringsASpectrumOntoALinearFunctionOfIt) {
  AP7_SPECTRUM* a = keep(make_axis(0.0f, 9.0f, kA));
  AP7_SPECTRUM* b = keep(make_axis(0.0f, 9.0f, linear_of(kA, 2.0f, 3.0f)));
  const std::vector<float> before = values(a);
  float slope = 99.0f;
  float offset = 99.0f;
  AP7_SIGNALCORRECTPARM parameter{b, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 1, 0, 0.0f, 0.0f, &slope, &offset};
  auto* made = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SIGNAL_CORRECT, a, &parameter)));
  ASSERT_NE(made, nullptr);
  EXPECT_NEAR(slope, 0.5f, 1e-6);
  EXPECT_NEAR(offset, -1.5f, 1e-5);
  expect_near(values(made), values(b), 1e-5f);
  EXPECT_EQ(values(a), before);
  // The offset alone.
  slope = offset = 99.0f;
  made = keep(AP7_SignalCorrect_SPECTRUM(a, b, AP_NOT_GIVEN, 0.0f, 0, 1, 0, 0.0f, 0.0f, &slope, &offset));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(slope, 0.0f);
  EXPECT_NEAR(offset, -1.5f, 1e-5);
  expect_near(values(made), linear_of(kA, 1.0f, 1.5f), 1e-5f);
}

TEST_F(Columns, SignalCorrectionFitsTheCommonRegionAndCountablePairsOnly) {
  const float nan = AP1_GetNaNSG_MATH();
  struct Case {
    const char* name;
    float a_first;
    float a_last;
    float b_first;
    float b_last;
    float x1;
    float x2;
    int16_t limit;
    int spoiled;  // index of B (0..9) given a value off the line, -1 none
    float spoiled_value;
  };
  const Case cases[] = {
      {"region inside both", 0, 9, 0, 9, 2, 6, 0, 8, 500.0f},
      {"B's axis shifted by 3", 0, 9, 3, 12, AP_NOT_GIVEN, AP_NOT_GIVEN, 0, 9, 500.0f},
      {"falling axes", 9, 0, 9, 0, 7.0f, 3.0f, 0, 0, 500.0f},
      {"limits drop a pair", 0, 9, 0, 9, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 4, 500.0f},
      {"a missing value is skipped", 0, 9, 0, 9, AP_NOT_GIVEN, AP_NOT_GIVEN, 0, 4, nan},
  };
  for (const Case& c : cases) {
    // B holds 2A + 3 at the X values both share.
    const int shift = static_cast<int>(c.b_first - c.a_first);
    std::vector<float> b_values(10);
    for (int i = 0; i < 10; ++i) {
      const int j = i + shift;
      b_values[i] = 2.0f * (j < 10 ? kA[j] : 0.0f) + 3.0f;
    }
    if (c.spoiled >= 0) b_values[c.spoiled] = c.spoiled_value;
    AP7_SPECTRUM* a = keep(make_axis(c.a_first, c.a_last, kA));
    AP7_SPECTRUM* b = keep(make_axis(c.b_first, c.b_last, b_values));
    float slope = 0.0f;
    float offset = 0.0f;
    AP7_SPECTRUM* made = keep(AP7_SignalCorrect_SPECTRUM(a, b, c.x1, c.x2, 1, 1, c.limit, -1.0f, 100.0f, &slope,
                                                         &offset));
    ASSERT_NE(made, nullptr) << c.name;
    EXPECT_NEAR(slope, 0.5f, 1e-6) << c.name;
    EXPECT_NEAR(offset, -1.5f, 1e-5) << c.name;
    expect_near(values(made), linear_of(kA, 2.0f, 3.0f), 1e-4f);
  }
}

TEST_F(Columns, SignalCorrectionRefusesWithZeroOutputs) {
  const auto counts = live_counts();
  AP7_SPECTRUM* a = make_axis(0.0f, 9.0f, kA);
  AP7_SPECTRUM* b = make_axis(0.0f, 9.0f, linear_of(kA, 2.0f, 3.0f));
  AP7_SPECTRUM* coarse = make_axis(0.0f, 18.0f, kA);
  AP7_SPECTRUM* apart = make_axis(20.0f, 29.0f, kA);
  std::vector<float> few(10, 5.0f);
  few[0] = 1.0f;
  few[1] = 2.0f;
  const float nan = AP1_GetNaNSG_MATH();
  for (float& v : few) v = v == 5.0f ? nan : v;
  AP7_SPECTRUM* mostly_missing = make_axis(0.0f, 9.0f, few);
  struct Case {
    const char* name;
    AP7_SPECTRUM* other;
    float x1;
    float x2;
  };
  const Case cases[] = {
      {"spacings differ", coarse, AP_NOT_GIVEN, AP_NOT_GIVEN},
      {"no common range", apart, AP_NOT_GIVEN, AP_NOT_GIVEN},
      {"one point", b, 4.0f, 4.0f},
      {"region outside the common range", b, 12.0f, 15.0f},
      {"a limit that is not a number", b, nan, 5.0f},
      {"two pairs with values", mostly_missing, AP_NOT_GIVEN, AP_NOT_GIVEN},
      {"not a spectrum", reinterpret_cast<AP7_SPECTRUM*>(a->data), AP_NOT_GIVEN, AP_NOT_GIVEN},
  };
  for (const Case& c : cases) {
    float slope = 99.0f;
    float offset = 99.0f;
    EXPECT_EQ(AP7_SignalCorrect_SPECTRUM(a, c.other, c.x1, c.x2, 1, 1, 0, 0.0f, 0.0f, &slope, &offset), nullptr)
        << c.name;
    EXPECT_EQ(slope, 0.0f) << c.name;
    EXPECT_EQ(offset, 0.0f) << c.name;
  }
  for (AP7_SPECTRUM* spectrum : {a, b, coarse, apart, mostly_missing}) EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}
