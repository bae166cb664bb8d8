#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// The peak measurement (messages 243 and 246) as a stand-in answers it:
// the record each call received, and results that tell the four read-back
// fields apart.
struct Measurement {
  AP7_MEASUREREC request{};
  AP7_MEASUREREGIONPARM region_block{};
  int peak_calls = 0;
  int region_calls = 0;
  uint32_t answer = 1;
  bool region_made = true;
  std::vector<float> region_values = {1.0f, 10.0f, 100.0f};
  int32_t region_index = 17;
};

Measurement* g_measurement = nullptr;

constexpr float kR1 = 1.5f;  // area corrected
constexpr float kR2 = 2.5f;  // point value corrected
constexpr float kR3 = 3.5f;  // fitted X corrected
constexpr float kR4 = 4.5f;  // fitted value corrected
constexpr float kOther = -9.0f;

uint32_t measuring_dispatcher(void* object, uint16_t message, void* parameter) {
  Measurement& m = *g_measurement;
  if (message == AP7_MSG_MEASURE_PEAK) {
    auto* record = static_cast<AP7_MEASUREREC*>(parameter);
    m.request = *record;
    ++m.peak_calls;
    record->area_corrected = kR1;
    record->point_value_corrected = kR2;
    record->fitted_x_corrected = kR3;
    record->fitted_value_corrected = kR4;
    for (float* other : {&record->area_raw, &record->point_x_corrected, &record->point_x_raw, &record->point_value_raw,
                         &record->fitted_x_raw, &record->fitted_value_raw})
      *other = kOther;
    return m.answer;
  }
  if (message == AP7_MSG_MEASURE_REGION) {
    auto* block = static_cast<AP7_MEASUREREGIONPARM*>(parameter);
    m.region_block = *block;
    m.request = *block->record;
    ++m.region_calls;
    *block->count = 0;
    if (block->start_index != nullptr) *block->start_index = m.region_made ? m.region_index : -1;
    if (!m.region_made) return 0;
    *block->count = static_cast<uint32_t>(m.region_values.size());
    return ap_object_result(make_axis(10.0f, 12.0f, m.region_values));
  }
  return AP7_Dispatcher_SPECTRUM(object, message, parameter);
}

// A description with every field telling where it goes.
AP7_MEASUREDESC description_of(float kind) {
  AP7_MEASUREDESC d{};
  d.kind = kind;
  d.baseline_mode = 4;
  d.point_count = 2;
  d.level = 0.7f;
  d.x1 = 100;
  d.d6 = -1;
  d.x2 = 120;
  d.baseline1_x = 90;
  d.region_option = 3.9f;
  d.baseline1_y = 130;
  d.baseline2_x = 140;
  d.extra = 0.33f;
  d.baseline2_y = 150;
  return d;
}

class MeasuredFeatures : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    g_measurement = &measurement_;
    GU2_ImmedSetDispatcher(AP7_CLASS_ID, measuring_dispatcher);
    spectrum_ = make_axis(0.0f, 200.0f, std::vector<float>(201, 0.5f));
    record(spectrum_).y_units = AP1_YUNIT_ABSORBANCE;
  }

  void TearDown() override {
    destroy(spectrum_);
    GU2_ImmedSetDispatcher(AP7_CLASS_ID, AP7_Dispatcher_SPECTRUM);
    g_measurement = nullptr;
    SpectrumTest::TearDown();
  }

  // Message 325 with every argument; 245 and 313 send the shorter blocks.
  uint32_t measure(const AP7_MEASUREDESC& d, float* out, uint16_t message = AP7_MSG_MEASURE_FEATURE_EX,
                   uint16_t mode_switch = 0, uint16_t transform = AP7_FEATURE_PLAIN, int32_t* index = nullptr) {
    AP7_MEASUREFEATUREPARM parameter{&d, out, 0.25f, 0.75f, 0.125f, region_argument_, index, mode_switch, transform,
                                     1, 5.0f, 6.0f};
    return send(message, spectrum_, &parameter);
  }

  float one_value(float kind, uint16_t transform = AP7_FEATURE_PLAIN) {
    float out = -1.0f;
    EXPECT_EQ(measure(description_of(kind), &out, AP7_MSG_MEASURE_FEATURE_EX, 0, transform), 1u) << kind;
    return out;
  }

  Measurement measurement_;
  AP7_SPECTRUM* spectrum_ = nullptr;
  GU3_HANDLE region_argument_ = reinterpret_cast<GU3_HANDLE>(0x1234);
};

