#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

constexpr float kNaN = NAN;

class FitToRange : public SpectrumTest {
 protected:
  // Eleven points at X 10..20 with values 1..11, collected with a folding
  // limit of 100 (laser frequency 100, sample spacing factor 1).
  static AP7_SPECTRUM* make_collected() {
    AP7_SPECTRUM* spectrum = make_ramp(11, 10.0f, 20.0f);
    record(spectrum).LaserFreq = 100.0f;
    record(spectrum).SSP = 1.0f;
    return spectrum;
  }

  static uint32_t fit(AP7_SPECTRUM* spectrum, float& x1, float& x2) {
    AP7_LIMITSPARM parameter{&x1, &x2};
    return send(AP7_MSG_FIT_TO_X_RANGE, spectrum, &parameter);
  }
};

void expect_values(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(actual[i])) << "point " << i;
    else
      EXPECT_EQ(actual[i], expected[i]) << "point " << i;
  }
}

struct FitCase {
  const char* name;
  float x1;
  float x2;
  float first_x;
  float last_x;
  std::vector<float> y;
};

class FitCases : public FitToRange, public testing::WithParamInterface<FitCase> {};

TEST_P(FitCases, ReachesTheWantedRange) {
  const FitCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_collected();
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  float x1 = c.x1;
  float x2 = c.x2;
  EXPECT_EQ(fit(spectrum, x1, x2), c.y.size());
  expect_values(values(spectrum), c.y);
  EXPECT_EQ(packed(record(spectrum).points), c.y.size());
  EXPECT_EQ(packed(record(spectrum).first_x), c.first_x);
  EXPECT_EQ(packed(record(spectrum).last_x), c.last_x);
  EXPECT_EQ(x1, c.first_x);
  EXPECT_EQ(x2, c.last_x);
  // One change, announced once.
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, FitCases,
    testing::Values(
        FitCase{"inside_the_data", 12.0f, 15.0f, 12.0f, 15.0f, {3, 4, 5, 6}},
        FitCase{"reversed", 15.0f, 12.0f, 12.0f, 15.0f, {3, 4, 5, 6}},
        FitCase{"wider_than_the_data", 8.0f, 22.0f, 8.0f, 22.0f,
                {kNaN, kNaN, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, kNaN, kNaN}},
        // First band above the fold: 182..188 mirrors at 100 onto 12..18;
        // that stretch comes back reversed, wanted X 182 holding base X 18.
        FitCase{"first_alias_band", 182.0f, 188.0f, 182.0f, 188.0f, {9, 8, 7, 6, 5, 4, 3}},
        // Second band: 212..215 mirrors at 200 and at 100 onto 12..15, in
        // its own order.
        FitCase{"second_alias_band", 212.0f, 215.0f, 212.0f, 215.0f, {3, 4, 5, 6}},
        // Up to 2.1 spacings below the fold still counts as the base band.
        FitCase{"just_below_the_band_margin", 18.0f, 97.0f, 18.0f, 97.0f,
                [] {
                  std::vector<float> y{9, 10, 11};
                  y.resize(80, kNaN);
                  return y;
                }()}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

struct UnchangedCase {
  const char* name;
  float x1;
  float x2;
  float first_x;  // of the data, 11 points with spacing 1
  float laser;
  float ssp;
  uint32_t result;
};

class FitUnchanged : public FitToRange, public testing::WithParamInterface<UnchangedCase> {};

// Refusals answer 0, the cases the fit leaves alone the point count; the
// data and the limits stay as they were either way.
TEST_P(FitUnchanged, LeavesTheDataAsTheyWere) {
  const UnchangedCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(11, c.first_x, c.first_x + 10.0f);
  record(spectrum).LaserFreq = c.laser;
  record(spectrum).SSP = c.ssp;
  float x1 = c.x1;
  float x2 = c.x2;
  EXPECT_EQ(fit(spectrum, x1, x2), c.result);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(packed(record(spectrum).first_x), c.first_x);
  EXPECT_EQ(x1 == c.x1 || (std::isnan(x1) && std::isnan(c.x1)), true);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitUnchanged,
    testing::Values(UnchangedCase{"open_low_end", AP_NOT_GIVEN, 15.0f, 10.0f, 100.0f, 1.0f, 11},
                    UnchangedCase{"open_high_end", 12.0f, AP_NOT_GIVEN, 10.0f, 100.0f, 1.0f, 11},
                    UnchangedCase{"data_above_the_fold", 112.0f, 115.0f, 95.0f, 100.0f, 1.0f, 11},
                    UnchangedCase{"negative_limit", -1.0f, 15.0f, 10.0f, 100.0f, 1.0f, 0},
                    UnchangedCase{"limit_not_a_number", kNaN, 15.0f, 10.0f, 100.0f, 1.0f, 0},
                    UnchangedCase{"limit_infinite", 12.0f, INFINITY, 10.0f, 100.0f, 1.0f, 0},
                    UnchangedCase{"spacing_factor_zero", 12.0f, 15.0f, 10.0f, 100.0f, 0.0f, 0},
                    UnchangedCase{"spacing_factor_negative", 12.0f, 15.0f, 10.0f, 100.0f, -1.0f, 0},
                    UnchangedCase{"spacing_factor_not_a_number", 12.0f, 15.0f, 10.0f, 100.0f, kNaN, 0},
                    UnchangedCase{"no_laser_frequency", 12.0f, 15.0f, 10.0f, 0.0f, 1.0f, 0},
                    // Bands above the base band would take far too many
                    // steps, and a range far wider than the data too many
                    // points.
                    UnchangedCase{"fold_far_below_the_range", 1e30f, 2e30f, 10.0f, 100.0f, 1.0f, 0},
                    UnchangedCase{"range_of_too_many_points", 12.0f, 6e5f, 10.0f, 1e8f, 1.0f, 0}),
    [](const testing::TestParamInfo<UnchangedCase>& info) { return std::string(info.param.name); });

TEST_F(FitToRange, RefusesAnAxisRunningDownward) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 20.0f, 10.0f);
  record(spectrum).LaserFreq = 100.0f;
  record(spectrum).SSP = 1.0f;
  float x1 = 12.0f;
  float x2 = 15.0f;
  EXPECT_EQ(fit(spectrum, x1, x2), 0u);
  EXPECT_EQ(packed(record(spectrum).points), 11u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(FitToRange, LeavesASpectrumOfOnePointAlone) {
  AP7_SPECTRUM* spectrum = make_axis(15.0f, 15.0f, {4});
  record(spectrum).LaserFreq = 100.0f;
  record(spectrum).SSP = 1.0f;
  float x1 = 12.0f;
  float x2 = 18.0f;
  EXPECT_EQ(fit(spectrum, x1, x2), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{4}));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(FitToRange, RefusesMissingLimits) {
  AP7_SPECTRUM* spectrum = make_collected();
  float x2 = 15.0f;
  EXPECT_EQ(ap7d_FitToXRange(spectrum, nullptr, &x2), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Gaps of missing values

struct GapsCase {
  const char* name;
  float first_x;
  float last_x;
  std::vector<float> y;
  std::vector<float> starts;
  std::vector<float> ends;
};

class NaNGaps : public SpectrumTest, public testing::WithParamInterface<GapsCase> {};

TEST_P(NaNGaps, ReachOneSpacingBeyondEachRun) {
  const GapsCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_axis(c.first_x, c.last_x, c.y);
  float starts[AP7_MOST_GAPS];
  float ends[AP7_MOST_GAPS];
  ASSERT_EQ(ap7d_ListNaNGaps(spectrum, starts, ends), c.starts.size());
  for (size_t gap = 0; gap < c.starts.size(); ++gap) {
    EXPECT_EQ(starts[gap], c.starts[gap]) << "gap " << gap;
    EXPECT_EQ(ends[gap], c.ends[gap]) << "gap " << gap;
  }
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, NaNGaps,
    testing::Values(GapsCase{"none", 0.0f, 4.0f, {1, 2, 3, 4, 5}, {}, {}},
                    // Runs at 2..3, at 7 and, open at the end, at 9.
                    GapsCase{"ascending",
                             0.0f,
                             9.0f,
                             {0, 1, kNaN, kNaN, 4, 5, 6, kNaN, 8, kNaN},
                             {1, 6, 8},
                             {4, 8, 10}},
                    // X 9..0: the run at X 7..6 and the one at X 0.
                    GapsCase{"descending", 9.0f, 0.0f, {0, 1, kNaN, kNaN, 4, 5, 6, 7, 8, kNaN}, {5, -1}, {8, 1}},
                    GapsCase{"all_missing", 0.0f, 2.0f, {kNaN, kNaN, kNaN}, {-1}, {3}}),
    [](const testing::TestParamInfo<GapsCase>& info) { return std::string(info.param.name); });

TEST_F(FitToRange, GapsBeyondTheLastSlotOverwriteIt) {
  // 250 points at X 0..249, missing at every even index: 125 runs.
  std::vector<float> y(250, 1.0f);
  for (size_t i = 0; i < y.size(); i += 2) y[i] = kNaN;
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 249.0f, y);
  float starts[AP7_MOST_GAPS];
  float ends[AP7_MOST_GAPS];
  EXPECT_EQ(ap7d_ListNaNGaps(spectrum, starts, ends), AP7_MOST_GAPS);
  EXPECT_EQ(starts[98], 195.0f);
  EXPECT_EQ(ends[98], 197.0f);
  EXPECT_EQ(starts[99], 247.0f);
  EXPECT_EQ(ends[99], 249.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(FitToRange, ReblankingSetsThePointsStrictlyInsideAGap) {
  AP7_SPECTRUM* spectrum = make_ramp(10, 0.0f, 9.0f);
  const float starts[] = {1.0f, 6.5f};
  const float ends[] = {4.0f, 7.5f};
  EXPECT_EQ(ap7d_ReblankGaps(spectrum, 2, starts, ends), 1u);
  expect_values(values(spectrum), {1, 2, kNaN, kNaN, 5, 6, 7, kNaN, 9, 10});
  EXPECT_EQ(destroy(spectrum), 1u);
}

// Listing the gaps, filling them and blanking them again gives the runs
// back, on a grid running either way.
TEST_F(FitToRange, ReblankingTheListedGapsRestoresTheRuns) {
  for (float first_x : {0.0f, 9.0f}) {
    const std::vector<float> y{kNaN, 1, kNaN, kNaN, 4, 5, 6, kNaN, 8, kNaN};
    AP7_SPECTRUM* spectrum = make_axis(first_x, 9.0f - first_x, y);
    float starts[AP7_MOST_GAPS];
    float ends[AP7_MOST_GAPS];
    const uint32_t gaps = ap7d_ListNaNGaps(spectrum, starts, ends);
    put_values(spectrum, std::vector<float>(10, 0.0f));
    EXPECT_EQ(ap7d_ReblankGaps(spectrum, gaps, starts, ends), 1u);
    expect_values(values(spectrum), {kNaN, 0, kNaN, kNaN, 0, 0, 0, kNaN, 0, kNaN});
    EXPECT_EQ(destroy(spectrum), 1u);
  }
}

}  // namespace
