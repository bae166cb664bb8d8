// Collection parameters, ranges and scan time. Expected values are worked in
// each test from the arithmetic the helpers stand for; bench settings are
// absent unless a test writes them (and removes them again).
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core_fixture.h"
#include "platform/registry.h"
#include "util/util.h"

namespace {

constexpr const char* kSection = "CollectDefaults";

// Collection settings of "CollectDefaults" live in the registry store of
// the test's home folder; each test starts and ends without them and with
// the process-wide limits at their initial values.
class Collection : public CoreTest {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override {
    reset();
    CoreTest::TearDown();
  }
  static void reset() {
    const std::string path = std::string(GU9_BENCH_KEY) + "\\" + kSection;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
    AP1_SetSspLimits_MATH(1.0f, 2.0f);
    AP1_SetMaxPeakPosition_MATH(8192);
  }
  static void set_int(const char* key, int32_t value) { ASSERT_EQ(GU9_BenchSetKeyInt(kSection, key, &value), 1); }
  static void set_text(const char* key, const char* text) {
    ASSERT_EQ(GU9_BenchSetKey(kSection, key, text, static_cast<uint32_t>(std::strlen(text) + 1)), 1);
  }
};

struct Derived {
  float ssp = 0.0f;
  uint32_t total = 0, transform_input = 0, fft = 0, phase = 0, transform = 0, pre_peak = 0, peak = 0, corr = 0;
  float spacing = 0.0f;
};

Derived convert(float resolution, int32_t zero_fill, float laser, float upper, float ssp, int32_t flags = 0) {
  Derived d;
  d.ssp = ssp;
  AP1_ConvertParamEx_MATH(resolution, zero_fill, laser, upper, &d.ssp, &d.total, &d.transform_input, &d.fft, &d.phase,
                          &d.transform, &d.pre_peak, &d.peak, &d.corr, &d.spacing, flags);
  return d;
}

void expect_layout(const Derived& d, uint32_t total, uint32_t transform_input, uint32_t fft, uint32_t phase,
                   uint32_t transform, uint32_t pre_peak, uint32_t peak) {
  EXPECT_EQ(d.total, total);
  EXPECT_EQ(d.transform_input, transform_input);
  EXPECT_EQ(d.fft, fft);
  EXPECT_EQ(d.phase, phase);
  EXPECT_EQ(d.transform, transform);
  EXPECT_EQ(d.pre_peak, pre_peak);
  EXPECT_EQ(d.peak, peak);
}

TEST_F(Collection, FourWavenumbersAtSpacingTwoWithoutBenchSettings) {
  // N0 = 15798 / 4 = 3949, odd, so 3950; N = 4096 <= 8192: pre-peak N,
  // peak N + 32, total peak + N + 256, FFT N × 2.
  const Derived d = convert(4.0f, 0, 15798.0f, 4000.0f, 2.0f);
  expect_layout(d, 4128 + 4096 + 256, 4096 + 4096, 8192, 200, 1024, 4096, 4128);
  EXPECT_EQ(d.corr, 5u);
  EXPECT_EQ(d.ssp, 2.0f);
  EXPECT_FLOAT_EQ(d.spacing, 15798.0f / 2.0f / 4096.0f);  // 1.92847
  const Derived zero_filled = convert(4.0f, 2, 15798.0f, 4000.0f, 2.0f);
  EXPECT_EQ(zero_filled.fft, 4096u * 8);
  EXPECT_FLOAT_EQ(zero_filled.spacing, 15798.0f / 2.0f / (4096.0f * 4));
}

TEST_F(Collection, ResolutionsNearTwoThirdsKeepTheirCountInOneStepOrBoth) {
  // 0.6: N0 = 26330 kept in both steps; above 8192 the pre-peak is 1024.
  Derived d = convert(0.6f, 0, 15798.0f, 4000.0f, 2.0f);
  EXPECT_EQ(d.transform_input, 1024u + 26330);
  EXPECT_EQ(d.fft, 26330u * 2);
  // 0.65: N0 = 24304 kept for the counts, a power of two for the transform.
  d = convert(0.65f, 0, 15798.0f, 4000.0f, 2.0f);
  EXPECT_EQ(d.transform_input, 1024u + 24304);
  EXPECT_EQ(d.total, 1024u + 32 + 24304 + 256);
  EXPECT_EQ(d.fft, 32768u * 2);
  // Flags bit 0 lets the pre-peak take the maximum instead of 1024.
  d = convert(0.6f, 0, 15798.0f, 4000.0f, 2.0f, 1);
  EXPECT_EQ(d.pre_peak, 8192u);
  EXPECT_EQ(d.peak, 8192u + 32);
}

TEST_F(Collection, AChosenSpacingFollowsTheLaserOverTheUpperLimitWithinTheLimits) {
  struct Case {
    float lower, upper_spacing, upper_limit, expected;
  };
  for (const Case& c : {Case{1.0f, 2.0f, 4000.0f, 2.0f},     // q = 3.9: the first entry
                        Case{1.0f, 2.0f, 15798.0f, 1.0f},    // q = 1
                        Case{1.0f, 2.0f, 31596.0f, 1.0f},    // q = 0.5, but 0.5 is below the lower limit
                        Case{0.25f, 2.0f, 31596.0f, 0.5f},   // now it is not
                        Case{0.25f, 0.5f, 4000.0f, 0.5f},    // the first entry within the upper limit
                        Case{0.25f, 0.1f, 4000.0f, 0.25f}})  // none is within: the last
  {
    AP1_SetSspLimits_MATH(c.lower, c.upper_spacing);
    EXPECT_EQ(convert(4.0f, 0, 15798.0f, c.upper_limit, 0.0f).ssp, c.expected) << c.upper_limit;
  }
  // A spacing of 1 doubles the largest pre-peak count and halves N0's step.
  AP1_SetSspLimits_MATH(1.0f, 2.0f);
  const Derived d = convert(4.0f, 0, 15798.0f, 15798.0f, 0.0f);
  EXPECT_EQ(d.transform_input, 8192u + 8192);  // N0 = 3949 / 0.5 = 7898, N = 8192 <= 2 × 8192
  EXPECT_FLOAT_EQ(d.spacing, 15798.0f / 1.0f / 8192.0f);
}

TEST_F(Collection, BenchSettingsFixThePeakAndBoundTheCounts) {
  set_int("PeakLocation", 1024);
  set_int("CorrError", 7);
  set_int("DefaultNPD", 5000);
  set_int("DefaultNPT", 300);
  set_int("Peakslop", 40);
  // Peak 1024 - 80; N = 4096 reaches past it, so the pre-peak is 512.
  const Derived d = convert(4.0f, 0, 15798.0f, 4000.0f, 2.0f);
  expect_layout(d, 944 + 4096 + 256, 512 + 4096, 8192, 1024, 300, 512, 944);
  EXPECT_EQ(d.corr, 7u);
}

TEST_F(Collection, OlderBenchesTakeFixedCounts) {
  // Rounded resolution 4, spacing 2, laser above 14000: 1960 + 1960; the
  // transform is 2048 × 4 for zero-fill code 1.
  Derived d = convert(4.2f, 1, 15000.0f, 4000.0f, 2.0f);
  expect_layout(d, 3920, 3920, 8192, 200, 1024, 1960, 1960);
  EXPECT_EQ(d.corr, 5u);
  EXPECT_FLOAT_EQ(d.spacing, 15798.0f / 2.0f / 4096.0f);
  // No spacing: 1; resolution 2 below 14000: 7760 each side; 8192 × 2,
  // doubled again for the low laser.
  d = convert(2.0f, 0, 12000.0f, 4000.0f, -1.0f);
  EXPECT_EQ(d.ssp, 1.0f);
  expect_layout(d, 15520, 15520, 32768, 200, 1024, 7760, 7760);
  EXPECT_FLOAT_EQ(d.spacing, 15798.0f / 1.0f / 16384.0f);
  // Resolution 1: 1024 before the peak, 10000 after; 10000 takes 16384.
  d = convert(1.0f, 0, 15000.0f, 4000.0f, 2.0f);
  expect_layout(d, 11024, 11024, 32768, 200, 1024, 1024, 1024);
  // A resolution the table does not list: 2500 each side.
  d = convert(3.0f, 0, 15000.0f, 4000.0f, 2.0f);
  EXPECT_EQ(d.pre_peak, 2500u);
  EXPECT_EQ(d.total, 5000u);
}

TEST_F(Collection, NothingIsWrittenWithoutEveryAddress) {
  Derived d;
  d.ssp = 2.0f;
  AP1_ConvertParam_MATH(4.0f, 0, 15798.0f, 4000.0f, &d.ssp, &d.total, &d.transform_input, &d.fft, &d.phase,
                        &d.transform, &d.pre_peak, &d.peak, &d.corr, nullptr);
  EXPECT_EQ(d.total, 0u);
  EXPECT_EQ(d.fft, 0u);
  AP1_ConvertParam_MATH(4.0f, 0, 15798.0f, 4000.0f, &d.ssp, &d.total, &d.transform_input, &d.fft, &d.phase,
                        &d.transform, &d.pre_peak, &d.peak, &d.corr, &d.spacing);
  EXPECT_EQ(d.fft, 8192u);
}

// A resolution whose point count does not fit 32 bits, or has none, must
// neither stall the search for a power of two nor wrap the counts.
TEST_F(Collection, WildResolutionsEndWithCountsThatDoNotWrap) {
  for (float resolution : {1e-30f, -4.0f, AP1_GetNaNSG_MATH()}) {
    const Derived d = convert(resolution, 0, 15798.0f, 4000.0f, 0.25f);
    EXPECT_GE(d.transform_input, d.pre_peak) << resolution;
    EXPECT_GT(d.fft, 0u) << resolution;
  }
}

TEST_F(Collection, TheMaximumPeakPositionIsAPowerOfTwoUpTo65536) {
  EXPECT_EQ(AP1_GetMaxPeakPosition_MATH(), 8192u);
  struct Case {
    uint32_t n, kept;
  };
  for (const Case& c : {Case{100000, 65536}, Case{65536, 65536}, Case{5000, 4096}, Case{4096, 4096}, Case{1, 1},
                        Case{0, 0}}) {
    EXPECT_EQ(AP1_SetMaxPeakPosition_MATH(c.n), c.kept) << c.n;
    EXPECT_EQ(AP1_GetMaxPeakPosition_MATH(), c.kept);
  }
}

TEST_F(Collection, ALowerSpacingLimitAboveTheUpperBecomesTheUpper) {
  AP1_SetSspLimits_MATH(2.0f, 0.5f);
  // Both limits 0.5: the first entry within is 0.5 and no finer one is allowed.
  EXPECT_EQ(convert(4.0f, 0, 15798.0f, 63192.0f, 0.0f).ssp, 0.5f);
}

// ---------------------------------------------------------------------------
// Points, zero fill, save region, single-sided layouts

TEST(CollectionPoints, ComeFromTheResolutionOnOlderBenches) {
  struct Case {
    float laser, resolution;
    uint32_t points;
  };
  for (const Case& c : {Case{15798.0f, 4.0f, 9000 - 1000}, Case{15000.0f, 1.0f, 32768}, Case{15000.0f, 2.0f, 16384},
                        Case{15000.0f, 4.0f, 8192}, Case{15000.0f, 8.0f, 4096}, Case{15000.0f, 16.0f, 2048}}) {
    uint32_t points = 0;
    EXPECT_EQ(AP1_CalcResolutionPoints_MATH(c.laser, c.resolution, 9000, 1000, &points), 1);
    EXPECT_EQ(points, c.points) << c.resolution;
  }
  EXPECT_EQ(AP1_CalcResolutionPoints_MATH(15000.0f, 4.0f, 0, 0, nullptr), 0);
}

TEST(CollectionZeroFill, IsTheFirstHalvingThePointsReach) {
  struct Case {
    uint32_t transform, points;
    int16_t code;
  };
  for (const Case& c : {Case{8192, 8192, 0}, Case{8192, 4096, 0}, Case{8192, 4095, 1}, Case{8192, 2048, 1},
                        Case{8192, 1024, 2}, Case{8192, 64, 6}, Case{8192, 63, -1}, Case{8192, 10, -1},
                        Case{0, 0, 0}}) {
    EXPECT_EQ(AP1_GetZeroFill_MATH(c.transform, c.points), c.code) << c.transform << " " << c.points;
  }
}

TEST(CollectionSaveRegion, IsTheRoundedIndexRangeOfTheXRange) {
  uint32_t start = 9, end = 9, count = 9;
  ASSERT_EQ(AP1_CalcSaveRegion_MATH(15798.0f, 2.0f, 8192, 4000.0f, 400.0f, &start, &end, &count), 1);
  const double d = 15798.0 / 2.0 * 4095.0 / 4096.0;
  EXPECT_EQ(start, static_cast<uint32_t>(400.0 * 4096.0 / d + 0.5));  // 207
  EXPECT_EQ(end, static_cast<uint32_t>(4000.0 * 4096.0 / d + 0.5));   // 2075
  EXPECT_EQ(count, end - start);
  ASSERT_EQ(AP1_CalcSaveRegion_MATH(0.0f, 2.0f, 8192, 400.0f, 4000.0f, &start, &end, &count), 1);
  EXPECT_EQ(start, 207u) << "no laser: 15798";
  for (auto [ssp, fft] : {std::pair{0.0f, 8192}, std::pair{2.0f, 0}, std::pair{2.0f, 2}}) {
    EXPECT_EQ(AP1_CalcSaveRegion_MATH(15798.0f, ssp, fft, 400.0f, 4000.0f, &start, &end, &count), 0);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 1u);
    EXPECT_EQ(count, 1u);
  }
  EXPECT_EQ(AP1_CalcSaveRegion_MATH(15798.0f, 2.0f, 8192, 400.0f, 4000.0f, nullptr, &end, &count), 0);
}