struct RequestCase {
  float kind;
  uint16_t type;
  uint16_t point_count;
  uint16_t mode;
  float x;
  float region_start;
  float region_end;
  float position1;
  float region1_end;
  float position2;
  uint16_t region_option;
  uint16_t slope_mode;
};

class FeatureRequests : public MeasuredFeatures, public testing::WithParamInterface<RequestCase> {};

TEST_P(FeatureRequests, TranslateTheKindIntoAMeasurement) {
  const RequestCase& c = GetParam();
  float out[4] = {};
  measure(description_of(c.kind), out);
  const AP7_MEASUREREC& r = measurement_.request;
  EXPECT_EQ(+r.type, c.type);
  EXPECT_EQ(+r.point_count, c.point_count);
  EXPECT_EQ(+r.baseline_mode, c.mode);
  EXPECT_EQ(+r.x_source, 0);
  EXPECT_EQ(+r.slope_mode, c.slope_mode);
  EXPECT_EQ(+r.unused_10, 0);
  EXPECT_EQ(+r.x, c.x);
  EXPECT_EQ(+r.region_start, c.region_start);
  EXPECT_EQ(+r.region_end, c.region_end);
  EXPECT_EQ(+r.position1, c.position1);
  EXPECT_EQ(+r.region1_end, c.region1_end);
  EXPECT_EQ(+r.position2, c.position2);
  EXPECT_EQ(+r.region2_end, 0.0f);
  EXPECT_EQ(+r.unused_44, c.region_option);
  // Nothing of the caller's handed-on fields reaches a translated kind.
  EXPECT_EQ(+r.fraction, 0.0f);
  EXPECT_EQ(+r.level, 0.0f);
  EXPECT_EQ(+r.window_on, 0);
  EXPECT_EQ(+r.percent, 0.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FeatureRequests,
    testing::Values(RequestCase{1, 102, 0, 2, 100, 0, 0, 0, 0, 0, 0, 1},
                    RequestCase{2, 102, 1, 2, 100, 0, 0, 90, 0, 0, 0, 1},
                    RequestCase{3, 102, 2, 2, 100, 0, 0, 90, 0, 130, 0, 1},
                    RequestCase{4, 107, 0, 2, 0, 100, 120, 0, 0, 0, 0, 1},
                    RequestCase{5, 107, 1, 2, 0, 100, 120, 90, 0, 0, 0, 1},
                    RequestCase{6, 107, 2, 2, 0, 100, 120, 90, 0, 130, 0, 1},
                    RequestCase{7, 109, 0, 2, 0, 100, 120, 0, 0, 0, 3, 0},
                    RequestCase{8, 109, 1, 2, 0, 100, 120, 90, 0, 0, 3, 0},
                    RequestCase{9, 109, 2, 2, 0, 100, 120, 90, 0, 130, 3, 0},
                    RequestCase{10, 104, 1, 1, 0, 100, 120, 90, 130, 0, 0, 1},
                    RequestCase{11, 102, 0, 2, 100, 0, 0, 0, 0, 0, 0, 1},
                    RequestCase{13.5f, 102, 2, 2, 100, 0, 0, 90, 0, 130, 0, 1},
                    RequestCase{15, 107, 1, 2, 0, 100, 120, 90, 0, 0, 0, 1},
                    RequestCase{16, 107, 2, 2, 0, 100, 120, 90, 0, 130, 0, 1},
                    RequestCase{17, 110, 0, 2, 0, 100, 120, 0, 0, 0, 3, 0},
                    RequestCase{18, 110, 1, 2, 0, 100, 120, 90, 0, 0, 3, 0},
                    RequestCase{19, 110, 2, 2, 0, 100, 120, 90, 0, 130, 3, 0}));

TEST_F(MeasuredFeatures, PeakToPeakFollowsThePeakDirection) {
  float out = 0.0f;
  record(spectrum_).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
  ASSERT_EQ(measure(description_of(10), &out), 1u);
  EXPECT_EQ(+measurement_.request.type, 105);
  EXPECT_EQ(+measurement_.request.baseline_mode, 5);
  EXPECT_EQ(out, kR1);
  record(spectrum_).y_units = AP1_YUNIT_ABSORBANCE;
  ASSERT_EQ(measure(description_of(10), &out), 1u);
  EXPECT_EQ(+measurement_.request.type, 104);
  EXPECT_EQ(+measurement_.request.baseline_mode, 1);
  EXPECT_EQ(out, kR1);
}

TEST_F(MeasuredFeatures, MeasurementTypesTakeTheWholeDescription) {
  float out = 0.0f;
  ASSERT_EQ(measure(description_of(120), &out), 1u);
  const AP7_MEASUREREC& r = measurement_.request;
  EXPECT_EQ(+r.type, 120);
  EXPECT_EQ(+r.point_count, 2);
  EXPECT_EQ(+r.baseline_mode, 4);
  EXPECT_EQ(+r.slope_mode, 1);
  EXPECT_EQ(+r.fraction, 0.125f);
  EXPECT_EQ(+r.x, 100.0f);
  EXPECT_EQ(+r.region_start, 100.0f);
  EXPECT_EQ(+r.region_end, 120.0f);
  EXPECT_EQ(+r.level, 0.7f);
  EXPECT_EQ(+r.position1, 90.0f);
  EXPECT_EQ(+r.region1_end, 130.0f);
  EXPECT_EQ(+r.position2, 140.0f);
  EXPECT_EQ(+r.region2_end, 150.0f);
  EXPECT_EQ(+r.unused_44, 3);
  EXPECT_EQ(+r.window_on, 1);
  EXPECT_EQ(+r.window_low, 5.0f);
  EXPECT_EQ(+r.window_high, 6.0f);
  EXPECT_EQ(+r.percent, 0.33f);
  EXPECT_EQ(out, kR4);

  // Message 245 passes no extras.
  ASSERT_EQ(measure(description_of(120), &out, AP7_MSG_MEASURE_FEATURE), 1u);
  EXPECT_EQ(+measurement_.request.window_on, 0);
  EXPECT_EQ(+measurement_.request.window_low, 0.0f);
  EXPECT_EQ(+measurement_.request.window_high, 0.0f);
}

TEST_F(MeasuredFeatures, TwoPointAreaTakesOnlyItsLevelAndBaselinePoints) {
  float out = 0.0f;
  ASSERT_EQ(measure(description_of(114), &out), 1u);
  const AP7_MEASUREREC& r = measurement_.request;
  EXPECT_EQ(+r.type, 114);
  EXPECT_EQ(+r.point_count, 2);
  EXPECT_EQ(+r.baseline_mode, 4);
  EXPECT_EQ(+r.level, 0.7f);
  EXPECT_EQ(+r.position1, 90.0f);
  EXPECT_EQ(+r.region1_end, 130.0f);
  EXPECT_EQ(+r.position2, 140.0f);
  EXPECT_EQ(+r.region2_end, 150.0f);
  EXPECT_EQ(+r.x, 0.0f);
  EXPECT_EQ(+r.region_start, 0.0f);
  EXPECT_EQ(+r.fraction, 0.0f);
  EXPECT_EQ(+r.percent, 0.0f);
  EXPECT_EQ(+r.window_on, 0);
  EXPECT_EQ(out, kR1);
}

TEST_F(MeasuredFeatures, EachTypeReadsItsResult) {
  struct Case {
    float kind;
    float expected;
  };
  const Case cases[] = {
      {1, kR2},         {2, kR2},          {3, kR2},          {4, kR1},          {5, kR1},
      {6, kR1},         {11, kR2 * kR2},   {12, kR2 * kR2},   {14, kR1 * kR1},   {16, kR1 * kR1},
      {101, kR4},       {102, kR2},        {103, kR2},        {104, kR4},        {105, kR4},
      {106, kR4},       {107, kR1},        {108, kR1},        {112, kR1},        {114, kR1},
      {115, kR4},       {116, kR2},        {117, kR4},        {118, kR3},        {119, kR4},
      {125, kR4},       {126, kR3},        {127, kR3},        {128, kR4},        {134, kR4},
      {135, kR3},       {136, kR3},
  };
  for (const Case& c : cases) EXPECT_EQ(one_value(c.kind), c.expected) << c.kind;
}

TEST_F(MeasuredFeatures, KindsWithoutAResultAreMeasuredButGiveNothing) {
  for (float kind : {0.0f, 20.0f, 50.0f, 100.0f, 137.0f, -3.0f}) {
    float out = -7.0f;
    const int calls = measurement_.peak_calls;
    EXPECT_EQ(measure(description_of(kind), &out), 0u) << kind;
    EXPECT_EQ(measurement_.peak_calls, calls + 1) << kind;
    EXPECT_EQ(out, -7.0f) << kind;
  }
}

TEST_F(MeasuredFeatures, TheSwitchTurnsFittedBaselinesFlat) {
  struct Case {
    float kind;
    float mode;
    uint16_t expected;
  };
  const Case cases[] = {
      {10, 0, 6},  // kind 10 on absorbance fits a line
      {1, 0, 2},   {7, 0, 2}, {120, 1, 6}, {120, 7, 6}, {120, 3, 3},
  };
  for (const Case& c : cases) {
    AP7_MEASUREDESC d = description_of(c.kind);
    d.baseline_mode = c.mode;
    float out[4] = {};
    measure(d, out, AP7_MSG_MEASURE_FEATURE_SWITCHED, 1);
    EXPECT_EQ(+measurement_.request.baseline_mode, c.expected) << c.kind << " mode " << c.mode;
    measure(d, out, AP7_MSG_MEASURE_FEATURE_SWITCHED, 0);
    EXPECT_EQ(+measurement_.request.baseline_mode, c.kind == 10 ? 1 : c.kind < 20 ? 2 : c.mode);
  }
}

// The squaring comes before the transform.
TEST_F(MeasuredFeatures, TransformsOfSingleValues) {
  EXPECT_FLOAT_EQ(one_value(12, AP7_FEATURE_LOG10), std::log10(kR2 * kR2));
  EXPECT_FLOAT_EQ(one_value(1, AP7_FEATURE_RECIPROCAL), 1.0f / kR2);
  EXPECT_FLOAT_EQ(one_value(14, AP7_FEATURE_RECIPROCAL), 1.0f / (kR1 * kR1));
}

TEST_F(MeasuredFeatures, SingleValuesReportNoIndex) {
  float out = 0.0f;
  int32_t index = 55;
  ASSERT_EQ(measure(description_of(4), &out, AP7_MSG_MEASURE_FEATURE_EX, 0, 0, &index), 1u);
  EXPECT_EQ(index, -1);
}

TEST_F(MeasuredFeatures, AFailedMeasurementGivesZero) {
  measurement_.answer = 0;
  float out = -7.0f;
  int32_t index = 55;
  EXPECT_EQ(measure(description_of(4), &out, AP7_MSG_MEASURE_FEATURE_EX, 0, 0, &index), 0u);
  EXPECT_EQ(out, -7.0f);
  EXPECT_EQ(index, -1);
}

TEST_F(MeasuredFeatures, RegionsComeFromTheMeasuredRegionInTheirOwnOrder) {
  const auto before = live_counts();
  for (float kind : {7.0f, 19.0f, 109.0f, 110.0f, 111.0f, 113.0f}) {
    float out[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
    int32_t index = 55;
    const int calls = measurement_.region_calls;
    EXPECT_EQ(measure(description_of(kind), out, AP7_MSG_MEASURE_FEATURE_EX, 0, AP7_FEATURE_LOG10, &index), 3u);
    EXPECT_EQ(measurement_.region_calls, calls + 1);
    EXPECT_EQ(measurement_.peak_calls, 0);
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{0.0f, 1.0f, 2.0f, -7.0f})) << kind;
    EXPECT_EQ(index, 17);
    // The limits go as upper r2, lower r1; the points come back reversed.
    EXPECT_EQ(+measurement_.region_block.upper, 0.75f);
    EXPECT_EQ(+measurement_.region_block.lower, 0.25f);
    EXPECT_EQ(+measurement_.region_block.reverse, 1);
    EXPECT_EQ(+measurement_.region_block.mask, region_argument_);
  }
  EXPECT_EQ(+measurement_.request.type, 113);
  EXPECT_EQ(live_counts(), before);
}

TEST_F(MeasuredFeatures, ARegionNotMadeGivesZero) {
  measurement_.region_made = false;
  float out = -7.0f;
  int32_t index = 55;
  EXPECT_EQ(measure(description_of(8), &out, AP7_MSG_MEASURE_FEATURE_EX, 0, 0, &index), 0u);
  EXPECT_EQ(out, -7.0f);
  EXPECT_EQ(index, -1);
}

TEST_F(MeasuredFeatures, NullArgumentsGiveZero) {
  float out = 0.0f;
  const AP7_MEASUREDESC d = description_of(1);
  EXPECT_EQ(ap7d_MeasureFeature(nullptr, &d, &out, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0, 0), 0u);
  EXPECT_EQ(ap7d_MeasureFeature(spectrum_, nullptr, &out, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0, 0), 0u);
  EXPECT_EQ(ap7d_MeasureFeature(spectrum_, &d, nullptr, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0, 0), 0u);
  EXPECT_EQ(measurement_.peak_calls, 0);
}

}  // namespace
