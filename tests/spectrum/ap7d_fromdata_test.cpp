// A spectrum evaluated from polynomial coefficients on an axis: values at
// each point's X in the axis's own order, either shape of coefficient
// vector, and the shapes and counts refused.
#include "spectrum/spectrum_fixture.h"

using namespace spectrumtest;

namespace {

class FromData : public SpectrumTest {};

AP4_ARRAY* coefficients_of(const std::vector<float>& c, bool as_row) {
  const auto n = static_cast<uint32_t>(c.size());
  AP4_ARRAY* array = as_row ? arraytest::make(1, n) : arraytest::make(n, 1);
  float* data = ap4a_GetDataAddress(array);
  for (uint32_t i = 0; i < n; ++i) data[i] = c[i];
  return array;
}

}  // namespace

TEST_F(FromData, EvaluatesEachPointInTheAxisOrderFromARowOrAColumn) {
  const auto counts = live_counts();
  // 1 + 2x + x^2/2 on a falling axis 4, 3, ..., 0.
  for (bool as_row : {true, false}) {
    AP4_ARRAY* c = coefficients_of({1.0f, 2.0f, 0.5f}, as_row);
    AP7_SPECTRUM* spectrum = ap7d_NewFromData(AP7_CLASS_ID, 4.0f, 0.0f, 5, c);
    ASSERT_NE(spectrum, nullptr);
    EXPECT_EQ(values(spectrum), (std::vector<float>{17.0f, 11.5f, 7.0f, 3.5f, 1.0f}));
    EXPECT_EQ(packed(record(spectrum).points), 5u);
    EXPECT_EQ(packed(record(spectrum).first_x), 4.0f);
    EXPECT_EQ(packed(record(spectrum).last_x), 0.0f);
    EXPECT_EQ(destroy(spectrum), 1u);
    EXPECT_EQ(arraytest::destroy(c), 1u);
  }
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(FromData, LargeXValuesKeepTheBaselineExact) {
  // 0.25 + 1e-3 (x - 4000)^2 expanded: the powers of x are large beside the value.
  AP4_ARRAY* c = coefficients_of({16000.25f, -8.0f, 0.001f}, true);
  AP7_SPECTRUM* spectrum = ap7d_NewFromData(AP7_CLASS_ID, 3990.0f, 4010.0f, 21, c);
  ASSERT_NE(spectrum, nullptr);
  const std::vector<float> y = values(spectrum);
  for (int i = 0; i < 21; ++i) {
    const double d = i - 10.0;
    EXPECT_NEAR(y[i], 0.25 + 1e-3 * d * d, 2e-3) << i;
  }
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(arraytest::destroy(c), 1u);
}

TEST_F(FromData, RefusesOtherClassesCountsAndShapes) {
  const auto counts = live_counts();
  AP4_ARRAY* c = coefficients_of({1.0f, 2.0f}, true);
  AP4_ARRAY* nine = coefficients_of(std::vector<float>(9, 1.0f), false);
  AP4_ARRAY* square = arraytest::make(2, 2);
  EXPECT_EQ(ap7d_NewFromData(AP4_CLASS_ID, 0.0f, 1.0f, 5, c), nullptr);
  EXPECT_EQ(ap7d_NewFromData(AP7_CLASS_ID, 0.0f, 1.0f, 1, c), nullptr);
  EXPECT_EQ(ap7d_NewFromData(AP7_CLASS_ID, 0.0f, AP1_GetNaNSG_MATH(), 5, c), nullptr);
  EXPECT_EQ(ap7d_NewFromData(AP7_CLASS_ID, 0.0f, 1.0f, 5, nine), nullptr);
  EXPECT_EQ(ap7d_NewFromData(AP7_CLASS_ID, 0.0f, 1.0f, 5, square), nullptr);
  EXPECT_EQ(ap7d_NewFromData(AP7_CLASS_ID, 0.0f, 1.0f, 5, nullptr), nullptr);
  for (AP4_ARRAY* array : {c, nine, square}) EXPECT_EQ(arraytest::destroy(array), 1u);
  EXPECT_EQ(live_counts(), counts);
}