TEST_F(Collection, SingleSidedLayoutsMoveThePeak) {
  // 5000 points with the peak at 1000: 4000 after it. Derived location for
  // size 8192: 64 doubled while below 4096; slop 6, scan slop 12.
  uint32_t total = 0, points = 5000, offset = 0, peak = 1000;
  EXPECT_EQ(AP1_CalcSingleSided_MATH(&total, &points, &offset, &peak, 0, 8192), 4096u + 6 + 4000 + 12);
  EXPECT_EQ(peak, 4096u);
  EXPECT_EQ(points, 4000u + 4096);
  EXPECT_EQ(offset, 4096u + 6);
  EXPECT_EQ(total, 4096u + 6 + 4000 + 12);

  points = 5000;
  peak = 1000;
  EXPECT_EQ(AP1_CalcSplitSingleSided_MATH(&total, &points, &offset, &peak, 0, 8192), 4006u + 4000 + 24);
  EXPECT_EQ(peak, 4000u);
  EXPECT_EQ(points, 8000u);
  EXPECT_EQ(offset, 4006u);

  // Bench settings replace the slop and the location.
  set_int("Peakslop", 10);
  set_int("PeakLocation", 700);
  points = 5000;
  peak = 1000;
  EXPECT_EQ(AP1_CalcSingleSided_MATH(&total, &points, &offset, &peak, 300, 0), 710u + 4000 + 20);
  EXPECT_EQ(peak, 700u);
}

