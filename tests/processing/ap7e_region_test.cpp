#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "processing/measure_fixture.h"

namespace {

using namespace measuretest;

constexpr Line kSloped{1.0f, 0.1f};

class MeasureRegion : public SpectrumTest {
 protected:
  // 0..20 at spacing 1: 0, 1, 4, 9, ... (x squared) on the line.
  void SetUp() override {
    SpectrumTest::SetUp();
    spectrum_ = sampled(0.0f, 20.0f, 21, [](float x) { return x * x + kSloped.at(x); });
  }
  void TearDown() override {
    spectrumtest::destroy(spectrum_);
    SpectrumTest::TearDown();
  }
  // The region 4..8 of a type against a baseline through the line.
  AP7_SPECTRUM* trace(uint16_t type, float upper = 0.0f, float lower = 0.0f, uint16_t reverse = 0,
                      GU3_HANDLE mask = nullptr) {
    r_ = request(type, AP7E_BASELINE_LEVEL);
    r_.baseline_mode = AP7E_BASELINE_FITTED_LINE;
    r_.baseline_mode = AP7E_BASELINE_LEVEL;
    r_.level = 0.0f;
    r_.region_start = 4.0f;
    r_.region_end = 8.0f;
    count_ = 99;
    index_ = 99;
    AP7_MEASUREREGIONPARM block{&r_, upper, lower, reverse, &count_, mask, &index_};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_MEASURE_REGION, spectrum_, &block));
  }
  static float y(float x) { return x * x + kSloped.at(x); }
  AP7_SPECTRUM* spectrum_ = nullptr;
  AP7_MEASUREREC r_{};
  uint32_t count_ = 0;
  int32_t index_ = 0;
};

TEST_F(MeasureRegion, TraceAndItsDifferences) {
  struct Case {
    uint16_t type;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {AP7E_REGION_TRACE, {y(4), y(5), y(6), y(7), y(8)}},
      {AP7E_REGION_DIFFERENCE, {0.0f, y(5) - y(4), y(6) - y(5), y(7) - y(6), y(8) - y(7)}},
      {AP7E_REGION_CENTRAL_DIFFERENCE, {0.0f, (y(6) - y(4)) / 2, (y(7) - y(5)) / 2, (y(8) - y(6)) / 2, 0.0f}},
      {AP7E_REGION_SECOND_DIFFERENCE, {0.0f, 2.0f, 2.0f, 2.0f, 0.0f}},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* made = trace(c.type);
    ASSERT_NE(made, nullptr) << c.type;
    EXPECT_EQ(count_, 5u);
    EXPECT_EQ(index_, 4);
    const std::vector<float> got = spectrumtest::values(made);
    ASSERT_EQ(got.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-4) << c.type << " " << i;
    EXPECT_EQ(packed(spectrumtest::record(made).first_x), 4.0f);
    spectrumtest::destroy(made);
  }
}

TEST_F(MeasureRegion, ABaselineIsTakenOffFirst) {
  r_ = through(AP7E_REGION_TRACE, 0.0f, 20.0f);
  r_.region_start = 4.0f;
  r_.region_end = 8.0f;
  AP7_MEASUREREGIONPARM block{&r_, 0.0f, 0.0f, 0, &count_, nullptr, nullptr};
  auto* made = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_MEASURE_REGION, spectrum_, &block));
  ASSERT_NE(made, nullptr);
  // The chord from (0, y(0)) to (20, y(20)) has slope 20.1.
  const std::vector<float> got = spectrumtest::values(made);
  for (int i = 0; i < 5; ++i) {
    const float x = 4.0f + i;
    EXPECT_NEAR(got[i], y(x) - (y(0) + 20.1f * x), 1e-3);
  }
  spectrumtest::destroy(made);
}

