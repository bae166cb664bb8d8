#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/params_fixture.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// A parameter-set class of the test whose parameters 0 and 1 are an
// anchor's X and Y.
constexpr uint16_t kAnchorClass = 201;

// Absorbance: full scale 1.0 is taken from the data for other units, so a
// fixed unit keeps S known.
constexpr uint32_t kTransmittance = 16;  // %T: S = 100
constexpr float kScale = 100.0f;

class AnchorBaselines : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    GUX_SetInternationalChar('.', GUX_DECIMAL);
    paramstest::build_table(table_, 0,
                            {AP13_PARMENTRY{0, AP13_TYPE_SINGLE, 4, AP13_LIMITS_FREE, 0, "0"},
                             AP13_PARMENTRY{1, AP13_TYPE_SINGLE, 4, AP13_LIMITS_FREE, 0, "0"}},
                            {});
    paramstest::register_set_class(kAnchorClass, table_);
  }

  static AP40_LLIST* anchors(const std::vector<std::pair<float, float>>& points) {
    AP40_LLIST* list = ap40_New_LLIST(nullptr, AP40_NO_KEY);
    for (const auto& [x, y] : points) {
      uint16_t class_id = kAnchorClass;
      AP_NEWPARM parameter{class_id, nullptr};
      auto* anchor = ap_result_object<AP_OBJECT>(send(AP_MSG_NEW, &class_id, &parameter));
      float value = x;
      EXPECT_EQ(GU2_SetParmValue_MSG(anchor, 0, &value), 1);
      value = y;
      EXPECT_EQ(GU2_SetParmValue_MSG(anchor, 1, &value), 1);
      ap40_Add_LLIST(list, anchor);
    }
    return list;
  }
  static void drop(AP40_LLIST* list) { ap40_Destroy_LLIST(list, nullptr, 1); }

  static AP7_SPECTRUM* linear(AP7_SPECTRUM* spectrum, AP40_LLIST* list) {
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_LINEAR_BASELINE, spectrum, list));
  }
  static AP7_SPECTRUM* spline(AP7_SPECTRUM* spectrum, AP40_LLIST* list) {
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SPLINE_BASELINE, spectrum, list));
  }
  static AP7_SPECTRUM* polynomial(AP7_SPECTRUM* spectrum, AP40_LLIST* list, int32_t degree) {
    AP7_ANCHORPOLYPARM parameter{list, degree};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_POLYNOMIAL_BASELINE, spectrum, &parameter));
  }
  static bool corrected_flag(AP7_SPECTRUM* spectrum) {
    return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_BASELINE) == 1;
  }

  paramstest::TableBlock table_;
};

// X 0..60 by 1 (or falling, 60..0); a band centred at 30 on a known
// baseline; the band is below 1e-6 farther than 12 from its centre.
double band(double x) { return 5.0 * std::exp(-(x - 30.0) * (x - 30.0) / 8.0); }

template <typename Baseline>
AP7_SPECTRUM* on_baseline(Baseline baseline, bool falling = false) {
  std::vector<float> y(61);
  for (int i = 0; i < 61; ++i) {
    const double x = falling ? 60.0 - i : i;
    y[i] = static_cast<float>(band(x) + baseline(x));
  }
  AP7_SPECTRUM* spectrum = falling ? make_axis(60.0f, 0.0f, y) : make_axis(0.0f, 60.0f, y);
  record(spectrum).y_units = kTransmittance;
  return spectrum;
}

template <typename Baseline>
std::vector<std::pair<float, float>> anchors_on(Baseline baseline, std::vector<float> xs) {
  std::vector<std::pair<float, float>> points;
  for (float x : xs) points.emplace_back(x, static_cast<float>(baseline(x)));
  return points;
}

double x_of(AP7_SPECTRUM* spectrum, int i) {
  const double first = packed(record(spectrum).first_x);
  const double last = packed(record(spectrum).last_x);
  return first + (last - first) * i / (packed(record(spectrum).points) - 1.0);
}

double line(double x) { return 20.0 + 0.5 * x; }
double parabola(double x) { return 40.0 - 0.8 * x + 0.02 * x * x; }
double cubic(double x) { return 10.0 + 0.3 * x - 0.01 * x * x + 0.0002 * x * x * x; }

TEST_F(AnchorBaselines, StraightLinesBetweenAnchorsTakeALinearBaselineOff) {
  for (bool falling : {false, true}) {
    AP7_SPECTRUM* spectrum = on_baseline(line, falling);
    // Anchors out of order and between grid points.
    AP40_LLIST* list = anchors(anchors_on(line, {50.5f, 3.25f, 17.0f}));
    AP7_SPECTRUM* result = linear(spectrum, list);
    ASSERT_NE(result, nullptr);
    const std::vector<float> y = values(result);
    for (int i = 0; i < 61; ++i) {
      const double x = x_of(result, i);
      if (x < 4.0 || x > 50.0) continue;
      EXPECT_NEAR(y[i], band(x) + kScale, 1e-3) << "x " << x << (falling ? " falling" : "");
    }
    EXPECT_TRUE(corrected_flag(result));
    EXPECT_FALSE(corrected_flag(spectrum));
    destroy(result);
    drop(list);
    destroy(spectrum);
  }
}