TEST(CollectionSingleSided, WithoutEveryAddressAnswersTheLocation) {
  uint32_t total = 0, points = 5000, peak = 1000;
  EXPECT_EQ(AP1_CalcSingleSided_MATH(&total, &points, nullptr, &peak, 0, 8192), 4096u);
  EXPECT_EQ(AP1_CalcSplitSingleSided_MATH(&total, &points, nullptr, &peak, 0, 1000), 500u);
  EXPECT_EQ(AP1_CalcSingleSided_MATH(nullptr, &points, nullptr, &peak, 300, 8192), 300u);
  EXPECT_EQ(points, 5000u);
  EXPECT_EQ(peak, 1000u);
  EXPECT_EQ(total, 0u);
}

// ---------------------------------------------------------------------------
// Component ranges and small helpers

TEST(CollectionRange, IsWhereEveryComponentsRowOverlaps) {
  struct Case {
    int16_t source, splitter, detector, window;
    uint16_t low, high;
  };
  for (const Case& c : {Case{1, 0, 0, 0, 650, 4000},       // 25000-0, 7400-350, 4000-650
                        Case{1, 0, 0, 14, 650, 4000},      // window 4500-525 narrows nothing
                        Case{2, 0, 13, 10, 600, 4000},     // 7400-50, 7400-350, 4000-225, 5500-600
                        Case{3, 1, 8, 0, 9000, 15000},     // 15000-2000, 15000-5000, 15000-9000
                        Case{99, 99, 99, 99, 0, 25000},    // unlisted codes: the closing rows
                        Case{3, 24, 0, 0, 0, 0},           // 15000-2000 and 40-10 do not overlap
                        Case{1, 23, 15, 0, 50, 135}}) {   // 135-40, 600-50
    uint16_t low = 1, high = 1;
    EXPECT_EQ(AP1_CalcMaxRng_MATH(c.source, c.splitter, c.detector, c.window, &low, &high), 1);
    EXPECT_EQ(low, c.low) << c.source << " " << c.splitter << " " << c.detector << " " << c.window;
    EXPECT_EQ(high, c.high) << c.source << " " << c.splitter << " " << c.detector << " " << c.window;
  }
}

