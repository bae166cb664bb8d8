#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

const float kMissing = AP1_GetNaNSG_MATH();

class Region : public SpectrumTest {
 protected:
  static bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
    return send(AP7_MSG_TEST_HISTORY_FLAG, spectrum, &bit) == 1;
  }
  static uint32_t blank(AP7_SPECTRUM* spectrum, float x1, float x2) {
    AP7_XRANGEPARM range{x1, x2};
    return send(AP7_MSG_BLANK_REGION, spectrum, &range);
  }
  static uint32_t straight(AP7_SPECTRUM* spectrum, float x1, float x2) {
    AP7_XRANGEPARM range{x1, x2};
    return send(AP7_MSG_STRAIGHT_LINE, spectrum, &range);
  }
  static void annotate(AP7_SPECTRUM* spectrum, float x, uint16_t flags) {
    AP34_ANNOTREC record{};
    record.flags = flags;
    record.x = x;
    record.text_x = x;
    ASSERT_EQ(ap34_Insert_ANTATN(spectrum->annotation, &record, AP1_YUNIT_PERCENT_TRANSMITTANCE), 1u);
  }
  // The x and flags of every annotation record, in list order.
  static std::vector<std::pair<float, uint16_t>> annotations(AP7_SPECTRUM* spectrum) {
    std::vector<std::pair<float, uint16_t>> found;
    AP34_ANNOTREC record{};
    for (uint32_t i = 0; ap34_Get_ANTATN(spectrum->annotation, i, &record, AP1_YUNIT_PERCENT_TRANSMITTANCE); ++i) {
      GU3_RemoveString(record.label);
      found.emplace_back(packed(record.x), static_cast<uint16_t>(packed(record.flags) & ~AP34_FLAG_INSERTED));
    }
    return found;
  }
};

// Equal within 1e-5, missing where missing.
void expect_values(const std::vector<float>& actual, const std::vector<float>& expected) {
  EXPECT_THAT(actual, testing::Pointwise(testing::NanSensitiveFloatNear(1e-5f), expected));
}

// ---------------------------------------------------------------------------
// Blanking

TEST_F(Region, BlankingMakesTheRegionMissingAndDeletesItsUnprotectedAnnotations) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1, 2, 3, 4, 5});
  annotate(spectrum, 0.0f, 0);
  annotate(spectrum, 2.0f, AP34_FLAG_PROTECTED);
  annotate(spectrum, 2.0f, 0);
  annotate(spectrum, 3.0f, AP34_FLAG_ABSOLUTE);
  annotate(spectrum, 4.0f, 0);
  EXPECT_EQ(blank(spectrum, 3.0f, 1.0f), 1u);
  expect_values(values(spectrum), {1, kMissing, kMissing, kMissing, 5});
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_BLANKED));
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_FILLED));
  using Mark = std::pair<float, uint16_t>;
  EXPECT_EQ(annotations(spectrum), (std::vector<Mark>{{0.0f, 0}, {2.0f, AP34_FLAG_PROTECTED}, {4.0f, 0}}));
  destroy(spectrum);
}

TEST_F(Region, BlankingSucceedsWithoutAnnotationsAndWithOpenEnds) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1, 2, 3, 4, 5});
  EXPECT_EQ(blank(spectrum, AP_NOT_GIVEN, 1.0f), 1u);
  expect_values(values(spectrum), {kMissing, kMissing, 3, 4, 5});
  EXPECT_EQ(blank(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN), 1u);
  expect_values(values(spectrum), {kMissing, kMissing, kMissing, kMissing, kMissing});
  destroy(spectrum);
}

// Nothing blanked is a failure: a region beside the data, a missing limit.
TEST_F(Region, BlankingThatBlanksNothingFails) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1, 2, 3, 4, 5});
  annotate(spectrum, 2.0f, 0);
  EXPECT_EQ(blank(spectrum, 10.0f, 20.0f), 0u);
  EXPECT_EQ(blank(spectrum, kMissing, 2.0f), 0u);
  EXPECT_EQ(ap7b_BlankRegion(nullptr, 0.0f, 1.0f), 0u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_BLANKED));
  EXPECT_EQ(annotations(spectrum).size(), 1u);
  destroy(spectrum);
}

// ---------------------------------------------------------------------------
// Straight line

TEST_F(Region, AStraightLineJoinsTheFirstAndLastPresentValuesOfTheRegion) {
  // Present values 1 (index 2) and 11 (index 5): the line rises 10/3 a point.
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 6.0f, {50, kMissing, 1, 7, 9, 11, kMissing});
  EXPECT_EQ(straight(spectrum, 1.0f, 6.0f), 1u);
  expect_values(values(spectrum), {50, kMissing, 1, 1 + 10.0f / 3, 1 + 20.0f / 3, 11, kMissing});
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_STRAIGHT_LINE));
  destroy(spectrum);
}