// Three points of central difference: 0, the difference, 0.
TEST_F(MeasureRegion, CentralDifferenceOfThreePoints) {
  r_ = request(AP7E_REGION_CENTRAL_DIFFERENCE, AP7E_BASELINE_LEVEL);
  r_.region_start = 4.0f;
  r_.region_end = 6.0f;
  AP7_MEASUREREGIONPARM block{&r_, 0.0f, 0.0f, 0, &count_, nullptr, nullptr};
  auto* made = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_MEASURE_REGION, spectrum_, &block));
  ASSERT_NE(made, nullptr);
  const std::vector<float> got = spectrumtest::values(made);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], 0.0f);
  EXPECT_NEAR(got[1], (y(6) - y(4)) / 2, 1e-4);
  EXPECT_EQ(got[2], 0.0f);
  spectrumtest::destroy(made);
}

// Limits blank what lies outside them and clear its mask entries; equal
// limits keep every value and clear only missing points (and those outside
// the degenerate range).
TEST_F(MeasureRegion, LimitsAndMask) {
  ap7b_GetDataPtr(spectrum_)[6] = AP1_GetNaNSG_MATH();
  GU3_HANDLE mask = GU3_Allocate_MM(5, sizeof(uint16_t), GU3_KIND_GLOBAL);
  auto* entries = static_cast<uint16_t*>(GU3_GetPointer_MM(mask, 0, nullptr, nullptr));
  std::fill(entries, entries + 5, 7);
  AP7_SPECTRUM* made = trace(AP7E_REGION_TRACE, y(7), y(5), 0, mask);
  ASSERT_NE(made, nullptr);
  std::vector<float> got = spectrumtest::values(made);
  EXPECT_TRUE(std::isnan(got[0]));
  EXPECT_NEAR(got[1], y(5), 1e-4);
  EXPECT_TRUE(std::isnan(got[2]));
  EXPECT_NEAR(got[3], y(7), 1e-4);
  EXPECT_TRUE(std::isnan(got[4]));
  EXPECT_EQ(std::vector<uint16_t>(entries, entries + 5), (std::vector<uint16_t>{0, 7, 0, 7, 0}));
  spectrumtest::destroy(made);

  std::fill(entries, entries + 5, 7);
  const float nan = AP1_GetNaNSG_MATH();
  made = trace(AP7E_REGION_TRACE, nan, nan, 0, mask);
  got = spectrumtest::values(made);
  EXPECT_NEAR(got[0], y(4), 1e-4);
  EXPECT_TRUE(std::isnan(got[2]));
  EXPECT_EQ(std::vector<uint16_t>(entries, entries + 5), (std::vector<uint16_t>{7, 7, 0, 7, 7}));
  spectrumtest::destroy(made);
  GU3_Free_MM(mask);
}

TEST_F(MeasureRegion, ReversedPointsAndAxis) {
  AP7_SPECTRUM* made = trace(AP7E_REGION_TRACE, 0.0f, 0.0f, 1);
  ASSERT_NE(made, nullptr);
  const std::vector<float> got = spectrumtest::values(made);
  EXPECT_NEAR(got[0], y(8), 1e-4);
  EXPECT_NEAR(got[4], y(4), 1e-4);
  EXPECT_EQ(packed(spectrumtest::record(made).first_x), 8.0f);
  EXPECT_EQ(packed(spectrumtest::record(made).last_x), 4.0f);
  spectrumtest::destroy(made);
}

TEST_F(MeasureRegion, RefusalsMakeNothing) {
  EXPECT_EQ(trace(AP7E_AREA), nullptr);
  EXPECT_EQ(count_, 0u);
  r_ = request(AP7E_REGION_TRACE, AP7E_BASELINE_LEVEL);
  r_.region_start = 4.0f;
  r_.region_end = 30.0f;  // beyond the data
  AP7_MEASUREREGIONPARM block{&r_, 0.0f, 0.0f, 0, &count_, nullptr, &index_};
  EXPECT_EQ(send(AP7_MSG_MEASURE_REGION, spectrum_, &block), 0u);
  EXPECT_EQ(index_, -1);
  block.count = nullptr;
  r_.region_end = 8.0f;
  EXPECT_EQ(send(AP7_MSG_MEASURE_REGION, spectrum_, &block), 0u);
}

}  // namespace