// The first and last members only shape the ends; the cubic pieces run
// from anchor 1 to anchor m - 2 and reproduce a parabola, whose parabolas
// through three anchors are itself.
TEST_F(AnchorBaselines, HermitePiecesTakeAParabolicBaselineOffBetweenTheInnerAnchors) {
  for (bool falling : {false, true}) {
    AP7_SPECTRUM* spectrum = on_baseline(parabola, falling);
    AP40_LLIST* list = anchors(anchors_on(parabola, {0.0f, 59.5f, 5.0f, 12.0f, 50.0f, 55.0f, 58.0f, 1.0f}));
    AP7_SPECTRUM* result = spline(spectrum, list);
    ASSERT_NE(result, nullptr);
    const std::vector<float> y = values(result);
    for (int i = 0; i < 61; ++i) {
      const double x = x_of(result, i);
      // Inner anchors after sorting (the list's first and last members, 0
      // and 1, are left out): 59.5, 5, 12, 50, 55, 58 -> 5, 12, ..., 59.5;
      // corrected from 12 to 58.
      if (x < 12.0 || x > 58.0)
        EXPECT_TRUE(std::isnan(y[i])) << "x " << x;
      else
        EXPECT_NEAR(y[i], band(x) + kScale, 2e-3) << "x " << x << (falling ? " falling" : "");
    }
    EXPECT_TRUE(corrected_flag(result));
    destroy(result);
    drop(list);
    destroy(spectrum);
  }
}

// Several anchors between two grid points: the walk passes all of them at
// once and still ends at anchor m - 2.
TEST_F(AnchorBaselines, HermiteWalkFollowsXPastAnchorsCloserThanTheGrid) {
  AP7_SPECTRUM* spectrum = on_baseline(parabola);
  AP40_LLIST* list =
      anchors(anchors_on(parabola, {-5.0f, 0.0f, 1.0f, 20.1f, 20.3f, 20.5f, 20.7f, 20.9f, 44.0f, 50.0f, 60.0f}));
  AP7_SPECTRUM* result = spline(spectrum, list);
  ASSERT_NE(result, nullptr);
  const std::vector<float> y = values(result);
  for (int i = 0; i < 61; ++i) {
    if (i < 1 || i > 44)
      EXPECT_TRUE(std::isnan(y[i])) << i;
    else
      EXPECT_NEAR(y[i], band(i) + kScale, 2e-3) << i;
  }
  destroy(result);
  drop(list);
  destroy(spectrum);
}

TEST_F(AnchorBaselines, PolynomialFitTakesACubicBaselineOff) {
  AP7_SPECTRUM* spectrum = on_baseline(cubic);
  AP40_LLIST* list = anchors(anchors_on(cubic, {-1.0f, 55.0f, 2.0f, 10.0f, 15.0f, 45.0f, 50.0f, 60.0f, 99.0f}));
  AP7_SPECTRUM* result = polynomial(spectrum, list, 3);
  ASSERT_NE(result, nullptr);
  const std::vector<float> y = values(result);
  for (int i = 0; i < 61; ++i) EXPECT_NEAR(y[i], band(i) + kScale, 2e-3) << i;
  EXPECT_TRUE(corrected_flag(result));
  destroy(result);
  drop(list);
  destroy(spectrum);
}

// Degree 0 takes off the mean of the anchors' Y; a degree above m - 1 the
// interpolating polynomial.
TEST_F(AnchorBaselines, PolynomialDegreesZeroAndAboveTheAnchors) {
  AP7_SPECTRUM* spectrum = on_baseline([](double) { return 0.0; });
  AP40_LLIST* list = anchors({{0.0f, 0.0f}, {10.0f, 2.0f}, {20.0f, 4.0f}, {40.0f, 9.0f}, {60.0f, 0.0f}});
  AP7_SPECTRUM* flat = polynomial(spectrum, list, 0);
  ASSERT_NE(flat, nullptr);
  EXPECT_NEAR(values(flat)[0], band(0) - 5.0 + kScale, 1e-4);
  // The parabola through (10, 2), (20, 4) and (40, 9) meets each anchor.
  AP7_SPECTRUM* through = polynomial(spectrum, list, 7);
  ASSERT_NE(through, nullptr);
  const std::vector<float> y = values(through);
  const std::vector<float> original = values(spectrum);
  EXPECT_NEAR(y[10], original[10] - 2.0 + kScale, 1e-3);
  EXPECT_NEAR(y[20], original[20] - 4.0 + kScale, 1e-3);
  EXPECT_NEAR(y[40], original[40] - 9.0 + kScale, 1e-3);
  destroy(flat);
  destroy(through);
  drop(list);
  destroy(spectrum);
}

// Too few anchors, a wrong list or a curve that cannot be made give no
// spectrum: never an uncorrected copy marked as corrected.
TEST_F(AnchorBaselines, CorrectionsThatCannotBeMadeGiveNoSpectrum) {
  AP7_SPECTRUM* spectrum = on_baseline(line);
  AP40_LLIST* three_inner = anchors({{0.0f, 0.0f}, {10.0f, 1.0f}, {20.0f, 1.0f}, {30.0f, 1.0f}, {40.0f, 0.0f}});
  AP40_LLIST* one = anchors({{10.0f, 1.0f}});
  AP40_LLIST* same_x = anchors({{0.0f, 0.0f}, {10.0f, 1.0f}, {10.0f, 2.0f}, {20.0f, 1.0f}, {30.0f, 1.0f},
                                {40.0f, 0.0f}});
  const auto before = live_counts();
  EXPECT_EQ(spline(spectrum, three_inner), nullptr);
  EXPECT_EQ(spline(spectrum, same_x), nullptr);
  EXPECT_EQ(polynomial(spectrum, one, 1), nullptr);
  EXPECT_EQ(polynomial(spectrum, three_inner, -1), nullptr);
  EXPECT_EQ(linear(spectrum, one), nullptr);
  EXPECT_EQ(linear(spectrum, reinterpret_cast<AP40_LLIST*>(spectrum)), nullptr);
  EXPECT_EQ(live_counts(), before);
  drop(three_inner);
  drop(one);
  drop(same_x);
  destroy(spectrum);
}

}  // namespace