// The same values over a falling axis, the limits in either order.
TEST_F(Region, AStraightLineOnAFallingAxisFollowsThePoints) {
  for (const auto& limits : {std::pair<float, float>{5.0f, 1.0f}, std::pair<float, float>{1.0f, 5.0f}}) {
    AP7_SPECTRUM* spectrum = make_axis(6.0f, 0.0f, {50, 0, 2, kMissing, 8, 3, -1});
    EXPECT_EQ(straight(spectrum, limits.first, limits.second), 1u);
    // Indexes 1..5 (X 5 down to 1): from 0 up to 3 in four steps.
    expect_values(values(spectrum), {50, 0, 0.75f, 1.5f, 2.25f, 3, -1});
    destroy(spectrum);
  }
}

TEST_F(Region, AStraightLineNeedsTwoPresentValues) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1, kMissing, kMissing, 7, 9});
  EXPECT_EQ(straight(spectrum, 2.0f, 2.0f), 0u) << "one point";
  EXPECT_EQ(straight(spectrum, 1.0f, 2.0f), 0u) << "only missing values";
  EXPECT_EQ(straight(spectrum, 1.0f, 3.0f), 0u) << "one present value";
  EXPECT_EQ(straight(spectrum, 10.0f, 20.0f), 0u) << "beside the data";
  EXPECT_EQ(straight(spectrum, 0.0f, kMissing), 0u) << "a missing limit";
  expect_values(values(spectrum), {1, kMissing, kMissing, 7, 9});
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_STRAIGHT_LINE));
  EXPECT_EQ(straight(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN), 1u);
  expect_values(values(spectrum), {1, 3, 5, 7, 9});
  destroy(spectrum);
}

// ---------------------------------------------------------------------------
// ATR correction

// A = -log10(T / 100), then A x X / 1000.
TEST_F(Region, AtrCorrectionScalesTheAbsorbanceByXOverAThousand) {
  for (const auto& axis : {std::pair<float, float>{500.0f, 2000.0f}, std::pair<float, float>{2000.0f, 500.0f}}) {
    const std::vector<float> percent = {10, 50, 1, kMissing};
    AP7_SPECTRUM* spectrum = make_axis(axis.first, axis.second, percent);
    record(spectrum).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
    auto* corrected = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_ATR_CORRECTION, spectrum));
    ASSERT_NE(corrected, nullptr);
    const double step = (axis.second - axis.first) / 3.0;
    std::vector<float> expected;
    for (size_t i = 0; i < percent.size(); ++i) {
      const double x = axis.first + step * static_cast<double>(i);
      expected.push_back(static_cast<float>(-std::log10(percent[i] / 100.0) * x / 1000.0));
    }
    expect_values(values(corrected), expected);
    EXPECT_EQ(packed(record(corrected).y_units), AP1_YUNIT_ABSORBANCE);
    EXPECT_TRUE(history_bit(corrected, AP41_HISTORY_ATR));
    EXPECT_TRUE(history_bit(corrected, AP41_HISTORY_TO_ABSORBANCE));
    expect_values(values(spectrum), percent);
    EXPECT_EQ(packed(record(spectrum).y_units), AP1_YUNIT_PERCENT_TRANSMITTANCE);
    EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_ATR));
    destroy(corrected);
    destroy(spectrum);
  }
}

TEST_F(Region, AtrCorrectionOfAbsorbanceDoublesAt2000AndHalvesAt500) {
  AP7_SPECTRUM* spectrum = make_axis(500.0f, 2000.0f, {0.4f, 0.4f, 0.4f, 0.4f});
  record(spectrum).y_units = AP1_YUNIT_ABSORBANCE;
  AP7_SPECTRUM* corrected = ap7b_ATRCorrection(spectrum);
  ASSERT_NE(corrected, nullptr);
  expect_values(values(corrected), {0.2f, 0.4f, 0.6f, 0.8f});
  EXPECT_FALSE(history_bit(corrected, AP41_HISTORY_TO_ABSORBANCE)) << "no conversion was needed";
  destroy(corrected);
  destroy(spectrum);
}

TEST_F(Region, AtrCorrectionFailsWhereAbsorbanceCannotBeReached) {
  AP7_SPECTRUM* spectrum = make_axis(500.0f, 2000.0f, {1, 2, 3, 4});
  record(spectrum).y_units = AP1_YUNIT_SINGLE_BEAM;
  const uint16_t before = spectrum_class().live;
  EXPECT_EQ(send(AP7_MSG_ATR_CORRECTION, spectrum), 0u);
  EXPECT_EQ(spectrum_class().live, before) << "the copy is deleted";
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(ap7b_ATRCorrection(nullptr), nullptr);
  destroy(spectrum);
}

}  // namespace