TEST(CollectionHelpers, FrequencyRangeIsTheFirstMultipleAboveTheValue) {
  EXPECT_EQ(AP1_SetFreqRange_MATH(4000.0f, 500.0f), 1000.0f);
  EXPECT_EQ(AP1_SetFreqRange_MATH(4000.0f, 999.0f), 1000.0f);
  EXPECT_EQ(AP1_SetFreqRange_MATH(4000.0f, 1000.0f), 2000.0f);
  EXPECT_EQ(AP1_SetFreqRange_MATH(4000.0f, 7999.0f), 8000.0f);
  EXPECT_EQ(AP1_SetFreqRange_MATH(4000.0f, 9000.0f), 16000.0f);
}

TEST(CollectionHelpers, SpacingsDifferWhenTheyIndexTheRangeEndsDifferently) {
  EXPECT_EQ(AP1_DataSpacingsDiffer_MATH(0.0f, 1.0f, 400.0f, 4000.0f), 3);
  EXPECT_EQ(AP1_DataSpacingsDiffer_MATH(1.0f, 0.0f, 400.0f, 4000.0f), 3);
  EXPECT_EQ(AP1_DataSpacingsDiffer_MATH(1.928f, 1.928f, 400.0f, 4000.0f), 0);
  EXPECT_EQ(AP1_DataSpacingsDiffer_MATH(1.0f, 2.0f, 500.0f, 500.0f), 0);
  EXPECT_EQ(AP1_DataSpacingsDiffer_MATH(1.0f, 2.0f, 4000.0f, 400.0f), 3);
  EXPECT_EQ(AP1_DataSpacingsDiffer_MATH(1.0f, 1.00001f, 4000.0f, 400.0f), 0);  // 4000 and 3999.96 both give 4000
}

