#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Services : public SpectrumTest {};

TEST_F(Services, ScaledSubtractionWorksOverTheCommonRangeAndCutsToIt) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {10, 20, 30, 40, 50});
  AP7_SPECTRUM* other = make_axis(2.0f, 6.0f, {1, 2, 3, 4, 5});
  record(spectrum).p39 = 3.0f;
  record(other).p39 = 4.0f;
  AP7_SUBTRACTSCALEDPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, other, 2.0f};
  ASSERT_EQ(send(AP7_MSG_SUBTRACT_SCALED, spectrum, &parameter), 1u);
  // X 2..4: 30 - 2x1, 40 - 2x2, 50 - 2x3.
  EXPECT_EQ(values(spectrum), (std::vector<float>{28, 36, 44}));
  EXPECT_EQ(packed(record(spectrum).first_x), 2.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 4.0f);
  EXPECT_EQ(packed(record(spectrum).p39), 5.0f);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_ADD_SUBTRACT), 1);
  // k = 0 keeps the values but still cuts and combines the noise.
  AP7_SPECTRUM* wide = make_axis(0.0f, 4.0f, {10, 20, 30, 40, 50});
  record(wide).p39 = 3.0f;
  parameter.k = 0.0f;
  ASSERT_EQ(send(AP7_MSG_SUBTRACT_SCALED, wide, &parameter), 1u);
  EXPECT_EQ(values(wide), (std::vector<float>{30, 40, 50}));
  EXPECT_EQ(packed(record(wide).p39), 5.0f);
  for (AP7_SPECTRUM* object : {spectrum, other, wide}) EXPECT_EQ(destroy(object), 1u);
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(Services, ScaledSubtractionOfAnotherSpacingChangesNothing) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {10, 20, 30, 40, 50});
  AP7_SPECTRUM* other = make_axis(0.0f, 8.0f, {1, 2, 3, 4, 5});
  const AP41_HEADERDATA before = record(spectrum);
  AP7_SUBTRACTSCALEDPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, other, 1.0f};
  EXPECT_EQ(send(AP7_MSG_SUBTRACT_SCALED, spectrum, &parameter), 0u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{10, 20, 30, 40, 50}));
  EXPECT_EQ(std::memcmp(&record(spectrum), &before, sizeof before), 0);
  parameter.other = nullptr;
  EXPECT_EQ(send(AP7_MSG_SUBTRACT_SCALED, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(destroy(other), 1u);
}

TEST_F(Services, FoldAveragesAroundTheCentreBurst) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 9.0f, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  record(spectrum).y_units = AP41_YUNITS_INTERFEROGRAM;
  record(spectrum).FinalPeakPos = 4;
  AP7_FOLDPARM parameter{3, 0};
  auto* folded = ap_result_object<AP4_ARRAY>(send(AP7_MSG_FOLD_INTERFEROGRAM, spectrum, &parameter));
  ASSERT_NE(folded, nullptr);
  // (y[4 - i] + y[4 + i]) / 2
  EXPECT_EQ(arraytest::values(folded), (std::vector<float>{4, 4, 4}));
  EXPECT_EQ(arraytest::destroy(folded), 1u);
  parameter = {2, 1};
  folded = ap_result_object<AP4_ARRAY>(send(AP7_MSG_FOLD_INTERFEROGRAM, spectrum, &parameter));
  ASSERT_NE(folded, nullptr);
  EXPECT_EQ(arraytest::values(folded), (std::vector<float>{4, 4}));
  EXPECT_EQ(arraytest::destroy(folded), 1u);
  // The centre too near the start, or (here) too near the end.
  parameter = {5, 0};
  EXPECT_EQ(send(AP7_MSG_FOLD_INTERFEROGRAM, spectrum, &parameter), 0u);
  record(spectrum).FinalPeakPos = 8;
  parameter = {3, 0};
  EXPECT_EQ(send(AP7_MSG_FOLD_INTERFEROGRAM, spectrum, &parameter), 0u);
  record(spectrum).FinalPeakPos = 4;
  record(spectrum).y_units = 17;
  EXPECT_EQ(send(AP7_MSG_FOLD_INTERFEROGRAM, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Services, SetValueAtXNamesThePointInTheNotice) {
  AP7_SPECTRUM* spectrum = make(40001);
  record(spectrum).first_x = 0.0f;
  record(spectrum).last_x = 40000.0f;
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  auto* root = reinterpret_cast<AP2_OBJECT*>(spectrum->data->head.parent);
  AP7_VALUENOTIFYPARM parameter{12.0f, 7.5f};
  ASSERT_EQ(send(AP7_MSG_SET_VALUE_AT_X_NOTIFY, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum)[12], 7.5f);
  EXPECT_EQ(packed(root->user_word), 13u);
  parameter = {40000.0f, 2.5f};
  ASSERT_EQ(send(AP7_MSG_SET_VALUE_AT_X_NOTIFY, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum)[40000], 2.5f);
  EXPECT_EQ(packed(root->user_word), 0u);
  EXPECT_EQ(counter.changes, 2);
  parameter = {50000.0f, 1.0f};
  EXPECT_EQ(send(AP7_MSG_SET_VALUE_AT_X_NOTIFY, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Services, PolynomialIsEvaluatedFromTheLowerX) {
  const auto counts = live_counts();
  AP4_ARRAY* coefficients = arraytest::make(3, 1);
  float* c = ap4a_GetDataAddress(coefficients);
  c[0] = 1.0f;
  c[1] = 2.0f;
  c[2] = 0.5f;  // 1 + 2x + x^2/2
  AP7_SPECTRUM* spectrum = ap7d_NewFromPolynomial(nullptr, 4.0f, 0.0f, 5, coefficients);
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1.0f, 3.5f, 7.0f, 11.5f, 17.0f}));
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(ap7d_NewFromPolynomial(nullptr, 0.0f, 4.0f, 1, coefficients), nullptr);
  AP4_ARRAY* too_many = arraytest::make(9, 1);
  EXPECT_EQ(ap7d_NewFromPolynomial(nullptr, 0.0f, 4.0f, 5, too_many), nullptr);
  EXPECT_EQ(arraytest::destroy(too_many), 1u);
  EXPECT_EQ(arraytest::destroy(coefficients), 1u);
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(Services, AMissingFileIsNoGroupFile) {
  AP7_SPECTRUM* spectrum = make(2);
  char path[] = "/nonexistent/none.spg";
  EXPECT_EQ(send(AP7_MSG_IS_GROUP_FILE, spectrum, path), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

}  // namespace