TEST(CollectionHelpers, ApertureFillIsTheSquareOfTheScaledRatio) {
  float percent = -1.0f;
  EXPECT_EQ(AP1_IsApertureFit_MATH(1.0f, 4.0f, &percent), 1);
  const double t = 0.5 * 304.8 / 8.2;
  EXPECT_NEAR(percent, t * t * 100.0, t * t * 100.0 * 1e-6);
  percent = -1.0f;
  EXPECT_EQ(AP1_IsApertureFit_MATH(1.0f, 0.0f, &percent), 0);
  EXPECT_EQ(percent, -1.0f);
  EXPECT_EQ(AP1_IsApertureFit_MATH(1.0f, 4.0f, nullptr), 0);
}

TEST_F(Collection, LaserReferenceComesFromTheBench) {
  EXPECT_EQ(AP1_GetLaserRef_MATH(0), -1.0f);
  EXPECT_EQ(AP1_GetLaserRef_MATH(1), 15798.0f);
  set_text("Laser", "15797.5");
  EXPECT_EQ(AP1_GetLaserRef_MATH(1), 15797.5f);
  set_text("Laser", "none");
  EXPECT_EQ(AP1_GetLaserRef_MATH(1), 15798.0f);
}

// ---------------------------------------------------------------------------
// Scan time

// Distance d = points / laser × ssp / 2 (cm); two-way time 0.024 +
// delay × (v / rv + 1) + d / v + d / rv; one-way 0.0095 + delay + d / v.
double two_way(double points, double laser, double v, double rv, double ssp, double delay) {
  const double d = points / laser * ssp / 2.0;
  return 0.024 + (v / rv * delay + delay) + d / v + d / rv;
}
double one_way(double points, double laser, double v, double ssp, double delay) {
  return 0.0095 + delay + points / laser * ssp / 2.0 / v;
}

TEST(ScanTime, IsTheTravelAndTheDelay) {
  EXPECT_NEAR(AP1_NewGetPossibleScanTime_MATH(4096, 15798.0f, 0.5f, 2.0f, 2.0f, 500, 0),
              two_way(4096, 15798.0, 0.5, 2.0, 2.0, 0.5), 1e-6);
  EXPECT_NEAR(AP1_NewGetPossibleScanTime_MATH(4096, 15798.0f, 0.5f, 2.0f, 2.0f, 500, 1),
              one_way(4096, 15798.0, 0.5, 2.0, 0.5), 1e-6);
  // Nothing given: laser 15798.2 and unit velocities.
  EXPECT_NEAR(AP1_NewGetPossibleScanTime_MATH(8192, 0.0f, 0.0f, 0.0f, 1.0f, 0, 0),
              two_way(8192, 15798.2, 1.0, 1.0, 1.0, 0.0), 1e-6);
}

// A collection-settings stand-in: answers the parameters the estimate reads
// and counts the preparation message.
constexpr uint16_t kSettingsClass = 212;
struct StubSettings {
  uint16_t class_id = kSettingsClass;
  float velocity = 0.6329f, spacing = 2.0f, laser = 15798.0f, return_velocity = 1.2658f;
  uint16_t one_way = 0;
  uint32_t points = 16384, delay = 250;
  int prepared = 0;
};

uint32_t settings_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* settings = static_cast<StubSettings*>(object);
  if (message == 72) return ++settings->prepared, 1;
  if (message != GU2_MSG_GET_PARM_VALUE) return 0;
  auto* value = static_cast<GU2_PARMVALUE*>(parameter);
  auto put = [&](const auto& field) { std::memcpy(value->value, &field, sizeof field); };
  switch (value->index) {
    case 7: put(settings->velocity); return 1;
    case 8: put(settings->spacing); return 1;
    case 13: put(settings->one_way); return 1;
    case 15: put(settings->points); return 1;
    case 17: put(settings->laser); return 1;
    case 21: put(settings->return_velocity); return 1;
    case 26: put(settings->delay); return 1;
    default: return 0;
  }
}

class ScanTimeOfSettings : public Collection {
 protected:
  void SetUp() override {
    Collection::SetUp();
    GU2_ImmedSetDispatcher(kSettingsClass, settings_dispatcher);
  }
  StubSettings settings_;
};

TEST_F(ScanTimeOfSettings, ReadsTheObjectsParameters) {
  EXPECT_NEAR(AP1_GetPossibleScanTime_MATH(&settings_, 4096), two_way(4096, 15798.0, 0.6329, 1.2658, 2.0, 0.25),
              1e-5);
  EXPECT_EQ(settings_.prepared, 0);
  EXPECT_NEAR(AP1_GetScanTime_MATH(&settings_, 0), two_way(16384, 15798.0, 0.6329, 1.2658, 2.0, 0.25), 1e-5);
  EXPECT_EQ(settings_.prepared, 1);
  settings_.one_way = 1;
  EXPECT_NEAR(AP1_GetScanTime_MATH(&settings_, 0), one_way(16384, 15798.0, 0.6329, 2.0, 0.25), 1e-5);
}

TEST_F(ScanTimeOfSettings, RapidScanTakesTheBenchVelocityThereAndEightBack) {
  EXPECT_NEAR(AP1_GetScanTime_MATH(&settings_, AP1_SCAN_RAPID), two_way(16384, 15798.0, 5.0632, 8.0, 2.0, 0.25),
              1e-5);
  set_text("RapidScanVelocity", "3.5");
  EXPECT_NEAR(AP1_GetScanTime_MATH(&settings_, AP1_SCAN_RAPID), two_way(16384, 15798.0, 3.5, 8.0, 2.0, 0.25), 1e-5);
}

TEST(ScanTimeOfNothing, IsOneSecond) {
  EXPECT_EQ(AP1_GetPossibleScanTime_MATH(nullptr, 4096), 1.0f);
  EXPECT_EQ(AP1_GetScanTime_MATH(nullptr, 0), 1.0f);
}

}  // namespace
